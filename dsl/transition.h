// The transition operator: turns a piecewise-constant input into a
// piecewise-linear output. A change of the input seen at an accepted time
// point is scheduled at that time plus the delay; the output then moves from
// its present value to the new target in the rise or fall time, and is
// interpolated at whatever time the host evaluates. The operator bounds the
// host's time steps so that transitions are resolved, and in a
// pseudo-transient analysis follows its input through a first-order filter
// over the host's continuation factor. It owns no branch: the model reads the
// output and its derivative with respect to the input from the record.
//
// A module drives it in this order: create; on every evaluation set
// argument; accept at accepted time points; reset with the memory states;
// clone with the private block; destroy before the block is freed.
#pragma once

#include <cstdint>

#include "rte/ZRT_CommonInterface.h"
#include "ZRT_SavedState.h"

// A scheduled change of the target. Nodes behind the last pending event are
// free nodes kept for reuse.
struct ZRT_TransitionEvent {
    double value;
    double _evtStartTime;
    double riseTime;
    double fallTime;
    double tolerance;
    int32_t changeKind;
    ZRT_TransitionEvent* _pNext;
};

// How large the last detected change was.
enum ZRT_TransitionChangeE : int32_t {
    ZRT_TRANSITION_NO_CHANGE = 0,
    ZRT_TRANSITION_SMALL_CHANGE = 1,
    ZRT_TRANSITION_LARGE_CHANGE = 2,
};

// The operator's state, its saved state as well (kind ZRT_TRANSITION_SPEC).
// In pseudo-transient mode some fields take the filter's values, as noted.
struct ZRT_TransitionSpec {
    ZRT_GenericOperatorState head;
    double target;             // input of the last set argument
    double delay;
    double riseTime;           // effective times of the last set argument
    double fallTime;           //   (pseudo-transient: clamp range of the output)
    double tolerance;          // copied into every event
    int32_t changeCounter;     // accepted points in a row with a change, at most 100
    int32_t changeKind;        // ZRT_TransitionChangeE
    double output;             // output last computed
    double _startTime;         // present transition, -1.0 when none
    double _stopTime;
    double startValue;         // (pseudo-transient: factor at the filter's restart)
    double endValue;           // value the transition reaches (pseudo-transient: last factor)
    uint32_t minStepFlag;      // a time was derived from the minimum step
    uint32_t minStepFlagPad;
    double lastAcceptedTime;   // -1.0 before the first accepted point
    double lastAcceptedTarget; // (pseudo-transient: the filter's base)
    double lastAcceptedOutput;
    double lastChangeTarget;   // target at the last scheduled change
    int32_t steadyCounter;     // accepted points in a row without any change, at most 100
    int32_t steadyCounterPad;
    ZRT_TransitionEvent* _pPendingFirst;  // pending events by start time
    ZRT_TransitionEvent* _pPendingLast;
    ZRT_TransitionEvent* spareEvent;      // kept for reuse while the list is empty
    ZRT_SimParamEntry* pseudoTranFactor;  // null when the host has no such parameter
    ZRT_SimParamEntry* pseudoTranFilterTau;
    ZRT_SimParamEntry* transitionDisable;
    int32_t initialised;       // set at the first accepted point
    int32_t initialisedPad;
    s_ZRT_SimInterface* pSim;
    uintptr_t customInfo;
};

struct ZRT_OpBranch_transition {
    const char* name;
    s_ZRT_DeviceInst* inst;
    double defaultTime;  // for a rise or fall time that is not positive
    double output;
    double derivative;   // d output / d input
    ZRT_TransitionSpec* spec;
};

ZRT_PIN_WORD(ZRT_TransitionSpec, target, 4);
ZRT_PIN_WORD(ZRT_TransitionSpec, changeCounter, 9);
ZRT_PIN_WORD(ZRT_TransitionSpec, output, 10);
ZRT_PIN_WORD(ZRT_TransitionSpec, minStepFlag, 15);
ZRT_PIN_WORD(ZRT_TransitionSpec, steadyCounter, 20);
ZRT_PIN_WORD(ZRT_TransitionSpec, _pPendingFirst, 21);
ZRT_PIN_WORD(ZRT_TransitionSpec, pseudoTranFactor, 24);
ZRT_PIN_WORD(ZRT_TransitionSpec, initialised, 27);
ZRT_PIN_WORD(ZRT_TransitionSpec, customInfo, 29);
ZRT_PIN_WORD(ZRT_OpBranch_transition, spec, 6);

// The host's simulator parameters the operator reads, by exact name.
constexpr const char* ZRT_PSEUDOTRAN_FACTOR_PARAM = "__transition_pseudotran_factor";
constexpr const char* ZRT_PSEUDOTRAN_TAU_PARAM = "__transition_pseudotran_filter_tau";
constexpr const char* ZRT_TRANSITION_DISABLE_PARAM = "_transitionDisable";

// A new operator with the default time and a fresh state record; null when memory is
// exhausted.
ZRT_OpBranch_transition* ZRT_createOpBranch_transition(const char* name, s_ZRT_DeviceInst* inst, double defaultTime);
// Frees the state record with every event node, then the record.
void ZRT_destroyOpBranch_transition(ZRT_OpBranch_transition* pOp);
// Replaces the state record by a fresh one.
void ZRT_transitionReset(ZRT_OpBranch_transition* pOp);
// A copy bound to `newInst`, allocated through the source's instance, with a
// copy of the state record of its own.
ZRT_OpBranch_transition* ZRT_OpClone_transition(const ZRT_OpBranch_transition* pOp, s_ZRT_DeviceInst* newInst);

// Output and derivative for input x with delay td, rise and fall times and
// the tolerance given to every scheduled change.
void ZRT_transitionSetArg(ZRT_OpBranch_transition* pOp, double x, double td, double rise, double fall,
                          double tolerance, const s_ZRT_ContribLoader* loader);
// Change detection, scheduling and step bounding at an accepted time point.
void ZRT_transitionAcceptTimePoint(ZRT_OpBranch_transition* pOp, const s_ZRT_ContribLoader* loader);

// A state record with no transition and no event, the parameters looked up through
// the instance; null when memory is exhausted.
ZRT_TransitionSpec* createTransitionSpec(s_ZRT_SimInterface* sim, s_ZRT_DeviceInst* inst);
// Frees the state record, every pending and free event node and the spare node.
void freeTransitionSpec(ZRT_GenericOperatorState* spec);
// Frees a chain of event nodes, following `_pNext`.
void freeTransitionEvents(ZRT_TransitionEvent* evt);
// A copy of every field and of the event chain (free nodes included); no
// spare node. Null when memory is exhausted.
ZRT_TransitionSpec* copyTransitionSpec(const ZRT_TransitionSpec* spec);

void ZRT_setTransitionCustomInfo(ZRT_TransitionSpec* spec, uintptr_t word);
uintptr_t ZRT_getTransitionCustomInfo(const ZRT_TransitionSpec* spec);

// Saved state: a copy of the state record; restoring installs a copy of the saved
// state, which stays the caller's.
ZRT_GenericOperatorState* ZRT_transitionSaveState(const ZRT_OpBranch_transition* pOp);
void ZRT_transitionRestoreState(ZRT_OpBranch_transition* pOp, ZRT_GenericOperatorState* pOpState);
// Serialize function of the state record (payload in saved_payloads.h).
void serializeTransitionSpec(ZRT_GenericOperatorState* state, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir);
