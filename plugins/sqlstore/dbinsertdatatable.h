#pragma once

#include "idatabasetransaction.h"

namespace Sqlstore {
namespace Internal {

// Inserts one row. Values go in verbatim: quote texts with protect(). Lists of
// different lengths leave a statement that the database rejects.
class SQLSTORE_EXPORT DBInsertDataTable : public IDataBaseTransaction
{
    Q_OBJECT

public:
    DBInsertDataTable(const QString &tableName, const QStringList &columns,
                      const QStringList &values, Priority priority = Normal,
                      QObject *parent = nullptr);

    QSqlError process(QSqlDatabase database, QSqlQuery query) override;
};

} // namespace Internal
} // namespace Sqlstore
