#include "connectionprofile.h"

#include <fieldlink/modbusconnection.h>
#include <fieldlink/qmodbussettings.h>

#include <QCoreApplication>

namespace Workspace {

namespace {

bool validParity(int p)
{
    return p == QSerialPort::NoParity || p == QSerialPort::EvenParity || p == QSerialPort::OddParity
           || p == QSerialPort::SpaceParity || p == QSerialPort::MarkParity;
}

QChar parityLetter(QSerialPort::Parity p)
{
    switch (p) {
    case QSerialPort::EvenParity:
        return QLatin1Char('E');
    case QSerialPort::OddParity:
        return QLatin1Char('O');
    case QSerialPort::SpaceParity:
        return QLatin1Char('S');
    case QSerialPort::MarkParity:
        return QLatin1Char('M');
    default:
        return QLatin1Char('N');
    }
}

QString stopBitsText(QSerialPort::StopBits s)
{
    switch (s) {
    case QSerialPort::TwoStop:
        return QStringLiteral("2");
    case QSerialPort::OneAndHalfStop:
        return QStringLiteral("1.5");
    default:
        return QStringLiteral("1");
    }
}

} // namespace

ConnectionProfile ConnectionProfile::tcp(const QString &host, int port, int unit)
{
    ConnectionProfile p;
    p.setKind(Tcp);
    p.setHost(host);
    p.setPort(port);
    p.setUnit(unit);
    return p;
}

ConnectionProfile ConnectionProfile::demo()
{
    ConnectionProfile p;
    p.setKind(Demo);
    p.setHost(QStringLiteral("127.0.0.1"));
    p.setPort(0);
    return p;
}

void ConnectionProfile::setKind(Kind kind)
{
    m_kind = (kind == Rtu || kind == Demo) ? kind : Tcp;
}

void ConnectionProfile::setHost(const QString &host) { m_host = host.trimmed(); }
// Port 0 is kept: it means "not chosen yet" (the demo device picks one).
void ConnectionProfile::setPort(int port) { m_port = qBound(0, port, int(MaxPort)); }
void ConnectionProfile::setSerialPortName(const QString &name) { m_serialPortName = name.trimmed(); }
void ConnectionProfile::setBaudRate(int baudRate) { m_baudRate = baudRate > 0 ? baudRate : 19200; }

void ConnectionProfile::setParity(QSerialPort::Parity parity)
{
    m_parity = validParity(parity) ? parity : QSerialPort::EvenParity;
}

void ConnectionProfile::setDataBits(QSerialPort::DataBits dataBits)
{
    m_dataBits = (dataBits >= QSerialPort::Data5 && dataBits <= QSerialPort::Data8) ? dataBits
                                                                                  : QSerialPort::Data8;
}

void ConnectionProfile::setStopBits(QSerialPort::StopBits stopBits)
{
    m_stopBits = (stopBits == QSerialPort::TwoStop || stopBits == QSerialPort::OneAndHalfStop)
                     ? stopBits
                     : QSerialPort::OneStop;
}

void ConnectionProfile::setUnit(int unit) { m_unit = qBound(int(MinUnit), unit, int(MaxUnit)); }

void ConnectionProfile::setResponseTimeout(int milliseconds)
{
    m_responseTimeout = qBound(int(MinTimeout), milliseconds, int(MaxTimeout));
}

void ConnectionProfile::setRetries(int retries) { m_retries = qBound(0, retries, int(MaxRetries)); }

QString ConnectionProfile::key() const
{
    switch (m_kind) {
    case Demo:
        return QStringLiteral("demo");
    case Rtu:
        return QStringLiteral("rtu:%1:%2").arg(m_serialPortName).arg(m_unit);
    default:
        return QStringLiteral("tcp:%1:%2:%3").arg(m_host).arg(m_port).arg(m_unit);
    }
}

QString ConnectionProfile::displayName() const
{
    switch (m_kind) {
    case Demo:
        return m_port > 0 ? QCoreApplication::translate("Workspace::ConnectionProfile", "Demo device (127.0.0.1:%1)").arg(m_port) : QCoreApplication::translate("Workspace::ConnectionProfile", "Demo device");
    case Rtu:
        return QCoreApplication::translate("Workspace::ConnectionProfile", "RTU %1 %2 %3%4%5, unit %6")
            .arg(m_serialPortName)
            .arg(m_baudRate)
            .arg(int(m_dataBits))
            .arg(parityLetter(m_parity))
            .arg(stopBitsText(m_stopBits))
            .arg(m_unit);
    default:
        return QCoreApplication::translate("Workspace::ConnectionProfile", "TCP %1:%2, unit %3").arg(m_host).arg(m_port).arg(m_unit);
    }
}

QString ConnectionProfile::validationError() const
{
    switch (m_kind) {
    case Demo:
        return QString();
    case Rtu:
        if (m_serialPortName.isEmpty())
            return QCoreApplication::translate("Workspace::ConnectionProfile", "Choose the serial port the device is connected to.");
        return QString();
    default:
        if (m_host.isEmpty())
            return QCoreApplication::translate("Workspace::ConnectionProfile", "Enter the host name or IP address of the device.");
        if (m_port < MinPort)
            return QCoreApplication::translate("Workspace::ConnectionProfile", "Enter a TCP port between 1 and 65535.");
        return QString();
    }
}

QVariantMap ConnectionProfile::toMap() const
{
    QVariantMap map;
    map.insert(QStringLiteral("kind"), int(m_kind));
    map.insert(QStringLiteral("host"), m_host);
    map.insert(QStringLiteral("port"), m_port);
    map.insert(QStringLiteral("serialPort"), m_serialPortName);
    map.insert(QStringLiteral("baudRate"), m_baudRate);
    map.insert(QStringLiteral("parity"), int(m_parity));
    map.insert(QStringLiteral("dataBits"), int(m_dataBits));
    map.insert(QStringLiteral("stopBits"), int(m_stopBits));
    map.insert(QStringLiteral("unit"), m_unit);
    map.insert(QStringLiteral("timeout"), m_responseTimeout);
    map.insert(QStringLiteral("retries"), m_retries);
    map.insert(QStringLiteral("writeMultiple"), m_alwaysWriteMultiple);
    return map;
}

ConnectionProfile ConnectionProfile::fromMap(const QVariantMap &map)
{
    ConnectionProfile p;
    const auto intOf = [&map](const char *key, int fallback) {
        bool ok = false;
        const int v = map.value(QLatin1String(key)).toInt(&ok);
        return ok ? v : fallback;
    };
    // Stored integers are checked before they become enumerations.
    const int kind = intOf("kind", Tcp);
    p.setKind(kind == Rtu || kind == Demo ? Kind(kind) : Tcp);
    if (map.contains(QStringLiteral("host")))
        p.setHost(map.value(QStringLiteral("host")).toString());
    p.setPort(intOf("port", 502));
    p.setSerialPortName(map.value(QStringLiteral("serialPort")).toString());
    p.setBaudRate(intOf("baudRate", 19200));
    const int parity = intOf("parity", QSerialPort::EvenParity);
    p.setParity(validParity(parity) ? QSerialPort::Parity(parity) : QSerialPort::EvenParity);
    const int dataBits = intOf("dataBits", QSerialPort::Data8);
    p.setDataBits(dataBits >= 5 && dataBits <= 8 ? QSerialPort::DataBits(dataBits) : QSerialPort::Data8);
    const int stopBits = intOf("stopBits", QSerialPort::OneStop);
    p.setStopBits(stopBits >= 1 && stopBits <= 3 ? QSerialPort::StopBits(stopBits) : QSerialPort::OneStop);
    p.setUnit(intOf("unit", 1));
    p.setResponseTimeout(intOf("timeout", 1000));
    p.setRetries(intOf("retries", 1));
    p.setAlwaysWriteMultiple(map.value(QStringLiteral("writeMultiple"), false).toBool());
    return p;
}

void ConnectionProfile::applyTo(Fieldlink::FieldlinkCore::ModbusConnection *connection,
                                Fieldlink::FieldlinkCore::QModbusSettings *settings) const
{
    using Fieldlink::FieldlinkCore::ModbusConnection;
    if (connection) {
        if (m_kind == Rtu) {
            connection->setConnectionType(ModbusConnection::Rtu);
            connection->setSerialPortName(m_serialPortName);
            connection->setBaudRate(m_baudRate);
            connection->setParity(m_parity);
            connection->setDataBits(m_dataBits);
            connection->setStopBits(m_stopBits);
        } else {
            connection->setConnectionType(ModbusConnection::Tcp);
            connection->setHost(m_host);
            connection->setPort(m_port);
        }
        connection->setAlwaysWriteMultiple(m_alwaysWriteMultiple);
    }
    if (settings) {
        settings->setServerAddress(m_unit);
        settings->setResponseTimeout(m_responseTimeout);
        settings->setNumberOfRetries(m_retries);
    }
}

bool ConnectionProfile::operator==(const ConnectionProfile &o) const
{
    return m_kind == o.m_kind && m_host == o.m_host && m_port == o.m_port
           && m_serialPortName == o.m_serialPortName && m_baudRate == o.m_baudRate
           && m_parity == o.m_parity && m_dataBits == o.m_dataBits && m_stopBits == o.m_stopBits
           && m_unit == o.m_unit && m_responseTimeout == o.m_responseTimeout
           && m_retries == o.m_retries && m_alwaysWriteMultiple == o.m_alwaysWriteMultiple;
}

} // namespace Workspace
