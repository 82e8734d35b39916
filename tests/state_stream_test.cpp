// The saved-state stream of an instance: byte layout, counts and trailer,
// the serializer protocol, and restores of damaged streams.
#include <gtest/gtest.h>

#include <cstring>
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
using testhost::writeAt;
using testhost::textAt;
using testhost::OneDoubleRec;
using testhost::serializeOneDouble;

ZRT_SrlzDirE serializeFails(s_ZRT_DeviceInst*, void*, ZRT_SrlzDirE) { return ZRT_SRLZ_FAILED; }

// An operator state whose payload is one 32-bit integer.
struct IntOpState {
    ZRT_GenericOperatorState head;
    int32_t value;
};

void serializeIntOp(ZRT_GenericOperatorState* state, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir) {
    ZRT_serializeInt(&reinterpret_cast<IntOpState*>(state)->value, inst, dir);
}

// An instance of a module with one double, 13 operator-state slots and one
// event, the initial step.
class DeviceStateTest : public ::testing::Test {
protected:
    static constexpr int32_t kNumOps = 13;

    DeviceStateTest() : inst(host, &md, {}) {
        md.numEvents = 1;
        inst.events[0] = ZRT_createSimEvent_initial_step(inst.get(), 0);
    }

    ~DeviceStateTest() override { ZRT_FreeDeviceSerializer(inst.get(), 1); }

    s_ZRT_DeviceState makeState(OneDoubleRec& rec) {
        s_ZRT_DeviceState state{};
        state.pStateRec = &rec;
        state.numOpStates = kNumOps;
        state.pOpStates = opStates;
        state.numEventStates = 1;
        state.pEventState = eventStates;
        state.pInst = inst.get();
        return state;
    }

    Bytes save(double value) {
        OneDoubleRec rec{serializeOneDouble, value};
        s_ZRT_DeviceState state = makeState(rec);
        uint32_t count = 0;
        const uint8_t* bytes = ZRT_SaveDeviceState(&state, inst.get(), &count);
        Bytes copy = bytes != nullptr ? Bytes(bytes, bytes + count) : Bytes();
        ZRT_FreeDeviceSerializer(inst.get(), 1);
        return copy;
    }

    // Restores into a record holding -1.0; answers the restore's answer and
    // the value read.
    std::pair<int32_t, double> restore(const Bytes& bytes) {
        OneDoubleRec rec{serializeOneDouble, -1.0};
        s_ZRT_DeviceState state = makeState(rec);
        int32_t ok = ZRT_RestoreDeviceState(bytes.data(), static_cast<uint32_t>(bytes.size()), &state, inst.get());
        ZRT_FreeDeviceSerializer(inst.get(), 0);
        EXPECT_EQ(state.numOpStates, kNumOps);
        EXPECT_EQ(state.numEventStates, 1);
        return {ok, rec.value};
    }

    TestHost host;
    s_ZRT_ModuleDesc md{};
    TestInstance inst;
    ZRT_GenericOperatorState* opStates[kNumOps] = {};
    void* eventStates[1] = {};
};

TEST_F(DeviceStateTest, GoldenLayoutOfOneDoubleThirteenOperatorsOneEvent) {
    Bytes bytes = save(2.5);
    ASSERT_EQ(bytes.size(), 47u);
    EXPECT_EQ(readAt<double>(bytes, 0), 2.5);
    EXPECT_EQ(textAt(bytes, 8, 15), "Operator_states");
    EXPECT_EQ(readAt<int32_t>(bytes, 23), 13);
    EXPECT_EQ(textAt(bytes, 27, 12), "Event_states");
    EXPECT_EQ(readAt<int32_t>(bytes, 39), 1);
    EXPECT_EQ(readAt<int32_t>(bytes, 43), 13);
    // Little-endian, byte by byte.
    EXPECT_EQ(bytes[23], 13);
    EXPECT_EQ(bytes[24], 0);
    EXPECT_EQ(bytes[46], 0);
}

TEST_F(DeviceStateTest, RestoreChecksLengthCountsAndTrailerButNotLabels) {
    const Bytes good = save(2.5);
    ASSERT_EQ(good.size(), 47u);
    EXPECT_EQ(restore(good), std::make_pair(1, 2.5));

    Bytes shortByOne(good.begin(), good.end() - 1);
    EXPECT_EQ(restore(shortByOne).first, 0);

    Bytes trailer = good;
    writeAt<int32_t>(trailer, 43, 12);
    EXPECT_EQ(restore(trailer).first, 0);

    Bytes events = good;
    writeAt<int32_t>(events, 39, 2);
    EXPECT_EQ(restore(events).first, 0);  // the record's counts stay (checked in restore())

    Bytes ops = good;
    writeAt<int32_t>(ops, 23, 1000000);
    EXPECT_EQ(restore(ops).first, 0);

    Bytes labels = good;
    std::memcpy(labels.data() + 8, "XXXXXXXXXXXXXXX", 15);
    std::memcpy(labels.data() + 27, "yyyyyyyyyyyy", 12);
    EXPECT_EQ(restore(labels), std::make_pair(1, 2.5));

    // Bytes after the trailer are accepted: the host may hand a larger buffer.
    Bytes longer = good;
    longer.push_back(0xAB);
    EXPECT_EQ(restore(longer).first, 1);

    EXPECT_EQ(restore(Bytes()).first, 0);
    OneDoubleRec rec{serializeOneDouble, -1.0};
    s_ZRT_DeviceState state = makeState(rec);
    EXPECT_EQ(ZRT_RestoreDeviceState(nullptr, 47, &state, inst.get()), 0);
    ZRT_FreeDeviceSerializer(inst.get(), 0);
}

template <typename T>
T* newZeroed() {
    return static_cast<T*>(ZRT_calloc(1, sizeof(T), nullptr, nullptr, nullptr));
}

TEST_F(DeviceStateTest, OperatorEntriesWithoutSerializeAreSkippedButCountedAndReleased) {
    auto* silent = newZeroed<ZRT_GenericOperatorState>();
    auto* counted = newZeroed<IntOpState>();
    ASSERT_TRUE(silent != nullptr && counted != nullptr);
    counted->head.serialize = serializeIntOp;
    counted->value = 0x01020304;
    opStates[2] = silent;
    opStates[5] = &counted->head;

    OneDoubleRec rec{serializeOneDouble, 1.0};
    s_ZRT_DeviceState state = makeState(rec);
    uint32_t count = 0;
    const uint8_t* raw = ZRT_SaveDeviceState(&state, inst.get(), &count);
    ASSERT_NE(raw, nullptr);
    const Bytes bytes(raw, raw + count);
    ZRT_FreeDeviceSerializer(inst.get(), 1);
    // The save released both states with ZRT_free (no free function) and
    // cleared their entries, so a second release is harmless.
    EXPECT_EQ(opStates[2], nullptr);
    EXPECT_EQ(opStates[5], nullptr);
    ZRT_FreeDeviceStateData(&state);

    ASSERT_EQ(bytes.size(), 51u);  // 47 plus the one integer
    EXPECT_EQ(readAt<int32_t>(bytes, 23), 13);
    EXPECT_EQ(readAt<int32_t>(bytes, 27), 0x01020304);
    EXPECT_EQ(textAt(bytes, 31, 12), "Event_states");

    // Read back into the same shape of entries.
    IntOpState target{{7, 0, serializeIntOp, nullptr}, 0};
    ZRT_GenericOperatorState silentAgain{7, 0, nullptr, nullptr};
    opStates[2] = &silentAgain;
    opStates[5] = &target.head;
    OneDoubleRec back{serializeOneDouble, 0.0};
    s_ZRT_DeviceState restoreState = makeState(back);
    EXPECT_EQ(ZRT_RestoreDeviceState(bytes.data(), count, &restoreState, inst.get()), 1);
    ZRT_FreeDeviceSerializer(inst.get(), 0);
    EXPECT_EQ(target.value, 0x01020304);
    EXPECT_EQ(back.value, 1.0);
    opStates[2] = nullptr;
    opStates[5] = nullptr;

    // A stream written without the counted payload does not fit this shape.
    const Bytes plain = save(1.0);
    opStates[5] = &target.head;
    EXPECT_EQ(restore(plain).first, 0);
    opStates[5] = nullptr;
}

TEST_F(DeviceStateTest, AFailingModuleSerializeEndsSaveAndRestore) {
    const Bytes good = save(3.0);
    opStates[0] = newZeroed<ZRT_GenericOperatorState>();
    OneDoubleRec rec{serializeFails, 0.0};
    s_ZRT_DeviceState state = makeState(rec);
    uint32_t count = 12345;
    EXPECT_EQ(ZRT_SaveDeviceState(&state, inst.get(), &count), nullptr);
    EXPECT_EQ(count, 12345u);
    EXPECT_EQ(opStates[0], nullptr);        // released with the abandoned save
    EXPECT_EQ(inst->pSerializer, nullptr);  // nothing left outstanding
    EXPECT_EQ(ZRT_RestoreDeviceState(good.data(), static_cast<uint32_t>(good.size()), &state, inst.get()), 0);
    ZRT_FreeDeviceSerializer(inst.get(), 0);
}

TEST_F(DeviceStateTest, SerializerProtocol) {
    // Save, then free with 1; a second free does nothing.
    OneDoubleRec rec{serializeOneDouble, 4.0};
    s_ZRT_DeviceState state = makeState(rec);
    uint32_t count = 0;
    const uint8_t* first = ZRT_SaveDeviceState(&state, inst.get(), &count);
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(count, 47u);
    const Bytes copy(first, first + count);

    // A second save without a free is refused; the first buffer stays valid
    // and the count untouched.
    uint32_t secondCount = 777;
    EXPECT_EQ(ZRT_SaveDeviceState(&state, inst.get(), &secondCount), nullptr);
    EXPECT_EQ(secondCount, 777u);
    EXPECT_EQ(Bytes(first, first + count), copy);
    // So is a restore while the save is outstanding.
    EXPECT_EQ(ZRT_RestoreDeviceState(copy.data(), count, &state, inst.get()), 0);
    EXPECT_EQ(Bytes(first, first + count), copy);

    ZRT_FreeDeviceSerializer(inst.get(), 1);
    EXPECT_EQ(inst->pSerializer, nullptr);
    ZRT_FreeDeviceSerializer(inst.get(), 1);
    ZRT_FreeDeviceSerializer(nullptr, 1);

    // Restore, then free with 0: the host's bytes are intact.
    Bytes hostBytes = copy;
    ASSERT_EQ(ZRT_RestoreDeviceState(hostBytes.data(), count, &state, inst.get()), 1);
    EXPECT_EQ(rec.value, 4.0);
    // A save while the restore stream is outstanding is refused.
    EXPECT_EQ(ZRT_SaveDeviceState(&state, inst.get(), &secondCount), nullptr);
    ZRT_FreeDeviceSerializer(inst.get(), 0);
    EXPECT_EQ(hostBytes, copy);

    // The wrong flag still releases each serializer as what it is.
    ASSERT_NE(ZRT_SaveDeviceState(&state, inst.get(), &count), nullptr);
    ZRT_FreeDeviceSerializer(inst.get(), 0);
    EXPECT_EQ(inst->pSerializer, nullptr);
    ASSERT_EQ(ZRT_RestoreDeviceState(hostBytes.data(), count, &state, inst.get()), 1);
    ZRT_FreeDeviceSerializer(inst.get(), 1);
    EXPECT_EQ(inst->pSerializer, nullptr);
    EXPECT_EQ(hostBytes, copy);
}

TEST_F(DeviceStateTest, PrimitiveSerializersFollowTheDirection) {
    double d = 1.5;
    int32_t i = -7;
    char c = 'q';
    ZRT_SrlzDirE dir = ZRT_SRLZ_FAILED;
    ZRT_serializeDouble(&d, inst.get(), &dir);
    EXPECT_EQ(inst->pSerializer, nullptr);  // direction 2 does nothing

    dir = ZRT_SRLZ_SAVE;
    ZRT_serializeDouble(&d, inst.get(), &dir);
    ZRT_serializeInt(&i, inst.get(), &dir);
    ZRT_serializeChar(&c, inst.get(), &dir);
    EXPECT_EQ(dir, ZRT_SRLZ_SAVE);
    ZRT_OutputSerializer* out = getOutputSerializer(&inst->pSerializer);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->byteCount, 13u);
    const std::string written(out->stream.begin(), out->stream.end());
    ZRT_FreeDeviceSerializer(inst.get(), 1);

    // A read with no restore stream fails and leaves the value.
    double untouched = 9.0;
    dir = ZRT_SRLZ_RESTORE;
    ZRT_serializeDouble(&untouched, inst.get(), &dir);
    EXPECT_EQ(dir, ZRT_SRLZ_FAILED);
    EXPECT_EQ(untouched, 9.0);

    // Any direction other than 0 and 2 reads; a short read fails and every
    // later call does nothing.
    OneDoubleRec rec{serializeOneDouble, 0.0};
    s_ZRT_DeviceState state = makeState(rec);
    Bytes bytes(written.begin(), written.end());
    ASSERT_EQ(ZRT_RestoreDeviceState(bytes.data(), 12, &state, inst.get()), 0);
    EXPECT_EQ(rec.value, 1.5);  // the double was there; the label was not
    dir = static_cast<ZRT_SrlzDirE>(5);
    int32_t i2 = 0;
    ZRT_serializeInt(&i2, inst.get(), &dir);  // the stream already failed
    EXPECT_EQ(dir, ZRT_SRLZ_FAILED);
    // A write while a restore stream is outstanding fails too.
    dir = ZRT_SRLZ_SAVE;
    ZRT_serializeDouble(&d, inst.get(), &dir);
    EXPECT_EQ(dir, ZRT_SRLZ_FAILED);
    ZRT_FreeDeviceSerializer(inst.get(), 0);
}

// A run of doubles in one call is what as many single calls give: the same
// bytes, and in a short read the same values taken before the stream fails.
TEST_F(DeviceStateTest, DoublesInARowAreSingleDoublesInOneStep) {
    double three[3] = {1.25, -2.5, 1e300};
    ZRT_SrlzDirE dir = ZRT_SRLZ_SAVE;
    ZRT_serializeDoubles(three, 3, inst.get(), &dir);
    ASSERT_EQ(dir, ZRT_SRLZ_SAVE);
    ZRT_OutputSerializer* out = getOutputSerializer(&inst->pSerializer);
    const Bytes bulk(out->stream.begin(), out->stream.end());
    ZRT_FreeDeviceSerializer(inst.get(), 1);
    for (double& d : three) {
        ZRT_serializeDouble(&d, inst.get(), &dir);
    }
    out = getOutputSerializer(&inst->pSerializer);
    EXPECT_EQ(bulk, Bytes(out->stream.begin(), out->stream.end()));
    ZRT_FreeDeviceSerializer(inst.get(), 1);

    // 20 bytes: two whole doubles and half of the third.
    for (bool inOneStep : {true, false}) {
        inst->pSerializer = static_cast<ZRT::SerializerBase*>(new ZRT::RestoreStream(bulk.data(), 20));
        double got[3] = {0.0, 0.0, 0.0};
        dir = ZRT_SRLZ_RESTORE;
        if (inOneStep) {
            ZRT_serializeDoubles(got, 3, inst.get(), &dir);
        } else {
            for (double& d : got) {
                ZRT_serializeDouble(&d, inst.get(), &dir);
            }
        }
        EXPECT_EQ(dir, ZRT_SRLZ_FAILED);
        EXPECT_EQ(got[0], 1.25);
        EXPECT_EQ(got[1], -2.5);
        EXPECT_EQ(std::memcmp(&got[2], bulk.data() + 16, 4), 0);
        ZRT_FreeDeviceSerializer(inst.get(), 0);
    }
}

TEST(RestoreStream, ReadsInPlaceAndPeeksAndTellsWithoutTaking) {
    const uint8_t bytes[] = {1, 'b', 0, 0, 0, 0};
    ZRT::RestoreStream rs(bytes, sizeof bytes);
    ZRT::InputSerializer in(rs.stream);
    EXPECT_EQ(ZRT::peekStringstream(rs.stream), 1);
    EXPECT_EQ(ZRT::tellStringstream(rs.stream), 0);
    bool flag = false;
    EXPECT_TRUE(in.restore(flag));
    EXPECT_TRUE(flag);
    EXPECT_EQ(ZRT::peekStringstream(rs.stream), 'b');
    EXPECT_EQ(ZRT::tellStringstream(rs.stream), 1);
    EXPECT_EQ(in.remaining(), 5u);
    EXPECT_TRUE(in.skip(1));
    int value = -1;
    EXPECT_TRUE(in.restore(value));
    EXPECT_EQ(value, 0);
    EXPECT_EQ(ZRT::peekStringstream(rs.stream), std::char_traits<char>::eof());
    // A skip past the end fails the stream, and so does every later read.
    EXPECT_FALSE(in.skip(1));
    EXPECT_FALSE(in.restore(flag));
    EXPECT_EQ(in.remaining(), 0u);
}

}  // namespace
