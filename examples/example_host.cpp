#include "example_host.h"

#ifndef _WIN32
#include <dlfcn.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace example {

const ModelInfo kModels[9] = {
    {"alder_a", "registerCallbacks_module_alder_a_1", 9, 4, -1, {1, 1, 0}},
    {"alder_b", "registerCallbacks_module_alder_b_2", 9, 4, -1, {1, 0, 1}},
    {"alder_c", "registerCallbacks_module_alder_c_3", 9, 4, -1, {1, 0, 1}},
    {"birch_a", "registerCallbacks_module_birch_a_4", 7, 3, -1, {1, 1, 1}},
    {"birch_c", "registerCallbacks_module_birch_c_5", 7, 3, -1, {1, 1, 0}},
    {"cedar_a", "registerCallbacks_module_cedar_a_6", 10, 5, 3, {1, 0, 0}},
    {"cedar_b", "registerCallbacks_module_cedar_b_7", 10, 5, 3, {1, 1, 1}},
    {"larch_a", "registerCallbacks_module_larch_a_8", 11, 5, 3, {1, 1, 0}},
    {"cedar_c", "registerCallbacks_module_cedar_c_9", 10, 5, 3, {1, 1, 1}},
};
const double kRealParams[13] = {1, 50, 30, 2, 4, 2.5, 10, 25, 2.5e-4, 45, -2, 1, 1};

// ---- the library -------------------------------------------------------------
#ifdef _WIN32
const char* const kDefaultLibrary = "lib_hbx.dll";
Library openLibrary(const char* path) {
    Library lib = LoadLibraryA(path);
    if (lib == nullptr) std::fprintf(stderr, "LoadLibraryA(%s) failed: error %lu\n", path, GetLastError());
    return lib;
}
void* findExport(Library lib, const char* name) { return reinterpret_cast<void*>(GetProcAddress(lib, name)); }
void closeLibrary(Library lib) { FreeLibrary(lib); }
#else
const char* const kDefaultLibrary = "lib_hbx.so";
Library openLibrary(const char* path) {
    Library lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) std::fprintf(stderr, "%s\n", dlerror());
    return lib;
}
void* findExport(Library lib, const char* name) { return dlsym(lib, name); }
void closeLibrary(Library lib) { dlclose(lib); }
#endif

bool registerModel(Library lib, const ModelInfo& model, s_ZRT_ModuleDesc& md) {
    auto reg = reinterpret_cast<void (*)(s_ZRT_ModuleDesc*)>(findExport(lib, model.exportName));
    if (reg == nullptr) return false;
    md = s_ZRT_ModuleDesc{};
    md.libName = "lib_hbx";
    md.moduleName = model.name;
    md.numEvents = 1;  // the initial-step event
    md.numFileDescs = 0;
    reg(&md);
    return true;
}

namespace {

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
int32_t message(int32_t type, const char* text, s_ZRT_DeviceInst* inst, s_ZRT_SimInterface*, ...) {
    std::printf("# message type %d from %s: %s\n", type, inst != nullptr ? inst->name : "-", text);
    return 0;
}
int32_t systemTask(const char* task, int32_t value, s_ZRT_DeviceInst*, int32_t, s_ZRT_SimInterface*) {
    std::printf("# system task %s %d\n", task, value);
    return 0;
}

// ---- delay states -------------------------------------------------------------
// The runtime releases a delay state through its free function and hands it
// to its serialize function during a save or a restore of the instance. No
// exception may leave for the library's frames.
void freeDelayState(ZRT_GenericOperatorState* state) { delete static_cast<DelayState*>(state); }

void serializeDelayState(ZRT_GenericOperatorState* state, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir) {
    Checkpoint* cp = inst != nullptr ? deviceOf(inst)->checkpoint : nullptr;
    if (cp == nullptr || *dir == ZRT_SRLZ_FAILED) return;
    auto* delay = static_cast<DelayState*>(state);
    try {
        if (*dir == ZRT_SRLZ_SAVE) {
            cp->delays.push_back(*delay);
        } else if (cp->nextDelay < cp->delays.size()) {
            *delay = cp->delays[cp->nextDelay++];
        } else {
            *dir = ZRT_SRLZ_FAILED;  // the checkpoint holds fewer delay states than the instance
        }
    } catch (const std::bad_alloc&) {
        *dir = ZRT_SRLZ_FAILED;
    }
}

ZRT_GenericOperatorState* createDelaySpec(s_ZRT_SimInterface*) {
    DelayState* s = new (std::nothrow) DelayState;
    if (s != nullptr) {
        s->opStateType = ZRT_DELAY_SPEC;
        s->serialize = serializeDelayState;
        s->free = freeDelayState;
    }
    return s;
}
ZRT_GenericOperatorState* copyDelaySpec(ZRT_GenericOperatorState* state) {
    try {
        return new DelayState(*static_cast<DelayState*>(state));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// ---- contribution loader ----------------------------------------------------
void add(std::vector<double>& m, const Device* dev, int r, int c, double v) {
    if (r >= 0 && c >= 0) m[static_cast<size_t>(r) * dev->unknowns + static_cast<size_t>(c)] += v;
}
// A value on stamp (a, b) flows from a to b: +v in row a, -v in row b.
void loadRhs(int32_t n, const ZRT_Handle* h, const double* v, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst* inst) {
    Device* dev = deviceOf(inst);
    for (int32_t i = 0; i < n; ++i) {
        const Stamp& s = stampOf(inst, h[i]);
        std::vector<double>& r = s.reactive ? dev->q : dev->f;
        if (s.a >= 0) r[static_cast<size_t>(s.a)] += v[i];
        if (s.b >= 0) r[static_cast<size_t>(s.b)] -= v[i];
    }
}
void loadJacobian(int32_t n, const ZRT_Handle* h, const double* v, const s_ZRT_ContribLoader*,
                  s_ZRT_DeviceInst* inst) {
    Device* dev = deviceOf(inst);
    for (int32_t i = 0; i < n; ++i) {
        const Stamp& s = stampOf(inst, h[i]);
        std::vector<double>& m = s.reactive ? dev->C : dev->G;
        add(m, dev, s.a, s.c, v[i]);
        add(m, dev, s.a, s.d, -v[i]);
        add(m, dev, s.b, s.c, -v[i]);
        add(m, dev, s.b, s.d, v[i]);
    }
}
// The input x delayed by td at the device's time: interpolated between the
// accepted points and the present (time, x); before the first accepted
// point it is that point's value. Without history (DC) it is x itself. Only
// the present point depends on x, so the weight is its share.
void loadDelay(ZRT_GenericOperatorState* state, ZRT_Handle h, double td, double tdmax, double x,
               const s_ZRT_ContribLoader* l, s_ZRT_DeviceInst* inst) {
    auto* d = static_cast<DelayState*>(state);
    const double now = deviceOf(inst)->time;
    const double at = now - ((tdmax > 0.0 && td > tdmax) ? tdmax : td);
    double delayed = x;
    double weight = 1.0;
    const size_t n = d != nullptr ? d->times.size() : 0;
    if (n > 0 && at < now) {
        const double lastTime = d->times[n - 1];
        if (at >= lastTime) {  // between the last accepted point and the present one
            weight = (at - lastTime) / (now - lastTime);
            delayed = d->inputs[n - 1] + weight * (x - d->inputs[n - 1]);
        } else if (at <= d->times[0]) {
            delayed = d->inputs[0];
            weight = 0.0;
        } else {
            size_t i = n - 1;
            while (d->times[i - 1] > at) --i;  // times[i - 1] <= at < times[i]
            const double s = (at - d->times[i - 1]) / (d->times[i] - d->times[i - 1]);
            delayed = d->inputs[i - 1] + s * (d->inputs[i] - d->inputs[i - 1]);
            weight = 0.0;
        }
    }
    if (d != nullptr) {
        d->time = now;
        d->input = x;
        d->weight = weight;
    }
    loadRhs(1, &h, &delayed, l, inst);
}
void loadDelayDwrt(ZRT_GenericOperatorState* state, ZRT_Handle h, double dx, const s_ZRT_ContribLoader* l,
                   s_ZRT_DeviceInst* inst) {
    const double v = (state != nullptr ? static_cast<DelayState*>(state)->weight : 1.0) * dx;
    loadJacobian(1, &h, &v, l, inst);
}
void acceptDelay(ZRT_GenericOperatorState* state, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) {
    auto* d = static_cast<DelayState*>(state);
    if (d == nullptr || (!d->times.empty() && d->time <= d->times.back())) return;
    try {
        d->times.push_back(d->time);
        d->inputs.push_back(d->input);
    } catch (const std::bad_alloc&) {
        d->times.resize(d->inputs.size());  // the point is lost, the history stays whole
    }
}

double getSol(s_ZRT_StateVar* sv, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst* inst) {
    return deviceOf(inst)->x[sv->index];
}
int32_t no(const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) { return 0; }
int32_t isInitialStep(const s_ZRT_ContribLoader*, s_ZRT_DeviceInst* inst) { return deviceOf(inst)->initialStep; }
uint32_t analysis(const s_ZRT_ContribLoader*, s_ZRT_DeviceInst* inst) { return deviceOf(inst)->analysis; }

s_ZRT_StateVar* newNode(Device& dev) {
    dev.nodes.push_back(s_ZRT_StateVar{});
    dev.nodes.back().index = static_cast<uint32_t>(dev.unknowns++);
    dev.isNode.push_back(true);
    return &dev.nodes.back();
}

// Gaussian elimination with partial pivoting; b becomes the solution.
bool solveLinear(std::vector<double> a, std::vector<double>& b) {
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

}  // namespace

s_ZRT_SimInterface simInterface() {
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
    return sim;
}

s_ZRT_ContribLoader contribLoader() {
    s_ZRT_ContribLoader loader{};
    loader.LoadStaticRhs = loader.LoadDynamicRhs = loadRhs;
    loader.LoadStaticJacobian = loader.LoadDynamicJacobian = loadJacobian;
    loader.LoadStaticDoublet = loader.LoadDynamicDoublet = loadJacobian;
    loader.LoadDelay = loadDelay;
    loader.LoadDelay_dwrt = loadDelayDwrt;
    loader.AcceptDelay = acceptDelay;
    loader.GetSol = getSol;
    loader.DoNoise = no;
    loader.IsInitialStep = isInitialStep;
    loader.IsFinalStep = no;
    loader.GetAnalysisQueryMask = analysis;
    return loader;
}

bool setUp(Device& dev, const ModelInfo& m, s_ZRT_ModuleDesc* md, s_ZRT_SimInterface* sim, const char* name) {
    dev.md = md;
    std::memcpy(dev.real, kRealParams, sizeof dev.real);
    std::memcpy(dev.ints, m.intParams, sizeof dev.ints);
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
    dev.q.assign(dev.unknowns, 0.0);
    dev.G.assign(dev.unknowns * dev.unknowns, 0.0);
    dev.C.assign(dev.unknowns * dev.unknowns, 0.0);
    dev.md->genericAnalogLoad(&dev.inst, loader);
}

void accept(Device& dev, const s_ZRT_ContribLoader* loader) {
    dev.md->tranAcceptPoint(&dev.inst, loader);
    dev.md->setMemoryStates(&dev.inst);
}

int solve(Device& dev, const s_ZRT_ContribLoader* loader, const Bias& bias, const Integration& step) {
    const double gmin = 1e-12;
    const size_t n = dev.unknowns;
    const size_t d = static_cast<size_t>(unknownOf(dev.first[D]));
    const bool drainHeld = !(bias.rLoad > 0.0);
    struct Held {
        int port;
        double volts;
    };
    const Held held[3] = {{G, bias.vg}, {S, bias.vs}, {D, bias.vd}};
    for (int it = 1; it <= 100; ++it) {
        load(dev, loader);
        std::vector<double> a = dev.G, rhs(n);
        for (size_t r = 0; r < n; ++r) {
            double residual = dev.f[r];
            if (dev.isNode[r]) {
                a[r * n + r] += gmin;
                residual += gmin * dev.x[r];
            }
            if (step.alpha != 0.0) {
                residual += step.alpha * (dev.q[r] - (*step.qPrev)[r]) - (*step.carry)[r];
                for (size_t c = 0; c < n; ++c) a[r * n + c] += step.alpha * dev.C[r * n + c];
            }
            rhs[r] = -residual;
        }
        if (!drainHeld) {  // the load resistor from the supply
            a[d * n + d] += 1.0 / bias.rLoad;
            rhs[d] -= (dev.x[d] - bias.vd) / bias.rLoad;
        }
        for (const Held& h : held) {  // a held node's row becomes x = V
            if (h.port == D && !drainHeld) continue;
            const size_t r = static_cast<size_t>(unknownOf(dev.first[static_cast<size_t>(h.port)]));
            std::fill(a.begin() + static_cast<long>(r * n), a.begin() + static_cast<long>((r + 1) * n), 0.0);
            a[r * n + r] = 1.0;
            rhs[r] = h.volts - dev.x[r];
        }
        if (!solveLinear(a, rhs)) return -1;
        bool small = true;
        for (size_t r = 0; r < n; ++r) {
            dev.x[r] += rhs[r];
            small = small && std::fabs(rhs[r]) <= 1e-9 + 1e-9 * std::fabs(dev.x[r]);
        }
        if (!std::isfinite(dev.x[0])) return -1;
        if (small) {
            load(dev, loader);  // the device's values at the solution
            return it;
        }
    }
    return -1;
}

bool saveInstance(Device& dev, Checkpoint& cp) {
    cp = Checkpoint{};
    s_ZRT_DeviceState state{};
    uint32_t count = 0;
    dev.checkpoint = &cp;
    const uint8_t* bytes = dev.md->saveDeviceState(&dev.inst, &state, &count);
    dev.checkpoint = nullptr;
    if (bytes != nullptr) cp.bytes.assign(bytes, bytes + count);
    dev.md->freeDeviceSerializer(&dev.inst, 1);  // the bytes are ours now: release the library's
    return bytes != nullptr;
}

bool restoreInstance(Device& dev, Checkpoint& cp) {
    s_ZRT_DeviceState state{};
    cp.nextDelay = 0;
    dev.checkpoint = &cp;
    const int32_t ok =
        dev.md->restoreDeviceState(&dev.inst, &state, cp.bytes.data(), static_cast<uint32_t>(cp.bytes.size()));
    dev.checkpoint = nullptr;
    dev.md->freeDeviceSerializer(&dev.inst, 0);  // after every restore, answered 1 or 0
    return ok == 1;
}

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

int runModels(int argc, char** argv, const char* header, const std::vector<const char*>& names, ModelRun run) {
    Library lib = openLibrary(argc > 1 ? argv[1] : kDefaultLibrary);
    if (lib == nullptr) {
        return 2;
    }
    s_ZRT_SimInterface sim = simInterface();
    const s_ZRT_ContribLoader loader = contribLoader();
    int failures = 0;
    std::printf("%s\n", header);
    for (const char* name : names) {
        const ModelInfo* model = nullptr;
        for (const ModelInfo& m : kModels) {
            if (std::strcmp(m.name, name) == 0) model = &m;
        }
        s_ZRT_ModuleDesc md{};
        if (model == nullptr || !registerModel(lib, *model, md)) {
            std::printf("# %s: no export %s\n", name, model != nullptr ? model->exportName : "");
            ++failures;
            continue;
        }
        failures += run(*model, md, sim, &loader);
    }
    closeLibrary(lib);
    std::printf("# %d failures\n", failures);
    return failures == 0 ? 0 : 1;
}

}  // namespace example
