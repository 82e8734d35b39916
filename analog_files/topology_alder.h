// Topology of the alder family (alder_a, alder_b, alder_c): nodes, the four
// branch state variables, the topology report, the 86 stamp requests and the
// residual entries the four noise sources drive.
#pragma once

#include "analog_files/topology.h"

namespace hbx::alder {

// First node array.
constexpr NodeRef g = n1(0), di = n1(1), s = n1(2), dii = n1(3), si = n1(4), pTj = n1(5), d = n1(6);
// Second node array: nodes, then the branch state variables.
constexpr NodeRef dRF = n2(0), gdi = n2(1), gi = n2(2), gn = n2(3), gp = n2(4), n12 = n2(5), nTj = n2(6),
                  xt1 = n2(7), xt2 = n2(8);
constexpr NodeRef bDdi = n2(9), bGgi = n2(10), bSsi = n2(11), bXt = n2(12);

struct Topology {
    static constexpr size_t numRR = 25, numRD = 13, numJR = 35, numJD = 13;

    static constexpr std::array<BranchSpec, 4> branches{{
        {"_ub_d_di_i", d, di, 9, 1},
        {"_ub_g_gi_i", g, gi, 10, 7},
        {"_ub_s_si_i", s, si, 11, 18},
        {"_ub_xt1_xt2_i", xt1, xt2, 12, 20},
    }};
    static constexpr std::array<BranchEquation, 4> branchEquations{{
        {21, 5, 27, 28},
        {22, 4, 29, 30},
        {23, 0, 31, 32},
        {24, 13, 33, 34},
    }};

    static constexpr std::array<ReportRow, 21> report{{
        {0, dRF, si, 2, "_ub_dRF_si_i"},
        {1, d, di, 2, "_ub_d_di_i"},
        {2, d, s, 1, "_ub_d_s_i"},
        {3, di, dRF, 1, "_ub_di_dRF_i"},
        {4, di, si, 1, "_ub_di_si_i"},
        {5, dii, si, 1, "_ub_dii_si_i"},
        {6, g, d, 1, "_ub_g_d_i"},
        {7, g, gi, 2, "_ub_g_gi_i"},
        {8, g, s, 1, "_ub_g_s_i"},
        {9, gdi, di, 1, "_ub_gdi_di_i"},
        {10, gi, gdi, 2, "_ub_gi_gdi_i"},
        {12, gi, gp, 2, "_ub_gi_gp_i"},
        {13, gn, si, 2, "_ub_gn_si_i"},
        {14, gp, gn, 2, "_ub_gp_gn_i"},
        {15, n12, gnd, 2, "_ub_n12__gnd_i"},
        {16, nTj, gnd, 2, "_ub_nTj__gnd_i"},
        {17, pTj, gnd, 2, "_ub_pTj__gnd_i"},
        {18, s, si, 2, "_ub_s_si_i"},
        {19, xt1, gnd, 1, "_ub_xt1__gnd_i"},
        {20, xt1, xt2, 0, "_ub_xt1_xt2_i"},
        {21, xt2, gnd, 2, "_ub_xt2__gnd_i"},
    }};

    // Resistive residual list (CreateStaticRhsStamp), by position.
    static constexpr std::array<StampEntry, numRR> rr{{
        rhs(3, bSsi, gnd, 0),  rhs(13, g, s, 0),     rhs(6, d, s, 0),      rhs(11, g, d, 0),
        rhs(2, bGgi, gnd, 0),  rhs(1, bDdi, gnd, 1), rhs(16, gi, gp, 0),   rhs(18, gp, gn, 1),
        rhs(17, gn, si, 0),    rhs(14, gdi, di, 0),  rhs(15, gi, gdi, 0),  rhs(23, xt1, gnd, 1),
        rhs(25, xt2, gnd, 0),  rhs(4, bXt, gnd, 0),  rhs(10, dii, si, 0),  rhs(9, di, si, 0),
        rhs(20, nTj, gnd, 1),  rhs(21, pTj, gnd, 0), rhs(8, di, dRF, 0),   rhs(7, dRF, si, 0),
        rhs(19, n12, gnd, 0),  rhs(5, d, di, 0),     rhs(12, g, gi, 0),    rhs(22, s, si, 0),
        rhs(24, xt1, xt2, 0),
    }};

    // Reactive residual list (CreateDynamicRhsStamp), by position.
    static constexpr std::array<StampEntry, numRD> rd{{
        rhs(28, bSsi, gnd, 0), rhs(34, g, s, 0),   rhs(30, d, s, 0),     rhs(33, g, d, 0),
        rhs(27, bGgi, gnd, 0), rhs(26, bDdi, gnd, 0), rhs(36, gp, gn, 1), rhs(35, gdi, di, 1),
        rhs(38, xt1, gnd, 0),  rhs(29, bXt, gnd, 0), rhs(32, di, si, 0),  rhs(37, nTj, gnd, 0),
        rhs(31, di, dRF, 0),
    }};

    // Resistive Jacobian list (CreateJacobianStamp, reactive flag 0), by
    // position: row pair, column pair.
    static constexpr std::array<StampEntry, numJR> jr{{
        jac(47, bSsi, gnd, bSsi, gnd, 0), jac(45, bGgi, gnd, bGgi, gnd, 0), jac(43, bDdi, gnd, gi, gn, 1),
        jac(42, bDdi, gnd, di, si, 1),    jac(40, bDdi, gnd, dRF, si, 1),   jac(44, bDdi, gnd, nTj, gnd, 1),
        jac(39, bDdi, gnd, bDdi, gnd, 1), jac(56, gi, gp, gi, gp, 0),       jac(58, gn, si, gn, si, 0),
        jac(59, gp, gn, gp, gn, 1),       jac(55, gi, gdi, gi, gdi, 0),     jac(70, xt1, gnd, gi, gn, 1),
        jac(69, xt1, gnd, di, si, 1),     jac(68, xt1, gnd, dRF, si, 1),    jac(71, xt1, gnd, nTj, gnd, 1),
        jac(73, xt2, gnd, xt2, gnd, 0),   jac(53, dii, si, xt2, gnd, 0),    jac(63, nTj, gnd, gi, gn, 1),
        jac(62, nTj, gnd, di, si, 1),     jac(61, nTj, gnd, dRF, si, 1),    jac(64, nTj, gnd, nTj, gnd, 1),
        jac(66, pTj, gnd, pTj, gnd, 0),   jac(65, pTj, gnd, nTj, gnd, 0),   jac(50, dRF, si, dRF, si, 0),
        jac(60, n12, gnd, n12, gnd, 0),   jac(57, gi, gp, n12, gnd, 0),     jac(52, dii, si, n12, gnd, 0),
        jac(51, d, di, bDdi, gnd, 0),     jac(41, bDdi, gnd, d, di, 0),     jac(54, g, gi, bGgi, gnd, 0),
        jac(46, bGgi, gnd, g, gi, 0),     jac(67, s, si, bSsi, gnd, 0),     jac(48, bSsi, gnd, s, si, 0),
        jac(72, xt1, xt2, bXt, gnd, 0),   jac(49, bXt, gnd, xt1, xt2, 0),
    }};

    // Reactive Jacobian list (reactive flag 1): each entry is the diagonal of
    // the reactive residual entry at the same position.
    static constexpr std::array<StampEntry, numJD> jd{{
        diag(76, bSsi, gnd, 0), diag(84, g, s, 0),   diag(80, d, s, 0),     diag(81, g, d, 0),
        diag(75, bGgi, gnd, 0), diag(74, bDdi, gnd, 0), diag(83, gp, gn, 1), diag(82, gdi, di, 1),
        diag(86, xt1, gnd, 0),  diag(77, bXt, gnd, 0), diag(79, di, si, 0),  diag(85, nTj, gnd, 0),
        diag(78, di, dRF, 0),
    }};

    static constexpr auto order = requestOrder(rr, rd, jr, jd);

    // Resistive residual positions driven by noise sources 0 to 3: n12 to
    // ground, g to d, gi to gp, dii to si.
    static constexpr std::array<uint8_t, 4> noiseRR{20, 3, 6, 14};
};

}  // namespace hbx::alder
