// Event states of a saved instance: collected from the instance's events
// before a save or restore, handed back after a restore.
#include "dsl/ZRT_SupportLib.h"

namespace {

int32_t moduleEventCount(const s_ZRT_DeviceInst* inst, const s_ZRT_DeviceState* state) {
    const int32_t numEvents = inst->pMD != nullptr ? inst->pMD->numEvents : 0;
    // The record must have a slot for every event of the module.
    ZRT_ASSERT(numEvents <= 0 || (state->pEventState != nullptr && state->numEventStates >= numEvents));
    return numEvents;
}

}  // namespace

bool saveEvents(s_ZRT_DeviceInst* inst, s_ZRT_DeviceState* state) {
    const int32_t numEvents = moduleEventCount(inst, state);
    bool complete = true;
    for (int32_t e = 0; e < numEvents; ++e) {
        ZRT_EventDesc* event = inst->events[e];
        ZRT_ASSERT(event != nullptr);
        void* saved = nullptr;
        switch (event->eventType) {
        case ZRT_EVT_TIMER:
            saved = ZRT_saveSimEvent_timer(event);
            complete = complete && saved != nullptr;
            break;
        case ZRT_EVT_CROSS:
        case ZRT_EVT_ABOVE:
            saved = ZRT_saveSimEvent_cross(event);
            complete = complete && saved != nullptr;
            break;
        default:
            break;
        }
        state->pEventState[e] = saved;
    }
    return complete;
}

void ZRT_RestoreEvents(s_ZRT_DeviceInst* inst, s_ZRT_DeviceState* state) {
    const int32_t numEvents = moduleEventCount(inst, state);
    for (int32_t e = 0; e < numEvents; ++e) {
        ZRT_EventDesc* event = inst->events[e];
        ZRT_ASSERT(event != nullptr);
        void* saved = state->pEventState[e];
        switch (event->eventType) {
        case ZRT_EVT_TIMER:
            if (saved != nullptr) {  // null only when its copy could not be made
                ZRT_restoreSimEvent_timer(event, static_cast<ZRT_TimerInfo*>(saved));
            }
            break;
        case ZRT_EVT_CROSS:
        case ZRT_EVT_ABOVE:
            if (saved != nullptr) {
                ZRT_restoreSimEvent_cross(event, saved);
            }
            break;
        default:
            ZRT_ASSERT_AT(saved == nullptr, "pState->pEventState[e] == 0", __FILE__, __LINE__);
            break;
        }
    }
}

void* ZRT_saveSimEvent_cross(ZRT_EventDesc* event) {
    s_ZRT_SimInterface* sim = simOf(event->inst);
    return sim != nullptr && sim->SaveCrossEvent != nullptr ? sim->SaveCrossEvent(event) : nullptr;
}

void ZRT_restoreSimEvent_cross(ZRT_EventDesc* event, void* savedState) {
    s_ZRT_SimInterface* sim = simOf(event->inst);
    if (sim != nullptr && sim->RestoreCrossEvent != nullptr) {
        sim->RestoreCrossEvent(event, savedState);
    }
}
