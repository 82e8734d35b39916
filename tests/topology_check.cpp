#include "tests/topology_check.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "dsl/ZRT_SupportLib.h"

namespace testhost {

namespace {

bool flagged(const std::vector<int>& positions, int k) {
    return std::find(positions.begin(), positions.end(), k) != positions.end();
}

// The loader's GetSol, recording the variables asked for.
std::vector<const s_ZRT_StateVar*> g_asked;
ZRT_GetSolFn g_getSol = nullptr;
double recordingGetSol(s_ZRT_StateVar* sv, const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst) {
    g_asked.push_back(sv);
    return g_getSol(sv, loader, inst);
}

}  // namespace

void checkTopology(const TopologyExpectation& e) {
    SCOPED_TRACE(e.model);
    TestHost host;
    ModelInstance m(host, moduleSpec(e.model));
    s_ZRT_DeviceInst* inst = m.get();
    s_ZRT_StateVar sentinel{};
    inst->internalVars[3] = &sentinel;
    int data = 0;
    const uintptr_t firstHandle = reinterpret_cast<uintptr_t>(host.newHandle()) + 1;
    m.setUp(&data);
    BlockView b = m.block();

    ASSERT_EQ(host.branches.size(), e.branches.size());
    for (size_t k = 0; k < e.branches.size(); ++k) {
        EXPECT_EQ(host.branches[k].branchName, e.branches[k]);
        EXPECT_EQ(host.branches[k].hostData, &data);
        const s_ZRT_StateVar* sv = inst->internalVars[e.firstBranchSlot + k];
        ASSERT_NE(sv, nullptr);
        ASSERT_NE(sv->branch, nullptr);
        EXPECT_EQ(sv->index, host.branches[k].index);
        EXPECT_EQ(sv->branch->branchNumber, static_cast<int32_t>(k));
    }
    EXPECT_EQ(b.branchCounter(), static_cast<int32_t>(e.branches.size()));

    ASSERT_EQ(host.topology.size(), e.report.size());
    for (size_t k = 0; k < e.report.size(); ++k) {
        EXPECT_EQ(host.topology[k].name, e.report[k]) << k;
        EXPECT_EQ(host.topology[k].hostData, &data);
    }

    const size_t total = e.rr.size() + e.rd.size() + e.jr.size() + e.jd.size();
    ASSERT_EQ(host.stamps.size(), total);
    auto handle = [&](int request) { return reinterpret_cast<ZRT_Handle>(firstHandle + request - 1); };
    struct List {
        const std::vector<int>& requests;
        const std::vector<int>& flags;
        ZRT_Handle& (BlockView::*stored)(int) const;
        StampKind kind;
        int reactive;  // Jacobian lists: the reactive flag; residual lists: -1
    };
    const List lists[] = {{e.rr, e.flagRR, &BlockView::rr, StampKind::StaticRhs, -1},
                          {e.rd, e.flagRD, &BlockView::rd, StampKind::DynamicRhs, -1},
                          {e.jr, e.flagJR, &BlockView::jr, StampKind::Jacobian, 0},
                          {e.jd, e.flagJD, &BlockView::jd, StampKind::Jacobian, 1}};
    int list = 0;
    for (const List& l : lists) {
        for (size_t k = 0; k < l.requests.size(); ++k) {
            SCOPED_TRACE("list " + std::to_string(list) + " position " + std::to_string(k));
            EXPECT_EQ((b.*l.stored)(static_cast<int>(k)), handle(l.requests[k]));
            const StampRecord& s = host.stamps[l.requests[k] - 1];
            EXPECT_EQ(s.kind, l.kind);
            EXPECT_EQ(s.hostData, &data);
            const int flag = flagged(l.flags, static_cast<int>(k)) ? 1 : 0;
            if (l.reactive < 0) {
                EXPECT_EQ(s.flag1, flag);
            } else {
                EXPECT_EQ(s.flag1, l.reactive);
                EXPECT_EQ(s.flag2, flag);
            }
            if (l.reactive == 1) {
                EXPECT_EQ(s.rowA, s.colA);
                EXPECT_EQ(s.rowB, s.colB);
            }
        }
        ++list;
    }

    ASSERT_EQ(host.noiseReports.size(), 4u);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(host.noiseReports[k].source, k);
        EXPECT_EQ(host.noiseReports[k].key, b.rr(e.noiseRR[k]));
        EXPECT_EQ(host.noiseReports[k].hostData, &data);
    }

    // Neither the host's slot 3 nor dii is read; slot 3 is in no call.
    g_asked.clear();
    g_getSol = host.loader.GetSol;
    host.loader.GetSol = recordingGetSol;
    host.isInitialStep = 1;
    inst->pMD->genericAnalogLoad(inst, &host.loader);
    inst->pMD->genericAnalogLoadRHS(inst, &host.loader);
    host.loader.GetSol = g_getSol;
    EXPECT_FALSE(g_asked.empty());
    for (const s_ZRT_StateVar* sv : g_asked) {
        EXPECT_NE(sv, &sentinel);
        EXPECT_NE(sv, inst->nodeVars[3]);
    }
    for (const StampRecord& s : host.stamps) {
        for (const s_ZRT_StateVar* sv : {s.rowA, s.rowB, s.colA, s.colB}) {
            EXPECT_NE(sv, &sentinel);
        }
    }
    for (const TopologyReport& t : host.topology) {
        EXPECT_NE(t.a, &sentinel);
        EXPECT_NE(t.b, &sentinel);
    }
}

}  // namespace testhost
