#include <cmath>
#include <cstdarg>

#include "dsl/ZRT_SupportLib.h"

namespace {

constexpr double kTrapezoid = 0.5;
// idtmod predicts its wrap a little early: the first crossing of the
// modulus is told to the host at this fraction of the linear estimate.
constexpr double kWrapIncrementFraction = 0.25;
constexpr double kWrapTimeFactor = 0.945321;

void loadOne(ZRT_BatchLoadFn slot, ZRT_Handle handle, double value, const s_ZRT_ContribLoader* loader,
             s_ZRT_DeviceInst* inst) {
    slot(1, &handle, &value, loader, inst);
}

// The three entries of an operator's branch row, in the order the host
// expects: resistive residual, reactive residual, the doublet on itself.
template <class Op>
void stampBranchRow(Op* pOp, int32_t doubletCode, void* extra) {
    s_ZRT_SimInterface* sim = pOp->inst->pSim;
    pOp->staticHandle = sim->CreateStaticRhsStamp(pOp->_branchVar, nullptr, 0, pOp->inst, extra);
    pOp->dynamicHandle = sim->CreateDynamicRhsStamp(pOp->_branchVar, nullptr, 0, pOp->inst, extra);
    pOp->doubletHandle =
        sim->CreateDerivDoublet(pOp->_branchVar, pOp->_branchVar, nullptr, doubletCode, 0, pOp->inst, extra);
}

template <class Op>
void finalizeSystemVar(Op* pOp, ZRT_NodalInfo* nodalInfo, void* extra, int32_t keepName) {
    ZRT_ASSERT(pOp->_branchVar == 0);
    pOp->_branchVar = createSystemStateVar(pOp->name, pOp->inst, nodalInfo, extra, keepName);
}

template <class Op>
void reportOperatorNoise(Op* pOp, int32_t sourceIndex, void* extra) {
    if (pOp != nullptr) {
        ZRT_reportNoiseContrib(pOp->inst, sourceIndex, pOp->staticHandle, extra);
    }
}

uint32_t analysisMask(const ZRT_OpBranch_idt* pOp, const s_ZRT_ContribLoader* loader) {
    return loader->GetAnalysisQueryMask(loader, pOp->inst);
}

// The time since the last accepted point; 0 before the first accept (the
// last accepted time is then the -1.0 of creation or reset) and when time
// went back.
double sinceAccepted(const ZRT_OpBranch_idt* pOp, double t) {
    if (pOp->lastAcceptedTime < 0.0) {
        return 0.0;
    }
    const double dt = t - pOp->lastAcceptedTime;
    return dt > 0.0 ? dt : 0.0;
}

void reportDiscontinuity(const ZRT_OpBranch_idt* pOp, const s_ZRT_ContribLoader* loader) {
    loader->ReportDiscontinuity(0, loader, pOp->inst, 2, pOp->_branchVar);
}

}  // namespace

// ---- ddt ------------------------------------------------------------------------

ZRT_OpBranch_ddt* ZRT_createOpBranch_ddt(const char* name, s_ZRT_DeviceInst* inst) {
    auto* pOp = newOperator<ZRT_OpBranch_ddt>(name, inst);
    if (pOp != nullptr) {
        pOp->scale = 1.0;
    }
    return pOp;
}

void ZRT_destroyOpBranch_ddt(ZRT_OpBranch_ddt* pOp) {
    if (pOp != nullptr) {
        ZRT_free(pOp->freqResponse);
        ZRT_free(pOp);
    }
}

void ZRT_ddtFinalizeTopology(ZRT_OpBranch_ddt* pOp, void* extra, int32_t keepName) {
    if (pOp != nullptr) {
        finalizeSystemVar(pOp, nullptr, extra, keepName);
    }
}

void ZRT_ddtSetStamp(ZRT_OpBranch_ddt* pOp, void* extra) {
    if (pOp != nullptr) {
        stampBranchRow(pOp, 0, extra);
    }
}

ZRT_Handle ZRT_getDerivDoubletOpBranch_ddt(ZRT_OpBranch_ddt* pOp, s_ZRT_StateVar* nodeA, s_ZRT_StateVar* nodeB,
                                           int32_t code, int32_t flag, void* extra) {
    return operatorDoublet(pOp, nodeA, nodeB, code, flag, extra);
}

s_ZRT_StateVar* ZRT_getBranchVar_ddt(const ZRT_OpBranch_ddt* pOp) { return operatorBranchVar(pOp); }

double ZRT_getDefaultBranch_ddt_scale(s_ZRT_DeviceInst* inst, const s_ZRT_ContribLoader* loader) {
    if (loader->GetDefault != nullptr) {
        const double s = loader->GetDefault(ZRT_DEFAULT_DDT_SCALE, loader, inst);
        if (s > 0.0) {
            return s;
        }
    }
    return 1.0;
}

void ZRT_OpBranch_ddt_setArg(ZRT_OpBranch_ddt* pOp, double x, const s_ZRT_ContribLoader* loader) {
    if (pOp == nullptr) {
        return;
    }
    if (loader->GetDefault != nullptr) {
        pOp->scale = ZRT_getDefaultBranch_ddt_scale(pOp->inst, loader);
    }
    loadOne(loader->LoadDynamicRhs, pOp->dynamicHandle, -pOp->scale * x, loader, pOp->inst);
}

void ZRT_OpBranch_ddt_setArg_dwrt(ZRT_OpBranch_ddt* pOp, ZRT_Handle doublet, double d,
                                  const s_ZRT_ContribLoader* loader) {
    if (pOp != nullptr) {
        loadOne(loader->LoadDynamicDoublet, doublet, -pOp->scale * d, loader, pOp->inst);
    }
}

void ZRT_ddtGenericLoadRHS(ZRT_OpBranch_ddt* pOp, const s_ZRT_ContribLoader* loader) {
    if (pOp != nullptr && pOp->_branchVar != nullptr) {
        loadOne(loader->LoadStaticRhs, pOp->staticHandle, operatorBranchValue(pOp, loader), loader, pOp->inst);
    }
}

void ZRT_ddtGenericLoad(ZRT_OpBranch_ddt* pOp, const s_ZRT_ContribLoader* loader) {
    if (pOp == nullptr) {
        return;
    }
    ZRT_ddtGenericLoadRHS(pOp, loader);
    loadOne(loader->LoadStaticDoublet, pOp->doubletHandle, 1.0, loader, pOp->inst);
}

void ZRT_reportNoiseContribForOp_ddt(ZRT_OpBranch_ddt* pOp, int32_t sourceIndex, void* extra) {
    reportOperatorNoise(pOp, sourceIndex, extra);
}

void ZRT_addNoiseForOp_ddt(ZRT_NoiseSrc* pSrc, ZRT_OpBranch_ddt* pOp, void* key, double value) {
    if (pOp == nullptr || pSrc == nullptr) {
        return;
    }
    ZRT_FreqResponse* response = operatorFreqResponse(pOp, pSrc, ddtFreqResponse);
    if (response != nullptr) {
        ZRT_addColoredNoise(pSrc, key != nullptr ? key : pOp->staticHandle, pOp->scale * value, response);
    }
}

void ddtFreqResponse(void* pOp, double w, ZRT_Cmplx* out) {
    (void)pOp;
    out->re = 0.0;
    out->im = w;
}

ZRT_OpBranch_ddt* ZRT_OpClone_ddt(const ZRT_OpBranch_ddt* pOp, s_ZRT_DeviceInst* newInst) {
    ZRT_OpBranch_ddt* copy = cloneOperator(pOp, newInst);
    if (copy != nullptr) {
        // The source's response is the source's to free.
        copy->freqResponse = nullptr;
    }
    return copy;
}

// ---- idt and idtmod -------------------------------------------------------------

ZRT_OpBranch_idt* ZRT_createOpBranch_idt(const char* name, s_ZRT_DeviceInst* inst) {
    auto* pOp = newOperator<ZRT_OpBranch_idt>(name, inst);
    if (pOp == nullptr) {
        return nullptr;
    }
    pOp->lastAcceptedTime = -1.0;
    pOp->scale = 1.0;
    pOp->modSpare[0] = 1.0;
    // The masks through the host, or the runtime's own table for a host
    // without the slot.
    s_ZRT_SimInterface* sim = inst->pSim;
    pOp->staticMask = analysisMaskOf(sim, "static");
    pOp->acNoiseMask = sim != nullptr && sim->FormAnalysisQueryMask != nullptr
                           ? sim->FormAnalysisQueryMask(sim, 2, "ac", "noise")
                           : ZRT_DefaultFormAnalysisQueryMask(sim, 2, "ac", "noise");
    inst->flags |= ZRT_INST_HAS_OPERATOR;
    return pOp;
}

void ZRT_destroyOpBranch_idt(ZRT_OpBranch_idt* pOp) { ZRT_free(pOp); }

void ZRT_idtSetArgInfo(ZRT_OpBranch_idt* pOp, int32_t count, ...) {
    if (pOp == nullptr) {
        return;
    }
    pOp->argInfoCount = count;
    pOp->argInfo = nullptr;
    if (count <= 0) {
        return;
    }
    auto* list = static_cast<void**>(
        ZRT_malloc(static_cast<size_t>(count) * sizeof(void*), pOp->inst->pSim, pOp->inst, pOp->name));
    if (list == nullptr) {
        pOp->argInfoCount = 0;
        return;
    }
    va_list args;
    va_start(args, count);
    for (int32_t i = 0; i < count; ++i) {
        list[i] = va_arg(args, void*);
    }
    va_end(args);
    pOp->argInfo = list;
}

void ZRT_idtFinalizeTopology(ZRT_OpBranch_idt* pOp, void* extra, int32_t keepName) {
    if (pOp == nullptr) {
        return;
    }
    ZRT_NodalInfo info{1, pOp->argInfoCount, pOp->argInfo};
    finalizeSystemVar(pOp, pOp->argInfo != nullptr ? &info : nullptr, extra, keepName);
}

void ZRT_idtSetStamp(ZRT_OpBranch_idt* pOp, void* extra) {
    if (pOp != nullptr) {
        stampBranchRow(pOp, 2, extra);
    }
}

ZRT_Handle ZRT_getDerivDoubletOpBranch_idt(ZRT_OpBranch_idt* pOp, s_ZRT_StateVar* nodeA, s_ZRT_StateVar* nodeB,
                                           int32_t code, int32_t flag, void* extra) {
    return operatorDoublet(pOp, nodeA, nodeB, code, flag, extra);
}

s_ZRT_StateVar* ZRT_getBranchVar_idt(const ZRT_OpBranch_idt* pOp) { return operatorBranchVar(pOp); }

void ZRT_idtReset(ZRT_OpBranch_idt* pOp) {
    if (pOp != nullptr) {
        pOp->timeBack = 0;
        pOp->lastAcceptedTime = -1.0;
        pOp->_loadType = NO_LOAD;
    }
}

void ZRT_idtSetArg2(ZRT_OpBranch_idt* pOp, double x, const s_ZRT_ContribLoader* loader) {
    if (pOp == nullptr) {
        return;
    }
    pOp->input = x;
    if (loader->GetDefault != nullptr) {
        const double s = loader->GetDefault(ZRT_DEFAULT_IDT, loader, pOp->inst);
        if (s > 0.0) {
            pOp->scale = s;
        }
    }
    loadOne(loader->LoadStaticRhs, pOp->staticHandle, -pOp->scale * x, loader, pOp->inst);
    pOp->_loadType = IDT_HOST_LOAD;
}

void ZRT_idtSetArg3(ZRT_OpBranch_idt* pOp, double x, double ic, const s_ZRT_ContribLoader* loader) {
    if (pOp == nullptr) {
        return;
    }
    pOp->input = x;
    if ((analysisMask(pOp, loader) & pOp->staticMask) != 0) {
        loadOne(loader->LoadStaticRhs, pOp->staticHandle, -ic, loader, pOp->inst);
        pOp->_loadType = IC_LOAD;
        return;
    }
    ZRT_idtSetArg2(pOp, x, loader);
}

void ZRT_idtSetArg4(ZRT_OpBranch_idt* pOp, double x, double ic, double assertIc,
                    const s_ZRT_ContribLoader* loader) {
    if (pOp == nullptr) {
        return;
    }
    pOp->input = x;
    const uint32_t mask = analysisMask(pOp, loader);
    if ((mask & pOp->staticMask) != 0 || assertIc != 0.0) {
        loadOne(loader->LoadStaticRhs, pOp->staticHandle, -ic, loader, pOp->inst);
        pOp->_loadType = (mask & pOp->staticMask) != 0 ? IC_LOAD_NO_Q : IC_LOAD;
        return;
    }
    if ((mask & pOp->acNoiseMask) != 0) {
        ZRT_idtSetArg2(pOp, x, loader);
        return;
    }
    const double dt = sinceAccepted(pOp, loader->GetTime(loader, pOp->inst));
    const double v = pOp->acceptedValue + kTrapezoid * (x + pOp->acceptedInput) * dt;
    loadOne(loader->LoadStaticRhs, pOp->staticHandle, -v, loader, pOp->inst);
    pOp->presentValue = v;
    pOp->_loadType = IDT_TRAPEZOIDAL_LOAD;
}

void ZRT_idtSetArgMod(ZRT_OpBranch_idt* pOp, double x, double ic, double modulus, double offset, int32_t flag,
                      const s_ZRT_ContribLoader* loader) {
    if (pOp == nullptr) {
        return;
    }
    const double t = loader->GetTime(loader, pOp->inst);
    pOp->input = x;
    pOp->modulus = modulus;
    pOp->offset = offset;
    if (pOp->lastAcceptedTime >= 0.0 && pOp->lastAcceptedTime > t) {
        pOp->timeBack = 1;
        pOp->lastAcceptedTime = t;
    }
    const uint32_t mask = analysisMask(pOp, loader);
    if ((mask & pOp->staticMask) != 0) {
        loadOne(loader->LoadStaticRhs, pOp->staticHandle, -getModValue(ic, modulus, offset), loader, pOp->inst);
        pOp->_loadType = flag != 0 ? IC_LOAD : IDTMOD_IC_LOAD;
        return;
    }
    if ((mask & pOp->acNoiseMask) != 0) {
        ZRT_idtSetArg2(pOp, x, loader);
        return;
    }

    const double h = kTrapezoid * sinceAccepted(pOp, t);
    const double sum = pOp->acceptedInput + x;
    const double increment = sum * h;
    const double v = pOp->acceptedValue + increment;
    if (modulus > 0.0 && std::fabs(increment) > kWrapIncrementFraction * modulus &&
        loader->ReportCrossViolation != nullptr && pOp->timeBack == 0 && pOp->lastAcceptedTime >= 0.0) {
        const double wrapTime = (0.5 * modulus / std::fabs(sum)) * kWrapTimeFactor + pOp->lastAcceptedTime;
        loader->ReportCrossViolation(wrapTime, 0, 0, loader, pOp->inst);
    }
    const double m = getModValue(v, modulus, offset);
    if (m != v && loader->pRequestIntStep == nullptr) {
        reportDiscontinuity(pOp, loader);
    }
    if (flag == 0) {
        pOp->presentValue = m;
        pOp->_loadType = IDTMOD_BRANCHLESS_LOAD;
        loadOne(loader->LoadStaticRhs, pOp->staticHandle, -pOp->valueAtTime0, loader, pOp->inst);
    } else if (loader->pRequestIntStep == nullptr) {
        loadOne(loader->LoadStaticRhs, pOp->staticHandle, -m, loader, pOp->inst);
        pOp->presentValue = m;
        pOp->_loadType = IDT_TRAPEZOIDAL_LOAD;
    } else {
        const double b = operatorBranchValue(pOp, loader);
        ZRT_idtSetArg2(pOp, x, loader);
        pOp->presentValue = getModValue(b, modulus, offset);
        if (std::fabs(pOp->presentValue - pOp->acceptedValue) > std::fabs(0.5 * modulus)) {
            reportDiscontinuity(pOp, loader);
        }
        pOp->_loadType = IDTMOD_STEP_LOAD;
    }
}

void ZRT_idtSetArg_dwrt(ZRT_OpBranch_idt* pOp, ZRT_Handle doublet, double d, const s_ZRT_ContribLoader* loader) {
    if (pOp == nullptr) {
        return;
    }
    switch (pOp->_loadType) {
    case IDT_HOST_LOAD:
    case IDTMOD_STEP_LOAD:
        loadOne(loader->LoadStaticDoublet, doublet, -pOp->scale * d, loader, pOp->inst);
        break;
    case IDT_TRAPEZOIDAL_LOAD: {
        const double dt = sinceAccepted(pOp, loader->GetTime(loader, pOp->inst));
        loadOne(loader->LoadStaticDoublet, doublet, -kTrapezoid * dt * d, loader, pOp->inst);
        break;
    }
    default:
        ZRT_ASSERT(pOp->_loadType == IC_LOAD || pOp->_loadType == IC_LOAD_NO_Q ||
                   pOp->_loadType == IDTMOD_IC_LOAD || pOp->_loadType == IDTMOD_BRANCHLESS_LOAD);
        break;
    }
}

void ZRT_idtSetArgIC_dwrt(ZRT_OpBranch_idt* pOp, ZRT_Handle doublet, double d,
                          const s_ZRT_ContribLoader* loader) {
    if (pOp == nullptr) {
        return;
    }
    ZRT_ASSERT(pOp->_loadType != NO_LOAD);
    if (pOp->_loadType == IC_LOAD || pOp->_loadType == IC_LOAD_NO_Q || pOp->_loadType == IDTMOD_IC_LOAD) {
        loadOne(loader->LoadStaticDoublet, doublet, -d, loader, pOp->inst);
    }
}

namespace {

// Which parts of the branch row a load type loads: the resistive part for
// the initial-condition and branchless types, the reactive part for the
// types the host integrates and, at time 0, for IC_LOAD as well (the two
// tests are independent, so that the host's charge starts at the initial
// condition).
bool loadsStaticPart(uint32_t type) {
    return type == IC_LOAD || type == IC_LOAD_NO_Q || type == IDTMOD_IC_LOAD || type == IDT_TRAPEZOIDAL_LOAD ||
           type == IDTMOD_BRANCHLESS_LOAD;
}

bool loadsDynamicPart(const ZRT_OpBranch_idt* pOp, const s_ZRT_ContribLoader* loader) {
    const uint32_t type = pOp->_loadType;
    if (type == NO_LOAD || type == IDT_HOST_LOAD || type == IDTMOD_STEP_LOAD) {
        return true;
    }
    return type == IC_LOAD && loader->GetTime(loader, pOp->inst) == 0.0;
}

void loadIdtRow(ZRT_OpBranch_idt* pOp, const s_ZRT_ContribLoader* loader, bool full) {
    const double v = operatorBranchValue(pOp, loader);
    if (loadsStaticPart(pOp->_loadType)) {
        loadOne(loader->LoadStaticRhs, pOp->staticHandle, v, loader, pOp->inst);
        if (full) {
            loadOne(loader->LoadStaticDoublet, pOp->doubletHandle, 1.0, loader, pOp->inst);
        }
    }
    if (loadsDynamicPart(pOp, loader)) {
        loadOne(loader->LoadDynamicRhs, pOp->dynamicHandle, pOp->scale * v, loader, pOp->inst);
        if (full) {
            loadOne(loader->LoadDynamicDoublet, pOp->doubletHandle, pOp->scale * 1.0, loader, pOp->inst);
        }
    }
}

}  // namespace

void ZRT_idtGenericLoadRHS(ZRT_OpBranch_idt* pOp, const s_ZRT_ContribLoader* loader) {
    if (pOp != nullptr) {
        loadIdtRow(pOp, loader, false);
    }
}

void ZRT_idtGenericLoad(ZRT_OpBranch_idt* pOp, const s_ZRT_ContribLoader* loader) {
    if (pOp != nullptr) {
        loadIdtRow(pOp, loader, true);
    }
}

void ZRT_idtAcceptTimePoint(ZRT_OpBranch_idt* pOp, const s_ZRT_ContribLoader* loader) {
    if (pOp == nullptr) {
        return;
    }
    const double t = loader->GetTime(loader, pOp->inst);
    const uint32_t type = pOp->_loadType;
    const bool holdsPresent =
        type == IDTMOD_STEP_LOAD || type == IDT_TRAPEZOIDAL_LOAD || type == IDTMOD_BRANCHLESS_LOAD;
    const double v = holdsPresent ? pOp->presentValue : operatorBranchValue(pOp, loader);
    if (type == IDTMOD_STEP_LOAD && pOp->modulus != 0.0) {
        const s_ZRT_ContribLoader* ldr = loader;
        ZRT_ASSERT(ldr->pRequestIntStep);
        ldr->pRequestIntStep(0.0, pOp->modulus, pOp->offset, 1, 1, pOp->_branchVar, loader, pOp->inst);
    }
    pOp->acceptedValue = v;
    pOp->lastAcceptedTime = t;
    pOp->acceptedInput = pOp->input;
    if (t == 0.0) {
        pOp->valueAtTime0 = v;
    }
}

double ZRT_IBR_idt(const ZRT_OpBranch_idt* pOp, const s_ZRT_ContribLoader* loader) {
    if (pOp == nullptr) {
        return 0.0;
    }
    if (pOp->_loadType == IDTMOD_STEP_LOAD || pOp->_loadType == IDTMOD_BRANCHLESS_LOAD) {
        return pOp->presentValue;
    }
    return operatorBranchValue(pOp, loader);
}

void ZRT_reportNoiseContribForOp_idt(ZRT_OpBranch_idt* pOp, int32_t sourceIndex, void* extra) {
    reportOperatorNoise(pOp, sourceIndex, extra);
}

void ZRT_addNoiseForOp_idt(ZRT_NoiseSrc* pSrc, ZRT_OpBranch_idt* pOp, double value) {
    if (pSrc == nullptr || pOp == nullptr) {
        return;
    }
    ++pSrc->contribCount;
    if (pOp->staticHandle != nullptr) {
        ZRT_insertNoiseVal(&pSrc->contribs, pOp->staticHandle, value, nullptr, pOp->inst->pSim);
    }
}

ZRT_OpBranch_idt* ZRT_OpClone_idt(const ZRT_OpBranch_idt* pOp, s_ZRT_DeviceInst* newInst) {
    return cloneOperator(pOp, newInst);
}

double getModValue(double x, double modulus, double offset) {
    if (modulus <= 0.0) {
        return 0.0;
    }
    if (offset <= x && x < offset + modulus) {
        return x;
    }
    double r = std::fmod(x - offset, modulus);
    while (r < 0.0) {
        r += modulus;
    }
    return r + offset;
}
