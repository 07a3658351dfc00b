#include "PortArbiter.h"

#include <algorithm>
#include <chrono>

bool PortArbiter::acquire(Claimant claimant, const Cancelled &cancelled)
{
    std::unique_lock<std::mutex> lock(mutex);
    if (closed || cancelled())
        return false;
    const std::uint64_t ticket = nextTicket++;
    queue.push_back(ticket);
    ++requestsWaiting;
    const bool job = claimant == Claimant::Job;
    if (job) {
        ++jobsWaiting;
        // A monitor pausing with the port in hand gives it up now.
        changed.notify_all();
    }
    changed.wait(lock, [&] { return closed || cancelled() || (!held && queue.front() == ticket); });
    const bool granted = !closed && !cancelled() && !held && queue.front() == ticket;
    queue.erase(std::find(queue.begin(), queue.end(), ticket));
    --requestsWaiting;
    if (job)
        --jobsWaiting;
    if (granted) {
        held = true;
        (job ? jobHolds : monitorHolds).store(true);
    } else {
        // The request behind this one may be first now.
        changed.notify_all();
    }
    return granted;
}

void PortArbiter::release()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        held = false;
        jobHolds.store(false);
        monitorHolds.store(false);
    }
    changed.notify_all();
}

void PortArbiter::pause(int ms, const Cancelled &cancelled)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, std::chrono::milliseconds(ms), [&] { return closed || cancelled(); });
}

void PortArbiter::pauseUnlessJobWaits(int ms, const Cancelled &cancelled)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, std::chrono::milliseconds(ms),
                     [&] { return closed || cancelled() || jobsWaiting.load() > 0; });
}

void PortArbiter::wakeWaiters()
{
    // Taking the lock orders the waiter's cancel request before its next
    // look at it: a waiter between its test and its wait holds the lock.
    { std::lock_guard<std::mutex> lock(mutex); }
    changed.notify_all();
}

void PortArbiter::shutdown()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        closed = true;
    }
    changed.notify_all();
}
