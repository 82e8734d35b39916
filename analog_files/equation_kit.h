// What every model's equations are written with: a value carrying its
// partial derivatives with respect to the model's controlling quantities,
// and the model functions (checked division, pow, the limited exponentials,
// limexp, the smooth maximum and minimum, ln_cosh, qc_diode) on plain
// doubles and on such values alike. This is their one home: the exported
// analog functions call them too.
//
// A model writes its evaluation once as a template over the number type: the
// right-hand-side load runs it on doubles, the full load on Dual<Mask>, each
// quantity with the partials it can have. Every operation computes the value
// part exactly as the double operation does, in the same order, so both loads
// hand the host bit-identical residuals.
#pragma once

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <type_traits>
#include <utility>

#include "dsl/ZRT_SupportLib.h"

// Small helpers of the load that must fold into their constant arguments.
#define HBX_INLINE inline __attribute__((always_inline))

namespace hbx {

// The controlling quantities a quantity may depend on: bit k for quantity k.
using Deps = unsigned;
inline constexpr int kMaxControlling = 4;

// A value with its partial derivatives by the controlling quantities in
// Mask; every other partial is known at compile time to be an exact zero and
// takes neither room nor work. An operation on two such values carries the
// union of their dependences and computes each partial by the formula of a
// value that carried all of them, in the same order, leaving out the terms
// of absent partials: adding or subtracting such a term (an exact zero)
// changes nothing but the sign of a zero, which no loaded entry keeps (each
// starts at +0.0). The one other difference is where a value is not finite:
// an infinite value times an absent partial makes no NaN here.
template <Deps Mask>
struct Dual {
    static_assert(Mask != 0 && Mask < (1u << kMaxControlling), "a value with partials depends on something");
    static constexpr int count = std::popcount(Mask);
    static constexpr bool has(int k) { return k >= 0 && k < kMaxControlling && ((Mask >> k) & 1u) != 0; }
    // Where the partial by quantity k is kept.
    static constexpr int slot(int k) { return std::popcount(Mask & ((1u << k) - 1u)); }

    double v = 0.0;
    double d[count] = {};

    Dual() = default;
    // A quantity that does not depend on the controlling quantities.
    Dual(double value) : v(value) {}
    // A quantity of fewer dependences, the others as exact zeros.
    template <Deps Fewer, std::enable_if_t<Fewer != Mask && (Fewer & ~Mask) == 0, int> = 0>
    Dual(const Dual<Fewer>& x) : v(x.v) {
        forEach([&](auto k) { (*this)[k] = x[k]; });
    }

    // The partial by quantity K: writable where kept, 0.0 where absent.
    template <int K>
    double& operator[](std::integral_constant<int, K>) {
        static_assert(has(K), "a partial this value does not keep");
        return d[slot(K)];
    }
    template <int K>
    double operator[](std::integral_constant<int, K>) const {
        if constexpr (has(K)) {
            return d[slot(K)];
        } else {
            return 0.0;
        }
    }

    // f(k) for every quantity k in Mask, as a compile-time constant.
    template <class F>
    static void forEach(F&& f) {
        forEachOf(f, std::make_integer_sequence<int, kMaxControlling>{});
    }

private:
    template <class F, int... K>
    static void forEachOf(F& f, std::integer_sequence<int, K...>) {
        (
            [&] {
                if constexpr (has(K)) {
                    f(std::integral_constant<int, K>{});
                }
            }(),
            ...);
    }
};

template <class T>
struct IsDual : std::false_type {};
template <Deps M>
struct IsDual<Dual<M>> : std::true_type {};
template <class T>
inline constexpr bool isDual = IsDual<T>::value;

// The dependences of a value (none for a plain double).
template <class T>
inline constexpr Deps depsOf = 0;
template <Deps M>
inline constexpr Deps depsOf<Dual<M>> = M;

// A value of the dependences of both operands (a plain double for none).
template <Deps M>
struct ValueOf {
    using type = Dual<M>;
};
template <>
struct ValueOf<0> {
    using type = double;
};
template <class A, class B>
using Joint = typename ValueOf<depsOf<A> | depsOf<B>>::type;

// Controlling quantity K of an evaluation: its own partial 1.0 in the full
// load, the plain value in a load without derivatives.
template <bool Full, int K>
auto controlling(double x) {
    if constexpr (Full) {
        Dual<1u << K> r(x);
        r.d[0] = 1.0;
        return r;
    } else {
        return x;
    }
}

inline double value(double x) { return x; }
template <Deps M>
double value(const Dual<M>& x) {
    return x.v;
}
// Partial derivative k (0.0 for a plain double and an absent partial).
inline double partial(double, int) { return 0.0; }
template <Deps M>
double partial(const Dual<M>& x, int k) {
    return Dual<M>::has(k) ? x.d[Dual<M>::slot(k)] : 0.0;
}

// f(x) with f'(x) = slope: the chain rule.
template <Deps M>
HBX_INLINE Dual<M> chain(double f, double slope, const Dual<M>& x) {
    Dual<M> r(f);
    for (int i = 0; i < Dual<M>::count; ++i) {
        r.d[i] = slope * x.d[i];
    }
    return r;
}

template <Deps M>
HBX_INLINE Dual<M> operator-(const Dual<M>& a) {
    Dual<M> r(-a.v);
    for (int i = 0; i < Dual<M>::count; ++i) {
        r.d[i] = -a.d[i];
    }
    return r;
}
template <Deps A, Deps B>
HBX_INLINE Dual<A | B> operator+(const Dual<A>& a, const Dual<B>& b) {
    Dual<A | B> r(a.v + b.v);
    Dual<A | B>::forEach([&](auto k) {
        if constexpr (Dual<A>::has(k) && Dual<B>::has(k)) {
            r[k] = a[k] + b[k];
        } else if constexpr (Dual<A>::has(k)) {
            r[k] = a[k];
        } else {
            r[k] = b[k];
        }
    });
    return r;
}
template <Deps A, Deps B>
HBX_INLINE Dual<A | B> operator-(const Dual<A>& a, const Dual<B>& b) {
    Dual<A | B> r(a.v - b.v);
    Dual<A | B>::forEach([&](auto k) {
        if constexpr (Dual<A>::has(k) && Dual<B>::has(k)) {
            r[k] = a[k] - b[k];
        } else if constexpr (Dual<A>::has(k)) {
            r[k] = a[k];
        } else {
            r[k] = -b[k];
        }
    });
    return r;
}
template <Deps A, Deps B>
HBX_INLINE Dual<A | B> operator*(const Dual<A>& a, const Dual<B>& b) {
    Dual<A | B> r(a.v * b.v);
    Dual<A | B>::forEach([&](auto k) {
        if constexpr (Dual<A>::has(k) && Dual<B>::has(k)) {
            r[k] = a[k] * b.v + a.v * b[k];
        } else if constexpr (Dual<A>::has(k)) {
            r[k] = a[k] * b.v;
        } else {
            r[k] = a.v * b[k];
        }
    });
    return r;
}
template <Deps M>
HBX_INLINE Dual<M> operator+(const Dual<M>& a, double b) {
    Dual<M> r = a;
    r.v = a.v + b;
    return r;
}
template <Deps M>
HBX_INLINE Dual<M> operator+(double a, const Dual<M>& b) {
    Dual<M> r = b;
    r.v = a + b.v;
    return r;
}
template <Deps M>
HBX_INLINE Dual<M> operator-(const Dual<M>& a, double b) {
    Dual<M> r = a;
    r.v = a.v - b;
    return r;
}
template <Deps M>
HBX_INLINE Dual<M> operator-(double a, const Dual<M>& b) {
    Dual<M> r(a - b.v);
    for (int i = 0; i < Dual<M>::count; ++i) {
        r.d[i] = -b.d[i];
    }
    return r;
}
template <Deps M>
HBX_INLINE Dual<M> operator*(const Dual<M>& a, double b) {
    Dual<M> r(a.v * b);
    for (int i = 0; i < Dual<M>::count; ++i) {
        r.d[i] = a.d[i] * b;
    }
    return r;
}
template <Deps M>
HBX_INLINE Dual<M> operator*(double a, const Dual<M>& b) {
    Dual<M> r(a * b.v);
    for (int i = 0; i < Dual<M>::count; ++i) {
        r.d[i] = a * b.d[i];
    }
    return r;
}
// Plain division by a non-zero literal.
template <Deps M>
HBX_INLINE Dual<M> operator/(const Dual<M>& a, double b) {
    Dual<M> r(a.v / b);
    for (int i = 0; i < Dual<M>::count; ++i) {
        r.d[i] = a.d[i] / b;
    }
    return r;
}

// ---- standard functions -------------------------------------------------------

using std::cosh;
using std::fabs;
using std::log;
using std::sinh;
using std::sqrt;
using std::tanh;

template <Deps M>
HBX_INLINE Dual<M> tanh(const Dual<M>& x) {
    const double t = std::tanh(x.v);
    return chain(t, 1.0 - t * t, x);
}
template <Deps M>
HBX_INLINE Dual<M> cosh(const Dual<M>& x) {
    return chain(std::cosh(x.v), std::sinh(x.v), x);
}
template <Deps M>
HBX_INLINE Dual<M> sinh(const Dual<M>& x) {
    return chain(std::sinh(x.v), std::cosh(x.v), x);
}
template <Deps M>
HBX_INLINE Dual<M> log(const Dual<M>& x) {
    return chain(std::log(x.v), 1.0 / x.v, x);
}
template <Deps M>
HBX_INLINE Dual<M> sqrt(const Dual<M>& x) {
    const double s = std::sqrt(x.v);
    return chain(s, 0.5 / s, x);
}
// |x| with the sign of x as its slope; 0.0 counts as positive.
template <Deps M>
HBX_INLINE Dual<M> fabs(const Dual<M>& x) {
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
template <Deps M>
HBX_INLINE Dual<M> chkdiv(const DivSite& s, const Dual<M>& n, double d, int32_t line) {
    Dual<M> q(chkdiv(s, n.v, d, line));
    for (int i = 0; i < Dual<M>::count; ++i) {
        if (n.d[i] != 0.0) {
            q.d[i] = chkdiv(s, n.d[i], d, line);
        }
    }
    return q;
}
template <Deps A, Deps B>
HBX_INLINE Dual<A | B> chkdiv(const DivSite& s, const Dual<A>& n, const Dual<B>& d, int32_t line) {
    Dual<A | B> q(chkdiv(s, n.v, d.v, line));
    const double dd = d.v * d.v;
    Dual<A | B>::forEach([&](auto k) {
        if constexpr (Dual<A>::has(k) && Dual<B>::has(k)) {
            if (n[k] != 0.0 || d[k] != 0.0) {
                q[k] = chkdiv(s, n[k] * d.v - n.v * d[k], dd, line);
            }
        } else if constexpr (Dual<A>::has(k)) {
            if (n[k] != 0.0) {
                q[k] = chkdiv(s, n[k] * d.v, dd, line);
            }
        } else {
            if (d[k] != 0.0) {
                q[k] = chkdiv(s, -(n.v * d[k]), dd, line);
            }
        }
    });
    return q;
}
template <Deps M>
HBX_INLINE Dual<M> chkdiv(const DivSite& s, double n, const Dual<M>& d, int32_t line) {
    Dual<M> q(chkdiv(s, n, d.v, line));
    const double dd = d.v * d.v;
    for (int i = 0; i < Dual<M>::count; ++i) {
        if (d.d[i] != 0.0) {
            q.d[i] = chkdiv(s, -(n * d.d[i]), dd, line);
        }
    }
    return q;
}

// ZRT_pow with the derivative outputs for base and exponent.
inline double powM(double x, double y) { return ZRT_pow(x, y, nullptr, nullptr); }
// Only the derivative output that a Dual operand needs is asked for: a
// constant exponent needs no logarithm of the base.
template <class X, class Y>
HBX_INLINE Joint<X, Y> powM(const X& x, const Y& y) {
    double dx = 0.0, dy = 0.0;
    Joint<X, Y> r(ZRT_pow(value(x), value(y), isDual<X> ? &dx : nullptr, isDual<Y> ? &dy : nullptr));
    Joint<X, Y>::forEach([&](auto k) {
        if constexpr (depsOf<X> & depsOf<Y> & (1u << k)) {
            r[k] = dx * x[k] + dy * y[k];
        } else if constexpr (depsOf<X> & (1u << k)) {
            r[k] = dx * x[k];
        } else {
            r[k] = dy * y[k];
        }
    });
    return r;
}

inline double expFP(double x) { return zrtExpCapped(x); }
// The capped exponential at the models' two constant arguments, worked out
// once.
inline const double kExpFPMinus10 = ZRT_exp_FP(-10.0);
inline const double kExpFP20 = ZRT_exp_FP(20.0);
// The capped exponential with its derivative output (0.0 above the cap).
inline double expFPd(double x) { return zrtExpCapped(x); }
template <Deps M>
HBX_INLINE Dual<M> expFPd(const Dual<M>& x) {
    double slope = 0.0;
    const double e = zrtExpCappedDeriv(x.v, &slope);
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
template <Deps M>
HBX_INLINE Dual<M> limexp(s_ZRT_LimexpDesc* desc, const Dual<M>& x) {
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
template <Deps M>
HBX_INLINE Dual<M> rootOf(const Dual<M>& s, double r, double twoR) {
    Dual<M> out(r);
    for (int i = 0; i < Dual<M>::count; ++i) {
        out.d[i] = s.d[i] / twoR;
    }
    return out;
}
template <class D>
HBX_INLINE D smoothRoot(const D& diff, double e) {
    const D s = diff * diff + e * e;
    if constexpr (isDual<D>) {
        if (s.v > 0.0) {
            const double r = std::sqrt(s.v);
            return rootOf(s, r, 2.0 * r);
        }
        return rootOf(s, 0.0, static_cast<double>(FLT_MAX));
    } else {
        return s > 0.0 ? std::sqrt(s) : 0.0;
    }
}
// The width e never depends on the controlling quantities.
template <class A, class B>
HBX_INLINE Joint<A, B> smax(const A& a, const B& b, double e) {
    const Joint<A, B> diff = a - b;
    return b + 0.5 * (diff + smoothRoot(diff, e));
}
template <class A, class B>
HBX_INLINE Joint<A, B> smin(const A& a, const B& b, double e) {
    const Joint<A, B> diff = a - b;
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
template <Deps M>
HBX_INLINE Dual<M> ln_cosh(const Dual<M>& x) {
    const ValueSlope f = lnCoshSlope(x.v);
    return chain(f.value, f.slope, x);
}

// The models' soft limit through limexp: hi - width ln(limexp(x) + 1), the
// logarithm's argument floored at 1e-300.
template <class X>
HBX_INLINE X softLimit(s_ZRT_LimexpDesc* desc, const X& x, double hi, double width) {
    const X t = limexp(desc, x) + 1.0;
    return value(t) > 1e-300 ? hi - width * log(t) : hi - width * std::log(1e-300);
}

// The soft breakdown of the drain voltage v: 0.0 below 5, the capped
// exponential of (v - 150) / 2.5 up to 200 and its straight continuation
// above. A NaN v takes the exponential, or with NanLinear the continuation.
template <bool NanLinear, class X>
HBX_INLINE X softBreakdown(const X& v) {
    const double x = value(v);
    if (x < 5.0) {
        return X(0.0);
    }
    if (NanLinear ? !(x <= 200.0) : x > 200.0) {
        return kExpFP20 * ((v - 200.0) / 2.5 + 1.0);
    }
    return expFPd((v - 150.0) / 2.5);
}

// The gate diode's exp(x) - 1 with its slope: the capped exponential up to
// 20, its straight continuation above. A NaN x takes the exponential, or
// with NanLinear the continuation.
template <bool NanLinear>
HBX_INLINE ValueSlope diodeExp(double x) {
    if (NanLinear ? x <= 20.0 : !(x > 20.0)) {
        double slope = 0.0;
        const double e = zrtExpCappedDeriv(x, &slope) - 1.0;
        return {e, slope};
    }
    return {kExpFP20 * (x - 19.0), kExpFP20};
}

// A smoothing stretch of the model source around model variable k of M: its
// history pair h first, then the difference a - b into k + 1 and the smooth
// maximum (or minimum) of a over b, of width model variable k + 2, into k.
template <bool Max, class L, class Vars, class A, class B>
HBX_INLINE Joint<A, B> smoothStretch(const L& c, const Vars& M, size_t h, int k, const A& a, const B& b) {
    c.historyPair(h, M[k]);
    M[k + 1] = value(a - b);
    const double width = M[k + 2];
    Joint<A, B> out;
    if constexpr (Max) {
        out = smax(a, b, width);
    } else {
        out = smin(a, b, width);
    }
    M[k] = value(out);
    return out;
}

// A smooth floor of a at model variable k + 4, 0.0, of width model variable
// k + 2, 0.0001: both stored while the invariants are due.
template <class L, class Vars, class X>
HBX_INLINE X smoothFloor(const L& c, const Vars& M, size_t h, int k, const X& a) {
    if (c.invariantsDue()) {
        M[k + 4] = 0.0;
        M[k + 2] = 0.0001;
    }
    return smoothStretch<true>(c, M, h, k, a, M[k + 4]);
}

// Functions whose results a load may keep between calls (a load's `kept`).
inline constexpr auto powOf = [](double x, double y) { return powM(x, y); };
inline constexpr auto tanhOf = [](double x) { return std::tanh(x); };
inline constexpr auto fmodOf = [](double x, double y) { return std::fmod(x, y); };

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
