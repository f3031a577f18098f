#include "workspacepage.h"
#include "connectiondialog.h"
#include "connectionhistory.h"
#include "tagfiltermodel.h"
#include "tagtablemodel.h"
#include "tagtreeview.h"
#include "tagvaluedelegate.h"
#include "workspacecontroller.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace Workspace {

namespace {
Q_LOGGING_CATEGORY(lcView, "workspace.view")
} // namespace

WorkspacePage::WorkspacePage(WorkspaceController *controller, QWidget *parent)
    : QWidget(parent)
    , m_controller(controller)
{
    setObjectName(QStringLiteral("WorkspacePage"));

    m_toolBar = new QToolBar(this);
    m_toolBar->setObjectName(QStringLiteral("toolBarWorkspace"));
    m_connect = m_toolBar->addAction(tr("Connect…"));
    m_connect->setObjectName(QStringLiteral("actionConnect"));
    m_connect->setToolTip(tr("Connect to a device over Modbus TCP or RTU"));
    m_disconnect = m_toolBar->addAction(tr("Disconnect"));
    m_disconnect->setObjectName(QStringLiteral("actionDisconnect"));
    m_demo = m_toolBar->addAction(tr("Demo device"));
    m_demo->setObjectName(QStringLiteral("actionDemo"));
    m_demo->setToolTip(tr("Start the built-in device simulator and connect to it"));
    m_toolBar->addSeparator();
    m_version = m_toolBar->addAction(tr("Device version…"));
    m_version->setObjectName(QStringLiteral("actionVersion"));
    m_version->setToolTip(tr("Choose the register map by hand"));
    m_toolBar->addSeparator();
    m_polling = m_toolBar->addAction(tr("Polling"));
    m_polling->setObjectName(QStringLiteral("actionPolling"));
    m_polling->setCheckable(true);
    m_polling->setToolTip(tr("Start or stop polling the device"));
    m_singleRead = m_toolBar->addAction(tr("Read once"));
    m_singleRead->setObjectName(QStringLiteral("actionSingleRead"));
    m_toolBar->addWidget(new QLabel(tr(" Period: "), m_toolBar));
    m_period = new QSpinBox(m_toolBar);
    m_period->setObjectName(QStringLiteral("spinBoxPeriod"));
    m_period->setRange(0, WorkspaceController::MaxPollingPeriodMs);
    m_period->setSingleStep(100);
    m_period->setSuffix(tr(" ms"));
    m_period->setSpecialValueText(tr("continuous"));
    m_period->setValue(controller->pollingPeriod());
    m_period->setToolTip(tr("0: passes back to back; otherwise one pass per period"));
    m_toolBar->addWidget(m_period);

    m_mapLabel = new QLabel(this);
    m_mapLabel->setObjectName(QStringLiteral("labelMap"));
    m_mapLabel->setWordWrap(true);

    m_filterEdit = new QLineEdit(this);
    m_filterEdit->setObjectName(QStringLiteral("lineEditFilter"));
    m_filterEdit->setPlaceholderText(tr("Filter by name, id, description, unit or address"));
    m_filterEdit->setClearButtonEnabled(true);

    m_filter = new TagFilterModel(this);
    m_filter->setSourceModel(controller->model());
    m_view = new TagTreeView(this);
    m_view->setObjectName(QStringLiteral("treeViewTags"));
    m_view->setModel(m_filter);
    m_view->setUniformRowHeights(true); // keeps large tables cheap to lay out
    m_view->setAlternatingRowColors(true);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->header()->setStretchLastSection(true);
    m_view->setColumnWidth(TagTableModel::NameColumn, 240);
    m_view->setColumnWidth(TagTableModel::ValueColumn, 140);
    m_view->setColumnWidth(TagTableModel::RawColumn, 130);
    // Values are edited in their own cell, wherever in the row the user
    // double-clicks or presses F2.
    m_delegate = new TagValueDelegate(controller->model(), this);
    m_view->setItemDelegateForColumn(TagTableModel::ValueColumn, m_delegate);
    m_view->setEditTriggers(QAbstractItemView::DoubleClicked);
    connect(m_view, &QTreeView::doubleClicked, this, [this](const QModelIndex &index) {
        if (index.column() != TagTableModel::ValueColumn)
            m_view->edit(index.sibling(index.row(), TagTableModel::ValueColumn));
    });
    // A value that cannot be changed says why at once, and the attempt on
    // a writable table is recorded with that reason.
    connect(m_view, &TagTreeView::editRefused, this, [this](const QModelIndex &index) {
        if (index.column() != TagTableModel::ValueColumn)
            return;
        TagTableModel *model = m_controller->model();
        const QModelIndex source = m_filter->mapToSource(index);
        const Pointbook::Tag *tag = model->tagAt(source);
        if (!tag)
            return;
        const QString reason = model->notWritableReason(source);
        if (reason.isEmpty())
            return;
        TagValueDelegate::showRefusal(m_view, index, reason);
        if (tag->registerType() == Pointbook::Tag::HR || tag->registerType() == Pointbook::Tag::CO)
            model->refuse(source, QVariant(), reason);
    });
    auto *editValue = new QAction(tr("Write value…"), m_view);
    editValue->setObjectName(QStringLiteral("actionEditValue"));
    editValue->setShortcut(QKeySequence(Qt::Key_F2));
    editValue->setShortcutContext(Qt::WidgetShortcut);
    m_view->addAction(editValue);
    connect(editValue, &QAction::triggered, this, [this]() {
        const QModelIndex current = m_view->currentIndex();
        if (current.isValid())
            m_view->edit(current.sibling(current.row(), TagTableModel::ValueColumn));
    });
    m_view->setColumnWidth(TagTableModel::StateColumn, 280);
    // Unsorted at first: the map's order. A click on a header sorts the tags
    // within their groups.
    m_view->header()->setSortIndicator(-1, Qt::AscendingOrder);
    m_view->setSortingEnabled(true);
    auto *copy = new QAction(tr("Copy"), m_view);
    copy->setObjectName(QStringLiteral("actionCopyRows"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    m_view->addAction(copy);
    connect(copy, &QAction::triggered, this, &WorkspacePage::copySelection);
    // Value and raw columns grow to their widest text (a 64-bit value is
    // never cut), checked after value changes rather than on each one.
    m_fitTimer = new QTimer(this);
    m_fitTimer->setSingleShot(true);
    m_fitTimer->setInterval(500);
    connect(m_fitTimer, &QTimer::timeout, this, &WorkspacePage::fitValueColumns);
    connect(controller->model(), &QAbstractItemModel::dataChanged, m_fitTimer,
            [this] { if (!m_fitTimer->isActive()) m_fitTimer->start(); });
    connect(controller->model(), &QAbstractItemModel::modelReset, m_fitTimer,
            [this] { m_fitTimer->start(); });
    // Rows scrolled or unfolded into view may hold a wider text.
    connect(m_view->verticalScrollBar(), &QScrollBar::valueChanged, m_fitTimer,
            [this] { if (!m_fitTimer->isActive()) m_fitTimer->start(); });
    connect(m_view, &QTreeView::expanded, m_fitTimer, [this] { if (!m_fitTimer->isActive()) m_fitTimer->start(); });

    // Columns other than the name can be shown or hidden from the header.
    QHeaderView *header = m_view->header();
    header->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_stateColumn = nullptr;
    for (int column = TagTableModel::ValueColumn; column < TagTableModel::ColumnCount; ++column) {
        auto *action = new QAction(controller->model()->headerData(column, Qt::Horizontal).toString(), header);
        action->setCheckable(true);
        action->setChecked(true);
        action->setObjectName(QStringLiteral("actionColumn%1").arg(column));
        connect(action, &QAction::toggled, m_view, [this, column](bool shown) {
            m_view->setColumnHidden(column, !shown);
        });
        header->addAction(action);
        if (column == TagTableModel::StateColumn) {
            action->setObjectName(QStringLiteral("actionShowStateColumn"));
            action->setToolTip(tr("Show why a value is missing or old"));
            m_stateColumn = action;
        }
    }

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_toolBar);
    layout->addWidget(m_mapLabel);
    layout->addWidget(m_filterEdit);
    layout->addWidget(m_view, 1);

    connect(m_filterEdit, &QLineEdit::textChanged, m_filter, &TagFilterModel::setFilterText);
    connect(m_filterEdit, &QLineEdit::textChanged, m_view, &QTreeView::expandAll);
    connect(m_filterEdit, &QLineEdit::textChanged, this, &WorkspacePage::updateMapLabel);
    connect(controller->model(), &QAbstractItemModel::modelReset, m_view, &QTreeView::expandAll);
    connect(controller->model(), &QAbstractItemModel::modelReset, this, &WorkspacePage::updateMapLabel);

    connect(m_connect, &QAction::triggered, this, &WorkspacePage::showConnectionDialog);
    connect(m_disconnect, &QAction::triggered, controller, &WorkspaceController::disconnectFromDevice);
    connect(m_demo, &QAction::triggered, this, &WorkspacePage::demoRequested);
    connect(m_version, &QAction::triggered, this, &WorkspacePage::showVersionDialog);
    connect(m_polling, &QAction::triggered, this, [this](bool on) {
        if (on)
            m_controller->startPolling();
        else
            m_controller->stopPolling();
    });
    connect(m_singleRead, &QAction::triggered, controller, &WorkspaceController::singleRead);
    connect(m_period, qOverload<int>(&QSpinBox::valueChanged), controller,
            &WorkspaceController::setPollingPeriod);

    connect(controller, &WorkspaceController::versionChoiceNeeded, this, &WorkspacePage::askVersion);
    connect(controller, &WorkspaceController::phaseChanged, this, &WorkspacePage::updateActions);
    connect(controller, &WorkspaceController::phaseChanged, this, &WorkspacePage::updateMapLabel);
    connect(controller, &WorkspaceController::pollingChanged, this, &WorkspacePage::updateActions);
    connect(controller, &WorkspaceController::problemOccurred, this, &WorkspacePage::updateMapLabel);
    connect(controller, &WorkspaceController::rightsApplied, this, &WorkspacePage::updateMapLabel);
    connect(controller, &WorkspaceController::phaseChanged, this, &WorkspacePage::onPhaseChanged);
    connect(controller->model(), &QAbstractItemModel::dataChanged, this, &WorkspacePage::onValuesChanged);

    m_view->expandAll();
    updateActions();
    updateMapLabel();
}

void WorkspacePage::onPhaseChanged()
{
    if (m_controller->phase() != WorkspaceController::Connecting)
        return;
    // A new link: its first value is reported again, timed from here.
    m_connectClock.start();
    if (m_firstValue == FirstValue::Painting)
        m_view->viewport()->removeEventFilter(this);
    m_firstValue = FirstValue::Awaited;
}

void WorkspacePage::onValuesChanged(const QModelIndex &topLeft)
{
    // The model reports changed rows from the first one changed, so the top
    // left row says whether a value came in fresh from the device (rather
    // than a row turning stale).
    if (m_firstValue != FirstValue::Awaited || !m_controller->model()->isLive()
        || !topLeft.data(TagTableModel::RefreshedRole).toDateTime().isValid()
        || topLeft.data(TagTableModel::StaleRole).toBool())
        return;
    m_firstValue = FirstValue::Painting;
    m_view->viewport()->installEventFilter(this);
}

bool WorkspacePage::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Paint && m_firstValue == FirstValue::Painting
        && watched == m_view->viewport()) {
        m_firstValue = FirstValue::Reported;
        m_view->viewport()->removeEventFilter(this);
        // Reported once the paint under way has ended.
        QTimer::singleShot(0, this, &WorkspacePage::reportFirstValue);
    }
    return QWidget::eventFilter(watched, event);
}

void WorkspacePage::reportFirstValue()
{
    const qint64 ms = m_connectClock.isValid() ? m_connectClock.elapsed() : 0;
    qCInfo(lcView).noquote() << QStringLiteral("First live value shown %1 ms after connecting to %2")
                                    .arg(ms)
                                    .arg(m_controller->profile().displayName());
    emit firstValueShown(ms);
}

void WorkspacePage::showConnectionDialog()
{
    auto *dialog = new ConnectionDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (ConnectionHistory *history = m_controller->history()) {
        const QList<ConnectionProfile> recent = history->recent();
        dialog->setRecent(recent);
        for (const ConnectionProfile &p : recent) {
            if (p.kind() != ConnectionProfile::Demo) {
                dialog->setProfile(p);
                break;
            }
        }
    }
    connect(dialog, &QDialog::accepted, this, [this, dialog] { m_controller->connectTo(dialog->profile()); });
    dialog->open();
}

void WorkspacePage::askVersion(const QStringList &versions, const QString &suggested)
{
    if (!m_prompts || versions.isEmpty())
        return;
    auto *dialog = new QInputDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setObjectName(QStringLiteral("VersionDialog"));
    dialog->setWindowTitle(tr("Device version"));
    dialog->setLabelText(tr("The device did not tell its version. Register maps exist for these "
                            "versions; choose the one of the device:"));
    dialog->setComboBoxItems(versions);
    dialog->setComboBoxEditable(false);
    dialog->setTextValue(versions.contains(suggested) ? suggested : versions.constLast());
    connect(dialog, &QInputDialog::textValueSelected, m_controller, &WorkspaceController::chooseVersion);
    connect(dialog, &QDialog::rejected, this, [this] { m_controller->chooseVersion(QString()); });
    dialog->open();
}

void WorkspacePage::showVersionDialog()
{
    const QStringList versions = m_controller->availableVersions();
    if (versions.isEmpty()) {
        m_mapLabel->setText(tr("There is no register map file in the register map folder."));
        return;
    }
    auto *dialog = new QInputDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setObjectName(QStringLiteral("VersionDialog"));
    dialog->setWindowTitle(tr("Device version"));
    dialog->setLabelText(tr("Register map of version:"));
    dialog->setComboBoxItems(versions);
    dialog->setComboBoxEditable(false);
    if (versions.contains(m_controller->version()))
        dialog->setTextValue(m_controller->version());
    connect(dialog, &QInputDialog::textValueSelected, m_controller, &WorkspaceController::useVersion);
    dialog->open();
}

void WorkspacePage::updateActions()
{
    const auto phase = m_controller->phase();
    const bool linked = phase != WorkspaceController::Idle;
    m_disconnect->setEnabled(linked);
    m_version->setEnabled(linked);
    const bool running = phase == WorkspaceController::Running;
    m_polling->setEnabled(running);
    m_polling->setChecked(running && m_controller->isPolling());
    m_singleRead->setEnabled(running);
}

void WorkspacePage::updateMapLabel()
{
    QString text;
    switch (m_controller->phase()) {
    case WorkspaceController::Idle:
        text = tr("Not connected. Use \"Connect…\" for a device or \"Demo device\" to try the program.");
        break;
    case WorkspaceController::Connecting:
        text = tr("Waiting for the link to %1…").arg(m_controller->profile().displayName());
        break;
    case WorkspaceController::ReadingVersion:
        text = tr("Reading the device version…");
        break;
    case WorkspaceController::LoadingMap:
        text = tr("Loading the register map of version %1…").arg(m_controller->version());
        break;
    case WorkspaceController::Running:
        if (m_filter->filterText().isEmpty())
            text = tr("Device version %1: %n tags shown.", nullptr, m_controller->model()->tagRowCount())
                       .arg(m_controller->version());
        else
            text = tr("Device version %1: %2 of %n tags shown.", nullptr, m_controller->model()->tagRowCount())
                       .arg(m_controller->version())
                       .arg(m_filter->shownTagCount());
        break;
    case WorkspaceController::ChoosingVersion:
    case WorkspaceController::NoMap:
        text = m_controller->problem();
        break;
    }
    m_mapLabel->setText(text);
}

void WorkspacePage::fitValueColumns()
{
    // Only the rows on screen are measured: a table of tens of thousands of
    // rows would otherwise be measured (every value formatted) twice a
    // second. A wider text that scrolls into view widens its column then.
    const QModelIndexList rows = m_view->visibleRows();
    // The access column too: its texts are longer in some languages.
    for (const int column : {int(TagTableModel::ValueColumn), int(TagTableModel::RawColumn),
                             int(TagTableModel::AccessColumn)}) {
        if (m_view->isColumnHidden(column))
            continue;
        int width = m_view->header()->isHidden() ? 0 : m_view->header()->sectionSizeHint(column);
        for (const QModelIndex &row : rows)
            width = qMax(width, m_view->sizeHintForIndex(row.sibling(row.row(), column)).width());
        // Grow only: a column that jumps back and forth with the values
        // would be hard to read.
        if (width > m_view->columnWidth(column))
            m_view->setColumnWidth(column, width);
    }
}

QString WorkspacePage::selectionText() const
{
    QList<int> columns;
    QStringList header;
    for (int c = 0; c < TagTableModel::ColumnCount; ++c) {
        if (m_view->isColumnHidden(c))
            continue;
        columns.append(c);
        header.append(m_filter->headerData(c, Qt::Horizontal).toString());
    }
    QModelIndexList rows = m_view->selectionModel() ? m_view->selectionModel()->selectedRows()
                                                    : QModelIndexList();
    // In the order shown, whatever the order of selecting.
    const auto path = [](QModelIndex i) {
        QVector<int> rowsUp;
        for (; i.isValid(); i = i.parent())
            rowsUp.prepend(i.row());
        return rowsUp;
    };
    std::sort(rows.begin(), rows.end(),
              [&path](const QModelIndex &a, const QModelIndex &b) { return path(a) < path(b); });
    QStringList lines{header.join(QLatin1Char('\t'))};
    for (const QModelIndex &row : qAsConst(rows)) {
        if (!row.data(TagTableModel::IsTagRole).toBool())
            continue;
        QStringList cells;
        for (const int c : qAsConst(columns)) {
            QString cell = row.sibling(row.row(), c).data().toString();
            cell.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
            cells.append(cell);
        }
        lines.append(cells.join(QLatin1Char('\t')));
    }
    return lines.size() > 1 ? lines.join(QLatin1Char('\n')) + QLatin1Char('\n') : QString();
}

void WorkspacePage::copySelection()
{
    const QString text = selectionText();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

} // namespace Workspace
