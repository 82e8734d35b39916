#include "dsl/laplace.h"

#include <cstdio>
#include <cstring>

#include "rte/arrays.h"
#include "dsl/noise.h"
#include "dsl/operator_frame.h"
#include "dsl/sim_params.h"
#include "dsl/system_state_vars.h"

namespace {

bool has(const ZRT_OpBranch_lap* pOp, uint8_t bits) { return (pOp->flags & bits) == bits; }

template <typename T>
T* newBlock(const ZRT_OpBranch_lap* pOp, int32_t count) {
    if (count <= 0) {
        return nullptr;
    }
    return static_cast<T*>(ZRT_calloc(static_cast<size_t>(count), sizeof(T), pOp->inst->pSim, pOp->inst, pOp->name));
}

// A copy of `count` elements, or null (also for none).
template <typename T>
T* copyBlock(const ZRT_OpBranch_lap* pOp, const T* source, int32_t count) {
    T* copy = source != nullptr ? newBlock<T>(pOp, count) : nullptr;
    if (copy != nullptr) {
        std::memcpy(static_cast<void*>(copy), source, static_cast<size_t>(count) * sizeof(T));
    }
    return copy;
}

// "<base>_<suffix>", allocated for the operator's life.
char* stateName(const ZRT_OpBranch_lap* pOp, const char* base, const char* suffix) {
    const size_t length = std::strlen(base) + 1 + std::strlen(suffix) + 1;
    auto* name = static_cast<char*>(ZRT_malloc(length, pOp->inst->pSim, pOp->inst, pOp->name));
    if (name != nullptr) {
        std::snprintf(name, length, "%s_%s", base, suffix);
    }
    return name;
}

// Keeps an array: an analog array variable as the operator's own copy.
void keepArray(ZRT_OpBranch_lap* pOp, s_ZRT_Array** slot, uint8_t ownBit, s_ZRT_Array* pArray) {
    if (has(pOp, ownBit)) {
        ZRT_freeArray(*slot);
    }
    pOp->flags &= static_cast<uint8_t>(~ownBit);
    *slot = pArray;
    if (pArray != nullptr && pArray->_digID < 0 && (pArray->flags & ZRT_ARRAY_VARIABLE) != 0) {
        *slot = ZRT_duplicateArray(pArray);
        pOp->flags |= ownBit;
    }
}

bool arrayDiff(const s_ZRT_Array* a, const s_ZRT_Array* b) {
    if (a->_dataLen != b->_dataLen || a->_arrayType != b->_arrayType) {
        return true;
    }
    for (int32_t i = 0; i < arrayCoeffCount(a); ++i) {
        if (!(arrayCoeff(a, i) == arrayCoeff(b, i))) {
            return true;
        }
    }
    return false;
}

bool sameBounds(const s_ZRT_Array* a, const s_ZRT_Array* b) {
    if (a->_numDims != b->_numDims || a->leftBounds == nullptr || a->rightBounds == nullptr) {
        return false;
    }
    for (int32_t k = 0; k < a->_numDims; ++k) {
        if (a->leftBounds[k] != b->leftBounds[k] || a->rightBounds[k] != b->rightBounds[k]) {
            return false;
        }
    }
    return true;
}

// Takes a changed array variable over into the operator's copy; a copy of
// another length is first re-bound from the source.
void refreshArray(const ZRT_OpBranch_lap* pOp, s_ZRT_Array* copy, uint8_t ownBit, const s_ZRT_Array* source) {
    if (!has(pOp, ownBit) || copy == nullptr || source == nullptr || copy == source ||
        (source->flags & ZRT_ARRAY_VARIABLE) == 0 || !arrayDiff(copy, source)) {
        return;
    }
    if ((source->flags & ZRT_ARRAY_BOUNDS_SET) != 0 && !sameBounds(copy, source)) {
        ZRT_setArrayBoundVectors(copy, source->_numDims, source->leftBounds, source->rightBounds);
    }
    ZRT_assignArray(copy, source);
    if (copy->_dataLen > source->_dataLen) {
        copy->_dataLen = source->_dataLen > 0 ? source->_dataLen : 0;  // the block stays larger
    }
    copy->flags |= ZRT_ARRAY_MODIFIED;
}

// Computes the coefficients when they never were or an array changed. The
// operator's own snapshot catches a change that another reader of the array
// took over first (and cleared the flag of). A computation that ran out of
// memory marks nothing, so that the next load computes again, quietly
// (ZRT_ArrayErrors).
void ensureCoefficients(ZRT_OpBranch_lap* pOp) {
    if (has(pOp, LAP_COMPUTED) && !coeffArrayChanged(pOp->numerSeen, pOp->numer) &&
        !coeffArrayChanged(pOp->denomSeen, pOp->denom)) {
        return;
    }
    beginArrayComputation(pOp->arrayErrors);
    const bool complete = has(pOp, LAP_DIRECT) ? computeCoeffs_lap_d(pOp) : computeCoeffs_lap_p(pOp);
    if (!complete) {
        pOp->flags &= static_cast<uint8_t>(~LAP_COMPUTED);
        return;
    }
    pOp->flags |= LAP_COMPUTED;
    if (takeCoeffSnapshots(pOp->numerSeen, pOp->numer, pOp->denomSeen, pOp->denom, pOp->inst)) {
        settleArrayComputation(pOp->arrayErrors);
    }
    for (s_ZRT_Array* pArray : {pOp->numer, pOp->denom}) {
        if (pArray != nullptr) {
            pArray->flags &= static_cast<uint8_t>(~ZRT_ARRAY_MODIFIED);
        }
    }
}

bool ready(const ZRT_OpBranch_lap* pOp) {
    return pOp != nullptr && has(pOp, static_cast<uint8_t>(LAP_TOPOLOGY | LAP_STAMPED));
}

// The order of a side: coefficients up to the last non-zero one (a digital
// array all of its length), roots half the length.
int32_t sideOrder(const s_ZRT_Array* pArray, bool coefficients) {
    const int32_t length = arrayCoeffCount(pArray);
    if (!coefficients) {
        return length / 2;
    }
    if (pArray->_digID >= 0) {
        return length > 0 ? length - 1 : 0;
    }
    int32_t order = 0;  // an all-zero side has been reported; it counts as a constant
    for (int32_t i = 0; i < length; ++i) {
        if (arrayCoeff(pArray, i) != 0.0) {
            order = i;
        }
    }
    return order;
}

// Both checks of a side before its order is taken.
void checkSide(const ZRT_OpBranch_lap* pOp, const s_ZRT_Array* pArray, bool coefficients, bool numerator) {
    if (pArray == nullptr) {
        return;
    }
    if (!coefficients && arrayCoeffCount(pArray) % 2 != 0) {
        operatorError(pOp->inst->pSim, pOp->inst,
                      numerator ? "Operator '%s' expects an even number of numerator coefficients."
                                : "Operator '%s' expects an even number of denominator coefficients.",
                      pOp->name);
    }
    if (coefficients && pArray->_digID < 0 && sideOrder(pArray, true) == 0 && arrayCoeff(pArray, 0) == 0.0) {
        operatorError(pOp->inst->pSim, pOp->inst,
                      numerator ? "In laplace operators, the numerator polynomial should not be 0"
                                : "In laplace operators, the denominator polynomial cannot be 0");
    }
}

// The host's value of an integer simulator parameter, or `absent`.
int32_t simParamInt(const ZRT_OpBranch_lap* pOp, const char* name, int32_t absent) {
    const ZRT_SimParamEntry* entry = ZRT_getSimParamCallback(pOp->inst, name);
    return entry != nullptr ? simParamToInt(simParamValue(entry, nullptr, 0.0)) : absent;
}

bool chooseDirect(const ZRT_OpBranch_lap* pOp) {
    const bool coefficients = has(pOp, LAP_DENOM_COEFFS);
    if (pOp->_denomN == 0 && pOp->_numerN == 0) {
        return true;  // a constant transfer function makes no section
    }
    if (coefficients) {
        const int32_t dOrder = simParamInt(pOp, "maxLaplace_d_Order", 0);
        return !(dOrder > 0 && pOp->_denomN >= dOrder);
    }
    const int32_t pOrder = simParamInt(pOp, "maxLaplace_p_Order", 0);
    return pOrder >= 0 && pOrder <= pOp->_denomN;
}

s_ZRT_StateVar* newState(ZRT_OpBranch_lap* pOp, const char* name, void* extra, int32_t keepName) {
    return name != nullptr ? createSystemStateVar(name, pOp->inst, nullptr, extra, keepName) : nullptr;
}

bool finalizeDirect(ZRT_OpBranch_lap* pOp, void* extra, int32_t keepName) {
    const int32_t states = pOp->order + 1;
    pOp->_branchVar = createSystemStateVar(pOp->name, pOp->inst, nullptr, extra, keepName);
    pOp->chain = newBlock<s_ZRT_StateVar*>(pOp, states);
    pOp->chainNames = newBlock<char*>(pOp, states);
    pOp->chainStatic = newBlock<ZRT_Handle>(pOp, states);
    pOp->chainDynamic = newBlock<ZRT_Handle>(pOp, states);
    pOp->sumDoublets = newBlock<ZRT_Handle>(pOp, pOp->_denomN + 1);
    pOp->outputDoublets = newBlock<ZRT_Handle>(pOp, pOp->_numerN + 1);
    pOp->stepDoublets = newBlock<ZRT_Handle>(pOp, 2 * pOp->order);
    if (pOp->_branchVar == nullptr || pOp->chain == nullptr || pOp->chainNames == nullptr ||
        pOp->chainStatic == nullptr || pOp->chainDynamic == nullptr || pOp->sumDoublets == nullptr ||
        pOp->outputDoublets == nullptr || (pOp->order > 0 && pOp->stepDoublets == nullptr)) {
        return false;
    }
    for (int32_t k = 0; k < states; ++k) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "x%d", k);
        pOp->chainNames[k] = stateName(pOp, pOp->name, suffix);
        pOp->chain[k] = newState(pOp, pOp->chainNames[k], extra, keepName);
        if (pOp->chain[k] == nullptr) {
            return false;
        }
    }
    pOp->inputVar = pOp->chain[0];
    return true;
}

bool finalizeCascade(ZRT_OpBranch_lap* pOp, void* extra, int32_t keepName) {
    pOp->auxName = stateName(pOp, pOp->name, "aux");
    pOp->inputVar = newState(pOp, pOp->auxName, extra, keepName);
    ZRT_ASSERT_AT(pOp->_numBiquads > 0, "pOp->_numBiquads > 0", __FILE__, __LINE__);
    pOp->sections = newBlock<ZRT_Biquad*>(pOp, pOp->_numBiquads);
    if (pOp->inputVar == nullptr || pOp->sections == nullptr) {
        return false;
    }
    s_ZRT_StateVar* input = pOp->inputVar;
    for (int32_t k = 0; k < pOp->_numBiquads; ++k) {
        ZRT_Biquad* s = newBlock<ZRT_Biquad>(pOp, 1);
        pOp->sections[k] = s;
        if (s == nullptr) {
            return false;
        }
        s->inst = pOp->inst;
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%d", k);
        s->name = stateName(pOp, pOp->name, suffix);
        s->y = newState(pOp, s->name, extra, keepName);
        s->innerName = s->name != nullptr ? stateName(pOp, s->name, "i") : nullptr;
        s->i = newState(pOp, s->innerName, extra, keepName);
        s->u = input;
        s->num[0] = s->den[0] = s->w = 1.0;
        if (s->y == nullptr || s->i == nullptr) {
            return false;
        }
        input = s->y;
    }
    pOp->_branchVar = input;
    return true;
}

ZRT_Handle doublet(const ZRT_OpBranch_lap* pOp, s_ZRT_StateVar* row, s_ZRT_StateVar* col, int32_t kind, void* extra) {
    return pOp->inst->pSim->CreateDerivDoublet(row, col, nullptr, kind, 0, pOp->inst, extra);
}

ZRT_Handle staticKey(const ZRT_OpBranch_lap* pOp, s_ZRT_StateVar* var, void* extra) {
    return pOp->inst->pSim->CreateStaticRhsStamp(var, nullptr, 0, pOp->inst, extra);
}

ZRT_Handle dynamicKey(const ZRT_OpBranch_lap* pOp, s_ZRT_StateVar* var, void* extra) {
    return pOp->inst->pSim->CreateDynamicRhsStamp(var, nullptr, 0, pOp->inst, extra);
}

// ---- loads ------------------------------------------------------------------

// One value per loader call, as the host expects of operators.
struct Loads {
    const s_ZRT_ContribLoader* loader;
    s_ZRT_DeviceInst* inst;
    bool full;
    double sol(s_ZRT_StateVar* var) const { return loader->GetSol(var, loader, inst); }
    void rhs(ZRT_Handle h, double v) const { loader->LoadStaticRhs(1, &h, &v, loader, inst); }
    void dynRhs(ZRT_Handle h, double v) const { loader->LoadDynamicRhs(1, &h, &v, loader, inst); }
    void deriv(ZRT_Handle h, double v) const {
        if (full) {
            loader->LoadStaticDoublet(1, &h, &v, loader, inst);
        }
    }
    void dynDeriv(ZRT_Handle h, double v) const {
        if (full) {
            loader->LoadDynamicDoublet(1, &h, &v, loader, inst);
        }
    }
};

// States x0..xN: the denominator's sum in x0's equation, xk = c[k] d/dt
// x(k-1), and the output equal to the numerator's sum of the states.
void loadDirect(const ZRT_OpBranch_lap* pOp, const Loads& l) {
    const double* c = pOp->scale;
    const double* b = pOp->scaledNumer;
    if (c == nullptr || b == nullptr || pOp->nonZero == nullptr) {
        return;
    }
    double sum = 0.0;
    for (int32_t k = 0; k <= pOp->_denomN; ++k) {
        if (pOp->nonZero[k] != 0) {
            sum += l.sol(pOp->chain[k]);
        }
    }
    l.rhs(pOp->inputKey, sum);
    for (int32_t k = 0; k <= pOp->_denomN; ++k) {
        if (pOp->nonZero[k] != 0) {
            l.deriv(pOp->sumDoublets[k], 1.0);
        }
    }
    for (int32_t k = 1; k <= pOp->order; ++k) {
        l.rhs(pOp->chainStatic[k], l.sol(pOp->chain[k]));
        l.dynRhs(pOp->chainDynamic[k], -c[k] * l.sol(pOp->chain[k - 1]));
        l.deriv(pOp->stepDoublets[2 * k - 1], 1.0);
        l.dynDeriv(pOp->stepDoublets[2 * k - 2], -c[k]);
    }
    double out = l.sol(pOp->_branchVar);
    for (int32_t k = 0; k <= pOp->_numerN; ++k) {
        out -= b[k] * l.sol(pOp->chain[k]);
    }
    l.rhs(pOp->outputKey, out);
    l.deriv(pOp->keyDoublet, 1.0);
    for (int32_t k = 0; k <= pOp->_numerN; ++k) {
        l.deriv(pOp->outputDoublets[k], -b[k]);
    }
}

// The auxiliary input, then per section
//   den0 y - num0 u - w d/dt i = 0 and
//   i + den1 y - num1 u + w d/dt (den2 y - num2 u) = 0.
void loadCascade(const ZRT_OpBranch_lap* pOp, const Loads& l) {
    l.rhs(pOp->inputKey, l.sol(pOp->inputVar));
    l.deriv(pOp->keyDoublet, 1.0);
    for (int32_t k = 0; k < pOp->_numBiquads; ++k) {
        const ZRT_Biquad* s = pOp->sections[k];
        const double u = l.sol(s->u);
        const double i = l.sol(s->i);
        const double y = l.sol(s->y);
        l.rhs(s->yStatic, s->den[0] * y - s->num[0] * u);
        l.dynRhs(s->yDynamic, -s->w * i);
        l.rhs(s->iStatic, i + s->den[1] * y - s->num[1] * u);
        l.dynRhs(s->iDynamic, s->w * (s->den[2] * y - s->num[2] * u));
        l.deriv(s->yOnY, s->den[0]);
        l.deriv(s->yOnU, -s->num[0]);
        l.dynDeriv(s->yOnI, -s->w);
        l.deriv(s->iOnI, 1.0);
        l.deriv(s->iOnY, s->den[1]);
        l.deriv(s->iOnU, -s->num[1]);
        l.dynDeriv(s->iOnY, s->den[2] * s->w);
        l.dynDeriv(s->iOnU, -s->num[2] * s->w);
    }
}

void load(ZRT_OpBranch_lap* pOp, const s_ZRT_ContribLoader* loader, bool full) {
    if (!ready(pOp)) {
        return;
    }
    for (s_ZRT_Array* pArray : {pOp->numer, pOp->denom}) {
        if (pArray != nullptr && pArray->_digID >= 0) {
            doSyncDigitalArray(pArray, pOp->inst, loader);
        }
    }
    ensureCoefficients(pOp);
    const Loads l{loader, pOp->inst, full};
    if (has(pOp, LAP_DIRECT)) {
        loadDirect(pOp, l);
    } else {
        loadCascade(pOp, l);
    }
}

void freeSection(ZRT_Biquad* s) {
    if (s != nullptr) {
        ZRT_free(s->name);
        ZRT_free(s->innerName);
        ZRT_free(s);
    }
}

}  // namespace

ZRT_OpBranch_lap* ZRT_createOpBranch_lap(const char* name, s_ZRT_DeviceInst* inst, int32_t numerRoots,
                                         int32_t denomRoots) {
    auto* pOp = newOperator<ZRT_OpBranch_lap>(name, inst);
    if (pOp != nullptr) {
        pOp->flags = static_cast<uint8_t>((numerRoots == 0 ? LAP_NUMER_COEFFS : 0) |
                                          (denomRoots == 0 ? LAP_DENOM_COEFFS : 0));
        pOp->gain = 1.0;
    }
    return pOp;
}

void ZRT_lapInitArrayArg(ZRT_OpBranch_lap* pOp, s_ZRT_Array* numer, s_ZRT_Array* denom) {
    if (pOp != nullptr) {
        keepArray(pOp, &pOp->numer, LAP_OWNS_NUMER, numer);
        keepArray(pOp, &pOp->denom, LAP_OWNS_DENOM, denom);
    }
}

void ZRT_lapFinalizeTopology(ZRT_OpBranch_lap* pOp, void* extra, int32_t keepName) {
    if (pOp == nullptr) {
        return;
    }
    const bool numerCoeffs = has(pOp, LAP_NUMER_COEFFS);
    const bool denomCoeffs = has(pOp, LAP_DENOM_COEFFS);
    if ((denomCoeffs && pOp->denom == nullptr) || (numerCoeffs && pOp->numer == nullptr)) {
        return;
    }
    checkSide(pOp, pOp->denom, denomCoeffs, false);
    checkSide(pOp, pOp->numer, numerCoeffs, true);
    pOp->_numerN = sideOrder(pOp->numer, numerCoeffs);
    pOp->_denomN = sideOrder(pOp->denom, denomCoeffs);
    ZRT_ASSERT_AT(pOp->_denomN >= 0, "pOp->_denomN >= 0", __FILE__, __LINE__);
    ZRT_ASSERT_AT(pOp->_numerN >= 0, "pOp->_numerN >= 0", __FILE__, __LINE__);
    pOp->order = pOp->_numerN > pOp->_denomN ? pOp->_numerN : pOp->_denomN;
    const bool direct = chooseDirect(pOp);
    pOp->flags = static_cast<uint8_t>(direct ? pOp->flags | LAP_DIRECT : pOp->flags & ~LAP_DIRECT);
    pOp->_numBiquads = direct ? 0 : (pOp->order + 1) / 2;
    ZRT_ASSERT_AT(pOp->_branchVar == 0, "pOp->_branchVar == 0", __FILE__, __LINE__);
    if (direct ? finalizeDirect(pOp, extra, keepName) : finalizeCascade(pOp, extra, keepName)) {
        pOp->flags |= LAP_TOPOLOGY;
    }
}

void ZRT_lapSetStamp(ZRT_OpBranch_lap* pOp, void* extra) {
    if (pOp == nullptr || !has(pOp, LAP_TOPOLOGY)) {
        return;
    }
    if (has(pOp, LAP_DIRECT)) {
        pOp->outputKey = staticKey(pOp, pOp->_branchVar, extra);
        for (int32_t k = 0; k <= pOp->order; ++k) {
            pOp->chainStatic[k] = staticKey(pOp, pOp->chain[k], extra);
            pOp->chainDynamic[k] = k > 0 ? dynamicKey(pOp, pOp->chain[k], extra) : nullptr;
        }
        for (int32_t k = 0; k <= pOp->_denomN; ++k) {
            pOp->sumDoublets[k] = doublet(pOp, pOp->chain[0], pOp->chain[k], 0, extra);
        }
        for (int32_t k = 1; k <= pOp->order; ++k) {
            pOp->stepDoublets[2 * k - 2] = doublet(pOp, pOp->chain[k], pOp->chain[k - 1], 1, extra);
            pOp->stepDoublets[2 * k - 1] = doublet(pOp, pOp->chain[k], pOp->chain[k], 0, extra);
        }
        for (int32_t k = 0; k <= pOp->_numerN; ++k) {
            pOp->outputDoublets[k] = doublet(pOp, pOp->_branchVar, pOp->chain[k], 0, extra);
        }
        pOp->keyDoublet = doublet(pOp, pOp->_branchVar, pOp->_branchVar, 0, extra);
        pOp->inputKey = pOp->chainStatic[0];
    } else {
        pOp->inputKey = staticKey(pOp, pOp->inputVar, extra);
        pOp->keyDoublet = doublet(pOp, pOp->inputVar, pOp->inputVar, 0, extra);
        for (int32_t k = 0; k < pOp->_numBiquads; ++k) {
            ZRT_Biquad* s = pOp->sections[k];
            s->yStatic = staticKey(pOp, s->y, extra);
            s->yDynamic = dynamicKey(pOp, s->y, extra);
            s->iStatic = staticKey(pOp, s->i, extra);
            s->iDynamic = dynamicKey(pOp, s->i, extra);
            s->yOnY = doublet(pOp, s->y, s->y, 0, extra);
            s->yOnU = doublet(pOp, s->y, s->u, 0, extra);
            s->yOnI = doublet(pOp, s->y, s->i, 1, extra);
            s->iOnI = doublet(pOp, s->i, s->i, 0, extra);
            s->iOnU = doublet(pOp, s->i, s->u, 2, extra);
            s->iOnY = doublet(pOp, s->i, s->y, 2, extra);
        }
    }
    pOp->flags |= LAP_STAMPED;
}

void ZRT_lapSetArg(ZRT_OpBranch_lap* pOp, double x, const s_ZRT_Array* numer, const s_ZRT_Array* denom,
                   const s_ZRT_ContribLoader* loader) {
    if (!ready(pOp)) {
        return;
    }
    refreshArray(pOp, pOp->numer, LAP_OWNS_NUMER, numer);
    refreshArray(pOp, pOp->denom, LAP_OWNS_DENOM, denom);
    ensureCoefficients(pOp);
    const double value = -pOp->gain * x;
    loader->LoadStaticRhs(1, &pOp->inputKey, &value, loader, pOp->inst);
}

void ZRT_lapSetArg_dwrt(ZRT_OpBranch_lap* pOp, ZRT_Handle doubletHandle, double deriv,
                        const s_ZRT_ContribLoader* loader) {
    if (ready(pOp)) {
        const double value = -pOp->gain * deriv;
        loader->LoadStaticDoublet(1, &doubletHandle, &value, loader, pOp->inst);
    }
}

ZRT_Handle ZRT_getDerivDoubletOpBranch_lap(ZRT_OpBranch_lap* pOp, s_ZRT_StateVar* column, s_ZRT_StateVar* word,
                                           int32_t target, int32_t kind, void* extra) {
    ZRT_ASSERT_AT(target != 1, "target != DDT_ENTRY", __FILE__, __LINE__);
    if (pOp == nullptr || pOp->inputVar == nullptr) {
        return nullptr;
    }
    return pOp->inst->pSim->CreateDerivDoublet(pOp->inputVar, column, word, target, kind, pOp->inst, extra);
}

void ZRT_lapGenericLoad(ZRT_OpBranch_lap* pOp, const s_ZRT_ContribLoader* loader) { load(pOp, loader, true); }

void ZRT_lapGenericLoadRHS(ZRT_OpBranch_lap* pOp, const s_ZRT_ContribLoader* loader) { load(pOp, loader, false); }

s_ZRT_StateVar* ZRT_getBranchVar_lap(const ZRT_OpBranch_lap* pOp) { return operatorBranchVar(pOp); }

void ZRT_reportNoiseContribForOp_lap(ZRT_OpBranch_lap* pOp, int32_t sourceIndex, void* extra) {
    if (pOp != nullptr && pOp->inst->pSim->ReportNoiseContrib != nullptr) {
        pOp->inst->pSim->ReportNoiseContrib(sourceIndex, pOp->inputKey, pOp->inst, extra);
    }
}

void ZRT_addNoiseForOp_lap(ZRT_NoiseSrc* pSrc, ZRT_OpBranch_lap* pOp, double value) {
    if (!ready(pOp)) {
        return;
    }
    ensureCoefficients(pOp);
    ZRT_addColoredNoise(pSrc, pOp->inputKey, -pOp->gain * value, nullptr);
}

ZRT_OpBranch_lap* ZRT_OpClone_lap(const ZRT_OpBranch_lap* pOp, s_ZRT_DeviceInst* newInst) {
    ZRT_OpBranch_lap* copy = cloneOperator(pOp, newInst);
    if (copy == nullptr) {
        return nullptr;
    }
    const int32_t states = pOp->order + 1;
    // Everything the source owns, duplicated; what cannot be stays null.
    copy->numer = has(pOp, LAP_OWNS_NUMER) ? ZRT_duplicateArray(pOp->numer) : pOp->numer;
    copy->denom = has(pOp, LAP_OWNS_DENOM) ? ZRT_duplicateArray(pOp->denom) : pOp->denom;
    copy->auxName = ZRT_strdup(pOp->auxName, pOp->inst->pSim, pOp->inst);
    copy->chain = copyBlock(pOp, pOp->chain, states);
    copy->chainNames = newBlock<char*>(pOp, pOp->chainNames != nullptr ? states : 0);
    for (int32_t k = 0; copy->chainNames != nullptr && k < states; ++k) {
        copy->chainNames[k] = ZRT_strdup(pOp->chainNames[k], pOp->inst->pSim, pOp->inst);
    }
    copy->chainStatic = copyBlock(pOp, pOp->chainStatic, states);
    copy->chainDynamic = copyBlock(pOp, pOp->chainDynamic, states);
    copy->sumDoublets = copyBlock(pOp, pOp->sumDoublets, pOp->_denomN + 1);
    copy->outputDoublets = copyBlock(pOp, pOp->outputDoublets, pOp->_numerN + 1);
    copy->stepDoublets = copyBlock(pOp, pOp->stepDoublets, 2 * pOp->order);
    copy->scale = copyBlock(pOp, pOp->scale, states);
    copy->scaledNumer = copyBlock(pOp, pOp->scaledNumer, pOp->_numerN + 1);
    copy->nonZero = copyBlock(pOp, pOp->nonZero, pOp->_denomN + 1);
    copy->sections = newBlock<ZRT_Biquad*>(pOp, pOp->sections != nullptr ? pOp->_numBiquads : 0);
    copy->numerSeen = copyCoeffSnapshot(pOp->numerSeen, pOp->inst);  // a lost one only recomputes
    copy->denomSeen = copyCoeffSnapshot(pOp->denomSeen, pOp->inst);
    auto kept = [](const void* mine, const void* source) { return mine != nullptr || source == nullptr; };
    bool complete = kept(copy->numer, pOp->numer) && kept(copy->denom, pOp->denom) &&
                    kept(copy->auxName, pOp->auxName) && kept(copy->chain, pOp->chain) &&
                    kept(copy->chainNames, pOp->chainNames) && kept(copy->chainStatic, pOp->chainStatic) &&
                    kept(copy->chainDynamic, pOp->chainDynamic) && kept(copy->sumDoublets, pOp->sumDoublets) &&
                    kept(copy->outputDoublets, pOp->outputDoublets) &&
                    kept(copy->stepDoublets, pOp->stepDoublets) && kept(copy->scale, pOp->scale) &&
                    kept(copy->scaledNumer, pOp->scaledNumer) && kept(copy->nonZero, pOp->nonZero) &&
                    kept(copy->sections, pOp->sections);
    for (int32_t k = 0; copy->sections != nullptr && k < pOp->_numBiquads; ++k) {
        ZRT_Biquad* s = copyBlock(pOp, pOp->sections[k], 1);
        copy->sections[k] = s;
        if (s != nullptr) {
            s->inst = newInst;
            s->name = ZRT_strdup(pOp->sections[k]->name, pOp->inst->pSim, pOp->inst);
            s->innerName = ZRT_strdup(pOp->sections[k]->innerName, pOp->inst->pSim, pOp->inst);
        }
        complete = complete && s != nullptr;
    }
    if (!complete) {
        // A copy that lacks its buffers must not load: it computes again and
        // its stamps are missing.
        copy->flags &= static_cast<uint8_t>(~(LAP_TOPOLOGY | LAP_STAMPED | LAP_COMPUTED));
    }
    return copy;
}

void ZRT_destroyOpBranch_lap(ZRT_OpBranch_lap* pOp) {
    if (pOp == nullptr) {
        return;
    }
    if (has(pOp, LAP_OWNS_NUMER)) {
        ZRT_freeArray(pOp->numer);
    }
    if (has(pOp, LAP_OWNS_DENOM)) {
        ZRT_freeArray(pOp->denom);
    }
    for (int32_t k = 0; pOp->sections != nullptr && k < pOp->_numBiquads; ++k) {
        freeSection(pOp->sections[k]);
    }
    for (int32_t k = 0; pOp->chainNames != nullptr && k <= pOp->order; ++k) {
        ZRT_free(pOp->chainNames[k]);
    }
    for (void* block : {static_cast<void*>(pOp->sections), static_cast<void*>(pOp->auxName),
                        static_cast<void*>(pOp->chain), static_cast<void*>(pOp->chainNames),
                        static_cast<void*>(pOp->outputDoublets), static_cast<void*>(pOp->chainStatic),
                        static_cast<void*>(pOp->chainDynamic), static_cast<void*>(pOp->sumDoublets),
                        static_cast<void*>(pOp->stepDoublets), static_cast<void*>(pOp->scale),
                        static_cast<void*>(pOp->scaledNumer), static_cast<void*>(pOp->nonZero)}) {
        ZRT_free(block);
    }
    freeCoeffSnapshot(pOp->numerSeen);
    freeCoeffSnapshot(pOp->denomSeen);
    ZRT_free(pOp);
}

void ZRT_lapReportLinearScale(ZRT_OpBranch_lap* pOp, double scale) {
    (void)pOp;
    (void)scale;
}

void ZRT_lapReset(ZRT_OpBranch_lap* pOp) { (void)pOp; }

void ZRT_lapAcceptTimePoint(ZRT_OpBranch_lap* pOp, const s_ZRT_ContribLoader* loader) {
    (void)pOp;
    (void)loader;
}
