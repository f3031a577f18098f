#pragma once

#include "browser_global.h"

#include <QString>

namespace Browser {

// Importing register maps and access files into the folders the program
// reads them from. Each file is checked by the loader that will read it
// (errors with line and column), then copied under the name the program
// looks for; a file it replaces is kept as a backup. UI-free, so that the
// checks can run on a worker thread.
class BROWSER_EXPORT FileImport
{
public:
    enum Kind {
        RegisterMap = 0,  // base_v<version>.xml
        AccessList,       // clearance.xml
        AccessRights      // <level>_v<version>.xml
    };

    struct Result
    {
        bool ok = false;
        QString error;
        int entries = 0; // tags of a map or rights file, levels of a list
    };

    // The version a file name carries ("base_v1.00.xml" gives "1.00" for a
    // map; "engineer_v1.00.xml" gives "1.00" and the level "engineer" for
    // rights); empty when it carries none.
    static QString versionFromName(Kind kind, const QString &fileName, QString *level = nullptr);
    // The "version" attribute of the file's root element, read with the
    // loaders' text rules; empty when there is none.
    static QString rootVersion(const QString &fileName);
    // Whether a file is an access level list rather than a rights file:
    // named clearance.xml, or a root whose children are "clearance" elements.
    static bool isAccessList(const QString &fileName);

    static Result checkMap(const QString &fileName, const QString &version);
    static Result checkAccessList(const QString &fileName);
    static Result checkRights(const QString &fileName, const QString &version);

    // The name the program looks for.
    static QString targetName(Kind kind, const QString &version, const QString &level = QString());

    // Copies the checked file to folder/targetName; the file it replaces is
    // kept as a backup (path in *backup).
    static bool install(const QString &fileName, const QString &folder, const QString &target,
                        QString *backup, QString *error);
};

} // namespace Browser
