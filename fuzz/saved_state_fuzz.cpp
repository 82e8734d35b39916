// Fuzz target: the saved-state payloads of the transition, slew, idt and zi
// states, of last-crossing records, of real and integer arrays and of texts,
// each read through its serialize function from an instance's restore
// stream. The first byte picks the payload; the rest is the stream. A read
// either fails or takes a whole payload, which saves again as the bytes it
// read (the labels, skipped by length, aside).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "dsl/ZRT_SupportLib.h"
#include "rte/arrays.h"
#include "tests/stream_bytes.h"
#include "tests/test_host.h"

namespace {

using testhost::Bytes;
using Serialize = std::function<void(ZRT_SrlzDirE*)>;

// Where the labels of a transition payload starting at `at` lie.
void transitionLabels(std::vector<std::pair<size_t, size_t>>& labels, size_t at) {
    labels.push_back({at, 16});
    labels.push_back({at + 148, 15});
}

struct Rig {
    testhost::TestHost host;
    s_ZRT_ModuleDesc md{};
    testhost::TestInstance inst{host, &md, testhost::TestInstance::Shape{}};

    // Reads `bytes` through `serialize`; after a read that succeeded, checks
    // that a save gives them back.
    void check(const Bytes& bytes, const Serialize& serialize, const std::vector<std::pair<size_t, size_t>>& labels) {
        testhost::openRestoreStream(inst.get(), bytes);
        ZRT_SrlzDirE dir = ZRT_SRLZ_RESTORE;
        serialize(&dir);
        ZRT_FreeDeviceSerializer(inst.get(), 0);
        if (dir == ZRT_SRLZ_FAILED) {
            return;
        }
        dir = ZRT_SRLZ_SAVE;
        serialize(&dir);
        Bytes again = testhost::takeSavedBytes(inst.get());
        if (dir != ZRT_SRLZ_SAVE || again.size() > bytes.size()) {
            __builtin_trap();
        }
        for (auto [offset, length] : labels) {
            if (offset + length <= again.size()) {
                std::memcpy(again.data() + offset, bytes.data() + offset, length);
            }
        }
        if (std::memcmp(again.data(), bytes.data(), again.size()) != 0) {
            __builtin_trap();
        }
    }
    Serialize of(ZRT_GenericOperatorState* state) {
        return [this, state](ZRT_SrlzDirE* dir) { state->serialize(state, inst.get(), dir); };
    }
};

s_ZRT_Array* realArray(testhost::TestHost& host, std::initializer_list<double> values) {
    s_ZRT_Array* a = ZRT_createArray(ZRT_REAL_ARRAY, "a", &host.sim);
    ZRT_setArrayBounds(a, 0, static_cast<int32_t>(values.size()) - 1);
    int32_t i = 0;
    for (double v : values) {
        ZRT_setArrayReal(a, i++, v);
    }
    return a;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    Rig rig;
    s_ZRT_DeviceInst* inst = rig.inst.get();
    const Bytes bytes(data + 1, data + size);
    std::vector<std::pair<size_t, size_t>> labels;
    // A saved state of fixed size read in place, then released.
    auto checkState = [&](ZRT_GenericOperatorState* state) {
        rig.check(bytes, rig.of(state), labels);
        releaseOperatorState(state);
    };
    switch (data[0] % 8) {
    case 0: {
        ZRT_OpBranch_transition* op = ZRT_createOpBranch_transition("tr", inst, 0.0);
        ZRT_GenericOperatorState* state = ZRT_transitionSaveState(op);
        transitionLabels(labels, 0);
        rig.check(bytes, rig.of(state), labels);
        ZRT_transitionRestoreState(op, state);
        releaseOperatorState(state);
        ZRT_destroyOpBranch_transition(op);
        break;
    }
    case 1: {
        ZRT_OpBranch_slew* op = ZRT_createOpBranch_slew("sl", inst);
        checkState(ZRT_slewSaveState(op));
        ZRT_destroyOpBranch_slew(op);
        break;
    }
    case 2: {
        ZRT_OpBranch_idt* op = ZRT_createOpBranch_idt("idt", inst);
        checkState(ZRT_idtSaveState(op));
        ZRT_destroyOpBranch_idt(op);
        break;
    }
    case 3: {
        // Histories of two and three values.
        s_ZRT_Array* numer = realArray(rig.host, {1.0, 0.5});
        s_ZRT_Array* denom = realArray(rig.host, {1.0, -0.5, 0.25});
        ZRT_OpBranch_zi* op = ZRT_createOpBranch_zi("zi", inst, 0, 0, 1e-5);
        ZRT_ziInitArrayArg(op, numer, denom);
        ZRT_ziSetArg(op, 1.0, 1e-3, 1e-5, 0.0, &rig.host.loader);
        ZRT_GenericOperatorState* state = ZRT_ziSaveState(op);
        labels.push_back({0, 3});
        transitionLabels(labels, 3 + 8 + 8 + 4 + 4 + 8 * (2 + 3));
        rig.check(bytes, rig.of(state), labels);
        ZRT_ziRestoreState(op, state);
        releaseOperatorState(state);
        ZRT_destroyOpBranch_zi(op);
        ZRT_freeArray(numer);
        ZRT_freeArray(denom);
        break;
    }
    case 4: {
        ZRT_LastCrossing* record = ZRT_createLastCrossing(inst);
        rig.check(bytes, [&](ZRT_SrlzDirE* dir) { ZRT_serializeLastCrossing(record, inst, dir); }, labels);
        ZRT_free(record);
        break;
    }
    case 5:
    case 6: {
        s_ZRT_Array* a = ZRT_createArray(data[0] % 8 == 5 ? ZRT_REAL_ARRAY : ZRT_INT_ARRAY, "a", &rig.host.sim);
        ZRT_setArrayBounds(a, 0, 2);
        rig.check(bytes, [&](ZRT_SrlzDirE* dir) { ZRT_serializeArray(a, inst, dir); }, labels);
        ZRT_freeArray(a);
        break;
    }
    default: {
        char* text = nullptr;
        char* first = nullptr;
        rig.check(bytes,
                  [&](ZRT_SrlzDirE* dir) {
                      ZRT_serializeString(&text, inst, dir);
                      if (first == nullptr) {
                          first = text;  // the text read, released below
                      }
                  },
                  labels);
        ZRT_free(first);
        break;
    }
    }
    return 0;
}
