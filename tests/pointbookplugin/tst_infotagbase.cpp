#include <pointbook/basetag.h>
#include <pointbook/infotagbase.h>
#include <pointbook/infotagbasedialog.h>
#include <pointbook/tag.h>

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QtTest>

using Pointbook::BaseTag;
using Pointbook::InfoTagBase;
using Pointbook::InfoTagBaseDialog;
using Pointbook::Tag;

namespace {

Tag *makeTag(Tag::RegisterType type, const QString &id, quint16 address,
             Tag::DataType dataType = Tag::UInt16, quint64 mask = 0, quint16 count = 1)
{
    auto *tag = new Tag(type, dataType, Tag::Order10, Tag::Order01, address, "name " + id,
                        "bar", "description " + id);
    tag->setId(id);
    tag->setMask(mask);
    tag->setCount(count);
    return tag;
}

void add(BaseTag *base, Tag *tag)
{
    QVERIFY(base->addTag(tag->Id(), tag, tag->registerType()));
}

QStringList column(QTableWidget *table, int c)
{
    QStringList result;
    for (int r = 0; r < table->rowCount(); ++r)
        result << (table->item(r, c) ? table->item(r, c)->text() : QString("<null>"));
    return result;
}

QStringList rowHeaders(QTableWidget *table)
{
    QStringList result;
    for (int r = 0; r < table->rowCount(); ++r)
        result << (table->verticalHeaderItem(r) ? table->verticalHeaderItem(r)->text()
                                                : QString("<null>"));
    return result;
}

} // namespace

class tst_InfoTagBase : public QObject
{
    Q_OBJECT

private slots:
    void emptyView();
    void twoIrThreeHr();
    void allFourTablesInOrder();
    void bitFieldsByMask();
    void dataTypeColumn_data();
    void dataTypeColumn();
    void nullCollectionLeavesView();
    void refillReplacesRows();
    void dialogWithCollection();
    void dialogWithoutCollection();
};

void tst_InfoTagBase::emptyView()
{
    InfoTagBase view;
    const QStringList captions = {"Number of IR registers: ", "Number of HR registers: ",
                                  "Number of DI registers: ", "Number of CO registers: "};
    QStringList shown;
    for (QLabel *label : view.findChildren<QLabel *>())
        shown << label->text();
    for (const QString &caption : captions)
        QVERIFY2(shown.contains(caption), qPrintable(caption));
    for (const char *name : {"labelIrValue", "labelHrValue", "labelDiValue", "labelCoValue"})
        QCOMPARE(view.findChild<QLabel *>(name)->text(), QString());
    QCOMPARE(view.findChild<QTableWidget *>("tableWidget")->rowCount(), 0);
}

void tst_InfoTagBase::twoIrThreeHr()
{
    BaseTag base;
    add(&base, makeTag(Tag::HR, "h3", 30));
    add(&base, makeTag(Tag::IR, "i2", 9));
    add(&base, makeTag(Tag::HR, "h1", 2));
    add(&base, makeTag(Tag::IR, "i1", 4, Tag::Float, 0, 1));
    add(&base, makeTag(Tag::HR, "h2", 7));

    InfoTagBase view;
    view.setBase(&base);
    auto *table = view.findChild<QTableWidget *>("tableWidget");
    QCOMPARE(table->rowCount(), 5);
    QCOMPARE(table->columnCount(), 6);
    QStringList headers;
    for (int c = 0; c < 6; ++c)
        headers << table->horizontalHeaderItem(c)->text();
    QCOMPARE(headers, QStringList({"Name tag", "Id", "Address", "Data type", "Count", "Description"}));
    QCOMPARE(rowHeaders(table), QStringList({"IR", "IR", "HR", "HR", "HR"}));
    QCOMPARE(column(table, 1), QStringList({"i1", "i2", "h1", "h2", "h3"}));
    QCOMPARE(column(table, 0), QStringList({"name i1", "name i2", "name h1", "name h2", "name h3"}));
    QCOMPARE(column(table, 2), QStringList({"4", "9", "2", "7", "30"}));
    QCOMPARE(column(table, 3), QStringList({"float", "uint16", "uint16", "uint16", "uint16"}));
    QCOMPARE(column(table, 4), QStringList({"1", "1", "1", "1", "1"}));
    QCOMPARE(column(table, 5).first(), QString("description i1"));
    QCOMPARE(view.findChild<QLabel *>("labelIrValue")->text(), QString("2"));
    QCOMPARE(view.findChild<QLabel *>("labelHrValue")->text(), QString("3"));
    QCOMPARE(view.findChild<QLabel *>("labelDiValue")->text(), QString("0"));
    QCOMPARE(view.findChild<QLabel *>("labelCoValue")->text(), QString("0"));
    QCOMPARE(table->horizontalHeader()->sectionResizeMode(0), QHeaderView::ResizeToContents);
}

void tst_InfoTagBase::allFourTablesInOrder()
{
    BaseTag base;
    add(&base, makeTag(Tag::CO, "c", 0));
    add(&base, makeTag(Tag::DI, "d", 0));
    add(&base, makeTag(Tag::HR, "h", 0));
    add(&base, makeTag(Tag::IR, "i", 0));
    add(&base, makeTag(Tag::CO, "c2", 65535, Tag::UInt16, 0, 300));
    InfoTagBase view;
    view.setBase(&base);
    auto *table = view.findChild<QTableWidget *>("tableWidget");
    QCOMPARE(rowHeaders(table), QStringList({"IR", "HR", "DI", "CO", "CO"}));
    QCOMPARE(column(table, 2).last(), QString("65535"));
    QCOMPARE(column(table, 4).last(), QString("300"));
}

void tst_InfoTagBase::bitFieldsByMask()
{
    BaseTag base;
    add(&base, makeTag(Tag::IR, "b2", 5, Tag::UInt16, 0b10));
    add(&base, makeTag(Tag::IR, "b1", 5, Tag::UInt16, 0b01));
    add(&base, makeTag(Tag::IR, "b0", 4, Tag::UInt16, 0b100));
    InfoTagBase view;
    view.setBase(&base);
    QCOMPARE(column(view.findChild<QTableWidget *>("tableWidget"), 1),
             QStringList({"b0", "b1", "b2"}));
}

void tst_InfoTagBase::dataTypeColumn_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("text");
    QTest::newRow("unknown reads uint16") << int(Tag::UnknownType) << "uint16";
    QTest::newRow("int8") << int(Tag::Int8) << "int8";
    QTest::newRow("uint64") << int(Tag::UInt64) << "uint64";
    QTest::newRow("double") << int(Tag::Double) << "double";
}

void tst_InfoTagBase::dataTypeColumn()
{
    QFETCH(int, type);
    QFETCH(QString, text);
    BaseTag base;
    add(&base, makeTag(Tag::DI, "x", 1, Tag::DataType(type)));
    InfoTagBase view;
    view.setBase(&base);
    QCOMPARE(view.findChild<QTableWidget *>("tableWidget")->item(0, 3)->text(), text);
}

void tst_InfoTagBase::nullCollectionLeavesView()
{
    BaseTag base;
    add(&base, makeTag(Tag::IR, "i", 0));
    InfoTagBase view;
    view.setBase(&base);
    view.setBase(nullptr);
    QCOMPARE(view.findChild<QTableWidget *>("tableWidget")->rowCount(), 1);
    view.clearTable();
    QCOMPARE(view.findChild<QTableWidget *>("tableWidget")->rowCount(), 0);
}

void tst_InfoTagBase::refillReplacesRows()
{
    BaseTag base;
    add(&base, makeTag(Tag::IR, "i", 0));
    add(&base, makeTag(Tag::IR, "j", 1));
    InfoTagBase view;
    view.setBase(&base);
    base.removeTag("i", Tag::IR);
    view.setBase(&base);
    auto *table = view.findChild<QTableWidget *>("tableWidget");
    QCOMPARE(column(table, 1), QStringList({"j"}));
    QCOMPARE(view.findChild<QLabel *>("labelIrValue")->text(), QString("1"));
}

void tst_InfoTagBase::dialogWithCollection()
{
    BaseTag base;
    add(&base, makeTag(Tag::HR, "h", 3));
    QWidget parent;
    const Qt::WindowFlags flags(0xC000);
    InfoTagBaseDialog dialog(&base, &parent, flags);
    QCOMPARE(dialog.parentWidget(), &parent);
    QVERIFY(dialog.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(dialog.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));

    auto *layout = qobject_cast<QVBoxLayout *>(dialog.layout());
    QVERIFY(layout);
    QCOMPARE(layout->count(), 2);
    auto *view = qobject_cast<InfoTagBase *>(layout->itemAt(0)->widget());
    QVERIFY(view);
    QCOMPARE(view->findChild<QTableWidget *>("tableWidget")->rowCount(), 1);
    auto *exit = qobject_cast<QPushButton *>(layout->itemAt(1)->widget());
    QVERIFY(exit);
    QCOMPARE(exit->text(), QString("Exit"));

    QTimer::singleShot(0, exit, &QPushButton::click);
    QTimer::singleShot(5000, &dialog, &QDialog::reject); // never hang
    QElapsedTimer clock;
    clock.start();
    dialog.exec();
    QVERIFY(clock.elapsed() < 4000);
    QVERIFY(!dialog.isVisible());
}

void tst_InfoTagBase::dialogWithoutCollection()
{
    InfoTagBaseDialog dialog(nullptr);
    QVERIFY(!dialog.layout());
    QVERIFY(!dialog.findChild<InfoTagBase *>());
    QVERIFY(!dialog.findChild<QPushButton *>());
}

QTEST_MAIN(tst_InfoTagBase)
#include "tst_infotagbase.moc"
