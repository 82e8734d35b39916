// Saved states of the operators: the delay-state payload with its
// time-value history.
#include "dsl/ZRT_SupportLib.h"
#include "dsl/payload_io.h"

namespace {

constexpr char kHistBegin[] = "TimeValHist_Begin";
constexpr char kHistEnd[] = "TimeValHist_End";
constexpr size_t kHistBeginLength = sizeof kHistBegin - 1;  // 17, no terminator
constexpr size_t kHistEndLength = sizeof kHistEnd - 1;      // 15
constexpr size_t kPairBytes = 2 * sizeof(double);

// The numbers of a history that can be read back: a capacity of at least 3,
// a head inside it and a count of at most the capacity. A restore refuses
// any other history, so that an owner may index its ring with head and count;
// a save refuses it too, so that nothing is saved that cannot be restored.
bool isRestorableHist(int32_t head, int32_t count, int32_t capacity) {
    return capacity >= 3 && head >= 0 && head < capacity && count >= 0 && count <= capacity;
}

void writeDelaySpec(const ZRT_DelaySpec& spec, ZRT_OutputSerializer& out) {
    out.write(spec.values, sizeof spec.values);
    out.write(&spec.value5, sizeof spec.value5);
    out.write(kHistBegin, kHistBeginLength);
    const ZRT_TimeValHist* hist = spec.pHist;
    const int32_t present = hist != nullptr ? 1 : 0;
    out.write(&present, sizeof present);
    if (hist != nullptr) {
        out.write(&hist->head, sizeof hist->head);
        out.write(&hist->count, sizeof hist->count);
        out.write(&hist->data, sizeof hist->data);
        out.write(&hist->capacity, sizeof hist->capacity);
        for (int32_t i = 0; i < hist->capacity; ++i) {
            out.write(&hist->times[i], sizeof(double));
            out.write(&hist->values[i], sizeof(double));
        }
    }
    out.write(kHistEnd, kHistEndLength);
}

// Reads a history whose presence flag was set. Null when the stream fails,
// when its numbers do not describe a history that the remaining bytes can
// hold, or when memory is exhausted.
ZRT_TimeValHist* readTimeValHist(ZRT::InputSerializer& in, s_ZRT_SimInterface* sim) {
    int32_t head = 0;
    int32_t count = 0;
    double data = 0.0;
    int32_t capacity = 0;
    if (!in.restore(head) || !in.restore(count) || !in.restore(data) || !in.restore(capacity)) {
        return nullptr;
    }
    // Checked before anything is allocated: a damaged capacity must not turn
    // into a huge request.
    if (!isRestorableHist(head, count, capacity) || static_cast<size_t>(capacity) > in.remaining() / kPairBytes) {
        return nullptr;
    }
    ZRT_TimeValHist* hist = allocTimeValHist(capacity, data, sim);
    if (hist == nullptr) {
        return nullptr;
    }
    hist->head = head;
    hist->count = count;
    for (int32_t i = 0; i < capacity; ++i) {
        if (!in.restore(hist->times[i]) || !in.restore(hist->values[i])) {
            freeTimeValHist(hist);
            return nullptr;
        }
    }
    return hist;
}

bool readDelaySpec(ZRT_DelaySpec& spec, ZRT::InputSerializer& in) {
    double values[5];
    if (!in.read(values, sizeof values)) {
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        spec.values[i] = values[i];
    }
    spec.value5 = values[4];
    freeTimeValHist(spec.pHist);
    spec.pHist = nullptr;

    int32_t present = 0;
    if (!in.skip(kHistBeginLength) || !in.restore(present)) {
        return false;
    }
    if (present != 0) {
        spec.pHist = readTimeValHist(in, spec.pSim);
        if (spec.pHist == nullptr) {
            return false;
        }
    }
    return in.skip(kHistEndLength);
}

}  // namespace

void serializeDelaySpec(ZRT_GenericOperatorState* state, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir) {
    auto& spec = *reinterpret_cast<ZRT_DelaySpec*>(state);
    const ZRT_TimeValHist* hist = spec.pHist;
    if (*dir == ZRT_SRLZ_SAVE && hist != nullptr && !isRestorableHist(hist->head, hist->count, hist->capacity)) {
        *dir = ZRT_SRLZ_FAILED;
        return;
    }
    ZRT::serializePayload(
        inst, dir, [&](ZRT_OutputSerializer& out) { writeDelaySpec(spec, out); },
        [&](ZRT::InputSerializer& in) { return readDelaySpec(spec, in); });
}

ZRT_TimeValHist* allocTimeValHist(int32_t capacity, double data, s_ZRT_SimInterface* sim) {
    if (capacity < 3) {
        capacity = 3;
    }
    auto* hist = static_cast<ZRT_TimeValHist*>(ZRT_calloc(1, sizeof(ZRT_TimeValHist), sim, nullptr, nullptr));
    if (hist == nullptr) {
        return nullptr;
    }
    const size_t slots = static_cast<size_t>(capacity);
    hist->times = static_cast<double*>(ZRT_calloc(slots, sizeof(double), sim, nullptr, nullptr));
    if (hist->times != nullptr) {
        hist->values = static_cast<double*>(ZRT_calloc(slots, sizeof(double), sim, nullptr, nullptr));
    }
    if (hist->values == nullptr) {
        freeTimeValHist(hist);
        return nullptr;
    }
    hist->capacity = capacity;
    hist->data = data;
    return hist;
}

void freeTimeValHist(ZRT_TimeValHist* hist) {
    if (hist == nullptr) {
        return;
    }
    ZRT_free(hist->times);
    ZRT_free(hist->values);
    ZRT_free(hist);
}
