// The Linux side of PortNames.h: device files under /dev, and udev's stable
// links in /dev/serial/by-id.

#include "PortNames.h"

namespace PortNames {

std::string deviceOf(const std::string &name)
{
    return !name.empty() && name.front() == '/' ? name : "/dev/" + name;
}

std::string defaultDevice(int index)
{
    return "/dev/ttyS" + std::to_string(index);
}

std::string stableLinkFolder()
{
    return "/dev/serial/by-id";
}

} // namespace PortNames
