#include <cmath>

#include "dsl/ZRT_SupportLib.h"

namespace {

constexpr double kSoftKnee = 300.0;
constexpr double kExpSoftKnee = 1.9424263952412558e130;  // e^300

}  // namespace

double ZRT_exp_FP(double x) { return zrtExpCapped(x); }

double ZRT_exp_FP_deriv(double x, double* d) { return zrtExpCappedDeriv(x, d); }

double ZRT_softExp(double x, double* d) {
    if (x > kSoftKnee) {
        *d = kExpSoftKnee;
        return ((x + 1.0) - kSoftKnee) * kExpSoftKnee;
    }
    const double e = std::exp(x);
    *d = e;
    return e;
}

double ZRT_defaultSoftExp(double x, s_ZRT_LimexpDesc* desc) { return ZRT_softExp(x, &desc->deriv); }

double ZRT_linExp(double x, double xLimit, double expAtLimit) {
    return xLimit >= x ? std::exp(x) : ((x + 1.0) - xLimit) * expAtLimit;
}

double ZRT_linExp_deriv(double x, double* d, double xLimit, double expAtLimit) {
    if (xLimit >= x) {
        const double e = std::exp(x);
        *d = e;
        return e;
    }
    *d = expAtLimit;
    return ((x + 1.0) - xLimit) * expAtLimit;
}

s_ZRT_LimexpDesc* ZRT_createLimexp(s_ZRT_DeviceInst* inst, uint32_t id, void* word1, void* word2) {
    s_ZRT_SimInterface* sim = simOf(inst);
    auto* desc = static_cast<s_ZRT_LimexpDesc*>(ZRT_calloc(1, sizeof(s_ZRT_LimexpDesc), sim, inst, nullptr));
    if (desc == nullptr) {
        return nullptr;
    }
    desc->inst = inst;
    desc->id = id;
    desc->word1 = word1;
    desc->word2 = word2;
    desc->deriv = 0.0;
    desc->fn = ZRT_defaultSoftExp;
    desc->reserved = nullptr;
    return desc;
}
