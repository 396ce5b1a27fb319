// Every window of the program at 96, 144 and 192 dpi, in English and in
// every shipped language module, under the user locale of the run (the CJK
// locale runs: their fonts are wider): the properties list's columns fit
// their texts without a sideways scroll bar, the preview's outline grows
// with the display, and no control is cut or overlaps another, the
// progress line with each status text included, and every action and field
// of the program's windows has a keyboard letter of its own. A screenshot
// of each window lands in <build>/screenshots as dpi<N>_<language>_<window>
// (the Chinese and Japanese ones from the CJK locale runs only).
//
// The program is DPI-aware, so Windows does not scale it. Wine reads the
// resolution (LogPixels) from the registry when a process starts: this
// program runs the windows at its own resolution, and copies of itself,
// started after the value was changed, at the others.
#include "app/core/dpi_layout.h"
#include "app/dialog_dpi.h"
#include "app/messages.h"
#include "app/param_dialog.h"
#include "app/pipe_reader.h"
#include "app/progress_dialog.h"
#include "app/resources.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "param_test_support.h"
#include "settings/printer_settings.h"
#include "support/dialog_driver.h"
#include "support/pipe_server.h"
#include "support/ui_probe.h"

using namespace paramtest;

namespace {

const int kResolutions[] = {96, 144, 192};

// The user's display resolution for processes started from now on; the
// former value (or its absence) comes back at the end of the scope.
class LogPixelsOverride {
public:
    explicit LogPixelsOverride(DWORD dpi)
    {
        if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                            KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, m_key.put(), nullptr) != ERROR_SUCCESS)
            return;
        DWORD size = sizeof m_old, type = 0;
        m_hadOld = RegQueryValueExW(m_key.get(), L"LogPixels", nullptr, &type, reinterpret_cast<BYTE*>(&m_old), &size) ==
                      ERROR_SUCCESS && type == REG_DWORD;
        m_set = RegSetValueExW(m_key.get(), L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                              sizeof dpi) == ERROR_SUCCESS;
    }
    ~LogPixelsOverride()
    {
        if (m_hadOld)
            RegSetValueExW(m_key.get(), L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&m_old), sizeof m_old);
        else if (m_key)
            RegDeleteValueW(m_key.get(), L"LogPixels");
    }
    bool ok() const { return m_set; }

private:
    Solvaris_Win32::RegKey m_key;
    DWORD m_old = 0;
    bool m_hadOld = false;
    bool m_set = false;
};

// The dialog texts of one language: the program's own English ones, or a
// shipped language module, for the length of a scope.
class Language {
public:
    explicit Language(const wchar_t* locale) : m_name(locale ? locale : L"en-US")
    {
        const std::wstring path = uitest::programFolder() + L"\\" + m_name + L"\\PrintvaneUI.exe.mui";
        if (locale)
            m_module.reset(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        setResourceModules(m_module.get(), nullptr);
    }
    ~Language() { setResourceModules(nullptr, nullptr); }
    bool ok() const { return m_name == L"en-US" || bool(m_module); }
    const std::wstring& name() const { return m_name; }

private:
    std::wstring m_name;
    Solvaris_Win32::LoadedModule m_module;
};

// Keeps the picture of a window as <shot><what>; an empty `shot` keeps none.
void keepPicture(HWND window, const std::wstring& shot, const wchar_t* what)
{
    if (!shot.empty())
        uitest::saveScreenshot(window, shot + what);
}

// The name of the pictures of one language's windows at `dpi`, empty for
// none: a Chinese or Japanese module is pictured only in the runs under a
// CJK user locale, whose fonts have its characters (elsewhere its texts
// would show as empty boxes and overwrite the CJK runs' pictures).
std::wstring pictureName(const std::wstring& language, int dpi)
{
    const bool cjkTexts = language == L"ja" || language.rfind(L"zh", 0) == 0;
    const LANGID user = PRIMARYLANGID(LANGIDFROMLCID(GetUserDefaultLCID()));
    const bool cjkFonts = user == LANG_JAPANESE || user == LANG_CHINESE || user == LANG_KOREAN;
    return cjkTexts && !cjkFonts ? std::wstring() : L"dpi" + std::to_wstring(dpi) + L"_" + language;
}

// The module folders to run: English (none) and every shipped module.
const wchar_t* const kLanguages[] = {L"", L"ja", L"de", L"fr", L"zh-Hans", L"zh-Hant"};

// Layout faults, and for the program's own windows faults of the keyboard
// letters (the boxes' buttons are the system's, and the system sizes them
// to their texts). The program's own texts have room for 15 % more width:
// Windows draws the dialog font with another face than Wine.
void expectNoLayoutFaults(HWND window, const char* what, bool ownWindow = true)
{
    std::vector<std::wstring> faults = uitest::layoutFaults(window, ownWindow ? 15 : 0),
                              letters = uitest::mnemonicFaults(window);
    if (ownWindow)
        faults.insert(faults.end(), letters.begin(), letters.end());
    for (const std::wstring& fault : faults)
        ADD_FAILURE() << what << ": " << uitest::narrow(fault);
}

// The properties list as shown: every column at least as wide as its widest
// text with the list's own margin; the columns fill the client width
// exactly, and there is no sideways scroll bar.
void checkPropertiesList(HWND list, int dpi)
{
    // The list view keeps 12 pixels beside a cell's text before it shortens
    // it; the header keeps its own margin (HDM_GETBITMAPMARGIN) on both
    // sides of its text.
    const int cellMargin = 12;
    const HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const int headerMargin = 2 * int(SendMessageW(header, HDM_GETBITMAPMARGIN, 0, 0));
    const int columns = int(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    ASSERT_EQ(columns, 2);
    const int rows = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    ASSERT_EQ(rows, 3);
    RECT client = {};
    GetClientRect(list, &client);
    int total = 0;
    for (int column = 0; column < columns; ++column) {
        const int width = int(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0));
        for (int row = -1; row < rows; ++row) {   // the header first
            const std::wstring text = uitest::listViewText(list, row, column);
            const int need = int(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text.c_str())));
            EXPECT_GE(width, need + (row < 0 ? headerMargin : cellMargin))
                << dpi << " dpi, column " << column << ": \"" << uitest::narrow(text) << "\" is cut";
        }
        total += width;
    }
    EXPECT_EQ(total, client.right) << dpi << " dpi: the columns end at the list's right edge";
    EXPECT_EQ(GetWindowLongW(list, GWL_STYLE) & WS_HSCROLL, 0) << dpi << " dpi: sideways scroll bar";
}

// The page dialog with the widest values the list can show, then its
// overwrite question.
void runPageDialog(const std::wstring& shot, int dpi)
{
    ensureGdiplus();
    testkit::ScratchFolder tmp("folder");
    ASSERT_TRUE(writeBytes(tmp.wide(L"page.img"), solidPage(496, 702, 496 * 3, 0x00, 0x00, 0xFF)));
    ASSERT_TRUE(writeBytes(tmp.wide(L"report.djvu"), {1}));
    PrinterSettings settings;
    settings.OutputFileName = tmp.wide(L"report.djvu");
    CParamDialog dialog(settings, tmp.wide(L"page.img"), -1, -1, -1, 1);
    const INT_PTR result = uitest::runToEnd([&] { return dialog.DoModal(nullptr); }, [&](HWND dlg) {
        checkPropertiesList(GetDlgItem(dlg, IDC_PROPERTIES), dpi);
        expectNoLayoutFaults(dlg, "page dialog");

        // The outline around the fitted page is as thick as one pixel
        // at 96 dpi would look: 1, 2 at 144 and 192 dpi.
        const int thickness = (dpi + 48) / 96;
        const RECT frame = previewFrameRect(dlg, IDC_PREVIEW_FRAME);
        const PreviewRect p = fitPreview(frame.left, frame.top, frame.right, frame.bottom, 496, 702).picture;
        SetWindowPos(dlg, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        uitest::repaint(dlg);
        const int midY = p.y + p.height / 2, midX = p.x + p.width / 2;
        EXPECT_EQ(uitest::pixelAt(dlg, midX, midY), RGB(0xFF, 0, 0)) << "the page";
        for (int k = 1; k <= thickness; ++k) {
            EXPECT_EQ(uitest::pixelAt(dlg, p.x - k, midY), RGB(0, 0, 0)) << dpi << " dpi: left outline, pixel " << k;
            EXPECT_EQ(uitest::pixelAt(dlg, p.x + p.width - 1 + k, midY), RGB(0, 0, 0)) << dpi << " dpi: right outline";
            EXPECT_EQ(uitest::pixelAt(dlg, midX, p.y - k), RGB(0, 0, 0)) << dpi << " dpi: top outline, pixel " << k;
        }
        EXPECT_EQ(uitest::pixelAt(dlg, p.x - thickness - 1, midY), GetSysColor(COLOR_3DFACE))
            << dpi << " dpi: beside the outline";
        keepPicture(dlg, shot, L"_param");

        // OK on page 1 with an existing file asks first.
        uitest::pressButton(dlg, IDOK);
        HWND box = uitest::ownedDialog(dlg);
        ASSERT_NE(box, nullptr) << "no overwrite question";
        expectNoLayoutFaults(box, "overwrite question", false);
        keepPicture(box, shot, L"_overwrite");
        uitest::pressButton(box, IDNO);
        uitest::waitUntil([&] { return !IsWindow(box); });
        uitest::pressButton(dlg, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
}

// The progress window showing its longest lines: each step of page 999 of a
// 999-page job.
void runProgressWindow(const std::wstring& shot)
{
    uitest::PipeServer server;
    Solvaris_Win32::UniqueHandle client(server.openClient());
    ASSERT_TRUE(client);
    CProgressDialog dialog(std::move(client));
    uitest::runToEnd([&] { return dialog.DoModal(nullptr); }, [&](HWND dlg) {
        server.send(encodePageCount(999));
        server.send(encodePipeText(PM_DOC_NAME, u"report"));
        for (int page = 1; page <= 999; ++page)
            server.send(encodePipeMessage(PM_PAGE_BEGIN, nullptr, 0));
        const std::pair<uint32_t, UINT> steps[] = {{PM_IMAGE, IDS_STATUS_IMAGE}, {PM_TEXT, IDS_STATUS_TEXT},
            {PM_TEXT_COMPRESS, IDS_STATUS_COMPRESS}, {PM_FINALIZE, IDS_STATUS_FINALIZE}};
        for (const auto& [record, status] : steps) {
            server.send(encodePipeMessage(record, nullptr, 0));
            std::wstring text;
            loadResourceString(status, text);
            EXPECT_TRUE(uitest::waitUntil([&] {
                return SendDlgItemMessageW(dlg, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0) == 999 &&
                       uitest::controlText(dlg, IDC_PROGRESS_TEXT).find(text) != std::wstring::npos;
            })) << uitest::narrow(uitest::controlText(dlg, IDC_PROGRESS_TEXT));
            expectNoLayoutFaults(dlg, "progress window");
        }
        keepPicture(dlg, shot, L"_progress");
        server.close();   // the converter is done: the window closes
    });
}

// The two message boxes of the message modes.
void runMessageBoxes(const std::wstring& shot)
{
    struct Box {
        const wchar_t* name;
        void (*show)();
    } const boxes[] = {
        {L"_errmsg", [] { showErrorMessage(GetModuleHandleW(nullptr), L"conversion stopped", 24); }},
        {L"_msg", [] { showPlainMessage(GetModuleHandleW(nullptr),
                                        L"3 pages were written to C:\\Users\\Public\\Documents\\report.djvu."); }},
    };
    for (const Box& b : boxes) {
        SCOPED_TRACE(uitest::narrow(b.name));
        uitest::runToEnd([&] { b.show(); return INT_PTR(0); }, [&](HWND box) {
            expectNoLayoutFaults(box, uitest::narrow(b.name).c_str(), false);
            keepPicture(box, shot, b.name);
            uitest::pressButton(box, IDOK);
        });
    }
}

// Every control of `dialog` in creation order: class, id, place, size and
// font, and a list's column widths; the client size first.
std::string layoutOf(HWND dialog)
{
    std::ostringstream out;
    RECT client = {};
    GetClientRect(dialog, &client);
    out << "client " << client.right << " x " << client.bottom << "\n";
    for (HWND w = GetWindow(dialog, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        wchar_t name[64] = {};
        GetClassNameW(w, name, 64);
        RECT r = {};
        GetWindowRect(w, &r);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        LOGFONTW font = {};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(w, WM_GETFONT, 0, 0)), sizeof font, &font);
        out << uitest::narrow(name) << " " << GetDlgCtrlID(w) << " at " << r.left << "," << r.top << " size "
            << r.right - r.left << " x " << r.bottom - r.top << " font " << font.lfHeight << " "
            << font.lfWeight << " " << uitest::narrow(font.lfFaceName);
        if (std::wstring(name) == WC_LISTVIEWW) {
            for (int column = 0; column < 2; ++column)
                out << " column " << SendMessageW(w, LVM_GETCOLUMNWIDTH, column, 0);
        }
        out << "\n";
    }
    return out.str();
}

// The layouts of the page dialog and the progress window, each after
// `prepare` has had its window.
std::string layoutsOfWindows(const std::function<void(HWND)>& prepare)
{
    std::string layouts;
    PrinterSettings settings;
    testkit::ScratchFolder tmp("layout");
    CParamDialog page(settings, tmp.wide(L"page.img"), -1, -1, -1, 1);
    uitest::runToEnd([&] { return page.DoModal(nullptr); }, [&](HWND dlg) {
        prepare(dlg);
        layouts += layoutOf(dlg);
        uitest::pressButton(dlg, IDCANCEL);
    });
    uitest::PipeServer server;
    CProgressDialog progress(Solvaris_Win32::UniqueHandle(server.openClient()));
    uitest::runToEnd([&] { return progress.DoModal(nullptr); }, [&](HWND dlg) {
        prepare(dlg);
        layouts += layoutOf(dlg);
        server.close();
    });
    return layouts;
}

// Records the rescaling switches a dialog sets.
std::vector<std::string>& rescalingCalls()
{
    static std::vector<std::string> calls;
    return calls;
}
BOOL WINAPI recordDialogBehavior(HWND, int mask, int values)
{
    rescalingCalls().push_back("dialog " + std::to_string(mask) + " " + std::to_string(values));
    return TRUE;
}
BOOL WINAPI recordControlBehavior(HWND, int mask, int values)
{
    rescalingCalls().push_back("control " + std::to_string(mask) + " " + std::to_string(values));
    return TRUE;
}

} // namespace

// The windows lay themselves out on a resolution change, so Windows' own
// rescaling of template dialogs is switched off for each of them and every
// control: all of it (DDC_DISABLE_ALL, 1) for the dialog, font and place
// (DCDC_DISABLE_FONT_UPDATE | DCDC_DISABLE_RELAYOUT, 3) for each control.
// Wine has neither function: the calls are recorded.
TEST(DpiLayout, WindowsSwitchOffTheSystemsRescaling)
{
    DialogDpiFunctions& functions = dialogDpiFunctions();
    const DialogDpiFunctions system = functions;
    functions = {&recordDialogBehavior, &recordControlBehavior};
    rescalingCalls().clear();
    std::vector<std::string> expected;
    layoutsOfWindows([&](HWND dlg) {
        expected.push_back("dialog 1 1");
        for (HWND w = GetWindow(dlg, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT))
            expected.push_back("control 3 3");
    });
    functions = system;
    EXPECT_EQ(rescalingCalls(), expected);
}

// A window told by WM_DPICHANGED that its monitor now has 144 dpi (96 when
// this process runs at 144) is laid out as one made at that resolution from
// the start, which a copy of this program started at it writes: every
// control's place, size and font, the list's columns; the window moves to
// the corner of the suggested rectangle.
TEST(DpiLayout, ResolutionChangeLaysOutAsIfMadeThere)
{
    if (const std::wstring path = testkit::childJob(); !path.empty()) {   // in the copy: the layout made here
        const std::string layouts = layoutsOfWindows([](HWND) {});
        const Solvaris_Win32::UniqueHandle file(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file.get(), layouts.data(), DWORD(layouts.size()), &written, nullptr));
        return;
    }
    const int dpi = uitest::screenDpi() == 144 ? 96 : 144;
    testkit::ScratchFolder scratch("dpi-change");
    const std::wstring made = scratch.wide(L"layout.txt"), output = scratch.wide(L"output.txt");
    {
        LogPixelsOverride display{DWORD(dpi)};
        ASSERT_TRUE(display.ok());
        uitest::Process child;
        ASSERT_TRUE(testkit::startChild(child, L"DpiLayout.ResolutionChangeLaysOutAsIfMadeThere", made, output));
        ASSERT_TRUE(child.wait(60000)) << "the copy did not end";
        ASSERT_EQ(child.exitCode(), 0u) << testkit::readFile(output);
    }
    const std::string changed = layoutsOfWindows([&](HWND dlg) {
        RECT suggested = {};
        GetWindowRect(dlg, &suggested);
        OffsetRect(&suggested, 40, 30);
        SendMessageW(dlg, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        RECT now = {};
        GetWindowRect(dlg, &now);
        EXPECT_EQ(now.left, suggested.left);
        EXPECT_EQ(now.top, suggested.top);
        expectNoLayoutFaults(dlg, "after the change");
        if (GetDlgItem(dlg, IDC_PROPERTIES))
            keepPicture(dlg, L"dpichange" + std::to_wstring(dpi) + L"_en-US", L"_param");
    });
    EXPECT_EQ(changed, testkit::readFile(made));
}

// Every window at the resolution this process runs at.
TEST(DpiLayout, WindowsAtThisResolution)
{
    const int dpi = uitest::screenDpi();
    if (const std::wstring expected = testkit::childJob(); !expected.empty()) {   // in a copy: its resolution
        ASSERT_EQ(dpi, _wtoi(expected.c_str())) << "the display resolution was not taken up";
    }
    for (const wchar_t* folder : kLanguages) {
        Language language(*folder ? folder : nullptr);
        ASSERT_TRUE(language.ok()) << "no language module " << uitest::narrow(language.name());
        SCOPED_TRACE(uitest::narrow(language.name()));
        const std::wstring shot = pictureName(language.name(), dpi);
        runPageDialog(shot, dpi);
        runProgressWindow(shot);
        runMessageBoxes(shot);
    }
}

// The same in copies of this program at the other resolutions.
TEST(DpiLayout, WindowsAtTheOtherResolutions)
{
    const int own = uitest::screenDpi();
    for (int dpi : kResolutions) {
        if (dpi == own)
            continue;
        SCOPED_TRACE(std::to_string(dpi) + " dpi");
        testkit::ScratchFolder scratch("dpi-run");
        const std::wstring output = scratch.wide(L"output.txt");
        // The copy reads the value when it starts using windows: it stays
        // set until the copy has ended.
        LogPixelsOverride display{DWORD(dpi)};
        ASSERT_TRUE(display.ok());
        uitest::Process child;
        ASSERT_TRUE(testkit::startChild(child, L"DpiLayout.WindowsAtThisResolution", std::to_wstring(dpi), output))
            << uitest::narrow(child.error());
        ASSERT_TRUE(child.wait(120000)) << "the copy did not end";
        EXPECT_EQ(child.exitCode(), 0u) << testkit::readFile(output);
    }
}
