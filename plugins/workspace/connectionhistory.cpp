#include "connectionhistory.h"

#include <core/settingsdatabase.h>

#include <QTimer>

namespace Workspace {

namespace {
const char Group[] = "Workspace";
const char RecentKey[] = "RecentConnections";
const char VersionsKey[] = "ChosenVersions";
} // namespace

ConnectionHistory::ConnectionHistory(Core::SettingsDatabase *database, QObject *parent)
    : QObject(parent)
    , m_database(database)
    , m_saveTimer(new QTimer(this))
{
    m_saveTimer->setSingleShot(true);
    m_saveTimer->setInterval(SaveDelayMs);
    connect(m_saveTimer, &QTimer::timeout, this, &ConnectionHistory::save);
    load();
}

ConnectionHistory::~ConnectionHistory()
{
    if (hasPendingSave())
        save();
}

void ConnectionHistory::remember(const ConnectionProfile &profile)
{
    for (int i = m_recent.size() - 1; i >= 0; --i) {
        if (m_recent.at(i).key() == profile.key())
            m_recent.removeAt(i);
    }
    m_recent.prepend(profile);
    while (m_recent.size() > MaxRecent)
        m_recent.removeLast();
    // SQLite flushes a transaction to disk several times; on the way to a
    // device's first values that costs more than anything else.
    if (m_database)
        m_saveTimer->start();
    emit changed();
}

QString ConnectionHistory::chosenVersion(const QString &connectionKey) const
{
    return m_versions.value(connectionKey).toString();
}

void ConnectionHistory::setChosenVersion(const QString &connectionKey, const QString &version)
{
    if (version.isEmpty())
        m_versions.remove(connectionKey);
    else
        m_versions.insert(connectionKey, version);
    save();
    emit changed();
}

void ConnectionHistory::load()
{
    m_saveTimer->stop();
    m_recent.clear();
    m_versions.clear();
    if (!m_database)
        return;
    m_database->beginGroup(QLatin1String(Group));
    const QVariantList list = m_database->value(QLatin1String(RecentKey)).toList();
    m_versions = m_database->value(QLatin1String(VersionsKey)).toMap();
    m_database->endGroup();
    for (const QVariant &entry : list) {
        if (entry.canConvert<QVariantMap>() && m_recent.size() < MaxRecent)
            m_recent.append(ConnectionProfile::fromMap(entry.toMap()));
    }
}

bool ConnectionHistory::hasPendingSave() const
{
    return m_saveTimer->isActive();
}

void ConnectionHistory::save() const
{
    m_saveTimer->stop();
    if (!m_database)
        return;
    QVariantList list;
    for (const ConnectionProfile &p : m_recent)
        list.append(p.toMap());
    m_database->beginTransaction();
    m_database->beginGroup(QLatin1String(Group));
    m_database->setValue(QLatin1String(RecentKey), list);
    m_database->setValue(QLatin1String(VersionsKey), m_versions);
    m_database->endGroup();
    m_database->endTransaction();
}

} // namespace Workspace
