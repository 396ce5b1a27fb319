// converter show: starts PrintvaneUI.exe with a message-mode command line as
// the converter does when it has something to tell the user, reports what the
// box says and the program's exit code.
//
//   converter show [--auto] [--shot FILE.bmp] [--report FILE] ARGS...
//
// Without --auto the user closes the box. With --auto the stand-in closes it
// itself after a short look (for machines without a user). --shot saves a
// picture of the box first. --report writes the program's exit code to FILE
// (see reportExit).
#include "tools/converter/launch.h"

#include <windows.h>

#include <cstdio>
#include <string>

int commandShow(const Args& all)
{
    bool automatic = false;
    std::wstring shot, report;
    size_t i = 0;
    for (; i < all.size(); ++i) {
        if (all[i] == L"--auto")
            automatic = true;
        else if (all[i] == L"--shot" && i + 1 < all.size())
            shot = all[++i];
        else if (all[i] == L"--report" && i + 1 < all.size())
            report = all[++i];
        else
            break;
    }
    Child child = startPrintvane(Args(all.begin() + static_cast<std::ptrdiff_t>(i), all.end()));
    if (!child.process) {
        std::printf("PrintvaneUI.exe could not be started (error %lu)\n", GetLastError());
        return 2;
    }

    // Wait (bounded) for the box, or for the end when no box comes.
    HWND box = waitForDialog(child, 10000);
    if (box) {
        std::printf("box \"%s\": %s\n", utf8(winkit::windowText(box)).c_str(),
                    utf8(winkit::staticTexts(box, L" / ")).c_str());
        std::fflush(stdout);
        if (!shot.empty()) {
            std::printf(saveWindowPicture(box, shot) ? "picture: %s\n" : "no picture: %s\n",
                        utf8(shot).c_str());
        }
        if (automatic)
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    } else {
        std::printf("no box\n");
    }
    // The user may take as long as they like; an automatic run is bounded.
    return reportExit(child, automatic ? 30000 : INFINITE, report);
}
