// Register map reader: any bytes as a map file, through the whole load
// (decoding, repair, parsing, tag creation, address layout), then every
// loaded tag decodes a reply of its own size.
#include "scratchfile.h"

#include <pointbook/basetag.h>
#include <pointbook/tagbaseloader.h>

#include <QCoreApplication>

#include <cstdint>

using namespace Pointbook;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const ScratchFile file(QStringLiteral("-base_v1.00.xml"));
    if (!file.write(QByteArray(reinterpret_cast<const char *>(data), int(size))))
        return 0;
    TagBaseLoader loader(file.path(), QStringLiteral("1.00"));
    if (!loader.readBase())
        return 0;
    for (const Tag::RegisterType type : {Tag::IR, Tag::HR, Tag::DI, Tag::CO}) {
        const QHash<QString, Tag *> tags = loader.base()->tagHash(type);
        for (Tag *tag : tags) {
            tag->setRawData(QVector<quint16>(tag->sizeRegisters(), 0xA55A));
            tag->value();
        }
    }
    return 0;
}
