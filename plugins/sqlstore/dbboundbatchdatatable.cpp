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
    m_error = statements.size() == 1
                  ? BoundStatement::run(database, query, statements.constFirst(), m_rows, nullptr,
                                        &m_rowsAffected)
                  : QSqlError(QString(), tr("A batch holds exactly one statement."),
                              QSqlError::StatementError);
    // Emitted after the worker's commit, false when that commit fails.
    announceEnd(m_error.type() == QSqlError::NoError, nullptr);
    return m_error;
}

} // namespace Internal
} // namespace Sqlstore
