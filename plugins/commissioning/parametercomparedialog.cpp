#include "parametercomparedialog.h"

#include "parametersets.h"

#include <core/icore.h>

#include <pointbook/parameterapplier.h>
#include <pointbook/tag.h>
#include <pointbook/tagwriter.h>
#include <workspace/workspacecontroller.h>

#include <QCheckBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace Commissioning {

using Pointbook::ParameterApplier;
using Pointbook::ParameterComparison;
using Pointbook::ParameterSet;

namespace {

QColor stateColor(ParameterComparison::State state)
{
    switch (state) {
    case ParameterComparison::Differs: return QColor(255, 243, 205);
    case ParameterComparison::NotInMap:
    case ParameterComparison::OutOfLimits: return QColor(248, 215, 218);
    case ParameterComparison::NotInFile:
    case ParameterComparison::NotWritable: return QColor(236, 236, 236);
    case ParameterComparison::Equal: break;
    }
    return QColor();
}

} // namespace

ParameterCompareDialog::ParameterCompareDialog(ParameterSets *sets, const ParameterSet &file,
                                               const QString &fileName, QWidget *parent)
    : QDialog(parent)
    , m_sets(sets)
    , m_file(file)
    , m_header(new QLabel(this))
    , m_table(new QTableWidget(this))
    , m_continue(new QCheckBox(tr("Continue on failure"), this))
    , m_apply(new QPushButton(tr("Apply ticked rows"), this))
    , m_close(new QPushButton(tr("Close"), this))
    , m_summary(new QLabel(this))
{
    setObjectName(QStringLiteral("ParameterCompareDialog"));
    setWindowTitle(tr("Compare with parameter file"));
    m_header->setObjectName(QStringLiteral("labelCompareHeader"));
    m_header->setWordWrap(true);
    m_header->setTextFormat(Qt::PlainText);
    m_table->setObjectName(QStringLiteral("tableCompare"));
    m_continue->setObjectName(QStringLiteral("checkContinueOnFailure"));
    m_continue->setToolTip(tr("Without it, applying stops at the first write that fails."));
    m_apply->setObjectName(QStringLiteral("buttonApply"));
    m_summary->setObjectName(QStringLiteral("labelApplySummary"));
    m_summary->setWordWrap(true);

    const QString version = sets && sets->controller() ? sets->controller()->version() : QString();
    QString header = tr("File: %1 — saved %2 from device version %3%4%5.")
                         .arg(QFileInfo(fileName).fileName(),
                              file.savedUtc.isEmpty() ? tr("(no time)") : file.savedUtc,
                              file.deviceVersion,
                              file.serial.isEmpty() ? QString() : tr(", serial number %1").arg(file.serial),
                              file.savedByLevel.isEmpty() ? QString() : tr(", access level %1").arg(file.savedByLevel));
    if (file.deviceVersion != version)
        header = tr("The file is of device version %1, this device has version %2: "
                    "parameters are compared by tag id.").arg(file.deviceVersion, version)
                 + QLatin1Char('\n') + header;
    if (!file.missing.isEmpty())
        header += QLatin1Char('\n') + tr("The file lacks what could not be read when it was saved: %1.")
                                          .arg(file.missing.join(QLatin1String(", ")));
    m_header->setText(header);

    m_table->setColumnCount(6);
    m_table->setHorizontalHeaderLabels({tr("Tag"), tr("Unit"), tr("Device value"), tr("File value"),
                                        tr("State"), tr("Result")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->setVisible(false);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_rows = sets ? sets->compare(file) : QVector<ParameterComparison::Row>();
    fill();
    m_table->resizeColumnsToContents();
    // A long array must not push the state out of sight; its cell has the
    // whole text as tooltip.
    for (int c = 0; c < ResultColumn; ++c)
        m_table->setColumnWidth(c, std::min(m_table->columnWidth(c), c == TagColumn ? 320 : 200));
    connect(m_table, &QTableWidget::itemChanged, this, &ParameterCompareDialog::updateApplyButton);

    connect(m_apply, &QPushButton::clicked, this, &ParameterCompareDialog::apply);
    connect(m_close, &QPushButton::clicked, this, &ParameterCompareDialog::reject);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_continue);
    buttons->addStretch();
    buttons->addWidget(m_apply);
    buttons->addWidget(m_close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_header);
    layout->addWidget(m_table);
    layout->addWidget(m_summary);
    layout->addLayout(buttons);
    Core::ICore::resizeWithinScreen(this, QSize(1120, 600));
    updateApplyButton();
}

void ParameterCompareDialog::fill()
{
    const QSignalBlocker block(m_table);
    m_table->setRowCount(m_rows.size());
    int differing = 0;
    for (int r = 0; r < m_rows.size(); ++r) {
        const ParameterComparison::Row &row = m_rows.at(r);
        auto *tag = new QTableWidgetItem(row.name.isEmpty() || row.name == row.id
                                             ? row.id : tr("%1 (%2)").arg(row.name, row.id));
        tag->setData(Qt::UserRole, row.id);
        tag->setToolTip(row.id);
        if (row.applicable()) {
            tag->setFlags(tag->flags() | Qt::ItemIsUserCheckable);
            tag->setCheckState(Qt::Checked);
            ++differing;
        }
        const QString device = row.tag ? (row.device.isUndefined() ? tr("not read") : ParameterSet::valueText(row.device))
                                       : QString();
        const QString fileValue = row.entry >= 0 ? ParameterSet::valueText(row.file) : QString();
        QTableWidgetItem *items[] = {tag, new QTableWidgetItem(row.unit), new QTableWidgetItem(device),
                                     new QTableWidgetItem(fileValue),
                                     new QTableWidgetItem(ParameterComparison::stateText(row.state)),
                                     new QTableWidgetItem()};
        items[StateColumn]->setToolTip(row.reason);
        items[DeviceColumn]->setToolTip(device);
        items[FileColumn]->setToolTip(fileValue);
        for (int c = 0; c < 6; ++c) {
            if (stateColor(row.state).isValid())
                items[c]->setBackground(stateColor(row.state));
            m_table->setItem(r, c, items[c]);
        }
    }
    int equal = 0;
    for (const ParameterComparison::Row &row : qAsConst(m_rows))
        equal += row.state == ParameterComparison::Equal;
    const int other = m_rows.size() - equal - differing;
    QString summary = tr("%n equal", nullptr, equal) + QStringLiteral(", ")
                      + tr("%n to apply", nullptr, differing);
    if (other > 0)
        summary += QStringLiteral(", ") + tr("%n that cannot be applied (see their state)", nullptr, other);
    m_summary->setText(summary + QLatin1Char('.'));
}

int ParameterCompareDialog::rowOf(const QString &id) const
{
    for (int r = 0; r < m_rows.size(); ++r) {
        if (m_rows.at(r).id == id)
            return r;
    }
    return -1;
}

bool ParameterCompareDialog::isApplying() const
{
    return m_applier && m_applier->isRunning();
}

void ParameterCompareDialog::updateApplyButton()
{
    int ticked = 0;
    for (int r = 0; r < m_table->rowCount(); ++r) {
        QTableWidgetItem *item = m_table->item(r, TagColumn);
        if (item && (item->flags() & Qt::ItemIsUserCheckable) && item->checkState() == Qt::Checked)
            ++ticked;
    }
    m_apply->setEnabled(ticked > 0 && !isApplying());
    m_apply->setText(ticked > 0 ? tr("Apply %n ticked row(s)", nullptr, ticked) : tr("Apply ticked rows"));
}

void ParameterCompareDialog::apply()
{
    if (isApplying() || !m_sets || !m_sets->controller())
        return;
    Workspace::WorkspaceController *controller = m_sets->controller();
    QVector<ParameterComparison::Row> ticked;
    for (int r = 0; r < m_rows.size(); ++r) {
        QTableWidgetItem *item = m_table->item(r, TagColumn);
        m_table->item(r, ResultColumn)->setText(QString());
        if (item && (item->flags() & Qt::ItemIsUserCheckable) && item->checkState() == Qt::Checked
            && m_rows.at(r).tag)
            ticked << m_rows.at(r);
    }
    if (ticked.isEmpty())
        return;
    ticked = ParameterComparison::applyOrder(ticked, m_file);
    QVector<ParameterApplier::Step> steps;
    m_stepRows.clear();
    for (const ParameterComparison::Row &row : qAsConst(ticked)) {
        steps.append({row.tag, row.id, ParameterSet::writeValue(row.file), controller->readOnlyByRights(row.tag)});
        m_stepRows << rowOf(row.id);
    }
    // Through the workspace's writer, so that every write reaches the change
    // log and the notifications like any other.
    delete m_applier;
    m_applier = new ParameterApplier(controller->writer(), this);
    m_applier->setContinueOnFailure(m_continue->isChecked());
    connect(m_applier, &ParameterApplier::stepStarted, this, &ParameterCompareDialog::onStepStarted);
    connect(m_applier, &ParameterApplier::stepFinished, this, &ParameterCompareDialog::onStepFinished);
    connect(m_applier, &ParameterApplier::finished, this, &ParameterCompareDialog::onApplied);

    m_progress = new QProgressDialog(tr("Writing parameters…"), tr("Cancel"), 0, steps.size(), this);
    m_progress->setObjectName(QStringLiteral("progressApply"));
    m_progress->setWindowTitle(tr("Apply parameters"));
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->setMinimumDuration(0);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    m_progress->setValue(0);
    connect(m_progress, &QProgressDialog::canceled, m_applier, &ParameterApplier::cancel);
    m_apply->setEnabled(false);
    m_continue->setEnabled(false);
    m_summary->setText(tr("Writing…"));
    m_applier->start(steps);
}

void ParameterCompareDialog::onStepStarted(int index, int total)
{
    if (m_progress && !m_applier->wasCancelled()) {
        m_progress->setLabelText(tr("Writing %1 (%2 of %3)…")
                                     .arg(m_applier->steps().at(index).id).arg(index + 1).arg(total));
        m_progress->setValue(index);
    }
}

void ParameterCompareDialog::onStepFinished(int index)
{
    const int r = m_stepRows.value(index, -1);
    if (r < 0)
        return;
    const ParameterApplier::Result result = m_applier->results().at(index);
    QTableWidgetItem *cell = m_table->item(r, ResultColumn);
    cell->setToolTip(result.detail);
    QColor colour;
    switch (result.state) {
    case ParameterApplier::Written:
        cell->setText(tr("written (%1)").arg(result.detail));
        colour = QColor(212, 237, 218);
        m_table->item(r, DeviceColumn)->setText(result.outcome.readBack);
        m_table->item(r, StateColumn)->setText(ParameterComparison::stateText(ParameterComparison::Equal));
        m_table->item(r, TagColumn)->setCheckState(Qt::Unchecked);
        break;
    case ParameterApplier::Failed:
        // An unknown outcome is not a failure: the device may hold the value.
        cell->setText(result.outcome.result == Pointbook::TagWriter::Unknown ? result.detail
                                                                             : tr("failed (%1)").arg(result.detail));
        colour = QColor(248, 215, 218);
        break;
    case ParameterApplier::Skipped:
        cell->setText(tr("skipped (%1)").arg(result.detail));
        break;
    case ParameterApplier::Pending:
        break;
    }
    if (colour.isValid()) {
        for (int c = 0; c < m_table->columnCount(); ++c)
            m_table->item(r, c)->setBackground(colour);
    }
    if (m_progress)
        m_progress->setValue(index + 1);
}

void ParameterCompareDialog::onApplied()
{
    if (m_progress) {
        m_progress->close();
        m_progress->deleteLater();
    }
    int written = 0, failed = 0, skipped = 0;
    for (const ParameterApplier::Result &r : m_applier->results()) {
        written += r.state == ParameterApplier::Written;
        failed += r.state == ParameterApplier::Failed;
        skipped += r.state == ParameterApplier::Skipped;
    }
    m_summary->setText(tr("Applied: %1 written and read back, %2 failed, %3 skipped%4.")
                           .arg(written).arg(failed).arg(skipped)
                           .arg(m_applier->wasCancelled() ? tr(" (cancelled)") : QString()));
    m_continue->setEnabled(true);
    updateApplyButton();
    emit applyFinished();
}

void ParameterCompareDialog::reject()
{
    // Closing while writing would leave the device half applied unseen:
    // the rest is cancelled and the dialog stays until the write under way
    // has ended.
    if (isApplying()) {
        m_applier->cancel();
        return;
    }
    QDialog::reject();
}

} // namespace Commissioning
