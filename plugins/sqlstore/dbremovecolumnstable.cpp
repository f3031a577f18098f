#include "dbremovecolumnstable.h"

namespace Sqlstore {
namespace Internal {

DBRemoveColumnsTable::DBRemoveColumnsTable(const QString &tableName, const QStringList &columns, Priority priority, QObject *parent)
    : IDataBaseTransaction(parent)
{
    setPriority(priority);
    for (const QString &column : columns)
        appendSqlQuery(QLatin1String("ALTER TABLE ") + tableName + QLatin1String(" DROP COLUMN ") + column);
}

QSqlError DBRemoveColumnsTable::process(QSqlDatabase database, QSqlQuery query)
{
    return processNotReturnData(database, query);
}

} // namespace Internal
} // namespace Sqlstore
