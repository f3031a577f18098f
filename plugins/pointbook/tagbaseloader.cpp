#include "tagbaseloader.h"

#include "basetag.h"

#include <xmltext/xmltextreader.h>

#include <QDomElement>
#include <QDomNamedNodeMap>
#include <QFile>

#include <cstring>

namespace Pointbook {

namespace {

bool toBool(const QString &text)
{
    // The spellings maps use, before the case-insensitive comparison.
    if (text == QLatin1String("false"))
        return false;
    if (text == QLatin1String("true"))
        return true;
    return !(text.isEmpty() || text == QLatin1String("0")
             || text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0);
}

// The value of text made of 1 to 9 decimal digits, or -1. Maps write their
// numbers plainly; Qt's conversions take several hundred instructions each
// and run some 60,000 times in a map of 10,000 tags.
int plainDigits(const QChar *data, int size)
{
    if (size < 1 || size > 9)
        return -1;
    int value = 0;
    for (int i = 0; i < size; ++i) {
        const ushort u = data[i].unicode();
        if (u < '0' || u > '9')
            return -1;
        value = value * 10 + (u - '0');
    }
    return value;
}

// An address: decimal, 0 to 65535. Anything else is refused, since taking
// it as 0 would put the tag silently after the one before it.
bool toAddress(const QString &text, quint16 *address)
{
    const int plain = plainDigits(text.constData(), text.size());
    if (plain >= 0) {
        *address = quint16(plain);
        return plain <= 0xFFFF;
    }
    bool ok = false;
    *address = text.toUShort(&ok, 10);
    return ok;
}

// Limits are held to where the writer and the table apply them: numbers in
// registers, not bits or bit fields (whose maps carry any numbers there).
bool limitsApply(const Tag *tag)
{
    return (tag->registerType() == Tag::IR || tag->registerType() == Tag::HR) && !tag->bitfield()
           && Tag::elementWidth(tag->dataType()) > 0;
}

quint16 toUInt16(const QString &text)
{
    const int plain = plainDigits(text.constData(), text.size());
    if (plain >= 0)
        return plain <= 0xFFFF ? quint16(plain) : 0;
    bool ok = false;
    const ushort value = text.toUShort(&ok, 10);
    return ok ? value : 0;
}

qint32 toInt32(const QString &text)
{
    const bool negative = text.startsWith(QLatin1Char('-'));
    const int plain = plainDigits(text.constData() + (negative ? 1 : 0), text.size() - (negative ? 1 : 0));
    if (plain >= 0)
        return negative ? -plain : plain;
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : 0;
}

float toFloat(const QString &text)
{
    // Plain decimals ("-100.0", "0.25"): at most 15 digits, so that the
    // digits as an integer and the power of ten are exact doubles and their
    // one division rounds correctly, to the double Qt's conversion gives;
    // both then round that double to float. Anything else goes to Qt.
    const QChar *data = text.constData();
    const int size = text.size();
    const bool negative = size > 0 && data[0] == QLatin1Char('-');
    int i = negative ? 1 : 0;
    qint64 digits = 0;
    int count = 0;
    int fraction = -1; // digits after the point, -1 without a point
    bool plain = i < size;
    for (; plain && i < size; ++i) {
        const ushort u = data[i].unicode();
        if (u >= '0' && u <= '9') {
            if (count == 15) { // longer: Qt's conversion, and no overflow here
                plain = false;
                break;
            }
            digits = digits * 10 + (u - '0');
            ++count;
            if (fraction >= 0)
                ++fraction;
        } else if (u == '.' && fraction < 0 && count > 0) {
            fraction = 0;
        } else {
            plain = false;
        }
    }
    const int integerDigits = count - qMax(fraction, 0);
    // No leading zeros ("007"), digits on both sides of a point.
    plain = plain && fraction != 0
            && !(integerDigits > 1 && data[negative ? 1 : 0] == QLatin1Char('0'));
    if (plain) {
        static const double powers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        const double value = double(digits) / powers[qMax(fraction, 0)];
        return float(negative ? -value : value);
    }
    bool ok = false;
    const float value = text.toFloat(&ok);
    return ok ? value : 0.0f;
}

// Base-2 digits only, at most 64 of them; anything else is 0.
quint64 toMask(const QString &text)
{
    if (text.size() > 64)
        return 0;
    quint64 mask = 0;
    for (const QChar c : text) {
        if (c != QLatin1Char('0') && c != QLatin1Char('1'))
            return 0;
        mask = (mask << 1) | (c == QLatin1Char('1') ? 1u : 0u);
    }
    return mask;
}

// What reading in text mode gives: every carriage return dropped. Qt's
// text mode looks at the bytes one by one; memchr finds the (usually no)
// carriage returns far faster on a map of megabytes.
void dropCarriageReturns(QByteArray *bytes)
{
    char *const begin = bytes->data();
    char *const end = begin + bytes->size();
    char *from = static_cast<char *>(std::memchr(begin, '\r', size_t(end - begin)));
    if (!from)
        return;
    char *to = from;
    while (from < end) {
        ++from; // past the carriage return
        char *next = static_cast<char *>(std::memchr(from, '\r', size_t(end - from)));
        if (!next)
            next = end;
        std::memmove(to, from, size_t(next - from));
        to += next - from;
        from = next;
    }
    bytes->truncate(int(to - begin));
}

// The mask a tag without one reads as: 64 zero digits.
const QString &noMask()
{
    static const QString mask(64, QLatin1Char('0'));
    return mask;
}

} // namespace

TagBaseLoader::TagBaseLoader(QObject *parent)
    : TagBaseLoader(QString(), QString(), parent)
{
}

TagBaseLoader::TagBaseLoader(const QString &fileName, const QString &version, QObject *parent)
    : QObject(parent)
    , m_errorString(tr("no error"))
    , m_fileName(fileName)
    , m_versionBase(version)
    , m_base(new BaseTag(this))
{
}

void TagBaseLoader::setFileName(const QString &fileName) { m_fileName = fileName; }
QString TagBaseLoader::fileName() const { return m_fileName; }
void TagBaseLoader::setVersionBase(const QString &versionBase) { m_versionBase = versionBase; }
QString TagBaseLoader::versionBase() const { return m_versionBase; }
BaseTag *TagBaseLoader::base() const { return m_base; }
TagBaseLoader::Error TagBaseLoader::error() const { return m_error; }
QString TagBaseLoader::errorString() const { return m_errorString; }

void TagBaseLoader::setError(Error error, const QString &errorString)
{
    m_error = error;
    m_errorString = errorString;
    emit errorOccurred(error, errorString);
}

bool TagBaseLoader::readBase()
{
    m_base->clearBase();

    if (!QFile::exists(m_fileName)) {
        setError(FileError, tr("File does not exist."));
        return false;
    }

    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        setError(FileError, tr("Error opening file:") + m_fileName);
        return false;
    }
    // Checked before reading: a map of this size would block the window
    // for seconds and take gigabytes.
    if (file.size() > XmlText::XmlTextReader::MaxFileSize) {
        setError(FileError, tr("The file %1 is too large: %2 bytes, at most %3 bytes (64 MiB) are read.")
                                .arg(m_fileName, QString::number(file.size()),
                                     QString::number(XmlText::XmlTextReader::MaxFileSize)));
        return false;
    }
    file.setTextModeEnabled(false);
    QByteArray bytes = file.readAll();
    dropCarriageReturns(&bytes);
    const QString text = XmlText::XmlTextReader::decode(bytes);
    const bool zeroByte = std::memchr(bytes.constData(), 0, size_t(bytes.size())) != nullptr;
    bytes.clear();
    file.close();

    // Decoded without a declared codec the text ends at a zero byte, and
    // whatever follows it would go unread: the file is damaged. (A declared
    // codec keeps the zero, and the parser refuses it where it stands.)
    if (zeroByte && !text.contains(QChar(0))) {
        const int lineStart = text.lastIndexOf(QLatin1Char('\n')) + 1;
        setError(ParseError, tr("%1: line - %2, column - %3")
                                 .arg(tr("the file contains a zero byte"),
                                      QString::number(text.count(QLatin1Char('\n')) + 1),
                                      QString::number(text.size() - lineStart + 1)));
        return false;
    }

    QString message;
    int line = 0;
    int column = 0;
    if (!XmlText::XmlTextReader::repairAndParse(&m_document, text, &message, &line, &column)) {
        setError(ParseError, tr("%1: line - %2, column - %3")
                                 .arg(message, QString::number(line), QString::number(column)));
        return false;
    }

    const QDomElement root = m_document.documentElement();
    if (root.tagName() != QLatin1String("base")
        || root.attribute(QStringLiteral("version")) != m_versionBase) {
        setError(FormatError, tr("The file is not an MODBUSBASE version %1 file.").arg(m_versionBase));
        return false;
    }

    for (QDomElement section = root.firstChildElement(); !section.isNull();
         section = section.nextSiblingElement()) {
        const QString name = section.tagName();
        // Case-sensitive: "HR" is not a section.
        if (name != QLatin1String("ir") && name != QLatin1String("hr")
            && name != QLatin1String("di") && name != QLatin1String("co"))
            continue;
        QString problem;
        if (!readSection(section, Tag::stringToRegisterType(name), &problem)) {
            m_base->clearBase();
            setError(FormatError, problem);
            return false;
        }
    }

    emit changeBase();
    return true;
}

bool TagBaseLoader::readSection(const QDomElement &section, Tag::RegisterType type, QString *problem)
{
    // A tag that the collection does not keep (no id, or replaced by a later
    // tag of the same id) is still needed as the previous tag of the address
    // walk; it is freed as soon as that role passes on.
    Tag *previous = nullptr;
    bool previousHeld = false;
    for (QDomElement element = section.firstChildElement(QStringLiteral("tag")); !element.isNull();
         element = element.nextSiblingElement(QStringLiteral("tag"))) {
        Tag *tag = new Tag(type);
        if (!readTag(element, tag, previous, problem)) {
            delete tag;
            if (previous && !previousHeld)
                delete previous;
            return false;
        }

        Tag *replaced = m_base->tagHash(type).value(tag->Id(), nullptr);
        const bool held = m_base->addTag(tag->Id(), tag, type);
        if (held && replaced && replaced != tag && replaced != previous)
            delete replaced;
        if (previous && (!previousHeld || (held && replaced == previous)))
            delete previous;

        previous = tag;
        previousHeld = held;
    }
    if (previous && !previousHeld)
        delete previous;
    return true;
}

bool TagBaseLoader::readTag(const QDomElement &element, Tag *tag, const Tag *previous,
                            QString *problem)
{
    const auto refuse = [&](const QString &reason) {
        const QString who = tag->Id().isEmpty() ? tr("without id")
                                                : QLatin1Char('"') + tag->Id() + QLatin1Char('"');
        *problem = tr("Tag %1 (line %2): %3")
                       .arg(who, QString::number(element.lineNumber()), reason);
        return false;
    };

    QString offsetText;
    bool offsetValid = true;
    bool hasValue = false;
    QString minText;
    QString maxText;
    for (QDomElement child = element.firstChildElement(); !child.isNull();
         child = child.nextSiblingElement()) {
        const QString name = child.tagName();
        // Names and defaults are literals: nothing is built per tag.
        const auto attr = [&child](const QString &attribute, const QString &fallback = QString()) {
            return child.attribute(attribute, fallback);
        };
        if (name == QLatin1String("information")) {
            tag->setId(attr(QStringLiteral("id")));
            tag->setName(attr(QStringLiteral("name")));
            tag->setUnit(attr(QStringLiteral("unit")));
            tag->setDescription(attr(QStringLiteral("description")));
        } else if (name == QLatin1String("modbussettins")) {
            tag->setBitfield(toBool(attr(QStringLiteral("bitfield"), QStringLiteral("false"))));
            tag->setBitfieldEnd(toBool(attr(QStringLiteral("bitfieldend"), QStringLiteral("false"))));
            quint16 offset = 0;
            offsetText = attr(QStringLiteral("offset"), QStringLiteral("0"));
            offsetValid = toAddress(offsetText, &offset);
            tag->setOffset(offsetValid ? offset : 0);
            tag->setDataType(Tag::stringToDataType(attr(QStringLiteral("datatype"))));
            tag->setByteOrderInput(Tag::stringToByteOrder(attr(QStringLiteral("byteOrderInput"))));
            tag->setByteOrderOutput(Tag::stringToByteOrder(attr(QStringLiteral("byteOrderOutput"))));
            tag->setCount(toUInt16(attr(QStringLiteral("counter"), QStringLiteral("1"))));
            tag->setMask(toMask(attr(QStringLiteral("mask"), noMask())));
            tag->setAccess(attr(QStringLiteral("access"), QStringLiteral("R")));
        } else if (name == QLatin1String("value")) {
            tag->setDefaultValue(toFloat(attr(QStringLiteral("default"), QStringLiteral("0.0"))));
            hasValue = true;
            minText = attr(QStringLiteral("min"), QStringLiteral("0.0"));
            maxText = attr(QStringLiteral("max"), QStringLiteral("100.0"));
            tag->setMinValue(toFloat(minText));
            tag->setMaxValue(toFloat(maxText));
            tag->setPrecision(toInt32(attr(QStringLiteral("precision"), QStringLiteral("0"))));
            tag->setDamping(toBool(attr(QStringLiteral("dampening"), QStringLiteral("false"))));
        } else if (name == QLatin1String("chart")) {
            tag->setTypeChart(attr(QStringLiteral("type"), QStringLiteral("plot")));
        } else if (name == QLatin1String("typetag")) {
            tag->setTypeTag(attr(QStringLiteral("type"), QStringLiteral("dimension")));
            tag->setProfileParameter(toBool(attr(QStringLiteral("profile"), QStringLiteral("false"))));
        } else if (name == QLatin1String("property")) {
            const int pairs = child.attributes().count() / 2;
            for (int i = 0; i < pairs; ++i) {
                const QString propertyName = child.attribute(QStringLiteral("propertyName_%1").arg(i));
                const QString propertyValue = child.attribute(QStringLiteral("propertyValue_%1").arg(i));
                // A property without a name cannot be read back by name.
                if (propertyName.isEmpty())
                    continue;
                tag->setProperty(propertyName.toUtf8().constData(), propertyValue);
                // Each new name is looked for among all before it: the
                // bound keeps the load linear in the file's size.
                if (tag->dynamicPropertyNames().size() > MaxTagProperties)
                    return refuse(tr("more than %1 properties.").arg(MaxTagProperties));
            }
        }
    }

    if (!offsetValid)
        return refuse(tr("its offset \"%1\" is not an address from 0 to 65535.").arg(offsetText));
    // The limits at the tag's own type: as floats, 33554431 became 33554432
    // and 1e300 became 0, which switched the check off.
    if (hasValue && limitsApply(tag)) {
        QString why;
        const QVariant low = Tag::limitFromText(tag->dataType(), minText, &why);
        if (!low.isValid())
            return refuse(tr("its limit min=\"%1\": %2.").arg(minText, why));
        const QVariant high = Tag::limitFromText(tag->dataType(), maxText, &why);
        if (!high.isValid())
            return refuse(tr("its limit max=\"%1\": %2.").arg(maxText, why));
        tag->setLimits(low, high);
    }

    // The sizes are 16-bit: a larger array would wrap to a small one and
    // overlap the tags after it.
    const qint64 bytes = qint64(tag->count()) * Tag::elementWidth(tag->dataType());
    if (bytes > 0xFFFF)
        return refuse(tr("%1 elements of %2 take %3 bytes, more than the 65535 a tag can hold.")
                          .arg(tag->count())
                          .arg(Tag::dataTypeToString(tag->dataType()))
                          .arg(bytes));

    int start = tag->offset();
    if (previous) {
        const bool sharesRegister = tag->bitfield() && previous->bitfield()
                                    && (!previous->bitfieldEnd() || tag->bitfieldEnd());
        if (sharesRegister)
            start = previous->startAddress();
        else if (tag->offset() == 0)
            start = int(previous->startAddress()) + int(previous->sizeRegisters());
    }
    // Every register a byte of the tag lies in, and at least its first one.
    const qint64 last = start + qMax<qint64>((bytes + 1) / 2, 1) - 1;
    if (last > 0xFFFF)
        return refuse(tr("its registers %1 to %2 run past address 65535.").arg(start).arg(last));
    tag->setStartAddress(quint16(start));
    return true;
}

} // namespace Pointbook
