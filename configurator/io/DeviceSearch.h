#pragma once

#include "CommSettings.h"
#include "KavuComm.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>

// The search for a controller whose address and speed are not known: which
// address is asked at which speed in which order, and the asking. The order
// is the one engineers find devices in: the address and speed used last
// first, then speed by speed (9600, 19200, 115200, then the others as the
// speed list has them), at each speed the address used last and the factory
// address before the others in numeric order. Each
// attempt asks for the device's name once, without repeats, with the
// library's own reply time-out; what answers is asked for its versions.
//
// Widget-free: hrc417 scan runs it in its own thread, the configurator's
// search dialog in a worker thread. It holds the port at the arbiter for
// the whole search, so no other worker of the program exchanges meanwhile.
class DeviceSearch : public KavuComm
{
public:
    struct Attempt
    {
        int address = 0;
        int speed = 0; // index into the speed list (the bPS value set)
    };
    struct Found
    {
        int address = 0;
        int speed = 0; // index into the speed list
        int bitsPerSecond = 0;
        QString name;     // Dev
        QString version;  // ver
        QString protocol; // p.ver
    };
    struct Plan
    {
        QStringList speedNames;  // the bPS value set: "115200", "57600", ...
        QVector<int> speeds;     // the indexes to try; empty: all
        int first = 1;
        int last = 255;
        int lastAddress = 0;     // used last; 0: none
        int lastSpeed = -1;      // index used last; -1: none
        int factoryAddress = 0;  // 0: none
    };

    // The attempts in the order they are made, each pair once.
    static QVector<Attempt> order(const Plan &plan);

    explicit DeviceSearch(std::shared_ptr<PortArbiter> arbiter = nullptr);

    // The link settings of the search (port, parity, data bits, stop bits,
    // address mode; speed and address are the attempts'). They stay the
    // search's own: other workers' settings are not touched.
    void setSettings(const CommSettings &settings);

    // Called before each attempt (done: the attempts made so far).
    using Trying = std::function<void(int done, int total, const Attempt &attempt)>;
    using Answered = std::function<void(const Found &found)>;

    // Makes the attempts in turn in the calling thread and stops after the
    // first device that answers unless all is set; terminate() (from any
    // thread) stops it after the attempt in flight, or before the first when
    // it came earlier (one search per object). False when the port
    // could not be opened (connectFailure() says why).
    bool run(const QVector<Attempt> &attempts, const QStringList &speedNames, bool all, const Trying &trying,
             const Answered &answered);
};
