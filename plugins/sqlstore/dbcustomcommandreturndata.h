#pragma once

#include "idatabasetransaction.h"

namespace Sqlstore {
namespace Internal {

// Runs a caller's own statement and delivers its rows.
class SQLSTORE_EXPORT DBCustomCommandReturnData : public IDataBaseTransaction
{
    Q_OBJECT

public:
    DBCustomCommandReturnData(const QString &query, Priority priority = Normal, QObject *parent = nullptr);

    QSqlError process(QSqlDatabase database, QSqlQuery query) override;
    bool deliversRows() const override { return true; }
};

} // namespace Internal
} // namespace Sqlstore
