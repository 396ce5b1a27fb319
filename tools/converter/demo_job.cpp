// converter demo: a small print job as the printer driver runs one. It renders
// three pages of its own (portrait, landscape, portrait), asks about them with
// -param, follows the answer (1877 keeps it for the following pages, 1878
// skips the page, 2 cancels the job), shows the progress window through a
// named pipe while it "encodes", and ends with a -msg summary naming the
// output file. No DjVu file is written: this is a stand-in.
//
//   converter demo [--auto] [--answers a,b,...] [--out PATH] [--settings NAME]
//                  [--shots DIR] [--dpi N] [--report FILE] [--installed]
//
// --auto answers every window itself (for tests and machines without a
// user): the answers are taken in order, one per configuration dialog, from
// ok | same | skip | cancel (default: same). Screenshots of every window go
// to --shots (default: <build>\screenshots) as demo-*.bmp. --report writes
// one line per -param run ("page N: CODE", the full 32-bit exit code) and a
// last line with the outcome, for tests. --installed leaves the machine's
// profiles as they are installed (no demo repository, no editor run): on
// page 1 the answers list the profile box ("page 1 profiles: A|B|...") and
// picture it opened (demo-profiles.bmp); the report also says whether the
// progress window showed and what its title and exit code were.
#include "tools/converter/launch.h"

#include "app/core/page_image.h"
#include "app/core/pipe_protocol.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

namespace {

// ---- pages ---------------------------------------------------------------

struct Page {
    uint32_t width, height;
    std::vector<uint8_t> bgr;  // packed rows
};

void fillRect(Page& p, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b)
{
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min<int>(x1, int(p.width));
    y1 = std::min<int>(y1, int(p.height));
    for (int y = y0; y < y1; ++y) {
        uint8_t* row = &p.bgr[size_t(y) * p.width * 3];
        for (int x = x0; x < x1; ++x) {
            row[x * 3] = b;
            row[x * 3 + 1] = g;
            row[x * 3 + 2] = r;
        }
    }
}

// A page that reads as a document at a glance: a heading, paragraphs of
// "words", a colour picture (sky, sun, hills) and a footer line.
Page renderPage(uint32_t width, uint32_t height, int number)
{
    Page p{width, height, std::vector<uint8_t>(size_t(width) * height * 3, 0xFF)};
    const int m = int(width) / 12;                    // margin
    const int unit = std::max<int>(2, int(width) / 200);
    int y = m;
    fillRect(p, m, y, int(width) * 2 / 3, y + unit * 6, 0x20, 0x30, 0x60);  // heading
    y += unit * 12;

    const int pictureW = int(width) / 2 - m;
    const int pictureH = int(height) / 4;
    const int pictureX = int(width) - m - pictureW;
    const int pictureY = y;
    uint32_t seed = 12345u + uint32_t(number) * 777u;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    while (y < int(height) - m * 2) {
        // One paragraph of lines; lines beside the picture are shorter.
        for (int line = 0; line < 6 && y < int(height) - m * 2; ++line) {
            int right = (y >= pictureY - unit && y < pictureY + pictureH + unit) ? pictureX - unit * 4
                                                                                   : int(width) - m;
            if (line == 5)
                right = m + (right - m) / 2;
            int x = m;
            while (x < right) {
                int word = unit * (3 + int(next() % 9));
                fillRect(p, x, y, std::min(x + word, right), y + unit * 2, 0x28, 0x28, 0x28);
                x += word + unit * 2;
            }
            y += unit * 4;
        }
        y += unit * 4;
    }
    // The picture: a sky gradient, a sun and two hills.
    for (int py = 0; py < pictureH; ++py) {
        for (int px = 0; px < pictureW; ++px) {
            uint8_t r = uint8_t(90 + 100 * py / pictureH), g = uint8_t(150 + 80 * py / pictureH), b = 240;
            int dx = px - pictureW * 3 / 4, dy = py - pictureH / 3;
            if (dx * dx + dy * dy < (pictureH / 6) * (pictureH / 6)) {
                r = 250;
                g = 200;
                b = 40;
            }
            int hill1 = pictureH * 2 / 3 + (px - pictureW / 3) * (px - pictureW / 3) / std::max(1, pictureW * 2);
            int hill2 = pictureH * 3 / 4 + (px - pictureW) * (px - pictureW) / std::max(1, pictureW * 3);
            if (py > hill1 || py > hill2) {
                r = 40;
                g = uint8_t(120 + 60 * px / pictureW);
                b = 50;
            }
            fillRect(p, pictureX + px, pictureY + py, pictureX + px + 1, pictureY + py + 1, r, g, b);
        }
    }
    fillRect(p, pictureX - 1, pictureY - 1, pictureX + pictureW + 1, pictureY, 0, 0, 0);
    // Footer: a rule and the page number as a row of blocks.
    fillRect(p, m, int(height) - m, int(width) - m, int(height) - m + unit / 2 + 1, 0x80, 0x80, 0x80);
    for (int i = 0; i < number; ++i)
        fillRect(p, int(width) / 2 + i * unit * 4, int(height) - m + unit * 2, int(width) / 2 + i * unit * 4 + unit * 3,
                 int(height) - m + unit * 5, 0xC0, 0x20, 0x20);
    return p;
}

bool writeFile(const std::wstring& path, const std::vector<uint8_t>& bytes)
{
    return writeWholeFile(path, bytes.data(), bytes.size());
}

// ---- windows --------------------------------------------------------------

// Brings the window to the top and lets it finish painting before its
// picture is taken.
bool saveShot(HWND window, const std::wstring& path)
{
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    for (int i = 0; i < 5; ++i) {
        DWORD_PTR ignored;
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 500, &ignored);
        Sleep(30);
    }
    return saveWindowPicture(window, path);
}

// ---- settings file (the converter's side of it) ---------------------------

std::wstring iniPath(const std::wstring& settingsName)
{
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, folder)))
        return L"C:\\" + settingsName + L".ini";
    std::wstring path = folder;
    path += L"\\Marovent";
    CreateDirectoryW(path.c_str(), nullptr);
    path += L"\\Vellumjet";
    CreateDirectoryW(path.c_str(), nullptr);
    return path + L"\\" + settingsName + L".ini";
}

std::wstring iniString(const std::wstring& ini, const wchar_t* key)
{
    wchar_t value[260] = {};
    GetPrivateProfileStringW(L"VJT", key, L"", value, 260, ini.c_str());
    return value;
}

// ---- the progress pipe ----------------------------------------------------

class ProgressPipe {
public:
    bool open(DWORD limitMs)
    {
        name_ = L"\\\\.\\pipe\\printvane-demo-" + std::to_wstring(GetCurrentProcessId());
        pipe_ = CreateNamedPipeW(name_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                 PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
        if (pipe_ == INVALID_HANDLE_VALUE)
            return false;
        event_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        child_ = startPrintvane({L"-pipe", name_});
        if (!child_.process)
            return false;
        return connectWithLimit(pipe_, event_, child_.process, limitMs);
    }

    // One record; false once the window has gone.
    bool send(const std::vector<uint8_t>& record)
    {
        return writeWithLimit(pipe_, event_, record.data(), DWORD(record.size()), 10000);
    }

    const Child& child() const { return child_; }

    // Closing our end ends the progress window.
    DWORD close()
    {
        if (pipe_ != INVALID_HANDLE_VALUE) {
            FlushFileBuffers(pipe_);
            DisconnectNamedPipe(pipe_);
            CloseHandle(pipe_);
            pipe_ = INVALID_HANDLE_VALUE;
        }
        if (event_) {
            CloseHandle(event_);
            event_ = nullptr;
        }
        return finish(child_, 30000);
    }

    ~ProgressPipe() { close(); }

private:
    std::wstring name_;
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    HANDLE event_ = nullptr;
    Child child_;
};

// ---- the job --------------------------------------------------------------

struct Options {
    bool automatic = false;
    std::vector<std::wstring> answers;
    std::wstring out;
    std::wstring settings = L"PrintvaneDemo";
    std::wstring shots;
    std::wstring report;
    int dpi = 100;
    bool installed = false;
};

// What the answering thread saw of page 1's dialog.
struct Seen {
    std::wstring profile;                // after the editor ran
    std::vector<std::wstring> profiles;  // the profile box's entries
};

class Report {
public:
    explicit Report(const std::wstring& path) : path_(path) {}
    void line(const std::string& text)
    {
        text_ += text + "\r\n";
        if (!path_.empty())
            writeFile(path_, std::vector<uint8_t>(text_.begin(), text_.end()));
    }

private:
    std::wstring path_;
    std::string text_;
};

std::string numbers(const std::vector<int>& list)
{
    std::string out;
    for (int n : list)
        out += (out.empty() ? "" : ",") + std::to_string(n);
    return out;
}

bool parseOptions(const Args& args, Options& o)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == L"--auto") {
            o.automatic = true;
        } else if (a == L"--answers" && hasValue) {
            std::wstring list = args[++i];
            size_t start = 0;
            while (start <= list.size()) {
                size_t comma = list.find(L',', start);
                if (comma == std::wstring::npos)
                    comma = list.size();
                o.answers.push_back(list.substr(start, comma - start));
                start = comma + 1;
            }
        } else if (a == L"--out" && hasValue) {
            o.out = args[++i];
        } else if (a == L"--settings" && hasValue) {
            o.settings = args[++i];
        } else if (a == L"--shots" && hasValue) {
            o.shots = args[++i];
        } else if (a == L"--report" && hasValue) {
            o.report = args[++i];
        } else if (a == L"--installed") {
            o.installed = true;
        } else if (a == L"--dpi" && hasValue) {
            o.dpi = std::max(10, std::min(600, _wtoi(args[++i].c_str())));
        } else {
            std::fwprintf(stderr, L"demo: unknown option %ls\n", a.c_str());
            return false;
        }
    }
    for (const std::wstring& a : o.answers) {
        if (a != L"ok" && a != L"same" && a != L"skip" && a != L"cancel") {
            std::fwprintf(stderr, L"demo: unknown answer %ls (ok, same, skip, cancel)\n", a.c_str());
            return false;
        }
    }
    if (o.shots.empty())
        o.shots = programFolder() + L"..\\screenshots";
    return true;
}

std::string narrowText(const std::wstring& w)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), int(w.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, w.c_str(), int(w.size()), &out[0], n, nullptr, nullptr);
    return out;
}

// The profile editor's window while it runs: a visible dialog window of
// another process than the configuration dialog's and ours.
struct EditorSearch {
    DWORD dialogPid;
    HWND found;
};

BOOL CALLBACK matchEditorWindow(HWND w, LPARAM param)
{
    EditorSearch* s = reinterpret_cast<EditorSearch*>(param);
    wchar_t cls[16] = {};
    GetClassNameW(w, cls, 16);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (IsWindowVisible(w) && wcscmp(cls, L"#32770") == 0 && pid != s->dialogPid && pid != GetCurrentProcessId()) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

HWND findEditorWindow(DWORD dialogPid)
{
    EditorSearch search = {dialogPid, nullptr};
    EnumWindows(matchEditorWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Presses Edit in the configuration dialog and lets the profile editor run
// its script (TESSFORGE7_SCRIPT, set by commandDemo): it copies a profile,
// changes it, saves, and the dialog selects the copy. Returns the profile the
// dialog shows afterwards.
std::wstring runProfileEditor(const Child& c, const Options& o, HWND dlg)
{
    PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(2004, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dlg, 2004)));
    HWND editor = nullptr;
    for (int i = 0; i < 300 && !(editor = findEditorWindow(GetProcessId(c.process))); ++i)
        Sleep(50);
    if (!editor)
        return L"<no editor>";
    Sleep(700);   // the script's edits show
    saveShot(editor, o.shots + L"\\demo-editor.bmp");
    for (int i = 0; i < 600 && (IsWindow(editor) || !IsWindowEnabled(GetDlgItem(dlg, IDOK))); ++i)
        Sleep(50);
    wchar_t name[260] = {};
    SendMessageTimeoutW(GetDlgItem(dlg, 2003), WM_GETTEXT, 260, reinterpret_cast<LPARAM>(name), SMTO_ABORTIFHUNG,
                        5000, nullptr);
    return name;
}

// The opened list of a combo box of the dialog's process: a visible
// top-level window of the class "ComboLBox".
struct ListSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK matchDropDownList(HWND w, LPARAM param)
{
    ListSearch* s = reinterpret_cast<ListSearch*>(param);
    wchar_t cls[16] = {};
    GetClassNameW(w, cls, 16);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == s->pid && IsWindowVisible(w) && wcscmp(cls, L"ComboLBox") == 0) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

HWND dropDownList(HWND dlg)
{
    ListSearch search = {0, nullptr};
    GetWindowThreadProcessId(dlg, &search.pid);
    EnumWindows(matchDropDownList, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The profile box's entries (the box marshals its texts between processes),
// and a picture of the dialog with the box opened.
std::vector<std::wstring> listProfiles(const Options& o, HWND dlg)
{
    HWND box = GetDlgItem(dlg, 2003);
    std::vector<std::wstring> names;
    DWORD_PTR count = 0;
    SendMessageTimeoutW(box, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count);
    for (DWORD_PTR i = 0; i < count && i < 1000; ++i) {
        DWORD_PTR length = 0;
        SendMessageTimeoutW(box, CB_GETLBTEXTLEN, i, 0, SMTO_ABORTIFHUNG, 5000, &length);
        if (length == DWORD_PTR(CB_ERR) || length > 4096)
            continue;
        std::wstring name(length + 1, L'\0');
        SendMessageTimeoutW(box, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&name[0]), SMTO_ABORTIFHUNG, 5000, nullptr);
        name.resize(wcsnlen(name.c_str(), length));
        names.push_back(name);
    }
    // Opening and closing the list may select the entry under the pointer:
    // the selection is put back afterwards.
    DWORD_PTR selected = 0;
    SendMessageTimeoutW(box, CB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, 5000, &selected);
    SendMessageTimeoutW(box, CB_SHOWDROPDOWN, TRUE, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    Sleep(300);
    // The opened list highlights the entry under the pointer: show the
    // selection instead, as a user who just opened the box sees it.
    HWND list = dropDownList(dlg);
    if (list && selected != DWORD_PTR(CB_ERR))
        SendMessageTimeoutW(list, LB_SETCURSEL, selected, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    Sleep(100);
    // The opened list reaches below the dialog: picture both.
    RECT listRect = {}, frame = {};
    SendMessageTimeoutW(box, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&listRect), SMTO_ABORTIFHUNG,
                        5000, nullptr);
    GetWindowRect(dlg, &frame);
    UnionRect(&frame, &frame, &listRect);
    saveScreenPicture(frame, o.shots + L"\\demo-profiles.bmp");
    SendMessageTimeoutW(box, CB_SHOWDROPDOWN, FALSE, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    SendMessageTimeoutW(box, CB_SETCURSEL, selected, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    return names;
}

// Answers one configuration dialog the way a user would: output file typed
// on page 1, the check box set for "same", then the button pressed. An
// overwrite question that follows is answered with Yes.
void answerDialog(const Child& c, const Options& o, const std::wstring& answer, int page, Seen& seen)
{
    HWND dlg = waitForDialog(c, 20000);
    if (!dlg)
        return;
    Sleep(700);  // past the attention flash, for a calm screenshot
    if (page == 1 && o.installed)
        seen.profiles = listProfiles(o, dlg);
    else if (page == 1)
        seen.profile = runProfileEditor(c, o, dlg);
    if (page == 1 && !o.out.empty())
        SendMessageTimeoutW(GetDlgItem(dlg, 2001), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(o.out.c_str()),
                            SMTO_ABORTIFHUNG, 5000, nullptr);
    SendMessageTimeoutW(GetDlgItem(dlg, 1008), BM_SETCHECK, answer == L"same" ? BST_CHECKED : BST_UNCHECKED, 0,
                        SMTO_ABORTIFHUNG, 5000, nullptr);
    saveShot(dlg, o.shots + L"\\demo-param-page" + std::to_wstring(page) + L".bmp");
    const int id = answer == L"skip" ? 3 : answer == L"cancel" ? 2 : 1;
    PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    if (id == 1) {
        HWND question = waitForDialog(c, 1500, dlg);
        if (question) {
            saveShot(question, o.shots + L"\\demo-overwrite.bmp");
            PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
        }
    }
}

DWORD askAboutPage(const Options& o, const std::wstring& imagePath, const Page& p, int number, size_t& answerIndex,
                   Seen& seen)
{
    Child c = startPrintvane({L"-param", o.settings, imagePath, L"0", std::to_wstring(o.dpi),
                              std::to_wstring(p.width), std::to_wstring(p.height), std::to_wstring(number)});
    if (!c.process)
        return DWORD(-1);
    std::thread driver;
    if (o.automatic) {
        std::wstring answer = answerIndex < o.answers.size() ? o.answers[answerIndex] : L"same";
        ++answerIndex;
        driver = std::thread([&c, &o, answer, number, &seen] { answerDialog(c, o, answer, number, seen); });
    }
    // The answering thread watches the process handle: it is closed only
    // after that thread has ended.
    DWORD code = 0;
    waitForExit(c.process, o.automatic ? 60000 : INFINITE, code);
    if (driver.joinable())
        driver.join();
    CloseHandle(c.process);
    return code;
}

void showMessage(const Options& o, const std::wstring& text)
{
    Child c = startPrintvane({L"-msg", text});
    if (o.automatic && c.process) {
        HWND box = waitForDialog(c, 20000);
        if (box) {
            saveShot(box, o.shots + L"\\demo-summary.bmp");
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
    }
    finish(c, o.automatic ? 30000 : INFINITE);
}

} // namespace

int commandDemo(const Args& args)
{
    Options o;
    if (!parseOptions(args, o))
        return 2;
    if (o.automatic)
        CreateDirectoryW(o.shots.c_str(), nullptr);

    // Pages at the chosen resolution: A4 portrait, A4 landscape, A4 portrait.
    const uint32_t a4w = uint32_t(8.27 * o.dpi), a4h = uint32_t(11.69 * o.dpi);
    std::vector<Page> pages = {renderPage(a4w, a4h, 1), renderPage(a4h, a4w, 2), renderPage(a4w, a4h, 3)};

    wchar_t tmp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, tmp);
    if (o.automatic && !o.installed) {
        // The profiles of the demo: a repository of its own, written afresh,
        // and the editor's script for page 1 (children inherit both).
        const std::wstring folder = std::wstring(tmp) + L"printvane-demo-profiles";
        CreateDirectoryW(folder.c_str(), nullptr);
        const std::string repository = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<repository "
                              "xmlns=\"http://schemas.printvane.org/djvu/1.0/profile/\"><profile name=\"vjt") +
                      std::to_string(o.dpi) + "\" encode-mode=\"3-layer\"/><profile name=\"Fine\"/></repository>\n";
        writeFile(folder + L"\\db0.dprepo", std::vector<uint8_t>(repository.begin(), repository.end()));
        SetEnvironmentVariableW(L"SVRDBDIR", folder.c_str());
        SetEnvironmentVariableW(L"TESSFORGE7_SCRIPT",
                                L"new:Demo copy;bg:60;fg:85;description:Made by the demo job;apply;pause:1500;ok");
    }
    const std::wstring ini = iniPath(o.settings);
    WritePrivateProfileStringW(L"VJT", L"PrevJobName", L"Printvane demo", ini.c_str());
    if (!o.out.empty())
        WritePrivateProfileStringW(L"VJT", L"OutputFilename", o.out.c_str(), ini.c_str());

    Report report(o.report);
    std::vector<int> encoded, skipped;
    bool reuse = false;
    size_t answerIndex = 0;
    for (size_t i = 0; i < pages.size(); ++i) {
        const int number = int(i) + 1;
        if (reuse) {
            encoded.push_back(number);
            continue;
        }
        // The image file: rows padded to a multiple of 4 bytes plus 4 more,
        // as a converter with its own row alignment writes them.
        const Page& p = pages[i];
        const uint32_t stride = ((p.width * 3 + 3) & ~3u) + 4;
        const std::wstring image = std::wstring(tmp) + L"printvane-demo-page" + std::to_wstring(number) + L".img";
        if (!writeFile(image, encodePageImage(p.width, p.height, stride, p.bgr.data(), 0x18))) {
            std::printf("demo: cannot write the page image\n");
            return 1;
        }
        Seen seen;
        const DWORD code = askAboutPage(o, image, p, number, answerIndex, seen);
        DeleteFileW(image.c_str());
        if (!seen.profile.empty()) {
            std::printf("demo: page %d: the profile editor ran; the dialog selected %ls\n", number,
                        seen.profile.c_str());
            report.line("page " + std::to_string(number) + " profile: " + narrowText(seen.profile));
        }
        if (!seen.profiles.empty()) {
            std::string list;
            for (const std::wstring& name : seen.profiles)
                list += (list.empty() ? "" : "|") + narrowText(name);
            std::printf("demo: page %d: profiles %s\n", number, list.c_str());
            report.line("page " + std::to_string(number) + " profiles: " + list);
        }
        std::printf("demo: page %d: -param exit code %lu\n", number, static_cast<unsigned long>(code));
        report.line("page " + std::to_string(number) + ": " + std::to_string(static_cast<unsigned long>(code)));
        if (code == 1877) {
            reuse = true;
            encoded.push_back(number);
        } else if (code == 1) {
            encoded.push_back(number);
        } else if (code == 1878) {
            skipped.push_back(number);
        } else if (code == 2) {
            showMessage(o, L"The print job was cancelled. Nothing was written.");
            std::printf("demo: cancelled\n");
            report.line("job cancelled; converted " + numbers(encoded) + "; skipped " + numbers(skipped));
            return 0;
        } else {
            std::printf("demo: PrintvaneUI.exe failed (exit code 0x%08lx)\n", static_cast<unsigned long>(code));
            report.line("job failed");
            return 1;
        }
    }

    const std::wstring output = iniString(ini, L"OutputFileName");
    const std::wstring profile = iniString(ini, L"Profile");
    bool cancelled = false;
    if (!encoded.empty()) {
        ProgressPipe pipe;
        if (!pipe.open(20000)) {
            std::printf("demo: the progress window did not connect\n");
        } else {
            const std::wstring doc = output.substr(output.find_last_of(L"\\/") + 1);
            const std::wstring docName = doc.empty() ? L"demo" : doc;
            cancelled = !pipe.send(encodePipeText(PM_DOC_NAME, std::u16string(docName.begin(), docName.end()))) ||
                        !pipe.send(encodePageCount(uint32_t(encoded.size())));
            const DWORD step = o.automatic ? 150 : 400;
            for (size_t k = 0; k < encoded.size() && !cancelled; ++k) {
                for (uint32_t kind : {PM_PAGE_BEGIN, PM_IMAGE, PM_TEXT, PM_TEXT_COMPRESS}) {
                    if (!pipe.send(encodePipeMessage(kind, nullptr, 0))) {
                        cancelled = true;
                        break;
                    }
                    Sleep(step);
                }
                if (o.automatic && k == 0 && !cancelled) {
                    HWND w = waitForDialog(pipe.child(), 5000);
                    if (w) {
                        saveShot(w, o.shots + L"\\demo-progress.bmp");
                        wchar_t title[260] = {};
                        SendMessageTimeoutW(w, WM_GETTEXT, 260, reinterpret_cast<LPARAM>(title), SMTO_ABORTIFHUNG,
                                            5000, nullptr);
                        report.line("progress window: " + narrowText(title));
                    } else {
                        report.line("progress window: not shown");
                    }
                }
            }
            if (!cancelled)
                cancelled = !pipe.send(encodePipeMessage(PM_FINALIZE, nullptr, 0));
            Sleep(step);
            report.line("progress exit: " + std::to_string(static_cast<unsigned long>(pipe.close())));
        }
    }

    std::wstring summary;
    if (cancelled) {
        summary = L"The conversion was cancelled; " + output + L" was not written.";
    } else {
        summary = std::to_wstring(encoded.size()) + L" of " + std::to_wstring(pages.size()) +
                  L" pages were converted to " + (output.empty() ? L"(no file name)" : output) + L" with profile " +
                  (profile.empty() ? L"(none)" : profile) + L".";
        if (!skipped.empty())
            summary += L" Skipped: " + std::to_wstring(skipped.size()) + L".";
    }
    showMessage(o, summary);
    std::printf("demo: %ls\n", summary.c_str());
    report.line(std::string(cancelled ? "encoding cancelled" : "job done") + "; converted " + numbers(encoded) +
                "; skipped " + numbers(skipped));
    return 0;
}
