// The cedar_c model: its traits on the shared module frame and its
// registration export.
#include "analog_files/module_frame.h"
#include "analog_files/cedar_equations.h"

namespace {

using namespace hbx::cedar;
using hbx::ref;
using hbx::refs;

// cedar_c keeps the lower-range sources of its one temperature selection in
// its seven low-temperature values and M59's three ranges among its model
// variables, with the middle range's base behind M58 and its factor behind
// M61.
struct Variant : CedarBCVariant {
    static constexpr auto numbering = hbx::inOrder<kAllRoles>(std::to_array({
        refs(0, 58), ref(kMidBase), refs(59, 61), ref(kMidFactor), refs(62, 63), refs(65, 66), refs(68, 71),
        refs(73, 76), refs(78, 82), refs(84, 175), refs(177, 178), refs(180, 205),
    }));
    static constexpr auto lines = std::to_array<LinePair>({
        {351, 353}, {354, 356}, {378, 380}, {381, 383}, {485, 495}, {487, 497}, {496, 506}, {497, 507},
        {513, 523}, {531, 541}, {532, 542}, {533, 543}, {553, 563}, {576, 586}, {577, 587}, {578, 588},
        {580, 590}, {581, 591}, {582, 592}, {583, 593}, {590, 600}, {592, 602}, {594, 604}, {614, 624},
        {617, 627}, {646, 656}, {652, 661},
    });
    static constexpr int32_t line(int32_t l) { return lookupLine(lines, l); }
    static constexpr int32_t qcLine = 103;
    static constexpr int32_t lineFirst = 305, lineSecond = 313;
    static constexpr auto constants = join(join(kCedarAConstants, kCedarBCConstants),
                                           std::to_array<RoleValue>({{57, 2.9271043452011196e-13},
                                                                     {58, 4.601314741036e-13},
                                                                     {61, 0.0025},
                                                                     {kMidBase, 3.881314741036e-13},
                                                                     {kMidFactor, 0.01}}));
    static constexpr M59Form m59 = M59Form::ThreeRanges;
    static constexpr auto lowTemp = kCedarBCLowTemp;
};

struct cedar_c : hbx::ModuleTraits {
    static constexpr const char* sourceName = "module_cedar_c_9.cpp";
    static constexpr int32_t assertLine = 4791;
    static constexpr int32_t numModelVars = 201;
    static constexpr size_t numHistory = 17;
    static constexpr size_t numCollapse = 24;
    using Equations = hbx::cedar::Equations<Variant>;
    using Topology = hbx::cedar::Topology;
    static constexpr const auto& report = Topology::reportB;
};

}  // namespace

HBX_EXPORT void registerCallbacks_module_cedar_c_9(s_ZRT_ModuleDesc* pMD) { hbx::Module<cedar_c>::registerModule(pMD); }
