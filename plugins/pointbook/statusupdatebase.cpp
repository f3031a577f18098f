#include "statusupdatebase.h"
#include "ui_statusupdatebase.h"

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
    ui->labelUpdateTimeValue->setText(now.toString(QStringLiteral("hh:mm:ss.zzz")));
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
    ui->labelUpdateTimeValue->setText(value);
}

void StatusUpdateBase::setUpdateInterval(const QTime &time)
{
    if (!time.isValid()) {
        ui->labelUpdateIntervalValue->setText(QString());
        return;
    }
    if (m_lastTime.isValid()) {
        // Times of day, no wrap at midnight: a negative difference is no
        // valid time and reads as the empty text.
        const int difference = m_lastTime.msecsTo(time);
        const QTime interval = difference < 0 ? QTime() : QTime::fromMSecsSinceStartOfDay(difference);
        ui->labelUpdateIntervalValue->setText(interval.toString(QStringLiteral("ss.zzz")));
    } else {
        ui->labelUpdateIntervalValue->setText(QStringLiteral("00.000"));
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
    ui->labelUpdateTimeValue->setText(QStringLiteral("00:00:00.000"));
    ui->labelUpdateIntervalValue->setText(QStringLiteral("00.000"));

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
