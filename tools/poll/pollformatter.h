#pragma once

#include "poll_global.h"
#include "polloptions.h"
#include "pollrecord.h"

#include <QDateTime>
#include <QString>
#include <QVector>

namespace Pointbook {
class Tag;
}

namespace Poll {

// Turns tags into records and records into text. CSV follows the usual
// quoting rules (a field with a comma, quote or line break is quoted, quotes
// doubled); JSON writes numbers as their exact decimal text, so 64-bit
// integers are not rounded through a double.
class POLL_EXPORT PollFormatter
{
public:
    PollFormatter(PollOptions::Format format, bool withTime);

    // The record of a tag; without hasValue the value and raw words are
    // left empty (the tag was not read in this pass).
    static PollRecord record(const Pointbook::Tag &tag, bool hasValue);
    static QString formatValue(const Pointbook::Tag &tag, PollRecord::ValueKind *kind);
    static QString formatRaw(const QVector<quint16> &words);

    static QString csvField(const QString &field);
    static QString jsonString(const QString &text);

    // Printed once before the first pass (the CSV header), else empty.
    QString header() const;
    // One pass; time is used only when the formatter was made withTime.
    QString pass(const QVector<PollRecord> &records, const QDateTime &time) const;

    static QStringList columns();

private:
    QStringList fields(const PollRecord &record) const;

    PollOptions::Format m_format;
    bool m_withTime;
};

} // namespace Poll
