#pragma once

#include "trend_global.h"
#include "trendbuffer.h"

#include <QChartView>
#include <QColor>
#include <QHash>
#include <QMetaObject>
#include <QPointer>
#include <QVector>

QT_CHARTS_BEGIN_NAMESPACE
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;
QT_CHARTS_END_NAMESPACE

QT_BEGIN_NAMESPACE
class QTimer;
QT_END_NAMESPACE

namespace Pointbook {
class Tag;
}

namespace Trend {

// The trend chart: one line per charted tag in the tag's chart colour, time
// along the bottom, one value axis per unit (the first two units on the
// left and right; tags of further units are scaled to the plot's height and
// say so in the legend). A tag that a pass did not refresh breaks its line.
//
// Live, each pass only appends to the tags' buffers; the chart is redrawn at
// most once per RedrawIntervalMs and each tag's buffer is thinned to a point
// budget, so many tags at many passes a second keep the window responsive.
// In history mode the chart shows points read from the recording.
class TREND_EXPORT TrendChartView : public QtCharts::QChartView
{
    Q_OBJECT

public:
    static constexpr int RedrawIntervalMs = 200;
    // Live points are kept for the longest window and a little more.
    static constexpr qint64 KeepMs = 3600000 + 60000;
    static constexpr int MaxValueAxes = 2;

    explicit TrendChartView(QWidget *parent = nullptr);
    ~TrendChartView() override;

    // The tags to chart, live; buffers of tags that stay are kept.
    void setTags(const QList<Pointbook::Tag *> &tags);
    // Recorded points instead of live values, over [from, to].
    struct HistoryTrack
    {
        QString name;
        QString unit;
        QColor color;
        QVector<QPointF> points; // NaN values mark gaps
    };
    void showHistory(const QVector<HistoryTrack> &tracks, qint64 fromMs, qint64 toMs);
    void showLive();
    bool isHistory() const { return m_history; }

    void setWindow(qint64 milliseconds);
    qint64 window() const { return m_windowMs; }
    // Paused, the time axis stays where it is; data keeps coming in.
    void setFollowing(bool following);
    bool isFollowing() const { return m_following; }

    int trackCount() const { return m_tracks.size(); }
    // The line pieces of a track (more than one where it has gaps).
    QList<QtCharts::QLineSeries *> seriesOf(int track) const;
    QString trackName(int track) const;
    const TrendBuffer *bufferOf(int track) const;

    // The chart's colour for a tag: its own, or one of a palette when the
    // tag has none (never chosen: fully transparent).
    static QColor colorFor(const Pointbook::Tag *tag, int index);
    static QString legendName(const QString &name, const QString &unit);

public slots:
    // End of a polling pass at this time (now when negative).
    void passEnded(qint64 timeMs = -1);
    // Draws now what has been gathered.
    void redraw();

signals:
    void followingChanged(bool following);

protected:
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    struct Track
    {
        QPointer<Pointbook::Tag> tag;
        QString name;
        QString unit;
        QColor color;
        TrendBuffer buffer;
        QList<QtCharts::QLineSeries *> series;
        QtCharts::QValueAxis *axis = nullptr;
        QMetaObject::Connection connection;
        bool refreshed = false;
    };

    void clearTracks();
    void buildAxes();
    void scheduleRedraw();
    void showValuesAt(const QPointF &point);
    void zoomTime(double factor);
    void scrollTime(double fraction);

    QtCharts::QChart *m_chart;
    QtCharts::QDateTimeAxis *m_timeAxis;
    QVector<Track *> m_tracks;
    QList<QtCharts::QValueAxis *> m_axes;
    QTimer *m_redrawTimer;
    qint64 m_windowMs = 60000;
    qint64 m_lastMs = 0;
    qint64 m_historyFrom = 0;
    qint64 m_historyTo = 0;
    bool m_following = true;
    bool m_history = false;
    bool m_dirty = false;
};

} // namespace Trend
