#include "qtsingleapplication.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QRegularExpression>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace {

// Sent back once a message has been handed on.
constexpr char acknowledgement = '\x06';

// Unix socket paths are limited to about 100 bytes.
constexpr int maximumSocketPathLength = 100;

const char bufferProperty[] = "_q_singleAppBuffer";

QString userTag()
{
#ifdef Q_OS_UNIX
    return QString::number(::getuid());
#else
    return qEnvironmentVariable("USERNAME", QStringLiteral("user"));
#endif
}

} // namespace

QString QtSingleApplication::serverName(const QString &id)
{
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9_.-]"));
    QString base = id;
    base.replace(unsafe, QStringLiteral("_"));
    base = QStringLiteral("qtsingleapp-%1-%2").arg(base, userTag());

#ifdef Q_OS_UNIX
    // The runtime folder belongs to the user alone (mode 0700).
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    QString path = QDir(dir).filePath(base);
    if (path.toLocal8Bit().size() > maximumSocketPathLength) {
        const QByteArray hash = QCryptographicHash::hash(id.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
        path = QDir(dir).filePath(QStringLiteral("qtsa-%1-%2").arg(QString::fromLatin1(hash), userTag()));
    }
    if (path.toLocal8Bit().size() > maximumSocketPathLength)
        path = QDir(QDir::tempPath()).filePath(QFileInfo(path).fileName());
    return path;
#else
    return base;
#endif
}

QtSingleApplication::QtSingleApplication(const QString &id, int &argc, char **argv)
    : QApplication(argc, argv)
    , m_id(id)
{
    const QString name = serverName(id);
#ifdef Q_OS_UNIX
    const QString lockPath = name + QStringLiteral(".lock");
#else
    const QString lockPath = QDir(QDir::tempPath()).filePath(name + QStringLiteral(".lock"));
#endif
    // The lock decides who listens.
#ifdef Q_OS_UNIX
    // An flock() lock ends with its process, so one left by a crashed start
    // never blocks; unlike QLockFile it does not flush a file to disk on
    // every start, which the user would wait for before seeing anything.
    m_lockFd = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_lockFd < 0 || ::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        m_running = m_lockFd >= 0 && errno == EWOULDBLOCK;
        if (!m_running)
            qWarning("QtSingleApplication: cannot lock %s", qPrintable(lockPath));
        if (m_lockFd >= 0)
            ::close(m_lockFd);
        m_lockFd = -1;
        return;
    }
#else
    // A lock left by a crashed start is recognised as stale because its
    // process is gone.
    m_lock = std::make_unique<QLockFile>(lockPath);
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        m_running = m_lock->error() == QLockFile::LockFailedError;
        if (!m_running)
            qWarning("QtSingleApplication: cannot create %s", qPrintable(lockPath));
        m_lock.reset();
        return;
    }
#endif

    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket file left behind by a crashed start would block listening.
    QLocalServer::removeServer(name);
    if (!m_server->listen(name)) {
        qWarning("QtSingleApplication: cannot listen on %s: %s", qPrintable(name),
                 qPrintable(m_server->errorString()));
        return;
    }
    connect(m_server, &QLocalServer::newConnection, this, &QtSingleApplication::acceptConnections);
}

QtSingleApplication::~QtSingleApplication()
{
    if (m_server)
        m_server->close();
#ifdef Q_OS_UNIX
    // The file stays: removing it could let a start that has it open lock a
    // name nobody else sees.
    if (m_lockFd >= 0)
        ::close(m_lockFd);
#endif
}

void QtSingleApplication::acceptConnections()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket]() { readFrom(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        readFrom(socket);
    }
}

void QtSingleApplication::readFrom(QLocalSocket *socket)
{
    QByteArray buffer = socket->property(bufferProperty).toByteArray() + socket->readAll();
    if (buffer.size() < int(sizeof(quint32))) {
        socket->setProperty(bufferProperty, buffer);
        return;
    }
    quint32 length = 0;
    {
        QDataStream in(buffer);
        in >> length;
    }
    if (length > maximumMessageSize) {
        qWarning("QtSingleApplication: refused a message of %u bytes", length);
        socket->abort();
        return;
    }
    if (quint32(buffer.size()) - sizeof(quint32) < length) {
        socket->setProperty(bufferProperty, buffer);
        return;
    }
    socket->setProperty(bufferProperty, QVariant());
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);

    const QString message = QString::fromUtf8(buffer.constData() + sizeof(quint32), int(length));
    emit messageReceived(message, socket);
    socket->write(&acknowledgement, 1);
    socket->flush();
    socket->disconnectFromServer();
}

bool QtSingleApplication::sendMessage(const QString &message, int timeout)
{
    if (!m_running)
        return false;
    const QByteArray payload = message.toUtf8();
    if (quint32(payload.size()) > maximumMessageSize)
        return false;

    QDeadlineTimer deadline(qMax(timeout, 0));
    QLocalSocket socket;
    socket.connectToServer(serverName(m_id));
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return false;

    QByteArray frame;
    {
        QDataStream out(&frame, QIODevice::WriteOnly);
        out << quint32(payload.size());
    }
    frame += payload;
    socket.write(frame);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
            return false;
    }
    while (socket.bytesAvailable() < 1) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
    char reply = 0;
    return socket.getChar(&reply) && reply == acknowledgement;
}
