// The cedar_b model: its traits on the shared module frame and its
// registration export.
#include "analog_files/module_frame.h"
#include "analog_files/cedar_equations.h"

namespace {

using namespace hbx::cedar;
using hbx::refs;

// cedar_b keeps no lower-range sources among its model variables (they live
// in its eight low-temperature values, M58 among them as M59's constant
// lower range), neither M61 nor M142.
struct Variant : CedarBCVariant {
    static constexpr auto numbering = hbx::inOrder<kAllRoles>(std::to_array({
        refs(0, 57), refs(59, 60), refs(62, 63), refs(65, 66), refs(68, 71), refs(73, 76), refs(78, 82),
        refs(84, 141), refs(143, 175), refs(177, 178), refs(180, 205),
    }));
    static constexpr auto lines = std::to_array<LinePair>({
        {351, 337}, {354, 340}, {378, 364}, {381, 367}, {485, 460}, {487, 462}, {496, 471}, {497, 472},
        {513, 488}, {531, 506}, {532, 507}, {533, 508}, {553, 528}, {576, 551}, {577, 552}, {578, 553},
        {580, 555}, {581, 556}, {582, 557}, {583, 558}, {590, 565}, {592, 567}, {594, 569}, {614, 589},
        {617, 592}, {646, 621}, {652, 626},
    });
    static constexpr int32_t line(int32_t l) { return lookupLine(lines, l); }
    static constexpr int32_t qcLine = 102;
    static constexpr int32_t lineFirst = 289, lineSecond = 297;
    static constexpr auto constants =
        join(join(kCedarAConstants, kCedarBCConstants), std::to_array<RoleValue>({{57, 2.59010434520112e-13}}));
    static constexpr M59Form m59 = M59Form::ConstantBelow;
    static constexpr auto lowTemp = join(kCedarBCLowTemp, std::to_array<RoleValue>({{58, 4.421314741036e-13}}));
};

struct cedar_b : hbx::ModuleTraits {
    static constexpr const char* sourceName = "module_cedar_b_7.cpp";
    static constexpr int32_t assertLine = 4733;
    static constexpr int32_t numModelVars = 196;
    static constexpr size_t numHistory = 18;
    static constexpr size_t numCollapse = 24;
    using Equations = hbx::cedar::Equations<Variant>;
    using Topology = hbx::cedar::Topology;
    static constexpr const auto& report = Topology::reportB;
};

}  // namespace

HBX_EXPORT void registerCallbacks_module_cedar_b_7(s_ZRT_ModuleDesc* pMD) { hbx::Module<cedar_b>::registerModule(pMD); }
