#include "dbcustomcommandreturndata.h"

namespace Sqlstore {
namespace Internal {

DBCustomCommandReturnData::DBCustomCommandReturnData(const QString &query, Priority priority, QObject *parent)
    : IDataBaseTransaction(parent)
{
    setPriority(priority);
    appendSqlQuery(query);
}

QSqlError DBCustomCommandReturnData::process(QSqlDatabase database, QSqlQuery query)
{
    return processReturnData(database, query);
}

} // namespace Internal
} // namespace Sqlstore
