#include "dsl/system_state_vars.h"

#include <cstdlib>
#include <cstring>

#include "rte/state_vars.h"

namespace {

// "instance.name" in a block of the standard allocator (as every kept name),
// null when memory is exhausted.
char* qualifiedName(const char* instName, const char* name) {
    const size_t a = instName != nullptr ? std::strlen(instName) : 0;
    const size_t b = name != nullptr ? std::strlen(name) : 0;
    auto* text = static_cast<char*>(std::malloc(a + 1 + b + 1));
    if (text == nullptr) {
        return nullptr;
    }
    if (a > 0) {
        std::memcpy(text, instName, a);
    }
    text[a] = '.';
    if (b > 0) {
        std::memcpy(text + a + 1, name, b);
    }
    text[a + 1 + b] = '\0';
    return text;
}

}  // namespace

s_ZRT_StateVar* createSystemStateVar(const char* name, s_ZRT_DeviceInst* inst, ZRT_NodalInfo* nodalInfo,
                                     void* extra, int32_t keepName) {
    if (inst == nullptr) {
        return nullptr;
    }
    uint32_t index = kUnnumberedSystemVar;
    s_ZRT_SimInterface* sim = inst->pSim;
    if (sim != nullptr && sim->CreateSystemStateVar != nullptr) {
        sim->CreateSystemStateVar(inst->name, name, &index, 2, nodalInfo, extra);
    }
    s_ZRT_StateVar* sv = createZRT_StateVar(inst, index, 1);
    if (sv == nullptr) {
        return nullptr;
    }
    sv->flags = ZRT_SV_ANALOG_SYSTEM;
    if (keepName != 0) {
        sv->name = qualifiedName(inst->name, name);
    }
    return sv;
}
