/* The runtime array record of compiled models: parameter arrays, array
 * variables, the coefficient arrays of the laplace and zi operators, the
 * frequency/power pairs of a noise table and arrays that mirror digital
 * signals. A host reads the record of a table noise source's array.
 *
 * Elements lie in one flat block, the first index varying fastest: the linear
 * index of an element is the sum over the dimensions of (index - smaller bound
 * of that dimension) times the product of the sizes of the dimensions before
 * it, the size of a dimension being |right - left| + 1. A left bound above the
 * right bound declares a descending range.
 *
 * Plain C: a C host includes this header as it is. */
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "ZRT_HostInterface.h"

ZRT_ENUM(ZRT_ArrayTypeE, uint32_t) {
    ZRT_INT_ARRAY = 0,   /* 32-bit integer elements */
    ZRT_REAL_ARRAY = 1,  /* double elements */
};

/* Bits of the flags byte. */
ZRT_ENUM(ZRT_ArrayFlagE, uint8_t) {
    ZRT_ARRAY_BOUNDS_SET = 1,  /* the bound vectors and the data are sized */
    ZRT_ARRAY_MODIFIED = 2,    /* the contents may have changed since the flag was last cleared */
    ZRT_ARRAY_VARIABLE = 4,    /* an array variable, not a parameter or a temporary */
    ZRT_ARRAY_NO_MEMORY = 8,   /* an exhausted heap took its bounds or data: reads give 0, writes are dropped */
};

typedef struct s_ZRT_Array {
    struct s_ZRT_SimInterface* pSim;  /* 1 allocation and messages */
    const char* name;                 /* 2 the model's name of the array; kept, not copied */
    uint32_t _arrayType;              /* 3 ZRT_ArrayTypeE; another value has no data */
    int32_t _digID;                   /*   high half: -1 for an analog array */
    uint32_t digSubIndex;             /* 4 second identifier of a digital array */
    int32_t _numDims;                 /*   high half: number of dimensions */
    int32_t* leftBounds;              /* 5 declared left bound per dimension */
    int32_t* rightBounds;             /* 6 declared right bound per dimension */
    uint8_t flags;                    /* 7 ZRT_ArrayFlagE bits */
    uint8_t flagsPad[3];
    int32_t _dataLen;                 /*   high half: number of elements in use */
    void* data;                       /* 8 _dataLen doubles or int32_t, or null */
} s_ZRT_Array;

ZRT_PIN_WORD(s_ZRT_Array, pSim, 1);
ZRT_PIN_WORD(s_ZRT_Array, name, 2);
ZRT_PIN_WORD(s_ZRT_Array, _arrayType, 3);
ZRT_PIN_HIGH_HALF(s_ZRT_Array, _digID, 3);
ZRT_PIN_WORD(s_ZRT_Array, digSubIndex, 4);
ZRT_PIN_HIGH_HALF(s_ZRT_Array, _numDims, 4);
ZRT_PIN_WORD(s_ZRT_Array, leftBounds, 5);
ZRT_PIN_WORD(s_ZRT_Array, rightBounds, 6);
ZRT_PIN_WORD(s_ZRT_Array, flags, 7);
ZRT_PIN_HIGH_HALF(s_ZRT_Array, _dataLen, 7);
ZRT_PIN_WORD(s_ZRT_Array, data, 8);
static_assert(sizeof(s_ZRT_Array) == 8 * 8, "runtime array is eight words");
