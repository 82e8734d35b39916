// Numeric concatenation and replication, and the string functions of compiled
// models, with their errors and their answers after a failed allocation.
#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "dsl/ZRT_SupportLib.h"
#include "rte/allocator.h"
#include "tests/test_host.h"

namespace {

using testhost::TestHost;
using testhost::TestInstance;

const char* const kNegativeCount = "Attempt to use a negative-valued replication constant.";

std::vector<double> reals(const ZRT_ConcatElement& e) {
    const auto* d = static_cast<const double*>(e.data);
    return std::vector<double>(d, d + e.arrayLen);
}

std::vector<int32_t> ints(const ZRT_ConcatElement& e) {
    const auto* d = static_cast<const int32_t*>(e.data);
    return std::vector<int32_t>(d, d + e.arrayLen);
}

// Stands in an exhausted heap for every allocation of the runtime.
class ExhaustedHeap {
public:
    ExhaustedHeap() : saved_(zrtAllocator()) {
        zrtAllocator().malloc = [](size_t) -> void* { return nullptr; };
        zrtAllocator().calloc = [](size_t, size_t) -> void* { return nullptr; };
        zrtAllocator().realloc = [](void*, size_t) -> void* { return nullptr; };
    }
    ~ExhaustedHeap() { zrtAllocator() = saved_; }

private:
    ZRT_Allocator saved_;
};

void expectFatal(const TestHost& host, const char* text) {
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].type, ZRT_MSG_ERROR);
    EXPECT_EQ(host.messages[0].text, text);
    EXPECT_EQ(host.exitCount(), 1);
}

TEST(Replicate, WritesTheWholeConcatenationCountTimes) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    ZRT_ConcatElement a = ZRT_Real(inst.get(), 1.0);
    // A null element counts as an empty one.
    const ZRT_ConcatElement* nullElement = nullptr;
    ZRT_ConcatElement nulls = ZRT_RealReplicate(inst.get(), 3, 2, nullElement, nullElement);
    EXPECT_EQ(nulls.arrayLen, 0);
    EXPECT_EQ(nulls.data, nullptr);
    ZRT_ConcatElement b = ZRT_Real(inst.get(), 2.0);
    ZRT_ConcatElement c = ZRT_Real(inst.get(), 3.0);
    ZRT_ConcatElement bc = ZRT_RealReplicate(inst.get(), 1, 2, &b, &c);
    ZRT_ConcatElement r = ZRT_RealReplicate(inst.get(), 2, 2, &a, &bc);
    EXPECT_EQ(r.dataType, ZRT_REAL_DATA);
    EXPECT_EQ(reals(r), (std::vector<double>{1, 2, 3, 1, 2, 3}));
    // The inputs are the caller's and still hold their values.
    EXPECT_EQ(reals(bc), (std::vector<double>{2, 3}));

    ZRT_ConcatElement i7 = ZRT_Int(inst.get(), 7);
    ZRT_ConcatElement i8 = ZRT_Int(inst.get(), -8);
    ZRT_ConcatElement ri = ZRT_IntReplicate(inst.get(), 3, 2, &i7, &i8);
    EXPECT_EQ(ri.dataType, ZRT_INT_DATA);
    EXPECT_EQ(ints(ri), (std::vector<int32_t>{7, -8, 7, -8, 7, -8}));
    EXPECT_TRUE(host.messages.empty());

    for (ZRT_ConcatElement* e : {&a, &b, &c, &bc, &r, &i7, &i8, &ri}) {
        ZRT_free(e->data);
    }
}

TEST(Replicate, ACountOfZeroOrNoElementsGivesAnEmptyElement) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    ZRT_ConcatElement a = ZRT_Int(inst.get(), 4);
    ZRT_ConcatElement zero = ZRT_IntReplicate(inst.get(), 0, 1, &a);
    EXPECT_EQ(zero.dataType, ZRT_INT_DATA);
    EXPECT_EQ(zero.arrayLen, 0);
    EXPECT_EQ(zero.data, nullptr);
    ZRT_ConcatElement none = ZRT_RealReplicate(inst.get(), 5, 0);
    EXPECT_EQ(none.dataType, ZRT_REAL_DATA);
    EXPECT_EQ(none.arrayLen, 0);
    EXPECT_EQ(none.data, nullptr);
    EXPECT_TRUE(host.messages.empty());
    ZRT_free(a.data);
}

TEST(Replicate, ANegativeCountOrLengthIsFatalAndAnswersAnEmptyElement) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    ZRT_ConcatElement a = ZRT_Real(inst.get(), 1.0);
    ZRT_ConcatElement r = ZRT_RealReplicate(inst.get(), -1, 1, &a);
    EXPECT_EQ(r.arrayLen, 0);
    EXPECT_EQ(r.data, nullptr);
    expectFatal(host, kNegativeCount);
    EXPECT_EQ(host.messages[0].inst, inst.get());
    EXPECT_EQ(host.tasks[0].inst, inst.get());

    host.clearRecords();
    ZRT_ConcatElement bad{ZRT_INT_DATA, -3, nullptr};
    ZRT_ConcatElement ri = ZRT_IntReplicate(inst.get(), 2, 1, &bad);
    EXPECT_EQ(ri.arrayLen, 0);
    EXPECT_EQ(ri.data, nullptr);
    expectFatal(host, kNegativeCount);
    ZRT_free(a.data);
}

TEST(Replicate, AResultBeyondTheIntegerRangeTakesTheOutOfMemoryPath) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    // The data are never read: the size alone is refused.
    ZRT_ConcatElement huge{ZRT_REAL_DATA, INT32_MAX, nullptr};
    ZRT_ConcatElement r = ZRT_RealReplicate(inst.get(), 2, 1, &huge);
    EXPECT_EQ(r.arrayLen, 0);
    EXPECT_EQ(r.data, nullptr);
    expectFatal(host, "Out of memory.");

    // Lengths whose sum times the count leaves 64 bits.
    host.clearRecords();
    ZRT_ConcatElement ri{ZRT_INT_DATA, INT32_MAX, nullptr};
    ZRT_ConcatElement r2 = ZRT_IntReplicate(inst.get(), INT32_MAX, 3, &ri, &ri, &ri);
    EXPECT_EQ(r2.arrayLen, 0);
    expectFatal(host, "Out of memory.");
}

TEST(Replicate, AnExhaustedHeapAnswersEmptyElements) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    ZRT_ConcatElement a = ZRT_Real(inst.get(), 1.0);
    ExhaustedHeap exhausted;
    ZRT_ConcatElement one = ZRT_Int(inst.get(), 3);
    EXPECT_EQ(one.arrayLen, 0);
    EXPECT_EQ(one.data, nullptr);
    ZRT_ConcatElement r = ZRT_RealReplicate(inst.get(), 4, 1, &a);
    EXPECT_EQ(r.arrayLen, 0);
    EXPECT_EQ(r.data, nullptr);
    EXPECT_EQ(host.exitCount(), 2);
    ZRT_free(a.data);
}

TEST(ReplicateDeathTest, AnElementOfTheOtherTypeIsAnAssertion) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TestHost host;
    TestInstance inst(host, nullptr, {});
    int32_t value = 1;
    ZRT_ConcatElement i{ZRT_INT_DATA, 1, &value};
    double real = 1.0;
    ZRT_ConcatElement d{ZRT_REAL_DATA, 1, &real};
    EXPECT_DEATH(ZRT_RealReplicate(inst.get(), 1, 1, &i), "e.dataType == ZRT_REAL_DATA");
    EXPECT_DEATH(ZRT_IntReplicate(inst.get(), 1, 1, &d), "e.dataType == ZRT_INT_DATA");
}

TEST(Bitwise, WarnsOncePerInstanceAndAnswersZero) {
    TestHost host;
    TestInstance a(host, nullptr, {}, "a");
    TestInstance b(host, nullptr, {}, "b");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ZRT_BitwiseConcatenate(a.get()), 0);
        EXPECT_EQ(ZRT_BitwiseReplicate(a.get()), 0);
    }
    EXPECT_EQ(ZRT_BitwiseConcatenate(b.get()), 0);
    ASSERT_EQ(host.messages.size(), 3u);
    EXPECT_EQ(host.messages[0].type, ZRT_MSG_WARNING);
    EXPECT_EQ(host.messages[0].text, "Bitwise concatenation within the analog domain is not currently supported.");
    EXPECT_EQ(host.messages[1].text, "Bitwise replication within the analog domain is not currently supported.");
    EXPECT_EQ(host.messages[2].inst, b.get());
    EXPECT_EQ(host.exitCount(), 0);
}

TEST(StringReplicate, OrdinaryEmptyAndNullTexts) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    for (auto [count, text, expected] : {std::tuple{3, "ab", "ababab"}, std::tuple{1, "xyz", "xyz"},
                                         std::tuple{4, "", ""}, std::tuple{0, "ab", ""}}) {
        char* r = ZRT_StringReplicate(inst.get(), count, text);
        ASSERT_NE(r, nullptr);
        EXPECT_STREQ(r, expected);
        ZRT_free(r);
    }
    EXPECT_EQ(ZRT_StringReplicate(inst.get(), 2, nullptr), nullptr);
    EXPECT_TRUE(host.messages.empty());
}

TEST(StringReplicate, ANegativeCountIsFatalAndAnswersTheEmptyText) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    char* r = ZRT_StringReplicate(inst.get(), -2, "ab");
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r, "");
    expectFatal(host, kNegativeCount);
    ZRT_free(r);
}

TEST(StringConcatenate, JoinsTextsWithNullAsEmpty) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    char* ab = ZRT_StringConcatenate(inst.get(), 3, "a", static_cast<const char*>(nullptr), "b");
    EXPECT_STREQ(ab, "ab");
    char* one = ZRT_StringConcatenate(inst.get(), 1, "only");
    EXPECT_STREQ(one, "only");
    char* none = ZRT_StringConcatenate(inst.get(), 0);
    ASSERT_NE(none, nullptr);
    EXPECT_STREQ(none, "");
    EXPECT_EQ(ZRT_StringConcatenate(inst.get(), -1), nullptr);
    for (char* s : {ab, one, none}) {
        ZRT_free(s);
    }
}

TEST(StringFunctions, AnExhaustedHeapAnswersNull) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    char* variable = ZRT_strdup("old", &host.sim, inst.get());
    {
        ExhaustedHeap exhausted;
        EXPECT_EQ(ZRT_StringConcatenate(inst.get(), 2, "a", "b"), nullptr);
        EXPECT_EQ(ZRT_StringReplicate(inst.get(), 2, "ab"), nullptr);
        EXPECT_EQ(ZRT_rfc_substr(inst.get(), "hello", 1, 2), nullptr);
        ZRT_StringAssign(&variable, "new", inst.get());
    }
    EXPECT_EQ(variable, nullptr);
    EXPECT_EQ(host.exitCount(), 4);
}

TEST(StringAssign, CopiesFreesTheOldTextAndAllowsSelfAssignment) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    char* variable = nullptr;
    std::string source = "first";
    ZRT_StringAssign(&variable, source.c_str(), inst.get());
    EXPECT_STREQ(variable, "first");
    EXPECT_NE(variable, source.c_str());
    // s = s: the text is copied before the old one is released.
    ZRT_StringAssign(&variable, variable, inst.get());
    EXPECT_STREQ(variable, "first");
    ZRT_StringAssign(&variable, "second", inst.get());
    EXPECT_STREQ(variable, "second");
    ZRT_StringAssign(&variable, nullptr, inst.get());
    EXPECT_EQ(variable, nullptr);
    ZRT_StringAssign(nullptr, "ignored", inst.get());
}

TEST(Substring, InRangeAndOutOfRange) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    struct Case {
        const char* text;
        int32_t first;
        int32_t last;
        const char* expected;
    };
    const Case cases[] = {
        {"hello", 1, 3, "ell"},       {"hello", 0, 4, "hello"},   {"hello", 2, 2, "l"},
        {"hello", 3, 5, "\"\""},    {"hello", -1, 2, "\"\""},   {"hello", 3, 2, "\"\""},
        {nullptr, 0, 0, "\"\""},    {"", 0, 0, "\"\""},         {"hello", 0, INT32_MAX, "\"\""},
    };
    for (const Case& c : cases) {
        char* r = ZRT_rfc_substr(inst.get(), c.text, c.first, c.last);
        ASSERT_NE(r, nullptr);
        EXPECT_STREQ(r, c.expected) << c.first << ".." << c.last;
        ZRT_free(r);
    }
}

TEST(StringConversions, LengthNumbersAndCharFromInt) {
    EXPECT_EQ(ZRT_rfc_len(nullptr, "hello"), 5);
    EXPECT_EQ(ZRT_rfc_len(nullptr, ""), 0);
    EXPECT_EQ(ZRT_rfc_len(nullptr, nullptr), 0);

    EXPECT_EQ(ZRT_rfc_atoreal(nullptr, "2.5e3volts"), 2500.0);
    EXPECT_EQ(ZRT_rfc_atoreal(nullptr, "  -0.125"), -0.125);
    EXPECT_EQ(ZRT_rfc_atoreal(nullptr, "abc"), 0.0);
    EXPECT_EQ(ZRT_rfc_atoreal(nullptr, nullptr), 0.0);

    EXPECT_EQ(ZRT_rfc_atoi(nullptr, "42abc"), 42);
    EXPECT_EQ(ZRT_rfc_atoi(nullptr, "  -7"), -7);
    EXPECT_EQ(ZRT_rfc_atoi(nullptr, "99999999999"), INT32_MAX);
    EXPECT_EQ(ZRT_rfc_atoi(nullptr, "-99999999999999999999999"), INT32_MIN);
    EXPECT_EQ(ZRT_rfc_atoi(nullptr, "x"), 0);
    EXPECT_EQ(ZRT_rfc_atoi(nullptr, nullptr), 0);

    char buffer[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(ZRT_charFromInt(buffer, 65), buffer);
    EXPECT_EQ(std::memcmp(buffer, "\0\0\0\0", 4), 0);
    EXPECT_EQ(ZRT_charFromInt(nullptr, 65), nullptr);
}

TEST(StringConversions, RealsReadTheSameWhateverLocaleTheHostSet) {
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    // A decimal comma, by its POSIX or its Windows name.
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr && std::setlocale(LC_NUMERIC, "German") == nullptr) {
        GTEST_SKIP() << "no locale with a decimal comma here";
    }
    const double local = std::strtod("2.5", nullptr);
    const double read = ZRT_rfc_atoreal(nullptr, "2.5");
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(local, 2.0) << "the locale reads a decimal point";
    EXPECT_EQ(read, 2.5);
}

}  // namespace
