#pragma once

#include "sqlstore_global.h"

#include <QElapsedTimer>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QQueue>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <QVector>

#include <atomic>

struct sqlite3;

QT_BEGIN_NAMESPACE
class QThread;
class QTimer;
QT_END_NAMESPACE

namespace Sqlstore {
namespace Internal {

class DataBaseSettings;
class IDataBaseTransaction;

// The worker: lives on its own thread, opens the one database connection
// there and runs one queued transaction per event-loop pass, high priority
// first. It owns every transaction handed to it.
class SQLSTORE_EXPORT DataBaseThread : public QObject
{
    Q_OBJECT

public:
    // Executed transactions are checked for Completed this often.
    static constexpr int DeleteInterval = 10000;
    // Time that stop() may spend running what is still queued, counted
    // from requestStop().
    static constexpr int StopWorkBudget = 2000;
    // How long a locked database is waited for before a statement or a
    // commit fails; the connect option QSQLITE_BUSY_TIMEOUT overrides it.
    static constexpr int BusyTimeout = 5000;
    // Rows handed to receivers are checked this often for being let go,
    // the wait doubling from the first check to the last; after the give-up
    // time they are left to the receivers.
    static constexpr int ReleaseFirstCheck = 2;
    static constexpr int ReleaseLastCheck = 1000;
    static constexpr int ReleaseGiveUp = 10000;

    DataBaseThread();
    ~DataBaseThread() override;

    // Both callable from any thread. requestStop() starts the stop's time
    // budget; abandon() gives up what is left: the running statement is
    // interrupted, a wait for a lock ends, nothing more is started, and what
    // is still queued at stop() ends with the false signal.
    void requestStop();
    void abandon();

    // Row sets handed to receivers that this thread still holds.
    int heldRowSets() const { return delivered.size(); }

public slots:
    void setSettings(Sqlstore::Internal::DataBaseSettings *dataBaseSettings);
    void run();
    void stop();
    void addTransaction(Sqlstore::Internal::IDataBaseTransaction *transaction);
    void addTransaction(QList<Sqlstore::Internal::IDataBaseTransaction *> transactionList);
    // Runs the head of the queue; called with the mutex held.
    void nextTransaction(QQueue<Sqlstore::Internal::IDataBaseTransaction *> *transactionQueue);
    void processQueue();
    void processDeleteQueue();
    void clearAllTransaction();
    // Frees the held rows that every receiver has let go of.
    void releaseDeliveredRows();

private:
    enum class State {
        NotRun,           // run() has not happened yet: requests wait
        Working,          // database open, timers exist
        WithoutDatabase,  // open or writability check failed: requests end at once
        Stopped           // stop() has run: requests wait and are freed unrun
    };

    bool openDatabase(const QString &name);
    // The SQLite handle (busy handler, interrupt, commit check) exists only
    // for the SQLite driver; a server driver goes without it.
    bool isSqlite() const;
    void execute(IDataBaseTransaction *transaction, QSqlDatabase &database);
    void setHandle(sqlite3 *handle);
    void closeConnection();
    void dropWaiting();
    static int busyHandler(void *context, int attempts);
    void retire(IDataBaseTransaction *transaction);
    bool holds(IDataBaseTransaction *transaction) const;
    void holdDelivered(QVector<QVector<QVariant> > rows);

    QTimer *queueTimer = nullptr;
    QTimer *deleteTimer = nullptr;
    QTimer *releaseTimer = nullptr;
    mutable QMutex mutex;
    QQueue<IDataBaseTransaction *> normalQueue;
    QQueue<IDataBaseTransaction *> highQueue;
    QQueue<IDataBaseTransaction *> deleteQueue;
    DataBaseSettings *settings = nullptr;
    QString connectionName;
    bool idle = true;

    // Rows are made on this thread's heap. A receiver that frees them on
    // its own thread (the window's, mostly) spends its time on it and pulls
    // the memory into another core's cache, where the next query here pays
    // to fetch it back. So a reference is kept here, and the rows are freed
    // here once the receivers have dropped theirs. Worker thread only.
    struct DeliveredRows
    {
        QVector<QVector<QVariant> > rows;
        qint64 heldSince = 0;
    };
    QList<DeliveredRows> delivered;
    QElapsedTimer releaseClock;
    int releaseInterval = ReleaseFirstCheck;

    State state = State::NotRun;
    // The thread that created the worker, and that deletes it.
    QThread *homeThread = nullptr;

    int busyTimeout = BusyTimeout;
    QElapsedTimer busyClock;
    std::atomic<bool> abandoned{false};
    // Milliseconds of QDeadlineTimer's clock; 0 until a stop is requested.
    std::atomic<qint64> stopDeadline{0};
    // The open SQLite connection, for interrupts from other threads; it is
    // closed only under this lock.
    QMutex handleMutex;
    sqlite3 *handle = nullptr;
};

} // namespace Internal
} // namespace Sqlstore
