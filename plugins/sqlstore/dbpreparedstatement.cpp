#include "dbpreparedstatement.h"

#include <QSqlRecord>

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
    Q_UNUSED(database)
    QVector<QVector<QVariant> > rows;
    QSqlError error;
    query.setForwardOnly(true);
    if (!query.prepare(sqlQueryList().value(0))) {
        error = query.lastError();
    } else {
        const QVector<QVariantList> runs = m_boundRows.isEmpty() ? QVector<QVariantList>{{}} : m_boundRows;
        for (const QVariantList &values : runs) {
            for (int i = 0; i < values.size(); ++i)
                query.bindValue(i, values.at(i));
            if (!query.exec()) {
                error = query.lastError();
                break;
            }
            if (m_returnsRows) {
                const int columns = query.record().count();
                while (query.next()) {
                    QVector<QVariant> row;
                    row.reserve(columns);
                    for (int column = 0; column < columns; ++column)
                        row.append(query.value(column));
                    rows.append(row);
                }
            }
            query.finish();
        }
    }
    announceEnd(error.type() == QSqlError::NoError, m_returnsRows ? &rows : nullptr);
    return error;
}

} // namespace Internal
} // namespace Sqlstore
