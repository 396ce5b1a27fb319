// Disk storages: reads at and past the end, positioned reads, positions
// beyond the end, sharing, duplicates, byte-range locks, temporary files.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

#include "baselib/storage_folder_win.h"
#include "baselib/svr_storage.h"
#include "text_helpers.h"

using namespace Solvaris;
using text_helpers::codeOf;
using text_helpers::failsWith;
using text_helpers::readAll;
using text_helpers::str;

TEST(DiskStorage, ReadsAtAndPastTheEnd) {
    ScratchFolder dir(L"disk-read");
    ASSERT_TRUE(uitest::writeFile(dir.path(L"four"), "abcd"));
    AutoPtr<DiskStorage> s = DiskStorage::create(dir.at(L"four"), accessRead, creationDefault);
    char buf[16] = {};
    EXPECT_TRUE(failsWith([&] { s->readBytes(buf, 10, true); }, 16, "Could not read the bytes specified!"));

    s->setPos(0);
    EXPECT_EQ(s->readBytes(buf, 10), 4u);
    EXPECT_FALSE(s->isEof());  // the end shows only after a read that got nothing
    EXPECT_EQ(s->readBytes(buf, 10), 0u);
    EXPECT_TRUE(s->isEof());
    EXPECT_EQ(s->getPos(), 4u);
    // Any move ends that state.
    const std::function<void()> moves[] = {[&] { s->setPos(0); }, [&] { s->setPosRelative(-1); },
                                           [&] { s->setPosFromEnd(0); }};
    for (const auto& move : moves) {
        s->setPos(4);
        EXPECT_EQ(s->readBytes(buf, 10), 0u);
        move();
        EXPECT_FALSE(s->isEof());
    }

    // Far beyond the end, also past 4 GiB: nothing to read, no error.
    s->setPos(uint64_t(5) << 32);
    EXPECT_EQ(s->readBytes(buf, 3), 0u);
    EXPECT_EQ(codeOf([&] { s->readBytes(buf, 3, true); }), 16);
    s->setPos(1);
    EXPECT_EQ(codeOf([&] { s->setPosRelative(-2); }), 7);
    s->setPosFromEnd(-1);
    EXPECT_EQ(s->getPos(), 3u);
    EXPECT_EQ(codeOf([&] { s->setPosFromEnd(-5); }), 7);
}

TEST(DiskStorage, WritersHoldTheFileAloneReadersShare) {
    ScratchFolder dir(L"disk-write");
    String path = dir.at(L"w.bin");
    AutoPtr<DiskStorage> w = DiskStorage::create(path, accessReadWrite, creationDefault);
    w->writeBytes("abc", 3);
    w->flushBuffer();
    EXPECT_EQ(str(w->getName()), str(path));
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

TEST(DiskStorage, OpenFailures) {
    ScratchFolder dir(L"disk-open");
    const struct { const wchar_t* name; AccessMode access; CreationMode creation; int code; } cases[] = {
        {L"missing", accessRead, creationDefault, 12},
        {L"missing", accessReadWrite, openExisting, 12},
        {L"missing", accessReadWrite, truncateExisting, 12},
        {L"no-folder\\x", accessReadWrite, createAlways, 12},
        {L"exists", accessReadWrite, createNew, 26},
    };
    ASSERT_TRUE(uitest::writeFile(dir.path(L"exists"), "e"));
    for (const auto& c : cases) {
        SCOPED_TRACE(uitest::narrow(c.name));
        EXPECT_FALSE(DiskStorage::create(dir.at(c.name), c.access, c.creation, false));
        try {
            DiskStorage::create(dir.at(c.name), c.access, c.creation);
            ADD_FAILURE() << "no exception thrown";
        } catch (const PlatformException& e) {   // any other exception fails the test
            EXPECT_EQ(e.code(), c.code);
            EXPECT_TRUE(text_helpers::endsWith(str(e.message()), " CreateFileW\n")) << str(e.message());
            EXPECT_NE(e.platformError(), 0u);
        }
    }
    EXPECT_EQ(uitest::readFile(dir.path(L"exists")), "e");
}

TEST(DiskStorage, RangeLocksWithLengthZeroRunToTheEndOfTheRange) {
    ScratchFolder dir(L"disk-lock");
    ASSERT_TRUE(uitest::writeFile(dir.path(L"l"), "0123456789"));
    AutoPtr<DiskStorage> a = DiskStorage::create(dir.at(L"l"), accessRead, openExisting);
    AutoPtr<DiskStorage> b = DiskStorage::create(dir.at(L"l"), accessRead, openExisting);

    a->lock(10, 0, true);  // offset 10 up to 2^64 - 1
    const struct { uint64_t offset, length; bool free; } probes[] = {
        {0, 10, true}, {9, 1, true}, {9, 2, false}, {1000, 1, false},
        {uint64_t(1) << 40, 5, false}, {~uint64_t(0) - 1, 1, false}, {0, 0, false},
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
    std::string unlockFailure = str(text_helpers::thrownBy([&] { b->unlock(0, 0); }).message());
    EXPECT_TRUE(text_helpers::endsWith(unlockFailure, " UnlockFileEx failed!\n")) << unlockFailure;
    // Shared locks coexist.
    a->lock(0, 4, false);
    EXPECT_TRUE(b->tryLock(0, 4, false));
    EXPECT_FALSE(b->tryLock(0, 4, true));
    b->unlock(0, 4);
    a->unlock(0, 4);
    EXPECT_TRUE(b->tryLock(0, 4, true));
}

TEST(DiskStorage, TemporaryFilesHaveNoNameAndVanishWithTheLastHandle) {
    wchar_t folder[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, folder), 0u);
    auto vspFiles = [&] {
        int n = 0;
        WIN32_FIND_DATAW found;
        HANDLE h = FindFirstFileW((std::wstring(folder) + L"VSP*.tmp").c_str(), &found);
        if (h != INVALID_HANDLE_VALUE) {
            do
                ++n;
            while (FindNextFileW(h, &found));
            FindClose(h);
        }
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

// Random reads, writes, jumps, cuts and positioned reads on a disk storage,
// a duplicate of it and a memory storage, checked against a plain model:
// catches a file pointer that falls out of step with the storage's position.
TEST(DiskStorage, MixedOperationsMatchAModel) {
    ScratchFolder dir(L"disk-mixed");
    AutoPtr<DiskStorage> disk = DiskStorage::create(dir.at(L"m"), accessReadWrite, createAlways);
    AutoPtr<Storage> memory = MemoryStorage::create();
    AutoPtr<Storage> dup;
    std::string model;
    uint64_t pos[2] = {0, 0};  // the model's positions of disk (and memory), and of dup
    unsigned seed = 7;
    auto next = [&seed](unsigned n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    for (int step = 0; step < 3000; ++step) {
        SCOPED_TRACE(step);
        if (step == 1000)
            dup = disk->duplicate(), pos[1] = pos[0];
        bool onDup = dup && next(2);
        Storage* s = onDup ? dup.get() : disk.get();
        uint64_t& p = pos[onDup ? 1 : 0];
        switch (next(5)) {
        case 0: {  // write
            std::string bytes(next(40) + 1, char('a' + step % 26));
            s->writeBytes(bytes.data(), uint32_t(bytes.size()));
            uint64_t memoryPos = memory->getPos();
            memory->setPos(p);
            memory->writeBytes(bytes.data(), uint32_t(bytes.size()));
            if (onDup)
                memory->setPos(memoryPos);
            if (model.size() < p + bytes.size())
                model.resize(size_t(p + bytes.size()), '\0');
            model.replace(size_t(p), bytes.size(), bytes);
            p += bytes.size();
            break;
        }
        case 1: {  // read
            char buf[64];
            uint32_t want = next(60) + 1;
            uint32_t got = s->readBytes(buf, want);
            std::string expected = p < model.size() ? model.substr(size_t(p), want) : std::string();
            ASSERT_EQ(std::string(buf, got), expected);
            ASSERT_EQ(s->isEof(), got == 0) << "the end shows after a read that got nothing, and only then";
            if (!onDup) {
                uint32_t gotMemory = memory->readBytes(buf, want);
                ASSERT_EQ(std::string(buf, gotMemory), expected);
            }
            p += got;
            break;
        }
        case 2: {  // jump
            uint64_t to = next(uint32_t(model.size()) + 20);
            s->setPos(to);
            if (!onDup)
                memory->setPos(to);
            p = to;
            break;
        }
        case 3: {  // positioned read
            char buf[32];
            uint64_t at = next(uint32_t(model.size()) + 10);
            uint32_t got = dynamic_cast<BlockReadStorage*>(disk.get())->readBytes(buf, at, 20, false);
            ASSERT_EQ(std::string(buf, got), at < model.size() ? model.substr(size_t(at), 20) : std::string());
            break;
        }
        case 4:  // cut, now and then
            if (next(8) == 0 && !onDup) {
                s->setEof();
                memory->setEof();
                model.resize(size_t(p), '\0');
            }
            break;
        }
        ASSERT_EQ(s->getPos(), p);
        ASSERT_EQ(disk->getSize(), model.size());
    }
    EXPECT_EQ(readAll(disk.get()), model);
    EXPECT_EQ(readAll(memory.get()), model);
}
