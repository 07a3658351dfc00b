#include "ErrorText.h"

#include "CommSettings.h"

#include <QCoreApplication>

namespace {

struct CodeText
{
    int code;
    const char *text;
};

const CodeText kTexts[] = {
    {-1, QT_TRANSLATE_NOOP("ErrorText", "Аргумент функции неверен")},
    {-2, QT_TRANSLATE_NOOP("ErrorText", "Попытка использовать неинициализированный ресурс")},
    {-3, QT_TRANSLATE_NOOP("ErrorText", "Ошибка резервирования памяти внутри библиотеки")},
    {-4, QT_TRANSLATE_NOOP("ErrorText", "COM-порт уже используется другим потоком")},
    {-5, QT_TRANSLATE_NOOP("ErrorText", "Ошибка при открытии COM-порта")},
    {-6, QT_TRANSLATE_NOOP("ErrorText", "функция не поддерживается")},
    {-7, QT_TRANSLATE_NOOP("ErrorText", "Размер буфера меньше необходимого")},
    {-100, QT_TRANSLATE_NOOP("ErrorText", "Общая ошибка обмена")},
    {-101, QT_TRANSLATE_NOOP("ErrorText", "Неверный размер принятого кадра или неверный размер поля данных")},
    {-102, QT_TRANSLATE_NOOP("ErrorText", "Прибор не ответил на запрос")},
    {-103, QT_TRANSLATE_NOOP("ErrorText", "Неверная контрольная сумма в принятом от прибора кадре")},
    {-104, QT_TRANSLATE_NOOP("ErrorText", "Не найден параметр")},
    {-105, QT_TRANSLATE_NOOP("ErrorText", "Прибор вернул признак исключительной ситуации")},
    {-106, QT_TRANSLATE_NOOP("ErrorText",
                             "Принят неполный кадр, кадр содержит недопустимые символы либо ошибочные данные")},
    {-905, QT_TRANSLATE_NOOP("ErrorText", "В приборе не найдено имя KAVU")},
    {-906, QT_TRANSLATE_NOOP("ErrorText", "В приборе не найден индекс параметра KAVU")},
    {-910, QT_TRANSLATE_NOOP("ErrorText", "Непридвиденное завершение работы коммуникационной библиотеки")},
    {-915, QT_TRANSLATE_NOOP("ErrorText", "Нет данных для записи")},
    {-950, QT_TRANSLATE_NOOP("ErrorText", "Считанное из прибора значение выходит за границы диапазона")},
    {-1001, QT_TRANSLATE_NOOP("ErrorText", "Обмен не выполнен: истекло время обмена набора параметров (TimeOut)")},
    {-1002, QT_TRANSLATE_NOOP("ErrorText", "Обмен не выполнен: операция прервана пользователем")},
    {-1004, QT_TRANSLATE_NOOP("ErrorText", "Записано, но не проверено чтением")},
};

} // namespace

QString portLostText(const QString &port)
{
    return QCoreApplication::translate("ErrorText", "Связь потеряна: адаптер отключён (%1)").arg(port);
}

QString errorText(int code)
{
    if (code == -907)
        return portLostText(CommSettings::published().port);
    for (const CodeText &entry : kTexts) {
        if (entry.code == code)
            return QCoreApplication::translate("ErrorText", entry.text);
    }
    return QCoreApplication::translate("ErrorText", "Ошибка обмена (%1)").arg(code);
}

QString outcomeText(int code, const QString &deviceHolds, const QString &written)
{
    if (code == -1003)
        return QCoreApplication::translate("ErrorText", "Прибор хранит %1 вместо %2").arg(deviceHolds, written);
    return errorText(code);
}
