// An instance whose saved state holds a module record, operator states (one
// of them a delay state) and the states of a timer and a cross event, as the
// saved-state tests and the fuzz target of its restore use it.
#pragma once

#include "dsl/ZRT_SupportLib.h"
#include "tests/stream_bytes.h"
#include "tests/test_host.h"

namespace testhost {

// A module record of a double, an integer and a byte.
struct SmallRec {
    ZRT_ModuleSerializeFn serialize;
    double d;
    int32_t i;
    char c;
};

inline ZRT_SrlzDirE serializeSmall(s_ZRT_DeviceInst* inst, void* rec, ZRT_SrlzDirE dir) {
    auto* r = static_cast<SmallRec*>(rec);
    ZRT_serializeDouble(&r->d, inst, &dir);
    ZRT_serializeInt(&r->i, inst, &dir);
    ZRT_serializeChar(&r->c, inst, &dir);
    return dir;
}

// A module with the record above, three operator slots (null, a state
// without payload, a delay state with a history of capacity 3) and three
// events: the initial step, a timer and a cross event.
class SavedInstance {
public:
    SavedInstance() : inst(host, &md, shape()) {
        md.numEvents = 3;
        inst.events[0] = ZRT_createSimEvent_initial_step(inst.get(), 0);
        inst.events[1] = ZRT_createSimEvent_timer(inst.get());
        auto* cross = static_cast<ZRT_EventDesc*>(ZRT_calloc(1, sizeof(ZRT_EventDesc), nullptr, nullptr, nullptr));
        cross->inst = inst.get();
        cross->eventType = ZRT_EVT_CROSS;
        inst.events[2] = cross;

        timer()->start = 1e-6;
        timer()->period = 2e-6;
        timer()->next = 3e-6;
        timer()->armed = 1;
        ZRT_CrossEventState& c = host.crossStates[cross];
        c.tag = ZRT_CROSS_STATE_TAG;
        for (int k = 0; k < 4; ++k) {
            c.d1[k] = 1.0 + k;
            c.d3[k] = 30.0 + k;
        }
        for (int k = 0; k < 7; ++k) {
            c.bytes[k] = static_cast<uint8_t>(0xA0 + k);
        }
        c.d2[0] = 20.0;
        c.d2[1] = 21.0;
        c.i1 = -5;
        c.i2 = 77;
        c.mode = 1;
    }

    ~SavedInstance() { ZRT_FreeDeviceSerializer(inst.get(), 1); }
    SavedInstance(const SavedInstance&) = delete;
    SavedInstance& operator=(const SavedInstance&) = delete;

    static TestInstance::Shape shape() {
        TestInstance::Shape s;
        s.events = 3;
        return s;
    }

    ZRT_TimerInfo* timer() { return static_cast<ZRT_TimerInfo*>(inst.events[1]->info); }
    ZRT_CrossEventState& crossState() { return host.crossStates[inst.events[2]]; }

    // A state record with fresh operator states: a silent one and a delay
    // state of history capacity `capacity`.
    s_ZRT_DeviceState makeState(SmallRec& rec, int capacity) {
        ops[0] = nullptr;
        ops[1] = static_cast<ZRT_GenericOperatorState*>(
            ZRT_calloc(1, sizeof(ZRT_GenericOperatorState), nullptr, nullptr, nullptr));
        host.delayHistoryCapacity = capacity;
        ops[2] = host.sim.CreateDelaySpec(&host.sim);
        events[0] = events[1] = events[2] = nullptr;
        s_ZRT_DeviceState state{};
        state.pStateRec = &rec;
        state.numOpStates = 3;
        state.pOpStates = ops;
        state.numEventStates = 3;
        state.pEventState = events;
        state.pInst = inst.get();
        return state;
    }

    // The stream of the instance with a record of (2.5, -9, 'z') and a delay
    // history of two points.
    Bytes save() {
        SmallRec rec{serializeSmall, 2.5, -9, 'z'};
        s_ZRT_DeviceState state = makeState(rec, 3);
        auto* spec = reinterpret_cast<ZRT_DelaySpec*>(ops[2]);
        spec->values[1] = 0.125;
        spec->pHist->count = 2;
        spec->pHist->times[1] = 1e-9;
        spec->pHist->values[1] = 0.5;
        uint32_t count = 0;
        const uint8_t* raw = ZRT_SaveDeviceState(&state, inst.get(), &count);
        Bytes bytes = raw != nullptr ? Bytes(raw, raw + count) : Bytes();
        ZRT_FreeDeviceSerializer(inst.get(), 1);
        ZRT_freeDeviceStateData(&state);
        return bytes;
    }

    TestHost host;
    s_ZRT_ModuleDesc md{};
    TestInstance inst;
    ZRT_GenericOperatorState* ops[3] = {};
    void* events[3] = {};
};

}  // namespace testhost
