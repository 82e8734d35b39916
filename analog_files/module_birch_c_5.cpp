// The birch_c model: its traits on the shared module frame and its
// registration export.
#include "module_frame.h"
#include "birch_equations.h"

namespace {

// Where each of birch_a's model variables lives in birch_c (-1: nowhere),
// indexed by birch_a's number. Beside the variables of the correspondence of
// the two models, the inputs of the factor-scaled set (birch_a 54, 61, 65,
// 67, 69, 72, 137 to 139, 141 to 144), whose formulas birch_c evaluates in
// its initial step on its own variables.
constexpr std::array<int16_t, 171> kFromBirchA{
    0,   1,   3,   4,   5,   6,   8,   9,   10,  11,  // 0
    12,  13,  14,  15,  16,  17,  18,  19,  20,  21,  // 10
    22,  23,  24,  25,  26,  27,  28,  29,  30,  31,  // 20
    32,  33,  34,  35,  36,  37,  38,  39,  40,  41,  // 30
    42,  43,  44,  45,  46,  47,  48,  49,  50,  51,  // 40
    52,  53,  54,  55,  59,  57,  -1,  62,  -1,  65,  // 50
    -1,  68,  69,  -1,  71,  73,  74,  78,  76,  79,  // 60
    80,  81,  84,  85,  86,  87,  88,  89,  90,  91,  // 70
    92,  93,  94,  95,  96,  97,  98,  99,  100, 101,  // 80
    102, 103, 104, 105, 106, 107, 108, 109, 110, 111,  // 90
    112, 113, 114, 115, 116, 118, 119, 120, 121, 122,  // 100
    123, 124, 127, -1,  130, 131, 132, 133, 134, 135,  // 110
    136, -1,  -1,  141, 142, 143, 144, 145, 146, 147,  // 120
    148, 149, 150, 151, 152, 153, 154, 155, 156, 157,  // 130
    158, 159, 160, 161, 162, 163, 164, 165, 166, 167,  // 140
    168, 169, 170, 171, 173, 175, 176, 177, 178, 179,  // 150
    180, 181, 182, 183, 184, 185, 186, 187, 188, 189,  // 160
    190,  // 170
};

// No two of birch_a's variables share one of birch_c's.
constexpr bool injective() {
    for (size_t i = 0; i < kFromBirchA.size(); ++i) {
        for (size_t j = i + 1; j < kFromBirchA.size(); ++j) {
            if (kFromBirchA[i] >= 0 && kFromBirchA[i] == kFromBirchA[j]) {
                return false;
            }
        }
    }
    return true;
}
static_assert(injective(), "each birch_a variable has its own place in birch_c");

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
    static constexpr int var(int k) { return k >= 0 && k < 171 ? kFromBirchA[static_cast<size_t>(k)] : -1; }
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
    static constexpr int32_t qcDiodeLine = 100;
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
