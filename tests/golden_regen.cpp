// Writes the golden values of the nine models anew:
//
//   cmake --build build --target golden_regen
//   build/tests/golden_regen tests/golden/model_values.txt
//
// Run it only after a deliberate change of the equations, and review the
// difference of the file before committing it: every changed value is a
// changed result. CI never runs it.
#include <cstdio>

#include "tests/golden_values.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <golden file to write>\n", argv[0]);
        return 2;
    }
    if (!testhost::writeGoldenFile(argv[1])) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
