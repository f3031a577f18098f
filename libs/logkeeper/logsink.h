#pragma once

#include <QDate>
#include <QFile>
#include <QMutex>
#include <QString>

namespace Logkeeper {

// The one place that writes log lines, shared by all threads. Writes each
// line to stderr, and to "<prefix>_<yyyy-MM-dd>.log" in the log folder when
// one is set. A file that would grow past the size limit is moved to
// "<prefix>_<yyyy-MM-dd>.1.log" (replacing an older one) and begun anew;
// files of the same naming older than the kept days are removed.
class LogSink
{
public:
    static LogSink &instance();

    void write(QtMsgType type, const QMessageLogContext &context, const QString &text);

    // An empty folder means stderr only.
    void configure(const QString &folder, const QString &prefix, qint64 maxFileBytes, int keepDays);
    QString currentFileName() const;

    static QString formatLine(QtMsgType type, const char *category, const QString &text,
                              const QDateTime &time);

private:
    LogSink() = default;
    Q_DISABLE_COPY(LogSink)

    bool openFor(const QDate &day);
    void rotate();
    void prune(const QDate &today);
    QString fileNameFor(const QDate &day, int part) const;
    void warnOnce(const QString &message);

    mutable QMutex m_mutex;
    QString m_folder;
    QString m_prefix;
    qint64 m_maxFileBytes = 0;
    int m_keepDays = 0;
    QFile m_file;
    QDate m_day;
    bool m_failed = false;
    QString m_warnedFor;
};

} // namespace Logkeeper
