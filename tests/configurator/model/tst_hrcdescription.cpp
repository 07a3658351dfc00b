// Walks the shipped device description: shape, names, value sets, limits and
// every name the program looks up.
#include "HrcDocument.h"
#include "HrcValueText.h"
#include "ValueCodec.h"

#include <QFile>
#include <QSet>
#include <QTime>
#include <QtTest>

namespace {

QList<QDomElement> parametersBelow(const QDomElement &root)
{
    QList<QDomElement> list;
    const QDomNodeList nodes = root.elementsByTagName(QStringLiteral("parameter"));
    for (int i = 0; i < nodes.size(); ++i)
        list << nodes.at(i).toElement();
    return list;
}

QStringList indexed(const QString &base, int first, int last, const QString &open = "[", const QString &close = "]")
{
    QStringList names;
    for (int i = first; i <= last; ++i)
        names << base + open + QString::number(i) + close;
    return names;
}

bool isLocal(const QDomElement &e) { return e.hasAttribute("localparam"); }

} // namespace

class TestHrcDescription : public QObject
{
    Q_OBJECT

private:
    HrcDocument doc;
    QList<QDomElement> params;

private slots:
    void initTestCase();
    void documentFrame();
    void setShapeAndCounts();
    void duplicatedSetNames();
    void namesFollowTheRule();
    void everyProgramNameResolves();
    void enumerationsHaveValidDefaults();
    void limitsParseAndBracketDefaults();
    void shippedValueSets_data();
    void shippedValueSets();
    void communicationSettings();
    void flagsWhereTheyBelong();
    void captionsAreRussian();
};

void TestHrcDescription::initTestCase()
{
    QString error;
    doc = HrcDocument::load(HrcDocument::resourcePath, &error);
    QVERIFY2(!doc.isNull(), qPrintable(error));
    params = parametersBelow(doc.allParams());
}

void TestHrcDescription::documentFrame()
{
    QFile file(HrcDocument::resourcePath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray raw = file.readAll();
    QVERIFY(raw.contains("<!DOCTYPE hrc417>"));
    QVERIFY(raw.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));

    const QDomElement root = doc.document().documentElement();
    QCOMPARE(root.tagName(), QString("hrc417"));
    QCOMPARE(root.attribute("version"), QString("1.0"));
    QCOMPARE(doc.document().doctype().name(), QString("hrc417"));
    const QDomElement all = doc.allParams();
    QVERIFY(!all.isNull());
    const QDomElement top = all.firstChildElement();
    QCOMPARE(top.attribute("namekavu"), QString("hrc417All"));
    QCOMPARE(top.firstChildElement("title").text(), QString("Все параметры"));
    QVERIFY(top.nextSiblingElement().isNull());

    // The scratch parameter of the test panel, after allparams.
    const QDomElement test = doc.testParam();
    QVERIFY(!test.isNull());
    QCOMPARE(all.nextSiblingElement().tagName(), QString("testParam"));
    QCOMPARE(test.attribute("namekavu"), QString("NAME"));
    QCOMPARE(test.attribute("type"), QString("byte"));
    QCOMPARE(test.attribute("defaultvalue"), QString("0"));
    QCOMPARE(test.attribute("minvalue"), QString("0"));
    QCOMPARE(test.attribute("maxvalue"), QString("255"));
    QCOMPARE(test.attribute("treeID"), QString("50000"));
    QVERIFY(test.hasAttribute("label") && test.attribute("label").isEmpty());
    QVERIFY(test.hasAttribute("subtype") && test.attribute("subtype").isEmpty());
    QCOMPARE(test.firstChildElement("X").attribute("type"), QString("float"));
    QCOMPARE(test.firstChildElement("Y").attribute("type"), QString("float"));

    // Run-time attributes are not shipped (except the test parameter's id).
    for (const QDomElement &e : params) {
        for (const char *attr : {"treeID", "ioValue", "ioLastErrCode", "undoValue", "parentID", "xID", "yID"})
            QVERIFY2(!e.hasAttribute(attr), qPrintable(e.attribute("namekavu") + " has " + attr));
        QVERIFY2(e.firstChildElement().isNull(), qPrintable(e.attribute("namekavu")));
    }
}

void TestHrcDescription::setShapeAndCounts()
{
    QCOMPARE(params.size(), 176);
    const QDomElement top = doc.allParams().firstChildElement();
    const QList<QPair<QString, int>> expected = {{"configuration", 60}, {"otopKontur1", 31}, {"otopKontur2", 30},
                                                 {"GeneralParam", 29}, {"paramters_interview", 26}};
    const QStringList titles = {"Конфигурация", "Контур 1", "Контур 2", "Общие", "Опрос оперативных параметров"};
    int i = 0;
    for (QDomElement set = top.firstChildElement("parameterset"); !set.isNull();
         set = set.nextSiblingElement("parameterset"), ++i) {
        QVERIFY(i < expected.size());
        QCOMPARE(set.attribute("namekavu"), expected.at(i).first);
        QCOMPARE(set.firstChildElement("title").text(), titles.at(i));
        QCOMPARE(parametersBelow(set).size(), expected.at(i).second);
    }
    QCOMPARE(i, expected.size());

    // Sub-sets of the configuration and the circuits' named members.
    auto parentSet = [this](const QString &name) {
        return doc.findParameter(name).parentNode().toElement().attribute("namekavu");
    };
    for (const QString &n : indexed("Thpd", 0, 5) + indexed("t.L", 0, 5) + indexed("O.Alr", 0, 5))
        QCOMPARE(doc.findParameter(parentSet(n)).parentNode().toElement().attribute("namekavu"), QString("VU"));
    QCOMPARE(parentSet("Thpd[3]"), QString("VU4"));
    QCOMPARE(doc.findElement(doc.findParameter("ANA_INPUT"), "in-t[7]").isNull(), false);
    for (const QString &n : QStringList{"Ind.i", "Ind.c", "Beep", "Rtc"})
        QCOMPARE(parentSet(n), QString("addParam"));
    for (const QString &n : QStringList{"Dev", "ver", "p.ver"})
        QCOMPARE(parentSet(n), QString("devNames"));
    const QDomElement circuit1 = doc.findParameter("otopKontur1");
    const QDomElement circuit2 = doc.findParameter("otopKontur2");
    for (const QString &n : indexed("Grtp", 0, 4) + indexed("Grtr", 0, 4) + QStringList{"Ugr", "Pv0.h", "sth"})
        QVERIFY2(!HrcDocument::findElement(circuit1, n).isNull(), qPrintable(n));
    for (const QString &n : indexed("Grtp", 5, 9) + indexed("Grtr", 5, 9) + QStringList{"kont", "T.sp[1]"})
        QVERIFY2(!HrcDocument::findElement(circuit2, n).isNull(), qPrintable(n));
    QVERIFY(HrcDocument::findElement(circuit2, "Pv0.h").isNull());
    QVERIFY(HrcDocument::findElement(circuit2, "Ugr").isNull());
    const QDomElement shift = doc.findParameter("shift_div_ana_input");
    QCOMPARE(parametersBelow(shift).size(), 8);
    for (const QString &n : indexed("corr", 0, 7)) {
        const QDomElement e = HrcDocument::findElement(shift, n);
        QCOMPARE(e.attribute("subtype"), QString("parpoint"));
        QCOMPARE(e.attribute("scaleFloat"), QString("100"));
    }
    for (const QDomElement &e : params) {
        if (!e.attribute("namekavu").startsWith("corr["))
            QVERIFY2(!e.hasAttribute("scaleFloat"), qPrintable(e.attribute("namekavu")));
    }
}

void TestHrcDescription::duplicatedSetNames()
{
    QHash<QString, int> count;
    const QDomNodeList sets = doc.allParams().elementsByTagName("parameterset");
    for (int i = 0; i < sets.size(); ++i) {
        const QDomElement set = sets.at(i).toElement();
        count[set.attribute("namekavu").toLower()]++;
        QVERIFY2(!set.firstChildElement("title").text().isEmpty(), qPrintable(set.attribute("namekavu")));
        QVERIFY(set.attribute("folded") == "yes" || set.attribute("folded") == "no");
    }
    QCOMPARE(count.value("vu"), 2);
    QCOMPARE(count.value("ust_gr"), 2);
    QCOMPARE(count.value("pumps_kontur2"), 2);
    for (auto it = count.cbegin(); it != count.cend(); ++it) {
        if (it.key() != "vu" && it.key() != "ust_gr" && it.key() != "pumps_kontur2")
            QVERIFY2(it.value() == 1, qPrintable(it.key()));
    }
    // A search by name finds the first set in document order.
    const QDomElement vu = doc.findParameter("vu");
    QCOMPARE(vu.parentNode().toElement().attribute("namekavu"), QString("configuration"));
}

void TestHrcDescription::namesFollowTheRule()
{
    QSet<QString> seen;
    for (const QDomElement &e : params) {
        const QString name = e.attribute("namekavu");
        QVERIFY2(!seen.contains(name.toLower()), qPrintable("duplicate " + name));
        seen.insert(name.toLower());
        // Program settings never go to the device; their names are the program's.
        if (isLocal(e))
            continue;
        QVERIFY2(HrcValueText::isValidDeviceName(name), qPrintable(name));
        if (name.contains('[')) {
            const QRegularExpression form("^[^\\[\\]:]+\\[\\d+\\]$");
            QVERIFY2(form.match(name).hasMatch(), qPrintable(name));
        }
        if (name.contains(':')) {
            const QRegularExpression form("^[^\\[\\]:]+:\\d+$");
            QVERIFY2(form.match(name).hasMatch(), qPrintable(name));
        }
        // Set names and parameter names must not shadow each other.
        QCOMPARE(doc.findParameter(name), e);
    }
    const QStringList localNames = {"Port", "TimeOut", "logfile", "timescan"};
    QStringList locals;
    for (const QDomElement &e : params) {
        if (isLocal(e))
            locals << e.attribute("namekavu");
    }
    QCOMPARE(locals, localNames);
}

void TestHrcDescription::everyProgramNameResolves()
{
    // Every set and parameter name the program's windows and workers use.
    QStringList names = {"hrc417All", "configuration", "otopKontur1", "otopKontur2", "GeneralParam",
                         "paramters_interview", "VU", "ANA_INPUT", "addParam", "devNames", "commSettings",
                         "ConditionsEngine", "shift_div_ana_input", "ust_gr", "pumps_kontur2",
                         "inv.D", "Tin.F", "Cj-.c", "Ind.i", "Ind.c", "Beep", "Rtc", "Dev", "ver", "p.ver",
                         "bPS", "LEn", "PrtY", "Sbit", "A.Len", "Addr", "Port", "TimeOut",
                         "Ugr", "sth", "As.ho[0]", "T.sp[0]", "T.sp[1]", "Th.al[0]", "Pb[0]", "Ti[0]", "Td.ti[0]",
                         "Pv0.h", "Tp.h[0]", "Tfp[0]", "Tp.l[0]", "Db.f[0]", "kont", "stwh", "As.hw", "hws",
                         "D.o1", "D.o2", "Tm.dy", "Tm.ng", "Tm.rg", "S.w[0]", "S.w[1]",
                         "r.Cn", "r.oe.s", "Sp.hw", "Sp.h", "r.h", "r.hw", "logfile", "timescan",
                         "p.hot[0]", "d.ngt[0]"};
    names += indexed("Thpd", 0, 5) + indexed("t.L", 0, 5) + indexed("O.Alr", 0, 5);
    names += indexed("in-t", 0, 7) + indexed("In.fd", 0, 7) + indexed("In.fg", 0, 7);
    names += indexed("Node", 0, 3) + indexed("Grtp", 0, 9) + indexed("Grtr", 0, 9);
    names += indexed("Hy.b1", 0, 1) + indexed("Hy.b2", 0, 1) + indexed("k.obr", 0, 1);
    names += indexed("corr", 0, 7) + indexed("pump", 0, 3) + indexed("t.wm", 0, 2);
    names += indexed("r.cor", 0, 7, ":", "") + indexed("r.oe", 0, 5, ":", "");
    names += indexed("Rg.pw", 0, 1, ":", "") + indexed("s.pmp", 0, 1, ":", "");
    // Job texts of the main window and of the wizard's post actions.
    const QStringList jobs = {"configuration;otopKontur1;otopKontur2;GeneralParam", "Dev;ver;p.ver",
                              "Node[0];Node[2];kont", "Ugr;Node[0];Grtp[0];Grtp[1];Grtp[2];Grtp[3];Grtp[4]",
                              "k.obr[0];Hy.b1[0];Hy.b2[0];Node[1];Grtr[0];Grtr[1];Grtr[2];Grtr[3];Grtr[4]",
                              "Node[2];Grtp[5];Grtp[6];Grtp[7];Grtp[8];Grtp[9]",
                              "Node[3];Grtr[5];Grtr[6];Grtr[7];Grtr[8];Grtr[9];k.obr[1];Hy.b1[1];Hy.b2[1]",
                              "pump[0];pump[1];t.wm[0]", "pump[2];t.wm[1]", "hws;pump[3];t.wm[2]",
                              "in-t[0];in-t[1];in-t[2];in-t[3];in-t[4];in-t[5];in-t[6];in-t[7];Tm.dy;Tm.ng;"
                              "p.hot[0];d.ngt[0];S.w[0];p.hot[0];d.ngt[0];S.w[0]",
                              "Tm.dy;Tm.ng;p.hot[0];d.ngt[0];S.w[0]", "p.hot[0];d.ngt[0];S.w[0]"};
    for (const QString &job : jobs)
        names += job.split(';');
    for (const QString &name : names)
        QVERIFY2(!doc.findParameter(name).isNull(), qPrintable(name));
    // Names the wizard and the test panel rely on for their type.
    QCOMPARE(doc.findParameter("Ind.i").attribute("type"), QString("word"));
    QCOMPARE(doc.findParameter("Rtc").attribute("type"), QString("datetime"));
    QCOMPARE(doc.findParameter("Rtc").attribute("defaultvalue"), QString("00:00:00"));
    QCOMPARE(doc.findParameter("Tin.F").attribute("defaultvalue"), QString("10"));
    for (const QString &n : QStringList{"Dev", "ver", "p.ver", "r.h", "r.hw", "logfile"})
        QCOMPARE(doc.findParameter(n).attribute("type"), QString("text"));
    for (const QString &n : QStringList{"Tm.dy", "Tm.ng", "Tm.rg"})
        QCOMPARE(doc.findParameter(n).attribute("type"), QString("time"));
    for (const QString &n : QStringList{"inv.D", "r.Cn", "r.oe.s"})
        QCOMPARE(doc.findParameter(n).attribute("subtype"), QString("bitmask"));
    for (const QString &n : indexed("Grtp", 0, 9) + indexed("Grtr", 0, 9)) {
        const QDomElement e = doc.findParameter(n);
        QCOMPARE(e.attribute("subtype"), QString("parpoint"));
        QCOMPARE(e.attribute("minvalue"), QString("-3200,0;-3200,0"));
        QCOMPARE(e.attribute("maxvalue"), QString("3200,0;3200,0"));
    }
    for (const QString &n : indexed("Hy.b1", 0, 1)) {
        QCOMPARE(doc.findParameter(n).attribute("minvalue"), QString("0,0"));
        QCOMPARE(doc.findParameter(n).attribute("maxvalue"), QString("100,0"));
    }
    for (const QString &n : indexed("Hy.b2", 0, 1)) {
        QCOMPARE(doc.findParameter(n).attribute("minvalue"), QString("-100,0"));
        QCOMPARE(doc.findParameter(n).attribute("maxvalue"), QString("0,0"));
    }
}

void TestHrcDescription::enumerationsHaveValidDefaults()
{
    for (const QDomElement &e : params) {
        if (e.attribute("type") != "enum" || e.attribute("namekavu") == "Port")
            continue;
        const QString name = e.attribute("namekavu");
        const QStringList entries = ValueCodec::entries(e.attribute("valueset"));
        QVERIFY2(entries.size() >= 2, qPrintable(name));
        QVERIFY2(!entries.contains(QString()), qPrintable(name));
        const QString def = e.attribute("defaultvalue");
        if (e.attribute("subtype") == "enumindex") {
            bool ok = false;
            const int index = def.toInt(&ok);
            QVERIFY2(ok && index >= 0 && index < entries.size(), qPrintable(name + "=" + def));
        } else {
            QVERIFY2(e.attribute("subtype").isEmpty(), qPrintable(name));
            QVERIFY2(entries.contains(def), qPrintable(name + "=" + def));
        }
    }
}

void TestHrcDescription::limitsParseAndBracketDefaults()
{
    for (const QDomElement &e : params) {
        const QString name = e.attribute("namekavu");
        const QString type = e.attribute("type");
        const QString lo = e.attribute("minvalue");
        const QString hi = e.attribute("maxvalue");
        const QString def = e.attribute("defaultvalue");
        const bool editable = HrcDocument::isEditable(e);
        QVERIFY2(QStringList({"byte", "short", "word", "float", "enum", "text", "time", "datetime"}).contains(type),
                 qPrintable(name));
        if (e.attribute("subtype") == "parpoint") {
            const int scale = e.attribute("scaleFloat", "1").toInt();
            for (int half = 0; half < 2; ++half) {
                double l = 0, h = 0, d = 0;
                const bool okLo = ValueCodec::parseFloatText(ValueCodec::part(lo, half), l);
                const bool okHi = ValueCodec::parseFloatText(ValueCodec::part(hi, half), h);
                const bool okDef = ValueCodec::parseFloatText(ValueCodec::part(def, half), d);
                QVERIFY2(okLo && okHi && okDef, qPrintable(name));
                QVERIFY2(l <= d && d <= h, qPrintable(name));
                // Each half travels as sign and 15-bit magnitude of value x scale x 10.
                QVERIFY2(qMax(qAbs(l), qAbs(h)) * scale * 10 < 32768, qPrintable(name));
            }
        } else if (type == "float") {
            if (!editable)
                continue;
            double l = 0, h = 0, d = 0;
            const bool okLo = ValueCodec::parseFloatText(lo, l);
            const bool okHi = ValueCodec::parseFloatText(hi, h);
            const bool okDef = ValueCodec::parseFloatText(def, d);
            QVERIFY2(okLo && okHi && okDef, qPrintable(name));
            QVERIFY2(!lo.contains('.') && !hi.contains('.') && !def.contains('.'), qPrintable(name));
            QVERIFY2(l < h && l <= d && d <= h, qPrintable(name));
        } else if (type == "byte" || type == "short" || type == "word") {
            if (!editable)
                continue;
            bool okLo, okHi, okDef;
            const uint l = lo.toUInt(&okLo);
            const uint h = hi.toUInt(&okHi);
            const uint d = def.toUInt(&okDef);
            QVERIFY2(okLo && okHi && okDef, qPrintable(name));
            QVERIFY2(l < h && l <= d && d <= h, qPrintable(name));
            const uint typeMax = type == "byte" ? 255u : type == "short" ? 32767u : 65535u;
            // "timescan" is the program's own setting in milliseconds, never sent.
            QVERIFY2(h <= typeMax || name == "timescan", qPrintable(name));
        } else if (type == "time") {
            QCOMPARE(lo, QString("00:00:00"));
            QCOMPARE(hi, QString("23:59:59"));
            QVERIFY2(QTime::fromString(def, Qt::TextDate).isValid(), qPrintable(name));
        }
    }
}

void TestHrcDescription::shippedValueSets_data()
{
    QTest::addColumn<QString>("names");
    QTest::addColumn<QString>("valueSet");
    QTest::addColumn<QString>("defaults");
    QTest::addColumn<bool>("byIndex");
    const QString sensors =
        "нет датчика;ТСМ 50М W1.426;ТСМ 50М W1.428;ТСП 50П W1.385;ТСП 50П W1.391;ТСМ 100М W1.426;"
        "ТСМ 100М W1.428;ТСП 100П W1.385;ТСП 100П W1.391;СП 500П W1.385;ТСП 500П W1.391;ТСП 1000П W1.385;"
        "ТСП 1000П W1.391;ТСН 1000Н;ТХК (L);ТХА (К);токовый 4...20;токовый 0...20;токовый 0...5;"
        "напряжение 0...1;Рез.40..900 Ом;Рез.0,04..2 кОм";
    QTest::newRow("sensor kinds") << indexed("in-t", 0, 7).join(';') << sensors << "2;2;2;2;2;2;16;16" << true;
    QTest::newRow("days off") << "D.o1;D.o2" << "Нет;Понедельник;Вторник;Среда;Четверг;Пятница;Суббота;Воскресенье"
                              << "6;7" << true;
    QTest::newRow("on/off") << "Beep;k.obr[0];k.obr[1]" << "Выключить;Включить" << "1;1;0" << true;
    QTest::newRow("junction") << "Cj-.c" << "выключить;включить" << "1" << true;
    QTest::newRow("no/yes") << "sth;As.ho[0];stwh;As.hw;kont;hws" << "Нет;Да" << "0;0;0;0;0;0" << true;
    QTest::newRow("summer/winter") << "S.w[0];S.w[1]" << "нет;да" << "1;0" << true;
    QTest::newRow("graph type") << "Ugr" << "1;2" << "0" << true;
    QTest::newRow("heating points") << "Node[0];Node[2]" << "1;2;3;4;5" << "5;5" << false;
    QTest::newRow("return points") << "Node[1];Node[3]" << "2;3;4;5" << "5;5" << false;
    QTest::newRow("pumps 0-2") << "pump[0];pump[2]" << "0;1;2" << "2;2" << false;
    QTest::newRow("pumps 1-2") << "pump[1];pump[3]" << "1;2" << "2;2" << false;
    QTest::newRow("pump states") << "s.pmp:0;s.pmp:1" << "0;1;2" << "0;0" << true;
}

void TestHrcDescription::shippedValueSets()
{
    QFETCH(QString, names);
    QFETCH(QString, valueSet);
    QFETCH(QString, defaults);
    QFETCH(bool, byIndex);
    const QStringList nameList = names.split(';');
    const QStringList defaultList = defaults.split(';');
    for (int i = 0; i < nameList.size(); ++i) {
        const QDomElement e = doc.findParameter(nameList.at(i));
        QVERIFY2(!e.isNull(), qPrintable(nameList.at(i)));
        QCOMPARE(e.attribute("type"), QString("enum"));
        QCOMPARE(e.attribute("valueset"), valueSet);
        QCOMPARE(e.attribute("defaultvalue"), defaultList.at(i));
        QCOMPARE(e.attribute("subtype"), byIndex ? QString("enumindex") : QString());
    }
}

void TestHrcDescription::communicationSettings()
{
    struct Row { const char *name, *label, *type, *subtype, *valueSet, *lo, *hi, *def; };
    const Row rows[] = {
        {"bPS", "Скорость обмена", "enum", "enumindex", "115200;57600;38400;28800;19200;14400;9600;4800", "", "", "0"},
        {"LEn", "Длина слова данных", "enum", "enumindex", "7;8", "", "", "1"},
        {"PrtY", "Контроль четности", "enum", "enumindex", "отсутствует;четность;нечетность", "", "", "0"},
        {"Sbit", "Кол-во стоп-бит", "enum", "enumindex", "1;2", "", "", "0"},
        {"A.Len", "Длина адреса RS-485", "enum", "enumindex", "8;11", "", "", "0"},
        {"Addr", "Собственный адрес прибора", "short", "", "", "1", "2047", "16"},
        {"Port", "Порт компьютера", "enum", "", "", "", "", "COM1"},
        {"TimeOut", "Таймаут ответа от прибора", "short", "", "", "0", "600", "5"},
    };
    const QDomElement set = doc.findParameter("commSettings");
    QCOMPARE(set.attribute("localparam"), QString("yes"));
    QList<QDomElement> members = parametersBelow(set);
    QCOMPARE(members.size(), int(sizeof rows / sizeof rows[0]));
    for (int i = 0; i < members.size(); ++i) {
        const QDomElement &e = members.at(i);
        const Row &r = rows[i];
        QCOMPARE(e.attribute("namekavu"), QString(r.name));
        QCOMPARE(e.attribute("label"), QString(r.label));
        QCOMPARE(e.attribute("type"), QString(r.type));
        QCOMPARE(e.attribute("subtype"), QString(r.subtype));
        QCOMPARE(e.attribute("valueset"), QString(r.valueSet));
        QCOMPARE(e.attribute("minvalue"), QString(r.lo));
        QCOMPARE(e.attribute("maxvalue"), QString(r.hi));
        QCOMPARE(e.attribute("defaultvalue"), QString(r.def));
        QCOMPARE(e.attribute("commparam"), QString("yes"));
    }
    QVERIFY(doc.findParameter("Port").hasAttribute("valueset"));
    QCOMPARE(doc.findParameter("Port").attribute("value"), QString("COM1"));
    QCOMPARE(doc.findParameter("Port").attribute("localparam"), QString("yes"));
    QCOMPARE(doc.findParameter("TimeOut").attribute("localparam"), QString("yes"));
    QVERIFY(!doc.findParameter("TimeOut").hasAttribute("value"));

    const QDomElement logfile = doc.findParameter("logfile");
    QCOMPARE(logfile.attribute("label"), QString("Имя файла журнала"));
    QCOMPARE(logfile.attribute("defaultvalue"), QString("c:\\hrc417_log.csv"));
    QVERIFY(!logfile.hasAttribute("minvalue") && !logfile.hasAttribute("maxvalue"));
    const QDomElement timescan = doc.findParameter("timescan");
    QCOMPARE(timescan.attribute("label"), QString("Интервал опроса (мс)"));
    QCOMPARE(timescan.attribute("type"), QString("word"));
    QCOMPARE(timescan.attribute("defaultvalue"), QString("1000"));
    QCOMPARE(timescan.attribute("minvalue"), QString("200"));
    QCOMPARE(timescan.attribute("maxvalue"), QString("600000"));
    for (const QDomElement &e : {logfile, timescan}) {
        QCOMPARE(e.attribute("localparam"), QString("yes"));
        QVERIFY(!e.hasAttribute("ivparam"));
        QCOMPARE(e.parentNode().toElement().attribute("namekavu"), QString("paramters_interview"));
    }
}

void TestHrcDescription::flagsWhereTheyBelong()
{
    const QDomElement interview = doc.findParameter("paramters_interview");
    const QDomNodeList sets = interview.elementsByTagName("parameterset");
    QCOMPARE(interview.attribute("ivparam"), QString("yes"));
    for (int i = 0; i < sets.size(); ++i)
        QCOMPARE(sets.at(i).toElement().attribute("ivparam"), QString("yes"));
    int polled = 0;
    for (const QDomElement &e : params) {
        const QString name = e.attribute("namekavu");
        const bool inInterview = HrcDocument::findElement(interview, name) == e;
        if (e.hasAttribute("ivparam")) {
            ++polled;
            QVERIFY2(inInterview, qPrintable(name));
            QCOMPARE(e.attribute("ivparam"), QString("yes"));
        } else {
            QVERIFY2(!inInterview || isLocal(e), qPrintable(name));
        }
        if (e.hasAttribute("readonly")) {
            QVERIFY2(QStringList({"Dev", "ver", "p.ver"}).contains(name), qPrintable(name));
        }
        if (e.hasAttribute("commparam"))
            QCOMPARE(e.parentNode().toElement().attribute("namekavu"), QString("commSettings"));
        if (e.attribute("subtype") == "bitmask")
            QCOMPARE(e.attribute("type"), QString("byte"));
    }
    QCOMPARE(polled, 24);
    QCOMPARE(doc.findParameter("Dev").attribute("readonly"), QString("1"));
    QCOMPARE(doc.findParameter("ver").attribute("readonly"), QString("2"));
    QCOMPARE(doc.findParameter("p.ver").attribute("readonly"), QString("3"));
    // The second "VU" is the polled outputs.
    const QDomElement polledOutputs = HrcDocument::findElement(interview, "VU");
    QVERIFY(!HrcDocument::findElement(polledOutputs, "r.oe:5").isNull());
}

void TestHrcDescription::captionsAreRussian()
{
    const QRegularExpression cyrillic("[А-Яа-яЁё]");
    for (const QDomElement &e : params)
        QVERIFY2(cyrillic.match(e.attribute("label")).hasMatch(), qPrintable(e.attribute("namekavu")));
    const QDomNodeList titles = doc.allParams().elementsByTagName("title");
    for (int i = 0; i < titles.size(); ++i)
        QVERIFY2(cyrillic.match(titles.at(i).toElement().text()).hasMatch(),
                 qPrintable(titles.at(i).toElement().text()));
}

QTEST_GUILESS_MAIN(TestHrcDescription)
#include "tst_hrcdescription.moc"
