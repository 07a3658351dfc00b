#include "FaultInjector.h"

namespace {

// Noise characters: never '#', CR or the frame's letters, so a receiver
// sees line noise rather than a frame.
const char kNoise[] = {'\x00', '\x7F', '\xFF', '*', 'a', ' ', '\x13'};

}  // namespace

FaultInjector::FaultInjector(const FaultRates& rates, uint64_t seed) : rates_(rates), random_(seed)
{
}

bool FaultInjector::chance(double rate)
{
    if (rate <= 0)
        return false;
    return std::uniform_real_distribution<double>(0.0, 1.0)(random_) < rate;
}

std::vector<WireSegment> FaultInjector::apply(const QByteArray& frameText, const char*& fault)
{
    fault = "";
    if (chance(rates_.drop)) {
        fault = "dropped";
        return {};
    }
    if (chance(rates_.crc) && frameText.size() >= 3) {
        fault = "corrupted CRC";
        QByteArray text = frameText;
        // The last nibble before CR is the CRC's low nibble.
        const int last = text.size() - 2;
        text[last] = char('G' + ((text[last] - 'G') ^ 0x1));
        return {{text, 0}};
    }
    if (chance(rates_.garbage)) {
        fault = "garbage";
        QByteArray noise;
        const int count = std::uniform_int_distribution<int>(1, 3)(random_);
        for (int i = 0; i < count; ++i)
            noise.append(kNoise[std::uniform_int_distribution<int>(0, int(sizeof kNoise) - 1)(random_)]);
        return {{noise + frameText, 0}};
    }
    if (chance(rates_.split) && frameText.size() >= 2) {
        fault = "split";
        const int cut = frameText.size() / 2;
        return {{frameText.left(cut), 0}, {frameText.mid(cut), rates_.splitGapMs}};
    }
    if (chance(rates_.truncate) && frameText.size() >= 2) {
        fault = "truncated";
        const int keep = std::uniform_int_distribution<int>(1, frameText.size() - 2)(random_);
        return {{frameText.left(keep), 0}};
    }
    return {{frameText, 0}};
}
