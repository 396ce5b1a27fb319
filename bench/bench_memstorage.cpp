// Memory storage writes against memcpy, measured in the same run, in 64-byte
// and 64 KiB pieces:
//  - appending 64 MiB to a new storage (it grows as it goes) against memcpy
//    into a new block of the final size (the baseline pays the first touch
//    of fresh pages once, the storage for every block it grows through);
//  - overwriting 64 MiB in place against memcpy into a block in use.
// Each line prints both times (best of several runs) and their ratio; a
// ratio below 1 means the storage is faster.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/bench_timing.h"
#include "baselib/svr_storage.h"

using namespace Solvaris;

namespace {

void report(const char* what, double ours, double theirs) {
    std::printf("%-40s MemoryStorage %9.3f ms   memcpy %9.3f ms   ratio %.2f\n", what, ours, theirs,
                theirs > 0 ? ours / theirs : 0.0);
}

} // namespace

int main() {
    const uint32_t kTotal = 64u << 20;
    std::vector<uint8_t> source(1 << 16);
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = uint8_t(i * 13);
    std::vector<uint8_t> target(kTotal);

    for (uint32_t piece : {64u, 65536u}) {
        char name[64];
        double fresh = bestMs(5, [&] {
            std::vector<uint8_t> block(kTotal);
            for (uint32_t at = 0; at < kTotal; at += piece)
                std::memcpy(block.data() + at, source.data(), piece);
            g_sink += block[kTotal - 1];
        });
        double append = bestMs(5, [&] {
            AutoPtr<MemoryStorage> s = MemoryStorage::create();
            for (uint32_t at = 0; at < kTotal; at += piece)
                s->writeBytes(source.data(), piece);
            g_sink += s->getSize();
        });
        std::snprintf(name, sizeof name, "append 64 MiB in %u-byte pieces", piece);
        report(name, append, fresh);

        double baseline = bestMs(5, [&] {
            for (uint32_t at = 0; at < kTotal; at += piece)
                std::memcpy(target.data() + at, source.data(), piece);
            g_sink += target[kTotal - 1];
        });
        AutoPtr<MemoryStorage> s = MemoryStorage::create();
        s->reserve(kTotal);
        s->setPos(kTotal - 1);
        s->writeBytes("", 1);
        double overwrite = bestMs(5, [&] {
            s->setPos(0);
            for (uint32_t at = 0; at < kTotal; at += piece)
                s->writeBytes(source.data(), piece);
            g_sink += s->getPos();
        });
        std::snprintf(name, sizeof name, "overwrite 64 MiB in %u-byte pieces", piece);
        report(name, overwrite, baseline);
    }
    return 0;
}
