// The birch_a model: its traits on the shared module frame and its
// registration export.
#include "module_frame.h"

namespace {

struct birch_a {
    static constexpr const char* sourceName = "module_birch_a_4.cpp";
    static constexpr int32_t assertLine = 4326;
    static constexpr int32_t qcDiodeLine = 104;
    static constexpr uint32_t moduleFlags = 0x200;
    static constexpr int32_t numModelVars = 171;
    static constexpr int32_t numIntVars = 0;
    static constexpr std::array<int32_t, 0> memoryVars{};
    static constexpr bool hasDelayOp = true;
    static constexpr size_t numHistory = 13;
    static constexpr size_t numCollapse = 19;
    using Equations = hbx::PendingEquations;
    using Topology = hbx::PendingTopology<21, 11, 28, 11>;
};

}  // namespace

HBX_EXPORT void registerCallbacks_module_birch_a_4(s_ZRT_ModuleDesc* pMD) { hbx::Module<birch_a>::registerModule(pMD); }
