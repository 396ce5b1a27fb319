// The settings file's text on arbitrary content (any user may write the
// file): merging the record into whatever the file holds gives a text that
// reads back every value of the record exactly, in which the record stands
// once, and which a second merge of the same record leaves as it is.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "settings/ini_text.h"

namespace {

// The values a save may write: no line breaks (the save refuses those) and
// no NUL (a key's value ends there).
std::wstring valueFrom(const std::wstring& text, size_t at, size_t length)
{
    std::wstring value;
    for (size_t i = at; i < text.size() && value.size() < length; ++i) {
        const wchar_t c = text[i];
        if (c != L'\r' && c != L'\n' && c != L'\0')
            value += c;
    }
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 8192)
        return 0;
    std::wstring text;
    for (size_t i = 0; i + 1 < size; i += 2)
        text += wchar_t(data[i] | data[i + 1] << 8);
    const IniValues values = {
        {L"OutputFilename", valueFrom(text, text.size() / 3, 40)},
        {L"Profile", valueFrom(text, text.size() / 2, 12)},
        {L"WmScale", L"65536"},
        {L"SilentMode", valueFrom(text, text.size() - text.size() / 4, 3)},
    };
    const std::wstring merged = mergeIniSection(text, L"VJT", values);
    for (const auto& kv : values) {
        if (iniValue(merged, L"vjt", kv.first) != kv.second)
            std::abort();
    }
    if (mergeIniSection(merged, L"VJT", values) != merged)
        std::abort();
    // Reading a number never goes past the text.
    parseIniNumber(text, true);
    parseIniNumber(text, false);
    return 0;
}
