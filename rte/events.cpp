#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <iterator>
#include <limits>
#include <new>

#include "rte/ZRT_CommonInterface.h"

namespace {

constexpr uint32_t kEveryAnalysis = 0xFFFFFFFFu;
constexpr double kSmallestNormal = 2.2250738585072014e-308;
constexpr double kRelativeWindow = 1e-12;
constexpr int32_t kTimerStepReason = 5;

ZRT_EventDesc* newEvent(s_ZRT_DeviceInst* inst, ZRT_EventTypeE kind) {
    ZRT_ASSERT(inst != nullptr);
    auto* event = static_cast<ZRT_EventDesc*>(ZRT_calloc(1, sizeof(ZRT_EventDesc), inst->pSim, inst, nullptr));
    if (event != nullptr) {
        event->inst = inst;
        event->eventType = kind;
    }
    return event;
}

ZRT_EventDesc* createStepEvent(s_ZRT_DeviceInst* inst, ZRT_EventTypeE kind, int32_t count, va_list names) {
    ZRT_ASSERT(inst != nullptr);
    s_ZRT_SimInterface* sim = inst->pSim;
    uint32_t mask = kEveryAnalysis;
    if (count >= 1) {
        mask = 0;
        for (int32_t i = 0; i < count; ++i) {
            mask |= analysisMaskOf(sim, va_arg(names, const char*));
        }
    }
    ZRT_EventDesc* event = newEvent(inst, kind);
    if (event == nullptr) {
        return nullptr;
    }
    // The mask is the language's allocation (the host releases it with
    // delete); an event without it could never be signalled, so none is made.
    event->info = new (std::nothrow) uint32_t(mask);
    if (event->info == nullptr) {
        ZRT_free(event);
        reportOutOfMemory(sim, inst);
        return nullptr;
    }
    return event;
}

bool isStepEvent(const ZRT_EventDesc* event) {
    return event->eventType == ZRT_EVT_INITIAL_STEP || event->eventType == ZRT_EVT_FINAL_STEP;
}

ZRT_TimerInfo* timerOf(const ZRT_EventDesc* event) {
    ZRT_ASSERT(event != nullptr && event->eventType == ZRT_EVT_TIMER && event->info != nullptr);
    return static_cast<ZRT_TimerInfo*>(event->info);
}

void clearTimerSchedule(ZRT_TimerInfo* timer) {
    timer->next = -1.0;
    timer->lastFire = -1.0;
    timer->lastAccepted = -1.0;
    timer->armed = 0;
    timer->changed = 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Step events

ZRT_EventDesc* ZRT_createSimEvent_initial_step(s_ZRT_DeviceInst* inst, int32_t count, ...) {
    va_list names;
    va_start(names, count);
    ZRT_EventDesc* event = createStepEvent(inst, ZRT_EVT_INITIAL_STEP, count, names);
    va_end(names);
    return event;
}

ZRT_EventDesc* ZRT_createSimEvent_final_step(s_ZRT_DeviceInst* inst, int32_t count, ...) {
    va_list names;
    va_start(names, count);
    ZRT_EventDesc* event = createStepEvent(inst, ZRT_EVT_FINAL_STEP, count, names);
    va_end(names);
    return event;
}

int32_t ZRT_eventSignal(const ZRT_EventDesc* event, const s_ZRT_ContribLoader* loader) {
    ZRT_ASSERT(event != nullptr && isStepEvent(event) && event->info != nullptr);
    s_ZRT_DeviceInst* inst = event->inst;
    const uint32_t analyses = loader->GetAnalysisQueryMask(loader, inst);
    if ((*static_cast<const uint32_t*>(event->info) & analyses) == 0) {
        return 0;
    }
    return event->eventType == ZRT_EVT_INITIAL_STEP ? loader->IsInitialStep(loader, inst)
                                                    : loader->IsFinalStep(loader, inst);
}

uint32_t* ZRT_copyXstepInfo(const ZRT_EventDesc* event) {
    ZRT_ASSERT(event != nullptr && isStepEvent(event));
    return event->info != nullptr ? new (std::nothrow) uint32_t(*static_cast<const uint32_t*>(event->info)) : nullptr;
}

void ZRT_destroyXstepInfo(ZRT_EventDesc* event) {
    ZRT_ASSERT(event != nullptr && isStepEvent(event));
    delete static_cast<uint32_t*>(event->info);
    event->info = nullptr;
}

// ---------------------------------------------------------------------------
// Timer events

void ZRT_initTimerInfo(ZRT_TimerInfo* timer) {
    std::memset(timer, 0, sizeof *timer);
    timer->tag = ZRT_EVT_TIMER;  // leads a timer record in a saved state
    timer->start = -1.0;
    timer->period = -1.0;
    timer->tolerance = 0.0;
    timer->enabled = 0.0;
    timer->next = -1.0;
    timer->lastFire = -1.0;
    timer->lastAccepted = 0.0;
}

ZRT_EventDesc* ZRT_createSimEvent_timer(s_ZRT_DeviceInst* inst) {
    ZRT_EventDesc* event = newEvent(inst, ZRT_EVT_TIMER);
    if (event == nullptr) {
        return nullptr;
    }
    auto* timer = static_cast<ZRT_TimerInfo*>(ZRT_calloc(1, sizeof(ZRT_TimerInfo), inst->pSim, inst, nullptr));
    if (timer == nullptr) {
        ZRT_free(event);
        return nullptr;
    }
    ZRT_initTimerInfo(timer);
    event->info = timer;
    return event;
}

void nextTimerEvent(ZRT_TimerInfo* timer) {
    if (std::fabs(timer->period) < kSmallestNormal) {
        timer->next = timer->start;
        return;
    }
    if (timer->prevFired != 0 && timer->changed != 0) {
        return;
    }
    const double T = timer->lastAccepted;
    const double k = std::max(0.0, std::floor((T - timer->start) / timer->period));
    double next = k * timer->period + timer->start;
    while (T >= next) {
        const double later = next + timer->period;
        if (!(later > next)) {
            // The period is below the spacing of doubles here: take the
            // first time after T rather than loop for ever.
            next = std::nextafter(T, std::numeric_limits<double>::infinity());
            break;
        }
        next = later;
    }
    timer->next = next;
}

int32_t ZRT_timerEventSignal(ZRT_EventDesc* event, double start, double period, double tolerance, double enable,
                             const s_ZRT_ContribLoader* loader) {
    ZRT_TimerInfo* timer = timerOf(event);
    s_ZRT_DeviceInst* inst = event->inst;
    const double t = loader->GetTime(loader, inst);
    const uint8_t enabled = enable != 0.0 ? 1 : 0;
    const double s = hostMinStep(loader, inst);

    // Time went back: a restart from zero forgets the schedule, any other
    // step back moves it along.
    if (t - timer->lastAccepted < 0) {
        if (t == 0.0) {
            clearTimerSchedule(timer);
        } else {
            const double shift = t - timer->lastAccepted;
            timer->lastAccepted += shift;
            timer->next += shift;
            timer->lastFire += shift;
        }
    }

    timer->armed = 1;
    if (start != timer->start || period != timer->period) {
        timer->changed = 1;
    }
    timer->start = start;
    timer->tolerance = tolerance;
    timer->period = period > 0 ? period : 0.0;
    timer->enabled = enabled ? 1.0 : 0.0;
    if (enabled) {
        nextTimerEvent(timer);
    }

    // An event time that a step has already passed.
    if (t > 0 && timer->changed != 0 && timer->next > timer->lastAccepted && t - s > timer->next &&
        timer->next > 0 && loader->ReportCrossViolation != nullptr) {
        loader->ReportCrossViolation(timer->next, 0, 0, loader, inst);
    }

    if (t == 0.0 && start <= 0 && start >= -s) {
        timer->fired = enabled;
        return enabled;
    }
    if (!(t > 0)) {
        timer->fired = 0;
        return 0;
    }
    const double window = kRelativeWindow * t + tolerance;
    if (timer->next + window > 0 && t >= timer->next - window && timer->next > timer->lastFire + window) {
        timer->fired = enabled && t > timer->lastFire ? 1 : 0;
        return timer->fired;
    }
    timer->fired = 0;
    return 0;
}

void ZRT_acceptSimEvent_timer(ZRT_EventDesc* event, const s_ZRT_ContribLoader* loader) {
    ZRT_TimerInfo* timer = timerOf(event);
    s_ZRT_DeviceInst* inst = event->inst;
    const double t = loader->GetTime(loader, inst);
    timer->lastAccepted = t;
    if (timer->armed == 0) {
        timer->next = -1.0;
        timer->lastFire = -1.0;
        return;
    }
    if (timer->fired != 0) {
        timer->lastFire = t;
    }
    if (timer->enabled != 0.0) {
        nextTimerEvent(timer);
    }
    // Bounded even when disabled, as the schedule stands.
    const double remaining = timer->next + timer->tolerance - t;
    if (remaining > kRelativeWindow * t) {
        loader->DoBoundStep(std::max(hostMinStep(loader, inst), remaining), kTimerStepReason, loader, inst);
    }
    timer->prevFired = timer->fired;
    timer->armed = 0;
    timer->changed = 0;
}

void ZRT_resetSimEvent_timer(ZRT_EventDesc* event) { clearTimerSchedule(timerOf(event)); }

ZRT_TimerInfo* ZRT_copyTimerInfo(const ZRT_EventDesc* event) {
    ZRT_ASSERT(event != nullptr && event->eventType == ZRT_EVT_TIMER);
    if (event->info == nullptr) {
        return nullptr;
    }
    s_ZRT_DeviceInst* inst = event->inst;
    auto* copy = static_cast<ZRT_TimerInfo*>(ZRT_calloc(1, sizeof(ZRT_TimerInfo), simOf(inst), inst, nullptr));
    if (copy != nullptr) {
        std::memcpy(copy, event->info, sizeof *copy);
    }
    return copy;
}

void ZRT_destroyTimerInfo(ZRT_EventDesc* event) {
    ZRT_ASSERT(event != nullptr && event->eventType == ZRT_EVT_TIMER);
    ZRT_free(event->info);
    event->info = nullptr;
}

ZRT_TimerInfo* ZRT_saveSimEvent_timer(const ZRT_EventDesc* event) { return ZRT_copyTimerInfo(event); }

void ZRT_restoreSimEvent_timer(ZRT_EventDesc* event, const ZRT_TimerInfo* saved) {
    ZRT_TimerInfo* timer = timerOf(event);
    if (saved != nullptr) {
        std::memcpy(timer, saved, sizeof *timer);
    }
}

// ---------------------------------------------------------------------------
// Time control and terminate request

void ZRT_InitTimeControlData(ZRT_TimeControlData* record) {
    if (record == nullptr) {
        return;
    }
    for (ZRT_TimeControlNode* head : record->requests) {
        if (head == nullptr) {
            continue;
        }
        ZRT_TimeControlNode* node = head->next;
        while (node != nullptr && node != head) {
            ZRT_TimeControlNode* following = node->next;
            ::operator delete(node);  // the host's nodes may be larger than their links
            node = following;
        }
        head->next = head;
        head->prev = head;
    }
    record->time = -1.0;
    record->flag = 0;
    std::fill(std::begin(record->times), std::end(record->times), -1.0);
    record->counter = -999;
}

void ZRT_InitTerminateRequest(ZRT_TerminateRequest* record) {
    if (record == nullptr) {
        return;
    }
    record->kind = 0;
    record->code = -1;
    record->data = nullptr;
}

ZRT_TerminateRequest* ZRT_GetTerminateRequest(s_ZRT_DeviceInst* inst) {
    ZRT_ASSERT(inst != nullptr);
    if (inst->pTerminate == nullptr) {
        auto* record =
            static_cast<ZRT_TerminateRequest*>(ZRT_malloc(sizeof(ZRT_TerminateRequest), inst->pSim, nullptr, nullptr));
        ZRT_InitTerminateRequest(record);
        inst->pTerminate = record;
    }
    return inst->pTerminate;
}
