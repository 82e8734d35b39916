#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "dsl/ZRT_SupportLib.h"
#include "rte/platform.h"

namespace {

void negativeReplication(s_ZRT_DeviceInst* inst) {
    fatalError(simOf(inst), inst, nullptr, "Attempt to use a negative-valued replication constant.");
}

// A result that no allocation can hold is reported as an exhausted heap.
void oversize(s_ZRT_DeviceInst* inst) { reportOutOfMemory(simOf(inst), inst); }

ZRT_ConcatElement single(s_ZRT_DeviceInst* inst, ZRT_ConcatDataTypeE type, const void* value, size_t size) {
    void* data = ZRT_calloc(1, size, simOf(inst), inst, nullptr);
    if (data == nullptr) {
        return {type, 0, nullptr};
    }
    std::memcpy(data, value, size);
    return {type, 1, data};
}

ZRT_ConcatElement replicate(s_ZRT_DeviceInst* inst, ZRT_ConcatDataTypeE type, int32_t count, int32_t n,
                            va_list args) {
    const ZRT_ConcatElement empty{type, 0, nullptr};
    const size_t size = type == ZRT_REAL_DATA ? sizeof(double) : sizeof(int32_t);
    const char* typeCheck = type == ZRT_REAL_DATA ? "e.dataType == ZRT_REAL_DATA" : "e.dataType == ZRT_INT_DATA";
    if (n < 0) {
        n = 0;
    }

    auto* elements = static_cast<ZRT_ConcatElement*>(
        ZRT_calloc(static_cast<size_t>(n), sizeof(ZRT_ConcatElement), simOf(inst), inst, nullptr));
    if (n > 0 && elements == nullptr) {
        return empty;
    }
    // A null element pointer stands for an empty element.
    for (int32_t i = 0; i < n; ++i) {
        const auto* e = va_arg(args, const ZRT_ConcatElement*);
        elements[i] = e != nullptr ? *e : empty;
    }

    ZRT_ConcatElement result = empty;
    int64_t concatLen = 0;
    bool failed = count < 0;
    if (failed) {
        negativeReplication(inst);
    }
    for (int32_t i = 0; i < n && !failed; ++i) {
        const ZRT_ConcatElement& e = elements[i];
        if (e.arrayLen < 0) {
            negativeReplication(inst);
            failed = true;
            break;
        }
        ZRT_ASSERT_AT(e.dataType == type, typeCheck, __FILE__, __LINE__);
        concatLen += e.arrayLen;
    }
    // concatLen may reach n * (2^31 - 1): test before multiplying.
    const bool tooLong = !failed && count > 0 && concatLen > INT32_MAX / count;
    const int64_t total = failed || tooLong ? 0 : concatLen * count;
    if (tooLong) {
        oversize(inst);
    } else if (total > 0) {
        auto* data = static_cast<char*>(ZRT_calloc(static_cast<size_t>(total), size, simOf(inst), inst, nullptr));
        if (data != nullptr) {
            int64_t k = 0;
            for (int32_t i = 0; i < n; ++i) {
                const ZRT_ConcatElement& e = elements[i];
                if (e.data != nullptr && e.arrayLen > 0) {
                    for (int64_t r = 0; r < count; ++r) {
                        std::memcpy(data + (r * concatLen + k) * static_cast<int64_t>(size), e.data,
                                    static_cast<size_t>(e.arrayLen) * size);
                    }
                }
                k += e.arrayLen;
            }
            ZRT_ASSERT(k == concatLen);
            result = {type, static_cast<int32_t>(total), data};
        }
    }
    ZRT_free(elements);
    return result;
}

}  // namespace

ZRT_ConcatElement ZRT_Real(s_ZRT_DeviceInst* inst, double value) {
    return single(inst, ZRT_REAL_DATA, &value, sizeof value);
}

ZRT_ConcatElement ZRT_Int(s_ZRT_DeviceInst* inst, int32_t value) {
    return single(inst, ZRT_INT_DATA, &value, sizeof value);
}

ZRT_ConcatElement ZRT_RealReplicate(s_ZRT_DeviceInst* inst, int32_t count, int32_t n, ...) {
    va_list args;
    va_start(args, n);
    ZRT_ConcatElement result = replicate(inst, ZRT_REAL_DATA, count, n, args);
    va_end(args);
    return result;
}

ZRT_ConcatElement ZRT_IntReplicate(s_ZRT_DeviceInst* inst, int32_t count, int32_t n, ...) {
    va_list args;
    va_start(args, n);
    ZRT_ConcatElement result = replicate(inst, ZRT_INT_DATA, count, n, args);
    va_end(args);
    return result;
}

int32_t ZRT_BitwiseConcatenate(s_ZRT_DeviceInst* inst) {
    ZRT_Message(simOf(inst), inst, nullptr, ZRT_MSG_WARNING,
                "Bitwise concatenation within the analog domain is not currently supported.");
    return 0;
}

int32_t ZRT_BitwiseReplicate(s_ZRT_DeviceInst* inst) {
    ZRT_Message(simOf(inst), inst, nullptr, ZRT_MSG_WARNING,
                "Bitwise replication within the analog domain is not currently supported.");
    return 0;
}

char* ZRT_StringConcatenate(s_ZRT_DeviceInst* inst, int32_t n, ...) {
    if (n < 0) {
        return nullptr;
    }
    va_list args;
    va_start(args, n);
    va_list sizing;
    va_copy(sizing, args);
    size_t length = 0;
    for (int32_t i = 0; i < n; ++i) {
        const char* s = va_arg(sizing, const char*);
        length += s != nullptr ? std::strlen(s) : 0;
    }
    va_end(sizing);

    auto* result = static_cast<char*>(ZRT_malloc(length + 1, simOf(inst), inst, nullptr));
    if (result != nullptr) {
        char* end = result;
        for (int32_t i = 0; i < n; ++i) {
            const char* s = va_arg(args, const char*);
            if (s != nullptr) {
                const size_t l = std::strlen(s);
                std::memcpy(end, s, l);
                end += l;
            }
        }
        *end = '\0';
    }
    va_end(args);
    return result;
}

char* ZRT_StringReplicate(s_ZRT_DeviceInst* inst, int32_t count, const char* text) {
    if (count < 0) {
        negativeReplication(inst);
        return ZRT_strdup("", simOf(inst), inst);
    }
    if (text == nullptr) {
        return nullptr;
    }
    const size_t length = std::strlen(text);
    if (length != 0 && static_cast<size_t>(count) > (SIZE_MAX - 1) / length) {
        oversize(inst);
        return ZRT_strdup("", simOf(inst), inst);
    }
    const size_t total = length * static_cast<size_t>(count);
    auto* result = static_cast<char*>(ZRT_malloc(total + 1, simOf(inst), inst, nullptr));
    if (result != nullptr) {
        for (size_t offset = 0; offset < total; offset += length) {
            std::memcpy(result + offset, text, length);
        }
        result[total] = '\0';
    }
    return result;
}

void ZRT_StringAssign(char** variable, const char* text, s_ZRT_DeviceInst* inst) {
    if (variable == nullptr) {
        return;
    }
    char* copy = ZRT_strdup(text, simOf(inst), inst);
    ZRT_free(*variable);
    *variable = copy;
}

int32_t ZRT_rfc_len(void*, const char* text) {
    return text != nullptr ? static_cast<int32_t>(std::strlen(text)) : 0;
}

char* ZRT_rfc_substr(s_ZRT_DeviceInst* inst, const char* text, int32_t first, int32_t last) {
    if (first < 0 || text == nullptr || first > last || static_cast<size_t>(last) >= std::strlen(text)) {
        return ZRT_strdup("\"\"", simOf(inst), inst);  // out of range: two double quotes
    }
    const size_t length = static_cast<size_t>(last - first) + 1;
    auto* result = static_cast<char*>(ZRT_calloc(length + 1, 1, simOf(inst), inst, nullptr));
    if (result != nullptr) {
        std::memcpy(result, text + first, length);
    }
    return result;
}

double ZRT_rfc_atoreal(void*, const char* text) {
    if (text == nullptr) {
        return 0.0;
    }
    // Numbers read the same whatever locale the host set.
    return platformParseReal(text);
}

int32_t ZRT_rfc_atoi(void*, const char* text) {
    if (text == nullptr) {
        return 0;
    }
    // strtoll saturates at the 64-bit range; clamp further to 32 bits.
    const long long value = std::strtoll(text, nullptr, 10);
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(value);
}

char* ZRT_charFromInt(char* buffer, int32_t) {
    if (buffer != nullptr) {
        std::memset(buffer, 0, 4);
    }
    return buffer;
}
