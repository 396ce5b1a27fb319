// The printer settings that the converter and this program share through
// one INI file per settings name. Field names are the INI keys.
//
// Use: construct (defaults), setSettingsName (fixes IniPath and creates the
// folders), load, let the dialog change OutputFileName / Profile /
// CreateTXTz, save (only when the user confirmed).
#pragma once
#include <cstdint>
#include <string>

class PrinterSettings {
public:
    PrinterSettings() = default;

    // Points the record at the INI file of `name` (see getIniPath).
    void setSettingsName(const std::wstring& name);
    // Reads every field; a missing file or key gives that field's default,
    // and a file that cannot be read leaves the defaults. Always returns
    // true: a settings file that cannot be read is no failure of the
    // conversion, which goes on with the defaults.
    bool load();
    // Writes the whole record at once, merged into the file as it is then
    // (its other keys and sections kept), through a new file that replaces
    // the old one only when it holds every value exactly. False (GetLastError
    // tells why) when it cannot, also after waiting a moment for another
    // program that held the file, or when the config folder cannot be used
    // (a link or no folder in its place; see ConfigFolder), which load does
    // not read. The old file is then left as it was.
    bool save();

    std::wstring PrevJobName;
    std::wstring OutputFileName;  // read as "OutputFileName", written as "OutputFilename"
    std::wstring Profile;
    std::wstring FgJpxOptions;
    std::wstring BgJpxOptions;
    std::wstring SeqNoSourceFileName;
    std::wstring WmFileName;
    int32_t WmPos = 4;
    int32_t WmHorzMargin = 0;
    int32_t WmVertMargin = 0;
    int32_t WmMarginUnit = 0;
    bool WmSizeOnDpi = true;
    int32_t WmScale = 0x10000;
    uint32_t EncodeFlags = 0;
    bool UsePdfEncodings = false;
    bool CreateTXTz = true;
    bool RemoveCharZones = false;
    bool SilentMode = false;
    bool CombineSeqPrints = false;
    bool SuppressConfigDialog = false;
    int32_t StrokeWidthThreshold = 25;
    std::wstring IniPath;  // not stored in the file
};
