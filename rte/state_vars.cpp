#include <cstring>

#include "rte/ZRT_CommonInterface.h"

s_ZRT_StateVar* createZRT_StateVar(s_ZRT_DeviceInst* inst, uint32_t index, int32_t atHead) {
    ZRT_ASSERT(inst != nullptr);
    auto* sv = static_cast<s_ZRT_StateVar*>(ZRT_malloc(sizeof(s_ZRT_StateVar), inst->pSim, inst, nullptr));
    if (sv == nullptr) {
        return nullptr;
    }
    std::memset(sv, 0, sizeof *sv);
    sv->index = index;

    auto* node = static_cast<ZRT_StateVarNode*>(ZRT_malloc(sizeof(ZRT_StateVarNode), inst->pSim, nullptr, nullptr));
    if (node == nullptr) {
        // Off the list nobody would ever release it: no variable at all.
        ZRT_free(sv);
        return nullptr;
    }
    node->pStateVar = sv;
    node->pNext = nullptr;
    if (atHead != 0) {
        node->pNext = inst->stateVars;
        inst->stateVars = node;
    } else {
        ZRT_StateVarNode** link = &inst->stateVars;
        while (*link != nullptr) {
            link = &(*link)->pNext;
        }
        *link = node;
    }
    return sv;
}

static s_ZRT_StateVar* findStateVar(const s_ZRT_DeviceInst* inst, uint32_t index) {
    for (const ZRT_StateVarNode* node = inst->stateVars; node != nullptr; node = node->pNext) {
        if (node->pStateVar->index == index) {
            return node->pStateVar;
        }
    }
    return nullptr;
}

s_ZRT_StateVar* ZRT_GetStateVar(s_ZRT_DeviceInst* inst, uint32_t index) {
    ZRT_ASSERT(inst != nullptr);
    s_ZRT_StateVar* sv = findStateVar(inst, index);
    return sv != nullptr ? sv : createZRT_StateVar(inst, index, 1);
}

int32_t ZRT_svPosMatch(const s_ZRT_StateVar* a, const s_ZRT_StateVar* b) {
    if (a == nullptr || b == nullptr) {
        return a == b ? 1 : 0;
    }
    return a->index == b->index ? 1 : 0;
}

s_ZRT_StateVar* findDuplicateBranch(const char* name, int32_t unnamed, ZRT_BranchTypeE,
                                    const s_ZRT_StateVar* pos, const s_ZRT_StateVar* neg, s_ZRT_DeviceInst* inst) {
    ZRT_ASSERT(inst != nullptr);
    if (name == nullptr) {
        name = "";
    }
    const uint8_t unnamedBit = unnamed != 0 ? ZRT_BRANCH_UNNAMED : 0;
    for (const ZRT_StateVarNode* node = inst->stateVars; node != nullptr; node = node->pNext) {
        const ZRT_BranchInfo* branch = node->pStateVar->branch;
        if (branch == nullptr || (branch->flags & ZRT_BRANCH_UNNAMED) != unnamedBit ||
            !ZRT_svPosMatch(pos, branch->pos) || !ZRT_svPosMatch(neg, branch->neg)) {
            continue;
        }
        if (unnamed != 0 || std::strcmp(name, branch->name) == 0) {
            return node->pStateVar;
        }
    }
    return nullptr;
}

// The index of a branch made on a probe node, which the host does not number:
// the highest index that no state variable of the instance holds, counting
// down from 0xFFFFFFFF, so that two such branches never coincide.
static uint32_t probeBranchIndex(const s_ZRT_DeviceInst* inst) {
    uint32_t index = 0xFFFFFFFFu;
    while (findStateVar(inst, index) != nullptr) {
        --index;
    }
    return index;
}

s_ZRT_StateVar* ZRT_CreateBranchStateVar(const char* name, ZRT_BranchTypeE type, s_ZRT_StateVar* pos,
                                         s_ZRT_StateVar* neg, s_ZRT_DeviceInst* inst, void* hostData) {
    ZRT_ASSERT(inst != nullptr);
    if (name == nullptr) {
        name = "";
    }
    const int32_t unnamed = std::strncmp(name, "_ub", 3) == 0 ? 1 : 0;

    s_ZRT_StateVar* sv = findDuplicateBranch(name, unnamed, type, pos, neg, inst);
    if (sv != nullptr) {
        ++sv->branch->useCount;
        return sv;
    }

    const bool onProbe = ZRT_StateVarIsProbe(pos) || ZRT_StateVarIsProbe(neg);
    if (onProbe) {
        sv = createZRT_StateVar(inst, probeBranchIndex(inst), 1);
        if (sv != nullptr) {
            sv->flags |= ZRT_SV_PROBE;
        }
    } else {
        s_ZRT_SimInterface* sim = inst->pSim;
        ZRT_ASSERT(sim != nullptr && sim->CreateBranch != nullptr);
        uint32_t index = 0;
        sim->CreateBranch(inst->name, name, &index, hostData);
        sv = ZRT_GetStateVar(inst, index);
    }
    if (sv == nullptr) {
        return nullptr;
    }
    sv->flags |= ZRT_SV_BRANCH;
    if (sv->name == nullptr && ZRT_KeepStateVarName(inst->pSim) != 0) {
        sv->name = strdup(name);
    }

    auto* branch = static_cast<ZRT_BranchInfo*>(ZRT_malloc(sizeof(ZRT_BranchInfo), inst->pSim, inst, nullptr));
    sv->branch = branch;  // a variable taken over loses its old record, even on failure
    if (branch != nullptr) {
        branch->name = name;
        branch->pos = pos;
        branch->neg = neg;
        branch->useCount = 1;
        branch->branchNumber = -1;
        branch->hostData = hostData;
        branch->flags = unnamed != 0 ? ZRT_BRANCH_UNNAMED : 0;
        branch->branchType = type;
    }
    return sv;
}

uint32_t ZRT_KeepStateVarName(const s_ZRT_SimInterface* sim) { return sim != nullptr ? sim->keepStateVarNames : 0; }

const char* ZRT_GetHierName(const s_ZRT_DeviceInst* inst) { return inst != nullptr ? inst->name : nullptr; }

int32_t ZRT_DeviceNumOfBranches(const s_ZRT_DeviceInst* inst) {
    if (inst == nullptr) {
        return 0;
    }
    int32_t count = 0;
    for (const ZRT_StateVarNode* node = inst->stateVars; node != nullptr; node = node->pNext) {
        count += node->pStateVar->branch != nullptr ? 1 : 0;
    }
    return count;
}

static int32_t hasFlag(const s_ZRT_StateVar* sv, uint32_t bit) {
    return sv != nullptr && (sv->flags & bit) != 0 ? 1 : 0;
}

int32_t ZRT_StateVarIsStructural(const s_ZRT_StateVar* sv) { return hasFlag(sv, ZRT_SV_STRUCTURAL); }
int32_t ZRT_StateVarIsAnalogUser(const s_ZRT_StateVar* sv) { return hasFlag(sv, ZRT_SV_ANALOG_USER); }
int32_t ZRT_StateVarIsAnalogSystem(const s_ZRT_StateVar* sv) { return hasFlag(sv, ZRT_SV_ANALOG_SYSTEM); }
int32_t ZRT_StateVarIsBranch(const s_ZRT_StateVar* sv) { return hasFlag(sv, ZRT_SV_BRANCH); }
int32_t ZRT_StateVarIsIsolated(const s_ZRT_StateVar* sv) { return hasFlag(sv, ZRT_SV_ISOLATED); }
int32_t ZRT_StateVarIsIndepSource(const s_ZRT_StateVar* sv) { return hasFlag(sv, ZRT_SV_INDEP_SOURCE); }
int32_t ZRT_StateVarIsPort(const s_ZRT_StateVar* sv) { return hasFlag(sv, ZRT_SV_PORT); }
int32_t ZRT_StateVarIsProbe(const s_ZRT_StateVar* sv) { return hasFlag(sv, ZRT_SV_PROBE); }
