#pragma once

#include "idatabasetransaction.h"

namespace Sqlstore {
namespace Internal {

// One statement with "?" placeholders, prepared once and executed once per
// row of values, all in the worker's one database transaction: the way to
// store many rows at a time. Values are bound, never written into the
// statement text, so no quoting is needed and no value can change the
// statement. A row whose value count differs from the placeholders, or any
// failing row, ends the transaction with the false signal and the worker
// rolls back every row of it: either all rows are stored or none.
class SQLSTORE_EXPORT DBBoundBatchDataTable : public IDataBaseTransaction
{
    Q_OBJECT

public:
    using Rows = QVector<QVector<QVariant> >;

    DBBoundBatchDataTable(const QString &statement, const Rows &rows,
                          Priority priority = Normal, QObject *parent = nullptr);
    // Rows laid out one after another, `columns` values to a row: a large
    // batch of small rows in one block (see BoundStatement).
    DBBoundBatchDataTable(const QString &statement, int columns, const QVector<QVariant> &values,
                          Priority priority = Normal, QObject *parent = nullptr);
    // "INSERT INTO table (columns)  VALUES (?, ...)" for the rows; an empty
    // column list leaves a statement the database rejects.
    static QString insertStatement(const QString &tableName, const QStringList &columns,
                                   const QString &verb = QStringLiteral("INSERT"));

    QSqlError process(QSqlDatabase database, QSqlQuery query) override;

    int rowCount() const;
    // Rows changed by all executions together; valid once the end signal came.
    qint64 rowsAffected() const { return m_rowsAffected; }
    // Why the batch failed (a row, or the commit after the last row), for
    // the user; valid once the end signal came.
    QSqlError error() const { return m_error.type() != QSqlError::NoError ? m_error : endError(); }

private:
    Rows m_rows;
    QVector<QVariant> m_values;
    int m_columns = 0; // 0: the rows are in m_rows
    int m_blockRows = 0;
    qint64 m_rowsAffected = 0;
    QSqlError m_error;
};

} // namespace Internal
} // namespace Sqlstore
