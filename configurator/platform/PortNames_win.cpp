// The Windows side of PortNames.h: ports are COMn (COM10 and above only
// through the device namespace, "\\.\COM10"); there are no stable links, the
// port list's friendly names and serial numbers tell adapters apart.

#include "PortNames.h"

namespace PortNames {

std::string deviceOf(const std::string &name)
{
    std::string device = name;
    for (char &c : device) {
        if (c == '/')
            c = '\\';
    }
    return device;
}

std::string defaultDevice(int index)
{
    return "\\\\.\\COM" + std::to_string(index + 1);
}

std::string stableLinkFolder()
{
    return {};
}

} // namespace PortNames
