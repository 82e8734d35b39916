// The larch_a model: its traits on the shared module frame and its
// registration export.
#include "module_frame.h"

namespace {

struct larch_a {
    static constexpr const char* sourceName = "module_larch_a_8.cpp";
    static constexpr int32_t assertLine = 4778;
    static constexpr int32_t qcDiodeLine = 89;
    static constexpr uint32_t moduleFlags = 0;
    static constexpr int32_t numModelVars = 207;
    static constexpr int32_t numIntVars = 0;
    static constexpr std::array<int32_t, 0> memoryVars{};
    static constexpr bool hasDelayOp = false;
    static constexpr size_t numHistory = 10;
    static constexpr size_t numCollapse = 25;
    using Equations = hbx::PendingEquations;
    using Topology = hbx::PendingTopology<27, 13, 37, 13>;
};

}  // namespace

HBX_EXPORT void registerCallbacks_module_larch_a_8(s_ZRT_ModuleDesc* pMD) { hbx::Module<larch_a>::registerModule(pMD); }
