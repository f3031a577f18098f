#pragma once

#include <fieldlink/imodbustransaction.h>
#include <fieldlink/modbusconnection.h>

#include <QList>
#include <QPointer>

// A Modbus connection that never touches a wire: requests handed to it wait
// in onWire() until the test answers them.
class FakeConnection : public Fieldlink::FieldlinkCore::ModbusConnection
{
public:
    using Transaction = Fieldlink::FieldlinkCore::IModbusTransaction;
    using Settings = Fieldlink::FieldlinkCore::QModbusSettings;

    Transaction *readInputs(int start, int count, Settings *settings,
                            Transaction::Priority priority) override
    {
        return make(Transaction::ReadInputRegisters, start, count, settings, priority);
    }
    Transaction *readHoldings(int start, int count, Settings *settings,
                              Transaction::Priority priority) override
    {
        return make(Transaction::ReadHoldingRegisters, start, count, settings, priority);
    }
    Transaction *readDiscretes(int start, int count, Settings *settings,
                               Transaction::Priority priority) override
    {
        return make(Transaction::ReadDiscreteInputs, start, count, settings, priority);
    }
    Transaction *readCoils(int start, int count, Settings *settings,
                           Transaction::Priority priority) override
    {
        return make(Transaction::ReadCoils, start, count, settings, priority);
    }

    void addTransactionExec(Transaction *transaction) override
    {
        m_created.removeAll(QPointer<Transaction>(transaction));
        m_wire.append(transaction);
        ++executed;
    }

    // Like the real driver: what is not on the wire yet is dropped.
    void clearTransactions() override
    {
        for (const QPointer<Transaction> &t : qAsConst(m_created)) {
            if (t)
                t->deleteLater();
        }
        m_created.clear();
        ++clears;
    }

    QList<QPointer<Transaction>> onWire()
    {
        m_wire.removeAll(nullptr);
        return m_wire;
    }

    // Answers the oldest request on the wire with words (or bits).
    bool answerNext(const QVector<quint16> &words)
    {
        m_wire.removeAll(nullptr);
        if (m_wire.isEmpty())
            return false;
        QPointer<Transaction> t = m_wire.takeFirst();
        if (t->isBitAccess())
            t->complete(QVector<quint8>(t->count(), 1));
        else
            t->complete(words.mid(0, t->count()));
        if (t)
            t->deleteLater();
        return true;
    }

    int executed = 0;
    int clears = 0;

private:
    Transaction *make(Transaction::Function function, int start, int count, Settings *settings,
                      Transaction::Priority priority)
    {
        if (!Transaction::isValidRange(function, start, count))
            return nullptr;
        auto *t = new Transaction(function, start, count, settings ? *settings : Settings(),
                                  priority, this);
        m_created.append(t);
        return t;
    }

    QList<QPointer<Transaction>> m_created;
    QList<QPointer<Transaction>> m_wire;
};
