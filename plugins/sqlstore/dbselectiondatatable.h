#pragma once

#include "idatabasetransaction.h"

#include <QMap>

namespace Sqlstore {
namespace Internal {

// Reads rows. Sort columns are written in the map's key order; an empty
// column list selects every column; -1 leaves out LIMIT or OFFSET.
class SQLSTORE_EXPORT DBSelectionDataTable : public IDataBaseTransaction
{
    Q_OBJECT

public:
    // Any integer is a valid value; unknown ones add no direction word.
    enum TypeSort : int {
        NoSort = 0,
        Ascending = 1,
        Descending = 2
    };

    DBSelectionDataTable(const QString &tableName, const QStringList &columns = QStringList(),
                         const QMap<QString, TypeSort> &sortColums = QMap<QString, TypeSort>(),
                         const QString &criterion = QString(), int limit = -1, int offset = -1,
                         Priority priority = Normal, QObject *parent = nullptr);

    QSqlError process(QSqlDatabase database, QSqlQuery query) override;
    bool deliversRows() const override { return true; }
};

} // namespace Internal
} // namespace Sqlstore
