#include "tests/allocation_faults.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include <gtest/gtest.h>

#include "dsl/ZRT_SupportLib.h"
#include "tests/stream_bytes.h"

namespace testhost {

namespace {

struct Plan {
    bool armed = false;
    Heap heap = Heap::Runtime;
    long failAt = -1;
    Failing mode = Failing::Only;
    long counted = 0;
    long failed = 0;
};

Plan g_plan;
int g_paused = 0;
thread_local int t_hostDepth = 0;

// Counts one allocation of `heap`; true when it is to fail.
bool failNext(Heap heap) {
    if (!g_plan.armed || g_plan.heap != heap || g_paused > 0 || (heap == Heap::Language && t_hostDepth > 0)) {
        return false;
    }
    const long k = g_plan.counted++;
    const bool fail = g_plan.failAt >= 0 && (k == g_plan.failAt || (g_plan.mode == Failing::AndEveryLater && k > g_plan.failAt));
    g_plan.failed += fail ? 1 : 0;
    return fail;
}

void* runtimeMalloc(size_t size) { return failNext(Heap::Runtime) ? nullptr : std::malloc(size); }
void* runtimeCalloc(size_t count, size_t size) {
    return failNext(Heap::Runtime) ? nullptr : std::calloc(count, size);
}
void* runtimeRealloc(void* block, size_t size) {
    return failNext(Heap::Runtime) ? nullptr : std::realloc(block, size);
}

void* languageAlloc(size_t size) {
    if (failNext(Heap::Language)) {
        return nullptr;
    }
    return std::malloc(size != 0 ? size : 1);
}

// ---- host callbacks in a host frame ----------------------------------------

// Wraps the callback in `slot` so that it runs in a host frame; `Id` keeps
// the wrappers of slots of one type apart.
template <class Fn, int Id>
struct Guard;
template <class R, class... A, int Id>
struct Guard<R (*)(A...), Id> {
    static inline R (*original)(A...) = nullptr;
    static R call(A... args) {
        HostFrame frame;
        return original(args...);
    }
    static void wrap(R (*&slot)(A...)) {
        if (slot != nullptr && slot != call) {
            original = slot;
            slot = call;
        }
    }
};
#define HBX_GUARD(record, slot) Guard<decltype(record.slot), __COUNTER__>::wrap(record.slot)

// The callbacks of the simulator-parameter table, one guard per entry.
template <size_t... I>
void guardSimParams(s_ZRT_SimInterface& sim, std::index_sequence<I...>) {
    ((I < sim.numSimParams ? Guard<ZRT_SimParamFn, 1000 + static_cast<int>(I)>::wrap(sim.simParams[I].fn) : void()),
     ...);
}

ZRT_FormAnalysisQueryMaskFn g_formMask = nullptr;
ZRT_LinAlgTable g_linAlg{};

// The three slots with a C `...`: a variable argument list cannot be passed
// on, so each is served here. The runtime asks one analysis name at a time.
uint32_t guardedFormMask(s_ZRT_SimInterface* sim, int32_t count, ...) {
    HostFrame frame;
    uint32_t mask = 0;
    va_list names;
    va_start(names, count);
    for (int32_t i = 0; i < count; ++i) {
        mask |= g_formMask(sim, 1, va_arg(names, const char*));
    }
    va_end(names);
    return mask;
}

int32_t recordMessage(int32_t type, const char* text, s_ZRT_DeviceInst* inst, s_ZRT_SimInterface* sim, ...) {
    HostFrame frame;
    const std::string copy = text != nullptr ? text : "";
    TestHost::current().messages.push_back({type, copy, copy, inst, sim, nullptr});
    return TestHost::current().messageAnswer;
}

}  // namespace

AllocationFaults::AllocationFaults(Heap heap, long failAt, Failing mode) : saved_(zrtAllocator()) {
    g_plan = Plan{true, heap, failAt, mode, 0, 0};
    zrtAllocator().malloc = runtimeMalloc;
    zrtAllocator().calloc = runtimeCalloc;
    zrtAllocator().realloc = runtimeRealloc;
}

AllocationFaults::~AllocationFaults() {
    g_plan.armed = false;
    zrtAllocator() = saved_;
}

long AllocationFaults::counted() const { return g_plan.counted; }
long AllocationFaults::failed() const { return g_plan.failed; }

AllocationFaults::Pause::Pause() { ++g_paused; }
AllocationFaults::Pause::~Pause() { --g_paused; }

HostFrame::HostFrame() { ++t_hostDepth; }
HostFrame::~HostFrame() { --t_hostDepth; }

void guardHostCallbacks(TestHost& host) {
    s_ZRT_SimInterface& sim = host.sim;
    HBX_GUARD(sim, CreateSystemStateVar);
    HBX_GUARD(sim, CreateBranch);
    HBX_GUARD(sim, CreateStaticRhsStamp);
    HBX_GUARD(sim, CreateDynamicRhsStamp);
    HBX_GUARD(sim, CreateDelayStamp);
    HBX_GUARD(sim, ReportNoiseContrib);
    HBX_GUARD(sim, CreateDerivDoublet);
    HBX_GUARD(sim, CreateJacobianStamp);
    HBX_GUARD(sim, ReportLimitCorrection);
    HBX_GUARD(sim, CreateDelaySpec);
    HBX_GUARD(sim, CopyDelaySpec);
    HBX_GUARD(sim, ResetCrossEvent);
    HBX_GUARD(sim, SaveCrossEvent);
    HBX_GUARD(sim, RestoreCrossEvent);
    HBX_GUARD(sim, CreateRandomDesc);
    HBX_GUARD(sim, SystemTask);
    HBX_GUARD(sim, FileOpen);
    HBX_GUARD(sim, FileClose);
    HBX_GUARD(sim, FileWrite);
    HBX_GUARD(sim, FileScan);
    HBX_GUARD(sim, FileFlush);
    HBX_GUARD(sim, FileSeek);
    HBX_GUARD(sim, FileTell);
    HBX_GUARD(sim, FileEof);
    HBX_GUARD(sim, FileError);
    HBX_GUARD(sim, MathCheck);
    HBX_GUARD(sim, ReportTopology);
    if (sim.simParams != nullptr) {
        guardSimParams(sim, std::make_index_sequence<TestHost::kMaxSimParams>());
    }
    if (sim.FormAnalysisQueryMask != nullptr && sim.FormAnalysisQueryMask != guardedFormMask) {
        g_formMask = sim.FormAnalysisQueryMask;
        sim.FormAnalysisQueryMask = guardedFormMask;
    }
    sim.Message = recordMessage;
    // This host makes no cross or above events of its own.
    sim.CreateCrossEvent = nullptr;
    if (sim.pLinAlg != nullptr && sim.pLinAlg != &g_linAlg) {
        g_linAlg = *sim.pLinAlg;
        HBX_GUARD(g_linAlg, eigen);
        sim.pLinAlg = &g_linAlg;
    }

    s_ZRT_ContribLoader& loader = host.loader;
    HBX_GUARD(loader, LoadStaticRhs);
    HBX_GUARD(loader, LoadDynamicRhs);
    HBX_GUARD(loader, LoadStaticJacobian);
    HBX_GUARD(loader, LoadStaticDoublet);
    HBX_GUARD(loader, LoadDynamicJacobian);
    HBX_GUARD(loader, LoadDynamicDoublet);
    HBX_GUARD(loader, LoadRhsAC);
    HBX_GUARD(loader, LoadDelay);
    HBX_GUARD(loader, LoadDelay_dwrt);
    HBX_GUARD(loader, AcceptDelay);
    HBX_GUARD(loader, LoadZ_Transform);
    HBX_GUARD(loader, LoadZ_Transform_dwrt);
    HBX_GUARD(loader, GetSol);
    HBX_GUARD(loader, DoNoise);
    HBX_GUARD(loader, DoStrobe);
    HBX_GUARD(loader, DoStrobeAux);
    HBX_GUARD(loader, ReportDiscontinuity);
    HBX_GUARD(loader, DoBoundStep);
    HBX_GUARD(loader, CrossEventSignal);
    HBX_GUARD(loader, AcceptCrossEvent);
    HBX_GUARD(loader, ReportCrossViolation);
    HBX_GUARD(loader, IsInitialStep);
    HBX_GUARD(loader, IsFinalStep);
    HBX_GUARD(loader, GetTime);
    HBX_GUARD(loader, GetMinStep);
    HBX_GUARD(loader, GetFreq);
    HBX_GUARD(loader, GetDefault);
    HBX_GUARD(loader, GetAnalysisQueryMask);
    HBX_GUARD(loader, pRequestIntStep);
}

int outOfMemoryCount(const TestHost& host) {
    int count = 0;
    for (const MessageRecord& m : host.messages) {
        count += m.type == 2 && m.text == "Out of memory." ? 1 : 0;
    }
    return count;
}

// ---- the sweep ----------------------------------------------------------------

void LifeReport::fault(const std::string& text) {
    HostFrame frame;
    faults.push_back(text);
}

namespace {

// One run of a lifecycle on a fresh host with the given allocation failing;
// answers what is wrong with it.
std::vector<std::string> runOnce(const Lifecycle& life, Heap heap, long failAt, Failing mode, SweepFigures& figures,
                                 long* counted = nullptr) {
    TestHost host;
    guardHostCallbacks(host);
    LifeReport report;
    long failed = 0;
    {
        AllocationFaults faults(heap, failAt, mode);
        try {
            life(host, report);
        } catch (const std::exception& e) {
            HostFrame frame;
            report.fault(std::string("exception left the library: ") + e.what());
        } catch (...) {
            HostFrame frame;
            report.fault("exception left the library");
        }
        failed = faults.failed();
        if (counted != nullptr) {
            *counted = faults.counted();
        }
    }
    ++figures.lifecycles;
    figures.failedAllocations += failed;
    const int reported = outOfMemoryCount(host);
    if (failed > 0 && !report.unreportedAllowed && (reported == 0 || host.exitCount() < reported)) {
        report.faults.push_back("a failed allocation went without \"Out of memory.\" and \"exit\"");
    }
    if (failed == 0 && reported > 0) {
        report.faults.push_back("\"Out of memory.\" without a failed allocation");
    }
    return report.faults;
}

}  // namespace

SweepFigures sweep(const char* name, const Lifecycle& life) {
    SweepFigures figures;
    for (Heap heap : {Heap::Runtime, Heap::Language}) {
        const char* heapName = heap == Heap::Runtime ? "runtime" : "language";
        long total = 0;
        const auto clean = runOnce(life, heap, -1, Failing::Only, figures, &total);
        EXPECT_TRUE(clean.empty()) << name << ": " << (clean.empty() ? "" : clean.front());
        // Operators that save nothing make no language allocation.
        if (heap == Heap::Runtime) {
            EXPECT_GT(total, 0) << name << " makes no runtime allocation";
        }
        for (long k = 0; k < total; ++k) {
            for (Failing mode : {Failing::Only, Failing::AndEveryLater}) {
                for (const std::string& fault : runOnce(life, heap, k, mode, figures)) {
                    ADD_FAILURE() << name << ", " << heapName << " allocation " << k
                                  << (mode == Failing::Only ? " alone" : " and every later one") << ": " << fault;
                }
            }
        }
    }
    std::printf("%s: %ld lifecycles, %ld allocations failed\n", name, figures.lifecycles, figures.failedAllocations);
    return figures;
}

OperatorHost::OperatorHost(TestHost& host) {
    HostFrame frame;
    inst.emplace(host, &md, TestInstance::Shape{});
    other.emplace(host, &md, TestInstance::Shape{}, "x2");
    host.solution.assign(16, 0.25);
}

OperatorHost::~OperatorHost() {
    HostFrame frame;
    inst.reset();
    other.reset();
}

ZRT_NoiseSrc* OperatorHost::noise() {
    s_ZRT_DeviceInst* i = inst->get();
    if (i->noiseSrcs[0].inst == nullptr) {
        ZRT_setNoiseSrcInfo(&i->noiseSrcs[0], ZRT_WHITE_NOISE_SRC, 0, "__white__", i);
    }
    return &i->noiseSrcs[0];
}

int32_t roundTrip(s_ZRT_DeviceInst* inst, void* record, void* back, ZRT_GenericOperatorState** saved,
                  ZRT_GenericOperatorState** target, int32_t count) {
    s_ZRT_DeviceState state{record, count, 0, saved, 0, 0, nullptr, inst};
    uint32_t byteCount = 0;
    const uint8_t* bytes = ZRT_SaveDeviceState(&state, inst, &byteCount);
    std::optional<std::vector<uint8_t>> copy;
    if (bytes != nullptr) {
        HostFrame frame;
        copy.emplace(bytes, bytes + byteCount);
    }
    ZRT_FreeDeviceSerializer(inst, 1);
    for (int32_t i = 0; i < count; ++i) {
        releaseOperatorState(saved[i]);
        saved[i] = nullptr;
    }
    if (!copy) {
        return -1;
    }
    s_ZRT_DeviceState restored{back, count, 0, target, 0, 0, nullptr, inst};
    const int32_t answer = ZRT_RestoreDeviceState(copy->data(), static_cast<uint32_t>(copy->size()), &restored, inst);
    ZRT_FreeDeviceSerializer(inst, 0);
    return answer;
}

int32_t roundTrip(s_ZRT_DeviceInst* inst, ZRT_GenericOperatorState* saved, ZRT_GenericOperatorState* target) {
    OneDoubleRec record{serializeOneDouble, 1.5};
    ZRT_GenericOperatorState* savedStates[1] = {saved};
    ZRT_GenericOperatorState* targets[1] = {target};
    return roundTrip(inst, &record, &record, savedStates, targets, 1);
}

}  // namespace testhost

// ---- the language's allocation ------------------------------------------------

void* operator new(size_t size) {
    if (void* block = testhost::languageAlloc(size)) {
        return block;
    }
    throw std::bad_alloc();
}
void* operator new[](size_t size) { return ::operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return testhost::languageAlloc(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return testhost::languageAlloc(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }
void operator delete[](void* block, size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
