#include "dbcreatetable.h"

namespace Sqlstore {
namespace Internal {

DBCreateTable::DBCreateTable(const QString &tableName, const QStringList &instruction, Priority priority, QObject *parent)
    : IDataBaseTransaction(parent)
{
    setPriority(priority);
    appendSqlQuery(QLatin1String("CREATE TABLE IF NOT EXISTS ") + tableName + QLatin1String(" (")
                   + instruction.join(QLatin1String(", ")) + QLatin1Char(')'));
}

QSqlError DBCreateTable::process(QSqlDatabase database, QSqlQuery query)
{
    return processNotReturnData(database, query);
}

} // namespace Internal
} // namespace Sqlstore
