#pragma once

#include "idatabasetransaction.h"

namespace Sqlstore {
namespace Internal {

// Runs a caller's own statement whose rows, if any, are not wanted.
class SQLSTORE_EXPORT DBCustomCommandNotReturnData : public IDataBaseTransaction
{
    Q_OBJECT

public:
    DBCustomCommandNotReturnData(const QString &query, Priority priority = Normal, QObject *parent = nullptr);

    QSqlError process(QSqlDatabase database, QSqlQuery query) override;
};

} // namespace Internal
} // namespace Sqlstore
