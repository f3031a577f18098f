#include "boundstatement.h"
#include "sqlitehandle.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSqlRecord>

#include <sqlite3.h>

#include <utility>

namespace Sqlstore {
namespace Internal {

namespace {

// Errors worded as Qt's SQLite driver words them, so users and logs see the
// same texts whichever path ran the statement; Qt's own translations carry
// them.
const char DriverContext[] = "QSQLiteResult";

const char ExecuteText[] = "Unable to execute statement";
const char MultipleText[] = "Unable to execute multiple statements at a time";
const char OnlyOneText[] = "Only one statement is allowed";

QString driverText(const char *text)
{
    return QCoreApplication::translate(DriverContext, text);
}

QSqlError sqliteError(sqlite3 *handle, const char *what, QSqlError::ErrorType type, int code)
{
    return QSqlError(driverText(what), QString(reinterpret_cast<const QChar *>(sqlite3_errmsg16(handle))),
                     type, QString::number(code));
}

QSqlError countMismatch(int row, int values, int placeholders)
{
    return QSqlError(QString(),
                     QCoreApplication::translate("Sqlstore::Internal::BoundStatement",
                                                 "Row %1 has %2 values for %3 placeholders.")
                         .arg(row + 1).arg(values).arg(placeholders),
                     QSqlError::StatementError);
}

// The statement owned for one run; finalized whatever way the run ends.
class Prepared
{
public:
    Prepared(sqlite3 *handle, const QString &text, QSqlError *error)
        : m_handle(handle)
    {
        const void *tail = nullptr;
        const int rc = sqlite3_prepare16_v2(handle, text.utf16(), int(text.size() * sizeof(QChar)),
                                            &m_statement, &tail);
        if (rc != SQLITE_OK || !m_statement) {
            *error = rc != SQLITE_OK
                         ? sqliteError(handle, "Unable to execute statement", QSqlError::StatementError, rc)
                         : QSqlError(driverText(ExecuteText),
                                     QCoreApplication::translate("Sqlstore::Internal::BoundStatement",
                                                                 "The statement is empty."),
                                     QSqlError::StatementError);
            return;
        }
        const QChar *rest = static_cast<const QChar *>(tail);
        const QChar *end = text.constData() + text.size();
        if (rest && rest < end && !QString(rest, int(end - rest)).trimmed().isEmpty()) {
            *error = QSqlError(driverText(MultipleText), driverText(OnlyOneText),
                               QSqlError::StatementError, QString::number(SQLITE_MISUSE));
            sqlite3_finalize(m_statement);
            m_statement = nullptr;
        }
    }
    ~Prepared() { sqlite3_finalize(m_statement); }
    Prepared(const Prepared &) = delete;
    Prepared &operator=(const Prepared &) = delete;

    sqlite3_stmt *get() const { return m_statement; }

    bool bind(const QVariant *values, int count, QSqlError *error)
    {
        for (int i = 0; i < count; ++i) {
            const QVariant &value = values[i];
            int rc = SQLITE_OK;
            if (value.isNull()) {
                rc = sqlite3_bind_null(m_statement, i + 1);
            } else {
                switch (value.userType()) {
                case QMetaType::QByteArray: {
                    const QByteArray bytes = value.toByteArray();
                    rc = sqlite3_bind_blob(m_statement, i + 1, bytes.constData(), bytes.size(), SQLITE_TRANSIENT);
                    break;
                }
                case QMetaType::Int:
                case QMetaType::Bool:
                    rc = sqlite3_bind_int(m_statement, i + 1, value.toInt());
                    break;
                case QMetaType::Double:
                    rc = sqlite3_bind_double(m_statement, i + 1, value.toDouble());
                    break;
                case QMetaType::UInt:
                case QMetaType::LongLong:
                    rc = sqlite3_bind_int64(m_statement, i + 1, value.toLongLong());
                    break;
                case QMetaType::QDateTime:
                    rc = bindText(i, value.toDateTime().toString(Qt::ISODateWithMs));
                    break;
                case QMetaType::QTime:
                    rc = bindText(i, value.toTime().toString(QStringLiteral("hh:mm:ss.zzz")));
                    break;
                default:
                    // Strings, and whatever else as its text, as Qt's driver does.
                    rc = bindText(i, value.toString());
                    break;
                }
            }
            if (rc != SQLITE_OK) {
                *error = sqliteError(m_handle, "Unable to bind parameters", QSqlError::StatementError, rc);
                return false;
            }
        }
        return true;
    }

    // Steps to the end, appending rows when asked; false with the error.
    bool step(BoundStatement::Rows *result, qint64 *rowsAffected, QSqlError *error)
    {
        const int columns = sqlite3_column_count(m_statement);
        int rc;
        while ((rc = sqlite3_step(m_statement)) == SQLITE_ROW) {
            if (!result)
                continue;
            BoundStatement::Row row;
            row.reserve(columns);
            for (int c = 0; c < columns; ++c)
                row.append(column(c));
            result->append(std::move(row));
        }
        if (rc != SQLITE_DONE) {
            *error = sqliteError(m_handle, "Unable to fetch row", QSqlError::ConnectionError, rc);
            sqlite3_reset(m_statement);
            return false;
        }
        if (rowsAffected && columns == 0)
            *rowsAffected += sqlite3_changes(m_handle);
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
        return true;
    }

private:
    int bindText(int i, const QString &text)
    {
        return sqlite3_bind_text16(m_statement, i + 1, text.utf16(), int(text.size() * sizeof(QChar)),
                                   SQLITE_TRANSIENT);
    }

    // A column's value as Qt's driver returns it (integers as qint64, NULL
    // as a null string).
    QVariant column(int c) const
    {
        switch (sqlite3_column_type(m_statement, c)) {
        case SQLITE_INTEGER:
            return qint64(sqlite3_column_int64(m_statement, c));
        case SQLITE_FLOAT:
            return sqlite3_column_double(m_statement, c);
        case SQLITE_NULL:
            return QVariant(QVariant::String);
        case SQLITE_BLOB:
            return QByteArray(static_cast<const char *>(sqlite3_column_blob(m_statement, c)),
                              sqlite3_column_bytes(m_statement, c));
        default: {
            // Most texts are plain ASCII (ids, numbers, time stamps): those
            // are taken from SQLite's own UTF-8 as they are. Its conversion
            // to UTF-16 costs more than the whole rest of a row; any other
            // text still goes through it, as in Qt's driver, so that text
            // that is not valid UTF-8 reads the same.
            const unsigned char *utf8 = sqlite3_column_text(m_statement, c);
            const int bytes = sqlite3_column_bytes(m_statement, c);
            if (utf8 && isAscii(utf8, bytes))
                return QString::fromLatin1(reinterpret_cast<const char *>(utf8), bytes);
            const void *utf16 = sqlite3_column_text16(m_statement, c);
            return QString(static_cast<const QChar *>(utf16),
                           sqlite3_column_bytes16(m_statement, c) / int(sizeof(QChar)));
        }
        }
    }

    static bool isAscii(const unsigned char *text, int size)
    {
        unsigned char any = 0;
        for (int i = 0; i < size; ++i)
            any |= text[i];
        return any < 0x80;
    }

    sqlite3 *m_handle;
    sqlite3_stmt *m_statement = nullptr;
};

void readRows(QSqlQuery &query, BoundStatement::Rows *result)
{
    // Every row of one statement has the same columns; building the record
    // per row cost more than reading the values.
    const int columns = query.record().count();
    while (query.next()) {
        BoundStatement::Row row;
        row.reserve(columns);
        for (int column = 0; column < columns; ++column)
            row.append(query.value(column));
        result->append(std::move(row));
    }
}

// Runs once per row; `row(r, &count)` gives the r-th row's first value and
// its value count, so that rows kept one list each and rows laid out one
// after another in a single block share one loop.
template<typename RowAt>
QSqlError runRows(QSqlDatabase &database, QSqlQuery &query, const QString &statement, int rows,
                  RowAt row, BoundStatement::Rows *result, qint64 *rowsAffected)
{
    if (sqlite3 *handle = SqliteHandle::of(database)) {
        QSqlError error;
        Prepared prepared(handle, statement, &error);
        if (!prepared.get())
            return error;
        const int expected = sqlite3_bind_parameter_count(prepared.get());
        for (int r = 0; r < rows; ++r) {
            int count = 0;
            const QVariant *values = row(r, &count);
            if (count != expected)
                return countMismatch(r, count, expected);
            if (!prepared.bind(values, count, &error) || !prepared.step(result, rowsAffected, &error))
                return error;
        }
        return QSqlError();
    }

    const int placeholders = BoundStatement::placeholderCount(statement);
    query.setForwardOnly(true);
    if (!query.prepare(statement))
        return query.lastError();
    for (int r = 0; r < rows; ++r) {
        int count = 0;
        const QVariant *values = row(r, &count);
        // A short row would run with the previous row's values.
        if (count != placeholders)
            return countMismatch(r, count, placeholders);
        for (int i = 0; i < count; ++i)
            query.bindValue(i, values[i]);
        if (!query.exec())
            return query.lastError();
        if (result)
            readRows(query, result);
        if (rowsAffected && query.numRowsAffected() > 0)
            *rowsAffected += query.numRowsAffected();
        query.finish();
    }
    return QSqlError();
}

} // namespace

QSqlError BoundStatement::run(QSqlDatabase &database, QSqlQuery &query, const QString &statement,
                              const Rows &values, Rows *result, qint64 *rowsAffected)
{
    return runRows(database, query, statement, values.size(),
                   [&values](int r, int *count) {
                       *count = values.at(r).size();
                       return values.at(r).constData();
                   },
                   result, rowsAffected);
}

QSqlError BoundStatement::run(QSqlDatabase &database, QSqlQuery &query, const QString &statement,
                              int columns, const Row &values, Rows *result, qint64 *rowsAffected)
{
    if (columns <= 0)
        return values.isEmpty() ? QSqlError() : countMismatch(0, 0, placeholderCount(statement));
    const int size = values.size();
    // A last row cut short is run with the values it has, so that it fails
    // as a short row of lists does.
    return runRows(database, query, statement, (size + columns - 1) / columns,
                   [&values, columns, size](int r, int *count) {
                       const int first = r * columns;
                       *count = qMin(columns, size - first);
                       return values.constData() + first;
                   },
                   result, rowsAffected);
}

QSqlError BoundStatement::select(QSqlDatabase &database, QSqlQuery &query, const QString &statement,
                                 Rows *result)
{
    if (sqlite3 *handle = SqliteHandle::of(database)) {
        QSqlError error;
        Prepared prepared(handle, statement, &error);
        if (!prepared.get() || !prepared.step(result, nullptr, &error))
            return error;
        return QSqlError();
    }
    query.setForwardOnly(true);
    if (!query.exec(statement))
        return query.lastError();
    readRows(query, result);
    return QSqlError();
}

int BoundStatement::placeholderCount(const QString &statement)
{
    int count = 0;
    QChar quote;
    for (const QChar c : statement) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (c == QLatin1Char('?')) {
            ++count;
        }
    }
    return count;
}

} // namespace Internal
} // namespace Sqlstore
