#include "DeviceSearch.h"

#include "kavu_io.h"

namespace {

// The speeds engineers set controllers to, most usual first.
const int commonSpeeds[] = {9600, 19200, 115200};

} // namespace

QVector<DeviceSearch::Attempt> DeviceSearch::order(const Plan &plan)
{
    QVector<int> allowed = plan.speeds;
    if (allowed.isEmpty()) {
        for (int i = 0; i < plan.speedNames.size(); ++i)
            allowed << i;
    }
    // Speed by speed: the common ones, then the rest in the list's order.
    QVector<int> speeds;
    auto addSpeed = [&](int index) {
        if (index >= 0 && allowed.contains(index) && !speeds.contains(index))
            speeds << index;
    };
    for (int bitsPerSecond : commonSpeeds)
        addSpeed(plan.speedNames.indexOf(QString::number(bitsPerSecond)));
    for (int index : allowed)
        addSpeed(index);

    auto inRange = [&](int address) { return address >= plan.first && address <= plan.last; };
    QVector<Attempt> attempts;
    attempts.reserve(speeds.size() * (plan.last - plan.first + 1));
    // The address and speed used last, before anything else.
    const bool lastPair = inRange(plan.lastAddress) && speeds.contains(plan.lastSpeed);
    if (lastPair)
        attempts.append({plan.lastAddress, plan.lastSpeed});
    for (int speed : speeds) {
        // At each speed the address used last and the factory one first.
        QVector<int> addresses;
        if (inRange(plan.lastAddress))
            addresses << plan.lastAddress;
        if (inRange(plan.factoryAddress) && plan.factoryAddress != plan.lastAddress)
            addresses << plan.factoryAddress;
        for (int address = plan.first; address <= plan.last; ++address) {
            if (address != plan.lastAddress && address != plan.factoryAddress)
                addresses << address;
        }
        for (int address : addresses) {
            if (!(lastPair && address == plan.lastAddress && speed == plan.lastSpeed))
                attempts.append({address, speed});
        }
    }
    return attempts;
}

DeviceSearch::DeviceSearch(std::shared_ptr<PortArbiter> sharedArbiter) : KavuComm(std::move(sharedArbiter))
{
    keepSettingsPrivate(-1);
}

void DeviceSearch::setSettings(const CommSettings &settings)
{
    useSettings(settings);
    readPortSettings();
}

bool DeviceSearch::run(const QVector<Attempt> &attempts, const QStringList &speedNames, bool all,
                       const Trying &trying, const Answered &answered)
{
    // A terminate() that came before the start holds: the search is over.
    if (!arbiter->acquire(PortArbiter::Claimant::Job, cancelRequested()))
        return true; // cancelled while waiting for the port
    preciseTimersForThisThread();
    readPortSettings();
    // One attempt per address: a silent address costs one reply time-out.
    const int retries = GetMaxRetriesGlobal();
    SetMaxRetriesGlobal(0);
    SetApiMode(1);
    bool opened = true;
    int openSpeed = -1;
    int done = 0;
    for (const Attempt &attempt : attempts) {
        if (isTerminating())
            break;
        if (trying)
            trying(done, attempts.size(), attempt);
        if (attempt.speed != openSpeed) {
            closePort();
            speedIndex = 8 - attempt.speed;
            const int result = openConfiguredPort();
            if (result != 0 && result != KAVU_E_BUSY) {
                opened = false;
                break;
            }
            openSpeed = attempt.speed;
        }
        deviceAddress = attempt.address;
        ++done;
        Found found;
        if (readText(QStringLiteral("Dev"), 0, &found.name) != 0)
            continue;
        found.address = attempt.address;
        found.speed = attempt.speed;
        found.bitsPerSecond = speedNames.value(attempt.speed).toInt();
        readText(QStringLiteral("ver"), 0, &found.version);
        readText(QStringLiteral("p.ver"), 0, &found.protocol);
        if (answered)
            answered(found);
        if (!all)
            break;
    }
    closePort();
    SetMaxRetriesGlobal(retries);
    arbiter->release();
    return opened;
}
