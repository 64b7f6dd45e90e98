// The pcm_converter service: registration, checks, full and partial containers, exact limits at every
// valid-bit count, and the floating-point mode around a conversion.
#include <doctest/doctest.h>

#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "metadata/audio_block.h"
#include "metadata/pcm_conversion/pcm_converter.h"
#include "metadata/pcm_conversion/sample_kernels.h"

#include <float.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace {

struct forced_paths {
    sample_kernel_paths before;
    explicit forced_paths(sample_kernel_paths paths) : before(sample_kernel_paths_force(paths)) {}
    ~forced_paths() { sample_kernel_paths_force(before); }
};

std::vector<sample_kernel_paths> path_choices() { return {sample_kernel_paths(), sample_kernel_paths_supported()}; }

// A converter from the program's own registrations.
service_ptr<pcm_converter> make_converter(service_table& table) {
    service_ref r;
    table.get_single(r, pcm_converter::class_guid);
    service_ptr<pcm_converter> converter;
    converter.attach_ref(std::move(r));
    return converter;
}

struct registered {
    service_table table;
    registered() { table.build(service_registration_list()); }
};

std::vector<uint8_t> convert(pcm_converter& converter, const std::vector<float>& in, uint32_t valid,
                             uint32_t container, float scale = 1.0f, uint32_t channels = 1) {
    audio_block_store block;
    block.set_data(in.data(), static_cast<uint32_t>(in.size() / channels), channels, 44100, 0);
    kpl::byte_array out;
    converter.convert(block, out, valid, container, 0, scale);
    return std::vector<uint8_t>(out.begin(), out.end());
}

// `value` as `bytes` little-endian bytes.
std::vector<uint8_t> le(uint32_t value, unsigned bytes) {
    std::vector<uint8_t> out;
    for (unsigned i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    return out;
}

const float infinity = std::numeric_limits<float>::infinity();
const float not_a_number = std::numeric_limits<float>::quiet_NaN();

}  // namespace

TEST_CASE("every request creates a new counted converter that answers only its class") {
    registered r;
    const service_class_entry* entry = r.table.find(pcm_converter::class_guid);
    REQUIRE(entry != nullptr);
    CHECK(entry->count == 1);

    service_ptr<pcm_converter> a = make_converter(r.table);
    service_ptr<pcm_converter> b = make_converter(r.table);
    CHECK(a.get() != b.get());
    CHECK(a->add_ref() == 2);
    CHECK(a->release() == 1);

    service_ref same;
    CHECK(a->query(same, pcm_converter::class_guid));
    CHECK(same.get() == static_cast<service_object*>(a.get()));
    CHECK(a->add_ref() == 3);  // a and same hold one each
    CHECK(a->release() == 2);
    same.release();

    service_ref other;
    const kpl::guid unknown = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    CHECK_FALSE(a->query(other, unknown));
    CHECK(other.is_empty());
}

TEST_CASE("convert refuses widths and blocks it cannot write, leaving the buffer alone") {
    registered r;
    service_ptr<pcm_converter> converter = make_converter(r.table);
    struct row {
        const char* what;
        uint32_t valid, container, channels, frames, data_size;
    };
    const row rows[] = {
        {"container 12", 12, 12, 1, 1, 1},
        {"container 0", 0, 0, 1, 1, 1},
        {"container 64", 32, 64, 1, 1, 1},
        {"container 20", 20, 20, 1, 1, 1},
        {"valid 1", 1, 16, 1, 1, 1},
        {"valid 0", 0, 8, 1, 1, 1},
        {"valid 33", 33, 32, 1, 1, 1},
        {"valid above container", 17, 16, 1, 1, 1},
        {"no channels", 16, 16, 0, 1, 1},
        {"data short of the frames", 16, 16, 2, 2, 3},
    };
    for (const row& t : rows) {
        CAPTURE(t.what);
        audio_block_store block;
        block.set_data(nullptr, t.frames, t.channels, 44100, 0);
        block.set_data_size(t.data_size);
        block.set_sample_count(t.frames);
        kpl::byte_array out;
        out.append(0xAB);
        CHECK_THROWS_AS(converter->convert(block, out, t.valid, t.container, 0, 1.0f), ketrel_io::exception_io_data);
        REQUIRE(out.count() == 1);
        CHECK(out[0] == 0xAB);
    }
    // The smallest accepted widths.
    audio_block_store block;
    const float zero = 0.0f;
    block.set_data(&zero, 1, 1, 44100, 0);
    kpl::byte_array out;
    converter->convert(block, out, 2, 8, 0, 1.0f);
    CHECK(out.count() == 1);
}

TEST_CASE("full containers") {
    registered r;
    service_ptr<pcm_converter> converter = make_converter(r.table);
    struct row {
        uint32_t bits;
        float in;
        float scale;
        std::vector<uint8_t> out;
    };
    // Full-precision 24-bit rounding: this product is 1469.49998... exactly but 1469.5 in single precision.
    const float tie_sample = std::ldexp(12035963.0f, -36);
    const float tie_scale = std::ldexp(8390128.0f, -23);
    const row rows[] = {
        {8, 0.0f, 1.0f, {0x80}},
        {8, -1.0f, 1.0f, {0x00}},
        {8, 1.0f, 1.0f, {0xFF}},  // 128 + 128 = 256, limited to 255
        {8, 0.5f, 1.0f, {0xC0}},
        {8, 1.0f / 256, 1.0f, {0x80}},  // 0.5 rounds to even
        {8, 3.0f / 256, 1.0f, {0x82}},
        {8, -2.0f, 1.0f, {0x00}},
        {8, not_a_number, 1.0f, {0x00}},
        {8, 0.5f, 0.5f, {0xA0}},
        {16, 1.0f, 1.0f, {0xFF, 0x7F}},
        {16, -1.0f, 1.0f, {0x00, 0x80}},
        {16, 0.5f, 1.0f, {0x00, 0x40}},
        {16, 1.0f / 65536, 1.0f, {0x00, 0x00}},
        {16, 0.5f, 0.5f, {0x00, 0x20}},
        {24, 1.0f, 1.0f, {0xFF, 0xFF, 0x7F}},
        {24, -1.0f, 1.0f, {0x00, 0x00, 0x80}},
        {24, 0.5f, 1.0f, {0x00, 0x00, 0x40}},
        {24, 1.0f / 16777216, 1.0f, {0x00, 0x00, 0x00}},
        {24, 3.0f / 16777216, 1.0f, {0x02, 0x00, 0x00}},
        {24, infinity, 1.0f, {0xFF, 0xFF, 0x7F}},
        {24, not_a_number, 1.0f, {0x00, 0x00, 0x80}},
        {24, tie_sample, tie_scale, {0xBD, 0x05, 0x00}},  // 1469, not 1470
        {32, -1.0f, 1.0f, {0x00, 0x00, 0x00, 0x80}},
        {32, 0.5f, 1.0f, {0x00, 0x00, 0x00, 0x40}},
        {32, 0.25f, 2.0f, {0x00, 0x00, 0x00, 0x40}},
    };
    for (const sample_kernel_paths& paths : path_choices()) {
        forced_paths forced(paths);
        for (const row& t : rows) {
            CAPTURE(t.bits);
            CAPTURE(t.in);
            CAPTURE(t.scale);
            CHECK(convert(*converter, {t.in}, t.bits, t.bits, t.scale) == t.out);
        }
    }
}

TEST_CASE("16 and 32 valid bits in their own containers are the kernels' bytes") {
    registered r;
    service_ptr<pcm_converter> converter = make_converter(r.table);
    std::mt19937 rng(77);
    std::uniform_real_distribution<float> uniform(-1.2f, 1.2f);
    for (const sample_kernel_paths& paths : path_choices()) {
        forced_paths forced(paths);
        for (float scale : {1.0f, 0.7f}) {
            std::vector<float> in(1001);  // not a whole number of vector blocks
            for (float& v : in) v = uniform(rng);
            in[0] = 1.0f;
            in[1] = -1.0f;
            std::vector<int16_t> i16(in.size());
            std::vector<int32_t> i32(in.size());
            audio_float_to_int16(i16.data(), in.data(), in.size(), scale);
            audio_float_to_int32(i32.data(), in.data(), in.size(), scale);
            const std::vector<uint8_t> b16 = convert(*converter, in, 16, 16, scale);
            const std::vector<uint8_t> b32 = convert(*converter, in, 32, 32, scale);
            CHECK(b16 == std::vector<uint8_t>(reinterpret_cast<uint8_t*>(i16.data()),
                                              reinterpret_cast<uint8_t*>(i16.data() + i16.size())));
            CHECK(b32 == std::vector<uint8_t>(reinterpret_cast<uint8_t*>(i32.data()),
                                              reinterpret_cast<uint8_t*>(i32.data() + i32.size())));
        }
    }
}

TEST_CASE("partial containers put the valid bits at the top") {
    registered r;
    service_ptr<pcm_converter> converter = make_converter(r.table);
    struct row {
        uint32_t valid, container;
        float in;
        std::vector<uint8_t> out;
    };
    const row rows[] = {
        {20, 24, 0.5f, {0x00, 0x00, 0x40}},                    // 0x40000 << 4
        {20, 24, 1.0f, {0xF0, 0xFF, 0x7F}},                    // 0x7FFFF << 4
        {20, 24, -1.0f, {0x00, 0x00, 0x80}},
        {20, 24, std::ldexp(1.0f, -19), {0x10, 0x00, 0x00}},  // one step of 20 bits
        {20, 24, std::ldexp(1.0f, -20), {0x00, 0x00, 0x00}},  // half a step: ties to even
        {20, 24, std::ldexp(3.0f, -20), {0x20, 0x00, 0x00}},  // one and a half: 2
        {12, 16, 1.0f, {0xF0, 0x7F}},
        {24, 32, 1.0f, {0x00, 0xFF, 0xFF, 0x7F}},
        {24, 32, -1.0f, {0x00, 0x00, 0x00, 0x80}},
        {16, 24, -0.5f, {0x00, 0x00, 0xC0}},
        {4, 8, 0.0f, {0x80}},
        {4, 8, 1.0f, {0xF0}},   // 7 << 4, XOR 0x80
        {4, 8, -1.0f, {0x00}},  // -8 << 4, XOR 0x80
        {7, 8, 1.0f, {0xFE}},
        // From 25 valid bits on, 2^(v-1) - 1 is no single-precision number; the limit still holds exactly.
        {25, 32, 1.0f, {0x80, 0xFF, 0xFF, 0x7F}},
        {31, 32, 1.0f, {0xFE, 0xFF, 0xFF, 0x7F}},
        {31, 32, 4.0f, {0xFE, 0xFF, 0xFF, 0x7F}},
        {31, 32, infinity, {0xFE, 0xFF, 0xFF, 0x7F}},
        {31, 32, -1.0f, {0x00, 0x00, 0x00, 0x80}},
        {31, 32, -infinity, {0x00, 0x00, 0x00, 0x80}},
        {31, 32, not_a_number, {0x00, 0x00, 0x00, 0x80}},
        {28, 32, 0.5f, {0x00, 0x00, 0x00, 0x40}},
    };
    for (const row& t : rows) {
        CAPTURE(t.valid);
        CAPTURE(t.container);
        CAPTURE(t.in);
        CHECK(convert(*converter, {t.in}, t.valid, t.container) == t.out);
    }
}

TEST_CASE("full scale never wraps at any valid-bit count") {
    registered r;
    service_ptr<pcm_converter> converter = make_converter(r.table);
    for (uint32_t container : {8u, 16u, 24u, 32u}) {
        for (uint32_t valid = 2; valid < container; ++valid) {
            CAPTURE(container);
            CAPTURE(valid);
            const uint32_t shift = container - valid;
            const uint32_t flip = container == 8 ? 0x80 : 0;
            const uint32_t top = (((uint32_t(1) << (valid - 1)) - 1) << shift) ^ flip;
            const uint32_t bottom = (uint32_t(0) - (uint32_t(1) << (valid - 1))) << shift ^ flip;
            const std::vector<uint8_t> got = convert(*converter, {1.0f, 2.0f, -1.0f, -2.0f}, valid, container);
            std::vector<uint8_t> expected;
            for (uint32_t v : {top, top, bottom, bottom})
                for (uint8_t b : le(v, container / 8)) expected.push_back(b);
            CHECK(got == expected);
        }
    }
}

TEST_CASE("convert rounds to nearest whatever the caller's mode and gives that mode back") {
    registered r;
    service_ptr<pcm_converter> converter = make_converter(r.table);
    const unsigned before = _controlfp(0, 0);
    for (const sample_kernel_paths& paths : path_choices()) {
        forced_paths forced(paths);
        for (unsigned caller_mode : {unsigned(_RC_UP), unsigned(_RC_DOWN), unsigned(_RC_CHOP)}) {
            CAPTURE(caller_mode);
            _controlfp(caller_mode, _MCW_RC);
            // 1.25 and -1.25 steps: nearest gives 1 and -1 in every width.
            const float up = 1.25f / 32768, down = -1.25f / 32768;
            std::vector<float> in(19, up);
            for (size_t i = 1; i < in.size(); i += 2) in[i] = down;
            const std::vector<uint8_t> b16 = convert(*converter, in, 16, 16);
            const unsigned after = _controlfp(0, 0) & _MCW_RC;
            _controlfp(before, _MCW_RC);
            CHECK(after == caller_mode);
            for (size_t i = 0; i < in.size(); ++i) {
                CAPTURE(i);
                CHECK(b16[2 * i] == (i % 2 ? 0xFF : 0x01));
                CHECK(b16[2 * i + 1] == (i % 2 ? 0xFF : 0x00));
            }
            _controlfp(caller_mode, _MCW_RC);
            CHECK(convert(*converter, {std::ldexp(1.25f, -11)}, 12, 16) == std::vector<uint8_t>{0x10, 0x00});
            _controlfp(before, _MCW_RC);
        }
    }
}
