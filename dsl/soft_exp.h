// Limited exponentials: a hard cap for plain exp calls of model equations and
// a soft exponential, linear above its knee, behind the limexp descriptor.
#pragma once

#include <cmath>
#include <cstdint>

#include "rte/ZRT_CommonInterface.h"

// e^x up to and including x = 500, e^500 above it and for a NaN x.
double ZRT_exp_FP(double x);
// The same value; writes e^x to *d below the cap and 0.0 above it.
double ZRT_exp_FP_deriv(double x, double* d);

// The bodies of the two, inline for model loads (which call them on every
// Newton iteration); the exported functions are these.
inline constexpr double kZRT_ExpHardCapArg = 500.0;
inline constexpr double kZRT_ExpHardCap = 1.4035922178528375e217;  // e^500
inline double zrtExpCapped(double x) { return x <= kZRT_ExpHardCapArg ? std::exp(x) : kZRT_ExpHardCap; }
inline double zrtExpCappedDeriv(double x, double* d) {
    if (x <= kZRT_ExpHardCapArg) {
        const double e = std::exp(x);
        *d = e;
        return e;
    }
    *d = 0.0;
    return kZRT_ExpHardCap;
}

// e^x up to x = 300; above it the tangent at 300, ((x + 1) - 300) * e^300,
// with slope e^300. The derivative goes to *d, or to the descriptor.
double ZRT_softExp(double x, double* d);
double ZRT_defaultSoftExp(double x, s_ZRT_LimexpDesc* desc);

// e^x while xLimit >= x, else ((x + 1) - xLimit) * expAtLimit; a NaN x takes
// the linear branch. The caller passes e^xLimit as expAtLimit.
double ZRT_linExp(double x, double xLimit, double expAtLimit);
double ZRT_linExp_deriv(double x, double* d, double xLimit, double expAtLimit);

// A new limexp descriptor of the instance with ZRT_defaultSoftExp as its
// function and derivative 0.0; null when memory is exhausted.
s_ZRT_LimexpDesc* ZRT_createLimexp(s_ZRT_DeviceInst* inst, uint32_t id, void* word1, void* word2);
