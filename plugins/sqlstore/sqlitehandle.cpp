#include "sqlitehandle.h"

#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

#include <cstring>

namespace Sqlstore {
namespace Internal {

sqlite3 *SqliteHandle::of(const QSqlDatabase &database)
{
    if (!database.isOpen() || !database.driver())
        return nullptr;
    const QVariant handle = database.driver()->handle();
    if (!handle.isValid() || !handle.typeName() || std::strcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

SqliteHandle::Transaction SqliteHandle::transaction(const QSqlDatabase &database)
{
    sqlite3 *handle = of(database);
    if (!handle)
        return Transaction::Unknown;
    return sqlite3_get_autocommit(handle) ? Transaction::None : Transaction::Open;
}

void SqliteHandle::setBusyHandler(sqlite3 *handle, BusyHandler handler, void *context)
{
    if (handle)
        sqlite3_busy_handler(handle, handler, context);
}

void SqliteHandle::interrupt(sqlite3 *handle)
{
    if (handle)
        sqlite3_interrupt(handle);
}

} // namespace Internal
} // namespace Sqlstore
