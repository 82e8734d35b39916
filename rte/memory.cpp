#include <cstdlib>
#include <cstring>

#include "rte/ZRT_CommonInterface.h"
#include "rte/allocator.h"

ZRT_Allocator& zrtAllocator() {
    static ZRT_Allocator allocator{std::malloc, std::calloc, std::realloc, std::free};
    return allocator;
}

static void* reportExhausted(s_ZRT_SimInterface* sim, s_ZRT_DeviceInst* inst, const void* context) {
    if (sim != nullptr) {
        fatalError(sim, inst, context, "Out of memory.");
    }
    return nullptr;
}

void reportOutOfMemory(s_ZRT_SimInterface* sim, s_ZRT_DeviceInst* inst) { reportExhausted(sim, inst, nullptr); }

void* ZRT_malloc(size_t size, s_ZRT_SimInterface* sim, s_ZRT_DeviceInst* inst, const void* context) {
    if (size == 0) {
        return nullptr;
    }
    void* block = zrtAllocator().malloc(size);
    return block != nullptr ? block : reportExhausted(sim, inst, context);
}

void* ZRT_calloc(size_t count, size_t size, s_ZRT_SimInterface* sim, s_ZRT_DeviceInst* inst, const void* context) {
    if (count == 0 || size == 0) {
        return nullptr;
    }
    // count and size go to calloc unchanged, which checks their product.
    void* block = zrtAllocator().calloc(count, size);
    return block != nullptr ? block : reportExhausted(sim, inst, context);
}

void* ZRT_realloc(void* block, size_t size, s_ZRT_SimInterface* sim, s_ZRT_DeviceInst* inst, const void* context) {
    if (size == 0) {
        return nullptr;  // the old block stays allocated
    }
    void* grown = zrtAllocator().realloc(block, size);
    return grown != nullptr ? grown : reportExhausted(sim, inst, context);
}

char* ZRT_strdup(const char* text, s_ZRT_SimInterface* sim, s_ZRT_DeviceInst* inst) {
    if (text == nullptr) {
        return nullptr;
    }
    size_t length = std::strlen(text) + 1;
    char* copy = static_cast<char*>(ZRT_malloc(length, sim, inst, nullptr));
    if (copy != nullptr) {
        std::memcpy(copy, text, length);
    }
    return copy;
}

void ZRT_free(void* block) {
    if (block != nullptr) {
        zrtAllocator().free(block);
    }
}
