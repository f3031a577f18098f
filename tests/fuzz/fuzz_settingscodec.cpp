// The settings store's value codec: any bytes a settings database may hold.
// What decodes must encode again (the store writes its values back) into
// bytes that decode and encode once more. The bytes may differ from the
// input: Qt writes some values in a plainer form than it reads (a date and
// time at offset 0 comes back as UTC).
#include <core/settingscodec.h>

#include <QByteArray>
#include <QVariant>

#include <cstdint>
#include <cstdlib>

using Core::Internal::SettingsCodec;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 1 << 20)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    QVariant value;
    if (!SettingsCodec::decode(bytes, &value))
        return 0;
    const QByteArray again = SettingsCodec::encode(value);
    if (again.isNull())
        std::abort(); // read, but cannot be written back
    QVariant reread;
    if (!SettingsCodec::decode(again, &reread) || SettingsCodec::encode(reread).isNull())
        std::abort();
    return 0;
}
