#include "trenddock.h"
#include "trendchartview.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QToolBar>
#include <QVBoxLayout>

namespace Trend {

TrendDock::TrendDock(QWidget *parent)
    : QDockWidget(tr("Trend"), parent)
    , m_view(new TrendChartView)
{
    setObjectName(QStringLiteral("TrendDock"));
    auto *content = new QWidget(this);
    auto *bar = new QToolBar(content);
    bar->setObjectName(QStringLiteral("toolBarTrendDock"));
    bar->addWidget(new QLabel(tr("Window: "), bar));
    m_window = new QComboBox(bar);
    m_window->setObjectName(QStringLiteral("comboBoxWindow"));
    m_window->addItem(tr("1 min"), 60000);
    m_window->addItem(tr("10 min"), 600000);
    m_window->addItem(tr("1 h"), 3600000);
    bar->addWidget(m_window);
    m_follow = bar->addAction(tr("Follow"));
    m_follow->setObjectName(QStringLiteral("actionFollow"));
    m_follow->setCheckable(true);
    m_follow->setChecked(true);
    m_follow->setToolTip(tr("Keep the newest values in view; off pauses the chart"));
    bar->addSeparator();
    m_historyAction = bar->addAction(tr("History…"));
    m_historyAction->setObjectName(QStringLiteral("actionHistory"));
    m_historyAction->setToolTip(tr("Show a recorded time range of chosen tags"));
    m_live = bar->addAction(tr("Live"));
    m_live->setObjectName(QStringLiteral("actionLive"));
    m_live->setEnabled(false);
    m_caption = new QLabel(content);
    // Long hints wrap rather than widen the main window.
    m_caption->setWordWrap(true);
    m_caption->setObjectName(QStringLiteral("labelTrendCaption"));
    m_caption->setToolTip(tr("Wheel: zoom time; Shift+wheel or arrow keys: move; drag: zoom into a "
                             "range; right click: whole range"));

    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(bar);
    layout->addWidget(m_caption);
    layout->addWidget(m_view, 1);
    setWidget(content);
    m_view->setParent(content);

    connect(m_window, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int index) {
        m_view->setWindow(m_window->itemData(index).toLongLong());
    });
    connect(m_follow, &QAction::toggled, m_view, &TrendChartView::setFollowing);
    connect(m_view, &TrendChartView::followingChanged, m_follow, &QAction::setChecked);
    connect(m_historyAction, &QAction::triggered, this, &TrendDock::historyRequested);
    connect(m_live, &QAction::triggered, this, &TrendDock::liveRequested);
}

void TrendDock::setCaption(const QString &text)
{
    m_caption->setText(text);
    m_live->setEnabled(m_view->isHistory());
    m_window->setEnabled(!m_view->isHistory());
}

} // namespace Trend
