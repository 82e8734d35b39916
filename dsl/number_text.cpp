#include "dsl/number_text.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "rte/ZRT_Assert.h"

namespace {

// The number of significant bits of a positive value.
int32_t significantBits(uint32_t value) {
    int32_t bits = 0;
    while (value != 0) {
        ++bits;
        value >>= 1;
    }
    return bits;
}

// Writes the top `digits` bits of `pattern` as '0'/'1' characters.
char* writeTopBits(char* out, uint32_t pattern, int32_t digits) {
    for (int32_t i = 0; i < digits; ++i) {
        *out++ = (pattern & 0x80000000u) != 0 ? '1' : '0';
        pattern <<= 1;
    }
    return out;
}

}  // namespace

const char* ZRT_ConvertToBinary(int32_t value, char* buffer) {
    if (value == 0) {
        return "0";
    }
    char* out = buffer;
    uint32_t magnitude = static_cast<uint32_t>(value);
    if (value < 0 && value != INT32_MIN) {
        *out++ = '-';
        magnitude = 0u - magnitude;
    }
    const int32_t digits = significantBits(magnitude);
    out = writeTopBits(out, magnitude << (32 - digits), digits);
    *out = '\0';
    return buffer;
}

char* ZRT_ConvertToUnsignedBinary(int32_t value, char* buffer, int32_t width) {
    const int32_t widthDigits = width < 32 ? width : 32;
    uint32_t pattern = static_cast<uint32_t>(value);
    int32_t digits = 32;
    if (value > 0) {
        const int32_t bits = significantBits(pattern);
        digits = widthDigits > bits ? widthDigits : bits;
        pattern <<= 32 - digits;
    } else if (value == 0) {
        digits = widthDigits > 1 ? widthDigits : 1;
    }
    char* out = buffer;
    for (int32_t i = digits; i < width; ++i) {
        *out++ = ' ';
    }
    out = writeTopBits(out, pattern, digits);
    *out = '\0';
    return buffer;
}

char* ZRT_ConvertToEngFormat(double x, char* buffer) {
    const double a = std::fabs(x);
    if (a == 0.0) {
        std::strcpy(buffer, "0");
        return buffer;
    }
    if (!(a >= 1e-18 && a < 1e15)) {
        std::snprintf(buffer, ZRT_ENG_TEXT_SIZE, "%e", x);
        return buffer;
    }
    // "d.dddddde+XX": the exponent's digits are read from the end, so a
    // runtime that prints three exponent digits gives the same result.
    char tmp[32];
    const int length = std::snprintf(tmp, sizeof tmp, "%e", a);
    int e = 0;
    int scale = 1;
    for (int i = length - 1; i >= 0 && tmp[i] >= '0' && tmp[i] <= '9'; --i) {
        e += (tmp[i] - '0') * scale;
        scale *= 10;
    }
    // Just below 1e15 "%e" rounds up to an exponent of 15, which has no
    // scale letter.
    if (a >= 1.0 && e >= 15) {
        std::snprintf(buffer, ZRT_ENG_TEXT_SIZE, "%e", x);
        return buffer;
    }
    const int r = e % 3;
    int shift = 0;
    char letter = ' ';
    if (a >= 1.0) {
        shift = r;
        letter = " KMGT"[(e - r) / 3];
    } else {
        shift = (3 - r) % 3;
        letter = " munpfa"[(e + shift) / 3];
    }
    // Move the decimal point `shift` places to the right and cut the
    // exponent part off.
    ZRT_ASSERT_AT(tmp[1] == '.', "tmp[i] == '.'", __FILE__, __LINE__);
    for (int i = 1; i <= shift; ++i) {
        tmp[i] = tmp[i + 1];
    }
    tmp[shift + 1] = '.';
    char* mantissaEnd = std::strchr(tmp, 'e');
    ZRT_ASSERT(mantissaEnd != nullptr);
    *mantissaEnd = '\0';
    // The mantissa is always eight characters ("d.dddddd" with its point
    // moved).
    std::snprintf(buffer, ZRT_ENG_TEXT_SIZE, "%s%.8s%c", x < 0.0 ? "-" : "", tmp, letter);
    return buffer;
}
