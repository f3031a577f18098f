#include "simulatedserver.h"

#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace Devicesim {

namespace {

// Table, first address and quantity a request touches; false for requests
// that address no table (diagnostics, identification, ...).
bool addressedRange(const QModbusPdu &request, QModbusDataUnit::RegisterType *table,
                    int *first, int *count)
{
    const QByteArray data = request.data();
    if (data.size() < 2)
        return false;
    *first = (quint8(data.at(0)) << 8) | quint8(data.at(1));
    const int quantity = data.size() >= 4 ? (quint8(data.at(2)) << 8) | quint8(data.at(3)) : 1;
    switch (request.functionCode()) {
    case QModbusPdu::ReadCoils:
    case QModbusPdu::WriteMultipleCoils:
        *table = QModbusDataUnit::Coils;
        *count = quantity;
        return true;
    case QModbusPdu::WriteSingleCoil:
        *table = QModbusDataUnit::Coils;
        *count = 1;
        return true;
    case QModbusPdu::ReadDiscreteInputs:
        *table = QModbusDataUnit::DiscreteInputs;
        *count = quantity;
        return true;
    case QModbusPdu::ReadHoldingRegisters:
    case QModbusPdu::WriteMultipleRegisters:
    case QModbusPdu::ReadWriteMultipleRegisters:
        *table = QModbusDataUnit::HoldingRegisters;
        *count = quantity;
        return true;
    case QModbusPdu::WriteSingleRegister:
    case QModbusPdu::MaskWriteRegister:
        *table = QModbusDataUnit::HoldingRegisters;
        *count = 1;
        return true;
    case QModbusPdu::ReadInputRegisters:
        *table = QModbusDataUnit::InputRegisters;
        *count = quantity;
        return true;
    default:
        return false;
    }
}

} // namespace

SimulatedServer::SimulatedServer(QObject *parent)
    : QModbusTcpServer(parent)
{
}

quint16 SimulatedServer::listeningPort() const
{
    const QTcpServer *server = findChild<QTcpServer *>();
    return server && server->isListening() ? server->serverPort() : 0;
}

QModbusResponse SimulatedServer::processRequest(const QModbusPdu &request)
{
    ++m_requests;
    emit requestReceived(m_requests);

    if (m_dropEvery > 0 && m_requests % quint64(m_dropEvery) == 0) {
        // Qt's server skips the answer once the asking socket is closed.
        dropClients();
        return QModbusExceptionResponse(request.functionCode(),
                                        QModbusPdu::ServerDeviceFailure);
    }
    if (m_delayMs > 0) {
        // In slices, so that a thread asked to end is not held up by a slow
        // answer.
        QDeadlineTimer deadline(m_delayMs);
        QThread *thread = QThread::currentThread();
        while (!deadline.hasExpired() && !thread->isInterruptionRequested())
            QThread::msleep(ulong(qBound(qint64(1), deadline.remainingTime(), qint64(20))));
    }

    QModbusDataUnit::RegisterType table = QModbusDataUnit::Invalid;
    int first = 0;
    int count = 0;
    if (addressedRange(request, &table, &first, &count) && count > 0) {
        const int last = first + count - 1;
        for (const ExceptionRange &range : qAsConst(m_exceptions)) {
            if (range.table == table && first <= range.last && last >= range.first)
                return QModbusExceptionResponse(request.functionCode(), range.code);
        }
    }
    const bool write = request.functionCode() == QModbusPdu::WriteSingleCoil
        || request.functionCode() == QModbusPdu::WriteSingleRegister
        || request.functionCode() == QModbusPdu::WriteMultipleCoils
        || request.functionCode() == QModbusPdu::WriteMultipleRegisters;
    if (write && m_writeCheck && count > 0) {
        const int code = m_writeCheck(table, first, count);
        if (code != 0)
            return QModbusExceptionResponse(request.functionCode(),
                                            QModbusPdu::ExceptionCode(code));
    }
    const QModbusResponse response = QModbusTcpServer::processRequest(request);
    if (write && !response.isException())
        emit written(table, first, count);
    return response;
}

void SimulatedServer::dropClients()
{
    const QList<QTcpSocket *> sockets = findChildren<QTcpSocket *>();
    for (QTcpSocket *socket : sockets) {
        socket->abort();
        socket->deleteLater();
    }
}

} // namespace Devicesim
