#include "path/ZRT_Path.h"

#include <cstring>
#include <string>
#include <vector>

#include "rte/platform.h"

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }
bool isEmpty(const char* s) { return s == nullptr || *s == '\0'; }

// The file-type bits of the path's status; 0 when the status call fails.
uint32_t typeOf(const char* path) {
    uint32_t mode = 0;
    if (isEmpty(path) || !platformStatMode(path, &mode)) {
        return 0;
    }
    return mode & kPlatformTypeMask;
}

void copyOut(const std::string& text, char* out) {
    if (out != nullptr) {
        std::memcpy(out, text.c_str(), text.size() + 1);
    }
}

struct DirAndName {
    std::string dir;
    std::string name;
};

DirAndName splitDirAndName(const std::string& path) {
    const size_t lastSep = path.find_last_of("\\/");
    if (lastSep == std::string::npos) {
        return {std::string(), path};
    }
    const size_t nameStart = lastSep + 1;
    size_t dirEnd = nameStart;
    while (dirEnd > 0 && isSeparator(path[dirEnd - 1])) {
        --dirEnd;
    }
    // Only separators before the name: they are the directory.
    if (dirEnd == 0) {
        dirEnd = nameStart;
    }
    return {path.substr(0, dirEnd), path.substr(nameStart)};
}

// The parent and the last part of a path that may end in separators.
DirAndName splitForMaking(const std::string& path) {
    DirAndName parts = splitDirAndName(path);
    if (parts.name.empty()) {
        parts = splitDirAndName(parts.dir);
    }
    return parts;
}

// mkdir of one directory: made, or there already as a directory. A bare
// drive counts as made.
bool makeOneDirectory(const std::string& path) {
    const int32_t error = platformMakeDirectory(path.c_str());
    if (error == 0) {
        return true;
    }
    if (error == kPlatformErrorExists && ZRT_IsDir(path.c_str())) {
        return true;
    }
    return isBareDrive(path.c_str());
}

}  // namespace

int32_t ZRT_IsFile(const char* path) { return typeOf(path) == kPlatformTypeRegular ? 1 : 0; }

int32_t ZRT_IsDir(const char* path) { return typeOf(path) == kPlatformTypeDirectory ? 1 : 0; }

int32_t ZRT_PathExists(const char* path) {
    const uint32_t type = typeOf(path);
    return (type == kPlatformTypeRegular || type == kPlatformTypeDirectory) ? 1 : 0;
}

int32_t ZRT_IsAbsPath(const char* path) {
    if (isEmpty(path)) {
        return 0;
    }
    const size_t length = std::strlen(path);
    if (length >= 3 && isDriveLetter(path[0]) && path[1] == ':' && isSeparator(path[2])) {
        return 1;
    }
    if (length >= 2 && ((path[0] == '\\' && path[1] == '\\') || (path[0] == '/' && path[1] == '/'))) {
        return 1;
    }
    return 0;
}

int32_t ZRT_JoinPath(const char* directory, const char* name, char* out) {
    std::string joined;
    if (isEmpty(directory)) {
        joined = name != nullptr ? name : "";
    } else if (isEmpty(name)) {
        joined = directory;
    } else if (std::strlen(name) >= 3 && name[1] == ':') {
        joined = name;
    } else {
        joined = directory;
        if (!isSeparator(joined.back())) {
            joined += kPlatformPathSeparator;
        }
        joined += name;
    }
    copyOut(joined, out);
    return 1;
}

void ZRT_SplitExt(const char* path, char* root, char* ext) {
    const std::string text = path != nullptr ? path : "";
    // The extension is searched after the drive and the last separator.
    size_t fileStart = (text.size() >= 2 && text[1] == ':') ? 2 : 0;
    const size_t lastSep = text.find_last_of("\\/");
    if (lastSep != std::string::npos && lastSep + 1 > fileStart) {
        fileStart = lastSep + 1;
    }
    size_t dot = text.find_last_of('.');
    if (dot == std::string::npos || dot < fileStart) {
        dot = text.size();
    }
    copyOut(text.substr(0, dot), root);
    copyOut(text.substr(dot), ext);
}

void ZRT_SplitPath(const char* path, char* dir, char* name) {
    const DirAndName parts = splitDirAndName(path != nullptr ? path : "");
    copyOut(parts.dir, dir);
    copyOut(parts.name, name);
}

int32_t ZRT_MakeDirectories(const char* path) {
    if (isEmpty(path)) {
        return 1;
    }
    // The path and its missing ancestors, innermost first; made outermost
    // first. A loop rather than recursion: any path length is safe.
    std::vector<std::string> chain{path};
    for (;;) {
        const DirAndName parts = splitForMaking(chain.back());
        if (parts.dir.empty() || parts.name.empty() || ZRT_PathExists(parts.dir.c_str()) != 0) {
            break;
        }
        chain.push_back(parts.dir);
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!makeOneDirectory(*it)) {
            return 0;
        }
    }
    return 1;
}

void* ZRT_DynLibOpen(const char* fileName) { return platformLoadLibrary(fileName); }

int32_t ZRT_DynLibClose(void* handle) { return platformFreeLibrary(handle); }

void* ZRT_DynLibSymbol(void* handle, const char* symbolName) { return platformFindSymbol(handle, symbolName); }

const char* ZRT_DynLibError() { return nullptr; }
