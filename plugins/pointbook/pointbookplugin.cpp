#include "pointbookplugin.h"

#include "basetag.h"
#include "infotagbasedialog.h"
#include "statusupdatebase.h"
#include "tag.h"
#include "tagbase.h"
#include "tagbaseloader.h"

#include <core/actioncontainer.h>
#include <core/actionmanager.h>
#include <core/command.h>
#include <core/context.h>
#include <core/icore.h>
#include <core/settingsdatabase.h>
#include <core/shippedfiles.h>
#include <popnote/popnoteplugin.h>

#include <QAction>
#include <QColor>
#include <QDebug>
#include <QFileInfo>
#include <QMainWindow>
#include <QMetaType>
#include <QStatusBar>

namespace Pointbook {

namespace {

PointbookPlugin *s_instance = nullptr;

const Tag::RegisterType kRegisterTypes[] = {Tag::IR, Tag::HR, Tag::DI, Tag::CO};

QString settingsKey(const QString &id, const char *suffix)
{
    return id + QLatin1Char('_') + QLatin1String(suffix);
}

int colorComponent(const QVariant &value)
{
    // A damaged store must not make the colour invalid.
    return qBound(0, value.toInt(), 255);
}

// Calls visit(id, tag) for every tag of every register table of base.
template <typename Visit>
void forEachTag(BaseTag *base, Visit visit)
{
    if (!base)
        return;
    for (Tag::RegisterType type : kRegisterTypes) {
        const QHash<QString, Tag *> tags = base->tagHash(type);
        for (auto it = tags.cbegin(); it != tags.cend(); ++it) {
            if (it.value())
                visit(it.key(), it.value());
        }
    }
}

} // namespace

PointbookPlugin::PointbookPlugin()
{
    s_instance = this;
    qRegisterMetaType<Tag::DataType>("Pointbook::Tag::DataType");
}

PointbookPlugin::~PointbookPlugin()
{
    // The library may be unloaded after this: nothing of ours may outlive
    // the plug-in. The engine refers to the loader's collection, so it goes
    // first; the status widget may already have gone with the main window.
    if (m_infoAction)
        Core::ActionManager::unregisterAction(m_infoAction, "App.ShowInfo");
    delete m_statusUpdateBase.data();
    delete m_tagBase;
    delete m_tagBaseLoader;
    if (s_instance == this)
        s_instance = nullptr;
}

PointbookPlugin *PointbookPlugin::instance()
{
    return s_instance;
}

QString PointbookPlugin::registerMapFolder()
{
    const QString settingsFolder =
        QFileInfo(Core::ICore::settings(QSettings::UserScope)->fileName()).path();
    return settingsFolder + QStringLiteral("/Korvane_Config/configmodules/pointbook/");
}

bool PointbookPlugin::isSafeVersion(const QString &version)
{
    return !version.contains(QLatin1Char('/')) && !version.contains(QLatin1Char('\\'))
           && !version.contains(QLatin1String("..")) && !version.contains(QChar(0));
}

bool PointbookPlugin::initialize(const QStringList &arguments, QString *errorString)
{
    Q_UNUSED(arguments)
    Q_UNUSED(errorString)

    m_core = Core::ICore::instance();

    Core::ActionContainer *tools = Core::ActionManager::actionContainer("App.Menu.Tools");
    m_infoAction = new QAction(tr("Information Base"), this);
    Core::Command *command = Core::ActionManager::registerAction(
        m_infoAction, "App.ShowInfo", Core::Context(Core::Id("Global Context")), false);
    if (tools && command)
        tools->addAction(command, "App.Group.Tools.Options");
    connect(m_infoAction.data(), &QAction::triggered, this, &PointbookPlugin::showInfo);

    m_tagBaseLoader = new TagBaseLoader;
    m_tagBase = new TagBase;
    createStatusWidget();

    QString error;
    if (Core::ShippedFiles::install(Core::ShippedFiles::demoFolder(QStringLiteral("pointbook")),
                                    registerMapFolder(), &error) < 0)
        qWarning().noquote() << error;
    return true;
}

void PointbookPlugin::createStatusWidget()
{
    auto *mainWindow = qobject_cast<QMainWindow *>(Core::ICore::mainWindow());
    if (!mainWindow)
        return;
    QStatusBar *statusBar = mainWindow->statusBar();
    m_statusUpdateBase = new StatusUpdateBase(statusBar);
    statusBar->addWidget(m_statusUpdateBase, 0);

    connect(m_tagBase, &TagBase::updateAllBase, m_statusUpdateBase, &StatusUpdateBase::blinkLed);
    connect(m_tagBase, &TagBase::updateStepClear, m_statusUpdateBase,
            &StatusUpdateBase::progressBarClear);
    connect(m_tagBase, &TagBase::updateStepCount, m_statusUpdateBase,
            &StatusUpdateBase::setProgressBarMaximum);
    connect(m_tagBase, &TagBase::updateStepIncrement, m_statusUpdateBase,
            &StatusUpdateBase::incrementProgressBarValue);
}

void PointbookPlugin::extensionsInitialized()
{
}

ExtensionSystem::IPlugin::ShutdownFlag PointbookPlugin::aboutToShutdown()
{
    if (!m_version.isEmpty())
        writeSettingsTagBase(m_version);
    return SynchronousShutdown;
}

void PointbookPlugin::setModbusConnection(Fieldlink::FieldlinkCore::ModbusConnection *connection)
{
    if (connection && m_tagBase)
        m_tagBase->setModbusConnection(connection);
}

void PointbookPlugin::setModbusSettings(Fieldlink::FieldlinkCore::QModbusSettings *settings)
{
    if (settings && m_tagBase)
        m_tagBase->setModbusSettings(settings);
}

void PointbookPlugin::setVersion(const QString &version)
{
    // Settings of the map being replaced would otherwise be lost: they are
    // saved only for the last version at shutdown.
    if (!m_version.isEmpty() && version != m_version)
        writeSettingsTagBase(m_version);
    m_version = version;
    reloadTagBase();
}

void PointbookPlugin::reloadTagBase()
{
    Popnote::PopnotePlugin::notify(tr("Tag base manager"), tr("Search the register map file!"),
                                   Popnote::PopnotePlugin::Information);
    if (!m_tagBaseLoader || !m_tagBase) {
        Popnote::PopnotePlugin::notify(tr("Tag base manager"),
                                       tr("The register map file for this device was not found!"),
                                       Popnote::PopnotePlugin::NotFound);
        return;
    }

    const QString fileName = QFileInfo(Core::ICore::settings(QSettings::UserScope)->fileName()).path()
                             + QStringLiteral("/Korvane_Config/configmodules/pointbook/")
                             + QStringLiteral("base_v") + m_version + QStringLiteral(".xml");

    bool loaded = false;
    if (isSafeVersion(m_version)) {
        m_tagBaseLoader->setFileName(fileName);
        m_tagBaseLoader->setVersionBase(m_version);
        loaded = m_tagBaseLoader->readBase();
    } else {
        // The version may come from the device: never let it name a file
        // outside the register map folder. Leave the same state as a read
        // that found nothing.
        m_tagBaseLoader->base()->clearBase();
    }

    if (loaded) {
        m_tagBase->setTagBase(m_tagBaseLoader->base());
        // A running poll would go on with requests built for the previous
        // map's addresses: restart it on the new map's intervals.
        const TagBase::TypeUpdate type = m_tagBase->typeUpdate();
        const bool running = type == TagBase::CyclicUpdate
                             || (type == TagBase::SingleUpdate && m_tagBase->state() != TagBase::Idle);
        if (running)
            m_tagBase->setUpdateBase(type, true);
        readSettingsTagBase(m_version);
        Popnote::PopnotePlugin::notify(tr("Tag base manager"),
                                       tr("Register map file successfully loaded!"),
                                       Popnote::PopnotePlugin::Information);
        emit baseLoaded(m_version);
        return;
    }

    // The read emptied the collection the engine was polling: its tags are
    // gone. The engine gets the empty collection, so that no reply still on
    // its way can reach them, and stops.
    m_tagBase->setTagBase(m_tagBaseLoader->base());
    m_tagBase->setUpdateBase(TagBase::NoUpdate, false);
    // A file that is there but broken is no "not found": say once what is
    // wrong with it, with the line and column where the reader stopped.
    if (isSafeVersion(m_version) && QFileInfo::exists(fileName)) {
        Popnote::PopnotePlugin::notify(tr("Tag base manager"),
                                       tr("The register map file %1 could not be loaded: %2")
                                           .arg(QFileInfo(fileName).fileName(),
                                                m_tagBaseLoader->errorString()),
                                       Popnote::PopnotePlugin::Error);
        return;
    }
    Popnote::PopnotePlugin::notify(tr("Tag base manager"),
                                   tr("The register map file for this device was not found!"),
                                   Popnote::PopnotePlugin::NotFound);
}

void PointbookPlugin::showInfo()
{
    InfoTagBaseDialog dialog(m_tagBaseLoader ? m_tagBaseLoader->base() : nullptr,
                             Core::ICore::mainWindow(),
                             Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint);
    dialog.exec();
}

void PointbookPlugin::clearStatusUpdate()
{
    if (m_statusUpdateBase)
        m_statusUpdateBase->clear();
}

void PointbookPlugin::readSettingsTagBase(const QString &version)
{
    Core::SettingsDatabase *database = Core::ICore::settingsDatabase();
    if (!database)
        return;

    database->beginGroup(version);
    BaseTag *base = m_tagBaseLoader ? m_tagBaseLoader->base() : nullptr;
    forEachTag(base, [database](const QString &id, Tag *tag) {
        tag->setVisibleChart(database->value(settingsKey(id, "visibleChart"), false).toBool());
        QColor color;
        color.setRed(colorComponent(database->value(settingsKey(id, "colorChartR"), 0)));
        color.setGreen(colorComponent(database->value(settingsKey(id, "colorChartG"), 0)));
        color.setBlue(colorComponent(database->value(settingsKey(id, "colorChartB"), 0)));
        color.setAlpha(colorComponent(database->value(settingsKey(id, "colorChartA"), 0)));
        tag->setColorChart(color);
        // Points first: setting them switches damping on, and the stored
        // flag must have the last word.
        tag->setDampingPoints(database->value(settingsKey(id, "dampeningPoints"), 0).toInt());
        tag->setEnableDamping(
            database->value(settingsKey(id, "enableDampening"), false).toBool());
        tag->setPrecision(
            database->value(settingsKey(id, "precision"), tag->precision()).toInt());
    });
    database->endGroup();
}

void PointbookPlugin::writeSettingsTagBase(const QString &version)
{
    Core::SettingsDatabase *database = Core::ICore::settingsDatabase();
    if (!database)
        return;

    database->beginTransaction();
    database->beginGroup(version);
    BaseTag *base = m_tagBaseLoader ? m_tagBaseLoader->base() : nullptr;
    forEachTag(base, [database](const QString &id, const Tag *tag) {
        const QColor color = tag->colorChart();
        database->setValue(settingsKey(id, "visibleChart"), tag->visibleChart());
        database->setValue(settingsKey(id, "colorChartR"), color.red());
        database->setValue(settingsKey(id, "colorChartG"), color.green());
        database->setValue(settingsKey(id, "colorChartB"), color.blue());
        database->setValue(settingsKey(id, "colorChartA"), color.alpha());
        database->setValue(settingsKey(id, "enableDampening"), tag->enableDamping());
        database->setValue(settingsKey(id, "dampeningPoints"), tag->dampingPoints());
        database->setValue(settingsKey(id, "precision"), tag->precision());
    });
    database->endGroup();
    database->endTransaction();
}

} // namespace Pointbook
