#pragma once

#include <QModbusDataUnit>
#include <QModbusPdu>
#include <QModbusTcpServer>
#include <QVector>

#include <functional>

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
    // It ends early once that thread is asked to end (requestInterruption).
    void setResponseDelay(int milliseconds) { m_delayMs = qMax(0, milliseconds); }
    int responseDelay() const { return m_delayMs; }
    void addExceptionRange(const ExceptionRange &range) { m_exceptions.append(range); }
    void clearExceptionRanges() { m_exceptions.clear(); }
    QVector<ExceptionRange> exceptionRanges() const { return m_exceptions; }
    // Every n-th request is not answered; the client's link is cut instead.
    void setDropEvery(int requests) { m_dropEvery = qMax(0, requests); }
    int dropEvery() const { return m_dropEvery; }

    // Asked before a write (function 5, 6, 15 or 16) is applied: 0 lets it
    // through, anything else is the exception code to answer with.
    using WriteCheck = std::function<int(QModbusDataUnit::RegisterType table, int first, int count)>;
    void setWriteCheck(const WriteCheck &check) { m_writeCheck = check; }

    quint64 requestCount() const { return m_requests; }
    quint16 listeningPort() const;

signals:
    void requestReceived(quint64 count);
    // A write was applied to the registers or coils of [first, first + count).
    void written(QModbusDataUnit::RegisterType table, int first, int count);

protected:
    QModbusResponse processRequest(const QModbusPdu &request) override;

private:
    void dropClients();

    int m_delayMs = 0;
    int m_dropEvery = 0;
    quint64 m_requests = 0;
    QVector<ExceptionRange> m_exceptions;
    WriteCheck m_writeCheck;
};

} // namespace Devicesim
