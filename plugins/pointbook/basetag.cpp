#include "basetag.h"

namespace Pointbook {

BaseTag::BaseTag(QObject *parent)
    : QObject(parent)
{
    clearBase();
}

BaseTag::~BaseTag()
{
    const QList<Tag *> held = m_references.keys();
    m_references.clear();
    qDeleteAll(held);
}

QHash<QString, Tag *> *BaseTag::hashOf(Tag::RegisterType type)
{
    switch (type) {
    case Tag::IR: return &m_ir;
    case Tag::HR: return &m_hr;
    case Tag::DI: return &m_di;
    case Tag::CO: return &m_co;
    case Tag::UnknownRegister: break;
    }
    return nullptr;
}

const QHash<QString, Tag *> *BaseTag::hashOf(Tag::RegisterType type) const
{
    return const_cast<BaseTag *>(this)->hashOf(type);
}

void BaseTag::hold(Tag *tag)
{
    ++m_references[tag];
}

bool BaseTag::release(Tag *tag)
{
    const auto it = m_references.find(tag);
    if (it == m_references.end())
        return false;
    if (--it.value() > 0)
        return false;
    m_references.erase(it);
    return true;
}

QHash<QString, Tag *> BaseTag::tagHash(Tag::RegisterType type) const
{
    const QHash<QString, Tag *> *hash = hashOf(type);
    return hash ? *hash : QHash<QString, Tag *>();
}

int BaseTag::sizeTagHash(Tag::RegisterType type) const
{
    const QHash<QString, Tag *> *hash = hashOf(type);
    return hash ? hash->size() : 0;
}

bool BaseTag::equals(const BaseTag *other) const
{
    if (!other)
        return false;
    static const Tag::RegisterType types[] = {Tag::IR, Tag::HR, Tag::DI, Tag::CO};
    for (const Tag::RegisterType type : types) {
        if (hashOf(type)->size() != other->hashOf(type)->size())
            return false;
    }
    for (const Tag::RegisterType type : types) {
        const QHash<QString, Tag *> &mine = *hashOf(type);
        const QHash<QString, Tag *> &theirs = *other->hashOf(type);
        for (auto it = mine.cbegin(); it != mine.cend(); ++it) {
            if (theirs.value(it.key(), nullptr) != it.value())
                return false;
        }
    }
    return true;
}

bool BaseTag::addTag(const QString &tagID, Tag *tag, Tag::RegisterType type)
{
    QHash<QString, Tag *> *hash = hashOf(type);
    if (!tag || tagID.isEmpty() || !hash)
        return false;
    hold(tag);
    const auto it = hash->find(tagID);
    if (it != hash->end()) {
        release(it.value());
        it.value() = tag;
    } else {
        hash->insert(tagID, tag);
    }
    emit updateBase(type);
    return true;
}

void BaseTag::removeTag(const QString &tagID, Tag::RegisterType type)
{
    QHash<QString, Tag *> *hash = hashOf(type);
    if (!hash || !hash->contains(tagID))
        return;
    Tag *tag = hash->take(tagID);
    if (!tag)
        return;
    if (release(tag))
        delete tag;
    emit updateBase(type);
}

void BaseTag::clearTag(Tag::RegisterType type)
{
    QHash<QString, Tag *> *hash = hashOf(type);
    if (!hash)
        return;
    const QHash<QString, Tag *> removed = *hash;
    hash->clear();
    for (Tag *tag : removed) {
        if (release(tag))
            delete tag;
    }
    emit updateBase(type);
}

void BaseTag::clearBase()
{
    clearTag(Tag::IR);
    clearTag(Tag::HR);
    clearTag(Tag::DI);
    clearTag(Tag::CO);
}

} // namespace Pointbook
