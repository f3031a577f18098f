// The polling engine over a real socket: the Fieldlink driver and the engine
// against the device simulator (in process and as the korvane-devicesim
// program with injected faults) and against Debian's pymodbus server as an
// independent peer.

#include <devicesim/devicesimulator.h>
#include <fieldlink/imodbustransaction.h>
#include <fieldlink/modbusconnection.h>
#include <fieldlink/qmodbussettings.h>
#include <pointbook/basetag.h>
#include <pointbook/tagbase.h>
#include <pointbook/tagbaseloader.h>

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace Pointbook;
using Fieldlink::FieldlinkCore::IModbusTransaction;
using Fieldlink::FieldlinkCore::ModbusConnection;
using Fieldlink::FieldlinkCore::QModbusSettings;

namespace {

const QString AllTypesMap = QStringLiteral(KORVANE_TEST_DATA_DIR "/data/alltypes.xml");
const QString PeerMap = QStringLiteral(KORVANE_TEST_DATA_DIR "/data/peer_map.xml");

// Driver, loader and engine as the tag base plug-in wires them.
struct Poller
{
    ModbusConnection connection;
    QModbusSettings settings{1, 1000, 0};
    TagBaseLoader loader;
    TagBase engine;

    bool start(quint16 port, const QString &map, const QString &version)
    {
        connection.setHost(QStringLiteral("127.0.0.1"));
        connection.setPort(port);
        connection.setReconnectDelays(50, 200);
        loader.setFileName(map);
        loader.setVersionBase(version);
        if (!loader.readBase() || !connection.connectDevice())
            return false;
        engine.setModbusConnection(&connection);
        engine.setModbusSettings(&settings);
        engine.setTagBase(loader.base());
        return QTest::qWaitFor([this] { return connection.isConnected(); }, 5000);
    }

    bool singlePass()
    {
        QSignalSpy done(&engine, &TagBase::updateAllBase);
        engine.setUpdateBase(TagBase::SingleUpdate, true);
        return done.wait(20000);
    }

    QList<Tag *> wordTags() const
    {
        return loader.base()->tagHash(Tag::IR).values() + loader.base()->tagHash(Tag::HR).values();
    }

    int liveTransactions() const
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return connection.findChildren<IModbusTransaction *>().size();
    }
};

QString describe(const Tag *tag)
{
    return Tag::registerTypeToString(tag->registerType()) + QLatin1Char(':') + tag->Id();
}

// Tags whose value Tag::value() can give at all (a single 8-bit element
// spans no register and is never polled).
bool decodable(const Tag *tag)
{
    return tag->sizeRegisters() > 0;
}

// Starts korvane-devicesim and returns the port it printed.
quint16 startProgram(QProcess *process, const QStringList &arguments)
{
    process->setProgram(QStringLiteral(KORVANE_BUILD_DIR "/bin/korvane-devicesim"));
    process->setArguments(arguments);
    process->start();
    if (!process->waitForStarted(5000))
        return 0;
    QByteArray output;
    const QRegularExpression line(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"));
    quint16 port = 0;
    const bool ended = QTest::qWaitFor([&] {
        output += process->readAllStandardOutput();
        const auto match = line.match(QString::fromUtf8(output));
        if (match.hasMatch())
            port = quint16(match.captured(1).toUInt());
        return port != 0 || process->state() == QProcess::NotRunning;
    }, 10000);
    Q_UNUSED(ended)
    return port;
}

void stopProgram(QProcess *process)
{
    if (process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished(5000);
    }
}

} // namespace

class tst_TagBasePeers : public QObject
{
    Q_OBJECT

private slots:
    void simulatorValuesArriveInEveryTag();
    void pymodbusValuesArriveInEveryTag();
    void timeoutNeverBlocksTheWindow();
    void exceptionAnswerLeavesTagsAlone();
    void droppedConnectionIsRecovered();
    void stopAndRestartOverRealSocketLeaveNoTransactions();
};

void tst_TagBasePeers::simulatorValuesArriveInEveryTag()
{
    Devicesim::DeviceSimulator simulator;
    QVERIFY2(simulator.loadMap(AllTypesMap), qPrintable(simulator.errorString()));
    simulator.setStep(5);
    QVERIFY2(simulator.listen(), qPrintable(simulator.errorString()));

    Poller poller;
    QVERIFY(poller.start(simulator.port(), AllTypesMap, QStringLiteral("7.2")));
    QVERIFY(poller.singlePass());

    int compared = 0;
    for (const Tag *tag : poller.wordTags()) {
        if (!decodable(tag))
            continue;
        const QVariant expected = simulator.tagValue(tag->registerType(), tag->Id());
        QVERIFY2(expected.isValid(), qPrintable(describe(tag)));
        QVERIFY2(tag->value() == expected,
                 qPrintable(describe(tag) + ": " + tag->value().toString() + " != "
                            + expected.toString()));
        ++compared;
    }
    QCOMPARE(compared, 30);

    // The values move; a second pass follows them.
    const QVariant before = poller.loader.base()->tagHash(Tag::HR).value("straddle")->value();
    simulator.setStep(17);
    QVERIFY(poller.singlePass());
    const Tag *straddle = poller.loader.base()->tagHash(Tag::HR).value("straddle");
    QCOMPARE(straddle->value(), simulator.tagValue(Tag::HR, "straddle"));
    QVERIFY(straddle->value() != before);
}

void tst_TagBasePeers::pymodbusValuesArriveInEveryTag()
{
    if (!QFileInfo::exists(QStringLiteral("/usr/bin/python3")))
        QSKIP("no /usr/bin/python3");
    QProcess peer;
    peer.start(QStringLiteral("/usr/bin/python3"),
               {QStringLiteral(KORVANE_TEST_DATA_DIR "/pymodbus_device.py")});
    QVERIFY(peer.waitForStarted(5000));
    auto cleanup = qScopeGuard([&peer] { stopProgram(&peer); });
    if (!QTest::qWaitFor([&] { return peer.canReadLine() || peer.state() == QProcess::NotRunning; },
                         20000)
        || !peer.canReadLine())
        QSKIP(qPrintable("the pymodbus peer did not start: " + peer.readAllStandardError()));
    const QJsonObject served = QJsonDocument::fromJson(peer.readLine()).object();
    const quint16 port = quint16(served.value("port").toInt());
    const QJsonObject values = served.value("values").toObject();
    QVERIFY(port != 0);

    Poller poller;
    QVERIFY(poller.start(port, PeerMap, QStringLiteral("3.0")));
    QVERIFY(poller.singlePass());

    QCOMPARE(values.size(), poller.wordTags().size());
    for (const Tag *tag : poller.wordTags()) {
        const QString key = describe(tag);
        QVERIFY2(values.contains(key), qPrintable(key));
        const QString expected = values.value(key).toString();
        const QVariant value = tag->value();
        switch (tag->count() > 1 ? Tag::UnknownType : tag->dataType()) {
        case Tag::Float:
            QVERIFY2(value.toFloat() == expected.toFloat(), qPrintable(key));
            break;
        case Tag::Double:
            QVERIFY2(value.toDouble() == expected.toDouble(), qPrintable(key));
            break;
        case Tag::UnknownType:
            QCOMPARE(value.toByteArray().toHex(), expected.toLatin1());
            break;
        default:
            QVERIFY2(value.toString() == expected,
                     qPrintable(key + ": " + value.toString() + " != " + expected));
        }
    }
}

void tst_TagBasePeers::timeoutNeverBlocksTheWindow()
{
    QProcess device;
    const quint16 port = startProgram(&device, {"--map", AllTypesMap, "--port", "0", "--delay",
                                                "600", "--interval", "0"});
    auto cleanup = qScopeGuard([&device] { stopProgram(&device); });
    QVERIFY2(port != 0, device.readAllStandardError().constData());

    Poller poller;
    poller.settings.setResponseTimeout(150);
    QVERIFY(poller.start(port, AllTypesMap, QStringLiteral("7.2")));

    // A timer of the window keeps ticking while every request times out.
    int ticks = 0;
    QTimer window;
    connect(&window, &QTimer::timeout, [&ticks] { ++ticks; });
    window.start(20);
    QVERIFY(poller.singlePass());
    QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
    QVERIFY(poller.connection.statistics().timeouts() >= 1);
    for (const Tag *tag : poller.wordTags())
        QVERIFY2(tag->valueByteArray().isEmpty(), qPrintable(describe(tag)));
}

void tst_TagBasePeers::exceptionAnswerLeavesTagsAlone()
{
    QProcess device;
    const quint16 port = startProgram(&device, {"--map", AllTypesMap, "--port", "0",
                                                "--interval", "0", "--exception", "ir:0-5:2"});
    auto cleanup = qScopeGuard([&device] { stopProgram(&device); });
    QVERIFY2(port != 0, device.readAllStandardError().constData());

    Devicesim::DeviceSimulator expected; // the program's values at step 0
    QVERIFY(expected.loadMap(AllTypesMap));

    Poller poller;
    QVERIFY(poller.start(port, AllTypesMap, QStringLiteral("7.2")));
    QVERIFY(poller.singlePass());

    QCOMPARE(poller.connection.statistics().exceptionsByCode().value(2), quint64(1));
    for (const Tag *tag : poller.loader.base()->tagHash(Tag::IR))
        QVERIFY2(tag->valueByteArray().isEmpty(), qPrintable(describe(tag)));
    for (const Tag *tag : poller.loader.base()->tagHash(Tag::HR))
        QCOMPARE(tag->value(), expected.tagValue(Tag::HR, tag->Id()));
}

void tst_TagBasePeers::droppedConnectionIsRecovered()
{
    QProcess device;
    const quint16 port = startProgram(&device, {"--map", AllTypesMap, "--port", "0",
                                                "--interval", "0", "--drop-every", "4"});
    auto cleanup = qScopeGuard([&device] { stopProgram(&device); });
    QVERIFY2(port != 0, device.readAllStandardError().constData());

    Devicesim::DeviceSimulator expected;
    QVERIFY(expected.loadMap(AllTypesMap));

    Poller poller;
    poller.settings.setResponseTimeout(500);
    QVERIFY(poller.start(port, AllTypesMap, QStringLiteral("7.2")));
    QSignalSpy passes(&poller.engine, &TagBase::updateAllBase);
    poller.engine.setUpdateBase(TagBase::CyclicUpdate, true);

    // Links break in the middle of passes; the passes go on, and once the
    // link is back every tag is read right.
    auto allRight = [&] {
        for (const Tag *tag : poller.wordTags()) {
            if (decodable(tag) && tag->value() != expected.tagValue(tag->registerType(), tag->Id()))
                return false;
        }
        return true;
    };
    QTRY_VERIFY_WITH_TIMEOUT(passes.count() >= 4 && allRight(), 30000);
    QVERIFY(poller.connection.statistics().connectionLosses()
                + poller.connection.statistics().linkDownFailures() >= 1);
    poller.engine.setUpdateBase(TagBase::NoUpdate, false);
}

void tst_TagBasePeers::stopAndRestartOverRealSocketLeaveNoTransactions()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString map = dir.filePath("big.xml");
    {
        QFile file(map);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
        QTextStream out(&file);
        out << "<base version=\"1\">\n";
        for (const char *section : {"ir", "hr"}) {
            out << "<" << section << ">\n";
            for (int i = 0; i < 500; ++i) {
                // A gap every 50 tags gives several intervals per table.
                out << "<tag><information id=\"t" << i << "\"/><modbussettins datatype=\""
                    << (i % 3 ? "uint16" : "float") << "\" byteOrderInput=\""
                    << (i % 3 ? "10" : "3210") << "\" byteOrderOutput=\""
                    << (i % 3 ? "01" : "0123") << "\""
                    << (i % 50 == 0 ? QStringLiteral(" offset=\"%1\"").arg(i * 3) : QString())
                    << "/></tag>\n";
            }
            out << "</" << section << ">\n";
        }
        out << "</base>\n";
    }
    Devicesim::DeviceSimulator simulator;
    QVERIFY2(simulator.loadMap(map), qPrintable(simulator.errorString()));
    simulator.setUpdateInterval(100);
    QVERIFY(simulator.listen());

    Poller poller;
    QVERIFY(poller.start(simulator.port(), map, QStringLiteral("1")));
    QSignalSpy passes(&poller.engine, &TagBase::updateAllBase);
    QSignalSpy perPass(&poller.engine, &TagBase::updateStepCount);

    for (int round = 0; round < 6; ++round) {
        const int before = passes.count();
        poller.engine.setUpdateBase(TagBase::CyclicUpdate, round % 2 == 0);
        QTRY_VERIFY_WITH_TIMEOUT(passes.count() >= before + 2, 20000);
        QVERIFY(!perPass.isEmpty());
        QVERIFY(poller.liveTransactions() <= perPass.last().first().toInt() + 1);
        QTest::qWait(round * 5); // stop at varying points of a pass
        poller.engine.setUpdateBase(TagBase::NoUpdate, false);
        // Whatever was built and not sent, and the answer still on the way,
        // is gone once the answer came.
        QTRY_COMPARE_WITH_TIMEOUT(poller.liveTransactions(), 0, 5000);
    }
    const Tag *sample = poller.loader.base()->tagHash(Tag::HR).value("t499");
    QVERIFY(sample && !sample->valueByteArray().isEmpty());
}

QTEST_MAIN(tst_TagBasePeers)
#include "tst_tagbasepeers.moc"
