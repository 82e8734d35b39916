// POSIX implementation of the platform seam: stat, mkdir, dlopen, the
// "C"-locale strtod_l and Boost's microsecond clock.
#ifndef _WIN32

#include "rte/platform.h"

#include <dlfcn.h>
#include <errno.h>
#include <locale.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <boost/date_time/posix_time/posix_time.hpp>

#include <string>

namespace {

// Both separators name directories, as on Windows.
std::string nativePath(const char* path) {
    std::string native(path);
    for (char& c : native) {
        if (c == '\\') {
            c = '/';
        }
    }
    return native;
}

static_assert(EEXIST == kPlatformErrorExists, "the exists error of the seam");

// A Windows drive ("C:") or a path on one ("C:/x", "C:\\x"): it names no
// file or directory here, and nothing is made for it in the working
// directory. Without a drive letter, "1:" and "1:/x" are ordinary relative
// paths.
bool isOnDrive(const char* path) {
    return isBareDrive(path) || (isDriveLetter(path[0]) && path[1] == ':' && (path[2] == '/' || path[2] == '\\'));
}

}  // namespace

bool platformStatMode(const char* path, uint32_t* mode) {
    if (path == nullptr || isOnDrive(path)) {
        return false;
    }
    struct stat status {};
    if (stat(nativePath(path).c_str(), &status) != 0) {
        return false;
    }
    *mode = static_cast<uint32_t>(status.st_mode);
    return true;
}

int32_t platformMakeDirectory(const char* path) {
    if (path == nullptr) {
        return ENOENT;
    }
    // A drive is no directory that can be made; Windows refuses it too. A
    // directory on a drive cannot be reached from here.
    if (isBareDrive(path)) {
        return EACCES;
    }
    if (isOnDrive(path)) {
        return ENOENT;
    }
    if (mkdir(nativePath(path).c_str(), 0777) != 0) {
        return errno;
    }
    return 0;
}

void* platformLoadLibrary(const char* name) {
    // dlopen(NULL) would answer the main program.
    if (name == nullptr) {
        return nullptr;
    }
    return dlopen(nativePath(name).c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* platformFindSymbol(void* handle, const char* name) {
    // A null handle is RTLD_DEFAULT to dlsym.
    if (handle == nullptr || name == nullptr) {
        return nullptr;
    }
    return dlsym(handle, name);
}

int32_t platformFreeLibrary(void* handle) {
    if (handle == nullptr) {
        return 0;
    }
    // dlclose answers 0 on success; the seam answers non-zero.
    return dlclose(handle) == 0 ? 1 : 0;
}

double platformParseReal(const char* text) {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return locale != static_cast<locale_t>(0) ? strtod_l(text, nullptr, locale) : strtod(text, nullptr);
}

boost::posix_time::ptime platformLocalTime() { return boost::posix_time::microsec_clock::local_time(); }

#endif
