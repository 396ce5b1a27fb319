// The language modules: attempts without a usable folder, that each shipped
// module carries the whole string table with its inserts intact, and that the
// translated dialog texts fit their controls and keep their mnemonics. The
// folders tried for a user language: LanguageSearch in app_core (the order)
// and in e2e (the attempts of the real program, seen by a debugger).
#include "app/language.h"
#include "app/res/resource.h"
#include "support/ui_probe.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <string>
#include <vector>

using namespace uitest;

namespace {

// The shipped module folders: each language in its neutral folder.
const wchar_t* const kLocales[] = {L"ja", L"de", L"fr", L"zh-Hans", L"zh-Hant"};

// The English string table, word for word.
const std::pair<UINT, const wchar_t*> kEnglish[] = {
    {IDS_APP_TITLE, L"Vellumjet"},
    {IDS_PAGE_LINE, L"Page %1!u!/%2!u!: %3"},
    {IDS_STATUS_IMAGE, L"Processing page image..."},
    {IDS_STATUS_TEXT, L"Processing page text..."},
    {IDS_STATUS_COMPRESS, L"Compressing page text..."},
    {IDS_STATUS_FINALIZE, L"Finalizing DjVu encoding process..."},
    {IDS_CANCELED, L"The process is canceled."},
    {IDS_PROGRESS_TITLE, L"Converting to DjVu - %1"},
    {IDS_OVERWRITE_QUESTION, L"The file '%1' already exists, do you really want to overwrite the file?"},
    {IDS_OVERWRITE_CAPTION, L"Overwrite an Existing File"},
    {IDS_DEFAULT_PROFILE, L"vjt%1!d!"},
    {IDS_COL_PROPERTY, L"Property"},
    {IDS_COL_VALUE, L"Value"},
    {IDS_ROW_IMAGE_SIZE, L"Image Size"},
    {IDS_ROW_RESOLUTION, L"Resolution"},
    {IDS_FMT_IMAGE_SIZE, L"%1!u! x %2!u!"},
    {IDS_FMT_RESOLUTION, L"%1!u! dpi"},
    {IDS_FMT_PAGE, L"%1!d!"},
    {IDS_ROW_PAGE, L"Page"},
    {IDS_EDITOR_MISSING, L"The profile editor %1 could not be started: %2"},
    {IDS_SETTINGS_NOT_SAVED, L"The settings could not be saved to %1: %2"},
    {IDS_NAME_CAPTION, L"Output File Name Not Possible"},
    {IDS_NAME_TOO_LONG, L"The output file name cannot be used: it has %1!u! characters, and a path can have at most "
                        L"259. Please choose a shorter name or a folder with a shorter path."},
    {IDS_NAME_CHARACTER, L"The output file name '%1' cannot be used: a file name cannot contain any of the characters "
                         L"< > : \" | ? * or control characters."},
    {IDS_NAME_DEVICE, L"The output file name '%1' cannot be used: Windows reserves the name '%2' for a device."},
    {IDS_NAME_FOLDER, L"The output file name '%1' cannot be used: it is an existing folder. Please add the name of a "
                      L"file in it."},
    {IDS_FILE_FILTER, L"DjVu File (*.djvu;*.djv)|*.djvu;*.djv|MHTML \u30D5\u30A1\u30A4\u30EB (*.mht)|*.mht|"
                      L"PDF File (*.pdf)|*.pdf|"},
    {IDS_DEFAULT_EXT, L"djvu"},
};

std::wstring shippedModule(const std::wstring& locale)
{
    return programFolder() + L"\\" + locale + L"\\PrintvaneUI.exe.mui";
}

// A module loaded as data for the length of a scope.
struct DataModule {
    HMODULE module;
    explicit DataModule(const std::wstring& path)
        : module(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~DataModule() { if (module) FreeLibrary(module); }
};

// Collects the attempts reported through the trace hook.
struct TraceLog {
    std::vector<std::wstring> lines;
    TraceLog() { setLanguageTraceHook(&TraceLog::add, this); }
    ~TraceLog() { setLanguageTraceHook(nullptr, nullptr); }
    static void add(const wchar_t* line, void* self) { static_cast<TraceLog*>(self)->lines.push_back(line); }
};

std::vector<std::wstring> insertsOf(const std::wstring& text)
{
    static const std::wregex insert(L"%[0-9]+(![a-z]+!)?");
    std::vector<std::wstring> out;
    for (std::wsregex_iterator it(text.begin(), text.end(), insert), end; it != end; ++it)
        out.push_back(it->str());
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::wstring> splitBars(const std::wstring& text)
{
    std::vector<std::wstring> out(1);
    for (wchar_t c : text) {
        if (c == L'|')
            out.emplace_back();
        else
            out.back() += c;
    }
    return out;
}

} // namespace

TEST(LanguageModules, AttemptsWithoutAUsableFolderFailQuietly)
{
    TraceLog log;
    // A bare file name has no folder to look in.
    EXPECT_EQ(tryLanguageModule(0x0409, L"app.exe"), nullptr);
    EXPECT_EQ(tryLanguageModule(0x0409, L""), nullptr);
    EXPECT_EQ(tryLanguageModule(0x0409, L"C:\\folder\\"), nullptr);
    EXPECT_TRUE(log.lines.empty());
    // A path far beyond the classic 260 characters is reported whole, not cut.
    std::wstring deep = buildFolder() + L"\\" + std::wstring(300, L'x') + L"\\app.exe";
    EXPECT_EQ(tryLanguageModule(0x0411, deep), nullptr);
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0], L"FAILED: Trying to load: " + buildFolder() + L"\\" + std::wstring(300, L'x') +
                                L"\\ja-JP\\app.exe.mui\n");
}

TEST(LanguageModules, CarryWholeStringTableWithInsertsIntact)
{
    HMODULE own = GetModuleHandleW(nullptr);
    for (const auto& [id, english] : kEnglish)
        EXPECT_EQ(resourceString(own, id), english) << id;
    for (const wchar_t* locale : kLocales) {
        SCOPED_TRACE(narrow(locale));
        DataModule m(shippedModule(locale));
        ASSERT_NE(m.module, nullptr) << "missing " << narrow(shippedModule(locale));
        for (const auto& [id, english] : kEnglish) {
            SCOPED_TRACE(id);
            std::wstring translated = resourceString(m.module, id);
            EXPECT_FALSE(translated.empty());
            EXPECT_EQ(insertsOf(translated), insertsOf(english)) << narrow(translated);
        }
        // The file filter keeps its structure: the same patterns in the same
        // places, display names in between, and the closing bar.
        std::vector<std::wstring> english = splitBars(resourceString(own, IDS_FILE_FILTER));
        std::vector<std::wstring> translated = splitBars(resourceString(m.module, IDS_FILE_FILTER));
        ASSERT_EQ(translated.size(), english.size());
        for (size_t i = 0; i < english.size(); ++i) {
            if (i % 2 == 1 || i + 1 == english.size())
                EXPECT_EQ(translated[i], english[i]) << i;
            else
                EXPECT_FALSE(translated[i].empty()) << i;
        }
        EXPECT_EQ(resourceString(m.module, IDS_DEFAULT_EXT), L"djvu");
        EXPECT_NE(resourceString(m.module, IDS_CANCELED), resourceString(own, IDS_CANCELED));
    }
}

namespace {

INT_PTR CALLBACK quietDialog(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// The templates hold list views and progress bars.
const bool kCommonControls = [] {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    return InitCommonControlsEx(&icc) != FALSE;
}();

// Texts of the dialog's own controls, in template order.
std::vector<std::wstring> controlTexts(HMODULE module, int dialog)
{
    std::vector<std::wstring> texts;
    HWND dlg = CreateDialogParamW(module, MAKEINTRESOURCEW(dialog), nullptr, quietDialog, 0);
    for (HWND c = dlg ? GetWindow(dlg, GW_CHILD) : nullptr; c; c = GetWindow(c, GW_HWNDNEXT))
        texts.push_back(windowText(c));
    if (dlg)
        DestroyWindow(dlg);
    return texts;
}

} // namespace

TEST(LanguageModules, TranslatedDialogTextsFitTheirControls)
{
    // Run once per user locale (see CMakeLists.txt): CJK texts are measured
    // with the fonts a CJK user's dialogs get.
    LANGID user = GetUserDefaultLangID();
    for (const wchar_t* locale : kLocales) {
        SCOPED_TRACE(narrow(locale));
        DataModule m(shippedModule(locale));
        ASSERT_NE(m.module, nullptr);
        for (int dialog : {IDD_PROGRESS, IDD_PARAM}) {
            SCOPED_TRACE(dialog);
            HWND dlg = CreateDialogParamW(m.module, MAKEINTRESOURCEW(dialog), nullptr, quietDialog, 0);
            ASSERT_NE(dlg, nullptr);
            for (const ControlInfo& c : listControls(dlg)) {
                const std::wstring fault = textFault(c);
                EXPECT_TRUE(fault.empty()) << narrow(fault);
            }
            if (dialog == IDD_PROGRESS) {
                // The progress line is built at run time: the widest page
                // numbers with each status text must fit as well.
                HWND line = GetDlgItem(dlg, IDC_PROGRESS_TEXT);
                RECT room = {};
                ASSERT_TRUE(line && GetClientRect(line, &room));
                std::wstring pattern = resourceString(m.module, IDS_PAGE_LINE);
                for (UINT status : {IDS_STATUS_IMAGE, IDS_STATUS_TEXT, IDS_STATUS_COMPRESS, IDS_STATUS_FINALIZE}) {
                    std::wstring statusText = resourceString(m.module, status);
                    DWORD_PTR args[] = {999, 999, reinterpret_cast<DWORD_PTR>(statusText.c_str())};
                    wchar_t* text = nullptr;
                    FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                       FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                   pattern.c_str(), 0, 0, reinterpret_cast<LPWSTR>(&text), 0,
                                   reinterpret_cast<va_list*>(args));
                    ASSERT_NE(text, nullptr);
                    std::wstring formatted = text;
                    LocalFree(text);
                    EXPECT_LE(textWidth(line, formatted), room.right) << narrow(formatted) << " does not fit";
                }
            }
            // The copies of this program that test_dpi_layout_win.cpp starts
            // at other resolutions run this check too, without pictures.
            if (!GetEnvironmentVariableW(L"PV_EXPECTED_DPI", nullptr, 0)) {
                ShowWindow(dlg, SW_SHOWNOACTIVATE);
                wchar_t lang[16];
                wsprintfW(lang, L"%04x", user);
                saveScreenshot(dlg, L"template_" + std::to_wstring(dialog) + L"_" + locale + L"_user" + lang);
            }
            DestroyWindow(dlg);
        }
    }
}

TEST(LanguageModules, EveryLabelAndButtonKeepsAMnemonicOfItsOwn)
{
    // A control whose English text has a mnemonic keeps one in every language,
    // and no two controls of a dialog share one: with a shared mnemonic the
    // key only moves the focus between them and presses no button.
    const std::vector<std::wstring> english = controlTexts(GetModuleHandleW(nullptr), IDD_PARAM);
    ASSERT_EQ(english.size(), 12u);
    for (const wchar_t* locale : kLocales) {
        SCOPED_TRACE(narrow(locale));
        DataModule m(shippedModule(locale));
        ASSERT_NE(m.module, nullptr);
        const std::vector<std::wstring> texts = controlTexts(m.module, IDD_PARAM);
        ASSERT_EQ(texts.size(), english.size());
        std::map<wchar_t, std::wstring> used;
        for (size_t i = 0; i < texts.size(); ++i) {
            SCOPED_TRACE(narrow(texts[i]));
            const wchar_t key = mnemonicOf(texts[i]);
            EXPECT_EQ(key != 0, mnemonicOf(english[i]) != 0);
            if (!key)
                continue;
            auto seen = used.emplace(key, texts[i]);
            EXPECT_TRUE(seen.second) << "shares its mnemonic with " << narrow(seen.first->second);
        }
    }
}
