#include "connectionhistory.h"

#include <core/settingsdatabase.h>

namespace Workspace {

namespace {
const char Group[] = "Workspace";
const char RecentKey[] = "RecentConnections";
const char VersionsKey[] = "ChosenVersions";
} // namespace

ConnectionHistory::ConnectionHistory(Core::SettingsDatabase *database, QObject *parent)
    : QObject(parent)
    , m_database(database)
{
    load();
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
    save();
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

void ConnectionHistory::save() const
{
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
