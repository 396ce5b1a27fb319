// A terminal server's load on one machine: many print jobs at once, as one
// converter per job runs them for many users, all sharing the data folder.
// Each job asks about its page with -param (answered here as a user would:
// the output name typed, OK pressed), then shows a -pipe progress window fed
// to its last page. Some jobs share one settings name; every job shares the
// profile repository, while profile editors (tessforge7.exe, run by their
// step script) save new profiles into it. Afterwards the same jobs run one
// after the other, for the wall time to compare.
//
//   stress_terminal_server [--jobs N] [--editors N] [--pages N]
//
// Prints a table: exit codes, whole settings records, the repository holding
// every saved profile, progress windows at their last page, the longest time
// a window did not answer a message (WM_NULL sent with a time-out while it
// lives), the peak working set per instance, and both wall times. Exit code
// 0 when every check holds, 1 otherwise, 2 for a bad command line.
//
// The shared data folder is a scratch folder of its own (SVRDBDIR, inherited
// by every child); the settings records are named after this process and
// removed at the end.
// rand_s: random pipe names.
#define _CRT_RAND_S
#include <stdlib.h>

#include "app/core/command_line.h"
#include "app/core/page_image.h"
#include "app/core/pipe_protocol.h"
#include "app/res/resource.h"
#include "settings/printer_settings.h"
#include "tools/tessforge7/editor_model.h"
#include "tools/winkit/winkit.h"

#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using Solvaris_Win32::UniqueHandle;

const DWORD kAnswerLimitMs = 10000;   // a window that takes longer counts as hung
const DWORD kStartLimitMs = 60000;    // for a window to show on a loaded machine
const int kParamAnswer = 1;           // OK
const int kProfilesPerEditor = 3;

struct Options {
    int jobs = 4;
    int editors = 1;
    int pages = 3;
};

// ---- watching windows and processes ------------------------------------------

// One child while it runs: its window once shown, and what was measured.
struct Watched {
    UniqueHandle process;           // a duplicate of the child's handle
    std::atomic<HWND> window{nullptr};
    std::atomic<bool> ended{false};
    std::atomic<size_t> peakBytes{0};
    std::atomic<DWORD> longestWaitMs{0};
    bool pipeMode = false;
};

void sampleMemory(Watched& w)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(w.process.get(), &counters, sizeof counters))
        w.peakBytes = std::max<size_t>(w.peakBytes, counters.PeakWorkingSetSize);
}

// Sends every shown window WM_NULL in turn and notes how long its answer
// took; samples every child's peak working set on the way.
class Monitor {
public:
    std::shared_ptr<Watched> watch(HANDLE process, bool pipeMode)
    {
        auto w = std::make_shared<Watched>();
        DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), w->process.put(), 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
        w->pipeMode = pipeMode;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_all.push_back(w);
        return w;
    }

    void start()
    {
        m_stop = false;
        m_thread = std::thread([this] { loop(); });
    }

    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

    std::vector<std::shared_ptr<Watched>> all()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_all;
    }

private:
    void loop()
    {
        while (!m_stop) {
            for (const std::shared_ptr<Watched>& w : all()) {
                if (w->ended)
                    continue;
                sampleMemory(*w);
                const HWND window = w->window;
                if (!window || !IsWindow(window))
                    continue;
                const ULONGLONG start = GetTickCount64();
                DWORD_PTR ignored = 0;
                SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerLimitMs, &ignored);
                const DWORD took = DWORD(GetTickCount64() - start);
                if (IsWindow(window))
                    w->longestWaitMs = std::max<DWORD>(w->longestWaitMs, took);
            }
            Sleep(20);
        }
    }

    std::mutex m_mutex;
    std::vector<std::shared_ptr<Watched>> m_all;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// ---- one print job -------------------------------------------------------------

struct Job {
    std::wstring settingsName;
    std::wstring output;          // the output name typed into the page dialog
    DWORD paramCode = DWORD(-2);  // -2: not run
    DWORD pipeCode = DWORD(-2);
    bool lastPage = false;
};

struct Shared {
    std::wstring program;   // PrintvaneUI.exe
    std::wstring image;     // the page image every job asks about
    uint32_t width = 0, height = 0;
    Options options;
    Monitor* monitor = nullptr;
    HANDLE quiet = nullptr;   // the children's standard output: their trace lines are not the table's
};

struct Started {
    PROCESS_INFORMATION info = {};
    UniqueHandle process, thread;
    bool ok = false;
};

Started startProgram(const Shared& s, const std::vector<std::wstring>& args)
{
    Started st;
    st.ok = winkit::startProcess(commandLine(s.program, args), st.info, {}, 0, s.program.c_str(), s.quiet);
    if (st.ok) {
        st.process.reset(st.info.hProcess);
        st.thread.reset(st.info.hThread);
    }
    return st;
}

DWORD endOf(Started& st, Watched& w, DWORD limitMs)
{
    DWORD code = DWORD(-2);
    winkit::waitForExit(st.process.get(), limitMs, code);
    sampleMemory(w);
    w.ended = true;
    return code;
}

// The page dialog, answered: the output name typed, this page only
// (not the rest of the job), OK pressed, and a
// question that may follow (the file exists) answered with Yes.
void runParam(const Shared& s, Job& job)
{
    Started st = startProgram(s, {L"-param", job.settingsName, s.image, L"0", L"150", std::to_wstring(s.width),
                                  std::to_wstring(s.height), L"1"});
    if (!st.ok)
        return;
    const std::shared_ptr<Watched> w = s.monitor->watch(st.process.get(), false);
    const DWORD pid = st.info.dwProcessId;
    const HWND dialog = winkit::waitForWindow(pid, kStartLimitMs, L"#32770", st.process.get());
    if (dialog) {
        w->window = dialog;
        Sleep(500);   // a user's look at the page
        SendMessageTimeoutW(GetDlgItem(dialog, IDC_OUTPUT_FILE), WM_SETTEXT, 0,
                            reinterpret_cast<LPARAM>(job.output.c_str()), SMTO_NORMAL, kAnswerLimitMs, nullptr);
        SendMessageTimeoutW(GetDlgItem(dialog, IDC_SAME_CONFIG), BM_SETCHECK, BST_UNCHECKED, 0, SMTO_NORMAL,
                            kAnswerLimitMs, nullptr);
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(kParamAnswer, BN_CLICKED), 0);
        if (const HWND question = winkit::waitForWindow(pid, 1000, L"#32770", st.process.get(), dialog))
            PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
    }
    job.paramCode = endOf(st, *w, kStartLimitMs);
}

// A pipe name no other job (and no other user) can guess.
std::wstring unguessablePipeName()
{
    std::wstring name = L"\\\\.\\pipe\\printvane-stress-";
    for (int i = 0; i < 4; ++i) {
        unsigned value = 0;
        rand_s(&value);
        wchar_t part[9];
        swprintf(part, 9, L"%08x", value);
        name += part;
    }
    return name;
}

// True once the window's bar stands at `page` of `page` and its page line
// names that page.
bool atLastPage(HWND window, int pages)
{
    DWORD_PTR position = 0, upper = 0;
    SendMessageTimeoutW(GetDlgItem(window, IDC_PROGRESS_BAR), PBM_GETPOS, 0, 0, SMTO_NORMAL, kAnswerLimitMs, &position);
    SendMessageTimeoutW(GetDlgItem(window, IDC_PROGRESS_BAR), PBM_GETRANGE, FALSE, 0, SMTO_NORMAL, kAnswerLimitMs,
                        &upper);
    const std::wstring last = std::to_wstring(pages) + L"/" + std::to_wstring(pages);
    return int(position) == pages && int(upper) == pages &&
           winkit::controlText(window, IDC_PROGRESS_TEXT).find(last) != std::wstring::npos;
}

// The progress window fed as a converter feeds it: the document's name and
// page count, then each page's steps; once it shows the last page the pipe
// is closed, which ends the program.
void runPipe(const Shared& s, Job& job)
{
    winkit::ServerPipe pipe(unguessablePipeName());
    if (!pipe.valid())
        return;
    Started st = startProgram(s, {L"-pipe", pipe.name()});
    if (!st.ok)
        return;
    const std::shared_ptr<Watched> w = s.monitor->watch(st.process.get(), true);
    const int pages = s.options.pages;
    if (pipe.connect(st.process.get(), kStartLimitMs)) {
        w->window = winkit::waitForWindow(st.info.dwProcessId, kStartLimitMs, L"#32770", st.process.get());
        const auto send = [&](const std::vector<uint8_t>& record) {
            return pipe.write(record.data(), record.size(), kAnswerLimitMs);
        };
        bool sent = send(encodePipeText(PM_DOC_NAME, u"Stress job")) && send(encodePageCount(uint32_t(pages)));
        for (int page = 1; sent && page <= pages; ++page) {
            for (uint32_t kind : {PM_PAGE_BEGIN, PM_IMAGE, PM_TEXT, PM_TEXT_COMPRESS})
                sent = sent && send(encodePipeMessage(kind, nullptr, 0));
            Sleep(100);   // the page's encoding
        }
        const HWND window = w->window;
        for (int i = 0; sent && window && i < 500 && !(job.lastPage = atLastPage(window, pages)); ++i)
            Sleep(20);
        pipe.close(true);
    }
    job.pipeCode = endOf(st, *w, kStartLimitMs);
}

void runJob(const Shared& s, Job& job)
{
    runParam(s, job);
    runPipe(s, job);
}

// ---- editors -----------------------------------------------------------------

struct Editor {
    std::vector<std::string> saved;   // the profiles its script saves
    DWORD code = DWORD(-2);
};

void runEditor(const std::wstring& program, HANDLE quiet, Editor& e, int number)
{
    std::wstring script = L"onchange:overwrite";
    for (int k = 1; k <= kProfilesPerEditor; ++k) {
        const std::string name = "Stress E" + std::to_string(number) + "-" + std::to_string(k);
        e.saved.push_back(name);
        script += L";new:" + winkit::wide(name) + L";save;pause:300";
    }
    script += L";ok";
    PROCESS_INFORMATION pi;
    if (!winkit::startProcess(commandLine(program, {L"vjt300", L"-nologo"}), pi, {{L"TESSFORGE7_SCRIPT", script}}, 0,
                              program.c_str(), quiet))
        return;
    const UniqueHandle process(pi.hProcess), thread(pi.hThread);
    winkit::waitForExit(process.get(), 120000, e.code);
}

// ---- one phase: every job at once, or one after the other ----------------------

struct Phase {
    std::vector<Job> jobs;
    std::vector<Editor> editors;
    std::vector<std::shared_ptr<Watched>> watched;
    double seconds = 0;
};

std::wstring settingsNameOf(int job, int jobs)
{
    // A quarter of the jobs (at least two) share one name.
    const int sharing = std::max(2, jobs / 4);
    const std::wstring base = L"PvStress" + std::to_wstring(GetCurrentProcessId());
    return job < sharing ? base + L"-shared" : base + L"-job" + std::to_wstring(job);
}

Phase runPhase(const Shared& s, const std::wstring& folder, bool atOnce)
{
    Phase p;
    const int jobs = s.options.jobs;
    for (int i = 0; i < jobs; ++i)
        p.jobs.push_back({settingsNameOf(i, jobs), folder + L"\\out-" + std::to_wstring(i) + L".djvu"});
    p.editors.resize(atOnce ? size_t(s.options.editors) : 0);
    Monitor monitor;
    Shared shared = s;
    shared.monitor = &monitor;
    monitor.start();
    const ULONGLONG start = GetTickCount64();
    std::vector<std::thread> threads;
    const std::wstring editor = winkit::programFolder() + L"\\tessforge7.exe";
    for (size_t e = 0; e < p.editors.size(); ++e)
        threads.emplace_back([&, e] { runEditor(editor, s.quiet, p.editors[e], int(e) + 1); });
    if (atOnce) {
        for (Job& job : p.jobs)
            threads.emplace_back([&shared, &job] { runJob(shared, job); });
    } else {
        for (Job& job : p.jobs)
            runJob(shared, job);
    }
    for (std::thread& t : threads)
        t.join();
    p.seconds = double(GetTickCount64() - start) / 1000.0;
    monitor.stop();
    p.watched = monitor.all();
    return p;
}

// ---- the checks and the table --------------------------------------------------

struct Row {
    std::string check;
    std::string result;
    bool ok;
};

std::string counted(int good, int all) { return std::to_string(good) + "/" + std::to_string(all); }

Row exitCodes(const Phase& p, const char* what, DWORD Job::*code, DWORD expected)
{
    int good = 0;
    for (const Job& j : p.jobs)
        good += j.*code == expected;
    std::string result = counted(good, int(p.jobs.size()));
    for (const Job& j : p.jobs)
        result += j.*code == expected ? "" : " " + std::to_string(int(j.*code));
    return {std::string(what) + " exit codes " + std::to_string(int(expected)), result, good == int(p.jobs.size())};
}

// Each settings file holds one whole record: the output name one of its
// writers typed, with the profile the dialog saved beside it.
Row wholeSettings(const Phase& p)
{
    std::set<std::wstring> names;
    for (const Job& j : p.jobs)
        names.insert(j.settingsName);
    int whole = 0;
    for (const std::wstring& name : names) {
        PrinterSettings record;
        record.setSettingsName(name);
        record.load();
        bool written = false;
        for (const Job& j : p.jobs)
            written = written || (j.settingsName == name && j.output == record.OutputFileName);
        whole += written && !record.Profile.empty();
    }
    return {"settings files, each one whole record", counted(whole, int(names.size())), whole == int(names.size())};
}

Row repositoryHoldsEverything(const Phase& p, const std::wstring& file)
{
    int expected = 0, held = 0;
    std::string error;
    try {
        const tessforge::EditorModel model(winkit::utf8(file));
        for (const Editor& e : p.editors) {
            for (const std::string& name : e.saved) {
                ++expected;
                held += model.has(name);
            }
        }
    } catch (const std::exception& e) {
        error = std::string(" (unreadable: ") + e.what() + ")";
    }
    return {"repository one whole version, saved profiles held", counted(held, expected) + error,
            error.empty() && held == expected};
}

Row editorCodes(const Phase& p)
{
    int good = 0;
    for (const Editor& e : p.editors)
        good += e.code == 0;
    return {"profile editor exit codes 0", counted(good, int(p.editors.size())), good == int(p.editors.size())};
}

Row lastPages(const Phase& p)
{
    int good = 0;
    for (const Job& j : p.jobs)
        good += j.lastPage;
    return {"progress windows at their last page", counted(good, int(p.jobs.size())), good == int(p.jobs.size())};
}

Row longestUnanswered(const Phase& p)
{
    DWORD longest = 0;
    for (const std::shared_ptr<Watched>& w : p.watched)
        longest = std::max<DWORD>(longest, w->longestWaitMs);
    return {"longest time a window did not answer", std::to_string(longest) + " ms", longest < kAnswerLimitMs};
}

Row peakMemory(const Phase& p, bool pipeMode)
{
    size_t most = 0, sum = 0, count = 0;
    for (const std::shared_ptr<Watched>& w : p.watched) {
        if (w->pipeMode != pipeMode || !w->peakBytes)
            continue;
        most = std::max<size_t>(most, w->peakBytes);
        sum += w->peakBytes;
        ++count;
    }
    char text[96];
    std::snprintf(text, sizeof text, "max %.1f MB, mean %.1f MB (%zu measured)", double(most) / 1048576.0,
                  count ? double(sum) / double(count) / 1048576.0 : 0.0, count);
    return {std::string("peak working set per ") + (pipeMode ? "-pipe" : "-param") + " instance", text, count > 0};
}

void printTable(const std::vector<Row>& rows)
{
    for (const Row& r : rows)
        std::printf("  %-52s %-40s %s\n", r.check.c_str(), r.result.c_str(), r.ok ? "ok" : "FAILED");
    std::fflush(stdout);
}

// ---- set-up ---------------------------------------------------------------------

bool parseOptions(int argc, wchar_t** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        int* target = std::wcscmp(argv[i], L"--jobs") == 0      ? &o.jobs
                      : std::wcscmp(argv[i], L"--editors") == 0 ? &o.editors
                      : std::wcscmp(argv[i], L"--pages") == 0   ? &o.pages
                                                                : nullptr;
        if (!target || i + 1 >= argc || (*target = _wtoi(argv[++i])) < 0)
            return false;
    }
    return o.jobs >= 1 && o.jobs <= 256 && o.editors <= 16 && o.pages >= 1;
}

// The repository every child shares: two profiles to start from.
const char kSeedRepository[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<repository xmlns=\"http://schemas.printvane.org/djvu/1.0/profile/\">"
    "<profile name=\"vjt300\" encode-mode=\"bitonal\"/><profile name=\"Fine\"/></repository>\n";

} // namespace

int wmain(int argc, wchar_t** argv)
{
    Options o;
    if (!parseOptions(argc, argv, o)) {
        std::printf("usage: stress_terminal_server [--jobs N] [--editors N] [--pages N]\n");
        return 2;
    }
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"printvane-stress-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring data = folder + L"\\data", repository = data + L"\\db0.dprepo";
    CreateDirectoryW(folder.c_str(), nullptr);
    CreateDirectoryW(data.c_str(), nullptr);
    SetEnvironmentVariableW(L"SVRDBDIR", data.c_str());

    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    const UniqueHandle quiet(CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                                         OPEN_EXISTING, 0, nullptr));
    Shared s;
    s.options = o;
    s.quiet = quiet ? quiet.get() : nullptr;
    s.program = winkit::programFolder() + L"\\PrintvaneUI.exe";
    s.image = folder + L"\\page.img";
    s.width = 1240;   // A4 at 150 dpi
    s.height = 1754;
    const std::vector<uint8_t> pixels(size_t(s.width) * s.height * 3, 0xF0);
    const std::vector<uint8_t> page = encodePageImage(s.width, s.height, s.width * 3, pixels.data());
    if (!winkit::writeFile(repository, kSeedRepository) || !winkit::writeFile(s.image, page.data(), page.size())) {
        std::printf("stress: cannot write into %s\n", winkit::utf8(folder).c_str());
        return 1;
    }

    std::printf("stress run: %d print jobs at once (%d share one settings name), %d profile editor(s) saving %d "
                "profiles each, %d pages per job\n",
                o.jobs, std::max(2, o.jobs / 4), o.editors, kProfilesPerEditor, o.pages);
    std::fflush(stdout);
    const Phase together = runPhase(s, folder, true);
    std::vector<Row> rows = {
        exitCodes(together, "-param", &Job::paramCode, DWORD(kParamAnswer)),
        exitCodes(together, "-pipe", &Job::pipeCode, 0),
        editorCodes(together),
        wholeSettings(together),
        repositoryHoldsEverything(together, repository),
        lastPages(together),
        longestUnanswered(together),
        peakMemory(together, false),
        peakMemory(together, true),
    };
    const Phase oneByOne = runPhase(s, folder, false);
    rows.push_back(exitCodes(oneByOne, "one after the other: -param", &Job::paramCode, DWORD(kParamAnswer)));
    rows.push_back(exitCodes(oneByOne, "one after the other: -pipe", &Job::pipeCode, 0));
    char wall[96];
    std::snprintf(wall, sizeof wall, "%.1f s at once, %.1f s one after the other", together.seconds, oneByOne.seconds);
    rows.push_back({"wall time", wall, true});
    printTable(rows);

    for (const Job& j : together.jobs) {
        PrinterSettings record;
        record.setSettingsName(j.settingsName);
        DeleteFileW(record.IniPath.c_str());
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    const bool ok = std::all_of(rows.begin(), rows.end(), [](const Row& r) { return r.ok; });
    std::printf("stress run: %s\n", ok ? "every check holds" : "FAILED");
    return ok ? 0 : 1;
}
