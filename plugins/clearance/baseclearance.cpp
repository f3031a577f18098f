#include "baseclearance.h"

namespace Clearance {

BaseClearance::BaseClearance(QObject *parent)
    : QObject(parent)
{
}

BaseClearance::~BaseClearance()
{
    clearBase();
}

bool BaseClearance::isValidType(ClearanceTag::RegisterType type)
{
    return type >= ClearanceTag::InputRegisters && type <= ClearanceTag::Coils;
}

bool BaseClearance::addTag(const QString &tagID, ClearanceTag *tag,
                           ClearanceTag::RegisterType type)
{
    if (!tag || tagID.isEmpty() || !isValidType(type))
        return false;
    TagHash &hash = m_hashes[indexOf(type)];
    if (hash.contains(tagID) || m_owned.contains(tag))
        return false;
    hash.insert(tagID, tag);
    m_owned.insert(tag);
    return true;
}

void BaseClearance::removeTag(const QString &tagID, ClearanceTag::RegisterType type)
{
    if (!isValidType(type))
        return;
    ClearanceTag *tag = m_hashes[indexOf(type)].take(tagID);
    if (tag) {
        m_owned.remove(tag);
        delete tag;
    }
}

void BaseClearance::clearTag(ClearanceTag::RegisterType type)
{
    if (!isValidType(type))
        return;
    TagHash hash;
    hash.swap(m_hashes[indexOf(type)]);
    for (ClearanceTag *tag : qAsConst(hash)) {
        m_owned.remove(tag);
        delete tag;
    }
}

void BaseClearance::clearBase()
{
    clearTag(ClearanceTag::InputRegisters);
    clearTag(ClearanceTag::HoldingRegisters);
    clearTag(ClearanceTag::DiscreteInputs);
    clearTag(ClearanceTag::Coils);
}

QHash<QString, ClearanceTag *> BaseClearance::tagHash(ClearanceTag::RegisterType type) const
{
    if (!isValidType(type))
        return {};
    return m_hashes[indexOf(type)];
}

int BaseClearance::sizeTagHash(ClearanceTag::RegisterType type) const
{
    if (!isValidType(type))
        return 0;
    return m_hashes[indexOf(type)].size();
}

bool BaseClearance::equals(const BaseClearance &other) const
{
    for (int i = 0; i < int(m_hashes.size()); ++i) {
        const TagHash &mine = m_hashes[i];
        const TagHash &theirs = other.m_hashes[i];
        if (mine.size() != theirs.size())
            return false;
        for (auto it = mine.cbegin(); it != mine.cend(); ++it) {
            const auto found = theirs.constFind(it.key());
            if (found == theirs.cend() || found.value() != it.value())
                return false;
        }
    }
    return true;
}

} // namespace Clearance
