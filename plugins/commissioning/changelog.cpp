#include "changelog.h"

#include <sqlstore/databaseconnection.h>
#include <sqlstore/dbcustomcommandnotreturndata.h>
#include <sqlstore/dboutboxsetup.h>
#include <sqlstore/dbpreparedstatement.h>
#include <sqlstore/outbox.h>
#include <workspace/csvfield.h>

#include <QStringList>

namespace Commissioning {

using Sqlstore::Internal::DBCustomCommandNotReturnData;
using Sqlstore::Internal::DBOutboxSetup;
using Sqlstore::Internal::DBPreparedStatement;
using Sqlstore::Internal::IDataBaseTransaction;
using Sqlstore::Internal::Outbox;

namespace {

QString registerName(Pointbook::Tag::RegisterType type)
{
    switch (type) {
    case Pointbook::Tag::IR: return QStringLiteral("IR");
    case Pointbook::Tag::HR: return QStringLiteral("HR");
    case Pointbook::Tag::DI: return QStringLiteral("DI");
    case Pointbook::Tag::CO: return QStringLiteral("CO");
    default: return QString();
    }
}

QString hexWords(const QVector<quint16> &words)
{
    QStringList parts;
    for (const quint16 w : words)
        parts << QStringLiteral("%1").arg(w, 4, 16, QLatin1Char('0')).toUpper();
    return parts.join(QLatin1Char(' '));
}

} // namespace

const QStringList &ChangeLog::columns()
{
    static const QStringList names{
        QStringLiteral("time_utc"),     QStringLiteral("access_level"), QStringLiteral("connection"),
        QStringLiteral("device_version"), QStringLiteral("register_type"), QStringLiteral("address"),
        QStringLiteral("tag_id"),       QStringLiteral("tag_name"),     QStringLiteral("old_value"),
        QStringLiteral("new_value"),    QStringLiteral("raw_words"),    QStringLiteral("result"),
        QStringLiteral("detail")};
    return names;
}

namespace {

QStringList serverSchema()
{
    return {Outbox::quietSession(),
            QStringLiteral("CREATE TABLE IF NOT EXISTS write_log (%1, station TEXT NOT NULL, origin TEXT NOT NULL, "
                           "local_id BIGINT NOT NULL, time_utc TEXT NOT NULL, access_level TEXT, connection TEXT, "
                           "device_version TEXT, register_type TEXT, address BIGINT, tag_id TEXT, tag_name TEXT, "
                           "old_value TEXT, new_value TEXT, raw_words TEXT, result TEXT NOT NULL, detail TEXT, "
                           "UNIQUE (station, origin, local_id))")
                .arg(Outbox::autoIdColumn(Outbox::Dialect::PostgreSQL)),
            QStringLiteral("CREATE INDEX IF NOT EXISTS write_log_station_time ON write_log (station, time_utc)")};
}

} // namespace

void ChangeLog::registerServerMirror()
{
    Outbox::Mirror mirror;
    mirror.kind = QStringLiteral("write_log");
    mirror.serverSchema = serverSchema();
    QStringList marks;
    for (int i = 0; i < columns().size() + 3; ++i)
        marks << QStringLiteral("?");
    mirror.statements.append(
        {QStringLiteral("INSERT INTO write_log (station, origin, local_id, ") + columns().join(QLatin1String(", "))
             + QStringLiteral(") VALUES (") + marks.join(QLatin1String(", "))
             + QStringLiteral(") ON CONFLICT (station, origin, local_id) DO NOTHING"),
         QStringList{QStringLiteral(":station"), QStringLiteral(":origin"), QStringLiteral(":local_id")}
             + columns()});
    Outbox::registerMirror(mirror);
}

ChangeLog::ChangeLog(QObject *parent)
    : QObject(parent)
{
    registerServerMirror();
}

void ChangeLog::setDataBaseConnection(Sqlstore::Internal::DataBaseConnection *connection)
{
    m_connection = connection;
    m_tableQueued = false;
    m_settled = false;
    m_aheadRows.clear();
    ensureTable();
}

QString ChangeLog::endedBeforeAnswerText()
{
    return tr("the program ended before the answer");
}

void ChangeLog::setServerConnection(Sqlstore::Internal::DataBaseConnection *connection)
{
    m_server = connection;
}

Sqlstore::Internal::DataBaseConnection *ChangeLog::serverConnection() const
{
    return m_server;
}

Sqlstore::Internal::DataBaseConnection *ChangeLog::dataBaseConnection() const
{
    return m_connection;
}

void ChangeLog::ensureTable()
{
    if (m_tableQueued || !m_connection)
        return;
    m_tableQueued = true;
    // Created on first use; the worker runs it before anything queued later.
    // While a server is configured, each new row is also copied into the
    // outbox, in the transaction that records it.
    // A row goes to the server once, complete: when inserted with its
    // outcome, or when its pending row is completed.
    QStringList fields;
    for (const QString &column : columns())
        fields << QStringLiteral("'%1', NEW.%1").arg(column);
    const QString copy = QStringLiteral("json_object(") + fields.join(QLatin1String(", "))
                         + QStringLiteral(") FROM outbox_control WHERE outbox_control.id = 1");
    auto *create = new DBOutboxSetup(
        QStringList(QStringLiteral(
            "CREATE TABLE IF NOT EXISTS write_log (id INTEGER PRIMARY KEY AUTOINCREMENT, "
            "time_utc TEXT NOT NULL, access_level TEXT, connection TEXT, device_version TEXT, "
            "register_type TEXT, address INTEGER, tag_id TEXT, tag_name TEXT, old_value TEXT, "
            "new_value TEXT, raw_words TEXT, result TEXT NOT NULL, detail TEXT)"))
        + Outbox::localSetup(QStringLiteral("write_log"), QStringLiteral("write_log"),
                             copy + QStringLiteral(" AND NEW.result <> 'pending'"))
        + Outbox::localUpdateSetup(QStringLiteral("write_log"), QStringLiteral("result"), QStringLiteral("write_log"),
                                   copy + QStringLiteral(" AND OLD.result = 'pending' AND NEW.result <> 'pending'")));
    connect(create, qOverload<bool>(&IDataBaseTransaction::transactionExecutionEnded), this,
            [this, create](bool ok) {
                if (!ok)
                    m_tableQueued = false; // tried again with the next row
                create->setStatus(IDataBaseTransaction::Completed);
            });
    m_connection->addTransactionExec(create);
    if (m_settled)
        return;
    m_settled = true;
    // Queued before any row of this run, so only rows of earlier runs are
    // still pending here: their answer never reached the program.
    auto *settle = new DBPreparedStatement(
        QStringLiteral("UPDATE write_log SET result = ?, detail = ? WHERE result = ?"),
        {{Pointbook::TagWriter::resultName(Pointbook::TagWriter::Unknown), endedBeforeAnswerText(),
          Pointbook::TagWriter::resultName(Pointbook::TagWriter::Pending)}});
    connect(settle, qOverload<bool>(&IDataBaseTransaction::transactionExecutionEnded), this,
            [this, settle](bool ok) {
                if (!ok)
                    m_settled = false;
                settle->setStatus(IDataBaseTransaction::Completed);
            });
    m_connection->addTransactionExec(settle);
}

void ChangeLog::recordAhead(const Pointbook::TagWriter::Outcome &o, const QString &accessLevel,
                            const QString &connection, const QString &deviceVersion,
                            const Pointbook::TagWriter::Proceed &proceed, const QDateTime &timeUtc)
{
    if (!m_connection) {
        proceed(QString()); // no log kept: nothing to record ahead
        return;
    }
    ensureTable();
    const QVariantList values{
        timeUtc.toUTC().toString(Qt::ISODateWithMs), accessLevel, connection, deviceVersion,
        registerName(o.registerType), o.address, o.tagId, o.tagName, o.oldValue,
        o.newValue, hexWords(o.words), Pointbook::TagWriter::resultName(Pointbook::TagWriter::Pending),
        QString()};
    auto *insert = new DBPreparedStatement(
        QStringLiteral("INSERT INTO write_log (") + columns().join(QLatin1String(", "))
            + QStringLiteral(") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id"),
        {values}, true);
    const int request = o.requestId;
    // Sent without its row, a write could be missing from the log. A
    // transaction stopped with the worker ends by the first signal only.
    const QString refusal = tr("The change log could not store the write, so it was not sent.");
    connect(insert, qOverload<bool>(&IDataBaseTransaction::transactionExecutionEnded), this,
            [proceed, refusal](bool ok) {
                if (!ok)
                    proceed(refusal);
            });
    connect(insert, qOverload<bool, QVector<QVector<QVariant>>>(&IDataBaseTransaction::transactionExecutionEnded),
            this, [this, insert, request, proceed, refusal](bool ok, const QVector<QVector<QVariant>> &rows) {
                insert->setStatus(IDataBaseTransaction::Completed);
                if (!ok)
                    return;
                const qint64 id = rows.value(0).value(0).toLongLong();
                if (id <= 0) {
                    proceed(refusal);
                    return;
                }
                m_aheadRows.insert(request, id);
                proceed(QString());
            });
    m_connection->addTransactionExec(insert);
}

void ChangeLog::record(const Pointbook::TagWriter::Outcome &o, const QString &accessLevel,
                       const QString &connection, const QString &deviceVersion,
                       const QDateTime &timeUtc)
{
    if (!m_connection) {
        emit recorded(false);
        return;
    }
    ensureTable();
    const QString detail = o.result == Pointbook::TagWriter::Ok ? QStringLiteral("read back %1").arg(o.readBack)
                                                                : o.detail;
    if (m_aheadRows.contains(o.requestId)) {
        const qint64 id = m_aheadRows.take(o.requestId);
        auto *complete = new DBPreparedStatement(
            QStringLiteral("UPDATE write_log SET new_value = ?, raw_words = ?, result = ?, detail = ? "
                           "WHERE id = ? AND result = ?"),
            {{o.newValue, hexWords(o.words), Pointbook::TagWriter::resultName(o.result), detail, id,
              Pointbook::TagWriter::resultName(Pointbook::TagWriter::Pending)}});
        connect(complete, qOverload<bool>(&IDataBaseTransaction::transactionExecutionEnded), this,
                [this, complete](bool ok) {
                    complete->setStatus(IDataBaseTransaction::Completed);
                    emit recorded(ok);
                });
        m_connection->addTransactionExec(complete);
        return;
    }
    const QVariantList values{
        timeUtc.toUTC().toString(Qt::ISODateWithMs), accessLevel, connection, deviceVersion,
        registerName(o.registerType), o.address, o.tagId, o.tagName, o.oldValue,
        o.newValue, hexWords(o.words), Pointbook::TagWriter::resultName(o.result), detail};
    auto *insert = new DBPreparedStatement(
        QStringLiteral("INSERT INTO write_log (") + columns().join(QLatin1String(", "))
            + QStringLiteral(") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
        {values});
    connect(insert, qOverload<bool>(&IDataBaseTransaction::transactionExecutionEnded), this,
            [this, insert](bool ok) {
                insert->setStatus(IDataBaseTransaction::Completed);
                emit recorded(ok);
            });
    m_connection->addTransactionExec(insert);
}

void ChangeLog::load(const QString &tagFilter, int limit, const QString &station)
{
    Sqlstore::Internal::DataBaseConnection *source = m_server ? m_server.data() : m_connection.data();
    if (!source) {
        emit rowsLoaded(false, {});
        return;
    }
    if (m_server) {
        // The sender creates the tables too, but the view may come first.
        auto *create = new DBCustomCommandNotReturnData(QString(), IDataBaseTransaction::High);
        create->setSqlQueryList(serverSchema());
        connect(create, qOverload<bool>(&IDataBaseTransaction::transactionExecutionEnded), this,
                [create](bool) { create->setStatus(IDataBaseTransaction::Completed); });
        source->addTransactionExec(create);
    } else {
        ensureTable();
    }
    const QString pattern = QLatin1Char('%') + QString(tagFilter).replace(QLatin1Char('\\'), QLatin1String("\\\\"))
                                                   .replace(QLatin1Char('%'), QLatin1String("\\%"))
                                                   .replace(QLatin1Char('_'), QLatin1String("\\_"))
                            + QLatin1Char('%');
    auto *select = m_server
        ? new DBPreparedStatement(
            QStringLiteral("SELECT ") + columns().join(QLatin1String(", "))
                + QStringLiteral(", station FROM write_log WHERE (tag_id LIKE ? ESCAPE '\\' OR tag_name LIKE ? "
                                 "ESCAPE '\\') AND (station = ? OR ? = '') ORDER BY time_utc DESC, id DESC LIMIT ?"),
            {{pattern, pattern, station.isNull() ? QStringLiteral("") : station,
              station.isNull() ? QStringLiteral("") : station, qMax(1, limit)}}, true, IDataBaseTransaction::High)
        : new DBPreparedStatement(
            QStringLiteral("SELECT ") + columns().join(QLatin1String(", "))
                + QStringLiteral(" FROM write_log WHERE tag_id LIKE ? ESCAPE '\\' OR tag_name LIKE ? "
                                 "ESCAPE '\\' ORDER BY id DESC LIMIT ?"),
            {{pattern, pattern, qMax(1, limit)}}, true, IDataBaseTransaction::High);
    connect(select, qOverload<bool, QVector<QVector<QVariant>>>(&IDataBaseTransaction::transactionExecutionEnded),
            this, [this, select](bool ok, const QVector<QVector<QVariant>> &rows) {
                select->setStatus(IDataBaseTransaction::Completed);
                emit rowsLoaded(ok, rows);
            });
    source->addTransactionExec(select);
}

QString ChangeLog::toCsv(const QVector<QVector<QVariant>> &rows)
{
    // Names, levels, connections and stations come from files and other
    // stations: none may reach a spreadsheet as a formula.
    const auto field = [](const QString &text) { return Workspace::CsvField::text(text); };
    const bool withStation = !rows.isEmpty() && rows.constFirst().size() > columns().size();
    QString csv = columns().join(QLatin1Char(',')) + (withStation ? QStringLiteral(",station") : QString())
                  + QLatin1Char('\n');
    for (const auto &row : rows) {
        QStringList fields;
        for (const QVariant &v : row)
            fields << field(v.toString());
        csv += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return csv;
}

} // namespace Commissioning
