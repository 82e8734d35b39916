// The main of every test program: GoogleTest's run, guarded against a
// program that ends in the middle of its tests (a library that calls exit,
// as LAPACK's default error handler does, would end it with the status it
// chose, 0 included): such an end fails with status 1.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

bool g_testsEnded = false;

void failAnUnfinishedRun() {
    if (!g_testsEnded) {
        std::fputs("the test program ended before its last test\n", stderr);
        std::_Exit(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    std::atexit(failAnUnfinishedRun);
    const int result = RUN_ALL_TESTS();
    g_testsEnded = true;
    return result;
}
