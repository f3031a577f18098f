#pragma once

#include <fieldlink/fieldlink_global.h>

namespace Fieldlink {
namespace FieldlinkCore {

// Per-request parameters: which unit to address, how long to wait for its
// answer and how often to repeat an unanswered request. A plain value type;
// every transaction keeps its own copy, so the caller's object may change or
// go away after a request was created.
class FIELDLINK_EXPORT QModbusSettings
{
public:
    enum Limits {
        MinServerAddress = 0,      // 0 is the broadcast / "any unit" address on TCP
        MaxServerAddress = 255,
        MinResponseTimeout = 10,   // ms; Qt's client refuses shorter timeouts
        MaxResponseTimeout = 60000,
        MaxNumberOfRetries = 10
    };

    QModbusSettings() = default;
    QModbusSettings(int serverAddress, int responseTimeout = 1000, int numberOfRetries = 1);

    int serverAddress() const { return m_serverAddress; }
    // Out-of-range values are clamped into the limits above.
    void setServerAddress(int address);

    int responseTimeout() const { return m_responseTimeout; } // milliseconds
    void setResponseTimeout(int milliseconds);

    int numberOfRetries() const { return m_numberOfRetries; }
    void setNumberOfRetries(int retries);

    bool operator==(const QModbusSettings &other) const;
    bool operator!=(const QModbusSettings &other) const { return !(*this == other); }

private:
    int m_serverAddress = 1;
    int m_responseTimeout = 1000;
    int m_numberOfRetries = 1;
};

} // namespace FieldlinkCore
} // namespace Fieldlink
