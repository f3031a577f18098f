#pragma once

#include <QModbusDeviceIdentification>
#include <QModbusTcpServer>
#include <QTcpServer>
#include <QUrl>

// A plain Modbus TCP device for the cases the simulator does not cover: one
// that does not answer device identification at all, or answers with a
// version given by the test.
class TestDevice : public QModbusTcpServer
{
public:
    explicit TestDevice(const QString &version = QString())
    {
        QModbusDataUnitMap map;
        map.insert(QModbusDataUnit::InputRegisters, QModbusDataUnit(QModbusDataUnit::InputRegisters, 0, 16));
        map.insert(QModbusDataUnit::HoldingRegisters, QModbusDataUnit(QModbusDataUnit::HoldingRegisters, 0, 16));
        setMap(map);
        setServerAddress(1);
        m_identify = !version.isEmpty();
        if (m_identify) {
            QModbusDeviceIdentification id;
            id.setConformityLevel(QModbusDeviceIdentification::BasicConformityLevel);
            id.insert(QModbusDeviceIdentification::VendorNameObjectId, "Test");
            id.insert(QModbusDeviceIdentification::ProductCodeObjectId, "T1");
            id.insert(QModbusDeviceIdentification::MajorMinorRevisionObjectId, version.toUtf8());
            setValue(QModbusServer::DeviceIdentification, QVariant::fromValue(id));
        }
    }

    bool listenOn(quint16 port = 0)
    {
        setConnectionParameter(QModbusDevice::NetworkAddressParameter, QStringLiteral("127.0.0.1"));
        setConnectionParameter(QModbusDevice::NetworkPortParameter, port);
        if (!connectDevice())
            return false;
        return true;
    }

    quint16 port() const
    {
        const QTcpServer *server = findChild<QTcpServer *>();
        return server && server->isListening() ? server->serverPort() : 0;
    }

protected:
    QModbusResponse processRequest(const QModbusPdu &request) override
    {
        if (!m_identify && request.functionCode() == QModbusPdu::EncapsulatedInterfaceTransport)
            return QModbusExceptionResponse(request.functionCode(), QModbusExceptionResponse::IllegalFunction);
        return QModbusTcpServer::processRequest(request);
    }

private:
    bool m_identify = false;
};
