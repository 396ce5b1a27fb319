// The hand-off between the configuration dialog and the profile editor
// program "tessforge7.exe": the editor's parameter string, how the editor
// reads it back, and the two WM_COPYDATA requests the editor sends.
// Portable: no Windows headers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The program the Edit button starts, from this program's folder (see
// startProfileEditor for where else it is looked for).
extern const wchar_t* const kProfileEditorProgram;

// "NAME -nologo -hwnd WINDOW -icp \"IMAGE\"": the profile name unquoted (so a
// name with spaces arrives as several words), the dialog's window handle as a
// signed decimal number, the page image file in double quotes.
std::wstring editorParameters(const std::wstring& profileName, intptr_t window, const std::wstring& imagePath);

// What the editor reads from its parameter string.
struct EditorArguments {
    bool valid = false;
    std::wstring profileName;   // may be empty or hold spaces
    bool noLogo = false;
    intptr_t window = 0;        // where the two messages go; 0 when not given
    std::wstring imagePath;
};

// Reads the text after the program name. The profile name is everything
// before " -nologo" / " -hwnd" (the dialog does not quote it); "-hwnd" needs
// a decimal number, "-icp" a double-quoted path at the very end. The editor
// may also be started by hand with none of the switches: then the whole
// text is the profile name. Anything else is invalid.
EditorArguments parseEditorArguments(const std::wstring& parameters);

// The text after the program name in a whole command line: the program name
// is quoted or ends at the first blank; one separating blank is dropped.
std::wstring parametersOfCommandLine(const std::wstring& commandLine);

// The requests of the editor, by the COPYDATASTRUCT's dwData.
enum class EditorRequest {
    Ignore,         // any other value
    SelectProfile,  // 0x446A5675 "DjVu": refill the profile box, select the name
    GiveInputBack,  // 0x446A5676 "DjVv": enable the dialog again
};
constexpr uint32_t kSelectProfileRequest = 0x446A5675;
constexpr uint32_t kGiveInputBackRequest = 0x446A5676;
EditorRequest editorRequest(uintptr_t dwData);

// The profile name carried by a select request: UTF-16 code units up to the
// first NUL. Only `bytes` bytes of the block are read; a block without a
// NUL within them (or an odd single byte, or no block) gives false and
// leaves `name` alone. Each wchar_t of `name` holds one UTF-16 code unit.
bool copyDataProfileName(const void* data, size_t bytes, std::wstring& name);

// The other direction, for the editor: the block to send for `name`, the
// code units and the closing NUL.
std::u16string copyDataBlock(const std::wstring& name);
