#pragma once

#include "qtsingleapplication_global.h"

#include <QApplication>

#include <memory>

QT_BEGIN_NAMESPACE
class QLocalServer;
class QLocalSocket;
class QLockFile;
QT_END_NAMESPACE

// An application object with a channel between starts of the same program:
// the first start with a given id listens on a local socket private to the
// user; later starts find it running and can send it text messages, which
// arrive as messageReceived() in the first one's event loop.
class QTSINGLEAPPLICATION_EXPORT QtSingleApplication : public QApplication
{
    Q_OBJECT

public:
    QtSingleApplication(const QString &id, int &argc, char **argv);
    ~QtSingleApplication() override;

    QString id() const { return m_id; }

    // True when another start with this id was already running when this
    // object was built; this one then does not listen.
    bool isRunning() const { return m_running; }

    // Sends the message to the running instance and waits, at most
    // `timeout` ms in all, until it has been received. False when there is
    // nobody to send to, or on time-out.
    bool sendMessage(const QString &message, int timeout = 5000);

    // The local socket name for `id`: in the user's private runtime folder
    // and carrying the user id, so that two users never meet.
    static QString serverName(const QString &id);

    // Messages longer than this (UTF-8 bytes) are refused.
    static constexpr quint32 maximumMessageSize = 16 * 1024 * 1024;

signals:
    void messageReceived(const QString &message, QObject *socket);

private:
    void acceptConnections();
    void readFrom(QLocalSocket *socket);

    QString m_id;
    bool m_running = false;
    QLocalServer *m_server = nullptr;
    std::unique_ptr<QLockFile> m_lock; // where flock() is missing
    int m_lockFd = -1;
};
