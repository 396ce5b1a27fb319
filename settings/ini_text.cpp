#include "settings/ini_text.h"

#include <cwctype>

namespace {

bool isBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

std::wstring trimmed(const std::wstring& s)
{
    size_t begin = 0, end = s.size();
    while (begin < end && isBlank(s[begin]))
        ++begin;
    while (end > begin && isBlank(s[end - 1]))
        --end;
    return s.substr(begin, end - begin);
}

bool sameName(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::towupper(wint_t(a[i])) != std::towupper(wint_t(b[i])))
            return false;
    }
    return true;
}

// The section a "[name]" line opens; false for any other line.
bool sectionOf(const std::wstring& line, std::wstring& name)
{
    const std::wstring t = trimmed(line);
    const size_t close = t.find(L']');
    if (t.empty() || t[0] != L'[' || close == std::wstring::npos)
        return false;
    name = trimmed(t.substr(1, close - 1));
    return true;
}

// The index in `values` of the key a line names, or values.size().
size_t keyIndex(const std::wstring& line, const IniValues& values)
{
    const std::wstring key = trimmed(line.substr(0, line.find(L'=')));
    for (size_t i = 0; i < values.size(); ++i) {
        if (sameName(key, values[i].first))
            return i;
    }
    return values.size();
}

// A key's line. A value with blanks around it, or in quotes already, goes
// in quotes: the profile functions drop surrounding blanks, and one pair of
// quotes around a value.
std::wstring keyLine(const IniValues::value_type& value)
{
    const std::wstring& v = value.second;
    const bool quoted = v.size() > 1 && (v[0] == L'"' || v[0] == L'\'') && v.back() == v[0];
    const bool quote = !v.empty() && (isBlank(v[0]) || isBlank(v.back()) || quoted);
    return value.first + L"=" + (quote ? L"\"" + v + L"\"" : v);
}

std::vector<std::wstring> linesOf(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

} // namespace

std::wstring mergeIniSection(const std::wstring& text, const std::wstring& section, const IniValues& values)
{
    std::vector<std::wstring> out;
    std::vector<bool> written(values.size(), false);
    enum { outside, first, later } where = outside;
    bool found = false;
    size_t sectionEnd = 0;  // where keys not found go: after the first section's last line
    for (const std::wstring& line : linesOf(text)) {
        std::wstring name;
        if (sectionOf(line, name)) {
            where = !sameName(name, section) ? outside : found ? later : first;
            found = found || where == first;
        } else if (where != outside) {
            const size_t i = keyIndex(line, values);
            if (i < values.size()) {
                if (where == later || written[i])
                    continue;
                written[i] = true;
                out.push_back(keyLine(values[i]));
                sectionEnd = out.size();
                continue;
            }
        }
        out.push_back(line);
        if (where == first && !trimmed(line).empty())
            sectionEnd = out.size();
    }
    if (!found) {
        out.push_back(L"[" + section + L"]");
        sectionEnd = out.size();
    }
    std::vector<std::wstring> added;
    for (size_t i = 0; i < values.size(); ++i) {
        if (!written[i])
            added.push_back(keyLine(values[i]));
    }
    out.insert(out.begin() + std::ptrdiff_t(sectionEnd), added.begin(), added.end());
    std::wstring merged;
    for (const std::wstring& line : out)
        merged += line + L"\r\n";
    return merged;
}

std::wstring iniValue(const std::wstring& text, const std::wstring& section, const std::wstring& key)
{
    bool inside = false;
    for (const std::wstring& line : linesOf(text)) {
        std::wstring name;
        if (sectionOf(line, name)) {
            if (inside)
                break;  // the first such section ended without the key
            inside = sameName(name, section);
            continue;
        }
        const size_t equals = line.find(L'=');
        if (!inside || equals == std::wstring::npos || !sameName(trimmed(line.substr(0, equals)), key))
            continue;
        const std::wstring v = trimmed(line.substr(equals + 1));
        const bool quoted = v.size() > 1 && (v[0] == L'"' || v[0] == L'\'') && v.back() == v[0];
        return quoted ? v.substr(1, v.size() - 2) : v;
    }
    return std::wstring();
}

uint32_t parseIniNumber(const std::wstring& text, bool isSigned)
{
    size_t i = 0;
    while (i < text.size() && std::iswspace(wint_t(text[i])))
        ++i;
    const bool negative = i < text.size() && text[i] == L'-';
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+'))
        ++i;
    // The magnitude grows no further than one past what a value may hold.
    const uint64_t limit = negative ? 0x80000000ull : 0xFFFFFFFFull;
    uint64_t magnitude = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        magnitude = magnitude * 10 + uint64_t(text[i] - L'0');
        if (magnitude > limit)
            magnitude = limit + 1;
    }
    if (magnitude > limit)
        return negative ? 0x80000000u : isSigned ? 0x7FFFFFFFu : 0xFFFFFFFFu;
    return negative ? uint32_t(0 - magnitude) : uint32_t(magnitude);
}
