// Access file reader: any bytes as the rights file of one level.
#include "scratchfile.h"

#include <clearance/baseclearance.h>
#include <clearance/clearanceloader.h>

#include <QCoreApplication>

#include <cstdint>

using namespace Clearance;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const ScratchFile file(QStringLiteral("-engineer_v1.00.xml"));
    if (!file.write(QByteArray(reinterpret_cast<const char *>(data), int(size))))
        return 0;
    BaseClearance base;
    ClearanceLoader loader;
    loader.setBase(&base);
    loader.setFileName(file.path());
    loader.setVersionBase(QStringLiteral("1.00"));
    loader.readBase();
    return 0;
}
