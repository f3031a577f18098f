#include "dbdeletedatatable.h"

namespace Sqlstore {
namespace Internal {

DBDeleteDataTable::DBDeleteDataTable(const QString &tableName, const QString &criterion,
                                     Priority priority, QObject *parent)
    : IDataBaseTransaction(parent)
{
    setPriority(priority);
    QString deletion = QLatin1String("DELETE FROM ") + tableName;
    if (!criterion.isEmpty())
        deletion += QLatin1Char(' ') + criterion;
    appendSqlQuery(deletion);
    appendSqlQuery(QLatin1String("REINDEX ") + tableName);
    // Last, so that it runs outside any open transaction as VACUUM must.
    appendSqlQuery(QStringLiteral("VACUUM"));
}

QSqlError DBDeleteDataTable::process(QSqlDatabase database, QSqlQuery query)
{
    return processNotReturnData(database, query);
}

} // namespace Internal
} // namespace Sqlstore
