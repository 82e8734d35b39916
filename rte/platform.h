// The runtime's one seam to the operating system: the local clock, file
// status, directory creation, the dynamic-library loader and number parsing
// in the "C" locale. Each platform
// has one implementation file of the free functions; the clock sits in a
// table so that tests can stand in a fixed one. Callers above the seam keep
// the Windows path rules on every platform, and the POSIX implementation
// takes a backslash as a separator too.
#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>


#include <cstdint>

// The separator that joining puts between a directory and a name.
#ifdef _WIN32
constexpr char kPlatformPathSeparator = '\\';
#else
constexpr char kPlatformPathSeparator = '/';
#endif

// File-type bits of a status mode.
constexpr uint32_t kPlatformTypeMask = 0xF000u;
constexpr uint32_t kPlatformTypeDirectory = 0x4000u;
constexpr uint32_t kPlatformTypeRegular = 0x8000u;

// A drive is an ASCII letter followed by ':' ("C:"); "1:" is no drive.
constexpr bool isDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
// A drive with nothing after it ("C:").
constexpr bool isBareDrive(const char* path) { return isDriveLetter(path[0]) && path[1] == ':' && path[2] == '\0'; }

// The errno value of a directory that exists already.
constexpr int32_t kPlatformErrorExists = 17;

// The status mode of the path into *mode; false when the status call fails.
bool platformStatMode(const char* path, uint32_t* mode);

// Creates one directory: 0 on success, else the errno value of the failure.
// A bare drive ("C:") fails with an error other than kPlatformErrorExists,
// as it does on Windows.
int32_t platformMakeDirectory(const char* path);

// The library's handle, null on failure or for a null name.
void* platformLoadLibrary(const char* name);
// The symbol's address; null when absent or for a null handle or name.
void* platformFindSymbol(void* handle, const char* name);
// Non-zero on success, 0 on failure or for a null handle.
int32_t platformFreeLibrary(void* handle);

// strtod in the "C" locale, whatever locale the host process has set.
double platformParseReal(const char* text);

// The present local wall-clock time with microsecond resolution; the clock
// that the table below starts with.
boost::posix_time::ptime platformLocalTime();

struct ZRT_Platform {
    // The present local wall-clock time with microsecond resolution. Throws
    // std::runtime_error "could not convert calendar time to local time" when
    // the conversion to local time fails.
    boost::posix_time::ptime (*localTime)();
};

ZRT_Platform& zrtPlatform();
