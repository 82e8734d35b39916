// The numbering of a model's variables against its family's reference
// model. A family's equations are written once, in the reference model's
// numbering (the numbers the equations of the family are read by); each
// model states where each reference variable lives among its own, as runs of
// reference numbers in its own order with its own further variables between
// them. Every model of every family reads its variables through the one
// checked accessor below.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "rte/ZRT_Assert.h"

namespace hbx {

// first..last of the reference numbering in a row (first < 0: `last + 1`
// variables of the model's own, which the reference does not have).
struct Run {
    int first;
    int last;
};
constexpr Run refs(int first, int last) { return {first, last}; }
constexpr Run ref(int k) { return {k, k}; }
constexpr Run own(int count) { return {-1, count - 1}; }

// Where each of N reference variables lives in a model (-1: nowhere).
template <size_t N>
struct Numbering {
    std::array<int16_t, N> at{};
    int16_t count = 0;  // the model's variables, its own included

    // The model variable of reference variable k, -1 where there is none.
    constexpr int operator()(int k) const { return k >= 0 && k < static_cast<int>(N) ? at[static_cast<size_t>(k)] : -1; }
    constexpr bool has(int k) const { return (*this)(k) >= 0; }
};

// The first `count` reference variables in their own order.
template <size_t N>
constexpr Numbering<N> identity(int count) {
    Numbering<N> n;
    for (size_t k = 0; k < N; ++k) {
        n.at[k] = static_cast<int16_t>(static_cast<int>(k) < count ? k : -1);
    }
    n.count = static_cast<int16_t>(count);
    return n;
}

// A model's variables in its order; a reference number placed twice or out
// of range does not compile.
template <size_t N, size_t R>
constexpr Numbering<N> inOrder(const std::array<Run, R>& runs) {
    Numbering<N> n;
    for (int16_t& a : n.at) {
        a = -1;
    }
    int next = 0;
    for (const Run& run : runs) {
        if (run.first < 0) {
            next += run.last + 1;
            continue;
        }
        for (int k = run.first; k <= run.last; ++k) {
            if (k >= static_cast<int>(N) || n.at[static_cast<size_t>(k)] >= 0) {
                throw "a reference variable out of range or placed twice";
            }
            n.at[static_cast<size_t>(k)] = static_cast<int16_t>(next++);
        }
    }
    n.count = static_cast<int16_t>(next);
    return n;
}

// A model's variables by reference number: a variable the model does not
// have is an assertion failure. With a constant number the lookup folds away.
template <const auto& Map>
struct ModelVars {
    double* v;
    double& operator[](int k) const {
        const int at = Map(k);
        ZRT_ASSERT(at >= 0);
        return v[at];
    }
    static constexpr bool has(int k) { return Map.has(k); }
};

}  // namespace hbx
