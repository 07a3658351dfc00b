// GoogleTest fixture: an hrc417-sim process on a pseudo-terminal and the
// kavu_io library, in slot mode, as its client.
#pragma once

#include "SimProcess.h"
#include "kavu_io.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace simtest {

constexpr int kPort = 7;           // library port number bound to the pty
constexpr int kAddress = 16;       // factory address of the description
constexpr int kShort = 0, kLong = 1;
constexpr int kSpeed115200 = 8;

inline std::string fixturePath(const char* name)
{
    return std::string(HRC_SIM_TEST_DATA) + "/" + name;
}

class SimFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        SetApiMode(1);
        SetMaxRetriesGlobal(1);
    }

    // Starts the simulator with args and opens the library port on it.
    void startSim(std::vector<std::string> args = {})
    {
        sim_ = std::make_unique<hrcsim::SimProcess>(std::move(args));
        ASSERT_TRUE(sim_->start()) << sim_->error();
        ASSERT_EQ(SetPortName(kPort, sim_->ptyPath().c_str()), 0);
        ASSERT_EQ(OpenPort(kPort, kSpeed115200, 0, 1, 0, 1), 0) << "cannot open " << sim_->ptyPath();
        portOpen_ = true;
    }

    // Closes the port and stops the simulator; returns its exit code.
    int stopSim()
    {
        if (portOpen_) {
            ClosePort();
            portOpen_ = false;
        }
        return sim_ ? sim_->stop() : -1;
    }

    void TearDown() override
    {
        if (sim_ && sim_->running())
            EXPECT_EQ(stopSim(), 0) << sim_->stderrText();
        else if (portOpen_)
            ClosePort();
    }

    // Raw exchange; data holds the request's bytes in and the reply's out.
    int raw(int address, int mode, bool read, const char* name, std::vector<unsigned char>& data)
    {
        unsigned char buffer[KAVU_MAX_DATA] = {};
        int size = int(data.size());
        std::copy(data.begin(), data.end(), buffer);
        const int result = KavuIO(address, mode, read ? 1 : 0, name, buffer, &size);
        data.assign(buffer, buffer + std::max(0, std::min(size, KAVU_MAX_DATA)));
        return result;
    }

    // A text parameter as the configurator reads it: the reply's bytes in
    // reverse order (Windows-1251 bytes).
    std::string readText(const char* name, int address = kAddress)
    {
        std::vector<unsigned char> data;
        lastResult_ = raw(address, kShort, true, name, data);
        return std::string(data.rbegin(), data.rend());
    }

    unsigned readUInt(const char* name, int index = -1, int address = kAddress, int mode = kShort)
    {
        int value = -1;
        lastResult_ = ReadUInt(address, mode, name, &value, index);
        return unsigned(value);
    }

    float readFloat(const char* name, int index = -1, int address = kAddress)
    {
        float value = -12345.0f;
        int tail = 0;
        lastResult_ = ReadIEEE32(address, kShort, name, &value, &tail, index);
        return value;
    }

    std::unique_ptr<hrcsim::SimProcess> sim_;
    bool portOpen_ = false;
    int lastResult_ = 0;
};

}  // namespace simtest
