#include <diagnostics/diagnosticsdock.h>
#include <diagnostics/trafficlogmodel.h>

#include <devicesim/devicesimulator.h>
#include <fieldlink/imodbustransaction.h>
#include <fieldlink/modbusconnection.h>
#include <fieldlink/qmodbussettings.h>
#include <fieldlink/trafficrecorder.h>

#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QMainWindow>
#include <QTableView>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

using Diagnostics::DiagnosticsDock;
using Diagnostics::TrafficLogModel;
using Fieldlink::FieldlinkCore::IModbusTransaction;
using Fieldlink::FieldlinkCore::ModbusConnection;
using Fieldlink::FieldlinkCore::QModbusSettings;
using Fieldlink::FieldlinkCore::TrafficRecorder;

namespace {

constexpr int Patience = 60000;
const char DemoMap[] = KORVANE_SOURCE_DIR "/share/appcore/demo/pointbook/base_v1.00.xml";

// Connects a link that logs into `recorder` to a server on this machine.
bool connectLogged(ModbusConnection *link, TrafficRecorder *recorder, quint16 port)
{
    link->setHost(QStringLiteral("127.0.0.1"));
    link->setPort(port);
    link->setTrafficRecorder(recorder);
    return link->connectDevice() && QTest::qWaitFor([link] { return link->isConnected(); }, Patience);
}

} // namespace

class tst_Diagnostics : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void countersMatchWhatTheDeviceSaw();
    void dockFiltersPausesAndSaves();
    void silentPeerTimesOut();
    void bodyBuiltWhenFirstMadeVisible();
    void logReusesItsSlotsAfterClearing_data();
    void logReusesItsSlotsAfterClearing();

private:
    // Sends `count` reads of holding registers at start and waits for all.
    void readHoldings(ModbusConnection *link, int start, int count, QModbusSettings *settings);

    Devicesim::DeviceSimulator m_device;
    ModbusConnection m_link;
    TrafficRecorder m_recorder;
    QModbusSettings m_settings{1, 2000, 0};
};

void tst_Diagnostics::initTestCase()
{
    QVERIFY2(m_device.loadMap(DemoMap), qPrintable(m_device.errorString()));
    m_device.addExceptionRange(QModbusDataUnit::HoldingRegisters, 10, 10, QModbusPdu::IllegalDataAddress);
    QVERIFY(m_device.listen());
    QVERIFY(connectLogged(&m_link, &m_recorder, m_device.port()));
}

void tst_Diagnostics::readHoldings(ModbusConnection *link, int start, int count, QModbusSettings *settings)
{
    int ended = 0;
    for (int i = 0; i < count; ++i) {
        IModbusTransaction *t = link->readHoldings(start, 2, settings, IModbusTransaction::NormalPriority);
        QVERIFY(t);
        connect(t, qOverload<bool, QVector<quint16>, int>(&IModbusTransaction::transactionExecutionEnded),
                this, [&ended] { ++ended; });
        link->addTransactionExec(t);
    }
    QTRY_COMPARE_WITH_TIMEOUT(ended, count, Patience);
}

void tst_Diagnostics::countersMatchWhatTheDeviceSaw()
{
    // More than the log holds, so that it wraps.
    readHoldings(&m_link, 0, 1100, &m_settings);
    readHoldings(&m_link, 10, 7, &m_settings);

    const auto stats = m_link.statistics();
    QCOMPARE(stats.requests(), m_device.requestCount());
    QCOMPARE(stats.successes(), quint64(1100));
    QCOMPARE(stats.exceptionsByCode().value(2), quint64(7));
    QCOMPARE(m_recorder.size(), int(TrafficRecorder::Capacity));
    const TrafficRecorder::Entry &last = m_recorder.entry(m_recorder.size() - 1);
    QCOMPARE(int(last.outcome), int(IModbusTransaction::ExceptionReply));
    QCOMPARE(last.requestHex(), QString("03 00 0A 00 02"));
    QCOMPARE(last.replyHex(), QString("83 02"));
    QCOMPARE(m_recorder.entry(0).address, quint16(0)); // the oldest kept is a plain read

    const TrafficRecorder::Window w = m_recorder.window(QDateTime::currentMSecsSinceEpoch());
    QCOMPARE(w.requests, quint64(1107));
    QCOMPARE(w.answers, quint64(1107));
    QVERIFY(w.perSecond > 0);
    QVERIFY(w.minimum >= 0 && w.minimum <= w.mean && w.mean <= w.maximum);
    QVERIFY(w.minimum <= w.percentile95 && w.percentile95 <= w.maximum);
    // A minute later nothing of it is left in the window.
    QCOMPARE(m_recorder.window(QDateTime::currentMSecsSinceEpoch() + 61000).answers, quint64(0));
}

void tst_Diagnostics::dockFiltersPausesAndSaves()
{
    DiagnosticsDock dock(&m_link, &m_recorder);
    dock.refresh();
    QCOMPARE(dock.counterText("sent"), QString::number(m_link.statistics().requests()));
    QVERIFY(dock.counterText("exceptions").contains("illegal data address"));
    QVERIFY(dock.counterText("roundTrip").contains("95 %"));
    QCOMPARE(dock.logModel()->rowCount(), int(TrafficRecorder::Capacity));

    auto *filter = dock.findChild<QComboBox *>("comboFilter");
    QVERIFY(filter);
    filter->setCurrentIndex(filter->findData(int(TrafficLogModel::Exceptions)));
    QCOMPARE(dock.logModel()->rowCount(), 7);
    QCOMPARE(dock.logModel()->index(0, TrafficLogModel::ResultColumn).data().toString(),
             QString("exception 2 (illegal data address)"));

    QTemporaryDir dir;
    QString error;
    const QString file = dir.filePath("traffic.txt");
    QVERIFY2(dock.logModel()->save(file, &error), qPrintable(error));
    QFile saved(file);
    QVERIFY(saved.open(QIODevice::ReadOnly | QIODevice::Text));
    const QList<QByteArray> lines = saved.readAll().split('\n');
    QCOMPARE(lines.size(), 1 + 7 + 1); // header, rows, end of the last line
    QVERIFY(lines.at(0).startsWith("Time\tFunction"));
    QVERIFY(lines.at(1).contains("\t83 02"));
    QVERIFY(!dock.logModel()->save(dir.filePath("missing/traffic.txt"), &error));
    QVERIFY(error.contains("missing"));

    // Paused: the counters go on, the log stands still.
    dock.setPaused(true);
    const quint64 serial = m_recorder.serial();
    readHoldings(&m_link, 0, 5, &m_settings);
    QCOMPARE(m_recorder.serial(), serial);
    dock.refresh();
    QCOMPARE(dock.counterText("sent"), QString::number(m_device.requestCount()));
    dock.setPaused(false);
    dock.clearLog();
    filter->setCurrentIndex(0);
    QCOMPARE(dock.logModel()->rowCount(), 0);
}

void tst_Diagnostics::silentPeerTimesOut()
{
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    QList<QTcpSocket *> peers;
    connect(&silent, &QTcpServer::newConnection, this, [&] {
        while (QTcpSocket *s = silent.nextPendingConnection())
            peers.append(s);
    });
    ModbusConnection link;
    TrafficRecorder recorder;
    QVERIFY(connectLogged(&link, &recorder, silent.serverPort()));
    QModbusSettings quick(1, 200, 0);
    readHoldings(&link, 0, 3, &quick);

    QCOMPARE(link.statistics().timeouts(), quint64(3));
    QCOMPARE(recorder.size(), 3);
    const TrafficRecorder::Entry &e = recorder.entry(2);
    QCOMPARE(int(e.outcome), int(IModbusTransaction::Timeout));
    QCOMPARE(e.roundTrip, -1);
    QVERIFY(e.replyHex().isEmpty());
    QCOMPARE(recorder.window(QDateTime::currentMSecsSinceEpoch()).answers, quint64(0));
    QCOMPARE(TrafficLogModel::resultText(e), QString("timeout"));
    link.disconnectDevice();
    qDeleteAll(peers);
}

void tst_Diagnostics::bodyBuiltWhenFirstMadeVisible()
{
    QMainWindow window;
    auto *dock = new DiagnosticsDock(&m_link, &m_recorder, &window);
    window.addDockWidget(Qt::BottomDockWidgetArea, dock);
    dock->hide();
    QVERIFY(!dock->widget());
    // Made visible while the window is hidden, as when its state is
    // restored: the body is there before the window lays out its docks.
    dock->show();
    QVERIFY(dock->widget());
    QVERIFY(dock->findChild<QTableView *>("tableTraffic"));
    QCOMPARE(dock->counterText("sent"), QString::number(m_link.statistics().requests()));
}

void tst_Diagnostics::logReusesItsSlotsAfterClearing_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::newRow("nothing recorded") << 0 << 0;
    QTest::newRow("cleared, then fewer") << 5 << 3;
    QTest::newRow("cleared, then more") << 3 << 8;
    QTest::newRow("cleared when full") << int(TrafficRecorder::Capacity) + 2 << 4;
}

void tst_Diagnostics::logReusesItsSlotsAfterClearing()
{
    QFETCH(int, before);
    QFETCH(int, after);
    ModbusConnection link;
    TrafficRecorder recorder;
    QVERIFY(connectLogged(&link, &recorder, m_device.port()));

    readHoldings(&link, 0, before, &m_settings);
    recorder.clearLog();
    readHoldings(&link, 4, after, &m_settings);
    QCOMPARE(recorder.size(), after);
    // Only the requests after the clear, oldest first; none of before.
    QCOMPARE(recorder.entry(0).address, quint16(after ? 4 : 0));
    QCOMPARE(recorder.entry(0).requestHex(), after ? QString("03 00 04 00 02") : QString());
    QCOMPARE(recorder.entry(after - 1).address, quint16(after ? 4 : 0));
    // Clearing the log keeps the round-trip statistics.
    QCOMPARE(recorder.window(QDateTime::currentMSecsSinceEpoch()).answers, quint64(before + after));
    link.disconnectDevice();
}

QTEST_MAIN(tst_Diagnostics)
#include "tst_diagnostics.moc"
