#pragma once

#include "idatabasetransaction.h"

namespace Sqlstore {
namespace Internal {

// Drops a table if it exists.
class SQLSTORE_EXPORT DBDeleteTable : public IDataBaseTransaction
{
    Q_OBJECT

public:
    DBDeleteTable(const QString &tableName, Priority priority = Normal, QObject *parent = nullptr);

    QSqlError process(QSqlDatabase database, QSqlQuery query) override;
};

} // namespace Internal
} // namespace Sqlstore
