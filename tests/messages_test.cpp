// Messages to the host: warning suppression per instance, argument
// forwarding, the hash, and the fatal-error path.
#include <gtest/gtest.h>

#include "rte/ZRT_CommonInterface.h"
#include "rte/allocator.h"
#include "tests/test_host.h"

namespace {

using testhost::TestHost;
using testhost::TestInstance;

TEST(MessageHash, KnownValues) {
    EXPECT_EQ(messageHash(""), 0u);
    EXPECT_EQ(messageHash("a"), 3104u);
    EXPECT_EQ(messageHash("ab"), 100416u);
    EXPECT_EQ(messageHash("abc"), 3212384u);
    // A byte of 128 or more is sign-extended to 32 bits only.
    EXPECT_EQ(messageHash("\x80"), 0x1FFFFFF000ull);
    // Rotation, not shift: bits leaving at the top come back at the bottom.
    EXPECT_NE(messageHash("abcdefghijklmnopqrstuvwxyz"), messageHash("bcdefghijklmnopqrstuvwxyz"));
}

TEST(Message, ForwardsTheTextTwiceAndTheValuesUnchanged) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    const char* fmt = "value %d and %g";
    ZRT_Message(&host.sim, inst.get(), nullptr, ZRT_MSG_WARNING, fmt, 7, 2.5);
    ASSERT_EQ(host.messages.size(), 1u);
    const auto& m = host.messages[0];
    EXPECT_EQ(m.type, 1);
    EXPECT_EQ(m.text, fmt);
    EXPECT_EQ(m.inst, inst.get());
    EXPECT_EQ(m.sim, &host.sim);
    EXPECT_EQ(m.fifthArg, fmt);
    EXPECT_EQ(m.formatted, "value 7 and 2.5");
}

TEST(Message, WarningsAreSentOncePerInstanceAndFormatText) {
    TestHost host;
    TestInstance a(host, nullptr, {}, "a");
    TestInstance b(host, nullptr, {}, "b");
    const char* fmt = "limit reached at %g";

    ZRT_Message(&host.sim, a.get(), nullptr, ZRT_MSG_WARNING, fmt, 1.0);
    ZRT_Message(&host.sim, a.get(), nullptr, ZRT_MSG_WARNING, fmt, 2.0);  // other values, same format
    EXPECT_EQ(host.messages.size(), 1u);

    ZRT_Message(&host.sim, b.get(), nullptr, ZRT_MSG_WARNING, fmt, 3.0);
    EXPECT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[1].inst, b.get());

    // Without an instance a warning is sent every time and recorded nowhere.
    ZRT_Message(&host.sim, nullptr, nullptr, ZRT_MSG_WARNING, fmt, 4.0);
    ZRT_Message(&host.sim, nullptr, nullptr, ZRT_MSG_WARNING, fmt, 5.0);
    EXPECT_EQ(host.messages.size(), 4u);

    // Errors are sent every time and add nothing to the table.
    const uint64_t recorded = a->msgDupCount;
    for (int i = 0; i < 3; ++i) {
        ZRT_Message(&host.sim, a.get(), nullptr, ZRT_MSG_ERROR, "broken");
    }
    EXPECT_EQ(host.messages.size(), 7u);
    EXPECT_EQ(a->msgDupCount, recorded);
    EXPECT_EQ(host.tasks.size(), 0u);  // a message alone never calls "exit"
}

TEST(Message, TheSeventeenthWarningGrowsTheTable) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    std::vector<std::string> texts;
    for (int i = 0; i < 17; ++i) {
        texts.push_back("warning number " + std::to_string(i));
    }
    for (int i = 0; i < 16; ++i) {
        ZRT_Message(&host.sim, inst.get(), nullptr, ZRT_MSG_WARNING, texts[i].c_str());
    }
    EXPECT_EQ(inst->msgDupCount, 16u);
    EXPECT_EQ(inst->msgDupCapacity, 16u);
    ZRT_Message(&host.sim, inst.get(), nullptr, ZRT_MSG_WARNING, texts[16].c_str());
    EXPECT_EQ(inst->msgDupCount, 17u);
    EXPECT_EQ(inst->msgDupCapacity, 32u);
    for (uint64_t i = 17; i < 32; ++i) {
        EXPECT_EQ(inst->msgDupHashes[i], 0u);
    }
    EXPECT_EQ(inst->msgDupHashes[16], messageHash(texts[16].c_str()));
    // Every one of them is still remembered after the move.
    for (const std::string& t : texts) {
        ZRT_Message(&host.sim, inst.get(), nullptr, ZRT_MSG_WARNING, t.c_str());
    }
    EXPECT_EQ(host.messages.size(), 17u);
}

// Stands in an exhausted heap for the allocator's realloc.
class ExhaustedRealloc {
public:
    ExhaustedRealloc() : saved_(zrtAllocator()) {
        zrtAllocator().realloc = [](void*, size_t) -> void* { return nullptr; };
    }
    ~ExhaustedRealloc() { zrtAllocator() = saved_; }

private:
    ZRT_Allocator saved_;
};

TEST(Message, AFailedTableGrowthKeepsTheTableAndStillSendsTheWarning) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    for (int i = 0; i < 16; ++i) {
        ZRT_Message(&host.sim, inst.get(), nullptr, ZRT_MSG_WARNING, ("w" + std::to_string(i)).c_str());
    }
    uint64_t* table = inst->msgDupHashes;
    host.clearRecords();
    {
        ExhaustedRealloc exhausted;
        ZRT_Message(&host.sim, inst.get(), nullptr, ZRT_MSG_WARNING, "one more");
    }
    EXPECT_EQ(inst->msgDupHashes, table);
    EXPECT_EQ(inst->msgDupCount, 16u);
    EXPECT_EQ(inst->msgDupCapacity, 16u);
    // The growth reported the exhausted heap, then the warning went out.
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0].text, "Out of memory.");
    EXPECT_EQ(host.messages[0].type, ZRT_MSG_ERROR);
    EXPECT_EQ(host.messages[0].inst, nullptr);
    EXPECT_EQ(host.messages[1].text, "one more");
    EXPECT_EQ(host.exitCount(), 1);

    // Once memory is back the warning is sent once more, recorded, and then
    // suppressed as usual.
    ZRT_Message(&host.sim, inst.get(), nullptr, ZRT_MSG_WARNING, "one more");
    EXPECT_EQ(inst->msgDupCount, 17u);
    ZRT_Message(&host.sim, inst.get(), nullptr, ZRT_MSG_WARNING, "one more");
    EXPECT_EQ(host.messages.size(), 3u);
}

TEST(Message, FatalErrorCallsExitWithTheInstanceAndInterface) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    fatalError(&host.sim, inst.get(), nullptr, "gone wrong");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].type, ZRT_MSG_ERROR);
    ASSERT_EQ(host.tasks.size(), 1u);
    const auto& t = host.tasks[0];
    EXPECT_EQ(t.task, "exit");
    EXPECT_EQ(t.value, 1);
    EXPECT_EQ(t.inst, inst.get());
    EXPECT_EQ(t.zero, 0);
    EXPECT_EQ(t.sim, &host.sim);
}

TEST(Message, WithoutAnInterfaceNothingIsSent) {
    TestHost host;
    ZRT_Message(nullptr, nullptr, nullptr, ZRT_MSG_ERROR, "nowhere");
    fatalError(nullptr, nullptr, nullptr, "nowhere");
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(host.tasks.empty());
}

}  // namespace
