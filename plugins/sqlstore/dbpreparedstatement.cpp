#include "dbpreparedstatement.h"
#include "boundstatement.h"

namespace Sqlstore {
namespace Internal {

DBPreparedStatement::DBPreparedStatement(const QString &statement,
                                         const QVector<QVariantList> &boundRows, bool returnsRows,
                                         Priority priority, QObject *parent)
    : IDataBaseTransaction(parent)
    , m_boundRows(boundRows)
    , m_returnsRows(returnsRows)
{
    setPriority(priority);
    appendSqlQuery(statement);
}

QSqlError DBPreparedStatement::process(QSqlDatabase database, QSqlQuery query)
{
    // No rows of values: the statement runs once, without any.
    BoundStatement::Rows values;
    values.reserve(qMax(1, m_boundRows.size()));
    for (const QVariantList &row : qAsConst(m_boundRows))
        values.append(row.toVector());
    if (values.isEmpty())
        values.append(BoundStatement::Row());
    QVector<QVector<QVariant> > rows;
    const QSqlError error = BoundStatement::run(database, query, sqlQueryList().value(0), values,
                                                m_returnsRows ? &rows : nullptr, nullptr);
    announceEnd(error.type() == QSqlError::NoError, m_returnsRows ? &rows : nullptr);
    return error;
}

} // namespace Internal
} // namespace Sqlstore
