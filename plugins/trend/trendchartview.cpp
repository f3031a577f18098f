#include "trendchartview.h"

#include <pointbook/tag.h>
#include <workspace/tagformatter.h>

#include <QDateTime>
#include <QDateTimeAxis>
#include <QKeyEvent>
#include <QLegendMarker>
#include <QLineSeries>
#include <QTimer>
#include <QToolTip>
#include <QValueAxis>
#include <QWheelEvent>

#include <cmath>
#include <limits>

using namespace QtCharts;
using Pointbook::Tag;

namespace Trend {

namespace {
const QColor Palette[] = {QColor(31, 119, 180), QColor(214, 39, 40), QColor(44, 160, 44),
                          QColor(255, 127, 14), QColor(148, 103, 189), QColor(140, 86, 75),
                          QColor(227, 119, 194), QColor(23, 190, 207)};
}

TrendChartView::TrendChartView(QWidget *parent)
    : QChartView(parent)
    , m_chart(new QChart)
    , m_timeAxis(new QDateTimeAxis)
    , m_redrawTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("trendChartView"));
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_chart->setMargins(QMargins(4, 4, 4, 4));
    // No axis title: with one, this chart lost the time labels altogether.
    m_timeAxis->setFormat(QStringLiteral("hh:mm:ss"));
    m_timeAxis->setTickCount(7);
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
    setChart(m_chart);
    setRenderHint(QPainter::Antialiasing, false);
    setRubberBand(QChartView::HorizontalRubberBand);
    setFocusPolicy(Qt::StrongFocus);

    m_redrawTimer->setSingleShot(true);
    m_redrawTimer->setInterval(RedrawIntervalMs);
    connect(m_redrawTimer, &QTimer::timeout, this, &TrendChartView::redraw);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(now - m_windowMs),
                         QDateTime::fromMSecsSinceEpoch(now));
}

TrendChartView::~TrendChartView()
{
    clearTracks();
}

QColor TrendChartView::colorFor(const Tag *tag, int index)
{
    const QColor own = tag ? tag->colorChart() : QColor();
    if (own.isValid() && own.alpha() > 0)
        return own;
    return Palette[index % int(sizeof(Palette) / sizeof(Palette[0]))];
}

QString TrendChartView::legendName(const QString &name, const QString &unit)
{
    return unit.isEmpty() ? name : tr("%1 [%2]").arg(name, unit);
}

void TrendChartView::clearTracks()
{
    for (Track *track : qAsConst(m_tracks)) {
        if (track->connection)
            disconnect(track->connection);
        for (QLineSeries *series : qAsConst(track->series)) {
            m_chart->removeSeries(series);
            delete series;
        }
        delete track;
    }
    m_tracks.clear();
    for (QValueAxis *axis : qAsConst(m_axes)) {
        m_chart->removeAxis(axis);
        delete axis;
    }
    m_axes.clear();
}

void TrendChartView::setTags(const QList<Tag *> &tags)
{
    // Keep what was gathered for tags that stay.
    QHash<Tag *, TrendBuffer> kept;
    for (Track *track : qAsConst(m_tracks)) {
        if (track->tag)
            kept.insert(track->tag, track->buffer);
    }
    const bool wasHistory = m_history;
    clearTracks();
    m_history = false;
    int index = 0;
    for (Tag *tag : tags) {
        if (!tag || tag->count() > 1)
            continue;
        auto *track = new Track;
        track->tag = tag;
        track->name = tag->name();
        track->unit = tag->unit();
        track->color = colorFor(tag, index++);
        track->buffer = kept.value(tag);
        track->connection = connect(tag, &Tag::changedValue, this, [track] { track->refreshed = true; });
        m_tracks.append(track);
    }
    buildAxes();
    if (wasHistory)
        setFollowing(true);
    redraw();
}

void TrendChartView::showHistory(const QVector<HistoryTrack> &tracks, qint64 fromMs, qint64 toMs)
{
    clearTracks();
    m_history = true;
    for (const HistoryTrack &h : tracks) {
        auto *track = new Track;
        track->name = h.name;
        track->unit = h.unit;
        track->color = h.color;
        track->buffer = TrendBuffer(qMax(16, h.points.size() + 1));
        for (const QPointF &p : h.points) {
            if (TrendBuffer::isGap(p))
                track->buffer.breakAt(qint64(p.x()));
            else
                track->buffer.append(qint64(p.x()), p.y());
        }
        m_tracks.append(track);
    }
    m_historyFrom = fromMs;
    m_historyTo = qMax(toMs, fromMs + 1);
    buildAxes();
    setFollowing(false);
    m_timeAxis->setFormat(m_historyTo - m_historyFrom > 86400000 ? QStringLiteral("dd.MM. hh:mm")
                                                                 : QStringLiteral("hh:mm:ss"));
    m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(m_historyFrom),
                         QDateTime::fromMSecsSinceEpoch(m_historyTo));
    redraw();
}

void TrendChartView::showLive()
{
    // The plug-in hands the charted tags again (setTags).
    m_history = false;
    m_timeAxis->setFormat(QStringLiteral("hh:mm:ss"));
    setFollowing(true);
}

void TrendChartView::buildAxes()
{
    // Units in the order of their first tag; the first two get an axis of
    // their own, the rest one hidden axis per tag.
    QStringList units;
    for (Track *track : qAsConst(m_tracks)) {
        if (!units.contains(track->unit))
            units.append(track->unit);
    }
    QHash<QString, QValueAxis *> shown;
    for (int u = 0; u < units.size() && u < MaxValueAxes; ++u) {
        auto *axis = new QValueAxis;
        axis->setTitleText(units.at(u));
        axis->setObjectName(QStringLiteral("axis:") + units.at(u));
        m_chart->addAxis(axis, u == 0 ? Qt::AlignLeft : Qt::AlignRight);
        m_axes.append(axis);
        shown.insert(units.at(u), axis);
    }
    for (Track *track : qAsConst(m_tracks)) {
        track->axis = shown.value(track->unit);
        if (!track->axis) {
            track->axis = new QValueAxis;
            track->axis->setVisible(false);
            m_chart->addAxis(track->axis, Qt::AlignRight);
            m_axes.append(track->axis);
        }
    }
}

QList<QLineSeries *> TrendChartView::seriesOf(int track) const
{
    return track >= 0 && track < m_tracks.size() ? m_tracks.at(track)->series : QList<QLineSeries *>();
}

QString TrendChartView::trackName(int track) const
{
    return track >= 0 && track < m_tracks.size() ? m_tracks.at(track)->name : QString();
}

const TrendBuffer *TrendChartView::bufferOf(int track) const
{
    return track >= 0 && track < m_tracks.size() ? &m_tracks.at(track)->buffer : nullptr;
}

void TrendChartView::setWindow(qint64 milliseconds)
{
    m_windowMs = qBound<qint64>(1000, milliseconds, 3600000);
    if (!m_history) {
        setFollowing(true);
        redraw();
    }
}

void TrendChartView::setFollowing(bool following)
{
    if (m_following == following)
        return;
    m_following = following;
    emit followingChanged(following);
    if (following)
        scheduleRedraw();
}

void TrendChartView::passEnded(qint64 timeMs)
{
    if (m_history)
        return;
    const qint64 now = timeMs < 0 ? QDateTime::currentMSecsSinceEpoch() : timeMs;
    m_lastMs = now;
    for (Track *track : qAsConst(m_tracks)) {
        const QVector<double> values = track->refreshed && track->tag
                                           ? Workspace::TagFormatter::numericValues(track->tag)
                                           : QVector<double>();
        if (values.size() == 1)
            track->buffer.append(now, values.constFirst());
        else
            track->buffer.breakAt(now);
        track->refreshed = false;
        track->buffer.dropBefore(now - KeepMs);
    }
    scheduleRedraw();
}

void TrendChartView::scheduleRedraw()
{
    m_dirty = true;
    if (!m_redrawTimer->isActive())
        m_redrawTimer->start();
}

void TrendChartView::redraw()
{
    m_redrawTimer->stop();
    m_dirty = false;
    qint64 from = m_timeAxis->min().toMSecsSinceEpoch();
    qint64 to = m_timeAxis->max().toMSecsSinceEpoch();
    if (!m_history && m_following) {
        to = m_lastMs > 0 ? m_lastMs : QDateTime::currentMSecsSinceEpoch();
        from = to - m_windowMs;
        m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(from), QDateTime::fromMSecsSinceEpoch(to));
    }

    QHash<QValueAxis *, QPair<double, double>> ranges;
    for (Track *track : qAsConst(m_tracks)) {
        const QVector<QVector<QPointF>> pieces = track->buffer.segments(from, to);
        // One series per unbroken piece; the first carries the legend entry.
        while (track->series.size() < qMax(1, pieces.size())) {
            auto *series = new QLineSeries;
            series->setColor(track->color);
            QPen pen = series->pen();
            pen.setWidthF(1.5);
            pen.setColor(track->color);
            series->setPen(pen);
            series->setUseOpenGL(false);
            const bool first = track->series.isEmpty();
            series->setName(legendName(track->name, track->unit)
                            + (track->axis && !track->axis->isVisible() ? tr(" (scaled)") : QString()));
            m_chart->addSeries(series);
            series->attachAxis(m_timeAxis);
            series->attachAxis(track->axis);
            if (!first) {
                const auto markers = m_chart->legend()->markers(series);
                for (QLegendMarker *marker : markers)
                    marker->setVisible(false);
            }
            connect(series, &QLineSeries::hovered, this, [this](const QPointF &point, bool state) {
                if (state)
                    showValuesAt(point);
                else
                    QToolTip::hideText();
            });
            track->series.append(series);
        }
        while (track->series.size() > qMax(1, pieces.size())) {
            QLineSeries *series = track->series.takeLast();
            m_chart->removeSeries(series);
            delete series;
        }
        for (int i = 0; i < track->series.size(); ++i)
            track->series.at(i)->replace(i < pieces.size() ? pieces.at(i) : QVector<QPointF>());

        auto range = ranges.value(track->axis, qMakePair(std::numeric_limits<double>::max(),
                                                         std::numeric_limits<double>::lowest()));
        for (const QVector<QPointF> &piece : pieces) {
            for (const QPointF &p : piece) {
                if (p.x() < from || p.x() > to)
                    continue;
                range.first = qMin(range.first, p.y());
                range.second = qMax(range.second, p.y());
            }
        }
        ranges.insert(track->axis, range);
    }
    for (auto it = ranges.cbegin(); it != ranges.cend(); ++it) {
        double low = it.value().first;
        double high = it.value().second;
        if (low > high) {
            low = 0.0;
            high = 1.0;
        } else if (high - low < 1e-9) {
            low -= 1.0;
            high += 1.0;
        } else {
            const double pad = (high - low) * 0.05;
            low -= pad;
            high += pad;
        }
        it.key()->setRange(low, high);
    }
}

void TrendChartView::showValuesAt(const QPointF &point)
{
    const qint64 time = qint64(point.x());
    QStringList lines{QDateTime::fromMSecsSinceEpoch(time).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"))};
    for (Track *track : qAsConst(m_tracks)) {
        double value = 0.0;
        const QString text = track->buffer.valueAt(time, &value)
                                 ? QString::number(value, 'g', 7)
                                 : tr("no value");
        lines.append(QStringLiteral("%1: %2").arg(legendName(track->name, track->unit), text));
    }
    QToolTip::showText(QCursor::pos(), lines.join(QLatin1Char('\n')), this);
}

void TrendChartView::zoomTime(double factor)
{
    const qint64 from = m_timeAxis->min().toMSecsSinceEpoch();
    const qint64 to = m_timeAxis->max().toMSecsSinceEpoch();
    const qint64 middle = (from + to) / 2;
    const qint64 half = qMax<qint64>(500, qint64((to - from) * factor / 2));
    setFollowing(false);
    m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(middle - half),
                         QDateTime::fromMSecsSinceEpoch(middle + half));
    redraw();
}

void TrendChartView::scrollTime(double fraction)
{
    const qint64 from = m_timeAxis->min().toMSecsSinceEpoch();
    const qint64 to = m_timeAxis->max().toMSecsSinceEpoch();
    const qint64 shift = qint64((to - from) * fraction);
    setFollowing(false);
    m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(from + shift), QDateTime::fromMSecsSinceEpoch(to + shift));
    redraw();
}

void TrendChartView::wheelEvent(QWheelEvent *event)
{
    const int steps = event->angleDelta().y();
    if (steps == 0) {
        QChartView::wheelEvent(event);
        return;
    }
    if (event->modifiers() & Qt::ShiftModifier)
        scrollTime(steps > 0 ? -0.1 : 0.1);
    else
        zoomTime(steps > 0 ? 0.8 : 1.25);
    event->accept();
}

void TrendChartView::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Left: scrollTime(-0.1); break;
    case Qt::Key_Right: scrollTime(0.1); break;
    case Qt::Key_Plus: zoomTime(0.8); break;
    case Qt::Key_Minus: zoomTime(1.25); break;
    default: QChartView::keyPressEvent(event); return;
    }
    event->accept();
}

// The rubber band zooms the chart; for time that means leaving follow mode.
void TrendChartView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        // Undo the zoom: back to the whole history range or to live.
        if (m_history)
            m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(m_historyFrom),
                                 QDateTime::fromMSecsSinceEpoch(m_historyTo));
        else
            setFollowing(true);
        redraw();
        event->accept();
        return;
    }
    QChartView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) {
        setFollowing(false);
        redraw();
    }
}

} // namespace Trend
