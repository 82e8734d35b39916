// The laplace operators: a rational transfer function H(s) = N(s)/D(s)
// realised in the time domain by unknowns and equations of their own.
//
// Numerator and denominator come as runtime arrays, each either as
// coefficients in ascending powers of s or as roots in (real, imaginary)
// pairs. Two realisations exist, fixed when the topology is finalized:
//   - direct: a chain of states x0..xN with xk = c[k] d/dt x(k-1), the
//     denominator's sum in the equation of x0 and the output the numerator's
//     sum of the states;
//   - cascade: an auxiliary input variable followed by second-order sections,
//     each with an inner and an output variable.
// The host's simulator parameters "maxLaplace_d_Order" and
// "maxLaplace_p_Order" choose between them; with neither set every operator
// is direct.
//
// A module drives an operator in this order: create; give the arrays;
// finalize topology; set stamp (then any derivative doublets of the input);
// on every load set argument, the argument derivatives (full load only) and
// the load; clone with the private block; destroy before the block is freed.
// Every operation accepts a null record and then does nothing; one whose
// topology or stamps could not be made skips its loads.
#pragma once

#include <cstdint>

#include "ZRT_Array.h"
#include "rte/ZRT_CommonInterface.h"
#include "dsl/polynomial_factoring.h"

// Bits of ZRT_OpBranch_lap::flags.
enum ZRT_LapFlagE : uint8_t {
    LAP_DIRECT = 0x01,          // direct realisation, else cascade
    LAP_NUMER_COEFFS = 0x02,    // numerator given as coefficients
    LAP_DENOM_COEFFS = 0x04,    // denominator given as coefficients
    LAP_COMPUTED = 0x08,        // coefficients computed at least once
    LAP_TOPOLOGY = 0x10,        // every state variable was made
    LAP_STAMPED = 0x20,         // every handle was obtained
    LAP_OWNS_NUMER = 0x40,      // the numerator array is the operator's copy
    LAP_OWNS_DENOM = 0x80,      // the denominator array is the operator's copy
};

struct ZRT_OpBranch_lap {
    const char* name;             // kept, not copied
    s_ZRT_DeviceInst* inst;
    s_ZRT_StateVar* _branchVar;   // the output, null until finalize topology
    s_ZRT_Array* numer;
    s_ZRT_Array* denom;
    int32_t _numerN;              // orders, fixed at finalize topology
    int32_t _denomN;
    uint8_t flags;                // ZRT_LapFlagE bits
    int32_t order;                // max(_numerN, _denomN)
    double gain;                  // 1.0 at creation
    s_ZRT_StateVar* inputVar;     // chain state 0 or the auxiliary variable
    ZRT_Handle inputKey;          // static residual of the input variable's equation
    ZRT_Handle keyDoublet;        // the output (direct) or the auxiliary variable (cascade) on itself

    // Cascade.
    char* auxName;
    ZRT_Biquad** sections;
    int32_t _numBiquads;

    // Direct: states 0..order with their names and handles.
    s_ZRT_StateVar** chain;
    char** chainNames;
    ZRT_Handle outputKey;         // static residual of the output's equation
    ZRT_Handle* outputDoublets;   // the output on states 0.._numerN
    ZRT_Handle* chainStatic;      // static residual of each state
    ZRT_Handle* chainDynamic;     // dynamic residual of each state (entry 0 unused)
    ZRT_Handle* sumDoublets;      // state 0 on states 0.._denomN
    ZRT_Handle* stepDoublets;     // state k on state k-1 (2k-2) and on itself (2k-1), k = 1..order
    double* scale;                // order + 1 entries
    double* scaledNumer;          // _numerN + 1 entries
    uint8_t* nonZero;             // _denomN + 1 marks

    // The arrays' values the coefficients were computed from.
    ZRT_CoeffSnapshot numerSeen;
    ZRT_CoeffSnapshot denomSeen;
    ZRT_ArrayErrors arrayErrors;  // the errors of the arrays, told once
};

// A new operator; `numerRoots` / `denomRoots` non-zero when that side is
// given as roots. Null when memory is exhausted.
ZRT_OpBranch_lap* ZRT_createOpBranch_lap(const char* name, s_ZRT_DeviceInst* inst, int32_t numerRoots,
                                         int32_t denomRoots);
// Keeps the arrays; an analog array variable is kept as the operator's own
// copy, refreshed at each set argument.
void ZRT_lapInitArrayArg(ZRT_OpBranch_lap* pOp, s_ZRT_Array* numer, s_ZRT_Array* denom);
// Orders, the realisation and its state variables; `keepName` is passed to
// the creation of each state variable.
void ZRT_lapFinalizeTopology(ZRT_OpBranch_lap* pOp, void* extra, int32_t keepName);
// Requests every residual and doublet handle of the realisation.
void ZRT_lapSetStamp(ZRT_OpBranch_lap* pOp, void* extra);

// Refreshes changed array variables, computes the coefficients when they
// were never computed or an array is marked modified or holds other values
// than they were computed from, and loads -gain * x into the input
// equation.
void ZRT_lapSetArg(ZRT_OpBranch_lap* pOp, double x, const s_ZRT_Array* numer, const s_ZRT_Array* denom,
                   const s_ZRT_ContribLoader* loader);
// -gain * derivative at a doublet of the input equation.
void ZRT_lapSetArg_dwrt(ZRT_OpBranch_lap* pOp, ZRT_Handle doublet, double deriv, const s_ZRT_ContribLoader* loader);
// A doublet of the input variable against `column`; a target of 1 (ddt) is
// an assertion.
ZRT_Handle ZRT_getDerivDoubletOpBranch_lap(ZRT_OpBranch_lap* pOp, s_ZRT_StateVar* column, s_ZRT_StateVar* word,
                                           int32_t target, int32_t kind, void* extra);

// The equations of the realisation: residuals and, in the full load, their
// derivatives.
void ZRT_lapGenericLoad(ZRT_OpBranch_lap* pOp, const s_ZRT_ContribLoader* loader);
void ZRT_lapGenericLoadRHS(ZRT_OpBranch_lap* pOp, const s_ZRT_ContribLoader* loader);

s_ZRT_StateVar* ZRT_getBranchVar_lap(const ZRT_OpBranch_lap* pOp);

// Noise enters where the input does: the host's solution of the operator's
// equations shapes it by H(jw). The value is weighted by the operator's gain,
// as the input is.
void ZRT_reportNoiseContribForOp_lap(ZRT_OpBranch_lap* pOp, int32_t sourceIndex, void* extra);
void ZRT_addNoiseForOp_lap(ZRT_NoiseSrc* pSrc, ZRT_OpBranch_lap* pOp, double value);

// A deep copy bound to `newInst`: its own copies of the array variables,
// sections, names and buffers; other arrays (parameters, digital signals)
// are read by both, each noticing their changes by itself; state variables
// and handles are the same values.
ZRT_OpBranch_lap* ZRT_OpClone_lap(const ZRT_OpBranch_lap* pOp, s_ZRT_DeviceInst* newInst);
// Releases everything the operator owns, then the record.
void ZRT_destroyOpBranch_lap(ZRT_OpBranch_lap* pOp);

void ZRT_lapReportLinearScale(ZRT_OpBranch_lap* pOp, double scale);
void ZRT_lapReset(ZRT_OpBranch_lap* pOp);
void ZRT_lapAcceptTimePoint(ZRT_OpBranch_lap* pOp, const s_ZRT_ContribLoader* loader);

// The coefficients of the direct realisation and of the cascade. The orders
// stay fixed from finalize on, so an array that shrank reads as zeros. False
// when the heap could not give what the computation needs: the coefficients
// are then incomplete and must be computed again. (An array that cannot be
// factored is reported and answers true: computing again gives the same.)
bool computeCoeffs_lap_d(ZRT_OpBranch_lap* pOp);
bool computeCoeffs_lap_p(ZRT_OpBranch_lap* pOp);
