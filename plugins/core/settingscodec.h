#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace Core {
namespace Internal {

// The stored form of a settings value: a QVariant in QDataStream form.
// Reading trusts nothing in the bytes: every count and length must fit in
// what is left, nesting is bounded, and only types whose reading is bounded
// are accepted; anything else is refused instead of handed to Qt's reader,
// which would reserve memory for any count a blob claims and recurse as deep
// as it is nested.
class SettingsCodec
{
public:
    // Deepest nesting of lists and maps inside a value.
    static constexpr int MaxDepth = 32;
    // Largest stored value, in bytes.
    static constexpr int MaxBytes = 16 * 1024 * 1024;

    // Null with a reason when the value cannot be kept in a form that
    // decode() reads back.
    static QByteArray encode(const QVariant &value, QString *reason = nullptr);
    // An invalid value and false when the bytes are not a value this store
    // can read.
    static bool decode(const QByteArray &bytes, QVariant *value, QString *reason = nullptr);
};

} // namespace Internal
} // namespace Core
