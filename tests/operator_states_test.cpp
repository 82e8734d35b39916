// The delay-state payload and its time-value history.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dsl/ZRT_SupportLib.h"
#include "rte/allocator.h"
#include "tests/stream_bytes.h"
#include "tests/test_host.h"

namespace {

using testhost::TestHost;
using testhost::TestInstance;
using testhost::Bytes;

// Records the largest block the runtime's allocator is asked for.
class WatchedAllocator {
public:
    WatchedAllocator() : saved_(zrtAllocator()) {
        largest() = 0;
        zrtAllocator().calloc = [](size_t count, size_t size) -> void* {
            if (count * size > largest()) {
                largest() = count * size;
            }
            return std::calloc(count, size);
        };
    }
    ~WatchedAllocator() { zrtAllocator() = saved_; }
    static size_t& largest() {
        static size_t value = 0;
        return value;
    }

private:
    ZRT_Allocator saved_;
};

class DelayStateTest : public ::testing::Test {
protected:
    DelayStateTest() : inst(host, &md, {}) {}
    ~DelayStateTest() override { ZRT_FreeDeviceSerializer(inst.get(), 1); }

    ZRT_DelaySpec* newSpec(int capacity) {
        host.delayHistoryCapacity = capacity;
        return reinterpret_cast<ZRT_DelaySpec*>(host.sim.CreateDelaySpec(&host.sim));
    }

    // A state record with recognisable values and a history of capacity 3.
    ZRT_DelaySpec* filledSpec() {
        ZRT_DelaySpec* spec = newSpec(3);
        for (int i = 0; i < 4; ++i) {
            spec->values[i] = 1.0 + i;
        }
        spec->value5 = 5.0;
        spec->pHist->head = 2;
        spec->pHist->count = 3;
        spec->pHist->data = 0.25;
        for (int i = 0; i < 3; ++i) {
            spec->pHist->times[i] = 10.0 + i;
            spec->pHist->values[i] = 20.0 + i;
        }
        return spec;
    }

    Bytes write(ZRT_DelaySpec* spec) {
        ZRT_SrlzDirE dir = ZRT_SRLZ_SAVE;
        spec->head.serialize(&spec->head, inst.get(), &dir);
        EXPECT_EQ(dir, ZRT_SRLZ_SAVE);
        return testhost::takeSavedBytes(inst.get());
    }

    // Reads `bytes` into the given record through a restore stream of the instance.
    ZRT_SrlzDirE read(ZRT_DelaySpec* spec, const Bytes& bytes) {
        testhost::openRestoreStream(inst.get(), bytes);
        ZRT_SrlzDirE dir = ZRT_SRLZ_RESTORE;
        spec->head.serialize(&spec->head, inst.get(), &dir);
        ZRT_FreeDeviceSerializer(inst.get(), 0);
        return dir;
    }

    TestHost host;
    s_ZRT_ModuleDesc md{};
    TestInstance inst;
};

TEST_F(DelayStateTest, PayloadLayoutWithAndWithoutHistory) {
    ZRT_DelaySpec* bare = newSpec(3);
    freeTimeValHist(bare->pHist);
    bare->pHist = nullptr;
    bare->values[0] = 1.0;
    bare->value5 = 5.0;
    const Bytes small = write(bare);
    ASSERT_EQ(small.size(), 76u);
    double d = 0;
    std::memcpy(&d, small.data() + 32, 8);
    EXPECT_EQ(d, 5.0);
    EXPECT_EQ(std::string(small.begin() + 40, small.begin() + 57), "TimeValHist_Begin");
    EXPECT_EQ(small[57], 0);
    EXPECT_EQ(std::string(small.begin() + 61, small.end()), "TimeValHist_End");

    ZRT_DelaySpec* spec = filledSpec();
    const Bytes full = write(spec);
    ASSERT_EQ(full.size(), 144u);
    int32_t ints[4];
    std::memcpy(&ints[0], full.data() + 57, 4);  // flag
    std::memcpy(&ints[1], full.data() + 61, 4);  // head
    std::memcpy(&ints[2], full.data() + 65, 4);  // count
    std::memcpy(&ints[3], full.data() + 77, 4);  // capacity
    EXPECT_EQ(ints[0], 1);
    EXPECT_EQ(ints[1], 2);
    EXPECT_EQ(ints[2], 3);
    EXPECT_EQ(ints[3], 3);
    double pairs[6];
    std::memcpy(pairs, full.data() + 81, sizeof pairs);
    EXPECT_EQ(pairs[0], 10.0);  // (time, value) per slot, in index order
    EXPECT_EQ(pairs[1], 20.0);
    EXPECT_EQ(pairs[4], 12.0);
    EXPECT_EQ(pairs[5], 22.0);
    EXPECT_EQ(std::string(full.begin() + 129, full.end()), "TimeValHist_End");

    TestHost::freeDelaySpec(&bare->head);
    TestHost::freeDelaySpec(&spec->head);
}

TEST_F(DelayStateTest, RoundTripReplacesTheHistory) {
    ZRT_DelaySpec* source = filledSpec();
    const Bytes bytes = write(source);

    ZRT_DelaySpec* target = newSpec(16);
    ZRT_TimeValHist* old = target->pHist;
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(read(target, bytes), ZRT_SRLZ_RESTORE);
    EXPECT_NE(target->pHist, nullptr);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(target->values[i], source->values[i]);
    }
    EXPECT_EQ(target->value5, 5.0);
    EXPECT_EQ(target->pSim, &host.sim);  // not part of the payload
    const ZRT_TimeValHist* h = target->pHist;
    EXPECT_EQ(h->head, 2);
    EXPECT_EQ(h->count, 3);
    EXPECT_EQ(h->data, 0.25);
    EXPECT_EQ(h->capacity, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(h->times[i], 10.0 + i);
        EXPECT_EQ(h->values[i], 20.0 + i);
    }

    // A payload without history leaves none (the old one released).
    freeTimeValHist(source->pHist);
    source->pHist = nullptr;
    EXPECT_EQ(read(target, write(source)), ZRT_SRLZ_RESTORE);
    EXPECT_EQ(target->pHist, nullptr);

    // Direction 2 does nothing.
    ZRT_SrlzDirE dir = ZRT_SRLZ_FAILED;
    serializeDelaySpec(&target->head, inst.get(), &dir);
    EXPECT_EQ(inst->pSerializer, nullptr);

    TestHost::freeDelaySpec(&source->head);
    TestHost::freeDelaySpec(&target->head);
}

TEST_F(DelayStateTest, EveryTruncationFailsWithoutALargeAllocation) {
    ZRT_DelaySpec* source = filledSpec();
    const Bytes bytes = write(source);
    ASSERT_EQ(bytes.size(), 144u);
    WatchedAllocator watch;
    for (size_t length = 0; length < bytes.size(); ++length) {
        ZRT_DelaySpec* target = newSpec(3);
        const Bytes cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_EQ(read(target, cut), ZRT_SRLZ_FAILED) << "length " << length;
        // Whatever the cut, the delay state holds either no history or a whole one.
        if (target->pHist != nullptr) {
            EXPECT_GE(target->pHist->capacity, 3);
        }
        TestHost::freeDelaySpec(&target->head);
    }
    EXPECT_LE(watch.largest(), sizeof(ZRT_DelaySpec) + 16 * sizeof(double));
    EXPECT_EQ(host.exitCount(), 0);
    TestHost::freeDelaySpec(&source->head);
}

TEST_F(DelayStateTest, HistoryNumbersAreCheckedBeforeAllocating) {
    ZRT_DelaySpec* source = filledSpec();
    const Bytes good = write(source);
    TestHost::freeDelaySpec(&source->head);
    auto withInt = [&](size_t offset, int32_t value) {
        Bytes b = good;
        std::memcpy(b.data() + offset, &value, 4);
        return b;
    };
    const struct {
        size_t offset;
        int32_t value;
    } cases[] = {
        {77, 0x7FFFFFFF},  // capacity far beyond the stream
        {77, 4},           // capacity one pair beyond the stream
        {77, 2},           // below the least capacity
        {77, -1},
        {61, 3},           // head not below capacity
        {61, -1},
        {65, 4},           // count above capacity
        {65, -2},
    };
    WatchedAllocator watch;
    for (const auto& c : cases) {
        ZRT_DelaySpec* target = newSpec(3);
        EXPECT_EQ(read(target, withInt(c.offset, c.value)), ZRT_SRLZ_FAILED) << c.offset << " " << c.value;
        EXPECT_EQ(target->pHist, nullptr);  // released at once, no new one
        TestHost::freeDelaySpec(&target->head);
    }
    EXPECT_LE(watch.largest(), sizeof(ZRT_DelaySpec) + 16 * sizeof(double));
    EXPECT_EQ(host.exitCount(), 0);

    // A larger stream may hold a larger capacity: the check is against the
    // bytes that remain, not a fixed limit.
    ZRT_DelaySpec* big = newSpec(100);
    big->pHist->head = 99;
    big->pHist->count = 100;
    const Bytes bigBytes = write(big);
    ZRT_DelaySpec* target = newSpec(3);
    EXPECT_EQ(read(target, bigBytes), ZRT_SRLZ_RESTORE);
    EXPECT_EQ(target->pHist->capacity, 100);
    TestHost::freeDelaySpec(&big->head);
    TestHost::freeDelaySpec(&target->head);
}

TEST_F(DelayStateTest, ExhaustedHeapDuringReadFailsCleanly) {
    ZRT_DelaySpec* source = filledSpec();
    const Bytes good = write(source);
    TestHost::freeDelaySpec(&source->head);
    for (int n = 0; n < 3; ++n) {  // the record, then each of the two arrays
        ZRT_DelaySpec* target = newSpec(3);
        {
            testhost::LimitedHeap heap(n);
            EXPECT_EQ(read(target, good), ZRT_SRLZ_FAILED);
        }
        EXPECT_EQ(target->pHist, nullptr);
        TestHost::freeDelaySpec(&target->head);
    }
    EXPECT_EQ(host.exitCount(), 3);  // each failure reported "Out of memory."
}

TEST(TimeValHist, LeastCapacityAndNullRelease) {
    TestHost host;
    ZRT_TimeValHist* h = allocTimeValHist(1, 7.5, &host.sim);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->capacity, 3);
    EXPECT_EQ(h->head, 0);
    EXPECT_EQ(h->count, 0);
    EXPECT_EQ(h->data, 7.5);
    EXPECT_EQ(h->times[0], 0.0);
    EXPECT_EQ(h->values[2], 0.0);
    freeTimeValHist(h);
    freeTimeValHist(nullptr);
    h = allocTimeValHist(-5, 0.0, &host.sim);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->capacity, 3);
    freeTimeValHist(h);
}

}  // namespace
