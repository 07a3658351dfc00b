#include "PeerFrames.h"

#include "frame_codec.h"

namespace kavu::test {

std::string frameText(std::uint16_t hash, bool requestFlag, int address, bool longAddress,
                      const std::vector<std::uint8_t>& data) {
    codec::EncodedFrame frame;
    codec::encodeFrame(hash, requestFlag, address, longAddress ? codec::AddressMode::Long : codec::AddressMode::Short,
                       data.data(), static_cast<int>(data.size()), frame);
    return std::string(frame.text, static_cast<std::size_t>(frame.textLength));
}

namespace {
codec::FrameFields decodeRequest(const std::string& request) {
    codec::FrameFields fields;
    codec::decodeFrame(request.data(), static_cast<int>(request.size()), nullptr, fields);
    return fields;
}
}  // namespace

std::string replyTo(const std::string& request, const std::vector<std::uint8_t>& data) {
    const codec::FrameFields f = decodeRequest(request);
    return frameText(f.hash, false, f.address, (f.packet[1] & 0xE0) != 0, data);
}

std::string errorReplyTo(const std::string& request, const std::vector<std::uint8_t>& data) {
    const codec::FrameFields f = decodeRequest(request);
    return frameText(codec::kErrorReplyHash, false, f.address, (f.packet[1] & 0xE0) != 0, data);
}

}  // namespace kavu::test
