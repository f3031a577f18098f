#include <qled/qled.h>

#include <QImage>
#include <QtTest>

class tst_QLed : public QObject
{
    Q_OBJECT

private slots:
    void enumerationValues();
    void onDiffersFromOff_data();
    void onDiffersFromOff();
    void shapeFillsCorner_data();
    void shapeFillsCorner();
    void scalesWithSize_data();
    void scalesWithSize();
    void colourShowsInCentre_data();
    void colourShowsInCentre();

private:
    static QImage render(QLed &led, const QSize &size);
};

QImage tst_QLed::render(QLed &led, const QSize &size)
{
    led.resize(size);
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    led.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

void tst_QLed::enumerationValues()
{
    QCOMPARE(int(QLed::Red), 0);
    QCOMPARE(int(QLed::Green), 1);
    QCOMPARE(int(QLed::Yellow), 2);
    QCOMPARE(int(QLed::Grey), 3);
    QCOMPARE(int(QLed::Orange), 4);
    QCOMPARE(int(QLed::Purple), 5);
    QCOMPARE(int(QLed::Blue), 6);
    QCOMPARE(int(QLed::Circle), 0);
    QCOMPARE(int(QLed::Square), 1);
    QCOMPARE(int(QLed::Triangle), 2);
    QCOMPARE(int(QLed::Rounded), 3);
}

void tst_QLed::onDiffersFromOff_data()
{
    QTest::addColumn<int>("shape");
    QTest::addColumn<int>("onColor");
    QTest::addColumn<int>("offColor");
    QTest::newRow("circle red/grey") << int(QLed::Circle) << int(QLed::Red) << int(QLed::Grey);
    QTest::newRow("square green/grey") << int(QLed::Square) << int(QLed::Green) << int(QLed::Grey);
    QTest::newRow("triangle blue/purple") << int(QLed::Triangle) << int(QLed::Blue) << int(QLed::Purple);
    QTest::newRow("rounded yellow/grey") << int(QLed::Rounded) << int(QLed::Yellow) << int(QLed::Grey);
    // Same colour on and off: still visibly lit versus dark.
    QTest::newRow("orange both") << int(QLed::Circle) << int(QLed::Orange) << int(QLed::Orange);
}

void tst_QLed::onDiffersFromOff()
{
    QFETCH(int, shape);
    QFETCH(int, onColor);
    QFETCH(int, offColor);
    QLed led;
    led.setShape(QLed::LedShape(shape));
    led.setOnColor(QLed::LedColor(onColor));
    led.setOffColor(QLed::LedColor(offColor));
    QVERIFY(!led.value());
    const QImage off = render(led, QSize(25, 20));
    led.setValue(true);
    QVERIFY(led.value());
    const QImage on = render(led, QSize(25, 20));
    QVERIFY(on != off);
    const QPoint centre(12, 12);
    QVERIFY(qGray(on.pixel(centre)) > qGray(off.pixel(centre)));
    led.toggleValue();
    QCOMPARE(render(led, QSize(25, 20)), off);
}

void tst_QLed::shapeFillsCorner_data()
{
    QTest::addColumn<int>("shape");
    QTest::addColumn<bool>("cornerPainted");
    QTest::newRow("circle") << int(QLed::Circle) << false;
    QTest::newRow("square") << int(QLed::Square) << true;
    QTest::newRow("triangle") << int(QLed::Triangle) << false;
    QTest::newRow("rounded") << int(QLed::Rounded) << false;
}

void tst_QLed::shapeFillsCorner()
{
    QFETCH(int, shape);
    QFETCH(bool, cornerPainted);
    QLed led;
    led.setShape(QLed::LedShape(shape));
    led.setValue(true);
    const QImage image = render(led, QSize(40, 40));
    QCOMPARE(qAlpha(image.pixel(1, 1)) > 0, cornerPainted);
    QVERIFY(qAlpha(image.pixel(20, 24)) > 0);
}

void tst_QLed::scalesWithSize_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("tiny") << QSize(6, 6);
    QTest::newRow("status bar") << QSize(25, 20);
    QTest::newRow("large wide") << QSize(200, 90);
    QTest::newRow("tall") << QSize(30, 120);
    QTest::newRow("empty") << QSize(0, 0);
}

void tst_QLed::scalesWithSize()
{
    QFETCH(QSize, size);
    QLed led;
    led.setValue(true);
    if (size.isEmpty()) {
        led.resize(size);
        led.grab(); // nothing to draw, nothing to crash
        return;
    }
    const QImage image = render(led, size);
    const int side = qMin(size.width(), size.height());
    int painted = 0;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x)
            painted += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
    }
    // A circle fills about pi/4 of the square it is drawn in.
    const double ratio = double(painted) / (side * side);
    QVERIFY2(ratio > 0.5 && ratio < 1.05, qPrintable(QString::number(ratio)));
    QVERIFY(qAlpha(image.pixel(size.width() / 2, size.height() / 2)) > 0);
}

void tst_QLed::colourShowsInCentre_data()
{
    QTest::addColumn<int>("color");
    QTest::addColumn<int>("hueLow");
    QTest::addColumn<int>("hueHigh");
    QTest::newRow("red") << int(QLed::Red) << -15 << 15;
    QTest::newRow("yellow") << int(QLed::Yellow) << 40 << 65;
    QTest::newRow("green") << int(QLed::Green) << 100 << 140;
    QTest::newRow("blue") << int(QLed::Blue) << 200 << 230;
}

void tst_QLed::colourShowsInCentre()
{
    QFETCH(int, color);
    QFETCH(int, hueLow);
    QFETCH(int, hueHigh);
    QLed led;
    led.setOnColor(QLed::LedColor(color));
    led.setValue(true);
    const QImage image = render(led, QSize(60, 60));
    int hue = QColor(image.pixel(32, 36)).hue();
    if (hue > 300)
        hue -= 360;
    QVERIFY2(hue >= hueLow && hue <= hueHigh, qPrintable(QString::number(hue)));
}

QTEST_MAIN(tst_QLed)
#include "tst_qled.moc"
