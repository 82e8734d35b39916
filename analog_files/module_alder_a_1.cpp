// The alder_a model: its traits on the shared module frame and its
// registration export.
#include "analog_files/module_frame.h"
#include "analog_files/alder_equations.h"

namespace {

// alder_a keeps every model variable in its own numbering, its variable 7
// (0.0) in place of a zero switch, and variable 128 in its memory value.
struct Variant {
    static constexpr auto numbering = hbx::identity<206>(206);
    static constexpr int32_t line(int32_t l) { return l; }
    static constexpr int32_t qcLine = 105;
    static constexpr double c54 = -0.0114;
    static constexpr double c59 = 2.3510434520112e-13;
    static constexpr double c61 = 2.57104345201124e-13;
    static constexpr double c63 = 0.007;
    static constexpr int selectorParam = 1;
    static constexpr bool zeroSwitch = false;
};

struct alder_a : hbx::alder::Traits {
    static constexpr const char* sourceName = "module_alder_a_1.cpp";
    static constexpr int32_t assertLine = 4790;
    static constexpr uint32_t moduleFlags = 1;
    static constexpr int32_t numModelVars = 206;
    static constexpr std::array<int32_t, 1> memoryVars{128};
    static constexpr size_t numHistory = 10;
    using Equations = hbx::alder::Equations<Variant>;
};

}  // namespace

HBX_EXPORT void registerCallbacks_module_alder_a_1(s_ZRT_ModuleDesc* pMD) { hbx::Module<alder_a>::registerModule(pMD); }
