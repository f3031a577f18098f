// The shared XML text reader: decoding (code page declarations, zero
// bytes), the repair of quoted runs and the guarded parse.
#include <xmltext/xmltextreader.h>

#include <QDomDocument>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const QString text = XmlText::XmlTextReader::decode(bytes);
    const QString repaired = XmlText::XmlTextReader::repairQuotedRuns(text);
    QDomDocument document;
    QString message;
    int line = 0;
    int column = 0;
    const bool parsed = XmlText::XmlTextReader::parse(&document, repaired, &message, &line, &column);
    // The one-walk path must give exactly what the two steps give.
    QDomDocument again;
    QString againMessage;
    int againLine = 0;
    int againColumn = 0;
    if (XmlText::XmlTextReader::repairAndParse(&again, text, &againMessage, &againLine, &againColumn) != parsed
        || againMessage != message || againLine != line || againColumn != column)
        std::abort();
    // Null outputs are allowed as well.
    XmlText::XmlTextReader::parse(&document, text, nullptr, nullptr, nullptr);
    return 0;
}
