// File-descriptor records, the file system tasks over real files through the
// test host, line and binary scanning, and formatted output.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "dsl/ZRT_SupportLib.h"
#include "rte/allocator.h"
#include "tests/test_host.h"

namespace {

using testhost::TestHost;
using testhost::TestInstance;

s_ZRT_ModuleDesc descriptorWithFiles(int32_t count) {
    s_ZRT_ModuleDesc md{};
    md.numFileDescs = count;
    return md;
}

TestInstance::Shape fileShape(int32_t count) {
    TestInstance::Shape shape;
    shape.fileDescs = count;
    return shape;
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

int countCalls(const TestHost& host, const std::string& slot) {
    int n = 0;
    for (const auto& call : host.fileCalls) {
        n += call.slot == slot;
    }
    return n;
}

// ---- records ------------------------------------------------------------------

TEST(FileDescs, OneZeroFilledRecordPerDeclaredDescriptor) {
    TestHost host;
    s_ZRT_ModuleDesc md = descriptorWithFiles(2);
    TestInstance inst(host, &md, fileShape(2));
    ZRT_initFileDescs(inst.get());
    for (ZRT_FileDesc* d : inst.fileDescs) {
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->handle, nullptr);
        EXPECT_EQ(d->mode, nullptr);
        EXPECT_EQ(d->savedPosition, 0u);
        EXPECT_EQ(d->reserved, nullptr);
    }
    EXPECT_NE(inst.fileDescs[0], inst.fileDescs[1]);

    // None declared: nothing made and nothing sought or told.
    s_ZRT_ModuleDesc none = descriptorWithFiles(0);
    TestInstance empty(host, &none, fileShape(0));
    ZRT_initFileDescs(empty.get());
    ZRT_positionFileDescs(empty.get());
    ZRT_acceptFileDescs(empty.get());
    EXPECT_TRUE(host.fileCalls.empty());

    // A host that gave no array gets nothing written.
    TestInstance noArray(host, &md, fileShape(0));
    noArray->fileDescs = nullptr;
    ZRT_initFileDescs(noArray.get());
    ZRT_acceptFileDescs(noArray.get());
    EXPECT_TRUE(host.fileCalls.empty());
}

TEST(FileDescs, AFailedAllocationLeavesANullEntry) {
    TestHost host;
    s_ZRT_ModuleDesc md = descriptorWithFiles(1);
    TestInstance inst(host, &md, fileShape(1));
    ZRT_Allocator saved = zrtAllocator();
    zrtAllocator().calloc = [](size_t, size_t) -> void* { return nullptr; };
    ZRT_initFileDescs(inst.get());
    zrtAllocator() = saved;
    EXPECT_EQ(inst.fileDescs[0], nullptr);
    EXPECT_EQ(host.exitCount(), 1);
    ZRT_acceptFileDescs(inst.get());
    ZRT_positionFileDescs(inst.get());
    EXPECT_TRUE(host.fileCalls.empty());
}

// ---- file tasks over a real file ----------------------------------------------------

TEST(FileTasks, WriteReadBackSeekTellAndClose) {
    TestHost host;
    s_ZRT_ModuleDesc md = descriptorWithFiles(3);
    TestInstance inst(host, &md, fileShape(3));
    ZRT_initFileDescs(inst.get());
    const std::string path = host.filePath("data.txt");

    int32_t out = ZRT_FileOpen(inst.get(), path.c_str(), "w", 0);
    ASSERT_NE(out, 0);
    ZRT_WriteFile(out, inst.get(), "%d %s\n", 12, "first line");
    ZRT_WriteFile(out, inst.get(), "second %.2f\n", 2.5);
    ZRT_WriteFile(out, inst.get(), "last");
    ZRT_FileFlush(inst.get(), out);
    EXPECT_EQ(readFile(path), "12 first line\nsecond 2.50\nlast");
    ZRT_FileClose(inst.get(), out);
    EXPECT_EQ(host.file(out), nullptr);

    int32_t in = ZRT_FileOpen(inst.get(), path.c_str(), "r", 0);
    ASSERT_NE(in, 0);
    // The model keeps the host's handle and the mode in the descriptor's record.
    ZRT_FileDesc* reader = inst.fileDescs[0];
    reader->handle = host.fileHandle(in);
    reader->mode = "r";
    // A file open for writing and a record without a handle are never sought.
    int32_t log = ZRT_FileOpen(inst.get(), host.filePath("log.txt").c_str(), "w", 0);
    inst.fileDescs[1]->handle = host.fileHandle(log);
    inst.fileDescs[1]->mode = "w";
    inst.fileDescs[2]->mode = "r";

    int32_t flag = 0;
    int32_t number = 0;
    EXPECT_EQ(ZRT_scanSingle(in, inst.get(), "%d", &number, &flag), 1);
    EXPECT_EQ(number, 12);
    char* line = nullptr;
    EXPECT_EQ(ZRT_fgets(inst.get(), &line, in), 11);
    EXPECT_STREQ(line, " first line");
    ZRT_free(line);

    // An accepted time point remembers the read position ...
    host.fileCalls.clear();
    ZRT_acceptFileDescs(inst.get());
    ASSERT_EQ(host.fileCalls.size(), 1u);
    EXPECT_EQ(host.fileCalls[0].slot, "tell");
    EXPECT_EQ(host.fileCalls[0].handle, reader->handle);
    EXPECT_EQ(reader->savedPosition, 14u);

    EXPECT_EQ(ZRT_fgets(inst.get(), &line, in), 11);
    EXPECT_STREQ(line, "second 2.50");
    ZRT_free(line);

    // ... and a rejected step reads the same data again.
    host.fileCalls.clear();
    ZRT_positionFileDescs(inst.get());
    ASSERT_EQ(host.fileCalls.size(), 1u);
    EXPECT_EQ(host.fileCalls[0].slot, "seek");
    EXPECT_EQ(host.fileCalls[0].position, 14u);
    EXPECT_EQ(ZRT_fgets(inst.get(), &line, in), 11);
    EXPECT_STREQ(line, "second 2.50");
    ZRT_free(line);

    // The last line has no line feed; then the file is at its end.
    EXPECT_EQ(ZRT_feof(inst.get(), in), 0);
    EXPECT_EQ(ZRT_fgets(inst.get(), &line, in), 4);
    EXPECT_STREQ(line, "last");
    ZRT_free(line);
    EXPECT_EQ(ZRT_feof(inst.get(), in), 1);
    EXPECT_EQ(ZRT_ferror(inst.get(), nullptr, in), 0);
    EXPECT_EQ(ZRT_fgets(inst.get(), &line, in), 0);
    EXPECT_STREQ(line, "");
    ZRT_free(line);
    EXPECT_EQ(ZRT_scanSingle(in, inst.get(), "%d", &number, &flag), -1);
    EXPECT_EQ(flag, 1);

    ZRT_FileClose(inst.get(), in);
    ZRT_FileClose(inst.get(), log);
    EXPECT_EQ(countCalls(host, "close"), 2);
}

TEST(FileTasks, DescriptorZeroNullNamesAndNullSlotsCallNothing) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    EXPECT_EQ(ZRT_FileOpen(inst.get(), nullptr, "r", 0), 0);
    ZRT_FileClose(inst.get(), 0);
    ZRT_FileFlush(inst.get(), 0);
    ZRT_WriteFile(0, inst.get(), "text");
    EXPECT_EQ(ZRT_feof(inst.get(), 0), 0);
    EXPECT_EQ(ZRT_ferror(inst.get(), nullptr, 0), 0);
    EXPECT_TRUE(host.fileCalls.empty());

    host.sim.FileOpen = nullptr;
    host.sim.FileClose = nullptr;
    host.sim.FileWrite = nullptr;
    host.sim.FileScan = nullptr;
    host.sim.FileEof = nullptr;
    host.sim.FileError = nullptr;
    EXPECT_EQ(ZRT_FileOpen(inst.get(), "name", "r", 0), 0);
    ZRT_FileClose(inst.get(), 3);
    ZRT_WriteFile(3, inst.get(), "text");
    EXPECT_EQ(ZRT_feof(inst.get(), 3), 0);
    EXPECT_EQ(ZRT_ferror(inst.get(), nullptr, 3), 0);
    int32_t flag = 0;
    int32_t value = 9;
    EXPECT_EQ(ZRT_scanSingle(3, inst.get(), "%d", &value, &flag), 0);
    EXPECT_EQ(ZRT_scanSingleBinary(3, inst.get(), "%b", &value, &flag), 0);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(value, 9);
    char* line = nullptr;
    EXPECT_EQ(ZRT_fgets(inst.get(), &line, 3), 0);
    EXPECT_EQ(line, nullptr);
    EXPECT_TRUE(host.fileCalls.empty());
}

// ---- scanning ------------------------------------------------------------------

// A scan slot that answers a fixed count and text, for what no file gives.
struct ScanAnswer {
    static inline int32_t count = 0;
    static inline const char* text = nullptr;
    static inline int calls = 0;
    static int32_t scan(int32_t, const char*, void* dest, s_ZRT_DeviceInst*, s_ZRT_SimInterface*) {
        ++calls;
        if (text != nullptr) {
            *static_cast<const char**>(dest) = text;
        }
        return count;
    }
    static void set(int32_t n, const char* t) {
        count = n;
        text = t;
        calls = 0;
    }
};

TEST(ScanSingle, ASetFlagStopsReadingAndCountsAboveOneAnswerOne) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    host.sim.FileScan = ScanAnswer::scan;
    int32_t flag = 0;
    double value = 0.0;
    ScanAnswer::set(3, nullptr);
    EXPECT_EQ(ZRT_scanSingle(3, inst.get(), "%lf", &value, &flag), 1);
    EXPECT_EQ(flag, 0);

    // A failed scan without a destination sets no flag.
    ScanAnswer::set(0, nullptr);
    EXPECT_EQ(ZRT_scanSingle(3, inst.get(), "%lf", nullptr, &flag), 0);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(ZRT_scanSingle(3, inst.get(), "%lf", &value, &flag), 0);
    EXPECT_EQ(flag, 1);

    ScanAnswer::set(1, nullptr);
    EXPECT_EQ(ZRT_scanSingle(3, inst.get(), "%lf", &value, &flag), 0);
    EXPECT_EQ(ZRT_scanSingleBinary(3, inst.get(), "%b", nullptr, &flag), 0);
    EXPECT_EQ(ScanAnswer::calls, 0);
}

TEST(ScanSingleBinary, ReadsSignedBinaryTokensFromAFile) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    const std::string path = host.filePath("bits.txt");
    // 33 digits: 2^32 + 3, of which the low 32 bits are kept.
    writeFile(path, "-101 110 - 1" + std::string(30, '0') + "11 102 1");
    int32_t desc = ZRT_FileOpen(inst.get(), path.c_str(), "r", 0);
    ASSERT_NE(desc, 0);

    int32_t flag = 0;
    int32_t value = 99;
    EXPECT_EQ(ZRT_scanSingleBinary(desc, inst.get(), "%b", &value, &flag), 1);
    EXPECT_EQ(value, -5);
    EXPECT_EQ(host.fileCalls.back().text, "%as");
    EXPECT_EQ(ZRT_scanSingleBinary(desc, inst.get(), "%b", &value, &flag), 1);
    EXPECT_EQ(value, 6);
    EXPECT_EQ(ZRT_scanSingleBinary(desc, inst.get(), "%b", &value, &flag), 1);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(ZRT_scanSingleBinary(desc, inst.get(), "%b", &value, &flag), 1);
    EXPECT_EQ(value, 3);
    EXPECT_EQ(flag, 0);

    // A digit other than 0 and 1 sets the flag and stores nothing; after
    // that nothing is read.
    value = 99;
    EXPECT_EQ(ZRT_scanSingleBinary(desc, inst.get(), "%b", &value, &flag), 1);
    EXPECT_EQ(value, 99);
    EXPECT_EQ(flag, 1);
    const size_t calls = host.fileCalls.size();
    EXPECT_EQ(ZRT_scanSingleBinary(desc, inst.get(), "%b", &value, &flag), 0);
    EXPECT_EQ(host.fileCalls.size(), calls);

    // The end of the file fails the scan.
    flag = 0;
    EXPECT_EQ(ZRT_scanSingleBinary(desc, inst.get(), "%b", &value, &flag), 1);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(ZRT_scanSingleBinary(desc, inst.get(), "%b", &value, &flag), -1);
    EXPECT_EQ(flag, 1);
    ZRT_FileClose(inst.get(), desc);
}

TEST(ScanSingleBinary, EmptyAndMissingTextsAndNullDestinations) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    host.sim.FileScan = ScanAnswer::scan;
    int32_t flag = 0;
    int32_t value = 99;
    ScanAnswer::set(1, "");
    EXPECT_EQ(ZRT_scanSingleBinary(3, inst.get(), "%b", &value, &flag), 1);
    EXPECT_EQ(value, 0);

    // A failed scan answers at once, never parsing or storing through null.
    ScanAnswer::set(0, nullptr);
    EXPECT_EQ(ZRT_scanSingleBinary(3, inst.get(), "%b", nullptr, &flag), 0);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(ZRT_scanSingleBinary(3, inst.get(), "%b", nullptr, nullptr), 0);
    // A successful scan without a destination parses and stores nothing.
    ScanAnswer::set(1, "11");
    EXPECT_EQ(ZRT_scanSingleBinary(3, inst.get(), "%b", nullptr, &flag), 1);
    EXPECT_EQ(flag, 0);

    // A host that claims success but gives no text has failed.
    ScanAnswer::set(1, nullptr);
    value = 99;
    EXPECT_EQ(ZRT_scanSingleBinary(3, inst.get(), "%b", &value, &flag), 0);
    EXPECT_EQ(value, 99);
    EXPECT_EQ(flag, 1);
}

TEST(Fgets, ReadsLinesOfAnyLengthWhole) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    const std::string path = host.filePath("lines.txt");
    const std::string longLine(30000, 'x');
    writeFile(path, "ab\n\n" + longLine + "\ntail");
    int32_t desc = ZRT_FileOpen(inst.get(), path.c_str(), "r", 0);
    ASSERT_NE(desc, 0);
    char* line = nullptr;
    EXPECT_EQ(ZRT_fgets(inst.get(), &line, desc), 2);
    EXPECT_STREQ(line, "ab");
    ZRT_free(line);
    EXPECT_EQ(ZRT_fgets(inst.get(), &line, desc), 0);
    EXPECT_STREQ(line, "");
    ZRT_free(line);
    EXPECT_EQ(ZRT_fgets(inst.get(), &line, desc), 30000);
    EXPECT_EQ(std::string(line), longLine);
    ZRT_free(line);
    EXPECT_EQ(ZRT_fgets(inst.get(), &line, desc), 4);
    EXPECT_STREQ(line, "tail");
    ZRT_free(line);
    ZRT_FileClose(inst.get(), desc);
}

TEST(Fgets, AnExhaustedHeapGivesANullText) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    const std::string path = host.filePath("long.txt");
    writeFile(path, std::string(1000, 'y') + "\n");
    int32_t desc = ZRT_FileOpen(inst.get(), path.c_str(), "r", 0);
    ZRT_Allocator saved = zrtAllocator();
    char sentinel[] = "unchanged";
    char* line = sentinel;
    // The first block is granted; growing it fails.
    zrtAllocator().realloc = [](void*, size_t) -> void* { return nullptr; };
    EXPECT_EQ(ZRT_fgets(inst.get(), &line, desc), 0);
    EXPECT_EQ(line, nullptr);
    zrtAllocator().malloc = [](size_t) -> void* { return nullptr; };
    line = sentinel;
    EXPECT_EQ(ZRT_fgets(inst.get(), &line, desc), 0);
    EXPECT_EQ(line, nullptr);
    zrtAllocator() = saved;
    EXPECT_EQ(host.exitCount(), 2);
    ZRT_FileClose(inst.get(), desc);
}

// ---- formatted output -----------------------------------------------------------

TEST(WriteMsg, WarningsAreSuppressedByTheirFormattedText) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    host.messageAnswer = 7;
    EXPECT_EQ(ZRT_WriteMsg(ZRT_MSG_WARNING, inst.get(), "count is %d", 1), 7);
    EXPECT_EQ(ZRT_WriteMsg(ZRT_MSG_WARNING, inst.get(), "count is %d", 2), 7);
    EXPECT_EQ(ZRT_WriteMsg(ZRT_MSG_WARNING, inst.get(), "count is %d", 1), 0);
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0].text, "count is 1");
    EXPECT_EQ(host.messages[0].type, ZRT_MSG_WARNING);
    EXPECT_EQ(host.messages[0].inst, inst.get());
    EXPECT_EQ(host.messages[0].sim, &host.sim);
    EXPECT_EQ(host.messages[1].text, "count is 2");

    // Errors are sent every time.
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(ZRT_WriteMsg(ZRT_MSG_ERROR, inst.get(), "bad value %g", 0.5), 7);
    }
    EXPECT_EQ(host.messages.size(), 4u);
    EXPECT_EQ(host.messages[3].text, "bad value 0.5");
}

TEST(WriteMsg, TextsBeyondTwentyThousandCharactersArriveWhole) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    const std::string part(25000, 'm');
    ZRT_WriteMsg(ZRT_MSG_ERROR, inst.get(), "<%s|%d>", part.c_str(), 42);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "<" + part + "|42>");
}

TEST(WriteMsgDeathTest, TheInstanceMustNotBeNull) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TestHost host;
    EXPECT_DEATH(ZRT_WriteMsg(ZRT_MSG_ERROR, nullptr, "text"), "pInst != 0");
    char* variable = nullptr;
    EXPECT_DEATH(ZRT_WriteString(&variable, nullptr, "text"), "pInst != 0");
}

TEST(FormattedOutput, WriteStringSsscanfSscanfAndLongFileText) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    char* variable = ZRT_strdup("old", &host.sim, inst.get());
    ZRT_WriteString(&variable, inst.get(), "v=%d, %s", 3, "ok");
    EXPECT_STREQ(variable, "v=3, ok");
    const std::string part(30000, 's');
    ZRT_WriteString(&variable, inst.get(), "%s!", part.c_str());
    EXPECT_EQ(std::string(variable), part + "!");
    ZRT_free(variable);

    char* text = ZRT_ssscanf(inst.get(), "%05.1f|%x", 2.25, 255u);
    EXPECT_STREQ(text, "002.2|ff");
    ZRT_free(text);

    int32_t i = 0;
    double d = 0.0;
    char word[8] = {};
    EXPECT_EQ(ZRT_sscanf("12 3.5 abc", nullptr, "%d %lf %7s", &i, &d, word), 3);
    EXPECT_EQ(i, 12);
    EXPECT_EQ(d, 3.5);
    EXPECT_STREQ(word, "abc");
    EXPECT_EQ(ZRT_sscanf(nullptr, nullptr, "%d", &i), 0);

    const std::string path = host.filePath("long.txt");
    int32_t desc = ZRT_FileOpen(inst.get(), path.c_str(), "w", 0);
    ZRT_WriteFile(desc, inst.get(), "%s%d", part.c_str(), 5);
    ZRT_FileClose(inst.get(), desc);
    EXPECT_EQ(readFile(path), part + "5");
    EXPECT_TRUE(host.messages.empty());
}

TEST(FormattedOutput, AnExhaustedHeapSendsAndWritesNothing) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    const std::string path = host.filePath("none.txt");
    int32_t desc = ZRT_FileOpen(inst.get(), path.c_str(), "w", 0);
    char* variable = ZRT_strdup("old", &host.sim, inst.get());
    ZRT_Allocator saved = zrtAllocator();
    zrtAllocator().malloc = [](size_t) -> void* { return nullptr; };
    EXPECT_EQ(ZRT_WriteMsg(ZRT_MSG_WARNING, inst.get(), "w %d", 1), 0);
    EXPECT_EQ(ZRT_ssscanf(inst.get(), "s %d", 1), nullptr);
    ZRT_WriteFile(desc, inst.get(), "f %d", 1);
    ZRT_WriteString(&variable, inst.get(), "v %d", 1);
    zrtAllocator() = saved;
    EXPECT_EQ(variable, nullptr);
    EXPECT_EQ(host.exitCount(), 4);
    for (const auto& m : host.messages) {
        EXPECT_EQ(m.text, "Out of memory.");
    }
    EXPECT_EQ(countCalls(host, "write"), 0);
    ZRT_FileClose(inst.get(), desc);
}

}  // namespace
