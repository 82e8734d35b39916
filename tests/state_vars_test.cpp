// State variables and branches: the instance's list, branch reuse by unnamed
// mark, ordered node pair and name, probe branches, kept names and the paths
// after an exhausted heap.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "rte/ZRT_CommonInterface.h"
#include "tests/test_host.h"

namespace {

using testhost::LimitedHeap;
using testhost::TestHost;
using testhost::TestInstance;

// A branch request as the modules make it: default type, no host data.
s_ZRT_StateVar* request(TestInstance& inst, const char* name, s_ZRT_StateVar* pos, s_ZRT_StateVar* neg) {
    return ZRT_CreateBranchStateVar(name, ZRT_BRANCH_DEFAULT, pos, neg, inst.get(), nullptr);
}

TestInstance::Shape threeNodes() {
    TestInstance::Shape shape;
    shape.externalNodes = 3;
    return shape;
}

TEST(StateVarList, NewVariablesGoToTheHeadOrTheTailAndLookupFindsTheNewest) {
    TestHost host;
    TestInstance inst(host, nullptr, {});
    s_ZRT_StateVar* a = createZRT_StateVar(inst.get(), 7, 1);
    s_ZRT_StateVar* b = createZRT_StateVar(inst.get(), 8, 0);
    s_ZRT_StateVar* c = createZRT_StateVar(inst.get(), 7, 1);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->index, 7u);
    EXPECT_EQ(a->flags, 0u);
    EXPECT_EQ(a->name, nullptr);
    EXPECT_EQ(a->branch, nullptr);

    // c, a, b
    ZRT_StateVarNode* node = inst->stateVars;
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->pStateVar, c);
    EXPECT_EQ(node->pNext->pStateVar, a);
    EXPECT_EQ(node->pNext->pNext->pStateVar, b);
    EXPECT_EQ(node->pNext->pNext->pNext, nullptr);

    EXPECT_EQ(ZRT_GetStateVar(inst.get(), 7), c);
    EXPECT_EQ(ZRT_GetStateVar(inst.get(), 8), b);
    s_ZRT_StateVar* d = ZRT_GetStateVar(inst.get(), 9);
    EXPECT_EQ(inst->stateVars->pStateVar, d);
    EXPECT_EQ(d->index, 9u);
    EXPECT_EQ(ZRT_DeviceNumOfBranches(inst.get()), 0);
    EXPECT_TRUE(host.messages.empty());
}

TEST(StateVarList, PositionsMatchByHostIndex) {
    s_ZRT_StateVar a{}, b{}, c{};
    a.index = 3;
    b.index = 3;
    c.index = 5;
    EXPECT_EQ(ZRT_svPosMatch(nullptr, nullptr), 1);
    EXPECT_EQ(ZRT_svPosMatch(&a, nullptr), 0);
    EXPECT_EQ(ZRT_svPosMatch(nullptr, &a), 0);
    EXPECT_EQ(ZRT_svPosMatch(&a, &b), 1);
    EXPECT_EQ(ZRT_svPosMatch(&a, &c), 0);
}

TEST(Branch, ANamedBranchIsCreatedOnceAndCountsItsUses) {
    TestHost host;
    TestInstance inst(host, nullptr, threeNodes(), "x7");
    s_ZRT_StateVar* n3 = inst.nodeVars[0];
    s_ZRT_StateVar* n5 = inst.nodeVars[1];
    int hostData = 0;
    const char* name = "b35";

    s_ZRT_StateVar* first = ZRT_CreateBranchStateVar(name, ZRT_BRANCH_DEFAULT, n3, n5, inst.get(), &hostData);
    s_ZRT_StateVar* second = request(inst, "b35", n3, n5);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(second, first);
    ASSERT_EQ(host.branches.size(), 1u);
    EXPECT_EQ(host.branches[0].instName, "x7");
    EXPECT_EQ(host.branches[0].branchName, "b35");
    EXPECT_EQ(host.branches[0].hostData, &hostData);

    EXPECT_EQ(first->index, host.branches[0].index);
    EXPECT_EQ(first->flags, uint32_t{ZRT_SV_BRANCH});
    EXPECT_EQ(first->name, nullptr);  // names are not kept by default
    const ZRT_BranchInfo* branch = first->branch;
    ASSERT_NE(branch, nullptr);
    EXPECT_EQ(branch->name, name);  // the caller's pointer
    EXPECT_EQ(branch->pos, n3);
    EXPECT_EQ(branch->neg, n5);
    EXPECT_EQ(branch->useCount, 2);
    EXPECT_EQ(branch->branchNumber, -1);
    EXPECT_EQ(branch->hostData, &hostData);  // the first request's
    EXPECT_EQ(branch->flags, 0);
    EXPECT_EQ(inst->stateVars->pStateVar, first);
    EXPECT_EQ(ZRT_DeviceNumOfBranches(inst.get()), 1);
    EXPECT_EQ(ZRT_GetHierName(inst.get()), inst->name);
}

TEST(Branch, UnnamedBranchesMatchWhateverTheirNamesButNotNamedOnes) {
    TestHost host;
    TestInstance inst(host, nullptr, threeNodes());
    s_ZRT_StateVar* a = inst.nodeVars[0];
    s_ZRT_StateVar* b = inst.nodeVars[1];

    s_ZRT_StateVar* u1 = request(inst, "_ub_a_b_i", a, b);
    s_ZRT_StateVar* u2 = request(inst, "_ub_other", a, b);
    EXPECT_EQ(u2, u1);
    EXPECT_EQ(u1->branch->useCount, 2);
    EXPECT_EQ(u1->branch->flags, ZRT_BRANCH_UNNAMED);
    EXPECT_STREQ(u1->branch->name, "_ub_a_b_i");  // the first name stays

    // "_u" alone and a name with the mark further in are named.
    s_ZRT_StateVar* n1 = request(inst, "_u", a, b);
    s_ZRT_StateVar* n2 = request(inst, "x_ub", a, b);
    EXPECT_NE(n1, u1);
    EXPECT_NE(n2, u1);
    EXPECT_NE(n1, n2);
    EXPECT_EQ(n1->branch->flags, 0);
    EXPECT_EQ(host.branches.size(), 3u);
    EXPECT_EQ(ZRT_DeviceNumOfBranches(inst.get()), 3);
}

TEST(Branch, TheNodePairIsOrderedAndGroundMatchesGroundOnly) {
    TestHost host;
    TestInstance inst(host, nullptr, threeNodes());
    s_ZRT_StateVar* a = inst.nodeVars[0];
    s_ZRT_StateVar* b = inst.nodeVars[1];

    s_ZRT_StateVar* ab = request(inst, "_ub1", a, b);
    s_ZRT_StateVar* ba = request(inst, "_ub1", b, a);
    EXPECT_NE(ba, ab);
    s_ZRT_StateVar* aGround = request(inst, "_ub1", a, nullptr);
    EXPECT_NE(aGround, ab);
    EXPECT_EQ(request(inst, "_ub2", a, nullptr), aGround);
    EXPECT_EQ(aGround->branch->useCount, 2);
    EXPECT_EQ(aGround->branch->neg, nullptr);
    // No nodes at all, as an operator's branch has.
    s_ZRT_StateVar* none = request(inst, "op1", nullptr, nullptr);
    EXPECT_EQ(request(inst, "op1", nullptr, nullptr), none);
    EXPECT_EQ(ab->branch->useCount, 1);
    EXPECT_EQ(ba->branch->useCount, 1);
    EXPECT_EQ(host.branches.size(), 4u);
}

TEST(Branch, NodesMatchByIndexAndAReusedBranchKeepsItsFirstType) {
    TestHost host;
    TestInstance inst(host, nullptr, threeNodes());
    s_ZRT_StateVar* a = inst.nodeVars[0];
    s_ZRT_StateVar* b = inst.nodeVars[1];
    s_ZRT_StateVar aAgain = *a;  // another record of the same unknown

    const auto otherType = static_cast<ZRT_BranchTypeE>(3);
    s_ZRT_StateVar* first = ZRT_CreateBranchStateVar("br", otherType, a, b, inst.get(), nullptr);
    s_ZRT_StateVar* second = request(inst, "br", &aAgain, b);
    EXPECT_EQ(second, first);
    EXPECT_EQ(first->branch->branchType, 3u);
    EXPECT_EQ(first->branch->pos, a);
    EXPECT_EQ(first->branch->useCount, 2);
}

TEST(Branch, KeptNamesArePrivateCopiesOfTheFirstName) {
    TestHost host;
    host.sim.keepStateVarNames = 1;
    TestInstance inst(host, nullptr, threeNodes());
    EXPECT_EQ(ZRT_KeepStateVarName(&host.sim), 1u);
    const char* name = "_ub_first";
    s_ZRT_StateVar* sv = request(inst, name, inst.nodeVars[0], inst.nodeVars[1]);
    request(inst, "_ub_second", inst.nodeVars[0], inst.nodeVars[1]);
    ASSERT_NE(sv->name, nullptr);
    EXPECT_NE(sv->name, name);
    EXPECT_STREQ(sv->name, "_ub_first");

    host.sim.keepStateVarNames = 0;
    EXPECT_EQ(ZRT_KeepStateVarName(&host.sim), 0u);
    s_ZRT_StateVar* unkept = request(inst, "plain", inst.nodeVars[0], nullptr);
    EXPECT_EQ(unkept->name, nullptr);
}

TEST(Branch, ABranchOnAProbeNodeHasAnIndexOfItsOwnAndAsksNoHost) {
    TestHost host;
    TestInstance inst(host, nullptr, threeNodes());
    s_ZRT_StateVar* probe = inst.nodeVars[0];
    probe->flags |= ZRT_SV_PROBE;
    s_ZRT_StateVar* n = inst.nodeVars[1];

    s_ZRT_StateVar* p1 = request(inst, "p1", n, probe);
    s_ZRT_StateVar* p2 = request(inst, "p2", probe, nullptr);
    EXPECT_TRUE(host.branches.empty());
    EXPECT_EQ(p1->index, 0xFFFFFFFFu);
    EXPECT_EQ(p2->index, 0xFFFFFFFEu);
    EXPECT_EQ(p1->flags, uint32_t{ZRT_SV_PROBE | ZRT_SV_BRANCH});
    EXPECT_EQ(ZRT_StateVarIsProbe(p2), 1);
    EXPECT_EQ(p2->branch->useCount, 1);
    EXPECT_EQ(request(inst, "p1", n, probe), p1);
    EXPECT_EQ(p1->branch->useCount, 2);
    // Probe branches stay apart from each other, whatever else is listed.
    createZRT_StateVar(inst.get(), 0xFFFFFFFDu, 1);
    s_ZRT_StateVar* p3 = request(inst, "p3", probe, n);
    EXPECT_EQ(p3->index, 0xFFFFFFFCu);
}

TEST(Branch, AnIndexTheListAlreadyHoldsTakesThatVariableOver) {
    TestHost host;
    TestInstance inst(host, nullptr, threeNodes());
    s_ZRT_StateVar* system = createZRT_StateVar(inst.get(), 500, 1);
    system->flags = ZRT_SV_ANALOG_SYSTEM;
    host.branchIndexAnswers = {500};

    s_ZRT_StateVar* sv = request(inst, "b", inst.nodeVars[0], inst.nodeVars[1]);
    EXPECT_EQ(sv, system);
    EXPECT_EQ(sv->flags, uint32_t{ZRT_SV_ANALOG_SYSTEM | ZRT_SV_BRANCH});
    ZRT_BranchInfo* old = sv->branch;
    ASSERT_NE(old, nullptr);

    // A second branch that the host numbers the same replaces the record.
    host.branchIndexAnswers = {500};
    s_ZRT_StateVar* again = request(inst, "c", inst.nodeVars[1], inst.nodeVars[2]);
    EXPECT_EQ(again, system);
    EXPECT_NE(again->branch, old);
    EXPECT_STREQ(again->branch->name, "c");
    EXPECT_EQ(again->branch->pos, inst.nodeVars[1]);
    EXPECT_EQ(again->branch->useCount, 1);
    std::free(old);
    EXPECT_EQ(ZRT_DeviceNumOfBranches(inst.get()), 1);
}

TEST(Branch, CountsBranchesAmongTheListedVariables) {
    TestHost host;
    TestInstance inst(host, nullptr, threeNodes());
    EXPECT_EQ(ZRT_DeviceNumOfBranches(inst.get()), 0);
    EXPECT_EQ(ZRT_DeviceNumOfBranches(nullptr), 0);
    createZRT_StateVar(inst.get(), 100, 1);
    createZRT_StateVar(inst.get(), 101, 0);
    request(inst, "_ub", inst.nodeVars[0], inst.nodeVars[1]);
    request(inst, "_ub", inst.nodeVars[1], inst.nodeVars[2]);
    request(inst, "_ub", inst.nodeVars[1], inst.nodeVars[2]);
    request(inst, "named", inst.nodeVars[2], nullptr);
    EXPECT_EQ(ZRT_DeviceNumOfBranches(inst.get()), 3);
}

TEST(StateVarFlags, EachTestReadsItsOwnBitAndNullIsClear) {
    using Test = int32_t (*)(const s_ZRT_StateVar*);
    const Test tests[] = {ZRT_StateVarIsStructural, ZRT_StateVarIsAnalogUser, ZRT_StateVarIsAnalogSystem,
                          ZRT_StateVarIsBranch,     ZRT_StateVarIsIsolated,   ZRT_StateVarIsIndepSource,
                          ZRT_StateVarIsPort,       ZRT_StateVarIsProbe};
    for (uint32_t bit = 0; bit < 8; ++bit) {
        s_ZRT_StateVar sv{};
        sv.flags = (1u << bit) | 0xFF00u;
        for (uint32_t t = 0; t < 8; ++t) {
            EXPECT_EQ(tests[t](&sv), t == bit ? 1 : 0) << "bit " << bit << ", test " << t;
        }
        EXPECT_EQ(tests[bit](nullptr), 0);
    }
}

TEST(BranchOutOfMemory, NoVariableAnswersNullAfterTheHostsExit) {
    TestHost host;
    TestInstance inst(host, nullptr, threeNodes());
    {
        LimitedHeap heap(0);
        EXPECT_EQ(request(inst, "b", inst.nodeVars[0], inst.nodeVars[1]), nullptr);
        EXPECT_EQ(createZRT_StateVar(inst.get(), 9, 1), nullptr);
        EXPECT_EQ(ZRT_GetStateVar(inst.get(), 9), nullptr);
    }
    EXPECT_EQ(inst->stateVars, nullptr);
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages[0].text, "Out of memory.");
    EXPECT_EQ(host.messages[0].inst, inst.get());
    EXPECT_EQ(host.exitCount(), 3);
}

// Off the list no one would ever release the variable: none is answered.
TEST(BranchOutOfMemory, AVariableWithoutAListNodeIsNotAnswered) {
    TestHost host;
    TestInstance inst(host, nullptr, threeNodes());
    s_ZRT_StateVar* sv = nullptr;
    {
        LimitedHeap heap(1);
        sv = createZRT_StateVar(inst.get(), 9, 1);
    }
    EXPECT_EQ(sv, nullptr);
    EXPECT_EQ(inst->stateVars, nullptr);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].inst, nullptr);  // the list node reports without an instance
}

TEST(BranchOutOfMemory, AVariableWithoutABranchRecordIsNeverReused) {
    TestHost host;
    TestInstance inst(host, nullptr, threeNodes());
    s_ZRT_StateVar* sv = nullptr;
    {
        LimitedHeap heap(2);  // the variable and its list node, not the record
        sv = request(inst, "b", inst.nodeVars[0], inst.nodeVars[1]);
    }
    ASSERT_NE(sv, nullptr);
    EXPECT_EQ(sv->branch, nullptr);
    EXPECT_EQ(host.exitCount(), 1);
    EXPECT_EQ(ZRT_DeviceNumOfBranches(inst.get()), 0);
    s_ZRT_StateVar* retry = request(inst, "b", inst.nodeVars[0], inst.nodeVars[1]);
    EXPECT_NE(retry, sv);
    ASSERT_NE(retry->branch, nullptr);
    EXPECT_EQ(retry->branch->useCount, 1);
}

}  // namespace
