// A worked transient host for lib_hbx: the first model of every family as a
// common-source switch. The source is grounded, the gate driven by a pulse
// from -2 V to 0 V (1 ns edges), the drain fed from 10 V through 50 ohm.
// After the operating point at t = 0 the host integrates the charges with
// the trapezoidal rule in fixed steps of 50 ps up to 50 ns, solving every
// step with Newton, and accepts every converged point (tranAcceptPoint, then
// setMemoryStates). At 25 ns it saves the instance and restores it into a
// new one, which must then run on bit for bit as the original does.
//
// It prints one row per time point: model, time (ns), gate and drain
// voltage, the drain current (through the load into d), Newton iterations
// and whether the point converged; and per model one line on the restored
// run. Usage: hbx_transient_example path/to/lib_hbx.so (or lib_hbx.dll)
//
// How the host serves the loads (example_host.cpp): a residual f + dq/dt and
// a Jacobian G + (2/h) C, the reactive values being charges (fluxes on the
// branch rows, of the same sign); the analysis answered is tran with static
// at the operating point and tran alone in the steps; the initial step is
// the operating point only; birch's absdelay reads the host's history of
// accepted points.
#include <cstdio>
#include <cstring>
#include <vector>

#include "example_host.h"

using namespace example;

namespace {

constexpr double kSupply = 10.0;  // V
constexpr double kLoad = 50.0;    // ohm, from the supply to the drain
constexpr double kStep = 50e-12;  // s
constexpr int kSteps = 1000;      // to 50 ns
constexpr int kSaveStep = 500;    // 25 ns

// The gate pulse: -2 V, rising from 5 ns to 6 ns to 0 V, falling from 26 ns
// to 27 ns back to -2 V.
double gateVoltage(double t) {
    const double low = -2.0, high = 0.0, edge = 1e-9, rise = 5e-9, fall = 26e-9;
    if (t <= rise || t >= fall + edge) return low;
    if (t < rise + edge) return low + (high - low) * (t - rise) / edge;
    if (t <= fall) return high;
    return high + (low - high) * (t - fall) / edge;
}

// What the host carries from one accepted point to the next: the charges
// and their derivatives (zero at the operating point).
struct History {
    std::vector<double> q, qdot;
};

// One trapezoidal step to time t: Newton on f + (2/h)(q - qPrev) - qdotPrev,
// then the accepted point. Answers the iterations, or -1.
int step(Device& dev, const s_ZRT_ContribLoader* loader, History& h, double t) {
    const double alpha = 2.0 / kStep;
    dev.time = t;
    const int it = solve(dev, loader, {kSupply, gateVoltage(t), 0.0, kLoad}, {alpha, &h.q, &h.qdot});
    if (it < 0) return it;
    for (size_t i = 0; i < h.q.size(); ++i) {
        h.qdot[i] = alpha * (dev.q[i] - h.q[i]) - h.qdot[i];
    }
    h.q = dev.q;
    accept(dev, loader);
    return it;
}

double drainVoltage(const Device& dev) { return dev.x[dev.first[D]->index]; }

void printRow(const char* model, const Device& dev, int it) {
    const double vd = drainVoltage(dev);
    std::printf("%s %.3f %.16e %.16e %.16e %d %s\n", model, dev.time * 1e9, gateVoltage(dev.time), vd,
                (kSupply - vd) / kLoad, it, it < 0 ? "FAILED" : "converged");
}

bool sameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// The switching run of one model; answers its failures.
int run(const ModelInfo& m, s_ZRT_ModuleDesc& md, s_ZRT_SimInterface& sim, const s_ZRT_ContribLoader* loader) {
    Device dev;
    if (!setUp(dev, m, &md, &sim, "m1")) {
        std::printf("# %s: set-up refused\n", m.name);
        release(dev);
        return 1;
    }
    // The operating point at t = 0: the initial step, in the transient's
    // static part. It is accepted like every later point.
    dev.analysis = ZRT_ANALYSIS_TRAN | ZRT_ANALYSIS_STATIC;
    dev.initialStep = true;
    int failures = 0;
    int it = solve(dev, loader, {kSupply, gateVoltage(0.0), 0.0, kLoad});
    printRow(m.name, dev, it);
    if (it < 0) {
        release(dev);
        return 1;
    }
    accept(dev, loader);
    dev.analysis = ZRT_ANALYSIS_TRAN;
    dev.initialStep = false;
    History h{dev.q, std::vector<double>(dev.q.size(), 0.0)};

    for (int k = 1; k <= kSaveStep && failures == 0; ++k) {
        it = step(dev, loader, h, k * kStep);
        printRow(m.name, dev, it);
        failures += it < 0;
    }

    // Save, and restore into a new instance; the host hands it the circuit's
    // solution and charge history, which are the host's own.
    Device copy;
    Checkpoint saved;
    bool restored = failures == 0 && setUp(copy, m, &md, &sim, "m2") && saveInstance(dev, saved) &&
                    restoreInstance(copy, saved);
    copy.analysis = dev.analysis;
    copy.initialStep = false;
    copy.x = dev.x;
    History copyHistory = h;

    int identical = 0;
    for (int k = kSaveStep + 1; k <= kSteps && failures == 0; ++k) {
        it = step(dev, loader, h, k * kStep);
        printRow(m.name, dev, it);
        failures += it < 0;
        if (restored && step(copy, loader, copyHistory, k * kStep) == it && sameBits(copy.x, dev.x) &&
            sameBits(copy.f, dev.f) && sameBits(copy.q, dev.q)) {
            ++identical;
        } else {
            restored = false;
        }
    }
    std::printf("\n\n# %s restored at %.0f ns from %zu bytes: %d of %d steps bit-identical\n", m.name,
                kSaveStep * kStep * 1e9, saved.bytes.size(), identical, kSteps - kSaveStep);
    failures += identical != kSteps - kSaveStep;
    release(dev);
    release(copy);
    return failures;
}

}  // namespace

int main(int argc, char** argv) {
    return runModels(argc, argv, "# model t(ns) vg vd id iterations status",
                     {"alder_a", "birch_a", "cedar_a", "larch_a"}, run);
}
