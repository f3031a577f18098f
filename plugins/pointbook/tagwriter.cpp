#include "tagwriter.h"

#include <fieldlink/imodbustransaction.h>
#include <fieldlink/modbusconnection.h>
#include <fieldlink/qmodbussettings.h>

#include <QCoreApplication>
#include <QLocale>
#include <QStringList>
#include <QTimer>

#include <cmath>
#include <limits>

namespace Pointbook {

using Fieldlink::FieldlinkCore::IModbusTransaction;
using Fieldlink::FieldlinkCore::ModbusConnection;
using Fieldlink::FieldlinkCore::QModbusSettings;

namespace {


bool isBitTable(const Tag *tag)
{
    return tag->registerType() == Tag::CO || tag->registerType() == Tag::DI;
}

// Shortest text that reads back as the same float or double.
QString shortestReal(double value, bool single)
{
    if (std::isnan(value))
        return QStringLiteral("NaN");
    // QString::number() drops the sign of a negative zero, whose words differ.
    if (value == 0)
        return std::signbit(value) ? QStringLiteral("-0") : QStringLiteral("0");
    // At least the digits before the point, so that 100 does not read 1e+02.
    const double magnitude = std::fabs(value);
    const int whole = magnitude >= 1 && magnitude < 1e15 ? int(std::floor(std::log10(magnitude))) + 1 : 1;
    for (int digits = whole; digits <= (single ? 9 : 17); ++digits) {
        const QString text = QString::number(value, 'g', digits);
        const double back = text.toDouble();
        if (single ? float(back) == float(value) : back == value)
            return text;
    }
    return QString::number(value, 'g', 17);
}

QString elementText(Tag::DataType type, const QByteArray &bytes)
{
    quint64 bits = 0;
    for (int b = 0; b < bytes.size() && b < 8; ++b)
        bits |= quint64(quint8(bytes.at(b))) << (8 * b);
    const QVariant v = Tag::elementFromBits(type, bits);
    if (type == Tag::Float)
        return shortestReal(double(v.toFloat()), true);
    if (type == Tag::Double)
        return shortestReal(v.toDouble(), false);
    return v.toString();
}

} // namespace

TagWriter::TagWriter(QObject *parent)
    : QObject(parent)
    , m_settings(new QModbusSettings)
{
    qRegisterMetaType<Pointbook::TagWriter::Outcome>();
}

TagWriter::~TagWriter()
{
    delete m_settings;
}

void TagWriter::setModbusConnection(ModbusConnection *connection)
{
    m_connection = connection;
}

ModbusConnection *TagWriter::modbusConnection() const
{
    return m_connection;
}

void TagWriter::setModbusSettings(const QModbusSettings &settings)
{
    *m_settings = settings;
}

QString TagWriter::resultName(Result result)
{
    switch (result) {
    case Ok: return QStringLiteral("ok");
    case Refused: return QStringLiteral("refused");
    case Exception: return QStringLiteral("exception");
    case Timeout: return QStringLiteral("timeout");
    case Mismatch: return QStringLiteral("mismatch");
    case Unknown: return QStringLiteral("unknown");
    case Pending: return QStringLiteral("pending");
    }
    return QString();
}

QString TagWriter::resultText(Result result)
{
    switch (result) {
    case Ok: return tr("written");
    case Refused: return tr("refused");
    case Exception: return tr("device exception");
    case Timeout: return tr("no answer");
    case Mismatch: return tr("read back differs");
    case Unknown: return tr("outcome unknown");
    case Pending: return tr("pending");
    }
    return QString();
}

QString TagWriter::resultTextOf(const QString &name)
{
    for (Result result : {Ok, Refused, Exception, Timeout, Mismatch, Unknown, Pending}) {
        if (name == resultName(result))
            return resultText(result);
    }
    return name;
}

QString TagWriter::exceptionName(int code)
{
    switch (code) {
    case 1: return tr("illegal function");
    case 2: return tr("illegal data address");
    case 3: return tr("illegal data value");
    case 4: return tr("server device failure");
    case 5: return tr("acknowledge");
    case 6: return tr("server device busy");
    case 8: return tr("memory parity error");
    case 10: return tr("gateway path unavailable");
    case 11: return tr("gateway target device failed to respond");
    default: return tr("unknown exception");
    }
}

QString TagWriter::noAnswerText()
{
    return tr("no answer; the device may have taken the value");
}

QString TagWriter::valueText(const Tag *tag, const QVariant &value)
{
    if (!tag || !value.isValid())
        return QString();
    if (isBitTable(tag)) {
        if (value.type() == QVariant::List || value.type() == QVariant::StringList) {
            QStringList parts;
            for (const QVariant &v : value.toList())
                parts << (v.toInt() ? tr("on") : tr("off"));
            return QLatin1Char('[') + parts.join(QLatin1String(", ")) + QLatin1Char(']');
        }
        return value.toInt() ? tr("on") : tr("off");
    }
    const int width = Tag::elementWidth(tag->dataType());
    if (tag->count() > 1) {
        const QByteArray bytes = value.toByteArray();
        QStringList parts;
        for (int p = 0; width > 0 && p + width <= bytes.size(); p += width)
            parts << elementText(tag->dataType(), bytes.mid(p, width));
        return QLatin1Char('[') + parts.join(QLatin1String(", ")) + QLatin1Char(']');
    }
    if (tag->bitfield()) {
        quint64 mask = tag->mask();
        if (width > 0 && width < 8)
            mask &= (quint64(1) << (8 * width)) - 1;
        const quint64 pattern = value.toULongLong() & mask;
        if ((mask & (mask - 1)) == 0)
            return pattern ? tr("on") : tr("off");
        return QString::number(pattern);
    }
    if (tag->dataType() == Tag::Float)
        return shortestReal(double(value.toFloat()), true);
    if (tag->dataType() == Tag::Double)
        return shortestReal(value.toDouble(), false);
    return value.toString();
}

QString TagWriter::notWritableReason(const Tag *tag, bool readOnlyByRights) const
{
    if (!tag)
        return tr("The tag is not in the register map.");
    if (tag->registerType() != Tag::HR && tag->registerType() != Tag::CO)
        return tag->registerType() == Tag::IR ? tr("Input registers cannot be written.")
                                              : tr("Discrete inputs cannot be written.");
    const Tag::TypeAccess access = Tag::stringToTypeAccess(tag->access());
    if (access != Tag::Write && access != Tag::ReadWrite)
        return tr("The register map makes this tag read-only.");
    if (readOnlyByRights)
        return tr("The current access level may not change this tag.");
    if (!m_connection || !m_connection->isConnected())
        return tr("The device is not connected.");
    return QString();
}

QString TagWriter::check(const Tag *tag, const QVariant &value, bool readOnlyByRights,
                         QVector<quint16> *words) const
{
    const QString reason = notWritableReason(tag, readOnlyByRights);
    if (!reason.isEmpty())
        return reason;
    return valueRefusal(tag, value, words);
}

QString TagWriter::valueRefusal(const Tag *tag, const QVariant &value, QVector<quint16> *words)
{
    if (!tag)
        return tr("The tag is not in the register map.");
    QString error;
    const QVector<quint16> encoded = tag->encode(value, &error);
    if (encoded.isEmpty())
        return error.isEmpty() ? tr("The value cannot be encoded.") : error;

    // The limits of the map, compared at the tag's own type with what the
    // device would hold.
    if (tag->hasLimits()) {
        Tag probe(tag->registerType(), tag->dataType(), tag->byteOrderInput(),
                  tag->byteOrderOutput(), 0, QString(), QString(), QString());
        probe.setCount(tag->count());
        probe.setRawData(encoded);
        const QVariant outside = tag->outsideLimits(probe.value());
        if (outside.isValid())
            return tr("%1 is outside the tag's limits %2 to %3")
                .arg(Tag::numberText(outside), Tag::numberText(tag->lowerLimit()),
                     Tag::numberText(tag->upperLimit()));
    }
    if (words)
        *words = encoded;
    return QString();
}

TagWriter::Job TagWriter::newJob(Tag *tag, const QVariant &value)
{
    Job job;
    job.id = m_nextId++;
    job.tag = tag;
    job.value = value;
    Outcome &o = job.outcome;
    o.requestId = job.id;
    if (tag) {
        o.tagId = tag->Id();
        o.tagName = tag->name();
        o.registerType = tag->registerType();
        o.address = tag->startAddress();
        o.oldValue = tag->valueByteArray().isEmpty() ? QString() : valueText(tag, tag->value());
    }
    return job;
}

int TagWriter::enqueue(const Job &job)
{
    m_jobs.append(job);
    if (!m_running) {
        m_running = true;
        QTimer::singleShot(0, this, &TagWriter::next);
    }
    return job.id;
}

int TagWriter::refuse(Tag *tag, const QVariant &value, const QString &reason)
{
    Job job = newJob(tag, value);
    job.refused = true;
    job.outcome.result = Refused;
    job.outcome.detail = reason;
    job.outcome.newValue = value.toString();
    return enqueue(job);
}

int TagWriter::write(Tag *tag, const QVariant &value, bool readOnlyByRights)
{
    Job job = newJob(tag, value);
    Outcome &o = job.outcome;
    const QString reason = check(tag, value, readOnlyByRights, &job.words);
    if (!reason.isEmpty()) {
        job.refused = true;
        o.result = Refused;
        o.detail = reason;
        o.newValue = value.toString();
    } else {
        // The value as the device will hold it, e.g. a float rounded.
        Tag probe(tag->registerType(), tag->dataType(), tag->byteOrderInput(),
                  tag->byteOrderOutput(), 0, QString(), QString(), QString());
        probe.setCount(tag->count());
        probe.setBitfield(tag->bitfield());
        probe.setMask(tag->mask());
        probe.setRawData(job.words);
        o.newValue = isBitTable(tag) && job.words.size() > 1
                         ? valueText(tag, [&] { QVariantList l; for (quint16 w : job.words) l << int(w); return l; }())
                         : valueText(tag, isBitTable(tag) ? QVariant(int(job.words.value(0))) : probe.value());
    }
    return enqueue(job);
}

void TagWriter::next()
{
    if (m_jobs.isEmpty()) {
        m_running = false;
        return;
    }
    Job &job = m_jobs.first();
    if (job.refused) {
        const Outcome o = job.outcome;
        m_jobs.removeFirst();
        emit finished(o);
        QTimer::singleShot(0, this, &TagWriter::next);
        return;
    }
    emit started(job.id, job.outcome.tagId);
    if (!job.tag) {
        conclude(Refused, tr("The tag is no longer in the register map."));
        return;
    }
    const QString reason = notWritableReason(job.tag, false);
    if (!reason.isEmpty() && (!m_connection || !m_connection->isConnected())) {
        conclude(Refused, reason);
        return;
    }
    Tag *tag = job.tag;
    // A bit field shares its register with others and a lone byte shares
    // it with its neighbour: only the tag's own bits may change.
    if (tag->registerType() == Tag::HR && tag->bitfield()) {
        Tag all(Tag::HR, tag->dataType(), tag->byteOrderInput(), tag->byteOrderOutput(), 0,
                QString(), QString(), QString());
        all.setCount(1);
        all.setBitfield(true);
        all.setMask(tag->mask());
        job.keep = all.encode(true);
    } else if (tag->registerType() == Tag::HR && Tag::elementWidth(tag->dataType()) == 1
               && tag->count() == 1) {
        job.keep = {0xFF00};
    }
    if (!job.keep.isEmpty())
        readBefore();
    else
        send();
}

void TagWriter::readBefore()
{
    Job &job = m_jobs.first();
    IModbusTransaction *t = m_connection->readHoldings(job.tag->startAddress(), job.words.size(),
                                                       m_settings, IModbusTransaction::HighPriority);
    if (!t) {
        conclude(Refused, tr("The tag's registers lie outside the Modbus address range."));
        return;
    }
    connect(t, qOverload<bool, QVector<quint16>, int>(&IModbusTransaction::transactionExecutionEnded),
            this, [this, t](bool ok, const QVector<quint16> &values, int) {
                if (!ok) {
                    conclude(failureResult(t->outcome()),
                             tr("Reading the register before changing its bits failed: %1")
                                 .arg(failureText(t->outcome(), t->errorString(), t->exceptionCode())),
                             t->exceptionCode());
                    return;
                }
                Job &job = m_jobs.first();
                job.sent.resize(job.words.size());
                for (int i = 0; i < job.words.size(); ++i)
                    job.sent[i] = quint16((values.value(i) & ~job.keep.at(i)) | (job.words.at(i) & job.keep.at(i)));
                send();
            });
    m_connection->addTransactionExec(t);
}

void TagWriter::send()
{
    Job &job = m_jobs.first();
    Tag *tag = job.tag;
    if (!tag) {
        conclude(Refused, tr("The tag is no longer in the register map."));
        return;
    }
    if (job.sent.isEmpty())
        job.sent = job.words;
    job.outcome.words = job.sent;
    if (!m_writeAhead) {
        transmit();
        return;
    }
    // The record of the attempt comes first: once the request is out, the
    // device may act on it whatever becomes of this program.
    job.awaitingWriteAhead = true;
    Outcome pending = job.outcome;
    pending.result = Pending;
    const QPointer<TagWriter> self(this);
    const int id = job.id;
    m_writeAhead(pending, [self, id](const QString &refusal) {
        if (!self || self->m_jobs.isEmpty())
            return;
        Job &first = self->m_jobs.first();
        if (first.id != id || !first.awaitingWriteAhead)
            return;
        first.awaitingWriteAhead = false;
        if (refusal.isEmpty())
            self->transmit();
        else
            self->conclude(Refused, refusal);
    });
}

void TagWriter::transmit()
{
    Job &job = m_jobs.first();
    Tag *tag = job.tag;
    if (!tag) {
        conclude(Refused, tr("The tag is no longer in the register map."));
        return;
    }
    if (!m_connection) { // gone while the record was being stored
        conclude(Refused, tr("The device is not connected."));
        return;
    }
    IModbusTransaction *t = nullptr;
    if (tag->registerType() == Tag::CO) {
        QVector<quint8> bits;
        for (const quint16 w : job.sent)
            bits.append(w ? 1 : 0);
        t = m_connection->writeCoils(tag->startAddress(), bits, m_settings,
                                     IModbusTransaction::HighPriority);
    } else {
        // All words in one request: a device must never act on half a value.
        t = m_connection->writeHoldings(tag->startAddress(), job.sent, m_settings,
                                        IModbusTransaction::HighPriority);
    }
    if (!t) {
        conclude(Refused, tr("The tag's registers lie outside the Modbus address range."));
        return;
    }
    const auto ended = [this, t](bool ok) {
        if (!ok) {
            if (wentOutUnanswered(t->outcome(), t->usSinceSent())) {
                conclude(Unknown, noAnswerText());
                return;
            }
            conclude(failureResult(t->outcome()),
                     failureText(t->outcome(), t->errorString(), t->exceptionCode()),
                     t->exceptionCode());
            return;
        }
        readBack();
    };
    if (t->isBitAccess())
        connect(t, qOverload<bool, QVector<quint8>, int>(&IModbusTransaction::transactionExecutionEnded),
                this, [ended](bool ok, const QVector<quint8> &, int) { ended(ok); });
    else
        connect(t, qOverload<bool, QVector<quint16>, int>(&IModbusTransaction::transactionExecutionEnded),
                this, [ended](bool ok, const QVector<quint16> &, int) { ended(ok); });
    m_connection->addTransactionExec(t);
}

void TagWriter::readBack()
{
    Job &job = m_jobs.first();
    Tag *tag = job.tag;
    if (!tag) {
        conclude(Refused, tr("The tag is no longer in the register map."));
        return;
    }
    const bool bits = tag->registerType() == Tag::CO;
    IModbusTransaction *t = bits
        ? m_connection->readCoils(tag->startAddress(), job.sent.size(), m_settings, IModbusTransaction::HighPriority)
        : m_connection->readHoldings(tag->startAddress(), job.sent.size(), m_settings, IModbusTransaction::HighPriority);
    if (!t) {
        conclude(Refused, tr("The tag's registers lie outside the Modbus address range."));
        return;
    }
    const auto compare = [this, t](bool ok, const QVector<quint16> &words) {
        if (!ok) {
            // The write was answered; without the read-back nobody knows
            // what the device holds now.
            const Result result = failureResult(t->outcome());
            conclude(result == Timeout ? Unknown : result,
                     tr("Written, but reading it back failed: %1")
                         .arg(failureText(t->outcome(), t->errorString(), t->exceptionCode())),
                     t->exceptionCode());
            return;
        }
        Job &job = m_jobs.first();
        Tag *tag = job.tag;
        if (!tag) {
            conclude(Refused, tr("The tag is no longer in the register map."));
            return;
        }
        // The table shows what the device really holds.
        tag->setRawData(words);
        const QVariant held = tag->registerType() == Tag::CO && words.size() == 1
                                  ? QVariant(int(words.at(0)))
                                  : tag->value();
        QVariantList heldBits;
        for (const quint16 w : words)
            heldBits << int(w);
        job.outcome.readBack = tag->registerType() == Tag::CO && words.size() > 1
                                   ? valueText(tag, heldBits)
                                   : valueText(tag, held);
        bool equal = words.size() == job.sent.size();
        for (int i = 0; equal && i < words.size(); ++i) {
            const quint16 mask = job.keep.isEmpty() ? 0xFFFF : job.keep.at(i);
            equal = (words.at(i) & mask) == (job.sent.at(i) & mask);
        }
        if (equal)
            conclude(Ok, QString());
        else
            conclude(Mismatch, tr("The device kept %1 instead of %2.")
                                   .arg(job.outcome.readBack, job.outcome.newValue));
    };
    if (bits)
        connect(t, qOverload<bool, QVector<quint8>, int>(&IModbusTransaction::transactionExecutionEnded),
                this, [compare](bool ok, const QVector<quint8> &values, int) {
                    QVector<quint16> words;
                    for (const quint8 b : values)
                        words.append(b ? 1 : 0);
                    compare(ok, words);
                });
    else
        connect(t, qOverload<bool, QVector<quint16>, int>(&IModbusTransaction::transactionExecutionEnded),
                this, [compare](bool ok, const QVector<quint16> &values, int) { compare(ok, values); });
    m_connection->addTransactionExec(t);
}

TagWriter::Result TagWriter::failureResult(int outcome) const
{
    switch (outcome) {
    case IModbusTransaction::ExceptionReply:
    case IModbusTransaction::InvalidResponse:
    case IModbusTransaction::LengthMismatch:
    case IModbusTransaction::InvalidRequest:
    case IModbusTransaction::OtherError:
        return Exception;
    default: // no answer: timeout, link lost or down, dropped
        return Timeout;
    }
}

bool TagWriter::wentOutUnanswered(int outcome, qint64 usSinceSent) const
{
    // A request never sent (link down, cleared from the queue) changed
    // nothing; one on the wire may have been carried out.
    return usSinceSent >= 0
           && (outcome == IModbusTransaction::Timeout || outcome == IModbusTransaction::ConnectionLost
               || outcome == IModbusTransaction::Dropped);
}

QString TagWriter::failureText(int outcome, const QString &error, int exceptionCode) const
{
    if (outcome == IModbusTransaction::ExceptionReply)
        return tr("the device answered with exception %1 (%2)").arg(exceptionCode).arg(exceptionName(exceptionCode));
    if (outcome == IModbusTransaction::Dropped)
        return tr("the request was dropped with the connection");
    return error.isEmpty() ? tr("no answer") : error;
}

void TagWriter::conclude(Result result, const QString &detail, int exceptionCode)
{
    if (m_jobs.isEmpty())
        return;
    Outcome o = m_jobs.takeFirst().outcome;
    o.result = result;
    o.detail = detail;
    o.exceptionCode = exceptionCode;
    emit finished(o);
    QTimer::singleShot(0, this, &TagWriter::next);
}

} // namespace Pointbook
