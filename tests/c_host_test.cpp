// A host written in C (c_host.c) drives every model module without an
// absdelay operator through registration, set-up and both loads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "ZRT_Events.h"
#include "tests/c_host.h"
#include "tests/model_fixture.h"

namespace {

using namespace testhost;

// Initial-step events carry a mask made with the language's `new`.
void releaseEvent(ZRT_EventDesc* event) {
    delete static_cast<uint32_t*>(event->info);
    std::free(event);
}

class CHost : public ModuleTest {};

TEST_P(CHost, RegistersSetsUpAndLoadsAModule) {
    const ModuleSpec& spec = GetParam();
    const CHostModule module{spec.registerModule, spec.externalNodes, spec.internalNodes, spec.branchSlots,
                             spec.realParams,    spec.intParams,     releaseEvent};
    CHostResult r;
    ASSERT_EQ(c_host_run(&module, &r), 0);
    EXPECT_EQ(r.finalized, 1);
    EXPECT_EQ(r.branches, spec.branchSlots);
    EXPECT_EQ(r.stamps, spec.rr + spec.rd + spec.jr + spec.jd);
    const int counts[4] = {spec.rr, spec.rd, spec.jr, spec.jd};
    for (const CHostBatch* load : {r.initial, r.full}) {
        for (int slot = 0; slot < 4; ++slot) {
            EXPECT_EQ(load[slot].count, counts[slot]) << slot;
            for (int k = 0; k < load[slot].count; ++k) {
                EXPECT_TRUE(std::isfinite(load[slot].values[k])) << slot << " " << k;
            }
        }
    }
    // The right-hand-side load of the same iteration: the same residuals to
    // the bit, no Jacobian.
    for (int slot = 0; slot < 2; ++slot) {
        ASSERT_EQ(r.rhs[slot].count, counts[slot]);
        EXPECT_EQ(std::memcmp(r.rhs[slot].values, r.full[slot].values, sizeof(double) * counts[slot]), 0) << slot;
    }
    EXPECT_EQ(r.rhs[2].count + r.rhs[3].count, 0);
}

INSTANTIATE_TEST_SUITE_P(Models, CHost, ::testing::ValuesIn(modulesWithoutOperator()), ModuleName());

}  // namespace
