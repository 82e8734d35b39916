// Bytes of saved-state streams in the tests: values at offsets, and the
// instance's serializer streams taken and given as byte vectors.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "dsl/ZRT_StateSerialization.h"

namespace testhost {

using Bytes = std::vector<uint8_t>;

template <typename T>
T readAt(const Bytes& bytes, size_t offset) {
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

template <typename T>
void writeAt(Bytes& bytes, size_t offset, T value) {
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

inline std::string textAt(const Bytes& bytes, size_t offset, size_t length) {
    return std::string(reinterpret_cast<const char*>(bytes.data()) + offset, length);
}

// A module record of one double.
struct OneDoubleRec {
    ZRT_ModuleSerializeFn serialize;
    double value;
};

inline ZRT_SrlzDirE serializeOneDouble(s_ZRT_DeviceInst* inst, void* rec, ZRT_SrlzDirE dir) {
    ZRT_serializeDouble(&static_cast<OneDoubleRec*>(rec)->value, inst, &dir);
    return dir;
}

// What the instance's output serializer holds; releases the serializer.
inline Bytes takeSavedBytes(s_ZRT_DeviceInst* inst) {
    ZRT_OutputSerializer* out = getOutputSerializer(&inst->pSerializer);
    Bytes written(out->stream.begin(), out->stream.end());
    const bool counted = out->byteCount == written.size();
    ZRT_FreeDeviceSerializer(inst, 1);
    return counted ? written : Bytes{};  // a wrong count shows as no bytes
}

// Gives the instance a restore stream over `bytes`, which must outlive it.
inline void openRestoreStream(s_ZRT_DeviceInst* inst, const Bytes& bytes) {
    inst->pSerializer = static_cast<ZRT::SerializerBase*>(new ZRT::RestoreStream(bytes.data(), bytes.size()));
}

}  // namespace testhost
