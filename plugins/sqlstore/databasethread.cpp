#include "databasethread.h"

#include "databasesettings.h"
#include "idatabasetransaction.h"
#include "sqlitehandle.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QMutexLocker>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QTimer>
#include <QUuid>
#include <QtDebug>

namespace Sqlstore {
namespace Internal {

DataBaseThread::DataBaseThread()
    : QObject(nullptr)
    , homeThread(QThread::currentThread())
{
}

// Runs on the thread that created the worker, once the worker thread has
// ended. Transactions still held are freed without a signal, but by
// deleteLater(): end signals that the worker emitted just before may still
// wait in a receiver's queue, and their receivers may touch the transaction.
DataBaseThread::~DataBaseThread()
{
    QMutexLocker locker(&mutex);
    QList<IDataBaseTransaction *> held;
    held << highQueue << normalQueue << deleteQueue;
    highQueue.clear();
    normalQueue.clear();
    deleteQueue.clear();
    for (IDataBaseTransaction *transaction : qAsConst(held)) {
        if (!transaction)
            continue;
        QThread *owner = transaction->thread();
        if (owner == QThread::currentThread() || (owner && owner->isRunning()))
            transaction->deleteLater();
        else
            delete transaction;
    }
    delete queueTimer;
    delete deleteTimer;
    delete releaseTimer;
    closeConnection();
}

void DataBaseThread::setSettings(DataBaseSettings *dataBaseSettings)
{
    settings = dataBaseSettings;
}

bool DataBaseThread::isSqlite() const
{
    return !settings || settings->driver().startsWith(QLatin1String("QSQLITE"));
}

void DataBaseThread::requestStop()
{
    qint64 none = 0;
    stopDeadline.compare_exchange_strong(none, QDeadlineTimer(StopWorkBudget).deadline());
}

void DataBaseThread::abandon()
{
    abandoned = true;
    QMutexLocker locker(&handleMutex);
    SqliteHandle::interrupt(handle);
}

void DataBaseThread::setHandle(sqlite3 *value)
{
    QMutexLocker locker(&handleMutex);
    handle = value;
}

void DataBaseThread::closeConnection()
{
    if (connectionName.isEmpty())
        return;
    setHandle(nullptr);
    {
        QSqlDatabase database = QSqlDatabase::database(connectionName, false);
        database.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
    connectionName.clear();
}

// SQLite's own busy timeout cannot be cut short; this one ends when the
// worker is abandoned.
int DataBaseThread::busyHandler(void *context, int attempts)
{
    auto *worker = static_cast<DataBaseThread *>(context);
    if (worker->abandoned)
        return 0;
    if (attempts == 0)
        worker->busyClock.start();
    if (worker->busyClock.elapsed() >= worker->busyTimeout)
        return 0;
    QThread::msleep(attempts < 10 ? 2 : 10);
    return 1;
}

bool DataBaseThread::openDatabase(const QString &name)
{
    QSqlDatabase database = QSqlDatabase::addDatabase(settings ? settings->driver() : QString(), name);
    if (settings) {
        if (!settings->connectOptions().isEmpty())
            database.setConnectOptions(settings->connectOptions());
        database.setDatabaseName(settings->databaseName());
        database.setHostName(settings->hostName());
        database.setUserName(settings->userName());
        database.setPassword(settings->password());
        if (settings->port() != -1)
            database.setPort(settings->port());
        database.setNumericalPrecisionPolicy(
            static_cast<QSql::NumericalPrecisionPolicy>(settings->precisionPolicy()));
    }
    if (settings && !isSqlite() && database.isValid()) {
        // A server may be out of reach now and back later: the connection is
        // kept and opened again by the next transaction that needs it.
        if (!database.open()) {
            qWarning().noquote() << tr("The database server cannot be reached now: %1")
                                        .arg(database.lastError().text());
        }
        return true;
    }
    if (!settings || !database.open()) {
        qWarning().noquote() << tr("Error opening database. Work without a database.");
        return false;
    }
    if (!QFileInfo(settings->databaseName()).isWritable()) {
        qWarning().noquote() << tr("Error writing to the database. Work without a database.");
        database.close();
        return false;
    }

    busyTimeout = BusyTimeout;
    const QStringList options = settings->connectOptions().split(QLatin1Char(';'));
    for (const QString &option : options) {
        const QString key = option.section(QLatin1Char('='), 0, 0).trimmed();
        bool ok = false;
        const int value = option.section(QLatin1Char('='), 1).trimmed().toInt(&ok);
        if (key == QLatin1String("QSQLITE_BUSY_TIMEOUT") && ok && value >= 0)
            busyTimeout = value;
    }
    sqlite3 *opened = SqliteHandle::of(database);
    SqliteHandle::setBusyHandler(opened, &DataBaseThread::busyHandler, this);
    setHandle(opened);
    return true;
}

void DataBaseThread::run()
{
    const QString name = QUuid::createUuid().toString();
    const bool opened = openDatabase(name);

    QMutexLocker locker(&mutex);
    // Executed and ended transactions wait for their users' Completed in
    // either state, so the clean-up timer is needed in both.
    deleteTimer = new QTimer;
    deleteTimer->setInterval(DeleteInterval);
    connect(deleteTimer, &QTimer::timeout, this, &DataBaseThread::processDeleteQueue);

    if (!opened) {
        QSqlDatabase::removeDatabase(name);
        state = State::WithoutDatabase;
        // Whatever was queued before can never run: tell its users now.
        QList<IDataBaseTransaction *> waiting;
        waiting << highQueue << normalQueue;
        highQueue.clear();
        normalQueue.clear();
        for (IDataBaseTransaction *transaction : qAsConst(waiting)) {
            transaction->endWithoutExecution();
            retire(transaction);
        }
        return;
    }

    connectionName = name;
    state = State::Working;
    queueTimer = new QTimer;
    queueTimer->setInterval(0);
    connect(queueTimer, &QTimer::timeout, this, &DataBaseThread::processQueue);
    releaseTimer = new QTimer;
    releaseTimer->setSingleShot(true);
    releaseTimer->setTimerType(Qt::PreciseTimer);
    connect(releaseTimer, &QTimer::timeout, this, &DataBaseThread::releaseDeliveredRows);
    releaseClock.start();
    if (!highQueue.isEmpty() || !normalQueue.isEmpty())
        queueTimer->start();
}

// Runs on the worker thread when it finishes. Requests that reached the
// worker before it was asked to quit are still executed within the stop's
// time budget, so that a write issued just before shutdown is not lost; what
// is left after that, or once the worker is abandoned, ends with the false
// signal unexecuted.
void DataBaseThread::stop()
{
    if (thread() == QThread::currentThread())
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    requestStop();
    const QDeadlineTimer budget(stopDeadline.load(), Qt::PreciseTimer);

    QMutexLocker locker(&mutex);
    if (state == State::Working) {
        while ((!highQueue.isEmpty() || !normalQueue.isEmpty()) && !abandoned
               && !budget.hasExpired()) {
            nextTransaction(highQueue.isEmpty() ? &normalQueue : &highQueue);
        }
    }
    dropWaiting();
    state = State::Stopped;
    idle = true;

    closeConnection();
    delivered.clear();
    for (QTimer **timer : {&queueTimer, &deleteTimer, &releaseTimer}) {
        if (*timer) {
            (*timer)->stop();
            disconnect(*timer, &QTimer::timeout, this, nullptr);
            delete *timer;
            *timer = nullptr;
        }
    }

    // Hand what is left to the thread that will delete the worker.
    if (homeThread && homeThread != QThread::currentThread()) {
        QList<IDataBaseTransaction *> held;
        held << highQueue << normalQueue << deleteQueue;
        for (IDataBaseTransaction *transaction : qAsConst(held)) {
            if (transaction && transaction->thread() == QThread::currentThread())
                transaction->moveToThread(homeThread);
        }
    }
}

void DataBaseThread::dropWaiting()
{
    QList<IDataBaseTransaction *> waiting;
    waiting << highQueue << normalQueue;
    highQueue.clear();
    normalQueue.clear();
    for (IDataBaseTransaction *transaction : qAsConst(waiting)) {
        if (!transaction)
            continue;
        transaction->endWithoutExecution();
        retire(transaction);
    }
}

bool DataBaseThread::holds(IDataBaseTransaction *transaction) const
{
    return highQueue.contains(transaction) || normalQueue.contains(transaction);
}

void DataBaseThread::addTransaction(IDataBaseTransaction *transaction)
{
    if (!transaction)
        return;
    QMutexLocker locker(&mutex);
    // Queued twice, it would run twice and be deleted twice.
    if (holds(transaction))
        return;
    // Queued again after a run: it waits for its new run, not for deletion.
    deleteQueue.removeAll(transaction);

    if (state == State::WithoutDatabase) {
        transaction->endWithoutExecution();
        retire(transaction);
        return;
    }

    QQueue<IDataBaseTransaction *> &queue =
        transaction->priority() == IDataBaseTransaction::Normal ? normalQueue : highQueue;
    const bool wasEmpty = queue.isEmpty();
    queue.enqueue(transaction);
    if (wasEmpty && idle && queueTimer && !queueTimer->isActive())
        queueTimer->start();
}

void DataBaseThread::addTransaction(QList<IDataBaseTransaction *> transactionList)
{
    for (IDataBaseTransaction *transaction : qAsConst(transactionList))
        addTransaction(transaction);
}

void DataBaseThread::nextTransaction(QQueue<IDataBaseTransaction *> *transactionQueue)
{
    if (!transactionQueue || transactionQueue->isEmpty())
        return;
    IDataBaseTransaction *transaction = transactionQueue->head();
    if (!transaction) {
        transactionQueue->dequeue();
        return;
    }
    transaction->setStatus(IDataBaseTransaction::Executing);

    bool executed = false;
    if (!connectionName.isEmpty() && !abandoned) {
        QSqlDatabase database = QSqlDatabase::database(connectionName, true);
        if (database.isOpen()) {
            // Opened again after a close: a new SQLite connection.
            sqlite3 *current = SqliteHandle::of(database);
            if (current && current != handle) {
                SqliteHandle::setBusyHandler(current, &DataBaseThread::busyHandler, this);
                setHandle(current);
            }
            execute(transaction, database);
            executed = true;
        }
    }
    transactionQueue->dequeue();
    // Its user waits for an answer: a transaction that could not run ends
    // with the false signal rather than in silence.
    if (!executed)
        transaction->endWithoutExecution();
    retire(transaction);
}

// The end signal comes only once the outcome is known: true after a commit
// that succeeded, false after a rollback or a commit that failed, so that a
// write reported done is on disk.
void DataBaseThread::execute(IDataBaseTransaction *transaction, QSqlDatabase &database)
{
    database.transaction();
    transaction->setEndDeferred(true);
    QSqlError error;
    {
        QSqlQuery query(database);
        error = transaction->process(database, query);
        query.finish();
    }
    bool committed = true;
    const bool sqlite = isSqlite();
    if (error.type() != QSqlError::NoError) {
        database.rollback();
    } else if ((!sqlite || SqliteHandle::transaction(database) != SqliteHandle::Transaction::None)
               && !database.commit()) {
        committed = false;
        // Kept for the transaction's user: "disk full" must reach the user
        // as such, not as a bare failure.
        error = database.lastError();
        const QString reason = error.text();
        qWarning().noquote() << tr("A database transaction could not be committed: %1").arg(reason);
        database.rollback();
    }
    transaction->m_endError = error;
    // A server connection that failed may be broken for good (the server
    // restarted): the next transaction opens a fresh one.
    if (!sqlite && (error.type() != QSqlError::NoError || !committed))
        database.close();
    holdDelivered(transaction->releaseEnd(committed));
    transaction->setEndDeferred(false);
}

void DataBaseThread::holdDelivered(QVector<QVector<QVariant> > rows)
{
    // Not taken by anyone: freed right here.
    if (rows.isEmpty() || rows.isDetached() || !releaseTimer)
        return;
    delivered.append({std::move(rows), releaseClock.elapsed()});
    releaseInterval = ReleaseFirstCheck;
    releaseTimer->start(releaseInterval);
}

void DataBaseThread::releaseDeliveredRows()
{
    const qint64 now = releaseClock.elapsed();
    for (auto it = delivered.begin(); it != delivered.end();) {
        // A count of one is this reference alone; no other thread can take
        // a new one from it.
        if (it->rows.isDetached() || now - it->heldSince >= ReleaseGiveUp)
            it = delivered.erase(it);
        else
            ++it;
    }
    if (!delivered.isEmpty() && releaseTimer) {
        releaseInterval = qMin(releaseInterval * 2, ReleaseLastCheck);
        releaseTimer->start(releaseInterval);
    }
}

void DataBaseThread::retire(IDataBaseTransaction *transaction)
{
    deleteQueue.enqueue(transaction);
    if (deleteTimer && !deleteTimer->isActive())
        deleteTimer->start();
}

void DataBaseThread::processQueue()
{
    QMutexLocker locker(&mutex);
    if (queueTimer)
        queueTimer->stop();
    idle = false;
    if (!highQueue.isEmpty()) {
        nextTransaction(&highQueue);
    } else if (normalQueue.isEmpty()) {
        idle = true;
        return;
    } else {
        nextTransaction(&normalQueue);
    }
    if ((!highQueue.isEmpty() || !normalQueue.isEmpty()) && queueTimer)
        queueTimer->start();
    else
        idle = true;
}

void DataBaseThread::processDeleteQueue()
{
    QMutexLocker locker(&mutex);
    if (deleteTimer)
        deleteTimer->stop();
    if (deleteQueue.isEmpty())
        return;
    const QQueue<IDataBaseTransaction *> snapshot = deleteQueue;
    for (IDataBaseTransaction *transaction : snapshot) {
        if (transaction && transaction->status() == IDataBaseTransaction::Completed) {
            deleteQueue.removeOne(transaction);
            transaction->disconnect();
            delete transaction;
        }
    }
    if (!deleteQueue.isEmpty() && deleteTimer)
        deleteTimer->start();
}

// Waiting transactions end Stopped with the false signal. They are not
// deleted here: their end signals may still wait in their receivers' queues,
// so they join the executed ones and are freed once their users have set
// Completed, like any other.
void DataBaseThread::clearAllTransaction()
{
    QMutexLocker locker(&mutex);
    for (QQueue<IDataBaseTransaction *> *queue : {&normalQueue, &highQueue}) {
        const QQueue<IDataBaseTransaction *> waiting = *queue;
        queue->clear();
        for (IDataBaseTransaction *transaction : waiting) {
            if (!transaction)
                continue;
            transaction->endWithoutExecution();
            retire(transaction);
        }
    }
}

} // namespace Internal
} // namespace Sqlstore
