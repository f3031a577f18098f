#include "tagformatter.h"

#include <QCoreApplication>
#include <QStringList>

#include <cmath>
#include <cstring>

using Pointbook::Tag;

namespace Workspace {

namespace {

// One element of a reordered multi-element value; the tag's own decoding
// reads the reordered bytes least significant first, and so does this.
double decodeElement(const char *bytes, Tag::DataType type)
{
    quint64 bits = 0;
    const int width = Tag::elementWidth(type);
    for (int i = width - 1; i >= 0; --i)
        bits = (bits << 8) | quint8(bytes[i]);
    switch (type) {
    case Tag::UInt8:
        return double(quint8(bits));
    case Tag::Int8:
        return double(qint8(quint8(bits)));
    case Tag::UInt16:
        return double(quint16(bits));
    case Tag::Int16:
        return double(qint16(quint16(bits)));
    case Tag::UInt32:
        return double(quint32(bits));
    case Tag::Int32:
        return double(qint32(quint32(bits)));
    case Tag::UInt64:
        return double(bits);
    case Tag::Int64:
        return double(qint64(bits));
    case Tag::Float: {
        const quint32 b32 = quint32(bits);
        float f;
        std::memcpy(&f, &b32, sizeof f);
        return double(f);
    }
    case Tag::Double: {
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    default:
        return 0.0;
    }
}

bool isFloating(Tag::DataType type)
{
    return type == Tag::Float || type == Tag::Double;
}

} // namespace

QVector<double> TagFormatter::numericValues(const Tag *tag)
{
    QVector<double> result;
    if (!tag)
        return result;
    const QVariant value = tag->value();
    if (!value.isValid())
        return result;
    if (tag->count() > 1) {
        const QByteArray bytes = value.toByteArray();
        const int width = Tag::elementWidth(tag->dataType());
        if (width == 0)
            return result;
        for (int p = 0; p + width <= bytes.size(); p += width)
            result.append(decodeElement(bytes.constData() + p, tag->dataType()));
        return result;
    }
    double scalar = 0;
    if (scalarValue(tag, &scalar))
        result.append(scalar);
    return result;
}

bool TagFormatter::scalarValue(const Tag *tag, double *value)
{
    if (!tag || tag->count() > 1 || Tag::elementWidth(tag->dataType()) == 0)
        return false;
    if (tag->bitfield()) {
        // The field, not the register it lies in: 0 or 1 for one bit (as the
        // table's "off"/"on"), the masked bits in place for a wider field (as
        // it is edited and written). Only the element's own bits count: a
        // bit field has no sign.
        const QVariant v = tag->value();
        if (!v.isValid())
            return false;
        const int bits = Tag::elementWidth(tag->dataType()) * 8;
        quint64 pattern = 0;
        if (tag->dataType() == Tag::UInt64) {
            pattern = v.toULongLong();
        } else if (tag->dataType() == Tag::Float) {
            const float f = v.toFloat();
            quint32 b32 = 0;
            std::memcpy(&b32, &f, sizeof b32);
            pattern = b32;
        } else if (tag->dataType() == Tag::Double) {
            const double d = v.toDouble();
            std::memcpy(&pattern, &d, sizeof pattern);
        } else {
            pattern = quint64(v.toLongLong());
        }
        if (bits < 64)
            pattern &= (quint64(1) << bits) - 1;
        const quint64 mask = tag->mask() ? tag->mask() : 1;
        const quint64 field = pattern & mask;
        *value = (mask & (mask - 1)) == 0 ? (field ? 1.0 : 0.0) : double(field);
        return true;
    }
    if (tag->enableDamping()) {
        if (!tag->value().isValid())
            return false;
        *value = tag->dampedValue();
        return true;
    }
    const QVariant v = tag->value();
    if (!v.isValid())
        return false;
    if (tag->dataType() == Tag::UInt64)
        *value = double(v.toULongLong());
    else if (tag->dataType() == Tag::Int64)
        *value = double(v.toLongLong());
    else
        *value = v.toDouble();
    return true;
}

QString TagFormatter::numberText(double value, Tag::DataType type, int precision)
{
    if (isFloating(type)) {
        if (precision < 0)
            return QString::number(value, 'g', 7);
        return QString::number(value, 'f', qMin(precision, 15));
    }
    return QString::number(value, 'f', 0);
}

QString TagFormatter::valueText(const Tag *tag)
{
    if (!tag)
        return QString();
    if (tag->bitfield()) {
        const QVariant value = tag->value();
        if (!value.isValid())
            return QString();
        const quint64 raw = value.toULongLong();
        const quint64 mask = tag->mask() ? tag->mask() : 1;
        return (raw & mask) ? QCoreApplication::translate("Workspace::TagFormatter", "on") : QCoreApplication::translate("Workspace::TagFormatter", "off");
    }
    if (tag->registerType() == Tag::DI || tag->registerType() == Tag::CO) {
        // A discrete input or coil is a switch like a bit field: one word of
        // 0 or 1 per bit.
        const QVector<quint16> bits = tag->valueByteArray();
        if (bits.isEmpty())
            return QString();
        QStringList parts;
        for (const quint16 bit : bits)
            parts.append(bit ? QCoreApplication::translate("Workspace::TagFormatter", "on") : QCoreApplication::translate("Workspace::TagFormatter", "off"));
        return bits.size() > 1 ? QLatin1Char('[') + parts.join(QLatin1String(", ")) + QLatin1Char(']')
                               : parts.constFirst();
    }
    const QVector<double> values = numericValues(tag);
    if (values.isEmpty())
        return QString();
    QStringList parts;
    parts.reserve(values.size());
    for (const double v : values)
        parts.append(numberText(v, tag->dataType(), tag->precision()));
    QString text = tag->count() > 1 ? QLatin1Char('[') + parts.join(QLatin1String(", ")) + QLatin1Char(']')
                                    : parts.constFirst();
    if (!tag->unit().isEmpty())
        text += QLatin1Char(' ') + tag->unit();
    return text;
}

QString TagFormatter::rawText(const Tag *tag)
{
    if (!tag)
        return QString();
    QStringList words;
    const QVector<quint16> raw = tag->valueByteArray();
    words.reserve(raw.size());
    for (const quint16 w : raw)
        words.append(QLatin1String("0x") + QString::number(w, 16).rightJustified(4, QLatin1Char('0')).toUpper());
    return words.join(QLatin1Char(' '));
}

int TagFormatter::lowestBit(quint64 mask)
{
    if (mask == 0)
        return -1;
    int bit = 0;
    while (!(mask & 1)) {
        mask >>= 1;
        ++bit;
    }
    return bit;
}

QString TagFormatter::addressText(const Tag *tag)
{
    if (!tag)
        return QString();
    QString text = QString::number(tag->startAddress());
    if (tag->bitfield() && tag->mask() != 0)
        text += QLatin1Char('.') + QString::number(lowestBit(tag->mask()));
    return text;
}

QString TagFormatter::dataTypeText(const Tag *tag)
{
    if (!tag)
        return QString();
    QString text = Tag::dataTypeToString(tag->dataType());
    if (tag->bitfield())
        text = QCoreApplication::translate("Workspace::TagFormatter", "bit of %1").arg(text);
    if (tag->count() > 1)
        text += QStringLiteral("[%1]").arg(tag->count());
    return text;
}

QString TagFormatter::accessText(const Tag *tag, bool writableAtLevel)
{
    if (!tag)
        return QString();
    switch (Tag::stringToTypeAccess(tag->access())) {
    case Tag::Read:
        return QCoreApplication::translate("Workspace::TagFormatter", "read");
    case Tag::Write:
        return writableAtLevel ? QCoreApplication::translate("Workspace::TagFormatter", "write") : QCoreApplication::translate("Workspace::TagFormatter", "write (locked)");
    case Tag::ReadWrite:
        return writableAtLevel ? QCoreApplication::translate("Workspace::TagFormatter", "read/write") : QCoreApplication::translate("Workspace::TagFormatter", "read (locked)");
    default:
        return tag->access();
    }
}

bool TagFormatter::isOutOfRange(const Tag *tag)
{
    if (!tag || !tag->hasLimits())
        return false;
    // Compared at the tag's own type, the damped value as it is shown.
    if (tag->count() <= 1 && tag->enableDamping()) {
        double damped = 0;
        return scalarValue(tag, &damped) && tag->outsideLimits(damped).isValid();
    }
    return tag->outsideLimits(tag->value()).isValid();
}

QString TagFormatter::registerTypeName(Tag::RegisterType type)
{
    switch (type) {
    case Tag::IR:
        return QCoreApplication::translate("Workspace::TagFormatter", "Input registers");
    case Tag::HR:
        return QCoreApplication::translate("Workspace::TagFormatter", "Holding registers");
    case Tag::DI:
        return QCoreApplication::translate("Workspace::TagFormatter", "Discrete inputs");
    case Tag::CO:
        return QCoreApplication::translate("Workspace::TagFormatter", "Coils");
    default:
        return QCoreApplication::translate("Workspace::TagFormatter", "Unknown table");
    }
}

QString TagFormatter::tagKindName(Tag::TypeTag kind)
{
    switch (kind) {
    case Tag::Status:
        return QCoreApplication::translate("Workspace::TagFormatter", "Status");
    case Tag::Parameter:
        return QCoreApplication::translate("Workspace::TagFormatter", "Parameters");
    case Tag::Dimension:
        return QCoreApplication::translate("Workspace::TagFormatter", "Dimensions");
    case Tag::Command:
        return QCoreApplication::translate("Workspace::TagFormatter", "Commands");
    default:
        return QCoreApplication::translate("Workspace::TagFormatter", "Other");
    }
}

} // namespace Workspace
