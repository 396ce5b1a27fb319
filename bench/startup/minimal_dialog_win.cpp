// The start-up benchmark's reference: the least program that shows a dialog
// like the configuration dialog. It starts the common controls, fills a
// two-column list and a combo box, and paints the preview frame in one colour
// (the colour the benchmark's page files have), so that the benchmark waits
// for the same thing in both programs.
//
//   startup_minimal_dialog.exe [--load a.dll,b.dll] [--gdiplus] [--com]
//
// --load loads the named system libraries before the dialog, --gdiplus starts
// GDI+, --com initialises COM: each shows what one piece of the product's
// start-up costs.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "tests/support/gdiplus_flat.h"
#include "app/res/resource.h"
#include "baselib/svr_handle_win.h"

namespace {

// The colour of the benchmark's page files (see bench_startup_win.cpp).
const COLORREF kPageColour = RGB(0xD0, 0x90, 0x20);

// GDI+ is bound at run time here: only its declaration is taken.
using GdiplusStartupFn = decltype(&GdiplusStartup);

void loadSystemLibraries(const std::wstring& list)
{
    wchar_t folder[MAX_PATH];
    UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    if (!n || n >= MAX_PATH)
        return;
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(L',', start);
        if (end == std::wstring::npos)
            end = list.size();
        const std::wstring path = std::wstring(folder) + L"\\" + list.substr(start, end - start);
        LoadLibraryW(path.c_str());
        start = end + 1;
    }
}

void startGdiplus()
{
    wchar_t folder[MAX_PATH];
    UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    if (!n || n >= MAX_PATH)
        return;
    HMODULE gdiplus = LoadLibraryW((std::wstring(folder) + L"\\gdiplus.dll").c_str());
    auto start = gdiplus ? reinterpret_cast<GdiplusStartupFn>(reinterpret_cast<void*>(GetProcAddress(gdiplus, "GdiplusStartup"))) : nullptr;
    ULONG_PTR token = 0;
    GpStartupInput input = {1, nullptr, FALSE, FALSE};
    if (start)
        start(&token, &input, nullptr);
}

// COM from ole32 loaded here, so that the reference alone does not load it.
void startCom()
{
    wchar_t folder[MAX_PATH];
    UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    if (!n || n >= MAX_PATH)
        return;
    HMODULE ole = LoadLibraryW((std::wstring(folder) + L"\\ole32.dll").c_str());
    typedef HRESULT(WINAPI * CoInitializeFn)(void*);
    auto init = ole ? reinterpret_cast<CoInitializeFn>(reinterpret_cast<void*>(GetProcAddress(ole, "CoInitialize")))
                    : nullptr;
    if (init)
        init(nullptr);
}

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: {
        HWND list = GetDlgItem(dialog, IDC_PROPERTIES);
        SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
        const wchar_t* columns[] = {L"Property", L"Value"};
        for (int i = 0; i < 2; ++i) {
            LVCOLUMNW col = {};
            col.mask = LVCF_TEXT | LVCF_WIDTH;
            col.pszText = const_cast<wchar_t*>(columns[i]);
            col.cx = i ? 160 : 80;
            SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
        }
        const wchar_t* rows[][2] = {{L"Page", L"1"}, {L"Image Size", L"2480 x 3508"}, {L"Resolution", L"300 dpi"}};
        for (int i = 0; i < 3; ++i) {
            LVITEMW item = {};
            item.mask = LVIF_TEXT;
            item.iItem = i;
            item.pszText = const_cast<wchar_t*>(rows[i][0]);
            int at = int(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
            LVITEMW sub = {};
            sub.iSubItem = 1;
            sub.pszText = const_cast<wchar_t*>(rows[i][1]);
            SendMessageW(list, LVM_SETITEMTEXTW, at, reinterpret_cast<LPARAM>(&sub));
        }
        HWND combo = GetDlgItem(dialog, IDC_PROFILE);
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"sdk_default"));
        SendMessageW(combo, CB_SETCURSEL, 0, 0);
        CheckDlgButton(dialog, IDC_SAME_CONFIG, BST_CHECKED);
        return TRUE;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(dialog, &ps);
        RECT r = {};
        GetWindowRect(GetDlgItem(dialog, IDC_PREVIEW_FRAME), &r);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        const Solvaris_Win32::GdiObject<HBRUSH> brush(CreateSolidBrush(kPageColour));
        FillRect(dc, &r, brush.get());
        EndPaint(dialog, &ps);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDC_SKIP_PAGE) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 1; argv && i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--load" && i + 1 < argc)
            loadSystemLibraries(argv[++i]);
        else if (arg == L"--gdiplus")
            startGdiplus();
        else if (arg == L"--com")
            startCom();
    }
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    return int(DialogBoxParamW(instance, MAKEINTRESOURCEW(100), nullptr, dialogProc, 0));
}
