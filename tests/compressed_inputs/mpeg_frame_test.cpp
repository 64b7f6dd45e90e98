// MPEG frame headers, their CRC, and the Xing/LAME and VBRI header frames, from crafted bytes.

#include <doctest/doctest.h>

#include <cstring>
#include <string>
#include <vector>

#include "compressed_inputs/mpeg/mpeg_frame.h"

namespace {

struct header_case {
    uint8_t b[4];
    int layer, version;
    uint32_t rate, bitrate, bytes, spf, channels;
};

void put32(std::vector<uint8_t>& f, size_t at, uint32_t v) {
    f[at] = uint8_t(v >> 24), f[at + 1] = uint8_t(v >> 16), f[at + 2] = uint8_t(v >> 8), f[at + 3] = uint8_t(v);
}

// Stores the CRC of a protected frame over header bytes 2-3 and `bits` bits from offset 6.
void seal(std::vector<uint8_t>& f, uint32_t bits) {
    uint16_t crc = mpeg_crc16_bits(0xFFFF, f.data() + 2, 16);
    crc = mpeg_crc16_bits(crc, f.data() + 6, bits);
    f[4] = uint8_t(crc >> 8), f[5] = uint8_t(crc);
}

bool crc_ok(const std::vector<uint8_t>& f) {
    mpeg_frame_header h;
    REQUIRE(mpeg_parse_frame_header(f.data(), h));
    return mpeg_frame_crc_ok(f.data(), f.size(), h);
}

// A Layer III MPEG-1 joint-stereo frame (128 kbit/s, 44100 Hz, 417 bytes) holding a Xing or Info header with
// flags 15, and, when `lame`, the LAME extension with the delay and padding.
std::vector<uint8_t> xing_frame(const char* tag, uint32_t frames, int32_t quality, bool lame, uint8_t method,
                                uint32_t delay, uint32_t padding, const char* encoder = "LAME3.100") {
    std::vector<uint8_t> f(417, 0);
    const uint8_t h[4] = {0xFF, 0xFB, 0x90, 0x64};
    std::memcpy(f.data(), h, 4);
    std::memcpy(f.data() + 36, tag, 4);
    put32(f, 40, quality >= 0 ? 15 : 7);
    put32(f, 44, frames);
    put32(f, 48, 123456);
    size_t e = 52 + 100;
    if (quality >= 0) {
        put32(f, e, static_cast<uint32_t>(quality));
        e += 4;
    }
    if (lame) {
        std::memcpy(f.data() + e, encoder, std::strlen(encoder) < 9 ? std::strlen(encoder) : 9);
        f[e + 9] = method;
        f[e + 10] = 0xC4;
        f[e + 21] = uint8_t(delay >> 4);
        f[e + 22] = uint8_t((delay & 0x0F) << 4 | padding >> 8);
        f[e + 23] = uint8_t(padding);
    }
    return f;
}

}  // namespace

TEST_CASE("MPEG frame headers") {
    const header_case cases[] = {
        {{0xFF, 0xFB, 0x90, 0x64}, 3, 0, 44100, 128, 417, 1152, 2},  // MPEG-1 Layer III
        {{0xFF, 0xFB, 0x92, 0x64}, 3, 0, 44100, 128, 418, 1152, 2},  // padded
        {{0xFF, 0xFB, 0xE4, 0xC0}, 3, 0, 48000, 320, 960, 1152, 1},  // 320 kbit/s at 48 kHz, mono
        {{0xFF, 0xF3, 0x80, 0xC4}, 3, 1, 22050, 64, 208, 576, 1},    // MPEG-2 Layer III
        {{0xFF, 0xE3, 0x18, 0x00}, 3, 2, 8000, 8, 72, 576, 2},       // MPEG-2.5 Layer III
        {{0xFF, 0xFD, 0xA0, 0x00}, 2, 0, 44100, 192, 626, 1152, 2},  // MPEG-1 Layer II
        {{0xFF, 0xF5, 0x88, 0x00}, 2, 1, 16000, 64, 576, 1152, 2},   // MPEG-2 Layer II
        {{0xFF, 0xFF, 0xC0, 0x00}, 1, 0, 44100, 384, 416, 384, 2},   // MPEG-1 Layer I: whole slots of 4 bytes
        {{0xFF, 0xFF, 0xC2, 0x00}, 1, 0, 44100, 384, 420, 384, 2},   // padded by one slot
        {{0xFF, 0xF7, 0x24, 0x00}, 1, 1, 24000, 48, 96, 384, 2},     // MPEG-2 Layer I
    };
    for (const header_case& c : cases) {
        CAPTURE(c.bytes);
        mpeg_frame_header h;
        REQUIRE(mpeg_parse_frame_header(c.b, h));
        CHECK(h.layer == c.layer);
        CHECK(h.version == c.version);
        CHECK(h.sample_rate == c.rate);
        CHECK(h.bitrate == c.bitrate);
        CHECK(h.frame_bytes == c.bytes);
        CHECK(h.samples_per_frame == c.spf);
        CHECK(h.channels == c.channels);
        CHECK_FALSE(h.has_crc);
    }
    const uint8_t invalid[][4] = {
        {0xFF, 0xFB, 0x00, 0x64},  // free format
        {0xFF, 0xFB, 0xF0, 0x64},  // bitrate index 15
        {0xFF, 0xFB, 0x9C, 0x64},  // sample-rate index 3
        {0xFF, 0xEB, 0x90, 0x64},  // version 01
        {0xFF, 0xF9, 0x90, 0x64},  // layer 00
        {0xFF, 0x7B, 0x90, 0x64},  // sync broken
        {0x00, 0x00, 0x00, 0x00},
    };
    for (const auto& b : invalid) {
        mpeg_frame_header h;
        CHECK_FALSE(mpeg_parse_frame_header(b, h));
        CHECK(h.layer == 0);
    }
    mpeg_frame_header a, b, c;
    const uint8_t h1[4] = {0xFF, 0xFB, 0x90, 0x64}, h2[4] = {0xFF, 0xFB, 0xB0, 0x64}, h3[4] = {0xFF, 0xFB, 0x94, 0x64};
    mpeg_parse_frame_header(h1, a), mpeg_parse_frame_header(h2, b), mpeg_parse_frame_header(h3, c);
    CHECK(mpeg_headers_compatible(a, b));        // another bit rate
    CHECK_FALSE(mpeg_headers_compatible(a, c));  // another sample rate
    CHECK(mpeg_decoder_delay(3) == 529);
    CHECK(mpeg_decoder_delay(2) == 481);
    CHECK(mpeg_decoder_delay(1) == 0);
}

TEST_CASE("MPEG frame CRC covers what each layer protects") {
    SUBCASE("Layer III: the side information, 32 or 17 bytes for MPEG-1") {
        for (uint8_t mode : {uint8_t(0x64), uint8_t(0xC4)}) {
            const uint32_t side = mode == 0xC4 ? 17 : 32;
            std::vector<uint8_t> f(417, 0);
            const uint8_t h[4] = {0xFF, 0xFA, 0x90, mode};
            std::memcpy(f.data(), h, 4);
            for (size_t i = 6; i < f.size(); ++i) f[i] = uint8_t(i * 7);
            seal(f, side * 8);
            CHECK(crc_ok(f));
            std::vector<uint8_t> beyond = f;
            beyond[6 + side] ^= 0x01;
            CHECK(crc_ok(beyond));
            std::vector<uint8_t> inside = f;
            inside[6 + side - 1] ^= 0x01;
            CHECK_FALSE(crc_ok(inside));
            mpeg_frame_header hh;
            mpeg_parse_frame_header(f.data(), hh);
            CHECK_FALSE(mpeg_frame_crc_ok(f.data(), f.size() - 1, hh));  // cut short
        }
    }
    SUBCASE("Layer I: the bit allocation, shared above the joint-stereo bound") {
        // Stereo: 32 subbands x 2 channels x 4 bits = 32 bytes; joint stereo with bound 8: 8 x 2 x 4 + 24 x 4 bits = 20 bytes.
        for (uint8_t mode : {uint8_t(0x00), uint8_t(0x50)}) {
            const uint32_t bytes = mode == 0x50 ? 20 : 32;
            std::vector<uint8_t> f(416, 0);
            const uint8_t h[4] = {0xFF, 0xFE, 0xC0, mode};
            std::memcpy(f.data(), h, 4);
            for (size_t i = 6; i < f.size(); ++i) f[i] = uint8_t(i * 13);
            seal(f, bytes * 8);
            CHECK(crc_ok(f));
            std::vector<uint8_t> beyond = f;
            beyond[6 + bytes] ^= 0x80;
            CHECK(crc_ok(beyond));
            std::vector<uint8_t> inside = f;
            inside[6 + bytes - 1] ^= 0x01;
            CHECK_FALSE(crc_ok(inside));
        }
    }
    SUBCASE("Layer II: the allocation of the rate's table and the scale-factor selection") {
        // MPEG-1 mono, 48 kbit/s at 32 kHz: the 12-subband table (4, 4, then 3 bits). Subband 0 has an
        // allocation, so its 2-bit selection follows the 38 allocation bits: 40 protected bits.
        std::vector<uint8_t> f(216, 0);
        const uint8_t h[4] = {0xFF, 0xFC, 0x28, 0xC0};
        std::memcpy(f.data(), h, 4);
        f[6] = 0x10;   // subband 0: allocation 1
        f[10] = 0x01;  // its selection: 01
        for (size_t i = 11; i < f.size(); ++i) f[i] = uint8_t(i);
        seal(f, 40);
        CHECK(crc_ok(f));
        std::vector<uint8_t> selection = f;
        selection[10] ^= 0x02;
        CHECK_FALSE(crc_ok(selection));
        std::vector<uint8_t> samples = f;
        samples[11] ^= 0x80;
        CHECK(crc_ok(samples));
        // Without any allocation there is no selection: 38 bits.
        std::vector<uint8_t> silent(216, 0);
        std::memcpy(silent.data(), h, 4);
        silent[10] = 0x03;
        seal(silent, 38);
        CHECK(crc_ok(silent));
    }
    SUBCASE("an unprotected frame always passes") {
        std::vector<uint8_t> f(417, 0xAA);
        const uint8_t h[4] = {0xFF, 0xFB, 0x90, 0x64};
        std::memcpy(f.data(), h, 4);
        CHECK(crc_ok(f));
    }
}

TEST_CASE("Xing, Info and LAME headers") {
    struct profile_case {
        const char* tag;
        int32_t quality;
        uint8_t method;
        const char* profile;
    };
    const profile_case profiles[] = {
        {"Xing", 78, 0x04, "VBR V2"}, {"Xing", 100, 0x04, "VBR V0"}, {"Xing", 0, 0x04, "VBR"},
        {"Xing", 101, 0x04, "VBR"},   {"Xing", 57, 0x09, "ABR"},     {"Xing", 57, 0x02, "ABR"},
        {"Info", 78, 0x01, "CBR"},    {"Xing", 78, 0x24, "VBR"},  // another revision: the default profile
    };
    for (const profile_case& c : profiles) {
        CAPTURE(c.profile);
        xing_header x;
        std::vector<uint8_t> f = xing_frame(c.tag, 500, c.quality, true, c.method, 576, 1152);
        REQUIRE(xing_parse(f.data(), uint32_t(f.size()), x));
        CHECK(std::string(x.profile.c_str()) == c.profile);
        CHECK(x.frames == 500);
        CHECK(x.bytes == 123456);
    }
    SUBCASE("delay, padding, encoder") {
        xing_header x;
        std::vector<uint8_t> f = xing_frame("Info", 500, 78, true, 0x01, 576, 1152, "LAME3.99.");
        REQUIRE(xing_parse(f.data(), uint32_t(f.size()), x));
        CHECK(x.delay == 576);
        CHECK(x.padding == 1152);
        CHECK(x.is_info);
        CHECK(x.lowpass == 0xC4);
        CHECK(std::string(x.encoder.c_str()) == "LAME3.99");
        f = xing_frame("Xing", 500, 78, true, 0x04, 0xFFF, 0x0AB, "LAME\x01xx");
        REQUIRE(xing_parse(f.data(), uint32_t(f.size()), x));
        CHECK(x.delay == 0xFFF);
        CHECK(x.padding == 0x0AB);
        CHECK(x.encoder.is_empty());  // not plain text
    }
    SUBCASE("a frame count of 0 or 1 is no header; no tag is none") {
        xing_header x;
        std::vector<uint8_t> f = xing_frame("Xing", 1, 78, true, 0x04, 576, 1152);
        CHECK_FALSE(xing_parse(f.data(), uint32_t(f.size()), x));
        f = xing_frame("Xing", 0, 78, true, 0x04, 576, 1152);
        CHECK_FALSE(xing_parse(f.data(), uint32_t(f.size()), x));
        f = xing_frame("Xinf", 500, 78, true, 0x04, 576, 1152);
        CHECK_FALSE(xing_parse(f.data(), uint32_t(f.size()), x));
    }
    SUBCASE("frames that end inside the extension") {
        const std::vector<uint8_t> f = xing_frame("Xing", 500, 78, true, 0x04, 576, 1152);
        const uint32_t e = 36 + 16 + 100 + 4;
        xing_header x;
        // Exactly 9 bytes of the extension: read without it, the frame count kept.
        REQUIRE(xing_parse(f.data(), e + 9, x));
        CHECK(x.frames == 500);
        CHECK(x.delay == -1);
        CHECK(std::string(x.profile.c_str()) == "VBR");
        // Fewer than 24 bytes: the encoder but no delay and padding.
        REQUIRE(xing_parse(f.data(), e + 23, x));
        CHECK(std::string(x.encoder.c_str()) == "LAME3.100");
        CHECK(x.delay == -1);
        REQUIRE(xing_parse(f.data(), e + 24, x));
        CHECK(x.delay == 576);
        // The frame ends inside the quality field: no header.
        CHECK_FALSE(xing_parse(f.data(), e - 2, x));
    }
    SUBCASE("offsets by version and channel mode") {
        // MPEG-2 mono: the tag at 13.
        std::vector<uint8_t> f(208, 0);
        const uint8_t h[4] = {0xFF, 0xF3, 0x80, 0xC4};
        std::memcpy(f.data(), h, 4);
        std::memcpy(f.data() + 13, "Xing", 4);
        put32(f, 17, 1);
        put32(f, 21, 300);
        xing_header x;
        REQUIRE(xing_parse(f.data(), 208, x));
        CHECK(x.frames == 300);
        // MPEG-1 mono: at 21.
        std::vector<uint8_t> g(417, 0);
        const uint8_t h1[4] = {0xFF, 0xFB, 0x90, 0xC4};
        std::memcpy(g.data(), h1, 4);
        std::memcpy(g.data() + 21, "Info", 4);
        put32(g, 25, 1);
        put32(g, 29, 42);
        REQUIRE(xing_parse(g.data(), 417, x));
        CHECK(x.frames == 42);
        CHECK(std::string(x.profile.c_str()) == "CBR");
    }
}

TEST_CASE("VBRI header") {
    std::vector<uint8_t> f(417, 0);
    const uint8_t h[4] = {0xFF, 0xFB, 0x90, 0x64};
    std::memcpy(f.data(), h, 4);
    std::memcpy(f.data() + 36, "VBRI", 4);
    f[41] = 1;                       // version
    f[43] = 0x10;                    // delay
    f[45] = 75;                      // quality
    put32(f, 46, 99999);             // bytes
    put32(f, 50, 1234);              // frames
    vbri_header v;
    REQUIRE(vbri_parse(f.data(), 417, v));
    CHECK(v.frames == 1234);
    CHECK(v.bytes == 99999);
    CHECK(v.sample_rate == 44100);
    CHECK(v.version == 1);
    CHECK_FALSE(vbri_parse(f.data(), 60, v));  // cut inside the fields
    f[36] = 'X';
    CHECK_FALSE(vbri_parse(f.data(), 417, v));
}
