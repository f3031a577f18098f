#include <workspace/tagfiltermodel.h>
#include <workspace/tagformatter.h>
#include <workspace/tagrights.h>
#include <workspace/tagtablemodel.h>
#include <workspace/tagtreeview.h>

#include <clearance/baseclearance.h>
#include <clearance/clearancetag.h>
#include <pointbook/basetag.h>
#include <pointbook/tag.h>
#include <pointbook/tagbase.h>

#include <QImage>
#include <QSignalSpy>
#include <QTreeView>
#include <QtTest>

using Pointbook::BaseTag;
using Pointbook::Tag;
using Workspace::TagFilterModel;
using Workspace::TagFormatter;
using Workspace::TagRights;
using Workspace::TagTableModel;

namespace {

Tag *makeTag(Tag::RegisterType table, const QString &id, Tag::DataType type, quint16 address,
             const QString &kind = QStringLiteral("dimension"), Tag::ByteOrder in = Tag::Order10,
             Tag::ByteOrder out = Tag::Order01)
{
    auto *tag = new Tag(table, type, in, out, address, id + QStringLiteral(" name"), QString(),
                        QStringLiteral("about ") + id);
    tag->setId(id);
    tag->setCount(1);
    tag->setTypeTag(kind);
    tag->setAccess(QStringLiteral("RW"));
    return tag;
}

int leafCount(const QAbstractItemModel &model, const QModelIndex &parent = QModelIndex())
{
    int n = 0;
    for (int r = 0; r < model.rowCount(parent); ++r) {
        const QModelIndex i = model.index(r, 0, parent);
        n += i.data(TagTableModel::IsTagRole).toBool() ? 1 : leafCount(model, i);
    }
    return n;
}

} // namespace

class tst_TagTableModel : public QObject
{
    Q_OBJECT

private slots:
    void valueText_data();
    void valueText();
    void outOfRange_data();
    void outOfRange();
    void groupsByTableAndKind();
    void rightsHideAndLock();
    void rightsPolling_data();
    void rightsPolling();
    void coalescesValueChanges();
    void tenThousandTagsBoundedUpdates();
    void staleAfterMissedPass();
    void followsReloadWithoutDanglingTags();
    void collectionDeleted();
    void filterKeepsMatchingTagsAndGroups_data();
    void filterKeepsMatchingTagsAndGroups();
    void sortsWithinGroupsAsNumbers();
    void discreteValuesReadOnOff();
    void freshnessFollowsTheLink_data();
    void freshnessFollowsTheLink();
    void viewRepaintsForRowsOnScreen_data();
    void viewRepaintsForRowsOnScreen();
    void viewPaintsRegionsAsPlainView_data();
    void viewPaintsRegionsAsPlainView();
};

void tst_TagTableModel::valueText_data()
{
    QTest::addColumn<int>("dataType");
    QTest::addColumn<int>("inOrder");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("precision");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<quint64>("mask");
    QTest::addColumn<QVector<quint16>>("words");
    QTest::addColumn<QString>("expected");

    // 1.5f = 0x3FC00000, most significant word first.
    QTest::newRow("float precision and unit") << int(Tag::Float) << int(Tag::Order3210) << 1 << 3
                                              << "bar" << quint64(0)
                                              << QVector<quint16>{0x3FC0, 0x0000} << "1.500 bar";
    QTest::newRow("int16 negative") << int(Tag::Int16) << int(Tag::Order10) << 1 << 0 << ""
                                    << quint64(0) << QVector<quint16>{0xFFFE} << "-2";
    QTest::newRow("uint32 ignores precision") << int(Tag::UInt32) << int(Tag::Order3210) << 1 << 2
                                              << "h" << quint64(0)
                                              << QVector<quint16>{0x0001, 0x0000} << "65536 h";
    QTest::newRow("bit set") << int(Tag::UInt16) << int(Tag::Order10) << 1 << 0 << "" << quint64(0x4)
                             << QVector<quint16>{0x0004} << "on";
    QTest::newRow("bit clear") << int(Tag::UInt16) << int(Tag::Order10) << 1 << 0 << ""
                               << quint64(0x4) << QVector<quint16>{0x00FB} << "off";
    QTest::newRow("list of elements") << int(Tag::UInt16) << int(Tag::Order10) << 3 << 0 << "mm"
                                      << quint64(0) << QVector<quint16>{1, 2, 300} << "[1, 2, 300] mm";
    QTest::newRow("no value yet") << int(Tag::Float) << int(Tag::Order3210) << 1 << 2 << "bar"
                                  << quint64(0) << QVector<quint16>{} << "";
    QTest::newRow("unknown type") << int(Tag::UnknownType) << int(Tag::Order10) << 1 << 0 << ""
                                  << quint64(0) << QVector<quint16>{7} << "";
}

void tst_TagTableModel::valueText()
{
    QFETCH(int, dataType);
    QFETCH(int, inOrder);
    QFETCH(int, count);
    QFETCH(int, precision);
    QFETCH(QString, unit);
    QFETCH(quint64, mask);
    QFETCH(QVector<quint16>, words);
    QFETCH(QString, expected);

    const auto in = Tag::ByteOrder(inOrder);
    const auto out = in == Tag::Order3210 ? Tag::Order0123 : Tag::Order01;
    QScopedPointer<Tag> tag(makeTag(Tag::IR, "T", Tag::DataType(dataType), 0, "dimension", in, out));
    tag->setCount(quint16(count));
    tag->setPrecision(precision);
    tag->setUnit(unit);
    if (mask) {
        tag->setBitfield(true);
        tag->setMask(mask);
    }
    if (!words.isEmpty())
        tag->setRawData(words);
    QCOMPARE(TagFormatter::valueText(tag.data()), expected);
}

void tst_TagTableModel::outOfRange_data()
{
    QTest::addColumn<float>("minimum");
    QTest::addColumn<float>("maximum");
    QTest::addColumn<quint16>("word");
    QTest::addColumn<bool>("outside");

    QTest::newRow("inside") << 0.0f << 100.0f << quint16(50) << false;
    QTest::newRow("on the limit") << 0.0f << 100.0f << quint16(100) << false;
    QTest::newRow("above") << 0.0f << 100.0f << quint16(101) << true;
    QTest::newRow("below") << 10.0f << 100.0f << quint16(9) << true;
    QTest::newRow("no limits set") << 0.0f << 0.0f << quint16(5000) << false;
}

void tst_TagTableModel::outOfRange()
{
    QFETCH(float, minimum);
    QFETCH(float, maximum);
    QFETCH(quint16, word);
    QFETCH(bool, outside);

    BaseTag base;
    Tag *tag = makeTag(Tag::HR, "P", Tag::UInt16, 4);
    tag->setMinValue(minimum);
    tag->setMaxValue(maximum);
    base.addTag("P", tag, Tag::HR);
    TagTableModel model;
    model.setBaseTag(&base);
    tag->setRawData({word});
    QCOMPARE(TagFormatter::isOutOfRange(tag), outside);
    const QModelIndex value = model.indexOfTag(Tag::HR, "P", TagTableModel::ValueColumn);
    QCOMPARE(value.data(TagTableModel::OutOfRangeRole).toBool(), outside);
    QCOMPARE(value.data(Qt::BackgroundRole).isValid(), outside);
}

void tst_TagTableModel::groupsByTableAndKind()
{
    BaseTag base;
    base.addTag("S1", makeTag(Tag::IR, "S1", Tag::UInt16, 3, "status"), Tag::IR);
    base.addTag("D2", makeTag(Tag::IR, "D2", Tag::UInt16, 1, "dimension"), Tag::IR);
    base.addTag("D1", makeTag(Tag::IR, "D1", Tag::UInt16, 0, "dimension"), Tag::IR);
    base.addTag("P1", makeTag(Tag::HR, "P1", Tag::UInt16, 0, "parameter"), Tag::HR);
    base.addTag("C1", makeTag(Tag::CO, "C1", Tag::UInt16, 0, "command"), Tag::CO);
    TagTableModel model;
    model.setBaseTag(&base);

    QCOMPARE(model.rowCount(), 3); // IR, HR, CO; no empty DI group
    const QModelIndex ir = model.index(0, 0);
    QCOMPARE(ir.data().toString(), TagFormatter::registerTypeName(Tag::IR) + " (3)");
    QCOMPARE(model.rowCount(ir), 2);
    const QModelIndex status = model.index(0, 0, ir);
    const QModelIndex dims = model.index(1, 0, ir);
    QCOMPARE(status.data().toString(), TagFormatter::tagKindName(Tag::Status) + " (1)");
    QCOMPARE(model.rowCount(dims), 2);
    // Within a kind, rows follow the register address.
    QCOMPARE(model.index(0, 0, dims).data(TagTableModel::TagIdRole).toString(), QString("D1"));
    QCOMPARE(model.index(1, 0, dims).data(TagTableModel::TagIdRole).toString(), QString("D2"));
    QCOMPARE(model.parent(model.index(1, 0, dims)), dims);
    QCOMPARE(model.parent(dims), ir);
    QCOMPARE(model.index(2, 0).data().toString(), TagFormatter::registerTypeName(Tag::CO) + " (1)");
    QCOMPARE(model.index(0, TagTableModel::DescriptionColumn, dims).data().toString(), QString("about D1"));
    QCOMPARE(model.index(0, TagTableModel::AddressColumn, dims).data().toString(), QString("0"));
    // Out-of-range rows and columns give no index.
    QVERIFY(!model.index(5, 0, dims).isValid());
    QVERIFY(!model.index(0, TagTableModel::ColumnCount, dims).isValid());
    QCOMPARE(model.rowCount(model.index(0, 0, dims)), 0);
}

void tst_TagTableModel::rightsHideAndLock()
{
    BaseTag base;
    base.addTag("A", makeTag(Tag::HR, "A", Tag::UInt16, 0), Tag::HR);
    base.addTag("B", makeTag(Tag::HR, "B", Tag::UInt16, 1), Tag::HR);
    base.addTag("C", makeTag(Tag::HR, "C", Tag::UInt16, 2), Tag::HR);
    TagTableModel model;
    model.setBaseTag(&base);
    QCOMPARE(leafCount(model), 3);
    // Without rights: shown, but nothing writable.
    QCOMPARE(model.indexOfTag(Tag::HR, "A").data(TagTableModel::WritableRole).toBool(), false);

    Clearance::BaseClearance level;
    auto addRight = [&level](const QString &id, bool update, bool visible, bool readonly) {
        auto *t = new Clearance::ClearanceTag(Clearance::ClearanceTag::HoldingRegisters);
        t->setId(id);
        t->setUpdate(update);
        t->setVisible(visible);
        t->setReadonly(readonly);
        level.addTag(id, t, Clearance::ClearanceTag::HoldingRegisters);
    };
    addRight("A", true, true, false);
    addRight("B", false, false, true);
    // "C" is not listed: a restricted level does not show it.
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    model.setRights(TagRights::fromClearance(&level));
    QCOMPARE(resets.count(), 1);
    QCOMPARE(leafCount(model), 1);
    QVERIFY(!model.indexOfTag(Tag::HR, "B").isValid());
    QVERIFY(!model.indexOfTag(Tag::HR, "C").isValid());
    QCOMPARE(model.indexOfTag(Tag::HR, "A").data(TagTableModel::WritableRole).toBool(), true);

    addRight("C", true, true, true);
    model.setRights(TagRights::fromClearance(&level));
    QCOMPARE(model.indexOfTag(Tag::HR, "C").data(TagTableModel::WritableRole).toBool(), false);
    QCOMPARE(model.indexOfTag(Tag::HR, "C", TagTableModel::AccessColumn).data().toString(),
             TagFormatter::accessText(base.tagHash(Tag::HR).value("C"), false));
}

void tst_TagTableModel::rightsPolling_data()
{
    QTest::addColumn<bool>("restricted");
    QTest::addColumn<bool>("listed");
    QTest::addColumn<bool>("update");
    QTest::addColumn<bool>("polled");

    QTest::newRow("no rights: polled") << false << false << false << true;
    QTest::newRow("listed, update") << true << true << true << true;
    QTest::newRow("listed, no update") << true << true << false << false;
    QTest::newRow("not listed") << true << false << false << false;
}

void tst_TagTableModel::rightsPolling()
{
    QFETCH(bool, restricted);
    QFETCH(bool, listed);
    QFETCH(bool, update);
    QFETCH(bool, polled);

    BaseTag base;
    Tag *tag = makeTag(Tag::IR, "X", Tag::UInt16, 0);
    tag->setUpdate(!polled);
    base.addTag("X", tag, Tag::IR);
    TagRights rights;
    if (restricted) {
        rights.setAccess(Tag::IR, "Other", TagRights::Access{true, true, false});
        if (listed)
            rights.setAccess(Tag::IR, "X", TagRights::Access{true, update, false});
    }
    QCOMPARE(rights.applyPolling(&base), polled ? 1 : 0);
    QCOMPARE(tag->isUpdate(), polled);
    QCOMPARE(rights.applyPolling(nullptr), 0);
}

void tst_TagTableModel::coalescesValueChanges()
{
    BaseTag base;
    Tag *a = makeTag(Tag::IR, "A", Tag::UInt16, 0);
    Tag *b = makeTag(Tag::IR, "B", Tag::UInt16, 1);
    base.addTag("A", a, Tag::IR);
    base.addTag("B", b, Tag::IR);
    TagTableModel model;
    model.setBaseTag(&base);
    model.setFlushInterval(20);
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);

    for (quint16 i = 0; i < 50; ++i) {
        a->setRawData({i});
        b->setRawData({quint16(i + 1)});
    }
    QCOMPARE(changes.count(), 0);
    QCOMPARE(model.pendingUpdates(), 2);
    QTRY_COMPARE(changes.count(), 1);
    const QModelIndex top = changes.first().at(0).toModelIndex();
    const QModelIndex bottom = changes.first().at(1).toModelIndex();
    QCOMPARE(top.row(), 0);
    QCOMPARE(bottom.row(), 1);
    QCOMPARE(bottom.column(), TagTableModel::ColumnCount - 1);
    QCOMPARE(model.indexOfTag(Tag::IR, "B", TagTableModel::ValueColumn).data().toString(), QString("50"));
    QCOMPARE(model.indexOfTag(Tag::IR, "B", TagTableModel::RawColumn).data().toString(), QString("0x0032"));
    QCOMPARE(model.pendingUpdates(), 0);
}

void tst_TagTableModel::tenThousandTagsBoundedUpdates()
{
    BaseTag base;
    const QStringList kinds{"status", "parameter", "dimension", "command"};
    QList<Tag *> tags;
    for (int i = 0; i < 10000; ++i) {
        const auto table = i % 2 ? Tag::HR : Tag::IR;
        const QString id = QStringLiteral("T%1").arg(i);
        Tag *tag = makeTag(table, id, Tag::UInt16, quint16(i / 2), kinds.at(i % 4));
        base.addTag(id, tag, table);
        tags.append(tag);
    }
    TagTableModel model;
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    model.setBaseTag(&base);
    QCOMPARE(model.tagRowCount(), 10000);
    QCOMPARE(resets.count(), 1);

    // The kind groups: IR holds status and dimension, HR parameter and command.
    int groups = 0;
    for (int t = 0; t < model.rowCount(); ++t)
        groups += model.rowCount(model.index(t, 0));
    QCOMPARE(groups, 4);

    const int passes = 20;
    for (int pass = 0; pass < passes; ++pass) {
        for (Tag *tag : qAsConst(tags))
            tag->setRawData({quint16(pass)});
        model.passEnded();
        QCoreApplication::processEvents();
    }
    // Each pass repaints at most one range per kind group, never per tag,
    // and never resets the model.
    QVERIFY2(changes.count() <= passes * groups, qPrintable(QString::number(changes.count())));
    QVERIFY(changes.count() >= passes);
    QCOMPARE(resets.count(), 1);
    QCOMPARE(model.indexOfTag(Tag::HR, "T9999", TagTableModel::ValueColumn).data().toString(),
             QString::number(passes - 1));

    // The view reads a value afresh, so a flushed range shows the newest one.
    tags.first()->setRawData({4242});
    QCOMPARE(model.indexOfTag(Tag::IR, "T0", TagTableModel::ValueColumn).data().toString(), QString("4242"));
}

void tst_TagTableModel::staleAfterMissedPass()
{
    BaseTag base;
    Tag *good = makeTag(Tag::IR, "Good", Tag::UInt16, 0);
    Tag *lost = makeTag(Tag::IR, "Lost", Tag::UInt16, 1);
    Tag *idle = makeTag(Tag::IR, "Idle", Tag::UInt16, 2);
    Tag *never = makeTag(Tag::IR, "Never", Tag::UInt16, 3);
    idle->setUpdate(false);
    for (Tag *t : {good, lost, idle, never})
        base.addTag(t->Id(), t, Tag::IR);
    TagTableModel model;
    model.setBaseTag(&base);
    auto stale = [&model](const QString &id) {
        return model.indexOfTag(Tag::IR, id).data(TagTableModel::StaleRole).toBool();
    };

    good->setRawData({1});
    lost->setRawData({2});
    idle->setRawData({3});
    model.passEnded();
    QVERIFY(!stale("Good") && !stale("Lost") && !stale("Idle") && !stale("Never"));

    // The request holding "Lost" failed this pass.
    good->setRawData({1});
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    model.passEnded();
    QVERIFY(!stale("Good"));
    QVERIFY(stale("Lost"));
    QVERIFY(!stale("Idle"));  // not polled: its old value is not stale
    QVERIFY(!stale("Never")); // nothing shown yet, nothing stale
    QVERIFY(changes.count() >= 1);
    QCOMPARE(model.indexOfTag(Tag::IR, "Lost", TagTableModel::ValueColumn).data(Qt::FontRole).value<QFont>().italic(), true);
    QVERIFY(model.indexOfTag(Tag::IR, "Idle").data(Qt::ToolTipRole).toString().contains("Not polled"));

    lost->setRawData({5});
    model.passEnded();
    QVERIFY(!stale("Lost"));
}

void tst_TagTableModel::followsReloadWithoutDanglingTags()
{
    BaseTag base;
    for (int i = 0; i < 100; ++i)
        base.addTag(QString::number(i), makeTag(Tag::IR, QString::number(i), Tag::UInt16, quint16(i)), Tag::IR);
    TagTableModel model;
    model.setBaseTag(&base);
    QCOMPARE(model.tagRowCount(), 100);
    const QModelIndex old = model.indexOfTag(Tag::IR, "5", TagTableModel::ValueColumn);
    base.tagHash(Tag::IR).value("5")->setRawData({7});

    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    base.clearBase(); // deletes every tag
    // Until the rebuild runs, rows answer without touching the deleted tags.
    QVERIFY(model.isRebuildPending());
    QCOMPARE(model.tagAt(old), static_cast<Tag *>(nullptr));
    QVERIFY(!old.data().isValid());
    model.flush();
    model.passEnded();

    // A loader refills the collection one tag at a time: one reset only.
    for (int i = 0; i < 500; ++i)
        base.addTag(QString::number(i), makeTag(Tag::HR, QString::number(i), Tag::UInt16, quint16(i)), Tag::HR);
    QTRY_COMPARE(model.tagRowCount(), 500);
    QCOMPARE(resets.count(), 1);
    QVERIFY(!model.indexOfTag(Tag::IR, "5").isValid());
    base.tagHash(Tag::HR).value("5")->setRawData({9});
    model.flush();
    QCOMPARE(model.indexOfTag(Tag::HR, "5", TagTableModel::ValueColumn).data().toString(), QString("9"));
}

void tst_TagTableModel::collectionDeleted()
{
    auto *base = new BaseTag;
    base->addTag("A", makeTag(Tag::IR, "A", Tag::UInt16, 0), Tag::IR);
    TagTableModel model;
    model.setBaseTag(base);
    QCOMPARE(model.tagRowCount(), 1);
    delete base;
    QCOMPARE(model.baseTag(), static_cast<BaseTag *>(nullptr));
    QTRY_COMPARE(model.tagRowCount(), 0);
    QCOMPARE(model.rowCount(), 0);
}

void tst_TagTableModel::filterKeepsMatchingTagsAndGroups_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("tags");
    QTest::addColumn<int>("tables");

    QTest::newRow("empty") << "" << 4 << 2;
    QTest::newRow("by name, any case") << "PRESSURE" << 2 << 2;
    QTest::newRow("by id") << "flow" << 1 << 1;
    QTest::newRow("by description") << "about Level" << 1 << 1;
    QTest::newRow("group name alone") << "Input" << 0 << 0;
    QTest::newRow("nothing") << "zzz" << 0 << 0;
}

void tst_TagTableModel::filterKeepsMatchingTagsAndGroups()
{
    QFETCH(QString, text);
    QFETCH(int, tags);
    QFETCH(int, tables);

    BaseTag base;
    base.addTag("Pressure", makeTag(Tag::IR, "Pressure", Tag::UInt16, 0), Tag::IR);
    base.addTag("Flow", makeTag(Tag::IR, "Flow", Tag::UInt16, 1), Tag::IR);
    base.addTag("Level", makeTag(Tag::IR, "Level", Tag::UInt16, 2), Tag::IR);
    base.addTag("PressureLimit", makeTag(Tag::HR, "PressureLimit", Tag::UInt16, 0, "parameter"), Tag::HR);
    TagTableModel model;
    model.setBaseTag(&base);
    TagFilterModel filter;
    filter.setSourceModel(&model);
    filter.setFilterText(text);
    QCOMPARE(leafCount(filter), tags);
    QCOMPARE(filter.rowCount(), tables);
    QCOMPARE(filter.shownTagCount(), tags);
    if (tables > 0) // a group counts what the filter leaves of it
        QVERIFY(filter.index(0, 0).data().toString().endsWith(QStringLiteral("(%1)").arg(
            leafCount(filter, filter.index(0, 0)))));
}

void tst_TagTableModel::sortsWithinGroupsAsNumbers()
{
    BaseTag base;
    const QList<QPair<int, quint16>> tags{{2, 100}, {10, 9}, {9, 20}};
    for (const auto &t : tags) {
        Tag *tag = makeTag(Tag::IR, QString::number(t.first), Tag::UInt16, quint16(t.first));
        base.addTag(tag->Id(), tag, Tag::IR);
        tag->setRawData({t.second});
    }
    base.addTag("P", makeTag(Tag::HR, "P", Tag::UInt16, 1, "parameter"), Tag::HR);
    TagTableModel model;
    model.setBaseTag(&base);
    TagFilterModel filter;
    filter.setSourceModel(&model);
    const QModelIndex group = filter.index(0, 0, filter.index(0, 0));
    const auto order = [&] {
        QStringList ids;
        for (int r = 0; r < filter.rowCount(group); ++r)
            ids << filter.index(r, 0, group).data(TagTableModel::TagIdRole).toString();
        return ids;
    };
    filter.sort(TagTableModel::AddressColumn, Qt::AscendingOrder);
    QCOMPARE(order(), (QStringList{"2", "9", "10"}));
    filter.sort(TagTableModel::ValueColumn, Qt::DescendingOrder);
    QCOMPARE(order(), (QStringList{"2", "9", "10"})); // 100, 20, 9
    filter.sort(TagTableModel::ValueColumn, Qt::AscendingOrder);
    QCOMPARE(order(), (QStringList{"10", "9", "2"}));
    QCOMPARE(filter.rowCount(), 2); // tables stay in their order
    QVERIFY(filter.index(0, 0).data().toString().startsWith(TagFormatter::registerTypeName(Tag::IR)));
}

void tst_TagTableModel::discreteValuesReadOnOff()
{
    for (const auto table : {Tag::DI, Tag::CO}) {
        QScopedPointer<Tag> tag(makeTag(table, "B", Tag::UInt16, 0));
        tag->setRawData({1});
        QCOMPARE(TagFormatter::valueText(tag.data()), QString("on"));
        tag->setRawData({0});
        QCOMPARE(TagFormatter::valueText(tag.data()), QString("off"));
    }
}

void tst_TagTableModel::freshnessFollowsTheLink_data()
{
    // Rows follow their tags one by one, or the engine's notice per reply:
    // the table shows the same either way.
    QTest::addColumn<bool>("notices");
    QTest::newRow("each tag") << false;
    QTest::newRow("engine notices") << true;
}

void tst_TagTableModel::freshnessFollowsTheLink()
{
    QFETCH(bool, notices);
    BaseTag base;
    Tag *a = makeTag(Tag::IR, "A", Tag::UInt16, 0);
    Tag *b = makeTag(Tag::IR, "B", Tag::UInt16, 5);
    base.addTag("A", a, Tag::IR);
    base.addTag("B", b, Tag::IR);
    Pointbook::TagBase engine;
    TagTableModel model;
    model.setBaseTag(&base);
    if (notices)
        model.setEngine(&engine);
    const auto value = [&model](const QString &id, int role = Qt::DisplayRole) {
        return model.indexOfTag(Tag::IR, id, TagTableModel::ValueColumn).data(role);
    };
    // Gives the tag a word as the read of IR 0 to 2 does.
    const auto give = [&](Tag *tag, quint16 word) {
        tag->setRawData({word});
        if (notices)
            emit engine.valuesDelivered(int(Tag::IR), 0, 3, {tag});
    };
    model.requestAnswered(int(Tag::IR), 0, 3);
    give(a, 7);
    give(b, 8);
    QCOMPARE(value("A").toString(), QString("7"));
    QVERIFY(value("A", Qt::ToolTipRole).toString().contains("by the read of"));
    QVERIFY(!value("B", Qt::ToolTipRole).toString().contains("by the read of")); // not in that request

    // A failed request marks the tags it covers, and only those.
    model.requestFailed(int(Tag::IR), 4, 2, "timeout");
    QVERIFY(!value("A", TagTableModel::StaleRole).toBool());
    QVERIFY(value("B", TagTableModel::StaleRole).toBool());
    QCOMPARE(model.indexOfTag(Tag::IR, "B", TagTableModel::StateColumn).data().toString(), QString("timeout"));

    // Link down: everything stale at once; a late answer refreshes nothing.
    model.setLive(false, "link down");
    give(a, 9);
    QVERIFY(value("A", TagTableModel::StaleRole).toBool());
    QCOMPARE(value("A", TagTableModel::ReasonRole).toString(), QString("link down"));
    // Another device: nothing of the old one is shown.
    model.clearValues();
    QVERIFY(value("A").toString().isEmpty());
    model.setRights(TagRights()); // a rebuild keeps that
    QVERIFY(value("A").toString().isEmpty());
    model.setLive(true);
    give(a, 3);
    QCOMPARE(value("A").toString(), QString("3"));
    QVERIFY(!value("A", TagTableModel::StaleRole).toBool());

    // Older than the maximum age: stale without any failure.
    model.setMaxAge(1);
    QTRY_VERIFY(value("A", TagTableModel::StaleRole).toBool());
    QVERIFY(value("A", TagTableModel::ReasonRole).toString().startsWith("not refreshed for"));
}

void tst_TagTableModel::viewRepaintsForRowsOnScreen_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("repaints");
    QTest::newRow("first row, on screen") << "T000" << true;
    QTest::newRow("last row, far below") << "T199" << false;
    QTest::newRow("scrolled to the last row") << "T199" << true;
}

void tst_TagTableModel::viewRepaintsForRowsOnScreen()
{
    QFETCH(QString, id);
    QFETCH(bool, repaints);
    BaseTag base;
    for (int i = 0; i < 200; ++i) {
        const QString tagId = QStringLiteral("T%1").arg(i, 3, 10, QLatin1Char('0'));
        base.addTag(tagId, makeTag(Tag::IR, tagId, Tag::UInt16, quint16(i)), Tag::IR);
    }
    TagTableModel model;
    model.setBaseTag(&base);
    model.setFlushInterval(0);
    TagFilterModel filter;
    filter.setSourceModel(&model);
    Workspace::TagTreeView view;
    view.setUniformRowHeights(true);
    view.setModel(&filter);
    view.setRepaintInterval(0);
    view.resize(500, 300);
    view.expandAll();
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    if (QTest::currentDataTag() == QByteArray("scrolled to the last row"))
        view.scrollToBottom();

    // The rows on screen, top to bottom, and no more than fit.
    const QModelIndexList rows = view.visibleRows();
    QVERIFY(rows.size() >= 3);
    QVERIFY(rows.size() <= view.viewport()->height() / view.visualRect(rows.first()).height() + 2);
    for (int i = 1; i < rows.size(); ++i)
        QCOMPARE(view.visualRect(rows.at(i)).top(), view.visualRect(rows.at(i - 1)).bottom() + 1);

    int paints = 0;
    QRegion painted;
    class PaintCounter : public QObject
    {
    public:
        PaintCounter(int *count, QRegion *region) : m_count(count), m_region(region) {}
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint) {
                ++*m_count;
                *m_region += static_cast<QPaintEvent *>(event)->region();
            }
            return false;
        }
        int *m_count;
        QRegion *m_region;
    } counter(&paints, &painted);
    view.viewport()->installEventFilter(&counter);
    // The paints of showing and scrolling the table end first.
    for (int i = 0; i < 50; ++i) {
        paints = 0;
        QTest::qWait(100);
        if (paints == 0)
            break;
    }
    quint16 newest = 42;
    base.tagHash(Tag::IR).value(id)->setRawData({newest});
    if (repaints) {
        QTRY_VERIFY(paints > 0);
        // The first value changed the row's state; a new value only needs
        // its value cells painted again.
        QTest::qWait(50);
        paints = 0;
        painted = QRegion();
        base.tagHash(Tag::IR).value(id)->setRawData({++newest});
        QTRY_VERIFY(paints > 0);
        const int left = view.columnViewportPosition(TagTableModel::ValueColumn);
        const int right = view.columnViewportPosition(TagTableModel::RawColumn)
                          + view.columnWidth(TagTableModel::RawColumn);
        QVERIFY(painted.boundingRect().left() >= left);
        QVERIFY(painted.boundingRect().right() < right);
    } else {
        QTest::qWait(100);
        QCOMPARE(paints, 0);
    }
    // Repainted or not, the cell holds the newest value.
    QCOMPARE(model.indexOfTag(Tag::IR, id, TagTableModel::ValueColumn).data().toString(), QString::number(newest));
}

void tst_TagTableModel::viewPaintsRegionsAsPlainView_data()
{
    // Rectangles as (first column, pixels into it, width, top, height).
    QTest::addColumn<QVector<QVector<int>>>("rects");
    QTest::newRow("values beside a note") << QVector<QVector<int>>{{1, 0, 250, 0, 300}, {6, 10, 200, 40, 60}};
    QTest::newRow("two bands, same columns") << QVector<QVector<int>>{{5, 0, 180, 10, 30}, {5, 0, 180, 80, 45}};
    QTest::newRow("bands sharing a column") << QVector<QVector<int>>{{0, 0, 260, 10, 20}, {1, 5, 30, 50, 40}};
    QTest::newRow("overlapping in one column") << QVector<QVector<int>>{{1, 0, 60, 10, 35}, {1, 30, 60, 30, 40}};
    QTest::newRow("slivers in three columns")
        << QVector<QVector<int>>{{2, 3, 10, 5, 100}, {5, 2, 20, 120, 10}, {7, 1, 4, 0, 300}};
}

void tst_TagTableModel::viewPaintsRegionsAsPlainView()
{
    QFETCH(QVector<QVector<int>>, rects);
    BaseTag base;
    for (int i = 0; i < 60; ++i) {
        const QString tagId = QStringLiteral("T%1").arg(i, 2, 10, QLatin1Char('0'));
        base.addTag(tagId, makeTag(Tag::IR, tagId, Tag::UInt16, quint16(i)), Tag::IR);
        base.tagHash(Tag::IR).value(tagId)->setRawData({quint16(1000 + 37 * i)});
    }
    TagTableModel model;
    model.setBaseTag(&base);
    Workspace::TagTreeView ours;
    QTreeView plain;
    QRegion region;
    QImage images[2];
    int n = 0;
    for (QTreeView *view : {static_cast<QTreeView *>(&ours), &plain}) {
        view->setUniformRowHeights(true);
        view->setAlternatingRowColors(true);
        view->setFocusPolicy(Qt::NoFocus); // no focus frame in either
        view->setModel(&model);
        view->resize(1000, 330);
        for (int c = 0; c < TagTableModel::ColumnCount; ++c)
            view->setColumnWidth(c, 90 + 15 * c);
        view->expandAll();
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view));
        if (region.isEmpty()) {
            for (const QVector<int> &r : qAsConst(rects))
                region += QRect(view->columnViewportPosition(r.at(0)) + r.at(1), r.at(3), r.at(2), r.at(4));
            QVERIFY(region.rectCount() > 1);
        }
        // What is outside the region stays as it was: one colour in both.
        QImage &image = images[n++];
        image = QImage(view->viewport()->size(), QImage::Format_ARGB32);
        image.fill(Qt::magenta);
        view->viewport()->render(&image, QPoint(), region);
    }
    QCOMPARE(images[0], images[1]);
}

QTEST_MAIN(tst_TagTableModel)
#include "tst_tagtablemodel.moc"
