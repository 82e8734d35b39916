// Assertions of the runtime and the modules. They stay active in every build:
// a failed assertion reports the condition with its source file and line and
// stops the process. They do not depend on NDEBUG or <cassert>.
#pragma once

[[noreturn]] void ZRT_assertFail(const char* condition, const char* file, int line);

#define ZRT_ASSERT(cond) ((cond) ? static_cast<void>(0) : ZRT_assertFail(#cond, __FILE__, __LINE__))

// For generated code that names the condition text, source and line itself.
#define ZRT_ASSERT_AT(cond, text, file, line) ((cond) ? static_cast<void>(0) : ZRT_assertFail(text, file, line))
