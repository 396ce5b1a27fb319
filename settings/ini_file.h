// One INI file of the settings store. Every value lies in section "VJT";
// the platform's profile functions do the reading and writing, so key and
// section names compare without regard to letter case.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "baselib/svr_base.h"

class CIniFile : public Solvaris::Referable {
public:
    // The longest string value read back; longer values are cut. Far above
    // any name or option the converter stores, so its values come back whole.
    static constexpr size_t kMaxValueLength = 32767;

    explicit CIniFile(const std::wstring& path) : m_path(path) {}
    ~CIniFile() override = default;

    // The value, or "" when the key or the file is missing (at most
    // kMaxValueLength characters).
    std::wstring GetString(const wchar_t* key) const;
    // The value as unsigned 32-bit number, or `defaultValue` when missing.
    uint32_t GetInt(const wchar_t* key, uint32_t defaultValue) const;
    // False when the value could not be written; GetLastError tells why.
    bool WriteString(const wchar_t* key, const std::wstring& value) const;
    bool WriteInt(const wchar_t* key, uint32_t value) const;

    // Drops the copy of the file the profile functions keep, so the next read
    // reads the file itself (the documented flush: every argument but the
    // file name null).
    void ForgetCachedCopy() const;

    const std::wstring& GetPath() const { return m_path; }

private:
    std::wstring m_path;
};
