// The slew operator: limits the rate of change of a signal between accepted
// time points, with separate rising and falling limits. It owns no branch;
// the model reads the output and its derivative with respect to the input
// from the record after each set argument.
#pragma once

#include "rte/ZRT_CommonInterface.h"
#include "ZRT_SavedState.h"

// The operator's state between accepted points; its saved form is a copy.
struct ZRT_SlewSpec {
    ZRT_GenericOperatorState head;  // ZRT_SLEW_SPEC, freed by freeSlewSpec
    double prevTime;                // last accepted time, -1.0 for none
    double prevOutput;              // output at the last accepted time
    double presentTime;
    double presentOutput;
    double presentDeriv;
    s_ZRT_SimInterface* pSim;       // allocates copies
};

ZRT_PIN_WORD(ZRT_SlewSpec, prevTime, 4);
ZRT_PIN_WORD(ZRT_SlewSpec, presentDeriv, 8);
ZRT_PIN_WORD(ZRT_SlewSpec, pSim, 9);

struct ZRT_OpBranch_slew {
    const char* name;
    s_ZRT_DeviceInst* inst;
    double output;
    double deriv;        // d output / d input: 1.0 when passing, 0.0 when limited
    ZRT_SlewSpec* spec;
};

ZRT_PIN_WORD(ZRT_OpBranch_slew, output, 3);
ZRT_PIN_WORD(ZRT_OpBranch_slew, spec, 5);

// A fresh state record (no accepted point yet), null when memory is exhausted.
ZRT_SlewSpec* createSlewSpec(s_ZRT_SimInterface* sim);
// A copy allocated through the state record's interface; null for a null state record or
// when memory is exhausted.
ZRT_SlewSpec* copySlewSpec(const ZRT_SlewSpec* spec);
void freeSlewSpec(ZRT_GenericOperatorState* spec);

// Null when the record or its state record cannot be allocated.
ZRT_OpBranch_slew* ZRT_createOpBranch_slew(const char* name, s_ZRT_DeviceInst* inst);
void ZRT_destroyOpBranch_slew(ZRT_OpBranch_slew* pOp);
// The output at the loader's time from the input x: x itself unless it moved
// from the last accepted output faster than `maxRise` (when above 0) or
// `maxFall` (when below 0) allow; then the output moves at that rate and its
// derivative is 0. At times up to 0 the output is x. Evaluations at one time
// point agree: only accept moves the reference.
void ZRT_slewSetArg(ZRT_OpBranch_slew* pOp, double x, double maxRise, double maxFall,
                    const s_ZRT_ContribLoader* loader);
void ZRT_slewAcceptTimePoint(ZRT_OpBranch_slew* pOp);
// A fresh state record: the next evaluation starts from no accepted point.
void ZRT_slewReset(ZRT_OpBranch_slew* pOp);
// A copy bound to `newInst` with its own copy of the state record; null when memory
// is exhausted.
ZRT_OpBranch_slew* ZRT_OpClone_slew(const ZRT_OpBranch_slew* pOp, s_ZRT_DeviceInst* newInst);
