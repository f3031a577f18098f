#pragma once

#include "idatabasetransaction.h"

namespace Sqlstore {
namespace Internal {

// Adds columns, one statement per column definition.
class SQLSTORE_EXPORT DBAddColumnsTable : public IDataBaseTransaction
{
    Q_OBJECT

public:
    DBAddColumnsTable(const QString &tableName, const QStringList &instructions, Priority priority = Normal, QObject *parent = nullptr);

    QSqlError process(QSqlDatabase database, QSqlQuery query) override;
};

} // namespace Internal
} // namespace Sqlstore
