// Random numbers: the cores on fixed seeds, the integer results at the ends
// of their range, the descriptor's seed life, the argument checks and the
// distributions' moments.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "dsl/ZRT_SupportLib.h"
#include "tests/test_host.h"

namespace {

using testhost::TestHost;
using testhost::TestInstance;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

struct DescFree {
    void operator()(ZRT_RandomDesc* desc) const { ZRT_free(desc); }
};
using DescPtr = std::unique_ptr<ZRT_RandomDesc, DescFree>;

TEST(RandomCores, FixedSeedsGiveTheirSequences) {
    uint32_t seed = 0;
    EXPECT_EQ(__ZRT_uniform(&seed, 0.0, 1.0), 0.5706359829219607);
    EXPECT_EQ(seed, 0x92153206u);
    seed = 1;
    __ZRT_uniform(&seed, 0.0, 1.0);
    EXPECT_EQ(seed, 69070u);
    seed = 0;
    EXPECT_EQ(__ZRT_uniform(&seed, 5.0, 5.0), 2147483647.0 * 0.5706359829219607);

    seed = 42;
    EXPECT_EQ(__ZRT_rtl_dist_uniform(&seed, 7, 7), 7);
    EXPECT_EQ(seed, 42u);

    seed = 0;
    EXPECT_EQ(__ZRT_random(&seed), 303379236);
    EXPECT_EQ(seed, 0x92153206u);
    seed = 1;
    EXPECT_EQ(__ZRT_random(&seed), -2147415040);
    seed = 0;
    EXPECT_EQ(__ZRT_rtl_dist_uniform(&seed, 0, 9), 5);
    seed = 0;
    EXPECT_EQ(__ZRT_exponential(&seed, 1.0), 0.5610037806383509);
    seed = 0;
    EXPECT_DOUBLE_EQ(__ZRT_normal(&seed, 0.0, 1.0), 0.4460946876995427);
    EXPECT_EQ(seed, 0x40895ccfu);
    // Two degrees: one exponential draw, doubled.
    seed = 0;
    EXPECT_EQ(__ZRT_chi_square(&seed, 2), 1.1220075612767018);
    EXPECT_EQ(seed, 0x92153206u);
}

TEST(RandomCores, IntegerResultsStayInRangeAtTheEnds) {
    // 0xB43AB1F6 steps to 0xFFFFFFFF, where c is 1: the draw reaches
    // 2147483648.0 and is clamped.
    uint32_t seed = 0xB43AB1F6u;
    EXPECT_EQ(__ZRT_rtl_dist_uniform(&seed, 5, INT32_MAX), INT32_MAX);
    // 0x5A1D58FB steps to 0, where c is 0: lowered below -2147483648.
    seed = 0x5A1D58FBu;
    EXPECT_EQ(__ZRT_rtl_dist_uniform(&seed, INT32_MIN, 100), INT32_MIN);
    seed = 0x5A1D58FBu;
    EXPECT_EQ(__ZRT_random(&seed), INT32_MAX);

    EXPECT_EQ(truncateToIntSaturated(-2.7), -2);
    EXPECT_EQ(truncateToIntSaturated(2147483647.9), INT32_MAX);
    EXPECT_EQ(truncateToIntSaturated(1e300), INT32_MAX);
    EXPECT_EQ(truncateToIntSaturated(-1e300), INT32_MIN);
    EXPECT_EQ(truncateToIntSaturated(kNaN), INT32_MIN);

    TestHost host;
    TestInstance inst(host, nullptr, {});
    DescPtr desc(ZRT_createRandomDesc(0, inst.get()));
    ASSERT_NE(desc, nullptr);
    // Seed 1 draws u near 1.6e-5: about 11 means, beyond the range.
    seed = 1;
    EXPECT_EQ(ZRT_dist_exponential(desc.get(), &seed, INT32_MAX), INT32_MAX);
    seed = 7;
    EXPECT_EQ(ZRT_dist_normal(desc.get(), &seed, -12, 0), -12);
    // Degrees 0 divide 0 by 0: the NaN becomes -2147483648.
    EXPECT_EQ(ZRT_dist_t(desc.get(), &seed, 0), INT32_MIN);
    // NaN degrees truncate to -2147483648: refused, then nothing drawn.
    const uint32_t before = seed;
    EXPECT_EQ(ZRT_rdist_chi_square(desc.get(), &seed, kNaN), 0.0);
    EXPECT_EQ(seed, before);
    EXPECT_EQ(host.exitCount(), 2);
}

TEST(RandomDesc, SeedLifeAcrossTimePoints) {
    TestHost host;
    host.randomSeed = 1234;
    TestInstance inst(host, nullptr, {});
    DescPtr desc(ZRT_createRandomDesc(3, inst.get()));
    ASSERT_NE(desc, nullptr);
    EXPECT_EQ(desc->inst, inst.get());
    EXPECT_EQ(desc->acceptedSeed, 1234u);
    EXPECT_EQ(desc->workingSeed, 0u);
    EXPECT_EQ(desc->flags, static_cast<uint32_t>(ZRT_RANDOM_CREATED));

    // A rejected step repeats its numbers.
    ZRT_randomInitPoint(desc.get());
    const int32_t a = ZRT_random(desc.get(), nullptr);
    const int32_t b = ZRT_random(desc.get(), nullptr);
    ZRT_randomInitPoint(desc.get());
    EXPECT_EQ(ZRT_random(desc.get(), nullptr), a);
    EXPECT_EQ(ZRT_random(desc.get(), nullptr), b);

    // Before acceptance the seed value restarts the sequence.
    const double first = ZRT_rdist2_normal(desc.get(), 99, 1.0, 2.0);
    EXPECT_EQ(ZRT_rdist2_normal(desc.get(), 99, 1.0, 2.0), first);
    uint32_t shadow = 99;
    EXPECT_EQ(ZRT_dist2_uniform(desc.get(), 99, -50, 50), ZRT_dist_uniform(nullptr, &shadow, -50, 50));

    // After acceptance it is ignored and the sequence moves on.
    ZRT_randomAcceptPoint(desc.get());
    EXPECT_EQ(desc->acceptedSeed, desc->workingSeed);
    shadow = desc->workingSeed;
    EXPECT_EQ(ZRT_random2(desc.get(), 99), __ZRT_random(&shadow));
    EXPECT_EQ(ZRT_random2(desc.get(), 99), __ZRT_random(&shadow));
    ZRT_randomResetSeed(desc.get());
    shadow = 99;
    EXPECT_EQ(ZRT_random2(desc.get(), 99), __ZRT_random(&shadow));

    // A given seed variable advances in place and leaves the descriptor be.
    const uint32_t working = desc->workingSeed;
    uint32_t seed = 0;
    EXPECT_EQ(ZRT_rdist_uniform(desc.get(), &seed, 2.0, 4.0), 3.141271965643983);
    EXPECT_EQ(ZRT_rdist_uniform(desc.get(), &seed, 2.0, 1.0), 0.0);
    uint32_t twice = 0;
    __ZRT_random(&twice);
    __ZRT_random(&twice);
    EXPECT_EQ(seed, twice);
    EXPECT_EQ(desc->workingSeed, working);
}

TEST(RandomDesc, WithoutSeedOrMemoryNothingIsDrawn) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    {
        testhost::LimitedHeap heap(0);
        EXPECT_EQ(ZRT_createRandomDesc(0, inst.get()), nullptr);
    }
    EXPECT_EQ(host.exitCount(), 1);
    host.clearRecords();
    EXPECT_EQ(ZRT_random(nullptr, nullptr), 0);
    EXPECT_EQ(ZRT_random2(nullptr, 5), 0);
    EXPECT_EQ(ZRT_rdist_uniform(nullptr, nullptr, 1.0, 3.0), 0.0);
    ZRT_randomAcceptPoint(nullptr);
    // Without a descriptor a seed variable still works, and nothing is sent.
    uint32_t seed = 0;
    EXPECT_EQ(ZRT_random(nullptr, &seed), 303379236);
    EXPECT_EQ(ZRT_rdist_poisson(nullptr, &seed, -1.0), 0.0);
    EXPECT_TRUE(host.messages.empty());
}

TEST(RandomChecks, ErrorsAreSentThenTheCoreDraws) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    DescPtr desc(ZRT_createRandomDesc(0, inst.get()));
    ASSERT_NE(desc, nullptr);
    uint32_t seed = 5;
    ZRT_rdist_poisson(desc.get(), &seed, 0.0);
    ZRT_dist_chi_square(desc.get(), &seed, 0);
    ZRT_rdist_t(desc.get(), &seed, 0.99);
    ZRT_rdist_erlang(desc.get(), &seed, 0.3, 1.0);
    const std::vector<std::pair<int32_t, std::string>> expected = {
        {ZRT_MSG_ERROR, "poisson distribution must have a positive mean."},
        {ZRT_MSG_ERROR, "chi_square distribution must have a positive degree_of_freedom."},
        {ZRT_MSG_ERROR, "t distribution must have a positive degree of freedom"},
        {ZRT_MSG_WARNING, "In $rdist_erlang, 'k_stage' is rounded to an integer."},
        {ZRT_MSG_ERROR, "k-stage erlangian distribution must have a positive k"},
    };
    std::vector<std::pair<int32_t, std::string>> sent;
    for (const auto& m : host.messages) {
        EXPECT_EQ(m.inst, inst.get());
        sent.emplace_back(m.type, m.text);
    }
    EXPECT_EQ(sent, expected);
    ASSERT_EQ(host.tasks.size(), 4u);
    for (const auto& t : host.tasks) {
        EXPECT_EQ(std::tie(t.task, t.value, t.inst, t.zero, t.sim),
                  std::make_tuple(std::string("exit"), 1, inst.get(), 0, &host.sim));
    }
    // Accepted arguments send nothing.
    host.clearRecords();
    ZRT_rdist_poisson(desc.get(), &seed, 0.5);
    ZRT_rdist_chi_square(desc.get(), &seed, 1.0);
    ZRT_rdist_t(desc.get(), &seed, 1.0);
    ZRT_rdist_erlang(desc.get(), &seed, 3.0000001, 1.0);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(host.tasks.empty());
}

TEST(RandomChecks, ErlangRoundsItsStagesAndWarnsOncePerInstance) {
    TestHost host;
    TestInstance first(host, nullptr, {}, "x1");
    TestInstance second(host, nullptr, {}, "x2");
    DescPtr a(ZRT_createRandomDesc(0, first.get()));
    DescPtr b(ZRT_createRandomDesc(0, second.get()));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    uint32_t seed = 11;
    uint32_t shadow = 11;
    EXPECT_EQ(ZRT_rdist_erlang(a.get(), &seed, 2.4, 3.0), __ZRT_erlangian(&shadow, 2, 3.0));
    EXPECT_EQ(ZRT_rdist_erlang(a.get(), &seed, 2.4, 3.0), __ZRT_erlangian(&shadow, 2, 3.0));
    EXPECT_EQ(ZRT_dist_erlang(b.get(), &seed, 2, 3), ZRT_doubleToInt(__ZRT_erlangian(&shadow, 2, 3.0)));
    ZRT_rdist_erlang(b.get(), &seed, 1.6, 3.0);
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0].inst, first.get());
    EXPECT_EQ(host.messages[1].inst, second.get());
    EXPECT_EQ(host.messages[1].type, ZRT_MSG_WARNING);
    EXPECT_EQ(host.exitCount(), 0);
}

TEST(RandomStatistics, MomentsOfTheDistributions) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    DescPtr desc(ZRT_createRandomDesc(0, inst.get()));
    ASSERT_NE(desc, nullptr);
    ZRT_RandomDesc* d = desc.get();
    uint32_t seed = 2024;
    struct Case {
        const char* name;
        std::function<double()> draw;
        double mean, variance, meanTolerance, varianceTolerance;
    };
    const Case cases[] = {
        {"uniform", [&] { return ZRT_rdist_uniform(d, &seed, -1.0, 3.0); }, 1.0, 16.0 / 12.0, 0.02, 0.02},
        {"normal", [&] { return ZRT_rdist_normal(d, &seed, 2.0, 3.0); }, 2.0, 9.0, 0.03, 0.15},
        {"exponential", [&] { return ZRT_rdist_exponential(d, &seed, 4.0); }, 4.0, 16.0, 0.05, 0.5},
        {"poisson", [&] { return ZRT_rdist_poisson(d, &seed, 3.5); }, 3.5, 3.5, 0.03, 0.1},
        {"chi-square", [&] { return ZRT_rdist_chi_square(d, &seed, 5.0); }, 5.0, 10.0, 0.05, 0.3},
        {"t", [&] { return ZRT_rdist_t(d, &seed, 6.0); }, 0.0, 1.5, 0.02, 0.1},
        {"erlang", [&] { return ZRT_rdist_erlang(d, &seed, 3.0, 6.0); }, 6.0, 12.0, 0.05, 0.3},
    };
    const int n = 100000;
    for (const Case& c : cases) {
        double sum = 0.0;
        double sumSquares = 0.0;
        for (int i = 0; i < n; ++i) {
            const double x = c.draw();
            sum += x;
            sumSquares += x * x;
        }
        const double mean = sum / n;
        EXPECT_NEAR(mean, c.mean, c.meanTolerance) << c.name;
        EXPECT_NEAR(sumSquares / n - mean * mean, c.variance, c.varianceTolerance) << c.name;
    }
    EXPECT_TRUE(host.messages.empty());
}

}  // namespace
