#include "dbdeletetable.h"

namespace Sqlstore {
namespace Internal {

DBDeleteTable::DBDeleteTable(const QString &tableName, Priority priority, QObject *parent)
    : IDataBaseTransaction(parent)
{
    setPriority(priority);
    appendSqlQuery(QLatin1String("DROP TABLE IF EXISTS ") + tableName);
}

QSqlError DBDeleteTable::process(QSqlDatabase database, QSqlQuery query)
{
    return processNotReturnData(database, query);
}

} // namespace Internal
} // namespace Sqlstore
