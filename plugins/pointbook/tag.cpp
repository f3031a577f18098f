#include "tag.h"

#include <QCoreApplication>
#include <QLocale>
#include <QMutexLocker>
#include <QStringList>
#include <QRegularExpression>
#include <QtEndian>

#include <cmath>
#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <optional>

namespace Pointbook {

namespace {

QVector<int> orderDigits(const QString &order)
{
    QVector<int> digits;
    digits.reserve(order.size());
    for (const QChar c : order)
        digits.append((c >= QLatin1Char('0') && c <= QLatin1Char('9')) ? c.unicode() - '0' : 0);
    return digits;
}

// Truncation toward zero that is defined for every double: NaN gives 0,
// values beyond the range saturate at its ends.
template<typename I>
I truncateTo(double value)
{
    if (std::isnan(value))
        return 0;
    if (value <= double(std::numeric_limits<I>::min()))
        return std::numeric_limits<I>::min();
    // The maximum of a 64-bit type rounds up to 2^64 (or 2^63) as a double;
    // anything at or above it is out of range.
    if (value >= std::ldexp(1.0, std::numeric_limits<I>::digits))
        return std::numeric_limits<I>::max();
    return static_cast<I>(value);
}

// The digits of every byte order's text form ("Unknown" reads as seven
// zeros, as its text does); the last entry stands for a value outside the
// enumeration, which has no text form and hence no digits.
struct OrderDigits {
    int length;
    signed char digits[8];
};

constexpr int OrderCount = 17;

constexpr OrderDigits orderDigitTable[OrderCount] = {
    {7, {0, 0, 0, 0, 0, 0, 0, 0}}, // Unknown
    {1, {0}},
    {2, {0, 1}},
    {2, {1, 0}},
    {4, {0, 1, 2, 3}},
    {4, {1, 0, 3, 2}},
    {4, {3, 2, 1, 0}},
    {4, {2, 3, 0, 1}},
    {8, {0, 1, 2, 3, 4, 5, 6, 7}},
    {8, {1, 0, 3, 2, 5, 4, 7, 6}},
    {8, {3, 2, 1, 0, 7, 6, 5, 4}},
    {8, {2, 3, 0, 1, 6, 7, 4, 5}},
    {8, {4, 5, 6, 7, 0, 1, 2, 3}},
    {8, {5, 4, 7, 6, 1, 0, 3, 2}},
    {8, {7, 6, 5, 4, 3, 2, 1, 0}},
    {8, {6, 7, 4, 5, 2, 3, 0, 1}},
    {0, {}},
};

// For each pair of orders, the bytes of one converted element: where in
// the input element each comes from (-1: a digit the input order lacks).
struct OrderMap {
    int length;
    signed char source[8];
};

struct OrderMaps {
    OrderMap maps[OrderCount][OrderCount];
};

constexpr OrderMaps buildOrderMaps()
{
    OrderMaps result{};
    for (int a = 0; a < OrderCount; ++a) {
        for (int b = 0; b < OrderCount; ++b) {
            const OrderDigits &in = orderDigitTable[a];
            const OrderDigits &out = orderDigitTable[b];
            OrderMap &map = result.maps[a][b];
            map.length = out.length;
            for (int o = 0; o < out.length; ++o) {
                map.source[o] = -1;
                for (int i = 0; i < in.length; ++i) {
                    if (in.digits[i] == out.digits[o]) {
                        map.source[o] = static_cast<signed char>(i);
                        break;
                    }
                }
            }
        }
    }
    return result;
}

constexpr OrderMaps orderMaps = buildOrderMaps();

const OrderMap &orderMapOf(Tag::ByteOrder in, Tag::ByteOrder out)
{
    const auto index = [](Tag::ByteOrder order) {
        const int i = int(order);
        return i >= 0 && i < OrderCount - 1 ? i : OrderCount - 1;
    };
    return orderMaps.maps[index(in)][index(out)];
}

// Byte `at` of the big-endian bytes of the words.
inline uchar byteOfWords(const quint16 *words, int at)
{
    const quint16 word = words[at / 2];
    return uchar(at % 2 ? word & 0xFF : word >> 8);
}

// What byteOrderConversion() gives for the big-endian bytes of the words,
// up to `limit` bytes, written to `target`; returns the number written.
int convertWords(const QVector<quint16> &words, int width, const OrderMap &map, uchar *target,
                 int limit)
{
    const int available = words.size() * 2;
    if (width <= 0 || map.length == 0)
        return 0;
    const quint16 *data = words.constData();
    int k = 0;
    for (int element = 0; element < available && k < limit; element += width) {
        for (int o = 0; o < map.length && k < limit; ++o, ++k) {
            const int i = map.source[o];
            target[k] = i >= 0 && element + i < available ? byteOfWords(data, element + i) : 0;
        }
    }
    return k;
}

// The little-endian number in the first sizeof(T) bytes of that conversion;
// bytes it does not supply count as zero.
template<typename T>
T convertedNumber(const QVector<quint16> &words, int width, Tag::ByteOrder orderIn,
                  Tag::ByteOrder orderOut)
{
    uchar buffer[sizeof(T)] = {};
    const OrderMap &map = orderMapOf(orderIn, orderOut);
    const int available = words.size() * 2;
    if (width > 0 && map.length >= int(sizeof(T)) && available > 0) {
        // The first element alone fills the number (the usual case: orders
        // as long as the type): the same bytes without the general loop,
        // which runs once for every decoded value.
        const quint16 *data = words.constData();
        for (int o = 0; o < int(sizeof(T)); ++o) {
            const int i = map.source[o];
            buffer[o] = i >= 0 && i < available ? byteOfWords(data, i) : 0;
        }
    } else {
        convertWords(words, width, map, buffer, int(sizeof(T)));
    }
    return qFromLittleEndian<T>(buffer);
}

float floatFromBits(quint32 bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

double doubleFromBits(quint64 bits)
{
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

float roundToFloat(double value)
{
    if (std::isfinite(value) && std::fabs(value) > double(std::numeric_limits<float>::max()))
        return value < 0 ? -std::numeric_limits<float>::infinity()
                         : std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

// The float a double rounds to, false when that is an overflow. A double
// beyond FLT_MAX by less than half a float's last step still rounds to
// FLT_MAX: that is how FLT_MAX's shortest text, 3.4028235e+38, reads back.
bool floatOf(double d, float *f)
{
    if (!std::isfinite(d) || std::fabs(d) <= double(std::numeric_limits<float>::max())) {
        *f = float(d);
        return true;
    }
    if (std::fabs(d) >= std::ldexp(1.0, 128) - std::ldexp(1.0, 103))
        return false;
    *f = d < 0 ? -std::numeric_limits<float>::max() : std::numeric_limits<float>::max();
    return true;
}

} // namespace

Tag::Tag(QObject *parent)
    : QObject(parent)
{
}

Tag::Tag(RegisterType registerType, QObject *parent)
    : QObject(parent)
    , m_registerType(registerType)
{
}

Tag::Tag(RegisterType registerType, DataType dataType, ByteOrder byteOrderInput,
         ByteOrder byteOrderOutput, quint16 startAddress, const QString &name,
         const QString &unit, const QString &description, QObject *parent)
    : QObject(parent)
    , m_registerType(registerType)
    , m_dataType(dataType)
    , m_name(name)
    , m_description(description)
    , m_unit(unit)
    , m_startAddress(startAddress)
    , m_byteOrderInput(byteOrderInput)
    , m_byteOrderOutput(byteOrderOutput)
{
}

int Tag::elementWidth(DataType type)
{
    switch (type) {
    case UInt8:
    case Int8:
        return 1;
    case UInt16:
    case Int16:
        return 2;
    case UInt32:
    case Int32:
    case Float:
        return 4;
    case UInt64:
    case Int64:
    case Double:
        return 8;
    default:
        return 0;
    }
}

quint16 Tag::size() const
{
    return quint16(int(m_count) * elementWidth(m_dataType));
}

quint16 Tag::sizeRegisters() const
{
    return quint16(size() / 2);
}

quint16 Tag::pollRegisters() const
{
    return size() == 1 ? quint16(1) : sizeRegisters();
}

QVector<quint16> Tag::valueByteArray() const
{
    return m_valueRaw;
}

QVariant Tag::value() const
{
    if (m_valueRaw.isEmpty())
        return QVariant();

    const int width = elementWidth(m_dataType);
    if (m_count > 1) {
        // The reordered bytes of every element, as byteOrderConversion()
        // gives them for the orders' text forms.
        QByteArray bytes;
        if (width > 0) {
            const OrderMap &map = orderMapOf(m_byteOrderInput, m_byteOrderOutput);
            const int elements = (m_valueRaw.size() * 2 + width - 1) / width;
            bytes.resize(elements * map.length);
            convertWords(m_valueRaw, width, map, reinterpret_cast<uchar *>(bytes.data()),
                         bytes.size());
        }
        return bytes;
    }

    const auto number = [&](auto zero) {
        return convertedNumber<decltype(zero)>(m_valueRaw, width, m_byteOrderInput,
                                               m_byteOrderOutput);
    };
    switch (m_dataType) {
    case UInt8:
        return int(quint8(m_valueRaw.at(0) >> 8));
    case Int8:
        return int(qint8(quint8(m_valueRaw.at(0) >> 8)));
    case UInt16:
        return int(number(quint16()));
    case Int16:
        return int(number(qint16()));
    case UInt32:
        return number(quint32());
    case Int32:
        return number(qint32());
    case UInt64:
        return number(quint64());
    case Int64:
        return number(qint64());
    case Float:
        return floatFromBits(number(quint32()));
    case Double:
        return doubleFromBits(number(quint64()));
    default:
        return QVariant();
    }
}

QByteArray Tag::byteOrderConversion(const QByteArray &data, const QString &orderIn,
                                    const QString &orderOut) const
{
    const int width = elementWidth(m_dataType);
    QByteArray result;
    if (width == 0)
        return result;

    const QVector<int> in = orderDigits(orderIn);
    const QVector<int> out = orderDigits(orderOut);
    const int elements = (data.size() + width - 1) / width;
    result.reserve(elements * out.size());
    for (int p = 0; p < data.size(); p += width) {
        for (const int digit : out) {
            const int i = in.indexOf(digit);
            const bool present = i >= 0 && p + i < data.size();
            result.append(present ? data.at(p + i) : '\0');
        }
    }
    return result;
}

double Tag::dampingProcess(double value, double previous, int points)
{
    if (points < 1)
        return value;
    if (previous == 0.0)
        return value;
    return (value - previous) / points + previous;
}

QString Tag::dataTypeToString(DataType type)
{
    switch (type) {
    case UnknownType: return QStringLiteral("uint16");
    case UInt8: return QStringLiteral("uint8");
    case Int8: return QStringLiteral("int8");
    case UInt16: return QStringLiteral("uint16");
    case Int16: return QStringLiteral("int16");
    case UInt32: return QStringLiteral("uint32");
    case Int32: return QStringLiteral("int32");
    case UInt64: return QStringLiteral("uint64");
    case Int64: return QStringLiteral("int64");
    case Float: return QStringLiteral("float");
    case Double: return QStringLiteral("double");
    }
    return QString();
}

Tag::DataType Tag::stringToDataType(const QString &text)
{
    const QString t = text.toLower();
    if (t == QLatin1String("uint8")) return UInt8;
    if (t == QLatin1String("int8")) return Int8;
    if (t == QLatin1String("uint16")) return UInt16;
    if (t == QLatin1String("int16")) return Int16;
    if (t == QLatin1String("uint32")) return UInt32;
    if (t == QLatin1String("int32")) return Int32;
    if (t == QLatin1String("uint64")) return UInt64;
    if (t == QLatin1String("int64")) return Int64;
    if (t == QLatin1String("float")) return Float;
    if (t == QLatin1String("double")) return Double;
    return UnknownType;
}

QString Tag::registerTypeToString(RegisterType type)
{
    switch (type) {
    case IR: return QStringLiteral("ir");
    case HR: return QStringLiteral("hr");
    case DI: return QStringLiteral("di");
    case CO: return QStringLiteral("co");
    case UnknownRegister: break;
    }
    return QString();
}

Tag::RegisterType Tag::stringToRegisterType(const QString &text)
{
    const QString t = text.toLower();
    if (t == QLatin1String("ir")) return IR;
    if (t == QLatin1String("hr")) return HR;
    if (t == QLatin1String("di")) return DI;
    if (t == QLatin1String("co")) return CO;
    return UnknownRegister;
}

namespace {
struct OrderName {
    Tag::ByteOrder order;
    const char *text;
};

const OrderName orderNames[] = {
    {Tag::UnknownOrder, "Unknown"},
    {Tag::Order0, "0"},
    {Tag::Order01, "01"},
    {Tag::Order10, "10"},
    {Tag::Order0123, "0123"},
    {Tag::Order1032, "1032"},
    {Tag::Order3210, "3210"},
    {Tag::Order2301, "2301"},
    {Tag::Order01234567, "01234567"},
    {Tag::Order10325476, "10325476"},
    {Tag::Order32107654, "32107654"},
    {Tag::Order23016745, "23016745"},
    {Tag::Order45670123, "45670123"},
    {Tag::Order54761032, "54761032"},
    {Tag::Order76543210, "76543210"},
    {Tag::Order67452301, "67452301"},
};
} // namespace

QString Tag::byteOrderToString(ByteOrder order)
{
    for (const OrderName &n : orderNames) {
        if (n.order == order)
            return QString::fromLatin1(n.text);
    }
    return QString();
}

Tag::ByteOrder Tag::stringToByteOrder(const QString &text)
{
    for (const OrderName &n : orderNames) {
        if (text == QLatin1String(n.text))
            return n.order;
    }
    return UnknownOrder;
}

Tag::TypeAccess Tag::stringToTypeAccess(const QString &text)
{
    const auto is = [&](const char *form) {
        return text.compare(QLatin1String(form), Qt::CaseInsensitive) == 0;
    };
    if (is("R") || is("Read"))
        return Read;
    if (is("W") || is("Write"))
        return Write;
    if (is("RW") || is("ReadWrite"))
        return ReadWrite;
    return UnknownAccess;
}

Tag::TypeTag Tag::stringToTypeTag(const QString &text)
{
    if (text.isEmpty())
        return UnknownTag;
    const auto is = [&](const char *form) {
        return text.compare(QLatin1String(form), Qt::CaseInsensitive) == 0;
    };
    if (is("status")) return Status;
    if (is("parameter")) return Parameter;
    if (is("dimension")) return Dimension;
    if (is("command")) return Command;
    return UnknownTag;
}

bool Tag::lessThan(Tag *a, Tag *b)
{
    if (int(a->m_registerType) != int(b->m_registerType))
        return int(a->m_registerType) < int(b->m_registerType);
    if (a->m_startAddress != b->m_startAddress)
        return a->m_startAddress < b->m_startAddress;
    return a->m_mask < b->m_mask;
}

void Tag::setRegisterType(RegisterType registerType) { m_registerType = registerType; }
void Tag::setId(const QString &id) { m_id = id; }
void Tag::setName(const QString &name) { m_name = name; }
void Tag::setDescription(const QString &description) { m_description = description; }
void Tag::setUnit(const QString &unit) { m_unit = unit; }
void Tag::setBitfield(bool bitfield) { m_bitfield = bitfield; }
void Tag::setBitfieldEnd(bool bitfieldEnd) { m_bitfieldEnd = bitfieldEnd; }
void Tag::setDataType(DataType dataType) { m_dataType = dataType; }
void Tag::setCount(quint16 count) { m_count = count; }
void Tag::setAccess(const QString &access) { m_access = access; }
void Tag::setDefaultValue(float defaultValue) { m_defaultValue = defaultValue; }
void Tag::setMinValue(float minValue)
{
    m_minValue = minValue;
    m_lowerLimit = minValue;
}

void Tag::setMaxValue(float maxValue)
{
    m_maxValue = maxValue;
    m_upperLimit = maxValue;
}
void Tag::setPrecision(int precision) { m_precision = precision; }
void Tag::setStartAddress(quint16 startAddress) { m_startAddress = startAddress; }
void Tag::setOffset(quint16 offset) { m_offset = offset; }
void Tag::setMask(quint64 mask) { m_mask = mask; }

void Tag::setRawData(const QVector<quint16> &data)
{
    m_valueRaw = data;
    decodeRaw();
}

void Tag::setRawData(const quint16 *words, int count)
{
    // resize() keeps the storage of an unshared vector of the same size, and
    // detaches one that a reader still holds.
    m_valueRaw.resize(std::max(count, 0));
    if (count > 0)
        std::copy(words, words + count, m_valueRaw.data());
    decodeRaw();
}

void Tag::decodeRaw()
{
    // A single element is decoded straight from the words; several go
    // through value() and its byte array.
    const bool single = m_count <= 1;
    // No variant at all for a single element: its construction and
    // destruction cost as much as the decoding itself.
    std::optional<QVariant> several;
    if (!single)
        several = value();
    const int width = elementWidth(m_dataType);
    const auto number = [&](auto zero) {
        return convertedNumber<decltype(zero)>(m_valueRaw, width, m_byteOrderInput,
                                               m_byteOrderOutput);
    };
    const quint8 firstByte = m_valueRaw.isEmpty() ? 0 : quint8(m_valueRaw.at(0) >> 8);

    const bool damp = m_enableDamping;
    // Written directly, not through setDampedValue(): its lock guards no
    // reader (dampedValue() reads without it), and this runs for every tag
    // of every reply.
    const auto storeDamped = [this](double value) { m_dampedValue = value; };
    const auto damped = [&](double sample) {
        return dampingProcess(sample, m_dampedValue, m_dampingPoints);
    };

    switch (m_dataType) {
    case UInt8: {
        const quint8 x = single ? firstByte : quint8(several->toUInt());
        storeDamped(damp ? double(quint8(truncateTo<qint16>(damped(x)))) : double(x));
        break;
    }
    case Int8: {
        const qint8 x = single ? qint8(firstByte) : qint8(several->toInt());
        storeDamped(damp ? double(qint8(truncateTo<qint16>(damped(x)))) : double(x));
        break;
    }
    case UInt16: {
        const quint16 x = single ? number(quint16()) : quint16(several->toUInt());
        storeDamped(damp ? double(quint16(truncateTo<qint32>(damped(x)))) : double(x));
        break;
    }
    case Int16: {
        const qint16 x = single ? number(qint16()) : qint16(several->toInt());
        storeDamped(damp ? double(truncateTo<qint16>(damped(x))) : double(x));
        break;
    }
    case UInt32: {
        const quint32 x = single ? number(quint32()) : several->toUInt();
        storeDamped(damp ? double(quint32(truncateTo<qint64>(damped(x)))) : double(x));
        break;
    }
    case Int32: {
        const qint32 x = single ? number(qint32()) : several->toInt();
        storeDamped(damp ? double(truncateTo<qint32>(damped(x))) : double(x));
        break;
    }
    case UInt64: {
        const quint64 x = single ? number(quint64()) : several->toULongLong();
        storeDamped(damp ? double(truncateTo<quint64>(damped(double(x)))) : double(x));
        break;
    }
    case Int64: {
        const qint64 x = single ? number(qint64()) : several->toLongLong();
        storeDamped(damp ? double(truncateTo<qint64>(damped(double(x)))) : double(x));
        break;
    }
    case Float: {
        const float x = single ? floatFromBits(number(quint32())) : several->toFloat();
        storeDamped(damp ? double(roundToFloat(damped(x))) : double(x));
        break;
    }
    case Double: {
        const double x = single ? doubleFromBits(number(quint64())) : several->toDouble();
        storeDamped(damp ? damped(x) : x);
        break;
    }
    default:
        break;
    }

    emit changedValue();
}

void Tag::setTypeChart(const QString &typeChart) { m_typeChart = typeChart; }
void Tag::setVisibleChart(bool visibleChart) { m_visibleChart = visibleChart; }
void Tag::setVisible(bool visible) { m_visible = visible; }
void Tag::setProfileParameter(bool profileParameter) { m_profileParameter = profileParameter; }
void Tag::setColorChart(const QColor &colorChart) { m_colorChart = colorChart; }
void Tag::setTypeTag(const QString &typeTag) { m_typeTag = typeTag; }
void Tag::setUpdate(bool update) { m_update = update; }
void Tag::setByteOrderInput(ByteOrder byteOrderInput) { m_byteOrderInput = byteOrderInput; }
void Tag::setByteOrderOutput(ByteOrder byteOrderOutput) { m_byteOrderOutput = byteOrderOutput; }

void Tag::setDampedValue(double dampedValue)
{
    QMutexLocker locker(&m_mutex);
    m_dampedValue = dampedValue;
}

void Tag::setDampingPoints(int dampingPoints)
{
    if (m_dampingPoints == dampingPoints)
        return;
    m_dampingPoints = dampingPoints;
    emit changedDampingPoints(dampingPoints);
    setEnableDamping(dampingPoints != 0);
}

void Tag::setDamping(bool damping) { m_damping = damping; }
void Tag::setEnableDamping(bool enableDamping) { m_enableDamping = enableDamping; }


namespace {

// A variant of an integer type (bool included) as sign and magnitude, so
// that every 64-bit value is held exactly; false for any other type.
bool integerOf(const QVariant &v, bool *negative, quint64 *magnitude)
{
    switch (int(v.type())) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar: {
        const qint64 x = v.toLongLong();
        *negative = x < 0;
        *magnitude = x < 0 ? quint64(0) - quint64(x) : quint64(x);
        return true;
    }
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar:
        *negative = false;
        *magnitude = v.toULongLong();
        return true;
    default:
        return false;
    }
}

// A whole number as sign and magnitude, so that the full ranges of the
// signed and unsigned 64-bit types fit without overflow.
struct Whole {
    bool negative = false;
    quint64 magnitude = 0;
};

bool wholeFromDouble(double d, Whole *w, QString *why)
{
    if (!std::isfinite(d)) {
        *why = QCoreApplication::translate("Pointbook::Tag", "%1 is not a finite number").arg(d);
        return false;
    }
    if (d != std::trunc(d)) {
        *why = QCoreApplication::translate("Pointbook::Tag", "%1 is not a whole number").arg(d, 0, 'g', 17);
        return false;
    }
    // 2^64 and beyond cannot be held by any type.
    if (std::fabs(d) >= 18446744073709551616.0) {
        *why = QCoreApplication::translate("Pointbook::Tag", "%1 is too large").arg(d, 0, 'g', 17);
        return false;
    }
    w->negative = d < 0;
    w->magnitude = quint64(std::fabs(d));
    return true;
}

bool booleanText(const QString &t, bool *on)
{
    const QString l = t.toLower();
    if (l == QLatin1String("on") || l == QLatin1String("true")) {
        *on = true;
        return true;
    }
    if (l == QLatin1String("off") || l == QLatin1String("false")) {
        *on = false;
        return true;
    }
    return false;
}

bool wholeFromVariant(const QVariant &v, Whole *w, QString *why)
{
    if (integerOf(v, &w->negative, &w->magnitude))
        return true;
    switch (int(v.type())) {
    case QMetaType::Float:
    case QMetaType::Double:
        return wholeFromDouble(v.toDouble(), w, why);
    case QMetaType::QString:
    case QMetaType::QByteArray: {
        const QString t = v.toString().trimmed();
        bool on = false;
        if (booleanText(t, &on)) {
            w->magnitude = on ? 1 : 0;
            return true;
        }
        bool ok = false;
        const bool hex = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
        if (hex) {
            w->magnitude = t.mid(2).toULongLong(&ok, 16);
        } else if (t.startsWith(QLatin1Char('-'))) {
            const quint64 m = t.mid(1).toULongLong(&ok, 10);
            w->negative = ok && m != 0;
            w->magnitude = m;
            ok = ok && !t.mid(1).startsWith(QLatin1Char('-')) && !t.mid(1).startsWith(QLatin1Char('+'));
        } else {
            w->magnitude = t.toULongLong(&ok, 10);
        }
        if (ok)
            return true;
        const double d = QLocale::c().toDouble(t, &ok);
        if (!ok) {
            *why = QCoreApplication::translate("Pointbook::Tag", "\"%1\" is not a number").arg(t);
            return false;
        }
        return wholeFromDouble(d, w, why);
    }
    default:
        *why = QCoreApplication::translate("Pointbook::Tag", "the value is not a number");
        return false;
    }
}

bool realFromVariant(const QVariant &v, double *d, QString *why)
{
    bool ok = false;
    if (v.type() == QVariant::String || v.type() == QVariant::ByteArray) {
        const QString t = v.toString().trimmed();
        *d = QLocale::c().toDouble(t, &ok);
        if (!ok) {
            const QString l = t.toLower();
            if (l == QLatin1String("nan") || l == QLatin1String("inf")
                || l == QLatin1String("+inf") || l == QLatin1String("-inf")) {
                *d = l == QLatin1String("nan") ? std::numeric_limits<double>::quiet_NaN()
                     : l.startsWith(QLatin1Char('-')) ? -std::numeric_limits<double>::infinity()
                                                      : std::numeric_limits<double>::infinity();
                ok = true;
            }
        }
        if (!ok)
            *why = QCoreApplication::translate("Pointbook::Tag", "\"%1\" is not a number").arg(t);
        return ok;
    }
    if (!v.canConvert<double>() || !v.isValid()) {
        *why = QCoreApplication::translate("Pointbook::Tag", "the value is not a number");
        return false;
    }
    *d = v.toDouble(&ok);
    if (!ok)
        *why = QCoreApplication::translate("Pointbook::Tag", "the value is not a number");
    return ok;
}

// The bit pattern (least significant byte first) of one element holding v.
bool elementBits(Tag::DataType type, const QVariant &v, quint64 *bits, QString *why)
{
    if (type == Tag::Float || type == Tag::Double) {
        double d = 0;
        // A float value is taken as it is, so that its bits (NaN payloads,
        // negative zero) come back unchanged.
        if (v.type() == QVariant(float()).type() && type == Tag::Float) {
            const float f = v.toFloat();
            quint32 b = 0;
            std::memcpy(&b, &f, sizeof b);
            *bits = b;
            return true;
        }
        if (!realFromVariant(v, &d, why))
            return false;
        if (type == Tag::Double) {
            std::memcpy(bits, &d, sizeof d);
            return true;
        }
        float f = 0;
        if (!floatOf(d, &f)) {
            *why = QCoreApplication::translate("Pointbook::Tag", "%1 is outside the range of a float").arg(Tag::numberText(d));
            return false;
        }
        quint32 b = 0;
        std::memcpy(&b, &f, sizeof b);
        *bits = b;
        return true;
    }

    qint64 low = 0;
    quint64 high = 0;
    if (!Tag::integerRange(type, &low, &high)) {
        *why = QCoreApplication::translate("Pointbook::Tag", "the tag has no data type that can be written");
        return false;
    }
    Whole w;
    if (!wholeFromVariant(v, &w, why))
        return false;
    const bool fits = w.negative ? w.magnitude <= quint64(0) - quint64(low) && low < 0
                                 : w.magnitude <= high;
    if (!fits) {
        *why = QCoreApplication::translate("Pointbook::Tag", "%1%2 is outside the range of %3 (%4 to %5)")
                   .arg(w.negative ? QStringLiteral("-") : QString())
                   .arg(w.magnitude)
                   .arg(Tag::dataTypeToString(type))
                   .arg(low)
                   .arg(high);
        return false;
    }
    *bits = w.negative ? quint64(0) - w.magnitude : w.magnitude;
    return true;
}

// The elements of an array value: a list, a text "a, b, c" (brackets
// allowed; blanks alone separate too when there is no comma) or, for one
// element, the value itself. An empty element is refused with its
// position: skipping it would shift the later values into other registers.
bool elementsOf(const QVariant &value, QVariantList *list, QString *why)
{
    const auto empty = [why](int position) {
        *why = QCoreApplication::translate("Pointbook::Tag", "element %1 is empty").arg(position);
        return false;
    };
    if (value.type() == QVariant::List) {
        *list = value.toList();
        return true;
    }
    if (value.type() == QVariant::StringList) {
        const QStringList items = value.toStringList();
        for (int i = 0; i < items.size(); ++i) {
            if (items.at(i).trimmed().isEmpty())
                return empty(i + 1);
            list->append(items.at(i));
        }
        return true;
    }
    QString text = value.toString().trimmed();
    if (text.startsWith(QLatin1Char('[')) && text.endsWith(QLatin1Char(']')))
        text = text.mid(1, text.size() - 2);
    if (text.trimmed().isEmpty())
        return true;
    static const QRegularExpression separators(QStringLiteral("[,;]"));
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const bool listed = text.contains(separators);
    const QStringList parts = listed ? text.split(separators) : text.trimmed().split(blanks);
    for (int i = 0; i < parts.size(); ++i) {
        const QString part = parts.at(i).trimmed();
        if (part.isEmpty())
            return empty(i + 1);
        list->append(part);
    }
    return true;
}

} // namespace

bool Tag::integerRange(DataType type, qint64 *low, quint64 *high)
{
    switch (type) {
    case UInt8: *low = 0; *high = 0xFF; return true;
    case Int8: *low = -128; *high = 127; return true;
    case UInt16: *low = 0; *high = 0xFFFF; return true;
    case Int16: *low = -32768; *high = 32767; return true;
    case UInt32: *low = 0; *high = 0xFFFFFFFFu; return true;
    case Int32: *low = std::numeric_limits<qint32>::min(); *high = 0x7FFFFFFF; return true;
    case UInt64: *low = 0; *high = std::numeric_limits<quint64>::max(); return true;
    case Int64:
        *low = std::numeric_limits<qint64>::min();
        *high = quint64(std::numeric_limits<qint64>::max());
        return true;
    default:
        return false;
    }
}

QVariant Tag::elementFromBits(DataType type, quint64 bits)
{
    switch (type) {
    case UInt8: return int(bits & 0xFFu);
    case Int8: return int(qint8(quint8(bits & 0xFFu)));
    case UInt16: return int(bits & 0xFFFFu);
    case Int16: return int(qint16(quint16(bits & 0xFFFFu)));
    case UInt32: return uint(bits & 0xFFFFFFFFu);
    case Int32: return int(qint32(quint32(bits & 0xFFFFFFFFu)));
    case UInt64: return qulonglong(bits);
    case Int64: return qlonglong(bits);
    case Float: return floatFromBits(quint32(bits & 0xFFFFFFFFu));
    case Double: return doubleFromBits(bits);
    default: return QVariant();
    }
}

QVector<quint16> Tag::encode(const QVariant &value, QString *error) const
{
    QString why;
    const auto refuse = [&](const QString &reason) {
        if (error)
            *error = reason;
        return QVector<quint16>();
    };
    if (error)
        error->clear();
    if (!value.isValid() || (value.type() == QVariant::String && value.toString().trimmed().isEmpty()))
        return refuse(QCoreApplication::translate("Pointbook::Tag", "no value given"));

    const int width = elementWidth(m_dataType);
    if (width == 0)
        return refuse(QCoreApplication::translate("Pointbook::Tag", "the tag has no data type that can be written"));
    const int count = m_count;
    if (count == 0)
        return refuse(QCoreApplication::translate("Pointbook::Tag", "the tag spans no registers"));

    // Discrete inputs and coils: one bit per word of the tag.
    if (m_registerType == DI || m_registerType == CO) {
        const int span = sizeRegisters();
        if (span == 0)
            return refuse(QCoreApplication::translate("Pointbook::Tag", "the tag spans no bits"));
        QVariantList items;
        if (span == 1)
            items << value;
        else if (!elementsOf(value, &items, &why))
            return refuse(why);
        if (items.size() != span)
            return refuse(QCoreApplication::translate("Pointbook::Tag", "%1 values given where the tag holds %2").arg(items.size()).arg(span));
        QVector<quint16> bits;
        bits.reserve(span);
        for (const QVariant &item : items) {
            Whole w;
            if (!wholeFromVariant(item, &w, &why))
                return refuse(why);
            if (w.negative || w.magnitude > 1)
                return refuse(QCoreApplication::translate("Pointbook::Tag", "a bit is 0 or 1 (off or on), not %1").arg(item.toString()));
            bits.append(quint16(w.magnitude));
        }
        return bits;
    }

    // A single 8-bit element sits in the high byte of its register and is
    // never reordered.
    if (width == 1 && count == 1) {
        quint64 bits = 0;
        if (!elementBits(m_dataType, value, &bits, &why))
            return refuse(why);
        return {quint16((bits & 0xFFu) << 8)};
    }
    if ((count * width) % 2 != 0)
        return refuse(QCoreApplication::translate("Pointbook::Tag", "the tag's last byte has no register of its own"));

    const OrderMap &map = orderMapOf(m_byteOrderInput, m_byteOrderOutput);
    // What value() gives back: per element map.length converted bytes.
    QByteArray converted;
    int convertedWidth = map.length;
    if (m_bitfield && count == 1) {
        quint64 mask = m_mask;
        if (width < 8)
            mask &= (quint64(1) << (8 * width)) - 1;
        if (mask == 0)
            return refuse(QCoreApplication::translate("Pointbook::Tag", "the bit field has no bits in its mask"));
        Whole w;
        if (!wholeFromVariant(value, &w, &why))
            return refuse(why);
        const bool single = (mask & (mask - 1)) == 0;
        const bool textual = value.type() == QVariant::Bool
            || ([&] { bool on; return booleanText(value.toString().trimmed(), &on); })();
        quint64 pattern = 0;
        if (w.negative)
            return refuse(QCoreApplication::translate("Pointbook::Tag", "a bit field holds no negative values"));
        if (textual || (single && w.magnitude <= 1))
            pattern = w.magnitude ? mask : 0;
        else if ((w.magnitude & ~mask) == 0)
            pattern = w.magnitude;
        else
            return refuse(QCoreApplication::translate("Pointbook::Tag", "%1 has bits outside the field's mask 0x%2")
                              .arg(w.magnitude)
                              .arg(QString::number(mask, 16).toUpper()));
        for (int b = 0; b < width; ++b)
            converted.append(char((pattern >> (8 * b)) & 0xFFu));
        convertedWidth = width;
    } else if (count == 1) {
        quint64 bits = 0;
        if (!elementBits(m_dataType, value, &bits, &why))
            return refuse(why);
        for (int b = 0; b < width; ++b)
            converted.append(char((bits >> (8 * b)) & 0xFFu));
        convertedWidth = width;
    } else if (value.type() == QVariant::ByteArray) {
        // The form value() gives for an array.
        converted = value.toByteArray();
        if (converted.size() != count * map.length)
            return refuse(QCoreApplication::translate("Pointbook::Tag", "%1 bytes given where the tag holds %2")
                              .arg(converted.size())
                              .arg(count * map.length));
    } else {
        QVariantList items;
        if (!elementsOf(value, &items, &why))
            return refuse(why);
        if (items.size() != count)
            return refuse(QCoreApplication::translate("Pointbook::Tag", "%1 values given where the tag holds %2").arg(items.size()).arg(count));
        if (map.length != width)
            return refuse(QCoreApplication::translate("Pointbook::Tag", "the tag's byte orders do not fit its data type"));
        for (const QVariant &item : items) {
            quint64 bits = 0;
            if (!elementBits(m_dataType, item, &bits, &why))
                return refuse(QCoreApplication::translate("Pointbook::Tag", "element %1: %2").arg(converted.size() / width + 1).arg(why));
            for (int b = 0; b < width; ++b)
                converted.append(char((bits >> (8 * b)) & 0xFFu));
        }
        convertedWidth = width;
    }

    // Put every converted byte back where the decoder takes it from.
    QByteArray raw(count * width, '\0');
    for (int element = 0; element < count; ++element) {
        for (int o = 0; o < map.length && o < convertedWidth; ++o) {
            const int i = map.source[o];
            const char byte = converted.at(element * convertedWidth + o);
            if (i < 0 || i >= width) {
                if (byte != '\0')
                    return refuse(QCoreApplication::translate("Pointbook::Tag", "the tag's byte orders cannot carry this value"));
                continue;
            }
            raw[element * width + i] = byte;
        }
    }
    QVector<quint16> words(raw.size() / 2);
    for (int k = 0; k < words.size(); ++k)
        words[k] = quint16((quint8(raw.at(2 * k)) << 8) | quint8(raw.at(2 * k + 1)));

    // Decode again: orders that drop or repeat a byte cannot carry every value.
    QByteArray check(count * map.length, '\0');
    convertWords(words, width, map, reinterpret_cast<uchar *>(check.data()), check.size());
    for (int element = 0; element < count; ++element) {
        const int n = std::min(convertedWidth, map.length);
        if (std::memcmp(check.constData() + element * map.length,
                        converted.constData() + element * convertedWidth, size_t(n)) != 0
            || (convertedWidth > map.length
                && converted.mid(element * convertedWidth + map.length,
                                 convertedWidth - map.length).count('\0') != convertedWidth - map.length))
            return refuse(QCoreApplication::translate("Pointbook::Tag", "the tag's byte orders cannot carry this value"));
    }
    return words;
}

} // namespace Pointbook

namespace Pointbook {

namespace {

// A number of a limit or an element, exactly: a whole number as sign and
// magnitude, or a double.
struct Exact {
    bool real = false;
    bool negative = false;
    quint64 magnitude = 0;
    double value = 0;
};

bool exactOf(const QVariant &v, Exact *e)
{
    if (integerOf(v, &e->negative, &e->magnitude))
        return true;
    switch (int(v.type())) {
    case QMetaType::Float:
    case QMetaType::Double:
        e->real = true;
        e->value = v.toDouble();
        return true;
    default:
        return false;
    }
}

int compareWhole(bool aNegative, quint64 a, bool bNegative, quint64 b)
{
    if (a == 0 && b == 0)
        return 0;
    if (aNegative != bNegative)
        return aNegative ? -1 : 1;
    const int c = a < b ? -1 : a > b ? 1 : 0;
    return aNegative ? -c : c;
}

// A whole number against a double, without rounding either.
int compareWholeReal(bool negative, quint64 magnitude, double d)
{
    if (std::isinf(d))
        return d > 0 ? -1 : 1;
    const double t = std::trunc(d);
    const double two64 = 18446744073709551616.0;
    if (t >= two64)
        return -1;
    if (t <= -two64)
        return 1;
    const int c = compareWhole(negative, magnitude, t < 0, quint64(std::fabs(t)));
    if (c != 0)
        return c;
    return d > t ? -1 : d < t ? 1 : 0;
}

// -1, 0 or 1; neither side is NaN.
int compareExact(const Exact &a, const Exact &b)
{
    if (a.real && b.real)
        return a.value < b.value ? -1 : a.value > b.value ? 1 : 0;
    if (!a.real && !b.real)
        return compareWhole(a.negative, a.magnitude, b.negative, b.magnitude);
    if (!a.real)
        return compareWholeReal(a.negative, a.magnitude, b.value);
    return -compareWholeReal(b.negative, b.magnitude, a.value);
}

float nearestFloat(const QVariant &limit)
{
    Exact e;
    if (!exactOf(limit, &e))
        return 0.0f;
    if (!e.real)
        return e.negative ? -float(e.magnitude) : float(e.magnitude);
    if (std::isfinite(e.value) && std::fabs(e.value) > double(std::numeric_limits<float>::max()))
        return e.value < 0 ? -std::numeric_limits<float>::infinity()
                           : std::numeric_limits<float>::infinity();
    return float(e.value);
}

} // namespace

Tag::WholeText Tag::wholeFromText(const QString &text, bool *negative, quint64 *magnitude)
{
    const QString t = text.trimmed();
    int i = 0;
    const int n = t.size();
    bool minus = false;
    if (i < n && (t.at(i) == QLatin1Char('-') || t.at(i) == QLatin1Char('+')))
        minus = t.at(i++) == QLatin1Char('-');
    // The significant digits, without leading zeros, and the power of ten
    // they are scaled by.
    QString digits;
    int scale = 0;
    int seen = 0;
    bool point = false;
    for (; i < n; ++i) {
        const QChar c = t.at(i);
        if (c.unicode() >= '0' && c.unicode() <= '9') {
            ++seen;
            if (!(digits.isEmpty() && c == QLatin1Char('0')))
                digits += c;
            if (point)
                --scale;
        } else if (c == QLatin1Char('.') && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (seen == 0)
        return NoNumber;
    if (i < n && (t.at(i) == QLatin1Char('e') || t.at(i) == QLatin1Char('E'))) {
        ++i;
        bool expMinus = false;
        if (i < n && (t.at(i) == QLatin1Char('-') || t.at(i) == QLatin1Char('+')))
            expMinus = t.at(i++) == QLatin1Char('-');
        int exponent = 0;
        int expDigits = 0;
        for (; i < n && t.at(i).unicode() >= '0' && t.at(i).unicode() <= '9'; ++i, ++expDigits)
            exponent = std::min(exponent * 10 + (t.at(i).unicode() - '0'), 100000);
        if (expDigits == 0)
            return NoNumber;
        scale += expMinus ? -exponent : exponent;
    }
    if (i != n)
        return NoNumber;
    *negative = minus;
    *magnitude = 0;
    if (digits.isEmpty())
        return WholeNumber; // zero, in any spelling
    while (digits.endsWith(QLatin1Char('0'))) {
        digits.chop(1);
        ++scale;
    }
    if (scale < 0)
        return Fraction;
    if (digits.size() + scale > 20)
        return BeyondWhole;
    quint64 value = 0;
    for (int k = 0; k < digits.size() + scale; ++k) {
        const quint64 digit = k < digits.size() ? quint64(digits.at(k).unicode() - '0') : 0;
        if (value > (std::numeric_limits<quint64>::max() - digit) / 10)
            return BeyondWhole;
        value = value * 10 + digit;
    }
    *magnitude = value;
    return WholeNumber;
}

QVariant Tag::limitFromText(DataType type, const QString &text, QString *error)
{
    const auto refuse = [error](const QString &reason) {
        if (error)
            *error = reason;
        return QVariant();
    };
    qint64 low = 0;
    quint64 high = 0;
    if (integerRange(type, &low, &high)) {
        bool negative = false;
        quint64 magnitude = 0;
        const WholeText kind = wholeFromText(text, &negative, &magnitude);
        if (kind == NoNumber)
            return refuse(QCoreApplication::translate("Pointbook::Tag", "\"%1\" is not a number").arg(text));
        if (kind == Fraction)
            return refuse(QCoreApplication::translate("Pointbook::Tag", "%1 is not a whole number").arg(text.trimmed()));
        const bool fits = kind == WholeNumber
                          && (negative ? low < 0 && magnitude <= quint64(0) - quint64(low) : magnitude <= high);
        if (!fits)
            return refuse(QCoreApplication::translate("Pointbook::Tag", "%1 is outside the range of %2 (%3 to %4)")
                              .arg(text.trimmed(), dataTypeToString(type))
                              .arg(low)
                              .arg(high));
        if (low < 0)
            return negative ? qlonglong(quint64(0) - magnitude) : qlonglong(magnitude);
        return qulonglong(magnitude);
    }
    if (type != Float && type != Double)
        return refuse(QCoreApplication::translate("Pointbook::Tag", "the tag has no data type that can be written"));
    bool ok = false;
    const double d = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok && std::isinf(d))
        return refuse(QCoreApplication::translate("Pointbook::Tag", "%1 is outside the range of a %2")
                          .arg(text.trimmed(), dataTypeToString(type)));
    if (!ok)
        return refuse(QCoreApplication::translate("Pointbook::Tag", "\"%1\" is not a number").arg(text));
    if (!std::isfinite(d))
        return refuse(QCoreApplication::translate("Pointbook::Tag", "%1 is not a finite number").arg(text.trimmed()));
    if (type == Double)
        return d;
    float f = 0;
    if (!floatOf(d, &f))
        return refuse(QCoreApplication::translate("Pointbook::Tag", "%1 is outside the range of a %2")
                          .arg(text.trimmed(), dataTypeToString(type)));
    return f;
}

void Tag::setLimits(const QVariant &lower, const QVariant &upper)
{
    m_lowerLimit = lower;
    m_upperLimit = upper;
    m_minValue = nearestFloat(lower);
    m_maxValue = nearestFloat(upper);
}

bool Tag::hasLimits() const
{
    if (m_registerType == DI || m_registerType == CO || m_bitfield || elementWidth(m_dataType) == 0)
        return false;
    Exact low;
    Exact high;
    if (!exactOf(m_lowerLimit, &low) || !exactOf(m_upperLimit, &high))
        return false;
    if ((low.real && std::isnan(low.value)) || (high.real && std::isnan(high.value)))
        return false;
    return compareExact(low, high) < 0;
}

QVariant Tag::outsideLimits(const QVariant &value) const
{
    if (!hasLimits() || !value.isValid())
        return QVariant();
    Exact low;
    Exact high;
    exactOf(m_lowerLimit, &low);
    exactOf(m_upperLimit, &high);
    const auto outside = [&](const QVariant &element) {
        Exact e;
        if (!exactOf(element, &e))
            return true;
        if (e.real && !std::isfinite(e.value))
            return true;
        return compareExact(e, low) < 0 || compareExact(e, high) > 0;
    };
    if (m_count > 1 || value.type() == QVariant::ByteArray) {
        const QByteArray bytes = value.toByteArray();
        const int width = elementWidth(m_dataType);
        for (int p = 0; width > 0 && p + width <= bytes.size(); p += width) {
            quint64 bits = 0;
            for (int b = 0; b < width; ++b)
                bits |= quint64(quint8(bytes.at(p + b))) << (8 * b);
            const QVariant element = elementFromBits(m_dataType, bits);
            if (outside(element))
                return element;
        }
        return QVariant();
    }
    return outside(value) ? value : QVariant();
}

QString Tag::numberText(const QVariant &number)
{
    const auto real = [](auto value) {
        if (std::isnan(value))
            return QStringLiteral("NaN");
        if (std::isinf(value))
            return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
        char buffer[64];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
        return QString::fromLatin1(buffer, int(result.ptr - buffer));
    };
    if (number.userType() == QMetaType::Float)
        return real(number.toFloat());
    if (number.userType() == QMetaType::Double)
        return real(number.toDouble());
    return number.toString();
}

} // namespace Pointbook
