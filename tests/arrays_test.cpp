// Runtime arrays: element layout, access errors, sizing, assignment, the
// modified flag, generic integer access, the range test and digital arrays.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdarg>
#include <limits>
#include <memory>
#include <vector>

#include "dsl/ZRT_SupportLib.h"
#include "tests/test_host.h"

namespace {

using testhost::TestHost;
using testhost::TestInstance;

using Array = std::unique_ptr<s_ZRT_Array, decltype(&ZRT_freeArray)>;

Array makeArray(TestHost& host, uint32_t type, const char* name = "A") {
    return Array(ZRT_createArray(type, name, &host.sim), &ZRT_freeArray);
}

std::vector<double> realsOf(const s_ZRT_Array* a) {
    const auto* d = static_cast<const double*>(a->data);
    return a->_dataLen > 0 ? std::vector<double>(d, d + a->_dataLen) : std::vector<double>{};
}

std::vector<int32_t> intsOf(const s_ZRT_Array* a) {
    const auto* d = static_cast<const int32_t*>(a->data);
    return a->_dataLen > 0 ? std::vector<int32_t>(d, d + a->_dataLen) : std::vector<int32_t>{};
}

bool modified(const s_ZRT_Array* a) { return (a->flags & ZRT_ARRAY_MODIFIED) != 0; }
void clearModified(s_ZRT_Array* a) { a->flags &= static_cast<uint8_t>(~ZRT_ARRAY_MODIFIED); }

TEST(Arrays, DescendingInitialisersAndColumnMajorIndices) {
    TestHost host;
    Array a = makeArray(host, ZRT_REAL_ARRAY);
    ZRT_setArrayBounds(a.get(), 7, 0);
    ZRT_initRealArray(a.get(), 8, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0);
    EXPECT_EQ(realsOf(a.get()), (std::vector<double>{8, 7, 6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(ZRT_getArrayReal(a.get(), ZRT_getArrayIndex_1(a.get(), 7)), 1.0);
    EXPECT_EQ(ZRT_getArrayReal(a.get(), ZRT_getArrayIndex(a.get(), nullptr, 1, 0)), 8.0);

    Array m = makeArray(host, ZRT_INT_ARRAY);
    ZRT_setArrayBoundLists(m.get(), 2, 0, 1, 0, 2);
    ASSERT_EQ(m->_dataLen, 6);
    for (int32_t i = 0; i < 2; ++i) {
        for (int32_t j = 0; j < 3; ++j) {
            EXPECT_EQ(ZRT_getArrayIndex(m.get(), nullptr, 2, i, j), i + 2 * j);
        }
    }
    EXPECT_TRUE(host.messages.empty());
}

TEST(Arrays, AccessErrorsReportWithoutInstanceAndAnswerMinusOne) {
    TestHost host;
    Array a = makeArray(host, ZRT_REAL_ARRAY);
    ZRT_setArrayBounds(a.get(), 0, 3);
    EXPECT_EQ(ZRT_getArrayIndex(a.get(), nullptr, 1, 5), -1);
    Array m = makeArray(host, ZRT_REAL_ARRAY);
    ZRT_setArrayBoundLists(m.get(), 2, 0, 1, 0, 3);
    EXPECT_EQ(ZRT_getArrayIndex(m.get(), nullptr, 2, 1, 9), -1);
    EXPECT_EQ(ZRT_getArrayIndex(m.get(), nullptr, 1, 0), -1);
    // A name is shown as it is, '%' and all.
    Array p = makeArray(host, ZRT_REAL_ARRAY, "w%s%n");
    ZRT_setArrayBounds(p.get(), 3, 0);
    EXPECT_EQ(ZRT_getArrayIndex_1(p.get(), -1), -1);

    ASSERT_EQ(host.messages.size(), 4u);
    EXPECT_EQ(host.messages[0].formatted, "Invalid array access: A[5] out of allowed range (0:3)");
    EXPECT_EQ(host.messages[1].formatted, "Invalid array access: A[][9] out of allowed range (0:3) for dimension (2)");
    EXPECT_EQ(host.messages[2].formatted, "Invalid array access: A has 2 dimensions but 1 were given.");
    EXPECT_EQ(host.messages[3].formatted, "Invalid array access: w%s%n[-1] out of allowed range (3:0)");
    for (const auto& msg : host.messages) {
        EXPECT_EQ(msg.type, ZRT_MSG_ERROR);
        EXPECT_EQ(msg.inst, nullptr);
    }
    EXPECT_EQ(host.exitCount(), 4);

    // The failed lookups read 0 and write nothing.
    ZRT_setArrayReal(a.get(), -1, 9.0);
    EXPECT_EQ(ZRT_getArrayReal(a.get(), -1), 0.0);
    EXPECT_EQ(realsOf(a.get()), (std::vector<double>{0, 0, 0, 0}));
}

TEST(Arrays, SizingKeepsShrunkBlocksZeroesGrownOnesAndRefusesOverflow) {
    TestHost host;
    Array a = makeArray(host, ZRT_REAL_ARRAY);
    ZRT_setArrayBounds(a.get(), 0, 3);
    ZRT_initRealArray(a.get(), 4, 1.0, 2.0, 3.0, 4.0);
    ZRT_setArrayBounds(a.get(), 1, 0);
    EXPECT_EQ(realsOf(a.get()), (std::vector<double>{1, 2}));
    ZRT_setArrayBounds(a.get(), 0, 5);
    EXPECT_EQ(realsOf(a.get()), (std::vector<double>(6, 0.0)));
    EXPECT_TRUE(host.messages.empty());

    // 65536 x 65536 and |INT32_MAX - INT32_MIN| + 1 elements exceed 32 bits.
    ZRT_setArrayBoundLists(a.get(), 2, 0, 65535, 0, 65535);
    EXPECT_EQ(a->data, nullptr);
    EXPECT_EQ(a->_dataLen, 0);
    EXPECT_EQ(ZRT_getArrayIndex(a.get(), nullptr, 2, 65535, 65535), -1);
    EXPECT_EQ(ZRT_getArrayReal(a.get(), ZRT_getArrayIndex(a.get(), nullptr, 2, 1, 0)), 0.0);
    ZRT_setArrayBounds(a.get(), INT32_MIN, INT32_MAX);
    EXPECT_EQ(a->_dataLen, 0);
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[1].text, "Out of memory.");
    EXPECT_EQ(host.exitCount(), 2);

    // An initialiser given no values leaves an empty array that loops skip.
    ZRT_setArrayBounds(a.get(), 0, 1);
    ZRT_initRealArray(a.get(), -3);
    EXPECT_EQ(a->_dataLen, -3);
    ZRT_resetArray(a.get());
    EXPECT_EQ(ZRT_checkArrayRange(a.get(), '[', 0.0, 0.0, ']'), 1);
}

TEST(Arrays, AssignmentConvertsReversesAndNeverOverruns) {
    TestHost host;
    Array real = makeArray(host, ZRT_REAL_ARRAY);
    ZRT_setArrayBounds(real.get(), 0, 3);
    ZRT_initRealArray(real.get(), 4, 0.5, 1.5, 2.5, -2.5);
    Array down = makeArray(host, ZRT_INT_ARRAY);
    ZRT_setArrayBounds(down.get(), 3, 0);
    ZRT_assignArray(down.get(), real.get());
    EXPECT_EQ(intsOf(down.get()), (std::vector<int32_t>{-3, 3, 2, 1}));

    // Concatenations truncate toward zero, saturating; NaN is INT32_MIN.
    double values[] = {2.5, -2.5, std::nan(""), 1e300};
    ZRT_ConcatElement e{ZRT_REAL_DATA, 4, values};
    ZRT_initIntArrayByConcat(down.get(), e);
    EXPECT_EQ(intsOf(down.get()), (std::vector<int32_t>{INT32_MAX, INT32_MIN, -2, 2}));

    // Longer into shorter: only what the target holds, in either direction.
    Array eight = makeArray(host, ZRT_REAL_ARRAY);
    ZRT_ConcatElement counting{ZRT_REAL_DATA, 8, nullptr};
    double one_to_eight[] = {1, 2, 3, 4, 5, 6, 7, 8};
    counting.data = one_to_eight;
    ZRT_initAndSetBoundsOfRealArrayByConcat(eight.get(), counting);
    Array three = makeArray(host, ZRT_REAL_ARRAY);
    ZRT_setArrayBounds(three.get(), 0, 2);
    ZRT_assignArray(three.get(), eight.get());
    EXPECT_EQ(realsOf(three.get()), (std::vector<double>{1, 2, 3}));
    ZRT_setArrayBounds(three.get(), 2, 0);
    ZRT_assignArray(three.get(), eight.get());
    EXPECT_EQ(realsOf(three.get()), (std::vector<double>{3, 2, 1}));

    // A clone takes the bounds; arrays without bounds pass none on.
    Array grid = makeArray(host, ZRT_INT_ARRAY);
    ZRT_setArrayBoundLists(grid.get(), 2, 0, 1, 2, 0);
    ZRT_setArrayInt(grid.get(), 5, 42);
    Array clone(ZRT_cloneArray(grid.get()), &ZRT_freeArray);
    ASSERT_EQ(clone->_numDims, 2);
    EXPECT_EQ(clone->rightBounds[1], 0);
    EXPECT_EQ(intsOf(clone.get()), intsOf(grid.get()));
    EXPECT_NE(clone->data, grid->data);
    EXPECT_EQ(ZRT_cloneArray(nullptr), nullptr);

    Array bare = makeArray(host, ZRT_REAL_ARRAY);
    Array bareClone(ZRT_duplicateArray(bare.get()), &ZRT_freeArray);
    Array temp(ZRT_createTempArray(bare.get(), "T"), &ZRT_freeArray);
    EXPECT_EQ(bareClone->flags & ZRT_ARRAY_BOUNDS_SET, 0);
    EXPECT_EQ(temp->flags & ZRT_ARRAY_BOUNDS_SET, 0);
    EXPECT_EQ(ZRT_getArrayIndex(bare.get(), nullptr, 1, 0), -1);
    // An initialiser on an array without bounds owns its block too.
    ZRT_initIntArray(bare.get(), 2, 7, 8);
    EXPECT_EQ(realsOf(bare.get()), (std::vector<double>{7, 8}));
    EXPECT_TRUE(host.messages.empty());
}

TEST(Arrays, ModifiedIsSetByEveryWriterAndByValueWritesOnlyOnChange) {
    TestHost host;
    Array a = makeArray(host, ZRT_REAL_ARRAY);
    EXPECT_TRUE(modified(a.get()));
    ZRT_setArrayBounds(a.get(), 0, 1);

    clearModified(a.get());
    ZRT_setArrayReal(a.get(), 0, 0.0);
    EXPECT_FALSE(modified(a.get()));
    ZRT_setArrayReal(a.get(), 0, 1.0);
    EXPECT_TRUE(modified(a.get()));
    ZRT_setArrayReal(a.get(), 1, std::nan(""));
    clearModified(a.get());
    ZRT_setArrayReal(a.get(), 1, std::nan(""));
    EXPECT_TRUE(modified(a.get()));

    clearModified(a.get());
    *ZRT_realRef(a.get(), 0) = 1.0;
    EXPECT_TRUE(modified(a.get()));
    clearModified(a.get());
    ZRT_resetArray(a.get());
    EXPECT_TRUE(modified(a.get()));
    clearModified(a.get());
    ZRT_initRealArray(a.get(), 0);
    EXPECT_TRUE(modified(a.get()));

    Array b = makeArray(host, ZRT_INT_ARRAY);
    ZRT_setArrayBounds(b.get(), 0, 1);
    Array c = makeArray(host, ZRT_INT_ARRAY);
    ZRT_setArrayBounds(c.get(), 0, 1);
    clearModified(b.get());
    ZRT_setArrayInt(b.get(), 1, 0);
    ZRT_setArrayIntGeneric(b.get(), 0, NO_RANGE, 2, 1, 3);
    ZRT_assignArray(b.get(), c.get());
    EXPECT_FALSE(modified(b.get()));
    ZRT_setArrayIntGeneric(b.get(), 1, NO_RANGE, 2, 1, 3);
    EXPECT_TRUE(modified(b.get()));
    clearModified(b.get());
    ZRT_assignArray(b.get(), c.get());
    EXPECT_TRUE(modified(b.get()));
}

TEST(Arrays, GenericIntegerAccessReadsNumbersAsIndicesBitsOrRanges) {
    TestHost host;
    Array a = makeArray(host, ZRT_INT_ARRAY);
    ZRT_setArrayBounds(a.get(), 0, 1);
    ZRT_setArrayIntGeneric(a.get(), 0xB0, NO_RANGE, 1, 1);  // the whole element
    EXPECT_EQ(ZRT_getArrayInt(a.get(), 1), 0xB0);

    EXPECT_EQ(ZRT_getArrayIntGeneric(a.get(), NO_RANGE, 2, 1, 4), 1);
    EXPECT_EQ(ZRT_getArrayIntGeneric(a.get(), NO_RANGE, 2, 1, 6), 0);
    EXPECT_EQ(ZRT_getArrayIntGeneric(a.get(), NO_RANGE, 2, 1, 36), 1);  // modulo 32
    EXPECT_EQ(ZRT_getArrayIntGeneric(a.get(), MIN_MAX_RANGE, 3, 1, 7, 4), 0xB);
    EXPECT_EQ(ZRT_getArrayIntGeneric(a.get(), WIDTH_UP_RANGE, 3, 1, 4, 4), 0xB);
    EXPECT_EQ(ZRT_getArrayIntGeneric(a.get(), WIDTH_DOWN_RANGE, 3, 1, 7, 4), 0xB);

    ZRT_setArrayIntGeneric(a.get(), 1, NO_RANGE, 2, 1, 31);
    ZRT_setArrayIntGeneric(a.get(), 0x5, WIDTH_DOWN_RANGE, 3, 1, 7, 4);
    EXPECT_EQ(static_cast<uint32_t>(ZRT_getArrayInt(a.get(), 1)), 0x80000050u);
    EXPECT_EQ(ZRT_getArrayIntGeneric(a.get(), MIN_MAX_RANGE, 3, 1, 31, 28), 0x8);

    // An element out of range reads 0 and is not written.
    EXPECT_EQ(ZRT_getArrayIntGeneric(a.get(), NO_RANGE, 2, 2, 0), 0);
    ZRT_setArrayIntGeneric(a.get(), 7, MIN_MAX_RANGE, 3, 2, 0, 3);
    EXPECT_EQ(intsOf(a.get()), (std::vector<int32_t>{0, static_cast<int32_t>(0x80000050u)}));
    EXPECT_EQ(host.exitCount(), 2);
}

TEST(Arrays, RangeTestBrackets) {
    TestHost host;
    Array a = makeArray(host, ZRT_REAL_ARRAY);
    ZRT_setArrayBounds(a.get(), 0, 1);
    ZRT_initRealArray(a.get(), 2, 0.5, 1.0);
    EXPECT_EQ(ZRT_checkArrayRange(a.get(), '(', 0.0, 1.0, ']'), 1);
    EXPECT_EQ(ZRT_checkArrayRange(a.get(), '(', 0.0, 1.0, ')'), 0);
    EXPECT_EQ(ZRT_checkArrayRange(a.get(), '(', 0.5, 1.0, ']'), 0);
    ZRT_initRealArray(a.get(), 1, 0.0);
    EXPECT_EQ(ZRT_checkArrayRange(a.get(), '(', 0.0, 1.0, ']'), 0);
    ZRT_initRealArray(a.get(), 1, std::nan(""));
    EXPECT_EQ(ZRT_checkArrayRange(a.get(), '(', 0.0, 1.0, ')'), 1);
}

// One element as the host's mixed-signal table answers it, as a double or an
// integer: 1000 * sub-index + 100 * digital id + index, for a plain element.
template <typename Value>
Value digitalElement(s_ZRT_DeviceInst*, const s_ZRT_ContribLoader*, int32_t sub, int32_t dig, int32_t rangeType,
                     int32_t n, ...) {
    va_list args;
    va_start(args, n);
    const int32_t index = va_arg(args, int32_t);
    va_end(args);
    return static_cast<Value>(rangeType == NO_RANGE && n == 1 ? 1000 * sub + 100 * dig + index : -1);
}

TEST(Arrays, DigitalArraysTakeTheHostsElements) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    host.ams.D2A_RealElement = digitalElement<double>;
    host.ams.D2A_IntegerElement = digitalElement<int32_t>;

    Array d(digitalArray(2, 3, inst.get(), "D", 2, 0), &ZRT_freeArray);
    ASSERT_NE(d, nullptr);
    clearModified(d.get());
    doSyncDigitalArray(d.get(), inst.get(), &host.loader);
    // Linear element i holds model index i: [2:0] runs from 0 upwards in memory.
    EXPECT_EQ(realsOf(d.get()), (std::vector<double>{3200, 3201, 3202}));
    EXPECT_TRUE(modified(d.get()));
    clearModified(d.get());
    doSyncDigitalArray(d.get(), inst.get(), &host.loader);
    EXPECT_FALSE(modified(d.get()));

    Array i = makeArray(host, ZRT_INT_ARRAY);
    ZRT_setArrayBounds(i.get(), 5, 6);
    i->_digID = 1;
    doSyncDigitalArray(i.get(), inst.get(), &host.loader);
    EXPECT_EQ(intsOf(i.get()), (std::vector<int32_t>{105, 106}));
    EXPECT_EQ(analogArray(nullptr), nullptr);
    EXPECT_TRUE(host.messages.empty());
}

}  // namespace
