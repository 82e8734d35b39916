// The alder_b model: its variable order, fitted constants and registration
// export on the alder equations and the shared module frame.
#include "analog_files/alder_equations.h"
#include "analog_files/module_frame.h"

namespace {

// alder_b has no variable 7 and keeps alder_a's variables 26 to 38 ahead of
// 9 to 25.
struct Variant : hbx::alder::SwitchedVariant {
    static constexpr auto numbering = hbx::inOrder<206>(
        std::to_array({hbx::refs(0, 6), hbx::ref(8), hbx::refs(26, 38), hbx::refs(9, 25), hbx::refs(39, 205)}));
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
