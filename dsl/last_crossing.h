// The last-crossing function: the time at which a quantity last crossed zero,
// interpolated between accepted time points.
#pragma once

#include <cstdint>

#include "rte/ZRT_CommonInterface.h"

struct ZRT_LastCrossing {
    s_ZRT_DeviceInst* inst;
    double prevTime;      // time of the last accepted point, -1.0 before the first
    double prevValue;     // value at that point
    double presentValue;  // value of the present evaluation
    double lastRise;      // last rising crossing, -1.0 for none
    double lastFall;      // last falling crossing, -1.0 for none
};

// A new record (ZRT_malloc) with no crossing and both values 0.0; null when
// memory is exhausted.
ZRT_LastCrossing* ZRT_createLastCrossing(s_ZRT_DeviceInst* inst);
// Forgets the last accepted time and both crossings.
void ZRT_resetLastCrossing(ZRT_LastCrossing* record);
// The last crossing time of x in the direction asked for (0 either, < 0
// falling, > 0 rising): a crossing within the present step is interpolated
// at once; otherwise the stored one. -1.0 at t <= 0 and when there is none.
double ZRT_LastCrossingVal(ZRT_LastCrossing* record, double x, int32_t direction, const s_ZRT_ContribLoader* loader);
// Records a crossing within the accepted step and moves on to this point.
void ZRT_acceptLastCrossing(ZRT_LastCrossing* record, const s_ZRT_ContribLoader* loader);
