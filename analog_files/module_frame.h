// The frame every model module is built on: registration, the private block,
// the instance lifecycle, the topology callbacks driven by the family's
// tables, and the exported analog functions. A module source supplies a
// traits type M (names, sizes, flags, source lines, its family's topology and
// its equations) and instantiates Module<M>; everything here has internal
// linkage in that module.
//
// M provides:
//   sourceName, assertLine, moduleFlags
//   numModelVars, numIntVars, memoryVars (model-variable numbers of the
//   memory values), hasDelayOp, numHistory, numCollapse
//   Topology: the family's tables (topology.h)
//   report: the module's topology report rows
//   Equations: initialStep(load) and evaluate(load) on the model variables
//   (equation_kit.h), the numbering of the model variables by which they
//   read them (numbering.h) and qcLine, the source line of their qc_diode
//   division, which the exported qc_diode shares
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "dsl/ZRT_SupportLib.h"
#include "analog_files/equation_kit.h"
#include "analog_files/host_contract.h"
#include "analog_files/topology.h"

// The registration exports: the only symbols the library gives the host.
#ifdef _WIN32
#define HBX_EXPORT extern "C" __declspec(dllexport)
#else
#define HBX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace hbx {

// What a module's traits do not state takes these values.
struct ModuleTraits {
    static constexpr uint32_t moduleFlags = 0;
    static constexpr int32_t numIntVars = 0;
    static constexpr std::array<int32_t, 0> memoryVars{};
    static constexpr bool hasDelayOp = false;
};

// N values of T in place; with N = 0 an empty member that takes no room in
// the block (with [[no_unique_address]]).
template <class T, size_t N>
struct Slots {
    T v[N];
    static constexpr size_t size() { return N; }
    T& operator[](size_t i) { return v[i]; }
    const T& operator[](size_t i) const { return v[i]; }
    T* data() { return v; }
    const T* data() const { return v; }
    void fill(const T& x) {
        for (T& e : v) {
            e = x;
        }
    }
};
template <class T>
struct Slots<T, 0> {
    static constexpr size_t size() { return 0; }
    [[noreturn]] T& operator[](size_t) const { ZRT_assertFail("index into an empty member", __FILE__, __LINE__); }
    T* data() { return nullptr; }
    const T* data() const { return nullptr; }
    void fill(const T&) {}
};

template <class T, size_t N>
void copySlots(Slots<T, N>& to, const Slots<T, N>& from) {
    for (size_t i = 0; i < N; ++i) {
        to[i] = from[i];
    }
}

// The result of a standard function of parameters and model constants alone,
// kept with the bits of the arguments it was computed from (nothing kept
// while `known` is 0).
struct KeptValue {
    uint64_t arguments[2];
    double result;
    uint64_t known;
};

// The private block of one instance, in this order: clone function, model
// variables, integer model variables, execute-invariant flag, the four
// stamp-handle lists, memory values, absdelay operator, history values,
// derivative handles of the delayed quantity, mixed-signal indices, collapse
// bytes, branch counter, kept results. Members a module lacks take no room.
// Only the first word, the clone function, is seen by the host.
template <class M>
struct ModuleBlock {
    using T = typename M::Topology;
    ZRT_CloneFn clone;
    Slots<double, M::numModelVars> vars;
    [[no_unique_address]] Slots<int32_t, M::numIntVars> intVars;
    int32_t execInvariant;
    Slots<ZRT_Handle, T::numRR> rr;
    Slots<ZRT_Handle, T::numRD> rd;
    Slots<ZRT_Handle, T::numJR> jr;
    Slots<ZRT_Handle, T::numJD> jd;
    [[no_unique_address]] Slots<double, M::memoryVars.size()> memory;
    [[no_unique_address]] Slots<ZRT_OpBranch_delay*, M::hasDelayOp ? 1 : 0> delayOp;
    Slots<double, M::numHistory> history;
    [[no_unique_address]] Slots<ZRT_Handle, M::hasDelayOp ? 4 : 0> derivHandles;
    Slots<int32_t, 4> amsIndices;
    Slots<uint8_t, M::numCollapse> collapsed;
    int32_t branchCounter;
    [[no_unique_address]] Slots<KeptValue, M::Equations::numKept> kept;
};

template <class M>
struct Module {
    using Block = ModuleBlock<M>;
    using Topo = typename M::Topology;
    static_assert(std::is_trivially_copyable_v<Block>, "the block is allocated zeroed and copied bytewise");
    static_assert(M::Equations::numbering.count == M::numModelVars, "the numbering places every model variable");

    static Block* block(s_ZRT_DeviceInst* inst) { return static_cast<Block*>(inst->pModuleData); }

    // ---- tables handed to the host --------------------------------------

    static constexpr ZRT_OutVarDesc OutVarDescArray__module1[1] = {{nullptr, 5, 0, 0, -1}};
    static constexpr const char* _module1_D2A_ImportNames[1] = {""};
    static constexpr int32_t _module1_D2A_ImportEvents[2] = {-1, 0};
    // Writable storage of this module alone: the host may fill it.
    static inline uint8_t _module1_D2A_ImportTypes[16] = {};
    static inline int32_t _module1_AMS_Sizes[4] = {};

    // ---- exported analog functions --------------------------------------

    static ZRT_TaggedValue* result(ZRT_TaggedValue* out, double value) {
        out->tag = ZRT_TAG_REAL;
        out->pad = 0;
        out->value.r = value;
        return out;
    }

    // Arguments are converted from the last to the first.
    static ZRT_TaggedValue* _fnWrap__module1_ln_cosh(ZRT_TaggedValue* out, ZRT_TaggedValue* args, void*,
                                                     s_ZRT_DeviceInst* inst) {
        const double x = convToReal(args[0], inst);
        return result(out, hbx::ln_cosh(x));
    }
    static ZRT_TaggedValue* _fnWrap__module1_max_smooth(ZRT_TaggedValue* out, ZRT_TaggedValue* args, void*,
                                                        s_ZRT_DeviceInst* inst) {
        const double e = convToReal(args[2], inst);
        const double y = convToReal(args[1], inst);
        const double x = convToReal(args[0], inst);
        return result(out, smin(x, y, e));  // (d - r) / 2 + y: the smooth minimum
    }
    static ZRT_TaggedValue* _fnWrap__module1_min_smooth(ZRT_TaggedValue* out, ZRT_TaggedValue* args, void*,
                                                        s_ZRT_DeviceInst* inst) {
        const double e = convToReal(args[2], inst);
        const double y = convToReal(args[1], inst);
        const double x = convToReal(args[0], inst);
        return result(out, smax(x, y, e));  // (d + r) / 2 + y: the smooth maximum
    }
    static ZRT_TaggedValue* _fnWrap__module1_qc_diode(ZRT_TaggedValue* out, ZRT_TaggedValue* args, void*,
                                                      s_ZRT_DeviceInst* inst) {
        double a[6];
        for (int i = 5; i >= 0; --i) {
            a[i] = convToReal(args[i], inst);
        }
        // Its division passes no loader.
        const DivSite site{inst, nullptr};
        return result(out, hbx::qc_diode<false>(site, M::Equations::qcLine, kQcExported, a[0], a[1], a[2], a[3], a[5] - a[4]).q);
    }
    static ZRT_TaggedValue* _fnWrap__module1_sign(ZRT_TaggedValue* out, ZRT_TaggedValue* args, void*,
                                                  s_ZRT_DeviceInst* inst) {
        const double x = convToReal(args[0], inst);
        return result(out, 1.0 < x ? 1.0 : -1.0);  // the threshold is 1.0: sign(0.5) and sign(1.0) are -1.0
    }

    // Ascending byte order of the names; no terminating row.
    static constexpr ZRT_ExportFuncDesc _module1_ExportFuncArray[5] = {
        {"ln_cosh", 1, _fnWrap__module1_ln_cosh},
        {"max_smooth", 3, _fnWrap__module1_max_smooth},
        {"min_smooth", 3, _fnWrap__module1_min_smooth},
        {"qc_diode", 6, _fnWrap__module1_qc_diode},
        {"sign", 1, _fnWrap__module1_sign},
    };

    // ---- lifecycle --------------------------------------------------------

    static void _module1_initPersistentVariables(Block* b) {
        b->vars.fill(0.0);
        b->intVars.fill(0);
    }

    static constexpr HostNeeds kHostNeeds = needsOf<Topo>(M::hasDelayOp);

    // 0 when the host broke its contract (reported) or the block could not
    // be had (the host's "exit" returned): every later callback then finds no
    // block and does nothing.
    static int32_t _module1_finalizeAnalogTopology(s_ZRT_DeviceInst* inst) {
        if (inst == nullptr) {
            return 0;
        }
        inst->pModuleData = nullptr;
        if (!hostKeepsContract(inst, kHostNeeds)) {
            return 0;
        }
        auto* b = static_cast<Block*>(ZRT_calloc(1, sizeof(Block), inst->pSim, nullptr, nullptr));
        inst->pModuleData = b;
        if (b == nullptr) {
            return 0;
        }
        b->clone = _module1_clone;
        b->execInvariant = 1;
        if constexpr (M::hasDelayOp) {
            b->delayOp[0] = nullptr;
        }
        inst->limexps[0] = ZRT_createLimexp(inst, 0, 0, 0);
        for (int k = 0; k < 4; ++k) {
            ZRT_setNoiseSrcInfo(&inst->noiseSrcs[k], ZRT_WHITE_NOISE_SRC, 0, "__white__", inst);
        }
        inst->events[0] = ZRT_createSimEvent_initial_step(inst, 0);
        ZRT_initFileDescs(inst);
        _module1_initPersistentVariables(b);
        b->memory.fill(0.0);
        inst->flags &= static_cast<uint8_t>(~ZRT_INST_MEMORY_RESET);
        if constexpr (M::hasDelayOp) {
            b->delayOp[0] = ZRT_createOpBranch_delay("_opdelay8", inst);
        }
        return 1;
    }

    static void _module1_createSystemStateVars(s_ZRT_DeviceInst* inst, void* hostData) {
        if constexpr (M::hasDelayOp) {
            if (Block* b = block(inst)) {
                ZRT_delayFinalizeTopology(b->delayOp[0], hostData, nullptr);
            }
        } else {
            (void)inst;
            (void)hostData;
        }
    }

    static void _module1_doAnalogInitial(s_ZRT_DeviceInst* inst) {
        inst->flags &= static_cast<uint8_t>(~ZRT_INST_MEMORY_RESET);
    }

    static void _module1_doAnalogStrobe(s_ZRT_DeviceInst*) {}
    static void _module1_AMS_GetArraySizes(s_ZRT_DeviceInst*) {}

    static void storeMemoryValues(Block* b) {
        for (size_t i = 0; i < M::memoryVars.size(); ++i) {
            b->memory[i] = b->vars[M::memoryVars[i]];
        }
    }

    static void _module1_setMemoryStates(s_ZRT_DeviceInst* inst) {
        if (Block* b = block(inst)) {
            storeMemoryValues(b);
        }
    }

    static void _module1_tranAcceptPoint(s_ZRT_DeviceInst* inst, const s_ZRT_ContribLoader* loader) {
        Block* b = block(inst);
        if (b == nullptr) {
            return;
        }
        storeMemoryValues(b);
        if constexpr (M::hasDelayOp) {
            ZRT_delayAcceptTimePoint(b->delayOp[0], loader);
        } else {
            (void)loader;
        }
    }

    static void _module1_resetMemoryStates(s_ZRT_DeviceInst* inst) {
        Block* b = block(inst);
        if (b == nullptr) {
            return;
        }
        b->memory.fill(0.0);
        b->execInvariant = 1;
        _module1_initPersistentVariables(b);
        if constexpr (M::hasDelayOp) {
            ZRT_delayReset(b->delayOp[0]);
        }
        inst->flags |= ZRT_INST_MEMORY_RESET;
    }

    static void _module1_forceExecInvarCode(s_ZRT_DeviceInst* inst, int32_t value) {
        if (Block* b = block(inst)) {
            b->execInvariant = value != 0 ? 1 : 0;
        }
    }

    // Rows whose index lies outside the module's variables keep their value,
    // as rows of an unknown type do.
    static void _module1_getOutVarInfo(int32_t count, const ZRT_OutVarDesc* rows, ZRT_OutVarInfo* results,
                                       s_ZRT_DeviceInst* inst) {
        Block* b = block(inst);
        for (int32_t i = 0; b != nullptr && i < count; ++i) {
            const ZRT_OutVarDesc& row = rows[i];
            results[i].row = &row;
            if (row.type == 0 && row.index >= 0 && row.index < M::numModelVars) {
                results[i].value.r = b->vars[row.index];
            } else if (row.type == 1 && row.index >= 0 && row.index < M::numIntVars) {
                results[i].value.i = b->intVars[row.index];
            }
        }
    }

    static void _module1_setAMS_Indices(s_ZRT_DeviceInst* inst, int32_t i0, int32_t i1, int32_t i2, int32_t i3) {
        Block* b = block(inst);
        if (b == nullptr) {
            return;
        }
        const int32_t indices[4] = {i0, i1, i2, i3};
        for (int k = 0; k < 4; ++k) {
            if (_module1_AMS_Sizes[k] > 0) {
                b->amsIndices[k] = indices[k];
            }
        }
    }

    // (source block, allocating instance, operator instance) -> a copy of the
    // whole block; a birch block's operator is cloned onto the operator
    // instance. The copy is stored in no instance. A block whose operator
    // could not be cloned is no copy: it is released and the answer is null.
    static void* _module1_clone(void* source, s_ZRT_DeviceInst* allocInst, s_ZRT_DeviceInst* opInst) {
        if (source == nullptr) {
            return nullptr;
        }
        s_ZRT_SimInterface* sim = simOf(allocInst);
        auto* copy = static_cast<Block*>(ZRT_calloc(1, sizeof(Block), sim, allocInst, nullptr));
        if (copy == nullptr) {
            return nullptr;
        }
        std::memcpy(copy, source, sizeof(Block));
        if constexpr (M::hasDelayOp) {
            copy->delayOp[0] = ZRT_OpClone_delay(static_cast<Block*>(source)->delayOp[0], opInst);
            if (copy->delayOp[0] == nullptr) {
                ZRT_free(copy);
                return nullptr;
            }
        } else {
            (void)opInst;
        }
        return copy;
    }

    static void _module1_destroyInst(s_ZRT_DeviceInst* inst) {
        Block* b = block(inst);
        if (b == nullptr) {
            return;
        }
        if constexpr (M::hasDelayOp) {
            ZRT_destroyOpBranch_delay(b->delayOp[0]);
        }
        ZRT_free(b);
    }

    // ---- topology ---------------------------------------------------------

    static HBX_INLINE s_ZRT_StateVar* node(s_ZRT_DeviceInst* inst, Block* b, NodeRef ref) {
        switch (ref.where) {
        case Where::First:
            return inst->nodeVars != nullptr ? inst->nodeVars[ref.slot] : nullptr;
        case Where::Second:
            return inst->internalVars != nullptr ? inst->internalVars[ref.slot] : nullptr;
        case Where::OpBranch:
            if constexpr (M::hasDelayOp) {
                return ZRT_getBranchVar_delay(b->delayOp[0]);
            }
            return nullptr;
        case Where::Ground:
            break;
        }
        return nullptr;
    }

    // The instance an unknown is read with: the operator's own for its branch
    // variable (a clone may hold it for another instance than the one that
    // loads), the loading instance for every node.
    static HBX_INLINE s_ZRT_DeviceInst* operatorReader(s_ZRT_DeviceInst* inst, Block* b, NodeRef ref) {
        if constexpr (M::hasDelayOp) {
            if (ref.where == Where::OpBranch && b->delayOp[0] != nullptr) {
                return b->delayOp[0]->inst;
            }
        } else {
            (void)b;
            (void)ref;
        }
        return inst;
    }

    static void _module1_createBranches(s_ZRT_DeviceInst* inst, void* hostData) {
        Block* b = block(inst);
        if (b == nullptr) {
            return;
        }
        b->branchCounter = 0;
        for (const BranchSpec& spec : Topo::branches) {
            s_ZRT_StateVar* sv = ZRT_CreateBranchStateVar(spec.name, ZRT_BRANCH_DEFAULT, node(inst, b, spec.pos),
                                                          node(inst, b, spec.neg), inst, hostData);
            uint8_t collapsed = 0;
            // A variable that came back without a branch record (the host's
            // "exit" returned after an allocation failure) is kept as it is.
            if (sv != nullptr && sv->branch != nullptr) {
                if (sv->branch->branchNumber < 0) {
                    sv->branch->branchNumber = b->branchCounter++;
                }
                collapsed = sv->branch->useCount > 1 ? 1 : 0;
            }
            b->collapsed[spec.collapse] = collapsed;
            inst->internalVars[spec.slot] = sv;
        }
    }

    static void _module1_reportTopology(s_ZRT_DeviceInst* inst, void* hostData) {
        Block* b = block(inst);
        if (b == nullptr || inst->pSim == nullptr || inst->pSim->ReportTopology == nullptr) {
            return;
        }
        for (const ReportRow& row : M::report) {
            if (b->collapsed[row.collapse] == 0) {
                inst->pSim->ReportTopology(node(inst, b, row.a), node(inst, b, row.b), row.kind, row.name,
                                           inst, hostData);
            }
        }
    }

    static void _module1_setAnalogStamp(s_ZRT_DeviceInst* inst, void* hostData) {
        Block* b = block(inst);
        if (b == nullptr) {
            return;
        }
        s_ZRT_SimInterface* sim = inst->pSim;
        if constexpr (M::hasDelayOp) {
            for (size_t k = 0; k < 4; ++k) {
                const auto& pair = Topo::delayDoublets[k];
                b->derivHandles[k] = ZRT_getDerivDoubletOpBranch_delay(
                    b->delayOp[0], node(inst, b, pair[0]), node(inst, b, pair[1]), 0, 1, hostData);
            }
        }
        for (const StampSlot& slot : Topo::order) {
            const size_t p = slot.position;
            switch (slot.list) {
            case StampList::StaticRhs: {
                const StampEntry& e = Topo::rr[p];
                b->rr[p] = sim->CreateStaticRhsStamp(node(inst, b, e.a), node(inst, b, e.b), e.flag, inst,
                                                     hostData);
                break;
            }
            case StampList::DynamicRhs: {
                const StampEntry& e = Topo::rd[p];
                b->rd[p] = sim->CreateDynamicRhsStamp(node(inst, b, e.a), node(inst, b, e.b), e.flag, inst,
                                                      hostData);
                break;
            }
            case StampList::StaticJacobian: {
                const StampEntry& e = Topo::jr[p];
                b->jr[p] = sim->CreateJacobianStamp(node(inst, b, e.a), node(inst, b, e.b), node(inst, b, e.c),
                                                    node(inst, b, e.d), 0, e.flag, inst, hostData);
                break;
            }
            case StampList::DynamicJacobian: {
                const StampEntry& e = Topo::jd[p];
                b->jd[p] = sim->CreateJacobianStamp(node(inst, b, e.a), node(inst, b, e.b), node(inst, b, e.c),
                                                    node(inst, b, e.d), 1, e.flag, inst, hostData);
                break;
            }
            }
        }
        if constexpr (M::hasDelayOp) {
            ZRT_delaySetStamp(b->delayOp[0], hostData);
        }
        for (int32_t k = 0; k < 4; ++k) {
            ZRT_reportNoiseContrib(inst, k, b->rr[Topo::noiseRR[k]], hostData);
        }
    }

    // ---- loads ------------------------------------------------------------

    // The loader's DoNoise; a loader without the slot runs no noise analysis.
    static bool noiseAnalysis(const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst) {
        return loader->DoNoise != nullptr && loader->DoNoise(loader, inst) != 0;
    }

    // A node's place among the solutions one load has read: the first array,
    // the second array, the operator's branch.
    static constexpr size_t kFirstSlots = 16, kSecondSlots = 40;
    static constexpr size_t kSolSlots = kFirstSlots + kSecondSlots + 1;
    static_assert(kSolSlots <= 64, "one bit a node in the read mask");
    static constexpr size_t solSlot(NodeRef ref) {
        switch (ref.where) {
        case Where::First:
            ZRT_ASSERT(ref.slot < kFirstSlots);
            return ref.slot;
        case Where::Second:
            ZRT_ASSERT(ref.slot < kSecondSlots);
            return kFirstSlots + ref.slot;
        default:
            return kSolSlots - 1;
        }
    }

    // The nodes and branch flows a load reads: the columns of the Jacobian
    // lists (what the residuals depend on), each once, in list order. A load
    // reads them all from the host before its equations run.
    struct SolutionReads {
        std::array<NodeRef, kSolSlots> refs{};
        size_t count = 0;
        uint64_t mask = 0;  // bit solSlot(ref) of every ref read
    };
    static constexpr SolutionReads kReads = [] {
        SolutionReads r;
        const auto add = [&r](NodeRef ref) {
            const uint64_t bit = uint64_t{1} << solSlot(ref);
            if (ref.where != Where::Ground && (r.mask & bit) == 0) {
                r.mask |= bit;
                r.refs[r.count++] = ref;
            }
        };
        for (const StampEntry& e : Topo::jr) {
            add(e.c);
            add(e.d);
        }
        for (const StampEntry& e : Topo::jd) {
            add(e.c);
            add(e.d);
        }
        return r;
    }();

    // What a model's equations see of one load call.
    template <bool Full>
    struct Load {
        s_ZRT_DeviceInst* inst;
        const s_ZRT_ContribLoader* loader;
        Block* b;
        double* rr;
        double* rd;
        double* jr;  // null in the right-hand-side load
        double* jd;
        const double* P;
        const int32_t* N;


        // The solutions of this load by solSlot, those of kReads read.
        const double* sol;

        static constexpr bool full = Full;
        double* vars() const { return b->vars.data(); }
        double* history() const { return b->history.data(); }

        // A pair of history values over one smoothing stretch of the model
        // source: while the invariants are due both are zeroed with the
        // model variable, else the second is copied into it (which the
        // stretch then computes anew).
        void historyPair(size_t h, double& var) const {
            ZRT_ASSERT(h + 1 < M::numHistory);
            double* H = history();
            if (invariantsDue()) {
                H[h] = 0.0;
                H[h + 1] = 0.0;
                var = 0.0;
            } else {
                var = H[h + 1];
            }
        }
        bool invariantsDue() const { return b->execInvariant != 0; }

        // f(x) or f(x, y) for arguments that depend only on parameters and
        // model constants: the result kept in the slot when the arguments are
        // the same to the bit, else computed and kept. Every load gives the
        // value that a call of f on that load gives; most loads skip the call.
        template <class F>
        HBX_INLINE double kept(size_t slot, F f, double x) const {
            return keptOf(slot, [&] { return f(x); }, x, 0.0);
        }
        template <class F>
        HBX_INLINE double kept(size_t slot, F f, double x, double y) const {
            return keptOf(slot, [&] { return f(x, y); }, x, y);
        }
        template <class G>
        HBX_INLINE double keptOf(size_t slot, G compute, double x, double y) const {
            KeptValue& k = b->kept[slot];
            const uint64_t bx = std::bit_cast<uint64_t>(x), by = std::bit_cast<uint64_t>(y);
            if (k.known == 0 || k.arguments[0] != bx || k.arguments[1] != by) {
                k = {{bx, by}, compute(), 1};
            }
            return k.result;
        }
        DivSite site() const { return {inst, loader}; }
        s_ZRT_LimexpDesc* limexpDesc() const { return inst->limexps[0]; }

        // Present solution of a node or branch flow.
        HBX_INLINE double V(NodeRef ref) const {
            if (ref.where == Where::Ground) {
                return 0.0;
            }
            const size_t at = solSlot(ref);
            ZRT_ASSERT((kReads.mask >> at & 1u) != 0);
            return sol[at];
        }
        HBX_INLINE double V(NodeRef a, NodeRef c) const {
            const double va = V(a);
            return va - V(c);
        }

        // Noise source k at its point of the evaluation: in the full load the
        // loader is asked again, and during a noise analysis the source gets
        // its power and a contribution of sqrt(multiplicity) on the residual
        // entry it drives.
        void noise(int k, double power) const {
            if constexpr (Full) {
                if (noiseAnalysis(loader, inst)) {
                    ZRT_NoiseSrc* src = &inst->noiseSrcs[k];
                    ZRT_setWhiteNoisePwr(src, power);
                    ZRT_addNoise(src, b->rr[Topo::noiseRR[k]], std::sqrt(P[0]), loader);
                }
            } else {
                (void)k;
                (void)power;
            }
        }
    };

    // Asks for every cache line of the block that the load uses at once:
    // with many instances the block is rarely cached, and lines fetched
    // together arrive in the time of one instead of one after another as the
    // equations reach them. The right-hand-side load leaves out the Jacobian
    // handle lists.
    static HBX_INLINE void prefetchBytes(const Block* b, size_t from, size_t to) {
        constexpr size_t kLine = 64;
        const char* bytes = reinterpret_cast<const char*>(b);
#pragma GCC unroll 128
        for (size_t at = from; at < to; at += kLine) {
            __builtin_prefetch(bytes + at, 1);
        }
        __builtin_prefetch(bytes + to - 1, 1);
    }
    template <bool Full>
    static HBX_INLINE void prefetchBlock(const Block* b) {
        if constexpr (Full) {
            prefetchBytes(b, 0, sizeof(Block));
        } else {
            static_assert(std::is_standard_layout_v<Block>, "member offsets are known");
            prefetchBytes(b, 0, offsetof(Block, jr));
            prefetchBytes(b, offsetof(Block, jd) + sizeof(Block::jd), sizeof(Block));
        }
    }

    template <bool Full>
    static void load(s_ZRT_DeviceInst* inst, const s_ZRT_ContribLoader* loader) {
        Block* b = block(inst);
        if (b == nullptr) {
            return;
        }
        prefetchBlock<Full>(b);
        constexpr size_t nJR = Full ? Topo::numJR : 1, nJD = Full ? Topo::numJD : 1;
        double rr[Topo::numRR] = {};
        double rd[Topo::numRD] = {};
        double jr[nJR] = {};
        double jd[nJD] = {};

        if (noiseAnalysis(loader, inst)) {
            for (int k = 0; k < 4; ++k) {
                ZRT_clearNoiseSrc(&inst->noiseSrcs[k]);
            }
        }
        if (inst->pTimeControl != nullptr) {
            ZRT_InitTimeControlData(inst->pTimeControl);
        }
        if (inst->pTerminate != nullptr) {
            ZRT_InitTerminateRequest(inst->pTerminate);
        }
        inst->flags &= static_cast<uint8_t>(~ZRT_INST_MEMORY_RESET);
        for (size_t i = 0; i < M::memoryVars.size(); ++i) {
            b->vars[M::memoryVars[i]] = b->memory[i];
        }

        double sol[kSolSlots];
        const Load<Full> c{inst,    loader,          b,       rr, rd, Full ? jr : nullptr, Full ? jd : nullptr,
                           inst->realParams, inst->intParams, sol};
        // Without its initial-step event (its allocation failed and the host's
        // "exit" returned) the instance never runs the initial-step block.
        ZRT_EventDesc* initialStep = inst->events[0];
        if (initialStep != nullptr && ZRT_eventSignal(initialStep, loader) != 0) {
            M::Equations::initialStep(c);
        }
        // Every solution the equations use, each read from the host once; an
        // absent node or branch reads 0.0 without asking the host.
        // The node arrays are looked up once: the host's GetSol is opaque to
        // the compiler, which would otherwise fetch and test them per read.
        const ZRT_GetSolFn getSol = loader->GetSol;
        s_ZRT_StateVar* const* const first = inst->nodeVars;
        s_ZRT_StateVar* const* const second = inst->internalVars;
#pragma GCC unroll 64
        for (size_t i = 0; i < kReads.count; ++i) {
            const NodeRef ref = kReads.refs[i];
            s_ZRT_StateVar* sv = nullptr;
            s_ZRT_DeviceInst* reader = inst;
            if (ref.where == Where::First) {
                sv = first != nullptr ? first[ref.slot] : nullptr;
            } else if (ref.where == Where::Second) {
                sv = second != nullptr ? second[ref.slot] : nullptr;
            } else {
                sv = node(inst, b, ref);
                reader = operatorReader(inst, b, ref);
            }
            sol[solSlot(ref)] = sv != nullptr ? getSol(sv, loader, reader) : 0.0;
        }
        M::Equations::evaluate(c);

        // Equations of the uncollapsed branch state variables.
#pragma GCC unroll 16
        for (size_t k = 0; k < Topo::branches.size(); ++k) {
            const BranchSpec& spec = Topo::branches[k];
            if (b->collapsed[spec.collapse] != 0) {
                continue;
            }
            const BranchEquation& eq = Topo::branchEquations[k];
            const double flow = c.V(n2(spec.slot));
            const double drop = c.V(spec.pos, spec.neg);
            rr[eq.pairRR] += flow;
            rr[eq.branchRR] -= drop;
            if constexpr (Full) {
                jr[eq.jrPairBranch] += 1.0;
                jr[eq.jrBranchPair] -= 1.0;
            }
        }

        const double m = inst->realParams[0];
        if (!(m == 1.0)) {
            scale(rr, Topo::numRR, m);
            scale(rd, Topo::numRD, m);
            if constexpr (Full) {
                scale(jr, Topo::numJR, m);
                scale(jd, Topo::numJD, m);
            }
        }

        loader->LoadStaticRhs(static_cast<int32_t>(Topo::numRR), b->rr.data(), rr, loader, inst);
        loader->LoadDynamicRhs(static_cast<int32_t>(Topo::numRD), b->rd.data(), rd, loader, inst);
        if constexpr (Full) {
            loader->LoadStaticJacobian(static_cast<int32_t>(Topo::numJR), b->jr.data(), jr, loader, inst);
            loader->LoadDynamicJacobian(static_cast<int32_t>(Topo::numJD), b->jd.data(), jd, loader, inst);
        }
        if constexpr (M::hasDelayOp) {
            if constexpr (Full) {
                ZRT_delayGenericLoad(b->delayOp[0], loader);
            } else {
                ZRT_delayGenericLoadRHS(b->delayOp[0], loader);
            }
        }
        b->execInvariant = 0;
    }

    static void scale(double* values, size_t count, double m) {
        for (size_t i = 0; i < count; ++i) {
            values[i] *= m;
        }
    }

    static void _module1_genericAnalogLoad(s_ZRT_DeviceInst* inst, const s_ZRT_ContribLoader* loader) {
        load<true>(inst, loader);
    }
    static void _module1_genericAnalogLoadRHS(s_ZRT_DeviceInst* inst, const s_ZRT_ContribLoader* loader) {
        load<false>(inst, loader);
    }

    // ---- save and restore -----------------------------------------------------

    // The module's record in a saved state: its serialize function, then the
    // memory values, the model variables and the integer model variables.
    struct StateRecord {
        ZRT_ModuleSerializeFn serialize;
        [[no_unique_address]] Slots<double, M::memoryVars.size()> memory;
        Slots<double, M::numModelVars> vars;
        [[no_unique_address]] Slots<int32_t, M::numIntVars> ints;
    };
    static constexpr int32_t kNumOpStates = M::hasDelayOp ? 12 : 13;
    static constexpr int kDelayOpState = 8;

    static ZRT_SrlzDirE _serializeState__module1(s_ZRT_DeviceInst* inst, void* record, ZRT_SrlzDirE dir) {
        auto* r = static_cast<StateRecord*>(record);
        ZRT_serializeDoubles(r->memory.data(), r->memory.size(), inst, &dir);
        ZRT_serializeDoubles(r->vars.data(), r->vars.size(), inst, &dir);
        for (size_t i = 0; i < r->ints.size(); ++i) {
            ZRT_serializeInt(&r->ints[i], inst, &dir);
        }
        return dir;
    }

    // Releases what prepareState made, operator states included.
    static void releaseState(s_ZRT_DeviceState* state) {
        ZRT_free(state->pStateRec);
        ZRT_FreeDeviceStateData(state);
        ZRT_free(state->pOpStates);
        ZRT_free(state->pEventState);
    }

    // Fills the host's record for one save or restore with a state record
    // holding the instance's present values and zeroed operator- and
    // event-state arrays. False (nothing kept) when memory ran out or the
    // host could not copy the operator's delay state.
    static bool prepareState(s_ZRT_DeviceInst* inst, Block* b, s_ZRT_DeviceState* state) {
        s_ZRT_SimInterface* sim = inst->pSim;
        auto* record = static_cast<StateRecord*>(ZRT_calloc(1, sizeof(StateRecord), sim, inst, nullptr));
        auto** ops = static_cast<ZRT_GenericOperatorState**>(
            ZRT_calloc(kNumOpStates, sizeof(ZRT_GenericOperatorState*), sim, inst, nullptr));
        auto** events = static_cast<void**>(ZRT_calloc(1, sizeof(void*), sim, inst, nullptr));
        if (record == nullptr || ops == nullptr || events == nullptr) {
            ZRT_free(record);
            ZRT_free(ops);
            ZRT_free(events);
            return false;
        }
        record->serialize = _serializeState__module1;
        copySlots(record->memory, b->memory);
        copySlots(record->vars, b->vars);
        copySlots(record->ints, b->intVars);
        state->pStateRec = record;
        state->numOpStates = kNumOpStates;
        state->pOpStates = ops;
        state->numEventStates = 1;
        state->pEventState = events;
        state->pInst = inst;
        if constexpr (M::hasDelayOp) {
            ZRT_OpBranch_delay* op = b->delayOp[0];
            ops[kDelayOpState] = ZRT_delaySaveState(op);
            // The host could not copy the operator's delay state: a stream
            // without it would pass for the whole state.
            if (ops[kDelayOpState] == nullptr && op != nullptr && op->delayState != nullptr) {
                releaseState(state);
                return false;
            }
        }
        return true;
    }


    static bool operatorStatesPresent(const s_ZRT_DeviceState* state) {
        if constexpr (M::hasDelayOp) {
            return state->pOpStates[kDelayOpState] != nullptr;
        } else {
            (void)state;
            return true;
        }
    }

    static uint8_t* _module1_saveDeviceState(s_ZRT_DeviceInst* inst, s_ZRT_DeviceState* state, uint32_t* count) {
        Block* b = block(inst);
        if (b == nullptr || state == nullptr || !hostKeepsStateContract(inst) || !prepareState(inst, b, state)) {
            return nullptr;
        }
        uint8_t* bytes = ZRT_SaveDeviceState(state, inst, count);
        // A failed save leaves its operator states to us.
        releaseState(state);
        return bytes;
    }

    static int32_t _module1_restoreDeviceState(s_ZRT_DeviceInst* inst, s_ZRT_DeviceState* state,
                                               const uint8_t* bytes, uint32_t count) {
        Block* b = block(inst);
        if (b == nullptr || state == nullptr || !hostKeepsStateContract(inst) || !prepareState(inst, b, state)) {
            return 0;
        }
        // An operator without a delay state (the host answered none) has
        // nothing to read its payload into or to restore: refused.
        if (!operatorStatesPresent(state) || ZRT_RestoreDeviceState(bytes, count, state, inst) == 0) {
            releaseState(state);
            return 0;
        }
        // The delay state first: the host may fail its copy, and the restore
        // is then refused with nothing changed.
        if constexpr (M::hasDelayOp) {
            if (ZRT_delayRestoreState(b->delayOp[0], state->pOpStates[kDelayOpState]) == 0) {
                releaseState(state);
                return 0;
            }
        }
        const auto* record = static_cast<const StateRecord*>(state->pStateRec);
        copySlots(b->memory, record->memory);
        copySlots(b->vars, record->vars);
        copySlots(b->intVars, record->ints);
        ZRT_RestoreEvents(inst, state);
        releaseState(state);
        inst->pMD->forceExecInvarCode(inst, 1);
        return 1;
    }

    // ---- registration -----------------------------------------------------

    static void registerModule(s_ZRT_ModuleDesc* pMD) {
        ZRT_ASSERT_AT(pMD != nullptr, "pMD", M::sourceName, M::assertLine);
        pMD->numOutVars = 0;
        pMD->moduleFlags = M::moduleFlags;
        pMD->numExportFuncs = 5;
        pMD->outVarDescs = OutVarDescArray__module1;

        pMD->finalizeAnalogTopology = _module1_finalizeAnalogTopology;
        pMD->reportTopology = _module1_reportTopology;
        pMD->createBranches = _module1_createBranches;
        pMD->createSystemStateVars = _module1_createSystemStateVars;
        pMD->setAnalogStamp = _module1_setAnalogStamp;
        pMD->doAnalogInitial = _module1_doAnalogInitial;
        pMD->genericAnalogLoad = _module1_genericAnalogLoad;
        pMD->genericAnalogLoadRHS = _module1_genericAnalogLoadRHS;
        pMD->doAnalogStrobe = _module1_doAnalogStrobe;
        pMD->setMemoryStates = _module1_setMemoryStates;
        pMD->resetMemoryStates = _module1_resetMemoryStates;
        pMD->tranAcceptPoint = _module1_tranAcceptPoint;
        pMD->forceExecInvarCode = _module1_forceExecInvarCode;
        pMD->getOutVarInfo = _module1_getOutVarInfo;

        pMD->setAMS_Indices = _module1_setAMS_Indices;
        pMD->AMS_GetArraySizes = _module1_AMS_GetArraySizes;
        pMD->D2A_ImportNames = _module1_D2A_ImportNames;
        pMD->D2A_ImportEvents = _module1_D2A_ImportEvents;
        pMD->D2A_ImportTypes = _module1_D2A_ImportTypes;
        pMD->AMS_Sizes = _module1_AMS_Sizes;
        pMD->saveDeviceState = _module1_saveDeviceState;
        pMD->restoreDeviceState = _module1_restoreDeviceState;
        pMD->freeDeviceSerializer = ZRT_FreeDeviceSerializer;
        pMD->destroyInst = _module1_destroyInst;

        pMD->exportFuncs = _module1_ExportFuncArray;
    }
};

}  // namespace hbx
