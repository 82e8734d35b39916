// What a module needs of the host's instance, descriptor and simulator
// interface, checked where a breach would otherwise crash or stop the
// process: once when the topology is finalised, and again at every save and
// restore for the event slot the saved state reads. A breach is an error
// message to the host's Message slot (a host without an interface gets none)
// and the callback's failure answer; the instance is left as it was.
#pragma once

#include <cstdint>

#include "dsl/ZRT_SupportLib.h"
#include "analog_files/topology.h"

namespace hbx {

// The shape a module asks for.
struct HostNeeds {
    int32_t firstArray;   // entries of nodeVars
    int32_t secondArray;  // entries of internalVars: nodes, then branch state variables
    bool delayOp;         // an absdelay operator: delay stamps, doublets and the host's delay states
};

// The node arrays as far as a family's branch state variables reach: their
// nodes lie in the first array, their own slots close the second.
template <class Topology>
constexpr HostNeeds needsOf(bool delayOp) {
    HostNeeds needs{0, 0, delayOp};
    auto reach = [&needs](NodeRef ref) {
        int32_t& size = ref.where == Where::First ? needs.firstArray : needs.secondArray;
        if (ref.where == Where::First || ref.where == Where::Second) {
            size = size > ref.slot + 1 ? size : ref.slot + 1;
        }
    };
    for (const BranchSpec& b : Topology::branches) {
        reach(b.pos);
        reach(b.neg);
        reach(n2(b.slot));
    }
    return needs;
}

// Every module has one event (its initial step), one limexp descriptor, four
// noise sources and no file descriptors.
constexpr int32_t kModuleEvents = 1;
constexpr int32_t kModuleFileDescs = 0;

namespace contract {

template <typename... Args>
bool refuse(s_ZRT_DeviceInst* inst, const char* text, Args... args) {
    ZRT_Message(inst->pSim, inst, nullptr, ZRT_MSG_ERROR, text, args...);
    return false;
}

inline bool eventCountKept(s_ZRT_DeviceInst* inst) {
    if (inst->pMD == nullptr) {
        return refuse(inst, "The instance has no module descriptor (pMD).");
    }
    if (inst->pMD->numEvents != kModuleEvents) {
        return refuse(inst, "The module descriptor's numEvents is %d; this module has 1 event.",
                      inst->pMD->numEvents);
    }
    return true;
}

}  // namespace contract

// Before finalisation: the descriptor's counts, the arrays the module writes
// and reads, and the interface slots that set-up calls without a test. False
// after the first breach found.
inline bool hostKeepsContract(s_ZRT_DeviceInst* inst, const HostNeeds& needs) {
    using contract::refuse;
    if (!contract::eventCountKept(inst)) {
        return false;
    }
    if (inst->pMD->numFileDescs != kModuleFileDescs) {
        return refuse(inst, "The module descriptor's numFileDescs is %d; this module has no file descriptors.",
                      inst->pMD->numFileDescs);
    }
    if (inst->events == nullptr) {
        return refuse(inst, "The instance has no events array; this module needs 1 entry.");
    }
    if (inst->limexps == nullptr) {
        return refuse(inst, "The instance has no limexps array; this module needs 1 entry.");
    }
    if (inst->noiseSrcs == nullptr) {
        return refuse(inst, "The instance has no noiseSrcs array; this module needs 4 noise sources.");
    }
    if (inst->nodeVars == nullptr) {
        return refuse(inst, "The instance has no nodeVars array; this module needs %d entries.", needs.firstArray);
    }
    if (inst->internalVars == nullptr) {
        return refuse(inst,
                      "The instance has no internalVars array; this module needs %d entries "
                      "(its nodes, then room for its branch state variables).",
                      needs.secondArray);
    }
    if (inst->realParams == nullptr) {
        return refuse(inst, "The instance has no realParams array; this module reads 13 real parameters.");
    }
    if (inst->intParams == nullptr) {
        return refuse(inst, "The instance has no intParams array; this module reads integer parameters.");
    }
    const s_ZRT_SimInterface* sim = inst->pSim;
    if (sim == nullptr) {
        return false;  // no one to tell
    }
    const char* missing = sim->CreateBranch == nullptr              ? "CreateBranch"
                          : sim->CreateStaticRhsStamp == nullptr    ? "CreateStaticRhsStamp"
                          : sim->CreateDynamicRhsStamp == nullptr   ? "CreateDynamicRhsStamp"
                          : sim->CreateJacobianStamp == nullptr     ? "CreateJacobianStamp"
                          : !needs.delayOp                          ? nullptr
                          : sim->CreateDelayStamp == nullptr        ? "CreateDelayStamp"
                          : sim->CreateDerivDoublet == nullptr      ? "CreateDerivDoublet"
                          : sim->CreateDelaySpec == nullptr         ? "CreateDelaySpec"
                          : sim->CopyDelaySpec == nullptr           ? "CopyDelaySpec"
                                                                    : nullptr;
    if (missing != nullptr) {
        return refuse(inst, "The simulator interface has no %s slot, which this module calls.", missing);
    }
    return true;
}

// Before a save or restore: the event slot whose state the saved stream
// carries holds an event, and the descriptor still counts one.
inline bool hostKeepsStateContract(s_ZRT_DeviceInst* inst) {
    if (!contract::eventCountKept(inst)) {
        return false;
    }
    if (inst->events == nullptr || inst->events[0] == nullptr) {
        return contract::refuse(inst, "Event slot 0 of the instance holds no event; the save or restore is refused.");
    }
    return true;
}

}  // namespace hbx
