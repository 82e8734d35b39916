// The cedar_a model: its traits on the shared module frame and its
// registration export.
#include "module_frame.h"

namespace {

struct cedar_a {
    static constexpr const char* sourceName = "module_cedar_a_6.cpp";
    static constexpr int32_t assertLine = 4800;
    static constexpr int32_t qcDiodeLine = 101;
    static constexpr uint32_t moduleFlags = 0;
    static constexpr int32_t numModelVars = 206;
    static constexpr int32_t numIntVars = 2;
    static constexpr std::array<int32_t, 0> memoryVars{};
    static constexpr bool hasDelayOp = false;
    static constexpr size_t numHistory = 10;
    static constexpr size_t numCollapse = 24;
    using Equations = hbx::PendingEquations;
    using Topology = hbx::PendingTopology<26, 13, 35, 13>;
};

}  // namespace

HBX_EXPORT void registerCallbacks_module_cedar_a_6(s_ZRT_ModuleDesc* pMD) { hbx::Module<cedar_a>::registerModule(pMD); }
