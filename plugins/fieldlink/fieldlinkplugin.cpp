#include "fieldlinkplugin.h"

#include "modbusconnection.h"

#include <core/icore.h>

#include <QSettings>

#include <algorithm>

namespace Fieldlink {
namespace FieldlinkCore {

namespace {

FieldlinkPlugin *s_instance = nullptr;

const char Group[] = "Fieldlink";

// An integer setting, or the fallback when it is missing, not a number or
// outside [low, high].
int intValue(const QSettings &s, const QString &key, int fallback, int low, int high)
{
    bool ok = false;
    const int v = s.value(key, fallback).toInt(&ok);
    return ok && v >= low && v <= high ? v : fallback;
}

bool isOneOf(int value, std::initializer_list<int> allowed)
{
    return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

} // namespace

FieldlinkPlugin::FieldlinkPlugin()
{
    s_instance = this;
}

FieldlinkPlugin::~FieldlinkPlugin()
{
    delete m_connection;
    m_connection = nullptr;
    if (s_instance == this)
        s_instance = nullptr;
}

FieldlinkPlugin *FieldlinkPlugin::instance()
{
    return s_instance;
}

bool FieldlinkPlugin::initialize(const QStringList &arguments, QString *errorString)
{
    Q_UNUSED(arguments)
    Q_UNUSED(errorString)
    if (!m_connection)
        m_connection = new ModbusConnection(this);
    loadSettings();
    return true;
}

ExtensionSystem::IPlugin::ShutdownFlag FieldlinkPlugin::aboutToShutdown()
{
    if (m_connection) {
        saveSettings();
        m_connection->clearTransactions();
        m_connection->disconnectDevice();
    }
    return SynchronousShutdown;
}

void FieldlinkPlugin::loadSettings()
{
    QSettings *store = Core::ICore::settings();
    if (!store || !m_connection)
        return;
    QSettings &s = *store;
    s.beginGroup(QLatin1String(Group));
    const ModbusConnection defaults;
    m_connection->setConnectionType(
        ModbusConnection::ConnectionType(intValue(s, "ConnectionType", ModbusConnection::Tcp,
                                                  ModbusConnection::Tcp, ModbusConnection::Rtu)));
    const QString host = s.value("Host", defaults.host()).toString().trimmed();
    m_connection->setHost(host.isEmpty() ? defaults.host() : host);
    m_connection->setPort(intValue(s, "Port", defaults.port(), 1, 65535));
    m_connection->setSerialPortName(s.value("SerialPort", defaults.serialPortName()).toString());
    m_connection->setBaudRate(intValue(s, "BaudRate", defaults.baudRate(), 1, 4000000));
    const int parity = intValue(s, "Parity", defaults.parity(), 0, 5);
    m_connection->setParity(isOneOf(parity, {QSerialPort::NoParity, QSerialPort::EvenParity,
                                             QSerialPort::OddParity, QSerialPort::SpaceParity,
                                             QSerialPort::MarkParity})
                                ? QSerialPort::Parity(parity)
                                : defaults.parity());
    m_connection->setDataBits(QSerialPort::DataBits(intValue(s, "DataBits", defaults.dataBits(), 5, 8)));
    m_connection->setStopBits(QSerialPort::StopBits(intValue(s, "StopBits", defaults.stopBits(), 1, 3)));
    m_connection->setAutoReconnect(s.value("AutoReconnect", true).toBool());

    const QModbusSettings request;
    m_settings.setServerAddress(intValue(s, "ServerAddress", request.serverAddress(),
                                         QModbusSettings::MinServerAddress,
                                         QModbusSettings::MaxServerAddress));
    m_settings.setResponseTimeout(intValue(s, "ResponseTimeout", request.responseTimeout(),
                                           QModbusSettings::MinResponseTimeout,
                                           QModbusSettings::MaxResponseTimeout));
    m_settings.setNumberOfRetries(intValue(s, "NumberOfRetries", request.numberOfRetries(), 0,
                                           QModbusSettings::MaxNumberOfRetries));
    s.endGroup();
}

void FieldlinkPlugin::saveSettings() const
{
    QSettings *store = Core::ICore::settings();
    if (!store || !m_connection)
        return;
    QSettings &s = *store;
    s.beginGroup(QLatin1String(Group));
    s.setValue("ConnectionType", int(m_connection->connectionType()));
    s.setValue("Host", m_connection->host());
    s.setValue("Port", m_connection->port());
    s.setValue("SerialPort", m_connection->serialPortName());
    s.setValue("BaudRate", m_connection->baudRate());
    s.setValue("Parity", int(m_connection->parity()));
    s.setValue("DataBits", int(m_connection->dataBits()));
    s.setValue("StopBits", int(m_connection->stopBits()));
    s.setValue("AutoReconnect", m_connection->autoReconnect());
    s.setValue("ServerAddress", m_settings.serverAddress());
    s.setValue("ResponseTimeout", m_settings.responseTimeout());
    s.setValue("NumberOfRetries", m_settings.numberOfRetries());
    s.endGroup();
    s.sync();
}

} // namespace FieldlinkCore
} // namespace Fieldlink
