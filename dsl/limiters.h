// $limit: limiting of a junction or gate voltage from one Newton iteration to
// the next, through a limiter of the host's limiter table (found by name) or
// through the built-in pn-junction and FET limiters. Each call site keeps its
// last input, its last and previous limited values and whether it limited;
// from them the model takes a correction term for its residual.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "rte/ZRT_CommonInterface.h"

// One call site of a host limiter; allocated zeroed by ZRT_createLimitCallDesc.
struct ZRT_LimitCallDesc {
    s_ZRT_DeviceInst* inst;
    int32_t numArgs;                // 0 for the host's default limiter
    const ZRT_LimitFuncEntry* entry;  // null: the call site does no limiting
    double lastInput;
    double lastOutput;
    uint32_t limited;
    double prevOutput;              // handed to the limiter as its previous value
    double* args;                   // numArgs doubles, null when there are none
};

// One call site of a built-in limiter, owned (and zeroed) by the compiled model.
struct ZRT_BuiltinLimitState {
    double lastInput;
    double lastOutput;
    double prevOutput;
    uint32_t limited;
};

// Formats a $limit message, doubles every '%' of the result (the host reads
// the text as a printf format) and sends it with ZRT_Message; an error (type
// 2) is followed by the host's "exit" task.
void limitFunctionMessage(s_ZRT_DeviceInst* inst, int32_t type, const char* format, ...);

// A descriptor for the host limiter `name` taking `nArgs` arguments. Without a
// name (nArgs must be 0) the call site does no limiting. A name the host does
// not offer falls back to the table's first entry with warnings (and, with an
// empty table, to no limiting). A count that differs from the host's is an
// error followed by "exit" and answers null, as does a null instance or an
// exhausted heap.
ZRT_LimitCallDesc* ZRT_createLimitCallDesc(s_ZRT_DeviceInst* inst, const char* name, int32_t nArgs);
// Releases a descriptor and its argument buffer; null is ignored.
void ZRT_freeLimitCallDesc(ZRT_LimitCallDesc* desc);

// Limits x through the descriptor's limiter, passing the previous output and
// the descriptor's count of further double arguments. Answers the value to
// use: x when the limiter did not limit, when the descriptor has no limiter
// entry, or when the descriptor is null.
double ZRT_callLimitFunction(void* word, ZRT_LimitCallDesc* desc, double x, ...);

// Stores input as last input and `limitedValue` as last and previous output;
// answers (and stores) the flag input != limitedValue. A null descriptor
// stores nothing.
uint32_t ZRT_setLimitState(double input, double limitedValue, ZRT_LimitCallDesc* desc);

// The previous output; 0.0 for a null descriptor.
double ZRT_getPrevLimitVal(const ZRT_LimitCallDesc* desc);

// (last input - last output) * d when the call site limited and |d| > 1e-100,
// else 0.0 (also for a null descriptor). A descriptor with a limiter entry
// tells the host through ReportLimitCorrection.
double ZRT_calcLimitCorrTerm(const ZRT_LimitCallDesc* desc, double d);

// SPICE3's pn-junction limiting of vnew against vold. A NaN vnew gives
// 300 * vt. *limited (when given) is 1 when the value was limited.
double ZRT_pnjLim(double vnew, double vold, double vt, double vcrit, uint32_t* limited);
// SPICE3's FET gate limiting of vnew against vold for threshold vto.
double ZRT_fetLim(double vnew, double vold, double vto);

// The built-in limiters at a call site: the previous output is the old value.
// A null state limits nothing and answers x.
double ZRT_callPnjLimitFunction(ZRT_BuiltinLimitState* state, double x, double vt, double vcrit);
double ZRT_callFetLimitFunction(ZRT_BuiltinLimitState* state, double x, double vto);
// (last input - last output) * d with *flag = 1 when the call site limited and
// |d| > 1e-100; else 0.0 with *flag = 0.
double ZRT_calcBuiltinLimitCorrTerm(const ZRT_BuiltinLimitState* state, double d, uint32_t* flag);
