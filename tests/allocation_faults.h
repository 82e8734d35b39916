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

#include <functional>
#include <optional>
#include <string>
#include <vector>

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

// Makes every callback of the host's interface, loader, linear-algebra and
// simulator-parameter tables run in a HostFrame (again after a parameter is
// added). Messages are then recorded without formatting
// (type and text).
void guardHostCallbacks(TestHost& host);

// The "Out of memory." errors the host received.
int outOfMemoryCount(const TestHost& host);

// ---- the sweep ----------------------------------------------------------------

// What one lifecycle found wrong, one line a fault.
struct LifeReport {
    std::vector<std::string> faults;
    // Set when an allocation that the runtime does not report may have
    // failed: the run is then not held to "Out of memory.".
    bool unreportedAllowed = false;
    void fault(const std::string& text);  // recorded in a host frame
};

using Lifecycle = std::function<void(TestHost&, LifeReport&)>;

struct SweepFigures {
    long lifecycles = 0;
    long failedAllocations = 0;
};

// Runs the lifecycle on a fresh host (callbacks guarded) once with every
// allocation granted, then, for each heap and each allocation k it made,
// with the k-th failing alone and with the k-th and every later one. Every
// fault is a test failure naming the run: an exception out of the library,
// a failed allocation the host did not hear of as "Out of memory." and
// "exit", one heard of without a failed allocation, and whatever the
// lifecycle reports. Prints and answers the figures.
SweepFigures sweep(const char* name, const Lifecycle& life);

// An instance for operators alone, allocated by the host in a host frame,
// with a second one for clones.
struct OperatorHost {
    explicit OperatorHost(TestHost& host);
    ~OperatorHost();
    OperatorHost(const OperatorHost&) = delete;
    OperatorHost& operator=(const OperatorHost&) = delete;
    // The instance's first noise source, set up once as a model sets it up.
    ZRT_NoiseSrc* noise();
    s_ZRT_DeviceInst* get() { return inst->get(); }

    s_ZRT_ModuleDesc md{};
    std::optional<TestInstance> inst;
    std::optional<TestInstance> other;
};

// Saves the `count` states of `saved` (released by the save; a failed save
// leaves them, and they are released here) behind the module record
// `record` through the instance's stream, and reads the bytes back into
// `target` behind `back`. Answers the restore's answer, or -1 when the save
// answered nothing.
int32_t roundTrip(s_ZRT_DeviceInst* inst, void* record, void* back, ZRT_GenericOperatorState** saved,
                  ZRT_GenericOperatorState** target, int32_t count);
// One operator state behind a record of one double.
int32_t roundTrip(s_ZRT_DeviceInst* inst, ZRT_GenericOperatorState* saved, ZRT_GenericOperatorState* target);

}  // namespace testhost
