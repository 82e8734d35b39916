// The time-derivative operator ddt and the integral operators idt and
// idtmod. Each owns an internal unknown of the circuit equations, a system
// state variable named after the operator, whose value is the operator's
// output.
//
// ddt hands scale * x to the host's reactive residual, so that the host's
// integration differentiates it: branch value - d/dt(scale * x) = 0.
//
// idt either lets the host integrate (reactive part scale * branch value,
// resistive part -scale * x: scale * d/dt(branch value) - scale * x = 0) or,
// in its branchless load types, integrates by the trapezoidal rule between
// accepted time points itself and loads branch value - integral = 0.
//
// A module drives them in this order: create; finalize topology; set stamp,
// then one derivative doublet per unknown the input depends on; on every
// load a set argument, the argument derivatives (full load only) and the
// load itself; accept at accepted time points (idt); reset with the memory
// states (idt); clone with the private block; destroy before the block is
// freed.
#pragma once

#include <cstdint>

#include "rte/ZRT_CommonInterface.h"
#include "dsl/system_state_vars.h"

// ---------------------------------------------------------------------------
// ddt

struct ZRT_OpBranch_ddt {
    const char* name;
    s_ZRT_DeviceInst* inst;
    s_ZRT_StateVar* _branchVar;        // null until finalize topology
    ZRT_Handle staticHandle;           // resistive residual of the branch row
    ZRT_Handle dynamicHandle;          // reactive residual of the branch row
    ZRT_Handle doubletHandle;          // branch variable on itself
    double scale;                      // 1.0 at creation
    ZRT_FreqResponse* freqResponse;    // made at the first noise contribution
};

ZRT_PIN_WORD(ZRT_OpBranch_ddt, _branchVar, 3);
ZRT_PIN_WORD(ZRT_OpBranch_ddt, scale, 7);
ZRT_PIN_WORD(ZRT_OpBranch_ddt, freqResponse, 8);

// Null when memory is exhausted.
ZRT_OpBranch_ddt* ZRT_createOpBranch_ddt(const char* name, s_ZRT_DeviceInst* inst);
// Releases the record and its frequency response.
void ZRT_destroyOpBranch_ddt(ZRT_OpBranch_ddt* pOp);
// Creates the system state variable once per record ("instance.name" when
// `keepName` is non-zero).
void ZRT_ddtFinalizeTopology(ZRT_OpBranch_ddt* pOp, void* extra, int32_t keepName);
// Requests the resistive residual, the reactive residual and the doublet of
// the branch variable on itself (code 0), in that order.
void ZRT_ddtSetStamp(ZRT_OpBranch_ddt* pOp, void* extra);
// A doublet of the branch variable against (nodeA, nodeB) with the caller's
// code and flag.
ZRT_Handle ZRT_getDerivDoubletOpBranch_ddt(ZRT_OpBranch_ddt* pOp, s_ZRT_StateVar* nodeA, s_ZRT_StateVar* nodeB,
                                           int32_t code, int32_t flag, void* extra);
s_ZRT_StateVar* ZRT_getBranchVar_ddt(const ZRT_OpBranch_ddt* pOp);

// The host's ddt scale (GetDefault(5)) when it has one above 0.0, else 1.0.
double ZRT_getDefaultBranch_ddt_scale(s_ZRT_DeviceInst* inst, const s_ZRT_ContribLoader* loader);
// Loads -scale * x into the reactive residual. A loader with GetDefault sets
// the scale (1.0 unless its answer is above 0.0).
void ZRT_OpBranch_ddt_setArg(ZRT_OpBranch_ddt* pOp, double x, const s_ZRT_ContribLoader* loader);
// The reactive Jacobian entry -scale * d of a doublet.
void ZRT_OpBranch_ddt_setArg_dwrt(ZRT_OpBranch_ddt* pOp, ZRT_Handle doublet, double d,
                                  const s_ZRT_ContribLoader* loader);
// Residual: the branch value; the full load adds 1.0 on the branch variable.
void ZRT_ddtGenericLoadRHS(ZRT_OpBranch_ddt* pOp, const s_ZRT_ContribLoader* loader);
void ZRT_ddtGenericLoad(ZRT_OpBranch_ddt* pOp, const s_ZRT_ContribLoader* loader);

void ZRT_reportNoiseContribForOp_ddt(ZRT_OpBranch_ddt* pOp, int32_t sourceIndex, void* extra);
// Adds scale * value shaped by j w under `key` (the resistive residual when
// null).
void ZRT_addNoiseForOp_ddt(ZRT_NoiseSrc* pSrc, ZRT_OpBranch_ddt* pOp, void* key, double value);
// The response of d/dt at angular frequency w: (0, w).
void ddtFreqResponse(void* pOp, double w, ZRT_Cmplx* out);

// A copy bound to `newInst`; it makes its own frequency response.
ZRT_OpBranch_ddt* ZRT_OpClone_ddt(const ZRT_OpBranch_ddt* pOp, s_ZRT_DeviceInst* newInst);

// ---------------------------------------------------------------------------
// idt and idtmod

// How the last set argument asked the operator to be loaded.
enum ZRT_IdtLoadTypeE : uint32_t {
    NO_LOAD = 0,                 // no set argument since creation or reset
    IC_LOAD = 1,                 // initial condition; at t = 0 also the charge
    IC_LOAD_NO_Q = 2,            // initial condition of a static analysis (asserted idt)
    IDT_HOST_LOAD = 3,           // integrated by the host
    IDTMOD_STEP_LOAD = 4,        // idtmod integrated by the host, wrapped through pRequestIntStep
    IDTMOD_IC_LOAD = 5,          // idtmod initial condition
    IDT_TRAPEZOIDAL_LOAD = 6,    // integrated here by the trapezoidal rule
    IDTMOD_BRANCHLESS_LOAD = 7,  // idtmod holding its value at time 0
};

struct ZRT_OpBranch_idt {
    const char* name;
    s_ZRT_DeviceInst* inst;
    s_ZRT_StateVar* _branchVar;   // null until finalize topology
    ZRT_Handle staticHandle;
    ZRT_Handle dynamicHandle;
    ZRT_Handle doubletHandle;
    double acceptedValue;         // output at the last accepted time point
    double acceptedInput;         // input at the last accepted time point
    double lastAcceptedTime;      // -1.0 until the first accept after creation or reset
    uint32_t _loadType;           // ZRT_IdtLoadTypeE
    double input;                 // input of the last set argument
    double scale;                 // 1.0, or the host's GetDefault(7) when above 0.0
    double valueAtTime0;
    double presentValue;          // output of the branchless load types
    double modSpare[2];           // 1.0 and 0.0; nothing reads them
    double modulus;
    double offset;
    uint32_t timeBack;            // idtmod saw a time before the last accepted one
    uint32_t staticMask;          // the host's mask of "static"
    uint32_t acNoiseMask;         // the host's mask of "ac" and "noise"
    int32_t argInfoCount;
    void** argInfo;               // argument words from ZRT_idtSetArgInfo, shared by clones
};

ZRT_PIN_WORD(ZRT_OpBranch_idt, acceptedValue, 7);
ZRT_PIN_WORD(ZRT_OpBranch_idt, lastAcceptedTime, 9);
ZRT_PIN_WORD(ZRT_OpBranch_idt, _loadType, 10);
ZRT_PIN_WORD(ZRT_OpBranch_idt, input, 11);
ZRT_PIN_WORD(ZRT_OpBranch_idt, presentValue, 14);
ZRT_PIN_WORD(ZRT_OpBranch_idt, modulus, 17);
ZRT_PIN_WORD(ZRT_OpBranch_idt, timeBack, 19);

// Asks the host for the two analysis masks and marks the instance as having
// an operator. Null when memory is exhausted.
ZRT_OpBranch_idt* ZRT_createOpBranch_idt(const char* name, s_ZRT_DeviceInst* inst);
// Releases the record. The argument list is shared with clones and the host
// and is not released.
void ZRT_destroyOpBranch_idt(ZRT_OpBranch_idt* pOp);
// Keeps `count` pointer-size words (the further arguments, `void*` each) as
// the argument list that finalize topology hands to the host.
void ZRT_idtSetArgInfo(ZRT_OpBranch_idt* pOp, int32_t count, ...);
// Creates the system state variable once per record, with the argument list
// as nodal information when there is one.
void ZRT_idtFinalizeTopology(ZRT_OpBranch_idt* pOp, void* extra, int32_t keepName);
// As ddt, with doublet code 2.
void ZRT_idtSetStamp(ZRT_OpBranch_idt* pOp, void* extra);
ZRT_Handle ZRT_getDerivDoubletOpBranch_idt(ZRT_OpBranch_idt* pOp, s_ZRT_StateVar* nodeA, s_ZRT_StateVar* nodeB,
                                           int32_t code, int32_t flag, void* extra);
s_ZRT_StateVar* ZRT_getBranchVar_idt(const ZRT_OpBranch_idt* pOp);
// Time-back flag cleared, no accepted time, NO_LOAD.
void ZRT_idtReset(ZRT_OpBranch_idt* pOp);

// idt(x): integrated by the host.
void ZRT_idtSetArg2(ZRT_OpBranch_idt* pOp, double x, const s_ZRT_ContribLoader* loader);
// idt(x, ic): the initial condition in a static analysis.
void ZRT_idtSetArg3(ZRT_OpBranch_idt* pOp, double x, double ic, const s_ZRT_ContribLoader* loader);
// idt(x, ic, assert): the initial condition in a static analysis or while
// `assertIc` is non-zero; the host integrates in ac and noise analyses;
// otherwise the trapezoidal rule from the last accepted point.
void ZRT_idtSetArg4(ZRT_OpBranch_idt* pOp, double x, double ic, double assertIc,
                    const s_ZRT_ContribLoader* loader);
// idtmod(x, ic, modulus, offset); `flag` 0 holds the value at time 0.
void ZRT_idtSetArgMod(ZRT_OpBranch_idt* pOp, double x, double ic, double modulus, double offset, int32_t flag,
                      const s_ZRT_ContribLoader* loader);
// The Jacobian entry of the input's derivative d on a doublet, by load type.
void ZRT_idtSetArg_dwrt(ZRT_OpBranch_idt* pOp, ZRT_Handle doublet, double d, const s_ZRT_ContribLoader* loader);
// The Jacobian entry of the initial condition's derivative d on a doublet.
void ZRT_idtSetArgIC_dwrt(ZRT_OpBranch_idt* pOp, ZRT_Handle doublet, double d,
                          const s_ZRT_ContribLoader* loader);
// The branch row: resistive (initial condition and branchless types) and/or
// reactive (host integration, and IC_LOAD at time 0) parts.
void ZRT_idtGenericLoadRHS(ZRT_OpBranch_idt* pOp, const s_ZRT_ContribLoader* loader);
void ZRT_idtGenericLoad(ZRT_OpBranch_idt* pOp, const s_ZRT_ContribLoader* loader);
// Remembers the output, input and time of an accepted point; a host-wrapped
// idtmod asks the loader's pRequestIntStep to wrap the integral.
void ZRT_idtAcceptTimePoint(ZRT_OpBranch_idt* pOp, const s_ZRT_ContribLoader* loader);
// The operator's output (0.0 for a null record).
double ZRT_IBR_idt(const ZRT_OpBranch_idt* pOp, const s_ZRT_ContribLoader* loader);

void ZRT_reportNoiseContribForOp_idt(ZRT_OpBranch_idt* pOp, int32_t sourceIndex, void* extra);
// Counts the contribution and adds it, unshaped, under the resistive residual.
void ZRT_addNoiseForOp_idt(ZRT_NoiseSrc* pSrc, ZRT_OpBranch_idt* pOp, double value);

ZRT_OpBranch_idt* ZRT_OpClone_idt(const ZRT_OpBranch_idt* pOp, s_ZRT_DeviceInst* newInst);

// x wrapped into [offset, offset + modulus); 0.0 for a modulus not above 0.
double getModValue(double x, double modulus, double offset);
