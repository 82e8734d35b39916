// What every model's equations are written with: a value carrying its
// partial derivatives with respect to the model's controlling quantities,
// and the model functions (checked division, pow, the limited exponentials,
// limexp, the smooth maximum and minimum, ln_cosh, qc_diode) on plain
// doubles and on such values alike. This is their one home: the exported
// analog functions call them too.
//
// A model writes its evaluation once as a template over the number type: the
// right-hand-side load runs it on doubles, the full load on Dual<N>. Every
// operation computes the value part exactly as the double operation does, in
// the same order, so both loads hand the host bit-identical residuals.
#pragma once

#include <cfloat>
#include <cmath>
#include <type_traits>

#include "dsl/ZRT_SupportLib.h"

namespace hbx {

template <int N>
struct Dual {
    double v = 0.0;
    double d[N] = {};

    Dual() = default;
    // A quantity that does not depend on the controlling quantities.
    Dual(double value) : v(value) {}

    // The k-th controlling quantity itself.
    static Dual variable(double value, int k) {
        Dual x(value);
        x.d[k] = 1.0;
        return x;
    }
};

template <class T>
struct IsDual : std::false_type {};
template <int N>
struct IsDual<Dual<N>> : std::true_type {};
template <class T>
inline constexpr bool isDual = IsDual<T>::value;

// A controlling quantity of an evaluation: the k-th variable of a Dual, or
// the plain value in a load without derivatives.
template <class T>
T controlling(double x, int k) {
    if constexpr (isDual<T>) {
        return T::variable(x, k);
    } else {
        (void)k;
        return x;
    }
}

inline double value(double x) { return x; }
template <int N>
double value(const Dual<N>& x) {
    return x.v;
}
// Partial derivative k (0.0 for a plain double).
inline double partial(double, int) { return 0.0; }
template <int N>
double partial(const Dual<N>& x, int k) {
    return x.d[k];
}

// f(x) with f'(x) = slope: the chain rule.
template <int N>
Dual<N> chain(double f, double slope, const Dual<N>& x) {
    Dual<N> r(f);
    for (int k = 0; k < N; ++k) {
        r.d[k] = slope * x.d[k];
    }
    return r;
}

template <int N>
Dual<N> operator-(const Dual<N>& a) {
    Dual<N> r(-a.v);
    for (int k = 0; k < N; ++k) {
        r.d[k] = -a.d[k];
    }
    return r;
}
template <int N>
Dual<N> operator+(const Dual<N>& a, const Dual<N>& b) {
    Dual<N> r(a.v + b.v);
    for (int k = 0; k < N; ++k) {
        r.d[k] = a.d[k] + b.d[k];
    }
    return r;
}
template <int N>
Dual<N> operator-(const Dual<N>& a, const Dual<N>& b) {
    Dual<N> r(a.v - b.v);
    for (int k = 0; k < N; ++k) {
        r.d[k] = a.d[k] - b.d[k];
    }
    return r;
}
template <int N>
Dual<N> operator*(const Dual<N>& a, const Dual<N>& b) {
    Dual<N> r(a.v * b.v);
    for (int k = 0; k < N; ++k) {
        r.d[k] = a.d[k] * b.v + a.v * b.d[k];
    }
    return r;
}
template <int N>
Dual<N> operator+(const Dual<N>& a, double b) {
    Dual<N> r = a;
    r.v = a.v + b;
    return r;
}
template <int N>
Dual<N> operator+(double a, const Dual<N>& b) {
    Dual<N> r = b;
    r.v = a + b.v;
    return r;
}
template <int N>
Dual<N> operator-(const Dual<N>& a, double b) {
    Dual<N> r = a;
    r.v = a.v - b;
    return r;
}
template <int N>
Dual<N> operator-(double a, const Dual<N>& b) {
    Dual<N> r(a - b.v);
    for (int k = 0; k < N; ++k) {
        r.d[k] = -b.d[k];
    }
    return r;
}
template <int N>
Dual<N> operator*(const Dual<N>& a, double b) {
    Dual<N> r(a.v * b);
    for (int k = 0; k < N; ++k) {
        r.d[k] = a.d[k] * b;
    }
    return r;
}
template <int N>
Dual<N> operator*(double a, const Dual<N>& b) {
    Dual<N> r(a * b.v);
    for (int k = 0; k < N; ++k) {
        r.d[k] = a * b.d[k];
    }
    return r;
}
// Plain division by a non-zero literal.
template <int N>
Dual<N> operator/(const Dual<N>& a, double b) {
    Dual<N> r(a.v / b);
    for (int k = 0; k < N; ++k) {
        r.d[k] = a.d[k] / b;
    }
    return r;
}
template <int N, class U>
Dual<N>& operator+=(Dual<N>& a, const U& b) {
    return a = a + b;
}
template <int N, class U>
Dual<N>& operator-=(Dual<N>& a, const U& b) {
    return a = a - b;
}

// ---- standard functions -------------------------------------------------------

using std::cosh;
using std::fabs;
using std::log;
using std::sinh;
using std::sqrt;
using std::tanh;

template <int N>
Dual<N> tanh(const Dual<N>& x) {
    const double t = std::tanh(x.v);
    return chain(t, 1.0 - t * t, x);
}
template <int N>
Dual<N> cosh(const Dual<N>& x) {
    return chain(std::cosh(x.v), std::sinh(x.v), x);
}
template <int N>
Dual<N> sinh(const Dual<N>& x) {
    return chain(std::sinh(x.v), std::cosh(x.v), x);
}
template <int N>
Dual<N> log(const Dual<N>& x) {
    return chain(std::log(x.v), 1.0 / x.v, x);
}
template <int N>
Dual<N> sqrt(const Dual<N>& x) {
    const double s = std::sqrt(x.v);
    return chain(s, 0.5 / s, x);
}
// |x| with the sign of x as its slope; 0.0 counts as positive.
template <int N>
Dual<N> fabs(const Dual<N>& x) {
    return chain(std::fabs(x.v), x.v >= 0.0 ? 1.0 : -1.0, x);
}

// ---- model functions -----------------------------------------------------------

// Where a model equation divides: ZRT_RealChkDiv with the model-source line and
// check flag 0. The derivative of n / d is div(n', d) for a denominator that
// does not depend on the controlling quantities, else div(n' d - n d', d d),
// each through the checked division with the same line.
struct DivSite {
    s_ZRT_DeviceInst* inst;
    const s_ZRT_ContribLoader* loader;
};

inline double chkdiv(const DivSite& s, double n, double d, int32_t line) {
    return ZRT_RealChkDiv(n, d, s.inst, line, s.loader, 0);
}
template <int N>
Dual<N> chkdiv(const DivSite& s, const Dual<N>& n, double d, int32_t line) {
    Dual<N> q(chkdiv(s, n.v, d, line));
    for (int k = 0; k < N; ++k) {
        if (n.d[k] != 0.0) {
            q.d[k] = chkdiv(s, n.d[k], d, line);
        }
    }
    return q;
}
template <int N>
Dual<N> chkdiv(const DivSite& s, double n, const Dual<N>& d, int32_t line) {
    return chkdiv(s, Dual<N>(n), d, line);
}
template <int N>
Dual<N> chkdiv(const DivSite& s, const Dual<N>& n, const Dual<N>& d, int32_t line) {
    Dual<N> q(chkdiv(s, n.v, d.v, line));
    const double dd = d.v * d.v;
    for (int k = 0; k < N; ++k) {
        if (n.d[k] != 0.0 || d.d[k] != 0.0) {
            q.d[k] = chkdiv(s, n.d[k] * d.v - n.v * d.d[k], dd, line);
        }
    }
    return q;
}

// ZRT_pow with the derivative outputs for base and exponent.
inline double powM(double x, double y) { return ZRT_pow(x, y, nullptr, nullptr); }
// Only the derivative output that a Dual operand needs is asked for: a
// constant exponent needs no logarithm of the base.
template <class X, class Y>
auto powM(const X& x, const Y& y) {
    using R = std::conditional_t<isDual<X>, X, Y>;
    double dx = 0.0, dy = 0.0;
    R r(ZRT_pow(value(x), value(y), isDual<X> ? &dx : nullptr, isDual<Y> ? &dy : nullptr));
    for (int k = 0; k < static_cast<int>(std::size(r.d)); ++k) {
        if constexpr (isDual<X> && isDual<Y>) {
            r.d[k] = dx * partial(x, k) + dy * partial(y, k);
        } else if constexpr (isDual<X>) {
            r.d[k] = dx * partial(x, k);
        } else {
            r.d[k] = dy * partial(y, k);
        }
    }
    return r;
}

inline double expFP(double x) { return ZRT_exp_FP(x); }
// The capped exponential with its derivative output (0.0 above the cap).
inline double expFPd(double x) { return ZRT_exp_FP(x); }
template <int N>
Dual<N> expFPd(const Dual<N>& x) {
    double slope = 0.0;
    const double e = ZRT_exp_FP_deriv(x.v, &slope);
    return chain(e, slope, x);
}

// limexp through the instance's descriptor; its slope is what the call leaves
// in the descriptor. An instance whose descriptor could not be allocated (the
// host's "exit" returned) gets the default soft exponential instead.
inline double limexp(s_ZRT_LimexpDesc* desc, double x) {
    if (desc == nullptr) {
        double slope = 0.0;
        return ZRT_softExp(x, &slope);
    }
    return desc->fn(x, desc);
}
template <int N>
Dual<N> limexp(s_ZRT_LimexpDesc* desc, const Dual<N>& x) {
    if (desc == nullptr) {
        double slope = 0.0;
        const double e = ZRT_softExp(x.v, &slope);
        return chain(e, slope, x);
    }
    const double e = desc->fn(x.v, desc);
    return chain(e, desc->deriv, x);
}

// The models' smooth maximum and minimum, b + 0.5 ((a - b) +- r) with
// r = sqrt((a - b)^2 + e^2) when positive, else 0.0. Where r is 0.0 the
// derivative divides by the largest single-precision value instead of 2r.
// On doubles they are the exported analog functions, under the names the
// model description gives them: its `min_smooth` (with + r) is smax, the
// smooth maximum, and its `max_smooth` (with - r) is smin.
template <int N>
Dual<N> rootOf(const Dual<N>& s, double r, double twoR) {
    Dual<N> out(r);
    for (int k = 0; k < N; ++k) {
        out.d[k] = s.d[k] / twoR;
    }
    return out;
}
template <class T>
T smoothRoot(const T& diff, const T& e) {
    const T s = diff * diff + e * e;
    if constexpr (isDual<T>) {
        if (s.v > 0.0) {
            const double r = std::sqrt(s.v);
            return rootOf(s, r, 2.0 * r);
        }
        return rootOf(s, 0.0, static_cast<double>(FLT_MAX));
    } else {
        return s > 0.0 ? std::sqrt(s) : 0.0;
    }
}
template <class T>
T smax(const T& a, const T& b, const T& e) {
    const T diff = a - b;
    return b + 0.5 * (diff + smoothRoot(diff, e));
}
template <class T>
T smin(const T& a, const T& b, const T& e) {
    const T diff = a - b;
    return b + 0.5 * (diff - smoothRoot(diff, e));
}

// ln(cosh(x)) with its asymptote |x| - ln 2 from |x| = 40 on (and for NaN);
// the slope is sinh over cosh inside, +-1 outside.
inline double ln_cosh(double x) {
    if (!(std::fabs(x) < 40.0)) {
        return std::fabs(x) - 0.6931471805599453;
    }
    return std::log(std::cosh(x));
}
struct ValueSlope {
    double value;
    double slope;
};
inline ValueSlope lnCoshSlope(double x) {
    if (!(std::fabs(x) < 40.0)) {
        return {std::fabs(x) - 0.6931471805599453, x >= 0.0 ? 1.0 : -1.0};
    }
    const double c = std::cosh(x);
    return {std::log(c), std::sinh(x) / c};
}
template <int N>
Dual<N> ln_cosh(const Dual<N>& x) {
    const ValueSlope f = lnCoshSlope(x.v);
    return chain(f.value, f.slope, x);
}

// A zero contribution to a loaded entry. It changes no value but one: a
// negative zero becomes +0.0, the sign of zero the host is handed.
inline void clearNegativeZero(double& entry) { entry += 0.0; }

// ---- pieces several families share ---------------------------------------------

// qc_diode, the charge of a diode pair at difference d = a5 - a4: the
// smooth form (q ln_cosh(a3 d) + d) a0 a1 with q = a2 / a3 where a2 > 0.001,
// else the plain a0 a1 d. Each place writes its products in its own order,
// which rounds differently, and the one below keeps it:
enum class QcProducts {
    Exported,     // (q L + d) * (a1 * a0); plain (a1 * a0) * d
    ChargeFirst,  // (q L + d) * a0 * a1;   plain a0 * a1 * d
    ScaleFirst,   // a0 * a1 * (d + q L);   plain d * a0 * a1
};
struct QcForm {
    QcProducts products;
    bool nanIsSmooth;  // a NaN a2 takes the smooth form (else the plain one)
};
inline constexpr QcForm kQcExported{QcProducts::Exported, false};

// The charge, its derivative by d (full load only) and, in the smooth form,
// ln_cosh's argument and result, which the models keep in model variables.
struct QcDiodeCharge {
    double q = 0.0;
    double dq = 0.0;
    bool smooth = false;
    double arg = 0.0;
    double lnCosh = 0.0;
};
template <bool Full>
QcDiodeCharge qc_diode(const DivSite& s, int32_t line, QcForm form, double a0, double a1, double a2, double a3,
                       double d) {
    QcDiodeCharge r;
    r.smooth = form.nanIsSmooth ? !(a2 <= 0.001) : a2 > 0.001;
    if (r.smooth) {
        r.arg = d * a3;
        double slope = 0.0;
        if constexpr (Full) {
            const ValueSlope f = lnCoshSlope(r.arg);
            r.lnCosh = f.value;
            slope = f.slope;
        } else {
            r.lnCosh = ln_cosh(r.arg);
        }
        const double q = chkdiv(s, a2, a3, line);
        switch (form.products) {
        case QcProducts::Exported: r.q = (q * r.lnCosh + d) * (a1 * a0); break;
        case QcProducts::ChargeFirst: r.q = (q * r.lnCosh + d) * a0 * a1; break;
        case QcProducts::ScaleFirst: r.q = a0 * a1 * (d + q * r.lnCosh); break;
        }
        if constexpr (Full) {
            r.dq = a0 * a1 * (1.0 + q * a3 * slope);
        }
    } else {
        r.q = form.products == QcProducts::ScaleFirst ? d * a0 * a1 : a0 * a1 * d;
        r.dq = a0 * a1;
    }
    return r;
}

// The derivative of c0 / cosh(a)^2 by the voltage v where a = k v, clamped
// by the caller to [-500, 500]: k is the slope of the unclamped argument and
// 0.0 at the clamps. Where the formula's numerator or denominator overflows
// though a is finite, the derivative is 0.0, the value the true one rounds
// to there.
inline double sechSquaredSlope(const DivSite& s, int32_t line, double c0, double a, double k) {
    const double ch = std::cosh(a);
    const double sh = std::sinh(a);
    const double num = -c0 * (sh * k * ch + sh * k * ch);
    const double den = (ch * ch) * (ch * ch);
    return (std::isfinite(num) && std::isfinite(den)) ? chkdiv(s, num, den, line) : 0.0;
}

}  // namespace hbx
