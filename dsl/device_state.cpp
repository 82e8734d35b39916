// Saving and restoring the whole state of an instance: the module's record,
// the operator states and the event states, framed by labels and counts.
#include <cstring>
#include <new>

#include "dsl/ZRT_SupportLib.h"

namespace {

constexpr char kOperatorLabel[] = "Operator_states";
constexpr char kEventLabel[] = "Event_states";
constexpr size_t kOperatorLabelLength = sizeof kOperatorLabel - 1;  // 15, no terminator
constexpr size_t kEventLabelLength = sizeof kEventLabel - 1;        // 12
// An event state that is not a cross record travels as its first 72 bytes.
constexpr size_t kRawEventStateBytes = 72;

ZRT_SrlzDirE callModuleSerialize(s_ZRT_DeviceState* state, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE dir) {
    ZRT_ModuleSerializeFn serialize = *static_cast<ZRT_ModuleSerializeFn*>(state->pStateRec);
    return serialize != nullptr ? serialize(inst, state->pStateRec, dir) : ZRT_SRLZ_FAILED;
}

ZRT_GenericOperatorState* opStateAt(const s_ZRT_DeviceState* state, int32_t i) {
    return state->pOpStates != nullptr ? state->pOpStates[i] : nullptr;
}

void* eventStateAt(const s_ZRT_DeviceState* state, int32_t i) {
    return state->pEventState != nullptr ? state->pEventState[i] : nullptr;
}

void serializeOpStates(s_ZRT_DeviceState* state, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir) {
    for (int32_t i = 0; i < state->numOpStates; ++i) {
        ZRT_GenericOperatorState* op = opStateAt(state, i);
        if (op != nullptr && op->serialize != nullptr) {
            op->serialize(op, inst, dir);
        }
    }
}

bool isCrossState(const void* eventState) {
    uint32_t tag = 0;
    std::memcpy(&tag, eventState, sizeof tag);
    return tag == ZRT_CROSS_STATE_TAG;
}

// Whether slot `e` of the event-state array holds the state of a timer. A
// timer travels as its raw record whatever its first word says, so that a
// damaged tag can never make it read or write the longer cross layout.
bool isTimerSlot(const s_ZRT_DeviceInst* inst, int32_t e) {
    const int32_t numEvents = inst->pMD != nullptr ? inst->pMD->numEvents : 0;
    return e < numEvents && inst->events[e] != nullptr && inst->events[e]->eventType == ZRT_EVT_TIMER;
}

uint32_t crossMode(uint32_t mode) { return mode <= 1 ? mode : 2; }

void writeEventState(ZRT_OutputSerializer& out, const void* eventState, bool timer) {
    if (timer || !isCrossState(eventState)) {
        out.write(eventState, kRawEventStateBytes);
        return;
    }
    const auto* cross = static_cast<const ZRT_CrossEventState*>(eventState);
    const uint32_t mode = crossMode(cross->mode);
    out.write(cross->d1, sizeof cross->d1);
    out.write(cross->bytes, sizeof cross->bytes);
    out.write(cross->d2, sizeof cross->d2);
    out.write(&cross->i1, sizeof cross->i1);
    out.write(cross->d3, sizeof cross->d3);
    out.write(&cross->i2, sizeof cross->i2);
    out.write(&mode, sizeof mode);
}

// A timer record read back must still be a timer: one whose tag the stream
// changed is refused.
bool readEventState(ZRT::InputSerializer& in, void* eventState, bool timer) {
    if (timer) {
        return in.read(eventState, kRawEventStateBytes) &&
               static_cast<const ZRT_TimerInfo*>(eventState)->tag == ZRT_EVT_TIMER;
    }
    if (!isCrossState(eventState)) {
        return in.read(eventState, kRawEventStateBytes);
    }
    auto* cross = static_cast<ZRT_CrossEventState*>(eventState);
    uint32_t mode = 0;
    bool ok = in.read(cross->d1, sizeof cross->d1) && in.read(cross->bytes, sizeof cross->bytes) &&
              in.read(cross->d2, sizeof cross->d2) && in.restore(cross->i1) &&
              in.read(cross->d3, sizeof cross->d3) && in.restore(cross->i2) && in.restore(mode);
    if (ok) {
        cross->mode = crossMode(mode);
    }
    return ok;
}

// Ends a save that could not be completed: nothing is handed out, and
// everything the save made is released (the serializer with its bytes, the
// event states and the operator states).
uint8_t* abandonSave(s_ZRT_DeviceState* state, s_ZRT_DeviceInst* inst) {
    ZRT_FreeDeviceSerializer(inst, 1);
    ZRT_freeDeviceStateData(state);
    return nullptr;
}

// The finished byte buffer, taken from the stream once; false when the
// language's allocation of it fails or the stream cannot give the bytes back.
bool finishBuffer(ZRT_OutputSerializer& out) {
    if (out.finished || out.byteCount == 0) {
        return true;
    }
    out.buffer = new (std::nothrow) uint8_t[out.byteCount];
    if (out.buffer == nullptr) {
        return false;
    }
    if (out.failed() || out.stream.size() != out.byteCount) {
        return false;
    }
    std::memcpy(out.buffer, out.stream.data(), out.byteCount);
    out.finished = 1;
    return true;
}

}  // namespace

uint8_t* ZRT_SaveDeviceState(s_ZRT_DeviceState* state, s_ZRT_DeviceInst* inst, uint32_t* outCount) {
    if (state == nullptr || state->pStateRec == nullptr || inst == nullptr || inst->pSerializer != nullptr) {
        return nullptr;  // an earlier save or restore is still outstanding
    }
    ZRT_OutputSerializer* out = getOutputSerializer(&inst->pSerializer);
    if (out == nullptr) {
        reportOutOfMemory(inst->pSim, inst);
        return abandonSave(state, inst);
    }
    if (!saveEvents(inst, state)) {
        // A stream without one of its event records could never be read back.
        return abandonSave(state, inst);
    }

    ZRT_SrlzDirE dir = callModuleSerialize(state, inst, ZRT_SRLZ_SAVE);
    if (dir == ZRT_SRLZ_FAILED) {
        // Nothing usable was written: drop the serializer rather than leave
        // a half-written one that would block every later save. A stream
        // that stopped because its buffer could not grow ran out of memory.
        if (out->failed()) {
            reportOutOfMemory(inst->pSim, inst);
        }
        return abandonSave(state, inst);
    }

    out->write(kOperatorLabel, kOperatorLabelLength);
    out->write(&state->numOpStates, sizeof state->numOpStates);
    serializeOpStates(state, inst, &dir);
    if (dir == ZRT_SRLZ_FAILED && !out->failed()) {
        // An operator state that refused to be written (one that could not
        // be read back, or memory ran out, already reported) leaves no saved
        // state. A stream that could not grow is reported below.
        return abandonSave(state, inst);
    }

    out->write(kEventLabel, kEventLabelLength);
    out->write(&state->numEventStates, sizeof state->numEventStates);
    for (int32_t e = 0; e < state->numEventStates; ++e) {
        if (const void* eventState = eventStateAt(state, e)) {
            writeEventState(*out, eventState, isTimerSlot(inst, e));
        }
    }
    out->write(&state->numOpStates, sizeof state->numOpStates);

    // A stream that could not take every byte, or a buffer that could not be
    // had, must not pass for a saved state.
    if (out->failed() || !finishBuffer(*out)) {
        reportOutOfMemory(inst->pSim, inst);
        return abandonSave(state, inst);
    }
    if (outCount != nullptr) {
        *outCount = out->byteCount;
    }
    ZRT_FreeDeviceStateData(state);
    return out->buffer;
}

int32_t ZRT_RestoreDeviceState(const uint8_t* bytes, uint32_t count, s_ZRT_DeviceState* state,
                               s_ZRT_DeviceInst* inst) {
    if (state == nullptr || state->pStateRec == nullptr || inst == nullptr || inst->pSerializer != nullptr) {
        return 0;  // an earlier save or restore is still outstanding
    }
    auto* stream = new (std::nothrow) ZRT::RestoreStream(bytes, bytes != nullptr ? count : 0);
    if (stream == nullptr) {
        reportOutOfMemory(inst->pSim, inst);
        return 0;
    }
    inst->pSerializer = static_cast<ZRT::SerializerBase*>(stream);
    ZRT::InputSerializer in(stream->stream);
    // An event without a record to read into cannot take its state back.
    if (!saveEvents(inst, state)) {
        return 0;
    }

    ZRT_SrlzDirE dir = callModuleSerialize(state, inst, ZRT_SRLZ_RESTORE);
    if (dir == ZRT_SRLZ_FAILED) {
        return 0;
    }

    // Counts from the stream stay in locals: the record keeps its own.
    int32_t opCount = 0;
    if (!in.skip(kOperatorLabelLength) || !in.restore(opCount) || opCount != state->numOpStates) {
        return 0;
    }
    serializeOpStates(state, inst, &dir);
    if (dir == ZRT_SRLZ_FAILED) {
        return 0;
    }

    int32_t eventCount = 0;
    if (!in.skip(kEventLabelLength) || !in.restore(eventCount) || eventCount != state->numEventStates) {
        return 0;
    }
    for (int32_t e = 0; e < state->numEventStates; ++e) {
        void* eventState = eventStateAt(state, e);
        if (eventState != nullptr && !readEventState(in, eventState, isTimerSlot(inst, e))) {
            return 0;
        }
    }

    int32_t trailer = 0;
    return in.restore(trailer) && trailer == state->numOpStates ? 1 : 0;
}

void releaseOperatorState(ZRT_GenericOperatorState* state) {
    if (state == nullptr) {
        return;
    }
    if (state->free != nullptr) {
        state->free(state);
    } else {
        ZRT_free(state);
    }
}

void ZRT_FreeDeviceStateData(s_ZRT_DeviceState* state) {
    if (state == nullptr || state->pOpStates == nullptr) {
        return;
    }
    for (int32_t i = 0; i < state->numOpStates; ++i) {
        releaseOperatorState(state->pOpStates[i]);
        state->pOpStates[i] = nullptr;
    }
}

void ZRT_freeDeviceStateData(s_ZRT_DeviceState* state) {
    if (state == nullptr) {
        return;
    }
    if (state->pEventState != nullptr) {
        for (int32_t e = 0; e < state->numEventStates; ++e) {
            ZRT_free(state->pEventState[e]);
            state->pEventState[e] = nullptr;
        }
    }
    ZRT_FreeDeviceStateData(state);
}
