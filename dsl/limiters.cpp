#include <cmath>
#include <cstring>
#include <new>
#include <string>

#include "dsl/ZRT_SupportLib.h"

namespace {

// A correction term is formed only for derivatives above this magnitude.
constexpr double kMinCorrectionDeriv = 1e-100;

// The first entry of the host's table with exactly this name, or null.
const ZRT_LimitFuncEntry* findLimiter(const s_ZRT_SimInterface* sim, const char* name) {
    if (sim == nullptr || sim->limitFuncs == nullptr) {
        return nullptr;
    }
    for (uint32_t i = 0; i < sim->numLimitFuncs; ++i) {
        const ZRT_LimitFuncEntry& entry = sim->limitFuncs[i];
        if (entry.name != nullptr && std::strcmp(entry.name, name) == 0) {
            return &entry;
        }
    }
    return nullptr;
}

// The host's default limiter: the first entry of its table; null when the
// table is empty.
const ZRT_LimitFuncEntry* defaultLimiter(const s_ZRT_SimInterface* sim) {
    if (sim == nullptr || sim->limitFuncs == nullptr || sim->numLimitFuncs == 0) {
        return nullptr;
    }
    return &sim->limitFuncs[0];
}

// Records the outcome of one limited call and answers the value to use.
template <typename State>
double keepOutcome(State& state, double x, bool limited, double limitedValue) {
    const double value = limited ? limitedValue : x;
    state.lastInput = x;
    state.limited = limited ? 1u : 0u;
    state.lastOutput = value;
    state.prevOutput = value;
    return value;
}

template <typename State>
bool wantsCorrection(const State& state, double d) {
    return state.limited != 0 && std::fabs(d) > kMinCorrectionDeriv;
}

}  // namespace

void limitFunctionMessage(s_ZRT_DeviceInst* inst, int32_t type, const char* format, ...) {
    s_ZRT_SimInterface* sim = simOf(inst);
    va_list args;
    va_start(args, format);
    char* text = formatText(sim, inst, format, args);
    va_end(args);
    if (text != nullptr) {
        try {
            // The host formats the text again: every '%' of it must stand for itself.
            const std::string escaped = escapePercent(text);
            ZRT_Message(sim, inst, nullptr, type, escaped.c_str());
        } catch (const std::bad_alloc&) {
            reportOutOfMemory(sim, inst);
        }
        ZRT_free(text);
    }
    if (type == ZRT_MSG_ERROR) {
        callExitTask(sim, inst);
    }
}

ZRT_LimitCallDesc* ZRT_createLimitCallDesc(s_ZRT_DeviceInst* inst, const char* name, int32_t nArgs) {
    if (inst == nullptr) {
        return nullptr;
    }
    s_ZRT_SimInterface* sim = inst->pSim;
    auto* desc = static_cast<ZRT_LimitCallDesc*>(ZRT_calloc(1, sizeof(ZRT_LimitCallDesc), sim, inst, nullptr));
    if (desc == nullptr) {
        return nullptr;
    }
    desc->inst = inst;
    if (name == nullptr) {
        ZRT_ASSERT_AT(nArgs == 0, "nArgs == 0", __FILE__, __LINE__);
        return desc;
    }
    const ZRT_LimitFuncEntry* entry = findLimiter(sim, name);
    if (entry == nullptr) {
        limitFunctionMessage(inst, ZRT_MSG_WARNING,
                             "\nIn $limit(), The specified limit function '%s' is not supported. The simulator "
                             "default limit function will be used.",
                             name);
        desc->entry = defaultLimiter(sim);
        if (nArgs >= 1) {
            limitFunctionMessage(inst, ZRT_MSG_WARNING,
                                 "\nIn $limit(), the default limiter will ignore arguments intended for the "
                                 "unsupported limiter '%s'.",
                                 name);
        }
        return desc;
    }
    if (entry->numArgs != nArgs) {
        ZRT_free(desc);
        limitFunctionMessage(inst, ZRT_MSG_ERROR,
                             "\nIn $limit(), incorrect argument count. Limiter '%s' accepts %d arguments. %d given.",
                             name, entry->numArgs, nArgs);
        return nullptr;
    }
    desc->entry = entry;
    desc->numArgs = nArgs;
    if (nArgs >= 1) {
        desc->args = static_cast<double*>(
            ZRT_calloc(static_cast<size_t>(nArgs), sizeof(double), sim, inst, nullptr));
        if (desc->args == nullptr) {
            ZRT_free(desc);
            return nullptr;
        }
    }
    return desc;
}

void ZRT_freeLimitCallDesc(ZRT_LimitCallDesc* desc) {
    if (desc != nullptr) {
        ZRT_free(desc->args);
        ZRT_free(desc);
    }
}

double ZRT_callLimitFunction(void* /*word*/, ZRT_LimitCallDesc* desc, double x, ...) {
    if (desc == nullptr) {
        return x;
    }
    va_list args;
    va_start(args, x);
    for (int32_t i = 0; i < desc->numArgs; ++i) {
        desc->args[i] = va_arg(args, double);
    }
    va_end(args);
    bool limited = false;
    double result = x;
    if (desc->entry != nullptr && desc->entry->fn != nullptr) {
        limited = desc->entry->fn(desc->inst, x, desc->prevOutput, &result, desc->args) != 0;
    }
    return keepOutcome(*desc, x, limited, result);
}

uint32_t ZRT_setLimitState(double input, double limitedValue, ZRT_LimitCallDesc* desc) {
    const uint32_t flag = input != limitedValue ? 1u : 0u;
    if (desc != nullptr) {
        desc->lastInput = input;
        desc->lastOutput = limitedValue;
        desc->prevOutput = limitedValue;
        desc->limited = flag;
    }
    return flag;
}

double ZRT_getPrevLimitVal(const ZRT_LimitCallDesc* desc) {
    return desc != nullptr ? desc->prevOutput : 0.0;
}

double ZRT_calcLimitCorrTerm(const ZRT_LimitCallDesc* desc, double d) {
    if (desc == nullptr || !wantsCorrection(*desc, d)) {
        return 0.0;
    }
    if (desc->entry != nullptr) {
        s_ZRT_SimInterface* sim = desc->inst->pSim;
        if (sim != nullptr && sim->ReportLimitCorrection != nullptr) {
            sim->ReportLimitCorrection(desc->inst, sim);
        }
    }
    return (desc->lastInput - desc->lastOutput) * d;
}

double ZRT_pnjLim(double vnew, double vold, double vt, double vcrit, uint32_t* limited) {
    uint32_t flag = 0;
    double result = vnew;
    if (std::isnan(vnew)) {
        flag = 1;
        result = 300.0 * vt;
    } else if (vnew > vcrit && std::fabs(vnew - vold) > 2.0 * vt) {
        flag = 1;
        if (vold > 0.0) {
            const double arg = 1.0 + (vnew - vold) / vt;
            result = arg > 0.0 ? vold + vt * std::log(arg) : vcrit;
        } else {
            result = vt * std::log(vnew / vt);
        }
    }
    if (limited != nullptr) {
        *limited = flag;
    }
    return result;
}

double ZRT_fetLim(double vnew, double vold, double vto) {
    const double vtsthi = std::fabs(2.0 * (vold - vto)) + 2.0;
    const double vtstlo = vtsthi / 2.0 + 2.0;
    const double vtox = vto + 3.5;
    const double delv = vnew - vold;
    // Every region and step direction is tested explicitly, so that a NaN in
    // any operand falls through to vnew.
    const bool falling = delv <= 0.0;
    const bool rising = delv > 0.0;
    if (vold >= vto && vold >= vtox) {  // fully on
        if (falling && vnew >= vtox && -delv > vtstlo) {
            return vold - vtstlo;
        }
        if (falling && vnew < vtox) {
            return vnew >= vto + 2.0 ? vnew : vto + 2.0;
        }
        if (rising && delv >= vtsthi) {
            return vold + vtsthi;
        }
    } else if (vold >= vto && vold < vtox) {  // just on
        if (falling) {
            return vnew >= vto - 0.5 ? vnew : vto - 0.5;
        }
        if (rising) {
            return vnew <= vto + 4.0 ? vnew : vto + 4.0;
        }
    } else if (vold < vto) {  // off
        if (falling && -delv > vtsthi) {
            return vold - vtsthi;
        }
        if (rising && vnew > vto + 0.5) {
            return vto + 0.5;
        }
        if (rising && vnew <= vto + 0.5 && delv > vtstlo) {
            return vold + vtstlo;
        }
    }
    return vnew;
}

double ZRT_callPnjLimitFunction(ZRT_BuiltinLimitState* state, double x, double vt, double vcrit) {
    if (state == nullptr) {
        return x;
    }
    uint32_t flag = 0;
    const double v = ZRT_pnjLim(x, state->prevOutput, vt, vcrit, &flag);
    return keepOutcome(*state, x, flag != 0, v);
}

double ZRT_callFetLimitFunction(ZRT_BuiltinLimitState* state, double x, double vto) {
    if (state == nullptr) {
        return x;
    }
    const double v = ZRT_fetLim(x, state->prevOutput, vto);
    return keepOutcome(*state, x, v != x, v);
}

double ZRT_calcBuiltinLimitCorrTerm(const ZRT_BuiltinLimitState* state, double d, uint32_t* flag) {
    const bool correct = state != nullptr && wantsCorrection(*state, d);
    if (flag != nullptr) {
        *flag = correct ? 1u : 0u;
    }
    return correct ? (state->lastInput - state->lastOutput) * d : 0.0;
}
