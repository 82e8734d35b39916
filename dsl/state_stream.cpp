// The instance's serializer streams and the primitive serializers.
#include <bit>
#include <new>

#include "ZRT_SupportLib.h"

// Values go to the stream as their native bytes, which are the stream's
// little-endian layout only on a little-endian machine.
static_assert(std::endian::native == std::endian::little, "the saved-state stream is little-endian");

namespace ZRT {

ByteReadBuf::ByteReadBuf(const uint8_t* bytes, size_t count) {
    // Reading never writes through these pointers.
    char* begin = const_cast<char*>(reinterpret_cast<const char*>(bytes));
    setg(begin, begin, begin + count);
}

ByteReadBuf::pos_type ByteReadBuf::seekoff(off_type offset, std::ios_base::seekdir dir,
                                           std::ios_base::openmode which) {
    off_type base = 0;
    if (dir == std::ios_base::cur) {
        base = gptr() - eback();
    } else if (dir == std::ios_base::end) {
        base = egptr() - eback();
    }
    return seekpos(pos_type(base + offset), which);
}

ByteReadBuf::pos_type ByteReadBuf::seekpos(pos_type position, std::ios_base::openmode which) {
    const off_type at = off_type(position);
    if ((which & std::ios_base::in) == 0 || at < 0 || at > egptr() - eback()) {
        return pos_type(off_type(-1));
    }
    setg(eback(), eback() + at, egptr());
    return position;
}

RestoreStream::RestoreStream(const uint8_t* bytes, size_t count)
    : SerializerBase(Kind::Restore), buffer(bytes, count), stream(&buffer) {}

bool InputSerializer::read(void* dest, size_t count) {
    if (!in_.fail()) {
        in_.read(static_cast<char*>(dest), static_cast<std::streamsize>(count));
    }
    return !in_.fail() && !in_.bad();
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
    if (!in_.fail()) {
        in_.ignore(static_cast<std::streamsize>(count));
        // ignore() stops quietly at the end; a skip that falls short fails.
        if (static_cast<size_t>(in_.gcount()) != count) {
            in_.setstate(std::ios::failbit);
        }
    }
    return !in_.fail();
}

size_t InputSerializer::remaining() const {
    std::streamsize avail = in_.fail() ? 0 : in_.rdbuf()->in_avail();
    return avail > 0 ? static_cast<size_t>(avail) : 0;
}

int peekStringstream(std::istream& stream) { return stream.peek(); }

int32_t tellStringstream(std::istream& stream) { return static_cast<int32_t>(stream.tellg()); }

}  // namespace ZRT

ZRT_OutputSerializer::ZRT_OutputSerializer()
    : SerializerBase(Kind::Output), stream(std::ios::in | std::ios::out | std::ios::binary) {}

ZRT_OutputSerializer::~ZRT_OutputSerializer() { delete[] buffer; }

void ZRT_OutputSerializer::write(const void* bytes, size_t count) {
    // A stream whose buffer cannot grow sets its bad state and takes nothing
    // more; failed() then tells the save.
    stream.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(count));
    byteCount += static_cast<uint32_t>(count);
}

bool ZRT_OutputSerializer::failed() const { return stream.fail(); }

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

void serializeRaw(void* value, size_t size, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir) {
    if (*dir == ZRT_SRLZ_FAILED) {
        return;
    }
    if (inst == nullptr) {
        *dir = ZRT_SRLZ_FAILED;
        return;
    }
    if (*dir == ZRT_SRLZ_SAVE) {
        ZRT_OutputSerializer* out = getOutputSerializer(&inst->pSerializer);
        if (out == nullptr) {
            *dir = ZRT_SRLZ_FAILED;  // a restore is outstanding
            return;
        }
        out->write(value, size);
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

void ZRT_FreeDeviceSerializer(s_ZRT_DeviceInst* inst, int32_t output) {
    (void)output;  // the serializer knows its own kind
    if (inst == nullptr || inst->pSerializer == nullptr) {
        return;
    }
    delete static_cast<ZRT::SerializerBase*>(inst->pSerializer);
    inst->pSerializer = nullptr;
}
