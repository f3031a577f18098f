#include "serversettings.h"

#include "databasesettings.h"

#include <core/settingsdatabase.h>

#include <QSettings>
#include <QSql>
#include <QSysInfo>

namespace Sqlstore {
namespace Internal {

namespace {
const char Group[] = "Database";
const char PasswordKey[] = "Sqlstore/ServerPassword";
} // namespace

QString ServerSettings::defaultStation()
{
    const QString host = QSysInfo::machineHostName().trimmed();
    return host.isEmpty() ? QStringLiteral("station") : host;
}

QString ServerSettings::effectiveStation() const
{
    const QString name = station.trimmed();
    return name.isEmpty() ? defaultStation() : name;
}

bool ServerSettings::isComplete(QString *reason) const
{
    QString why;
    if (host.trimmed().isEmpty())
        why = QObject::tr("Enter the server's host name.");
    else if (port < 1 || port > 65535)
        why = QObject::tr("The port must lie between 1 and 65535.");
    else if (database.trimmed().isEmpty())
        why = QObject::tr("Enter the name of the database.");
    else if (user.trimmed().isEmpty())
        why = QObject::tr("Enter the user name.");
    if (reason)
        *reason = why;
    return why.isEmpty();
}

void ServerSettings::fillIn(DataBaseSettings *settings) const
{
    settings->setDriver(QStringLiteral("QPSQL"));
    // Warnings and notices of the server (a table that exists already, a
    // commit with nothing to commit) are not the user's concern.
    settings->setConnectOptions(QStringLiteral("connect_timeout=%1;options='-c client_min_messages=error'")
                                    .arg(ConnectTimeout));
    settings->setDatabaseName(database.trimmed());
    settings->setHostName(host.trimmed());
    settings->setPort(port);
    settings->setUserName(user.trimmed());
    settings->setPassword(password);
    settings->setPrecisionPolicy(QSql::HighPrecision);
}

ServerSettings ServerSettings::load(QSettings *settings, Core::SettingsDatabase *secrets)
{
    ServerSettings s;
    if (settings) {
        settings->beginGroup(QLatin1String(Group));
        s.useServer = settings->value(QStringLiteral("UseServer"), false).toBool();
        s.host = settings->value(QStringLiteral("Host")).toString();
        bool ok = false;
        const int port = settings->value(QStringLiteral("Port"), DefaultPort).toInt(&ok);
        s.port = ok && port > 0 && port <= 65535 ? port : DefaultPort;
        s.database = settings->value(QStringLiteral("Name")).toString();
        s.user = settings->value(QStringLiteral("User")).toString();
        s.station = settings->value(QStringLiteral("Station")).toString();
        settings->endGroup();
    }
    if (secrets)
        s.password = secrets->value(QLatin1String(PasswordKey)).toString();
    return s;
}

void ServerSettings::save(QSettings *settings, Core::SettingsDatabase *secrets) const
{
    if (settings) {
        settings->beginGroup(QLatin1String(Group));
        settings->setValue(QStringLiteral("UseServer"), useServer);
        settings->setValue(QStringLiteral("Host"), host.trimmed());
        settings->setValue(QStringLiteral("Port"), port);
        settings->setValue(QStringLiteral("Name"), database.trimmed());
        settings->setValue(QStringLiteral("User"), user.trimmed());
        settings->setValue(QStringLiteral("Station"), station.trimmed());
        settings->endGroup();
        settings->sync();
    }
    if (secrets)
        secrets->setValue(QLatin1String(PasswordKey), password);
}

bool ServerSettings::operator==(const ServerSettings &o) const
{
    return useServer == o.useServer && host == o.host && port == o.port && database == o.database
           && user == o.user && password == o.password && station == o.station;
}

} // namespace Internal
} // namespace Sqlstore
