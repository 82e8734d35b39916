#include "tests/test_host.h"

#include "tests/host_eigen.h"

#include "dsl/ZRT_SupportLib.h"

#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <unistd.h>
#include <utility>

namespace testhost {

namespace {

TestHost* g_current = nullptr;

TestHost& host() { return TestHost::current(); }

std::string text(const char* s) { return s != nullptr ? std::string(s) : std::string(); }

// ---- simulator interface ----------------------------------------------------

void createSystemStateVar(const char* instName, const char* varName, uint32_t* outIndex, int32_t two,
                          void* nodalInfo, void* hostData) {
    uint32_t index = host().newIndex();
    *outIndex = index;
    host().systemVars.push_back({text(instName), text(varName), index, two, nodalInfo, hostData});
}

void createBranch(const char* instName, const char* branchName, uint32_t* outIndex, void* hostData) {
    uint32_t index = host().newIndex();
    if (!host().branchIndexAnswers.empty()) {
        index = host().branchIndexAnswers.front();
        host().branchIndexAnswers.pop_front();
    }
    *outIndex = index;
    host().branches.push_back({text(instName), text(branchName), index, hostData});
}

ZRT_Handle recordStamp(StampRecord record) {
    record.handle = host().newHandle();
    host().stamps.push_back(record);
    return record.handle;
}

ZRT_Handle createStaticRhsStamp(s_ZRT_StateVar* a, s_ZRT_StateVar* b, int32_t flag, s_ZRT_DeviceInst* inst,
                                void* hostData) {
    return recordStamp({StampKind::StaticRhs, nullptr, a, b, nullptr, nullptr, flag, 0, inst, hostData});
}

ZRT_Handle createDynamicRhsStamp(s_ZRT_StateVar* a, s_ZRT_StateVar* b, int32_t flag, s_ZRT_DeviceInst* inst,
                                 void* hostData) {
    return recordStamp({StampKind::DynamicRhs, nullptr, a, b, nullptr, nullptr, flag, 0, inst, hostData});
}

ZRT_Handle createDelayStamp(s_ZRT_StateVar* sv, int32_t kind, int32_t one, s_ZRT_DeviceInst* inst,
                            void* hostData) {
    return recordStamp({StampKind::Delay, nullptr, sv, nullptr, nullptr, nullptr, kind, one, inst, hostData});
}

ZRT_Handle createDerivDoublet(s_ZRT_StateVar* row, s_ZRT_StateVar* col, s_ZRT_StateVar* col2, int32_t code,
                              int32_t flag, s_ZRT_DeviceInst* inst, void* hostData) {
    return recordStamp({StampKind::Doublet, nullptr, row, nullptr, col, col2, code, flag, inst, hostData});
}

ZRT_Handle createJacobianStamp(s_ZRT_StateVar* rowA, s_ZRT_StateVar* rowB, s_ZRT_StateVar* colA,
                               s_ZRT_StateVar* colB, int32_t reactive, int32_t flag, s_ZRT_DeviceInst* inst,
                               void* hostData) {
    return recordStamp({StampKind::Jacobian, nullptr, rowA, rowB, colA, colB, reactive, flag, inst, hostData});
}

int32_t reportNoiseContrib(int32_t source, ZRT_Handle key, s_ZRT_DeviceInst* inst, void* hostData) {
    host().noiseReports.push_back({source, key, inst, hostData});
    return source;
}

// The host formats a message's text when it holds a conversion: then the
// argument after the interface is the text again and the values follow it.
// A text without '%' is taken as it is and no further argument is read, so
// already formatted texts (passed with four arguments) are safe.
int32_t message(int32_t type, const char* msgText, s_ZRT_DeviceInst* inst, s_ZRT_SimInterface* sim, ...) {
    MessageRecord record{type, text(msgText), text(msgText), inst, sim, nullptr};
    if (msgText != nullptr && std::strchr(msgText, '%') != nullptr) {
        va_list args;
        va_start(args, sim);
        const char* format = va_arg(args, const char*);
        record.fifthArg = format;
        va_list sizing;
        va_copy(sizing, args);
        int length = std::vsnprintf(nullptr, 0, format, sizing);
        va_end(sizing);
        if (length >= 0) {
            std::vector<char> buffer(static_cast<size_t>(length) + 1);
            std::vsnprintf(buffer.data(), buffer.size(), format, args);
            record.formatted.assign(buffer.data(), static_cast<size_t>(length));
        }
        va_end(args);
    }
    host().messages.push_back(record);
    return host().messageAnswer;
}

int32_t systemTask(const char* task, int32_t value, s_ZRT_DeviceInst* inst, int32_t zero, s_ZRT_SimInterface* sim) {
    // "exit" returns, so the failure paths after it run.
    host().tasks.push_back({text(task), value, inst, zero, sim});
    return 0;
}

uint32_t createRandomDesc(s_ZRT_SimInterface*) { return host().randomSeed; }

void reportTopology(s_ZRT_StateVar* a, s_ZRT_StateVar* b, int32_t kind, const char* name, s_ZRT_DeviceInst* inst,
                    void* hostData) {
    host().topology.push_back({a, b, kind, text(name), inst, hostData});
}

// ---- contribution loader ----------------------------------------------------

void recordLoad(LoadSlot slot, int32_t count, const ZRT_Handle* handles, const double* values,
                s_ZRT_DeviceInst* inst) {
    LoadRecord record{slot, {}, {}, inst};
    if (count > 0) {
        record.handles.assign(handles, handles + count);
        record.values.assign(values, values + count);
    }
    host().loads.push_back(std::move(record));
}

#define TESTHOST_BATCH_LOAD(fn, slot)                                                                      \
    void fn(int32_t count, const ZRT_Handle* handles, const double* values, const s_ZRT_ContribLoader*, \
            s_ZRT_DeviceInst* inst) {                                                                      \
        recordLoad(slot, count, handles, values, inst);                                                    \
    }
TESTHOST_BATCH_LOAD(loadStaticRhs, LoadSlot::StaticRhs)
TESTHOST_BATCH_LOAD(loadDynamicRhs, LoadSlot::DynamicRhs)
TESTHOST_BATCH_LOAD(loadStaticJacobian, LoadSlot::StaticJacobian)
TESTHOST_BATCH_LOAD(loadStaticDoublet, LoadSlot::StaticDoublet)
TESTHOST_BATCH_LOAD(loadDynamicJacobian, LoadSlot::DynamicJacobian)
TESTHOST_BATCH_LOAD(loadDynamicDoublet, LoadSlot::DynamicDoublet)
#undef TESTHOST_BATCH_LOAD

double getSol(s_ZRT_StateVar* sv, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) {
    ++host().getSolCalls;
    if (sv == nullptr || sv->index >= host().solution.size()) {
        return 0.0;
    }
    return host().solution[sv->index];
}

int32_t answerDoNoise(const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) {
    ++host().doNoiseCalls;
    return host().doNoise;
}
int32_t answerIsInitialStep(const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) {
    ++host().isInitialStepCalls;
    return host().isInitialStep;
}
int32_t answerIsFinalStep(const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) {
    ++host().isFinalStepCalls;
    return host().isFinalStep;
}
double getTime(const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) { return host().time; }
uint32_t getAnalysisQueryMask(const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) { return host().analysisMask; }

double getDefault(int32_t selector, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) {
    host().defaultQueries.push_back(selector);
    auto it = host().defaults.find(selector);
    return it != host().defaults.end() ? it->second : 0.0;
}

// ---- delay states and cross events ------------------------------------------

ZRT_DelaySpec* asDelaySpec(ZRT_GenericOperatorState* state) { return reinterpret_cast<ZRT_DelaySpec*>(state); }

ZRT_DelaySpec* newDelaySpec(s_ZRT_SimInterface* sim) {
    auto* spec = static_cast<ZRT_DelaySpec*>(ZRT_calloc(1, sizeof(ZRT_DelaySpec), sim, nullptr, nullptr));
    if (spec != nullptr) {
        spec->head.opStateType = ZRT_DELAY_SPEC;
        spec->head.serialize = serializeDelaySpec;
        spec->head.free = TestHost::freeDelaySpec;
        spec->pSim = sim;
    }
    return spec;
}

ZRT_GenericOperatorState* createDelaySpec(s_ZRT_SimInterface* sim) {
    ZRT_DelaySpec* spec = newDelaySpec(sim);
    if (spec == nullptr) {
        return nullptr;
    }
    spec->pHist = allocTimeValHist(host().delayHistoryCapacity, 0.0, sim);
    ++host().delaySpecsCreated;
    return &spec->head;
}

ZRT_GenericOperatorState* copyDelaySpec(ZRT_GenericOperatorState* state) {
    const ZRT_DelaySpec* source = asDelaySpec(state);
    ZRT_DelaySpec* spec = newDelaySpec(source->pSim);
    if (spec == nullptr) {
        return nullptr;
    }
    std::memcpy(spec->values, source->values, sizeof spec->values);
    spec->value5 = source->value5;
    if (const ZRT_TimeValHist* hist = source->pHist) {
        spec->pHist = allocTimeValHist(hist->capacity, hist->data, source->pSim);
        if (spec->pHist != nullptr) {
            spec->pHist->head = hist->head;
            spec->pHist->count = hist->count;
            const size_t bytes = static_cast<size_t>(hist->capacity) * sizeof(double);
            std::memcpy(spec->pHist->times, hist->times, bytes);
            std::memcpy(spec->pHist->values, hist->values, bytes);
        }
    }
    ++host().delaySpecsCopied;
    return &spec->head;
}

// Oldest first: slot i of the ring is (head + i) % capacity.
double histTime(const ZRT_TimeValHist* h, int32_t i) { return h->times[(h->head + i) % h->capacity]; }
double histValue(const ZRT_TimeValHist* h, int32_t i) { return h->values[(h->head + i) % h->capacity]; }

void loadDelay(ZRT_GenericOperatorState* state, ZRT_Handle handle, double td, double tdmax, double x,
               const s_ZRT_ContribLoader*, s_ZRT_DeviceInst* inst) {
    ZRT_DelaySpec* spec = asDelaySpec(state);
    const double t = host().time;
    const double used = (tdmax > 0.0 && td > tdmax) ? tdmax : td;
    const double tq = t - used;
    double delayed = x;
    double weight = 1.0;
    const ZRT_TimeValHist* h = spec != nullptr ? spec->pHist : nullptr;
    const int32_t n = h != nullptr ? h->count : 0;
    if (tq < t && n > 0) {
        // The points are the history followed by the pending (t, x).
        auto timeAt = [&](int32_t i) { return i < n ? histTime(h, i) : t; };
        auto valueAt = [&](int32_t i) { return i < n ? histValue(h, i) : x; };
        if (tq <= timeAt(0)) {
            delayed = valueAt(0);
            weight = 0.0;
        } else {
            int32_t i = 0;
            while (timeAt(i + 1) < tq) {
                ++i;
            }
            const double f = (tq - timeAt(i)) / (timeAt(i + 1) - timeAt(i));
            delayed = valueAt(i) + f * (valueAt(i + 1) - valueAt(i));
            weight = (i + 1 == n) ? f : 0.0;
        }
    }
    if (spec != nullptr) {
        spec->values[0] = t;
        spec->values[1] = x;
        spec->values[2] = weight;
        spec->values[3] = used;
        spec->value5 = delayed;
    }
    host().delayLoads.push_back({state, handle, td, tdmax, x, delayed, weight, inst});
}

void loadDelayDwrt(ZRT_GenericOperatorState* state, ZRT_Handle handle, double deriv, const s_ZRT_ContribLoader*,
                   s_ZRT_DeviceInst* inst) {
    const double weight = state != nullptr ? asDelaySpec(state)->values[2] : 0.0;
    host().delayDerivs.push_back({state, handle, deriv, weight * deriv, inst});
}

void acceptDelay(ZRT_GenericOperatorState* state, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) {
    ++host().acceptDelayCalls;
    ZRT_DelaySpec* spec = asDelaySpec(state);
    ZRT_TimeValHist* h = spec != nullptr ? spec->pHist : nullptr;
    if (h == nullptr) {
        return;
    }
    if (h->count > 0 && spec->values[0] <= histTime(h, h->count - 1)) {
        return;  // no time has passed since the last accepted point
    }
    if (h->count < h->capacity) {
        const int32_t slot = (h->head + h->count) % h->capacity;
        h->times[slot] = spec->values[0];
        h->values[slot] = spec->values[1];
        ++h->count;
    } else {
        h->times[h->head] = spec->values[0];
        h->values[h->head] = spec->values[1];
        h->head = (h->head + 1) % h->capacity;
    }
}

void* saveCrossEvent(ZRT_EventDesc* event) {
    auto* saved = static_cast<ZRT_CrossEventState*>(ZRT_calloc(1, sizeof(ZRT_CrossEventState), nullptr, nullptr, nullptr));
    if (saved != nullptr) {
        auto it = host().crossStates.find(event);
        if (it != host().crossStates.end()) {
            *saved = it->second;
        }
        saved->tag = ZRT_CROSS_STATE_TAG;
    }
    return saved;
}

void restoreCrossEvent(ZRT_EventDesc* event, void* savedState) {
    ++host().crossRestores;
    host().crossStates[event] = *static_cast<const ZRT_CrossEventState*>(savedState);
}

// ---- end of delay states and cross events -------------------------------------

// ---- guarded mathematics and noise ------------------------------------------

void mathCheck(int32_t code, s_ZRT_DeviceInst* inst, int32_t line, const void* word,
               const s_ZRT_ContribLoader* loader) {
    host().mathChecks.push_back({code, inst, line, word, loader});
}

// ---- limiters -------------------------------------------------------------------

void reportLimitCorrection(s_ZRT_DeviceInst* inst, s_ZRT_SimInterface*) {
    host().limitCorrections.push_back(inst);
}

// ---- file slots ----------------------------------------------------------------

void recordFileCall(const char* slot, int32_t desc, void* handle, const char* fileText, uint32_t position,
                    s_ZRT_DeviceInst* inst) {
    host().fileCalls.push_back({slot, desc, handle, text(fileText), position, inst});
}

int32_t fileOpen(const char* name, const char* mode, void**, void**, int32_t, s_ZRT_DeviceInst* inst,
                 s_ZRT_SimInterface*) {
    recordFileCall("open", 0, nullptr, name, 0, inst);
    return host().openFile(name, mode);
}

void fileClose(int32_t desc, s_ZRT_DeviceInst* inst, s_ZRT_SimInterface*) {
    recordFileCall("close", desc, nullptr, nullptr, 0, inst);
    host().closeFile(desc);
}

void fileWrite(int32_t desc, const char* fileText, s_ZRT_DeviceInst* inst, s_ZRT_SimInterface*) {
    recordFileCall("write", desc, nullptr, fileText, 0, inst);
    if (std::FILE* f = host().file(desc)) {
        std::fputs(fileText, f);
    }
}

// "%as" reads one token into a text the host allocates (glibc's "%ms");
// every other format goes to fscanf with the one destination.
int32_t fileScan(int32_t desc, const char* format, void* dest, s_ZRT_DeviceInst* inst, s_ZRT_SimInterface*) {
    recordFileCall("scan", desc, nullptr, format, 0, inst);
    std::FILE* f = host().file(desc);
    if (f == nullptr) {
        return EOF;
    }
    if (std::strcmp(format, "%as") == 0) {
        char* token = nullptr;
        const int n = std::fscanf(f, "%ms", &token);
        if (n == 1) {
            host().keepScannedText(token);
            *static_cast<char**>(dest) = token;
        }
        return n;
    }
    return std::fscanf(f, format, dest);
}

void fileFlush(int32_t desc, s_ZRT_DeviceInst* inst, s_ZRT_SimInterface*) {
    recordFileCall("flush", desc, nullptr, nullptr, 0, inst);
    if (std::FILE* f = host().file(desc)) {
        std::fflush(f);
    }
}

void fileSeek(void* handle, uint32_t position, s_ZRT_DeviceInst* inst, s_ZRT_SimInterface*) {
    recordFileCall("seek", 0, handle, nullptr, position, inst);
    std::fseek(static_cast<std::FILE*>(handle), static_cast<long>(position), SEEK_SET);
}

uint32_t fileTell(void* handle, s_ZRT_DeviceInst* inst, s_ZRT_SimInterface*) {
    const uint32_t position = static_cast<uint32_t>(std::ftell(static_cast<std::FILE*>(handle)));
    recordFileCall("tell", 0, handle, nullptr, position, inst);
    return position;
}

int32_t fileEof(int32_t desc, s_ZRT_DeviceInst* inst, s_ZRT_SimInterface*) {
    recordFileCall("eof", desc, nullptr, nullptr, 0, inst);
    std::FILE* f = host().file(desc);
    return f != nullptr && std::feof(f) != 0 ? 1 : 0;
}

int32_t fileError(int32_t desc, char*, s_ZRT_DeviceInst* inst, s_ZRT_SimInterface*) {
    recordFileCall("error", desc, nullptr, nullptr, 0, inst);
    std::FILE* f = host().file(desc);
    return f != nullptr && std::ferror(f) != 0 ? 1 : 0;
}

// ---- events and time services ----------------------------------------------

uint32_t formAnalysisQueryMask(s_ZRT_SimInterface*, int32_t count, ...) {
    MaskQueryRecord record{count, {}};
    uint32_t mask = 0;
    va_list names;
    va_start(names, count);
    for (int32_t i = 0; i < count; ++i) {
        std::string name = text(va_arg(names, const char*));
        auto it = host().analysisBits.find(name);
        mask |= it != host().analysisBits.end() ? it->second : 0u;
        record.names.push_back(name);
    }
    va_end(names);
    host().maskQueries.push_back(std::move(record));
    return mask;
}

void doBoundStep(double step, int32_t reason, const s_ZRT_ContribLoader*, s_ZRT_DeviceInst* inst) {
    host().boundSteps.push_back({step, reason, inst});
}

void reportCrossViolation(double time, int32_t zero1, int32_t zero2, const s_ZRT_ContribLoader*,
                          s_ZRT_DeviceInst* inst) {
    host().crossViolations.push_back({time, zero1, zero2, inst});
}

double getMinStep(const s_ZRT_ContribLoader*, s_ZRT_DeviceInst*) { return host().minStep; }

// ---- simulator parameters and small-signal stimuli --------------------------

template <size_t N>
double simParamCallback(s_ZRT_DeviceInst* inst, double defaultValue) {
    TestHost& h = host();
    h.simParamCalls.push_back({N, inst, defaultValue});
    return h.simParamValues[N];
}

template <size_t... N>
constexpr std::array<ZRT_SimParamFn, sizeof...(N)> simParamCallbacks(std::index_sequence<N...>) {
    return {simParamCallback<N>...};
}

constexpr auto kSimParamCallbacks = simParamCallbacks(std::make_index_sequence<TestHost::kMaxSimParams>());

void loadRhsAC(void* stim, void* word1, void* word2, double value, const s_ZRT_ContribLoader*) {
    host().acLoads.push_back({stim, word1, word2, value});
}

int g_heapGrants = 0;
bool g_heapRefusesOnce = false;

// Counts one request down: the grants, then the refused request, then (a
// heap short for a moment) grants again.
bool heapGrants() {
    const int left = g_heapGrants--;
    return left > 0 || (g_heapRefusesOnce && left < 0);
}

void* limitedMalloc(size_t size) { return heapGrants() ? std::malloc(size) : nullptr; }
void* limitedCalloc(size_t count, size_t size) { return heapGrants() ? std::calloc(count, size) : nullptr; }

}  // namespace

void TestHost::freeDelaySpec(ZRT_GenericOperatorState* state) {
    ZRT_DelaySpec* spec = asDelaySpec(state);
    freeTimeValHist(spec->pHist);
    ZRT_free(spec);
    if (g_current != nullptr) {
        ++g_current->delaySpecsFreed;
    }
}

TestHost::TestHost() {
    if (g_current != nullptr) {
        throw std::logic_error("only one TestHost may be active");
    }
    g_current = this;

    sim.CreateSystemStateVar = createSystemStateVar;
    sim.CreateBranch = createBranch;
    sim.CreateStaticRhsStamp = createStaticRhsStamp;
    sim.CreateDynamicRhsStamp = createDynamicRhsStamp;
    sim.CreateDelayStamp = createDelayStamp;
    sim.ReportNoiseContrib = reportNoiseContrib;
    sim.CreateDerivDoublet = createDerivDoublet;
    sim.CreateJacobianStamp = createJacobianStamp;
    sim.FormAnalysisQueryMask = formAnalysisQueryMask;
    sim.Message = message;
    sim.SystemTask = systemTask;
    sim.CreateRandomDesc = createRandomDesc;
    sim.ReportTopology = reportTopology;
    sim.MathCheck = mathCheck;
    sim.ReportLimitCorrection = reportLimitCorrection;
    sim.pLinAlg = lapackTable();

    loader.LoadStaticRhs = loadStaticRhs;
    loader.LoadDynamicRhs = loadDynamicRhs;
    loader.LoadStaticJacobian = loadStaticJacobian;
    loader.LoadStaticDoublet = loadStaticDoublet;
    loader.LoadDynamicJacobian = loadDynamicJacobian;
    loader.LoadDynamicDoublet = loadDynamicDoublet;
    loader.GetSol = getSol;
    loader.DoNoise = answerDoNoise;
    loader.IsInitialStep = answerIsInitialStep;
    loader.IsFinalStep = answerIsFinalStep;
    loader.GetTime = getTime;
    loader.GetDefault = getDefault;
    loader.GetAnalysisQueryMask = getAnalysisQueryMask;
    loader.pAMS = &ams;

    // Delay states and cross events.
    sim.CreateDelaySpec = createDelaySpec;
    sim.CopyDelaySpec = copyDelaySpec;
    sim.SaveCrossEvent = saveCrossEvent;
    sim.RestoreCrossEvent = restoreCrossEvent;
    loader.LoadDelay = loadDelay;
    loader.LoadDelay_dwrt = loadDelayDwrt;
    loader.AcceptDelay = acceptDelay;
    installFileSlots();

    // ---- events and time services ----
    analysisBits = {{"ac", 1},      {"dc", 2},  {"noise", 4},  {"tran", 8},   {"ic", 16},  {"static", 32},
                    {"nodeset", 64}, {"hb", 128}, {"env", 256}, {"pss", 512}, {"xf", 1024}, {"all", 2048}};
    loader.DoBoundStep = doBoundStep;
    loader.ReportCrossViolation = reportCrossViolation;

    // ---- simulator parameters and small-signal stimuli ----
    loader.LoadRhsAC = loadRhsAC;
}

void TestHost::setSimParam(const std::string& name, double value) {
    for (size_t i = 0; i < simParamNames_.size(); ++i) {
        if (simParamNames_[i] == name) {
            simParamValues[i] = value;
            return;
        }
    }
    if (simParamTable_.size() >= kMaxSimParams) {
        throw std::logic_error("too many simulator parameters");
    }
    simParamTable_.reserve(kMaxSimParams);
    simParamNames_.push_back(name);
    simParamValues.push_back(value);
    simParamTable_.push_back({simParamNames_.back().c_str(), kSimParamCallbacks[simParamTable_.size()]});
    sim.simParams = simParamTable_.data();
    sim.numSimParams = static_cast<uint32_t>(simParamTable_.size());
}

void TestHost::setMinStep(double step) {
    minStep = step;
    loader.GetMinStep = getMinStep;
}

LimitedHeap::LimitedHeap(int grants, bool refuseOnce) : saved_(zrtAllocator()) {
    g_heapGrants = grants;
    g_heapRefusesOnce = refuseOnce;
    zrtAllocator().malloc = limitedMalloc;
    zrtAllocator().calloc = limitedCalloc;
}

LimitedHeap::~LimitedHeap() { zrtAllocator() = saved_; }

bool LimitedHeap::refused() const { return g_heapGrants < 0; }

TestHost::~TestHost() {
    releaseFiles();
    g_current = nullptr;
}

TestHost& TestHost::current() {
    if (g_current == nullptr) {
        std::fprintf(stderr, "test host callback without an active TestHost\n");
        std::abort();
    }
    return *g_current;
}

const StampRecord* TestHost::findStamp(ZRT_Handle handle) const {
    for (const StampRecord& record : stamps) {
        if (record.handle == handle) {
            return &record;
        }
    }
    return nullptr;
}

int TestHost::exitCount() const {
    int count = 0;
    for (const TaskRecord& task : tasks) {
        count += task.task == "exit";
    }
    return count;
}

void TestHost::clearRecords() {
    messages.clear();
    tasks.clear();
    branches.clear();
    systemVars.clear();
    stamps.clear();
    noiseReports.clear();
    topology.clear();
    loads.clear();
    getSolCalls = 0;
    doNoiseCalls = 0;
    mathChecks.clear();
    defaultQueries.clear();
    fileCalls.clear();
    maskQueries.clear();
    boundSteps.clear();
    crossViolations.clear();
    isInitialStepCalls = 0;
    isFinalStepCalls = 0;
    limitCorrections.clear();
}

TestInstance::TestInstance(TestHost& host, s_ZRT_ModuleDesc* md, const Shape& shape, const char* name)
    : realParams(static_cast<size_t>(shape.realParams), 0.0),
      intParams(static_cast<size_t>(shape.intParams), 0),
      events(static_cast<size_t>(shape.events), nullptr),
      limexps(static_cast<size_t>(shape.limexps), nullptr),
      fileDescs(static_cast<size_t>(shape.fileDescs), nullptr),
      noiseSrcs(static_cast<size_t>(shape.noiseSrcs), ZRT_NoiseSrc{}),
      name_(name) {
    if (!realParams.empty()) {
        realParams[0] = 1.0;  // multiplicity
    }
    auto newNode = [&]() {
        ownedNodes_.push_back(std::make_unique<s_ZRT_StateVar>());
        ownedNodes_.back()->index = host.newIndex();
        return ownedNodes_.back().get();
    };
    for (int i = 0; i < shape.externalNodes; ++i) {
        nodeVars.push_back(newNode());
    }
    for (int i = 0; i < shape.internalNodes; ++i) {
        internalVars.push_back(newNode());
    }
    internalVars.resize(internalVars.size() + static_cast<size_t>(shape.branchSlots), nullptr);

    inst_.name = name_.c_str();
    inst_.realParams = realParams.data();
    inst_.intParams = intParams.data();
    inst_.nodeVars = nodeVars.data();
    inst_.internalVars = internalVars.data();
    inst_.events = events.data();
    inst_.limexps = limexps.data();
    inst_.fileDescs = fileDescs.data();
    inst_.noiseSrcs = noiseSrcs.empty() ? nullptr : noiseSrcs.data();
    inst_.pMD = md;
    inst_.pSim = &host.sim;
}

TestInstance::~TestInstance() {
    // What the library leaves to the host at the end of an instance.
    std::free(inst_.msgDupHashes);
    for (ZRT_NoiseSrc& src : noiseSrcs) {
        for (s_ZRT_NoiseContrib* node = src.contribs; node != nullptr;) {
            s_ZRT_NoiseContrib* next = node->next;
            std::free(node);
            node = next;
        }
    }
    for (s_ZRT_LimexpDesc* desc : limexps) {
        std::free(desc);
    }
    for (ZRT_FileDesc* d : fileDescs) {
        std::free(d);
    }

    // ---- state variables, branches, events and time services ----
    for (ZRT_StateVarNode* node = inst_.stateVars; node != nullptr;) {
        ZRT_StateVarNode* next = node->pNext;
        std::free(node->pStateVar->name);
        std::free(node->pStateVar->branch);
        std::free(node->pStateVar);
        std::free(node);
        node = next;
    }
    std::free(inst_.pTerminate);
    // Events: step masks are the language's, timer records and descriptors
    // ZRT_calloc's. This host makes no cross or above events of its own.
    for (ZRT_EventDesc* event : events) {
        if (event == nullptr) {
            continue;
        }
        if (event->eventType == ZRT_EVT_INITIAL_STEP || event->eventType == ZRT_EVT_FINAL_STEP) {
            delete static_cast<uint32_t*>(event->info);
        } else if (event->eventType == ZRT_EVT_TIMER) {
            std::free(event->info);
        }
        std::free(event);
    }
}


// ---- files ------------------------------------------------------------------

void TestHost::installFileSlots() {
    sim.FileOpen = fileOpen;
    sim.FileClose = fileClose;
    sim.FileWrite = fileWrite;
    sim.FileScan = fileScan;
    sim.FileFlush = fileFlush;
    sim.FileSeek = fileSeek;
    sim.FileTell = fileTell;
    sim.FileEof = fileEof;
    sim.FileError = fileError;
}

void TestHost::releaseFiles() {
    for (auto& [desc, f] : files_) {
        std::fclose(f);
    }
    files_.clear();
    for (char* t : scannedTexts_) {
        std::free(t);
    }
    scannedTexts_.clear();
    if (!fileDir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(fileDir_, ignored);
    }
}

std::string TestHost::filePath(const std::string& name) {
    if (fileDir_.empty()) {
        static int serial = 0;
        fileDir_ = std::filesystem::temp_directory_path() /
                   ("zrt_test_host_" + std::to_string(::getpid()) + "_" + std::to_string(++serial));
        std::filesystem::create_directories(fileDir_);
    }
    return (fileDir_ / name).string();
}

std::FILE* TestHost::file(int32_t desc) const {
    auto it = files_.find(desc);
    return it != files_.end() ? it->second : nullptr;
}

void* TestHost::fileHandle(int32_t desc) const { return file(desc); }

int32_t TestHost::openFile(const char* name, const char* mode) {
    // Binary, so that files hold the same bytes and positions on Windows.
    std::string binaryMode = mode != nullptr ? mode : "r";
    if (binaryMode.find('b') == std::string::npos) {
        binaryMode += 'b';
    }
    std::FILE* f = std::fopen(name, binaryMode.c_str());
    if (f == nullptr) {
        return 0;
    }
    files_[nextFileDesc_] = f;
    return nextFileDesc_++;
}

void TestHost::closeFile(int32_t desc) {
    auto it = files_.find(desc);
    if (it != files_.end()) {
        std::fclose(it->second);
        files_.erase(it);
    }
}

s_ZRT_Array* realArray(s_ZRT_SimInterface* sim, const double* values, size_t count, bool variable) {
    s_ZRT_Array* a = variable ? ZRT_createArrayVar(ZRT_REAL_ARRAY, "coeffs", sim)
                              : ZRT_createArray(ZRT_REAL_ARRAY, "coeffs", sim);
    if (count > 0) {
        ZRT_setArrayBounds(a, 0, static_cast<int32_t>(count) - 1);
        for (size_t i = 0; i < count; ++i) {
            ZRT_setArrayReal(a, static_cast<int32_t>(i), values[i]);
        }
    }
    return a;
}

}  // namespace testhost
