// The printf-style engine's internal entry point.
#pragma once

#include <cstdarg>
#include <cstdint>

namespace Solvaris {
namespace _Svr_Internal_NS_ {

// Largest width, and largest precision of numeric conversions, that the
// engine honours; larger values are clamped. A string precision only limits
// how many bytes are read, so it is not clamped.
const uint32_t kFormatMaxWidth = 100000;
const uint32_t kFormatMaxNumericPrecision = 1000;
// Largest output the engine produces (bytes, without the terminator).
const uint32_t kFormatMaxOutput = 0x7fff0000u;

// Formats into a block from the process allocator. On return the block holds
// *length bytes followed by at least 6 zero bytes and has *capacity bytes in
// all. Throws errOutOfMemory, after walking the rest of the format (so that
// every "z" argument is still released), when the output cannot be held.
char* formatEngine(const char* fmt, va_list args, uint32_t* length, uint32_t* capacity);

} // namespace _Svr_Internal_NS_
} // namespace Solvaris
