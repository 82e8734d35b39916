#include "dsl/random.h"

#include <cmath>

namespace {

// The seed a seed-variable form advances: the variable, else the
// descriptor's working seed; null when there is neither.
uint32_t* seedToAdvance(ZRT_RandomDesc* desc, uint32_t* seed) {
    if (seed != nullptr) {
        return seed;
    }
    return desc != nullptr ? &desc->workingSeed : nullptr;
}

// A seed-value form's seed: the value enters the working seed until a time
// point has been accepted.
uint32_t* takeSeedValue(ZRT_RandomDesc* desc, uint32_t seedValue) {
    if (desc == nullptr) {
        return nullptr;
    }
    if ((desc->flags & ZRT_RANDOM_ACCEPTED) == 0) {
        desc->workingSeed = seedValue;
    }
    return &desc->workingSeed;
}

template <typename Core>
double draw(ZRT_RandomDesc* desc, uint32_t* seed, Core core) {
    uint32_t* s = seedToAdvance(desc, seed);
    return s != nullptr ? core(s) : 0.0;
}

s_ZRT_DeviceInst* ownerOf(const ZRT_RandomDesc* desc) { return desc != nullptr ? desc->inst : nullptr; }
s_ZRT_SimInterface* simOf(const ZRT_RandomDesc* desc) { return ::simOf(ownerOf(desc)); }

void argumentError(const ZRT_RandomDesc* desc, const char* text) {
    fatalError(simOf(desc), ownerOf(desc), nullptr, text);
}

}  // namespace

ZRT_RandomDesc* ZRT_createRandomDesc(int32_t flag, s_ZRT_DeviceInst* inst) {
    s_ZRT_SimInterface* sim = simOf(inst);
    auto* desc = static_cast<ZRT_RandomDesc*>(ZRT_malloc(sizeof(ZRT_RandomDesc), sim, inst, nullptr));
    if (desc == nullptr) {
        return nullptr;
    }
    desc->inst = inst;
    desc->acceptedSeed = (sim != nullptr && sim->CreateRandomDesc != nullptr) ? sim->CreateRandomDesc(sim) : 0u;
    desc->workingSeed = 0;
    desc->flags = (flag & 1) != 0 ? ZRT_RANDOM_CREATED : 0u;
    return desc;
}

void ZRT_randomInitPoint(ZRT_RandomDesc* desc) {
    if (desc != nullptr) {
        desc->workingSeed = desc->acceptedSeed;
    }
}

void ZRT_randomAcceptPoint(ZRT_RandomDesc* desc) {
    if (desc != nullptr) {
        desc->flags |= ZRT_RANDOM_ACCEPTED;
        desc->acceptedSeed = desc->workingSeed;
    }
}

void ZRT_randomResetSeed(ZRT_RandomDesc* desc) {
    if (desc != nullptr) {
        desc->flags &= ~static_cast<uint32_t>(ZRT_RANDOM_ACCEPTED);
    }
}

// ---- uniform ------------------------------------------------------------------

int32_t ZRT_random(ZRT_RandomDesc* desc, uint32_t* seed) { return ZRT_dist_uniform(desc, seed, INT32_MIN, INT32_MAX); }

int32_t ZRT_random2(ZRT_RandomDesc* desc, uint32_t seedValue) {
    return ZRT_random(desc, takeSeedValue(desc, seedValue));
}

int32_t ZRT_dist_uniform(ZRT_RandomDesc* desc, uint32_t* seed, int32_t start, int32_t end) {
    uint32_t* s = seedToAdvance(desc, seed);
    return s != nullptr ? __ZRT_rtl_dist_uniform(s, start, end) : 0;
}

int32_t ZRT_dist2_uniform(ZRT_RandomDesc* desc, uint32_t seedValue, int32_t start, int32_t end) {
    return ZRT_dist_uniform(desc, takeSeedValue(desc, seedValue), start, end);
}

double ZRT_rdist_uniform(ZRT_RandomDesc* desc, uint32_t* seed, double start, double end) {
    return draw(desc, seed, [&](uint32_t* s) {
        const int32_t i = __ZRT_random(s);
        if (start > end) {
            return 0.0;
        }
        const double u = (i / 2147483647.0 + 1.0) * 0.5;
        return (1.0 - u) * start + u * end;
    });
}

double ZRT_rdist2_uniform(ZRT_RandomDesc* desc, uint32_t seedValue, double start, double end) {
    return ZRT_rdist_uniform(desc, takeSeedValue(desc, seedValue), start, end);
}

// ---- the real seed-variable forms ------------------------------------------------

double ZRT_rdist_normal(ZRT_RandomDesc* desc, uint32_t* seed, double mean, double deviation) {
    return draw(desc, seed, [&](uint32_t* s) { return __ZRT_normal(s, mean, deviation); });
}

double ZRT_rdist_exponential(ZRT_RandomDesc* desc, uint32_t* seed, double mean) {
    return draw(desc, seed, [&](uint32_t* s) { return __ZRT_exponential(s, mean); });
}

double ZRT_rdist_poisson(ZRT_RandomDesc* desc, uint32_t* seed, double mean) {
    if (mean <= 0.0) {
        argumentError(desc, "poisson distribution must have a positive mean.");
    }
    return draw(desc, seed, [&](uint32_t* s) { return __ZRT_poisson(s, mean); });
}

double ZRT_rdist_chi_square(ZRT_RandomDesc* desc, uint32_t* seed, double degrees) {
    const int32_t n = truncateToIntSaturated(degrees);
    if (n < 1) {
        argumentError(desc, "chi_square distribution must have a positive degree_of_freedom.");
    }
    return draw(desc, seed, [&](uint32_t* s) { return __ZRT_chi_square(s, n); });
}

double ZRT_rdist_t(ZRT_RandomDesc* desc, uint32_t* seed, double degrees) {
    const int32_t n = truncateToIntSaturated(degrees);
    if (n < 1) {
        argumentError(desc, "t distribution must have a positive degree of freedom");
    }
    return draw(desc, seed, [&](uint32_t* s) { return __ZRT_t(s, n); });
}

double ZRT_rdist_erlang(ZRT_RandomDesc* desc, uint32_t* seed, double k, double mean) {
    const int32_t stages = truncateToIntSaturated(k + 0.5);
    if (std::fabs(k - stages) > 1e-6) {
        ZRT_Message(simOf(desc), ownerOf(desc), nullptr, ZRT_MSG_WARNING,
                    "In $rdist_erlang, 'k_stage' is rounded to an integer.");
    }
    if (stages <= 0) {
        argumentError(desc, "k-stage erlangian distribution must have a positive k");
    }
    return draw(desc, seed, [&](uint32_t* s) { return __ZRT_erlangian(s, stages, mean); });
}

// ---- the forms derived from them ----------------------------------------------------
// Each distribution's seed-value form runs its real form on the working seed;
// its integer forms round the real forms' results. The parameter lists come
// in parentheses: real parameters, integer parameters, argument names.

#define ZRT_UNPAREN(...) __VA_ARGS__
#define ZRT_DERIVED_RANDOM_FORMS(name, realParams, intParams, args)                                          \
    double ZRT_rdist2_##name(ZRT_RandomDesc* desc, uint32_t seedValue, ZRT_UNPAREN realParams) {             \
        return ZRT_rdist_##name(desc, takeSeedValue(desc, seedValue), ZRT_UNPAREN args);                      \
    }                                                                                                         \
    int32_t ZRT_dist_##name(ZRT_RandomDesc* desc, uint32_t* seed, ZRT_UNPAREN intParams) {                    \
        return ZRT_doubleToInt(ZRT_rdist_##name(desc, seed, ZRT_UNPAREN args));                               \
    }                                                                                                         \
    int32_t ZRT_dist2_##name(ZRT_RandomDesc* desc, uint32_t seedValue, ZRT_UNPAREN intParams) {               \
        return ZRT_doubleToInt(ZRT_rdist2_##name(desc, seedValue, ZRT_UNPAREN args));                         \
    }

ZRT_DERIVED_RANDOM_FORMS(normal, (double mean, double deviation), (int32_t mean, int32_t deviation), (mean, deviation))
ZRT_DERIVED_RANDOM_FORMS(exponential, (double mean), (int32_t mean), (mean))
ZRT_DERIVED_RANDOM_FORMS(poisson, (double mean), (int32_t mean), (mean))
ZRT_DERIVED_RANDOM_FORMS(chi_square, (double degrees), (int32_t degrees), (degrees))
ZRT_DERIVED_RANDOM_FORMS(t, (double degrees), (int32_t degrees), (degrees))
ZRT_DERIVED_RANDOM_FORMS(erlang, (double k, double mean), (int32_t k, int32_t mean), (k, mean))

#undef ZRT_DERIVED_RANDOM_FORMS
#undef ZRT_UNPAREN
