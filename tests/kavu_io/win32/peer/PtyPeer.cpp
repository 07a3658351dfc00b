#include "PtyPeer.h"

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <stdexcept>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace kavu::test {
namespace {

// Longest a single read waits, so that finish() and deadlines are seen soon.
constexpr DWORD kReadSliceMs = 10;

struct PortPair {
    std::string libraryEnd;
    std::string peerEnd;
    bool inUse = false;
};

std::mutex g_pairsMutex;

std::vector<PortPair>& pairs()
{
    static std::vector<PortPair> list = [] {
        std::vector<PortPair> parsed;
        const char* listed = std::getenv("KAVU_TEST_PEER_PAIRS");
        std::string text = listed ? listed : "";
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find(',', start);
            if (end == std::string::npos)
                end = text.size();
            const std::string item = text.substr(start, end - start);
            const std::size_t colon = item.find(':');
            if (colon != std::string::npos && colon > 0 && colon + 1 < item.size())
                parsed.push_back({item.substr(0, colon), item.substr(colon + 1), false});
            start = end + 1;
        }
        return parsed;
    }();
    return list;
}

HANDLE handleOf(void* p) { return static_cast<HANDLE>(p); }

}  // namespace

double nowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

PtyPeer::PtyPeer()
{
    std::string peerEnd;
    {
        std::lock_guard<std::mutex> hold(g_pairsMutex);
        auto& list = pairs();
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (!list[i].inUse) {
                list[i].inUse = true;
                pair_ = static_cast<int>(i);
                slaveName_ = list[i].libraryEnd;
                peerEnd = list[i].peerEnd;
                break;
            }
        }
    }
    if (pair_ < 0)
        throw std::runtime_error("no free COM port pair in KAVU_TEST_PEER_PAIRS");

    const std::string path = "\\\\.\\" + peerEnd;
    HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        std::lock_guard<std::mutex> hold(g_pairsMutex);
        pairs()[static_cast<std::size_t>(pair_)].inUse = false;
        throw std::runtime_error("peer end " + peerEnd + " does not open");
    }
    port_ = port;
    // A read returns with the first character or after one slice.
    COMMTIMEOUTS t{};
    t.ReadTotalTimeoutConstant = kReadSliceMs;
    SetCommTimeouts(port, &t);
    PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR);
    stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    readEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    writeEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

PtyPeer::~PtyPeer()
{
    join();
    for (void* h : {port_, stop_, readEvent_, writeEvent_})
        if (h)
            CloseHandle(handleOf(h));
    std::lock_guard<std::mutex> hold(g_pairsMutex);
    pairs()[static_cast<std::size_t>(pair_)].inUse = false;
}

bool PtyPeer::stopping() const
{
    return WaitForSingleObject(handleOf(stop_), 0) == WAIT_OBJECT_0;
}

int PtyPeer::readSome(char* buffer, int size)
{
    OVERLAPPED ov{};
    ov.hEvent = handleOf(readEvent_);
    ResetEvent(ov.hEvent);
    DWORD got = 0;
    if (!ReadFile(handleOf(port_), buffer, static_cast<DWORD>(size), &got, &ov)) {
        if (GetLastError() != ERROR_IO_PENDING)
            return 0;
        if (!GetOverlappedResult(handleOf(port_), &ov, &got, TRUE)) {
            if (GetLastError() != ERROR_TIMEOUT)   // Wine's report of a time-out
                return 0;
            got = static_cast<DWORD>(ov.InternalHigh);
        }
    }
    return static_cast<int>(got);
}

std::string PtyPeer::readRequest(int timeoutMs)
{
    const double deadline = nowMs() + timeoutMs;
    std::string text;
    char c;
    while (nowMs() < deadline) {
        if (readSome(&c, 1) != 1) {
            if (stopping())
                return {};
            continue;
        }
        if (text.empty() && c != '#')
            continue;
        text.push_back(c);
        if (c == '\r')
            return text;
        if (text.size() > 64)
            text.clear();
    }
    return {};
}

std::string PtyPeer::readAny(int timeoutMs)
{
    const double deadline = nowMs() + timeoutMs;
    std::string text;
    char buffer[256];
    while (nowMs() < deadline) {
        const int n = readSome(buffer, sizeof buffer);
        if (n > 0)
            text.append(buffer, static_cast<std::size_t>(n));
        else if (stopping())
            break;
    }
    return text;
}

void PtyPeer::write(const std::string& text)
{
    writeBytes(text.data(), text.size());
}

void PtyPeer::writeBytes(const void* data, std::size_t length)
{
    if (length == 0)
        return;
    OVERLAPPED ov{};
    ov.hEvent = handleOf(writeEvent_);
    ResetEvent(ov.hEvent);
    DWORD written = 0;
    if (!WriteFile(handleOf(port_), data, static_cast<DWORD>(length), &written, &ov)
        && GetLastError() == ERROR_IO_PENDING)
        GetOverlappedResult(handleOf(port_), &ov, &written, TRUE);
}

void PtyPeer::drain()
{
    PurgeComm(handleOf(port_), PURGE_RXABORT | PURGE_RXCLEAR);
}

void PtyPeer::run(std::function<void(PtyPeer&)> script)
{
    join();
    ResetEvent(handleOf(stop_));
    thread_ = std::thread([this, script = std::move(script)] { script(*this); });
}

void PtyPeer::join()
{
    if (thread_.joinable())
        thread_.join();
}

void PtyPeer::finish()
{
    if (!thread_.joinable())
        return;
    SetEvent(handleOf(stop_));
    thread_.join();
    ResetEvent(handleOf(stop_));
}

}  // namespace kavu::test
