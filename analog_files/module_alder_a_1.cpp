// The alder_a model: its traits on the shared module frame and its
// registration export.
#include "module_frame.h"
#include "topology_alder.h"

namespace {

struct alder_a {
    static constexpr const char* sourceName = "module_alder_a_1.cpp";
    static constexpr int32_t assertLine = 4790;
    static constexpr int32_t qcDiodeLine = 105;
    static constexpr uint32_t moduleFlags = 1;
    static constexpr int32_t numModelVars = 206;
    static constexpr int32_t numIntVars = 0;
    static constexpr std::array<int32_t, 1> memoryVars{128};
    static constexpr bool hasDelayOp = false;
    static constexpr size_t numHistory = 10;
    static constexpr size_t numCollapse = 24;
    using Equations = hbx::PendingEquations;
    using Topology = hbx::alder::Topology;
    static constexpr const auto& report = Topology::report;
};

}  // namespace

HBX_EXPORT void registerCallbacks_module_alder_a_1(s_ZRT_ModuleDesc* pMD) { hbx::Module<alder_a>::registerModule(pMD); }
