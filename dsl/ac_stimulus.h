// AC stimulus sources: small-signal right-hand-side values that a model
// loads in the analyses its source names.
#pragma once

#include <cstdint>

#include "rte/ZRT_CommonInterface.h"

// The kind, the two words and the further values mean what the host makes
// of them.
struct ZRT_AcStim {
    s_ZRT_DeviceInst* inst;
    void* words[2];        // 0
    uint32_t kind;         // from the creator
    uint32_t kindPad;
    double magnitude;
    double phase;
    double further;        // a change sets the changed flag
    int32_t value;
    uint8_t flags;         // bit 0: changed (set at creation)
    uint8_t flagsPad[3];
    uint32_t analysisMask;
};

enum : uint8_t { ZRT_ACSTIM_CHANGED = 0x01 };

// A new source of the given kind (ZRT_malloc, values 0.0) active in the
// analyses named by the n `const char*` arguments after n, or in "ac" for
// n < 1; null when memory is exhausted.
ZRT_AcStim* ZRT_create_acStim(s_ZRT_DeviceInst* inst, uint32_t kind, int32_t n, ...);
// Stores the values; a further value other than the stored one sets the
// changed flag.
void ZRT_set_acStim(ZRT_AcStim* stim, double magnitude, double phase, int32_t value, double further);
// Hands (stim, the two words, value) to the loader's LoadRhsAC when the
// running analysis is one of the source's; otherwise loads nothing.
void ZRT_acContrib(ZRT_AcStim* stim, void* word1, void* word2, double value, const s_ZRT_ContribLoader* loader);
