// Line faults injected into replies, drawn from a seeded generator.
#pragma once

#include "SimOptions.h"

#include <QByteArray>

#include <cstdint>
#include <random>
#include <vector>

// One piece of a reply on the wire and the pause before it.
struct WireSegment {
    QByteArray bytes;
    int pauseBeforeMs = 0;
};

class FaultInjector {
public:
    FaultInjector(const FaultRates& rates, uint64_t seed);

    // Turns a reply's frame text into what goes on the wire; names the
    // fault applied in fault ("" for none).
    std::vector<WireSegment> apply(const QByteArray& frameText, const char*& fault);

private:
    bool chance(double rate);

    FaultRates rates_;
    std::mt19937_64 random_;
};
