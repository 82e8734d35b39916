// Loads of distinct instances from 8 threads at once, as a parallel host
// drives them: every module and the runtime operators (absdelay, laplace in
// both realisations and zi among them). Instances share nothing, so the
// ThreadSanitizer build must find no race; every thread's loads must also
// match the same loads made alone.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <thread>
#include <type_traits>
#include <vector>

#include "dsl/ZRT_SupportLib.h"
#include "tests/model_fixture.h"
#include "tests/model_host.h"

namespace {

using testhost::ModelInstance;
using testhost::TestHost;

constexpr int kThreads = 8;
constexpr int kLoadsPerInstance = 60;

// The loader with a word behind it naming its owner, so that a slot finds
// the owner from the loader it is given.
struct OwnedLoader {
    s_ZRT_ContribLoader loader;
    void* owner;
};
static_assert(std::is_standard_layout_v<OwnedLoader>, "the loader heads the record");

// A loader of one thread: the host's slots that a load calls, answering from
// and adding into this record alone.
struct ThreadLoader {
    OwnedLoader owned{};
    s_ZRT_ContribLoader& loader = owned.loader;
    std::vector<double> solution;
    double sum = 0.0;  // of every value loaded
    int32_t initialStep = 0;
    int32_t noise = 0;
    double time = 0.0;
    std::map<const s_ZRT_DeviceInst*, uint32_t> firstIndex;  // filled before the threads start

    static ThreadLoader& of(const s_ZRT_ContribLoader* l) {
        return *static_cast<ThreadLoader*>(reinterpret_cast<const OwnedLoader*>(l)->owner);
    }
    static void load(int32_t count, const ZRT_Handle*, const double* values, const s_ZRT_ContribLoader* l,
                     s_ZRT_DeviceInst*) {
        for (int32_t i = 0; i < count; ++i) {
            of(l).sum += std::isfinite(values[i]) ? values[i] : 0.0;
        }
    }
    // By the variable's place among its instance's: the same for two
    // instances set up alike.
    static double getSol(s_ZRT_StateVar* sv, const s_ZRT_ContribLoader* l, s_ZRT_DeviceInst* inst) {
        const ThreadLoader& self = of(l);
        const auto base = self.firstIndex.find(inst);
        const uint32_t first = base != self.firstIndex.end() ? base->second : 0;
        return self.solution[(sv->index - first) % self.solution.size()];
    }
    static int32_t doNoise(const s_ZRT_ContribLoader* l, s_ZRT_DeviceInst*) { return of(l).noise; }
    static int32_t isInitialStep(const s_ZRT_ContribLoader* l, s_ZRT_DeviceInst*) { return of(l).initialStep; }
    static int32_t no(const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) { return 0; }
    static double getTime(const s_ZRT_ContribLoader* l, s_ZRT_DeviceInst*) { return of(l).time; }
    static double getDefault(int32_t, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) { return 0.0; }
    static uint32_t dcAnalysis(const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) { return 2; }
    static void loadDelay(ZRT_GenericOperatorState*, ZRT_Handle, double, double, double x,
                          const s_ZRT_ContribLoader* l, s_ZRT_DeviceInst*) {
        of(l).sum += x;
    }
    static void loadDelayDwrt(ZRT_GenericOperatorState*, ZRT_Handle, double d, const s_ZRT_ContribLoader* l,
                              s_ZRT_DeviceInst*) {
        of(l).sum += d;
    }
    static void boundStep(double, int32_t, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) {}
    static void acceptDelay(ZRT_GenericOperatorState*, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) {}
    static void loadZ(void*, ZRT_Handle, double value, const s_ZRT_ContribLoader* l, s_ZRT_DeviceInst*) {
        of(l).sum += value;
    }

    explicit ThreadLoader(unsigned seed) : solution(64) {
        owned.owner = this;
        for (size_t i = 0; i < solution.size(); ++i) {
            solution[i] = 0.1 * static_cast<double>((i * 7 + seed) % 11) - 0.3;
        }
        loader.LoadStaticRhs = load;
        loader.LoadDynamicRhs = load;
        loader.LoadStaticJacobian = load;
        loader.LoadStaticDoublet = load;
        loader.LoadDynamicJacobian = load;
        loader.LoadDynamicDoublet = load;
        loader.GetSol = getSol;
        loader.DoNoise = doNoise;
        loader.IsInitialStep = isInitialStep;
        loader.IsFinalStep = no;
        loader.GetTime = getTime;
        loader.GetDefault = getDefault;
        loader.GetAnalysisQueryMask = dcAnalysis;
        loader.LoadDelay = loadDelay;
        loader.LoadDelay_dwrt = loadDelayDwrt;
        loader.DoBoundStep = boundStep;
        loader.AcceptDelay = acceptDelay;
        loader.LoadZ_Transform = loadZ;
        loader.LoadZ_Transform_dwrt = loadZ;
    }
};

// The instances of one thread: one of every module and one of each operator.
struct ThreadWork {
    ThreadWork(TestHost& host, unsigned seed) : loader(seed) {
        for (const testhost::ModuleSpec& spec : testhost::kModules) {
            models.push_back(std::make_unique<ModelInstance>(host, spec));
            ModelInstance& m = *models.back();
            loader.firstIndex[m.get()] = m.inst.nodeVars[0]->index;
            m.inst.realParams = testhost::kRealParams;
            m.get()->realParams = m.inst.realParams.data();
            m.setUp();
        }
        opInst = std::make_unique<testhost::TestInstance>(host, &md, testhost::TestInstance::Shape{});
        loader.firstIndex[opInst->get()] = host.newIndex();
        transition = ZRT_createOpBranch_transition("_optransition1", opInst->get(), 0.0);
        slew = ZRT_createOpBranch_slew("_slew1", opInst->get());
        idt = ZRT_createOpBranch_idt("_idt1", opInst->get());
        ZRT_idtFinalizeTopology(idt, nullptr, 0);
        ZRT_idtSetStamp(idt, nullptr);
        ddt = ZRT_createOpBranch_ddt("_ddt1", opInst->get());
        ZRT_ddtFinalizeTopology(ddt, nullptr, 0);
        ZRT_ddtSetStamp(ddt, nullptr);
        delay = ZRT_createOpBranch_delay("_opdelay1", opInst->get());
        ZRT_delayFinalizeTopology(delay, nullptr, nullptr);
        ZRT_delaySetStamp(delay, nullptr);
        // Laplace in both realisations (the host's parameters make a
        // denominator of order 2 or more a cascade, coefficients of order
        // 1 direct) and a zi filter, over arrays of their own.
        for (s_ZRT_Array*& a : arrays) {
            a = ZRT_createArrayVar(ZRT_REAL_ARRAY, "coeffs", &host.sim);
            ZRT_setArrayBounds(a, 0, 2);
        }
        const double values[4][3] = {{1, 0.5, 0}, {2, 3, 1}, {1, 0, 0}, {1, -0.5, 0.1 * seed}};
        for (int k = 0; k < 4; ++k) {
            for (int i = 0; i < 3; ++i) {
                ZRT_setArrayReal(arrays[k], i, values[k][i]);
            }
        }
        laplace[0] = ZRT_createOpBranch_lap("_oplap1", opInst->get(), 0, 0);
        ZRT_lapInitArrayArg(laplace[0], arrays[0], arrays[1]);
        laplace[1] = ZRT_createOpBranch_lap("_oplap2", opInst->get(), 0, 0);
        ZRT_lapInitArrayArg(laplace[1], arrays[2], arrays[0]);
        for (ZRT_OpBranch_lap* op : laplace) {
            ZRT_lapFinalizeTopology(op, nullptr, 1);
            ZRT_lapSetStamp(op, nullptr);
        }
        zi = ZRT_createOpBranch_zi("_opzi1", opInst->get(), 0, 0, 1e-10);
        ZRT_ziInitArrayArg(zi, arrays[0], arrays[3]);
        ZRT_ziFinalizeTopology(zi, nullptr);
        ZRT_ziSetStamp(zi, nullptr);
    }
    ~ThreadWork() {
        ZRT_destroyOpBranch_delay(delay);
        for (ZRT_OpBranch_lap* op : laplace) {
            ZRT_destroyOpBranch_lap(op);
        }
        ZRT_destroyOpBranch_zi(zi);
        for (s_ZRT_Array* a : arrays) {
            ZRT_freeArray(a);
        }
        ZRT_destroyOpBranch_transition(transition);
        ZRT_destroyOpBranch_slew(slew);
        ZRT_destroyOpBranch_idt(idt);
        ZRT_destroyOpBranch_ddt(ddt);
    }

    // Every load of the thread: initial step, full, right-hand side and
    // noise loads of each model; the operators over a short transient.
    void run() {
        const s_ZRT_ContribLoader* l = &loader.loader;
        for (int n = 0; n < kLoadsPerInstance; ++n) {
            loader.initialStep = n == 0 ? 1 : 0;
            loader.noise = n % 3 == 2 ? 1 : 0;
            for (auto& m : models) {
                m->md.genericAnalogLoad(m->get(), l);
                m->md.genericAnalogLoadRHS(m->get(), l);
                m->md.tranAcceptPoint(m->get(), l);
            }
            loader.time = 1e-9 * n;
            ZRT_transitionSetArg(transition, n % 10 < 5 ? 1.0 : 0.0, 1e-9, 1e-9, 1e-9, 0.0, l);
            ZRT_transitionAcceptTimePoint(transition, l);
            ZRT_slewSetArg(slew, n % 2, 1e8, -1e8, l);
            ZRT_slewAcceptTimePoint(slew);
            ZRT_idtSetArg3(idt, 1.0, 0.0, l);
            ZRT_idtGenericLoad(idt, l);
            ZRT_idtAcceptTimePoint(idt, l);
            ZRT_OpBranch_ddt_setArg(ddt, n * 0.5, l);
            ZRT_ddtGenericLoad(ddt, l);
            ZRT_delaySetArg(delay, n % 4, 2e-9, 0.0, l);
            ZRT_delayGenericLoad(delay, l);
            ZRT_delayAcceptTimePoint(delay, l);
            for (ZRT_OpBranch_lap* op : laplace) {
                ZRT_lapSetArg(op, n % 3, op->numer, op->denom, l);
                ZRT_lapGenericLoad(op, l);
            }
            ZRT_ziSetArg(zi, n % 5, 3e-9, 1e-10, 0.0, l);
            ZRT_ziGenericLoad(zi, l);
            ZRT_ziAcceptTimePoint(zi, l);
            loader.sum += transition->output + slew->output;
        }
    }

    ThreadLoader loader;
    std::vector<std::unique_ptr<ModelInstance>> models;
    s_ZRT_ModuleDesc md{};
    std::unique_ptr<testhost::TestInstance> opInst;
    ZRT_OpBranch_transition* transition = nullptr;
    ZRT_OpBranch_slew* slew = nullptr;
    ZRT_OpBranch_idt* idt = nullptr;
    ZRT_OpBranch_ddt* ddt = nullptr;
    ZRT_OpBranch_delay* delay = nullptr;
    s_ZRT_Array* arrays[4] = {};
    ZRT_OpBranch_lap* laplace[2] = {};
    ZRT_OpBranch_zi* zi = nullptr;
};

TEST(ParallelLoads, DistinctInstancesLoadAlikeFromEightThreads) {
    TestHost host;
    host.setSimParam("maxLaplace_d_Order", 2);
    // Set up serially (the host's records are not shared-safe), then load
    // from the threads.
    std::vector<std::unique_ptr<ThreadWork>> alone;
    std::vector<std::unique_ptr<ThreadWork>> parallel;
    for (unsigned t = 0; t < kThreads; ++t) {
        alone.push_back(std::make_unique<ThreadWork>(host, t));
        parallel.push_back(std::make_unique<ThreadWork>(host, t));
    }
    for (auto& work : alone) {
        work->run();
    }
    std::vector<std::thread> threads;
    for (auto& work : parallel) {
        threads.emplace_back([&work] { work->run(); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (unsigned t = 0; t < kThreads; ++t) {
        EXPECT_TRUE(std::isfinite(parallel[t]->loader.sum));
        EXPECT_EQ(parallel[t]->loader.sum, alone[t]->loader.sum) << "thread " << t;
    }
    EXPECT_NE(alone[0]->loader.sum, alone[1]->loader.sum);  // the threads worked at distinct points
    EXPECT_EQ(alone[0]->laplace[0]->flags & LAP_DIRECT, 0);
    EXPECT_NE(alone[0]->laplace[1]->flags & LAP_DIRECT, 0);
    std::printf("%d threads, %d loads each\n", kThreads,
                kLoadsPerInstance * (2 * static_cast<int>(std::size(testhost::kModules)) + 6));
}

}  // namespace
