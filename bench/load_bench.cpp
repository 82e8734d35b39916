// Cost of one Newton-iteration load of an alder_a instance, as a host sees
// it: each stamp handle is the address of the matrix or right-hand-side cell
// it fills, and the batch loads add into those cells. Reported per
// instance-load for 1, 1,000 and 100,000 instances.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "ZRT_Models.h"
#include "ZRT_SupportLib.h"

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
        int32_t ints[2] = {1, 0};
        std::vector<s_ZRT_StateVar> nodes;
        s_ZRT_StateVar* first[7] = {};
        s_ZRT_StateVar* second[13] = {};
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

    BenchHost() {
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
        registerCallbacks_module_alder_a_1(&md);
    }

    ~BenchHost() {
        for (auto& i : instances) {
            md.destroyInst(&i->inst);
        }
        current = nullptr;
    }

    void add(size_t count) {
        instances.reserve(count);
        for (size_t n = 0; n < count; ++n) {
            auto in = std::make_unique<Instance>();
            in->nodes.resize(16);
            for (auto& node : in->nodes) {
                node.index = nextIndex++;
            }
            for (int k = 0; k < 7; ++k) in->first[k] = &in->nodes[k];
            for (int k = 0; k < 9; ++k) in->second[k] = &in->nodes[7 + k];
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
            md.finalizeAnalogTopology(&d);
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
            delete static_cast<uint32_t*>(in->events[0]->info);
            std::free(in->events[0]);
            std::free(in->limexps[0]);
        }
    }
};

BenchHost* BenchHost::current = nullptr;

template <bool Full>
void BM_AlderALoad(benchmark::State& state) {
    BenchHost host;
    host.add(static_cast<size_t>(state.range(0)));
    const ZRT_InstLoaderFn load = Full ? host.md.genericAnalogLoad : host.md.genericAnalogLoadRHS;
    for (auto _ : state) {
        for (auto& in : host.instances) {
            load(&in->inst, &host.loader);
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["ns_per_load"] = benchmark::Counter(
        static_cast<double>(state.iterations() * state.range(0)),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    host.release();
}

}  // namespace

BENCHMARK_TEMPLATE(BM_AlderALoad, true)->Name("alder_a/full_load")->Arg(1)->Arg(1000)->Arg(100000);
BENCHMARK_TEMPLATE(BM_AlderALoad, false)->Name("alder_a/rhs_load")->Arg(1)->Arg(1000)->Arg(100000);
