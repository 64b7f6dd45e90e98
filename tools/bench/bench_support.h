#pragma once
// What the benchmark programs share: a high-resolution clock and the location of a Windows path.
//
//     const double start = bench_seconds();
//     decode(bench_location(L"C:\\music\\a.flac"));        // "file://C:\music\a.flac"
//     std::printf("%.3f s\n", bench_seconds() - start);

#include <windows.h>

#include <algorithm>
#include <string>

#include "foundation/kpl/codepage.h"

// Seconds from an arbitrary start, from the performance counter.
inline double bench_seconds() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The best of five runs of a step, in milliseconds.
//     const double ms = best_ms([&] { list.reset(); });
template <class F>
double best_ms(F&& step) {
    double best = 1e30;
    for (int round = 0; round < 5; ++round) {
        const double start = bench_seconds();
        step();
        best = std::min(best, (bench_seconds() - start) * 1000.0);
    }
    return best;
}

// The "file://" location of a Windows path, in UTF-8.
inline std::string bench_location(const std::wstring& path) {
    return std::string("file://") + kpl::utf8_string_from_utf16(path.c_str()).c_str();
}
