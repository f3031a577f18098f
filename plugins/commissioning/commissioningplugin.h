#pragma once

#include "commissioning_global.h"

#include <extensionsystem/iplugin.h>

#include <QPointer>

namespace Commissioning {

class ChangeLog;
class ChangeLogDialog;

// Commissioning tools on top of the device workspace: every value written
// from the program is recorded in the change log (Tools → Change log).
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

public slots:
    void showChangeLog();

private:
    ChangeLog *m_log = nullptr;
    QPointer<ChangeLogDialog> m_dialog;
};

} // namespace Commissioning
