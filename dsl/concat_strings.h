// Concatenation and replication of real and integer values, and the string
// expressions of compiled models. Every result is allocated through the
// runtime's memory functions with the instance's simulator interface and is
// owned by the caller, who releases it with ZRT_free.
#pragma once

#include <cstdint>

#include "rte/ZRT_CommonInterface.h"
#include "rte/arrays.h"  // ZRT_ConcatElement

// A one-element concatenation. A failed allocation gives an empty element.
ZRT_ConcatElement ZRT_Real(s_ZRT_DeviceInst* inst, double value);
ZRT_ConcatElement ZRT_Int(s_ZRT_DeviceInst* inst, int32_t value);

// count{e1, ..., en}: the n elements follow as `const ZRT_ConcatElement*`
// arguments and must all be of the function's type (asserted). The result is
// their concatenation written count times. A negative count or element length
// is the fatal error "Attempt to use a negative-valued replication constant.";
// that error, and a result longer than 2^31 - 1 elements ("Out of memory."),
// answer an empty element. The elements themselves are not released.
ZRT_ConcatElement ZRT_RealReplicate(s_ZRT_DeviceInst* inst, int32_t count, int32_t n, ...);
ZRT_ConcatElement ZRT_IntReplicate(s_ZRT_DeviceInst* inst, int32_t count, int32_t n, ...);

// Not supported in the analog domain: a warning (once per instance), answer 0.
int32_t ZRT_BitwiseConcatenate(s_ZRT_DeviceInst* inst);
int32_t ZRT_BitwiseReplicate(s_ZRT_DeviceInst* inst);

// The n texts that follow (`const char*`, null counts as empty) joined into a
// new text; n = 0 gives "", n < 0 gives null.
char* ZRT_StringConcatenate(s_ZRT_DeviceInst* inst, int32_t n, ...);
// The text written count times. A null text gives null; a negative count is
// the fatal error of the numeric replication and, like a result too large to
// allocate ("Out of memory."), answers "".
char* ZRT_StringReplicate(s_ZRT_DeviceInst* inst, int32_t count, const char* text);
// Replaces *variable by a copy of text (null by null) and frees the old text.
// The copy is made first, so a variable may be assigned to itself.
void ZRT_StringAssign(char** variable, const char* text, s_ZRT_DeviceInst* inst);

// Length of the text; 0 for null.
int32_t ZRT_rfc_len(void* ignored, const char* text);
// Characters first to last inclusive as a new text. When first < 0, the text
// is null, first > last or last is not below the text's length, the new text
// is two double-quote characters (not an empty text).
char* ZRT_rfc_substr(s_ZRT_DeviceInst* inst, const char* text, int32_t first, int32_t last);
// The number at the start of the text, read as atof and atoi do but always in
// the "C" locale; 0 for null. atoi saturates to the 32-bit range.
double ZRT_rfc_atoreal(void* ignored, const char* text);
int32_t ZRT_rfc_atoi(void* ignored, const char* text);
// Stores four zero bytes into buffer and answers it: always the empty text.
char* ZRT_charFromInt(char* buffer, int32_t value);
