#include "tests/c_host.h"

#include <stdlib.h>
#include <string.h>

/* The host's state, reached through the loader's private word and the
 * instance. */
typedef struct CHost {
    s_ZRT_SimInterface sim;
    s_ZRT_ContribLoader loader;
    uint32_t nextIndex;
    uintptr_t nextHandle;
    CHostResult* result;
    CHostBatch* batches; /* where the present load's batches go */
    int isInitialStep;
} CHost;

static CHost* g_host;

static void createBranch(const char* instName, const char* branchName, uint32_t* outIndex, void* hostData) {
    (void)instName;
    (void)branchName;
    (void)hostData;
    *outIndex = g_host->nextIndex++;
    ++g_host->result->branches;
}

static ZRT_Handle newStamp(void) {
    ++g_host->result->stamps;
    return (ZRT_Handle)(g_host->nextHandle++);
}

static ZRT_Handle createRhsStamp(s_ZRT_StateVar* a, s_ZRT_StateVar* b, int32_t flag, s_ZRT_DeviceInst* inst,
                                 void* hostData) {
    (void)a;
    (void)b;
    (void)flag;
    (void)inst;
    (void)hostData;
    return newStamp();
}

static ZRT_Handle createJacobianStamp(s_ZRT_StateVar* rowA, s_ZRT_StateVar* rowB, s_ZRT_StateVar* colA,
                                      s_ZRT_StateVar* colB, int32_t reactive, int32_t flag, s_ZRT_DeviceInst* inst,
                                      void* hostData) {
    (void)rowA;
    (void)rowB;
    (void)colA;
    (void)colB;
    (void)reactive;
    return createRhsStamp(NULL, NULL, flag, inst, hostData);
}

static int32_t message(int32_t type, const char* text, s_ZRT_DeviceInst* inst, s_ZRT_SimInterface* sim, ...) {
    (void)type;
    (void)text;
    (void)inst;
    (void)sim;
    return 0;
}

static void record(int slot, int32_t count, const double* values) {
    CHostBatch* batch = &g_host->batches[slot];
    batch->count = count;
    for (int32_t i = 0; i < count && i < C_HOST_MAX_VALUES; ++i) {
        batch->values[i] = values[i];
    }
}

#define BATCH_LOAD(fn, slot)                                                                                     \
    static void fn(int32_t count, const ZRT_Handle* handles, const double* values,                               \
                   const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst) {                                  \
        (void)handles;                                                                                           \
        (void)loader;                                                                                            \
        (void)inst;                                                                                              \
        record(slot, count, values);                                                                             \
    }
BATCH_LOAD(loadStaticRhs, 0)
BATCH_LOAD(loadDynamicRhs, 1)
BATCH_LOAD(loadStaticJacobian, 2)
BATCH_LOAD(loadDynamicJacobian, 3)

static double getSol(s_ZRT_StateVar* sv, const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst) {
    (void)loader;
    (void)inst;
    return 0.01 * (double)sv->index;
}

static int32_t answerNo(const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst) {
    (void)loader;
    (void)inst;
    return 0;
}

static int32_t answerIsInitialStep(const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst) {
    (void)loader;
    (void)inst;
    return g_host->isInitialStep;
}

static uint32_t answerDcMask(const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst) {
    (void)loader;
    (void)inst;
    return 2;
}

static void releaseInstance(s_ZRT_DeviceInst* inst, const CHostModule* module) {
    free(inst->msgDupHashes);
    for (ZRT_StateVarNode* node = inst->stateVars; node != NULL;) {
        ZRT_StateVarNode* next = node->pNext;
        free(node->pStateVar->name);
        free(node->pStateVar->branch);
        free(node->pStateVar);
        free(node);
        node = next;
    }
    for (int k = 0; k < 4; ++k) {
        for (s_ZRT_NoiseContrib* c = inst->noiseSrcs[k].contribs; c != NULL;) {
            s_ZRT_NoiseContrib* next = c->next;
            free(c);
            c = next;
        }
    }
    free(inst->limexps[0]);
    if (inst->events[0] != NULL) {
        module->releaseEvent(inst->events[0]);
    }
}

int c_host_run(const CHostModule* module, CHostResult* out) {
    CHost host;
    memset(&host, 0, sizeof host);
    memset(out, 0, sizeof *out);
    host.nextIndex = 1;
    host.nextHandle = 0x1000;
    host.result = out;
    host.sim.CreateBranch = createBranch;
    host.sim.CreateStaticRhsStamp = createRhsStamp;
    host.sim.CreateDynamicRhsStamp = createRhsStamp;
    host.sim.CreateJacobianStamp = createJacobianStamp;
    host.sim.Message = message;
    host.loader.LoadStaticRhs = loadStaticRhs;
    host.loader.LoadDynamicRhs = loadDynamicRhs;
    host.loader.LoadStaticJacobian = loadStaticJacobian;
    host.loader.LoadDynamicJacobian = loadDynamicJacobian;
    host.loader.GetSol = getSol;
    host.loader.DoNoise = answerNo;
    host.loader.IsInitialStep = answerIsInitialStep;
    host.loader.IsFinalStep = answerNo;
    host.loader.GetAnalysisQueryMask = answerDcMask;
    g_host = &host;

    s_ZRT_ModuleDesc md;
    memset(&md, 0, sizeof md);
    md.moduleName = "c_host";
    md.numEvents = 1; /* the initial-step event; no file descriptors */
    module->registerModule(&md);

    /* The instance and its arrays; nodes are the host's own records. */
    enum { MAX_NODES = 32, MAX_PARAMS = 16 };
    s_ZRT_StateVar nodes[MAX_NODES];
    s_ZRT_StateVar* nodeVars[MAX_NODES];
    s_ZRT_StateVar* internalVars[MAX_NODES];
    double realParams[MAX_PARAMS] = {1, 50, 30, 2, 4, 2.5, 10, 25, 2.5e-4, 45, -2, 1, 1};
    int32_t intParams[MAX_PARAMS] = {1};
    ZRT_NoiseSrc noiseSrcs[4];
    ZRT_EventDesc* events[1] = {NULL};
    s_ZRT_LimexpDesc* limexps[1] = {NULL};
    const int32_t nodeCount = module->externalNodes + module->internalNodes;
    if (nodeCount > MAX_NODES || module->internalNodes + module->branchSlots > MAX_NODES ||
        module->realParams > MAX_PARAMS || module->intParams > MAX_PARAMS) {
        return 1;
    }
    memset(nodes, 0, sizeof nodes);
    memset(internalVars, 0, sizeof internalVars);
    memset(noiseSrcs, 0, sizeof noiseSrcs);
    for (int32_t k = 0; k < nodeCount; ++k) {
        nodes[k].index = host.nextIndex++;
    }
    for (int32_t k = 0; k < module->externalNodes; ++k) {
        nodeVars[k] = &nodes[k];
    }
    for (int32_t k = 0; k < module->internalNodes; ++k) {
        internalVars[k] = &nodes[module->externalNodes + k];
    }
    s_ZRT_DeviceInst inst;
    memset(&inst, 0, sizeof inst);
    inst.name = "c1";
    inst.realParams = realParams;
    inst.intParams = intParams;
    inst.nodeVars = nodeVars;
    inst.internalVars = internalVars;
    inst.noiseSrcs = noiseSrcs;
    inst.events = events;
    inst.limexps = limexps;
    inst.pMD = &md;
    inst.pSim = &host.sim;

    out->finalized = md.finalizeAnalogTopology(&inst);
    md.createBranches(&inst, NULL);
    md.createSystemStateVars(&inst, NULL);
    md.setAnalogStamp(&inst, NULL);
    md.reportTopology(&inst, NULL);
    md.doAnalogInitial(&inst);

    host.isInitialStep = 1;
    host.batches = out->initial;
    md.genericAnalogLoad(&inst, &host.loader);
    host.isInitialStep = 0;
    host.batches = out->full;
    md.genericAnalogLoad(&inst, &host.loader);
    host.batches = out->rhs;
    md.genericAnalogLoadRHS(&inst, &host.loader);

    md.destroyInst(&inst);
    releaseInstance(&inst, module);
    g_host = NULL;
    return 0;
}
