#pragma once

#include "sqlstore_global.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

namespace Sqlstore {
namespace Internal {

// The local side of sending rows to a team's server. A table whose rows go
// to the server gets an insert trigger that copies each new row, as JSON,
// into the table outbox of the same SQLite file: the copy is part of the
// transaction that records the row, so a row is either recorded and waiting
// or not recorded at all. outbox_control says whether rows are copied at all
// (only while a server is configured), under which station name, and the
// file's origin, a random id that keeps the rows of a new file apart from
// those of an old one with the same station name.
//
// A mirror tells the sender what to do with one kind of row on the server:
// the statements that create its tables (run once per server connection)
// and the statements that store one row. Their placeholders are bound, in
// order, from the names in `parameters`: a key of the row's JSON, or
// ":station", ":origin", ":local_id". A server row is unique by station,
// origin and local id, so a batch sent again after a lost answer adds
// nothing.
class SQLSTORE_EXPORT Outbox
{
public:
    struct Statement
    {
        QString sql;
        QStringList parameters;
    };
    struct Mirror
    {
        QString kind;
        QStringList serverSchema;
        QVector<Statement> statements;
    };

    enum class Dialect { SQLite, PostgreSQL };

    // Known to the sender from then on; registering a kind again replaces it.
    static void registerMirror(const Mirror &mirror);
    static bool mirror(const QString &kind, Mirror *out);
    static QVector<Mirror> mirrors();

    // Creates outbox, outbox_control and outbox_trigger (idempotent), then
    // registers the trigger on table that copies each new row as kind:
    // `select` is the tail "<json expression> FROM ... WHERE ..." of the
    // copying SELECT; it may use NEW and the table outbox_control (whose row
    // has id 1). Run these and controlStatements() through DBOutboxSetup,
    // which creates the trigger only while copying is on.
    static QStringList localSetup(const QString &table, const QString &kind, const QString &select);
    // The same for a row completed later: a trigger after an update of
    // `column` copies the row as kind (the select's WHERE may use OLD and
    // NEW to copy it once only).
    static QStringList localUpdateSetup(const QString &table, const QString &column, const QString &kind,
                                        const QString &select);
    static QStringList localSchema();
    // Creates the outbox if need be and turns the copying on (with the
    // station name) or off.
    static QStringList controlStatements(bool enabled, const QString &station);

    // Keeps the server's notices ("already exists, skipping") out of the
    // program's output; first statement of a server schema.
    static QString quietSession() { return QStringLiteral("SET client_min_messages TO warning"); }

    // The one column definition that differs between the engines.
    static QString autoIdColumn(Dialect dialect);
    static Dialect dialectOf(const QString &driver);
};

} // namespace Internal
} // namespace Sqlstore
