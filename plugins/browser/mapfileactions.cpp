#include "mapfileactions.h"
#include "browsermodel.h"
#include "createtagsdialog.h"
#include "fileimport.h"

#include <clearance/clearanceplugin.h>
#include <pointbook/pointbookplugin.h>
#include <pointbook/statusupdatebase.h>
#include <popnote/popnoteplugin.h>
#include <workspace/workspacecontroller.h>

#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QProgressDialog>
#include <QThread>
#include <QUrl>

#include <functional>

namespace Browser {

using Pointbook::Tag;
using Workspace::WorkspaceController;

namespace {

// Runs the job on a worker thread; the window stays alive (a progress dialog
// appears when the job takes a while) and the call returns its result. When
// the system refuses the thread, the job runs here: the window waits for it,
// but the work is done and nothing waits for a thread that never ran.
template<typename R>
R runBusy(QWidget *parent, const QString &label, const std::function<R()> &job)
{
    R result;
    QEventLoop loop;
    QThread *thread = QThread::create([&result, &job] { result = job(); });
    QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
    QProgressDialog progress(label, QString(), 0, 0, parent);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(400);
    progress.setValue(0);
    thread->start();
    if (!thread->isRunning() && !thread->isFinished()) {
        delete thread;
        return job();
    }
    if (!thread->isFinished())
        loop.exec();
    thread->wait();
    delete thread;
    return result;
}

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

MapFileActions::MapFileActions(WorkspaceController *controller, QWidget *dialogParent, QObject *parent)
    : QObject(parent)
    , m_controller(controller)
    , m_parent(dialogParent)
{
}

QList<NewTag> MapFileActions::tagsForRows(const BrowserModel *model, const QList<int> &rows)
{
    QList<NewTag> tags;
    if (!model)
        return tags;
    const QString table = Tag::registerTypeToString(model->table()).toUpper();
    for (const int row : rows) {
        if (row < 0 || row >= model->count() || model->coveringRow(row) >= 0)
            continue;
        NewTag t;
        t.table = model->table();
        t.address = model->start() + row;
        t.id = QStringLiteral("%1_%2").arg(table).arg(t.address);
        t.name = QStringLiteral("%1 %2").arg(table).arg(t.address);
        const RowFormat format = model->rowFormat(row);
        if (model->isBitTable()) {
            t.dataType = Tag::UInt16;
            t.byteOrder = Tag::Order10;
        } else {
            t.dataType = format.dataType();
            t.byteOrder = format.isWide() ? format.byteOrder() : Tag::Order10;
        }
        tags.append(t);
    }
    return tags;
}

void MapFileActions::report(const QString &text, bool error)
{
    m_lastMessage = text;
    emit message(text);
    Popnote::PopnotePlugin::notify(tr("Register maps"), text,
                                   error ? Popnote::PopnotePlugin::Error
                                         : Popnote::PopnotePlugin::Information);
}

bool MapFileActions::authorised(const QString &action)
{
    Clearance::ClearancePlugin *levels = Clearance::ClearancePlugin::instance();
    QString why;
    if (levels && levels->authoriseChange(action, m_parent, &why))
        return true;
    if (!levels) {
        why = tr("%1 needs the access levels, which are not loaded.").arg(action);
        Popnote::PopnotePlugin::notify(tr("Register maps"), why, Popnote::PopnotePlugin::Error);
    }
    // The access levels have shown and logged their refusal already.
    m_lastMessage = why;
    emit message(why);
    return false;
}

void MapFileActions::mapChanged(const QString &version)
{
    if (!m_controller || m_controller->phase() == WorkspaceController::Idle)
        return;
    if (m_controller->version() != version)
        return;
    Pointbook::PointbookPlugin *tags = Pointbook::PointbookPlugin::instance();
    if (m_controller->phase() == WorkspaceController::Running && tags)
        tags->reloadTagBase();
    else
        m_controller->useVersion(version);
}

void MapFileActions::createTags(const BrowserModel *model, const QList<int> &rows)
{
    const QList<NewTag> proposed = tagsForRows(model, rows);
    if (proposed.isEmpty()) {
        report(tr("The selected rows belong to values that start in rows not selected; select "
                  "the first row of each value."),
               true);
        return;
    }
    if (!authorised(tr("Creating tags in a register map")))
        return;
    const QString folder = Pointbook::PointbookPlugin::registerMapFolder();
    CreateTagsDialog dialog(proposed, m_controller ? m_controller->version() : QString(), m_parent);
    for (;;) {
        if (dialog.exec() != QDialog::Accepted)
            return;
        const QList<NewTag> tags = dialog.tags();
        const QString version = dialog.version();
        const QString file = MapWriter::fileName(folder, version);
        const MapWriter::Inspection seen = runBusy<MapWriter::Inspection>(
            m_parent, tr("Reading %1…").arg(QFileInfo(file).fileName()),
            [folder, version, tags] { return MapWriter::inspect(folder, version, tags); });

        MapWriter::Mode mode = MapWriter::Create;
        if (seen.exists && seen.loads) {
            if (!seen.clashes.isEmpty()) {
                dialog.setProblem(tr("The register map of version %1 has these ids already: %2. "
                                     "Choose other ids.")
                                      .arg(version, seen.clashes.join(QStringLiteral(", "))));
                continue;
            }
            const auto answer = QMessageBox::question(
                m_parent, tr("Create tags"),
                tr("The register map %1 exists and holds %n tag(s). Add the new tags to it?\n\n"
                   "The present file is kept as a backup.",
                   nullptr, seen.tagCount)
                    .arg(nativePath(file)),
                QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Cancel);
            if (answer != QMessageBox::Yes)
                continue;
            mode = MapWriter::Append;
        } else if (seen.exists) {
            const auto answer = QMessageBox::warning(
                m_parent, tr("Create tags"),
                tr("The register map %1 exists but cannot be read:\n%2\n\nReplace it with a new "
                   "map of the new tags only? The present file is kept as a backup.")
                    .arg(nativePath(file), seen.loadError),
                QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Cancel);
            if (answer != QMessageBox::Yes)
                continue;
            mode = MapWriter::Replace;
        }

        struct Outcome
        {
            bool ok = false;
            QString backup;
            QString error;
        };
        const Outcome done = runBusy<Outcome>(
            m_parent, tr("Writing %1…").arg(QFileInfo(file).fileName()),
            [folder, version, tags, mode] {
                Outcome o;
                o.ok = MapWriter::write(folder, version, tags, mode, &o.backup, &o.error);
                return o;
            });
        if (!done.ok) {
            dialog.setProblem(done.error);
            report(done.error, true);
            continue;
        }
        report(done.backup.isEmpty()
                   ? tr("%n tag(s) written to the new register map %1.", nullptr, tags.size())
                         .arg(nativePath(file))
                   : tr("%n tag(s) added to %1; the previous file is kept as %2.", nullptr, tags.size())
                         .arg(nativePath(file), nativePath(done.backup)),
               false);
        mapChanged(version);
        return;
    }
}

void MapFileActions::importRegisterMap()
{
    if (!authorised(tr("Importing a register map")))
        return;
    const QString file = QFileDialog::getOpenFileName(m_parent, tr("Import register map"), m_lastFolder,
                                                      tr("Register maps (*.xml);;All files (*)"));
    if (file.isEmpty())
        return;
    m_lastFolder = QFileInfo(file).absolutePath();

    QString version = FileImport::versionFromName(FileImport::RegisterMap, file);
    if (version.isEmpty()) {
        bool ok = false;
        const QString suggested = runBusy<QString>(m_parent, tr("Reading %1…").arg(QFileInfo(file).fileName()),
                                                   [file] { return FileImport::rootVersion(file); });
        version = QInputDialog::getText(
                      m_parent, tr("Import register map"),
                      tr("The file name %1 carries no device version.\nDevice version of this map "
                         "(it becomes base_v<version>.xml):")
                          .arg(QFileInfo(file).fileName()),
                      QLineEdit::Normal, suggested, &ok)
                      .trimmed();
        if (!ok)
            return;
    }
    if (!WorkspaceController::isUsableVersion(version)) {
        report(tr("\"%1\" cannot name a register map: use letters, digits, \".\", \"-\" and \"_\".")
                   .arg(version.left(40)),
               true);
        return;
    }
    const FileImport::Result checked = runBusy<FileImport::Result>(
        m_parent, tr("Checking %1…").arg(QFileInfo(file).fileName()),
        [file, version] { return FileImport::checkMap(file, version); });
    if (!checked.ok) {
        const QString text = tr("%1 is not a usable register map of version %2; nothing was copied.\n%3")
                                 .arg(nativePath(file), version, checked.error);
        QMessageBox::warning(m_parent, tr("Import register map"), text);
        report(text, true);
        return;
    }
    const QString folder = Pointbook::PointbookPlugin::registerMapFolder();
    const QString target = FileImport::targetName(FileImport::RegisterMap, version);
    if (QFileInfo::exists(QDir(folder).absoluteFilePath(target))) {
        const auto answer = QMessageBox::question(
            m_parent, tr("Import register map"),
            tr("A register map of version %1 exists (%2). Replace it with %3 (%n tag(s))?\n\n"
               "The present file is kept as a backup.",
               nullptr, checked.entries)
                .arg(version, target, QFileInfo(file).fileName()),
            QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Cancel);
        if (answer != QMessageBox::Yes)
            return;
    }
    QString backup;
    QString error;
    if (!FileImport::install(file, folder, target, &backup, &error)) {
        report(error, true);
        return;
    }
    report(backup.isEmpty()
               ? tr("Register map of version %1 imported as %2 (%n tag(s)).", nullptr, checked.entries)
                     .arg(version, target)
               : tr("Register map of version %1 imported as %2 (%n tag(s)); the previous file is "
                    "kept as %3.",
                    nullptr, checked.entries)
                     .arg(version, target, nativePath(backup)),
           false);
    mapChanged(version);
}

void MapFileActions::importAccessFile()
{
    if (!authorised(tr("Importing an access file")))
        return;
    const QString file = QFileDialog::getOpenFileName(
        m_parent, tr("Import access file"), m_lastFolder,
        tr("Access files (clearance.xml *_v*.xml);;XML files (*.xml);;All files (*)"));
    if (file.isEmpty())
        return;
    m_lastFolder = QFileInfo(file).absolutePath();
    const QString name = QFileInfo(file).fileName();
    const QString folder = Clearance::ClearancePlugin::clearanceFolder();
    Clearance::ClearancePlugin *levels = Clearance::ClearancePlugin::instance();

    const bool list = runBusy<bool>(m_parent, tr("Reading %1…").arg(name),
                                    [file] { return FileImport::isAccessList(file); });
    FileImport::Kind kind = list ? FileImport::AccessList : FileImport::AccessRights;
    QString level;
    QString version;
    if (!list) {
        version = FileImport::versionFromName(FileImport::AccessRights, file, &level);
        if (version.isEmpty()) {
            QStringList known = levels ? levels->clearances().keys() : QStringList();
            known.sort();
            bool ok = false;
            level = QInputDialog::getItem(m_parent, tr("Import access file"),
                                          tr("The file name %1 carries no level and version.\n"
                                             "Access level whose rights it holds:")
                                              .arg(name),
                                          known, 0, true, &ok)
                        .trimmed();
            if (!ok)
                return;
            const QString suggested = FileImport::rootVersion(file);
            version = QInputDialog::getText(m_parent, tr("Import access file"),
                                            tr("Device version of these rights:"), QLineEdit::Normal,
                                            suggested, &ok)
                          .trimmed();
            if (!ok)
                return;
        }
        if (level.isEmpty() || !Clearance::ClearancePlugin::isSafeFileNamePart(level)
            || !WorkspaceController::isUsableVersion(version)) {
            report(tr("\"%1\" and \"%2\" cannot name an access file.").arg(level.left(40), version.left(40)),
                   true);
            return;
        }
    }
    const FileImport::Result checked = runBusy<FileImport::Result>(
        m_parent, tr("Checking %1…").arg(name), [file, kind, version] {
            return kind == FileImport::AccessList ? FileImport::checkAccessList(file)
                                                  : FileImport::checkRights(file, version);
        });
    if (!checked.ok) {
        const QString text = tr("%1 is not a usable access file; nothing was copied.\n%2")
                                 .arg(nativePath(file), checked.error);
        QMessageBox::warning(m_parent, tr("Import access file"), text);
        report(text, true);
        return;
    }
    const QString target = FileImport::targetName(kind, version, level);
    if (QFileInfo::exists(QDir(folder).absoluteFilePath(target))) {
        const auto answer = QMessageBox::question(
            m_parent, tr("Import access file"),
            tr("%1 exists. Replace it with %2?\n\nThe present file is kept as a backup.").arg(target, name),
            QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Cancel);
        if (answer != QMessageBox::Yes)
            return;
    }
    QString backup;
    QString error;
    if (!FileImport::install(file, folder, target, &backup, &error)) {
        report(error, true);
        return;
    }
    report(backup.isEmpty() ? tr("Access file imported as %1.").arg(target)
                            : tr("Access file imported as %1; the previous file is kept as %2.")
                                  .arg(target, nativePath(backup)),
           false);
    if (levels) {
        if (kind == FileImport::AccessList)
            levels->readClearance();
        else if (levels->version() == version)
            levels->setVersion(version);
    }
}

void MapFileActions::openRegisterMapFolder()
{
    const QString folder = Pointbook::PointbookPlugin::registerMapFolder();
    QDir().mkpath(folder);
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        report(tr("No file manager could be started. The register maps are in %1").arg(nativePath(folder)),
               true);
}

} // namespace Browser
