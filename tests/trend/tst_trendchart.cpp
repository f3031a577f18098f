// The trend chart with tags fed by hand: series only for charted tags, in
// their colours, a stale pass breaking the line, and the point budget.

#include <trend/trendbuffer.h>
#include <trend/trendchartview.h>

#include <pointbook/tag.h>

#include <QLineSeries>
#include <QtTest>

#include <cmath>

using Pointbook::Tag;
using Trend::TrendBuffer;
using Trend::TrendChartView;

class tst_TrendChart : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { qDeleteAll(m_tags); m_tags.clear(); }
    void seriesColoursAndGaps();
    void budget_data();
    void budget();

private:
    Tag *makeTag(const QString &id, const QString &unit, const QColor &color)
    {
        auto *tag = new Tag(Tag::IR);
        tag->setId(id);
        tag->setName(id);
        tag->setUnit(unit);
        tag->setDataType(Tag::UInt16);
        tag->setByteOrderInput(Tag::Order10);
        tag->setByteOrderOutput(Tag::Order01);
        tag->setCount(1);
        tag->setColorChart(color);
        m_tags.append(tag);
        return tag;
    }
    QList<Tag *> m_tags;
};

void tst_TrendChart::seriesColoursAndGaps()
{
    Tag *pressure = makeTag("Pressure", "bar", Qt::red);
    Tag *level = makeTag("Level", "mm", QColor(0, 0, 0, 0)); // never chosen
    Tag *speed = makeTag("Speed", "rpm", Qt::darkGreen);
    TrendChartView view;
    view.setTags({pressure, level, speed});
    QCOMPARE(view.trackCount(), 3);

    // Passes at 1 s steps; pass 3 does not refresh the pressure.
    const qint64 t0 = 1700000000000;
    for (int pass = 0; pass < 6; ++pass) {
        if (pass != 3)
            pressure->setRawData({quint16(10 + pass)});
        level->setRawData({quint16(100)});
        speed->setRawData({quint16(1500)});
        view.passEnded(t0 + pass * 1000);
    }
    view.redraw();

    const QList<QtCharts::QLineSeries *> pieces = view.seriesOf(0);
    QCOMPARE(pieces.size(), 2);
    QCOMPARE(pieces.at(0)->color(), QColor(Qt::red));
    QCOMPARE(pieces.at(0)->name(), QStringLiteral("Pressure [bar]"));
    QVector<double> before, after;
    for (const QPointF &p : pieces.at(0)->pointsVector())
        before.append(p.y());
    for (const QPointF &p : pieces.at(1)->pointsVector())
        after.append(p.y());
    QCOMPARE(before, (QVector<double>{10, 11, 12}));
    QCOMPARE(after, (QVector<double>{14, 15}));
    // The gap lies between the pieces: no line over pass 3.
    QVERIFY(pieces.at(0)->pointsVector().last().x() < t0 + 3000);
    QVERIFY(pieces.at(1)->pointsVector().first().x() > t0 + 3000);

    QCOMPARE(view.seriesOf(1).size(), 1);
    QVERIFY(view.seriesOf(1).first()->color().alpha() > 0); // a palette colour
    // A third unit gets no axis of its own and says so.
    QVERIFY(view.seriesOf(2).first()->name().contains("scaled"));
    QCOMPARE(view.seriesOf(2).first()->color(), QColor(Qt::darkGreen));

    // Only charted tags: the set handed over is the chart.
    view.setTags({level});
    QCOMPARE(view.trackCount(), 1);
    QCOMPARE(view.chart()->series().size(), 1);
    QCOMPARE(view.bufferOf(0)->size(), 6); // kept across the change
}

void tst_TrendChart::budget_data()
{
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("gapEvery");
    QTest::newRow("steady") << 20000 << 0;
    QTest::newRow("with gaps") << 20000 << 997;
}

// However many passes come, a buffer stays within its budget, keeps its
// newest points and every gap.
void tst_TrendChart::budget()
{
    QFETCH(int, points);
    QFETCH(int, gapEvery);
    TrendBuffer buffer(1000);
    int gaps = 0;
    for (int i = 0; i < points; ++i) {
        if (gapEvery && i % gapEvery == 0 && i > 0) {
            buffer.breakAt(i);
            ++gaps;
        } else {
            buffer.append(i, i);
        }
    }
    QVERIFY(buffer.size() <= buffer.budget());
    QCOMPARE(buffer.points().last().y(), double(points - 1));
    int kept = 0;
    for (const QPointF &p : buffer.points())
        kept += TrendBuffer::isGap(p) ? 1 : 0;
    if (gapEvery)
        QVERIFY(kept > 0);
    for (int i = 1; i < buffer.size(); ++i)
        QVERIFY(buffer.points().at(i).x() > buffer.points().at(i - 1).x());
    Q_UNUSED(gaps)
}

QTEST_MAIN(tst_TrendChart)

#include "tst_trendchart.moc"
