#pragma once

#include <QSqlDatabase>

struct sqlite3;

namespace Sqlstore {
namespace Internal {

// The SQLite connection behind a database of Qt's QSQLITE driver, for what
// that driver does not offer: whether a database transaction is open, a busy
// handler, and interrupting a statement from another thread.
class SqliteHandle
{
public:
    enum class Transaction {
        Unknown,  // not an SQLite database
        Open,
        None      // autocommit: nothing to commit or roll back
    };

    using BusyHandler = int (*)(void *context, int attempts);

    // Null for a closed database or another driver.
    static sqlite3 *of(const QSqlDatabase &database);
    static Transaction transaction(const QSqlDatabase &database);
    static void setBusyHandler(sqlite3 *handle, BusyHandler handler, void *context);
    // Safe from any thread while the connection stays open.
    static void interrupt(sqlite3 *handle);
};

} // namespace Internal
} // namespace Sqlstore
