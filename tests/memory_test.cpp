// Allocation through the runtime: zero sizes, exhausted heaps and the
// failure values answered after the host's "exit" returns.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "rte/ZRT_CommonInterface.h"
#include "rte/allocator.h"
#include "tests/test_host.h"

namespace {

using testhost::TestHost;
using testhost::TestInstance;

void expectOutOfMemory(const TestHost& host, s_ZRT_DeviceInst* inst) {
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].type, ZRT_MSG_ERROR);
    EXPECT_EQ(host.messages[0].text, "Out of memory.");
    EXPECT_EQ(host.messages[0].inst, inst);
    ASSERT_EQ(host.tasks.size(), 1u);
    EXPECT_EQ(host.tasks[0].task, "exit");
    EXPECT_EQ(host.tasks[0].value, 1);
    EXPECT_EQ(host.tasks[0].inst, inst);
    EXPECT_EQ(host.tasks[0].zero, 0);
    EXPECT_EQ(host.tasks[0].sim, &host.sim);
}

TEST(Memory, ZeroSizesAnswerNullWithoutAllocating) {
    TestHost host;
    ZRT_Allocator saved = zrtAllocator();
    static int calls;
    calls = 0;
    zrtAllocator().malloc = [](size_t n) { ++calls; return std::malloc(n); };
    zrtAllocator().calloc = [](size_t c, size_t n) { ++calls; return std::calloc(c, n); };
    EXPECT_EQ(ZRT_malloc(0, &host.sim, nullptr, nullptr), nullptr);
    EXPECT_EQ(ZRT_calloc(0, 8, &host.sim, nullptr, nullptr), nullptr);
    EXPECT_EQ(ZRT_calloc(8, 0, &host.sim, nullptr, nullptr), nullptr);
    zrtAllocator() = saved;
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(host.messages.empty());
}

TEST(Memory, ReallocToZeroLeavesTheBlockValid) {
    TestHost host;
    auto* block = static_cast<char*>(ZRT_malloc(16, &host.sim, nullptr, nullptr));
    ASSERT_NE(block, nullptr);
    std::strcpy(block, "still here");
    EXPECT_EQ(ZRT_realloc(block, 0, &host.sim, nullptr, nullptr), nullptr);
    EXPECT_STREQ(block, "still here");
    block = static_cast<char*>(ZRT_realloc(block, 64, &host.sim, nullptr, nullptr));
    ASSERT_NE(block, nullptr);
    EXPECT_STREQ(block, "still here");
    ZRT_free(block);
    ZRT_free(nullptr);
    EXPECT_TRUE(host.messages.empty());
}

TEST(Memory, CallocZeroesAndStrdupCopies) {
    TestHost host;
    auto* words = static_cast<uint64_t*>(ZRT_calloc(5, sizeof(uint64_t), &host.sim, nullptr, nullptr));
    ASSERT_NE(words, nullptr);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(words[i], 0u);
    }
    ZRT_free(words);
    char* copy = ZRT_strdup("a text", &host.sim, nullptr);
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "a text");
    ZRT_free(copy);
    EXPECT_EQ(ZRT_strdup(nullptr, &host.sim, nullptr), nullptr);
}

TEST(Memory, AnImpossibleRequestReportsAndAnswersNull) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    const char* context = "ctx";
    EXPECT_EQ(ZRT_malloc(SIZE_MAX, &host.sim, inst.get(), context), nullptr);
    expectOutOfMemory(host, inst.get());

    host.clearRecords();
    EXPECT_EQ(ZRT_calloc(SIZE_MAX / 2, 16, &host.sim, inst.get(), context), nullptr);
    expectOutOfMemory(host, inst.get());

    host.clearRecords();
    void* block = ZRT_malloc(8, &host.sim, inst.get(), context);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(ZRT_realloc(block, SIZE_MAX, &host.sim, inst.get(), context), nullptr);
    expectOutOfMemory(host, inst.get());
    ZRT_free(block);  // a failed realloc leaves the old block allocated
}

TEST(Memory, WithoutAnInterfaceAFailureIsSilent) {
    TestHost host;
    EXPECT_EQ(ZRT_malloc(SIZE_MAX, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(ZRT_calloc(SIZE_MAX, SIZE_MAX, nullptr, nullptr, nullptr), nullptr);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(host.tasks.empty());
}

TEST(Memory, StrdupOnAnExhaustedHeapAnswersNull) {
    TestHost host;
    ZRT_Allocator saved = zrtAllocator();
    zrtAllocator().malloc = [](size_t) -> void* { return nullptr; };
    char* copy = ZRT_strdup("text", &host.sim, nullptr);
    zrtAllocator() = saved;
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(host.exitCount(), 1);
}

}  // namespace
