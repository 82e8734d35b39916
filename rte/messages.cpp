#include "rte/ZRT_CommonInterface.h"

uint64_t messageHash(const char* text) {
    if (text == nullptr) {
        text = "";
    }
    uint64_t h = 0;
    const char* p = text;
    for (;;) {
        // A byte of 128 or more contributes 0xFFFFFF00 plus itself in the low
        // 32 bits: sign-extended to 32 bits, then zero-extended.
        int8_t byte = static_cast<int8_t>(*p);
        uint64_t b = static_cast<uint32_t>(static_cast<int32_t>(byte));
        h = ((h << 5) | (h >> 59)) ^ b;
        if (*p == '\0') {
            break;
        }
        ++p;
    }
    return h;
}

int32_t ZRT_IsMessageDuplicate(const char* text, s_ZRT_DeviceInst* inst) {
    if (inst == nullptr) {
        return 0;
    }
    const uint64_t h = messageHash(text);
    for (uint64_t i = 0; i < inst->msgDupCount; ++i) {
        if (inst->msgDupHashes[i] == h) {
            return 1;
        }
    }
    if (inst->msgDupCount >= inst->msgDupCapacity) {
        const uint64_t capacity = inst->msgDupCapacity + 16;
        void* grown = ZRT_realloc(inst->msgDupHashes, capacity * sizeof(uint64_t), inst->pSim, nullptr, "");
        if (grown == nullptr) {
            // The old table and capacity stay; this warning is sent unrecorded.
            return 0;
        }
        inst->msgDupHashes = static_cast<uint64_t*>(grown);
        for (uint64_t i = inst->msgDupCount; i < capacity; ++i) {
            inst->msgDupHashes[i] = 0;
        }
        inst->msgDupCapacity = capacity;
    }
    inst->msgDupHashes[inst->msgDupCount++] = h;
    return 0;
}

void callExitTask(s_ZRT_SimInterface* sim, s_ZRT_DeviceInst* inst) {
    if (sim != nullptr && sim->SystemTask != nullptr) {
        sim->SystemTask("exit", 1, inst, 0, sim);
    }
}

void fatalError(s_ZRT_SimInterface* sim, s_ZRT_DeviceInst* inst, const void* context, const char* text) {
    ZRT_Message(sim, inst, context, ZRT_MSG_ERROR, text);
    callExitTask(sim, inst);
}

std::string escapePercent(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        escaped += c;
        if (c == '%') {
            escaped += '%';
        }
    }
    return escaped;
}
