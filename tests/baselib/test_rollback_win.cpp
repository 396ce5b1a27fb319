// Files changed through a working copy: creation rules, rollback, commit,
// failed commits. Processes killed in the middle of commits: the repository
// torture test, whose saves go through this storage.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "baselib/storage_folder_win.h"
#include "baselib/svr_storage.h"
#include "text_helpers.h"

using namespace Solvaris;
using text_helpers::codeOf;
using text_helpers::readAll;
using text_helpers::str;
using text_helpers::thrownBy;

namespace {

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
    Exception dup = thrownBy([&] { r->duplicate(); });
    EXPECT_EQ(dup.code(), 4);
    EXPECT_TRUE(text_helpers::endsWith(str(dup.message()), "DiskStorageWithRollback: could not duplicate the storage!\n"));
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

    // A file the storage creates takes its name only on commit (a kill
    // before leaves no cut file there), and then stays.
    s = DiskStorageWithRollback::create(dir.at(L"new"), accessReadWrite, createNew);
    writeText(s.get(), "fresh");
    EXPECT_EQ(GetFileAttributesW(dir.path(L"new").c_str()), INVALID_FILE_ATTRIBUTES);
    s->commit();
    s = nullptr;
    EXPECT_EQ(uitest::readFile(dir.path(L"new")), "fresh");
    EXPECT_EQ(dir.files().size(), 2u);
}

// The working copy is made with block reads of 64 KiB; the end that an
// earlier read ran into must not cut that copy short.
TEST(RollbackStorage, CommitAfterReadingToTheEndKeepsTheWholeFile) {
    ScratchFolder dir(L"rb-eof");
    std::string content(100000, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = char('a' + i % 26);
    ASSERT_TRUE(uitest::writeFile(dir.path(L"t"), content));
    AutoPtr<DiskStorageWithRollback> s = DiskStorageWithRollback::create(dir.at(L"t"), accessReadWrite, openExisting);
    char buf[4096];
    while (s->readBytes(buf, sizeof buf) != 0) {
    }
    s->setPos(0);
    writeText(s.get(), "#");
    s->commit();
    s = nullptr;
    content[0] = '#';
    const std::string after = uitest::readFile(dir.path(L"t"));
    EXPECT_EQ(after.size(), content.size());
    EXPECT_TRUE(after == content);
}

// A commit that cannot replace the file (here: someone else reads it and
// does not share deletion) leaves the old content in place and the changes
// in the storage, which goes on working on them; released, it leaves no
// working file. While the commit waits, another user of the folder tries
// to write into the working file, or to hold it so that the storage loses
// it: neither may ever succeed, and no byte of theirs may appear.
TEST(RollbackStorage, FailedCommitKeepsTheOldContent) {
    for (bool keepsIt : {false, true}) {
        SCOPED_TRACE(keepsIt ? "the intruder holds the working file" : "the intruder writes into it");
        ScratchFolder dir(L"rb-fail");
        std::wstring target = dir.path(L"t");
        ASSERT_TRUE(uitest::writeFile(target, "old"));
        HANDLE reader = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(reader, INVALID_HANDLE_VALUE);
        AutoPtr<DiskStorageWithRollback> s =
            DiskStorageWithRollback::create(dir.at(L"t"), accessReadWrite, openExisting);
        writeText(s.get(), "NEW");
        std::wstring work;
        for (const std::wstring& name : dir.files())
            if (name.rfind(L"~wt", 0) == 0)
                work = dir.path(name);
        ASSERT_FALSE(work.empty());
        std::atomic<bool> committing{true};
        HANDLE taken = INVALID_HANDLE_VALUE;
        std::thread intruder([&] {
            while (committing && taken == INVALID_HANDLE_VALUE) {
                taken = CreateFileW(work.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    0, nullptr);
                Sleep(1);
            }
            if (taken == INVALID_HANDLE_VALUE)
                return;
            DWORD written = 0;
            WriteFile(taken, "PLANTED", 7, &written, nullptr);
            if (!keepsIt) {
                CloseHandle(taken);
                taken = INVALID_HANDLE_VALUE;
            }
        });
        Exception e = thrownBy([&] { s->commit(); });
        committing = false;
        intruder.join();
        EXPECT_EQ(taken, INVALID_HANDLE_VALUE) << "the working file was opened by someone else";
        if (taken != INVALID_HANDLE_VALUE)
            CloseHandle(taken);
        EXPECT_EQ(e.code(), 26);
        EXPECT_TRUE(text_helpers::endsWith(
            str(e.message()), "DiskStorageWithRollback::commit: CRITICAL ERROR: FileUtils::replaceFile failed for " +
                                  uitest::narrow(target) + ", no way to recover!\n\n"))
            << str(e.message());
        EXPECT_EQ(uitest::readFile(target), "old");
        EXPECT_EQ(readAll(s.get()), "NEW");
        // Later writes still go to the working file, never to the target.
        s->setPos(3);
        writeText(s.get(), "!");
        EXPECT_TRUE(hasWorkingFile(dir));
        CloseHandle(reader);
        EXPECT_EQ(uitest::readFile(target), "old");
        // Once the reader is gone the same storage commits.
        s->commit();
        EXPECT_FALSE(hasWorkingFile(dir));
        s->setPos(0);
        writeText(s.get(), "X");
        s = nullptr;
        EXPECT_EQ(uitest::readFile(target), "NEW!");
        EXPECT_FALSE(hasWorkingFile(dir));
    }
}
