#include "rte/random_cores.h"

#include <cmath>

namespace {

constexpr uint32_t kZeroSeedReplacement = 259341593u;
constexpr double kInt32Max = 2147483647.0;
constexpr double kInt32Min = -2147483648.0;

// The step of a negative uniform before truncation: lowered by one, so that
// truncation rounds toward minus infinity for every non-integer value.
double lowerNegative(double r) { return r >= 0.0 ? r : r - 1.0; }

// Truncation in 64 bits of a value known to lie well inside that range.
int64_t truncate64(double r) { return static_cast<int64_t>(r); }

}  // namespace


double __ZRT_uniform(uint32_t* seed, double start, double end) {
    uint32_t s = *seed != 0 ? *seed : kZeroSeedReplacement;
    s = s * 69069u + 1u;
    *seed = s;
    const double c = static_cast<double>((s & 0xFFFFFE00u) | (s >> 23)) / 4294967295.0;
    if (start >= end) {
        return kInt32Max * c;
    }
    return (end - start) * c + start;
}

int32_t __ZRT_rtl_dist_uniform(uint32_t* seed, int32_t start, int32_t end) {
    if (start >= end) {
        return start;
    }
    if (end != INT32_MAX) {
        // r lies in [start, end + 1]; lowered, it may reach start - 1.
        const double r = __ZRT_uniform(seed, start, static_cast<double>(end) + 1.0);
        const int64_t i = truncate64(lowerNegative(r));
        return static_cast<int32_t>(i < start ? start : (i > end ? end : i));
    }
    if (start != INT32_MIN) {
        // r reaches 2147483648.0 when c is 1: clamp to the largest integer.
        const double r = __ZRT_uniform(seed, static_cast<double>(start) - 1.0, kInt32Max) + 1.0;
        int64_t i = truncate64(lowerNegative(r));
        if (i > INT32_MAX) {
            i = INT32_MAX;
        }
        return static_cast<int32_t>(i > static_cast<int64_t>(start) - 1 ? i : start);
    }
    double r = (__ZRT_uniform(seed, kInt32Min, kInt32Max) + 2147483648.0) / 4294967295.0;
    r = r * 4294967296.0 - 2147483648.0;
    // The low 32 bits of the truncation, wrapped.
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(truncate64(lowerNegative(r)))));
}

int32_t __ZRT_random(uint32_t* seed) { return __ZRT_rtl_dist_uniform(seed, INT32_MIN, INT32_MAX); }

double __ZRT_normal(uint32_t* seed, double mean, double deviation) {
    double v1 = 0.0;
    double s = 1.0;
    while (s >= 1.0 || s == 0.0) {
        v1 = __ZRT_uniform(seed, -1.0, 1.0);
        const double v2 = __ZRT_uniform(seed, -1.0, 1.0);
        s = v1 * v1 + v2 * v2;
    }
    s = v1 * std::sqrt(-2.0 * std::log(s) / s);
    return s * deviation + mean;
}

double __ZRT_exponential(uint32_t* seed, double mean) {
    const double u = __ZRT_uniform(seed, 0.0, 1.0);
    return u != 0.0 ? -std::log(u) * mean : 0.0;
}

double __ZRT_poisson(uint32_t* seed, double mean) {
    const double p = std::exp(-mean);
    double q = __ZRT_uniform(seed, 0.0, 1.0);
    double n = 0.0;
    while (p < q) {
        n += 1.0;
        q = __ZRT_uniform(seed, 0.0, 1.0) * q;
    }
    return n;
}

double __ZRT_chi_square(uint32_t* seed, int32_t degrees) {
    double x = 0.0;
    if (degrees % 2 != 0) {
        x = __ZRT_normal(seed, 0.0, 1.0);
        x = x * x;
    }
    // 64-bit count: degrees may be 2147483647.
    for (int64_t k = 2; k <= degrees; k += 2) {
        x = x + 2.0 * __ZRT_exponential(seed, 1.0);
    }
    return x;
}

double __ZRT_t(uint32_t* seed, int32_t degrees) {
    const double chi2 = __ZRT_chi_square(seed, degrees);
    const double root = std::sqrt(chi2 / static_cast<double>(degrees));
    return __ZRT_normal(seed, 0.0, 1.0) / root;
}

double __ZRT_erlangian(uint32_t* seed, int32_t k, double mean) {
    double x = 1.0;
    for (int64_t i = 1; i <= k; ++i) {
        x = x * __ZRT_uniform(seed, 0.0, 1.0);
    }
    return -mean * std::log(x) / static_cast<double>(k);
}
