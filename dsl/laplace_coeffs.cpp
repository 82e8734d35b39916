// The coefficients of the laplace operators' two realisations, computed when
// the operator is first evaluated and again whenever an array changes.
#include <cmath>
#include <cstring>

#include "dsl/laplace.h"

namespace {

const char* conjugateError(bool numerator) {
    return numerator ? "Complex zeros must have corresponding conjugates for '%s'."
                     : "Complex poles must have corresponding conjugates for '%s'.";
}

const char* factorError(bool numerator) {
    return numerator ? "Unable to accurately factor numerator polynomial for operator '%s'. Please use an "
                       "alternate formulation"
                     : "Unable to accurately factor denominator polynomial for operator '%s'. Please use an "
                       "alternate formulation";
}

// An error of the operator's arrays, told once (ZRT_ArrayErrors).
void inputError(ZRT_OpBranch_lap* pOp, const char* format) {
    arrayError(&pOp->arrayErrors, pOp->inst->pSim, pOp->inst, format, pOp->name);
}

// Zeroed doubles through the operator's interface; null for none.
double* newDoubles(const ZRT_OpBranch_lap* pOp, int32_t count) {
    if (count <= 0) {
        return nullptr;
    }
    return static_cast<double*>(ZRT_calloc(static_cast<size_t>(count), sizeof(double), pOp->inst->pSim, pOp->inst,
                                           pOp->name));
}

// The root list of a root-form side: its pairs copied and checked for
// conjugates (the error is given and the walk goes on). `roots` holds
// 2 * rootCount doubles.
bool readRoots(ZRT_OpBranch_lap* pOp, const s_ZRT_Array* pArray, double* roots, int32_t rootCount,
               bool numerator) {
    for (int32_t k = 0; k < 2 * rootCount; ++k) {
        roots[k] = arrayCoeff(pArray, k);
    }
    if (ZRT_checkConjugateZeros(roots, 2 * rootCount) == 0) {
        inputError(pOp, conjugateError(numerator));
        return false;
    }
    return true;
}

// The count + 1 ascending coefficients of one side of the direct
// realisation: the array's (0 past its end), or the normalised polynomial of
// its roots (1 for no roots). False when the roots' scratch could not be had.
bool readPolynomial(ZRT_OpBranch_lap* pOp, bool numerator, double* out, int32_t count) {
    const s_ZRT_Array* pArray = numerator ? pOp->numer : pOp->denom;
    const bool coefficients = (pOp->flags & (numerator ? LAP_NUMER_COEFFS : LAP_DENOM_COEFFS)) != 0;
    for (int32_t i = 0; i <= count; ++i) {
        out[i] = coefficients ? arrayCoeff(pArray, i) : 0.0;
    }
    if (coefficients) {
        return true;
    }
    out[0] = 1.0;
    const int32_t rootCount = arrayCoeffCount(pArray) / 2;
    double* roots = newDoubles(pOp, 2 * rootCount);
    double* poly = newDoubles(pOp, 2 * rootCount);
    const bool ok = rootCount <= 0 || (roots != nullptr && poly != nullptr);
    if (rootCount > 0 && ok) {
        readRoots(pOp, pArray, roots, rootCount, numerator);
        // 2 * rootCount coefficients in scratch; those above the order are 0.
        computePolyFromRoots(poly, roots, 2 * rootCount);
        for (int32_t i = 0; i <= count && i < 2 * rootCount; ++i) {
            out[i] = poly[i];
        }
    }
    ZRT_free(roots);
    ZRT_free(poly);
    return ok;
}

// How factoring one side of the cascade ended.
enum class Factored { Ok, Error, NoMemory };

// Roots of one side of the cascade into its table: root form as given,
// coefficient form through the host's eigenvalue routine (the denominator
// with its unstable roots mirrored). The side's first non-zero coefficient
// goes into the gain.
Factored factorSide(ZRT_OpBranch_lap* pOp, bool numerator, RootInfo* table, int32_t expected, double* gain) {
    const s_ZRT_Array* pArray = numerator ? pOp->numer : pOp->denom;
    const bool coefficients = (pOp->flags & (numerator ? LAP_NUMER_COEFFS : LAP_DENOM_COEFFS)) != 0;
    const int32_t length = arrayCoeffCount(pArray);
    s_ZRT_SimInterface* sim = pOp->inst->pSim;
    if (!coefficients) {
        if (length / 2 != expected) {  // the order changed after finalize
            inputError(pOp, factorError(numerator));
            return Factored::Error;
        }
        double* roots = newDoubles(pOp, 2 * expected);
        Factored result = Factored::Ok;
        if (expected > 0 && roots == nullptr) {
            result = Factored::NoMemory;
        } else if (expected > 0 && !readRoots(pOp, pArray, roots, expected, numerator)) {
            result = Factored::Error;
        } else {
            initRootInfo(table, roots, expected);
        }
        ZRT_free(roots);
        return result;
    }
    double first = 0.0;
    for (int32_t i = 0; i < length && first == 0.0; ++i) {
        first = arrayCoeff(pArray, i);
    }
    // An all-zero numerator is the zero transfer function.
    *gain = numerator ? first : (first != 0.0 ? *gain / first : *gain);
    double* c = newDoubles(pOp, length);
    auto* found = static_cast<ZRT_ComplexNumber*>(
        ZRT_calloc(static_cast<size_t>(length > 0 ? length : 1), sizeof(ZRT_ComplexNumber), sim, pOp->inst,
                   pOp->name));
    Factored result = Factored::NoMemory;
    if (found != nullptr && (length == 0 || c != nullptr)) {
        for (int32_t i = 0; i < length; ++i) {
            c[i] = arrayCoeff(pArray, i);
        }
        int32_t mirrored = numerator ? 0 : 1;
        const int32_t count = length > 1 ? findPolyRootsEigensolve(c, length, found, sim, &mirrored) : 0;
        if (count == kFactorNoMemory) {
            result = Factored::NoMemory;
        } else if (count != expected) {
            inputError(pOp, factorError(numerator));
            result = Factored::Error;
        } else {
            if (mirrored > 0) {
                ZRT_Message(sim, pOp->inst, nullptr, ZRT_MSG_WARNING,
                            "During factorization of the denominator for %s.%s,\n     (%d) unstable roots were "
                            "mirrored to the left half plane.",
                            pOp->inst->name, pOp->name, mirrored);
            }
            double* pairs = newDoubles(pOp, 2 * count);
            result = count == 0 || pairs != nullptr ? Factored::Ok : Factored::NoMemory;
            for (int32_t k = 0; result == Factored::Ok && k < count; ++k) {
                pairs[2 * k] = found[k].re;
                pairs[2 * k + 1] = found[k].im;
            }
            if (result == Factored::Ok) {
                initRootInfo(table, pairs, count);
            }
            ZRT_free(pairs);
        }
    }
    ZRT_free(c);
    ZRT_free(found);
    return result;
}

void setSection(ZRT_Biquad* s, double num0, double den0) {
    s->num[0] = num0, s->num[1] = 0.0, s->num[2] = 0.0;
    s->den[0] = den0, s->den[1] = 0.0, s->den[2] = 0.0;
    s->w = 1.0;
}

// Sections by scaled den1, largest first; names, variables and handles stay.
void sortSections(ZRT_OpBranch_lap* pOp) {
    bool swapped = true;
    while (swapped) {
        swapped = false;
        for (int32_t k = 0; k + 1 < pOp->_numBiquads; ++k) {
            ZRT_Biquad* a = pOp->sections[k];
            ZRT_Biquad* b = pOp->sections[k + 1];
            if (a->den[1] < b->den[1]) {
                for (int c = 0; c < 3; ++c) {
                    std::swap(a->num[c], b->num[c]);
                    std::swap(a->den[c], b->den[c]);
                }
                std::swap(a->w, b->w);
                swapped = true;
            }
        }
    }
}

}  // namespace

bool computeCoeffs_lap_d(ZRT_OpBranch_lap* pOp) {
    const int32_t nd = pOp->_denomN;
    const int32_t nn = pOp->_numerN;
    ZRT_free(pOp->scale);
    ZRT_free(pOp->scaledNumer);
    ZRT_free(pOp->nonZero);
    pOp->scale = pOp->scaledNumer = nullptr;
    pOp->nonZero = nullptr;
    double* a = newDoubles(pOp, nd + 1);
    double* b = newDoubles(pOp, nn + 1);
    double* scale = newDoubles(pOp, pOp->order + 1);
    auto* marks = static_cast<uint8_t*>(
        ZRT_calloc(static_cast<size_t>(nd + 1), 1, pOp->inst->pSim, pOp->inst, pOp->name));
    // The loads skip an operator without coefficients.
    if (a == nullptr || b == nullptr || scale == nullptr || marks == nullptr || !readPolynomial(pOp, false, a, nd) ||
        !readPolynomial(pOp, true, b, nn)) {
        ZRT_free(a);
        ZRT_free(b);
        ZRT_free(scale);
        ZRT_free(marks);
        return false;
    }
    const double s = a[0] != 0.0 ? 1.0 / a[0] : 1.0;  // NaN counts as non-zero
    for (int32_t i = 0; i <= nd; ++i) {
        a[i] *= s;
    }
    for (int32_t i = 0; i <= nn; ++i) {
        b[i] *= s;
    }
    // Each state is the scaled derivative of the one before: the scale of
    // step k makes the k-th coefficient 1 (or 1e6 times smaller for a 0).
    scale[0] = 1.0;
    for (int32_t k = 1; k <= pOp->order; ++k) {
        const double lead = k <= nd ? a[k] : b[k];
        const double f = lead == 0.0 ? 1e6 : 1.0 / lead;
        scale[k] = lead == 0.0 ? 1e-6 : lead;
        for (int32_t i = k; i <= nd; ++i) {
            a[i] *= f;
        }
        for (int32_t i = k; i <= nn; ++i) {
            b[i] *= f;
        }
    }
    for (int32_t i = 0; i <= nd; ++i) {
        marks[i] = a[i] != 0.0;
    }
    double g = 1.0;
    for (int32_t i = 0; i <= nn; ++i) {
        g = std::fabs(b[i]) > g ? std::fabs(b[i]) : g;
    }
    for (int32_t i = 0; i <= nn; ++i) {
        b[i] /= g;
    }
    pOp->gain = g;
    pOp->scale = scale;
    pOp->scaledNumer = b;
    pOp->nonZero = marks;
    ZRT_free(a);
    return true;
}

bool computeCoeffs_lap_p(ZRT_OpBranch_lap* pOp) {
    const int32_t nz = pOp->_numerN;
    const int32_t np = pOp->_denomN;
    const int32_t sections = pOp->_numBiquads;
    s_ZRT_SimInterface* sim = pOp->inst->pSim;
    auto* zeros = static_cast<RootInfo*>(ZRT_calloc(static_cast<size_t>(nz + 1), sizeof(RootInfo), sim, pOp->inst,
                                                    pOp->name));
    auto* poles = static_cast<RootInfo*>(ZRT_calloc(static_cast<size_t>(np + 1), sizeof(RootInfo), sim, pOp->inst,
                                                    pOp->name));
    auto* zq = static_cast<double(*)[4]>(ZRT_calloc(static_cast<size_t>(sections), sizeof(double[4]), sim,
                                                    pOp->inst, pOp->name));
    auto* pq = static_cast<double(*)[4]>(ZRT_calloc(static_cast<size_t>(sections), sizeof(double[4]), sim,
                                                    pOp->inst, pOp->name));
    double gain = 1.0;
    Factored factored = zeros != nullptr && poles != nullptr && zq != nullptr && pq != nullptr ? Factored::Ok
                                                                                               : Factored::NoMemory;
    if (factored == Factored::Ok) {
        factored = factorSide(pOp, true, zeros, nz, &gain);
    }
    if (factored == Factored::Ok) {
        factored = factorSide(pOp, false, poles, np, &gain);
    }
    const int32_t made =
        factored == Factored::Ok ? groupCascadeSections(zeros, nz, poles, np, sections, zq, pq, sim) : -1;
    const bool complete = factored != Factored::NoMemory && made != kFactorNoMemory;
    if (made < 0) {
        // Nothing passes an operator that could not be factored.
        for (int32_t k = 0; k < sections; ++k) {
            setSection(pOp->sections[k], 0.0, 1.0);
        }
    } else {
        for (int32_t k = 0; k < made; ++k) {
            ZRT_setBiquadCoeffs(pOp->sections[k], zq[k], pq[k], &gain);
        }
        for (int32_t k = made; k < sections; ++k) {
            setSection(pOp->sections[k], 1.0, 1.0);
        }
        sortSections(pOp);
    }
    pOp->gain = gain;
    ZRT_free(zeros);
    ZRT_free(poles);
    ZRT_free(zq);
    ZRT_free(pq);
    return complete;
}
