#include "dboutboxsetup.h"

namespace Sqlstore {
namespace Internal {

DBOutboxSetup::DBOutboxSetup(const QStringList &statements, Priority priority, QObject *parent)
    : IDataBaseTransaction(parent)
{
    setPriority(priority);
    setSqlQueryList(statements);
}

QSqlError DBOutboxSetup::process(QSqlDatabase database, QSqlQuery query)
{
    QSqlError error = processStatements(database, query, nullptr);
    if (error.type() == QSqlError::NoError)
        error = matchTriggers(query);
    announceEnd(error.type() == QSqlError::NoError, nullptr);
    return error;
}

QSqlError DBOutboxSetup::matchTriggers(QSqlQuery &query)
{
    query.finish();
    if (!query.exec(QStringLiteral("SELECT enabled FROM outbox_control WHERE id = 1")))
        return query.lastError();
    const bool enabled = query.next() && query.value(0).toInt() == 1;
    query.finish();
    if (!query.exec(QStringLiteral("SELECT t.name, t.definition, m.sql FROM outbox_trigger t "
                                   "LEFT JOIN sqlite_master m ON m.type = 'trigger' AND m.name = t.name")))
        return query.lastError();
    QStringList changes;
    while (query.next()) {
        const QString name = query.value(0).toString();
        const QString definition = query.value(1).toString();
        const QVariant present = query.value(2);
        const QString drop = QStringLiteral("DROP TRIGGER IF EXISTS \"%1\"")
                                 .arg(QString(name).replace(QLatin1Char('"'), QLatin1String("\"\"")));
        if (enabled) {
            // A trigger of an older definition is made again.
            if (present.isNull() || present.toString() != definition) {
                if (!present.isNull())
                    changes << drop;
                changes << definition;
            }
        } else if (!present.isNull()) {
            changes << drop;
        }
    }
    query.finish();
    for (const QString &change : qAsConst(changes)) {
        if (!query.exec(change))
            return query.lastError();
        query.finish();
    }
    return QSqlError();
}

} // namespace Internal
} // namespace Sqlstore
