// Cross and above events. They live in the host: the runtime creates,
// resets, signals and accepts them through the host's callbacks and tags
// above events with their kind. Their saved states go through the host as
// well (ZRT_saveSimEvent_cross, ZRT_restoreSimEvent_cross).
#pragma once

#include <cstdint>

#include "rte/ZRT_CommonInterface.h"
#include "ZRT_Events.h"

// How the signal's value arguments are to be read; the values are the host's.
typedef int32_t ZRT_CrossArgTypeE;

// An event made by the host's CreateCrossEvent (null unchanged) tagged as an
// above event.
ZRT_EventDesc* markAboveEvent(ZRT_EventDesc* event);

// Creation of cross and above events. The host's CreateCrossEvent takes the
// instance, the simulator interface and then the creator's further arguments
// unchanged (direction, tolerances, enable: their meaning is the host's). A C
// `...` cannot be forwarded to another variadic function, so, as with
// ZRT_Message, the creators are templates: one signature per argument list,
// each passing its arguments on as the call's own variadic arguments (with
// the usual promotions: float to double, small integers to int). Null when
// there is no instance or the host answers null.
template <typename... Args>
ZRT_EventDesc* ZRT_createSimEvent_cross(s_ZRT_DeviceInst* inst, Args... args) {
    if (inst == nullptr || inst->pSim == nullptr) {
        return nullptr;
    }
    return inst->pSim->CreateCrossEvent(inst, inst->pSim, args...);
}

template <typename... Args>
ZRT_EventDesc* ZRT_createSimEvent_above(s_ZRT_DeviceInst* inst, Args... args) {
    return markAboveEvent(ZRT_createSimEvent_cross(inst, args...));
}

// The host's ResetCrossEvent of the event's instance; the above reset first
// asserts that the event is an above event.
void ZRT_resetSimEvent_cross(ZRT_EventDesc* event);
void ZRT_resetSimEvent_above(ZRT_EventDesc* event);

// The loader's CrossEventSignal with all these arguments and the event's
// instance; answers its answer.
int32_t ZRT_crossEventSignal(ZRT_EventDesc* event, double a1, double a2, double a3, double a4, double a5,
                             int32_t i1, ZRT_StateVarPair* pairs, double* outTime, uint32_t* outFlags,
                             double tolerance, ZRT_CrossArgTypeE argType, int32_t i2,
                             const s_ZRT_ContribLoader* loader);
int32_t ZRT_aboveEventSignal(ZRT_EventDesc* event, double a1, double a2, double a3, double a4, double a5,
                             int32_t i1, ZRT_StateVarPair* pairs, double* outTime, uint32_t* outFlags,
                             double tolerance, ZRT_CrossArgTypeE argType, int32_t i2,
                             const s_ZRT_ContribLoader* loader);

// The loader's AcceptCrossEvent when it has one; otherwise nothing.
void ZRT_acceptSimEvent_cross(ZRT_EventDesc* event, const s_ZRT_ContribLoader* loader);
void ZRT_acceptSimEvent_above(ZRT_EventDesc* event, const s_ZRT_ContribLoader* loader);
