#include "dsl/polynomial_factoring.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "dsl/operator_frame.h"

namespace {

bool isComplexRoot(double im) { return !(im == 0.0); }  // NaN counts as complex

void emptyQuartet(double q[4]) {
    for (int k = 0; k < 4; ++k) {
        q[k] = NOT_A_VALID_POLE;
    }
}

bool slotEmpty(const double q[4], int slot) { return q[2 * slot] == NOT_A_VALID_POLE; }
bool slotAtZero(const double q[4], int slot) { return q[2 * slot] == 0.0 && q[2 * slot + 1] == 0.0; }

// The index the root was matched with, or -1.
int32_t matchedIndex(const RootInfo& r) { return (r.flags & ROOT_MATCHED) != 0 ? r.matched : -1; }

// Class of an unpaired entry for pairing: 0 unmatched; 2 when its matched
// partner is complex or paired; 1 otherwise.
int pairingClass(const RootInfo* other, const RootInfo& r) {
    const int32_t m = matchedIndex(r);
    if (m < 0) {
        return 0;
    }
    return (other[m].flags & (ROOT_IS_CPX | ROOT_PAIRED)) != 0 ? 2 : 1;
}

bool admitted(const RootInfo* other, int iClass, const RootInfo& candidate) {
    const int32_t m = matchedIndex(candidate);
    if (m < 0 || iClass == 0) {
        return true;
    }
    return iClass == 1 && (other[m].flags & (ROOT_IS_CPX | ROOT_PAIRED)) == 0;
}

// ---- the grouping that always fits ------------------------------------------

// At most two roots of one side that share a section, with the point that
// stands for them when zero groups are given to pole groups.
struct RootGroup {
    double quartet[4];
    double re;
    double im;
    bool taken;
};

// Each complex pair alone (its positive twin stands for it), then the real
// roots sorted and paired in order, an odd one alone. Answers the number of
// groups, or -1 when they exceed `cap`.
int32_t groupSide(const RootInfo* table, int32_t n, RootGroup* groups, int32_t cap, int32_t* realScratch) {
    int32_t count = 0;
    int32_t reals = 0;
    for (int32_t k = 0; k < n; ++k) {
        const RootInfo& r = table[k];
        if (!isComplexRoot(r.im)) {
            // Insertion into the sorted run of real roots.
            int32_t pos = reals++;
            while (pos > 0 && r.re < table[realScratch[pos - 1]].re) {
                realScratch[pos] = realScratch[pos - 1];
                --pos;
            }
            realScratch[pos] = k;
            continue;
        }
        if (r.im < 0.0) {
            continue;  // its twin carries it
        }
        if (count == cap) {
            return -1;
        }
        RootGroup& g = groups[count++];
        g = {{r.re, r.im, r.re, -r.im}, r.re, std::fabs(r.im), false};
    }
    for (int32_t k = 0; k < reals; k += 2) {
        if (count == cap) {
            return -1;
        }
        RootGroup& g = groups[count++];
        const RootInfo& a = table[realScratch[k]];
        emptyQuartet(g.quartet);
        g.quartet[0] = a.re;
        g.quartet[1] = 0.0;
        g.re = a.re;
        g.im = 0.0;
        g.taken = false;
        if (k + 1 < reals) {
            const RootInfo& b = table[realScratch[k + 1]];
            g.quartet[2] = b.re;
            g.quartet[3] = 0.0;
            g.re = 0.5 * (a.re + b.re);
        }
    }
    return count;
}

int32_t fallbackGrouping(const RootInfo* zeros, int32_t nz, const RootInfo* poles, int32_t np, int32_t maxSections,
                         double (*zq)[4], double (*pq)[4], RootGroup* zg, RootGroup* pg, int32_t* realScratch) {
    const int32_t numZeroGroups = groupSide(zeros, nz, zg, maxSections, realScratch);
    const int32_t numPoleGroups = groupSide(poles, np, pg, maxSections, realScratch);
    if (numZeroGroups < 0 || numPoleGroups < 0) {
        return -1;
    }
    for (int32_t k = 0; k < numPoleGroups; ++k) {
        std::memcpy(pq[k], pg[k].quartet, sizeof pq[k]);
        emptyQuartet(zq[k]);
    }
    // Zero groups to the nearest pole groups, closest pair first.
    const int32_t assignments = numZeroGroups < numPoleGroups ? numZeroGroups : numPoleGroups;
    for (int32_t round = 0; round < assignments; ++round) {
        int32_t bestP = -1;
        int32_t bestZ = -1;
        double best = 0.0;
        for (int32_t p = 0; p < numPoleGroups; ++p) {
            if (pg[p].taken) {
                continue;
            }
            for (int32_t z = 0; z < numZeroGroups; ++z) {
                if (zg[z].taken) {
                    continue;
                }
                const double d = std::fabs(pg[p].re - zg[z].re) + std::fabs(pg[p].im - zg[z].im);
                if (bestP < 0 || d < best) {
                    best = d;
                    bestP = p;
                    bestZ = z;
                }
            }
        }
        pg[bestP].taken = zg[bestZ].taken = true;
        std::memcpy(zq[bestP], zg[bestZ].quartet, sizeof zq[bestP]);
    }
    int32_t sections = numPoleGroups;
    for (int32_t z = 0; z < numZeroGroups; ++z) {
        if (!zg[z].taken) {
            if (sections == maxSections) {
                return -1;
            }
            std::memcpy(zq[sections], zg[z].quartet, sizeof zq[sections]);
            emptyQuartet(pq[sections]);
            ++sections;
        }
    }
    return sections;
}

// The matching and pairing of the roots, then the sections they give: one
// per pole not yet placed, then one per zero left. Answers the number of
// sections, or -1 when more than maxSections are needed.
int32_t matchedGrouping(RootInfo* zeros, int32_t nz, RootInfo* poles, int32_t np, int32_t maxSections,
                        double (*zq)[4], double (*pq)[4]) {
    while (matchPoleZeros(nz, np, zeros, poles, 1, 1) != 0) {
    }
    while (matchPoleZeros(nz, np, zeros, poles, 0, 0) != 0) {
    }
    while (pairRealRoots(zeros, poles, np) != 0) {
    }
    while (pairRealRoots(poles, zeros, nz) != 0) {
    }
    int32_t sections = 0;
    // A new section with empty quartets; false when none is left.
    auto open = [&]() {
        if (sections == maxSections) {
            return false;
        }
        emptyQuartet(zq[sections]);
        emptyQuartet(pq[sections]);
        return true;
    };
    for (int32_t p = 0; p < np; ++p) {
        if ((poles[p].flags & ROOT_USED) != 0) {
            continue;
        }
        if (!open()) {
            return -1;
        }
        addFactor(poles, pq[sections], p);
        int32_t z = matchedIndex(poles[p]);
        if (z < 0 && poles[p].paired >= 0 && (poles[p].flags & ROOT_IS_CPX) == 0) {
            z = matchedIndex(poles[poles[p].paired]);
        }
        if (z >= 0 && (zeros[z].flags & ROOT_USED) == 0) {
            addFactor(zeros, zq[sections], z);
        }
        ++sections;
    }
    for (int32_t z = 0; z < nz; ++z) {
        if ((zeros[z].flags & ROOT_USED) == 0) {
            if (!open()) {
                return -1;
            }
            addFactor(zeros, zq[sections++], z);
        }
    }
    return sections;
}

// Multiplies the n coefficients by the factor of one root.
void multiplyByRoot(double* c, int32_t n, double re, double im) {
    if (im < 0.0) {
        return;  // its twin carries it
    }
    if (isComplexRoot(im)) {
        ZRT_ASSERT_AT(im > 0.0, "im > 0.0", __FILE__, __LINE__);
        const double mag2 = re * re + im * im;
        for (int32_t i = n - 1; i >= 1; --i) {
            c[i] -= c[i - 1] * 2.0 * re / mag2;
            if (i >= 2) {
                c[i] += c[i - 2] / mag2;
            }
        }
    } else if (re != 0.0) {
        for (int32_t i = n - 1; i >= 1; --i) {
            c[i] -= c[i - 1] / re;
        }
    } else {
        for (int32_t i = n - 1; i >= 1; --i) {
            c[i] = c[i - 1];
        }
        c[0] = 0.0;
    }
}

}  // namespace

double arrayCoeff(const s_ZRT_Array* pArray, int32_t i) {
    if (pArray == nullptr || pArray->data == nullptr || i < 0 || i >= pArray->_dataLen) {
        return 0.0;
    }
    if (pArray->_arrayType == ZRT_REAL_ARRAY) {
        return static_cast<const double*>(pArray->data)[i];
    }
    if (pArray->_arrayType == ZRT_INT_ARRAY) {
        return static_cast<const int32_t*>(pArray->data)[i];
    }
    return 0.0;
}

int32_t arrayCoeffCount(const s_ZRT_Array* pArray) {
    return pArray != nullptr && pArray->data != nullptr && pArray->_dataLen > 0 ? pArray->_dataLen : 0;
}

bool coeffArrayChanged(const ZRT_CoeffSnapshot& seen, const s_ZRT_Array* pArray) {
    if (pArray != nullptr && (pArray->flags & ZRT_ARRAY_MODIFIED) != 0) {
        return true;
    }
    const int32_t n = arrayCoeffCount(pArray);
    if (seen.count != n) {
        return true;
    }
    for (int32_t i = 0; i < n; ++i) {
        const double v = arrayCoeff(pArray, i);
        if (!(v == seen.values[i]) && !(v != v && seen.values[i] != seen.values[i])) {
            return true;
        }
    }
    return false;
}

bool takeCoeffSnapshot(ZRT_CoeffSnapshot& seen, const s_ZRT_Array* pArray, s_ZRT_DeviceInst* inst) {
    const int32_t n = arrayCoeffCount(pArray);
    if (seen.count != n || (n > 0 && seen.values == nullptr)) {
        freeCoeffSnapshot(seen);
        if (n > 0) {
            seen.values = static_cast<double*>(
                ZRT_malloc(static_cast<size_t>(n) * sizeof(double), inst->pSim, inst, nullptr));
            if (seen.values == nullptr) {
                seen.count = -1;
                return false;
            }
        }
        seen.count = n;
    }
    for (int32_t i = 0; i < n; ++i) {
        seen.values[i] = arrayCoeff(pArray, i);
    }
    return true;
}

bool takeCoeffSnapshots(ZRT_CoeffSnapshot& numerSeen, const s_ZRT_Array* numer, ZRT_CoeffSnapshot& denomSeen,
                        const s_ZRT_Array* denom, s_ZRT_DeviceInst* inst) {
    const bool numerTaken = takeCoeffSnapshot(numerSeen, numer, inst);
    const bool denomTaken = takeCoeffSnapshot(denomSeen, denom, inst);
    return numerTaken && denomTaken;
}

ZRT_CoeffSnapshot copyCoeffSnapshot(const ZRT_CoeffSnapshot& source, s_ZRT_DeviceInst* inst) {
    ZRT_CoeffSnapshot copy{copyDoubles(source.values, source.count, inst), source.count};
    if (source.count > 0 && copy.values == nullptr) {
        copy.count = -1;
    }
    return copy;
}

void freeCoeffSnapshot(ZRT_CoeffSnapshot& seen) {
    ZRT_free(seen.values);
    seen.values = nullptr;
    seen.count = 0;
}

int32_t ZRT_checkConjugateZeros(double* list, int32_t n) {
    ZRT_ASSERT_AT(n % 2 == 0, "K%2 == 0", __FILE__, __LINE__);
    const int32_t pairs = n / 2;
    for (int32_t k = 0; k < pairs; ++k) {
        const double re = list[2 * k];
        const double im = list[2 * k + 1];
        if (!isComplexRoot(im)) {
            continue;
        }
        int32_t found = -1;
        for (int32_t j = k + 1; j < pairs && found < 0; ++j) {
            if (list[2 * j] == re && list[2 * j + 1] == -im) {
                found = j;
            }
        }
        if (found < 0) {
            return 0;
        }
        const int32_t next = k + 1;
        std::swap(list[2 * found], list[2 * next]);
        std::swap(list[2 * found + 1], list[2 * next + 1]);
        k = next;  // the walk goes on behind the conjugate
    }
    return 1;
}

void computePolyFromRoots(double* coeffs, const double* roots, int32_t n) {
    if (n < 1) {
        return;
    }
    coeffs[0] = 1.0;
    for (int32_t i = 1; i < n; ++i) {
        coeffs[i] = 0.0;
    }
    for (int32_t k = 0; k + 1 < n; k += 2) {
        multiplyByRoot(coeffs, n, roots[k], roots[k + 1]);
    }
}

int32_t findPolyRootsEigensolve(const double* c, int32_t count, ZRT_ComplexNumber* roots, s_ZRT_SimInterface* sim,
                                int32_t* mirror) {
    const bool mirroring = mirror != nullptr && *mirror != 0;
    if (mirror != nullptr) {
        *mirror = 0;
    }
    if (count < 2) {
        return 0;
    }
    int32_t m = count - 1;
    while (m > 0 && c[m] == 0.0) {
        --m;
    }
    if (m == 0 || sim == nullptr || sim->pLinAlg == nullptr || sim->pLinAlg->eigen == nullptr) {
        return 0;
    }
    const size_t order = static_cast<size_t>(m);
    auto* a = static_cast<double*>(ZRT_calloc(order * order, sizeof(double), sim, nullptr, nullptr));
    auto* wr = static_cast<double*>(ZRT_malloc(order * sizeof(double), sim, nullptr, nullptr));
    auto* wi = static_cast<double*>(ZRT_malloc(order * sizeof(double), sim, nullptr, nullptr));
    auto* vl = static_cast<double*>(ZRT_malloc(order * order * sizeof(double), sim, nullptr, nullptr));
    auto* vr = static_cast<double*>(ZRT_malloc(order * order * sizeof(double), sim, nullptr, nullptr));
    auto* work = static_cast<double*>(ZRT_malloc(4 * order * sizeof(double), sim, nullptr, nullptr));
    int32_t found = kFactorNoMemory;
    if (a != nullptr && wr != nullptr && wi != nullptr && vl != nullptr && vr != nullptr && work != nullptr) {
        found = 0;
        // Companion matrix, column-major: ones above the diagonal, the monic
        // coefficients negated in the last row.
        for (size_t r = 0; r + 1 < order; ++r) {
            a[(r + 1) * order + r] = 1.0;
        }
        for (size_t col = 0; col < order; ++col) {
            a[col * order + (order - 1)] = -c[col] / c[m];
        }
        const char job = 'N';
        const int32_t lwork = 4 * m;
        int32_t info = 0;
        sim->pLinAlg->eigen(&job, &job, &m, a, &m, wr, wi, vl, &m, vr, &m, work, &lwork, &info);
        if (info == 0) {
            int32_t mirrored = 0;
            for (int32_t k = 0; k < m; ++k) {
                double re = wr[k];
                if (mirroring && re > 0.0) {
                    re = -re;
                    ++mirrored;
                }
                if (roots != nullptr) {
                    roots[k] = {re, wi[k]};
                }
            }
            if (mirroring) {
                *mirror = mirrored;
            }
            found = m;
        }
    }
    ZRT_free(a);
    ZRT_free(wr);
    ZRT_free(wi);
    ZRT_free(vl);
    ZRT_free(vr);
    ZRT_free(work);
    return found;
}

void convertBiquadPoleToPoly(const double quartet[4], double out[3]) {
    const bool empty1 = slotEmpty(quartet, 0);
    const bool empty2 = slotEmpty(quartet, 1);
    const bool zero1 = !empty1 && slotAtZero(quartet, 0);
    const bool zero2 = !empty2 && slotAtZero(quartet, 1);
    if (zero1 && zero2) {
        out[0] = 0.0, out[1] = 0.0, out[2] = 1.0;
    } else if ((zero1 && empty2) || (zero2 && empty1)) {
        out[0] = 0.0, out[1] = 1.0, out[2] = 0.0;
    } else if (zero1 || zero2) {
        const double* zero = quartet;  // named after the assertions' texts
        if (zero1) {
            ZRT_ASSERT_AT(zero[3] == 0.0, "zero[3] == 0.0", __FILE__, __LINE__);
        } else {
            ZRT_ASSERT_AT(zero[1] == 0.0, "zero[1] == 0.0", __FILE__, __LINE__);
        }
        const double r = zero1 ? quartet[2] : quartet[0];
        out[0] = 0.0, out[1] = 1.0, out[2] = -1.0 / r;
    } else if (empty1 && empty2) {
        out[0] = 1.0, out[1] = 0.0, out[2] = 0.0;
    } else if (empty1 || empty2) {
        const double r = empty2 ? quartet[0] : quartet[2];
        out[0] = 1.0, out[1] = -1.0 / r, out[2] = 0.0;
    } else {
        const double c2 = 1.0 / (quartet[0] * quartet[2] - quartet[1] * quartet[3]);
        out[0] = 1.0, out[1] = -c2 * (quartet[0] + quartet[2]), out[2] = c2;
    }
}

void ZRT_setBiquadCoeffs(ZRT_Biquad* section, const double zeros[4], const double poles[4], double* gain) {
    double* num = section->num;
    double* den = section->den;
    convertBiquadPoleToPoly(zeros, num);
    convertBiquadPoleToPoly(poles, den);
    // The first rule that applies, on the denominator, then the numerator.
    auto scaleOf = [](const double* c, double* w) {
        if (c[2] != 0.0 && c[0] != 0.0) {
            *w = std::sqrt(std::fabs(c[2] / c[0]));
        } else if (c[2] != 0.0 && c[1] != 0.0 && c[0] == 0.0) {
            *w = std::fabs(c[2] / c[1]);
        } else if (c[2] == 0.0 && c[1] != 0.0 && c[0] != 0.0) {
            *w = std::fabs(c[1] / c[0]);
        } else {
            return false;
        }
        return true;
    };
    double w = 1e-6;
    if (!scaleOf(den, &w) && !scaleOf(num, &w)) {
        w = 1e-6;
    }
    den[2] /= w * w;
    num[2] /= w * w;
    den[1] /= w;
    num[1] /= w;
    section->w = w;
    const double largest = std::fmax(std::fabs(num[1]), std::fabs(num[2]));
    if (std::fabs(num[2]) > 1.5 || std::fabs(num[1]) > 1.5) {
        const double q = largest / 1.5;
        for (double& v : section->num) {
            v /= q;
        }
        *gain *= q;
    }
}

void addFactor(RootInfo* table, double quartet[4], int32_t k) {
    RootInfo& root = table[k];
    double* pole = quartet;  // named after the assertions' texts
    if ((root.flags & ROOT_IS_CPX) != 0) {
        ZRT_ASSERT_AT(pole[0] == NOT_A_VALID_POLE && pole[2] == NOT_A_VALID_POLE,
                      "pole[0] == NOT_A_VALID_POLE && pole[2] == NOT_A_VALID_POLE", __FILE__, __LINE__);
        pole[0] = root.re, pole[1] = root.im, pole[2] = root.re, pole[3] = -root.im;
    } else {
        pole[0] = root.re, pole[1] = root.im;
        if (root.paired >= 0) {
            ZRT_ASSERT_AT(pole[2] == NOT_A_VALID_POLE, "pole[2] == NOT_A_VALID_POLE", __FILE__, __LINE__);
            RootInfo& partner = table[root.paired];
            ZRT_ASSERT_AT((partner.flags & ROOT_IS_CPX) == 0, "!pPoleInfo[k]._isCpx", __FILE__, __LINE__);
            pole[2] = partner.re, pole[3] = partner.im;
            partner.flags |= ROOT_USED;
        }
    }
    root.flags |= ROOT_USED;
}

int32_t matchPoleZeros(int32_t numZeros, int32_t numPoles, RootInfo* zeros, RootInfo* poles, int32_t zerosComplex,
                       int32_t polesComplex) {
    auto candidate = [](const RootInfo& r, int32_t mustBeComplex) {
        return (r.flags & ROOT_MATCHED) == 0 && (mustBeComplex == 0 || (r.flags & ROOT_IS_CPX) != 0);
    };
    double best = 1e100;
    int32_t bestP = -1;
    int32_t bestZ = -1;
    for (int32_t p = 0; p < numPoles; ++p) {
        if (!candidate(poles[p], polesComplex)) {
            continue;
        }
        for (int32_t z = 0; z < numZeros; ++z) {
            if (!candidate(zeros[z], zerosComplex)) {
                continue;
            }
            const double d = std::fabs(poles[p].re - zeros[z].re) + std::fabs(poles[p].im - zeros[z].im);
            if (d < best) {
                best = d;
                bestP = p;
                bestZ = z;
            }
        }
    }
    if (bestP < 0) {
        return 0;
    }
    poles[bestP].flags |= ROOT_MATCHED;
    poles[bestP].matched = bestZ;
    zeros[bestZ].flags |= ROOT_MATCHED;
    zeros[bestZ].matched = bestP;
    return 1;
}

int32_t pairRealRoots(RootInfo* other, RootInfo* table, int32_t count) {
    double best = 1e100;
    int32_t bestI = -1;
    int32_t bestJ = -1;
    for (int32_t i = 0; i < count; ++i) {
        if ((table[i].flags & ROOT_PAIRED) != 0) {
            continue;
        }
        const int iClass = pairingClass(other, table[i]);
        for (int32_t j = 0; j < count; ++j) {
            if (j == i || (table[j].flags & ROOT_PAIRED) != 0 || !admitted(other, iClass, table[j])) {
                continue;
            }
            const double d = std::fabs(table[i].re - table[j].re);
            if (d < best) {
                best = d;
                bestI = i;
                bestJ = j;
            }
        }
    }
    if (bestI < 0) {
        return 0;
    }
    table[bestI].paired = bestJ;
    table[bestJ].paired = bestI;
    table[bestI].flags |= ROOT_PAIRED;
    table[bestJ].flags |= ROOT_PAIRED;
    const int32_t mi = matchedIndex(table[bestI]);
    const int32_t mj = matchedIndex(table[bestJ]);
    if (mi >= 0 && mj >= 0) {
        other[mi].paired = mj;
        other[mj].paired = mi;
        other[mi].flags |= ROOT_PAIRED;
        other[mj].flags |= ROOT_PAIRED;
    }
    return 1;
}

void initRootInfo(RootInfo* table, const double* roots, int32_t count) {
    for (int32_t k = 0; k < count; ++k) {
        RootInfo& r = table[k];
        r.re = roots[2 * k];
        r.im = roots[2 * k + 1];
        r.matched = -1;
        r.paired = -1;
        r.flags = 0;
        if (isComplexRoot(r.im)) {
            r.flags = ROOT_IS_CPX | ROOT_PAIRED;
            if (r.im < 0.0) {
                r.flags |= ROOT_MATCHED | ROOT_USED;
            }
        }
    }
}

int32_t groupCascadeSections(RootInfo* zeros, int32_t nz, RootInfo* poles, int32_t np, int32_t maxSections,
                             double (*zeroQuartets)[4], double (*poleQuartets)[4], s_ZRT_SimInterface* sim) {
    if (maxSections <= 0) {
        return nz == 0 && np == 0 ? 0 : -1;
    }
    const int32_t sections = matchedGrouping(zeros, nz, poles, np, maxSections, zeroQuartets, poleQuartets);
    if (sections >= 0) {
        return sections;
    }
    // Scratch of the fallback: groups of both sides and the sorted reals.
    const size_t cap = static_cast<size_t>(maxSections);
    const size_t reals = static_cast<size_t>(nz > np ? nz : np) + 1;
    auto* zg = static_cast<RootGroup*>(ZRT_malloc(cap * sizeof(RootGroup), sim, nullptr, nullptr));
    auto* pg = static_cast<RootGroup*>(ZRT_malloc(cap * sizeof(RootGroup), sim, nullptr, nullptr));
    auto* order = static_cast<int32_t*>(ZRT_malloc(reals * sizeof(int32_t), sim, nullptr, nullptr));
    int32_t result = kFactorNoMemory;
    if (zg != nullptr && pg != nullptr && order != nullptr) {
        result = fallbackGrouping(zeros, nz, poles, np, maxSections, zeroQuartets, poleQuartets, zg, pg, order);
    }
    ZRT_free(zg);
    ZRT_free(pg);
    ZRT_free(order);
    return result;
}

int32_t ZRT_ziConvertToPoly(double* list, int32_t n, s_ZRT_SimInterface* sim, s_ZRT_DeviceInst* inst,
                            const char* which, const char* opName) {
    return convertRootsToPoly(list, n, sim, inst, which, opName, nullptr) == 1 ? 1 : 0;
}

int32_t convertRootsToPoly(double* list, int32_t n, s_ZRT_SimInterface* sim, s_ZRT_DeviceInst* inst,
                           const char* which, const char* opName, ZRT_ArrayErrors* errors) {
    if (n % 2 != 0) {
        arrayError(errors, sim, inst, "The %s array for operator '%s' must have even size.", which, opName);
        return 0;
    }
    if (ZRT_checkConjugateZeros(list, n) == 0) {
        arrayError(errors, sim, inst, "Complex %s coefficients must have corresponding conjugates for '%s'.", which,
                   opName);
        return 0;
    }
    if (n == 0) {
        list[0] = 1.0;
        return 1;
    }
    auto* c = static_cast<double*>(ZRT_malloc(static_cast<size_t>(n) * sizeof(double), sim, inst, nullptr));
    if (c == nullptr) {
        return kFactorNoMemory;
    }
    c[0] = 1.0;
    for (int32_t i = 1; i < n; ++i) {
        c[i] = 0.0;
    }
    for (int32_t k = 0; k + 1 < n; k += 2) {
        const double re = list[k];
        const double im = list[k + 1];
        if (im < 0.0) {
            continue;
        }
        if (isComplexRoot(im)) {
            ZRT_ASSERT_AT(im > 0.0, "im > 0.0", __FILE__, __LINE__);
            const double mag2 = re * re + im * im;
            for (int32_t i = n - 1; i >= 1; --i) {
                c[i] -= 2.0 * re * c[i - 1];
                if (i >= 2) {
                    c[i] += mag2 * c[i - 2];
                }
            }
        } else if (re != 0.0) {
            for (int32_t i = n - 1; i >= 1; --i) {
                c[i] -= re * c[i - 1];
            }
        }
    }
    std::memcpy(list, c, static_cast<size_t>(n) * sizeof(double));
    ZRT_free(c);
    return 1;
}
