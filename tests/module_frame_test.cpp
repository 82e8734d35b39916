// The frame all nine modules share: registration into the host's
// descriptor, the exported analog functions, the instance lifecycle and the
// alder topology.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#include "dsl/ZRT_SupportLib.h"
#include "tests/model_fixture.h"

namespace {

using testhost::BlockView;
using testhost::Family;
using testhost::kModules;
using testhost::ModelInstance;
using testhost::ModuleSpec;
using testhost::TestHost;

class EachModuleRegistration : public testhost::ModuleTest {};
class EachModuleExports : public testhost::ModuleTest {};
class EachModuleLifecycle : public testhost::ModuleTest {};

// ---- registration -----------------------------------------------------------

constexpr size_t kWords = 64;  // the host's descriptor may extend beyond word 44

struct WordRange {
    size_t firstByte, bytes;
};

// The bytes a registration writes: the high half of word 11, words 12, the
// low half of 15, 16-29, 32-41, the low half of 43, and 44.
std::vector<WordRange> writtenRanges() {
    auto word = [](size_t n) { return 8 * (n - 1); };
    return {{word(11) + 4, 4}, {word(12), 8}, {word(15), 4}, {word(16), 8 * 14},
            {word(32), 8 * 10}, {word(43), 4}, {word(44), 8}};
}

bool isWritten(size_t byte) {
    for (const WordRange& r : writtenRanges()) {
        if (byte >= r.firstByte && byte < r.firstByte + r.bytes) {
            return true;
        }
    }
    return false;
}

TEST_P(EachModuleRegistration, WritesOnlyTheModulesPartOfTheDescriptor) {
    const ModuleSpec& spec = GetParam();
    alignas(8) unsigned char first[kWords * 8];
    alignas(8) unsigned char second[kWords * 8];
    std::memset(first, 0xA5, sizeof first);
    auto* md = reinterpret_cast<s_ZRT_ModuleDesc*>(first);
    spec.registerModule(md);

    for (size_t i = 0; i < sizeof first; ++i) {
        if (!isWritten(i)) {
            ASSERT_EQ(first[i], 0xA5) << "byte " << i << " (word " << i / 8 + 1 << ")";
        }
    }
    EXPECT_EQ(md->numOutVars, 0);
    EXPECT_EQ(md->moduleFlags, spec.moduleFlags);
    EXPECT_EQ(md->numExportFuncs, 5);
    EXPECT_EQ(md->freeDeviceSerializer, &ZRT_FreeDeviceSerializer);
    const void* const* words = reinterpret_cast<const void* const*>(first);
    for (size_t w = 16; w <= 29; ++w) {
        EXPECT_NE(words[w - 1], nullptr) << "callback word " << w;
    }
    for (size_t w = 32; w <= 41; ++w) {
        EXPECT_NE(words[w - 1], nullptr) << "group word " << w;
    }
    const ZRT_OutVarDesc& end = md->outVarDescs[0];
    EXPECT_EQ(end.name, nullptr);
    EXPECT_EQ(end.type, 5u);
    EXPECT_EQ(end.index, -1);
    EXPECT_STREQ(md->D2A_ImportNames[0], "");
    EXPECT_EQ(md->D2A_ImportEvents[0], -1);
    EXPECT_EQ(md->D2A_ImportEvents[1], 0);

    // A second registration writes the same bytes.
    std::memcpy(second, first, sizeof first);
    spec.registerModule(reinterpret_cast<s_ZRT_ModuleDesc*>(second));
    EXPECT_EQ(std::memcmp(first, second, sizeof first), 0);
}

TEST(Registration, ANullDescriptorStopsAtTheAssertion) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(registerCallbacks_module_alder_a_1(nullptr), "pMD.*line 4790");
    EXPECT_DEATH(registerCallbacks_module_birch_c_5(nullptr), "pMD.*line 4509");
}

TEST(Registration, EachModuleHasItsOwnWritableMixedSignalTables) {
    s_ZRT_ModuleDesc a{}, b{};
    registerCallbacks_module_alder_a_1(&a);
    registerCallbacks_module_alder_b_2(&b);
    EXPECT_NE(a.AMS_Sizes, b.AMS_Sizes);
    EXPECT_NE(a.D2A_ImportTypes, b.D2A_ImportTypes);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(a.AMS_Sizes[k], 0);
    }
    const unsigned char* types = static_cast<const unsigned char*>(a.D2A_ImportTypes);
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(types[k], 0);
    }
}

// ---- exported analog functions ------------------------------------------------

ZRT_TaggedValue real(double x) {
    ZRT_TaggedValue v{};
    v.tag = ZRT_TAG_REAL;
    v.value.r = x;
    return v;
}

double call(const s_ZRT_ModuleDesc& md, const char* name, std::vector<ZRT_TaggedValue> args,
            s_ZRT_DeviceInst* inst = nullptr) {
    for (int i = 0; i < md.numExportFuncs; ++i) {
        const ZRT_ExportFuncDesc& f = md.exportFuncs[i];
        if (std::strcmp(f.name, name) == 0) {
            EXPECT_EQ(static_cast<size_t>(f.numArgs), args.size()) << name;
            ZRT_TaggedValue result;
            std::memset(&result, 0xFF, sizeof result);
            EXPECT_EQ(f.wrapper(&result, args.data(), nullptr, inst), &result);
            EXPECT_EQ(result.tag, static_cast<uint32_t>(ZRT_TAG_REAL));
            return result.value.r;
        }
    }
    ADD_FAILURE() << "no export " << name;
    return NAN;
}

TEST_P(EachModuleExports, TableOrderAndCounts) {
    const ModuleSpec& spec = GetParam();
    s_ZRT_ModuleDesc md{};
    spec.registerModule(&md);
    const char* names[5] = {"ln_cosh", "max_smooth", "min_smooth", "qc_diode", "sign"};
    const int64_t counts[5] = {1, 3, 3, 6, 1};
    for (int i = 0; i < 5; ++i) {
        EXPECT_STREQ(md.exportFuncs[i].name, names[i]);
        EXPECT_EQ(md.exportFuncs[i].numArgs, counts[i]);
    }
}

TEST_P(EachModuleExports, ValuesAtTheEdges) {
    const ModuleSpec& spec = GetParam();
    TestHost host;
    s_ZRT_ModuleDesc md{};
    spec.registerModule(&md);
    const double ln2 = 0.6931471805599453;
    EXPECT_EQ(call(md, "ln_cosh", {real(0.0)}), 0.0);
    EXPECT_EQ(call(md, "ln_cosh", {real(40.0)}), 40.0 - ln2);
    EXPECT_EQ(call(md, "ln_cosh", {real(-40.0)}), 40.0 - ln2);
    EXPECT_NEAR(call(md, "ln_cosh", {real(39.9)}), std::log(std::cosh(39.9)), 1e-13);

    EXPECT_EQ(call(md, "min_smooth", {real(1), real(3), real(0)}), 3.0);
    EXPECT_EQ(call(md, "max_smooth", {real(1), real(3), real(0)}), 1.0);
    EXPECT_EQ(call(md, "min_smooth", {real(2), real(2), real(0)}), 2.0);
    EXPECT_EQ(call(md, "max_smooth", {real(2), real(2), real(0)}), 2.0);
    EXPECT_EQ(call(md, "min_smooth", {real(0), real(0), real(2)}), 1.0);
    EXPECT_EQ(call(md, "max_smooth", {real(0), real(0), real(2)}), -1.0);

    EXPECT_EQ(call(md, "qc_diode", {real(2), real(3), real(0.001), real(1), real(0), real(4)}), 24.0);
    EXPECT_DOUBLE_EQ(call(md, "qc_diode", {real(2), real(3), real(0.002), real(1), real(0), real(4)}),
                     (0.002 * std::log(std::cosh(4.0)) + 4.0) * 6.0);
    const double zeroA3 = call(md, "qc_diode", {real(2), real(3), real(0.002), real(0), real(0), real(4)});
    EXPECT_TRUE(std::isfinite(zeroA3));

    EXPECT_EQ(call(md, "sign", {real(1.0)}), -1.0);
    EXPECT_EQ(call(md, "sign", {real(0.5)}), -1.0);
    EXPECT_EQ(call(md, "sign", {real(1.0000001)}), 1.0);
    EXPECT_EQ(call(md, "sign", {real(-3.0)}), -1.0);
    EXPECT_EQ(call(md, "sign", {real(NAN)}), -1.0);

    ZRT_TaggedValue two{};
    two.tag = ZRT_TAG_INT;
    two.value.i = 2;
    EXPECT_EQ(call(md, "min_smooth", {two, real(1), real(0)}), 2.0);
    EXPECT_TRUE(host.messages.empty());
}

TEST(ExportedFunctions, ATextArgumentIsAFatalConversionError) {
    TestHost host;
    ModelInstance m(host, kModules[0]);
    ZRT_TaggedValue text{};
    text.tag = ZRT_TAG_STRING;
    text.value.s = "1.0";
    EXPECT_EQ(call(m.md, "sign", {text}, m.get()), -1.0);  // goes on with 0.0 after "exit" returns
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Unable to convert to real.");
    EXPECT_EQ(host.exitCount(), 1);
}

// ---- lifecycle ------------------------------------------------------------------

TEST_P(EachModuleLifecycle, FinalizeSetsUpTheInstance) {
    const ModuleSpec& spec = GetParam();
    TestHost host;
    ModelInstance m(host, spec);
    m.get()->flags = 0xFF & ~ZRT_INST_HAS_OPERATOR;
    EXPECT_EQ(m.md.finalizeAnalogTopology(m.get()), 1);
    ASSERT_NE(m.get()->pModuleData, nullptr);
    BlockView b = m.block();
    for (int k = 0; k < spec.vars; ++k) {
        ASSERT_EQ(b.var(k), 0.0) << k;
    }
    for (int k = 0; k < spec.memory; ++k) {
        EXPECT_EQ(b.memory(k), 0.0);
    }
    EXPECT_EQ(b.execInvariant(), 1);
    EXPECT_EQ(m.get()->flags & ZRT_INST_MEMORY_RESET, 0);
    EXPECT_EQ((m.get()->flags & ZRT_INST_HAS_OPERATOR) != 0, spec.delayOp);
    EXPECT_EQ(b.op() != nullptr, spec.delayOp);

    for (int k = 0; k < 4; ++k) {
        const ZRT_NoiseSrc& src = m.get()->noiseSrcs[k];
        EXPECT_EQ(src.noiseSrcType, static_cast<uint32_t>(ZRT_WHITE_NOISE_SRC));
        EXPECT_STREQ(src.name, "__white__");
        EXPECT_EQ(src.inst, m.get());
    }
    ASSERT_NE(m.get()->events[0], nullptr);
    EXPECT_EQ(m.get()->events[0]->eventType, static_cast<uint32_t>(ZRT_EVT_INITIAL_STEP));
    EXPECT_EQ(*static_cast<uint32_t*>(m.get()->events[0]->info), 0xFFFFFFFFu);
    ASSERT_NE(m.get()->limexps[0], nullptr);
    EXPECT_EQ(m.get()->limexps[0]->fn, &ZRT_defaultSoftExp);
    EXPECT_EQ(host.delaySpecsCreated, spec.delayOp ? 1 : 0);

    // The clone function heads the block.
    void* copy = ZRT_ClonePrivateInfo(m.get()->pModuleData, m.get(), m.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(*static_cast<void**>(copy), *static_cast<void**>(m.get()->pModuleData));
    s_ZRT_DeviceInst holder = *m.get();
    holder.pModuleData = copy;
    m.md.destroyInst(&holder);
}

TEST_P(EachModuleLifecycle, MemoryValuesFollowTheirModelVariables) {
    const ModuleSpec& spec = GetParam();
    TestHost host;
    ModelInstance m(host, spec);
    m.md.finalizeAnalogTopology(m.get());
    BlockView b = m.block();
    for (int k = 0; k < spec.vars; ++k) {
        b.var(k) = 1000.0 + k;
    }
    std::vector<unsigned char> before(static_cast<unsigned char*>(b.raw()),
                                      static_cast<unsigned char*>(b.raw()) + b.layout().counter + 4);
    m.md.setMemoryStates(m.get());
    if (std::string(spec.name) == "alder_a") {
        EXPECT_EQ(b.memory(0), 1128.0);
    } else if (std::string(spec.name) == "birch_c") {
        EXPECT_EQ(b.memory(0), 1123.0);
        EXPECT_EQ(b.memory(1), 1125.0);
    } else {
        EXPECT_EQ(std::memcmp(before.data(), b.raw(), before.size()), 0);
    }
    // Accepting a time point stores them too, and lets the operator accept.
    for (int k = 0; k < spec.memory; ++k) {
        b.memory(k) = -1.0;
    }
    m.md.tranAcceptPoint(m.get(), &host.loader);
    if (spec.memory > 0) {
        EXPECT_GT(b.memory(0), 1000.0);
    }
    EXPECT_EQ(host.acceptDelayCalls, spec.delayOp ? 1 : 0);
}

TEST_P(EachModuleLifecycle, ResetZeroesValuesAndKeepsTopology) {
    const ModuleSpec& spec = GetParam();
    TestHost host;
    ModelInstance m(host, spec);
    m.setUp();
    BlockView b = m.block();
    for (int k = 0; k < spec.vars; ++k) {
        b.var(k) = 3.0;
    }
    for (int k = 0; k < spec.ints; ++k) {
        b.intVar(k) = 7;
    }
    for (int k = 0; k < spec.memory; ++k) {
        b.memory(k) = 4.0;
    }
    for (int k = 0; k < spec.history; ++k) {
        b.history(k) = 5.0;
    }
    b.execInvariant() = 0;
    const auto* raw = static_cast<unsigned char*>(b.raw());
    const std::vector<unsigned char> handles(raw + b.layout().rr, raw + b.layout().memory);
    const std::vector<unsigned char> tail(raw + b.layout().ams, raw + b.layout().counter + 4);
    const int specsBefore = host.delaySpecsCreated;

    m.md.resetMemoryStates(m.get());
    for (int k = 0; k < spec.vars; ++k) {
        ASSERT_EQ(b.var(k), 0.0);
    }
    for (int k = 0; k < spec.ints; ++k) {
        EXPECT_EQ(b.intVar(k), 0);
    }
    for (int k = 0; k < spec.memory; ++k) {
        EXPECT_EQ(b.memory(k), 0.0);
    }
    for (int k = 0; k < spec.history; ++k) {
        EXPECT_EQ(b.history(k), 5.0);
    }
    EXPECT_EQ(b.execInvariant(), 1);
    EXPECT_NE(m.get()->flags & ZRT_INST_MEMORY_RESET, 0);
    EXPECT_EQ(std::memcmp(handles.data(), raw + b.layout().rr, handles.size()), 0);
    EXPECT_EQ(std::memcmp(tail.data(), raw + b.layout().ams, tail.size()), 0);
    EXPECT_EQ(host.delaySpecsCreated, specsBefore + (spec.delayOp ? 1 : 0));

    m.md.doAnalogInitial(m.get());
    EXPECT_EQ(m.get()->flags & ZRT_INST_MEMORY_RESET, 0);
    m.md.forceExecInvarCode(m.get(), 0);
    EXPECT_EQ(b.execInvariant(), 0);
    m.md.forceExecInvarCode(m.get(), 5);
    EXPECT_EQ(b.execInvariant(), 1);
}

TEST(Lifecycle, OutputVariablesAndMixedSignalIndices) {
    TestHost host;
    ModelInstance a(host, testhost::moduleSpec("cedar_a"));
    a.md.finalizeAnalogTopology(a.get());
    BlockView b = a.block();
    b.var(5) = 2.5;
    b.intVar(1) = 42;

    ZRT_OutVarDesc rows[5] = {{"v5", 0, 0, 0, 5},   {"i1", 1, 0, 0, 1},   {"end", 5, 0, 0, -1},
                              {"far", 0, 0, 0, 206}, {"neg", 1, 0, 0, -1}};
    ZRT_OutVarInfo results[5];
    for (auto& r : results) {
        r.row = nullptr;
        r.value.raw = 0x1234;
    }
    a.md.getOutVarInfo(0, rows, results, a.get());
    a.md.getOutVarInfo(-1, rows, results, a.get());
    EXPECT_EQ(results[0].row, nullptr);
    a.md.getOutVarInfo(5, rows, results, a.get());
    EXPECT_EQ(results[0].row, &rows[0]);
    EXPECT_EQ(results[0].value.r, 2.5);
    EXPECT_EQ(results[1].value.i, 42);
    for (int k = 2; k < 5; ++k) {
        EXPECT_EQ(results[k].row, &rows[k]);
        EXPECT_EQ(results[k].value.raw, 0x1234u) << "row " << k << " keeps its value";
    }

    for (int k = 0; k < 4; ++k) {
        b.ams(k) = -9;
    }
    a.md.setAMS_Indices(a.get(), 1, 2, 3, 4);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(b.ams(k), -9);
    }
    a.md.AMS_Sizes[2] = 1;
    a.md.setAMS_Indices(a.get(), 1, 2, 3, 4);
    EXPECT_EQ(b.ams(1), -9);
    EXPECT_EQ(b.ams(2), 3);
    a.md.AMS_Sizes[2] = 0;
}

TEST_P(EachModuleLifecycle, CloneIsAnIndependentCopy) {
    const ModuleSpec& spec = GetParam();
    TestHost host;
    ModelInstance source(host, spec, "src");
    ModelInstance target(host, spec, "dst");
    source.setUp();
    BlockView b = source.block();
    for (int k = 0; k < spec.vars; ++k) {
        b.var(k) = 0.5 * k;
    }
    void* copy = ZRT_ClonePrivateInfo(source.get()->pModuleData, target.get(), target.get());
    ASSERT_NE(copy, nullptr);
    BlockView c(spec, copy);
    const size_t size = b.layout().counter + 4;
    if (spec.delayOp) {
        EXPECT_NE(c.op(), b.op());
        EXPECT_EQ(*reinterpret_cast<s_ZRT_DeviceInst**>(static_cast<char*>(c.op()) + 8), target.get());
        EXPECT_EQ(std::memcmp(b.raw(), copy, b.layout().op), 0);
        EXPECT_EQ(std::memcmp(static_cast<char*>(b.raw()) + b.layout().history,
                              static_cast<char*>(copy) + c.layout().history, size - b.layout().history),
                  0);
    } else {
        EXPECT_EQ(std::memcmp(b.raw(), copy, size), 0);
    }
    // The source goes away; the copy lives on in the target.
    source.destroy();
    target.get()->pModuleData = copy;
    EXPECT_EQ(c.var(7), 3.5);
    target.md.resetMemoryStates(target.get());
    EXPECT_EQ(c.var(7), 0.0);
}

// After "Out of memory." the host's "exit" may return: an instance left
// without its private block, or without its initial-step event, takes every
// later callback without a crash.
TEST_P(EachModuleLifecycle, AnExhaustedHeapDuringFinalizeLeavesASafeInstance) {
    const ModuleSpec& spec = GetParam();
    {
        TestHost host;
        ModelInstance m(host, spec);
        {
            testhost::LimitedHeap none(0);
            EXPECT_EQ(m.md.finalizeAnalogTopology(m.get()), 0);
        }
        EXPECT_EQ(m.get()->pModuleData, nullptr);
        EXPECT_EQ(host.exitCount(), 1);
        m.md.createBranches(m.get(), nullptr);
        m.md.createSystemStateVars(m.get(), nullptr);
        m.md.setAnalogStamp(m.get(), nullptr);
        m.md.reportTopology(m.get(), nullptr);
        m.md.genericAnalogLoad(m.get(), &host.loader);
        m.md.genericAnalogLoadRHS(m.get(), &host.loader);
        m.md.tranAcceptPoint(m.get(), &host.loader);
        m.md.resetMemoryStates(m.get());
        s_ZRT_DeviceState state{};
        uint32_t count = 0;
        EXPECT_EQ(m.md.saveDeviceState(m.get(), &state, &count), nullptr);
        EXPECT_TRUE(host.stamps.empty());
        EXPECT_TRUE(host.loads.empty());
    }
    {
        // Block and limexp descriptor, but no initial-step event.
        TestHost host;
        ModelInstance n(host, spec);
        {
            testhost::LimitedHeap two(2);
            n.md.finalizeAnalogTopology(n.get());
        }
        ASSERT_NE(n.get()->pModuleData, nullptr);
        EXPECT_EQ(n.get()->events[0], nullptr);
        host.isInitialStep = 1;
        n.md.createBranches(n.get(), nullptr);
        n.md.createSystemStateVars(n.get(), nullptr);
        n.md.setAnalogStamp(n.get(), nullptr);
        n.md.genericAnalogLoad(n.get(), &host.loader);
        n.md.genericAnalogLoadRHS(n.get(), &host.loader);
        EXPECT_FALSE(host.loads.empty());
    }
}

TEST(Lifecycle, DestroyWithoutABlockDoesNothing) {
    TestHost host;
    ModelInstance m(host, kModules[3]);
    m.destroy();  // never finalized
    EXPECT_EQ(m.get()->pModuleData, nullptr);
}

// ---- alder topology -----------------------------------------------------------

const char* kAlderReport[21] = {
    "_ub_dRF_si_i",   "_ub_d_di_i",     "_ub_d_s_i",      "_ub_di_dRF_i",   "_ub_di_si_i",   "_ub_dii_si_i",
    "_ub_g_d_i",      "_ub_g_gi_i",     "_ub_g_s_i",      "_ub_gdi_di_i",   "_ub_gi_gdi_i",  "_ub_gi_gp_i",
    "_ub_gn_si_i",    "_ub_gp_gn_i",    "_ub_n12__gnd_i", "_ub_nTj__gnd_i", "_ub_pTj__gnd_i", "_ub_s_si_i",
    "_ub_xt1__gnd_i", "_ub_xt1_xt2_i",  "_ub_xt2__gnd_i"};

// Request numbers (handle = 0x1000 + request - 1) stored at each list position.
const int kRR[25] = {3, 13, 6, 11, 2, 1, 16, 18, 17, 14, 15, 23, 25, 4, 10, 9, 20, 21, 8, 7, 19, 5, 12, 22, 24};
const int kRD[13] = {28, 34, 30, 33, 27, 26, 36, 35, 38, 29, 32, 37, 31};
const int kJR[35] = {47, 45, 43, 42, 40, 44, 39, 56, 58, 59, 55, 70, 69, 68, 71, 73, 53, 63,
                     62, 61, 64, 66, 65, 50, 60, 57, 52, 51, 41, 54, 46, 67, 48, 72, 49};
const int kJD[13] = {76, 84, 80, 81, 75, 74, 83, 82, 86, 77, 79, 85, 78};

TEST(AlderTopology, BranchesReportStampsAndNoise) {
    for (const char* name : {"alder_a", "alder_b", "alder_c"}) {
        SCOPED_TRACE(name);
        TestHost host;
        ModelInstance m(host, testhost::moduleSpec(name));
        s_ZRT_DeviceInst* inst = m.get();
        int data = 0;
        const uintptr_t firstHandle = reinterpret_cast<uintptr_t>(host.newHandle()) + 1;
        m.createTopology(&data);
        BlockView b = m.block();

        // Branch state variables d-di, g-gi, s-si, xt1-xt2 in slots 9 to 12,
        // numbered 0 to 3.
        ASSERT_EQ(host.branches.size(), 4u);
        const char* names[4] = {"_ub_d_di_i", "_ub_g_gi_i", "_ub_s_si_i", "_ub_xt1_xt2_i"};
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(host.branches[k].branchName, names[k]);
            EXPECT_EQ(host.branches[k].hostData, &data);
            s_ZRT_StateVar* sv = inst->internalVars[9 + k];
            ASSERT_NE(sv, nullptr);
            ASSERT_NE(sv->branch, nullptr);
            EXPECT_EQ(sv->index, host.branches[k].index);
            EXPECT_EQ(sv->branch->branchNumber, k);
        }
        EXPECT_EQ(b.branchCounter(), 4);
        EXPECT_EQ(inst->internalVars[9]->branch->pos, inst->nodeVars[6]);  // d
        EXPECT_EQ(inst->internalVars[9]->branch->neg, inst->nodeVars[1]);  // di

        ASSERT_EQ(host.topology.size(), 21u);
        for (int k = 0; k < 21; ++k) {
            EXPECT_EQ(host.topology[k].name, kAlderReport[k]);
            EXPECT_EQ(host.topology[k].hostData, &data);
        }
        EXPECT_EQ(host.topology[0].a, inst->internalVars[0]);  // dRF
        EXPECT_EQ(host.topology[0].b, inst->nodeVars[4]);      // si
        EXPECT_EQ(host.topology[14].b, nullptr);               // n12 to ground
        EXPECT_EQ(host.topology[19].kind, 0);

        // 86 requests, each answer stored at its list position.
        ASSERT_EQ(host.stamps.size(), 86u);
        auto handle = [&](int request) { return reinterpret_cast<ZRT_Handle>(firstHandle + request - 1); };
        for (int k = 0; k < 25; ++k) EXPECT_EQ(b.rr(k), handle(kRR[k])) << "RR " << k;
        for (int k = 0; k < 13; ++k) EXPECT_EQ(b.rd(k), handle(kRD[k])) << "RD " << k;
        for (int k = 0; k < 35; ++k) EXPECT_EQ(b.jr(k), handle(kJR[k])) << "JR " << k;
        for (int k = 0; k < 13; ++k) EXPECT_EQ(b.jd(k), handle(kJD[k])) << "JD " << k;
        for (int r = 0; r < 86; ++r) {
            const testhost::StampRecord& s = host.stamps[r];
            EXPECT_EQ(s.hostData, &data);
            const testhost::StampKind want = r < 25   ? testhost::StampKind::StaticRhs
                                             : r < 38 ? testhost::StampKind::DynamicRhs
                                                      : testhost::StampKind::Jacobian;
            EXPECT_EQ(s.kind, want) << "request " << r + 1;
            if (r >= 38) {
                EXPECT_EQ(s.flag1, r < 73 ? 0 : 1) << "reactive flag of request " << r + 1;
            }
        }
        // Request 1: resistive residual of branch d-di, flag 1.
        EXPECT_EQ(host.stamps[0].rowA, inst->internalVars[9]);
        EXPECT_EQ(host.stamps[0].rowB, nullptr);
        EXPECT_EQ(host.stamps[0].flag1, 1);
        // Request 53: (dii, si) x (xt2).
        const testhost::StampRecord& r53 = host.stamps[52];
        EXPECT_EQ(r53.rowA, inst->nodeVars[3]);
        EXPECT_EQ(r53.rowB, inst->nodeVars[4]);
        EXPECT_EQ(r53.colA, inst->internalVars[8]);
        EXPECT_EQ(r53.colB, nullptr);
        // Request 78: reactive diagonal of (di, dRF), flag 0.
        const testhost::StampRecord& r78 = host.stamps[77];
        EXPECT_EQ(r78.rowA, inst->nodeVars[1]);
        EXPECT_EQ(r78.colA, inst->nodeVars[1]);
        EXPECT_EQ(r78.rowB, inst->internalVars[0]);
        EXPECT_EQ(r78.colB, inst->internalVars[0]);
        EXPECT_EQ(r78.flag2, 0);

        // Noise sources drive RR 20, 3, 6, 14.
        ASSERT_EQ(host.noiseReports.size(), 4u);
        const int noiseRR[4] = {20, 3, 6, 14};
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(host.noiseReports[k].source, k);
            EXPECT_EQ(host.noiseReports[k].key, b.rr(noiseRR[k]));
            EXPECT_EQ(host.noiseReports[k].hostData, &data);
        }
    }
}

TEST(AlderTopology, ABranchThatAlreadyExistedIsCollapsed) {
    TestHost host;
    ModelInstance m(host, testhost::moduleSpec("alder_a"));
    s_ZRT_DeviceInst* inst = m.get();
    m.md.finalizeAnalogTopology(inst);
    s_ZRT_StateVar* pre = ZRT_CreateBranchStateVar("_ub_d_di_i", ZRT_BRANCH_DEFAULT, inst->nodeVars[6], inst->nodeVars[1], inst,
                                                   nullptr);
    ASSERT_NE(pre, nullptr);
    pre->branch->branchNumber = 7;
    m.md.createBranches(inst, nullptr);
    m.md.reportTopology(inst, nullptr);
    BlockView b = m.block();
    EXPECT_EQ(inst->internalVars[9], pre);
    EXPECT_EQ(pre->branch->useCount, 2);
    EXPECT_EQ(pre->branch->branchNumber, 7);
    EXPECT_EQ(b.collapsed(1), 1);
    EXPECT_EQ(b.branchCounter(), 3);
    ASSERT_EQ(host.topology.size(), 20u);
    for (const auto& row : host.topology) {
        EXPECT_NE(row.name, "_ub_d_di_i");
    }
}

TEST(AlderTopology, NoReportWithoutTheHostSlot) {
    TestHost host;
    host.sim.ReportTopology = nullptr;
    ModelInstance m(host, kModules[0]);
    m.setUp();
    EXPECT_TRUE(host.topology.empty());
    EXPECT_EQ(host.stamps.size(), 86u);
}

// ---- birch topology -------------------------------------------------------------

// birch_a's report; birch_c reports the di-si branch last, as "cds_br_i".
const char* kBirchReport[18] = {
    "_ub_dRF_si_i", "_ub_d_di_i",   "_ub_d_s_i",   "_ub_di_dRF_i", "_ub_di_si_i",    "_ub_dii_si_i",
    "_ub_g_d_i",    "_ub_g_gi_i",   "_ub_g_s_i",   "_ub_gdi_di_i", "_ub_gi_gdi_i",   "_ub_gi_gp_i",
    "_ub_gn_si_i",  "_ub_gp_gn_i",  "_ub_n12__gnd_i", "_ub_nTj__gnd_i", "_ub_pTj__gnd_i", "_ub_s_si_i"};

// Request numbers (1 to 71) stored at each list position.
const int kBirchRR[21] = {3, 12, 5, 10, 2, 1, 15, 17, 16, 13, 14, 9, 8, 19, 20, 7, 6, 18, 4, 11, 21};
const int kBirchRD[11] = {24, 29, 25, 28, 23, 22, 31, 30, 27, 32, 26};
const int kBirchJR[28] = {41, 39, 37, 36, 34, 38, 33, 49, 51, 52, 48, 45, 56, 55,
                          54, 57, 59, 58, 43, 53, 50, 46, 44, 35, 47, 40, 60, 42};
const int kBirchJD[11] = {63, 70, 66, 67, 62, 61, 69, 68, 65, 71, 64};

TEST(BirchTopology, BranchesReportStampsDoubletsAndNoise) {
    for (const char* name : {"birch_a", "birch_c"}) {
        SCOPED_TRACE(name);
        const bool isC = std::string(name) == "birch_c";
        TestHost host;
        ModelInstance m(host, testhost::moduleSpec(name));
        s_ZRT_DeviceInst* inst = m.get();
        int data = 0;
        const uintptr_t firstHandle = reinterpret_cast<uintptr_t>(host.newHandle()) + 1;
        m.createTopology(&data);
        BlockView b = m.block();

        // Branch state variables d-di, g-gi, s-si in slots 7 to 9, numbered
        // 0 to 2, then the operator's nodeless branch.
        ASSERT_EQ(host.branches.size(), 4u);
        const char* names[4] = {"_ub_d_di_i", "_ub_g_gi_i", "_ub_s_si_i", "_opdelay8"};
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(host.branches[k].branchName, names[k]);
            EXPECT_EQ(host.branches[k].hostData, &data);
        }
        for (int k = 0; k < 3; ++k) {
            s_ZRT_StateVar* sv = inst->internalVars[7 + k];
            ASSERT_NE(sv, nullptr);
            EXPECT_EQ(sv->branch->branchNumber, k);
        }
        EXPECT_EQ(b.branchCounter(), 3);
        EXPECT_EQ(inst->internalVars[9]->branch->pos, inst->nodeVars[2]);  // s
        EXPECT_EQ(inst->internalVars[9]->branch->neg, inst->nodeVars[4]);  // si
        s_ZRT_StateVar* opVar = ZRT_getBranchVar_delay(static_cast<ZRT_OpBranch_delay*>(b.op()));
        ASSERT_NE(opVar, nullptr);

        // 18 reports; the di-si branch fifth in birch_a, last in birch_c.
        ASSERT_EQ(host.topology.size(), 18u);
        std::vector<std::string> want(kBirchReport, kBirchReport + 18);
        if (isC) {
            want.erase(want.begin() + 4);
            want.push_back("cds_br_i");
        }
        for (int k = 0; k < 18; ++k) {
            EXPECT_EQ(host.topology[k].name, want[k]);
            EXPECT_EQ(host.topology[k].hostData, &data);
        }
        const testhost::TopologyReport& diSi = host.topology[isC ? 17 : 4];
        EXPECT_EQ(diSi.a, inst->nodeVars[1]);
        EXPECT_EQ(diSi.b, inst->nodeVars[4]);
        EXPECT_EQ(diSi.kind, 1);
        EXPECT_EQ(host.topology[isC ? 13 : 14].b, nullptr);  // n12 to ground

        // The four derivative doublets of the delayed quantity come first, on
        // the operator's branch variable against (gi, gn), (di, si), (dRF, si)
        // and nTj.
        ASSERT_EQ(host.stamps.size(), 4u + 71u + 3u);
        s_ZRT_StateVar* const pairs[4][2] = {{inst->internalVars[2], inst->internalVars[3]},
                                             {inst->nodeVars[1], inst->nodeVars[4]},
                                             {inst->internalVars[0], inst->nodeVars[4]},
                                             {inst->internalVars[6], nullptr}};
        for (int k = 0; k < 4; ++k) {
            const testhost::StampRecord& s = host.stamps[k];
            EXPECT_EQ(s.kind, testhost::StampKind::Doublet);
            EXPECT_EQ(s.rowA, opVar);
            EXPECT_EQ(s.colA, pairs[k][0]);
            EXPECT_EQ(s.colB, pairs[k][1]);
            EXPECT_EQ(s.flag1, 3);
            EXPECT_EQ(s.flag2, 1);
            EXPECT_EQ(b.deriv(k), s.handle);
        }

        // Then the 71 requests, each answer at its list position.
        auto handle = [&](int request) { return reinterpret_cast<ZRT_Handle>(firstHandle + 4 + request - 1); };
        for (int k = 0; k < 21; ++k) EXPECT_EQ(b.rr(k), handle(kBirchRR[k])) << "RR " << k;
        for (int k = 0; k < 11; ++k) EXPECT_EQ(b.rd(k), handle(kBirchRD[k])) << "RD " << k;
        for (int k = 0; k < 28; ++k) EXPECT_EQ(b.jr(k), handle(kBirchJR[k])) << "JR " << k;
        for (int k = 0; k < 11; ++k) EXPECT_EQ(b.jd(k), handle(kBirchJD[k])) << "JD " << k;
        for (int r = 0; r < 71; ++r) {
            const testhost::StampRecord& s = host.stamps[4 + r];
            EXPECT_EQ(s.hostData, &data);
            const testhost::StampKind kind = r < 21   ? testhost::StampKind::StaticRhs
                                             : r < 32 ? testhost::StampKind::DynamicRhs
                                                      : testhost::StampKind::Jacobian;
            EXPECT_EQ(s.kind, kind) << "request " << r + 1;
            if (r >= 32) {
                EXPECT_EQ(s.flag1, r < 60 ? 0 : 1) << "reactive flag of request " << r + 1;
            }
        }
        // Request 1: resistive residual of branch d-di, flag 1.
        EXPECT_EQ(host.stamps[4].rowA, inst->internalVars[7]);
        EXPECT_EQ(host.stamps[4].flag1, 1);
        // Request 45 (JR 11): row (dii, si), column the operator's variable.
        const testhost::StampRecord& r45 = host.stamps[4 + 44];
        EXPECT_EQ(r45.rowA, inst->nodeVars[3]);
        EXPECT_EQ(r45.rowB, inst->nodeVars[4]);
        EXPECT_EQ(r45.colA, opVar);
        EXPECT_EQ(r45.colB, nullptr);
        // Request 69 (JD 6): reactive diagonal of (gp, gn), flag 1.
        const testhost::StampRecord& r69 = host.stamps[4 + 68];
        EXPECT_EQ(r69.rowA, inst->internalVars[4]);
        EXPECT_EQ(r69.colB, inst->internalVars[3]);
        EXPECT_EQ(r69.flag2, 1);

        // The operator's own three: residual, delay and self-doublet.
        const testhost::StampRecord* op = &host.stamps[75];
        EXPECT_EQ(op[0].kind, testhost::StampKind::StaticRhs);
        EXPECT_EQ(op[0].rowA, opVar);
        EXPECT_EQ(op[1].kind, testhost::StampKind::Delay);
        EXPECT_EQ(op[1].flag1, 3);
        EXPECT_EQ(op[2].kind, testhost::StampKind::Doublet);
        EXPECT_EQ(op[2].colA, opVar);
        EXPECT_EQ(op[2].colB, nullptr);

        // Noise sources drive RR 17, 3, 6, 11.
        ASSERT_EQ(host.noiseReports.size(), 4u);
        const int noiseRR[4] = {17, 3, 6, 11};
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(host.noiseReports[k].source, k);
            EXPECT_EQ(host.noiseReports[k].key, b.rr(noiseRR[k]));
        }
    }
}

TEST(BirchTopology, ASecondInstanceOnTheSamePairsCollapsesItsBranches) {
    for (const char* name : {"birch_a", "birch_c"}) {
        SCOPED_TRACE(name);
        TestHost host;
        ModelInstance m(host, testhost::moduleSpec(name));
        s_ZRT_DeviceInst* inst = m.get();
        m.md.finalizeAnalogTopology(inst);
        m.md.createBranches(inst, nullptr);
        host.topology.clear();
        m.md.createBranches(inst, nullptr);  // the same pairs again
        m.md.reportTopology(inst, nullptr);
        BlockView b = m.block();
        EXPECT_EQ(b.collapsed(1), 1);
        EXPECT_EQ(b.collapsed(7), 1);
        EXPECT_EQ(b.collapsed(18), 1);
        ASSERT_EQ(host.topology.size(), 15u);
        for (const auto& row : host.topology) {
            EXPECT_TRUE(row.name != "_ub_d_di_i" && row.name != "_ub_g_gi_i" && row.name != "_ub_s_si_i");
        }
    }
}

using testhost::ModuleName;
INSTANTIATE_TEST_SUITE_P(Models, EachModuleRegistration, ::testing::ValuesIn(kModules), ModuleName());
INSTANTIATE_TEST_SUITE_P(Models, EachModuleExports, ::testing::ValuesIn(kModules), ModuleName());
INSTANTIATE_TEST_SUITE_P(Models, EachModuleLifecycle, ::testing::ValuesIn(kModules), ModuleName());

}  // namespace
