// The polling engine against a scripted driver double: intervals, request
// building, the pass state machine and its signals, and the cutting of
// replies into tags, with every answer under the test's control.

#include "../support/scriptedconnection.h"

#include <pointbook/basetag.h>
#include <pointbook/tag.h>
#include <pointbook/tagbase.h>

#include <QSignalSpy>
#include <QtTest>

using namespace Pointbook;

Q_DECLARE_METATYPE(QVector<QPoint>)

struct TagSpec
{
    int start;
    Tag::DataType type;
    int count;
    int offset;
    bool polled;
    quint64 mask;
};

Q_DECLARE_METATYPE(TagSpec)

namespace {

using Fn = IModbusTransaction::Function;

Tag *makeTag(Tag::RegisterType registerType, const TagSpec &s, QObject *parent)
{
    auto tag = new Tag(registerType, parent);
    tag->setStartAddress(quint16(s.start));
    tag->setDataType(s.type);
    tag->setCount(quint16(s.count));
    tag->setOffset(quint16(s.offset));
    tag->setUpdate(s.polled);
    tag->setMask(s.mask);
    tag->setByteOrderInput(Tag::Order10);
    tag->setByteOrderOutput(Tag::Order01);
    return tag;
}

TagSpec u16(int start, int offset = 0, bool polled = true) { return {start, Tag::UInt16, 1, offset, polled, 0}; }
TagSpec u32(int start, int offset = 0) { return {start, Tag::UInt32, 1, offset, true, 0}; }
TagSpec u64(int start) { return {start, Tag::UInt64, 1, 0, true, 0}; }
TagSpec block(int start, int words) { return {start, Tag::UInt16, words, 0, true, 0}; }
TagSpec bytes(int start, Tag::DataType type, int count) { return {start, type, count, 0, true, 0}; }

// A collection plus an engine wired to a scripted driver.
struct Rig
{
    BaseTag base;
    ScriptedConnection connection;
    QModbusSettings settings{7, 250, 0};
    TagBase engine;
    QStringList events;

    Rig()
    {
        engine.setModbusConnection(&connection);
        engine.setModbusSettings(&settings);
        QObject::connect(&engine, &TagBase::updateIR, [this] { events << "IR"; });
        QObject::connect(&engine, &TagBase::updateHR, [this] { events << "HR"; });
        QObject::connect(&engine, &TagBase::updateDI, [this] { events << "DI"; });
        QObject::connect(&engine, &TagBase::updateCO, [this] { events << "CO"; });
        QObject::connect(&engine, &TagBase::updateAllBase, [this] { events << "all"; });
        QObject::connect(&engine, &TagBase::updateStepIncrement, [this] { events << "inc"; });
        QObject::connect(&engine, &TagBase::updateStepClear, [this] { events << "clear"; });
        QObject::connect(&engine, &TagBase::updateStepCount,
                         [this](int n) { events << QStringLiteral("count:%1").arg(n); });
    }

    Tag *add(Tag::RegisterType type, const QString &id, const TagSpec &spec)
    {
        Tag *tag = makeTag(type, spec, nullptr);
        tag->setId(id);
        base.addTag(id, tag, type);
        return tag;
    }

    void start(TagBase::TypeUpdate type)
    {
        engine.setTagBase(&base);
        engine.setUpdateBase(type, true);
    }

    // Waits until the engine handed over its n-th request.
    bool waitExecuted(int n) const
    {
        return QTest::qWaitFor([&] { return connection.executed.size() >= n; }, 5000);
    }
    IModbusTransaction *pending(int i = 0) const { return connection.unanswered.value(i); }
};

QVector<quint16> sequence(int from, int n)
{
    QVector<quint16> words;
    for (int i = 0; i < n; ++i)
        words.append(quint16(from + i));
    return words;
}

} // namespace

class tst_TagBase : public QObject
{
    Q_OBJECT

private slots:
    void analysisIntervals_data();
    void analysisIntervals();
    void requestSplitting_data();
    void requestSplitting();
    void updateTagIntervalSetsFirstReadState();
    void signalOrderOfSinglePass();
    void straddlingTagAssembledAcrossReplies();
    void failedReplyAdvancesWithoutTouchingTags();
    void duplicateIdsSkipType();
    void refusedReadsAreDropped();
    void noUpdateStopsAtNextStep();
    void restartKeepsOneRequestInFlight();
    void processUpdateWhileIdleDoesNothing();
    void nullConnectionAndSettingsKeepPrevious();
    void shortReplyIsCutOnlyAsFarAsItReaches();
    void failedRequestShiftsNoWords_data();
    void failedRequestShiftsNoWords();
    void bitFieldsSharingStartReceiveOncePerPass_data();
    void bitFieldsSharingStartReceiveOncePerPass();
    void loneByteTagsAreRead_data();
    void loneByteTagsAreRead();
    void passSurvivesRebuildAndSilentDriver_data();
    void passSurvivesRebuildAndSilentDriver();
    void bitFieldsOnLastRegisterOfReply();
    void bitTablesGiveTheirBitsToTags_data();
    void bitTablesGiveTheirBitsToTags();
    void deliveredTagsAreThoseGivenValues_data();
    void deliveredTagsAreThoseGivenValues();
    void emptyCyclicPassesArePaced_data();
    void emptyCyclicPassesArePaced();
    void deletedTagsAreSkipped();
    void stopAndRestartLeaveNoTransactions();
    void metaTypesRegistered();
};

void tst_TagBase::analysisIntervals_data()
{
    QTest::addColumn<QVector<TagSpec>>("tags");
    QTest::addColumn<bool>("all");
    QTest::addColumn<QVector<QPoint>>("expected");

    QTest::newRow("contiguous") << QVector<TagSpec>{u32(100), u16(102)} << false
                                << QVector<QPoint>{{100, 3}};
    QTest::newRow("gap starts new") << QVector<TagSpec>{u32(100), u16(104)} << false
                                    << QVector<QPoint>{{100, 2}, {104, 1}};
    QTest::newRow("offset starts new") << QVector<TagSpec>{u32(100), u16(102, 102)} << false
                                       << QVector<QPoint>{{100, 2}, {102, 1}};
    QTest::newRow("first with offset") << QVector<TagSpec>{u16(40, 40), u16(41)} << false
                                       << QVector<QPoint>{{40, 2}};
    QTest::newRow("inner tag keeps length") << QVector<TagSpec>{u64(10), u16(11)} << false
                                            << QVector<QPoint>{{10, 4}};
    QTest::newRow("none polled") << QVector<TagSpec>{u16(5, 0, false), u16(6, 0, false)} << false
                                 << QVector<QPoint>{{0, 0}};
    QTest::newRow("all includes unpolled")
        << QVector<TagSpec>{u16(5, 0, false), u16(6, 0, false)} << true
        << QVector<QPoint>{{5, 2}};
    QTest::newRow("unpolled in between splits")
        << QVector<TagSpec>{u16(5), u16(6, 0, false), u16(7)} << false
        << QVector<QPoint>{{5, 1}, {7, 1}};
    QTest::newRow("empty list") << QVector<TagSpec>{} << false << QVector<QPoint>{};
}

void tst_TagBase::analysisIntervals()
{
    QFETCH(QVector<TagSpec>, tags);
    QFETCH(bool, all);
    QFETCH(QVector<QPoint>, expected);

    QObject owner;
    QList<Tag *> list;
    for (const TagSpec &s : tags)
        list << makeTag(Tag::HR, s, &owner);
    if (!list.isEmpty())
        list.insert(1, nullptr); // null entries are skipped
    TagBase engine;
    QVector<QPoint> intervals{{1, 1}};
    engine.analysisIntervals(list, &intervals, all);
    QCOMPARE(intervals, (QVector<QPoint>{{1, 1}} + expected));
}

void tst_TagBase::requestSplitting_data()
{
    QTest::addColumn<QPoint>("interval");
    QTest::addColumn<QVector<QPoint>>("requests");
    QTest::newRow("300 at 10") << QPoint(10, 300)
                               << QVector<QPoint>{{10, 124}, {134, 124}, {258, 52}};
    QTest::newRow("124") << QPoint(0, 124) << QVector<QPoint>{{0, 124}};
    QTest::newRow("125") << QPoint(7, 125) << QVector<QPoint>{{7, 124}, {131, 1}};
    QTest::newRow("empty interval") << QPoint(0, 0) << QVector<QPoint>{};
}

void tst_TagBase::requestSplitting()
{
    QFETCH(QPoint, interval);
    QFETCH(QVector<QPoint>, requests);

    Rig rig;
    rig.engine.setHrInterval({interval});
    rig.engine.setUpdateBase(TagBase::SingleUpdate, false);
    QVector<QPoint> asked;
    for (const auto &r : qAsConst(rig.connection.requests)) {
        QCOMPARE(r.function, Fn::ReadHoldingRegisters);
        QCOMPARE(r.priority, 3);
        asked << QPoint(r.start, r.count);
    }
    QCOMPARE(asked, requests);
    QCOMPARE(rig.events.value(1), QStringLiteral("count:%1").arg(requests.size()));
    // The engine's settings object travels with every request.
    for (const auto &t : qAsConst(rig.connection.created))
        QCOMPARE(t->settings(), rig.settings);
}

void tst_TagBase::updateTagIntervalSetsFirstReadState()
{
    Rig rig;
    rig.add(Tag::DI, "d", u16(3));
    rig.add(Tag::CO, "c", u16(9));
    rig.engine.setTagBase(&rig.base);
    rig.engine.updateTagInterval();
    QCOMPARE(rig.engine.state(), int(TagBase::ReadDI));
    QCOMPARE(rig.engine.irInterval(), QVector<QPoint>{});
    QCOMPARE(rig.engine.diInterval(), (QVector<QPoint>{{3, 1}}));
    QCOMPARE(rig.engine.coInterval(), (QVector<QPoint>{{9, 1}}));
    QCOMPARE(rig.engine.typeUpdate(), TagBase::NoUpdate);
    QCOMPARE(rig.connection.clears, 1);

    TagBase empty;
    empty.updateTagInterval(); // no connection, no tags: nothing to clear
    QCOMPARE(empty.state(), int(TagBase::ReadIR));
}

void tst_TagBase::signalOrderOfSinglePass()
{
    Rig rig;
    rig.connection.autoAnswer = true;
    rig.add(Tag::IR, "i1", u16(0));
    rig.add(Tag::IR, "i2", u16(200)); // second IR request
    rig.add(Tag::HR, "h", u32(10));
    rig.add(Tag::CO, "c", u16(4));
    QSignalSpy done(&rig.engine, &TagBase::updateAllBase);
    rig.start(TagBase::SingleUpdate);
    QVERIFY(done.wait(5000));
    QTest::qWait(50);

    const QStringList expected{"clear", "count:4", "inc", "inc", "IR", "inc", "HR",
                               "inc", "CO", "all"};
    QCOMPARE(rig.events, expected);
    QCOMPARE(rig.engine.state(), int(TagBase::Idle));
    QCOMPARE(rig.connection.executed.size(), 4);
    QCOMPARE(rig.base.tagHash(Tag::HR).value("h")->valueByteArray(), QVector<quint16>({10, 11}));
}

void tst_TagBase::straddlingTagAssembledAcrossReplies()
{
    Rig rig;
    rig.add(Tag::HR, "block", block(0, 122));
    Tag *straddler = rig.add(Tag::HR, "s", u64(122));
    Tag *after = rig.add(Tag::HR, "after", u16(126));
    QSignalSpy changed(straddler, &Tag::changedValue);
    rig.start(TagBase::SingleUpdate);

    QVERIFY(rig.waitExecuted(1));
    QCOMPARE(rig.pending()->startAddress(), 0);
    QCOMPARE(rig.pending()->count(), 124);
    rig.connection.answerWords(rig.pending(), sequence(1000, 124));
    QVERIFY(rig.waitExecuted(2));
    QCOMPARE(changed.count(), 0); // two words of four so far
    QCOMPARE(rig.pending()->startAddress(), 124);
    QCOMPARE(rig.pending()->count(), 3);
    rig.connection.answerWords(rig.pending(), sequence(2000, 3));
    QTRY_COMPARE(rig.engine.state(), int(TagBase::Idle));

    QVERIFY(changed.count() >= 1);
    QCOMPARE(straddler->valueByteArray(), QVector<quint16>({1122, 1123, 2000, 2001}));
    QCOMPARE(after->valueByteArray(), QVector<quint16>{2002});
}

void tst_TagBase::failedReplyAdvancesWithoutTouchingTags()
{
    Rig rig;
    rig.add(Tag::HR, "block", block(0, 122));
    Tag *straddler = rig.add(Tag::HR, "s", u64(122));
    rig.add(Tag::DI, "d", u16(0));
    rig.start(TagBase::CyclicUpdate);

    // Pass 1: the second half of the straddler is lost.
    QVERIFY(rig.waitExecuted(1));
    rig.connection.answerWords(rig.pending(), sequence(1000, 124));
    QVERIFY(rig.waitExecuted(2));
    rig.connection.failNext(rig.pending());
    QVERIFY(rig.waitExecuted(3)); // the pass goes on with DI
    QCOMPARE(rig.pending()->function(), Fn::ReadDiscreteInputs);
    rig.connection.failNext(rig.pending());
    QVERIFY(rig.waitExecuted(4)); // next pass
    QCOMPARE(rig.events.count("HR"), 1);
    QCOMPARE(rig.events.count("DI"), 1);
    QCOMPARE(rig.events.count("all"), 1);
    QVERIFY(straddler->valueByteArray().isEmpty());

    // Pass 2: now the first half is lost. The half kept from pass 1 must not
    // be completed with words of pass 2.
    rig.connection.failNext(rig.pending());
    QVERIFY(rig.waitExecuted(5));
    rig.connection.answerWords(rig.pending(), sequence(6000, 2));
    QVERIFY(rig.waitExecuted(6));
    QVERIFY(straddler->valueByteArray().isEmpty());
    rig.connection.failNext(rig.pending());

    // Pass 3: both halves arrive.
    QVERIFY(rig.waitExecuted(7));
    rig.connection.answerWords(rig.pending(), sequence(7000, 124));
    QVERIFY(rig.waitExecuted(8));
    rig.connection.answerWords(rig.pending(), sequence(8000, 2));
    QTRY_COMPARE(straddler->valueByteArray(), QVector<quint16>({7122, 7123, 8000, 8001}));
    rig.engine.setUpdateBase(TagBase::NoUpdate, false);
}

void tst_TagBase::duplicateIdsSkipType()
{
    Rig rig;
    rig.connection.autoAnswer = true;
    rig.connection.duplicateFunction = Fn::ReadInputRegisters;
    Tag *ir = rig.add(Tag::IR, "wide", block(0, 200)); // two IR requests, one id
    Tag *hr = rig.add(Tag::HR, "h", u16(3));
    QSignalSpy done(&rig.engine, &TagBase::updateAllBase);
    rig.start(TagBase::SingleUpdate);
    QVERIFY(done.wait(5000));

    QCOMPARE(rig.connection.executed.size(), 1); // the HR request only
    QVERIFY(ir->valueByteArray().isEmpty());
    QCOMPARE(hr->valueByteArray(), QVector<quint16>{3});
    QVERIFY(!rig.events.contains("IR"));
    QCOMPARE(rig.events.mid(0, 2), QStringList({"clear", "count:3"}));
}

void tst_TagBase::refusedReadsAreDropped()
{
    Rig rig;
    rig.connection.autoAnswer = true;
    rig.connection.refusedStarts = {0};
    rig.add(Tag::HR, "a", u16(0));
    Tag *b = rig.add(Tag::HR, "b", u16(500));
    QSignalSpy done(&rig.engine, &TagBase::updateAllBase);
    rig.start(TagBase::SingleUpdate);
    QVERIFY(done.wait(5000));
    QCOMPARE(rig.events.mid(0, 2), QStringList({"clear", "count:1"}));
    QCOMPARE(rig.connection.executed.size(), 1);
    QCOMPARE(b->valueByteArray(), QVector<quint16>{500});
}

void tst_TagBase::noUpdateStopsAtNextStep()
{
    Rig rig;
    Tag *a = rig.add(Tag::HR, "a", u16(0));
    rig.add(Tag::HR, "far", u16(1000));
    rig.start(TagBase::CyclicUpdate);
    QVERIFY(rig.waitExecuted(1));

    rig.engine.setUpdateBase(TagBase::NoUpdate, false);
    QCOMPARE(rig.engine.state(), int(TagBase::Idle));
    QCOMPARE(rig.engine.typeUpdate(), TagBase::NoUpdate);
    // The answer still in flight arrives: its words are good, but nothing
    // more is sent.
    rig.connection.answerWords(rig.pending(), {42});
    QTest::qWait(100);
    QCOMPARE(rig.connection.executed.size(), 1);
    QCOMPARE(rig.engine.state(), int(TagBase::Idle));
    QCOMPARE(a->valueByteArray(), QVector<quint16>{42});
    QCOMPARE(rig.events.count("all"), 0);
}

void tst_TagBase::restartKeepsOneRequestInFlight()
{
    Rig rig;
    rig.add(Tag::HR, "a", u16(0));
    rig.add(Tag::HR, "b", u16(1000));
    rig.start(TagBase::CyclicUpdate);
    QVERIFY(rig.waitExecuted(1));
    IModbusTransaction *old = rig.pending();

    rig.engine.setUpdateBase(TagBase::CyclicUpdate, false); // restart mid-request
    QVERIFY(rig.waitExecuted(2));
    QCOMPARE(rig.connection.unanswered.size(), 2);
    rig.connection.answerWords(old, {1});
    QTest::qWait(100);
    // The old answer does not drive the new pass: still one request of it.
    QCOMPARE(rig.connection.executed.size(), 2);
    rig.connection.answerWords(rig.pending(), {2});
    QVERIFY(rig.waitExecuted(3));
    QTest::qWait(50);
    QCOMPARE(rig.connection.unanswered.size(), 1);
    rig.engine.setUpdateBase(TagBase::NoUpdate, false);
}

void tst_TagBase::processUpdateWhileIdleDoesNothing()
{
    Rig rig;
    rig.add(Tag::HR, "a", u16(0));
    rig.engine.setTagBase(&rig.base);
    rig.engine.processUpdate();
    QCOMPARE(rig.engine.state(), int(TagBase::Idle));

    rig.connection.autoAnswer = true;
    QSignalSpy done(&rig.engine, &TagBase::updateAllBase);
    rig.engine.setUpdateBase(TagBase::SingleUpdate, true);
    QVERIFY(done.wait(5000));
    QTest::qWait(20);
    const int sent = rig.connection.executed.size();
    const QStringList events = rig.events;
    rig.engine.processUpdate(); // Idle with SingleUpdate still set
    QTest::qWait(50);
    QCOMPARE(rig.connection.executed.size(), sent);
    QCOMPARE(rig.events, events);
    QCOMPARE(rig.engine.typeUpdate(), TagBase::SingleUpdate);
}

void tst_TagBase::nullConnectionAndSettingsKeepPrevious()
{
    Rig rig;
    rig.engine.setModbusConnection(nullptr);
    rig.engine.setModbusSettings(nullptr);
    QCOMPARE(rig.engine.modbusConnection(), &rig.connection);
    QCOMPARE(rig.engine.modbusSettings(), &rig.settings);

    // Without any connection a pass builds nothing and still ends.
    TagBase bare;
    QSignalSpy done(&bare, &TagBase::updateAllBase);
    bare.setUpdateBase(TagBase::SingleUpdate, true);
    QVERIFY(done.wait(2000));
}

void tst_TagBase::shortReplyIsCutOnlyAsFarAsItReaches()
{
    Rig rig;
    QList<Tag *> words;
    for (int i = 0; i < 4; ++i)
        words << rig.add(Tag::HR, QStringLiteral("w%1").arg(i), u16(i));
    Tag *split = rig.add(Tag::HR, "split", u32(4));
    Tag *beyond = rig.add(Tag::HR, "beyond", u16(6));
    rig.start(TagBase::SingleUpdate);
    QVERIFY(rig.waitExecuted(1));
    QCOMPARE(rig.pending()->count(), 7);
    rig.connection.answerWords(rig.pending(), {10, 11, 12, 13, 14}); // 5 of 7
    QTRY_COMPARE(rig.engine.state(), int(TagBase::Idle));

    for (int i = 0; i < 4; ++i)
        QCOMPARE(words.at(i)->valueByteArray(), QVector<quint16>{quint16(10 + i)});
    QVERIFY(split->valueByteArray().isEmpty());
    QVERIFY(beyond->valueByteArray().isEmpty());

    // An empty "successful" reply gives nothing to anybody.
    rig.engine.setUpdateBase(TagBase::SingleUpdate, false);
    QVERIFY(rig.waitExecuted(2));
    rig.connection.answerWords(rig.pending(), {});
    QTRY_COMPARE(rig.engine.state(), int(TagBase::Idle));
    QCOMPARE(words.at(0)->valueByteArray(), QVector<quint16>{10});
}

void tst_TagBase::failedRequestShiftsNoWords_data()
{
    // A 130-register array split over the first two requests, a 124-register
    // array over the second and third, and a tag after them.
    QTest::addColumn<int>("failing");
    QTest::addColumn<bool>("firstHasValue");
    QTest::addColumn<bool>("secondHasValue");
    QTest::newRow("first fails") << 0 << false << true;
    QTest::newRow("second fails") << 1 << false << false;
    QTest::newRow("third fails") << 2 << true << false;
    QTest::newRow("none fails") << -1 << true << true;
}

void tst_TagBase::failedRequestShiftsNoWords()
{
    QFETCH(int, failing);
    QFETCH(bool, firstHasValue);
    QFETCH(bool, secondHasValue);
    Rig rig;
    Tag *first = rig.add(Tag::HR, "a130", block(0, 130));
    Tag *second = rig.add(Tag::HR, "b124", block(130, 124));
    Tag *third = rig.add(Tag::HR, "c", u16(254));
    rig.start(TagBase::SingleUpdate);
    for (int i = 0; i < 3; ++i) {
        QVERIFY(rig.waitExecuted(i + 1));
        IModbusTransaction *t = rig.pending();
        if (i == failing) {
            rig.connection.unanswered.removeAll(t);
            t->fail(IModbusTransaction::ExceptionReply, QStringLiteral("exception 2"), 2);
            t->deleteLater();
        } else {
            rig.connection.answer(t); // every register answers its own address
        }
    }
    QTRY_COMPARE(rig.engine.state(), int(TagBase::Idle));

    // A tag holds the words of its own addresses, or nothing.
    QCOMPARE(first->valueByteArray(), firstHasValue ? sequence(0, 130) : QVector<quint16>());
    QCOMPARE(second->valueByteArray(), secondHasValue ? sequence(130, 124) : QVector<quint16>());
    QCOMPARE(third->valueByteArray(), failing == 2 ? QVector<quint16>() : QVector<quint16>{254});
}

void tst_TagBase::bitFieldsSharingStartReceiveOncePerPass_data()
{
    QTest::addColumn<int>("sharing");
    QTest::newRow("two") << 2;
    QTest::newRow("five") << 5;
}

void tst_TagBase::bitFieldsSharingStartReceiveOncePerPass()
{
    // N bit fields share the reply's first register; every tag of the reply
    // is given its words once, so damping takes one step per pass.
    QFETCH(int, sharing);
    Rig rig;
    rig.connection.autoAnswer = true;
    QList<Tag *> tags;
    for (int bit = 0; bit < sharing; ++bit)
        tags << rig.add(Tag::HR, QStringLiteral("f%1").arg(bit),
                        {0, Tag::UInt16, 1, 0, true, quint64(1) << bit});
    tags << rig.add(Tag::HR, "next", u16(1)) << rig.add(Tag::HR, "wide", u32(2));
    QList<QSharedPointer<QSignalSpy>> spies;
    for (Tag *tag : qAsConst(tags))
        spies << QSharedPointer<QSignalSpy>::create(tag, &Tag::changedValue);
    QSignalSpy done(&rig.engine, &TagBase::updateAllBase);
    rig.connection.registers = {{0, 0x0003}, {1, 0x1234}};
    rig.start(TagBase::SingleUpdate);
    QVERIFY(done.wait(5000));

    for (int i = 0; i < tags.size(); ++i)
        QVERIFY2(spies.at(i)->count() == 1, qPrintable(tags.at(i)->Id()));
    QCOMPARE(tags.first()->valueByteArray(), QVector<quint16>{3});
    QCOMPARE(tags.at(sharing)->valueByteArray(), QVector<quint16>{0x1234});
    QCOMPARE(tags.last()->valueByteArray(), QVector<quint16>({2, 3}));
}

void tst_TagBase::loneByteTagsAreRead_data()
{
    QTest::addColumn<TagSpec>("spec");
    QTest::addColumn<int>("requested");
    QTest::addColumn<QVariant>("value");
    // Register 5 holds 0xF1A2 (set below).
    // The decoder takes a single byte from the high half.
    QTest::newRow("int8") << bytes(5, Tag::Int8, 1) << 1 << QVariant(-15);
    QTest::newRow("uint8") << bytes(5, Tag::UInt8, 1) << 1 << QVariant(0xF1);
    // Arrays keep their size rule: three bytes fill one whole register, and
    // the next tag follows it.
    QTest::newRow("uint8 array") << bytes(5, Tag::UInt8, 3) << 2 << QVariant();
}

void tst_TagBase::loneByteTagsAreRead()
{
    QFETCH(TagSpec, spec);
    QFETCH(int, requested);
    QFETCH(QVariant, value);
    Rig rig;
    rig.connection.autoAnswer = true;
    rig.connection.registers = {{5, 0xF1A2}, {6, 0x0042}};
    Tag *tag = rig.add(Tag::IR, "byte", spec);
    // The next tag's address follows the map's rule (a lone byte spans no
    // register), so it may share the register.
    Tag *next = rig.add(Tag::IR, "next", u16(5 + tag->sizeRegisters()));
    QSignalSpy done(&rig.engine, &TagBase::updateAllBase);
    rig.start(TagBase::SingleUpdate);
    QVERIFY(done.wait(5000));

    QCOMPARE(rig.connection.requests.size(), 1);
    QCOMPARE(rig.connection.requests.first().start, 5);
    QCOMPARE(rig.connection.requests.first().count, requested);
    QCOMPARE(tag->valueByteArray(), QVector<quint16>{0xF1A2});
    if (value.isValid())
        QCOMPARE(tag->value(), value);
    QCOMPARE(next->valueByteArray().size(), 1);
}

void tst_TagBase::passSurvivesRebuildAndSilentDriver_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("rebuild from a step receiver") << "step";
    QTest::newRow("rebuild while the driver holds the request") << "held";
    QTest::newRow("driver never answers") << "silent";
}

void tst_TagBase::passSurvivesRebuildAndSilentDriver()
{
    QFETCH(QString, fault);
    Rig rig;
    rig.connection.clearEndsHandedOver = true;
    rig.add(Tag::HR, "a", u16(0));
    rig.add(Tag::IR, "b", u16(0));
    if (fault == "step") {
        rig.connection.autoAnswer = true;
        auto once = std::make_shared<bool>(true);
        QObject::connect(&rig.engine, &TagBase::updateStepIncrement, &rig.engine, [&rig, once] {
            if (std::exchange(*once, false))
                rig.engine.updateTagInterval();
        });
    }
    QSignalSpy done(&rig.engine, &TagBase::updateAllBase);
    rig.start(TagBase::CyclicUpdate);
    if (fault == "held") {
        QVERIFY(rig.waitExecuted(1));
        rig.engine.updateTagInterval(); // the driver ends the request it holds
        rig.connection.autoAnswer = true;
    }
    if (fault == "silent") {
        // Nothing ever ends the first request: the watchdog starts afresh.
        QCOMPARE(rig.engine.stallLimitMs(), 250 + int(TagBase::StallMarginMs));
        QVERIFY(rig.waitExecuted(1));
        QVERIFY(QTest::qWaitFor([&] { return rig.connection.executed.size() >= 2; },
                                rig.engine.stallLimitMs() * 4));
        rig.connection.autoAnswer = true;
        rig.connection.answer(rig.connection.unanswered.last()); // of the new pass
    }
    // Polling goes on: whole passes follow.
    QTRY_VERIFY_WITH_TIMEOUT(done.count() >= 2, 20000);
    rig.engine.setUpdateBase(TagBase::NoUpdate, false);
}

void tst_TagBase::bitFieldsOnLastRegisterOfReply()
{
    // A word at 0, then three bit fields sharing register 1, the last one of
    // the request: every one of them must get that register.
    Rig rig;
    rig.connection.autoAnswer = true;
    Tag *word = rig.add(Tag::IR, "word", u16(0));
    QList<Tag *> flags;
    for (int bit = 0; bit < 3; ++bit)
        flags << rig.add(Tag::IR, QStringLiteral("flag%1").arg(bit),
                         {1, Tag::UInt16, 1, 0, true, quint64(1) << bit});
    QSignalSpy done(&rig.engine, &TagBase::updateAllBase);
    rig.connection.registers = {{0, 0x1111}, {1, 0x0005}};
    rig.start(TagBase::SingleUpdate);
    QVERIFY(done.wait(5000));

    QCOMPARE(rig.connection.requests.size(), 1);
    QCOMPARE(rig.connection.requests.first().count, 2);
    QCOMPARE(word->valueByteArray(), QVector<quint16>{0x1111});
    for (Tag *flag : qAsConst(flags))
        QCOMPARE(flag->valueByteArray(), QVector<quint16>{0x0005});
}

void tst_TagBase::bitTablesGiveTheirBitsToTags_data()
{
    QTest::addColumn<int>("registerType");
    QTest::newRow("discrete inputs") << int(Tag::DI);
    QTest::newRow("coils") << int(Tag::CO);
}

void tst_TagBase::bitTablesGiveTheirBitsToTags()
{
    QFETCH(int, registerType);
    const auto type = Tag::RegisterType(registerType);
    Rig rig;
    rig.connection.autoAnswer = true;
    Tag *off = rig.add(type, "off", u16(10));
    Tag *on = rig.add(type, "on", u16(11));
    Tag *pair = rig.add(type, "pair", block(12, 2));
    rig.connection.bits = {{10, 0}, {11, 1}, {12, 1}, {13, 0}};
    QSignalSpy done(&rig.engine, &TagBase::updateAllBase);
    rig.start(TagBase::SingleUpdate);
    QVERIFY(done.wait(5000));

    QCOMPARE(off->valueByteArray(), QVector<quint16>{0});
    QCOMPARE(on->valueByteArray(), QVector<quint16>{1});
    QCOMPARE(pair->valueByteArray(), (QVector<quint16>{1, 0}));
    QCOMPARE(on->value().toDouble(), 1.0);

    // A failed read leaves the bits as they were.
    rig.connection.autoAnswer = false;
    rig.connection.bits = {{10, 1}, {11, 0}, {12, 0}, {13, 1}};
    rig.engine.setUpdateBase(TagBase::SingleUpdate, false);
    QVERIFY(rig.waitExecuted(2));
    rig.connection.failNext(rig.pending());
    QTRY_COMPARE(rig.engine.state(), int(TagBase::Idle));
    QCOMPARE(on->valueByteArray(), QVector<quint16>{1});
}

void tst_TagBase::deliveredTagsAreThoseGivenValues_data()
{
    // Replies in request order: -1 whole, -2 failed, n words or bits only.
    QTest::addColumn<int>("registerType");
    QTest::addColumn<QVector<TagSpec>>("tags");
    QTest::addColumn<QVector<int>>("replies");
    QTest::addColumn<int>("notices");
    const QVector<TagSpec> straddling{block(0, 122), u64(122), u16(126)};
    QTest::newRow("straddling tag") << int(Tag::HR) << straddling << QVector<int>{-1, -1} << 2;
    QTest::newRow("second half lost") << int(Tag::HR) << straddling << QVector<int>{-1, -2} << 1;
    QTest::newRow("first half lost") << int(Tag::IR) << straddling << QVector<int>{-2, -1} << 1;
    QTest::newRow("short reply") << int(Tag::HR) << QVector<TagSpec>{u16(0), u16(1), u32(2), u16(4)}
                                 << QVector<int>{3} << 1;
    QTest::newRow("nothing in reply") << int(Tag::HR) << QVector<TagSpec>{u32(0)} << QVector<int>{1} << 0;
    QTest::newRow("discrete inputs") << int(Tag::DI) << QVector<TagSpec>{u16(10), block(11, 2)}
                                     << QVector<int>{-1} << 1;
    QTest::newRow("short coils") << int(Tag::CO) << QVector<TagSpec>{u16(0), block(1, 2)} << QVector<int>{2}
                                 << 1;
}

void tst_TagBase::deliveredTagsAreThoseGivenValues()
{
    QFETCH(int, registerType);
    QFETCH(QVector<TagSpec>, tags);
    QFETCH(QVector<int>, replies);
    QFETCH(int, notices);
    Rig rig;
    QVector<Tag *> given;
    for (int i = 0; i < tags.size(); ++i) {
        Tag *tag = rig.add(Tag::RegisterType(registerType), QStringLiteral("t%1").arg(i), tags.at(i));
        QObject::connect(tag, &Tag::changedValue, [&given, tag] { given.append(tag); });
    }
    // Each notice names the reply's request and exactly the tags given a
    // value since the one before.
    QList<QPoint> sent;
    int heard = 0;
    QObject::connect(&rig.engine, &TagBase::valuesDelivered,
                     [&](int type, int start, int count, const QVector<Tag *> &delivered) {
                         ++heard;
                         QCOMPARE(type, registerType);
                         QVERIFY(sent.contains(QPoint(start, count)));
                         QCOMPARE(delivered, given);
                         given.clear();
                     });
    rig.start(TagBase::SingleUpdate);
    for (int i = 0; i < replies.size(); ++i) {
        QVERIFY(rig.waitExecuted(i + 1));
        IModbusTransaction *t = rig.pending();
        sent.append(QPoint(t->startAddress(), t->count()));
        if (replies.at(i) == -2)
            rig.connection.failNext(t);
        else
            rig.connection.answer(t, replies.at(i));
    }
    QTRY_COMPARE(rig.engine.state(), int(TagBase::Idle));
    QVERIFY(given.isEmpty());
    QCOMPARE(heard, notices);
}

void tst_TagBase::emptyCyclicPassesArePaced_data()
{
    QTest::addColumn<bool>("refuseAll");
    QTest::newRow("no polled tag") << false;
    QTest::newRow("every read refused") << true;
}

void tst_TagBase::emptyCyclicPassesArePaced()
{
    QFETCH(bool, refuseAll);
    Rig rig;
    rig.connection.refuseAll = refuseAll;
    rig.add(Tag::HR, "a", u16(0, 0, refuseAll));
    rig.start(TagBase::CyclicUpdate);
    QTest::qWait(600);
    const int passes = rig.events.count("all");
    rig.engine.setUpdateBase(TagBase::NoUpdate, false);
    // Passes go on, but at a pause each instead of a busy loop.
    QVERIFY2(passes >= 2 && passes <= 30, qPrintable(QString::number(passes)));
    QCOMPARE(rig.connection.executed.size(), 0);
}

void tst_TagBase::deletedTagsAreSkipped()
{
    Rig rig;
    rig.connection.autoAnswer = true;
    rig.add(Tag::HR, "a", u16(0));
    Tag *b = rig.add(Tag::HR, "b", u16(1));
    rig.start(TagBase::SingleUpdate);
    // A reload empties the collection before a new one is handed over.
    rig.base.clearBase();
    QSignalSpy done(&rig.engine, &TagBase::updateAllBase);
    QVERIFY(done.wait(5000));
    Q_UNUSED(b)
    QVERIFY(rig.engine.sortedTags(Tag::HR).value(0) == nullptr);
}

void tst_TagBase::stopAndRestartLeaveNoTransactions()
{
    Rig rig;
    rig.connection.autoAnswer = true;
    for (int i = 0; i < 1000; ++i)
        rig.add(i % 2 ? Tag::HR : Tag::IR, QStringLiteral("t%1").arg(i), u16(i / 2 + (i % 7 == 0 ? 3 : 0)));
    rig.engine.setTagBase(&rig.base);
    QSignalSpy done(&rig.engine, &TagBase::updateAllBase);
    QSignalSpy perPass(&rig.engine, &TagBase::updateStepCount);
    for (int round = 0; round < 8; ++round) {
        rig.engine.setUpdateBase(TagBase::CyclicUpdate, round % 2 == 0);
        QTest::qWait(round * 7);
        rig.engine.setUpdateBase(TagBase::NoUpdate, false);
        QTest::qWait(30);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(rig.connection.live(), 0);
    }
    rig.engine.setUpdateBase(TagBase::CyclicUpdate, true);
    QTRY_VERIFY(done.count() >= 3);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // At most the requests of the running pass are alive.
    QVERIFY(perPass.count() > 0);
    QVERIFY2(rig.connection.live() <= perPass.last().first().toInt() + 1,
             qPrintable(QString::number(rig.connection.live())));
    rig.engine.setUpdateBase(TagBase::NoUpdate, false);
    QTest::qWait(30);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(rig.connection.live(), 0);
}

void tst_TagBase::metaTypesRegistered()
{
    TagBase engine;
    for (const char *name : {"QDateTime", "QList<Tag*>", "QVector<double>", "QMap<QString,double>"})
        QVERIFY2(QMetaType::type(name) != QMetaType::UnknownType, name);
    const QMetaObject *mo = engine.metaObject();
    QStringList signalNames;
    for (int i = mo->methodOffset(); i < mo->methodCount(); ++i) {
        if (mo->method(i).methodType() == QMetaMethod::Signal)
            signalNames << QString::fromLatin1(mo->method(i).name());
    }
    // The progress signals first and in this order; per-request signals follow.
    QCOMPARE(signalNames.mid(0, 8), QStringList({"updateIR", "updateHR", "updateDI", "updateCO",
                                                 "updateAllBase", "updateStepIncrement",
                                                 "updateStepClear", "updateStepCount"}));
    QVERIFY(signalNames.contains("requestAnswered"));
    QVERIFY(signalNames.contains("requestFailed"));
    // Slots are reachable by name, e.g. from a queued invocation.
    QVERIFY(QMetaObject::invokeMethod(&engine, "setUpdateBase", Qt::QueuedConnection,
                                      Q_ARG(Pointbook::TagBase::TypeUpdate, TagBase::NoUpdate),
                                      Q_ARG(bool, false)));
}

QTEST_MAIN(tst_TagBase)
#include "tst_tagbase.moc"
