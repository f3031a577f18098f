#pragma once

#include "trend_global.h"

#include <extensionsystem/iplugin.h>

#include <pointbook/tag.h>

#include <QPointer>
#include <QToolBar>

QT_BEGIN_NAMESPACE
class QAction;
class QToolBar;
QT_END_NAMESPACE

namespace Trend {

class Recorder;

// Watching values over time: the "Record" toggle that stores the polled
// values of the visible tags in the program's database, the trend dock, the
// history view, CSV export and the per-tag display settings. With "-record"
// on the command line recording starts as soon as a device is connected.
class TREND_EXPORT TrendPlugin : public ExtensionSystem::IPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "app.Plugin" FILE "Trend.json")

public:
    TrendPlugin();
    ~TrendPlugin() override;

    static TrendPlugin *instance();

    bool initialize(const QStringList &arguments, QString *errorString) override;
    void extensionsInitialized() override;
    ShutdownFlag aboutToShutdown() override;

    Recorder *recorder() const { return m_recorder; }
    QAction *recordAction() const { return m_record; }
    QToolBar *toolBar() const { return m_toolBar; }

    // The tags of the live table's rows, in table order.
    QList<Pointbook::Tag *> visibleTags() const;
    // The device version whose map is loaded; empty without one.
    QString version() const;

    // Recording settings, kept in Core's settings database.
    void setChangesOnly(bool on);
    void setRetention(int maxDays, int maxMegabytes);
    // Per-tag deadband for "changes only", kept per device version.
    double deadband(const Pointbook::Tag *tag) const;
    void setDeadband(const Pointbook::Tag *tag, double deadband);

public slots:
    void setRecording(bool on);

private:
    void createActions();
    void updateTags();
    void loadDeadbands();

    Recorder *m_recorder = nullptr;
    QPointer<QToolBar> m_toolBar;
    QAction *m_record = nullptr;
    bool m_recordOnConnect = false;
};

} // namespace Trend
