// What lets the host-facing headers compile as C (C11) as well as C++: an
// enumeration with a fixed underlying type is that enumeration in C++ and,
// in C, a typedef of the same integer type with the same enumerators, so a
// record that holds one has the same layout in both languages; static_assert
// comes from <assert.h> in C.
#pragma once

#ifdef __cplusplus
#define ZRT_ENUM(name, type) enum name : type
#define ZRT_EXTERN_C_BEGIN extern "C" {
#define ZRT_EXTERN_C_END }
#else
#include <assert.h>
#define ZRT_ENUM(name, type) \
    typedef type name;       \
    enum name##_values
#define ZRT_EXTERN_C_BEGIN
#define ZRT_EXTERN_C_END
#endif
