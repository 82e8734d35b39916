// Initial-step, final-step and timer events, the time-control record and the
// terminate request.
#pragma once

#include <cstdint>

#include "ZRT_HostInterface.h"

// Step events. The mask is the OR of the host's FormAnalysisQueryMask(sim, 1,
// name) for each name (`const char*` arguments after the count); with a count
// below 1 every bit is set. Null when the event cannot be allocated.
ZRT_EventDesc* ZRT_createSimEvent_initial_step(s_ZRT_DeviceInst* inst, int32_t count, ...);
ZRT_EventDesc* ZRT_createSimEvent_final_step(s_ZRT_DeviceInst* inst, int32_t count, ...);

// Whether a step event fires: its mask shares a bit with the loader's
// analysis mask (asked for the event's own instance) and the loader's
// IsInitialStep (or IsFinalStep) answers true. Only step events may be given.
int32_t ZRT_eventSignal(const ZRT_EventDesc* event, const s_ZRT_ContribLoader* loader);

// A copy of a step event's mask (made with `new`), null when it has none or
// the heap is exhausted; and the release of the event's own mask.
uint32_t* ZRT_copyXstepInfo(const ZRT_EventDesc* event);
void ZRT_destroyXstepInfo(ZRT_EventDesc* event);

// Timer events. Null when the event or its record cannot be allocated.
ZRT_EventDesc* ZRT_createSimEvent_timer(s_ZRT_DeviceInst* inst);
// Back to the values of a new timer: start and period -1.0, tolerance and
// enabled 0.0, next and last fire -1.0, last accepted 0.0, flags and padding
// clear.
void ZRT_initTimerInfo(ZRT_TimerInfo* timer);
// The timer test at the loader's present time; `enable` is true unless it
// equals 0.0.
int32_t ZRT_timerEventSignal(ZRT_EventDesc* event, double start, double period, double tolerance, double enable,
                             const s_ZRT_ContribLoader* loader);
// The timer's work at an accepted time point, including the step bound
// handed to the loader's DoBoundStep (reason 5).
void ZRT_acceptSimEvent_timer(ZRT_EventDesc* event, const s_ZRT_ContribLoader* loader);
// Next, last fire and last accepted to -1.0; armed and changed cleared.
void ZRT_resetSimEvent_timer(ZRT_EventDesc* event);
// A copy of the event's timer record (ZRT_calloc), null when it has none.
ZRT_TimerInfo* ZRT_copyTimerInfo(const ZRT_EventDesc* event);
// Frees the event's timer record with ZRT_free and clears `info`.
void ZRT_destroyTimerInfo(ZRT_EventDesc* event);
ZRT_TimerInfo* ZRT_saveSimEvent_timer(const ZRT_EventDesc* event);
// Copies a saved record back whole; a null record changes nothing.
void ZRT_restoreSimEvent_timer(ZRT_EventDesc* event, const ZRT_TimerInfo* saved);
// The first start + k * period (k >= 0) strictly later than the last accepted
// time, or the start for a period of 0; kept while the timer fired at the last
// accepted point and its arguments changed.
void nextTimerEvent(ZRT_TimerInfo* timer);

// Resets done at the start of every load: both request lists emptied (their
// nodes deleted), the times -1.0, the flag 0 and the counter -999; the
// terminate request to kind 0, code -1, no data.
void ZRT_InitTimeControlData(ZRT_TimeControlData* record);
void ZRT_InitTerminateRequest(ZRT_TerminateRequest* record);

// The instance's terminate request, made (already reset) on the first call.
// Null when it cannot be allocated.
ZRT_TerminateRequest* ZRT_GetTerminateRequest(s_ZRT_DeviceInst* inst);
