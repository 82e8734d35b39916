// Random-number cores: the linear congruential seed step and the
// distributions drawn on top of it. Each core advances the 32-bit seed it is
// given (seeds wrap modulo 2^32).
#pragma once

#include <cstdint>

// A uniform real. A zero seed is replaced first (the new seed is then
// 0x92153206); every other seed steps as seed * 69069 + 1. The new seed maps
// to c in [0, 1]; the result is (end - start) * c + start, or
// 2147483647 * c when start >= end.
double __ZRT_uniform(uint32_t* seed, double start, double end);

// A uniform integer in [start, end]; start >= end answers start without
// touching the seed.
int32_t __ZRT_rtl_dist_uniform(uint32_t* seed, int32_t start, int32_t end);
int32_t __ZRT_random(uint32_t* seed);

// Polar method: pairs from [-1, 1] until 0 < s < 1.
double __ZRT_normal(uint32_t* seed, double mean, double deviation);
// -ln(u) * mean with u from [0, 1]; 0 when u is 0.
double __ZRT_exponential(uint32_t* seed, double mean);
// The number of uniform products that stay above exp(-mean).
double __ZRT_poisson(uint32_t* seed, double mean);
// A squared normal for odd degrees plus 2 * exponential(1) per pair of
// degrees (one draw each, doubled).
double __ZRT_chi_square(uint32_t* seed, int32_t degrees);
// A normal divided by sqrt(chi-square / degrees); the chi-square is drawn
// first.
double __ZRT_t(uint32_t* seed, int32_t degrees);
// -mean * ln(product of k uniforms) / k.
double __ZRT_erlangian(uint32_t* seed, int32_t k, double mean);

