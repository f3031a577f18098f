#pragma once

#include "sqlstore_global.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <QQueue>
#include <QString>

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
    // Time that stop() may spend running what is still queued.
    static constexpr int StopWorkBudget = 2000;
    // Pause at the end of stop().
    static constexpr int StopPause = 1000;

    DataBaseThread();
    ~DataBaseThread() override;

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

private:
    enum class State {
        NotRun,           // run() has not happened yet: requests wait
        Working,          // database open, timers exist
        WithoutDatabase,  // open or writability check failed: requests end at once
        Stopped           // stop() has run: requests wait and are freed unrun
    };

    bool openDatabase(const QString &name);
    void retire(IDataBaseTransaction *transaction);
    bool holds(IDataBaseTransaction *transaction) const;

    QTimer *queueTimer = nullptr;
    QTimer *deleteTimer = nullptr;
    mutable QMutex mutex;
    QQueue<IDataBaseTransaction *> normalQueue;
    QQueue<IDataBaseTransaction *> highQueue;
    QQueue<IDataBaseTransaction *> deleteQueue;
    DataBaseSettings *settings = nullptr;
    QString connectionName;
    bool idle = true;

    State state = State::NotRun;
    // The thread that created the worker, and that deletes it.
    QThread *homeThread = nullptr;
};

} // namespace Internal
} // namespace Sqlstore
