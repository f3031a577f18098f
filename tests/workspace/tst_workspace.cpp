// The device workspace end to end: real Core, Popnote, Fieldlink, Pointbook
// and Clearance plug-ins, real Modbus over TCP on 127.0.0.1.

#include "testdevice.h"
#include "workspacestack.h"
#include "../support/refusedthreads.h"

#include <workspace/connectionhistory.h>
#include <workspace/connectionprofile.h>
#include <workspace/connectionstatuswidget.h>
#include <workspace/demodevice.h>
#include <workspace/tagfiltermodel.h>
#include <workspace/tagformatter.h>
#include <workspace/tagtablemodel.h>
#include <workspace/workspacecontroller.h>
#include <workspace/workspacepage.h>
#include <workspace/workspaceplugin.h>

#include <browser/browserwriter.h>
#include <clearance/clearanceplugin.h>
#include <core/coreplugin.h>
#include <core/icore.h>
#include <core/settingsdatabase.h>
#include <devicesim/devicesimulator.h>
#include <fieldlink/fieldlinkplugin.h>
#include <fieldlink/modbusconnection.h>
#include <pointbook/basetag.h>
#include <pointbook/pointbookplugin.h>
#include <pointbook/statusupdatebase.h>
#include <pointbook/tagbase.h>
#include <pointbook/tagbaseloader.h>
#include <pointbook/tagwriter.h>
#include <popnote/popnoteplugin.h>

#include <QDir>
#include <QAction>
#include <QFile>
#include <QSpinBox>
#include <QLineEdit>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMainWindow>
#include <QModbusRtuSerialSlave>
#include <QModbusTcpClient>
#include <QProcess>
#include <QStatusBar>
#include <QTcpServer>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

using Pointbook::Tag;
using Pointbook::TagBase;
using Workspace::ConnectionProfile;
using Workspace::TagTableModel;
using Workspace::WorkspaceController;
using Sim = Devicesim::DeviceSimulator;

namespace {

constexpr int Patience = 20000;

const char SmallMap[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<base version=\"7.01\"><ir>\n"
    "<tag><information id=\"Counter\" name=\"Counter\" unit=\"pcs\" description=\"test counter\"/>"
    "<modbussettins bitfield=\"false\" bitfieldend=\"false\" offset=\"0\" datatype=\"uint16\" "
    "byteOrderInput=\"10\" byteOrderOutput=\"01\" counter=\"1\" access=\"R\"/>"
    "<value default=\"0\" min=\"0\" max=\"1000\" precision=\"0\" dampening=\"false\"/>"
    "<chart type=\"none\"/><typetag type=\"status\" profile=\"false\"/></tag>\n"
    "</ir></base>\n";

// A device on a serial line at unit 1, with its own way of meeting the
// device identification request.
class SerialTestDevice : public QModbusRtuSerialSlave
{
public:
    enum Identification { Answers, Refuses, NamesNoVersion };

    SerialTestDevice(const QString &port, Identification identification)
        : m_identification(identification)
    {
        QModbusDataUnitMap map;
        map.insert(QModbusDataUnit::InputRegisters, {QModbusDataUnit::InputRegisters, 0, 16});
        setMap(map);
        setServerAddress(1);
        setConnectionParameter(QModbusDevice::SerialPortNameParameter, port);
        setConnectionParameter(QModbusDevice::SerialBaudRateParameter, 19200);
        setConnectionParameter(QModbusDevice::SerialParityParameter, QSerialPort::EvenParity);
    }

protected:
    QModbusResponse processRequest(const QModbusPdu &request) override
    {
        if (request.functionCode() != QModbusPdu::EncapsulatedInterfaceTransport)
            return QModbusRtuSerialSlave::processRequest(request);
        if (m_identification == Refuses)
            return QModbusExceptionResponse(request.functionCode(), QModbusExceptionResponse::IllegalFunction);
        // Basic identification holding the vendor's name alone.
        return QModbusResponse(request.functionCode(), QByteArray::fromHex("0e0101000001000454657374"));
    }

private:
    Identification m_identification;
};

// A pseudo-terminal pair made by socat, its ends reached through links.
bool startLine(QProcess *socat, const QString &deviceEnd, const QString &toolEnd)
{
    const QString program = QStandardPaths::findExecutable("socat");
    if (program.isEmpty())
        return false;
    socat->start(program, {"-d", "-d", "pty,raw,echo=0,link=" + deviceEnd, "pty,raw,echo=0,link=" + toolEnd});
    if (!socat->waitForStarted(5000))
        return false;
    QByteArray log;
    return QTest::qWaitFor([&]() {
        log += socat->readAllStandardError();
        return log.contains("starting data transfer loop") || socat->state() == QProcess::NotRunning;
    }, 10000) && socat->state() == QProcess::Running;
}

bool covered(const QVector<QPoint> &intervals, int address)
{
    for (const QPoint &i : intervals) {
        if (address >= i.x() && address < i.x() + i.y())
            return true;
    }
    return false;
}

} // namespace

class tst_Workspace : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void metadataDeclaresDemoArgument();
    void pageIsCentralAndStatusVisible();
    void demoDeviceLiveValues();
    void demoDeviceStopsWhileBusy();
    void rightsHideAndUnpoll();
    void levelChangeReapplies();
    void tableWritesAndReadsBack();
    void browserWritesAtTheHighestLevelOnly();
    void unreadableRightsShowNothing();
    void deviceRestartRecovers();
    void noIdentificationAsksForVersion();
    void rememberedVersionUsedAgain();
    void versionWithoutMapPollsNothing();
    void brokenMapReportedOnce();
    void refusedConnectionSaysWhy();
    void pollingPeriodAndStop();
    void arrayEditorRefusesEmptyElement();
    void demoWithoutThreadSaysWhy();
    void identificationOverSerial_data();
    void identificationOverSerial();

private:
    // The demo simulator runs on a thread of its own: work on it goes there.
    template <typename Work>
    static auto onDevice(Work work)
    {
        return Workspace::WorkspacePlugin::instance()->demoDevice()->call(work);
    }
    WorkspaceController *controller() const { return m_plugins.workspace->controller(); }
    Workspace::WorkspacePage *page() const { return m_plugins.workspace->page(); }
    Fieldlink::FieldlinkCore::ModbusConnection *link() const { return controller()->connection(); }
    Pointbook::BaseTag *base() const { return m_plugins.pointbook->tagBaseLoader()->base(); }
    void waitForPasses(int passes);

    WorkspaceStack m_plugins;
};

void tst_Workspace::initTestCase()
{
    QString error;
    QVERIFY2(m_plugins.start(&error), qPrintable(error));
    QVERIFY(Pointbook::PointbookPlugin::registerMapFolder().startsWith(m_plugins.home.path()));
    // Short reconnection delays keep the restart case quick.
    link()->setReconnectDelays(100, 500);
    page()->setPromptsEnabled(false);
}

void tst_Workspace::cleanupTestCase()
{
    m_plugins.stop();
}

void tst_Workspace::waitForPasses(int passes)
{
    const quint64 target = controller()->passCount() + quint64(passes);
    QTRY_VERIFY_WITH_TIMEOUT(controller()->passCount() >= target, Patience);
}

void tst_Workspace::metadataDeclaresDemoArgument()
{
    QFile file(QStringLiteral(KORVANE_BUILD_DIR "/plugins/workspace/metadata/Workspace.json"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject meta = QJsonDocument::fromJson(file.readAll()).object();
    QStringList dependencies;
    for (const QJsonValue &d : meta.value("Dependencies").toArray())
        dependencies.append(d.toObject().value("Name").toString());
    QCOMPARE(dependencies, (QStringList{"Core", "Popnote", "Fieldlink", "Pointbook", "Clearance", "Sqlstore"}));
    QStringList arguments;
    for (const QJsonValue &a : meta.value("Arguments").toArray())
        arguments.append(a.toObject().value("Name").toString());
    QVERIFY(arguments.contains("-demo"));
}

void tst_Workspace::pageIsCentralAndStatusVisible()
{
    auto *window = qobject_cast<QMainWindow *>(Core::ICore::mainWindow());
    QVERIFY(window);
    QVERIFY(window->findChild<Workspace::WorkspacePage *>("WorkspacePage"));
    auto *status = window->statusBar()->findChild<Workspace::ConnectionStatusWidget *>();
    QVERIFY(status);
    QCOMPARE(status->findChild<QLabel *>("labelConnectionState")->text(), tr("Not connected"));
    QCOMPARE(controller()->phase(), WorkspaceController::Idle);
}

void tst_Workspace::demoDeviceLiveValues()
{
    QSignalSpy firstShown(page(), &Workspace::WorkspacePage::firstValueShown);
    QVERIFY(m_plugins.workspace->startDemo());
    // Values hold still, so that they can be compared.
    onDevice([](Sim *d) { d->setUpdateInterval(0); });
    QTRY_COMPARE_WITH_TIMEOUT(controller()->phase(), WorkspaceController::Running, Patience);
    QCOMPARE(controller()->version(), onDevice([](Sim *d) { return d->version(); }));
    QCOMPARE(m_plugins.pointbook->version(), onDevice([](Sim *d) { return d->version(); }));
    waitForPasses(2);

    const TagTableModel *model = controller()->model();
    QVERIFY(model->tagRowCount() > 0);
    int compared = 0;
    for (const auto type : {Tag::IR, Tag::HR}) {
        const auto tags = base()->tagHash(type);
        for (auto it = tags.cbegin(); it != tags.cend(); ++it) {
            Tag *tag = it.value();
            if (!tag->isUpdate())
                continue;
            QCOMPARE(tag->value(), onDevice([&](Sim *d) { return d->tagValue(type, it.key()); }));
            const QModelIndex value = model->indexOfTag(type, it.key(), TagTableModel::ValueColumn);
            QVERIFY2(value.isValid(), qPrintable(it.key()));
            QCOMPARE(value.data().toString(), Workspace::TagFormatter::valueText(tag));
            QVERIFY(!value.data().toString().isEmpty());
            QVERIFY(!value.data(TagTableModel::StaleRole).toBool());
            ++compared;
        }
    }
    QVERIFY(compared >= 5);
    // The table painted the first value, and says so once per connection.
    QTRY_COMPARE_WITH_TIMEOUT(firstShown.count(), 1, Patience);
    waitForPasses(1);
    QCoreApplication::processEvents();
    QCOMPARE(firstShown.count(), 1);
    auto *status = m_plugins.workspace->statusWidget();
    QVERIFY2(status->text().contains(onDevice([](Sim *d) { return d->version(); })), qPrintable(status->text()));
    QCOMPARE(status->state(), QModbusDevice::ConnectedState);
}

// The device's thread ends at once whatever it is doing: loading its map
// (stopped right after prepare) or holding back a slow answer.
void tst_Workspace::demoDeviceStopsWhileBusy()
{
    Workspace::DemoDevice demo;
    demo.prepare();
    demo.stop();
    QVERIFY(!demo.isRunning());
    QVERIFY2(demo.start(), qPrintable(demo.errorString()));
    QVERIFY(demo.isRunning());

    demo.call([](Sim *d) { d->setResponseDelay(600000); });
    bool asked = false;
    connect(demo.simulator(), &Sim::requestReceived, this, [&asked] { asked = true; }, Qt::QueuedConnection);
    QModbusTcpClient client;
    client.setConnectionParameter(QModbusDevice::NetworkAddressParameter, "127.0.0.1");
    client.setConnectionParameter(QModbusDevice::NetworkPortParameter, demo.port());
    QVERIFY(client.connectDevice());
    QTRY_COMPARE_WITH_TIMEOUT(client.state(), QModbusDevice::ConnectedState, Patience);
    QModbusReply *reply = client.sendReadRequest(QModbusDataUnit(QModbusDataUnit::InputRegisters, 0, 1),
                                                 demo.call([](Sim *d) { return d->serverAddress(); }));
    QVERIFY(reply);
    QTRY_VERIFY_WITH_TIMEOUT(asked, Patience);
    demo.stop(); // would sleep out the delay if it were not cut short
    QVERIFY(!demo.isRunning());
    QCOMPARE(demo.port(), quint16(0));
    client.disconnectDevice();
    delete reply;
    QVERIFY2(demo.start(), qPrintable(demo.errorString())); // and starts again
    QVERIFY(demo.port() > 0);
}

void tst_Workspace::rightsHideAndUnpoll()
{
    // The default level "user" may not see or poll the supply voltage.
    QCOMPARE(m_plugins.clearance->currentClearance(), QString("user"));
    QVERIFY(m_plugins.clearance->currentBaseClearance());
    Tag *voltage = base()->tagHash(Tag::IR).value("SupplyVoltage");
    QVERIFY(voltage);
    QVERIFY(!voltage->isUpdate());
    QVERIFY(!controller()->model()->indexOfTag(Tag::IR, "SupplyVoltage").isValid());
    QVERIFY(controller()->model()->indexOfTag(Tag::IR, "Pressure").isValid());
    // Unpolled tags lie outside every request the engine builds.
    TagBase *engine = m_plugins.pointbook->tagBase();
    for (const auto type : {Tag::IR, Tag::HR}) {
        const QVector<QPoint> intervals = type == Tag::IR ? engine->irInterval() : engine->hrInterval();
        const auto tags = base()->tagHash(type);
        for (Tag *tag : tags) {
            if (!tag->isUpdate() && !tag->bitfield())
                QVERIFY2(!covered(intervals, tag->startAddress()), qPrintable(tag->Id()));
        }
    }
    // Nothing the user level may change is writable.
    const QModelIndex setPoint = controller()->model()->indexOfTag(Tag::HR, "SetPoint");
    QVERIFY(setPoint.isValid());
    QVERIFY(!setPoint.data(TagTableModel::WritableRole).toBool());
}

void tst_Workspace::levelChangeReapplies()
{
    const int shownBefore = controller()->model()->tagRowCount();
    Core::SettingsDatabase *db = Core::ICore::settingsDatabase();
    db->beginGroup("Clearance");
    db->setValue("CurrentClearance", "admin");
    db->endGroup();
    QSignalSpy applied(controller(), &WorkspaceController::rightsApplied);
    m_plugins.clearance->readSettings(); // announces the new level
    QCOMPARE(applied.count(), 1);
    QCOMPARE(m_plugins.clearance->currentClearance(), QString("admin"));
    QVERIFY(controller()->model()->tagRowCount() > shownBefore);
    Tag *voltage = base()->tagHash(Tag::IR).value("SupplyVoltage");
    QVERIFY(voltage->isUpdate());
    QVERIFY(covered(m_plugins.pointbook->tagBase()->irInterval(), voltage->startAddress()));
    waitForPasses(2);
    QCOMPARE(voltage->value(), onDevice([](Sim *d) { return d->tagValue(Tag::IR, "SupplyVoltage"); }));
    QVERIFY(!controller()->model()->indexOfTag(Tag::IR, "SupplyVoltage", TagTableModel::ValueColumn)
                 .data().toString().isEmpty());
}

void tst_Workspace::tableWritesAndReadsBack()
{
    // At the admin level (set by the test before) the set point is
    // editable; input registers never are, and say why.
    TagTableModel *model = controller()->model();
    const QModelIndex setPoint = model->indexOfTag(Tag::HR, "SetPoint", TagTableModel::ValueColumn);
    QVERIFY(model->flags(setPoint) & Qt::ItemIsEditable);
    const QModelIndex pressure = model->indexOfTag(Tag::IR, "Pressure", TagTableModel::ValueColumn);
    QVERIFY(!(model->flags(pressure) & Qt::ItemIsEditable));
    QVERIFY(model->notWritableReason(pressure).contains("Input registers"));

    QSignalSpy finished(controller(), &WorkspaceController::writeFinished);
    QVERIFY(model->setData(setPoint, 12.5));
    QCOMPARE(setPoint.data(TagTableModel::WriteStateRole).toInt(), int(TagTableModel::WritePending));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, Patience);
    const auto outcome = finished.at(0).at(0).value<Pointbook::TagWriter::Outcome>();
    QCOMPARE(outcome.result, Pointbook::TagWriter::Ok);
    QCOMPARE(outcome.readBack, QString("12.5"));
    QCOMPARE(setPoint.data(TagTableModel::WriteStateRole).toInt(), int(TagTableModel::WriteSucceeded));
    QCOMPARE(onDevice([](Sim *d) { return d->tagValue(Tag::HR, "SetPoint"); }), QVariant(12.5f));
    waitForPasses(2); // polling shows what the device keeps
    QVERIFY(setPoint.data().toString().startsWith("12.5"));

    // The editor of the view: a number field with the tag's unit, typed into.
    QTreeView *view = page()->view();
    const QModelIndex shown = page()->filterModel()->mapFromSource(setPoint);
    view->edit(shown);
    auto *edit = view->findChild<QLineEdit *>("valueEditorNumber");
    QVERIFY(edit);
    QCOMPARE(edit->findChild<QLabel *>("labelValueUnit")->text(), QString("bar"));
    QVERIFY(edit->toolTip().contains("0 to 16 bar"));
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit, "6.25");
    waitForPasses(2); // the live value goes on changing under the editor
    QCOMPARE(edit->text(), QString("6.25"));
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, Patience);
    QCOMPARE(finished.at(1).at(0).value<Pointbook::TagWriter::Outcome>().readBack, QString("6.25"));
    finished.clear();

    // Beyond the tag's limits: refused, nothing sent, the cell says so.
    QVERIFY(model->setData(setPoint, 1e6));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, Patience);
    QCOMPARE(finished.at(0).at(0).value<Pointbook::TagWriter::Outcome>().result, Pointbook::TagWriter::Refused);
    QCOMPARE(setPoint.data(TagTableModel::WriteStateRole).toInt(), int(TagTableModel::WriteFailed));
    QVERIFY(setPoint.data(Qt::ToolTipRole).toString().contains("outside the tag's limits"));
}

// The register browser writes through the same path as the table (encoded,
// sent, read back), but only at a level trusted with every holding
// register: the demo's user level marks some read-only and is refused
// before anything is sent.
void tst_Workspace::browserWritesAtTheHighestLevelOnly()
{
    Browser::BrowserWriter writer(controller());
    QCOMPARE(m_plugins.clearance->currentClearance(), QString("admin"));
    QCOMPARE(writer.refusal(), QString());
    QSignalSpy finished(&writer, &Browser::BrowserWriter::finished);
    QString error;
    const int damping = 6; // the demo's "Damping" register
    QVERIFY2(writer.write(Tag::HR, damping, Browser::RowFormat(Browser::RowFormat::Unsigned16),
                          Browser::BrowserWriter::parse(Browser::RowFormat(Browser::RowFormat::Hex), "0x2a", &error),
                          &error) > 0,
             qPrintable(error));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, Patience);
    QVERIFY2(finished.at(0).at(1).toBool(), qPrintable(finished.at(0).at(0).toString()));
    QVERIFY(finished.at(0).at(0).toString().contains("read back 42"));
    QCOMPARE(onDevice([](Sim *d) { return d->tagValue(Tag::HR, "Damping"); }).toInt(), 42);

    Core::SettingsDatabase *db = Core::ICore::settingsDatabase();
    const auto setLevel = [&](const char *level) {
        db->beginGroup("Clearance");
        db->setValue("CurrentClearance", level);
        db->endGroup();
        m_plugins.clearance->readSettings();
    };
    setLevel("user");
    QVERIFY(writer.refusal().contains("highest level (admin)"));
    QSignalSpy reported(controller(), &WorkspaceController::writeFinished);
    QCOMPARE(writer.write(Tag::HR, damping, Browser::RowFormat(Browser::RowFormat::Unsigned16), "7", &error), 0);
    QCOMPARE(error, writer.refusal());
    // Refused, and reported for the change log with the reason.
    QTRY_COMPARE_WITH_TIMEOUT(reported.count(), 1, Patience);
    const auto refused = reported.at(0).at(0).value<Pointbook::TagWriter::Outcome>();
    QCOMPARE(refused.result, Pointbook::TagWriter::Refused);
    QCOMPARE(refused.address, damping);
    QCOMPARE(refused.newValue, QString("7"));
    QCOMPARE(refused.detail, writer.refusal());
    waitForPasses(1);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(onDevice([](Sim *d) { return d->tagValue(Tag::HR, "Damping"); }).toInt(), 42);
    setLevel("admin");
}

// A damaged rights file of the current level hides and unpolls every tag
// instead of opening them all; repaired, the level's rights come back.
void tst_Workspace::unreadableRightsShowNothing()
{
    const QString version = controller()->version();
    QFile file(Clearance::ClearancePlugin::clearanceFolder() + m_plugins.clearance->currentClearance()
               + "_v" + version + ".xml");
    QVERIFY(file.open(QIODevice::ReadWrite));
    const QByteArray intact = file.readAll();
    QVERIFY(file.resize(intact.size() / 2));
    file.close();
    const int shownBefore = controller()->model()->tagRowCount();
    QVERIFY(shownBefore > 0);

    QSignalSpy applied(controller(), &WorkspaceController::rightsApplied);
    m_plugins.clearance->setVersion(version);
    QCOMPARE(applied.count(), 1);
    QCOMPARE(applied.at(0).at(0).toInt(), 0);
    QCOMPARE(controller()->model()->tagRowCount(), 0);

    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(intact);
    file.close();
    m_plugins.clearance->setVersion(version);
    QCOMPARE(controller()->model()->tagRowCount(), shownBefore);
}

void tst_Workspace::deviceRestartRecovers()
{
    const quint16 port = onDevice([](Sim *d) { return d->port(); });
    onDevice([](Sim *d) { d->close(); });
    QTRY_VERIFY_WITH_TIMEOUT(link()->state() != QModbusDevice::ConnectedState, Patience);
    // Passes go on while the link is down; their values turn stale.
    const QModelIndex pressure = controller()->model()->indexOfTag(Tag::IR, "Pressure");
    QTRY_VERIFY_WITH_TIMEOUT(pressure.data(TagTableModel::StaleRole).toBool(), Patience);
    QVERIFY(m_plugins.workspace->statusWidget()->state() != QModbusDevice::ConnectedState);

    // The device comes back with new values.
    onDevice([](Sim *d) { d->setStep(d->step() + 7); });
    QVERIFY(onDevice([&](Sim *d) { return d->listen("127.0.0.1", port); }));
    QTRY_COMPARE_WITH_TIMEOUT(link()->state(), QModbusDevice::ConnectedState, Patience);
    QTRY_COMPARE_WITH_TIMEOUT(controller()->phase(), WorkspaceController::Running, Patience);
    waitForPasses(2);
    QVERIFY(!pressure.data(TagTableModel::StaleRole).toBool());
    QCOMPARE(base()->tagHash(Tag::IR).value("Pressure")->value(),
             onDevice([](Sim *d) { return d->tagValue(Tag::IR, "Pressure"); }));
    QCOMPARE(m_plugins.workspace->statusWidget()->state(), QModbusDevice::ConnectedState);
}

void tst_Workspace::noIdentificationAsksForVersion()
{
    QFile map(Pointbook::PointbookPlugin::registerMapFolder() + "base_v7.01.xml");
    QVERIFY(map.open(QIODevice::WriteOnly));
    map.write(SmallMap);
    map.close();

    TestDevice device;
    QVERIFY(device.listenOn());
    device.setData(QModbusDataUnit::InputRegisters, 0, 321);
    QSignalSpy asked(controller(), &WorkspaceController::versionChoiceNeeded);
    controller()->connectTo(ConnectionProfile::tcp("127.0.0.1", device.port()));
    QTRY_COMPARE_WITH_TIMEOUT(asked.count(), 1, Patience);
    QCOMPARE(controller()->phase(), WorkspaceController::ChoosingVersion);
    const QStringList offered = asked.first().at(0).toStringList();
    QVERIFY(offered.contains("7.01"));
    QVERIFY(offered.contains("1.00"));

    controller()->chooseVersion("7.01");
    QTRY_COMPARE_WITH_TIMEOUT(controller()->phase(), WorkspaceController::Running, Patience);
    waitForPasses(1);
    Tag *counter = base()->tagHash(Tag::IR).value("Counter");
    QVERIFY(counter);
    QCOMPARE(counter->value().toInt(), 321);
    // No rights exist for this version: every tag shown and polled.
    QVERIFY(!m_plugins.clearance->currentBaseClearance());
    QCOMPARE(controller()->model()->indexOfTag(Tag::IR, "Counter", TagTableModel::ValueColumn).data().toString(),
             QString("321 pcs"));
    controller()->disconnectFromDevice();
    device.disconnectDevice();
}

void tst_Workspace::rememberedVersionUsedAgain()
{
    TestDevice device;
    QVERIFY(device.listenOn());
    device.setData(QModbusDataUnit::InputRegisters, 0, 77);
    const ConnectionProfile profile = ConnectionProfile::tcp("127.0.0.1", device.port());
    // The earlier answer was for another port; this connection gets one too.
    controller()->history()->setChosenVersion(profile.key(), "7.01");
    QSignalSpy asked(controller(), &WorkspaceController::versionChoiceNeeded);
    controller()->connectTo(profile);
    QTRY_COMPARE_WITH_TIMEOUT(controller()->phase(), WorkspaceController::Running, Patience);
    waitForPasses(1);
    QCOMPARE(asked.count(), 0);
    QCOMPARE(base()->tagHash(Tag::IR).value("Counter")->value().toInt(), 77);
    QCOMPARE(controller()->history()->recent().first(), profile);
    controller()->disconnectFromDevice();
    device.disconnectDevice();
}

void tst_Workspace::versionWithoutMapPollsNothing()
{
    TestDevice device("9.99");
    QVERIFY(device.listenOn());
    QSignalSpy problems(controller(), &WorkspaceController::problemOccurred);
    controller()->connectTo(ConnectionProfile::tcp("127.0.0.1", device.port()));
    QTRY_COMPARE_WITH_TIMEOUT(controller()->phase(), WorkspaceController::NoMap, Patience);
    QCOMPARE(controller()->version(), QString("9.99"));
    QVERIFY(controller()->problem().contains("9.99"));
    QVERIFY(!problems.isEmpty());
    QCOMPARE(m_plugins.pointbook->tagBase()->typeUpdate(), TagBase::NoUpdate);
    QTRY_COMPARE(controller()->model()->tagRowCount(), 0);
    const quint64 passes = controller()->passCount();
    QTest::qWait(300);
    QCOMPARE(controller()->passCount(), passes);
    QVERIFY(page()->mapLabel()->text().contains("9.99"));
    controller()->disconnectFromDevice();
    device.disconnectDevice();
}

void tst_Workspace::brokenMapReportedOnce()
{
    QFile map(Pointbook::PointbookPlugin::registerMapFolder() + "base_v7.77.xml");
    QVERIFY(map.open(QIODevice::WriteOnly | QIODevice::Truncate));
    map.write("<base version=\"7.77\">\n<ir>\n</base>\n");
    map.close();
    TestDevice device("7.77");
    QVERIFY(device.listenOn());
    QSignalSpy notes(m_plugins.popnote, &Popnote::PopnotePlugin::notificationAdded);
    controller()->connectTo(ConnectionProfile::tcp("127.0.0.1", device.port()));
    QTRY_COMPARE_WITH_TIMEOUT(controller()->phase(), WorkspaceController::NoMap, Patience);
    QStringList bodies;
    for (const QList<QVariant> &note : notes)
        bodies << note.at(1).toString();
    QCOMPARE(bodies.filter(": line - 3, column - ").size(), 1);
    QCOMPARE(bodies.filter("register map file for this device was not found").size(), 0);
    QVERIFY(page()->mapLabel()->text().contains(": line - 3, column - "));
    controller()->disconnectFromDevice();
    device.disconnectDevice();
    map.remove();
}

void tst_Workspace::refusedConnectionSaysWhy()
{
    // A port nobody listens on.
    quint16 port = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        port = probe.serverPort();
    }
    controller()->connectTo(ConnectionProfile::tcp("127.0.0.1", port));
    auto *status = m_plugins.workspace->statusWidget();
    QTRY_VERIFY_WITH_TIMEOUT(status->text().startsWith(tr("Cannot connect")), Patience);
    QVERIFY2(status->text().contains(QString::number(port)), qPrintable(status->text()));
    controller()->disconnectFromDevice();
    QCOMPARE(controller()->phase(), WorkspaceController::Idle);

    QSignalSpy problems(controller(), &WorkspaceController::problemOccurred);
    controller()->connectTo(ConnectionProfile::tcp("", 502));
    QCOMPARE(problems.count(), 1);
    QCOMPARE(controller()->phase(), WorkspaceController::Idle);
}

void tst_Workspace::pollingPeriodAndStop()
{
    // Unless changed, one pass a second rather than back to back.
    QCOMPARE(controller()->pollingPeriod(), int(WorkspaceController::DefaultPollingPeriodMs));
    QCOMPARE(page()->periodSpinBox()->value(), int(WorkspaceController::DefaultPollingPeriodMs));
    QVERIFY(m_plugins.workspace->startDemo());
    QTRY_COMPARE_WITH_TIMEOUT(controller()->phase(), WorkspaceController::Running, Patience);
    TagBase *engine = m_plugins.pointbook->tagBase();
    QTRY_COMPARE(engine->typeUpdate(), TagBase::SingleUpdate);
    page()->periodSpinBox()->setValue(0);
    QTRY_COMPARE(engine->typeUpdate(), TagBase::CyclicUpdate);

    page()->periodSpinBox()->setValue(200);
    QCOMPARE(controller()->pollingPeriod(), 200);
    waitForPasses(3);
    QCOMPARE(engine->typeUpdate(), TagBase::SingleUpdate);

    page()->pollingAction()->trigger(); // off
    QVERIFY(!controller()->isPolling());
    QTRY_COMPARE(engine->typeUpdate(), TagBase::NoUpdate);
    const quint64 passes = controller()->passCount();
    QTest::qWait(500);
    QVERIFY(controller()->passCount() <= passes + 1); // a pass under way may end

    const quint64 before = controller()->passCount();
    page()->singleReadAction()->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(controller()->passCount() == before + 1, Patience);

    page()->periodSpinBox()->setValue(0);
    page()->pollingAction()->trigger(); // on again
    QTRY_COMPARE(engine->typeUpdate(), TagBase::CyclicUpdate);
    waitForPasses(2);
}

// An empty element typed into the array editor is refused with its
// position; skipped, it would shift the later values into other registers.
void tst_Workspace::arrayEditorRefusesEmptyElement()
{
    controller()->disconnectFromDevice();
    QFile map(Pointbook::PointbookPlugin::registerMapFolder() + "base_v7.88.xml");
    QVERIFY(map.open(QIODevice::WriteOnly | QIODevice::Truncate));
    map.write("<base version=\"7.88\"><hr><tag><information id=\"Table\" name=\"Table\"/>"
              "<modbussettins datatype=\"uint16\" byteOrderInput=\"10\" byteOrderOutput=\"01\" counter=\"4\" "
              "access=\"RW\"/><value min=\"0\" max=\"1000\"/><typetag type=\"parameter\"/></tag></hr></base>\n");
    map.close();
    QFile rights(Clearance::ClearancePlugin::clearanceFolder() + "/admin_v7.88.xml");
    QVERIFY(rights.open(QIODevice::WriteOnly | QIODevice::Truncate));
    rights.write("<base version=\"7.88\"><hr><tag id=\"Table\" update=\"true\" visible=\"true\" "
                 "readonly=\"false\"/></hr></base>\n");
    rights.close();
    Core::SettingsDatabase *db = Core::ICore::settingsDatabase();
    db->beginGroup("Clearance");
    db->setValue("CurrentClearance", "admin");
    db->endGroup();
    m_plugins.clearance->readSettings();

    TestDevice device("7.88");
    QVERIFY(device.listenOn());
    for (int i = 0; i < 4; ++i)
        device.setData(QModbusDataUnit::HoldingRegisters, quint16(i), 9);
    controller()->connectTo(ConnectionProfile::tcp("127.0.0.1", device.port()));
    QTRY_COMPARE_WITH_TIMEOUT(controller()->phase(), WorkspaceController::Running, Patience);
    waitForPasses(1);

    const QModelIndex table = controller()->model()->indexOfTag(Tag::HR, "Table", TagTableModel::ValueColumn);
    QVERIFY(table.isValid());
    QSignalSpy finished(controller(), &WorkspaceController::writeFinished);
    QTreeView *view = page()->view();
    view->edit(page()->filterModel()->mapFromSource(table));
    auto *edit = view->findChild<QLineEdit *>("valueEditorText");
    QVERIFY(edit);
    edit->selectAll();
    QTest::keyClicks(edit, "1,2,,3,4");
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, Patience);
    const auto outcome = finished.at(0).at(0).value<Pointbook::TagWriter::Outcome>();
    QCOMPARE(outcome.result, Pointbook::TagWriter::Refused);
    QCOMPARE(outcome.detail, QString("element 3 is empty"));
    QVERIFY(table.data(Qt::ToolTipRole).toString().contains("element 3 is empty"));
    for (int i = 0; i < 4; ++i) {
        quint16 word = 0;
        QVERIFY(device.data(QModbusDataUnit::HoldingRegisters, quint16(i), &word));
        QCOMPARE(word, quint16(9));
    }
    controller()->disconnectFromDevice();
    device.disconnectDevice();
}

// A thread the system refuses: the demo says why instead of waiting for it
// for good, and starts once threads are to be had again.
void tst_Workspace::demoWithoutThreadSaysWhy()
{
    controller()->disconnectFromDevice();
    Workspace::DemoDevice *demo = m_plugins.workspace->demoDevice();
    setThreadsRefused(true);
    page()->demoAction()->trigger();
    setThreadsRefused(false);
    QVERIFY(!demo->isRunning());
    QVERIFY2(demo->errorString().contains("refused to start a thread"), qPrintable(demo->errorString()));
    QCOMPARE(controller()->phase(), WorkspaceController::Idle);

    page()->demoAction()->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(controller()->phase(), WorkspaceController::Running, Patience);
}

void tst_Workspace::identificationOverSerial_data()
{
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("identification");
    QTest::addColumn<QString>("reason");

    QTest::newRow("unit that never answers") << 9 << int(SerialTestDevice::Answers)
                                             << "did not answer the device identification request";
    QTest::newRow("refused") << 1 << int(SerialTestDevice::Refuses)
                             << "refused the device identification request (exception 1";
    QTest::newRow("answer without a version") << 1 << int(SerialTestDevice::NamesNoVersion)
                                              << "answered the device identification request without";
}

// A serial port opens at once: the version is still asked for once (with the
// configured retry), the user asked once, and told which way it failed.
void tst_Workspace::identificationOverSerial()
{
    QFETCH(int, unit);
    QFETCH(int, identification);
    QFETCH(QString, reason);
    QFile map(Pointbook::PointbookPlugin::registerMapFolder() + "base_v7.01.xml");
    QVERIFY(map.open(QIODevice::WriteOnly));
    map.write(SmallMap);
    map.close();
    QTemporaryDir dir;
    // Names of their own: a serial port's lock is named after the port's.
    const QString deviceEnd = dir.filePath(QStringLiteral("device%1").arg(unit * 10 + identification));
    const QString toolEnd = dir.filePath(QStringLiteral("tool%1").arg(unit * 10 + identification));
    QProcess socat;
    QVERIFY2(startLine(&socat, deviceEnd, toolEnd), "no pseudo-terminal pair from socat");
    SerialTestDevice device(deviceEnd, SerialTestDevice::Identification(identification));
    QVERIFY(device.connectDevice());
    device.setData(QModbusDataUnit::InputRegisters, 0, 55);

    ConnectionProfile profile;
    profile.setKind(ConnectionProfile::Rtu);
    profile.setSerialPortName(toolEnd);
    profile.setBaudRate(19200);
    profile.setParity(QSerialPort::EvenParity);
    profile.setUnit(unit);
    profile.setResponseTimeout(300);
    profile.setRetries(1);
    QSignalSpy asked(controller(), &WorkspaceController::versionChoiceNeeded);
    QSignalSpy firstShown(page(), &Workspace::WorkspacePage::firstValueShown);
    const quint64 requestsBefore = link()->statistics().requests();
    controller()->connectTo(profile);
    QTRY_COMPARE_WITH_TIMEOUT(asked.count(), 1, Patience);
    QVERIFY(!link()->isBusy());
    QCOMPARE(link()->queuedCount(), 0);
    QCOMPARE(link()->statistics().requests() - requestsBefore, quint64(1));
    QVERIFY2(controller()->problem().contains(reason), qPrintable(controller()->problem()));

    controller()->chooseVersion("7.01");
    QTRY_COMPARE_WITH_TIMEOUT(controller()->phase(), WorkspaceController::Running, Patience);
    waitForPasses(2);
    QCOMPARE(asked.count(), 1);
    // Only a value the device gave is reported as the first one shown.
    if (unit != 1)
        QCOMPARE(firstShown.count(), 0);
    else
        QTRY_COMPARE_WITH_TIMEOUT(firstShown.count(), 1, Patience);
    controller()->disconnectFromDevice();
    device.disconnectDevice();
    socat.terminate();
    socat.waitForFinished(5000);
}

QTEST_MAIN(tst_Workspace)
#include "tst_workspace.moc"
