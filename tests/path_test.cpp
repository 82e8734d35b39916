// Path utilities under the Windows rules, directory chains on the real file
// system and the dynamic-library loader.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "path/ZRT_Path.h"
#include "rte/platform.h"

namespace {

namespace fs = std::filesystem;

using Parts = std::pair<std::string, std::string>;

// Runs a splitting function with outputs as large as the path asks.
Parts split(void (*fn)(const char*, char*, char*), const char* path) {
    std::vector<char> first(path != nullptr ? std::string(path).size() + 1 : 1, '#');
    std::vector<char> second(first.size(), '#');
    fn(path, first.data(), second.data());
    return {first.data(), second.data()};
}

std::string joinPath(const char* dir, const char* name) {
    std::string out(512, '#');
    EXPECT_EQ(ZRT_JoinPath(dir, name, out.data()), 1);
    return out.c_str();
}

TEST(PathRules, AbsolutePathsNeedADriveAndSeparatorOrTwoSeparators) {
    for (const char* path : {"C:\\x", "c:/x", "\\\\server\\share", "//server"}) {
        EXPECT_EQ(ZRT_IsAbsPath(path), 1) << path;
    }
    for (const char* path : {"\\x", "/x", "C:", "x", "1:/x", "", static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(ZRT_IsAbsPath(path), 0) << (path != nullptr ? path : "null");
    }
}

TEST(PathRules, SplittingAndJoining) {
    EXPECT_EQ(split(ZRT_SplitPath, "a/b//c"), Parts("a/b", "c"));
    EXPECT_EQ(split(ZRT_SplitPath, "/c"), Parts("/", "c"));
    EXPECT_EQ(split(ZRT_SplitPath, "abc"), Parts("", "abc"));
    EXPECT_EQ(split(ZRT_SplitPath, "dir/"), Parts("dir", ""));
    EXPECT_EQ(split(ZRT_SplitPath, "C:\\d\\f.txt"), Parts("C:\\d", "f.txt"));
    EXPECT_EQ(split(ZRT_SplitPath, "\\\\x"), Parts("\\\\", "x"));
    EXPECT_EQ(split(ZRT_SplitPath, nullptr), Parts("", ""));
    // Longer than any fixed scratch buffer.
    const std::string longDir(400, 'd');
    EXPECT_EQ(split(ZRT_SplitPath, (longDir + "\\n").c_str()), Parts(longDir, "n"));
    char name[8] = "#";
    ZRT_SplitPath("a/b", nullptr, name);
    EXPECT_STREQ(name, "b");

    EXPECT_EQ(split(ZRT_SplitExt, "C:\\d\\f.txt"), Parts("C:\\d\\f", ".txt"));
    EXPECT_EQ(split(ZRT_SplitExt, ".bashrc"), Parts("", ".bashrc"));
    EXPECT_EQ(split(ZRT_SplitExt, "a.b/c"), Parts("a.b/c", ""));
    EXPECT_EQ(split(ZRT_SplitExt, ""), Parts("", ""));
    char ext[8] = "#";
    ZRT_SplitExt("x.c", nullptr, ext);
    EXPECT_STREQ(ext, ".c");

    EXPECT_EQ(joinPath("d", "C:\\x"), "C:\\x");
    EXPECT_EQ(joinPath("d\\", "x"), "d\\x");
    EXPECT_EQ(joinPath(nullptr, "x"), "x");
    EXPECT_EQ(joinPath("d", ""), "d");
    EXPECT_EQ(joinPath("", nullptr), "");
    EXPECT_EQ(ZRT_JoinPath("d", "x", nullptr), 1);
    EXPECT_EQ(joinPath("a/d", "x"), std::string("a/d") + kPlatformPathSeparator + "x");
}

#ifdef _WIN32
// The rules are the Windows runtime's own: msvcrt's _splitpath and
// _makepath agree with them on every path short enough for their buffers.
TEST(PathRules, AgreeWithTheWindowsRuntime) {
    for (const char* path : {"C:\\d\\f.txt", "c:f.tar.gz", "\\\\server\\share\\x.", ".bashrc", "a.b/c", "a/b.c/",
                             "dir\\", "noext", "/x/y.z", ""}) {
        char drive[_MAX_DRIVE], dir[_MAX_DIR], name[_MAX_FNAME], ext[_MAX_EXT];
        _splitpath(path, drive, dir, name, ext);
        EXPECT_EQ(split(ZRT_SplitExt, path), Parts(std::string(drive) + dir + name, ext)) << path;
    }
    for (const auto& [dir, name] : std::vector<Parts>{{"d", "x"}, {"d\\", "x"}, {"a/d/", "x.y"}, {"C:\\", "n"}}) {
        char made[_MAX_PATH];
        _makepath(made, nullptr, dir.c_str(), name.c_str(), nullptr);
        EXPECT_EQ(joinPath(dir.c_str(), name.c_str()), made) << dir << " " << name;
    }
}
#endif

class DirectoryChain : public ::testing::Test {
protected:
    void SetUp() override {
        // A fresh directory of this test's own, on every platform, which is
        // also the working directory of relative paths.
        std::random_device random;
        root_ = (fs::temp_directory_path() / ("zrt_path_" + std::to_string(random()))).string();
        ASSERT_TRUE(fs::create_directory(root_)) << root_;
        previous_ = fs::current_path();
        fs::current_path(root_);
    }
    void TearDown() override {
        // SetUp may have stopped before it set either.
        if (!previous_.empty()) {
            fs::current_path(previous_);
        }
        if (!root_.empty()) {
            fs::remove_all(root_);
        }
    }
    std::string at(const std::string& relative) const { return root_ + "/" + relative; }

    std::string root_;
    fs::path previous_;
};

TEST_F(DirectoryChain, MakesMissingParentsAndRefusesAFileInTheWay) {
    ASSERT_EQ(ZRT_MakeDirectories(at("a").c_str()), 1);
    EXPECT_EQ(ZRT_MakeDirectories(at("a/b/c").c_str()), 1);
    EXPECT_EQ(ZRT_IsDir(at("a/b/c").c_str()), 1);
    EXPECT_EQ(ZRT_MakeDirectories(at("a/b/c").c_str()), 1);
    // Backslashes separate too; a trailing separator is allowed.
    EXPECT_EQ(ZRT_MakeDirectories(at("a\\q\\r\\").c_str()), 1);
    EXPECT_TRUE(fs::is_directory(at("a/q/r")));

    std::ofstream(at("a/file")) << "x";
    EXPECT_EQ(ZRT_IsFile(at("a/file").c_str()), 1);
    EXPECT_EQ(ZRT_IsDir(at("a/file").c_str()), 0);
    EXPECT_EQ(ZRT_PathExists(at("a/file").c_str()), 1);
    EXPECT_EQ(ZRT_MakeDirectories(at("a/file").c_str()), 0);
    EXPECT_EQ(ZRT_MakeDirectories(at("a/file/x").c_str()), 0);
    EXPECT_EQ(ZRT_PathExists(at("missing").c_str()), 0);
    EXPECT_EQ(ZRT_IsFile(""), 0);
    EXPECT_EQ(ZRT_IsDir(nullptr), 0);

    EXPECT_EQ(ZRT_MakeDirectories(nullptr), 1);
    EXPECT_EQ(ZRT_MakeDirectories(""), 1);
    // A bare drive counts as there and is never made in the working directory.
    EXPECT_EQ(ZRT_MakeDirectories("Q:"), 1);
    EXPECT_FALSE(fs::exists("Q:"));
    // A directory on a drive that is not there is not made anywhere.
    for (const char* onDrive : {"Q:/", "Q:/a/", "Q:\\a", "Q:\\"}) {
        EXPECT_EQ(ZRT_MakeDirectories(onDrive), 0) << onDrive;
        EXPECT_FALSE(fs::exists("Q:")) << onDrive;
    }
#ifndef _WIN32
    // Only a letter makes a drive: "1:" heads an ordinary relative path.
    ASSERT_TRUE(fs::create_directories("1:/sub"));
    EXPECT_EQ(ZRT_IsDir("1:/sub"), 1);
    EXPECT_EQ(ZRT_PathExists("1:\\sub"), 1);
    EXPECT_EQ(ZRT_MakeDirectories("2:/x"), 1);
    EXPECT_TRUE(fs::is_directory(at("2:/x")));
    std::ofstream("3:") << "x";  // no drive, but a file in the way
    EXPECT_EQ(ZRT_MakeDirectories("3:"), 0);
#endif
}

TEST(DynamicLibrary, OpensFindsAndCloses) {
    void* handle = ZRT_DynLibOpen(DYNLIB_PROBE_PATH);
    ASSERT_NE(handle, nullptr);
    auto* answer = reinterpret_cast<int (*)()>(ZRT_DynLibSymbol(handle, "zrtProbeAnswer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(ZRT_DynLibSymbol(handle, "noSuchSymbol"), nullptr);
    EXPECT_EQ(ZRT_DynLibSymbol(handle, nullptr), nullptr);
    EXPECT_NE(ZRT_DynLibClose(handle), 0);

    EXPECT_EQ(ZRT_DynLibOpen("/no/such/library.so"), nullptr);
    EXPECT_EQ(ZRT_DynLibOpen(nullptr), nullptr);
    EXPECT_EQ(ZRT_DynLibSymbol(nullptr, "malloc"), nullptr);
    EXPECT_EQ(ZRT_DynLibClose(nullptr), 0);
    EXPECT_EQ(ZRT_DynLibError(), nullptr);
}

}  // namespace
