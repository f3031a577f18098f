#pragma once

#include "idatabasetransaction.h"

namespace Sqlstore {
namespace Internal {

// Deletes rows, then rebuilds the table's indexes and compacts the file.
class SQLSTORE_EXPORT DBDeleteDataTable : public IDataBaseTransaction
{
    Q_OBJECT

public:
    DBDeleteDataTable(const QString &tableName, const QString &criterion = QString(),
                      Priority priority = Normal, QObject *parent = nullptr);

    QSqlError process(QSqlDatabase database, QSqlQuery query) override;
};

} // namespace Internal
} // namespace Sqlstore
