// Document lookups, the working value and the display texts, on the shipped
// description and on small documents made for a single rule.
#include "HrcDocument.h"
#include "HrcValueText.h"
#include "ValueCodec.h"

#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

namespace {

HrcDocument shipped()
{
    return HrcDocument::load(HrcDocument::resourcePath);
}

HrcDocument fromText(const QString &body)
{
    QString error;
    HrcDocument doc = HrcDocument::parse(
        QString("<!DOCTYPE hrc417><hrc417 version=\"1.0\"><allparams>%1</allparams></hrc417>").arg(body).toUtf8(),
        &error);
    if (doc.isNull())
        qWarning() << error;
    return doc;
}

// Translates a fixed set of texts in any context, as a language file would.
class FixedTranslator : public QTranslator
{
public:
    QHash<QString, QString> table;
    bool isEmpty() const override { return false; }
    QString translate(const char *, const char *sourceText, const char *, int) const override
    {
        return table.value(QString::fromUtf8(sourceText));
    }
};

} // namespace

class TestHrcDocument : public QObject
{
    Q_OBJECT

private slots:
    void loadReportsParseErrors();
    void readKeepingTheDocumentGivesValuesBack();
    void findElementRules();
    void findByTreeId();
    void paramValueReadsAndWrites();
    void paramValueOnPoints();
    void displayTextByType_data();
    void displayTextByType();
    void displayTextOfPointHalves();
    void displayTextIsTranslated();
    void pointChildrenAreReused();
    void listsForTheTestPanelAndTheLog();
    void valueTextHelpers();
    void nameRule_data();
    void nameRule();
};

// A read that keeps the document: the engineer's differing values come back,
// as changes to write where the device was read, with their problem mark
// where it was not; what only the device sets stays as read.
void TestHrcDocument::readKeepingTheDocumentGivesValuesBack()
{
    HrcDocument doc = shipped();
    QDomElement point = doc.findParameter("Grtp[0]");
    HrcDocument::preparePointChildren(point);
    QMap<QString, QString> before{{"Tin.F", "12"},     {"t.L[0]", "30"},      {"Grtp[0]", "-20,0;85,0"},
                                  {"t.L[1]", "5"},     {"Rtc", "01.01.2026 10:00:00"}, {"r.cor:0", "1,5"},
                                  {"t.L[2]", ""},      {"t.L[3]", "007"}};
    // What the read left: the device's values and result codes (the value
    // of a parameter read is the device's only once a tree has copied it).
    auto read = [&](const char *name, const QString &value, int code) {
        QDomElement e = doc.findParameter(name);
        QVERIFY2(!e.isNull(), name);
        e.setAttribute("ioValue", value);
        if (code != codeSuccess || QByteArray(name) != "Tin.F")
            e.setAttribute("value", value);
        setResultCode(e, code);
    };
    read("Tin.F", "10", codeSuccess);
    read("t.L[0]", "0", -102);
    read("Grtp[0]", "-25,0;90,0", codeSuccess);
    read("t.L[1]", "5", codeSuccess);                   // the same: nothing to give back
    read("Rtc", "09.12.2026 07:00:00", codeSuccess);    // only the device sets it
    read("r.cor:0", "2,0", codeSuccess);                // polled
    read("t.L[2]", "4", codeSuccess);                   // no value before
    read("t.L[3]", "7", codeSuccess);                   // the same number

    const QVector<HrcDocument::KeptValue> kept = doc.keepValuesAfterRead(before);
    QStringList names;
    for (const HrcDocument::KeptValue &k : kept)
        names << k.name + (k.wasRead ? "" : " (not read)");
    QCOMPARE(names, QStringList({"Grtp[0]", "Tin.F", "t.L[0] (not read)"}));

    QCOMPARE(doc.findParameter("Tin.F").attribute("value"), QString("12"));
    QCOMPARE(doc.findParameter("Tin.F").attribute("undoValue"), QString("10"));
    QCOMPARE(doc.findParameter("t.L[0]").attribute("value"), QString("30"));
    QVERIFY(!doc.findParameter("t.L[0]").hasAttribute("undoValue"));
    QCOMPARE(resultCodeOf(doc.findParameter("t.L[0]")), int(-102));
    QCOMPARE(point.attribute("value"), QString("-20,0;85,0"));
    QCOMPARE(point.attribute("undoValue"), QString("-25,0;90,0"));
    QCOMPARE(HrcDocument::pointX(point).attribute("value"), QString("-20,0"));
    QCOMPARE(HrcDocument::pointY(point).attribute("value"), QString("85,0"));
    QCOMPARE(doc.findParameter("Rtc").attribute("value"), QString("09.12.2026 07:00:00"));
    QCOMPARE(doc.findParameter("r.cor:0").attribute("value"), QString("2,0"));
    QCOMPARE(doc.findParameter("t.L[2]").attribute("value"), QString("4"));
    QCOMPARE(doc.findParameter("t.L[3]").attribute("value"), QString("7"));
}

void TestHrcDocument::loadReportsParseErrors()
{
    QString error;
    QVERIFY(HrcDocument::parse("<hrc417><allparams></hrc417>", &error).isNull());
    QVERIFY2(error.startsWith("Ошибка разбора в строке 1, символ "), qPrintable(error));
    QVERIFY(error.contains(":\n"));

    QVERIFY(HrcDocument::load("/nonexistent/hrc417.xml", &error).isNull());
    QVERIFY(!error.isEmpty());
    QVERIFY(HrcDocument::parse("", &error).isNull());

    QTemporaryDir dir;
    QFile file(dir.filePath("broken.xml"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<hrc417>\n<allparams>\n<parameter namekavu=\"a\" x=>\n");
    file.close();
    QVERIFY(HrcDocument::load(file.fileName(), &error).isNull());
    QVERIFY2(error.startsWith("Ошибка разбора в строке 3, символ "), qPrintable(error));

    QVERIFY(!shipped().isNull());
}

void TestHrcDocument::findElementRules()
{
    HrcDocument doc = shipped();
    // Ignores case, finds sets as well, the first in document order, the start itself first.
    QCOMPARE(doc.findParameter("tin.f").attribute("namekavu"), QString("Tin.F"));
    QCOMPARE(doc.findParameter("VU").parentNode().toElement().attribute("namekavu"), QString("configuration"));
    QCOMPARE(doc.findParameter("vu"), doc.findParameter("VU"));
    QCOMPARE(doc.findParameter("Ust_Gr").parentNode().toElement().attribute("namekavu"), QString("otopKontur1"));
    const QDomElement circuit2 = doc.findParameter("otopKontur2");
    QCOMPARE(HrcDocument::findElement(circuit2, "OTOPKONTUR2"), circuit2);
    QCOMPARE(HrcDocument::findElement(circuit2, "ust_gr").parentNode().toElement(), circuit2);
    const QDomElement interview = doc.findParameter("paramters_interview");
    QCOMPARE(HrcDocument::findElement(interview, "vu").parentNode().toElement(), interview);
    // Does not leave the start's branch, and misses give null.
    QVERIFY(HrcDocument::findElement(circuit2, "Ugr").isNull());
    QVERIFY(doc.findParameter("nosuch").isNull());
    QVERIFY(doc.findParameter("").isNull());
    QVERIFY(HrcDocument::findElement(QDomElement(), "Ugr").isNull());
    // The test parameter lies outside allparams.
    QVERIFY(doc.findParameter("NAME").isNull());
    QCOMPARE(doc.testParam().attribute("treeID"), QString("50000"));
    // An empty document answers nothing and does not crash.
    HrcDocument empty;
    QVERIFY(empty.isNull());
    QVERIFY(empty.findParameter("Ugr").isNull());
    QCOMPARE(empty.paramValue("Ugr", "1"), QString("e_r_r"));
}

void TestHrcDocument::findByTreeId()
{
    HrcDocument doc = shipped();
    QDomElement ugr = doc.findParameter("Ugr");
    ugr.setAttribute("treeID", 77u);
    QCOMPARE(doc.findByTreeId(77), ugr);
    QVERIFY(doc.findByTreeId(78).isNull());
    QCOMPARE(doc.findByTreeId(HrcDocument::testParamTreeId), doc.testParam());
}

void TestHrcDocument::paramValueReadsAndWrites()
{
    HrcDocument doc = shipped();
    QCOMPARE(doc.paramValue("TimeOut"), QString());
    QCOMPARE(doc.paramValue("Port"), QString("COM1"));
    QDomElement timeout = doc.findParameter("TimeOut");
    timeout.setAttribute("value", timeout.attribute("defaultvalue"));
    QCOMPARE(doc.paramValue("TimeOut"), QString("5"));

    QCOMPARE(doc.paramValue("timeout", "7"), QString("7"));
    QCOMPARE(timeout.attribute("value"), QString("7"));
    // A copy of the handle sees the same nodes.
    HrcDocument copy(doc.document());
    QCOMPARE(copy.paramValue("TimeOut"), QString("7"));
    // An empty new value only reads.
    QCOMPARE(doc.paramValue("TimeOut", ""), QString("7"));

    // Unknown names change nothing.
    const QString before = doc.document().toString();
    QCOMPARE(doc.paramValue("Nothing", "5"), QString("e_r_r"));
    QCOMPARE(doc.paramValue("Nothing"), QString("e_r_r"));
    QCOMPARE(doc.document().toString(), before);
}

void TestHrcDocument::paramValueOnPoints()
{
    HrcDocument doc = shipped();
    QDomElement point = doc.findParameter("Grtp[0]");
    point.setAttribute("treeID", 5u);
    HrcDocument::preparePointChildren(point);
    const QDomElement x = HrcDocument::pointX(point);
    const QDomElement y = HrcDocument::pointY(point);
    QCOMPARE(x.attribute("parentID"), QString("5"));
    QCOMPARE(x.attribute("minvalue"), QString("-3200,0"));
    QCOMPARE(y.attribute("maxvalue"), QString("3200,0"));
    QCOMPARE(x.attribute("namekavu"), QString("Grtp[0]"));
    QCOMPARE(x.attribute("type"), QString("float"));
    QCOMPARE(x.attribute("value"), QString("Нет данных"));

    QCOMPARE(doc.paramValue("Grtp[0]", "-20,0;85,0"), QString("-20,0;85,0"));
    QCOMPARE(x.attribute("value"), QString("-20,0"));
    QCOMPARE(y.attribute("value"), QString("85,0"));
    // Without ";" only the parameter changes.
    QCOMPARE(doc.paramValue("Grtp[0]", "12"), QString("12"));
    QCOMPARE(x.attribute("value"), QString("-20,0"));
    QCOMPARE(y.attribute("value"), QString("85,0"));
    // A point without children yet takes the value alone.
    QCOMPARE(doc.paramValue("Grtp[1]", "1,0;2,0"), QString("1,0;2,0"));
    QVERIFY(HrcDocument::pointX(doc.findParameter("Grtp[1]")).isNull());
}

void TestHrcDocument::displayTextByType_data()
{
    QTest::addColumn<QString>("element");
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<QString>("expected");

    const QString five = "type=\"enum\" subtype=\"enumindex\" valueset=\"a;b;c;d;e\" defaultvalue=\"2\"";
    QTest::newRow("index in range") << five + " value=\"4\"" << "" << "e";
    QTest::newRow("index past the end uses default") << five + " value=\"5\"" << "" << "c";
    QTest::newRow("index not a number reads 0") << five + " value=\"x\"" << "" << "a";
    QTest::newRow("negative index reads 0") << five + " value=\"-1\"" << "" << "a";
    QTest::newRow("bad index and bad default") << "type=\"enum\" subtype=\"enumindex\" valueset=\"a;b\" "
                                                  "defaultvalue=\"9\" value=\"7\"" << "" << "";
    QTest::newRow("enum min is first entry") << five << "minvalue" << "a";
    QTest::newRow("enum max is last entry") << five << "maxvalue" << "e";
    QTest::newRow("enum default attribute") << five << "defaultvalue" << "c";
    QTest::newRow("enum text") << "type=\"enum\" valueset=\"1;2;3\" value=\"2\"" << "" << "2";
    QTest::newRow("enum empty") << five << "" << "Нет данных";
    QTest::newRow("port entry list empty") << "type=\"enum\" valueset=\"\" value=\"COM3\"" << "minvalue" << "";
    QTest::newRow("bitmask 5") << "type=\"byte\" subtype=\"bitmask\" value=\"5\"" << "" << "10100000";
    QTest::newRow("bitmask 129") << "type=\"byte\" subtype=\"bitmask\" value=\"129\"" << "" << "10000001";
    QTest::newRow("bitmask empty") << "type=\"byte\" subtype=\"bitmask\"" << "" << "Нет данных";
    QTest::newRow("bitmask max") << "type=\"byte\" subtype=\"bitmask\" maxvalue=\"255\"" << "maxvalue" << "11111111";
    QTest::newRow("bitmask absent limit") << "type=\"byte\" subtype=\"bitmask\"" << "minvalue" << "00000000";
    QTest::newRow("float as stored") << "type=\"float\" value=\"-5,0\"" << "" << "-5,0";
    QTest::newRow("word as stored") << "type=\"word\" value=\"1000\"" << "value" << "1000";
    QTest::newRow("time as stored") << "type=\"time\" value=\"06:30:00\"" << "" << "06:30:00";
    QTest::newRow("datetime as stored") << "type=\"datetime\" value=\"2024/01/02/03:04:05\"" << ""
                                        << "2024/01/02/03:04:05";
    QTest::newRow("text empty") << "type=\"text\"" << "" << "Нет данных";
    QTest::newRow("absent limit is empty") << "type=\"float\"" << "maxvalue" << "";
    QTest::newRow("empty default shows no data") << "type=\"float\"" << "defaultvalue" << "Нет данных";
    QTest::newRow("point pair on the parameter") << "type=\"float\" subtype=\"parpoint\" value=\"-25,0;90,0\""
                                                 << "" << "-25,0;90,0";
}

void TestHrcDocument::displayTextByType()
{
    QFETCH(QString, element);
    QFETCH(QString, attribute);
    QFETCH(QString, expected);
    HrcDocument doc = fromText("<parameter namekavu=\"p\" " + element + "/>");
    QVERIFY(!doc.isNull());
    QCOMPARE(doc.displayText(doc.findParameter("p"), attribute), expected);
}

void TestHrcDocument::displayTextOfPointHalves()
{
    HrcDocument doc = shipped();
    QDomElement point = doc.findParameter("Grtr[3]");
    HrcDocument::preparePointChildren(point);
    const QDomElement x = HrcDocument::pointX(point);
    const QDomElement y = HrcDocument::pointY(point);
    // The halves always show the parent's value.
    QCOMPARE(doc.displayText(x), QString());
    QCOMPARE(doc.displayText(y), QString());
    doc.paramValue("Grtr[3]", "-25,0;90,0");
    QCOMPARE(doc.displayText(point), QString("-25,0;90,0"));
    QCOMPARE(doc.displayText(x), QString("-25,0"));
    QCOMPARE(doc.displayText(y), QString("90,0"));
    point.setAttribute("value", "7,5");
    QCOMPARE(doc.displayText(x), QString("7,5"));
    QCOMPARE(doc.displayText(y), QString());
    // Their own limits are their own.
    QCOMPARE(doc.displayText(x, "minvalue"), QString("-3200,0"));
}

void TestHrcDocument::displayTextIsTranslated()
{
    FixedTranslator translator;
    translator.table.insert("Нет данных", "No data");
    // Entries by index come from the translation of the whole list; the first
    // and last entries (the limits) are translated one by one.
    translator.table.insert("Выключить;Включить", "Off;On");
    translator.table.insert("Выключить", "Off");
    translator.table.insert("Нет", "No");
    QCoreApplication::installTranslator(&translator);
    HrcDocument doc = shipped();
    QDomElement beep = doc.findParameter("Beep");
    QCOMPARE(doc.displayText(beep), QString("No data"));
    beep.setAttribute("value", "1");
    QCOMPARE(doc.displayText(beep), QString("On"));
    QCOMPARE(doc.displayText(beep, "minvalue"), QString("Off"));
    // An index into a translated list whose entries are not all translated.
    QDomElement days = doc.findParameter("D.o1");
    days.setAttribute("value", "0");
    QCOMPARE(doc.displayText(days), QString("Нет"));
    QCOMPARE(HrcDocument::translated("Нет"), QString("No"));
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(doc.displayText(beep), QString("Включить"));
}

void TestHrcDocument::pointChildrenAreReused()
{
    HrcDocument doc = shipped();
    QDomElement point = doc.findParameter("corr[2]");
    for (uint id = 1; id <= 3; ++id) {
        point.setAttribute("treeID", id);
        HrcDocument::preparePointChildren(point);
    }
    QCOMPARE(point.childNodes().size(), 2);
    QCOMPARE(point.firstChildElement().tagName(), QString("X"));
    QCOMPARE(point.firstChildElement().nextSiblingElement().tagName(), QString("Y"));
    QCOMPARE(HrcDocument::pointX(point).attribute("parentID"), QString("3"));
    QCOMPARE(HrcDocument::pointX(point).attribute("minvalue"), QString("-10,00"));
    QCOMPARE(HrcDocument::pointY(point).attribute("minvalue"), QString("0,50"));
    QCOMPARE(HrcDocument::pointY(point).attribute("maxvalue"), QString("1,50"));
    doc.paramValue("corr[2]", "1,00;1,10");
    HrcDocument::preparePointChildren(point);
    QCOMPARE(HrcDocument::pointY(point).attribute("value"), QString("1,10"));
}

void TestHrcDocument::listsForTheTestPanelAndTheLog()
{
    HrcDocument doc = shipped();
    const QStringList bases = doc.baseNames();
    QCOMPARE(bases.count("Thpd"), 1);
    QCOMPARE(bases.indexOf("inv.D"), 0);
    QVERIFY(bases.contains("r.cor:0") && bases.contains("r.cor:7"));
    for (const QString &local : QStringList{"Port", "TimeOut", "logfile", "timescan"})
        QVERIFY(!bases.contains(local));
    QVERIFY(!bases.contains("Grtp[0]"));
    QCOMPARE(bases.size(), QSet<QString>(bases.begin(), bases.end()).size());

    QCOMPARE(doc.types(), QStringList({"byte", "enum", "word", "float", "datetime", "text", "short", "time"}));

    const QStringList header = doc.logHeader().split(';');
    QCOMPARE(header.first(), QString("Время"));
    QCOMPARE(header.size(), 1 + 24);
    QCOMPARE(header.at(1), QString("Температура на входе 1, °С"));
    QCOMPARE(header.last(), doc.findParameter("s.pmp:1").attribute("label"));
}

void TestHrcDocument::valueTextHelpers()
{
    QCOMPARE(ValueCodec::bitmaskText(0), QString("00000000"));
    QCOMPARE(ValueCodec::bitmaskText(1), QString("10000000"));
    QCOMPARE(ValueCodec::bitmaskText(128), QString("00000001"));
    QCOMPARE(ValueCodec::bitmaskText(256 + 3), QString("11000000"));
    QCOMPARE(ValueCodec::part("-25,0;90,0", 0), QString("-25,0"));
    QCOMPARE(ValueCodec::part("-25,0;90,0", 1), QString("90,0"));
    QCOMPARE(ValueCodec::part("-25,0", 1), QString());
    QCOMPARE(ValueCodec::entries("a;;b"), QStringList({"a", "", "b"}));
    QCOMPARE(ValueCodec::floatText(0.1), QString("0,1"));
    QCOMPARE(ValueCodec::floatText(-25), QString("-25"));
    QCOMPARE(ValueCodec::floatText(1234567.0), QString("1,23457e+06"));
    double number = 0;
    QVERIFY(ValueCodec::parseFloatText("-5,5", number));
    QCOMPARE(number, -5.5);
    QVERIFY(ValueCodec::parseFloatText("2.25", number));
    QCOMPARE(number, 2.25);
    QVERIFY(!ValueCodec::parseFloatText("abc", number));
    QCOMPARE(HrcValueText::baseName("Thpd[2]"), QString("Thpd"));
    QCOMPARE(HrcValueText::baseName("r.cor:3"), QString("r.cor:3"));
    QCOMPARE(HrcValueText::deviceName("r.cor:3"), QString("r.cor"));
    QCOMPARE(HrcValueText::deviceName("Grtp[4]"), QString("Grtp"));
}

void TestHrcDocument::nameRule_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    QTest::newRow("plain") << "Addr" << true;
    QTest::newRow("dotted") << "Tin.F" << true;
    QTest::newRow("four dots") << "a.b.c.d." << true;
    QTest::newRow("index") << "Thpd[0]" << true;
    QTest::newRow("channel") << "r.cor:7" << true;
    QTest::newRow("five letters") << "Thpdx" << false;
    QTest::newRow("two dots in a row") << "a..b" << false;
    QTest::newRow("blank") << "a b" << false;
    QTest::newRow("tab") << "a\tb" << false;
    QTest::newRow("five dots") << ".a.b.c.d." << false;
    QTest::newRow("six letters") << "ab.cd.ef" << false;
    QTest::newRow("eight characters") << "ab.c.d.." << false;
    QTest::newRow("nine characters") << "a.b.c.d.e" << false;
    QTest::newRow("empty base") << "" << true;
    QTest::newRow("long before index") << "Thpdx[0]" << false;
}

void TestHrcDocument::nameRule()
{
    QFETCH(QString, name);
    QFETCH(bool, valid);
    QCOMPARE(HrcValueText::isValidDeviceName(name), valid);
}

QTEST_GUILESS_MAIN(TestHrcDocument)
#include "tst_hrcdocument.moc"
