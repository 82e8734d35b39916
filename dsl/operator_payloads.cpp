// Saved states and payloads of the slew, transition, idt, zi, ddt, laplace
// and last-crossing records.
#include <algorithm>
#include <vector>

#include "dsl/ZRT_SupportLib.h"
#include "dsl/payload_io.h"

namespace {

using ZRT::fieldBytes;
using ZRT::InputSerializer;

constexpr auto slewFields = [](auto& s, auto&& f) {
    f(s.prevTime);
    f(s.prevOutput);
    f(s.presentTime);
    f(s.presentOutput);
    f(s.presentDeriv);
};

constexpr auto idtFields = [](auto& s, auto&& f) {
    f(s.acceptedValue);
    f(s.acceptedInput);
    f(s.lastAcceptedTime);
    f(s.input);
};

constexpr auto lastCrossingFields = [](auto& r, auto&& f) {
    f(r.prevTime);
    f(r.prevValue);
    f(r.presentValue);
    f(r.lastRise);
    f(r.lastFall);
};

constexpr auto transitionFields = [](auto& s, auto&& f) {
    f(s.target);
    f(s.delay);
    f(s.riseTime);
    f(s.fallTime);
    f(s.tolerance);
    f(s.changeCounter);
    f(s.changeKind);
    f(s.output);
    f(s._startTime);
    f(s._stopTime);
    f(s.startValue);
    f(s.endValue);
    f(s.minStepFlag);
    f(s.lastAcceptedTime);
    f(s.lastAcceptedTarget);
    f(s.lastAcceptedOutput);
    f(s.lastChangeTarget);
    f(s.steadyCounter);
    f(s.initialised);
};

constexpr auto eventFields = [](auto& e, auto&& f) {
    f(e.value);
    f(e._evtStartTime);
    f(e.riseTime);
    f(e.fallTime);
    f(e.tolerance);
    f(e.changeKind);
};

static_assert(fieldBytes<ZRT_SlewSpec>(slewFields) == 40, "slew payload");
static_assert(fieldBytes<ZRT_IdtState>(idtFields) == 32, "idt payload");
static_assert(fieldBytes<ZRT_LastCrossing>(lastCrossingFields) == 40, "last-crossing payload");
static_assert(fieldBytes<ZRT_TransitionSpec>(transitionFields) == 132, "transition fields");
constexpr size_t kEventBytes = fieldBytes<ZRT_TransitionEvent>(eventFields);
static_assert(kEventBytes == 44, "transition event node");

constexpr char kTransitionBegin[] = "Transition_Begin";
constexpr char kTransitionList[] = "Transition_List";
constexpr size_t kTransitionBeginLength = sizeof kTransitionBegin - 1;  // 16, no terminator
constexpr size_t kTransitionListLength = sizeof kTransitionList - 1;    // 15

void writeTransitionSpec(const ZRT_TransitionSpec& spec, ZRT_OutputSerializer& out) {
    out.write(kTransitionBegin, kTransitionBeginLength);
    ZRT::writeFields(out, spec, transitionFields);
    out.write(kTransitionList, kTransitionListLength);
    int32_t count = 0;
    int32_t lastPosition = -1;
    for (const ZRT_TransitionEvent* evt = spec._pPendingFirst; evt != nullptr; evt = evt->_pNext) {
        if (evt == spec._pPendingLast) {
            lastPosition = count;
        }
        ++count;
    }
    out.write(&count, sizeof count);
    out.write(&lastPosition, sizeof lastPosition);
    for (const ZRT_TransitionEvent* evt = spec._pPendingFirst; evt != nullptr; evt = evt->_pNext) {
        ZRT::writeFields(out, *evt, eventFields);
    }
}

// Reads `count` nodes into a new chain; the node at `lastPosition` becomes
// `*last`. Null with nothing allocated when a read or an allocation fails
// (count 0 answers null too, with `ok` telling the two apart).
ZRT_TransitionEvent* readEventChain(InputSerializer& in, int32_t count, int32_t lastPosition, s_ZRT_SimInterface* sim,
                                    ZRT_TransitionEvent** last, bool& ok) {
    ZRT_TransitionEvent* first = nullptr;
    ZRT_TransitionEvent** tail = &first;
    *last = nullptr;
    ok = true;
    for (int32_t i = 0; i < count; ++i) {
        auto* node = static_cast<ZRT_TransitionEvent*>(ZRT_calloc(1, sizeof(ZRT_TransitionEvent), sim, nullptr, nullptr));
        if (node == nullptr || !ZRT::readFields(in, *node, eventFields)) {
            ZRT_free(node);
            freeTransitionEvents(first);
            ok = false;
            return nullptr;
        }
        *tail = node;
        tail = &node->_pNext;
        if (i == lastPosition) {
            *last = node;
        }
    }
    return first;
}

bool readTransitionSpec(ZRT_TransitionSpec& spec, InputSerializer& in) {
    ZRT_TransitionSpec next = spec;
    int32_t count = 0;
    int32_t lastPosition = 0;
    if (!in.skip(kTransitionBeginLength) || !ZRT::readFields(in, next, transitionFields) ||
        !in.skip(kTransitionListLength) || !in.restore(count) || !in.restore(lastPosition)) {
        return false;
    }
    // A damaged count must not drive allocations, and a chain with events but
    // no last pending one would break the event list's invariant.
    if (count < 0 || static_cast<size_t>(count) > in.remaining() / kEventBytes) {
        return false;
    }
    if (count == 0 ? lastPosition != -1 : (lastPosition < 0 || lastPosition >= count)) {
        return false;
    }
    bool ok = false;
    ZRT_TransitionEvent* last = nullptr;
    ZRT_TransitionEvent* first = readEventChain(in, count, lastPosition, spec.pSim, &last, ok);
    if (!ok) {
        return false;
    }
    freeTransitionEvents(spec._pPendingFirst);
    freeTransitionEvents(spec.spareEvent);
    next._pPendingFirst = first;
    next._pPendingLast = last;
    next.spareEvent = nullptr;
    spec = next;
    return true;
}

void assertStateType(const ZRT_GenericOperatorState* state, uint32_t type, const char* text) {
    ZRT_ASSERT_AT(state != nullptr && state->opStateType == type, text, __FILE__, __LINE__);
}

constexpr char kZiLabel[] = "\nzi";
constexpr size_t kZiLabelLength = sizeof kZiLabel - 1;  // 3

void writeZiHead(const ZRT_ZiState& zi, ZRT_OutputSerializer& out) {
    out.write(kZiLabel, kZiLabelLength);
    out.write(&zi.output, sizeof zi.output);
    out.write(&zi.nextSampleTime, sizeof zi.nextSampleTime);
    out.write(&zi.numerCount, sizeof zi.numerCount);
    out.write(&zi.denomCount, sizeof zi.denomCount);
    out.write(zi.u, static_cast<size_t>(zi.numerCount) * sizeof(double));
    out.write(zi.y, static_cast<size_t>(zi.denomCount) * sizeof(double));
}

// What a zi read gives before the transition state record is read; stored only once
// that succeeded too.
struct ZiHead {
    double output = 0.0;
    double nextSampleTime = 0.0;
    std::vector<double> u;
    std::vector<double> y;
};

bool readZiHead(const ZRT_ZiState& zi, InputSerializer& in, ZiHead& head) {
    int32_t numerCount = 0;
    int32_t denomCount = 0;
    if (!in.skip(kZiLabelLength) || !in.restore(head.output) || !in.restore(head.nextSampleTime) ||
        !in.restore(numerCount) || !in.restore(denomCount) || numerCount != zi.numerCount ||
        denomCount != zi.denomCount) {
        return false;
    }
    head.u.resize(static_cast<size_t>(numerCount));
    head.y.resize(static_cast<size_t>(denomCount));
    return in.read(head.u.data(), head.u.size() * sizeof(double)) &&
           in.read(head.y.data(), head.y.size() * sizeof(double));
}

void assertNoState(const ZRT_GenericOperatorState* state) {
    ZRT_ASSERT_AT(state == nullptr, "pOpState == 0", __FILE__, __LINE__);
}

}  // namespace

void serializeSlewSpec(ZRT_GenericOperatorState* state, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir) {
    ZRT::serializeFields(*reinterpret_cast<ZRT_SlewSpec*>(state), inst, dir, slewFields);
}

void serialize_idtState(ZRT_GenericOperatorState* state, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir) {
    ZRT::serializeFields(*reinterpret_cast<ZRT_IdtState*>(state), inst, dir, idtFields);
}

void ZRT_serializeLastCrossing(ZRT_LastCrossing* record, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir) {
    if (record == nullptr) {  // left by an exhausted heap: nothing can be written or read
        *dir = ZRT_SRLZ_FAILED;
        return;
    }
    ZRT::serializeFields(*record, inst, dir, lastCrossingFields);
}

void serializeTransitionSpec(ZRT_GenericOperatorState* state, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir) {
    auto& spec = *reinterpret_cast<ZRT_TransitionSpec*>(state);
    ZRT::serializePayload(
        inst, dir, [&](ZRT_OutputSerializer& out) { writeTransitionSpec(spec, out); },
        [&](InputSerializer& in) { return readTransitionSpec(spec, in); });
}

ZRT_GenericOperatorState* ZRT_slewSaveState(const ZRT_OpBranch_slew* pOp) {
    ZRT_SlewSpec* copy = pOp != nullptr ? copySlewSpec(pOp->spec) : nullptr;
    return copy != nullptr ? &copy->head : nullptr;
}

void ZRT_slewRestoreState(ZRT_OpBranch_slew* pOp, ZRT_GenericOperatorState* pOpState) {
    if (pOp == nullptr) {
        return;
    }
    assertStateType(pOpState, ZRT_SLEW_SPEC,
                    "pOpState && (((ZRT_GenericOperatorState *)pOpState)->opStateType == ZRT_SLEW_SPEC)");
    ZRT_SlewSpec* copy = copySlewSpec(reinterpret_cast<const ZRT_SlewSpec*>(pOpState));
    if (copy == nullptr) {
        return;  // the operator keeps its state record
    }
    if (pOp->spec != nullptr) {
        freeSlewSpec(&pOp->spec->head);
    }
    pOp->spec = copy;
}

ZRT_GenericOperatorState* ZRT_idtSaveState(const ZRT_OpBranch_idt* pOp) {
    if (pOp == nullptr) {
        return nullptr;
    }
    auto* state = static_cast<ZRT_IdtState*>(ZRT_calloc(1, sizeof(ZRT_IdtState), pOp->inst->pSim, pOp->inst, pOp->name));
    if (state == nullptr) {
        return nullptr;
    }
    state->head.opStateType = ZRT_IDT_STATE;
    state->head.serialize = serialize_idtState;
    state->acceptedValue = pOp->acceptedValue;
    state->acceptedInput = pOp->acceptedInput;
    state->lastAcceptedTime = pOp->lastAcceptedTime;
    state->_loadType = pOp->_loadType;
    state->input = pOp->input;
    return &state->head;
}

void ZRT_idtRestoreState(ZRT_OpBranch_idt* pOp, ZRT_GenericOperatorState* pOpState) {
    if (pOp == nullptr) {
        return;
    }
    assertStateType(pOpState, ZRT_IDT_STATE,
                    "pOpState && (((ZRT_GenericOperatorState *)pOpState)->opStateType == ZRT_IDT_STATE)");
    const auto* state = reinterpret_cast<const ZRT_IdtState*>(pOpState);
    pOp->acceptedValue = state->acceptedValue;
    pOp->acceptedInput = state->acceptedInput;
    pOp->lastAcceptedTime = state->lastAcceptedTime;
    pOp->_loadType = state->_loadType;
    pOp->input = state->input;
}

ZRT_GenericOperatorState* ZRT_ddtSaveState(const ZRT_OpBranch_ddt*) { return nullptr; }

void ZRT_ddtRestoreState(ZRT_OpBranch_ddt*, ZRT_GenericOperatorState* pOpState) { assertNoState(pOpState); }

ZRT_GenericOperatorState* ZRT_lapSaveState(const ZRT_OpBranch_lap*) { return nullptr; }

void ZRT_lapRestoreState(ZRT_OpBranch_lap*, ZRT_GenericOperatorState* pOpState) { assertNoState(pOpState); }

void serialize_ziState(ZRT_GenericOperatorState* state, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir) {
    auto& zi = *reinterpret_cast<ZRT_ZiState*>(state);
    if (zi.transition == nullptr) {  // not a state that ZRT_ziSaveState made
        *dir = ZRT_SRLZ_FAILED;
        return;
    }
    const bool reading = *dir != ZRT_SRLZ_SAVE;
    ZiHead head;
    ZRT::serializePayload(
        inst, dir, [&](ZRT_OutputSerializer& out) { writeZiHead(zi, out); },
        [&](InputSerializer& in) { return readZiHead(zi, in, head); });
    serializeTransitionSpec(&zi.transition->head, inst, dir);
    if (reading && *dir != ZRT_SRLZ_FAILED) {
        zi.output = head.output;
        zi.nextSampleTime = head.nextSampleTime;
        std::copy(head.u.begin(), head.u.end(), zi.u);
        std::copy(head.y.begin(), head.y.end(), zi.y);
    }
}

void freeZiState(ZRT_GenericOperatorState* state) {
    if (state == nullptr) {
        return;
    }
    auto* zi = reinterpret_cast<ZRT_ZiState*>(state);
    ZRT_free(zi->u);
    ZRT_free(zi->y);
    freeTransitionSpec(zi->transition != nullptr ? &zi->transition->head : nullptr);
    ZRT_free(zi);
}

ZRT_GenericOperatorState* ZRT_ziSaveState(const ZRT_OpBranch_zi* pOp) {
    if (pOp == nullptr || pOp->coeffsReady == 0 || pOp->transition == nullptr) {
        return nullptr;
    }
    s_ZRT_SimInterface* sim = pOp->inst->pSim;
    auto* zi = static_cast<ZRT_ZiState*>(ZRT_calloc(1, sizeof(ZRT_ZiState), sim, pOp->inst, pOp->name));
    if (zi == nullptr) {
        return nullptr;
    }
    zi->head.opStateType = ZRT_ZI_STATE;
    zi->head.serialize = serialize_ziState;
    zi->head.free = freeZiState;
    zi->numerCount = pOp->numerCount;
    zi->denomCount = pOp->denomCount;
    zi->u = copyDoubles(pOp->u, pOp->numerCount, pOp->inst);
    zi->y = copyDoubles(pOp->y, pOp->denomCount, pOp->inst);
    zi->transition = copyTransitionSpec(pOp->transition->spec);
    if ((zi->numerCount > 0 && zi->u == nullptr) || (zi->denomCount > 0 && zi->y == nullptr) ||
        zi->transition == nullptr) {
        freeZiState(&zi->head);
        return nullptr;
    }
    zi->output = pOp->output;
    zi->nextSampleTime = pOp->nextSampleTime;
    zi->input = pOp->input;
    zi->period = pOp->period;
    zi->t0 = pOp->t0;
    zi->transitionTime = pOp->transitionTime;
    zi->customWord = pOp->customWord;
    return &zi->head;
}

void ZRT_ziRestoreState(ZRT_OpBranch_zi* pOp, ZRT_GenericOperatorState* pOpState) {
    if (pOp == nullptr) {
        return;
    }
    if (pOpState == nullptr) {
        pOp->coeffsReady = 0;
        return;
    }
    assertStateType(pOpState, ZRT_ZI_STATE,
                    "pOpState && (((ZRT_GenericOperatorState *)pOpState)->opStateType == ZRT_ZI_STATE)");
    const auto& zi = *reinterpret_cast<const ZRT_ZiState*>(pOpState);
    if (pOp->u != nullptr && zi.u != nullptr) {
        std::copy_n(zi.u, std::min(pOp->numerCount, zi.numerCount), pOp->u);
    }
    if (pOp->y != nullptr && zi.y != nullptr) {
        std::copy_n(zi.y, std::min(pOp->denomCount, zi.denomCount), pOp->y);
    }
    if (pOp->transition != nullptr && zi.transition != nullptr) {
        ZRT_transitionRestoreState(pOp->transition, &zi.transition->head);
    }
    pOp->output = zi.output;
    pOp->nextSampleTime = zi.nextSampleTime;
    pOp->input = zi.input;
    pOp->period = zi.period;
    pOp->t0 = zi.t0;
    pOp->transitionTime = zi.transitionTime;
    pOp->customWord = zi.customWord;
}
