// Guarded arithmetic of compiled model equations: checked division, power
// with derivatives, integer power and the domain checks that report to the
// host's MathCheck slot.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>

#include "rte/ZRT_CommonInterface.h"

// Codes of a math-check report, the first argument of the MathCheck slot.
enum ZRT_MathCheckCode : int32_t {
    ZRT_MATHCHECK_DIV_BY_ZERO = 0,
    ZRT_MATHCHECK_LN_DOMAIN = 1,
    ZRT_MATHCHECK_LOG10_DOMAIN = 2,
    ZRT_MATHCHECK_POW_DOMAIN = 3,
    ZRT_MATHCHECK_SQRT_DOMAIN = 4,
    ZRT_MATHCHECK_SMALL_DENOMINATOR = 5,
    ZRT_MATHCHECK_LARGE_NUMERATOR = 6,
    ZRT_MATHCHECK_LARGE_VALUE = 7,
    ZRT_MATHCHECK_NOT_FINITE = 8,
};

// An infinite quotient becomes FLT_MAX with the quotient's sign; finite and
// NaN quotients are kept.
inline double clampQuotient(double q) {
    return std::fabs(q) > DBL_MAX ? std::copysign(static_cast<double>(FLT_MAX), q) : q;
}

// The checked division for a zero denominator or a reporting call site.
double realChkDivGuarded(double num, double den, s_ZRT_DeviceInst* inst, int32_t line,
                         const s_ZRT_ContribLoader* loader, int32_t checkFlag);

// num / den with an infinite quotient clamped to +-FLT_MAX; a NaN quotient
// stays NaN. 0/0 is 0.0; any other zero denominator is replaced by 1/d with d
// the loader's default for ZRT_DEFAULT_ZERO_DENOMINATOR (when d is finite and
// non-zero), else by 1/FLT_MAX. A d so small that 1/d is infinite makes a
// finite numerator over it 0.0 and an infinite one NaN (inf/inf): the result
// is not always finite. With a non-zero check flag the host's MathCheck slot hears of zero
// or too small denominators and too large numerators. Model loads call this
// with flag 0 on every Newton iteration, so the plain case is inline.
inline double ZRT_RealChkDiv(double num, double den, s_ZRT_DeviceInst* inst, int32_t line,
                             const s_ZRT_ContribLoader* loader, int32_t checkFlag) {
    if (den != 0.0 && checkFlag == 0) {
        return clampQuotient(num / den);
    }
    return realChkDivGuarded(num, den, inst, line, loader, checkFlag);
}

// y truncated toward zero to 32 bits; a y outside that range (or NaN) gives
// INT32_MIN, so it never equals y unless y is -2147483648.0 itself.
inline int32_t zrtTruncToInt32(double y) {
    if (y > -2147483649.0 && y < 2147483648.0) {
        return static_cast<int32_t>(y);
    }
    return INT32_MIN;
}

// x^y with its partial derivatives (each output may be null and is 0.0 where
// no rule sets it). A negative base with a non-integral exponent, and a zero
// base with a negative exponent, answer 0.0. Model loads call it on every
// Newton iteration, so it is inline: the outputs they do not ask for fold away.
inline double ZRT_pow(double x, double y, double* dx, double* dy) {
    if (dx != nullptr) {
        *dx = 0.0;
    }
    if (dy != nullptr) {
        *dy = 0.0;
    }
    if (x < 0.0 && y != static_cast<double>(zrtTruncToInt32(y))) {
        return 0.0;
    }
    if (x == 0.0 && y < 0.0) {
        return 0.0;
    }
    double r;
    if (y == 1.0) {
        r = x;
    } else if (y == 0.5) {
        r = std::sqrt(x);
    } else {
        r = std::pow(x, y);
    }
    if (dy != nullptr && x > 0.0) {
        *dy = std::log(x) * r;
    }
    if (dx != nullptr) {
        if (y == 1.0) {
            *dx = 1.0;
        } else if (x != 0.0) {
            *dx = y * r / x;
        }
    }
    return r;
}

// x^n by repeated squaring; a negative n uses 1/x, or 1e36 when |x| < 1e-36.
double ZRT_intPow(double x, int64_t n);

// x^y with domain checks: a negative base with a non-integral exponent, and a
// zero base with a non-positive exponent, are reported (code 3) when the
// MathCheck slot is present, and answered by intPow of the rounded exponent
// and by FLT_MAX when it is not.
double ZRT_checkPow(s_ZRT_DeviceInst* inst, int32_t line, double x, double y, const s_ZRT_ContribLoader* loader);

// Reports a value that is not finite (code 8) or at least the loader's largest
// value (code 7), passing the name word on.
void ZRT_CheckVar(double value, const void* name, s_ZRT_DeviceInst* inst, int32_t line,
                  const s_ZRT_ContribLoader* loader);

// Called for an argument out of the function's domain: report codes 1, 2 and 4
// when the slot is present. ln and log10 answer -FLT_MAX, sqrt answers |x|.
double ZRT_LogDomainErr(double x, s_ZRT_DeviceInst* inst, int32_t line, const s_ZRT_ContribLoader* loader);
double ZRT_Log10DomainErr(double x, s_ZRT_DeviceInst* inst, int32_t line, const s_ZRT_ContribLoader* loader);
double ZRT_SqrtDomainErr(double x, s_ZRT_DeviceInst* inst, int32_t line, const s_ZRT_ContribLoader* loader);

// Integer division by zero: reports code 0 when checking; answers 1 for a zero
// numerator and +-50000 by its sign otherwise.
int32_t ZRT_IntDivByZero(int32_t numerator, s_ZRT_DeviceInst* inst, int32_t line,
                         const s_ZRT_ContribLoader* loader, int32_t checkFlag);

// d h / d x of a hypotenuse h over its leg x: x / h, or 1.0 when h <= 0.0.
double ZRT_hypotDeriv(double x, double h);

// Passes a report straight to the MathCheck slot when it is present.
void ZRT_DebugReport(s_ZRT_DeviceInst* inst, int32_t line, int32_t code, const void* word,
                     const s_ZRT_ContribLoader* loader);
