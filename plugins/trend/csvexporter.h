#pragma once

#include "trend_global.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <atomic>

namespace Pointbook {
class Tag;
}

namespace Trend {

// Writes CSV files: a header "time_utc" and one column "name [unit]" per
// tag, then a row per time stamp, the time in ISO 8601 UTC with
// milliseconds and each value with its tag's precision (empty where the tag
// has no value at that time). Names that a spreadsheet would take for a
// formula are written as text. Files are written to a temporary file and
// renamed at the end, so a failed or cancelled export leaves no file.
class TREND_EXPORT CsvExporter : public QObject
{
    Q_OBJECT

public:
    struct Column
    {
        qint64 dbId = -1;
        QString name;
        QString unit;
        int precision = -1;
        bool integral = false;
        bool stale = false; // its value is not current: the header says so
    };
    // A row of the live table as it stands.
    struct TableRow
    {
        const Pointbook::Tag *tag = nullptr;
        bool hasValue = true; // read from the device at hand
        bool stale = false;   // not refreshed by the last pass
    };

    explicit CsvExporter(QObject *parent = nullptr);

    static QString header(const QVector<Column> &columns);
    static QString timeText(qint64 timeMs);
    static QString valueText(double value, const Column &column);
    static QString quoted(const QString &field);
    // "name [unit]", with " (stale)" for a stale column.
    static QString columnName(const Column &column);
    static Column columnOf(const Pointbook::Tag *tag);

    // The current values of the tags as one row at this time; false with
    // an error text when the file cannot be written. writeSnapshot takes
    // every value as current, writeTable as the table shows it.
    static bool writeSnapshot(const QString &fileName, const QList<Pointbook::Tag *> &tags,
                              qint64 timeMs, QString *error);
    static bool writeTable(const QString &fileName, const QVector<TableRow> &rows,
                           qint64 timeMs, QString *error);

    // A recorded range, read in short slices from the database file through
    // a connection of its own, so recording goes on meanwhile. Blocking:
    // run it on a worker thread (exportAsync) or in a test.
    bool exportRange(const QString &databaseFile, const QString &fileName,
                     const QVector<Column> &columns, qint64 fromMs, qint64 toMs);
    // Runs exportRange on a thread of its own; finished() comes on this
    // object's thread.
    void exportAsync(const QString &databaseFile, const QString &fileName,
                     const QVector<Column> &columns, qint64 fromMs, qint64 toMs);

    // Thread-safe; the export ends at its next row with no file written.
    void cancel() { m_cancel = true; }
    bool isCancelled() const { return m_cancel; }
    QString errorString() const { return m_error; }
    qint64 rowsWritten() const { return m_rows; }

    static constexpr int SliceRows = 20000;

signals:
    // Thousandths of the rows to read.
    void progress(int permille);
    void finished(bool ok, const QString &error);

private:
    std::atomic<bool> m_cancel{false};
    QString m_error;
    qint64 m_rows = 0;
};

} // namespace Trend
