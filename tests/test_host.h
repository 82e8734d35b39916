// A small host circuit simulator for the tests. It fills the simulator
// interface and the contribution loader with callbacks that record every call
// and answer what a test tells them, hands out distinct state-variable
// indices and stamp handles, and allocates device instances with their arrays.
//
// One TestHost is active at a time: callbacks that receive neither the
// interface nor the loader (CreateBranch, for one) find it through
// TestHost::current().
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <deque>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ZRT_HostInterface.h"
#include "rte/allocator.h"

namespace testhost {

struct MessageRecord {
    int32_t type;
    std::string text;       // the text argument as given
    std::string formatted;  // the text formatted with the values that follow it
    s_ZRT_DeviceInst* inst;
    s_ZRT_SimInterface* sim;
    const char* fifthArg;   // the argument after the interface (ZRT_Message repeats the text there)
};

struct TaskRecord {
    std::string task;
    int32_t value;
    s_ZRT_DeviceInst* inst;
    int32_t zero;
    s_ZRT_SimInterface* sim;
};

struct BranchRecord {
    std::string instName;
    std::string branchName;
    uint32_t index;
    void* hostData;
};

struct SystemVarRecord {
    std::string instName;
    std::string varName;
    uint32_t index;
    int32_t two;
    void* nodalInfo;
    void* hostData;
};

enum class StampKind { StaticRhs, DynamicRhs, Delay, Doublet, Jacobian };

// One stamp request. For residual stamps `rowA`/`rowB` are the node pair; for
// Jacobian stamps the column pair is `colA`/`colB`; for a doublet `rowA` is the
// row and `colA`, `colB` the columns; `flag1` and `flag2` are the request's
// integer arguments in order.
struct StampRecord {
    StampKind kind;
    ZRT_Handle handle;
    s_ZRT_StateVar* rowA;
    s_ZRT_StateVar* rowB;
    s_ZRT_StateVar* colA;
    s_ZRT_StateVar* colB;
    int32_t flag1;
    int32_t flag2;
    s_ZRT_DeviceInst* inst;
    void* hostData;
};

struct NoiseReport {
    int32_t source;
    ZRT_Handle key;
    s_ZRT_DeviceInst* inst;
    void* hostData;
};

struct TopologyReport {
    s_ZRT_StateVar* a;
    s_ZRT_StateVar* b;
    int32_t kind;
    std::string name;
    s_ZRT_DeviceInst* inst;
    void* hostData;
};

// ---- guarded mathematics and noise ------------------------------------------

// One call of the MathCheck slot, arguments in order.
struct MathCheckRecord {
    int32_t code;
    s_ZRT_DeviceInst* inst;
    int32_t line;
    const void* word;
    const s_ZRT_ContribLoader* loader;
};

// -----------------------------------------------------------------------------

// One call of a file slot. `slot` names it ("open", "close", "write", "scan",
// "flush", "seek", "tell", "eof", "error"); `text` is the file name (open),
// the text (write) or the format (scan); `handle` and `position` belong to
// seek and tell.
struct FileCallRecord {
    std::string slot;
    int32_t desc;
    void* handle;
    std::string text;
    uint32_t position;
    s_ZRT_DeviceInst* inst;
};

enum class LoadSlot { StaticRhs, DynamicRhs, StaticJacobian, StaticDoublet, DynamicJacobian, DynamicDoublet };

struct LoadRecord {
    LoadSlot slot;
    std::vector<ZRT_Handle> handles;
    std::vector<double> values;
    s_ZRT_DeviceInst* inst;
};

// ---- delay states and cross events --------------------------------------
// The host's delay: a ZRT_DelaySpec in the runtime's layout whose history
// holds the accepted (time, input) points; the input of the present load is
// pending until AcceptDelay. The delayed value at t - td interpolates
// linearly between the points (the pending one last) and holds the oldest
// value before the first. A maximum delay of 0.0 or less means no bound.
struct DelayLoadRecord {
    ZRT_GenericOperatorState* state;
    ZRT_Handle handle;
    double td;       // as the runtime passed it
    double tdmax;
    double x;
    double delayed;  // the value the host loads into the delay entry
    double weight;   // d delayed / d x
    s_ZRT_DeviceInst* inst;
};

struct DelayDerivRecord {
    ZRT_GenericOperatorState* state;
    ZRT_Handle handle;  // a doublet of the branch row
    double deriv;       // d x / d unknown, as the runtime passed it
    double jacobian;    // weight * deriv: the host's matrix entry
    s_ZRT_DeviceInst* inst;
};

// ---- events and time services ----------------------------------------------

struct BoundStepRecord {
    double step;
    int32_t reason;
    s_ZRT_DeviceInst* inst;
};

struct CrossViolationRecord {
    double time;
    int32_t zero1;
    int32_t zero2;
    s_ZRT_DeviceInst* inst;
};

// One call of the host's FormAnalysisQueryMask with the names it was given.
struct MaskQueryRecord {
    int32_t count;
    std::vector<std::string> names;
};

// A heap that grants `grants` more ZRT_malloc or ZRT_calloc requests and is
// exhausted after them, until this goes out of scope; with `refuseOnce`, only
// the request after them is refused and every later one granted.
class LimitedHeap {
public:
    explicit LimitedHeap(int grants, bool refuseOnce = false);
    ~LimitedHeap();
    LimitedHeap(const LimitedHeap&) = delete;
    LimitedHeap& operator=(const LimitedHeap&) = delete;

    // Whether it has refused a request.
    bool refused() const;

private:
    ZRT_Allocator saved_;
};

// ---- simulator parameters and small-signal stimuli -------------------------

// One call of a simulator-parameter callback: the position of its entry in
// the host's table.
struct SimParamCall {
    size_t position;
    s_ZRT_DeviceInst* inst;
    double defaultValue;
};

// One call of the loader's LoadRhsAC.
struct AcLoadRecord {
    void* stim;
    void* word1;
    void* word2;
    double value;
};

class TestHost {
public:
    TestHost();
    ~TestHost();
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    static TestHost& current();

    s_ZRT_SimInterface sim{};
    s_ZRT_ContribLoader loader{};
    ZRT_AMS_Loader ams{};

    // What the host answers.
    std::vector<double> solution;  // GetSol: by state-variable index; 0.0 beyond
    int32_t doNoise = 0;
    int32_t isInitialStep = 0;
    int32_t isFinalStep = 0;
    uint32_t analysisMask = 2;     // a DC analysis
    double time = 0.0;
    std::map<int32_t, double> defaults;  // GetDefault by selector; 0.0 when absent
    int32_t messageAnswer = 0;
    uint32_t randomSeed = 0;  // CreateRandomDesc

    // What the host was asked.
    std::vector<MessageRecord> messages;
    std::vector<TaskRecord> tasks;
    std::vector<BranchRecord> branches;
    std::vector<SystemVarRecord> systemVars;
    std::vector<StampRecord> stamps;
    std::vector<NoiseReport> noiseReports;
    std::vector<TopologyReport> topology;
    std::vector<LoadRecord> loads;
    int getSolCalls = 0;
    int doNoiseCalls = 0;

    // ---- delay states and cross events ----
    std::vector<DelayLoadRecord> delayLoads;
    std::vector<DelayDerivRecord> delayDerivs;
    int delaySpecsCreated = 0;
    int delaySpecsCopied = 0;
    int delaySpecsFreed = 0;
    int acceptDelayCalls = 0;
    int delayHistoryCapacity = 16;
    // The host's record of each cross or above event; SaveCrossEvent answers
    // a ZRT_calloc copy (tag 3), RestoreCrossEvent writes it back here.
    std::map<ZRT_EventDesc*, ZRT_CrossEventState> crossStates;
    int crossRestores = 0;
    // The free function of the host's delay states.
    static void freeDelaySpec(ZRT_GenericOperatorState* state);
    // ---- end of delay states and cross events ----
    // Guarded mathematics and noise.
    std::vector<MathCheckRecord> mathChecks;
    std::vector<int32_t> defaultQueries;  // GetDefault selectors, in the order asked
    // Limiters: the instance of every ReportLimitCorrection call. The limiter
    // table (sim.limitFuncs) stays empty until a test installs one.
    std::vector<s_ZRT_DeviceInst*> limitCorrections;

    // A fresh host index for a node or branch unknown.
    uint32_t newIndex() { return nextIndex_++; }
    // A fresh stamp handle, distinct from every other and never null.
    ZRT_Handle newHandle() { return reinterpret_cast<ZRT_Handle>(nextHandle_++); }

    // ---- state variables, branches, events and time services ----
    // CreateBranch answers these indices first, in order, then fresh ones.
    std::deque<uint32_t> branchIndexAnswers;
    // FormAnalysisQueryMask answers the OR of these bits of the names it is
    // given (the standard bits to begin with).
    std::map<std::string, uint32_t> analysisBits;
    std::vector<MaskQueryRecord> maskQueries;
    std::vector<BoundStepRecord> boundSteps;
    std::vector<CrossViolationRecord> crossViolations;
    int isInitialStepCalls = 0;
    int isFinalStepCalls = 0;
    // The loader's GetMinStep slot stays empty until a test sets an answer.
    void setMinStep(double step);
    double minStep = 0.0;

    const StampRecord* findStamp(ZRT_Handle handle) const;
    // The number of "exit" tasks received.
    int exitCount() const;
    void clearRecords();

    // ---- files -----------------------------------------------------------
    // The file slots work on real files. Descriptors count from 3; a "%as"
    // scan answers a text that the host allocates and frees with itself.
    std::vector<FileCallRecord> fileCalls;
    // A path in the host's own temporary directory, made on first use and
    // removed with the host.
    std::string filePath(const std::string& name);
    // The stream of an open descriptor, as the handle a model keeps in its
    // file-descriptor record; null when the descriptor is not open.
    void* fileHandle(int32_t desc) const;
    std::FILE* file(int32_t desc) const;
    int32_t openFile(const char* name, const char* mode);
    void closeFile(int32_t desc);
    void keepScannedText(char* text) { scannedTexts_.push_back(text); }

    // ---- simulator parameters and small-signal stimuli ----
    // Defines a simulator parameter (or changes its value): the interface's
    // table grows by one entry per name, up to kMaxSimParams, and entries stay
    // where they are. Its callback answers the value set.
    static constexpr size_t kMaxSimParams = 8;
    void setSimParam(const std::string& name, double value);
    std::vector<double> simParamValues;  // by table position
    std::vector<SimParamCall> simParamCalls;
    std::vector<AcLoadRecord> acLoads;

private:
    uint32_t nextIndex_ = 1;
    uintptr_t nextHandle_ = 0x1000;

    // ---- files ----
    void installFileSlots();
    void releaseFiles();
    std::filesystem::path fileDir_;
    std::map<int32_t, std::FILE*> files_;
    int32_t nextFileDesc_ = 3;
    std::vector<char*> scannedTexts_;

    // ---- simulator parameters ----
    std::deque<std::string> simParamNames_;
    std::vector<ZRT_SimParamEntry> simParamTable_;
};

// A device instance allocated as a host does: the instance with its real and
// integer parameters, its two node arrays (the second with room behind the
// nodes for the module's branch state variables), its event, limexp and
// file-descriptor arrays, pointing at a module descriptor and the host's
// interface.
class TestInstance {
public:
    struct Shape {
        int realParams = 13;
        int intParams = 3;
        int externalNodes = 0;  // first node array
        int internalNodes = 0;  // second node array, nodes
        int branchSlots = 0;    // second node array, room behind the nodes
        int events = 1;
        int limexps = 1;
        int fileDescs = 0;
        int noiseSrcs = 4;
    };

    TestInstance(TestHost& host, s_ZRT_ModuleDesc* md, const Shape& shape, const char* name = "x1");
    ~TestInstance();
    TestInstance(const TestInstance&) = delete;
    TestInstance& operator=(const TestInstance&) = delete;

    s_ZRT_DeviceInst* get() { return &inst_; }
    s_ZRT_DeviceInst* operator->() { return &inst_; }

    std::vector<double> realParams;
    std::vector<int32_t> intParams;
    std::vector<s_ZRT_StateVar*> nodeVars;
    std::vector<s_ZRT_StateVar*> internalVars;
    std::vector<ZRT_EventDesc*> events;
    std::vector<s_ZRT_LimexpDesc*> limexps;
    std::vector<ZRT_FileDesc*> fileDescs;
    // Zeroed noise sources; the destructor frees their contribution nodes and
    // the limexp descriptors, which the library leaves to the host.
    std::vector<ZRT_NoiseSrc> noiseSrcs;

private:
    std::string name_;
    std::vector<std::unique_ptr<s_ZRT_StateVar>> ownedNodes_;
    s_ZRT_DeviceInst inst_{};
};

// A real array [0 : count - 1] of the values, filled as a model fills one;
// `variable` makes it an analog array variable, which the operators keep as
// a copy. No values leave its bounds unset. Nothing of the language's heap is
// allocated, so a lifecycle whose allocations fail in turn may make one.
s_ZRT_Array* realArray(s_ZRT_SimInterface* sim, const double* values, size_t count, bool variable);
inline s_ZRT_Array* realArray(s_ZRT_SimInterface* sim, std::initializer_list<double> values, bool variable) {
    return realArray(sim, values.begin(), values.size(), variable);
}

}  // namespace testhost
