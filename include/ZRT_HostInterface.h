// Records through which a host circuit simulator and the model library talk.
//
// A host writer includes this header to allocate and fill the device instance,
// the simulator interface, the contribution loader, the mixed-signal loader and
// the head of each module descriptor. Every record is a plain sequence of
// 64-bit words; the word positions are part of the interface, including the
// host's own words, which the library never reads or writes. Each field's
// offset is pinned below so that a layout change cannot go unnoticed.
//
// Integer widths are fixed (int32_t, uint32_t, uint64_t): `long` is 64 bits on
// Linux and 32 bits on Windows, so it appears nowhere in these records.
#pragma once

#include "ZRT_CCompat.h"

#include <stddef.h>
#include <stdint.h>

typedef struct s_ZRT_DeviceInst s_ZRT_DeviceInst;
typedef struct s_ZRT_SimInterface s_ZRT_SimInterface;
typedef struct s_ZRT_ContribLoader s_ZRT_ContribLoader;
typedef struct ZRT_AMS_Loader ZRT_AMS_Loader;
typedef struct s_ZRT_ModuleDesc s_ZRT_ModuleDesc;
typedef struct s_ZRT_StateVar s_ZRT_StateVar;
typedef struct s_ZRT_DeviceState s_ZRT_DeviceState;
typedef struct ZRT_EventDesc ZRT_EventDesc;
typedef struct ZRT_NoiseSrc ZRT_NoiseSrc;
typedef struct s_ZRT_LimexpDesc s_ZRT_LimexpDesc;
typedef struct ZRT_FileDesc ZRT_FileDesc;
typedef struct ZRT_TimeControlData ZRT_TimeControlData;
typedef struct ZRT_TerminateRequest ZRT_TerminateRequest;
typedef struct ZRT_GenericOperatorState ZRT_GenericOperatorState;

// A host handle for one residual, Jacobian, delay or doublet entry. The host
// answers it from a stamp request and receives it back in the batch loads.
typedef void* ZRT_Handle;

// Message types passed to the host's Message slot.
ZRT_ENUM(ZRT_MessageTypeE, int32_t) {
    ZRT_MSG_WARNING = 1,
    ZRT_MSG_ERROR = 2,
};

// Selectors of the loader's GetDefault slot that the runtime asks for.
ZRT_ENUM(ZRT_DefaultTypeE, int32_t) {
    ZRT_DEFAULT_DDT_SCALE = 5,
    ZRT_DEFAULT_IDT = 7,
    ZRT_DEFAULT_MIN_DENOMINATOR = 11,
    ZRT_DEFAULT_MAX_NUMERATOR = 12,
    ZRT_DEFAULT_ZERO_DENOMINATOR = 13,
    ZRT_DEFAULT_MAX_VALUE = 14,
};

// How two numbers select a bit range of an integer element.
ZRT_ENUM(RangeTypeE, int32_t) {
    NO_RANGE = 0,
    MIN_MAX_RANGE = 1,
    WIDTH_UP_RANGE = 2,
    WIDTH_DOWN_RANGE = 3,
};

// Four-valued logic value handed over by the mixed-signal table (16 bytes).
typedef struct ZRT_LogicValue ZRT_LogicValue;
struct ZRT_LogicValue {
    int32_t width;
    uint32_t value;
    uint32_t unknown;
    uint32_t reserved;
};
static_assert(sizeof(ZRT_LogicValue) == 16, "logic value is four 32-bit words");

// Bits of s_ZRT_StateVar.flags.
ZRT_ENUM(ZRT_StateVarFlags, uint32_t) {
    ZRT_SV_STRUCTURAL = 0x01,
    ZRT_SV_ANALOG_USER = 0x02,
    ZRT_SV_ANALOG_SYSTEM = 0x04,
    ZRT_SV_BRANCH = 0x08,
    ZRT_SV_ISOLATED = 0x10,
    ZRT_SV_INDEP_SOURCE = 0x20,
    ZRT_SV_PORT = 0x40,
    ZRT_SV_PROBE = 0x80,
};

// Kind of a branch; stored with the branch and never compared. Every module
// and operator asks for ZRT_BRANCH_DEFAULT.
ZRT_ENUM(ZRT_BranchTypeE, uint32_t) {
    ZRT_BRANCH_DEFAULT = 0,
};

// Bits of ZRT_BranchInfo.flags.
ZRT_ENUM(ZRT_BranchFlags, uint8_t) {
    ZRT_BRANCH_UNNAMED = 0x01,  // the name begins with "_ub"
};

// A state variable: node potential, branch flow or internal unknown.
typedef struct ZRT_BranchInfo ZRT_BranchInfo;
struct s_ZRT_StateVar {
    void* reserved0;
    char* name;             // null unless the host asked for kept names
    uint32_t index;         // the host's index of the unknown
    uint32_t flags;         // ZRT_StateVarFlags bits
    void* reserved1;
    void* reserved2;
    ZRT_BranchInfo* branch; // null for a state variable that is no branch
};

// Branch record of a branch state variable.
struct ZRT_BranchInfo {
    const char* name;      // the requester's text, kept as given
    s_ZRT_StateVar* pos;   // positive node
    s_ZRT_StateVar* neg;   // negative node, null for ground
    int32_t useCount;      // 1 at creation, one more per reuse
    int32_t branchNumber;  // -1 at creation
    void* hostData;        // host-data word of the creating request
    uint8_t flags;         // bit 0: unnamed
    uint32_t branchType;   // stored, never compared
};

// Node of the instance's singly linked state-variable list.
typedef struct ZRT_StateVarNode ZRT_StateVarNode;
struct ZRT_StateVarNode {
    s_ZRT_StateVar* pStateVar;
    ZRT_StateVarNode* pNext;
};

// Pair of state variables handed to the host's cross-event signal.
typedef struct ZRT_StateVarPair ZRT_StateVarPair;
struct ZRT_StateVarPair {
    s_ZRT_StateVar* pos;
    s_ZRT_StateVar* neg;
};

// ---------------------------------------------------------------------------
// Device instance: allocated, filled and freed by the host. The library writes
// only stateVars, flags, the three message-table fields, pTerminate and
// pSerializer; the host hands them over zero.
struct s_ZRT_DeviceInst {
    const char* name;                  //  1 hierarchical instance name
    void* host2[2];                    //  2-3
    double* realParams;                //  4 element 0 is the multiplicity
    int32_t* intParams;                //  5
    void* host6[5];                    //  6-10
    ZRT_StateVarNode* stateVars;       // 11 head of the state-variable list
    void* host12[2];                   // 12-13
    s_ZRT_StateVar** nodeVars;         // 14 first node array
    int32_t* nodeVectorBounds;         // 15 rows of four 32-bit words
    s_ZRT_StateVar** internalVars;     // 16 second node array, branches behind
    uint8_t flags;                     // 17 bit 0 memory reset, bit 1 operator made
    uint8_t flagsPad[7];
    ZRT_NoiseSrc* noiseSrcs;           // 18 one record per noise source
    void* host19;                      // 19
    ZRT_EventDesc** events;            // 20 initial-step event first
    s_ZRT_LimexpDesc** limexps;        // 21
    ZRT_FileDesc** fileDescs;          // 22
    void* host23[2];                   // 23-24
    s_ZRT_ModuleDesc* pMD;             // 25
    s_ZRT_SimInterface* pSim;          // 26
    void* pModuleData;                 // 27 private block; first word is its clone function
    ZRT_TimeControlData* pTimeControl; // 28 may be null
    ZRT_TerminateRequest* pTerminate;  // 29 may be null; made on first request
    void* host30[2];                   // 30-31
    uint64_t msgDupCount;              // 32
    uint64_t msgDupCapacity;           // 33
    uint64_t* msgDupHashes;            // 34 hashes of warnings already forwarded
    void* host35[5];                   // 35-39
    void* pSerializer;                 // 40 outstanding save or restore stream
};

ZRT_ENUM(ZRT_InstFlagBits, uint8_t) {
    ZRT_INST_MEMORY_RESET = 0x01,
    ZRT_INST_HAS_OPERATOR = 0x02,
};

// ---------------------------------------------------------------------------
// Simulator interface callbacks, in slot order.
typedef void (*ZRT_CreateSystemStateVarFn)(const char* instName, const char* varName, uint32_t* outIndex,
                                           int32_t two, void* nodalInfo, void* hostData);
typedef void (*ZRT_CreateBranchFn)(const char* instName, const char* branchName, uint32_t* outIndex,
                                   void* hostData);
typedef ZRT_Handle (*ZRT_CreateRhsStampFn)(s_ZRT_StateVar* a, s_ZRT_StateVar* b, int32_t flag,
                                           s_ZRT_DeviceInst* inst, void* hostData);
typedef ZRT_Handle (*ZRT_CreateDelayStampFn)(s_ZRT_StateVar* sv, int32_t kind, int32_t one,
                                             s_ZRT_DeviceInst* inst, void* hostData);
typedef int32_t (*ZRT_ReportNoiseContribFn)(int32_t sourceIndex, ZRT_Handle key, s_ZRT_DeviceInst* inst,
                                            void* hostData);
typedef ZRT_Handle (*ZRT_CreateDerivDoubletFn)(s_ZRT_StateVar* row, s_ZRT_StateVar* col, s_ZRT_StateVar* col2,
                                               int32_t code, int32_t flag, s_ZRT_DeviceInst* inst,
                                               void* hostData);
typedef ZRT_Handle (*ZRT_CreateJacobianStampFn)(s_ZRT_StateVar* rowA, s_ZRT_StateVar* rowB,
                                                s_ZRT_StateVar* colA, s_ZRT_StateVar* colB, int32_t reactive,
                                                int32_t flag, s_ZRT_DeviceInst* inst, void* hostData);
typedef uint32_t (*ZRT_FormAnalysisQueryMaskFn)(s_ZRT_SimInterface* sim, int32_t count, ...);
// Type, text, instance or null, interface, then (from ZRT_Message) the text
// again followed by its values. ZRT_WriteMsg passes only the first four.
typedef int32_t (*ZRT_MessageFn)(int32_t type, const char* text, s_ZRT_DeviceInst* inst,
                                 s_ZRT_SimInterface* sim, ...);
typedef void (*ZRT_ReportLimitCorrectionFn)(s_ZRT_DeviceInst* inst, s_ZRT_SimInterface* sim);
typedef ZRT_GenericOperatorState* (*ZRT_CreateDelaySpecFn)(s_ZRT_SimInterface* sim);
typedef ZRT_GenericOperatorState* (*ZRT_CopyDelaySpecFn)(ZRT_GenericOperatorState* state);
typedef ZRT_EventDesc* (*ZRT_CreateCrossEventFn)(s_ZRT_DeviceInst* inst, s_ZRT_SimInterface* sim, ...);
typedef void (*ZRT_ResetCrossEventFn)(ZRT_EventDesc* event);
typedef void* (*ZRT_SaveCrossEventFn)(ZRT_EventDesc* event);
typedef void (*ZRT_RestoreCrossEventFn)(ZRT_EventDesc* event, void* savedState);
typedef uint32_t (*ZRT_CreateRandomDescFn)(s_ZRT_SimInterface* sim);
typedef int32_t (*ZRT_SystemTaskFn)(const char* task, int32_t value, s_ZRT_DeviceInst* inst, int32_t zero,
                                    s_ZRT_SimInterface* sim);
typedef int32_t (*ZRT_FileOpenFn)(const char* name, const char* mode, void** out1, void** out2, int32_t flag,
                                  s_ZRT_DeviceInst* inst, s_ZRT_SimInterface* sim);
typedef void (*ZRT_FileCloseFn)(int32_t desc, s_ZRT_DeviceInst* inst, s_ZRT_SimInterface* sim);
typedef void (*ZRT_FileWriteFn)(int32_t desc, const char* text, s_ZRT_DeviceInst* inst, s_ZRT_SimInterface* sim);
typedef int32_t (*ZRT_FileScanFn)(int32_t desc, const char* format, void* dest, s_ZRT_DeviceInst* inst,
                                  s_ZRT_SimInterface* sim);
typedef void (*ZRT_FileFlushFn)(int32_t desc, s_ZRT_DeviceInst* inst, s_ZRT_SimInterface* sim);
typedef void (*ZRT_FileSeekFn)(void* handle, uint32_t position, s_ZRT_DeviceInst* inst, s_ZRT_SimInterface* sim);
typedef uint32_t (*ZRT_FileTellFn)(void* handle, s_ZRT_DeviceInst* inst, s_ZRT_SimInterface* sim);
typedef int32_t (*ZRT_FileEofFn)(int32_t desc, s_ZRT_DeviceInst* inst, s_ZRT_SimInterface* sim);
typedef int32_t (*ZRT_FileErrorFn)(int32_t desc, char* messageText, s_ZRT_DeviceInst* inst,
                                   s_ZRT_SimInterface* sim);
typedef void (*ZRT_MathCheckFn)(int32_t code, s_ZRT_DeviceInst* inst, int32_t line, const void* word,
                                const s_ZRT_ContribLoader* loader);
typedef void (*ZRT_ReportTopologyFn)(s_ZRT_StateVar* a, s_ZRT_StateVar* b, int32_t kind, const char* branchName,
                                     s_ZRT_DeviceInst* inst, void* hostData);

// Simulator-parameter entry: found by exact name; the callback answers the
// parameter's value, or the given default.
typedef double (*ZRT_SimParamFn)(s_ZRT_DeviceInst* inst, double defaultValue);
typedef struct ZRT_SimParamEntry ZRT_SimParamEntry;
struct ZRT_SimParamEntry {
    const char* name;
    ZRT_SimParamFn fn;
};

// Limiter entry; the function answers non-zero when it limited.
typedef int32_t (*ZRT_LimitFn)(s_ZRT_DeviceInst* inst, double newValue, double prevValue, double* limited,
                               double* args);
typedef struct ZRT_LimitFuncEntry ZRT_LimitFuncEntry;
struct ZRT_LimitFuncEntry {
    const char* name;
    int32_t numArgs;
    ZRT_LimitFn fn;
};

// Linear-algebra table: an eigenvalue routine with LAPACK dgeev's arguments.
typedef void (*ZRT_EigenFn)(const char* jobvl, const char* jobvr, const int32_t* n, double* a, const int32_t* lda,
                            double* wr, double* wi, double* vl, const int32_t* ldvl, double* vr,
                            const int32_t* ldvr, double* work, const int32_t* lwork, int32_t* info);
typedef struct ZRT_LinAlgTable ZRT_LinAlgTable;
struct ZRT_LinAlgTable {
    ZRT_EigenFn eigen;
};

struct s_ZRT_SimInterface {
    ZRT_CreateSystemStateVarFn CreateSystemStateVar;  //  1 optional
    void* host2;                                      //  2
    ZRT_CreateBranchFn CreateBranch;                  //  3
    void* host4[2];                                   //  4-5
    ZRT_CreateRhsStampFn CreateStaticRhsStamp;        //  6
    ZRT_CreateRhsStampFn CreateDynamicRhsStamp;       //  7
    ZRT_CreateDelayStampFn CreateDelayStamp;          //  8
    ZRT_ReportNoiseContribFn ReportNoiseContrib;      //  9 optional
    ZRT_CreateDerivDoubletFn CreateDerivDoublet;      // 10
    ZRT_CreateJacobianStampFn CreateJacobianStamp;    // 11
    void* host12;                                     // 12
    ZRT_FormAnalysisQueryMaskFn FormAnalysisQueryMask; // 13
    ZRT_MessageFn Message;                            // 14
    ZRT_ReportLimitCorrectionFn ReportLimitCorrection; // 15
    ZRT_CreateDelaySpecFn CreateDelaySpec;            // 16
    ZRT_CopyDelaySpecFn CopyDelaySpec;                // 17
    ZRT_CreateCrossEventFn CreateCrossEvent;          // 18
    void* host19;                                     // 19
    ZRT_ResetCrossEventFn ResetCrossEvent;            // 20
    ZRT_SaveCrossEventFn SaveCrossEvent;              // 21
    ZRT_RestoreCrossEventFn RestoreCrossEvent;        // 22
    void* host23;                                     // 23
    ZRT_CreateRandomDescFn CreateRandomDesc;          // 24
    ZRT_SystemTaskFn SystemTask;                      // 25
    ZRT_FileOpenFn FileOpen;                          // 26 optional (file slots)
    ZRT_FileCloseFn FileClose;                        // 27
    ZRT_FileWriteFn FileWrite;                        // 28
    ZRT_FileScanFn FileScan;                          // 29
    ZRT_FileFlushFn FileFlush;                        // 30
    ZRT_FileSeekFn FileSeek;                          // 31
    ZRT_FileTellFn FileTell;                          // 32
    void* host33;                                     // 33
    ZRT_FileEofFn FileEof;                            // 34
    ZRT_FileErrorFn FileError;                        // 35
    void* host36[2];                                  // 36-37
    uint32_t numSimParams;                            // 38 low half
    uint32_t numSimParamsPad;
    ZRT_SimParamEntry* simParams;                     // 39
    uint32_t numLimitFuncs;                           // 40 low half
    uint32_t numLimitFuncsPad;
    ZRT_LimitFuncEntry* limitFuncs;                   // 41
    ZRT_MathCheckFn MathCheck;                        // 42 optional
    ZRT_LinAlgTable* pLinAlg;                         // 43
    void* host44;                                     // 44
    ZRT_ReportTopologyFn ReportTopology;              // 45 optional
    void* host46[3];                                  // 46-48
    uint32_t keepStateVarNames;                       // 49 low half
    uint32_t keepStateVarNamesPad;
};

// ---------------------------------------------------------------------------
// Contribution loader callbacks. Every loader argument is const: nothing in
// the library writes a loader it is handed.
typedef void (*ZRT_BatchLoadFn)(int32_t count, const ZRT_Handle* handles, const double* values,
                                const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst);
typedef void (*ZRT_LoadRhsACFn)(void* acStim, void* word1, void* word2, double value,
                                const s_ZRT_ContribLoader* loader);
typedef void (*ZRT_LoadDelayFn)(ZRT_GenericOperatorState* delayState, ZRT_Handle handle, double delay,
                                double maxDelay, double value, const s_ZRT_ContribLoader* loader,
                                s_ZRT_DeviceInst* inst);
typedef void (*ZRT_LoadDelayDwrtFn)(ZRT_GenericOperatorState* delayState, ZRT_Handle handle, double deriv,
                                    const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst);
typedef void (*ZRT_AcceptDelayFn)(ZRT_GenericOperatorState* delayState, const s_ZRT_ContribLoader* loader,
                                  s_ZRT_DeviceInst* inst);
typedef void (*ZRT_LoadZTransformFn)(void* op, ZRT_Handle handle, double output,
                                     const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst);
typedef void (*ZRT_LoadZTransformDwrtFn)(void* op, ZRT_Handle word, double value,
                                         const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst);
typedef double (*ZRT_GetSolFn)(s_ZRT_StateVar* sv, const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst);
typedef int32_t (*ZRT_LoaderQueryFn)(const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst);
typedef double (*ZRT_LoaderRealFn)(const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst);
typedef void (*ZRT_ReportDiscontinuityFn)(int32_t zero, const s_ZRT_ContribLoader* loader,
                                          s_ZRT_DeviceInst* inst, int32_t two, s_ZRT_StateVar* branchVar);
typedef void (*ZRT_DoBoundStepFn)(double step, int32_t reason, const s_ZRT_ContribLoader* loader,
                                  s_ZRT_DeviceInst* inst);
typedef int32_t (*ZRT_CrossEventSignalFn)(ZRT_EventDesc* event, double a1, double a2, double a3, double a4,
                                          double a5, int32_t i1, ZRT_StateVarPair* pair, double* outTime,
                                          uint32_t* outFlags, double tolerance, int32_t crossArgType,
                                          int32_t i2, const s_ZRT_ContribLoader* loader,
                                          s_ZRT_DeviceInst* inst);
typedef void (*ZRT_AcceptCrossEventFn)(ZRT_EventDesc* event, const s_ZRT_ContribLoader* loader,
                                       s_ZRT_DeviceInst* inst);
typedef void (*ZRT_ReportCrossViolationFn)(double time, int32_t zero1, int32_t zero2,
                                           const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst);
typedef double (*ZRT_GetDefaultFn)(int32_t selector, const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst);
typedef uint32_t (*ZRT_GetAnalysisQueryMaskFn)(const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst);
typedef void (*ZRT_RequestIntStepFn)(double zero, double modulus, double offset, int32_t one1, int32_t one2,
                                     s_ZRT_StateVar* branchVar, const s_ZRT_ContribLoader* loader,
                                     s_ZRT_DeviceInst* inst);

struct s_ZRT_ContribLoader {
    void* pPrivate;                                  //  1
    ZRT_BatchLoadFn LoadStaticRhs;                   //  2
    ZRT_BatchLoadFn LoadDynamicRhs;                  //  3
    ZRT_BatchLoadFn LoadStaticJacobian;              //  4
    ZRT_BatchLoadFn LoadStaticDoublet;               //  5
    ZRT_BatchLoadFn LoadDynamicJacobian;             //  6
    ZRT_BatchLoadFn LoadDynamicDoublet;              //  7
    ZRT_LoadRhsACFn LoadRhsAC;                       //  8
    ZRT_LoadDelayFn LoadDelay;                       //  9
    ZRT_LoadDelayDwrtFn LoadDelay_dwrt;              // 10
    ZRT_AcceptDelayFn AcceptDelay;                   // 11 optional
    ZRT_LoadZTransformFn LoadZ_Transform;            // 12 optional
    ZRT_LoadZTransformDwrtFn LoadZ_Transform_dwrt;   // 13 optional
    ZRT_GetSolFn GetSol;                             // 14
    ZRT_LoaderQueryFn DoNoise;                       // 15
    ZRT_LoaderQueryFn DoStrobe;                      // 16
    ZRT_LoaderQueryFn DoStrobeAux;                   // 17
    ZRT_ReportDiscontinuityFn ReportDiscontinuity;   // 18
    ZRT_DoBoundStepFn DoBoundStep;                   // 19
    ZRT_CrossEventSignalFn CrossEventSignal;         // 20
    ZRT_AcceptCrossEventFn AcceptCrossEvent;         // 21 optional
    ZRT_ReportCrossViolationFn ReportCrossViolation; // 22 optional
    ZRT_LoaderQueryFn IsInitialStep;                 // 23
    ZRT_LoaderQueryFn IsFinalStep;                   // 24
    ZRT_LoaderRealFn GetTime;                        // 25
    ZRT_LoaderRealFn GetMinStep;                     // 26 optional (1e-16 when null)
    ZRT_LoaderRealFn GetFreq;                        // 27
    void* Reserved27;                                // 28
    ZRT_GetDefaultFn GetDefault;                     // 29 optional
    ZRT_GetAnalysisQueryMaskFn GetAnalysisQueryMask; // 30
    ZRT_RequestIntStepFn pRequestIntStep;            // 31 optional
    const ZRT_AMS_Loader* pAMS;                      // 32
    void* Reserved32;                                // 33
    void* Reserved33;                                // 34
};

// ---------------------------------------------------------------------------
// Mixed-signal loader.
//
// D2A_Logic and D2A_LogicElement answer a 16-byte logic value. On Windows x64
// such a record travels through a hidden result pointer; on the System V ABI
// it comes back in two registers. The signatures return the record by value,
// which each compiler maps onto its own platform's convention.
typedef int32_t (*ZRT_D2A_EventSignalFn)(ZRT_EventDesc* event, double value, const s_ZRT_ContribLoader* loader);
typedef int32_t (*ZRT_D2A_IntFromLogicFn)(s_ZRT_DeviceInst* inst, int32_t index,
                                          const s_ZRT_ContribLoader* loader);
typedef ZRT_LogicValue (*ZRT_D2A_LogicFn)(int32_t index, const s_ZRT_ContribLoader* loader);
typedef double (*ZRT_D2A_RealFn)(int32_t index, const s_ZRT_ContribLoader* loader);
typedef int32_t (*ZRT_D2A_IntElementFn)(s_ZRT_DeviceInst* inst, const s_ZRT_ContribLoader* loader, int32_t a,
                                        int32_t b, int32_t rangeType, int32_t n, ...);
typedef ZRT_LogicValue (*ZRT_D2A_LogicElementFn)(s_ZRT_DeviceInst* inst, const s_ZRT_ContribLoader* loader,
                                                 int32_t a, int32_t b, int32_t rangeType, int32_t n, ...);
typedef double (*ZRT_D2A_RealElementFn)(s_ZRT_DeviceInst* inst, const s_ZRT_ContribLoader* loader, int32_t a,
                                        int32_t b, int32_t rangeType, int32_t n, ...);
typedef double (*ZRT_A2DFn)(int32_t index, const s_ZRT_ContribLoader* loader);
typedef void (*ZRT_ExportNetFn)(int32_t scaledIndex, s_ZRT_StateVar* pos, s_ZRT_StateVar* neg,
                                const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst);

struct ZRT_AMS_Loader {
    ZRT_D2A_EventSignalFn D2A_EventSignal;           //  1
    ZRT_D2A_IntFromLogicFn D2A_IntFromLogic;         //  2
    ZRT_D2A_LogicFn D2A_Logic;                       //  3
    ZRT_D2A_RealFn D2A_Real;                         //  4
    ZRT_D2A_IntElementFn D2A_Integer;                //  5
    ZRT_D2A_IntElementFn D2A_IntFromLogicElement;    //  6
    ZRT_D2A_LogicElementFn D2A_LogicElement;         //  7
    ZRT_D2A_RealElementFn D2A_RealElement;           //  8
    ZRT_D2A_IntElementFn D2A_IntegerElement;         //  9
    ZRT_A2DFn A2D;                                   // 10
    double* pA2D_SM;                                 // 11 indexed by export index
    void* pExportHost;                               // 12
    int32_t ExportIndexScale;                        // 13 low half
    int32_t ExportIndexScalePad;
    void* pExportTarget;                             // 14
    ZRT_ExportNetFn ExportNetFn;                     // 15
    void* Reserved15;                                // 16
};

// ---------------------------------------------------------------------------
// Tagged scalar of the exported analog functions: tag 0 a 32-bit integer, 1 a
// double, any other value a text.
typedef struct ZRT_TaggedValue ZRT_TaggedValue;
struct ZRT_TaggedValue {
    uint32_t tag;
    uint32_t pad;
    union {
        int32_t i;
        double r;
        const char* s;
    } value;
};
ZRT_ENUM(ZRT_TagE, uint32_t) {
    ZRT_TAG_INT = 0,
    ZRT_TAG_REAL = 1,
    ZRT_TAG_STRING = 2,
};

// Output-variable table row and result.
typedef struct ZRT_OutVarDesc ZRT_OutVarDesc;
struct ZRT_OutVarDesc {
    const char* name;
    uint32_t type;      // 0 real, 1 32-bit integer, 3 and 4 eight-byte values, 5 end
    uint64_t reserved1;
    uint64_t reserved2;
    int32_t index;
};
typedef struct ZRT_OutVarInfo ZRT_OutVarInfo;
struct ZRT_OutVarInfo {
    const ZRT_OutVarDesc* row;
    union {
        double r;
        int32_t i;
        uint64_t raw;
    } value;
};

// Exported analog function: the host bounds the table by numExportFuncs.
typedef ZRT_TaggedValue* (*ZRT_ExportWrapperFn)(ZRT_TaggedValue* result, ZRT_TaggedValue* args, void* ignored,
                                               s_ZRT_DeviceInst* inst);
typedef struct ZRT_ExportFuncDesc ZRT_ExportFuncDesc;
struct ZRT_ExportFuncDesc {
    const char* name;
    int64_t numArgs;
    ZRT_ExportWrapperFn wrapper;
};

// ---------------------------------------------------------------------------
// Module descriptor: the host fills its head, a module's registration export
// the rest.
typedef int32_t (*ZRT_InstFn_i)(s_ZRT_DeviceInst* inst);
typedef void (*ZRT_InstFn)(s_ZRT_DeviceInst* inst);
typedef void (*ZRT_InstHostDataFn)(s_ZRT_DeviceInst* inst, void* hostData);
typedef void (*ZRT_InstLoaderFn)(s_ZRT_DeviceInst* inst, const s_ZRT_ContribLoader* loader);
typedef void (*ZRT_ForceExecInvarFn)(s_ZRT_DeviceInst* inst, int32_t value);
typedef void (*ZRT_GetOutVarInfoFn)(int32_t count, const ZRT_OutVarDesc* rows, ZRT_OutVarInfo* results,
                                    s_ZRT_DeviceInst* inst);
typedef void (*ZRT_SetAMSIndicesFn)(s_ZRT_DeviceInst* inst, int32_t i0, int32_t i1, int32_t i2, int32_t i3);
typedef uint8_t* (*ZRT_SaveDeviceStateFn)(s_ZRT_DeviceInst* inst, s_ZRT_DeviceState* state, uint32_t* outCount);
typedef int32_t (*ZRT_RestoreDeviceStateFn)(s_ZRT_DeviceInst* inst, s_ZRT_DeviceState* state,
                                            const uint8_t* bytes, uint32_t count);
typedef void (*ZRT_FreeDeviceSerializerFn)(s_ZRT_DeviceInst* inst, int32_t output);

// The clone function that heads every private block: (block, allocating
// instance, operator instance) -> a copy of the block.
typedef void* (*ZRT_CloneFn)(void* block, s_ZRT_DeviceInst* allocInst, s_ZRT_DeviceInst* opInst);

struct s_ZRT_ModuleDesc {
    void* host1[2];                                  //  1-2
    const char* libName;                             //  3 may be null
    const char* moduleName;                          //  4
    void* host5[3];                                  //  5-7
    uint64_t hostFlags;                              //  8 bit 4: the module has an analog stamp
    void* host9;                                     //  9
    int32_t numEvents;                               // 10 low half
    int32_t numFileDescs;                            //    high half
    int32_t host11;                                  // 11 low half
    int32_t numOutVars;                              //    high half
    const ZRT_OutVarDesc* outVarDescs;               // 12
    void* host13[2];                                 // 13-14
    uint32_t moduleFlags;                            // 15 low half
    uint32_t host15;                                 //    high half
    ZRT_InstFn_i finalizeAnalogTopology;             // 16
    ZRT_InstHostDataFn reportTopology;               // 17
    ZRT_InstHostDataFn createBranches;               // 18
    ZRT_InstHostDataFn createSystemStateVars;        // 19
    ZRT_InstHostDataFn setAnalogStamp;               // 20
    ZRT_InstFn doAnalogInitial;                      // 21
    ZRT_InstLoaderFn genericAnalogLoad;              // 22
    ZRT_InstLoaderFn genericAnalogLoadRHS;           // 23
    ZRT_InstFn doAnalogStrobe;                       // 24
    ZRT_InstFn setMemoryStates;                      // 25
    ZRT_InstFn resetMemoryStates;                    // 26
    ZRT_InstLoaderFn tranAcceptPoint;                // 27
    ZRT_ForceExecInvarFn forceExecInvarCode;         // 28
    ZRT_GetOutVarInfoFn getOutVarInfo;               // 29
    uint64_t reserved1;                              // 30
    uint64_t reserved2;                              // 31
    ZRT_SetAMSIndicesFn setAMS_Indices;              // 32
    ZRT_InstFn AMS_GetArraySizes;                    // 33
    const char* const* D2A_ImportNames;              // 34
    const int32_t* D2A_ImportEvents;                 // 35
    void* D2A_ImportTypes;                           // 36
    int32_t* AMS_Sizes;                              // 37
    ZRT_SaveDeviceStateFn saveDeviceState;           // 38
    ZRT_RestoreDeviceStateFn restoreDeviceState;     // 39
    ZRT_FreeDeviceSerializerFn freeDeviceSerializer; // 40
    ZRT_InstFn destroyInst;                          // 41
    uint64_t reserved3;                              // 42
    int32_t numExportFuncs;                          // 43 low half
    int32_t host43;                                  //    high half
    const ZRT_ExportFuncDesc* exportFuncs;           // 44
};

// ---------------------------------------------------------------------------
// Layout pins: word n (counted from 1) lies at byte 8 * (n - 1).
#define ZRT_PIN_WORD(type, field, n) \
    static_assert(offsetof(type, field) == 8 * ((n) - 1), #type "." #field " is word " #n)
#define ZRT_PIN_HIGH_HALF(type, field, n) \
    static_assert(offsetof(type, field) == 8 * ((n) - 1) + 4, #type "." #field " is the high half of word " #n)

ZRT_PIN_WORD(s_ZRT_StateVar, name, 2);
ZRT_PIN_WORD(s_ZRT_StateVar, index, 3);
static_assert(offsetof(s_ZRT_StateVar, flags) == 20, "state-variable flags follow the index");
ZRT_PIN_WORD(s_ZRT_StateVar, branch, 6);
static_assert(sizeof(s_ZRT_StateVar) == 48, "state variable is six words");
ZRT_PIN_WORD(ZRT_BranchInfo, neg, 3);
ZRT_PIN_WORD(ZRT_BranchInfo, useCount, 4);
ZRT_PIN_HIGH_HALF(ZRT_BranchInfo, branchNumber, 4);
ZRT_PIN_WORD(ZRT_BranchInfo, hostData, 5);
ZRT_PIN_WORD(ZRT_BranchInfo, flags, 6);
static_assert(offsetof(ZRT_BranchInfo, branchType) == 44, "branch type follows the flag byte");

ZRT_PIN_WORD(s_ZRT_DeviceInst, name, 1);
ZRT_PIN_WORD(s_ZRT_DeviceInst, realParams, 4);
ZRT_PIN_WORD(s_ZRT_DeviceInst, intParams, 5);
ZRT_PIN_WORD(s_ZRT_DeviceInst, stateVars, 11);
ZRT_PIN_WORD(s_ZRT_DeviceInst, nodeVars, 14);
ZRT_PIN_WORD(s_ZRT_DeviceInst, nodeVectorBounds, 15);
ZRT_PIN_WORD(s_ZRT_DeviceInst, internalVars, 16);
ZRT_PIN_WORD(s_ZRT_DeviceInst, flags, 17);
ZRT_PIN_WORD(s_ZRT_DeviceInst, noiseSrcs, 18);
ZRT_PIN_WORD(s_ZRT_DeviceInst, host19, 19);
ZRT_PIN_WORD(s_ZRT_DeviceInst, events, 20);
ZRT_PIN_WORD(s_ZRT_DeviceInst, limexps, 21);
ZRT_PIN_WORD(s_ZRT_DeviceInst, fileDescs, 22);
ZRT_PIN_WORD(s_ZRT_DeviceInst, pMD, 25);
ZRT_PIN_WORD(s_ZRT_DeviceInst, pSim, 26);
ZRT_PIN_WORD(s_ZRT_DeviceInst, pModuleData, 27);
ZRT_PIN_WORD(s_ZRT_DeviceInst, pTimeControl, 28);
ZRT_PIN_WORD(s_ZRT_DeviceInst, pTerminate, 29);
ZRT_PIN_WORD(s_ZRT_DeviceInst, msgDupCount, 32);
ZRT_PIN_WORD(s_ZRT_DeviceInst, msgDupCapacity, 33);
ZRT_PIN_WORD(s_ZRT_DeviceInst, msgDupHashes, 34);
ZRT_PIN_WORD(s_ZRT_DeviceInst, pSerializer, 40);
static_assert(sizeof(s_ZRT_DeviceInst) == 40 * 8, "device instance is 40 words");

ZRT_PIN_WORD(s_ZRT_SimInterface, CreateSystemStateVar, 1);
ZRT_PIN_WORD(s_ZRT_SimInterface, CreateBranch, 3);
ZRT_PIN_WORD(s_ZRT_SimInterface, CreateStaticRhsStamp, 6);
ZRT_PIN_WORD(s_ZRT_SimInterface, CreateDynamicRhsStamp, 7);
ZRT_PIN_WORD(s_ZRT_SimInterface, CreateDelayStamp, 8);
ZRT_PIN_WORD(s_ZRT_SimInterface, ReportNoiseContrib, 9);
ZRT_PIN_WORD(s_ZRT_SimInterface, CreateDerivDoublet, 10);
ZRT_PIN_WORD(s_ZRT_SimInterface, CreateJacobianStamp, 11);
ZRT_PIN_WORD(s_ZRT_SimInterface, FormAnalysisQueryMask, 13);
ZRT_PIN_WORD(s_ZRT_SimInterface, Message, 14);
ZRT_PIN_WORD(s_ZRT_SimInterface, ReportLimitCorrection, 15);
ZRT_PIN_WORD(s_ZRT_SimInterface, CreateDelaySpec, 16);
ZRT_PIN_WORD(s_ZRT_SimInterface, CopyDelaySpec, 17);
ZRT_PIN_WORD(s_ZRT_SimInterface, CreateCrossEvent, 18);
ZRT_PIN_WORD(s_ZRT_SimInterface, ResetCrossEvent, 20);
ZRT_PIN_WORD(s_ZRT_SimInterface, SaveCrossEvent, 21);
ZRT_PIN_WORD(s_ZRT_SimInterface, RestoreCrossEvent, 22);
ZRT_PIN_WORD(s_ZRT_SimInterface, CreateRandomDesc, 24);
ZRT_PIN_WORD(s_ZRT_SimInterface, SystemTask, 25);
ZRT_PIN_WORD(s_ZRT_SimInterface, FileOpen, 26);
ZRT_PIN_WORD(s_ZRT_SimInterface, FileClose, 27);
ZRT_PIN_WORD(s_ZRT_SimInterface, FileWrite, 28);
ZRT_PIN_WORD(s_ZRT_SimInterface, FileScan, 29);
ZRT_PIN_WORD(s_ZRT_SimInterface, FileFlush, 30);
ZRT_PIN_WORD(s_ZRT_SimInterface, FileSeek, 31);
ZRT_PIN_WORD(s_ZRT_SimInterface, FileTell, 32);
ZRT_PIN_WORD(s_ZRT_SimInterface, FileEof, 34);
ZRT_PIN_WORD(s_ZRT_SimInterface, FileError, 35);
ZRT_PIN_WORD(s_ZRT_SimInterface, numSimParams, 38);
ZRT_PIN_WORD(s_ZRT_SimInterface, simParams, 39);
ZRT_PIN_WORD(s_ZRT_SimInterface, numLimitFuncs, 40);
ZRT_PIN_WORD(s_ZRT_SimInterface, limitFuncs, 41);
ZRT_PIN_WORD(s_ZRT_SimInterface, MathCheck, 42);
ZRT_PIN_WORD(s_ZRT_SimInterface, pLinAlg, 43);
ZRT_PIN_WORD(s_ZRT_SimInterface, ReportTopology, 45);
ZRT_PIN_WORD(s_ZRT_SimInterface, keepStateVarNames, 49);
static_assert(sizeof(s_ZRT_SimInterface) == 49 * 8, "simulator interface is 49 words");

ZRT_PIN_WORD(s_ZRT_ContribLoader, pPrivate, 1);
ZRT_PIN_WORD(s_ZRT_ContribLoader, LoadStaticRhs, 2);
ZRT_PIN_WORD(s_ZRT_ContribLoader, LoadDynamicRhs, 3);
ZRT_PIN_WORD(s_ZRT_ContribLoader, LoadStaticJacobian, 4);
ZRT_PIN_WORD(s_ZRT_ContribLoader, LoadStaticDoublet, 5);
ZRT_PIN_WORD(s_ZRT_ContribLoader, LoadDynamicJacobian, 6);
ZRT_PIN_WORD(s_ZRT_ContribLoader, LoadDynamicDoublet, 7);
ZRT_PIN_WORD(s_ZRT_ContribLoader, LoadRhsAC, 8);
ZRT_PIN_WORD(s_ZRT_ContribLoader, LoadDelay, 9);
ZRT_PIN_WORD(s_ZRT_ContribLoader, LoadDelay_dwrt, 10);
ZRT_PIN_WORD(s_ZRT_ContribLoader, AcceptDelay, 11);
ZRT_PIN_WORD(s_ZRT_ContribLoader, LoadZ_Transform, 12);
ZRT_PIN_WORD(s_ZRT_ContribLoader, LoadZ_Transform_dwrt, 13);
ZRT_PIN_WORD(s_ZRT_ContribLoader, GetSol, 14);
ZRT_PIN_WORD(s_ZRT_ContribLoader, DoNoise, 15);
ZRT_PIN_WORD(s_ZRT_ContribLoader, DoStrobe, 16);
ZRT_PIN_WORD(s_ZRT_ContribLoader, DoStrobeAux, 17);
ZRT_PIN_WORD(s_ZRT_ContribLoader, ReportDiscontinuity, 18);
ZRT_PIN_WORD(s_ZRT_ContribLoader, DoBoundStep, 19);
ZRT_PIN_WORD(s_ZRT_ContribLoader, CrossEventSignal, 20);
ZRT_PIN_WORD(s_ZRT_ContribLoader, AcceptCrossEvent, 21);
ZRT_PIN_WORD(s_ZRT_ContribLoader, ReportCrossViolation, 22);
ZRT_PIN_WORD(s_ZRT_ContribLoader, IsInitialStep, 23);
ZRT_PIN_WORD(s_ZRT_ContribLoader, IsFinalStep, 24);
ZRT_PIN_WORD(s_ZRT_ContribLoader, GetTime, 25);
ZRT_PIN_WORD(s_ZRT_ContribLoader, GetMinStep, 26);
ZRT_PIN_WORD(s_ZRT_ContribLoader, GetFreq, 27);
ZRT_PIN_WORD(s_ZRT_ContribLoader, Reserved27, 28);
ZRT_PIN_WORD(s_ZRT_ContribLoader, GetDefault, 29);
ZRT_PIN_WORD(s_ZRT_ContribLoader, GetAnalysisQueryMask, 30);
ZRT_PIN_WORD(s_ZRT_ContribLoader, pRequestIntStep, 31);
ZRT_PIN_WORD(s_ZRT_ContribLoader, pAMS, 32);
ZRT_PIN_WORD(s_ZRT_ContribLoader, Reserved32, 33);
ZRT_PIN_WORD(s_ZRT_ContribLoader, Reserved33, 34);
static_assert(sizeof(s_ZRT_ContribLoader) == 34 * 8, "contribution loader is 34 words");

ZRT_PIN_WORD(ZRT_AMS_Loader, D2A_EventSignal, 1);
ZRT_PIN_WORD(ZRT_AMS_Loader, D2A_IntFromLogic, 2);
ZRT_PIN_WORD(ZRT_AMS_Loader, D2A_Logic, 3);
ZRT_PIN_WORD(ZRT_AMS_Loader, D2A_Real, 4);
ZRT_PIN_WORD(ZRT_AMS_Loader, D2A_Integer, 5);
ZRT_PIN_WORD(ZRT_AMS_Loader, D2A_IntFromLogicElement, 6);
ZRT_PIN_WORD(ZRT_AMS_Loader, D2A_LogicElement, 7);
ZRT_PIN_WORD(ZRT_AMS_Loader, D2A_RealElement, 8);
ZRT_PIN_WORD(ZRT_AMS_Loader, D2A_IntegerElement, 9);
ZRT_PIN_WORD(ZRT_AMS_Loader, A2D, 10);
ZRT_PIN_WORD(ZRT_AMS_Loader, pA2D_SM, 11);
ZRT_PIN_WORD(ZRT_AMS_Loader, pExportHost, 12);
ZRT_PIN_WORD(ZRT_AMS_Loader, ExportIndexScale, 13);
ZRT_PIN_WORD(ZRT_AMS_Loader, pExportTarget, 14);
ZRT_PIN_WORD(ZRT_AMS_Loader, ExportNetFn, 15);
ZRT_PIN_WORD(ZRT_AMS_Loader, Reserved15, 16);
static_assert(sizeof(ZRT_AMS_Loader) == 16 * 8, "mixed-signal loader is 16 words");

ZRT_PIN_WORD(ZRT_TaggedValue, value, 2);
static_assert(sizeof(ZRT_TaggedValue) == 16, "tagged value is two words");
ZRT_PIN_WORD(ZRT_OutVarDesc, type, 2);
ZRT_PIN_WORD(ZRT_OutVarDesc, index, 5);
ZRT_PIN_WORD(ZRT_OutVarInfo, value, 2);
ZRT_PIN_WORD(ZRT_ExportFuncDesc, wrapper, 3);
static_assert(sizeof(ZRT_ExportFuncDesc) == 24, "export-function row is three words");

ZRT_PIN_WORD(s_ZRT_ModuleDesc, libName, 3);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, moduleName, 4);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, hostFlags, 8);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, numEvents, 10);
ZRT_PIN_HIGH_HALF(s_ZRT_ModuleDesc, numFileDescs, 10);
ZRT_PIN_HIGH_HALF(s_ZRT_ModuleDesc, numOutVars, 11);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, outVarDescs, 12);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, moduleFlags, 15);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, finalizeAnalogTopology, 16);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, reportTopology, 17);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, createBranches, 18);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, createSystemStateVars, 19);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, setAnalogStamp, 20);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, doAnalogInitial, 21);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, genericAnalogLoad, 22);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, genericAnalogLoadRHS, 23);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, doAnalogStrobe, 24);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, setMemoryStates, 25);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, resetMemoryStates, 26);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, tranAcceptPoint, 27);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, forceExecInvarCode, 28);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, getOutVarInfo, 29);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, reserved1, 30);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, reserved2, 31);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, setAMS_Indices, 32);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, AMS_GetArraySizes, 33);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, D2A_ImportNames, 34);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, D2A_ImportEvents, 35);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, D2A_ImportTypes, 36);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, AMS_Sizes, 37);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, saveDeviceState, 38);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, restoreDeviceState, 39);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, freeDeviceSerializer, 40);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, destroyInst, 41);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, reserved3, 42);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, numExportFuncs, 43);
ZRT_PIN_WORD(s_ZRT_ModuleDesc, exportFuncs, 44);
static_assert(sizeof(s_ZRT_ModuleDesc) == 44 * 8, "module descriptor is 44 words");

// ---------------------------------------------------------------------------
// Further records the host shares with the runtime, one header per topic.
#include "ZRT_Noise.h"
#include "ZRT_Limexp.h"
#include "ZRT_Files.h"
#include "ZRT_Events.h"
#include "ZRT_SavedState.h"
