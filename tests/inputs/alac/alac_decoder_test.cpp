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
#include "inputs/codecs/alac_decoder.h"
#include "metadata/audio_block.h"
#include "metadata/track_info.h"
#include "tests/inputs/input_test_support.h"
#include "tests/support/guarded_heap.h"

namespace {

// The 28-byte cookie of the "alac" box: version/flags, then the ALAC specific configuration (big-endian).
std::vector<uint8_t> cookie(uint32_t frame_length, uint8_t bits, uint8_t channels, uint32_t rate = 44100) {
    std::vector<uint8_t> c(28, 0);
    auto be32 = [&](size_t at, uint32_t v) {
        c[at] = static_cast<uint8_t>(v >> 24);
        c[at + 1] = static_cast<uint8_t>(v >> 16);
        c[at + 2] = static_cast<uint8_t>(v >> 8);
        c[at + 3] = static_cast<uint8_t>(v);
    };
    be32(4, frame_length);
    c[8] = 0;          // compatible version
    c[9] = bits;
    c[10] = 40;        // pb
    c[11] = 10;        // mb
    c[12] = 14;        // kb
    c[13] = channels;
    c[14] = 0;
    c[15] = 255;       // max run
    be32(24, rate);
    return c;
}

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

// Writes an ALAC frame bit by bit, most significant bit first.
class frame_bits {
public:
    frame_bits& put(uint32_t value, uint32_t count) {
        for (uint32_t i = count; i-- > 0;) {
            if (m_used % 8 == 0) m_bytes.push_back(0);
            if ((value >> i) & 1) m_bytes.back() |= static_cast<uint8_t>(0x80 >> (m_used % 8));
            ++m_used;
        }
        return *this;
    }
    const std::vector<uint8_t>& bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
    uint32_t m_used = 0;
};

// An uncompressed ("escape") element: tag (0 mono, 1 pair), instance 0, 12 zero bits, then the partial-frame
// flag (with a 32-bit sample count), no shifted bytes, escape; then `written` ramps of 16-bit samples per
// channel and the end tag.
std::vector<uint8_t> escape_frame(uint32_t channels, uint32_t claimed, bool partial, uint32_t written) {
    frame_bits b;
    b.put(channels == 2 ? 1 : 0, 3).put(0, 4).put(0, 12).put(partial ? 1 : 0, 1).put(0, 2).put(1, 1);
    if (partial) b.put(claimed, 32);
    for (uint32_t s = 0; s < written; ++s) {
        for (uint32_t ch = 0; ch < channels; ++ch) b.put((s * 100 + ch) & 0xFFFF, 16);
    }
    b.put(7, 3);
    return b.bytes();
}

}  // namespace

TEST_CASE("ALAC decoder: frames that claim more than they hold") {
    input_test::services_built();
    // Each frame is decoded with the decoder's buffers made against an inaccessible page, so a write past the
    // sample buffer or a read past the packet crashes the test.
    struct frame_case {
        const char* what;
        uint32_t frame_length, channels;
        std::vector<uint8_t> frame;
        uint32_t samples;    // 0: refused as damaged
    };
    const frame_case cases[] = {
        {"partial frame within the cookie's length", 4096, 1, escape_frame(1, 10, true, 10), 10},
        {"partial frame of 4000 samples, cookie allows 16", 16, 1, escape_frame(1, 4000, true, 4000), 0},
        {"partial frame of 4095 samples in a pair, cookie allows 1", 1, 2, escape_frame(2, 4095, true, 4095), 0},
        {"uncompressed pair of 4096 samples cut to 10 bytes", 4096, 2, escape_frame(2, 4096, false, 2), 0},
        {"uncompressed mono frame cut after its header", 4096, 1, escape_frame(1, 4096, false, 0), 0},
        {"uncompressed frame of the cookie's length", 32, 2, escape_frame(2, 32, false, 32), 32},
    };
    for (const frame_case& c : cases) {
        CAPTURE(c.what);
        std::vector<uint8_t> ck = cookie(c.frame_length, 16, static_cast<uint8_t>(c.channels));
        service_ptr<codec_packet_decoder> d;
        codec_packet_decoder_open(d, true, codec_owner_alac, 0, ck.data(), ck.size(), abort_never);
        audio_block_store block;
        std::vector<uint8_t> frame = c.frame;
        bool refused = false;
        {
            guarded_heap_scope guard;
            try {
                d->decode_packet(frame.data(), frame.size(), block, abort_never);
            } catch (const ketrel_io::exception_io_data&) {
                refused = true;
            }
        }
        if (c.samples == 0) {
            CHECK(refused);
        } else {
            REQUIRE_FALSE(refused);
            CHECK(block.get_sample_count() == c.samples);
            CHECK(block.get_channels() == c.channels);
        }
    }
    // Cookies too short for the version word and the configuration are refused before the decoder reads them
    // (it steps over 12 bytes of box header and version whatever the size).
    for (size_t size = 0; size < 28; ++size) {
        CAPTURE(size);
        std::vector<uint8_t> ck = cookie(4096, 16, 2);
        ck.resize(size);
        service_ptr<codec_packet_decoder> d;
        guarded_heap_scope guard;
        CHECK_THROWS_AS(codec_packet_decoder_open(d, true, codec_owner_alac, 0, ck.data(), ck.size(), abort_never),
                        ketrel_io::exception_io_data);
    }
    // Cookies asking for frames longer than the decoder's buffers are refused at once.
    for (uint32_t length : {4097u, 65536u}) {
        std::vector<uint8_t> ck = cookie(length, 16, 2);
        service_ptr<codec_packet_decoder> d;
        CHECK_THROWS_AS(codec_packet_decoder_open(d, true, codec_owner_alac, 0, ck.data(), ck.size(), abort_never),
                        ketrel_io::exception_io_data);
    }
}

TEST_CASE("ALAC decoder: a packet after a longer one") {
    input_test::services_built();
    // The decoder reads each packet from a padded copy that it keeps from packet to packet: what a longer packet
    // left behind must neither make a cut packet whole nor change a short one's samples.
    std::vector<uint8_t> ck = cookie(4096, 16, 2);
    const std::vector<uint8_t> whole = escape_frame(2, 4096, false, 4096);
    const std::vector<uint8_t> cut = escape_frame(2, 4096, false, 2);
    const std::vector<uint8_t> partial = escape_frame(2, 10, true, 10);

    auto decode = [&](codec_packet_decoder& d, const std::vector<uint8_t>& frame, std::vector<float>& out) {
        audio_block_store block;
        d.decode_packet(frame.data(), frame.size(), block, abort_never);
        out.assign(block.get_data(), block.get_data() + block.get_sample_count() * block.get_channels());
    };
    service_ptr<codec_packet_decoder> fresh;
    codec_packet_decoder_open(fresh, true, codec_owner_alac, 0, ck.data(), ck.size(), abort_never);
    std::vector<float> expected;
    decode(*fresh, partial, expected);
    REQUIRE(expected.size() == 20);

    service_ptr<codec_packet_decoder> d;
    codec_packet_decoder_open(d, true, codec_owner_alac, 0, ck.data(), ck.size(), abort_never);
    std::vector<float> samples;
    decode(*d, whole, samples);
    CHECK(samples.size() == 2 * 4096);
    audio_block_store block;
    CHECK_THROWS_AS(d->decode_packet(cut.data(), cut.size(), block, abort_never), ketrel_io::exception_io_data);
    decode(*d, whole, samples);
    decode(*d, partial, samples);
    CHECK(samples == expected);
}

TEST_CASE("ALAC decoder: cookies, channel masks, limits") {
    input_test::services_built();
    service_ptr<codec_packet_decoder> d;
    std::vector<uint8_t> stereo = cookie(4096, 16, 2);
    codec_packet_decoder_open(d, true, codec_owner_alac, 0, stereo.data(), stereo.size(), abort_never);
    track_info_store info;
    d->get_info(info);
    CHECK(std::string(info.info_get_by_name("codec")) == "ALAC");
    CHECK(std::string(info.info_get_by_name("encoding")) == "lossless");
    CHECK(info.info_get_int("bitspersample") == 16);
    CHECK(info.info_get_int("channels") == 2);
    CHECK(d->preroll_frames() == 0);
    CHECK_FALSE(d->needs_first_packet());

    // Other owners are not taken; broken cookies fail at create.
    CHECK_THROWS_AS(codec_packet_decoder_open(d, true, codec_owner_mp4, 0, stereo.data(), stereo.size(), abort_never),
                    ketrel_io::exception_io_data);
    const std::vector<uint8_t> refused[] = {cookie(4096, 16, 9), cookie(4096, 16, 0), std::vector<uint8_t>(10, 0)};
    for (const std::vector<uint8_t>& c : refused) {
        CHECK_THROWS_AS(codec_packet_decoder_open(d, true, codec_owner_alac, 0, c.data(), c.size(), abort_never),
                        ketrel_io::exception_io_data);
    }
    // Frame lengths above 4096 samples are refused when the decoder is made (the decoder library's own
    // limit), which bounds what one frame can make: 8 channels x 4 bytes x 4096 samples.
    for (uint32_t frame_length : {4097u, 1u << 20}) {
        CAPTURE(frame_length);
        std::vector<uint8_t> long_frames = cookie(frame_length, 32, 8);
        CHECK_THROWS_AS(
            codec_packet_decoder_open(d, true, codec_owner_alac, 0, long_frames.data(), long_frames.size(), abort_never),
            ketrel_io::exception_io_data);
    }
    // The largest cookie taken: a frame decodes within that bound or is refused as damaged.
    std::vector<uint8_t> largest = cookie(4096, 32, 8);
    service_ptr<codec_packet_decoder> big;
    REQUIRE_NOTHROW(
        codec_packet_decoder_open(big, true, codec_owner_alac, 0, largest.data(), largest.size(), abort_never));
    audio_block_store block;
    const uint8_t frame[16] = {};
    try {
        big->decode_packet(frame, sizeof frame, block, abort_never);
        CHECK(block.get_sample_count() <= 4096);
        CHECK(block.get_channels() == 8);
    } catch (const ketrel_io::exception_io_data&) {
    }
    // The speaker masks describe the channels the decoder gives, in WAVE order.
    const uint32_t masks[] = {0x4, 0x3, 0x7, 0x107, 0x37, 0x3F, 0x13F, 0xFF};
    for (uint32_t ch = 1; ch <= 8; ++ch) {
        CAPTURE(ch);
        CHECK(alac_channel_mask(ch) == masks[ch - 1]);
        CHECK(channel_mask_count(alac_channel_mask(ch)) == ch);
    }
}

// Run by alac_test.sh with VORN_ALAC_DIR naming a folder of NAME.frames files (cookie and frames pulled out of
// ffmpeg-made .m4a files); each is decoded into NAME.out as little-endian integers of whole bytes.
TEST_CASE("ALAC frames from ffmpeg-made files") {
    const char* dir = std::getenv("VORN_ALAC_DIR");
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
        REQUIRE(in.size() >= 4);
        size_t pos = 0;
        auto u32 = [&]() {
            uint32_t v = in[pos] | in[pos + 1] << 8 | in[pos + 2] << 16 | static_cast<uint32_t>(in[pos + 3]) << 24;
            pos += 4;
            return v;
        };
        uint32_t cookie_size = u32();
        service_ptr<codec_packet_decoder> d;
        codec_packet_decoder_open(d, true, codec_owner_alac, 0, in.data() + pos, cookie_size, abort_never);
        pos += cookie_size;
        track_info_store info;
        d->get_info(info);
        const uint32_t bits = static_cast<uint32_t>((info.info_get_int("bitspersample") + 7) / 8 * 8);
        const uint32_t channels = static_cast<uint32_t>(info.info_get_int("channels"));
        FILE* out = std::fopen((base + ".out").c_str(), "wb");
        REQUIRE(out);
        audio_block_store block;
        kpl::byte_array pcm;
        while (pos + 4 <= in.size()) {
            uint32_t size = u32();
            REQUIRE(pos + size <= in.size());
            d->decode_packet(in.data() + pos, size, block, abort_never);
            pos += size;
            CHECK(block.get_channel_mask() == alac_channel_mask(channels));
            REQUIRE(block.to_pcm(pcm, bits));
            if (bits == 8) {
                for (uint32_t i = 0; i < pcm.count(); ++i) pcm[i] ^= 0x80;
            }
            std::fwrite(pcm.data(), 1, pcm.count(), out);
        }
        std::fclose(out);
        ++files;
    } while (FindNextFileA(h, &found));
    FindClose(h);
    CHECK(files > 0);
}
