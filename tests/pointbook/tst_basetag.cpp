#include <pointbook/basetag.h>

#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

using Pointbook::BaseTag;
using Pointbook::Tag;

class tst_BaseTag : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void addRefused_data();
    void addRefused();
    void addAndReplace();
    void removeTag();
    void clearTag();
    void clearBaseOrder();
    void otherTypeIsEmpty();
    void tagHashIsACopy();
    void equals();
    void destructionFreesHeldTags();
    void tagUnderTwoIdsDeletedOnce();
};

void tst_BaseTag::initTestCase()
{
    qRegisterMetaType<Tag::RegisterType>();
}

void tst_BaseTag::addRefused_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("withTag");
    QTest::addColumn<int>("type");

    QTest::newRow("empty id") << QString() << true << int(Tag::HR);
    QTest::newRow("null tag") << QStringLiteral("T1") << false << int(Tag::HR);
    QTest::newRow("unknown register") << QStringLiteral("T1") << true << int(Tag::UnknownRegister);
    QTest::newRow("register above 4") << QStringLiteral("T1") << true << 5;
}

void tst_BaseTag::addRefused()
{
    QFETCH(QString, id);
    QFETCH(bool, withTag);
    QFETCH(int, type);

    BaseTag base;
    QSignalSpy spy(&base, &BaseTag::updateBase);
    Tag tag;
    QVERIFY(!base.addTag(id, withTag ? &tag : nullptr, Tag::RegisterType(type)));
    QCOMPARE(spy.count(), 0);
    for (int t = Tag::IR; t <= Tag::CO; ++t)
        QCOMPARE(base.sizeTagHash(Tag::RegisterType(t)), 0);
}

void tst_BaseTag::addAndReplace()
{
    BaseTag base;
    QSignalSpy spy(&base, &BaseTag::updateBase);
    auto first = new Tag(Tag::HR);
    auto second = new Tag(Tag::HR);
    QPointer<Tag> watchFirst(first);

    QVERIFY(base.addTag("T1", first, Tag::HR));
    QVERIFY(base.addTag("T1", second, Tag::HR));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).value<Tag::RegisterType>(), Tag::HR);
    QCOMPARE(base.sizeTagHash(Tag::HR), 1);
    QCOMPARE(base.tagHash(Tag::HR).value("T1"), second);

    // The replaced tag is no longer held, and not deleted by the collection.
    QVERIFY(watchFirst);
    base.clearBase();
    QVERIFY(watchFirst);
    delete first;
}

void tst_BaseTag::removeTag()
{
    BaseTag base;
    QPointer<Tag> tag = new Tag(Tag::DI);
    QVERIFY(base.addTag("D1", tag, Tag::DI));
    QSignalSpy spy(&base, &BaseTag::updateBase);

    base.removeTag("absent", Tag::DI);
    base.removeTag("D1", Tag::CO);
    QCOMPARE(spy.count(), 0);
    QVERIFY(tag);

    base.removeTag("D1", Tag::DI);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<Tag::RegisterType>(), Tag::DI);
    QVERIFY(!tag);
    QCOMPARE(base.sizeTagHash(Tag::DI), 0);
}

void tst_BaseTag::clearTag()
{
    BaseTag base;
    QSignalSpy spy(&base, &BaseTag::updateBase);
    base.clearTag(Tag::CO);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<Tag::RegisterType>(), Tag::CO);

    QPointer<Tag> ir = new Tag(Tag::IR);
    QPointer<Tag> co1 = new Tag(Tag::CO);
    QPointer<Tag> co2 = new Tag(Tag::CO);
    base.addTag("I", ir, Tag::IR);
    base.addTag("C1", co1, Tag::CO);
    base.addTag("C2", co2, Tag::CO);
    spy.clear();

    base.clearTag(Tag::CO);
    QCOMPARE(spy.count(), 1);
    QVERIFY(!co1 && !co2);
    QVERIFY(ir);
    QCOMPARE(base.sizeTagHash(Tag::CO), 0);
    QCOMPARE(base.sizeTagHash(Tag::IR), 1);

    base.clearTag(Tag::UnknownRegister);
    QCOMPARE(spy.count(), 1);
}

void tst_BaseTag::clearBaseOrder()
{
    BaseTag base;
    QSignalSpy spy(&base, &BaseTag::updateBase);
    base.clearBase();
    QCOMPARE(spy.count(), 4);
    const QList<Tag::RegisterType> expected = {Tag::IR, Tag::HR, Tag::DI, Tag::CO};
    for (int i = 0; i < 4; ++i)
        QCOMPARE(spy.at(i).at(0).value<Tag::RegisterType>(), expected.at(i));
}

void tst_BaseTag::otherTypeIsEmpty()
{
    BaseTag base;
    base.addTag("H", new Tag(Tag::HR), Tag::HR);
    QVERIFY(base.tagHash(Tag::UnknownRegister).isEmpty());
    QCOMPARE(base.sizeTagHash(Tag::UnknownRegister), 0);
    QCOMPARE(base.sizeTagHash(Tag::RegisterType(7)), 0);
    QSignalSpy spy(&base, &BaseTag::updateBase);
    base.removeTag("H", Tag::UnknownRegister);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(base.sizeTagHash(Tag::HR), 1);
}

void tst_BaseTag::tagHashIsACopy()
{
    BaseTag base;
    base.addTag("I", new Tag(Tag::IR), Tag::IR);
    QHash<QString, Tag *> copy = base.tagHash(Tag::IR);
    copy.remove("I");
    copy.insert("X", nullptr);
    copy.insert("Y", nullptr);
    QCOMPARE(base.sizeTagHash(Tag::IR), 1);
    QVERIFY(base.tagHash(Tag::IR).contains("I"));
}

void tst_BaseTag::equals()
{
    BaseTag a;
    BaseTag b;
    QVERIFY(a.equals(&a));
    QVERIFY(a.equals(&b));

    auto shared = new Tag(Tag::HR);
    a.addTag("H", shared, Tag::HR);
    QVERIFY(!a.equals(&b));
    b.addTag("H", new Tag(Tag::HR), Tag::HR);
    QVERIFY2(!a.equals(&b), "same ids, different objects");
    QVERIFY(a.equals(&a));

    // Same tag object under the same id in both: equal. Hand the object to
    // one collection only, so that each owns what it deletes.
    BaseTag c;
    c.addTag("H", shared, Tag::HR);
    QVERIFY(a.equals(&c));
    QVERIFY(c.equals(&a));
    // Same sizes, same object, but in another table: not equal.
    BaseTag d;
    d.addTag("H", shared, Tag::IR);
    QVERIFY(!a.equals(&d));
    // Same pointer under another id: not equal.
    BaseTag e;
    e.addTag("G", shared, Tag::HR);
    QVERIFY(!a.equals(&e));
    QVERIFY(!a.equals(nullptr));

    // Leave the shared tag with 'a' only: replacing an entry releases it.
    c.addTag("H", new Tag, Tag::HR);
    d.addTag("H", new Tag, Tag::IR);
    e.addTag("G", new Tag, Tag::HR);
}

void tst_BaseTag::destructionFreesHeldTags()
{
    QPointer<Tag> ir = new Tag(Tag::IR);
    QPointer<Tag> co = new Tag(Tag::CO);
    {
        BaseTag base;
        base.addTag("I", ir, Tag::IR);
        base.addTag("C", co, Tag::CO);
    }
    QVERIFY(!ir);
    QVERIFY(!co);
}

void tst_BaseTag::tagUnderTwoIdsDeletedOnce()
{
    // One object entered twice is deleted once, when its last entry goes;
    // the address sanitizer catches a second delete.
    QPointer<Tag> tag = new Tag(Tag::HR);
    BaseTag base;
    base.addTag("A", tag, Tag::HR);
    base.addTag("B", tag, Tag::HR);
    base.addTag("C", tag, Tag::IR);
    base.addTag("C", tag, Tag::IR);

    base.removeTag("A", Tag::HR);
    QVERIFY(tag);
    base.clearTag(Tag::HR);
    QVERIFY(tag);
    QCOMPARE(base.tagHash(Tag::IR).value("C"), tag.data());
    base.clearTag(Tag::IR);
    QVERIFY(!tag);
}

QTEST_GUILESS_MAIN(tst_BaseTag)
#include "tst_basetag.moc"
