// Path and dynamic-library utilities. Paths follow the Windows rules on every
// platform: '\' and '/' both separate, "X:" heads a drive, and only a drive
// with a separator or a double separator makes a path absolute. Failures are
// reported only through the results; no runtime records are used.
#pragma once

#include <cstdint>

// 1 when the path names a regular file / a directory / either; 0 for a null
// or empty path or a failed status call.
int32_t ZRT_IsFile(const char* path);
int32_t ZRT_IsDir(const char* path);
int32_t ZRT_PathExists(const char* path);

// 1 for "X:\...", "X:/...", "\\..." and "//..."; 0 for everything else
// ("\x", "/x", "C:", "x", null).
int32_t ZRT_IsAbsPath(const char* path);

// Writes the name when there is no directory (null or empty), the directory
// when there is no name, the name unchanged when its second character is ':'
// and it has at least three, else the directory, a separator unless the
// directory ends in one, and the name. `out` needs room for
// strlen(directory) + strlen(name) + 2 bytes; nothing is truncated. Always 1.
int32_t ZRT_JoinPath(const char* directory, const char* name, char* out);

// Splits off the extension: from the last '.' of the file part (after the
// drive and the last separator) to the end, the dot included. root gets the
// rest. Each output may be null and needs strlen(path) + 1 bytes.
void ZRT_SplitExt(const char* path, char* root, char* ext);

// The name after the last separator (the whole path without one; empty when
// the path ends in one) and the directory before it without its trailing
// separators, unless only separators precede the name. Each output may be
// null and needs strlen(path) + 1 bytes.
void ZRT_SplitPath(const char* path, char* dir, char* name);

// Creates the directory and every missing parent. 1 when the directory
// exists afterwards (or the path is null, empty or a bare drive), 0 when a
// part cannot be made or something other than a directory is in the way.
int32_t ZRT_MakeDirectories(const char* path);

// The dynamic-library loader. Open answers null on failure; Close answers
// non-zero on success and 0 for a null handle; Symbol answers null when the
// symbol is absent. No error text is kept: DynLibError always answers null.
void* ZRT_DynLibOpen(const char* fileName);
int32_t ZRT_DynLibClose(void* handle);
void* ZRT_DynLibSymbol(void* handle, const char* symbolName);
const char* ZRT_DynLibError();
