// Step events and their test, timer events replayed over time, saving and
// restoring timers, the time-control and terminate-request resets.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>

#include "rte/ZRT_CommonInterface.h"
#include "tests/test_host.h"

namespace {

using testhost::LimitedHeap;
using testhost::TestHost;
using testhost::TestInstance;

uint32_t maskOf(const ZRT_EventDesc* event) { return *static_cast<const uint32_t*>(event->info); }
ZRT_TimerInfo& timerOf(ZRT_EventDesc* event) { return *static_cast<ZRT_TimerInfo*>(event->info); }

// ---- step events --------------------------------------------------------------

TEST(StepEvent, WithoutNamesItCoversEveryAnalysisAndAsksNoHost) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    ZRT_EventDesc* event = ZRT_createSimEvent_initial_step(inst.get(), 0);
    inst.events[0] = event;
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(event->reserved0, nullptr);
    EXPECT_EQ(event->inst, inst.get());
    EXPECT_EQ(event->eventType, uint32_t{ZRT_EVT_INITIAL_STEP});
    EXPECT_EQ(maskOf(event), 0xFFFFFFFFu);
    EXPECT_TRUE(host.maskQueries.empty());
}

TEST(StepEvent, EachNameIsOneHostQuery) {
    TestHost host;
    TestInstance::Shape shape;
    shape.events = 3;
    TestInstance inst(host, nullptr, shape);
    inst.events[0] = ZRT_createSimEvent_final_step(inst.get(), 2, "tran", "dc");
    ASSERT_NE(inst.events[0], nullptr);
    EXPECT_EQ(inst.events[0]->eventType, uint32_t{ZRT_EVT_FINAL_STEP});
    EXPECT_EQ(maskOf(inst.events[0]), 10u);
    ASSERT_EQ(host.maskQueries.size(), 2u);
    EXPECT_EQ(host.maskQueries[0].count, 1);
    EXPECT_EQ(host.maskQueries[0].names, std::vector<std::string>{"tran"});
    EXPECT_EQ(host.maskQueries[1].count, 1);
    EXPECT_EQ(host.maskQueries[1].names, std::vector<std::string>{"dc"});

    // The host's table decides, not the runtime's.
    host.analysisBits["tran"] = 0x10000;
    inst.events[1] = ZRT_createSimEvent_initial_step(inst.get(), 1, "tran");
    EXPECT_EQ(maskOf(inst.events[1]), 0x10000u);

    // A host without a table of its own gets the runtime's bits.
    host.sim.FormAnalysisQueryMask = nullptr;
    inst.events[2] = ZRT_createSimEvent_initial_step(inst.get(), 2, "ac", "TRAN");
    EXPECT_EQ(maskOf(inst.events[2]), 1u);
}

TEST(StepEvent, FiresWhenTheMasksShareABitAndTheHostSaysSo) {
    TestHost host;
    TestInstance::Shape shape;
    shape.events = 3;
    TestInstance inst(host, nullptr, shape);
    ZRT_EventDesc* initial = inst.events[0] = ZRT_createSimEvent_initial_step(inst.get(), 0);
    ZRT_EventDesc* tranOnly = inst.events[1] = ZRT_createSimEvent_initial_step(inst.get(), 1, "tran");
    ZRT_EventDesc* finalStep = inst.events[2] = ZRT_createSimEvent_final_step(inst.get(), 0);
    host.isInitialStep = 1;

    host.analysisMask = 0;
    EXPECT_EQ(ZRT_eventSignal(initial, &host.loader), 0);
    EXPECT_EQ(host.isInitialStepCalls, 0);

    host.analysisMask = ZRT_ANALYSIS_DC;
    EXPECT_EQ(ZRT_eventSignal(tranOnly, &host.loader), 0);
    EXPECT_EQ(host.isInitialStepCalls, 0);
    EXPECT_EQ(ZRT_eventSignal(initial, &host.loader), 1);
    EXPECT_EQ(host.isInitialStepCalls, 1);

    host.analysisMask = ZRT_ANALYSIS_TRAN;
    EXPECT_EQ(ZRT_eventSignal(tranOnly, &host.loader), 1);
    host.isInitialStep = 0;
    EXPECT_EQ(ZRT_eventSignal(tranOnly, &host.loader), 0);
    EXPECT_EQ(host.isInitialStepCalls, 3);

    // The final step asks IsFinalStep only.
    host.isFinalStep = 7;
    EXPECT_EQ(ZRT_eventSignal(finalStep, &host.loader), 7);
    EXPECT_EQ(host.isFinalStepCalls, 1);
    EXPECT_EQ(host.isInitialStepCalls, 3);
}

TEST(StepEvent, MaskCopiesAreSeparateAndDestroyingClearsTheMask) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    ZRT_EventDesc* event = inst.events[0] = ZRT_createSimEvent_initial_step(inst.get(), 1, "noise");
    uint32_t* copy = ZRT_copyXstepInfo(event);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, event->info);
    EXPECT_EQ(*copy, 4u);
    delete copy;
    ZRT_destroyXstepInfo(event);
    EXPECT_EQ(event->info, nullptr);
    EXPECT_EQ(ZRT_copyXstepInfo(event), nullptr);
}

TEST(StepEventDeathTest, OnlyStepEventsMayBeSignalled) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TestHost host;
    TestInstance inst(host, nullptr, {});
    ZRT_EventDesc digital{nullptr, inst.get(), ZRT_EVT_D2A, nullptr};
    EXPECT_DEATH(ZRT_eventSignal(&digital, &host.loader), "isStepEvent");
    ZRT_EventDesc* timer = inst.events[0] = ZRT_createSimEvent_timer(inst.get());
    EXPECT_DEATH(ZRT_eventSignal(timer, &host.loader), "isStepEvent");
}

TEST(EventsOutOfMemory, CreationAnswersNullAndLeavesNothingBehind) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    {
        LimitedHeap heap(0);
        EXPECT_EQ(ZRT_createSimEvent_initial_step(inst.get(), 0), nullptr);
        EXPECT_EQ(ZRT_createSimEvent_final_step(inst.get(), 1, "dc"), nullptr);
        EXPECT_EQ(ZRT_createSimEvent_timer(inst.get()), nullptr);
    }
    {
        LimitedHeap heap(1);  // the descriptor, not its timer record
        EXPECT_EQ(ZRT_createSimEvent_timer(inst.get()), nullptr);
    }
    EXPECT_EQ(host.exitCount(), 4);
    EXPECT_EQ(host.messages.back().text, "Out of memory.");
}

// ---- timer schedule -----------------------------------------------------------

ZRT_TimerInfo newTimer(double start, double period, double lastAccepted) {
    ZRT_TimerInfo timer;
    ZRT_initTimerInfo(&timer);
    timer.start = start;
    timer.period = period;
    timer.lastAccepted = lastAccepted;
    return timer;
}

TEST(TimerSchedule, NextIsTheFirstStartPlusPeriodsStrictlyAfterTheLastAcceptedTime) {
    struct Case {
        double start, period, lastAccepted, next;
    };
    const Case cases[] = {
        {1.0, 2.0, 3.0, 5.0},    // 3.0 itself is not later than 3.0
        {1.0, 2.0, 0.5, 1.0},
        {1.0, 2.0, 1.0, 3.0},
        {10.0, 2.0, 0.0, 10.0},  // no period before the start
        {1.0, 0.0, 7.0, 1.0},    // one-shot: the start, even when past
        {4.0, 1e-320, 9.0, 4.0}, // subnormal periods count as none
    };
    for (const Case& c : cases) {
        ZRT_TimerInfo timer = newTimer(c.start, c.period, c.lastAccepted);
        nextTimerEvent(&timer);
        EXPECT_EQ(timer.next, c.next) << c.start << " " << c.period << " " << c.lastAccepted;
    }
}

TEST(TimerSchedule, APeriodBelowTheSpacingOfDoublesEnds) {
    ZRT_TimerInfo timer = newTimer(0.0, 1e-17, 1.0);
    nextTimerEvent(&timer);
    EXPECT_GT(timer.next, 1.0);
    EXPECT_EQ(timer.next, std::nextafter(1.0, 2.0));
}

TEST(TimerSchedule, KeptWhileTheTimerFiredAndItsArgumentsChanged) {
    ZRT_TimerInfo timer = newTimer(1.0, 2.0, 3.0);
    timer.next = 42.0;
    timer.prevFired = 1;
    timer.changed = 1;
    nextTimerEvent(&timer);
    EXPECT_EQ(timer.next, 42.0);
    timer.changed = 0;
    nextTimerEvent(&timer);
    EXPECT_EQ(timer.next, 5.0);
}

TEST(Timer, ANewTimerHasTheCreationValues) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    ZRT_EventDesc* event = inst.events[0] = ZRT_createSimEvent_timer(inst.get());
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(event->eventType, uint32_t{ZRT_EVT_TIMER});
    EXPECT_EQ(event->inst, inst.get());
    const ZRT_TimerInfo& t = timerOf(event);
    EXPECT_EQ(t.tag, 2u);
    EXPECT_EQ(t.start, -1.0);
    EXPECT_EQ(t.period, -1.0);
    EXPECT_EQ(t.tolerance, 0.0);
    EXPECT_EQ(t.enabled, 0.0);
    EXPECT_EQ(t.next, -1.0);
    EXPECT_EQ(t.lastFire, -1.0);
    EXPECT_EQ(t.lastAccepted, 0.0);
    EXPECT_EQ(t.changed + t.fired + t.armed + t.prevFired, 0);
}

// A timer event on an instance of the test host, driven at host times.
struct TimerRig {
    TestHost host;
    TestInstance inst{host, nullptr, {}};
    ZRT_EventDesc* event = nullptr;
    double start = 1.0, period = 2.0, tolerance = 0.0, enable = 1.0;

    TimerRig() { event = inst.events[0] = ZRT_createSimEvent_timer(inst.get()); }
    ZRT_TimerInfo& timer() { return timerOf(event); }
    int32_t signal(double t) {
        host.time = t;
        return ZRT_timerEventSignal(event, start, period, tolerance, enable, &host.loader);
    }
    void accept(double t) {
        host.time = t;
        ZRT_acceptSimEvent_timer(event, &host.loader);
    }
};

TEST(Timer, SignalledAndAcceptedOverASequenceOfTimes) {
    struct Step {
        bool accept;
        double time;
        int32_t result;                     // signal only
        std::optional<double> next, lastFire;
        std::optional<double> boundStep;    // accept only; none means no call
    };
    const std::optional<double> none;
    const Step steps[] = {
        {false, 0.0, 0, 1.0, none, none},
        {true, 0.0, 0, none, none, 1.0},
        {false, 0.5, 0, none, none, none},
        {true, 0.5, 0, none, none, 0.5},
        {false, 1.0, 1, none, none, none},
        {true, 1.0, 0, 3.0, 1.0, 2.0},
        {false, 2.0, 0, none, none, none},
        {true, 2.0, 0, none, none, 1.0},
        {false, 3.0, 1, none, none, none},
        {false, 3.0 + 1e-13, 1, none, none, none},  // not accepted yet
        {true, 3.0, 0, 5.0, 3.0, 2.0},
        {true, 4.5, 0, -1.0, -1.0, none},          // accepted without a signal
        {false, 5.0, 1, none, none, none},
    };
    TimerRig rig;
    for (const Step& step : steps) {
        SCOPED_TRACE((step.accept ? "accept at " : "signal at ") + std::to_string(step.time));
        rig.host.boundSteps.clear();
        if (step.accept) {
            rig.accept(step.time);
            if (step.boundStep) {
                ASSERT_EQ(rig.host.boundSteps.size(), 1u);
                EXPECT_EQ(rig.host.boundSteps[0].step, *step.boundStep);
                EXPECT_EQ(rig.host.boundSteps[0].reason, 5);
                EXPECT_EQ(rig.host.boundSteps[0].inst, rig.inst.get());
            } else {
                EXPECT_TRUE(rig.host.boundSteps.empty());
            }
            EXPECT_EQ(rig.timer().armed, 0);
            EXPECT_EQ(rig.timer().lastAccepted, step.time);
        } else {
            EXPECT_EQ(rig.signal(step.time), step.result);
            EXPECT_EQ(rig.timer().fired, step.result);
            EXPECT_EQ(rig.timer().armed, 1);
        }
        if (step.next) {
            EXPECT_EQ(rig.timer().next, *step.next);
        }
        if (step.lastFire) {
            EXPECT_EQ(rig.timer().lastFire, *step.lastFire);
        }
    }
    EXPECT_TRUE(rig.host.crossViolations.empty());
}

TEST(Timer, AtTimeZeroAStartWithinTheMinimumStepFires) {
    struct Case {
        double start, enable;
        std::optional<double> minStep;
        int32_t result;
    };
    const Case cases[] = {
        {0.0, 1.0, std::nullopt, 1},
        {-1e-17, 1.0, std::nullopt, 1},
        {-1e-15, 1.0, std::nullopt, 0},
        {-1e-15, 1.0, 1e-14, 1},
        {0.0, 0.0, std::nullopt, 0},
        {0.0, std::nan(""), std::nullopt, 1},  // only 0.0 disables
    };
    for (const Case& c : cases) {
        TimerRig rig;
        if (c.minStep) {
            rig.host.setMinStep(*c.minStep);
        }
        rig.start = c.start;
        rig.enable = c.enable;
        EXPECT_EQ(rig.signal(0.0), c.result) << c.start << " " << c.enable;
        EXPECT_EQ(rig.timer().fired, c.result);
    }
}

TEST(Timer, AOneShotTimerFiresOnce) {
    TimerRig rig;
    rig.period = 0.0;
    EXPECT_EQ(rig.signal(1.0), 1);
    rig.accept(1.0);
    EXPECT_EQ(rig.timer().next, 1.0);
    EXPECT_EQ(rig.timer().lastFire, 1.0);
    EXPECT_TRUE(rig.host.boundSteps.empty());  // nothing left ahead
    EXPECT_EQ(rig.signal(1.0 + 1e-13), 0);
    EXPECT_EQ(rig.signal(2.0), 0);
}

TEST(Timer, ANegativePeriodIsStoredAsNoneAndAlwaysCountsAsChanged) {
    TimerRig rig;
    rig.period = -1.0;
    EXPECT_EQ(rig.signal(0.5), 0);
    EXPECT_EQ(rig.timer().period, 0.0);
    EXPECT_EQ(rig.timer().changed, 1);
    rig.accept(0.5);
    EXPECT_EQ(rig.timer().changed, 0);
    EXPECT_EQ(rig.signal(1.0), 1);  // one shot at its start
    EXPECT_EQ(rig.timer().changed, 1);
}

TEST(Timer, AnEventTimeAStepHasPassedIsReportedLate) {
    TimerRig rig;
    rig.accept(0.0);
    rig.period = 0.0;
    EXPECT_EQ(rig.signal(2.5), 1);
    ASSERT_EQ(rig.host.crossViolations.size(), 1u);
    const auto& report = rig.host.crossViolations[0];
    EXPECT_EQ(report.time, 1.0);
    EXPECT_EQ(report.zero1, 0);
    EXPECT_EQ(report.zero2, 0);
    EXPECT_EQ(report.inst, rig.inst.get());

    // Unchanged arguments are not late again.
    rig.accept(2.5);
    EXPECT_EQ(rig.signal(3.0), 0);
    EXPECT_EQ(rig.host.crossViolations.size(), 1u);

    // A passed start after a change: a host without the slot is not asked.
    auto slot = rig.host.loader.ReportCrossViolation;
    rig.host.loader.ReportCrossViolation = nullptr;
    rig.start = 2.7;
    EXPECT_EQ(rig.signal(3.0), 1);
    rig.host.loader.ReportCrossViolation = slot;
    rig.start = 2.8;
    EXPECT_EQ(rig.signal(3.0), 1);
    ASSERT_EQ(rig.host.crossViolations.size(), 2u);
    EXPECT_EQ(rig.host.crossViolations[1].time, 2.8);
}

TEST(Timer, WhenTimeGoesBackTheScheduleMovesOrRestarts) {
    TimerRig rig;
    rig.signal(3.0);
    rig.accept(3.0);
    ASSERT_EQ(rig.timer().next, 5.0);
    ASSERT_EQ(rig.timer().lastFire, 3.0);

    rig.enable = 0.0;  // keeps the schedule from being recomputed
    EXPECT_EQ(rig.signal(2.0), 0);
    EXPECT_EQ(rig.timer().lastAccepted, 2.0);
    EXPECT_EQ(rig.timer().next, 4.0);
    EXPECT_EQ(rig.timer().lastFire, 2.0);

    rig.timer().changed = 1;
    EXPECT_EQ(rig.signal(0.0), 0);
    EXPECT_EQ(rig.timer().lastAccepted, -1.0);
    EXPECT_EQ(rig.timer().next, -1.0);
    EXPECT_EQ(rig.timer().lastFire, -1.0);
    EXPECT_EQ(rig.timer().changed, 0);
    EXPECT_EQ(rig.timer().armed, 1);
}

TEST(Timer, StepBoundsRespectTheWindowAndTheMinimumStep) {
    {
        // Within 1e-12 of the present time: no bound.
        TimerRig rig;
        rig.start = 1e6 + 5e-7;
        rig.period = 0.0;
        rig.signal(1e6);
        rig.accept(1e6);
        EXPECT_TRUE(rig.host.boundSteps.empty());
    }
    {
        TimerRig rig;
        rig.host.setMinStep(0.75);
        rig.signal(0.5);
        rig.accept(0.5);
        ASSERT_EQ(rig.host.boundSteps.size(), 1u);
        EXPECT_EQ(rig.host.boundSteps[0].step, 0.75);
    }
    {
        // The tolerance widens the bound; a disabled timer still bounds by
        // the schedule it had.
        TimerRig rig;
        rig.tolerance = 0.25;
        rig.signal(0.0);
        rig.accept(0.0);
        ASSERT_EQ(rig.host.boundSteps.size(), 1u);
        EXPECT_EQ(rig.host.boundSteps[0].step, 1.25);
        rig.enable = 0.0;
        rig.signal(0.5);
        rig.accept(0.5);
        ASSERT_EQ(rig.host.boundSteps.size(), 2u);
        EXPECT_EQ(rig.host.boundSteps[1].step, 0.75);
    }
}

TEST(Timer, ResetForgetsTheScheduleButNotWhatFired) {
    TimerRig rig;
    rig.signal(1.0);
    rig.accept(1.0);
    rig.signal(3.0);
    ZRT_resetSimEvent_timer(rig.event);
    const ZRT_TimerInfo& t = rig.timer();
    EXPECT_EQ(t.next, -1.0);
    EXPECT_EQ(t.lastFire, -1.0);
    EXPECT_EQ(t.lastAccepted, -1.0);
    EXPECT_EQ(t.armed, 0);
    EXPECT_EQ(t.changed, 0);
    EXPECT_EQ(t.fired, 1);
    EXPECT_EQ(t.prevFired, 1);
    EXPECT_EQ(t.start, 1.0);
    EXPECT_EQ(t.period, 2.0);
    EXPECT_EQ(t.enabled, 1.0);
}

TEST(Timer, SavedAndRestoredByteForByte) {
    TimerRig rig;
    rig.signal(1.0);
    rig.accept(1.0);
    ZRT_TimerInfo* saved = ZRT_saveSimEvent_timer(rig.event);
    ASSERT_NE(saved, nullptr);
    EXPECT_NE(saved, rig.event->info);
    EXPECT_EQ(std::memcmp(saved, rig.event->info, sizeof(ZRT_TimerInfo)), 0);

    saved->tagPad = 0xA5A5A5A5u;
    std::memset(saved->flagsPad, 0x5A, sizeof saved->flagsPad);
    rig.signal(2.0);
    rig.accept(2.5);
    ZRT_restoreSimEvent_timer(rig.event, saved);
    EXPECT_EQ(std::memcmp(saved, rig.event->info, sizeof(ZRT_TimerInfo)), 0);
    ZRT_restoreSimEvent_timer(rig.event, nullptr);
    EXPECT_EQ(std::memcmp(saved, rig.event->info, sizeof(ZRT_TimerInfo)), 0);
    ZRT_free(saved);

    ZRT_TimerInfo* copy = ZRT_copyTimerInfo(rig.event);
    ZRT_free(copy);
    ZRT_destroyTimerInfo(rig.event);
    EXPECT_EQ(rig.event->info, nullptr);
    EXPECT_EQ(ZRT_copyTimerInfo(rig.event), nullptr);

    // Back to the creation values, padding cleared.
    ZRT_TimerInfo reused;
    std::memset(&reused, 0xFF, sizeof reused);
    ZRT_initTimerInfo(&reused);
    ZRT_TimerInfo fresh = newTimer(-1.0, -1.0, 0.0);
    EXPECT_EQ(std::memcmp(&reused, &fresh, sizeof reused), 0);
    EXPECT_EQ(reused.tagPad, 0u);
}

// ---- time control and terminate request ---------------------------------------

// A request-list node as a host makes it: the two links and data of its own.
ZRT_TimeControlNode* newRequest() {
    auto* node = static_cast<ZRT_TimeControlNode*>(::operator new(40));
    std::memset(node, 0, 40);
    return node;
}

// A head with `count` nodes behind it on a ring.
ZRT_TimeControlNode* newRing(int count) {
    ZRT_TimeControlNode* head = newRequest();
    head->next = head->prev = head;
    for (int i = 0; i < count; ++i) {
        ZRT_TimeControlNode* node = newRequest();
        node->prev = head->prev;
        node->next = head;
        head->prev->next = node;
        head->prev = node;
    }
    return head;
}

TEST(TimeControl, ResetEmptiesBothRingsAndTheTimes) {
    ZRT_TimeControlData record{};
    record.time = 3.0;
    record.flag = 1;
    record.times[0] = record.times[1] = record.times[2] = 2.0;
    record.counter = 5;
    record.requests[0] = newRing(3);
    record.requests[1] = newRing(0);

    ZRT_InitTimeControlData(&record);
    for (ZRT_TimeControlNode* head : record.requests) {
        EXPECT_EQ(head->next, head);
        EXPECT_EQ(head->prev, head);
    }
    EXPECT_EQ(record.time, -1.0);
    EXPECT_EQ(record.flag, 0);
    EXPECT_EQ(record.times[0], -1.0);
    EXPECT_EQ(record.times[1], -1.0);
    EXPECT_EQ(record.times[2], -1.0);
    EXPECT_EQ(record.counter, -999);
    ::operator delete(record.requests[0]);
    ::operator delete(record.requests[1]);

    // No lists, and a head whose links were never set.
    ZRT_TimeControlData bare{};
    bare.requests[1] = newRequest();
    ZRT_InitTimeControlData(&bare);
    EXPECT_EQ(bare.requests[0], nullptr);
    EXPECT_EQ(bare.requests[1]->next, bare.requests[1]);
    EXPECT_EQ(bare.counter, -999);
    ::operator delete(bare.requests[1]);
    ZRT_InitTimeControlData(nullptr);
}

TEST(TerminateRequest, MadeOnceAlreadyResetAndResetAgain) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    ZRT_TerminateRequest* request = ZRT_GetTerminateRequest(inst.get());
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(inst->pTerminate, request);
    EXPECT_EQ(request->kind, 0);
    EXPECT_EQ(request->code, -1);
    EXPECT_EQ(request->data, nullptr);
    request->kind = 2;
    request->code = 9;
    request->data = request;
    EXPECT_EQ(ZRT_GetTerminateRequest(inst.get()), request);
    ZRT_InitTerminateRequest(request);
    EXPECT_EQ(request->kind, 0);
    EXPECT_EQ(request->code, -1);
    EXPECT_EQ(request->data, nullptr);
}

TEST(TerminateRequest, AnExhaustedHeapLeavesTheInstanceWithoutOne) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    {
        LimitedHeap heap(0);
        EXPECT_EQ(ZRT_GetTerminateRequest(inst.get()), nullptr);
    }
    EXPECT_EQ(inst->pTerminate, nullptr);
    EXPECT_EQ(host.exitCount(), 1);
    EXPECT_NE(ZRT_GetTerminateRequest(inst.get()), nullptr);
}

}  // namespace
