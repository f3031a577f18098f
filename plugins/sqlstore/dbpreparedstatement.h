#pragma once

#include "idatabasetransaction.h"

#include <QVariantList>

namespace Sqlstore {
namespace Internal {

// One statement with placeholders ("?"), run once per row of bound values:
// values never become part of the statement text, so nothing a user typed
// or a device sent can change it. With rows wanted, the rows of every run
// are announced with the two-argument signal.
class SQLSTORE_EXPORT DBPreparedStatement : public IDataBaseTransaction
{
    Q_OBJECT

public:
    DBPreparedStatement(const QString &statement, const QVector<QVariantList> &boundRows,
                        bool returnsRows = false, Priority priority = Normal,
                        QObject *parent = nullptr);

    QSqlError process(QSqlDatabase database, QSqlQuery query) override;
    bool deliversRows() const override { return m_returnsRows; }

private:
    QVector<QVariantList> m_boundRows;
    bool m_returnsRows;
};

} // namespace Internal
} // namespace Sqlstore
