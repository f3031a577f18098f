#pragma once

#include "sqlstore_global.h"

#include "dbboundbatchdatatable.h"
#include "dbselectiondatatable.h"
#include "idatabasetransaction.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QStringList>

QT_BEGIN_NAMESPACE
class QThread;
QT_END_NAMESPACE

namespace Sqlstore {
namespace Internal {

class DataBaseSettings;
class DataBaseThread;

// The front of the database driver. Use: build a transaction with one of the
// slots below (it lives on the worker thread already), connect to the end
// signal that fits, queue it with addTransactionExec(), and on the signal read
// the result and set the status Completed so that the worker may free it.
class SQLSTORE_EXPORT DataBaseConnection : public QObject
{
    Q_OBJECT

public:
    explicit DataBaseConnection(QObject *parent = nullptr);
    ~DataBaseConnection() override;

    bool initDataBaseConnection();
    void setSettings(DataBaseSettings *settings);
    bool start();
    // Lets the worker finish and frees worker and thread; always emits
    // stopped(). What was queued still runs within the worker's stop budget;
    // after StopGrace more the running statement is interrupted and the rest
    // ends with the false signal. Returns within StopTimeout; a thread is
    // never terminated.
    void stop();
    // Queues a transaction; the worker owns it from now on. Null is ignored.
    void addTransactionExec(IDataBaseTransaction *transaction);

    static constexpr int StopGrace = 500;
    static constexpr int StopTimeout = 4500;

public slots:
    IDataBaseTransaction *createTable(const QString &tableName, const QStringList &instruction,
                                      IDataBaseTransaction::Priority priority = IDataBaseTransaction::Normal);
    IDataBaseTransaction *deleteTable(const QString &tableName,
                                      IDataBaseTransaction::Priority priority = IDataBaseTransaction::Normal);
    IDataBaseTransaction *addColumnsTable(const QString &tableName, const QStringList &instructions,
                                          IDataBaseTransaction::Priority priority = IDataBaseTransaction::Normal);
    IDataBaseTransaction *removeColumnsTable(const QString &tableName, const QStringList &columns,
                                             IDataBaseTransaction::Priority priority = IDataBaseTransaction::Normal);
    IDataBaseTransaction *customCommandNotReturnData(const QString &query,
                                                     IDataBaseTransaction::Priority priority = IDataBaseTransaction::Normal);
    IDataBaseTransaction *customCommandReturnData(const QString &query,
                                                  IDataBaseTransaction::Priority priority = IDataBaseTransaction::Normal);
    IDataBaseTransaction *insertDataTable(const QString &tableName, const QStringList &columns,
                                          const QStringList &values,
                                          IDataBaseTransaction::Priority priority = IDataBaseTransaction::Normal);
    IDataBaseTransaction *lastInsertRowid(IDataBaseTransaction::Priority priority = IDataBaseTransaction::Normal);
    IDataBaseTransaction *updateDataTable(const QString &tableName, const QStringList &columns,
                                          const QStringList &values, const QString &criterion = QString(),
                                          IDataBaseTransaction::Priority priority = IDataBaseTransaction::Normal);
    IDataBaseTransaction *deleteDataTable(const QString &tableName, const QString &criterion = QString(),
                                          IDataBaseTransaction::Priority priority = IDataBaseTransaction::Normal);
    IDataBaseTransaction *selectionDataTable(const QString &tableName,
                                             const QStringList &columns = QStringList(),
                                             const QMap<QString, DBSelectionDataTable::TypeSort> &sortColums
                                                 = QMap<QString, DBSelectionDataTable::TypeSort>(),
                                             const QString &criterion = QString(),
                                             int limit = -1, int offset = -1,
                                             IDataBaseTransaction::Priority priority = IDataBaseTransaction::Normal);
    // Many rows through one prepared statement with bound values, in one
    // database transaction (DBBoundBatchDataTable).
    IDataBaseTransaction *insertBoundDataTable(const QString &tableName, const QStringList &columns,
                                               const QVector<QVector<QVariant> > &rows,
                                               IDataBaseTransaction::Priority priority = IDataBaseTransaction::Normal);
    IDataBaseTransaction *boundBatchDataTable(const QString &statement,
                                              const QVector<QVector<QVariant> > &rows,
                                              IDataBaseTransaction::Priority priority = IDataBaseTransaction::Normal);
    // Rows laid out one after another in `values`, `columns` to a row.
    IDataBaseTransaction *boundBatchDataTable(const QString &statement, int columns,
                                              const QVector<QVariant> &values,
                                              IDataBaseTransaction::Priority priority = IDataBaseTransaction::Normal);
    // Statements of Outbox (DBOutboxSetup).
    IDataBaseTransaction *outboxSetup(const QStringList &statements,
                                      IDataBaseTransaction::Priority priority = IDataBaseTransaction::Normal);

signals:
    void addTransaction(Sqlstore::Internal::IDataBaseTransaction *transaction);
    void addTransaction(QList<Sqlstore::Internal::IDataBaseTransaction *> transactionList);
    void launched();
    void stopped();
    void transactionClearAll();

private:
    IDataBaseTransaction *prepare(IDataBaseTransaction *transaction);

    DataBaseThread *worker = nullptr;
    QThread *thread = nullptr;
};

} // namespace Internal
} // namespace Sqlstore
