#include "../support/scriptedconnection.h"

#include <core/actioncontainer.h>
#include <core/actionmanager.h>
#include <core/command.h>
#include <core/coreplugin.h>
#include <core/icore.h>
#include <core/settingsdatabase.h>
#include <core/shippedfiles.h>
#include <fieldlink/qmodbussettings.h>
#include <pointbook/basetag.h>
#include <pointbook/infotagbasedialog.h>
#include <pointbook/pointbookplugin.h>
#include <pointbook/statusupdatebase.h>
#include <pointbook/tag.h>
#include <pointbook/tagbase.h>
#include <pointbook/tagbaseloader.h>
#include <popnote/popnoteplugin.h>
#include <qled/qled.h>

#include <QAction>
#include <QApplication>
#include <QDomDocument>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPluginLoader>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

using Pointbook::BaseTag;
using Pointbook::PointbookPlugin;
using Pointbook::Tag;
using Pointbook::TagBase;

namespace {

const char kTitle[] = "Tag base manager";
const char kSearch[] = "Search the register map file!";
const char kLoaded[] = "Register map file successfully loaded!";
const char kNotFound[] = "The register map file for this device was not found!";

struct Note
{
    QString title;
    QString body;
    int type;
    bool operator==(const Note &o) const
    {
        return title == o.title && body == o.body && type == o.type;
    }
};

QList<Note> notes(const QSignalSpy &spy)
{
    QList<Note> result;
    for (const QList<QVariant> &args : spy)
        result.append({args.at(0).toString(), args.at(1).toString(), args.at(2).toInt()});
    return result;
}

const QList<Note> kNotFoundNotes = {{kTitle, kSearch, 0}, {kTitle, kNotFound, 1}};
const QList<Note> kLoadedNotes = {{kTitle, kSearch, 0}, {kTitle, kLoaded, 0}};

// One `tag` element; addresses follow from order and offsets.
QByteArray tagXml(const QString &id, const QString &dataType = "uint16", int offset = 0,
                  int precision = 0)
{
    return QString("<tag><information id=\"%1\" name=\"Name %1\" unit=\"u\" description=\"D %1\"/>"
                   "<modbussettins datatype=\"%2\" offset=\"%3\" byteOrderInput=\"10\" "
                   "byteOrderOutput=\"01\"/>"
                   "<value precision=\"%4\"/></tag>\n")
        .arg(id, dataType)
        .arg(offset)
        .arg(precision)
        .toUtf8();
}

QString sourceFile(const QString &relative)
{
    return QStringLiteral(KORVANE_SOURCE_DIR "/") + relative;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Tag *tagOf(PointbookPlugin *plugin, Tag::RegisterType type, const QString &id)
{
    return plugin->tagBaseLoader()->base()->tagHash(type).value(id);
}

} // namespace

class tst_PointbookPlugin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void metadata();
    void metaObjectOrder();
    void constructorRegistersDataType();
    void toolsMenuAndStatusStrip();
    void engineDrivesStatusStrip();
    void versionNotFound_data();
    void versionNotFound();
    void brokenMapReportedOnce_data();
    void brokenMapReportedOnce();
    void unsafeVersionNeverLeavesFolder_data();
    void unsafeVersionNeverLeavesFolder();
    void versionLoaded();
    void tagWithoutStoredKeysGetsDefaults();
    void storedDampingRestored_data();
    void storedDampingRestored();
    void writtenKeysAndTypes();
    void sameIdInTwoTablesSharesKeys();
    void shutdownWithoutVersionWritesNothing();
    void reloadReappliesStoredSettings();
    void versionChangeKeepsEarlierChanges();
    void settingsSurviveRestart();
    void modbusObjectsForwarded();
    void failedReloadStopsPolling();
    void lateReplyAfterReload();
    void clearStatusUpdate();
    void showInfoFromToolsMenu();
    void demoMapPlacedOnFirstStart();
    void demoMapLoads();
    void demoMapCoversRightsIds();

private:
    void startHost();
    void stopHost();
    void newPlugin();
    void writeMap(const QString &version, const QByteArray &sections,
                  const QString &declaredVersion = QString());
    void onModalDialog(std::function<void(QDialog *)> action);
    QVariant stored(const QString &version, const QString &key) const;
    void store(const QString &version, const QString &key, const QVariant &value);

    QTemporaryDir m_home;
    QString m_folder;
    Core::CorePlugin *m_core = nullptr;
    Popnote::PopnotePlugin *m_popnote = nullptr;
    PointbookPlugin *m_plugin = nullptr;
};

void tst_PointbookPlugin::initTestCase()
{
    QVERIFY(m_home.isValid());
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_home.filePath("user"));
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, m_home.filePath("system"));
    startHost();
    m_folder = PointbookPlugin::registerMapFolder();
    QVERIFY2(m_folder.startsWith(m_home.path()), qPrintable(m_folder));
    QVERIFY(m_folder.endsWith("/Korvane_Config/configmodules/pointbook/"));
}

void tst_PointbookPlugin::startHost()
{
    QString error;
    m_core = new Core::CorePlugin;
    QVERIFY2(m_core->initialize({}, &error), qPrintable(error));
    m_popnote = new Popnote::PopnotePlugin;
    QVERIFY2(m_popnote->initialize({}, &error), qPrintable(error));
    QVERIFY(Core::ICore::settingsDatabase());
    QVERIFY(Core::ICore::settingsDatabase()->isPersistent());
}

void tst_PointbookPlugin::stopHost()
{
    m_popnote->aboutToShutdown();
    delete m_popnote;
    m_popnote = nullptr;
    m_core->aboutToShutdown();
    delete m_core;
    m_core = nullptr;
}

void tst_PointbookPlugin::newPlugin()
{
    QString error;
    m_plugin = new PointbookPlugin;
    QCOMPARE(PointbookPlugin::instance(), m_plugin);
    QVERIFY(m_plugin->initialize({"-color", "red"}, &error));
    QVERIFY(error.isEmpty());
    m_plugin->extensionsInitialized();
}

void tst_PointbookPlugin::init()
{
    QDir folder(m_folder);
    folder.removeRecursively();
    QVERIFY(QDir().mkpath(m_folder));
    newPlugin();
    // Every test starts from a register map folder of its own making.
    QDir(m_folder).removeRecursively();
    QVERIFY(QDir().mkpath(m_folder));
}

void tst_PointbookPlugin::cleanup()
{
    delete m_plugin;
    m_plugin = nullptr;
    QVERIFY(!PointbookPlugin::instance());
}

void tst_PointbookPlugin::cleanupTestCase()
{
    if (m_core)
        stopHost();
}

void tst_PointbookPlugin::writeMap(const QString &version, const QByteArray &sections,
                                   const QString &declaredVersion)
{
    QFile file(m_folder + "base_v" + version + ".xml");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    const QString declared = declaredVersion.isNull() ? version : declaredVersion;
    file.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<base version=\""
               + declared.toUtf8() + "\">\n" + sections + "</base>\n");
}

void tst_PointbookPlugin::onModalDialog(std::function<void(QDialog *)> action)
{
    auto *timer = new QTimer(this);
    timer->setInterval(10);
    connect(timer, &QTimer::timeout, this, [timer, action] {
        QPointer<QDialog> dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        timer->stop();
        timer->deleteLater();
        action(dialog);
        if (dialog && dialog->isVisible())
            dialog->reject();
    });
    timer->start();
}

QVariant tst_PointbookPlugin::stored(const QString &version, const QString &key) const
{
    Core::SettingsDatabase *database = Core::ICore::settingsDatabase();
    database->beginGroup(version);
    const QVariant value = database->contains(key) ? database->value(key) : QVariant();
    database->endGroup();
    return value;
}

void tst_PointbookPlugin::store(const QString &version, const QString &key, const QVariant &value)
{
    Core::SettingsDatabase *database = Core::ICore::settingsDatabase();
    database->beginGroup(version);
    database->setValue(key, value);
    database->endGroup();
}

void tst_PointbookPlugin::metadata()
{
    QPluginLoader loader(QStringLiteral(KORVANE_BUILD_DIR "/lib/appcore/plugins/libPointbook.so"));
    const QJsonObject meta = loader.metaData();
    QCOMPARE(meta.value("IID").toString(), QString("app.Plugin"));
    QCOMPARE(meta.value("className").toString(), QString("PointbookPlugin"));
    const QJsonObject data = meta.value("MetaData").toObject();
    QCOMPARE(data.value("Name").toString(), QString("Pointbook"));
    QCOMPARE(data.value("Version").toString(), QString("5.48.00"));
    QCOMPARE(data.value("CompatVersion").toString(), QString("5.48.00"));
    QCOMPARE(data.value("Category").toString(), QString("Korvane_Config"));
    QCOMPARE(data.value("Description").toString(),
             QString::fromUtf8("Модуль для работы с базой тэгов"));
    QCOMPARE(data.value("License").toString(), QString());
    QCOMPARE(data.value("Required").toBool(), true);

    QStringList dependencies;
    for (const QJsonValue &d : data.value("Dependencies").toArray())
        dependencies << d.toObject().value("Name").toString() + " "
                            + d.toObject().value("Version").toString();
    QCOMPARE(dependencies, QStringList({"Fieldlink 5.48.00", "Popnote 5.48.00"}));

    QStringList arguments;
    for (const QJsonValue &a : data.value("Arguments").toArray())
        arguments << a.toObject().value("Name").toString() + "|"
                         + a.toObject().value("Parameter").toString() + "|"
                         + a.toObject().value("Description").toString();
    QCOMPARE(arguments,
             QStringList({"-color|color|Override selected UI color",
                          "-theme|default|dark|Choose a built-in theme or pass a .creatortheme file",
                          "-presentationMode||Enable presentation mode with pop-ups for key combos"}));
}

void tst_PointbookPlugin::metaObjectOrder()
{
    const QMetaObject &mo = PointbookPlugin::staticMetaObject;
    QList<QByteArray> methods;
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i)
        methods << mo.method(i).methodSignature();
    QCOMPARE(methods, QList<QByteArray>({"baseLoaded(QString)", "setVersion(QString)",
                                         "reloadTagBase()", "showInfo()", "clearStatusUpdate()"}));
}

void tst_PointbookPlugin::constructorRegistersDataType()
{
    QVERIFY(QMetaType::type("Pointbook::Tag::DataType") != QMetaType::UnknownType);
    PointbookPlugin plugin;
    QCOMPARE(PointbookPlugin::instance(), &plugin);
    QVERIFY(!plugin.tagBase());
    QVERIFY(!plugin.tagBaseLoader());
    QVERIFY(plugin.version().isEmpty());
    QCOMPARE(int(plugin.aboutToShutdown()), 0);
}

void tst_PointbookPlugin::toolsMenuAndStatusStrip()
{
    QVERIFY(m_plugin->tagBase());
    QVERIFY(m_plugin->tagBaseLoader());
    QVERIFY(!m_plugin->tagBase()->parent());
    QVERIFY(!m_plugin->tagBaseLoader()->parent());

    Core::Command *command = Core::ActionManager::command("App.ShowInfo");
    QVERIFY(command);
    QCOMPARE(command->registeredAction()->text(), QString("Information Base"));
    Core::ActionContainer *tools = Core::ActionManager::actionContainer("App.Menu.Tools");
    QVERIFY(tools && tools->menu());
    QStringList texts;
    for (QAction *action : tools->menu()->actions())
        texts << action->text();
    QCOMPARE(texts.count("Information Base"), 1);

    auto *window = qobject_cast<QMainWindow *>(Core::ICore::mainWindow());
    QVERIFY(window);
    auto *strip = m_plugin->statusUpdateBase();
    QVERIFY(strip);
    QCOMPARE(strip->parentWidget(), window->statusBar());
    QCOMPARE(window->statusBar()->findChildren<Pointbook::StatusUpdateBase *>().size(), 1);
}

void tst_PointbookPlugin::engineDrivesStatusStrip()
{
    auto *strip = m_plugin->statusUpdateBase();
    QVERIFY(strip);
    auto *bar = strip->findChild<QProgressBar *>("progressBar");
    auto *led = strip->findChild<QLed *>("ledBlink");
    TagBase *engine = m_plugin->tagBase();

    emit engine->updateStepCount(7);
    QCOMPARE(bar->maximum(), 7);
    emit engine->updateStepIncrement();
    emit engine->updateStepIncrement();
    QCOMPARE(bar->value(), 2);
    emit engine->updateStepClear();
    QCOMPARE(bar->value(), 0);
    emit engine->updateAllBase();
    QVERIFY(led->value());
    QVERIFY(strip->findChild<QLabel *>("labelUpdateTimeValue")->text() != "00:00:00.000");
}

void tst_PointbookPlugin::versionNotFound_data()
{
    QTest::addColumn<QString>("version");
    QTest::newRow("no such file") << "9.99";
    QTest::newRow("empty version") << "";
    QTest::newRow("trailing blank") << "2.00 ";
}

void tst_PointbookPlugin::versionNotFound()
{
    QFETCH(QString, version);
    writeMap("2.00", "<ir>" + tagXml("p") + "</ir>");
    QSignalSpy notesSpy(m_popnote, &Popnote::PopnotePlugin::notificationAdded);
    QSignalSpy loaded(m_plugin, &PointbookPlugin::baseLoaded);
    m_plugin->setVersion(version);
    QCOMPARE(notes(notesSpy), kNotFoundNotes);
    QCOMPARE(loaded.count(), 0);
    QCOMPARE(m_plugin->version(), version);
    QCOMPARE(m_plugin->tagBaseLoader()->fileName(), m_folder + "base_v" + version + ".xml");
    QCOMPARE(m_plugin->tagBaseLoader()->error(), Pointbook::TagBaseLoader::FileError);
}

void tst_PointbookPlugin::brokenMapReportedOnce_data()
{
    QTest::addColumn<QByteArray>("sections");
    QTest::addColumn<QString>("reason");
    QTest::newRow("parse error")
        << QByteArray("<ir>\n<tag>\n</ir>\n") << ": line - 5, column - ";
    QTest::newRow("refused tag")
        << QByteArray("<hr>" + tagXml("big", "double").replace("/>", " counter=\"9000\"/>") + "</hr>")
        << "Tag \"big\" (line 3): 9000 elements of double take 72000 bytes";
}

void tst_PointbookPlugin::brokenMapReportedOnce()
{
    QFETCH(QByteArray, sections);
    QFETCH(QString, reason);
    writeMap("3.00", sections);
    QSignalSpy notesSpy(m_popnote, &Popnote::PopnotePlugin::notificationAdded);
    QSignalSpy loaded(m_plugin, &PointbookPlugin::baseLoaded);
    m_plugin->setVersion("3.00");
    const QList<Note> all = notes(notesSpy);
    QCOMPARE(all.size(), 2);
    QCOMPARE(all.first(), (Note{kTitle, kSearch, 0}));
    QCOMPARE(all.last().type, 2);
    QVERIFY2(all.last().body.startsWith("The register map file base_v3.00.xml could not be loaded: ")
                 && all.last().body.contains(reason),
             qPrintable(all.last().body));
    QCOMPARE(loaded.count(), 0);
}

void tst_PointbookPlugin::unsafeVersionNeverLeavesFolder_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("target"); // where the file name would lead, from the folder
    QTest::newRow("parent by slash") << "/../../escape" << "../escape.xml";
    QTest::newRow("backslash") << "\\x" << "base_v\\x.xml";
    QTest::newRow("dot dot only") << "..x" << "base_v..x.xml";
    QTest::newRow("sub folder") << "sub/1.00" << "base_vsub/1.00.xml";
}

void tst_PointbookPlugin::unsafeVersionNeverLeavesFolder()
{
    QFETCH(QString, version);
    QFETCH(QString, target);

    // A good map first: the unsafe version must also drop it.
    writeMap("2.00", "<ir>" + tagXml("p") + "</ir>");
    m_plugin->setVersion("2.00");
    QCOMPARE(m_plugin->tagBaseLoader()->base()->sizeTagHash(Tag::IR), 1);

    // Lay out a valid map exactly where the name would lead.
    QVERIFY(QDir().mkpath(m_folder + "base_v"));
    QVERIFY(QDir().mkpath(m_folder + "base_vsub"));
    const QString path = QDir::cleanPath(m_folder + target);
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write("<base version=\"" + version.toUtf8() + "\"><ir>" + tagXml("evil") + "</ir></base>");
    file.close();

    QSignalSpy notesSpy(m_popnote, &Popnote::PopnotePlugin::notificationAdded);
    QSignalSpy loaded(m_plugin, &PointbookPlugin::baseLoaded);
    m_plugin->setVersion(version);
    QCOMPARE(notes(notesSpy), kNotFoundNotes);
    QCOMPARE(loaded.count(), 0);
    QCOMPARE(m_plugin->tagBaseLoader()->base()->sizeTagHash(Tag::IR), 0);
    QVERIFY(m_plugin->tagBaseLoader()->fileName() != m_folder + "base_v" + version + ".xml");
    QCOMPARE(m_plugin->tagBase()->sortedTags(Tag::IR).size(), 0);
    QFile::remove(path);
}

void tst_PointbookPlugin::versionLoaded()
{
    writeMap("2.00", "<ir>" + tagXml("p", "float", 0, 3) + tagXml("q") + "</ir><hr>"
                         + tagXml("h") + "</hr>");
    store("2.00", "p_precision", 5);
    store("2.00", "p_visibleChart", true);

    QSignalSpy notesSpy(m_popnote, &Popnote::PopnotePlugin::notificationAdded);
    QSignalSpy loaded(m_plugin, &PointbookPlugin::baseLoaded);
    m_plugin->setVersion("2.00");
    QCOMPARE(notes(notesSpy), kLoadedNotes);
    QCOMPARE(loaded.count(), 1);
    QCOMPARE(loaded.first().first().toString(), QString("2.00"));

    BaseTag *base = m_plugin->tagBaseLoader()->base();
    QCOMPARE(m_plugin->tagBaseLoader()->fileName(), m_folder + "base_v2.00.xml");
    QCOMPARE(m_plugin->tagBaseLoader()->versionBase(), QString("2.00"));
    QCOMPARE(base->sizeTagHash(Tag::IR), 2);
    QCOMPARE(m_plugin->tagBase()->tagBase(), base);
    QCOMPARE(m_plugin->tagBase()->sortedTags(Tag::IR).size(), 2);
    QCOMPARE(m_plugin->tagBase()->sortedTags(Tag::HR).size(), 1);
    QCOMPARE(tagOf(m_plugin, Tag::IR, "p")->precision(), 5);
    QVERIFY(tagOf(m_plugin, Tag::IR, "p")->visibleChart());
    Core::ICore::settingsDatabase()->remove("2.00");
}

void tst_PointbookPlugin::tagWithoutStoredKeysGetsDefaults()
{
    writeMap("2.01", "<hr>" + tagXml("fresh", "int32", 0, 3) + "</hr>");
    m_plugin->setVersion("2.01");
    Tag *tag = tagOf(m_plugin, Tag::HR, "fresh");
    QVERIFY(tag);
    QCOMPARE(tag->visibleChart(), false);
    QCOMPARE(tag->colorChart(), QColor(0, 0, 0, 0));
    QCOMPARE(tag->enableDamping(), false);
    QCOMPARE(tag->dampingPoints(), 0);
    QCOMPARE(tag->precision(), 3);
}

void tst_PointbookPlugin::storedDampingRestored_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("points");
    QTest::newRow("off with points") << false << 8;
    QTest::newRow("on with points") << true << 4;
    QTest::newRow("off without points") << false << 0;
}

void tst_PointbookPlugin::storedDampingRestored()
{
    // Setting points switches damping on; the stored flag must still win.
    QFETCH(bool, enabled);
    QFETCH(int, points);
    writeMap("2.05", "<hr>" + tagXml("d", "float", 0, 1) + "</hr>");
    store("2.05", "d_enableDampening", enabled);
    store("2.05", "d_dampeningPoints", points);
    m_plugin->setVersion("2.05");
    Tag *tag = tagOf(m_plugin, Tag::HR, "d");
    QVERIFY(tag);
    QCOMPARE(tag->dampingPoints(), points);
    QCOMPARE(tag->enableDamping(), enabled);
    Core::ICore::settingsDatabase()->remove("2.05");
}

void tst_PointbookPlugin::writtenKeysAndTypes()
{
    writeMap("2.02", "<ir>" + tagXml("p", "float", 0, 2) + "</ir>");
    m_plugin->setVersion("2.02");
    Tag *tag = tagOf(m_plugin, Tag::IR, "p");
    tag->setVisibleChart(true);
    tag->setColorChart(QColor(10, 20, 30, 40));
    tag->setDampingPoints(5);
    tag->setPrecision(4);
    m_plugin->writeSettingsTagBase("2.02");

    Core::SettingsDatabase *database = Core::ICore::settingsDatabase();
    database->beginGroup("2.02");
    QStringList keys = database->childKeys();
    database->endGroup();
    keys.sort();
    QCOMPARE(keys, QStringList({"p_colorChartA", "p_colorChartB", "p_colorChartG", "p_colorChartR",
                                "p_dampeningPoints", "p_enableDampening", "p_precision",
                                "p_visibleChart"}));
    const QList<QPair<QString, QVariant>> expected = {
        {"p_visibleChart", true}, {"p_colorChartR", 10},   {"p_colorChartG", 20},
        {"p_colorChartB", 30},    {"p_colorChartA", 40},   {"p_enableDampening", true},
        {"p_dampeningPoints", 5}, {"p_precision", 4}};
    for (const auto &pair : expected) {
        const QVariant value = stored("2.02", pair.first);
        QCOMPARE(value.type(), pair.second.type());
        QCOMPARE(value, pair.second);
    }
    database->remove("2.02");
}

void tst_PointbookPlugin::sameIdInTwoTablesSharesKeys()
{
    writeMap("2.03", "<ir>" + tagXml("x") + "</ir><co>" + tagXml("x") + "</co>");
    store("2.03", "x_precision", 7);
    store("2.03", "x_colorChartR", 200);
    m_plugin->setVersion("2.03");
    Tag *ir = tagOf(m_plugin, Tag::IR, "x");
    Tag *co = tagOf(m_plugin, Tag::CO, "x");
    QVERIFY(ir && co && ir != co);
    QCOMPARE(ir->precision(), 7);
    QCOMPARE(co->precision(), 7);
    QCOMPARE(co->colorChart().red(), 200);

    ir->setPrecision(1);
    co->setPrecision(2);
    m_plugin->writeSettingsTagBase("2.03");
    // Coils are written after input registers.
    QCOMPARE(stored("2.03", "x_precision"), QVariant(2));
    Core::ICore::settingsDatabase()->remove("2.03");
}

void tst_PointbookPlugin::shutdownWithoutVersionWritesNothing()
{
    // A map for the empty version loads, yet no version counts as given.
    writeMap("", "<ir>" + tagXml("noVersionTag") + "</ir>");
    QSignalSpy loaded(m_plugin, &PointbookPlugin::baseLoaded);
    m_plugin->setVersion("");
    QCOMPARE(loaded.count(), 1);

    Core::SettingsDatabase *database = Core::ICore::settingsDatabase();
    QCOMPARE(int(m_plugin->aboutToShutdown()), 0);
    QVERIFY(!database->contains("noVersionTag_visibleChart"));

    // The same call with the version writes: the check above can see a write.
    m_plugin->writeSettingsTagBase("");
    QVERIFY(database->contains("noVersionTag_visibleChart"));
    for (const QString &key : database->childKeys()) {
        if (key.startsWith("noVersionTag_"))
            database->remove(key);
    }
}

void tst_PointbookPlugin::reloadReappliesStoredSettings()
{
    writeMap("2.04", "<ir>" + tagXml("p", "float", 0, 1) + "</ir>");
    store("2.04", "p_precision", 3);
    store("2.04", "p_colorChartG", 99);
    store("2.04", "p_colorChartA", 255);
    m_plugin->setVersion("2.04");
    QPointer<Tag> first = tagOf(m_plugin, Tag::IR, "p");
    first->setPrecision(6);
    first->setColorChart(Qt::red);

    QSignalSpy loaded(m_plugin, &PointbookPlugin::baseLoaded);
    m_plugin->reloadTagBase();
    QCOMPARE(loaded.count(), 1);
    QVERIFY(first.isNull());
    Tag *again = tagOf(m_plugin, Tag::IR, "p");
    QCOMPARE(again->precision(), 3);
    QCOMPARE(again->colorChart(), QColor(0, 99, 0, 255));
    // Reloading saves nothing: the changes are gone.
    QCOMPARE(stored("2.04", "p_precision"), QVariant(3));
    Core::ICore::settingsDatabase()->remove("2.04");
}

void tst_PointbookPlugin::versionChangeKeepsEarlierChanges()
{
    writeMap("2.05", "<ir>" + tagXml("p") + "</ir>");
    writeMap("2.06", "<ir>" + tagXml("p") + "</ir>");
    m_plugin->setVersion("2.05");
    tagOf(m_plugin, Tag::IR, "p")->setVisibleChart(true);
    m_plugin->setVersion("2.06");
    QCOMPARE(stored("2.05", "p_visibleChart"), QVariant(true));
    QVERIFY(!stored("2.06", "p_visibleChart").isValid());
    QVERIFY(!tagOf(m_plugin, Tag::IR, "p")->visibleChart());
    Core::ICore::settingsDatabase()->remove("2.05");
    Core::ICore::settingsDatabase()->remove("2.06");
}

void tst_PointbookPlugin::settingsSurviveRestart()
{
    writeMap("3.00", "<ir>" + tagXml("p", "float", 0, 2) + tagXml("q") + "</ir><hr>"
                         + tagXml("h", "double") + "</hr>");
    m_plugin->setVersion("3.00");
    Tag *p = tagOf(m_plugin, Tag::IR, "p");
    p->setVisibleChart(true);
    p->setColorChart(QColor(1, 2, 3, 4));
    p->setDampingPoints(8);
    p->setPrecision(5);
    Tag *h = tagOf(m_plugin, Tag::HR, "h");
    h->setEnableDamping(true);

    // The whole program goes down and comes up again.
    QCOMPARE(int(m_plugin->aboutToShutdown()), 0);
    delete m_plugin;
    m_plugin = nullptr;
    const QString databaseFile = Core::ICore::settingsDatabase()->fileName();
    stopHost();
    QVERIFY(QFileInfo::exists(databaseFile));
    startHost();
    QCOMPARE(Core::ICore::settingsDatabase()->fileName(), databaseFile);
    newPlugin();

    m_plugin->setVersion("3.00");
    p = tagOf(m_plugin, Tag::IR, "p");
    QVERIFY(p);
    QCOMPARE(p->visibleChart(), true);
    QCOMPARE(p->colorChart(), QColor(1, 2, 3, 4));
    QCOMPARE(p->enableDamping(), true);
    QCOMPARE(p->dampingPoints(), 8);
    QCOMPARE(p->precision(), 5);
    Tag *q = tagOf(m_plugin, Tag::IR, "q");
    QCOMPARE(q->visibleChart(), false);
    // Never configured: restored as the defaults, saved as such.
    QCOMPARE(q->colorChart(), QColor(0, 0, 0, 0));
    QCOMPARE(stored("3.00", "q_visibleChart"), QVariant(false));
    h = tagOf(m_plugin, Tag::HR, "h");
    QCOMPARE(h->enableDamping(), true);
    QCOMPARE(h->dampingPoints(), 0);
    Core::ICore::settingsDatabase()->remove("3.00");
}

void tst_PointbookPlugin::modbusObjectsForwarded()
{
    ScriptedConnection connection;
    Fieldlink::FieldlinkCore::QModbusSettings settings(7);
    m_plugin->setModbusConnection(&connection);
    m_plugin->setModbusSettings(&settings);
    QCOMPARE(m_plugin->tagBase()->modbusConnection(), &connection);
    QCOMPARE(m_plugin->tagBase()->modbusSettings(), &settings);
    m_plugin->setModbusConnection(nullptr);
    m_plugin->setModbusSettings(nullptr);
    QCOMPARE(m_plugin->tagBase()->modbusConnection(), &connection);
    QCOMPARE(m_plugin->tagBase()->modbusSettings(), &settings);
}

void tst_PointbookPlugin::failedReloadStopsPolling()
{
    writeMap("4.00", "<ir>" + tagXml("p") + tagXml("q", "uint32") + "</ir><hr>" + tagXml("h")
                         + "</hr>");
    ScriptedConnection connection;
    Fieldlink::FieldlinkCore::QModbusSettings settings(1);
    m_plugin->setModbusConnection(&connection);
    m_plugin->setModbusSettings(&settings);
    m_plugin->setVersion("4.00");
    TagBase *engine = m_plugin->tagBase();
    engine->setUpdateBase(TagBase::CyclicUpdate, true);
    QTRY_COMPARE_WITH_TIMEOUT(connection.onWire().size(), 1, 5000);

    QVERIFY(QFile::remove(m_folder + "base_v4.00.xml"));
    QSignalSpy notesSpy(m_popnote, &Popnote::PopnotePlugin::notificationAdded);
    QSignalSpy loaded(m_plugin, &PointbookPlugin::baseLoaded);
    m_plugin->reloadTagBase();
    QCOMPARE(notes(notesSpy), kNotFoundNotes);
    QCOMPARE(loaded.count(), 0);
    QCOMPARE(engine->tagBase(), m_plugin->tagBaseLoader()->base());
    QCOMPARE(engine->sortedTags(Tag::IR).size(), 0);
    QCOMPARE(engine->sortedTags(Tag::HR).size(), 0);
    QCOMPARE(engine->typeUpdate(), TagBase::NoUpdate);

    // The answer to the request still on the wire reaches no deleted tag
    // and does not start anything again.
    QVERIFY(connection.answerNext({1, 2, 3}));
    QTRY_COMPARE_WITH_TIMEOUT(engine->state(), int(TagBase::Idle), 5000);
    const int executed = connection.executed.size();
    QTest::qWait(100);
    QCOMPARE(connection.executed.size(), executed);
    QVERIFY(connection.onWire().isEmpty());
}

void tst_PointbookPlugin::lateReplyAfterReload()
{
    writeMap("4.01", "<ir>" + tagXml("a") + tagXml("b") + "</ir>");
    ScriptedConnection connection;
    Fieldlink::FieldlinkCore::QModbusSettings settings(1);
    m_plugin->setModbusConnection(&connection);
    m_plugin->setModbusSettings(&settings);
    m_plugin->setVersion("4.01");
    QPointer<Tag> oldA = tagOf(m_plugin, Tag::IR, "a");
    TagBase *engine = m_plugin->tagBase();
    engine->setUpdateBase(TagBase::SingleUpdate, true);
    QTRY_COMPARE_WITH_TIMEOUT(connection.onWire().size(), 1, 5000);
    QCOMPARE(connection.onWire().first()->startAddress(), 0);
    QCOMPARE(connection.onWire().first()->count(), 2);

    // The device's map changes under the running pass: three registers now.
    writeMap("4.01", "<ir>" + tagXml("c") + tagXml("d") + tagXml("e") + "</ir>");
    m_plugin->reloadTagBase();
    QVERIFY(oldA.isNull());
    Tag *c = tagOf(m_plugin, Tag::IR, "c");
    Tag *e = tagOf(m_plugin, Tag::IR, "e");
    QVERIFY(c && e);

    QSignalSpy passEnd(engine, &TagBase::updateAllBase);
    // The old request first, then whatever the restarted pass asks for.
    for (int i = 0; i < 10 && passEnd.isEmpty(); ++i) {
        QTRY_VERIFY_WITH_TIMEOUT(!connection.onWire().isEmpty() || !passEnd.isEmpty(), 5000);
        if (passEnd.isEmpty())
            connection.answerNext({7, 8, 9});
    }
    QCOMPARE(passEnd.count(), 1);
    // The restarted pass polled the new map's three registers.
    QCOMPARE(e->value(), QVariant(9));
    QCOMPARE(c->value(), QVariant(7));
}

void tst_PointbookPlugin::clearStatusUpdate()
{
    auto *strip = m_plugin->statusUpdateBase();
    QVERIFY(strip);
    strip->setUpdateTime("12:00:00.000");
    strip->blinkLed();
    m_plugin->clearStatusUpdate();
    QCOMPARE(strip->findChild<QLabel *>("labelUpdateTimeValue")->text(), QString("00:00:00.000"));
    QCOMPARE(strip->findChild<QLabel *>("labelUpdateIntervalValue")->text(), QString("00.000"));
    QVERIFY(!strip->findChild<QLed *>("ledBlink")->value());
}

void tst_PointbookPlugin::showInfoFromToolsMenu()
{
    writeMap("5.00", "<ir>" + tagXml("i1") + tagXml("i2") + "</ir><hr>" + tagXml("h1")
                         + tagXml("h2") + tagXml("h3") + "</hr>");
    m_plugin->setVersion("5.00");

    QAction *menuEntry = nullptr;
    for (QAction *action : Core::ActionManager::actionContainer("App.Menu.Tools")->menu()->actions()) {
        if (action->text() == "Information Base")
            menuEntry = action;
    }
    QVERIFY(menuEntry);

    bool seen = false;
    onModalDialog([&seen](QDialog *dialog) {
        seen = true;
        QVERIFY(qobject_cast<Pointbook::InfoTagBaseDialog *>(dialog));
        QCOMPARE(dialog->parentWidget(), Core::ICore::mainWindow());
        QVERIFY(dialog->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(dialog->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        auto *table = dialog->findChild<QTableWidget *>("tableWidget");
        QVERIFY(table);
        QCOMPARE(table->rowCount(), 5);
        QCOMPARE(table->verticalHeaderItem(0)->text(), QString("IR"));
        QCOMPARE(table->verticalHeaderItem(4)->text(), QString("HR"));
        dialog->findChild<QPushButton *>("pushButtonExit")->click();
        QVERIFY(!dialog->isVisible());
    });
    menuEntry->trigger();
    QVERIFY(seen);
    QVERIFY(!QApplication::activeModalWidget());
}

void tst_PointbookPlugin::demoMapPlacedOnFirstStart()
{
    const QString shipped = Core::ShippedFiles::demoFolder(QStringLiteral("pointbook")) + "/base_v1.00.xml";
    if (!QFileInfo::exists(shipped))
        QSKIP("The shipped data is not in the build tree.");

    delete m_plugin;
    m_plugin = nullptr;
    QDir(m_folder).removeRecursively();
    newPlugin();
    QCOMPARE(readAll(m_folder + "base_v1.00.xml"), readAll(sourceFile("share/appcore/demo/pointbook/base_v1.00.xml")));

    // A second start leaves the user's edited file alone.
    QFile edited(m_folder + "base_v1.00.xml");
    QVERIFY(edited.open(QIODevice::WriteOnly | QIODevice::Truncate));
    edited.write("<base version=\"1.00\"/>");
    edited.close();
    delete m_plugin;
    m_plugin = nullptr;
    newPlugin();
    QCOMPARE(readAll(m_folder + "base_v1.00.xml"), QByteArray("<base version=\"1.00\"/>"));
}

void tst_PointbookPlugin::demoMapLoads()
{
    QVERIFY(QFile::copy(sourceFile("share/appcore/demo/pointbook/base_v1.00.xml"),
                        m_folder + "base_v1.00.xml"));
    QSignalSpy loaded(m_plugin, &PointbookPlugin::baseLoaded);
    m_plugin->setVersion("1.00");
    QCOMPARE(loaded.count(), 1);
    BaseTag *base = m_plugin->tagBaseLoader()->base();
    QCOMPARE(base->sizeTagHash(Tag::IR), 17);
    QCOMPARE(base->sizeTagHash(Tag::HR), 14);
    QCOMPARE(base->sizeTagHash(Tag::DI), 4);
    QCOMPARE(base->sizeTagHash(Tag::CO), 4);

    const QList<QPair<QString, int>> irAddresses = {
        {"Pressure", 0},          {"Temperature", 2},       {"FlowRate", 4},
        {"Level", 6},             {"Status", 7},            {"SupplyVoltage", 8},
        {"OperatingHours", 9},    {"TotalVolume", 11},      {"PulseCounter", 15},
        {"NetEnergy", 19},        {"FlagHighPressure", 23}, {"FlagSensorBreak", 23},
        {"BoardTemperature", 24}, {"FirmwareVersion", 25},  {"SerialNumber", 26}};
    for (const auto &pair : irAddresses)
        QCOMPARE(int(tagOf(m_plugin, Tag::IR, pair.first)->startAddress()), pair.second);
    const QList<QPair<QString, int>> hrAddresses = {
        {"SetPoint", 0},     {"ModbusAddress", 7}, {"BaudRate", 8},        {"CalibrationOffset", 100},
        {"CalibrationGain", 102}, {"DisplayUnits", 106}, {"ZeroTrim", 107},
        {"ModeSimulation", 109}, {"LocationText", 110}};
    for (const auto &pair : hrAddresses)
        QCOMPARE(int(tagOf(m_plugin, Tag::HR, pair.first)->startAddress()), pair.second);

    QSet<int> dataTypes;
    QSet<int> byteOrders;
    for (Tag::RegisterType type : {Tag::IR, Tag::HR, Tag::DI, Tag::CO}) {
        for (Tag *tag : base->tagHash(type)) {
            dataTypes.insert(tag->dataType());
            byteOrders.insert(tag->byteOrderInput());
            QVERIFY2(tag->byteOrderInput() != Tag::UnknownOrder, qPrintable(tag->Id()));
            QVERIFY2(!tag->name().isEmpty(), qPrintable(tag->Id()));
        }
    }
    for (int t = Tag::UInt8; t <= Tag::Double; ++t)
        QVERIFY2(dataTypes.contains(t), qPrintable(Tag::dataTypeToString(Tag::DataType(t))));
    for (Tag::ByteOrder order : {Tag::Order0, Tag::Order10, Tag::Order1032, Tag::Order3210,
                                 Tag::Order10325476, Tag::Order32107654, Tag::Order76543210})
        QVERIFY2(byteOrders.contains(order), qPrintable(Tag::byteOrderToString(order)));

    Tag *temperature = tagOf(m_plugin, Tag::IR, "Temperature");
    QCOMPARE(temperature->unit(), QString::fromUtf8("°C"));
    QCOMPARE(temperature->minValue(), -40.0f);
    QCOMPARE(temperature->precision(), 1);
    QVERIFY(temperature->damping());
    QCOMPARE(tagOf(m_plugin, Tag::IR, "FlagOverTemperature")->mask(), quint64(0b100));
    QCOMPARE(tagOf(m_plugin, Tag::HR, "DisplayUnits")->property("enum").toString(),
             QString("bar;kPa;psi"));
    QCOMPARE(int(tagOf(m_plugin, Tag::HR, "LocationText")->sizeRegisters()), 8);

    // A big-endian float decodes as the device sends it.
    Tag *pressure = tagOf(m_plugin, Tag::IR, "Pressure");
    pressure->setRawData({0x4049, 0x0fdb});
    QCOMPARE(pressure->value().toFloat(), 3.14159274f);
}

void tst_PointbookPlugin::demoMapCoversRightsIds()
{
    QDomDocument map;
    QVERIFY(map.setContent(readAll(sourceFile("share/appcore/demo/pointbook/base_v1.00.xml"))));
    QHash<QString, QSet<QString>> mapIds;
    for (QDomElement section = map.documentElement().firstChildElement(); !section.isNull();
         section = section.nextSiblingElement()) {
        for (QDomElement tag = section.firstChildElement("tag"); !tag.isNull();
             tag = tag.nextSiblingElement("tag"))
            mapIds[section.tagName()].insert(tag.firstChildElement("information").attribute("id"));
    }

    const QDir rights(sourceFile("share/appcore/demo/clearance"));
    const QStringList files = rights.entryList({"*_v1.00.xml"}, QDir::Files);
    if (files.isEmpty())
        QSKIP("No access rights are shipped for version 1.00.");
    for (const QString &name : files) {
        QDomDocument document;
        QVERIFY(document.setContent(readAll(rights.filePath(name))));
        QCOMPARE(document.documentElement().attribute("version"), QString("1.00"));
        for (QDomElement section = document.documentElement().firstChildElement();
             !section.isNull(); section = section.nextSiblingElement()) {
            for (QDomElement tag = section.firstChildElement("tag"); !tag.isNull();
                 tag = tag.nextSiblingElement("tag")) {
                const QString id = tag.attribute("id");
                QVERIFY2(mapIds.value(section.tagName()).contains(id),
                         qPrintable(name + ": " + section.tagName() + " " + id));
            }
        }
    }
}

QTEST_MAIN(tst_PointbookPlugin)
#include "tst_pointbookplugin.moc"
