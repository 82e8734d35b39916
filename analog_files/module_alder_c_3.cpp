// The alder_c model: its variable order, fitted constants and registration
// export on the alder equations and the shared module frame.
#include "analog_files/alder_equations.h"
#include "analog_files/module_frame.h"

namespace {

// alder_c keeps alder_a's order without variable 7.
struct Variant : hbx::alder::SwitchedVariant {
    static constexpr auto numbering = hbx::inOrder<206>(std::to_array({hbx::refs(0, 6), hbx::refs(8, 205)}));
    static constexpr double c59 = 3.0092832119112e-13;
    static constexpr double c61 = 3.2909312239575e-13;
};

struct alder_c : hbx::alder::SwitchedTraits {
    static constexpr const char* sourceName = "module_alder_c_3.cpp";
    static constexpr int32_t assertLine = 4794;
    using Equations = hbx::alder::Equations<Variant>;
};

}  // namespace

HBX_EXPORT void registerCallbacks_module_alder_c_3(s_ZRT_ModuleDesc* pMD) { hbx::Module<alder_c>::registerModule(pMD); }
