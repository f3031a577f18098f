#include "registerbrowser.h"
#include "browsermodel.h"

#include <fieldlink/imodbustransaction.h>
#include <fieldlink/modbusconnection.h>
#include <fieldlink/qmodbussettings.h>

#include <QTimer>

namespace Browser {

using Fieldlink::FieldlinkCore::IModbusTransaction;
using Fieldlink::FieldlinkCore::ModbusConnection;
using Fieldlink::FieldlinkCore::QModbusSettings;
using Pointbook::Tag;

namespace {

// The protocol allows 2,000 bits in one read; the driver may allow fewer.
constexpr int ProtocolMaxBits = 2000;
// A request dropped unanswered (the driver's queue was cleared for the tag
// table's polling) is sent again; after this many in a row its rows fail.
constexpr int MaxDrops = 3;

} // namespace

RegisterBrowser::RegisterBrowser(BrowserModel *model, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_periodTimer(new QTimer(this))
{
    m_periodTimer->setSingleShot(true);
    connect(m_periodTimer, &QTimer::timeout, this, &RegisterBrowser::onPeriodTimeout);
}

RegisterBrowser::~RegisterBrowser() = default;

void RegisterBrowser::setConnection(ModbusConnection *connection, QModbusSettings *settings)
{
    if (m_connection != connection)
        stop();
    m_connection = connection;
    m_settings = settings;
}

int RegisterBrowser::requestLimit(Tag::RegisterType table)
{
    if (table == Tag::DI || table == Tag::CO)
        return qMin(ProtocolMaxBits, int(IModbusTransaction::MaxReadBits));
    return IModbusTransaction::MaxReadRegisters;
}

QString RegisterBrowser::rangeError(Tag::RegisterType table, int start, int count)
{
    if (table < Tag::IR || table > Tag::CO)
        return tr("Choose the table to read.");
    if (start < 0 || start > IModbusTransaction::MaxAddress)
        return tr("The start address must lie between 0 and %1.").arg(int(IModbusTransaction::MaxAddress));
    if (count < 1 || count > BrowserModel::MaxRows)
        return tr("The count must lie between 1 and %1.").arg(int(BrowserModel::MaxRows));
    if (qint64(start) + count - 1 > IModbusTransaction::MaxAddress)
        return tr("The range %1 to %2 runs past the last address, %3: at most %4 from %1.")
            .arg(start)
            .arg(qint64(start) + count - 1)
            .arg(int(IModbusTransaction::MaxAddress))
            .arg(int(IModbusTransaction::MaxAddress) - start + 1);
    return QString();
}

QVector<RegisterBrowser::Request> RegisterBrowser::split(Tag::RegisterType table, int start, int count)
{
    QVector<Request> requests;
    if (!rangeError(table, start, count).isEmpty())
        return requests;
    const int limit = requestLimit(table);
    for (int done = 0; done < count; done += limit)
        requests.append({start + done, qMin(limit, count - done)});
    return requests;
}

bool RegisterBrowser::setRange(Tag::RegisterType table, int start, int count, QString *error)
{
    const QString problem = rangeError(table, start, count);
    if (error)
        *error = problem;
    if (!problem.isEmpty())
        return false;
    // Answers to requests of the old range must not reach the new rows.
    ++m_generation;
    m_inFlight = nullptr;
    m_passActive = false;
    m_periodTimer->stop();
    m_plan = split(table, start, count);
    m_model->setRange(table, start, count);
    if (m_running)
        startPass();
    return true;
}

void RegisterBrowser::setPeriod(int milliseconds)
{
    m_periodMs = qMax(0, milliseconds);
}

void RegisterBrowser::start()
{
    if (!m_running) {
        m_running = true;
        emit runningChanged(true);
    }
    if (!m_passActive && !m_periodTimer->isActive())
        startPass();
}

void RegisterBrowser::stop()
{
    m_periodTimer->stop();
    ++m_generation;
    m_inFlight = nullptr;
    m_passActive = false;
    if (m_running) {
        m_running = false;
        emit runningChanged(false);
    }
}

void RegisterBrowser::readOnce()
{
    if (!m_passActive) {
        m_periodTimer->stop();
        startPass();
    }
}

void RegisterBrowser::onPeriodTimeout()
{
    if (m_running && !m_passActive)
        startPass();
}

void RegisterBrowser::startPass()
{
    if (m_plan.isEmpty())
        return;
    m_passActive = true;
    m_next = 0;
    m_drops = 0;
    sendNext();
}

void RegisterBrowser::scheduleNext()
{
    // Each step from the event loop: no recursion through a driver that
    // refuses requests at once.
    if (m_stepQueued)
        return;
    m_stepQueued = true;
    const quint64 generation = m_generation;
    QTimer::singleShot(0, this, [this, generation] {
        m_stepQueued = false;
        if (generation == m_generation)
            sendNext();
    });
}

void RegisterBrowser::sendNext()
{
    if (!m_passActive || m_inFlight)
        return;
    if (m_next >= m_plan.size()) {
        m_passActive = false;
        ++m_passes;
        emit passEnded();
        if (m_running && !m_passActive)
            m_periodTimer->start(m_periodMs);
        return;
    }
    const Request request = m_plan.at(m_next);
    if (!m_connection) {
        m_model->setFailed(request.start, request.count, tr("No Modbus connection"));
        ++m_next;
        scheduleNext();
        return;
    }

    IModbusTransaction *transaction = nullptr;
    const auto priority = IModbusTransaction::NormalPriority;
    switch (m_model->table()) {
    case Tag::IR:
        transaction = m_connection->readInputs(request.start, request.count, m_settings, priority);
        break;
    case Tag::HR:
        transaction = m_connection->readHoldings(request.start, request.count, m_settings, priority);
        break;
    case Tag::DI:
        transaction = m_connection->readDiscretes(request.start, request.count, m_settings, priority);
        break;
    case Tag::CO:
        transaction = m_connection->readCoils(request.start, request.count, m_settings, priority);
        break;
    default:
        break;
    }
    if (!transaction) {
        m_model->setFailed(request.start, request.count, tr("The driver refused the request"));
        ++m_next;
        scheduleNext();
        return;
    }

    m_inFlight = transaction;
    const quint64 generation = m_generation;
    connect(transaction,
            qOverload<bool, QVector<quint16>, int>(&IModbusTransaction::transactionExecutionEnded),
            this, [this, transaction, generation](bool ok, QVector<quint16> words, int) {
                if (generation == m_generation && m_inFlight == transaction)
                    finishRequest(transaction, ok, &words, nullptr);
                transaction->setStatus(IModbusTransaction::Finished);
            });
    connect(transaction,
            qOverload<bool, QVector<quint8>, int>(&IModbusTransaction::transactionExecutionEnded),
            this, [this, transaction, generation](bool ok, QVector<quint8> bits, int) {
                if (generation == m_generation && m_inFlight == transaction)
                    finishRequest(transaction, ok, nullptr, &bits);
                transaction->setStatus(IModbusTransaction::Finished);
            });
    connect(transaction, &QObject::destroyed, this, &RegisterBrowser::onDestroyed);
    m_connection->addTransactionExec(transaction);
}

void RegisterBrowser::finishRequest(IModbusTransaction *transaction, bool ok,
                                    const QVector<quint16> *words, const QVector<quint8> *bits)
{
    m_inFlight = nullptr;
    m_drops = 0;
    const Request request = m_plan.value(m_next);
    if (ok) {
        if (words)
            m_model->setWords(request.start, *words);
        else if (bits)
            m_model->setBits(request.start, *bits);
        ++m_next;
    } else if (transaction->outcome() == IModbusTransaction::ExceptionReply && request.count > 1
               && transaction->exceptionCode() != 1) {
        // Find the addresses the device refuses: the halves are read in
        // this pass, and the finer plan serves the passes after it.
        const int first = request.count / 2;
        m_plan[m_next] = {request.start, first};
        m_plan.insert(m_next + 1, {request.start + first, request.count - first});
    } else {
        m_model->setFailed(request.start, request.count, failureText(transaction));
        ++m_next;
    }
    scheduleNext();
}

void RegisterBrowser::onDestroyed(QObject *object)
{
    if (object != m_inFlight)
        return;
    // Freed without an answer: the driver's queue was cleared.
    m_inFlight = nullptr;
    if (++m_drops >= MaxDrops) {
        const Request request = m_plan.value(m_next);
        m_model->setFailed(request.start, request.count, tr("Request dropped by the driver"));
        m_drops = 0;
        ++m_next;
    }
    scheduleNext();
}

QString RegisterBrowser::exceptionName(int code)
{
    switch (code) {
    case 1:
        return tr("Illegal function");
    case 2:
        return tr("Illegal data address");
    case 3:
        return tr("Illegal data value");
    case 4:
        return tr("Server device failure");
    case 5:
        return tr("Acknowledge");
    case 6:
        return tr("Server device busy");
    case 8:
        return tr("Memory parity error");
    case 10:
        return tr("Gateway path unavailable");
    case 11:
        return tr("Gateway target device failed to respond");
    default:
        return tr("Unknown exception");
    }
}

QString RegisterBrowser::failureText(const IModbusTransaction *transaction)
{
    if (!transaction)
        return tr("Failed");
    switch (transaction->outcome()) {
    case IModbusTransaction::ExceptionReply:
        return tr("Exception %1: %2")
            .arg(transaction->exceptionCode())
            .arg(exceptionName(transaction->exceptionCode()));
    case IModbusTransaction::Timeout:
        return tr("Timeout: no answer within %1 ms")
            .arg(transaction->settings().responseTimeout());
    case IModbusTransaction::LinkDown:
        return tr("No link to the device");
    case IModbusTransaction::ConnectionLost:
        return tr("Link lost during the request");
    case IModbusTransaction::LengthMismatch:
        return tr("Answer of the wrong length");
    case IModbusTransaction::InvalidResponse:
        return tr("Invalid answer");
    default:
        break;
    }
    const QString text = transaction->errorString();
    return text.isEmpty() ? tr("Failed") : text;
}

} // namespace Browser
