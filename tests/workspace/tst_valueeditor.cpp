// The value editor of the live table as a user drives it: a double-click,
// keystrokes, Enter, in the C and the Russian interface, against a plain
// Modbus TCP device on 127.0.0.1. What was typed is written exactly or
// refused with the reason below the editor, and every refusal is reported
// for the change log; a value the level may not change says why.

#include "testdevice.h"

#include <fieldlink/modbusconnection.h>
#include <pointbook/basetag.h>
#include <pointbook/tag.h>
#include <pointbook/tagwriter.h>
#include <workspace/tagfiltermodel.h>
#include <workspace/tagrights.h>
#include <workspace/tagtablemodel.h>
#include <workspace/tagtreeview.h>
#include <workspace/workspacecontroller.h>
#include <workspace/workspacepage.h>

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

using Pointbook::Tag;
using Pointbook::TagWriter;
using Workspace::TagRights;
using Workspace::TagTableModel;
using Workspace::WorkspaceController;

namespace {

constexpr int Patience = 20000;

Tag *makeTag(const QString &id, Tag::DataType type, quint16 address, float low = 0, float high = 0,
             const QString &unit = QString())
{
    const bool wide = Tag::elementWidth(type) == 4;
    auto *tag = new Tag(Tag::HR, type, wide ? Tag::Order3210 : Tag::Order10, wide ? Tag::Order0123 : Tag::Order01,
                        address, id, QString(), QString());
    tag->setId(id);
    tag->setCount(1);
    tag->setTypeTag(QStringLiteral("parameter"));
    tag->setAccess(QStringLiteral("RW"));
    tag->setUnit(unit);
    tag->setMinValue(low);
    tag->setMaxValue(high);
    return tag;
}

// As a mouse does it: the first click, then the second one.
void doubleClick(QAbstractItemView *view, const QModelIndex &index)
{
    const QPoint centre = view->visualRect(index).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
}

} // namespace

class tst_ValueEditor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void typedValueWrittenOrRefused_data();
    void typedValueWrittenOrRefused();
    void valueTheLevelMayNotChange();

private:
    QModelIndex cell(const QString &id) const;
    QVector<quint16> held(const QString &id) const;

    TestDevice m_device;
    Fieldlink::FieldlinkCore::ModbusConnection m_link;
    Pointbook::BaseTag m_base;
    WorkspaceController *m_controller = nullptr;
    Workspace::WorkspacePage *m_page = nullptr;
};

void tst_ValueEditor::initTestCase()
{
    QVERIFY(m_device.listenOn());
    m_base.addTag("SetPoint", makeTag("SetPoint", Tag::Float, 0, 0, 16, "bar"), Tag::HR);
    m_base.addTag("Trim", makeTag("Trim", Tag::Int16, 2), Tag::HR);
    m_base.addTag("Address", makeTag("Address", Tag::UInt16, 3), Tag::HR);
    m_base.addTag("Hours", makeTag("Hours", Tag::UInt32, 4), Tag::HR);
    m_base.addTag("Locked", makeTag("Locked", Tag::UInt16, 6, 0, 100), Tag::HR);

    m_link.setHost("127.0.0.1");
    m_link.setPort(m_device.port());
    QVERIFY(m_link.connectDevice());
    QTRY_COMPARE_WITH_TIMEOUT(m_link.state(), QModbusDevice::ConnectedState, Patience);

    m_controller = new WorkspaceController(&m_link, nullptr, nullptr, this);
    TagTableModel *model = m_controller->model();
    model->setBaseTag(&m_base);
    TagRights rights;
    for (const char *id : {"SetPoint", "Trim", "Address", "Hours"})
        rights.setAccess(Tag::HR, id, {true, true, true});
    rights.setAccess(Tag::HR, "Locked", {true, true, false});
    model->setRights(rights);
    model->rebuild();
    m_page = new Workspace::WorkspacePage(m_controller);
    m_page->resize(1000, 500);
    m_page->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_page));
    m_page->view()->expandAll();
}

void tst_ValueEditor::cleanupTestCase()
{
    delete m_page;
    m_link.disconnectDevice();
    QLocale::setDefault(QLocale::c());
}

QModelIndex tst_ValueEditor::cell(const QString &id) const
{
    return m_page->filterModel()->mapFromSource(
        m_controller->model()->indexOfTag(Tag::HR, id, TagTableModel::ValueColumn));
}

QVector<quint16> tst_ValueEditor::held(const QString &id) const
{
    const Tag *tag = m_base.tagHash(Tag::HR).value(id);
    QVector<quint16> words;
    for (int i = 0; i < tag->sizeRegisters(); ++i) {
        quint16 w = 0;
        m_device.data(QModbusDataUnit::HoldingRegisters, quint16(tag->startAddress() + i), &w);
        words << w;
    }
    return words;
}

void tst_ValueEditor::typedValueWrittenOrRefused_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written"); // read back; empty: refused
    QTest::addColumn<QString>("reason");

    QTest::newRow("C float") << "C" << "SetPoint" << "12.5" << "12.5" << "";
    QTest::newRow("C float, comma") << "C" << "SetPoint" << "12,5" << "" << "decimal separator is \".\"";
    QTest::newRow("C float over limit") << "C" << "SetPoint" << "25" << "" << "25 is outside the tag's limits 0 to 16";
    QTest::newRow("C float, unit typed") << "C" << "SetPoint" << "3.75 bar" << "3.75" << "";
    QTest::newRow("C int16") << "C" << "Trim" << "-300" << "-300" << "";
    QTest::newRow("C int16 too large") << "C" << "Trim" << "40000" << "" << "outside the range of int16";
    QTest::newRow("C int16 not whole") << "C" << "Trim" << "12.5" << "" << "12.5 is not a whole number";
    QTest::newRow("C uint16 negative") << "C" << "Address" << "-1" << "" << "outside the range of uint16";
    QTest::newRow("C uint32 largest") << "C" << "Hours" << "4294967295" << "4294967295" << "";
    QTest::newRow("C uint32 too large") << "C" << "Hours" << "4294967296" << "" << "outside the range of uint32";
    QTest::newRow("ru float, comma") << "ru_RU" << "SetPoint" << "12,25" << "12.25" << "";
    QTest::newRow("ru float, point") << "ru_RU" << "SetPoint" << "12.5" << "12.5" << "";
    QTest::newRow("ru float over limit") << "ru_RU" << "SetPoint" << "25" << "" << "outside the tag's limits";
    QTest::newRow("ru float, grouped") << "ru_RU" << "SetPoint" << "1 000,5" << "" << "thousands separators";
    QTest::newRow("ru int16 too large") << "ru_RU" << "Trim" << "40000" << "" << "outside the range of int16";
    QTest::newRow("ru uint16 negative") << "ru_RU" << "Address" << "-1" << "" << "outside the range of uint16";
    QTest::newRow("ru uint32") << "ru_RU" << "Hours" << "70000" << "70000" << "";
    QTest::newRow("ru uint32 too large") << "ru_RU" << "Hours" << "4294967296" << "" << "outside the range of uint32";
}

void tst_ValueEditor::typedValueWrittenOrRefused()
{
    QFETCH(QString, locale);
    QFETCH(QString, id);
    QFETCH(QString, typed);
    QFETCH(QString, written);
    QFETCH(QString, reason);
    // As the program starts in that language: its widgets take the locale.
    QLocale::setDefault(QLocale(locale));
    m_page->setLocale(QLocale(locale));
    const QVector<quint16> before = held(id);

    Workspace::TagTreeView *view = m_page->view();
    const QModelIndex index = cell(id);
    QVERIFY(index.isValid());
    doubleClick(view, index);
    QPointer<QLineEdit> editor = view->viewport()->findChild<QLineEdit *>("valueEditorNumber");
    QVERIFY(editor);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, typed);
    QCOMPARE(editor->text(), typed); // no keystroke dropped
    QSignalSpy finished(m_controller, &WorkspaceController::writeFinished);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, Patience);
    const auto outcome = finished.at(0).at(0).value<TagWriter::Outcome>();
    QCOMPARE(outcome.tagId, id);

    if (!written.isEmpty()) {
        QVERIFY2(outcome.result == TagWriter::Ok, qPrintable(outcome.detail));
        QCOMPARE(outcome.readBack, written);
        QTRY_VERIFY_WITH_TIMEOUT(!editor, Patience);
        return;
    }
    QCOMPARE(outcome.result, TagWriter::Refused);
    QVERIFY2(outcome.detail.contains(reason), qPrintable(outcome.detail));
    QVERIFY(!outcome.newValue.isEmpty());
    QCOMPARE(held(id), before);
    // The editor stays with the text, the reason right below it.
    QVERIFY(editor && editor->isVisible());
    QCOMPARE(editor->text(), typed);
    auto *note = view->viewport()->findChild<QLabel *>("labelValueRefused");
    QVERIFY(note && note->isVisible());
    QCOMPARE(note->text(), outcome.detail);
    QVERIFY(note->geometry().top() >= editor->geometry().bottom()
            || note->geometry().bottom() <= editor->geometry().top());
    QTest::keyClick(editor, Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(!editor, Patience);
    QCoreApplication::processEvents();
    QCOMPARE(finished.count(), 1); // closing is no second attempt
}

// The level's read-only right holds at the writer itself and in the table:
// the cell opens no editor and says why, and the attempt is reported.
void tst_ValueEditor::valueTheLevelMayNotChange()
{
    QLocale::setDefault(QLocale::c());
    m_page->setLocale(QLocale::c());
    Tag *locked = m_base.tagHash(Tag::HR).value("Locked");
    const QVector<quint16> before = held("Locked");
    const QString why = QStringLiteral("The current access level may not change this tag.");
    QSignalSpy finished(m_controller, &WorkspaceController::writeFinished);

    m_controller->writer()->write(locked, 7, true);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, Patience);
    auto outcome = finished.at(0).at(0).value<TagWriter::Outcome>();
    QCOMPARE(outcome.result, TagWriter::Refused);
    QCOMPARE(outcome.detail, why);
    QCOMPARE(held("Locked"), before);

    Workspace::TagTreeView *view = m_page->view();
    const QModelIndex index = cell("Locked");
    QVERIFY(!(index.flags() & Qt::ItemIsEditable));
    doubleClick(view, index);
    QVERIFY(!view->viewport()->findChild<QLineEdit *>());
    auto *note = view->viewport()->findChild<QLabel *>("labelValueRefused");
    QVERIFY(note && note->isVisible());
    QCOMPARE(note->text(), why);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, Patience);
    outcome = finished.at(1).at(0).value<TagWriter::Outcome>();
    QCOMPARE(outcome.result, TagWriter::Refused);
    QCOMPARE(outcome.tagId, QString("Locked"));
    QCOMPARE(outcome.detail, why);
    QCOMPARE(held("Locked"), before);
    // The next click takes the note away.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->visualRect(cell("Trim")).center());
    QTRY_VERIFY_WITH_TIMEOUT(!view->viewport()->findChild<QLabel *>("labelValueRefused"), Patience);
}

QTEST_MAIN(tst_ValueEditor)
#include "tst_valueeditor.moc"
