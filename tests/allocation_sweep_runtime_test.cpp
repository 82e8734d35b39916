// Every allocation failed in turn over the lifecycles of the rest of the
// runtime: the laplace operators in both realisations, the zi operators,
// runtime arrays, noise tables with their data-file reader, and the saved
// states of the operators, arrays, texts and last-crossing records. A
// restore that answers 1 must have read back exactly what was saved.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "dsl/ZRT_SupportLib.h"
#include "rte/arrays.h"
#include "tests/allocation_faults.h"
#include "tests/stream_bytes.h"

namespace {

using testhost::AllocationFaults;
using testhost::HostFrame;
using testhost::LifeReport;
using testhost::OperatorHost;
using testhost::TestHost;
using testhost::realArray;

// ---- laplace ----------------------------------------------------------------------

// Direct: coefficients over roots. Cascade: roots over coefficients, whose
// denominator the host's eigenvalue routine factors into sections.
void laplaceLife(TestHost& host, LifeReport& report, bool cascade) {
    OperatorHost oh(host);
    if (cascade) {
        HostFrame frame;
        host.setSimParam("maxLaplace_d_Order", 1);
        host.setSimParam("maxLaplace_p_Order", -1);
        testhost::guardHostCallbacks(host);
    }
    s_ZRT_DeviceInst* inst = oh.get();
    s_ZRT_Array* numer = cascade ? realArray(&host.sim, {-2, 0, -7, 0}, false) : realArray(&host.sim, {1, 0.5, 0.1}, true);
    s_ZRT_Array* denom = cascade ? realArray(&host.sim, {6, 11, 6, 1}, true) : realArray(&host.sim, {-1, 2, -1, -2, -3, 0}, false);
    ZRT_OpBranch_lap* op = ZRT_createOpBranch_lap("_oplap1", inst, cascade ? 1 : 0, cascade ? 0 : 1);
    ZRT_lapInitArrayArg(op, numer, denom);
    ZRT_lapFinalizeTopology(op, nullptr, 1);
    ZRT_lapSetStamp(op, nullptr);
    // (A denominator that lost its data is a constant, which is direct.)
    const bool direct = op != nullptr && (op->flags & LAP_DIRECT) != 0;
    if (op != nullptr && (op->flags & LAP_TOPOLOGY) != 0 && (cascade ? direct && op->_denomN == 3 : !direct)) {
        report.fault("the operator took the other realisation");
    }
    const ZRT_Handle doublet = ZRT_getDerivDoubletOpBranch_lap(op, nullptr, nullptr, 0, 0, nullptr);
    for (double x : {1.0, 0.5}) {
        ZRT_lapSetArg(op, x, numer, denom, &host.loader);
        ZRT_lapSetArg_dwrt(op, doublet, 1.0, &host.loader);
        ZRT_lapGenericLoad(op, &host.loader);
        ZRT_lapGenericLoadRHS(op, &host.loader);
        ZRT_addNoiseForOp_lap(oh.noise(), op, 1.0);
        ZRT_reportNoiseContribForOp_lap(op, 0, nullptr);
        ZRT_lapAcceptTimePoint(op, &host.loader);
        // The model changes its array variable: the operator takes it over.
        ZRT_setArrayReal(cascade ? denom : numer, 1, 12.0);
    }
    ZRT_lapRestoreState(op, ZRT_lapSaveState(op));
    ZRT_OpBranch_lap* clone = ZRT_OpClone_lap(op, oh.other->get());
    ZRT_lapSetArg(clone, 1.0, numer, denom, &host.loader);
    ZRT_lapGenericLoad(clone, &host.loader);
    ZRT_destroyOpBranch_lap(clone);
    ZRT_lapReset(op);
    ZRT_destroyOpBranch_lap(op);
    ZRT_freeArray(numer);
    ZRT_freeArray(denom);
}

TEST(RuntimeSweep, LaplaceDirect) {
    testhost::sweep("laplace, direct", [](TestHost& host, LifeReport& report) { laplaceLife(host, report, false); });
}

TEST(RuntimeSweep, LaplaceCascade) {
    testhost::sweep("laplace, cascade", [](TestHost& host, LifeReport& report) { laplaceLife(host, report, true); });
}

// ---- zi -----------------------------------------------------------------------------

void ignoreZ(void*, ZRT_Handle, double, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) {}

void ziLife(TestHost& host, LifeReport& report) {
    OperatorHost oh(host);
    host.loader.LoadZ_Transform = ignoreZ;
    host.loader.LoadZ_Transform_dwrt = ignoreZ;
    s_ZRT_DeviceInst* inst = oh.get();
    s_ZRT_Array* numer = realArray(&host.sim, {0.25, 0.0}, false);
    s_ZRT_Array* denom = realArray(&host.sim, {1.0, -0.5, 0.1}, true);
    ZRT_OpBranch_zi* op = ZRT_createOpBranch_zi("_opzi1", inst, 1, 0, 1e-5);
    ZRT_ziInitArrayArg(op, numer, denom);
    ZRT_ziFinalizeTopology(op, nullptr);
    ZRT_ziSetStamp(op, nullptr);
    const ZRT_Handle doublet = ZRT_getDerivDoubletOpBranch_zi(op, nullptr, nullptr, nullptr, 0, nullptr);
    for (double t : {0.0, 1e-3, 1.5e-3, 2e-3}) {
        host.time = t;
        ZRT_ziSetArg(op, 1.0 + t * 1e3, 1e-3, 1e-5, 0.0, &host.loader);
        ZRT_ziSetArg_dwrt(op, doublet, 1.0, &host.loader);
        ZRT_ziGenericLoad(op, &host.loader);
        ZRT_ziGenericLoadRHS(op, &host.loader);
        ZRT_ziAcceptTimePoint(op, &host.loader);
        ZRT_setArrayReal(denom, 2, 0.1 + t);  // the model changes its array variable
    }
    // The arrays given again, as a model gives them at every evaluation.
    ZRT_ziInitArrayArg(op, numer, denom);
    ZRT_GenericOperatorState* target = ZRT_ziSaveState(op);
    const int32_t answer = testhost::roundTrip(inst, ZRT_ziSaveState(op), target);
    if (answer == 1 && target != nullptr) {
        AllocationFaults::Pause pause;
        const auto& zi = *reinterpret_cast<const ZRT_ZiState*>(target);
        // Bit for bit: a filter left without a denominator has NaN outputs.
        if (std::memcmp(&zi.output, &op->output, sizeof zi.output) != 0 || std::memcmp(zi.u, op->u, sizeof(double) * static_cast<size_t>(op->numerCount)) ||
            std::memcmp(zi.y, op->y, sizeof(double) * static_cast<size_t>(op->denomCount))) {
            report.fault("a zi state restored with answer 1 differs from the one saved");
        }
    }
    ZRT_ziRestoreState(op, target);
    releaseOperatorState(target);
    ZRT_OpBranch_zi* clone = ZRT_OpClone_zi(op, oh.other->get());
    host.time = 3e-3;
    ZRT_ziSetArg(clone, 2.0, 1e-3, 1e-5, 0.0, &host.loader);
    ZRT_ziAcceptTimePoint(clone, &host.loader);
    ZRT_destroyOpBranch_zi(clone);
    ZRT_ziReset(op);
    ZRT_destroyOpBranch_zi(op);
    ZRT_freeArray(numer);
    ZRT_freeArray(denom);
}

TEST(RuntimeSweep, Zi) { testhost::sweep("zi", ziLife); }

// ---- arrays ---------------------------------------------------------------------------

void arraysLife(TestHost& host, LifeReport&) {
    s_ZRT_Array* a = realArray(&host.sim, {1.0, 2.0, 3.0}, true);
    s_ZRT_Array* m = ZRT_createArray(ZRT_INT_ARRAY, "m", &host.sim);
    ZRT_setArrayBoundLists(m, 2, 0, 1, 3, 0);
    ZRT_setArrayIntGeneric(m, 5, NO_RANGE, 2, 1, 2);
    ZRT_setArrayInt(m, ZRT_getArrayIndex(m, nullptr, 2, 0, 3), 7);
    ZRT_getArrayIntGeneric(m, NO_RANGE, 3, 1, 2, 0);
    // An index out of range: the error names the array and its bounds.
    ZRT_getArrayReal(a, ZRT_getArrayIndex(a, nullptr, 1, 9));
    s_ZRT_Array* b = ZRT_cloneArray(a);
    s_ZRT_Array* c = ZRT_createArray(ZRT_INT_ARRAY, "c", &host.sim);
    s_ZRT_Array* d = ZRT_duplicateArray(m);
    s_ZRT_Array* temp = ZRT_createTempArray(m, "temp");
    ZRT_assignArray(temp, m);
    ZRT_initRealArray(b, 4, 1.0, 2.0, 3.0, 4.0);
    ZRT_initIntArray(c, 2, 1, 2);
    ZRT_assignArray(a, b);
    ZRT_resetArray(temp);
    ZRT_checkArrayRange(a, '[', 0.0, 5.0, ')');
    ZRT_setArrayBounds(b, 4, 0);
    ZRT_setArrayReal(b, ZRT_getArrayIndex_1(b, 2), 0.5);
    for (s_ZRT_Array* x : {a, m, b, c, d, temp}) {
        ZRT_freeArray(x);
    }
}

TEST(RuntimeSweep, Arrays) { testhost::sweep("arrays", arraysLife); }

// ---- noise tables ------------------------------------------------------------------------

void noiseTablesLife(TestHost& host, LifeReport& report) {
    std::string good;
    std::string bad;
    std::string missing;
    {
        HostFrame frame;
        good = host.filePath("table.dat");
        bad = host.filePath("bad%.dat");
        missing = host.filePath("missing.dat");
        std::FILE* file = std::fopen(good.c_str(), "w");
        std::fputs("# f   power\n1 1e-20\n1e3 2e-20 # flat\r\n1e6 4.5e-21\n", file);
        std::fclose(file);
        file = std::fopen(bad.c_str(), "w");
        std::fputs("1 1e-20\n2 x%y\n", file);
        std::fclose(file);
    }
    OperatorHost oh(host);
    s_ZRT_DeviceInst* inst = oh.get();
    ZRT_NoiseSrc* src = &inst->noiseSrcs[1];
    ZRT_setNoiseSrcInfo(src, ZRT_TABLE_NOISE_SRC, 0, "nt%1", inst);
    s_ZRT_Array* pairs = realArray(&host.sim, {1, 1e-20, 10, 2e-20, 100, 3e-20}, false);
    ZRT_setNoiseTableArg(src, pairs);
    ZRT_setNoiseTableArgs(src, pairs, 2, 9);  // clipped, with its warning
    s_ZRT_Array* cache = nullptr;
    ZRT_setNoiseTableFile(src, &cache, good.c_str());
    if (cache != nullptr) {
        AllocationFaults::Pause pause;
        const double want[] = {1, 1e-20, 1e3, 2e-20, 1e6, 4.5e-21};
        if (cache->_dataLen != 6 || std::memcmp(cache->data, want, sizeof want) != 0) {
            report.fault("a data file read into other values");
        }
    }
    ZRT_setNoiseTableFile(src, &cache, good.c_str());
    s_ZRT_Array* none = nullptr;
    ZRT_setNoiseTableFile(src, &none, bad.c_str());
    ZRT_setNoiseTableFile(src, &none, missing.c_str());
    if (none != nullptr) {
        report.fault("a damaged data file was read");
    }
    ZRT_destroyNoiseTableFile(cache);
    ZRT_freeArray(pairs);
}

TEST(RuntimeSweep, NoiseTables) { testhost::sweep("noise tables", noiseTablesLife); }

// ---- saved states -------------------------------------------------------------------------

// A module record of a value, a real and an integer array, a text and a
// last-crossing record.
struct PayloadRecord {
    ZRT_ModuleSerializeFn serialize;
    double value;
    s_ZRT_Array* reals;
    s_ZRT_Array* ints;
    char* text;
    ZRT_LastCrossing* crossing;
};

ZRT_SrlzDirE serializePayloads(s_ZRT_DeviceInst* inst, void* record, ZRT_SrlzDirE dir) {
    auto* r = static_cast<PayloadRecord*>(record);
    ZRT_serializeDouble(&r->value, inst, &dir);
    ZRT_serializeArray(r->reals, inst, &dir);
    ZRT_serializeArray(r->ints, inst, &dir);
    ZRT_serializeString(&r->text, inst, &dir);
    ZRT_serializeLastCrossing(r->crossing, inst, &dir);
    return dir;
}

struct Payloads {
    Payloads(TestHost& host, s_ZRT_DeviceInst* inst, const char* text, double value)
        : record{serializePayloads, value, realArray(&host.sim, {value, 2.0, -3.5}, true),
                 ZRT_createArray(ZRT_INT_ARRAY, "ints", &host.sim), nullptr, ZRT_createLastCrossing(inst)} {
        ZRT_setArrayBoundLists(record.ints, 2, 0, 1, 2, 0);
        ZRT_setArrayInt(record.ints, 4, static_cast<int32_t>(value));
        record.text = ZRT_strdup(text, &host.sim, inst);
        text_ = record.text;
    }
    ~Payloads() {
        ZRT_freeArray(record.reals);
        ZRT_freeArray(record.ints);
        // A restore leaves the text it replaced to its caller.
        if (text_ != record.text) {
            ZRT_free(text_);
        }
        ZRT_free(record.text);
        ZRT_free(record.crossing);
    }
    PayloadRecord record;

private:
    char* text_;
};

// The payloads of the record and the states as a save writes them, taken
// under a paused sweep; the states stay.
using States = std::array<ZRT_GenericOperatorState*, 4>;

std::vector<uint8_t> payloadBytes(s_ZRT_DeviceInst* inst, PayloadRecord& record, const States& states) {
    AllocationFaults::Pause pause;
    HostFrame frame;
    ZRT_SrlzDirE dir = record.serialize(inst, &record, ZRT_SRLZ_SAVE);
    for (ZRT_GenericOperatorState* state : states) {
        if (state != nullptr) {
            state->serialize(state, inst, &dir);
        }
    }
    if (dir != ZRT_SRLZ_SAVE) {
        ZRT_FreeDeviceSerializer(inst, 1);
        return {};
    }
    return testhost::takeSavedBytes(inst);
}

void savedStatesLife(TestHost& host, LifeReport& report) {
    OperatorHost oh(host);
    s_ZRT_DeviceInst* inst = oh.get();
    host.loader.LoadZ_Transform = ignoreZ;
    ZRT_OpBranch_slew* slew = ZRT_createOpBranch_slew("_slew1", inst);
    ZRT_OpBranch_transition* transition = ZRT_createOpBranch_transition("_optransition1", inst, 0.0);
    ZRT_OpBranch_idt* idt = ZRT_createOpBranch_idt("_idt1", inst);
    s_ZRT_Array* numer = realArray(&host.sim, {1.0, 0.5}, false);
    s_ZRT_Array* denom = realArray(&host.sim, {1.0, -0.5}, false);
    ZRT_OpBranch_zi* zi = ZRT_createOpBranch_zi("_opzi1", inst, 0, 0, 1e-5);
    ZRT_ziInitArrayArg(zi, numer, denom);
    Payloads source(host, inst, "saved text", 4.0);
    for (double t : {0.0, 1.0, 1.5, 2.0}) {
        host.time = t;
        ZRT_slewSetArg(slew, t, 0.5, -0.5, &host.loader);
        ZRT_slewAcceptTimePoint(slew);
        ZRT_transitionSetArg(transition, t < 1.5 ? t : 2.0 - t, 0.5, 0.1, 0.1, 0.0, &host.loader);
        ZRT_transitionAcceptTimePoint(transition, &host.loader);
        ZRT_idtSetArg3(idt, 1.0, 0.0, &host.loader);
        ZRT_idtAcceptTimePoint(idt, &host.loader);
        ZRT_ziSetArg(zi, t, 1.0, 1e-5, 0.0, &host.loader);
        ZRT_ziAcceptTimePoint(zi, &host.loader);
        ZRT_LastCrossingVal(source.record.crossing, t - 0.7, 0, &host.loader);
        ZRT_acceptLastCrossing(source.record.crossing, &host.loader);
    }
    auto states = [&] {
        return States{ZRT_slewSaveState(slew), ZRT_transitionSaveState(transition), ZRT_idtSaveState(idt),
                      ZRT_ziSaveState(zi)};
    };
    States saved = states();
    States target = states();
    Payloads back(host, inst, "other", -1.0);
    const auto count = static_cast<int32_t>(saved.size());
    std::vector<uint8_t> expected;
    {
        // What the save writes when nothing fails.
        AllocationFaults::Pause pause;
        const States copies = states();
        expected = payloadBytes(inst, source.record, copies);
        for (ZRT_GenericOperatorState* state : copies) {
            releaseOperatorState(state);
        }
    }
    const int before = testhost::outOfMemoryCount(host);
    const int32_t answer = testhost::roundTrip(inst, &source.record, &back.record, saved.data(), target.data(), count);
    // The text a restore reads is allocated without the interface, and its
    // failure only refuses the stream.
    report.unreportedAllowed = answer == 0 && testhost::outOfMemoryCount(host) == before;
    if (answer == 1) {
        // Read back whole: the states and the record are those saved.
        if (payloadBytes(inst, back.record, target) != expected) {
            report.fault("a restore answered 1 over states that differ from those saved");
        }
        // The operators take the states over, as a module's restore does.
        if (target[0] != nullptr) {
            ZRT_slewRestoreState(slew, target[0]);
        }
        if (target[1] != nullptr) {
            ZRT_transitionRestoreState(transition, target[1]);
        }
        if (target[2] != nullptr) {
            ZRT_idtRestoreState(idt, target[2]);
        }
        ZRT_ziRestoreState(zi, target[3]);
    }
    for (ZRT_GenericOperatorState* state : target) {
        releaseOperatorState(state);
    }
    ZRT_destroyOpBranch_slew(slew);
    ZRT_destroyOpBranch_transition(transition);
    ZRT_destroyOpBranch_idt(idt);
    ZRT_destroyOpBranch_zi(zi);
    ZRT_freeArray(numer);
    ZRT_freeArray(denom);
}

TEST(RuntimeSweep, SavedStates) { testhost::sweep("saved states", savedStatesLife); }

// ---- faults found under allocation failure --------------------------------------

using testhost::Heap;

// A copy of a transition whose second event node cannot be had answers
// nothing, rather than a state that lacks pending changes.
TEST(AllocationFaults, TransitionCopyIsWholeOrNothing) {
    TestHost host;
    OperatorHost oh(host);
    ZRT_OpBranch_transition* op = ZRT_createOpBranch_transition("tr", oh.get(), 0.0);
    for (double t : {1.0, 2.0, 3.0}) {
        host.time = t;
        ZRT_transitionSetArg(op, 1.0 + t, 10.0, 0.5, 0.5, 0.0, &host.loader);
        ZRT_transitionAcceptTimePoint(op, &host.loader);
    }
    ASSERT_NE(op->spec->_pPendingFirst, op->spec->_pPendingLast);  // two pending changes
    {
        AllocationFaults faults(Heap::Runtime, 2);  // the state record, its first node, its second
        EXPECT_EQ(ZRT_transitionSaveState(op), nullptr);
    }
    {
        AllocationFaults faults(Heap::Runtime, 3);  // the operator, then as above
        EXPECT_EQ(ZRT_OpClone_transition(op, oh.get()), nullptr);
    }
    EXPECT_EQ(testhost::outOfMemoryCount(host), 2);
    ZRT_destroyOpBranch_transition(op);
}

// Arrays that the heap never made or left without bounds read 0, take no
// writes and answer -1 to lookups, without an error of their own.
TEST(AllocationFaults, ArraysLostToTheHeapReadZeroAndTakeNoWrites) {
    TestHost host;
    s_ZRT_Array* a = ZRT_createArray(ZRT_REAL_ARRAY, "a", &host.sim);
    {
        AllocationFaults faults(Heap::Runtime, 0);  // the left bounds
        ZRT_setArrayBounds(a, 0, 3);
    }
    for (s_ZRT_Array* lost : {a, static_cast<s_ZRT_Array*>(nullptr)}) {
        EXPECT_EQ(ZRT_getArrayIndex(lost, nullptr, 1, 2), -1);
        EXPECT_EQ(ZRT_getArrayIndex_1(lost, 2), -1);
        ZRT_setArrayReal(lost, 0, 5.0);
        EXPECT_EQ(ZRT_getArrayReal(lost, 0), 0.0);
        *ZRT_realRef(lost, 0) = 5.0;
        EXPECT_EQ(*ZRT_realRef(lost, 0), 0.0);
        ZRT_initRealArray(lost == nullptr ? lost : nullptr, 1, 2.0);
        ZRT_resetArray(lost == nullptr ? lost : nullptr);
    }
    EXPECT_EQ(testhost::outOfMemoryCount(host), 1);
    EXPECT_EQ(host.messages.size(), 1u);
    // Bounds set again make it whole.
    ZRT_setArrayBounds(a, 0, 3);
    ZRT_setArrayReal(a, 2, 5.0);
    EXPECT_EQ(ZRT_getArrayReal(a, ZRT_getArrayIndex(a, nullptr, 1, 2)), 5.0);
    EXPECT_EQ(a->flags & ZRT_ARRAY_NO_MEMORY, 0);
    ZRT_freeArray(a);
}

// The text of an index error cannot be built: the host still hears a
// fatal error, and the lookup answers -1.
TEST(AllocationFaults, IndexErrorWithoutMemoryForItsTextIsStillFatal) {
    TestHost host;
    testhost::guardHostCallbacks(host);
    s_ZRT_Array* a = ZRT_createArray(ZRT_REAL_ARRAY, "a_rather_long_array_name", &host.sim);
    ZRT_setArrayBounds(a, 0, 3);
    int32_t index = 0;
    {
        AllocationFaults faults(Heap::Language, 0, testhost::Failing::AndEveryLater);
        index = ZRT_getArrayIndex(a, nullptr, 1, 9);
    }
    EXPECT_EQ(index, -1);
    EXPECT_EQ(testhost::outOfMemoryCount(host), 1);
    EXPECT_EQ(host.exitCount(), 1);
    ZRT_freeArray(a);
}

// A zi operator whose coefficient array the heap could not give computes
// nothing and loads its held output.
TEST(AllocationFaults, ZiWithoutItsCoefficientArrayIsNotReady) {
    TestHost host;
    OperatorHost oh(host);
    ZRT_OpBranch_zi* op = ZRT_createOpBranch_zi("zi", oh.get(), 0, 0, 1e-5);
    ZRT_ziInitArrayArg(op, nullptr, nullptr);
    ZRT_ziFinalizeTopology(op, nullptr);
    ZRT_ziSetArg(op, 1.0, 1e-3, 1e-5, 0.0, &host.loader);
    ZRT_ziAcceptTimePoint(op, &host.loader);
    EXPECT_EQ(op->coeffsReady, 0);
    EXPECT_EQ(op->output, 0.0);
    EXPECT_EQ(ZRT_ziSaveState(op), nullptr);
    ZRT_destroyOpBranch_zi(op);
}

// Language allocations of the noise data-file reader and of a zi payload's
// read fail: nothing is thrown to the host, which hears "Out of memory.".
TEST(AllocationFaults, ReadersThrowNothingWhenTheLanguageHeapFails) {
    TestHost host;
    testhost::guardHostCallbacks(host);
    const std::string path = host.filePath("t.dat");
    std::FILE* file = std::fopen(path.c_str(), "w");
    std::fputs("1 2 3 4\n", file);
    std::fclose(file);
    OperatorHost oh(host);
    ZRT_NoiseSrc* src = &oh.get()->noiseSrcs[1];
    ZRT_setNoiseSrcInfo(src, ZRT_TABLE_NOISE_SRC, 0, "nt", oh.get());
    s_ZRT_Array* table = nullptr;
    {
        AllocationFaults faults(Heap::Language, 0, testhost::Failing::AndEveryLater);
        table = doReadNoiseTableFile(path.c_str(), src);
    }
    EXPECT_EQ(table, nullptr);
    EXPECT_EQ(testhost::outOfMemoryCount(host), 1);

    host.loader.LoadZ_Transform = ignoreZ;
    s_ZRT_Array* numer = realArray(&host.sim, {1.0, 0.5}, false);
    s_ZRT_Array* denom = realArray(&host.sim, {1.0, -0.5}, false);
    ZRT_OpBranch_zi* zi = ZRT_createOpBranch_zi("zi", oh.get(), 0, 0, 1e-5);
    ZRT_ziInitArrayArg(zi, numer, denom);
    ZRT_ziSetArg(zi, 1.0, 1e-3, 1e-5, 0.0, &host.loader);
    ZRT_GenericOperatorState* state = ZRT_ziSaveState(zi);
    ASSERT_NE(state, nullptr);
    ZRT_SrlzDirE dir = ZRT_SRLZ_SAVE;
    state->serialize(state, oh.get(), &dir);
    const testhost::Bytes bytes = testhost::takeSavedBytes(oh.get());
    testhost::openRestoreStream(oh.get(), bytes);
    dir = ZRT_SRLZ_RESTORE;
    {
        AllocationFaults faults(Heap::Language, 0);  // the histories read
        state->serialize(state, oh.get(), &dir);
    }
    ZRT_FreeDeviceSerializer(oh.get(), 0);
    EXPECT_EQ(dir, ZRT_SRLZ_FAILED);
    EXPECT_EQ(testhost::outOfMemoryCount(host), 2);
    releaseOperatorState(state);
    ZRT_destroyOpBranch_zi(zi);
    ZRT_freeArray(numer);
    ZRT_freeArray(denom);
}

}  // namespace
