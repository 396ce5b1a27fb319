// The program's command line: which mode it selects and how its numbers read.
// Portable: no Windows headers.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

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

// The other direction, for programs that start this one (the converter
// stand-in, tests): one argument quoted so that the C run-time's argument
// parsing gives it back unchanged, and a whole command line of a program and
// its arguments.
std::wstring quoteArgument(const std::wstring& arg);
std::wstring commandLine(const std::wstring& program, const std::vector<std::wstring>& args);
