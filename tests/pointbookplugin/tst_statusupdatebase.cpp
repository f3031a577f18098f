#include <pointbook/statusupdatebase.h>
#include <qled/qled.h>

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QTime>
#include <QTimer>
#include <QtTest>

using Pointbook::StatusUpdateBase;

class tst_StatusUpdateBase : public QObject
{
    Q_OBJECT

private slots:
    void form_data();
    void form();
    void ledSettings();
    void metaObjectOrder();
    void interval_data();
    void interval();
    void clearKeepsLastTime();
    void blinkShowsTimeAndInterval();
    void ledOnThenOff();
    void blinkWhileOnDoesNotProlong();
    void progressSlots();
    void fastPassNeverShowsBar();
    void longPassShowsBar();
    void clearHidesBar();
    void shownBarPaintsFewSteps();
    void valueLabelsKeepSizeAndFitText_data();
    void valueLabelsKeepSizeAndFitText();

private:
    static QLabel *label(StatusUpdateBase &strip, const char *name)
    {
        return strip.findChild<QLabel *>(QLatin1String(name));
    }
    static QProgressBar *bar(StatusUpdateBase &strip)
    {
        return strip.findChild<QProgressBar *>(QStringLiteral("progressBar"));
    }
    static QLed *led(StatusUpdateBase &strip)
    {
        return strip.findChild<QLed *>(QStringLiteral("ledBlink"));
    }
};

void tst_StatusUpdateBase::form_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("time caption") << "labelUpdateTime" << "Update time:";
    QTest::newRow("time value") << "labelUpdateTimeValue" << "00:00:00.000";
    QTest::newRow("interval caption") << "labelUpdateInterval" << "Update interval:";
    QTest::newRow("interval value") << "labelUpdateIntervalValue" << "00.000";
    QTest::newRow("unit") << "label" << "sec.";
}

void tst_StatusUpdateBase::form()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    StatusUpdateBase strip;
    QCOMPARE(strip.objectName(), QString("StatusUpdateBase"));
    QCOMPARE(strip.windowTitle(), QString("Form"));
    QCOMPARE(strip.size(), QSize(695, 26));
    auto *l = strip.findChild<QLabel *>(name);
    QVERIFY(l);
    QCOMPARE(l->text(), text);

    auto *grid = strip.findChild<QGridLayout *>("gridLayout");
    QVERIFY(grid);
    QCOMPARE(grid->contentsMargins(), QMargins(0, 0, 0, 0));
    auto *row = strip.findChild<QHBoxLayout *>("horizontalLayout");
    QVERIFY(row);
    const QStringList order = {"labelUpdateTime", "ledBlink", "labelUpdateTimeValue",
                               "labelUpdateInterval", "labelUpdateIntervalValue", "label",
                               "progressBar"};
    QCOMPARE(row->count(), order.size());
    for (int i = 0; i < order.size(); ++i)
        QCOMPARE(row->itemAt(i)->widget()->objectName(), order.at(i));
    QCOMPARE(bar(strip)->alignment(), Qt::AlignCenter);
}

void tst_StatusUpdateBase::ledSettings()
{
    StatusUpdateBase strip;
    QLed *l = led(strip);
    QVERIFY(l);
    QCOMPARE(l->shape(), QLed::Rounded);
    QCOMPARE(l->offColor(), QLed::Grey);
    QCOMPARE(l->onColor(), QLed::Yellow);
    QCOMPARE(l->minimumSize(), QSize(25, 20));
    QCOMPARE(l->maximumSize(), QSize(25, 20));
    QVERIFY(!l->value());
    QVERIFY(bar(strip)->isHidden());
    QCOMPARE(bar(strip)->value(), 0);
}

void tst_StatusUpdateBase::metaObjectOrder()
{
    const QMetaObject &mo = StatusUpdateBase::staticMetaObject;
    const QList<QByteArray> expected = {"blinkLed()", "setUpdateTime(QString)",
                                        "setUpdateInterval(QTime)", "setProgressBarMaximum(int)",
                                        "setProgressBarValue(int)", "progressBarClear()",
                                        "incrementProgressBarValue()", "clear()", "OffLedBlink()"};
    QList<QByteArray> actual;
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i)
        actual << mo.method(i).methodSignature();
    QCOMPARE(actual.mid(0, expected.size()), expected);
}

void tst_StatusUpdateBase::interval_data()
{
    QTest::addColumn<QTime>("first");
    QTest::addColumn<QTime>("second");
    QTest::addColumn<QString>("text");
    const QTime noon(12, 0, 0, 0);
    QTest::newRow("1.5 s") << noon << noon.addMSecs(1500) << "01.500";
    QTest::newRow("70 s shows seconds within the minute") << noon << noon.addSecs(70) << "10.000";
    QTest::newRow("75 s") << noon << noon.addSecs(75) << "15.000";
    QTest::newRow("same time") << noon << noon << "00.000";
    QTest::newRow("earlier time is empty") << noon << noon.addMSecs(-1) << "";
    QTest::newRow("no wrap at midnight") << QTime(23, 59, 59, 500) << QTime(0, 0, 0, 500) << "";
}

void tst_StatusUpdateBase::interval()
{
    QFETCH(QTime, first);
    QFETCH(QTime, second);
    QFETCH(QString, text);
    StatusUpdateBase strip;
    QLabel *value = label(strip, "labelUpdateIntervalValue");
    strip.setUpdateInterval(first);
    QCOMPARE(value->text(), QString("00.000"));
    strip.setUpdateInterval(second);
    QCOMPARE(value->text(), text);
}

void tst_StatusUpdateBase::valueLabelsKeepSizeAndFitText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("grows");
    QTest::newRow("a time") << "23:59:59.999" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("a caller's longer text") << "not polled since the link was lost" << true;
}

void tst_StatusUpdateBase::valueLabelsKeepSizeAndFitText()
{
    QFETCH(QString, text);
    QFETCH(bool, grows);
    StatusUpdateBase strip;
    strip.show();
    QVERIFY(QTest::qWaitForWindowExposed(&strip));
    QLabel *value = label(strip, "labelUpdateTimeValue");
    const QSize before = value->size();
    // A fixed size: a new text does not lay the status bar out again.
    QCOMPARE(value->minimumSize(), value->maximumSize());
    strip.blinkLed();
    QCOMPARE(value->size(), before);
    strip.setUpdateTime(text);
    QCOMPARE(value->text(), text);
    QCOMPARE(value->width() > before.width(), grows);
    QVERIFY(value->width() >= value->sizeHint().width());
}

void tst_StatusUpdateBase::clearKeepsLastTime()
{
    StatusUpdateBase strip;
    const QTime t0(8, 30, 0, 0);
    strip.setUpdateTime("08:30:00.000");
    strip.setUpdateInterval(t0);
    strip.setUpdateInterval(t0.addSecs(2));
    QCOMPARE(label(strip, "labelUpdateIntervalValue")->text(), QString("02.000"));

    strip.clear();
    QCOMPARE(label(strip, "labelUpdateTimeValue")->text(), QString("00:00:00.000"));
    QCOMPARE(label(strip, "labelUpdateIntervalValue")->text(), QString("00.000"));
    QVERIFY(!led(strip)->value());

    strip.setUpdateInterval(t0.addMSecs(3500));
    QCOMPARE(label(strip, "labelUpdateIntervalValue")->text(), QString("01.500"));
}

void tst_StatusUpdateBase::blinkShowsTimeAndInterval()
{
    StatusUpdateBase strip;
    const QTime before = QTime::currentTime();
    strip.blinkLed();
    const QTime shown = QTime::fromString(label(strip, "labelUpdateTimeValue")->text(),
                                          "hh:mm:ss.zzz");
    QVERIFY(shown.isValid());
    // Tolerates a test run that crosses midnight.
    QVERIFY(qAbs(before.msecsTo(shown)) < 60 * 1000 || before.hour() == 23);
    QCOMPARE(label(strip, "labelUpdateIntervalValue")->text(), QString("00.000"));

    // The next update measures from the blink.
    strip.setUpdateInterval(shown.addMSecs(250));
    QCOMPARE(label(strip, "labelUpdateIntervalValue")->text(), QString("00.250"));
}

void tst_StatusUpdateBase::ledOnThenOff()
{
    StatusUpdateBase strip;
    strip.blinkLed();
    QVERIFY(led(strip)->value());
    QTRY_VERIFY_WITH_TIMEOUT(!led(strip)->value(), 5000);
}

void tst_StatusUpdateBase::blinkWhileOnDoesNotProlong()
{
    StatusUpdateBase strip;
    auto *timer = strip.findChild<QTimer *>("ledTimer");
    QVERIFY(timer);
    QElapsedTimer clock;
    clock.start();
    strip.blinkLed();
    QVERIFY(timer->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(clock.elapsed() >= 120 || !timer->isActive(), 2000);
    if (!led(strip)->value())
        QSKIP("The LED went off before the second blink could be given.");
    strip.blinkLed();
    // A restart would have set it back to 200 ms.
    QVERIFY(!timer->isActive() || timer->remainingTime() <= 80);
    QTRY_VERIFY_WITH_TIMEOUT(!led(strip)->value(), 5000);
}

void tst_StatusUpdateBase::progressSlots()
{
    StatusUpdateBase strip;
    QProgressBar *b = bar(strip);
    b->setMinimum(5);
    strip.setProgressBarMaximum(7);
    QCOMPARE(b->minimum(), 0);
    QCOMPARE(b->maximum(), 7);
    strip.setProgressBarValue(3);
    QCOMPARE(b->value(), 3);
    strip.incrementProgressBarValue();
    strip.incrementProgressBarValue();
    QCOMPARE(b->value(), 5);
    strip.progressBarClear();
    QCOMPARE(b->value(), 0);
}

void tst_StatusUpdateBase::fastPassNeverShowsBar()
{
    StatusUpdateBase strip;
    strip.show();
    QProgressBar *b = bar(strip);
    for (int pass = 0; pass < 3; ++pass) {
        strip.progressBarClear();
        strip.setProgressBarMaximum(2);
        strip.incrementProgressBarValue();
        strip.incrementProgressBarValue();
        strip.blinkLed();
        QVERIFY(b->isHidden());
    }
    // Well past the delay after which a running pass would show it.
    QTest::qWait(StatusUpdateBase::ProgressShowDelayMs + 300);
    QVERIFY(b->isHidden());
}

void tst_StatusUpdateBase::longPassShowsBar()
{
    StatusUpdateBase strip;
    strip.show();
    QProgressBar *b = bar(strip);
    strip.progressBarClear();
    strip.setProgressBarMaximum(10);
    QVERIFY(b->isHidden());
    QTRY_VERIFY_WITH_TIMEOUT(!b->isHidden(), 5000);

    // The next pass of a cyclic run follows at once: the bar stays.
    strip.blinkLed();
    QVERIFY(!b->isHidden());
    strip.progressBarClear();
    QVERIFY(!b->isHidden());
    QCOMPARE(b->value(), 0);

    // After the last pass it goes away.
    strip.blinkLed();
    QTRY_VERIFY_WITH_TIMEOUT(b->isHidden(), 5000);
}

void tst_StatusUpdateBase::clearHidesBar()
{
    StatusUpdateBase strip;
    strip.show();
    QProgressBar *b = bar(strip);
    strip.progressBarClear();
    QTRY_VERIFY_WITH_TIMEOUT(!b->isHidden(), 5000);
    strip.clear();
    QVERIFY(b->isHidden());
    QTest::qWait(StatusUpdateBase::ProgressShowDelayMs + 300);
    QVERIFY(b->isHidden());
}

void tst_StatusUpdateBase::shownBarPaintsFewSteps()
{
    StatusUpdateBase strip;
    strip.show();
    QProgressBar *b = bar(strip);
    strip.progressBarClear();
    strip.setProgressBarMaximum(1000);
    QTRY_VERIFY_WITH_TIMEOUT(!b->isHidden(), 5000);
    QTest::qWait(StatusUpdateBase::ProgressRepaintMs * 2);

    int paints = 0;
    class PaintCounter : public QObject
    {
    public:
        explicit PaintCounter(int *count) : m_count(count) {}
        bool eventFilter(QObject *, QEvent *event) override
        {
            *m_count += event->type() == QEvent::Paint;
            return false;
        }
        int *m_count;
    } counter(&paints);
    b->installEventFilter(&counter);
    // A thousand steps in one go: the bar paints the first at once and the
    // last a moment later, not one per percent.
    for (int i = 0; i < 1000; ++i)
        strip.incrementProgressBarValue();
    QVERIFY2(paints <= 1, qPrintable(QString::number(paints)));
    QTRY_COMPARE(b->value(), 1000);
    strip.incrementProgressBarValue(); // beyond the end, ignored
    QTest::qWait(StatusUpdateBase::ProgressRepaintMs * 2);
    QCOMPARE(b->value(), 1000);
}

QTEST_MAIN(tst_StatusUpdateBase)
#include "tst_statusupdatebase.moc"
