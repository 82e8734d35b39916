// Event states in the saved-state stream, and restores of damaged streams
// of an instance with a module record, operator states and events.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <random>
#include <vector>

#include "dsl/ZRT_SupportLib.h"
#include "tests/saved_instance.h"

namespace {

using testhost::Bytes;
using testhost::readAt;
using testhost::serializeSmall;
using testhost::SmallRec;

// Stream offsets of the saved instance.
constexpr size_t kModuleBytes = 13;
constexpr size_t kOpLabel = 13;            // 15 bytes
constexpr size_t kOpCount = 28;
constexpr size_t kDelay = 32;              // 144 bytes
constexpr size_t kDelayBeginLabel = kDelay + 40;  // 17 bytes
constexpr size_t kDelayFlag = kDelay + 57;
constexpr size_t kDelayEndLabel = kDelay + 129;   // 15 bytes
constexpr size_t kEventLabel = 176;        // 12 bytes
constexpr size_t kEventCount = 188;
constexpr size_t kTimer = 192;             // 72 bytes
constexpr size_t kCross = 264;             // 99 bytes
constexpr size_t kCrossMode = kCross + 95;
constexpr size_t kTrailer = 363;
constexpr size_t kStreamBytes = 367;

class SavedInstanceTest : public ::testing::Test, public testhost::SavedInstance {};

TEST_F(SavedInstanceTest, TimerAndCrossStatesInTheStream) {
    const Bytes bytes = save();
    ASSERT_EQ(bytes.size(), kStreamBytes);
    EXPECT_EQ(readAt<int32_t>(bytes, kOpCount), 3);
    EXPECT_EQ(readAt<int32_t>(bytes, kEventCount), 3);
    EXPECT_EQ(readAt<int32_t>(bytes, kTrailer), 3);

    // The timer: its whole record, tag and padding included.
    ZRT_TimerInfo saved;
    std::memcpy(&saved, bytes.data() + kTimer, sizeof saved);
    EXPECT_EQ(std::memcmp(&saved, timer(), sizeof saved), 0);
    EXPECT_EQ(saved.tag, 2u);

    // The cross record, field by field without tag and padding.
    EXPECT_EQ(readAt<double>(bytes, kCross), 1.0);
    EXPECT_EQ(readAt<double>(bytes, kCross + 24), 4.0);
    EXPECT_EQ(bytes[kCross + 32], 0xA0);
    EXPECT_EQ(bytes[kCross + 38], 0xA6);
    EXPECT_EQ(readAt<double>(bytes, kCross + 39), 20.0);
    EXPECT_EQ(readAt<double>(bytes, kCross + 47), 21.0);
    EXPECT_EQ(readAt<int32_t>(bytes, kCross + 55), -5);
    EXPECT_EQ(readAt<double>(bytes, kCross + 59), 30.0);
    EXPECT_EQ(readAt<double>(bytes, kCross + 83), 33.0);
    EXPECT_EQ(readAt<int32_t>(bytes, kCross + 91), 77);
    EXPECT_EQ(readAt<uint32_t>(bytes, kCrossMode), 1u);

    // Any other enumeration value travels as 2.
    crossState().mode = 7;
    EXPECT_EQ(readAt<uint32_t>(save(), kCrossMode), 2u);
}

TEST_F(SavedInstanceTest, RestoreHandsTheEventStatesBack) {
    const Bytes bytes = save();
    const ZRT_TimerInfo before = *timer();
    const ZRT_CrossEventState crossBefore = crossState();
    // Change the instance after the save.
    timer()->start = 99.0;
    timer()->armed = 0;
    crossState().d2[1] = -1.0;
    crossState().mode = 0;

    SmallRec rec{serializeSmall, 0.0, 0, 0};
    s_ZRT_DeviceState state = makeState(rec, 16);
    ASSERT_EQ(ZRT_RestoreDeviceState(bytes.data(), static_cast<uint32_t>(bytes.size()), &state, inst.get()), 1);
    ZRT_FreeDeviceSerializer(inst.get(), 0);
    EXPECT_EQ(rec.d, 2.5);
    EXPECT_EQ(rec.i, -9);
    EXPECT_EQ(rec.c, 'z');
    const auto* spec = reinterpret_cast<const ZRT_DelaySpec*>(ops[2]);
    EXPECT_EQ(spec->values[1], 0.125);
    ASSERT_NE(spec->pHist, nullptr);
    EXPECT_EQ(spec->pHist->capacity, 3);
    EXPECT_EQ(spec->pHist->values[1], 0.5);
    // Nothing reaches the instance before the events are handed back.
    EXPECT_EQ(timer()->start, 99.0);
    EXPECT_EQ(host.crossRestores, 0);

    ZRT_RestoreEvents(inst.get(), &state);
    EXPECT_EQ(std::memcmp(timer(), &before, sizeof before), 0);
    EXPECT_EQ(host.crossRestores, 1);
    EXPECT_EQ(crossState().d2[1], crossBefore.d2[1]);
    EXPECT_EQ(crossState().mode, 1u);
    EXPECT_EQ(std::memcmp(crossState().bytes, crossBefore.bytes, sizeof crossBefore.bytes), 0);
    ZRT_freeDeviceStateData(&state);
    EXPECT_EQ(ops[2], nullptr);
    EXPECT_EQ(events[1], nullptr);
}

TEST_F(SavedInstanceTest, AStateForAnEventWithoutOneIsAnAssertion) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    SmallRec rec{serializeSmall, 0.0, 0, 0};
    s_ZRT_DeviceState state = makeState(rec, 3);
    saveEvents(inst.get(), &state);
    EXPECT_EQ(events[0], nullptr);  // the initial step keeps no state
    int32_t stray = 0;
    events[0] = &stray;
    EXPECT_DEATH(ZRT_RestoreEvents(inst.get(), &state), "pState->pEventState\\[e\\] == 0");
    events[0] = nullptr;
    ZRT_freeDeviceStateData(&state);
}

// A timer is always its raw record: a stream whose timer tag reads 3 (the
// cross layout's) is refused, and the live timer keeps its layout.
TEST_F(SavedInstanceTest, ADamagedTimerTagIsRefused) {
    const Bytes original = save();
    Bytes damaged = original;
    damaged[kTimer] = 3;
    const ZRT_TimerInfo before = *timer();
    SmallRec rec{serializeSmall, 0.0, 0, 0};
    s_ZRT_DeviceState state = makeState(rec, 3);
    EXPECT_EQ(ZRT_RestoreDeviceState(damaged.data(), kStreamBytes, &state, inst.get()), 0);
    ZRT_FreeDeviceSerializer(inst.get(), 0);
    ZRT_freeDeviceStateData(&state);
    EXPECT_EQ(std::memcmp(timer(), &before, sizeof before), 0);
    EXPECT_EQ(save(), original);

    // Even a live timer whose tag was overwritten saves its 72 bytes.
    timer()->tag = ZRT_CROSS_STATE_TAG;
    const Bytes again = save();
    EXPECT_EQ(again.size(), kStreamBytes);
    EXPECT_EQ(readAt<uint32_t>(again, kTimer), 3u);
    timer()->tag = ZRT_EVT_TIMER;

    s_ZRT_DeviceState back = makeState(rec, 3);
    EXPECT_EQ(ZRT_RestoreDeviceState(original.data(), kStreamBytes, &back, inst.get()), 1);
    ZRT_FreeDeviceSerializer(inst.get(), 0);
    ZRT_freeDeviceStateData(&back);
}

// A delay history that a restore would refuse (a count above its capacity)
// is not saved either: the save answers null and leaves no serializer.
TEST_F(SavedInstanceTest, AHistoryThatCannotBeRestoredIsNotSaved) {
    SmallRec rec{serializeSmall, 2.5, -9, 'z'};
    s_ZRT_DeviceState state = makeState(rec, 3);
    reinterpret_cast<ZRT_DelaySpec*>(ops[2])->pHist->count = 4;
    uint32_t count = 99;
    EXPECT_EQ(ZRT_SaveDeviceState(&state, inst.get(), &count), nullptr);
    EXPECT_EQ(count, 99u);
    EXPECT_EQ(inst.get()->pSerializer, nullptr);
    EXPECT_EQ(ops[2], nullptr);  // the operator states are released as by a completed save
    ZRT_freeDeviceStateData(&state);
    EXPECT_EQ(host.messages.size(), 0u);
    EXPECT_EQ(save().size(), kStreamBytes);
}

// A save that cannot be completed makes no stream: null, the out count
// untouched, and every event and operator state it held released, whatever
// stopped it: the timer's copy refused by the heap (the cross copy after it
// granted), a host that answers no cross state, or a module record that
// cannot be written. Each case starts with no serializer outstanding.
TEST_F(SavedInstanceTest, AnAbandonedSaveReleasesAllItHeld) {
    enum class Cause { TimerCopy, HostCross, ModuleRecord };
    for (Cause cause : {Cause::TimerCopy, Cause::HostCross, Cause::ModuleRecord}) {
        SCOPED_TRACE(static_cast<int>(cause));
        ASSERT_EQ(inst.get()->pSerializer, nullptr);
        SmallRec rec{serializeSmall, 2.5, -9, 'z'};
        if (cause == Cause::ModuleRecord) {
            rec.serialize = [](s_ZRT_DeviceInst*, void*, ZRT_SrlzDirE) { return ZRT_SRLZ_FAILED; };
        }
        s_ZRT_DeviceState state = makeState(rec, 3);
        uint32_t count = 99;
        const size_t messagesBefore = host.messages.size();
        const auto saveCross = host.sim.SaveCrossEvent;
        if (cause == Cause::HostCross) {
            host.sim.SaveCrossEvent = [](ZRT_EventDesc*) -> void* { return nullptr; };
        }
        {
            std::optional<testhost::LimitedHeap> heap;
            if (cause == Cause::TimerCopy) {
                heap.emplace(0, true);
            }
            EXPECT_EQ(ZRT_SaveDeviceState(&state, inst.get(), &count), nullptr);
        }
        host.sim.SaveCrossEvent = saveCross;
        EXPECT_EQ(count, 99u);
        EXPECT_EQ(inst.get()->pSerializer, nullptr);
        EXPECT_EQ(ops[1], nullptr);
        EXPECT_EQ(ops[2], nullptr);
        EXPECT_EQ(events[1], nullptr);
        EXPECT_EQ(events[2], nullptr);
        EXPECT_EQ(host.messages.size() > messagesBefore, cause == Cause::TimerCopy);  // "Out of memory."
        ZRT_FreeDeviceSerializer(inst.get(), 1);
        ZRT_freeDeviceStateData(&state);
    }
}

// Builds what a save of a restored stream must give back: the damaged stream
// with its labels as written, a nonzero history flag as 1 and the cross
// enumeration as 0, 1 or 2.
Bytes normalized(Bytes damaged, const Bytes& original) {
    for (auto [at, length] : {std::pair<size_t, size_t>{kOpLabel, 15}, {kDelayBeginLabel, 17},
                              {kDelayEndLabel, 15}, {kEventLabel, 12}}) {
        std::memcpy(damaged.data() + at, original.data() + at, length);
    }
    const int32_t flag = readAt<int32_t>(damaged, kDelayFlag) != 0 ? 1 : 0;
    std::memcpy(damaged.data() + kDelayFlag, &flag, 4);
    uint32_t mode = readAt<uint32_t>(damaged, kCrossMode);
    mode = mode <= 1 ? mode : 2;
    std::memcpy(damaged.data() + kCrossMode, &mode, 4);
    return damaged;
}

TEST_F(SavedInstanceTest, EveryTruncationAndSeededCorruptionsRestoreSafely) {
    const Bytes original = save();
    ASSERT_EQ(original.size(), kStreamBytes);

    for (size_t length = 0; length < original.size(); ++length) {
        SmallRec rec{serializeSmall, -1.0, -1, 'x'};
        s_ZRT_DeviceState state = makeState(rec, 16);
        const Bytes cut(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_EQ(ZRT_RestoreDeviceState(cut.data(), static_cast<uint32_t>(length), &state, inst.get()), 0);
        ZRT_FreeDeviceSerializer(inst.get(), 0);
        EXPECT_EQ(state.numOpStates, 3);
        EXPECT_EQ(state.numEventStates, 3);
        ZRT_freeDeviceStateData(&state);
    }

    std::mt19937 rng(20261207);
    int accepted = 0;
    int refused = 0;
    const ZRT_TimerInfo timerBefore = *timer();
    for (int round = 0; round < 3000; ++round) {
        Bytes damaged = original;
        const int flips = 1 + static_cast<int>(rng() % 4);
        for (int f = 0; f < flips; ++f) {
            damaged[rng() % damaged.size()] = static_cast<uint8_t>(rng());
        }
        if (round % 5 == 0) {
            damaged.resize(rng() % damaged.size());
        }
        const bool comparable = damaged.size() == kStreamBytes;

        SmallRec rec{serializeSmall, -1.0, -1, 'x'};
        s_ZRT_DeviceState state = makeState(rec, 16);
        const int32_t ok =
            ZRT_RestoreDeviceState(damaged.data(), static_cast<uint32_t>(damaged.size()), &state, inst.get());
        ZRT_FreeDeviceSerializer(inst.get(), 0);
        ASSERT_EQ(state.numOpStates, 3);
        ASSERT_EQ(state.numEventStates, 3);
        if (ok == 0) {
            ++refused;
            // Nothing reached the instance.
            ASSERT_EQ(std::memcmp(timer(), &timerBefore, sizeof timerBefore), 0);
            ZRT_freeDeviceStateData(&state);
            continue;
        }
        ASSERT_EQ(ok, 1);
        ++accepted;
        // Hand everything back, save again and compare.
        ZRT_RestoreEvents(inst.get(), &state);
        for (void*& e : events) {
            ZRT_free(e);
            e = nullptr;
        }
        uint32_t count = 0;
        const uint8_t* raw = ZRT_SaveDeviceState(&state, inst.get(), &count);
        ASSERT_NE(raw, nullptr);
        const Bytes again(raw, raw + count);
        ZRT_FreeDeviceSerializer(inst.get(), 1);
        ZRT_freeDeviceStateData(&state);
        if (comparable) {
            ASSERT_EQ(again, normalized(damaged, original)) << "round " << round;
        }
        // Back to the saved instance for the next round.
        *timer() = timerBefore;
        SmallRec reset{serializeSmall, 0.0, 0, 0};
        s_ZRT_DeviceState back = makeState(reset, 3);
        ASSERT_EQ(ZRT_RestoreDeviceState(original.data(), kStreamBytes, &back, inst.get()), 1);
        ZRT_FreeDeviceSerializer(inst.get(), 0);
        ZRT_RestoreEvents(inst.get(), &back);
        ZRT_freeDeviceStateData(&back);
    }
    // Both outcomes occur: damage to values is read back, damage to the
    // frame is refused.
    EXPECT_GT(accepted, 100);
    EXPECT_GT(refused, 100);
    EXPECT_EQ(host.exitCount(), 0);  // no damaged size turned into a huge request
}

}  // namespace
