// Disk storage reads against plain ReadFile on a handle of its own, measured
// in the same run on one 64 MiB file (in the system's cache after the first
// pass):
//  - sequential reads of the whole file in 4 KiB and 64 KiB pieces;
//  - positioned reads of 4 KiB at random offsets (BlockReadStorage against
//    SetFilePointerEx + ReadFile).
// Each line prints both times (best of several runs) and their ratio; a
// ratio below 1 means the storage is faster.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_timing.h"
#include "baselib/svr_handle_win.h"
#include "baselib/svr_storage.h"

using namespace Solvaris;

namespace {

void report(const char* what, double ours, double theirs) {
    std::printf("%-40s DiskStorage %9.3f ms   ReadFile %9.3f ms   ratio %.2f\n", what, ours, theirs,
                theirs > 0 ? ours / theirs : 0.0);
}

} // namespace

int main() {
    const uint32_t kTotal = 64u << 20;
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    std::wstring path = std::wstring(folder) + L"pv-bench-disk-" + std::to_wstring(GetCurrentProcessId()) + L".bin";
    String name(path.c_str());
    {
        AutoPtr<DiskStorage> w = DiskStorage::create(name, accessWrite, createAlways);
        std::vector<uint8_t> block(1 << 20);
        for (size_t i = 0; i < block.size(); ++i)
            block[i] = uint8_t(i * 7);
        for (uint32_t at = 0; at < kTotal; at += uint32_t(block.size()))
            w->writeBytes(block.data(), uint32_t(block.size()));
    }
    AutoPtr<DiskStorage> s = DiskStorage::create(name, accessRead, openExisting);
    const Solvaris_Win32::UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, nullptr));
    const HANDLE h = file.get();
    std::vector<uint8_t> buffer(1 << 16);

    for (uint32_t piece : {4096u, 65536u}) {
        double theirs = bestMs(5, [&] {
            LARGE_INTEGER zero = {};
            SetFilePointerEx(h, zero, nullptr, FILE_BEGIN);
            DWORD got = 0;
            uint64_t total = 0;
            while (ReadFile(h, buffer.data(), piece, &got, nullptr) && got)
                total += got;
            g_sink += total;
        });
        double ours = bestMs(5, [&] {
            s->setPos(0);
            uint64_t total = 0;
            while (uint32_t got = s->readBytes(buffer.data(), piece))
                total += got;
            g_sink += total;
        });
        char what[64];
        std::snprintf(what, sizeof what, "sequential 64 MiB in %u-byte reads", piece);
        report(what, ours, theirs);
    }

    std::mt19937 random(99);
    std::vector<uint64_t> offsets(20000);
    for (uint64_t& o : offsets)
        o = random() % (kTotal - 4096);
    BlockReadStorage* block = dynamic_cast<BlockReadStorage*>(s.get());
    double theirs = bestMs(5, [&] {
        for (uint64_t o : offsets) {
            LARGE_INTEGER at;
            at.QuadPart = LONGLONG(o);
            DWORD got = 0;
            SetFilePointerEx(h, at, nullptr, FILE_BEGIN);
            ReadFile(h, buffer.data(), 4096, &got, nullptr);
            g_sink += got;
        }
    });
    double ours = bestMs(5, [&] {
        for (uint64_t o : offsets)
            g_sink += block->readBytes(buffer.data(), o, 4096, true);
    });
    report("20000 positioned 4 KiB reads", ours, theirs);

    s = nullptr;
    DeleteFileW(path.c_str());
    return 0;
}
