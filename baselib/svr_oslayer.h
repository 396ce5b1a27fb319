// The few operating-system services that strings and the debug file need,
// kept apart so that the string and formatting code stays portable.
#pragma once

#include <cstdint>

namespace Solvaris {
namespace _Svr_Internal_NS_ {

// System ANSI code page <-> UTF-16. Each returns the number of units/bytes
// written, or, with a null destination, the number needed. Throw on failure.
uint32_t ansiToUtf16(const char* src, uint32_t bytes, char16_t* dst, uint32_t capacity);
uint32_t utf16ToAnsi(const char16_t* src, uint32_t units, char* dst, uint32_t capacity);

// Appends text to the file named by _PXLL_DEBUG_FILE; false when the
// variable is unset, empty or too long, or the file cannot be opened.
bool appendToDebugFile(const char* text, uint32_t bytes);

} // namespace _Svr_Internal_NS_
} // namespace Solvaris
