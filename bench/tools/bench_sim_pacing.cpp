// How closely hrc417-sim's paced line matches the ideal wire time: reads a
// mix of parameters through kavu_io at several line speeds and prints the
// measured time, the ideal time (10 bits per character of every request and
// reply, plus the turnaround) and their ratio.
#include "SimProcess.h"
#include "kavu_io.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Request {
    const char* name;
    std::vector<unsigned char> data;  // an index, or the bytes a read carries
    int channel;
};

int frameChars(int dataBytes)
{
    return 2 * (dataBytes + 6) + 2;
}

}  // namespace

int main()
{
    const std::vector<Request> job = {
        {"Dev", {}, 0},        {"ver", {}, 0},          {"T.sp", {0, 0}, 0}, {"Grtp", {0, 3}, 0},
        {"Tm.dy", {}, 0},      {"Rtc", std::vector<unsigned char>(7, 0), 0},
        {"Thpd", {0, 5}, 0},   {"r.cor", {}, 3},        {"Beep", {}, 0},     {"Addr", {}, 0}};
    const int rounds = 10;
    const int port = 9;
    SetApiMode(1);
    SetMaxRetriesGlobal(3);
    std::printf("%8s %10s %10s %10s %8s\n", "bit/s", "exchanges", "measured_s", "ideal_s", "ratio");
    for (int baud : {9600, 19200, 57600, 115200}) {
        for (int turnaround : {0, 5}) {
            hrcsim::SimProcess sim({"--baud", std::to_string(baud), "--turnaround", std::to_string(turnaround)});
            if (!sim.start()) {
                std::fprintf(stderr, "cannot start the simulator: %s\n", sim.error().c_str());
                return 1;
            }
            SetPortName(port, sim.ptyPath().c_str());
            if (OpenPort(port, 8, 0, 1, 0, 1) != 0) {
                std::fprintf(stderr, "cannot open %s\n", sim.ptyPath().c_str());
                return 1;
            }
            double ideal = 0;
            int exchanges = 0, failures = 0;
            const auto start = std::chrono::steady_clock::now();
            for (int r = 0; r < rounds; ++r) {
                for (const Request& request : job) {
                    unsigned char buffer[KAVU_MAX_DATA] = {};
                    int size = int(request.data.size());
                    std::copy(request.data.begin(), request.data.end(), buffer);
                    const int sent = size;
                    failures += KavuIO(16 + request.channel, 0, 1, request.name, buffer, &size) != 0;
                    ideal += (frameChars(sent) + frameChars(size)) * 10.0 / baud + turnaround / 1000.0;
                    ++exchanges;
                }
            }
            const double measured =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            ClosePort();
            sim.stop();
            std::printf("%8d %10d %10.3f %10.3f %8.3f%s  (turnaround %d ms)\n", baud, exchanges, measured,
                        ideal, measured / ideal, failures ? "  FAILURES" : "", turnaround);
        }
    }
    return 0;
}
