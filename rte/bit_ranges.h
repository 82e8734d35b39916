// Bits of 32-bit integer values: single bits and bit ranges, shared by the
// integer arrays and the bit services that compiled models call. Bit 31 is
// the highest. A bit index is taken modulo 32 and the ends of a range are
// clamped into 0..31, so no shift is ever out of range.
//
// Two numbers give a range by RangeTypeE (ZRT_HostInterface.h): the two ends
// in either order, a width counted upward from a start (ends start and
// start + width - 1), or a width counted downward (ends start and
// start - width + 1).
#pragma once

#include <cstdint>

#include "ZRT_HostInterface.h"

// Bit k (modulo 32) of value: 0 or 1.
uint32_t selectBit(uint32_t value, int32_t k);
// Sets bit k (modulo 32) of *element to the lowest bit of value; answers
// whether the element changed.
bool assignBit(int32_t* element, int32_t value, int32_t k);

// Bits lo..hi of value shifted down to bit 0 (an upper end of 31 takes every
// bit from lo up). A range type outside 1..3 is an assertion.
uint32_t extractBits(uint32_t value, int32_t rangeType, int32_t a, int32_t b);
// Replaces bits lo..hi of *element by the low bits of value shifted up to lo;
// answers whether the element changed. A range type outside 1..3 is an
// assertion.
bool setBits(int32_t* element, int32_t value, int32_t rangeType, int32_t a, int32_t b);
