// Exported buffer decoders: value encodings of bytes the caller holds.
// They touch no port and no error state.
#include "kavu_io.h"

#include "value_codec.h"

namespace codec = kavu::codec;

namespace {

// Shared argument rules: -8 for a null pointer, 0 (output set to 0) for an
// empty buffer where the encoding allows it, -7 when too short.
template <typename T>
int checkArguments(const unsigned char* bytes, int count, T* out, int minimum, bool zeroShortcut) {
    if (bytes == nullptr || out == nullptr) return KAVU_E_NULL_POINTER;
    if (count == 0 && zeroShortcut) {
        *out = T{};
        return 0;
    }
    if (count < minimum || count < 0) return KAVU_E_BUFFER_SHORT;
    return 1;
}

}  // namespace

extern "C" {

KAVU_API int KAVU_CALL GetBufferByte(const unsigned char* bytes, int count, char* out) {
    const int check = checkArguments(bytes, count, out, 1, true);
    if (check <= 0) return check;
    *out = static_cast<char>(bytes[0]);
    return 1;
}

KAVU_API int KAVU_CALL GetBufferWord(const unsigned char* bytes, int count, unsigned short* out) {
    const int check = checkArguments(bytes, count, out, 2, true);
    if (check <= 0) return check;
    *out = codec::decodeWord(bytes);
    return 2;
}

KAVU_API int KAVU_CALL GetBufferUInt(const unsigned char* bytes, int count, int* out) {
    const int check = checkArguments(bytes, count, out, 1, true);
    if (check <= 0) return check;
    *out = static_cast<int>(codec::decodeUInt(bytes, count));
    return count;
}

KAVU_API int KAVU_CALL GetBufferSInt(const unsigned char* bytes, int count, int* out) {
    const int check = checkArguments(bytes, count, out, 1, true);
    if (check <= 0) return check;
    *out = codec::decodeSInt(bytes, count);
    return count;
}

KAVU_API int KAVU_CALL GetBufferFloat24(const unsigned char* bytes, int count, float* out) {
    const int check = checkArguments(bytes, count, out, 3, true);
    if (check <= 0) return check;
    *out = codec::decodeFloat24(bytes);
    return 3;
}

KAVU_API int KAVU_CALL GetBufferIEEE32(const unsigned char* bytes, int count, float* out) {
    const int check = checkArguments(bytes, count, out, 4, true);
    if (check <= 0) return check;
    *out = codec::decodeIEEE32(bytes);
    return 4;
}

KAVU_API int KAVU_CALL GetBufferStoredDotS(const unsigned char* bytes, int count, float* out) {
    const int check = checkArguments(bytes, count, out, 1, true);
    if (check <= 0) return check;
    *out = static_cast<float>(codec::decodeUInt(bytes, count));
    return count;
}

KAVU_API int KAVU_CALL GetBufferStoredDotU(const unsigned char* bytes, int count, float* out) {
    const int check = checkArguments(bytes, count, out, 1, true);
    if (check <= 0) return check;
    *out = static_cast<float>(codec::decodeUInt(bytes, count));
    return count;
}

KAVU_API int KAVU_CALL GetBufferPkpBCD(const unsigned char* bytes, int count, float* out) {
    const int check = checkArguments(bytes, count, out, 3, false);
    if (check <= 0) return check;
    *out = codec::decodePkpBCD(bytes);
    return 3;
}

KAVU_API int KAVU_CALL GetBufferSI8BCD(const unsigned char* bytes, int count, int* out) {
    const int check = checkArguments(bytes, count, out, 4, false);
    if (check <= 0) return check;
    *out = codec::decodeSI8BCD(bytes);
    return 4;
}

KAVU_API int KAVU_CALL GetBufferDTMR(const unsigned char* bytes, int count, int* a, int* b, int* c, int* d) {
    if (a == nullptr || b == nullptr || c == nullptr || d == nullptr) return KAVU_E_NULL_POINTER;
    const int check = checkArguments(bytes, count, a, 6, false);
    if (check <= 0) return check;
    const codec::Dtmr v = codec::decodeDTMR(bytes);
    *a = v.a;
    *b = v.b;
    *c = v.c;
    *d = v.d;
    return 6;
}

KAVU_API int KAVU_CALL GetBufferRTC(const unsigned char* bytes, int count, char* text) {
    if (bytes == nullptr || text == nullptr) return KAVU_E_NULL_POINTER;
    if (count < 0) return KAVU_E_BUFFER_SHORT;
    (void)codec::decodeRTC(bytes, count, text);   // an invalid value leaves the text empty
    return count;
}

}  // extern "C"
