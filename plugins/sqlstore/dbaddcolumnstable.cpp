#include "dbaddcolumnstable.h"

namespace Sqlstore {
namespace Internal {

DBAddColumnsTable::DBAddColumnsTable(const QString &tableName, const QStringList &instructions, Priority priority, QObject *parent)
    : IDataBaseTransaction(parent)
{
    setPriority(priority);
    for (const QString &instruction : instructions)
        appendSqlQuery(QLatin1String("ALTER TABLE ") + tableName + QLatin1String(" ADD COLUMN ") + instruction);
}

QSqlError DBAddColumnsTable::process(QSqlDatabase database, QSqlQuery query)
{
    return processNotReturnData(database, query);
}

} // namespace Internal
} // namespace Sqlstore
