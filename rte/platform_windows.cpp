// Windows implementation of the platform seam: the kernel's library loader
// and msvcrt's _stat64, _mkdir, _localtime64 and "C"-locale _strtod_l.
#ifdef _WIN32

#include "rte/platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <direct.h>
#include <errno.h>
#include <locale.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <cstring>
#include <stdexcept>
#include <string>

namespace {

static_assert(EEXIST == kPlatformErrorExists, "the exists error of the seam");
static_assert(_S_IFMT == kPlatformTypeMask && _S_IFDIR == kPlatformTypeDirectory && _S_IFREG == kPlatformTypeRegular,
              "the file-type bits of the seam");

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// msvcrt's status call refuses a directory named with a trailing separator
// ("dir\"), which POSIX accepts; drop them, but keep a root ("\", "C:\").
std::string statPath(const char* path) {
    std::string native(path);
    const size_t rootLength = (native.size() >= 2 && native[1] == ':') ? 3 : 1;
    while (native.size() > rootLength && isSeparator(native.back())) {
        native.pop_back();
    }
    return native;
}

}  // namespace

bool platformStatMode(const char* path, uint32_t* mode) {
    if (path == nullptr) {
        return false;
    }
    struct _stat64 status {};
    if (_stat64(statPath(path).c_str(), &status) != 0) {
        return false;
    }
    *mode = static_cast<uint32_t>(status.st_mode);
    return true;
}

int32_t platformMakeDirectory(const char* path) {
    if (path == nullptr) {
        return ENOENT;
    }
    if (_mkdir(path) != 0) {
        return errno;
    }
    return 0;
}

void* platformLoadLibrary(const char* name) {
    if (name == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<void*>(LoadLibraryA(name));
}

void* platformFindSymbol(void* handle, const char* name) {
    if (handle == nullptr || name == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

int32_t platformFreeLibrary(void* handle) {
    if (handle == nullptr) {
        return 0;
    }
    return FreeLibrary(static_cast<HMODULE>(handle)) != 0 ? 1 : 0;
}

double platformParseReal(const char* text) {
    // Made once, kept for the life of the process.
    static const _locale_t locale = _create_locale(LC_ALL, "C");
    return locale != nullptr ? _strtod_l(text, nullptr, locale) : std::strtod(text, nullptr);
}

boost::posix_time::ptime platformLocalTime() {
    // FILETIME counts 100 ns since 1601-01-01 UTC.
    FILETIME fileTime;
    GetSystemTimeAsFileTime(&fileTime);
    const uint64_t ticks = (static_cast<uint64_t>(fileTime.dwHighDateTime) << 32) | fileTime.dwLowDateTime;
    constexpr uint64_t kTicksTo1970 = 116444736000000000ull;
    const uint64_t sinceEpoch = ticks - kTicksTo1970;
    const __time64_t seconds = static_cast<__time64_t>(sinceEpoch / 10000000u);
    const int64_t microseconds = static_cast<int64_t>((sinceEpoch % 10000000u) / 10u);
    // msvcrt keeps the result in a buffer of the calling thread.
    const struct tm* local = _localtime64(&seconds);
    if (local == nullptr) {
        throw std::runtime_error("could not convert calendar time to local time");
    }
    const boost::gregorian::date day(static_cast<unsigned short>(local->tm_year + 1900),
                                     static_cast<unsigned short>(local->tm_mon + 1),
                                     static_cast<unsigned short>(local->tm_mday));
    return boost::posix_time::ptime(day, boost::posix_time::time_duration(local->tm_hour, local->tm_min, local->tm_sec) +
                                             boost::posix_time::microseconds(microseconds));
}

#endif
