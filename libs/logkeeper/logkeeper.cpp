#include "logkeeper.h"

#include "logsink.h"

#include <QCoreApplication>
#include <QSettings>

namespace Logkeeper {

const char Logkeeper::maxFileSizeKey[] = "Logkeeper/MaxFileSizeKiB";
const char Logkeeper::keepDaysKey[] = "Logkeeper/KeepDays";

namespace {

// A stored value that is not a whole number in range falls back to the
// default rather than disabling logging or filling the disk.
qint64 readBounded(QSettings *settings, const char *key, qint64 fallback, qint64 low, qint64 high)
{
    const QVariant v = settings->value(QLatin1String(key));
    if (!v.isValid())
        return fallback;
    bool ok = false;
    const qint64 n = v.toString().trimmed().toLongLong(&ok);
    return ok && n >= low && n <= high ? n : fallback;
}

} // namespace

Logkeeper::Logkeeper(QObject *parent)
    : QObject(parent)
{
}

Logkeeper::~Logkeeper()
{
    LogSink::instance().configure(QString(), QString(), 0, 0);
}

void Logkeeper::setLogPath(const QString &path)
{
    m_logPath = path;
    apply();
}

void Logkeeper::setSettings(QSettings *settings)
{
    if (settings) {
        m_maxFileBytes = readBounded(settings, maxFileSizeKey, defaultMaxFileSizeKiB, 16, 1024 * 1024) * 1024;
        m_keepDays = int(readBounded(settings, keepDaysKey, defaultKeepDays, 1, 3650));
    }
    apply();
}

QString Logkeeper::currentLogFile() const
{
    return LogSink::instance().currentFileName();
}

void Logkeeper::apply()
{
    QString prefix = QCoreApplication::applicationName();
    if (prefix.isEmpty())
        prefix = QStringLiteral("log");
    LogSink::instance().configure(m_logPath, prefix, m_maxFileBytes, m_keepDays);
}

} // namespace Logkeeper
