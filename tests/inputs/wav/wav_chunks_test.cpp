#include <doctest/doctest.h>

#include <string>

#include "foundation/kpl/io_exceptions.h"
#include "inputs/wav/wav_chunks.h"
#include "inputs/wav/wav_info.h"
#include "inputs/wav/wav_sample_decoder.h"
#include "metadata/track_info.h"
#include "tests/inputs/wav/wav_builder.h"

using namespace wav_test;

namespace {

bytes samples(size_t n, uint8_t first = 1) {
    bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(first + i);
    return b;
}

bytes rf64_file(const bytes& fmt, const bytes& data, uint64_t ds64_data_size) {
    bytes b;
    put_text(b, "RF64");
    put32(b, 0xFFFFFFFF);
    put_text(b, "WAVE");
    put_text(b, "ds64");
    put32(b, 28);
    uint64_t riff = 4 + 36 + 8 + fmt.size() + 8 + data.size();
    put64(b, riff);
    put64(b, ds64_data_size);
    put64(b, 0);
    put32(b, 0);
    put_text(b, "fmt ");
    put32(b, static_cast<uint32_t>(fmt.size()));
    b.insert(b.end(), fmt.begin(), fmt.end());
    put_text(b, "data");
    put32(b, 0xFFFFFFFF);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

void put_guid_of(bytes& b, const kpl::guid& g) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&g);
    b.insert(b.end(), p, p + 16);
}

bytes wave64_file(const bytes& fmt, const bytes& data) {
    bytes b;
    auto chunk = [&](const kpl::guid& id, const bytes& payload) {
        put_guid_of(b, id);
        put64(b, payload.size() + 24);
        b.insert(b.end(), payload.begin(), payload.end());
        while (b.size() % 8) b.push_back(0);
    };
    put_guid_of(b, wav_guid_riff);
    put64(b, 0);
    put_guid_of(b, wav_guid_wave);
    chunk(wav_guid_fmt, fmt);
    chunk(wav_guid_data, data);
    uint64_t size = b.size();
    std::memcpy(b.data() + 16, &size, 8);
    return b;
}

struct walk_case {
    const char* name;
    bytes file;
    bool fails;
    uint64_t data_start;
    uint64_t data_size;
    wav_container_kind kind;
};

}  // namespace

TEST_CASE("WAVE chunk walk: heads, sizes that disagree with the file, format records") {
    const bytes fmt = pcm_format(1, 2, 44100, 16);
    const bytes data = samples(40);
    bytes plain = wav_builder().chunk("fmt ", fmt).chunk("data", data).get();
    bytes cut_header = plain;
    cut_header.insert(cut_header.end(), {'L', 'I', 'S'});  // a header cut off after "data"
    bytes fmt16 = wav_builder().chunk("fmt ", pcm_format(1, 2, 44100, 16, false)).chunk("data", data).get();
    bytes fmt17 = pcm_format(1, 2, 44100, 16, false);
    fmt17.push_back(0);
    bytes odd = wav_builder().chunk("fmt ", fmt).chunk("abcd", samples(3)).chunk("data", data).get();

    const walk_case cases[] = {
        {"plain", plain, false, 46, 40, wav_container_riff},
        {"RIFF size 0 walks to the end of the file", wav_builder().chunk("fmt ", fmt).chunk("data", data).get(0),
         false, 46, 40, wav_container_riff},
        {"RIFF size beyond the file is clipped", wav_builder().chunk("fmt ", fmt).chunk("data", data).get(100000),
         false, 46, 40, wav_container_riff},
        {"data size 0 plays to the end", wav_builder().chunk("fmt ", fmt).chunk("data", data, 0).get(), false, 46,
         40, wav_container_riff},
        {"data size beyond the file is clipped", wav_builder().chunk("fmt ", fmt).chunk("data", data, 5000).get(),
         false, 46, 40, wav_container_riff},
        {"cut-off final header", cut_header, false, 46, 40, wav_container_riff},
        {"odd chunk and its pad byte", odd, false, 58, 40, wav_container_riff},
        {"16-byte fmt", fmt16, false, 44, 40, wav_container_riff},
        {"17-byte fmt", wav_builder().chunk("fmt ", fmt17).chunk("data", data).get(), true, 0, 0, wav_container_riff},
        {"no data", wav_builder().chunk("fmt ", fmt).get(), true, 0, 0, wav_container_riff},
        {"no fmt", wav_builder().chunk("data", data).get(), true, 0, 0, wav_container_riff},
        {"0 channels", wav_builder().chunk("fmt ", pcm_format(1, 0, 44100, 16)).chunk("data", data).get(), true, 0, 0,
         wav_container_riff},
        {"rate 999", wav_builder().chunk("fmt ", pcm_format(1, 1, 999, 16)).chunk("data", data).get(), true, 0, 0,
         wav_container_riff},
        {"not RIFF", bytes{'R', 'I', 'F', 'X', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}, true, 0, 0, wav_container_riff},
        {"RIFF of another form", bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '}, true, 0, 0,
         wav_container_riff},
        {"RF64 with its ds64 data size", rf64_file(fmt, data, 36), false, 82, 36, wav_container_rf64},
        {"RF64 data size all ones", rf64_file(fmt, data, ~uint64_t(0)), true, 0, 0, wav_container_rf64},
        {"RF64 data size beyond the file is clipped", rf64_file(fmt, data, 1000000), false, 82, 40, wav_container_rf64},
        {"Wave64", wave64_file(fmt, data), false, 40 + 24 + 24 + 24, 40, wav_container_wave64},
    };
    for (const walk_case& c : cases) {
        CAPTURE(std::string(c.name));
        file_stream_ref f = wav_builder::file_of(c.file);
        wav_layout layout;
        if (c.fails) {
            CHECK_THROWS_AS(wav_walk_chunks(*f, layout, abort_never), ketrel_io::exception_io_data);
        } else {
            wav_walk_chunks(*f, layout, abort_never);
            CHECK(layout.kind == c.kind);
            CHECK(layout.data_start == c.data_start);
            CHECK(layout.data_size == c.data_size);
            CHECK(layout.format.count() >= 18);
        }
    }
}

namespace {

// Decodes the whole file; the floats of all blocks.
std::vector<float> decode_all(const bytes& file, uint32_t* mask = nullptr, double seek = -1000) {
    file_stream_ref f = wav_builder::file_of(file);
    wav_layout layout;
    wav_walk_chunks(*f, layout, abort_never);
    kpl::rc_ptr<wav_sample_decoder> d = wav_sample_decoder_create(layout.format);
    d->set_up(layout.format, f, layout.data_start, layout.data_size, abort_never);
    if (seek != -1000) d->seek(seek, abort_never);
    std::vector<float> out;
    audio_block_store block;
    while (d->decode(block, abort_never)) {
        if (mask) *mask = block.get_channel_mask();
        out.insert(out.end(), block.get_data(), block.get_data() + block.get_sample_count() * block.get_channels());
    }
    return out;
}

}  // namespace

TEST_CASE("WAVE PCM decoding: sample formats, masks, seeking") {
    SUBCASE("an RF64 file cut short of its ds64 data size ends where the file does") {
        const bytes cut = rf64_file(pcm_format(1, 2, 44100, 16), samples(40), 1000000);
        CHECK(decode_all(cut).size() == 20);
        CHECK(decode_all(cut, nullptr, 0.0001).size() == 12);
        CHECK(decode_all(cut, nullptr, 1.0).empty());
    }
    SUBCASE("8-bit is unsigned, 24-bit signed little-endian") {
        bytes b8 = wav_builder().chunk("fmt ", pcm_format(1, 1, 8000, 8)).chunk("data", {0x00, 0x80, 0xFF}).get();
        CHECK(decode_all(b8) == std::vector<float>{-1.0f, 0.0f, 127.0f / 128});
        bytes b24 = wav_builder()
                        .chunk("fmt ", pcm_format(1, 1, 8000, 24))
                        .chunk("data", {0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x40})
                        .get();
        CHECK(decode_all(b24) == std::vector<float>{-1.0f, 8388607.0f / 8388608, 0.5f});
    }
    SUBCASE("float data of 32 and 64 bits") {
        float f32[2] = {0.25f, -0.5f};
        double f64[2] = {0.125, -1.0};
        bytes d32(reinterpret_cast<uint8_t*>(f32), reinterpret_cast<uint8_t*>(f32) + 8);
        bytes d64(reinterpret_cast<uint8_t*>(f64), reinterpret_cast<uint8_t*>(f64) + 16);
        CHECK(decode_all(wav_builder().chunk("fmt ", pcm_format(3, 1, 8000, 32)).chunk("data", d32).get()) ==
              std::vector<float>{0.25f, -0.5f});
        CHECK(decode_all(wav_builder().chunk("fmt ", pcm_format(3, 2, 8000, 64)).chunk("data", d64).get()) ==
              std::vector<float>{0.125f, -1.0f});
    }
    SUBCASE("16-bit float opens and fails to decode with \"invalid bit depth\"") {
        bytes b = wav_builder().chunk("fmt ", pcm_format(3, 1, 8000, 16)).chunk("data", samples(8)).get();
        try {
            decode_all(b);
            FAIL("decoded");
        } catch (const ketrel_io::exception_io_data& e) {
            CHECK(std::string(e.what()) == "invalid bit depth");
        }
    }
    SUBCASE("formats the decoder refuses at set-up") {
        const bytes refused[] = {
            wav_builder().chunk("fmt ", pcm_format(1, 1, 1500000, 16)).chunk("data", samples(8)).get(),
            wav_builder().chunk("fmt ", pcm_format(1, 1, 8000, 12)).chunk("data", samples(8)).get(),
            wav_builder().chunk("fmt ", pcm_format(3, 1, 8000, 24)).chunk("data", samples(8)).get(),
        };
        for (const bytes& b : refused) CHECK_THROWS_AS(decode_all(b), ketrel_io::exception_io_data);
        bytes short_ext = pcm_format(0xFFFE, 2, 44100, 16);
        file_stream_ref f = wav_builder().chunk("fmt ", short_ext).chunk("data", samples(8)).file();
        wav_layout layout;
        wav_walk_chunks(*f, layout, abort_never);
        CHECK_THROWS_AS(wav_sample_decoder_create(layout.format), ketrel_io::exception_io_data);
    }
    SUBCASE("extensible masks: used when they count the channels, else the default") {
        uint32_t mask = 0;
        decode_all(wav_builder().chunk("fmt ", extensible_format(6, 48000, 16, 0x7, false)).chunk("data", samples(24)).get(),
                   &mask);
        CHECK(mask == channel_mask_default(6));
        decode_all(wav_builder().chunk("fmt ", extensible_format(2, 48000, 16, 0x600, false)).chunk("data", samples(8)).get(),
                   &mask);
        CHECK(mask == 0x600);
        decode_all(wav_builder().chunk("fmt ", pcm_format(1, 9, 48000, 8)).chunk("data", samples(9)).get(), &mask);
        CHECK(mask == 0);
    }
    SUBCASE("a short file cuts the data; whole frames only") {
        bytes b = wav_builder().chunk("fmt ", pcm_format(1, 2, 8000, 16)).chunk("data", samples(10), 4000).get();
        CHECK(decode_all(b).size() == 4);  // 10 bytes: two whole stereo frames
    }
    SUBCASE("seeking") {
        bytes data;
        for (int i = 0; i < 3000; ++i) put16(data, static_cast<uint32_t>(i));
        bytes b = wav_builder().chunk("fmt ", pcm_format(1, 1, 1000, 16)).chunk("data", data).get();
        std::vector<float> from_1s = decode_all(b, nullptr, 1.0);
        REQUIRE(from_1s.size() == 2000);
        CHECK(from_1s[0] == 1000.0f / 32768);
        CHECK(decode_all(b, nullptr, 2.9996).size() == 0);   // rounds to frame 3000: the end
        CHECK(decode_all(b, nullptr, 50.0).empty());
        CHECK_THROWS_AS(decode_all(b, nullptr, -1.0), ketrel_io::exception_io_data);
    }
}

TEST_CASE("WAVE technical info") {
    struct info_case {
        bytes fmt;
        const char* codec;
        const char* encoding;
        int64_t bitrate;
    };
    const info_case cases[] = {
        {pcm_format(1, 2, 44100, 16), "PCM", "lossless", 1411},
        {pcm_format(3, 2, 48000, 32), "PCM (floating-point)", "lossless", 3072},
        {extensible_format(2, 48000, 24, 3, false), "PCM", "lossless", 2304},
        {extensible_format(2, 48000, 32, 3, true), "PCM (floating-point)", "lossless", 3072},
    };
    for (const info_case& c : cases) {
        file_stream_ref f = wav_builder().chunk("fmt ", c.fmt).chunk("data", samples(960)).file();
        wav_layout layout;
        wav_walk_chunks(*f, layout, abort_never);
        track_info_store info;
        wav_technical_info(layout, info);
        CHECK(std::string(info.info_get_by_name("codec")) == c.codec);
        CHECK(std::string(info.info_get_by_name("encoding")) == c.encoding);
        CHECK(info.info_get_int("bitrate") == c.bitrate);
        CHECK(info.get_length() == doctest::Approx(960.0 / wav_format(layout.format).avg_bytes_per_second));
    }
    bytes short_ext = pcm_format(0xFFFE, 2, 44100, 16);
    file_stream_ref f = wav_builder().chunk("fmt ", short_ext).chunk("data", samples(8)).file();
    wav_layout layout;
    wav_walk_chunks(*f, layout, abort_never);
    track_info_store info;
    CHECK_THROWS_AS(wav_technical_info(layout, info), ketrel_io::exception_io_data);
}
