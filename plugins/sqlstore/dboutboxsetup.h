#pragma once

#include "idatabasetransaction.h"

namespace Sqlstore {
namespace Internal {

// Runs statements that change the outbox (a trigger registered, copying
// turned on or off), then makes the triggers registered in outbox_trigger
// match outbox_control: present while rows are copied, absent otherwise. A
// trigger costs every insert into its table even while its WHEN clause says
// no, so a file without a server records at full speed. Every change ends
// with this step on the database's one worker, so whichever of them runs
// last leaves the triggers right, whatever the queue order.
class SQLSTORE_EXPORT DBOutboxSetup : public IDataBaseTransaction
{
    Q_OBJECT

public:
    explicit DBOutboxSetup(const QStringList &statements, Priority priority = Normal, QObject *parent = nullptr);

    QSqlError process(QSqlDatabase database, QSqlQuery query) override;

private:
    static QSqlError matchTriggers(QSqlQuery &query);
};

} // namespace Internal
} // namespace Sqlstore
