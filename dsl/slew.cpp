#include "dsl/ZRT_SupportLib.h"

namespace {

// The smallest step of the rate, relative to the present time.
constexpr double kRelativeMinStep = 1e-15;

}  // namespace

ZRT_SlewSpec* createSlewSpec(s_ZRT_SimInterface* sim) {
    auto* spec = static_cast<ZRT_SlewSpec*>(ZRT_calloc(1, sizeof(ZRT_SlewSpec), sim, nullptr, nullptr));
    if (spec != nullptr) {
        spec->head.opStateType = ZRT_SLEW_SPEC;
        spec->head.serialize = serializeSlewSpec;
        spec->head.free = freeSlewSpec;
        spec->prevTime = -1.0;
        spec->pSim = sim;
    }
    return spec;
}

ZRT_SlewSpec* copySlewSpec(const ZRT_SlewSpec* spec) {
    if (spec == nullptr) {
        return nullptr;
    }
    auto* copy = static_cast<ZRT_SlewSpec*>(ZRT_calloc(1, sizeof(ZRT_SlewSpec), spec->pSim, nullptr, nullptr));
    if (copy != nullptr) {
        *copy = *spec;
    }
    return copy;
}

void freeSlewSpec(ZRT_GenericOperatorState* spec) { ZRT_free(spec); }

ZRT_OpBranch_slew* ZRT_createOpBranch_slew(const char* name, s_ZRT_DeviceInst* inst) {
    auto* pOp = newOperator<ZRT_OpBranch_slew>(name, inst);
    if (pOp == nullptr) {
        return nullptr;
    }
    pOp->spec = createSlewSpec(inst->pSim);
    if (pOp->spec == nullptr) {
        ZRT_free(pOp);
        return nullptr;
    }
    return pOp;
}

void ZRT_destroyOpBranch_slew(ZRT_OpBranch_slew* pOp) {
    if (pOp == nullptr) {
        return;
    }
    if (pOp->spec != nullptr) {
        freeSlewSpec(&pOp->spec->head);
    }
    ZRT_free(pOp);
}

void ZRT_slewSetArg(ZRT_OpBranch_slew* pOp, double x, double maxRise, double maxFall,
                    const s_ZRT_ContribLoader* loader) {
    if (pOp == nullptr) {
        return;
    }
    ZRT_SlewSpec* spec = pOp->spec;
    const double t = loader->GetTime(loader, pOp->inst);
    if (spec == nullptr) {  // a reset that found the heap exhausted: pass the input
        pOp->output = x;
        pOp->deriv = 1.0;
        return;
    }
    if (t <= 0.0) {
        spec->presentTime = 0.0;
        spec->presentOutput = x;
        spec->presentDeriv = 1.0;
    } else {
        double dt = t - spec->prevTime;
        if (dt < t * kRelativeMinStep) {
            dt = t * kRelativeMinStep;
        }
        const double dx = x - spec->prevOutput;
        const bool risingLimit = maxRise > 0.0;
        const bool fallingLimit = maxFall < 0.0;
        double out = x;
        double deriv = 1.0;
        if (risingLimit && dx > 0.0 && dx / dt > maxRise) {
            out = spec->prevOutput + dt * maxRise;
            deriv = 0.0;
        } else if (fallingLimit && dx < 0.0 && dx / dt < maxFall) {
            out = spec->prevOutput + dt * maxFall;
            deriv = 0.0;
        }
        spec->presentTime = t;
        spec->presentOutput = out;
        spec->presentDeriv = deriv;
    }
    pOp->output = spec->presentOutput;
    pOp->deriv = spec->presentDeriv;
}

void ZRT_slewAcceptTimePoint(ZRT_OpBranch_slew* pOp) {
    if (pOp != nullptr && pOp->spec != nullptr) {
        pOp->spec->prevTime = pOp->spec->presentTime;
        pOp->spec->prevOutput = pOp->spec->presentOutput;
    }
}

void ZRT_slewReset(ZRT_OpBranch_slew* pOp) {
    if (pOp == nullptr) {
        return;
    }
    if (pOp->spec != nullptr) {
        freeSlewSpec(&pOp->spec->head);
    }
    pOp->spec = createSlewSpec(pOp->inst->pSim);
}

ZRT_OpBranch_slew* ZRT_OpClone_slew(const ZRT_OpBranch_slew* pOp, s_ZRT_DeviceInst* newInst) {
    ZRT_OpBranch_slew* copy = cloneOperator(pOp, newInst);
    if (copy == nullptr) {
        return nullptr;
    }
    copy->spec = copySlewSpec(pOp->spec);
    if (copy->spec == nullptr && pOp->spec != nullptr) {
        ZRT_free(copy);
        return nullptr;
    }
    return copy;
}
