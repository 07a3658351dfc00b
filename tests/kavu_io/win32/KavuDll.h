// kavu_io.dll loaded at run time the way other Windows programs use it:
// LoadLibrary, then every function looked up by its decorated name
// _Name@N. Each KavuDll loads the DLL afresh and unloads it when destroyed
// (nothing in the test program imports it), so the DLL's load and unload
// notifications run once per object.
#pragma once

#include "kavu_io.h"

#include <string>
#include <vector>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

struct ExportedFunction {
    const char* name;
    int argumentBytes;
    bool plainNameToo;
    std::string decorated() const { return "_" + std::string(name) + "@" + std::to_string(argumentBytes); }
};

// Every exported function with the bytes of its arguments.
const std::vector<ExportedFunction>& exportedFunctions();

class KavuDll {
public:
    KavuDll();
    ~KavuDll();
    KavuDll(const KavuDll&) = delete;
    KavuDll& operator=(const KavuDll&) = delete;

    bool loaded() const { return module_ != nullptr; }
    HMODULE module() const { return module_; }
    // Unloads now (the destructor then does nothing).
    void unload();
    // The address exported under `name`, or null.
    void* address(const char* name) const;

    // The string resource `id` of the DLL converted to Windows-1251
    // (independent of the system's code page); empty when there is none.
    std::string resourceText(unsigned id) const;

    decltype(&::SetApiMode) SetApiMode = nullptr;
    decltype(&::SetMaxRetriesGlobal) SetMaxRetriesGlobal = nullptr;
    decltype(&::GetMaxRetriesGlobal) GetMaxRetriesGlobal = nullptr;
    decltype(&::SetTimeout) SetTimeout = nullptr;
    decltype(&::GetTimeout) GetTimeout = nullptr;
    decltype(&::SetPortName) SetPortName = nullptr;
    decltype(&::OpenPort) OpenPort = nullptr;
    decltype(&::SetupPort) SetupPort = nullptr;
    decltype(&::SelectPort) SelectPort = nullptr;
    decltype(&::ClosePort) ClosePort = nullptr;
    decltype(&::KavuIO) KavuIO = nullptr;
    decltype(&::WriteByte) WriteByte = nullptr;
    decltype(&::WriteWord) WriteWord = nullptr;
    decltype(&::ReadUInt) ReadUInt = nullptr;
    decltype(&::WriteIEEE32) WriteIEEE32 = nullptr;
    decltype(&::ReadIEEE32) ReadIEEE32 = nullptr;
    decltype(&::GetDeviceLastErr) GetDeviceLastErr = nullptr;
    decltype(&::GetLastOpenSysErr) GetLastOpenSysErr = nullptr;
    decltype(&::LastErrToStr) LastErrToStr = nullptr;

private:
    template <typename F>
    void resolve(F& function, const char* name, int bytes);

    HMODULE module_ = nullptr;
};
