#include "ErrorText.h"
#include "NetworkPort.h"

#include "CommSettings.h"
#include "ResultCode.h"
#include "kavu_io.h"

#include <QCoreApplication>

namespace {

struct CodeText
{
    int code;
    const char *text;
};

const CodeText kTexts[] = {
    {KAVU_E_ARGUMENT, QT_TRANSLATE_NOOP("ErrorText", "Аргумент функции неверен")},
    {KAVU_E_NO_PORT, QT_TRANSLATE_NOOP("ErrorText", "Попытка использовать неинициализированный ресурс")},
    {KAVU_E_NO_MEMORY, QT_TRANSLATE_NOOP("ErrorText", "Ошибка резервирования памяти внутри библиотеки")},
    {KAVU_E_BUSY, QT_TRANSLATE_NOOP("ErrorText", "COM-порт уже используется другим потоком")},
    {KAVU_E_OPEN, QT_TRANSLATE_NOOP("ErrorText", "Ошибка при открытии COM-порта")},
    {KAVU_E_NOT_SUPPORTED, QT_TRANSLATE_NOOP("ErrorText", "функция не поддерживается")},
    {KAVU_E_BUFFER_SHORT, QT_TRANSLATE_NOOP("ErrorText", "Размер буфера меньше необходимого")},
    {KAVU_E_EXCHANGE, QT_TRANSLATE_NOOP("ErrorText", "Общая ошибка обмена")},
    {KAVU_E_REPLY_FORMAT, QT_TRANSLATE_NOOP("ErrorText", "Неверный размер принятого кадра или неверный размер поля данных")},
    {KAVU_E_TIMEOUT, QT_TRANSLATE_NOOP("ErrorText", "Прибор не ответил на запрос")},
    {KAVU_E_CRC, QT_TRANSLATE_NOOP("ErrorText", "Неверная контрольная сумма в принятом от прибора кадре")},
    {KAVU_E_DEVICE_ERROR, QT_TRANSLATE_NOOP("ErrorText", "Не найден параметр")},
    {KAVU_E_EXCEPTION, QT_TRANSLATE_NOOP("ErrorText", "Прибор вернул признак исключительной ситуации")},
    {KAVU_E_BAD_REPLY, QT_TRANSLATE_NOOP("ErrorText",
                             "Принят неполный кадр, кадр содержит недопустимые символы либо ошибочные данные")},
    {codeBadName, QT_TRANSLATE_NOOP("ErrorText", "В приборе не найдено имя KAVU")},
    {codeBadIndex, QT_TRANSLATE_NOOP("ErrorText", "В приборе не найден индекс параметра KAVU")},
    {codeLibraryEnded, QT_TRANSLATE_NOOP("ErrorText", "Непридвиденное завершение работы коммуникационной библиотеки")},
    {codeNothingToWrite, QT_TRANSLATE_NOOP("ErrorText", "Нет данных для записи")},
    {codeOutOfRange, QT_TRANSLATE_NOOP("ErrorText", "Считанное из прибора значение выходит за границы диапазона")},
    {codeSetDeadlinePassed, QT_TRANSLATE_NOOP("ErrorText", "Обмен не выполнен: истекло время обмена набора параметров (TimeOut)")},
    {codeJobCancelled, QT_TRANSLATE_NOOP("ErrorText", "Обмен не выполнен: операция прервана пользователем")},
    {codeNotVerified, QT_TRANSLATE_NOOP("ErrorText", "Записано, но не проверено чтением")},
};

} // namespace

QString portLostText(const QString &port)
{
    if (NetworkPort::isAddress(port))
        return NetworkPort::lostText(port);
    return QCoreApplication::translate("ErrorText", "Связь потеряна: адаптер отключён (%1)").arg(port);
}

QString errorText(int code)
{
    // The published settings only where the text names the port.
    return errorText(code, code == codePortLost ? CommSettings::published().port : QString());
}

QString errorText(int code, const QString &port)
{
    if (code == codePortLost)
        return portLostText(port);
    for (const CodeText &entry : kTexts) {
        if (entry.code == code)
            return QCoreApplication::translate("ErrorText", entry.text);
    }
    return QCoreApplication::translate("ErrorText", "Ошибка обмена (%1)").arg(code);
}

QString outcomeText(int code, const QString &deviceHolds, const QString &written)
{
    if (code == codeReadBackDiffers)
        return QCoreApplication::translate("ErrorText", "Прибор хранит %1 вместо %2").arg(deviceHolds, written);
    return errorText(code);
}
