// The timing loops the benchmarks share: the best of several runs in
// milliseconds, the median of several runs in seconds, and a sink that keeps measured work from being optimised away.
#pragma once
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

inline volatile uint64_t g_sink;

template <class F>
double bestMs(int runs, F f)
{
    double best = 1e30;
    for (int r = 0; r < runs; ++r) {
        auto t0 = std::chrono::steady_clock::now();
        f();
        auto t1 = std::chrono::steady_clock::now();
        double ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
        if (ms < best)
            best = ms;
    }
    return best;
}

template <class F>
double medianSeconds(int runs, F f)
{
    std::vector<double> times;
    for (int r = 0; r < runs; ++r) {
        auto t0 = std::chrono::steady_clock::now();
        f();
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}
