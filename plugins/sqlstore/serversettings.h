#pragma once

#include "sqlstore_global.h"

#include <QString>

QT_BEGIN_NAMESPACE
class QSettings;
QT_END_NAMESPACE

namespace Core {
class SettingsDatabase;
}

namespace Sqlstore {
namespace Internal {

class DataBaseSettings;
class ServerPasswordStore;

// Where the team's rows go: the local file only (the default) or, besides
// it, a PostgreSQL server. The choice and the connection fields are user
// settings; the password lives in its own store (ServerPasswordStore), never
// in the INI file, the settings database or a log.
class SQLSTORE_EXPORT ServerSettings
{
public:
    static constexpr int DefaultPort = 5432;
    // Seconds a connection attempt may take before the server counts as
    // offline.
    static constexpr int ConnectTimeout = 5;

    // Encryption of the link to the server (libpq's sslmode). Prefer, the
    // default, takes what the server offers and warns when that is nothing.
    enum TlsMode { TlsDisable, TlsPrefer, TlsRequire, TlsVerifyFull };

    bool useServer = false;
    QString host;
    int port = DefaultPort;
    QString database;
    QString user;
    QString password;
    // Names the laptop in every row it sends; the host name when empty.
    QString station;
    TlsMode tlsMode = TlsPrefer;
    // The certificate authority that signed the server's certificate; with
    // TlsVerifyFull only.
    QString rootCertificate;

    // "disable", "prefer", "require", "verify-full"; unknown text is Prefer.
    static QString tlsModeKey(TlsMode mode);
    static TlsMode tlsModeFromKey(const QString &key);

    static QString defaultStation();
    QString effectiveStation() const;

    // Complete enough to try a connection; otherwise the reason.
    bool isComplete(QString *reason = nullptr) const;
    // Connection parameters for Qt's PostgreSQL driver.
    void fillIn(DataBaseSettings *settings) const;

    // legacy: where earlier versions kept the password; it moves to the store.
    static ServerSettings load(QSettings *settings, ServerPasswordStore *passwords,
                               Core::SettingsDatabase *legacy = nullptr);
    // False when the password could not be kept, with the reason.
    bool save(QSettings *settings, ServerPasswordStore *passwords, QString *error = nullptr) const;

    bool operator==(const ServerSettings &other) const;
    bool operator!=(const ServerSettings &other) const { return !(*this == other); }
};

} // namespace Internal
} // namespace Sqlstore
