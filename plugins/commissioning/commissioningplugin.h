#pragma once

#include "commissioning_global.h"

#include <extensionsystem/iplugin.h>

#include <QDateTime>
#include <functional>
#include <QPointer>
#include <QString>

QT_BEGIN_NAMESPACE
class QAction;
class QProgressDialog;
QT_END_NAMESPACE

namespace Commissioning {

class ChangeLog;
class ChangeLogDialog;
class ParameterCompareDialog;
class ParameterSets;

// Commissioning tools on top of the device workspace: every value written
// from the program is recorded in the change log (Tools → Change log);
// parameter sets are saved, compared and applied, and the commissioning
// record written (File menu).
class COMMISSIONING_EXPORT CommissioningPlugin : public ExtensionSystem::IPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "app.Plugin" FILE "Commissioning.json")

public:
    CommissioningPlugin();
    ~CommissioningPlugin() override;

    static CommissioningPlugin *instance();

    bool initialize(const QStringList &arguments, QString *errorString) override;
    void extensionsInitialized() override;
    ShutdownFlag aboutToShutdown() override;

    ChangeLog *changeLog() const { return m_log; }
    ChangeLogDialog *changeLogDialog() const { return m_dialog; }
    ParameterSets *parameterSets() const { return m_sets; }
    // The comparison on screen, if any.
    ParameterCompareDialog *compareDialog() const;

    // What a save does when a tag cannot be read.
    enum GapPolicy { AskOnGaps, RefuseGaps, SaveWhatWasRead };
    // Without prompts (tests, scripts) no question is asked and no dialog
    // is modal; the outcome still comes by the signals.
    void setPromptsEnabled(bool enabled) { m_prompts = enabled; }

public slots:
    void showChangeLog();
    void saveParameters(const QString &fileName, Commissioning::CommissioningPlugin::GapPolicy policy = AskOnGaps);
    void compareWith(const QString &fileName);
    void writeRecord(const QString &fileName);

signals:
    void parametersSaved(bool ok, const QString &message);
    void comparisonShown(bool ok, const QString &message);
    void recordWritten(bool ok, const QString &message);

private:
    void createParameterActions();
    void updateParameterActions();
    // Reads the parameters with a progress dialog, then calls `then`; false
    // (with a notification) when the device cannot be read now.
    bool readParameters(const QString &what, const std::function<void()> &then);
    void finishSave(const QString &fileName, GapPolicy policy);
    void report(const QString &title, const QString &message, bool ok);

    ChangeLog *m_log = nullptr;
    QPointer<ChangeLogDialog> m_dialog;
    ParameterSets *m_sets = nullptr;
    QPointer<ParameterCompareDialog> m_compare;
    QPointer<QProgressDialog> m_readProgress;
    QAction *m_saveAction = nullptr;
    QAction *m_compareAction = nullptr;
    QAction *m_recordAction = nullptr;
    QDateTime m_sessionStart;
    bool m_prompts = true;
};

} // namespace Commissioning
