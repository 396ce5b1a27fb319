// Files changed through a working copy: creation rules, rollback, commit,
// failed commits, and a process killed at random moments in the middle of
// commits.
#include <gtest/gtest.h>

#include <windows.h>

#include <random>
#include <set>
#include <string>

#include "baselib/storage_folder_win.h"
#include "baselib/svr_storage.h"
#include "text_helpers.h"

using namespace Solvaris;
using text_helpers::codeOf;
using text_helpers::str;
using text_helpers::thrownBy;

namespace {

std::string readAll(Storage* s) {
    std::string out(size_t(s->getSize()), '\0');
    s->setPos(0);
    if (!out.empty())
        s->readBytes(&out[0], uint32_t(out.size()), true);
    return out;
}

void writeText(Storage* s, const std::string& text) {
    s->writeBytes(text.data(), uint32_t(text.size()));
}

bool hasWorkingFile(const ScratchFolder& dir) {
    for (const std::wstring& name : dir.files())
        if (name.rfind(L"~wt", 0) == 0)
            return true;
    return false;
}

} // namespace

TEST(RollbackStorage, CreationRules) {
    ScratchFolder dir(L"rb-create");
    ASSERT_TRUE(uitest::writeFile(dir.path(L"old"), "old"));
    const struct {
        const wchar_t* name;
        AccessMode access;
        CreationMode creation;
        int code;
    } cases[] = {
        {L"old", accessReadWrite, createNew, 10},
        {L"missing", accessReadWrite, openExisting, 12},
        {L"missing", accessWrite, truncateExisting, 12},
        {L"missing", accessRead, creationDefault, 12},
        {L"old", accessRead, openAlways, 7},
        {L"old", accessNone, openExisting, 7},
        {L"old", AccessMode(7), openExisting, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << uitest::narrow(c.name) << " " << c.access << " " << c.creation);
        EXPECT_EQ(codeOf([&] { DiskStorageWithRollback::create(dir.at(c.name), c.access, c.creation); }), c.code);
    }
    EXPECT_EQ(uitest::readFile(dir.path(L"old")), "old");
    EXPECT_EQ(dir.files().size(), 1u);

    AutoPtr<DiskStorageWithRollback> r = DiskStorageWithRollback::create(dir.at(L"old"), accessRead);
    EXPECT_EQ(readAll(r.get()), "old");
    EXPECT_EQ(codeOf([&] { r->duplicate(); }), 4);
    EXPECT_TRUE(text_helpers::endsWith(str(thrownBy([&] { r->duplicate(); }).message()),
                                       "DiskStorageWithRollback: could not duplicate the storage!\n"));
    EXPECT_NE(codeOf([&] { writeText(r.get(), "x"); }), 0);
    r->commit();
    r = nullptr;
    EXPECT_EQ(uitest::readFile(dir.path(L"old")), "old");
}

TEST(RollbackStorage, ReleasedWithoutCommitLeavesEverythingAsItWas) {
    const struct {
        CreationMode creation;
        bool exists;         // the target exists beforehand
        const char* seen;    // what the storage shows before any write
    } cases[] = {
        {openExisting, true, "old content"},
        {openAlways, true, "old content"},
        {createAlways, true, ""},
        {truncateExisting, true, ""},
        {openAlways, false, ""},
        {createNew, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.creation << " " << c.exists);
        ScratchFolder dir(L"rb-rollback");
        if (c.exists) {
            ASSERT_TRUE(uitest::writeFile(dir.path(L"t"), "old content"));
        }
        {
            AutoPtr<DiskStorageWithRollback> s = DiskStorageWithRollback::create(dir.at(L"t"), accessReadWrite, c.creation);
            EXPECT_EQ(readAll(s.get()), c.seen);
            // Held alone while it is open.
            EXPECT_FALSE(DiskStorage::create(dir.at(L"t"), accessRead, openExisting, false));
            s->setPos(4);
            writeText(s.get(), "NEW");
            s->setPos(0);
            s->setEof();
            writeText(s.get(), "changed");
        }
        bool exists = false;
        std::string after = uitest::readFile(dir.path(L"t"), &exists);
        EXPECT_EQ(exists, c.exists);
        if (c.exists) {
            EXPECT_EQ(after, "old content");
        }
        EXPECT_FALSE(hasWorkingFile(dir));
        EXPECT_EQ(dir.files().size(), c.exists ? 1u : 0u);
    }
}

TEST(RollbackStorage, CommitReplacesTheFileAndKeepsWorking) {
    ScratchFolder dir(L"rb-commit");
    ASSERT_TRUE(uitest::writeFile(dir.path(L"t"), "version one"));
    AutoPtr<DiskStorageWithRollback> s = DiskStorageWithRollback::create(dir.at(L"t"), accessReadWrite, openExisting);
    s->setPos(8);
    writeText(s.get(), "two");
    EXPECT_TRUE(hasWorkingFile(dir));
    EXPECT_EQ(uitest::readFile(dir.path(L"t")), "");  // still held alone: nothing to read from outside
    s->commit();
    EXPECT_FALSE(hasWorkingFile(dir));
    EXPECT_EQ(s->getPos(), 11u);
    EXPECT_EQ(readAll(s.get()), "version two");
    // Further changes start a new working copy of the committed content.
    s->setPos(0);
    s->setEof();
    writeText(s.get(), "three");
    s = nullptr;
    EXPECT_EQ(uitest::readFile(dir.path(L"t")), "version two");
    EXPECT_EQ(dir.files().size(), 1u);

    // A storage that starts empty commits an empty file even without writes.
    s = DiskStorageWithRollback::create(dir.at(L"t"), accessWrite, creationDefault);
    s->commit();
    s = nullptr;
    EXPECT_EQ(uitest::readFile(dir.path(L"t")), "");

    // A file the storage created stays once committed.
    s = DiskStorageWithRollback::create(dir.at(L"new"), accessReadWrite, createNew);
    writeText(s.get(), "fresh");
    s->commit();
    s = nullptr;
    EXPECT_EQ(uitest::readFile(dir.path(L"new")), "fresh");
    EXPECT_EQ(dir.files().size(), 2u);
}

// A commit that cannot replace the file (here: someone else reads it and
// does not share deletion) leaves the old content in place and the changes
// in the storage, which goes on working on them; released, it leaves no
// working file.
TEST(RollbackStorage, FailedCommitKeepsTheOldContent) {
    ScratchFolder dir(L"rb-fail");
    std::wstring target = dir.path(L"t");
    ASSERT_TRUE(uitest::writeFile(target, "old"));
    HANDLE reader = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    AutoPtr<DiskStorageWithRollback> s = DiskStorageWithRollback::create(dir.at(L"t"), accessReadWrite, openExisting);
    writeText(s.get(), "NEW");
    Exception e = thrownBy([&] { s->commit(); });
    EXPECT_EQ(e.code(), 26);
    EXPECT_TRUE(text_helpers::endsWith(
        str(e.message()), "DiskStorageWithRollback::commit: CRITICAL ERROR: FileUtils::replaceFile failed for " +
                              uitest::narrow(target) + ", no way to recover!\n\n"))
        << str(e.message());
    EXPECT_EQ(uitest::readFile(target), "old");
    EXPECT_EQ(readAll(s.get()), "NEW");
    EXPECT_TRUE(hasWorkingFile(dir));
    // Once the reader is gone the same storage commits.
    CloseHandle(reader);
    s->commit();
    EXPECT_FALSE(hasWorkingFile(dir));
    s->setPos(0);
    writeText(s.get(), "X");
    s = nullptr;
    EXPECT_EQ(uitest::readFile(target), "NEW");
    EXPECT_FALSE(hasWorkingFile(dir));
}

// ---------------------------------------------------------------------------
// Crash safety: a child commits versions of a file in a loop and is killed
// at a random moment; the file must then hold one complete version.

namespace {

const wchar_t kCrashTarget[] = L"PV_RB_CRASH_TARGET";
const wchar_t kCrashReady[] = L"PV_RB_CRASH_READY";

// Version n: a header line, a body whose length and bytes follow from n, and
// an end line. Lengths vary so that commits both grow and shrink the file.
std::string versionText(uint32_t n) {
    uint32_t length = 200 + (n * 7919u) % 40000u;
    std::string body(length, '\0');
    for (uint32_t i = 0; i < length; ++i)
        body[i] = char('a' + (i * 31u + n) % 26u);
    return "BEGIN " + std::to_string(n) + " " + std::to_string(length) + "\n" + body + "\nEND " +
           std::to_string(n) + "\n";
}

// The version number the text is a complete copy of, or -1.
long parseVersion(const std::string& text) {
    unsigned long n = 0, length = 0;
    if (sscanf(text.c_str(), "BEGIN %lu %lu\n", &n, &length) != 2)
        return -1;
    return text == versionText(uint32_t(n)) ? long(n) : -1;
}

void commitVersion(const String& path, uint32_t n) {
    AutoPtr<DiskStorageWithRollback> s = DiskStorageWithRollback::create(path, accessReadWrite, openAlways);
    // Read the current header first, as a program updating its file would.
    char head[32] = {};
    s->readBytes(head, sizeof head - 1);
    std::string text = versionText(n);
    s->setPos(0);
    writeText(s.get(), text);
    s->setEof();
    s->commit();
}

} // namespace

TEST(RollbackStorage, KilledInTheMiddleOfCommitsLeavesOneCompleteVersion) {
    ScratchFolder dir(L"rb-crash");
    String target = dir.at(L"repo.xml");
    commitVersion(target, 0);
    std::wstring self = uitest::programPath(L"test_baselib.exe");
    std::wstring cmd = uitest::commandLine(
        self, {L"--gtest_also_run_disabled_tests", L"--gtest_filter=DISABLED_RollbackCrashChild.*"});
    std::mt19937 random(12345);
    std::set<long> seen;
    const int kTrials = 200;
    for (int trial = 0; trial < kTrials; ++trial) {
        std::wstring eventName = L"pv-rb-ready-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(trial);
        HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
        ASSERT_NE(ready, nullptr);
        uitest::Process child;
        ASSERT_TRUE(child.start(cmd, {{kCrashTarget, dir.path(L"repo.xml")},
                                      {kCrashReady, eventName},
                                      {L"PV_RB_CRASH_FIRST", std::to_wstring(trial * 100000 + 1)}}))
            << uitest::narrow(child.error());
        HANDLE both[2] = {ready, child.handle()};
        DWORD woke = WaitForMultipleObjects(2, both, FALSE, 20000);
        ASSERT_EQ(woke, WAIT_OBJECT_0) << "the child did not start committing (trial " << trial << ")";
        Sleep(DWORD(random() % 25));
        TerminateProcess(child.handle(), 0xDEAD);
        ASSERT_TRUE(child.wait(10000));
        CloseHandle(ready);

        // The killed child's handles may take a moment to go.
        std::string text;
        for (int attempt = 0; attempt < 100; ++attempt) {
            bool exists = false;
            text = uitest::readFile(dir.path(L"repo.xml"), &exists);
            if (exists)
                break;
            Sleep(10);
        }
        long version = parseVersion(text);
        ASSERT_GE(version, 0) << "trial " << trial << ": the file holds no complete version (" << text.size()
                              << " bytes)";
        seen.insert(version);
    }
    // Commits did happen between the kills (every child commits at least once).
    EXPECT_GE(seen.size(), size_t(kTrials));
}

// Not a test of its own: the child of the test above. Disabled so a normal
// run leaves it out; the parent runs it explicitly.
TEST(DISABLED_RollbackCrashChild, CommitsUntilKilled) {
    wchar_t target[MAX_PATH], ready[MAX_PATH], first[32];
    if (!GetEnvironmentVariableW(kCrashTarget, target, MAX_PATH) || !GetEnvironmentVariableW(kCrashReady, ready, MAX_PATH) ||
        !GetEnvironmentVariableW(L"PV_RB_CRASH_FIRST", first, 32))
        GTEST_SKIP() << "runs as the child of KilledInTheMiddleOfCommitsLeavesOneCompleteVersion";
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, ready);
    ASSERT_NE(event, nullptr);
    uint32_t n = uint32_t(wcstoul(first, nullptr, 10));
    commitVersion(String(target), n);
    SetEvent(event);
    for (uint32_t i = 1; i < 100000; ++i)
        commitVersion(String(target), n + i);
}
