#pragma once

#include "workspace_global.h"

#include <QSerialPort>
#include <QString>
#include <QVariantMap>

namespace Fieldlink {
namespace FieldlinkCore {
class ModbusConnection;
class QModbusSettings;
} // namespace FieldlinkCore
} // namespace Fieldlink

namespace Workspace {

// One way of reaching a device: the link (TCP, RTU serial line, or the
// built-in demo device) and the request parameters (unit address, response
// timeout, retries). A plain value, stored in the recent-connections list.
class WORKSPACE_EXPORT ConnectionProfile
{
public:
    enum Kind { Tcp = 0, Rtu = 1, Demo = 2 };

    enum Limits {
        MinPort = 1,
        MaxPort = 65535,
        MinUnit = 0,
        MaxUnit = 247,
        MinTimeout = 10,
        MaxTimeout = 60000,
        MaxRetries = 10
    };

    ConnectionProfile() = default;
    static ConnectionProfile tcp(const QString &host, int port, int unit = 1);
    static ConnectionProfile demo();

    Kind kind() const { return m_kind; }
    void setKind(Kind kind);
    QString host() const { return m_host; }
    void setHost(const QString &host);
    int port() const { return m_port; }
    void setPort(int port);
    QString serialPortName() const { return m_serialPortName; }
    void setSerialPortName(const QString &name);
    int baudRate() const { return m_baudRate; }
    void setBaudRate(int baudRate);
    QSerialPort::Parity parity() const { return m_parity; }
    void setParity(QSerialPort::Parity parity);
    QSerialPort::DataBits dataBits() const { return m_dataBits; }
    void setDataBits(QSerialPort::DataBits dataBits);
    QSerialPort::StopBits stopBits() const { return m_stopBits; }
    void setStopBits(QSerialPort::StopBits stopBits);
    int unit() const { return m_unit; }
    void setUnit(int unit);
    int responseTimeout() const { return m_responseTimeout; }
    void setResponseTimeout(int milliseconds);
    int retries() const { return m_retries; }
    void setRetries(int retries);
    // For devices that take only function 16 and 15, also for one value.
    bool alwaysWriteMultiple() const { return m_alwaysWriteMultiple; }
    void setAlwaysWriteMultiple(bool enabled) { m_alwaysWriteMultiple = enabled; }

    // Identifies the device behind the link (the version chosen for a
    // device is remembered under it); link speed and timing are not part.
    QString key() const;
    // "TCP 192.168.1.20:502, unit 1", "RTU /dev/ttyUSB0 19200 8E1, unit 3".
    QString displayName() const;

    // Empty when usable, else why not.
    QString validationError() const;

    // Stored form; unknown or out-of-range stored values fall back to the
    // defaults, so an edited or damaged store never yields a bad profile.
    QVariantMap toMap() const;
    static ConnectionProfile fromMap(const QVariantMap &map);

    // Link parameters to the connection (TCP for the demo device, whose
    // host and port are filled in once it runs) and request parameters to
    // the settings.
    void applyTo(Fieldlink::FieldlinkCore::ModbusConnection *connection,
                 Fieldlink::FieldlinkCore::QModbusSettings *settings) const;

    bool operator==(const ConnectionProfile &other) const;
    bool operator!=(const ConnectionProfile &other) const { return !(*this == other); }

private:
    Kind m_kind = Tcp;
    QString m_host = QStringLiteral("127.0.0.1");
    int m_port = 502;
    QString m_serialPortName;
    int m_baudRate = 19200;
    QSerialPort::Parity m_parity = QSerialPort::EvenParity;
    QSerialPort::DataBits m_dataBits = QSerialPort::Data8;
    QSerialPort::StopBits m_stopBits = QSerialPort::OneStop;
    int m_unit = 1;
    int m_responseTimeout = 1000;
    int m_retries = 1;
    bool m_alwaysWriteMultiple = false;
};

} // namespace Workspace
