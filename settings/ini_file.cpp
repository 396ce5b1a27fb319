#include "settings/ini_file.h"

#include <algorithm>
#include <cwchar>
#include <vector>

namespace {
const wchar_t kSection[] = L"VJT";
}

std::wstring CIniFile::GetString(const wchar_t* key) const
{
    // The profile function returns size - 1 when it had to cut the value:
    // read again into a buffer twice as large, up to the limit.
    std::vector<wchar_t> buffer(260);
    for (;;) {
        const DWORD n = GetPrivateProfileStringW(kSection, key, L"", buffer.data(), DWORD(buffer.size()),
                                                 m_path.c_str());
        if (n + 1 < buffer.size() || buffer.size() > kMaxValueLength) {
            buffer.back() = L'\0';
            return std::wstring(buffer.data());  // up to the first zero character
        }
        buffer.assign(std::min<size_t>(buffer.size() * 2, kMaxValueLength + 1), L'\0');
    }
}

uint32_t CIniFile::GetInt(const wchar_t* key, uint32_t defaultValue) const
{
    return static_cast<uint32_t>(
        GetPrivateProfileIntW(kSection, key, static_cast<INT>(defaultValue), m_path.c_str()));
}

bool CIniFile::WriteString(const wchar_t* key, const std::wstring& value) const
{
    return WritePrivateProfileStringW(kSection, key, value.c_str(), m_path.c_str()) != FALSE;
}

bool CIniFile::WriteInt(const wchar_t* key, uint32_t value) const
{
    wchar_t text[16];
    std::swprintf(text, 16, L"%u", static_cast<unsigned>(value));
    return WritePrivateProfileStringW(kSection, key, text, m_path.c_str()) != FALSE;
}

void CIniFile::ForgetCachedCopy() const
{
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, m_path.c_str());
}
