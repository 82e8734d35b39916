// File-descriptor record of a device instance.
//
// The instance's `fileDescs` array (allocated by the host, one entry per file
// descriptor that the module declares) holds pointers to these records. The
// runtime allocates each record zero-filled when the module finalises its
// topology and never frees it: the host frees the records with the instance.
// A compiled model stores the host's handle and the open mode after it opens a
// file; the runtime saves and restores the read position of files opened for
// reading.
#pragma once

#include "ZRT_CCompat.h"

#include <stddef.h>
#include <stdint.h>

#include "ZRT_HostInterface.h"

typedef struct ZRT_FileDesc ZRT_FileDesc;
struct ZRT_FileDesc {
    void* handle;            // 1 host file handle; null when no file is open
    const char* mode;        // 2 open mode; a first character 'r' marks a file that is read
    uint32_t savedPosition;  // 3 read position at the last accepted time point
    uint32_t savedPositionPad;
    void* reserved;          // 4 unused, 0
};

ZRT_PIN_WORD(ZRT_FileDesc, handle, 1);
ZRT_PIN_WORD(ZRT_FileDesc, mode, 2);
ZRT_PIN_WORD(ZRT_FileDesc, savedPosition, 3);
ZRT_PIN_WORD(ZRT_FileDesc, reserved, 4);
static_assert(sizeof(ZRT_FileDesc) == 4 * 8, "file descriptor is four words");
