// Scans every instance parameter of the nine models around a working set and
// prints, per scanned value, whether the DC current flows and every reactive
// term stays non-negative. The host guide's parameter tables come from its
// output. Built with the tests, never run by them:
//
//   cmake --build build --target parameter_scan
//   build/tests/parameter_scan            # all nine models
//   build/tests/parameter_scan cedar_a    # one model
//
// At each value the model sits in the DC test circuit (d, g and s held, dii
// tied to di, gmin on every node) and is solved from zero at three bias
// points: (Vg, Vd) = (0, 0.5), (0, 5) and (-2, 5) volts. A value passes when
// all three converge, the drain current at every point with Vg = 0 is at
// least 0.1 mA, and at every point each reactive Jacobian value (every one
// is a capacitance, inductance or thermal capacitance on its own pair) is
// finite and not negative; its entry then shows the current at (0, 5) in mA.
// Otherwise the entry names the fault: "no-dc" (Newton did not converge),
// "C<0 rows" (every row pair whose reactive entry is negative) or, failing
// neither, "no-current@Vd" (below 0.1 mA at that drain voltage; the current
// follows in mA). The P5 and integer-parameter entries add the source
// inductance Ls in H. Under each real parameter's line an "ends" line narrows
// every change between two neighbouring values from passing to failing (or
// back) to two significant digits: the last passing and the first failing
// value found by bisection, each with its entry; a range end with no such
// change is only the end of the scanned values. Each model ends with its
// working set's noise powers.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/model_fixture.h"

namespace {

using namespace testhost;

struct Bias {
    double vg, vd;
};
const Bias kBias[] = {{0.0, 0.5}, {0.0, 5.0}, {-2.0, 5.0}};
constexpr size_t kOnBias = 1;
constexpr double kLeastCurrent = 1e-4;

// The integer parameters of the working set, by model: the factor N0 = 1,
// and the pad multiplier and the selector at 1 where a model has them.
std::vector<int32_t> workingInts(const ModuleSpec& spec) {
    const std::string name = spec.name;
    if (name == "alder_b" || name == "alder_c") {
        return {1, 0, 1};  // N1 is the zero switch: 0 keeps the drain's series inductance
    }
    return std::vector<int32_t>(static_cast<size_t>(spec.intParams), 1);
}

struct Verdict {
    std::string text;
    bool passes = false;
    double onCurrent = NAN;
    // The reactive entries at (0, 5) by row pair: F, H or J/K.
    std::vector<std::pair<std::string, double>> reactive;
    double sourceInductance() const {
        for (const auto& r : reactive) {
            if (r.first == "I(s-si)-gnd" || r.first == "I(sii-si)-gnd") {
                return r.second;
            }
        }
        return NAN;
    }
};

std::string rowName(const Circuit& circuit, const s_ZRT_StateVar* a, const s_ZRT_StateVar* b) {
    auto one = [&](const s_ZRT_StateVar* v) {
        const int i = v != nullptr ? circuit.find(v) : -1;
        return i < 0 ? std::string("gnd") : circuit.unknowns()[static_cast<size_t>(i)].name;
    };
    return one(a) + "-" + one(b);
}

// Names of the host's nodes for the report: the first array (dii shares
// di's unknown and keeps its name), then the second array's nodes by family.
void nameNodes(ModelCircuit& mc, const ModuleSpec& spec) {
    static const char* const kFirst[7] = {"g", "di", "s", nullptr, "si", "Tj", "d"};
    static const char* const kSecond[4][11] = {
        {"dRF", "gdi", "gi", "gn", "gp", "n12", "nTj", "xt1", "xt2"},
        {"dRF", "gdi", "gi", "gn", "gp", "n12", "nTj"},
        {"dRF", "gdi", "gi", nullptr, "gn", "gp", "n12", "sii", "xt1", "xt2"},
        {"dRF", "gdi", "gi", nullptr, "gn", "gp", "n12", "nTj", "sii", "xt1", "xt2"},
    };
    const auto& inst = mc.model.inst;
    for (size_t k = 0; k < 7; ++k) {
        if (kFirst[k] != nullptr && inst.nodeVars[k] != nullptr && mc.circuit->find(inst.nodeVars[k]) >= 0) {
            mc.circuit->name(inst.nodeVars[k], kFirst[k]);
        }
    }
    const char* const* second = kSecond[static_cast<int>(spec.family)];
    for (size_t k = 0; k < static_cast<size_t>(spec.internalNodes); ++k) {
        if (second[k] != nullptr && inst.internalVars[k] != nullptr && mc.circuit->find(inst.internalVars[k]) >= 0) {
            mc.circuit->name(inst.internalVars[k], second[k]);
        }
    }
    // Branch flows: "_ub_s_sii_i" reads "I(s-sii)".
    for (const Circuit::Unknown& u : mc.circuit->unknowns()) {
        const std::string& n = u.name;
        if (n.size() > 6 && n.compare(0, 4, "_ub_") == 0 && n.compare(n.size() - 2, 2, "_i") == 0) {
            std::string pair = n.substr(4, n.size() - 6);
            const size_t cut = pair.find('_');
            if (cut != std::string::npos) {
                pair[cut] = '-';
            }
            mc.circuit->name(u.var, "I(" + pair + ")");
        }
    }
}

Verdict judge(const ModuleSpec& spec, const std::vector<int32_t>& ints, const std::vector<double>& reals) {
    TestHost host;
    ModelCircuit mc(host, spec, ints, reals);
    nameNodes(mc, spec);
    DcOptions options;
    options.maxIterations = 100;
    Verdict v;
    std::vector<std::string> negative;
    std::string noCurrent;
    for (size_t k = 0; k < sizeof kBias / sizeof kBias[0]; ++k) {
        const DcResult r = mc.solve(kBias[k].vg, kBias[k].vd, 0.0, options);
        if (!r.converged) {
            v.text = "no-dc";
            return v;
        }
        if (k == kOnBias) {
            v.onCurrent = r.sourceCurrents[0];
        }
        if (kBias[k].vg == 0.0 && !(std::fabs(r.sourceCurrents[0]) >= kLeastCurrent) && noCurrent.empty()) {
            char text[64];
            std::snprintf(text, sizeof text, "no-current@%g %.3g", kBias[k].vd, r.sourceCurrents[0] * 1e3);
            noCurrent = text;
        }
        mc.circuit->load(r.x);
        for (const LoadRecord& rec : host.loads) {
            if (rec.slot != LoadSlot::DynamicJacobian) {
                continue;
            }
            for (size_t i = 0; i < rec.values.size(); ++i) {
                const StampRecord* s = host.findStamp(rec.handles[i]);
                const std::string row = s != nullptr ? rowName(*mc.circuit, s->rowA, s->rowB) : "?";
                if (k == kOnBias) {
                    v.reactive.emplace_back(row, rec.values[i]);
                }
                if ((!(rec.values[i] >= 0.0) || !std::isfinite(rec.values[i])) &&
                    std::find(negative.begin(), negative.end(), row) == negative.end()) {
                    negative.push_back(row);
                }
            }
        }
    }
    char current[48];
    std::snprintf(current, sizeof current, "%.3g", v.onCurrent * 1e3);
    if (!negative.empty()) {
        v.text = "C<0";
        for (const std::string& row : negative) {
            v.text += (row == negative.front() ? " " : ",") + row;
        }
    } else if (!noCurrent.empty()) {
        v.text = noCurrent;
    } else {
        v.text = current;
        v.passes = true;
    }
    return v;
}

// Values scanned per real parameter (0 to 12), around the working set.
const std::vector<double> kRealScan[13] = {
    {-1, 0, 0.5, 2, 4},                                    // P0 multiplicity
    {0, 19.9, 20, 20.1, 30, 100, 300},                     // P1
    {-130, -110, -20, 0, 10, 100, 300},                    // P2
    {0, 0.5, 1, 4, 8, 16},                                 // P3
    {0, 1, 2, 3, 6, 8, 12},                                // P4
    {0, 0.5, 1, 1.99, 2, 2.99, 3, 5.99, 6, 10},            // P5
    {-10, 0, 1, 100, 1000},                                // P6
    {-55, 0, 85, 125, 175},                                // P7
    {0, 5e-5, 1e-4, 2e-4, 4e-4, 7e-4, 1e-3, 2e-3},         // P8
    {-60, -40, -30, -17, -16, -10, -6, -5, -2, -1, -0.5, -0.1, -0.01, 0, 0.01, 0.1, 0.5, 1, 2, 3, 5, 10, 25,
     40, 60, 86, 88, 97, 98, 99, 101, 106, 107, 150, 175, 200, 250, 300, 500, 3000},  // P9
    {-8, -6, -4, -3, -1, -0.5, -0.4, -0.2, -0.1, 0, 1},    // P10
    {-1, -0.1, 0, 0.05, 0.1, 0.15, 0.2, 0.25, 0.5, 2, 5},  // P11
    {-1, -0.1, 0, 0.5, 2, 5},                              // P12
};
const std::vector<int32_t> kIntScan = {-1, 0, 1, 2, 3};

// A scanned value with its verdict's entry.
struct Point {
    double value;
    std::string text;
};

// Bisects real parameter k between a passing and a failing point until the
// two agree to two significant digits (an end at 0 is approached for at
// most kMaxHalvings steps) and prints both, in ascending order, with their
// entries.
constexpr int kMaxHalvings = 30;
void printEnd(const ModuleSpec& spec, const std::vector<int32_t>& ints, size_t k, Point passing, Point failing) {
    std::vector<double> r = kRealParams;
    double& pass = passing.value;
    double& fail = failing.value;
    for (int n = 0; n < kMaxHalvings && std::fabs(fail - pass) > 0.01 * std::max(std::fabs(pass), std::fabs(fail));
         ++n) {
        const double mid = 0.5 * (pass + fail);
        r[k] = mid;
        const Verdict v = judge(spec, ints, r);
        (v.passes ? passing : failing) = {mid, v.text};
    }
    const Point& low = pass < fail ? passing : failing;
    const Point& high = pass < fail ? failing : passing;
    std::printf(" | %.4g %s .. %.4g %s", low.value, low.text.c_str(), high.value, high.text.c_str());
}

void scanModel(const ModuleSpec& spec) {
    const std::vector<double> reals = kRealParams;
    const std::vector<int32_t> ints = workingInts(spec);
    std::printf("%s  ints", spec.name);
    for (int32_t n : ints) {
        std::printf(" %d", n);
    }
    const Verdict base = judge(spec, ints, reals);
    std::printf("  working set: %s (mA at Vg 0, Vd 5)\n  reactive entries at Vg 0, Vd 5:", base.text.c_str());
    for (const auto& r : base.reactive) {
        std::printf(" %s %.3g", r.first.c_str(), r.second);
    }
    std::printf("\n");
    for (size_t k = 0; k < 13; ++k) {
        std::printf("  P%-2d", static_cast<int>(k));
        std::vector<Point> points;
        std::vector<bool> passes;
        for (double value : kRealScan[k]) {
            std::vector<double> r = reals;
            r[k] = value;
            const Verdict v = judge(spec, ints, r);
            points.push_back({value, v.text});
            passes.push_back(v.passes);
            std::printf(" | %g %s", value, v.text.c_str());
            if (k == 5) {
                std::printf(" Ls %.3g", v.sourceInductance());
            }
        }
        std::printf("\n  P%-2d ends", static_cast<int>(k));
        for (size_t i = 1; i < passes.size(); ++i) {
            if (passes[i - 1] != passes[i]) {
                const Point& a = points[i - 1];
                const Point& b = points[i];
                printEnd(spec, ints, k, passes[i] ? b : a, passes[i] ? a : b);
            }
        }
        std::printf("\n");
    }
    for (size_t k = 0; k < ints.size(); ++k) {
        std::printf("  N%-2d", static_cast<int>(k));
        for (int32_t value : kIntScan) {
            std::vector<int32_t> n = ints;
            n[k] = value;
            const Verdict v = judge(spec, n, reals);
            std::printf(" | %d %s Ls %.3g", value, v.text.c_str(), v.sourceInductance());
        }
        std::printf("\n");
    }
}

// The four noise powers of the working set at (Vg, Vd) = (0, 5), and how
// often one full load asks DoNoise.
void noiseAtWorkingSet(const ModuleSpec& spec) {
    TestHost host;
    ModelCircuit mc(host, spec, workingInts(spec), kRealParams);
    const DcResult r = mc.solve(0.0, 5.0);
    if (!r.converged) {
        std::printf("%s  noise: no DC point\n", spec.name);
        return;
    }
    host.doNoise = 1;
    host.doNoiseCalls = 0;
    mc.circuit->load(r.x);
    std::printf("%s  noise powers", spec.name);
    for (int k = 0; k < 4; ++k) {
        std::printf(" %.4g", mc.model.inst.noiseSrcs[static_cast<size_t>(k)].power);
    }
    const int full = host.doNoiseCalls;
    host.doNoiseCalls = 0;
    mc.circuit->load(r.x, Circuit::LoadKind::RhsOnly);
    std::printf("  DoNoise asked %d times (full load), %d (right-hand side)\n", full, host.doNoiseCalls);
}

}  // namespace

int main(int argc, char** argv) {
    bool any = false;
    for (const ModuleSpec& spec : kModules) {
        if (argc > 1 && std::strcmp(argv[1], spec.name) != 0) {
            continue;
        }
        any = true;
        scanModel(spec);
        noiseAtWorkingSet(spec);
    }
    if (!any) {
        std::fprintf(stderr, "usage: %s [model]\n", argv[0]);
        return 2;
    }
    return 0;
}
