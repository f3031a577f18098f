// The register browser against the device simulator: ranges split within
// the driver's limits, values in every format equal to what the simulator
// encodes, an exception range marks exactly its rows, and tags created from
// browsed rows read the same values through the program's loader and
// polling engine.

#include <browser/browsermodel.h>
#include <browser/mapfileactions.h>
#include <browser/mapwriter.h>
#include <browser/registerbrowser.h>
#include <devicesim/devicesimulator.h>
#include <fieldlink/imodbustransaction.h>
#include <fieldlink/modbusconnection.h>
#include <fieldlink/qmodbussettings.h>
#include <pointbook/basetag.h>
#include <pointbook/tagbase.h>
#include <pointbook/tagbaseloader.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace Browser;
using Devicesim::DeviceSimulator;
using Fieldlink::FieldlinkCore::IModbusTransaction;
using Fieldlink::FieldlinkCore::ModbusConnection;
using Fieldlink::FieldlinkCore::QModbusSettings;
using Pointbook::Tag;

namespace {

const QString Version = QStringLiteral("7.1");

NewTag tag(Tag::RegisterType table, int address, Tag::DataType type, Tag::ByteOrder order)
{
    NewTag t;
    t.table = table;
    t.address = address;
    t.dataType = type;
    t.byteOrder = order;
    t.id = QStringLiteral("T%1").arg(address);
    t.name = t.id;
    return t;
}

// Every width and byte order the map format knows, spread over three
// requests of 125 registers, with values straddling request borders.
QList<NewTag> deviceTags()
{
    return {
        tag(Tag::HR, 0, Tag::UInt16, Tag::Order10),
        tag(Tag::HR, 1, Tag::Int16, Tag::Order10),
        tag(Tag::HR, 10, Tag::Float, Tag::Order3210),
        tag(Tag::HR, 12, Tag::Float, Tag::Order1032),
        tag(Tag::HR, 14, Tag::Int32, Tag::Order2301),
        tag(Tag::HR, 16, Tag::UInt32, Tag::Order0123),
        tag(Tag::HR, 124, Tag::Int32, Tag::Order3210), // across the first border
        tag(Tag::HR, 130, Tag::Double, Tag::Order76543210),
        tag(Tag::HR, 140, Tag::Int64, Tag::Order10325476),
        tag(Tag::HR, 148, Tag::UInt64, Tag::Order32107654),
        tag(Tag::HR, 160, Tag::Double, Tag::Order23016745),
        tag(Tag::HR, 170, Tag::Int64, Tag::Order45670123),
        tag(Tag::HR, 180, Tag::UInt64, Tag::Order54761032),
        tag(Tag::HR, 190, Tag::Double, Tag::Order67452301),
        tag(Tag::HR, 248, Tag::Double, Tag::Order01234567), // across the second border
        tag(Tag::HR, 300, Tag::UInt16, Tag::Order10),
        tag(Tag::CO, 3, Tag::UInt16, Tag::Order10),
        tag(Tag::CO, 1020, Tag::UInt16, Tag::Order10),
    };
}

} // namespace

class tst_RegisterBrowser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void splitsWithinTheDriverLimits_data();
    void splitsWithinTheDriverLimits();
    void readsEveryFormatAcrossRequests();
    void exceptionMarksExactlyItsRows();
    void createdTagsReadTheBrowsedValues();

private:
    // One pass over the range; false when it does not end in time.
    bool browse(Tag::RegisterType table, int start, int count);
    void formatAsTags(Tag::RegisterType table);

    QTemporaryDir m_dir;
    DeviceSimulator m_device;
    ModbusConnection m_link;
    QModbusSettings m_settings;
    BrowserModel m_model;
    RegisterBrowser m_browser{&m_model};
};

void tst_RegisterBrowser::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QString error;
    QVERIFY2(MapWriter::write(m_dir.path(), Version, deviceTags(), MapWriter::Create, nullptr, &error),
             qPrintable(error));
    QVERIFY2(m_device.loadMap(MapWriter::fileName(m_dir.path(), Version)), qPrintable(m_device.errorString()));
    m_device.setStep(17); // values away from the limits
    QVERIFY(m_device.listen());
    m_link.setHost(QStringLiteral("127.0.0.1"));
    m_link.setPort(m_device.port());
    m_settings.setResponseTimeout(3000);
    QVERIFY(m_link.connectDevice());
    QTRY_VERIFY_WITH_TIMEOUT(m_link.isConnected(), 10000);
    m_browser.setConnection(&m_link, &m_settings);
}

void tst_RegisterBrowser::cleanupTestCase()
{
    m_browser.stop();
    m_link.disconnectDevice();
    m_device.close();
}

bool tst_RegisterBrowser::browse(Tag::RegisterType table, int start, int count)
{
    if (m_model.table() != table || m_model.start() != start || m_model.count() != count) {
        if (!m_browser.setRange(table, start, count))
            return false;
    }
    QSignalSpy ended(&m_browser, &RegisterBrowser::passEnded);
    m_browser.readOnce();
    return ended.wait(30000);
}

void tst_RegisterBrowser::formatAsTags(Tag::RegisterType table)
{
    for (const NewTag &t : deviceTags()) {
        if (t.table == table && Tag::elementWidth(t.dataType) > 2)
            m_model.setRowFormat(t.address - m_model.start(),
                                 RowFormat(RowFormat::formatOf(t.dataType), t.byteOrder));
        else if (t.table == table)
            m_model.setRowFormat(t.address - m_model.start(), RowFormat(RowFormat::formatOf(t.dataType)));
    }
}

void tst_RegisterBrowser::splitsWithinTheDriverLimits_data()
{
    QTest::addColumn<int>("table");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("count");
    QTest::addColumn<QVector<int>>("sizes"); // empty: refused

    const int bits = RegisterBrowser::requestLimit(Tag::CO);
    QVERIFY(bits <= IModbusTransaction::MaxReadBits && bits <= 2000);
    QTest::newRow("125 registers, one request") << int(Tag::HR) << 0 << 125 << QVector<int>{125};
    QTest::newRow("126 registers, two") << int(Tag::IR) << 0 << 126 << QVector<int>{125, 1};
    QTest::newRow("bits at the limit") << int(Tag::CO) << 0 << bits << QVector<int>{bits};
    QTest::newRow("one bit more") << int(Tag::DI) << 5 << bits + 1 << QVector<int>{bits, 1};
    QTest::newRow("ends at 65535") << int(Tag::HR) << 65535 - 129 << 130 << QVector<int>{125, 5};
    QTest::newRow("10,000 registers") << int(Tag::HR) << 0 << 10000
                                      << QVector<int>(80, 125);
    QTest::newRow("past 65535") << int(Tag::HR) << 65500 << 37 << QVector<int>{};
    QTest::newRow("more than 10,000") << int(Tag::HR) << 0 << 10001 << QVector<int>{};
    QTest::newRow("nothing") << int(Tag::HR) << 0 << 0 << QVector<int>{};
    QTest::newRow("no table") << 0 << 0 << 10 << QVector<int>{};
}

void tst_RegisterBrowser::splitsWithinTheDriverLimits()
{
    QFETCH(int, table);
    QFETCH(int, start);
    QFETCH(int, count);
    QFETCH(QVector<int>, sizes);

    const auto type = Tag::RegisterType(table);
    const QVector<RegisterBrowser::Request> plan = RegisterBrowser::split(type, start, count);
    QCOMPARE(RegisterBrowser::rangeError(type, start, count).isEmpty(), !sizes.isEmpty());
    QCOMPARE(plan.size(), sizes.size());
    int next = start;
    for (int i = 0; i < plan.size(); ++i) {
        QCOMPARE(plan.at(i).start, next);
        QCOMPARE(plan.at(i).count, sizes.at(i));
        next += plan.at(i).count;
    }
    if (!sizes.isEmpty()) {
        QCOMPARE(next, start + count);
        QVERIFY(next - 1 <= 65535);
    }
}

void tst_RegisterBrowser::readsEveryFormatAcrossRequests()
{
    QVERIFY(browse(Tag::HR, 0, 302));
    QCOMPARE(m_browser.plan().size(), 3);
    formatAsTags(Tag::HR);
    QCOMPARE(m_model.failedRows(), 0);
    for (const NewTag &t : deviceTags()) {
        if (t.table != Tag::HR)
            continue;
        const RowFormat format = m_model.rowFormat(t.address);
        const QVariant expected = m_device.tagValue(Tag::HR, t.id);
        QVERIFY(expected.isValid());
        QCOMPARE(format.decode(m_model.words(t.address, format.registers())), expected);
        // The wide value owns its rows; the text is the decoded number.
        if (format.isWide()) {
            QCOMPARE(m_model.coveringRow(t.address + 1), t.address);
            QVERIFY(!m_model.valueText(t.address).isEmpty());
        }
    }

    // The 16-bit views of one word.
    const quint16 word = m_device.tagWords(Tag::HR, QStringLiteral("T300")).value(0);
    QCOMPARE(m_model.word(300), word);
    const struct
    {
        RowFormat::Format format;
        QString text;
    } views[] = {
        {RowFormat::Unsigned16, QString::number(word)},
        {RowFormat::Signed16, QString::number(qint16(word))},
        {RowFormat::Hex, QStringLiteral("0x%1").arg(word, 4, 16, QLatin1Char('0')).toUpper().replace(QLatin1String("0X"), QLatin1String("0x"))},
        {RowFormat::Binary, QStringLiteral("%1").arg(word, 16, 2, QLatin1Char('0')).insert(12, QLatin1Char(' ')).insert(8, QLatin1Char(' ')).insert(4, QLatin1Char(' '))},
    };
    for (const auto &view : views) {
        m_model.setRowFormat(300, RowFormat(view.format));
        QCOMPARE(m_model.valueText(300), view.text);
    }
    QCOMPARE(RowFormat(RowFormat::Ascii).text({0x4B31}), QStringLiteral("\"K1\""));
    QCOMPARE(RowFormat(RowFormat::Ascii).text({0x0041}), QStringLiteral("\".A\""));

    // Bits, in a request of the bit limit and one more.
    QVERIFY(browse(Tag::CO, 0, RegisterBrowser::requestLimit(Tag::CO) + 10));
    QCOMPARE(m_browser.plan().size(), 2);
    QCOMPARE(m_model.failedRows(), 0);
    for (const int address : {3, 1020})
        QCOMPARE(m_model.word(address),
                 m_device.tagWords(Tag::CO, QStringLiteral("T%1").arg(address)).value(0));
}

void tst_RegisterBrowser::exceptionMarksExactlyItsRows()
{
    m_device.addExceptionRange(QModbusDataUnit::HoldingRegisters, 130, 139,
                               QModbusPdu::IllegalDataAddress);
    QVERIFY(browse(Tag::HR, 100, 200));
    // The first pass narrows the failing request down; the second reads
    // with the finer plan and must give the same rows.
    for (int pass = 0; pass < 2; ++pass) {
        for (int row = 0; row < m_model.count(); ++row) {
            const int address = 100 + row;
            const bool refused = address >= 130 && address <= 139;
            QCOMPARE(m_model.state(row) == BrowserModel::Failed, refused);
            if (refused)
                QCOMPARE(m_model.reason(row), QStringLiteral("Exception 2: Illegal data address"));
        }
        for (const RegisterBrowser::Request &r : m_browser.plan())
            QVERIFY(r.count >= 1 && r.count <= 125);
        if (pass == 0)
            QVERIFY(browse(Tag::HR, 100, 200));
    }
    m_device.clearExceptionRanges();
    QVERIFY(browse(Tag::HR, 100, 200));
    QCOMPARE(m_model.failedRows(), 0);
}

void tst_RegisterBrowser::createdTagsReadTheBrowsedValues()
{
    QVERIFY(browse(Tag::HR, 0, 302));
    formatAsTags(Tag::HR);
    QList<int> rows;
    for (const NewTag &t : deviceTags()) {
        if (t.table == Tag::HR)
            rows.append(t.address);
    }
    rows.append(11); // inside the float at 10: belongs to it, no tag of its own
    const QList<NewTag> created = MapFileActions::tagsForRows(&m_model, rows);
    QCOMPARE(created.size(), rows.size() - 1);

    QTemporaryDir folder;
    QString error;
    QVERIFY2(MapWriter::write(folder.path(), QStringLiteral("8.0"), created, MapWriter::Create,
                              nullptr, &error),
             qPrintable(error));
    Pointbook::TagBaseLoader loader(MapWriter::fileName(folder.path(), QStringLiteral("8.0")),
                                    QStringLiteral("8.0"));
    QVERIFY2(loader.readBase(), qPrintable(loader.errorString()));
    QCOMPARE(loader.base()->sizeTagHash(Tag::HR), created.size());

    // The polling engine of the tag table reads the new map from the device.
    Pointbook::TagBase engine;
    engine.setModbusConnection(&m_link);
    engine.setModbusSettings(&m_settings);
    engine.setTagBase(loader.base());
    QSignalSpy passed(&engine, &Pointbook::TagBase::updateAllBase);
    engine.setUpdateBase(Pointbook::TagBase::SingleUpdate, true);
    QVERIFY(passed.wait(30000));
    for (const NewTag &t : created) {
        const Tag *polled = loader.base()->tagHash(Tag::HR).value(t.id);
        QVERIFY(polled);
        const int row = t.address;
        const RowFormat format = m_model.rowFormat(row);
        QCOMPARE(polled->value(), format.decode(m_model.words(row, format.registers())));
    }
}

QTEST_GUILESS_MAIN(tst_RegisterBrowser)
#include "tst_registerbrowser.moc"
