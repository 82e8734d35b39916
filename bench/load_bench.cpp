// Cost of one Newton-iteration load of a model instance, as a host sees it:
// each stamp handle is the address of the matrix or right-hand-side cell it
// fills, and the batch loads (and a birch model's delay loads) add into those
// cells. Reported per instance-load (time_per_item) for 1,000 and 100,000
// instances of every model, full and right-hand-side, and per save plus
// restore of one instance. bench/goals.sh reads these figures.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ZRT_Models.h"
#include "dsl/ZRT_SupportLib.h"

namespace {

// A lean host: one solution vector, one cell per stamp request, and the
// records of every instance.
struct BenchHost {
    s_ZRT_SimInterface sim{};
    s_ZRT_ContribLoader loader{};
    s_ZRT_ModuleDesc md{};
    std::vector<double> solution;
    std::vector<std::unique_ptr<double[]>> cellBlocks;
    double* cells = nullptr;
    size_t cellsLeft = 0;
    uint32_t nextIndex = 0;

    struct Instance {
        s_ZRT_DeviceInst inst{};
        double real[13] = {1, 50, 30, 2, 4, 2.5, 10, 25, 2.5e-4, 45, -2, 1, 1};
        int32_t ints[3] = {1, 0, 0};
        std::vector<s_ZRT_StateVar> nodes;
        s_ZRT_StateVar* first[7] = {};
        s_ZRT_StateVar* second[16] = {};
        ZRT_NoiseSrc noise[4] = {};
        ZRT_EventDesc* events[1] = {};
        s_ZRT_LimexpDesc* limexps[1] = {};
    };
    std::vector<std::unique_ptr<Instance>> instances;

    static BenchHost* current;

    ZRT_Handle cell() {
        if (cellsLeft == 0) {
            cellBlocks.emplace_back(new double[1 << 16]());
            cells = cellBlocks.back().get();
            cellsLeft = 1 << 16;
        }
        --cellsLeft;
        return cells++;
    }

    explicit BenchHost(void (*registerModule)(s_ZRT_ModuleDesc*)) {
        current = this;
        sim.CreateBranch = [](const char*, const char*, uint32_t* index, void*) { *index = current->nextIndex++; };
        sim.CreateStaticRhsStamp = [](s_ZRT_StateVar*, s_ZRT_StateVar*, int32_t, s_ZRT_DeviceInst*, void*) {
            return current->cell();
        };
        sim.CreateDynamicRhsStamp = sim.CreateStaticRhsStamp;
        sim.CreateJacobianStamp = [](s_ZRT_StateVar*, s_ZRT_StateVar*, s_ZRT_StateVar*, s_ZRT_StateVar*, int32_t,
                                     int32_t, s_ZRT_DeviceInst*, void*) { return current->cell(); };
        ZRT_BatchLoadFn add = [](int32_t count, const ZRT_Handle* handles, const double* values,
                                 const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) {
            for (int32_t i = 0; i < count; ++i) {
                *static_cast<double*>(handles[i]) += values[i];
            }
        };
        loader.LoadStaticRhs = add;
        loader.LoadDynamicRhs = add;
        loader.LoadStaticJacobian = add;
        loader.LoadDynamicJacobian = add;
        loader.GetSol = [](s_ZRT_StateVar* sv, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) {
            return current->solution[sv->index];
        };
        loader.DoNoise = [](const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) -> int32_t { return 0; };
        loader.IsInitialStep = [](const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) -> int32_t { return 0; };
        loader.GetAnalysisQueryMask = [](const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) -> uint32_t { return 2; };
        // A birch model's absdelay operator: a delay state of the runtime's
        // layout, its delayed value loaded as the present input (DC).
        sim.CreateDelaySpec = [](s_ZRT_SimInterface*) -> ZRT_GenericOperatorState* {
            auto* spec = static_cast<ZRT_DelaySpec*>(std::calloc(1, sizeof(ZRT_DelaySpec)));
            spec->head.opStateType = ZRT_DELAY_SPEC;
            spec->head.serialize = serializeDelaySpec;
            return &spec->head;
        };
        sim.CopyDelaySpec = [](ZRT_GenericOperatorState* state) -> ZRT_GenericOperatorState* {
            auto* spec = static_cast<ZRT_DelaySpec*>(std::calloc(1, sizeof(ZRT_DelaySpec)));
            std::memcpy(spec, state, sizeof(ZRT_DelaySpec));
            return &spec->head;
        };
        sim.CreateDelayStamp = [](s_ZRT_StateVar*, int32_t, int32_t, s_ZRT_DeviceInst*, void*) {
            return current->cell();
        };
        sim.CreateDerivDoublet = [](s_ZRT_StateVar*, s_ZRT_StateVar*, s_ZRT_StateVar*, int32_t, int32_t,
                                    s_ZRT_DeviceInst*, void*) { return current->cell(); };
        loader.LoadDelay = [](ZRT_GenericOperatorState*, ZRT_Handle handle, double, double, double x,
                              const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) { *static_cast<double*>(handle) += x; };
        loader.LoadDelay_dwrt = [](ZRT_GenericOperatorState*, ZRT_Handle handle, double d, const s_ZRT_ContribLoader*,
                                   s_ZRT_DeviceInst*) { *static_cast<double*>(handle) += d; };
        loader.LoadStaticDoublet = add;
        loader.LoadDynamicDoublet = add;
        md.numEvents = 1;
        registerModule(&md);
    }

    ~BenchHost() { current = nullptr; }

    void add(size_t count) {
        instances.reserve(count);
        for (size_t n = 0; n < count; ++n) {
            auto in = std::make_unique<Instance>();
            // Every family's nodes fit in eleven second-array slots; its
            // branch state variables go behind its own nodes.
            in->nodes.resize(18);
            for (auto& node : in->nodes) {
                node.index = nextIndex++;
            }
            for (int k = 0; k < 7; ++k) in->first[k] = &in->nodes[k];
            for (int k = 0; k < 11; ++k) in->second[k] = &in->nodes[7 + k];
            in->first[3] = in->first[1];  // dii tied to di
            s_ZRT_DeviceInst& d = in->inst;
            d.name = "x";
            d.realParams = in->real;
            d.intParams = in->ints;
            d.nodeVars = in->first;
            d.internalVars = in->second;
            d.noiseSrcs = in->noise;
            d.events = in->events;
            d.limexps = in->limexps;
            d.pMD = &md;
            d.pSim = &sim;
            if (md.finalizeAnalogTopology(&d) == 0) {
                std::fprintf(stderr, "the model refused the bench host's instance\n");
                std::abort();
            }
            md.createBranches(&d, nullptr);
            md.createSystemStateVars(&d, nullptr);
            md.setAnalogStamp(&d, nullptr);
            md.doAnalogInitial(&d);
            instances.push_back(std::move(in));
        }
        // A bias in the saturation region for every instance.
        solution.assign(nextIndex, 0.0);
        for (auto& in : instances) {
            solution[in->first[0]->index] = -0.5;  // g
            solution[in->first[1]->index] = 4.0;   // di
            solution[in->first[6]->index] = 4.0;   // d
            solution[in->first[5]->index] = 25.0;  // pTj
            solution[in->second[2]->index] = -0.5; // gi
        }
        // One load with the initial step stores each instance's constants.
        loader.IsInitialStep = [](const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) -> int32_t { return 1; };
        for (auto& in : instances) {
            md.genericAnalogLoad(&in->inst, &loader);
        }
        loader.IsInitialStep = [](const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) -> int32_t { return 0; };
    }

    void release() {
        for (auto& in : instances) {
            for (ZRT_StateVarNode* node = in->inst.stateVars; node != nullptr;) {
                ZRT_StateVarNode* next = node->pNext;
                std::free(node->pStateVar->name);
                std::free(node->pStateVar->branch);
                std::free(node->pStateVar);
                std::free(node);
                node = next;
            }
            md.destroyInst(&in->inst);
            in->inst.pModuleData = nullptr;
            delete static_cast<uint32_t*>(in->events[0]->info);
            std::free(in->events[0]);
            std::free(in->limexps[0]);
        }
    }
};

BenchHost* BenchHost::current = nullptr;

// Time per item (one instance-load, one save plus restore) in every run: one
// counter name throughout, as the CSV report wants.
void perItem(benchmark::State& state, int64_t items) {
    state.SetItemsProcessed(items);
    state.counters["time_per_item"] = benchmark::Counter(static_cast<double>(items),
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// One load of every instance; a function of its own so that an instruction
// count (bench/instructions.sh) can collect exactly the loads.
__attribute__((noinline)) void loadEach(BenchHost& host, ZRT_InstLoaderFn load) {
    for (auto& in : host.instances) {
        load(&in->inst, &host.loader);
    }
}

void runLoads(benchmark::State& state, void (*registerModule)(s_ZRT_ModuleDesc*), bool full, int64_t count) {
    BenchHost host(registerModule);
    host.add(static_cast<size_t>(count));
    const ZRT_InstLoaderFn load = full ? host.md.genericAnalogLoad : host.md.genericAnalogLoadRHS;
    for (auto _ : state) {
        loadEach(host, load);
    }
    perItem(state, state.iterations() * count);
    host.release();
}

void runSaveRestore(benchmark::State& state, void (*registerModule)(s_ZRT_ModuleDesc*)) {
    BenchHost host(registerModule);
    host.add(1);
    s_ZRT_DeviceInst* inst = &host.instances[0]->inst;
    std::vector<uint8_t> saved;
    for (auto _ : state) {
        s_ZRT_DeviceState out{};
        uint32_t count = 0;
        const uint8_t* bytes = host.md.saveDeviceState(inst, &out, &count);
        if (bytes == nullptr) {
            state.SkipWithError("save failed");
            break;
        }
        saved.assign(bytes, bytes + count);
        host.md.freeDeviceSerializer(inst, 1);
        s_ZRT_DeviceState in{};
        if (host.md.restoreDeviceState(inst, &in, saved.data(), count) != 1) {
            state.SkipWithError("restore failed");
            break;
        }
        host.md.freeDeviceSerializer(inst, 0);
    }
    perItem(state, state.iterations());
    host.release();
}

struct Model {
    const char* name;
    void (*registerModule)(s_ZRT_ModuleDesc*);
};
const Model kModels[] = {
    {"alder_a", registerCallbacks_module_alder_a_1}, {"alder_b", registerCallbacks_module_alder_b_2},
    {"alder_c", registerCallbacks_module_alder_c_3}, {"birch_a", registerCallbacks_module_birch_a_4},
    {"birch_c", registerCallbacks_module_birch_c_5}, {"cedar_a", registerCallbacks_module_cedar_a_6},
    {"cedar_b", registerCallbacks_module_cedar_b_7}, {"larch_a", registerCallbacks_module_larch_a_8},
    {"cedar_c", registerCallbacks_module_cedar_c_9},
};

// The fastest of repeated runs (--benchmark_repetitions): on a machine that
// other work shares, the run least disturbed by it.
double fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

// Registered at start-up: every model, full and right-hand-side, at 1,000
// and 100,000 instances (load/<model>/<full|rhs>/<instances>), and its save
// plus restore (save_restore/<model>).
const bool kRegistered = [] {
    for (const Model& m : kModels) {
        for (bool full : {true, false}) {
            const std::string name = std::string("load/") + m.name + (full ? "/full" : "/rhs");
            benchmark::RegisterBenchmark(name.c_str(), [m, full](benchmark::State& st) {
                runLoads(st, m.registerModule, full, st.range(0));
            })->Arg(1000)->Arg(100000)->ComputeStatistics("min", fastest);
        }
    }
    for (const Model& m : kModels) {
        benchmark::RegisterBenchmark((std::string("save_restore/") + m.name).c_str(),
                                     [m](benchmark::State& st) { runSaveRestore(st, m.registerModule); })
            ->ComputeStatistics("min", fastest);
    }
    return true;
}();

}  // namespace
