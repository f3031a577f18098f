#include <xmltext/xmltextreader.h>

#include <QDomDocument>
#include <QTextCodec>
#include <QtTest>

using XmlText::XmlTextReader;

class tst_XmlTextReader : public QObject
{
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void repairQuotedRuns_data();
    void repairQuotedRuns();
    void repairedValuesReadBackLiterally();
    void parseReportsPosition();
    void parseAcceptsPlainDoctype();
    void parseRefusesEntityBombs_data();
    void parseRefusesEntityBombs();
    void parseRefusesBeforeParsing_data();
    void parseRefusesBeforeParsing();
    void parseAcceptsNestingUpToTheLimit();
    void repairAndParseMatchesTheSteps_data();
    void repairAndParseMatchesTheSteps();
};

void tst_XmlTextReader::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    const QString cyr = QString::fromUtf8("Давление");
    QTextCodec *cp1251 = QTextCodec::codecForName("windows-1251");
    QVERIFY(cp1251);

    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("utf8 without declaration") << cyr.toUtf8() << cyr;
    QTest::newRow("stops at zero byte")
        << QByteArray("<a/>\0<b/>", 9) << QStringLiteral("<a/>");
    QTest::newRow("zero byte first") << QByteArray("\0abc", 4) << QString();

    const QByteArray head("<?xml version=\"1.0\" encoding=\"windows-1251\"?><a n=\"");
    QTest::newRow("declared windows-1251")
        << QByteArray(head + cp1251->fromUnicode(cyr) + "\"/>")
        << QString::fromLatin1(head) + cyr + QStringLiteral("\"/>");

    const QByteArray unknown("<?xml version=\"1.0\" encoding=\"no-such-codec-42\"?><a/>");
    QTest::newRow("unknown codec keeps utf8") << unknown << QString::fromLatin1(unknown);

    // Only letters, digits and '-' may form the name; anything else is no declaration.
    const QByteArray odd = QByteArray("<?xml encoding=\"windows_1251\"?>") + cp1251->fromUnicode(cyr);
    QTest::newRow("underscore is no declaration")
        << odd << QString::fromUtf8(odd);

    // The first declaration wins, even if a later one names another codec.
    const QByteArray two = QByteArray("<?xml encoding=\"windows-1251\"?><a e=\"encoding=\"KOI8-R\"\" n=\"")
        + cp1251->fromUnicode(cyr) + "\"/>";
    QTest::newRow("first declaration wins")
        << two
        << QStringLiteral("<?xml encoding=\"windows-1251\"?><a e=\"encoding=\"KOI8-R\"\" n=\"") + cyr
            + QStringLiteral("\"/>");
    // A declaration that does not match (empty name, a blank in it, no
    // closing quote) does not stop the search for a later one.
    const QByteArray later = QByteArray("<a e=\"encoding=\"\" f=\"encoding=\"KOI 8\" g=\"encoding=\"windows-1251")
        + " n=\"encoding=\"windows-1251\" v=\"" + cp1251->fromUnicode(cyr) + "\"/>";
    QTest::newRow("later declaration after broken ones")
        << later
        << QStringLiteral("<a e=\"encoding=\"\" f=\"encoding=\"KOI 8\" g=\"encoding=\"windows-1251"
                          " n=\"encoding=\"windows-1251\" v=\"") + cyr + QStringLiteral("\"/>");
    // Bytes that are no UTF-8 do not hide a declaration after them.
    const QByteArray broken = QByteArray("\xE2<a e=\"encoding=\"windows-1251\" v=\"") + cp1251->fromUnicode(cyr) + "\"/>";
    QTest::newRow("invalid utf8 before the declaration") << broken << cp1251->toUnicode(broken);
    QTest::newRow("declaration cut off at the end")
        << QByteArray("<a e=\"encoding=\"windows-1251") << QStringLiteral("<a e=\"encoding=\"windows-1251");
}

void tst_XmlTextReader::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(XmlTextReader::decode(bytes), expected);
}

void tst_XmlTextReader::repairQuotedRuns_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("nothing to repair") << "<a b=\"x\"/>" << "<a b=\"x\"/>";
    QTest::newRow("ampersand") << "<a b=\"R&D\"/>" << "<a b=\"R&amp;D\"/>";
    QTest::newRow("entity kept literal") << "<a b=\"&amp;\"/>" << "<a b=\"&amp;amp;\"/>";
    QTest::newRow("all four in order")
        << "<a b=\"<&>'\"/>" << "<a b=\"&lt;&amp;&gt;&apos;\"/>";
    QTest::newRow("several runs, lengths change")
        << "<a b=\"1<2\" c=\"ok\" d=\"3>2&\"/>"
        << "<a b=\"1&lt;2\" c=\"ok\" d=\"3&gt;2&amp;\"/>";
    QTest::newRow("empty run") << "<a b=\"\" c=\"&\"/>" << "<a b=\"\" c=\"&amp;\"/>";
    QTest::newRow("run across lines") << "<a b=\"x\n<y\"/>" << "<a b=\"x\n&lt;y\"/>";
    QTest::newRow("outside quotes untouched") << "<a>&'</a>" << "<a>&'</a>";
    QTest::newRow("unpaired quote untouched") << "<a b=\"x\" c=\"&" << "<a b=\"x\" c=\"&";
    // A quote outside a tag pairs with nothing.
    QTest::newRow("quote in comment")
        << "<!-- 5\" disk --><a b=\"R&D\"/>" << "<!-- 5\" disk --><a b=\"R&amp;D\"/>";
    QTest::newRow("quote in text") << "<a>5\"</a><b c=\"&\"/>" << "<a>5\"</a><b c=\"&amp;\"/>";
    QTest::newRow("instruction and CDATA untouched")
        << "<?pi \"&\"?><a><![CDATA[\"<&>\"]]></a>" << "<?pi \"&\"?><a><![CDATA[\"<&>\"]]></a>";
    QTest::newRow("bare > inside a value does not end the tag")
        << "<a b=\"3>2\" c=\"&\"/>" << "<a b=\"3&gt;2\" c=\"&amp;\"/>";
    QTest::newRow("single-quoted value passed whole")
        << "<a b='5\"' c=\"&\"/>" << "<a b='5\"' c=\"&amp;\"/>";
}

void tst_XmlTextReader::repairQuotedRuns()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(XmlTextReader::repairQuotedRuns(text), expected);
}

void tst_XmlTextReader::repairedValuesReadBackLiterally()
{
    const QString text = XmlTextReader::repairQuotedRuns(
        QStringLiteral("<a b=\"R&D <5> it's\" c=\"&amp;\"/>"));
    QDomDocument doc;
    QString message;
    QVERIFY2(XmlTextReader::parse(&doc, text, &message, nullptr, nullptr), qPrintable(message));
    QCOMPARE(doc.documentElement().attribute("b"), QStringLiteral("R&D <5> it's"));
    QCOMPARE(doc.documentElement().attribute("c"), QStringLiteral("&amp;"));
}

void tst_XmlTextReader::parseReportsPosition()
{
    QDomDocument doc;
    QString message;
    int line = -1;
    int column = -1;
    QVERIFY(!XmlTextReader::parse(&doc, QStringLiteral("<base>\n  <ir>\n</base>"),
                                  &message, &line, &column));
    QVERIFY(!message.isEmpty());
    QCOMPARE(line, 3);
    QVERIFY(column > 0);
}

void tst_XmlTextReader::parseAcceptsPlainDoctype()
{
    QDomDocument doc;
    QString message;
    QVERIFY2(XmlTextReader::parse(&doc, QStringLiteral("<!DOCTYPE base>\n<base version=\"1\"/>"),
                                  &message, nullptr, nullptr),
             qPrintable(message));
    QCOMPARE(doc.documentElement().attribute("version"), QStringLiteral("1"));
}

void tst_XmlTextReader::parseRefusesEntityBombs_data()
{
    QTest::addColumn<QString>("text");

    // Classic nested expansion.
    QString laughs = QStringLiteral("<?xml version=\"1.0\"?>\n<!DOCTYPE base [\n <!ENTITY l0 'lol'>\n");
    for (int i = 1; i <= 9; ++i) {
        laughs += QStringLiteral(" <!ENTITY l%1 '").arg(i);
        for (int k = 0; k < 10; ++k)
            laughs += QStringLiteral("&l%1;").arg(i - 1);
        laughs += QStringLiteral("'>\n");
    }
    laughs += QStringLiteral("]>\n<base version=\"&l9;\">&l9;</base>\n");
    QTest::newRow("billion laughs") << laughs;

    // Each entity stays below the parser's own size limit, but a quarter of a
    // million references to it would need gigabytes.
    QString wide = QStringLiteral("<!DOCTYPE base [<!ENTITY w '%1'>]>\n<base>")
                       .arg(QString(4000, QLatin1Char('x')));
    wide += QStringLiteral("&w;").repeated(250000);
    wide += QStringLiteral("</base>");
    QTest::newRow("many references") << wide;

    QTest::newRow("external entity")
        << QStringLiteral("<!DOCTYPE base [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><base>&x;</base>");
    QTest::newRow("parameter entity")
        << QStringLiteral("<!DOCTYPE base [<!ENTITY % p 'x'>]><base/>");
}

void tst_XmlTextReader::parseRefusesEntityBombs()
{
    QFETCH(QString, text);
    QDomDocument doc;
    QString message;
    int line = -1;
    int column = -1;
    QVERIFY(!XmlTextReader::parse(&doc, text, &message, &line, &column));
    QVERIFY(message.contains(QLatin1String("entity")));
    QVERIFY(line >= 1);
    QVERIFY(doc.documentElement().isNull());
}

void tst_XmlTextReader::parseRefusesBeforeParsing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");

    // Prologs the streaming reader rejects must not hide the declarations.
    const QString bomb = QStringLiteral("<!DOCTYPE base [\n<!ENTITY a 'aaaa'>\n]>\n<base>&a;</base>");
    QTest::newRow("XML 1.1 prolog") << "<?xml version=\"1.1\"?>\n" + bomb << "entity" << 3 << 1;
    QTest::newRow("unknown encoding name")
        << "<?xml version=\"1.0\" encoding=\"no-such\"?>\n" + bomb << "entity" << 3 << 1;
    QTest::newRow("parameter entity reference first")
        << QStringLiteral("<!DOCTYPE base [ %p;\n<!ENTITY a 'x'>]><base/>") << "entity" << 2 << 1;
    QTest::newRow("internal subset without entity")
        << QStringLiteral("<!DOCTYPE base [<!ELEMENT base ANY>]><base/>") << "entity" << 1 << 16;
    QTest::newRow("declaration after the root")
        << QStringLiteral("<base/>\n  <!ENTITY a 'x'>") << "entity" << 2 << 3;

    QString deep;
    for (int i = 0; i < 50000; ++i)
        deep += QStringLiteral("<a>\n");
    QTest::newRow("50,000 levels")
        << deep << "nested deeper than 256" << XmlTextReader::MaxDepth + 1 << 1;
    QTest::newRow("empty element one level too deep")
        << QStringLiteral("<a>").repeated(XmlTextReader::MaxDepth) + QStringLiteral("<b/>")
        << "nested deeper" << 1 << 3 * XmlTextReader::MaxDepth + 1;

    QTest::newRow("zero inside a value")
        << QStringLiteral("<base>\n <a b=\"1") + QChar(0) + QStringLiteral("2\"/></base>")
        << "zero byte" << 2 << 9;
}

void tst_XmlTextReader::parseRefusesBeforeParsing()
{
    QFETCH(QString, text);
    QFETCH(QString, reason);
    QFETCH(int, line);
    QFETCH(int, column);
    QDomDocument doc;
    QString message;
    int actualLine = -1;
    int actualColumn = -1;
    QVERIFY(!XmlTextReader::parse(&doc, text, &message, &actualLine, &actualColumn));
    QVERIFY2(message.contains(reason), qPrintable(message));
    QCOMPARE(actualLine, line);
    QCOMPARE(actualColumn, column);
    QVERIFY(doc.documentElement().isNull());
}

void tst_XmlTextReader::parseAcceptsNestingUpToTheLimit()
{
    // Siblings and closed elements do not add up.
    const QString levels = QStringLiteral("<a>").repeated(XmlTextReader::MaxDepth - 1)
                           + QStringLiteral("<b/><c></c><d/>")
                           + QStringLiteral("</a>").repeated(XmlTextReader::MaxDepth - 1);
    QDomDocument doc;
    QString message;
    QVERIFY2(XmlTextReader::parse(&doc, levels + QStringLiteral("<!-- <a><a> -->"), &message,
                                  nullptr, nullptr),
             qPrintable(message));
}

void tst_XmlTextReader::repairAndParseMatchesTheSteps_data()
{
    QTest::addColumn<QString>("text");

    const QString deep = QStringLiteral("<a>").repeated(XmlTextReader::MaxDepth) + QStringLiteral("<b/>");
    QTest::newRow("plain") << QStringLiteral("<base version=\"1\"><ir><tag a=\"x\"/></ir></base>");
    QTest::newRow("repaired") << QStringLiteral("<base v=\"a&b<c>'d\"><x y='&amp;'/></base>");
    QTest::newRow("too deep") << deep;
    // The repair moves the offence's column.
    QTest::newRow("too deep after a repair") << QStringLiteral("<r v=\"&&\">") + deep;
    QTest::newRow("subset") << QStringLiteral("<!DOCTYPE r [<!ELEMENT r ANY>]><r/>");
    // Escaped by the repair, so no longer a declaration.
    QTest::newRow("declaration in a value") << QStringLiteral("<r v=\"<!ENTITY\"/>");
    QTest::newRow("declaration in a comment") << QStringLiteral("<r v=\"&\"/><!-- <!ENTITY -->");
    QTest::newRow("zero after a repair") << QStringLiteral("<r v=\"<\">\n") + QChar(0) + QStringLiteral("</r>");
    QTest::newRow("parser error") << QStringLiteral("<r>\n <a></b></r>");
    QTest::newRow("empty") << QString();
}

void tst_XmlTextReader::repairAndParseMatchesTheSteps()
{
    QFETCH(QString, text);
    QDomDocument expectedDoc;
    QString expectedMessage;
    int expectedLine = -1;
    int expectedColumn = -1;
    const bool expected = XmlTextReader::parse(&expectedDoc, XmlTextReader::repairQuotedRuns(text),
                                               &expectedMessage, &expectedLine, &expectedColumn);
    QDomDocument doc;
    QString message;
    int line = -1;
    int column = -1;
    QCOMPARE(XmlTextReader::repairAndParse(&doc, text, &message, &line, &column), expected);
    QCOMPARE(message, expectedMessage);
    QCOMPARE(line, expectedLine);
    QCOMPARE(column, expectedColumn);
    QCOMPARE(doc.toString(), expectedDoc.toString());
}

QTEST_GUILESS_MAIN(tst_XmlTextReader)
#include "tst_xmltextreader.moc"
