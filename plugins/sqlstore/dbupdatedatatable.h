#pragma once

#include "idatabasetransaction.h"

namespace Sqlstore {
namespace Internal {

// Updates rows: column i is set to value i. The criterion is a complete SQL
// fragment with its keyword (WHERE ...); without one every row is updated.
class SQLSTORE_EXPORT DBUpdateDataTable : public IDataBaseTransaction
{
    Q_OBJECT

public:
    DBUpdateDataTable(const QString &tableName, const QStringList &columns,
                      const QStringList &values, const QString &criterion = QString(),
                      Priority priority = Normal, QObject *parent = nullptr);

    QSqlError process(QSqlDatabase database, QSqlQuery query) override;
};

} // namespace Internal
} // namespace Sqlstore
