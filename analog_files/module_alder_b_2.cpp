// The alder_b model: its variable order, fitted constants and registration
// export on the alder equations and the shared module frame.
#include "alder_equations.h"
#include "module_frame.h"

namespace {

// alder_b has no variable 7 and keeps alder_a's variables 26 to 38 ahead of
// 9 to 25.
struct Variant : hbx::alder::SwitchedVariant {
    static constexpr int var(int k) { return k <= 6 ? k : k == 7 ? -1 : k == 8 ? 7 : k <= 25 ? k + 12 : k <= 38 ? k - 18 : k - 1; }
    static constexpr double c59 = 2.6847932119112e-13;
    static constexpr double c61 = 2.8895236239575e-13;
};

struct alder_b : hbx::alder::SwitchedTraits {
    static constexpr const char* sourceName = "module_alder_b_2.cpp";
    static constexpr int32_t assertLine = 4794;
    using Equations = hbx::alder::Equations<Variant>;
};

}  // namespace

HBX_EXPORT void registerCallbacks_module_alder_b_2(s_ZRT_ModuleDesc* pMD) { hbx::Module<alder_b>::registerModule(pMD); }
