#pragma once

// A PostgreSQL server of the test's own: a fresh cluster in a temporary
// folder, listening on a free loopback port and a socket in that folder,
// trusting local connections. Run as an unprivileged user when the tests
// run as root (PostgreSQL refuses root). With enableTls() before start() it
// also offers TLS with a certificate of a throwaway authority of its own.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
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

    static bool opensslAvailable() { return !QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty(); }

    // Makes an authority (ca.crt), a server certificate it signs for
    // 127.0.0.1 and localhost, and a second, unrelated authority
    // (other-ca.crt).
    bool enableTls(QString *error)
    {
        const QString ext = m_dir->filePath("san.cnf");
        {
            QFile file(ext);
            if (!file.open(QIODevice::WriteOnly)) {
                *error = "cannot write " + ext;
                return false;
            }
            file.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n");
        }
        const QStringList key = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
        const QString openssl = QStringLiteral("openssl");
        if (!run(openssl, QStringList{"req", "-x509"} + key + QStringList{"-keyout", "ca.key", "-out", "ca.crt",
                                                                         "-days", "2", "-subj", "/CN=Test authority"},
                 error, false)
            || !run(openssl, QStringList{"req"} + key + QStringList{"-keyout", "server.key", "-out", "server.csr",
                                                                   "-subj", "/CN=127.0.0.1"},
                    error, false)
            || !run(openssl, {"x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key",
                              "-CAcreateserial", "-out", "server.crt", "-days", "2", "-extfile", "san.cnf"},
                    error, false)
            || !run(openssl, QStringList{"req", "-x509"} + key + QStringList{"-keyout", "other.key", "-out",
                                                                            "other-ca.crt", "-days", "2", "-subj",
                                                                            "/CN=Other authority"},
                    error, false))
            return false;
        QFile::setPermissions(m_dir->filePath("server.key"), QFile::ReadOwner | QFile::WriteOwner);
        if (!m_runAs.isEmpty()) {
            const passwd *user = ::getpwnam(m_runAs.toLocal8Bit().constData());
            for (const char *name : {"server.key", "server.crt"}) {
                if (!user || ::chown(QFile::encodeName(m_dir->filePath(name)).constData(), user->pw_uid, user->pw_gid) != 0) {
                    *error = "cannot hand the server's key to its user";
                    return false;
                }
            }
        }
        m_tls = true;
        return true;
    }
    QString authority() const { return m_dir->filePath("ca.crt"); }
    QString otherAuthority() const { return m_dir->filePath("other-ca.crt"); }
    bool tls() const { return m_tls; }

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
        QString options = QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off "
                                         "-c max_connections=40")
                              .arg(m_port)
                              .arg(m_dir->path());
        if (m_tls)
            options += QStringLiteral(" -c ssl=on -c ssl_cert_file=%1 -c ssl_key_file=%2")
                           .arg(m_dir->filePath("server.crt"), m_dir->filePath("server.key"));
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

    bool run(const QString &program, const QStringList &arguments, QString *error, bool asServer = true)
    {
        QProcess process;
        process.setWorkingDirectory(m_dir->path());
        process.setProcessChannelMode(QProcess::MergedChannels);
        if (m_runAs.isEmpty() || !asServer)
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
    bool m_tls = false;
};
