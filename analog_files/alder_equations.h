// The equations of the alder family. alder_a, alder_b and alder_c evaluate
// the same steps with the same constants except four; they differ in the
// order of their model variables, the model-source lines of their checked
// divisions, the roles of their integer parameters and how model variable
// "128" (alder_a's numbering) is kept between loads. A variant type says
// which:
//   numbering       where alder_a's model variables live (numbering.h)
//   line(L)         the model-source line for alder_a's line L
//   qcLine          the line of the inline qc_diode division
//   c54, c59, c61, c63   the four fitted constants
//   selectorParam   the integer parameter that selects the gate-charge case
//   zeroSwitch      true: integer parameter 1 switches variable 128 to 0.0
//                   through history value 10; false: alder_a's variable 7
#pragma once

#include <array>
#include <cmath>

#include "analog_files/equation_kit.h"
#include "analog_files/module_frame.h"
#include "analog_files/numbering.h"
#include "analog_files/topology_alder.h"

namespace hbx::alder {

template <class Variant>
struct Equations {

    // The model variables in alder_a's numbering.
    static constexpr const auto& numbering = Variant::numbering;
    using Vars = ModelVars<Variant::numbering>;

    template <class L>
    static Vars vars(const L& c) {
        return {c.vars()};
    }

    static constexpr int32_t line(int32_t alderALine) { return Variant::line(alderALine); }
    static constexpr int32_t qcLine = Variant::qcLine;

    // ---- initial-step block ------------------------------------------------

    template <class L>
    static void initialStep(const L& c) {
        const auto M = vars(c);
        const double* P = c.P;
        const auto div = [&c](double n, double d, int32_t l) { return chkdiv(c.site(), n, d, line(l)); };

        static constexpr struct {
            int k;
            double value;
        } constants[] = {
            {0, 1e-15}, {1, 1.0000000000000002e-10}, {2, 1.0}, {3, 1.0}, {5, 100000000.0},
            {6, 9.999999999999999e-05}, {7, 0.0}, {39, 0.5}, {40, 0.135}, {41, 1.6}, {42, 5.1}, {43, 1.87},
            {44, 4.5}, {45, -0.3}, {49, -0.0035}, {51, -0.003}, {54, Variant::c54}, {55, -0.005}, {56, 0.0},
            {57, 1.7}, {59, Variant::c59}, {61, Variant::c61}, {63, Variant::c63}, {64, 0.0005},
            {66, 8.86784039872408e-14}, {67, 2.3178403987241e-13}, {69, 6.29790309318347e-14},
            {70, 1.4379030931835e-13}, {73, -0.025}, {75, -0.042}, {78, 1.31e-12}, {80, 1.4199999999999998e-12},
            {82, 3.8316554919399997e-13}, {84, 5.2}, {85, 0.005}, {86, 0.01}, {88, 0.26}, {90, 5.24897e-11},
            {91, 4.03141e-10}, {92, 4.78574e-13}, {93, 0.781757}, {94, 2.9423e-15}, {95, 8.1e-15},
            {96, 1.7836640086e-15}, {97, 0.001}, {98, 0.0006}, {100, 0.12}, {101, 1.5}, {106, 1.4}, {107, 2.0},
            {111, 0.0}, {119, 0.05}, {120, 0.1}, {121, -1.0}, {122, 0.02}, {125, 0.0}, {127, 0.0},
            {129, 5.63555250628763e-10}, {133, 5.61359588907467e-10}, {137, 4.88020575472414e-12},
            {138, 6.80721391608491e-12}, {140, 2.30970733936926e-12}, {142, 1.63235609291044e-11},
            {143, 1.23645706758202e-11}, {151, 0.6}, {152, 0.44}, {153, 0.6}, {154, 0.6}, {160, 31.0},
            {162, 25.0}, {164, 0.05}, {166, 0.5}, {168, 0.021}, {170, 0.000109690085816888},
            {171, 0.0091263934634529}, {172, 0.01}, {175, 3.9e-12}, {176, 3.2e-12}, {178, 0.015}, {179, 0.01},
            {183, 2.0}, {185, 2.0}, {186, 5.0}, {190, 30.0}, {199, 1.2}, {200, 5.20787119530526},
            {201, 1.24777385993611}, {205, 0.0},
        };
        for (const auto& entry : constants) {
            if (Vars::has(entry.k)) {
                M[entry.k] = entry.value;
            }
        }
        M[187] = P[9];

        // A1
        M[110] = P[8] / 0.001;
        M[173] = P[3] * P[4] * M[110];
        M[147] = P[3] * P[4];
        M[146] = P[3] * P[4] * 0.5 + 1.0;
        M[134] = 5.61359588907467e-10;
        M[130] = 5.63555250628763e-10;
        M[145] = P[3] + 1.0;

        // A2: the gate-charge case.
        double X = 31.0;
        double Y = 5.61359588907467e-10;
        double Z = 5.63555250628763e-10;
        switch (c.N[Variant::selectorParam]) {
        case 0:
            M[141] = 0.0;
            break;
        case 1: {
            const double K = P[5] >= 2.0 ? 1.4839600844640362e-11 : 1.63235609291044e-11;
            const double q = div(K, P[5] * M[146], 299);
            M[144] = q;
            Z = M[129];
            M[130] = M[129];
            Y = M[133];
            M[134] = M[133];
            M[141] = P[5] >= 3.0 ? 0.0 : q;
            X = M[160];
            break;
        }
        case 2:
            if (!(P[5] >= 2.0)) {
                M[141] = div(1.63235609291044e-11, (P[3] + 1.0) * P[5], 307) + 1.1e-11;
                Z = M[130];
                Y = 3.5 * M[133];
                X = M[160];
            } else {
                M[141] = 1.1e-11;
                Y = 1.9647585611761346e-09;
                X = 31.0;
            }
            M[134] = Y;
            break;
        default:
            break;
        }

        // A3 to A5
        M[135] = Y;
        M[131] = Z;
        M[159] = div(X * M[110], P[4], 315);
        M[128] = !(M[110] < 0.4) ? M[131] * 0.4 : M[131] * M[110];
        M[132] = !(M[110] < 0.2) ? M[135] * 0.2 : M[135] * M[110];
        const double s = M[173] > 0.0 ? std::sqrt(M[173]) : 0.0;
        M[123] = s * M[90];
        M[124] = div(div(M[91], s, 334), M[6], 334);

        // A6: temperature-dependent choices.
        if (!(P[9] < 24.0)) {
            M[68] = M[66];
            M[81] = M[78];
            M[87] = M[85];
            M[71] = M[69];
            M[76] = M[73];
            M[177] = M[175];
            M[180] = M[178];
            M[158] = 2 * M[152];
            M[155] = M[158];
            M[62] = (1 - (P[9] - 40.0) * M[63]) * M[59];
        } else {
            M[68] = M[67];
            M[81] = M[80];
            M[87] = M[86];
            M[71] = M[70];
            M[76] = M[75];
            M[177] = M[176];
            M[180] = M[179];
            M[155] = M[153];
            M[158] = M[154];
            M[62] = (1 - (P[9] - 40.0) * M[64]) * M[61];
        }

        // A7
        const double g = M[2];
        const double k = 0.2 * g + 0.8;
        M[4] = M[3];
        M[60] = (0.4 * g + 0.6) * M[62];
        M[163] = (0.9 * g + 0.1) * M[162];
        M[83] = M[82] * k;
        M[74] = k * M[76];
        M[79] = k * M[81];
        M[72] = (1.87 - 0.87 * g) * M[71];
        M[167] = M[166] * (1.5 - 0.5 * g);
        M[169] = M[168] * g;
        M[165] = ((P[9] - 40.0) * M[169] + 1.0) * M[167];
        M[161] = (std::tanh((P[9] - 40.0) * M[164]) + 1.0) * M[163];
        M[77] = ((P[9] - 40.0) * M[87] + 1.0) * M[79];
    }

    // ---- per-iteration evaluation --------------------------------------------

    // Results of parameter-only functions that the loads keep (module_frame.h).
    static constexpr size_t kKeptPow52 = 0, kKeptFingers = 1, numKept = 2;

    // The controlling quantities of the channel: V(gi, gn), V(di, si),
    // V(dRF, si) and V(nTj); the full load carries derivatives by them.
    static constexpr int kGiGn = 0, kDiSi = 1, kDrfSi = 2, kNtj = 3;

    template <class L>
    static void evaluate(const L& c) {
        const auto M = vars(c);
        const double* P = c.P;
        const DivSite site = c.site();
        const auto div = [&site](const auto& n, const auto& d, int32_t l) { return chkdiv(site, n, d, line(l)); };
        const auto store = [&M](int k, const auto& x) {
            M[k] = value(x);
            return x;
        };
        double* RR = c.rr;
        double* RD = c.rd;
        double* JR = c.jr;
        double* JD = c.jd;

        // 1. Controlling voltages.
        const auto vGiGn = controlling<L::full, kGiGn>(c.V(gi, gn));
        const auto vDiSi = controlling<L::full, kDiSi>(c.V(di, si));
        const auto vDrfSi = controlling<L::full, kDrfSi>(c.V(dRF, si));
        const auto vNtj = controlling<L::full, kNtj>(c.V(nTj));
        M[194] = value(vGiGn);
        M[189] = value(vDiSi);
        M[191] = value(vDrfSi);
        M[102] = value(vNtj);

        // 2. Gate shaping.
        const auto u = vGiGn - M[199];
        const auto m126 = store(126, (M[125] - M[127]) * 0.5 * (tanh(M[121] * u) + 1) + M[127]);
        const auto t120 = tanh(M[120] * u);  // also in M48
        const auto m184 = store(184, (M[185] - M[186]) * (t120 + 1) + M[186]);
        const auto w = fabs(M[187] - m184);
        const auto m188 = store(188, (w - M[187]) * tanh(u) + w);
        const auto m53 = store(53, (M[54] - M[55]) * (tanh(vGiGn) + 1) + M[55]);
        M[50] = M[49];
        const auto m52 = store(52, c.kept(kKeptPow52, powOf, div(100.0, M[187] + 50.0, 414), M[57]) * m53);
        const auto m48 = store(48, (M[50] - div(50.0 * M[51], M[187], 417)) * t120 + M[50]);
        const auto m47 = store(47, (m48 - m52) * 0.5 * (tanh(M[119] * (vDiSi - m184)) + 1) + m52);
        const auto m14 = store(14, (1 - (vDiSi - m188 - M[183]) * m47) * P[10]);
        M[203] = M[14];

        // 3. Upper bound of the gate drive.
        M[13] = M[122];
        if (c.invariantsDue()) {
            M[15] = P[10];
        }
        const auto m11 = smoothStretch<true>(c, M, 0, 11, m14, M[15]);
        M[204] = M[11];

        // 4. Lower bound.
        M[18] = M[106];
        const auto m202 = store(202, m11 * P[11] - M[205]);
        const auto m19 = store(19, vGiGn - m202);
        const auto m20 = store(20, M[199] - m202);
        const auto m195 = smoothStretch<false>(c, M, 2, 16, m19, m20);
        M[195] = M[16];

        // 5. Soft limit through limexp.
        const auto x5 = div(M[200] - m195, M[201], 448);
        const auto m192 = store(192, softLimit(c.limexpDesc(), x5, M[200], M[201]));

        // 6.
        const auto m149 = store(149, powM(M[107], M[39] * (m192 - M[199])) * M[40]);
        const auto m198 = store(198, div(M[199] * m149 + m192, m149 + 1.0, 450));
        M[197] = M[198];

        // 7. Smooth floor of the effective drive.
        const auto m46a = smoothFloor(c, M, 4, 21, store(24, m198 - M[205]));
        M[46] = M[21];

        // 8.
        const auto m108 = store(108, div(m46a, m46a + 1.0, 459));
        const auto m109 = store(109, div(m46a, m46a + 0.2, 460));
        const auto m193 = store(193, vDrfSi * M[56] * m109 + m198);
        const auto m174 = store(174, m108 * m126 * vDiSi + 1.0);

        // 9. Soft breakdown.
        const auto m118 = store(118, softBreakdown<false>(vDiSi));

        // 10. Smooth floor of the drain-side drive.
        const auto m46 = smoothFloor(c, M, 6, 26, store(29, m193 - M[205]));
        M[46] = M[26];

        // 11.
        const auto m148 = store(148, div(m46 * m46 * m46 * M[41], powM(m46, M[43]) * M[42] + 1.0, 476));
        const auto m99 = store(99, (M[100] - M[101]) * 0.5 * (tanh((m148 - 0.5 * M[3]) * 1.5) + 1) + M[101]);
        const auto m105 = store(105, tanh(vDiSi * m99));

        // 12. Temperature.
        const auto m8 = store(8, P[7] + vNtj);
        const auto m181 = store(181, powM(10.0, -M[97] * (m8 - 25.0)));
        store(182, powM(10.0, -M[98] * (m8 - 25.0)));

        // 13. Channel current.
        const auto m116 = store(116, m148 * M[173] * m105 * m174 * M[4] * m181);

        // 14. Drain-side resistance.
        const auto a = div(m116, M[173], 494);
        const auto b = div(m116, M[173], 495);
        const auto m156 = store(156, tanh(10.0 * M[44] * (a * a * a)) * (M[151] - M[152]) + M[152]);
        const auto m157 = store(157, tanh(M[44] * (b * b * b)) * (M[155] - M[158]) + M[158]);
        const auto m150 =
            store(150, div((m157 - m156) * 0.5 * (tanh((vDiSi - M[190]) * M[45]) + 1) + m156, M[173], 496));

        // 15. The switch of variable 128.
        if constexpr (Variant::zeroSwitch) {
            if (c.invariantsDue()) {
                if (c.N[1] == 1) {
                    M[128] = 0.0;
                }
                c.history()[10] = M[128];
            } else {
                M[128] = c.history()[10];
            }
        } else {
            if (M[7] == 1.0) {
                M[128] = 0.0;
            }
        }

        // 16. Branch s-si.
        const double Is = c.V(bSsi);
        const double rs = div(M[172], M[173], 517);
        RR[0] += rs * Is;
        RD[0] += M[141] * Is;

        // 17. Capacitance scalings, parameter-only.
        if (c.invariantsDue()) {
            M[112] = (P[2] + P[1]) * (0.5 * P[4] - 1.0) + P[1] + 18.0;
            M[103] = (P[1] - 20.0) * 26.0 * 0.5 * P[4];
            M[113] = (0.5 * P[4] - 1.0) * 120.0 + 58.0;
            M[104] = 0.5 * P[4] * 520.0;
        }

        // 18. Finger-count choices, on every call.
        const double h = c.kept(kKeptFingers, fmodOf, 0.5 * P[4], 2.0);
        if (h == 0.0) {
            M[136] = !(P[4] > 4.0) ? P[4] * M[138] : 4.0 * M[138];
        } else {
            M[136] = !(P[4] > 6.0) ? P[4] * M[137] : 6.0 * M[137];
        }
        M[139] = !(P[4] > 6.0) ? P[4] * M[140] : 6.0 * M[140];

        // 19. Linear capacitances.
        const double n = static_cast<double>(c.N[0]);
        const double cgs = div(M[95] * M[112], M[113], 540) * M[147] * n;
        const double cds = div(M[94] * M[103], M[104], 541) * M[147] * n;
        const double cgd = div(M[96] * M[112], M[113], 542) * M[147] * n;
        RD[1] += cgs * c.V(g, s);
        RD[2] += cds * c.V(d, s);
        RD[3] += cgd * c.V(g, d);
        clearNegativeZero(RR[1]);
        clearNegativeZero(RR[2]);
        clearNegativeZero(RR[3]);

        // 20. Branches g-gi and d-di.
        const double Ig = c.V(bGgi);
        const double Id = c.V(bDdi);
        const double qg = div(M[132], M[147], 543) + div(div(M[139] * M[112], M[113], 543), P[3], 543) * n;
        const double qd = div(M[128], M[147], 544) + div(M[136], P[3], 544) * n;
        const double rg = div(M[159], P[3], 545) + div(div(M[171] * M[113], M[112], 545), M[147], 545) * n;
        const auto rd = div(div(M[170] * M[104], M[103], 546), M[147], 546) * n + m150;
        RD[4] += qg * Ig;
        RD[5] += qd * Id;
        RR[4] += rg * Ig;
        RR[5] += value(rd) * Id;

        // 21.
        M[89] = P[10] * (1.0 - (P[9] - M[187]) * M[49]) + M[88];

        // 22. Gate resistance gi-gp.
        RR[6] += div(c.V(gi, gp), M[6], 553);

        // 23. Gate charge of gp-gn (the inline qc_diode).
        c.historyPair(8, M[31]);
        M[36] = M[173] * P[11];
        M[32] = M[77];
        M[34] = div(M[83], M[77], 555);
        M[35] = M[84];
        M[38] = M[89];
        M[33] = c.V(gp, gn);
        M[37] = M[33] - M[38];
        const QcDiodeCharge qc =
            qc_diode<L::full>(site, qcLine, {QcProducts::ChargeFirst, false}, M[36], M[32], M[34], M[35], M[37]);
        if (qc.smooth) {
            M[10] = qc.arg;
            M[9] = qc.lnCosh;
        }
        M[31] = qc.q;
        RD[6] += M[31];

        // 24. Gate resistance gn-si.
        const double rgn = div(M[165], M[173], 557);
        RR[8] += div(c.V(gn, si), rgn, 557);

        // 25. Gate leakage of gp-gn.
        M[196] = M[33] / 0.4;
        const double e10 = kExpFPMinus10;
        const ValueSlope t25 = diodeExp<true>(M[196]);
        M[114] = 0.3 * e10 * t25.value;
        RR[7] += M[114] * M[173];

        // 26. Gate-drain capacitance of gdi-di.
        const double vGdiDi = c.V(gdi, di);
        double cc = M[74] * vGdiDi;
        if (cc >= 500.0) {
            cc = 500.0;
        } else if (!(cc > -500.0)) {
            cc = -500.0;  // NaN included
        }
        M[65] = div(M[68], std::cosh(cc) * std::cosh(cc), 574) + M[72];
        RD[7] += vGdiDi * M[65] * M[173] * P[12];

        // 27. Gate resistance gi-gdi.
        const double rgi = div(M[161], M[173], 576);
        RR[10] += div(c.V(gi, gdi), rgi, 576);

        // 28. Thermal-trap network.
        const auto m115 = store(115, M[111] * vDiSi * M[173]);
        M[117] = c.V(xt2);
        const double vXt1 = c.V(xt1);
        RD[8] += ((P[9] - 50.0) * M[180] + 1.0) * M[177] * vXt1;
        const auto r11 = -m116 - m118 - m115;
        RR[11] += value(r11);
        RR[12] += c.V(xt2);
        RR[14] += M[117];
        const double Ix = c.V(bXt);
        RD[9] += 0.5 * M[175] * ((P[9] - 50.0) * M[178] + 1.0) * Ix;

        // 29.
        M[58] = M[60] * (1.0 - (P[9] - 40.0) * M[63]);
        RD[10] += value(vDiSi) * M[58] * M[173];

        // 30. Self-heating.
        const auto r16 = div(vNtj, P[6], 606) - vDiSi * m116;
        RR[16] += value(r16);
        RD[11] += M[1] * value(vNtj);
        RR[17] += c.V(pTj) - M[102] - P[7];

        // 31.
        RD[12] += M[0] * c.V(di, dRF);
        RR[19] += div(c.V(dRF, si), M[5], 613);

        // 32. Noise network; each source at its point.
        const double vN12 = c.V(n12);
        clearNegativeZero(RR[20]);
        c.noise(0, M[93]);
        RR[20] += vN12;
        clearNegativeZero(RR[3]);
        c.noise(1, M[92] * M[92] * M[173]);
        RR[6] += M[124] * vN12;
        c.noise(2, (1.0 - M[93]) * M[124] * M[124]);
        RR[14] += M[123] * vN12;
        c.noise(3, (1.0 - M[93]) * M[123] * M[123]);

        if constexpr (L::full) {
            JR[0] += rs;
            JR[1] += rg;
            for (int k = 0; k < 4; ++k) {
                JR[2 + k] += Id * partial(rd, k);
                JR[11 + k] += partial(r11, k);
                JR[17 + k] += partial(r16, k);
            }
            JR[6] += value(rd);
            JR[7] += div(1.0, M[6], 553);
            JR[8] += div(1.0, rgn, 557);
            JR[9] += 0.3 * e10 * t25.slope * 2.5 * M[173];
            JR[10] += div(1.0, rgi, 576);
            JR[15] += 1.0;
            JR[16] += 1.0;
            JR[21] += 1.0;
            JR[22] += -1.0;
            JR[23] += div(1.0, M[5], 613);
            JR[24] += 1.0;
            JR[25] += M[124];
            JR[26] += M[123];

            JD[0] += M[141];
            JD[1] += cgs;
            JD[2] += cds;
            JD[3] += cgd;
            JD[4] += qg;
            JD[5] += qd;
            JD[6] += qc.dq;
            // d M[65] / d V(gdi, di); a clamped argument contributes nothing,
            // nor does one where the formula overflows.
            const double k = (cc > -500.0 && cc < 500.0) ? M[74] : 0.0;
            const double d65 = sechSquaredSlope(site, line(574), M[68], cc, k);
            JD[7] += M[65] * M[173] * P[12] + vGdiDi * M[173] * P[12] * d65;
            JD[8] += ((P[9] - 50.0) * M[180] + 1.0) * M[177];
            JD[9] += 0.5 * M[175] * ((P[9] - 50.0) * M[178] + 1.0);
            JD[10] += M[58] * M[173];
            JD[11] += M[1];
            JD[12] += M[0];
        } else {
            (void)JR;
            (void)JD;
        }
    }
};

// What the three alder modules share beside their equations.
struct Traits : ModuleTraits {
    static constexpr size_t numCollapse = 24;
    using Topology = alder::Topology;
    static constexpr const auto& report = Topology::report;
};

// alder_b and alder_c: 205 model variables, no memory value, an eleventh
// history value behind the zero switch, lines shifted by 7.
struct SwitchedTraits : Traits {
    static constexpr int32_t numModelVars = 205;
    static constexpr size_t numHistory = 11;
};
struct SwitchedVariant {
    static constexpr int32_t line(int32_t l) { return l + 7; }
    static constexpr int32_t qcLine = 106;
    static constexpr double c54 = -0.011;
    static constexpr double c63 = 0.005;
    static constexpr int selectorParam = 2;
    static constexpr bool zeroSwitch = true;
};

}  // namespace hbx::alder
