// Simulator events, analysis masks, the time-control record and the terminate
// request: the event records the runtime creates for an instance and the two
// optional per-instance records that every load resets.
#pragma once

#include "ZRT_CCompat.h"

#include <stdint.h>

#include "ZRT_HostInterface.h"

// Kinds of ZRT_EventDesc.eventType.
ZRT_ENUM(ZRT_EventTypeE, uint32_t) {
    ZRT_EVT_INITIAL_STEP = 0,
    ZRT_EVT_FINAL_STEP = 1,
    ZRT_EVT_TIMER = 2,
    ZRT_EVT_CROSS = 3,
    ZRT_EVT_ABOVE = 4,
    ZRT_EVT_D2A = 5,  // digital-to-analog event; carries no data
};

// Analysis bits, as the host's FormAnalysisQueryMask and the loader's
// GetAnalysisQueryMask answer them. "all" is a bit of its own.
ZRT_ENUM(ZRT_AnalysisMaskE, uint32_t) {
    ZRT_ANALYSIS_AC = 1,
    ZRT_ANALYSIS_DC = 2,
    ZRT_ANALYSIS_NOISE = 4,
    ZRT_ANALYSIS_TRAN = 8,
    ZRT_ANALYSIS_IC = 16,
    ZRT_ANALYSIS_STATIC = 32,
    ZRT_ANALYSIS_NODESET = 64,
    ZRT_ANALYSIS_HB = 128,
    ZRT_ANALYSIS_ENV = 256,
    ZRT_ANALYSIS_PSS = 512,
    ZRT_ANALYSIS_XF = 1024,
    ZRT_ANALYSIS_ALL = 2048,
};

// A simulator event of an instance. `info` is, by kind: initial and final
// step, a uint32_t analysis mask made with `new`; timer, a ZRT_TimerInfo made
// with ZRT_calloc; cross and above, the host's record; digital-to-analog, null.
typedef struct ZRT_EventDesc ZRT_EventDesc;
struct ZRT_EventDesc {
    void* reserved0;
    s_ZRT_DeviceInst* inst;  // owning instance
    uint32_t eventType;      // ZRT_EventTypeE
    void* info;
};

// State of a timer event. Saved and restored as a whole, padding included.
typedef struct ZRT_TimerInfo ZRT_TimerInfo;
struct ZRT_TimerInfo {
    uint32_t tag;         // always ZRT_EVT_TIMER (2); a restore refuses any other
    uint32_t tagPad;
    double start;
    double period;        // the given period when above 0, else 0.0
    double tolerance;
    double enabled;       // 1.0 or 0.0
    double next;          // next event time, -1.0 for none
    double lastFire;      // -1.0 for none
    double lastAccepted;
    uint8_t changed;      // start or period changed since the last accepted point
    uint8_t fired;        // the last signal answered true
    uint8_t armed;        // signalled since the last accepted point
    uint8_t prevFired;    // fired at the last accepted point
    uint8_t flagsPad[4];
};

// Node of a time-control request list. The host allocates nodes with the
// language's `new` (they may be larger than these two links); the runtime
// releases them with `delete`.
typedef struct ZRT_TimeControlNode ZRT_TimeControlNode;
struct ZRT_TimeControlNode {
    ZRT_TimeControlNode* next;
    ZRT_TimeControlNode* prev;
};

// Optional per-instance time-control record (s_ZRT_DeviceInst.pTimeControl).
typedef struct ZRT_TimeControlData ZRT_TimeControlData;
struct ZRT_TimeControlData {
    double time;
    int32_t flag;
    int32_t flagPad;
    double times[3];
    int32_t counter;
    int32_t counterPad;
    ZRT_TimeControlNode* requests[2];  // heads of circular lists, may be null
};

// Optional per-instance terminate request (s_ZRT_DeviceInst.pTerminate).
typedef struct ZRT_TerminateRequest ZRT_TerminateRequest;
struct ZRT_TerminateRequest {
    int32_t kind;
    int32_t code;
    void* data;
};

ZRT_PIN_WORD(ZRT_EventDesc, inst, 2);
ZRT_PIN_WORD(ZRT_EventDesc, eventType, 3);
ZRT_PIN_WORD(ZRT_EventDesc, info, 4);
static_assert(sizeof(ZRT_EventDesc) == 32, "event descriptor is four words");

ZRT_PIN_WORD(ZRT_TimerInfo, start, 2);
ZRT_PIN_WORD(ZRT_TimerInfo, period, 3);
ZRT_PIN_WORD(ZRT_TimerInfo, tolerance, 4);
ZRT_PIN_WORD(ZRT_TimerInfo, enabled, 5);
ZRT_PIN_WORD(ZRT_TimerInfo, next, 6);
ZRT_PIN_WORD(ZRT_TimerInfo, lastFire, 7);
ZRT_PIN_WORD(ZRT_TimerInfo, lastAccepted, 8);
ZRT_PIN_WORD(ZRT_TimerInfo, changed, 9);
static_assert(offsetof(ZRT_TimerInfo, prevFired) == 67, "the four timer flags are bytes in a row");
static_assert(sizeof(ZRT_TimerInfo) == 72, "timer record is nine words");

ZRT_PIN_WORD(ZRT_TimeControlData, flag, 2);
ZRT_PIN_WORD(ZRT_TimeControlData, times, 3);
ZRT_PIN_WORD(ZRT_TimeControlData, counter, 6);
ZRT_PIN_WORD(ZRT_TimeControlData, requests, 7);
static_assert(sizeof(ZRT_TimeControlData) == 64, "time-control record is eight words");

ZRT_PIN_HIGH_HALF(ZRT_TerminateRequest, code, 1);
ZRT_PIN_WORD(ZRT_TerminateRequest, data, 2);
static_assert(sizeof(ZRT_TerminateRequest) == 16, "terminate request is two words");
