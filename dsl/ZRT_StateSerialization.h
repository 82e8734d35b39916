// Saving and restoring device state: the instance's serializer streams, the
// primitive serializers every payload uses, the device-state save and
// restore, event states, and the saved states of the operators.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <sstream>
#include <streambuf>

#include "ZRT_CommonInterface.h"
#include "ZRT_SavedState.h"

namespace ZRT {

// The instance's serializer field holds one of these two, told apart by
// `kind`, so that it is always released as what it is.
struct SerializerBase {
    enum class Kind : uint8_t { Output, Restore };
    explicit SerializerBase(Kind k) : kind(k) {}
    virtual ~SerializerBase() = default;
    SerializerBase(const SerializerBase&) = delete;
    SerializerBase& operator=(const SerializerBase&) = delete;
    const Kind kind;
};

// Read-only stream buffer over bytes that someone else owns.
class ByteReadBuf : public std::streambuf {
public:
    ByteReadBuf(const uint8_t* bytes, size_t count);

protected:
    pos_type seekoff(off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode which) override;
    pos_type seekpos(pos_type position, std::ios_base::openmode which) override;
};

// The restore stream: reads the host's bytes in place.
struct RestoreStream : SerializerBase {
    RestoreStream(const uint8_t* bytes, size_t count);
    ByteReadBuf buffer;
    std::istream stream;
};

// Reader view of a restore stream. Every read answers false once the
// stream has failed; a short read fails the stream.
class InputSerializer {
public:
    explicit InputSerializer(std::istream& in) : in_(in) {}
    bool restore(bool& value);
    bool restore(double& value);
    bool restore(int& value);
    bool restore(uint32_t& value);
    bool restore(char& value);
    bool read(void* dest, size_t count);
    bool skip(size_t count);
    // Bytes left to read.
    size_t remaining() const;

private:
    std::istream& in_;
};

// Next character of the stream without taking it (EOF at the end), and the
// read position as a 32-bit integer (-1 when unknown).
int peekStringstream(std::istream& stream);
int32_t tellStringstream(std::istream& stream);

}  // namespace ZRT

// The save stream of an instance. The finished byte buffer belongs to it.
struct ZRT_OutputSerializer : ZRT::SerializerBase {
    ZRT_OutputSerializer();
    ~ZRT_OutputSerializer() override;
    void write(const void* bytes, size_t count);
    // True once a write could not be taken (the stream's buffer could not
    // grow): the bytes counted are then not all in the stream.
    bool failed() const;

    std::stringstream stream;
    uint8_t* buffer = nullptr;  // null until the save finishes
    uint32_t byteCount = 0;
    uint8_t finished = 0;
};

// The instance's output serializer, created empty on first use. Null when
// the field holds a restore stream or the heap is exhausted.
ZRT_OutputSerializer* getOutputSerializer(void** field);
// The instance's restore stream, or null when it has none.
ZRT::RestoreStream* restoreStreamOf(s_ZRT_DeviceInst* inst);

// Primitive serializers. Direction 2 does nothing; 0 writes the value to the
// instance's output serializer; any other direction reads it from the
// instance's restore stream and sets 2 when the read fails or there is no
// such stream.
void ZRT_serializeDouble(double* value, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir);
void ZRT_serializeInt(int32_t* value, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir);
void ZRT_serializeChar(char* value, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir);

// Writes the module's record, the operator states and the event states of
// `state` to the instance's output serializer and answers its byte buffer,
// which stays valid until ZRT_FreeDeviceSerializer(inst, 1); releases the
// operator states. Null when the module's serialize function fails or when a
// serializer of the instance is still outstanding (out count then untouched).
uint8_t* ZRT_SaveDeviceState(s_ZRT_DeviceState* state, s_ZRT_DeviceInst* inst, uint32_t* outCount);

// Reads a stream written by ZRT_SaveDeviceState for the same module into
// `state`. 1 when the whole layout was read back with matching counts, else
// 0. The bytes must stay valid until ZRT_FreeDeviceSerializer(inst, 0). The
// record's counts are never changed.
int32_t ZRT_RestoreDeviceState(const uint8_t* bytes, uint32_t count, s_ZRT_DeviceState* state,
                               s_ZRT_DeviceInst* inst);

// Releases the instance's outstanding serializer as what it is (the output
// flag of the protocol is not needed to tell) and clears the field.
void ZRT_FreeDeviceSerializer(s_ZRT_DeviceInst* inst, int32_t output);

// Fills the event-state array: a timer copy, the host's cross or above state,
// or null, per event of the module.
void saveEvents(s_ZRT_DeviceInst* inst, s_ZRT_DeviceState* state);
// Hands the event states back to the instance's events.
void ZRT_RestoreEvents(s_ZRT_DeviceInst* inst, s_ZRT_DeviceState* state);

// Releases one operator saved state: through its free function, else
// ZRT_free. Null is ignored.
void releaseOperatorState(ZRT_GenericOperatorState* state);

// Releases the operator states (entries become null); events and arrays stay.
void ZRT_FreeDeviceStateData(s_ZRT_DeviceState* state);
// Releases the event states with ZRT_free (entries become null), then the
// operator states.
void ZRT_freeDeviceStateData(s_ZRT_DeviceState* state);

// ---------------------------------------------------------------------------
// Operator saved states.

// Serialize function of a delay state in the runtime's layout (ZRT_DelaySpec).
void serializeDelaySpec(ZRT_GenericOperatorState* state, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir);

// A history of `capacity` slots (at least 3), zeroed, through ZRT_calloc;
// null when memory is exhausted.
ZRT_TimeValHist* allocTimeValHist(int32_t capacity, double data, s_ZRT_SimInterface* sim);
void freeTimeValHist(ZRT_TimeValHist* hist);

// The host's saved state of a cross or above event, and its return.
void* ZRT_saveSimEvent_cross(ZRT_EventDesc* event);
void ZRT_restoreSimEvent_cross(ZRT_EventDesc* event, void* savedState);
