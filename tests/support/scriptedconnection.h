#pragma once

// A Modbus connection that never touches a wire, for tests of the polling
// engine and of what drives it: it hands out real transactions, records what
// was asked for and answers only when the test says so (or at once from a
// register table when autoAnswer is on).

#include <fieldlink/imodbustransaction.h>
#include <fieldlink/modbusconnection.h>

#include <QHash>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QVector>

using Fieldlink::FieldlinkCore::IModbusTransaction;
using Fieldlink::FieldlinkCore::ModbusConnection;
using Fieldlink::FieldlinkCore::QModbusSettings;

class ScriptedConnection : public ModbusConnection
{
public:
    struct Request
    {
        IModbusTransaction::Function function;
        int start;
        int count;
        int priority;
        bool operator==(const Request &o) const
        {
            return function == o.function && start == o.start && count == o.count
                && priority == o.priority;
        }
    };

    QList<Request> requests;                        // every read asked for
    QList<QPointer<IModbusTransaction>> created;    // every transaction made
    QList<QPointer<IModbusTransaction>> executed;   // handed over, in order
    QList<QPointer<IModbusTransaction>> unanswered; // handed over, not yet ended
    QSet<int> refusedStarts;                        // reads at these starts return null
    bool refuseAll = false;
    // Reads of this function hand out the same transaction again (one id twice).
    IModbusTransaction::Function duplicateFunction = IModbusTransaction::ReadDeviceIdentification;
    bool autoAnswer = false;
    QHash<int, quint16> registers; // address -> word for automatic answers
    QHash<int, quint8> bits;       // address -> bit for automatic answers (1 when absent)
    int clears = 0;
    // clearTransactions() ends handed-over, unanswered requests the way the
    // driver ends those not yet on the wire: false, from the event loop.
    bool clearEndsHandedOver = false;

    IModbusTransaction *readInputs(int s, int c, QModbusSettings *st,
                                   IModbusTransaction::Priority p) override
    {
        return make(IModbusTransaction::ReadInputRegisters, s, c, st, p);
    }
    IModbusTransaction *readHoldings(int s, int c, QModbusSettings *st,
                                     IModbusTransaction::Priority p) override
    {
        return make(IModbusTransaction::ReadHoldingRegisters, s, c, st, p);
    }
    IModbusTransaction *readDiscretes(int s, int c, QModbusSettings *st,
                                      IModbusTransaction::Priority p) override
    {
        return make(IModbusTransaction::ReadDiscreteInputs, s, c, st, p);
    }
    IModbusTransaction *readCoils(int s, int c, QModbusSettings *st,
                                  IModbusTransaction::Priority p) override
    {
        return make(IModbusTransaction::ReadCoils, s, c, st, p);
    }

    void addTransactionExec(IModbusTransaction *t) override
    {
        executed.append(t);
        unanswered.append(t);
        t->setStatus(IModbusTransaction::Queued);
        if (autoAnswer) {
            QPointer<IModbusTransaction> guard = t;
            QTimer::singleShot(0, this, [this, guard]() {
                if (guard)
                    answer(guard);
            });
        }
    }

    void clearTransactions() override
    {
        ++clears;
        if (clearEndsHandedOver) {
            for (const QPointer<IModbusTransaction> &t : onWire()) {
                QTimer::singleShot(0, this, [this, t]() {
                    if (t)
                        failNext(t);
                });
            }
            unanswered.clear();
        }
        for (const QPointer<IModbusTransaction> &t : qAsConst(created)) {
            if (t && t->status() == IModbusTransaction::Created)
                t->deleteLater();
        }
    }

    // Ends a handed-over transaction the way the driver does: the signal,
    // then the object goes.
    void answer(IModbusTransaction *t, int length = -1)
    {
        unanswered.removeAll(t);
        const int n = length < 0 ? t->count() : length;
        if (t->isBitAccess()) {
            QVector<quint8> values;
            for (int i = 0; i < n; ++i)
                values.append(bits.value(t->startAddress() + i, 1));
            t->complete(values);
        } else {
            QVector<quint16> words;
            for (int i = 0; i < n; ++i)
                words.append(registers.value(t->startAddress() + i, quint16(t->startAddress() + i)));
            t->complete(words);
        }
        t->deleteLater();
    }
    void answerWords(IModbusTransaction *t, const QVector<quint16> &words)
    {
        unanswered.removeAll(t);
        t->complete(words);
        t->deleteLater();
    }
    // Answers the oldest handed-over request with words (bits all 1).
    bool answerNext(const QVector<quint16> &words)
    {
        const QList<QPointer<IModbusTransaction>> pending = onWire();
        if (pending.isEmpty())
            return false;
        QPointer<IModbusTransaction> t = pending.first();
        unanswered.removeAll(t);
        if (t->isBitAccess())
            t->complete(QVector<quint8>(t->count(), 1));
        else
            t->complete(words.mid(0, t->count()));
        if (t)
            t->deleteLater();
        return true;
    }
    void failNext(IModbusTransaction *t)
    {
        unanswered.removeAll(t);
        t->fail(IModbusTransaction::Timeout, QStringLiteral("no answer"));
        t->deleteLater();
    }

    // Handed over and neither answered nor freed, oldest first.
    QList<QPointer<IModbusTransaction>> onWire()
    {
        unanswered.removeAll(nullptr);
        return unanswered;
    }

    int live() const
    {
        int n = 0;
        for (const auto &t : created)
            n += t ? 1 : 0;
        return n;
    }

private:
    IModbusTransaction *make(IModbusTransaction::Function f, int s, int c, QModbusSettings *st,
                             IModbusTransaction::Priority p)
    {
        requests.append({f, s, c, int(p)});
        if (refuseAll || refusedStarts.contains(s))
            return nullptr;
        if (f == duplicateFunction) {
            for (const auto &t : qAsConst(created)) {
                if (t && t->function() == f && t->status() == IModbusTransaction::Created)
                    return t;
            }
        }
        auto t = new IModbusTransaction(f, s, c, st ? *st : QModbusSettings(), p, this);
        created.append(t);
        return t;
    }
};
