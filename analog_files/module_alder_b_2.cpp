// The alder_b model: its traits on the shared module frame and its
// registration export.
#include "module_frame.h"
#include "alder_equations.h"

namespace {

// alder_b has no variable 7 and keeps alder_a's variables 26 to 38 ahead of
// 9 to 25; its lines are alder_a's plus 7.
struct Variant {
    static constexpr int var(int k) {
        return k <= 6 ? k : k == 7 ? -1 : k == 8 ? 7 : k <= 25 ? k + 12 : k <= 38 ? k - 18 : k - 1;
    }
    static constexpr int32_t line(int32_t l) { return l + 7; }
    static constexpr int32_t qcLine = 106;
    static constexpr double c54 = -0.011;
    static constexpr double c59 = 2.6847932119112e-13;
    static constexpr double c61 = 2.8895236239575e-13;
    static constexpr double c63 = 0.005;
    static constexpr int selectorParam = 2;
    static constexpr bool zeroSwitch = true;
};

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
    using Equations = hbx::alder::Equations<Variant>;
    using Topology = hbx::alder::Topology;
    static constexpr const auto& report = Topology::report;
};

}  // namespace

HBX_EXPORT void registerCallbacks_module_alder_b_2(s_ZRT_ModuleDesc* pMD) { hbx::Module<alder_b>::registerModule(pMD); }
