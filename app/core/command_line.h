// The program's command line: which mode it selects and how its numbers read.
// Portable: no Windows headers.
#pragma once
#include <cstdint>

enum class Mode {
    Invalid,        // unknown switch, or a known one with the wrong count
    Param,          // -param NAME IMAGE OWNER DPI WIDTH HEIGHT PAGE
    ErrorMessage,   // -errmsg TEXT CODE
    PlainMessage,   // -msg TEXT
    Pipe,           // -pipe PIPE
};

// The mode of argv[1], compared after lower-casing its ASCII letters, when the
// total argument count (argv[0] included) is exactly the one the mode needs.
Mode selectMode(int argc, const wchar_t* const* argv);

// Converts a decimal argument leniently: leading white space and one sign are
// accepted, reading stops at the first character that is not a digit, and
// text without leading digits (or no text) gives 0. Values beyond the 32-bit
// range are clamped to it.
int32_t parseLenientDecimal(const wchar_t* text);
