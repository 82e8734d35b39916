#include "rte/arrays.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <new>
#include <string>

#include "rte/ZRT_CommonInterface.h"
#include "rte/bit_ranges.h"

namespace {

// One above the longest array: every length and linear index is computed in
// 64 bits and capped here, so no product of bounds can overflow.
constexpr int64_t kTooLong = int64_t{INT32_MAX} + 1;

// a * b for a, b >= 0, or kTooLong when the product exceeds it.
int64_t cappedProduct(int64_t a, int64_t b) {
    if (a != 0 && b > kTooLong / a) {
        return kTooLong;
    }
    return std::min(kTooLong, a * b);
}

int64_t dimensionSize(int32_t left, int32_t right) { return std::abs(int64_t{right} - left) + 1; }

const char* nameOf(const s_ZRT_Array* a) { return a->name != nullptr ? a->name : ""; }

void markModified(s_ZRT_Array* a) { a->flags |= ZRT_ARRAY_MODIFIED; }

bool boundsSet(const s_ZRT_Array* a) { return (a->flags & ZRT_ARRAY_BOUNDS_SET) != 0; }

// True when the first dimension's bounds can be read.
bool hasFirstDimension(const s_ZRT_Array* a) { return a != nullptr && boundsSet(a) && a->_numDims >= 1; }

// Never made, or left without bounds, by an exhausted heap.
bool lostToMemory(const s_ZRT_Array* a) {
    return a == nullptr || ((a->flags & ZRT_ARRAY_NO_MEMORY) != 0 && !boundsSet(a));
}

// An array without bounds counts as ascending.
bool isDescending(const s_ZRT_Array* a) {
    return hasFirstDimension(a) && a->leftBounds[0] > a->rightBounds[0];
}

size_t elementSize(const s_ZRT_Array* a) {
    switch (a->_arrayType) {
    case ZRT_REAL_ARRAY:
        return sizeof(double);
    case ZRT_INT_ARRAY:
        return sizeof(int32_t);
    default:
        return 0;
    }
}

double* reals(const s_ZRT_Array* a) { return static_cast<double*>(a->data); }
int32_t* ints(const s_ZRT_Array* a) { return static_cast<int32_t*>(a->data); }

bool inData(const s_ZRT_Array* a, int32_t indx) { return indx >= 0 && indx < a->_dataLen; }

double elementAsReal(const s_ZRT_Array* a, int32_t i) {
    return a->_arrayType == ZRT_REAL_ARRAY ? reals(a)[i] : static_cast<double>(ints(a)[i]);
}

int32_t elementAsInt(const s_ZRT_Array* a, int32_t i) {
    return a->_arrayType == ZRT_REAL_ARRAY ? ZRT_doubleToInt(reals(a)[i]) : ints(a)[i];
}

// Makes `_dataLen` the new length. A block shorter than the length is replaced
// by a zeroed one; a longer one is kept. False when the array was left without
// data because the length is too large or the allocation failed.
bool sizeData(s_ZRT_Array* a, int64_t length) {
    if (length >= kTooLong) {
        reportOutOfMemory(a->pSim, nullptr);
        ZRT_free(a->data);
        a->data = nullptr;
        a->_dataLen = 0;
        a->flags |= ZRT_ARRAY_NO_MEMORY;
        return false;
    }
    const size_t size = elementSize(a);
    if (size != 0 && length > 0 && a->_dataLen < length) {
        ZRT_free(a->data);
        a->data = ZRT_calloc(static_cast<size_t>(length), size, a->pSim, nullptr, nullptr);
        if (a->data == nullptr) {
            a->_dataLen = 0;
            a->flags |= ZRT_ARRAY_NO_MEMORY;
            return false;
        }
    }
    a->_dataLen = static_cast<int32_t>(length);
    a->flags &= static_cast<uint8_t>(~ZRT_ARRAY_NO_MEMORY);
    return true;
}

// Sets n dimensions, `fill(left, right)` writing the bounds into the new
// vectors, and sizes the data.
template <typename Fill>
void setBounds(s_ZRT_Array* a, int32_t n, Fill fill) {
    if (a == nullptr) {
        return;
    }
    markModified(a);
    const size_t bytes = n > 0 ? static_cast<size_t>(n) * sizeof(int32_t) : 0;
    auto* left = static_cast<int32_t*>(ZRT_malloc(bytes, a->pSim, nullptr, nullptr));
    auto* right = static_cast<int32_t*>(ZRT_malloc(bytes, a->pSim, nullptr, nullptr));
    if (n > 0 && (left == nullptr || right == nullptr)) {
        // Back to an array without bounds or data.
        ZRT_free(left);
        ZRT_free(right);
        ZRT_free(a->leftBounds);
        ZRT_free(a->rightBounds);
        a->leftBounds = a->rightBounds = nullptr;
        a->flags &= static_cast<uint8_t>(~ZRT_ARRAY_BOUNDS_SET);
        a->flags |= ZRT_ARRAY_NO_MEMORY;
        a->_numDims = 1;
        ZRT_free(a->data);
        a->data = nullptr;
        a->_dataLen = 0;
        return;
    }
    if (n > 0) {
        fill(left, right);  // before the old vectors go: they may be the source
    }
    ZRT_free(a->leftBounds);
    ZRT_free(a->rightBounds);
    a->leftBounds = left;
    a->rightBounds = right;
    a->flags |= ZRT_ARRAY_BOUNDS_SET;
    a->_numDims = n;
    int64_t length = 1;
    for (int32_t k = 0; k < n; ++k) {
        length = cappedProduct(length, dimensionSize(left[k], right[k]));
    }
    sizeData(a, length);
}

// The place of `index` within dimension k counted from its smaller bound, or
// -1 after the bounds error.
int64_t offsetInDimension(const s_ZRT_Array* a, int32_t k, int32_t index) {
    const int32_t lo = std::min(a->leftBounds[k], a->rightBounds[k]);
    const int32_t hi = std::max(a->leftBounds[k], a->rightBounds[k]);
    if (index < lo || index > hi) {
        ZRT_arrayBoundsError(a, index, k);
        return -1;
    }
    return int64_t{index} - lo;
}

// The linear index of the element whose n indices `next()` answers in turn,
// or -1 after an error.
template <typename Next>
int32_t lookup(const s_ZRT_Array* a, int32_t n, Next next) {
    if (lostToMemory(a)) {
        return -1;  // the failure was reported when it happened
    }
    if (n != a->_numDims) {
        ZRT_arrayDimensionError(a, n);
        return -1;
    }
    if (n < 1) {
        return 0;
    }
    if (!boundsSet(a)) {
        return -1;
    }
    int64_t linear = 0;
    int64_t stride = 1;
    for (int32_t k = 0; k < n; ++k) {
        const int64_t offset = offsetInDimension(a, k, next());
        if (offset < 0) {
            return -1;
        }
        linear = std::min(kTooLong, linear + cappedProduct(offset, stride));
        stride = cappedProduct(stride, dimensionSize(a->leftBounds[k], a->rightBounds[k]));
    }
    // Only bounds too large to hold data give an index beyond the 32-bit range.
    return linear < kTooLong ? static_cast<int32_t>(linear) : -1;
}

// The int32_t numbers of a variadic call, in turn.
struct VaNumbers {
    va_list* args;
    int32_t operator()() const { return va_arg(*args, int32_t); }
};

// False for an array that an exhausted heap never made or left without
// bounds (the host's "exit" returned): it reads 0 and takes no writes. Any
// other array must have bounds and the type asked for.
bool accessible(const s_ZRT_Array* a, uint32_t type) {
    if (lostToMemory(a)) {
        return false;
    }
    ZRT_ASSERT_AT(boundsSet(a), "pArray->_boundsSet", __FILE__, __LINE__);
    if (type == ZRT_REAL_ARRAY) {
        ZRT_ASSERT_AT(a->_arrayType == ZRT_REAL_ARRAY, "pArray->_arrayType == ZRT_REAL_ARRAY", __FILE__, __LINE__);
    } else {
        ZRT_ASSERT_AT(a->_arrayType == ZRT_INT_ARRAY, "pArray->_arrayType == ZRT_INT_ARRAY", __FILE__, __LINE__);
    }
    return true;
}

// What the numbers of a generic integer access select of the element.
struct BitSelection {
    int32_t rangeType;  // NO_RANGE for the whole element or a single bit
    bool singleBit;
    int32_t first;
    int32_t second;
};

// The element addressed by the numbers of a generic integer access, with the
// bits they select; null when there is none.
int32_t* genericElement(const s_ZRT_Array* a, int32_t rangeType, int32_t n, va_list* args, BitSelection* sel) {
    if (!accessible(a, ZRT_INT_ARRAY)) {
        return nullptr;
    }
    sel->rangeType = rangeType;
    sel->singleBit = rangeType == NO_RANGE && n == a->_numDims + 1;
    const int32_t numIndices = rangeType != NO_RANGE ? n - 2 : (sel->singleBit ? n - 1 : n);
    ZRT_ASSERT_AT(numIndices > 0, "numDims > 0", __FILE__, __LINE__);
    const int32_t linear = lookup(a, numIndices, VaNumbers{args});
    if (!inData(a, linear)) {
        return nullptr;
    }
    if (sel->singleBit || rangeType != NO_RANGE) {
        sel->first = va_arg(*args, int32_t);
    }
    if (rangeType != NO_RANGE) {
        sel->second = va_arg(*args, int32_t);
    }
    return ints(a) + linear;
}

void storeValue(s_ZRT_Array* a, int32_t pos, double value) {
    if (a->_arrayType == ZRT_REAL_ARRAY) {
        reals(a)[pos] = value;
    } else {
        ints(a)[pos] = truncateToIntSaturated(value);
    }
}

void storeValue(s_ZRT_Array* a, int32_t pos, int32_t value) {
    if (a->_arrayType == ZRT_REAL_ARRAY) {
        reals(a)[pos] = static_cast<double>(value);
    } else {
        ints(a)[pos] = value;
    }
}

// Stores the n values that `next()` answers in turn, from the last element
// backwards in a descending array.
template <typename Next>
void initFrom(s_ZRT_Array* a, int32_t n, Next next) {
    if (a == nullptr) {
        return;  // never made: the heap was exhausted
    }
    ZRT_ASSERT_AT(a->_numDims == 1, "pArray->_numDims == 1", __FILE__, __LINE__);
    markModified(a);
    if (!sizeData(a, n) || elementSize(a) == 0) {
        return;
    }
    const bool reversed = isDescending(a);
    for (int32_t i = 0; i < n; ++i) {
        storeValue(a, reversed ? n - 1 - i : i, next());
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Creation and release.

s_ZRT_Array* ZRT_createArray(uint32_t type, const char* name, s_ZRT_SimInterface* sim) {
    auto* a = static_cast<s_ZRT_Array*>(ZRT_calloc(1, sizeof(s_ZRT_Array), sim, nullptr, nullptr));
    if (a != nullptr) {
        a->pSim = sim;
        a->name = name;
        a->_arrayType = type;
        a->_digID = -1;
        a->_numDims = 1;
        a->flags = ZRT_ARRAY_MODIFIED;
    }
    return a;
}

s_ZRT_Array* ZRT_createArrayVar(uint32_t type, const char* name, s_ZRT_SimInterface* sim) {
    s_ZRT_Array* a = ZRT_createArray(type, name, sim);
    if (a != nullptr) {
        a->flags |= ZRT_ARRAY_VARIABLE;
    }
    return a;
}

s_ZRT_Array* ZRT_cloneArray(const s_ZRT_Array* source) {
    if (source == nullptr) {
        return nullptr;
    }
    s_ZRT_Array* copy = ZRT_createArray(source->_arrayType, source->name, source->pSim);
    ZRT_assignArray(copy, source);
    return copy;
}

s_ZRT_Array* ZRT_duplicateArray(const s_ZRT_Array* source) { return ZRT_cloneArray(source); }

s_ZRT_Array* ZRT_createTempArray(const s_ZRT_Array* model, const char* name) {
    if (model == nullptr) {
        return nullptr;
    }
    s_ZRT_Array* temp = ZRT_createArray(model->_arrayType, name, model->pSim);
    if (temp != nullptr && boundsSet(model)) {
        ZRT_setArrayBoundVectors(temp, model->_numDims, model->leftBounds, model->rightBounds);
    }
    return temp;
}

s_ZRT_Array* analogArray(s_ZRT_Array* pArray) {
    if (pArray != nullptr) {
        ZRT_ASSERT_AT(pArray->_digID == -1, "pArray->_digID == -1", __FILE__, __LINE__);
    }
    return pArray;
}

s_ZRT_Array* digitalArray(int32_t digID, uint32_t subIndex, s_ZRT_DeviceInst* inst, const char* name,
                          int32_t left, int32_t right) {
    ZRT_ASSERT(digID >= 0);
    s_ZRT_Array* a = ZRT_createArray(ZRT_REAL_ARRAY, name, simOf(inst));
    if (a != nullptr) {
        ZRT_setArrayBounds(a, left, right);
        a->_digID = digID;
        a->digSubIndex = subIndex;
    }
    return a;
}

void ZRT_freeArray(s_ZRT_Array* pArray) {
    if (pArray == nullptr) {
        return;
    }
    // Data is released whether or not bounds were set: an initialiser may have
    // allocated it for an array without bounds.
    ZRT_free(pArray->data);
    ZRT_free(pArray->leftBounds);
    ZRT_free(pArray->rightBounds);
    ZRT_free(pArray);
}

void freeZRT_Array(s_ZRT_Array* pArray) { ZRT_freeArray(pArray); }

// ---------------------------------------------------------------------------
// Bounds.

void ZRT_setArrayBoundVectors(s_ZRT_Array* pArray, int32_t n, const int32_t* left, const int32_t* right) {
    setBounds(pArray, n, [&](int32_t* l, int32_t* r) {
        std::memcpy(l, left, static_cast<size_t>(n) * sizeof(int32_t));
        std::memcpy(r, right, static_cast<size_t>(n) * sizeof(int32_t));
    });
}

void ZRT_setArrayBounds(s_ZRT_Array* pArray, int32_t left, int32_t right) {
    ZRT_setArrayBoundVectors(pArray, 1, &left, &right);
}

void ZRT_setArrayBoundLists(s_ZRT_Array* pArray, int32_t n, ...) {
    va_list args;
    va_start(args, n);
    setBounds(pArray, n, [&](int32_t* l, int32_t* r) {
        for (int32_t k = 0; k < n; ++k) {
            l[k] = va_arg(args, int32_t);
            r[k] = va_arg(args, int32_t);
        }
    });
    va_end(args);
}

// ---------------------------------------------------------------------------
// Element access.

int32_t arrayIndexOf(const s_ZRT_Array* pArray, int32_t n, const int32_t* indices) {
    int32_t k = 0;
    return lookup(pArray, n, [&] { return indices[k++]; });
}

int32_t ZRT_getArrayIndex(const s_ZRT_Array* pArray, void* ignored, int32_t n, ...) {
    (void)ignored;
    va_list args;
    va_start(args, n);
    const int32_t linear = lookup(pArray, n, VaNumbers{&args});
    va_end(args);
    return linear;
}

int32_t ZRT_getArrayIndex_1(const s_ZRT_Array* pArray, int32_t index) {
    if (!hasFirstDimension(pArray)) {
        return -1;
    }
    const int64_t linear = offsetInDimension(pArray, 0, index);
    return linear < kTooLong ? static_cast<int32_t>(linear) : -1;
}

double ZRT_getArrayReal(const s_ZRT_Array* pArray, int32_t indx) {
    return accessible(pArray, ZRT_REAL_ARRAY) && inData(pArray, indx) ? reals(pArray)[indx] : 0.0;
}

int32_t ZRT_getArrayInt(const s_ZRT_Array* pArray, int32_t indx) {
    return accessible(pArray, ZRT_INT_ARRAY) && inData(pArray, indx) ? ints(pArray)[indx] : 0;
}

void ZRT_setArrayReal(s_ZRT_Array* pArray, int32_t indx, double value) {
    if (accessible(pArray, ZRT_REAL_ARRAY) && inData(pArray, indx)) {
        if (!(reals(pArray)[indx] == value)) {
            markModified(pArray);
        }
        reals(pArray)[indx] = value;
    }
}

void ZRT_setArrayInt(s_ZRT_Array* pArray, int32_t indx, int32_t value) {
    if (accessible(pArray, ZRT_INT_ARRAY) && inData(pArray, indx) && ints(pArray)[indx] != value) {
        markModified(pArray);
        ints(pArray)[indx] = value;
    }
}

namespace {

// The element of an array that lost its data to an exhausted heap: a
// zeroed scratch value of the calling thread, whose writes go nowhere.
template <typename T>
T* lostElement() {
    thread_local T scratch;
    scratch = T{};
    return &scratch;
}

// The address of element indx of an array of `type` with elements T.
template <typename T>
T* elementRef(s_ZRT_Array* pArray, uint32_t type, int32_t indx) {
    if (!accessible(pArray, type) || ((pArray->flags & ZRT_ARRAY_NO_MEMORY) != 0 && !inData(pArray, indx))) {
        return lostElement<T>();
    }
    ZRT_ASSERT(indx >= 0 && indx < pArray->_dataLen);
    markModified(pArray);
    return static_cast<T*>(pArray->data) + indx;
}

}  // namespace

double* ZRT_realRef(s_ZRT_Array* pArray, int32_t indx) { return elementRef<double>(pArray, ZRT_REAL_ARRAY, indx); }

int32_t* ZRT_intRef(s_ZRT_Array* pArray, int32_t indx) { return elementRef<int32_t>(pArray, ZRT_INT_ARRAY, indx); }

int32_t ZRT_getArrayIntGeneric(const s_ZRT_Array* pArray, int32_t rangeType, int32_t n, ...) {
    va_list args;
    va_start(args, n);
    BitSelection sel{};
    const int32_t* element = genericElement(pArray, rangeType, n, &args, &sel);
    va_end(args);
    if (element == nullptr) {
        return 0;
    }
    const auto value = static_cast<uint32_t>(*element);
    if (sel.singleBit) {
        return static_cast<int32_t>(selectBit(value, sel.first));
    }
    if (sel.rangeType != NO_RANGE) {
        return static_cast<int32_t>(extractBits(value, sel.rangeType, sel.first, sel.second));
    }
    return *element;
}

void ZRT_setArrayIntGeneric(s_ZRT_Array* pArray, int32_t value, int32_t rangeType, int32_t n, ...) {
    va_list args;
    va_start(args, n);
    BitSelection sel{};
    int32_t* element = genericElement(pArray, rangeType, n, &args, &sel);
    va_end(args);
    if (element == nullptr) {
        return;
    }
    bool changed = false;
    if (sel.singleBit) {
        changed = assignBit(element, value, sel.first);
    } else if (sel.rangeType != NO_RANGE) {
        changed = setBits(element, value, sel.rangeType, sel.first, sel.second);
    } else {
        changed = *element != value;
        *element = value;
    }
    if (changed) {
        markModified(pArray);
    }
}

// ---------------------------------------------------------------------------
// Initialisation and assignment.

void ZRT_initRealArray(s_ZRT_Array* pArray, int32_t n, ...) {
    va_list args;
    va_start(args, n);
    initFrom(pArray, n, [&] { return va_arg(args, double); });
    va_end(args);
}

void ZRT_initIntArray(s_ZRT_Array* pArray, int32_t n, ...) {
    va_list args;
    va_start(args, n);
    initFrom(pArray, n, [&] { return va_arg(args, int32_t); });
    va_end(args);
}

void ZRT_initRealArrayByConcat(s_ZRT_Array* pArray, ZRT_ConcatElement e) {
    const int32_t n = e.data != nullptr ? e.arrayLen : 0;
    int32_t i = 0;
    if (e.dataType == ZRT_REAL_DATA) {
        initFrom(pArray, n, [&] { return static_cast<const double*>(e.data)[i++]; });
    } else {
        initFrom(pArray, n, [&] { return static_cast<const int32_t*>(e.data)[i++]; });
    }
}

// Storing converts to the array's type, so both concatenation initialisers
// are one.
void ZRT_initIntArrayByConcat(s_ZRT_Array* pArray, ZRT_ConcatElement e) { ZRT_initRealArrayByConcat(pArray, e); }

void ZRT_initAndSetBoundsOfRealArrayByConcat(s_ZRT_Array* pArray, ZRT_ConcatElement e) {
    ZRT_ASSERT(e.arrayLen > 0);
    ZRT_setArrayBounds(pArray, 0, e.arrayLen - 1);
    ZRT_initRealArrayByConcat(pArray, e);
}

void ZRT_assignArray(s_ZRT_Array* target, const s_ZRT_Array* source) {
    if (target == nullptr || source == nullptr || target == source) {
        return;
    }
    if (!boundsSet(target) && boundsSet(source)) {
        ZRT_setArrayBoundVectors(target, source->_numDims, source->leftBounds, source->rightBounds);
    }
    if (elementSize(target) == 0 || elementSize(source) == 0) {
        return;
    }
    // Never more than either array holds.
    const int32_t count = std::max(0, std::min(source->_dataLen, target->_dataLen));
    const bool reversed = isDescending(target) != isDescending(source);
    bool changed = false;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t pos = reversed ? target->_dataLen - 1 - i : i;
        if (target->_arrayType == ZRT_REAL_ARRAY) {
            const double value = elementAsReal(source, i);
            changed = changed || !(reals(target)[pos] == value);
            reals(target)[pos] = value;
        } else {
            const int32_t value = elementAsInt(source, i);
            changed = changed || ints(target)[pos] != value;
            ints(target)[pos] = value;
        }
    }
    if (changed) {
        markModified(target);
    }
}

void ZRT_resetArray(s_ZRT_Array* pArray) {
    if (pArray == nullptr) {
        return;  // never made: the heap was exhausted
    }
    if (pArray->_dataLen > 0 && elementSize(pArray) != 0) {
        // All bits zero is 0 for both element types.
        std::memset(pArray->data, 0, static_cast<size_t>(pArray->_dataLen) * elementSize(pArray));
    }
    markModified(pArray);
}

int32_t ZRT_checkArrayRange(const s_ZRT_Array* pArray, char leftParen, double low, double high, char rightParen) {
    ZRT_ASSERT_AT(leftParen == '(' || leftParen == '[', "leftParen == '['", __FILE__, __LINE__);
    ZRT_ASSERT_AT(rightParen == ')' || rightParen == ']', "rightParen == ']'", __FILE__, __LINE__);
    if (pArray == nullptr || elementSize(pArray) == 0) {
        return 1;
    }
    // Written as the conditions that fail, so that a NaN element passes.
    for (int32_t i = 0; i < pArray->_dataLen; ++i) {
        const double x = elementAsReal(pArray, i);
        if (leftParen == '(' ? x <= low : x < low) {
            return 0;
        }
        if (rightParen == ')' ? x >= high : x > high) {
            return 0;
        }
    }
    return 1;
}

// ---------------------------------------------------------------------------
// Digital arrays.

void doSyncDigitalArray(s_ZRT_Array* pArray, s_ZRT_DeviceInst* inst, const s_ZRT_ContribLoader* loader) {
    ZRT_ASSERT_AT(pArray != nullptr && pArray->_digID >= 0, "pArray->_digID >= 0", __FILE__, __LINE__);
    const bool real = pArray->_arrayType == ZRT_REAL_ARRAY;
    if (!real) {
        ZRT_ASSERT_AT(pArray->_arrayType == ZRT_INT_ARRAY, "pArray->_arrayType == ZRT_INT_ARRAY", __FILE__, __LINE__);
    }
    const ZRT_AMS_Loader* ams = loader != nullptr ? loader->pAMS : nullptr;
    if (ams == nullptr || !hasFirstDimension(pArray)) {
        return;
    }
    const auto subIndex = static_cast<int32_t>(pArray->digSubIndex);
    const int64_t lo = std::min(pArray->leftBounds[0], pArray->rightBounds[0]);
    const int64_t hi = std::max(pArray->leftBounds[0], pArray->rightBounds[0]);
    for (int64_t index = lo; index <= hi && index - lo < pArray->_dataLen; ++index) {
        const auto k = static_cast<int32_t>(index);
        const int32_t linear = arrayIndexOf(pArray, 1, &k);
        if (!inData(pArray, linear)) {
            continue;
        }
        bool changed = false;
        if (real && ams->D2A_RealElement != nullptr) {
            const double value = ams->D2A_RealElement(inst, loader, subIndex, pArray->_digID, NO_RANGE, 1, k);
            changed = !(reals(pArray)[linear] == value);
            reals(pArray)[linear] = value;
        } else if (!real && ams->D2A_IntegerElement != nullptr) {
            const int32_t value = ams->D2A_IntegerElement(inst, loader, subIndex, pArray->_digID, NO_RANGE, 1, k);
            changed = ints(pArray)[linear] != value;
            ints(pArray)[linear] = value;
        }
        if (changed) {
            markModified(pArray);
        }
    }
}

// ---------------------------------------------------------------------------
// Errors.

void ZRT_arrayDimensionError(const s_ZRT_Array* pArray, int32_t n) {
    ZRT_Message(pArray->pSim, nullptr, nullptr, ZRT_MSG_ERROR,
                "Invalid array access: %s has %d dimensions but %d were given.", nameOf(pArray), pArray->_numDims,
                n);
    callExitTask(pArray->pSim, nullptr);
}

namespace {

void reportBoundsError(const s_ZRT_Array* pArray, int32_t index, int32_t k) {
    std::string text = "Invalid array access: ";
    text += nameOf(pArray);
    for (int32_t j = 0; j < pArray->_numDims; ++j) {
        text += j == k ? "[" + std::to_string(index) + "]" : "[]";
    }
    if (boundsSet(pArray) && k >= 0 && k < pArray->_numDims) {
        text += " out of allowed range (" + std::to_string(pArray->leftBounds[k]) + ":" +
                std::to_string(pArray->rightBounds[k]) + ")";
    }
    if (pArray->_numDims > 1) {
        text += " for dimension (" + std::to_string(k + 1) + ")";
    }
    // The name may hold a '%', and the host formats the text.
    fatalError(pArray->pSim, nullptr, nullptr, escapePercent(text).c_str());
}

}  // namespace

void ZRT_arrayBoundsError(const s_ZRT_Array* pArray, int32_t index, int32_t k) {
    try {
        reportBoundsError(pArray, index, k);
    } catch (const std::bad_alloc&) {
        // The text could not be built: the error is still fatal.
        reportOutOfMemory(pArray->pSim, nullptr);
    }
}
