#include "OperatingValues.h"

#include "ValueCodec.h"

#include <QTime>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double kStepSeconds = 0.5;
constexpr double kAmbient = 18.0;        // temperature of an idle circuit
constexpr double kSecondsPerPumpDay = 60.0;  // pump rotation: one "day" per minute

double clamp(double v, double lo, double hi)
{
    return std::max(lo, std::min(hi, v));
}

int secondsOfDay(const QString& hhmmss, int fallback)
{
    const QTime t = QTime::fromString(hhmmss, "hh:mm:ss");
    return t.isValid() ? t.msecsSinceStartOfDay() / 1000 : fallback;
}

// Whether s lies in the daily window [from, to), which may wrap midnight.
bool inWindow(int s, int from, int to)
{
    return from <= to ? (s >= from && s < to) : (s >= from || s < to);
}

}  // namespace

OperatingValues::OperatingValues(DeviceState& state, uint64_t seed) : state_(state), random_(seed)
{
    outdoor_ = outdoorTarget_ = -5.0 + noise(2.0);
    publish();
}

double OperatingValues::noise(double sigma)
{
    return sigma * normal_(random_);
}

double OperatingValues::setting(const QString& name, double fallback) const
{
    double v = 0;
    return ValueCodec::parseFloatText(state_.valueOf(name).section(';', 0, 0), v) ? v : fallback;
}

// Interpolates the heating graph (points "x;y" Grtp[first..]) at the outdoor
// temperature; the point count comes from the Node setting.
double OperatingValues::heatingGraph(int firstPoint, int nodeIndex, double outdoor) const
{
    const int count = int(clamp(setting(QStringLiteral("Node[%1]").arg(nodeIndex), 5), 1, 5));
    std::vector<std::pair<double, double>> points;
    for (int i = 0; i < count; ++i) {
        const QString text = state_.valueOf(QStringLiteral("Grtp[%1]").arg(firstPoint + i));
        double x = 0, y = 0;
        if (ValueCodec::parseFloatText(text.section(';', 0, 0), x)
            && ValueCodec::parseFloatText(text.section(';', 1, 1), y))
            points.emplace_back(x, y);
    }
    if (points.empty())
        return 50.0;
    std::sort(points.begin(), points.end());
    if (outdoor <= points.front().first)
        return points.front().second;
    for (size_t i = 1; i < points.size(); ++i) {
        if (outdoor <= points[i].first) {
            const auto& a = points[i - 1];
            const auto& b = points[i];
            const double span = b.first - a.first;
            return span <= 0 ? b.second : a.second + (b.second - a.second) * (outdoor - a.first) / span;
        }
    }
    return points.back().second;
}

void OperatingValues::advanceTo(qint64 msSinceStart)
{
    const qint64 stepMs = qint64(kStepSeconds * 1000);
    bool moved = false;
    while (simulatedMs_ + stepMs <= msSinceStart) {
        step(kStepSeconds);
        simulatedMs_ += stepMs;
        moved = true;
    }
    if (moved)
        publish();
}

void OperatingValues::step(double dt)
{
    t_ += dt;
    // Outdoor: a slow random target the temperature follows, plus jitter.
    if (std::fmod(t_, 120.0) < dt)
        outdoorTarget_ = clamp(outdoorTarget_ + noise(1.5), -30.0, 25.0);
    outdoor_ += (outdoorTarget_ - outdoor_) * dt / 90.0 + noise(0.02);

    const int clockIndex = state_.description().find("Rtc");
    const int now = clockIndex >= 0 ? state_.clock(clockIndex).time().msecsSinceStartOfDay() / 1000
                                    : QTime::currentTime().msecsSinceStartOfDay() / 1000;
    const int day = secondsOfDay(state_.valueOf("Tm.dy"), 6 * 3600);
    const int night = secondsOfDay(state_.valueOf("Tm.ng"), 22 * 3600);
    const int warmUp = secondsOfDay(state_.valueOf("Tm.rg"), 5 * 3600);
    const bool isNight = inWindow(now, night, day);
    const bool isWarmUp = inWindow(now, warmUp, day) && isNight;

    for (int c = 0; c < 2; ++c) {
        const bool used = c == 0 || setting("kont", 0) >= 1;
        double target = heatingGraph(c * 5, c * 2, outdoor_);
        if (isWarmUp)
            target += setting(QStringLiteral("p.hot[%1]").arg(c), 5);
        else if (isNight)
            target -= setting(QStringLiteral("d.ngt[%1]").arg(c), 5);
        if (c == 0)
            setPoint_ = target;
        if (used) {
            // PI regulator on the supply temperature.
            const double error = target - supply_[c];
            const double band = std::max(0.5, setting(QStringLiteral("Pb[%1]").arg(c), 10));
            const double ti = std::max(1.0, setting(QStringLiteral("Ti[%1]").arg(c), 120));
            regulator_[c] = clamp(regulator_[c] + 100.0 / band * error * dt / ti * 4.0, 0, 100);
            const double deadBand = setting(QStringLiteral("Db.f[%1]").arg(c), 1);
            valveOpen_[c] = error > deadBand ? 100 : 0;
            valveClose_[c] = error < -deadBand ? 100 : 0;
        } else {
            regulator_[c] = 0;
            valveOpen_[c] = valveClose_[c] = 0;
        }
        const double heated = kAmbient + regulator_[c] * 0.95;
        supply_[c] += (heated - supply_[c]) * dt / 40.0 + noise(0.03);
        const double returnTarget = supply_[c] - (supply_[c] - kAmbient) * 0.25;
        return_[c] += (returnTarget - return_[c]) * dt / 60.0 + noise(0.02);
        pressure_[c] = clamp(pressure_[c] + (0.4 - 0.1 * c - pressure_[c]) * dt / 30.0 + noise(0.002), 0, 1);
    }

    // Hot water: heats below the set point minus 3 degrees, stops at the set
    // point, cools with random draws.
    const double hotSetPoint = setting("T.sp[0]", 55);
    if (hotWater_ < hotSetPoint - 3)
        hotWaterHeating_ = true;
    else if (hotWater_ >= hotSetPoint)
        hotWaterHeating_ = false;
    const double draw = std::abs(noise(1.0)) > 2.0 ? 0.3 : 0.0;
    hotWater_ += (hotWaterHeating_ ? 0.08 : -0.01) * dt - draw + noise(0.01);

    // Discrete inputs: occasionally a contact (bit 3, e.g. a door) changes.
    if (std::abs(noise(1.0)) > 3.2)
        discreteInputs_ ^= 0x08;

    // Polled values of another description: a gentle random walk.
    const auto& params = state_.description().parameters();
    for (int i = 0; i < params.size(); ++i) {
        const ParameterSpec& spec = params[i];
        if (!spec.polled || spec.kind != ValueKind::Float || spec.baseName == "r.cor"
            || spec.baseName == "r.oe" || spec.baseName == "Rg.pw" || spec.name == "Sp.h"
            || spec.name == "Sp.hw")
            continue;
        double& v = genericValues_[i];
        v = v * 0.98 + noise(0.1);
    }
}

void OperatingValues::publish()
{
    const double rawInputs[8] = {outdoor_, supply_[0], return_[0], hotWater_, supply_[1], return_[1],
                                 pressure_[0], pressure_[1]};
    for (int i = 0; i < 8; ++i) {
        double raw = rawInputs[i];
        if (i >= 6) {
            // Current-loop inputs: a fraction of the scale In.fd .. In.fg.
            const double low = setting(QStringLiteral("In.fd[%1]").arg(i), 0);
            const double high = setting(QStringLiteral("In.fg[%1]").arg(i), 100);
            raw = low + (high - low) * raw;
        }
        const QString correction = state_.valueOf(QStringLiteral("corr[%1]").arg(i));
        double offset = 0, factor = 1;
        ValueCodec::parseFloatText(correction.section(';', 0, 0), offset);
        if (!ValueCodec::parseFloatText(correction.section(';', 1, 1), factor))
            factor = 1;
        put(QStringLiteral("r.cor:%1").arg(i), std::round((raw * factor + offset) * 100) / 100);
    }

    const int pumpsOn[2] = {int(setting("pump[0]", 2)), int(setting("pump[2]", 2))};
    unsigned runningPump[2] = {0, 0};
    for (int c = 0; c < 2; ++c) {
        const bool used = c == 0 || setting("kont", 0) >= 1;
        if (!used || pumpsOn[c] <= 0)
            continue;
        const double period = std::max(1.0, setting(QStringLiteral("t.wm[%1]").arg(c), 7)) * kSecondsPerPumpDay;
        runningPump[c] = pumpsOn[c] == 1 ? 1u : 1u + unsigned(std::fmod(t_ / period, 2.0) >= 1.0);
    }

    const double outputs[6] = {valveOpen_[0], valveClose_[0], runningPump[0] ? 100.0 : 0.0,
                               valveOpen_[1], valveClose_[1], hotWaterHeating_ ? 100.0 : 0.0};
    unsigned outputBits = 0;
    for (int i = 0; i < 6; ++i) {
        const bool usedOutput = setting(QStringLiteral("Thpd[%1]").arg(i), 1) >= 1;
        const double level = usedOutput ? outputs[i] : 0.0;
        put(QStringLiteral("r.oe:%1").arg(i), level);
        if (level > 0)
            outputBits |= 1u << i;
    }
    putInteger("r.oe.s", outputBits);

    unsigned inputs = (discreteInputs_ & ~0x03u) | (runningPump[0] == 1 ? 1u : 0u) | (runningPump[0] == 2 ? 2u : 0u);
    inputs ^= unsigned(setting("inv.D", 0)) & 0xFF;
    putInteger("r.Cn", inputs & 0xFF);

    put("Sp.h", std::round(setPoint_ * 10) / 10);
    put("Sp.hw", setting("T.sp[0]", 55));
    put("Rg.pw:0", std::round(regulator_[0] * 10) / 10);
    put("Rg.pw:1", std::round(regulator_[1] * 10) / 10);
    putInteger("s.pmp:0", runningPump[0]);
    putInteger("s.pmp:1", runningPump[1]);

    const int clockIndex = state_.description().find("Rtc");
    const int now = clockIndex >= 0 ? state_.clock(clockIndex).time().msecsSinceStartOfDay() / 1000
                                    : QTime::currentTime().msecsSinceStartOfDay() / 1000;
    const int day = secondsOfDay(state_.valueOf("Tm.dy"), 6 * 3600);
    const int night = secondsOfDay(state_.valueOf("Tm.ng"), 22 * 3600);
    const int warmUp = secondsOfDay(state_.valueOf("Tm.rg"), 5 * 3600);
    QString mode = QStringLiteral("День");
    if (inWindow(now, warmUp, day) && inWindow(now, night, day))
        mode = QStringLiteral("Прогрев");
    else if (inWindow(now, night, day))
        mode = QStringLiteral("Ночь");
    putText("r.h", mode);
    putText("r.hw", hotWaterHeating_ ? QStringLiteral("Нагрев") : QStringLiteral("Норма"));

    for (auto it = genericValues_.cbegin(); it != genericValues_.cend(); ++it)
        state_.setValue(it.key(), ValueCodec::floatText(std::round(it.value() * 100) / 100));
}

void OperatingValues::put(const QString& name, double value)
{
    const int i = state_.description().find(name);
    if (i >= 0)
        state_.setValue(i, ValueCodec::floatText(value));
}

void OperatingValues::putInteger(const QString& name, unsigned value)
{
    const int i = state_.description().find(name);
    if (i >= 0)
        state_.setValue(i, QString::number(value));
}

void OperatingValues::putText(const QString& name, const QString& text)
{
    const int i = state_.description().find(name);
    if (i >= 0)
        state_.setValue(i, text);
}

int OperatingValues::exceptionFor(int parameter) const
{
    const auto& params = state_.description().parameters();
    if (parameter < 0 || parameter >= params.size())
        return -1;
    const ParameterSpec& spec = params[parameter];
    if (spec.baseName != "r.cor" || !spec.polled)
        return -1;
    const QString kind = state_.valueOf(QStringLiteral("in-t[%1]").arg(spec.channel));
    return kind == "0" ? 0x7 : -1;  // "Датчик отключен."
}
