#include <cmath>
#include <cstdio>

#include "dsl/ZRT_SupportLib.h"

namespace {

constexpr int32_t kDelayCode = 3;  // the host's code of a delay entry

ZRT_GenericOperatorState* newDelayState(s_ZRT_SimInterface* sim) {
    return sim != nullptr && sim->CreateDelaySpec != nullptr ? sim->CreateDelaySpec(sim) : nullptr;
}

ZRT_GenericOperatorState* copyDelayState(s_ZRT_SimInterface* sim, ZRT_GenericOperatorState* state) {
    return state != nullptr && sim != nullptr && sim->CopyDelaySpec != nullptr ? sim->CopyDelaySpec(state)
                                                                               : nullptr;
}

}  // namespace

ZRT_OpBranch_delay* ZRT_createOpBranch_delay(const char* name, s_ZRT_DeviceInst* inst) {
    auto* pOp = newOperator<ZRT_OpBranch_delay>(name, inst);
    if (pOp == nullptr) {
        return nullptr;
    }
    pOp->delayState = newDelayState(inst->pSim);
    inst->flags |= ZRT_INST_HAS_OPERATOR;
    return pOp;
}

void ZRT_destroyOpBranch_delay(ZRT_OpBranch_delay* pOp) {
    if (pOp == nullptr) {
        return;
    }
    if (ZRT_GenericOperatorState* pExistingState = pOp->delayState) {
        ZRT_ASSERT_AT(pExistingState->opStateType == ZRT_DELAY_SPEC,
                      "pExistingState && (((ZRT_GenericOperatorState *)pExistingState)->opStateType == "
                      "ZRT_DELAY_SPEC)",
                      __FILE__, __LINE__);
        releaseOperatorState(pExistingState);
    }
    // A clone never shares its source's frequency response, so it is ours.
    ZRT_free(pOp->freqResponse);
    ZRT_free(pOp);
}

void ZRT_delayFinalizeTopology(ZRT_OpBranch_delay* pOp, void* extra, void* unused) {
    (void)unused;
    if (pOp != nullptr) {
        finalizeOperatorTopology(pOp, extra);
    }
}

void ZRT_delaySetStamp(ZRT_OpBranch_delay* pOp, void* extra) {
    if (pOp != nullptr) {
        stampHostFedBranch(pOp, kDelayCode, pOp->delayHandle, extra);
    }
}

ZRT_Handle ZRT_getDerivDoubletOpBranch_delay(ZRT_OpBranch_delay* pOp, s_ZRT_StateVar* nodeA, s_ZRT_StateVar* nodeB,
                                             void* word, int32_t flag, void* extra) {
    (void)word;
    return operatorDoublet(pOp, nodeA, nodeB, kDelayCode, flag, extra);
}

s_ZRT_StateVar* ZRT_getBranchVar_delay(const ZRT_OpBranch_delay* pOp) { return operatorBranchVar(pOp); }

void ZRT_delaySetArg(ZRT_OpBranch_delay* pOp, double x, double td, double tdmax, const s_ZRT_ContribLoader* loader) {
    if (pOp == nullptr) {
        return;
    }
    if (td < 0.0) {  // a NaN delay passes unchanged
        if (pOp->warned == 0) {
            char text[2048];
            std::snprintf(text, sizeof text,
                          "A negative delay (%e) was supplied to the absdelay operator.\n"
                          "A zero-valued delay will be used instead; future warnings will be suppressed.",
                          td);
            ZRT_Message(pOp->inst->pSim, pOp->inst, nullptr, ZRT_MSG_WARNING, text);
            pOp->warned = 1;
        }
        td = 0.0;
    }
    loader->LoadDelay(pOp->delayState, pOp->delayHandle, td, tdmax, x, loader, pOp->inst);
    pOp->presentDelay = td;
}

void ZRT_delaySetArg_dwrt(ZRT_OpBranch_delay* pOp, ZRT_Handle doublet, double deriv,
                          const s_ZRT_ContribLoader* loader) {
    if (pOp != nullptr) {
        loader->LoadDelay_dwrt(pOp->delayState, doublet, deriv, loader, pOp->inst);
    }
}

void ZRT_delayGenericLoadRHS(ZRT_OpBranch_delay* pOp, const s_ZRT_ContribLoader* loader) {
    if (pOp != nullptr) {
        loadHostFedBranch(pOp, loader, false);
    }
}

void ZRT_delayGenericLoad(ZRT_OpBranch_delay* pOp, const s_ZRT_ContribLoader* loader) {
    if (pOp != nullptr) {
        loadHostFedBranch(pOp, loader, true);
    }
}

void ZRT_delayAcceptTimePoint(ZRT_OpBranch_delay* pOp, const s_ZRT_ContribLoader* loader) {
    if (pOp != nullptr && loader->AcceptDelay != nullptr) {
        loader->AcceptDelay(pOp->delayState, loader, pOp->inst);
    }
}

void ZRT_delayReset(ZRT_OpBranch_delay* pOp) {
    if (pOp == nullptr) {
        return;
    }
    releaseOperatorState(pOp->delayState);
    pOp->delayState = newDelayState(pOp->inst->pSim);
    pOp->presentDelay = 0.0;
}

void ZRT_reportNoiseContribForOp_delay(ZRT_OpBranch_delay* pOp, int32_t sourceIndex, void* extra) {
    if (pOp != nullptr) {
        ZRT_reportNoiseContrib(pOp->inst, sourceIndex, pOp->rhsHandle, extra);
    }
}

void ZRT_addNoiseForOp_delay(ZRT_NoiseSrc* pSrc, ZRT_OpBranch_delay* pOp, double value) {
    if (pOp == nullptr || pSrc == nullptr) {
        return;
    }
    ZRT_FreqResponse* response = operatorFreqResponse(pOp, pSrc, delayFreqResponse);
    if (response != nullptr) {
        ZRT_addColoredNoise(pSrc, pOp->rhsHandle, value, response);
    }
}

void delayFreqResponse(void* pOp, double w, ZRT_Cmplx* out) {
    const double td = static_cast<const ZRT_OpBranch_delay*>(pOp)->presentDelay;
    out->re = std::cos(w * td);
    out->im = -std::sin(w * td);
}

ZRT_OpBranch_delay* ZRT_OpClone_delay(const ZRT_OpBranch_delay* pOp, s_ZRT_DeviceInst* newInst) {
    ZRT_OpBranch_delay* copy = cloneOperator(pOp, newInst);
    if (copy == nullptr) {
        return nullptr;
    }
    // A copy without its own delay state would load nothing through the
    // host: no copy at all.
    copy->delayState = copyDelayState(pOp->inst->pSim, pOp->delayState);
    if (copy->delayState == nullptr) {
        ZRT_free(copy);
        return nullptr;
    }
    // The source's response names the source: the copy makes its own.
    copy->freqResponse = nullptr;
    return copy;
}

ZRT_GenericOperatorState* ZRT_delaySaveState(const ZRT_OpBranch_delay* pOp) {
    return pOp != nullptr ? copyDelayState(pOp->inst->pSim, pOp->delayState) : nullptr;
}

int32_t ZRT_delayRestoreState(ZRT_OpBranch_delay* pOp, ZRT_GenericOperatorState* pOpState) {
    if (pOp == nullptr) {
        return 0;
    }
    ZRT_ASSERT_AT(pOpState != nullptr && pOpState->opStateType == ZRT_DELAY_SPEC,
                  "pOpState && (((ZRT_GenericOperatorState *)pOpState)->opStateType == ZRT_DELAY_SPEC)", __FILE__,
                  __LINE__);
    // The copy first: a host that cannot make one leaves the operator as it was.
    ZRT_GenericOperatorState* copy = copyDelayState(pOp->inst->pSim, pOpState);
    if (copy == nullptr) {
        return 0;
    }
    releaseOperatorState(pOp->delayState);
    pOp->delayState = copy;
    return 1;
}
