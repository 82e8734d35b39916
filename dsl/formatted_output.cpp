#include <cstdio>

#include "dsl/ZRT_SupportLib.h"

char* formatText(s_ZRT_SimInterface* sim, s_ZRT_DeviceInst* inst, const char* format, va_list args) {
    if (format == nullptr) {
        format = "";
    }
    // One pass measures, the second writes into a block of the right size.
    va_list sizing;
    va_copy(sizing, args);
    const int length = std::vsnprintf(nullptr, 0, format, sizing);
    va_end(sizing);
    if (length < 0) {
        return nullptr;
    }
    const size_t size = static_cast<size_t>(length) + 1;
    auto* text = static_cast<char*>(ZRT_malloc(size, sim, inst, nullptr));
    if (text != nullptr) {
        std::vsnprintf(text, size, format, args);
    }
    return text;
}

int32_t ZRT_sscanf(const char* text, void*, const char* format, ...) {
    if (text == nullptr || format == nullptr) {
        return 0;
    }
    va_list args;
    va_start(args, format);
    const int32_t n = std::vsscanf(text, format, args);
    va_end(args);
    return n;
}

char* ZRT_ssscanf(s_ZRT_DeviceInst* inst, const char* format, ...) {
    va_list args;
    va_start(args, format);
    char* text = formatText(simOf(inst), inst, format, args);
    va_end(args);
    return text;
}

void ZRT_WriteString(char** variable, s_ZRT_DeviceInst* pInst, const char* format, ...) {
    ZRT_ASSERT_AT(pInst != nullptr, "pInst != 0", __FILE__, __LINE__);
    va_list args;
    va_start(args, format);
    char* text = formatText(pInst->pSim, pInst, format, args);
    va_end(args);
    ZRT_StringAssign(variable, text, pInst);
    ZRT_free(text);
}

int32_t ZRT_WriteMsg(ZRT_MessageTypeE type, s_ZRT_DeviceInst* pInst, const char* format, ...) {
    ZRT_ASSERT_AT(pInst != nullptr, "pInst != 0", __FILE__, __LINE__);
    s_ZRT_SimInterface* sim = pInst->pSim;
    va_list args;
    va_start(args, format);
    char* text = formatText(sim, pInst, format, args);
    va_end(args);
    if (text == nullptr) {
        return 0;
    }
    int32_t answer = 0;
    const bool duplicate = type == ZRT_MSG_WARNING && ZRT_IsMessageDuplicate(text, pInst) != 0;
    if (!duplicate && sim != nullptr && sim->Message != nullptr) {
        answer = sim->Message(type, text, pInst, sim);
    }
    ZRT_free(text);
    return answer;
}
