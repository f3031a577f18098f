#include "dbboundbatchdatatable.h"

namespace Sqlstore {
namespace Internal {

DBBoundBatchDataTable::DBBoundBatchDataTable(const QString &statement, const Rows &rows,
                                             Priority priority, QObject *parent)
    : IDataBaseTransaction(parent)
    , m_rows(rows)
{
    setPriority(priority);
    appendSqlQuery(statement);
}

QString DBBoundBatchDataTable::insertStatement(const QString &tableName, const QStringList &columns,
                                               const QString &verb)
{
    QStringList marks;
    marks.reserve(columns.size());
    for (int i = 0; i < columns.size(); ++i)
        marks.append(QStringLiteral("?"));
    return verb + QLatin1String(" INTO ") + tableName + QLatin1String(" (")
           + columns.join(QLatin1String(", ")) + QLatin1String(")  VALUES (")
           + marks.join(QLatin1String(", ")) + QLatin1Char(')');
}

QSqlError DBBoundBatchDataTable::process(QSqlDatabase database, QSqlQuery query)
{
    Q_UNUSED(database)
    m_rowsAffected = 0;
    const QStringList statements = sqlQueryList();
    QSqlError error;
    query.setForwardOnly(true);
    if (statements.size() != 1 || !query.prepare(statements.constFirst())) {
        error = statements.size() == 1
                    ? query.lastError()
                    : QSqlError(QString(), tr("A batch holds exactly one statement."),
                                QSqlError::StatementError);
    } else {
        const int placeholders = statements.constFirst().count(QLatin1Char('?'));
        for (int r = 0; r < m_rows.size(); ++r) {
            const QVector<QVariant> &row = m_rows.at(r);
            // Counting "?" is exact for the statements this kind is meant
            // for; a "?" inside a text literal only makes the check stricter.
            if (row.size() != placeholders) {
                error = QSqlError(QString(),
                                  tr("Row %1 has %2 values for %3 placeholders.")
                                      .arg(r + 1).arg(row.size()).arg(placeholders),
                                  QSqlError::StatementError);
                break;
            }
            for (int i = 0; i < row.size(); ++i)
                query.bindValue(i, row.at(i));
            if (!query.exec()) {
                error = query.lastError();
                break;
            }
            if (query.numRowsAffected() > 0)
                m_rowsAffected += query.numRowsAffected();
        }
    }
    m_error = error;
    // Emitted after the worker's commit, false when that commit fails.
    announceEnd(error.type() == QSqlError::NoError, nullptr);
    return error;
}

} // namespace Internal
} // namespace Sqlstore
