#pragma once

#include "sqlstore_global.h"

#include <QDate>
#include <QDateTime>
#include <QMutex>
#include <QObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTime>
#include <QVariant>
#include <QVector>

namespace Sqlstore {
namespace Internal {

class DataBaseThread;

// One unit of work for the database worker: a list of statements, a queue
// priority, a status and a result announced by signal once the worker has run
// it. The worker owns a queued transaction and deletes it only after its user
// has set the status Completed (or when the worker itself ends), so a user
// that may outlive the worker should hold it in a QPointer.
class SQLSTORE_EXPORT IDataBaseTransaction : public QObject
{
    Q_OBJECT

public:
    // Fixed underlying types: any integer is a valid value (every priority
    // other than Normal counts as High).
    enum Priority : int {
        Normal = 0,
        High = 1
    };

    enum Status : int {
        Waiting = 0,
        Executing = 1,
        Stopped = 2,
        Completed = 3
    };

    explicit IDataBaseTransaction(QObject *parent = nullptr);

    void setStatus(Status status);
    Status status() const;
    QDateTime lastTimeChangeTransaction() const;

    void setPriority(Priority priority);
    Priority priority() const;

    qint32 transactionID() const;

    void setSqlQueryList(const QStringList &sqlQueryList);
    void appendSqlQuery(const QString &sqlQuery);
    QStringList sqlQueryList() const;

    // Ends a transaction that will not run: the one-argument signal with false.
    virtual void stop();
    virtual QSqlError process(QSqlDatabase database, QSqlQuery query) = 0;
    // True for kinds that announce rows with the two-argument signal.
    virtual bool deliversRows() const { return false; }
    // Ends a transaction that cannot run (no database, cleared): stop(), and
    // for kinds with rows also the two-argument signal with no rows, so that
    // a user waiting for rows learns of the end as well.
    void endWithoutExecution();

    // Why the worker ended the transaction with false: the error of the
    // statement that failed, or the database's own reason for refusing the
    // commit (a full disk, a lock); no error otherwise, and none for a
    // transaction that could not run at all. Read it in a receiver of the
    // end signal.
    QSqlError endError() const { return m_endError; }

    QSqlError processNotReturnData(QSqlDatabase database, QSqlQuery query);
    QSqlError processReturnData(QSqlDatabase database, QSqlQuery query);

    // SQL literals for values inserted into statement texts.
    static QString protect(const QString &text);
    static QString protect(const QDateTime &dateTime);
    static QString protect(const QTime &time);
    static QString protect(const QDate &date);
    static QString stringPreparation(const QString &text);

    // Sets the process-wide id counter; the next transaction takes the id
    // after it. Meant for checks of the wrap-around.
    static void setTransactionCounter(qint32 value);

signals:
    void transactionExecutionEnded(bool statusRequest);
    void transactionExecutionEnded(bool statusRequest, QVector<QVector<QVariant> > selectDataTable);

protected:
    // How a kind's process() ends: the signals are emitted at once, or, while
    // the worker runs the transaction, after the worker's commit (false when
    // that commit fails). Rows, when given, go with the two-argument signal;
    // they are taken from `rows`, which is left empty.
    void announceEnd(bool ok, QVector<QVector<QVariant> > *rows);
    // Runs the statement list (rows of each read into rows when given)
    // without announcing the end.
    QSqlError processStatements(QSqlDatabase &database, QSqlQuery &query,
                                QVector<QVector<QVariant> > *rows);

private:
    friend class DataBaseThread;

    void setEndDeferred(bool deferred);
    // Emits the deferred end; returns the rows it handed on, still shared
    // with the receivers' copies.
    QVector<QVector<QVariant> > releaseEnd(bool committed);

    qint32 m_transactionID = 0;
    Priority m_priority = Normal;
    Status m_status = Waiting;
    QDateTime m_lastTimeChangeTransaction;
    QStringList m_sqlQueryList;
    // Touched only by the thread that runs the transaction.
    bool m_endDeferred = false;
    bool m_endPending = false;
    bool m_pendingOk = false;
    bool m_pendingWithRows = false;
    QVector<QVector<QVariant> > m_pendingRows;
    // Written by the worker before the end signal is emitted.
    QSqlError m_endError;
    // The user sets Completed on its own thread while the worker reads the
    // status on the worker thread.
    mutable QMutex m_mutex;
};

} // namespace Internal
} // namespace Sqlstore
