#include "settings/ini_file.h"

#include <algorithm>
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

void CIniFile::ForgetCachedCopy() const
{
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, m_path.c_str());
}
