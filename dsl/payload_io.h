// Writing and reading a payload of the saved-state stream. A payload names
// its fields once, as a visitor `fields(record, f)` that hands every field to
// f in stream order; the same visitor writes, reads and counts the bytes.
//
// Reads are all-or-nothing: a payload is read into a copy and stored over
// the record only when every read succeeded, so a refused stream leaves the
// record as it was.
#pragma once

#include <cstddef>
#include <new>

#include "dsl/ZRT_StateSerialization.h"

namespace ZRT {

// Runs `write(out)` for a save and `read(in)` for a restore. Direction 2 does
// nothing; a missing stream of the direction's kind, or a read that answers
// false, sets it. A language allocation that fails inside is the fatal "Out
// of memory." and sets it too: no exception leaves for the host's frames.
template <class Write, class Read>
void serializePayload(s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir, Write&& write, Read&& read) {
    if (*dir == ZRT_SRLZ_FAILED) {
        return;
    }
    try {
        if (*dir == ZRT_SRLZ_SAVE) {
            ZRT_OutputSerializer* out = inst != nullptr ? getOutputSerializer(&inst->pSerializer) : nullptr;
            if (out == nullptr) {
                *dir = ZRT_SRLZ_FAILED;
                return;
            }
            write(*out);
            return;
        }
        RestoreStream* stream = restoreStreamOf(inst);
        if (stream == nullptr) {
            *dir = ZRT_SRLZ_FAILED;
            return;
        }
        InputSerializer in(stream->stream);
        if (!read(in)) {
            *dir = ZRT_SRLZ_FAILED;
        }
    } catch (const std::bad_alloc&) {
        reportOutOfMemory(simOf(inst), inst);
        *dir = ZRT_SRLZ_FAILED;
    }
}

template <class Record, class Fields>
void writeFields(ZRT_OutputSerializer& out, const Record& record, Fields fields) {
    fields(record, [&out](const auto& value) { out.write(&value, sizeof value); });
}

// False at the first failed read; the fields read so far are in `record`.
template <class Record, class Fields>
bool readFields(InputSerializer& in, Record& record, Fields fields) {
    bool ok = true;
    fields(record, [&](auto& value) { ok = ok && in.read(&value, sizeof value); });
    return ok;
}

// Bytes the visitor's fields take in the stream.
template <class Record, class Fields>
constexpr size_t fieldBytes(Fields fields) {
    Record record{};
    size_t bytes = 0;
    fields(record, [&bytes](const auto& value) { bytes += sizeof value; });
    return bytes;
}

// A payload of plain fields.
template <class Record, class Fields>
void serializeFields(Record& record, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir, Fields fields) {
    serializePayload(
        inst, dir, [&](ZRT_OutputSerializer& out) { writeFields(out, record, fields); },
        [&](InputSerializer& in) {
            Record next = record;
            if (!readFields(in, next, fields)) {
                return false;
            }
            record = next;
            return true;
        });
}

}  // namespace ZRT
