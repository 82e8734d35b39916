// Topology of larch_a: the alder frame with the xt1/xt2 network and pTj,
// and the cedar family's inner source node sii (branches s-sii and sii-si in
// place of s-si); the di-si branch is the named branch "cds_br_i". Its lists
// hold the cedar lists' entries plus the pTj row, so the positions from the
// pTj residual and its two Jacobian entries on are shifted.
#pragma once

#include "analog_files/topology.h"

namespace hbx::larch {

struct Topology {
    static constexpr bool hasPTj = true;
    static constexpr size_t numRR = 27, numRD = 13, numJR = 37, numJD = 13;

    // First node array.
    static constexpr NodeRef g = n1(0), di = n1(1), s = n1(2), dii = n1(3), si = n1(4), pTj = n1(5), d = n1(6);
    // Second node array: nodes (slot 3 is the host's and never used), then
    // the branch state variables.
    static constexpr NodeRef dRF = n2(0), gdi = n2(1), gi = n2(2), gn = n2(4), gp = n2(5), n12 = n2(6),
                             nTj = n2(7), sii = n2(8), xt1 = n2(9), xt2 = n2(10);
    static constexpr NodeRef bDdi = n2(11), bGgi = n2(12), bSsii = n2(13), bSiisi = n2(14), bXt = n2(15);

    // The pTj residual and its Jacobian entries (pTj) and (pTj) x (nTj); the
    // cedar positions from there on move up by one and two.
    static constexpr int rPTj = 18, jPTj = 21, jPTjNtj = 22;
    static constexpr int rrAt(int k) { return k >= rPTj ? k + 1 : k; }
    static constexpr int jrAt(int k) { return k >= jPTj ? k + 2 : k; }

    static constexpr std::array<BranchSpec, 5> branches{{
        {"_ub_d_di_i", d, di, 11, 1},
        {"_ub_g_gi_i", g, gi, 12, 6},
        {"_ub_s_sii_i", s, sii, 13, 16},
        {"_ub_sii_si_i", sii, si, 14, 17},
        {"_ub_xt1_xt2_i", xt1, xt2, 15, 19},
    }};
    static constexpr std::array<BranchEquation, 5> branchEquations{{
        {22, 6, 27, 28},
        {23, 5, 29, 30},
        {24, 0, 31, 32},
        {25, 1, 33, 34},
        {26, 14, 35, 36},
    }};

    static constexpr std::array<ReportRow, 22> report{{
        {0, dRF, si, 2, "_ub_dRF_si_i"},
        {1, d, di, 2, "_ub_d_di_i"},
        {2, d, s, 1, "_ub_d_s_i"},
        {3, di, dRF, 1, "_ub_di_dRF_i"},
        {4, dii, si, 1, "_ub_dii_si_i"},
        {5, g, d, 1, "_ub_g_d_i"},
        {6, g, gi, 2, "_ub_g_gi_i"},
        {7, g, s, 1, "_ub_g_s_i"},
        {8, gdi, di, 1, "_ub_gdi_di_i"},
        {9, gi, gdi, 2, "_ub_gi_gdi_i"},
        {10, gi, gp, 2, "_ub_gi_gp_i"},
        {11, gn, si, 2, "_ub_gn_si_i"},
        {12, gp, gn, 2, "_ub_gp_gn_i"},
        {13, n12, gnd, 2, "_ub_n12__gnd_i"},
        {14, nTj, gnd, 2, "_ub_nTj__gnd_i"},
        {15, pTj, gnd, 2, "_ub_pTj__gnd_i"},
        {16, s, sii, 2, "_ub_s_sii_i"},
        {17, sii, si, 0, "_ub_sii_si_i"},
        {18, xt1, gnd, 1, "_ub_xt1__gnd_i"},
        {19, xt1, xt2, 0, "_ub_xt1_xt2_i"},
        {20, xt2, gnd, 2, "_ub_xt2__gnd_i"},
        {21, di, si, 1, "cds_br_i"},
    }};

    // Resistive residual list (CreateStaticRhsStamp), by position.
    static constexpr std::array<StampEntry, numRR> rr{{
        rhs(3, bSsii, gnd, 0), rhs(4, bSiisi, gnd, 0), rhs(14, g, s, 0),     rhs(7, d, s, 0),
        rhs(12, g, d, 0),      rhs(2, bGgi, gnd, 0),   rhs(1, bDdi, gnd, 1), rhs(17, gi, gp, 0),
        rhs(19, gp, gn, 1),    rhs(18, gn, si, 0),     rhs(15, gdi, di, 0),  rhs(16, gi, gdi, 0),
        rhs(25, xt1, gnd, 1),  rhs(27, xt2, gnd, 0),   rhs(5, bXt, gnd, 0),  rhs(11, dii, si, 0),
        rhs(10, di, si, 0),    rhs(21, nTj, gnd, 1),   rhs(22, pTj, gnd, 0), rhs(9, di, dRF, 0),
        rhs(8, dRF, si, 0),    rhs(20, n12, gnd, 0),   rhs(6, d, di, 0),     rhs(13, g, gi, 0),
        rhs(23, s, sii, 0),    rhs(24, sii, si, 0),    rhs(26, xt1, xt2, 0),
    }};

    // Reactive residual list (CreateDynamicRhsStamp), by position.
    static constexpr std::array<StampEntry, numRD> rd{{
        rhs(30, bSiisi, gnd, 0), rhs(36, g, s, 0),      rhs(32, d, s, 0),     rhs(35, g, d, 0),
        rhs(29, bGgi, gnd, 0),   rhs(28, bDdi, gnd, 0), rhs(38, gp, gn, 1),   rhs(37, gdi, di, 1),
        rhs(40, xt1, gnd, 0),    rhs(31, bXt, gnd, 0),  rhs(34, di, si, 0),   rhs(39, nTj, gnd, 0),
        rhs(33, di, dRF, 0),
    }};

    // Resistive Jacobian list (reactive flag 0), by position: row, column.
    static constexpr std::array<StampEntry, numJR> jr{{
        jac(49, bSsii, gnd, bSsii, gnd, 0), jac(47, bGgi, gnd, bGgi, gnd, 0),   jac(45, bDdi, gnd, gi, gn, 1),
        jac(44, bDdi, gnd, di, si, 1),      jac(42, bDdi, gnd, dRF, si, 1),     jac(46, bDdi, gnd, nTj, gnd, 1),
        jac(41, bDdi, gnd, bDdi, gnd, 1),   jac(59, gi, gp, gi, gp, 0),         jac(61, gn, si, gn, si, 0),
        jac(62, gp, gn, gp, gn, 1),         jac(58, gi, gdi, gi, gdi, 0),       jac(74, xt1, gnd, gi, gn, 1),
        jac(73, xt1, gnd, di, si, 1),       jac(72, xt1, gnd, dRF, si, 1),      jac(75, xt1, gnd, nTj, gnd, 1),
        jac(77, xt2, gnd, xt2, gnd, 0),     jac(56, dii, si, xt2, gnd, 0),      jac(66, nTj, gnd, gi, gn, 1),
        jac(65, nTj, gnd, di, si, 1),       jac(64, nTj, gnd, dRF, si, 1),      jac(67, nTj, gnd, nTj, gnd, 1),
        jac(69, pTj, gnd, pTj, gnd, 0),     jac(68, pTj, gnd, nTj, gnd, 0),     jac(53, dRF, si, dRF, si, 0),
        jac(63, n12, gnd, n12, gnd, 0),     jac(60, gi, gp, n12, gnd, 0),       jac(55, dii, si, n12, gnd, 0),
        jac(54, d, di, bDdi, gnd, 0),       jac(43, bDdi, gnd, d, di, 0),       jac(57, g, gi, bGgi, gnd, 0),
        jac(48, bGgi, gnd, g, gi, 0),       jac(71, s, sii, bSsii, gnd, 0),     jac(50, bSsii, gnd, s, sii, 0),
        jac(70, sii, si, bSiisi, gnd, 0),   jac(51, bSiisi, gnd, sii, si, 0),   jac(76, xt1, xt2, bXt, gnd, 0),
        jac(52, bXt, gnd, xt1, xt2, 0),
    }};

    // Reactive Jacobian list (reactive flag 1): the diagonal of the reactive
    // residual entry at the same position.
    static constexpr std::array<StampEntry, numJD> jd{{
        diag(80, bSiisi, gnd, 0), diag(88, g, s, 0),      diag(84, d, s, 0),   diag(85, g, d, 0),
        diag(79, bGgi, gnd, 0),   diag(78, bDdi, gnd, 0), diag(87, gp, gn, 1), diag(86, gdi, di, 1),
        diag(90, xt1, gnd, 0),    diag(81, bXt, gnd, 0),  diag(83, di, si, 0), diag(89, nTj, gnd, 0),
        diag(82, di, dRF, 0),
    }};

    static constexpr auto order = requestOrder(rr, rd, jr, jd);

    // Resistive residual positions driven by noise sources 0 to 3: n12 to
    // ground, g to d, gi to gp, dii to si.
    static constexpr std::array<uint8_t, 4> noiseRR{21, 4, 7, 15};
};

}  // namespace hbx::larch
