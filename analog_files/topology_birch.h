// Topology of the birch family (birch_a, birch_c): nodes, the three branch
// state variables, the two topology reports, the 71 stamp requests (one of
// them on the absdelay operator's branch variable), the four node pairs the
// delayed quantity is differentiated by and the residual entries the four
// noise sources drive.
#pragma once

#include "analog_files/topology.h"

namespace hbx::birch {

// First node array.
constexpr NodeRef g = n1(0), di = n1(1), s = n1(2), dii = n1(3), si = n1(4), pTj = n1(5), d = n1(6);
// Second node array: nodes, then the branch state variables.
constexpr NodeRef dRF = n2(0), gdi = n2(1), gi = n2(2), gn = n2(3), gp = n2(4), n12 = n2(5), nTj = n2(6);
constexpr NodeRef bDdi = n2(7), bGgi = n2(8), bSsi = n2(9);

// The report rows both models share, in ascending byte order of the names.
constexpr std::array<ReportRow, 17> sharedReport{{
    {0, dRF, si, 2, "_ub_dRF_si_i"},     {1, d, di, 2, "_ub_d_di_i"},         {2, d, s, 1, "_ub_d_s_i"},
    {3, di, dRF, 1, "_ub_di_dRF_i"},     {5, dii, si, 1, "_ub_dii_si_i"},     {6, g, d, 1, "_ub_g_d_i"},
    {7, g, gi, 2, "_ub_g_gi_i"},         {8, g, s, 1, "_ub_g_s_i"},           {9, gdi, di, 1, "_ub_gdi_di_i"},
    {10, gi, gdi, 2, "_ub_gi_gdi_i"},    {12, gi, gp, 2, "_ub_gi_gp_i"},      {13, gn, si, 2, "_ub_gn_si_i"},
    {14, gp, gn, 2, "_ub_gp_gn_i"},      {15, n12, gnd, 2, "_ub_n12__gnd_i"}, {16, nTj, gnd, 2, "_ub_nTj__gnd_i"},
    {17, pTj, gnd, 2, "_ub_pTj__gnd_i"}, {18, s, si, 2, "_ub_s_si_i"},
}};

// birch_a reports its di-si branch fifth, as "_ub_di_si_i"; birch_c reports
// it last, as "cds_br_i".
constexpr std::array<ReportRow, 18> reportA = withRow(sharedReport, {4, di, si, 1, "_ub_di_si_i"}, 4);
constexpr std::array<ReportRow, 18> reportC = withRow(sharedReport, {19, di, si, 1, "cds_br_i"}, 17);

struct Topology {
    static constexpr size_t numRR = 21, numRD = 11, numJR = 28, numJD = 11;

    static constexpr std::array<BranchSpec, 3> branches{{
        {"_ub_d_di_i", d, di, 7, 1},
        {"_ub_g_gi_i", g, gi, 8, 7},
        {"_ub_s_si_i", s, si, 9, 18},
    }};
    static constexpr std::array<BranchEquation, 3> branchEquations{{
        {18, 5, 22, 23},
        {19, 4, 24, 25},
        {20, 0, 26, 27},
    }};

    // Resistive residual list (CreateStaticRhsStamp), by position.
    static constexpr std::array<StampEntry, numRR> rr{{
        rhs(3, bSsi, gnd, 0),  rhs(12, g, s, 0),    rhs(5, d, s, 0),      rhs(10, g, d, 0),
        rhs(2, bGgi, gnd, 0),  rhs(1, bDdi, gnd, 1), rhs(15, gi, gp, 0),  rhs(17, gp, gn, 1),
        rhs(16, gn, si, 0),    rhs(13, gdi, di, 0), rhs(14, gi, gdi, 0),  rhs(9, dii, si, 0),
        rhs(8, di, si, 0),     rhs(19, nTj, gnd, 1), rhs(20, pTj, gnd, 0), rhs(7, di, dRF, 0),
        rhs(6, dRF, si, 0),    rhs(18, n12, gnd, 0), rhs(4, d, di, 0),    rhs(11, g, gi, 0),
        rhs(21, s, si, 0),
    }};

    // Reactive residual list (CreateDynamicRhsStamp), by position.
    static constexpr std::array<StampEntry, numRD> rd{{
        rhs(24, bSsi, gnd, 0), rhs(29, g, s, 0),   rhs(25, d, s, 0),     rhs(28, g, d, 0),
        rhs(23, bGgi, gnd, 0), rhs(22, bDdi, gnd, 0), rhs(31, gp, gn, 1), rhs(30, gdi, di, 1),
        rhs(27, di, si, 0),    rhs(32, nTj, gnd, 0), rhs(26, di, dRF, 0),
    }};

    // Resistive Jacobian list (CreateJacobianStamp, reactive flag 0), by
    // position: row pair, column pair. Entry 11's column is the branch
    // variable of the absdelay operator, which carries the delayed current.
    static constexpr std::array<StampEntry, numJR> jr{{
        jac(41, bSsi, gnd, bSsi, gnd, 0), jac(39, bGgi, gnd, bGgi, gnd, 0), jac(37, bDdi, gnd, gi, gn, 1),
        jac(36, bDdi, gnd, di, si, 1),    jac(34, bDdi, gnd, dRF, si, 1),   jac(38, bDdi, gnd, nTj, gnd, 1),
        jac(33, bDdi, gnd, bDdi, gnd, 1), jac(49, gi, gp, gi, gp, 0),       jac(51, gn, si, gn, si, 0),
        jac(52, gp, gn, gp, gn, 1),       jac(48, gi, gdi, gi, gdi, 0),     jac(45, dii, si, opBranch, gnd, 0),
        jac(56, nTj, gnd, gi, gn, 1),     jac(55, nTj, gnd, di, si, 1),     jac(54, nTj, gnd, dRF, si, 1),
        jac(57, nTj, gnd, nTj, gnd, 1),   jac(59, pTj, gnd, pTj, gnd, 0),   jac(58, pTj, gnd, nTj, gnd, 0),
        jac(43, dRF, si, dRF, si, 0),     jac(53, n12, gnd, n12, gnd, 0),   jac(50, gi, gp, n12, gnd, 0),
        jac(46, dii, si, n12, gnd, 0),    jac(44, d, di, bDdi, gnd, 0),     jac(35, bDdi, gnd, d, di, 0),
        jac(47, g, gi, bGgi, gnd, 0),     jac(40, bGgi, gnd, g, gi, 0),     jac(60, s, si, bSsi, gnd, 0),
        jac(42, bSsi, gnd, s, si, 0),
    }};

    // Reactive Jacobian list (reactive flag 1): each entry is the diagonal of
    // the reactive residual entry at the same position.
    static constexpr std::array<StampEntry, numJD> jd{{
        diag(63, bSsi, gnd, 0), diag(70, g, s, 0),   diag(66, d, s, 0),     diag(67, g, d, 0),
        diag(62, bGgi, gnd, 0), diag(61, bDdi, gnd, 0), diag(69, gp, gn, 1), diag(68, gdi, di, 1),
        diag(65, di, si, 0),    diag(71, nTj, gnd, 0), diag(64, di, dRF, 0),
    }};

    static constexpr auto order = requestOrder(rr, rd, jr, jd);

    // The node pairs the delayed quantity is differentiated by, in the order
    // of its four derivative doublets.
    static constexpr std::array<std::array<NodeRef, 2>, 4> delayDoublets{{
        {gi, gn},
        {di, si},
        {dRF, si},
        {nTj, gnd},
    }};

    // Resistive residual positions driven by noise sources 0 to 3: n12 to
    // ground, g to d, gi to gp, dii to si.
    static constexpr std::array<uint8_t, 4> noiseRR{17, 3, 6, 11};
};

}  // namespace hbx::birch
