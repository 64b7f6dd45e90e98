// conversion_bench: throughput of the sample conversion kernels on every path this processor runs, in
// samples per second, beside a plain memcpy of the same source bytes. Not a test; run it to follow the
// kernels' speed over time:
//
//     wine build/conversion_bench.exe [samples per block]
//
// Each line: kernel, path, samples per second, memcpy samples per second, and the kernel's share of memcpy.
#include "metadata/pcm_conversion/sample_kernels.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

double seconds_now() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Runs `work` (which converts `samples` values) repeatedly for at least 0.25 s; samples per second.
template <typename Work>
double samples_per_second(size_t samples, Work work) {
    work();  // warm the caches
    size_t rounds = 0;
    const double start = seconds_now();
    double elapsed = 0;
    do {
        for (int i = 0; i < 16; ++i) work();
        rounds += 16;
        elapsed = seconds_now() - start;
    } while (elapsed < 0.25);
    return static_cast<double>(samples) * static_cast<double>(rounds) / elapsed;
}

struct path_choice {
    const char* name;
    sample_kernel_paths paths;
};

}  // namespace

int main(int argc, char** argv) {
    const size_t n = argc > 1 ? static_cast<size_t>(std::strtoul(argv[1], nullptr, 10)) : 16384;
    if (n == 0) {
        std::fprintf(stderr, "usage: conversion_bench [samples per block, at least 1]\n");
        return 2;
    }
    std::vector<float> floats(n), float_out(n);
    std::vector<int16_t> shorts(n), short_out(n);
    std::vector<int32_t> ints(n), int_out(n);
    std::vector<uint8_t> copy_out(n * 4);
    uint32_t state = 12345;
    for (size_t i = 0; i < n; ++i) {
        state = state * 1664525u + 1013904223u;
        floats[i] = static_cast<float>(static_cast<int32_t>(state)) / 2147483648.0f;
        ints[i] = static_cast<int32_t>(state);
        shorts[i] = static_cast<int16_t>(state >> 16);
    }

    const sample_kernel_paths have = sample_kernel_paths_supported();
    std::vector<path_choice> choices;
    choices.push_back({"plain", sample_kernel_paths()});
    if (have.sse) {
        sample_kernel_paths p;
        p.sse = true;
        choices.push_back({"sse", p});
    }
    if (have.sse2) {
        sample_kernel_paths p;
        p.sse2 = true;
        p.sse = have.sse;
        choices.push_back({"sse2", p});
    }
    if (have.amd_3dnow) {
        sample_kernel_paths p;
        p.amd_3dnow = true;
        choices.push_back({"3dnow", p});
    }

    const double copy4 = samples_per_second(n, [&] { std::memcpy(copy_out.data(), floats.data(), n * 4); });
    const double copy2 = samples_per_second(n, [&] { std::memcpy(copy_out.data(), shorts.data(), n * 2); });

    std::printf("%zu samples per block; processor: sse2 %d, sse %d, 3dnow %d\n", n, have.sse2, have.sse,
                have.amd_3dnow);
    std::printf("%-22s %-6s %16s %16s %8s\n", "kernel", "path", "samples/s", "memcpy samples/s", "of copy");
    const sample_kernel_paths before = sample_kernel_paths_active();
    for (const path_choice& choice : choices) {
        sample_kernel_paths_force(choice.paths);
        struct kernel_run {
            const char* name;
            double copy;
            double rate;
        };
        const kernel_run runs[] = {
            {"audio_scale_float", copy4,
             samples_per_second(n, [&] { audio_scale_float(float_out.data(), floats.data(), n, 0.5f); })},
            {"audio_float_to_int16", copy4,
             samples_per_second(n, [&] { audio_float_to_int16(short_out.data(), floats.data(), n, 1.0f); })},
            {"audio_float_to_int32", copy4,
             samples_per_second(n, [&] { audio_float_to_int32(int_out.data(), floats.data(), n, 1.0f); })},
            {"audio_int32_to_float", copy4,
             samples_per_second(n, [&] { audio_int32_to_float(float_out.data(), ints.data(), n, 1.0f); })},
            {"audio_int16_to_float", copy2,
             samples_per_second(n, [&] { audio_int16_to_float(float_out.data(), shorts.data(), n); })},
        };
        for (const kernel_run& run : runs)
            std::printf("%-22s %-6s %16.0f %16.0f %7.1f%%\n", run.name, choice.name, run.rate, run.copy,
                        100.0 * run.rate / run.copy);
    }
    sample_kernel_paths_force(before);
    return 0;
}
