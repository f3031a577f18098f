#include <qtsingleapplication/qtsingleapplication.h>

#include <QDataStream>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {

const QString helperPath = QStringLiteral(KORVANE_BUILD_DIR "/tests/singleapphelper");

int runHelper(const QStringList &arguments)
{
    QProcess helper;
    helper.setProcessChannelMode(QProcess::ForwardedChannels);
    helper.start(helperPath, arguments);
    if (!helper.waitForStarted(10000))
        return -1;
    // The helper blocks on the reply, which only arrives through our event
    // loop, so keep it turning while waiting.
    QDeadlineTimer deadline(60000);
    while (helper.state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(20);
    if (helper.state() != QProcess::NotRunning) {
        helper.kill();
        helper.waitForFinished();
        return -2;
    }
    return helper.exitStatus() == QProcess::NormalExit ? helper.exitCode() : -3;
}

QString uniqueId(const char *what)
{
    return QStringLiteral("korvane-test-%1-%2").arg(QLatin1String(what)).arg(QCoreApplication::applicationPid());
}

} // namespace

class tst_QtSingleApplication : public QObject
{
    Q_OBJECT

private slots:
    void firstStartIsNotRunning();
    void serverNameIsPrivate();
    void messageArrives_data();
    void messageArrives();
    void secondStartSeesFirst();
    void crashedStartDoesNotBlock();
    void oversizedMessageIsRefused();
    void partialMessageIsAssembled();

private:
    QtSingleApplication *app() const { return static_cast<QtSingleApplication *>(qApp); }
};

void tst_QtSingleApplication::firstStartIsNotRunning()
{
    QVERIFY(!app()->isRunning());
    // Nobody to talk to: the first start must not wait on itself.
    QVERIFY(!app()->sendMessage(QStringLiteral("to myself"), 500));
}

void tst_QtSingleApplication::serverNameIsPrivate()
{
    const QString name = QtSingleApplication::serverName(app()->id());
    QVERIFY(name.contains(QString::number(::getuid())));
    QVERIFY(name.toLocal8Bit().size() <= 100);
    const QFileInfo socket(name);
    QVERIFY(socket.exists());
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther
                        | QFileDevice::WriteOther;
    QCOMPARE(socket.permissions() & others, QFileDevice::Permissions());

    // Ids with odd characters or great length still give a usable name.
    const QString odd = QtSingleApplication::serverName(QStringLiteral("a/b c:") + QString(300, QLatin1Char('x')));
    QVERIFY(odd.toLocal8Bit().size() <= 100);
    QVERIFY(!QFileInfo(odd).fileName().contains(QLatin1Char(' ')));
}

void tst_QtSingleApplication::messageArrives_data()
{
    QTest::addColumn<QString>("message");
    QTest::newRow("plain") << QStringLiteral("hello");
    QTest::newRow("empty") << QString();
    QTest::newRow("lines") << QStringLiteral("/home/user\n-flag\nfile.xml");
    QTest::newRow("non-latin") << QStringLiteral("Привет, ✓ ünïcode");
    QTest::newRow("long") << QString(100000, QLatin1Char('z')) + QStringLiteral("end");
}

void tst_QtSingleApplication::messageArrives()
{
    QFETCH(QString, message);
    QSignalSpy spy(app(), &QtSingleApplication::messageReceived);
    // The socket only lives while the signal is delivered, so look at it then.
    bool connectedSocket = false;
    QMetaObject::Connection c = connect(app(), &QtSingleApplication::messageReceived, this,
                                        [&connectedSocket](const QString &, QObject *socket) {
                                            auto local = qobject_cast<QLocalSocket *>(socket);
                                            connectedSocket = local && local->state() == QLocalSocket::ConnectedState;
                                        });
    QCOMPARE(runHelper({app()->id(), QStringLiteral("send"), message}), 0);
    disconnect(c);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), message);
    QVERIFY(connectedSocket);
}

void tst_QtSingleApplication::secondStartSeesFirst()
{
    QCOMPARE(runHelper({app()->id(), QStringLiteral("probe")}), 10);
    QCOMPARE(runHelper({uniqueId("nobody"), QStringLiteral("probe")}), 11);
}

void tst_QtSingleApplication::crashedStartDoesNotBlock()
{
    const QString id = uniqueId("crashed");
    QCOMPARE(runHelper({id, QStringLiteral("die")}), 0);
    QVERIFY(QFileInfo::exists(QtSingleApplication::serverName(id)));
    // The leftovers belong to a dead process: the next start is the first.
    QCOMPARE(runHelper({id, QStringLiteral("probe")}), 11);
}

void tst_QtSingleApplication::oversizedMessageIsRefused()
{
    QSignalSpy spy(app(), &QtSingleApplication::messageReceived);
    QLocalSocket socket;
    socket.connectToServer(QtSingleApplication::serverName(app()->id()));
    QVERIFY(socket.waitForConnected(5000));
    QByteArray frame;
    QDataStream(&frame, QIODevice::WriteOnly) << quint32(0xFFFFFFF0u);
    frame += "tail";
    socket.write(frame);
    socket.flush();
    QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QLocalSocket::UnconnectedState, 10000);
    QCOMPARE(spy.count(), 0);

    // The channel still works afterwards.
    QCOMPARE(runHelper({app()->id(), QStringLiteral("send"), QStringLiteral("after")}), 0);
    QCOMPARE(spy.count(), 1);
}

void tst_QtSingleApplication::partialMessageIsAssembled()
{
    QSignalSpy spy(app(), &QtSingleApplication::messageReceived);
    QLocalSocket socket;
    socket.connectToServer(QtSingleApplication::serverName(app()->id()));
    QVERIFY(socket.waitForConnected(5000));
    const QByteArray payload = QStringLiteral("in pieces").toUtf8();
    QByteArray frame;
    QDataStream(&frame, QIODevice::WriteOnly) << quint32(payload.size());
    frame += payload;
    for (int i = 0; i < frame.size(); i += 3) {
        socket.write(frame.mid(i, 3));
        socket.flush();
        QTest::qWait(5);
    }
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 10000);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("in pieces"));
    QTRY_VERIFY_WITH_TIMEOUT(socket.bytesAvailable() > 0 || socket.waitForReadyRead(100), 10000);
    QCOMPARE(socket.read(1), QByteArray("\x06"));
}

int main(int argc, char *argv[])
{
    // A private runtime folder of our own (mode 0700), inherited by the
    // helper, keeps the test apart from anything else on the machine.
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    const QString id = QStringLiteral("korvane-test-first-%1").arg(::getpid());
    QtSingleApplication app(id, argc, argv);
    tst_QtSingleApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_qtsingleapplication.moc"
