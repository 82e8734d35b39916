// The birch_c model: its traits on the shared module frame and its
// registration export.
#include "module_frame.h"

namespace {

struct birch_c {
    static constexpr const char* sourceName = "module_birch_c_5.cpp";
    static constexpr int32_t assertLine = 4509;
    static constexpr int32_t qcDiodeLine = 100;
    static constexpr uint32_t moduleFlags = 0x201;
    static constexpr int32_t numModelVars = 192;
    static constexpr int32_t numIntVars = 0;
    static constexpr std::array<int32_t, 2> memoryVars{123, 125};
    static constexpr bool hasDelayOp = true;
    static constexpr size_t numHistory = 10;
    static constexpr size_t numCollapse = 21;
    using Equations = hbx::PendingEquations;
    using Topology = hbx::PendingTopology<21, 11, 28, 11>;
};

}  // namespace

HBX_EXPORT void registerCallbacks_module_birch_c_5(s_ZRT_ModuleDesc* pMD) { hbx::Module<birch_c>::registerModule(pMD); }
