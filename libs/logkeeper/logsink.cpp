#include "logsink.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>

#include <cstdio>

namespace Logkeeper {

namespace {

// Set while this thread is inside the sink: anything Qt itself reports
// from there (a failing QFile, say) goes to stderr only instead of
// re-entering and deadlocking.
thread_local bool insideSink = false;

const char *typeName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg: return "Debug";
    case QtInfoMsg: return "Info";
    case QtWarningMsg: return "Warning";
    case QtCriticalMsg: return "Critical";
    case QtFatalMsg: return "Fatal";
    }
    return "Unknown";
}

void toStderr(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace

LogSink &LogSink::instance()
{
    static LogSink sink;
    return sink;
}

QString LogSink::formatLine(QtMsgType type, const char *category, const QString &text, const QDateTime &time)
{
    return QStringLiteral("%1 %2 [%3] %4")
        .arg(time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")), QLatin1String(typeName(type)),
             QLatin1String(category && *category ? category : "default"), text);
}

void LogSink::write(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    const QByteArray line = formatLine(type, context.category, text, QDateTime::currentDateTime()).toUtf8() + '\n';
    if (insideSink) {
        toStderr(line);
        return;
    }
    insideSink = true;
    {
        QMutexLocker lock(&m_mutex);
        toStderr(line);
        if (!m_folder.isEmpty() && !m_failed) {
            const QDate today = QDate::currentDate();
            if ((m_day == today && m_file.isOpen()) || openFor(today)) {
                if (m_file.size() > 0 && m_file.size() + line.size() > m_maxFileBytes)
                    rotate();
                if (m_file.isOpen() && (m_file.write(line) != line.size() || !m_file.flush()))
                    warnOnce(QStringLiteral("cannot write to %1: %2").arg(m_file.fileName(), m_file.errorString()));
            }
        }
    }
    insideSink = false;
}

void LogSink::configure(const QString &folder, const QString &prefix, qint64 maxFileBytes, int keepDays)
{
    const bool outer = !insideSink;
    insideSink = true;
    {
        QMutexLocker lock(&m_mutex);
        m_file.close();
        m_day = QDate();
        m_failed = false;
        m_folder = folder;
        m_prefix = prefix;
        m_maxFileBytes = maxFileBytes;
        m_keepDays = keepDays;
        if (!m_folder.isEmpty())
            openFor(QDate::currentDate());
    }
    if (outer)
        insideSink = false;
}

QString LogSink::currentFileName() const
{
    QMutexLocker lock(&m_mutex);
    return m_file.isOpen() ? m_file.fileName() : QString();
}

QString LogSink::fileNameFor(const QDate &day, int part) const
{
    const QString date = day.toString(QStringLiteral("yyyy-MM-dd"));
    const QString name = part > 0 ? QStringLiteral("%1_%2.%3.log").arg(m_prefix, date).arg(part)
                                  : QStringLiteral("%1_%2.log").arg(m_prefix, date);
    return QDir(m_folder).filePath(name);
}

void LogSink::warnOnce(const QString &message)
{
    m_failed = true;
    m_file.close();
    // Set-up calls the sink more than once with the same folder; one
    // warning per folder is enough.
    if (m_warnedFor == m_folder)
        return;
    m_warnedFor = m_folder;
    toStderr(QStringLiteral("Logkeeper: %1; logging to stderr only.\n").arg(message).toUtf8());
}

bool LogSink::openFor(const QDate &day)
{
    m_file.close();
    if (!QDir().mkpath(m_folder)) {
        warnOnce(QStringLiteral("cannot create the log folder %1").arg(QDir::toNativeSeparators(m_folder)));
        return false;
    }
    m_file.setFileName(fileNameFor(day, 0));
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        warnOnce(QStringLiteral("cannot open %1: %2")
                     .arg(QDir::toNativeSeparators(m_file.fileName()), m_file.errorString()));
        return false;
    }
    m_day = day;
    prune(day);
    return true;
}

void LogSink::rotate()
{
    const QString current = m_file.fileName();
    const QString older = fileNameFor(m_day, 1);
    m_file.close();
    QFile::remove(older);
    if (!QFile::rename(current, older))
        QFile::remove(current);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append))
        warnOnce(QStringLiteral("cannot open %1: %2").arg(QDir::toNativeSeparators(current), m_file.errorString()));
}

void LogSink::prune(const QDate &today)
{
    // Only files named exactly like ours are touched.
    const QRegularExpression ours(QStringLiteral("^%1_(\\d{4}-\\d{2}-\\d{2})(\\.\\d+)?\\.log$")
                                      .arg(QRegularExpression::escape(m_prefix)));
    const QDate oldestKept = today.addDays(-(m_keepDays - 1));
    const QStringList names = QDir(m_folder).entryList({m_prefix + QStringLiteral("_*.log")}, QDir::Files);
    for (const QString &name : names) {
        const QRegularExpressionMatch m = ours.match(name);
        if (!m.hasMatch())
            continue;
        const QDate date = QDate::fromString(m.captured(1), QStringLiteral("yyyy-MM-dd"));
        if (date.isValid() && date < oldestKept)
            QFile::remove(QDir(m_folder).filePath(name));
    }
}

} // namespace Logkeeper
