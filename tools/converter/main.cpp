// converter.exe: stands in for the printer driver's converter. It starts
// PrintvaneUI.exe as the converter does and reads its real exit codes.
#include "tools/converter/commands.h"
#include "tools/converter/launch.h"

#include <cstdio>
#include <cwchar>

namespace {
struct Command {
    const wchar_t* name;
    int (*run)(const Args&);
    const char* arguments;
    const char* description;
};
const Command kCommands[] = {
    {L"run", commandRun, "[--report FILE] ARGS...", "start PrintvaneUI.exe with ARGS and print its exit code"},
    {L"show", commandShow, "[--auto] [--shot FILE] [--report FILE] ARGS...",
     "show a message box, print its text and the exit code"},
    {L"pipe", commandPipe, "[--demo] [OPTIONS] STEP...", "feed the progress window through its pipe, step by step"},
    {L"demo", commandDemo, "[--auto] [OPTIONS]", "run a print job of three pages from dialog to summary"},
};
} // namespace

int commandRun(const Args& all)
{
    std::wstring report;
    size_t first = 0;
    if (all.size() >= 2 && all[0] == L"--report") {
        report = all[1];
        first = 2;
    }
    Child child = startPrintvane(Args(all.begin() + static_cast<std::ptrdiff_t>(first), all.end()));
    if (!child.process) {
        std::printf("PrintvaneUI.exe could not be started (error %lu)\n", GetLastError());
        return 2;
    }
    return reportExit(child, 120000, report);
}

int wmain(int argc, wchar_t** argv)
{
    // converter --program PATH COMMAND ...: start that PrintvaneUI.exe (an
    // installed one, say) instead of the one beside this program.
    if (argc >= 3 && std::wcscmp(argv[1], L"--program") == 0) {
        setPrintvanePath(argv[2]);
        argv += 2;
        argc -= 2;
    }
    if (argc >= 2) {
        for (const Command& c : kCommands) {
            if (std::wcscmp(argv[1], c.name) == 0)
                return c.run(Args(argv + 2, argv + argc));
        }
    }
    std::printf("usage: converter [--program PATH] COMMAND ...\n"
                "  --program PATH  the PrintvaneUI.exe to start (default: the one beside converter.exe)\n");
    for (const Command& c : kCommands)
        std::printf("  %-4ls %-32s %s\n", c.name, c.arguments, c.description);
    return 2;
}
