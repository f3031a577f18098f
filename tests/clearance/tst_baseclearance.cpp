#include <clearance/baseclearance.h>
#include <clearance/clearancetag.h>

#include <QPointer>
#include <QtTest>

using Clearance::BaseClearance;
using Clearance::ClearanceTag;

class tst_BaseClearance : public QObject
{
    Q_OBJECT

private slots:
    void tagDefaults();
    void addTagRefuses_data();
    void addTagRefuses();
    void firstTagWins();
    void sameIdOtherTypeAccepted();
    void sameObjectTwiceRefused();
    void tagHashIsCopy();
    void outOfRangeTypes_data();
    void outOfRangeTypes();
    void removeTagDeletes();
    void clearBaseDeletesAll();
    void destructorDeletesHeldTags();
    void equalsIsIdentity();
};

void tst_BaseClearance::tagDefaults()
{
    ClearanceTag plain;
    QCOMPARE(plain.registerType(), ClearanceTag::NoneRegister);
    QVERIFY(plain.Id().isEmpty());
    QVERIFY(!plain.update() && !plain.visible() && !plain.readonly());

    ClearanceTag typed(ClearanceTag::Coils);
    QCOMPARE(typed.registerType(), ClearanceTag::Coils);
    QVERIFY(!typed.update() && !typed.visible() && !typed.readonly());

    // Slots are reachable through the meta-object (other plug-ins may
    // configure rights by name).
    QVERIFY(QMetaObject::invokeMethod(&typed, "setReadonly", Q_ARG(bool, true)));
    QVERIFY(typed.readonly());
}

void tst_BaseClearance::addTagRefuses_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("nullTag");
    QTest::addColumn<int>("type");

    QTest::newRow("null tag") << "Pressure" << true << 1;
    QTest::newRow("empty id") << "" << false << 1;
    QTest::newRow("type 0") << "Pressure" << false << 0;
    QTest::newRow("type 5") << "Pressure" << false << 5;
    QTest::newRow("negative type") << "Pressure" << false << -1;
}

void tst_BaseClearance::addTagRefuses()
{
    QFETCH(QString, id);
    QFETCH(bool, nullTag);
    QFETCH(int, type);

    BaseClearance base;
    ClearanceTag tag;
    QVERIFY(!base.addTag(id, nullTag ? nullptr : &tag, ClearanceTag::RegisterType(type)));
    for (int t = 1; t <= 4; ++t)
        QCOMPARE(base.sizeTagHash(ClearanceTag::RegisterType(t)), 0);
}

void tst_BaseClearance::firstTagWins()
{
    BaseClearance base;
    auto *first = new ClearanceTag(ClearanceTag::HoldingRegisters);
    first->setVisible(true);
    ClearanceTag second(ClearanceTag::HoldingRegisters);

    QVERIFY(base.addTag("SetPoint", first, ClearanceTag::HoldingRegisters));
    QVERIFY(!base.addTag("SetPoint", &second, ClearanceTag::HoldingRegisters));
    QCOMPARE(base.sizeTagHash(ClearanceTag::HoldingRegisters), 1);
    QCOMPARE(base.tagHash(ClearanceTag::HoldingRegisters).value("SetPoint"), first);
    // The refused tag was not taken over: it is still ours to destroy (the
    // stack object here) and the collection does not delete it.
}

void tst_BaseClearance::sameIdOtherTypeAccepted()
{
    BaseClearance base;
    QVERIFY(base.addTag("Pressure", new ClearanceTag, ClearanceTag::InputRegisters));
    QVERIFY(base.addTag("Pressure", new ClearanceTag, ClearanceTag::HoldingRegisters));
    QCOMPARE(base.sizeTagHash(ClearanceTag::InputRegisters), 1);
    QCOMPARE(base.sizeTagHash(ClearanceTag::HoldingRegisters), 1);
}

void tst_BaseClearance::sameObjectTwiceRefused()
{
    // One object under two keys would be deleted twice on clearing.
    BaseClearance base;
    auto *tag = new ClearanceTag;
    QVERIFY(base.addTag("A", tag, ClearanceTag::Coils));
    QVERIFY(!base.addTag("B", tag, ClearanceTag::Coils));
    QVERIFY(!base.addTag("A", tag, ClearanceTag::DiscreteInputs));
    base.clearBase();
    QCOMPARE(base.sizeTagHash(ClearanceTag::Coils), 0);
}

void tst_BaseClearance::tagHashIsCopy()
{
    BaseClearance base;
    QVERIFY(base.addTag("Status", new ClearanceTag, ClearanceTag::DiscreteInputs));
    auto copy = base.tagHash(ClearanceTag::DiscreteInputs);
    copy.clear();
    QCOMPARE(base.sizeTagHash(ClearanceTag::DiscreteInputs), 1);
}

void tst_BaseClearance::outOfRangeTypes_data()
{
    QTest::addColumn<int>("type");
    QTest::newRow("0") << 0;
    QTest::newRow("5") << 5;
    QTest::newRow("-3") << -3;
}

void tst_BaseClearance::outOfRangeTypes()
{
    QFETCH(int, type);
    const auto t = ClearanceTag::RegisterType(type);
    BaseClearance base;
    QPointer<ClearanceTag> tag = new ClearanceTag;
    QVERIFY(base.addTag("Status", tag, ClearanceTag::InputRegisters));

    QCOMPARE(base.sizeTagHash(t), 0);
    QVERIFY(base.tagHash(t).isEmpty());
    base.removeTag("Status", t);
    base.clearTag(t);
    QVERIFY(!tag.isNull());
    QCOMPARE(base.sizeTagHash(ClearanceTag::InputRegisters), 1);
}

void tst_BaseClearance::removeTagDeletes()
{
    BaseClearance base;
    QPointer<ClearanceTag> kept = new ClearanceTag;
    QPointer<ClearanceTag> removed = new ClearanceTag;
    QVERIFY(base.addTag("Kept", kept, ClearanceTag::Coils));
    QVERIFY(base.addTag("Removed", removed, ClearanceTag::Coils));

    base.removeTag("Absent", ClearanceTag::Coils);
    base.removeTag("Removed", ClearanceTag::InputRegisters); // other table
    QCOMPARE(base.sizeTagHash(ClearanceTag::Coils), 2);

    QVERIFY(QMetaObject::invokeMethod(&base, "removeTag", Q_ARG(QString, "Removed"),
                                      Q_ARG(Clearance::ClearanceTag::RegisterType,
                                            ClearanceTag::Coils)));
    QVERIFY(removed.isNull());
    QVERIFY(!kept.isNull());
    QCOMPARE(base.sizeTagHash(ClearanceTag::Coils), 1);

    // The id is free again.
    QVERIFY(base.addTag("Removed", new ClearanceTag, ClearanceTag::Coils));
}

void tst_BaseClearance::clearBaseDeletesAll()
{
    BaseClearance base;
    QList<QPointer<ClearanceTag>> tags;
    for (int t = 1; t <= 4; ++t) {
        for (int i = 0; i < 3; ++i) {
            auto *tag = new ClearanceTag(ClearanceTag::RegisterType(t));
            tags << tag;
            QVERIFY(base.addTag(QString("T%1").arg(i), tag, ClearanceTag::RegisterType(t)));
        }
    }
    base.clearTag(ClearanceTag::HoldingRegisters);
    QCOMPARE(base.sizeTagHash(ClearanceTag::HoldingRegisters), 0);
    QCOMPARE(base.sizeTagHash(ClearanceTag::InputRegisters), 3);

    base.clearBase();
    for (int t = 1; t <= 4; ++t)
        QVERIFY(base.tagHash(ClearanceTag::RegisterType(t)).isEmpty());
    for (const auto &tag : tags)
        QVERIFY(tag.isNull());
}

void tst_BaseClearance::destructorDeletesHeldTags()
{
    QPointer<ClearanceTag> tag = new ClearanceTag;
    {
        BaseClearance base;
        QVERIFY(base.addTag("Pressure", tag, ClearanceTag::InputRegisters));
    }
    QVERIFY(tag.isNull());
}

void tst_BaseClearance::equalsIsIdentity()
{
    BaseClearance a;
    BaseClearance b;
    QVERIFY(a.equals(b)); // both empty
    QVERIFY(a.equals(a));

    auto *tagA = new ClearanceTag(ClearanceTag::InputRegisters);
    auto *tagB = new ClearanceTag(ClearanceTag::InputRegisters);
    tagA->setVisible(true);
    tagB->setVisible(true);
    QVERIFY(a.addTag("Pressure", tagA, ClearanceTag::InputRegisters));
    QVERIFY(b.addTag("Pressure", tagB, ClearanceTag::InputRegisters));
    QVERIFY(a.equals(a));
    QVERIFY(!a.equals(b)); // equal rights, different objects
    QVERIFY(!b.equals(a));

    // Same sizes, same ids, but in another table.
    BaseClearance c;
    QVERIFY(c.addTag("Pressure", new ClearanceTag, ClearanceTag::HoldingRegisters));
    QVERIFY(!a.equals(c));

    // Sizes differ.
    BaseClearance d;
    QVERIFY(!a.equals(d));
    QVERIFY(!d.equals(a));
}

QTEST_GUILESS_MAIN(tst_BaseClearance)

#include "tst_baseclearance.moc"
