#include <cstring>

#include "dsl/ZRT_SupportLib.h"

namespace {

int32_t numFileDescs(const s_ZRT_DeviceInst* inst) {
    if (inst == nullptr || inst->pMD == nullptr || inst->fileDescs == nullptr) {
        return 0;
    }
    return inst->pMD->numFileDescs;
}

bool isOpenForReading(const ZRT_FileDesc* d) {
    return d != nullptr && d->handle != nullptr && d->mode != nullptr && d->mode[0] == 'r';
}

bool raised(const int32_t* flag) { return flag != nullptr && *flag != 0; }

void raise(int32_t* flag) {
    if (flag != nullptr) {
        *flag = 1;
    }
}

}  // namespace

void ZRT_initFileDescs(s_ZRT_DeviceInst* inst) {
    const int32_t count = numFileDescs(inst);
    for (int32_t i = 0; i < count; ++i) {
        inst->fileDescs[i] = static_cast<ZRT_FileDesc*>(ZRT_calloc(1, sizeof(ZRT_FileDesc), inst->pSim, inst, nullptr));
    }
}

void ZRT_positionFileDescs(s_ZRT_DeviceInst* inst) {
    const int32_t count = numFileDescs(inst);
    s_ZRT_SimInterface* sim = simOf(inst);
    for (int32_t i = 0; i < count && sim != nullptr && sim->FileSeek != nullptr; ++i) {
        const ZRT_FileDesc* d = inst->fileDescs[i];
        if (isOpenForReading(d)) {
            sim->FileSeek(d->handle, d->savedPosition, inst, sim);
        }
    }
}

void ZRT_acceptFileDescs(s_ZRT_DeviceInst* inst) {
    const int32_t count = numFileDescs(inst);
    s_ZRT_SimInterface* sim = simOf(inst);
    for (int32_t i = 0; i < count && sim != nullptr && sim->FileTell != nullptr; ++i) {
        ZRT_FileDesc* d = inst->fileDescs[i];
        if (isOpenForReading(d)) {
            d->savedPosition = sim->FileTell(d->handle, inst, sim);
        }
    }
}

int32_t ZRT_FileOpen(s_ZRT_DeviceInst* inst, const char* name, const char* mode, int32_t flag) {
    s_ZRT_SimInterface* sim = simOf(inst);
    if (name == nullptr || sim == nullptr || sim->FileOpen == nullptr) {
        return 0;
    }
    void* out1 = nullptr;
    void* out2 = nullptr;
    return sim->FileOpen(name, mode, &out1, &out2, flag, inst, sim);
}

void ZRT_FileClose(s_ZRT_DeviceInst* inst, int32_t desc) {
    s_ZRT_SimInterface* sim = simOf(inst);
    if (desc != 0 && sim != nullptr && sim->FileClose != nullptr) {
        sim->FileClose(desc, inst, sim);
    }
}

void ZRT_FileFlush(s_ZRT_DeviceInst* inst, int32_t desc) {
    s_ZRT_SimInterface* sim = simOf(inst);
    if (desc != 0 && sim != nullptr && sim->FileFlush != nullptr) {
        sim->FileFlush(desc, inst, sim);
    }
}

void ZRT_WriteFile(int32_t desc, s_ZRT_DeviceInst* inst, const char* format, ...) {
    s_ZRT_SimInterface* sim = simOf(inst);
    if (desc == 0 || sim == nullptr || sim->FileWrite == nullptr) {
        return;
    }
    va_list args;
    va_start(args, format);
    char* text = formatText(sim, inst, format, args);
    va_end(args);
    if (text != nullptr) {
        sim->FileWrite(desc, text, inst, sim);
        ZRT_free(text);
    }
}

int32_t ZRT_feof(s_ZRT_DeviceInst* inst, int32_t desc) {
    s_ZRT_SimInterface* sim = simOf(inst);
    if (desc == 0 || sim == nullptr || sim->FileEof == nullptr) {
        return 0;
    }
    return sim->FileEof(desc, inst, sim);
}

int32_t ZRT_ferror(s_ZRT_DeviceInst* inst, char* messageText, int32_t desc) {
    s_ZRT_SimInterface* sim = simOf(inst);
    if (desc == 0 || sim == nullptr || sim->FileError == nullptr) {
        return 0;
    }
    return sim->FileError(desc, messageText, inst, sim);
}

int32_t ZRT_scanSingle(int32_t desc, s_ZRT_DeviceInst* inst, const char* format, void* destination,
                       int32_t* errorFlag) {
    s_ZRT_SimInterface* sim = simOf(inst);
    if (raised(errorFlag) || sim == nullptr || sim->FileScan == nullptr) {
        return 0;
    }
    const int32_t n = sim->FileScan(desc, format, destination, inst, sim);
    if (n <= 0 && destination != nullptr) {
        raise(errorFlag);
    }
    return n < 1 ? n : 1;
}

int32_t ZRT_scanSingleBinary(int32_t desc, s_ZRT_DeviceInst* inst, const char*, int32_t* destination,
                             int32_t* errorFlag) {
    s_ZRT_SimInterface* sim = simOf(inst);
    if (raised(errorFlag) || sim == nullptr || sim->FileScan == nullptr) {
        return 0;
    }
    // The host allocates the text and keeps it.
    char* text = nullptr;
    const int32_t n = sim->FileScan(desc, "%as", &text, inst, sim);
    if (n < 1) {
        if (destination != nullptr) {
            raise(errorFlag);
        }
        return n;
    }
    if (text == nullptr) {
        raise(errorFlag);
        return 0;
    }
    const char* p = text;
    uint32_t sign = 1;
    if (*p == '-') {
        sign = UINT32_MAX;  // -1: the product keeps the low 32 bits
        ++p;
    }
    uint32_t value = 0;
    for (; *p != '\0'; ++p) {
        if (*p != '0' && *p != '1') {
            raise(errorFlag);
            return 1;
        }
        value = (value << 1) | static_cast<uint32_t>(*p == '1');
    }
    if (destination != nullptr) {
        *destination = static_cast<int32_t>(sign * value);
    }
    return 1;
}

int32_t ZRT_fgets(s_ZRT_DeviceInst* inst, char** out, int32_t desc) {
    s_ZRT_SimInterface* sim = simOf(inst);
    if (out == nullptr || sim == nullptr || sim->FileScan == nullptr) {
        return 0;
    }
    // The line grows as it is read: room for the next character and the
    // terminator is made before each scan.
    size_t capacity = 256;
    auto* line = static_cast<char*>(ZRT_malloc(capacity, sim, inst, nullptr));
    size_t length = 0;
    while (line != nullptr) {
        if (length + 2 > capacity) {
            auto* grown = static_cast<char*>(ZRT_realloc(line, 2 * capacity, sim, inst, nullptr));
            if (grown == nullptr) {
                ZRT_free(line);
                line = nullptr;
                break;
            }
            line = grown;
            capacity *= 2;
        }
        if (sim->FileScan(desc, "%c", line + length, inst, sim) < 1 || line[length] == '\n') {
            break;
        }
        ++length;
    }
    if (line == nullptr || length > INT32_MAX) {
        ZRT_free(line);
        *out = nullptr;
        return 0;
    }
    line[length] = '\0';
    *out = line;
    return static_cast<int32_t>(length);
}
