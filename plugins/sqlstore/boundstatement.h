#pragma once

#include "sqlstore_global.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <QVector>

namespace Sqlstore {
namespace Internal {

// Runs one statement with "?" placeholders once per row of values, the
// values bound, never written into the statement text. On an SQLite
// database the statement is prepared once on the connection behind Qt's
// driver and values are bound and read natively: Qt's driver converts
// every value through its own buffers, which cost more than the database's
// own work on the batches the recorder writes. Values are stored and
// returned as Qt's SQLite driver stores and returns them, so a file
// written either way reads the same. Other databases go through QSqlQuery.
class SQLSTORE_EXPORT BoundStatement
{
public:
    using Row = QVector<QVariant>;
    using Rows = QVector<Row>;

    // Runs once per row of `values` (not at all for none). Each row must
    // hold one value per placeholder; the first row that does not (or that
    // fails) ends the run with its error. With `result`, the rows each run
    // returns are appended there.
    static QSqlError run(QSqlDatabase &database, QSqlQuery &query, const QString &statement,
                         const Rows &values, Rows *result, qint64 *rowsAffected);
    // The same for rows laid out one after another in one block, `columns`
    // values to a row: one allocation for a whole batch instead of one per
    // row, which is what a large batch of small rows mostly cost.
    static QSqlError run(QSqlDatabase &database, QSqlQuery &query, const QString &statement,
                         int columns, const Row &values, Rows *result, qint64 *rowsAffected);

    // Runs one statement without bound values and appends the rows it
    // returns, natively on SQLite.
    static QSqlError select(QSqlDatabase &database, QSqlQuery &query, const QString &statement,
                            Rows *result);

    // Placeholders of a statement, counted outside quoted texts and names.
    static int placeholderCount(const QString &statement);
};

} // namespace Internal
} // namespace Sqlstore
