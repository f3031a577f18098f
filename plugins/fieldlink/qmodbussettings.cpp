#include "qmodbussettings.h"

#include <QtGlobal>

namespace Fieldlink {
namespace FieldlinkCore {

QModbusSettings::QModbusSettings(int serverAddress, int responseTimeout, int numberOfRetries)
{
    setServerAddress(serverAddress);
    setResponseTimeout(responseTimeout);
    setNumberOfRetries(numberOfRetries);
}

void QModbusSettings::setServerAddress(int address)
{
    m_serverAddress = qBound(int(MinServerAddress), address, int(MaxServerAddress));
}

void QModbusSettings::setResponseTimeout(int milliseconds)
{
    m_responseTimeout = qBound(int(MinResponseTimeout), milliseconds, int(MaxResponseTimeout));
}

void QModbusSettings::setNumberOfRetries(int retries)
{
    m_numberOfRetries = qBound(0, retries, int(MaxNumberOfRetries));
}

bool QModbusSettings::operator==(const QModbusSettings &other) const
{
    return m_serverAddress == other.m_serverAddress
        && m_responseTimeout == other.m_responseTimeout
        && m_numberOfRetries == other.m_numberOfRetries;
}

} // namespace FieldlinkCore
} // namespace Fieldlink
