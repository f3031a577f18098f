#pragma once

#include "core_global.h"

#include <QByteArray>
#include <QHashFunctions>
#include <QMetaType>
#include <QString>

namespace Core {

// Names an action, menu, group or context by a dotted text such as
// "App.Menu.Tools". Cheap to copy; an id made from nothing is invalid.
class CORE_EXPORT Id
{
public:
    Id() = default;
    Id(const char *name);
    explicit Id(const QByteArray &name);

    static Id fromString(const QString &name);

    QByteArray name() const { return m_name; }
    QString toString() const;
    bool isValid() const { return !m_name.isEmpty(); }

    bool operator==(const Id &other) const { return m_name == other.m_name; }
    bool operator!=(const Id &other) const { return m_name != other.m_name; }
    bool operator<(const Id &other) const { return m_name < other.m_name; }

private:
    QByteArray m_name;
};

inline uint qHash(const Id &id, uint seed = 0)
{
    return ::qHash(id.name(), seed);
}

} // namespace Core

Q_DECLARE_METATYPE(Core::Id)
