// The message of every result code.
#include "ErrorText.h"

#include <QTranslator>
#include <QtTest>

class TestErrorText : public QObject
{
    Q_OBJECT

private slots:
    void knownCodes_data();
    void knownCodes();
    void otherCodesShowTheNumber_data();
    void otherCodesShowTheNumber();
    void textsAreTranslated();
};

void TestErrorText::knownCodes_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("-1") << -1 << "Аргумент функции неверен";
    QTest::newRow("-2") << -2 << "Попытка использовать неинициализированный ресурс";
    QTest::newRow("-3") << -3 << "Ошибка резервирования памяти внутри библиотеки";
    QTest::newRow("-4") << -4 << "COM-порт уже используется другим потоком";
    QTest::newRow("-5") << -5 << "Ошибка при открытии COM-порта";
    QTest::newRow("-6") << -6 << "функция не поддерживается";
    QTest::newRow("-7") << -7 << "Размер буфера меньше необходимого";
    QTest::newRow("-100") << -100 << "Общая ошибка обмена";
    QTest::newRow("-101") << -101 << "Неверный размер принятого кадра или неверный размер поля данных";
    QTest::newRow("-102") << -102 << "Прибор не ответил на запрос";
    QTest::newRow("-103") << -103 << "Неверная контрольная сумма в принятом от прибора кадре";
    QTest::newRow("-104") << -104 << "Не найден параметр";
    QTest::newRow("-105") << -105 << "Прибор вернул признак исключительной ситуации";
    QTest::newRow("-106") << -106 << "Принят неполный кадр, кадр содержит недопустимые символы либо ошибочные данные";
    QTest::newRow("-905") << -905 << "В приборе не найдено имя KAVU";
    QTest::newRow("-906") << -906 << "В приборе не найден индекс параметра KAVU";
    QTest::newRow("-910") << -910 << "Непридвиденное завершение работы коммуникационной библиотеки";
    QTest::newRow("-915") << -915 << "Нет данных для записи";
    QTest::newRow("-950") << -950 << "Считанное из прибора значение выходит за границы диапазона";
    QTest::newRow("-1001") << -1001 << "Обмен не выполнен: истекло время обмена набора параметров (TimeOut)";
    QTest::newRow("-1002") << -1002 << "Обмен не выполнен: операция прервана пользователем";
}

void TestErrorText::knownCodes()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(errorText(code), text);
}

void TestErrorText::otherCodesShowTheNumber_data()
{
    QTest::addColumn<int>("code");
    for (int code : {0, -8, -9, -901, -1000, -107, 1, 2147483647, int(-2147483647 - 1)})
        QTest::newRow(qPrintable(QString::number(code))) << code;
}

void TestErrorText::otherCodesShowTheNumber()
{
    QFETCH(int, code);
    QCOMPARE(errorText(code), QString("Ошибка обмена (%1)").arg(code));
}

namespace {
class FixedTranslator : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *, const char *source, const char *, int) const override
    {
        const QString text = QString::fromUtf8(source);
        if (text == "Прибор не ответил на запрос")
            return "The device did not answer";
        if (text == "Ошибка обмена (%1)")
            return "Exchange error (%1)";
        return QString();
    }
};
} // namespace

void TestErrorText::textsAreTranslated()
{
    FixedTranslator translator;
    QCoreApplication::installTranslator(&translator);
    QCOMPARE(errorText(-102), QString("The device did not answer"));
    QCOMPARE(errorText(-9), QString("Exchange error (-9)"));
    QCOMPARE(errorText(-104), QString("Не найден параметр"));
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(errorText(-102), QString("Прибор не ответил на запрос"));
}

QTEST_GUILESS_MAIN(TestErrorText)
#include "tst_errortext.moc"
