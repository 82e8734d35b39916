#include "dsl/zi.h"

#include <cstring>

#include "rte/arrays.h"
#include "dsl/operator_frame.h"

namespace {

constexpr int32_t kBoundSample = 4;  // the host's step-bounding reason for a sample time
constexpr int32_t kZTransformCode = 4;

double transitionOutput(const ZRT_OpBranch_zi* pOp) {
    return pOp->transition != nullptr ? pOp->transition->output : 0.0;
}

void driveTransition(ZRT_OpBranch_zi* pOp, double target, const s_ZRT_ContribLoader* loader) {
    ZRT_transitionSetArg(pOp->transition, target, 0.0, pOp->transitionTime, pOp->transitionTime, 0.0, loader);
}

// Keeps the host from stepping past the next sample time.
void boundToNextSample(const ZRT_OpBranch_zi* pOp, double t, double m, const s_ZRT_ContribLoader* loader) {
    const double ahead = pOp->nextSampleTime - t;
    if (ahead > m && loader->DoBoundStep != nullptr) {
        loader->DoBoundStep(ahead, kBoundSample, loader, pOp->inst);
    }
}

bool isAnalogVariable(const s_ZRT_Array* pArray) {
    return pArray != nullptr && pArray->_digID < 0 && (pArray->flags & ZRT_ARRAY_VARIABLE) != 0;
}

bool sameShape(const s_ZRT_Array* x, const s_ZRT_Array* y) {
    if (x->_arrayType != y->_arrayType || x->_dataLen != y->_dataLen || x->_numDims != y->_numDims ||
        (x->flags & ZRT_ARRAY_BOUNDS_SET) == 0 || (y->flags & ZRT_ARRAY_BOUNDS_SET) == 0) {
        return false;
    }
    for (int32_t k = 0; k < x->_numDims; ++k) {
        if (x->leftBounds[k] != y->leftBounds[k] || x->rightBounds[k] != y->rightBounds[k]) {
            return false;
        }
    }
    return true;
}

void releaseOwned(ZRT_OpBranch_zi* pOp, s_ZRT_Array*& slot, uint32_t ownedBit) {
    if ((pOp->ownedArrays & ownedBit) != 0) {
        ZRT_freeArray(slot);
        pOp->ownedArrays &= ~ownedBit;
    }
    slot = nullptr;
}

// Takes one array argument over: an analog array variable as a duplicate of
// the operator's own (refreshed in place when the shape is the same), any
// other array as it is. When no duplicate can be made the previous array
// stays.
void keepArrayArg(ZRT_OpBranch_zi* pOp, s_ZRT_Array*& slot, s_ZRT_Array* given, uint32_t ownedBit) {
    if (given == slot) {
        return;
    }
    if (!isAnalogVariable(given)) {
        releaseOwned(pOp, slot, ownedBit);
        slot = given;
        return;
    }
    if ((pOp->ownedArrays & ownedBit) != 0 && slot != nullptr && sameShape(slot, given)) {
        ZRT_assignArray(slot, given);
        return;
    }
    s_ZRT_Array* copy = ZRT_duplicateArray(given);
    if (copy == nullptr) {
        return;
    }
    releaseOwned(pOp, slot, ownedBit);
    slot = copy;
    pOp->ownedArrays |= ownedBit;
}

bool arraysChanged(const ZRT_OpBranch_zi* pOp) {
    return coeffArrayChanged(pOp->numerSeen, pOp->numerArray) || coeffArrayChanged(pOp->denomSeen, pOp->denomArray);
}

// The operator's own duplicate of an array; one of a digital array keeps the
// signal's identity, so that it is refreshed from the same signal.
s_ZRT_Array* ownCopy(const s_ZRT_Array* source) {
    s_ZRT_Array* copy = ZRT_cloneArray(source);
    if (copy != nullptr) {
        copy->_digID = source->_digID;
        copy->digSubIndex = source->digSubIndex;
    }
    return copy;
}

void syncDigital(s_ZRT_Array* pArray, s_ZRT_DeviceInst* inst, const s_ZRT_ContribLoader* loader) {
    if (pArray != nullptr && pArray->_digID >= 0) {
        doSyncDigitalArray(pArray, inst, loader);
    }
}

// Moves a history one place toward older entries and puts the newest value
// in front.
void pushHistory(double* h, int32_t count, double newest) {
    if (count <= 0) {
        return;
    }
    std::memmove(h + 1, h, static_cast<size_t>(count - 1) * sizeof(double));
    h[0] = newest;
}

// The difference equation on the present histories: the output sum first,
// then the input sum added, over a[0].
double filterOutput(const ZRT_OpBranch_zi* pOp) {
    double sum = 0.0;
    for (int32_t k = 1; k < pOp->denomCount; ++k) {
        sum -= pOp->a[k] * pOp->y[k - 1];
    }
    for (int32_t i = 0; i < pOp->numerCount; ++i) {
        sum += pOp->b[i] * pOp->u[i];
    }
    return sum / pOp->a[0];
}

}  // namespace

ZRT_OpBranch_zi* ZRT_createOpBranch_zi(const char* name, s_ZRT_DeviceInst* inst, int32_t numerAsRoots,
                                       int32_t denomAsRoots, double transitionTime) {
    auto* pOp = newOperator<ZRT_OpBranch_zi>(name, inst);
    if (pOp == nullptr) {
        return nullptr;
    }
    pOp->transition = ZRT_createOpBranch_transition(name, inst, transitionTime);
    if (pOp->transition == nullptr) {
        ZRT_free(pOp);
        return nullptr;
    }
    pOp->_numerZeroForm = numerAsRoots;
    pOp->_denomPoleForm = denomAsRoots;
    pOp->transitionTime = transitionTime;
    return pOp;
}

void ZRT_destroyOpBranch_zi(ZRT_OpBranch_zi* pOp) {
    if (pOp == nullptr) {
        return;
    }
    ZRT_destroyOpBranch_transition(pOp->transition);
    ZRT_free(pOp->b);
    ZRT_free(pOp->u);
    ZRT_free(pOp->a);
    ZRT_free(pOp->y);
    releaseOwned(pOp, pOp->numerArray, ZRT_ZI_OWNS_NUMERATOR);
    releaseOwned(pOp, pOp->denomArray, ZRT_ZI_OWNS_DENOMINATOR);
    freeCoeffSnapshot(pOp->numerSeen);
    freeCoeffSnapshot(pOp->denomSeen);
    ZRT_free(pOp);
}

void ZRT_ziInitArrayArg(ZRT_OpBranch_zi* pOp, s_ZRT_Array* numer, s_ZRT_Array* denom) {
    if (pOp == nullptr) {
        return;
    }
    keepArrayArg(pOp, pOp->numerArray, numer, ZRT_ZI_OWNS_NUMERATOR);
    keepArrayArg(pOp, pOp->denomArray, denom, ZRT_ZI_OWNS_DENOMINATOR);
}

void ZRT_ziFinalizeTopology(ZRT_OpBranch_zi* pOp, void* extra) {
    if (pOp != nullptr) {
        finalizeOperatorTopology(pOp, extra);
    }
}

void ZRT_ziSetStamp(ZRT_OpBranch_zi* pOp, void* extra) {
    if (pOp != nullptr) {
        stampHostFedBranch(pOp, kZTransformCode, pOp->zHandle, extra);
    }
}

ZRT_Handle ZRT_getDerivDoubletOpBranch_zi(ZRT_OpBranch_zi* pOp, s_ZRT_StateVar* col, s_ZRT_StateVar* col2,
                                          void* unused, int32_t kind, void* extra) {
    (void)unused;
    return operatorDoublet(pOp, col, col2, kZTransformCode, kind, extra);
}

s_ZRT_StateVar* ZRT_getBranchVar_zi(const ZRT_OpBranch_zi* pOp) { return operatorBranchVar(pOp); }

void ZRT_ziSetArg(ZRT_OpBranch_zi* pOp, double x, double period, double transitionTime, double t0,
                  const s_ZRT_ContribLoader* loader) {
    if (pOp == nullptr) {
        return;
    }
    s_ZRT_DeviceInst* inst = pOp->inst;
    const double t = loader->GetTime(loader, inst);
    const double m = hostMinStep(loader, inst);
    syncDigital(pOp->numerArray, inst, loader);
    syncDigital(pOp->denomArray, inst, loader);
    if (pOp->coeffsReady == 0 || arraysChanged(pOp)) {
        beginArrayComputation(pOp->arrayErrors);
        ZRT_ziComputeCoeffs(pOp);
        if (takeCoeffSnapshots(pOp->numerSeen, pOp->numerArray, pOp->denomSeen, pOp->denomArray, inst) &&
            pOp->coeffsReady != 0) {
            settleArrayComputation(pOp->arrayErrors);
        }
    }
    pOp->input = x;
    pOp->period = period;
    pOp->transitionTime = transitionTime;
    pOp->t0 = t0;

    driveTransition(pOp, pOp->output, loader);
    if (loader->LoadZ_Transform != nullptr) {
        loader->LoadZ_Transform(pOp, pOp->zHandle, transitionOutput(pOp), loader, inst);
    }
    if (t == 0.0) {
        driveTransition(pOp, transitionOutput(pOp), loader);
    }
    boundToNextSample(pOp, t, m, loader);
}

void ZRT_ziSetArg_dwrt(ZRT_OpBranch_zi* pOp, ZRT_Handle word, double deriv, const s_ZRT_ContribLoader* loader) {
    if (pOp != nullptr && loader->LoadZ_Transform_dwrt != nullptr) {
        loader->LoadZ_Transform_dwrt(pOp, word, deriv, loader, pOp->inst);
    }
}

void ZRT_ziGenericLoadRHS(ZRT_OpBranch_zi* pOp, const s_ZRT_ContribLoader* loader) {
    if (pOp != nullptr) {
        loadHostFedBranch(pOp, loader, false);
    }
}

void ZRT_ziGenericLoad(ZRT_OpBranch_zi* pOp, const s_ZRT_ContribLoader* loader) {
    if (pOp != nullptr) {
        loadHostFedBranch(pOp, loader, true);
    }
}

void ZRT_ziAcceptTimePoint(ZRT_OpBranch_zi* pOp, const s_ZRT_ContribLoader* loader) {
    // Before the first set argument there are no histories to sample into.
    if (pOp == nullptr || pOp->b == nullptr || pOp->u == nullptr || pOp->a == nullptr || pOp->y == nullptr) {
        return;
    }
    s_ZRT_DeviceInst* inst = pOp->inst;
    const double t = loader->GetTime(loader, inst);
    const double m = hostMinStep(loader, inst);
    if (t == 0.0) {
        const double held = transitionOutput(pOp);
        for (int32_t i = 0; i < pOp->numerCount; ++i) {
            pOp->u[i] = pOp->input;
        }
        for (int32_t k = 0; k < pOp->denomCount; ++k) {
            pOp->y[k] = held;
        }
        pOp->output = pOp->y[0];
        pOp->nextSampleTime = 0.0;
    }
    if (t + m >= pOp->nextSampleTime) {
        pushHistory(pOp->u, pOp->numerCount, pOp->input);
        pushHistory(pOp->y, pOp->denomCount, pOp->output);
        pOp->output = filterOutput(pOp);
        if (t == 0.0 && pOp->t0 > 0.0) {
            pOp->nextSampleTime = pOp->t0;
        } else {
            pOp->nextSampleTime += pOp->period;
        }
        driveTransition(pOp, pOp->output, loader);
        ZRT_transitionAcceptTimePoint(pOp->transition, loader);
    }
    boundToNextSample(pOp, t, m, loader);
}

void ZRT_ziReset(ZRT_OpBranch_zi* pOp) { (void)pOp; }

void ZRT_reportNoiseContribForOp_zi(ZRT_OpBranch_zi* pOp, int32_t sourceIndex, void* extra) {
    (void)pOp;
    (void)sourceIndex;
    (void)extra;
}

void ZRT_addNoiseForOp_zi(ZRT_NoiseSrc* pSrc, ZRT_OpBranch_zi* pOp, double value) {
    (void)pSrc;
    (void)pOp;
    (void)value;
}

ZRT_OpBranch_zi* ZRT_OpClone_zi(const ZRT_OpBranch_zi* pOp, s_ZRT_DeviceInst* newInst) {
    ZRT_OpBranch_zi* copy = cloneOperator(pOp, newInst);
    if (copy == nullptr) {
        return nullptr;
    }
    // Nothing of the source's may stay behind in the copy: whatever cannot be
    // copied is null, so the copy's destroy releases exactly what it owns.
    s_ZRT_DeviceInst* inst = pOp->inst;
    copy->b = copyDoubles(pOp->b, pOp->numerCount, inst);
    copy->u = copyDoubles(pOp->u, pOp->numerCount, inst);
    copy->a = copyDoubles(pOp->a, pOp->denomCount, inst);
    copy->y = copyDoubles(pOp->y, pOp->denomCount, inst);
    copy->transition = ZRT_OpClone_transition(pOp->transition, newInst);
    copy->numerArray = ownCopy(pOp->numerArray);
    copy->denomArray = ownCopy(pOp->denomArray);
    copy->ownedArrays = (copy->numerArray != nullptr ? ZRT_ZI_OWNS_NUMERATOR : 0u) |
                        (copy->denomArray != nullptr ? ZRT_ZI_OWNS_DENOMINATOR : 0u);
    copy->numerSeen = copyCoeffSnapshot(pOp->numerSeen, inst);  // a lost one only recomputes
    copy->denomSeen = copyCoeffSnapshot(pOp->denomSeen, inst);
    const bool buffersCopied = pOp->b == nullptr || (copy->b != nullptr && copy->u != nullptr &&
                                                     copy->a != nullptr && copy->y != nullptr);
    const bool complete = buffersCopied && copy->transition != nullptr &&
                          (pOp->numerArray == nullptr) == (copy->numerArray == nullptr) &&
                          (pOp->denomArray == nullptr) == (copy->denomArray == nullptr);
    if (!complete) {
        ZRT_destroyOpBranch_zi(copy);
        return nullptr;
    }
    return copy;
}
