#pragma once

#include "idatabasetransaction.h"

namespace Sqlstore {
namespace Internal {

// Creates a table unless it exists; each definition is one column or constraint.
class SQLSTORE_EXPORT DBCreateTable : public IDataBaseTransaction
{
    Q_OBJECT

public:
    DBCreateTable(const QString &tableName, const QStringList &instruction, Priority priority = Normal, QObject *parent = nullptr);

    QSqlError process(QSqlDatabase database, QSqlQuery query) override;
};

} // namespace Internal
} // namespace Sqlstore
