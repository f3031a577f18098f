#include "devicesimulator.h"

#include "simulatedserver.h"

#include <pointbook/basetag.h>
#include <pointbook/tagbaseloader.h>
#include <xmltext/xmltextreader.h>

#include <QFile>
#include <QMap>
#include <QModbusDeviceIdentification>
#include <QTimer>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>

namespace Devicesim {

using Pointbook::Tag;

namespace {

const int AddressSpace = 65536;
const double TwoPi = 6.283185307179586;

QModbusDataUnit::RegisterType tableOf(Tag::RegisterType type)
{
    switch (type) {
    case Tag::IR: return QModbusDataUnit::InputRegisters;
    case Tag::HR: return QModbusDataUnit::HoldingRegisters;
    case Tag::DI: return QModbusDataUnit::DiscreteInputs;
    case Tag::CO: return QModbusDataUnit::Coils;
    default: return QModbusDataUnit::Invalid;
    }
}

QModbusDataUnitMap emptyTables()
{
    QModbusDataUnitMap map;
    const QVector<quint16> zeros(AddressSpace, 0);
    for (auto table : {QModbusDataUnit::DiscreteInputs, QModbusDataUnit::Coils,
                       QModbusDataUnit::InputRegisters, QModbusDataUnit::HoldingRegisters})
        map.insert(table, QModbusDataUnit(table, 0, zeros));
    return map;
}

// Integer range a data type holds, as doubles that convert back exactly.
void typeRange(Tag::DataType type, double *low, double *high)
{
    switch (type) {
    case Tag::UInt8: *low = 0; *high = 255; return;
    case Tag::Int8: *low = -128; *high = 127; return;
    case Tag::UInt16: *low = 0; *high = 65535; return;
    case Tag::Int16: *low = -32768; *high = 32767; return;
    case Tag::UInt32: *low = 0; *high = 4294967295.0; return;
    case Tag::Int32: *low = -2147483648.0; *high = 2147483647.0; return;
    // Below 2^63 and 2^64, so the conversions stay in range.
    case Tag::UInt64: *low = 0; *high = 18446744073709549568.0; return;
    case Tag::Int64: *low = -9223372036854774784.0; *high = 9223372036854774784.0; return;
    default: *low = 0; *high = 0; return;
    }
}

quint64 depositBits(quint64 value, quint64 mask)
{
    quint64 result = 0;
    for (int bit = 0; bit < 64 && mask; ++bit) {
        if (mask & (quint64(1) << bit)) {
            if (value & 1u)
                result |= quint64(1) << bit;
            value >>= 1;
            mask &= ~(quint64(1) << bit);
        }
    }
    return result;
}

int popCount(quint64 value)
{
    int count = 0;
    for (; value; value &= value - 1)
        ++count;
    return count;
}

} // namespace

DeviceSimulator::DeviceSimulator(QObject *parent)
    : QObject(parent)
    , m_loader(new Pointbook::TagBaseLoader(this))
    , m_server(new SimulatedServer(this))
    , m_timer(new QTimer(this))
{
    m_server->setMap(emptyTables());
    m_server->setServerAddress(1);
    applyIdentification();
    connect(m_server, &SimulatedServer::requestReceived, this, &DeviceSimulator::requestReceived);
    connect(m_server, &SimulatedServer::written, this, &DeviceSimulator::onWritten);
    m_server->setWriteCheck([this](QModbusDataUnit::RegisterType table, int first, int count) {
        return checkWrite(table, first, count);
    });
    connect(m_timer, &QTimer::timeout, this, &DeviceSimulator::advance);
}

DeviceSimulator::~DeviceSimulator()
{
    close();
}

Pointbook::BaseTag *DeviceSimulator::base() const
{
    return m_loader->base();
}

QString DeviceSimulator::mapVersion(const QString &fileName, QString *error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = tr("Cannot open the register map %1: %2").arg(fileName, file.errorString());
        return QString();
    }
    const QString text = XmlText::XmlTextReader::repairQuotedRuns(
        XmlText::XmlTextReader::decode(file.readAll()));
    QXmlStreamReader reader(text);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement) {
            if (reader.name() != QLatin1String("base")) {
                if (error)
                    *error = tr("%1 is not a register map: its root element is not \"base\".")
                                 .arg(fileName);
                return QString();
            }
            if (error)
                error->clear();
            return reader.attributes().value(QStringLiteral("version")).toString();
        }
    }
    if (error)
        *error = tr("%1 is not a register map: %2").arg(fileName, reader.errorString());
    return QString();
}

bool DeviceSimulator::loadMap(const QString &fileName, const QString &version)
{
    QString wanted = version;
    if (wanted.isEmpty()) {
        QString error;
        wanted = mapVersion(fileName, &error);
        if (!error.isEmpty()) {
            m_errorString = error;
            m_entries.clear();
            return false;
        }
    }
    m_loader->setFileName(fileName);
    m_loader->setVersionBase(wanted);
    // The loader deletes the previous tags whatever the outcome.
    m_entries.clear();
    m_held.clear();
    m_mappedHoldings.clear();
    m_mappedCoils.clear();
    if (!m_loader->readBase()) {
        m_errorString = m_loader->errorString();
        return false;
    }
    m_fileName = fileName;
    m_version = wanted;
    m_errorString.clear();
    m_server->setMap(emptyTables());
    m_mappedHoldings.fill(false, AddressSpace);
    m_mappedCoils.fill(false, AddressSpace);
    for (auto type : {Tag::HR, Tag::CO}) {
        QVector<bool> &mapped = type == Tag::HR ? m_mappedHoldings : m_mappedCoils;
        for (const Tag *tag : m_loader->base()->tagHash(type)) {
            for (int a = tag->startAddress(); a < tag->startAddress() + span(tag) && a < AddressSpace; ++a)
                mapped[a] = true;
        }
    }
    applyIdentification();
    refresh();
    return true;
}

void DeviceSimulator::applyIdentification()
{
    QModbusDeviceIdentification identification;
    identification.setConformityLevel(QModbusDeviceIdentification::BasicConformityLevel);
    identification.insert(QModbusDeviceIdentification::VendorNameObjectId, m_vendor.toUtf8());
    identification.insert(QModbusDeviceIdentification::ProductCodeObjectId, m_product.toUtf8());
    identification.insert(QModbusDeviceIdentification::MajorMinorRevisionObjectId,
                          m_version.isEmpty() ? QByteArray("0") : m_version.toUtf8());
    m_server->setValue(QModbusServer::DeviceIdentification, QVariant::fromValue(identification));
}

bool DeviceSimulator::listen(const QString &host, quint16 port)
{
    close();
    m_host = host;
    m_server->setConnectionParameter(QModbusDevice::NetworkAddressParameter, host);
    m_server->setConnectionParameter(QModbusDevice::NetworkPortParameter, port);
    if (!m_server->connectDevice() || m_server->state() != QModbusDevice::ConnectedState) {
        m_errorString = tr("Cannot listen on %1:%2: %3")
                            .arg(host)
                            .arg(port)
                            .arg(m_server->errorString());
        return false;
    }
    return true;
}

void DeviceSimulator::close()
{
    if (m_server->state() != QModbusDevice::UnconnectedState)
        m_server->disconnectDevice();
}

bool DeviceSimulator::isListening() const
{
    return m_server->state() == QModbusDevice::ConnectedState;
}

quint16 DeviceSimulator::port() const
{
    return m_server->listeningPort();
}

void DeviceSimulator::setServerAddress(int address)
{
    m_server->setServerAddress(address);
}

int DeviceSimulator::serverAddress() const
{
    return m_server->serverAddress();
}

void DeviceSimulator::setUpdateInterval(int milliseconds)
{
    m_intervalMs = qMax(0, milliseconds);
    if (m_intervalMs > 0)
        m_timer->start(m_intervalMs);
    else
        m_timer->stop();
}

void DeviceSimulator::setStep(quint64 step)
{
    m_step = step;
    refresh();
}

QString DeviceSimulator::key(Tag::RegisterType type, const QString &id)
{
    return QString::number(int(type)) + QLatin1Char(':') + id;
}

QVariant DeviceSimulator::tagValue(Tag::RegisterType type, const QString &id) const
{
    return m_entries.value(key(type, id)).value;
}

QVector<quint16> DeviceSimulator::tagWords(Tag::RegisterType type, const QString &id) const
{
    return m_entries.value(key(type, id)).words;
}

quint16 DeviceSimulator::served(QModbusDataUnit::RegisterType table, int address) const
{
    quint16 value = 0;
    if (address < 0 || address >= AddressSpace
        || !m_server->data(table, quint16(address), &value))
        return 0;
    return value;
}

double DeviceSimulator::sample(const Tag *tag, int element) const
{
    double low = std::min(tag->minValue(), tag->maxValue());
    double high = std::max(tag->minValue(), tag->maxValue());
    if (!std::isfinite(low) || !std::isfinite(high))
        low = high = 0.0;
    if (low == high)
        return low;
    const uint seed = qHash(tag->Id()) ^ uint(tag->startAddress());
    const double period = 20.0 + double(seed % 40u);
    const double phase = double(seed % 628u) / 100.0 + 0.7 * element;
    return low + (high - low) * (0.5 + 0.5 * std::sin(TwoPi * double(stepOf(tag)) / period + phase));
}

bool DeviceSimulator::drifts(const Tag *tag)
{
    const Tag::TypeTag kind = Tag::stringToTypeTag(tag->typeTag());
    return kind != Tag::Parameter && kind != Tag::Command;
}

quint64 DeviceSimulator::stepOf(const Tag *tag) const
{
    // Parameters and commands keep the value they start with.
    return drifts(tag) ? m_step : 0;
}

int DeviceSimulator::span(const Tag *tag)
{
    return std::max<int>(1, tag->sizeRegisters());
}

QVariant DeviceSimulator::typedSample(const Tag *tag, int element) const
{
    return typedValue(tag, sample(tag, element));
}

QVariant DeviceSimulator::typedValue(const Tag *tag, double value) const
{
    const Tag::DataType type = tag->dataType();
    if (type == Tag::Float)
        return float(value);
    if (type == Tag::Double)
        return value;
    double typeLow = 0;
    double typeHigh = 0;
    typeRange(type, &typeLow, &typeHigh);
    if (typeLow == typeHigh)
        return QVariant();
    // Within the tag's limits where the type can hold them, else within the type.
    const double tagLow = std::min<double>(tag->minValue(), tag->maxValue());
    const double tagHigh = std::max<double>(tag->minValue(), tag->maxValue());
    const double low = std::max(std::ceil(tagLow), typeLow);
    const double high = std::min(std::floor(tagHigh), typeHigh);
    double rounded = std::round(value);
    if (low <= high)
        rounded = std::clamp(rounded, low, high);
    else
        rounded = std::clamp(rounded, typeLow, typeHigh);
    const quint64 bits = typeLow < 0 ? quint64(qint64(rounded)) : quint64(rounded);
    return Tag::elementFromBits(type, bits);
}

quint64 DeviceSimulator::bitFieldRegister(const QList<Tag *> &group) const
{
    quint64 value = 0;
    for (const Tag *tag : group) {
        const int width = std::max(Tag::elementWidth(tag->dataType()), 2);
        quint64 mask = tag->mask();
        if (width < 8)
            mask &= (quint64(1) << (8 * width)) - 1;
        const int bits = std::min(popCount(mask), 16);
        if (bits == 0)
            continue;
        const quint64 field = (stepOf(tag) + qHash(tag->Id())) % (quint64(1) << bits);
        value |= depositBits(field, mask);
    }
    return value;
}

void DeviceSimulator::refresh(bool moveWritten)
{
    m_entries.clear();
    Pointbook::BaseTag *tags = m_loader->base();
    for (int t = Tag::IR; t <= Tag::CO; ++t) {
        const auto type = Tag::RegisterType(t);
        const QModbusDataUnit::RegisterType table = tableOf(type);
        QList<Tag *> list = tags->tagHash(type).values();
        std::sort(list.begin(), list.end(), &Tag::lessThan);

        // Bit fields sharing a register are served as one word.
        QMap<int, QList<Tag *>> groups;
        for (Tag *tag : qAsConst(list)) {
            if (tag->bitfield())
                groups[tag->startAddress()].append(tag);
        }
        for (Tag *tag : qAsConst(list)) {
            const QString k = key(type, tag->Id());
            auto held = m_held.find(k);
            QVector<quint16> words;
            if (held != m_held.end() && (!held->drifts || !moveWritten)) {
                words = held->words;
            } else if (held != m_held.end()) {
                // A written measurement moves on from the written value
                // towards the process, by a small part of its range a step.
                const double low = std::min<double>(tag->minValue(), tag->maxValue());
                const double high = std::max<double>(tag->minValue(), tag->maxValue());
                const double reach = std::isfinite(high - low) ? (high - low) / 500.0 : 0.0;
                const double target = sample(tag, 0);
                held->value += std::clamp(target - held->value, -reach, reach);
                words = tag->encode(typedValue(tag, held->value));
                held->words = words;
            } else if (type == Tag::DI || type == Tag::CO) {
                const int count = std::max<int>(1, tag->count());
                for (int i = 0; i < count && tag->startAddress() + i < AddressSpace; ++i)
                    words.append(quint16(((stepOf(tag) / 3) + qHash(tag->Id()) + quint64(i)) % 2));
            } else if (tag->bitfield()) {
                const quint64 bits = bitFieldRegister(groups.value(tag->startAddress()));
                Tag whole(Tag::HR, tag->dataType(), tag->byteOrderInput(), tag->byteOrderOutput(),
                          0, QString(), QString(), QString());
                whole.setCount(1);
                words = whole.encode(Tag::elementFromBits(tag->dataType(), bits));
            } else if (tag->count() > 1) {
                QVariantList elements;
                for (int e = 0; e < tag->count(); ++e)
                    elements.append(typedSample(tag, e));
                words = tag->encode(elements);
            } else {
                words = tag->encode(typedSample(tag, 0));
            }
            if (tag->startAddress() + words.size() > AddressSpace)
                words.resize(AddressSpace - tag->startAddress());
            if (!words.isEmpty())
                m_server->setData(QModbusDataUnit(table, tag->startAddress(), words));
            // The simulator's own tags decode what they serve.
            tag->setRawData(words);
            const QVariant value = (type == Tag::DI || type == Tag::CO)
                                       ? QVariant(int(words.value(0)))
                                       : tag->value();
            m_entries.insert(k, {tag, value, words});
        }
    }
    emit valuesChanged();
}

int DeviceSimulator::checkWrite(QModbusDataUnit::RegisterType table, int first, int count) const
{
    for (const Range &range : m_writeExceptions) {
        if (range.table == table && first <= range.last && first + count - 1 >= range.first)
            return range.code;
    }
    const QVector<bool> &mapped = table == QModbusDataUnit::Coils ? m_mappedCoils : m_mappedHoldings;
    if (table != QModbusDataUnit::Coils && table != QModbusDataUnit::HoldingRegisters)
        return QModbusPdu::IllegalFunction;
    for (int a = first; a < first + count; ++a) {
        if (a < 0 || a >= mapped.size() || !mapped.at(a))
            return QModbusPdu::IllegalDataAddress;
    }
    return 0;
}

void DeviceSimulator::onWritten(QModbusDataUnit::RegisterType table, int first, int count)
{
    const int last = first + count - 1;
    for (const Range &range : qAsConst(m_ignoredWrites)) {
        if (range.table == table && first <= range.last && last >= range.first) {
            refresh(false); // serves the device's own values again
            emit written(table, first, count);
            return;
        }
    }
    const Tag::RegisterType type = table == QModbusDataUnit::Coils ? Tag::CO : Tag::HR;
    for (Tag *tag : m_loader->base()->tagHash(type)) {
        const int start = tag->startAddress();
        const int n = span(tag);
        if (start > last || start + n - 1 < first)
            continue;
        Held held;
        // A coil written by function 5 is stored as 0xFF00; it is served as 1.
        for (int a = start; a < start + n && a < AddressSpace; ++a)
            held.words.append(type == Tag::CO ? quint16(served(table, a) ? 1 : 0) : served(table, a));
        held.drifts = drifts(tag) && type == Tag::HR && !tag->bitfield() && tag->count() == 1
                      && tag->dataType() != Tag::UnknownType;
        if (held.drifts) {
            tag->setRawData(held.words);
            const QVariant v = tag->value();
            held.value = tag->dataType() == Tag::UInt64 ? double(v.toULongLong())
                         : tag->dataType() == Tag::Int64 ? double(v.toLongLong())
                                                         : v.toDouble();
            held.drifts = std::isfinite(held.value);
        }
        m_held.insert(key(type, tag->Id()), held);
    }
    // Served words and tag values follow at once, without waiting for a step.
    refresh(false);
    emit written(table, first, count);
}

void DeviceSimulator::setResponseDelay(int milliseconds)
{
    m_server->setResponseDelay(milliseconds);
}

int DeviceSimulator::responseDelay() const
{
    return m_server->responseDelay();
}

void DeviceSimulator::addExceptionRange(QModbusDataUnit::RegisterType table, int first, int last,
                                        QModbusPdu::ExceptionCode code)
{
    SimulatedServer::ExceptionRange range;
    range.table = table;
    range.first = std::min(first, last);
    range.last = std::max(first, last);
    range.code = code;
    m_server->addExceptionRange(range);
}

bool DeviceSimulator::addExceptionRange(const QString &text, QString *error)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    const QStringList bounds = parts.value(1).split(QLatin1Char('-'));
    bool firstOk = false;
    bool lastOk = false;
    bool codeOk = false;
    const int first = bounds.value(0).toInt(&firstOk);
    const int last = bounds.size() == 2 ? bounds.value(1).toInt(&lastOk) : first;
    if (bounds.size() == 1)
        lastOk = firstOk;
    const int code = parts.value(2).toInt(&codeOk);
    const auto table = tableOf(Tag::stringToRegisterType(parts.value(0)));
    if (parts.size() != 3 || table == QModbusDataUnit::Invalid || !firstOk || !lastOk
        || bounds.size() > 2 || first < 0 || last < 0 || first >= AddressSpace
        || last >= AddressSpace || first > last || !codeOk || code < 1 || code > 255) {
        if (error)
            *error = tr("Invalid exception range \"%1\": expected table:first-last:code, "
                        "table one of ir, hr, di, co, addresses 0..65535, code 1..255.")
                         .arg(text);
        return false;
    }
    addExceptionRange(table, first, last, QModbusPdu::ExceptionCode(code));
    return true;
}

void DeviceSimulator::clearExceptionRanges()
{
    m_server->clearExceptionRanges();
    m_writeExceptions.clear();
    m_ignoredWrites.clear();
}

void DeviceSimulator::addWriteExceptionRange(QModbusDataUnit::RegisterType table, int first,
                                             int last, QModbusPdu::ExceptionCode code)
{
    m_writeExceptions.append({table, std::min(first, last), std::max(first, last), int(code)});
}

void DeviceSimulator::addIgnoredWriteRange(QModbusDataUnit::RegisterType table, int first, int last)
{
    m_ignoredWrites.append({table, std::min(first, last), std::max(first, last), 0});
}

bool DeviceSimulator::parseRange(const QString &text, bool withCode, Range *range,
                                 QString *error) const
{
    const QStringList parts = text.split(QLatin1Char(':'));
    const QStringList bounds = parts.value(1).split(QLatin1Char('-'));
    bool firstOk = false;
    bool lastOk = false;
    bool codeOk = !withCode;
    const int first = bounds.value(0).toInt(&firstOk);
    const int last = bounds.size() == 2 ? bounds.value(1).toInt(&lastOk) : first;
    if (bounds.size() == 1)
        lastOk = firstOk;
    const int code = withCode ? parts.value(2).toInt(&codeOk) : 0;
    const Tag::RegisterType type = Tag::stringToRegisterType(parts.value(0));
    if (parts.size() != (withCode ? 3 : 2) || (type != Tag::HR && type != Tag::CO) || !firstOk
        || !lastOk || bounds.size() > 2 || first < 0 || last < 0 || first >= AddressSpace
        || last >= AddressSpace || first > last || !codeOk || (withCode && (code < 1 || code > 255))) {
        if (error)
            *error = withCode ? tr("Invalid write exception range \"%1\": expected table:first-last:code, "
                                   "table hr or co, addresses 0..65535, code 1..255.").arg(text)
                              : tr("Invalid ignored write range \"%1\": expected table:first-last, "
                                   "table hr or co, addresses 0..65535.").arg(text);
        return false;
    }
    *range = {tableOf(type), first, last, code};
    return true;
}

bool DeviceSimulator::addWriteExceptionRange(const QString &text, QString *error)
{
    Range range;
    if (!parseRange(text, true, &range, error))
        return false;
    m_writeExceptions.append(range);
    return true;
}

bool DeviceSimulator::addIgnoredWriteRange(const QString &text, QString *error)
{
    Range range;
    if (!parseRange(text, false, &range, error))
        return false;
    m_ignoredWrites.append(range);
    return true;
}

void DeviceSimulator::setDropEvery(int requests)
{
    m_server->setDropEvery(requests);
}

int DeviceSimulator::dropEvery() const
{
    return m_server->dropEvery();
}

quint64 DeviceSimulator::requestCount() const
{
    return m_server->requestCount();
}

} // namespace Devicesim
