// Real-to-integer rounding, tagged-value conversion, configuration names and
// the name comparators.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "rte/ZRT_CommonInterface.h"
#include "tests/test_host.h"

namespace {

using testhost::TestHost;
using testhost::TestInstance;

TEST(DoubleToInt, RoundsHalfAwayFromZeroAndSaturates) {
    EXPECT_EQ(ZRT_doubleToInt(2.5), 3);
    EXPECT_EQ(ZRT_doubleToInt(-2.5), -3);
    EXPECT_EQ(ZRT_doubleToInt(2.4999), 2);
    // The sum is rounded before truncation, unlike lround.
    EXPECT_EQ(ZRT_doubleToInt(0.49999999999999994), 1);
    EXPECT_EQ(ZRT_doubleToInt(-0.49999999999999994), -1);
    EXPECT_EQ(ZRT_doubleToInt(0.0), 0);
    EXPECT_EQ(ZRT_doubleToInt(-0.5), -1);
    EXPECT_EQ(ZRT_doubleToInt(2147483646.4), 2147483646);
    EXPECT_EQ(ZRT_doubleToInt(2147483646.5), 2147483647);
    EXPECT_EQ(ZRT_doubleToInt(-2147483647.4), -2147483647);
    EXPECT_EQ(ZRT_doubleToInt(-2147483648.4), INT32_MIN);
    EXPECT_EQ(ZRT_doubleToInt(1e300), INT32_MAX);
    EXPECT_EQ(ZRT_doubleToInt(-1e300), INT32_MIN);
    EXPECT_EQ(ZRT_doubleToInt(std::numeric_limits<double>::infinity()), INT32_MAX);
    EXPECT_EQ(ZRT_doubleToInt(std::numeric_limits<double>::quiet_NaN()), INT32_MIN);
    EXPECT_EQ(ZRT_doubleToInt(-std::numeric_limits<double>::quiet_NaN()), INT32_MIN);
}

ZRT_TaggedValue intValue(int32_t i) {
    ZRT_TaggedValue v{};
    v.tag = ZRT_TAG_INT;
    v.value.i = i;
    return v;
}
ZRT_TaggedValue realValue(double r) {
    ZRT_TaggedValue v{};
    v.tag = ZRT_TAG_REAL;
    v.value.r = r;
    return v;
}
ZRT_TaggedValue textValue(const char* s, uint32_t tag = ZRT_TAG_STRING) {
    ZRT_TaggedValue v{};
    v.tag = tag;
    v.value.s = s;
    return v;
}

TEST(TaggedValues, NumbersConvert) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    EXPECT_EQ(convToInt(intValue(-7), inst.get()), -7);
    EXPECT_EQ(convToInt(realValue(2.5), inst.get()), 3);
    EXPECT_EQ(convToReal(intValue(-7), inst.get()), -7.0);
    EXPECT_EQ(convToReal(realValue(2.5), inst.get()), 2.5);
    const char* s = "abc";
    EXPECT_EQ(convToStr(textValue(s)), s);
    EXPECT_TRUE(host.messages.empty());
}

TEST(TaggedValues, TextIsAFatalErrorAnsweringZero) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    EXPECT_EQ(convToReal(textValue("1.5"), inst.get()), 0.0);
    EXPECT_EQ(convToInt(textValue("3", 7), inst.get()), 0);  // any tag but 0 and 1 is a text
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0].text, "Unable to convert to real.");
    EXPECT_EQ(host.messages[0].type, ZRT_MSG_ERROR);
    EXPECT_EQ(host.messages[0].inst, inst.get());
    EXPECT_EQ(host.messages[1].text, "Unable to convert to integer.");
    ASSERT_EQ(host.exitCount(), 2);
    EXPECT_EQ(host.tasks[0].inst, inst.get());

    // Called without an instance: nothing to report through, the answer is 0.
    host.clearRecords();
    EXPECT_EQ(convToReal(textValue("1.5"), nullptr), 0.0);
    EXPECT_EQ(convToInt(textValue("1"), nullptr), 0);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(host.tasks.empty());
}

TEST(ConfigName, JoinsLibraryAndModuleNames) {
    TestHost host;
    s_ZRT_ModuleDesc md{};
    md.libName = "lib";
    md.moduleName = "mod";
    TestInstance inst(host, &md, {});
    char* name = ZRT_GetConfigName(inst.get());
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, "lib.mod");
    ZRT_free(name);

    md.libName = nullptr;
    name = ZRT_GetConfigName(inst.get());
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, "mod");
    ZRT_free(name);

    EXPECT_EQ(ZRT_GetConfigName(nullptr), nullptr);
}

struct Named {
    const char* name;
    int payload;
};

int cmp(int (*f)(const void*, const void*), const char* a, const char* b) {
    Named x{a, 0}, y{b, 0};
    return f(&x, &y);
}

TEST(Comparators, ByteWiseAndCaseInsensitive) {
    EXPECT_EQ(cmp(ZRT_paramCompare, "abc", "abd"), -1);
    EXPECT_EQ(cmp(ZRT_paramCompare, "abd", "abc"), 1);
    EXPECT_EQ(cmp(ZRT_paramCompare, "abc", "abc"), 0);
    EXPECT_EQ(cmp(ZRT_paramCompare, "ABC", "abc"), -1);
    EXPECT_EQ(cmp(ZRT_paramCompareIgnoreCase, "ABC", "abc"), 0);
    EXPECT_EQ(cmp(ZRT_paramCompareIgnoreCase, "abc", "ABCD"), -1);
    // Folding to lower case puts '_' before every letter.
    EXPECT_EQ(cmp(ZRT_paramCompareIgnoreCase, "_x", "Ax"), -1);
    EXPECT_EQ(cmp(ZRT_paramCompareIgnoreCase, "Zeta", "alpha"), 1);

    Named table[] = {{"Vth", 0}, {"_gmin", 1}, {"beta", 2}, {"ALPHA", 3}};
    std::qsort(table, 4, sizeof(Named), ZRT_paramCompareIgnoreCase);
    EXPECT_STREQ(table[0].name, "_gmin");
    EXPECT_STREQ(table[1].name, "ALPHA");
    EXPECT_STREQ(table[2].name, "beta");
    EXPECT_STREQ(table[3].name, "Vth");
    Named key{"vTH", 0};
    auto* found = static_cast<Named*>(std::bsearch(&key, table, 4, sizeof(Named), ZRT_paramCompareIgnoreCase));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->payload, 0);
}

TEST(Assertions, AFailedAssertionReportsConditionFileAndLineAndStops) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // GoogleTest's simple expressions on Windows have no brackets: name the line.
    const std::string line = std::to_string(__LINE__ + 1);
    EXPECT_DEATH(ZRT_ASSERT(1 + 1 == 3), "Assertion failed: 1 \\+ 1 == 3, file .*conversions_test.cpp, line " + line);
    EXPECT_DEATH(ZRT_ASSERT_AT(false, "pMD", "module_alder_a_1.c", 4790),
                 "Assertion failed: pMD, file module_alder_a_1.c, line 4790");
}

}  // namespace
