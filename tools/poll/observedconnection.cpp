#include "observedconnection.h"

#include <fieldlink/imodbustransaction.h>

using Fieldlink::FieldlinkCore::IModbusTransaction;

namespace Poll {

ObservedConnection::ObservedConnection(QObject *parent)
    : ModbusConnection(parent)
{
}

void ObservedConnection::addTransactionExec(IModbusTransaction *transaction)
{
    if (transaction && transaction->status() == IModbusTransaction::Created) {
        connect(transaction, qOverload<bool, QVector<quint16>, int>(
                                 &IModbusTransaction::transactionExecutionEnded),
                this, &ObservedConnection::onEnded, Qt::UniqueConnection);
        connect(transaction, qOverload<bool, QVector<quint8>, int>(
                                 &IModbusTransaction::transactionExecutionEnded),
                this, &ObservedConnection::onEnded, Qt::UniqueConnection);
    }
    ModbusConnection::addTransactionExec(transaction);
}

void ObservedConnection::onEnded()
{
    if (auto *transaction = qobject_cast<IModbusTransaction *>(sender()))
        emit transactionEnded(transaction);
}

} // namespace Poll
