#include "clearanceplugin.h"

#include "baseclearance.h"
#include "clearancedialog.h"
#include "clearanceloader.h"
#include "passworddigest.h"
#include "passwordmanagementdialog.h"

#include <core/actioncontainer.h>
#include <core/actionmanager.h>
#include <core/command.h>
#include <core/context.h>
#include <core/icore.h>
#include <core/settingsdatabase.h>
#include <core/shippedfiles.h>
#include <popnote/popnoteplugin.h>
#include <xmltext/xmltextreader.h>

#include <QAction>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QInputDialog>
#include <QLineEdit>
#include <QLoggingCategory>

namespace Clearance {

Q_LOGGING_CATEGORY(clearanceLog, "app.clearance")

namespace {

ClearancePlugin *s_instance = nullptr;

const char kSettingsGroup[] = "Clearance";
const char kCurrentKey[] = "CurrentClearance";
const char kDefaultClearance[] = "user";

constexpr Qt::WindowFlags kDialogFlags =
    Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint;

} // namespace

ClearancePlugin::ClearancePlugin()
{
    s_instance = this;
}

ClearancePlugin::~ClearancePlugin()
{
    qDeleteAll(m_baseClearances);
    m_baseClearances.clear();
    if (s_instance == this)
        s_instance = nullptr;
}

ClearancePlugin *ClearancePlugin::instance()
{
    return s_instance;
}

QString ClearancePlugin::clearanceFolder()
{
    const QString settingsFolder = QFileInfo(Core::ICore::settings()->fileName()).path();
    return settingsFolder + QStringLiteral("/Korvane_Config/configmodules/clearance/");
}

bool ClearancePlugin::isSafeFileNamePart(const QString &text)
{
    return !text.contains(QLatin1Char('/')) && !text.contains(QLatin1Char('\\'))
           && !text.contains(QLatin1String("..")) && !text.contains(QChar(0));
}

bool ClearancePlugin::initialize(const QStringList &arguments, QString *errorString)
{
    Q_UNUSED(arguments)
    Q_UNUSED(errorString)

    m_core = Core::ICore::instance();
    createActions();
    m_loader = new ClearanceLoader(this);

    QString error;
    if (Core::ShippedFiles::install(Core::ShippedFiles::demoFolder(QStringLiteral("clearance")),
                                    clearanceFolder(), &error) < 0)
        qWarning().noquote() << error;
    return true;
}

void ClearancePlugin::createActions()
{
    const Core::Context context(Core::Id("Global Context"));
    Core::ActionContainer *fileMenu = Core::ActionManager::actionContainer("App.Menu.File");

    auto *clearanceAction = new QAction(QIcon(QStringLiteral(":/clearance/images/clearance.png")),
                                        tr("Access level"), this);
    Core::Command *clearanceCommand =
        Core::ActionManager::registerAction(clearanceAction, "App.Clearance", context);
    connect(clearanceAction, &QAction::triggered, this, &ClearancePlugin::showClearanceDialog);

    auto *passwordAction = new QAction(QIcon(QStringLiteral(":/clearance/images/password.png")),
                                       tr("Password management"), this);
    Core::Command *passwordCommand =
        Core::ActionManager::registerAction(passwordAction, "App.PasswordManagement", context);
    connect(passwordAction, &QAction::triggered, this,
            &ClearancePlugin::showPasswordManagementDialog);

    if (fileMenu) {
        if (clearanceCommand)
            fileMenu->addAction(clearanceCommand, "App.Group.File.Save");
        if (passwordCommand)
            fileMenu->addAction(passwordCommand, "App.Group.File.Save");
    }
}

void ClearancePlugin::extensionsInitialized()
{
    readClearance();
    readSettings();
}

ExtensionSystem::IPlugin::ShutdownFlag ClearancePlugin::aboutToShutdown()
{
    writeSettings();
    return SynchronousShutdown;
}

BaseClearance *ClearancePlugin::currentBaseClearance() const
{
    return m_baseClearances.value(m_currentClearance, nullptr);
}

BaseClearance *ClearancePlugin::baseClearance(const QString &clearance) const
{
    return m_baseClearances.value(clearance, nullptr);
}

QString ClearancePlugin::highestClearance() const
{
    return m_clearanceIds.isEmpty() ? QString() : m_clearanceIds.constLast();
}

bool ClearancePlugin::authoriseChange(const QString &action, QWidget *parent, QString *refusal)
{
    const QString highest = highestClearance();
    if (highest.isEmpty() || m_currentClearance == highest)
        return true;

    const QString highestName = m_clearances.value(highest).isEmpty() ? highest : m_clearances.value(highest);
    const QString currentName =
        m_clearances.value(m_currentClearance).isEmpty() ? m_currentClearance : m_clearances.value(m_currentClearance);
    QInputDialog dialog(parent ? parent : Core::ICore::mainWindow(), kDialogFlags);
    dialog.setObjectName(QStringLiteral("HighestLevelPasswordDialog"));
    dialog.setWindowTitle(tr("Access level"));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextEchoMode(QLineEdit::Password);
    dialog.setLabelText(tr("%1 needs the access level \"%2\"; the current level is \"%3\".\n"
                           "Password of \"%2\":")
                            .arg(action, highestName, currentName));
    QString why;
    if (dialog.exec() != QDialog::Accepted) {
        why = tr("%1 needs the access level \"%2\"; the current level is \"%3\".")
                  .arg(action, highestName, currentName);
    } else {
        QByteArray stored;
        if (Core::SettingsDatabase *database = Core::ICore::settingsDatabase()) {
            database->beginGroup(QLatin1String(kSettingsGroup));
            stored = database->value(highest, QByteArray()).toByteArray();
            database->endGroup();
        }
        if (PasswordDigest::equal(PasswordDigest::effective(stored), PasswordDigest::digest(dialog.textValue()))) {
            qCInfo(clearanceLog).noquote() << "Allowed with the password of level" << highest << "at level"
                                           << m_currentClearance << ":" << action;
            return true;
        }
        why = tr("%1 refused: invalid password of the access level \"%2\".").arg(action, highestName);
    }
    qCWarning(clearanceLog).noquote() << "Refused at level" << m_currentClearance << ":" << why;
    Popnote::PopnotePlugin::notify(tr("Access level"), why, Popnote::PopnotePlugin::Error);
    if (refusal)
        *refusal = why;
    return false;
}

void ClearancePlugin::readClearance()
{
    const QString path = clearanceFolder() + QStringLiteral("clearance.xml");
    if (!QFileInfo(path).isFile())
        return;
    QString text;
    QString why;
    if (!ClearanceLoader::readText(path, &text, &why)) {
        Popnote::PopnotePlugin::notify(tr("Access level"), why, Popnote::PopnotePlugin::Error);
        return;
    }

    QDomDocument document;
    QString message;
    int line = 0;
    int column = 0;
    if (!XmlText::XmlTextReader::parse(&document, text, &message, &line, &column)) {
        Popnote::PopnotePlugin::notify(tr("Access level"),
                                       ClearanceLoader::parseErrorText(message, line, column),
                                       Popnote::PopnotePlugin::Error);
        return;
    }
    m_document = document;
    parseClearance(m_document.documentElement());
}

void ClearancePlugin::parseClearance(const QDomElement &root)
{
    m_clearances.clear();
    m_clearanceIds.clear();
    for (QDomElement child = root.firstChildElement(QStringLiteral("clearance")); !child.isNull();
         child = child.nextSiblingElement(QStringLiteral("clearance"))) {
        const QString id = child.attribute(QStringLiteral("id"));
        // A repeated id takes the later name and keeps its first place.
        if (!m_clearances.contains(id))
            m_clearanceIds.append(id);
        m_clearances.insert(id, child.attribute(QStringLiteral("name")));
    }
}

void ClearancePlugin::loadSettingsClearance()
{
    Popnote::PopnotePlugin::notify(tr("Access level"),
                                   tr("Search for the register map access files!"),
                                   Popnote::PopnotePlugin::Information);

    qDeleteAll(m_baseClearances);
    m_baseClearances.clear();

    const QString folder = clearanceFolder();
    const bool versionSafe = isSafeFileNamePart(m_version);
    int unreadable = 0;
    for (const QString &id : ClearanceDialog::orderedIds(m_clearances, m_clearanceIds)) {
        if (!versionSafe || !isSafeFileNamePart(id)) {
            qWarning().noquote() << "Access level" << id << "skipped: level id or version"
                                 << m_version << "is not a plain file name part";
            continue;
        }
        const QString fileName = folder + id + QStringLiteral("_v") + m_version + QStringLiteral(".xml");
        auto *base = new BaseClearance;
        m_loader->setFileName(fileName);
        m_loader->setVersionBase(m_version);
        m_loader->setBase(base);
        if (m_loader->readBase()) {
            m_baseClearances.insert(id, base);
        } else if (QFileInfo::exists(fileName)) {
            // The level has a rights file that says nothing usable: it gets
            // no right at all, not the open rule of a level without a file.
            base->clearBase();
            m_baseClearances.insert(id, base);
            ++unreadable;
            Popnote::PopnotePlugin::notify(
                tr("Access level"),
                tr("The access file \"%1\" cannot be read: %2")
                    .arg(QDir::toNativeSeparators(fileName), m_loader->errorString()),
                Popnote::PopnotePlugin::Error);
        } else {
            delete base;
        }
    }
    // The loader must not keep a pointer to a collection deleted later.
    m_loader->setBase(nullptr);

    if (m_baseClearances.isEmpty()) {
        Popnote::PopnotePlugin::notify(tr("Access level"),
                                       tr("Register card access files not found!"),
                                       Popnote::PopnotePlugin::Error);
        return;
    }
    if (unreadable == 0) {
        Popnote::PopnotePlugin::notify(tr("Access level"),
                                       tr("Register card access files successfully loaded!"),
                                       Popnote::PopnotePlugin::Information);
    }
    emit baseClearanceLoaded(m_version);
}

void ClearancePlugin::readSettings()
{
    QString current;
    if (Core::SettingsDatabase *database = Core::ICore::settingsDatabase()) {
        database->beginGroup(QLatin1String(kSettingsGroup));
        current = database->value(QLatin1String(kCurrentKey),
                                  QString::fromLatin1(kDefaultClearance)).toString();
        database->endGroup();
    }
    if (current.isEmpty())
        current = QString::fromLatin1(kDefaultClearance);
    m_currentClearance = current;
    emit changeCurrentClearance(m_currentClearance);
}

void ClearancePlugin::writeSettings()
{
    Core::SettingsDatabase *database = Core::ICore::settingsDatabase();
    if (!database)
        return;
    database->beginTransaction();
    database->beginGroup(QLatin1String(kSettingsGroup));
    database->setValue(QLatin1String(kCurrentKey), m_currentClearance);
    database->endGroup();
    database->endTransaction();
}

void ClearancePlugin::showClearanceDialog(bool checked)
{
    Q_UNUSED(checked)
    bool ok = false;
    const QString chosen = ClearanceDialog::getClearance(m_clearances, m_currentClearance, &ok,
                                                         Core::ICore::mainWindow(), kDialogFlags,
                                                         m_clearanceIds);
    if (!ok)
        return;
    m_currentClearance = chosen;
    emit changeCurrentClearance(m_currentClearance);
}

void ClearancePlugin::showPasswordManagementDialog(bool checked)
{
    Q_UNUSED(checked)
    bool ok = false;
    PasswordManagementDialog::managePasswords(m_clearances, &ok, Core::ICore::mainWindow(),
                                              kDialogFlags, m_clearanceIds);
}

void ClearancePlugin::setVersion(const QString &version)
{
    m_version = version;
    loadSettingsClearance();
}

} // namespace Clearance
