#include "xmltextreader.h"

#include <QCoreApplication>
#include <QDomDocument>
#include <QRegularExpression>
#include <QTextCodec>
#include <QVector>
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
    struct Replacement {
        int start;
        int length;
        QString text;
    };

    static const QRegularExpression quotedRx(QStringLiteral("\"[^\"]*\""));
    QVector<Replacement> replacements;
    QRegularExpressionMatchIterator it = quotedRx.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const QString run = match.captured(0);
        QString repaired = run;
        repaired.replace(QLatin1Char('&'), QLatin1String("&amp;"));
        repaired.replace(QLatin1Char('<'), QLatin1String("&lt;"));
        repaired.replace(QLatin1Char('>'), QLatin1String("&gt;"));
        repaired.replace(QLatin1Char('\''), QLatin1String("&apos;"));
        if (repaired != run)
            replacements.append({match.capturedStart(0), match.capturedLength(0), repaired});
    }

    QString result = text;
    for (int i = replacements.size() - 1; i >= 0; --i) {
        const Replacement &r = replacements.at(i);
        result.replace(r.start, r.length, r.text);
    }
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
