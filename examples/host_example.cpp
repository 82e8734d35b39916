// A worked host for lib_hbx: loads the library (dlopen, or LoadLibraryA on
// Windows), registers every model, holds d, g and s by voltage sources,
// solves the DC operating point and an Id-Vd family with Newton and gmin,
// saves one instance and restores it into another, and frees everything. It
// prints one table row per bias point: model, Vg, Vd, the currents into d, g
// and s, Newton iterations and whether the point converged. Usage:
// hbx_host_example path/to/lib_hbx.so (or lib_hbx.dll)
//
// The host side it shares with the transient example (the instance, the
// callbacks, Newton, save and restore) is in example_host.h and .cpp.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "example_host.h"

using namespace example;

namespace {

// The device's current into a terminal: its residual on that node.
double current(const Device& dev, Port port) { return dev.f[dev.first[port]->index]; }

// The operating point, a save and restore, and the Id-Vd family of one
// model; answers its failures. DC: every load of an operating point is part
// of the initial step.
int run(const ModelInfo& m, s_ZRT_ModuleDesc& md, s_ZRT_SimInterface& sim, const s_ZRT_ContribLoader* loader) {
    Device dev, copy;
    if (!setUp(dev, m, &md, &sim, "x1") || !setUp(copy, m, &md, &sim, "x2")) {
        std::printf("# %s: set-up refused\n", m.name);
        release(dev);
        release(copy);
        return 1;
    }
    int failures = 0;
    const int it = solve(dev, loader, {5.0, 0.0, 0.0});
    std::printf("# %s operating point at vd 5 V, vg 0 V: id %.6g A after %d iterations\n", m.name,
                current(dev, D), it);
    failures += it < 0;

    // Save at the operating point, restore into the second instance: with
    // no initial step, it loads what the first one loads.
    Checkpoint saved;
    saveInstance(dev, saved);
    const bool restored = restoreInstance(copy, saved);
    dev.initialStep = copy.initialStep = false;
    copy.x = dev.x;
    load(dev, loader);
    load(copy, loader);
    dev.initialStep = true;
    const bool same = restored && copy.f == dev.f && copy.G == dev.G && copy.q == dev.q && copy.C == dev.C;
    std::printf("# %s save %zu bytes, restore %d, %s\n", m.name, saved.bytes.size(), restored ? 1 : 0,
                same ? "same residuals" : "DIFFERENT residuals");
    failures += !same;

    // Id-Vd family, each drain sweep continuing from the previous point.
    for (double vg = -2.5; vg <= 0.5 + 1e-9; vg += 0.5) {
        std::fill(dev.x.begin(), dev.x.end(), 0.0);
        for (double vd = 0.0; vd <= 20.0 + 1e-9; vd += 1.0) {
            const int n = solve(dev, loader, {vd, vg, 0.0});
            failures += n < 0;
            // Every digit a double has, so that builds can be compared.
            std::printf("%s %.2f %.2f %.16e %.16e %.16e %d %s\n", m.name, vg, vd, current(dev, D),
                        current(dev, G), current(dev, S), n, n < 0 ? "FAILED" : "converged");
        }
        std::printf("\n");
    }
    std::printf("\n");
    release(dev);
    release(copy);
    return failures;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<const char*> names;
    for (const ModelInfo& m : kModels) names.push_back(m.name);
    return runModels(argc, argv, "# model vg vd id ig is iterations status", names, run);
}
