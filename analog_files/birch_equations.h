// The equations of the birch family. birch_a and birch_c evaluate the same
// steps on every load; they differ in their constants, the numbering of
// their model variables, their initial steps (birch_c moves its temperature
// and factor choices there and has a third gate-charge case), which integer
// parameter scales the extrinsic elements and which P9 a few steps read. A
// variant type says which:
//   isC             false for birch_a, true for birch_c
//   numbering       where birch_a's model variables live (numbering.h)
//   line(L)         the model-source line for birch_a's line L
//   qcLine          the line of the inline qc_diode division
//   historyPairs    the first history value of each of the five pairs
//   constants       the compiled-in constants of the initial step, in the
//                   model's own numbering
//
// The channel current and the breakdown term do not reach the circuit
// directly: their sum is delayed through the absdelay operator, whose branch
// variable (the delayed current) drives the dii-si residual.
#pragma once

#include <cmath>

#include "analog_files/equation_kit.h"
#include "analog_files/numbering.h"
#include "analog_files/topology_birch.h"

namespace hbx::birch {

struct Constant {
    int k;
    double value;
};

template <class Variant>
struct Equations {
    static constexpr bool isC = Variant::isC;
    static constexpr int32_t qcLine = Variant::qcLine;

    // The model variables in birch_a's numbering.
    static constexpr const auto& numbering = Variant::numbering;
    using Vars = ModelVars<Variant::numbering>;
    // The model variables in the model's own numbering, where its initial
    // step and its own variables are written.
    static constexpr auto ownNumbering = identity<Variant::numbering.count>(Variant::numbering.count);
    using Own = ModelVars<ownNumbering>;

    template <class L>
    static Vars vars(const L& c) {
        return {c.vars()};
    }

    // ---- initial step ---------------------------------------------------------

    template <class L>
    static void initialStep(const L& c) {
        const Own m{c.vars()};
        for (const Constant& e : Variant::constants) {
            m[e.k] = e.value;
        }
        if constexpr (isC) {
            initialStepC(c, m);
        } else {
            initialStepA(c, m);
        }
    }

    // birch_a, in its own numbering.
    template <class L>
    static void initialStepA(const L& c, const Own& m) {
        const double* P = c.P;
        const auto div = [&c](double n, double d, int32_t l) { return chkdiv(c.site(), n, d, l); };
        m[73] = P[10] + 0.14;
        m[94] = P[8] / 0.001;
        m[148] = P[3] * P[4] * m[94];
        m[124] = P[3] * P[4];
        m[123] = P[3] * P[4] * 0.5 + 1.0;
        m[114] = 5.61359588907467e-10;
        m[122] = P[3] + 1.0;
        // The source inductance, selected by N2.
        switch (c.N[2]) {
        case 0:
            m[120] = 0.0;
            m[114] = 1.9647585611761346e-09;
            break;
        case 1:
            m[120] = !(P[5] >= 2.0) ? div(1.83235609291044e-11, m[123] * P[5], 277) : 0.0;
            break;
        default:
            break;
        }
        m[134] = div(31.0473889366561 * m[94], P[4], 280);
        m[110] = !(m[94] < 0.4) ? m[111] * 0.4 : m[111] * m[94];
        m[112] = !(m[94] < 0.2) ? m[114] * 0.2 : m[114] * m[94];
        const double r = noiseCouplings(m[148], m[74], m[105]);
        m[106] = div(div(m[75], r, 299), m[5], 299);
    }

    // birch_c, in its own numbering.
    template <class L>
    static void initialStepC(const L& c, const Own& m) {
        const double* P = c.P;
        const auto div = [&c](double n, double d, int32_t l) { return chkdiv(c.site(), n, d, l); };
        m[174] = P[9];
        m[85] = P[10] + 0.14;
        m[106] = P[8] / 0.001;
        m[166] = P[3] * P[4] * m[106];
        m[142] = P[3] * P[4];
        m[141] = P[3] * P[4] * 0.5 + 1.0;
        m[140] = P[3] + 1.0;
        m[129] = 5.61359588907467e-10;

        // The selector N1 fixes the drain inductance's source A, the gate
        // inductance's base B and the source inductance.
        double A = m[125];
        double B = 5.61359588907467e-10;
        switch (c.N[1]) {
        case 0:
            m[136] = 0.0;
            break;
        case 1: {
            const double v = P[5] >= 2.0 ? div(1.756687357191309e-11, P[5] * m[141], 294)
                                         : div(1.93235609291044e-11, P[5] * m[141], 294);
            m[139] = v;
            m[125] = m[124];
            m[136] = !(P[5] >= 3.0) ? v : 0.0;
            m[129] = m[128];
            A = m[124];
            B = m[128];
            break;
        }
        case 2:
            // m[139] is stored and read by no load.
            if (!(P[5] >= 2.0)) {
                m[139] = div(1.93235609291044e-11, (P[3] + 1.0) * P[5], 302) + 1.1e-11;
                B = m[128] * 3.5;
            } else {
                m[139] = 1.1e-11;
                B = 1.9647585611761346e-09;
            }
            m[129] = B;
            break;
        default:
            break;
        }
        m[130] = B;
        m[126] = A;
        m[152] = div(31.0 * m[106], P[4], 311);
        m[123] = !(m[106] < 0.4) ? m[126] * 0.4 : m[126] * m[106];
        m[127] = !(m[106] < 0.2) ? m[130] * 0.2 : m[130] * m[106];
        const double r = noiseCouplings(m[166], m[86], m[118]);
        m[119] = div(div(m[87], r, 330), m[6], 330);

        // Temperature-dependent set, from the initial step's P9.
        if (!(P[9] < 24.0)) {
            m[78] = m[75];
            m[84] = m[82];
            m[68] = m[66];
            m[73] = m[70];
            m[65] = m[63];
            m[151] = 2 * m[146];
            m[149] = m[151];
            m[59] = (1.0 - (P[9] - 40.0) * m[60]) * m[56];
        } else {
            m[78] = m[77];
            m[84] = m[83];
            m[68] = m[67];
            m[73] = m[72];
            m[65] = m[64];
            m[149] = m[147];
            m[151] = m[148];
            m[59] = (1.0 - (P[9] - 40.0) * m[61]) * m[58];
        }

        // Values scaled by the factor F = m[2].
        factorSet(c, m[2]);
    }

    // The n12 network's drain coupling: sqrt(S) times its factor (0.0 for a
    // size factor that is not positive). Answers sqrt(S) or 0.0.
    static double noiseCouplings(double S, double factor, double& coupling) {
        if (S > 0.0) {
            const double r = std::sqrt(S);
            coupling = r * factor;
            return r;
        }
        coupling = 0.0 * factor;
        return 0.0;
    }

    // ---- per-iteration evaluation ----------------------------------------------

    // Results of parameter-only functions that the loads keep (module_frame.h).
    static constexpr size_t kKeptTanh136 = 0, kKeptTanh132 = 1, kKeptFingers = 2, numKept = 3;

    // The controlling quantities of the channel and of the delayed current:
    // V(gi, gn), V(di, si), V(dRF, si) and V(nTj), in the order of the
    // operator's derivative doublets; the full load carries derivatives by
    // them.
    static constexpr int kGiGn = 0, kDiSi = 1, kDrfSi = 2, kNtj = 3;

    // The first history value of smoothing stretch n.
    static constexpr size_t pair(int n) { return static_cast<size_t>(Variant::historyPairs[n]); }

    // birch_a's temperature-dependent set, on every load from the present
    // P9; the values of its low-temperature branch are kept in history
    // values 2 to 4 while the invariants are not due.
    template <class L>
    static void temperatureSetA(const L& c, const Own& m) {
        const double P9 = c.P[9];
        if (!(P9 < 24.0)) {
            m[61] = m[60];
            m[59] = m[58];
            m[65] = m[63];
            m[133] = 2 * m[128];
            m[131] = m[133];
            return;
        }
        double* h = c.history();
        if (c.invariantsDue()) {
            h[2] = m[59] = 2.21784039872408e-13;
            h[3] = m[61] = 1.11790309318347e-13;
            h[4] = m[65] = -0.03081522597130921;
        } else {
            m[59] = h[2];
            m[61] = h[3];
            m[65] = h[4];
        }
        m[131] = m[129];
        m[133] = m[130];
    }

    // The values scaled by the factor F: birch_a's integer parameter 0 on
    // every load, birch_c's m[2] (1.0) in its initial step.
    template <class L>
    static void factorSet(const L& c, double F) {
        const Vars M = vars(c);
        const double P9 = c.P[9];
        M[3] = M[2];
        M[55] = (0.4 * F + 0.6) * M[54];
        M[138] = (0.9 * F + 0.1) * M[137];
        const double g = 0.2 * F + 0.8;
        M[68] = M[67] * g;
        M[70] = M[69] * g;
        M[64] = g * M[65];
        M[144] = F * M[143];
        M[62] = (1.87 - 0.87 * F) * M[61];
        M[142] = (1.5 - 0.5 * F) * M[141];
        M[140] = ((P9 - 40.0) * M[144] + 1.0) * M[142];
        M[136] = (c.kept(kKeptTanh136, tanhOf, (P9 - 40.0) * M[139]) + 1) * M[138];
        M[66] = ((P9 - 40.0) * M[72] + 1.0) * M[68];
    }

    template <class L>
    static void evaluate(const L& c) {
        const Vars M = vars(c);
        const Own own{c.vars()};
        const double* P = c.P;
        const DivSite site = c.site();
        const auto div = [&site](const auto& n, const auto& d, int32_t l) {
            return chkdiv(site, n, d, Variant::line(l));
        };
        const auto store = [&M](int k, const auto& x) {
            M[k] = value(x);
            return x;
        };
        // birch_c subtracts its model variable 191 (0.0) at three places.
        const auto offset = [own](const auto& x) {
            if constexpr (isC) {
                return x - own[191];
            } else {
                (void)own;
                return x;
            }
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
        M[161] = value(vGiGn);
        M[155] = value(vDiSi);
        M[157] = value(vDrfSi);
        M[86] = value(vNtj);

        // 2. Gate shaping.
        const auto u = vGiGn - M[166];
        const auto m108 = store(108, (tanh(M[104] * u) + 1) * (M[107] - M[109]) * 0.5 + M[109]);
        const auto t = tanh(M[103] * u);
        const auto m48 = store(48, (t + 1) * (M[50] - M[51]) * 0.5 + M[51]);

        // 3. Temperature scalings; birch_c reads P9 as its initial step stored it.
        const double p9s = isC ? own[174] : P[9];
        M[47] = div(M[46] * 40.0, p9s, 318);
        const auto m49 = store(49, div(m48 * 80.0, p9s + 40.0, 319));

        // 4.
        M[12] = M[155];  // the drain voltage the smooth limit below works on
        const auto sd = tanh((vDiSi - M[154]) * M[102]);
        const auto m45 = store(45, (M[47] - m49) * 0.5 * (sd + 1) + m49);

        // 5. Smooth limit of the drain voltage.
        if constexpr (isC) {
            M[11] = own[117];
            M[13] = own[174] + own[172];
        } else if (c.invariantsDue()) {
            M[11] = 1.5;
            M[13] = P[9] + 0.5;
        }
        const auto m158 = smoothStretch<false>(c, M, pair(0), 9, vDiSi, M[13]);
        M[158] = M[9];

        // 6. Gate-drive offset.
        const double half = isC ? own[172] : 0.5;
        const auto m170 = store(170, (1 - m45 * ((m158 - p9s) - half)) * P[10]);
        const auto m169 = store(169, offset(P[11] * m170));

        // 7, 8. birch_a keeps its temperature and factor sets per load.
        if constexpr (!isC) {
            temperatureSetA(c, own);
            factorSet(c, static_cast<double>(c.N[0]));
        }

        // 9. Smooth lower limit of the gate drive.
        const auto m17 = store(17, vGiGn - m169);
        const auto m18 = store(18, M[166] - m169);
        M[16] = M[90];
        const auto m162 = smoothStretch<false>(c, M, pair(1), 14, m17, m18);
        M[162] = M[14];

        // 10. Soft limit through limexp; the log's argument is floored at 1e-300.
        const auto x10 = div(M[167] - m162, M[168], 385);
        const auto m159 = store(159, softLimit(c.limexpDesc(), x10, M[167], M[168]));

        // 11. Effective gate drive.
        const auto m126 = store(126, M[38] * powM(M[91], (m159 - M[166]) * M[37]));
        const auto m164 = div(m126 * M[166] + m159, m126 + 1.0, 387);
        M[164] = value(m164);
        M[165] = value(m164);
        const auto m22 = store(22, offset(m164));

        // 12. Smooth floor of the effective drive.
        const auto m44a = smoothFloor(c, M, pair(2), 19, m22);
        M[44] = M[19];

        // 13, 14.
        const auto m92 = store(92, div(m44a, m44a + 1.0, 396));
        const auto m93 = store(93, div(m44a, m44a + 0.2, 397));
        const auto m160 = store(160, m93 * vDrfSi * M[52] + m164);
        const auto m149 = store(149, m92 * m108 * vDiSi + 1.0);

        // 15. Breakdown term Q2 of V(di, si).
        const auto q2 = store(101, softBreakdown<false>(vDiSi));

        // 16. Smooth floor of the drain-side drive.
        const auto m44 = smoothFloor(c, M, pair(3), 24, store(27, offset(m160)));
        M[44] = M[24];

        // 17, 18.
        const auto m125 = store(125, div(M[39] * (m44 * m44 * m44), powM(m44, M[41]) * M[40] + 1.0, 413));
        const auto m83 = store(83, (tanh((m125 - M[2] * 0.5) * M[103]) + 1) * (M[84] - M[85]) * 0.5 + M[85]);
        const auto m89 = store(89, tanh(m83 * vDiSi));

        // 19. Temperature.
        const auto m6 = store(6, P[7] + vNtj);
        const auto m152 = store(152, powM(10.0, (m6 - 25.0) * -M[81]));
        store(153, powM(10.0, -M[82] * (m6 - 25.0)));

        // 20. Channel current Q1.
        const double S = M[148];
        const auto q1 = store(100, m125 * S * m89 * m149 * M[3] * m152);

        // 21.1 The current-dependent drain resistance.
        const double m132 = (M[133] - M[128]) * 0.5 * (c.kept(kKeptTanh132, tanhOf, (P[9] - M[156]) * M[43]) + 1) + M[128];
        M[132] = m132;
        const auto m127 = store(127, div((M[131] - m132) * tanh(M[42] * (q1 * q1 * q1)) + m132, S, 429));

        if constexpr (isC) {
            if (own[7] == 1.0) {
                own[123] = 0.0;
            }
        }

        // 21.2 Branch s-si.
        const double Is = c.V(bSsi);
        const double rs = div(M[147], S, 449);
        RR[0] += rs * Is;
        RD[0] += M[120] * Is;
        clearNegativeZero(RR[0]);

        // 21.3 Geometry, parameter-only, then the finger-count choices.
        if (c.invariantsDue()) {
            M[96] = (P[2] + P[1]) * (P[4] * 0.5 - 1.0) + P[1] + 18.0;
            M[87] = (P[1] - 20.0) * 26.0 * P[4] * 0.5;
            M[97] = (P[4] * 0.5 - 1.0) * 120.0 + 58.0;
            M[88] = P[4] * 0.5 * 520.0;
        }
        const double fingers = c.kept(kKeptFingers, fmodOf, P[4] * 0.5, 2.0);
        if (fingers == 0.0) {
            M[115] = !(P[4] > 4.0) ? P[4] * M[117] : 4.0 * M[117];
        } else {
            M[115] = !(P[4] > 6.0) ? P[4] * M[116] : 6.0 * M[116];
        }
        M[118] = !(P[4] > 6.0) ? P[4] * M[119] : 6.0 * M[119];

        // 21.4 Pad capacitances, scaled by the extrinsic factor.
        const double nx = static_cast<double>(isC ? c.N[0] : c.N[1]);
        const double c1 = div(M[79] * M[96], M[97], 471) * M[124] * nx;
        const double c2 = div(M[78] * M[87], M[88], 472) * M[124] * nx;
        const double c3 = div(M[80] * M[96], M[97], 473) * M[124] * nx;
        RD[1] += c.V(g, s) * c1;
        RD[2] += c.V(d, s) * c2;
        RD[3] += c.V(g, d) * c3;
        clearNegativeZero(RR[1]);
        clearNegativeZero(RR[2]);
        clearNegativeZero(RR[3]);

        // 21.5 Branch inductances.
        const double Ig = c.V(bGgi);
        const double Id = c.V(bDdi);
        const double Lg = nx * div(div(M[118] * M[96], M[97], 474), P[3], 474) + div(M[112], M[124], 474);
        const double Ld = nx * div(M[115], P[3], 475) + div(M[110], M[124], 475);
        RD[4] += Lg * Ig;
        RD[5] += Ld * Id;

        // 21.6 Gate and drain resistances.
        const double Rg = div(M[134], P[3], 476) + nx * div(div(M[146] * M[97], M[96], 476), M[124], 476);
        const auto Rd = nx * div(div(M[145] * M[88], M[87], 477), M[124], 477) + m127;
        RR[4] += Rg * Ig;
        RR[5] += value(Rd) * Id;

        // 21.7
        RR[6] += div(c.V(gi, gp), M[5], 482);

        // 21.8 Gate charge of gp-gn (the inline qc_diode).
        c.historyPair(pair(4), M[29]);
        M[30] = M[66];
        M[34] = S * P[11];
        M[32] = div(M[70], M[66], 484);
        M[33] = M[71];
        M[36] = M[73];
        M[31] = c.V(gp, gn);
        M[35] = M[31] - M[36];
        const QcDiodeCharge gateCharge =
            qc_diode<L::full>(site, qcLine, {QcProducts::ChargeFirst, false}, M[34], M[30], M[32], M[33], M[35]);
        if (gateCharge.smooth) {
            M[8] = gateCharge.arg;
            M[7] = gateCharge.lnCosh;
        }
        M[29] = gateCharge.q;
        RD[6] += M[29];
        clearNegativeZero(RR[7]);

        // 21.9
        const double rgn = div(M[140], S, 486);
        RR[8] += div(c.V(gn, si), rgn, 486);

        // 21.10 Gate diode of gp-gn.
        M[163] = M[31] / 0.4;
        const double e10 = kExpFPMinus10;
        const ValueSlope tgd = diodeExp<false>(M[163]);
        M[98] = e10 * 0.3 * tgd.value;
        RR[7] += M[98] * S;

        // 21.11 Gate-drain capacitance of gdi-di; a NaN argument counts as
        // clamped low.
        const double vGdiDi = c.V(gdi, di);
        double a = M[64] * vGdiDi;
        if (!(a > -500.0)) {
            a = -500.0;
        } else if (a >= 500.0) {
            a = 500.0;
        }
        const double ch = std::cosh(a);
        M[57] = div(M[59], ch * ch, 503) + M[62];
        RD[7] += vGdiDi * M[57] * S * P[12];
        clearNegativeZero(RR[9]);

        // 21.12
        const double rgi = div(M[136], S, 505);
        RR[10] += div(c.V(gi, gdi), rgi, 505);

        // 22. The delay channel: Q0 + Q1 + Q2 goes through the absdelay
        // operator; its branch variable, the delayed current, drives dii-si.
        const auto q0 = store(99, vDiSi * M[95] * S);
        const auto x = q0 + q1 + q2;
        const double F = isC ? own[2] : static_cast<double>(c.N[0]);
        const double td = (0.2 * F + 0.8) * M[150] * ((P[9] - 40.0) * M[151] + 1.0);
        ZRT_OpBranch_delay* op = c.b->delayOp[0];
        ZRT_delaySetArg(op, value(x), td, 0.0, c.loader);
        if constexpr (L::full) {
            for (int k = 0; k < 4; ++k) {
                ZRT_delaySetArg_dwrt(op, c.b->derivHandles[k], partial(x, k), c.loader);
            }
        }
        RR[11] += c.V(opBranch);

        // 22.1 Drain-source capacitance.
        const double cdsTc = isC ? own[60] : M[56];
        M[53] = M[55] * (1.0 - (P[9] - 40.0) * cdsTc);
        RD[8] += value(vDiSi) * M[53] * S;
        clearNegativeZero(RR[12]);

        // 22.2 Self-heating, from the channel current alone.
        const auto heat = -vDiSi * q1;
        RR[13] += value(heat);
        const auto rth = div(vNtj, P[6], 529);
        RR[13] += value(rth);
        RD[9] += value(vNtj) * M[1];

        // 22.3 to 22.5
        RR[14] += c.V(pTj) - M[86] - P[7];
        clearNegativeZero(RR[15]);
        RD[10] += c.V(di, dRF) * M[0];
        RR[16] += div(c.V(dRF, si), M[4], 536);
        clearNegativeZero(RR[17]);

        // 23. The n12 network; each noise source at its point.
        const double vN12 = c.V(n12);
        c.noise(0, M[77]);
        RR[17] += vN12;
        clearNegativeZero(RR[3]);
        c.noise(1, M[76] * M[76] * S);
        clearNegativeZero(RR[6]);
        RR[6] += M[106] * vN12;
        c.noise(2, (1.0 - M[77]) * M[106] * M[106]);
        clearNegativeZero(RR[11]);
        RR[11] += M[105] * vN12;
        c.noise(3, (1.0 - M[77]) * M[105] * M[105]);

        if constexpr (L::full) {
            JR[0] += rs;
            JR[1] += Rg;
            for (int k = 0; k < 4; ++k) {
                JR[2 + k] += Id * partial(Rd, k);
                JR[12 + k] += partial(heat, k);
            }
            JR[6] += value(Rd);
            JR[7] += div(1.0, M[5], 482);
            JR[8] += div(1.0, rgn, 486);
            JR[9] += e10 * 0.3 * tgd.slope * 2.5 * S;
            JR[10] += div(1.0, rgi, 505);
            JR[11] += 1.0;
            JR[15] += partial(rth, kNtj);
            JR[16] += 1.0;
            JR[17] += -1.0;
            JR[18] += div(1.0, M[4], 536);
            JR[19] += 1.0;
            JR[20] += M[106];
            JR[21] += M[105];

            JD[0] += M[120];
            JD[1] += c1;
            JD[2] += c2;
            JD[3] += c3;
            JD[4] += Lg;
            JD[5] += Ld;
            JD[6] += gateCharge.dq;
            const double k = (a > -500.0 && a < 500.0) ? M[64] : 0.0;
            const double d57 = sechSquaredSlope(site, Variant::line(503), M[59], a, k);
            JD[7] += M[57] * S * P[12] + vGdiDi * S * P[12] * d57;
            JD[8] += M[53] * S;
            JD[9] += M[1];
            JD[10] += M[0];
        } else {
            (void)JR;
            (void)JD;
        }
    }
};

}  // namespace hbx::birch
