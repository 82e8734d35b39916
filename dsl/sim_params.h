// Simulator parameters, the errors of illegal parameter assignments and the
// system time.
#pragma once

#include <cstdint>

#include "rte/ZRT_CommonInterface.h"

// The host's entry named exactly `name` (first match of the interface's
// table), or null when the host defines no such parameter. Entries without a
// name never match.
ZRT_SimParamEntry* ZRT_getSimParamCallback(s_ZRT_DeviceInst* inst, const char* name);
// An entry without a name whose callback answers the default it is given.
ZRT_SimParamEntry* ZRT_getSimParamPassThroughCallback();

// The entry's value for the instance, or `defaultValue` for a null entry or
// an entry without a callback.
double simParamValue(const ZRT_SimParamEntry* entry, s_ZRT_DeviceInst* inst, double defaultValue);
// A parameter value where an integer is needed: truncated toward zero and
// saturated to the 32-bit range; NaN gives 0.
int32_t simParamToInt(double value);

// Fatal errors of a parameter set by the netlist: "Illegal attempt to set
// '<name>' -- this parameter was previously set via a different alias." and
// "Attempt to explicitly set localparam '<name>'.", each followed by the
// "exit" task.
void ZRT_reportAliasClash(const char* name, s_ZRT_DeviceInst* inst);
void ZRT_reportLocalParamError(const char* name, s_ZRT_DeviceInst* inst);

// Seconds, with microsecond resolution, from 1970-01-01 00:00:00 to the
// present local wall-clock time, minus t. A failed conversion to local time
// raises std::runtime_error to the caller.
double ZRT_system_time(double t);
