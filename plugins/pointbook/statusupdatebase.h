#pragma once

#include "pointbook_global.h"

#include <QElapsedTimer>
#include <QString>
#include <QTime>
#include <QWidget>

QT_BEGIN_NAMESPACE
class QLabel;
class QTimer;
QT_END_NAMESPACE

namespace Ui {
class StatusUpdateBase;
}

namespace Pointbook {

// One-line polling status for the status bar: an LED that blinks after every
// completed pass, the time of the last update, the interval since the one
// before, and a progress bar for passes long enough to be watched.
class POINTBOOK_EXPORT StatusUpdateBase : public QWidget
{
    Q_OBJECT

public:
    explicit StatusUpdateBase(QWidget *parent = nullptr);
    ~StatusUpdateBase() override;

    // A pass shorter than this never shows the progress bar, so that fast
    // polling does not make the status bar flicker.
    static constexpr int ProgressShowDelayMs = 500;
    // A bar shown for a long pass stays up this long after the pass, so that
    // back-to-back long passes keep it steady.
    static constexpr int ProgressLingerMs = 1000;
    // Without any progress for this long the pass is taken as stopped.
    static constexpr int ProgressStallMs = 5000;
    // A bar on screen follows the steps at most this often: a pass of
    // thousands of requests would otherwise paint it for nearly each one.
    static constexpr int ProgressRepaintMs = 50;

public slots:
    void blinkLed();
    void setUpdateTime(const QString &value);
    void setUpdateInterval(const QTime &time);
    void setProgressBarMaximum(int value);
    void setProgressBarValue(int value);
    void progressBarClear();
    void incrementProgressBarValue();
    void clear();

private slots:
    void OffLedBlink();

protected:
    void changeEvent(QEvent *event) override;

private:
    // The time and interval change with every pass. A label that may change
    // its size makes each new text lay the whole status bar out again; these
    // keep the width of their widest text, and grow for a wider one only.
    void fitValueLabels();
    void showValue(QLabel *label, const QString &text);
    void noteProgress();
    void showProgressBar();
    void hideProgressBar();
    // Hands the value to the bar, at once or within ProgressRepaintMs.
    void showProgress();
    void onHideTimer();

    Ui::StatusUpdateBase *ui;
    QTimer *m_timer;
    QTime m_lastTime;

    QTimer *m_showTimer;
    QTimer *m_hideTimer;
    QElapsedTimer m_passClock;
    // Since the last step: the hide timer is not restarted per step.
    QElapsedTimer m_sinceProgress;
    QTimer *m_progressTimer;
    QElapsedTimer m_sinceShown; // since the bar was last given a value
    int m_progress = 0;
    bool m_passRunning = false;
    bool m_lastPassLong = false;
};

} // namespace Pointbook
