#include "modbusconnection.h"
#include "modbustcplink.h"
#include "trafficrecorder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QModbusDataUnit>
#include <QModbusReply>
#include <QModbusRtuSerialMaster>
#include <QTimer>
#include <QVariant>

#include <algorithm>

namespace Fieldlink {
namespace FieldlinkCore {

Q_LOGGING_CATEGORY(lcFieldlink, "fieldlink.connection")

namespace {

// Slack on top of the client's own timeout and retries before the connection
// gives up on a reply that Qt never finishes.
const int GuardSlackMs = 2000;

// The queue step, posted as a plain event: cheaper than a queued slot call.
QEvent::Type processQueueEventType()
{
    static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    return type;
}

} // namespace

ModbusConnection::ModbusConnection(QObject *parent)
    : QObject(parent)
    , m_guardTimer(new QTimer(this))
    , m_linkWaitTimer(new QTimer(this))
    , m_reconnectTimer(new QTimer(this))
{
    qRegisterMetaType<QVector<quint16>>("QVector<quint16>");
    qRegisterMetaType<QVector<quint8>>("QVector<quint8>");
    qRegisterMetaType<QModbusDevice::State>("QModbusDevice::State");
    m_clock.start();
    m_guardTimer->setSingleShot(true);
    m_linkWaitTimer->setSingleShot(true);
    m_reconnectTimer->setSingleShot(true);
    connect(m_guardTimer, &QTimer::timeout, this, &ModbusConnection::onGuardTimeout);
    connect(m_linkWaitTimer, &QTimer::timeout, this, &ModbusConnection::onLinkWaitTimeout);
    connect(m_reconnectTimer, &QTimer::timeout, this, [this]() {
        if (m_wantConnected && m_state == QModbusDevice::UnconnectedState)
            openLink();
    });
}

ModbusConnection::~ModbusConnection()
{
    m_wantConnected = false;
    // Transactions die silently with the connection: nobody may be left
    // waiting on an object that is being torn down.
    QList<IModbusTransaction *> all = m_queue;
    all += m_created.values();
    if (m_current)
        all.append(m_current);
    m_queue.clear();
    m_created.clear();
    m_current = nullptr;
    m_linkDeadlines.clear();
    for (IModbusTransaction *t : qAsConst(all)) {
        t->m_owner = nullptr;
        delete t;
    }
    if (m_client) {
        m_client->disconnect(this);
        disconnect(m_replyConnection);
        m_client->disconnectDevice();
        delete m_client;
        m_client = nullptr;
    }
    if (m_link) {
        m_link->disconnect(this);
        delete m_link;
        m_link = nullptr;
    }
}

void ModbusConnection::setConnectionType(ConnectionType type) { m_type = type; }
void ModbusConnection::setHost(const QString &host) { m_host = host.trimmed(); }
void ModbusConnection::setPort(int port) { m_port = port; }
void ModbusConnection::setSerialPortName(const QString &name) { m_serialPortName = name.trimmed(); }
void ModbusConnection::setBaudRate(int baudRate) { m_baudRate = baudRate; }
void ModbusConnection::setParity(QSerialPort::Parity parity) { m_parity = parity; }
void ModbusConnection::setDataBits(QSerialPort::DataBits dataBits) { m_dataBits = dataBits; }
void ModbusConnection::setStopBits(QSerialPort::StopBits stopBits) { m_stopBits = stopBits; }

void ModbusConnection::setAutoReconnect(bool enabled)
{
    m_autoReconnect = enabled;
    if (!enabled)
        m_reconnectTimer->stop();
}

void ModbusConnection::setReconnectDelays(int minimumMs, int maximumMs)
{
    m_reconnectMin = std::max(10, minimumMs);
    m_reconnectMax = std::max(m_reconnectMin, maximumMs);
    m_reconnectDelay = m_reconnectMin;
}

bool ModbusConnection::connectDevice()
{
    m_wantConnected = true;
    m_quietRepeats = false;
    m_reconnectTimer->stop();
    m_reconnectDelay = m_reconnectMin;
    if (m_state != QModbusDevice::ConnectedState)
        m_hadLink = false;
    if (m_state == QModbusDevice::ConnectedState || m_state == QModbusDevice::ConnectingState)
        return true;
    return openLink();
}

bool ModbusConnection::openLink()
{
    if (m_type == Tcp) {
        if (m_host.isEmpty() || m_port < 1 || m_port > 65535) {
            m_wantConnected = false;
            reportError(tr("Invalid network address %1:%2.").arg(m_host).arg(m_port));
            return false;
        }
    } else {
        if (m_serialPortName.isEmpty() || m_baudRate <= 0) {
            m_wantConnected = false;
            reportError(tr("No serial port or an invalid baud rate was given."));
            return false;
        }
    }

    // Both kinds of link report an opening alike; one that stayed closed is
    // tried again later.
    const auto opened = [this](auto *link, bool ok) {
        if (!ok)
            reportError(link->errorString().isEmpty() ? tr("The link could not be opened.")
                                                      : link->errorString());
        setState(link->state());
        if (!ok && link->state() == QModbusDevice::UnconnectedState)
            scheduleReconnect();
        return ok;
    };
    const bool wrongKind = (m_type == Tcp && m_client) || (m_type == Rtu && m_link);
    if (wrongKind)
        destroyClient();
    if (m_type == Tcp) {
        if (!m_link) {
            m_link = new ModbusTcpLink(this);
            connect(m_link, &ModbusTcpLink::stateChanged, this,
                    &ModbusConnection::onClientStateChanged);
            connect(m_link, &ModbusTcpLink::errorOccurred, this, &ModbusConnection::onClientError);
            connect(m_link, &ModbusTcpLink::requestEnded, this,
                    &ModbusConnection::onLinkRequestEnded);
        }
        return opened(m_link, m_link->connectDevice(m_host, m_port));
    }

    if (!m_client) {
        m_client = new QModbusRtuSerialMaster(this);
        connect(m_client, &QModbusDevice::stateChanged, this,
                &ModbusConnection::onClientStateChanged);
        connect(m_client, &QModbusDevice::errorOccurred, this, &ModbusConnection::onClientError);
    }
    m_client->setConnectionParameter(QModbusDevice::SerialPortNameParameter, m_serialPortName);
    m_client->setConnectionParameter(QModbusDevice::SerialBaudRateParameter, m_baudRate);
    m_client->setConnectionParameter(QModbusDevice::SerialParityParameter, m_parity);
    m_client->setConnectionParameter(QModbusDevice::SerialDataBitsParameter, m_dataBits);
    m_client->setConnectionParameter(QModbusDevice::SerialStopBitsParameter, m_stopBits);

    // An adapter that is not plugged in yet is no fault of the settings:
    // say so, and keep trying, it may be plugged in.
    if (m_serialPortName.startsWith(QLatin1Char('/'))
        && !QFileInfo::exists(m_serialPortName)) {
        reportError(tr("The serial port %1 does not exist; is the adapter plugged in?")
                        .arg(m_serialPortName));
        setState(QModbusDevice::UnconnectedState);
        scheduleReconnect();
        return false;
    }
    return opened(m_client, m_client->connectDevice());
}

void ModbusConnection::disconnectDevice()
{
    m_wantConnected = false;
    m_reconnectTimer->stop();
    m_reconnectDelay = m_reconnectMin;
    if (m_client && m_client->state() != QModbusDevice::UnconnectedState)
        m_client->disconnectDevice();
    if (m_link)
        m_link->disconnectDevice();
}

void ModbusConnection::destroyClient()
{
    if (!hasLink())
        return;
    if (m_current)
        failTransaction(m_current, IModbusTransaction::ConnectionLost,
                        tr("The link was replaced while a request was on the wire."));
    if (m_client) {
        m_client->disconnect(this);
        m_client->disconnectDevice();
        m_client->deleteLater();
        m_client = nullptr;
        m_losingPort = false;
    }
    if (m_link) {
        m_link->disconnect(this);
        m_link->disconnectDevice();
        m_link->deleteLater();
        m_link = nullptr;
    }
    setState(QModbusDevice::UnconnectedState);
}

void ModbusConnection::reportError(const QString &message)
{
    // Attempts to get a lost link back fail alike, one after the other:
    // the reason is said once, until the link is up or the user connects.
    const bool repeated = message == m_errorString && m_quietRepeats;
    m_errorString = message;
    m_quietRepeats = true;
    if (repeated)
        return;
    qCWarning(lcFieldlink).noquote() << message;
    emit errorOccurred(message);
}

void ModbusConnection::setState(QModbusDevice::State state)
{
    if (m_state == state)
        return;
    const QModbusDevice::State previous = m_state;
    m_state = state;
    emit stateChanged(state);

    if (state == QModbusDevice::ConnectedState) {
        if (m_hadLink) {
            m_statistics.recordReconnect();
            emit statisticsChanged();
        }
        m_hadLink = true;
        m_quietRepeats = false;
        m_reconnectDelay = m_reconnectMin;
        m_linkDeadlines.clear();
        m_linkWaitTimer->stop();
        emit connected();
        scheduleProcessing();
        return;
    }
    if (previous == QModbusDevice::ConnectedState)
        emit disconnected();
    // Everything waiting from now on waits for the link, bounded by its timeout.
    const qint64 now = m_clock.elapsed();
    for (IModbusTransaction *t : qAsConst(m_queue)) {
        if (!m_linkDeadlines.contains(t))
            m_linkDeadlines.insert(t, now + t->settings().responseTimeout());
    }
    armLinkWait();
}

void ModbusConnection::onClientStateChanged(QModbusDevice::State state)
{
    if (state == QModbusDevice::UnconnectedState)
        m_losingPort = false;
    setState(state);
    if (state != QModbusDevice::UnconnectedState)
        return;
    if (m_current) {
        // Qt aborts the replies of a closed link itself; this catches a reply
        // it would leave behind.
        QPointer<IModbusTransaction> inFlight = m_current;
        QTimer::singleShot(0, this, [this, inFlight]() {
            if (inFlight && inFlight == m_current && m_state == QModbusDevice::UnconnectedState) {
                disconnect(m_replyConnection);
                m_reply = nullptr;
                if (m_link)
                    m_link->abandonRequest();
                m_guardDeadline = -1;
                failTransaction(inFlight, IModbusTransaction::ConnectionLost,
                                tr("The connection was lost."));
            }
        });
    }
    scheduleReconnect();
}

void ModbusConnection::onClientError(QModbusDevice::Error error)
{
    if (error == QModbusDevice::NoError || !hasLink())
        return;
    if (m_client && error == QModbusDevice::ConnectionError
        && m_client->state() == QModbusDevice::ConnectedState) {
        // A serial port that went away (adapter unplugged, line closed)
        // fails every read from then on; Qt's master reports each failure
        // and keeps the dead port open. The link is lost: it is said once,
        // closed, and reconnected like any lost link.
        if (m_losingPort)
            return;
        m_losingPort = true;
        QString why = m_client->errorString().trimmed();
        while (why.endsWith(QLatin1Char('.')))
            why.chop(1);
        reportError(tr("The serial port %1 was lost (%2).").arg(m_serialPortName, why));
        // Closed from the event loop, not from inside the port's own
        // notification.
        QTimer::singleShot(0, m_client, [client = m_client] {
            if (client->state() != QModbusDevice::UnconnectedState)
                client->disconnectDevice();
        });
        return;
    }
    // Per-request failures arrive through their replies; report link errors.
    if (error == QModbusDevice::ConnectionError || error == QModbusDevice::ConfigurationError)
        reportError(m_link ? m_link->errorString() : m_client->errorString());
}

void ModbusConnection::scheduleReconnect()
{
    if (!m_wantConnected || !m_autoReconnect || m_reconnectTimer->isActive())
        return;
    const int delay = m_reconnectDelay;
    m_reconnectDelay = std::min(m_reconnectDelay * 2, m_reconnectMax);
    m_reconnectTimer->start(delay);
    emit reconnectScheduled(delay);
}

IModbusTransaction *ModbusConnection::create(IModbusTransaction::Function function, int start,
                                             int count, QModbusSettings *settings,
                                             IModbusTransaction::Priority priority)
{
    if (!IModbusTransaction::isValidRange(function, start, count))
        return nullptr;
    auto t = new IModbusTransaction(function, start, count,
                                    settings ? *settings : QModbusSettings(), priority, this);
    adopt(t);
    m_created.insert(t);
    return t;
}

void ModbusConnection::adopt(IModbusTransaction *t)
{
    if (t->parent() != this)
        t->setParent(this);
    // Tracked by one connection at a time; its destructor calls forget().
    if (t->m_owner && t->m_owner != this)
        t->m_owner->forget(t);
    t->m_owner = this;
}

void ModbusConnection::forget(IModbusTransaction *t)
{
    m_created.remove(t);
    m_queue.removeAll(t);
    m_linkDeadlines.remove(t);
    if (m_current == t) {
        m_current = nullptr;
        m_guardDeadline = -1;
        disconnect(m_replyConnection);
        m_reply = nullptr;
        if (m_link)
            m_link->abandonRequest();
        scheduleProcessing();
    }
}

IModbusTransaction *ModbusConnection::readInputs(int start, int count, QModbusSettings *settings,
                                                 IModbusTransaction::Priority priority)
{
    return create(IModbusTransaction::ReadInputRegisters, start, count, settings, priority);
}

IModbusTransaction *ModbusConnection::readHoldings(int start, int count, QModbusSettings *settings,
                                                   IModbusTransaction::Priority priority)
{
    return create(IModbusTransaction::ReadHoldingRegisters, start, count, settings, priority);
}

IModbusTransaction *ModbusConnection::readDiscretes(int start, int count, QModbusSettings *settings,
                                                    IModbusTransaction::Priority priority)
{
    return create(IModbusTransaction::ReadDiscreteInputs, start, count, settings, priority);
}

IModbusTransaction *ModbusConnection::readCoils(int start, int count, QModbusSettings *settings,
                                                IModbusTransaction::Priority priority)
{
    return create(IModbusTransaction::ReadCoils, start, count, settings, priority);
}

IModbusTransaction *ModbusConnection::writeHoldings(int start, const QVector<quint16> &values,
                                                    QModbusSettings *settings,
                                                    IModbusTransaction::Priority priority)
{
    IModbusTransaction *t = create(IModbusTransaction::WriteHoldingRegisters, start,
                                   values.size(), settings, priority);
    if (t)
        t->setWriteValues(values);
    return t;
}

IModbusTransaction *ModbusConnection::writeCoils(int start, const QVector<quint8> &values,
                                                 QModbusSettings *settings,
                                                 IModbusTransaction::Priority priority)
{
    IModbusTransaction *t = create(IModbusTransaction::WriteCoils, start, values.size(), settings,
                                   priority);
    if (t)
        t->setWriteValues(values);
    return t;
}

IModbusTransaction *ModbusConnection::readDeviceIdentification(QModbusSettings *settings,
                                                               IModbusTransaction::Priority priority)
{
    return create(IModbusTransaction::ReadDeviceIdentification, 0, 0, settings, priority);
}

void ModbusConnection::addTransactionExec(IModbusTransaction *transaction)
{
    if (!transaction)
        return;
    if (transaction->hasEnded() || transaction->status() != IModbusTransaction::Created
        || m_queue.contains(transaction) || transaction == m_current) {
        qCWarning(lcFieldlink) << "Transaction" << transaction->transactionID()
                               << "was handed over twice or after it ended; ignored.";
        return;
    }
    if (!m_created.remove(transaction))
        adopt(transaction);

    transaction->setStatus(IModbusTransaction::Queued);
    auto it = std::find_if(m_queue.begin(), m_queue.end(), [transaction](IModbusTransaction *q) {
        return q->priority() < transaction->priority();
    });
    m_queue.insert(it, transaction);
    if (!isConnected()) {
        m_linkDeadlines.insert(transaction,
                               m_clock.elapsed() + transaction->settings().responseTimeout());
        armLinkWait();
    }
    scheduleProcessing();
}

void ModbusConnection::clearTransactions()
{
    const QList<IModbusTransaction *> queued = m_queue;
    const QList<IModbusTransaction *> unsent = m_created.values();
    m_queue.clear();
    m_created.clear();
    m_linkDeadlines.clear();
    m_linkWaitTimer->stop();
    for (IModbusTransaction *t : unsent) {
        t->m_owner = nullptr;
        t->markDropped();
        t->deleteLater();
    }
    // Whoever handed a request over waits for its end: it still gets its one
    // completion signal, from the event loop (the caller may be in the middle
    // of rebuilding what the signal's receiver works on).
    for (IModbusTransaction *t : queued) {
        t->m_owner = nullptr;
        QTimer::singleShot(0, t, [t]() {
            t->fail(IModbusTransaction::Dropped, tr("The request was cleared before it was sent."));
            t->deleteLater();
        });
    }
}

void ModbusConnection::resetStatistics()
{
    m_statistics.clear();
    emit statisticsChanged();
}

void ModbusConnection::scheduleProcessing()
{
    if (m_inCompletion) {
        m_processAfterRelease = true;
        return;
    }
    if (m_processingScheduled)
        return;
    m_processingScheduled = true;
    // Completions must never be emitted from inside addTransactionExec.
    QCoreApplication::postEvent(this, new QEvent(processQueueEventType()));
}

bool ModbusConnection::event(QEvent *event)
{
    if (event->type() == processQueueEventType()) {
        processQueue();
        return true;
    }
    return QObject::event(event);
}

void ModbusConnection::processQueue()
{
    m_processingScheduled = false;

    // Requests that can never be valid end at once, link or not.
    for (;;) {
        auto it = std::find_if(m_queue.begin(), m_queue.end(), [](IModbusTransaction *t) {
            return !IModbusTransaction::isValidRange(t->function(), t->startAddress(), t->count());
        });
        if (it == m_queue.end())
            break;
        failTransaction(*it, IModbusTransaction::InvalidRequest,
                        tr("The request's quantity or address range is outside the Modbus limits."));
    }

    if (m_current || m_queue.isEmpty())
        return;
    if (!isConnected() || !hasLink()) {
        armLinkWait();
        return;
    }
    IModbusTransaction *next = m_queue.takeFirst();
    m_linkDeadlines.remove(next);
    send(next);
}

void ModbusConnection::send(IModbusTransaction *t)
{
    m_current = t;
    t->setStatus(IModbusTransaction::Running);
    if (m_link) {
        const bool sent = sendOverLink(t);
        m_statistics.recordRequest();
        t->markSent();
        if (!sent) {
            failTransaction(t, IModbusTransaction::OtherError,
                            m_link->errorString().isEmpty() ? tr("The request could not be sent.")
                                                            : m_link->errorString());
        }
        return;
    }
    const QModbusSettings settings = t->settings();
    m_client->setTimeout(settings.responseTimeout());
    m_client->setNumberOfRetries(settings.numberOfRetries());

    QModbusReply *reply = nullptr;
    const int server = settings.serverAddress();
    // Qt writes one value with function 6 or 5; the request package already
    // is the write-multiple form, sent as it is when that is wanted.
    m_sentRaw = t->isWrite() && t->count() == 1 && m_alwaysWriteMultiple;
    if (m_sentRaw)
        reply = m_client->sendRawRequest(*t->requestPackage(), server);
    else switch (t->function()) {
    case IModbusTransaction::ReadInputRegisters:
    case IModbusTransaction::ReadHoldingRegisters:
    case IModbusTransaction::ReadDiscreteInputs:
    case IModbusTransaction::ReadCoils:
        // The prepared request PDU: the same bytes Qt would build from a data
        // unit, without building them afresh through a QDataStream. The
        // answer's words are taken from its bytes in handleReply(), which
        // checks them anyway.
        reply = m_client->sendRawRequest(*t->requestPackage(), server);
        break;
    case IModbusTransaction::WriteHoldingRegisters:
        reply = m_client->sendWriteRequest(
            QModbusDataUnit(QModbusDataUnit::HoldingRegisters, t->startAddress(),
                            t->writeRegisters()),
            server);
        break;
    case IModbusTransaction::WriteCoils: {
        QVector<quint16> bits;
        bits.reserve(t->writeBits().size());
        for (quint8 b : t->writeBits())
            bits.append(b ? 1 : 0);
        reply = m_client->sendWriteRequest(
            QModbusDataUnit(QModbusDataUnit::Coils, t->startAddress(), bits), server);
        break;
    }
    case IModbusTransaction::ReadDeviceIdentification:
        reply = m_client->sendRawRequest(*t->requestPackage(), server);
        break;
    }

    m_statistics.recordRequest();
    t->markSent();
    if (!reply) {
        failTransaction(t, IModbusTransaction::OtherError,
                        m_client->errorString().isEmpty() ? tr("The request could not be sent.")
                                                          : m_client->errorString());
        return;
    }
    m_reply = reply;
    if (reply->isFinished()) {
        handleReply(reply);
        return;
    }
    m_replyConnection =
        connect(reply, &QModbusReply::finished, this, [this, reply]() { handleReply(reply); });
    armGuard(settings.responseTimeout() * (settings.numberOfRetries() + 1) + GuardSlackMs);
}

bool ModbusConnection::sendOverLink(IModbusTransaction *t)
{
    const QModbusSettings settings = t->settings();
    const QModbusRequest *request = t->requestPackage();
    const QByteArray data = request->data(); // shared, not copied
    quint8 function = quint8(request->functionCode());
    const char *bytes = data.constData();
    int size = data.size();
    char single[4];
    // One value goes with function 6 or 5 unless the device only takes the
    // write-multiple form, which the request package already is.
    if (t->isWrite() && t->count() == 1 && !m_alwaysWriteMultiple) {
        const quint16 start = quint16(t->startAddress());
        quint16 value = 0;
        if (t->isBitAccess()) {
            function = quint8(QModbusPdu::WriteSingleCoil);
            value = t->writeBits().value(0) ? 0xFF00 : 0x0000;
        } else {
            function = quint8(QModbusPdu::WriteSingleRegister);
            value = t->writeRegisters().value(0);
        }
        single[0] = char(start >> 8);
        single[1] = char(start & 0xff);
        single[2] = char(value >> 8);
        single[3] = char(value & 0xff);
        bytes = single;
        size = 4;
    }
    m_sentFunction = function;
    std::fill(std::begin(m_sentHead), std::end(m_sentHead), char(0));
    std::copy(bytes, bytes + std::min(size, 4), m_sentHead);
    return m_link->sendRequest(function, bytes, size, settings.serverAddress(),
                               settings.responseTimeout(), settings.numberOfRetries());
}

void ModbusConnection::onLinkRequestEnded(QModbusDevice::Error error,
                                          const QModbusResponse &answer, const QString &errorText)
{
    if (!m_current)
        return; // abandoned (cleared or deleted while on the wire)
    m_current->setResponseTime(m_current->msSinceSent());
    handleAnswer(error, answer, errorText);
}

void ModbusConnection::handleReply(QModbusReply *reply)
{
    reply->deleteLater();
    if (reply != m_reply || !m_current)
        return; // abandoned earlier (guard timeout or lost link)
    disconnect(m_replyConnection);
    m_reply = nullptr;
    m_guardDeadline = -1;

    m_current->setResponseTime(m_current->msSinceSent());
    // For release(): the transaction goes with its reply (see there).
    struct EndingScope
    {
        ModbusConnection *connection;
        QModbusReply *savedReply;
        IModbusTransaction *savedTransaction;
        ~EndingScope()
        {
            connection->m_endingReply = savedReply;
            connection->m_endingTransaction = savedTransaction;
        }
    } endingScope{this, m_endingReply, m_endingTransaction};
    m_endingReply = reply;
    m_endingTransaction = m_current;
    m_sentFunction = 0; // Qt has checked what a write's answer echoes
    handleAnswer(reply->error(), reply->rawResult(), reply->errorString());
}

void ModbusConnection::handleAnswer(QModbusDevice::Error error, const QModbusResponse &raw,
                                    const QString &errorText)
{
    IModbusTransaction *t = m_current;
    // For the recorder: what came back, while this answer is handled.
    struct AnswerScope
    {
        const QModbusPdu *&slot;
        const QModbusPdu *saved;
        ~AnswerScope() { slot = saved; }
    } answerScope{m_answer, m_answer};
    // An exception answer is kept without asking QModbusPdu (see below).
    m_answer = error == QModbusDevice::ProtocolError || raw.isValid() ? &raw : nullptr;
    // Qt marks exception answers with ProtocolError. The code is read from
    // the raw bytes: QModbusPdu's inline accessors load the function code
    // with the exception bit set as an out-of-range enum value.
    if (error == QModbusDevice::ProtocolError) {
        const QByteArray data = raw.data();
        const int code = data.isEmpty() ? 0 : int(quint8(data.at(0)));
        failTransaction(t, IModbusTransaction::ExceptionReply,
                        tr("The device answered with Modbus exception %1.").arg(code), code);
        return;
    }
    const bool answered = raw.isValid();

    if (t->function() == IModbusTransaction::ReadDeviceIdentification) {
        // Qt 5.15 reports "invalid response" for this raw request although
        // the raw answer is complete; judge the answer itself.
        if (answered && raw.functionCode() == QModbusPdu::EncapsulatedInterfaceTransport) {
            const QModbusDeviceIdentification id =
                QModbusDeviceIdentification::fromByteArray(raw.data());
            if (id.isValid()) {
                m_current = nullptr;
                record(t, IModbusTransaction::Ok, 0);
                QPointer<IModbusTransaction> guard = t;
                t->completeIdentification(id, raw.data());
                release(guard);
                return;
            }
            failTransaction(t, IModbusTransaction::InvalidResponse,
                            tr("The device identification answer could not be decoded."));
            return;
        }
    } else if (answered && !t->isWrite()) {
        // The byte count must match what was asked for, exactly: a short or
        // long answer would shift every value behind it.
        const QByteArray data = raw.data();
        const int expected = t->isBitAccess() ? (t->count() + 7) / 8 : t->count() * 2;
        const bool lengthOk = !data.isEmpty() && quint8(data.at(0)) == expected
            && data.size() - 1 == expected;
        if (!lengthOk) {
            failTransaction(t, IModbusTransaction::LengthMismatch,
                            tr("The answer holds %1 data bytes where %2 were expected.")
                                .arg(data.isEmpty() ? 0 : quint8(data.at(0)))
                                .arg(expected));
            return;
        }
        // The answer to another read function would put words of another
        // table (or bits for words) into the tags.
        if (error == QModbusDevice::NoError
            && raw.functionCode() != t->requestPackage()->functionCode()) {
            failTransaction(t, IModbusTransaction::InvalidResponse,
                            tr("The device answered with function %1 to a request of function %2.")
                                .arg(int(raw.functionCode()))
                                .arg(int(t->requestPackage()->functionCode())));
            return;
        }
        if (error == QModbusDevice::NoError) {
            // Checked above: one byte count, then exactly `expected` bytes.
            const uchar *bytes = reinterpret_cast<const uchar *>(data.constData()) + 1;
            const int count = t->count();
            m_current = nullptr;
            record(t, IModbusTransaction::Ok, 0);
            QPointer<IModbusTransaction> guard = t;
            // A request handed over by the receiver is sent in this turn of
            // the event loop, after the signal (see release()).
            m_inCompletion = true;
            if (t->isBitAccess()) {
                QVector<quint8> bits(count);
                for (int i = 0; i < count; ++i)
                    bits[i] = (bytes[i / 8] >> (i % 8)) & 1;
                t->complete(bits);
            } else {
                QVector<quint16> values(count);
                for (int i = 0; i < count; ++i)
                    values[i] = quint16((bytes[2 * i] << 8) | bytes[2 * i + 1]);
                t->complete(values);
            }
            m_inCompletion = false;
            release(guard);
            return;
        }
    } else if (answered && !raw.isException()
               && (error == QModbusDevice::NoError
                   || (m_sentRaw && raw.functionCode() == t->requestPackage()->functionCode()))) {
        // A write is confirmed by the echo of its function, address and
        // quantity (or, for one value, the value itself): anything else
        // leaves it open whether the device took the values.
        if (m_sentFunction) {
            const QByteArray echo = raw.data();
            if (quint8(raw.functionCode()) != m_sentFunction || echo.size() != 4
                || !std::equal(echo.constBegin(), echo.constEnd(), m_sentHead)) {
                failTransaction(t, IModbusTransaction::InvalidResponse,
                                tr("The device's answer does not confirm the write."));
                return;
            }
        }
        m_current = nullptr;
        record(t, IModbusTransaction::Ok, 0);
        QPointer<IModbusTransaction> guard = t;
        if (t->isBitAccess())
            t->complete(t->writeBits());
        else
            t->complete(t->writeRegisters());
        release(guard);
        return;
    }

    switch (error) {
    case QModbusDevice::TimeoutError:
        failTransaction(t, IModbusTransaction::Timeout,
                        tr("The device did not answer within %1 ms.")
                            .arg(t->settings().responseTimeout()));
        break;
    case QModbusDevice::ReplyAbortedError:
    case QModbusDevice::ConnectionError:
        failTransaction(t, IModbusTransaction::ConnectionLost, errorText);
        break;
    case QModbusDevice::NoError:
    case QModbusDevice::UnknownError:
        failTransaction(t, IModbusTransaction::InvalidResponse,
                        errorText.isEmpty() ? tr("An invalid answer was received.") : errorText);
        break;
    default:
        failTransaction(t, IModbusTransaction::OtherError, errorText);
        break;
    }
}

void ModbusConnection::armGuard(int durationMs)
{
    // The timer is not restarted per request: it keeps running and is only
    // brought forward when this deadline comes before its next shot.
    m_guardDeadline = m_clock.elapsed() + durationMs;
    if (!m_guardTimer->isActive() || m_guardDeadline < m_guardShot) {
        m_guardShot = m_guardDeadline;
        m_guardTimer->start(durationMs);
    }
}

void ModbusConnection::onGuardTimeout()
{
    if (!m_current || m_guardDeadline < 0)
        return;
    const qint64 left = m_guardDeadline - m_clock.elapsed();
    if (left > 0) {
        // Armed for an earlier request, or fired a little early (coarse timer).
        m_guardShot = m_guardDeadline;
        m_guardTimer->start(int(left));
        return;
    }
    m_guardDeadline = -1;
    disconnect(m_replyConnection);
    m_reply = nullptr;
    failTransaction(m_current, IModbusTransaction::Timeout,
                    tr("The device did not answer in time."));
}

void ModbusConnection::armLinkWait()
{
    if (isConnected() || m_linkDeadlines.isEmpty()) {
        m_linkWaitTimer->stop();
        return;
    }
    qint64 first = std::numeric_limits<qint64>::max();
    for (qint64 deadline : qAsConst(m_linkDeadlines))
        first = std::min(first, deadline);
    m_linkWaitTimer->start(int(std::max<qint64>(0, first - m_clock.elapsed())));
}

void ModbusConnection::onLinkWaitTimeout()
{
    if (isConnected())
        return;
    const qint64 now = m_clock.elapsed();
    QList<IModbusTransaction *> expired;
    for (auto it = m_linkDeadlines.cbegin(); it != m_linkDeadlines.cend(); ++it) {
        if (it.value() <= now)
            expired.append(it.key());
    }
    // Arrival order within the queue keeps the completions in a sensible order.
    std::sort(expired.begin(), expired.end(), [this](IModbusTransaction *a, IModbusTransaction *b) {
        return m_queue.indexOf(a) < m_queue.indexOf(b);
    });
    for (IModbusTransaction *t : qAsConst(expired)) {
        // A receiver may have cleared the queue in the meantime.
        if (!m_queue.contains(t))
            continue;
        failTransaction(t, IModbusTransaction::LinkDown,
                        tr("The link to the device is down."));
    }
    armLinkWait();
}

void ModbusConnection::failTransaction(IModbusTransaction *t, IModbusTransaction::Outcome outcome,
                                       const QString &message, int exceptionCode)
{
    m_created.remove(t);
    m_queue.removeAll(t);
    m_linkDeadlines.remove(t);
    if (m_current == t)
        m_current = nullptr;
    record(t, outcome, exceptionCode);
    QPointer<IModbusTransaction> guard = t;
    t->fail(outcome, message, exceptionCode);
    release(guard);
}

void ModbusConnection::record(IModbusTransaction *t, IModbusTransaction::Outcome outcome,
                              int exceptionCode)
{
    const qint64 responseTime = t->responseTime();
    // Requests that never went on the wire are no traffic.
    if (m_recorder && outcome != IModbusTransaction::Dropped
        && outcome != IModbusTransaction::InvalidRequest && outcome != IModbusTransaction::LinkDown) {
        m_recorder->record(*t, int(outcome), exceptionCode, m_answer,
                           QDateTime::currentMSecsSinceEpoch());
    }
    switch (outcome) {
    case IModbusTransaction::Ok: m_statistics.recordSuccess(responseTime); break;
    case IModbusTransaction::Timeout: m_statistics.recordTimeout(); break;
    case IModbusTransaction::ExceptionReply:
        m_statistics.recordException(exceptionCode, responseTime);
        break;
    case IModbusTransaction::ConnectionLost: m_statistics.recordConnectionLoss(); break;
    case IModbusTransaction::LinkDown: m_statistics.recordLinkDown(); break;
    case IModbusTransaction::LengthMismatch: m_statistics.recordLengthMismatch(responseTime); break;
    case IModbusTransaction::InvalidResponse:
    case IModbusTransaction::OtherError: m_statistics.recordOtherFailure(); break;
    case IModbusTransaction::Pending:
    case IModbusTransaction::Dropped:
    case IModbusTransaction::InvalidRequest: return;
    }
    emit statisticsChanged();
}

void ModbusConnection::release(IModbusTransaction *t)
{
    // The completion signal has been delivered; the object goes with the next
    // event loop turn, and the next request may start. A transaction ended by
    // its reply becomes the reply's child: the reply's deleteLater() takes
    // both, one posted event (and one wake-up of the event loop) instead of
    // two.
    if (t) {
        t->m_owner = nullptr;
        if (t == m_endingTransaction && m_endingReply)
            t->setParent(m_endingReply);
        else
            t->deleteLater();
    }
    if (m_processAfterRelease && m_directDepth == 0) {
        // Handed over during the signal: start it now instead of a turn of
        // the event loop later. Nested endings (a request that fails at once)
        // go through the event loop, so this never recurses deeply.
        m_processAfterRelease = false;
        ++m_directDepth;
        processQueue();
        --m_directDepth;
        return;
    }
    m_processAfterRelease = false;
    scheduleProcessing();
}

} // namespace FieldlinkCore
} // namespace Fieldlink
