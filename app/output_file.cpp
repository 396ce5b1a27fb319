#include "app/output_file.h"

#include <commdlg.h>
#include <shlwapi.h>

#include <algorithm>
#include <vector>

#include "app/core/param_logic.h"
#include "app/resources.h"
#include "resource.h"

namespace {
using GetSaveFileNameFn = BOOL(WINAPI*)(OPENFILENAMEW*);

// Comdlg32 is bound by name when Browse is first used, so that the program
// does not load it for pages that never browse.
GetSaveFileNameFn saveFileFunction()
{
    static const GetSaveFileNameFn fn = []() -> GetSaveFileNameFn {
        HMODULE comdlg = LoadLibraryExW(L"comdlg32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!comdlg)
            comdlg = LoadLibraryW(L"comdlg32.dll");
        return comdlg ? reinterpret_cast<GetSaveFileNameFn>(reinterpret_cast<void*>(GetProcAddress(comdlg, "GetSaveFileNameW")))
                      : nullptr;
    }();
    return fn;
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

class ActivationScope {
public:
    explicit ActivationScope(HANDLE ctx)
    {
        if (ctx != INVALID_HANDLE_VALUE && !ActivateActCtx(ctx, &cookie_))
            cookie_ = 0;
    }
    ~ActivationScope()
    {
        if (cookie_)
            DeactivateActCtx(0, cookie_);
    }

private:
    ULONG_PTR cookie_ = 0;
};
} // namespace

void enableFileCompletion(HWND edit)
{
    SHAutoComplete(edit, kOutputFileCompletion);
}

bool browseForOutputFile(HWND dialog, int editId)
{
    GetSaveFileNameFn getSaveFileName = saveFileFunction();
    if (!getSaveFileName)
        return false;
    HWND edit = GetDlgItem(dialog, editId);
    const int length = edit ? GetWindowTextLengthW(edit) : 0;
    // Room for the typed text and at least the platform's path limit.
    std::vector<wchar_t> buffer(std::max<size_t>(kSaveDialogMaxFile, size_t(length > 0 ? length : 0) + 1), L'\0');
    if (edit)
        GetWindowTextW(edit, buffer.data(), int(buffer.size()));

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
    ofn.Flags = kSaveDialogFlags;
    ofn.lpstrDefExt = defaultExt.c_str();

    BOOL chosen;
    {
        ActivationScope scope(programActivationContext());
        chosen = getSaveFileName(&ofn);
    }
    if (!chosen)
        return false;
    buffer.back() = L'\0';
    SetDlgItemTextW(dialog, editId, buffer.data());
    return true;
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
