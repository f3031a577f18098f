#pragma once

#include "core_global.h"

#include <QString>

namespace Core {

// Puts files shipped with the program (demo register maps, demo access
// files) into a user folder on first start. A folder that already holds
// files is left alone, and no existing file is ever replaced.
class CORE_EXPORT ShippedFiles
{
public:
    // "../share/appcore/demo/<part>" beside the program.
    static QString demoFolder(const QString &part);
    // Copies every file of sourceFolder into targetFolder (created when
    // missing) if targetFolder holds no files yet. Returns the number of
    // files copied, or -1 with *errorString set when a copy failed.
    static int install(const QString &sourceFolder, const QString &targetFolder,
                       QString *errorString = nullptr);
};

} // namespace Core
