// Repository saves under stress, with real processes: children killed at
// random moments in the middle of saves, and two children saving the same
// file at once while this process reads it. The file must always be one
// complete version, never missing and never a mix or a cut.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "baselib/storage_folder_win.h"
#include "repository_versions.h"
#include "support/kill_trials.h"
#include "support/ui_probe.h"

using namespace repository_versions;

namespace {

const uint32_t kSeedWriter = 9;

std::wstring childProgram() { return uitest::programPath(L"repository_save_child.exe"); }

} // namespace

// The pattern and budget of the storage crash test (support/kill_trials.h):
// 200 kills under 64-bit Wine, at least 60 where process starts are slow.
TEST(RepositoryTorture, KilledInTheMiddleOfSavesLeavesOneCompleteVersion) {
    ScratchFolder dir(L"repo-kill");
    kill_trials::Plan plan;
    std::vector<std::wstring> targets;
    for (int i = 0; i < plan.lanes; ++i) {
        targets.push_back(dir.path(L"db" + std::to_wstring(i) + L".dprepo"));
        ASSERT_TRUE(saveVersion(String(targets.back().c_str()), kSeedWriter, 0));
    }
    const int kills = kill_trials::run(
        plan,
        [&](int lane, int trial, const std::wstring& ready) {
            return uitest::commandLine(childProgram(), {targets[size_t(lane)], L"1",
                                                        std::to_wstring(trial * 100000 + 1), L"100000", ready});
        },
        [&](int lane, int trial) {
            kill_trials::readAfterKill(targets[size_t(lane)]);   // waits until the name is back
            uint32_t writer = 0, n = 0;
            std::string why;
            const bool whole = readVersion(String(targets[size_t(lane)].c_str()), &writer, &n, &why);
            EXPECT_TRUE(whole) << "trial " << trial << ": " << why;
            // The child saved at least once before it was killed: the file
            // is one of its versions, not the seed or an older child's.
            EXPECT_TRUE(writer == 1 && n > uint32_t(trial) * 100000) << "trial " << trial << ": version " << n;
            return whole;
        });
    std::printf("%d children killed in the middle of repository saves\n", kills);
    RecordProperty("kills", kills);
    EXPECT_GE(kills, plan.minTrials);
}

TEST(RepositoryTorture, TwoWritersAtOnceLeaveOneWritersWholeVersion) {
    ScratchFolder dir(L"repo-two");
    const std::wstring target = dir.path(L"db0.dprepo");
    const String path(target.c_str());
    ASSERT_TRUE(saveVersion(path, kSeedWriter, 0));
    const uint32_t kSaves = 100;
    uitest::Process writers[2];
    for (uint32_t w = 0; w < 2; ++w) {
        ASSERT_TRUE(writers[w].start(
            uitest::commandLine(childProgram(), {target, std::to_wstring(w + 1), L"1", std::to_wstring(kSaves)})));
    }
    // Reads while both run; each read is one whole version of one writer
    // (or still the seed).
    int reads = 0;
    std::set<uint32_t> seen;
    const DWORD start = GetTickCount();
    while ((writers[0].running() || writers[1].running()) && GetTickCount() - start < 120000) {
        uint32_t writer = 0, n = 0;
        std::string why;
        ASSERT_TRUE(readVersion(path, &writer, &n, &why)) << "read " << reads << ": " << why;
        seen.insert(writer);
        ++reads;
    }
    for (uitest::Process& w : writers) {
        ASSERT_TRUE(w.wait(10000));
        EXPECT_EQ(w.exitCode(), 0u) << "a save failed while the other writer saved";
    }
    uint32_t writer = 0, n = 0;
    std::string why;
    ASSERT_TRUE(readVersion(path, &writer, &n, &why)) << why;
    EXPECT_EQ(n, kSaves);   // the last save of whichever writer saved last
    EXPECT_FALSE(seen.empty());
    std::printf("%d reads while two writers saved; versions of %u writers seen\n", reads, unsigned(seen.size()));
    RecordProperty("reads", reads);
}
