// Cost of a repeated warning: hashing its text and finding the hash among the
// warnings an instance has already sent.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "rte/ZRT_CommonInterface.h"

static void BM_RepeatedWarningLookup(benchmark::State& state) {
    s_ZRT_DeviceInst inst{};
    std::vector<std::string> texts;
    for (int64_t i = 0; i < state.range(0); ++i) {
        texts.push_back("warning text number " + std::to_string(i));
        ZRT_IsMessageDuplicate(texts.back().c_str(), &inst);
    }
    const char* last = texts.back().c_str();
    for (auto _ : state) {
        benchmark::DoNotOptimize(ZRT_IsMessageDuplicate(last, &inst));
    }
    std::free(inst.msgDupHashes);
}
BENCHMARK(BM_RepeatedWarningLookup)->Arg(1)->Arg(16)->Arg(256);

static void BM_DoubleToInt(benchmark::State& state) {
    double x = -1e6;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ZRT_doubleToInt(x));
        x += 0.37;
    }
}
BENCHMARK(BM_DoubleToInt);
