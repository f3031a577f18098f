#include "dbupdatedatatable.h"

namespace Sqlstore {
namespace Internal {

DBUpdateDataTable::DBUpdateDataTable(const QString &tableName, const QStringList &columns,
                                     const QStringList &values, const QString &criterion,
                                     Priority priority, QObject *parent)
    : IDataBaseTransaction(parent)
{
    setPriority(priority);
    QString statement = QLatin1String("UPDATE ") + tableName + QLatin1String(" SET ");
    if (columns.size() == values.size()) {
        for (int i = 0; i < columns.size(); ++i) {
            statement += columns.at(i) + QLatin1String(" = ") + values.at(i);
            statement += i == columns.size() - 1 ? QLatin1String(" ") : QLatin1String(", ");
        }
        if (!criterion.isEmpty())
            statement += criterion;
    }
    appendSqlQuery(statement);
}

QSqlError DBUpdateDataTable::process(QSqlDatabase database, QSqlQuery query)
{
    return processNotReturnData(database, query);
}

} // namespace Internal
} // namespace Sqlstore
