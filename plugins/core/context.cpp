#include "context.h"

namespace Core {

Context::Context(Id id)
{
    add(id);
}

Context::Context(Id id1, Id id2)
{
    add(id1);
    add(id2);
}

void Context::add(Id id)
{
    if (id.isValid() && !m_ids.contains(id))
        m_ids.append(id);
}

void Context::add(const Context &other)
{
    for (const Id &id : other)
        add(id);
}

bool Context::contains(Id id) const
{
    return m_ids.contains(id);
}

} // namespace Core
