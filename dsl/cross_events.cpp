#include "dsl/ZRT_SupportLib.h"

ZRT_EventDesc* markAboveEvent(ZRT_EventDesc* event) {
    if (event != nullptr) {
        event->eventType = ZRT_EVT_ABOVE;
    }
    return event;
}

void ZRT_resetSimEvent_cross(ZRT_EventDesc* event) {
    if (event != nullptr && event->inst != nullptr) {
        event->inst->pSim->ResetCrossEvent(event);
    }
}

void ZRT_resetSimEvent_above(ZRT_EventDesc* event) {
    if (event == nullptr) {
        return;
    }
    const ZRT_EventDesc* pEventDesc = event;
    ZRT_ASSERT(pEventDesc->eventType == ZRT_EVT_ABOVE);
    ZRT_resetSimEvent_cross(event);
}

int32_t ZRT_crossEventSignal(ZRT_EventDesc* event, double a1, double a2, double a3, double a4, double a5,
                             int32_t i1, ZRT_StateVarPair* pairs, double* outTime, uint32_t* outFlags,
                             double tolerance, ZRT_CrossArgTypeE argType, int32_t i2,
                             const s_ZRT_ContribLoader* loader) {
    if (event == nullptr) {
        return 0;
    }
    return loader->CrossEventSignal(event, a1, a2, a3, a4, a5, i1, pairs, outTime, outFlags, tolerance, argType, i2,
                                    loader, event->inst);
}

int32_t ZRT_aboveEventSignal(ZRT_EventDesc* event, double a1, double a2, double a3, double a4, double a5,
                             int32_t i1, ZRT_StateVarPair* pairs, double* outTime, uint32_t* outFlags,
                             double tolerance, ZRT_CrossArgTypeE argType, int32_t i2,
                             const s_ZRT_ContribLoader* loader) {
    return ZRT_crossEventSignal(event, a1, a2, a3, a4, a5, i1, pairs, outTime, outFlags, tolerance, argType, i2,
                                loader);
}

void ZRT_acceptSimEvent_cross(ZRT_EventDesc* event, const s_ZRT_ContribLoader* loader) {
    if (event != nullptr && loader->AcceptCrossEvent != nullptr) {
        loader->AcceptCrossEvent(event, loader, event->inst);
    }
}

void ZRT_acceptSimEvent_above(ZRT_EventDesc* event, const s_ZRT_ContribLoader* loader) {
    ZRT_acceptSimEvent_cross(event, loader);
}
