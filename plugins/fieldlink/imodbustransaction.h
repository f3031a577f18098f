#pragma once

#include <fieldlink/fieldlink_global.h>
#include <fieldlink/qmodbussettings.h>

#include <QElapsedTimer>
#include <QModbusDeviceIdentification>
#include <QModbusRequest>
#include <QObject>
#include <QString>
#include <QVector>

#include <functional>

namespace Fieldlink {
namespace FieldlinkCore {

class ModbusConnection;

// One Modbus request and its outcome. Created by ModbusConnection (read*,
// write*, readDeviceIdentification), executed by addTransactionExec, and
// ended by exactly one transactionExecutionEnded signal: the QVector<quint16>
// overload for register reads and writes, the QVector<quint8> overload for
// bit reads and writes and for device identification (then the vector holds
// the raw object bytes; use deviceIdentification()). The connection frees the
// transaction with deleteLater() right after that signal, so receivers may
// use it within their slot but must not keep the pointer.
class FIELDLINK_EXPORT IModbusTransaction : public QObject
{
    Q_OBJECT

public:
    enum Status {
        Created = 0,   // built, not yet handed to the connection
        Queued = 1,    // waiting for its turn (or for the link)
        Running = 2,   // on the wire
        Succeeded = 3, // ended well, signal emitted
        Failed = 4,    // ended badly, signal emitted
        Finished = 5   // set by the receiver once it has consumed the result
    };
    Q_ENUM(Status)

    // Higher values run first; equal priorities run in arrival order.
    enum Priority {
        IdlePriority = 0,
        LowestPriority = 1,
        LowPriority = 2,
        NormalPriority = 3, // cyclic polling
        HighPriority = 4,   // user-initiated reads and writes
        HighestPriority = 5
    };
    Q_ENUM(Priority)

    enum Function {
        ReadInputRegisters,
        ReadHoldingRegisters,
        ReadDiscreteInputs,
        ReadCoils,
        WriteHoldingRegisters,
        WriteCoils,
        ReadDeviceIdentification
    };
    Q_ENUM(Function)

    enum Outcome {
        Pending = 0,
        Ok,
        Timeout,          // no answer within the response timeout (after retries)
        ExceptionReply,   // the device answered with a Modbus exception
        ConnectionLost,   // the link went down while the request was on the wire
        LinkDown,         // the link did not come up within the response timeout
        LengthMismatch,   // the answer does not match the request's quantity
        InvalidResponse,  // malformed or unexpected answer
        Dropped,          // removed by clearTransactions() or connection teardown
        InvalidRequest,   // quantity or address range outside the protocol limits
        OtherError
    };
    Q_ENUM(Outcome)

    // Quantity limits per request. Bit reads stop at 1016 because Qt 5.15's
    // TCP client rejects longer bit replies.
    enum Limits {
        MaxReadRegisters = 125,
        MaxReadBits = 1016,
        MaxWriteRegisters = 123,
        MaxWriteBits = 1968,
        MaxAddress = 65535
    };

    IModbusTransaction(Function function, int startAddress, int count,
                       const QModbusSettings &settings, Priority priority,
                       QObject *parent = nullptr);
    ~IModbusTransaction() override;

    // True when start and count fit the function's limits and the address range.
    static bool isValidRange(Function function, int startAddress, int count);

    int transactionID() const { return m_id; }
    Function function() const { return m_function; }
    bool isBitAccess() const;
    bool isWrite() const;
    int startAddress() const { return m_start; }
    int count() const { return m_count; }
    QModbusSettings settings() const { return m_settings; }
    Priority priority() const { return m_priority; }

    // The request PDU; its data begins with the big-endian start address and
    // quantity (not for device identification, whose data is MEI type 0x0E,
    // read code 0x01 and object id 0x00).
    QModbusRequest *requestPackage() { return &m_request; }
    const QModbusRequest *requestPackage() const { return &m_request; }

    Status status() const { return m_status; }
    void setStatus(Status status);

    // Values to write (write functions). Bits are 0 or non-zero.
    QVector<quint16> writeRegisters() const { return m_writeRegisters; }
    QVector<quint8> writeBits() const { return m_writeBits; }
    void setWriteValues(const QVector<quint16> &registers);
    void setWriteValues(const QVector<quint8> &bits);

    // Outcome, available from the completion signal on.
    Outcome outcome() const { return m_outcome; }
    bool isOk() const { return m_outcome == Ok; }
    QString errorString() const { return m_errorString; }
    int exceptionCode() const { return m_exceptionCode; } // 0 when none
    QVector<quint16> registerValues() const { return m_registers; }
    QVector<quint8> bitValues() const { return m_bits; }
    QModbusDeviceIdentification deviceIdentification() const { return m_identification; }
    qint64 responseTime() const { return m_responseTime; } // ms, -1 when unknown

    // Why the transaction failed, in words for the user: the same text in the
    // window and in the command-line tools. Empty while pending or when ok.
    QString failureText() const;
    // The standard name of a Modbus exception code ("illegal data address").
    static QString exceptionName(int code);

    // Ending a transaction. Each emits the completion signal that fits the
    // function and returns true, or does nothing and returns false when the
    // transaction has already ended. Public so that test doubles of the
    // connection can drive a transaction.
    bool complete(const QVector<quint16> &registers);
    bool complete(const QVector<quint8> &bits);
    bool completeIdentification(const QModbusDeviceIdentification &identification,
                                const QByteArray &rawObjects);
    bool fail(Outcome outcome, const QString &errorString, int exceptionCode = 0);
    bool hasEnded() const { return m_outcome != Pending; }
    // Ends the transaction as Dropped without any signal (clearTransactions).
    void markDropped();

    // Called on the completion, before the signal, with what the signal
    // carries (registers for register functions, bits or the raw objects
    // otherwise; the other vector is empty). For a caller that makes a
    // transaction for every request: a connection made per transaction
    // costs more than the rest of the transaction's handling.
    using Completion = std::function<void(bool ok, const QVector<quint16> &registers,
                                          const QVector<quint8> &bits)>;
    void setCompletion(Completion completion) { m_completion = std::move(completion); }

    // Timing helpers used by the connection.
    void markSent();
    void setResponseTime(qint64 milliseconds) { m_responseTime = milliseconds; }
    qint64 msSinceSent() const;
    qint64 usSinceSent() const; // microseconds, -1 before markSent()

signals:
    void transactionExecutionEnded(bool isOk, QVector<quint16> values, int transactionId);
    void transactionExecutionEnded(bool isOk, QVector<quint8> values, int transactionId);

private:
    friend class ModbusConnection;

    void emitEnd(bool ok);

    // The connection that tracks this transaction until it is released; told
    // directly on destruction, which is cheaper than a destroyed() connection
    // per request.
    ModbusConnection *m_owner = nullptr;

    const int m_id;
    const Function m_function;
    const int m_start;
    const int m_count;
    const QModbusSettings m_settings;
    const Priority m_priority;
    QModbusRequest m_request;
    Status m_status = Created;
    Outcome m_outcome = Pending;
    QString m_errorString;
    int m_exceptionCode = 0;
    QVector<quint16> m_writeRegisters;
    QVector<quint8> m_writeBits;
    QVector<quint16> m_registers;
    QVector<quint8> m_bits;
    QByteArray m_rawObjects;
    QModbusDeviceIdentification m_identification;
    QElapsedTimer m_sentTimer;
    qint64 m_responseTime = -1;
    Completion m_completion;
};

} // namespace FieldlinkCore
} // namespace Fieldlink
