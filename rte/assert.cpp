#include <cstdio>
#include <cstdlib>

#include "rte/ZRT_Assert.h"

void ZRT_assertFail(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", condition, file, line);
    std::fflush(stderr);
    std::abort();
}
