#include "id.h"

namespace Core {

Id::Id(const char *name)
    : m_name(name)
{
}

Id::Id(const QByteArray &name)
    : m_name(name)
{
}

Id Id::fromString(const QString &name)
{
    return Id(name.toUtf8());
}

QString Id::toString() const
{
    return QString::fromUtf8(m_name);
}

} // namespace Core
