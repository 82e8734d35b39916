#include <cstdarg>
#include <cstring>

#include "ZRT_CommonInterface.h"

namespace {
struct AnalysisBit {
    const char* name;
    uint32_t bit;
};
// "all" is a bit of its own, not the union of the others.
constexpr AnalysisBit kAnalysisBits[] = {
    {"ac", 1},     {"dc", 2},     {"noise", 4}, {"tran", 8},  {"ic", 16},    {"static", 32},
    {"nodeset", 64}, {"hb", 128}, {"env", 256}, {"pss", 512}, {"xf", 1024}, {"all", 2048},
};
}  // namespace

uint32_t ZRT_DefaultFormAnalysisQueryMask(s_ZRT_SimInterface*, int32_t count, ...) {
    uint32_t mask = 0;
    va_list names;
    va_start(names, count);
    for (int32_t i = 0; i < count; ++i) {
        const char* name = va_arg(names, const char*);
        if (name == nullptr) {
            continue;
        }
        for (const AnalysisBit& entry : kAnalysisBits) {
            if (std::strcmp(name, entry.name) == 0) {
                mask |= entry.bit;
                break;
            }
        }
    }
    va_end(names);
    return mask;
}
