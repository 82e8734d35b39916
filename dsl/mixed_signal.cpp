#include "dsl/mixed_signal.h"

ZRT_EventDesc* ZRT_createSimEvent_D2A(s_ZRT_DeviceInst* inst) {
    auto* event = static_cast<ZRT_EventDesc*>(ZRT_malloc(sizeof(ZRT_EventDesc), simOf(inst), inst, nullptr));
    if (event != nullptr) {
        event->reserved0 = nullptr;
        event->inst = inst;
        event->eventType = ZRT_EVT_D2A;
        event->info = nullptr;
    }
    return event;
}

ZRT_LogicValue* ZRT_initLogic(ZRT_LogicValue* out, int32_t width, uint32_t value, uint32_t unknown) {
    if (out != nullptr) {
        out->width = width;
        out->value = value;
        out->unknown = unknown;
    }
    return out;
}

int32_t ZRT_compareLogic(ZRT_LogicValue x, ZRT_LogicValue y, int32_t mode) {
    const int32_t w = x.width > y.width ? x.width : y.width;
    uint32_t mask = w <= 0 ? 0u : w >= 32 ? ~0u : (1u << w) - 1u;
    if (mode == ZRT_LOGIC_IGNORE_X_UNKNOWN) {
        mask &= ~x.unknown;
    } else if (mode == ZRT_LOGIC_IGNORE_Z) {
        mask &= (~y.unknown | y.value) & (~x.unknown | x.value);
    }
    const uint32_t differ = (x.value ^ y.value) | (x.unknown ^ y.unknown);
    return (differ & mask) == 0 ? 1 : 0;
}

int32_t ZRT_compareLogInt(ZRT_LogicValue x, int32_t value, int32_t mode) {
    const ZRT_LogicValue y{31, static_cast<uint32_t>(value), 0u, 0u};
    return ZRT_compareLogic(x, y, mode);
}

void ZRT_ExportNet(int32_t index, s_ZRT_StateVar* pos, s_ZRT_StateVar* neg, const s_ZRT_ContribLoader* loader,
                   s_ZRT_DeviceInst* inst) {
    const ZRT_AMS_Loader* ams = loader->pAMS;
    if (ams != nullptr && ams->pExportHost != nullptr && ams->pExportTarget != nullptr &&
        ams->ExportNetFn != nullptr) {
        const int64_t scaled = int64_t{index} * ams->ExportIndexScale;
        ams->ExportNetFn(static_cast<int32_t>(scaled), pos, neg, loader, inst);
        return;
    }
    ZRT_ASSERT_AT(ams != nullptr && ams->pA2D_SM != nullptr, "pldr->pAMS && pldr->pAMS->pA2D_SM", __FILE__,
                  __LINE__);
    if (index < 0) {
        return;
    }
    const double vPos = pos != nullptr ? loader->GetSol(pos, loader, inst) : 0.0;
    const double vNeg = neg != nullptr ? loader->GetSol(neg, loader, inst) : 0.0;
    ams->pA2D_SM[index] = vPos - vNeg;
}
