// The saved-state serializers of runtime arrays and texts.
#include <cstring>
#include <memory>

#include "dsl/ZRT_SupportLib.h"
#include "dsl/payload_io.h"

namespace {

using ZRT::InputSerializer;

struct ZrtFree {
    void operator()(void* block) const { ZRT_free(block); }
};
template <class T>
using Block = std::unique_ptr<T, ZrtFree>;

size_t elementBytes(const s_ZRT_Array& a) {
    switch (a._arrayType) {
    case ZRT_REAL_ARRAY:
        return sizeof(double);
    case ZRT_INT_ARRAY:
        return sizeof(int32_t);
    default:
        return 0;  // no data
    }
}

bool hasBounds(const s_ZRT_Array& a) {
    return (a.flags & ZRT_ARRAY_BOUNDS_SET) != 0 && a.leftBounds != nullptr && a.rightBounds != nullptr;
}

void writeArray(const s_ZRT_Array& a, ZRT_OutputSerializer& out) {
    const int32_t dims = hasBounds(a) && a._numDims > 0 ? a._numDims : 0;
    out.write(&dims, sizeof dims);
    for (int32_t k = 0; k < dims; ++k) {
        out.write(&a.leftBounds[k], sizeof(int32_t));
        out.write(&a.rightBounds[k], sizeof(int32_t));
    }
    const size_t size = elementBytes(a);
    // A length of 0 or below is an empty array; an element array without a
    // block has no elements to give.
    int32_t length = a._dataLen > 0 ? a._dataLen : 0;
    if (size != 0 && a.data == nullptr) {
        length = 0;
    }
    out.write(&length, sizeof length);
    if (size != 0) {
        out.write(a.data, static_cast<size_t>(length) * size);
    }
}

// `count` elements of `size` bytes, read into a new block of the array's
// interface (none when empty: a type without data only checks the count).
// False when the stream cannot hold them, a read fails or memory is
// exhausted.
bool readBlock(InputSerializer& in, int32_t count, size_t size, s_ZRT_SimInterface* sim, Block<void>& block) {
    if (count < 0 || (size != 0 && static_cast<size_t>(count) > in.remaining() / size)) {
        return false;
    }
    const size_t bytes = static_cast<size_t>(count) * size;
    if (bytes == 0) {
        return true;
    }
    block.reset(ZRT_malloc(bytes, sim, nullptr, nullptr));
    return block != nullptr && in.read(block.get(), bytes);
}

// The bounds and elements are read into new blocks and replace the array's
// only when the whole array was read.
bool readArray(s_ZRT_Array& a, InputSerializer& in) {
    int32_t dims = 0;
    if (!in.restore(dims) || dims < 0 || static_cast<size_t>(dims) > in.remaining() / (2 * sizeof(int32_t))) {
        return false;
    }
    const size_t dimCount = static_cast<size_t>(dims);
    Block<int32_t> left;
    Block<int32_t> right;
    if (dims > 0) {
        left.reset(static_cast<int32_t*>(ZRT_malloc(dimCount * sizeof(int32_t), a.pSim, nullptr, nullptr)));
        right.reset(static_cast<int32_t*>(ZRT_malloc(dimCount * sizeof(int32_t), a.pSim, nullptr, nullptr)));
        if (left == nullptr || right == nullptr) {
            return false;
        }
    }
    for (size_t k = 0; k < dimCount; ++k) {
        if (!in.restore(left.get()[k]) || !in.restore(right.get()[k])) {
            return false;
        }
    }
    int32_t length = 0;
    Block<void> data;
    if (!in.restore(length) || !readBlock(in, length, elementBytes(a), a.pSim, data)) {
        return false;
    }

    ZRT_free(a.leftBounds);
    ZRT_free(a.rightBounds);
    ZRT_free(a.data);
    a.leftBounds = left.release();
    a.rightBounds = right.release();
    a.data = data.release();
    if (dims > 0) {
        a.flags |= ZRT_ARRAY_BOUNDS_SET;
        a._numDims = dims;
    } else {  // as created: one dimension, no bounds
        a.flags &= static_cast<uint8_t>(~ZRT_ARRAY_BOUNDS_SET);
        a._numDims = 1;
    }
    a._dataLen = length;
    a.flags |= ZRT_ARRAY_MODIFIED;
    return true;
}

}  // namespace

void ZRT_serializeArray(s_ZRT_Array* pArray, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir) {
    if (pArray == nullptr) {  // left by an exhausted heap: nothing can be written or read
        *dir = ZRT_SRLZ_FAILED;
        return;
    }
    ZRT::serializePayload(
        inst, dir, [&](ZRT_OutputSerializer& out) { writeArray(*pArray, out); },
        [&](InputSerializer& in) { return readArray(*pArray, in); });
}

void ZRT_serializeString(char** text, s_ZRT_DeviceInst* inst, ZRT_SrlzDirE* dir) {
    ZRT::serializePayload(
        inst, dir,
        [&](ZRT_OutputSerializer& out) {
            const char* chars = *text != nullptr ? *text : "";
            const size_t n = std::strlen(chars);
            const int32_t length = n <= INT32_MAX ? static_cast<int32_t>(n) : INT32_MAX;
            out.write(&length, sizeof length);
            out.write(chars, static_cast<size_t>(length));
        },
        [&](InputSerializer& in) {
            int32_t length = 0;
            if (!in.restore(length) || length < 0 || static_cast<size_t>(length) > in.remaining()) {
                return false;
            }
            Block<char> block(static_cast<char*>(ZRT_malloc(static_cast<size_t>(length) + 1, nullptr, nullptr, nullptr)));
            // A text holds no NUL: the writer never gives one, so a stream that
            // does is damaged.
            if (block == nullptr || !in.read(block.get(), static_cast<size_t>(length)) ||
                std::memchr(block.get(), '\0', static_cast<size_t>(length)) != nullptr) {
                return false;
            }
            block.get()[length] = '\0';
            *text = block.release();
            return true;
        });
}
