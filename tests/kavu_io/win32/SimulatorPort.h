// The COM port the test run maps to the simulator's pseudo-terminal
// (a dosdevices link under Wine, a null-modem port on Windows), named by
// the environment: KAVU_TEST_COM=COM5, KAVU_TEST_ADDRESS=16 (the address
// the simulator answers at). Tests that need it are skipped without it.
#pragma once

#include <string>

class SimulatorPort {
public:
    SimulatorPort();

    bool available() const { return portNumber_ >= 0; }
    // "COM5" and its library port number (4).
    const std::string& name() const { return name_; }
    int portNumber() const { return portNumber_; }
    int deviceAddress() const { return address_; }

    // Line speed as the driver reports it now, opening the port directly
    // (-1 if it cannot be opened, e.g. because someone holds it).
    int currentBaud() const;
    // Sets the line speed directly, so a later check can tell whether a
    // close restored what it found.
    bool setBaud(int baud) const;

private:
    std::string name_;
    int portNumber_ = -1;
    int address_ = 16;
};
