#include "rte/bit_ranges.h"

#include <algorithm>

#include "rte/ZRT_Assert.h"

namespace {

struct BitRange {
    int32_t lo;
    int32_t hi;
};

int32_t clampBit(int64_t end) { return static_cast<int32_t>(std::clamp<int64_t>(end, 0, 31)); }

// The inclusive ends lo <= hi of a range, clamped into 0..31. The ends are
// computed in 64 bits, so extreme starts and widths cannot overflow.
BitRange bitRange(int32_t rangeType, int32_t a, int32_t b) {
    int64_t first = a;
    int64_t second = b;
    switch (rangeType) {
    case MIN_MAX_RANGE:
        break;
    case WIDTH_UP_RANGE:
        second = int64_t{a} + b - 1;
        break;
    case WIDTH_DOWN_RANGE:
        second = int64_t{a} - b + 1;
        break;
    default:
        ZRT_ASSERT_AT(false, "rangeType == MIN_MAX_RANGE", __FILE__, __LINE__);
    }
    return {clampBit(std::min(first, second)), clampBit(std::max(first, second))};
}

// The mask of bits lo..hi.
uint32_t rangeMask(BitRange r) {
    const int32_t width = r.hi - r.lo + 1;
    const uint32_t low = width >= 32 ? ~0u : ((1u << width) - 1u);
    return low << r.lo;
}

}  // namespace

uint32_t selectBit(uint32_t value, int32_t k) { return (value >> (static_cast<uint32_t>(k) & 31u)) & 1u; }

bool assignBit(int32_t* element, int32_t value, int32_t k) {
    const uint32_t bit = 1u << (static_cast<uint32_t>(k) & 31u);
    const uint32_t old = static_cast<uint32_t>(*element);
    const uint32_t updated = (static_cast<uint32_t>(value) & 1u) != 0 ? (old | bit) : (old & ~bit);
    *element = static_cast<int32_t>(updated);
    return updated != old;
}

uint32_t extractBits(uint32_t value, int32_t rangeType, int32_t a, int32_t b) {
    const BitRange r = bitRange(rangeType, a, b);
    return (value & rangeMask(r)) >> r.lo;
}

bool setBits(int32_t* element, int32_t value, int32_t rangeType, int32_t a, int32_t b) {
    const BitRange r = bitRange(rangeType, a, b);
    const uint32_t mask = rangeMask(r);
    const uint32_t old = static_cast<uint32_t>(*element);
    const uint32_t updated = (old & ~mask) | ((static_cast<uint32_t>(value) << r.lo) & mask);
    *element = static_cast<int32_t>(updated);
    return updated != old;
}
