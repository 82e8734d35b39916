// Runtime arrays: creation and release, bounds, element and bit access,
// initialisation, assignment, the range test and digital arrays.
//
// Lengths. The length of an array is the product of its dimension sizes,
// computed in 64 bits; a length above INT32_MAX is the fatal error "Out of
// memory." and leaves the array with its bounds but without data (`_dataLen`
// 0). `_dataLen` may also be set to 0 or below by an initialiser given no
// values; every loop treats it as empty.
//
// Errors. A lookup with the wrong number of indices is "Invalid array access:
// NAME has N dimensions but M were given.", an index outside its dimension
// "Invalid array access: NAME[][I] out of allowed range (L:R) for dimension
// (K)" (the dimension clause only for arrays of more than one dimension). Both
// are sent without an instance and followed by the host's "exit" task; if the
// host returns, the lookup answers -1, so that a read gives 0 and a write is
// dropped. Type and argument checks are assertions.
//
// The modified flag. Every writer sets ZRT_ARRAY_MODIFIED: the bounds setters,
// the initialisers, ZRT_realRef / ZRT_intRef and ZRT_resetArray always; the
// element writers, ZRT_assignArray and doSyncDigitalArray only when an element
// changes (a NaN always counts as a change). The laplace and zi operators clear
// it once they have taken the contents over.
//
// An array without bounds (never set) answers -1 to every lookup, counts as
// ascending and passes no bounds on when cloned or assigned.
#pragma once

#include <cstdint>

#include "ZRT_Array.h"
#include "ZRT_HostInterface.h"

enum ZRT_ConcatDataTypeE : uint32_t {
    ZRT_REAL_DATA = 0,
    ZRT_INT_DATA = 1,
};

// The result of a numeric concatenation or replication: arrayLen doubles or
// 32-bit integers; data is null when arrayLen is 0. Arrays are initialised
// from it; the concatenations themselves are the support library's.
struct ZRT_ConcatElement {
    uint32_t dataType;  // ZRT_ConcatDataTypeE
    int32_t arrayLen;
    void* data;
};

// ---------------------------------------------------------------------------
// Creation and release. Records are allocated zeroed through ZRT_calloc with
// the interface (null when that fails): one dimension, no bounds, no data,
// `_digID` -1, only the modified flag set.
s_ZRT_Array* ZRT_createArray(uint32_t type, const char* name, s_ZRT_SimInterface* sim);
// The same with the variable flag.
s_ZRT_Array* ZRT_createArrayVar(uint32_t type, const char* name, s_ZRT_SimInterface* sim);
// A new array of the source's type, name and interface, assigned from it.
// A null source gives null.
s_ZRT_Array* ZRT_cloneArray(const s_ZRT_Array* source);
// The same; compiled models call it for sources that cannot be null.
s_ZRT_Array* ZRT_duplicateArray(const s_ZRT_Array* source);
// A new array of the model array's type and interface under the given name,
// with the model's bounds and zeroed data of its length; contents not copied.
s_ZRT_Array* ZRT_createTempArray(const s_ZRT_Array* model, const char* name);
// Answers the array; asserts that a non-null array is analog.
s_ZRT_Array* analogArray(s_ZRT_Array* pArray);
// A real array [left:right] that mirrors the digital signal (digID,
// subIndex), created with the instance's interface. digID must be 0 or more.
s_ZRT_Array* digitalArray(int32_t digID, uint32_t subIndex, s_ZRT_DeviceInst* inst, const char* name,
                          int32_t left, int32_t right);
// Release the data, the bound vectors and the record; nothing for null.
void ZRT_freeArray(s_ZRT_Array* pArray);
void freeZRT_Array(s_ZRT_Array* pArray);

// ---------------------------------------------------------------------------
// Bounds. The setters replace the bound vectors (allocated through ZRT_malloc
// without an interface), set the bounds flag and `_numDims` and size the data
// for the new length (1 for n < 1): a block shorter than the new length is
// replaced by a zeroed one, a longer one is kept with its contents. Integer
// and real arrays only have data.
void ZRT_setArrayBoundVectors(s_ZRT_Array* pArray, int32_t n, const int32_t* left, const int32_t* right);
void ZRT_setArrayBounds(s_ZRT_Array* pArray, int32_t left, int32_t right);
// n (left, right) pairs follow as int32_t arguments.
void ZRT_setArrayBoundLists(s_ZRT_Array* pArray, int32_t n, ...);

// ---------------------------------------------------------------------------
// Element access.

// The linear index of the element with the n model indices (-1 after an
// error); n < 1 answers 0. Each index must lie within its dimension's bounds
// taken in ascending order.
int32_t arrayIndexOf(const s_ZRT_Array* pArray, int32_t n, const int32_t* indices);
// The same with the n indices following as int32_t arguments.
int32_t ZRT_getArrayIndex(const s_ZRT_Array* pArray, void* ignored, int32_t n, ...);
// The first dimension only, without the dimension check.
int32_t ZRT_getArrayIndex_1(const s_ZRT_Array* pArray, int32_t index);

// Element reads and writes by linear index, for arrays with bounds of the
// function's type (asserted). A read outside [0, `_dataLen`) gives 0; a write
// there is dropped.
double ZRT_getArrayReal(const s_ZRT_Array* pArray, int32_t indx);
int32_t ZRT_getArrayInt(const s_ZRT_Array* pArray, int32_t indx);
void ZRT_setArrayReal(s_ZRT_Array* pArray, int32_t indx, double value);
void ZRT_setArrayInt(s_ZRT_Array* pArray, int32_t indx, int32_t value);
// The address of an element, which must exist (asserted); sets modified.
double* ZRT_realRef(s_ZRT_Array* pArray, int32_t indx);
int32_t* ZRT_intRef(s_ZRT_Array* pArray, int32_t indx);

// Integer arrays: n int32_t numbers follow. With range type NO_RANGE and n =
// `_numDims` + 1 the last number selects a bit of the element; with NO_RANGE
// otherwise all n are indices; with a range type (bit_ranges.h) the last two
// give the bit range and the first n - 2 are indices. Reads answer the element,
// the bit or the bits shifted down to bit 0; writes store the whole value, its
// lowest bit or its low bits.
int32_t ZRT_getArrayIntGeneric(const s_ZRT_Array* pArray, int32_t rangeType, int32_t n, ...);
void ZRT_setArrayIntGeneric(s_ZRT_Array* pArray, int32_t value, int32_t rangeType, int32_t n, ...);

// ---------------------------------------------------------------------------
// Initialisation and assignment.

// One-dimensional arrays (asserted): `_dataLen` becomes n and the values are
// stored in order, or from the last element backwards when the array is
// declared descending. A block shorter than n is replaced by a zeroed one.
// The n values follow as doubles / int32_t. Values of the other type are
// converted: integers to doubles, doubles to integers by truncation toward
// zero with saturation (NaN gives -2147483648).
void ZRT_initRealArray(s_ZRT_Array* pArray, int32_t n, ...);
void ZRT_initIntArray(s_ZRT_Array* pArray, int32_t n, ...);
// The same from the arrayLen values of a concatenation.
void ZRT_initRealArrayByConcat(s_ZRT_Array* pArray, ZRT_ConcatElement e);
void ZRT_initIntArrayByConcat(s_ZRT_Array* pArray, ZRT_ConcatElement e);
// Bounds [0 : arrayLen - 1] (arrayLen > 0 asserted), then the values.
void ZRT_initAndSetBoundsOfRealArrayByConcat(s_ZRT_Array* pArray, ZRT_ConcatElement e);

// Copies the source into the target: a target without bounds first takes the
// source's bounds. min(source length, target length) elements are copied,
// converted to the target's type (doubles to integers by ZRT_doubleToInt), in
// order when the first dimensions of both run the same way, otherwise in
// reverse (source element i to target element `_dataLen` - 1 - i). Nothing
// for the same record or a null one.
void ZRT_assignArray(s_ZRT_Array* target, const s_ZRT_Array* source);
// Every element to 0; sets modified.
void ZRT_resetArray(s_ZRT_Array* pArray);
// 1 when every element lies within the range, else 0 (1 for an empty or null
// array). '(' / ')' exclude the end, '[' / ']' include it; any other bracket
// is an assertion. A NaN element passes.
int32_t ZRT_checkArrayRange(const s_ZRT_Array* pArray, char leftParen, double low, double high, char rightParen);

// ---------------------------------------------------------------------------
// Digital arrays: asks the loader's mixed-signal table for every element of
// the first dimension and stores the values that differ. Nothing without a
// mixed-signal table.
void doSyncDigitalArray(s_ZRT_Array* pArray, s_ZRT_DeviceInst* inst, const s_ZRT_ContribLoader* loader);

// ---------------------------------------------------------------------------
// The two access errors, each followed by the "exit" task.
void ZRT_arrayDimensionError(const s_ZRT_Array* pArray, int32_t n);
// Index `index` of dimension k (from 0) is out of range.
void ZRT_arrayBoundsError(const s_ZRT_Array* pArray, int32_t index, int32_t k);
