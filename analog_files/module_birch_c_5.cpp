// The birch_c model: its traits on the shared module frame and its
// registration export.
#include "analog_files/module_frame.h"
#include "analog_files/birch_equations.h"

namespace {

// birch_c's model variables in its order: birch_a's, with birch_c's own
// between them. Beside the variables of the correspondence of the two
// models, the inputs of the factor-scaled set (birch_a 54, 61, 65, 67, 69,
// 72, 137 to 139, 141 to 144), whose formulas birch_c evaluates in its
// initial step on its own variables.
using hbx::own;
using hbx::ref;
using hbx::refs;
constexpr auto kNumbering = hbx::inOrder<171>(std::to_array({
    refs(0, 1), own(1), refs(2, 5), own(1), refs(6, 53), own(1), ref(55), own(1), ref(54), own(2), ref(57),
    own(2), ref(59), own(2), refs(61, 62), own(1), ref(64), own(1), refs(65, 66), own(1), ref(68), own(1),
    ref(67), refs(69, 71), own(2), refs(72, 104), own(1), refs(105, 111), own(2), ref(112), own(2),
    refs(114, 120), own(4), refs(123, 153), own(1), ref(154), own(1), refs(155, 170), own(1),
}));

// birch_c's model-source lines for birch_a's (of the divisions both models
// evaluate; each initial step passes its own).
constexpr int32_t lineFromBirchA(int32_t l) {
    switch (l) {
    case 318: return 403;
    case 319: return 404;
    case 385: return 434;
    case 387: return 436;
    case 396: return 445;
    case 397: return 446;
    case 413: return 462;
    case 429: return 478;
    case 449: return 499;
    case 471: return 522;
    case 472: return 523;
    case 473: return 524;
    case 474: return 525;
    case 475: return 526;
    case 476: return 527;
    case 477: return 528;
    case 482: return 533;
    case 484: return 535;
    case 486: return 537;
    case 503: return 554;
    case 505: return 556;
    case 529: return 580;
    case 536: return 587;
    default: ZRT_assertFail("a model-source line without its birch_c counterpart", __FILE__, __LINE__);
    }
}

struct Variant {
    static constexpr bool isC = true;
    static constexpr const auto& numbering = kNumbering;
    static constexpr int32_t line(int32_t l) { return lineFromBirchA(l); }
    static constexpr int32_t qcLine = 100;
    static constexpr std::array<int, 5> historyPairs{0, 2, 4, 6, 8};
    static constexpr hbx::birch::Constant constants[] = {
        {0, 1e-15}, {1, 1.0000000000000002e-10}, {2, 1.0}, {3, 1.03}, {5, 100000000.0}, {6, 9.999999999999999e-05},
        {7, 0.0}, {39, 0.211318315631231}, {40, 0.128434449685033}, {41, 1.8974335854291}, {42, 7.46108040641258},
        {43, 1.81082178086647}, {44, 4.5}, {45, -0.27}, {48, -0.0049}, {52, -0.011}, {53, -0.04}, {54, 0.0},
        {56, 2.7210434520112395e-13}, {58, 2.85104345201124e-13}, {60, 0.004}, {61, 0.001},
        {63, 1.06784039872408e-13}, {64, 2.21784039872408e-13}, {66, 7.52790309318347e-14},
        {67, 1.11790309318347e-13}, {70, -0.0231522597130921}, {72, -0.03081522597130921}, {75, 1.340214e-12},
        {77, 1.6202140390301e-12}, {79, 5.1339165549194e-13}, {81, 5.0}, {82, 0.0055}, {83, 0.015},
        {86, 5.24897e-11}, {87, 4.03141e-10}, {88, 4.78574e-13}, {89, 0.781757}, {90, 2.9423e-15}, {91, 8.1e-15},
        {92, 1.7836640086e-15}, {93, 0.001}, {94, 0.0006}, {96, 1.2}, {97, 0.4}, {102, 0.1}, {103, 7.3996090518528},
        {107, 0.0}, {114, 0.1}, {115, -0.1}, {116, -1.0}, {117, 1.5}, {120, 0.001}, {122, 0.02},
        {124, 5.63555250628763e-10}, {128, 5.61359588907467e-10}, {132, 5.48020575472414e-12},
        {133, 6.80721391608491e-12}, {135, 2.30970733936926e-12}, {137, 1.93235609291044e-11},
        {138, 1.23645706758202e-11}, {146, 0.44}, {147, 2.5}, {148, 1.0}, {153, 31.0}, {155, 10.0}, {157, 0.1},
        {159, 0.6}, {161, 0.021}, {163, 0.000109690085816888}, {164, 0.0091263934634529}, {165, 0.08259},
        {168, 4e-12}, {169, 0.018}, {172, 0.5}, {173, 2.5}, {176, 30.0}, {186, 1.2}, {187, 5.20787119530526},
        {188, 1.24777385993611}, {191, 0.0},
    };
};

struct birch_c : hbx::ModuleTraits {
    static constexpr const char* sourceName = "module_birch_c_5.cpp";
    static constexpr int32_t assertLine = 4509;
    static constexpr uint32_t moduleFlags = 0x201;
    static constexpr int32_t numModelVars = 192;
    static constexpr std::array<int32_t, 2> memoryVars{123, 125};
    static constexpr bool hasDelayOp = true;
    static constexpr size_t numHistory = 10;
    static constexpr size_t numCollapse = 21;
    using Equations = hbx::birch::Equations<Variant>;
    using Topology = hbx::birch::Topology;
    static constexpr const auto& report = hbx::birch::reportC;
};

}  // namespace

HBX_EXPORT void registerCallbacks_module_birch_c_5(s_ZRT_ModuleDesc* pMD) { hbx::Module<birch_c>::registerModule(pMD); }
