// Polynomials and their roots for the laplace and zi operators.
//
// Root lists hold k roots as 2k doubles, (real, imaginary) pairs. A
// polynomial built from roots is normalised to a constant term of 1: a real
// root r gives the factor (1 - s/r), a conjugate pair (re, ±im) the factor
// (1 - 2 re s/|r|^2 + s^2/|r|^2), a root at zero the factor s.
//
// A laplace cascade is built of second-order sections. Its roots are grouped
// in quartets (re1, im1, re2, im2) of at most two roots each; an empty slot
// holds NOT_A_VALID_POLE in both places.
#pragma once

#include <cstdint>

#include "ZRT_Array.h"
#include "rte/ZRT_CommonInterface.h"

// An error of the laplace and zi operators: the formatted error message
// with the instance, then the "exit" task.
template <typename... Args>
void operatorError(s_ZRT_SimInterface* sim, s_ZRT_DeviceInst* inst, const char* text, Args... args) {
    ZRT_Message(sim, inst, nullptr, ZRT_MSG_ERROR, text, args...);
    callExitTask(sim, inst);
}

// The errors of an operator's coefficient arrays, told once: a computation
// that is repeated only because memory ran out (in the computation or in the
// snapshots after it) stays quiet about what the one before it told. Every
// error of one computation is told.
struct ZRT_ArrayErrors {
    uint8_t told;   // the computations since the last one that settled told an error
    uint8_t quiet;  // this computation repeats one that told its errors
};
// At the start of a computation.
inline void beginArrayComputation(ZRT_ArrayErrors& errors) { errors.quiet = errors.told; }
// Once the coefficients are whole and both snapshots taken.
inline void settleArrayComputation(ZRT_ArrayErrors& errors) { errors.told = errors.quiet = 0; }
// operatorError, unless `errors` is quiet; without a record, always.
template <typename... Args>
void arrayError(ZRT_ArrayErrors* errors, s_ZRT_SimInterface* sim, s_ZRT_DeviceInst* inst, const char* text,
                Args... args) {
    if (errors == nullptr || errors->quiet == 0) {
        operatorError(sim, inst, text, args...);
    }
    if (errors != nullptr) {
        errors->told = 1;
    }
}

// Element i of a coefficient or root array as a double; 0 past its end and
// for a null array.
double arrayCoeff(const s_ZRT_Array* pArray, int32_t i);
// The number of elements of an array with data, 0 for none.
int32_t arrayCoeffCount(const s_ZRT_Array* pArray);

// The elements of a coefficient array as an operator last took them over.
// Several operators may read one array (a clone and its source, two
// operators of a model on one digital signal), and the first to take a
// change over clears the array's modified flag; each operator therefore
// compares the array with its own copy of the values. Zeroed: nothing
// taken yet; `count` -1: lost to an exhausted heap (differs from any array).
struct ZRT_CoeffSnapshot {
    double* values;  // `count` doubles, owned
    int32_t count;
};
// True when the array is marked modified or its elements differ from the
// snapshot in number or value (a NaN is the same as a NaN): the operator's
// coefficients must be computed again.
bool coeffArrayChanged(const ZRT_CoeffSnapshot& seen, const s_ZRT_Array* pArray);
// Takes the array's elements over, reusing the block when the count stays;
// false (count -1, so that the array reads as changed) when memory ran out.
bool takeCoeffSnapshot(ZRT_CoeffSnapshot& seen, const s_ZRT_Array* pArray, s_ZRT_DeviceInst* inst);
// The snapshots of both arrays; true when both were taken.
bool takeCoeffSnapshots(ZRT_CoeffSnapshot& numerSeen, const s_ZRT_Array* numer, ZRT_CoeffSnapshot& denomSeen,
                        const s_ZRT_Array* denom, s_ZRT_DeviceInst* inst);
// The snapshot of a copied operator: its own block (count -1 when the heap
// cannot give one).
ZRT_CoeffSnapshot copyCoeffSnapshot(const ZRT_CoeffSnapshot& source, s_ZRT_DeviceInst* inst);
void freeCoeffSnapshot(ZRT_CoeffSnapshot& seen);

struct ZRT_ComplexNumber {
    double re;
    double im;
};

// The mark of an empty quartet slot.
constexpr double NOT_A_VALID_POLE = 3.567891321e193;

// Bits of RootInfo::flags.
enum ZRT_RootFlagE : uint8_t {
    ROOT_IS_CPX = 0x01,   // `_isCpx`: the imaginary part is non-zero or NaN
    ROOT_MATCHED = 0x02,  // matched with a root of the other list
    ROOT_PAIRED = 0x04,   // paired with a root of its own list (a complex root is its own pair)
    ROOT_USED = 0x08,     // already placed in a section
};

// One pole or zero while the sections of a cascade are chosen.
struct RootInfo {
    double re;
    double im;
    int32_t matched;  // index in the other list, -1 for none
    int32_t paired;   // index of the real root of this list it is paired with, -1 for none
    uint8_t flags;    // ZRT_RootFlagE bits
};

// One second-order section of a laplace cascade: it realises
// (den0 + den1 ws + den2 (ws)^2) Y = (num0 + num1 ws + num2 (ws)^2) U.
struct ZRT_Biquad {
    char* name;             // "<operator>_<k>", owned
    char* innerName;        // "<name>_i", owned
    s_ZRT_DeviceInst* inst;
    s_ZRT_StateVar* u;      // input
    s_ZRT_StateVar* i;      // inner variable
    s_ZRT_StateVar* y;      // output
    double num[3];
    double den[3];
    double w;               // frequency scale
    ZRT_Handle yStatic, yDynamic, iStatic, iDynamic;  // residual handles
    ZRT_Handle yOnY, yOnU, yOnI, iOnI, iOnU, iOnY;    // derivative doublets
};

// 1 when every complex root of the list has its conjugate in a later pair;
// the list is reordered so that each conjugate directly follows its partner.
// 0 otherwise (a complex root in the last pair included). n must be even.
int32_t ZRT_checkConjugateZeros(double* list, int32_t n);

// The normalised polynomial of the n/2 roots of the list, in ascending
// powers, as n coefficients (the ones above the degree are 0). n < 1 writes
// nothing.
void computePolyFromRoots(double* coeffs, const double* roots, int32_t n);

// The roots of c[0] + c[1] s + ... + c[count-1] s^(count-1) as the
// eigenvalues of its companion matrix, through the host's eigenvalue routine
// (slot 0 of the interface's linear-algebra table). Trailing zero
// coefficients are dropped. Answers the number of roots written to `roots`
// (which may be null), 0 without a routine or when the routine fails, and
// kFactorNoMemory when its buffers could not be allocated. When
// *mirror is non-zero on entry, roots with a positive real part are mirrored
// into the left half plane and *mirror returns how many were (0 on failure).
int32_t findPolyRootsEigensolve(const double* c, int32_t count, ZRT_ComplexNumber* roots, s_ZRT_SimInterface* sim,
                                int32_t* mirror);

// What the factoring answers when the heap could not give its buffers (the
// "Out of memory." error has been given): a computation to repeat, not a
// polynomial that cannot be factored.
constexpr int32_t kFactorNoMemory = -2;

// The quadratic (c0, c1, c2) of the at most two roots of a quartet.
void convertBiquadPoleToPoly(const double quartet[4], double out[3]);

// Fills a section's coefficients from its zero and pole quartets, scales
// them by the section's frequency scale and moves any numerator magnitude
// above 1.5 into *gain.
void ZRT_setBiquadCoeffs(ZRT_Biquad* section, const double zeros[4], const double poles[4], double* gain);

// Places root k of the table (with its pair partner) into the quartet and
// marks both used.
void addFactor(RootInfo* table, double quartet[4], int32_t k);

// Matches the closest unmatched (pole, zero); with a "must be complex" flag
// only complex roots of that list take part. 1 when a match was made.
int32_t matchPoleZeros(int32_t numZeros, int32_t numPoles, RootInfo* zeros, RootInfo* poles, int32_t zerosComplex,
                       int32_t polesComplex);

// Pairs the two closest admissible unpaired real roots of `table`; `other`
// is the list the table's roots were matched against. 1 when a pair was made.
int32_t pairRealRoots(RootInfo* other, RootInfo* table, int32_t count);

// The root tables of a cascade from root lists: flags as the grouping starts.
void initRootInfo(RootInfo* table, const double* roots, int32_t count);

// The quartets of the cascade's sections for nz zeros and np poles
// (zeroQuartets and poleQuartets hold maxSections quartets each): the
// matching and pairing above, or, when that needs more than maxSections
// sections, a grouping that always fits in ceil(max(nz, np) / 2): each
// complex pair alone, each side's real roots sorted and paired, zero groups
// given to the nearest pole groups. Answers the number of sections, -1 when
// even that does not fit, or kFactorNoMemory when its scratch cannot be
// allocated through `sim`. The tables' flags are spent.
int32_t groupCascadeSections(RootInfo* zeros, int32_t nz, RootInfo* poles, int32_t np, int32_t maxSections,
                             double (*zeroQuartets)[4], double (*poleQuartets)[4], s_ZRT_SimInterface* sim);

// zi: the list of n doubles (n/2 roots) becomes, in place, its polynomial in
// z^-1: c[0] = 1 and each root r multiplies by (1 - r z^-1), a conjugate pair
// by (1 - 2 re z^-1 + |r|^2 z^-2). An odd n and a root without its conjugate
// are errors named after the side ("numerator" or "denominator") and the
// operator, each followed by the "exit" task; answers 0 then, 1 otherwise.
// n = 0 writes the single coefficient 1: the buffer must hold max(n, 1).
int32_t ZRT_ziConvertToPoly(double* list, int32_t n, s_ZRT_SimInterface* sim, s_ZRT_DeviceInst* inst,
                            const char* which, const char* opName);
// The same conversion, its errors told through `errors` (always without
// one): 1 converted, 0 after an error (the list as it was), kFactorNoMemory
// when its scratch could not be had.
int32_t convertRootsToPoly(double* list, int32_t n, s_ZRT_SimInterface* sim, s_ZRT_DeviceInst* inst,
                           const char* which, const char* opName, ZRT_ArrayErrors* errors);
