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

class CsvExporter;
class Recorder;
class TagSettingsDialog;
class TrendDock;

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
    TrendDock *dock() const { return m_dock; }
    QAction *exportTableAction() const { return m_exportTable; }
    QAction *exportRecordingAction() const { return m_exportRecording; }

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

    // Opens the settings of a tag (window-modal); applied and stored when
    // accepted.
    TagSettingsDialog *showTagSettings(Pointbook::Tag *tag);
    // Applies a dialog's values and stores them for the device version.
    void applyTagSettings(TagSettingsDialog *dialog);

    // The visible table's current values as one CSV row.
    bool exportTable(const QString &fileName, QString *error = nullptr);

public slots:
    void setRecording(bool on);
    void showHistoryChoice();
    void showExportChoice();

signals:
    // A tag's display settings changed: chart membership, colour, precision.
    void tagSettingsChanged(Pointbook::Tag *tag);

private:
    void createActions();
    void updateTags();
    void loadDeadbands();
    void updateChart();
    void chooseRecorded(bool forExport);
    void loadHistory(const QVector<qint64> &ids, const QStringList &names, const QStringList &units,
                     qint64 fromMs, qint64 toMs, bool fromServer = false);

    Recorder *m_recorder = nullptr;
    QPointer<QToolBar> m_toolBar;
    QAction *m_record = nullptr;
    QAction *m_tagSettings = nullptr;
    QAction *m_exportTable = nullptr;
    QAction *m_exportRecording = nullptr;
    QPointer<TrendDock> m_dock;
    bool m_recordOnConnect = false;
};

} // namespace Trend
