#include "databasesettings.h"

namespace Sqlstore {
namespace Internal {

bool DataBaseSettings::operator==(const DataBaseSettings &other) const
{
    return m_driver == other.m_driver
        && m_connectOptions == other.m_connectOptions
        && m_databaseName == other.m_databaseName
        && m_hostName == other.m_hostName
        && m_userName == other.m_userName
        && m_password == other.m_password
        && m_port == other.m_port
        && m_precisionPolicy == other.m_precisionPolicy;
}

} // namespace Internal
} // namespace Sqlstore
