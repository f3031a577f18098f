#pragma once

// The readers under test take a file name; each input is written to one
// file of the process's own, in memory where the system offers it.

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

class ScratchFile
{
public:
    explicit ScratchFile(const QString &suffix)
    {
        const QFileInfo shm(QStringLiteral("/dev/shm"));
        const QString dir = shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
        m_path = QStringLiteral("%1/korvane-fuzz-%2%3")
                     .arg(dir)
                     .arg(QCoreApplication::applicationPid())
                     .arg(suffix);
    }
    ~ScratchFile() { QFile::remove(m_path); }

    // False when the file could not be written (nothing to test then).
    bool write(const QByteArray &bytes) const
    {
        QFile file(m_path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            && file.write(bytes) == bytes.size();
    }
    QString path() const { return m_path; }

private:
    QString m_path;
};
