// The z-transform operators zi_nd, zi_np, zi_zd and zi_zp: sampled-data
// filters. At the sample times t0, t0 + T, t0 + 2T, ... the operator takes
// the present input into its input history and computes a new output
//
//   y = (b[0] u[0] + ... + b[nb-1] u[nb-1] - (a[1] y[0] + ... + a[na-1] y[na-2])) / a[0]
//
// from the numerator b and denominator a, polynomials in z^-1 given as
// runtime arrays, each either as coefficients or as roots in (real,
// imaginary) pairs. Between samples the output is held; every change goes
// through an embedded transition operator with the operator's transition
// time, so that the output moves linearly. The operator owns a branch
// without nodes whose equation the host completes: the runtime loads -y and
// its derivative -1.0 and hands the transition output to the loader's
// LoadZ_Transform slot.
//
// A module drives it in this order: create; give the arrays; finalize
// topology; set stamp, then one derivative doublet per unknown the input
// depends on; on every evaluation set argument and a load; accept at
// accepted time points (the sampling); clone with the private block; destroy
// before the block is freed.
#pragma once

#include <cstdint>

#include "ZRT_Array.h"
#include "rte/ZRT_CommonInterface.h"
#include "dsl/polynomial_factoring.h"
#include "dsl/transition.h"

// Bits of ZRT_OpBranch_zi::ownedArrays: the array is the operator's own
// duplicate and is released with it.
enum ZRT_ZiOwnedArrayE : uint32_t {
    ZRT_ZI_OWNS_NUMERATOR = 1,
    ZRT_ZI_OWNS_DENOMINATOR = 2,
};

struct ZRT_OpBranch_zi {
    const char* name;
    s_ZRT_DeviceInst* inst;
    s_ZRT_Array* numerArray;      // null: the constant 1 (root form only)
    s_ZRT_Array* denomArray;
    s_ZRT_StateVar* _branchVar;   // null until finalize topology
    ZRT_Handle rhsHandle;         // residual of the branch row
    ZRT_Handle zHandle;           // the host's z-transform entry
    ZRT_Handle doubletHandle;     // branch variable on itself
    int32_t coeffsReady;          // 0 until ZRT_ziComputeCoeffs has run to the end
    int32_t numerCount;           // entries of b and u
    int32_t _numerZeroForm;       // numerator given as roots
    int32_t numerFormPad;
    double* b;                    // numerator coefficients
    double* u;                    // input history, u[0] the newest
    int32_t denomCount;           // entries of a and y
    int32_t _denomPoleForm;       // denominator given as roots
    double* a;                    // denominator coefficients
    double* y;                    // output history, y[0] the newest
    ZRT_OpBranch_transition* transition;  // owned
    double output;                // the present filter output
    double nextSampleTime;        // 0.0 at creation
    double input;                 // last input given
    double period;                // T
    double t0;                    // first sample time after time 0
    double transitionTime;        // rise and fall time of the output
    uint64_t customWord;          // kept with the saved state, never interpreted
    uint32_t ownedArrays;         // ZRT_ZiOwnedArrayE bits
    ZRT_CoeffSnapshot numerSeen;  // the arrays' values the coefficients were computed from
    ZRT_CoeffSnapshot denomSeen;
    ZRT_ArrayErrors arrayErrors;  // the errors of the arrays, told once
};

ZRT_PIN_WORD(ZRT_OpBranch_zi, numerArray, 3);
ZRT_PIN_WORD(ZRT_OpBranch_zi, _branchVar, 5);
ZRT_PIN_WORD(ZRT_OpBranch_zi, coeffsReady, 9);
ZRT_PIN_HIGH_HALF(ZRT_OpBranch_zi, numerCount, 9);
ZRT_PIN_WORD(ZRT_OpBranch_zi, b, 11);
ZRT_PIN_WORD(ZRT_OpBranch_zi, denomCount, 13);
ZRT_PIN_WORD(ZRT_OpBranch_zi, transition, 16);
ZRT_PIN_WORD(ZRT_OpBranch_zi, transitionTime, 22);
ZRT_PIN_WORD(ZRT_OpBranch_zi, customWord, 23);

// A new operator with the form flags (non-zero: that side is given as roots)
// and its transition operator, whose default rise and fall time is
// `transitionTime`. Null when memory is exhausted.
ZRT_OpBranch_zi* ZRT_createOpBranch_zi(const char* name, s_ZRT_DeviceInst* inst, int32_t numerAsRoots,
                                       int32_t denomAsRoots, double transitionTime);
// Destroys the transition operator, releases the four buffers, the arrays
// the operator owns and the record. Nothing for null.
void ZRT_destroyOpBranch_zi(ZRT_OpBranch_zi* pOp);

// Keeps the arrays. An analog array variable is kept as the operator's own
// duplicate, so that later writes by the model do not reach the filter
// unseen. Called again, it takes the new arrays over: a variable of the same
// shape is assigned into the duplicate (marking it modified when an element
// changed), any other replaces it; the next set argument then recomputes the
// coefficients, keeping the histories.
void ZRT_ziInitArrayArg(ZRT_OpBranch_zi* pOp, s_ZRT_Array* numer, s_ZRT_Array* denom);
// Creates the operator's nodeless branch named after it; once per record.
void ZRT_ziFinalizeTopology(ZRT_OpBranch_zi* pOp, void* extra);
// Requests the residual, z-transform and self-doublet entries, in that order.
void ZRT_ziSetStamp(ZRT_OpBranch_zi* pOp, void* extra);
// A doublet of the branch variable against (col, col2) with the host's
// z-transform code 4 and the caller's kind; `unused` is not read.
ZRT_Handle ZRT_getDerivDoubletOpBranch_zi(ZRT_OpBranch_zi* pOp, s_ZRT_StateVar* col, s_ZRT_StateVar* col2,
                                          void* unused, int32_t kind, void* extra);
s_ZRT_StateVar* ZRT_getBranchVar_zi(const ZRT_OpBranch_zi* pOp);

// Every evaluation: refreshes digital arrays, computes the coefficients when
// they are not ready or an array is marked modified or holds other values
// than they were computed from (another reader of the array may have taken
// the change over and cleared its flag), keeps x, T, the transition
// time and t0, drives the transition operator towards the present output,
// hands its output to LoadZ_Transform and keeps the host from stepping past
// the next sample (DoBoundStep reason 4).
void ZRT_ziSetArg(ZRT_OpBranch_zi* pOp, double x, double period, double transitionTime, double t0,
                  const s_ZRT_ContribLoader* loader);
// The derivative of the input for a doublet, through LoadZ_Transform_dwrt
// when the loader has it.
void ZRT_ziSetArg_dwrt(ZRT_OpBranch_zi* pOp, ZRT_Handle word, double deriv, const s_ZRT_ContribLoader* loader);
// Residual -y of the branch row (y the branch value); the full load adds
// -1.0 on the branch variable itself.
void ZRT_ziGenericLoadRHS(ZRT_OpBranch_zi* pOp, const s_ZRT_ContribLoader* loader);
void ZRT_ziGenericLoad(ZRT_OpBranch_zi* pOp, const s_ZRT_ContribLoader* loader);
// The sampling step at an accepted time point: at time 0 the histories are
// filled with the present input and output; when the point reaches the next
// sample time (within the host's minimum step) the histories move on, the
// new output is computed and handed to the transition operator, and the
// next sample time is set.
void ZRT_ziAcceptTimePoint(ZRT_OpBranch_zi* pOp, const s_ZRT_ContribLoader* loader);

// The operator keeps its histories over a reset and has no noise.
void ZRT_ziReset(ZRT_OpBranch_zi* pOp);
void ZRT_reportNoiseContribForOp_zi(ZRT_OpBranch_zi* pOp, int32_t sourceIndex, void* extra);
void ZRT_addNoiseForOp_zi(ZRT_NoiseSrc* pSrc, ZRT_OpBranch_zi* pOp, double value);

// A copy bound to `newInst` with copies of the four buffers, its own clone of
// the transition operator and duplicates of the arrays present (a duplicate
// of a digital array mirrors the same signal), all released by its own
// destroy. Null when memory is exhausted (nothing is left allocated).
ZRT_OpBranch_zi* ZRT_OpClone_zi(const ZRT_OpBranch_zi* pOp, s_ZRT_DeviceInst* newInst);

// The coefficients b and a from the arrays, with new input and output
// histories of their counts that keep the existing histories (newest first,
// new entries 0.0):
// - an absent array is the constant 1 for a side given as roots; a side of
//   coefficients without an array (one the heap could not give) leaves the
//   coefficients not ready, as an exhausted heap does; an array given as roots becomes its polynomial in z^-1, an empty
//   one the constant 1; an empty numerator given as coefficients is (0);
// - a zero leading denominator coefficient shifts both sides down to the
//   first non-zero one ("Non-causal z-transform operator." when the
//   numerator starts earlier); with none, or an empty denominator, the error
//   "Leading denominator coefficient must be non-zero for operator '%s'.",
//   except for a denominator that mirrors a digital signal: it takes a[0] =
//   1.0 and is computed again at the next set argument.
// Clears both arrays' modified flags. When memory is exhausted the operator
// keeps its previous coefficients and histories and tries again at the next
// set argument.
void ZRT_ziComputeCoeffs(ZRT_OpBranch_zi* pOp);
