// Every allocation of a lifecycle failed in turn: for each k, the k-th
// allocation alone and the k-th with every later one, of the runtime's
// allocator and of the language's, separately. Whatever fails, no exception
// leaves the library, nothing aborts or leaks (the sanitizer build checks),
// the host hears "Out of memory." and "exit", and a save that answers bytes
// answers a whole stream.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "dsl/ZRT_SupportLib.h"
#include "tests/allocation_faults.h"
#include "tests/model_fixture.h"
#include "tests/model_host.h"

namespace {

using testhost::AllocationFaults;
using testhost::Failing;
using testhost::Heap;
using testhost::HostFrame;
using testhost::ModelInstance;
using testhost::ModuleSpec;
using testhost::TestHost;

using testhost::LifeReport;
using testhost::OperatorHost;
using testhost::restoreState;
using testhost::roundTrip;
using testhost::sweep;

// ---- the nine modules -----------------------------------------------------------

// A save through the descriptor; the bytes copied out by the host.
std::optional<std::vector<uint8_t>> save(ModelInstance& m) {
    s_ZRT_DeviceState state{};
    uint32_t count = 0;
    const uint8_t* bytes = m.md.saveDeviceState(m.get(), &state, &count);
    std::optional<std::vector<uint8_t>> out;
    if (bytes != nullptr) {
        HostFrame frame;
        out.emplace(bytes, bytes + count);
    }
    m.md.freeDeviceSerializer(m.get(), 1);
    return out;
}

bool hasDelayState(ModelInstance& m) {
    if (!m.spec.delayOp || m.get()->pModuleData == nullptr) {
        return true;
    }
    const auto* op = static_cast<const ZRT_OpBranch_delay*>(m.block().op());
    return op != nullptr && op->delayState != nullptr;
}

// Registration, set-up, loads (initial step, right-hand side, noise), an
// accepted point, save, restore, clone, reset and destroy.
void moduleLife(const ModuleSpec& spec, TestHost& host, LifeReport& report) {
    std::optional<ModelInstance> m;
    std::optional<ModelInstance> twin;
    {
        HostFrame frame;
        m.emplace(host, spec, "m1");
        twin.emplace(host, spec, "m2");
        m->inst.realParams = testhost::kRealParams;
        m->get()->realParams = m->inst.realParams.data();
        host.solution.assign(64, 0.0);
        for (size_t i = 0; i < host.solution.size(); ++i) {
            host.solution[i] = 0.05 * static_cast<double>(i % 7);
        }
    }
    s_ZRT_ModuleDesc& md = m->md;
    s_ZRT_DeviceInst* inst = m->get();
    m->setUp();
    host.isInitialStep = 1;
    md.genericAnalogLoad(inst, &host.loader);
    host.isInitialStep = 0;
    md.genericAnalogLoadRHS(inst, &host.loader);
    host.doNoise = 1;
    md.genericAnalogLoad(inst, &host.loader);
    host.doNoise = 0;
    md.tranAcceptPoint(inst, &host.loader);
    md.setMemoryStates(inst);

    const auto bytes = save(*m);
    if (bytes) {
        // A stream answered as saved is whole: the instance takes it back,
        // unless it has no delay state to read the payload into.
        AllocationFaults::Pause pause;
        if (restoreState(*m, *bytes) != (hasDelayState(*m) ? 1 : 0)) {
            report.fault("a saved stream does not restore into its own instance");
        }
    }
    if (bytes) {
        restoreState(*m, *bytes);
    }

    if (void* block = inst->pModuleData) {
        const auto clone = *static_cast<ZRT_CloneFn*>(block);
        twin->get()->pModuleData = clone(block, twin->get(), twin->get());
        twin->destroy();
    }
    md.resetMemoryStates(inst);
    md.forceExecInvarCode(inst, 1);
    md.genericAnalogLoad(inst, &host.loader);
    m->destroy();
    HostFrame frame;
    m.reset();
    twin.reset();
}

using ModuleSweep = testhost::ModuleTest;

TEST_P(ModuleSweep, EveryAllocationOfALifecycleFailsInTurn) {
    const ModuleSpec spec = GetParam();
    sweep(spec.name, [&](TestHost& host, LifeReport& report) { moduleLife(spec, host, report); });
}

INSTANTIATE_TEST_SUITE_P(AllModules, ModuleSweep, ::testing::ValuesIn(testhost::kModules), testhost::ModuleName());

// ---- the runtime operators --------------------------------------------------------

void absdelayLife(TestHost& host, LifeReport&) {
    OperatorHost oh(host);
    s_ZRT_DeviceInst* inst = oh.inst->get();
    ZRT_OpBranch_delay* op = ZRT_createOpBranch_delay("_opdelay1", inst);
    ZRT_delayFinalizeTopology(op, nullptr, nullptr);
    ZRT_delaySetStamp(op, nullptr);
    const ZRT_Handle doublet = ZRT_getDerivDoubletOpBranch_delay(op, nullptr, nullptr, nullptr, 1, nullptr);
    for (double t : {0.0, 1e-9, 2e-9}) {
        host.time = t;
        ZRT_delaySetArg(op, t * 1e9, -1e-9, 0.0, &host.loader);
        ZRT_delaySetArg_dwrt(op, doublet, 1.0, &host.loader);
        ZRT_delayGenericLoad(op, &host.loader);
        ZRT_delayGenericLoadRHS(op, &host.loader);
        ZRT_addNoiseForOp_delay(oh.noise(), op, 1.0);
        ZRT_delayAcceptTimePoint(op, &host.loader);
    }
    if (op != nullptr) {
        ZRT_GenericOperatorState* target = ZRT_delaySaveState(op);
        if (roundTrip(inst, ZRT_delaySaveState(op), target) == 1 && target != nullptr) {
            ZRT_delayRestoreState(op, target);
        }
        releaseOperatorState(target);
    }
    ZRT_destroyOpBranch_delay(ZRT_OpClone_delay(op, oh.other->get()));
    ZRT_delayReset(op);
    ZRT_destroyOpBranch_delay(op);
}

void transitionLife(TestHost& host, LifeReport&) {
    OperatorHost oh(host);
    s_ZRT_DeviceInst* inst = oh.inst->get();
    ZRT_OpBranch_transition* op = ZRT_createOpBranch_transition("_optransition1", inst, 0.0);
    for (double t : {0.0, 1.0, 1.5, 2.0, 2.05, 3.0}) {
        host.time = t;
        ZRT_transitionSetArg(op, t < 1.5 ? t : 2.0 - t, 0.5, 0.1, 0.1, 0.0, &host.loader);
        ZRT_transitionAcceptTimePoint(op, &host.loader);
    }
    if (op != nullptr) {
        ZRT_GenericOperatorState* target = ZRT_transitionSaveState(op);
        if (roundTrip(inst, ZRT_transitionSaveState(op), target) == 1 && target != nullptr) {
            ZRT_transitionRestoreState(op, target);
        }
        releaseOperatorState(target);
    }
    ZRT_destroyOpBranch_transition(ZRT_OpClone_transition(op, oh.other->get()));
    ZRT_transitionReset(op);
    ZRT_destroyOpBranch_transition(op);
}

void slewLife(TestHost& host, LifeReport&) {
    OperatorHost oh(host);
    ZRT_OpBranch_slew* op = ZRT_createOpBranch_slew("_slew1", oh.inst->get());
    for (double t : {0.0, 1.0, 2.0}) {
        host.time = t;
        ZRT_slewSetArg(op, t, 0.5, -0.5, &host.loader);
        ZRT_slewAcceptTimePoint(op);
    }
    ZRT_destroyOpBranch_slew(ZRT_OpClone_slew(op, oh.other->get()));
    ZRT_slewReset(op);
    ZRT_destroyOpBranch_slew(op);
}

void ddtLife(TestHost& host, LifeReport&) {
    OperatorHost oh(host);
    s_ZRT_DeviceInst* inst = oh.inst->get();
    ZRT_OpBranch_ddt* op = ZRT_createOpBranch_ddt("_ddt1", inst);
    ZRT_ddtFinalizeTopology(op, nullptr, 0);
    ZRT_ddtSetStamp(op, nullptr);
    const ZRT_Handle doublet = ZRT_getDerivDoubletOpBranch_ddt(op, nullptr, nullptr, 0, 1, nullptr);
    ZRT_OpBranch_ddt_setArg(op, 1.0, &host.loader);
    ZRT_OpBranch_ddt_setArg_dwrt(op, doublet, 1.0, &host.loader);
    ZRT_ddtGenericLoad(op, &host.loader);
    ZRT_ddtGenericLoadRHS(op, &host.loader);
    ZRT_addNoiseForOp_ddt(oh.noise(), op, nullptr, 1.0);
    ZRT_destroyOpBranch_ddt(ZRT_OpClone_ddt(op, oh.other->get()));
    ZRT_destroyOpBranch_ddt(op);
}

void idtLife(TestHost& host, LifeReport&) {
    OperatorHost oh(host);
    s_ZRT_DeviceInst* inst = oh.inst->get();
    ZRT_OpBranch_idt* op = ZRT_createOpBranch_idt("_idt1", inst);
    ZRT_idtFinalizeTopology(op, nullptr, 0);
    ZRT_idtSetStamp(op, nullptr);
    const ZRT_Handle doublet = ZRT_getDerivDoubletOpBranch_idt(op, nullptr, nullptr, 0, 1, nullptr);
    for (double t : {0.0, 1.0, 2.0}) {
        host.time = t;
        ZRT_idtSetArg3(op, 1.0, 0.0, &host.loader);
        ZRT_idtSetArg_dwrt(op, doublet, 1.0, &host.loader);
        ZRT_idtGenericLoad(op, &host.loader);
        ZRT_idtGenericLoadRHS(op, &host.loader);
        ZRT_addNoiseForOp_idt(oh.noise(), op, 1.0);
        ZRT_idtAcceptTimePoint(op, &host.loader);
    }
    ZRT_destroyOpBranch_idt(ZRT_OpClone_idt(op, oh.other->get()));
    ZRT_idtReset(op);
    ZRT_destroyOpBranch_idt(op);
}

struct OperatorLife {
    const char* name;
    void (*life)(TestHost&, LifeReport&);
};
void PrintTo(const OperatorLife& life, std::ostream* os) { *os << life.name; }

const OperatorLife kOperatorLives[] = {
    {"absdelay", absdelayLife}, {"transition", transitionLife}, {"slew", slewLife},
    {"ddt", ddtLife},           {"idt", idtLife},
};

class OperatorSweep : public ::testing::TestWithParam<OperatorLife> {};

TEST_P(OperatorSweep, EveryAllocationOfALifecycleFailsInTurn) {
    sweep(GetParam().name, GetParam().life);
}

INSTANTIATE_TEST_SUITE_P(Operators, OperatorSweep, ::testing::ValuesIn(kOperatorLives),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- faults found under allocation failure --------------------------------------

// The instance set up and loaded once, then saved.
std::optional<std::vector<uint8_t>> loadedAndSaved(TestHost& host, ModelInstance& m) {
    m.setUp();
    host.isInitialStep = 1;
    m.md.genericAnalogLoad(m.get(), &host.loader);
    return save(m);
}

// A birch instance whose host gave it no delay state saves what the layout
// allows; restoring that stream is refused and changes nothing.
TEST(AllocationFaults, BirchWithoutDelayStateRefusesItsRestore) {
    TestHost host;
    host.sim.CreateDelaySpec = [](s_ZRT_SimInterface*) -> ZRT_GenericOperatorState* { return nullptr; };
    ModelInstance m(host, testhost::moduleSpec("birch_a"));
    const auto bytes = loadedAndSaved(host, m);
    ASSERT_TRUE(bytes.has_value());
    const double before = m.block().var(0);
    m.block().var(0) = before + 1.0;
    EXPECT_EQ(restoreState(m, *bytes), 0);
    EXPECT_EQ(m.block().var(0), before + 1.0);
}

// The host cannot copy the saved delay state into the operator: the
// restore is refused, and the instance keeps its values and its own delay
// state.
TEST(AllocationFaults, BirchRestoreWhoseDelayCopyFailsChangesNothing) {
    TestHost host;
    ModelInstance m(host, testhost::moduleSpec("birch_a"));
    const auto bytes = loadedAndSaved(host, m);
    ASSERT_TRUE(bytes.has_value());
    const double before = m.block().var(0) + 1.0;
    m.block().var(0) = before;
    const auto* op = static_cast<const ZRT_OpBranch_delay*>(m.block().op());
    const ZRT_GenericOperatorState* delayState = op->delayState;
    // The restore's own copy (the payload's target) succeeds, the operator's
    // copy of it does not.
    static int copies = 0;
    static ZRT_CopyDelaySpecFn copy = nullptr;
    copies = 0;
    copy = host.sim.CopyDelaySpec;
    host.sim.CopyDelaySpec = [](ZRT_GenericOperatorState* state) {
        return ++copies == 2 ? nullptr : copy(state);
    };
    EXPECT_EQ(restoreState(m, *bytes), 0);
    EXPECT_EQ(copies, 2);
    EXPECT_EQ(m.block().var(0), before);
    EXPECT_EQ(op->delayState, delayState);
    host.sim.CopyDelaySpec = copy;
    EXPECT_EQ(restoreState(m, *bytes), 1);
    EXPECT_NE(m.block().var(0), before);
}

// The save's stream cannot grow its buffer: the save answers nothing rather
// than a byte count over bytes it never wrote, and keeps no serializer.
TEST(AllocationFaults, SaveWhoseStreamFailsAnswersNull) {
    TestHost host;
    ModelInstance m(host, testhost::moduleSpec("alder_a"));
    m.setUp();
    s_ZRT_DeviceState state{};
    uint32_t count = 12345;
    const uint8_t* bytes = nullptr;
    {
        // The serializer itself, then the first growth of its stream.
        AllocationFaults faults(Heap::Language, 1);
        bytes = m.md.saveDeviceState(m.get(), &state, &count);
        EXPECT_EQ(faults.failed(), 1);
    }
    EXPECT_EQ(bytes, nullptr);
    EXPECT_EQ(count, 12345u);
    EXPECT_EQ(m.get()->pSerializer, nullptr);
    EXPECT_EQ(testhost::outOfMemoryCount(host), 1);
    EXPECT_EQ(host.exitCount(), 1);
}

// Each language allocation of a save, a restore and a finalize failing on
// its own: no exception reaches the host, which hears "Out of memory." and
// "exit" and gets the failure value (the leak check of the sanitizer build
// sees that nothing made before it is lost).
TEST(AllocationFaults, LanguageAllocationsInCallbacksThrowNothing) {
    TestHost host;
    testhost::guardHostCallbacks(host);
    {
        ModelInstance early(host, testhost::moduleSpec("birch_c"), "early");
        bool threw = false;
        {
            AllocationFaults faults(Heap::Language, 0);  // the initial-step event's mask
            try {
                early.md.finalizeAnalogTopology(early.get());
            } catch (...) {
                threw = true;
            }
        }
        EXPECT_FALSE(threw);
        EXPECT_EQ(early.get()->events[0], nullptr);
    }
    EXPECT_EQ(testhost::outOfMemoryCount(host), 1);

    ModelInstance m(host, testhost::moduleSpec("birch_c"));
    m.setUp();
    std::optional<std::vector<uint8_t>> saved;
    long saveAllocations = 0;
    {
        AllocationFaults counting(Heap::Language);
        saved = save(m);
        saveAllocations = counting.counted();
    }
    ASSERT_TRUE(saved.has_value());
    // The serializer, its stream's growth and, last, the byte buffer.
    ASSERT_GE(saveAllocations, 3);
    for (long k : {0L, saveAllocations - 1}) {
        s_ZRT_DeviceState state{};
        uint32_t count = 0;
        uint8_t* bytes = nullptr;
        bool threw = false;
        {
            AllocationFaults faults(Heap::Language, k);
            try {
                bytes = m.md.saveDeviceState(m.get(), &state, &count);
            } catch (...) {
                threw = true;
            }
        }
        EXPECT_FALSE(threw);
        EXPECT_EQ(bytes, nullptr) << "language allocation " << k << " of " << saveAllocations;
        EXPECT_EQ(m.get()->pSerializer, nullptr);
    }
    {
        int32_t answer = -1;
        bool threw = false;
        {
            AllocationFaults faults(Heap::Language, 0);  // the restore stream
            try {
                answer = restoreState(m, *saved);
            } catch (...) {
                threw = true;
            }
        }
        EXPECT_FALSE(threw);
        EXPECT_EQ(answer, 0);
    }
    EXPECT_EQ(testhost::outOfMemoryCount(host), 4);
    EXPECT_EQ(host.exitCount(), 4);
    EXPECT_EQ(restoreState(m, *saved), 1);
}

}  // namespace

