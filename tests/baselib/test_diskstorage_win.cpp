// Disk storages: sharing, open failures, byte-range locks, temporary files;
// files changed through a working copy (rollback storage): rollback,
// commit, failed commits. Reads, moves and duplicates of both are in
// test_storage.cpp; processes killed in the middle of commits in the
// repository torture test, whose saves go through the rollback storage.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "baselib/svr_storage.h"
#include "support/test_kit.h"

using namespace Solvaris;
using namespace testkit;

namespace {

void writeText(Storage* s, const std::string& text) {
    s->writeBytes(text.data(), uint32_t(text.size()));
}

// The storage's working file in the folder ("~wt..."), or an empty path.
fs::path workingFile(const ScratchFolder& dir) {
    for (const std::string& name : dir.files())
        if (name.rfind("~wt", 0) == 0)
            return dir / name;
    return {};
}
bool hasWorkingFile(const ScratchFolder& dir) { return !workingFile(dir).empty(); }

} // namespace

TEST(DiskStorage, WritersHoldTheFileAloneReadersShare) {
    ScratchFolder dir("disk-write");
    String path = dir.lib("w.bin");
    AutoPtr<DiskStorage> w = DiskStorage::create(path, accessReadWrite, creationDefault);
    w->writeBytes("abc", 3);
    w->flushBuffer();
    uint64_t now = uint64_t(time(nullptr));
    EXPECT_LE(w->getLastModified(), now + 2);
    EXPECT_GE(w->getLastModified() + 60, now);

    // A writer holds the file alone; readers share it with readers.
    EXPECT_FALSE(DiskStorage::create(path, accessRead, openExisting, false));
    w = nullptr;
    AutoPtr<DiskStorage> r1 = DiskStorage::create(path, accessRead, openExisting);
    AutoPtr<DiskStorage> r2 = DiskStorage::create(path, accessRead, openExisting);
    EXPECT_EQ(codeOf([&] { DiskStorage::create(path, accessWrite, openExisting); }), 26);  // sharing violation
    r1 = r2 = nullptr;

    // creationDefault with write access starts the file afresh.
    AutoPtr<DiskStorage> again = DiskStorage::create(path, accessWrite, creationDefault);
    EXPECT_EQ(again->getSize(), 0u);
}

// Open failures of both layers; disk failures name the call and keep the
// system's error.
TEST(DiskStorage, OpenFailures) {
    ScratchFolder dir("disk-open");
    ASSERT_TRUE(writeFile(dir / "old", "old"));
    const struct { bool rollback; const char* name; AccessMode access; CreationMode creation; int code; } cases[] = {
        {false, "missing", accessRead, creationDefault, 12},
        {false, "missing", accessReadWrite, openExisting, 12},
        {false, "missing", accessReadWrite, truncateExisting, 12},
        {false, "no-folder\\x", accessReadWrite, createAlways, 12},
        {false, "old", accessReadWrite, createNew, 26},
        {true, "old", accessReadWrite, createNew, 10},
        {true, "missing", accessReadWrite, openExisting, 12},
        {true, "missing", accessWrite, truncateExisting, 12},
        {true, "missing", accessRead, creationDefault, 12},
        {true, "old", accessRead, openAlways, 7},
        {true, "old", accessNone, openExisting, 7},
        {true, "old", AccessMode(7), openExisting, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rollback << c.name << c.access << c.creation);
        if (c.rollback) {
            EXPECT_EQ(codeOf([&] { DiskStorageWithRollback::create(dir.lib(c.name), c.access, c.creation); }), c.code);
            continue;
        }
        EXPECT_FALSE(DiskStorage::create(dir.lib(c.name), c.access, c.creation, false));
        try {
            DiskStorage::create(dir.lib(c.name), c.access, c.creation);
            ADD_FAILURE() << "no exception thrown";
        } catch (const PlatformException& e) {   // any other exception fails the test
            EXPECT_EQ(e.code(), c.code);
            EXPECT_TRUE(endsWith(str(e.message()), " CreateFileW\n")) << str(e.message());
            EXPECT_NE(e.platformError(), 0u);
        }
    }
    // Read access to a rollback storage: no writes, and a commit changes nothing.
    AutoPtr<DiskStorageWithRollback> r = DiskStorageWithRollback::create(dir.lib("old"), accessRead);
    EXPECT_EQ(readAll(r.get()), "old");
    EXPECT_NE(codeOf([&] { writeText(r.get(), "x"); }), 0);
    r->commit();
    r = nullptr;
    EXPECT_EQ(readFile(dir / "old"), "old");
    EXPECT_EQ(dir.files().size(), 1u);
}

TEST(DiskStorage, RangeLocksWithLengthZeroRunToTheEndOfTheRange) {
    ScratchFolder dir("disk-lock");
    ASSERT_TRUE(writeFile(dir / "l", "0123456789"));
    AutoPtr<DiskStorage> a = DiskStorage::create(dir.lib("l"), accessRead, openExisting);
    AutoPtr<DiskStorage> b = DiskStorage::create(dir.lib("l"), accessRead, openExisting);

    a->lock(10, 0, true);  // offset 10 up to 2^64 - 1
    const struct { uint64_t offset, length; bool free; } probes[] = {
        {0, 10, true}, {9, 1, true}, {9, 2, false}, {~uint64_t(0) - 1, 1, false}, {0, 0, false},
    };
    for (const auto& p : probes) {
        SCOPED_TRACE(testing::Message() << p.offset << "+" << p.length);
        bool got = b->tryLock(p.offset, p.length, false);
        EXPECT_EQ(got, p.free);
        if (got)
            b->unlock(p.offset, p.length);
    }
    a->unlock(10, 0);
    EXPECT_TRUE(b->tryLock(0, 0, true));
    EXPECT_FALSE(a->tryLock(5, 1, false));
    b->unlock(0, 0);
    // Unlocking a range that is not locked is an error of its own.
    EXPECT_NE(codeOf([&] { b->unlock(0, 0); }), 0);
    // Shared locks coexist and keep exclusive ones out.
    a->lock(0, 4, false);
    EXPECT_TRUE(b->tryLock(0, 4, false));
    EXPECT_FALSE(b->tryLock(0, 4, true));
}

TEST(DiskStorage, TemporaryFilesHaveNoNameAndVanishWithTheLastHandle) {
    auto vspFiles = [] {   // the temporary files' names: VSP*.tmp
        int n = 0;
        for (const fs::directory_entry& e : fs::directory_iterator(fs::temp_directory_path()))
            n += e.path().filename().u8string().rfind("VSP", 0) == 0 && e.path().extension() == ".tmp";
        return n;
    };
    int before = vspFiles();
    AutoPtr<DiskStorage> t = DiskStorage::createTemp();
    EXPECT_TRUE(t->getName().isEmpty());
    t->writeBytes("scratch", 7);
    AutoPtr<Storage> d = t->duplicate();
    t = nullptr;
    EXPECT_EQ(readAll(d.get()), "scratch");
    d = nullptr;
    EXPECT_EQ(vspFiles(), before);
}

// Released without commit (0), a rollback storage leaves everything as it
// was. Committed after its changes (1), the file holds them, the storage
// keeps its position, and a later change starts a new working copy of the
// committed content, which the release drops. Committed before any change
// (2), the file holds what the storage showed (an emptied file too). A file
// the storage creates takes its name only on commit (a kill before leaves no
// cut file there).
TEST(RollbackStorage, ReleasedOrCommittedWithEveryCreationMode) {
    // exists: the target exists beforehand; seen: what the storage shows
    // before any write.
    const struct { CreationMode creation; bool exists; const char* seen; } cases[] = {
        {openExisting, true, "old content"},
        {openAlways, true, "old content"},
        {createAlways, true, ""},
        {truncateExisting, true, ""},
        {openAlways, false, ""},
        {createNew, false, ""},
    };
    for (const auto& c : cases)
        for (int commit : {0, 1, 2}) {
            SCOPED_TRACE(testing::Message() << c.creation << " " << c.exists << " " << commit);
            ScratchFolder dir("rb-rollback");
            if (c.exists) {
                ASSERT_TRUE(writeFile(dir / "t", "old content"));
            }
            std::string changed = c.seen;   // gaps read as zeros
            changed.resize(4, '\0');
            changed += "NEW";
            {
                AutoPtr<DiskStorageWithRollback> s =
                    DiskStorageWithRollback::create(dir.lib("t"), accessReadWrite, c.creation);
                EXPECT_EQ(readAll(s.get()), c.seen);
                // Held alone while it is open.
                EXPECT_FALSE(DiskStorage::create(dir.lib("t"), accessRead, openExisting, false));
                if (commit == 2)
                    s->commit();
                s->setPos(4);
                writeText(s.get(), "NEW!");
                s->setPos(7);
                s->setEof();
                EXPECT_TRUE(hasWorkingFile(dir));
                EXPECT_EQ(GetFileAttributesW((dir / "t").c_str()) != INVALID_FILE_ATTRIBUTES, c.exists || commit == 2);
                if (commit == 1) {
                    s->commit();
                    EXPECT_FALSE(hasWorkingFile(dir));
                    EXPECT_EQ(s->getPos(), 7u);
                    s->setPos(0);
                    writeText(s.get(), "X");
                    EXPECT_EQ(readAll(s.get()), "X" + changed.substr(1));
                }
            }
            const bool exists = fs::exists(dir / "t");
            EXPECT_EQ(exists, c.exists || commit > 0);
            EXPECT_EQ(readFile(dir / "t"), commit == 1 ? changed : commit == 2 || !c.exists ? c.seen : "old content");
            EXPECT_FALSE(hasWorkingFile(dir));
            EXPECT_EQ(dir.files().size(), exists ? 1u : 0u);
        }
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
        ScratchFolder dir("rb-fail");
        const fs::path target = dir / "t";
        ASSERT_TRUE(writeFile(target, "old"));
        HANDLE reader = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(reader, INVALID_HANDLE_VALUE);
        AutoPtr<DiskStorageWithRollback> s =
            DiskStorageWithRollback::create(dir.lib("t"), accessReadWrite, openExisting);
        writeText(s.get(), "NEW");
        const std::wstring work = workingFile(dir).wstring();
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
        EXPECT_EQ(codeOf([&] { s->commit(); }), 26);
        committing = false;
        intruder.join();
        EXPECT_EQ(taken, INVALID_HANDLE_VALUE) << "the working file was opened by someone else";
        if (taken != INVALID_HANDLE_VALUE)
            CloseHandle(taken);
        EXPECT_EQ(readFile(target), "old");
        EXPECT_EQ(readAll(s.get()), "NEW");
        // Later writes still go to the working file, never to the target.
        s->setPos(3);
        writeText(s.get(), "!");
        EXPECT_TRUE(hasWorkingFile(dir));
        CloseHandle(reader);
        EXPECT_EQ(readFile(target), "old");
        // Once the reader is gone the same storage commits.
        s->commit();
        EXPECT_FALSE(hasWorkingFile(dir));
        s->setPos(0);
        writeText(s.get(), "X");
        s = nullptr;
        EXPECT_EQ(readFile(target), "NEW!");
        EXPECT_FALSE(hasWorkingFile(dir));
    }
}
