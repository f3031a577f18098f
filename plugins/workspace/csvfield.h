#pragma once

#include "workspace_global.h"

#include <QString>

namespace Workspace {

// One field of a CSV file written for people who open it in a spreadsheet.
// Names, units, level and station names come from imported maps, access
// files and other stations: a text a spreadsheet would take for a formula
// must reach it as the text it is.
class WORKSPACE_EXPORT CsvField
{
public:
    // A text field: led by an apostrophe where it starts with "=", "+",
    // "-", "@", a tab or a carriage return and is not a plain number, then
    // quoted where needed. Numbers ("-1.5", "+3", "2e-3") stay as they are.
    static QString text(const QString &field);
    // Quoted (with inner quotes doubled) where the field holds a comma, a
    // quote or a line break; otherwise unchanged.
    static QString quoted(const QString &field);
    // True for a decimal number as the program writes one: sign, digits,
    // decimal point, exponent.
    static bool isNumber(const QString &field);
};

} // namespace Workspace
