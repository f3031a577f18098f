#include "csvexporter.h"

#include <pointbook/tag.h>
#include <workspace/csvfield.h>
#include <workspace/tagformatter.h>

#include <QDateTime>
#include <QMap>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QThread>
#include <QUuid>

#include <cmath>
#include <limits>
#include <tuple>

using Pointbook::Tag;

namespace Trend {

namespace {
bool isIntegral(Tag::DataType type)
{
    return type != Tag::Float && type != Tag::Double;
}
} // namespace

CsvExporter::CsvExporter(QObject *parent)
    : QObject(parent)
{
}

QString CsvExporter::quoted(const QString &field)
{
    return Workspace::CsvField::quoted(field);
}

QString CsvExporter::columnName(const Column &column)
{
    QString name = column.unit.isEmpty() ? column.name : QStringLiteral("%1 [%2]").arg(column.name, column.unit);
    if (column.stale)
        name = tr("%1 (stale)").arg(name);
    return name;
}

QString CsvExporter::header(const QVector<Column> &columns)
{
    QStringList fields{QStringLiteral("time_utc")};
    for (const Column &c : columns)
        fields.append(Workspace::CsvField::text(columnName(c)));
    return fields.join(QLatin1Char(','));
}

QString CsvExporter::timeText(qint64 timeMs)
{
    return QDateTime::fromMSecsSinceEpoch(timeMs, Qt::UTC).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

QString CsvExporter::valueText(double value, const Column &column)
{
    if (!std::isfinite(value))
        return QString();
    if (column.integral)
        return QString::number(value, 'f', 0);
    if (column.precision < 0)
        return QString::number(value, 'g', 7);
    return QString::number(value, 'f', qMin(column.precision, 15));
}

CsvExporter::Column CsvExporter::columnOf(const Tag *tag)
{
    Column column;
    if (!tag)
        return column;
    column.name = tag->name();
    column.unit = tag->unit();
    column.precision = tag->precision();
    column.integral = isIntegral(tag->dataType()) || tag->bitfield();
    return column;
}

bool CsvExporter::writeSnapshot(const QString &fileName, const QList<Tag *> &tags, qint64 timeMs,
                                QString *error)
{
    QVector<TableRow> rows;
    rows.reserve(tags.size());
    for (Tag *tag : tags)
        rows.append(TableRow{tag, true, false});
    return writeTable(fileName, rows, timeMs, error);
}

bool CsvExporter::writeTable(const QString &fileName, const QVector<TableRow> &rows, qint64 timeMs,
                             QString *error)
{
    QVector<Column> columns;
    QStringList values{timeText(timeMs)};
    for (const TableRow &row : rows) {
        const Tag *tag = row.tag;
        if (!tag)
            continue;
        Column column = columnOf(tag);
        // An old value under this time stamp is marked as the table marks
        // it; a value not read from the device at hand is left out.
        column.stale = row.hasValue && row.stale;
        columns.append(column);
        const QVector<double> numbers = row.hasValue ? Workspace::TagFormatter::numericValues(tag) : QVector<double>();
        if (numbers.size() == 1) {
            values.append(valueText(numbers.constFirst(), column));
        } else {
            QStringList parts;
            for (double v : numbers)
                parts.append(valueText(v, column));
            values.append(quoted(parts.isEmpty() ? QString()
                                                 : QLatin1Char('[') + parts.join(QLatin1String(", ")) + QLatin1Char(']')));
        }
    }
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    file.write((header(columns) + QLatin1Char('\n') + values.join(QLatin1Char(',')) + QLatin1Char('\n')).toUtf8());
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool CsvExporter::exportRange(const QString &databaseFile, const QString &fileName,
                              const QVector<Column> &columns, qint64 fromMs, qint64 toMs)
{
    m_rows = 0;
    m_error.clear();
    QHash<qint64, int> position;
    QStringList ids;
    for (int i = 0; i < columns.size(); ++i) {
        position.insert(columns.at(i).dbId, i);
        ids.append(QString::number(columns.at(i).dbId));
    }
    if (columns.isEmpty()) {
        m_error = tr("No tag is chosen.");
        return false;
    }

    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        m_error = file.errorString();
        return false;
    }
    file.write((header(columns) + QLatin1Char('\n')).toUtf8());

    const QString connection = QUuid::createUuid().toString();
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(databaseFile);
        // Read only, and wait rather than fail while the recorder commits.
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=10000"));
        if (!db.open()) {
            m_error = db.lastError().text();
            ok = false;
        }
        QSqlQuery query(db);
        query.setForwardOnly(true);
        const QString idList = ids.join(QLatin1Char(','));
        qint64 total = 0;
        if (ok && query.exec(QStringLiteral("SELECT count(*) FROM history WHERE tag IN (%1) AND time_ms >= %2 AND time_ms <= %3")
                                 .arg(idList).arg(fromMs).arg(toMs))
            && query.next()) {
            total = query.value(0).toLongLong();
        } else if (ok) {
            m_error = query.lastError().text();
            ok = false;
        }
        query.finish();

        // Slices end on a whole time stamp: the rows of the slice's last
        // time are read again with the next slice.
        qint64 next = fromMs;
        qint64 read = 0;
        QVector<QString> row(columns.size());
        qint64 rowTime = -1;
        bool rowOpen = false;
        auto writeRow = [&]() {
            QStringList fields{timeText(rowTime)};
            for (QString &v : row) {
                fields.append(v);
                v.clear();
            }
            file.write((fields.join(QLatin1Char(',')) + QLatin1Char('\n')).toUtf8());
            ++m_rows;
        };
        const int slice = qMax(SliceRows, columns.size() * 4);
        while (ok && next <= toMs) {
            if (m_cancel) {
                m_error = tr("The export was cancelled.");
                ok = false;
                break;
            }
            if (!query.exec(QStringLiteral("SELECT time_ms, tag, value FROM history WHERE tag IN (%1) "
                                           "AND time_ms >= %2 AND time_ms <= %3 ORDER BY time_ms LIMIT %4")
                                .arg(idList).arg(next).arg(toMs).arg(slice))) {
                m_error = query.lastError().text();
                ok = false;
                break;
            }
            QVector<std::tuple<qint64, qint64, QVariant>> rows;
            rows.reserve(slice);
            while (query.next())
                rows.append(std::make_tuple(query.value(0).toLongLong(), query.value(1).toLongLong(), query.value(2)));
            query.finish(); // lets the recorder commit between slices
            const bool last = rows.size() < slice;
            qint64 keepBefore = std::numeric_limits<qint64>::max();
            if (!last) {
                keepBefore = std::get<0>(rows.constLast());
                if (keepBefore == next) {
                    m_error = tr("Too many values share one time stamp.");
                    ok = false;
                    break;
                }
            }
            for (const auto &r : qAsConst(rows)) {
                const qint64 time = std::get<0>(r);
                if (time >= keepBefore)
                    break;
                if (rowOpen && time != rowTime)
                    writeRow();
                rowTime = time;
                rowOpen = true;
                const int column = position.value(std::get<1>(r), -1);
                const QVariant value = std::get<2>(r);
                if (column >= 0 && !value.isNull())
                    row[column] = valueText(value.toDouble(), columns.at(column));
                ++read;
            }
            if (total > 0)
                emit progress(int(qMin<qint64>(1000, read * 1000 / total)));
            if (last)
                break;
            next = keepBefore;
        }
        if (ok && rowOpen)
            writeRow();
    }
    QSqlDatabase::removeDatabase(connection);

    if (!ok) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        m_error = file.errorString();
        return false;
    }
    emit progress(1000);
    return true;
}

void CsvExporter::exportAsync(const QString &databaseFile, const QString &fileName,
                              const QVector<Column> &columns, qint64 fromMs, qint64 toMs)
{
    QThread *thread = QThread::create([=] {
        const bool ok = exportRange(databaseFile, fileName, columns, fromMs, toMs);
        QMetaObject::invokeMethod(this, [this, ok] { emit finished(ok, m_error); }, Qt::QueuedConnection);
    });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start(QThread::LowPriority);
    // The system may refuse a new thread (memory or its thread limit): the
    // export then fails with the reason instead of never finishing.
    if (!thread->isRunning() && !thread->isFinished()) {
        delete thread;
        m_error = tr("The system refused to start a thread for the export.");
        QMetaObject::invokeMethod(this, [this] { emit finished(false, m_error); }, Qt::QueuedConnection);
    }
}

} // namespace Trend
