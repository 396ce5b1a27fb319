// Crash trials: child programs that change a file in a loop are killed at
// random moments, and the file is checked after every kill. Several children
// run at a time, each on a file of its own (a lane), so that the others start
// and work while one is killed and checked. Where process starts are slow
// (32-bit Wine under QEMU) a time budget stops new starts once a floor of
// kills is reached.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <memory>
#include <random>
#include <string>

#include "support/ui_probe.h"

namespace kill_trials {

struct Plan {
    int trials = 200;          // kills wanted
    int minTrials = 60;        // kills done whatever the time
    DWORD budgetMs = 90000;    // no new child after this, once minTrials are done
    int lanes = 4;
    DWORD maxDelayMs = 20;     // random wait between the child's first change and the kill
    unsigned seed = 12345;
};

// commandFor(lane, trial, readyEvent) gives the child's command line; the
// child sets the named event after its first complete change. afterKill(lane,
// trial) checks the lane's file (with gtest assertions); returning false
// stops the run. Returns the number of kills done.
inline int run(const Plan& plan,
               const std::function<std::wstring(int lane, int trial, const std::wstring& readyEvent)>& commandFor,
               const std::function<bool(int lane, int trial)>& afterKill) {
    struct Lane {
        std::unique_ptr<uitest::Process> child;
        HANDLE ready = nullptr;
    };
    std::vector<Lane> lanes(size_t(plan.lanes));
    auto launch = [&](int lane, int trial) {
        std::wstring eventName = L"pv-kill-ready-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(trial);
        Lane& l = lanes[size_t(lane)];
        l.ready = CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
        l.child.reset(new uitest::Process);
        return l.ready && l.child->start(commandFor(lane, trial, eventName));
    };
    const DWORD startTime = GetTickCount();
    for (int i = 0; i < plan.lanes; ++i) {
        if (!launch(i, i)) {
            ADD_FAILURE() << "the child could not be started";
            return 0;
        }
    }
    std::mt19937 random(plan.seed);
    int trial = 0;
    for (; trial < plan.trials; ++trial) {
        const int lane = trial % plan.lanes;
        Lane& l = lanes[size_t(lane)];
        if (!l.child)
            break;  // out of time: the remaining children have been checked
        HANDLE both[2] = {l.ready, l.child->handle()};
        if (WaitForMultipleObjects(2, both, FALSE, 30000) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "the child did not make its first change (trial " << trial << ")";
            break;
        }
        Sleep(DWORD(random() % (plan.maxDelayMs + 1)));
        TerminateProcess(l.child->handle(), 0xDEAD);
        const bool ended = l.child->wait(10000);
        CloseHandle(l.ready);
        l.ready = nullptr;
        l.child.reset();
        if (!ended) {
            ADD_FAILURE() << "the killed child did not end (trial " << trial << ")";
            break;
        }
        if (!afterKill(lane, trial))
            break;
        const bool overBudget = GetTickCount() - startTime > plan.budgetMs && trial + 1 >= plan.minTrials;
        if (trial + plan.lanes < plan.trials && !overBudget && !launch(lane, trial + plan.lanes)) {
            ADD_FAILURE() << "the child could not be started (trial " << trial + plan.lanes << ")";
            break;
        }
    }
    for (Lane& l : lanes) {
        if (l.ready)
            CloseHandle(l.ready);
    }
    return trial;
}

// The bytes of a file that a killed child may still hold for a moment.
inline std::string readAfterKill(const std::wstring& path) {
    std::string text;
    for (int attempt = 0; attempt < 100; ++attempt) {
        bool exists = false;
        text = uitest::readFile(path, &exists);
        if (exists)
            break;
        Sleep(10);
    }
    return text;
}

} // namespace kill_trials
