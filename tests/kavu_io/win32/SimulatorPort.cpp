#include "SimulatorPort.h"

#include <cstdlib>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace {

HANDLE openDirect(const std::string& name)
{
    const std::string path = "\\\\.\\" + name;
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                       nullptr);
}

}  // namespace

SimulatorPort::SimulatorPort()
{
    const char* com = std::getenv("KAVU_TEST_COM");
    if (com && (com[0] == 'C' || com[0] == 'c') && (com[1] == 'O' || com[1] == 'o')
        && (com[2] == 'M' || com[2] == 'm')) {
        const int n = std::atoi(com + 3);
        if (n >= 1 && n <= 256) {
            name_ = com;
            portNumber_ = n - 1;
        }
    }
    if (const char* address = std::getenv("KAVU_TEST_ADDRESS"))
        address_ = std::atoi(address);
}

int SimulatorPort::currentBaud() const
{
    HANDLE h = openDirect(name_);
    if (h == INVALID_HANDLE_VALUE)
        return -1;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    const int baud = GetCommState(h, &dcb) ? static_cast<int>(dcb.BaudRate) : -1;
    CloseHandle(h);
    return baud;
}

bool SimulatorPort::setBaud(int baud) const
{
    HANDLE h = openDirect(name_);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    bool ok = GetCommState(h, &dcb) != FALSE;
    dcb.BaudRate = static_cast<DWORD>(baud);
    ok = ok && SetCommState(h, &dcb);
    CloseHandle(h);
    return ok;
}
