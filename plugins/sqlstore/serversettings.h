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

// Where the team's rows go: the local file only (the default) or, besides
// it, a PostgreSQL server. The choice and the connection fields are user
// settings; the password lives in the settings database, never in the INI
// file and never in a log.
class SQLSTORE_EXPORT ServerSettings
{
public:
    static constexpr int DefaultPort = 5432;
    // Seconds a connection attempt may take before the server counts as
    // offline.
    static constexpr int ConnectTimeout = 5;

    bool useServer = false;
    QString host;
    int port = DefaultPort;
    QString database;
    QString user;
    QString password;
    // Names the laptop in every row it sends; the host name when empty.
    QString station;

    static QString defaultStation();
    QString effectiveStation() const;

    // Complete enough to try a connection; otherwise the reason.
    bool isComplete(QString *reason = nullptr) const;
    // Connection parameters for Qt's PostgreSQL driver.
    void fillIn(DataBaseSettings *settings) const;

    static ServerSettings load(QSettings *settings, Core::SettingsDatabase *secrets);
    void save(QSettings *settings, Core::SettingsDatabase *secrets) const;

    bool operator==(const ServerSettings &other) const;
    bool operator!=(const ServerSettings &other) const { return !(*this == other); }
};

} // namespace Internal
} // namespace Sqlstore
