// Parameter files with korvane-poll against a writable pymodbus device,
// whose registers are dumped by the device itself: save, change, compare,
// apply; refused files send nothing; a device exception in the middle of
// an apply stops it or is passed over.

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString dataFile(const QString &name)
{
    return QStringLiteral(KORVANE_TEST_DATA_DIR "/data/") + name;
}

struct Run
{
    int exitCode = -1;
    QString out;
};

Run poll(const QStringList &arguments)
{
    Run run;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(KORVANE_BUILD_DIR "/bin/korvane-poll"), arguments);
    if (!process.waitForStarted(10000) || !process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished(5000);
        return run;
    }
    if (process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAll());
    return run;
}

// One valid change and something wrong: a refused file must not send even
// the valid one.
QByteArray fileWith(const QString &entries, const QString &extra = QString(), const QString &format = "1")
{
    return QStringLiteral("{\"format\": %1, \"device_version\": \"4.0\", \"serial\": \"\", "
                          "\"saved_utc\": \"2026-01-01T00:00:00Z\", \"saved_by_level\": \"\", "
                          "\"parameters\": [{\"register_type\": \"HR\", \"id\": \"WFloat\", \"name\": \"\", "
                          "\"unit\": \"bar\", \"type\": \"float\", \"value\": 33}%2]%3}")
        .arg(format, entries, extra).toUtf8();
}

} // namespace

class tst_PollParams : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void roundTrip();
    void refusedFiles_data();
    void refusedFiles();
    void exceptionInTheMiddle_data();
    void exceptionInTheMiddle();
    void exactValues_data();
    void exactValues();

private:
    QString dump();
    QStringList device() const
    {
        return {"--tcp", QStringLiteral("127.0.0.1:%1").arg(m_port), "--timeout", "3000"};
    }
    QString write(const QString &name, const QByteArray &content)
    {
        QFile f(m_dir.filePath(name));
        return f.open(QIODevice::WriteOnly) && f.write(content) == content.size() ? f.fileName() : QString();
    }

    QTemporaryDir m_dir;
    QProcess m_peer;
    quint16 m_port = 0;
};

void tst_PollParams::initTestCase()
{
    if (!QFileInfo::exists("/usr/bin/python3"))
        QSKIP("/usr/bin/python3 is missing");
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    m_port = probe.serverPort();
    probe.close();
    m_peer.start(QStringLiteral("/usr/bin/python3"),
                 {dataFile("../pymodbus_writable.py"), QString::number(m_port), "4.0"});
    QVERIFY(m_peer.waitForStarted(10000));
    QVERIFY(QTest::qWaitFor([this] { return m_peer.canReadLine() || m_peer.state() == QProcess::NotRunning; },
                            20000));
    if (m_peer.readLine().trimmed() != "listening")
        QSKIP(qPrintable("the writable pymodbus device did not start: "
                         + QString::fromLocal8Bit(m_peer.readAllStandardError())));
}

void tst_PollParams::cleanupTestCase()
{
    if (m_peer.state() != QProcess::NotRunning) {
        m_peer.kill();
        m_peer.waitForFinished(5000);
    }
}

QString tst_PollParams::dump()
{
    m_peer.write("dump\n");
    if (!QTest::qWaitFor([this] { return m_peer.canReadLine(); }, 10000))
        return QString();
    return QString::fromLatin1(m_peer.readLine().trimmed());
}

void tst_PollParams::roundTrip()
{
    const QStringList map{"--map-dir", dataFile("")};
    QVERIFY(poll(device() + map + QStringList{"--write", "WFloat=-2.25", "--write", "WArray=1,2,3"}).exitCode == 0);
    const QString before = dump();
    const QString file = m_dir.filePath("device.kvparams");

    Run run = poll(device() + map + QStringList{"--save-params", file});
    QVERIFY2(run.exitCode == 0, qPrintable(run.out));
    QFile saved(file);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QJsonObject root = QJsonDocument::fromJson(saved.readAll()).object();
    QCOMPARE(root.value("device_version").toString(), QString("4.0"));
    QStringList ids;
    for (const QJsonValue &p : root.value("parameters").toArray())
        ids << p.toObject().value("id").toString();
    // Read-only tags and commands stay out.
    QCOMPARE(ids, (QStringList{"WFloat", "WInt32", "WBit2", "WBits", "WArray", "WCoil"}));
    QCOMPARE(root.value("parameters").toArray().at(4).toObject().value("value").toArray(),
             (QJsonArray{1, 2, 3}));

    QVERIFY(poll(device() + map + QStringList{"--write", "WFloat=12.5", "--write", "WCoil=on"}).exitCode == 0);
    run = poll(device() + map + QStringList{"--compare-params", file});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out.split('\n', Qt::SkipEmptyParts),
             (QStringList{"WFloat: device 12.5 bar, file -2.25 bar", "WCoil: device on, file off"}));

    run = poll(device() + map + QStringList{"--apply-params", file});
    QVERIFY2(run.exitCode == 0, qPrintable(run.out));
    QCOMPARE(dump(), before);
    QCOMPARE(poll(device() + map + QStringList{"--compare-params", file}).exitCode, 0);

    // A tag that cannot be read leaves no file behind.
    const QString partial = m_dir.filePath("partial.kvparams");
    run = poll(device() + QStringList{"--map", dataFile("base_v3.0.xml"), "--version", "3.0",
                                      "--save-params", partial});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.out.contains("WOutside: cannot be read"), qPrintable(run.out));
    QVERIFY(!QFileInfo::exists(partial));
}

void tst_PollParams::refusedFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");

    const QString entry = ", {\"register_type\": \"%1\", \"id\": \"%2\", \"name\": \"\", \"unit\": \"\", "
                          "\"type\": \"%3\", \"value\": %4}";
    QTest::newRow("not JSON") << QByteArray("{\"format\": 1,") << "not valid JSON (line 1)";
    QTest::newRow("unknown format") << fileWith("", "", "2") << "Unknown file format 2";
    QTest::newRow("missing field")
        << fileWith(", {\"register_type\": \"HR\", \"id\": \"WInt32\", \"name\": \"\", \"unit\": \"\", \"value\": 1}")
        << "Entry 2 (WInt32): the field \"type\" is missing";
    QTest::newRow("duplicate id") << fileWith(entry.arg("HR", "WFloat", "float", "1")) << "Entry 2 (WFloat): the id \"WFloat\" appears twice";
    QTest::newRow("text for a number") << fileWith(entry.arg("HR", "WInt32", "int32", "\"5\""))
                                       << "Entry 2 (WInt32): a value of type int32 must be a number";
    QTest::newRow("fraction for an integer") << fileWith(entry.arg("HR", "WInt32", "int32", "1.5"))
                                             << "must be a whole number, not 1.5";
    QTest::newRow("number for a coil") << fileWith(entry.arg("CO", "WCoil", "bool", "1"))
                                       << "Entry 2 (WCoil): a value of type bool must be true or false";
    QTest::newRow("apply_order names no entry") << fileWith("", ", \"apply_order\": [\"WNone\"]")
                                                << "apply_order: \"WNone\" is not an entry of the file";
    QTest::newRow("not in the map") << fileWith(entry.arg("HR", "WNone", "uint16", "1"))
                                    << "WNone: refused: no HR tag with this id";
    QTest::newRow("outside the limits") << fileWith(entry.arg("HR", "WInt32", "int32", "5000000"))
                                        << "WInt32: refused: 5000000 is outside the tag's limits";
    QTest::newRow("uint64 beyond what a JSON number holds")
        << fileWith(entry.arg("HR", "WU64", "uint64", "9007199254740993"))
        << "Entry 2 (WU64): 9007199254740993 is more than a JSON number holds exactly; "
           "write it as the text \"9007199254740993\".";
    QTest::newRow("int64 element beyond what a JSON number holds")
        << fileWith(entry.arg("HR", "WI64", "int64", "[1, -9007199254740993]"))
        << "Entry 2 (WI64): element 2: -9007199254740993 is more than a JSON number holds exactly";
    QTest::newRow("read-only tag") << fileWith(entry.arg("HR", "WRead", "float", "1"))
                                   << "WRead: refused: the register map does not make this tag a parameter";
}

void tst_PollParams::refusedFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    const QString before = dump();
    const Run run = poll(device() + QStringList{"--map-dir", dataFile(""), "--apply-params",
                                                write("bad.kvparams", content)});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.out.contains(message), qPrintable(run.out));
    QVERIFY2(run.out.contains("Nothing was written."), qPrintable(run.out));
    QCOMPARE(dump(), before);
    // Comparing refuses a broken file just as well.
    if (!QByteArray(QTest::currentDataTag()).contains("map") && !QByteArray(QTest::currentDataTag()).contains("limits")
        && !QByteArray(QTest::currentDataTag()).contains("read-only"))
        QCOMPARE(poll(device() + QStringList{"--map-dir", dataFile(""), "--compare-params",
                                             write("bad.kvparams", content)}).exitCode, 2);
}

void tst_PollParams::exceptionInTheMiddle_data()
{
    QTest::addColumn<bool>("goOn");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("stops") << false
                           << QStringList{"WFloat: written 1.5 bar, read back 1.5",
                                          "WOutside: not written (exception)", "WInt32: skipped (stopped after a failure)"};
    QTest::newRow("continues") << true
                               << QStringList{"WFloat: written 3.5 bar, read back 3.5",
                                              "WOutside: not written (exception)", "WInt32: written 77, read back 77"};
}

void tst_PollParams::exceptionInTheMiddle()
{
    QFETCH(bool, goOn);
    QFETCH(QStringList, lines);
    QVERIFY(poll(device() + QStringList{"--map-dir", dataFile(""), "--write", "WInt32=5"}).exitCode == 0);
    const QString value = goOn ? "3.5" : "1.5";
    // The file's own order puts the refused register between the others.
    const QByteArray content = QStringLiteral(
        "{\"format\": 1, \"device_version\": \"3.0\", \"serial\": \"\", \"saved_utc\": \"\", "
        "\"saved_by_level\": \"\", \"apply_order\": [\"WFloat\", \"WOutside\"], \"parameters\": ["
        "{\"register_type\": \"HR\", \"id\": \"WInt32\", \"name\": \"\", \"unit\": \"\", \"type\": \"int32\", \"value\": 77},"
        "{\"register_type\": \"HR\", \"id\": \"WOutside\", \"name\": \"\", \"unit\": \"\", \"type\": \"uint16\", \"value\": 1},"
        "{\"register_type\": \"HR\", \"id\": \"WFloat\", \"name\": \"\", \"unit\": \"bar\", \"type\": \"float\", \"value\": %1}]}")
        .arg(value).toUtf8();
    QStringList args = device() + QStringList{"--map", dataFile("base_v3.0.xml"), "--version", "3.0",
                                              "--apply-params", write("order.kvparams", content)};
    if (goOn)
        args << "--continue-on-failure";
    const Run run = poll(args);
    QCOMPARE(run.exitCode, 1);
    const QStringList out = run.out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(out.size(), lines.size());
    for (int i = 0; i < lines.size(); ++i)
        QVERIFY2(out.at(i).startsWith(lines.at(i)), qPrintable(run.out));
    // The device's own registers: 1.5 or 3.5 as big-endian float, WInt32 word-swapped.
    const QStringList registers = dump().split(' ');
    QCOMPARE(registers.mid(0, 4), goOn ? (QStringList{"16480", "0", "77", "0"}) : (QStringList{"16320", "0", "5", "0"}));
}

void tst_PollParams::exactValues_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("value");     // as the program prints it
    QTest::addColumn<QByteArray>("saved");  // the entry's value in the file
    QTest::addColumn<QString>("other");     // the nearest value the file must not be taken for

    QTest::newRow("uint64 2^53 + 1") << "WU64" << "9007199254740993" << QByteArray("\"9007199254740993\"")
                                     << "9007199254740992";
    QTest::newRow("int64 -(2^53 + 1)") << "WI64" << "-9007199254740993" << QByteArray("\"-9007199254740993\"")
                                       << "-9007199254740992";
    QTest::newRow("float max") << "WF" << "3.4028235e+38" << QByteArray("3.4028235e+38") << "3.4028233e+38";
    QTest::newRow("float denormal") << "WF" << "1e-45" << QByteArray("1e-45") << "0";
    QTest::newRow("float negative zero") << "WF" << "-0" << QByteArray("\"-0\"") << "0";
    QTest::newRow("double denormal") << "WWide" << "5e-324" << QByteArray("5e-324") << "0";
    QTest::newRow("double negative zero") << "WWide" << "-0" << QByteArray("\"-0\"") << "0";
}

// Saved, compared and applied without losing a bit: the file holds what the
// device holds, tells it from the nearest other value and gives it back.
void tst_PollParams::exactValues()
{
    QFETCH(QString, id);
    QFETCH(QString, value);
    QFETCH(QByteArray, saved);
    QFETCH(QString, other);
    const QStringList map{"--map", dataFile("base_v5.0.xml"), "--version", "5.0"};
    const QString file = m_dir.filePath("exact.kvparams");

    Run run = poll(device() + map + QStringList{"--write", id + "=" + value});
    QVERIFY2(run.exitCode == 0 && run.out.contains("written " + value + ", read back " + value), qPrintable(run.out));
    run = poll(device() + map + QStringList{"--save-params", file});
    QVERIFY2(run.exitCode == 0, qPrintable(run.out));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QJsonValue entry;
    for (const QJsonValue &p : QJsonDocument::fromJson(f.readAll()).object().value("parameters").toArray()) {
        if (p.toObject().value("id").toString() == id)
            entry = p.toObject().value("value");
    }
    QCOMPARE(entry, QJsonDocument::fromJson("[" + saved + "]").array().at(0));

    QVERIFY(poll(device() + map + QStringList{"--write", id + "=" + other}).exitCode == 0);
    run = poll(device() + map + QStringList{"--compare-params", file});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.out.contains(QStringLiteral("%1: device %2, file %3").arg(id, other, value)), qPrintable(run.out));
    run = poll(device() + map + QStringList{"--apply-params", file});
    QVERIFY2(run.exitCode == 0 && run.out.contains(id + ": written " + value + ", read back " + value),
             qPrintable(run.out));
    QCOMPARE(poll(device() + map + QStringList{"--compare-params", file}).exitCode, 0);
}

QTEST_GUILESS_MAIN(tst_PollParams)
#include "tst_pollparams.moc"
