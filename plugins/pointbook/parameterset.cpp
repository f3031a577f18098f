#include "parameterset.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QSaveFile>
#include <QHash>
#include <QPair>
#include <QSet>

#include <cctype>
#include <cmath>

namespace Pointbook {

namespace {

// A parameter file is a few kilobytes; anything far larger is not one.
const qint64 MaxFileSize = 16 * 1024 * 1024;
// Whole numbers up to this magnitude survive a JSON number (a double).
const double ExactLimit = 9007199254740992.0; // 2^53

// The shortest text that reads back as the same double (or float).
QString shortest(double value, bool single = false)
{
    for (int digits = 1; digits <= 17; ++digits) {
        const QString text = QString::number(value, 'g', digits);
        if (single ? float(text.toDouble()) == float(value) : text.toDouble() == value) {
            // 1e+02 reads worse than 100.
            if (text.contains(QLatin1Char('e')) && std::fabs(value) >= 1 && std::fabs(value) < 1e15)
                return QString::number(value, 'f', 0);
            return text;
        }
    }
    return QString::number(value, 'g', 17);
}

bool isWholeText(const QString &text)
{
    if (text.isEmpty() || text.size() > 21)
        return false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!(c.isDigit() || (i == 0 && c == QLatin1Char('-') && text.size() > 1)))
            return false;
    }
    return true;
}

// Checks one element of an entry's value against its declared type.
QString elementProblem(const QString &type, const QJsonValue &v)
{
    if (type == QLatin1String("bool"))
        return v.isBool() ? QString() : ParameterSet::tr("a value of type bool must be true or false");
    const Tag::DataType dataType = Tag::stringToDataType(type);
    const bool wide = dataType == Tag::UInt64 || dataType == Tag::Int64;
    if (wide && v.isString() && isWholeText(v.toString()))
        return QString(); // beyond 2^53 a 64-bit value is kept as its digits
    if ((dataType == Tag::Float || dataType == Tag::Double) && v.isString()) {
        // Negative zero, which no JSON number keeps, is kept as its text.
        bool ok = false;
        const double d = QLocale::c().toDouble(v.toString(), &ok);
        if (ok && std::isfinite(d))
            return QString();
        return ParameterSet::tr("a value of type %1 must be a number").arg(type);
    }
    if (!v.isDouble())
        return ParameterSet::tr("a value of type %1 must be a number").arg(type);
    const double d = v.toDouble();
    if (!std::isfinite(d))
        return ParameterSet::tr("the value is not a finite number");
    if (dataType != Tag::Float && dataType != Tag::Double && std::floor(d) != d)
        return ParameterSet::tr("a value of type %1 must be a whole number, not %2").arg(type, shortest(d));
    return QString();
}

bool knownType(const QString &type)
{
    if (type == QLatin1String("bool"))
        return true;
    const Tag::DataType t = Tag::stringToDataType(type);
    return t != Tag::UnknownType && Tag::dataTypeToString(t) == type;
}

QJsonValue wholeJson(quint64 magnitude, bool negative)
{
    // Compared as integers: 2^53 + 1 as a double is 2^53, within the limit.
    if (magnitude <= (quint64(1) << 53))
        return negative ? -double(magnitude) : double(magnitude);
    return (negative ? QStringLiteral("-") : QString()) + QString::number(magnitude);
}

QJsonValue elementJson(Tag::DataType type, const QVariant &v, QString *error)
{
    switch (type) {
    case Tag::Float:
    case Tag::Double: {
        const double d = type == Tag::Float ? double(v.toFloat()) : v.toDouble();
        if (!std::isfinite(d)) {
            if (error)
                *error = ParameterSet::tr("the device holds %1, which a parameter file cannot hold")
                             .arg(std::isnan(d) ? QStringLiteral("NaN") : QStringLiteral("infinity"));
            return QJsonValue(QJsonValue::Undefined);
        }
        // A JSON number has no negative zero (it is read and written as 0):
        // it is kept as its text.
        if (d == 0 && std::signbit(d))
            return QStringLiteral("-0");
        // The shortest text that gives the same float, so that 0.1 stays 0.1.
        return type == Tag::Float ? shortest(d, true).toDouble() : d;
    }
    case Tag::UInt64:
        return wholeJson(v.toULongLong(), false);
    case Tag::Int64: {
        const qint64 n = v.toLongLong();
        return wholeJson(n < 0 ? quint64(0) - quint64(n) : quint64(n), n < 0);
    }
    default:
        return double(v.toLongLong());
    }
}

// The number literals of the entries' values as the file writes them, by
// entry and element (-1 for a single value): Qt's parser keeps only their
// doubles, in which 9007199254740993 and -0.0 are already lost. The text
// is valid JSON when this runs.
QHash<QPair<int, int>, QString> valueLiterals(const QByteArray &json)
{
    struct Frame {
        bool object = false;
        bool expectKey = false;
        QString key;
        int index = 0;
    };
    QHash<QPair<int, int>, QString> literals;
    QVector<Frame> stack;
    const int n = json.size();
    for (int i = 0; i < n;) {
        const char c = json.at(i);
        if (c == '{' || c == '[') {
            Frame f;
            f.object = c == '{';
            f.expectKey = f.object;
            stack.append(f);
            ++i;
        } else if (c == '}' || c == ']') {
            if (!stack.isEmpty())
                stack.removeLast();
            ++i;
        } else if (c == ',') {
            if (!stack.isEmpty()) {
                if (stack.last().object)
                    stack.last().expectKey = true;
                else
                    ++stack.last().index;
            }
            ++i;
        } else if (c == ':') {
            if (!stack.isEmpty())
                stack.last().expectKey = false;
            ++i;
        } else if (c == '"') {
            int end = i + 1;
            while (end < n && json.at(end) != '"')
                end += json.at(end) == '\\' ? 2 : 1;
            if (!stack.isEmpty() && stack.last().object && stack.last().expectKey) {
                const QByteArray raw = json.mid(i, end + 1 - i);
                stack.last().key = raw.contains('\\')
                    ? QJsonDocument::fromJson('[' + raw + ']').array().at(0).toString()
                    : QString::fromUtf8(raw.mid(1, raw.size() - 2));
            }
            i = end + 1;
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            int end = i;
            while (end < n && (std::isdigit(uchar(json.at(end))) || json.at(end) == '-' || json.at(end) == '+'
                               || json.at(end) == '.' || json.at(end) == 'e' || json.at(end) == 'E'))
                ++end;
            const bool inEntry = stack.size() >= 3 && stack.at(0).object
                                 && stack.at(0).key == QLatin1String("parameters") && !stack.at(1).object
                                 && stack.at(2).object && stack.at(2).key == QLatin1String("value");
            if (inEntry && stack.size() == 3)
                literals.insert(qMakePair(stack.at(1).index, -1), QString::fromLatin1(json.mid(i, end - i)));
            else if (inEntry && stack.size() == 4 && !stack.at(3).object)
                literals.insert(qMakePair(stack.at(1).index, stack.at(3).index),
                                QString::fromLatin1(json.mid(i, end - i)));
            i = end;
        } else {
            ++i;
        }
    }
    return literals;
}

// Why a number literal is not the value its double holds, for a type that
// must be kept exactly; empty when it is.
QString inexactProblem(const QString &type, const QString &literal, double d)
{
    const Tag::DataType dataType = Tag::stringToDataType(type);
    qint64 low = 0;
    quint64 high = 0;
    if (!Tag::integerRange(dataType, &low, &high))
        return QString();
    bool negative = false;
    quint64 magnitude = 0;
    const Tag::WholeText kind = Tag::wholeFromText(literal, &negative, &magnitude);
    if (kind == Tag::Fraction)
        return ParameterSet::tr("a value of type %1 must be a whole number, not %2").arg(type, literal);
    const bool exact = kind == Tag::WholeNumber && std::fabs(d) < 18446744073709551616.0
                       && quint64(std::fabs(d)) == magnitude && (magnitude == 0 || negative == (d < 0));
    if (exact)
        return QString();
    if (dataType == Tag::UInt64 || dataType == Tag::Int64)
        return ParameterSet::tr("%1 is more than a JSON number holds exactly; write it as the text \"%1\"")
            .arg(literal);
    return ParameterSet::tr("%1 is outside the range of %2").arg(literal, type);
}

} // namespace

bool ParameterSet::isParameter(const Tag *tag)
{
    if (!tag || (tag->registerType() != Tag::HR && tag->registerType() != Tag::CO))
        return false;
    if (Tag::stringToTypeAccess(tag->access()) != Tag::ReadWrite)
        return false;
    return Tag::stringToTypeTag(tag->typeTag()) != Tag::Command;
}

QString ParameterSet::typeName(const Tag *tag)
{
    if (tag->registerType() == Tag::CO || tag->registerType() == Tag::DI)
        return QStringLiteral("bool");
    if (tag->bitfield() && tag->count() == 1 && tag->mask() != 0 && (tag->mask() & (tag->mask() - 1)) == 0)
        return QStringLiteral("bool");
    return Tag::dataTypeToString(tag->dataType());
}

QJsonValue ParameterSet::jsonValue(const Tag *tag, const QVector<quint16> &words, QString *error)
{
    if (error)
        error->clear();
    if (!tag || words.isEmpty()) {
        if (error)
            *error = tr("no value was read");
        return QJsonValue(QJsonValue::Undefined);
    }
    if (tag->registerType() == Tag::CO || tag->registerType() == Tag::DI) {
        if (words.size() == 1)
            return words.at(0) != 0;
        QJsonArray bits;
        for (const quint16 w : words)
            bits.append(w != 0);
        return bits;
    }
    Tag probe(tag->registerType(), tag->dataType(), tag->byteOrderInput(), tag->byteOrderOutput(),
              0, QString(), QString(), QString());
    probe.setCount(tag->count());
    probe.setBitfield(tag->bitfield());
    probe.setMask(tag->mask());
    probe.setRawData(words);
    const QVariant value = probe.value();
    if (!value.isValid()) {
        if (error)
            *error = tr("the words do not decode");
        return QJsonValue(QJsonValue::Undefined);
    }
    const int width = Tag::elementWidth(tag->dataType());
    if (tag->count() > 1) {
        const QByteArray bytes = value.toByteArray();
        QJsonArray elements;
        for (int p = 0; width > 0 && p + width <= bytes.size() && elements.size() < tag->count(); p += width) {
            quint64 bits = 0;
            for (int b = 0; b < width; ++b)
                bits |= quint64(quint8(bytes.at(p + b))) << (8 * b);
            const QJsonValue e = elementJson(tag->dataType(), Tag::elementFromBits(tag->dataType(), bits), error);
            if (e.isUndefined())
                return e;
            elements.append(e);
        }
        return elements;
    }
    if (tag->bitfield()) {
        quint64 mask = tag->mask();
        if (width > 0 && width < 8)
            mask &= (quint64(1) << (8 * width)) - 1;
        const quint64 pattern = value.toULongLong() & mask;
        if (typeName(tag) == QLatin1String("bool"))
            return pattern != 0;
        return wholeJson(pattern, false);
    }
    return elementJson(tag->dataType(), value, error);
}

QVariant ParameterSet::writeValue(const QJsonValue &value)
{
    if (value.isArray()) {
        QVariantList list;
        for (const QJsonValue &v : value.toArray())
            list << writeValue(v);
        return list;
    }
    if (value.isBool())
        return value.toBool() ? 1 : 0;
    if (value.isString())
        return value.toString();
    if (value.isDouble()) {
        const double d = value.toDouble();
        if (std::floor(d) == d && std::fabs(d) <= ExactLimit)
            return qint64(d);
        return d;
    }
    return QVariant();
}

QString ParameterSet::valueText(const QJsonValue &value)
{
    if (value.isArray()) {
        QStringList parts;
        for (const QJsonValue &v : value.toArray())
            parts << valueText(v);
        return QLatin1Char('[') + parts.join(QLatin1String(", ")) + QLatin1Char(']');
    }
    if (value.isBool())
        return value.toBool() ? tr("on") : tr("off");
    if (value.isDouble())
        return shortest(value.toDouble());
    if (value.isString())
        return value.toString();
    return QString();
}

ParameterSet::Entry ParameterSet::entryFor(const Tag *tag, const QJsonValue &value)
{
    Entry e;
    e.registerType = tag->registerType();
    e.id = tag->Id();
    e.name = tag->name();
    e.unit = tag->unit();
    e.type = typeName(tag);
    e.value = value;
    return e;
}

int ParameterSet::indexOf(const QString &id) const
{
    for (int i = 0; i < parameters.size(); ++i) {
        if (parameters.at(i).id == id)
            return i;
    }
    return -1;
}

QByteArray ParameterSet::toJson() const
{
    QJsonObject root;
    root.insert(QStringLiteral("format"), int(Format));
    root.insert(QStringLiteral("device_version"), deviceVersion);
    root.insert(QStringLiteral("serial"), serial);
    root.insert(QStringLiteral("saved_utc"), savedUtc);
    root.insert(QStringLiteral("saved_by_level"), savedByLevel);
    QJsonArray list;
    for (const Entry &e : parameters) {
        QJsonObject o;
        o.insert(QStringLiteral("register_type"), Tag::registerTypeToString(e.registerType).toUpper());
        o.insert(QStringLiteral("id"), e.id);
        o.insert(QStringLiteral("name"), e.name);
        o.insert(QStringLiteral("unit"), e.unit);
        o.insert(QStringLiteral("type"), e.type);
        o.insert(QStringLiteral("value"), e.value);
        list.append(o);
    }
    root.insert(QStringLiteral("parameters"), list);
    if (!applyOrder.isEmpty())
        root.insert(QStringLiteral("apply_order"), QJsonArray::fromStringList(applyOrder));
    if (!missing.isEmpty())
        root.insert(QStringLiteral("missing"), QJsonArray::fromStringList(missing));
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool ParameterSet::fromJson(const QByteArray &json, ParameterSet *set, QString *error)
{
    const auto fail = [error](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError) {
        const int line = json.left(parse.offset).count('\n') + 1;
        return fail(tr("The file is not valid JSON (line %1): %2").arg(line).arg(parse.errorString()));
    }
    if (!doc.isObject())
        return fail(tr("The file holds no JSON object."));
    const QJsonObject root = doc.object();

    static const QStringList topKeys{"format", "device_version", "serial", "saved_utc", "saved_by_level",
                                     "parameters", "apply_order", "missing"};
    for (const QString &key : root.keys()) {
        if (!topKeys.contains(key))
            return fail(tr("Unknown field \"%1\" in the file.").arg(key));
    }
    if (!root.contains(QStringLiteral("format")))
        return fail(tr("The field \"format\" is missing: this is not a parameter file."));
    const QJsonValue format = root.value(QStringLiteral("format"));
    if (!format.isDouble() || format.toDouble() != double(Format))
        return fail(tr("Unknown file format %1; this program reads format %2.")
                        .arg(QString::fromUtf8(QJsonDocument(QJsonArray{format}).toJson(QJsonDocument::Compact)).mid(1).chopped(1))
                        .arg(int(Format)));

    ParameterSet result;
    const struct {
        const char *key;
        QString *target;
    } texts[] = {{"device_version", &result.deviceVersion}, {"serial", &result.serial},
                 {"saved_utc", &result.savedUtc}, {"saved_by_level", &result.savedByLevel}};
    for (const auto &t : texts) {
        const QJsonValue v = root.value(QLatin1String(t.key));
        if (v.isUndefined())
            return fail(tr("The field \"%1\" is missing.").arg(QLatin1String(t.key)));
        if (!v.isString())
            return fail(tr("The field \"%1\" must be text.").arg(QLatin1String(t.key)));
        *t.target = v.toString();
    }
    const QJsonValue params = root.value(QStringLiteral("parameters"));
    if (params.isUndefined())
        return fail(tr("The field \"parameters\" is missing."));
    if (!params.isArray())
        return fail(tr("The field \"parameters\" must be a list."));

    static const QStringList entryKeys{"register_type", "id", "name", "unit", "type", "value"};
    const QHash<QPair<int, int>, QString> literals = valueLiterals(json);
    // The number as written: an integer type refuses one that its double
    // does not hold exactly; a real type keeps a negative zero as "-0".
    const auto literalProblem = [&literals](const QString &type, int entry, int element, QJsonValue *v) {
        const QString literal = literals.value(qMakePair(entry, element));
        if (!v->isDouble() || literal.isEmpty())
            return QString();
        if ((type == QLatin1String("float") || type == QLatin1String("double")) && v->toDouble() == 0
            && literal.startsWith(QLatin1Char('-'))) {
            *v = QStringLiteral("-0");
            return QString();
        }
        return inexactProblem(type, literal, v->toDouble());
    };
    QSet<QString> ids;
    const QJsonArray list = params.toArray();
    for (int i = 0; i < list.size(); ++i) {
        const QString where = tr("Entry %1").arg(i + 1);
        if (!list.at(i).isObject())
            return fail(tr("%1 is not an object.").arg(where));
        const QJsonObject o = list.at(i).toObject();
        const QString id = o.value(QStringLiteral("id")).toString();
        const QString named = id.isEmpty() ? where : tr("%1 (%2)").arg(where, id);
        for (const QString &key : o.keys()) {
            if (!entryKeys.contains(key))
                return fail(tr("%1: unknown field \"%2\".").arg(named, key));
        }
        for (const QString &key : entryKeys) {
            if (!o.contains(key))
                return fail(tr("%1: the field \"%2\" is missing.").arg(named, key));
            if (key != QLatin1String("value") && !o.value(key).isString())
                return fail(tr("%1: the field \"%2\" must be text.").arg(named, key));
        }
        if (id.isEmpty())
            return fail(tr("%1: the id is empty.").arg(where));
        if (ids.contains(id))
            return fail(tr("%1: the id \"%2\" appears twice.").arg(named, id));
        ids.insert(id);

        Entry e;
        const QString table = o.value(QStringLiteral("register_type")).toString();
        e.registerType = Tag::stringToRegisterType(table);
        if (e.registerType != Tag::HR && e.registerType != Tag::CO)
            return fail(tr("%1: register_type must be HR or CO, not \"%2\".").arg(named, table));
        e.id = id;
        e.name = o.value(QStringLiteral("name")).toString();
        e.unit = o.value(QStringLiteral("unit")).toString();
        e.type = o.value(QStringLiteral("type")).toString();
        if (!knownType(e.type))
            return fail(tr("%1: unknown type \"%2\".").arg(named, e.type));
        if (e.registerType == Tag::CO && e.type != QLatin1String("bool"))
            return fail(tr("%1: a coil has type bool, not \"%2\".").arg(named, e.type));
        e.value = o.value(QStringLiteral("value"));
        if (e.value.isArray()) {
            QJsonArray elements = e.value.toArray();
            if (elements.isEmpty())
                return fail(tr("%1: the list of values is empty.").arg(named));
            for (int k = 0; k < elements.size(); ++k) {
                QString problem = elementProblem(e.type, elements.at(k));
                if (problem.isEmpty()) {
                    QJsonValue element = elements.at(k);
                    problem = literalProblem(e.type, i, k, &element);
                    elements[k] = element;
                }
                if (!problem.isEmpty())
                    return fail(tr("%1: element %2: %3.").arg(named).arg(k + 1).arg(problem));
            }
            e.value = elements;
        } else {
            QString problem = elementProblem(e.type, e.value);
            if (problem.isEmpty())
                problem = literalProblem(e.type, i, -1, &e.value);
            if (!problem.isEmpty())
                return fail(tr("%1: %2.").arg(named, problem));
        }
        result.parameters.append(e);
    }

    const auto idList = [&](const char *key, QStringList *target, bool mustName) {
        const QJsonValue v = root.value(QLatin1String(key));
        if (v.isUndefined())
            return true;
        if (!v.isArray())
            return fail(tr("The field \"%1\" must be a list of ids.").arg(QLatin1String(key)));
        QSet<QString> seen;
        for (const QJsonValue &item : v.toArray()) {
            if (!item.isString() || item.toString().isEmpty())
                return fail(tr("The field \"%1\" must be a list of ids.").arg(QLatin1String(key)));
            const QString id = item.toString();
            if (seen.contains(id))
                return fail(tr("%1: the id \"%2\" appears twice.").arg(QLatin1String(key), id));
            if (mustName && !ids.contains(id))
                return fail(tr("%1: \"%2\" is not an entry of the file.").arg(QLatin1String(key), id));
            seen.insert(id);
            target->append(id);
        }
        return true;
    };
    if (!idList("apply_order", &result.applyOrder, true) || !idList("missing", &result.missing, false))
        return false;

    *set = result;
    return true;
}

bool ParameterSet::load(const QString &fileName, ParameterSet *set, QString *error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = tr("Cannot open \"%1\": %2").arg(QFileInfo(fileName).fileName(), file.errorString());
        return false;
    }
    if (file.size() > MaxFileSize) {
        if (error)
            *error = tr("\"%1\" is too large for a parameter file.").arg(QFileInfo(fileName).fileName());
        return false;
    }
    return fromJson(file.readAll(), set, error);
}

bool ParameterSet::save(const QString &fileName, QString *error) const
{
    // Written beside and renamed: an interrupted save leaves the old file.
    QSaveFile file(fileName);
    const QByteArray data = toJson();
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        if (error)
            *error = tr("Cannot write \"%1\": %2").arg(QFileInfo(fileName).fileName(), file.errorString());
        return false;
    }
    return true;
}

} // namespace Pointbook
