// Allocation failures on demand, for the tests that fail every allocation of
// a lifecycle in turn. Two heaps are counted apart: the runtime's allocator
// (ZRT_malloc and its kin) and the language's (every operator new, the
// standard containers and streams included). This header's source replaces
// the global operator new, so it is linked only into the executable of those
// tests.
//
// Allocations made by the test host's own code must not fail: they are the
// host's bookkeeping, not the library's. guardHostCallbacks() makes every
// callback of the host run in a HostFrame, where the language heap never
// fails (the runtime heap still does: a host that allocates through
// ZRT_calloc meets the same exhausted heap as the library).
#pragma once

#include "tests/test_host.h"

namespace testhost {

enum class Heap { Runtime, Language };
enum class Failing { Only, AndEveryLater };

// While one lives, the allocations of its heap are counted from 0; the one
// numbered `failAt` fails, and with AndEveryLater every later one as well. A
// negative `failAt` only counts. One at a time.
class AllocationFaults {
public:
    explicit AllocationFaults(Heap heap, long failAt = -1, Failing mode = Failing::Only);
    ~AllocationFaults();
    AllocationFaults(const AllocationFaults&) = delete;
    AllocationFaults& operator=(const AllocationFaults&) = delete;

    long counted() const;
    long failed() const;

    // Neither counts nor fails while one lives: the test's own checks.
    class Pause {
    public:
        Pause();
        ~Pause();
        Pause(const Pause&) = delete;
        Pause& operator=(const Pause&) = delete;
    };

private:
    ZRT_Allocator saved_;
};

// Code of the host: its language allocations never fail.
class HostFrame {
public:
    HostFrame();
    ~HostFrame();
    HostFrame(const HostFrame&) = delete;
    HostFrame& operator=(const HostFrame&) = delete;
};

// Makes every callback of the host's interface, loader and linear-algebra
// table run in a HostFrame. Messages are then recorded without formatting
// (type and text).
void guardHostCallbacks(TestHost& host);

// The "Out of memory." errors the host received.
int outOfMemoryCount(const TestHost& host);

}  // namespace testhost
