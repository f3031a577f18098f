#include "imodbustransaction.h"
#include "modbusconnection.h"

#include <QAtomicInt>
#include <QPointer>

namespace Fieldlink {
namespace FieldlinkCore {

namespace {

QAtomicInt nextTransactionId(0);

void appendWord(QByteArray *bytes, quint16 word)
{
    bytes->append(char(word >> 8));
    bytes->append(char(word & 0xff));
}

QModbusPdu::FunctionCode functionCode(IModbusTransaction::Function function)
{
    switch (function) {
    case IModbusTransaction::ReadInputRegisters: return QModbusPdu::ReadInputRegisters;
    case IModbusTransaction::ReadHoldingRegisters: return QModbusPdu::ReadHoldingRegisters;
    case IModbusTransaction::ReadDiscreteInputs: return QModbusPdu::ReadDiscreteInputs;
    case IModbusTransaction::ReadCoils: return QModbusPdu::ReadCoils;
    case IModbusTransaction::WriteHoldingRegisters: return QModbusPdu::WriteMultipleRegisters;
    case IModbusTransaction::WriteCoils: return QModbusPdu::WriteMultipleCoils;
    case IModbusTransaction::ReadDeviceIdentification:
        return QModbusPdu::EncapsulatedInterfaceTransport;
    }
    return QModbusPdu::Invalid;
}

} // namespace

IModbusTransaction::IModbusTransaction(Function function, int startAddress, int count,
                                       const QModbusSettings &settings, Priority priority,
                                       QObject *parent)
    : QObject(parent)
    , m_id(nextTransactionId.fetchAndAddRelaxed(1) + 1)
    , m_function(function)
    , m_start(startAddress)
    , m_count(count)
    , m_settings(settings)
    , m_priority(priority)
{
    QByteArray data;
    if (function == ReadDeviceIdentification) {
        // MEI type 0x0E (read device identification), code 0x01 (basic
        // objects), starting at object 0x00.
        data.append(char(0x0e));
        data.append(char(0x01));
        data.append(char(0x00));
    } else {
        // One allocation: every request of a pass is built this way.
        data.reserve(4);
        appendWord(&data, quint16(startAddress));
        appendWord(&data, quint16(count));
    }
    m_request = QModbusRequest(functionCode(function), data);
}

IModbusTransaction::~IModbusTransaction()
{
    // A transaction deleted behind the connection's back must not leave a
    // dangling pointer in its queue.
    if (m_owner)
        m_owner->forget(this);
}

bool IModbusTransaction::isValidRange(Function function, int startAddress, int count)
{
    int limit = 0;
    switch (function) {
    case ReadInputRegisters:
    case ReadHoldingRegisters: limit = MaxReadRegisters; break;
    case ReadDiscreteInputs:
    case ReadCoils: limit = MaxReadBits; break;
    case WriteHoldingRegisters: limit = MaxWriteRegisters; break;
    case WriteCoils: limit = MaxWriteBits; break;
    case ReadDeviceIdentification: return true;
    }
    if (count < 1 || count > limit || startAddress < 0 || startAddress > MaxAddress)
        return false;
    return qint64(startAddress) + count - 1 <= MaxAddress;
}

bool IModbusTransaction::isBitAccess() const
{
    return m_function == ReadDiscreteInputs || m_function == ReadCoils || m_function == WriteCoils;
}

bool IModbusTransaction::isWrite() const
{
    return m_function == WriteHoldingRegisters || m_function == WriteCoils;
}

void IModbusTransaction::setStatus(Status status)
{
    m_status = status;
}

void IModbusTransaction::setWriteValues(const QVector<quint16> &registers)
{
    m_writeRegisters = registers;
    QByteArray data;
    appendWord(&data, quint16(m_start));
    appendWord(&data, quint16(registers.size()));
    data.append(char(quint8(registers.size() * 2)));
    for (quint16 word : registers)
        appendWord(&data, word);
    m_request.setData(data);
}

void IModbusTransaction::setWriteValues(const QVector<quint8> &bits)
{
    m_writeBits = bits;
    QByteArray data;
    appendWord(&data, quint16(m_start));
    appendWord(&data, quint16(bits.size()));
    QByteArray packed((bits.size() + 7) / 8, '\0');
    for (int i = 0; i < bits.size(); ++i) {
        if (bits.at(i))
            packed[i / 8] = char(quint8(packed.at(i / 8)) | (1u << (i % 8)));
    }
    data.append(char(quint8(packed.size())));
    data.append(packed);
    m_request.setData(data);
}

bool IModbusTransaction::complete(const QVector<quint16> &registers)
{
    if (hasEnded())
        return false;
    m_registers = registers;
    m_outcome = Ok;
    emitEnd(true);
    return true;
}

bool IModbusTransaction::complete(const QVector<quint8> &bits)
{
    if (hasEnded())
        return false;
    m_bits = bits;
    m_outcome = Ok;
    emitEnd(true);
    return true;
}

bool IModbusTransaction::completeIdentification(const QModbusDeviceIdentification &identification,
                                                const QByteArray &rawObjects)
{
    if (hasEnded())
        return false;
    m_identification = identification;
    m_bits.clear();
    for (char c : rawObjects)
        m_bits.append(quint8(c));
    m_outcome = Ok;
    emitEnd(true);
    return true;
}

bool IModbusTransaction::fail(Outcome outcome, const QString &errorString, int exceptionCode)
{
    if (hasEnded())
        return false;
    m_outcome = outcome == Pending || outcome == Ok ? OtherError : outcome;
    m_errorString = errorString;
    m_exceptionCode = exceptionCode;
    m_registers.clear();
    m_bits.clear();
    emitEnd(false);
    return true;
}

QString IModbusTransaction::exceptionName(int code)
{
    switch (code) {
    case 0x01: return tr("illegal function");
    case 0x02: return tr("illegal data address");
    case 0x03: return tr("illegal data value");
    case 0x04: return tr("server device failure");
    case 0x05: return tr("acknowledge");
    case 0x06: return tr("server device busy");
    case 0x08: return tr("memory parity error");
    case 0x0A: return tr("gateway path unavailable");
    case 0x0B: return tr("gateway target device failed to respond");
    default: return tr("unknown exception");
    }
}

QString IModbusTransaction::failureText() const
{
    switch (m_outcome) {
    case Pending:
    case Ok:
        return QString();
    case Timeout: {
        const int retries = m_settings.numberOfRetries();
        const QString tries = retries == 0 ? tr("no retry")
                                           : retries == 1 ? tr("1 retry") : tr("%1 retries").arg(retries);
        return tr("timeout, no answer within %1 ms (%2)").arg(m_settings.responseTimeout()).arg(tries);
    }
    case ExceptionReply:
        return tr("exception %1 (%2)").arg(m_exceptionCode).arg(exceptionName(m_exceptionCode));
    case ConnectionLost:
        return tr("connection lost");
    case LinkDown:
        return tr("link down");
    case LengthMismatch:
        return tr("reply length mismatch");
    case InvalidResponse:
        return tr("invalid answer");
    case Dropped:
        return tr("dropped before it was answered");
    case InvalidRequest:
        return tr("invalid request");
    case OtherError:
        break;
    }
    return m_errorString.isEmpty() ? tr("failed") : m_errorString;
}

void IModbusTransaction::markDropped()
{
    if (hasEnded())
        return;
    m_outcome = Dropped;
    m_errorString = tr("The request was dropped before it was sent.");
    m_status = Failed;
}

void IModbusTransaction::markSent()
{
    m_sentTimer.start();
}

qint64 IModbusTransaction::usSinceSent() const
{
    return m_sentTimer.isValid() ? m_sentTimer.nsecsElapsed() / 1000 : -1;
}

qint64 IModbusTransaction::msSinceSent() const
{
    return m_sentTimer.isValid() ? m_sentTimer.elapsed() : -1;
}

void IModbusTransaction::emitEnd(bool ok)
{
    m_status = ok ? Succeeded : Failed;
    // Bit accesses and device identification carry bytes, registers words.
    const bool bytes = isBitAccess() || m_function == ReadDeviceIdentification;
    if (m_completion) {
        // Taken out first: the receiver may set another one, or end the
        // transaction's life with its connection.
        const Completion completion = std::move(m_completion);
        m_completion = nullptr;
        QPointer<IModbusTransaction> alive = this;
        completion(ok, bytes ? QVector<quint16>() : m_registers, bytes ? m_bits : QVector<quint8>());
        if (!alive)
            return;
    }
    if (bytes)
        emit transactionExecutionEnded(ok, m_bits, m_id);
    else
        emit transactionExecutionEnded(ok, m_registers, m_id);
}

} // namespace FieldlinkCore
} // namespace Fieldlink
