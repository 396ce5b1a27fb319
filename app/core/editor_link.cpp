#include "app/core/editor_link.h"

#include <cstring>

const wchar_t* const kProfileEditorProgram = L"tessforge7.exe";

std::wstring editorParameters(const std::wstring& profileName, intptr_t window, const std::wstring& imagePath)
{
    // A window handle is a sign-extended 32-bit value on 64-bit Windows too,
    // so the full signed number is what "%d" gives on 32-bit Windows.
    return profileName + L" -nologo -hwnd " + std::to_wstring(static_cast<long long>(window)) + L" -icp \"" +
           imagePath + L"\"";
}

namespace {

bool readSignedDecimal(const std::wstring& text, intptr_t& value)
{
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+'))
        negative = text[i++] == L'-';
    if (i == text.size())
        return false;
    // Gathered without sign and checked against the limit before each step,
    // so that no number of digits can overflow: a value that no window
    // handle can have is refused.
    const uint64_t limit = negative ? uint64_t(INTPTR_MAX) + 1 : uint64_t(INTPTR_MAX);
    uint64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < L'0' || text[i] > L'9')
            return false;
        const uint64_t digit = uint64_t(text[i] - L'0');
        if (v > (limit - digit) / 10)
            return false;
        v = v * 10 + digit;
    }
    value = negative ? static_cast<intptr_t>(0 - static_cast<uintptr_t>(v)) : static_cast<intptr_t>(v);
    return true;
}

} // namespace

EditorArguments parseEditorArguments(const std::wstring& parameters)
{
    EditorArguments out;
    std::wstring rest = parameters;
    // The image path closes the text: -icp "PATH" (a path holds no quotes).
    const size_t icp = rest.rfind(L"-icp \"");
    if (icp != std::wstring::npos && (icp == 0 || rest[icp - 1] == L' ')) {
        const std::wstring quoted = rest.substr(icp + 6);
        if (quoted.empty() || quoted.back() != L'"' || quoted.find(L'"') != quoted.size() - 1)
            return out;
        out.imagePath = quoted.substr(0, quoted.size() - 1);
        rest.erase(icp == 0 ? 0 : icp - 1);
    }
    // Then -hwnd NUMBER.
    const size_t hwnd = rest.rfind(L"-hwnd ");
    if (hwnd != std::wstring::npos && (hwnd == 0 || rest[hwnd - 1] == L' ')) {
        if (!readSignedDecimal(rest.substr(hwnd + 6), out.window))
            return out;
        rest.erase(hwnd == 0 ? 0 : hwnd - 1);
    }
    // Then -nologo; what is left is the name, kept as it is.
    const std::wstring nologo = L"-nologo";
    if (rest == nologo) {
        out.noLogo = true;
        rest.clear();
    } else if (rest.size() > nologo.size() && rest.compare(rest.size() - nologo.size(), nologo.size(), nologo) == 0 &&
               rest[rest.size() - nologo.size() - 1] == L' ') {
        out.noLogo = true;
        rest.erase(rest.size() - nologo.size() - 1);
    }
    out.profileName = rest;
    out.valid = true;
    return out;
}

std::wstring parametersOfCommandLine(const std::wstring& commandLine)
{
    size_t i = 0;
    if (!commandLine.empty() && commandLine[0] == L'"') {
        const size_t close = commandLine.find(L'"', 1);
        i = close == std::wstring::npos ? commandLine.size() : close + 1;
    } else {
        while (i < commandLine.size() && commandLine[i] != L' ' && commandLine[i] != L'\t')
            ++i;
    }
    // Exactly one blank separates program and parameters; a second one is
    // the start of the parameters (an empty profile name).
    if (i < commandLine.size() && (commandLine[i] == L' ' || commandLine[i] == L'\t'))
        ++i;
    return commandLine.substr(i);
}

EditorRequest editorRequest(uintptr_t dwData)
{
    if (dwData == kSelectProfileRequest)
        return EditorRequest::SelectProfile;
    if (dwData == kGiveInputBackRequest)
        return EditorRequest::GiveInputBack;
    return EditorRequest::Ignore;
}

bool copyDataProfileName(const void* data, size_t bytes, std::wstring& name)
{
    if (!data)
        return false;
    const size_t units = bytes / 2;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    std::wstring out;
    for (size_t i = 0; i < units; ++i) {
        uint16_t unit;
        std::memcpy(&unit, p + 2 * i, 2);   // the block need not be aligned
        if (unit == 0) {
            name = out;
            return true;
        }
        out.push_back(static_cast<wchar_t>(unit));
    }
    return false;
}

std::u16string copyDataBlock(const std::wstring& name)
{
    std::u16string out;
    for (wchar_t c : name) {
        const uint32_t v = static_cast<uint32_t>(c);
        if (v > 0xFFFF) {   // a 32-bit wchar_t (native build): as a surrogate pair
            out.push_back(char16_t(0xD800 + ((v - 0x10000) >> 10)));
            out.push_back(char16_t(0xDC00 + ((v - 0x10000) & 0x3FF)));
        } else {
            out.push_back(char16_t(v));
        }
    }
    out.push_back(u'\0');
    return out;
}
