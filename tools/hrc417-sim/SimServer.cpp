#include "SimServer.h"

#include <poll.h>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

#include <QByteArray>

#include <cerrno>
#include <cstdio>
#include <cstring>

SimServer::SimServer(const SimOptions& options, SerialLine& line, DeviceState& state,
                     OperatingValues& plant, uint64_t seed)
    : options_(options), line_(line), state_(state), plant_(plant), responder_(state, plant, &options.writeFaults),
      faults_(options.faults, seed), latencyRandom_(seed + 1)
{
    responder_.setMissing(options.missingParameters);
    epochNs_ = monotonicNs();
    // Pacing emulates the wire on a pty; a real serial device paces itself.
    if (options.baud > 0 && !line.isDevice())
        charNs_ = int64_t(10) * 1000000000 / options.baud;
    // The kernel lets a sleep run up to 50 us late by default; a paced
    // character must arrive when the wire would deliver it.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

LineSettings SimServer::lineSettingsOf(const DeviceState& state, int baudOverride)
{
    static const int kSpeeds[] = {115200, 57600, 38400, 28800, 19200, 14400, 9600, 4800};
    LineSettings s;
    const int speedIndex = state.valueOf("bPS").toInt();
    s.baud = baudOverride > 0 ? baudOverride
                              : (speedIndex >= 0 && speedIndex < 8 ? kSpeeds[speedIndex] : 9600);
    s.dataBits = state.valueOf("LEn") == "0" ? 7 : 8;
    s.parity = qBound(0, state.valueOf("PrtY").toInt(), 2);
    s.stopBits = state.valueOf("Sbit") == "1" ? 2 : 1;
    return s;
}

int64_t SimServer::monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int64_t SimServer::now() const
{
    return monotonicNs() - epochNs_;
}

bool SimServer::sleepUntil(int64_t deadlineNs)
{
    // Absolute deadlines on the monotonic clock: oversleeping one character
    // does not delay the ones after it.
    const int64_t absolute = epochNs_ + deadlineNs;
    timespec ts{time_t(absolute / 1000000000), long(absolute % 1000000000)};
    while (!*stop_) {
        const int r = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
        if (r == 0)
            return true;
        if (r != EINTR)
            return true;
    }
    return false;
}

void SimServer::log(const QString& line)
{
    if (!options_.verbose)
        return;
    std::fprintf(stderr, "[%10.3f] %s\n", now() / 1e9, line.toUtf8().constData());
    std::fflush(stderr);
}

void SimServer::acceptClient()
{
    QString peer;
    const bool had = line_.hasClient();
    if (line_.acceptClient(peer)) {
        frameLength_ = 0;
        log(QStringLiteral("client connected from %1").arg(peer));
    } else if (had && !peer.isEmpty()) {
        log(QStringLiteral("client from %1 refused: busy with another").arg(peer));
    }
}

void SimServer::noteClientBaud()
{
    const int baud = line_.clientBaud();
    if (baud == 0 || baud == clientBaud_)
        return;
    clientBaud_ = baud;
    log(QStringLiteral("client set the line to %1 bit/s").arg(baud));
}

bool SimServer::run(int wakeFd, volatile std::sig_atomic_t& stopRequested, QString& error)
{
    stop_ = &stopRequested;
    char buffer[512];
    noteClientBaud();
    while (!stopRequested) {
        // The wake pipe, the line (a network client, if one is connected),
        // and the listening socket while a client may be taken (or refused).
        pollfd fds[3] = {{wakeFd, POLLIN, 0}, {-1, POLLIN, 0}, {-1, POLLIN, 0}};
        fds[1].fd = line_.fd();
        if (line_.isNetwork() && (!line_.hasClient() || options_.refuseSecondClient))
            fds[2].fd = line_.listenFd();
        // The plant keeps moving while the line is quiet, so that a request
        // after a long pause is not delayed by catching up.
        const int r = poll(fds, 3, 500);
        const int pollErrno = errno;
        if (r < 0) {
            if (pollErrno == EINTR)
                continue;
            error = QStringLiteral("poll: %1").arg(QString::fromLocal8Bit(std::strerror(pollErrno)));
            return false;
        }
        plant_.advanceTo(now() / 1000000);
        if (fds[0].revents || stopRequested)
            break;
        if (fds[2].revents & POLLIN)
            acceptClient();
        if (fds[1].fd < 0 || !(fds[1].revents & (POLLIN | POLLERR | POLLHUP)))
            continue;
        const long n = line_.read(buffer, sizeof buffer);
        if (n < 0 && line_.isNetwork()) {
            log(QStringLiteral("client disconnected"));
            line_.dropClient();
            frameLength_ = 0;
            continue;
        }
        if (n < 0) {
            error = QStringLiteral("the line %1 failed").arg(line_.clientPath());
            return false;
        }
        noteClientBaud();
        if (options_.speedCheck && n > 0 && !line_.isDevice() && !line_.isNetwork()) {
            // Characters sent at another speed arrive as noise: nothing of
            // them is understood. 14400 and 28800 bit/s are not standard
            // terminal speeds and read as 0: taken as they come.
            const int client = line_.clientBaud();
            const int device = lineSettingsOf(state_, options_.baud).baud;
            if (client > 0 && client != device) {
                log(QStringLiteral("%1 characters at %2 bit/s not understood (the device listens at %3 bit/s)")
                        .arg(n).arg(client).arg(device));
                continue;
            }
        }
        const int64_t readNs = now();
        for (long i = 0; i < n && !stopRequested; ++i) {
            // On a paced line a request's characters arrive one by one.
            const int64_t arrival = charNs_ ? std::max(readNs, inputFreeNs_) + charNs_ : readNs;
            inputFreeNs_ = arrival;
            receive(buffer[i], arrival);
        }
    }
    return true;
}

void SimServer::receive(char c, int64_t arrivalNs)
{
    using namespace kavu::codec;
    if (c == kFrameStart) {
        frame_[0] = c;
        frameLength_ = 1;
        return;
    }
    if (frameLength_ == 0)
        return;  // line noise between frames
    if (c == kFrameEnd) {
        if (frameLength_ < kMaxFrameText) {
            frame_[frameLength_++] = c;
            handleFrame(arrivalNs);
        }
        frameLength_ = 0;
        return;
    }
    if (c < kNibbleBase || c > kNibbleBase + 15 || frameLength_ >= kMaxFrameText - 1) {
        log(QStringLiteral("ignored: noise inside a frame"));
        frameLength_ = 0;
        return;
    }
    frame_[frameLength_++] = c;
}

void SimServer::handleFrame(int64_t endNs)
{
    using namespace kavu::codec;
    FrameFields fields;
    const DecodeStatus status = decodeFrame(frame_, frameLength_, nullptr, fields);
    const QByteArray text(frame_, frameLength_ - 1);
    if (status != DecodeStatus::Ok) {
        // A damaged frame may have been meant for anyone: stay silent.
        log(QStringLiteral("ignored: damaged frame %1 (%2)").arg(QString::fromLatin1(text))
                .arg(status == DecodeStatus::CrcMismatch ? "CRC" : status == DecodeStatus::ErrorReply ? "error reply" : "size"));
        return;
    }
    plant_.advanceTo(now() / 1000000);
    DeviceReply reply = responder_.respond(fields);
    ++exchanges_;
    if (!reply.send) {
        log(reply.log);
        return;
    }
    const char* fault = "";
    const QByteArray wire(reply.frame.text, reply.frame.textLength);
    const std::vector<WireSegment> segments = faults_.apply(wire, fault);
    log(QStringLiteral("#%1 %2%3").arg(exchanges_).arg(reply.log)
            .arg(*fault ? QStringLiteral(" [fault: %1]").arg(fault) : QString()));
    int64_t turnaround = int64_t(options_.turnaroundMs) * 1000000;
    if (options_.latencyMs > 0) {
        // The link's round trip, drawn anew for every reply within the jitter.
        std::uniform_int_distribution<int> jitter(-options_.jitterMs, options_.jitterMs);
        turnaround += int64_t(options_.latencyMs + (options_.jitterMs ? jitter(latencyRandom_) : 0)) * 1000000;
    }
    const int64_t start = charNs_ ? std::max(endNs, outputFreeNs_) + turnaround : now() + turnaround;
    transmit(segments, start);
    if (reply.lineSettingsChanged) {
        // Like a real device, the new speed holds from the next frame on.
        const LineSettings settings = lineSettingsOf(state_, 0);
        if (line_.isDevice()) {
            line_.drain();
            QString error;
            if (!line_.reconfigure(settings, error))
                std::fprintf(stderr, "hrc417-sim: %s\n", error.toLocal8Bit().constData());
        } else if (charNs_) {
            charNs_ = int64_t(10) * 1000000000 / settings.baud;
            log(QStringLiteral("line paced at %1 bit/s").arg(settings.baud));
        }
    }
}

void SimServer::writeOut(const char* bytes, size_t count)
{
    // A network client that has gone is noticed by the next read.
    line_.write(bytes, count);
}

void SimServer::transmit(const std::vector<WireSegment>& segments, int64_t startNs)
{
    const int piece = options_.segmentBytes;
    int64_t t = startNs;
    for (const WireSegment& segment : segments) {
        t += int64_t(segment.pauseBeforeMs) * 1000000;
        const int count = segment.bytes.size();
        if (!charNs_) {
            if (t > now() && !sleepUntil(t))
                return;
            // Pieces of a segmented link go out as separate writes.
            for (int sent = 0; sent < count; sent += piece ? piece : count)
                writeOut(segment.bytes.constData() + sent, size_t(std::min(count - sent, piece ? piece : count)));
            t = now();
            continue;
        }
        // Each character is handed over when it would have fully arrived;
        // on a segmented link a piece when its last character has.
        int sent = 0;
        while (sent < count) {
            const int next = piece ? std::min(count, sent + piece) : sent + 1;
            if (!sleepUntil(t + next * charNs_))
                return;
            int due = next;
            if (!piece) {
                const int64_t elapsed = now() - t;
                due = std::max(next, int(std::min<int64_t>(count, elapsed / charNs_)));
            }
            writeOut(segment.bytes.constData() + sent, size_t(due - sent));
            sent = due;
        }
        t += count * charNs_;
    }
    outputFreeNs_ = t;
}
