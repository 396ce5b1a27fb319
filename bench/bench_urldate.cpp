// URL encoding and date reading, each against a baseline measured in the
// same run:
//   - encode and decode of a 1 MB request path (one byte in eight, a blank,
//     needs an escape), against copying the same bytes into a string one at
//     a time;
//   - parseDateString of the two common server date forms, against the C
//     library's sscanf reading the same fields (which neither validates nor
//     converts them).
#include "baselib/svr_time.h"
#include "baselib/svr_urlutil.h"
#include "bench_timing.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

}  // namespace

int main()
{
    using namespace Solvaris;
    std::string path;
    for (size_t i = 0; path.size() < (1u << 20); ++i)
        path += "/dir/a b";  // one blank in eight bytes
    String text(path.c_str(), static_cast<int32_t>(path.size()));

    double copy = medianSeconds(9, [&] {
        std::string out;
        out.reserve(path.size());
        for (char c : path)
            out.push_back(c);
        g_sink = out.size();
    });
    String encoded;
    double enc = medianSeconds(9, [&] { encoded = Url::encode(text); });
    double dec = medianSeconds(9, [&] { g_sink = Url::decode(encoded).length(); });
    std::printf("encode 1 MB: %.2f ms (%.1fx a byte copy)\n", enc * 1e3, enc / copy);
    std::printf("decode 1 MB: %.2f ms (%.1fx a byte copy)\n", dec * 1e3, dec / copy);

    const int kDates = 100000;
    const char* forms[] = {"Sun, 06 Nov 1994 08:49:37 GMT", "1994-11-06 08:49:37"};
    double scan = medianSeconds(5, [&] {
        char day[4], month[4], zone[16];
        int d, y, h, m, s, n = 0;
        for (int i = 0; i < kDates; ++i)
            n += std::sscanf(forms[i & 1], "%3[A-Za-z], %02d %3[A-Za-z] %04d %02d:%02d:%02d %15s", day, &d,
                             month, &y, &h, &m, &s, zone);
        g_sink = n;
    });
    String texts[] = {String(forms[0]), String(forms[1])};
    double parse = medianSeconds(5, [&] {
        Time t;
        int64_t sum = 0;
        for (int i = 0; i < kDates; ++i) {
            t.parseDateString(texts[i & 1]);
            sum += t.seconds();
        }
        g_sink = static_cast<size_t>(sum);
    });
    std::printf("parseDateString: %.0f ns per date (%.2fx sscanf of the fields)\n", parse / kDates * 1e9,
                parse / scan);
    return 0;
}
