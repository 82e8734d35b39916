// Cross and above events: created, reset, signalled and accepted through the
// host's callbacks.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdlib>
#include <vector>

#include "dsl/ZRT_SupportLib.h"
#include "tests/test_host.h"

namespace {

using testhost::TestHost;
using testhost::TestInstance;

struct Created {
    s_ZRT_DeviceInst* inst;
    s_ZRT_SimInterface* sim;
    int32_t direction;
    double timeTol;
    double exprTol;
};

std::vector<Created> g_created;
std::vector<ZRT_EventDesc*> g_resets;
std::vector<ZRT_EventDesc*> g_accepts;
bool g_failCreation = false;
ZRT_EventDesc g_event{};

// The host's creator, reading the argument list the model passes.
ZRT_EventDesc* createCrossEvent(s_ZRT_DeviceInst* inst, s_ZRT_SimInterface* sim, ...) {
    va_list args;
    va_start(args, sim);
    Created c{inst, sim, 0, 0.0, 0.0};
    c.direction = va_arg(args, int32_t);
    c.timeTol = va_arg(args, double);
    c.exprTol = va_arg(args, double);
    va_end(args);
    g_created.push_back(c);
    if (g_failCreation) {
        return nullptr;
    }
    g_event = ZRT_EventDesc{nullptr, inst, ZRT_EVT_CROSS, nullptr};
    return &g_event;
}

void resetCrossEvent(ZRT_EventDesc* event) { g_resets.push_back(event); }

void acceptCrossEvent(ZRT_EventDesc* event, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) {
    g_accepts.push_back(event);
}

int32_t crossEventSignal(ZRT_EventDesc* event, double a1, double a2, double a3, double a4, double a5, int32_t i1,
                         ZRT_StateVarPair* pairs, double* outTime, uint32_t* outFlags, double tolerance,
                         int32_t argType, int32_t i2, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst* inst) {
    EXPECT_EQ(inst, event->inst);
    EXPECT_EQ(pairs->pos, nullptr);
    *outTime = a1 + 10 * a2 + 100 * a3 + 1000 * a4 + 10000 * a5 + tolerance;
    *outFlags = static_cast<uint32_t>(i1 * 100 + argType * 10 + i2);
    return 7;
}

class CrossEventTest : public ::testing::Test {
protected:
    CrossEventTest() : inst(host, &md, {}) {
        g_created.clear();
        g_resets.clear();
        g_accepts.clear();
        g_failCreation = false;
        host.sim.CreateCrossEvent = createCrossEvent;
        host.sim.ResetCrossEvent = resetCrossEvent;
        host.loader.CrossEventSignal = crossEventSignal;
    }

    TestHost host;
    s_ZRT_ModuleDesc md{};
    TestInstance inst;
};

TEST_F(CrossEventTest, CreationForwardsTheArgumentsAndTagsAbove) {
    ZRT_EventDesc* cross = ZRT_createSimEvent_cross(inst.get(), int32_t{-1}, 1e-9, 1e-6);
    ASSERT_EQ(cross, &g_event);
    EXPECT_EQ(cross->eventType, ZRT_EVT_CROSS);
    ASSERT_EQ(g_created.size(), 1u);
    EXPECT_EQ(g_created[0].inst, inst.get());
    EXPECT_EQ(g_created[0].sim, &host.sim);
    EXPECT_EQ(g_created[0].direction, -1);
    EXPECT_EQ(g_created[0].timeTol, 1e-9);
    EXPECT_EQ(g_created[0].exprTol, 1e-6);

    ZRT_EventDesc* above = ZRT_createSimEvent_above(inst.get(), int32_t{1}, 2e-9, 3e-6);
    EXPECT_EQ(above->eventType, ZRT_EVT_ABOVE);
    EXPECT_EQ(g_created[1].direction, 1);

    g_failCreation = true;
    EXPECT_EQ(ZRT_createSimEvent_above(inst.get(), int32_t{1}, 2e-9, 3e-6), nullptr);
    EXPECT_EQ(ZRT_createSimEvent_cross(nullptr, int32_t{1}, 2e-9, 3e-6), nullptr);
}

TEST_F(CrossEventTest, ResetSignalAndAccept) {
    ZRT_EventDesc* above = ZRT_createSimEvent_above(inst.get(), int32_t{1}, 0.0, 0.0);
    ZRT_resetSimEvent_above(above);
    EXPECT_EQ(g_resets, std::vector<ZRT_EventDesc*>{above});

    ZRT_StateVarPair pair{nullptr, nullptr};
    double time = 0.0;
    uint32_t flags = 0;
    EXPECT_EQ(ZRT_aboveEventSignal(above, 1, 2, 3, 4, 5, 6, &pair, &time, &flags, 0.5, 8, 9, &host.loader), 7);
    EXPECT_EQ(time, 54321.5);
    EXPECT_EQ(flags, 689u);

    ZRT_acceptSimEvent_above(above, &host.loader);  // no AcceptCrossEvent slot: nothing
    host.loader.AcceptCrossEvent = acceptCrossEvent;
    ZRT_acceptSimEvent_cross(above, &host.loader);
    EXPECT_EQ(g_accepts, std::vector<ZRT_EventDesc*>{above});

    ZRT_EventDesc* cross = ZRT_createSimEvent_cross(inst.get(), int32_t{0}, 0.0, 0.0);
    ZRT_resetSimEvent_cross(cross);
    EXPECT_EQ(g_resets.size(), 2u);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(ZRT_resetSimEvent_above(cross), "pEventDesc->eventType == ZRT_EVT_ABOVE");
}

}  // namespace
