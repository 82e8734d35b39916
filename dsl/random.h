// Random-number system functions ($random, $dist_* and $rdist_*) on the
// cores, with the per-call-site descriptor that keeps a seed between time
// points: a rejected time step repeats its numbers, an accepted one moves on.
//
// Every function takes the descriptor first. A seed-variable form takes a
// pointer to the seed it advances, or null for the descriptor's working
// seed. A seed-value form (a "2" in its name) copies its seed value into the
// working seed unless a time point has been accepted, then advances the
// working seed. Without a seed to work on (null descriptor and null seed
// variable) a function answers 0 or 0.0 and draws nothing.
//
// Integer results are the real results rounded half away from zero and
// saturated (ZRT_doubleToInt): a NaN gives -2147483648.
#pragma once

#include <cstdint>

#include "rte/ZRT_CommonInterface.h"
#include "rte/random_cores.h"

enum ZRT_RandomFlagE : uint32_t {
    ZRT_RANDOM_ACCEPTED = 1u,  // a time point was accepted: seed values are ignored
    ZRT_RANDOM_CREATED = 2u,   // bit 0 of the creation flag
};

struct ZRT_RandomDesc {
    s_ZRT_DeviceInst* inst;
    uint32_t acceptedSeed;  // the seed at the last accepted time point
    uint32_t workingSeed;   // the seed the functions advance
    uint32_t flags;         // ZRT_RandomFlagE
};

// A new descriptor (through ZRT_malloc; the caller releases it with ZRT_free)
// whose accepted seed is the host's CreateRandomDesc answer (0 without the
// slot) and whose working seed is 0. Null when memory is exhausted.
ZRT_RandomDesc* ZRT_createRandomDesc(int32_t flag, s_ZRT_DeviceInst* inst);
// Working seed = accepted seed; called as an evaluation at a new time point
// starts.
void ZRT_randomInitPoint(ZRT_RandomDesc* desc);
// Marks the descriptor accepted and keeps the working seed as accepted seed.
void ZRT_randomAcceptPoint(ZRT_RandomDesc* desc);
// Clears the accepted mark: the next seed value is taken again.
void ZRT_randomResetSeed(ZRT_RandomDesc* desc);

int32_t ZRT_random(ZRT_RandomDesc* desc, uint32_t* seed);
int32_t ZRT_random2(ZRT_RandomDesc* desc, uint32_t seedValue);

int32_t ZRT_dist_uniform(ZRT_RandomDesc* desc, uint32_t* seed, int32_t start, int32_t end);
int32_t ZRT_dist2_uniform(ZRT_RandomDesc* desc, uint32_t seedValue, int32_t start, int32_t end);
// (1 - u) * start + u * end with u from a $random draw; 0.0 when start > end
// (the seed still advances).
double ZRT_rdist_uniform(ZRT_RandomDesc* desc, uint32_t* seed, double start, double end);
double ZRT_rdist2_uniform(ZRT_RandomDesc* desc, uint32_t seedValue, double start, double end);

int32_t ZRT_dist_normal(ZRT_RandomDesc* desc, uint32_t* seed, int32_t mean, int32_t deviation);
int32_t ZRT_dist2_normal(ZRT_RandomDesc* desc, uint32_t seedValue, int32_t mean, int32_t deviation);
double ZRT_rdist_normal(ZRT_RandomDesc* desc, uint32_t* seed, double mean, double deviation);
double ZRT_rdist2_normal(ZRT_RandomDesc* desc, uint32_t seedValue, double mean, double deviation);

int32_t ZRT_dist_exponential(ZRT_RandomDesc* desc, uint32_t* seed, int32_t mean);
int32_t ZRT_dist2_exponential(ZRT_RandomDesc* desc, uint32_t seedValue, int32_t mean);
double ZRT_rdist_exponential(ZRT_RandomDesc* desc, uint32_t* seed, double mean);
double ZRT_rdist2_exponential(ZRT_RandomDesc* desc, uint32_t seedValue, double mean);

// The checked forms below send their error and call the host's "exit" task
// when an argument is out of range; when the host returns they draw anyway.

// Error "poisson distribution must have a positive mean." for mean <= 0.
int32_t ZRT_dist_poisson(ZRT_RandomDesc* desc, uint32_t* seed, int32_t mean);
int32_t ZRT_dist2_poisson(ZRT_RandomDesc* desc, uint32_t seedValue, int32_t mean);
double ZRT_rdist_poisson(ZRT_RandomDesc* desc, uint32_t* seed, double mean);
double ZRT_rdist2_poisson(ZRT_RandomDesc* desc, uint32_t seedValue, double mean);

// The degrees are truncated (saturating); below 1 is an error.
int32_t ZRT_dist_chi_square(ZRT_RandomDesc* desc, uint32_t* seed, int32_t degrees);
int32_t ZRT_dist2_chi_square(ZRT_RandomDesc* desc, uint32_t seedValue, int32_t degrees);
double ZRT_rdist_chi_square(ZRT_RandomDesc* desc, uint32_t* seed, double degrees);
double ZRT_rdist2_chi_square(ZRT_RandomDesc* desc, uint32_t seedValue, double degrees);

int32_t ZRT_dist_t(ZRT_RandomDesc* desc, uint32_t* seed, int32_t degrees);
int32_t ZRT_dist2_t(ZRT_RandomDesc* desc, uint32_t seedValue, int32_t degrees);
double ZRT_rdist_t(ZRT_RandomDesc* desc, uint32_t* seed, double degrees);
double ZRT_rdist2_t(ZRT_RandomDesc* desc, uint32_t seedValue, double degrees);

// k is rounded to k' = trunc(k + 0.5) (saturating): the warning "In
// $rdist_erlang, 'k_stage' is rounded to an integer." when they differ by
// more than 1e-6 (once per instance), the error when k' <= 0.
int32_t ZRT_dist_erlang(ZRT_RandomDesc* desc, uint32_t* seed, int32_t k, int32_t mean);
int32_t ZRT_dist2_erlang(ZRT_RandomDesc* desc, uint32_t seedValue, int32_t k, int32_t mean);
double ZRT_rdist_erlang(ZRT_RandomDesc* desc, uint32_t* seed, double k, double mean);
double ZRT_rdist2_erlang(ZRT_RandomDesc* desc, uint32_t seedValue, double k, double mean);
