#pragma once

#include "trend_global.h"

#include <QPointF>
#include <QVector>

namespace Trend {

// The points of one charted tag, oldest first, with gaps: a point whose
// value is NaN marks where the series is broken (a stale pass). When the
// buffer holds more than its budget, the older half is thinned to every
// second point, so drawing cost stays bounded however long it runs; gaps
// and the points next to them are always kept.
class TREND_EXPORT TrendBuffer
{
public:
    explicit TrendBuffer(int budget = 4000);

    void append(qint64 timeMs, double value);
    // Breaks the series at this time; nothing when it is broken already.
    void breakAt(qint64 timeMs);
    void dropBefore(qint64 timeMs);
    void clear() { m_points.clear(); }

    int size() const { return m_points.size(); }
    int budget() const { return m_budget; }
    const QVector<QPointF> &points() const { return m_points; }

    // The unbroken runs that reach into [from, to], each with the point
    // just outside either end, so lines run to the chart's edges.
    QVector<QVector<QPointF>> segments(qint64 from, qint64 to) const;
    // The value at the point nearest in time; false without one or in a gap.
    bool valueAt(qint64 timeMs, double *value) const;

    static bool isGap(const QPointF &point);

private:
    void thin();

    QVector<QPointF> m_points;
    int m_budget;
};

} // namespace Trend
