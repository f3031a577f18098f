#include "tagrights.h"

#include <clearance/baseclearance.h>
#include <clearance/clearancetag.h>
#include <pointbook/basetag.h>

using Pointbook::Tag;

namespace Workspace {

namespace {

int tableIndex(Tag::RegisterType type)
{
    const int t = int(type);
    return (t >= 1 && t <= 4) ? t - 1 : -1;
}

} // namespace

TagRights TagRights::fromClearance(const Clearance::BaseClearance *rights)
{
    TagRights result;
    if (!rights)
        return result;
    result.m_restricted = true;
    for (int t = 1; t <= 4; ++t) {
        const auto hash = rights->tagHash(Clearance::ClearanceTag::RegisterType(t));
        for (auto it = hash.cbegin(); it != hash.cend(); ++it) {
            const Clearance::ClearanceTag *tag = it.value();
            if (!tag)
                continue;
            Access access;
            access.visible = tag->visible();
            access.polled = tag->update();
            access.writable = !tag->readonly();
            result.m_tables[size_t(t - 1)].insert(it.key(), access);
        }
    }
    return result;
}

TagRights::Access TagRights::access(Tag::RegisterType type, const QString &id) const
{
    if (!m_restricted)
        return Access();
    const int t = tableIndex(type);
    if (t >= 0) {
        const auto &table = m_tables[size_t(t)];
        const auto it = table.constFind(id);
        if (it != table.cend())
            return it.value();
    }
    return Access{false, false, false};
}

void TagRights::setAccess(Tag::RegisterType type, const QString &id, const Access &access)
{
    const int t = tableIndex(type);
    if (t < 0)
        return;
    m_restricted = true;
    m_tables[size_t(t)].insert(id, access);
}

int TagRights::applyPolling(Pointbook::BaseTag *base) const
{
    if (!base)
        return 0;
    int polled = 0;
    for (int t = 1; t <= 4; ++t) {
        const auto type = Tag::RegisterType(t);
        const auto hash = base->tagHash(type);
        for (auto it = hash.cbegin(); it != hash.cend(); ++it) {
            Tag *tag = it.value();
            if (!tag)
                continue;
            // The rights file keys tags by the id the collection uses.
            const bool poll = access(type, it.key()).polled;
            tag->setUpdate(poll);
            polled += poll ? 1 : 0;
        }
    }
    return polled;
}

} // namespace Workspace
