// The bridge to the host's mixed-signal table: digital-to-analog events,
// four-valued logic values and exported nets.
#pragma once

#include <cstdint>

#include "rte/ZRT_CommonInterface.h"

// A digital-to-analog event of the instance (kind ZRT_EVT_D2A, no data),
// from ZRT_malloc; null when memory is exhausted.
ZRT_EventDesc* ZRT_createSimEvent_D2A(s_ZRT_DeviceInst* inst);

// Fills width, value bits and unknown bits of *out (the fourth word stays)
// and answers out.
ZRT_LogicValue* ZRT_initLogic(ZRT_LogicValue* out, int32_t width, uint32_t value, uint32_t unknown);

// How ZRT_compareLogic treats unknown bits.
enum ZRT_LogicCompareE : int32_t {
    ZRT_LOGIC_EXACT = 0,           // unknown bits must agree as well
    ZRT_LOGIC_IGNORE_X_UNKNOWN = 1,  // bits unknown in x are not compared
    ZRT_LOGIC_IGNORE_Z = 2,        // bits unknown with value 0 in either are not compared
};

// 1 when x and y agree in value and unknown bits over the low w bits (w the
// larger width; none for w <= 0, all 32 for w >= 32) that the mode compares,
// else 0.
int32_t ZRT_compareLogic(ZRT_LogicValue x, ZRT_LogicValue y, int32_t mode);
// ZRT_compareLogic against the integer taken as a known value of width 31.
int32_t ZRT_compareLogInt(ZRT_LogicValue x, int32_t value, int32_t mode);

// Exports the potential of (pos, neg) as net `index`: through the table's
// export function when it has an export host and target, else into entry
// `index` of its value array (an absent node reads 0.0), which must exist.
// A negative index writes nothing.
void ZRT_ExportNet(int32_t index, s_ZRT_StateVar* pos, s_ZRT_StateVar* neg, const s_ZRT_ContribLoader* loader,
                   s_ZRT_DeviceInst* inst);
