#pragma once

#include "poll_global.h"

#include <fieldlink/modbusconnection.h>

namespace Poll {

// The driver's connection, unchanged, that also reports the end of every
// request it executes: the poller learns which reads failed and why without
// the polling engine having to know about it.
class POLL_EXPORT ObservedConnection : public Fieldlink::FieldlinkCore::ModbusConnection
{
    Q_OBJECT

public:
    explicit ObservedConnection(QObject *parent = nullptr);

    void addTransactionExec(Fieldlink::FieldlinkCore::IModbusTransaction *transaction) override;

signals:
    // Emitted from the transaction's own completion signal, after the
    // receivers connected before execution (the engine) have run. The
    // transaction is valid during the emission only.
    void transactionEnded(Fieldlink::FieldlinkCore::IModbusTransaction *transaction);

private:
    void onEnded();
};

} // namespace Poll
