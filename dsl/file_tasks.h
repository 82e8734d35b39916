// File system tasks and formatted output of compiled models. The runtime opens
// no file itself: every file operation is a call of one of the host's file
// slots, and an operation whose slot the host left null does nothing (and
// answers 0). Descriptors are the host's 32-bit file descriptors; 0 stands for
// no file.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "rte/ZRT_CommonInterface.h"

// ---------------------------------------------------------------------------
// The instance's file-descriptor records.

// Stores a new zero-filled ZRT_FileDesc in each of the numFileDescs entries of
// the instance's fileDescs array (a failed allocation leaves a null entry).
void ZRT_initFileDescs(s_ZRT_DeviceInst* inst);
// For every record of a file open for reading (a handle and a mode beginning
// with 'r'): seek back to the saved read position / save the read position.
void ZRT_positionFileDescs(s_ZRT_DeviceInst* inst);
void ZRT_acceptFileDescs(s_ZRT_DeviceInst* inst);

// ---------------------------------------------------------------------------
// File system tasks.

// The host's descriptor for the opened file; 0 for a null name.
int32_t ZRT_FileOpen(s_ZRT_DeviceInst* inst, const char* name, const char* mode, int32_t flag);
void ZRT_FileClose(s_ZRT_DeviceInst* inst, int32_t desc);
void ZRT_FileFlush(s_ZRT_DeviceInst* inst, int32_t desc);
// Formats the text as printf does and writes it to the file.
void ZRT_WriteFile(int32_t desc, s_ZRT_DeviceInst* inst, const char* format, ...);
int32_t ZRT_feof(s_ZRT_DeviceInst* inst, int32_t desc);
int32_t ZRT_ferror(s_ZRT_DeviceInst* inst, char* messageText, int32_t desc);

// Reads one value with the format into destination. A failed read (the host
// answers 0 or less) sets *errorFlag when there is a destination; once the flag
// is set every scan through it answers 0 without reading. Answers the host's
// count when it is below 1, else 1.
int32_t ZRT_scanSingle(int32_t desc, s_ZRT_DeviceInst* inst, const char* format, void* destination,
                       int32_t* errorFlag);
// Reads one token (the host's "%as" scan, which answers a text it allocates
// and keeps) and stores it, read as a binary number with an optional leading
// minus sign, in *destination, keeping the low 32 bits. A character other than
// 0 and 1, or no text, sets the flag and stores nothing. The format is not used.
int32_t ZRT_scanSingleBinary(int32_t desc, s_ZRT_DeviceInst* inst, const char* format, int32_t* destination,
                             int32_t* errorFlag);
// Reads one line, of any length, without its line feed into a new text in
// *out (caller's) and answers its length. The end of the file ends a line too.
int32_t ZRT_fgets(s_ZRT_DeviceInst* inst, char** out, int32_t desc);

// ---------------------------------------------------------------------------
// Formatted output. Texts are formatted as printf does, at any length.

// The formatted text in a block from ZRT_malloc (the caller's), or null when
// formatting or the allocation fails. A null format gives "".
char* formatText(s_ZRT_SimInterface* sim, s_ZRT_DeviceInst* inst, const char* format, va_list args);

// vsscanf of text with the format; 0 for a null text or format.
int32_t ZRT_sscanf(const char* text, void* ignored, const char* format, ...);
// The formatted text as a new text owned by the caller.
char* ZRT_ssscanf(s_ZRT_DeviceInst* inst, const char* format, ...);
// Assigns the formatted text to *variable with ZRT_StringAssign.
void ZRT_WriteString(char** variable, s_ZRT_DeviceInst* pInst, const char* format, ...);
// Sends the formatted text to the host's Message slot with four arguments
// (type, text, instance, interface) and answers the host's answer. A warning
// whose formatted text the instance already sent is dropped (answer 0).
int32_t ZRT_WriteMsg(ZRT_MessageTypeE type, s_ZRT_DeviceInst* pInst, const char* format, ...);
