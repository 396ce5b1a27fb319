// Start-up of the program against the least dialog program (startup/), each
// started as a new process, the programs alternated round by round:
//   - `-param` with an A4 page at 300 dpi and with a tiny page, timed from
//     process creation until the dialog is visible AND a pixel of the page
//     reads back from the screen inside the preview frame (the reference
//     paints its frame in the page colour);
//   - `-msg`, until the message box is visible and painted;
//   - the reference itself, alone and with the pieces of the product's
//     start-up added one by one (libraries loaded, GDI+ started), which shows
//     what each piece costs.
// Medians and ratios to the reference; the peak working set of every
// process, read while its window is up (after the page has been loaded and
// painted). With PV_BENCH_STARTUP_A3=1 an A3 page at 600 dpi is added;
// PV_BENCH_STARTUP_BEFORE names another build of the program (a Windows
// path) to measure beside this one; PV_BENCH_STARTUP_ROUNDS sets the rounds
// (11).
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/core/page_image.h"
#include "app/language.h"
#include "app/output_file.h"
#include "app/startup.h"
#include "app/preview.h"
#include "app/res/resource.h"
#include "baselib/svr_handle_win.h"
#include "tests/support/preview_reference.h"
#include "settings/config_folder.h"
#include "settings/printer_settings.h"
#include "profile/djv_profiles.h"

namespace {

// The page colour as the file stores it (blue, green, red) and as the screen
// shows it.
const uint8_t kPageBgr[3] = {0x20, 0x90, 0xD0};
const COLORREF kPageColour = RGB(0xD0, 0x90, 0x20);

std::wstring folderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/")); }

std::wstring ownFolder()
{
    wchar_t buf[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, buf, MAX_PATH);
    return folderOf(buf);
}

std::wstring tempFolder()
{
    wchar_t buf[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, buf);
    std::wstring t = buf;
    if (!t.empty() && (t.back() == L'\\' || t.back() == L'/'))
        t.pop_back();
    return t;
}

// A solid page file written row by row (an A3 page at 600 dpi is 209 MB).
bool writePage(const std::wstring& path, uint32_t w, uint32_t h)
{
    const uint32_t stride = (w * 3 + 3) & ~3u;
    std::vector<uint8_t> header = encodePageImage(w, 0, stride, nullptr);
    uint8_t* p = header.data();
    p[4] = uint8_t(h), p[5] = uint8_t(h >> 8), p[6] = uint8_t(h >> 16), p[7] = uint8_t(h >> 24);
    std::vector<uint8_t> row(stride, 0);
    for (uint32_t x = 0; x < w; ++x)
        std::copy(kPageBgr, kPageBgr + 3, &row[size_t(x) * 3]);
    const Solvaris_Win32::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file)
        return false;
    const HANDLE f = file.get();
    DWORD n = 0;
    bool ok = WriteFile(f, header.data(), DWORD(header.size()), &n, nullptr) != 0;
    std::vector<uint8_t> block;
    for (uint32_t y = 0; ok && y < h; ++y) {
        block.insert(block.end(), row.begin(), row.end());
        if (block.size() >= (4u << 20) || y + 1 == h) {
            ok = WriteFile(f, block.data(), DWORD(block.size()), &n, nullptr) && n == block.size();
            block.clear();
        }
    }
    return ok;
}

// A repository of a few profiles, as a user who made some would have.
void writeRepository(const std::wstring& folder)
{
    using namespace Solvaris;
    using namespace Solvaris::DjVu;
    const std::wstring path = folder + L"\\db0.dprepo";
    DeleteFileW(path.c_str());
    std::string utf8;
    for (wchar_t c : path)
        utf8 += char(c);  // the temporary folder's path is ASCII here
    AutoPtr<ProfileRepository> repo = ProfileRepository::create(String(utf8.c_str()));
    for (int i = 0; i < 12; ++i) {
        DjVuEncoder::Params p(DjVuEncoder::EncodeMode(i % 4), 12, 60 + i);
        repo->installProfile(Profile::create(String::format("vjt%d", 100 + 50 * i), String("bench"), &p).get(),
                             String());
    }
    repo->save();
}

struct Sample {
    double visibleMs = 0, paintedMs = 0;
    double peakMb = 0;
    bool ok = false;
};

struct FindWindow {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK findVisible(HWND hwnd, LPARAM lp)
{
    FindWindow* f = reinterpret_cast<FindWindow*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == f->pid && IsWindowVisible(hwnd)) {
        f->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// The screen point where the page (or, for a message box, the dialog face)
// shows, and the colour it must have once painted.
bool probePoint(HWND window, bool page, POINT& at, COLORREF& colour)
{
    if (page) {
        HWND frame = GetDlgItem(window, IDC_PREVIEW_FRAME);
        RECT r = {};
        if (!frame || !GetWindowRect(frame, &r))
            return false;
        at = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        colour = kPageColour;
        return true;
    }
    RECT r = {};
    GetClientRect(window, &r);
    at = {3, 3};
    ClientToScreen(window, &at);
    colour = GetSysColor(COLOR_3DFACE);
    return true;
}

Sample runOnce(const std::wstring& program, const std::wstring& arguments, bool page)
{
    Sample s;
    std::wstring cmd = L"\"" + program + L"\" " + arguments;
    // The program's trace lines go nowhere.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    Solvaris_Win32::UniqueHandle nul(CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                                 OPEN_EXISTING, 0, nullptr));
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = si.hStdOutput = si.hStdError = nul.get();
    PROCESS_INFORMATION pi = {};
    const Solvaris_Win32::WindowDc screenDc(nullptr);
    const HDC screen = screenDc.get();
    const auto t0 = std::chrono::steady_clock::now();
    auto ms = [&] { return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count(); };
    const bool started = CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    nul.reset();
    if (!started)
        return s;
    const Solvaris_Win32::UniqueHandle process(pi.hProcess), thread(pi.hThread);
    FindWindow f = {pi.dwProcessId, nullptr};
    while (ms() < 20000) {
        if (!f.found) {
            EnumWindows(findVisible, reinterpret_cast<LPARAM>(&f));
            if (f.found)
                s.visibleMs = ms();
        }
        if (f.found) {
            POINT at;
            COLORREF want;
            if (probePoint(f.found, page, at, want) && GetPixel(screen, at.x, at.y) == want) {
                s.paintedMs = ms();
                s.ok = true;
                break;
            }
        }
        if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0)
            break;
        Sleep(1);
    }
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof pmc;
    if (GetProcessMemoryInfo(process.get(), &pmc, sizeof pmc))
        s.peakMb = double(pmc.PeakWorkingSetSize) / (1 << 20);
    if (f.found)
        PostMessageW(f.found, WM_COMMAND, IDCANCEL, 0);
    if (WaitForSingleObject(process.get(), 10000) != WAIT_OBJECT_0)
        TerminateProcess(process.get(), 1);
    return s;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double msSince(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

template <class F>
double timeOnce(F f)
{
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return msSince(t0);
}

template <class F>
double fastestOf(int runs, F f)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i)
        best = std::min(best, timeOnce(f));
    return best;
}

// The pieces of a -param start measured inside this process. Loading a
// library and starting GDI+ happen once per process: those figures are one
// measurement each (this program binds them on first use, as the product
// does); the rest are the fastest of five.
void printPhases(const std::wstring& a4, const std::wstring& bin)
{
    std::printf("pieces of the -param start, in this process:\n");
    wchar_t sys[MAX_PATH] = {};
    GetSystemDirectoryW(sys, MAX_PATH);
    for (const wchar_t* dll : {L"winhttp.dll", L"crypt32.dll", L"gdiplus.dll"}) {
        const std::wstring path = std::wstring(sys) + L"\\" + dll;
        const bool already = GetModuleHandleW(dll) != nullptr;
        std::printf("  load %-14ls %7.2f ms%s\n", dll, timeOnce([&] { LoadLibraryW(path.c_str()); }),
                    already ? " (was loaded already)" : "");
    }
    // COM is measured as a program of its own ("reference + COM started"):
    // the first CoInitialize of this busy process says little about a fresh
    // one.
    std::printf("  owner check             %7.2f ms\n", fastestOf(5, [] { isParentSplwow64(); }));
    {
        const std::unique_ptr<HWND__, decltype(&DestroyWindow)> edit(
            CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr, nullptr, nullptr),
            &DestroyWindow);
        std::printf("  file-name completion    %7.2f ms (first)\n", timeOnce([&] { enableFileCompletion(edit.get()); }));
    }
    ULONG_PTR token = 0;
    std::printf("  GDI+ start (the program never starts it) %7.2f ms\n", timeOnce([&] {
        GpStartupInput input = {1, nullptr, FALSE, FALSE};
        GdiplusStartup(&token, &input, nullptr);
    }));
    std::printf("  language module         %7.2f ms\n",
                fastestOf(5, [&] { loadLanguageModule(0x0411, bin + L"\\PrintvaneUI.exe"); }));
    std::printf("  settings folder opened  %7.2f ms (twice per read)\n", fastestOf(5, [] { ConfigFolder folder; }));
    std::printf("  settings file read      %7.2f ms\n", fastestOf(5, [] {
        PrinterSettings settings;
        settings.setSettingsName(L"pvbench-startup");
        settings.load();
    }));
    std::printf("  profile repository read %7.2f ms\n", fastestOf(5, [] {
        using namespace Solvaris;
        using namespace Solvaris::DjVu;
        AutoPtr<ProfileRepository> repo = ProfileRepository::create(String());
        SimpleArray<String> names;
        repo->getProfileNames(names);
    }));
    std::unique_ptr<PreviewBitmap> page;
    std::printf("  A4 page read whole      %7.2f ms\n", fastestOf(5, [&] { page = PreviewBitmap::load(a4); }));
    // The dialog's frame at 96 dpi: 84 x 120 pixels at the dialog's origin.
    const PreviewRect where = {18, 0, 84, 120};
    std::printf("  A4 preview, its rows    %7.2f ms (the dialog's way: the rows the scaled copy samples)\n",
                fastestOf(5, [&] {
                    std::unique_ptr<PreviewBitmap> opened = PreviewBitmap::open(a4);
                    if (opened)
                        opened->scaledCopy(where, GetSysColorBrush(COLOR_3DFACE));
                }));
    if (page) {
        int k = 0;
        std::printf("  A4 page scaled (ours)   %7.2f ms\n", fastestOf(5, [&] {
            // A new background each time, so that no copy is reused.
            page->scaledCopy(where, reinterpret_cast<HBRUSH>(intptr_t(COLOR_3DFACE + 1 + (k++ % 2))));
        }));
        using namespace Solvaris_Win32;
        const WindowDc screen(nullptr);
        const MemoryDc mem(CreateCompatibleDC(screen.get()));
        const GdiObject<HBITMAP> target(CreateCompatibleBitmap(screen.get(), 160, 160));
        const SelectScope targetIn(mem.get(), target.get());
        std::printf("  A4 page scaled by GDI+  %7.2f ms (the tests' reference)\n", fastestOf(5, [&] {
            uitest::paintScaledByGdiplus(mem.get(), where, *page);
        }));
    }
    page.reset();
    GdiplusShutdown(token);
}

struct Subject {
    const char* name;
    std::wstring program, arguments;
    bool page;
    std::vector<Sample> samples;
};

} // namespace

int main()
{
    const std::wstring bin = ownFolder();
    const std::wstring product = bin + L"\\PrintvaneUI.exe";
    const std::wstring minimal = bin + L"\\startup_minimal_dialog.exe";
    const std::wstring tmp = tempFolder();
    const std::wstring a4 = tmp + L"\\bench-startup-a4.img", tiny = tmp + L"\\bench-startup-tiny.img";
    const std::wstring a3 = tmp + L"\\bench-startup-a3.img";
    const bool withA3 = std::getenv("PV_BENCH_STARTUP_A3") && *std::getenv("PV_BENCH_STARTUP_A3") == '1';
    if (!writePage(a4, 2480, 3508) || !writePage(tiny, 120, 170) || (withA3 && !writePage(a3, 7016, 9921))) {
        std::printf("could not write the page files in %ls\n", tmp.c_str());
        return 1;
    }
    const std::wstring repoFolder = tmp + L"\\bench-startup-repo";
    CreateDirectoryW(repoFolder.c_str(), nullptr);
    SetEnvironmentVariableW(L"SVRDBDIR", repoFolder.c_str());
    writeRepository(repoFolder);

    printPhases(a4, bin);

    auto param = [](const std::wstring& page, const wchar_t* size) {
        return L"-param pvbench-startup \"" + page + L"\" 0 300 " + size + L" 1";
    };
    std::vector<Subject> subjects = {
        {"reference dialog", minimal, L"", true, {}},
        {"-param, A4 300 dpi page", product, param(a4, L"2480 3508"), true, {}},
        {"-param, 120 x 170 page", product, param(tiny, L"120 170"), true, {}},
        {"-msg", product, L"-msg \"Start-up benchmark\"", false, {}},
        {"reference + user32 (no-op load)", minimal, L"--load user32.dll", true, {}},
        {"reference + WinHTTP, Crypt32", minimal, L"--load winhttp.dll,crypt32.dll", true, {}},
        {"reference + GDI+ started", minimal, L"--gdiplus", true, {}},
        {"reference + shell32, shlwapi, ole32", minimal, L"--load shell32.dll,shlwapi.dll,ole32.dll", true, {}},
        {"reference + COM started", minimal, L"--com", true, {}},
    };
    if (withA3)
        subjects.push_back({"-param, A3 600 dpi page", product, param(a3, L"7016 9921"), true, {}});
    // Another build of the program (an earlier one) measured in the same
    // rounds, for before-and-after figures on a busy machine.
    if (const wchar_t* before = _wgetenv(L"PV_BENCH_STARTUP_BEFORE")) {
        subjects.push_back({"before: -param, A4 300 dpi page", before, param(a4, L"2480 3508"), true, {}});
        subjects.push_back({"before: -param, 120 x 170 page", before, param(tiny, L"120 170"), true, {}});
        subjects.push_back({"before: -msg", before, L"-msg \"Start-up benchmark\"", false, {}});
    }
    const char* roundsText = std::getenv("PV_BENCH_STARTUP_ROUNDS");
    const int rounds = roundsText && std::atoi(roundsText) > 0 ? std::atoi(roundsText) : 11;
    // One warm-up run of each, then rounds in a shuffled order (the same in
    // every run of the benchmark), so that no program always follows the
    // same one: a process that has just ended still costs the machine a
    // moment.
    for (Subject& s : subjects)
        runOnce(s.program, s.arguments, s.page);
    std::mt19937 shuffler(20261207);
    std::vector<size_t> order(subjects.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    for (int r = 0; r < rounds; ++r) {
        std::shuffle(order.begin(), order.end(), shuffler);
        for (size_t i : order) {
            Subject& s = subjects[i];
            s.samples.push_back(runOnce(s.program, s.arguments, s.page));
        }
    }

    int failures = 0;
    auto stat = [](const Subject& s, double Sample::*field) {
        std::vector<double> v;
        for (const Sample& x : s.samples)
            if (x.ok)
                v.push_back(x.*field);
        return median(v);
    };
    // The ratio to the reference run of the same round, whose median is
    // steadier on a busy machine than the ratio of the medians; its lower
    // and upper quartiles show the spread.
    struct Spread {
        double low = 0, median = 0, high = 0;
    };
    auto roundRatio = [&](const Subject& s) {
        std::vector<double> v;
        for (size_t r = 0; r < s.samples.size() && r < subjects[0].samples.size(); ++r)
            if (s.samples[r].ok && subjects[0].samples[r].ok)
                v.push_back(s.samples[r].paintedMs / subjects[0].samples[r].paintedMs);
        Spread out;
        if (v.empty())
            return out;
        std::sort(v.begin(), v.end());
        out.low = v[v.size() / 4];
        out.median = v[v.size() / 2];
        out.high = v[(v.size() * 3) / 4];
        return out;
    };
    const double refPainted = stat(subjects[0], &Sample::paintedMs);
    const double refPeak = stat(subjects[0], &Sample::peakMb);
    double refFastest = 0;
    for (const Sample& x : subjects[0].samples)
        if (x.ok && (refFastest == 0 || x.paintedMs < refFastest))
            refFastest = x.paintedMs;
    const double programPeak = stat(subjects[2], &Sample::peakMb);
    std::printf("%d rounds, medians; time from process creation to the window visible / painted (page pixel read "
                "back from the screen); the fastest run\n", rounds);
    for (const Subject& s : subjects) {
        int ok = 0;
        for (const Sample& x : s.samples)
            ok += x.ok;
        if (ok < int(s.samples.size()))
            ++failures;
        const double painted = stat(s, &Sample::paintedMs), peak = stat(s, &Sample::peakMb);
        double fastest = 0;
        for (const Sample& x : s.samples)
            if (x.ok && (fastest == 0 || x.paintedMs < fastest))
                fastest = x.paintedMs;
        const Spread spread = roundRatio(s);
        std::printf("  %-36s visible %6.1f ms, painted %6.1f ms (%.2fx the reference; per round %.2fx), peak %6.1f MB "
                    "(%+.1f MB)%s\n"
                    "  %-36s fastest %6.1f ms (%.2fx); per round, quartiles %.2fx - %.2fx\n",
                    s.name, stat(s, &Sample::visibleMs), painted, painted / refPainted, spread.median, peak,
                    peak - refPeak, ok < int(s.samples.size()) ? "  [some runs never painted]" : "", "", fastest,
                    fastest / refFastest, spread.low, spread.high);
    }
    auto pageMb = [](double w, double h) { return w * h * 3 / (1 << 20); };
    std::printf("peak above the program with the tiny page: A4 %.1f MB for a page of %.1f MB (%.2fx the page)\n",
                stat(subjects[1], &Sample::peakMb) - programPeak, pageMb(2480, 3508),
                (stat(subjects[1], &Sample::peakMb) - programPeak) / pageMb(2480, 3508));
    if (withA3)
        std::printf("peak above the program with the tiny page: A3 %.1f MB for a page of %.1f MB (%.2fx the page)\n",
                    stat(subjects.back(), &Sample::peakMb) - programPeak, pageMb(7016, 9921),
                    (stat(subjects.back(), &Sample::peakMb) - programPeak) / pageMb(7016, 9921));
    DeleteFileW(a4.c_str());
    DeleteFileW(tiny.c_str());
    DeleteFileW(a3.c_str());
    DeleteFileW((repoFolder + L"\\db0.dprepo").c_str());
    RemoveDirectoryW(repoFolder.c_str());
    return failures ? 1 : 0;
}
