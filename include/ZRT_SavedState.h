// Saved state of an instance: the record a module fills for a save or a
// restore, the head of every analog operator's saved state, the delay state
// in the runtime's layout with its time-value history, and the host's
// cross-event state as the saved-state stream writes it.
//
// The stream itself is raw native little-endian values in a fixed order:
// the module's record, "Operator_states", the operator-state count and the
// operator payloads, "Event_states", the event-state count and the event
// states, then the operator-state count again. Labels carry no terminator.
#pragma once

#include "ZRT_CCompat.h"

#include <stddef.h>
#include <stdint.h>

#include "ZRT_HostInterface.h"

// Direction of every serialize call. A serializer that finds
// ZRT_SRLZ_FAILED does nothing; a failed read turns the direction into it.
// Every value other than 0 and 2 reads.
ZRT_ENUM(ZRT_SrlzDirE, int32_t) {
    ZRT_SRLZ_SAVE = 0,
    ZRT_SRLZ_RESTORE = 1,
    ZRT_SRLZ_FAILED = 2,
};

// Kinds of operator saved state.
ZRT_ENUM(ZRT_OpStateTypeE, uint32_t) {
    ZRT_DELAY_SPEC = 11,
    ZRT_SLEW_SPEC = 12,
    ZRT_TRANSITION_SPEC = 13,
    ZRT_IDT_STATE = 15,
    ZRT_ZI_STATE = 16,
};

typedef void (*ZRT_OpStateSerializeFn)(ZRT_GenericOperatorState* state, s_ZRT_DeviceInst* inst,
                                       ZRT_SrlzDirE* dir);
typedef void (*ZRT_OpStateFreeFn)(ZRT_GenericOperatorState* state);

// Head of every operator's saved state. A null free function means the
// state is one block released with ZRT_free. Of a host's delay state the
// runtime reads this head alone; what follows it is the host's. During a
// save and again during a restore the runtime calls the serialize function
// of every operator state in one order, that of the operator slots, so a
// host that keeps its payloads beside the stream reads them back in turn.
// No serialize or free function may let a C++ exception out.
typedef struct ZRT_GenericOperatorState ZRT_GenericOperatorState;
struct ZRT_GenericOperatorState {
    uint32_t opStateType;  // ZRT_OpStateTypeE
    uint32_t opStateTypePad;
    ZRT_OpStateSerializeFn serialize;
    ZRT_OpStateFreeFn free;
};

// The module's serialize function, the first word of its state record:
// answers the direction after its last serializer call.
typedef ZRT_SrlzDirE (*ZRT_ModuleSerializeFn)(s_ZRT_DeviceInst* inst, void* stateRec, ZRT_SrlzDirE dir);

// The saved state of one instance while it is written or read. The host
// provides it, the module fills it.
typedef struct s_ZRT_DeviceState s_ZRT_DeviceState;
struct s_ZRT_DeviceState {
    void* pStateRec;                      // first word: ZRT_ModuleSerializeFn
    int32_t numOpStates;
    int32_t numOpStatesPad;
    ZRT_GenericOperatorState** pOpStates;  // null entries allowed
    int32_t numEventStates;
    int32_t numEventStatesPad;
    void** pEventState;                   // one entry per event of the module
    s_ZRT_DeviceInst* pInst;
};

// Time-value history of a delay state: `capacity` (at least 3) slots of
// (time, value); `head`, `count` and `data` are the owner's to interpret,
// but the runtime's delay payload carries only a history with
// 0 <= head < capacity and 0 <= count <= capacity: a save of any other
// fails, and a restore refuses one, so an owner may index its ring with
// head and count.
typedef struct ZRT_TimeValHist ZRT_TimeValHist;
struct ZRT_TimeValHist {
    int32_t head;
    int32_t count;
    double data;
    int32_t capacity;
    int32_t capacityPad;
    double* times;
    double* values;
};

// A delay state in the runtime's layout. The host makes and copies it
// (CreateDelaySpec, CopyDelaySpec) and gives it a serialize function: a host
// linked with the runtime itself may use the runtime's delay payload
// (serializeDelaySpec), which writes and reads this layout; the shared
// library of models does not export it, so its hosts write and read a
// payload of their own and need only the ZRT_GenericOperatorState head.
// The values and the history are the host's.
typedef struct ZRT_DelaySpec ZRT_DelaySpec;
struct ZRT_DelaySpec {
    ZRT_GenericOperatorState head;  // ZRT_DELAY_SPEC
    double values[4];
    s_ZRT_SimInterface* pSim;       // not part of the payload
    double value5;
    ZRT_TimeValHist* pHist;         // null when the state keeps no history
};

// The host's saved state of a cross or above event, as the stream writes it
// field by field (99 bytes: neither the tag nor the padding). The meaning of
// the fields is the host's. `mode` is kept as 0 or 1; any other value is
// written and read as 2.
//
// Host contract: a saved event state whose first word is not 3 is written
// and read as its first 72 bytes, so a host's other records must be at least
// that long.
typedef struct ZRT_CrossEventState ZRT_CrossEventState;
struct ZRT_CrossEventState {
    uint32_t tag;  // 3
    uint32_t tagPad;
    double d1[4];
    uint8_t bytes[7];
    uint8_t bytesPad;
    double d2[2];
    int32_t i1;
    int32_t i1Pad;
    double d3[4];
    int32_t i2;
    uint32_t mode;
};

ZRT_ENUM(ZRT_CrossStateTagE, uint32_t){ZRT_CROSS_STATE_TAG = 3};

ZRT_PIN_WORD(ZRT_GenericOperatorState, serialize, 2);
ZRT_PIN_WORD(ZRT_GenericOperatorState, free, 3);
static_assert(sizeof(ZRT_GenericOperatorState) == 24, "operator state head is three words");

ZRT_PIN_WORD(s_ZRT_DeviceState, numOpStates, 2);
ZRT_PIN_WORD(s_ZRT_DeviceState, pOpStates, 3);
ZRT_PIN_WORD(s_ZRT_DeviceState, numEventStates, 4);
ZRT_PIN_WORD(s_ZRT_DeviceState, pEventState, 5);
ZRT_PIN_WORD(s_ZRT_DeviceState, pInst, 6);
static_assert(sizeof(s_ZRT_DeviceState) == 48, "device state is six words");

ZRT_PIN_WORD(ZRT_TimeValHist, data, 2);
ZRT_PIN_WORD(ZRT_TimeValHist, capacity, 3);
ZRT_PIN_WORD(ZRT_TimeValHist, times, 4);
ZRT_PIN_WORD(ZRT_TimeValHist, values, 5);
static_assert(sizeof(ZRT_TimeValHist) == 40, "time-value history is five words");

ZRT_PIN_WORD(ZRT_DelaySpec, values, 4);
ZRT_PIN_WORD(ZRT_DelaySpec, pSim, 8);
ZRT_PIN_WORD(ZRT_DelaySpec, value5, 9);
ZRT_PIN_WORD(ZRT_DelaySpec, pHist, 10);
static_assert(sizeof(ZRT_DelaySpec) == 80, "delay state is ten words");

static_assert(offsetof(ZRT_CrossEventState, d1) == 8, "cross state doubles follow the tag");
static_assert(offsetof(ZRT_CrossEventState, bytes) == 40, "cross state bytes");
static_assert(offsetof(ZRT_CrossEventState, d2) == 48, "cross state second doubles");
static_assert(offsetof(ZRT_CrossEventState, i1) == 64, "cross state first integer");
static_assert(offsetof(ZRT_CrossEventState, d3) == 72, "cross state third doubles");
static_assert(offsetof(ZRT_CrossEventState, i2) == 104, "cross state second integer");
static_assert(offsetof(ZRT_CrossEventState, mode) == 108, "cross state enumeration");
static_assert(sizeof(ZRT_CrossEventState) == 112, "cross state is 112 bytes");
