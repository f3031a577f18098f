#include "dbinsertdatatable.h"

namespace Sqlstore {
namespace Internal {

DBInsertDataTable::DBInsertDataTable(const QString &tableName, const QStringList &columns,
                                     const QStringList &values, Priority priority,
                                     QObject *parent)
    : IDataBaseTransaction(parent)
{
    setPriority(priority);
    QString statement = QLatin1String("INSERT INTO ") + tableName + QLatin1String(" (");
    if (columns.size() == values.size()) {
        statement += columns.join(QLatin1String(", ")) + QLatin1String(") ")
                     + QLatin1String(" VALUES (") + values.join(QLatin1String(", "))
                     + QLatin1Char(')');
    }
    appendSqlQuery(statement);
}

QSqlError DBInsertDataTable::process(QSqlDatabase database, QSqlQuery query)
{
    return processNotReturnData(database, query);
}

} // namespace Internal
} // namespace Sqlstore
