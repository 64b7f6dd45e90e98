// conversion_bench: throughput of the sample conversion kernels on every path this processor runs, in
// samples per second, beside a plain memcpy of the same source bytes. Not a test; run it to follow the
// kernels' speed over time:
//
//     wine build/conversion_bench.exe [samples per block]
//
// Each line: kernel, path, samples per second, memcpy samples per second (the same source bytes, measured in
// turn with the kernel) and the kernel's share of memcpy, then its share of a memcpy of as many bytes as the
// kernel writes (int16 to float writes twice its source bytes, float to int16 half of them: where the stores
// set the pace, this share shows how close a kernel comes to them); then, per kernel, the fastest path and
// its shares. Every kernel and every memcpy writes into the same destination buffer from the kernel's own
// source: with a destination of its own, memcpy met other cache sets than the kernel, which moved one kernel
// between 35% and 65% of memcpy with nothing but the heap's layout.
#include "metadata/pcm_conversion/sample_kernels.h"
#include "tools/bench/bench_support.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Samples per second of one attempt: `work` (which converts `samples` values) run repeatedly for at least 0.05 s.
template <typename Work>
double attempt_rate(size_t samples, Work& work) {
    size_t rounds = 0;
    const double start = bench_seconds();
    double elapsed = 0;
    do {
        for (int i = 0; i < 16; ++i) work();
        rounds += 16;
        elapsed = bench_seconds() - start;
    } while (elapsed < 0.05);
    return static_cast<double>(samples) * static_cast<double>(rounds) / elapsed;
}

struct rates {
    double kernel = 0;
    double copy = 0;          // memcpy of the kernel's source bytes
    double copy_written = 0;  // memcpy of as many bytes as the kernel writes
};

// The kernel's and the two memcpys' best rates over seven attempts each, taken in turn so that other work on
// the machine weighs on all alike.
template <typename Work, typename Copy, typename CopyWritten>
rates measure(size_t samples, Work work, Copy copy, CopyWritten copy_written) {
    work();  // warm the caches
    copy();
    copy_written();
    rates best;
    for (int attempt = 0; attempt < 7; ++attempt) {
        const double k = attempt_rate(samples, work), c = attempt_rate(samples, copy),
                     w = attempt_rate(samples, copy_written);
        if (k > best.kernel) best.kernel = k;
        if (c > best.copy) best.copy = c;
        if (w > best.copy_written) best.copy_written = w;
    }
    return best;
}

// A buffer of n values starting on a cache line, so that the kernels and memcpy meet the same alignment from
// run to run whatever the allocator gives (its 8- or 16-byte alignment moved the figures by several percent).
template <typename T>
class line_buffer {
public:
    explicit line_buffer(size_t n) : m_bytes(n * sizeof(T) + 64) {
        const uintptr_t at = reinterpret_cast<uintptr_t>(m_bytes.data());
        m_data = reinterpret_cast<T*>(m_bytes.data() + ((64 - (at & 63)) & 63));
    }
    T* data() { return m_data; }
    T& operator[](size_t i) { return m_data[i]; }

private:
    std::vector<uint8_t> m_bytes;
    T* m_data;
};

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
    line_buffer<float> floats(n);
    line_buffer<int16_t> shorts(n);
    line_buffer<int32_t> ints(n);
    // The one destination: n samples of 4 bytes, the most any kernel or memcpy here writes.
    line_buffer<uint8_t> out(n * 4);
    float* const float_out = reinterpret_cast<float*>(out.data());
    int16_t* const short_out = reinterpret_cast<int16_t*>(out.data());
    int32_t* const int_out = reinterpret_cast<int32_t*>(out.data());
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

    // memcpy of 4 or 2 bytes per sample from a kernel's source (the float source holds enough bytes for both).
    auto copy4 = [&](const void* source) { return [&, source] { std::memcpy(out.data(), source, n * 4); }; };
    auto copy2 = [&](const void* source) { return [&, source] { std::memcpy(out.data(), source, n * 2); }; };

    std::printf("%zu samples per block; processor: sse2 %d, sse %d, 3dnow %d\n", n, have.sse2, have.sse,
                have.amd_3dnow);
    std::printf("%-22s %-6s %16s %16s %8s %15s\n", "kernel", "path", "samples/s", "memcpy samples/s", "of copy",
                "of copy written");
    const sample_kernel_paths before = sample_kernel_paths_active();
    const int kernels = 5;
    double best_share[kernels] = {0, 0, 0, 0, 0}, best_written_share[kernels] = {0, 0, 0, 0, 0};
    const char* best_path[kernels] = {"", "", "", "", ""};
    const char* kernel_names[kernels] = {};
    for (const path_choice& choice : choices) {
        sample_kernel_paths_force(choice.paths);
        struct kernel_run {
            const char* name;
            rates r;
        };
        const kernel_run runs[] = {
            {"audio_scale_float", measure(n, [&] { audio_scale_float(float_out, floats.data(), n, 0.5f); },
                                          copy4(floats.data()), copy4(floats.data()))},
            {"audio_float_to_int16", measure(n, [&] { audio_float_to_int16(short_out, floats.data(), n, 1.0f); },
                                             copy4(floats.data()), copy2(floats.data()))},
            {"audio_float_to_int32", measure(n, [&] { audio_float_to_int32(int_out, floats.data(), n, 1.0f); },
                                             copy4(floats.data()), copy4(floats.data()))},
            {"audio_int32_to_float", measure(n, [&] { audio_int32_to_float(float_out, ints.data(), n, 1.0f); },
                                             copy4(ints.data()), copy4(ints.data()))},
            {"audio_int16_to_float", measure(n, [&] { audio_int16_to_float(float_out, shorts.data(), n); },
                                             copy2(shorts.data()), copy4(floats.data()))},
        };
        for (int k = 0; k < kernels; ++k) {
            const kernel_run& run = runs[k];
            const double share = 100.0 * run.r.kernel / run.r.copy;
            const double written_share = 100.0 * run.r.kernel / run.r.copy_written;
            std::printf("%-22s %-6s %16.0f %16.0f %7.1f%% %14.1f%%\n", run.name, choice.name, run.r.kernel,
                        run.r.copy, share, written_share);
            kernel_names[k] = run.name;
            if (share > best_share[k]) {
                best_share[k] = share;
                best_written_share[k] = written_share;
                best_path[k] = choice.name;
            }
        }
    }
    std::printf("\nfastest path per kernel:\n");
    for (int k = 0; k < kernels; ++k)
        std::printf("%-22s %-6s %7.1f%% of memcpy, %5.1f%% of a memcpy of the bytes it writes\n", kernel_names[k],
                    best_path[k], best_share[k], best_written_share[k]);
    sample_kernel_paths_force(before);
    return 0;
}
