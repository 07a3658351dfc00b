// Exchange timing of kavu_io.dll on a Windows COM port (under Wine: the
// simulator's pseudo-terminal mapped to KAVU_TEST_COM). Prints figures and
// their ratio to what the line and the time-out rules predict; asserts
// nothing. Run by tools/ci/stage-windows.sh after the tests.
#include "kavu_io.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double nowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

struct Figures {
    double median = 0, p90 = 0, best = 0;
};

Figures summarise(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    Figures f;
    if (samples.empty())
        return f;
    f.best = samples.front();
    f.median = samples[samples.size() / 2];
    f.p90 = samples[samples.size() * 9 / 10];
    return f;
}

}  // namespace

int main()
{
    const char* com = std::getenv("KAVU_TEST_COM");
    const char* addressText = std::getenv("KAVU_TEST_ADDRESS");
    if (!com) {
        std::printf("bench_kavu_dll_exchange: KAVU_TEST_COM is not set, nothing measured\n");
        return 0;
    }
    const int address = addressText ? std::atoi(addressText) : 16;
    constexpr int kPort = 60;
    SetPortName(kPort, com);
    SetApiMode(1);

    struct Speed { int index; int baud; };
    for (Speed speed : {Speed{8, 115200}, Speed{2, 9600}}) {
        if (OpenPort(kPort, speed.index, 0, 1, 0, 1) != 0) {
            std::printf("cannot open %s\n", com);
            return 1;
        }
        unsigned char buffer[KAVU_MAX_DATA];
        int size = 0;
        std::vector<double> samples;
        int failures = 0;
        for (int i = 0; i < 100; ++i) {
            size = 0;
            const double start = nowMs();
            const int r = KavuIO(address, 0, 1, "Dev", buffer, &size);
            samples.push_back(nowMs() - start);
            failures += r != 0;
        }
        const Figures f = summarise(samples);
        // A pseudo-terminal has no line speed: this is the cost of the
        // library, the serial layer and the simulator, without wire time.
        std::printf("KavuIO \"Dev\" at %6d bit/s: median %6.2f ms, p90 %6.2f ms, best %6.2f ms"
                    " (%d failed of 100)\n",
                    speed.baud, f.median, f.p90, f.best, failures);
        ClosePort();
    }

    // Character-by-character mode: opening calibrates the two busy-wait delays.
    std::vector<double> opens;
    for (int i = 0; i < 5; ++i) {
        const double start = nowMs();
        if (OpenPort(kPort, 2, 0, 1, 0, 0) != 0)
            break;
        opens.push_back(nowMs() - start);
        ClosePort();
    }
    const Figures open = summarise(opens);
    std::printf("OpenPort with RTS switching at 9600 bit/s (calibration): median %7.2f ms\n",
                open.median);

    // A device that never answers, one repeat: 2 reads of T + 14 ms each and
    // sleeps of 10 and 20 ms (T = 528000 / speed + 260).
    SetMaxRetriesGlobal(1);
    if (OpenPort(kPort, 2, 0, 1, 0, 1) == 0) {
        std::vector<double> timeouts;
        for (int i = 0; i < 3; ++i) {
            unsigned char buffer[KAVU_MAX_DATA];
            int size = 0;
            const double start = nowMs();
            KavuIO(address - 1, 0, 1, "Dev", buffer, &size);
            timeouts.push_back(nowMs() - start);
        }
        ClosePort();
        const double expected = 2.0 * (528000 / 9600 + 260 + 14) + 10 + 20;
        const Figures t = summarise(timeouts);
        std::printf("unanswered exchange at 9600 bit/s, 1 repeat: median %7.1f ms, rule %6.1f ms,"
                    " ratio %5.3f\n", t.median, expected, t.median / expected);
    }
    SetPortName(kPort, nullptr);
    return 0;
}
