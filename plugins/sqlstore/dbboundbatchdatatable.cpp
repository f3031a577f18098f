#include "dbboundbatchdatatable.h"
#include "boundstatement.h"

namespace Sqlstore {
namespace Internal {

DBBoundBatchDataTable::DBBoundBatchDataTable(const QString &statement, const Rows &rows,
                                             Priority priority, QObject *parent)
    : IDataBaseTransaction(parent)
    , m_rows(rows)
{
    setPriority(priority);
    appendSqlQuery(statement);
}

DBBoundBatchDataTable::DBBoundBatchDataTable(const QString &statement, int columns,
                                             const QVector<QVariant> &values, Priority priority,
                                             QObject *parent)
    : IDataBaseTransaction(parent)
    , m_values(values)
    , m_columns(qMax(columns, 1))
    , m_blockRows((values.size() + m_columns - 1) / m_columns)
{
    setPriority(priority);
    appendSqlQuery(statement);
}

int DBBoundBatchDataTable::rowCount() const
{
    return m_columns ? m_blockRows : m_rows.size();
}

QString DBBoundBatchDataTable::insertStatement(const QString &tableName, const QStringList &columns,
                                               const QString &verb)
{
    QStringList marks;
    marks.reserve(columns.size());
    for (int i = 0; i < columns.size(); ++i)
        marks.append(QStringLiteral("?"));
    return verb + QLatin1String(" INTO ") + tableName + QLatin1String(" (")
           + columns.join(QLatin1String(", ")) + QLatin1String(")  VALUES (")
           + marks.join(QLatin1String(", ")) + QLatin1Char(')');
}

QSqlError DBBoundBatchDataTable::process(QSqlDatabase database, QSqlQuery query)
{
    m_rowsAffected = 0;
    const QStringList statements = sqlQueryList();
    if (statements.size() != 1)
        m_error = QSqlError(QString(), tr("A batch holds exactly one statement."), QSqlError::StatementError);
    else if (m_columns)
        m_error = BoundStatement::run(database, query, statements.constFirst(), m_columns, m_values, nullptr,
                                      &m_rowsAffected);
    else
        m_error = BoundStatement::run(database, query, statements.constFirst(), m_rows, nullptr, &m_rowsAffected);
    // Let go of the values once run, so that a caller who keeps its block
    // can fill it again without a copy, however long the batch waits to be
    // deleted.
    m_values = QVector<QVariant>();
    // Emitted after the worker's commit, false when that commit fails.
    announceEnd(m_error.type() == QSqlError::NoError, nullptr);
    return m_error;
}

} // namespace Internal
} // namespace Sqlstore
