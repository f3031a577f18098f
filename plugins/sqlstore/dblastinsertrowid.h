#pragma once

#include "idatabasetransaction.h"

namespace Sqlstore {
namespace Internal {

// Asks for the row id of the last row inserted through the worker's connection,
// by whichever transaction ran last.
class SQLSTORE_EXPORT DBLastInsertRowid : public IDataBaseTransaction
{
    Q_OBJECT

public:
    explicit DBLastInsertRowid(Priority priority = Normal, QObject *parent = nullptr);

    QSqlError process(QSqlDatabase database, QSqlQuery query) override;
    bool deliversRows() const override { return true; }
};

} // namespace Internal
} // namespace Sqlstore
