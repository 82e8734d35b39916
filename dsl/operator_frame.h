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
// interface and instance; the caller replaces what the copy must own.
template <class Op>
Op* cloneOperator(const Op* pOp, s_ZRT_DeviceInst* newInst) {
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
