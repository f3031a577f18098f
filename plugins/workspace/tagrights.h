#pragma once

#include "workspace_global.h"

#include <pointbook/tag.h>

#include <QHash>
#include <QString>

#include <array>

namespace Clearance {
class BaseClearance;
}

namespace Pointbook {
class BaseTag;
}

namespace Workspace {

// The rights of the current access level as a value: a copy taken from the
// level's rights collection, so that it stays valid when the access level
// plug-in replaces its collections.
//
// Without rights (no collection loaded for the level) every tag is shown and
// polled and none is writable. With rights, a tag the rights do not list is
// neither shown nor polled: a level grants what its file names.
class WORKSPACE_EXPORT TagRights
{
public:
    struct Access
    {
        bool visible = true;
        bool polled = true;
        bool writable = false;
    };

    TagRights() = default;
    static TagRights fromClearance(const Clearance::BaseClearance *rights);

    bool isRestricted() const { return m_restricted; }
    Access access(Pointbook::Tag::RegisterType type, const QString &id) const;

    // Sets every tag's polling flag (Tag::setUpdate) from these rights.
    // Returns the number of tags left polled.
    int applyPolling(Pointbook::BaseTag *base) const;

    void setAccess(Pointbook::Tag::RegisterType type, const QString &id, const Access &access);

private:
    bool m_restricted = false;
    std::array<QHash<QString, Access>, 4> m_tables;
};

} // namespace Workspace
