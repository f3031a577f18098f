#pragma once

#include "clearance_global.h"

#include <extensionsystem/iplugin.h>

#include <QDomDocument>
#include <QDomElement>
#include <QHash>
#include <QString>
#include <QStringList>

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

namespace Core {
class ICore;
}

namespace Clearance {

class BaseClearance;
class ClearanceLoader;

// Access levels: the list of levels, the user's current level, and per
// level the rights for the connected device version.
class CLEARANCE_EXPORT ClearancePlugin : public ExtensionSystem::IPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "app.Plugin" FILE "Clearance.json")

public:
    ClearancePlugin();
    ~ClearancePlugin() override;

    static ClearancePlugin *instance();

    bool initialize(const QStringList &arguments, QString *errorString) override;
    void extensionsInitialized() override;
    ShutdownFlag aboutToShutdown() override;

    QString currentClearance() const { return m_currentClearance; }
    // Rights of the current level, or null when none are loaded for it.
    BaseClearance *currentBaseClearance() const;

    // Level id -> level name, as read from the list file.
    QHash<QString, QString> clearances() const { return m_clearances; }
    // The level ids in the order of the list file.
    QStringList clearanceIds() const { return m_clearanceIds; }
    // Rights of any level for the current version, or null.
    BaseClearance *baseClearance(const QString &clearance) const;
    QString version() const { return m_version; }
    ClearanceLoader *loader() const { return m_loader; }

    // The level the list file names last: the one trusted with what decides
    // everybody's rights. Empty when no level list is loaded.
    QString highestClearance() const;
    // Replacing access files, the level list or register maps is for the
    // highest level. At a lower level the user may type the highest level's
    // password for this one action; the current level stays as it is. A
    // refusal is shown, logged and, when asked for, returned. Without a
    // level list there is no level to protect and the action is allowed.
    bool authoriseChange(const QString &action, QWidget *parent, QString *refusal = nullptr);

    // The folder of the access files, with a trailing separator.
    static QString clearanceFolder();
    // Level ids and versions become parts of file names: they may neither
    // leave the access folder nor name a sub-folder.
    static bool isSafeFileNamePart(const QString &text);

signals:
    void baseClearanceLoaded(const QString &version);
    void changeCurrentClearance(const QString &clearance);

public slots:
    void readClearance();
    void parseClearance(const QDomElement &root);
    void loadSettingsClearance();
    void readSettings();
    void writeSettings();
    void showClearanceDialog(bool checked = false);
    void showPasswordManagementDialog(bool checked = false);
    void setVersion(const QString &version);

private:
    void createActions();

    Core::ICore *m_core = nullptr;
    ClearanceLoader *m_loader = nullptr;
    QString m_currentClearance;
    QString m_version;
    QDomDocument m_document;
    QHash<QString, QString> m_clearances;
    QStringList m_clearanceIds;
    QHash<QString, BaseClearance *> m_baseClearances;
};

} // namespace Clearance
