// The instance's serializer streams and the primitive serializers.
#include <bit>
#include <cstring>
#include <new>
#include <string>

#include "dsl/ZRT_SupportLib.h"

// Values go to the stream as their native bytes, which are the stream's
// little-endian layout only on a little-endian machine.
static_assert(std::endian::native == std::endian::little, "the saved-state stream is little-endian");

namespace ZRT {

RestoreStream::RestoreStream(const uint8_t* bytes, size_t count) : SerializerBase(Kind::Restore) {
    stream.data = bytes;
    stream.size = bytes != nullptr ? count : 0;
}

bool InputSerializer::restore(bool& value) {
    char byte = 0;
    if (!read(&byte, 1)) {
        return false;
    }
    value = byte != 0;
    return true;
}

bool InputSerializer::restore(double& value) { return read(&value, sizeof value); }
bool InputSerializer::restore(int& value) { return read(&value, sizeof value); }
bool InputSerializer::restore(uint32_t& value) { return read(&value, sizeof value); }
bool InputSerializer::restore(char& value) { return read(&value, 1); }

bool InputSerializer::skip(size_t count) {
    if (in_.failed) {
        return false;
    }
    const size_t available = in_.size - in_.pos;
    in_.pos += count < available ? count : available;
    in_.failed = count > available;
    return !in_.failed;
}

size_t InputSerializer::remaining() const { return in_.failed ? 0 : in_.size - in_.pos; }

int peekStringstream(const ByteCursor& stream) {
    return stream.failed || stream.pos >= stream.size ? std::char_traits<char>::eof()
                                                      : static_cast<int>(stream.data[stream.pos]);
}

int32_t tellStringstream(const ByteCursor& stream) {
    return stream.failed ? -1 : static_cast<int32_t>(stream.pos);
}

}  // namespace ZRT

bool ZRT::ByteSink::grow(size_t count) {
    // Room for a model's whole record at the first write.
    constexpr size_t kFirstCapacity = 2048;
    size_t capacity = capacity_ != 0 ? capacity_ : kFirstCapacity;
    while (capacity - size_ < count) {
        if (capacity > SIZE_MAX / 2) {
            failed_ = true;
            return false;
        }
        capacity *= 2;
    }
    // The language's allocation, in its non-throwing form, as for every
    // serializer buffer.
    auto* grown = new (std::nothrow) uint8_t[capacity];
    if (grown == nullptr) {
        failed_ = true;
        return false;
    }
    if (size_ != 0) {
        std::memcpy(grown, data_, size_);
    }
    delete[] data_;
    data_ = grown;
    capacity_ = capacity;
    return true;
}

ZRT_OutputSerializer::~ZRT_OutputSerializer() { delete[] buffer; }

ZRT_OutputSerializer* getOutputSerializer(void** field) {
    if (*field == nullptr) {
        ZRT_OutputSerializer* serializer = new (std::nothrow) ZRT_OutputSerializer();
        if (serializer == nullptr) {
            return nullptr;
        }
        *field = static_cast<ZRT::SerializerBase*>(serializer);
        return serializer;
    }
    auto* base = static_cast<ZRT::SerializerBase*>(*field);
    return base->kind == ZRT::SerializerBase::Kind::Output ? static_cast<ZRT_OutputSerializer*>(base) : nullptr;
}

ZRT::RestoreStream* restoreStreamOf(s_ZRT_DeviceInst* inst) {
    auto* base = inst != nullptr ? static_cast<ZRT::SerializerBase*>(inst->pSerializer) : nullptr;
    if (base == nullptr || base->kind != ZRT::SerializerBase::Kind::Restore) {
        return nullptr;
    }
    return static_cast<ZRT::RestoreStream*>(base);
}

namespace {

inline __attribute__((always_inline)) void serializeRaw(void* value, size_t size, s_ZRT_DeviceInst* inst,
                                                        ZRT_SrlzDirE* dir) {
    if (*dir == ZRT_SRLZ_FAILED) {
        return;
    }
    if (inst == nullptr) {
        *dir = ZRT_SRLZ_FAILED;
        return;
    }
    if (*dir == ZRT_SRLZ_SAVE) {
        ZRT_OutputSerializer* out = getOutputSerializer(&inst->pSerializer);
        // Null: a restore is outstanding.
        if (out == nullptr || !out->write(value, size)) {
            *dir = ZRT_SRLZ_FAILED;
        }
        return;
    }
    ZRT::RestoreStream* in = restoreStreamOf(inst);
    if (in == nullptr || !ZRT::InputSerializer(in->stream).read(value, size)) {
        *dir = ZRT_SRLZ_FAILED;
    }
}

}  // namespace

void ZRT_serializeDouble(double* value, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir) {
    serializeRaw(value, sizeof *value, inst, dir);
}

void ZRT_serializeInt(int32_t* value, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir) {
    serializeRaw(value, sizeof *value, inst, dir);
}

void ZRT_serializeChar(char* value, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir) {
    serializeRaw(value, sizeof *value, inst, dir);
}

void ZRT_serializeDoubles(double* values, size_t count, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir) {
    if (count == 0) {
        return;  // as no call at all
    }
    if (count > SIZE_MAX / sizeof *values) {
        *dir = ZRT_SRLZ_FAILED;
        return;
    }
    serializeRaw(values, count * sizeof *values, inst, dir);
}

void ZRT_FreeDeviceSerializer(s_ZRT_DeviceInst* inst, int32_t output) {
    (void)output;  // the serializer knows its own kind
    if (inst == nullptr || inst->pSerializer == nullptr) {
        return;
    }
    delete static_cast<ZRT::SerializerBase*>(inst->pSerializer);
    inst->pSerializer = nullptr;
}
