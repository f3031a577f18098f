#include "databaseconnection.h"

#include "databasethread.h"
#include "dbaddcolumnstable.h"
#include "dbcreatetable.h"
#include "dbcustomcommandnotreturndata.h"
#include "dboutboxsetup.h"
#include "dbcustomcommandreturndata.h"
#include "dbdeletedatatable.h"
#include "dbdeletetable.h"
#include "dbinsertdatatable.h"
#include "dblastinsertrowid.h"
#include "dbremovecolumnstable.h"
#include "dbupdatedatatable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMetaType>
#include <QThread>
#include <QtDebug>

namespace Sqlstore {
namespace Internal {

using TransactionList = QList<IDataBaseTransaction *>;
using DataTable = QVector<QVector<QVariant> >;

DataBaseConnection::DataBaseConnection(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<IDataBaseTransaction *>("IDataBaseTransaction *");
    qRegisterMetaType<TransactionList>("QList<IDataBaseTransaction *>");
    qRegisterMetaType<DataTable>("QVector<QVector<QVariant> >");
}

DataBaseConnection::~DataBaseConnection()
{
    stop();
}

bool DataBaseConnection::initDataBaseConnection()
{
    if (worker || thread)
        return true;
    worker = new DataBaseThread;
    thread = new QThread(this);

    // Queued even while the worker still shares this thread: a user slot
    // connected directly to a transaction's end signal runs on the worker
    // thread in the middle of a pass, and queueing from there must not call
    // into the worker, which holds its lock for the whole pass.
    connect(this, qOverload<IDataBaseTransaction *>(&DataBaseConnection::addTransaction),
            worker, qOverload<IDataBaseTransaction *>(&DataBaseThread::addTransaction),
            Qt::QueuedConnection);
    connect(this, qOverload<TransactionList>(&DataBaseConnection::addTransaction),
            worker, qOverload<TransactionList>(&DataBaseThread::addTransaction),
            Qt::QueuedConnection);
    connect(this, &DataBaseConnection::transactionClearAll,
            worker, &DataBaseThread::clearAllTransaction, Qt::QueuedConnection);

    connect(thread, &QThread::started, worker, &DataBaseThread::run);
    connect(thread, &QThread::finished, worker, &DataBaseThread::stop);
    return true;
}

void DataBaseConnection::setSettings(DataBaseSettings *settings)
{
    if (worker)
        worker->setSettings(settings);
}

bool DataBaseConnection::start()
{
    if (!worker || !thread)
        return false;
    if (thread->isRunning())
        return true;
    worker->moveToThread(thread);
    thread->start(QThread::HighPriority);
    // The system may refuse a new thread; stop() then waits for nothing.
    if (!thread->isRunning() && !thread->isFinished()) {
        qWarning().noquote() << tr("The database worker could not start: the system refused to start a thread for it.");
        return false;
    }
    emit launched();
    return true;
}

void DataBaseConnection::stop()
{
    if (thread && thread->isRunning()) {
        QElapsedTimer clock;
        clock.start();
        if (worker)
            worker->requestStop();
        thread->quit();
        // isRunning() turns false before the thread's finished handlers,
        // the worker's stop() among them, have run; wait() tells the end.
        bool ended = thread->wait(DataBaseThread::StopWorkBudget + StopGrace);
        // A statement that outlasts the budget is interrupted. The call is
        // repeated: one that starts just after an interrupt runs on.
        while (!ended && worker && clock.elapsed() < StopTimeout) {
            worker->abandon();
            ended = thread->wait(50);
        }
        if (!ended) {
            // Terminating a thread inside SQLite or while it unwinds kills the
            // process; leaving it is the lesser harm at shutdown.
            qWarning().noquote() << tr("The database worker did not stop in time; it is left running.");
            disconnect(this, nullptr, worker, nullptr);
            thread->disconnect();
            thread->setParent(nullptr);
            worker = nullptr;
            thread = nullptr;
            emit stopped();
            return;
        }
    }
    if (worker) {
        disconnect(this, qOverload<IDataBaseTransaction *>(&DataBaseConnection::addTransaction),
                   worker, qOverload<IDataBaseTransaction *>(&DataBaseThread::addTransaction));
        disconnect(this, qOverload<TransactionList>(&DataBaseConnection::addTransaction),
                   worker, qOverload<TransactionList>(&DataBaseThread::addTransaction));
        disconnect(this, &DataBaseConnection::transactionClearAll,
                   worker, &DataBaseThread::clearAllTransaction);
        if (thread) {
            disconnect(thread, &QThread::started, worker, &DataBaseThread::run);
            disconnect(thread, &QThread::finished, worker, &DataBaseThread::stop);
        }
        // A worker that never started still has its requests posted here;
        // let it take them so that it frees them with itself.
        if (worker->thread() == QThread::currentThread())
            QCoreApplication::sendPostedEvents(worker, QEvent::MetaCall);
        delete worker;
        worker = nullptr;
    }
    if (thread) {
        thread->disconnect();
        delete thread;
        thread = nullptr;
    }
    emit stopped();
}

void DataBaseConnection::addTransactionExec(IDataBaseTransaction *transaction)
{
    if (!transaction)
        return;
    // The worker runs, signals from and deletes the transaction on its own
    // thread, so a transaction built here directly goes there too.
    if (thread && transaction->thread() == QThread::currentThread() && !transaction->parent())
        transaction->moveToThread(thread);
    emit addTransaction(transaction);
}

IDataBaseTransaction *DataBaseConnection::prepare(IDataBaseTransaction *transaction)
{
    transaction->moveToThread(thread);
    return transaction;
}

IDataBaseTransaction *DataBaseConnection::createTable(const QString &tableName,
                                                      const QStringList &instruction,
                                                      IDataBaseTransaction::Priority priority)
{
    if (!worker || !thread)
        return nullptr;
    return prepare(new DBCreateTable(tableName, instruction, priority));
}

IDataBaseTransaction *DataBaseConnection::deleteTable(const QString &tableName,
                                                      IDataBaseTransaction::Priority priority)
{
    if (!worker || !thread)
        return nullptr;
    return prepare(new DBDeleteTable(tableName, priority));
}

IDataBaseTransaction *DataBaseConnection::addColumnsTable(const QString &tableName,
                                                          const QStringList &instructions,
                                                          IDataBaseTransaction::Priority priority)
{
    if (!worker || !thread)
        return nullptr;
    return prepare(new DBAddColumnsTable(tableName, instructions, priority));
}

IDataBaseTransaction *DataBaseConnection::removeColumnsTable(const QString &tableName,
                                                             const QStringList &columns,
                                                             IDataBaseTransaction::Priority priority)
{
    if (!worker || !thread)
        return nullptr;
    return prepare(new DBRemoveColumnsTable(tableName, columns, priority));
}

IDataBaseTransaction *DataBaseConnection::customCommandNotReturnData(const QString &query,
                                                                     IDataBaseTransaction::Priority priority)
{
    if (!worker || !thread)
        return nullptr;
    return prepare(new DBCustomCommandNotReturnData(query, priority));
}

IDataBaseTransaction *DataBaseConnection::outboxSetup(const QStringList &statements,
                                                      IDataBaseTransaction::Priority priority)
{
    if (!worker || !thread)
        return nullptr;
    return prepare(new DBOutboxSetup(statements, priority));
}

IDataBaseTransaction *DataBaseConnection::customCommandReturnData(const QString &query,
                                                                  IDataBaseTransaction::Priority priority)
{
    if (!worker || !thread)
        return nullptr;
    return prepare(new DBCustomCommandReturnData(query, priority));
}

IDataBaseTransaction *DataBaseConnection::insertDataTable(const QString &tableName,
                                                          const QStringList &columns,
                                                          const QStringList &values,
                                                          IDataBaseTransaction::Priority priority)
{
    if (!worker || !thread)
        return nullptr;
    return prepare(new DBInsertDataTable(tableName, columns, values, priority));
}

IDataBaseTransaction *DataBaseConnection::lastInsertRowid(IDataBaseTransaction::Priority priority)
{
    if (!worker || !thread)
        return nullptr;
    return prepare(new DBLastInsertRowid(priority));
}

IDataBaseTransaction *DataBaseConnection::updateDataTable(const QString &tableName,
                                                          const QStringList &columns,
                                                          const QStringList &values,
                                                          const QString &criterion,
                                                          IDataBaseTransaction::Priority priority)
{
    if (!worker || !thread)
        return nullptr;
    return prepare(new DBUpdateDataTable(tableName, columns, values, criterion, priority));
}

IDataBaseTransaction *DataBaseConnection::deleteDataTable(const QString &tableName,
                                                          const QString &criterion,
                                                          IDataBaseTransaction::Priority priority)
{
    if (!worker || !thread)
        return nullptr;
    return prepare(new DBDeleteDataTable(tableName, criterion, priority));
}

IDataBaseTransaction *DataBaseConnection::selectionDataTable(
    const QString &tableName, const QStringList &columns,
    const QMap<QString, DBSelectionDataTable::TypeSort> &sortColums, const QString &criterion,
    int limit, int offset, IDataBaseTransaction::Priority priority)
{
    if (!worker || !thread)
        return nullptr;
    return prepare(new DBSelectionDataTable(tableName, columns, sortColums, criterion, limit,
                                            offset, priority));
}

IDataBaseTransaction *DataBaseConnection::insertBoundDataTable(const QString &tableName,
                                                               const QStringList &columns,
                                                               const QVector<QVector<QVariant> > &rows,
                                                               IDataBaseTransaction::Priority priority)
{
    return boundBatchDataTable(DBBoundBatchDataTable::insertStatement(tableName, columns), rows, priority);
}

IDataBaseTransaction *DataBaseConnection::boundBatchDataTable(const QString &statement,
                                                              const QVector<QVector<QVariant> > &rows,
                                                              IDataBaseTransaction::Priority priority)
{
    if (!worker || !thread)
        return nullptr;
    return prepare(new DBBoundBatchDataTable(statement, rows, priority));
}

IDataBaseTransaction *DataBaseConnection::boundBatchDataTable(const QString &statement, int columns,
                                                              const QVector<QVariant> &values,
                                                              IDataBaseTransaction::Priority priority)
{
    if (!worker || !thread)
        return nullptr;
    return prepare(new DBBoundBatchDataTable(statement, columns, values, priority));
}

} // namespace Internal
} // namespace Sqlstore
