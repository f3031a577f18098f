#include "statusupdatebase.h"
#include "ui_statusupdatebase.h"

#include <QEvent>
#include <QTimer>

namespace Pointbook {

StatusUpdateBase::StatusUpdateBase(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::StatusUpdateBase)
    , m_timer(new QTimer(this))
    , m_showTimer(new QTimer(this))
    , m_hideTimer(new QTimer(this))
    , m_progressTimer(new QTimer(this))
{
    ui->setupUi(this);
    ui->ledBlink->setShape(QLed::Rounded);
    ui->ledBlink->setOffColor(QLed::Grey);
    ui->ledBlink->setOnColor(QLed::Yellow);

    m_timer->setObjectName(QStringLiteral("ledTimer"));
    m_timer->setInterval(200);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &StatusUpdateBase::OffLedBlink);

    m_showTimer->setSingleShot(true);
    m_showTimer->setInterval(ProgressShowDelayMs);
    connect(m_showTimer, &QTimer::timeout, this, [this] {
        if (m_passRunning)
            showProgressBar();
    });
    m_hideTimer->setSingleShot(true);
    connect(m_hideTimer, &QTimer::timeout, this, &StatusUpdateBase::onHideTimer);
    m_progressTimer->setSingleShot(true);
    connect(m_progressTimer, &QTimer::timeout, this, &StatusUpdateBase::showProgress);

    ui->progressBar->hide();
    ui->progressBar->setValue(0);
    fitValueLabels();
}

void StatusUpdateBase::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fitValueLabels();
}

void StatusUpdateBase::fitValueLabels()
{
    for (QLabel *label : {ui->labelUpdateTimeValue, ui->labelUpdateIntervalValue}) {
        // The texts are digits in a fixed pattern; the widest digit sets
        // the width of every text of the pattern.
        const QString shown = label->text();
        const QString pattern = label == ui->labelUpdateTimeValue ? QStringLiteral("00:00:00.000")
                                                                  : QStringLiteral("00.000");
        label->setMinimumSize(0, 0);
        label->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        QSize size(0, 0);
        for (char digit = '0'; digit <= '9'; ++digit) {
            QString text = pattern;
            text.replace(QLatin1Char('0'), QLatin1Char(digit));
            label->setText(text);
            size = size.expandedTo(label->sizeHint());
        }
        label->setText(shown);
        size = size.expandedTo(label->sizeHint());
        label->setFixedSize(size);
    }
}

void StatusUpdateBase::showValue(QLabel *label, const QString &text)
{
    if (label->text() == text)
        return;
    label->setText(text);
    // Only a text wider than any so far (set by a caller, not a time of
    // the pattern) changes the label's size.
    if (label->fontMetrics().horizontalAdvance(text) + (label->width() - label->contentsRect().width())
        > label->width())
        label->setFixedSize(label->sizeHint().expandedTo(label->size()));
}

StatusUpdateBase::~StatusUpdateBase()
{
    delete ui;
}

void StatusUpdateBase::blinkLed()
{
    if (!ui->ledBlink->value()) {
        ui->ledBlink->setValue(true);
        m_timer->start();
    }
    const QTime now = QTime::currentTime();
    showValue(ui->labelUpdateTimeValue, now.toString(QStringLiteral("hh:mm:ss.zzz")));
    setUpdateInterval(now);

    // The end of a pass.
    if (m_passRunning) {
        m_passRunning = false;
        m_lastPassLong = m_passClock.elapsed() >= ProgressShowDelayMs;
        m_showTimer->stop();
        if (m_lastPassLong && !ui->progressBar->isHidden())
            m_hideTimer->start(ProgressLingerMs);
        else
            hideProgressBar();
    }
}

void StatusUpdateBase::setUpdateTime(const QString &value)
{
    showValue(ui->labelUpdateTimeValue, value);
}

void StatusUpdateBase::setUpdateInterval(const QTime &time)
{
    if (!time.isValid()) {
        showValue(ui->labelUpdateIntervalValue, QString());
        return;
    }
    if (m_lastTime.isValid()) {
        // Times of day, no wrap at midnight: a negative difference is no
        // valid time and reads as the empty text.
        const int difference = m_lastTime.msecsTo(time);
        const QTime interval = difference < 0 ? QTime() : QTime::fromMSecsSinceStartOfDay(difference);
        showValue(ui->labelUpdateIntervalValue, interval.toString(QStringLiteral("ss.zzz")));
    } else {
        showValue(ui->labelUpdateIntervalValue, QStringLiteral("00.000"));
    }
    m_lastTime = QTime(time.hour(), time.minute(), time.second(), time.msec());
}

void StatusUpdateBase::setProgressBarMaximum(int value)
{
    ui->progressBar->setMinimum(0);
    ui->progressBar->setMaximum(value);
    noteProgress();
}

void StatusUpdateBase::setProgressBarValue(int value)
{
    m_progressTimer->stop();
    ui->progressBar->setValue(value);
    m_progress = ui->progressBar->value();
    noteProgress();
}

void StatusUpdateBase::progressBarClear()
{
    m_progressTimer->stop();
    ui->progressBar->setValue(0);
    m_progress = ui->progressBar->value();

    // The start of a pass. After a long pass the bar stays where it is;
    // otherwise it waits to see whether this pass is long enough to show.
    m_passRunning = true;
    m_passClock.start();
    m_sinceProgress.start();
    m_hideTimer->start(ProgressStallMs);
    if (!(m_lastPassLong && !ui->progressBar->isHidden())) {
        ui->progressBar->hide();
        m_showTimer->start();
    }
}

void StatusUpdateBase::incrementProgressBarValue()
{
    // A step beyond the range is ignored, as the bar itself does.
    if (m_progress < ui->progressBar->maximum() || ui->progressBar->maximum() == ui->progressBar->minimum())
        ++m_progress;
    showProgress();
    noteProgress();
}

void StatusUpdateBase::showProgress()
{
    // A hidden bar is not painted, so it can take every step; one on screen
    // paints itself at once (QProgressBar::setValue() repaints).
    if (ui->progressBar->isVisible() && m_sinceShown.isValid() && m_sinceShown.elapsed() < ProgressRepaintMs) {
        if (!m_progressTimer->isActive())
            m_progressTimer->start(int(ProgressRepaintMs - m_sinceShown.elapsed()));
        return;
    }
    m_progressTimer->stop();
    ui->progressBar->setValue(m_progress);
    m_sinceShown.start();
}

void StatusUpdateBase::clear()
{
    ui->ledBlink->setValue(false);
    showValue(ui->labelUpdateTimeValue, QStringLiteral("00:00:00.000"));
    showValue(ui->labelUpdateIntervalValue, QStringLiteral("00.000"));

    m_passRunning = false;
    m_lastPassLong = false;
    m_showTimer->stop();
    hideProgressBar();
}

void StatusUpdateBase::OffLedBlink()
{
    ui->ledBlink->setValue(false);
}

void StatusUpdateBase::noteProgress()
{
    if (!m_passRunning)
        return;
    // The hide timer looks when it fires whether progress came meanwhile.
    m_sinceProgress.start();
    if (!m_hideTimer->isActive())
        m_hideTimer->start(ProgressStallMs);
    // A pass that stalled and then goes on again shows its bar again.
    if (ui->progressBar->isHidden() && !m_showTimer->isActive()
        && m_passClock.elapsed() >= ProgressShowDelayMs)
        showProgressBar();
}

void StatusUpdateBase::showProgressBar()
{
    ui->progressBar->show();
}

void StatusUpdateBase::onHideTimer()
{
    // Progress since the timer was set: the pass is not stalled yet.
    if (m_passRunning && m_sinceProgress.isValid() && m_sinceProgress.elapsed() < ProgressStallMs) {
        m_hideTimer->start(int(ProgressStallMs - m_sinceProgress.elapsed()));
        return;
    }
    hideProgressBar();
}

void StatusUpdateBase::hideProgressBar()
{
    m_hideTimer->stop();
    ui->progressBar->hide();
}

} // namespace Pointbook
