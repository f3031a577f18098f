#include "modbustcplink.h"

#include <QLoggingCategory>
#include <QTcpSocket>
#include <QTimerEvent>

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <sys/types.h>
#endif

namespace Fieldlink {
namespace FieldlinkCore {

// Stray frames and retries are debug messages, shown only when asked for.
Q_LOGGING_CATEGORY(lcTcpLink, "fieldlink.tcp", QtInfoMsg)

namespace {

// At most this much is taken from the socket at once: a flooding peer
// cannot make the buffer grow without bound.
const int ReadChunk = 64 * 1024;

quint16 wordAt(const uchar *bytes)
{
    return quint16((bytes[0] << 8) | bytes[1]);
}

} // namespace

ModbusTcpLink::Frame ModbusTcpLink::cutFrame(const uchar *bytes, int size)
{
    Frame frame;
    if (!bytes || size < HeaderSize)
        return frame;
    frame.transactionId = wordAt(bytes);
    frame.protocolId = wordAt(bytes + 2);
    frame.lengthField = wordAt(bytes + 4);
    frame.unitId = bytes[6];
    if (frame.lengthField < MinLengthField || frame.lengthField > MaxLengthField) {
        frame.kind = Frame::BadLength;
        return frame;
    }
    const int total = 6 + frame.lengthField;
    if (size < total)
        return frame;
    frame.kind = Frame::Complete;
    frame.size = total;
    frame.pdu = bytes + HeaderSize;
    frame.pduSize = frame.lengthField - 1;
    return frame;
}

ModbusTcpLink::ModbusTcpLink(QObject *parent)
    : QObject(parent)
    , m_socket(new QTcpSocket(this))
    , m_in(4096)
{
    m_clock.start();
    m_out.reserve(HeaderSize + MaxPduSize);
    m_answerData.reserve(MaxPduSize);
    connect(m_socket, &QTcpSocket::connected, this, [this]() {
        m_inUsed = 0;
        // One small request, then silence until its answer: nothing to
        // gain from Nagle's delay.
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        setState(QModbusDevice::ConnectedState);
    });
    connect(m_socket, &QTcpSocket::disconnected, this, &ModbusTcpLink::onDisconnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &ModbusTcpLink::onReadyRead);
    connect(m_socket, &QAbstractSocket::errorOccurred, this, &ModbusTcpLink::onSocketError);
}

ModbusTcpLink::~ModbusTcpLink()
{
    // Torn down silently: whoever owns the link is going away too.
    m_socket->disconnect(this);
    m_socket->abort();
}

bool ModbusTcpLink::connectDevice(const QString &host, int port)
{
    if (m_state != QModbusDevice::UnconnectedState)
        return false;
    if (host.isEmpty() || port < 1 || port > 65535) {
        setError(tr("Invalid connection settings for TCP communication specified."),
                 QModbusDevice::ConnectionError);
        return false;
    }
    setState(QModbusDevice::ConnectingState);
    m_inUsed = 0;
    m_socket->connectToHost(host, quint16(port));
    return true;
}

void ModbusTcpLink::disconnectDevice()
{
    if (m_state == QModbusDevice::UnconnectedState || m_state == QModbusDevice::ClosingState)
        return;
    setState(QModbusDevice::ClosingState);
    m_socket->disconnectFromHost();
    // A socket that was still connecting closes without a disconnected().
    if (m_socket->state() == QAbstractSocket::UnconnectedState
        && m_state != QModbusDevice::UnconnectedState) {
        m_inUsed = 0;
        endInFlight(QModbusDevice::ReplyAbortedError,
                    tr("Reply aborted due to connection closure."));
        setState(QModbusDevice::UnconnectedState);
    }
}

void ModbusTcpLink::setState(QModbusDevice::State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void ModbusTcpLink::setError(const QString &text, QModbusDevice::Error error)
{
    m_error = error;
    m_errorString = text;
    emit errorOccurred(error);
}

bool ModbusTcpLink::sendRequest(quint8 function, const char *data, int dataSize, int unit,
                                int timeoutMs, int retries)
{
    if (m_inFlight) {
        m_errorString = tr("A request is already on the wire.");
        return false;
    }
    if (m_state != QModbusDevice::ConnectedState) {
        m_errorString = tr("Device not connected.");
        return false;
    }
    if (dataSize < 0 || dataSize + 1 > MaxPduSize || (dataSize > 0 && !data)) {
        m_errorString = tr("The request does not fit into one Modbus frame.");
        return false;
    }
    ++m_transactionId;
    m_unit = quint8(unit);
    m_timeoutMs = std::max(1, timeoutMs);
    m_retriesLeft = std::max(0, retries);

    // Within the reserve: no allocation from request to request.
    m_out.resize(HeaderSize + 1 + dataSize);
    uchar *frame = reinterpret_cast<uchar *>(m_out.data());
    frame[0] = uchar(m_transactionId >> 8);
    frame[1] = uchar(m_transactionId & 0xff);
    frame[2] = 0;
    frame[3] = 0;
    frame[4] = uchar((dataSize + 2) >> 8);
    frame[5] = uchar((dataSize + 2) & 0xff);
    frame[6] = m_unit;
    frame[7] = function;
    if (dataSize > 0)
        std::memcpy(frame + 8, data, size_t(dataSize));

    m_inFlight = true;
    if (!writeRequest()) {
        m_inFlight = false;
        return false;
    }
    if (m_inFlight) {
        m_deadline = m_clock.elapsed() + m_timeoutMs;
        armTimer(m_deadline);
    }
    return true;
}

bool ModbusTcpLink::writeRequest()
{
    const char *bytes = m_out.constData();
    qint64 size = m_out.size();
#ifdef Q_OS_UNIX
    // With nothing queued in the socket, the frame goes straight into the
    // kernel: through QTcpSocket it would be copied into its buffer and the
    // write notifier switched on and off again, which costs more than the
    // rest of sending. Whatever the kernel does not take, and any error, is
    // left to the socket.
    if (m_socket->bytesToWrite() == 0 && m_socket->state() == QAbstractSocket::ConnectedState) {
        const int fd = int(m_socket->socketDescriptor());
        ssize_t sent = -1;
        if (fd >= 0) {
            do
                sent = ::send(fd, bytes, size_t(size), MSG_NOSIGNAL | MSG_DONTWAIT);
            while (sent < 0 && errno == EINTR);
        }
        if (sent == size)
            return true;
        if (sent > 0) {
            bytes += sent;
            size -= sent;
        }
    }
#endif
    if (m_socket->write(bytes, size) != size) {
        m_errorString = tr("Could not write request to socket.");
        return false;
    }
    // On its way at once, not at the next turn of the event loop. A failing
    // socket reports from inside flush(); the request's end then comes from
    // the event loop (see endInFlight()).
    m_sending = true;
    m_socket->flush();
    m_sending = false;
    return true;
}

void ModbusTcpLink::abandonRequest()
{
    m_inFlight = false;
    m_deadline = -1;
}

void ModbusTcpLink::armTimer(qint64 deadline)
{
    if (!m_timer.isActive() || deadline < m_timerShot) {
        m_timerShot = deadline;
        m_timer.start(int(std::max<qint64>(0, deadline - m_clock.elapsed())), this);
    }
}

void ModbusTcpLink::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_timer.timerId()) {
        QObject::timerEvent(event);
        return;
    }
    m_timer.stop();
    if (!m_inFlight || m_deadline < 0)
        return;
    const qint64 now = m_clock.elapsed();
    if (m_deadline > now) {
        // Armed for an earlier request, or a coarse timer fired early.
        armTimer(m_deadline);
        return;
    }
    if (m_retriesLeft > 0) {
        // The same frame again, with the same transaction id: a late answer
        // to the first try is as good as one to the retry.
        --m_retriesLeft;
        qCDebug(lcTcpLink) << "Retrying transaction" << m_transactionId;
        if (!writeRequest()) {
            endInFlight(QModbusDevice::WriteError, m_errorString);
            return;
        }
        if (m_inFlight) {
            m_deadline = now + m_timeoutMs;
            armTimer(m_deadline);
        }
        return;
    }
    endInFlight(QModbusDevice::TimeoutError, tr("Request timeout."));
}

void ModbusTcpLink::endInFlight(QModbusDevice::Error error, const QString &text)
{
    if (!m_inFlight)
        return;
    m_inFlight = false;
    m_deadline = -1;
    if (m_sending) {
        QMetaObject::invokeMethod(
            this, [this, error, text]() { emit requestEnded(error, QModbusResponse(), text); },
            Qt::QueuedConnection);
        return;
    }
    emit requestEnded(error, QModbusResponse(), text);
}

void ModbusTcpLink::onReadyRead()
{
    for (;;) {
        const qint64 available = std::min<qint64>(m_socket->bytesAvailable(), ReadChunk);
        if (available <= 0)
            return;
        const size_t needed = size_t(m_inUsed) + size_t(available);
        if (m_in.size() < needed)
            m_in.resize(std::max(needed, m_in.size() * 2));
        const qint64 got =
            m_socket->read(reinterpret_cast<char *>(m_in.data()) + m_inUsed, available);
        if (got <= 0)
            return;
        m_inUsed += int(got);

        int pos = 0;
        for (;;) {
            const Frame frame = cutFrame(m_in.data() + pos, m_inUsed - pos);
            if (frame.kind == Frame::Incomplete)
                break;
            if (frame.kind == Frame::BadLength) {
                // No later frame boundary can be trusted: start afresh on a
                // new connection.
                m_inUsed = 0;
                qCWarning(lcTcpLink) << "Frame with impossible length" << frame.lengthField
                                     << "received; resetting the connection";
                endInFlight(QModbusDevice::UnknownError,
                            tr("The device sent a Modbus TCP frame with the impossible length %1.")
                                .arg(frame.lengthField));
                setError(tr("The device sent a malformed Modbus TCP frame; the connection was reset."),
                         QModbusDevice::ConnectionError);
                m_socket->abort();
                return;
            }
            pos += frame.size;
            // The receiver may send the next request or close the link;
            // a closed link has dropped the buffer.
            const int usedBefore = m_inUsed;
            deliver(frame);
            if (m_inUsed != usedBefore || m_socket->state() != QAbstractSocket::ConnectedState) {
                m_inUsed = 0;
                return;
            }
        }
        if (pos > 0) {
            m_inUsed -= pos;
            if (m_inUsed > 0)
                std::memmove(m_in.data(), m_in.data() + pos, size_t(m_inUsed));
        }
    }
}

bool ModbusTcpLink::deliver(const Frame &frame)
{
    if (!m_inFlight || frame.transactionId != m_transactionId || frame.protocolId != 0
        || frame.unitId != m_unit || frame.pduSize < 1) {
        ++m_strayFrames;
        qCDebug(lcTcpLink) << "Ignoring a frame that answers no request on the wire: transaction"
                           << frame.transactionId << "protocol" << frame.protocolId << "unit"
                           << frame.unitId;
        return false;
    }
    m_inFlight = false;
    m_deadline = -1;
    const quint8 function = frame.pdu[0];
    // Refilled in place: the previous answer gave its share back below.
    m_answerData.resize(frame.pduSize - 1);
    if (frame.pduSize > 1)
        std::memcpy(m_answerData.data(), frame.pdu + 1, size_t(frame.pduSize - 1));
    m_answer.setFunctionCode(QModbusPdu::FunctionCode(function));
    m_answer.setData(m_answerData);
    const QModbusDevice::Error error =
        (function & QModbusPdu::ExceptionByte) ? QModbusDevice::ProtocolError : QModbusDevice::NoError;
    emit requestEnded(error, m_answer, QString());
    m_answer.setData(QByteArray());
    return true;
}

void ModbusTcpLink::onDisconnected()
{
    m_inUsed = 0;
    setState(QModbusDevice::UnconnectedState);
    endInFlight(QModbusDevice::ReplyAbortedError, tr("Reply aborted due to connection closure."));
}

void ModbusTcpLink::onSocketError()
{
    if (m_socket->state() == QAbstractSocket::UnconnectedState) {
        m_inUsed = 0;
        endInFlight(QModbusDevice::ReplyAbortedError, tr("Reply aborted due to connection closure."));
        setState(QModbusDevice::UnconnectedState);
    }
    setError(tr("TCP socket error (%1).").arg(m_socket->errorString()),
             QModbusDevice::ConnectionError);
}

} // namespace FieldlinkCore
} // namespace Fieldlink
