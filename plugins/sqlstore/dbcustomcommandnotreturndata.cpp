#include "dbcustomcommandnotreturndata.h"

namespace Sqlstore {
namespace Internal {

DBCustomCommandNotReturnData::DBCustomCommandNotReturnData(const QString &query, Priority priority, QObject *parent)
    : IDataBaseTransaction(parent)
{
    setPriority(priority);
    appendSqlQuery(query);
}

QSqlError DBCustomCommandNotReturnData::process(QSqlDatabase database, QSqlQuery query)
{
    return processNotReturnData(database, query);
}

} // namespace Internal
} // namespace Sqlstore
