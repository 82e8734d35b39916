// The runtime interface core: loader tables, messages, memory and value
// conversions that the runtime itself and every compiled module call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "rte/ZRT_Assert.h"
#include "ZRT_HostInterface.h"

// ---------------------------------------------------------------------------
// Null stubs, one per loader slot shape. Each ignores its arguments.
void ZRT_NullLoad(int32_t count, const ZRT_Handle* handles, const double* values, const s_ZRT_ContribLoader* loader,
                  s_ZRT_DeviceInst* inst);
void ZRT_NullLoadRhsAC(void* acStim, void* word1, void* word2, double value, const s_ZRT_ContribLoader* loader);
void ZRT_NullLoadDelay(ZRT_GenericOperatorState* delayState, ZRT_Handle handle, double delay, double maxDelay,
                       double value, const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst);
void ZRT_NullLoadDelay_dwrt(ZRT_GenericOperatorState* delayState, ZRT_Handle handle, double deriv,
                            const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst);
void ZRT_NullAcceptDelay(ZRT_GenericOperatorState* delayState, const s_ZRT_ContribLoader* loader,
                         s_ZRT_DeviceInst* inst);
void ZRT_NullLoadZ_Transform(void* op, ZRT_Handle handle, double output, const s_ZRT_ContribLoader* loader,
                             s_ZRT_DeviceInst* inst);
void ZRT_NullLoadZ_Transform_dwrt(void* op, ZRT_Handle word, double value, const s_ZRT_ContribLoader* loader,
                                  s_ZRT_DeviceInst* inst);
void ZRT_NullReportDiscontinuity(int32_t zero, const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst,
                                 int32_t two, s_ZRT_StateVar* branchVar);
void ZRT_NullDoBoundStep(double step, int32_t reason, const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst);
void ZRT_NullReportCrossViolation(double time, int32_t zero1, int32_t zero2, const s_ZRT_ContribLoader* loader,
                                  s_ZRT_DeviceInst* inst);
double ZRT_NullGetSol(s_ZRT_StateVar* sv, const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst);
double ZRT_NullGetTime(const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst);
double ZRT_NullGetFreq(const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst);
int32_t ZRT_NullDoNoise(const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst);
int32_t ZRT_NullDoStrobe(const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst);
int32_t ZRT_NullIsInitialStep(const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst);
int32_t ZRT_NullIsFinalStep(const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst);
uint32_t ZRT_NullGetAnalysisQueryMask(const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst);
int32_t ZRT_noStrobe(const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst);
int32_t ZRT_yesStrobe(const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst);

// Mixed-signal null stubs.
int32_t ZRT_D2A_EventSignal_Null(ZRT_EventDesc* event, double value, const s_ZRT_ContribLoader* loader);
int32_t ZRT_D2A_IntFromLogic_Null(s_ZRT_DeviceInst* inst, int32_t index, const s_ZRT_ContribLoader* loader);
ZRT_LogicValue ZRT_D2A_Logic_Null(int32_t index, const s_ZRT_ContribLoader* loader);
double ZRT_D2A_Real_Null(int32_t index, const s_ZRT_ContribLoader* loader);
int32_t ZRT_D2A_Integer_Null(s_ZRT_DeviceInst* inst, const s_ZRT_ContribLoader* loader, int32_t a, int32_t b,
                             int32_t rangeType, int32_t n, ...);
int32_t ZRT_D2A_IntFromLogicElement_Null(s_ZRT_DeviceInst* inst, const s_ZRT_ContribLoader* loader, int32_t a,
                                         int32_t b, int32_t rangeType, int32_t n, ...);
ZRT_LogicValue ZRT_D2A_LogicElement_Null(s_ZRT_DeviceInst* inst, const s_ZRT_ContribLoader* loader, int32_t a,
                                         int32_t b, int32_t rangeType, int32_t n, ...);
double ZRT_D2A_RealElement_Null(s_ZRT_DeviceInst* inst, const s_ZRT_ContribLoader* loader, int32_t a, int32_t b,
                                int32_t rangeType, int32_t n, ...);
int32_t ZRT_D2A_IntegerElement_Null(s_ZRT_DeviceInst* inst, const s_ZRT_ContribLoader* loader, int32_t a,
                                    int32_t b, int32_t rangeType, int32_t n, ...);
double ZRT_A2D_Null(int32_t index, const s_ZRT_ContribLoader* loader);

// The runtime's constant loader tables.
extern const ZRT_AMS_Loader DefaultAMS_ContribLoader;
extern const s_ZRT_ContribLoader ZRT_StaticCheckLoader;

// Callback of the pass-through simulator-parameter entry: answers its value.
double passThroughCallback(s_ZRT_DeviceInst* inst, double value);

// Copies every slot of `source` into `destination`, then replaces the four
// matrix batch loads and the two derivative loads by null stubs, so that a
// load through the result adds residuals only. Answers `destination`.
s_ZRT_ContribLoader* ZRT_getPureRhsLoader(s_ZRT_ContribLoader* destination, const s_ZRT_ContribLoader* source);

// Forwards to the module's setAnalogStamp when its descriptor says it has one.
void ZRT_SetStamp(s_ZRT_DeviceInst* inst, void* hostData);

// Calls the clone function that heads a module's private block.
void* ZRT_ClonePrivateInfo(void* block, s_ZRT_DeviceInst* allocInst, s_ZRT_DeviceInst* opInst);

// ---------------------------------------------------------------------------
// Analysis masks: the OR of the bits of the named analyses ("ac" 1, "dc" 2,
// "noise" 4, "tran" 8, "ic" 16, "static" 32, "nodeset" 64, "hb" 128, "env"
// 256, "pss" 512, "xf" 1024, "all" 2048); the names follow the count as
// `const char*` arguments. The interface argument is ignored.
uint32_t ZRT_DefaultFormAnalysisQueryMask(s_ZRT_SimInterface* sim, int32_t count, ...);
// The mask of one named analysis: the host's FormAnalysisQueryMask, or the
// runtime's own table above for a host without that slot (or no interface).
uint32_t analysisMaskOf(s_ZRT_SimInterface* sim, const char* name);

// The instance's interface; null for a null instance.
inline s_ZRT_SimInterface* simOf(const s_ZRT_DeviceInst* inst) { return inst != nullptr ? inst->pSim : nullptr; }

// The host's minimum time step, 1e-16 when the loader gives none.
inline double hostMinStep(const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst) {
    constexpr double kDefaultMinStep = 1e-16;
    return loader->GetMinStep != nullptr ? loader->GetMinStep(loader, inst) : kDefaultMinStep;
}

// ---------------------------------------------------------------------------
// Memory. A zero size answers null without allocating. An exhausted heap
// reports "Out of memory." to the host, calls its "exit" task and answers null
// (without an interface it only answers null). The context word has no effect
// beyond being passed to the message.
void* ZRT_malloc(size_t size, s_ZRT_SimInterface* sim, s_ZRT_DeviceInst* inst, const void* context);
void* ZRT_calloc(size_t count, size_t size, s_ZRT_SimInterface* sim, s_ZRT_DeviceInst* inst, const void* context);
// Size 0 answers null and leaves `block` allocated.
void* ZRT_realloc(void* block, size_t size, s_ZRT_SimInterface* sim, s_ZRT_DeviceInst* inst, const void* context);
// A null text answers null.
char* ZRT_strdup(const char* text, s_ZRT_SimInterface* sim, s_ZRT_DeviceInst* inst);
void ZRT_free(void* block);
// An exhausted heap met by the language's own allocation (a nothrow new, or a
// standard container or stream whose growth failed): reported as the
// functions above report it, "Out of memory." and "exit" (nothing without an
// interface). The caller then answers its failure value; no exception leaves
// the library.
void reportOutOfMemory(s_ZRT_SimInterface* sim, s_ZRT_DeviceInst* inst);

// ---------------------------------------------------------------------------
// Messages.

// 64-bit hash of a message text, its terminating zero included: rotate left
// by 5, then XOR the byte taken as a signed 8-bit value widened to 32 bits.
uint64_t messageHash(const char* text);

// 1 when the text's hash is already in the instance's table; otherwise records
// it and answers 0. A null instance answers 0 and records nothing.
int32_t ZRT_IsMessageDuplicate(const char* text, s_ZRT_DeviceInst* inst);

// Forwards a message to the host's Message slot with (type, text, instance,
// interface) followed by ZRT_Message's own fifth and later arguments unchanged:
// the text again, then the values it formats. A warning whose format text the
// instance has already sent is dropped; errors and messages without an
// instance are always sent. A C `...` cannot be forwarded, hence the template.
template <typename... Args>
void ZRT_Message(s_ZRT_SimInterface* sim, s_ZRT_DeviceInst* inst, const void* context, int32_t type,
                 const char* text, Args... args) {
    (void)context;
    if (type == ZRT_MSG_WARNING && ZRT_IsMessageDuplicate(text, inst)) {
        return;
    }
    if (sim == nullptr || sim->Message == nullptr) {
        return;
    }
    sim->Message(type, text, inst, sim, text, args...);
}

// Calls the host's system task ("exit", 1, instance, 0, interface), as every
// fatal error does after its message. The host may return.
void callExitTask(s_ZRT_SimInterface* sim, s_ZRT_DeviceInst* inst);

// A fatal error: the error message, then the "exit" task.
void fatalError(s_ZRT_SimInterface* sim, s_ZRT_DeviceInst* inst, const void* context, const char* text);

// The text with every '%' doubled, so that a host which formats message texts
// shows it as it is. For texts that splice in names, tokens or file names.
std::string escapePercent(std::string_view text);

// ---------------------------------------------------------------------------
// Conversions.

// Rounds half away from zero and saturates to the 32-bit range; NaN gives
// -2147483648.
int32_t ZRT_doubleToInt(double x);
// Truncates toward zero and saturates to the 32-bit range; NaN gives
// -2147483648 (degrees of freedom, erlang stages, integer initialisers).
int32_t truncateToIntSaturated(double x);
// A text value is the fatal error "Unable to convert to integer." / "Unable to
// convert to real." and answers 0 / 0.0; with a null instance no message.
int32_t convToInt(ZRT_TaggedValue value, s_ZRT_DeviceInst* inst);
double convToReal(ZRT_TaggedValue value, s_ZRT_DeviceInst* inst);
// The value word as a text pointer; the tag is not examined.
const char* convToStr(ZRT_TaggedValue value);

// "lib.mod" from the descriptor's libName and moduleName, or "mod" without a
// libName; allocated through ZRT_malloc, owned by the caller.
char* ZRT_GetConfigName(s_ZRT_DeviceInst* inst);

// Comparators of records whose first field is a name, for qsort and bsearch:
// -1, 0 or 1. The second folds ASCII letters to lower case, so '_' sorts
// before letters.
int ZRT_paramCompare(const void* a, const void* b);
int ZRT_paramCompareIgnoreCase(const void* a, const void* b);

// ---------------------------------------------------------------------------
// Topic headers of the runtime core, one per topic.
#include "rte/state_vars.h"
#include "rte/events.h"
#include "rte/random_cores.h"
#include "rte/arrays.h"
