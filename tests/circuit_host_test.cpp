// The circuit host: assembly by stamp handle, the finite-difference and
// right-hand-side checks and the DC Newton solve, on small devices written
// here the way a compiled module is: a private block, stamp requests through
// the simulator interface and batch loads through the loader.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <utility>
#include <vector>

#include "tests/circuit_host.h"
#include "tests/test_host.h"

namespace {

using testhost::Assembly;
using testhost::Circuit;
using testhost::DcOptions;
using testhost::DcResult;
using testhost::DenseMatrix;
using testhost::FdReport;
using testhost::StampKind;
using testhost::TestHost;
using testhost::TestInstance;

// ---- a frame for the test devices ---------------------------------------------

// One stamp request: positions in the device's state-variable list, -1 for
// ground. Residuals use rowA and rowB; a delay names rowA; a doublet names
// rowA and the columns.
struct StampSpec {
    StampKind kind;
    int rowA, rowB, colA, colB;
    bool reactive;
};

// Faults any device's frame can make at the host boundary.
enum class FrameFault { None, ForeignHandle, JacobiansSwapped, RhsLoadsJacobian };
FrameFault g_frameFault = FrameFault::None;

// Faults of the devices' own equations.
enum class ModelFault { None, WrongGm, MissingGds, WrongCapacitance, RhsDiffers };
ModelFault g_modelFault = ModelFault::None;

// Private block: the clone word first, as in every module.
struct DeviceBlock {
    void* clone = nullptr;
    std::vector<ZRT_Handle> handles;  // one per stamp, in request order
    s_ZRT_StateVar branchVar{};
    ZRT_BranchInfo branchInfo{};
};

DeviceBlock& blockOf(s_ZRT_DeviceInst* inst) { return *static_cast<DeviceBlock*>(inst->pModuleData); }

// A branch state variable for the flow from pos to neg, kept in the block and
// stored at `slot` of the second node array.
void createBranch(s_ZRT_DeviceInst* inst, void* hostData, const char* name, s_ZRT_StateVar* pos,
                  s_ZRT_StateVar* neg, size_t slot) {
    DeviceBlock& b = blockOf(inst);
    b.branchInfo = ZRT_BranchInfo{name, pos, neg, 1, 0, hostData, 1, 0};
    b.branchVar.branch = &b.branchInfo;
    inst->pSim->CreateBranch(inst->name, name, &b.branchVar.index, hostData);
    inst->internalVars[slot] = &b.branchVar;
}

// A device D supplies its state-variable list, its stamps, its branches and
// its equations: evaluate(inst, v, values, full) fills one value per stamp
// from the state variables' values v (residuals only when !full).
template <class D>
struct Module {
    static int32_t finalize(s_ZRT_DeviceInst* inst) {
        inst->pModuleData = new DeviceBlock;
        return 0;
    }
    static void destroy(s_ZRT_DeviceInst* inst) {
        delete static_cast<DeviceBlock*>(inst->pModuleData);
        inst->pModuleData = nullptr;
    }
    static void setStamp(s_ZRT_DeviceInst* inst, void* hostData) {
        const std::vector<s_ZRT_StateVar*> sv = D::vars(inst);
        auto at = [&](int k) { return k < 0 ? nullptr : sv[static_cast<size_t>(k)]; };
        s_ZRT_SimInterface* sim = inst->pSim;
        DeviceBlock& b = blockOf(inst);
        for (const StampSpec& s : D::stamps()) {
            ZRT_Handle h = nullptr;
            switch (s.kind) {
            case StampKind::StaticRhs: h = sim->CreateStaticRhsStamp(at(s.rowA), at(s.rowB), 0, inst, hostData); break;
            case StampKind::DynamicRhs:
                h = sim->CreateDynamicRhsStamp(at(s.rowA), at(s.rowB), 0, inst, hostData);
                break;
            case StampKind::Jacobian:
                h = sim->CreateJacobianStamp(at(s.rowA), at(s.rowB), at(s.colA), at(s.colB), s.reactive ? 1 : 0, 0,
                                             inst, hostData);
                break;
            case StampKind::Delay: h = sim->CreateDelayStamp(at(s.rowA), 0, 1, inst, hostData); break;
            case StampKind::Doublet:
                h = sim->CreateDerivDoublet(at(s.rowA), at(s.colA), at(s.colB), 0, 0, inst, hostData);
                break;
            }
            b.handles.push_back(h);
        }
    }
    static void run(s_ZRT_DeviceInst* inst, const s_ZRT_ContribLoader* loader, bool full) {
        const std::vector<s_ZRT_StateVar*> sv = D::vars(inst);
        std::vector<double> v;
        for (s_ZRT_StateVar* var : sv) {
            v.push_back(var != nullptr ? loader->GetSol(var, loader, inst) : 0.0);
        }
        const std::vector<StampSpec>& specs = D::stamps();
        std::vector<double> values(specs.size(), 0.0);
        D::evaluate(inst, v, values, full);

        // Batches: resistive and reactive residuals, resistive and reactive
        // Jacobian, doublets.
        std::vector<ZRT_Handle> handles[5];
        std::vector<double> batch[5];
        for (size_t k = 0; k < specs.size(); ++k) {
            int which = -1;
            switch (specs[k].kind) {
            case StampKind::StaticRhs: which = 0; break;
            case StampKind::DynamicRhs: which = 1; break;
            case StampKind::Jacobian: which = specs[k].reactive ? 3 : 2; break;
            case StampKind::Doublet: which = 4; break;
            case StampKind::Delay: break;
            }
            if (which >= 0) {
                handles[which].push_back(blockOf(inst).handles[k]);
                batch[which].push_back(values[k]);
            }
        }
        if (g_frameFault == FrameFault::ForeignHandle) {
            handles[0].push_back(reinterpret_cast<ZRT_Handle>(0xdead0));
            batch[0].push_back(1.0);
        }
        if (g_frameFault == FrameFault::JacobiansSwapped) {
            std::swap(handles[2], handles[3]);
            std::swap(batch[2], batch[3]);
        }
        auto send = [&](ZRT_BatchLoadFn fn, int which) {
            fn(static_cast<int32_t>(handles[which].size()), handles[which].data(), batch[which].data(), loader, inst);
        };
        send(loader->LoadStaticRhs, 0);
        send(loader->LoadDynamicRhs, 1);
        if (full || g_frameFault == FrameFault::RhsLoadsJacobian) {
            send(loader->LoadStaticJacobian, 2);
            send(loader->LoadDynamicJacobian, 3);
        }
        if (full && !handles[4].empty()) {
            send(loader->LoadStaticDoublet, 4);
        }
    }
    static void load(s_ZRT_DeviceInst* inst, const s_ZRT_ContribLoader* loader) { run(inst, loader, true); }
    static void loadRhs(s_ZRT_DeviceInst* inst, const s_ZRT_ContribLoader* loader) { run(inst, loader, false); }

    static s_ZRT_ModuleDesc descriptor() {
        s_ZRT_ModuleDesc md{};
        md.moduleName = D::name;
        md.hostFlags = 0x10;
        md.finalizeAnalogTopology = finalize;
        md.createBranches = D::createBranches;
        md.setAnalogStamp = setStamp;
        md.genericAnalogLoad = load;
        md.genericAnalogLoadRHS = loadRhs;
        md.destroyInst = destroy;
        return md;
    }
};

void noBranches(s_ZRT_DeviceInst*, void*) {}

// ---- the devices ------------------------------------------------------------------

// Loads fixed values on a stamp table the test sets, for checking the
// assembly by hand. Nodes a, b, c (first node array) and the branch a-b.
struct ProbeEntry {
    StampSpec spec;
    double value;
};
std::vector<ProbeEntry> g_probe;

struct Probe {
    static constexpr const char* name = "probe";
    enum { A, B, C, BR };
    static std::vector<s_ZRT_StateVar*> vars(s_ZRT_DeviceInst* inst) {
        return {inst->nodeVars[0], inst->nodeVars[1], inst->nodeVars[2], inst->internalVars[0]};
    }
    static const std::vector<StampSpec>& stamps() {
        static std::vector<StampSpec> specs;
        specs.clear();
        for (const ProbeEntry& e : g_probe) {
            specs.push_back(e.spec);
        }
        return specs;
    }
    static void createBranches(s_ZRT_DeviceInst* inst, void* hostData) {
        createBranch(inst, hostData, "_ub_a_b_i", inst->nodeVars[0], inst->nodeVars[1], 0);
    }
    static void evaluate(s_ZRT_DeviceInst*, const std::vector<double>&, std::vector<double>& values, bool) {
        for (size_t k = 0; k < g_probe.size(); ++k) {
            values[k] = g_probe[k].value;
        }
    }
};

// A diode with a series resistance and a junction plus diffusion charge:
// anode a, cathode k (first node array), inner anode ai (second). Real
// parameters: 1 Is, 2 n*Vt, 3 Rs, 4 Cj0, 5 transit time.
struct Diode {
    static constexpr const char* name = "diode";
    enum { A, K, AI };
    static std::vector<s_ZRT_StateVar*> vars(s_ZRT_DeviceInst* inst) {
        return {inst->nodeVars[0], inst->nodeVars[1], inst->internalVars[0]};
    }
    static const std::vector<StampSpec>& stamps() {
        static const std::vector<StampSpec> specs = {
            {StampKind::StaticRhs, A, AI, -1, -1, false},   // 0 resistor current
            {StampKind::StaticRhs, AI, K, -1, -1, false},   // 1 junction current
            {StampKind::DynamicRhs, AI, K, -1, -1, false},  // 2 junction charge
            {StampKind::Jacobian, A, AI, A, AI, false},     // 3
            {StampKind::Jacobian, AI, K, AI, K, false},     // 4
            {StampKind::Jacobian, AI, K, AI, K, true},      // 5
        };
        return specs;
    }
    static constexpr auto createBranches = noBranches;
    static void evaluate(s_ZRT_DeviceInst* inst, const std::vector<double>& v, std::vector<double>& out, bool full) {
        const double* p = inst->realParams;
        const double is = p[1], nvt = p[2], rs = p[3], cj0 = p[4], tt = p[5];
        const double vd = v[AI] - v[K];
        const double e = std::exp(vd / nvt);
        const double id = is * (e - 1.0);
        const double gd = is * e / nvt;
        out[0] = (v[A] - v[AI]) / rs;
        out[1] = id;
        if (!full && g_modelFault == ModelFault::RhsDiffers) {
            out[1] = std::nextafter(id, HUGE_VAL);
        }
        out[2] = cj0 * vd + tt * id;
        out[3] = 1.0 / rs;
        out[4] = gd;
        out[5] = cj0 + tt * gd;
        if (g_modelFault == ModelFault::WrongCapacitance) {
            out[5] *= 1.001;
        }
    }
};

// Channel current from drain to source of a square-law transistor and its
// derivatives by V(g,s) and V(d,s); symmetric in drain and source.
struct Channel {
    double id, gm, gds;
};
Channel squareLaw(double vgs, double vds, double k, double vt, double lambda) {
    if (vds < 0.0) {
        const Channel r = squareLaw(vgs - vds, -vds, k, vt, lambda);
        return {-r.id, -r.gm, r.gm + r.gds};
    }
    const double vov = vgs - vt;
    if (vov <= 0.0) {
        return {0.0, 0.0, 0.0};
    }
    const double clm = 1.0 + lambda * vds;
    double base, dGate, dDrain;
    if (vds < vov) {
        base = k * (vov - 0.5 * vds) * vds;
        dGate = k * vds;
        dDrain = k * (vov - vds);
    } else {
        base = 0.5 * k * vov * vov;
        dGate = k * vov;
        dDrain = 0.0;
    }
    return {base * clm, dGate * clm, dDrain * clm + base * lambda};
}

// A transistor laid out as the models are: first node array g, di, s, dii, d;
// second node array si and the branch d-di, whose flow is the drain current.
// The channel current flows from dii to si, controlled by V(g,si) and
// V(di,si); nothing inside connects dii, the host ties it to di. Source
// resistance s-si, gate charge on (g, si). Real parameters: 1 K, 2 Vt,
// 3 lambda, 4 Rs, 5 Cgs.
struct Transistor {
    static constexpr const char* name = "transistor";
    enum { G, DI, S, DII, D, SI, BR };
    static std::vector<s_ZRT_StateVar*> vars(s_ZRT_DeviceInst* inst) {
        s_ZRT_StateVar* const* n = inst->nodeVars;
        return {n[0], n[1], n[2], n[3], n[4], inst->internalVars[0], inst->internalVars[1]};
    }
    static const std::vector<StampSpec>& stamps() {
        static const std::vector<StampSpec> specs = {
            {StampKind::StaticRhs, BR, -1, -1, -1, false},   // 0 branch equation
            {StampKind::StaticRhs, D, DI, -1, -1, false},    // 1 branch flow
            {StampKind::StaticRhs, DII, SI, -1, -1, false},  // 2 channel
            {StampKind::StaticRhs, S, SI, -1, -1, false},    // 3 source resistance
            {StampKind::DynamicRhs, G, SI, -1, -1, false},   // 4 gate charge
            {StampKind::Jacobian, D, DI, BR, -1, false},     // 5
            {StampKind::Jacobian, BR, -1, D, DI, false},     // 6
            {StampKind::Jacobian, DII, SI, G, SI, false},    // 7 gm
            {StampKind::Jacobian, DII, SI, DI, SI, false},   // 8 gds
            {StampKind::Jacobian, S, SI, S, SI, false},      // 9
            {StampKind::Jacobian, G, SI, G, SI, true},       // 10
        };
        return specs;
    }
    static void createBranches(s_ZRT_DeviceInst* inst, void* hostData) {
        createBranch(inst, hostData, "_ub_d_di_i", inst->nodeVars[4], inst->nodeVars[1], 1);
    }
    static void evaluate(s_ZRT_DeviceInst* inst, const std::vector<double>& v, std::vector<double>& out, bool) {
        const double* p = inst->realParams;
        const Channel ch = squareLaw(v[G] - v[SI], v[DI] - v[SI], p[1], p[2], p[3]);
        out[0] = -(v[D] - v[DI]);
        out[1] = v[BR];
        out[2] = ch.id;
        out[3] = (v[S] - v[SI]) / p[4];
        out[4] = p[5] * (v[G] - v[SI]);
        out[5] = 1.0;
        out[6] = -1.0;
        out[7] = g_modelFault == ModelFault::WrongGm ? ch.gm * 1.01 : ch.gm;
        out[8] = g_modelFault == ModelFault::MissingGds ? 0.0 : ch.gds;
        out[9] = 1.0 / p[4];
        out[10] = p[5];
    }
};

// ---- test scaffolding ---------------------------------------------------------------

// An instance of a test device; frees its block at the end. Tie node slots
// before set-up.
struct Device {
    Device(TestHost& host, s_ZRT_ModuleDesc* md, const TestInstance::Shape& shape, std::vector<double> params)
        : inst(host, md, shape) {
        for (size_t k = 0; k < params.size(); ++k) {
            inst.realParams[k + 1] = params[k];
        }
    }
    ~Device() {
        if (inst->pModuleData != nullptr) {
            inst->pMD->destroyInst(inst.get());
        }
    }
    TestInstance inst;
};

TestInstance::Shape probeShape() {
    TestInstance::Shape s;
    s.externalNodes = 3;
    s.branchSlots = 1;
    return s;
}
TestInstance::Shape diodeShape() {
    TestInstance::Shape s;
    s.externalNodes = 2;
    s.internalNodes = 1;
    return s;
}
TestInstance::Shape transistorShape() {
    TestInstance::Shape s;
    s.externalNodes = 5;
    s.internalNodes = 1;
    s.branchSlots = 1;
    return s;
}

const std::vector<double> kDiodeParams = {1e-14, 0.025852, 100.0, 2e-12, 1e-9};
const std::vector<double> kTransistorParams = {2e-3, 0.7, 0.05, 20.0, 1e-12};

// Resets the global faults whatever a test does.
class CircuitHostTest : public ::testing::Test {
protected:
    void TearDown() override {
        g_frameFault = FrameFault::None;
        g_modelFault = ModelFault::None;
        g_probe.clear();
    }
    TestHost host;
};

// Scalar root of an increasing function by bisection, to the last bit.
template <class F>
double bisect(F f, double lo, double hi) {
    for (int i = 0; i < 2000 && lo < hi; ++i) {
        const double mid = 0.5 * (lo + hi);
        if (mid <= lo || mid >= hi) {
            break;
        }
        (f(mid) > 0.0 ? hi : lo) = mid;
    }
    return 0.5 * (lo + hi);
}

using Position = std::pair<std::string, std::string>;
std::set<Position> failingPositions(const FdReport& r, bool reactive) {
    std::set<Position> out;
    for (const testhost::FdMismatch& m : r.failures) {
        if (m.reactive == reactive) {
            out.insert({m.rowName, m.colName});
        }
    }
    return out;
}

void nameTransistor(Circuit& c, TestInstance& t) {
    const char* names[] = {"g", "di", "s", "dii", "d"};
    for (int k = 0; k < 5; ++k) {
        if (c.find(t.nodeVars[k]) >= 0 && c.unknowns()[c.at(t.nodeVars[k])].name[0] == '#') {
            c.name(t.nodeVars[k], names[k]);
        }
    }
    c.name(t.internalVars[0], "si");
}

// ---- assembly ------------------------------------------------------------------------

TEST_F(CircuitHostTest, AssemblesEveryStampWithItsSignPattern) {
    using P = Probe;
    g_probe = {
        {{StampKind::StaticRhs, P::A, P::B, -1, -1, false}, 1.5},
        {{StampKind::StaticRhs, P::C, -1, -1, -1, false}, 0.25},
        {{StampKind::StaticRhs, -1, P::C, -1, -1, false}, 0.125},
        {{StampKind::StaticRhs, P::BR, -1, -1, -1, false}, -2.0},
        {{StampKind::DynamicRhs, P::B, P::C, -1, -1, false}, 3.0},
        {{StampKind::Jacobian, P::A, P::B, P::A, P::B, false}, 0.1},
        {{StampKind::Jacobian, P::C, -1, P::B, -1, false}, 0.5},
        {{StampKind::Jacobian, -1, P::A, P::C, -1, false}, 2.0},
        {{StampKind::Jacobian, P::A, P::B, P::BR, -1, false}, 1.0},
        {{StampKind::Jacobian, P::BR, -1, P::A, P::B, false}, -1.0},
        {{StampKind::Jacobian, P::A, P::B, P::A, P::B, false}, 0.01},  // a second stamp on the same entries
        {{StampKind::Jacobian, P::B, P::C, P::B, P::C, true}, 4.0},
        {{StampKind::Delay, P::BR, -1, -1, -1, false}, 7.0},
        {{StampKind::Doublet, P::A, -1, P::B, P::C, false}, 9.0},
    };
    s_ZRT_ModuleDesc md = Module<Probe>::descriptor();
    Device dev(host, &md, probeShape(), {});
    ASSERT_EQ(Circuit::setUp(dev.inst.get()), 0);
    Circuit c(host, dev.inst.get());

    ASSERT_EQ(c.size(), 4u);
    const size_t a = c.at(dev.inst.nodeVars[0]), b = c.at(dev.inst.nodeVars[1]), cc = c.at(dev.inst.nodeVars[2]),
                 br = c.at(dev.inst.internalVars[0]);
    EXPECT_FALSE(c.unknowns()[a].isFlow);
    EXPECT_TRUE(c.unknowns()[br].isFlow);
    EXPECT_EQ(c.unknowns()[br].name, "_ub_a_b_i");

    const Assembly out = c.load(c.zeros());
    EXPECT_TRUE(out.problems.empty());
    std::vector<double> f(4), q(4);
    f[a] = 1.5;
    f[b] = -1.5;
    f[cc] = 0.25 - 0.125;
    f[br] = -2.0;
    q[b] = 3.0;
    q[cc] = -3.0;
    EXPECT_EQ(out.f, f);
    EXPECT_EQ(out.q, q);
    EXPECT_DOUBLE_EQ(out.fScale[cc], 0.375);

    DenseMatrix J(4), C(4);
    J(a, a) = 0.11;
    J(a, b) = -0.11;
    J(b, a) = -0.11;
    J(b, b) = 0.11;
    J(cc, b) = 0.5;
    J(a, cc) = -2.0;
    J(a, br) = 1.0;
    J(b, br) = -1.0;
    J(br, a) = -1.0;
    J(br, b) = 1.0;
    J(a, b) += 9.0;  // the doublet: row a, columns (b, c)
    J(a, cc) += -9.0;
    C(b, b) = 4.0;
    C(b, cc) = -4.0;
    C(cc, b) = -4.0;
    C(cc, cc) = 4.0;
    for (size_t i = 0; i < 4; ++i) {
        for (size_t j = 0; j < 4; ++j) {
            EXPECT_DOUBLE_EQ(out.J(i, j), J(i, j)) << "J " << i << "," << j;
            EXPECT_EQ(out.C(i, j), C(i, j)) << "C " << i << "," << j;
        }
    }

    // The right-hand-side load leaves the matrices empty.
    const Assembly rhs = c.load(c.zeros(), Circuit::LoadKind::RhsOnly);
    EXPECT_EQ(rhs.f, f);
    EXPECT_EQ(rhs.J.a, std::vector<double>(16, 0.0));
}

TEST_F(CircuitHostTest, SlotsSharingAStateVariableAreOneUnknown) {
    using P = Probe;
    g_probe = {
        {{StampKind::StaticRhs, P::A, P::B, -1, -1, false}, 1.0},
        {{StampKind::StaticRhs, P::C, -1, -1, -1, false}, 0.5},
        {{StampKind::Jacobian, P::C, -1, P::C, -1, false}, 3.0},
        {{StampKind::Jacobian, P::B, -1, P::A, -1, false}, 2.0},
    };
    s_ZRT_ModuleDesc md = Module<Probe>::descriptor();
    Device dev(host, &md, probeShape(), {});
    dev.inst.nodeVars[2] = dev.inst.nodeVars[1];  // c tied to b
    Circuit::setUp(dev.inst.get());
    Circuit c(host, dev.inst.get());

    ASSERT_EQ(c.size(), 2u);  // a and b; the branch has no stamp here
    const size_t a = c.at(dev.inst.nodeVars[0]), b = c.at(dev.inst.nodeVars[1]);
    std::vector<double> x = c.zeros();
    c.set(x, dev.inst.nodeVars[1], 0.75);
    const Assembly out = c.load(x);
    EXPECT_EQ(out.f[a], 1.0);
    EXPECT_EQ(out.f[b], -0.5);
    EXPECT_EQ(out.J(b, b), 3.0);
    EXPECT_EQ(out.J(b, a), 2.0);
    EXPECT_EQ(host.solution[dev.inst.nodeVars[1]->index], 0.75);
    EXPECT_THROW(c.set(x, dev.inst.internalVars[0], 1.0), std::invalid_argument);
}

TEST_F(CircuitHostTest, ReportsLoadsItCannotPlace) {
    using P = Probe;
    g_probe = {
        {{StampKind::StaticRhs, P::A, P::B, -1, -1, false}, 1.0},
        {{StampKind::Jacobian, P::A, -1, P::A, -1, false}, 1.0},
        {{StampKind::Jacobian, P::A, -1, P::A, -1, true}, 1.0},
    };
    s_ZRT_ModuleDesc md = Module<Probe>::descriptor();
    Device dev(host, &md, probeShape(), {});
    Circuit::setUp(dev.inst.get());
    Circuit c(host, dev.inst.get());

    g_frameFault = FrameFault::ForeignHandle;
    Assembly out = c.load(c.zeros());
    ASSERT_EQ(out.problems.size(), 1u);
    EXPECT_NE(out.problems[0].find("LoadStaticRhs value 1"), std::string::npos) << out.problems[0];
    EXPECT_EQ(out.f[c.at(dev.inst.nodeVars[0])], 1.0);  // the sound value still counts

    g_frameFault = FrameFault::JacobiansSwapped;
    out = c.load(c.zeros());
    EXPECT_EQ(out.problems.size(), 2u);
    const FdReport fd = c.checkJacobian(c.zeros());
    EXPECT_FALSE(fd.passed());
    EXPECT_FALSE(fd.problems.empty());
}

TEST(DenseSolve, PivotsAndRefusesSingularSystems) {
    DenseMatrix m(3);
    const double rows[3][3] = {{0.0, 2.0, 1.0}, {1.0, 1.0, 0.0}, {4.0, 0.0, 1.0}};
    for (size_t i = 0; i < 3; ++i) {
        for (size_t j = 0; j < 3; ++j) {
            m(i, j) = rows[i][j];
        }
    }
    std::vector<double> b = {7.0, 3.0, 7.0};  // x = (1, 2, 3)
    ASSERT_TRUE(testhost::solveDense(m, b));
    EXPECT_NEAR(b[0], 1.0, 1e-15);
    EXPECT_NEAR(b[1], 2.0, 1e-15);
    EXPECT_NEAR(b[2], 3.0, 1e-15);

    DenseMatrix s(3);
    s(0, 0) = 1.0;
    s(1, 0) = 2.0;
    s(2, 2) = 1.0;  // column 1 is empty
    std::vector<double> bs = {1.0, 1.0, 1.0};
    size_t column = 99;
    EXPECT_FALSE(testhost::solveDense(s, bs, &column));
    EXPECT_EQ(column, 1u);

    DenseMatrix nan(1);
    nan(0, 0) = std::nan("");
    std::vector<double> bn = {1.0};
    EXPECT_FALSE(testhost::solveDense(nan, bn));
}

// ---- finite differences ----------------------------------------------------------------

TEST_F(CircuitHostTest, JacobiansOfSoundDevicesMatchTheirResiduals) {
    s_ZRT_ModuleDesc diodeMd = Module<Diode>::descriptor();
    Device diode(host, &diodeMd, diodeShape(), kDiodeParams);
    Circuit::setUp(diode.inst.get());
    Circuit dc(host, diode.inst.get());
    for (double va : {-0.5, 0.2, 0.55, 0.68, 0.75}) {
        std::vector<double> x = dc.zeros();
        dc.set(x, diode.inst.nodeVars[0], va);
        dc.set(x, diode.inst.nodeVars[1], 0.05);
        dc.set(x, diode.inst.internalVars[0], va - 0.01);
        const FdReport r = dc.checkJacobian(x, {.absTol = 1e-18});
        EXPECT_TRUE(r.passed()) << "va " << va << ": " << r.summary();
        EXPECT_EQ(r.checked, 11u);  // 7 resistive, 4 reactive entries
    }

    s_ZRT_ModuleDesc trMd = Module<Transistor>::descriptor();
    Device tr(host, &trMd, transistorShape(), kTransistorParams);
    Circuit::setUp(tr.inst.get());
    Circuit tc(host, tr.inst.get());
    ASSERT_EQ(tc.size(), 7u);
    nameTransistor(tc, tr.inst);
    for (double vgs : {0.4, 1.0, 1.6, 2.5}) {
        for (double vds : {-0.4, 0.25, 1.2, 2.8}) {
            std::vector<double> x = tc.zeros();
            tc.set(x, tr.inst.nodeVars[0], vgs + 0.02);
            tc.set(x, tr.inst.internalVars[0], 0.02);
            tc.set(x, tr.inst.nodeVars[1], vds + 0.02);
            tc.set(x, tr.inst.nodeVars[4], vds + 0.03);
            tc.set(x, tr.inst.internalVars[1], 1e-3);
            const FdReport r = tc.checkJacobian(x, {.absTol = 1e-15});
            EXPECT_TRUE(r.passed()) << vgs << ", " << vds << ": " << r.summary();
        }
    }
}

TEST_F(CircuitHostTest, FiniteDifferencesNameTheWrongEntries) {
    s_ZRT_ModuleDesc trMd = Module<Transistor>::descriptor();
    Device tr(host, &trMd, transistorShape(), kTransistorParams);
    Circuit::setUp(tr.inst.get());
    Circuit tc(host, tr.inst.get());
    nameTransistor(tc, tr.inst);
    std::vector<double> x = tc.zeros();
    tc.set(x, tr.inst.nodeVars[0], 1.8);
    tc.set(x, tr.inst.nodeVars[1], 2.0);
    tc.set(x, tr.inst.nodeVars[4], 2.0);
    tc.set(x, tr.inst.internalVars[0], 0.01);

    g_modelFault = ModelFault::WrongGm;
    FdReport r = tc.checkJacobian(x, {.absTol = 1e-15});
    EXPECT_EQ(r.failureCount, 4u) << r.summary();
    EXPECT_EQ(failingPositions(r, false),
              (std::set<Position>{{"dii", "g"}, {"dii", "si"}, {"si", "g"}, {"si", "si"}}));
    EXPECT_TRUE(failingPositions(r, true).empty());
    EXPECT_EQ(r.worst.ratio, r.failures[0].ratio);
    EXPECT_NEAR(r.failures[0].analytic / r.failures[0].numeric, 1.01, 1e-6) << r.summary();
    // A floor by row scale lets the si row's source conductance hide the error there.
    r = tc.checkJacobian(x, {.absTol = 1e-15, .rowRelTol = 1e-3});
    EXPECT_EQ(failingPositions(r, false), (std::set<Position>{{"dii", "g"}, {"dii", "si"}})) << r.summary();

    g_modelFault = ModelFault::MissingGds;
    r = tc.checkJacobian(x, {.absTol = 1e-15});
    EXPECT_EQ(failingPositions(r, false),
              (std::set<Position>{{"dii", "di"}, {"dii", "si"}, {"si", "di"}, {"si", "si"}}))
        << r.summary();

    s_ZRT_ModuleDesc diodeMd = Module<Diode>::descriptor();
    Device diode(host, &diodeMd, diodeShape(), kDiodeParams);
    Circuit::setUp(diode.inst.get());
    Circuit dc(host, diode.inst.get());
    dc.name(diode.inst.nodeVars[1], "k");
    dc.name(diode.inst.internalVars[0], "ai");
    std::vector<double> xd = dc.zeros();
    dc.set(xd, diode.inst.nodeVars[0], 0.7);
    dc.set(xd, diode.inst.internalVars[0], 0.65);
    g_modelFault = ModelFault::WrongCapacitance;
    r = dc.checkJacobian(xd, {.absTol = 1e-18});
    EXPECT_TRUE(failingPositions(r, false).empty()) << r.summary();
    EXPECT_EQ(failingPositions(r, true),
              (std::set<Position>{{"ai", "ai"}, {"ai", "k"}, {"k", "ai"}, {"k", "k"}}));
}

// ---- the right-hand-side load ------------------------------------------------------------

TEST_F(CircuitHostTest, RhsLoadComparedBitForBit) {
    s_ZRT_ModuleDesc md = Module<Diode>::descriptor();
    Device dev(host, &md, diodeShape(), kDiodeParams);
    Circuit::setUp(dev.inst.get());
    Circuit c(host, dev.inst.get());
    std::vector<double> x = c.zeros();
    c.set(x, dev.inst.nodeVars[0], 0.7);
    c.set(x, dev.inst.internalVars[0], 0.62);

    EXPECT_TRUE(c.checkRhsLoad(x).identical());

    g_modelFault = ModelFault::RhsDiffers;
    testhost::RhsReport r = c.checkRhsLoad(x);
    ASSERT_EQ(r.differences.size(), 1u) << r.summary();
    EXPECT_NE(r.differences[0].find("LoadStaticRhs value 1"), std::string::npos) << r.summary();

    g_modelFault = ModelFault::None;
    g_frameFault = FrameFault::RhsLoadsJacobian;
    r = c.checkRhsLoad(x);
    EXPECT_FALSE(r.identical());
    EXPECT_NE(r.summary().find("called LoadStaticJacobian"), std::string::npos) << r.summary();
}

// ---- DC Newton --------------------------------------------------------------------------

TEST_F(CircuitHostTest, NewtonFindsTheDiodeOperatingPoint) {
    s_ZRT_ModuleDesc md = Module<Diode>::descriptor();
    Device dev(host, &md, diodeShape(), kDiodeParams);
    Circuit::setUp(dev.inst.get());
    Circuit c(host, dev.inst.get());
    const double is = kDiodeParams[0], nvt = kDiodeParams[1], rs = kDiodeParams[2], gmin = 1e-12;

    for (double va : {0.3, 0.6, 0.8, 1.5}) {
        const DcResult r = c.solveDc({{dev.inst.nodeVars[0], va}, {dev.inst.nodeVars[1], 0.0}},
                                     {.gmin = gmin, .maxVoltageStep = 0.2});
        ASSERT_TRUE(r.converged) << va << ": " << r.failure;
        EXPECT_LE(r.iterations, 50);
        // KCL at the inner anode: (va - vd) / Rs = Is (exp(vd / nVt) - 1) + gmin vd.
        const double vd = bisect(
            [&](double v) { return is * std::expm1(v / nvt) + gmin * v - (va - v) / rs; }, 0.0, va);
        EXPECT_NEAR(c.get(r.x, dev.inst.internalVars[0]), vd, 1e-12 + 1e-12 * vd) << va;
        const double current = (va - vd) / rs;
        EXPECT_NEAR(r.sourceCurrents[0], current, 1e-9 * std::fabs(current)) << va;
        // The cathode source takes the junction current: the resistor's less gmin's.
        EXPECT_NEAR(r.sourceCurrents[1], -(current - gmin * vd), 1e-9 * std::fabs(current));
        const double order = testhost::convergenceOrder(r.updateNorms, 1e-13);
        if (!std::isnan(order)) {
            EXPECT_GT(order, 1.7) << va;
        }
        EXPECT_EQ(r.residualNorms.size(), static_cast<size_t>(r.iterations) + 1);
    }
}

TEST_F(CircuitHostTest, NewtonSweepsTheTransistorFamily) {
    s_ZRT_ModuleDesc md = Module<Transistor>::descriptor();
    Device dev(host, &md, transistorShape(), kTransistorParams);
    TestInstance& t = dev.inst;
    t.nodeVars[3] = t.nodeVars[1];  // dii tied to di
    Circuit::setUp(t.get());
    Circuit c(host, t.get());
    ASSERT_EQ(c.size(), 6u);

    const double k = kTransistorParams[0], vt = kTransistorParams[1], lambda = kTransistorParams[2],
                 rs = kTransistorParams[3], gmin = 1e-12;
    std::vector<double> gates = {0.5, 1.0, 1.5, 2.0, 3.0};
    std::vector<double> drains;
    for (int i = 0; i < 20; ++i) {
        drains.push_back(-0.5 + 0.2 * i);
    }
    const std::vector<testhost::IdVdPoint> family =
        c.idVdFamily({t.nodeVars[4], t.nodeVars[0], t.nodeVars[2]}, gates, drains, 0.0, {.gmin = gmin});
    ASSERT_EQ(family.size(), 100u);
    int quadraticShown = 0;
    for (size_t n = 0; n < family.size(); ++n) {
        const testhost::IdVdPoint& p = family[n];
        ASSERT_TRUE(p.result.converged) << p.vg << ", " << p.vd << ": " << p.result.failure;
        EXPECT_LE(p.result.iterations, 50);
        // KCL at si: (vsi - vs) / Rs + gmin vsi = Ids(vg - vsi, vd - vsi).
        const double vsi = bisect(
            [&](double v) { return v / rs + gmin * v - squareLaw(p.vg - v, p.vd - v, k, vt, lambda).id; }, -10.0,
            10.0);
        const double id = squareLaw(p.vg - vsi, p.vd - vsi, k, vt, lambda).id + gmin * p.vd;
        EXPECT_NEAR(p.drainCurrent, id, 1e-9 * std::fabs(id) + 1e-15) << p.vg << ", " << p.vd;
        EXPECT_NEAR(c.get(p.result.x, t.internalVars[0]), vsi, 1e-12) << p.vg << ", " << p.vd;
        EXPECT_NEAR(c.get(p.result.x, t.nodeVars[1]), p.vd, 1e-12);  // the branch holds di at d
        // Along a curve the drain current rises with the drain voltage.
        if (n % drains.size() != 0) {
            EXPECT_GE(p.drainCurrent, family[n - 1].drainCurrent) << p.vg << ", " << p.vd;
        }
        const double order = testhost::convergenceOrder(p.result.updateNorms, 1e-13);
        if (!std::isnan(order)) {
            EXPECT_GT(order, 1.7) << p.vg << ", " << p.vd;
            ++quadraticShown;
        }
    }
    EXPECT_GT(quadraticShown, 10);
}

TEST_F(CircuitHostTest, NewtonReportsWhatStopsIt) {
    s_ZRT_ModuleDesc md = Module<Diode>::descriptor();
    Device dev(host, &md, diodeShape(), kDiodeParams);
    Circuit::setUp(dev.inst.get());
    Circuit c(host, dev.inst.get());
    s_ZRT_StateVar* a = dev.inst.nodeVars[0];
    s_ZRT_StateVar* k = dev.inst.nodeVars[1];

    // Plain Newton from zero overshoots into an infinite junction current.
    DcResult r = c.solveDc({{a, 100.0}, {k, 0.0}});
    EXPECT_FALSE(r.converged);
    EXPECT_NE(r.failure.find("not finite"), std::string::npos) << r.failure;
    // Limiting the step takes it there.
    r = c.solveDc({{a, 100.0}, {k, 0.0}}, {.maxIterations = 100, .maxVoltageStep = 0.1});
    EXPECT_TRUE(r.converged) << r.failure;

    r = c.solveDc({{a, 0.8}, {k, 0.0}}, {.maxIterations = 2, .maxVoltageStep = 0.1});
    EXPECT_FALSE(r.converged);
    EXPECT_EQ(r.failure, "no convergence in 2 iterations");
    EXPECT_EQ(r.iterations, 2);

    r = c.solveDc({{a, 0.8}, {a, 0.7}});
    EXPECT_EQ(r.failure, "two sources hold one node");

    s_ZRT_StateVar stray{};
    stray.index = 9999;
    r = c.solveDc({{&stray, 1.0}});
    EXPECT_FALSE(r.converged);
    EXPECT_FALSE(r.failure.empty());

    // Without gmin an inner node that nothing holds makes the system singular.
    s_ZRT_ModuleDesc trMd = Module<Transistor>::descriptor();
    Device tr(host, &trMd, transistorShape(), kTransistorParams);
    Circuit::setUp(tr.inst.get());
    Circuit tc(host, tr.inst.get());
    tc.name(tr.inst.nodeVars[3], "dii");
    r = tc.solveDc({{tr.inst.nodeVars[4], 1.0}, {tr.inst.nodeVars[0], 1.0}, {tr.inst.nodeVars[2], 0.0}},
                   {.gmin = 0.0});
    EXPECT_FALSE(r.converged);
    EXPECT_EQ(r.failure, "singular Jacobian at unknown dii");
}

}  // namespace
