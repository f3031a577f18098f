#pragma once

#include <QModbusDataUnit>
#include <QModbusPdu>
#include <QModbusTcpServer>
#include <QVector>

namespace Devicesim {

// The Modbus TCP server of the simulator: Qt's server with the faults a
// commissioning engineer meets on a real line (slow answers, exception
// answers for an address range, a link that breaks now and then).
class SimulatedServer : public QModbusTcpServer
{
    Q_OBJECT

public:
    struct ExceptionRange
    {
        QModbusDataUnit::RegisterType table = QModbusDataUnit::Invalid;
        int first = 0;
        int last = 0;
        QModbusPdu::ExceptionCode code = QModbusPdu::IllegalDataAddress;
    };

    explicit SimulatedServer(QObject *parent = nullptr);

    // The delay blocks the thread that runs the server: the device is slow.
    void setResponseDelay(int milliseconds) { m_delayMs = qMax(0, milliseconds); }
    int responseDelay() const { return m_delayMs; }
    void addExceptionRange(const ExceptionRange &range) { m_exceptions.append(range); }
    void clearExceptionRanges() { m_exceptions.clear(); }
    QVector<ExceptionRange> exceptionRanges() const { return m_exceptions; }
    // Every n-th request is not answered; the client's link is cut instead.
    void setDropEvery(int requests) { m_dropEvery = qMax(0, requests); }
    int dropEvery() const { return m_dropEvery; }

    quint64 requestCount() const { return m_requests; }
    quint16 listeningPort() const;

signals:
    void requestReceived(quint64 count);

protected:
    QModbusResponse processRequest(const QModbusPdu &request) override;

private:
    void dropClients();

    int m_delayMs = 0;
    int m_dropEvery = 0;
    quint64 m_requests = 0;
    QVector<ExceptionRange> m_exceptions;
};

} // namespace Devicesim
