// The Windows side of PortOpenError.h: GetLastError codes (winerror.h).
// Windows does not tell which program holds a port: a held port refuses with
// "access denied" (or a sharing violation), and the text says so.

#include "PortOpenError.h"

#include "WinText.h"

#include <windows.h>

namespace PortOpenError {

Kind classify(int systemError)
{
    switch (systemError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_UNIT:
    case ERROR_DEV_NOT_EXIST:
        return Kind::Missing;
    // A serial port another program has open refuses with access denied.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return Kind::Held;
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_HANDLE:
        return Kind::NotSerial;
    default:
        return Kind::Other;
    }
}

std::string errorText(int systemError)
{
    return WinText::errorText(static_cast<unsigned long>(systemError));
}

bool canNameHolders()
{
    return false;
}

std::vector<Holder> holdersOf(const std::string &, long long, const std::string &)
{
    return {};
}

int tryOpen(const std::string &device)
{
    // As the library: "COM10" and above open only through the device
    // namespace; read and write, not shared, existing device only.
    const std::string path = device.compare(0, 1, "\\") == 0 ? device : "\\\\.\\" + device;
    const HANDLE port = CreateFileW(WinText::wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        return int(GetLastError());
    DCB state;
    state.DCBlength = sizeof state;
    COMMTIMEOUTS timeouts;
    const bool serial = GetCommState(port, &state) && GetCommTimeouts(port, &timeouts);
    const DWORD error = serial ? 0 : GetLastError();
    CloseHandle(port);
    return serial ? 0 : int(error != 0 ? error : ERROR_INVALID_FUNCTION);
}

} // namespace PortOpenError
