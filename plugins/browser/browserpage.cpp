#include "browserpage.h"
#include "browsermodel.h"
#include "browserwriter.h"
#include "registerbrowser.h"

#include <workspace/workspacecontroller.h>

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QMessageBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTime>
#include <QToolBar>
#include <QVBoxLayout>

namespace Browser {

using Pointbook::Tag;
using Workspace::WorkspaceController;

BrowserPage::BrowserPage(RegisterBrowser *browser, WorkspaceController *controller, QWidget *parent)
    : QWidget(parent)
    , m_browser(browser)
    , m_controller(controller)
{
    setObjectName(QStringLiteral("BrowserPage"));

    m_toolBar = new QToolBar(this);
    m_toolBar->setObjectName(QStringLiteral("toolBarBrowser"));
    m_tagTable = m_toolBar->addAction(tr("Tag table"));
    m_tagTable->setObjectName(QStringLiteral("actionTagTable"));
    m_tagTable->setToolTip(tr("Back to the live tag table"));
    m_toolBar->addSeparator();
    m_browse = m_toolBar->addAction(tr("Browse"));
    m_browse->setObjectName(QStringLiteral("actionBrowse"));
    m_browse->setCheckable(true);
    m_browse->setToolTip(tr("Poll the range with the workspace's polling period"));
    m_readOnce = m_toolBar->addAction(tr("Read once"));
    m_readOnce->setObjectName(QStringLiteral("actionBrowserReadOnce"));
    m_toolBar->addSeparator();
    m_createTags = m_toolBar->addAction(tr("Create tags…"));
    m_createTags->setObjectName(QStringLiteral("actionCreateTags"));
    m_createTags->setToolTip(tr("Write the selected rows into the register map of the device's version"));
    m_write = m_toolBar->addAction(tr("Write…"));
    m_write->setObjectName(QStringLiteral("actionBrowserWrite"));
    m_write->setToolTip(tr("Toggle the selected coil or write the selected holding register, "
                           "with read-back and an entry in the change log"));
    m_write->setEnabled(false);

    m_table = new QComboBox(this);
    m_table->setObjectName(QStringLiteral("comboBoxTable"));
    for (const Tag::RegisterType type : {Tag::IR, Tag::HR, Tag::DI, Tag::CO})
        m_table->addItem(BrowserModel::tableName(type), int(type));
    m_table->setCurrentIndex(1);
    m_start = new QSpinBox(this);
    m_start->setObjectName(QStringLiteral("spinBoxStart"));
    m_start->setRange(0, BrowserModel::AddressSpace - 1);
    m_start->setToolTip(tr("First address, counted from 0 as on the wire"));
    m_reference = new QLabel(this);
    m_reference->setObjectName(QStringLiteral("labelReference"));
    m_reference->setMinimumWidth(170);
    m_count = new QSpinBox(this);
    m_count->setObjectName(QStringLiteral("spinBoxCount"));
    m_count->setRange(1, BrowserModel::MaxRows);
    m_count->setValue(100);
    m_apply = new QPushButton(tr("Show"), this);
    m_apply->setObjectName(QStringLiteral("pushButtonShow"));
    m_apply->setDefault(true);

    m_format = new QComboBox(this);
    m_format->setObjectName(QStringLiteral("comboBoxFormat"));
    for (int f = 0; f < RowFormat::FormatCount; ++f)
        m_format->addItem(RowFormat::formatName(RowFormat::Format(f)), f);
    m_order = new QComboBox(this);
    m_order->setObjectName(QStringLiteral("comboBoxByteOrder"));
    m_order->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_order->setMinimumContentsLength(20);
    m_applyFormat = new QPushButton(tr("Apply to selected rows"), this);
    m_applyFormat->setObjectName(QStringLiteral("pushButtonApplyFormat"));

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("labelBrowserStatus"));
    m_status->setWordWrap(true);

    m_view = new QTableView(this);
    m_view->setObjectName(QStringLiteral("tableViewRegisters"));
    m_view->setModel(browser->model());
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setAlternatingRowColors(true);
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    m_view->verticalHeader()->setVisible(false);
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
    m_view->horizontalHeader()->setStretchLastSection(true);
    // Never narrower than the header, whose text is longer in some languages.
    const std::pair<int, int> widths[] = {{BrowserModel::AddressColumn, 70}, {BrowserModel::ReferenceColumn, 80},
                                          {BrowserModel::RawColumn, 70}, {BrowserModel::FormatColumn, 290},
                                          {BrowserModel::ValueColumn, 200}};
    for (const auto &[column, width] : widths)
        m_view->setColumnWidth(column, qMax(width, m_view->horizontalHeader()->sectionSizeHint(column)));

    auto *range = new QHBoxLayout;
    range->addWidget(new QLabel(tr("Table:"), this));
    range->addWidget(m_table);
    range->addSpacing(8);
    range->addWidget(new QLabel(tr("Start address:"), this));
    range->addWidget(m_start);
    range->addWidget(m_reference);
    range->addWidget(new QLabel(tr("Count:"), this));
    range->addWidget(m_count);
    range->addWidget(m_apply);
    range->addStretch(1);

    auto *formats = new QHBoxLayout;
    formats->addWidget(new QLabel(tr("Format:"), this));
    formats->addWidget(m_format);
    formats->addWidget(new QLabel(tr("Byte order:"), this));
    formats->addWidget(m_order);
    formats->addWidget(m_applyFormat);
    formats->addStretch(1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_toolBar);
    layout->addLayout(range);
    layout->addLayout(formats);
    layout->addWidget(m_status);
    layout->addWidget(m_view, 1);

    connect(m_tagTable, &QAction::triggered, this, &BrowserPage::tagTableRequested);
    connect(m_browse, &QAction::triggered, this, [this](bool on) {
        if (!on) {
            m_browser->stop();
            return;
        }
        if (m_browser->plan().isEmpty() && !applyRange())
            return;
        if (m_controller)
            m_browser->setPeriod(m_controller->pollingPeriod());
        m_browser->start();
    });
    connect(m_readOnce, &QAction::triggered, this, [this] {
        if (m_browser->plan().isEmpty() && !applyRange())
            return;
        m_browser->readOnce();
    });
    connect(m_createTags, &QAction::triggered, this, [this] {
        const QList<int> rows = selectedRows();
        if (rows.isEmpty()) {
            m_problem = tr("Select the rows to turn into tags first.");
            updateStatus();
            return;
        }
        emit createTagsRequested(rows);
    });
    connect(m_write, &QAction::triggered, this, &BrowserPage::writeSelected);
    connect(m_apply, &QPushButton::clicked, this, &BrowserPage::applyRange);
    connect(m_start, qOverload<int>(&QSpinBox::valueChanged), this, &BrowserPage::updateReference);
    connect(m_table, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &BrowserPage::updateReference);
    connect(m_format, qOverload<int>(&QComboBox::currentIndexChanged), this, &BrowserPage::updateOrders);
    connect(m_applyFormat, &QPushButton::clicked, this, &BrowserPage::applyFormat);
    connect(m_view, &QWidget::customContextMenuRequested, this, &BrowserPage::showContextMenu);

    connect(m_browser, &RegisterBrowser::runningChanged, this, &BrowserPage::updateActions);
    connect(m_browser, &RegisterBrowser::passEnded, this, [this] {
        // The period may have changed on the tag table's page meanwhile.
        if (m_controller)
            m_browser->setPeriod(m_controller->pollingPeriod());
        updateStatus();
    });
    if (m_controller) {
        connect(m_controller, &WorkspaceController::phaseChanged, this, [this] {
            if (!deviceReachable())
                m_browser->stop();
            updateActions();
            updateStatus();
        });
        connect(m_controller, &WorkspaceController::versionChanged, this, &BrowserPage::updateStatus);
    }

    updateReference();
    updateOrders();
    updateActions();
    updateStatus();
}

BrowserModel *BrowserPage::model() const
{
    return m_browser->model();
}

bool BrowserPage::deviceReachable() const
{
    return !m_controller || m_controller->phase() != WorkspaceController::Idle;
}

QList<int> BrowserPage::selectedRows() const
{
    QList<int> rows;
    if (QItemSelectionModel *selection = m_view->selectionModel()) {
        for (const QModelIndex &index : selection->selectedRows())
            rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool BrowserPage::applyRange()
{
    const auto table = Tag::RegisterType(m_table->currentData().toInt());
    QString error;
    if (!m_browser->setRange(table, m_start->value(), m_count->value(), &error)) {
        m_problem = error;
        updateStatus();
        return false;
    }
    m_problem.clear();
    if (m_controller)
        m_browser->setPeriod(m_controller->pollingPeriod());
    if (deviceReachable() && isVisible())
        m_browser->start();
    updateActions();
    updateStatus();
    return true;
}

void BrowserPage::applyFormat()
{
    const auto format = RowFormat::Format(m_format->currentData().toInt());
    const auto order = Tag::ByteOrder(m_order->currentData().toInt());
    QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        m_problem = tr("Select the rows to show in this format first.");
        updateStatus();
        return;
    }
    applyFormatToRows(rows, RowFormat(format, order));
}

void BrowserPage::applyFormatToRows(const QList<int> &rows, const RowFormat &format)
{
    if (model()->isBitTable()) {
        m_problem = tr("Discrete inputs and coils are shown as bits.");
        updateStatus();
        return;
    }
    m_problem.clear();
    model()->setFormat(rows, format);
    updateStatus();
}

void BrowserPage::updateReference()
{
    const auto table = Tag::RegisterType(m_table->currentData().toInt());
    const int address = m_start->value();
    m_reference->setText(tr("1-based %1 · %2").arg(address + 1).arg(BrowserModel::reference(table, address)));
    const bool bits = table == Tag::DI || table == Tag::CO;
    m_format->setEnabled(!bits);
    m_order->setEnabled(!bits && RowFormat::registersOf(RowFormat::Format(m_format->currentData().toInt())) > 1);
}

void BrowserPage::updateOrders()
{
    const auto format = RowFormat::Format(m_format->currentData().toInt());
    const int registers = RowFormat::registersOf(format);
    const auto previous = Tag::ByteOrder(m_order->currentData().toInt());
    m_order->clear();
    for (const Tag::ByteOrder order : RowFormat::byteOrders(registers))
        m_order->addItem(RowFormat::byteOrderName(order), int(order));
    const int keep = m_order->findData(int(previous));
    if (keep >= 0)
        m_order->setCurrentIndex(keep);
    updateReference();
}

void BrowserPage::setWriter(BrowserWriter *writer)
{
    m_writer = writer;
    if (m_writer)
        connect(m_writer, &BrowserWriter::finished, this, [this](const QString &message, bool) {
            m_problem = message;
            updateStatus();
            m_browser->readOnce();
        });
    updateActions();
}

void BrowserPage::writeSelected()
{
    const QList<int> rows = selectedRows();
    const BrowserModel *m = model();
    auto fail = [this](const QString &text) {
        m_problem = text;
        updateStatus();
    };
    if (!m_writer)
        return fail(tr("Writing is not available."));
    if (m->table() != Tag::HR && m->table() != Tag::CO)
        return fail(tr("Only holding registers and coils can be written."));
    if (rows.size() != 1)
        return fail(tr("Select the one row to write."));
    int row = rows.first();
    if (m->coveringRow(row) >= 0)
        row = m->coveringRow(row);
    const int address = m->start() + row;
    const QString reference = BrowserModel::reference(m->table(), address);
    const RowFormat format = m->rowFormat(row);
    const QString refused = m_writer->refusal();
    if (!refused.isEmpty()) {
        m_writer->refuse(m->table(), address, format, QVariant(), refused);
        return fail(refused);
    }

    QVariant value;
    if (m->table() == Tag::CO) {
        const int now = m->hasWord(row) ? m->word(row) : 0;
        const int next = now ? 0 : 1;
        const auto answer = QMessageBox::question(
            this, tr("Write coil"),
            tr("Set coil %1 (address %2) to %3?").arg(reference).arg(address)
                .arg(next ? tr("1 (on)") : tr("0 (off)")),
            QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Cancel);
        if (answer != QMessageBox::Yes)
            return;
        value = QString::number(next);
    } else {
        QString shown = m->valueText(row);
        bool ok = false;
        const QString text = QInputDialog::getText(
            this, tr("Write register"),
            tr("New value of %1 (address %2) as %3:")
                .arg(reference)
                .arg(address)
                .arg(format.isWide() ? RowFormat::formatName(format.format()) + QLatin1Char(' ')
                                           + RowFormat::byteOrderName(format.byteOrder())
                                     : RowFormat::formatName(format.format())),
            QLineEdit::Normal, shown, &ok);
        if (!ok)
            return;
        QString error;
        value = BrowserWriter::parse(format, text, &error);
        if (!value.isValid()) {
            m_writer->refuse(m->table(), address, format, text, error);
            return fail(error);
        }
    }
    QString error;
    if (m_writer->write(m->table(), address, format, value, &error) == 0)
        return fail(error);
    fail(tr("Writing %1…").arg(reference));
}

void BrowserPage::updateActions()
{
    const bool reachable = deviceReachable();
    m_write->setEnabled(reachable && m_writer);
    m_browse->setEnabled(reachable);
    m_browse->setChecked(m_browser->isRunning());
    m_readOnce->setEnabled(reachable);
}

void BrowserPage::updateStatus()
{
    QString text;
    if (!m_problem.isEmpty()) {
        text = m_problem;
    } else if (!deviceReachable()) {
        text = tr("Not connected. Connect to a device (or start the demo device) on the tag "
                  "table's page; the browser works with or without a register map.");
    } else if (model()->count() == 0) {
        text = tr("Choose a table, a start address and a count, then \"Show\".");
    } else {
        const BrowserModel *m = model();
        const QString unit = m->isBitTable() ? tr("bits") : tr("registers");
        const int requests = m_browser->plan().size();
        text = tr("%1 %2 to %3: %4 %5 in %n request(s)", nullptr, requests)
                   .arg(BrowserModel::tableName(m->table()))
                   .arg(m->start())
                   .arg(m->start() + m->count() - 1)
                   .arg(m->count())
                   .arg(unit);
        if (m_browser->isRunning()) {
            text += m_browser->period() == 0
                        ? tr(", polled continuously")
                        : tr(", polled every %1 ms").arg(m_browser->period());
        } else {
            text += tr(", not polled");
        }
        if (m_browser->passCount() > 0)
            text += tr("; last pass %1").arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
        const int failed = m->failedRows();
        if (failed > 0)
            text += tr("; %n row(s) failed (see Status)", nullptr, failed);
        text += QLatin1Char('.');
        if (m_controller && !m_controller->version().isEmpty())
            text += QLatin1Char(' ') + tr("Device version %1.").arg(m_controller->version());
    }
    m_status->setText(text);
}

void BrowserPage::showContextMenu(const QPoint &position)
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    QMenu menu(this);
    if (!model()->isBitTable()) {
        for (int f = 0; f < RowFormat::FormatCount; ++f) {
            const auto format = RowFormat::Format(f);
            const QList<Tag::ByteOrder> orders = RowFormat::byteOrders(RowFormat::registersOf(format));
            if (orders.isEmpty()) {
                menu.addAction(RowFormat::formatName(format), this,
                               [this, rows, format] { applyFormatToRows(rows, RowFormat(format)); });
                continue;
            }
            QMenu *sub = menu.addMenu(RowFormat::formatName(format));
            for (const Tag::ByteOrder order : orders)
                sub->addAction(RowFormat::byteOrderName(order), this, [this, rows, format, order] {
                    applyFormatToRows(rows, RowFormat(format, order));
                });
        }
        menu.addSeparator();
    }
    menu.addAction(m_createTags);
    menu.addAction(m_write);
    menu.exec(m_view->viewport()->mapToGlobal(position));
}

void BrowserPage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The first visit with a device shows the default range at once.
    if (model()->count() == 0 && deviceReachable() && m_problem.isEmpty()) {
        applyRange();
        return;
    }
    if (m_resume && deviceReachable())
        m_browser->start();
    m_resume = false;
    updateStatus();
}

void BrowserPage::hideEvent(QHideEvent *event)
{
    // Nobody looks at the rows: spare the device the extra requests.
    m_resume = m_browser->isRunning();
    m_browser->stop();
    QWidget::hideEvent(event);
}

} // namespace Browser
