// An exchange allocates nothing: every allocation made by the calling
// thread is counted over 1000 exchanges (and over failing ones).
#include "PtyPeer.h"
#include "kavu_io.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#if defined(__GNUC__) && !defined(__clang__)
// These are the replacement allocation functions themselves: free() of
// what our operator new got from malloc() is the matching pair.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {
thread_local bool t_counting = false;
thread_local long t_allocations = 0;

void noteAllocation() {
    if (t_counting) ++t_allocations;
}
}  // namespace

// Replacing operator new catches the library's C++ allocations.
void* operator new(std::size_t size) {
    noteAllocation();
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    noteAllocation();
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// Without sanitizers (which own malloc), C allocations are counted too.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* malloc(std::size_t size) {
    noteAllocation();
    return __libc_malloc(size);
}
void* calloc(std::size_t n, std::size_t size) {
    noteAllocation();
    return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t size) {
    noteAllocation();
    return __libc_realloc(p, size);
}
}
#define KAVU_COUNTS_MALLOC 1
#endif

using kavu::test::PtyPeer;

TEST(Allocations, TheCounterSeesAllocations) {
    t_allocations = 0;
    t_counting = true;
    auto* p = new std::string(100, 'x');
    void* q = std::malloc(64);
    t_counting = false;
    delete p;
    std::free(q);
#ifdef KAVU_COUNTS_MALLOC
    EXPECT_GE(t_allocations, 3);
#else
    EXPECT_GE(t_allocations, 2);
#endif
}

TEST(Allocations, NoneOverAThousandExchanges) {
    PtyPeer peer;
    ASSERT_EQ(SetPortName(30, peer.slaveName().c_str()), 0);
    SetMaxRetriesGlobal(0);
    SetTimeout(-164);
    ASSERT_EQ(OpenPort(30, 8, 0, 1, 0, 1), 0);
    peer.run([](PtyPeer& p) {
        for (;;) {
            const std::string r = p.readRequest(5000);
            if (r.empty()) return;
            p.write(kavu::test::replyTo(r, {0x12, 0x34}));
        }
    });
    int value = 0;
    ASSERT_EQ(ReadUInt(16, 0, "A.Len", &value, -1), 0);   // first use outside the count

    int failures = 0;
    t_allocations = 0;
    t_counting = true;
    for (int n = 0; n < 1000; ++n)
        if (ReadUInt(16, 0, "A.Len", &value, -1) != 0 || value != 0x1234) ++failures;
    char text[KAVU_ERROR_TEXT_SIZE];
    LastErrToStr(text);
    float f;
    ReadFloat24(16, 0, "A.Len", &f, 2);   // a failing check (-101)
    t_counting = false;
    const long counted = t_allocations;

    EXPECT_EQ(failures, 0);
    EXPECT_EQ(counted, 0);
    peer.finish();

    // Failed exchanges (time-outs) allocate nothing either.
    t_allocations = 0;
    t_counting = true;
    for (int n = 0; n < 3; ++n) (void)ReadUInt(16, 0, "A.Len", &value, -1);
    t_counting = false;
    EXPECT_EQ(t_allocations, 0);
    EXPECT_EQ(ClosePort(), 0);
    SetPortName(30, nullptr);
    SetTimeout(0);
    SetMaxRetriesGlobal(1);
#ifdef KAVU_COUNTS_MALLOC
    RecordProperty("counts", "operator new and malloc");
#else
    RecordProperty("counts", "operator new");
#endif
}
