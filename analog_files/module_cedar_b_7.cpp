// The cedar_b model: its traits on the shared module frame and its
// registration export.
#include "module_frame.h"

namespace {

struct cedar_b {
    static constexpr const char* sourceName = "module_cedar_b_7.cpp";
    static constexpr int32_t assertLine = 4733;
    static constexpr int32_t qcDiodeLine = 102;
    static constexpr uint32_t moduleFlags = 0;
    static constexpr int32_t numModelVars = 196;
    static constexpr int32_t numIntVars = 0;
    static constexpr std::array<int32_t, 0> memoryVars{};
    static constexpr bool hasDelayOp = false;
    static constexpr size_t numHistory = 18;
    static constexpr size_t numCollapse = 24;
    using Equations = hbx::PendingEquations;
    using Topology = hbx::PendingTopology<26, 13, 35, 13>;
};

}  // namespace

HBX_EXPORT void registerCallbacks_module_cedar_b_7(s_ZRT_ModuleDesc* pMD) { hbx::Module<cedar_b>::registerModule(pMD); }
