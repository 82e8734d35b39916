// The runtime's loader tables, null stubs and forwarding entries.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "rte/ZRT_CommonInterface.h"
#include "tests/test_host.h"

namespace {

using Slots = std::array<const void*, 34>;

Slots slotsOf(const s_ZRT_ContribLoader& loader) {
    Slots slots;
    std::memcpy(slots.data(), &loader, sizeof loader);
    return slots;
}

template <typename F>
const void* fn(F f) {
    return reinterpret_cast<const void*>(f);
}

TEST(NullStubs, AnswerZeroAndLeaveArgumentsAlone) {
    testhost::TestHost host;
    double values[2] = {1.0, 2.0};
    ZRT_Handle handles[2] = {host.newHandle(), host.newHandle()};
    ZRT_NullLoad(2, handles, values, &host.loader, nullptr);
    EXPECT_EQ(values[0], 1.0);
    EXPECT_EQ(ZRT_NullGetSol(nullptr, nullptr, nullptr), 0.0);
    EXPECT_EQ(ZRT_NullGetTime(nullptr, nullptr), 0.0);
    EXPECT_EQ(ZRT_NullGetFreq(nullptr, nullptr), 0.0);
    EXPECT_EQ(ZRT_NullDoNoise(nullptr, nullptr), 0);
    EXPECT_EQ(ZRT_NullDoStrobe(nullptr, nullptr), 0);
    EXPECT_EQ(ZRT_NullIsInitialStep(nullptr, nullptr), 0);
    EXPECT_EQ(ZRT_NullIsFinalStep(nullptr, nullptr), 0);
    EXPECT_EQ(ZRT_NullGetAnalysisQueryMask(nullptr, nullptr), 0u);
    EXPECT_EQ(ZRT_noStrobe(nullptr, nullptr), 0);
    EXPECT_EQ(ZRT_yesStrobe(nullptr, nullptr), 1);
    EXPECT_EQ(passThroughCallback(nullptr, -3.25), -3.25);
    EXPECT_TRUE(host.messages.empty());
}

TEST(MixedSignal, DefaultTableHoldsTheNullStubsInSlotOrder) {
    const ZRT_AMS_Loader& t = DefaultAMS_ContribLoader;
    std::array<const void*, 16> slots;
    std::memcpy(slots.data(), &t, sizeof t);
    const std::array<const void*, 10> expected = {
        fn(ZRT_D2A_EventSignal_Null),         fn(ZRT_D2A_IntFromLogic_Null), fn(ZRT_D2A_Logic_Null),
        fn(ZRT_D2A_Real_Null),                fn(ZRT_D2A_Integer_Null),      fn(ZRT_D2A_IntFromLogicElement_Null),
        fn(ZRT_D2A_LogicElement_Null),        fn(ZRT_D2A_RealElement_Null),  fn(ZRT_D2A_IntegerElement_Null),
        fn(ZRT_A2D_Null)};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(slots[i], expected[i]) << "slot " << i + 1;
    }
    for (size_t i = 10; i < 16; ++i) {
        EXPECT_EQ(slots[i], nullptr) << "slot " << i + 1;
    }

    EXPECT_EQ(t.D2A_EventSignal(nullptr, 1.0, nullptr), 0);
    EXPECT_EQ(t.D2A_IntFromLogic(nullptr, 3, nullptr), 0);
    EXPECT_EQ(t.D2A_Real(3, nullptr), 0.0);
    EXPECT_EQ(t.D2A_Integer(nullptr, nullptr, 1, 2, MIN_MAX_RANGE, 0), 0);
    EXPECT_EQ(t.D2A_IntFromLogicElement(nullptr, nullptr, 1, 2, NO_RANGE, 0), 0);
    EXPECT_EQ(t.D2A_RealElement(nullptr, nullptr, 1, 2, NO_RANGE, 0), 0.0);
    EXPECT_EQ(t.D2A_IntegerElement(nullptr, nullptr, 1, 2, NO_RANGE, 0), 0);
    EXPECT_EQ(t.A2D(0, nullptr), 0.0);
}

TEST(MixedSignal, NullLogicValuesFillAllSixteenBytes) {
    for (int which = 0; which < 2; ++which) {
        ZRT_LogicValue value;
        std::memset(&value, 0xFF, sizeof value);
        value = which == 0 ? DefaultAMS_ContribLoader.D2A_Logic(7, nullptr)
                           : DefaultAMS_ContribLoader.D2A_LogicElement(nullptr, nullptr, 0, 0, NO_RANGE, 0);
        const uint32_t expected[4] = {1, 0, 0, 0};
        EXPECT_EQ(std::memcmp(&value, expected, sizeof expected), 0) << "variant " << which;
    }
}

TEST(StaticCheckLoader, SlotBySlot) {
    const s_ZRT_ContribLoader& l = ZRT_StaticCheckLoader;
    const Slots slots = slotsOf(l);
    for (int slot : {1, 11, 12, 13, 15, 21, 22, 26, 28, 31, 33, 34}) {
        EXPECT_EQ(slots[slot - 1], nullptr) << "slot " << slot;
    }
    for (int slot = 2; slot <= 7; ++slot) {
        EXPECT_EQ(slots[slot - 1], fn(ZRT_NullLoad)) << "slot " << slot;
    }
    EXPECT_EQ(slots[7], fn(ZRT_NullLoadRhsAC));
    EXPECT_EQ(slots[8], fn(ZRT_NullLoadDelay));
    EXPECT_EQ(slots[9], fn(ZRT_NullLoadDelay_dwrt));
    EXPECT_EQ(slots[15], fn(ZRT_noStrobe));
    EXPECT_EQ(slots[16], fn(ZRT_noStrobe));
    EXPECT_EQ(slots[17], fn(ZRT_NullReportDiscontinuity));
    EXPECT_EQ(slots[18], fn(ZRT_NullDoBoundStep));
    EXPECT_EQ(slots[24], fn(ZRT_NullGetTime));
    EXPECT_EQ(slots[26], fn(ZRT_NullGetFreq));
    EXPECT_EQ(l.pAMS, &DefaultAMS_ContribLoader);

    // The loader's own callbacks: a zero solution at an initial, not final,
    // step of a static DC analysis without host defaults or crossings.
    testhost::TestHost host;
    testhost::TestInstance inst(host, nullptr, {});
    s_ZRT_StateVar node{};
    node.index = 4;
    EXPECT_EQ(l.GetSol(&node, &l, inst.get()), 0.0);
    EXPECT_EQ(l.IsInitialStep(&l, inst.get()), 1);
    EXPECT_EQ(l.IsFinalStep(&l, inst.get()), 0);
    EXPECT_EQ(l.GetDefault(ZRT_DEFAULT_ZERO_DENOMINATOR, &l, inst.get()), 0.0);
    double t = 0.0;
    uint32_t flags = 0;
    EXPECT_EQ(l.CrossEventSignal(nullptr, 0, 0, 0, 0, 0, 0, nullptr, &t, &flags, 0, 0, 0, &l, inst.get()), 0);
    // "dc" | "static", whatever the loader and instance.
    EXPECT_EQ(l.GetAnalysisQueryMask(&l, inst.get()), 34u);
    EXPECT_EQ(l.GetAnalysisQueryMask(nullptr, nullptr), 34u);
}

TEST(PureRhsLoader, FromTheStaticCheckLoaderOnlyFillsTheZTransformDerivative) {
    s_ZRT_ContribLoader pure;
    std::memset(&pure, 0xAB, sizeof pure);
    EXPECT_EQ(ZRT_getPureRhsLoader(&pure, &ZRT_StaticCheckLoader), &pure);
    Slots got = slotsOf(pure);
    Slots want = slotsOf(ZRT_StaticCheckLoader);
    EXPECT_EQ(want[12], nullptr);
    want[12] = fn(ZRT_NullLoadZ_Transform_dwrt);
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i], want[i]) << "slot " << i + 1;
    }
}

TEST(PureRhsLoader, ReplacesExactlyTheMatrixAndDerivativeSlots) {
    s_ZRT_ContribLoader source;
    std::array<uintptr_t, 34> sentinels;
    for (size_t i = 0; i < sentinels.size(); ++i) {
        sentinels[i] = 0x5000 + 16 * i;
    }
    std::memcpy(&source, sentinels.data(), sizeof source);
    s_ZRT_ContribLoader pure{};
    ZRT_getPureRhsLoader(&pure, &source);
    const Slots got = slotsOf(pure);
    for (size_t i = 0; i < got.size(); ++i) {
        const int slot = static_cast<int>(i) + 1;
        switch (slot) {
        case 4: case 5: case 6: case 7:
            EXPECT_EQ(got[i], fn(ZRT_NullLoad)) << "slot " << slot;
            break;
        case 10:
            EXPECT_EQ(got[i], fn(ZRT_NullLoadDelay_dwrt)) << "slot " << slot;
            break;
        case 13:
            EXPECT_EQ(got[i], fn(ZRT_NullLoadZ_Transform_dwrt)) << "slot " << slot;
            break;
        default:
            EXPECT_EQ(reinterpret_cast<uintptr_t>(got[i]), sentinels[i]) << "slot " << slot;
        }
    }
    // The source is not touched; converting a loader in place works too.
    EXPECT_EQ(reinterpret_cast<uintptr_t>(slotsOf(source)[3]), sentinels[3]);
    ZRT_getPureRhsLoader(&source, &source);
    EXPECT_EQ(slotsOf(source), got);
}

TEST(PureRhsLoader, LoadsThroughItAddResidualsOnly) {
    testhost::TestHost host;
    s_ZRT_ContribLoader pure;
    ZRT_getPureRhsLoader(&pure, &host.loader);
    const ZRT_Handle h = host.newHandle();
    const double v = 2.0;
    pure.LoadStaticRhs(1, &h, &v, &pure, nullptr);
    pure.LoadDynamicRhs(1, &h, &v, &pure, nullptr);
    pure.LoadStaticJacobian(1, &h, &v, &pure, nullptr);
    pure.LoadDynamicJacobian(1, &h, &v, &pure, nullptr);
    pure.LoadStaticDoublet(1, &h, &v, &pure, nullptr);
    pure.LoadDynamicDoublet(1, &h, &v, &pure, nullptr);
    ASSERT_EQ(host.loads.size(), 2u);
    EXPECT_EQ(host.loads[0].slot, testhost::LoadSlot::StaticRhs);
    EXPECT_EQ(host.loads[1].slot, testhost::LoadSlot::DynamicRhs);
}

struct StampCalls {
    static inline int count = 0;
    static inline s_ZRT_DeviceInst* inst = nullptr;
    static inline void* hostData = nullptr;
    static void setAnalogStamp(s_ZRT_DeviceInst* i, void* d) {
        ++count;
        inst = i;
        hostData = d;
    }
};

TEST(SetStamp, ForwardsOnlyWhenTheDescriptorHasAnAnalogStamp) {
    testhost::TestHost host;
    s_ZRT_ModuleDesc md{};
    md.setAnalogStamp = StampCalls::setAnalogStamp;
    testhost::TestInstance inst(host, &md, {});
    void* data = &host;
    StampCalls::count = 0;

    ZRT_SetStamp(nullptr, data);
    md.hostFlags = 0xEF;  // every bit of the first byte but bit 4
    ZRT_SetStamp(inst.get(), data);
    EXPECT_EQ(StampCalls::count, 0);

    md.hostFlags = 16;
    ZRT_SetStamp(inst.get(), data);
    EXPECT_EQ(StampCalls::count, 1);
    EXPECT_EQ(StampCalls::inst, inst.get());
    EXPECT_EQ(StampCalls::hostData, data);

    // An instance without a descriptor is left alone.
    inst->pMD = nullptr;
    ZRT_SetStamp(inst.get(), data);
    EXPECT_EQ(StampCalls::count, 1);
}

struct FakeBlock {
    ZRT_CloneFn clone;
    double payload;
};

struct CloneCalls {
    static inline void* block = nullptr;
    static inline s_ZRT_DeviceInst* alloc = nullptr;
    static inline s_ZRT_DeviceInst* op = nullptr;
    static inline FakeBlock result{};
    static void* clone(void* b, s_ZRT_DeviceInst* a, s_ZRT_DeviceInst* o) {
        block = b;
        alloc = a;
        op = o;
        return &result;
    }
};

TEST(ClonePrivateInfo, CallsTheBlocksCloneWithItsArgumentsUnchanged) {
    FakeBlock block{CloneCalls::clone, 1.5};
    s_ZRT_DeviceInst a{}, b{};
    EXPECT_EQ(ZRT_ClonePrivateInfo(&block, &a, &b), &CloneCalls::result);
    EXPECT_EQ(CloneCalls::block, &block);
    EXPECT_EQ(CloneCalls::alloc, &a);
    EXPECT_EQ(CloneCalls::op, &b);
    EXPECT_EQ(ZRT_ClonePrivateInfo(nullptr, &a, &b), nullptr);
}

TEST(AnalysisMask, OrsTheBitsOfExactNames) {
    EXPECT_EQ(ZRT_DefaultFormAnalysisQueryMask(nullptr, 2, "tran", "dc"), 10u);
    EXPECT_EQ(ZRT_DefaultFormAnalysisQueryMask(nullptr, 1, "TRAN"), 0u);
    EXPECT_EQ(ZRT_DefaultFormAnalysisQueryMask(nullptr, 1, "all"), 2048u);
    EXPECT_EQ(ZRT_DefaultFormAnalysisQueryMask(nullptr, 0, "dc"), 0u);
    EXPECT_EQ(ZRT_DefaultFormAnalysisQueryMask(nullptr, -3), 0u);
    EXPECT_EQ(ZRT_DefaultFormAnalysisQueryMask(nullptr, 3, "nosuch", "xf", static_cast<const char*>(nullptr)), 1024u);
    EXPECT_EQ(ZRT_DefaultFormAnalysisQueryMask(nullptr, 12, "ac", "dc", "noise", "tran", "ic", "static", "nodeset",
                                               "hb", "env", "pss", "xf", "all"),
              4095u);
}

}  // namespace
