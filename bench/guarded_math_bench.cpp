// The guarded functions that every model load calls many times per Newton
// iteration: checked division, power with derivatives and the exponentials.
#include <benchmark/benchmark.h>

#include "dsl/ZRT_SupportLib.h"

static void BM_RealChkDiv(benchmark::State& state) {
    double num = 1.25;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ZRT_RealChkDiv(num, 3.5, nullptr, 100, nullptr, 0));
        num += 0.5;
    }
}
BENCHMARK(BM_RealChkDiv);

static void BM_RealChkDivByZero(benchmark::State& state) {
    s_ZRT_ContribLoader loader{};
    loader.GetDefault = [](int32_t, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) { return 0.0; };
    double num = 1.25;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ZRT_RealChkDiv(num, 0.0, nullptr, 100, &loader, 0));
        num += 0.5;
    }
}
BENCHMARK(BM_RealChkDivByZero);

static void BM_PowWithDerivatives(benchmark::State& state) {
    double x = 0.5;
    double dx = 0.0;
    double dy = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ZRT_pow(x, 1.7, &dx, &dy));
        benchmark::DoNotOptimize(dx);
        benchmark::DoNotOptimize(dy);
        x += 1e-3;
    }
}
BENCHMARK(BM_PowWithDerivatives);

static void BM_ExpFPDeriv(benchmark::State& state) {
    double x = -40.0;
    double d = 0.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ZRT_exp_FP_deriv(x, &d));
        benchmark::DoNotOptimize(d);
        x = x < 40.0 ? x + 0.01 : -40.0;
    }
}
BENCHMARK(BM_ExpFPDeriv);

static void BM_LimexpThroughDescriptor(benchmark::State& state) {
    s_ZRT_LimexpDesc desc{};
    desc.fn = ZRT_defaultSoftExp;
    double x = -40.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(desc.fn(x, &desc));
        benchmark::DoNotOptimize(desc.deriv);
        x = x < 400.0 ? x + 0.1 : -40.0;
    }
}
BENCHMARK(BM_LimexpThroughDescriptor);
