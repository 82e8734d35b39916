// The analog functions every model exports to the host: ln_cosh, max_smooth,
// min_smooth, qc_diode and sign. The loads write the bodies of the first four
// inline in their own evaluation order; these are the forms the host calls.
#pragma once

#include <cmath>

namespace hbx {

constexpr double kLn2 = 0.6931471805599453;

// ln(cosh(x)), switching to its asymptote |x| - ln 2 from |x| = 40 on (and
// for NaN).
inline double ln_cosh(double x) {
    if (std::fabs(x) < 40.0) {
        return std::log(std::cosh(x));
    }
    return std::fabs(x) - kLn2;
}

inline double smoothRoot(double d, double e) {
    const double s = d * d + e * e;
    return s > 0.0 ? std::sqrt(s) : 0.0;
}

// The model's own definitions: min_smooth tends to the larger of x and y as e
// goes to 0, max_smooth to the smaller.
inline double min_smooth(double x, double y, double e) {
    const double d = x - y;
    return (d + smoothRoot(d, e)) * 0.5 + y;
}

inline double max_smooth(double x, double y, double e) {
    const double d = x - y;
    return (d - smoothRoot(d, e)) * 0.5 + y;
}

// The threshold is 1.0: sign(0.5) and sign(1.0) are -1.0.
inline double sign(double x) { return 1.0 < x ? 1.0 : -1.0; }

}  // namespace hbx
