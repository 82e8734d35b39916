// The absdelay operator: delays a model quantity through the host. The host
// keeps the delay state (history of past inputs, interpolation at t - td)
// and loads the delayed value into the operator's delay entry; the operator
// adds the equation of its own branch variable, whose value is the delayed
// quantity.
//
// A module drives it in this order: create; finalize topology; set stamp,
// then one derivative doublet per unknown the input depends on; on every
// load set argument, the argument derivatives (full load only) and the load
// itself; accept at accepted time points; reset with the memory states;
// clone with the private block; destroy before the block is freed.
#pragma once

#include "rte/ZRT_CommonInterface.h"
#include "ZRT_SavedState.h"

struct ZRT_OpBranch_delay {
    const char* name;
    s_ZRT_DeviceInst* inst;
    s_ZRT_StateVar* _branchVar;          // null until finalize topology
    ZRT_Handle rhsHandle;                // residual of the branch row
    ZRT_Handle delayHandle;              // the host's delayed value
    ZRT_Handle doubletHandle;            // branch variable on itself
    ZRT_GenericOperatorState* delayState;  // the host's, kind ZRT_DELAY_SPEC
    double presentDelay;                 // last delay handed to the loader
    ZRT_FreqResponse* freqResponse;      // made at the first noise contribution
    uint32_t warned;                     // 1 once the negative-delay warning was given
};

ZRT_PIN_WORD(ZRT_OpBranch_delay, _branchVar, 3);
ZRT_PIN_WORD(ZRT_OpBranch_delay, delayState, 7);
ZRT_PIN_WORD(ZRT_OpBranch_delay, presentDelay, 8);
ZRT_PIN_WORD(ZRT_OpBranch_delay, freqResponse, 9);
ZRT_PIN_WORD(ZRT_OpBranch_delay, warned, 10);

// A new operator with a fresh delay state from the host's CreateDelaySpec;
// marks the instance as having an operator. Null when memory is exhausted.
ZRT_OpBranch_delay* ZRT_createOpBranch_delay(const char* name, s_ZRT_DeviceInst* inst);
// Releases the delay state, the frequency response and the record.
void ZRT_destroyOpBranch_delay(ZRT_OpBranch_delay* pOp);

// Creates the operator's nodeless branch named after it; once per record.
// The third argument is not used.
void ZRT_delayFinalizeTopology(ZRT_OpBranch_delay* pOp, void* extra, void* unused);
// Requests the residual, delay and self-doublet entries, in that order.
void ZRT_delaySetStamp(ZRT_OpBranch_delay* pOp, void* extra);
// A doublet of the branch variable against (nodeA, nodeB); `word` is not used.
ZRT_Handle ZRT_getDerivDoubletOpBranch_delay(ZRT_OpBranch_delay* pOp, s_ZRT_StateVar* nodeA, s_ZRT_StateVar* nodeB,
                                             void* word, int32_t flag, void* extra);
s_ZRT_StateVar* ZRT_getBranchVar_delay(const ZRT_OpBranch_delay* pOp);

// Hands the input x, the delay td (a negative delay is warned about once per
// operator and replaced by 0.0) and the maximum delay to the loader.
void ZRT_delaySetArg(ZRT_OpBranch_delay* pOp, double x, double td, double tdmax, const s_ZRT_ContribLoader* loader);
// The derivative of the input with respect to the unknown of a doublet.
void ZRT_delaySetArg_dwrt(ZRT_OpBranch_delay* pOp, ZRT_Handle doublet, double deriv,
                          const s_ZRT_ContribLoader* loader);
// Residual -v of the branch row (v the branch value); the full load adds -1.0
// on the branch variable itself.
void ZRT_delayGenericLoadRHS(ZRT_OpBranch_delay* pOp, const s_ZRT_ContribLoader* loader);
void ZRT_delayGenericLoad(ZRT_OpBranch_delay* pOp, const s_ZRT_ContribLoader* loader);

void ZRT_delayAcceptTimePoint(ZRT_OpBranch_delay* pOp, const s_ZRT_ContribLoader* loader);
// A fresh delay state and a present delay of 0.0; the warned flag stays.
void ZRT_delayReset(ZRT_OpBranch_delay* pOp);

void ZRT_reportNoiseContribForOp_delay(ZRT_OpBranch_delay* pOp, int32_t sourceIndex, void* extra);
// Adds a contribution shaped by e^(-j w td) under the residual handle.
void ZRT_addNoiseForOp_delay(ZRT_NoiseSrc* pSrc, ZRT_OpBranch_delay* pOp, double value);
// The operator's response at angular frequency w: e^(-j w td).
void delayFreqResponse(void* pOp, double w, ZRT_Cmplx* out);

// A copy bound to `newInst` with its own copy of the delay state and no
// frequency response of its own yet; null, with nothing kept, when the record
// or the host's copy of the delay state cannot be had.
ZRT_OpBranch_delay* ZRT_OpClone_delay(const ZRT_OpBranch_delay* pOp, s_ZRT_DeviceInst* newInst);

// Saved state: a host copy of the delay state; restoring installs a copy of
// the saved state, which stays the caller's. The restore answers 1 once the
// copy is installed, 0 (the operator keeping its own state) when the host
// could not make one or there is no operator.
ZRT_GenericOperatorState* ZRT_delaySaveState(const ZRT_OpBranch_delay* pOp);
int32_t ZRT_delayRestoreState(ZRT_OpBranch_delay* pOp, ZRT_GenericOperatorState* pOpState);
