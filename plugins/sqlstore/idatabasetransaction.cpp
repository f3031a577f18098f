#include "idatabasetransaction.h"
#include "boundstatement.h"
#include "sqlitehandle.h"

#include <QMutexLocker>

#include <atomic>
#include <limits>
#include <utility>

namespace Sqlstore {
namespace Internal {

namespace {

std::atomic<qint32> transactionCounter{0};

qint32 takeNextTransactionId()
{
    qint32 current = transactionCounter.load();
    qint32 next;
    do {
        next = current == std::numeric_limits<qint32>::max() ? 1 : current + 1;
    } while (!transactionCounter.compare_exchange_weak(current, next));
    return next;
}

} // namespace

IDataBaseTransaction::IDataBaseTransaction(QObject *parent)
    : QObject(parent)
    , m_transactionID(takeNextTransactionId())
{
}

void IDataBaseTransaction::setStatus(Status status)
{
    QMutexLocker locker(&m_mutex);
    m_status = status;
    m_lastTimeChangeTransaction = QDateTime::currentDateTime();
}

IDataBaseTransaction::Status IDataBaseTransaction::status() const
{
    QMutexLocker locker(&m_mutex);
    return m_status;
}

QDateTime IDataBaseTransaction::lastTimeChangeTransaction() const
{
    QMutexLocker locker(&m_mutex);
    return m_lastTimeChangeTransaction;
}

void IDataBaseTransaction::setPriority(Priority priority)
{
    QMutexLocker locker(&m_mutex);
    m_priority = priority;
}

IDataBaseTransaction::Priority IDataBaseTransaction::priority() const
{
    QMutexLocker locker(&m_mutex);
    return m_priority;
}

qint32 IDataBaseTransaction::transactionID() const
{
    return m_transactionID;
}

void IDataBaseTransaction::setSqlQueryList(const QStringList &sqlQueryList)
{
    {
        QMutexLocker locker(&m_mutex);
        m_sqlQueryList = sqlQueryList;
    }
    setStatus(Waiting);
}

void IDataBaseTransaction::appendSqlQuery(const QString &sqlQuery)
{
    {
        QMutexLocker locker(&m_mutex);
        m_sqlQueryList.append(sqlQuery);
    }
    setStatus(Waiting);
}

QStringList IDataBaseTransaction::sqlQueryList() const
{
    QMutexLocker locker(&m_mutex);
    return m_sqlQueryList;
}

void IDataBaseTransaction::stop()
{
    emit transactionExecutionEnded(false);
    setStatus(Stopped);
}

void IDataBaseTransaction::endWithoutExecution()
{
    stop();
    if (deliversRows())
        emit transactionExecutionEnded(false, QVector<QVector<QVariant> >());
}

// The worker has begun a database transaction. Committing after every
// statement but the last ends it after the first one, so later statements run
// in autocommit mode; that is what lets VACUUM follow a DELETE. The worker
// commits or rolls back after the last statement.
QSqlError IDataBaseTransaction::processStatements(QSqlDatabase &database, QSqlQuery &query,
                                                  QVector<QVector<QVariant> > *rows)
{
    const QStringList statements = sqlQueryList();
    // Rows are read once, front to back: a forward-only query keeps no copy
    // of the rows already passed.
    query.setForwardOnly(true);
    for (int i = 0; i < statements.size(); ++i) {
        const bool last = i == statements.size() - 1;
        QSqlError error;
        if (rows)
            error = BoundStatement::select(database, query, statements.at(i), rows);
        else if (!query.exec(statements.at(i)))
            error = query.lastError();
        if (error.type() != QSqlError::NoError) {
            if (!last) {
                query.finish();
                database.rollback();
            }
            return error;
        }
        if (!last) {
            query.finish();
            // In autocommit mode each statement has committed itself and
            // there is nothing to end. An open transaction whose commit fails
            // (disk full, database locked) has not stored the statement.
            const SqliteHandle::Transaction open = SqliteHandle::transaction(database);
            if (open == SqliteHandle::Transaction::Open) {
                if (!database.commit()) {
                    const QSqlError error = database.lastError();
                    database.rollback();
                    return error;
                }
            } else if (open == SqliteHandle::Transaction::Unknown) {
                // Another engine (a server): the rest runs in a transaction
                // of its own again, which the worker's commit ends.
                database.commit();
                database.transaction();
            }
        }
    }
    return QSqlError();
}

void IDataBaseTransaction::announceEnd(bool ok, QVector<QVector<QVariant> > *rows)
{
    if (!m_endDeferred) {
        emit transactionExecutionEnded(ok);
        if (rows) {
            const QVector<QVector<QVariant> > taken = std::move(*rows);
            emit transactionExecutionEnded(ok, taken);
        }
        return;
    }
    m_endPending = true;
    m_pendingOk = ok;
    m_pendingWithRows = rows != nullptr;
    m_pendingRows = QVector<QVector<QVariant> >();
    if (rows)
        m_pendingRows.swap(*rows);
}

void IDataBaseTransaction::setEndDeferred(bool deferred)
{
    m_endDeferred = deferred;
    m_endPending = false;
    // Not clear(): on rows still shared with a receiver's copy it would
    // copy them all first, only to drop them.
    m_pendingRows = QVector<QVector<QVariant> >();
}

QVector<QVector<QVariant> > IDataBaseTransaction::releaseEnd(bool committed)
{
    // Handed on, not copied: clearing rows shared with the signal's copy
    // would copy every row once more.
    QVector<QVector<QVariant> > rows;
    if (!m_endPending)
        return rows;
    m_endPending = false;
    const bool ok = m_pendingOk && committed;
    emit transactionExecutionEnded(ok);
    if (m_pendingWithRows) {
        rows.swap(m_pendingRows);
        emit transactionExecutionEnded(ok, rows);
    }
    return rows;
}

QSqlError IDataBaseTransaction::processNotReturnData(QSqlDatabase database, QSqlQuery query)
{
    const QSqlError error = processStatements(database, query, nullptr);
    announceEnd(error.type() == QSqlError::NoError, nullptr);
    return error;
}

QSqlError IDataBaseTransaction::processReturnData(QSqlDatabase database, QSqlQuery query)
{
    QVector<QVector<QVariant> > rows;
    const QSqlError error = processStatements(database, query, &rows);
    announceEnd(error.type() == QSqlError::NoError, &rows);
    return error;
}

// A standard SQL string literal: apostrophes around the text, each apostrophe
// inside doubled. Nothing in the text can end the literal early, and a text
// equal to a column name stays a text.
QString IDataBaseTransaction::protect(const QString &text)
{
    QString literal = text;
    literal.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + literal + QLatin1Char('\'');
}

QString IDataBaseTransaction::protect(const QDateTime &dateTime)
{
    return QStringLiteral("'%1'").arg(dateTime.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
}

QString IDataBaseTransaction::protect(const QTime &time)
{
    return QStringLiteral("'%1'").arg(time.toString(QStringLiteral("hh:mm:ss.zzz")));
}

QString IDataBaseTransaction::protect(const QDate &date)
{
    return QStringLiteral("'%1'").arg(date.toString(QStringLiteral("yyyy-MM-dd")));
}

QString IDataBaseTransaction::stringPreparation(const QString &text)
{
    QString result = text;
    if (result.startsWith(QLatin1Char('"')))
        result.remove(0, 1);
    if (result.endsWith(QLatin1Char('"')))
        result.chop(1);
    return result;
}

void IDataBaseTransaction::setTransactionCounter(qint32 value)
{
    transactionCounter.store(qMax<qint32>(value, 0));
}

} // namespace Internal
} // namespace Sqlstore
