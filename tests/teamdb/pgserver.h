#pragma once

// A PostgreSQL server of the test's own: a fresh cluster in a temporary
// folder, listening on a free loopback port and a socket in that folder,
// trusting local connections. Run as an unprivileged user when the tests
// run as root (PostgreSQL refuses root).

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

#include <pwd.h>
#include <unistd.h>

#include <memory>

class PgServer
{
public:
    static QString binDir() { return QStringLiteral("/usr/lib/postgresql/15/bin"); }
    static bool available()
    {
        return QFile::exists(binDir() + "/initdb") && QFile::exists(binDir() + "/pg_ctl");
    }

    ~PgServer() { stop(); }

    bool init(QString *error)
    {
        m_dir.reset(new QTemporaryDir);
        if (!m_dir->isValid()) {
            *error = "no temporary folder";
            return false;
        }
        if (::geteuid() == 0) {
            const passwd *nobody = ::getpwnam("nobody");
            if (!nobody || ::chown(QFile::encodeName(m_dir->path()).constData(), nobody->pw_uid, nobody->pw_gid) != 0) {
                *error = "cannot hand the folder to the user nobody";
                return false;
            }
            m_runAs = QStringLiteral("nobody");
        }
        return run(binDir() + "/initdb", {"-D", dataDir(), "-A", "trust", "-U", "postgres", "--no-sync",
                                          "-E", "UTF8", "--locale=C"}, error);
    }

    bool start(QString *error)
    {
        if (m_port == 0) {
            QTcpServer probe;
            if (!probe.listen(QHostAddress::LocalHost, 0)) {
                *error = "no free port";
                return false;
            }
            m_port = probe.serverPort();
        }
        const QString options = QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off "
                                               "-c max_connections=40")
                                    .arg(m_port)
                                    .arg(m_dir->path());
        m_running = run(binDir() + "/pg_ctl", {"-D", dataDir(), "-o", options, "-l", m_dir->filePath("log"),
                                               "-w", "-t", "120", "start"}, error);
        return m_running;
    }

    bool stop(QString *error = nullptr)
    {
        if (!m_running)
            return true;
        QString why;
        m_running = !run(binDir() + "/pg_ctl", {"-D", dataDir(), "-m", "fast", "-w", "-t", "120", "stop"}, &why);
        if (error)
            *error = why;
        return !m_running;
    }

    QString host() const { return QStringLiteral("127.0.0.1"); }
    int port() const { return m_port; }
    QString log() const
    {
        QFile file(m_dir->filePath("log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll().right(4000)) : QString();
    }

private:
    QString dataDir() const { return m_dir->filePath("data"); }

    bool run(const QString &program, const QStringList &arguments, QString *error)
    {
        QProcess process;
        process.setWorkingDirectory(m_dir->path());
        process.setProcessChannelMode(QProcess::MergedChannels);
        if (m_runAs.isEmpty())
            process.start(program, arguments);
        else
            process.start(QStringLiteral("runuser"), QStringList{"-u", m_runAs, "--", program} + arguments);
        // Generous: the machine may be busy.
        if (!process.waitForFinished(180000) || process.exitStatus() != QProcess::NormalExit
            || process.exitCode() != 0) {
            *error = QStringLiteral("%1 failed: %2").arg(QFileInfo(program).fileName(),
                                                         QString::fromLocal8Bit(process.readAll()).right(2000));
            return false;
        }
        return true;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_runAs;
    int m_port = 0;
    bool m_running = false;
};
