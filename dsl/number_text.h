// Numbers as text: binary digits and engineering notation.
#pragma once

#include <cstddef>
#include <cstdint>

// Room a binary text needs: a sign, 32 digits and the terminator.
constexpr size_t ZRT_BINARY_TEXT_SIZE = 34;
// Room an engineering-notation text needs: the longest is the "%e" form of a
// negative number with a three-digit exponent ("-1.000000e+100") and the
// terminator; a NaN or an infinity is shorter.
constexpr size_t ZRT_ENG_TEXT_SIZE = 16;

// The binary digits of value, most significant first, without leading zeros;
// "-" and the digits of the magnitude for a negative value; the 32-bit
// minimum as "1" and 31 "0" without a sign. 0 answers the constant text "0";
// every other value is written into `buffer` (ZRT_BINARY_TEXT_SIZE bytes),
// which is answered.
const char* ZRT_ConvertToBinary(int32_t value, char* buffer);

// The value's 32-bit pattern as '0' and '1' digits, padded with leading
// blanks to `width` characters. A negative value shows all 32 digits; a
// positive value its significant bits, and 0 one digit, each widened with
// leading zeros to min(width, 32) digits. `buffer` must hold max(width, 32)
// characters and the terminator; it is answered.
char* ZRT_ConvertToUnsignedBinary(int32_t value, char* buffer, int32_t width);

// x in engineering notation: a mantissa from 1 to below 1000 with six further
// digits and a scale letter ("12.34500K", "7.500000 ", "500.0000m") for
// 1e-18 <= |x| < 1e15; "0" for zero; the "%e" form otherwise (NaN and
// infinities included). `buffer` holds ZRT_ENG_TEXT_SIZE bytes; it is
// answered.
char* ZRT_ConvertToEngFormat(double x, char* buffer);
