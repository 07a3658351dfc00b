// libFuzzer target over the reply path: characters as they would arrive in
// the engine's two reads go through the scanner and the frame decoder, and
// the decoded data through every value decoder and exported buffer decoder.
// Any read outside a buffer, undefined behaviour or crash is a finding.
#include "frame_codec.h"
#include "kavu_io.h"
#include "value_codec.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace codec = kavu::codec;

namespace {

void decodeValues(const std::uint8_t* data, int n) {
    float f = 0;
    int e = 0;
    (void)codec::decodeUInt(data, n);
    (void)codec::decodeSInt(data, n);
    (void)codec::decodeStoredDot(data, n, f, e);
    if (n >= 2) (void)codec::decodeWord(data);
    if (n >= 3) {
        (void)codec::decodeFloat24(data);
        (void)codec::decodePkpBCD(data);
    }
    if (n >= 4) {
        (void)codec::decodeIEEE32(data);
        (void)codec::decodeSI8BCD(data);
    }
    if (n >= 6) (void)codec::decodeDTMR(data);
    if (n >= 2) (void)codec::decodeCSET(data);
    if (codec::isExceptionValue(data, n)) {
        (void)codec::exceptionCodeOfRead(data, n);
        (void)codec::exceptionCodeOfWrite(data, n);
    }
    char text[codec::kRtcTextSize];
    if (codec::decodeRTC(data, n, text) && std::strlen(text) >= sizeof text) __builtin_trap();

    // The exported decoders with every count up to the real one (and a
    // negative one): none may look past `n` bytes.
    for (int count = -1; count <= n; ++count) {
        char c;
        unsigned short w;
        int i, a, b, d, g;
        float v;
        GetBufferByte(data, count, &c);
        GetBufferWord(data, count, &w);
        GetBufferUInt(data, count, &i);
        GetBufferSInt(data, count, &i);
        GetBufferFloat24(data, count, &v);
        GetBufferIEEE32(data, count, &v);
        GetBufferStoredDotS(data, count, &v);
        GetBufferStoredDotU(data, count, &v);
        GetBufferPkpBCD(data, count, &v);
        GetBufferSI8BCD(data, count, &i);
        GetBufferDTMR(data, count, &a, &b, &d, &g);
        char rtc[KAVU_RTC_TEXT_SIZE];
        GetBufferRTC(data, count, rtc);
        if (std::strlen(rtc) >= sizeof rtc) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (size < 1) return 0;
    // First byte: how many characters the first read brings (1..44).
    const int firstRead = 1 + input[0] % codec::kMaxFrameText;
    const char* chars = reinterpret_cast<const char*>(input + 1);
    const int available = static_cast<int>(size - 1);

    // The received buffer is exactly as large as the engine's, so that the
    // sanitizer sees any access beyond it.
    char* received = new char[codec::kMaxFrameText];
    int count = 0;
    int asked = codec::kMinFrameText;
    codec::ReplyScanner scanner;
    codec::FrameFields fields;
    const std::uint16_t expected = codec::nameHash("A.Len");
    codec::ScanStatus status = codec::ScanStatus::NeedMore;
    int consumed = 0;
    for (int read = 0; read < 2 && status == codec::ScanStatus::NeedMore; ++read) {
        int want = asked < codec::kMaxFrameText - count ? asked : codec::kMaxFrameText - count;
        if (read == 0 && firstRead < want) want = firstRead;
        if (want > available - consumed) want = available - consumed;
        if (want <= 0) break;
        std::memcpy(received + count, chars + consumed, static_cast<std::size_t>(want));
        consumed += want;
        count += want;
        status = scanner.scan(received, count, &expected, fields);
        asked -= want;
        const int announced = codec::announcedDataLength(received, count);
        if (count > 4 && announced > 0) asked += 2 * announced;
    }
    if (status == codec::ScanStatus::Complete && scanner.decodeStatus != codec::DecodeStatus::SizeError) {
        if (fields.dataLength < 0 || fields.dataLength > codec::kMaxData) __builtin_trap();
        decodeValues(fields.data(), fields.dataLength);
    }
    delete[] received;

    // The whole input as one frame text, and as a plain data field.
    codec::FrameFields whole;
    const int wholeCount = available < codec::kMaxFrameText + 4 ? available : codec::kMaxFrameText + 4;
    char* text = new char[wholeCount > 0 ? wholeCount : 1];
    std::memcpy(text, chars, static_cast<std::size_t>(wholeCount > 0 ? wholeCount : 0));
    const auto decoded = codec::decodeFrame(text, wholeCount, nullptr, whole);
    if (decoded == codec::DecodeStatus::Ok && whole.packetLength != whole.dataLength + 6) __builtin_trap();
    delete[] text;
    const int dataCount = available < codec::kMaxData ? available : codec::kMaxData;
    std::uint8_t* data = new std::uint8_t[dataCount > 0 ? dataCount : 1];
    std::memcpy(data, input + 1, static_cast<std::size_t>(dataCount > 0 ? dataCount : 0));
    decodeValues(data, dataCount);
    delete[] data;
    return 0;
}
