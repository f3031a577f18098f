#include "settingscodec.h"

#include <QDataStream>
#include <QDateTime>
#include <QMetaType>
#include <QTimeZone>

#include <algorithm>

namespace Core {
namespace Internal {

namespace {

constexpr QDataStream::Version StreamVersion = QDataStream::Qt_5_15;

// Types whose own reader allocates no more than the bytes present (strings
// and byte arrays are read in bounded steps) and does not nest.
bool isBoundedLeaf(int type)
{
    switch (type) {
    case QMetaType::Bool: case QMetaType::Int: case QMetaType::UInt:
    case QMetaType::LongLong: case QMetaType::ULongLong: case QMetaType::Double:
    case QMetaType::Float: case QMetaType::Long: case QMetaType::ULong:
    case QMetaType::Short: case QMetaType::UShort: case QMetaType::Char:
    case QMetaType::SChar: case QMetaType::UChar: case QMetaType::QChar:
    case QMetaType::QString: case QMetaType::QByteArray: case QMetaType::QBitArray:
    case QMetaType::QDate: case QMetaType::QTime: case QMetaType::QDateTime:
    case QMetaType::QUrl: case QMetaType::QUuid: case QMetaType::QLocale:
    case QMetaType::QRegularExpression:
    case QMetaType::QPoint: case QMetaType::QPointF: case QMetaType::QSize:
    case QMetaType::QSizeF: case QMetaType::QRect: case QMetaType::QRectF:
    case QMetaType::QLine: case QMetaType::QLineF:
    case QMetaType::QColor:
        return QMetaType::isRegistered(type);
    default:
        return false;
    }
}

// Qt writes a date and time in a time zone by asking the zone for its
// data, which an unknown zone does not have: the write crashes. Reading
// yields such values (any zone name is read), so they are refused both
// ways.
bool writableDateTime(const QDateTime &value)
{
    return value.timeSpec() != Qt::TimeZone || value.timeZone().isValid();
}

QString unknownZone()
{
    return QStringLiteral("a date and time in an unknown time zone");
}

// Whether Qt can write the value without harm; the reader's own checks
// cover the rest (types and nesting it would refuse afterwards).
bool writable(const QVariant &value, int depth, QString *reason)
{
    switch (value.userType()) {
    case QMetaType::QDateTime:
        if (writableDateTime(value.toDateTime()))
            return true;
        *reason = unknownZone();
        return false;
    case QMetaType::QVariantList:
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash:
        break;
    default:
        return true;
    }
    if (depth >= SettingsCodec::MaxDepth) {
        *reason = QStringLiteral("nested deeper than %1").arg(SettingsCodec::MaxDepth);
        return false;
    }
    if (value.userType() == QMetaType::QVariantList) {
        const QVariantList list = value.toList();
        return std::all_of(list.cbegin(), list.cend(),
                           [depth, reason](const QVariant &v) { return writable(v, depth + 1, reason); });
    }
    if (value.userType() == QMetaType::QVariantMap) {
        const QVariantMap map = value.toMap();
        return std::all_of(map.cbegin(), map.cend(),
                           [depth, reason](const QVariant &v) { return writable(v, depth + 1, reason); });
    }
    const QVariantHash hash = value.toHash();
    return std::all_of(hash.cbegin(), hash.cend(),
                       [depth, reason](const QVariant &v) { return writable(v, depth + 1, reason); });
}

class Checker
{
public:
    explicit Checker(const QByteArray &bytes)
        : m_size(bytes.size())
        , m_stream(bytes)
    {
        m_stream.setVersion(StreamVersion);
    }

    bool value(int depth)
    {
        quint32 type = 0;
        qint8 isNull = 0;
        m_stream >> type >> isNull;
        if (!ok())
            return fail(QStringLiteral("truncated"));
        if (type == QMetaType::UnknownType)
            return true;
        if (type >= QMetaType::User)
            return fail(QStringLiteral("type %1 is not kept in settings").arg(type));
        switch (type) {
        case QMetaType::QVariantList:
            return sequence(depth, MinValue, [this, depth] { return value(depth + 1); });
        case QMetaType::QVariantMap:
        case QMetaType::QVariantHash:
            return sequence(depth, MinString + MinValue,
                            [this, depth] { return leaf(QMetaType::QString) && value(depth + 1); });
        case QMetaType::QStringList:
            return sequence(depth, MinString, [this] { return leaf(QMetaType::QString); });
        case QMetaType::QByteArrayList:
            return sequence(depth, MinString, [this] { return leaf(QMetaType::QByteArray); });
        default:
            if (!isBoundedLeaf(int(type)))
                return fail(QStringLiteral("type %1 is not kept in settings").arg(type));
            return leaf(int(type));
        }
    }

    bool atEnd() const { return m_stream.atEnd(); }
    QString reason() const { return m_reason; }

private:
    // Smallest stored forms: a value is its type and null flag, a string or
    // byte array at least its length.
    static constexpr qint64 MinValue = 5;
    static constexpr qint64 MinString = 4;

    bool ok() const { return m_stream.status() == QDataStream::Ok; }
    qint64 left() const { return m_size - m_stream.device()->pos(); }

    bool fail(const QString &reason)
    {
        if (m_reason.isEmpty())
            m_reason = reason;
        return false;
    }

    template<typename Item>
    bool sequence(int depth, qint64 minItemSize, Item item)
    {
        if (depth >= SettingsCodec::MaxDepth)
            return fail(QStringLiteral("nested deeper than %1").arg(SettingsCodec::MaxDepth));
        quint32 count = 0;
        m_stream >> count;
        if (!ok())
            return fail(QStringLiteral("truncated"));
        if (qint64(count) > left() / minItemSize)
            return fail(QStringLiteral("claims %1 entries in %2 bytes").arg(count).arg(left()));
        for (quint32 i = 0; i < count; ++i) {
            if (!item())
                return false;
        }
        return true;
    }

    bool leaf(int type)
    {
        QVariant scratch(type, nullptr);
        if (!QMetaType::load(m_stream, type, scratch.data()) || !ok())
            return fail(QStringLiteral("truncated or malformed %1").arg(QString::fromLatin1(QMetaType::typeName(type))));
        // What is read must be writable again: the store writes its values
        // back.
        if (type == QMetaType::QDateTime && !writableDateTime(*static_cast<const QDateTime *>(scratch.constData())))
            return fail(unknownZone());
        return true;
    }

    qint64 m_size;
    QDataStream m_stream;
    QString m_reason;
};

} // namespace

QByteArray SettingsCodec::encode(const QVariant &value, QString *reason)
{
    QString unwritable;
    if (!writable(value, 0, &unwritable)) {
        if (reason)
            *reason = unwritable;
        return QByteArray();
    }
    QByteArray bytes;
    {
        QDataStream stream(&bytes, QIODevice::WriteOnly);
        stream.setVersion(StreamVersion);
        stream << value;
        if (stream.status() != QDataStream::Ok) {
            if (reason)
                *reason = QStringLiteral("type %1 cannot be written").arg(QString::fromLatin1(value.typeName()));
            return QByteArray();
        }
    }
    QVariant check;
    if (!decode(bytes, &check, reason))
        return QByteArray();
    return bytes;
}

bool SettingsCodec::decode(const QByteArray &bytes, QVariant *value, QString *reason)
{
    *value = QVariant();
    if (bytes.size() > MaxBytes) {
        if (reason)
            *reason = QStringLiteral("larger than %1 bytes").arg(MaxBytes);
        return false;
    }
    Checker checker(bytes);
    if (!checker.value(0) || !checker.atEnd()) {
        if (reason)
            *reason = checker.reason().isEmpty() ? QStringLiteral("trailing bytes") : checker.reason();
        return false;
    }
    // Known now to be well formed and bounded: Qt's reader builds the value.
    QDataStream stream(bytes);
    stream.setVersion(StreamVersion);
    QVariant decoded;
    stream >> decoded;
    if (stream.status() != QDataStream::Ok || !stream.atEnd()) {
        if (reason)
            *reason = QStringLiteral("malformed");
        return false;
    }
    *value = decoded;
    return true;
}

} // namespace Internal
} // namespace Core
