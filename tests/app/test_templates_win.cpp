// The resources as compiled: the English string table word for word, and the
// dialog templates 131 and 2000 read back from their binary form (styles,
// positions, sizes, fonts, texts) in the program's own module and in every
// language module, whose templates differ from the English ones in their
// texts only.
#include "app/res/resource.h"
#include "support/ui_probe.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cwctype>
#include <map>
#include <string>
#include <vector>

using namespace uitest;

namespace {

const wchar_t* const kLocales[] = {L"ja-JP", L"de-DE", L"fr-FR", L"zh-Hans", L"zh-Hant"};

struct Control {
    int id;
    std::wstring className;
    std::wstring text;
    int x, y, cx, cy;
    DWORD style;
    DWORD exStyle;
};

struct Template {
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    std::wstring menu, windowClass, title;
    int pointSize = 0;
    std::wstring face;
    std::vector<Control> controls;
};

// Reads DLGTEMPLATEEX and its items, bounded by the resource size.
class Reader {
public:
    Reader(const BYTE* data, size_t size) : data_(data), size_(size) {}
    bool ok() const { return ok_; }
    WORD word()
    {
        if (pos_ + 2 > size_) {
            ok_ = false;
            return 0;
        }
        WORD w = WORD(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return w;
    }
    DWORD dword()
    {
        DWORD lo = word();
        return lo | (DWORD(word()) << 16);
    }
    short number() { return static_cast<short>(word()); }
    std::wstring text()
    {
        std::wstring out;
        for (WORD c = word(); ok_ && c; c = word())
            out += wchar_t(c);
        return out;
    }
    // A name or an ordinal (written "#<number>").
    std::wstring nameOrOrdinal()
    {
        WORD first = word();
        if (first == 0xFFFF)
            return L"#" + std::to_wstring(word());
        if (first == 0)
            return std::wstring();
        return std::wstring(1, wchar_t(first)) + text();
    }
    void skip(size_t n)
    {
        if (pos_ + n > size_)
            ok_ = false;
        else
            pos_ += n;
    }
    void alignDword() { skip((4 - pos_ % 4) % 4); }

private:
    const BYTE* data_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

// The predefined classes by the names their ordinals stand for.
std::wstring className(const std::wstring& raw)
{
    static const std::map<std::wstring, std::wstring> ordinals = {
        {L"#128", L"button"}, {L"#129", L"edit"}, {L"#130", L"static"},
        {L"#131", L"listbox"}, {L"#132", L"scrollbar"}, {L"#133", L"combobox"},
    };
    auto it = ordinals.find(raw);
    if (it != ordinals.end())
        return it->second;
    std::wstring lower = raw;
    for (wchar_t& c : lower)
        c = wchar_t(std::towlower(c));
    return lower;
}

bool readTemplate(HMODULE module, int id, Template& t)
{
    HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));
    if (!info)
        return false;
    HGLOBAL handle = LoadResource(module, info);
    const BYTE* data = handle ? static_cast<const BYTE*>(LockResource(handle)) : nullptr;
    if (!data)
        return false;
    Reader r(data, SizeofResource(module, info));
    if (r.word() != 1 || r.word() != 0xFFFF)
        return false;   // not the extended form
    r.dword();          // help ID
    t.exStyle = r.dword();
    t.style = r.dword();
    int count = r.word();
    t.x = r.number();
    t.y = r.number();
    t.cx = r.number();
    t.cy = r.number();
    t.menu = r.nameOrOrdinal();
    t.windowClass = r.nameOrOrdinal();
    t.title = r.text();
    if (t.style & DS_SETFONT) {
        t.pointSize = r.word();
        r.word();   // weight
        r.word();   // italic, character set
        t.face = r.text();
    }
    for (int i = 0; i < count && r.ok(); ++i) {
        r.alignDword();
        Control c = {};
        r.dword();   // help ID
        c.exStyle = r.dword();
        c.style = r.dword();
        c.x = r.number();
        c.y = r.number();
        c.cx = r.number();
        c.cy = r.number();
        c.id = static_cast<int>(r.dword());
        c.className = className(r.nameOrOrdinal());
        c.text = r.nameOrOrdinal();
        r.skip(r.word());   // creation data
        t.controls.push_back(c);
    }
    return r.ok();
}

const DWORD kChild = WS_CHILD | WS_VISIBLE;

Template progressTemplate()
{
    Template t;
    t.style = DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION;
    t.cx = 268;
    t.cy = 41;
    t.title = L"Converting...";
    t.pointSize = 8;
    t.face = L"MS Shell Dlg";
    t.controls = {
        {IDC_PROGRESS_TEXT, L"static", L"Initializing Vellumjet...", 7, 10, 200, 8, kChild | WS_GROUP | SS_LEFT, 0},
        {IDCANCEL, L"button", L"Cancel", 211, 17, 50, 16, kChild | WS_TABSTOP | BS_PUSHBUTTON, 0},
        {IDC_PROGRESS_BAR, L"msctls_progress32", L"", 7, 22, 201, 7, kChild | PBS_SMOOTH | WS_BORDER, 0},
    };
    return t;
}

Template paramTemplate()
{
    Template t;
    // Fixed size: no sizing border, no minimise or maximise box; hidden until shown.
    t.style = DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    t.cx = 274;
    t.cy = 172;
    t.title = L"Vellumjet";
    t.pointSize = 8;
    t.face = L"MS Shell Dlg 2";
    t.controls = {
        {-1, L"static", L"&Output File:", 7, 10, 42, 8, kChild | SS_LEFT | WS_GROUP, 0},
        {IDC_OUTPUT_FILE, L"edit", L"", 51, 8, 164, 14, kChild | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 0},
        {IDC_BROWSE, L"button", L"&Browse...", 217, 8, 50, 14, kChild | BS_PUSHBUTTON | WS_TABSTOP, 0},
        {IDC_PREVIEW_FRAME, L"static", L"", 7, 32, 84, 79, kChild | SS_OWNERDRAW, 0},
        {IDC_PROPERTIES, L"syslistview32", L"", 96, 32, 171, 79,
         kChild | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_ALIGNLEFT, 0},
        {-1, L"static", L"&Profile:", 7, 119, 22, 8, kChild | SS_LEFT | WS_GROUP, 0},
        {IDC_PROFILE, L"combobox", L"", 36, 117, 179, 131, kChild | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0},
        {IDC_EDIT_PROFILE, L"button", L"&Edit...", 217, 116, 50, 14, kChild | BS_PUSHBUTTON | WS_TABSTOP, 0},
        {IDC_SAME_CONFIG, L"button", L"&Use same configuration for successive pages", 7, 137, 260, 10,
         kChild | BS_AUTOCHECKBOX | WS_TABSTOP, 0},
        {IDC_SKIP_PAGE, L"button", L"&Skip Page", 7, 152, 50, 16, kChild | BS_PUSHBUTTON, 0},
        {IDOK, L"button", L"OK", 165, 152, 50, 16, kChild | BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
        {IDCANCEL, L"button", L"Cancel", 217, 152, 50, 16, kChild | BS_PUSHBUTTON | WS_TABSTOP, 0},
    };
    return t;
}

std::string hex(DWORD v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08lX", static_cast<unsigned long>(v));
    return buf;
}

// Compares everything but the texts; the texts too when `texts` is set.
void expectTemplate(const Template& got, const Template& want, bool texts)
{
    EXPECT_EQ(hex(got.style), hex(want.style));
    EXPECT_EQ(hex(got.exStyle), hex(want.exStyle));
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.y, want.y);
    EXPECT_EQ(got.cx, want.cx);
    EXPECT_EQ(got.cy, want.cy);
    EXPECT_EQ(got.menu, L"");
    EXPECT_EQ(got.windowClass, L"");
    EXPECT_EQ(got.pointSize, want.pointSize);
    EXPECT_EQ(got.face, want.face);
    if (texts)
        EXPECT_EQ(got.title, want.title);
    else
        EXPECT_FALSE(got.title.empty());
    ASSERT_EQ(got.controls.size(), want.controls.size());
    for (size_t i = 0; i < want.controls.size(); ++i) {
        const Control& g = got.controls[i];
        const Control& w = want.controls[i];
        SCOPED_TRACE("control " + std::to_string(i) + " id " + std::to_string(w.id));
        EXPECT_EQ(g.id, w.id);
        EXPECT_EQ(g.className, w.className);
        EXPECT_EQ(hex(g.style), hex(w.style));
        EXPECT_EQ(hex(g.exStyle), hex(w.exStyle));
        EXPECT_EQ(g.x, w.x);
        EXPECT_EQ(g.y, w.y);
        EXPECT_EQ(g.cx, w.cx);
        EXPECT_EQ(g.cy, w.cy);
        if (texts)
            EXPECT_EQ(g.text, w.text);
        else
            EXPECT_EQ(g.text.empty(), w.text.empty()) << narrow(g.text);
    }
}

// The mnemonic of a control text ('&' followed by a character), 0 for none.
wchar_t mnemonic(const std::wstring& text)
{
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == L'&') {
            if (text[i + 1] != L'&')
                return wchar_t(std::towlower(text[i + 1]));
            ++i;
        }
    }
    return 0;
}

std::wstring stringOf(HMODULE module, UINT id)
{
    const wchar_t* text = nullptr;
    int n = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    return n > 0 && text ? std::wstring(text, n) : std::wstring();
}

struct DataModule {
    HMODULE module;
    explicit DataModule(const std::wstring& path)
        : module(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~DataModule() { if (module) FreeLibrary(module); }
};

} // namespace

TEST(Resources, EnglishStringTableWordForWord)
{
    const std::map<UINT, std::wstring> table = {
        {100, L"Vellumjet"},
        {101, L"Page %1!u!/%2!u!: %3"},
        {102, L"Processing page image..."},
        {103, L"Processing page text..."},
        {104, L"Compressing page text..."},
        {105, L"Finalizing DjVu encoding process..."},
        {107, L"The process is canceled."},
        {111, L"Converting to DjVu - %1"},
        {112, L"The file '%1' already exists, do you really want to overwrite the file?"},
        {113, L"Overwrite an Existing File"},
        {114, L"vjt%1!d!"},
        {115, L"Property"},
        {116, L"Value"},
        {117, L"Image Size"},
        {118, L"Resolution"},
        {119, L"%1!u! x %2!u!"},
        {120, L"%1!u! dpi"},
        {121, L"%1!d!"},
        {122, L"Page"},
        {10000, L"DjVu File (*.djvu;*.djv)|*.djvu;*.djv|MHTML \u30D5\u30A1\u30A4\u30EB (*.mht)|*.mht|"
                L"PDF File (*.pdf)|*.pdf|"},
        {10001, L"djvu"},
    };
    HMODULE own = GetModuleHandleW(nullptr);
    for (const auto& row : table) {
        SCOPED_TRACE(row.first);
        EXPECT_EQ(stringOf(own, row.first), row.second);
    }
    // No other string lies in the blocks the table uses (16 strings a block).
    for (UINT id : {96u, 106u, 108u, 109u, 110u, 123u, 127u, 9999u, 10002u}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(stringOf(own, id), L"");
    }
}

TEST(Resources, EnglishTemplatesAsDesigned)
{
    HMODULE own = GetModuleHandleW(nullptr);
    Template t;
    ASSERT_TRUE(readTemplate(own, IDD_PROGRESS, t));
    {
        SCOPED_TRACE("template 131");
        expectTemplate(t, progressTemplate(), true);
    }
    t = Template();
    ASSERT_TRUE(readTemplate(own, IDD_PARAM, t));
    {
        SCOPED_TRACE("template 2000");
        expectTemplate(t, paramTemplate(), true);
    }
}

TEST(Resources, TranslatedTemplatesDifferInTheirTextsOnly)
{
    for (const wchar_t* locale : kLocales) {
        SCOPED_TRACE(narrow(locale));
        DataModule m(programFolder() + L"\\" + locale + L"\\PrintvaneUI.exe.mui");
        ASSERT_NE(m.module, nullptr);
        for (int id : {IDD_PROGRESS, IDD_PARAM}) {
            SCOPED_TRACE(id);
            Template t;
            ASSERT_TRUE(readTemplate(m.module, id, t));
            expectTemplate(t, id == IDD_PROGRESS ? progressTemplate() : paramTemplate(), false);
        }
    }
}

TEST(Resources, EveryLabelAndButtonKeepsAMnemonicOfItsOwn)
{
    // A control whose English text has a mnemonic keeps one in every language,
    // and no two controls of a dialog share one: with a shared mnemonic the
    // key only moves the focus between them and presses no button. The one
    // exception: the profile label (22 dialog units wide) has no room for two
    // ideographs and "(&P)" in the CJK fonts, so there it has none.
    auto mayLackMnemonic = [](const std::wstring& locale, size_t index) {
        return index == 5 && (locale == L"ja-JP" || locale == L"zh-Hans" || locale == L"zh-Hant");
    };
    Template english;
    ASSERT_TRUE(readTemplate(GetModuleHandleW(nullptr), IDD_PARAM, english));
    for (const wchar_t* locale : kLocales) {
        SCOPED_TRACE(narrow(locale));
        DataModule m(programFolder() + L"\\" + locale + L"\\PrintvaneUI.exe.mui");
        ASSERT_NE(m.module, nullptr);
        Template t;
        ASSERT_TRUE(readTemplate(m.module, IDD_PARAM, t));
        ASSERT_EQ(t.controls.size(), english.controls.size());
        std::map<wchar_t, std::wstring> used;
        for (size_t i = 0; i < t.controls.size(); ++i) {
            const std::wstring& text = t.controls[i].text;
            SCOPED_TRACE(narrow(text));
            wchar_t key = mnemonic(text);
            if (!mayLackMnemonic(locale, i)) {
                EXPECT_EQ(key != 0, mnemonic(english.controls[i].text) != 0);
            }
            if (!key)
                continue;
            auto seen = used.emplace(key, text);
            EXPECT_TRUE(seen.second) << "shares its mnemonic with " << narrow(seen.first->second);
        }
    }
}
