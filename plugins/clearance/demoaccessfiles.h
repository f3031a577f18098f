#pragma once

#include "clearance_global.h"

#include <QString>

namespace Clearance {

// Puts the access files shipped for the demo device into the user's access
// folder on first start. A folder that already holds files is left alone,
// and no existing file is ever replaced.
class CLEARANCE_EXPORT DemoAccessFiles
{
public:
    // "../share/appcore/demo/clearance" beside the program.
    static QString shippedFolder();
    // Copies every file of sourceFolder into targetFolder (created when
    // missing) if targetFolder holds no files yet. Returns the number of
    // files copied, or -1 with *errorString set when a copy failed.
    static int install(const QString &sourceFolder, const QString &targetFolder,
                       QString *errorString = nullptr);
};

} // namespace Clearance
