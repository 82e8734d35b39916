// Coefficients of the z-transform operators: numerator and denominator
// polynomials in z^-1 from the operator's arrays, and the histories resized
// to them.
#include <algorithm>
#include <cstring>

#include "dsl/polynomial_factoring.h"
#include "dsl/zi.h"

namespace {

// One side of the filter while it is computed: its coefficients and count.
struct Side {
    double* c = nullptr;
    int32_t count = 0;
};

double* allocDoubles(int32_t n, s_ZRT_DeviceInst* inst) {
    return static_cast<double*>(ZRT_malloc(static_cast<size_t>(n) * sizeof(double), inst->pSim, inst, nullptr));
}

// The side's values as doubles in a buffer of room for at least one. An
// absent array is the constant 1 for a side given as roots; an empty one
// gives the single coefficient 0 (the roots conversion makes it 1). Clears
// the array's modified flag. False when memory is exhausted, now or when the
// model made its arrays: a side of coefficients without an array is one that
// the heap could not give.
bool readSide(Side& side, s_ZRT_Array* pArray, int32_t rootForm, s_ZRT_DeviceInst* inst) {
    if (pArray == nullptr && rootForm == 0) {
        return false;
    }
    const int32_t n = pArray != nullptr ? arrayCoeffCount(pArray) : 1;
    side.c = allocDoubles(std::max(n, 1), inst);
    if (side.c == nullptr) {
        return false;
    }
    if (pArray == nullptr) {
        side.c[0] = 1.0;
        side.count = 1;
        return true;
    }
    pArray->flags = static_cast<uint8_t>(pArray->flags & ~ZRT_ARRAY_MODIFIED);
    for (int32_t i = 0; i < n; ++i) {
        side.c[i] = arrayCoeff(pArray, i);
    }
    if (n == 0) {
        side.c[0] = 0.0;
    }
    side.count = n;
    return true;
}

// A side given as roots becomes its polynomial; the count stays (the
// coefficients above the degree are 0), except that no roots give the
// constant 1 with count 1. An odd list or a root without its conjugate is
// told once (ZRT_ArrayErrors) and left as read. False when memory ran out
// before the conversion was done.
bool rootsToPolynomial(Side& side, ZRT_OpBranch_zi* pOp, const char* which) {
    const int32_t converted =
        convertRootsToPoly(side.c, side.count, pOp->inst->pSim, pOp->inst, which, pOp->name, &pOp->arrayErrors);
    side.count = std::max(side.count, 1);
    return converted != kFactorNoMemory;
}

int32_t firstNonZero(const Side& side) {
    for (int32_t i = 0; i < side.count; ++i) {
        if (side.c[i] != 0.0) {  // a NaN counts as non-zero
            return i;
        }
    }
    return -1;
}

void shiftDown(Side& side, int32_t j) {
    std::memmove(side.c, side.c + j, static_cast<size_t>(side.count - j) * sizeof(double));
    side.count -= j;
}

// An error of the operator's arrays, told once (ZRT_ArrayErrors).
void ziError(ZRT_OpBranch_zi* pOp, const char* text) {
    arrayError(&pOp->arrayErrors, pOp->inst->pSim, pOp->inst, text, pOp->name);
}

// Moves a zero leading denominator coefficient out of the way. Answers
// whether the coefficients are ready.
bool normaliseLeading(Side& numer, Side& denom, ZRT_OpBranch_zi* pOp) {
    if (denom.c[0] != 0.0) {
        return true;
    }
    const int32_t j = denom.count >= 2 ? firstNonZero(denom) : -1;
    if (j < 1) {
        if (pOp->denomArray != nullptr && pOp->denomArray->_digID >= 0) {
            denom.c[0] = 1.0;  // a digital signal that is still settling
            return false;
        }
        ziError(pOp, "Leading denominator coefficient must be non-zero for operator '%s'.");
        return true;
    }
    shiftDown(denom, j);
    const int32_t k = firstNonZero(numer);
    if (k < 0) {
        numer.c[0] = 0.0;
        numer.count = 1;
    } else if (k < j) {
        ziError(pOp, "Non-causal z-transform operator.");
    } else {
        shiftDown(numer, j);
    }
    return true;
}

// A history of `count` entries holding the newest entries of the old one.
double* carryHistory(const double* old, int32_t oldCount, int32_t count, s_ZRT_DeviceInst* inst) {
    double* h = allocDoubles(count, inst);
    if (h == nullptr) {
        return nullptr;
    }
    const int32_t kept = old != nullptr ? std::min(std::max(oldCount, 0), count) : 0;
    for (int32_t i = 0; i < count; ++i) {
        h[i] = i < kept ? old[i] : 0.0;
    }
    return h;
}

}  // namespace

void ZRT_ziComputeCoeffs(ZRT_OpBranch_zi* pOp) {
    if (pOp == nullptr) {
        return;
    }
    s_ZRT_DeviceInst* inst = pOp->inst;
    Side numer;
    Side denom;
    if (!readSide(numer, pOp->numerArray, pOp->_numerZeroForm, inst) ||
        !readSide(denom, pOp->denomArray, pOp->_denomPoleForm, inst)) {
        ZRT_free(numer.c);
        pOp->coeffsReady = 0;
        return;
    }
    // Sides of roots become polynomials; memory running out there, or for
    // the histories, leaves the operator as it was.
    const bool converted =
        (pOp->_numerZeroForm == 0 || pOp->numerArray == nullptr || rootsToPolynomial(numer, pOp, "numerator")) &&
        (pOp->_denomPoleForm == 0 || pOp->denomArray == nullptr || rootsToPolynomial(denom, pOp, "denominator"));
    numer.count = std::max(numer.count, 1);
    denom.count = std::max(denom.count, 1);
    const bool ready = converted && normaliseLeading(numer, denom, pOp);

    double* u = converted ? carryHistory(pOp->u, pOp->numerCount, numer.count, inst) : nullptr;
    double* y = converted ? carryHistory(pOp->y, pOp->denomCount, denom.count, inst) : nullptr;
    if (u == nullptr || y == nullptr) {
        ZRT_free(numer.c);
        ZRT_free(denom.c);
        ZRT_free(u);
        ZRT_free(y);
        pOp->coeffsReady = 0;
        return;
    }
    ZRT_free(pOp->b);
    ZRT_free(pOp->u);
    ZRT_free(pOp->a);
    ZRT_free(pOp->y);
    pOp->b = numer.c;
    pOp->u = u;
    pOp->numerCount = numer.count;
    pOp->a = denom.c;
    pOp->y = y;
    pOp->denomCount = denom.count;
    pOp->coeffsReady = ready ? 1 : 0;
}
