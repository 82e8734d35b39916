// Every model module through a host's whole use of it: registration, the
// topology set-up, a DC Newton sweep and save and restore.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/model_fixture.h"

namespace {

using namespace testhost;

size_t countStamps(const TestHost& host, StampKind kind) {
    size_t n = 0;
    for (const StampRecord& s : host.stamps) {
        n += s.kind == kind ? 1 : 0;
    }
    return n;
}

class AllModels : public ModuleTest {};

TEST_P(AllModels, RegistrationTopologyNewtonSweepAndState) {
    const ModuleSpec& spec = GetParam();
    {
        TestHost host;
        ModelCircuit mc(host, spec);
        EXPECT_EQ(mc.model.md.moduleFlags, spec.moduleFlags);
        // The branch state variables, and the birch models' operator branch.
        EXPECT_EQ(host.branches.size(), static_cast<size_t>(spec.branchSlots + (spec.delayOp ? 1 : 0)));
        EXPECT_EQ(countStamps(host, StampKind::StaticRhs), static_cast<size_t>(spec.rr + (spec.delayOp ? 1 : 0)));
        EXPECT_EQ(countStamps(host, StampKind::DynamicRhs), static_cast<size_t>(spec.rd));
        EXPECT_EQ(countStamps(host, StampKind::Jacobian), static_cast<size_t>(spec.jr + spec.jd));
        EXPECT_EQ(host.noiseReports.size(), 4u);
        EXPECT_GE(host.topology.size(), 18u);

        const std::vector<double> gates = {-1.5, -0.5, 0.5};
        const std::vector<double> drains = {-1.0, 0.0, 0.5, 1.0, 2.0, 4.0, 8.0, 12.0};
        const std::vector<IdVdPoint> family = mc.circuit->idVdFamily(mc.terminals(), gates, drains);
        for (const IdVdPoint& p : family) {
            EXPECT_TRUE(p.result.converged) << p.vg << " " << p.vd << ": " << p.result.failure;
            EXPECT_TRUE(std::isfinite(p.drainCurrent));
            EXPECT_TRUE(quadraticNearTheSolution(p.result.updateNorms)) << p.vg << " " << p.vd;
        }
        // At 4 V on the drain the gate opens the channel.
        EXPECT_GT(family[2 * drains.size() + 5].drainCurrent, family[5].drainCurrent + 1e-3);
        EXPECT_TRUE(host.messages.empty());
    }
    checkSaveRestore(spec);
}

INSTANTIATE_TEST_SUITE_P(Models, AllModels, ::testing::ValuesIn(kModules), ModuleName());

// The birch models check both with their delayed current (birch_test.cpp).
class WithoutOperator : public ModuleTest {};

TEST_P(WithoutOperator, JacobianMatchesItsResidualsAcrossTheInterior) {
    TestHost host;
    ModelCircuit mc(host, GetParam());
    EXPECT_GE(checkAcrossInterior(mc, 7), 100);
}

TEST_P(WithoutOperator, NewtonConvergesOverAnIdVdFamily) {
    TestHost host;
    ModelCircuit mc(host, GetParam());
    checkIdVdFamily(mc);
}

INSTANTIATE_TEST_SUITE_P(Models, WithoutOperator, ::testing::ValuesIn(modulesWithoutOperator()), ModuleName());

}  // namespace
