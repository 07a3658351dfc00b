// Value conversions of the transfers, port names and log file names.
#include "CommSettings.h"
#include "KavuComm.h"
#include "KavuMon.h"
#include "SerialPortName.h"
#include "ValueCodec.h"

#include <QDir>
#include <QtTest>

#include <iconv.h>

using namespace ValueCodec;

class TestKavuValueCodec : public QObject
{
    Q_OBJECT

private slots:
    void points_data();
    void points();
    void pointsThatDoNotFit();
    void negativeZeroHalfDecodesAsZero();
    void floatsAndIntegers();
    void timeOfDay();
    void dateTime();
    void rawBytes();
    void typedNumbersAndSameTexts();
    void deviceTextIsWindows1251Reversed();
    void portNames_data();
    void portNames();
    void logFileNames();
    void portSettingsFromTheDocumentsTexts();
};

namespace {
// The connection's fields as readPortSettings leaves them.
struct SettingsProbe : KavuComm
{
    using KavuComm::dataBits;
    using KavuComm::deviceAddress;
    using KavuComm::addressMode;
    using KavuComm::parity;
    using KavuComm::portDevice;
    using KavuComm::portIndex;
    using KavuComm::speedIndex;
    using KavuComm::stopBits;
};
} // namespace

void TestKavuValueCodec::points_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("scale");
    QTest::addColumn<quint32>("word");
    QTest::addColumn<QString>("decoded");
    QTest::newRow("sign and magnitude") << "-25,0;90,0" << 1 << quint32(0x038480FA) << "-25;90";
    QTest::newRow("decimal point accepted") << "-25.0;90.0" << 1 << quint32(0x038480FA) << "-25;90";
    QTest::newRow("scale 100") << "0,25;-0,5" << 100 << quint32((0x8000u + 500u) << 16 | 250u) << "0,25;-0,5";
    QTest::newRow("binary rounding does not lose a step") << "-2,3;2,3" << 1 << quint32(23u << 16 | (0x8000u + 23u))
                                                          << "-2,3;2,3";
    QTest::newRow("missing half is zero") << "7,5" << 1 << quint32(75) << "7,5;0";
    QTest::newRow("finer than a step goes to the nearest") << "1,26;-1,24" << 1
                                                           << quint32((0x8000u + 12u) << 16 | 13u) << "1,3;-1,2";
    QTest::newRow("a step at scale 100") << "0,00;1,15" << 100 << quint32(1150u << 16) << "0;1,15";
}

void TestKavuValueCodec::points()
{
    QFETCH(QString, text);
    QFETCH(int, scale);
    QFETCH(quint32, word);
    QFETCH(QString, decoded);
    quint32 w = 0;
    QVERIFY(encodePoint(text, scale, &w));
    QCOMPARE(QString::number(w, 16), QString::number(word, 16));
    QCOMPARE(decodePoint(w, scale), decoded);
}

void TestKavuValueCodec::pointsThatDoNotFit()
{
    quint32 w = 0;
    QVERIFY(encodePoint("3276,7;-3276,7", 1, &w));
    QVERIFY(!encodePoint("3276,8;0", 1, &w));   // 32768 needs 16 bits
    QVERIFY(!encodePoint("0;-4000", 1, &w));
    QVERIFY(!encodePoint("0,5;40", 100, &w));   // 40 * 100 * 10
    QVERIFY(!encodePoint("abc;1", 1, &w));
    QVERIFY(!encodePoint("1;nan", 1, &w));
    QCOMPARE(pointScale(""), 1);
    QCOMPARE(pointScale("100"), 100);
    QCOMPARE(pointScale("0"), 1);
}

void TestKavuValueCodec::negativeZeroHalfDecodesAsZero()
{
    QCOMPARE(decodePoint(0x80008000u, 1), QString("0;0"));
    QCOMPARE(decodePoint(0x7FFFFFFFu, 1), QString("-3276,7;3276,7"));
}

void TestKavuValueCodec::floatsAndIntegers()
{
    QCOMPARE(floatText(21.5f), QString("21,5"));
    QCOMPARE(floatText(0.1f), QString("0,1"));
    QCOMPARE(floatText(1234567.0f), QString("1,23457e+06"));
    float f = 0;
    QVERIFY(parseFloat("-5,25", &f));
    QCOMPARE(f, -5.25f);
    QVERIFY(parseFloat("0.10", &f));
    QVERIFY(!parseFloat("12a", &f));
    QVERIFY(!parseFloat("", &f));
    QVERIFY(!parseFloat("inf", &f));
    QVERIFY(!parseFloat("1e39", &f));

    quint32 v = 0;
    QVERIFY(parseUnsigned("255", 255, &v));
    QCOMPARE(v, 255u);
    QVERIFY(!parseUnsigned("256", 255, &v));
    QVERIFY(!parseUnsigned("-1", 255, &v));
    QVERIFY(!parseUnsigned("1,5", 255, &v));
    QVERIFY(!parseUnsigned("", 0xFFFF, &v));
    QVERIFY(parseUnsigned(" 65535 ", 0xFFFF, &v));
}

void TestKavuValueCodec::timeOfDay()
{
    QCOMPARE(decodeTime(0x07080900u), QString("07:08:09"));
    QCOMPARE(decodeTime(0x17003B00u), QString("23:00:59"));
    unsigned char b[4] = {};
    QVERIFY(encodeTime("07:08:09", b));
    QCOMPARE(int(b[0]), 7);
    QCOMPARE(int(b[1]), 8);
    QCOMPARE(int(b[2]), 9);
    QCOMPARE(int(b[3]), 0x31);
    QVERIFY(encodeTime("7:5:0", b));
    QVERIFY(!encodeTime("07:08", b));
    QVERIFY(!encodeTime("07:08:09:10", b));
    QVERIFY(!encodeTime("24:00:00", b));
    QVERIFY(!encodeTime("12:60:00", b));
    QVERIFY(!encodeTime("aa:bb:cc", b));
    // The same texts for the time editor: the device's form both ways.
    QCOMPARE(parseTime(" 7:5:0 "), QTime(7, 5, 0));
    QVERIFY(!parseTime("24:00:00").isValid());
    QCOMPARE(timeText(parseTime("7:05:00")), QString("07:05:00"));
}

void TestKavuValueCodec::dateTime()
{
    unsigned char b[7] = {};
    QVERIFY(encodeDateTime("2011/10/05/06:09:46", b));
    const unsigned char expected[7] = {11, 9, 4, 6, 9, 46, 0x61};
    QCOMPARE(QByteArray(reinterpret_cast<char *>(b), 7), QByteArray(reinterpret_cast<const char *>(expected), 7));
    // The text read back is the form the write accepts: a round trip.
    QCOMPARE(decodeDateTime(b, 7), QString("2011/10/05/06:09:46"));
    QVERIFY(encodeDateTime(decodeDateTime(b, 7), b));
    const unsigned char before2000[6] = {0xF6, 0, 0, 0, 0, 0}; // -10
    QCOMPARE(decodeDateTime(before2000, 6), QString("1990/01/01/00:00:00"));
    QVERIFY(!encodeDateTime("00:00:00", b)); // the shipped default is no date
    QVERIFY(!encodeDateTime("2024/13/01/00:00:00", b));
    QVERIFY(!encodeDateTime("2023/02/29/00:00:00", b));
    QVERIFY(!encodeDateTime("2200/01/01/00:00:00", b));
}

void TestKavuValueCodec::rawBytes()
{
    const unsigned char bytes[3] = {0x0A, 0xFF, 0x10};
    QCOMPARE(rawText(bytes, 3), QString("0AFF10"));
    QByteArray out;
    QVERIFY(encodeRaw("0aff10", 15, &out));
    QCOMPARE(out, QByteArray::fromHex("0aff10"));
    QVERIFY(!encodeRaw("0AF", 15, &out));   // odd digit count
    QVERIFY(!encodeRaw("0G", 15, &out));
    QVERIFY(!encodeRaw(QString(32, '0'), 15, &out));
}

void TestKavuValueCodec::typedNumbersAndSameTexts()
{
    // A typed point is the decimal comma; nothing else is changed or dropped.
    QCOMPARE(typedNumber(" 2.5 "), QString("2,5"));
    QCOMPARE(typedNumber("1x2.5"), QString("1x2,5"));
    ParameterSpec number;
    number.kind = ValueKind::Float;
    ParameterSpec point;
    point.kind = ValueKind::Point;
    ParameterSpec time;
    time.kind = ValueKind::Time;
    ParameterSpec entry;
    entry.kind = ValueKind::Enum;
    entry.valueSet = QStringList{"нет", "да"};
    QCOMPARE(typedValue(point, "-14.5; 76"), QString("-14,5;76"));
    QCOMPARE(typedValue(time, "7.05"), QString("7.05")); // not a number kind

    // Every window's comparison: values by the kind, other texts as texts.
    QVERIFY(sameText(number, "5", "5,0"));
    QVERIFY(sameText(number, "55", " 55,00"));
    QVERIFY(!sameText(number, "5", "5,5"));
    QVERIFY(sameText(point, "-25;90", "-25,0;90,0"));
    QVERIFY(!sameText(point, "-25;90", "-25;91"));
    QVERIFY(sameText(time, "7:05:00", "07:05:00"));
    QVERIFY(sameText(entry, "да", "да"));
    QVERIFY(!sameText(entry, "да", "нет"));
    QVERIFY(sameText(number, "", " "));
    QVERIFY(!sameText(number, "", "0"));
}

namespace {
// Windows-1251 by the C library's converter, an oracle independent of the
// codec's own table; empty when the C library cannot convert the text.
QByteArray iconvConvert(const char *to, const char *from, const QByteArray &in)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return {};
    QByteArray out(in.size() * 4 + 4, '\0');
    char *src = const_cast<char *>(in.constData());
    char *dst = out.data();
    size_t srcLeft = size_t(in.size()), dstLeft = size_t(out.size());
    const size_t done = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (done == size_t(-1))
        return {};
    out.truncate(out.size() - int(dstLeft));
    return out;
}
} // namespace

void TestKavuValueCodec::deviceTextIsWindows1251Reversed()
{
    // Every byte reads as the C library's Windows-1251 reads it, and every
    // character it gives is written back as the same byte.
    for (int byte = 1; byte < 256; ++byte) {
        const QByteArray one(1, char(byte));
        const QByteArray utf8 = iconvConvert("UTF-8", "WINDOWS-1251", one);
        if (utf8.isEmpty()) {
            QCOMPARE(byte, 0x98); // the one byte without a character
            QCOMPARE(fromDeviceText(one), QString(QChar(0xFFFD)));
            continue;
        }
        QCOMPARE(fromDeviceText(one), QString::fromUtf8(utf8));
        QCOMPARE(toDeviceText(QString::fromUtf8(utf8)), one);
    }
    // What Windows-1251 has no byte for is written as '?', one per character.
    QCOMPARE(toDeviceText(QStringLiteral("t=\u00E9\u4E2D") + QString::fromUcs4(U"\U0001F600")), QByteArray("t=???"));

    // The device sends the text back to front; what lies beyond a zero byte
    // is not part of it.
    QByteArray text = iconvConvert("WINDOWS-1251", "UTF-8", QStringLiteral("HRC417  Регулятор").toUtf8());
    QCOMPARE(text.size(), 17);
    std::reverse(text.begin(), text.end());
    text.prepend(QByteArray("junk", 5));
    QCOMPARE(deviceText(reinterpret_cast<const unsigned char *>(text.constData()), text.size()),
             QStringLiteral("HRC417 Регулятор"));
    QCOMPARE(deviceText(nullptr, 0), QString());
}

void TestKavuValueCodec::portNames_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("device");
    QTest::newRow("COM3") << "COM3" << 2 << "";
    QTest::newRow("COM1") << "COM1" << 0 << "";
    QTest::newRow("COM without number") << "COMx" << -1 << "";
    QTest::newRow("empty") << "" << -1 << "";
#ifndef Q_OS_WIN
    QTest::newRow("list name") << "ttyUSB0" << SerialPortName::boundPort << "/dev/ttyUSB0";
    QTest::newRow("by-id path") << "/dev/serial/by-id/usb-FTDI-if00-port0" << SerialPortName::boundPort
                                << "/dev/serial/by-id/usb-FTDI-if00-port0";
    QTest::newRow("pseudo-terminal") << "/dev/pts/7" << SerialPortName::boundPort << "/dev/pts/7";
#endif
}

void TestKavuValueCodec::portNames()
{
    QFETCH(QString, value);
    QFETCH(int, port);
    QFETCH(QString, device);
    const SerialPortName resolved = SerialPortName::resolve(value);
    QCOMPARE(resolved.portIndex, port);
    QCOMPARE(QString::fromLocal8Bit(resolved.device), device);
}

void TestKavuValueCodec::logFileNames()
{
#ifndef Q_OS_WIN
    QCOMPARE(KavuMon::resolveLogFileName("c:\\hrc417_log.csv"), QDir::home().filePath("hrc417_log.csv"));
    QCOMPARE(KavuMon::resolveLogFileName("D:/logs/poll.csv"), QDir::home().filePath("poll.csv"));
#endif
    QCOMPARE(KavuMon::resolveLogFileName("/tmp/poll.csv"), QString("/tmp/poll.csv"));
    QCOMPARE(KavuMon::effectiveInterval(150), 500u);
    QCOMPARE(KavuMon::effectiveInterval(200), 200u);
    QCOMPARE(KavuMon::effectiveInterval(600000), 600000u);
}

void TestKavuValueCodec::portSettingsFromTheDocumentsTexts()
{
    CommSettings s;
    s.parity = "0";
    s.dataBits = "1";
    s.port = "COM3";
    s.speed = "6";
    s.stopBits = "0";
    s.address = "16";
    s.addressMode = "0";
    CommSettings::publish(s);
    SettingsProbe probe;
    QCOMPARE(probe.portIndex, 2);
    QCOMPARE(probe.speedIndex, 2); // 9600 bit/s
    QCOMPARE(probe.parity, 0);
    QCOMPARE(probe.dataBits, 1);
    QCOMPARE(probe.stopBits, 0);   // Sbit 0: one stop bit
    QCOMPARE(probe.deviceAddress, 16);
    QCOMPARE(probe.addressMode, 0);
    QVERIFY(probe.portDevice.isEmpty());

    QVERIFY(s.set("Sbit", "1"));
    QVERIFY(s.set("bPS", "0"));
    QVERIFY(s.set("Port", "ttyUSB1"));
    QVERIFY(s.set("A.Len", "1"));
    QVERIFY(!s.set("Tin.F", "1"));
    CommSettings::publish(s);
    probe.readPortSettings();
    QCOMPARE(probe.stopBits, 2);   // Sbit 1: two stop bits
    QCOMPARE(probe.speedIndex, 8); // 115200 bit/s
    QCOMPARE(probe.addressMode, 1);
#ifndef Q_OS_WIN
    QCOMPARE(probe.portIndex, SerialPortName::boundPort);
    QCOMPARE(probe.portDevice, QByteArray("/dev/ttyUSB1"));
#endif
}

QTEST_GUILESS_MAIN(TestKavuValueCodec)
#include "tst_kavuvaluecodec.moc"
