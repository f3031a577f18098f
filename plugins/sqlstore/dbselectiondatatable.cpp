#include "dbselectiondatatable.h"

namespace Sqlstore {
namespace Internal {

DBSelectionDataTable::DBSelectionDataTable(const QString &tableName, const QStringList &columns,
                                           const QMap<QString, TypeSort> &sortColums,
                                           const QString &criterion, int limit, int offset,
                                           Priority priority, QObject *parent)
    : IDataBaseTransaction(parent)
{
    setPriority(priority);
    QString statement = QStringLiteral("SELECT ");
    statement += columns.isEmpty() ? QStringLiteral("* ")
                                   : columns.join(QLatin1Char(',')) + QLatin1Char(' ');
    statement += QLatin1String("FROM ") + tableName + QLatin1Char(' ');
    if (!criterion.isEmpty())
        statement += criterion + QLatin1Char(' ');

    // NoSort entries name no direction and are left out, with ORDER BY itself
    // when none remains: an empty sort term would make the statement invalid.
    QStringList sortTerms;
    for (auto it = sortColums.cbegin(); it != sortColums.cend(); ++it) {
        if (it.value() == NoSort)
            continue;
        QString term = QLatin1Char(' ') + it.key() + QLatin1Char(' ');
        if (it.value() == Ascending)
            term += QLatin1String("ASC");
        else if (it.value() == Descending)
            term += QLatin1String("DESC");
        sortTerms.append(term);
    }
    if (!sortTerms.isEmpty())
        statement += QLatin1String("ORDER BY") + sortTerms.join(QLatin1Char(',')) + QLatin1Char(' ');

    if (limit != -1)
        statement += QLatin1String("LIMIT ") + QString::number(limit) + QLatin1Char(' ');
    if (offset != -1)
        statement += QLatin1String("OFFSET ") + QString::number(offset) + QLatin1Char(' ');
    appendSqlQuery(statement);
}

QSqlError DBSelectionDataTable::process(QSqlDatabase database, QSqlQuery query)
{
    return processReturnData(database, query);
}

} // namespace Internal
} // namespace Sqlstore
