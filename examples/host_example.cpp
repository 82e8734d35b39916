// A worked host for lib_hbx: loads the library (dlopen, or LoadLibraryA on
// Windows), registers every
// model, holds d, g and s by voltage sources, solves the DC operating point
// and an Id-Vd family with Newton and gmin, saves one instance and restores
// it into another, and frees everything. It prints one table row per bias
// point: model, Vg, Vd, the currents into d, g and s, Newton iterations and
// whether the point converged. Usage: hbx_host_example path/to/lib_hbx.so
// (or lib_hbx.dll)
#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <vector>

#include "ZRT_HostInterface.h"

namespace {

struct ModelInfo {
    const char* name;
    const char* exportName;
    int secondNodes;   // host nodes of the second array
    int branchSlots;   // room behind them for the branch state variables
    int unusedSlot;    // a second-array slot the model never reads, or -1
};
const ModelInfo kModels[9] = {
    {"alder_a", "registerCallbacks_module_alder_a_1", 9, 4, -1},
    {"alder_b", "registerCallbacks_module_alder_b_2", 9, 4, -1},
    {"alder_c", "registerCallbacks_module_alder_c_3", 9, 4, -1},
    {"birch_a", "registerCallbacks_module_birch_a_4", 7, 3, -1},
    {"birch_c", "registerCallbacks_module_birch_c_5", 7, 3, -1},
    {"cedar_a", "registerCallbacks_module_cedar_a_6", 10, 5, 3},
    {"cedar_b", "registerCallbacks_module_cedar_b_7", 10, 5, 3},
    {"larch_a", "registerCallbacks_module_larch_a_8", 11, 5, 3},
    {"cedar_c", "registerCallbacks_module_cedar_c_9", 10, 5, 3},
};
// First array, in every model: g, di, s, dii, si, pTj (nTj in cedar), d.
enum Port { G = 0, DI = 1, S = 2, DII = 3, D = 6 };
const double kRealParams[13] = {1, 50, 30, 2, 4, 2.5, 10, 25, 2.5e-4, 45, -2, 1, 1};

// One stamp: rows (a, b) and, for a Jacobian or doublet, columns (c, d), as
// unknown numbers; -1 is ground. A reactive entry is left out of DC.
struct Stamp {
    int a, b, c, d;
    bool reactive;
};

struct Device {
    s_ZRT_DeviceInst inst{};
    s_ZRT_ModuleDesc* md = nullptr;
    std::deque<s_ZRT_StateVar> nodes;
    std::vector<s_ZRT_StateVar*> first, second;
    double real[13];
    int32_t ints[3] = {1, 0, 0};  // one to three are read, by model
    ZRT_NoiseSrc noise[4] = {};
    ZRT_EventDesc* events[1] = {};
    s_ZRT_LimexpDesc* limexps[1] = {};
    std::vector<Stamp> stamps;
    size_t unknowns = 0;
    std::vector<bool> isNode;
    std::vector<double> x, f, J;  // solution, residuals, Jacobian (row-major)
};

int unknownOf(const s_ZRT_StateVar* sv) { return sv != nullptr ? static_cast<int>(sv->index) : -1; }
// The instance's host words are the host's own: the first leads back to the device.
Device* deviceOf(s_ZRT_DeviceInst* inst) { return static_cast<Device*>(inst->host2[0]); }

ZRT_Handle addStamp(s_ZRT_DeviceInst* inst, Stamp s) {
    deviceOf(inst)->stamps.push_back(s);
    return reinterpret_cast<ZRT_Handle>(deviceOf(inst)->stamps.size());  // 1, 2, ...: never null
}
const Stamp& stampOf(s_ZRT_DeviceInst* inst, ZRT_Handle h) {
    return deviceOf(inst)->stamps[reinterpret_cast<uintptr_t>(h) - 1];
}

// ---- the host's library loader ---------------------------------------------
#ifdef _WIN32
using Library = HMODULE;
Library openLibrary(const char* path) { return LoadLibraryA(path); }
void* findExport(Library lib, const char* name) { return reinterpret_cast<void*>(GetProcAddress(lib, name)); }
void closeLibrary(Library lib) { FreeLibrary(lib); }
void reportOpenFailure(const char* path) {
    std::fprintf(stderr, "LoadLibraryA(%s) failed: error %lu\n", path, GetLastError());
}
const char* const kDefaultLibrary = "lib_hbx.dll";
#else
using Library = void*;
Library openLibrary(const char* path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }
void* findExport(Library lib, const char* name) { return dlsym(lib, name); }
void closeLibrary(Library lib) { dlclose(lib); }
void reportOpenFailure(const char*) { std::fprintf(stderr, "%s\n", dlerror()); }
const char* const kDefaultLibrary = "lib_hbx.so";
#endif

// ---- simulator interface ----------------------------------------------------
void createBranch(const char*, const char*, uint32_t* index, void* hostData) {
    Device* dev = static_cast<Device*>(hostData);
    *index = static_cast<uint32_t>(dev->unknowns++);
    dev->isNode.push_back(false);
}
ZRT_Handle rhsStamp(s_ZRT_StateVar* a, s_ZRT_StateVar* b, int32_t, s_ZRT_DeviceInst* inst, void*) {
    return addStamp(inst, {unknownOf(a), unknownOf(b), -1, -1, false});
}
ZRT_Handle reactiveRhsStamp(s_ZRT_StateVar* a, s_ZRT_StateVar* b, int32_t, s_ZRT_DeviceInst* inst, void*) {
    return addStamp(inst, {unknownOf(a), unknownOf(b), -1, -1, true});
}
ZRT_Handle jacobianStamp(s_ZRT_StateVar* ra, s_ZRT_StateVar* rb, s_ZRT_StateVar* ca, s_ZRT_StateVar* cb,
                         int32_t reactive, int32_t, s_ZRT_DeviceInst* inst, void*) {
    return addStamp(inst, {unknownOf(ra), unknownOf(rb), unknownOf(ca), unknownOf(cb), reactive != 0});
}
ZRT_Handle delayStamp(s_ZRT_StateVar* sv, int32_t, int32_t, s_ZRT_DeviceInst* inst, void*) {
    return addStamp(inst, {unknownOf(sv), -1, -1, -1, false});
}
ZRT_Handle derivDoublet(s_ZRT_StateVar* row, s_ZRT_StateVar* ca, s_ZRT_StateVar* cb, int32_t, int32_t,
                        s_ZRT_DeviceInst* inst, void*) {
    return addStamp(inst, {unknownOf(row), -1, unknownOf(ca), unknownOf(cb), false});
}
// The host's delay state: the head alone, since DC delays nothing.
ZRT_GenericOperatorState* createDelaySpec(s_ZRT_SimInterface*) {
    auto* s = static_cast<ZRT_GenericOperatorState*>(std::calloc(1, sizeof(ZRT_GenericOperatorState)));
    if (s != nullptr) {
        s->opStateType = ZRT_DELAY_SPEC;
    }
    return s;
}
ZRT_GenericOperatorState* copyDelaySpec(ZRT_GenericOperatorState*) { return createDelaySpec(nullptr); }
int32_t message(int32_t type, const char* text, s_ZRT_DeviceInst* inst, s_ZRT_SimInterface*, ...) {
    std::printf("# message type %d from %s: %s\n", type, inst != nullptr ? inst->name : "-", text);
    return 0;
}
int32_t systemTask(const char* task, int32_t value, s_ZRT_DeviceInst*, int32_t, s_ZRT_SimInterface*) {
    std::printf("# system task %s %d\n", task, value);
    return 0;
}

// ---- contribution loader ----------------------------------------------------
void add(Device* dev, int r, int c, double v) {
    if (r >= 0 && c >= 0) {
        dev->J[static_cast<size_t>(r) * dev->unknowns + static_cast<size_t>(c)] += v;
    }
}
void loadRhs(int32_t n, const ZRT_Handle* h, const double* v, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst* inst) {
    for (int32_t i = 0; i < n; ++i) {
        const Stamp& s = stampOf(inst, h[i]);
        if (s.reactive) {
            continue;
        }
        if (s.a >= 0) deviceOf(inst)->f[static_cast<size_t>(s.a)] += v[i];
        if (s.b >= 0) deviceOf(inst)->f[static_cast<size_t>(s.b)] -= v[i];
    }
}
void loadJacobian(int32_t n, const ZRT_Handle* h, const double* v, const s_ZRT_ContribLoader*,
                  s_ZRT_DeviceInst* inst) {
    Device* dev = deviceOf(inst);
    for (int32_t i = 0; i < n; ++i) {
        const Stamp& s = stampOf(inst, h[i]);
        if (s.reactive) {
            continue;
        }
        add(dev, s.a, s.c, v[i]);
        add(dev, s.a, s.d, -v[i]);
        add(dev, s.b, s.c, -v[i]);
        add(dev, s.b, s.d, v[i]);
    }
}
// DC: the delayed value is the present input, and its derivatives pass through.
void loadDelay(ZRT_GenericOperatorState*, ZRT_Handle h, double, double, double x, const s_ZRT_ContribLoader* l,
               s_ZRT_DeviceInst* inst) {
    loadRhs(1, &h, &x, l, inst);
}
void loadDelayDwrt(ZRT_GenericOperatorState*, ZRT_Handle h, double d, const s_ZRT_ContribLoader* l,
                   s_ZRT_DeviceInst* inst) {
    loadJacobian(1, &h, &d, l, inst);
}
double getSol(s_ZRT_StateVar* sv, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst* inst) {
    return deviceOf(inst)->x[sv->index];
}
int32_t no(const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) { return 0; }
int32_t yes(const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) { return 1; }
uint32_t dcAnalysis(const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) { return ZRT_ANALYSIS_DC; }

// ---- the circuit ------------------------------------------------------------
s_ZRT_StateVar* newNode(Device& dev) {
    dev.nodes.push_back(s_ZRT_StateVar{});
    dev.nodes.back().index = static_cast<uint32_t>(dev.unknowns++);
    dev.isNode.push_back(true);
    return &dev.nodes.back();
}

bool setUp(Device& dev, const ModelInfo& m, s_ZRT_ModuleDesc* md, s_ZRT_SimInterface* sim, const char* name) {
    dev.md = md;
    std::memcpy(dev.real, kRealParams, sizeof dev.real);
    for (int k = 0; k < 7; ++k) dev.first.push_back(k == DII ? nullptr : newNode(dev));
    dev.first[DII] = dev.first[DI];  // the channel current flows from dii: tie it to di
    for (int k = 0; k < m.secondNodes; ++k) dev.second.push_back(k == m.unusedSlot ? nullptr : newNode(dev));
    dev.second.resize(static_cast<size_t>(m.secondNodes + m.branchSlots), nullptr);
    s_ZRT_DeviceInst& i = dev.inst;
    i.name = name;
    i.host2[0] = &dev;
    i.realParams = dev.real;
    i.intParams = dev.ints;
    i.nodeVars = dev.first.data();
    i.internalVars = dev.second.data();
    i.noiseSrcs = dev.noise;
    i.events = dev.events;
    i.limexps = dev.limexps;
    i.pMD = md;
    i.pSim = sim;
    if (md->finalizeAnalogTopology(&i) != 1) return false;
    md->createBranches(&i, &dev);
    md->createSystemStateVars(&i, &dev);
    md->reportTopology(&i, &dev);
    md->setAnalogStamp(&i, &dev);
    md->doAnalogInitial(&i);
    dev.x.assign(dev.unknowns, 0.0);
    return true;
}

void load(Device& dev, const s_ZRT_ContribLoader* loader) {
    dev.f.assign(dev.unknowns, 0.0);
    dev.J.assign(dev.unknowns * dev.unknowns, 0.0);
    dev.md->genericAnalogLoad(&dev.inst, loader);
}

// Gaussian elimination with partial pivoting; b becomes the solution.
bool solve(std::vector<double> a, std::vector<double>& b) {
    const size_t n = b.size();
    for (size_t k = 0; k < n; ++k) {
        size_t p = k;
        for (size_t r = k + 1; r < n; ++r) if (std::fabs(a[r * n + k]) > std::fabs(a[p * n + k])) p = r;
        if (!(std::fabs(a[p * n + k]) > 0.0)) return false;
        for (size_t c = 0; c < n; ++c) std::swap(a[k * n + c], a[p * n + c]);
        std::swap(b[k], b[p]);
        for (size_t r = k + 1; r < n; ++r) {
            const double m = a[r * n + k] / a[k * n + k];
            for (size_t c = k; c < n; ++c) a[r * n + c] -= m * a[k * n + c];
            b[r] -= m * b[k];
        }
    }
    for (size_t k = n; k-- > 0;) {
        for (size_t c = k + 1; c < n; ++c) b[k] -= a[k * n + c] * b[c];
        b[k] /= a[k * n + k];
    }
    return true;
}

// Newton from dev.x with d, g, s held: a held node's row becomes x = V.
// Every node has gmin to ground. Answers the iterations, or -1.
int solveDc(Device& dev, const s_ZRT_ContribLoader* loader, double vd, double vg, double vs) {
    const double gmin = 1e-12;
    const int held[3] = {unknownOf(dev.first[D]), unknownOf(dev.first[G]), unknownOf(dev.first[S])};
    const double volts[3] = {vd, vg, vs};
    const size_t n = dev.unknowns;
    for (int it = 1; it <= 100; ++it) {
        load(dev, loader);
        std::vector<double> a = dev.J, rhs(n);
        for (size_t r = 0; r < n; ++r) {
            if (dev.isNode[r]) {
                a[r * n + r] += gmin;
            }
            rhs[r] = -(dev.f[r] + (dev.isNode[r] ? gmin * dev.x[r] : 0.0));
        }
        for (int k = 0; k < 3; ++k) {
            const size_t r = static_cast<size_t>(held[k]);
            std::fill(a.begin() + static_cast<long>(r * n), a.begin() + static_cast<long>((r + 1) * n), 0.0);
            a[r * n + r] = 1.0;
            rhs[r] = volts[k] - dev.x[r];
        }
        if (!solve(a, rhs)) return -1;
        bool small = true;
        for (size_t r = 0; r < n; ++r) {
            dev.x[r] += rhs[r];
            small = small && std::fabs(rhs[r]) <= 1e-9 + 1e-9 * std::fabs(dev.x[r]);
        }
        if (!std::isfinite(dev.x[0])) return -1;
        if (small) {
            load(dev, loader);  // the device's currents at the solution
            return it;
        }
    }
    return -1;
}

double current(const Device& dev, int port) { return dev.f[static_cast<size_t>(unknownOf(dev.first[port]))]; }

// What the library made in the instance and leaves to the host.
void release(Device& dev) {
    if (dev.md != nullptr) {
        dev.md->destroyInst(&dev.inst);
    }
    for (ZRT_StateVarNode* n = dev.inst.stateVars; n != nullptr;) {
        ZRT_StateVarNode* next = n->pNext;
        std::free(n->pStateVar->name);
        std::free(n->pStateVar->branch);
        std::free(n->pStateVar);
        std::free(n);
        n = next;
    }
    if (ZRT_EventDesc* e = dev.events[0]) {
        delete static_cast<uint32_t*>(e->info);  // the initial-step event's analysis mask
        std::free(e);
    }
    std::free(dev.limexps[0]);
    for (ZRT_NoiseSrc& src : dev.noise) {
        for (s_ZRT_NoiseContrib* c = src.contribs; c != nullptr;) {
            s_ZRT_NoiseContrib* next = c->next;
            std::free(c);
            c = next;
        }
    }
    std::free(dev.inst.msgDupHashes);
    std::free(dev.inst.pTerminate);
}

}  // namespace

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : kDefaultLibrary;
    Library lib = openLibrary(path);
    if (lib == nullptr) {
        reportOpenFailure(path);
        return 2;
    }
    s_ZRT_SimInterface sim{};
    sim.CreateBranch = createBranch;
    sim.CreateStaticRhsStamp = rhsStamp;
    sim.CreateDynamicRhsStamp = reactiveRhsStamp;
    sim.CreateJacobianStamp = jacobianStamp;
    sim.CreateDelayStamp = delayStamp;
    sim.CreateDerivDoublet = derivDoublet;
    sim.CreateDelaySpec = createDelaySpec;
    sim.CopyDelaySpec = copyDelaySpec;
    sim.Message = message;
    sim.SystemTask = systemTask;
    s_ZRT_ContribLoader loader{};
    loader.LoadStaticRhs = loader.LoadDynamicRhs = loadRhs;
    loader.LoadStaticJacobian = loader.LoadDynamicJacobian = loadJacobian;
    loader.LoadStaticDoublet = loader.LoadDynamicDoublet = loadJacobian;
    loader.LoadDelay = loadDelay;
    loader.LoadDelay_dwrt = loadDelayDwrt;
    loader.GetSol = getSol;
    loader.DoNoise = no;
    loader.IsInitialStep = yes;  // every load of a DC operating point is part of the initial step
    loader.IsFinalStep = no;
    loader.GetAnalysisQueryMask = dcAnalysis;

    int failures = 0;
    std::printf("# model vg vd id ig is iterations status\n");
    for (const ModelInfo& m : kModels) {
        auto reg = reinterpret_cast<void (*)(s_ZRT_ModuleDesc*)>(findExport(lib, m.exportName));
        if (reg == nullptr) {
            std::printf("# %s: no export %s\n", m.name, m.exportName);
            ++failures;
            continue;
        }
        s_ZRT_ModuleDesc md{};
        md.libName = "lib_hbx";
        md.moduleName = m.name;
        md.numEvents = 1;  // the initial-step event
        md.numFileDescs = 0;
        reg(&md);
        Device dev, copy;
        if (!setUp(dev, m, &md, &sim, "x1") || !setUp(copy, m, &md, &sim, "x2")) {
            std::printf("# %s: set-up refused\n", m.name);
            ++failures;
            release(dev);
            release(copy);
            continue;
        }
        const int it = solveDc(dev, &loader, 5.0, 0.0, 0.0);
        std::printf("# %s operating point at vd 5 V, vg 0 V: id %.6g A after %d iterations\n", m.name,
                    current(dev, D), it);
        failures += it < 0;

        // Save at the operating point, restore into the second instance: with
        // no initial step, it loads what the first one loads.
        s_ZRT_DeviceState state{};
        uint32_t count = 0;
        const uint8_t* bytes = md.saveDeviceState(&dev.inst, &state, &count);
        std::vector<uint8_t> saved(bytes, bytes + (bytes != nullptr ? count : 0));
        md.freeDeviceSerializer(&dev.inst, 1);
        s_ZRT_DeviceState state2{};
        const int restored = md.restoreDeviceState(&copy.inst, &state2, saved.data(), count);
        md.freeDeviceSerializer(&copy.inst, 0);
        loader.IsInitialStep = no;
        copy.x = dev.x;
        load(dev, &loader);
        load(copy, &loader);
        loader.IsInitialStep = yes;
        const bool same = restored == 1 && copy.f == dev.f && copy.J == dev.J;
        std::printf("# %s save %u bytes, restore %d, %s\n", m.name, count, restored,
                    same ? "same residuals" : "DIFFERENT residuals");
        failures += !same;

        // Id-Vd family, each drain sweep continuing from the previous point.
        for (double vg = -2.5; vg <= 0.5 + 1e-9; vg += 0.5) {
            std::fill(dev.x.begin(), dev.x.end(), 0.0);
            for (double vd = 0.0; vd <= 20.0 + 1e-9; vd += 1.0) {
                const int n = solveDc(dev, &loader, vd, vg, 0.0);
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
    }
    closeLibrary(lib);
    std::printf("# %d failures\n", failures);
    return failures == 0 ? 0 : 1;
}
