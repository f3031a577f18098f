#pragma once

#include "core_global.h"
#include "id.h"

#include <QList>

namespace Core {

// The set of ids in which a command is active. Core keeps one context,
// "Global Context", always active.
class CORE_EXPORT Context
{
public:
    Context() = default;
    Context(Id id);
    Context(Id id1, Id id2);

    void add(Id id);
    void add(const Context &other);
    bool contains(Id id) const;
    bool isEmpty() const { return m_ids.isEmpty(); }
    int size() const { return m_ids.size(); }
    Id at(int index) const { return m_ids.at(index); }

    QList<Id>::const_iterator begin() const { return m_ids.cbegin(); }
    QList<Id>::const_iterator end() const { return m_ids.cend(); }

    bool operator==(const Context &other) const { return m_ids == other.m_ids; }
    bool operator!=(const Context &other) const { return m_ids != other.m_ids; }

private:
    QList<Id> m_ids;
};

} // namespace Core
