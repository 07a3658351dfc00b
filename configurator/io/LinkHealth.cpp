#include "LinkHealth.h"

#include "kavu_io.h"

static_assert(LinkCounts::binCount == KAVU_REPLY_TIME_BINS, "reply-time bins differ from the library's");

namespace {

constexpr int upperMs[LinkCounts::binCount] = {5, 10, 20, 50, 100, 200, 500, 0};
// Fewer attempts than this say nothing about the line.
constexpr quint64 minimumAttempts = 10;
// Name-check refusals of this thread's port since its counters were last taken.
thread_local quint64 pendingNameChecks = 0;

} // namespace

LinkCounts &LinkCounts::operator+=(const LinkCounts &other)
{
    exchanges += other.exchanges;
    attempts += other.attempts;
    timeouts += other.timeouts;
    crcErrors += other.crcErrors;
    badReplies += other.badReplies;
    deviceErrors += other.deviceErrors;
    nameChecks += other.nameChecks;
    exceptions += other.exceptions;
    for (int i = 0; i < binCount; ++i)
        replyTimeBins[i] += other.replyTimeBins[i];
    worstReplyUs = qMax(worstReplyUs, other.worstReplyUs);
    return *this;
}

quint64 LinkCounts::replies() const
{
    quint64 n = 0;
    for (quint64 b : replyTimeBins)
        n += b;
    return n;
}

double LinkCounts::retryRate() const
{
    return attempts == 0 || attempts < exchanges ? 0.0 : double(attempts - exchanges) / double(attempts);
}

int LinkCounts::medianBin() const
{
    const quint64 n = replies();
    if (n == 0)
        return -1;
    quint64 seen = 0;
    for (int i = 0; i < binCount; ++i) {
        seen += replyTimeBins[i];
        if (2 * seen >= n)
            return i;
    }
    return binCount - 1;
}

int LinkCounts::binUpperMs(int bin)
{
    return bin >= 0 && bin < binCount ? upperMs[bin] : 0;
}

bool takeLinkCounts(LinkCounts *counts)
{
    KavuLinkStats stats{};
    stats.size = sizeof stats;
    if (GetLinkStats(&stats) != 0)
        return false;
    ResetLinkStats();
    LinkCounts taken;
    taken.exchanges = stats.exchanges;
    taken.attempts = stats.attempts;
    taken.timeouts = stats.timeouts;
    taken.crcErrors = stats.crcErrors;
    taken.badReplies = stats.badReplies;
    taken.deviceErrors = stats.deviceErrors;
    taken.nameChecks = qMin<quint64>(pendingNameChecks, taken.deviceErrors);
    taken.deviceErrors -= taken.nameChecks;
    pendingNameChecks = 0;
    taken.exceptions = stats.exceptions;
    for (int i = 0; i < LinkCounts::binCount; ++i)
        taken.replyTimeBins[i] = stats.replyTimeBins[i];
    taken.worstReplyUs = stats.worstReplyUs;
    *counts += taken;
    return true;
}

void noteNameCheckRefusal()
{
    ++pendingNameChecks;
}

LinkCause likelyCause(const LinkCounts &c)
{
    if (c.attempts < minimumAttempts)
        return LinkCause::Unknown;
    const double damaged = double(c.crcErrors + c.badReplies) / double(c.attempts);
    const double silent = double(c.timeouts) / double(c.attempts);
    // Damaged frames mean something arrives: the line itself is doubtful,
    // whatever the time-outs (a bad speed gives both).
    if (damaged >= 0.02)
        return LinkCause::DamagedFrames;
    if (silent >= 0.10)
        return LinkCause::NoReplies;
    return LinkCause::Good;
}
