// Parameter sets in the program, end to end against the demo device: save,
// change a set point, compare (every state), apply with a device exception
// in the middle, the change log, the commissioning record as PDF and HTML,
// saving with gaps and a broken file.
#include <commissioning/changelog.h>
#include <commissioning/changelogdialog.h>
#include <commissioning/commissioningplugin.h>
#include <commissioning/parametercomparedialog.h>
#include <clearance/clearanceplugin.h>
#include <core/coreplugin.h>
#include <core/icore.h>
#include <core/settingsdatabase.h>
#include <devicesim/devicesimulator.h>
#include <fieldlink/fieldlinkplugin.h>
#include <pointbook/basetag.h>
#include <pointbook/pointbookplugin.h>
#include <pointbook/statusupdatebase.h>
#include <pointbook/tagbaseloader.h>
#include <popnote/popnoteplugin.h>
#include <sqlstore/sqlstoreplugin.h>
#include <workspace/connectionstatuswidget.h>
#include <workspace/demodevice.h>
#include <workspace/tagfiltermodel.h>
#include <workspace/tagtablemodel.h>
#include <workspace/workspacecontroller.h>
#include <workspace/workspacepage.h>
#include <workspace/workspaceplugin.h>

#include <QCheckBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QTreeView>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using Commissioning::CommissioningPlugin;
using Commissioning::ParameterCompareDialog;
using Pointbook::Tag;
using Workspace::WorkspaceController;
using Sim = Devicesim::DeviceSimulator;

namespace {
constexpr int Patience = 30000;

QJsonObject readJson(const QString &fileName)
{
    QFile f(fileName);
    return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject();
}

bool writeJson(const QString &fileName, const QJsonObject &root)
{
    QFile f(fileName);
    return f.open(QIODevice::WriteOnly) && f.write(QJsonDocument(root).toJson()) > 0;
}

// The entry's value replaced (or a new entry added).
void setValue(QJsonObject *root, const QString &id, const QJsonValue &value)
{
    QJsonArray list = root->value("parameters").toArray();
    for (int i = 0; i < list.size(); ++i) {
        QJsonObject o = list.at(i).toObject();
        if (o.value("id").toString() == id) {
            o.insert("value", value);
            list[i] = o;
            root->insert("parameters", list);
            return;
        }
    }
    list.append(QJsonObject{{"register_type", "HR"}, {"id", id}, {"name", id}, {"unit", ""},
                            {"type", "uint16"}, {"value", value}});
    root->insert("parameters", list);
}
} // namespace

class tst_ParameterSets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void saveCompareApplyRecord();
    void saveWithGaps();
    void brokenFileRefused();
    void refusalsOfTheWindowRecorded();

private:
    // The demo simulator runs on a thread of its own: work on it goes there.
    template <typename Work>
    static auto onDevice(Work work)
    {
        return Workspace::WorkspacePlugin::instance()->demoDevice()->call(work);
    }
    WorkspaceController *controller() const { return Workspace::WorkspacePlugin::instance()->controller(); }
    Devicesim::DeviceSimulator *device() const
    {
        return Workspace::WorkspacePlugin::instance()->demoDevice()->simulator();
    }
    Tag *tag(Tag::RegisterType type, const QString &id) const
    {
        return Pointbook::PointbookPlugin::instance()->tagBaseLoader()->base()->tagHash(type).value(id);
    }
    CommissioningPlugin *plugin() const { return CommissioningPlugin::instance(); }

    QTemporaryDir m_home;
    QList<ExtensionSystem::IPlugin *> m_plugins;
};

void tst_ParameterSets::initTestCase()
{
    QVERIFY(m_home.isValid());
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_home.filePath("user"));
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, m_home.filePath("system"));
    QString error;
    m_plugins = {new Core::CorePlugin, new Popnote::PopnotePlugin,
                 new Fieldlink::FieldlinkCore::FieldlinkPlugin, new Pointbook::PointbookPlugin,
                 new Clearance::ClearancePlugin, new Sqlstore::Internal::SqlstorePlugin,
                 new Workspace::WorkspacePlugin, new CommissioningPlugin};
    for (ExtensionSystem::IPlugin *p : qAsConst(m_plugins))
        QVERIFY2(p->initialize({}, &error), qPrintable(error));
    for (ExtensionSystem::IPlugin *p : qAsConst(m_plugins))
        p->extensionsInitialized();
    Workspace::WorkspacePlugin::instance()->page()->setPromptsEnabled(false);
    plugin()->setPromptsEnabled(false);

    // The engineer writes the parameters, not the calibration.
    Core::SettingsDatabase *db = Core::ICore::settingsDatabase();
    db->beginGroup("Clearance");
    db->setValue("CurrentClearance", "engineer");
    db->endGroup();
    Clearance::ClearancePlugin::instance()->readSettings();

    QVERIFY(Workspace::WorkspacePlugin::instance()->startDemo());
    QTRY_COMPARE_WITH_TIMEOUT(controller()->phase(), WorkspaceController::Running, Patience);
    onDevice([](Sim *d) { d->setUpdateInterval(0); });
    QCOMPARE(Clearance::ClearancePlugin::instance()->currentClearance(), QString("engineer"));
}

void tst_ParameterSets::cleanupTestCase()
{
    for (int i = m_plugins.size() - 1; i >= 0; --i)
        m_plugins.at(i)->aboutToShutdown();
    for (int i = m_plugins.size() - 1; i >= 0; --i)
        delete m_plugins.at(i);
}

void tst_ParameterSets::saveCompareApplyRecord()
{
    const QString saved = m_home.filePath("station.kvparams");
    QSignalSpy savedSpy(plugin(), &CommissioningPlugin::parametersSaved);
    plugin()->saveParameters(saved);
    QVERIFY(savedSpy.wait(Patience));
    QVERIFY2(savedSpy.at(0).at(0).toBool(), qPrintable(savedSpy.at(0).at(1).toString()));
    QJsonObject root = readJson(saved);
    QCOMPARE(root.value("device_version").toString(), onDevice([](Sim *d) { return d->version(); }));
    QCOMPARE(root.value("saved_by_level").toString(), QString("engineer"));
    QVERIFY(!root.value("serial").toString().isEmpty());
    const float setPoint = onDevice([](Sim *d) { return d->tagValue(Tag::HR, "SetPoint"); }).toFloat();

    // The set point changes on the device; the file gets a value the map
    // refuses, one the level may not write, one of no tag, and two that
    // differ where the device refuses the first.
    QSignalSpy written(controller(), &WorkspaceController::writeFinished);
    controller()->writeTag(tag(Tag::HR, "SetPoint"), 12.5);
    QVERIFY(written.wait(Patience));
    QCOMPARE(onDevice([](Sim *d) { return d->tagValue(Tag::HR, "SetPoint"); }).toFloat(), 12.5f);
    setValue(&root, "AlarmHigh", 99);
    setValue(&root, "CalibrationOffset", 0.5);
    setValue(&root, "Gone", 1);
    const int damping = onDevice([](Sim *d) { return d->tagValue(Tag::HR, "Damping"); }).toInt();
    setValue(&root, "Damping", damping == 3 ? 4 : 3);
    const int address = onDevice([](Sim *d) { return d->tagValue(Tag::HR, "ModbusAddress"); }).toInt();
    setValue(&root, "ModbusAddress", address == 5 ? 6 : 5);
    const QString changed = m_home.filePath("changed.kvparams");
    QVERIFY(writeJson(changed, root));
    const int dampingAt = tag(Tag::HR, "Damping")->startAddress();
    onDevice([&](Sim *d) {
        d->addWriteExceptionRange(QModbusDataUnit::HoldingRegisters, dampingAt, dampingAt, QModbusPdu::IllegalDataValue);
    });

    QSignalSpy shown(plugin(), &CommissioningPlugin::comparisonShown);
    plugin()->compareWith(changed);
    QVERIFY(shown.wait(Patience));
    QVERIFY2(shown.at(0).at(0).toBool(), qPrintable(shown.at(0).at(1).toString()));
    ParameterCompareDialog *dialog = plugin()->compareDialog();
    QVERIFY(dialog && dialog->isVisible());
    QTableWidget *table = dialog->table();
    const struct { const char *id; const char *state; bool ticked; } expected[] = {
        {"SetPoint", "differs", true}, {"AlarmHigh", "out of limits for this map", false},
        {"AlarmLow", "equal", false}, {"Damping", "differs", true}, {"ModbusAddress", "differs", true},
        {"CalibrationOffset", "not writable at this level", false}, {"Gone", "not in map", false}};
    for (const auto &e : expected) {
        const int row = dialog->rowOf(e.id);
        QVERIFY2(row >= 0, e.id);
        QCOMPARE(table->item(row, ParameterCompareDialog::StateColumn)->text(), QString(e.state));
        QCOMPARE(table->item(row, ParameterCompareDialog::TagColumn)->checkState() == Qt::Checked, e.ticked);
    }
    QCOMPARE(table->item(dialog->rowOf("SetPoint"), ParameterCompareDialog::DeviceColumn)->text(), QString("12.5"));
    QVERIFY(table->item(dialog->rowOf("AlarmHigh"), ParameterCompareDialog::StateColumn)->toolTip().contains("limits"));

    // Applied in address order: the set point is written, the device
    // refuses the damping, and the rest is skipped.
    QSignalSpy applied(dialog, &ParameterCompareDialog::applyFinished);
    dialog->apply();
    QVERIFY(applied.wait(Patience));
    const auto result = [&](const char *id) {
        return table->item(dialog->rowOf(id), ParameterCompareDialog::ResultColumn)->text();
    };
    QVERIFY2(result("SetPoint").startsWith("written"), qPrintable(result("SetPoint")));
    QVERIFY2(result("Damping").startsWith("failed (the device answered with exception 3"), qPrintable(result("Damping")));
    QVERIFY2(result("ModbusAddress").startsWith("skipped"), qPrintable(result("ModbusAddress")));
    QCOMPARE(onDevice([](Sim *d) { return d->tagValue(Tag::HR, "SetPoint"); }).toFloat(), setPoint);
    QCOMPARE(onDevice([](Sim *d) { return d->tagValue(Tag::HR, "ModbusAddress"); }).toInt(), address);
    QVERIFY(dialog->summaryLabel()->text().contains("1 written"));

    // Going on after the failure writes the last one too.
    dialog->continueOnFailureBox()->setChecked(true);
    QVERIFY(dialog->applyButton()->isEnabled());
    dialog->apply();
    QVERIFY(applied.wait(Patience));
    QVERIFY2(result("ModbusAddress").startsWith("written"), qPrintable(result("ModbusAddress")));
    QCOMPARE(onDevice([](Sim *d) { return d->tagValue(Tag::HR, "ModbusAddress"); }).toInt(), address == 5 ? 6 : 5);

    // Every write is in the change log.
    Commissioning::ChangeLog *log = plugin()->changeLog();
    QVector<QVector<QVariant>> rows;
    QTRY_VERIFY_WITH_TIMEOUT([&] {
        QSignalSpy loaded(log, &Commissioning::ChangeLog::rowsLoaded);
        log->load();
        if (!loaded.wait(Patience))
            return false;
        rows = loaded.at(0).at(1).value<QVector<QVector<QVariant>>>();
        return rows.size() >= 5;
    }(), Patience);
    const int idColumn = Commissioning::ChangeLog::columns().indexOf("tag_id");
    const int resultColumn = Commissioning::ChangeLog::columns().indexOf("result");
    QStringList seen;
    for (const auto &row : rows)
        seen.prepend(row.at(idColumn).toString() + ' ' + row.at(resultColumn).toString());
    QCOMPARE(seen, (QStringList{"SetPoint ok", "SetPoint ok", "Damping exception", "Damping exception",
                                "ModbusAddress ok"}));

    // The record, as PDF and HTML.
    const QString pdf = m_home.filePath("record.pdf");
    QSignalSpy recorded(plugin(), &CommissioningPlugin::recordWritten);
    plugin()->writeRecord(pdf);
    QVERIFY(recorded.wait(Patience));
    QVERIFY2(recorded.at(0).at(0).toBool(), qPrintable(recorded.at(0).at(1).toString()));
    QVERIFY(QFileInfo::exists(m_home.filePath("record.html")));
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        QSKIP("pdftotext (poppler-utils) is missing");
    QProcess text;
    text.start("pdftotext", {"-layout", pdf, "-"});
    QVERIFY(text.waitForFinished(30000));
    const QString content = QString::fromUtf8(text.readAllStandardOutput());
    QVERIFY2(content.contains("Commissioning record"), qPrintable(content));
    QVERIFY2(content.contains(QRegularExpression("Device version\\s+1\\.00")), qPrintable(content));
    QVERIFY2(content.contains(QRegularExpression("ModbusAddress\\s+" + QString::number(address == 5 ? 6 : 5))),
             qPrintable(content));
    QVERIFY2(content.contains("Damping") && content.contains("exception"), qPrintable(content));
    QProcess info;
    info.start("pdfinfo", {pdf});
    QVERIFY(info.waitForFinished(30000));
    const QString meta = QString::fromUtf8(info.readAllStandardOutput());
    QVERIFY2(meta.contains(QRegularExpression("Pages:\\s+[1-9]")), qPrintable(meta));
    QVERIFY2(meta.contains("A4"), qPrintable(meta));
    dialog->close();
    onDevice([](Sim *d) { d->clearExceptionRanges(); });
}

void tst_ParameterSets::saveWithGaps()
{
    Tag *alarmLow = tag(Tag::HR, "AlarmLow");
    onDevice([&](Sim *d) {
        d->addExceptionRange(QModbusDataUnit::HoldingRegisters, alarmLow->startAddress(),
                             alarmLow->startAddress() + 1, QModbusPdu::ServerDeviceFailure);
    });
    const QString file = m_home.filePath("gaps.kvparams");
    QSignalSpy savedSpy(plugin(), &CommissioningPlugin::parametersSaved);
    plugin()->saveParameters(file, CommissioningPlugin::RefuseGaps);
    QVERIFY(savedSpy.wait(Patience));
    QVERIFY(!savedSpy.at(0).at(0).toBool());
    QVERIFY2(savedSpy.at(0).at(1).toString().contains("AlarmLow: exception 4 (server device failure)"),
             qPrintable(savedSpy.at(0).at(1).toString()));
    QVERIFY(!QFileInfo::exists(file));

    plugin()->saveParameters(file, CommissioningPlugin::SaveWhatWasRead);
    QVERIFY(savedSpy.wait(Patience));
    QVERIFY(savedSpy.at(1).at(0).toBool());
    const QJsonObject root = readJson(file);
    QCOMPARE(root.value("missing").toArray(), QJsonArray{"AlarmLow"});
    for (const QJsonValue &p : root.value("parameters").toArray())
        QVERIFY(p.toObject().value("id").toString() != "AlarmLow");
    onDevice([](Sim *d) { d->clearExceptionRanges(); });
}

void tst_ParameterSets::brokenFileRefused()
{
    const QString file = m_home.filePath("broken.kvparams");
    QJsonObject root = readJson(m_home.filePath("station.kvparams"));
    setValue(&root, "Damping", "three");
    QVERIFY(writeJson(file, root));
    QSignalSpy shown(plugin(), &CommissioningPlugin::comparisonShown);
    plugin()->compareWith(file);
    QCOMPARE(shown.count(), 1);
    QVERIFY(!shown.at(0).at(0).toBool());
    QVERIFY2(shown.at(0).at(1).toString().contains("(Damping): a value of type uint16 must be a number"),
             qPrintable(shown.at(0).at(1).toString()));
}

// What the window refuses is in the change log of the database file too:
// who (the level), what (the tag and the text typed), why.
void tst_ParameterSets::refusalsOfTheWindowRecorded()
{
    QCOMPARE(Clearance::ClearancePlugin::instance()->currentClearance(), QString("engineer"));
    Workspace::WorkspacePage *page = Workspace::WorkspacePlugin::instance()->page();
    QWidget *window = page->window();
    window->resize(1100, 800);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTreeView *view = page->view();
    view->expandAll();
    const auto cell = [&](const char *id) {
        return page->filterModel()->mapFromSource(
            controller()->model()->indexOfTag(Tag::HR, id, Workspace::TagTableModel::ValueColumn));
    };
    const float setPoint = onDevice([](Sim *d) { return d->tagValue(Tag::HR, "SetPoint"); }).toFloat();
    view->scrollTo(cell("SetPoint"));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->visualRect(cell("SetPoint")).center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->visualRect(cell("SetPoint")).center());
    auto *editor = view->viewport()->findChild<QLineEdit *>("valueEditorNumber");
    QVERIFY(editor);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, "25");
    QTest::keyClick(editor, Qt::Key_Return);
    QTest::keyClick(editor, Qt::Key_Escape);
    // The engineer may not change the calibration.
    view->scrollTo(cell("CalibrationOffset"));
    const QPoint calibration = view->visualRect(cell("CalibrationOffset")).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, calibration);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, calibration);

    Commissioning::ChangeLog *log = plugin()->changeLog();
    const QStringList &columns = Commissioning::ChangeLog::columns();
    QVector<QVector<QVariant>> rows;
    QTRY_VERIFY_WITH_TIMEOUT([&] {
        QSignalSpy loaded(log, &Commissioning::ChangeLog::rowsLoaded);
        log->load();
        if (!loaded.wait(Patience))
            return false;
        rows = loaded.at(0).at(1).value<QVector<QVector<QVariant>>>();
        return !rows.isEmpty() && rows.at(0).value(columns.indexOf("tag_id")).toString() == "CalibrationOffset";
    }(), Patience);
    const auto value = [&](int row, const char *column) {
        return rows.at(row).value(columns.indexOf(QLatin1String(column))).toString();
    };
    QVERIFY(rows.size() >= 2);
    QCOMPARE(value(0, "result"), QString("refused"));
    QCOMPARE(value(0, "access_level"), QString("engineer"));
    QCOMPARE(value(0, "detail"), QString("The current access level may not change this tag."));
    QCOMPARE(value(1, "tag_id"), QString("SetPoint"));
    QCOMPARE(value(1, "result"), QString("refused"));
    QCOMPARE(value(1, "access_level"), QString("engineer"));
    QCOMPARE(value(1, "new_value"), QString("25"));
    QVERIFY2(value(1, "detail").contains("outside the tag's limits"), qPrintable(value(1, "detail")));
    QCOMPARE(onDevice([](Sim *d) { return d->tagValue(Tag::HR, "SetPoint"); }).toFloat(), setPoint);
}

QTEST_MAIN(tst_ParameterSets)
#include "tst_parametersets.moc"
