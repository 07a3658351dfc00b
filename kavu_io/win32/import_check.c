/* Links against kavu_io's import library the ten functions the configurator
 * calls, so that the export check can read which names such a program
 * imports (the decorated names on 32-bit x86). Not meant to be run. */
#include "kavu_io.h"

int main(void)
{
    unsigned char buffer[KAVU_MAX_DATA];
    int size = 0;
    int value = 0;
    float number = 0;
    int tail = 0;
    int r = SetApiMode(1);
    r |= SetMaxRetriesGlobal(3);
    r |= OpenPort(0, 2, 0, 1, 0, 1);
    r |= KavuIO(1, 0, 1, "Dev", buffer, &size);
    r |= ReadIEEE32(1, 0, "T.sp", &number, &tail, -1);
    r |= WriteIEEE32(1, 0, "T.sp", number, -1);
    r |= ReadUInt(1, 0, "Addr", &value, -1);
    r |= WriteByte(1, 0, "Addr", value, -1);
    r |= WriteWord(1, 0, "Addr", value, -1);
    r |= ClosePort();
    return r != 0;
}
