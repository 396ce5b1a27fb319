#include "app/core/command_line.h"

#include <string>

namespace {

struct ModeSwitch {
    const wchar_t* name;
    int argc;
    Mode mode;
};

const ModeSwitch kSwitches[] = {
    {L"-param", 9, Mode::Param},
    {L"-errmsg", 4, Mode::ErrorMessage},
    {L"-msg", 3, Mode::PlainMessage},
    {L"-pipe", 3, Mode::Pipe},
};

// Lower-cases ASCII letters only: a switch never matches through the case
// rules of another alphabet.
std::wstring asciiLower(const wchar_t* text)
{
    std::wstring out(text);
    for (wchar_t& c : out) {
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return out;
}

bool isSpace(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

} // namespace

Mode selectMode(int argc, const wchar_t* const* argv)
{
    if (argc < 2 || !argv || !argv[1])
        return Mode::Invalid;
    std::wstring name = asciiLower(argv[1]);
    for (const ModeSwitch& s : kSwitches) {
        if (name == s.name)
            return argc == s.argc ? s.mode : Mode::Invalid;
    }
    return Mode::Invalid;
}

int32_t parseLenientDecimal(const wchar_t* text)
{
    if (!text)
        return 0;
    const wchar_t* p = text;
    while (isSpace(*p))
        ++p;
    bool negative = false;
    if (*p == L'+' || *p == L'-') {
        negative = *p == L'-';
        ++p;
    }
    // Accumulate as a magnitude with room for the clamp: INT32_MIN has one
    // more unit than INT32_MAX.
    const int64_t limit = negative ? int64_t(INT32_MAX) + 1 : int64_t(INT32_MAX);
    int64_t value = 0;
    for (; *p >= L'0' && *p <= L'9'; ++p) {
        value = value * 10 + (*p - L'0');
        if (value > limit)
            value = limit;   // keep reading the digits, but never grow past the clamp
    }
    return static_cast<int32_t>(negative ? -value : value);
}

std::wstring quoteArgument(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return arg;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only before a quote: doubled there, and the
        // quote itself escaped.
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

std::wstring commandLine(const std::wstring& program, const std::vector<std::wstring>& args)
{
    std::wstring cmd = quoteArgument(program);
    for (const std::wstring& a : args)
        cmd += L" " + quoteArgument(a);
    return cmd;
}
