// Table noise sources: noise data files as the reader takes them, and the
// checks, subsets and clipping of binding an array to a source.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "dsl/ZRT_SupportLib.h"
#include "tests/test_host.h"

namespace {

using testhost::TestHost;
using testhost::TestInstance;

using Array = std::unique_ptr<s_ZRT_Array, decltype(&ZRT_destroyNoiseTableFile)>;

class NoiseTable : public ::testing::Test {
protected:
    void SetUp() override { ZRT_setNoiseSrcInfo(&src(), ZRT_TABLE_NOISE_SRC, 0, "nt", inst.get()); }

    ZRT_NoiseSrc& src() { return inst.noiseSrcs[0]; }

    std::string writeFile(const std::string& name, const std::string& content) {
        const std::string path = host.filePath(name);
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    Array read(const std::string& path) { return Array(doReadNoiseTableFile(path.c_str(), &src()), &ZRT_destroyNoiseTableFile); }

    // The texts the host showed, formatted.
    std::vector<std::string> shown() const {
        std::vector<std::string> texts;
        for (const auto& msg : host.messages) {
            texts.push_back(msg.formatted);
        }
        return texts;
    }

    Array realArray(int32_t left, int32_t right, int32_t n) {
        Array a(ZRT_createArray(ZRT_REAL_ARRAY, "tab", &host.sim), &ZRT_destroyNoiseTableFile);
        ZRT_setArrayBounds(a.get(), left, right);
        ZRT_initRealArray(a.get(), n, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0);
        return a;
    }

    TestHost host;
    TestInstance inst{host, nullptr, {}};
};

TEST_F(NoiseTable, FileReadsWholeLinesOfAnyLengthAndIsCached) {
    std::string longLine;
    for (int i = 0; i < 200; ++i) {
        longLine += "123.456 ";  // 1600 characters: a number crosses every 1023-character boundary
    }
    const std::string path = writeFile("table.dat", "1e3 1e-20 # c\r\n"
                                                    "\n"
                                                    "   # comment only\n"
                                                    "# 7 " + std::string(2000, '7') + "\n" +
                                                    longLine + "\n"
                                                    "1e6\t2e-20\r\n"
                                                    "+5 0.5V");
    s_ZRT_Array* cache = nullptr;
    ZRT_setNoiseTableFile(&src(), &cache, path.c_str());
    Array owner(cache, &ZRT_destroyNoiseTableFile);
    ASSERT_NE(cache, nullptr);
    ASSERT_EQ(cache->_dataLen, 206);
    const auto* v = static_cast<const double*>(cache->data);
    EXPECT_EQ(std::vector<double>(v, v + 2), (std::vector<double>{1000.0, 1e-20}));
    EXPECT_EQ(std::vector<double>(v + 2, v + 202), std::vector<double>(200, 123.456));
    EXPECT_EQ(std::vector<double>(v + 202, v + 206), (std::vector<double>{1e6, 2e-20, 5.0, 0.5}));
    EXPECT_EQ(cache->leftBounds[0], 0);
    EXPECT_EQ(cache->rightBounds[0], 205);
    EXPECT_STREQ(cache->name, "nt");
    EXPECT_EQ(src().table, cache);
    EXPECT_EQ(src().firstTableIndex, 0);
    EXPECT_EQ(src().lastTableIndex, 205);

    // The second call binds the cached array without reading.
    std::remove(path.c_str());
    src().table = nullptr;
    ZRT_setNoiseTableFile(&src(), &cache, path.c_str());
    EXPECT_EQ(src().table, cache);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(NoiseTable, BadFilesAreReportedWithTheirLineAndBindNothing) {
    const std::string path = writeFile("t%s%n.dat", "1 2\n  # c\nx%d 4\n");
    s_ZRT_Array* cache = nullptr;
    ZRT_setNoiseTableFile(&src(), &cache, path.c_str());
    EXPECT_EQ(cache, nullptr);
    const std::string missing = host.filePath("none.dat");
    ZRT_setNoiseTableFile(&src(), &cache, missing.c_str());
    EXPECT_EQ(cache, nullptr);
    EXPECT_EQ(src().table, nullptr);
    EXPECT_EQ(shown(), (std::vector<std::string>{
                           "For noise_table 'nt', invalid data format while reading data file '" + path +
                               "' line 3, 'x%d' is not a valid number.",
                           "For noise_table 'nt' the data file '" + missing + "' does not exist or is not readable.",
                       }));
    EXPECT_EQ(host.messages[0].inst, inst.get());
    EXPECT_EQ(host.exitCount(), 2);

    // Only finite decimal numbers: the C library's other forms are refused.
    for (const char* token : {"inf", "nan", "0x1p3", "--1", "1e999", "."}) {
        EXPECT_EQ(read(writeFile("bad.dat", std::string("2 ") + token + "\n")), nullptr) << token;
    }
    // Numbers too small for a double read as 0.0, subnormal ones as they are;
    // too large ones stay refused (above).
    const Array tiny = read(writeFile("tiny.dat", "2e-324 -1e-330 0.000" + std::string(400, '0') + "1 4e-320 1e-99999999999999999999\n"));
    ASSERT_NE(tiny, nullptr);
    const auto* t = static_cast<const double*>(tiny->data);
    EXPECT_EQ(std::vector<double>(t, t + 5), (std::vector<double>{0.0, 0.0, 0.0, 4e-320, 0.0}));
    EXPECT_TRUE(std::signbit(t[1]));
    EXPECT_EQ(read(writeFile("huge.dat", "1" + std::string(400, '0') + "\n")), nullptr);
    // A zero byte at the start of a line is bad data, not the end of the file
    // (a line once read as empty, before its first byte).
    EXPECT_EQ(read(writeFile("zero.dat", std::string("1 2\n\0\0 3\n", 9))), nullptr);
}

TEST_F(NoiseTable, BindingChecksTheArray) {
    Array empty = read(writeFile("empty.dat", ""));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->rightBounds[0], -1);
    EXPECT_EQ(empty->_dataLen, 0);
    ZRT_setNoiseTableArg(&src(), empty.get());
    Array three = read(writeFile("three.dat", "1 2 3"));
    ZRT_setNoiseTableArg(&src(), three.get());
    Array down = realArray(7, 0, 8);
    ZRT_setNoiseTableArg(&src(), down.get());
    Array grid(ZRT_createArray(ZRT_REAL_ARRAY, "g", &host.sim), &ZRT_destroyNoiseTableFile);
    ZRT_setArrayBoundLists(grid.get(), 2, 0, 1, 0, 1);
    ZRT_setNoiseTableArgs(&src(), grid.get(), 0, 1);
    EXPECT_EQ(shown(), (std::vector<std::string>{
                           "Arrays passed to noise_table should have increasing indices.",
                           "Arrays passed to noise_table must have even length.",
                           "Arrays passed to noise_table should have increasing indices.",
                           "Only one dimensional arrays can be subset for use in a noise_table.",
                       }));
    // The host returned from "exit", so these were bound all the same.
    EXPECT_EQ(src().table, grid.get());

    // Null arrays and arrays without bounds are never bound.
    host.clearRecords();
    src().table = nullptr;
    Array bare(ZRT_createArray(ZRT_REAL_ARRAY, "b", &host.sim), &ZRT_destroyNoiseTableFile);
    ZRT_setNoiseTableArg(&src(), nullptr);
    ZRT_setNoiseTableArgs(&src(), bare.get(), 0, 1);
    EXPECT_EQ(src().table, nullptr);
    EXPECT_EQ(shown(), std::vector<std::string>(2, "Invalid array passed to noise_table source."));
    EXPECT_EQ(host.exitCount(), 2);
}

TEST_F(NoiseTable, SubsetsAreClippedToTheBoundsAndTheData) {
    Array a = realArray(0, 7, 8);
    ZRT_setNoiseTableArgs(&src(), a.get(), 2, 5);
    EXPECT_EQ(src().firstTableIndex, 2);
    EXPECT_EQ(src().lastTableIndex, 5);
    EXPECT_TRUE(host.messages.empty());

    ZRT_setNoiseTableArgs(&src(), a.get(), 2, 9);
    EXPECT_EQ(src().firstTableIndex, 2);
    EXPECT_EQ(src().lastTableIndex, 7);
    EXPECT_EQ(shown(), std::vector<std::string>{"Subset dimensions exceed array bounds in noise_table."});
    EXPECT_EQ(host.messages[0].type, ZRT_MSG_WARNING);

    // Wholly outside: an error, and the earlier binding stays.
    ZRT_setNoiseTableArgs(&src(), a.get(), 10, 12);
    EXPECT_EQ(src().lastTableIndex, 7);
    ASSERT_EQ(host.messages.size(), 2u);  // the warning goes once per instance
    EXPECT_EQ(host.messages[1].formatted, "Subset dimensions lie wholly outside array bounds in noise_table.");
    EXPECT_EQ(host.exitCount(), 1);

    // Bounds [2:9] over four elements: the host is sent nothing past them.
    Array short_ = realArray(2, 9, 4);
    ZRT_setNoiseTableArgs(&src(), short_.get(), 4, 9);
    EXPECT_EQ(src().table, short_.get());
    EXPECT_EQ(src().firstTableIndex, 2);
    EXPECT_EQ(src().lastTableIndex, 3);
}

}  // namespace
