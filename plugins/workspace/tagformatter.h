#pragma once

#include "workspace_global.h"

#include <pointbook/tag.h>

#include <QString>
#include <QVector>

namespace Workspace {

// Turns a tag's raw words into the texts of the live table. Every function
// copes with a tag that has no value yet, an unknown type or short data.
class WORKSPACE_EXPORT TagFormatter
{
public:
    // The engineering value: number with the tag's precision and unit, "on"
    // / "off" for bit fields, a bracketed list for multi-element tags; empty
    // while the tag has no value.
    static QString valueText(const Pointbook::Tag *tag);
    // The raw words in hex, "0x1234 0xABCD".
    static QString rawText(const Pointbook::Tag *tag);
    // Start address; bit fields add the bit number (".3").
    static QString addressText(const Pointbook::Tag *tag);
    static QString dataTypeText(const Pointbook::Tag *tag);
    static QString accessText(const Pointbook::Tag *tag, bool writableAtLevel);

    // The numeric elements of the current value (one for a single value;
    // for a bit field the field's value, 0 or 1 for a single bit); empty
    // without a value or for an unknown type.
    static QVector<double> numericValues(const Pointbook::Tag *tag);
    // The value of a single (not array) tag as numericValues() gives it,
    // without building a list: false without a value, for an array or for an
    // unknown type. Read once a pass for every recorded tag.
    static bool scalarValue(const Pointbook::Tag *tag, double *value);
    // True when a limit is set (min < max) and any element lies outside it.
    static bool isOutOfRange(const Pointbook::Tag *tag);

    static QString registerTypeName(Pointbook::Tag::RegisterType type);
    static QString tagKindName(Pointbook::Tag::TypeTag kind);

    // Index of the lowest set bit of a bit-field mask, -1 for no mask.
    static int lowestBit(quint64 mask);

private:
    static QString numberText(double value, Pointbook::Tag::DataType type, int precision);
};

} // namespace Workspace
