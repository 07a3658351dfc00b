// Wall time of one ReadUInt over a pseudo-terminal against a peer that
// answers at once (115200 bit/s, automatic direction). Prints the median
// per call and its ratio to the 0.3 ms target.
#include "PtyPeer.h"
#include "kavu_io.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using kavu::test::nowMs;
using kavu::test::PtyPeer;

namespace {

void BM_ReadUIntOverPty(benchmark::State& state) {
    PtyPeer peer;
    SetPortName(40, peer.slaveName().c_str());
    SetMaxRetriesGlobal(0);
    if (OpenPort(40, 8, 0, 1, 0, 1) != 0) {
        state.SkipWithError("port does not open");
        return;
    }
    peer.run([](PtyPeer& p) {
        for (;;) {
            const std::string r = p.readRequest(2000);
            if (r.empty()) return;
            p.write(kavu::test::replyTo(r, {0x12, 0x34}));
        }
    });
    std::vector<double> times;
    times.reserve(100000);
    int failures = 0;
    for (auto _ : state) {
        int value = 0;
        const double start = nowMs();
        if (ReadUInt(16, 0, "A.Len", &value, -1) != 0) ++failures;
        times.push_back(nowMs() - start);
    }
    ClosePort();
    peer.finish();
    SetPortName(40, nullptr);
    SetMaxRetriesGlobal(1);
    std::sort(times.begin(), times.end());
    const double median = times.empty() ? 0 : times[times.size() / 2];
    const double p99 = times.empty() ? 0 : times[times.size() * 99 / 100];
    state.counters["median_ms"] = median;
    state.counters["p99_ms"] = p99;
    state.counters["median_to_target"] = median / 0.3;
    state.counters["failures"] = failures;
}
BENCHMARK(BM_ReadUIntOverPty)->UseRealTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);

}  // namespace

BENCHMARK_MAIN();
