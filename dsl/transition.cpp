#include "dsl/transition.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dsl/operator_frame.h"
#include "dsl/sim_params.h"

namespace {

constexpr double kMinStepTimeFactor = 10.0;  // a derived rise or fall time, in minimum steps
constexpr double kDelaySnapFraction = 0.5;   // of the minimum step
constexpr double kDueFraction = 0.49;        // of the minimum step
constexpr double kTimeResolution = 1e-15;    // relative
constexpr double kLargeChange = 0.1;
constexpr double kBoundFraction = 0.8;
constexpr double kDriftMultiple = 1000.0;
constexpr double kFilterLimit = 1000.0;
constexpr double kZeroDelayTolerance = 1e-10;
constexpr int32_t kCounterLimit = 100;

// Host step-bounding reasons.
constexpr int32_t kBoundTransition = 1;
constexpr int32_t kBoundTransitionEnd = 2;
constexpr int32_t kBoundEventStart = 3;

// The change tolerance after n accepted points without any change: tighter
// the longer the input has been steady.
double steadyTolerance(int32_t n) {
    if (n <= 0) {
        return 1.0000000000000001e-07;
    }
    if (n == 1) {
        return 1e-09;
    }
    if (n <= 3) {
        return 1e-10;
    }
    if (n <= 7) {
        return 1e-12;
    }
    if (n <= 15) {
        return 1e-13;
    }
    if (n <= 31) {
        return 1.0000000000000002e-14;
    }
    return 0.0;
}

double timeOf(const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst) { return loader->GetTime(loader, inst); }

// "_transitionDisable" disables the operator when its value, taken as an
// integer, is not zero; a NaN or a value beyond the integers counts as not
// zero.
bool isDisabled(const ZRT_TransitionSpec* spec, s_ZRT_DeviceInst* inst) {
    if (spec->transitionDisable == nullptr) {
        return false;
    }
    const double v = simParamValue(spec->transitionDisable, inst, 0.0);
    return !(std::fabs(v) < 1.0);
}

// A rise or fall time that is not positive: the operator's default time, else
// ten minimum steps (setting the flag), else 0.0.
double effectiveTime(double given, double defaultTime, const s_ZRT_ContribLoader* loader, s_ZRT_DeviceInst* inst,
                     uint32_t& minStepFlag) {
    if (given > 0.0) {
        return given;
    }
    if (defaultTime > 0.0) {
        return defaultTime;
    }
    if (loader->GetMinStep == nullptr) {
        return 0.0;
    }
    minStepFlag = 1;
    const double m = loader->GetMinStep(loader, inst);
    return m > 0.0 ? kMinStepTimeFactor * m : 0.0;
}

ZRT_TransitionEvent* newEvent(s_ZRT_SimInterface* sim) {
    auto* evt = static_cast<ZRT_TransitionEvent*>(ZRT_malloc(sizeof(ZRT_TransitionEvent), sim, nullptr, nullptr));
    if (evt != nullptr) {
        evt->_pNext = nullptr;
    }
    return evt;
}

void setOutput(ZRT_OpBranch_transition* pOp, double output, double derivative) {
    pOp->output = output;
    pOp->derivative = derivative;
    pOp->spec->output = output;
}

// The pseudo-transient filter: the output follows x over the continuation
// factor f with time constant |tau|, within [fall field, rise field].
void pseudoTransientFilter(ZRT_OpBranch_transition* pOp, double x) {
    ZRT_TransitionSpec* spec = pOp->spec;
    if (spec->pseudoTranFilterTau == nullptr || spec->pseudoTranFactor == nullptr) {
        return;
    }
    double tau = simParamValue(spec->pseudoTranFilterTau, pOp->inst, 0.0);
    const double f = simParamValue(spec->pseudoTranFactor, pOp->inst, 1.0);
    if (tau == 0.0) {
        return;
    }
    if (f == 0.0) {
        spec->endValue = 0.0;
        spec->startValue = 0.0;
        spec->lastAcceptedTarget = 0.0;
        spec->lastAcceptedOutput = 0.0;
        spec->riseTime = std::max(x, 0.0);
        spec->fallTime = std::min(x, 0.0);
        return;
    }
    if (!(f > 0.0 && f < 1.0)) {
        return;
    }
    spec->riseTime = std::max(spec->riseTime, x);
    spec->fallTime = std::min(spec->fallTime, x);
    if ((tau >= 0.0 && f > spec->endValue) || (tau < 0.0 && f != spec->endValue)) {
        spec->startValue = spec->endValue;
        spec->lastAcceptedTarget = spec->lastAcceptedOutput;
    }
    tau = std::fabs(tau);
    double output = x * f;
    double derivative = f;
    if (tau < kFilterLimit) {
        const double a = 1.0 - std::exp(-(f - spec->startValue) / tau);
        output = (1.0 - a) * spec->lastAcceptedTarget + a * x;
        derivative = a;
    }
    output = std::min(std::max(output, spec->fallTime), spec->riseTime);
    spec->lastAcceptedOutput = output;
    spec->endValue = f;
    setOutput(pOp, output, derivative);
}

// The output between accepted points during a transient analysis.
double interpolatedOutput(ZRT_TransitionSpec* spec, double t) {
    double tp = spec->lastAcceptedTime;
    if (t < tp) {  // the host went back in time
        const double shift = t - tp;
        tp += shift;
        spec->lastAcceptedTime = tp;
        spec->_startTime += shift;
        spec->_stopTime += shift;
        if (spec->_pPendingFirst != nullptr) {
            spec->_pPendingFirst->_evtStartTime += shift;
        }
    }
    if (t < spec->_startTime || t > spec->_stopTime) {
        return spec->endValue;
    }
    if (std::fabs(spec->_stopTime - tp) > kTimeResolution * t) {
        const double slope = (spec->endValue - spec->lastAcceptedOutput) / (spec->_stopTime - tp);
        const double output = spec->lastAcceptedOutput + (t - tp) * slope;
        return slope >= 0.0 ? std::min(output, spec->endValue) : std::max(output, spec->endValue);
    }
    return spec->lastAcceptedOutput;
}

// Puts a change starting at `start` into the pending list; pending events
// that start at or after it are dropped and stay behind as free nodes.
void scheduleEvent(ZRT_TransitionSpec* spec, double value, double start, int32_t kind) {
    ZRT_TransitionEvent* node = nullptr;
    if (spec->_pPendingFirst == nullptr) {
        node = spec->spareEvent != nullptr ? spec->spareEvent : newEvent(spec->pSim);
        if (node == nullptr) {
            return;
        }
        spec->spareEvent = nullptr;
        spec->_pPendingFirst = node;
    } else if (start <= spec->_pPendingFirst->_evtStartTime) {
        node = spec->_pPendingFirst;
    } else {
        ZRT_ASSERT_AT(spec->_pPendingLast != nullptr, "pSpec->_pPendingLast != 0", __FILE__, __LINE__);
        ZRT_TransitionEvent* pEvt = spec->_pPendingFirst;
        while (pEvt != spec->_pPendingLast && pEvt->_pNext->_evtStartTime < start) {
            pEvt = pEvt->_pNext;
        }
        ZRT_ASSERT_AT(pEvt != nullptr && pEvt->_evtStartTime < start,
                      "pEvt != 0 && pEvt->_evtStartTime < eventStartTime", __FILE__, __LINE__);
        ZRT_ASSERT_AT(pEvt == spec->_pPendingLast || pEvt->_pNext->_evtStartTime >= start,
                      "(pEvt == pSpec->_pPendingLast) || (pEvt->_pNext->_evtStartTime >= eventStartTime)",
                      __FILE__, __LINE__);
        node = pEvt->_pNext;
        if (node == nullptr) {
            node = newEvent(spec->pSim);
            if (node == nullptr) {
                return;
            }
            pEvt->_pNext = node;
        }
    }
    node->value = value;
    node->_evtStartTime = start;
    node->riseTime = spec->riseTime;
    node->fallTime = spec->fallTime;
    node->tolerance = spec->tolerance;
    node->changeKind = kind;
    spec->_pPendingLast = node;
}

// The first pending event, now due, becomes the present transition.
void startEvent(ZRT_TransitionSpec* spec, double t, double m) {
    ZRT_TransitionEvent* evt = spec->_pPendingFirst;
    const double v = evt->value;
    const double o = spec->output;
    // A host whose minimum step is not positive must not make a finished
    // transition count as in progress.
    const bool inProgress = !(t <= 0.0 || spec->_startTime < 0.0 || t < spec->_startTime ||
                              t >= spec->_stopTime - m || t >= spec->_stopTime);
    if (!inProgress) {
        const double duration = v <= o ? evt->fallTime : evt->riseTime;
        spec->startValue = spec->endValue;
        spec->endValue = v;
        spec->_stopTime = evt->_evtStartTime + duration;
    } else {
        // Retarget from the present output. Reversing the direction keeps
        // the full-swing slope of the old end value.
        const double e = spec->endValue;
        const double dt = v < o ? evt->fallTime : evt->riseTime;
        ZRT_ASSERT_AT(dt >= 0.0, "deltaTime >= 0", __FILE__, __LINE__);
        const double base = (v > o) == (e > o) ? o : e;
        if (dt > 0.0) {
            ZRT_ASSERT_AT(t < spec->_stopTime, "currentTime < pSpec->_stopTime", __FILE__, __LINE__);
            ZRT_ASSERT_AT(t >= spec->_startTime, "currentTime >= pSpec->_startTime", __FILE__, __LINE__);
            const double s = (v - base) / dt;
            const double remaining = s != 0.0 ? (v - o) / s : -1.0;
            if (remaining >= 0.0) {
                spec->endValue = v;
                spec->startValue = base;
                spec->_stopTime = t + remaining;
            } else {
                spec->endValue = o;
                spec->_stopTime = t;
            }
        } else {
            spec->endValue = v;
            spec->_stopTime = t;
        }
    }
    spec->_startTime = evt->_evtStartTime;
    spec->changeKind = evt->changeKind;

    if (evt == spec->_pPendingLast) {  // the only event
        spec->_pPendingFirst = nullptr;
        spec->_pPendingLast = nullptr;
        spec->spareEvent = evt;
        return;
    }
    ZRT_ASSERT_AT(evt->_pNext != nullptr, "pEvt->_pNext != 0", __FILE__, __LINE__);
    spec->_pPendingFirst = evt->_pNext;
    evt->_pNext = spec->_pPendingLast->_pNext;
    spec->_pPendingLast->_pNext = evt;
}

void boundSteps(const ZRT_TransitionSpec* spec, double t, double m, const s_ZRT_ContribLoader* loader,
                s_ZRT_DeviceInst* inst) {
    if (loader->DoBoundStep == nullptr) {
        return;
    }
    const ZRT_TransitionEvent* next = spec->_pPendingFirst;
    if (next != nullptr && spec->delay > 0.0 && next->_evtStartTime > t) {
        loader->DoBoundStep(std::max(next->_evtStartTime - t, m), kBoundEventStart, loader, inst);
    }
    if (!(spec->_startTime >= 0.0 && spec->_startTime - kDueFraction * m <= t)) {
        return;
    }
    double q = spec->_stopTime - t;
    if (!(q > 0.0) || !(m > 0.0)) {
        return;
    }
    q = std::max(q, m);
    if (spec->minStepFlag == 0 && spec->changeKind == ZRT_TRANSITION_LARGE_CHANGE) {
        const int32_t reason =
            q < kBoundFraction * (spec->_stopTime - spec->_startTime) ? kBoundTransitionEnd : kBoundTransition;
        loader->DoBoundStep(q, reason, loader, inst);
    }
}

}  // namespace

void freeTransitionEvents(ZRT_TransitionEvent* evt) {
    while (evt != nullptr) {
        ZRT_TransitionEvent* next = evt->_pNext;
        ZRT_free(evt);
        evt = next;
    }
}

ZRT_TransitionSpec* createTransitionSpec(s_ZRT_SimInterface* sim, s_ZRT_DeviceInst* inst) {
    auto* spec = static_cast<ZRT_TransitionSpec*>(ZRT_calloc(1, sizeof(ZRT_TransitionSpec), sim, nullptr, nullptr));
    if (spec == nullptr) {
        return nullptr;
    }
    spec->head.opStateType = ZRT_TRANSITION_SPEC;
    spec->head.serialize = serializeTransitionSpec;
    spec->head.free = freeTransitionSpec;
    spec->_startTime = -1.0;
    spec->lastAcceptedTime = -1.0;
    spec->pSim = sim;
    spec->pseudoTranFactor = ZRT_getSimParamCallback(inst, ZRT_PSEUDOTRAN_FACTOR_PARAM);
    spec->pseudoTranFilterTau = ZRT_getSimParamCallback(inst, ZRT_PSEUDOTRAN_TAU_PARAM);
    spec->transitionDisable = ZRT_getSimParamCallback(inst, ZRT_TRANSITION_DISABLE_PARAM);
    return spec;
}

void freeTransitionSpec(ZRT_GenericOperatorState* state) {
    if (state == nullptr) {
        return;
    }
    auto* spec = reinterpret_cast<ZRT_TransitionSpec*>(state);
    freeTransitionEvents(spec->_pPendingFirst);
    // The spare node is set only while the list is empty; free nodes may hang
    // behind it.
    freeTransitionEvents(spec->spareEvent);
    ZRT_free(spec);
}

ZRT_TransitionSpec* copyTransitionSpec(const ZRT_TransitionSpec* spec) {
    if (spec == nullptr) {
        return nullptr;
    }
    auto* copy = static_cast<ZRT_TransitionSpec*>(ZRT_calloc(1, sizeof(ZRT_TransitionSpec), spec->pSim, nullptr, nullptr));
    if (copy == nullptr) {
        return nullptr;
    }
    std::memcpy(static_cast<void*>(copy), spec, sizeof(ZRT_TransitionSpec));
    copy->_pPendingFirst = nullptr;
    copy->_pPendingLast = nullptr;
    copy->spareEvent = nullptr;
    ZRT_TransitionEvent** tail = &copy->_pPendingFirst;
    bool pending = spec->_pPendingFirst != nullptr;
    for (const ZRT_TransitionEvent* evt = spec->_pPendingFirst; evt != nullptr; evt = evt->_pNext) {
        ZRT_TransitionEvent* node = newEvent(spec->pSim);
        if (node == nullptr) {
            // A copy without all its events would pass for the whole state.
            freeTransitionEvents(copy->_pPendingFirst);
            ZRT_free(copy);
            return nullptr;
        }
        *node = *evt;
        node->_pNext = nullptr;
        *tail = node;
        tail = &node->_pNext;
        if (pending) {
            copy->_pPendingLast = node;
            pending = evt != spec->_pPendingLast;
        }
    }
    return copy;
}

void ZRT_setTransitionCustomInfo(ZRT_TransitionSpec* spec, uintptr_t word) {
    if (spec != nullptr) {
        spec->customInfo = word;
    }
}

uintptr_t ZRT_getTransitionCustomInfo(const ZRT_TransitionSpec* spec) {
    return spec != nullptr ? spec->customInfo : 0;
}

ZRT_OpBranch_transition* ZRT_createOpBranch_transition(const char* name, s_ZRT_DeviceInst* inst,
                                                       double defaultTime) {
    auto* pOp = newOperator<ZRT_OpBranch_transition>(name, inst);
    if (pOp == nullptr) {
        return nullptr;
    }
    pOp->defaultTime = defaultTime;
    pOp->spec = createTransitionSpec(inst->pSim, inst);
    if (pOp->spec == nullptr) {
        ZRT_free(pOp);
        return nullptr;
    }
    return pOp;
}

void ZRT_destroyOpBranch_transition(ZRT_OpBranch_transition* pOp) {
    if (pOp == nullptr) {
        return;
    }
    freeTransitionSpec(&pOp->spec->head);
    ZRT_free(pOp);
}

void ZRT_transitionReset(ZRT_OpBranch_transition* pOp) {
    if (pOp == nullptr) {
        return;
    }
    ZRT_TransitionSpec* fresh = createTransitionSpec(pOp->inst->pSim, pOp->inst);
    if (fresh == nullptr) {
        return;  // the old state record stays, so the operator keeps working
    }
    freeTransitionSpec(&pOp->spec->head);
    pOp->spec = fresh;
}

ZRT_OpBranch_transition* ZRT_OpClone_transition(const ZRT_OpBranch_transition* pOp, s_ZRT_DeviceInst* newInst) {
    ZRT_OpBranch_transition* copy = cloneOperator(pOp, newInst);
    if (copy == nullptr) {
        return nullptr;
    }
    copy->spec = copyTransitionSpec(pOp->spec);
    if (copy->spec == nullptr) {
        ZRT_free(copy);
        return nullptr;
    }
    return copy;
}

void ZRT_transitionSetArg(ZRT_OpBranch_transition* pOp, double x, double td, double rise, double fall,
                          double tolerance, const s_ZRT_ContribLoader* loader) {
    if (pOp == nullptr) {
        return;
    }
    ZRT_TransitionSpec* spec = pOp->spec;
    s_ZRT_DeviceInst* inst = pOp->inst;

    uint32_t minStepFlag = 0;
    rise = effectiveTime(rise, pOp->defaultTime, loader, inst, minStepFlag);
    if (!(fall > 0.0)) {
        minStepFlag = 0;  // the flag tells of the last time that needed a default
    }
    fall = effectiveTime(fall, pOp->defaultTime, loader, inst, minStepFlag);

    const double t = timeOf(loader, inst);
    const bool enabled = !isDisabled(spec, inst);
    const double m = hostMinStep(loader, inst);
    if (rise > 0.0 && rise < m) {
        rise = m;
    }
    if (fall > 0.0 && fall < m) {
        fall = m;
    }
    if (std::isnan(td)) {
        td = 0.0;  // a NaN start time would break the order of the event list
    } else if (td > 0.0 && td < m) {
        td = td < kDelaySnapFraction * m ? 0.0 : m;
    }

    spec->target = x;
    spec->delay = td;
    spec->riseTime = rise;
    spec->fallTime = fall;
    spec->tolerance = tolerance;
    spec->minStepFlag = minStepFlag;

    if (!enabled || spec->initialised == 0 || t <= 0.0) {
        setOutput(pOp, x, 1.0);
        pseudoTransientFilter(pOp, x);
        return;
    }
    const bool immediate = td == 0.0 && ((x > spec->lastAcceptedTarget && rise == 0.0) ||
                                         (x < spec->lastAcceptedTarget && fall == 0.0));
    if (immediate) {
        setOutput(pOp, x, 1.0);
        return;
    }
    setOutput(pOp, interpolatedOutput(spec, t), 0.0);
}

void ZRT_transitionAcceptTimePoint(ZRT_OpBranch_transition* pOp, const s_ZRT_ContribLoader* loader) {
    if (pOp == nullptr) {
        return;
    }
    ZRT_TransitionSpec* spec = pOp->spec;
    s_ZRT_DeviceInst* inst = pOp->inst;
    const double t = timeOf(loader, inst);
    const double x = spec->target;
    if (t == 0.0 || isDisabled(spec, inst) || spec->initialised == 0) {
        spec->lastAcceptedTime = t;
        spec->initialised = 1;
        spec->lastChangeTarget = x;
        spec->endValue = x;
        spec->startValue = x;
        spec->lastAcceptedOutput = x;
        spec->lastAcceptedTarget = x;
        return;
    }

    const double m = hostMinStep(loader, inst);
    const double xp = spec->lastAcceptedTarget;
    const double d = std::fabs(x - xp);
    const double r = std::fabs(x) > std::fabs(xp) ? x : xp;
    const double tol = spec->delay == 0.0 ? kZeroDelayTolerance : steadyTolerance(spec->steadyCounter);
    spec->steadyCounter = d == 0.0 ? std::min(spec->steadyCounter + 1, kCounterLimit) : 0;
    const double h = std::fabs(r) * tol + tol;

    const bool large = d > h;
    const bool drift = spec->delay != 0.0 && std::fabs(spec->lastChangeTarget - x) > kDriftMultiple * h;
    const bool changed = large || drift;
    if (changed) {
        int32_t kind = ZRT_TRANSITION_SMALL_CHANGE;
        if (large && (spec->changeCounter <= 1 || d > kLargeChange * std::fabs(r) + kLargeChange)) {
            kind = ZRT_TRANSITION_LARGE_CHANGE;
        }
        spec->changeKind = kind;
        spec->changeCounter = std::min(spec->changeCounter + 1, kCounterLimit);
        spec->lastChangeTarget = x;
        scheduleEvent(spec, x, t + spec->delay, kind);
    } else {
        spec->changeCounter = 0;
    }

    if (spec->_pPendingFirst != nullptr && t >= spec->_pPendingFirst->_evtStartTime - kDueFraction * m) {
        startEvent(spec, t, m);
    }

    if (spec->_pPendingFirst == nullptr && !changed && t > spec->_stopTime && spec->delay == 0.0) {
        spec->endValue = x;
        spec->changeKind = ZRT_TRANSITION_NO_CHANGE;
    }
    if (t > spec->_stopTime) {
        spec->_stopTime = 0.0;
        spec->_startTime = -1.0;
    }

    spec->lastAcceptedTarget = x;
    spec->lastAcceptedTime = t;
    spec->lastAcceptedOutput = spec->output;
    boundSteps(spec, t, m, loader, inst);
}

ZRT_GenericOperatorState* ZRT_transitionSaveState(const ZRT_OpBranch_transition* pOp) {
    ZRT_TransitionSpec* copy = pOp != nullptr ? copyTransitionSpec(pOp->spec) : nullptr;
    return copy != nullptr ? &copy->head : nullptr;
}

void ZRT_transitionRestoreState(ZRT_OpBranch_transition* pOp, ZRT_GenericOperatorState* pOpState) {
    if (pOp == nullptr) {
        return;
    }
    ZRT_ASSERT_AT(pOpState != nullptr && pOpState->opStateType == ZRT_TRANSITION_SPEC,
                  "pOpState && (((ZRT_GenericOperatorState *)pOpState)->opStateType == ZRT_TRANSITION_SPEC)",
                  __FILE__, __LINE__);
    ZRT_TransitionSpec* copy = copyTransitionSpec(reinterpret_cast<const ZRT_TransitionSpec*>(pOpState));
    if (copy == nullptr) {
        return;
    }
    freeTransitionSpec(&pOp->spec->head);
    pOp->spec = copy;
}
