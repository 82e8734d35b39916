// The standard allocator behind ZRT_malloc, ZRT_calloc, ZRT_realloc and
// ZRT_free. It is a table so that tests can stand in an exhausted heap; the
// runtime never changes it.
#pragma once

#include <cstddef>

struct ZRT_Allocator {
    void* (*malloc)(size_t size);
    void* (*calloc)(size_t count, size_t size);
    void* (*realloc)(void* block, size_t size);
    void (*free)(void* block);
};

ZRT_Allocator& zrtAllocator();
