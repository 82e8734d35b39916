// The limexp descriptor of an instance (entry 0 of its limexps array).
//
// A model evaluates limexp(x) by calling `fn(x, descriptor)` and then reading
// `deriv`, the derivative of the value just computed. The runtime allocates the
// descriptor; nothing in the library frees it, so it lives as long as the host
// keeps the instance.
#pragma once

#include "ZRT_CCompat.h"

#include <stddef.h>
#include <stdint.h>

typedef struct s_ZRT_DeviceInst s_ZRT_DeviceInst;
typedef struct s_ZRT_LimexpDesc s_ZRT_LimexpDesc;

typedef double (*ZRT_LimexpFn)(double x, s_ZRT_LimexpDesc* desc);

struct s_ZRT_LimexpDesc {
    s_ZRT_DeviceInst* inst;
    uint32_t id;
    uint32_t idPad;
    void* word1;       // the creator's words, kept and never read
    void* word2;
    double deriv;      // derivative of the last value fn computed; 0.0 at creation
    ZRT_LimexpFn fn;
    void* reserved;
};

static_assert(offsetof(s_ZRT_LimexpDesc, id) == 8, "limexp id");
static_assert(offsetof(s_ZRT_LimexpDesc, word1) == 16, "limexp first word");
static_assert(offsetof(s_ZRT_LimexpDesc, word2) == 24, "limexp second word");
static_assert(offsetof(s_ZRT_LimexpDesc, deriv) == 32, "limexp derivative");
static_assert(offsetof(s_ZRT_LimexpDesc, fn) == 40, "limexp function");
static_assert(offsetof(s_ZRT_LimexpDesc, reserved) == 48, "limexp last word");
static_assert(sizeof(s_ZRT_LimexpDesc) == 56, "limexp descriptor is 56 bytes");
