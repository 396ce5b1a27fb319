#include "app/output_file.h"

#include <cderr.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shlwapi.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "app/core/param_logic.h"
#include "app/resources.h"
#include "resource.h"

namespace {
using GetSaveFileNameFn = BOOL(WINAPI*)(OPENFILENAMEW*);
using ExtendedErrorFn = DWORD(WINAPI*)();

SaveDialogCall g_saveDialogCall;

// Comdlg32 is bound by name when Browse is first used, so that the program
// does not load it for pages that never browse.
HMODULE comdlgModule()
{
    static const HMODULE comdlg = [] {
        HMODULE module = LoadLibraryExW(L"comdlg32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        return module ? module : LoadLibraryW(L"comdlg32.dll");
    }();
    return comdlg;
}

template <typename Fn> Fn comdlgFunction(const char* name)
{
    HMODULE comdlg = comdlgModule();
    return comdlg ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(comdlg, name))) : nullptr;
}

// The platform's save dialog: its result and, when it failed, the reason
// CommDlgExtendedError gives (0 for Cancel).
BOOL platformSaveDialog(OPENFILENAMEW& ofn, DWORD& error)
{
    static const GetSaveFileNameFn save = comdlgFunction<GetSaveFileNameFn>("GetSaveFileNameW");
    static const ExtendedErrorFn extended = comdlgFunction<ExtendedErrorFn>("CommDlgExtendedError");
    error = 0;
    if (!save)
        return FALSE;
    const BOOL chosen = save(&ofn);
    if (!chosen && extended)
        error = extended();
    return chosen;
}

bool isFolder(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The activation context of the program's manifest (resource 1: common
// controls 6), so that the save dialog gets the same visual style as the
// program even when the caller's context differs. INVALID_HANDLE_VALUE when
// it cannot be made; the process default context is used then.
HANDLE programActivationContext()
{
    static const HANDLE ctx = [] {
        wchar_t path[MAX_PATH] = {};
        HMODULE self = GetModuleHandleW(nullptr);
        GetModuleFileNameW(self, path, MAX_PATH);
        ACTCTXW act = {};
        act.cbSize = sizeof act;
        act.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
        act.hModule = self;
        act.lpSource = path;
        act.lpResourceName = MAKEINTRESOURCEW(1);
        return CreateActCtxW(&act);
    }();
    return ctx;
}

// While the save dialog runs, its OK command is looked at first. Wine's save
// dialog builds the chosen path in a 260-character buffer of its own and
// writes past it when the folder and the typed name are longer together;
// the settings could not carry such a path anyway. So a path longer than
// kMaxOutputPath is refused there with the configuration dialog's message,
// and the save dialog stays open for a shorter name. The dialog is found
// through a thread-local CBT hook when it is first activated; its
// parameters stay as they are.
class SaveDialogGuard {
public:
    SaveDialogGuard(HWND owner, const std::wstring& defaultExt) : m_owner(owner), m_defaultExt(defaultExt)
    {
        s_current = this;
        m_hook = SetWindowsHookExW(WH_CBT, &SaveDialogGuard::cbtHook, nullptr, GetCurrentThreadId());
    }
    ~SaveDialogGuard()
    {
        if (m_hook)
            UnhookWindowsHookEx(m_hook);
        if (m_dialog && IsWindow(m_dialog))
            RemoveWindowSubclass(m_dialog, &SaveDialogGuard::dialogProc, 0);
        s_current = nullptr;
    }
    SaveDialogGuard(const SaveDialogGuard&) = delete;
    SaveDialogGuard& operator=(const SaveDialogGuard&) = delete;

private:
    static LRESULT CALLBACK cbtHook(int code, WPARAM wParam, LPARAM lParam)
    {
        SaveDialogGuard* self = s_current;
        if (self && code == HCBT_ACTIVATE && !self->m_dialog) {
            HWND window = reinterpret_cast<HWND>(wParam);
            wchar_t className[16] = {};
            GetClassNameW(window, className, 16);
            if (GetWindow(window, GW_OWNER) == self->m_owner && lstrcmpW(className, L"#32770") == 0 &&
                SetWindowSubclass(window, &SaveDialogGuard::dialogProc, 0, reinterpret_cast<DWORD_PTR>(self)))
                self->m_dialog = window;
        }
        return CallNextHookEx(self ? self->m_hook : nullptr, code, wParam, lParam);
    }

    static LRESULT CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR data)
    {
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK && HIWORD(wParam) == BN_CLICKED) {
            const SaveDialogGuard* self = reinterpret_cast<const SaveDialogGuard*>(data);
            const size_t length = saveDialogPathLength(dialogText(window, CDM_GETFOLDERPATH),
                                                       dialogText(window, CDM_GETSPEC), self->m_defaultExt);
            if (length > kMaxOutputPath) {
                const std::wstring text = loadFormattedString(IDS_NAME_TOO_LONG, {unsigned(length)});
                const std::wstring caption = loadFormattedString(IDS_NAME_CAPTION);
                MessageBoxW(window, text.c_str(), caption.c_str(), MB_OK | MB_ICONWARNING);
                return 0;
            }
        }
        if (message == WM_NCDESTROY)
            RemoveWindowSubclass(window, &SaveDialogGuard::dialogProc, 0);
        return DefSubclassProc(window, message, wParam, lParam);
    }

    // The folder shown or the typed name, through the dialog's own messages;
    // empty when the dialog has none (a folder outside the file system).
    static std::wstring dialogText(HWND dialog, UINT message)
    {
        std::vector<wchar_t> text(32768, L'\0');
        const LRESULT n = SendMessageW(dialog, message, text.size(), reinterpret_cast<LPARAM>(text.data()));
        if (n <= 0 || size_t(n) > text.size())
            return std::wstring();
        text.back() = L'\0';
        return text.data();
    }

    static thread_local SaveDialogGuard* s_current;
    HWND m_owner;
    std::wstring m_defaultExt;
    HHOOK m_hook = nullptr;
    HWND m_dialog = nullptr;
};

thread_local SaveDialogGuard* SaveDialogGuard::s_current = nullptr;

// The whole text of a dialog control, whatever its length.
std::wstring dialogItemText(HWND dialog, int id)
{
    HWND item = GetDlgItem(dialog, id);
    const int length = item ? GetWindowTextLengthW(item) : 0;
    if (length <= 0)
        return std::wstring();
    std::vector<wchar_t> text(size_t(length) + 1, L'\0');
    const int got = GetWindowTextW(item, text.data(), int(text.size()));
    return std::wstring(text.data(), size_t(std::max(got, 0)));
}

class ActivationScope {
public:
    explicit ActivationScope(HANDLE ctx)
    {
        if (ctx != INVALID_HANDLE_VALUE && !ActivateActCtx(ctx, &m_cookie))
            m_cookie = 0;
    }
    ~ActivationScope()
    {
        if (m_cookie)
            DeactivateActCtx(0, m_cookie);
    }

private:
    ULONG_PTR m_cookie = 0;
};

void showNameMessage(HWND owner, const std::wstring& text)
{
    const std::wstring caption = loadFormattedString(IDS_NAME_CAPTION);
    MessageBoxW(owner, text.c_str(), caption.c_str(), MB_OK | MB_ICONWARNING);
}
} // namespace

void setSaveDialogCall(SaveDialogCall call)
{
    g_saveDialogCall = std::move(call);
}

void enableFileCompletion(HWND edit)
{
    SHAutoComplete(edit, kOutputFileCompletion);
}

bool browseForOutputFile(HWND dialog, int editId)
{
    // The dialog is told the platform's 260 characters, but the buffer has
    // ample room behind them, in case a dialog writes past what it was told.
    // A text the settings could not carry is not handed over, cut or whole:
    // the dialog starts in its folder when that folder exists, with no name,
    // and the user is told why first.
    std::vector<wchar_t> buffer(kSaveDialogBufferSize, L'\0');
    const std::wstring boxText = dialogItemText(dialog, editId);
    std::wstring folder;
    if (boxText.size() > kMaxOutputPath) {
        folder = saveDialogStartText(boxText);
        if (!isFolder(folder))
            folder.clear();
        showNameMessage(dialog, loadFormattedString(IDS_NAME_NOT_TAKEN, {unsigned(boxText.size())}));
    } else {
        std::copy(boxText.begin(), boxText.end(), buffer.begin());
    }

    std::wstring defaultExt;
    loadResourceString(IDS_DEFAULT_EXT, defaultExt);
    std::wstring filterText;
    loadResourceString(IDS_FILE_FILTER, filterText);
    const std::wstring filter = fileFilterFromResource(filterText);

    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = dialog;
    ofn.hInstance = ownModule();
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 0;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = kSaveDialogMaxFile;
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.Flags = kSaveDialogFlags;
    ofn.lpstrDefExt = defaultExt.c_str();

    BOOL chosen;
    DWORD error = 0;
    {
        ActivationScope scope(programActivationContext());
        SaveDialogGuard guard(dialog, defaultExt);
        chosen = g_saveDialogCall ? g_saveDialogCall(ofn, error) : platformSaveDialog(ofn, error);
    }
    // The newer dialog (Windows 7 and later) does not go through the guard
    // above: a path longer than its buffer makes it fail, and the first
    // character of the buffer then holds the size needed, with the end.
    if (!chosen && error == FNERR_BUFFERTOOSMALL) {
        const unsigned needed = unsigned(buffer[0]) > kMaxOutputPath + 1 ? unsigned(buffer[0]) - 1 : kSaveDialogMaxFile;
        showNameMessage(dialog, loadFormattedString(IDS_NAME_TOO_LONG, {needed}));
        return false;
    }
    // A text longer than the settings take, or one not ended within the
    // buffer, counts as a failed dialog: the box keeps its text.
    std::wstring path;
    if (!chosen || !saveDialogChosenPath(buffer.data(), buffer.size(), path))
        return false;
    SetDlgItemTextW(dialog, editId, path.c_str());
    return true;
}

bool acceptOutputName(HWND dialog, const std::wstring& name, int page)
{
    if (page != 1)
        return true;
    std::wstring part;
    NameFault fault = outputNameFault(name, false, &part);
    if (fault == NameFault::None) {
        const DWORD attributes = GetFileAttributesW(name.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            fault = NameFault::Folder;
    }
    const std::wstring text = outputNameFaultText(name, fault, part);
    if (text.empty())
        return true;
    const std::wstring caption = loadFormattedString(IDS_NAME_CAPTION);
    MessageBoxW(dialog, text.c_str(), caption.c_str(), MB_OK | MB_ICONWARNING);
    return false;
}

std::wstring outputNameFaultText(const std::wstring& name, NameFault fault, const std::wstring& part)
{
    switch (fault) {
    case NameFault::TooLong: return loadFormattedString(IDS_NAME_TOO_LONG, {unsigned(name.size())});
    case NameFault::ForbiddenCharacter: return loadFormattedString(IDS_NAME_CHARACTER, {name});
    case NameFault::DeviceName: return loadFormattedString(IDS_NAME_DEVICE, {name, part});
    case NameFault::Folder: return loadFormattedString(IDS_NAME_FOLDER, {name});
    case NameFault::NotFullPath: return loadFormattedString(IDS_NAME_NOT_FULL_PATH, {name});
    case NameFault::TrailingDotOrSpace: return loadFormattedString(IDS_NAME_TRAILING_DOT, {name});
    case NameFault::None: break;
    }
    return std::wstring();
}

std::wstring overwriteQuestionText(const std::wstring& name)
{
    return loadFormattedString(IDS_OVERWRITE_QUESTION, {PathFindFileNameW(name.c_str())});
}

std::wstring overwriteQuestionCaption()
{
    std::wstring caption;
    loadResourceString(IDS_OVERWRITE_CAPTION, caption);
    return caption;
}

bool confirmOverwrite(HWND dialog, const std::wstring& name, int page)
{
    if (!needsOverwriteQuestion(page, page == 1 && PathFileExistsW(name.c_str())))
        return true;
    const std::wstring text = overwriteQuestionText(name);
    const std::wstring caption = overwriteQuestionCaption();
    return MessageBoxW(dialog, text.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}
