#include "dsl/noise_tables.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rte/platform.h"

namespace {

// The messages of one table source: they name its instance and carry its
// name as context word.
struct SourceMessages {
    const ZRT_NoiseSrc* src;

    s_ZRT_SimInterface* sim() const { return simOf(src->inst); }
    void error(const char* text) const { fatalError(sim(), src->inst, src->name, text); }
    void error(const std::string& text) const { error(text.c_str()); }
    void warning(const char* text) const { ZRT_Message(sim(), src->inst, src->name, ZRT_MSG_WARNING, text); }
    // The source's name, ready to splice into a message text.
    std::string name() const { return escapePercent(src->name != nullptr ? src->name : ""); }
};

bool hasBounds(const s_ZRT_Array* a) {
    return a != nullptr && (a->flags & ZRT_ARRAY_BOUNDS_SET) != 0 && a->_numDims >= 1;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Reads the next line, of any length, into `line` (its line feed kept).
// False at the end of the file.
// Byte by byte, so that a zero byte stays in the line (and then fails as
// data) instead of cutting it short.
bool readLine(std::FILE* file, std::string& line) {
    line.clear();
    for (int c = std::getc(file); c != EOF; c = std::getc(file)) {
        line += static_cast<char>(c);
        if (c == '\n') {
            return true;
        }
    }
    return !line.empty();
}

// Space, tab, line feed, vertical tab, form feed and carriage return (so that
// CR LF line ends read as on a host that opens files in text mode).
bool isSeparator(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The finite decimal number at the start of the token, read in the "C"
// locale whatever locale the host set; the rest of the token is ignored.
// A number too small for a double reads as 0.0 (a subnormal one as itself).
// Hexadecimal numbers, infinities, NaN and values beyond the range of a
// double are not numbers here.
std::optional<double> leadingNumber(std::string_view token) {
    const char* p = token.data();
    const char* end = p + token.size();
    const bool negative = p < end && *p == '-';
    if (p < end && (*p == '+' || *p == '-')) {
        ++p;
    }
    if (p == end || !(std::isdigit(static_cast<unsigned char>(*p)) || *p == '.')) {
        return std::nullopt;
    }
    if (end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        return std::nullopt;
    }
    double value = 0.0;
    const std::from_chars_result read = std::from_chars(p, end, value, std::chars_format::general);
    if (read.ec == std::errc::result_out_of_range) {
        // Too small or too large for a double: strtod answers 0.0 for the
        // one and infinity for the other.
        value = platformParseReal(std::string(p, read.ptr).c_str());
    } else if (read.ec != std::errc()) {
        return std::nullopt;
    }
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

// The real array [0 : n - 1] of the values, named after the source; null when
// memory ran out (already reported).
s_ZRT_Array* tableArray(const std::vector<double>& values, const SourceMessages& msg) {
    s_ZRT_Array* table = ZRT_createArray(ZRT_REAL_ARRAY, msg.src->name, msg.sim());
    if (table == nullptr) {
        return nullptr;
    }
    const auto n = static_cast<int32_t>(values.size());
    ZRT_setArrayBounds(table, 0, n - 1);
    if (n == 0) {
        // [0 : -1] spans two places, but the file gave no value.
        ZRT_free(table->data);
        table->data = nullptr;
        table->_dataLen = 0;
    } else if (table->_dataLen == n) {
        std::memcpy(table->data, values.data(), values.size() * sizeof(double));
    } else {
        ZRT_freeArray(table);
        return nullptr;
    }
    return table;
}

}  // namespace

void zrt_setNoiseTableArgs(ZRT_NoiseSrc* pSrc, s_ZRT_Array* pArray, int32_t subset, int32_t first, int32_t last) {
    ZRT_ASSERT_AT(pSrc != nullptr && pSrc->noiseSrcType == ZRT_TABLE_NOISE_SRC,
                  "pSrc->noiseSrcType == ZRT_TABLE_NOISE_SRC", __FILE__, __LINE__);
    const SourceMessages msg{pSrc};
    if (!hasBounds(pArray)) {
        // No bounds to read: nothing is bound even when the host returns.
        msg.error("Invalid array passed to noise_table source.");
        return;
    }
    if (pArray->_dataLen % 2 != 0) {
        msg.error("Arrays passed to noise_table must have even length.");
    }
    const int64_t left = pArray->leftBounds[0];
    const int64_t right = pArray->rightBounds[0];
    if (left > right || (subset != 0 && first > last)) {
        msg.error("Arrays passed to noise_table should have increasing indices.");
    }
    int64_t firstElement = 0;
    int64_t lastElement = int64_t{pArray->_dataLen} - 1;
    if (subset != 0) {
        if (pArray->_numDims > 1) {
            msg.error("Only one dimensional arrays can be subset for use in a noise_table.");
        }
        // An initialiser may have left fewer elements than the bounds span:
        // the host must not be sent past them.
        const int64_t top = std::min(right, left + pArray->_dataLen - 1);
        firstElement = first - left;
        lastElement = last - left;
        if (first < left || last > top) {
            msg.warning("Subset dimensions exceed array bounds in noise_table.");
            firstElement = std::max<int64_t>(first, left) - left;
            lastElement = std::min<int64_t>(last, top) - left;
            if (firstElement > lastElement) {
                msg.error("Subset dimensions lie wholly outside array bounds in noise_table.");
                return;
            }
        }
    }
    pSrc->table = pArray;
    pSrc->firstTableIndex = static_cast<int32_t>(firstElement);
    pSrc->lastTableIndex = static_cast<int32_t>(lastElement);
}

void ZRT_setNoiseTableArg(ZRT_NoiseSrc* pSrc, s_ZRT_Array* pArray) { zrt_setNoiseTableArgs(pSrc, pArray, 0, 0, 0); }

void ZRT_setNoiseTableArgs(ZRT_NoiseSrc* pSrc, s_ZRT_Array* pArray, int32_t first, int32_t last) {
    zrt_setNoiseTableArgs(pSrc, pArray, 1, first, last);
}

void ZRT_setNoiseTableFile(ZRT_NoiseSrc* pSrc, s_ZRT_Array** cache, const char* fileName) {
    ZRT_ASSERT(cache != nullptr);
    if (*cache == nullptr) {
        *cache = doReadNoiseTableFile(fileName, pSrc);
    }
    if (*cache != nullptr) {
        zrt_setNoiseTableArgs(pSrc, *cache, 0, 0, 0);
    }
}

namespace {

// The reader; its language allocations may throw std::bad_alloc.
s_ZRT_Array* readNoiseTableFile(const char* fileName, ZRT_NoiseSrc* pSrc) {
    const SourceMessages msg{pSrc};
    const std::string file = escapePercent(fileName != nullptr ? fileName : "");
    const std::string unreadable =
        "For noise_table '" + msg.name() + "' the data file '" + file + "' does not exist or is not readable.";
    File in(fileName != nullptr ? std::fopen(fileName, "r") : nullptr);
    if (in == nullptr) {
        msg.error(unreadable);
        return nullptr;
    }
    std::vector<double> values;
    {
        std::string line;
        int64_t lineNumber = 0;
        while (readLine(in.get(), line)) {
            ++lineNumber;
            const std::string_view data = std::string_view(line).substr(0, line.find('#'));
            for (size_t pos = 0; pos < data.size();) {
                if (isSeparator(data[pos])) {
                    ++pos;
                    continue;
                }
                const size_t end = std::find_if(data.begin() + pos, data.end(), isSeparator) - data.begin();
                const std::string_view token = data.substr(pos, end - pos);
                const std::optional<double> value = leadingNumber(token);
                if (!value) {
                    msg.error("For noise_table '" + msg.name() + "', invalid data format while reading data file '" +
                              file + "' line " + std::to_string(lineNumber) + ", '" +
                              escapePercent(token) + "' is not a valid number.");
                    return nullptr;
                }
                if (values.size() >= static_cast<size_t>(INT32_MAX)) {
                    throw std::bad_alloc();  // more values than an array holds
                }
                values.push_back(*value);
                pos = end;
            }
        }
    }
    if (std::ferror(in.get()) != 0) {
        msg.error(unreadable);
        return nullptr;
    }
    return tableArray(values, msg);
}

}  // namespace

s_ZRT_Array* doReadNoiseTableFile(const char* fileName, ZRT_NoiseSrc* pSrc) {
    try {
        return readNoiseTableFile(fileName, pSrc);
    } catch (const std::bad_alloc&) {
        // The file and the values read so far are released by now.
        reportOutOfMemory(SourceMessages{pSrc}.sim(), pSrc->inst);
        return nullptr;
    }
}

void ZRT_destroyNoiseTableFile(s_ZRT_Array* pArray) { freeZRT_Array(pArray); }
