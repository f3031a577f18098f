#pragma once

#include "pointbook_global.h"

#include <extensionsystem/iplugin.h>

#include <QPointer>
#include <QString>

QT_BEGIN_NAMESPACE
class QAction;
QT_END_NAMESPACE

namespace Core {
class ICore;
}

namespace Fieldlink {
namespace FieldlinkCore {
class ModbusConnection;
class QModbusSettings;
} // namespace FieldlinkCore
} // namespace Fieldlink

namespace Pointbook {

class StatusUpdateBase;
class TagBase;
class TagBaseLoader;

// The tag base as a plug-in: finds and loads the register map of the
// device's version, hands it to the polling engine, keeps each tag's chart
// and damping settings between runs, and shows polling status and an
// information dialog.
class POINTBOOK_EXPORT PointbookPlugin : public ExtensionSystem::IPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "app.Plugin" FILE "Pointbook.json")

public:
    PointbookPlugin();
    ~PointbookPlugin() override;

    static PointbookPlugin *instance();

    bool initialize(const QStringList &arguments, QString *errorString) override;
    void extensionsInitialized() override;
    ShutdownFlag aboutToShutdown() override;

    TagBase *tagBase() const { return m_tagBase; }
    TagBaseLoader *tagBaseLoader() const { return m_tagBaseLoader; }
    // Null when the main window is no QMainWindow (or is gone).
    StatusUpdateBase *statusUpdateBase() const { return m_statusUpdateBase; }
    QString version() const { return m_version; }

    void setModbusConnection(Fieldlink::FieldlinkCore::ModbusConnection *connection);
    void setModbusSettings(Fieldlink::FieldlinkCore::QModbusSettings *settings);

    void readSettingsTagBase(const QString &version);
    void writeSettingsTagBase(const QString &version);

    // "<settings folder>/Korvane_Config/configmodules/pointbook/".
    static QString registerMapFolder();
    // A version names a file inside the register map folder only when it
    // holds no path separator and no "..".
    static bool isSafeVersion(const QString &version);

signals:
    void baseLoaded(const QString &version);

public slots:
    void setVersion(const QString &version);
    void reloadTagBase();
    void showInfo();
    void clearStatusUpdate();

private:
    void createStatusWidget();

    Core::ICore *m_core = nullptr;
    TagBaseLoader *m_tagBaseLoader = nullptr;
    TagBase *m_tagBase = nullptr;
    // Belongs to the status bar, which may go first.
    QPointer<StatusUpdateBase> m_statusUpdateBase;
    QString m_version;
    QPointer<QAction> m_infoAction;
};

} // namespace Pointbook
