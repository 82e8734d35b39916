// Noise sources and their contributions, as the host reads them after a load.
//
// The host allocates one ZRT_NoiseSrc per noise source of a module (the
// instance's noiseSrcs array). The runtime records each source's power and,
// per source, a list of the residual entries the source drives with their
// accumulated weights. How the host turns these into a spectrum is its own.
#pragma once

#include "ZRT_CCompat.h"

#include <stddef.h>
#include <stdint.h>

typedef struct s_ZRT_DeviceInst s_ZRT_DeviceInst;
typedef struct s_ZRT_Array s_ZRT_Array;

ZRT_ENUM(ZRT_NoiseSrcTypeE, uint32_t) {
    ZRT_WHITE_NOISE_SRC = 0,
    ZRT_FLICKER_NOISE_SRC = 1,
    ZRT_TABLE_NOISE_SRC = 2,
};

// A complex value.
typedef struct ZRT_Cmplx ZRT_Cmplx;
struct ZRT_Cmplx {
    double re;
    double im;
};

// The frequency response of an analog operator, attached to the noise
// contributions the operator adds: `fn(data, frequency, out)` writes the
// operator's complex response at that frequency.
typedef struct ZRT_FreqResponse ZRT_FreqResponse;
struct ZRT_FreqResponse {
    void* data;
    void (*fn)(void* data, double frequency, ZRT_Cmplx* out);
};

// One node of a source's contribution list: at most one node per pair
// (key, frequency response). Nodes live as long as the source; the runtime
// never frees them, the host does when it drops the instance.
typedef struct s_ZRT_NoiseContrib s_ZRT_NoiseContrib;
struct s_ZRT_NoiseContrib {
    void* reserved;                  // 0
    void* key;                       // stamp handle of the driven residual entry, or an operator's key
    double value;                    // accumulated weight
    ZRT_FreqResponse* freqResponse;  // null for a plain contribution
    s_ZRT_NoiseContrib* next;
};

typedef struct ZRT_NoiseSrc ZRT_NoiseSrc;
struct ZRT_NoiseSrc {
    void* reserved;                  // cleared at set-up
    const char* name;                // the caller's text
    s_ZRT_DeviceInst* inst;
    uint32_t noiseSrcType;           // ZRT_NoiseSrcTypeE
    uint32_t noiseSrcTypePad;
    double power;                    // white or flicker power
    double exponent;                 // flicker exponent
    s_ZRT_Array* table;              // frequency/power pairs of a table source
    uint32_t staticFlicker;          // 1 once a static flicker coefficient was reported
    uint32_t staticFlickerPad;
    double staticFlickerCoeff;
    s_ZRT_NoiseContrib* contribs;    // head of the contribution list
    uint32_t contribCount;           // add calls since the last clear, null keys included
    int32_t firstTableIndex;
    int32_t lastTableIndex;
    uint32_t info;
};

static_assert(offsetof(s_ZRT_NoiseContrib, key) == 8, "noise contribution key");
static_assert(offsetof(s_ZRT_NoiseContrib, value) == 16, "noise contribution value");
static_assert(offsetof(s_ZRT_NoiseContrib, freqResponse) == 24, "noise contribution frequency response");
static_assert(offsetof(s_ZRT_NoiseContrib, next) == 32, "noise contribution next");
static_assert(sizeof(s_ZRT_NoiseContrib) == 40, "noise contribution is 40 bytes");

static_assert(offsetof(ZRT_NoiseSrc, reserved) == 0, "noise source first word");
static_assert(offsetof(ZRT_NoiseSrc, name) == 8, "noise source name");
static_assert(offsetof(ZRT_NoiseSrc, inst) == 16, "noise source instance");
static_assert(offsetof(ZRT_NoiseSrc, noiseSrcType) == 24, "noise source type");
static_assert(offsetof(ZRT_NoiseSrc, power) == 32, "noise source power");
static_assert(offsetof(ZRT_NoiseSrc, exponent) == 40, "noise source exponent");
static_assert(offsetof(ZRT_NoiseSrc, table) == 48, "noise source table");
static_assert(offsetof(ZRT_NoiseSrc, staticFlicker) == 56, "noise source static flicker flag");
static_assert(offsetof(ZRT_NoiseSrc, staticFlickerCoeff) == 64, "noise source static flicker coefficient");
static_assert(offsetof(ZRT_NoiseSrc, contribs) == 72, "noise source contribution list");
static_assert(offsetof(ZRT_NoiseSrc, contribCount) == 80, "noise source contribution count");
static_assert(offsetof(ZRT_NoiseSrc, firstTableIndex) == 84, "noise source first table index");
static_assert(offsetof(ZRT_NoiseSrc, lastTableIndex) == 88, "noise source last table index");
static_assert(offsetof(ZRT_NoiseSrc, info) == 92, "noise source info value");
static_assert(sizeof(ZRT_NoiseSrc) == 96, "noise source is 96 bytes");
