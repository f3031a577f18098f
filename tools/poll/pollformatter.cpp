#include "pollformatter.h"

#include <pointbook/tag.h>

#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <charconv>
#include <cmath>

using Pointbook::Tag;

namespace Poll {

namespace {

// Decimals beyond this add nothing to a double but length.
const int MaxPrecision = 40;

template <typename Real>
QString formatReal(Real value, int precision, PollRecord::ValueKind *kind)
{
    if (std::isnan(value)) {
        *kind = PollRecord::Text;
        return QStringLiteral("nan");
    }
    if (std::isinf(value)) {
        *kind = PollRecord::Text;
        return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
    }
    *kind = PollRecord::Number;
    if (precision >= 0)
        return QString::number(double(value), 'f', std::min(precision, MaxPrecision));
    // No precision: the shortest text that reads back as the same value
    // of the tag's own width (a float is not widened into false digits).
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, int(result.ptr - buffer));
}

} // namespace

PollFormatter::PollFormatter(PollOptions::Format format, bool withTime)
    : m_format(format), m_withTime(withTime)
{
}

QString PollFormatter::formatRaw(const QVector<quint16> &words)
{
    QStringList parts;
    parts.reserve(words.size());
    for (quint16 word : words)
        parts << QStringLiteral("0x%1").arg(word, 4, 16, QLatin1Char('0'));
    return parts.join(' ');
}

QString PollFormatter::formatValue(const Tag &tag, PollRecord::ValueKind *kind)
{
    *kind = PollRecord::NoValue;
    const QVariant value = tag.value();
    if (!value.isValid())
        return QString();

    if (value.type() == QVariant::ByteArray) {
        // An array (count above 1): its bytes in the order the tag gives them.
        const QByteArray bytes = value.toByteArray();
        QStringList parts;
        for (char byte : bytes)
            parts << QStringLiteral("%1").arg(quint8(byte), 2, 16, QLatin1Char('0'));
        *kind = PollRecord::Text;
        return parts.join(' ');
    }

    switch (tag.dataType()) {
    case Tag::Float:
        return formatReal(value.value<float>(), tag.precision(), kind);
    case Tag::Double:
        return formatReal(value.toDouble(), tag.precision(), kind);
    case Tag::UInt8: case Tag::UInt16: case Tag::UInt32: case Tag::UInt64:
    case Tag::Int8: case Tag::Int16: case Tag::Int32: case Tag::Int64: {
        const bool isSigned = tag.dataType() == Tag::Int8 || tag.dataType() == Tag::Int16
                              || tag.dataType() == Tag::Int32 || tag.dataType() == Tag::Int64;
        *kind = PollRecord::Number;
        if (tag.bitfield() && tag.mask() != 0) {
            // A bit field is a flag: 1 when any of its bits is set, as the
            // window shows "on". The element's own bits only: a bit field
            // has no sign of its own.
            const int bits = Tag::elementWidth(tag.dataType()) * 8;
            quint64 pattern = isSigned ? quint64(value.toLongLong()) : value.toULongLong();
            if (bits < 64)
                pattern &= (quint64(1) << bits) - 1;
            return (pattern & tag.mask()) ? QStringLiteral("1") : QStringLiteral("0");
        }
        return isSigned ? QString::number(value.toLongLong()) : QString::number(value.toULongLong());
    }
    default:
        return QString();
    }
}

PollRecord PollFormatter::record(const Tag &tag, bool hasValue)
{
    PollRecord r;
    r.registerType = Tag::registerTypeToString(tag.registerType());
    r.id = tag.Id();
    r.name = tag.name();
    r.address = tag.startAddress();
    r.type = Tag::dataTypeToString(tag.dataType());
    r.unit = tag.unit();
    if (hasValue) {
        r.value = formatValue(tag, &r.kind);
        r.raw = formatRaw(tag.valueByteArray());
    }
    return r;
}

QString PollFormatter::csvField(const QString &field)
{
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"'))
        && !field.contains(QLatin1Char('\n')) && !field.contains(QLatin1Char('\r')))
        return field;
    QString quoted = field;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString PollFormatter::jsonString(const QString &text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('"');
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"': out += QLatin1String("\\\""); break;
        case '\\': out += QLatin1String("\\\\"); break;
        case '\b': out += QLatin1String("\\b"); break;
        case '\f': out += QLatin1String("\\f"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        case '\t': out += QLatin1String("\\t"); break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x2028 || c.unicode() == 0x2029)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += QLatin1Char('"');
    return out;
}

QStringList PollFormatter::columns()
{
    return {QStringLiteral("register"), QStringLiteral("id"), QStringLiteral("name"),
            QStringLiteral("address"), QStringLiteral("type"), QStringLiteral("value"),
            QStringLiteral("unit"), QStringLiteral("raw")};
}

QStringList PollFormatter::fields(const PollRecord &r) const
{
    return {r.registerType, r.id, r.name, QString::number(r.address), r.type, r.value, r.unit, r.raw};
}

QString PollFormatter::header() const
{
    if (m_format != PollOptions::Csv)
        return QString();
    QStringList names = columns();
    if (m_withTime)
        names.prepend(QStringLiteral("time"));
    return names.join(QLatin1Char(',')) + QLatin1Char('\n');
}

QString PollFormatter::pass(const QVector<PollRecord> &records, const QDateTime &time) const
{
    const QString stamp = time.toUTC().toString(Qt::ISODateWithMs);
    QString out;

    if (m_format == PollOptions::Csv) {
        for (const PollRecord &r : records) {
            QStringList line;
            if (m_withTime)
                line << stamp;
            for (const QString &field : fields(r))
                line << csvField(field);
            out += line.join(QLatin1Char(',')) + QLatin1Char('\n');
        }
        return out;
    }

    if (m_format == PollOptions::Json) {
        QStringList objects;
        for (const PollRecord &r : records) {
            QStringList members;
            if (m_withTime)
                members << QStringLiteral("\"time\":") + jsonString(stamp);
            QString value;
            switch (r.kind) {
            case PollRecord::NoValue: value = QStringLiteral("null"); break;
            case PollRecord::Number: value = r.value; break;
            case PollRecord::Text: value = jsonString(r.value); break;
            }
            members << QStringLiteral("\"register\":") + jsonString(r.registerType)
                    << QStringLiteral("\"id\":") + jsonString(r.id)
                    << QStringLiteral("\"name\":") + jsonString(r.name)
                    << QStringLiteral("\"address\":") + QString::number(r.address)
                    << QStringLiteral("\"type\":") + jsonString(r.type)
                    << QStringLiteral("\"value\":") + value
                    << QStringLiteral("\"unit\":") + jsonString(r.unit)
                    << QStringLiteral("\"raw\":") + jsonString(r.raw);
            objects << QLatin1Char('{') + members.join(QLatin1Char(',')) + QLatin1Char('}');
        }
        return QLatin1Char('[') + objects.join(QLatin1Char(',')) + QStringLiteral("]\n");
    }

    // Table: aligned columns for a reader; line breaks inside a text would
    // tear the layout, so they are shown as blanks.
    QVector<QStringList> rows;
    QStringList head = columns();
    if (m_withTime)
        head.prepend(QStringLiteral("time"));
    rows << head;
    for (const PollRecord &r : records) {
        QStringList row = fields(r);
        for (QString &cell : row) {
            cell.replace(QLatin1Char('\r'), QLatin1Char(' '));
            cell.replace(QLatin1Char('\n'), QLatin1Char(' '));
        }
        if (m_withTime)
            row.prepend(stamp);
        rows << row;
    }
    QVector<int> widths(head.size(), 0);
    for (const QStringList &row : qAsConst(rows)) {
        for (int i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], int(row.at(i).size()));
    }
    for (const QStringList &row : qAsConst(rows)) {
        QString line;
        for (int i = 0; i < row.size(); ++i) {
            if (i + 1 < row.size())
                line += row.at(i).leftJustified(widths[i]) + QStringLiteral("  ");
            else
                line += row.at(i);
        }
        out += line.trimmed().isEmpty() ? QString() : line;
        while (out.endsWith(QLatin1Char(' ')))
            out.chop(1);
        out += QLatin1Char('\n');
    }
    return out;
}

} // namespace Poll
