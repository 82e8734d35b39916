// The larch_a model: its traits on the shared module frame and its
// registration export. It evaluates the cedar chain on its own topology.
#include "analog_files/module_frame.h"
#include "analog_files/cedar_equations.h"
#include "analog_files/topology_larch.h"

namespace {

using namespace hbx::cedar;

// larch_a's compiled-in constants in its own numbering: model variable k.
constexpr auto kLarchConstants = std::to_array<RoleValue>({
    {0, 1e-20}, {1, 1.0000000000000002e-10}, {2, 1.0}, {3, 1.0}, {5, 100000000.0}, {6, 9.999999999999999e-05},
    {38, 0.21131831563123}, {39, 0.135}, {40, 1.5}, {41, 5.4}, {42, 1.76}, {43, 4.5}, {44, -0.3},
    {48, -0.0058}, {50, -0.002}, {53, -0.007}, {54, -0.0065}, {55, 0.0}, {56, 1.6}, {58, 3.1501043452011e-13},
    {59, 3.891314741036e-13}, {61, 0.021}, {62, 0.011}, {64, 1.138403987241e-13}, {65, 3.8678403987241e-13},
    {67, 1.2816358931835e-14}, {68, 2.0979030931835e-14}, {71, -0.037}, {73, -0.071}, {76, 1.49e-12},
    {78, 1.68e-12}, {80, 4.470165549194e-13}, {82, 4.5}, {83, 0.003}, {84, 0.007}, {86, 0.25},
    {88, 5.24897e-11}, {89, 4.03141e-10}, {90, 4.78574e-13}, {91, 0.781757}, {92, 7.1e-15}, {93, 8.1e-15},
    {94, 1.7836640086e-15}, {95, 0.001}, {96, 0.0006}, {98, 0.12}, {99, 1.5}, {104, 1.4}, {105, 2.0},
    {109, 0.0}, {117, 0.15}, {118, 0.14}, {119, -1.0}, {120, 0.02}, {123, 0.0}, {125, 0.0},
    {127, 5.53555250628763e-10}, {131, 5.51359588907467e-10}, {135, 5.48020575472414e-12},
    {136, 6.80721391608491e-12}, {138, 2.30970733936926e-12}, {140, 1.53235609291044e-11}, {141, 0.0},
    {150, 2.5}, {151, 0.6}, {152, 0.8}, {153, 0.8}, {159, 27.0}, {162, 100.0}, {164, 0.05}, {166, 0.4},
    {168, 0.021}, {170, 0.000109690085816888}, {171, 0.0091263934634529}, {172, 0.01}, {176, 4.8e-12},
    {177, 4.5e-12}, {179, 0.018}, {180, 0.01}, {184, 1.0}, {186, 2.0}, {187, 5.0}, {191, 45.0}, {200, 1.2},
    {201, 5.20787119530526}, {202, 1.24777385993611}, {206, 0.0},
});
static_assert(kLarchConstants.size() == 87);

// larch_a's model variable k holds cedar_a's role k - 1 from k = 3 on; its
// variable 2 is the factor f, a model constant.
constexpr int larchRole(int k) { return k <= 1 ? k : k == 2 ? kFactorConst : k - 1; }

template <size_t N>
constexpr std::array<RoleValue, N> byRole(const std::array<RoleValue, N>& own) {
    std::array<RoleValue, N> out{};
    for (size_t i = 0; i < N; ++i) {
        out[i] = {larchRole(own[i].role), own[i].value};
    }
    return out;
}

// larch_a selects the path of its initial step with integer parameter 1 and
// multiplies by integer parameter 0; its temperature selections are
// cedar_a's, at 40 and 20.
struct Variant {
    using Topology = hbx::larch::Topology;
    static constexpr auto numbering =
        hbx::inOrder<kAllRoles>(std::to_array({hbx::refs(0, 1), hbx::ref(kFactorConst), hbx::refs(2, 205)}));
    static constexpr auto lines = std::to_array<LinePair>({
        {351, 336}, {354, 339}, {378, 363}, {381, 366}, {485, 468}, {487, 470}, {496, 479}, {497, 480},
        {513, 496}, {531, 514}, {532, 515}, {533, 516}, {553, 536}, {576, 559}, {577, 560}, {578, 561},
        {580, 563}, {581, 564}, {582, 565}, {583, 566}, {590, 573}, {592, 575}, {594, 577}, {614, 597},
        {617, 600}, {646, 629}, {652, 636},
    });
    static constexpr int32_t line(int32_t l) { return lookupLine(lines, l); }
    static constexpr int32_t qcLine = 89;
    static constexpr auto constants = byRole(kLarchConstants);
    static constexpr double numHigh = 1.14926706968283e-11;
    static constexpr double numLow = 1.53235609291044e-11;
    static constexpr double numSecond = 1.53235609291044e-11;
    static constexpr int32_t lineFirst = 288, lineSecond = 296;
    static constexpr double base = 27.0;
    static constexpr int selectorParam = 1;
    static constexpr Factor factor = Factor::ModelConstant;
    static constexpr int multiplierParam = 0;
    static constexpr double upperA = 40.0, upperB = 20.0;
    static constexpr M59Form m59 = M59Form::TwoRanges;
    static constexpr std::array<RoleValue, 0> lowTemp{};
    static constexpr bool larchForms = true;
    static constexpr bool setsIntegers = false;
};
static_assert(Variant::numbering(kFactorConst) == 2 && Variant::numbering(2) == 3 && Variant::numbering(205) == 206);

struct larch_a : hbx::ModuleTraits {
    static constexpr const char* sourceName = "module_larch_a_8.cpp";
    static constexpr int32_t assertLine = 4778;
    static constexpr int32_t numModelVars = 207;
    static constexpr size_t numHistory = 10;
    static constexpr size_t numCollapse = 25;
    using Equations = hbx::cedar::Equations<Variant>;
    using Topology = hbx::larch::Topology;
    static constexpr const auto& report = Topology::report;
};

}  // namespace

HBX_EXPORT void registerCallbacks_module_larch_a_8(s_ZRT_ModuleDesc* pMD) { hbx::Module<larch_a>::registerModule(pMD); }
