#pragma once

#include "browser_global.h"

#include <QString>
#include <QStringList>

namespace Clearance {
class BaseClearance;
}

namespace Browser {

// Who may write from the register browser. The browser writes registers
// that no tag describes, so no tag's rights can guard them; the level as a
// whole must be trusted with holding registers and coils: its rights file
// for the device's version marks no holding register or coil read-only, or
// it is the highest level, the last one of the access level list.
class BROWSER_EXPORT WriteAuthorisation
{
public:
    // Empty when the level may write; otherwise why not, for the user.
    static QString refusal(const QString &level, const Clearance::BaseClearance *rights,
                           const QStringList &levelsInOrder);
    // The level ids of an access level list, in file order.
    static QStringList levelOrder(const QString &listFile);
};

} // namespace Browser
