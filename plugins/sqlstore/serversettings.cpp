#include "serversettings.h"

#include "databasesettings.h"
#include "serverpasswordstore.h"


#include <QFileInfo>
#include <QSettings>
#include <QSql>
#include <QSysInfo>

namespace Sqlstore {
namespace Internal {

namespace {
const char Group[] = "Database";
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

QString ServerSettings::tlsModeKey(TlsMode mode)
{
    switch (mode) {
    case TlsDisable: return QStringLiteral("disable");
    case TlsRequire: return QStringLiteral("require");
    case TlsVerifyFull: return QStringLiteral("verify-full");
    case TlsPrefer: break;
    }
    return QStringLiteral("prefer");
}

ServerSettings::TlsMode ServerSettings::tlsModeFromKey(const QString &key)
{
    for (const TlsMode mode : {TlsDisable, TlsRequire, TlsVerifyFull}) {
        if (key == tlsModeKey(mode))
            return mode;
    }
    return TlsPrefer;
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
    else if (tlsMode == TlsVerifyFull && rootCertificate.trimmed().isEmpty())
        why = QObject::tr("Choose the root certificate that signed the server's certificate.");
    else if (tlsMode == TlsVerifyFull && !QFileInfo(rootCertificate.trimmed()).isFile())
        why = QObject::tr("The root certificate %1 is not a readable file.").arg(rootCertificate.trimmed());
    // The driver splits its options at semicolons.
    else if (tlsMode == TlsVerifyFull && rootCertificate.contains(QLatin1Char(';')))
        why = QObject::tr("The path of the root certificate must not contain \";\".");
    if (reason)
        *reason = why;
    return why.isEmpty();
}

void ServerSettings::fillIn(DataBaseSettings *settings) const
{
    settings->setDriver(QStringLiteral("QPSQL"));
    // Warnings and notices of the server (a table that exists already, a
    // commit with nothing to commit) are not the user's concern.
    QString options = QStringLiteral("connect_timeout=%1;options='-c client_min_messages=error';sslmode=%2")
                          .arg(ConnectTimeout)
                          .arg(tlsModeKey(tlsMode));
    if (tlsMode == TlsVerifyFull) {
        QString path = rootCertificate.trimmed();
        path.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('\''), QLatin1String("\\'"));
        options += QStringLiteral(";sslrootcert='%1'").arg(path);
    }
    settings->setConnectOptions(options);
    settings->setDatabaseName(database.trimmed());
    settings->setHostName(host.trimmed());
    settings->setPort(port);
    settings->setUserName(user.trimmed());
    settings->setPassword(password);
    settings->setPrecisionPolicy(QSql::HighPrecision);
}

ServerSettings ServerSettings::load(QSettings *settings, ServerPasswordStore *passwords,
                                   Core::SettingsDatabase *legacy)
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
        s.tlsMode = tlsModeFromKey(settings->value(QStringLiteral("TlsMode")).toString());
        s.rootCertificate = settings->value(QStringLiteral("RootCertificate")).toString();
        settings->endGroup();
    }
    if (passwords)
        s.password = passwords->load(legacy);
    return s;
}

bool ServerSettings::save(QSettings *settings, ServerPasswordStore *passwords, QString *error) const
{
    if (settings) {
        settings->beginGroup(QLatin1String(Group));
        settings->setValue(QStringLiteral("UseServer"), useServer);
        settings->setValue(QStringLiteral("Host"), host.trimmed());
        settings->setValue(QStringLiteral("Port"), port);
        settings->setValue(QStringLiteral("Name"), database.trimmed());
        settings->setValue(QStringLiteral("User"), user.trimmed());
        settings->setValue(QStringLiteral("Station"), station.trimmed());
        settings->setValue(QStringLiteral("TlsMode"), tlsModeKey(tlsMode));
        settings->setValue(QStringLiteral("RootCertificate"), rootCertificate.trimmed());
        settings->endGroup();
        settings->sync();
    }
    return !passwords || passwords->save(password, error);
}

bool ServerSettings::operator==(const ServerSettings &o) const
{
    return useServer == o.useServer && host == o.host && port == o.port && database == o.database
           && user == o.user && password == o.password && station == o.station && tlsMode == o.tlsMode
           && rootCertificate == o.rootCertificate;
}

} // namespace Internal
} // namespace Sqlstore
