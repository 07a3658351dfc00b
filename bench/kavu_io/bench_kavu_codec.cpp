// Codec cost of one exchange: hash the name, build the request frame, scan
// and check the reply text, decode its value. Target: under 1 µs;
// ratio_to_1us is the time per exchange divided by 1 µs (printed with an "s").
#include "frame_codec.h"
#include "value_codec.h"

#include <benchmark/benchmark.h>

#include <string>

namespace codec = kavu::codec;

namespace {

std::string replyFor(const char* name, const std::uint8_t* data, int n) {
    codec::EncodedFrame f;
    codec::encodeFrame(codec::nameHash(name), false, 16, codec::AddressMode::Short, data, n, f);
    return std::string(f.text, static_cast<std::size_t>(f.textLength));
}

void BM_RequestAndReplyUInt(benchmark::State& state) {
    const std::uint8_t value[] = {0x01, 0x02, 0x03, 0x00, 0x03};
    const std::string reply = replyFor("t.L", value, 5);
    const std::uint8_t index[] = {0x00, 0x03};
    for (auto _ : state) {
        codec::EncodedFrame request;
        const std::uint16_t hash = codec::nameHash("t.L");
        codec::encodeFrame(hash, true, 16, codec::AddressMode::Short, index, 2, request);
        benchmark::DoNotOptimize(request);
        codec::ReplyScanner scanner;
        codec::FrameFields fields;
        const auto status = scanner.scan(reply.data(), static_cast<int>(reply.size()), &hash, fields);
        benchmark::DoNotOptimize(status);
        std::uint32_t v = codec::decodeUInt(fields.data(), fields.dataLength - 2);
        benchmark::DoNotOptimize(v);
    }
    state.counters["ratio_to_1us"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * 1e-6, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RequestAndReplyUInt);

void BM_RequestAndReplyLongestFrame(benchmark::State& state) {
    std::uint8_t data[15];
    for (int i = 0; i < 15; ++i) data[i] = static_cast<std::uint8_t>(i * 17);
    const std::string reply = replyFor("A.Len", data, 15);
    for (auto _ : state) {
        codec::EncodedFrame request;
        const std::uint16_t hash = codec::nameHash("A.Len");
        codec::encodeFrame(hash, false, 1001, codec::AddressMode::Long, data, 15, request);
        benchmark::DoNotOptimize(request);
        codec::ReplyScanner scanner;
        codec::FrameFields fields;
        benchmark::DoNotOptimize(scanner.scan(reply.data(), static_cast<int>(reply.size()), &hash, fields));
        float f = codec::decodeIEEE32(fields.data());
        benchmark::DoNotOptimize(f);
    }
    state.counters["ratio_to_1us"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * 1e-6, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RequestAndReplyLongestFrame);

void BM_StoredDotEncode(benchmark::State& state) {
    float v = 12.345f;
    for (auto _ : state) {
        std::uint8_t out[3];
        benchmark::DoNotOptimize(codec::encodeStoredDotAuto(v, out));
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_StoredDotEncode);

}  // namespace

BENCHMARK_MAIN();
