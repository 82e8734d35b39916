#include <cstdarg>
#include <cstring>

#include "rte/ZRT_CommonInterface.h"

namespace {
struct AnalysisBit {
    const char* name;
    uint32_t bit;
};
// "all" is a bit of its own, not the union of the others.
constexpr AnalysisBit kAnalysisBits[] = {
    {"ac", ZRT_ANALYSIS_AC},     {"dc", ZRT_ANALYSIS_DC},   {"noise", ZRT_ANALYSIS_NOISE},
    {"tran", ZRT_ANALYSIS_TRAN}, {"ic", ZRT_ANALYSIS_IC},   {"static", ZRT_ANALYSIS_STATIC},
    {"nodeset", ZRT_ANALYSIS_NODESET}, {"hb", ZRT_ANALYSIS_HB}, {"env", ZRT_ANALYSIS_ENV},
    {"pss", ZRT_ANALYSIS_PSS},   {"xf", ZRT_ANALYSIS_XF},   {"all", ZRT_ANALYSIS_ALL},
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

uint32_t analysisMaskOf(s_ZRT_SimInterface* sim, const char* name) {
    return sim != nullptr && sim->FormAnalysisQueryMask != nullptr ? sim->FormAnalysisQueryMask(sim, 1, name)
                                                                   : ZRT_DefaultFormAnalysisQueryMask(sim, 1, name);
}
