#pragma once

#include "commissioning_global.h"

#include <pointbook/tagwriter.h>

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QVector>

namespace Sqlstore {
namespace Internal {
class DataBaseConnection;
}
} // namespace Sqlstore

namespace Commissioning {

// The record of changes: every write attempt becomes one row of the table
// write_log in the program's database, through the database worker. Values
// travel as bound values, never inside the statement text.
//
// A write that goes out is recorded ahead: a row with the result "pending"
// is stored before the request leaves and completed with the outcome. A row
// still pending when the log is opened again belongs to a run that ended
// before the answer; it becomes "unknown".
class COMMISSIONING_EXPORT ChangeLog : public QObject
{
    Q_OBJECT

public:
    // Columns of write_log in the order of rows() and of the CSV export.
    static const QStringList &columns();

    explicit ChangeLog(QObject *parent = nullptr);

    // Also settles the rows a previous run left pending.
    void setDataBaseConnection(Sqlstore::Internal::DataBaseConnection *connection);
    Sqlstore::Internal::DataBaseConnection *dataBaseConnection() const;
    // The team's server, when one is configured: rows are still recorded in
    // the local file (which passes them on), but load() reads the server.
    void setServerConnection(Sqlstore::Internal::DataBaseConnection *connection);
    Sqlstore::Internal::DataBaseConnection *serverConnection() const;
    bool readsServer() const { return !m_server.isNull(); }

    // How the server keeps the rows; known to the outbox sender from the
    // first change log on.
    static void registerServerMirror();

    // Queues one row; recorded() follows once it is stored (or failed). The
    // outcome of a write recorded ahead (same request id) completes its row.
    void record(const Pointbook::TagWriter::Outcome &outcome, const QString &accessLevel,
                const QString &connection, const QString &deviceVersion,
                const QDateTime &timeUtc = QDateTime::currentDateTimeUtc());
    // Stores the row of a write about to go out with the result "pending";
    // `proceed` follows once it is committed (with an empty text) or could
    // not be (with the reason not to send). Fits TagWriter::setWriteAhead.
    void recordAhead(const Pointbook::TagWriter::Outcome &outcome, const QString &accessLevel,
                     const QString &connection, const QString &deviceVersion,
                     const Pointbook::TagWriter::Proceed &proceed,
                     const QDateTime &timeUtc = QDateTime::currentDateTimeUtc());
    // The detail of a row the previous run left pending.
    static QString endedBeforeAnswerText();

    // Asks for the rows, newest first, whose tag id or name contains the
    // filter (all for an empty one); rowsLoaded() follows. Read from the
    // server, each row ends with the station's name, and station (when not
    // empty) keeps that station's rows only.
    void load(const QString &tagFilter = QString(), int limit = 10000,
              const QString &station = QString());

    // The rows as CSV (header, then one line per row), quoted where needed;
    // a text a spreadsheet would take for a formula is written as text.
    static QString toCsv(const QVector<QVector<QVariant>> &rows);

signals:
    void recorded(bool ok);
    void rowsLoaded(bool ok, const QVector<QVector<QVariant>> &rows);

private:
    void ensureTable();

    QPointer<Sqlstore::Internal::DataBaseConnection> m_connection;
    QPointer<Sqlstore::Internal::DataBaseConnection> m_server;
    bool m_tableQueued = false;
    bool m_settled = false;             // rows of earlier runs settled on this connection
    QHash<int, qint64> m_aheadRows;     // request id -> row id of its pending row
};

} // namespace Commissioning
