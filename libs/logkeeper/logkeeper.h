#pragma once

#include "logkeeper_global.h"
#include "qdebugcontroller.h"

#include <QObject>
#include <QString>

QT_BEGIN_NAMESPACE
class QSettings;
QT_END_NAMESPACE

namespace Logkeeper {

// Points the message handler at a log folder and reads its limits from the
// settings. One object per process; while it lives, messages go to daily
// files in the folder as well as to stderr. A folder that cannot be written
// leaves stderr only, with one warning.
class LOGKEEPER_EXPORT Logkeeper : public QObject
{
    Q_OBJECT

public:
    // Settings keys and their defaults.
    static const char maxFileSizeKey[];  // KiB per file, 16 to 1048576
    static const char keepDaysKey[];     // days of files kept, 1 to 3650
    static constexpr qint64 defaultMaxFileSizeKiB = 4096;
    static constexpr int defaultKeepDays = 30;

    explicit Logkeeper(QObject *parent = nullptr);
    ~Logkeeper() override;

    void setLogPath(const QString &path);
    QString logPath() const { return m_logPath; }

    // Reads the limits once; the store is not kept.
    void setSettings(QSettings *settings);
    qint64 maxFileSize() const { return m_maxFileBytes; }
    int keepDays() const { return m_keepDays; }

    // The file being written, or empty when logging to stderr only.
    QString currentLogFile() const;

private:
    void apply();

    QString m_logPath;
    qint64 m_maxFileBytes = defaultMaxFileSizeKiB * 1024;
    int m_keepDays = defaultKeepDays;
};

} // namespace Logkeeper
