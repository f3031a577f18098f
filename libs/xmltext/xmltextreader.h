#pragma once

#include "xmltext_global.h"

#include <QByteArray>
#include <QString>

QT_BEGIN_NAMESPACE
class QDomDocument;
QT_END_NAMESPACE

namespace XmlText {

// Text handling shared by the readers of the hand-written XML files of the
// device (register maps, access levels): these files are often saved in a
// legacy code page and carry bare "&" and "<" inside attribute values.
class XMLTEXT_EXPORT XmlTextReader
{
public:
    // Largest file the readers take. The parsed document needs about 35
    // times the file's size in memory, so a bigger file is refused unread.
    static constexpr qint64 MaxFileSize = 64 * 1024 * 1024;

    // Deepest element nesting parse() accepts: the DOM parser's stack grows
    // with every level.
    static constexpr int MaxDepth = 256;

    // UTF-8 up to the first zero byte; if that text declares
    // encoding="<name>" and a codec of that name exists, all bytes are
    // decoded again with that codec.
    static QString decode(const QByteArray &bytes);

    // Escapes "&", "<", ">" and "'" inside every double-quoted run within a
    // start or end tag, so that attribute values are read back literally.
    // Comments, processing instructions, CDATA sections, the document type
    // declaration and the text between elements are left as they are.
    static QString repairQuotedRuns(const QString &text);

    // QDomDocument::setContent with its message, line and column. Before the
    // parser sees the text it refuses, with the position of the offence:
    // entity declarations and internal document type subsets (expansion
    // bombs), zero characters, and nesting deeper than MaxDepth. Any output
    // pointer may be null.
    static bool parse(QDomDocument *document, const QString &text,
                      QString *errorMessage, int *errorLine, int *errorColumn);

    // parse(document, repairQuotedRuns(text), ...) with the same results,
    // messages and positions, in one walk over the text where nothing needs
    // a repair.
    static bool repairAndParse(QDomDocument *document, const QString &text,
                               QString *errorMessage, int *errorLine, int *errorColumn);
};

} // namespace XmlText
