// The polled operating values (ivparam) of a simulated heating plant: an
// outdoor temperature drifting with noise, two heating circuits whose supply
// follows the heating graph under a regulator, hot water with hysteresis,
// valve outputs, alternating pumps and discrete inputs. The plant advances
// in fixed steps from the start of the run with a seeded generator, so a
// given seed, time since start and device clock give the same values.
#pragma once

#include "DeviceState.h"

#include <QHash>
#include <QString>

#include <cstdint>
#include <random>

class OperatingValues {
public:
    OperatingValues(DeviceState& state, uint64_t seed);

    // Advances the plant to msSinceStart and stores the values in the state.
    void advanceTo(qint64 msSinceStart);

    // Exception code (0x0..0xF) a read of the parameter gets instead of a
    // number, or -1: an input whose sensor kind is "no sensor" reports the
    // sensor as disconnected.
    int exceptionFor(int parameter) const;

private:
    void step(double dt);
    void publish();
    double setting(const QString& name, double fallback) const;
    double heatingGraph(int firstPoint, int nodeIndex, double outdoor) const;
    double noise(double sigma);
    void put(const QString& name, double value);
    void putInteger(const QString& name, unsigned value);
    void putText(const QString& name, const QString& text);

    DeviceState& state_;
    std::mt19937_64 random_;
    std::normal_distribution<double> normal_{0.0, 1.0};
    qint64 simulatedMs_ = 0;
    double t_ = 0;  // simulated seconds

    double outdoor_ = -5, outdoorTarget_ = -5;
    double supply_[2] = {45, 30}, return_[2] = {38, 27}, regulator_[2] = {40, 0};
    double hotWater_ = 52;
    bool hotWaterHeating_ = false;
    double pressure_[2] = {0.42, 0.30};
    double valveOpen_[2] = {0, 0}, valveClose_[2] = {0, 0};
    double setPoint_ = 50;
    unsigned discreteInputs_ = 0x05;
    QHash<int, double> genericValues_;  // polled values the plant does not model
};
