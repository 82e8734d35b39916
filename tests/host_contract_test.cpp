// A host that breaks its side of the contract (missing arrays, counts that do
// not match the module, interface slots the set-up calls, an empty event slot
// at save) gets an error message and the callback's failure answer; the
// instance stays inert and every later callback is safe.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/model_fixture.h"
#include "tests/model_host.h"

namespace testhost {
namespace {

struct Breach {
    const char* what;
    std::function<void(ModelInstance&, TestHost&)> apply;
    std::function<std::string(const ModuleSpec&)> message;
    bool birchOnly = false;
};

std::vector<Breach> breaches() {
    auto text = [](const char* t) { return [t](const ModuleSpec&) { return std::string(t); }; };
    return {
        {"no events", [](ModelInstance& m, TestHost&) { m.get()->events = nullptr; },
         text("The instance has no events array; this module needs 1 entry.")},
        {"no limexps", [](ModelInstance& m, TestHost&) { m.get()->limexps = nullptr; },
         text("The instance has no limexps array; this module needs 1 entry.")},
        {"no noise sources", [](ModelInstance& m, TestHost&) { m.get()->noiseSrcs = nullptr; },
         text("The instance has no noiseSrcs array; this module needs 4 noise sources.")},
        {"no first node array", [](ModelInstance& m, TestHost&) { m.get()->nodeVars = nullptr; },
         text("The instance has no nodeVars array; this module needs 7 entries.")},
        {"no second node array", [](ModelInstance& m, TestHost&) { m.get()->internalVars = nullptr; },
         [](const ModuleSpec& s) {
             return "The instance has no internalVars array; this module needs " +
                    std::to_string(s.internalNodes + s.branchSlots) +
                    " entries (its nodes, then room for its branch state variables).";
         }},
        {"no real parameters", [](ModelInstance& m, TestHost&) { m.get()->realParams = nullptr; },
         text("The instance has no realParams array; this module reads 13 real parameters.")},
        {"no integer parameters", [](ModelInstance& m, TestHost&) { m.get()->intParams = nullptr; },
         text("The instance has no intParams array; this module reads integer parameters.")},
        {"no events counted", [](ModelInstance& m, TestHost&) { m.md.numEvents = 0; },
         text("The module descriptor's numEvents is 0; this module has 1 event.")},
        {"three events counted", [](ModelInstance& m, TestHost&) { m.md.numEvents = 3; },
         text("The module descriptor's numEvents is 3; this module has 1 event.")},
        {"file descriptors counted", [](ModelInstance& m, TestHost&) { m.md.numFileDescs = 2; },
         text("The module descriptor's numFileDescs is 2; this module has no file descriptors.")},
        {"no descriptor", [](ModelInstance& m, TestHost&) { m.get()->pMD = nullptr; },
         text("The instance has no module descriptor (pMD).")},
        {"no branch slot", [](ModelInstance&, TestHost& h) { h.sim.CreateBranch = nullptr; },
         text("The simulator interface has no CreateBranch slot, which this module calls.")},
        {"no Jacobian slot", [](ModelInstance&, TestHost& h) { h.sim.CreateJacobianStamp = nullptr; },
         text("The simulator interface has no CreateJacobianStamp slot, which this module calls.")},
        {"no delay slot", [](ModelInstance&, TestHost& h) { h.sim.CreateDelayStamp = nullptr; },
         text("The simulator interface has no CreateDelayStamp slot, which this module calls."), true},
    };
}

// Every callback after a refused finalisation does nothing and asks the host
// for nothing.
void driveInertInstance(ModelInstance& m, TestHost& host) {
    s_ZRT_DeviceInst* inst = m.get();
    m.md.createBranches(inst, nullptr);
    m.md.createSystemStateVars(inst, nullptr);
    m.md.setAnalogStamp(inst, nullptr);
    m.md.reportTopology(inst, nullptr);
    m.md.doAnalogInitial(inst);
    m.md.genericAnalogLoad(inst, &host.loader);
    m.md.genericAnalogLoadRHS(inst, &host.loader);
    m.md.tranAcceptPoint(inst, &host.loader);
    EXPECT_TRUE(saveState(m).empty());
    EXPECT_EQ(restoreState(m, std::vector<uint8_t>(64, 0)), 0);
    EXPECT_TRUE(host.stamps.empty());
    EXPECT_TRUE(host.branches.empty());
    EXPECT_TRUE(host.loads.empty());
}

TEST(HostContract, FinalizeRefusesEveryBreachWithAMessage) {
    for (const ModuleSpec& spec : kModules) {
        for (const Breach& breach : breaches()) {
            if (breach.birchOnly && spec.family != Family::Birch) {
                continue;
            }
            SCOPED_TRACE(std::string(spec.name) + ": " + breach.what);
            TestHost host;
            ModelInstance m(host, spec);
            s_ZRT_DeviceInst* inst = m.get();
            inst->pModuleData = &host;  // whatever the host left there
            breach.apply(m, host);

            EXPECT_EQ(m.md.finalizeAnalogTopology(inst), 0);
            EXPECT_EQ(inst->pModuleData, nullptr);
            ASSERT_EQ(host.messages.size(), 1u);
            EXPECT_EQ(host.messages[0].type, ZRT_MSG_ERROR);
            EXPECT_EQ(host.messages[0].formatted, breach.message(spec));
            EXPECT_EQ(host.exitCount(), 0);
            // Nothing of the instance was written.
            EXPECT_EQ(m.inst.events[0], nullptr);
            EXPECT_EQ(m.inst.limexps[0], nullptr);
            EXPECT_EQ(m.inst.noiseSrcs[0].name, nullptr);
            driveInertInstance(m, host);
        }
    }
}

// The birch operator needs the delay and doublet slots; the other families
// never call them and may leave them empty.
TEST(HostContract, OnlyTheBirchModelsNeedTheDelaySlots) {
    for (const ModuleSpec& spec : kModules) {
        SCOPED_TRACE(spec.name);
        TestHost host;
        host.sim.CreateDerivDoublet = nullptr;
        host.sim.CreateDelayStamp = nullptr;
        host.sim.CreateDelaySpec = nullptr;
        host.sim.CopyDelaySpec = nullptr;
        ModelInstance m(host, spec);
        EXPECT_EQ(m.md.finalizeAnalogTopology(m.get()), spec.family == Family::Birch ? 0 : 1);
        EXPECT_EQ(host.messages.size(), spec.family == Family::Birch ? 1u : 0u);
    }
}

// After a sound set-up, a save or restore with an empty event slot or a
// descriptor that no longer counts one event is refused and changes nothing;
// with the slot filled again both work.
TEST(HostContract, SaveAndRestoreNeedTheEventSlot) {
    for (const ModuleSpec& spec : kModules) {
        SCOPED_TRACE(spec.name);
        TestHost host;
        ModelCircuit mc(host, spec);
        ASSERT_TRUE(mc.solve(-0.5, 3.0).converged);
        const std::vector<uint8_t> bytes = saveState(mc.model);
        ASSERT_FALSE(bytes.empty());
        BlockView block = mc.model.block();
        block.execInvariant() = 0;

        ZRT_EventDesc* event = mc.model.inst.events[0];
        mc.model.inst.events[0] = nullptr;
        host.messages.clear();
        EXPECT_TRUE(saveState(mc.model).empty());
        EXPECT_EQ(restoreState(mc.model, bytes), 0);
        ASSERT_EQ(host.messages.size(), 2u);
        EXPECT_EQ(host.messages[1].formatted,
                  "Event slot 0 of the instance holds no event; the save or restore is refused.");
        EXPECT_EQ(block.execInvariant(), 0);
        mc.model.inst.events[0] = event;

        mc.model.md.numEvents = 3;
        host.messages.clear();
        EXPECT_TRUE(saveState(mc.model).empty());
        EXPECT_EQ(restoreState(mc.model, bytes), 0);
        ASSERT_EQ(host.messages.size(), 2u);
        EXPECT_EQ(host.messages[0].formatted, "The module descriptor's numEvents is 3; this module has 1 event.");
        mc.model.md.numEvents = 1;

        EXPECT_EQ(saveState(mc.model), bytes);
        EXPECT_EQ(restoreState(mc.model, bytes), 1);
        EXPECT_EQ(block.execInvariant(), 1);
        EXPECT_EQ(host.exitCount(), 0);
    }
}

}  // namespace
}  // namespace testhost
