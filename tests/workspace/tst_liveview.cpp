// The live view end to end: which values count as fresh across device
// events, why a value is missing, and the link's health in the status bar.
// Real plug-ins, real Modbus over TCP on 127.0.0.1.

#include "workspacestack.h"

#include <workspace/connectionprofile.h>
#include <workspace/connectionstatuswidget.h>
#include <workspace/tagfiltermodel.h>
#include <workspace/demodevice.h>
#include <workspace/tagtablemodel.h>
#include <workspace/workspacecontroller.h>
#include <workspace/workspacepage.h>
#include <workspace/workspaceplugin.h>

#include <clearance/clearanceplugin.h>
#include <core/coreplugin.h>
#include <devicesim/devicesimulator.h>
#include <fieldlink/fieldlinkplugin.h>
#include <fieldlink/modbusconnection.h>
#include <pointbook/basetag.h>
#include <pointbook/pointbookplugin.h>
#include <pointbook/statusupdatebase.h>
#include <pointbook/tagbase.h>
#include <pointbook/tagbaseloader.h>
#include <popnote/popnoteplugin.h>
#include <qled/qled.h>

#include <QAction>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStatusBar>
#include <QToolButton>
#include <QTreeView>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

using Devicesim::DeviceSimulator;
using Pointbook::Tag;
using Workspace::ConnectionProfile;
using Workspace::TagTableModel;
using Workspace::WorkspaceController;

namespace {

constexpr int Patience = 30000;

QStringList s_pollingLog;

void recordPollingLog(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    if (context.category && QByteArray(context.category) == "workspace.polling")
        s_pollingLog.append(message);
}

} // namespace

class tst_LiveView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void noOldValuePassesAsFresh();
    void silentPeerGoesAmberWithReasons();
    void exceptionMarksExactlyItsTags();
    void pageFilterCountsAndCopy();

private:
    WorkspaceController *controller() const { return m_plugins.workspace->controller(); }
    const TagTableModel *model() const { return controller()->model(); }
    Fieldlink::FieldlinkCore::ModbusConnection *link() const { return controller()->connection(); }
    Pointbook::BaseTag *base() const { return m_plugins.pointbook->tagBaseLoader()->base(); }
    void waitForPasses(int passes);
    bool startDevice(DeviceSimulator *device, quint64 step, quint16 port = 0);
    void connectTo(quint16 port, int timeoutMs = 1000);
    // Every row that looks fresh holds exactly the words the device serves.
    void checkFreshRowsFrom(const DeviceSimulator *device, int *fresh = nullptr);
    void checkAllStale();

    WorkspaceStack m_plugins;
    QString m_map;
};

void tst_LiveView::initTestCase()
{
    QString error;
    QVERIFY2(m_plugins.start(&error), qPrintable(error));
    link()->setReconnectDelays(100, 300);
    m_plugins.workspace->page()->setPromptsEnabled(false);
    m_map = Workspace::DemoDevice::shippedMap();
    QVERIFY(!m_map.isEmpty());
}

void tst_LiveView::cleanupTestCase()
{
    m_plugins.stop();
}

void tst_LiveView::waitForPasses(int passes)
{
    const quint64 target = controller()->passCount() + quint64(passes);
    QTRY_VERIFY_WITH_TIMEOUT(controller()->passCount() >= target, Patience);
}

bool tst_LiveView::startDevice(DeviceSimulator *device, quint64 step, quint16 port)
{
    if (!device->loadMap(m_map))
        return false;
    device->setUpdateInterval(0);
    device->setStep(step); // another step serves other values
    return device->listen(QStringLiteral("127.0.0.1"), port);
}

void tst_LiveView::connectTo(quint16 port, int timeoutMs)
{
    ConnectionProfile profile = ConnectionProfile::tcp(QStringLiteral("127.0.0.1"), port);
    profile.setResponseTimeout(timeoutMs);
    profile.setRetries(0);
    controller()->connectTo(profile);
}

void tst_LiveView::checkFreshRowsFrom(const DeviceSimulator *device, int *fresh)
{
    int count = 0;
    for (const auto type : {Tag::IR, Tag::HR, Tag::DI, Tag::CO}) {
        const auto tags = base()->tagHash(type);
        for (auto it = tags.cbegin(); it != tags.cend(); ++it) {
            const QModelIndex value = model()->indexOfTag(type, it.key(), TagTableModel::ValueColumn);
            if (!value.isValid() || value.data(TagTableModel::StaleRole).toBool()
                || value.data().toString().isEmpty() || !it.value()->isUpdate())
                continue;
            QVERIFY2(it.value()->valueByteArray() == device->tagWords(type, it.key()),
                     qPrintable(it.key() + " shows a value the device does not serve"));
            ++count;
        }
    }
    if (fresh)
        *fresh = count;
}

void tst_LiveView::checkAllStale()
{
    int rows = 0;
    for (const auto type : {Tag::IR, Tag::HR, Tag::DI, Tag::CO}) {
        const auto tags = base()->tagHash(type);
        for (auto it = tags.cbegin(); it != tags.cend(); ++it) {
            const QModelIndex value = model()->indexOfTag(type, it.key(), TagTableModel::ValueColumn);
            if (!value.isValid())
                continue;
            QVERIFY2(value.data(TagTableModel::StaleRole).toBool(), qPrintable(it.key()));
            QVERIFY(value.data(Qt::FontRole).value<QFont>().italic());
            QVERIFY(!value.data(TagTableModel::ReasonRole).toString().isEmpty());
            ++rows;
        }
    }
    QVERIFY(rows > 0);
}

void tst_LiveView::noOldValuePassesAsFresh()
{
    DeviceSimulator first;
    DeviceSimulator second;
    QVERIFY(startDevice(&first, 3));
    QVERIFY(startDevice(&second, 40));
    const quint16 firstPort = first.port();

    connectTo(firstPort);
    QTRY_COMPARE_WITH_TIMEOUT(controller()->phase(), WorkspaceController::Running, Patience);
    waitForPasses(2);
    int fresh = 0;
    checkFreshRowsFrom(&first, &fresh);
    QVERIFY(fresh >= 5);
    const QModelIndex someValue = model()->indexOfTag(Tag::IR, "Pressure", TagTableModel::ValueColumn);
    QVERIFY(someValue.data(TagTableModel::RefreshedRole).toDateTime().isValid());
    QVERIFY(someValue.data(Qt::ToolTipRole).toString().contains("Updated"));

    // The user disconnects: at once, everything is stale.
    controller()->disconnectFromDevice();
    checkAllStale();

    // The device goes away while polled: stale as soon as the link is down.
    connectTo(firstPort);
    QTRY_COMPARE_WITH_TIMEOUT(controller()->phase(), WorkspaceController::Running, Patience);
    waitForPasses(2);
    QSignalSpy down(link(), &Fieldlink::FieldlinkCore::ModbusConnection::disconnected);
    first.close();
    QVERIFY(down.wait(Patience));
    checkAllStale();
    // ... and fresh again once it is back.
    QVERIFY(first.listen(QStringLiteral("127.0.0.1"), firstPort));
    QTRY_VERIFY_WITH_TIMEOUT(link()->isConnected(), Patience);
    QTRY_COMPARE_WITH_TIMEOUT(controller()->phase(), WorkspaceController::Running, Patience);
    waitForPasses(2);
    checkFreshRowsFrom(&first, &fresh);
    QVERIFY(fresh >= 5);

    // Another device with other values: no row ever shows the first one's
    // value as fresh, checked on every change the view is told of.
    QMetaObject::Connection watch = connect(model(), &QAbstractItemModel::dataChanged, this,
                                            [this, &second] { checkFreshRowsFrom(&second); });
    connectTo(second.port());
    checkFreshRowsFrom(&second, &fresh);
    QCOMPARE(fresh, 0);
    QTRY_COMPARE_WITH_TIMEOUT(controller()->phase(), WorkspaceController::Running, Patience);
    waitForPasses(2);
    disconnect(watch);
    checkFreshRowsFrom(&second, &fresh);
    QVERIFY(fresh >= 5);
    controller()->disconnectFromDevice();
}

void tst_LiveView::silentPeerGoesAmberWithReasons()
{
    // Accepts the connection and never answers.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    QList<QTcpSocket *> peers;
    connect(&silent, &QTcpServer::newConnection, this, [&] {
        while (QTcpSocket *s = silent.nextPendingConnection())
            peers.append(s);
    });
    const QString version = DeviceSimulator::mapVersion(m_map);
    connectTo(silent.serverPort(), 200);
    // No identification answer: the version is chosen by hand.
    QTRY_COMPARE_WITH_TIMEOUT(controller()->phase(), WorkspaceController::ChoosingVersion, Patience);
    controller()->chooseVersion(version);
    QTRY_COMPARE_WITH_TIMEOUT(controller()->phase(), WorkspaceController::Running, Patience);
    QVERIFY(controller()->isAnswering());
    waitForPasses(1);

    QVERIFY(!controller()->isAnswering());
    auto *status = m_plugins.workspace->statusWidget();
    QCOMPARE(status->ledColor(), int(QLed::Orange));
    QVERIFY2(status->text().contains("not answering"), qPrintable(status->text()));
    const QString first = "SetPoint"; // shown and polled at the default level
    const QModelIndex state = model()->indexOfTag(Tag::HR, first, TagTableModel::StateColumn);
    QVERIFY(state.data(TagTableModel::StaleRole).toBool());
    QVERIFY2(state.data().toString().startsWith("timeout"), qPrintable(state.data().toString()));
    QVERIFY(state.data(Qt::ToolTipRole).toString().contains("timeout"));
    QVERIFY(model()->indexOfTag(Tag::HR, first, TagTableModel::ValueColumn).data().toString().isEmpty());
    controller()->disconnectFromDevice();
    QVERIFY(controller()->isAnswering());
    qDeleteAll(peers);
}

void tst_LiveView::exceptionMarksExactlyItsTags()
{
    DeviceSimulator device;
    QVERIFY(startDevice(&device, 5));
    device.addExceptionRange(QModbusDataUnit::HoldingRegisters, 0, 3, QModbusPdu::IllegalDataAddress);
    QSignalSpy failures(m_plugins.pointbook->tagBase(), &Pointbook::TagBase::requestFailed);
    s_pollingLog.clear();
    const QtMessageHandler previous = qInstallMessageHandler(recordPollingLog);
    connectTo(device.port());
    QTRY_COMPARE_WITH_TIMEOUT(controller()->phase(), WorkspaceController::Running, Patience);
    waitForPasses(3);
    qInstallMessageHandler(previous);

    QVERIFY(!failures.isEmpty());
    QSet<QString> ranges;
    for (const QList<QVariant> &f : qAsConst(failures)) {
        QCOMPARE(f.at(0).toInt(), int(Tag::HR));
        QCOMPARE(f.at(3).toString(), QString("exception 2 (illegal data address)"));
        ranges.insert(QStringLiteral("%1+%2").arg(f.at(1).toInt()).arg(f.at(2).toInt()));
    }
    // Logged once per range, not once per pass.
    QCOMPARE(s_pollingLog.filter("exception 2").size(), ranges.size());

    const QList<QVariant> failed = failures.first();
    const int start = failed.at(1).toInt();
    const int end = start + failed.at(2).toInt();
    int marked = 0;
    for (const auto type : {Tag::IR, Tag::HR}) {
        const auto tags = base()->tagHash(type);
        for (auto it = tags.cbegin(); it != tags.cend(); ++it) {
            const QModelIndex state = model()->indexOfTag(type, it.key(), TagTableModel::StateColumn);
            if (!state.isValid() || !it.value()->isUpdate())
                continue;
            const int first = it.value()->startAddress();
            const bool inRequest = type == Tag::HR && first < end && first + it.value()->sizeRegisters() > start;
            const QString reason = state.data(TagTableModel::ReasonRole).toString();
            QCOMPARE(reason.contains("illegal data address"), inRequest);
            marked += inRequest ? 1 : 0;
        }
    }
    QVERIFY(marked > 0);
    QVERIFY(controller()->isAnswering()); // an exception is an answer
    controller()->disconnectFromDevice();
}

void tst_LiveView::pageFilterCountsAndCopy()
{
    DeviceSimulator device;
    QVERIFY(startDevice(&device, 5));
    connectTo(device.port());
    QTRY_COMPARE_WITH_TIMEOUT(controller()->phase(), WorkspaceController::Running, Patience);
    waitForPasses(1);
    Workspace::WorkspacePage *page = m_plugins.workspace->page();
    const int all = model()->tagRowCount();
    page->filterEdit()->setText("pressure");
    const int shown = page->filterModel()->shownTagCount();
    QVERIFY(shown > 0 && shown < all);
    QVERIFY2(page->mapLabel()->text().contains(QStringLiteral("%1 of %2 tags shown").arg(shown).arg(all)),
             qPrintable(page->mapLabel()->text()));

    // Two tag rows copied: a header line and one line per row, tab-separated.
    QTreeView *view = page->view();
    const QModelIndex group = page->filterModel()->index(0, 0, page->filterModel()->index(0, 0));
    view->selectionModel()->select(page->filterModel()->index(0, 0, group),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    view->selectionModel()->select(group, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const QStringList lines = page->selectionText().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2); // the group row is no tag
    QVERIFY(lines.at(0).startsWith("Name\tValue\tRaw (hex)"));
    QCOMPARE(lines.at(1).count('\t'), lines.at(0).count('\t'));
    page->stateColumnAction()->setChecked(false);
    QVERIFY(view->isColumnHidden(TagTableModel::StateColumn));
    QVERIFY(!page->selectionText().contains("State"));
    page->stateColumnAction()->setChecked(true);
    page->filterEdit()->clear();

    // The access level sits in the status bar beside the connection.
    QToolButton *level = m_plugins.workspace->accessLevelButton();
    QVERIFY(level);
    QVERIFY2(level->text().contains(m_plugins.clearance->clearances().value(m_plugins.clearance->currentClearance())),
             qPrintable(level->text()));
    controller()->disconnectFromDevice();
}

QTEST_MAIN(tst_LiveView)
#include "tst_liveview.moc"
