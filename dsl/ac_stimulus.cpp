#include "dsl/ac_stimulus.h"

#include <cstdarg>

ZRT_AcStim* ZRT_create_acStim(s_ZRT_DeviceInst* inst, uint32_t kind, int32_t n, ...) {
    s_ZRT_SimInterface* sim = simOf(inst);
    auto* stim = static_cast<ZRT_AcStim*>(ZRT_malloc(sizeof(ZRT_AcStim), sim, inst, nullptr));
    if (stim == nullptr) {
        return nullptr;
    }
    *stim = ZRT_AcStim{};
    stim->inst = inst;
    stim->kind = kind;
    stim->flags = ZRT_ACSTIM_CHANGED;
    if (n < 1) {
        stim->analysisMask = analysisMaskOf(sim, "ac");
        return stim;
    }
    va_list names;
    va_start(names, n);
    for (int32_t i = 0; i < n; ++i) {
        stim->analysisMask |= analysisMaskOf(sim, va_arg(names, const char*));
    }
    va_end(names);
    return stim;
}

void ZRT_set_acStim(ZRT_AcStim* stim, double magnitude, double phase, int32_t value, double further) {
    if (stim == nullptr) {
        return;
    }
    stim->magnitude = magnitude;
    stim->phase = phase;
    stim->value = value;
    if (further != stim->further) {
        stim->flags |= ZRT_ACSTIM_CHANGED;
    }
    stim->further = further;
}

void ZRT_acContrib(ZRT_AcStim* stim, void* word1, void* word2, double value, const s_ZRT_ContribLoader* loader) {
    if (stim == nullptr || loader->LoadRhsAC == nullptr) {
        return;
    }
    if ((loader->GetAnalysisQueryMask(loader, stim->inst) & stim->analysisMask) != 0) {
        loader->LoadRhsAC(stim, word1, word2, value, loader);
    }
}
