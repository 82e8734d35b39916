// Saved states of the slew, transition, idt, zi, ddt, laplace and
// last-crossing records, and the serializers of runtime arrays and texts, in
// the saved-state stream.
//
// Every serialize function here does nothing when the direction is 2 and sets
// it to 2 at the first failed read. Reads are all-or-nothing: a payload that
// is short, or whose counts cannot be right, is refused and leaves its record,
// array or text as it was.
//
// Payloads (raw little-endian, integers 4 bytes, doubles 8):
// - slew state record: previous time, previous output, present time, present output,
//   present derivative (40 bytes);
// - idt: accepted value, accepted input, last accepted time, input (32 bytes);
// - last crossing: last time, previous value, present value, last rising and
//   last falling crossing (40 bytes);
// - transition state record: "Transition_Begin", its 132 bytes of fields,
//   "Transition_List", the number of event nodes in its chain (free nodes
//   behind the last pending event included), the position of the last
//   pending event in the chain (-1 for none) and 44 bytes per node;
// - array: dimensions, (left, right) per dimension as declared, element
//   count, then the elements (doubles for a real array, 32-bit integers for
//   an integer array, none for another type); an array without bounds writes
//   0 dimensions and reads back without bounds;
// - text: its length without terminator, then its characters.
#pragma once

#include <cstdint>

#include "ZRT_Array.h"
#include "dsl/ZRT_StateSerialization.h"
#include "dsl/ddt_idt.h"
#include "dsl/laplace.h"
#include "dsl/last_crossing.h"
#include "dsl/slew.h"
#include "dsl/transition.h"
#include "dsl/zi.h"

// Saved state of an idt or idtmod operator (ZRT_IDT_STATE, released with
// ZRT_free). The load type is not in the stream: a restored state keeps the
// one it was made with.
struct ZRT_IdtState {
    ZRT_GenericOperatorState head;
    double acceptedValue;
    double acceptedInput;
    double lastAcceptedTime;
    uint32_t _loadType;
    uint32_t _loadTypePad;
    double input;
};

ZRT_PIN_WORD(ZRT_IdtState, acceptedValue, 4);
ZRT_PIN_WORD(ZRT_IdtState, _loadType, 7);
ZRT_PIN_WORD(ZRT_IdtState, input, 8);

// Saved state of a zi operator (ZRT_ZI_STATE), null while the operator's
// coefficients are not ready. It owns copies of the two histories and of the
// embedded transition operator's state record, released with it by freeZiState. The
// input, period, first sample time, transition time and custom word are not
// in the stream: a restored state keeps the values it was made with. The
// history lengths are kept here rather than read through the operator, so
// that a stream is checked against the copies it is read into.
struct ZRT_ZiState {
    ZRT_GenericOperatorState head;
    double output;
    double nextSampleTime;
    double* u;                       // numerCount values
    double* y;                       // denomCount values
    ZRT_TransitionSpec* transition;
    double input;
    double period;
    double t0;
    double transitionTime;
    uint64_t customWord;
    int32_t numerCount;
    int32_t denomCount;
};

ZRT_PIN_WORD(ZRT_ZiState, output, 4);
ZRT_PIN_WORD(ZRT_ZiState, transition, 8);
ZRT_PIN_WORD(ZRT_ZiState, customWord, 13);

// Serialize functions of the saved states.
void serializeSlewSpec(ZRT_GenericOperatorState* state, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir);
void serialize_idtState(ZRT_GenericOperatorState* state, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir);
// zi: "\nzi", output, next sample time, the two counts (a count other than
// the state's fails the read), the input then the output history, then the
// transition state record's payload.
void serialize_ziState(ZRT_GenericOperatorState* state, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir);
void freeZiState(ZRT_GenericOperatorState* state);
void ZRT_serializeLastCrossing(ZRT_LastCrossing* record, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir);

// Saved states of the operators. A save answers a new state (null for a null
// operator or an exhausted heap); a restore installs a copy of the state,
// which stays the caller's. A state of another kind stops at an assertion.
ZRT_GenericOperatorState* ZRT_slewSaveState(const ZRT_OpBranch_slew* pOp);
void ZRT_slewRestoreState(ZRT_OpBranch_slew* pOp, ZRT_GenericOperatorState* pOpState);
ZRT_GenericOperatorState* ZRT_idtSaveState(const ZRT_OpBranch_idt* pOp);
void ZRT_idtRestoreState(ZRT_OpBranch_idt* pOp, ZRT_GenericOperatorState* pOpState);
// A null zi state makes the operator compute its coefficients again; the
// histories are copied back as far as both have values.
ZRT_GenericOperatorState* ZRT_ziSaveState(const ZRT_OpBranch_zi* pOp);
void ZRT_ziRestoreState(ZRT_OpBranch_zi* pOp, ZRT_GenericOperatorState* pOpState);
// ddt and laplace keep no state: the save answers null and the restore
// requires null.
ZRT_GenericOperatorState* ZRT_ddtSaveState(const ZRT_OpBranch_ddt* pOp);
void ZRT_ddtRestoreState(ZRT_OpBranch_ddt* pOp, ZRT_GenericOperatorState* pOpState);
ZRT_GenericOperatorState* ZRT_lapSaveState(const ZRT_OpBranch_lap* pOp);
void ZRT_lapRestoreState(ZRT_OpBranch_lap* pOp, ZRT_GenericOperatorState* pOpState);

// A restore replaces the array's bounds and elements at once, through the
// array's interface; its name, type and interface stay. Arrays of a module
// are read in place, so a module that must keep them when a later part of
// the stream fails reads into temporary arrays.
void ZRT_serializeArray(s_ZRT_Array* pArray, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir);
// A null text is written as the empty text. A restore stores a new text of
// its own (ZRT_malloc, no interface) in `*text`; the text it replaces stays
// the caller's to release, since it may be a literal. A stored text with a
// NUL inside is refused.
void ZRT_serializeString(char** text, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir);
