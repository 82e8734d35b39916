// Simulator parameters, number texts, bits and vectors, mixed-signal access,
// last crossing, AC stimuli, parameter errors and the system time.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <ctime>
#include <stdexcept>
#include <string>

#include <boost/date_time/posix_time/posix_time.hpp>

#include "dsl/ZRT_SupportLib.h"
#include "rte/platform.h"
#include "tests/test_host.h"

namespace {

using testhost::TestHost;
using testhost::TestInstance;

class SimServicesTest : public ::testing::Test {
protected:
    SimServicesTest() : inst(host, &md, {}) {}
    TestHost host;
    s_ZRT_ModuleDesc md{};
    TestInstance inst;
};

TEST_F(SimServicesTest, SimParamsAreFoundByExactNameOnly) {
    EXPECT_EQ(ZRT_getSimParamCallback(inst.get(), "gmin"), nullptr);  // no table
    host.setSimParam("gmin", 1e-12);
    host.setSimParam("gmin_dc", 2e-12);
    ZRT_SimParamEntry entries[] = {{nullptr, passThroughCallback}, host.sim.simParams[0], host.sim.simParams[1]};
    host.sim.simParams = entries;
    host.sim.numSimParams = 3;
    EXPECT_EQ(ZRT_getSimParamCallback(inst.get(), "gmin_dc"), &entries[2]);
    EXPECT_EQ(ZRT_getSimParamCallback(inst.get(), "gmi"), nullptr);
    EXPECT_EQ(ZRT_getSimParamCallback(nullptr, "gmin"), nullptr);
    // The callback may be asked without an instance.
    EXPECT_EQ(simParamValue(ZRT_getSimParamCallback(inst.get(), "gmin"), nullptr, 7.0), 1e-12);
    ASSERT_EQ(host.simParamCalls.size(), 1u);
    EXPECT_EQ(host.simParamCalls[0].inst, nullptr);
    EXPECT_EQ(host.simParamCalls[0].defaultValue, 7.0);
    EXPECT_EQ(simParamValue(nullptr, inst.get(), 7.0), 7.0);

    ZRT_SimParamEntry* pass = ZRT_getSimParamPassThroughCallback();
    pass->fn = nullptr;
    pass = ZRT_getSimParamPassThroughCallback();
    EXPECT_EQ(pass->name, nullptr);
    EXPECT_EQ(pass->fn(inst.get(), 3.5), 3.5);

    EXPECT_EQ(simParamToInt(NAN), 0);
    EXPECT_EQ(simParamToInt(-2.9), -2);
    EXPECT_EQ(simParamToInt(1e300), INT32_MAX);
    EXPECT_EQ(simParamToInt(-INFINITY), INT32_MIN);
}

TEST(NumberText, EngineeringFormatAtItsEdges) {
    char buf[ZRT_ENG_TEXT_SIZE];
    EXPECT_STREQ(ZRT_ConvertToEngFormat(12345.0, buf), "12.34500K");
    EXPECT_STREQ(ZRT_ConvertToEngFormat(7.5, buf), "7.500000 ");
    EXPECT_STREQ(ZRT_ConvertToEngFormat(0.5, buf), "500.0000m");
    EXPECT_STREQ(ZRT_ConvertToEngFormat(0.001, buf), "1.000000m");
    EXPECT_STREQ(ZRT_ConvertToEngFormat(1e-18, buf), "1.000000a");
    EXPECT_STREQ(ZRT_ConvertToEngFormat(-2.5e6, buf), "-2.500000M");
    EXPECT_STREQ(ZRT_ConvertToEngFormat(999.99999999, buf), "1.000000K");
    EXPECT_STREQ(ZRT_ConvertToEngFormat(0.0, buf), "0");
    // Out of range: the "%e" form, whatever the runtime's exponent width.
    char expected[32];
    for (double x : {1e15, 999999999999999.9, -1e-19}) {
        std::snprintf(expected, sizeof expected, "%e", x);
        EXPECT_STREQ(ZRT_ConvertToEngFormat(x, buf), expected) << x;
    }
    EXPECT_STREQ(ZRT_ConvertToEngFormat(-1e300, buf), "-1.000000e+300");
}

TEST(NumberText, BinaryDigits) {
    char buf[64];
    EXPECT_STREQ(ZRT_ConvertToBinary(5, buf), "101");
    EXPECT_STREQ(ZRT_ConvertToBinary(-5, buf), "-101");
    const char* zero = ZRT_ConvertToBinary(0, buf);
    EXPECT_STREQ(zero, "0");
    EXPECT_NE(zero, buf);
    EXPECT_STREQ(ZRT_ConvertToBinary(INT_MIN, buf), ("1" + std::string(31, '0')).c_str());
    EXPECT_STREQ(ZRT_ConvertToBinary(-INT_MAX, buf), ("-" + std::string(31, '1')).c_str());

    EXPECT_STREQ(ZRT_ConvertToUnsignedBinary(5, buf, 8), "00000101");
    EXPECT_STREQ(ZRT_ConvertToUnsignedBinary(5, buf, 2), "101");
    EXPECT_STREQ(ZRT_ConvertToUnsignedBinary(5, buf, 40), (std::string(8, ' ') + std::string(29, '0') + "101").c_str());
    EXPECT_STREQ(ZRT_ConvertToUnsignedBinary(15, buf, 0), "1111");  // the significant bits only
    EXPECT_STREQ(ZRT_ConvertToUnsignedBinary(INT_MAX, buf, 0), std::string(31, '1').c_str());
    EXPECT_STREQ(ZRT_ConvertToUnsignedBinary(-1, buf, 4), std::string(32, '1').c_str());
    EXPECT_STREQ(ZRT_ConvertToUnsignedBinary(0, buf, -3), "0");
    EXPECT_STREQ(ZRT_ConvertToUnsignedBinary(0, buf, 3), "000");
}

TEST_F(SimServicesTest, BitNumbersOutsideTheWordWarnOnceAndWrap) {
    EXPECT_EQ(ZRT_extractBits(inst.get(), 0xF0u, MIN_MAX_RANGE, 0), 0xF0u);
    EXPECT_EQ(ZRT_extractBits(inst.get(), 0xF0u, MIN_MAX_RANGE, 2, 7, 4), 0xFu);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(ZRT_extractBits(inst.get(), 0x80000000u, NO_RANGE, 1, -1), 1u);  // bit 31
    EXPECT_EQ(ZRT_extractBits(inst.get(), 0xFFu, MIN_MAX_RANGE, 3, 40, 4, 9), 0xFu);  // bits 4..31
    EXPECT_EQ(ZRT_extractBits(inst.get(), 0x2u, NO_RANGE, 1, 33), 1u);
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0].text, "Dimension specified is outside supported range of 0 to 31.");
    EXPECT_EQ(host.messages[1].text, "Too many dimensions specified for bit extraction.");
    EXPECT_EQ(host.messages[1].type, ZRT_MSG_WARNING);

    int32_t target = 0;
    ZRT_setBits(inst.get(), &target, 1, NO_RANGE, 1, -1);
    EXPECT_EQ(static_cast<uint32_t>(target), 0x80000000u);
    ZRT_setBits(inst.get(), &target, 0x5, WIDTH_UP_RANGE, 2, 4, 3);
    EXPECT_EQ(static_cast<uint32_t>(target), 0x80000050u);
    ZRT_setBits(inst.get(), &target, 0, MIN_MAX_RANGE, 3, 0, 31, 5);
    EXPECT_EQ(target, 0);
    EXPECT_EQ(host.messages.back().text, "Too many dimensions specified for bit set.");
}

TEST_F(SimServicesTest, VectorAccessesOutsideTheirBoundsAreFatal) {
    int32_t bounds[] = {0, 0, 3, 0, 0, 0, -2, 2};  // [3:0] and [-2:2]
    inst->nodeVectorBounds = bounds;
    for (int32_t i = 0; i <= 3; ++i) {
        ZRT_VectorCheck(inst.get(), "bus", 0, i);
    }
    ZRT_VectorCheck(inst.get(), "bus", 1, -2);
    EXPECT_EQ(host.exitCount(), 0);
    ZRT_VectorCheck(inst.get(), "bus", 0, 4);
    ZRT_VectorCheck(inst.get(), "bus", 0, -1);
    EXPECT_EQ(host.exitCount(), 2);
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[1].type, ZRT_MSG_ERROR);
    EXPECT_EQ(host.messages[1].formatted, "Invalid net vector access of 'bus[-1] with bounds '[3:0]' \n");

    ZRT_CheckBranchBounds(inst.get(), "br", 0, 3, "n", 3, 0);  // descending node range
    ZRT_CheckBranchBounds(inst.get(), "br", INT_MIN, INT_MAX, "n", INT_MAX, INT_MIN);
    EXPECT_EQ(host.exitCount(), 2);
    ZRT_CheckBranchBounds(inst.get(), "br", 0, 3, "n", 0, 2);
    EXPECT_EQ(host.exitCount(), 3);
    EXPECT_EQ(host.messages.back().formatted,
              "Mismatch between branch 'br' vector length and node 'n' vector length.\n");
}

TEST_F(SimServicesTest, EncodedVectorNamesAndUnnamedBranches) {
    for (auto [k, expected] : {std::pair{-12, "_12b_i"}, {7, "7b_i"}, {INT_MIN, "_2147483648b_i"}}) {
        char* text = ZRT_EncodeVector(inst.get(), "b", k);
        EXPECT_STREQ(text, expected);
        ZRT_free(text);
    }
    s_ZRT_StateVar a{};
    s_ZRT_StateVar b{};
    a.index = 1;
    b.index = 2;
    ZRT_BranchInfo branch{"_ub1", &a, &b, 1, -1, nullptr, ZRT_BRANCH_UNNAMED, 0};
    EXPECT_EQ(ZRT_UBranchMatch(&branch, &a, &b), 1);
    EXPECT_EQ(ZRT_UBranchMatch(&branch, &b, &a), 0);
    branch.flags = 0;
    EXPECT_EQ(ZRT_UBranchMatch(&branch, &a, &b), 0);
}

TEST(MixedSignal, LogicComparisonsWithUnknownBits) {
    ZRT_LogicValue x{};
    ZRT_LogicValue y{};
    ZRT_initLogic(&x, 4, 0b1010, 0b0001);  // 101x
    ZRT_initLogic(&y, 4, 0b1011, 0b0000);  // 1011
    EXPECT_EQ(ZRT_compareLogic(x, y, ZRT_LOGIC_EXACT), 0);
    EXPECT_EQ(ZRT_compareLogic(x, y, ZRT_LOGIC_IGNORE_X_UNKNOWN), 1);
    EXPECT_EQ(ZRT_compareLogic(x, y, ZRT_LOGIC_IGNORE_Z), 1);  // unknown with value 0: z
    x.value |= 1;  // 101x with value 1 is not z
    EXPECT_EQ(ZRT_compareLogic(x, y, ZRT_LOGIC_IGNORE_Z), 0);
    // Bits beyond the wider width are not compared; widths of 0 compare none.
    EXPECT_EQ(ZRT_compareLogic({4, 0x10, 0, 0}, {2, 0x00, 0, 0}, 0), 1);
    EXPECT_EQ(ZRT_compareLogic({0, 1, 0, 0}, {-5, 0, 0, 0}, 0), 1);
    EXPECT_EQ(ZRT_compareLogic({40, 0x80000000u, 0, 0}, {1, 0, 0, 0}, 0), 0);
    EXPECT_EQ(ZRT_compareLogInt({31, 0x7FFFFFFF, 0, 0}, -1, 0), 1);  // width 31: bit 31 is not compared
}

s_ZRT_StateVar* g_exportedPos = nullptr;
int32_t g_exportedIndex = -1;
void exportNet(int32_t scaledIndex, s_ZRT_StateVar* pos, s_ZRT_StateVar*, const s_ZRT_ContribLoader*,
               s_ZRT_DeviceInst*) {
    g_exportedIndex = scaledIndex;
    g_exportedPos = pos;
}

TEST_F(SimServicesTest, ExportedNetsGoToTheHostOrItsValueArray) {
    s_ZRT_StateVar p{};
    s_ZRT_StateVar n{};
    p.index = 1;
    n.index = 2;
    host.solution = {0.0, 5.0, 2.0};
    double values[4] = {};
    host.ams.pA2D_SM = values;
    ZRT_ExportNet(0, &p, &n, &host.loader, inst.get());
    ZRT_ExportNet(1, nullptr, &n, &host.loader, inst.get());
    ZRT_ExportNet(2, &p, nullptr, &host.loader, inst.get());
    ZRT_ExportNet(3, nullptr, nullptr, &host.loader, inst.get());
    EXPECT_EQ(values[0], 3.0);
    EXPECT_EQ(values[1], -2.0);
    EXPECT_EQ(values[2], 5.0);
    EXPECT_EQ(values[3], 0.0);

    int target = 0;
    host.ams.pExportHost = &target;
    host.ams.pExportTarget = &target;
    host.ams.ExportIndexScale = 3;
    host.ams.ExportNetFn = exportNet;
    ZRT_ExportNet(2, &p, &n, &host.loader, inst.get());
    EXPECT_EQ(g_exportedIndex, 6);
    EXPECT_EQ(g_exportedPos, &p);

    host.ams.pExportHost = nullptr;
    host.ams.pA2D_SM = nullptr;
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(ZRT_ExportNet(0, &p, &n, &host.loader, inst.get()), "pldr->pAMS && pldr->pAMS->pA2D_SM");
}

TEST_F(SimServicesTest, LastCrossingInterpolatesAndRemembers) {
    ZRT_LastCrossing* lc = ZRT_createLastCrossing(inst.get());
    ASSERT_NE(lc, nullptr);
    EXPECT_EQ(ZRT_LastCrossingVal(lc, 2.0, 0, &host.loader), -1.0);  // t = 0
    ZRT_acceptLastCrossing(lc, &host.loader);
    host.time = 1.0;
    EXPECT_DOUBLE_EQ(ZRT_LastCrossingVal(lc, -1.0, -1, &host.loader), 2.0 / 3.0);
    ZRT_acceptLastCrossing(lc, &host.loader);
    host.time = 2.0;
    EXPECT_EQ(ZRT_LastCrossingVal(lc, 1.0, 0, &host.loader), 1.5);
    EXPECT_EQ(ZRT_LastCrossingVal(lc, 1.0, 1, &host.loader), 1.5);
    EXPECT_DOUBLE_EQ(ZRT_LastCrossingVal(lc, 1.0, -1, &host.loader), 2.0 / 3.0);  // the stored fall
    ZRT_acceptLastCrossing(lc, &host.loader);
    host.time = 3.0;
    EXPECT_EQ(ZRT_LastCrossingVal(lc, 2.0, 0, &host.loader), 1.5);  // the later of the two
    EXPECT_DOUBLE_EQ(ZRT_LastCrossingVal(lc, 2.0, -1, &host.loader), 2.0 / 3.0);
    ZRT_resetLastCrossing(lc);
    EXPECT_EQ(ZRT_LastCrossingVal(lc, 2.0, 0, &host.loader), -1.0);
    ZRT_free(lc);
}

TEST_F(SimServicesTest, AcStimulusLoadsOnlyInItsAnalyses) {
    host.sim.FormAnalysisQueryMask = ZRT_DefaultFormAnalysisQueryMask;
    ZRT_AcStim* both = ZRT_create_acStim(inst.get(), 4, 2, "noise", "xf");
    ZRT_AcStim* plain = ZRT_create_acStim(inst.get(), 4, 0);
    ASSERT_NE(both, nullptr);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(both->analysisMask, uint32_t{ZRT_ANALYSIS_NOISE | ZRT_ANALYSIS_XF});
    EXPECT_EQ(plain->analysisMask, uint32_t{ZRT_ANALYSIS_AC});
    EXPECT_EQ(both->flags & ZRT_ACSTIM_CHANGED, ZRT_ACSTIM_CHANGED);
    EXPECT_EQ(both->further, 0.0);

    both->flags = 0;
    ZRT_set_acStim(both, 1.0, 90.0, 3, 0.0);
    EXPECT_EQ(both->flags, 0);
    ZRT_set_acStim(both, 1.0, 90.0, 3, 2.0);
    EXPECT_EQ(both->flags & ZRT_ACSTIM_CHANGED, ZRT_ACSTIM_CHANGED);

    void* w = reinterpret_cast<void*>(0x42);
    host.analysisMask = ZRT_ANALYSIS_AC;
    ZRT_acContrib(both, w, nullptr, 1.0, &host.loader);
    ZRT_acContrib(plain, w, nullptr, 2.0, &host.loader);
    host.analysisMask = ZRT_ANALYSIS_XF;
    ZRT_acContrib(both, w, nullptr, 3.0, &host.loader);
    ASSERT_EQ(host.acLoads.size(), 2u);
    EXPECT_EQ(host.acLoads[0].stim, plain);
    EXPECT_EQ(host.acLoads[0].value, 2.0);
    EXPECT_EQ(host.acLoads[1].stim, both);
    EXPECT_EQ(host.acLoads[1].word1, w);
    ZRT_free(both);
    ZRT_free(plain);
}

TEST_F(SimServicesTest, IllegalParameterAssignmentsAreFatal) {
    ZRT_reportAliasClash("vth0", inst.get());
    ZRT_reportLocalParamError("k", inst.get());
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0].formatted,
              "Illegal attempt to set 'vth0' -- this parameter was previously set via a different alias.");
    EXPECT_EQ(host.messages[1].formatted, "Attempt to explicitly set localparam 'k'.");
    EXPECT_EQ(host.messages[1].type, ZRT_MSG_ERROR);
    EXPECT_EQ(host.exitCount(), 2);
}

// Stands in a clock for the platform's, until it goes out of scope.
class ClockStandIn {
public:
    explicit ClockStandIn(boost::posix_time::ptime (*clock)()) : saved_(zrtPlatform()) {
        zrtPlatform().localTime = clock;
    }
    ~ClockStandIn() { zrtPlatform() = saved_; }

private:
    ZRT_Platform saved_;
};

boost::posix_time::ptime dayTwo() {
    return boost::posix_time::ptime(boost::gregorian::date(1970, 1, 2), boost::posix_time::microseconds(500001));
}
boost::posix_time::ptime brokenClock() { throw std::runtime_error("could not convert calendar time to local time"); }

TEST(SystemTime, SecondsSince1970InLocalTime) {
    {
        ClockStandIn fixed(dayTwo);
        EXPECT_NEAR(ZRT_system_time(0.0), 86400.500001, 1e-9);
        EXPECT_NEAR(ZRT_system_time(400.0), 86000.500001, 1e-9);
    }
    {
        ClockStandIn broken(brokenClock);
        EXPECT_THROW(ZRT_system_time(0.0), std::runtime_error);
    }
    // The C library's local calendar time, counted from 1970 by the calendar.
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    ASSERT_NE(local, nullptr);
    const boost::gregorian::date today(static_cast<unsigned short>(local->tm_year + 1900),
                                       static_cast<unsigned short>(local->tm_mon + 1),
                                       static_cast<unsigned short>(local->tm_mday));
    const double expected = static_cast<double>((today - boost::gregorian::date(1970, 1, 1)).days()) * 86400.0 +
                            local->tm_hour * 3600.0 + local->tm_min * 60.0 + local->tm_sec;
    EXPECT_NEAR(ZRT_system_time(0.0), expected, 1.5);
}

}  // namespace
