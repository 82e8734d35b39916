// The alder_b model: its traits on the shared module frame and its
// registration export.
#include "module_frame.h"
#include "topology_alder.h"

namespace {

struct alder_b {
    static constexpr const char* sourceName = "module_alder_b_2.cpp";
    static constexpr int32_t assertLine = 4794;
    static constexpr int32_t qcDiodeLine = 106;
    static constexpr uint32_t moduleFlags = 0;
    static constexpr int32_t numModelVars = 205;
    static constexpr int32_t numIntVars = 0;
    static constexpr std::array<int32_t, 0> memoryVars{};
    static constexpr bool hasDelayOp = false;
    static constexpr size_t numHistory = 11;
    static constexpr size_t numCollapse = 24;
    using Equations = hbx::PendingEquations;
    using Topology = hbx::alder::Topology;
    static constexpr const auto& report = Topology::report;
};

}  // namespace

HBX_EXPORT void registerCallbacks_module_alder_b_2(s_ZRT_ModuleDesc* pMD) { hbx::Module<alder_b>::registerModule(pMD); }
