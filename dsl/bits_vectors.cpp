#include "dsl/bits_vectors.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "rte/bit_ranges.h"

namespace {

constexpr const char* kOutOfRangeText = "Dimension specified is outside supported range of 0 to 31.";

// The first two of the n numbers that follow in `args`. Every number is
// checked, and the warnings are sent, before any bit is touched.
struct BitNumbers {
    int32_t k1 = 0;
    int32_t k2 = 0;
};

BitNumbers takeBitNumbers(s_ZRT_DeviceInst* inst, int32_t n, va_list args, const char* tooManyText) {
    s_ZRT_SimInterface* sim = simOf(inst);
    if (n > 2) {
        ZRT_Message(sim, inst, nullptr, ZRT_MSG_WARNING, tooManyText);
    }
    BitNumbers numbers;
    bool outOfRange = false;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t k = va_arg(args, int32_t);
        outOfRange = outOfRange || k < 0 || k > 31;
        if (i == 0) {
            numbers.k1 = k;
        } else if (i == 1) {
            numbers.k2 = k;
        }
    }
    if (outOfRange) {
        ZRT_Message(sim, inst, nullptr, ZRT_MSG_WARNING, kOutOfRangeText);
    }
    return numbers;
}

}  // namespace

uint32_t ZRT_extractBits(s_ZRT_DeviceInst* inst, uint32_t value, int32_t rangeType, int32_t n, ...) {
    if (n < 1) {
        return value;
    }
    va_list args;
    va_start(args, n);
    const BitNumbers k = takeBitNumbers(inst, n, args, "Too many dimensions specified for bit extraction.");
    va_end(args);
    return n == 1 ? selectBit(value, k.k1) : extractBits(value, rangeType, k.k1, k.k2);
}

void ZRT_setBits(s_ZRT_DeviceInst* inst, int32_t* target, int32_t value, int32_t rangeType, int32_t n, ...) {
    if (n < 1 || target == nullptr) {
        return;
    }
    va_list args;
    va_start(args, n);
    const BitNumbers k = takeBitNumbers(inst, n, args, "Too many dimensions specified for bit set.");
    va_end(args);
    if (n == 1) {
        assignBit(target, value, k.k1);
    } else {
        setBits(target, value, rangeType, k.k1, k.k2);
    }
}

void ZRT_VectorCheck(s_ZRT_DeviceInst* inst, const char* name, int32_t vectorNumber, int32_t index) {
    int32_t first = 0;
    int32_t last = 0;
    bool known = inst != nullptr && inst->nodeVectorBounds != nullptr && vectorNumber >= 0;
    if (known) {
        const int32_t* row = inst->nodeVectorBounds + 4 * static_cast<int64_t>(vectorNumber);
        first = row[2];
        last = row[3];
        const int32_t lo = first < last ? first : last;
        const int32_t hi = first < last ? last : first;
        if (index >= lo && index <= hi) {
            return;
        }
    }
    s_ZRT_SimInterface* sim = simOf(inst);
    ZRT_Message(sim, inst, nullptr, ZRT_MSG_ERROR, "Invalid net vector access of '%s[%d] with bounds '[%d:%d]' \n",
                name != nullptr ? name : "", index, first, last);
    callExitTask(sim, inst);
}

void ZRT_CheckBranchBounds(s_ZRT_DeviceInst* inst, const char* branchName, int32_t a, int32_t b,
                           const char* nodeName, int32_t c, int32_t d) {
    // In 64 bits, so that no pair of 32-bit ends overflows; a descending
    // node range counts as many members as an ascending one.
    if (std::llabs(int64_t{b} - a) == std::llabs(int64_t{d} - c)) {
        return;
    }
    s_ZRT_SimInterface* sim = simOf(inst);
    ZRT_Message(sim, inst, nullptr, ZRT_MSG_ERROR,
                "Mismatch between branch '%s' vector length and node '%s' vector length.\n",
                branchName != nullptr ? branchName : "", nodeName != nullptr ? nodeName : "");
    callExitTask(sim, inst);
}

int32_t ZRT_UBranchMatch(const ZRT_BranchInfo* branch, const s_ZRT_StateVar* a, const s_ZRT_StateVar* b) {
    return branch != nullptr && (branch->flags & ZRT_BRANCH_UNNAMED) != 0 && ZRT_svPosMatch(branch->pos, a) &&
                   ZRT_svPosMatch(branch->neg, b)
               ? 1
               : 0;
}

char* ZRT_EncodeVector(s_ZRT_DeviceInst* inst, const char* name, int32_t k) {
    if (name == nullptr) {
        name = "";
    }
    // |k| in 64 bits: the magnitude of the 32-bit minimum has no 32-bit form.
    const int64_t magnitude = std::llabs(int64_t{k});
    const char* format = k < 0 ? "_%" PRId64 "%s_i" : "%" PRId64 "%s_i";
    const int length = std::snprintf(nullptr, 0, format, magnitude, name);
    if (length < 0) {
        return nullptr;
    }
    const size_t size = static_cast<size_t>(length) + 1;
    auto* text = static_cast<char*>(ZRT_malloc(size, simOf(inst), inst, nullptr));
    if (text != nullptr) {
        std::snprintf(text, size, format, magnitude, name);
    }
    return text;
}
