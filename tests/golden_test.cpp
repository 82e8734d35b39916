// Every value each model hands the host at the golden points, against the
// values frozen in tests/golden/model_values.txt, bit for bit. A deliberate
// change of the equations regenerates the file with golden_regen.
#include <gtest/gtest.h>

#include <sstream>

#include "golden_values.h"
#include "model_fixture.h"

namespace {

using namespace testhost;

class Golden : public ModuleTest {};

// The first differing value of each line, at most a dozen lines a model.
TEST_P(Golden, EveryLoadedValueAsFrozen) {
    const ModuleSpec& spec = GetParam();
    const std::vector<GoldenLine> want = readGoldenLines(HBX_GOLDEN_FILE, spec.name);
    ASSERT_FALSE(want.empty()) << "no values of " << spec.name << " in " << HBX_GOLDEN_FILE;
    const std::vector<GoldenLine> got = goldenLines(spec);
    ASSERT_EQ(got.size(), want.size());
    std::string point;
    int reported = 0;
    for (size_t i = 0; i < got.size() && reported < 12; ++i) {
        ASSERT_EQ(got[i].label, want[i].label);
        if (got[i].label.rfind("point", 0) == 0) {
            point = got[i].label;
            continue;
        }
        std::ostringstream where;
        where << spec.name << " " << point << " " << got[i].label;
        ASSERT_EQ(got[i].values.size(), want[i].values.size()) << where.str();
        for (size_t k = 0; k < got[i].values.size(); ++k) {
            const bool same = got[i].label == "saved" ? got[i].values[k] == want[i].values[k]
                                                      : sameBits(got[i].values[k], want[i].values[k]);
            if (!same) {
                ADD_FAILURE() << where.str() << "[" << k << "]: " << got[i].values[k] << ", frozen "
                              << want[i].values[k];
                ++reported;
                break;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Models, Golden, ::testing::ValuesIn(kModules), ModuleName());

TEST(GoldenValues, SameBitsTellsEveryDoubleApart) {
    EXPECT_TRUE(sameBits("0x1.8p+1", "0x1.8p+1"));
    EXPECT_TRUE(sameBits("0x1.8p+1", "0x3p+0"));  // one double, two spellings
    EXPECT_FALSE(sameBits("0x0p+0", "-0x0p+0"));  // the sign of zero counts
    EXPECT_FALSE(sameBits("0x1.0000000000001p+0", "0x1p+0"));
    EXPECT_TRUE(sameBits("nan", "nan"));
    EXPECT_FALSE(sameBits("nan", "-nan"));
    EXPECT_FALSE(sameBits("0x1p+0x", "0x1p+0x"));
}

}  // namespace
