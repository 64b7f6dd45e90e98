// The conversion kernels on every path this processor can run: the limits they promise, and the plain code's
// bytes on random input (the vector paths' one permitted difference aside).
#include <doctest/doctest.h>

#include "metadata/pcm_conversion/cpu_features.h"
#include "metadata/pcm_conversion/sample_kernels.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

struct forced_paths {
    sample_kernel_paths before;
    explicit forced_paths(sample_kernel_paths paths) : before(sample_kernel_paths_force(paths)) {}
    ~forced_paths() { sample_kernel_paths_force(before); }
};

struct named_paths {
    const char* name;
    sample_kernel_paths paths;
};

sample_kernel_paths make_paths(bool sse2, bool sse, bool amd_3dnow) {
    sample_kernel_paths p;
    p.sse2 = sse2;
    p.sse = sse;
    p.amd_3dnow = amd_3dnow;
    return p;
}

// Every combination of paths the kernels choose between, limited to what this processor runs.
std::vector<named_paths> runnable_paths() {
    const sample_kernel_paths have = sample_kernel_paths_supported();
    std::vector<named_paths> all = {{"plain", make_paths(false, false, false)}};
    if (have.sse) all.push_back({"sse", make_paths(false, true, false)});
    if (have.sse2) all.push_back({"sse2", make_paths(true, false, false)});
    if (have.sse2 && have.sse) all.push_back({"sse2+sse", make_paths(true, true, false)});
    if (have.amd_3dnow) all.push_back({"3dnow", make_paths(false, false, true)});
    return all;
}

bool vector_int32_path(const sample_kernel_paths& p) { return p.sse2 || p.sse; }

// Lengths that put values in whole vector blocks and in the tail the plain code finishes.
const size_t lengths[] = {1, 3, 4, 7, 8, 9, 16, 19};

const float infinity = std::numeric_limits<float>::infinity();

}  // namespace

TEST_CASE("the processor features are read once and the supported paths follow them") {
    CHECK(cpu_has_features(0));
    const sample_kernel_paths have = sample_kernel_paths_supported();
    CHECK(have.sse2 == cpu_has_features(cpu_feature_sse2));
    CHECK(have.sse == cpu_has_features(cpu_feature_sse));
    CHECK(have.amd_3dnow == cpu_has_features(cpu_feature_3dnow));
    CHECK(cpu_has_features(cpu_feature_sse | cpu_feature_sse2) == (have.sse && have.sse2));
    // Every processor that can run these tests (x86-64 hardware under Wine) has SSE and SSE2.
    CHECK(have.sse);
    CHECK(have.sse2);

    // Forcing a path the processor lacks falls back instead of faulting (3DNow! on current processors).
    {
        forced_paths all(make_paths(true, true, true));
        const sample_kernel_paths now = sample_kernel_paths_active();
        CHECK(now.amd_3dnow == have.amd_3dnow);
        CHECK(now.sse2 == have.sse2);
        CHECK(now.sse == have.sse);
    }
    {
        forced_paths none(make_paths(false, false, false));
        const sample_kernel_paths now = sample_kernel_paths_active();
        CHECK_FALSE(now.sse2);
        CHECK_FALSE(now.sse);
        CHECK_FALSE(now.amd_3dnow);
    }
    const sample_kernel_paths restored = sample_kernel_paths_active();
    CHECK(restored.sse2 == have.sse2);
    CHECK(restored.sse == have.sse);
}

TEST_CASE("float to int16 limits on every path") {
    struct row {
        float in;
        float factor;
        int16_t out;
    };
    const row rows[] = {
        {1.0f, 1.0f, 32767},           // limited
        {-1.0f, 1.0f, -32768},
        {0.5f, 1.0f, 16384},
        {1.0f / 65536, 1.0f, 0},       // 0.5 after scaling: ties to even
        {3.0f / 65536, 1.0f, 2},       // 1.5: ties to even
        {-3.0f / 65536, 1.0f, -2},
        {0.0f, 1.0f, 0},
        {-0.0f, 1.0f, 0},
        {2.0f, 1.0f, 32767},
        {-2.0f, 1.0f, -32768},
        {1e10f, 1.0f, 32767},          // beyond the 32-bit range: still the upper limit, never a wrap
        {-1e10f, 1.0f, -32768},
        {infinity, 1.0f, 32767},
        {-infinity, 1.0f, -32768},
        {0.25f, 2.0f, 16384},          // the factor scales before rounding
        {1.0f, 0.5f, 16384},
    };
    for (const named_paths& p : runnable_paths()) {
        forced_paths forced(p.paths);
        for (const row& r : rows) {
            for (size_t n : lengths) {
                CAPTURE(p.name);
                CAPTURE(r.in);
                CAPTURE(r.factor);
                CAPTURE(n);
                std::vector<float> in(n, r.in);
                std::vector<int16_t> out(n, 0x5555);
                audio_float_to_int16(out.data(), in.data(), n, r.factor);
                for (size_t i = 0; i < n; ++i) CHECK(out[i] == r.out);
            }
        }
    }
}

TEST_CASE("float to int32 limits on every path") {
    struct row {
        float in;
        int32_t plain;   // the plain code's result
        int32_t vector;  // the SSE2 and SSE paths' result
    };
    const row rows[] = {
        {1.0f, INT32_MAX, 2147483520},  // full scale: the vector paths limit to the float 0x4EFFFFFF
        {2.0f, INT32_MAX, 2147483520},
        {infinity, INT32_MAX, 2147483520},
        {0.99999994f, 2147483520, 2147483520},  // the largest float below 1.0 is the same on both
        {-1.0f, INT32_MIN, INT32_MIN},
        {-2.0f, INT32_MIN, INT32_MIN},
        {-infinity, INT32_MIN, INT32_MIN},
        {0.5f, 1073741824, 1073741824},
        {0.0f, 0, 0},
        {std::ldexp(1.0f, -32), 0, 0},       // 0.5 after scaling: ties to even
        {std::ldexp(3.0f, -32), 2, 2},       // 1.5
        {std::ldexp(-5.0f, -32), -2, -2},    // -2.5
    };
    for (const named_paths& p : runnable_paths()) {
        forced_paths forced(p.paths);
        for (const row& r : rows) {
            for (size_t n : lengths) {
                CAPTURE(p.name);
                CAPTURE(r.in);
                CAPTURE(n);
                std::vector<float> in(n, r.in);
                std::vector<int32_t> out(n, 0x55555555);
                audio_float_to_int32(out.data(), in.data(), n, 1.0f);
                // Values in whole vector blocks take the vector path; the tail takes the plain code.
                const size_t vector_part = vector_int32_path(p.paths) ? n & ~size_t(7) : 0;
                for (size_t i = 0; i < n; ++i) CHECK(out[i] == (i < vector_part ? r.vector : r.plain));
            }
        }
    }
}

TEST_CASE("integer to float on every path") {
    struct row32 {
        int32_t in;
        float factor;
        float out;
    };
    const row32 rows32[] = {
        {INT32_MIN, 1.0f, -1.0f},
        {INT32_MAX, 1.0f, 1.0f},  // 2^31 - 1 rounds to 2^31 in single precision
        {1, 1.0f, std::ldexp(1.0f, -31)},
        {-(1 << 30), 1.0f, -0.5f},
        {0, 1.0f, 0.0f},
        {1 << 30, 0.5f, 0.25f},
        {16777217, 1.0f, std::ldexp(16777216.0f, -31)},  // 2^24 + 1 rounds to even before scaling
        {16777219, 1.0f, std::ldexp(16777220.0f, -31)},
    };
    struct row16 {
        int16_t in;
        float out;
    };
    const row16 rows16[] = {
        {-32768, -1.0f}, {32767, 32767.0f / 32768}, {1, 1.0f / 32768}, {0, 0.0f}, {-1, -1.0f / 32768},
    };
    for (const named_paths& p : runnable_paths()) {
        forced_paths forced(p.paths);
        CAPTURE(p.name);
        for (size_t n : lengths) {
            CAPTURE(n);
            for (const row32& r : rows32) {
                CAPTURE(r.in);
                std::vector<int32_t> in(n, r.in);
                std::vector<float> out(n, 7.0f);
                audio_int32_to_float(out.data(), in.data(), n, r.factor);
                for (size_t i = 0; i < n; ++i) CHECK(out[i] == r.out);
            }
            for (const row16& r : rows16) {
                CAPTURE(r.in);
                // Every alignment of the destination, so the SSE2 path's plain lead-in is crossed too.
                for (size_t offset = 0; offset < 4; ++offset) {
                    std::vector<int16_t> in(n, r.in);
                    std::vector<float> out(n + 4, 7.0f);
                    audio_int16_to_float(out.data() + offset, in.data(), n);
                    for (size_t i = 0; i < n; ++i) CHECK(out[offset + i] == r.out);
                    CHECK(out[offset + n] == 7.0f);  // nothing written past the end
                }
            }
        }
    }
}

namespace {

// Random samples: mostly within full scale, some beyond it, some exact rounding ties, some infinities and
// NaNs (which every path turns into the lower limit).
std::vector<float> random_samples(std::mt19937& rng, size_t n, bool with_specials) {
    std::uniform_real_distribution<float> uniform(-1.25f, 1.25f);
    std::uniform_int_distribution<int> pick(0, 19);
    std::uniform_int_distribution<int> tie(-40000, 40000);
    std::vector<float> out(n);
    for (float& v : out) {
        switch (pick(rng)) {
        case 0: v = (tie(rng) + 0.5f) / 32768.0f; break;  // an int16 tie at factor 1
        case 1: v = std::ldexp(tie(rng) + 0.5f, -31); break;  // an int32 tie at factor 1
        case 2: v = uniform(rng) * 1e6f; break;
        case 3: v = with_specials ? std::numeric_limits<float>::quiet_NaN() : 0.0f; break;
        case 4: v = with_specials ? (tie(rng) < 0 ? -infinity : infinity) : 1.0f; break;
        case 5: v = tie(rng) < 0 ? -1.0f : 1.0f; break;
        default: v = uniform(rng); break;
        }
    }
    return out;
}

template <typename T>
bool same_bytes(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

}  // namespace

TEST_CASE("every vector path gives the plain code's bytes on random input") {
    std::mt19937 rng(20240611);
    const float factors[] = {1.0f, 0.5f, 0.70710677f, 1.3f, 0.0f};
    for (int round = 0; round < 200; ++round) {
        const size_t n = std::uniform_int_distribution<size_t>(0, 300)(rng);
        // Offsets move source and destination off 16-byte alignment.
        const size_t so = round % 4, dof = (round / 4) % 4;
        const float factor = factors[round % 5];
        CAPTURE(round);
        CAPTURE(n);
        CAPTURE(factor);
        std::vector<float> src = random_samples(rng, n + so, true);
        std::vector<float> finite = random_samples(rng, n + so, false);
        std::vector<int32_t> ints(n + so);
        for (int32_t& v : ints) v = static_cast<int32_t>(rng());
        std::vector<int16_t> shorts(n + so);
        for (int16_t& v : shorts) v = static_cast<int16_t>(rng());

        struct results {
            std::vector<float> scaled;
            std::vector<int16_t> i16;
            std::vector<int32_t> i32;
            std::vector<float> from32, from16;
        };
        auto run = [&](const sample_kernel_paths& paths) {
            forced_paths forced(paths);
            results r;
            r.scaled.assign(n + dof, 0.0f);
            r.i16.assign(n + dof, 0);
            r.i32.assign(n + dof, 0);
            r.from32.assign(n + dof, 0.0f);
            r.from16.assign(n + dof, 0.0f);
            audio_scale_float(r.scaled.data() + dof, finite.data() + so, n, factor);
            audio_float_to_int16(r.i16.data() + dof, src.data() + so, n, factor);
            audio_float_to_int32(r.i32.data() + dof, src.data() + so, n, factor);
            audio_int32_to_float(r.from32.data() + dof, ints.data() + so, n, factor);
            audio_int16_to_float(r.from16.data() + dof, shorts.data() + so, n);
            return r;
        };
        const results plain = run(make_paths(false, false, false));
        for (const named_paths& p : runnable_paths()) {
            CAPTURE(p.name);
            const results got = run(p.paths);
            CHECK(same_bytes(got.scaled, plain.scaled));
            CHECK(same_bytes(got.i16, plain.i16));
            CHECK(same_bytes(got.from32, plain.from32));
            CHECK(same_bytes(got.from16, plain.from16));
            // The vector paths' one difference: products at or above 2^31 give 2147483520 in whole blocks.
            std::vector<int32_t> expected = plain.i32;
            if (vector_int32_path(p.paths))
                for (size_t i = 0; i < (n & ~size_t(7)); ++i)
                    if (expected[dof + i] == INT32_MAX) expected[dof + i] = 2147483520;
            CHECK(same_bytes(got.i32, expected));
        }
    }
}
