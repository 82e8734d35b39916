// Topology of the cedar family (cedar_a, cedar_b, cedar_c): nodes with the
// inner source node sii, the five branch state variables, the two topology
// reports, the 87 stamp requests and the residual entries the four noise
// sources drive. The three models share everything here but the report of
// the di-si branch.
#pragma once

#include "analog_files/topology.h"

namespace hbx::cedar {

struct Topology {
    static constexpr bool hasPTj = false;
    static constexpr size_t numRR = 26, numRD = 13, numJR = 35, numJD = 13;

    // First node array.
    static constexpr NodeRef g = n1(0), di = n1(1), s = n1(2), dii = n1(3), si = n1(4), nTj = n1(5), d = n1(6);
    // Second node array: nodes (slot 3 is the host's and never used), then
    // the branch state variables.
    static constexpr NodeRef dRF = n2(0), gdi = n2(1), gi = n2(2), gn = n2(4), gp = n2(5), n12 = n2(6),
                             sii = n2(7), xt1 = n2(8), xt2 = n2(9);
    static constexpr NodeRef bDdi = n2(10), bGgi = n2(11), bSsii = n2(12), bSiisi = n2(13), bXt = n2(14);

    // The equations address the lists by these positions.
    static constexpr int rrAt(int k) { return k; }
    static constexpr int jrAt(int k) { return k; }

    static constexpr std::array<BranchSpec, 5> branches{{
        {"_ub_d_di_i", d, di, 10, 1},
        {"_ub_g_gi_i", g, gi, 11, 7},
        {"_ub_s_sii_i", s, sii, 12, 17},
        {"_ub_sii_si_i", sii, si, 13, 18},
        {"_ub_xt1_xt2_i", xt1, xt2, 14, 20},
    }};
    static constexpr std::array<BranchEquation, 5> branchEquations{{
        {21, 6, 25, 26},
        {22, 5, 27, 28},
        {23, 0, 29, 30},
        {24, 1, 31, 32},
        {25, 14, 33, 34},
    }};

    // The report rows the three models share, in ascending byte order of the
    // names. cedar_a reports the di-si branch as the named branch
    // "cds_br_i", last (collapse byte 22); cedar_b and cedar_c as
    // "_ub_di_si_i", fifth (byte 4). Bytes 11 (and 4 in cedar_a) belong to
    // no branch.
    static constexpr std::array<ReportRow, 20> sharedReport{{
        {0, dRF, si, 2, "_ub_dRF_si_i"},
        {1, d, di, 2, "_ub_d_di_i"},
        {2, d, s, 1, "_ub_d_s_i"},
        {3, di, dRF, 1, "_ub_di_dRF_i"},
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
        {17, s, sii, 2, "_ub_s_sii_i"},
        {18, sii, si, 0, "_ub_sii_si_i"},
        {19, xt1, gnd, 1, "_ub_xt1__gnd_i"},
        {20, xt1, xt2, 0, "_ub_xt1_xt2_i"},
        {21, xt2, gnd, 2, "_ub_xt2__gnd_i"},
    }};
    static constexpr std::array<ReportRow, 21> reportA = withRow(sharedReport, {22, di, si, 1, "cds_br_i"}, 20);
    static constexpr std::array<ReportRow, 21> reportB = withRow(sharedReport, {4, di, si, 1, "_ub_di_si_i"}, 4);

    // Resistive residual list (CreateStaticRhsStamp), by position.
    static constexpr std::array<StampEntry, numRR> rr{{
        rhs(3, bSsii, gnd, 0), rhs(4, bSiisi, gnd, 0), rhs(14, g, s, 0),     rhs(7, d, s, 0),
        rhs(12, g, d, 0),      rhs(2, bGgi, gnd, 0),   rhs(1, bDdi, gnd, 1), rhs(17, gi, gp, 0),
        rhs(19, gp, gn, 1),    rhs(18, gn, si, 0),     rhs(15, gdi, di, 0),  rhs(16, gi, gdi, 0),
        rhs(24, xt1, gnd, 1),  rhs(26, xt2, gnd, 0),   rhs(5, bXt, gnd, 0),  rhs(11, dii, si, 0),
        rhs(10, di, si, 0),    rhs(21, nTj, gnd, 1),   rhs(9, di, dRF, 0),   rhs(8, dRF, si, 0),
        rhs(20, n12, gnd, 0),  rhs(6, d, di, 0),       rhs(13, g, gi, 0),    rhs(22, s, sii, 0),
        rhs(23, sii, si, 0),   rhs(25, xt1, xt2, 0),
    }};

    // Reactive residual list (CreateDynamicRhsStamp), by position.
    static constexpr std::array<StampEntry, numRD> rd{{
        rhs(29, bSiisi, gnd, 0), rhs(35, g, s, 0),      rhs(31, d, s, 0),     rhs(34, g, d, 0),
        rhs(28, bGgi, gnd, 0),   rhs(27, bDdi, gnd, 0), rhs(37, gp, gn, 1),   rhs(36, gdi, di, 1),
        rhs(39, xt1, gnd, 0),    rhs(30, bXt, gnd, 0),  rhs(33, di, si, 0),   rhs(38, nTj, gnd, 0),
        rhs(32, di, dRF, 0),
    }};

    // Resistive Jacobian list (reactive flag 0), by position: row, column.
    static constexpr std::array<StampEntry, numJR> jr{{
        jac(48, bSsii, gnd, bSsii, gnd, 0), jac(46, bGgi, gnd, bGgi, gnd, 0),   jac(44, bDdi, gnd, gi, gn, 1),
        jac(43, bDdi, gnd, di, si, 1),      jac(41, bDdi, gnd, dRF, si, 1),     jac(45, bDdi, gnd, nTj, gnd, 1),
        jac(40, bDdi, gnd, bDdi, gnd, 1),   jac(58, gi, gp, gi, gp, 0),         jac(60, gn, si, gn, si, 0),
        jac(61, gp, gn, gp, gn, 1),         jac(57, gi, gdi, gi, gdi, 0),       jac(71, xt1, gnd, gi, gn, 1),
        jac(70, xt1, gnd, di, si, 1),       jac(69, xt1, gnd, dRF, si, 1),      jac(72, xt1, gnd, nTj, gnd, 1),
        jac(74, xt2, gnd, xt2, gnd, 0),     jac(55, dii, si, xt2, gnd, 0),      jac(65, nTj, gnd, gi, gn, 1),
        jac(64, nTj, gnd, di, si, 1),       jac(63, nTj, gnd, dRF, si, 1),      jac(66, nTj, gnd, nTj, gnd, 1),
        jac(52, dRF, si, dRF, si, 0),       jac(62, n12, gnd, n12, gnd, 0),     jac(59, gi, gp, n12, gnd, 0),
        jac(54, dii, si, n12, gnd, 0),      jac(53, d, di, bDdi, gnd, 0),       jac(42, bDdi, gnd, d, di, 0),
        jac(56, g, gi, bGgi, gnd, 0),       jac(47, bGgi, gnd, g, gi, 0),       jac(68, s, sii, bSsii, gnd, 0),
        jac(49, bSsii, gnd, s, sii, 0),     jac(67, sii, si, bSiisi, gnd, 0),   jac(50, bSiisi, gnd, sii, si, 0),
        jac(73, xt1, xt2, bXt, gnd, 0),     jac(51, bXt, gnd, xt1, xt2, 0),
    }};

    // Reactive Jacobian list (reactive flag 1): the diagonal of the reactive
    // residual entry at the same position.
    static constexpr std::array<StampEntry, numJD> jd{{
        diag(77, bSiisi, gnd, 0), diag(85, g, s, 0),      diag(81, d, s, 0),   diag(82, g, d, 0),
        diag(76, bGgi, gnd, 0),   diag(75, bDdi, gnd, 0), diag(84, gp, gn, 1), diag(83, gdi, di, 1),
        diag(87, xt1, gnd, 0),    diag(78, bXt, gnd, 0),  diag(80, di, si, 0), diag(86, nTj, gnd, 0),
        diag(79, di, dRF, 0),
    }};

    static constexpr auto order = requestOrder(rr, rd, jr, jd);

    // Resistive residual positions driven by noise sources 0 to 3: n12 to
    // ground, g to d, gi to gp, dii to si.
    static constexpr std::array<uint8_t, 4> noiseRR{20, 4, 7, 15};
};

}  // namespace hbx::cedar
