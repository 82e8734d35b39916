// The frame every analog operator shares. An operator is a record allocated
// zeroed through ZRT_calloc that begins with its name (the caller's text,
// not copied) and its instance; an operator that owns a branch of the
// circuit equations keeps it as `_branchVar`, null until its topology is
// finalized. The module's private block owns the record.
//
// Every operation accepts a null record (left behind by an exhausted heap)
// and then does nothing.
#pragma once

#include <cstring>

#include "rte/ZRT_CommonInterface.h"

// A new operator record of type Op bound to `inst`, or null.
template <class Op>
Op* newOperator(const char* name, s_ZRT_DeviceInst* inst) {
    if (inst == nullptr) {
        return nullptr;
    }
    auto* pOp = static_cast<Op*>(ZRT_calloc(1, sizeof(Op), inst->pSim, inst, name));
    if (pOp != nullptr) {
        pOp->name = name;
        pOp->inst = inst;
    }
    return pOp;
}

// A copy of `pOp` bound to `newInst`, allocated through the source record's
// interface and instance; the caller replaces what the copy must own. Null
// for a null record or when memory is exhausted.
template <class Op>
Op* cloneOperator(const Op* pOp, s_ZRT_DeviceInst* newInst) {
    if (pOp == nullptr) {
        return nullptr;
    }
    auto* copy = static_cast<Op*>(ZRT_calloc(1, sizeof(Op), pOp->inst->pSim, pOp->inst, pOp->name));
    if (copy != nullptr) {
        std::memcpy(static_cast<void*>(copy), pOp, sizeof(Op));
        copy->inst = newInst;
    }
    return copy;
}

// Creates the operator's branch, a branch without nodes named after it.
// Runs once per record.
template <class Op>
void finalizeOperatorTopology(Op* pOp, void* extra) {
    ZRT_ASSERT(pOp->_branchVar == 0);
    pOp->_branchVar = ZRT_CreateBranchStateVar(pOp->name, ZRT_BRANCH_DEFAULT, nullptr, nullptr, pOp->inst, extra);
}

// A doublet of the branch variable against (nodeA, nodeB) with the host's
// code and the caller's flag; null for a null record.
template <class Op>
ZRT_Handle operatorDoublet(const Op* pOp, s_ZRT_StateVar* nodeA, s_ZRT_StateVar* nodeB, int32_t code, int32_t flag,
                           void* extra) {
    if (pOp == nullptr) {
        return nullptr;
    }
    return pOp->inst->pSim->CreateDerivDoublet(pOp->_branchVar, nodeA, nodeB, code, flag, pOp->inst, extra);
}

// The branch variable, or null for a null record.
template <class Op>
s_ZRT_StateVar* operatorBranchVar(const Op* pOp) {
    return pOp != nullptr ? pOp->_branchVar : nullptr;
}

// The operator's branch value, 0.0 before its branch exists.
template <class Op>
double operatorBranchValue(const Op* pOp, const s_ZRT_ContribLoader* loader) {
    return pOp->_branchVar != nullptr ? loader->GetSol(pOp->_branchVar, loader, pOp->inst) : 0.0;
}

// The entries of a branch whose value the host supplies through another
// entry, in the order the host expects: the residual of the branch row, the
// host's entry (`hostCode`, answered in `hostHandle`) and the branch
// variable on itself.
template <class Op>
void stampHostFedBranch(Op* pOp, int32_t hostCode, ZRT_Handle& hostHandle, void* extra) {
    s_ZRT_SimInterface* sim = pOp->inst->pSim;
    pOp->rhsHandle = sim->CreateStaticRhsStamp(pOp->_branchVar, nullptr, 0, pOp->inst, extra);
    hostHandle = sim->CreateDelayStamp(pOp->_branchVar, hostCode, 1, pOp->inst, extra);
    pOp->doubletHandle = sim->CreateDerivDoublet(pOp->_branchVar, pOp->_branchVar, nullptr, 0, 0, pOp->inst, extra);
}

// The row of a branch whose value the host supplies through another entry:
// the residual -v of the branch value v at `rhsHandle` and, in the full load,
// -1.0 on the branch variable itself at `doubletHandle`.
template <class Op>
void loadHostFedBranch(const Op* pOp, const s_ZRT_ContribLoader* loader, bool full) {
    const double residual = -operatorBranchValue(pOp, loader);
    loader->LoadStaticRhs(1, &pOp->rhsHandle, &residual, loader, pOp->inst);
    if (full) {
        const double self = -1.0;
        loader->LoadStaticDoublet(1, &pOp->doubletHandle, &self, loader, pOp->inst);
    }
}

// The operator's frequency response `fn`, made through the noise source's
// interface at the first noise contribution and kept in `freqResponse`;
// null when memory is exhausted.
template <class Op>
ZRT_FreqResponse* operatorFreqResponse(Op* pOp, const ZRT_NoiseSrc* pSrc,
                                       void (*fn)(void* data, double w, ZRT_Cmplx* out)) {
    if (pOp->freqResponse == nullptr) {
        s_ZRT_SimInterface* sim = simOf(pSrc->inst);
        auto* response = static_cast<ZRT_FreqResponse*>(ZRT_calloc(1, sizeof(ZRT_FreqResponse), sim, pSrc->inst, nullptr));
        if (response != nullptr) {
            response->data = pOp;
            response->fn = fn;
            pOp->freqResponse = response;
        }
    }
    return pOp->freqResponse;
}

// `count` doubles copied into a new block through `inst`'s interface; null
// for none or when memory is exhausted.
inline double* copyDoubles(const double* source, int32_t count, s_ZRT_DeviceInst* inst) {
    if (source == nullptr || count <= 0) {
        return nullptr;
    }
    const size_t bytes = static_cast<size_t>(count) * sizeof(double);
    auto* copy = static_cast<double*>(ZRT_malloc(bytes, inst->pSim, inst, nullptr));
    if (copy != nullptr) {
        std::memcpy(copy, source, bytes);
    }
    return copy;
}
