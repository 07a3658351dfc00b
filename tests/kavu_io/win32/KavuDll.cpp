#include "KavuDll.h"

const std::vector<ExportedFunction>& exportedFunctions()
{
    static const std::vector<ExportedFunction> functions = {
        {"SetApiMode", 4, true}, {"SetMaxRetriesGlobal", 4, true}, {"GetMaxRetriesGlobal", 0, true},
        {"SetTimeout", 4, true}, {"GetTimeout", 0, true}, {"SetPortName", 8, true},
        {"OpenPort", 24, true}, {"SetupPort", 24, true}, {"SelectPort", 4, true},
        {"ClosePort", 0, true}, {"RS485FromThread", 0, true}, {"RS485ToThread", 4, true},
        {"SetDbgIndication", 4, true}, {"KavuIO", 24, true}, {"Listen", 24, true},
        {"WriteByte", 20, true}, {"WriteWord", 20, true}, {"ReadUInt", 20, true},
        {"ReadSInt", 20, true}, {"WriteFloat24", 20, true}, {"ReadFloat24", 20, true},
        {"WriteIEEE32", 20, true}, {"ReadIEEE32", 24, true}, {"WriteStoredDotS", 20, true},
        {"WriteStoredDotEx", 24, false}, {"ReadStoredDotS", 20, true}, {"ReadStoredDotU", 20, true},
        {"ReadStoredDotEx", 24, false}, {"ReadPkpBCD", 16, true}, {"ReadSI8BCD", 16, true},
        {"ReadDTMR", 24, true}, {"WriteCSET", 12, true}, {"ReadRTC", 12, true},
        {"GetBufferByte", 12, true}, {"GetBufferWord", 12, true}, {"GetBufferUInt", 12, true},
        {"GetBufferSInt", 12, true}, {"GetBufferFloat24", 12, true}, {"GetBufferIEEE32", 12, true},
        {"GetBufferStoredDotS", 12, true}, {"GetBufferStoredDotU", 12, true},
        {"GetBufferPkpBCD", 12, true}, {"GetBufferSI8BCD", 12, true}, {"GetBufferDTMR", 24, true},
        {"GetBufferRTC", 12, true}, {"GetDeviceLastErr", 0, true}, {"GetExtendedLastErr", 0, true},
        {"GetLastOpenSysErr", 0, true}, {"GetLastIoSysErr", 0, true},
        {"LastErrToStr", 4, true},
    };
    return functions;
}

KavuDll::KavuDll()
{
    module_ = LoadLibraryA("kavu_io.dll");
    if (!module_)
        return;
    resolve(SetApiMode, "SetApiMode", 4);
    resolve(SetMaxRetriesGlobal, "SetMaxRetriesGlobal", 4);
    resolve(GetMaxRetriesGlobal, "GetMaxRetriesGlobal", 0);
    resolve(SetTimeout, "SetTimeout", 4);
    resolve(GetTimeout, "GetTimeout", 0);
    resolve(SetPortName, "SetPortName", 8);
    resolve(OpenPort, "OpenPort", 24);
    resolve(SetupPort, "SetupPort", 24);
    resolve(SelectPort, "SelectPort", 4);
    resolve(ClosePort, "ClosePort", 0);
    resolve(KavuIO, "KavuIO", 24);
    resolve(WriteByte, "WriteByte", 20);
    resolve(WriteWord, "WriteWord", 20);
    resolve(ReadUInt, "ReadUInt", 20);
    resolve(WriteIEEE32, "WriteIEEE32", 20);
    resolve(ReadIEEE32, "ReadIEEE32", 24);
    resolve(GetDeviceLastErr, "GetDeviceLastErr", 0);
    resolve(GetLastOpenSysErr, "GetLastOpenSysErr", 0);
    resolve(LastErrToStr, "LastErrToStr", 4);
}

KavuDll::~KavuDll()
{
    unload();
}

void KavuDll::unload()
{
    if (module_)
        FreeLibrary(module_);
    module_ = nullptr;
}

void* KavuDll::address(const char* name) const
{
    // Through void*, as a data pointer: GetProcAddress's own type is a
    // function of no arguments that fits none of the exports.
    return module_ ? reinterpret_cast<void*>(GetProcAddress(module_, name)) : nullptr;
}

template <typename F>
void KavuDll::resolve(F& function, const char* name, int bytes)
{
    const ExportedFunction f{name, bytes, true};
    function = reinterpret_cast<F>(address(f.decorated().c_str()));
}

std::string KavuDll::resourceText(unsigned id) const
{
    if (!module_)
        return {};
    const wchar_t* text = nullptr;
    // With a zero buffer size LoadStringW hands out a pointer to the
    // resource itself and returns its length.
    const int length = LoadStringW(module_, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text)
        return {};
    const int bytes = WideCharToMultiByte(1251, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(1251, 0, text, length, out.data(), bytes, nullptr, nullptr);
    return out;
}
