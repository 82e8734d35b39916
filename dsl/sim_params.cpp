#include "dsl/sim_params.h"

#include <cmath>
#include <cstring>

#include <boost/date_time/gregorian/gregorian_types.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>

#include "rte/platform.h"

ZRT_SimParamEntry* ZRT_getSimParamCallback(s_ZRT_DeviceInst* inst, const char* name) {
    if (inst == nullptr || inst->pSim == nullptr || inst->pSim->simParams == nullptr || name == nullptr) {
        return nullptr;
    }
    const s_ZRT_SimInterface* sim = inst->pSim;
    for (uint32_t i = 0; i < sim->numSimParams; ++i) {
        ZRT_SimParamEntry* entry = &sim->simParams[i];
        if (entry->name != nullptr && std::strcmp(entry->name, name) == 0) {
            return entry;
        }
    }
    return nullptr;
}

ZRT_SimParamEntry* ZRT_getSimParamPassThroughCallback() {
    static ZRT_SimParamEntry passThrough;
    // Refilled at every call, so a caller that wrote the entry cannot change
    // what the next caller receives.
    passThrough.name = nullptr;
    passThrough.fn = passThroughCallback;
    return &passThrough;
}

double simParamValue(const ZRT_SimParamEntry* entry, s_ZRT_DeviceInst* inst, double defaultValue) {
    return entry != nullptr && entry->fn != nullptr ? entry->fn(inst, defaultValue) : defaultValue;
}

int32_t simParamToInt(double value) { return std::isnan(value) ? 0 : truncateToIntSaturated(value); }

namespace {

void reportParameterError(const char* format, const char* name, s_ZRT_DeviceInst* inst) {
    s_ZRT_SimInterface* sim = simOf(inst);
    ZRT_Message(sim, inst, nullptr, ZRT_MSG_ERROR, format, name != nullptr ? name : "");
    callExitTask(sim, inst);
}

}  // namespace

void ZRT_reportAliasClash(const char* name, s_ZRT_DeviceInst* inst) {
    reportParameterError("Illegal attempt to set '%s' -- this parameter was previously set via a different alias.",
                         name, inst);
}

void ZRT_reportLocalParamError(const char* name, s_ZRT_DeviceInst* inst) {
    reportParameterError("Attempt to explicitly set localparam '%s'.", name, inst);
}

double ZRT_system_time(double t) {
    static const boost::posix_time::ptime epoch(boost::gregorian::date(1970, 1, 1));
    const boost::posix_time::time_duration sinceEpoch = zrtPlatform().localTime() - epoch;
    // Microseconds to nanoseconds to seconds, in floating point so that no
    // clock value can overflow.
    return static_cast<double>(sinceEpoch.total_microseconds()) * 1000.0 * 1e-9 - t;
}
