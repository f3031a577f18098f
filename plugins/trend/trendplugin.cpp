#include "trendplugin.h"
#include "csvexporter.h"
#include "historyrangedialog.h"
#include "recorder.h"
#include "trendchartview.h"
#include "trenddock.h"
#include "tagsettingsdialog.h"

#include <core/actioncontainer.h>
#include <core/actionmanager.h>
#include <core/command.h>
#include <core/context.h>
#include <core/icore.h>
#include <core/mainwindow.h>
#include <core/settingsdatabase.h>
#include <pointbook/basetag.h>
#include <pointbook/pointbookplugin.h>
#include <pointbook/statusupdatebase.h>
#include <pointbook/tagbase.h>
#include <popnote/popnoteplugin.h>
#include <sqlstore/databaseconnection.h>
#include <sqlstore/sqlstoreplugin.h>
#include <workspace/connectionstatuswidget.h>
#include <workspace/tagfiltermodel.h>
#include <workspace/tagtablemodel.h>
#include <workspace/workspacecontroller.h>
#include <workspace/workspacepage.h>
#include <workspace/workspaceplugin.h>

#include <QAction>
#include <QDateTime>
#include <QFileDialog>
#include <QMessageBox>
#include <QPainter>
#include <QProgressDialog>
#include <QtMath>
#include <QMainWindow>
#include <QToolBar>
#include <QTreeView>

using Pointbook::Tag;
using Sqlstore::Internal::DataBaseConnection;
using Sqlstore::Internal::IDataBaseTransaction;
using Rows = QVector<QVector<QVariant> >;
using Workspace::TagTableModel;
using Workspace::WorkspaceController;

namespace Trend {

namespace {
TrendPlugin *s_instance = nullptr;
const char SettingsGroup[] = "Trend";
const char ChangesOnlyKey[] = "RecordChangesOnly";
const char DaysKey[] = "RetentionDays";
const char MegabytesKey[] = "RetentionMB";
const char DeadbandSuffix[] = "_deadband";

QString deadbandGroup(const QString &version)
{
    return QLatin1String(SettingsGroup) + QLatin1Char('/') + version;
}

WorkspaceController *controller()
{
    Workspace::WorkspacePlugin *workspace = Workspace::WorkspacePlugin::instance();
    return workspace ? workspace->controller() : nullptr;
}

// A red dot while recording, a grey ring while not: a checked tool button
// alone was too quiet a sign that every value is being stored.
QIcon recordIcon()
{
    const auto dot = [](bool on) {
        QPixmap pixmap(32, 32);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(on ? QColor(0xa0, 0x10, 0x10) : QColor(0x80, 0x80, 0x80), 3));
        painter.setBrush(on ? QColor(0xe0, 0x20, 0x20) : QColor(Qt::transparent));
        painter.drawEllipse(QRectF(5.5, 5.5, 21, 21));
        return pixmap;
    };
    QIcon icon;
    icon.addPixmap(dot(false), QIcon::Normal, QIcon::Off);
    icon.addPixmap(dot(true), QIcon::Normal, QIcon::On);
    return icon;
}
// Every tag row of the table (register table, then kind, then tag), with
// the index of the given column in that row.
template<typename Visit>
void forEachTagRow(const TagTableModel *model, int column, Visit visit)
{
    for (int t = 0; t < model->rowCount(); ++t) {
        const QModelIndex table = model->index(t, 0);
        for (int k = 0; k < model->rowCount(table); ++k) {
            const QModelIndex kind = model->index(k, 0, table);
            for (int r = 0; r < model->rowCount(kind); ++r) {
                const QModelIndex cell = model->index(r, column, kind);
                if (Tag *tag = model->tagAt(cell))
                    visit(cell, tag);
            }
        }
    }
}

} // namespace

TrendPlugin::TrendPlugin()
{
    s_instance = this;
}

TrendPlugin::~TrendPlugin()
{
    if (m_toolBar && !m_toolBar->parent())
        delete m_toolBar;
    if (s_instance == this)
        s_instance = nullptr;
}

TrendPlugin *TrendPlugin::instance()
{
    return s_instance;
}

bool TrendPlugin::initialize(const QStringList &arguments, QString *errorString)
{
    Q_UNUSED(errorString)
    m_recordOnConnect = arguments.contains(QStringLiteral("-record"));

    m_recorder = new Recorder(this);
    if (auto *sqlstore = Sqlstore::Internal::SqlstorePlugin::instance())
        m_recorder->setConnection(sqlstore->dataBaseConnection());
    if (Core::SettingsDatabase *database = Core::ICore::settingsDatabase()) {
        database->beginGroup(QLatin1String(SettingsGroup));
        m_recorder->setChangesOnly(database->value(QLatin1String(ChangesOnlyKey), false).toBool());
        m_recorder->setRetention(
            database->value(QLatin1String(DaysKey), Recorder::DefaultMaxDays).toInt(),
            database->value(QLatin1String(MegabytesKey), int(Recorder::DefaultMaxBytes >> 20)).toLongLong() << 20);
        database->endGroup();
    }

    connect(m_recorder, &Recorder::failed, this, [](const QString &reason) {
        Popnote::PopnotePlugin::notify(tr("Recording"), tr("Recording stopped: %1").arg(reason),
                                       Popnote::PopnotePlugin::Error);
    });

    if (Pointbook::PointbookPlugin *pointbook = Pointbook::PointbookPlugin::instance()) {
        if (Pointbook::TagBase *engine = pointbook->tagBase()) {
            connect(engine, &Pointbook::TagBase::updateAllBase, m_recorder, &Recorder::passEnded);
            connect(engine, &Pointbook::TagBase::updateAllBase, this, [this] {
                if (m_dock)
                    m_dock->chartView()->passEnded();
            });
        }
    }
    if (WorkspaceController *workspace = controller()) {
        connect(workspace, &WorkspaceController::phaseChanged, this,
                [this](WorkspaceController::Phase phase) {
                    if (phase != WorkspaceController::Running)
                        return;
                    updateTags();
                    if (m_recordOnConnect) {
                        m_recordOnConnect = false;
                        setRecording(true);
                    }
                });
        // Rights or a reloaded map change the rows.
        connect(workspace->model(), &QAbstractItemModel::modelReset, this, &TrendPlugin::updateTags);
    }

    createActions();
    auto *window = qobject_cast<Core::Internal::MainWindow *>(Core::ICore::mainWindow());
    m_dock = new TrendDock(window);
    // Closed on the first start, so that the tag table keeps the window;
    // the saved window state reopens it when it was open at the last end.
    m_dock->hide();
    if (window)
        window->addDock(m_dock, Qt::BottomDockWidgetArea);
    connect(m_dock.data(), &TrendDock::historyRequested, this, &TrendPlugin::showHistoryChoice);
    connect(m_dock.data(), &TrendDock::liveRequested, this, [this] {
        m_dock->chartView()->showLive();
        updateChart();
    });
    connect(this, &TrendPlugin::tagSettingsChanged, this, &TrendPlugin::updateChart);
    updateChart();
    return true;
}

void TrendPlugin::updateChart()
{
    if (!m_dock || m_dock->chartView()->isHistory())
        return;
    QList<Tag *> charted;
    for (Tag *tag : visibleTags()) {
        if (tag->visibleChart() && tag->count() <= 1)
            charted.append(tag);
    }
    m_dock->chartView()->setTags(charted);
    m_dock->setCaption(charted.isEmpty()
                           ? tr("No tag is charted: choose \"Tag settings…\" on a row of the table "
                                "and tick \"Show in the trend chart\".")
                           : tr("Live: %n tag(s)", nullptr, charted.size()));
}

void TrendPlugin::createActions()
{
    m_toolBar = new QToolBar(tr("Trend"));
    m_toolBar->setObjectName(QStringLiteral("toolBarTrend"));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toolBar->setIconSize(QSize(16, 16));
    m_record = m_toolBar->addAction(recordIcon(), tr("Record"));
    m_record->setObjectName(QStringLiteral("actionRecord"));
    m_record->setCheckable(true);
    m_record->setToolTip(tr("Store every polled value of the shown tags in the database"));
    connect(m_record, &QAction::triggered, this, &TrendPlugin::setRecording);
    connect(m_recorder, &Recorder::stateChanged, m_record,
            [this](Recorder::State state) { m_record->setChecked(state != Recorder::Off); });

    if (auto *window = qobject_cast<QMainWindow *>(Core::ICore::mainWindow()))
        window->addToolBar(Qt::TopToolBarArea, m_toolBar);

    m_exportTable = new QAction(tr("Export table to CSV…"), this);
    m_exportTable->setObjectName(QStringLiteral("actionExportTable"));
    connect(m_exportTable, &QAction::triggered, this, [this] {
        const QString name = QFileDialog::getSaveFileName(Core::ICore::mainWindow(), tr("Export table"),
                                                          QString(), tr("CSV files (*.csv)"));
        QString error;
        if (!name.isEmpty() && !exportTable(name, &error))
            Popnote::PopnotePlugin::notify(tr("Export"), tr("The table could not be exported: %1").arg(error),
                                           Popnote::PopnotePlugin::Error);
    });
    m_exportRecording = new QAction(tr("Export recording to CSV…"), this);
    m_exportRecording->setObjectName(QStringLiteral("actionExportRecording"));
    connect(m_exportRecording, &QAction::triggered, this, &TrendPlugin::showExportChoice);
    Core::ActionContainer *file = Core::ActionManager::actionContainer("App.Menu.File");
    const Core::Context global(Core::Id("Global Context"));
    const struct { QAction *action; const char *id; } entries[] = {
        {m_exportTable, "App.Trend.ExportTable"}, {m_exportRecording, "App.Trend.ExportRecording"}};
    for (const auto &entry : entries) {
        Core::Command *command = Core::ActionManager::registerAction(entry.action, entry.id, global);
        if (file && command)
            file->addAction(command, "App.Group.File.Save");
    }

    // On the rows of the live table, beside what other plug-ins put there.
    Workspace::WorkspacePlugin *workspace = Workspace::WorkspacePlugin::instance();
    if (workspace && workspace->page()) {
        QTreeView *view = workspace->page()->view();
        m_tagSettings = new QAction(tr("Tag settings…"), view);
        m_tagSettings->setObjectName(QStringLiteral("actionTagSettings"));
        view->setContextMenuPolicy(Qt::ActionsContextMenu);
        view->addAction(m_tagSettings);
        connect(m_tagSettings, &QAction::triggered, this, [this, workspace] {
            Workspace::WorkspacePage *page = workspace->page();
            const QModelIndex index = page->filterModel()->mapToSource(page->view()->currentIndex());
            if (Tag *tag = workspace->controller()->model()->tagAt(index))
                showTagSettings(tag);
        });
    }
}

TagSettingsDialog *TrendPlugin::showTagSettings(Tag *tag)
{
    if (!tag)
        return nullptr;
    auto *dialog = new TagSettingsDialog(tag, deadband(tag), Core::ICore::mainWindow());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] { applyTagSettings(dialog); });
    dialog->open();
    return dialog;
}

void TrendPlugin::applyTagSettings(TagSettingsDialog *dialog)
{
    if (!dialog || !dialog->apply())
        return;
    Tag *tag = dialog->tag();
    setDeadband(tag, dialog->deadband());
    // Stored at once, so a reload of the map or a crash keeps them.
    Pointbook::PointbookPlugin *pointbook = Pointbook::PointbookPlugin::instance();
    if (pointbook && !pointbook->version().isEmpty())
        pointbook->writeSettingsTagBase(pointbook->version());
    emit tagSettingsChanged(tag);
}

void TrendPlugin::extensionsInitialized()
{
}

ExtensionSystem::IPlugin::ShutdownFlag TrendPlugin::aboutToShutdown()
{
    // The database driver stops after this plug-in and still runs what was
    // queued: the last passes are kept.
    if (m_recorder)
        m_recorder->stop(true);
    return SynchronousShutdown;
}

QString TrendPlugin::version() const
{
    WorkspaceController *workspace = controller();
    return workspace && workspace->phase() == WorkspaceController::Running ? workspace->version()
                                                                           : QString();
}

QList<Tag *> TrendPlugin::visibleTags() const
{
    QList<Tag *> tags;
    if (WorkspaceController *workspace = controller())
        forEachTagRow(workspace->model(), 0, [&tags](const QModelIndex &, Tag *tag) { tags.append(tag); });
    return tags;
}

void TrendPlugin::updateTags()
{
    const QString current = version();
    if (current.isEmpty())
        return;
    m_recorder->setTags(current, visibleTags());
    loadDeadbands();
    updateChart();
}

void TrendPlugin::loadDeadbands()
{
    Core::SettingsDatabase *database = Core::ICore::settingsDatabase();
    const QString current = version();
    if (!database || current.isEmpty())
        return;
    database->beginGroup(deadbandGroup(current));
    for (Tag *tag : visibleTags()) {
        const QString key = Recorder::tagKey(tag->registerType(), tag->Id()) + QLatin1String(DeadbandSuffix);
        m_recorder->setDeadband(tag->registerType(), tag->Id(), database->value(key, 0.0).toDouble());
    }
    database->endGroup();
}

double TrendPlugin::deadband(const Tag *tag) const
{
    return tag ? m_recorder->deadband(tag->registerType(), tag->Id()) : 0.0;
}

void TrendPlugin::setDeadband(const Tag *tag, double deadband)
{
    if (!tag)
        return;
    m_recorder->setDeadband(tag->registerType(), tag->Id(), deadband);
    Core::SettingsDatabase *database = Core::ICore::settingsDatabase();
    const QString current = version();
    if (!database || current.isEmpty())
        return;
    database->beginGroup(deadbandGroup(current));
    database->setValue(Recorder::tagKey(tag->registerType(), tag->Id()) + QLatin1String(DeadbandSuffix),
                       m_recorder->deadband(tag->registerType(), tag->Id()));
    database->endGroup();
}

void TrendPlugin::setChangesOnly(bool on)
{
    m_recorder->setChangesOnly(on);
    if (Core::SettingsDatabase *database = Core::ICore::settingsDatabase()) {
        database->beginGroup(QLatin1String(SettingsGroup));
        database->setValue(QLatin1String(ChangesOnlyKey), on);
        database->endGroup();
    }
}

void TrendPlugin::setRetention(int maxDays, int maxMegabytes)
{
    m_recorder->setRetention(maxDays, qint64(qMax(0, maxMegabytes)) << 20);
    if (Core::SettingsDatabase *database = Core::ICore::settingsDatabase()) {
        database->beginGroup(QLatin1String(SettingsGroup));
        database->setValue(QLatin1String(DaysKey), m_recorder->maxDays());
        database->setValue(QLatin1String(MegabytesKey), maxMegabytes);
        database->endGroup();
    }
}

void TrendPlugin::setRecording(bool on)
{
    if (on) {
        updateTags();
        if (!m_recorder->start())
            m_record->setChecked(false);
    } else {
        m_recorder->stop();
    }
}

bool TrendPlugin::exportTable(const QString &fileName, QString *error)
{
    // The values as the table shows them: empty where it shows none, marked
    // where it shows them as stale.
    QVector<CsvExporter::TableRow> rows;
    if (WorkspaceController *workspace = controller())
        forEachTagRow(workspace->model(), TagTableModel::ValueColumn, [&rows](const QModelIndex &value, Tag *tag) {
            rows.append({tag, !value.data(Qt::DisplayRole).toString().isEmpty(),
                         value.data(TagTableModel::StaleRole).toBool()});
        });
    return CsvExporter::writeTable(fileName, rows, QDateTime::currentMSecsSinceEpoch(), error);
}

void TrendPlugin::showHistoryChoice()
{
    chooseRecorded(false);
}

void TrendPlugin::showExportChoice()
{
    chooseRecorded(true);
}

// Asks the database which tags were recorded (for the connected version, or
// all), then lets the user choose tags and a range.
void TrendPlugin::chooseRecorded(bool forExport)
{
    auto *sql = Sqlstore::Internal::SqlstorePlugin::instance();
    // The history is shown from the team's server when one is configured
    // (every station's tags); the export writes the local file's rows.
    const bool server = sql && sql->usesServer() && !forExport;
    DataBaseConnection *db = sql ? (server ? sql->readConnection() : sql->dataBaseConnection()) : nullptr;
    if (db && server) {
        if (IDataBaseTransaction *create = db->customCommandNotReturnData(QStringLiteral("SELECT 1"))) {
            create->setSqlQueryList(Recorder::serverSchema());
            connect(create, static_cast<void (IDataBaseTransaction::*)(bool)>(&IDataBaseTransaction::transactionExecutionEnded),
                    this, [create](bool) { create->setStatus(IDataBaseTransaction::Completed); });
            db->addTransactionExec(create);
        }
    }
    IDataBaseTransaction *query = db ? db->customCommandReturnData(
        QStringLiteral("SELECT id, register_type, tag_id, name, unit, device_version%1 FROM history_tag %2 ORDER BY id")
            .arg(server ? QStringLiteral(", station") : QString(),
                 version().isEmpty() ? QString()
                                     : QStringLiteral("WHERE device_version = ")
                                           + IDataBaseTransaction::protect(version())))
                                     : nullptr;
    if (!query) {
        Popnote::PopnotePlugin::notify(tr("Recording"), tr("The database is not available."),
                                       Popnote::PopnotePlugin::Error);
        return;
    }
    using EndedWithRows = void (IDataBaseTransaction::*)(bool, QVector<QVector<QVariant> >);
    connect(query, static_cast<EndedWithRows>(&IDataBaseTransaction::transactionExecutionEnded), this,
            [this, query, forExport, server](bool, const Rows &rows) {
                query->setStatus(IDataBaseTransaction::Completed);
                QVector<HistoryRangeDialog::RecordedTag> tags;
                for (const QVector<QVariant> &row : rows) {
                    if (row.size() < 6)
                        continue;
                    HistoryRangeDialog::RecordedTag tag;
                    tag.dbId = row.at(0).toLongLong();
                    tag.registerType = row.at(1).toString();
                    tag.id = row.at(2).toString();
                    tag.name = version().isEmpty() ? tr("%1 (v%2)").arg(row.at(3).toString(), row.at(5).toString())
                                                   : row.at(3).toString();
                    tag.unit = row.at(4).toString();
                    if (row.size() > 6)
                        tag.name = tr("%1 — %2").arg(tag.name, row.at(6).toString());
                    tags.append(tag);
                }
                const QDateTime now = QDateTime::currentDateTime();
                auto *dialog = new HistoryRangeDialog(tags, now.addSecs(-3600), now, Core::ICore::mainWindow());
                dialog->setWindowTitle(forExport ? tr("Export recording") : tr("Show history"));
                dialog->setAttribute(Qt::WA_DeleteOnClose);
                QStringList charted;
                for (Tag *tag : visibleTags()) {
                    if (tag->visibleChart())
                        charted.append(tag->Id());
                }
                dialog->setChosen(charted);
                connect(dialog, &QDialog::accepted, this, [this, dialog, forExport, server] {
                    const auto chosen = dialog->chosenTags();
                    const qint64 from = dialog->fromMs();
                    const qint64 to = dialog->toMs();
                    QVector<qint64> ids;
                    QStringList names, units;
                    QVector<CsvExporter::Column> columns;
                    const QList<Tag *> live = visibleTags();
                    for (const auto &tag : chosen) {
                        ids.append(tag.dbId);
                        names.append(tag.name);
                        units.append(tag.unit);
                        CsvExporter::Column column;
                        column.dbId = tag.dbId;
                        column.name = tag.name;
                        column.unit = tag.unit;
                        for (Tag *t : live) {
                            if (t->Id() == tag.id && Tag::registerTypeToString(t->registerType()) == tag.registerType) {
                                const CsvExporter::Column own = CsvExporter::columnOf(t);
                                column.precision = own.precision;
                                column.integral = own.integral;
                            }
                        }
                        columns.append(column);
                    }
                    if (!forExport) {
                        loadHistory(ids, names, units, from, to, server);
                        return;
                    }
                    const QString fileName = QFileDialog::getSaveFileName(
                        Core::ICore::mainWindow(), tr("Export recording"), QString(), tr("CSV files (*.csv)"));
                    if (fileName.isEmpty())
                        return;
                    auto *window = qobject_cast<Core::Internal::MainWindow *>(Core::ICore::mainWindow());
                    if (!window)
                        return;
                    auto *exporter = new CsvExporter(this);
                    auto *progress = new QProgressDialog(tr("Exporting the recording…"), tr("Cancel"), 0, 1000, window);
                    progress->setObjectName(QStringLiteral("ExportProgress"));
                    progress->setWindowModality(Qt::WindowModal);
                    progress->setMinimumDuration(300);
                    progress->setAttribute(Qt::WA_DeleteOnClose);
                    connect(exporter, &CsvExporter::progress, progress, &QProgressDialog::setValue);
                    connect(progress, &QProgressDialog::canceled, exporter, &CsvExporter::cancel);
                    connect(exporter, &CsvExporter::finished, this, [exporter, progress, fileName](bool ok, const QString &error) {
                        if (progress)
                            progress->close();
                        if (ok)
                            Popnote::PopnotePlugin::notify(tr("Export"), tr("%n row(s) exported to %1.", nullptr,
                                                                            int(exporter->rowsWritten())).arg(fileName),
                                                           Popnote::PopnotePlugin::Information);
                        else if (!exporter->isCancelled())
                            Popnote::PopnotePlugin::notify(tr("Export"), tr("The recording could not be exported: %1").arg(error),
                                                           Popnote::PopnotePlugin::Error);
                        exporter->deleteLater();
                    });
                    exporter->exportAsync(Sqlstore::Internal::SqlstorePlugin::databaseFile(window->workPath()),
                                          fileName, columns, from, to);
                });
                dialog->open();
            });
    db->addTransactionExec(query);
}

// Reads the range thinned to about 2,000 points a tag (averages over equal
// time buckets) and shows it; a pause much longer than usual is a gap.
void TrendPlugin::loadHistory(const QVector<qint64> &ids, const QStringList &names, const QStringList &units,
                              qint64 fromMs, qint64 toMs, bool fromServer)
{
    auto *sql = Sqlstore::Internal::SqlstorePlugin::instance();
    DataBaseConnection *db = sql ? (fromServer ? sql->serverConnection() : sql->dataBaseConnection()) : nullptr;
    if (!db || ids.isEmpty() || !m_dock)
        return;
    QStringList idList;
    for (qint64 id : ids)
        idList.append(QString::number(id));
    const qint64 bucket = qMax<qint64>(1, (toMs - fromMs) / 2000);
    IDataBaseTransaction *query = db->customCommandReturnData(
        QStringLiteral("SELECT tag, MIN(time_ms), AVG(value) FROM history WHERE tag IN (%1) AND time_ms >= %2 "
                       "AND time_ms <= %3 GROUP BY tag, time_ms / %4 ORDER BY tag, 2")
            .arg(idList.join(QLatin1Char(','))).arg(fromMs).arg(toMs).arg(bucket));
    if (!query)
        return;
    using EndedWithRows = void (IDataBaseTransaction::*)(bool, QVector<QVector<QVariant> >);
    connect(query, static_cast<EndedWithRows>(&IDataBaseTransaction::transactionExecutionEnded), this,
            [=](bool ok, const Rows &rows) {
                query->setStatus(IDataBaseTransaction::Completed);
                if (!ok || !m_dock) {
                    Popnote::PopnotePlugin::notify(tr("Recording"), tr("The recording could not be read."),
                                                   Popnote::PopnotePlugin::Error);
                    return;
                }
                QHash<qint64, QVector<QPointF>> points;
                for (const QVector<QVariant> &row : rows) {
                    if (row.size() == 3)
                        points[row.at(0).toLongLong()].append(
                            QPointF(row.at(1).toDouble(), row.at(2).isNull() ? qQNaN() : row.at(2).toDouble()));
                }
                QVector<TrendChartView::HistoryTrack> tracks;
                const QList<Tag *> live = visibleTags();
                for (int i = 0; i < ids.size(); ++i) {
                    TrendChartView::HistoryTrack track;
                    track.name = names.value(i);
                    track.unit = units.value(i);
                    track.color = TrendChartView::colorFor(nullptr, i);
                    for (Tag *t : live) {
                        if (t->name() == track.name && t->colorChart().alpha() > 0)
                            track.color = t->colorChart();
                    }
                    const QVector<QPointF> raw = points.value(ids.at(i));
                    QVector<double> steps;
                    for (int k = 1; k < raw.size(); ++k)
                        steps.append(raw.at(k).x() - raw.at(k - 1).x());
                    std::sort(steps.begin(), steps.end());
                    const double usual = steps.isEmpty() ? 0.0 : steps.at(steps.size() / 2);
                    const double gap = qMax(2.0 * double(bucket), 5.0 * usual);
                    for (int k = 0; k < raw.size(); ++k) {
                        if (k > 0 && raw.at(k).x() - raw.at(k - 1).x() > gap)
                            track.points.append(QPointF(raw.at(k - 1).x() + 1, qQNaN()));
                        track.points.append(raw.at(k));
                    }
                    tracks.append(track);
                }
                m_dock->chartView()->showHistory(tracks, fromMs, toMs);
                m_dock->setCaption(tr("History from %1 to %2")
                                       .arg(QDateTime::fromMSecsSinceEpoch(fromMs).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")),
                                            QDateTime::fromMSecsSinceEpoch(toMs).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))));
                m_dock->show();
            });
    db->addTransactionExec(query);
}

} // namespace Trend
