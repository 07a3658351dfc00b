#pragma once

// How the system names serial ports: the part of the port list and of the
// "Port" value that differs between Linux (PortNames_linux.cpp: device files,
// stable by-id links) and Windows (PortNames_win.cpp: COMn, no stable links;
// friendly names and USB serial numbers come from QSerialPortInfo on both).
// Plain C++, no Qt. Any thread.

#include <string>

namespace PortNames {

// The device the protocol library opens for a port as the serial-port list
// names it ("ttyUSB0", "COM12"), or for a path typed in (kept as it is).
std::string deviceOf(const std::string &name);

// The library's own device of port number index (0 = COM1 on Windows).
std::string defaultDevice(int index);

// The folder of the stable links that name USB adapters by maker and serial
// number; empty where the system has none.
std::string stableLinkFolder();

} // namespace PortNames
