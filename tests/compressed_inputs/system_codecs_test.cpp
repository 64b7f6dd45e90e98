// The system-codec packet decoders: which streams each takes, the AAC setup bytes, the ACM buffer sizes, the
// PCM decoder, and the version rules (tested through the version override, as on older systems).

#include <doctest/doctest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "compressed_inputs/mpeg/mpeg_frame.h"
#include "compressed_inputs/mpeg/mpeg_input.h"
#include "compressed_inputs/system_codecs/aac_config.h"
#include "compressed_inputs/system_codecs/acm_mpeg_backend.h"
#include "compressed_inputs/system_codecs/system_codecs.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/input_service.h"
#include "metadata/audio_block.h"
#include "metadata/track_info.h"
#include "tests/compressed_inputs/compressed_test_support.h"

namespace {

std::string hex(const std::vector<uint8_t>& b) {
    std::string s;
    char t[4];
    for (uint8_t v : b) {
        std::snprintf(t, sizeof t, "%02X ", v);
        s += t;
    }
    if (!s.empty()) s.pop_back();
    return s;
}

matroska_setup_record record(const char* id, uint32_t rate = 44100, uint32_t channels = 2) {
    matroska_setup_record r = {};
    r.codec_id = id;
    r.sampling_frequency = rate;
    r.channels = channels;
    return r;
}

std::string codec_of(const kpl::guid& owner, uint32_t parameter, const void* rec, size_t size) {
    service_ptr<codec_packet_decoder> d;
    try {
        codec_packet_decoder_open(d, true, owner, parameter, rec, size, abort_never);
    } catch (const ketrel_io::exception_io_data&) {
        return "refused";
    }
    track_info_store info;
    d->get_info(info);
    const char* codec = info.info_get_by_name("codec");
    return codec ? codec : "PCM";
}

struct version_scope {
    explicit version_scope(uint32_t v) { system_codec_version_override(v); }
    ~version_scope() { system_codec_version_override(0); }
};

}  // namespace

TEST_CASE("AudioSpecificConfig from Matroska codec ids") {
    struct config_case {
        const char* id;
        uint32_t rate, output_rate, channels;
        const char* bytes;
    };
    const config_case cases[] = {
        {"A_AAC/MPEG4/LC/SBR", 24000, 48000, 2, "13 10 56 E5 98"},
        {"A_AAC/MPEG2/LC", 44100, 0, 2, "12 10"},
        {"A_AAC/MPEG4/MAIN", 48000, 0, 1, "09 88"},
        {"A_AAC/MPEG4/SSR", 32000, 0, 2, "1A 90"},
        {"A_AAC/MPEG4/LTP", 8000, 0, 6, "25 B0"},
        {"A_AAC/MPEG2/LC/SBR", 22050, 44100, 2, "13 90 56 E5 A0"},
    };
    for (const config_case& c : cases) {
        CAPTURE(c.id);
        std::vector<uint8_t> out;
        aac_config_from_codec_id(c.id, c.rate, c.output_rate, c.channels, out);
        CHECK(hex(out) == c.bytes);
    }
    std::vector<uint8_t> out;
    CHECK_THROWS_AS(aac_config_from_codec_id("A_AAC/MPEG4/HE", 44100, 0, 2, out), ketrel_io::exception_io_data);
    // Sampling-frequency bounds: each one reaches its index, one below falls to the next.
    CHECK(aac_sampling_index(96000) == 0);
    CHECK(aac_sampling_index(92017) == 0);
    CHECK(aac_sampling_index(92016) == 1);
    CHECK(aac_sampling_index(44100) == 4);
    CHECK(aac_sampling_index(9391) == 10);
    CHECK(aac_sampling_index(9390) == 11);
    std::vector<uint8_t> user;
    const uint8_t asc[2] = {0x12, 0x10};
    aac_user_data(asc, 2, user);
    CHECK(hex(user) == "00 00 2A 00 00 00 00 00 00 00 00 00 12 10");
}

TEST_CASE("Packet decoders by owner and setup") {
    compressed_test::services_built();
    const matroska_setup_record l3 = record("A_MPEG/L3"), l2 = record("A_MPEG/L2"), l1 = record("A_MPEG/L1");
    const matroska_setup_record l4 = record("A_MPEG/L4"), aac = record("A_AAC"), aac_lc = record("A_AAC/MPEG4/LC");
    const matroska_setup_record lit = record("A_PCM/INT/LIT"), big = record("A_PCM/INT/BIG");
    const matroska_setup_record flt = record("A_PCM/FLOAT/IEEE"), bad_aac = record("A_AACX");
    struct owner_case {
        const char* what;
        kpl::guid owner;
        uint32_t parameter;
        const void* rec;
        size_t size;
        const char* codec;
    };
    const size_t n = sizeof(matroska_setup_record);
    const owner_case cases[] = {
        {"layer III owner", codec_owner_mpeg_layer3, 0, nullptr, 0, "MP3"},
        {"layer II owner", codec_owner_mpeg_layer2, 0, nullptr, 0, "MP2"},
        {"layer I owner", codec_owner_mpeg_layer1, 0, nullptr, 0, "MP1"},
        {"MP4 0x6B", codec_owner_mp4, 107, nullptr, 0, "MP3"},
        {"MP4 0x69", codec_owner_mp4, 105, nullptr, 0, "MP3"},
        {"MP4 0x40", codec_owner_mp4, 64, nullptr, 0, "AAC"},
        {"MP4 0x67", codec_owner_mp4, 103, nullptr, 0, "AAC"},
        {"MP4 0x6A", codec_owner_mp4, 106, nullptr, 0, "refused"},
        {"Matroska L3", codec_owner_matroska, 0, &l3, n, "MP3"},
        {"Matroska L2", codec_owner_matroska, 0, &l2, n, "MP2"},
        {"Matroska L1", codec_owner_matroska, 0, &l1, n, "MP1"},
        {"Matroska L4", codec_owner_matroska, 0, &l4, n, "refused"},
        {"Matroska A_AAC", codec_owner_matroska, 0, &aac, n, "AAC"},
        {"Matroska A_AAC/", codec_owner_matroska, 0, &aac_lc, n, "AAC"},
        {"Matroska A_AACX", codec_owner_matroska, 0, &bad_aac, n, "refused"},
        {"Matroska LIT", codec_owner_matroska, 0, &lit, n, "PCM"},
        {"Matroska BIG", codec_owner_matroska, 0, &big, n, "PCM"},
        {"Matroska float", codec_owner_matroska, 0, &flt, n, "refused"},
        {"Matroska short record", codec_owner_matroska, 0, &l3, n - 1, "refused"},
        {"other AAC owner", codec_owner_aac_other1, 0, nullptr, 0, "AAC"},
    };
    for (const owner_case& c : cases) {
        CAPTURE(c.what);
        CHECK(codec_of(c.owner, c.parameter, c.rec, c.size) == c.codec);
    }
    SUBCASE("pre-roll") {
        service_ptr<codec_packet_decoder> d;
        codec_packet_decoder_open(d, true, codec_owner_mpeg_layer3, 0, nullptr, 0, abort_never);
        CHECK(d->preroll_frames() == 10);
        CHECK(d->preroll_seconds() == doctest::Approx(0.36));
        CHECK_FALSE(d->needs_first_packet());
        codec_packet_decoder_open(d, true, codec_owner_mp4, 64, nullptr, 0, abort_never);
        CHECK(d->preroll_frames() == 32);
        CHECK(d->preroll_seconds() == doctest::Approx(4.096));
    }
    SUBCASE("the other AAC owners are refused at the first packet") {
        service_ptr<codec_packet_decoder> d;
        codec_packet_decoder_open(d, true, codec_owner_aac_other2, 0, nullptr, 0, abort_never);
        audio_block_store block;
        const uint8_t packet[4] = {1, 2, 3, 4};
        CHECK_THROWS_AS(d->decode_packet(packet, 4, block, abort_never), exception_codec_setup);
    }
}

TEST_CASE("Windows versions the codecs need") {
    compressed_test::services_built();
    SUBCASE("AAC below Windows 7") {
        version_scope xp(0x0600);
        service_ptr<codec_packet_decoder> d;
        try {
            codec_packet_decoder_open(d, true, codec_owner_mp4, 64, nullptr, 0, abort_never);
            FAIL("AAC opened on Vista");
        } catch (const ketrel_io::exception_io_data& e) {
            CHECK(std::string(e.what()) == "AAC decoding supported only on Windows 7 or newer");
        }
    }
    SUBCASE("MPEG needs a rate and channels before the first packet") {
        for (uint32_t v : {0x0501u, 0x0601u}) {
            version_scope scope(v);
            service_ptr<codec_packet_decoder> d;
            codec_packet_decoder_open(d, true, codec_owner_mpeg_layer3, 0, nullptr, 0, abort_never);
            audio_block_store block;
            const uint8_t packet[4] = {0xFF, 0xFB, 0x90, 0x64};
            CHECK_THROWS_AS(d->decode_packet(packet, 4, block, abort_never), exception_codec_setup);
        }
    }
}

TEST_CASE("ACM buffer sizes") {
    // Output: 65536 + MulDiv(65536, 2 x bytes per second of the PCM, 40000).
    CHECK(acm_mpeg_buffer_sizes(44100, 2).input_bytes == 65536);
    CHECK(acm_mpeg_buffer_sizes(44100, 2).output_bytes == 65536 + 578028);
    CHECK(acm_mpeg_buffer_sizes(8000, 1).output_bytes == 65536 + 52429);
    CHECK(acm_mpeg_buffer_sizes(48000, 2).output_bytes == 65536 + 629146);
}

TEST_CASE("Matroska integer PCM") {
    compressed_test::services_built();
    struct pcm_case {
        const char* id;
        uint32_t bits;
        int is_signed;  // -1: not set
        std::vector<uint8_t> bytes;
        float first, second;
    };
    const pcm_case cases[] = {
        {"A_PCM/INT/LIT", 8, -1, {0x00, 0xC0}, -1.0f, 0.5f},                     // 8 bits: unsigned by default
        {"A_PCM/INT/LIT", 8, 1, {0x80, 0x40}, -1.0f, 0.5f},                      // unless signed is set
        {"A_PCM/INT/LIT", 16, -1, {0x00, 0x80, 0x00, 0x40}, -1.0f, 0.5f},
        {"A_PCM/INT/BIG", 16, -1, {0x80, 0x00, 0x40, 0x00}, -1.0f, 0.5f},
        {"A_PCM/INT/LIT", 24, -1, {0x00, 0x00, 0x80, 0x00, 0x00, 0x40}, -1.0f, 0.5f},
        {"A_PCM/INT/BIG", 24, -1, {0x80, 0x00, 0x00, 0x40, 0x00, 0x00}, -1.0f, 0.5f},
        {"A_PCM/INT/LIT", 32, -1, {0, 0, 0, 0x80, 0, 0, 0, 0x40}, -1.0f, 0.5f},
        {"A_PCM/INT/BIG", 32, -1, {0x80, 0, 0, 0, 0x40, 0, 0, 0}, -1.0f, 0.5f},
        {"A_PCM/INT/LIT", 16, 0, {0x00, 0x00, 0x00, 0xC0}, -1.0f, 0.5f},         // 16-bit unsigned when told so
    };
    for (const pcm_case& c : cases) {
        CAPTURE(c.id);
        CAPTURE(c.bits);
        const matroska_setup_record r = record(c.id, 48000, 1);
        service_ptr<codec_packet_decoder> d;
        codec_packet_decoder_open(d, true, codec_owner_matroska, 0, &r, sizeof r, abort_never);
        d->property(codec_property_bits_per_sample, c.bits, nullptr, 0);
        if (c.is_signed >= 0) d->property(codec_property_signed, c.is_signed, nullptr, 0);
        audio_block_store block;
        d->decode_packet(c.bytes.data(), c.bytes.size(), block, abort_never);
        REQUIRE(block.get_sample_count() == 2);
        CHECK(block.get_sample_rate() == 48000);
        CHECK(block.get_channels() == 1);
        CHECK(block.get_data()[0] == doctest::Approx(c.first));
        CHECK(block.get_data()[1] == doctest::Approx(c.second));
    }
    SUBCASE("the layout properties override the codec id; the format must be known") {
        const matroska_setup_record r = record("A_PCM/INT/BIG", 44100, 2);
        service_ptr<codec_packet_decoder> d;
        codec_packet_decoder_open(d, true, codec_owner_matroska, 0, &r, sizeof r, abort_never);
        audio_block_store block;
        const uint8_t le[4] = {0x00, 0x80, 0x00, 0x40};
        CHECK_THROWS_AS(d->decode_packet(le, 4, block, abort_never), ketrel_io::exception_io_data);  // no bits
        d->property(codec_property_bits_per_sample, 12, nullptr, 0);
        CHECK_THROWS_AS(d->decode_packet(le, 4, block, abort_never), ketrel_io::exception_io_data);
        d->property(codec_property_bits_per_sample, 16, nullptr, 0);
        d->property(codec_property_little_endian, 1, nullptr, 0);
        d->decode_packet(le, 4, block, abort_never);
        REQUIRE(block.get_sample_count() == 1);
        CHECK(block.get_data()[0] == doctest::Approx(-1.0f));
        CHECK(block.get_data()[1] == doctest::Approx(0.5f));
        CHECK(block.get_channel_mask() == 0x3);
        d->property(codec_property_channels, 0, nullptr, 0);
        CHECK_THROWS_AS(d->decode_packet(le, 4, block, abort_never), ketrel_io::exception_io_data);
    }
}

// Run by aac_decode_test.sh: decodes the raw frames of the ADTS file VORN_AAC_ADTS through the MP4 owner into
// 32-bit floats in VORN_AAC_OUT, as the MP4 input feeds them (headers stripped, the AudioSpecificConfig from
// the first header).
TEST_CASE("aac child: ADTS frames" * doctest::skip()) {
    compressed_test::services_built();
    const char* in_path = std::getenv("VORN_AAC_ADTS");
    const char* out_path = std::getenv("VORN_AAC_OUT");
    REQUIRE(in_path);
    REQUIRE(out_path);
    std::FILE* in = std::fopen(in_path, "rb");
    REQUIRE(in);
    std::vector<uint8_t> adts;
    uint8_t chunk[65536];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;) adts.insert(adts.end(), chunk, chunk + n);
    std::fclose(in);
    REQUIRE(adts.size() > 9);
    const uint32_t profile = adts[2] >> 6, index = (adts[2] >> 2) & 0x0F;
    const uint32_t channels = (adts[2] & 1) << 2 | adts[3] >> 6;
    static const uint32_t rates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000};
    REQUIRE(index < 12);
    const uint8_t asc[2] = {uint8_t((profile + 1) << 3 | index >> 1), uint8_t((index & 1) << 7 | channels << 3)};
    CoInitialize(nullptr);
    service_ptr<codec_packet_decoder> d;
    codec_packet_decoder_open(d, true, codec_owner_mp4, 64, asc, sizeof asc, abort_never);
    d->property(codec_property_sample_rate, rates[index], nullptr, 0);
    d->property(codec_property_channels, channels, nullptr, 0);
    std::FILE* out = std::fopen(out_path, "wb");
    REQUIRE(out);
    audio_block_store block;
    size_t pos = 0, frames = 0;
    auto write_block = [&] {
        if (block.get_sample_count()) {
            CHECK(block.get_channels() == channels);
            std::fwrite(block.get_data(), 4, size_t(block.get_sample_count()) * block.get_channels(), out);
        }
    };
    while (pos + 7 <= adts.size()) {
        REQUIRE(adts[pos] == 0xFF);
        const size_t length = size_t(adts[pos + 3] & 3) << 11 | size_t(adts[pos + 4]) << 3 | adts[pos + 5] >> 5;
        const size_t header = (adts[pos + 1] & 1) ? 7 : 9;
        REQUIRE(pos + length <= adts.size());
        d->decode_packet(adts.data() + pos + header, length - header, block, abort_never);
        write_block();
        pos += length;
        ++frames;
    }
    d->decode_packet(nullptr, 0, block, abort_never);
    write_block();
    std::fclose(out);
    CHECK(frames > 10);
    d.release();
    CoUninitialize();
}

// Run by mpeg_decode_test.sh: the MPEG file VORN_MPEG_FILE (a Windows path) decodes to the same samples on
// every system version: through ACM as on XP (below 6.0), and through Media Foundation from 6.0 on, or ACM
// where the system has no MF MP3 transform.
TEST_CASE("mpeg child: back ends by system version" * doctest::skip()) {
    compressed_test::services_built();
    const char* path = std::getenv("VORN_MPEG_FILE");
    REQUIRE(path);
    const std::string location = std::string("file://") + path;
    CoInitialize(nullptr);
    std::vector<std::vector<float>> outputs;
    for (uint32_t version : {0x0501u, 0x0600u, 0x0601u}) {
        CAPTURE(version);
        version_scope scope(version);
        service_ptr<track_decoder> d;
        mpeg_audio_input_service().open_decoder(d, file_stream_ref(), location.c_str(), abort_never);
        d->initialise(0, decoder_flag_fail_on_damage, abort_never);
        audio_block_store block;
        std::vector<float> all;
        while (d->decode_chunk(block, abort_never)) {
            all.insert(all.end(), block.get_data(), block.get_data() + block.get_sample_count() * block.get_channels());
        }
        CHECK(all.size() > 10000);
        outputs.push_back(std::move(all));
    }
    CHECK(outputs[0] == outputs[1]);
    CHECK(outputs[0] == outputs[2]);
    CoUninitialize();
}

// Run by mpeg_decode_test.sh: the frames of the Layer III file VORN_MPEG_FILE fed as one packet larger than the
// ACM input buffer decode to the same samples as the frames fed one by one (no part of a packet is lost).
TEST_CASE("mpeg child: a packet larger than the ACM buffer" * doctest::skip()) {
    compressed_test::services_built();
    const char* path = std::getenv("VORN_MPEG_FILE");
    REQUIRE(path);
    std::FILE* in = std::fopen(path, "rb");
    REQUIRE(in);
    std::vector<uint8_t> data;
    uint8_t chunk[65536];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;) data.insert(data.end(), chunk, chunk + n);
    std::fclose(in);
    // The frames from the first header on.
    mpeg_frame_header h;
    size_t start = 0;
    while (start + 4 <= data.size() && !mpeg_parse_frame_header(data.data() + start, h)) ++start;
    std::vector<size_t> frame_starts;
    for (size_t pos = start; pos + 4 <= data.size() && mpeg_parse_frame_header(data.data() + pos, h) &&
                             pos + h.frame_bytes <= data.size();
         pos += h.frame_bytes) {
        frame_starts.push_back(pos);
    }
    REQUIRE(frame_starts.size() > 10);
    const size_t end = frame_starts.back() + h.frame_bytes;
    REQUIRE(end - start > 65536);
    version_scope xp(0x0501);
    auto decode = [&](bool whole) {
        service_ptr<codec_packet_decoder> d;
        codec_packet_decoder_open(d, true, codec_owner_mpeg_layer3, 0, nullptr, 0, abort_never);
        d->property(codec_property_channels, h.channels, nullptr, 0);
        d->property(codec_property_sample_rate, h.sample_rate, nullptr, 0);
        std::vector<float> all;
        audio_block_store block;
        auto keep = [&] { all.insert(all.end(), block.get_data(), block.get_data() + block.get_sample_count() * block.get_channels()); };
        if (whole) {
            d->decode_packet(data.data() + start, end - start, block, abort_never);
            keep();
        } else {
            for (size_t i = 0; i < frame_starts.size(); ++i) {
                const size_t next = i + 1 < frame_starts.size() ? frame_starts[i + 1] : end;
                d->decode_packet(data.data() + frame_starts[i], next - frame_starts[i], block, abort_never);
                keep();
            }
        }
        d->decode_packet(nullptr, 0, block, abort_never);
        keep();
        return all;
    };
    const std::vector<float> framewise = decode(false), whole = decode(true);
    CHECK(framewise.size() >= frame_starts.size() * 1152 * h.channels - 1152 * h.channels);
    CHECK(whole.size() == framewise.size());
    CHECK(whole == framewise);
}

// Run by system_codecs_xp_test.sh with Wine reporting Windows XP: AAC is refused with its text; MPEG decodes
// through ACM without Media Foundation.
TEST_CASE("xp child: the system codecs on Windows XP" * doctest::skip()) {
    compressed_test::services_built();
    REQUIRE(system_codec_version() < 0x0600);  // 5.1, or 5.2 for 64-bit XP
    service_ptr<codec_packet_decoder> d;
    try {
        codec_packet_decoder_open(d, true, codec_owner_mp4, 64, nullptr, 0, abort_never);
        FAIL("AAC opened on XP");
    } catch (const ketrel_io::exception_io_data& e) {
        CHECK(std::string(e.what()) == "AAC decoding supported only on Windows 7 or newer");
    }
    CHECK(GetModuleHandleW(L"mfplat.dll") == nullptr);
}
