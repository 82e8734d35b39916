// The guards of the test programs themselves: a run that ends early, and an
// illegal argument to the host's eigenvalue routine, must fail.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/host_eigen.h"

namespace {

TEST(TestProgram, AnEndBeforeTheLastTestFails) {
    EXPECT_EXIT(std::exit(0), testing::ExitedWithCode(1), "ended before its last test");
}

#ifndef _WIN32
void eigenOfNegativeOrder() {
    double a = 0.0;
    double w = 0.0;
    const int32_t order = -1;
    const int32_t one = 1;
    int32_t info = 0;
    testhost::lapackTable()->eigen("N", "N", &order, &a, &one, &w, &w, &w, &one, &w, &one, &w, &one, &info);
    EXPECT_EQ(info, -3);
}

TEST(HostEigen, AnIllegalArgumentFailsTheRunningTest) {
    EXPECT_NONFATAL_FAILURE(eigenOfNegativeOrder(), "DGEEV parameter number 3 had an illegal value");
}
#endif

}  // namespace
