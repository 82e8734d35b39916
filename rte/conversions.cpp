#include <cmath>
#include <cstdio>
#include <cstring>

#include "rte/ZRT_CommonInterface.h"

int32_t ZRT_doubleToInt(double x) {
    // 0.0 and NaN take the subtracting branch; the sum is rounded to double
    // first, so 0.49999999999999994 becomes 1.
    const double s = x > 0.0 ? x + 0.5 : x - 0.5;
    if (s >= 2147483647.0) {
        return INT32_MAX;
    }
    if (s <= -2147483648.0 || std::isnan(s)) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(s);
}

int32_t truncateToIntSaturated(double x) {
    if (std::isnan(x)) {
        return INT32_MIN;
    }
    if (x >= 2147483647.0) {
        return INT32_MAX;
    }
    if (x <= -2147483648.0) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(x);
}

int32_t convToInt(ZRT_TaggedValue value, s_ZRT_DeviceInst* inst) {
    switch (value.tag) {
    case ZRT_TAG_INT:
        return value.value.i;
    case ZRT_TAG_REAL:
        return ZRT_doubleToInt(value.value.r);
    default:
        if (inst != nullptr) {
            fatalError(inst->pSim, inst, nullptr, "Unable to convert to integer.");
        }
        return 0;
    }
}

double convToReal(ZRT_TaggedValue value, s_ZRT_DeviceInst* inst) {
    switch (value.tag) {
    case ZRT_TAG_INT:
        return static_cast<double>(value.value.i);
    case ZRT_TAG_REAL:
        return value.value.r;
    default:
        if (inst != nullptr) {
            fatalError(inst->pSim, inst, nullptr, "Unable to convert to real.");
        }
        return 0.0;
    }
}

const char* convToStr(ZRT_TaggedValue value) { return value.value.s; }

char* ZRT_GetConfigName(s_ZRT_DeviceInst* inst) {
    if (inst == nullptr || inst->pMD == nullptr) {
        return nullptr;
    }
    const char* lib = inst->pMD->libName;
    const char* mod = inst->pMD->moduleName != nullptr ? inst->pMD->moduleName : "";
    const size_t modLength = std::strlen(mod);
    if (lib == nullptr) {
        char* name = static_cast<char*>(ZRT_malloc(modLength + 1, inst->pSim, inst, nullptr));
        if (name != nullptr) {
            std::memcpy(name, mod, modLength + 1);
        }
        return name;
    }
    const size_t size = std::strlen(lib) + modLength + 2;
    char* name = static_cast<char*>(ZRT_malloc(size, inst->pSim, inst, nullptr));
    if (name != nullptr) {
        std::snprintf(name, size, "%s.%s", lib, mod);
    }
    return name;
}

static const char* recordName(const void* record) {
    const char* name = *static_cast<const char* const*>(record);
    return name != nullptr ? name : "";
}

static int sign(int value) { return (value > 0) - (value < 0); }

int ZRT_paramCompare(const void* a, const void* b) { return sign(std::strcmp(recordName(a), recordName(b))); }

// ASCII-only and independent of the locale: bytes outside A-Z are compared
// as they are.
static int lowerAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

int ZRT_paramCompareIgnoreCase(const void* a, const void* b) {
    const unsigned char* x = reinterpret_cast<const unsigned char*>(recordName(a));
    const unsigned char* y = reinterpret_cast<const unsigned char*>(recordName(b));
    for (;; ++x, ++y) {
        const int cx = lowerAscii(*x);
        const int cy = lowerAscii(*y);
        if (cx != cy) {
            return cx < cy ? -1 : 1;
        }
        if (cx == 0) {
            return 0;
        }
    }
}
