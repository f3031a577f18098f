#include "trendbuffer.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Trend {

TrendBuffer::TrendBuffer(int budget)
    : m_budget(qMax(16, budget))
{
}

bool TrendBuffer::isGap(const QPointF &point)
{
    return std::isnan(point.y());
}

void TrendBuffer::append(qint64 timeMs, double value)
{
    // A value that is not a number would read as a gap; infinite ones cannot
    // be drawn. Both break the line instead.
    if (!std::isfinite(value)) {
        breakAt(timeMs);
        return;
    }
    m_points.append(QPointF(double(timeMs), value));
    if (m_points.size() > m_budget)
        thin();
}

void TrendBuffer::breakAt(qint64 timeMs)
{
    if (m_points.isEmpty() || isGap(m_points.constLast()))
        return;
    m_points.append(QPointF(double(timeMs), std::numeric_limits<double>::quiet_NaN()));
}

void TrendBuffer::dropBefore(qint64 timeMs)
{
    const auto first = std::lower_bound(m_points.cbegin(), m_points.cend(), double(timeMs),
                                        [](const QPointF &p, double t) { return p.x() < t; });
    // Keep one point before the edge, so the line reaches it.
    const int drop = int(first - m_points.cbegin()) - 1;
    if (drop > 0)
        m_points.remove(0, drop);
}

void TrendBuffer::thin()
{
    const int half = m_points.size() / 2;
    QVector<QPointF> kept;
    kept.reserve(m_points.size() - half / 2);
    for (int i = 0; i < half; ++i) {
        const bool nearGap = isGap(m_points.at(i)) || (i > 0 && isGap(m_points.at(i - 1)))
                             || (i + 1 < m_points.size() && isGap(m_points.at(i + 1)));
        if (nearGap || i % 2 == 0)
            kept.append(m_points.at(i));
    }
    for (int i = half; i < m_points.size(); ++i)
        kept.append(m_points.at(i));
    m_points = kept;
}

QVector<QVector<QPointF>> TrendBuffer::segments(qint64 from, qint64 to) const
{
    QVector<QVector<QPointF>> result;
    auto begin = std::lower_bound(m_points.cbegin(), m_points.cend(), double(from),
                                  [](const QPointF &p, double t) { return p.x() < t; });
    if (begin != m_points.cbegin())
        --begin;
    auto end = std::upper_bound(begin, m_points.cend(), double(to),
                                [](double t, const QPointF &p) { return t < p.x(); });
    if (end != m_points.cend())
        ++end;
    QVector<QPointF> run;
    for (auto it = begin; it != end; ++it) {
        if (isGap(*it)) {
            if (!run.isEmpty())
                result.append(run);
            run.clear();
        } else {
            run.append(*it);
        }
    }
    if (!run.isEmpty())
        result.append(run);
    return result;
}

bool TrendBuffer::valueAt(qint64 timeMs, double *value) const
{
    if (m_points.isEmpty())
        return false;
    auto it = std::lower_bound(m_points.cbegin(), m_points.cend(), double(timeMs),
                               [](const QPointF &p, double t) { return p.x() < t; });
    if (it == m_points.cend())
        --it;
    else if (it != m_points.cbegin() && (timeMs - (it - 1)->x()) < (it->x() - timeMs))
        --it;
    if (isGap(*it))
        return false;
    if (value)
        *value = it->y();
    return true;
}

} // namespace Trend
