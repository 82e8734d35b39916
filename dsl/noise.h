// Noise sources of an instance: set-up, power, keyed contributions and the
// report of a source's driven entry to the host.
#pragma once

#include <cstdint>

#include "rte/ZRT_CommonInterface.h"

// Sets up a source: name, type, instance and info value; empties the
// contribution list (the host still owns earlier nodes), the table, the first
// word and the static flicker data. Power, exponent, count and table indices
// stay as they are.
void ZRT_setNoiseSrcInfo(ZRT_NoiseSrc* pSrc, uint32_t noiseSrcType, uint32_t info, const char* name,
                         s_ZRT_DeviceInst* inst);

// A power below 0.0, or NaN, is rejected: the instance's warning "Negative
// noise power specified." and power 0.0. A rejected flicker power keeps the
// exponent. Calling either for a source of the other type stops the process.
void ZRT_setWhiteNoisePwr(ZRT_NoiseSrc* pSrc, double power);
void ZRT_setFlickerNoiseExpr(ZRT_NoiseSrc* pSrc, double power, double exponent);

// Marks source k of the instance, which must be a flicker source, as having
// a static flicker coefficient.
void ZRT_reportStaticFlickerCoeff(s_ZRT_DeviceInst* inst, int32_t k, double coeff);

// Counts one contribution and, for a non-null key, adds the value to the
// node of (key, no frequency response) / (key, frequency response).
void ZRT_addNoise(ZRT_NoiseSrc* pSrc, void* key, double value, const s_ZRT_ContribLoader* loader);
void ZRT_addColoredNoise(ZRT_NoiseSrc* pSrc, void* key, double value, ZRT_FreqResponse* freqResponse);

// Adds the value to the node of (key, frequency response) in the list at
// *head, or puts a new node at the head. When memory is exhausted the list is
// left as it was.
void ZRT_insertNoiseVal(s_ZRT_NoiseContrib** head, void* key, double value, ZRT_FreqResponse* freqResponse,
                        s_ZRT_SimInterface* sim);

// Power, exponent and count to 0; every node's value to 0.0, the nodes stay.
void ZRT_clearNoiseSrc(ZRT_NoiseSrc* pSrc);

// Tells the host which residual entry source k drives; answers the host's
// answer, or 0 when it has no ReportNoiseContrib slot.
int32_t ZRT_reportNoiseContrib(s_ZRT_DeviceInst* inst, int32_t k, void* key, void* extra);
