#include "outboxsender.h"

#include "outbox.h"

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QTimer>
#include <QUuid>
#include <QtDebug>

#include <cmath>
#include <memory>

namespace Sqlstore {
namespace Internal {

// Lives on the sender's thread; owns both connections there.
class OutboxSenderWorker : public QObject
{
public:
    OutboxSenderWorker(OutboxSender *front, const QString &localFile, const DataBaseSettings &server)
        : m_front(front)
        , m_localFile(localFile)
        , m_server(server)
    {
    }

    void begin()
    {
        const QString base = QUuid::createUuid().toString();
        m_localName = base + QLatin1String("-outbox");
        m_serverName = base + QLatin1String("-server");
        QSqlDatabase local = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_localName);
        local.setDatabaseName(m_localFile);
        // The database worker writes the same file; a short wait for its lock
        // is better than a failed pass.
        local.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        QSqlDatabase server = QSqlDatabase::addDatabase(m_server.driver(), m_serverName);
        if (!m_server.connectOptions().isEmpty())
            server.setConnectOptions(m_server.connectOptions());
        server.setDatabaseName(m_server.databaseName());
        server.setHostName(m_server.hostName());
        server.setUserName(m_server.userName());
        server.setPassword(m_server.password());
        if (m_server.port() != -1)
            server.setPort(m_server.port());
        server.setNumericalPrecisionPolicy(QSql::HighPrecision);
        m_retry = m_shortest;
        m_timer = new QTimer(this);
        m_timer->setSingleShot(true);
        connect(m_timer, &QTimer::timeout, this, [this] { m_timer->start(pass()); });
        m_timer->start(0);
    }

    void end()
    {
        delete m_timer;
        m_timer = nullptr;
        for (const QString &name : {m_localName, m_serverName}) {
            if (name.isEmpty())
                continue;
            {
                QSqlDatabase db = QSqlDatabase::database(name, false);
                db.close();
            }
            QSqlDatabase::removeDatabase(name);
        }
    }

    // After this, nothing more reaches the front.
    void detach()
    {
        QMutexLocker locker(&m_frontMutex);
        m_front = nullptr;
    }

    int m_shortest = OutboxSender::ShortestRetry;
    int m_longest = OutboxSender::LongestRetry;
    int m_idle = OutboxSender::IdleInterval;

private:
    struct Waiting
    {
        qint64 id;
        QString kind;
        QString station;
        QByteArray payload;
    };

    void report(bool online, qint64 waiting, const QString &error)
    {
        const bool encrypted = m_encrypted;
        if (online == m_online && waiting == m_waiting && error == m_error && encrypted == m_reportedEncrypted)
            return;
        m_online = online;
        m_waiting = waiting;
        m_error = error;
        m_reportedEncrypted = encrypted;
        toFront([online, waiting, error, encrypted](OutboxSender *front) {
            front->m_encrypted = encrypted;
            front->report(online, waiting, error);
        });
    }

    // The front may be gone (settings switched while a server was slow to
    // answer): then nobody waits for the news. An event posted before the
    // front is deleted is discarded with it.
    template<typename Call>
    void toFront(Call call)
    {
        QMutexLocker locker(&m_frontMutex);
        if (!m_front)
            return;
        OutboxSender *front = m_front;
        QMetaObject::invokeMethod(front, [front, call] { call(front); }, Qt::QueuedConnection);
    }

    int offline(const QString &error, qint64 waiting)
    {
        {
            QSqlDatabase server = QSqlDatabase::database(m_serverName, false);
            server.close();
        }
        m_schemaReady = false;
        report(false, waiting, error);
        const int wait = m_retry;
        m_retry = qMin(m_longest, m_retry * 2);
        return wait;
    }

    // A JSON number that holds a whole value goes to the server as an
    // integer, so that it fits integer columns exactly.
    static QVariant toVariant(const QJsonValue &value)
    {
        switch (value.type()) {
        case QJsonValue::Bool: return value.toBool();
        case QJsonValue::Double: {
            const double d = value.toDouble();
            if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9.0e15)
                return qint64(d);
            return d;
        }
        case QJsonValue::String: return value.toString();
        default: return QVariant();
        }
    }

    static QStringList registeredKinds()
    {
        QStringList kinds;
        for (const Outbox::Mirror &mirror : Outbox::mirrors())
            kinds << mirror.kind;
        return kinds;
    }

    static QString placeholders(int count)
    {
        QStringList marks;
        for (int i = 0; i < count; ++i)
            marks << QStringLiteral("?");
        return marks.join(QLatin1String(", "));
    }

    bool openServer(QString *error)
    {
        QSqlDatabase server = QSqlDatabase::database(m_serverName, false);
        if (!server.isOpen()) {
            if (!server.open()) {
                *error = server.lastError().text().trimmed();
                return false;
            }
            // Told to the user: a link that crosses the network in clear.
            QSqlQuery query(server);
            m_encrypted = query.exec(QStringLiteral("SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()"))
                          && query.next() && query.value(0).toBool();
        }
        if (m_schemaReady)
            return true;
        // Two stations may create the tables at the same moment; the one that
        // loses tries again with its next pass.
        server.transaction();
        QSqlQuery query(server);
        for (const Outbox::Mirror &mirror : Outbox::mirrors()) {
            for (const QString &statement : mirror.serverSchema) {
                if (!query.exec(statement)) {
                    *error = query.lastError().text().trimmed();
                    server.rollback();
                    return false;
                }
            }
        }
        if (!server.commit()) {
            *error = server.lastError().text().trimmed();
            return false;
        }
        m_schemaReady = true;
        return true;
    }

    // One batch; returns the time until the next pass.
    int pass()
    {
        QSqlDatabase local = QSqlDatabase::database(m_localName, false);
        if (!local.isOpen() && !local.open()) {
            report(m_online, m_waiting, local.lastError().text());
            return m_longest;
        }
        QVector<Waiting> batch;
        QStringList kinds;
        qint64 count = 0;
        {
            QSqlQuery query(local);
            if (m_origin.isEmpty()) {
                if (!query.exec(QStringLiteral("SELECT origin FROM outbox_control WHERE id = 1")) || !query.next()) {
                    // Nothing has ever been put in the outbox of this file.
                    return checkServer(0);
                }
                m_origin = query.value(0).toString();
                query.finish();
            }
            if (!query.exec(QStringLiteral("SELECT count(*) FROM outbox")) || !query.next())
                return checkServer(0);
            count = query.value(0).toLongLong();
            query.finish();
            if (count == 0)
                return checkServer(0);
            // Rows of a kind whose plug-in is not loaded (switched off) wait
            // in the file without holding back the rows of the others.
            kinds = registeredKinds();
            if (kinds.isEmpty())
                return checkServer(count);
            query.prepare(QStringLiteral("SELECT id, kind, station, payload FROM outbox WHERE kind IN (%1) "
                                         "ORDER BY id LIMIT ?")
                              .arg(placeholders(kinds.size())));
            for (const QString &kind : qAsConst(kinds))
                query.addBindValue(kind);
            query.addBindValue(OutboxSender::BatchSize);
            if (!query.exec())
                return m_idle;
            while (query.next())
                batch.append({query.value(0).toLongLong(), query.value(1).toString(),
                              query.value(2).toString(), query.value(3).toByteArray()});
        }
        if (batch.isEmpty())
            return checkServer(count);
        // The read ends before the network is used, so the local worker is
        // never kept waiting for the server.

        QString error;
        if (!openServer(&error))
            return offline(error, count);
        QSqlDatabase server = QSqlDatabase::database(m_serverName, false);
        if (!server.transaction())
            return offline(server.lastError().text().trimmed(), count);

        QHash<QString, std::shared_ptr<QSqlQuery>> prepared;
        qint64 last = -1;
        int sent = 0;
        for (const Waiting &row : qAsConst(batch)) {
            Outbox::Mirror mirror;
            if (!Outbox::mirror(row.kind, &mirror))
                break; // registered kinds are never taken back
            QJsonParseError parseError;
            const QJsonObject values = QJsonDocument::fromJson(row.payload, &parseError).object();
            if (parseError.error != QJsonParseError::NoError) {
                qWarning().noquote() << "An unreadable row of the outbox is left out:" << row.id;
                last = row.id;
                continue;
            }
            for (const Outbox::Statement &statement : qAsConst(mirror.statements)) {
                std::shared_ptr<QSqlQuery> &query = prepared[statement.sql];
                if (!query) {
                    query = std::make_shared<QSqlQuery>(server);
                    if (!query->prepare(statement.sql)) {
                        const QString why = query->lastError().text().trimmed();
                        prepared.clear();
                        server.rollback();
                        return offline(why, count);
                    }
                }
                for (const QString &name : statement.parameters) {
                    if (name == QLatin1String(":station"))
                        query->addBindValue(row.station);
                    else if (name == QLatin1String(":origin"))
                        query->addBindValue(m_origin);
                    else if (name == QLatin1String(":local_id"))
                        query->addBindValue(row.id);
                    else
                        query->addBindValue(toVariant(values.value(name)));
                }
                if (!query->exec()) {
                    const QString why = query->lastError().text().trimmed();
                    prepared.clear();
                    server.rollback();
                    return offline(why, count);
                }
            }
            last = row.id;
            ++sent;
        }
        prepared.clear();
        if (last < 0) {
            server.rollback();
            report(true, count, QString());
            return m_idle;
        }
        if (!server.commit())
            return offline(server.lastError().text().trimmed(), count);

        // Committed on the server: now the rows may leave the outbox. Should
        // this fail, they go again and the server ignores them.
        QSqlQuery remove(local);
        remove.prepare(QStringLiteral("DELETE FROM outbox WHERE id <= ? AND kind IN (%1)").arg(placeholders(kinds.size())));
        remove.addBindValue(last);
        for (const QString &kind : qAsConst(kinds))
            remove.addBindValue(kind);
        if (!remove.exec())
            qWarning().noquote() << "Sent rows could not be removed from the outbox:" << remove.lastError().text();
        const qint64 left = remove.isActive() ? qMax<qint64>(0, count - remove.numRowsAffected()) : count;
        m_retry = m_shortest;
        report(true, left, QString());
        if (sent > 0)
            toFront([sent](OutboxSender *front) { emit front->batchSent(sent); });
        return left > 0 && last == batch.constLast().id ? 0 : m_idle;
    }

    // Nothing to send: still say whether the server can be reached.
    int checkServer(qint64 waiting)
    {
        QString error;
        if (!openServer(&error))
            return offline(error, waiting);
        m_retry = m_shortest;
        report(true, waiting, QString());
        return m_idle;
    }

    QMutex m_frontMutex;
    OutboxSender *m_front;
    QString m_localFile;
    DataBaseSettings m_server;
    QString m_localName;
    QString m_serverName;
    QString m_origin;
    QTimer *m_timer = nullptr;
    bool m_schemaReady = false;
    bool m_encrypted = false;
    bool m_reportedEncrypted = false;
    int m_retry = OutboxSender::ShortestRetry;
    bool m_online = false;
    qint64 m_waiting = -1;
    QString m_error{QStringLiteral("-")};
};

OutboxSender::OutboxSender(const QString &localFile, const DataBaseSettings &server, QObject *parent)
    : QObject(parent)
    , m_thread(new QThread)
    , m_worker(new OutboxSenderWorker(this, localFile, server))
{
    m_thread->setObjectName(QStringLiteral("OutboxSender"));
    m_worker->moveToThread(m_thread);
}

namespace {
// Threads of senders deleted while their pass was still running.
QMutex s_endingMutex;
QList<QThread *> s_ending;
} // namespace

// The worker may be inside a pass that waits for a server (up to its connect
// timeout): the window does not wait for it. The thread ends itself once the
// pass is over and is deleted then; waitForEnding() collects what is left.
OutboxSender::~OutboxSender()
{
    m_worker->detach();
    if (!m_thread->isRunning()) {
        delete m_worker;
        delete m_thread;
        return;
    }
    OutboxSenderWorker *worker = m_worker;
    QThread *thread = m_thread;
    {
        QMutexLocker locker(&s_endingMutex);
        s_ending.append(thread);
    }
    QObject::connect(thread, &QThread::finished, thread, [thread] {
        QMutexLocker locker(&s_endingMutex);
        if (s_ending.removeOne(thread))
            thread->deleteLater();
    });
    QMetaObject::invokeMethod(worker, [worker] {
        worker->end();
        // Deleted when the thread finishes.
        worker->deleteLater();
        QThread::currentThread()->quit();
    }, Qt::QueuedConnection);
}

void OutboxSender::waitForEnding()
{
    QList<QThread *> threads;
    {
        QMutexLocker locker(&s_endingMutex);
        threads.swap(s_ending);
    }
    for (QThread *thread : qAsConst(threads)) {
        thread->wait();
        delete thread;
    }
}

void OutboxSender::setRetryRange(int shortestMs, int longestMs)
{
    m_worker->m_shortest = qMax(10, shortestMs);
    m_worker->m_longest = qMax(m_worker->m_shortest, longestMs);
}

void OutboxSender::setIdleInterval(int ms)
{
    m_worker->m_idle = qMax(10, ms);
}

void OutboxSender::start()
{
    if (m_thread->isRunning())
        return;
    m_thread->start();
    // A refused thread sends nothing; the rows wait in the outbox.
    if (!m_thread->isRunning() && !m_thread->isFinished()) {
        report(false, -1, tr("the system refused to start a thread for sending"));
        return;
    }
    OutboxSenderWorker *worker = m_worker;
    QMetaObject::invokeMethod(worker, [worker] { worker->begin(); }, Qt::QueuedConnection);
}

void OutboxSender::report(bool online, qint64 waiting, const QString &error)
{
    m_online = online;
    m_waiting = waiting;
    m_error = error;
    emit statusChanged(online, waiting, error);
}

} // namespace Internal
} // namespace Sqlstore
