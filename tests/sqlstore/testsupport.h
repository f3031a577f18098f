#pragma once

#include <sqlstore/idatabasetransaction.h>

#include <QCoreApplication>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSignalSpy>
#include <QStringList>
#include <QUuid>
#include <QVariant>
#include <QVector>

#include <grp.h>
#include <unistd.h>

namespace SqlstoreTest {

// Permission checks mean nothing to root, so a suite started as root carries
// on as "nobody" before anything else happens.
inline void dropRootPrivileges()
{
    if (geteuid() != 0)
        return;
    const gid_t nogroup = 65534;
    const uid_t nobody = 65534;
    if (setgroups(0, nullptr) != 0 || setgid(nogroup) != 0 || setuid(nobody) != 0)
        return;
}

inline bool privileged()
{
    return geteuid() == 0;
}

// Collects warnings from every thread and passes every message on to the
// test framework's handler; install it in initTestCase(), after the framework
// has installed its own.
class WarningLog
{
public:
    static void install()
    {
        previous() = qInstallMessageHandler(&WarningLog::handle);
    }
    static QStringList warnings()
    {
        QMutexLocker locker(&mutex());
        return list();
    }
    static void clear()
    {
        QMutexLocker locker(&mutex());
        list().clear();
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (type == QtWarningMsg) {
            QMutexLocker locker(&mutex());
            list().append(message);
        }
        if (previous())
            previous()(type, context, message);
    }
    static QtMessageHandler &previous()
    {
        static QtMessageHandler handler = nullptr;
        return handler;
    }
    static QMutex &mutex()
    {
        static QMutex m;
        return m;
    }
    static QStringList &list()
    {
        static QStringList l;
        return l;
    }
};

using Rows = QVector<QVector<QVariant> >;

// Reads a database file through a connection of its own, as another program
// would see it.
inline Rows readRows(const QString &fileName, const QString &statement, QString *error = nullptr)
{
    Rows rows;
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        database.setDatabaseName(fileName);
        if (database.open()) {
            QSqlQuery query(database);
            if (query.exec(statement)) {
                while (query.next()) {
                    QVector<QVariant> row;
                    for (int i = 0; i < query.record().count(); ++i)
                        row.append(query.value(i));
                    rows.append(row);
                }
            } else if (error) {
                *error = query.lastError().text();
            }
        } else if (error) {
            *error = database.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

inline bool execute(const QString &fileName, const QStringList &statements)
{
    bool ok = true;
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        database.setDatabaseName(fileName);
        ok = database.open();
        QSqlQuery query(database);
        for (const QString &statement : statements)
            ok = ok && query.exec(statement);
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

using Ended = void (Sqlstore::Internal::IDataBaseTransaction::*)(bool);
using EndedWithRows = void (Sqlstore::Internal::IDataBaseTransaction::*)(bool, QVector<QVector<QVariant> >);
const Ended ended = &Sqlstore::Internal::IDataBaseTransaction::transactionExecutionEnded;
const EndedWithRows endedWithRows = &Sqlstore::Internal::IDataBaseTransaction::transactionExecutionEnded;

// What the worker would see of one execution.
struct Run
{
    QSqlError error;
    QList<bool> flags;          // one-argument signal
    QList<bool> rowFlags;       // two-argument signal
    Rows rows;
    bool leftOpenForWorker = false;
};

// The worker's part around process(), on this thread: one database
// transaction, committed on success and rolled back on failure.
inline Run runAsWorker(Sqlstore::Internal::IDataBaseTransaction *transaction, QSqlDatabase database)
{
    Run run;
    QSignalSpy one(transaction, ended);
    QSignalSpy two(transaction, endedWithRows);
    database.transaction();
    {
        QSqlQuery query(database);
        run.error = transaction->process(database, query);
        query.finish();
    }
    if (run.error.type() != QSqlError::NoError)
        run.leftOpenForWorker = database.rollback();
    else
        database.commit();
    for (const QList<QVariant> &arguments : qAsConst(one))
        run.flags.append(arguments.at(0).toBool());
    for (const QList<QVariant> &arguments : qAsConst(two)) {
        run.rowFlags.append(arguments.at(0).toBool());
        run.rows += arguments.at(1).value<Rows>();
    }
    return run;
}

inline QStringList column(const Rows &rows, int index = 0)
{
    QStringList values;
    for (const auto &row : rows)
        values.append(row.value(index).toString());
    return values;
}

} // namespace SqlstoreTest

#define SQLSTORE_TEST_MAIN(TestObject, Application)                  \
    int main(int argc, char *argv[])                                 \
    {                                                                \
        SqlstoreTest::dropRootPrivileges();                          \
        Application app(argc, argv);                                 \
        TestObject tc;                                               \
        QTEST_SET_MAIN_SOURCE_PATH                                   \
        return QTest::qExec(&tc, argc, argv);                        \
    }
