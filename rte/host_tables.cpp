#include <cstdarg>
#include <cstring>

#include "rte/ZRT_CommonInterface.h"

void ZRT_NullLoad(int32_t, const ZRT_Handle*, const double*, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) {}
void ZRT_NullLoadRhsAC(void*, void*, void*, double, const s_ZRT_ContribLoader*) {}
void ZRT_NullLoadDelay(ZRT_GenericOperatorState*, ZRT_Handle, double, double, double, const s_ZRT_ContribLoader*,
                       s_ZRT_DeviceInst*) {}
void ZRT_NullLoadDelay_dwrt(ZRT_GenericOperatorState*, ZRT_Handle, double, const s_ZRT_ContribLoader*,
                            s_ZRT_DeviceInst*) {}
void ZRT_NullAcceptDelay(ZRT_GenericOperatorState*, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) {}
void ZRT_NullLoadZ_Transform(void*, ZRT_Handle, double, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) {}
void ZRT_NullLoadZ_Transform_dwrt(void*, ZRT_Handle, double, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) {}
void ZRT_NullReportDiscontinuity(int32_t, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*, int32_t, s_ZRT_StateVar*) {}
void ZRT_NullDoBoundStep(double, int32_t, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) {}
void ZRT_NullReportCrossViolation(double, int32_t, int32_t, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) {}
double ZRT_NullGetSol(s_ZRT_StateVar*, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) { return 0.0; }
double ZRT_NullGetTime(const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) { return 0.0; }
double ZRT_NullGetFreq(const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) { return 0.0; }
int32_t ZRT_NullDoNoise(const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) { return 0; }
int32_t ZRT_NullDoStrobe(const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) { return 0; }
int32_t ZRT_NullIsInitialStep(const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) { return 0; }
int32_t ZRT_NullIsFinalStep(const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) { return 0; }
uint32_t ZRT_NullGetAnalysisQueryMask(const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) { return 0; }
int32_t ZRT_noStrobe(const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) { return 0; }
int32_t ZRT_yesStrobe(const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) { return 1; }

int32_t ZRT_D2A_EventSignal_Null(ZRT_EventDesc*, double, const s_ZRT_ContribLoader*) { return 0; }
int32_t ZRT_D2A_IntFromLogic_Null(s_ZRT_DeviceInst*, int32_t, const s_ZRT_ContribLoader*) { return 0; }
ZRT_LogicValue ZRT_D2A_Logic_Null(int32_t, const s_ZRT_ContribLoader*) { return ZRT_LogicValue{1, 0, 0, 0}; }
double ZRT_D2A_Real_Null(int32_t, const s_ZRT_ContribLoader*) { return 0.0; }
int32_t ZRT_D2A_Integer_Null(s_ZRT_DeviceInst*, const s_ZRT_ContribLoader*, int32_t, int32_t, int32_t, int32_t,
                             ...) {
    return 0;
}
int32_t ZRT_D2A_IntFromLogicElement_Null(s_ZRT_DeviceInst*, const s_ZRT_ContribLoader*, int32_t, int32_t, int32_t,
                                         int32_t, ...) {
    return 0;
}
ZRT_LogicValue ZRT_D2A_LogicElement_Null(s_ZRT_DeviceInst*, const s_ZRT_ContribLoader*, int32_t, int32_t, int32_t,
                                         int32_t, ...) {
    return ZRT_LogicValue{1, 0, 0, 0};
}
double ZRT_D2A_RealElement_Null(s_ZRT_DeviceInst*, const s_ZRT_ContribLoader*, int32_t, int32_t, int32_t, int32_t,
                                ...) {
    return 0.0;
}
int32_t ZRT_D2A_IntegerElement_Null(s_ZRT_DeviceInst*, const s_ZRT_ContribLoader*, int32_t, int32_t, int32_t,
                                    int32_t, ...) {
    return 0;
}
double ZRT_A2D_Null(int32_t, const s_ZRT_ContribLoader*) { return 0.0; }

const ZRT_AMS_Loader DefaultAMS_ContribLoader = {
    .D2A_EventSignal = ZRT_D2A_EventSignal_Null,
    .D2A_IntFromLogic = ZRT_D2A_IntFromLogic_Null,
    .D2A_Logic = ZRT_D2A_Logic_Null,
    .D2A_Real = ZRT_D2A_Real_Null,
    .D2A_Integer = ZRT_D2A_Integer_Null,
    .D2A_IntFromLogicElement = ZRT_D2A_IntFromLogicElement_Null,
    .D2A_LogicElement = ZRT_D2A_LogicElement_Null,
    .D2A_RealElement = ZRT_D2A_RealElement_Null,
    .D2A_IntegerElement = ZRT_D2A_IntegerElement_Null,
    .A2D = ZRT_A2D_Null,
    // The export part (slots 11 to 16) is empty.
    .pA2D_SM = nullptr,
    .pExportHost = nullptr,
    .ExportIndexScale = 0,
    .ExportIndexScalePad = 0,
    .pExportTarget = nullptr,
    .ExportNetFn = nullptr,
    .Reserved15 = nullptr,
};

// Callbacks of the static-check loader: a module evaluated without a
// simulation sees a zero solution at an initial step of a static DC analysis.
static double staticCheckDummyGetSol(s_ZRT_StateVar*, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) { return 0.0; }
static int32_t staticCheckCrossEventSignal(ZRT_EventDesc*, double, double, double, double, double, int32_t,
                                           ZRT_StateVarPair*, double*, uint32_t*, double, int32_t, int32_t,
                                           const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) {
    return 0;
}
static int32_t staticCheckInitialStep(const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) { return 1; }
static int32_t staticCheckFinalStep(const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) { return 0; }
static double staticCheckGetDefault(int32_t, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) { return 0.0; }
static uint32_t staticCheckQueryMask(const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) {
    return ZRT_DefaultFormAnalysisQueryMask(nullptr, 2, "dc", "static");
}

// DoNoise (slot 15) is left null here; loads treat a null DoNoise as "no
// noise analysis".
const s_ZRT_ContribLoader ZRT_StaticCheckLoader = {
    .pPrivate = nullptr,
    .LoadStaticRhs = ZRT_NullLoad,
    .LoadDynamicRhs = ZRT_NullLoad,
    .LoadStaticJacobian = ZRT_NullLoad,
    .LoadStaticDoublet = ZRT_NullLoad,
    .LoadDynamicJacobian = ZRT_NullLoad,
    .LoadDynamicDoublet = ZRT_NullLoad,
    .LoadRhsAC = ZRT_NullLoadRhsAC,
    .LoadDelay = ZRT_NullLoadDelay,
    .LoadDelay_dwrt = ZRT_NullLoadDelay_dwrt,
    .AcceptDelay = nullptr,
    .LoadZ_Transform = nullptr,
    .LoadZ_Transform_dwrt = nullptr,
    .GetSol = staticCheckDummyGetSol,
    .DoNoise = nullptr,
    .DoStrobe = ZRT_noStrobe,
    .DoStrobeAux = ZRT_noStrobe,
    .ReportDiscontinuity = ZRT_NullReportDiscontinuity,
    .DoBoundStep = ZRT_NullDoBoundStep,
    .CrossEventSignal = staticCheckCrossEventSignal,
    .AcceptCrossEvent = nullptr,
    .ReportCrossViolation = nullptr,
    .IsInitialStep = staticCheckInitialStep,
    .IsFinalStep = staticCheckFinalStep,
    .GetTime = ZRT_NullGetTime,
    .GetMinStep = nullptr,
    .GetFreq = ZRT_NullGetFreq,
    .Reserved27 = nullptr,
    .GetDefault = staticCheckGetDefault,
    .GetAnalysisQueryMask = staticCheckQueryMask,
    .pRequestIntStep = nullptr,
    .pAMS = &DefaultAMS_ContribLoader,
    .Reserved32 = nullptr,
    .Reserved33 = nullptr,
};

double passThroughCallback(s_ZRT_DeviceInst*, double value) { return value; }

s_ZRT_ContribLoader* ZRT_getPureRhsLoader(s_ZRT_ContribLoader* destination, const s_ZRT_ContribLoader* source) {
    if (destination == nullptr) {
        return nullptr;
    }
    if (source != nullptr && source != destination) {
        std::memcpy(destination, source, sizeof(s_ZRT_ContribLoader));
    }
    destination->LoadStaticJacobian = ZRT_NullLoad;
    destination->LoadStaticDoublet = ZRT_NullLoad;
    destination->LoadDynamicJacobian = ZRT_NullLoad;
    destination->LoadDynamicDoublet = ZRT_NullLoad;
    destination->LoadDelay_dwrt = ZRT_NullLoadDelay_dwrt;
    destination->LoadZ_Transform_dwrt = ZRT_NullLoadZ_Transform_dwrt;
    return destination;
}

void ZRT_SetStamp(s_ZRT_DeviceInst* inst, void* hostData) {
    if (inst == nullptr || inst->pMD == nullptr) {
        return;
    }
    const s_ZRT_ModuleDesc* md = inst->pMD;
    if ((md->hostFlags & 0x10) == 0 || md->setAnalogStamp == nullptr) {
        return;
    }
    md->setAnalogStamp(inst, hostData);
}

void* ZRT_ClonePrivateInfo(void* block, s_ZRT_DeviceInst* allocInst, s_ZRT_DeviceInst* opInst) {
    if (block == nullptr) {
        return nullptr;
    }
    ZRT_CloneFn clone = *static_cast<ZRT_CloneFn*>(block);
    return clone != nullptr ? clone(block, allocInst, opInst) : nullptr;
}
