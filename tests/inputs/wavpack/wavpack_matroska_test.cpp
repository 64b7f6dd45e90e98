#include <doctest/doctest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/codec_packet_decoder.h"
#include "inputs/wavpack/wavpack_packet_decoder.h"
#include "metadata/audio_block.h"
#include "metadata/track_info.h"
#include "tests/inputs/input_test_support.h"

namespace {

std::vector<uint8_t> read_file(const std::string& path) {
    std::vector<uint8_t> out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.insert(out.end(), buffer, buffer + n);
    std::fclose(f);
    return out;
}

}  // namespace

TEST_CASE("WavPack in Matroska: which streams are taken") {
    input_test::services_built();
    struct private_case {
        std::vector<uint8_t> bytes;
        bool taken;
        uint16_t version;
    };
    const private_case cases[] = {
        {{0x10, 0x04}, true, 0x410}, {{0x07, 0x04}, true, 0x407}, {{0x10, 0x03}, false, 0}, {{0x10}, false, 0},
        {{0x10, 0x04, 0x00}, false, 0},
    };
    for (const private_case& c : cases) {
        uint16_t version = 0;
        CHECK(wavpack_matroska_version(c.bytes.data(), c.bytes.size(), version) == c.taken);
        if (c.taken) CHECK(version == c.version);
        matroska_setup_record r = {"A_WAVPACK4", 44100, 44100, 2, static_cast<uint32_t>(c.bytes.size()), c.bytes.data()};
        service_ptr<codec_packet_decoder> d;
        if (c.taken) {
            codec_packet_decoder_open(d, true, codec_owner_matroska, 0, &r, sizeof r, abort_never);
            CHECK(d->needs_first_packet());
            track_info_store info;
            d->get_info(info);
            CHECK(std::string(info.info_get_by_name("codec")) == "WavPack");
            audio_block_store block;
            uint8_t short_frame[11] = {};
            CHECK_THROWS_AS(d->decode_packet(short_frame, sizeof short_frame, block, abort_never),
                            ketrel_io::exception_io_data);
        } else {
            CHECK_THROWS_AS(codec_packet_decoder_open(d, true, codec_owner_matroska, 0, &r, sizeof r, abort_never),
                            ketrel_io::exception_io_data);
        }
    }
    const uint8_t good[2] = {0x10, 0x04};
    matroska_setup_record other = {"A_FLAC", 44100, 44100, 2, 2, good};
    service_ptr<codec_packet_decoder> d;
    CHECK_THROWS_AS(codec_packet_decoder_open(d, true, codec_owner_matroska, 0, &other, sizeof other, abort_never),
                    ketrel_io::exception_io_data);
}

// Run by wavpack_matroska_test.sh with VORN_WVMKA_DIR naming a folder of NAME.frames files: u16 stream
// version, then per block u32 size and the block without its first 20 header bytes, as Matroska stores it.
// Each is decoded into NAME.out at the stream's bits per sample.
TEST_CASE("WavPack blocks as Matroska stores them") {
    const char* dir = std::getenv("VORN_WVMKA_DIR");
    if (!dir) return;
    input_test::services_built();
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((std::string(dir) + "\\*.frames").c_str(), &found);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    int files = 0;
    do {
        std::string base = std::string(dir) + "\\" + found.cFileName;
        base.resize(base.size() - 7);
        CAPTURE(base);
        std::vector<uint8_t> in = read_file(base + ".frames");
        REQUIRE(in.size() >= 2);
        const uint8_t codec_private[2] = {in[0], in[1]};
        matroska_setup_record r = {"A_WAVPACK4", 0, 0, 0, 2, codec_private};
        service_ptr<codec_packet_decoder> d;
        codec_packet_decoder_open(d, true, codec_owner_matroska, 0, &r, sizeof r, abort_never);
        size_t pos = 2;
        auto u32 = [&]() {
            uint32_t v = in[pos] | in[pos + 1] << 8 | in[pos + 2] << 16 | static_cast<uint32_t>(in[pos + 3]) << 24;
            pos += 4;
            return v;
        };
        FILE* out = std::fopen((base + ".out").c_str(), "wb");
        REQUIRE(out);
        audio_block_store block;
        kpl::byte_array pcm;
        bool first = true;
        uint32_t bits = 0;
        while (pos + 4 <= in.size()) {
            uint32_t size = u32();
            REQUIRE(pos + size <= in.size());
            if (first) {
                d->set_first_packet(in.data() + pos, size, abort_never);
                track_info_store info;
                d->get_info(info);
                bits = static_cast<uint32_t>(info.info_get_int("bitspersample"));
                CHECK(std::string(info.info_get_by_name("encoding")) == "lossless");
                first = false;
            }
            d->decode_packet(in.data() + pos, size, block, abort_never);
            pos += size;
            REQUIRE(block.to_pcm(pcm, bits));
            std::fwrite(pcm.data(), 1, pcm.count(), out);
        }
        std::fclose(out);
        ++files;
    } while (FindNextFileA(h, &found));
    FindClose(h);
    CHECK(files > 0);
}
