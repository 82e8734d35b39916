// Noise sources: set-up, the power rule and its warning, keyed contributions
// and the report to the host.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "dsl/ZRT_SupportLib.h"
#include "rte/allocator.h"
#include "tests/test_host.h"

namespace {

using testhost::TestHost;
using testhost::TestInstance;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const char* const kNegativePower = "Negative noise power specified.";

// The list of a source as (key, value, frequency response), head first.
struct Node {
    void* key;
    double value;
    ZRT_FreqResponse* fr;
    bool operator==(const Node&) const = default;
};
std::vector<Node> listOf(const ZRT_NoiseSrc& src) {
    std::vector<Node> nodes;
    for (const s_ZRT_NoiseContrib* n = src.contribs; n != nullptr; n = n->next) {
        EXPECT_EQ(n->reserved, nullptr);
        nodes.push_back({n->key, n->value, n->freqResponse});
    }
    return nodes;
}

void setUpWhite(TestInstance& inst) {
    for (ZRT_NoiseSrc& src : inst.noiseSrcs) {
        ZRT_setNoiseSrcInfo(&src, ZRT_WHITE_NOISE_SRC, 0, "__white__", inst.get());
    }
}

int countWarnings(const TestHost& host) {
    int n = 0;
    for (const auto& m : host.messages) {
        n += m.type == ZRT_MSG_WARNING && m.text == kNegativePower;
    }
    return n;
}

TEST(NoiseSrc, SetUpClearsOnlyItsOwnFields) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    ZRT_NoiseSrc& src = inst.noiseSrcs[2];
    int marker = 0;
    s_ZRT_NoiseContrib kept{};
    src.reserved = &marker;
    src.table = reinterpret_cast<s_ZRT_Array*>(&marker);
    src.staticFlicker = 1;
    src.staticFlickerCoeff = 3.0;
    src.contribs = &kept;
    src.power = 1.5;
    src.exponent = 2.0;
    src.contribCount = 9;
    src.firstTableIndex = 4;
    src.lastTableIndex = 8;
    ZRT_setNoiseSrcInfo(&src, ZRT_FLICKER_NOISE_SRC, 17, "flick", inst.get());
    EXPECT_EQ(src.reserved, nullptr);
    EXPECT_STREQ(src.name, "flick");
    EXPECT_EQ(src.inst, inst.get());
    EXPECT_EQ(src.noiseSrcType, ZRT_FLICKER_NOISE_SRC);
    EXPECT_EQ(src.table, nullptr);
    EXPECT_EQ(src.staticFlicker, 0u);
    EXPECT_EQ(src.staticFlickerCoeff, 0.0);
    EXPECT_EQ(src.contribs, nullptr);
    EXPECT_EQ(src.info, 17u);
    EXPECT_EQ(src.power, 1.5);
    EXPECT_EQ(src.exponent, 2.0);
    EXPECT_EQ(src.contribCount, 9u);
    EXPECT_EQ(src.firstTableIndex, 4);
    EXPECT_EQ(src.lastTableIndex, 8);
}

TEST(NoiseSrc, ContributionsAreKeyedByHandleAndFrequencyResponse) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    setUpWhite(inst);
    ZRT_NoiseSrc& src = inst.noiseSrcs[0];
    void* a = host.newHandle();
    void* b = host.newHandle();
    ZRT_addNoise(&src, a, 1.0, &host.loader);
    ZRT_addNoise(&src, b, 2.0, &host.loader);
    ZRT_addNoise(&src, a, 0.5, &host.loader);
    EXPECT_EQ(listOf(src), (std::vector<Node>{{b, 2.0, nullptr}, {a, 1.5, nullptr}}));
    EXPECT_EQ(src.contribCount, 3u);

    // A null key is counted and adds nothing.
    ZRT_addNoise(&src, nullptr, 4.0, nullptr);
    EXPECT_EQ(src.contribCount, 4u);
    EXPECT_EQ(listOf(src).size(), 2u);

    // The same key with a frequency response is a node of its own.
    ZRT_FreqResponse fr{};
    ZRT_addColoredNoise(&src, a, 0.25, &fr);
    ZRT_addColoredNoise(&src, a, 0.25, &fr);
    EXPECT_EQ(listOf(src), (std::vector<Node>{{a, 0.5, &fr}, {b, 2.0, nullptr}, {a, 1.5, nullptr}}));
    EXPECT_EQ(src.contribCount, 6u);

    // A clear keeps nodes, keys and order, and zeroes values and counters.
    src.power = 3.0;
    ZRT_clearNoiseSrc(&src);
    EXPECT_EQ(src.power, 0.0);
    EXPECT_EQ(src.exponent, 0.0);
    EXPECT_EQ(src.contribCount, 0u);
    ZRT_addNoise(&src, a, 0.25, &host.loader);
    EXPECT_EQ(listOf(src), (std::vector<Node>{{a, 0.0, &fr}, {b, 0.0, nullptr}, {a, 0.25, nullptr}}));
    EXPECT_EQ(src.contribCount, 1u);

    // The other sources are untouched.
    EXPECT_EQ(inst.noiseSrcs[1].contribs, nullptr);
}

TEST(NoiseSrc, InsertionKeepsTheListWhenMemoryIsExhausted) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    setUpWhite(inst);
    ZRT_NoiseSrc& src = inst.noiseSrcs[3];
    void* a = host.newHandle();
    void* b = host.newHandle();
    ZRT_addNoise(&src, a, 1.0, nullptr);
    ZRT_Allocator saved = zrtAllocator();
    zrtAllocator().malloc = [](size_t) -> void* { return nullptr; };
    ZRT_addNoise(&src, a, 1.0, nullptr);  // found: needs no memory
    ZRT_addNoise(&src, b, 2.0, nullptr);
    s_ZRT_NoiseContrib* head = nullptr;
    ZRT_insertNoiseVal(&head, a, 1.0, nullptr, nullptr);
    zrtAllocator() = saved;
    EXPECT_EQ(listOf(src), (std::vector<Node>{{a, 2.0, nullptr}}));
    EXPECT_EQ(src.contribCount, 3u);
    EXPECT_EQ(head, nullptr);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Out of memory.");
    EXPECT_EQ(host.messages[0].inst, nullptr);
    EXPECT_EQ(host.exitCount(), 1);
}

TEST(NoisePower, NegativeAndNaNPowersBecomeZeroWithOneWarningPerInstance) {
    TestHost host;
    TestInstance first(host, nullptr, {}, "x1");
    TestInstance second(host, nullptr, {}, "x2");
    setUpWhite(first);
    setUpWhite(second);

    ZRT_setWhiteNoisePwr(&first.noiseSrcs[0], 2.5e-20);
    EXPECT_EQ(first.noiseSrcs[0].power, 2.5e-20);
    ZRT_setWhiteNoisePwr(&first.noiseSrcs[0], -0.0);
    EXPECT_TRUE(std::signbit(first.noiseSrcs[0].power));
    EXPECT_TRUE(host.messages.empty());

    ZRT_setWhiteNoisePwr(&first.noiseSrcs[1], -1.0);
    EXPECT_EQ(first.noiseSrcs[1].power, 0.0);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].type, ZRT_MSG_WARNING);
    EXPECT_EQ(host.messages[0].text, kNegativePower);
    EXPECT_EQ(host.messages[0].inst, first.get());
    EXPECT_EQ(host.messages[0].sim, &host.sim);

    // The other sources of the instance share its one warning.
    first.noiseSrcs[2].power = 7.0;
    ZRT_setWhiteNoisePwr(&first.noiseSrcs[2], kNaN);
    EXPECT_EQ(first.noiseSrcs[2].power, 0.0);
    ZRT_setWhiteNoisePwr(&first.noiseSrcs[3], -1e-30);
    EXPECT_EQ(first.noiseSrcs[3].power, 0.0);
    EXPECT_EQ(countWarnings(host), 1);

    // Another instance warns once for itself.
    ZRT_setWhiteNoisePwr(&second.noiseSrcs[0], -2.0);
    ZRT_setWhiteNoisePwr(&second.noiseSrcs[1], -2.0);
    EXPECT_EQ(countWarnings(host), 2);
    EXPECT_EQ(host.messages.back().inst, second.get());
}

TEST(NoisePower, FlickerSourcesKeepTheExponentOfARejectedPower) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    ZRT_NoiseSrc& src = inst.noiseSrcs[0];
    ZRT_setNoiseSrcInfo(&src, ZRT_FLICKER_NOISE_SRC, 0, "flicker", inst.get());
    ZRT_setFlickerNoiseExpr(&src, 1e-18, 1.2);
    EXPECT_EQ(src.power, 1e-18);
    EXPECT_EQ(src.exponent, 1.2);
    ZRT_setFlickerNoiseExpr(&src, -1.0, 2.0);
    EXPECT_EQ(src.power, 0.0);
    EXPECT_EQ(src.exponent, 1.2);
    EXPECT_EQ(countWarnings(host), 1);

    ZRT_reportStaticFlickerCoeff(inst.get(), 0, 0.125);
    EXPECT_EQ(src.staticFlicker, 1u);
    EXPECT_EQ(src.staticFlickerCoeff, 0.125);
}

TEST(NoisePowerDeathTest, WrongSourceTypesStopTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TestHost host;
    TestInstance inst(host, nullptr, {});
    setUpWhite(inst);
    EXPECT_DEATH(ZRT_setFlickerNoiseExpr(&inst.noiseSrcs[0], 1.0, 1.0),
                 "pSrc->noiseSrcType == ZRT_FLICKER_NOISE_SRC");
    EXPECT_DEATH(ZRT_reportStaticFlickerCoeff(inst.get(), 1, 1.0),
                 "pSrc && \\(pSrc->noiseSrcType == ZRT_FLICKER_NOISE_SRC\\)");
    ZRT_setNoiseSrcInfo(&inst.noiseSrcs[2], ZRT_TABLE_NOISE_SRC, 0, "table", inst.get());
    EXPECT_DEATH(ZRT_setWhiteNoisePwr(&inst.noiseSrcs[2], 1.0), "pSrc->noiseSrcType == ZRT_WHITE_NOISE_SRC");
    TestInstance bare(host, nullptr, {.noiseSrcs = 0});
    EXPECT_DEATH(ZRT_reportStaticFlickerCoeff(bare.get(), 0, 1.0), "pSrc && ");
}

TEST(NoiseReport, ForwardsToTheHostSlot) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    void* key = host.newHandle();
    int extra = 0;
    EXPECT_EQ(ZRT_reportNoiseContrib(inst.get(), 3, key, &extra), 3);
    ASSERT_EQ(host.noiseReports.size(), 1u);
    EXPECT_EQ(host.noiseReports[0].source, 3);
    EXPECT_EQ(host.noiseReports[0].key, key);
    EXPECT_EQ(host.noiseReports[0].inst, inst.get());
    EXPECT_EQ(host.noiseReports[0].hostData, &extra);

    host.sim.ReportNoiseContrib = nullptr;
    EXPECT_EQ(ZRT_reportNoiseContrib(inst.get(), 2, key, &extra), 0);
    EXPECT_EQ(host.noiseReports.size(), 1u);
}

}  // namespace
