#include <cfloat>
#include <cmath>
#include <cstdint>

#include "dsl/ZRT_SupportLib.h"

namespace {

// The instance's MathCheck slot, or null when any link to it is missing.
ZRT_MathCheckFn mathCheckSlot(const s_ZRT_DeviceInst* inst) {
    if (inst == nullptr || inst->pSim == nullptr) {
        return nullptr;
    }
    return inst->pSim->MathCheck;
}

// A report with the word 0, when the instance's slot is present.
void reportDomainError(ZRT_MathCheckCode code, s_ZRT_DeviceInst* inst, int32_t line,
                       const s_ZRT_ContribLoader* loader) {
    const ZRT_MathCheckFn report = mathCheckSlot(inst);
    if (report != nullptr) {
        report(code, inst, line, nullptr, loader);
    }
}

bool hasGetDefault(const s_ZRT_ContribLoader* loader) { return loader != nullptr && loader->GetDefault != nullptr; }

// +-magnitude with the sign of base^n.
double withParitySign(double magnitude, double base, uint64_t n) {
    return std::signbit(base) && (n & 1u) != 0 ? -magnitude : magnitude;
}

}  // namespace

double realChkDivGuarded(double num, double den, s_ZRT_DeviceInst* inst, int32_t line,
                         const s_ZRT_ContribLoader* loader, int32_t checkFlag) {
    const ZRT_MathCheckFn report = checkFlag != 0 ? mathCheckSlot(inst) : nullptr;
    double denomArg = den;
    if (denomArg == 0.0) {
        if (report != nullptr) {
            report(ZRT_MATHCHECK_DIV_BY_ZERO, inst, line, nullptr, loader);
        }
        if (num == 0.0) {
            return 0.0;
        }
        denomArg = 1.0 / static_cast<double>(FLT_MAX);
        if (hasGetDefault(loader)) {
            // The host's stand-in t gives the denominator 1/t, infinite for
            // a tiny t (the quotient is then 0.0). 0.0 is the host's "no
            // value"; an infinite or NaN t has no usable reciprocal. Those
            // keep 1/FLT_MAX.
            const double t = loader->GetDefault(ZRT_DEFAULT_ZERO_DENOMINATOR, loader, inst);
            if (t != 0.0 && std::isfinite(t)) {
                denomArg = 1.0 / t;
            }
        }
    }
    if (report != nullptr) {
        ZRT_ASSERT(denomArg != 0.0);
        if (hasGetDefault(loader)) {
            const double minDenominator = loader->GetDefault(ZRT_DEFAULT_MIN_DENOMINATOR, loader, inst);
            if (minDenominator > 0.0 && minDenominator > std::fabs(denomArg)) {
                report(ZRT_MATHCHECK_SMALL_DENOMINATOR, inst, line, nullptr, loader);
            }
            const double maxNumerator = loader->GetDefault(ZRT_DEFAULT_MAX_NUMERATOR, loader, inst);
            if (maxNumerator > 0.0 && std::fabs(num) > maxNumerator) {
                report(ZRT_MATHCHECK_LARGE_NUMERATOR, inst, line, nullptr, loader);
            }
        }
    }
    return clampQuotient(num / denomArg);
}

double ZRT_intPow(double x, int64_t n) {
    if (n == 0) {
        return 1.0;
    }
    if (n == 1) {
        return x;
    }
    double base = x;
    // The magnitude of n, taken in unsigned arithmetic so that no n overflows.
    uint64_t m = static_cast<uint64_t>(n);
    if (n < 0) {
        base = std::fabs(x) < 1e-36 ? 1e36 : 1.0 / x;
        m = 0 - m;
        if (m == 1) {
            return base;
        }
    }
    if (std::fabs(base) == 1.0) {
        return withParitySign(1.0, base, m);  // every product below is exact
    }
    // Once the product is 0, infinite or NaN, no further factor changes it
    // but for the sign, which follows the parity of n.
    auto settled = [](double p) { return p == 0.0 || !std::isfinite(p); };
    double p = base * base;
    uint64_t k = 2;
    while (k <= m / 2) {
        if (settled(p)) {
            return std::isnan(p) ? p : withParitySign(std::fabs(p), base, m);
        }
        p = p * p;
        k *= 2;
    }
    for (; k < m; ++k) {
        if (settled(p)) {
            return std::isnan(p) ? p : withParitySign(std::fabs(p), base, m);
        }
        p = p * base;
    }
    return p;
}

double ZRT_checkPow(s_ZRT_DeviceInst* inst, int32_t line, double x, double y, const s_ZRT_ContribLoader* loader) {
    const ZRT_MathCheckFn report = mathCheckSlot(inst);
    if (x < 0.0) {
        const int32_t n = ZRT_doubleToInt(y);
        if (static_cast<double>(n) == y) {
            return std::pow(x, y);
        }
        if (report != nullptr) {
            report(ZRT_MATHCHECK_POW_DOMAIN, inst, line, nullptr, loader);
            return std::pow(x, y);
        }
        return ZRT_intPow(x, n);
    }
    if (x == 0.0 && y <= 0.0) {
        if (report != nullptr) {
            report(ZRT_MATHCHECK_POW_DOMAIN, inst, line, nullptr, loader);
            return std::pow(x, y);
        }
        return FLT_MAX;
    }
    return std::pow(x, y);
}

void ZRT_CheckVar(double value, const void* name, s_ZRT_DeviceInst* inst, int32_t line,
                  const s_ZRT_ContribLoader* loader) {
    const ZRT_MathCheckFn report = mathCheckSlot(inst);
    if (report == nullptr) {
        return;
    }
    if (!std::isfinite(value)) {
        report(ZRT_MATHCHECK_NOT_FINITE, inst, line, name, loader);
        return;
    }
    if (hasGetDefault(loader)) {
        const double largest = loader->GetDefault(ZRT_DEFAULT_MAX_VALUE, loader, inst);
        if (largest > 0.0 && std::fabs(value) >= largest) {
            report(ZRT_MATHCHECK_LARGE_VALUE, inst, line, name, loader);
        }
    }
}

double ZRT_LogDomainErr(double, s_ZRT_DeviceInst* inst, int32_t line, const s_ZRT_ContribLoader* loader) {
    reportDomainError(ZRT_MATHCHECK_LN_DOMAIN, inst, line, loader);
    return -FLT_MAX;
}

double ZRT_Log10DomainErr(double, s_ZRT_DeviceInst* inst, int32_t line, const s_ZRT_ContribLoader* loader) {
    reportDomainError(ZRT_MATHCHECK_LOG10_DOMAIN, inst, line, loader);
    return -FLT_MAX;
}

double ZRT_SqrtDomainErr(double x, s_ZRT_DeviceInst* inst, int32_t line, const s_ZRT_ContribLoader* loader) {
    reportDomainError(ZRT_MATHCHECK_SQRT_DOMAIN, inst, line, loader);
    return std::fabs(x);
}

int32_t ZRT_IntDivByZero(int32_t numerator, s_ZRT_DeviceInst* inst, int32_t line,
                         const s_ZRT_ContribLoader* loader, int32_t checkFlag) {
    if (checkFlag != 0 && loader != nullptr) {
        reportDomainError(ZRT_MATHCHECK_DIV_BY_ZERO, inst, line, loader);
    }
    if (numerator == 0) {
        return 1;
    }
    return numerator > 0 ? 50000 : -50000;
}

double ZRT_hypotDeriv(double x, double h) { return h <= 0.0 ? 1.0 : x / h; }

void ZRT_DebugReport(s_ZRT_DeviceInst* inst, int32_t line, int32_t code, const void* word,
                     const s_ZRT_ContribLoader* loader) {
    const ZRT_MathCheckFn report = mathCheckSlot(inst);
    if (report != nullptr) {
        report(code, inst, line, word, loader);
    }
}
