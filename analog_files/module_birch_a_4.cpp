// The birch_a model: its traits on the shared module frame and its
// registration export.
#include "analog_files/module_frame.h"
#include "analog_files/birch_equations.h"

namespace {

// birch_a is the family's reference numbering: its model variables, lines
// and history values are the ones the equations name.
struct Variant {
    static constexpr bool isC = false;
    static constexpr auto numbering = hbx::identity<171>(171);
    static constexpr int32_t line(int32_t l) { return l; }
    static constexpr int32_t qcLine = 104;
    static constexpr std::array<int, 5> historyPairs{0, 5, 7, 9, 11};
    static constexpr hbx::birch::Constant constants[] = {
        {0, 1e-15}, {1, 1.0000000000000002e-10}, {2, 1.03}, {4, 100000000.0}, {5, 9.999999999999999e-05},
        {37, 0.211318315631231}, {38, 0.128434449685033}, {39, 1.8974335854291}, {40, 7.46108040641258},
        {41, 1.81082178086647}, {42, 4.5}, {43, -0.27}, {46, -0.0049}, {50, -0.011}, {51, -0.04}, {52, 0.0},
        {54, 2.20104345201124e-13}, {56, 0.015}, {58, 8.86784039872408e-14}, {60, 6.29790309318347e-14},
        {63, -0.0231522597130921}, {67, 1.2902140390301e-12}, {69, 5.1339165549194e-13}, {71, 5.0}, {72, 0.005},
        {74, 5.24897e-11}, {75, 4.03141e-10}, {76, 4.78574e-13}, {77, 0.781757}, {78, 2.9423e-15}, {79, 8.1e-15},
        {80, 1.7836640086e-15}, {81, 0.001}, {82, 0.0006}, {84, 1.2}, {85, 0.4}, {90, 0.1}, {91, 7.3996090518528},
        {95, 0.0}, {102, 0.1}, {103, -0.1}, {104, -1.0}, {107, 0.001}, {109, 0.02}, {111, 5.63555250628763e-10},
        {113, 5.61359588907467e-10}, {116, 5.48020575472414e-12}, {117, 6.80721391608491e-12},
        {119, 2.30970733936926e-12}, {121, 1.83235609291044e-11}, {128, 0.44}, {129, 2.5}, {130, 1.0},
        {135, 31.0473889366561}, {137, 10.0}, {139, 0.1}, {141, 0.6}, {143, 0.021}, {145, 0.000109690085816888},
        {146, 0.0091263934634529}, {147, 0.08259}, {150, 4e-12}, {151, 0.018}, {154, 2.5}, {156, 30.0}, {166, 1.2},
        {167, 5.20787119530526}, {168, 1.24777385993611},
    };
};

struct birch_a : hbx::ModuleTraits {
    static constexpr const char* sourceName = "module_birch_a_4.cpp";
    static constexpr int32_t assertLine = 4326;
    static constexpr uint32_t moduleFlags = 0x200;
    static constexpr int32_t numModelVars = 171;
    static constexpr bool hasDelayOp = true;
    static constexpr size_t numHistory = 13;
    static constexpr size_t numCollapse = 19;
    using Equations = hbx::birch::Equations<Variant>;
    using Topology = hbx::birch::Topology;
    static constexpr const auto& report = hbx::birch::reportA;
};

}  // namespace

HBX_EXPORT void registerCallbacks_module_birch_a_4(s_ZRT_ModuleDesc* pMD) { hbx::Module<birch_a>::registerModule(pMD); }
