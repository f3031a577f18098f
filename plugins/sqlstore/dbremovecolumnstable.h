#pragma once

#include "idatabasetransaction.h"

namespace Sqlstore {
namespace Internal {

// Drops columns, one statement per column.
class SQLSTORE_EXPORT DBRemoveColumnsTable : public IDataBaseTransaction
{
    Q_OBJECT

public:
    DBRemoveColumnsTable(const QString &tableName, const QStringList &columns, Priority priority = Normal, QObject *parent = nullptr);

    QSqlError process(QSqlDatabase database, QSqlQuery query) override;
};

} // namespace Internal
} // namespace Sqlstore
