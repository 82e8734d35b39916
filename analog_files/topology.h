// The vocabulary of a model family's topology tables: where a node comes
// from, the branch state variables a module creates, the branches it reports
// and the stamp requests whose handles its loads hand back.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace hbx {

// A node of a table: a slot of the instance's first or second node array
// (branch state variables live in the second, behind the nodes), ground, or
// the branch variable of the module's absdelay operator.
enum class Where : uint8_t { Ground, First, Second, OpBranch };
struct NodeRef {
    Where where;
    uint8_t slot;
};
constexpr NodeRef gnd{Where::Ground, 0};
constexpr NodeRef opBranch{Where::OpBranch, 0};
constexpr NodeRef n1(uint8_t slot) { return {Where::First, slot}; }
constexpr NodeRef n2(uint8_t slot) { return {Where::Second, slot}; }

// A branch state variable: created by name between two nodes, stored in a
// slot of the second node array, with the collapse byte of its report row.
struct BranchSpec {
    const char* name;
    NodeRef pos;
    NodeRef neg;
    uint8_t slot;
    uint8_t collapse;
};

// Equation of an uncollapsed branch variable: the positions of its entries in
// the resistive residual and Jacobian lists.
struct BranchEquation {
    uint8_t pairRR;        // residual of the node pair: + flow
    uint8_t branchRR;      // residual of the branch row: - potential difference
    uint8_t jrPairBranch;  // (pair) x (branch): + 1
    uint8_t jrBranchPair;  // (branch) x (pair): - 1
};

// One branch of the topology report; skipped when its collapse byte is set.
struct ReportRow {
    uint8_t collapse;
    NodeRef a;
    NodeRef b;
    int32_t kind;
    const char* name;
};

// The rows with one more row placed at report position `at`: the models of
// a family that report one branch apart.
template <size_t N>
constexpr std::array<ReportRow, N + 1> withRow(const std::array<ReportRow, N>& rows, const ReportRow& row, size_t at) {
    std::array<ReportRow, N + 1> out{};
    for (size_t k = 0, from = 0; k < out.size(); ++k) {
        out[k] = k == at ? row : rows[from++];
    }
    return out;
}

// One stamp request, listed at its list position. `request` numbers the
// requests in the order they are made (from 1). Residual entries use the
// node pair (a, b); Jacobian entries the row (a, b) and column (c, d); a
// reactive Jacobian entry's column is its row.
struct StampEntry {
    uint8_t request;
    NodeRef a;
    NodeRef b;
    NodeRef c;
    NodeRef d;
    int32_t flag;
};

constexpr StampEntry rhs(uint8_t request, NodeRef a, NodeRef b, int32_t flag) { return {request, a, b, gnd, gnd, flag}; }
constexpr StampEntry jac(uint8_t request, NodeRef a, NodeRef b, NodeRef c, NodeRef d, int32_t flag) {
    return {request, a, b, c, d, flag};
}
constexpr StampEntry diag(uint8_t request, NodeRef a, NodeRef b, int32_t flag) { return {request, a, b, a, b, flag}; }

enum class StampList : uint8_t { StaticRhs, DynamicRhs, StaticJacobian, DynamicJacobian };
struct StampSlot {
    StampList list;
    uint8_t position;
};

// The requests of four position-ordered lists in request order, worked out
// at compile time; a table whose request numbers are not 1..N once each does
// not compile.
template <size_t NRR, size_t NRD, size_t NJR, size_t NJD>
constexpr std::array<StampSlot, NRR + NRD + NJR + NJD> requestOrder(const std::array<StampEntry, NRR>& rr,
                                                                    const std::array<StampEntry, NRD>& rd,
                                                                    const std::array<StampEntry, NJR>& jr,
                                                                    const std::array<StampEntry, NJD>& jd) {
    constexpr size_t total = NRR + NRD + NJR + NJD;
    std::array<StampSlot, total> order{};
    std::array<bool, total> seen{};
    auto place = [&](StampList list, const StampEntry* entries, size_t count) {
        for (size_t p = 0; p < count; ++p) {
            const size_t r = entries[p].request;
            if (r < 1 || r > total || seen[r - 1]) {
                throw "stamp request numbers must be 1..N, each once";
            }
            seen[r - 1] = true;
            order[r - 1] = {list, static_cast<uint8_t>(p)};
        }
    };
    place(StampList::StaticRhs, rr.data(), NRR);
    place(StampList::DynamicRhs, rd.data(), NRD);
    place(StampList::StaticJacobian, jr.data(), NJR);
    place(StampList::DynamicJacobian, jd.data(), NJD);
    return order;
}

}  // namespace hbx
