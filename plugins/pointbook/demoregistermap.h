#pragma once

#include "pointbook_global.h"

#include <QString>

namespace Pointbook {

// Puts the register map shipped for the demo device where the plug-in looks
// for register maps, on first start only: a folder that already holds files
// is left alone, and no existing file is ever replaced.
class POINTBOOK_EXPORT DemoRegisterMap
{
public:
    // "../share/appcore/demo/pointbook" beside the program.
    static QString shippedFolder();
    // Copies every file of sourceFolder into targetFolder (created when
    // missing) if targetFolder holds no files yet. Returns the number of
    // files copied, or -1 with *errorString set when a copy failed.
    static int install(const QString &sourceFolder, const QString &targetFolder,
                       QString *errorString = nullptr);
};

} // namespace Pointbook
