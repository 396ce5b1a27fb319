// Every window of the program in English and in every shipped language
// module, under the user locale of the run (the CJK locale runs: their fonts
// are wider), at the resolution the process runs at and after the display
// changes to the others: the properties list's columns fit their texts
// without a sideways scroll bar, no control is cut or overlaps another, the
// progress line with each status text included, and every action and field
// of the program's windows has a keyboard letter of its own (the preview's
// outline at each resolution: PreviewFit.FitsCentresAndOutlines). A
// screenshot of each window lands in <build>/screenshots as
// dpi<N>_<language>_<window> (the Chinese and Japanese ones from the CJK
// locale runs only).
#include "app/core/dpi_layout.h"
#include "app/dialog_dpi.h"
#include "app/messages.h"
#include "app/param_dialog.h"
#include "app/pipe_reader.h"
#include "app/progress_dialog.h"
#include "app/resources.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
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

// Layout faults and faults of the keyboard letters of the program's own
// windows (message boxes are the system's to lay out). The texts have room
// for 15 % more width: Windows draws the dialog font with another face than
// Wine.
void expectNoLayoutFaults(HWND window, const char* what)
{
    std::vector<std::wstring> faults = uitest::layoutFaults(window, 15), letters = uitest::mnemonicFaults(window);
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
        keepPicture(dlg, shot, L"_param");

        uitest::pressButton(dlg, IDOK);
        HWND box = uitest::ownedDialog(dlg);
        ASSERT_NE(box, nullptr) << "no overwrite question";
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

// The two message boxes of the message modes, each with its icon (the
// system's shared one, the same handle in this process).
void runMessageBoxes(const std::wstring& shot)
{
    struct Box {
        const wchar_t* name;
        const wchar_t* icon;
        void (*show)();
    } const boxes[] = {
        {L"_errmsg", IDI_ERROR, [] { showErrorMessage(GetModuleHandleW(nullptr), L"conversion stopped", 24); }},
        {L"_msg", IDI_INFORMATION, [] { showPlainMessage(GetModuleHandleW(nullptr),
                                        L"3 pages were written to C:\\Users\\Public\\Documents\\report.djvu."); }},
    };
    for (const Box& b : boxes) {
        SCOPED_TRACE(uitest::narrow(b.name));
        uitest::runToEnd([&] { b.show(); return INT_PTR(0); }, [&](HWND box) {
            EXPECT_EQ(uitest::shownIcon(box), LoadIconW(nullptr, b.icon));
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

// Runs `prepare` on the page dialog and on the progress window in turn.
void forEachWindow(const std::function<void(HWND)>& prepare)
{
    PrinterSettings settings;
    testkit::ScratchFolder tmp("layout");
    CParamDialog page(settings, tmp.wide(L"page.img"), -1, -1, -1, 1);
    uitest::runToEnd([&] { return page.DoModal(nullptr); }, [&](HWND dlg) {
        prepare(dlg);
        uitest::pressButton(dlg, IDCANCEL);
    });
    uitest::PipeServer server;
    CProgressDialog progress(Solvaris_Win32::UniqueHandle(server.openClient()));
    uitest::runToEnd([&] { return progress.DoModal(nullptr); }, [&](HWND dlg) {
        prepare(dlg);
        server.close();
    });
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
    forEachWindow([&](HWND dlg) {
        expected.push_back("dialog 1 1");
        for (HWND w = GetWindow(dlg, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT))
            expected.push_back("control 3 3");
    });
    functions = system;
    EXPECT_EQ(rescalingCalls(), expected);
}

// A window told by WM_DPICHANGED that its monitor now has another
// resolution lays itself out again there: it moves to the corner of the
// suggested rectangle, its controls' font grows with the resolution and
// nothing is cut or overlaps; told to go back, every control's place, size
// and font and the list's columns are again those the window was made with.
TEST(DpiLayout, ResolutionChangeLaysOutAgain)
{
    const int own = uitest::screenDpi();
    const auto fontHeight = [](HWND dlg) {
        LOGFONTW font = {};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(GetWindow(dlg, GW_CHILD), WM_GETFONT, 0, 0)), sizeof font, &font);
        return std::abs(int(font.lfHeight));
    };
    for (int dpi : kResolutions) {
        if (dpi == own)
            continue;
        SCOPED_TRACE(std::to_string(dpi) + " dpi");
        forEachWindow([&](HWND dlg) {
            const std::string made = layoutOf(dlg);
            const int madeFont = fontHeight(dlg);
            RECT suggested = {};
            GetWindowRect(dlg, &suggested);
            OffsetRect(&suggested, 40, 30);
            SendMessageW(dlg, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
            RECT now = {};
            GetWindowRect(dlg, &now);
            EXPECT_EQ(now.left, suggested.left);
            EXPECT_EQ(now.top, suggested.top);
            EXPECT_NEAR(fontHeight(dlg), madeFont * dpi / own, 1);
            expectNoLayoutFaults(dlg, "after the change");
            if (GetDlgItem(dlg, IDC_PROPERTIES))
                keepPicture(dlg, L"dpichange" + std::to_wstring(dpi) + L"_en-US", L"_param");
            SendMessageW(dlg, WM_DPICHANGED, MAKEWPARAM(own, own), reinterpret_cast<LPARAM>(&now));
            EXPECT_EQ(layoutOf(dlg), made) << "back at " << own << " dpi";
        });
    }
}

// Every window at the resolution this process runs at.
TEST(DpiLayout, WindowsAtThisResolution)
{
    const int dpi = uitest::screenDpi();
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
