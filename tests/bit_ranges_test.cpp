#include <gtest/gtest.h>

#include "rte/bit_ranges.h"

TEST(BitRanges, RangeTypesGiveTheSameBitsFromTheirTwoNumbers) {
    const uint32_t v = 0xF0F0A5C3u;
    // Bits 4..11 of the value, named three ways.
    EXPECT_EQ(extractBits(v, MIN_MAX_RANGE, 11, 4), 0x5Cu);
    EXPECT_EQ(extractBits(v, WIDTH_UP_RANGE, 4, 8), 0x5Cu);
    EXPECT_EQ(extractBits(v, WIDTH_DOWN_RANGE, 11, 8), 0x5Cu);
    // An upper end of 31 takes every bit from the lower end up.
    EXPECT_EQ(extractBits(v, MIN_MAX_RANGE, 0, 31), v);
    EXPECT_EQ(extractBits(v, MIN_MAX_RANGE, 28, 31), 0xFu);
}

TEST(BitRanges, EndsOutsideTheWordAreClampedAndIndicesWrap) {
    // Start 2 counted down over width 5 reaches -2: bits 0..2.
    EXPECT_EQ(extractBits(0xFFu, WIDTH_DOWN_RANGE, 2, 5), 0x7u);
    EXPECT_EQ(extractBits(0x80000000u, WIDTH_UP_RANGE, 31, 2147483647), 1u);
    EXPECT_EQ(selectBit(0x2u, 33), 1u);
    EXPECT_EQ(selectBit(0x80000000u, -1), 1u);
}

TEST(BitRanges, WritesReportWhetherTheElementChanged) {
    int32_t e = 0;
    EXPECT_TRUE(setBits(&e, 0x1FF, MIN_MAX_RANGE, 4, 11));  // value wider than the range: low 8 bits kept
    EXPECT_EQ(e, 0xFF0);
    EXPECT_FALSE(setBits(&e, 0xFF, WIDTH_UP_RANGE, 4, 8));
    EXPECT_TRUE(setBits(&e, 0, MIN_MAX_RANGE, 31, 0));
    EXPECT_EQ(e, 0);
    EXPECT_TRUE(assignBit(&e, 3, 31));
    EXPECT_EQ(static_cast<uint32_t>(e), 0x80000000u);
    EXPECT_FALSE(assignBit(&e, 1, 63));
    EXPECT_TRUE(assignBit(&e, 2, 31));  // only the lowest bit of the value counts
    EXPECT_EQ(e, 0);
}

TEST(BitRangesDeath, RangeTypeOutsideOneToThreeStops) {
    EXPECT_DEATH(extractBits(1u, NO_RANGE, 0, 1), "rangeType == MIN_MAX_RANGE");
}
