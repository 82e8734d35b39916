// Every value each model hands the host at the golden points, against the
// values frozen in tests/golden/model_values.txt, bit for bit. A deliberate
// change of the equations regenerates the file with golden_regen.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "tests/golden_values.h"
#include "tests/model_fixture.h"

namespace {

using namespace testhost;

class Golden : public ModuleTest {};

#ifdef _WIN32
// The values were frozen with glibc's exp and pow, from which the Windows
// build's differ in the last bits: there each value must lie within 1e-12 of
// the largest magnitude of its line, and the saved state, which holds such
// values, must keep its length.
constexpr bool kBitForBit = false;
#else
constexpr bool kBitForBit = true;
#endif

double largestMagnitude(const GoldenLine& line) {
    double largest = 0.0;
    for (const std::string& value : line.values) {
        largest = std::fmax(largest, std::fabs(std::strtod(value.c_str(), nullptr)));
    }
    return largest;
}

bool matches(const GoldenLine& got, const GoldenLine& want, size_t k) {
    if (got.label == "saved") {
        return kBitForBit ? got.values[k] == want.values[k] : got.values[k].size() == want.values[k].size();
    }
    if (sameBits(got.values[k], want.values[k])) {
        return true;
    }
    const double x = std::strtod(got.values[k].c_str(), nullptr);
    const double y = std::strtod(want.values[k].c_str(), nullptr);
    return !kBitForBit && std::fabs(x - y) <= 1e-12 * largestMagnitude(want);
}

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
            if (!matches(got[i], want[i], k)) {
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
