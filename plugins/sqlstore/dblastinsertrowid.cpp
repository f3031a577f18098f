#include "dblastinsertrowid.h"

namespace Sqlstore {
namespace Internal {

DBLastInsertRowid::DBLastInsertRowid(Priority priority, QObject *parent)
    : IDataBaseTransaction(parent)
{
    setPriority(priority);
    appendSqlQuery(QStringLiteral("SELECT last_insert_rowid()"));
}

QSqlError DBLastInsertRowid::process(QSqlDatabase database, QSqlQuery query)
{
    return processReturnData(database, query);
}

} // namespace Internal
} // namespace Sqlstore
