#include "settings/ini_file.h"

#include <cwchar>

namespace {
const wchar_t kSection[] = L"VJT";
}

std::wstring CIniFile::GetString(const wchar_t* key) const
{
    wchar_t buffer[kMaxValueLength + 1] = {};
    GetPrivateProfileStringW(kSection, key, L"", buffer, kMaxValueLength + 1, m_path.c_str());
    buffer[kMaxValueLength] = L'\0';
    return std::wstring(buffer);  // up to the first zero character
}

uint32_t CIniFile::GetInt(const wchar_t* key, uint32_t defaultValue) const
{
    return static_cast<uint32_t>(
        GetPrivateProfileIntW(kSection, key, static_cast<INT>(defaultValue), m_path.c_str()));
}

void CIniFile::WriteString(const wchar_t* key, const std::wstring& value) const
{
    WritePrivateProfileStringW(kSection, key, value.c_str(), m_path.c_str());
}

void CIniFile::WriteInt(const wchar_t* key, uint32_t value) const
{
    wchar_t text[16];
    std::swprintf(text, 16, L"%u", static_cast<unsigned>(value));
    WritePrivateProfileStringW(kSection, key, text, m_path.c_str());
}
