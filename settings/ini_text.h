// The text of a settings file, as the platform's profile functions read it:
// "[SECTION]" lines, "key=value" lines below them, names compared without
// regard to letter case, surrounding blanks ignored. Builds the text of a
// whole record merged into what the file held, and reads number values.
// Portable: no system calls.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Keys and their value texts, in the order a new file lists them.
using IniValues = std::vector<std::pair<std::wstring, std::wstring>>;

// `text` (the file's lines) with `values` in section `section`: every
// other section and every other key stays as it was; the first occurrence
// of a key in the first such section is replaced in place (with the key
// spelled as in `values`), every later occurrence, also in a later section
// of the same name, goes; keys not found are added at the end of that
// section, which is added at the end when missing. A value with blanks
// around it or in quotes is written in quotes, so that it reads back as it
// is. Lines end with CR LF.
std::wstring mergeIniSection(const std::wstring& text, const std::wstring& section, const IniValues& values);

// The value of `key` in the first section named `section` of `text`, as
// the profile functions give it: blanks around it dropped, then one pair of
// quotes around it; "" when the key or the section is missing.
std::wstring iniValue(const std::wstring& text, const std::wstring& section, const std::wstring& key);

// A number value as its 32-bit pattern: blanks, one sign and the digits up
// to the first other character (none: 0). Texts from -2147483648 to
// 4294967295 are taken as written (so -1 and 4294967295 are one value); a
// larger magnitude is clamped to the 32-bit signed range, as the command
// line's numbers are, or to 4294967295 for an unsigned value.
uint32_t parseIniNumber(const std::wstring& text, bool isSigned);
