// Fuzz target: the restore of an instance whose state holds a module record,
// a delay state and the states of a timer and a cross event, given any
// bytes. A refused stream leaves the live timer and cross event as they
// were; an accepted one hands its states back and saves again, and that
// save restores and saves once more into the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "tests/saved_instance.h"

namespace {

using testhost::Bytes;

void check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

// What an accepted restore hands over: the module record and the delay state.
struct Taken {
    testhost::SmallRec rec{testhost::serializeSmall, 0.0, 0, 0};
    ZRT_GenericOperatorState* delay = nullptr;
};

// Restores `bytes` into the instance; only an accepted stream hands its
// event states back and its record and delay state over.
int32_t restore(testhost::SavedInstance& s, const uint8_t* bytes, size_t size, Taken& taken) {
    testhost::SmallRec rec{testhost::serializeSmall, -1.0, -1, 'x'};
    s_ZRT_DeviceState state = s.makeState(rec, 16);
    const int32_t answer = ZRT_RestoreDeviceState(bytes, static_cast<uint32_t>(size), &state, s.inst.get());
    ZRT_FreeDeviceSerializer(s.inst.get(), 0);
    check(answer == 0 || answer == 1);
    if (answer == 1) {
        ZRT_RestoreEvents(s.inst.get(), &state);
        taken.rec = rec;
        releaseOperatorState(taken.delay);
        taken.delay = s.ops[2];
        s.ops[2] = nullptr;
    }
    ZRT_freeDeviceStateData(&state);
    return answer;
}

// The instance's stream with what was taken over (the save releases the
// delay state).
Bytes save(testhost::SavedInstance& s, Taken& taken) {
    s_ZRT_DeviceState state = s.makeState(taken.rec, 3);
    releaseOperatorState(s.ops[2]);
    s.ops[2] = taken.delay;
    taken.delay = nullptr;
    uint32_t count = 0;
    const uint8_t* raw = ZRT_SaveDeviceState(&state, s.inst.get(), &count);
    Bytes bytes = raw != nullptr ? Bytes(raw, raw + count) : Bytes();
    ZRT_FreeDeviceSerializer(s.inst.get(), 1);
    ZRT_freeDeviceStateData(&state);
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    testhost::SavedInstance s;
    // Byte for byte, padding included.
    uint8_t timerBefore[sizeof(ZRT_TimerInfo)];
    uint8_t crossBefore[sizeof(ZRT_CrossEventState)];
    std::memcpy(timerBefore, s.timer(), sizeof timerBefore);
    std::memcpy(crossBefore, &s.crossState(), sizeof crossBefore);
    Taken taken;
    if (restore(s, data, size, taken) == 0) {
        check(std::memcmp(s.timer(), timerBefore, sizeof timerBefore) == 0);
        check(std::memcmp(&s.crossState(), crossBefore, sizeof crossBefore) == 0);
        check(s.host.crossRestores == 0);
        return 0;
    }
    const Bytes first = save(s, taken);
    check(!first.empty());
    check(restore(s, first.data(), first.size(), taken) == 1);
    check(save(s, taken) == first);
    return 0;
}
