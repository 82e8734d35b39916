// List positions of a family's stamps, found by their nodes in the family's
// topology table: tests name the entry they check by its node pair (and, for
// a Jacobian entry, its column pair) instead of repeating list positions.
#pragma once

#include <cstddef>

#include "analog_files/topology.h"

namespace testhost {

template <class Topology>
struct StampsOf {
    using NodeRef = hbx::NodeRef;
    static constexpr NodeRef gnd = hbx::gnd;

    static constexpr size_t rr(NodeRef a, NodeRef b) { return find(Topology::rr, a, b, gnd, gnd); }
    static constexpr size_t rd(NodeRef a, NodeRef b) { return find(Topology::rd, a, b, gnd, gnd); }
    static constexpr size_t jr(NodeRef a, NodeRef b, NodeRef c, NodeRef d) { return find(Topology::jr, a, b, c, d); }
    // A diagonal entry: the row's own column.
    static constexpr size_t jr(NodeRef a, NodeRef b) { return jr(a, b, a, b); }
    static constexpr size_t jd(NodeRef a, NodeRef b) { return find(Topology::jd, a, b, a, b); }

private:
    static constexpr bool same(NodeRef x, NodeRef y) { return x.where == y.where && x.slot == y.slot; }
    template <class List>
    static constexpr size_t find(const List& list, NodeRef a, NodeRef b, NodeRef c, NodeRef d) {
        for (size_t p = 0; p < list.size(); ++p) {
            const hbx::StampEntry& e = list[p];
            if (same(e.a, a) && same(e.b, b) && same(e.c, c) && same(e.d, d)) {
                return p;
            }
        }
        throw "no such stamp in the table";
    }
};

}  // namespace testhost
