#include "tests/golden_values.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tests/model_fixture.h"
#include "analog_files/topology_alder.h"
#include "analog_files/topology_birch.h"
#include "analog_files/topology_cedar.h"
#include "analog_files/topology_larch.h"

namespace testhost {
namespace {

using hbx::NodeRef;
using hbx::Where;

// The nodes a point places; ground where a family has none.
struct Nodes {
    NodeRef g, gi, gp, gn, gdi, d, di, dRF, s, si, sii, nTj, pTj, n12, xt1, xt2;
};

template <class T>
Nodes cedarNodes(NodeRef pTj) {
    return {T::g, T::gi, T::gp, T::gn, T::gdi, T::d, T::di, T::dRF, T::s, T::si, T::sii, T::nTj, pTj,
            T::n12, T::xt1, T::xt2};
}

Nodes nodesOf(Family family) {
    switch (family) {
    case Family::Alder: {
        using namespace hbx::alder;
        return {g, gi, gp, gn, gdi, d, di, dRF, s, si, hbx::gnd, nTj, pTj, n12, xt1, xt2};
    }
    case Family::Birch: {
        using namespace hbx::birch;
        return {g, gi, gp, gn, gdi, d, di, dRF, s, si, hbx::gnd, nTj, pTj, n12, hbx::gnd, hbx::gnd};
    }
    case Family::Cedar:
        return cedarNodes<hbx::cedar::Topology>(hbx::gnd);
    case Family::Larch:
        return cedarNodes<hbx::larch::Topology>(hbx::larch::Topology::pTj);
    }
    return {};
}

// A parameter set: the real parameters and the integer parameters (a model
// takes as many of these as it has). Together they reach every gate-charge
// case of the initial steps on both sides of P5 = 2 and 3, the temperature
// ranges of every model (P9 below 20, between 20 and 24, at 24, 25 and 37,
// above), both sides of P8 = 0.2e-3 and 0.4e-3, every finger-count case of P4
// and a multiplicity other than 1.
struct ParamSet {
    std::vector<double> reals;
    std::vector<int32_t> ints;
};

std::vector<ParamSet> paramSets() {
    //        P0   P1  P2  P3 P4  P5   P6  P7  P8      P9  P10 P11 P12
    return {
        {{1, 50, 30, 2, 4, 2.5, 10, 25, 2.5e-4, 45, -2, 1, 1}, {1, 0, 0}},
        {{2, 50, 30, 2, 8, 1.5, 10, 25, 1e-4, 22, -2, 1, 1}, {2, 1, 2}},
        {{1, 50, 30, 2, 6, 3.5, 10, 25, 5e-4, 24, -2, 1, 1}, {1, 2, 1}},
        {{1, 40, 20, 1, 10, 2.5, 10, 25, 2.5e-4, 30, -2, 1.2, 1}, {1, 1, 2}},
        {{1, 50, 30, 2, 2, 1.2, 10, 25, 4e-4, 10, -1.5, 1, 0.8}, {3, 3, 3}},
        {{0.5, 60, 30, 3, 12, 3.0, 20, 27, 2.5e-4, 37, -2, 1, 1}, {1, 2, 1}},
    };
}

// A bias point: terminal voltages, the gate-diode voltage V(gp, gn), the
// gate-drain voltage V(gdi, di) (NaN: the gate's side) and the junction
// temperature rise. The five points cover pinch-off and reverse drain, the
// drain voltage below 5, between 5 and 200 and above, the gate diode and
// ln_cosh beyond their switch-overs, and the clamp of the gate-drain
// capacitance's argument.
struct Bias {
    double vg, vd, vs, vGpGn, vGdiDi, tj;
};

Bias biasOf(size_t set, size_t k) {
    const double sign = set % 2 == 0 ? 1.0 : -1.0;
    const double mid[] = {12.0, 4.9, 150.0, 5.1, 199.0, 60.0};
    switch (k) {
    case 0: return {-0.5, 3.0, 0.0, 0.3, NAN, 3.0};
    case 1: return {-2.5, -1.0, 0.2, -1.2, NAN, 0.0};
    case 2: return {0.5, mid[set], 0.0, 0.7, NAN, 40.0};
    case 3: return {-1.0, 250.0, 0.0, 9.0, NAN, 10.0};
    default: return {0.0, 1.0, -0.1, -0.4, sign * 3e4, 80.0};
    }
}
constexpr size_t kBiasPoints = 5;

// Every unknown gets a small value of its own (branch flows keep it), then
// the nodes their potentials.
std::vector<double> solutionAt(ModelCircuit& mc, const Nodes& n, const Bias& b, double temperature) {
    std::vector<double> x = mc.circuit->zeros();
    for (size_t j = 0; j < x.size(); ++j) {
        x[j] = 1e-3 * static_cast<double>(static_cast<int>((j * 7) % 11) - 5);
    }
    const double di = b.vd - 0.021, si = b.vs + 0.011, gn = si + 0.009;
    const double gdi = std::isnan(b.vGdiDi) ? b.vg - 0.003 : di + b.vGdiDi;
    const std::pair<NodeRef, double> at[] = {
        {n.g, b.vg},          {n.gi, b.vg - 0.004},  {n.gn, gn},           {n.gp, gn + b.vGpGn},
        {n.gdi, gdi},         {n.d, b.vd},           {n.di, di},           {n.dRF, b.vd - 0.017},
        {n.s, b.vs},          {n.si, si},            {n.sii, b.vs + 0.006}, {n.nTj, b.tj},
        {n.pTj, temperature + b.tj}, {n.n12, 0.002}, {n.xt1, 0.03},       {n.xt2, 0.01},
    };
    for (const auto& [ref, volts] : at) {
        const s_ZRT_StateVar* var = mc.model.var(ref);
        if (var != nullptr && mc.circuit->find(var) >= 0) {
            mc.circuit->set(x, var, volts);
        }
    }
    return x;
}

std::string hex(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%a", v);
    return text;
}

GoldenLine line(const std::string& label, const std::vector<double>& values) {
    GoldenLine out{label, {}};
    for (double v : values) {
        out.values.push_back(hex(v));
    }
    return out;
}

// Runs one load at x and adds its lines: the loaded values of its slots (the
// Jacobian ones in the full load), the noise powers during a noise analysis,
// and the delay inputs a birch model passes: argument and delay time, then
// each derivative.
void addLoad(std::vector<GoldenLine>& out, TestHost& host, ModelCircuit& mc, const std::vector<double>& x,
             Circuit::LoadKind kind) {
    const bool full = kind == Circuit::LoadKind::Full;
    const std::string prefix = full ? "full." : "rhs.";
    host.delayLoads.clear();
    host.delayDerivs.clear();
    mc.circuit->load(x, kind);
    const Loaded l = lastLoad(host);
    out.push_back(line(prefix + "rr", l.rr));
    out.push_back(line(prefix + "rd", l.rd));
    if (full) {
        out.push_back(line(prefix + "jr", l.jr));
        out.push_back(line(prefix + "jd", l.jd));
    }
    if (host.doNoise != 0) {
        std::vector<double> noise;
        for (const ZRT_NoiseSrc& src : mc.model.inst.noiseSrcs) {
            noise.push_back(src.power);
        }
        out.push_back(line("noise", noise));
    }
    if (mc.model.spec.delayOp) {
        std::vector<double> delay;
        for (const DelayLoadRecord& r : host.delayLoads) {
            delay.push_back(r.x);
            delay.push_back(r.td);
        }
        for (const DelayDerivRecord& r : host.delayDerivs) {
            delay.push_back(r.deriv);
        }
        out.push_back(line(prefix + "delay", delay));
    }
}

// One point: a fresh instance; the full load with the initial step, the
// invariants due and a noise analysis, then the right-hand-side load of the
// next iteration.
void addPoint(std::vector<GoldenLine>& out, const ModuleSpec& spec, const ParamSet& set, const Bias& bias,
              const std::string& name, bool withSavedState) {
    TestHost host;
    ModelCircuit mc(host, spec, set.ints, set.reals);
    const std::vector<double> x = solutionAt(mc, nodesOf(spec.family), bias, set.reals[7]);
    out.push_back({"point " + name, {}});
    host.doNoise = 1;
    addLoad(out, host, mc, x, Circuit::LoadKind::Full);
    host.doNoise = 0;
    host.isInitialStep = 0;
    addLoad(out, host, mc, x, Circuit::LoadKind::RhsOnly);

    if (withSavedState) {
        std::string bytes;
        char byte[4];
        for (uint8_t b : saveState(mc.model)) {
            std::snprintf(byte, sizeof byte, "%02x", b);
            bytes += byte;
        }
        out.push_back({"saved", {bytes}});
    }
}

}  // namespace

std::vector<GoldenLine> goldenLines(const ModuleSpec& spec) {
    std::vector<GoldenLine> out;
    const std::vector<ParamSet> sets = paramSets();
    for (size_t s = 0; s < sets.size(); ++s) {
        for (size_t k = 0; k < kBiasPoints; ++k) {
            addPoint(out, spec, sets[s], biasOf(s, k), std::to_string(s) + "." + std::to_string(k), s == 0 && k == 0);
        }
    }
    return out;
}

std::vector<GoldenLine> readGoldenLines(const std::string& path, const std::string& model) {
    std::ifstream in(path);
    std::vector<GoldenLine> out;
    std::string text;
    bool inModel = false;
    while (std::getline(in, text)) {
        if (text.empty() || text[0] == '#') {
            continue;
        }
        std::istringstream words(text);
        GoldenLine l;
        words >> l.label;
        if (l.label == "model") {
            std::string name;
            words >> name;
            inModel = name == model;
            continue;
        }
        if (!inModel) {
            continue;
        }
        if (l.label == "point") {
            std::string rest;
            words >> rest;
            l.label += " " + rest;
        } else {
            for (std::string v; words >> v;) {
                l.values.push_back(v);
            }
        }
        out.push_back(l);
    }
    return out;
}

bool writeGoldenFile(const std::string& path) {
    std::ofstream out(path);
    out << "# Golden values of the nine models (hexadecimal doubles), compared bit for bit\n"
           "# by golden_test.cpp. Written by golden_regen; see golden_regen.cpp.\n";
    for (const ModuleSpec& spec : kModules) {
        out << "model " << spec.name << "\n";
        for (const GoldenLine& l : goldenLines(spec)) {
            out << l.label;
            for (const std::string& v : l.values) {
                out << ' ' << v;
            }
            out << '\n';
        }
    }
    return static_cast<bool>(out);
}

bool sameBits(const std::string& a, const std::string& b) {
    char* endA = nullptr;
    char* endB = nullptr;
    const double x = std::strtod(a.c_str(), &endA);
    const double y = std::strtod(b.c_str(), &endB);
    if (*endA != '\0' || *endB != '\0') {
        return false;
    }
    if (std::isnan(x) || std::isnan(y)) {
        return std::isnan(x) && std::isnan(y) && std::signbit(x) == std::signbit(y);
    }
    return std::memcmp(&x, &y, sizeof x) == 0;
}

}  // namespace testhost
