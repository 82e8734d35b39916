/* A host written in C: it registers one model module, allocates an
 * instance, fills the simulator interface and the loader with its own
 * callbacks, sets the topology up and runs both loads at one solution. The
 * C++ tests call it and check what it saw. */
#pragma once

#include "ZRT_Models.h"
#include "ZRT_Array.h" /* every host-facing header compiles as C */

ZRT_EXTERN_C_BEGIN

/* The module and the shape of its instance. */
typedef struct CHostModule {
    void (*registerModule)(s_ZRT_ModuleDesc* pMD);
    int32_t externalNodes, internalNodes, branchSlots, realParams, intParams;
    /* The language's release of an event descriptor (its info included),
     * which C cannot do. */
    void (*releaseEvent)(ZRT_EventDesc* event);
} CHostModule;

enum { C_HOST_MAX_VALUES = 64 };

/* One batch load: its values in list order. */
typedef struct CHostBatch {
    int32_t count;
    double values[C_HOST_MAX_VALUES];
} CHostBatch;

typedef struct CHostResult {
    int32_t finalized;  /* what finalizeAnalogTopology answered */
    int32_t branches;   /* CreateBranch calls */
    int32_t stamps;     /* stamp requests of every kind */
    /* The full load of the initial step, then the full and the
     * right-hand-side load of the next iteration; by slot: static and
     * dynamic residuals, static and dynamic Jacobian. */
    CHostBatch initial[4];
    CHostBatch full[4];
    CHostBatch rhs[4];
} CHostResult;

/* Runs the module's life at the solution 0.01 * (host index) for every
 * unknown; answers 0 when it ran to the end. */
int c_host_run(const CHostModule* module, CHostResult* out);

ZRT_EXTERN_C_END
