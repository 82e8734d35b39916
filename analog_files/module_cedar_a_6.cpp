// The cedar_a model: its traits on the shared module frame and its
// registration export.
#include "analog_files/module_frame.h"
#include "analog_files/cedar_equations.h"
#include "analog_files/topology_cedar.h"

namespace {

using namespace hbx::cedar;

// Numerator of the sii-si inductance below P5 = 2. It equals the gi-gp
// resistance constant (role 5), where the sister models use about 1.5e-11
// to 1.9e-11 and cedar_a itself stores 1.73235609291044e-11 in role 139,
// which nothing reads; kept as fitted.
constexpr double kLowP5InductanceNumerator = 9.999999999999999e-05;

// cedar_a keeps the roles in their own order, has no selector (it always
// takes the first path), takes its factor from its first saved integer and
// its multiplier from integer parameter 0.
struct Variant {
    using Topology = hbx::cedar::Topology;
    static constexpr auto numbering = hbx::identity<kAllRoles>(kRoles);
    static constexpr int32_t line(int32_t l) { return l; }
    static constexpr int32_t qcLine = 101;
    static constexpr const auto& constants = kCedarAConstants;
    static constexpr double numHigh = 1.2992670696828301e-11;
    static constexpr double numLow = kLowP5InductanceNumerator;
    static constexpr double numSecond = 0.0;
    static constexpr int32_t lineFirst = 303, lineSecond = 303;
    static constexpr double base = 30.0;
    static constexpr int selectorParam = -1;
    static constexpr Factor factor = Factor::SavedInteger;
    static constexpr int multiplierParam = 0;
    static constexpr double upperA = 40.0, upperB = 20.0;
    static constexpr M59Form m59 = M59Form::TwoRanges;
    static constexpr std::array<RoleValue, 0> lowTemp{};
    static constexpr bool larchForms = false;
    static constexpr bool setsIntegers = true;
};

struct cedar_a : hbx::ModuleTraits {
    static constexpr const char* sourceName = "module_cedar_a_6.cpp";
    static constexpr int32_t assertLine = 4800;
    static constexpr int32_t numModelVars = 206;
    static constexpr int32_t numIntVars = 2;
    static constexpr size_t numHistory = 10;
    static constexpr size_t numCollapse = 24;
    using Equations = hbx::cedar::Equations<Variant>;
    using Topology = hbx::cedar::Topology;
    static constexpr const auto& report = Topology::reportA;
};

}  // namespace

HBX_EXPORT void registerCallbacks_module_cedar_a_6(s_ZRT_ModuleDesc* pMD) { hbx::Module<cedar_a>::registerModule(pMD); }
