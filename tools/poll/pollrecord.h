#pragma once

#include <QString>

namespace Poll {

// One output line of the poller: a tag and the value read in one pass.
struct PollRecord
{
    enum ValueKind {
        NoValue,  // not read in this pass: printed empty (JSON null)
        Number,   // decimal text, a JSON number
        Text      // anything else (byte arrays, nan, inf), a JSON string
    };

    QString registerType; // "ir", "hr", "di", "co"
    QString id;
    QString name;
    int address = 0;
    QString type;
    QString value;
    ValueKind kind = NoValue;
    QString unit;
    QString raw;
};

} // namespace Poll
