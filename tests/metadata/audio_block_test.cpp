// audio_block: integer and float PCM in and out, the validity rule, trimming, the storage policies and the
// channel-mask helpers.
#include <doctest/doctest.h>

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "metadata/audio_block.h"
#include "metadata/pcm_conversion/sample_kernels.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

// A block that reports whatever it is told, for sizes no test could allocate.
class reported_block final : public audio_block {
public:
    uint32_t rate = 44100, channels = 2, mask = 3, frames = 1, data_size = 2;
    bool has_data = true;
    float storage[4] = {};

    const float* get_data() const override { return has_data ? storage : nullptr; }
    float* get_data_writable() override { return has_data ? storage : nullptr; }
    uint32_t get_data_size() const override { return data_size; }
    void set_data_size(uint32_t floats) override { data_size = floats; }
    uint32_t get_sample_rate() const override { return rate; }
    void set_sample_rate(uint32_t hz) override { rate = hz; }
    uint32_t get_channels() const override { return channels; }
    uint32_t get_channel_mask() const override { return mask; }
    void set_channels(uint32_t c, uint32_t m) override {
        channels = c;
        mask = m;
    }
    uint32_t get_sample_count() const override { return frames; }
    void set_sample_count(uint32_t f) override { frames = f; }
};

std::vector<float> samples_of(const audio_block& block) {
    return std::vector<float>(block.get_data(), block.get_data() + block.get_data_size());
}

std::vector<uint8_t> bytes_of(const kpl::byte_array& a) { return std::vector<uint8_t>(a.begin(), a.end()); }

struct forced_paths {
    sample_kernel_paths before;
    explicit forced_paths(sample_kernel_paths paths) : before(sample_kernel_paths_force(paths)) {}
    ~forced_paths() { sample_kernel_paths_force(before); }
};

// Plain code only, and every path the processor has.
std::vector<sample_kernel_paths> path_choices() { return {sample_kernel_paths(), sample_kernel_paths_supported()}; }

}  // namespace

TEST_CASE("integer PCM becomes float by width, byte order and sign") {
    const uint32_t le_s = audio_block::little_endian | audio_block::is_signed;      // 5
    const uint32_t le_u = audio_block::little_endian | audio_block::is_unsigned;    // 9
    const uint32_t be_s = audio_block::big_endian | audio_block::is_signed;         // 6
    const uint32_t be_u = audio_block::big_endian | audio_block::is_unsigned;       // 0xA
    struct row {
        const char* what;
        uint32_t bits;
        uint32_t flags;
        std::vector<uint8_t> data;
        std::vector<float> out;
    };
    const row rows[] = {
        {"8 unsigned", 8, le_u, {0x00, 0x80, 0xFF}, {-1.0f, 0.0f, 127.0f / 128}},
        {"8 signed", 8, le_s, {0x80, 0x00, 0x7F, 0xFF}, {-1.0f, 0.0f, 127.0f / 128, -1.0f / 128}},
        {"8 flags 0 is unsigned", 8, 0, {0x00, 0x80}, {-1.0f, 0.0f}},
        {"16 le signed", 16, le_s, {0x00, 0x80, 0xFF, 0x7F, 0x01, 0x00, 0xFF, 0xFF},
         {-1.0f, 32767.0f / 32768, 1.0f / 32768, -1.0f / 32768}},
        {"16 be signed", 16, be_s, {0x80, 0x00, 0x7F, 0xFF, 0x00, 0x01}, {-1.0f, 32767.0f / 32768, 1.0f / 32768}},
        {"16 le unsigned", 16, le_u, {0x00, 0x00, 0x00, 0x80, 0xFF, 0xFF}, {-1.0f, 0.0f, 32767.0f / 32768}},
        {"16 be unsigned", 16, be_u, {0x00, 0x00, 0x80, 0x00, 0x80, 0x01}, {-1.0f, 0.0f, 1.0f / 32768}},
        {"24 le signed", 24, le_s, {0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80, 0x01, 0x00, 0x00},
         {8388607.0f / 8388608, -1.0f, 1.0f / 8388608}},
        {"24 be signed", 24, be_s, {0x7F, 0xFF, 0xFF, 0x80, 0x00, 0x00, 0xFF, 0xFF, 0xFF},
         {8388607.0f / 8388608, -1.0f, -1.0f / 8388608}},
        {"24 le unsigned", 24, le_u, {0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF},
         {-1.0f, 0.0f, 8388607.0f / 8388608}},
        {"24 be unsigned", 24, be_u, {0x00, 0x00, 0x00, 0x80, 0x00, 0x01}, {-1.0f, 1.0f / 8388608}},
        {"32 le signed", 32, le_s, {0x00, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0x40},
         {-1.0f, 1.0f, 0.5f}},  // 2^31 - 1 rounds to 2^31 in single precision
        {"32 be signed", 32, be_s, {0x80, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00}, {-1.0f, 0.5f}},
        {"32 le unsigned", 32, le_u, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80}, {-1.0f, 0.0f}},
        {"32 be unsigned", 32, be_u, {0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00}, {-1.0f, 0.5f}},
        // Any other width of at least 8 bits: silence of the computed length (bytes / (bits / 8) values).
        {"12 bits", 12, le_s, {0x12, 0x34, 0x56}, {0.0f, 0.0f, 0.0f}},
        {"20 bits", 20, le_s, {0x12, 0x34, 0x56, 0x78, 0x9A}, {0.0f, 0.0f}},
        // A trailing partial value is not read.
        {"16 odd byte count", 16, le_s, {0x00, 0x40, 0x77}, {0.5f}},
    };
    for (const sample_kernel_paths& paths : path_choices()) {
        forced_paths forced(paths);
        for (const row& r : rows) {
            CAPTURE(r.what);
            audio_block_store block;
            block.set_data_int(r.data.data(), static_cast<uint32_t>(r.data.size()), 48000, 1, r.flags, 0x4, r.bits);
            CHECK(samples_of(block) == r.out);
            CHECK(block.get_sample_count() == r.out.size());
            CHECK(block.get_sample_rate() == 48000);
            CHECK(block.get_channels() == 1);
            CHECK(block.get_channel_mask() == 0x4);
        }
    }
}

TEST_CASE("the sample count is the whole frames of the values read") {
    const int16_t pcm[5] = {1, 2, 3, 4, 5};
    audio_block_store_pow2 block;
    block.set_wave_pcm(pcm, sizeof pcm, 22050, 2, 0x3, 16);
    CHECK(block.get_data_size() == 5);
    CHECK(block.get_sample_count() == 2);  // the fifth value is no whole frame
    CHECK(block.get_channels() == 2);
    CHECK(block.get_channel_mask() == 0x3);
    CHECK(block.get_sample_rate() == 22050);

    // set_wave_pcm reads 8-bit samples as unsigned and wider ones as signed.
    const uint8_t bytes[2] = {0x00, 0x80};
    block.set_wave_pcm(bytes, 2, 8000, 1, 0x4, 8);
    CHECK(samples_of(block) == std::vector<float>{-1.0f, 0.0f});
    block.set_wave_pcm(bytes, 2, 8000, 1, 0x4, 16);
    CHECK(samples_of(block) == std::vector<float>{-1.0f});
}

TEST_CASE("float PCM is copied or narrowed, other widths are refused") {
    audio_block_store block;
    const float f[5] = {0.25f, -0.5f, 1.5f, 0.0f, -1.0f};
    block.set_data_float(f, sizeof f, 96000, 2, 32, 0x3);
    CHECK(samples_of(block) == std::vector<float>(f, f + 5));
    CHECK(block.get_sample_count() == 2);
    CHECK(block.get_sample_rate() == 96000);

    const double d[3] = {0.1, -0.75, 1e-50};
    block.set_data_float(d, sizeof d, 44100, 3, 64, 0xB);
    CHECK(samples_of(block) == std::vector<float>{0.1f, -0.75f, 0.0f});
    CHECK(block.get_sample_count() == 1);
    CHECK(block.get_channel_mask() == 0xB);

    for (uint32_t bits : {0u, 8u, 16u, 24u, 48u}) {
        CAPTURE(bits);
        audio_block_store untouched;
        CHECK_THROWS_WITH_AS(untouched.set_data_float(d, sizeof d, 44100, 1, bits, 0), "invalid bit depth",
                             ketrel_io::exception_io_data);
        CHECK(untouched.get_data_size() == 0);
    }
}

TEST_CASE("fill helpers refuse what would divide by zero") {
    const uint8_t bytes[4] = {};
    audio_block_store block;
    for (uint32_t bits : {0u, 1u, 4u, 7u}) {
        CAPTURE(bits);
        CHECK_THROWS_AS(block.set_data_int(bytes, 4, 44100, 1, 5, 0, bits), kpl::exception_invalid_params);
    }
    CHECK_THROWS_AS(block.set_data_int(bytes, 4, 44100, 0, 5, 0, 16), kpl::exception_invalid_params);
    CHECK_THROWS_AS(block.set_data_float(bytes, 4, 44100, 0, 32, 0), kpl::exception_invalid_params);
    CHECK(block.get_data_size() == 0);
}

TEST_CASE("is_valid bounds channels, rate, length and data") {
    struct row {
        const char* what;
        uint32_t channels, rate, frames, data_size;
        bool has_data;
        bool valid;
    };
    const row rows[] = {
        {"stereo", 2, 44100, 10, 20, true, true},
        {"0 channels", 0, 44100, 10, 20, true, false},
        {"256 channels", 256, 44100, 1, 256, true, true},
        {"257 channels", 257, 44100, 1, 257, true, false},
        {"999 Hz", 1, 999, 1, 1, true, false},
        {"1000 Hz", 1, 1000, 1, 1, true, true},
        {"2822400 Hz", 1, 2822400, 1, 1, true, true},
        {"2822401 Hz", 1, 2822401, 1, 1, true, false},
        {"no frames", 2, 44100, 0, 0, true, false},
        {"data short of the frames", 2, 44100, 10, 19, true, false},
        {"more data than frames", 2, 44100, 10, 21, true, true},
        {"no storage", 2, 44100, 10, 20, false, false},
        // Below 2 GiB of samples: count < 0x80000000 / (channels x 4).
        {"largest stereo length", 2, 44100, 0x0FFFFFFF, 0x1FFFFFFE, true, true},
        {"2 GiB stereo", 2, 44100, 0x10000000, 0x20000000, true, false},
        {"2 GiB mono", 1, 44100, 0x20000000, 0x20000000, true, false},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        reported_block block;
        block.channels = r.channels;
        block.rate = r.rate;
        block.frames = r.frames;
        block.data_size = r.data_size;
        block.has_data = r.has_data;
        CHECK(block.is_valid() == r.valid);
    }

    audio_block_store empty;
    CHECK_FALSE(empty.is_valid());
    const float one[2] = {0.5f, -0.5f};
    empty.set_data(one, 1, 2, 44100, 0x3);
    CHECK(empty.is_valid());
}

TEST_CASE("skip_front drops whole frames from the front") {
    const float stereo[6] = {1, 2, 3, 4, 5, 6};
    struct row {
        uint32_t n;
        uint32_t answer;
        std::vector<float> left;
    };
    const row rows[] = {
        {0, 0, {1, 2, 3, 4, 5, 6}},
        {1, 1, {3, 4, 5, 6}},
        {2, 2, {5, 6}},
        {3, 3, {}},   // n equal to the count empties the block
        {10, 3, {}},  // beyond it too, answering the former count
    };
    for (const row& r : rows) {
        CAPTURE(r.n);
        audio_block_store block;
        block.set_data(stereo, 3, 2, 44100, 0x3);
        CHECK(block.skip_front(r.n) == r.answer);
        CHECK(samples_of(block) == r.left);
        CHECK(block.get_sample_count() == r.left.size() / 2);
        CHECK(block.get_channels() == 2);
        CHECK(block.get_sample_rate() == 44100);
    }
}

TEST_CASE("to_pcm writes each width's bytes") {
    struct row {
        uint32_t bits;
        std::vector<float> in;
        std::vector<uint8_t> out;
    };
    const float not_a_number = std::numeric_limits<float>::quiet_NaN();
    const row rows[] = {
        {8, {1.0f, -1.0f, 0.5f, 1.0f / 256, 3.0f / 256, 2.0f, -2.0f, 0.0f},
         {0x7F, 0x80, 0x40, 0x00, 0x02, 0x7F, 0x80, 0x00}},  // signed bytes; ties to even
        {16, {1.0f, -1.0f, 0.5f, 1.0f / 65536, 4.0f}, {0xFF, 0x7F, 0x00, 0x80, 0x00, 0x40, 0x00, 0x00, 0xFF, 0x7F}},
        {24, {1.0f, -1.0f, 0.5f, -1.0f / 8388608, 3.0f / 16777216, -7.5f, not_a_number},
         {0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80, 0x00, 0x00, 0x40, 0xFF, 0xFF, 0xFF, 0x02, 0x00, 0x00, 0x00, 0x00, 0x80,
          0x00, 0x00, 0x80}},
        {32, {1.0f, -0.5f, -1.0f, 1.0f / 1073741824, -3.0f, not_a_number},
         {0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x80, 0x02, 0x00, 0x00, 0x00,
          0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x80}},  // integers, not the float bytes
    };
    for (const sample_kernel_paths& paths : path_choices()) {
        forced_paths forced(paths);
        for (const row& r : rows) {
            CAPTURE(r.bits);
            audio_block_store block;
            block.set_data(r.in.data(), static_cast<uint32_t>(r.in.size()), 1, 44100, 0x4);
            kpl::byte_array out;
            REQUIRE(block.to_pcm(out, r.bits));
            CHECK(bytes_of(out) == r.out);
        }
    }

    audio_block_store block;
    const float one = 1.0f;
    block.set_data(&one, 1, 1, 44100, 0x4);
    kpl::byte_array out;
    out.append(0xAB);
    for (uint32_t bits : {0u, 12u, 20u, 64u}) {
        CAPTURE(bits);
        CHECK_FALSE(block.to_pcm(out, bits));
        CHECK(bytes_of(out) == std::vector<uint8_t>{0xAB});
    }
}

TEST_CASE("to_pcm refuses a length that overflows or data the block does not hold") {
    reported_block huge;
    huge.channels = 0x10001;
    huge.frames = 0x10000;  // 0x10001 x 0x10000 wraps 32 bits
    kpl::byte_array out;
    CHECK_THROWS_WITH_AS(huge.to_pcm(out, 16), "Overflow", kpl::exception_overflow);

    reported_block short_data;
    short_data.channels = 2;
    short_data.frames = 2;
    short_data.data_size = 3;  // one value short of two stereo frames
    CHECK_THROWS_AS(short_data.to_pcm(out, 16), ketrel_io::exception_io_data);
    CHECK(out.count() == 0);
}

TEST_CASE("integer PCM survives float and back on every path") {
    for (const sample_kernel_paths& paths : path_choices()) {
        forced_paths forced(paths);
        // Every 16-bit value.
        std::vector<int16_t> all16(65536);
        for (uint32_t i = 0; i < 65536; ++i) all16[i] = static_cast<int16_t>(i);
        audio_block_store_pow2 block;
        block.set_wave_pcm(all16.data(), 65536 * 2, 44100, 2, 0x3, 16);
        kpl::byte_array out;
        REQUIRE(block.to_pcm(out, 16));
        REQUIRE(out.count() == 65536 * 2);
        CHECK(std::memcmp(out.data(), all16.data(), 65536 * 2) == 0);

        // Every 24-bit value, a quarter of the range at a time.
        for (uint32_t part = 0; part < 4; ++part) {
            CAPTURE(part);
            const uint32_t n = 1u << 22;
            std::vector<uint8_t> in(3 * n);
            for (uint32_t i = 0; i < n; ++i) {
                const uint32_t v = part * n + i;
                in[3 * i] = static_cast<uint8_t>(v);
                in[3 * i + 1] = static_cast<uint8_t>(v >> 8);
                in[3 * i + 2] = static_cast<uint8_t>(v >> 16);
            }
            block.set_wave_pcm(in.data(), 3 * n, 44100, 1, 0x4, 24);
            REQUIRE(block.to_pcm(out, 24));
            REQUIRE(out.count() == 3 * n);
            CHECK(std::memcmp(out.data(), in.data(), 3 * n) == 0);
        }
    }
}

TEST_CASE("set_data, set_silence and reset") {
    audio_block_store block;
    const float in[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    block.set_data(in, 2, 2, 32000, 0x3);
    CHECK(samples_of(block) == std::vector<float>(in, in + 4));
    CHECK(block.get_sample_count() == 2);

    block.set_data(nullptr, 3, 1, 8000, 0x4);  // null: silence
    CHECK(samples_of(block) == std::vector<float>(3, 0.0f));
    CHECK(block.get_sample_count() == 3);
    CHECK(block.get_channels() == 1);
    CHECK(block.get_sample_rate() == 8000);

    block.set_channels(6, 0x3F);
    block.set_silence(2);
    CHECK(samples_of(block) == std::vector<float>(12, 0.0f));
    CHECK(block.get_sample_count() == 2);
    CHECK(block.get_channel_mask() == 0x3F);

    CHECK_THROWS_AS(block.set_data(nullptr, 0x10000, 0x10000, 44100, 0), std::bad_alloc);

    block.reset();
    CHECK(block.get_sample_count() == 0);
    CHECK(block.get_sample_rate() == 0);
    CHECK(block.get_channels() == 0);
    CHECK(block.get_channel_mask() == 0);
    CHECK(block.get_data_size() == 0);
    CHECK(block.capacity() == 0);
}

TEST_CASE("the two storage policies") {
    struct row {
        uint32_t size;
        uint32_t exact_capacity;
        uint32_t pow2_capacity;
    };
    // The doubling store grows from 1 by doubling and never shrinks.
    const row rows[] = {{1, 1, 1}, {3, 3, 4}, {5, 5, 8}, {2, 2, 8}, {9, 9, 16}, {0, 0, 16}, {16, 16, 16}};
    audio_block_store exact;
    audio_block_store_pow2 pow2;
    for (const row& r : rows) {
        CAPTURE(r.size);
        // Contents up to the smaller size survive a resize.
        const uint32_t before = exact.get_data_size();
        for (uint32_t i = 0; i < before; ++i) exact.get_data_writable()[i] = pow2.get_data_writable()[i] = float(i + 1);
        exact.set_data_size(r.size);
        pow2.set_data_size(r.size);
        CHECK(exact.get_data_size() == r.size);
        CHECK(pow2.get_data_size() == r.size);
        CHECK(exact.capacity() == r.exact_capacity);
        CHECK(pow2.capacity() == r.pow2_capacity);
        for (uint32_t i = 0; i < r.size; ++i) {
            const float expected = i < before ? float(i + 1) : 0.0f;
            CHECK(exact.get_data()[i] == expected);
            CHECK(pow2.get_data()[i] == expected);
        }
    }
}

TEST_CASE("channel masks") {
    const uint32_t defaults[] = {0, 0x4, 0x3, 0xB, 0x33, 0x3B, 0x3F, 0xFB, 0xFF, 0, 0};
    for (uint32_t channels = 0; channels < 11; ++channels) {
        CAPTURE(channels);
        CHECK(channel_mask_default(channels) == defaults[channels]);
    }
    CHECK(channel_mask_default(256) == 0);
    CHECK(channel_mask_default(0xFFFFFFFF) == 0);

    struct row {
        uint32_t in, out;
    };
    const row maps[] = {{0x3, 0x3}, {0x3FFFF, 0x3FFFF}, {0x40000, 0}, {0x4003F, 0x3F}, {0xFFFFFFFF, 0x3FFFF}};
    for (const row& r : maps) {
        CAPTURE(r.in);
        CHECK(channel_mask_to_windows(r.in) == r.out);
        CHECK(channel_mask_from_windows(r.in) == r.out);
    }
    CHECK(channel_mask_count(0) == 0);
    CHECK(channel_mask_count(0x3F) == 6);
    CHECK(channel_mask_count(0xFFFFFFFF) == 32);
}
