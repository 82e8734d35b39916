#include "dsl/last_crossing.h"

namespace {

bool rises(double previous, double present) { return previous <= 0.0 && present > 0.0; }
bool falls(double previous, double present) { return previous >= 0.0 && present < 0.0; }

// Where the line from (prevTime, prevValue) to (t, x) crosses zero.
double crossingTime(const ZRT_LastCrossing& r, double t, double x) {
    return r.prevTime - r.prevValue / ((x - r.prevValue) / (t - r.prevTime));
}

}  // namespace

ZRT_LastCrossing* ZRT_createLastCrossing(s_ZRT_DeviceInst* inst) {
    auto* record = static_cast<ZRT_LastCrossing*>(
        ZRT_malloc(sizeof(ZRT_LastCrossing), simOf(inst), inst, nullptr));
    if (record != nullptr) {
        *record = ZRT_LastCrossing{inst, -1.0, 0.0, 0.0, -1.0, -1.0};
    }
    return record;
}

void ZRT_resetLastCrossing(ZRT_LastCrossing* record) {
    if (record != nullptr) {
        record->prevTime = -1.0;
        record->lastRise = -1.0;
        record->lastFall = -1.0;
    }
}

double ZRT_LastCrossingVal(ZRT_LastCrossing* record, double x, int32_t direction, const s_ZRT_ContribLoader* loader) {
    if (record == nullptr) {
        return -1.0;
    }
    record->presentValue = x;
    const double t = loader->GetTime(loader, record->inst);
    if (t <= 0.0) {
        return -1.0;
    }
    const double p = record->prevValue;
    if ((direction >= 0 && rises(p, x)) || (direction <= 0 && falls(p, x))) {
        return crossingTime(*record, t, x);
    }
    if (direction == 0) {
        return record->lastRise > record->lastFall ? record->lastRise : record->lastFall;
    }
    return direction < 0 ? record->lastFall : record->lastRise;
}

void ZRT_acceptLastCrossing(ZRT_LastCrossing* record, const s_ZRT_ContribLoader* loader) {
    if (record == nullptr) {
        return;
    }
    const double t = loader->GetTime(loader, record->inst);
    if (t > 0.0) {
        if (rises(record->prevValue, record->presentValue)) {
            record->lastRise = crossingTime(*record, t, record->presentValue);
        } else if (falls(record->prevValue, record->presentValue)) {
            record->lastFall = crossingTime(*record, t, record->presentValue);
        }
    }
    record->prevTime = t;
    record->prevValue = record->presentValue;
}
