#include "app/profile_editor.h"

#include <shellapi.h>

#include "app/language.h"

namespace {

bool isFile(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring currentFolder()
{
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::wstring folder(size, L'\0');
    const DWORD n = size ? GetCurrentDirectoryW(size, &folder[0]) : 0;
    folder.resize(n < size ? n : 0);
    return folder;
}

// Puts the current folder back when the shell has started the program.
class CurrentFolderScope {
public:
    explicit CurrentFolderScope(const std::wstring& folder) : m_before(currentFolder())
    {
        m_changed = !folder.empty() && !m_before.empty() && SetCurrentDirectoryW(folder.c_str());
    }
    ~CurrentFolderScope()
    {
        if (m_changed)
            SetCurrentDirectoryW(m_before.c_str());
    }
    CurrentFolderScope(const CurrentFolderScope&) = delete;
    CurrentFolderScope& operator=(const CurrentFolderScope&) = delete;

private:
    std::wstring m_before;
    bool m_changed = false;
};

// What the shell is given for `program`. The shell's search for a bare name
// looks in the current folder, the system folders, PATH and App Paths, but
// not in this program's folder, where the editor is installed: the editor
// there goes by its full path. Without it the bare name is searched (an
// editor registered under App Paths), and `fallbackFolder` is this
// program's folder, to be the current folder meanwhile, so that whatever
// lies in the caller's folder is not the one found.
std::wstring editorFile(const std::wstring& program, std::wstring& fallbackFolder)
{
    const std::wstring self = ownProgramPath();
    const size_t slash = self.find_last_of(L"\\/");
    if (program.find_first_of(L"\\/:") != std::wstring::npos || slash == std::wstring::npos)
        return program;
    const std::wstring beside = self.substr(0, slash + 1) + program;
    if (isFile(beside))
        return beside;
    fallbackFolder = self.substr(0, slash + 1);
    return program;
}

} // namespace

StartedEditor startProfileEditor(HWND owner, const std::wstring& program, const std::wstring& parameters)
{
    StartedEditor started;
    std::wstring fallbackFolder;
    started.file = editorFile(program, fallbackFolder);
    CurrentFolderScope scope(fallbackFolder);
    started.folderAtStart = currentFolder();
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.hwnd = owner;
    info.lpVerb = L"open";
    info.lpFile = started.file.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = SW_SHOW;
    if (!ShellExecuteExW(&info)) {
        started.error = GetLastError();
    } else if (!info.hProcess) {
        // Started through something that gave no process (a document
        // association, say): nothing to wait for.
        started.error = ERROR_FILE_NOT_FOUND;
    } else {
        started.process.reset(info.hProcess);
    }
    return started;
}

bool waitForProcessTakingMessages(HANDLE process, const bool* stop, HWND dialog)
{
    for (;;) {
        if (stop && *stop)
            return true;
        const DWORD r = MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0)
            return true;
        if (r != WAIT_OBJECT_0 + 1) {
            OutputDebugStringA("Profile editor: the wait failed; input goes back to the dialog\n");
            return false;
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(int(msg.wParam));
                return true;
            }
            if (!dialog || !IsDialogMessageW(dialog, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            if (stop && *stop)
                return true;
        }
    }
}
