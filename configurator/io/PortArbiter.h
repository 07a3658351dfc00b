#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

// Gives the serial port to one worker at a time: the job workers of every
// window and the polling monitor. The application owns one and hands it to
// every tree's workers; a worker waits for the port here (blocked, never
// spinning) and gives it back when it is done.
//
// Requests are served in the order they were made, the monitor's included,
// so neither a stream of jobs nor the monitor keeps the other out. A job that
// waits asks the holding monitor to give the port up (jobWaiting), which the
// monitor does between two parameters. Every wait ends at once on the
// waiter's cancel (a worker's terminate() calls wakeWaiters) and on shutdown.
class PortArbiter
{
public:
    enum class Claimant { Job, Monitor };
    // Whether the waiting worker was asked to stop; called under the
    // arbiter's lock, so it must only read (an atomic state, typically).
    using Cancelled = std::function<bool()>;

    PortArbiter() = default;
    PortArbiter(const PortArbiter &) = delete;
    PortArbiter &operator=(const PortArbiter &) = delete;

    // Waits until the port is free and every earlier request has been
    // served, then holds it for the claimant. False, without the port, when
    // cancelled or shut down first.
    bool acquire(Claimant claimant, const Cancelled &cancelled);
    // Gives the port back; by its holder only.
    void release();

    // Sleeps up to ms without holding the port; ends early when cancelled or
    // shut down.
    void pause(int ms, const Cancelled &cancelled);
    // The monitor's pause between poll cycles, port in hand: ends early also
    // as soon as a job waits for the port.
    void pauseUnlessJobWaits(int ms, const Cancelled &cancelled);

    // Makes every waiting worker look at its cancel request again.
    void wakeWaiters();
    // Ends all waiting for good: every wait returns and acquire fails from
    // now on. The application calls it before it takes its windows down.
    void shutdown();

    // The observable state; any thread, without the lock.
    // A job holds the port or waits for it.
    bool ioBusy() const { return jobHolds.load() || jobsWaiting.load() > 0; }
    // The monitor holds the port.
    bool monBusy() const { return monitorHolds.load(); }
    // A job waits for the port (the monitor gives it up).
    bool jobWaiting() const { return jobsWaiting.load() > 0; }
    // Requests waiting for the port, jobs and the monitor.
    int waiting() const { return requestsWaiting.load(); }

private:
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::uint64_t> queue; // tickets of the waiting requests, oldest first
    std::uint64_t nextTicket = 0;
    bool held = false;
    bool closed = false;

    // Written under the lock, read without it.
    std::atomic<bool> jobHolds{false};
    std::atomic<bool> monitorHolds{false};
    std::atomic<int> jobsWaiting{0};
    std::atomic<int> requestsWaiting{0};
};
