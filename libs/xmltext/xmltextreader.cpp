#include "xmltextreader.h"

#include <QCoreApplication>
#include <QDomDocument>
#include <QRegularExpression>
#include <QTextCodec>
#include <QXmlStreamReader>

namespace XmlText {

QString XmlTextReader::decode(const QByteArray &bytes)
{
    const int zero = bytes.indexOf('\0');
    const QString text = QString::fromUtf8(bytes.constData(), zero < 0 ? bytes.size() : zero);

    static const QRegularExpression encodingRx(QStringLiteral("encoding=\"([a-zA-Z\\-0-9]+)\""));
    const QRegularExpressionMatch match = encodingRx.match(text);
    if (!match.hasMatch())
        return text;
    QTextCodec *codec = QTextCodec::codecForName(match.captured(1).toLatin1());
    if (!codec)
        return text;
    return codec->toUnicode(bytes);
}

QString XmlTextReader::repairQuotedRuns(const QString &text)
{
    // One pass over the text: between each pair of double quotes the four
    // characters are escaped; a quote without a partner has no quote after
    // it, so the rest stays as it is. Register maps run to megabytes and
    // mostly need no repair, so the copy is only made once one is needed.
    const QChar *data = text.constData();
    const int size = text.size();
    QString result;
    bool repaired = false;
    int copied = 0;
    for (int i = 0; i < size; ++i) {
        if (data[i] != QLatin1Char('"'))
            continue;
        int close = i + 1;
        while (close < size && data[close] != QLatin1Char('"'))
            ++close;
        if (close >= size)
            break;
        for (int k = i + 1; k < close; ++k) {
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
        i = close;
    }
    if (!repaired)
        return text;
    result.append(data + copied, size - copied);
    return result;
}

bool XmlTextReader::parse(QDomDocument *document, const QString &text,
                          QString *errorMessage, int *errorLine, int *errorColumn)
{
    // The DOM parser limits the size of one entity but not the number of
    // references to it, so a small file can still expand to gigabytes.
    // The device files never declare entities: refuse any declaration.
    // Only the prolog is scanned; the document body is left to the parser.
    QXmlStreamReader prolog(text);
    while (!prolog.atEnd()) {
        const QXmlStreamReader::TokenType token = prolog.readNext();
        if (token == QXmlStreamReader::StartElement || token == QXmlStreamReader::Invalid)
            break;
        if (token == QXmlStreamReader::DTD
            && (!prolog.entityDeclarations().isEmpty()
                || prolog.text().contains(QLatin1String("<!ENTITY")))) {
            if (errorMessage)
                *errorMessage = QCoreApplication::translate(
                    "XmlText::XmlTextReader", "entity declarations are not allowed");
            if (errorLine)
                *errorLine = int(prolog.lineNumber());
            if (errorColumn)
                *errorColumn = int(prolog.columnNumber());
            if (document)
                document->clear();
            return false;
        }
    }

    QDomDocument scratch;
    QDomDocument *target = document ? document : &scratch;
    return target->setContent(text, errorMessage, errorLine, errorColumn);
}

} // namespace XmlText
