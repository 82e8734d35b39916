#include "dsl/ZRT_SupportLib.h"

namespace {

s_ZRT_SimInterface* simOf(const ZRT_NoiseSrc* pSrc) { return ::simOf(pSrc->inst); }

// The power rule shared by white and flicker sources: true when the power
// may be stored. A NaN power fails the comparison and is rejected.
bool acceptPower(ZRT_NoiseSrc* pSrc, double power) {
    if (power >= 0.0) {
        return true;
    }
    ZRT_Message(simOf(pSrc), pSrc->inst, pSrc->name, ZRT_MSG_WARNING, "Negative noise power specified.");
    return false;
}

}  // namespace

void ZRT_setNoiseSrcInfo(ZRT_NoiseSrc* pSrc, uint32_t noiseSrcType, uint32_t info, const char* name,
                         s_ZRT_DeviceInst* inst) {
    pSrc->reserved = nullptr;
    pSrc->name = name;
    pSrc->inst = inst;
    pSrc->noiseSrcType = noiseSrcType;
    pSrc->table = nullptr;
    pSrc->staticFlicker = 0;
    pSrc->staticFlickerCoeff = 0.0;
    pSrc->contribs = nullptr;
    pSrc->info = info;
}

void ZRT_setWhiteNoisePwr(ZRT_NoiseSrc* pSrc, double power) {
    ZRT_ASSERT(pSrc->noiseSrcType == ZRT_WHITE_NOISE_SRC);
    pSrc->power = acceptPower(pSrc, power) ? power : 0.0;
}

void ZRT_setFlickerNoiseExpr(ZRT_NoiseSrc* pSrc, double power, double exponent) {
    ZRT_ASSERT(pSrc->noiseSrcType == ZRT_FLICKER_NOISE_SRC);
    if (acceptPower(pSrc, power)) {
        pSrc->power = power;
        pSrc->exponent = exponent;
    } else {
        pSrc->power = 0.0;
    }
}

void ZRT_reportStaticFlickerCoeff(s_ZRT_DeviceInst* inst, int32_t k, double coeff) {
    ZRT_NoiseSrc* pSrc = inst != nullptr && inst->noiseSrcs != nullptr ? &inst->noiseSrcs[k] : nullptr;
    ZRT_ASSERT(pSrc && (pSrc->noiseSrcType == ZRT_FLICKER_NOISE_SRC));
    pSrc->staticFlickerCoeff = coeff;
    pSrc->staticFlicker = 1;
}

void ZRT_addNoise(ZRT_NoiseSrc* pSrc, void* key, double value, const s_ZRT_ContribLoader*) {
    ZRT_addColoredNoise(pSrc, key, value, nullptr);
}

void ZRT_addColoredNoise(ZRT_NoiseSrc* pSrc, void* key, double value, ZRT_FreqResponse* freqResponse) {
    ++pSrc->contribCount;
    if (key != nullptr) {
        ZRT_insertNoiseVal(&pSrc->contribs, key, value, freqResponse, simOf(pSrc));
    }
}

void ZRT_insertNoiseVal(s_ZRT_NoiseContrib** head, void* key, double value, ZRT_FreqResponse* freqResponse,
                        s_ZRT_SimInterface* sim) {
    for (s_ZRT_NoiseContrib* node = *head; node != nullptr; node = node->next) {
        if (node->key == key && node->freqResponse == freqResponse) {
            node->value += value;
            return;
        }
    }
    auto* node = static_cast<s_ZRT_NoiseContrib*>(ZRT_malloc(sizeof(s_ZRT_NoiseContrib), sim, nullptr, nullptr));
    if (node == nullptr) {
        return;
    }
    *node = {nullptr, key, value, freqResponse, *head};
    *head = node;
}

void ZRT_clearNoiseSrc(ZRT_NoiseSrc* pSrc) {
    pSrc->power = 0.0;
    pSrc->exponent = 0.0;
    pSrc->contribCount = 0;
    for (s_ZRT_NoiseContrib* node = pSrc->contribs; node != nullptr; node = node->next) {
        node->value = 0.0;
    }
}

int32_t ZRT_reportNoiseContrib(s_ZRT_DeviceInst* inst, int32_t k, void* key, void* extra) {
    if (inst == nullptr || inst->pSim == nullptr || inst->pSim->ReportNoiseContrib == nullptr) {
        return 0;
    }
    return inst->pSim->ReportNoiseContrib(k, key, inst, extra);
}
