#pragma once

#include "workspace_global.h"
#include "connectionprofile.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

QT_BEGIN_NAMESPACE
class QTimer;
QT_END_NAMESPACE

namespace Core {
class SettingsDatabase;
}

namespace Workspace {

// The connections used last (newest first) and the device version the user
// chose per connection, kept in Core's settings database (group
// "Workspace"). Without a database it keeps them for this run only.
class WORKSPACE_EXPORT ConnectionHistory : public QObject
{
    Q_OBJECT

public:
    enum { MaxRecent = 8 };

    // How long remember() waits before writing to the database.
    enum { SaveDelayMs = 3000 };

    explicit ConnectionHistory(Core::SettingsDatabase *database, QObject *parent = nullptr);
    ~ConnectionHistory() override;

    QList<ConnectionProfile> recent() const { return m_recent; }
    // Moves the profile to the front; a profile with the same key replaces
    // the older entry. It is written to the database a little later (or on
    // save() or destruction): a connection about to start should not wait
    // for the disk.
    void remember(const ConnectionProfile &profile);

    // Empty when none was chosen for that connection.
    QString chosenVersion(const QString &connectionKey) const;
    void setChosenVersion(const QString &connectionKey, const QString &version);

    // Replaces what is held with the database's content; a write still
    // pending is dropped.
    void load();
    void save() const;
    bool hasPendingSave() const;

signals:
    void changed();

private:
    QPointer<Core::SettingsDatabase> m_database;
    QList<ConnectionProfile> m_recent;
    QVariantMap m_versions;
    QTimer *m_saveTimer = nullptr;
};

} // namespace Workspace
