#include "app/core/param_logic.h"

#include "app/res/resource.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>

int confirmationResult(bool sameConfigChecked)
{
    return sameConfigChecked ? IDOK_SUCCESSIVE : 1;
}

bool sameConfigInitiallyChecked(int page)
{
    return page == 1;
}

bool resultSavesSettings(int result)
{
    return result == 1 || result == IDOK_SUCCESSIVE;
}

bool needsOverwriteQuestion(int page, bool nameExists)
{
    return page == 1 && nameExists;
}

std::array<ControlState, 11> enableControlsPlan(bool enable, int page)
{
    const bool outputFile = enable && page == 1;
    return {{
        {IDC_OUTPUT_FILE, outputFile},
        {IDC_BROWSE, outputFile},
        {IDC_PROFILE, enable},
        {IDC_EDIT_PROFILE, enable},
        {IDC_PREVIEW_FRAME, enable},
        {IDC_PROPERTIES, enable},
        {IDC_SAME_CONFIG, enable},
        {IDC_SKIP_PAGE, enable},
        {1, enable},  // OK
        {2, enable},  // Cancel
        {0, enable},  // the dialog window
    }};
}

std::array<PropertyRow, 3> propertyRows(int page, int width, int height, int resolution)
{
    return {{
        {IDS_ROW_PAGE, IDS_FMT_PAGE, 1, {uint32_t(page), 0}},
        {IDS_ROW_IMAGE_SIZE, IDS_FMT_IMAGE_SIZE, 2, {uint32_t(width), uint32_t(height)}},
        {IDS_ROW_RESOLUTION, IDS_FMT_RESOLUTION, 1, {uint32_t(resolution), 0}},
    }};
}

std::wstring fileFilterFromResource(const std::wstring& text)
{
    std::wstring filter = text;
    for (wchar_t& c : filter) {
        if (c == L'|')
            c = L'\0';
    }
    if (filter.empty() || filter.back() != L'\0')
        filter.push_back(L'\0');
    // The string's own terminator supplies the second NUL; keep it explicit
    // so that the list is complete inside the std::wstring too.
    filter.push_back(L'\0');
    return filter;
}

int profileSelection(const std::vector<std::wstring>& names, const std::wstring& wanted)
{
    if (names.empty())
        return -1;
    int selected = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i] == wanted)
            selected = int(i);
    }
    return selected;
}

namespace {

bool isSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

// "C:...", "\\server\..." or "\...": a path that does not lie in the folder the
// save dialog shows.
bool namesFullPath(const std::wstring& text)
{
    return (text.size() >= 2 && text[1] == L':') || (!text.empty() && isSeparator(text[0]));
}

bool startsWithNoCase(const std::wstring& text, size_t at, const wchar_t* prefix)
{
    for (size_t i = 0; prefix[i]; ++i, ++at) {
        if (at >= text.size() || std::towupper(text[at]) != std::towupper(prefix[i]))
            return false;
    }
    return true;
}

// Where the name parts of a UNC path begin (its server, at `at`), when a
// server other than "." or "?" and a share follow; else 0.
size_t uncPrefix(const std::wstring& name, size_t at)
{
    size_t server = at;
    while (server < name.size() && !isSeparator(name[server]))
        ++server;
    const std::wstring host = name.substr(at, server - at);
    if (host.empty() || host == L"." || host == L"?" || server + 1 >= name.size() || isSeparator(name[server + 1]))
        return 0;
    return at;
}

// The prefix before the first name part of a full path: "C:\", also after
// the long-path prefix "\\?\"; for "\\server\share\..." and
// "\\?\UNC\server\share\..." the part up to the server. 0 for anything
// else: a relative name, a name from the current drive's root ("\x",
// "C:x"), the device namespaces ("\\.\", "\\?\GLOBALROOT", volumes).
size_t fullPathPrefix(const std::wstring& name)
{
    size_t at = 0;
    if (name.compare(0, 4, L"\\\\?\\") == 0) {
        if (startsWithNoCase(name, 4, L"UNC\\"))
            return uncPrefix(name, 8);
        at = 4;
    } else if (name.size() >= 2 && isSeparator(name[0]) && isSeparator(name[1])) {
        return uncPrefix(name, 2);
    }
    if (name.size() >= at + 3 && std::iswalpha(name[at]) && name[at] < 0x80 && name[at + 1] == L':' &&
        isSeparator(name[at + 2]))
        return at + 3;
    return 0;
}

// CON, PRN, AUX, NUL, COM0-9, LPT0-9 (with the superscript digits the
// platform also reserves) and the console names, compared without case on
// `base`: a name part before its first dot, trailing spaces removed.
bool isDeviceName(const std::wstring& base)
{
    std::wstring upper;
    for (wchar_t c : base)
        upper += wchar_t(c < 0x80 ? std::towupper(c) : c);
    static const wchar_t* const plain[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : plain) {
        if (upper == device)
            return true;
    }
    if (upper.size() == 4 && (upper.compare(0, 3, L"COM") == 0 || upper.compare(0, 3, L"LPT") == 0)) {
        const wchar_t digit = upper[3];
        return (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
    }
    return false;
}

} // namespace

std::wstring saveDialogStartText(const std::wstring& boxText)
{
    if (boxText.size() <= kMaxOutputPath)
        return boxText;
    const size_t last = boxText.find_last_of(L"\\/");
    if (last != std::wstring::npos && last + 1 <= kMaxOutputPath)
        return boxText.substr(0, last + 1);
    return std::wstring();
}

bool saveDialogChosenPath(const wchar_t* buffer, size_t size, std::wstring& path)
{
    const wchar_t* end = buffer ? std::find(buffer, buffer + size, L'\0') : nullptr;
    if (!end || end == buffer + size || size_t(end - buffer) > kMaxOutputPath)
        return false;
    path.assign(buffer, end);
    return true;
}

size_t saveDialogPathLength(const std::wstring& folder, const std::wstring& typed, const std::wstring& defaultExt)
{
    size_t begin = typed.find_first_not_of(L" \"");
    size_t end = typed.find_last_not_of(L" \"");
    const std::wstring text = begin == std::wstring::npos ? std::wstring() : typed.substr(begin, end - begin + 1);
    size_t length = text.size();
    if (!namesFullPath(text))
        length += folder.size() + (folder.empty() || isSeparator(folder.back()) ? 0 : 1);
    else if (isSeparator(text[0]) && (text.size() < 2 || !isSeparator(text[1])))
        length += 2;   // the root of the folder's drive: "C:" comes first
    const size_t name = text.find_last_of(L"\\/");
    const size_t dot = text.find_last_of(L'.');
    if (!defaultExt.empty() && (dot == std::wstring::npos || (name != std::wstring::npos && dot < name)))
        length += 1 + defaultExt.size();
    return length;
}

NameFault outputNameFault(const std::wstring& name, bool isFolder, std::wstring* part)
{
    if (name.size() > kMaxOutputPath)
        return NameFault::TooLong;
    if (name.empty())
        return NameFault::None;
    const size_t root = fullPathPrefix(name);
    if (root == 0)
        return NameFault::NotFullPath;
    for (size_t i = root; i < name.size(); ++i) {
        const wchar_t c = name[i];
        if (c < 0x20 || std::wcschr(L"<>:\"|?*", c))
            return NameFault::ForbiddenCharacter;
    }
    for (size_t at = root; at < name.size();) {
        size_t end = at;
        while (end < name.size() && !isSeparator(name[end]))
            ++end;
        const std::wstring whole = name.substr(at, end - at);
        std::wstring base = name.substr(at, std::min(end, name.find(L'.', at)) - at);
        while (!base.empty() && base.back() == L' ')
            base.pop_back();
        if (isDeviceName(base)) {
            if (part)
                *part = base;
            return NameFault::DeviceName;
        }
        // Windows drops a trailing dot or blank: the file would get another name.
        if (!whole.empty() && (whole.back() == L'.' || whole.back() == L' ') && whole != L"." && whole != L"..")
            return NameFault::TrailingDotOrSpace;
        at = end + 1;
    }
    return isFolder ? NameFault::Folder : NameFault::None;
}
