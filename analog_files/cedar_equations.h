// The equations of the cedar family (cedar_a, cedar_b, cedar_c) and of
// larch_a, which evaluates the same chain on its own topology. The evaluation
// is written once, in cedar_a's numbering of the model variables ("roles")
// and of the stamp lists; a variant type says what each model does
// differently:
//
//   Topology            the family's tables (topology_cedar.h, topology_larch.h);
//                       rrAt/jrAt map cedar list positions to its own, and
//                       hasPTj with rPTj, jPTj, jPTjNtj adds larch_a's pTj row
//   numbering           the model variable of each role (numbering.h)
//   line(L)             the model-source line for cedar_a's line L
//   qcLine              the line of the inline qc_diode division
//   constants           {role, value} stored by every initial step, in order
//   numHigh, numLow     numerators of the source inductance on path 1 for
//                       P5 >= 2 and below; numSecond that of path 2 for P5 < 2
//   lineFirst, lineSecond   the lines of those two divisions
//   base                the gate resistance base (the selector stores it)
//   selectorParam       the integer parameter that selects the path of the
//                       initial step; -1: always path 1
//   factor              where the factor f of the temperature products comes
//                       from: the first saved integer, integer parameter 0 or
//                       the model constant of role kFactorConst
//   multiplierParam     the integer parameter that multiplies the per-finger
//                       capacitances, inductances and resistances
//   upperA, upperB      thresholds of P9 for the two temperature selections
//                       (M177, M180, M59 and M65, M78, M84, M68, M73)
//   m59                 how M59 depends on P9
//   lowTemp             {role, value}: the lower-range sources that live in
//                       the low-temperature values behind the ten history
//                       values instead of model variables
//   larchForms          larch_a's forms: NaN takes the "otherwise" side of
//                       the breakdown, gate-charge and gate-diode tests and of
//                       the finger count on P4, and three products keep
//                       larch_a's order of factors
//   setsIntegers        cedar_a: the initial step sets its two saved integers
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "analog_files/equation_kit.h"
#include "analog_files/numbering.h"
#include "analog_files/topology_cedar.h"

namespace hbx::cedar {

// cedar_a's 206 model variables are the roles 0 to 205; some models keep
// further roles.
inline constexpr int kRoles = 206;
inline constexpr int kMidBase = 206;      // cedar_c: base of M59's middle range
inline constexpr int kMidFactor = 207;    // cedar_c: factor of M59's middle range
inline constexpr int kFactorConst = 208;  // larch_a: the factor f as a model constant
inline constexpr int kAllRoles = 209;

struct RoleValue {
    int role;
    double value;
};

// Model-source lines by cedar_a's line.
struct LinePair {
    int32_t cedarA;
    int32_t own;
};
template <size_t N>
constexpr int32_t lookupLine(const std::array<LinePair, N>& table, int32_t cedarALine) {
    for (const LinePair& p : table) {
        if (p.cedarA == cedarALine) {
            return p.own;
        }
    }
    throw "no line for this division";
}

enum class Factor { SavedInteger, IntParam0, ModelConstant };

// M59, the di-si capacitance: two ranges split at upperA (cedar_a, larch_a),
// the same with a constant lower range from the low-temperature values
// (cedar_b), or three ranges split at 37 and 20 (cedar_c).
enum class M59Form { TwoRanges, ConstantBelow, ThreeRanges };

// The compiled-in constants of cedar_a, by role; cedar_b and cedar_c store
// these and then their own where they differ.
inline constexpr auto kCedarAConstants = std::to_array<RoleValue>({
    {0, 1e-20}, {1, 1.0000000000000002e-10}, {2, 1.0}, {4, 100000000.0}, {5, 9.999999999999999e-05},
    {37, 0.21131831563123}, {38, 0.135}, {39, 1.4}, {40, 5.27}, {41, 1.72}, {42, 4.5}, {43, -0.3},
    {47, -0.003}, {49, -0.002}, {52, -0.0085}, {53, -0.008}, {54, 0.0}, {55, 1.6},
    {57, 2.7601043452010997e-13}, {58, 3.381314741036e-13}, {60, 0.02}, {61, 0.007},
    {63, 1.8778403987241e-13}, {64, 3.8678403987241e-13}, {66, 7.2196358931835e-15},
    {67, 2.0979030931835e-14}, {70, -0.034}, {72, -0.055}, {75, 1.4499999999999999e-12}, {77, 1.66e-12},
    {79, 6.150165549194e-13}, {81, 4.1}, {82, 0.004}, {83, 0.0087}, {85, 0.25}, {87, 5.24897e-11},
    {88, 4.03141e-10}, {89, 4.78574e-13}, {90, 0.781757}, {91, 7.1e-15}, {92, 8.1e-15},
    {93, 1.7836640086e-15}, {94, 0.001}, {95, 0.0006}, {97, 0.12}, {98, 1.5}, {103, 1.4}, {104, 2.0},
    {108, 0.0}, {116, 0.045}, {117, 0.1}, {118, -1.0}, {119, 0.02}, {122, 0.0}, {124, 0.0},
    {126, 5.53555250628763e-10}, {130, 5.51359588907467e-10}, {134, 5.48020575472414e-12},
    {135, 6.80721391608491e-12}, {137, 2.30970733936926e-12}, {139, 1.73235609291044e-11}, {140, 0.0},
    {149, 2.5}, {150, 0.8}, {151, 1.5}, {152, 1.5}, {158, 30.0}, {161, 50.0}, {163, 0.1}, {165, 0.8},
    {167, 0.035}, {169, 0.000109690085816888}, {170, 0.0091263934634529}, {171, 0.1},
    {175, 5.2000000000000005e-12}, {176, 4.5e-12}, {178, 0.021}, {179, 0.0091}, {183, 2.0}, {185, 2.0},
    {186, 5.0}, {190, 45.0}, {199, 1.2}, {200, 5.20787119530526}, {201, 1.24777385993611}, {205, 0.0},
});

// Two tables one after the other; the initial step stores constants in
// order, so a later entry wins where both name the same role.
template <size_t A, size_t B>
constexpr std::array<RoleValue, A + B> join(const std::array<RoleValue, A>& a, const std::array<RoleValue, B>& b) {
    std::array<RoleValue, A + B> all{};
    for (size_t i = 0; i < A; ++i) {
        all[i] = a[i];
    }
    for (size_t i = 0; i < B; ++i) {
        all[A + i] = b[i];
    }
    return all;
}

// What cedar_b and cedar_c store where cedar_a stores other values (M57 is
// each model's own), and the upper temperature range of both.
inline constexpr auto kCedarBCConstants = std::to_array<RoleValue>({
    {39, 1.5}, {40, 5.4}, {41, 1.76}, {79, 5.180165549194e-13}, {139, 1.93235609291044e-11}, {150, 0.4},
    {151, 0.8}, {152, 0.8}, {163, 0.03}, {167, 0.021},
    {63, 1.0678403987241e-13}, {66, 1.0796358931835e-15}, {70, -0.03}, {75, 1.48e-12}, {82, 0.004},
    {175, 5.48e-12}, {178, 0.018}, {60, 0.027},
});

// The lower temperature range of cedar_b and cedar_c (P9 < 25), kept in
// low-temperature values: the sources of M65, M68, M73, M78, M84, M177 and
// M180.
inline constexpr auto kCedarBCLowTemp = std::to_array<RoleValue>({
    {64, 3.8678403987241e-13}, {67, 2.0979030931835e-14}, {72, -0.06}, {77, 1.7e-12}, {83, 0.0085},
    {176, 4.5e-12}, {179, 0.01},
});

// What cedar_b and cedar_c have in common beyond the tables above: integer
// parameter 2 selects the path of the initial step, 0 gives the factor and
// 1 the multiplier, one temperature threshold at 25, the gate resistance
// base 35.
struct CedarBCVariant {
    using Topology = hbx::cedar::Topology;
    static constexpr double numHigh = 1.4492670696828299e-11;
    static constexpr double numLow = 1.93235609291044e-11;
    static constexpr double numSecond = 1.93235609291044e-11;
    static constexpr double base = 35.0;
    static constexpr int selectorParam = 2;
    static constexpr Factor factor = Factor::IntParam0;
    static constexpr int multiplierParam = 1;
    static constexpr double upperA = 25.0, upperB = 25.0;
    static constexpr bool larchForms = false;
    static constexpr bool setsIntegers = false;
};

// Source-inductance values every path but the first may store.
inline constexpr double kM128Default = 5.53555250628763e-10;
inline constexpr double kM132Default = 5.51359588907467e-10;

template <class V>
struct Equations {
    using Topo = typename V::Topology;
    static constexpr int32_t qcLine = V::qcLine;

    // The model variables by role.
    static constexpr const auto& numbering = V::numbering;
    using Vars = ModelVars<V::numbering>;

    template <class L>
    static Vars vars(const L& c) {
        return {c.vars()};
    }

    // The model's line for cedar_a's line L, worked out at compile time.
    template <int32_t L>
    static constexpr int32_t ln = V::line(L);

    // ---- initial-step block ------------------------------------------------

    template <class L>
    static void initialStep(const L& c) {
        const auto M = vars(c);
        const double* P = c.P;
        const auto div = [&c](double n, double d, int32_t l) { return chkdiv(c.site(), n, d, l); };

        for (const RoleValue& e : V::constants) {
            if (Vars::has(e.role)) {
                M[e.role] = e.value;
            }
        }
        M[187] = P[9];
        if constexpr (V::setsIntegers) {
            c.b->intVars[1] = 1;
            c.b->intVars[0] = 1;
        }

        // Geometry.
        M[107] = P[8] / 0.001;
        M[173] = P[3] * P[4] * M[107];
        M[145] = P[3] * P[4];
        M[144] = P[3] * P[4] * 0.5 + 1.0;
        M[131] = kM132Default;
        M[127] = kM128Default;
        M[143] = P[3] + 1.0;

        // The path of the source inductance and the gate and drain charges;
        // cedar_a always takes path 1.
        const int32_t path = V::selectorParam < 0 ? 1 : c.N[V::selectorParam];
        switch (path) {
        case 1: {
            const double n = P[5] >= 2.0 ? V::numHigh : V::numLow;
            const double q = div(n, M[144] * P[5], V::lineFirst);
            M[141] = q;
            M[138] = P[5] >= 6.0 ? 0.0 : q;
            const bool halve = P[5] >= 2.0;
            M[127] = halve ? M[126] * 0.5 : M[126];
            M[131] = halve ? M[130] * 0.5 : M[130];
            M[128] = M[127];
            M[132] = M[131];
            break;
        }
        case 2:
            if (!(P[5] >= 2.0)) {
                M[138] = div(V::numSecond, P[5] * (P[3] + 1.0), V::lineSecond) + 1.1e-11;
                M[128] = M[127];
                M[131] = M[130] * 3.5;
            } else {
                M[138] = 1.1e-11;
                M[128] = kM128Default;
                M[131] = 1.9297585611761346e-09;
            }
            M[132] = M[131];
            break;
        case 0:
            M[138] = 0.0;
            M[128] = kM128Default;
            M[132] = kM132Default;
            break;
        default:  // M138 keeps what it holds
            M[128] = kM128Default;
            M[132] = kM132Default;
            break;
        }
        M[158] = V::base;
        M[172] = M[171];

        // Gate resistance, gate and drain inductances, noise factors.
        double m159 = M[158];
        if (M[107] > 0.4) {
            m159 = M[158] * 0.7;
        }
        if (M[107] > 0.7) {
            m159 = P[4] * P[3] > 2.0 ? M[158] * 0.45 : M[158] * 0.7;
        }
        M[159] = m159;
        if (M[107] < 0.4) {
            M[125] = M[128] * M[107];
            M[129] = M[132] * M[107];
        } else {
            M[125] = M[128] * 0.4;
            M[129] = M[132] * 0.4;
        }
        M[157] = div(M[107] * M[159], P[4], ln<351>);
        const double s = M[173] > 0.0 ? std::sqrt(M[173]) : 0.0;
        M[120] = s * M[87];
        M[121] = div(div(M[88], s, ln<354>), M[5], ln<354>);
    }

    // ---- per-iteration evaluation --------------------------------------------

    // Results of parameter-only functions that the loads keep (module_frame.h).
    static constexpr size_t kKeptPow50 = 0, kKeptTanh160 = 1, kKeptFingers = 2, numKept = 3;

    // The controlling quantities: V(gi, gn), V(di, si), V(dRF, si), V(nTj).
    static constexpr int kGiGn = 0, kDiSi = 1, kDrfSi = 2, kNtj = 3;

    // The source of a lower temperature range: a model variable, or in the
    // models that keep it there, a low-temperature value, stored from the
    // constant while the invariants are due.
    template <class L>
    static double lowSource(const L& c, int role) {
        for (size_t i = 0; i < V::lowTemp.size(); ++i) {
            if (V::lowTemp[i].role == role) {
                double& stored = c.history()[10 + i];
                if (c.invariantsDue()) {
                    stored = V::lowTemp[i].value;
                }
                return stored;
            }
        }
        return vars(c)[role];
    }

    // The temperature selections and the products with the factor f, on
    // every call.
    template <class L>
    static void temperature(const L& c) {
        const auto M = vars(c);
        const double p9 = c.P[9];
        static constexpr int selA[][3] = {{177, 175, 176}, {180, 178, 179}};
        static constexpr int selB[][3] = {{65, 63, 64}, {78, 75, 77}, {84, 82, 83}, {68, 66, 67}, {73, 70, 72}};
        const bool upperA = !(p9 < V::upperA);
        const bool upperB = !(p9 < V::upperB);
        for (const auto& s : selA) {
            M[s[0]] = upperA ? M[s[1]] : lowSource(c, s[2]);
        }
        for (const auto& s : selB) {
            M[s[0]] = upperB ? M[s[1]] : lowSource(c, s[2]);
        }
        if constexpr (V::m59 == M59Form::TwoRanges) {
            M[59] = upperA ? M[57] * (1.0 - (p9 - 50.0) * M[60]) : M[58] * (1.0 - (p9 - 40.0) * M[61]);
        } else if constexpr (V::m59 == M59Form::ConstantBelow) {
            M[59] = upperA ? M[57] * (1.0 - (p9 - 50.0) * M[60]) : lowSource(c, 58);
        } else {
            if (!(p9 < 37.0)) {
                M[59] = M[57] * (1.0 - (p9 - 50.0) * M[60]);
            } else if (p9 >= 20.0) {
                M[59] = M[kMidBase] * (1.0 - (p9 - 37.0) * M[kMidFactor]);
            } else {
                M[59] = M[58] * (1.0 - (p9 - 20.0) * M[61]);
            }
        }

        double f = 0.0;
        if constexpr (V::factor == Factor::SavedInteger) {
            f = static_cast<double>(c.b->intVars[0]);
        } else if constexpr (V::factor == Factor::IntParam0) {
            f = static_cast<double>(c.N[0]);
        } else {
            f = M[kFactorConst];
        }
        const double k = 0.2 * f + 0.8;
        M[3] = M[2];
        M[168] = M[167] * f;
        M[76] = M[78] * k;
        M[71] = M[73] * k;
        M[80] = M[79] * k;
        M[162] = (0.9 * f + 0.1) * M[161];
        M[166] = (1.5 - 0.5 * f) * M[165];
        M[69] = (1.87 - 0.87 * f) * M[68];
        M[56] = (0.4 * f + 0.6) * M[59];
        M[164] = ((p9 - 50.0) * M[168] + 1.0) * M[166];
        M[160] = (c.kept(kKeptTanh160, tanhOf, (p9 - 50.0) * M[163]) + 1.0) * M[162] + 0.001;
        M[74] = ((p9 - 50.0) * M[84] + 1.0) * M[76];
    }

    template <class L>
    static void evaluate(const L& c) {
        using Tp = Topo;
        const auto M = vars(c);
        const double* P = c.P;
        const DivSite site = c.site();
        const auto div = [&site](const auto& n, const auto& d, int32_t l) { return chkdiv(site, n, d, l); };
        const auto store = [&M](int role, const auto& x) {
            M[role] = value(x);
            return x;
        };
        const auto R = [&c](int k) -> double& { return c.rr[Tp::rrAt(k)]; };
        double* Q = c.rd;

        // Controlling quantities.
        const auto vGiGn = controlling<L::full, kGiGn>(c.V(Tp::gi, Tp::gn));
        const auto vDiSi = controlling<L::full, kDiSi>(c.V(Tp::di, Tp::si));
        const auto vDrfSi = controlling<L::full, kDrfSi>(c.V(Tp::dRF, Tp::si));
        const auto vNtj = controlling<L::full, kNtj>(c.V(Tp::nTj));
        M[194] = value(vGiGn);
        M[189] = value(vDiSi);
        M[191] = value(vDrfSi);
        M[99] = value(vNtj);

        // Gate and drain control.
        const auto x = vGiGn - M[199];
        const auto m123 = store(123, (tanh(M[118] * x) + 1.0) * (M[122] - M[124]) * 0.5 + M[124]);
        const auto t117 = tanh(x * M[117]);  // also M46's tanh((V(gi, gn) - M199) * M117)
        const auto m184 = store(184, (t117 + 1.0) * (M[185] - M[186]) + M[186]);
        const auto u = fabs(M[187] - m184);
        const auto m188 = store(188, tanh(x) * (u - M[187]) + u);
        const auto m51 = store(51, (tanh(vGiGn) + 1.0) * (M[52] - M[53]) + M[53]);
        const auto m50 = store(50, c.kept(kKeptPow50, powOf, div(100.0, M[187] + 50.0, ln<378>), M[55]) * m51);
        M[48] = M[47];
        const auto m46 = store(46, (M[48] - div(M[49] * 50.0, M[187], ln<381>)) * t117 + M[48]);
        const auto m45 = store(45, (m46 - m50) * 0.5 * (tanh((vDiSi - m184) * M[116]) + 1.0) + m50);
        const auto m12 = store(12, (1.0 - ((vDiSi - m188) - M[183]) * m45) * P[10]);
        M[203] = M[12];

        // Upper bound of the gate drive.
        if (c.invariantsDue()) {
            M[13] = P[10];
        }
        M[11] = M[119];
        const auto m9 = smoothStretch<true>(c, M, 0, 9, m12, M[13]);
        M[204] = M[9];

        // Drain-resistance levels, the drive offset, temperature.
        M[156] = M[152];
        M[153] = M[151];
        const auto m202 = store(202, m9 * P[11] - M[205]);
        temperature(c);

        // Lower bound.
        const auto m17 = store(17, vGiGn - m202);
        const auto m18 = store(18, M[199] - m202);
        M[16] = M[103];
        const auto m14 = smoothStretch<false>(c, M, 2, 14, m17, m18);
        M[195] = M[14];

        // Soft limit through limexp.
        const auto m192 = store(192, softLimit(c.limexpDesc(), div(M[200] - m14, M[201], ln<485>), M[200], M[201]));

        // Effective drive and its smooth floor.
        const auto m147 = store(147, powM(M[104], (m192 - M[199]) * M[37]) * M[38]);
        const auto m198 = store(198, div(m147 * M[199] + m192, m147 + 1.0, ln<487>));
        M[197] = M[198];
        const auto m19 = smoothFloor(c, M, 4, 19, store(22, m198 - M[205]));
        M[44] = M[19];
        const auto m105 = store(105, div(m19, m19 + 1.0, ln<496>));
        const auto m106 = store(106, div(m19, m19 + 0.2, ln<497>));
        const auto m193 = store(193, m106 * vDrfSi * M[54] + m198);
        const auto m174 = store(174, m105 * m123 * vDiSi + 1.0);

        // Soft breakdown of V(di, si).
        const auto m115 = store(115, softBreakdown<V::larchForms>(vDiSi));

        // Channel current.
        const auto m24 = smoothFloor(c, M, 6, 24, store(27, m193 - M[205]));
        M[44] = M[24];
        const auto m146 = store(146, div(m24 * m24 * m24 * M[39], powM(m24, M[41]) * M[40] + 1.0, ln<513>));
        const auto m96 = store(96, (tanh((m146 - M[2] * 0.5) * 1.5) + 1.0) * (M[97] - M[98]) * 0.5 + M[98]);
        const auto m102 = store(102, tanh(m96 * vDiSi));
        const auto m6 = store(6, P[7] + vNtj);
        const auto m181 = store(181, powM(10.0, (m6 - 25.0) * -M[94]));
        M[182] = powM(10.0, -M[95] * (M[6] - 25.0));
        const auto m113 = store(113, m146 * M[173] * m102 * m174 * M[3] * m181);

        // Drain resistance modulation.
        const auto j = div(m113, M[173], ln<531>);
        const auto j3 = j * j * j;
        const auto a154 = V::larchForms ? j3 * M[42] * 10.0 : j3 * (M[42] * 10.0);
        const auto m154 = store(154, M[150] + (M[149] - M[150]) * tanh(a154));
        const auto k = div(m113, M[173], ln<532>);
        const auto m155 = store(155, M[156] + (M[153] - M[156]) * tanh(k * k * k * M[42]));
        const auto m148 =
            store(148, div(m154 + (m155 - m154) * 0.5 * (tanh((vDiSi - M[190]) * M[43]) + 1.0), M[173], ln<533>));

        // Source resistance and inductance.
        const double Is = c.V(Tp::bSsii);
        const double rs = div(M[172], M[173], ln<553>);
        R(0) += rs * Is;
        clearNegativeZero(R(1));
        Q[0] += M[138] * c.V(Tp::bSiisi);

        // Capacitance scalings, parameter-only.
        if (c.invariantsDue()) {
            M[109] = (P[2] + P[1]) * (P[4] * 0.5 - 1.0) + P[1] + 18.0;
            M[100] = (P[1] - 20.0) * 26.0 * (P[4] * 0.5);
            M[110] = (P[4] * 0.5 - 1.0) * 120.0 + 58.0;
            M[101] = P[4] * 0.5 * 520.0;
        }

        // Finger-count choices, on every call.
        const double p4 = P[4];
        if (c.kept(kKeptFingers, fmodOf, p4 * 0.5, 2.0) == 0.0) {
            M[133] = p4 <= 4.0 ? p4 * M[135] : M[135] * 4.0;
        } else if constexpr (V::larchForms) {
            M[133] = p4 <= 6.0 ? p4 * M[134] : M[134] * 6.0;
        } else {
            M[133] = p4 > 6.0 ? M[134] * 6.0 : p4 * M[134];
        }
        if constexpr (V::larchForms) {
            M[136] = p4 <= 6.0 ? p4 * M[137] : M[137] * 6.0;
        } else {
            M[136] = p4 > 6.0 ? M[137] * 6.0 : p4 * M[137];
        }

        // Linear capacitances.
        const double n = static_cast<double>(c.N[V::multiplierParam]);
        const double cgs = div(M[92] * M[109], M[110], ln<576>) * M[145] * n;
        const double cds = div(M[91] * M[100], M[101], ln<577>) * M[145] * n;
        const double cgd = div(M[93] * M[109], M[110], ln<578>) * M[145] * n;
        Q[1] += c.V(Tp::g, Tp::s) * cgs;
        clearNegativeZero(R(2));
        Q[2] += c.V(Tp::d, Tp::s) * cds;
        clearNegativeZero(R(3));
        Q[3] += c.V(Tp::g, Tp::d) * cgd;
        clearNegativeZero(R(4));

        // Branches g-gi and d-di.
        const double Ig = c.V(Tp::bGgi);
        const double Id = c.V(Tp::bDdi);
        const double lg = div(div(M[136] * M[109], M[110], ln<580>), P[3], ln<580>) * n + div(M[129], M[145], ln<580>);
        Q[4] += lg * Ig;
        clearNegativeZero(R(5));
        const double ld = div(M[133], P[3], ln<581>) * n + div(M[125], M[145], ln<581>);
        Q[5] += ld * Id;
        clearNegativeZero(R(6));
        const double rg = div(M[157], P[3], ln<582>) + div(div(M[170] * M[110], M[109], ln<582>), M[145], ln<582>) * n;
        R(5) += rg * Ig;
        const auto rd = div(div(M[169] * M[101], M[100], ln<583>), M[145], ln<583>) * n + m148;
        R(6) += value(rd) * Id;

        // Gate charge offset; resistor gi-gp.
        M[86] = P[10] * (1.0 - (P[9] - M[187]) * M[47]) + M[85];
        R(7) += div(c.V(Tp::gi, Tp::gp), M[5], ln<590>);

        // Gate charge of gp-gn (the inline qc_diode).
        M[30] = M[74];
        M[34] = M[173] * P[11];
        M[32] = div(M[80], M[74], ln<592>);
        M[33] = M[81];
        M[36] = M[86];
        M[31] = c.V(Tp::gp, Tp::gn);
        c.historyPair(8, M[29]);
        M[35] = M[31] - M[36];
        // larch_a writes the products as alder does, and a NaN M32 takes its
        // smooth form.
        constexpr QcForm form = V::larchForms ? QcForm{QcProducts::ChargeFirst, true}
                                              : QcForm{QcProducts::ScaleFirst, false};
        const QcDiodeCharge qc = qc_diode<L::full>(site, qcLine, form, M[34], M[30], M[32], M[33], M[35]);
        if (qc.smooth) {
            M[8] = qc.arg;
            M[7] = qc.lnCosh;
        }
        M[29] = qc.q;
        const double dq29 = qc.dq;  // d M29 / d V(gp, gn)
        Q[6] += M[29];
        clearNegativeZero(R(8));

        // Resistor gn-si.
        const double rgn = div(M[164], M[173], ln<594>);
        R(9) += div(c.V(Tp::gn, Tp::si), rgn, ln<594>);

        // Gate diode of gp-gn.
        M[196] = M[31] / 0.4;
        const double e10 = kExpFPMinus10;
        const ValueSlope e43 = diodeExp<V::larchForms>(M[196]);
        M[111] = e10 * 0.3 * e43.value;
        R(8) += M[111] * M[173];

        // Gate-drain charge of gdi-di.
        const double vGdiDi = c.V(Tp::gdi, Tp::di);
        const double t44 = std::tanh(vGdiDi * M[71]);
        M[62] = vGdiDi * M[69] + div(M[65], M[71], ln<614>) * t44;
        clearNegativeZero(R(10));
        Q[7] += M[62] * M[173] * P[12];

        // Resistor gi-gdi.
        const double rgi = div(M[160], M[173], ln<617>);
        R(11) += div(c.V(Tp::gi, Tp::gdi), rgi, ln<617>);

        // Thermal-trap network; the channel current enters at xt1.
        const auto m112 = store(112, M[108] * vDiSi * M[173]);
        M[114] = c.V(Tp::xt2);
        const double cx = ((P[9] - 50.0) * M[180] + 1.0) * M[177];
        const auto r12 = -m113 - m115 - m112;
        R(12) += value(r12);
        Q[8] += cx * c.V(Tp::xt1);
        R(13) += c.V(Tp::xt2);
        const double lx = M[175] * 0.5 * ((P[9] - 50.0) * M[178] + 1.0);
        R(15) += M[114];
        Q[9] += lx * c.V(Tp::bXt);
        clearNegativeZero(R(14));

        // Capacitance di-si.
        const double cdisi = M[56] * M[173];
        clearNegativeZero(R(16));
        const double vdisi = c.V(Tp::di, Tp::si);
        Q[10] += V::larchForms ? vdisi * M[56] * M[173] : vdisi * cdisi;

        // Self-heating at nTj (and larch_a's pTj row).
        const auto r17 = -vDiSi * m113;
        R(17) += value(r17);
        R(17) += div(value(vNtj), P[6], ln<646>);
        Q[11] += value(vNtj) * M[1];
        clearNegativeZero(R(17));
        if constexpr (Tp::hasPTj) {
            c.rr[Tp::rPTj] += c.V(Tp::pTj) - M[99] - P[7];
        }

        // Capacitance di-dRF; resistor dRF-si.
        clearNegativeZero(R(18));
        Q[12] += c.V(Tp::di, Tp::dRF) * M[0];
        R(19) += div(c.V(Tp::dRF, Tp::si), M[4], ln<652>);

        // Noise network; each source at its point.
        const double vN12 = c.V(Tp::n12);
        clearNegativeZero(R(20));
        c.noise(0, M[90]);
        R(20) += vN12;
        clearNegativeZero(R(4));
        c.noise(1, M[89] * M[89] * M[173]);
        R(7) += M[121] * vN12;
        c.noise(2, (1.0 - M[90]) * M[121] * M[121]);
        R(15) += M[120] * vN12;
        c.noise(3, (1.0 - M[90]) * M[120] * M[120]);

        if constexpr (L::full) {
            const auto G = [&c](int k) -> double& { return c.jr[Tp::jrAt(k)]; };
            double* D = c.jd;
            G(0) += rs;
            G(1) += rg;
            for (int k = 0; k < 4; ++k) {
                G(2 + k) += Id * partial(rd, k);
                G(11 + k) += partial(r12, k);
                G(17 + k) += partial(r17, k);
            }
            G(6) += value(rd);
            G(7) += div(1.0, M[5], ln<590>);
            G(8) += div(1.0, rgn, ln<594>);
            G(9) += e10 * 0.3 * e43.slope * 2.5 * M[173];
            G(10) += div(1.0, rgi, ln<617>);
            G(15) += 1.0;
            G(16) += 1.0;
            G(20) += div(1.0, P[6], ln<646>);
            if constexpr (Tp::hasPTj) {
                c.jr[Tp::jPTj] += 1.0;
                c.jr[Tp::jPTjNtj] += -1.0;
            }
            G(21) += div(1.0, M[4], ln<652>);
            G(22) += 1.0;
            G(23) += M[121];
            G(24) += M[120];

            D[0] += M[138];
            D[1] += cgs;
            D[2] += cds;
            D[3] += cgd;
            D[4] += lg;
            D[5] += ld;
            D[6] += dq29;
            D[7] += (div(M[65], M[71], ln<614>) * (1.0 - t44 * t44) * M[71] + M[69]) * M[173] * P[12];
            D[8] += cx;
            D[9] += lx;
            D[10] += cdisi;
            D[11] += M[1];
            D[12] += M[0];
        } else {
            (void)dq29;
            (void)cdisi;
        }
    }
};

}  // namespace hbx::cedar
