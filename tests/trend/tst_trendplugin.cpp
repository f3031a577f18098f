// Watching over time on the real plug-ins: recording the demo device's
// values, the tag settings dialog, the chart and its gaps.

#include "../sqlstore/testsupport.h"

#include <trend/recorder.h>
#include <trend/tagsettingsdialog.h>
#include <trend/trendchartview.h>
#include <trend/trenddock.h>
#include <trend/trendplugin.h>

#include <clearance/clearanceplugin.h>
#include <core/coreplugin.h>
#include <core/icore.h>
#include <core/mainwindow.h>
#include <core/settingsdatabase.h>
#include <devicesim/devicesimulator.h>
#include <fieldlink/fieldlinkplugin.h>
#include <pointbook/basetag.h>
#include <pointbook/pointbookplugin.h>
#include <pointbook/statusupdatebase.h>
#include <pointbook/tagbase.h>
#include <pointbook/tagbaseloader.h>
#include <popnote/popnoteplugin.h>
#include <sqlstore/databaseconnection.h>
#include <sqlstore/databasesettings.h>
#include <sqlstore/sqlstoreplugin.h>
#include <workspace/connectionstatuswidget.h>
#include <workspace/demodevice.h>
#include <workspace/tagformatter.h>
#include <workspace/tagtablemodel.h>
#include <workspace/workspacecontroller.h>
#include <workspace/workspacepage.h>
#include <workspace/workspaceplugin.h>

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLineSeries>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeView>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

using Pointbook::Tag;
using Trend::Recorder;
using Workspace::WorkspaceController;
using Sim = Devicesim::DeviceSimulator;

namespace {
constexpr int Patience = 30000;

using SqlstoreTest::readRows;
} // namespace

class tst_TrendPlugin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void recordsPassesOfTheDemo();
    void bitTagsAsTheTableShows();
    void unavailableDatabaseStopsWithNotification();
    void settingsSurviveRestartPerVersion();

private:
    // The demo simulator runs on a thread of its own: work on it goes there.
    template <typename Work>
    static auto onDevice(Work work)
    {
        return Workspace::WorkspacePlugin::instance()->demoDevice()->call(work);
    }
    void startPlugins(const QStringList &arguments = {});
    void stopPlugins();
    WorkspaceController *controller() const { return m_workspace->controller(); }
    Trend::TrendPlugin *trend() const { return m_trend; }
    QString databaseFile() const
    {
        auto *window = qobject_cast<Core::Internal::MainWindow *>(Core::ICore::mainWindow());
        return Sqlstore::Internal::SqlstorePlugin::databaseFile(window->workPath());
    }
    void connectDemo();

    QTemporaryDir m_home;
    QList<ExtensionSystem::IPlugin *> m_plugins;
    Workspace::WorkspacePlugin *m_workspace = nullptr;
    Trend::TrendPlugin *m_trend = nullptr;
};

void tst_TrendPlugin::initTestCase()
{
    QVERIFY(m_home.isValid());
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_home.filePath("user"));
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, m_home.filePath("system"));
    startPlugins();
}

void tst_TrendPlugin::cleanupTestCase()
{
    stopPlugins();
}

void tst_TrendPlugin::startPlugins(const QStringList &arguments)
{
    QString error;
    m_plugins = {new Core::CorePlugin, new Popnote::PopnotePlugin,
                 new Fieldlink::FieldlinkCore::FieldlinkPlugin, new Pointbook::PointbookPlugin,
                 new Clearance::ClearancePlugin, new Sqlstore::Internal::SqlstorePlugin,
                 new Workspace::WorkspacePlugin, new Trend::TrendPlugin};
    for (ExtensionSystem::IPlugin *p : qAsConst(m_plugins))
        QVERIFY2(p->initialize(arguments, &error), qPrintable(error));
    for (ExtensionSystem::IPlugin *p : qAsConst(m_plugins))
        p->extensionsInitialized();
    m_workspace = Workspace::WorkspacePlugin::instance();
    m_trend = Trend::TrendPlugin::instance();
    m_workspace->page()->setPromptsEnabled(false);
}

void tst_TrendPlugin::stopPlugins()
{
    for (int i = m_plugins.size() - 1; i >= 0; --i)
        m_plugins.at(i)->aboutToShutdown();
    for (int i = m_plugins.size() - 1; i >= 0; --i)
        delete m_plugins.at(i);
    m_plugins.clear();
}

void tst_TrendPlugin::connectDemo()
{
    if (controller()->phase() == WorkspaceController::Running)
        return;
    QVERIFY(m_workspace->startDemo());
    QTRY_COMPARE_WITH_TIMEOUT(controller()->phase(), WorkspaceController::Running, Patience);
}

// N passes recorded: per tag one row for each pass that read it, with the
// value the table showed at the end of that pass; tags whose reads fail get
// no rows for those passes.
void tst_TrendPlugin::recordsPassesOfTheDemo()
{
    connectDemo();
    // Reads of the input registers answer with an exception (one request
    // covers all of them).
    onDevice([](Sim *d) { d->addExceptionRange(QModbusDataUnit::InputRegisters, 7, 7, QModbusPdu::IllegalDataAddress); });
    QTRY_VERIFY_WITH_TIMEOUT(controller()->passCount() > 2, Patience);

    const QList<Tag *> tags = trend()->visibleTags();
    QVERIFY(tags.size() >= 3);
    QHash<Tag *, QVector<double>> seen; // values at each recorded pass end
    int passes = 0;
    constexpr int Wanted = 8;
    Pointbook::TagBase *engine = Pointbook::PointbookPlugin::instance()->tagBase();
    // Connected after the recorder: sees the values it has just gathered.
    QMetaObject::Connection watch;
    trend()->recordAction()->trigger();
    QVERIFY(trend()->recordAction()->isChecked());
    QSet<Tag *> refreshed;
    QList<QMetaObject::Connection> changes;
    for (Tag *tag : tags)
        changes << connect(tag, &Tag::changedValue, this, [&refreshed, tag] { refreshed.insert(tag); });
    watch = connect(engine, &Pointbook::TagBase::updateAllBase, this, [&] {
        if (passes >= Wanted)
            return;
        for (Tag *tag : tags) {
            const QVector<double> v = Workspace::TagFormatter::numericValues(tag);
            if (refreshed.contains(tag) && v.size() == 1)
                seen[tag].append(v.first());
        }
        refreshed.clear();
        if (++passes == Wanted)
            trend()->setRecording(false);
    });
    QTRY_COMPARE_WITH_TIMEOUT(passes, Wanted, Patience);
    disconnect(watch);
    for (const auto &c : changes)
        disconnect(c);
    QVERIFY(!trend()->recordAction()->isChecked());
    Recorder *recorder = trend()->recorder();
    QTRY_VERIFY_WITH_TIMEOUT(recorder->pendingRows() == 0, Patience);
    int expected = 0;
    for (const auto &values : qAsConst(seen))
        expected += values.size();
    QTRY_COMPARE_WITH_TIMEOUT(recorder->rowsStored(), quint64(expected), Patience);
    onDevice([](Sim *d) { d->clearExceptionRanges(); });

    for (Tag *tag : tags) {
        const auto rows = readRows(databaseFile(),
            QStringLiteral("SELECT h.value FROM history h JOIN history_tag t ON t.id = h.tag "
                           "WHERE t.device_version = '%1' AND t.register_type = '%2' AND t.tag_id = '%3' "
                           "ORDER BY h.time_ms, h.rowid")
                .arg(controller()->version(), Tag::registerTypeToString(tag->registerType()), tag->Id()));
        QVector<double> stored;
        for (const auto &row : rows)
            stored.append(row.value(0).toDouble());
        QCOMPARE(stored, seen.value(tag));
        if (tag->registerType() == Tag::IR)
            QVERIFY(stored.isEmpty());
        else
            QCOMPARE(stored.size(), Wanted);
    }
    const auto named = readRows(databaseFile(), "SELECT name, unit FROM history_tag WHERE tag_id = 'Pressure'");
    QCOMPARE(named.value(0), (QVector<QVariant>{"Pressure", "bar"}));
}

// A bit field is recorded and exported as the table shows it, 0 for "off"
// and 1 for "on", never as the register it lies in; a value the table shows
// as stale is exported marked so.
void tst_TrendPlugin::bitTagsAsTheTableShows()
{
    connectDemo();
    // The highest level sees the status bits.
    const auto setLevel = [](const char *level) {
        Core::SettingsDatabase *db = Core::ICore::settingsDatabase();
        db->beginGroup("Clearance");
        db->setValue("CurrentClearance", level);
        db->endGroup();
        Clearance::ClearancePlugin::instance()->readSettings();
    };
    setLevel("admin");
    QList<Tag *> bits;
    for (Tag *tag : trend()->visibleTags()) {
        if (tag->bitfield())
            bits.append(tag);
    }
    QVERIFY(bits.size() >= 4);
    // The device holds still at a step where the flags' register has set bits
    // besides a clear one: its whole value is then no flag's value.
    const int flags = bits.first()->startAddress();
    const auto table = bits.first()->registerType() == Tag::IR ? QModbusDataUnit::InputRegisters
                                                                : QModbusDataUnit::HoldingRegisters;
    const quint16 word = onDevice([flags, table](Sim *d) {
        d->setUpdateInterval(0);
        for (quint64 step = 0; step < 500; ++step) {
            d->setStep(step);
            const quint16 w = d->served(table, flags) & 0xF;
            if (w != 0 && w != 1 && w != 0xF)
                return w;
        }
        return quint16(0);
    });
    QVERIFY(word != 0);

    Workspace::TagTableModel *model = controller()->model();
    const auto shown = [model](const Tag *tag) {
        const QString text = model->indexOfTag(tag->registerType(), tag->Id(), Workspace::TagTableModel::ValueColumn)
                                 .data().toString();
        return text == QLatin1String("on") ? 1.0 : text == QLatin1String("off") ? 0.0 : -1.0;
    };
    QHash<Tag *, QVector<double>> seen;
    int passes = 0;
    constexpr int Wanted = 5;
    const quint64 before = trend()->recorder()->rowsStored();
    trend()->setRecording(true);
    const QMetaObject::Connection watch = connect(
        Pointbook::PointbookPlugin::instance()->tagBase(), &Pointbook::TagBase::updateAllBase, this, [&] {
            if (passes >= Wanted || trend()->recorder()->state() != Recorder::Recording)
                return;
            for (Tag *tag : qAsConst(bits))
                seen[tag].append(shown(tag));
            if (++passes == Wanted)
                trend()->setRecording(false);
        });
    QTRY_COMPARE_WITH_TIMEOUT(passes, Wanted, Patience);
    disconnect(watch);
    QTRY_VERIFY_WITH_TIMEOUT(trend()->recorder()->pendingRows() == 0
                                 && trend()->recorder()->rowsStored() > before, Patience);

    QString file = m_home.filePath("bits.csv");
    QVERIFY(trend()->exportTable(file));
    controller()->stopPolling();
    const QString staleFile = m_home.filePath("stale.csv");
    QVERIFY(trend()->exportTable(staleFile));
    controller()->startPolling();
    onDevice([](Sim *d) { d->setUpdateInterval(Workspace::DemoDevice::DriftIntervalMs); });
    setLevel("user");

    const auto csv = [](const QString &name) {
        QFile f(name);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts)
                                           : QStringList();
    };
    // Fields split at commas outside quotes (arrays are quoted).
    const auto fields = [](const QString &line) {
        QStringList out{QString()};
        bool quoted = false;
        for (const QChar c : line) {
            if (c == '"')
                quoted = !quoted;
            else if (c == ',' && !quoted)
                out.append(QString());
            else
                out.last() += c;
        }
        return out;
    };
    const QStringList live = csv(file);
    const QStringList stale = csv(staleFile);
    QCOMPARE(live.size(), 2);
    QCOMPARE(stale.size(), 2);
    const QStringList header = fields(live.at(0));
    const QStringList values = fields(live.at(1));
    bool differs = false;
    for (Tag *tag : qAsConst(bits)) {
        const auto rows = readRows(databaseFile(),
            QStringLiteral("SELECT h.value FROM history h JOIN history_tag t ON t.id = h.tag "
                           "WHERE t.device_version = '%1' AND t.register_type = '%2' AND t.tag_id = '%3' "
                           "ORDER BY h.time_ms DESC LIMIT %4")
                .arg(controller()->version(), Tag::registerTypeToString(tag->registerType()), tag->Id())
                .arg(Wanted));
        QVector<double> stored;
        for (const auto &row : rows)
            stored.prepend(row.value(0).toDouble());
        QCOMPARE(stored, seen.value(tag));
        for (double v : qAsConst(stored))
            QVERIFY2(v == 0.0 || v == 1.0, qPrintable(tag->name()));
        differs = differs || stored.constLast() != double(tag->valueByteArray().value(0));

        const int column = header.indexOf(tag->name());
        QVERIFY2(column > 0, qPrintable(tag->name()));
        QCOMPARE(values.value(column), QString::number(int(seen.value(tag).constLast())));
        QVERIFY2(fields(stale.at(0)).contains(tag->name() + " (stale)"), qPrintable(stale.at(0)));
    }
    QVERIFY(differs); // the register's value is no flag's
}

void tst_TrendPlugin::unavailableDatabaseStopsWithNotification()
{
    // A driver whose database cannot be opened.
    Sqlstore::Internal::DataBaseSettings settings;
    settings.setDriver("QSQLITE");
    settings.setDatabaseName(m_home.filePath("missing/folder/database.db"));
    Sqlstore::Internal::DataBaseConnection broken;
    broken.initDataBaseConnection();
    broken.setSettings(&settings);
    QVERIFY(broken.start());
    trend()->recorder()->setConnection(&broken);

    QSignalSpy notes(Popnote::PopnotePlugin::instance(), &Popnote::PopnotePlugin::notificationAdded);
    trend()->recordAction()->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(!notes.isEmpty(), Patience);
    QCOMPARE(notes.last().at(2).toInt(), int(Popnote::PopnotePlugin::Error));
    QVERIFY2(notes.last().at(1).toString().startsWith("Recording stopped"), qPrintable(notes.last().at(1).toString()));
    QVERIFY(!trend()->recordAction()->isChecked());
    QVERIFY(!trend()->recorder()->isRecording());

    trend()->recorder()->setConnection(Sqlstore::Internal::SqlstorePlugin::instance()->dataBaseConnection());
    broken.stop();
}

// Settings changed in the dialog are applied at once, charted, stored, and
// come back after a restart of the plug-ins, for their device version only.
void tst_TrendPlugin::settingsSurviveRestartPerVersion()
{
    connectDemo();
    const QString version = controller()->version();
    Tag *pressure = nullptr;
    for (Tag *tag : trend()->visibleTags()) {
        if (tag->Id() == QLatin1String("Pressure"))
            pressure = tag;
    }
    QVERIFY(pressure);
    const int mapPrecision = pressure->precision();

    // The row's context menu offers the dialog.
    QTreeView *view = m_workspace->page()->view();
    QAction *menuEntry = view->findChild<QAction *>("actionTagSettings");
    QVERIFY(menuEntry && view->actions().contains(menuEntry));
    QCOMPARE(menuEntry->text(), QStringLiteral("Tag settings…"));

    Trend::TagSettingsDialog *dialog = trend()->showTagSettings(pressure);
    QVERIFY(dialog);
    dialog->findChild<QSpinBox *>("spinBoxPrecision")->setValue(mapPrecision + 2);
    dialog->findChild<QCheckBox *>("checkBoxDamping")->setChecked(true);
    dialog->findChild<QSpinBox *>("spinBoxDampingPoints")->setValue(7);
    dialog->findChild<QCheckBox *>("checkBoxChart")->setChecked(true);
    dialog->setChartColor(QColor(200, 10, 20));
    dialog->findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Ok)->click();

    QCOMPARE(pressure->precision(), mapPrecision + 2);
    QVERIFY(pressure->enableDamping());
    QCOMPARE(pressure->dampingPoints(), 7);
    QVERIFY(pressure->visibleChart());
    Trend::TrendChartView *chart = trend()->dock()->chartView();
    QCOMPARE(chart->trackCount(), 1);
    QCOMPARE(chart->trackName(0), QStringLiteral("Pressure"));
    QCOMPARE(chart->seriesOf(0).first()->color(), QColor(200, 10, 20));

    // Restart: the values come back with the map.
    stopPlugins();
    startPlugins();
    connectDemo();
    for (Tag *tag : trend()->visibleTags()) {
        if (tag->Id() != QLatin1String("Pressure"))
            continue;
        QCOMPARE(tag->precision(), mapPrecision + 2);
        QVERIFY(tag->enableDamping());
        QCOMPARE(tag->dampingPoints(), 7);
        QVERIFY(tag->visibleChart());
        QCOMPARE(tag->colorChart(), QColor(200, 10, 20));
    }
    QCOMPARE(trend()->dock()->chartView()->trackCount(), 1);

    // Another version of the same map knows nothing of them.
    const QString folder = Pointbook::PointbookPlugin::registerMapFolder();
    QFile map(folder + "base_v" + version + ".xml");
    QVERIFY(map.open(QIODevice::ReadOnly));
    QByteArray text = map.readAll();
    text.replace(QByteArray("version=\"") + version.toUtf8() + '"', "version=\"9.99\"");
    QFile other(folder + "base_v9.99.xml");
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.write(text);
    other.close();
    controller()->useVersion("9.99");
    QTRY_COMPARE_WITH_TIMEOUT(controller()->version(), QStringLiteral("9.99"), Patience);
    QTRY_COMPARE_WITH_TIMEOUT(controller()->phase(), WorkspaceController::Running, Patience);
    bool found = false;
    for (Tag *tag : trend()->visibleTags()) {
        if (tag->Id() != QLatin1String("Pressure"))
            continue;
        found = true;
        QCOMPARE(tag->precision(), mapPrecision);
        QVERIFY(!tag->visibleChart());
        QCOMPARE(tag->dampingPoints(), 0);
    }
    QVERIFY(found);
    QCOMPARE(trend()->dock()->chartView()->trackCount(), 0);
}

QTEST_MAIN(tst_TrendPlugin)

#include "tst_trendplugin.moc"
