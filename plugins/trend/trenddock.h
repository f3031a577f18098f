#pragma once

#include "trend_global.h"

#include <QDockWidget>

QT_BEGIN_NAMESPACE
class QAction;
class QComboBox;
class QLabel;
QT_END_NAMESPACE

namespace Trend {

class TrendChartView;

// The trend dock: the chart with its window (1 min, 10 min, 1 h), follow or
// pause, and the switch between live values and a recorded range.
class TREND_EXPORT TrendDock : public QDockWidget
{
    Q_OBJECT

public:
    explicit TrendDock(QWidget *parent = nullptr);

    TrendChartView *chartView() const { return m_view; }
    QComboBox *windowBox() const { return m_window; }
    QAction *followAction() const { return m_follow; }
    QAction *historyAction() const { return m_historyAction; }
    QAction *liveAction() const { return m_live; }
    void setCaption(const QString &text);

signals:
    void historyRequested();
    void liveRequested();

private:
    TrendChartView *m_view;
    QComboBox *m_window;
    QAction *m_follow;
    QAction *m_historyAction;
    QAction *m_live;
    QLabel *m_caption;
};

} // namespace Trend
