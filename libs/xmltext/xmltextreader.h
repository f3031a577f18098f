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
    // UTF-8 up to the first zero byte; if that text declares
    // encoding="<name>" and a codec of that name exists, all bytes are
    // decoded again with that codec.
    static QString decode(const QByteArray &bytes);

    // Escapes "&", "<", ">" and "'" inside every double-quoted run so that
    // attribute values are read back literally.
    static QString repairQuotedRuns(const QString &text);

    // QDomDocument::setContent with its message, line and column, refusing
    // documents that declare entities (expansion bombs) before the parser
    // sees them. Any output pointer may be null.
    static bool parse(QDomDocument *document, const QString &text,
                      QString *errorMessage, int *errorLine, int *errorColumn);
};

} // namespace XmlText
