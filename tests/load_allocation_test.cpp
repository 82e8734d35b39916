// Nothing is allocated on the load path: every model's full and
// right-hand-side loads, with noise off and (after the first noise load has
// made the contribution lists the host keeps) with noise on, under a
// counting allocator. The allocator replaces the C library's malloc family
// in this program alone, so this test is not built with the sanitizers,
// which replace it themselves.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

#include "dsl/ZRT_SupportLib.h"
#include "tests/model_fixture.h"

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
}

namespace {

// Allocations while counting is on.
bool counting = false;
long allocations = 0;

void note() {
    if (counting) {
        ++allocations;
    }
}

}  // namespace

extern "C" {
void* malloc(size_t size) {
    note();
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    note();
    return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) {
    note();
    return __libc_realloc(p, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
    note();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
    note();
    void* p = __libc_memalign(alignment, size);
    if (p == nullptr) {
        return 12;  // ENOMEM
    }
    *out = p;
    return 0;
}
void free(void* p) { __libc_free(p); }
}

namespace {

using namespace testhost;

// Loads that add into one cell: the test host's recording loads allocate.
void addNothing(int32_t, const ZRT_Handle*, const double*, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) {}
void delayNothing(ZRT_GenericOperatorState*, ZRT_Handle, double, double, double, const s_ZRT_ContribLoader*,
                  s_ZRT_DeviceInst*) {}
void delayDerivNothing(ZRT_GenericOperatorState*, ZRT_Handle, double, const s_ZRT_ContribLoader*,
                       s_ZRT_DeviceInst*) {}

// Allocations of `loads` rounds of a full and a right-hand-side load.
long allocationsOf(ModelCircuit& mc, const s_ZRT_ContribLoader& loader, int loads) {
    allocations = 0;
    counting = true;
    for (int k = 0; k < loads; ++k) {
        mc.model.md.genericAnalogLoad(mc.model.get(), &loader);
        mc.model.md.genericAnalogLoadRHS(mc.model.get(), &loader);
    }
    counting = false;
    return allocations;
}

class LoadAllocation : public ModuleTest {};

TEST_P(LoadAllocation, LoadsAllocateNothing) {
    TestHost host;
    ModelCircuit mc(host, GetParam());
    ASSERT_TRUE(mc.solve(-0.5, 4.0).converged);
    s_ZRT_ContribLoader loader = host.loader;
    loader.LoadStaticRhs = loader.LoadDynamicRhs = addNothing;
    loader.LoadStaticJacobian = loader.LoadDynamicJacobian = addNothing;
    loader.LoadStaticDoublet = loader.LoadDynamicDoublet = addNothing;
    loader.LoadDelay = delayNothing;
    loader.LoadDelay_dwrt = delayDerivNothing;

    // The counter sees what this library allocates.
    counting = true;
    allocations = 0;
    ZRT_free(ZRT_malloc(16, mc.model.get()->pSim, nullptr, nullptr));
    counting = false;
    ASSERT_EQ(allocations, 1);

    for (int32_t initial : {1, 0}) {
        host.isInitialStep = initial;
        host.doNoise = 0;
        EXPECT_EQ(allocationsOf(mc, loader, 3), 0) << "noise off, initial step " << initial;
        // A noise load makes each source's contribution node once, for the
        // host to keep; later noise loads reuse them.
        host.doNoise = 1;
        const long firstNoiseLoad = allocationsOf(mc, loader, 1);
        if (initial == 1) {
            EXPECT_GT(firstNoiseLoad, 0) << "the first noise load makes the contribution nodes";
        }
        EXPECT_EQ(allocationsOf(mc, loader, 3), 0) << "noise on, initial step " << initial;
    }
}

INSTANTIATE_TEST_SUITE_P(Models, LoadAllocation, ::testing::ValuesIn(kModules), ModuleName());

}  // namespace
