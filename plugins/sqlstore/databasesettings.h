#pragma once

#include "sqlstore_global.h"

#include <QString>

namespace Sqlstore {
namespace Internal {

// Connection parameters handed from the plug-in to the worker. Written before
// the worker starts and only read afterwards.
class SQLSTORE_EXPORT DataBaseSettings
{
public:
    QString driver() const { return m_driver; }
    void setDriver(const QString &driver) { m_driver = driver; }

    // Given to the driver only when not empty.
    QString connectOptions() const { return m_connectOptions; }
    void setConnectOptions(const QString &connectOptions) { m_connectOptions = connectOptions; }

    // For SQLite the database file, whose writability the worker checks.
    QString databaseName() const { return m_databaseName; }
    void setDatabaseName(const QString &databaseName) { m_databaseName = databaseName; }

    QString hostName() const { return m_hostName; }
    void setHostName(const QString &hostName) { m_hostName = hostName; }

    QString userName() const { return m_userName; }
    void setUserName(const QString &userName) { m_userName = userName; }

    QString password() const { return m_password; }
    void setPassword(const QString &password) { m_password = password; }

    // -1 leaves the driver's default port.
    qint32 port() const { return m_port; }
    void setPort(qint32 port) { m_port = port; }

    // A QSql::NumericalPrecisionPolicy value.
    qint32 precisionPolicy() const { return m_precisionPolicy; }
    void setPrecisionPolicy(qint32 precisionPolicy) { m_precisionPolicy = precisionPolicy; }

    bool operator==(const DataBaseSettings &other) const;
    bool operator!=(const DataBaseSettings &other) const { return !(*this == other); }

private:
    QString m_driver;
    QString m_connectOptions;
    QString m_databaseName;
    QString m_hostName;
    QString m_userName;
    QString m_password;
    qint32 m_port = -1;
    qint32 m_precisionPolicy = 0;
};

} // namespace Internal
} // namespace Sqlstore
