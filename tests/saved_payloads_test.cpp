// Saved states of the slew, transition, idt and last-crossing records, and
// the array and text serializers: byte layouts, round trips that load as the
// original did, and damaged streams refused with the target unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "dsl/ZRT_SupportLib.h"
#include "tests/stream_bytes.h"
#include "tests/test_host.h"

namespace {

using testhost::TestHost;
using testhost::TestInstance;
using testhost::Bytes;
using testhost::readAt;
using testhost::textAt;
using testhost::writeAt;
using testhost::OneDoubleRec;
using testhost::serializeOneDouble;
using Serialize = std::function<void(ZRT_SrlzDirE*)>;

class SavedPayloadTest : public ::testing::Test {
protected:
    SavedPayloadTest() : inst(host, &md, {}) {}
    ~SavedPayloadTest() override { ZRT_FreeDeviceSerializer(inst.get(), 1); }

    Bytes save(const Serialize& serialize) {
        ZRT_SrlzDirE dir = ZRT_SRLZ_SAVE;
        serialize(&dir);
        EXPECT_EQ(dir, ZRT_SRLZ_SAVE);
        return testhost::takeSavedBytes(inst.get());
    }

    ZRT_SrlzDirE load(const Bytes& bytes, const Serialize& serialize) {
        testhost::openRestoreStream(inst.get(), bytes);
        ZRT_SrlzDirE dir = ZRT_SRLZ_RESTORE;
        serialize(&dir);
        ZRT_FreeDeviceSerializer(inst.get(), 0);
        return dir;
    }

    // Every prefix of `good` and a few thousand seeded corruptions of it, read
    // into the target behind `serialize`. A refused read leaves the target
    // saving what it saved before; an accepted one saves what it read, which
    // is a prefix of the damaged stream once its labels (skipped by length,
    // `labels` as (offset, length)) are mended.
    void expectDamageRefused(const Bytes& good, const Serialize& serialize,
                             std::vector<std::pair<size_t, size_t>> labels = {}) {
        for (size_t length = 0; length < good.size(); ++length) {
            const Bytes before = save(serialize);
            const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length));
            ASSERT_EQ(load(cut, serialize), ZRT_SRLZ_FAILED) << "prefix " << length;
            ASSERT_EQ(save(serialize), before) << "prefix " << length;
        }
        std::mt19937 random(20);
        for (int trial = 0; trial < 3000; ++trial) {
            Bytes damaged = good;
            const int hits = 1 + static_cast<int>(random() % 3);
            for (int h = 0; h < hits; ++h) {
                damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
            }
            const Bytes before = save(serialize);
            if (load(damaged, serialize) == ZRT_SRLZ_FAILED) {
                ASSERT_EQ(save(serialize), before) << "trial " << trial;
                continue;
            }
            for (auto [offset, length] : labels) {
                std::copy_n(good.begin() + static_cast<std::ptrdiff_t>(offset), length,
                            damaged.begin() + static_cast<std::ptrdiff_t>(offset));
            }
            const Bytes after = save(serialize);
            ASSERT_LE(after.size(), damaged.size()) << "trial " << trial;
            ASSERT_TRUE(std::equal(after.begin(), after.end(), damaged.begin())) << "trial " << trial;
        }
        EXPECT_EQ(host.exitCount(), 0);
    }

    // The payload of an operator saved state, through its serialize function.
    Serialize of(ZRT_GenericOperatorState* state) {
        return [this, state](ZRT_SrlzDirE* dir) { state->serialize(state, inst.get(), dir); };
    }

    TestHost host;
    s_ZRT_ModuleDesc md{};
    TestInstance inst;
};

// A transition whose chain holds three nodes, the last pending one in the
// middle: changes scheduled at 12, 13 and 14, then one at 12.5 that takes
// the second node and leaves the third free.
ZRT_OpBranch_transition* threeNodeTransition(TestHost& host, s_ZRT_DeviceInst* inst) {
    ZRT_OpBranch_transition* op = ZRT_createOpBranch_transition("tr", inst, 0.0);
    const double times[] = {1.0, 2.0, 3.0, 4.0, 5.0};
    const double delays[] = {10.0, 10.0, 10.0, 10.0, 7.5};
    for (int i = 0; i < 5; ++i) {
        host.time = times[i];
        ZRT_transitionSetArg(op, 1.0 + i, delays[i], 0.5, 0.5, 0.0, &host.loader);
        ZRT_transitionAcceptTimePoint(op, &host.loader);
    }
    return op;
}

TEST_F(SavedPayloadTest, TransitionChainRoundTripsAndLoadsIdentically) {
    ZRT_OpBranch_transition* fresh = ZRT_createOpBranch_transition("tr", inst.get(), 0.0);
    ZRT_GenericOperatorState* empty = ZRT_transitionSaveState(fresh);
    const Bytes emptyBytes = save(of(empty));
    ASSERT_EQ(emptyBytes.size(), 171u);
    EXPECT_EQ(textAt(emptyBytes, 0, 16), "Transition_Begin");
    EXPECT_EQ(textAt(emptyBytes, 148, 15), "Transition_List");
    EXPECT_EQ(readAt<int32_t>(emptyBytes, 163), 0);
    EXPECT_EQ(readAt<int32_t>(emptyBytes, 167), -1);
    EXPECT_EQ(readAt<double>(emptyBytes, 16 + 48 + 8), -1.0);  // _startTime

    ZRT_OpBranch_transition* op = threeNodeTransition(host, inst.get());
    ZRT_GenericOperatorState* saved = ZRT_transitionSaveState(op);
    const Bytes bytes = save(of(saved));
    ASSERT_EQ(bytes.size(), 171u + 3 * 44);
    EXPECT_EQ(readAt<int32_t>(bytes, 163), 3);
    EXPECT_EQ(readAt<int32_t>(bytes, 167), 1);
    EXPECT_EQ(readAt<double>(bytes, 171 + 44 + 8), 12.5);  // second node's start time

    ASSERT_EQ(load(bytes, of(empty)), ZRT_SRLZ_RESTORE);
    ZRT_transitionRestoreState(fresh, empty);
    const ZRT_TransitionEvent* first = fresh->spec->_pPendingFirst;
    ASSERT_NE(first, nullptr);
    ASSERT_NE(first->_pNext, nullptr);
    EXPECT_EQ(fresh->spec->_pPendingLast, first->_pNext);
    EXPECT_EQ(first->_evtStartTime, 12.0);
    EXPECT_EQ(first->_pNext->_pNext->_evtStartTime, 14.0);
    EXPECT_EQ(first->_pNext->_pNext->_pNext, nullptr);
    EXPECT_EQ(save(of(empty)), bytes);
    for (double t = 6.0; t < 16.0; t += 0.25) {
        host.time = t;
        for (ZRT_OpBranch_transition* o : {op, fresh}) {
            ZRT_transitionSetArg(o, 6.0, 7.5, 0.5, 0.5, 0.0, &host.loader);
            ZRT_transitionAcceptTimePoint(o, &host.loader);
        }
        ASSERT_EQ(fresh->output, op->output) << "t " << t;
    }

    expectDamageRefused(bytes, of(empty), {{0, 16}, {148, 15}});
    // A negative count and positions that do not fit the count.
    for (auto [count, position] : {std::pair{-1, 0}, {3, 3}, {3, -1}, {0, 0}}) {
        Bytes bad = count == 0 ? Bytes(bytes.begin(), bytes.begin() + 171) : bytes;
        writeAt(bad, 163, count);
        writeAt(bad, 167, position);
        EXPECT_EQ(load(bad, of(empty)), ZRT_SRLZ_FAILED) << count << " " << position;
    }
    releaseOperatorState(saved);
    releaseOperatorState(empty);
    ZRT_destroyOpBranch_transition(op);
    ZRT_destroyOpBranch_transition(fresh);
}

TEST_F(SavedPayloadTest, SlewIdtAndLastCrossingRoundTrip) {
    ZRT_OpBranch_slew* slew[2] = {ZRT_createOpBranch_slew("sl", inst.get()), ZRT_createOpBranch_slew("sl", inst.get())};
    host.time = 1.0;
    ZRT_slewSetArg(slew[0], 0.5, 1.0, -1.0, &host.loader);
    ZRT_slewAcceptTimePoint(slew[0]);
    host.time = 1.25;
    ZRT_slewSetArg(slew[0], 3.0, 1.0, -1.0, &host.loader);
    ZRT_GenericOperatorState* slewStates[2] = {ZRT_slewSaveState(slew[0]), ZRT_slewSaveState(slew[1])};
    const Bytes slewBytes = save(of(slewStates[0]));
    ASSERT_EQ(slewBytes.size(), 40u);
    EXPECT_EQ(readAt<double>(slewBytes, 0), 1.0);    // previous time
    EXPECT_EQ(readAt<double>(slewBytes, 24), 0.75);  // present output, limited
    ASSERT_EQ(load(slewBytes, of(slewStates[1])), ZRT_SRLZ_RESTORE);
    ZRT_slewRestoreState(slew[1], slewStates[1]);
    host.time = 2.0;
    for (ZRT_OpBranch_slew* s : slew) {
        ZRT_slewAcceptTimePoint(s);
        ZRT_slewSetArg(s, -4.0, 1.0, -1.0, &host.loader);
    }
    EXPECT_EQ(slew[1]->output, slew[0]->output);
    expectDamageRefused(slewBytes, of(slewStates[1]));

    ZRT_OpBranch_idt* idt[2] = {ZRT_createOpBranch_idt("it", inst.get()), ZRT_createOpBranch_idt("it", inst.get())};
    idt[0]->acceptedValue = 1.5;
    idt[0]->acceptedInput = -2.0;
    idt[0]->lastAcceptedTime = 3.0;
    idt[0]->input = 4.0;
    idt[0]->_loadType = IDT_TRAPEZOIDAL_LOAD;
    idt[1]->_loadType = IC_LOAD;
    ZRT_GenericOperatorState* idtStates[2] = {ZRT_idtSaveState(idt[0]), ZRT_idtSaveState(idt[1])};
    const Bytes idtBytes = save(of(idtStates[0]));
    ASSERT_EQ(idtBytes.size(), 32u);
    EXPECT_EQ(readAt<double>(idtBytes, 24), 4.0);  // the input follows the time; no load type
    ASSERT_EQ(load(idtBytes, of(idtStates[1])), ZRT_SRLZ_RESTORE);
    ZRT_idtRestoreState(idt[1], idtStates[1]);
    EXPECT_EQ(idt[1]->_loadType, static_cast<uint32_t>(IC_LOAD));  // the fresh state's
    idt[1]->_loadType = IDT_TRAPEZOIDAL_LOAD;
    EXPECT_EQ(0, std::memcmp(&idt[1]->acceptedValue, &idt[0]->acceptedValue, 5 * 8));
    expectDamageRefused(idtBytes, of(idtStates[1]));
    EXPECT_DEATH(ZRT_idtRestoreState(idt[1], slewStates[1]), "ZRT_IDT_STATE");
    EXPECT_DEATH(ZRT_slewRestoreState(slew[1], idtStates[1]), "ZRT_SLEW_SPEC");
    EXPECT_EQ(ZRT_ddtSaveState(nullptr), nullptr);
    EXPECT_EQ(ZRT_lapSaveState(nullptr), nullptr);
    ZRT_lapRestoreState(nullptr, nullptr);
    EXPECT_DEATH(ZRT_ddtRestoreState(nullptr, idtStates[1]), "pOpState == 0");

    ZRT_LastCrossing* lc[2] = {ZRT_createLastCrossing(inst.get()), ZRT_createLastCrossing(inst.get())};
    const double values[] = {-1.0, 1.0, 3.0, -1.0};
    for (int i = 0; i < 4; ++i) {
        host.time = 1.0 + i;
        ZRT_LastCrossingVal(lc[0], values[i], 0, &host.loader);
        ZRT_acceptLastCrossing(lc[0], &host.loader);
    }
    auto lcOf = [this](ZRT_LastCrossing* r) {
        return [this, r](ZRT_SrlzDirE* dir) { ZRT_serializeLastCrossing(r, inst.get(), dir); };
    };
    const Bytes lcBytes = save(lcOf(lc[0]));
    ASSERT_EQ(lcBytes.size(), 40u);
    EXPECT_EQ(readAt<double>(lcBytes, 0), 4.0);    // last time
    EXPECT_EQ(readAt<double>(lcBytes, 24), 1.5);   // last rising crossing
    EXPECT_EQ(readAt<double>(lcBytes, 32), 3.75);  // last falling crossing
    ASSERT_EQ(load(lcBytes, lcOf(lc[1])), ZRT_SRLZ_RESTORE);
    host.time = 5.0;
    EXPECT_EQ(ZRT_LastCrossingVal(lc[1], 1.0, 1, &host.loader), ZRT_LastCrossingVal(lc[0], 1.0, 1, &host.loader));
    expectDamageRefused(lcBytes, lcOf(lc[1]));

    for (int i = 0; i < 2; ++i) {
        releaseOperatorState(slewStates[i]);
        releaseOperatorState(idtStates[i]);
        ZRT_destroyOpBranch_slew(slew[i]);
        ZRT_destroyOpBranch_idt(idt[i]);
        ZRT_free(lc[i]);
    }
}

TEST_F(SavedPayloadTest, ZiRoundTripsAndLoadsIdentically) {
    s_ZRT_Array* b = ZRT_createArray(ZRT_REAL_ARRAY, "b", &host.sim);
    s_ZRT_Array* a = ZRT_createArray(ZRT_REAL_ARRAY, "a", &host.sim);
    ZRT_setArrayBounds(b, 0, 1);
    ZRT_setArrayReal(b, 0, 0.5);
    ZRT_setArrayReal(b, 1, 0.25);
    ZRT_setArrayBounds(a, 0, 2);
    ZRT_setArrayReal(a, 0, 1.0);
    ZRT_setArrayReal(a, 1, -0.5);
    ZRT_setArrayReal(a, 2, 0.125);
    ZRT_OpBranch_zi* zi[2];
    for (ZRT_OpBranch_zi*& z : zi) {
        z = ZRT_createOpBranch_zi("zi", inst.get(), 0, 0, 1e-5);
        ZRT_ziInitArrayArg(z, b, a);
    }
    EXPECT_EQ(ZRT_ziSaveState(zi[0]), nullptr);  // coefficients not ready
    auto step = [&](ZRT_OpBranch_zi* z, int k, double x) {
        host.time = k * 1e-3;
        ZRT_ziSetArg(z, x, 1e-3, 1e-5, 0.0, &host.loader);
        ZRT_ziAcceptTimePoint(z, &host.loader);
    };
    for (int k = 0; k < 5; ++k) {
        step(zi[0], k, 1.0 + k);
    }
    step(zi[1], 0, 0.0);
    ZRT_GenericOperatorState* states[2] = {ZRT_ziSaveState(zi[0]), ZRT_ziSaveState(zi[1])};
    const Bytes bytes = save(of(states[0]));
    ASSERT_EQ(bytes.size(), 3u + 16 + 8 + 2 * 8 + 3 * 8 + 171);
    EXPECT_EQ(textAt(bytes, 0, 3), "\nzi");
    EXPECT_EQ(readAt<int32_t>(bytes, 19), 2);  // numerator count
    EXPECT_EQ(readAt<int32_t>(bytes, 23), 3);  // denominator count
    EXPECT_EQ(readAt<double>(bytes, 27), 5.0);  // the newest input
    EXPECT_EQ(textAt(bytes, 67, 16), "Transition_Begin");

    Bytes otherCount = bytes;
    writeAt(otherCount, 23, int32_t{2});
    EXPECT_EQ(load(otherCount, of(states[1])), ZRT_SRLZ_FAILED);
    expectDamageRefused(bytes, of(states[1]), {{0, 3}, {67, 16}, {215, 15}});
    ASSERT_EQ(load(bytes, of(states[1])), ZRT_SRLZ_RESTORE);
    ZRT_ziRestoreState(zi[1], states[1]);
    for (int k = 5; k < 9; ++k) {
        step(zi[0], k, 7.0 - k);
        step(zi[1], k, 7.0 - k);
        ASSERT_EQ(zi[1]->output, zi[0]->output);
        ASSERT_EQ(zi[1]->transition->output, zi[0]->transition->output);
    }
    ZRT_ziRestoreState(zi[1], nullptr);
    EXPECT_EQ(zi[1]->coeffsReady, 0);  // computed again at the next set argument
    ZRT_GenericOperatorState wrong{ZRT_SLEW_SPEC, 0, nullptr, nullptr};
    EXPECT_DEATH(ZRT_ziRestoreState(zi[1], &wrong), "ZRT_ZI_STATE");

    for (int i = 0; i < 2; ++i) {
        releaseOperatorState(states[i]);
        ZRT_destroyOpBranch_zi(zi[i]);
    }
    ZRT_freeArray(a);
    ZRT_freeArray(b);
}

TEST_F(SavedPayloadTest, ArraysKeepDeclaredBoundsAndRefuseDamage) {
    s_ZRT_Array* real = ZRT_createArray(ZRT_REAL_ARRAY, "r", &host.sim);
    ZRT_setArrayBoundLists(real, 2, 3, 1, 0, 1);  // [3:1][0:1], descending first
    for (int32_t i = 0; i < 6; ++i) {
        ZRT_setArrayReal(real, i, 1.5 * i);
    }
    auto arrayOf = [this](s_ZRT_Array* a) {
        return [this, a](ZRT_SrlzDirE* dir) { ZRT_serializeArray(a, inst.get(), dir); };
    };
    const Bytes bytes = save(arrayOf(real));
    ASSERT_EQ(bytes.size(), 4u + 2 * 8 + 4 + 6 * 8);
    EXPECT_EQ(readAt<int32_t>(bytes, 0), 2);
    EXPECT_EQ(readAt<int32_t>(bytes, 4), 3);  // left, then right, as declared
    EXPECT_EQ(readAt<int32_t>(bytes, 8), 1);
    EXPECT_EQ(readAt<int32_t>(bytes, 20), 6);
    EXPECT_EQ(readAt<double>(bytes, 24 + 5 * 8), 7.5);

    s_ZRT_Array* target = ZRT_createArray(ZRT_REAL_ARRAY, "t", &host.sim);  // no bounds, no data
    ASSERT_EQ(load(bytes, arrayOf(target)), ZRT_SRLZ_RESTORE);
    EXPECT_EQ(target->_numDims, 2);
    EXPECT_EQ(target->leftBounds[0], 3);
    EXPECT_EQ(target->rightBounds[0], 1);
    EXPECT_EQ(ZRT_getArrayIndex(target, nullptr, 2, 3, 1), ZRT_getArrayIndex(real, nullptr, 2, 3, 1));
    EXPECT_EQ(ZRT_getArrayReal(target, 5), 7.5);
    EXPECT_NE(target->flags & ZRT_ARRAY_MODIFIED, 0);
    expectDamageRefused(bytes, arrayOf(target));

    s_ZRT_Array* ints = ZRT_createArray(ZRT_INT_ARRAY, "i", &host.sim);
    ZRT_setArrayBounds(ints, 0, 3);
    ZRT_setArrayInt(ints, 3, -7);
    const Bytes intBytes = save(arrayOf(ints));
    ASSERT_EQ(intBytes.size(), 4u + 8 + 4 + 4 * 4);
    EXPECT_EQ(readAt<int32_t>(intBytes, 28), -7);
    // Without bounds: no dimensions, and it reads back without bounds.
    s_ZRT_Array* bare = ZRT_createArray(ZRT_INT_ARRAY, "b", &host.sim);
    const Bytes bareBytes = save(arrayOf(bare));
    ASSERT_EQ(bareBytes.size(), 8u);
    ASSERT_EQ(load(bareBytes, arrayOf(ints)), ZRT_SRLZ_RESTORE);
    EXPECT_EQ(ints->flags & ZRT_ARRAY_BOUNDS_SET, 0);
    EXPECT_EQ(ints->_dataLen, 0);
    ASSERT_EQ(load(intBytes, arrayOf(ints)), ZRT_SRLZ_RESTORE);
    EXPECT_EQ(ZRT_getArrayInt(ints, 3), -7);
    expectDamageRefused(intBytes, arrayOf(ints));

    for (s_ZRT_Array* a : {real, target, ints, bare}) {
        ZRT_freeArray(a);
    }
}

TEST_F(SavedPayloadTest, TextsRoundTripAndRefuseDamage) {
    char hello[] = "hello";
    char* text = hello;
    auto textOf = [this](char** t) {
        return [this, t](ZRT_SrlzDirE* dir) { ZRT_serializeString(t, inst.get(), dir); };
    };
    const Bytes bytes = save(textOf(&text));
    ASSERT_EQ(bytes.size(), 9u);
    EXPECT_EQ(readAt<int32_t>(bytes, 0), 5);
    EXPECT_EQ(textAt(bytes, 4, 5), "hello");

    char* restored = nullptr;
    ASSERT_EQ(load(bytes, textOf(&restored)), ZRT_SRLZ_RESTORE);
    ASSERT_NE(restored, nullptr);
    EXPECT_STREQ(restored, "hello");
    char* null = nullptr;
    EXPECT_EQ(save(textOf(&null)), Bytes(4, 0));

    // The replaced text stays the caller's: keep every accepted one to free.
    std::vector<char*> owned{restored};
    char* target = restored;
    expectDamageRefused(bytes, [&](ZRT_SrlzDirE* dir) {
        ZRT_serializeString(&target, inst.get(), dir);
        if (target != owned.back()) {
            owned.push_back(target);
        }
    });
    Bytes minusOne = bytes;
    writeAt(minusOne, 0, int32_t{-1});
    EXPECT_EQ(load(minusOne, textOf(&target)), ZRT_SRLZ_FAILED);
    for (char* t : owned) {
        ZRT_free(t);
    }
}

// The payloads in the device stream: a module record of one double, then
// the slew, transition and idt states behind "Operator_states".

TEST_F(SavedPayloadTest, OperatorStatesInTheDeviceStream) {
    md.numEvents = 0;
    ZRT_OpBranch_slew* slew = ZRT_createOpBranch_slew("sl", inst.get());
    ZRT_OpBranch_transition* tr = threeNodeTransition(host, inst.get());
    ZRT_OpBranch_idt* idt = ZRT_createOpBranch_idt("it", inst.get());
    auto stateOf = [&](OneDoubleRec& rec, ZRT_GenericOperatorState** ops) {
        ops[0] = ZRT_slewSaveState(slew);
        ops[1] = nullptr;
        ops[2] = ZRT_transitionSaveState(tr);
        ops[3] = ZRT_idtSaveState(idt);
        return s_ZRT_DeviceState{&rec, 4, 0, ops, 0, 0, nullptr, inst.get()};
    };
    OneDoubleRec rec{serializeOneDouble, 2.5};
    ZRT_GenericOperatorState* ops[4];
    s_ZRT_DeviceState state = stateOf(rec, ops);
    uint32_t count = 0;
    const uint8_t* saved = ZRT_SaveDeviceState(&state, inst.get(), &count);
    ASSERT_NE(saved, nullptr);
    const Bytes bytes(saved, saved + count);
    ZRT_FreeDeviceSerializer(inst.get(), 1);
    ASSERT_EQ(bytes.size(), 8u + 15 + 4 + 40 + (171 + 3 * 44) + 32 + 12 + 4 + 4);

    OneDoubleRec back{serializeOneDouble, 0.0};
    s_ZRT_DeviceState restore = stateOf(back, ops);
    EXPECT_EQ(ZRT_RestoreDeviceState(bytes.data(), count, &restore, inst.get()), 1);
    ZRT_FreeDeviceSerializer(inst.get(), 0);
    EXPECT_EQ(back.value, 2.5);
    ZRT_FreeDeviceStateData(&restore);
    for (uint32_t cut : {count - 5, count / 2, 30u}) {
        restore = stateOf(back, ops);
        EXPECT_EQ(ZRT_RestoreDeviceState(bytes.data(), cut, &restore, inst.get()), 0);
        ZRT_FreeDeviceSerializer(inst.get(), 0);
        ZRT_FreeDeviceStateData(&restore);
    }
    ZRT_destroyOpBranch_slew(slew);
    ZRT_destroyOpBranch_transition(tr);
    ZRT_destroyOpBranch_idt(idt);
}

}  // namespace
