// One INI file of the settings store, read through the platform's profile
// functions. Every value lies in section "VJT"; key and section names
// compare without regard to letter case. (A save writes the whole file at
// once: PrinterSettings::save.)
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

    // Drops the copy of the file the profile functions keep, so the next read
    // reads the file itself (the documented flush: every argument but the
    // file name null).
    void ForgetCachedCopy() const;

private:
    std::wstring m_path;
};
