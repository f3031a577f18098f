#include "diagnosticsdock.h"
#include "trafficlogmodel.h"

#include <fieldlink/imodbustransaction.h>
#include <fieldlink/modbusconnection.h>
#include <fieldlink/trafficrecorder.h>
#include <popnote/popnoteplugin.h>

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace Diagnostics {

using Fieldlink::FieldlinkCore::IModbusTransaction;
using Fieldlink::FieldlinkCore::ModbusConnection;
using Fieldlink::FieldlinkCore::ModbusStatistics;
using Fieldlink::FieldlinkCore::TrafficRecorder;

DiagnosticsDock::DiagnosticsDock(ModbusConnection *connection, TrafficRecorder *recorder, QWidget *parent)
    : QDockWidget(tr("Link diagnostics"), parent)
    , m_connection(connection)
    , m_recorder(recorder)
    , m_model(new TrafficLogModel(this))
    , m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("DiagnosticsDock"));
    m_timer->setInterval(RefreshIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &DiagnosticsDock::refresh);
}

bool DiagnosticsDock::event(QEvent *event)
{
    // Sent whenever the dock is made visible, also while the main window is
    // still hidden (restoring its state): the body is there before the
    // window lays out its docks.
    if (event->type() == QEvent::ShowToParent)
        ensureBody();
    return QDockWidget::event(event);
}

void DiagnosticsDock::ensureBody() const
{
    if (!m_view)
        const_cast<DiagnosticsDock *>(this)->buildBody();
}

// Built when first needed rather than with the dock, which is closed in
// most runs: the counters, the log and its table cost as much at start-up
// as the whole workspace page.
void DiagnosticsDock::buildBody()
{
    m_view = new QTableView;
    m_pause = new QToolButton;
    m_filter = new QComboBox;
    auto *body = new QWidget;
    auto *grid = new QGridLayout;
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(12);
    addCounter(grid, 0, 0, tr("Sent:"), QStringLiteral("sent"), tr("Requests put on the wire"));
    addCounter(grid, 0, 1, tr("Answered:"), QStringLiteral("answered"), tr("Requests answered with data"));
    addCounter(grid, 0, 2, tr("Timed out:"), QStringLiteral("timeouts"),
               tr("Requests without an answer within the response timeout, retries included"));
    addCounter(grid, 0, 3, tr("Malformed:"), QStringLiteral("malformed"),
               tr("Answers of the wrong length or that could not be decoded"));
    addCounter(grid, 1, 0, tr("Link failures:"), QStringLiteral("linkFailures"),
               tr("Requests lost because the connection broke"));
    addCounter(grid, 1, 1, tr("Reconnects:"), QStringLiteral("reconnects"),
               tr("Times the link came back after it was lost"));
    addCounter(grid, 1, 2, tr("Requests/s:"), QStringLiteral("rate"), tr("Over the last minute"));
    // The two long lines span the grid.
    addCounter(grid, 2, 0, tr("Exceptions:"), QStringLiteral("exceptions"),
               tr("Exception answers of the device, by code"), 7);
    addCounter(grid, 3, 0, tr("Round trip:"), QStringLiteral("roundTrip"),
               tr("Minimum, mean, maximum and 95th percentile of the answers of the last minute"), 7);
    grid->setColumnStretch(8, 1);

    m_pause->setObjectName(QStringLiteral("buttonPause"));
    m_pause->setText(tr("Pause"));
    m_pause->setCheckable(true);
    m_pause->setToolTip(tr("Stop taking requests into the log; the counters go on"));
    auto *clear = new QToolButton;
    clear->setObjectName(QStringLiteral("buttonClear"));
    clear->setText(tr("Clear"));
    clear->setToolTip(tr("Empty the traffic log"));
    auto *reset = new QToolButton;
    reset->setObjectName(QStringLiteral("buttonResetCounters"));
    reset->setText(tr("Reset counters"));
    auto *save = new QToolButton;
    save->setObjectName(QStringLiteral("buttonSave"));
    save->setText(tr("Save…"));
    save->setToolTip(tr("Save the requests shown as a text file"));
    m_filter->setObjectName(QStringLiteral("comboFilter"));
    for (int f = 0; f < TrafficLogModel::FilterCount; ++f)
        m_filter->addItem(TrafficLogModel::filterName(TrafficLogModel::Filter(f)), f);
    auto *buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addWidget(new QLabel(tr("Traffic log (last %1 requests):").arg(int(TrafficRecorder::Capacity))));
    buttons->addWidget(m_filter);
    buttons->addWidget(m_pause);
    buttons->addWidget(clear);
    buttons->addWidget(save);
    buttons->addStretch(1);
    buttons->addWidget(reset);

    m_view->setObjectName(QStringLiteral("tableTraffic"));
    m_view->setModel(m_model);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setAlternatingRowColors(true);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 4);
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->setWordWrap(false);
    const QFontMetrics metrics(m_view->font());
    // Never narrower than the header, and the function column holds the
    // longest function name: both are longer in some languages.
    const int widths[] = {14, 26, 8, 6, 26, 16, 28};
    for (int c = 0; c < int(sizeof widths / sizeof widths[0]); ++c)
        m_view->setColumnWidth(c, qMax(metrics.averageCharWidth() * widths[c],
                                       m_view->horizontalHeader()->sectionSizeHint(c)));
    int functionWidth = 0;
    for (const int code : {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x0f, 0x10, 0x2b})
        functionWidth = qMax(functionWidth, metrics.horizontalAdvance(TrafficLogModel::functionText(code)));
    m_view->setColumnWidth(TrafficLogModel::FunctionColumn,
                           qMax(m_view->columnWidth(TrafficLogModel::FunctionColumn), functionWidth + 16));

    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->addWidget(m_view, 1);
    setWidget(body);

    connect(m_pause, &QToolButton::toggled, this, &DiagnosticsDock::setPaused);
    connect(clear, &QToolButton::clicked, this, &DiagnosticsDock::clearLog);
    connect(reset, &QToolButton::clicked, this, &DiagnosticsDock::resetCounters);
    connect(save, &QToolButton::clicked, this, &DiagnosticsDock::saveLog);
    connect(m_filter, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int index) {
        m_model->setFilter(TrafficLogModel::Filter(m_filter->itemData(index).toInt()));
        refresh();
    });
    // New requests scroll into view unless the user scrolled up to read.
    connect(m_view->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        m_followTail = value >= m_view->verticalScrollBar()->maximum() - 1;
    });
    refresh();
}

QLabel *DiagnosticsDock::addCounter(QGridLayout *grid, int row, int column, const QString &caption,
                                    const QString &name, const QString &toolTip, int span)
{
    auto *label = new QLabel(caption);
    auto *value = new QLabel(QStringLiteral("0"));
    value->setObjectName(QStringLiteral("value_") + name);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setToolTip(toolTip);
    value->setToolTip(toolTip);
    grid->addWidget(label, row, column * 2);
    grid->addWidget(value, row, column * 2 + 1, 1, span);
    return value;
}

QTableView *DiagnosticsDock::logView() const
{
    ensureBody();
    return m_view;
}

QString DiagnosticsDock::counterText(const QString &name) const
{
    ensureBody();
    const QLabel *value = findChild<QLabel *>(QStringLiteral("value_") + name);
    return value ? value->text() : QString();
}

void DiagnosticsDock::showEvent(QShowEvent *event)
{
    QDockWidget::showEvent(event);
    refresh();
    m_timer->start();
}

void DiagnosticsDock::hideEvent(QHideEvent *event)
{
    QDockWidget::hideEvent(event);
    m_timer->stop();
}

void DiagnosticsDock::refresh()
{
    if (!m_view) {
        buildBody(); // ends with a refresh
        return;
    }
    const ModbusStatistics s = m_connection ? m_connection->statistics() : ModbusStatistics();
    const auto set = [this](const char *name, const QString &text) {
        if (QLabel *value = findChild<QLabel *>(QStringLiteral("value_") + QLatin1String(name)))
            value->setText(text);
    };
    set("sent", QString::number(s.requests()));
    set("answered", QString::number(s.successes()));
    set("timeouts", QString::number(s.timeouts()));
    set("malformed", QString::number(s.lengthMismatches() + s.otherFailures()));
    set("linkFailures", QString::number(s.connectionLosses() + s.linkDownFailures()));
    set("reconnects", QString::number(s.reconnects()));
    QStringList byCode;
    const QMap<int, quint64> codes = s.exceptionsByCode();
    for (auto it = codes.cbegin(); it != codes.cend(); ++it)
        byCode << tr("%1 × code %2 %3").arg(it.value()).arg(it.key()).arg(IModbusTransaction::exceptionName(it.key()));
    set("exceptions", byCode.isEmpty() ? QStringLiteral("0")
                                       : tr("%1 (%2)").arg(s.exceptions()).arg(byCode.join(QStringLiteral(", "))));

    if (m_recorder) {
        const TrafficRecorder::Window w = m_recorder->window(QDateTime::currentMSecsSinceEpoch());
        set("rate", QString::number(w.perSecond, 'f', 1));
        set("roundTrip", w.answers == 0
                             ? tr("no answers in the last minute")
                             : tr("min %1 / mean %2 / max %3 / 95 % %4 ms (%5 answers)")
                                   .arg(w.minimum / 1000.0, 0, 'f', 2)
                                   .arg(w.mean / 1000.0, 0, 'f', 2)
                                   .arg(w.maximum / 1000.0, 0, 'f', 2)
                                   .arg(w.percentile95 / 1000.0, 0, 'f', 2)
                                   .arg(w.answers));
    }
    m_model->refresh(m_recorder);
    if (m_followTail)
        m_view->scrollToBottom();
}

void DiagnosticsDock::setPaused(bool paused)
{
    if (m_recorder)
        m_recorder->setPaused(paused);
    ensureBody();
    m_pause->setChecked(paused);
    m_pause->setText(paused ? tr("Resume") : tr("Pause"));
}

void DiagnosticsDock::clearLog()
{
    if (m_recorder)
        m_recorder->clearLog();
    refresh();
}

void DiagnosticsDock::resetCounters()
{
    if (m_connection)
        m_connection->resetStatistics();
    if (m_recorder)
        m_recorder->clear();
    refresh();
}

void DiagnosticsDock::saveLog()
{
    const QString suggested = QDir::home().filePath(
        QStringLiteral("traffic-%1.txt").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"))));
    const QString fileName = QFileDialog::getSaveFileName(this, tr("Save the traffic log"), suggested,
                                                          tr("Text files (*.txt);;All files (*)"));
    if (fileName.isEmpty())
        return;
    QString error;
    if (m_model->save(fileName, &error))
        Popnote::PopnotePlugin::notify(tr("Link diagnostics"),
                                       tr("%1 requests saved to %2.").arg(m_model->rowCount()).arg(QDir::toNativeSeparators(fileName)),
                                       Popnote::PopnotePlugin::Information);
    else
        Popnote::PopnotePlugin::notify(tr("Link diagnostics"), error, Popnote::PopnotePlugin::Error);
}

} // namespace Diagnostics
