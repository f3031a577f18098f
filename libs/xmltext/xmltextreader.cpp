#include "xmltextreader.h"

#include <QCoreApplication>
#include <QByteArrayMatcher>
#include <QDomDocument>
#include <QTextCodec>

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace XmlText {

namespace {

// What a '<' opens, as far as the readers need to know: only start and end
// tags carry attribute values and nesting; the others are skipped whole.
enum class Markup {
    StartTag,
    EndTag,
    Comment,
    Instruction,
    CData,
    Doctype,
    Declaration, // any other "<!"
    Stray        // a '<' that opens nothing; the parser reports it
};

bool startsAt(const QString &text, int i, QLatin1String what)
{
    return text.midRef(i, what.size()) == what;
}

bool isNameStart(QChar c)
{
    const ushort u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_' || u == ':' || u >= 0x80;
}

// Decided by the character after the '<' first: the prefixes below are
// compared only for the rare "<!" markup, as this runs once per element.
Markup classify(const QString &text, int i)
{
    if (i + 1 >= text.size())
        return Markup::Stray;
    const QChar next = text.at(i + 1);
    if (isNameStart(next))
        return Markup::StartTag;
    switch (next.unicode()) {
    case '/':
        return Markup::EndTag;
    case '?':
        return Markup::Instruction;
    case '!':
        if (startsAt(text, i, QLatin1String("<!--")))
            return Markup::Comment;
        if (startsAt(text, i, QLatin1String("<![CDATA[")))
            return Markup::CData;
        if (startsAt(text, i, QLatin1String("<!DOCTYPE")))
            return Markup::Doctype;
        return Markup::Declaration;
    default:
        return Markup::Stray;
    }
}

// Index just behind the first `what` at or after `from`, or the text's end.
int behind(const QString &text, int from, QLatin1String what)
{
    const int at = text.indexOf(what, from);
    return at < 0 ? text.size() : at + what.size();
}

// Index of the first of the characters a, b, c, d in data[from, end), or
// end. Eight characters are compared at once where SSE2 is there: the walks
// below pass over every character of a map of megabytes.
int firstOf(const QChar *data, int from, int end, char16_t a, char16_t b, char16_t c, char16_t d)
{
    const auto *chars = reinterpret_cast<const char16_t *>(data);
    int i = from;
#ifdef __SSE2__
    const __m128i va = _mm_set1_epi16(short(a));
    const __m128i vb = _mm_set1_epi16(short(b));
    const __m128i vc = _mm_set1_epi16(short(c));
    const __m128i vd = _mm_set1_epi16(short(d));
    for (; i + 8 <= end; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(chars + i));
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v, va), _mm_cmpeq_epi16(v, vb)),
                                         _mm_or_si128(_mm_cmpeq_epi16(v, vc), _mm_cmpeq_epi16(v, vd)));
        const int mask = _mm_movemask_epi8(hit);
        if (mask)
            return i + __builtin_ctz(unsigned(mask)) / 2;
    }
#endif
    for (; i < end; ++i) {
        const char16_t u = chars[i];
        if (u == a || u == b || u == c || u == d)
            return i;
    }
    return end;
}

// Walks a start or end tag from its '<' to just behind its '>' (or the
// text's end). A quoted value is passed whole, so that a '>' in it does not
// end the tag; each double-quoted one goes to onValue(open, close), the
// positions of its quotes. *empty tells whether the tag ends in "/>".
template <typename OnValue>
int walkTag(const QString &text, int start, bool *empty, OnValue onValue)
{
    const QChar *data = text.constData();
    const int size = text.size();
    *empty = false;
    for (int i = firstOf(data, start + 1, size, u'"', u'\'', u'>', u'>'); i < size;
         i = firstOf(data, i, size, u'"', u'\'', u'>', u'>')) {
        const QChar c = data[i];
        if (c == QLatin1Char('>')) {
            *empty = data[i - 1] == QLatin1Char('/');
            return i + 1;
        }
        const int close = text.indexOf(c, i + 1);
        if (close < 0)
            return size;
        if (c == QLatin1Char('"'))
            onValue(i, close);
        i = close + 1;
    }
    return size;
}

// Walks a document type declaration to just behind its '>'; *subset is the
// position of its internal subset's '[', or -1 without one.
int walkDoctype(const QString &text, int start, int *subset)
{
    const QChar *data = text.constData();
    const int size = text.size();
    *subset = -1;
    int brackets = 0;
    for (int i = start + 2; i < size; ++i) {
        const QChar c = data[i];
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            const int close = text.indexOf(c, i + 1);
            if (close < 0)
                return size;
            i = close;
        } else if (c == QLatin1Char('[')) {
            if (*subset < 0)
                *subset = i;
            ++brackets;
        } else if (c == QLatin1Char(']')) {
            if (brackets > 0)
                --brackets;
        } else if (c == QLatin1Char('>') && brackets == 0) {
            return i + 1;
        }
    }
    return size;
}

// Index just behind the markup that opens at `start`, for the kinds that
// carry neither values nor nesting.
int skipMarkup(const QString &text, int start, Markup kind)
{
    switch (kind) {
    case Markup::Comment:
        return behind(text, start + 4, QLatin1String("-->"));
    case Markup::CData:
        return behind(text, start + 9, QLatin1String("]]>"));
    case Markup::Instruction:
        return behind(text, start + 2, QLatin1String("?>"));
    case Markup::Declaration:
        return behind(text, start + 2, QLatin1String(">"));
    case Markup::Doctype: {
        int subset = -1;
        return walkDoctype(text, start, &subset);
    }
    case Markup::StartTag:
    case Markup::EndTag:
    case Markup::Stray:
        break;
    }
    return start + 1;
}

// The texts are marked where they are used, for the translation tools.
QString refusalText(const char *text)
{
    return QCoreApplication::translate("XmlText::XmlTextReader", text);
}

// Nesting and internal subsets, followed tag by tag through one walk; the
// first offence is kept with its position.
class StructureCheck
{
public:
    int refusedAt() const { return m_at; }
    const QString &reason() const { return m_reason; }

    // A start (or end) tag at `start`; `empty` tells whether it ends in "/>".
    void tag(int start, bool endTag, bool empty)
    {
        if (m_at >= 0)
            return;
        if (endTag) {
            if (m_depth > 0)
                --m_depth;
        } else if (m_depth >= XmlTextReader::MaxDepth) {
            m_at = start;
            m_reason = refusalText(QT_TRANSLATE_NOOP("XmlText::XmlTextReader",
                                                     "elements are nested deeper than %1 levels"))
                           .arg(XmlTextReader::MaxDepth);
        } else if (!empty) {
            ++m_depth;
        }
    }

    void doctypeSubset(int subset)
    {
        if (m_at >= 0 || subset < 0)
            return;
        m_at = subset;
        m_reason = refusalText(QT_TRANSLATE_NOOP(
            "XmlText::XmlTextReader", "entity declarations are not allowed (internal document type subset)"));
    }

private:
    int m_depth = 0;
    int m_at = -1;
    QString m_reason;
};

// What is checked anywhere in the text, before its structure: zero
// characters and entity declarations (even where the parser would not look:
// device files never declare entities, and a missed declaration can cost
// gigabytes). -1 when neither is found.
int refusedAnywhere(const QString &text, QString *reason)
{
    int at = text.indexOf(QChar(0));
    if (at >= 0) {
        *reason = refusalText(QT_TRANSLATE_NOOP("XmlText::XmlTextReader", "the text contains a zero byte"));
        return at;
    }
    at = text.indexOf(QLatin1String("<!ENTITY"));
    if (at >= 0) {
        *reason = refusalText(
            QT_TRANSLATE_NOOP("XmlText::XmlTextReader", "entity declarations are not allowed"));
        return at;
    }
    return -1;
}

// Walks every markup of the text once: each double-quoted value inside a
// start or end tag goes to onValue(open, close), and the nesting and
// internal subsets go to *check.
template <typename OnValue>
void walkMarkup(const QString &text, StructureCheck *check, OnValue onValue)
{
    for (int i = text.indexOf(QLatin1Char('<')); i >= 0;) {
        const Markup kind = classify(text, i);
        int next = 0;
        if (kind == Markup::StartTag || kind == Markup::EndTag) {
            bool empty = false;
            next = walkTag(text, i, &empty, onValue);
            check->tag(i, kind == Markup::EndTag, empty);
        } else if (kind == Markup::Doctype) {
            int subset = -1;
            next = walkDoctype(text, i, &subset);
            check->doctypeSubset(subset);
        } else {
            next = skipMarkup(text, i, kind);
        }
        i = text.indexOf(QLatin1Char('<'), next);
    }
}

// The first position the DOM parser must not see, with the reason; -1 when
// the text may be parsed. The parser is not asked: whatever it would make
// of the prolog, no entity can be declared and no nesting can run deep.
int refusedAt(const QString &text, QString *reason)
{
    const int at = refusedAnywhere(text, reason);
    if (at >= 0)
        return at;
    StructureCheck check;
    walkMarkup(text, &check, [](int, int) {});
    if (check.refusedAt() >= 0)
        *reason = check.reason();
    return check.refusedAt();
}

// The repaired text of repairQuotedRuns(). When `check` is given, the walk
// also checks the structure; it then stands for the returned text only when
// no repair was needed (*repaired false).
QString repair(const QString &text, StructureCheck *check, bool *repairedOut)
{
    // One pass over the text. Register maps run to megabytes and mostly
    // need no repair, so the copy is only made once one is needed.
    const QChar *data = text.constData();
    const int size = text.size();
    QString result;
    bool repaired = false;
    int copied = 0;
    const auto repairValue = [&](int open, int close) {
        for (int k = firstOf(data, open + 1, close, u'&', u'<', u'>', u'\''); k < close; ++k) {
            QLatin1String escaped;
            switch (data[k].unicode()) {
            case '&': escaped = QLatin1String("&amp;"); break;
            case '<': escaped = QLatin1String("&lt;"); break;
            case '>': escaped = QLatin1String("&gt;"); break;
            case '\'': escaped = QLatin1String("&apos;"); break;
            default: continue;
            }
            if (!repaired) {
                result.reserve(size + size / 16);
                repaired = true;
            }
            result.append(data + copied, k - copied);
            result.append(escaped);
            copied = k + 1;
        }
    };

    // Only values inside tags: a quote in a comment or in the text between
    // elements would otherwise pair with the next value's quote.
    StructureCheck unused;
    walkMarkup(text, check ? check : &unused, repairValue);

    *repairedOut = repaired;
    if (!repaired)
        return text;
    result.append(data + copied, size - copied);
    return result;
}

// Reports a refusal at `refused` of `text` the way the parser reports its
// errors: message, line and column counted from 1.
bool refuse(QDomDocument *document, const QString &text, int refused, const QString &reason,
            QString *errorMessage, int *errorLine, int *errorColumn)
{
    const QStringRef before = text.leftRef(refused);
    if (errorMessage)
        *errorMessage = reason;
    if (errorLine)
        *errorLine = before.count(QLatin1Char('\n')) + 1;
    if (errorColumn)
        *errorColumn = refused - (before.lastIndexOf(QLatin1Char('\n')) + 1) + 1;
    if (document)
        document->clear();
    return false;
}

bool setContent(QDomDocument *document, const QString &text, QString *errorMessage, int *errorLine,
                int *errorColumn)
{
    QDomDocument scratch;
    QDomDocument *target = document ? document : &scratch;
    return target->setContent(text, errorMessage, errorLine, errorColumn);
}

bool isEncodingNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

// The name of the first encoding="<name>" in the bytes whose name is one or
// more of a-z, A-Z, 0-9 and '-', or empty. Searching the bytes finds what a
// search of their UTF-8 text would: UTF-8 decoding gives each ASCII byte as
// the same character and turns nothing else into ASCII, so the text need
// not be decoded before the codec is known.
QByteArray declaredEncoding(const char *data, int size)
{
    static const QByteArrayMatcher key(QByteArrayLiteral("encoding=\""));
    const int keySize = key.pattern().size();
    for (int at = key.indexIn(data, size); at >= 0; at = key.indexIn(data, size, at + 1)) {
        const int begin = at + keySize;
        int end = begin;
        while (end < size && isEncodingNameChar(data[end]))
            ++end;
        if (end > begin && end < size && data[end] == '"')
            return QByteArray(data + begin, end - begin);
    }
    return QByteArray();
}

} // namespace

QString XmlTextReader::decode(const QByteArray &bytes)
{
    // memchr: QByteArray::indexOf(char) walks byte by byte.
    const void *zero = std::memchr(bytes.constData(), 0, size_t(bytes.size()));
    const int length = zero ? int(static_cast<const char *>(zero) - bytes.constData()) : bytes.size();

    // A declared codec decodes all bytes, past a zero byte too; the UTF-8
    // text up to the zero byte is only made when it is the result.
    const QByteArray name = declaredEncoding(bytes.constData(), length);
    if (!name.isEmpty()) {
        if (QTextCodec *codec = QTextCodec::codecForName(name))
            return codec->toUnicode(bytes);
    }
    return QString::fromUtf8(bytes.constData(), length);
}

QString XmlTextReader::repairQuotedRuns(const QString &text)
{
    bool repaired = false;
    return repair(text, nullptr, &repaired);
}

bool XmlTextReader::parse(QDomDocument *document, const QString &text,
                          QString *errorMessage, int *errorLine, int *errorColumn)
{
    QString reason;
    const int refused = refusedAt(text, &reason);
    if (refused >= 0)
        return refuse(document, text, refused, reason, errorMessage, errorLine, errorColumn);
    return setContent(document, text, errorMessage, errorLine, errorColumn);
}

bool XmlTextReader::repairAndParse(QDomDocument *document, const QString &text,
                                   QString *errorMessage, int *errorLine, int *errorColumn)
{
    // The repair's walk checks the structure too. Positions are those of
    // the repaired text, so its check only stands when nothing was repaired;
    // otherwise (rare) the repaired text is checked on its own.
    StructureCheck check;
    bool repaired = false;
    const QString repairedText = repair(text, &check, &repaired);
    if (repaired)
        return parse(document, repairedText, errorMessage, errorLine, errorColumn);

    QString reason;
    int refused = refusedAnywhere(text, &reason);
    if (refused < 0 && check.refusedAt() >= 0) {
        refused = check.refusedAt();
        reason = check.reason();
    }
    if (refused >= 0)
        return refuse(document, text, refused, reason, errorMessage, errorLine, errorColumn);
    return setContent(document, text, errorMessage, errorLine, errorColumn);
}

} // namespace XmlText
