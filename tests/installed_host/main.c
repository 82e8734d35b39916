/* A C host built against an installed lib_hbx (by its CMake package or its
 * pkg-config file): the C test host (c_host.c) registers cedar_a, sets an
 * instance up and loads it; this checks what it saw. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include "tests/c_host.h"

/* The event's analysis mask is the library's C++ allocation, which C cannot
 * release: only the descriptor is freed (four bytes are left). */
static void releaseEvent(ZRT_EventDesc* event) { free(event); }

int main(void) {
    const CHostModule cedar_a = {registerCallbacks_module_cedar_a_6, 7, 10, 5, 13, 1, releaseEvent};
    CHostResult r;
    if (c_host_run(&cedar_a, &r) != 0 || r.finalized != 1) {
        printf("cedar_a was not set up\n");
        return 1;
    }
    int loaded = 0;
    for (int slot = 0; slot < 4; ++slot) {
        for (int32_t k = 0; k < r.full[slot].count; ++k) {
            if (!isfinite(r.full[slot].values[k])) {
                printf("value %d of load slot %d is not finite\n", k, slot);
                return 1;
            }
        }
        loaded += r.full[slot].count;
    }
    printf("cedar_a: %d branches, %d stamps, %d values loaded\n", r.branches, r.stamps, loaded);
    return loaded == r.stamps ? 0 : 1;
}
