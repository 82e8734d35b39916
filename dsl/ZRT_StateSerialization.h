// Saving and restoring device state: the instance's serializer streams, the
// primitive serializers every payload uses, the device-state save and
// restore, event states, and the saved states of the operators.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "rte/ZRT_CommonInterface.h"
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

// A read cursor over bytes that someone else owns. A read or skip past the
// end takes what is there and fails the cursor; a failed cursor reads
// nothing more.
struct ByteCursor {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t pos = 0;
    bool failed = false;
};

// The restore stream: reads the host's bytes in place.
struct RestoreStream : SerializerBase {
    RestoreStream(const uint8_t* bytes, size_t count);
    ByteCursor stream;
};

// Reader view of a restore stream. Every read answers false once the
// stream has failed; a short read fails the stream.
class InputSerializer {
public:
    explicit InputSerializer(ByteCursor& in) : in_(in) {}
    bool restore(bool& value);
    bool restore(double& value);
    bool restore(int& value);
    bool restore(uint32_t& value);
    bool restore(char& value);
    bool read(void* dest, size_t count) {
        if (in_.failed) {
            return false;
        }
        const size_t available = in_.size - in_.pos;
        if (count <= available) {
            std::memcpy(dest, in_.data + in_.pos, count);
            in_.pos += count;
            return true;
        }
        // Short: take what is there and fail.
        if (available != 0) {
            std::memcpy(dest, in_.data + in_.pos, available);
        }
        in_.pos = in_.size;
        in_.failed = true;
        return false;
    }
    bool skip(size_t count);
    // Bytes left to read.
    size_t remaining() const;

private:
    ByteCursor& in_;
};

// Next character of the stream without taking it (EOF at the end), and the
// read position as a 32-bit integer (-1 when unknown).
int peekStringstream(const ByteCursor& stream);
int32_t tellStringstream(const ByteCursor& stream);

}  // namespace ZRT

namespace ZRT {

// Bytes appended at the end of a growing block; a block that cannot grow
// fails the sink, which then takes nothing more.
class ByteSink {
public:
    ByteSink() = default;
    ~ByteSink() { delete[] data_; }
    ByteSink(const ByteSink&) = delete;
    ByteSink& operator=(const ByteSink&) = delete;

    bool append(const void* bytes, size_t count) {
        if (failed_ || (count > capacity_ - size_ && !grow(count))) {
            return false;
        }
        if (count == 0) {
            return true;  // an empty run may come without bytes
        }
        std::memcpy(data_ + size_, bytes, count);
        size_ += count;
        return true;
    }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    const uint8_t* begin() const { return data_; }
    const uint8_t* end() const { return data_ + size_; }
    bool failed() const { return failed_; }

private:
    bool grow(size_t count);
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
    bool failed_ = false;
};

}  // namespace ZRT

// The save stream of an instance. The finished byte buffer belongs to it.
struct ZRT_OutputSerializer : ZRT::SerializerBase {
    ZRT_OutputSerializer() : SerializerBase(Kind::Output) {}
    ~ZRT_OutputSerializer() override;
    // False (nothing written) when the stream could not grow.
    bool write(const void* bytes, size_t count) {
        if (!stream.append(bytes, count)) {
            return false;
        }
        byteCount += static_cast<uint32_t>(count);
        return true;
    }
    // True once a write could not be taken (the stream's buffer could not
    // grow): the bytes counted are then not all in the stream.
    bool failed() const { return stream.failed(); }

    ZRT::ByteSink stream;       // the bytes written so far
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
// `count` doubles in a row, with the bytes, the direction and (in a short
// read) the values that `count` ZRT_serializeDouble calls give, in one step.
void ZRT_serializeDoubles(double* values, size_t count, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir);

// Writes the module's record, the operator states and the event states of
// `state` to the instance's output serializer and answers its byte buffer,
// which stays valid until ZRT_FreeDeviceSerializer(inst, 1); releases the
// operator states. A save refused at the door (no record, no instance, or a
// serializer of the instance still outstanding) answers null and touches
// nothing. Once begun, a save that cannot be completed answers null, leaves
// the out count untouched and releases everything it holds: its serializer,
// the event states it made and the operator states (every entry null).
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
// or null, per event of the module. False when a timer, cross or above event
// got no state (its copy could not be made, or the host answered none); the
// states that were made stay in the array.
bool saveEvents(s_ZRT_DeviceInst* inst, s_ZRT_DeviceState* state);
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
