// Strings against their baselines, measured in the same run:
//  - find in 1 MiB haystacks vs std::string_view::find;
//  - format of a typical exception message line vs snprintf;
//  - UTF-8 -> UTF-16 of 1 MiB vs MultiByteToWideChar (Windows) or a plain
//    decoding loop (elsewhere).
// Each line prints both times (best of several runs) and their ratio;
// a ratio below 1 means the library is faster.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "bench/bench_timing.h"
#include "baselib/svr_string.h"

using Solvaris::String;

namespace {

void report(const char* what, const char* baseline, double ours, double theirs) {
    std::printf("%-44s String %9.3f ms   %-22s %9.3f ms   ratio %.2f\n", what, ours, baseline, theirs,
                theirs > 0 ? ours / theirs : 0.0);
}

std::string textHaystack(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, ' ');
    for (auto& c : s) {
        unsigned r = rng() % 32;
        c = r < 26 ? char('a' + r) : ' ';
    }
    return s;
}

void benchFind() {
    const size_t kMiB = 1 << 20;
    std::string hay = textHaystack(kMiB, 7);
    struct Case { const char* name; std::string needle; } cases[] = {
        {"find 1 MiB, 16-byte needle absent", "qqqqzzzzxxxxjjjj"},
        {"find 1 MiB, 6-byte needle at the end", hay.substr(kMiB - 6)},
        {"find 1 MiB, 3-byte needle absent", "zq#"},
    };
    String h(hay.c_str());
    for (const auto& c : cases) {
        String n(c.needle.c_str());
        std::string_view hv(hay), nv(c.needle);
        const int reps = 20;
        double ours = bestMs(5, [&] {
            for (int i = 0; i < reps; ++i)
                g_sink += h.find(n);
        });
        double theirs = bestMs(5, [&] {
            for (int i = 0; i < reps; ++i)
                g_sink += hv.find(nv);
        });
        report(c.name, "string_view::find", ours / reps, theirs / reps);
    }
}

void benchFormat() {
    const char* file = "/work/main/baselib/svr_memstorage.cpp";
    const char* func = "void __thiscall Solvaris::MemoryStorageImpl::setPos(unsigned __int64)";
    const int reps = 100000;
    double ours = bestMs(5, [&] {
        for (int i = 0; i < reps; ++i) {
            String s = String::format("%s(%d) : %s: Error %d: %s\n", file, 201 + (i & 7), func, 7, "errInvalidParam");
            g_sink += s.length();
        }
    });
    double theirs = bestMs(5, [&] {
        char buf[512];
        for (int i = 0; i < reps; ++i)
            g_sink += std::snprintf(buf, sizeof buf, "%s(%d) : %s: Error %d: %s\n", file, 201 + (i & 7), func, 7,
                                    "errInvalidParam");
    });
    report("format of a message line (per 1000)", "snprintf", ours * 1000 / reps, theirs * 1000 / reps);
}

#if !defined(_WIN32)
// Straightforward UTF-8 -> UTF-16 decoding loop, the native baseline.
size_t plainUtf8ToUtf16(const unsigned char* s, size_t n, char16_t* out) {
    size_t o = 0;
    for (size_t i = 0; i < n;) {
        unsigned c = s[i];
        uint32_t cp;
        if (c < 0x80) { cp = c; i += 1; }
        else if (c < 0xE0) { cp = ((c & 0x1F) << 6) | (s[i + 1] & 0x3F); i += 2; }
        else if (c < 0xF0) { cp = ((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F); i += 3; }
        else { cp = ((c & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) | (s[i + 3] & 0x3F); i += 4; }
        if (cp >= 0x10000) {
            out[o++] = char16_t(0xD800 + ((cp - 0x10000) >> 10));
            out[o++] = char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            out[o++] = char16_t(cp);
        }
    }
    return o;
}
#endif

void benchUtf16() {
    // Mostly ASCII with Latin accents, CJK and an emoji now and then.
    std::string text;
    const char* pieces[] = {"The quick brown fox ", "caf\xC3\xA9 ", "\xE6\x97\xA5\xE6\x9C\xAC ", "\xF0\x9F\x98\x80 ",
                            "jumps over the lazy dog. "};
    std::mt19937 rng(3);
    while (text.size() < (1u << 20))
        text += pieces[rng() % 8 < 5 ? (rng() % 2 ? 0 : 4) : 1 + rng() % 3];
    text.resize(1u << 20);
    while ((static_cast<unsigned char>(text.back()) & 0xC0) == 0x80 || static_cast<unsigned char>(text.back()) >= 0xC0)
        text.pop_back();
    String source(text.c_str());
    const int reps = 10;
    double ours = bestMs(5, [&] {
        for (int i = 0; i < reps; ++i) {
            String copy(source);   // shares the bytes, starts without a UTF-16 form
            g_sink += copy.c_wstr()[0] + copy.wlength();
        }
    });
    std::vector<char16_t> out(text.size() + 1);
#if defined(_WIN32)
    double theirs = bestMs(5, [&] {
        for (int i = 0; i < reps; ++i) {
            int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
            std::vector<wchar_t> w(size_t(n) + 1);
            g_sink += MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), w.data(), n);
        }
    });
    report("UTF-8 -> UTF-16 of 1 MiB", "MultiByteToWideChar", ours / reps, theirs / reps);
#else
    double theirs = bestMs(5, [&] {
        for (int i = 0; i < reps; ++i) {
            std::vector<char16_t> w(text.size() + 1);
            g_sink += plainUtf8ToUtf16(reinterpret_cast<const unsigned char*>(text.data()), text.size(), w.data());
        }
    });
    report("UTF-8 -> UTF-16 of 1 MiB", "plain decoding loop", ours / reps, theirs / reps);
#endif
}

} // namespace

int main() {
    benchFind();
    benchFormat();
    benchUtf16();
    std::fflush(stdout);
    return 0;
}
