// Bit selection and bit-range assignment on integers as compiled models call
// them, and the checks and names of node and branch vectors.
#pragma once

#include <cstdint>

#include "rte/ZRT_CommonInterface.h"

// Bits of `value` chosen by n numbers (32-bit int arguments after n): n < 1
// answers the value; n = 1 its bit k1 (modulo 32); otherwise bits k1..k2 by
// the range type, ends clamped into 0..31. More than two numbers warn "Too
// many dimensions specified for bit extraction." (only the first two are
// used); any number outside 0..31 warns "Dimension specified is outside
// supported range of 0 to 31.". Warnings go once per instance.
uint32_t ZRT_extractBits(s_ZRT_DeviceInst* inst, uint32_t value, int32_t rangeType, int32_t n, ...);
// Sets bit k1 of *target to the lowest bit of value (n = 1), or bits k1..k2
// to the low bits of value; the same warnings, "Too many dimensions specified
// for bit set." for more than two numbers. n < 1 changes nothing.
void ZRT_setBits(s_ZRT_DeviceInst* inst, int32_t* target, int32_t value, int32_t rangeType, int32_t n, ...);

// Passes silently when `index` lies between the first and last index of the
// instance's node vector `vectorNumber` (either order); otherwise the fatal
// error "Invalid net vector access of '<name>[<index>] with bounds
// '[<first>:<last>]' \n". A vector outside the bounds table is the same
// error with bounds [0:0].
void ZRT_VectorCheck(s_ZRT_DeviceInst* inst, const char* name, int32_t vectorNumber, int32_t index);
// A branch vector [a:b] across a node vector [c:d] must have as many
// members: otherwise the fatal error "Mismatch between branch '<branch>'
// vector length and node '<node>' vector length.\n".
void ZRT_CheckBranchBounds(s_ZRT_DeviceInst* inst, const char* branchName, int32_t a, int32_t b,
                           const char* nodeName, int32_t c, int32_t d);
// 1 when the branch is unnamed and runs from node a to node b, else 0.
int32_t ZRT_UBranchMatch(const ZRT_BranchInfo* branch, const s_ZRT_StateVar* a, const s_ZRT_StateVar* b);
// The name of member k of a vector: "<k><name>_i", or "_<-k><name>_i" for a
// negative k. A new text from ZRT_malloc owned by the caller; null when
// memory is exhausted.
char* ZRT_EncodeVector(s_ZRT_DeviceInst* inst, const char* name, int32_t k);
