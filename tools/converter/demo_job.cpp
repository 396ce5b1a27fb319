// converter demo: a small print job as the printer driver runs one. It renders
// three pages of its own (portrait, landscape, portrait), asks about them with
// -param, follows the answer (1877 keeps it for the following pages, 1878
// skips the page, 2 cancels the job), then encodes the confirmed pages into
// one DjVu document while the progress window shows each step through a
// named pipe, and ends with a -msg summary naming the document and its size.
// Each page is encoded with the profile chosen for it: after every dialog
// the settings name the profile, read from the profile repository as the
// real converter reads it. The document appears at the output name only
// when the job is done (DocumentWriter).
//
//   converter demo [--auto] [--answers a,b,...] [--out PATH] [--settings NAME]
//                  [--shots DIR] [--dpi N] [--report FILE] [--cancel-encoding N]
//                  [--installed]
//
// Pages are A4 at --dpi (default 300). --cancel-encoding N presses Cancel in
// the progress window as page N of the document starts (for tests).
// --auto answers every window itself (for tests and machines without a
// user): the answers are taken in order, one per configuration dialog, from
// ok | same | skip | cancel (default: same). Screenshots of every window go
// to --shots (default: <build>\screenshots) as demo-*.bmp. --report writes
// one line per -param run ("page N: CODE", the full 32-bit exit code), one
// per page added to the document ("page N encoded: PROFILE") and a last line
// with the outcome, for tests; the report also says what the progress
// window's title and exit code were. --installed leaves the machine's
// profiles as they are installed (no demo repository, no editor run): on
// page 1 the answers list the profile box ("page 1 profiles: A|B|...") and
// picture it opened (demo-profiles.bmp).
#include "tools/converter/demo_page.h"
#include "tools/converter/djvu_encoder.h"
#include "tools/converter/launch.h"

#include "app/core/page_image.h"
#include "app/core/param_logic.h"
#include "app/core/pipe_protocol.h"
#include "app/res/resource.h"
#include "profile/djv_profiles.h"
#include "settings/printer_settings.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

namespace {

bool writeFile(const std::wstring& path, const std::vector<uint8_t>& bytes)
{
    return winkit::writeFile(path, bytes.data(), bytes.size());
}

// ---- the progress pipe ----------------------------------------------------

class ProgressPipe {
public:
    bool open(DWORD limitMs)
    {
        if (!m_pipe.valid())
            return false;
        m_child = startPrintvane({L"-pipe", m_pipe.name()});
        if (!m_child.process)
            return false;
        return m_pipe.connect(m_child.process.get(), limitMs);
    }

    // One record; false once the window has gone.
    bool send(const std::vector<uint8_t>& record) { return m_pipe.write(record.data(), record.size(), 10000); }

    const Child& child() const { return m_child; }

    // Closing our end ends the progress window.
    DWORD close()
    {
        m_pipe.close(true);
        return finish(m_child, 30000);
    }

    ~ProgressPipe() { close(); }

private:
    winkit::ServerPipe m_pipe{L"\\\\.\\pipe\\printvane-demo-" + std::to_wstring(GetCurrentProcessId())};
    Child m_child;
};

// ---- the job --------------------------------------------------------------

struct Options {
    bool automatic = false;
    std::vector<std::wstring> answers;
    std::wstring out;
    std::wstring settings = L"PrintvaneDemo";
    std::wstring shots;
    std::wstring report;
    int dpi = 300;
    int cancelAt = 0;   // page of the document at which Cancel is pressed; 0: never
    bool installed = false;
};

// What the answering thread saw of page 1's dialog.
struct Seen {
    std::wstring profile;                // after the editor ran
    std::vector<std::wstring> profiles;  // the profile box's entries
};

class Report {
public:
    explicit Report(const std::wstring& path) : m_path(path) {}
    void line(const std::string& text)
    {
        m_text += text + "\r\n";
        if (!m_path.empty())
            writeFile(m_path, std::vector<uint8_t>(m_text.begin(), m_text.end()));
    }

private:
    std::wstring m_path;
    std::string m_text;
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
        } else if (a == L"--cancel-encoding" && hasValue) {
            o.cancelAt = _wtoi(args[++i].c_str());
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
        o.shots = programFolder() + L"\\..\\screenshots";
    return true;
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
    PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(IDC_EDIT_PROFILE, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDC_EDIT_PROFILE)));
    HWND editor = nullptr;
    for (int i = 0; i < 300 && !(editor = findEditorWindow(GetProcessId(c.process.get()))); ++i)
        Sleep(50);
    if (!editor)
        return L"<no editor>";
    // The script's edits show once the description holds its text (the
    // script pauses after it for the picture).
    for (int i = 0; i < 300 && winkit::controlText(editor, 1010 /* the editor's description */) != L"Made by the demo job"; ++i)
        Sleep(20);
    saveWindowPicture(editor, o.shots + L"\\demo-editor.bmp");
    for (int i = 0; i < 600 && (IsWindow(editor) || !IsWindowEnabled(GetDlgItem(dlg, IDOK))); ++i)
        Sleep(50);
    return winkit::controlText(dlg, IDC_PROFILE);
}

// The opened list of a combo box of the dialog's process: a visible
// top-level window of the class "ComboLBox".
HWND dropDownList(HWND dlg)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(dlg, &pid);
    const std::vector<HWND> lists = winkit::topLevelWindows(pid, L"ComboLBox");
    return lists.empty() ? nullptr : lists.front();
}

// The profile box's entries (the box marshals its texts between processes),
// and a picture of the dialog with the box opened.
std::vector<std::wstring> listProfiles(const Options& o, HWND dlg)
{
    HWND box = GetDlgItem(dlg, IDC_PROFILE);
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
    // The opened list highlights the entry under the pointer: show the
    // selection instead, as a user who just opened the box sees it, once
    // the list's window shows (bounded), and let it paint.
    HWND list = nullptr;
    for (int i = 0; i < 250 && !(list = dropDownList(dlg)); ++i)
        Sleep(20);
    if (list && selected != DWORD_PTR(CB_ERR))
        SendMessageTimeoutW(list, LB_SETCURSEL, selected, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    if (list) {
        RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        SendMessageTimeoutW(list, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    }
    // The opened list reaches below the dialog: picture both.
    RECT listRect = {}, frame = {};
    SendMessageTimeoutW(box, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&listRect), SMTO_ABORTIFHUNG,
                        5000, nullptr);
    GetWindowRect(dlg, &frame);
    UnionRect(&frame, &frame, &listRect);
    savePicture(frame, o.shots + L"\\demo-profiles.bmp");
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
        SendMessageTimeoutW(GetDlgItem(dlg, IDC_OUTPUT_FILE), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(o.out.c_str()),
                            SMTO_ABORTIFHUNG, 5000, nullptr);
    SendMessageTimeoutW(GetDlgItem(dlg, IDC_SAME_CONFIG), BM_SETCHECK, answer == L"same" ? BST_CHECKED : BST_UNCHECKED, 0,
                        SMTO_ABORTIFHUNG, 5000, nullptr);
    saveWindowPicture(dlg, o.shots + L"\\demo-param-page" + std::to_wstring(page) + L".bmp");
    const int id = answer == L"skip" ? IDC_SKIP_PAGE : answer == L"cancel" ? IDCANCEL : IDOK;
    PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    if (id == IDOK) {
        HWND question = waitForDialog(c, 1500, dlg);
        if (question) {
            saveWindowPicture(question, o.shots + L"\\demo-overwrite.bmp");
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
    waitForExit(c.process.get(), o.automatic ? 60000 : INFINITE, code);
    if (driver.joinable())
        driver.join();
    return code;
}

void showMessage(const Options& o, const std::wstring& text)
{
    Child c = startPrintvane({L"-msg", text});
    if (o.automatic && c.process) {
        HWND box = waitForDialog(c, 20000);
        if (box) {
            saveWindowPicture(box, o.shots + L"\\demo-summary.bmp");
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
    }
    finish(c, o.automatic ? 30000 : INFINITE);
}

// ---- encoding -------------------------------------------------------------

// The encoder parameters of the profile a page was confirmed with, read from
// the profile repository as the converter reads them.
struct ChosenProfile {
    std::wstring name;
    Solvaris::DjVu::DjVuEncoder::Params params;
    std::wstring error;   // empty when read
};

ChosenProfile readProfile(const std::wstring& name)
{
    ChosenProfile c;
    c.name = name;
    try {
        Solvaris::AutoPtr<Solvaris::DjVu::ProfileRepository> repository =
            Solvaris::DjVu::ProfileRepository::create(Solvaris::String());
        c.params = repository->loadProfile(Solvaris::String(utf8(name).c_str()))->getParams();
    } catch (const std::exception& e) {
        const std::string what = e.what();
        c.error.assign(what.begin(), what.end());
    }
    return c;
}

// 1234567 as "1,234,567".
std::wstring groupedNumber(uint64_t n)
{
    std::wstring digits = std::to_wstring(n), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += L',';
        out += digits[i];
    }
    return out;
}

// Pictures the progress window and reports its title (tests compare it
// with the output file's name).
void reportProgressWindow(const ProgressPipe& pipe, const Options& o, Report& report)
{
    HWND w = waitForDialog(pipe.child(), 5000);
    if (!w) {
        report.line("progress window: not shown");
        return;
    }
    saveWindowPicture(w, o.shots + L"\\demo-progress.bmp");
    report.line("progress window: " + utf8(winkit::windowText(w)));
}

struct Encoding {
    bool cancelled = false;
    std::wstring error;
    uint64_t size = 0;   // of the written document
};

// Encodes the confirmed pages into the document at `output` while the
// progress window shows each step as it begins: 'P' a page, 'F' its image
// layers (the encoding), 'T' and 'S' its text (the pages carry no text
// layer, so these pass at once; then the page joins the document), 'E' the
// document written and moved into place. A window that has gone (Cancel)
// ends the job before the document is written.
Encoding encodeDocument(const Options& o, const std::vector<Page>& pages, const std::vector<int>& encoded,
                        const std::vector<ChosenProfile>& chosen, const std::wstring& output, Report& report)
{
    Encoding job;
    if (output.empty()) {
        job.error = L"the settings name no output file";
        return job;
    }
    ProgressPipe pipe;
    if (!pipe.open(20000)) {
        job.error = L"the progress window did not connect";
        return job;
    }
    const std::wstring doc = output.substr(output.find_last_of(L"\\/") + 1);
    const std::wstring docName = doc.empty() ? L"demo" : doc;
    job.cancelled = !pipe.send(encodePipeText(PM_DOC_NAME, std::u16string(docName.begin(), docName.end()))) ||
                    !pipe.send(encodePageCount(uint32_t(encoded.size())));
    pvdjvu::DocumentWriter writer{std::filesystem::path(output)};
    try {
        for (size_t k = 0; k < encoded.size() && !job.cancelled; ++k) {
            if (o.cancelAt == int(k) + 1) {
                HWND w = waitForDialog(pipe.child(), 5000);
                if (w)
                    PostMessageW(w, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                WaitForSingleObject(pipe.child().process.get(), 10000);
            }
            const Page& p = pages[size_t(encoded[k] - 1)];
            std::vector<uint8_t> encodedPage;
            for (uint32_t kind : {PM_PAGE_BEGIN, PM_IMAGE, PM_TEXT, PM_TEXT_COMPRESS}) {
                if (!pipe.send(encodePipeMessage(kind, nullptr, 0))) {
                    job.cancelled = true;
                    break;
                }
                if (kind == PM_IMAGE) {
                    pvdjvu::PageView v;
                    v.width = p.width;
                    v.height = p.height;
                    v.dpi = uint32_t(o.dpi);
                    v.bgr = p.bgr.data();
                    v.stride = size_t(p.width) * 3;
                    encodedPage = pvdjvu::encodePage(v, chosen[k].params);
                    if (o.automatic && k == 0)
                        reportProgressWindow(pipe, o, report);
                }
            }
            if (!job.cancelled) {
                writer.addPage(encodedPage);
                report.line("page " + std::to_string(encoded[k]) + " encoded: " + utf8(chosen[k].name));
            }
        }
        if (!job.cancelled)
            job.cancelled = !pipe.send(encodePipeMessage(PM_FINALIZE, nullptr, 0));
        if (!job.cancelled)
            job.size = writer.finish();
    } catch (const std::exception& e) {
        job.error = wide(e.what());
    }
    report.line("progress exit: " + std::to_string(static_cast<unsigned long>(pipe.close())));
    return job;
}

} // namespace

int commandDemo(const Args& args)
{
    Options o;
    if (!parseOptions(args, o))
        return 2;
    if (o.automatic)
        CreateDirectoryW(o.shots.c_str(), nullptr);

    // Pages at the chosen resolution: A4 portrait, A4 landscape, A4 portrait
    // (210 x 297 mm: 2480 x 3508 at 300 dpi).
    const uint32_t a4w = uint32_t(std::lround(o.dpi * 210 / 25.4)), a4h = uint32_t(std::lround(o.dpi * 297 / 25.4));
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
    PrinterSettings settings;
    settings.setSettingsName(o.settings);
    settings.load();
    settings.PrevJobName = L"Printvane demo";
    if (!o.out.empty())
        settings.OutputFileName = o.out;
    settings.save();

    Report report(o.report);
    std::vector<int> encoded, skipped;
    std::vector<ChosenProfile> chosen;   // one per encoded page
    bool reuse = false;
    size_t answerIndex = 0;
    for (size_t i = 0; i < pages.size(); ++i) {
        const int number = int(i) + 1;
        if (reuse) {
            encoded.push_back(number);
            chosen.push_back(chosen.back());
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
            report.line("page " + std::to_string(number) + " profile: " + utf8(seen.profile));
        }
        if (!seen.profiles.empty()) {
            std::string list;
            for (const std::wstring& name : seen.profiles)
                list += (list.empty() ? "" : "|") + utf8(name);
            std::printf("demo: page %d: profiles %s\n", number, list.c_str());
            report.line("page " + std::to_string(number) + " profiles: " + list);
        }
        std::printf("demo: page %d: -param exit code %lu\n", number, static_cast<unsigned long>(code));
        report.line("page " + std::to_string(number) + ": " + std::to_string(static_cast<unsigned long>(code)));
        if (code == IDOK_SUCCESSIVE || code == IDOK) {
            reuse = code == IDOK_SUCCESSIVE;
            encoded.push_back(number);
            settings.load();
            chosen.push_back(readProfile(settings.Profile));
            if (!chosen.back().error.empty()) {
                const std::wstring text = L"The profile " + settings.Profile + L" could not be read: " +
                                          chosen.back().error;
                showMessage(o, text);
                std::printf("demo: %ls\n", text.c_str());
                report.line("job failed");
                return 1;
            }
        } else if (code == IDSKIPPAGE) {
            skipped.push_back(number);
        } else if (code == IDCANCEL) {
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

    const std::wstring output = settings.OutputFileName;
    Encoding job;
    if (!encoded.empty())
        job = encodeDocument(o, pages, encoded, chosen, output, report);

    std::wstring summary;
    if (job.cancelled) {
        summary = L"The conversion was cancelled; " + output + L" was not written.";
    } else if (!job.error.empty()) {
        summary = L"The document " + output + L" could not be written: " + job.error;
    } else {
        std::wstring names;
        for (const ChosenProfile& c : chosen)
            if (names.find(L"\"" + c.name + L"\"") == std::wstring::npos)
                names += (names.empty() ? L"" : L", ") + (L"\"" + c.name + L"\"");
        summary = std::to_wstring(encoded.size()) + L" of " + std::to_wstring(pages.size()) +
                  L" pages were converted to " + output + L" (" + groupedNumber(job.size) + L" bytes) with profile " +
                  (names.empty() ? L"(none)" : names) + L".";
        if (!skipped.empty())
            summary += L" Skipped: " + std::to_wstring(skipped.size()) + L".";
    }
    showMessage(o, summary);
    std::printf("demo: %ls\n", summary.c_str());
    if (job.size)
        std::printf("demo: document %ls: %zu pages, %llu bytes\n", output.c_str(), encoded.size(),
                    static_cast<unsigned long long>(job.size));
    report.line(std::string(job.cancelled ? "encoding cancelled" : job.error.empty() ? "job done" : "encoding failed") +
                "; converted " + numbers(encoded) + "; skipped " + numbers(skipped));
    return job.error.empty() || job.cancelled ? 0 : 1;
}
