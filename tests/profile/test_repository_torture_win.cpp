// Repository saves under stress, with real processes: children killed at
// random moments in the middle of saves, and two children saving the same
// file at once while this process reads it. The file must always hold whole
// versions (of each writer in it, one), never be missing, a mix of two
// versions of one writer or a cut. The children are
// this program running DISABLED_RepositoryChild.Saves.
//
// Version n of writer w holds the profiles "w-n-k" for k below a count that
// follows from n, each with a description whose length and bytes follow from
// n and k, so that the files grow and shrink from save to save and any mix of
// two versions, or a cut, shows.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>

#include "profile/djv_profiles.h"
#include "profile/djv_profilexml.h"
#include "profile/djv_xmlhelper.h"
#include "support/test_kit_win.h"

using namespace Solvaris::DjVu;
using Solvaris::AutoPtr;
using Solvaris::String;
using testkit::S;

namespace {

uint32_t profileCount(uint32_t n) { return 1 + (n * 7919u) % 9; }
std::string nameOf(uint32_t writer, uint32_t n, uint32_t k) {
    return std::to_string(writer) + "-" + std::to_string(n) + "-" + std::to_string(k);
}
std::string descriptionOf(uint32_t n, uint32_t k) {
    std::string text(50 + (n * 31u + k * 977u) % 3000u, ' ');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = char('a' + (i * 7u + n + k) % 26u);
    return text;
}

// Opens the repository, replaces all its profiles by those of version n of
// the writer and saves it; save's answer.
bool saveVersion(const String& path, uint32_t writer, uint32_t n) {
    AutoPtr<ProfileRepository> repo = ProfileRepository::create(path);
    Solvaris::SimpleArray<String> names;
    repo->getProfileNames(names);
    for (const String& name : names)
        if (name != String(kBuiltInProfileName))
            repo->removeProfile(name);
    for (uint32_t k = 0; k < profileCount(n); ++k)
        repo->installProfile(Profile::create(S(nameOf(writer, n, k)), S(descriptionOf(n, k))).get(), String());
    return repo->save();
}

// Whether the file holds, of each writer in it, one complete version: the
// writers and their version numbers, or why not. (Two writers' versions
// may stand side by side: a saver keeps what it did not read.)
::testing::AssertionResult readVersions(const String& path, std::map<uint32_t, uint32_t>* versions) {
    versions->clear();
    const testkit::Thrown t = testkit::thrown([&] {
        AutoPtr<XmlParse::XmlElement> root = XmlParse::readXmlFile(path);
        if (!ProfileXml::isElement(*root, "repository") || root->getChildCount() == 0)
            throw 0;
        std::map<uint32_t, uint32_t> counts;
        for (uint32_t i = 0; i < root->getChildCount(); ++i) {
            unsigned w = 0, v = 0, k = 0;
            const String name = root->getChild(i)->getAttrString("name");
            if (std::sscanf(name.c_str(), "%u-%u-%u", &w, &v, &k) != 3 || (versions->count(w) && (*versions)[w] != v) ||
                k >= profileCount(v) || root->getChild(i)->getAttrString("description") != S(descriptionOf(v, k)))
                throw 0;
            (*versions)[w] = v;
            ++counts[w];
        }
        for (const auto& [w, v] : *versions)
            if (counts[w] != profileCount(v))
                throw 0;
    });
    if (t.code == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << (t.code == -1 ? "not whole versions" : t.message);
}

// Starts a child saving `count` versions from `first` on as `writer`; it
// sets the named event after its first save.
bool startChild(uitest::Process& child, const std::wstring& target, uint32_t writer, uint32_t first, uint32_t count,
                const std::wstring& event = L"-") {
    const std::wstring job = std::to_wstring(writer) + L" " + std::to_wstring(first) + L" " + std::to_wstring(count) +
                             L" " + event + L" " + target;
    return testkit::startChild(child, L"DISABLED_RepositoryChild.Saves", job);
}

} // namespace

// Not a test of its own: the child of the tests below.
TEST(DISABLED_RepositoryChild, Saves) {
    const std::wstring job = testkit::childJob();
    if (job.empty())
        GTEST_SKIP() << "only as the child of the repository torture tests";
    uint32_t writer = 0, first = 0, count = 0;
    std::wstring event, target;
    std::wistringstream in(job);
    in >> writer >> first >> count >> event >> std::ws;
    std::getline(in, target);
    HANDLE ready = event != L"-" ? OpenEventW(EVENT_MODIFY_STATE, FALSE, event.c_str()) : nullptr;
    for (uint32_t i = 0; i < count; ++i) {
        ASSERT_TRUE(saveVersion(String(target.c_str()), writer, first + i)) << "version " << first + i;
        if (i == 0 && ready)
            SetEvent(ready);
    }
}

// 200 kills; where process starts are slow (32-bit Wine under QEMU) no new
// child starts after 90 s once 60 are done. Four children run at a time, each
// on a file of its own (a lane), so the others start and work while one is
// killed and checked.
TEST(RepositoryTorture, KilledInTheMiddleOfSavesLeavesOneCompleteVersion) {
    testkit::ScratchFolder dir("repo-kill");
    const int kTrials = 200, kMinTrials = 60, kLanes = 4;
    const DWORD kBudgetMs = 90000, kMaxDelayMs = 20;
    struct Lane {
        uitest::Process child;
        Solvaris_Win32::UniqueHandle ready;
        std::wstring target;
    } lanes[kLanes];
    // Wine now and then refuses a process start while killed children are
    // still being torn down; a start is tried three times before the test
    // gives up (what is tested is the file, not the start).
    auto launch = [&](int trial) {
        Lane& l = lanes[trial % kLanes];
        const std::wstring event = uitest::uniqueName(L"kill-ready");
        l.ready.reset(CreateEventW(nullptr, TRUE, FALSE, event.c_str()));
        bool started = false;
        for (int attempt = 0; l.ready && !started && attempt < 3; ++attempt) {
            if (attempt > 0)
                Sleep(200);
            started = startChild(l.child, l.target, 1, trial * 100000 + 1, 100000, event);
        }
        return started;
    };
    for (int i = 0; i < kLanes; ++i) {
        lanes[i].target = (dir / ("db" + std::to_string(i) + ".dprepo")).wstring();
        ASSERT_TRUE(saveVersion(String(lanes[i].target.c_str()), 9, 0));
        ASSERT_TRUE(launch(i));
    }
    const DWORD start = GetTickCount();
    std::mt19937 random(12345);
    int trial = 0;
    for (; trial < kTrials && lanes[trial % kLanes].ready; ++trial) {
        Lane& l = lanes[trial % kLanes];
        HANDLE both[2] = {l.ready.get(), l.child.handle()};
        ASSERT_EQ(WaitForMultipleObjects(2, both, FALSE, 30000), WAIT_OBJECT_0)
            << "the child did not make its first save (trial " << trial << ")";
        Sleep(DWORD(random() % (kMaxDelayMs + 1)));
        l.child.terminate();
        l.ready.reset();
        ASSERT_FALSE(l.child.running()) << "the killed child did not end (trial " << trial << ")";
        std::map<uint32_t, uint32_t> versions;
        for (int wait = 0; wait < 100 && !std::filesystem::exists(l.target); ++wait)
            Sleep(10);   // a killed child may still hold the name for a moment
        ASSERT_TRUE(readVersions(String(l.target.c_str()), &versions)) << "trial " << trial;
        // The child saved at least once before it was killed: the file is
        // one of its versions, not the seed or an older child's.
        EXPECT_TRUE(versions.size() == 1 && versions.count(1) && versions[1] > uint32_t(trial) * 100000)
            << "trial " << trial << ": version " << versions.begin()->second;
        const bool overBudget = GetTickCount() - start > kBudgetMs && trial + 1 >= kMinTrials;
        if (trial + kLanes < kTrials && !overBudget) {
            ASSERT_TRUE(launch(trial + kLanes))
                << "trial " << trial + kLanes << ": " << uitest::narrow(lanes[trial % kLanes].child.error());
        }
    }
    std::printf("%d children killed in the middle of repository saves\n", trial);
    RecordProperty("kills", trial);
    EXPECT_GE(trial, kMinTrials);
}

TEST(RepositoryTorture, TwoWritersAtOnceLeaveWholeVersions) {
    testkit::ScratchFolder dir("repo-two");
    const std::wstring target = (dir / "db0.dprepo").wstring();
    const String path(target.c_str());
    ASSERT_TRUE(saveVersion(path, 9, 0));
    const uint32_t kSaves = 100;
    uitest::Process writers[2];
    for (uint32_t w = 0; w < 2; ++w)
        ASSERT_TRUE(startChild(writers[w], target, w + 1, 1, kSaves));
    // Reads while both run; each read is whole versions of one writer or
    // both (or still the seed).
    int reads = 0;
    std::set<uint32_t> seen;
    std::map<uint32_t, uint32_t> versions;
    const DWORD start = GetTickCount();
    while ((writers[0].running() || writers[1].running()) && GetTickCount() - start < 120000) {
        ASSERT_TRUE(readVersions(path, &versions)) << "read " << reads;
        for (const auto& [w, v] : versions)
            seen.insert(w);
        ++reads;
    }
    for (uitest::Process& w : writers) {
        ASSERT_TRUE(w.wait(10000));
        EXPECT_EQ(w.exitCode(), 0u) << "a save failed while the other writer saved";
    }
    ASSERT_TRUE(readVersions(path, &versions));
    // Each writer's last save removed what it read of the other's: what is
    // left of a writer is its last version.
    for (const auto& [w, v] : versions)
        EXPECT_EQ(v, kSaves) << "writer " << w;
    EXPECT_FALSE(seen.empty());
    std::printf("%d reads while two writers saved; versions of %u writers seen\n", reads, unsigned(seen.size()));
    RecordProperty("reads", reads);
}
