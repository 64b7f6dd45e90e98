// Opus and Vorbis packet decoders and Ogg stream handlers: the "OpusHead" rules, the decoder lookup,
// channel order and masks of decoded surround audio, R128 gains both ways, comment rules, Xiph lacing and
// the padding of rebuilt comment packets.
#include <doctest/doctest.h>

#include <ogg/ogg.h>
#include <opus/opus_multistream.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/codec_packet_decoder.h"
#include "inputs/codecs/opus_codec.h"
#include "inputs/codecs/opus_head.h"
#include "inputs/codecs/vorbis_codec.h"
#include "inputs/codecs/xiph_channels.h"
#include "inputs/codecs/xiph_comments.h"
#include "inputs/ogg_stream_handler.h"
#include "metadata/audio_block.h"
#include "metadata/track_info.h"
#include "tests/metadata/info_text.h"
#include "tests/inputs/input_test_support.h"

namespace {

using bytes = std::vector<uint8_t>;
using metadata_test::meta_text;

void put_u32(bytes& out, uint32_t v) {
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

bytes opus_head_bytes(uint8_t version, uint8_t channels, int16_t gain, uint8_t family, std::vector<uint8_t> table,
                      uint16_t pre_skip = 312) {
    bytes b = {'O', 'p', 'u', 's', 'H', 'e', 'a', 'd', version, channels,
               static_cast<uint8_t>(pre_skip), static_cast<uint8_t>(pre_skip >> 8)};
    put_u32(b, 44100);
    b.push_back(static_cast<uint8_t>(static_cast<uint16_t>(gain)));
    b.push_back(static_cast<uint8_t>(static_cast<uint16_t>(gain) >> 8));
    b.push_back(family);
    b.insert(b.end(), table.begin(), table.end());
    return b;
}

bytes comment_packet(const char* magic, size_t magic_length, const std::vector<std::string>& comments,
                     bool framing = false) {
    bytes b(magic, magic + magic_length);
    put_u32(b, 4);
    b.insert(b.end(), {'v', 'e', 'n', 'd'});
    put_u32(b, static_cast<uint32_t>(comments.size()));
    for (const auto& c : comments) {
        put_u32(b, static_cast<uint32_t>(c.size()));
        b.insert(b.end(), c.begin(), c.end());
    }
    if (framing) b.push_back(1);
    return b;
}

ogg_packet record_of(bytes& b, int64_t number) {
    ogg_packet p = {};
    p.packet = b.data();
    p.bytes = static_cast<long>(b.size());
    p.b_o_s = number == 0;
    p.packetno = number;
    return p;
}

// A Vorbis identification header (30 bytes) of the given channel count at 44100 Hz.
bytes vorbis_id_header(uint8_t channels) {
    bytes b = {0x01, 'v', 'o', 'r', 'b', 'i', 's'};
    put_u32(b, 0);
    b.push_back(channels);
    put_u32(b, 44100);
    put_u32(b, 0);
    put_u32(b, 128000);
    put_u32(b, 0);
    b.push_back(0xB8);  // block sizes 256 and 2048
    b.push_back(1);
    return b;
}

}  // namespace

TEST_CASE("OpusHead parsing follows the header rules") {
    struct row {
        const char* name;
        bytes data;
        bool valid;
    };
    bytes stereo19 = opus_head_bytes(1, 2, 0, 0, {});
    bytes stereo20_v1 = stereo19, stereo20_v2 = opus_head_bytes(2, 2, 0, 0, {});
    stereo20_v1.push_back(0);
    stereo20_v2.push_back(0);
    bytes truncated_table = opus_head_bytes(1, 6, 0, 1, {4, 2, 0, 4, 1, 2, 3});
    truncated_table.pop_back();
    const row rows[] = {
        {"19-byte family 0 stereo", stereo19, true},
        {"a 20th byte with version 1", stereo20_v1, false},
        {"a 20th byte with version 2", stereo20_v2, true},
        {"version 0x10", opus_head_bytes(0x10, 2, 0, 0, {}), false},
        {"version 15", opus_head_bytes(15, 1, 0, 0, {}), true},
        {"no channels", opus_head_bytes(1, 0, 0, 0, {}), false},
        {"family 0 with 3 channels", opus_head_bytes(1, 3, 0, 0, {}), false},
        {"family 1 with no streams", opus_head_bytes(1, 2, 0, 1, {0, 0, 0, 1}), false},
        {"coupled above streams", opus_head_bytes(1, 2, 0, 1, {1, 2, 0, 1}), false},
        {"stream plus coupled above 255", opus_head_bytes(1, 1, 0, 1, {200, 100, 0}), false},
        {"mapping entry 255 (silent)", opus_head_bytes(1, 2, 0, 1, {1, 1, 0, 255}), true},
        {"mapping entry past the streams", opus_head_bytes(1, 2, 0, 1, {1, 1, 0, 2}), false},
        {"5.1 family 1", opus_head_bytes(1, 6, 0, 1, {4, 2, 0, 4, 1, 2, 3, 5}), true},
        {"mapping table cut short", truncated_table, false},
        {"18 bytes", bytes(stereo19.begin(), stereo19.end() - 1), false},
        {"wrong magic", [] { bytes b = opus_head_bytes(1, 2, 0, 0, {}); b[0] = 'o'; return b; }(), false},
    };
    for (const row& r : rows) {
        CAPTURE(r.name);
        opus_head h;
        CHECK(opus_head_parse(r.data.data(), r.data.size(), h) == r.valid);
    }
    opus_head h;
    REQUIRE(opus_head_parse(stereo19.data(), stereo19.size(), h));
    CHECK(h.pre_skip == 312);
    CHECK(h.input_sample_rate == 44100);
    CHECK(h.stream_count == 1);
    CHECK(h.coupled_count == 1);
    bytes negative = opus_head_bytes(1, 1, -2048, 0, {});
    REQUIRE(opus_head_parse(negative.data(), negative.size(), h));
    CHECK(h.output_gain == -2048);
    CHECK(h.coupled_count == 0);
}

TEST_CASE("Packet decoder lookup by owner and setup record") {
    input_test::services_built();
    bytes nine = opus_head_bytes(1, 9, 0, 255, {9, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8});
    ogg_packet nine_record = record_of(nine, 0);
    service_ref each;
    bool accepted = false;
    service_iterator it(codec_packet_decoder_service::class_guid);
    while (it.next(each))
        accepted |= each.as<codec_packet_decoder_service>()->accepts_setup(codec_owner_ogg, 0, &nine_record,
                                                                           sizeof nine_record);
    CHECK_MESSAGE(accepted, "a nine-channel stream passes accepts_setup");
    service_ptr<codec_packet_decoder> decoder;
    CHECK_THROWS_AS(codec_packet_decoder_open(decoder, true, codec_owner_ogg, 0, &nine_record, sizeof nine_record,
                                              abort_never),
                    ketrel_io::exception_io_data);

    // Foreign owners, wrong record sizes and unknown codecs: no decoder, io_data from the lookup, and no
    // service throws from accepts_setup.
    bytes stereo = opus_head_bytes(1, 2, 0, 0, {});
    ogg_packet stereo_record = record_of(stereo, 0);
    bytes garbage = {'S', 'p', 'e', 'e', 'x', ' ', ' ', ' '};
    ogg_packet garbage_record = record_of(garbage, 0);
    matroska_setup_record mka = {"A_OPUS", 48000, 48000, 2, static_cast<uint32_t>(stereo.size()), stereo.data()};
    matroska_setup_record mka_vorbis_bad = {"A_VORBIS", 44100, 44100, 2, 3, "\x01\x00\x00"};
    struct row {
        const char* name;
        kpl::guid owner;
        const void* record;
        size_t size;
        bool found;
    };
    const row rows[] = {
        {"Ogg Opus", codec_owner_ogg, &stereo_record, sizeof stereo_record, true},
        {"Ogg Opus record with a wrong size", codec_owner_ogg, &stereo_record, 24, false},
        {"Ogg Opus under the MP4 owner", codec_owner_mp4, &stereo_record, sizeof stereo_record, false},
        {"Ogg Speex", codec_owner_ogg, &garbage_record, sizeof garbage_record, false},
        {"Matroska A_OPUS", codec_owner_matroska, &mka, sizeof mka, true},
        {"MPEG audio Layer I (the system codec's decoder)", codec_owner_mpeg_audio, nullptr, 0, true},
    };
    for (const row& r : rows) {
        CAPTURE(r.name);
        service_ptr<codec_packet_decoder> d;
        if (r.found) {
            codec_packet_decoder_open(d, true, r.owner, 0, r.record, r.size, abort_never);
            CHECK(d);
        } else {
            CHECK_THROWS_AS(codec_packet_decoder_open(d, true, r.owner, 0, r.record, r.size, abort_never),
                            ketrel_io::exception_io_data);
        }
    }
    // "A_VORBIS" is accepted by its owner and CodecID, then refused at create for its first byte 1.
    service_ptr<codec_packet_decoder> d;
    CHECK_THROWS_AS(codec_packet_decoder_open(d, true, codec_owner_matroska, 0, &mka_vorbis_bad,
                                              sizeof mka_vorbis_bad, abort_never),
                    ketrel_io::exception_io_data);
}

// Encodes one 20 ms frame of `channels`-channel surround (mapping family 1, channels in Vorbis order) where
// only source channel `loud` carries a tone, and decodes it through the Ogg Opus decoder.
static void decode_one_surround_frame(int channels, int loud, audio_block& out, uint32_t& pre_skip) {
    int streams = 0, coupled = 0;
    unsigned char mapping[8];
    int error = 0;
    OpusMSEncoder* enc = opus_multistream_surround_encoder_create(48000, channels, 1, &streams, &coupled, mapping,
                                                                   OPUS_APPLICATION_AUDIO, &error);
    REQUIRE(enc);
    opus_multistream_encoder_ctl(enc, OPUS_SET_BITRATE(64000 * channels));
    std::vector<float> pcm(960 * channels, 0.0f);
    std::vector<unsigned char> packet(4000);
    std::vector<unsigned char> last;
    for (int frame = 0; frame < 10; ++frame) {
        for (int i = 0; i < 960; ++i)
            pcm[i * channels + loud] = 0.5f * static_cast<float>(std::sin(2 * 3.14159265 * 440 * (frame * 960 + i) / 48000));
        int n = opus_multistream_encode_float(enc, pcm.data(), 960, packet.data(), 4000);
        REQUIRE(n > 0);
        last.push_back(static_cast<unsigned char>(n & 0xFF));
        last.push_back(static_cast<unsigned char>(n >> 8));
        last.insert(last.end(), packet.begin(), packet.begin() + n);
    }
    opus_multistream_encoder_destroy(enc);

    bytes head = opus_head_bytes(1, static_cast<uint8_t>(channels), 0, 1, {});
    head.pop_back();  // family byte is re-added below with the table
    head.push_back(1);
    head.push_back(static_cast<uint8_t>(streams));
    head.push_back(static_cast<uint8_t>(coupled));
    head.insert(head.end(), mapping, mapping + channels);
    ogg_packet first = record_of(head, 0);
    service_ptr<codec_packet_decoder> decoder;
    codec_packet_decoder_open(decoder, true, codec_owner_ogg, 0, &first, sizeof first, abort_never);
    pre_skip = static_cast<uint32_t>(decoder->property(ogg_property_pre_skip, 0, nullptr, 0));
    // Decode all ten frames, keep the last (the encoder's delay has passed by then).
    size_t pos = 0;
    while (pos < last.size()) {
        size_t n = last[pos] | (last[pos + 1] << 8);
        decoder->decode_packet(last.data() + pos + 2, n, out, abort_never);
        pos += 2 + n;
    }
}

static double channel_energy(const audio_block& block, uint32_t channel) {
    double sum = 0;
    for (uint32_t i = 0; i < block.get_sample_count(); ++i) {
        double v = block.get_data()[i * block.get_channels() + channel];
        sum += v * v;
    }
    return sum;
}

TEST_CASE("Surround Opus arrives in WAVE order under a mask that names those channels") {
    input_test::services_built();
    struct row {
        int channels;
        int loud_source;   // Vorbis order
        uint32_t loud_out; // WAVE order
        uint32_t mask;
        const char* what;
    };
    const row rows[] = {
        {3, 1, 2, 0x7, "3.0 centre: L C R -> L R C, centre is FC not LFE"},
        {5, 1, 2, 0x37, "5.0 centre"},
        {5, 3, 3, 0x37, "5.0 rear left"},
        {6, 5, 3, 0x3F, "5.1 LFE"},
        {7, 1, 2, 0x70F, "6.1 centre"},
        {7, 5, 4, 0x70F, "6.1 rear centre"},
        {8, 3, 6, 0x63F, "7.1 side left"},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        audio_block_store block;
        uint32_t pre_skip = 0;
        decode_one_surround_frame(r.channels, r.loud_source, block, pre_skip);
        CHECK(block.get_sample_rate() == 48000);
        CHECK(block.get_channels() == static_cast<uint32_t>(r.channels));
        CHECK(block.get_channel_mask() == r.mask);
        CHECK(block.get_sample_count() == 960);
        uint32_t loudest = 0;
        for (uint32_t c = 1; c < block.get_channels(); ++c)
            if (channel_energy(block, c) > channel_energy(block, loudest)) loudest = c;
        CHECK(loudest == r.loud_out);
    }
}

TEST_CASE("Every reordered Xiph layout is labelled with its own speakers") {
    // Speaker bits of the channels in the order the codecs define them (Vorbis order).
    enum : uint32_t { FL = 1, FR = 2, FC = 4, LFE = 8, BL = 0x10, BR = 0x20, BC = 0x100, SL = 0x200, SR = 0x400 };
    const std::vector<uint32_t> source[8] = {
        {FC}, {FL, FR}, {FL, FC, FR}, {FL, FR, BL, BR}, {FL, FC, FR, BL, BR}, {FL, FC, FR, BL, BR, LFE},
        {FL, FC, FR, SL, SR, BC, LFE}, {FL, FC, FR, SL, SR, BL, BR, LFE},
    };
    for (uint32_t n = 1; n <= 8; ++n) {
        CAPTURE(n);
        uint32_t mask = 0, previous = 0;
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t speaker = source[n - 1][xiph_channel_order[n - 1][i]];
            CHECK(speaker > previous);  // WAVE order: ascending speaker bits
            previous = speaker;
            mask |= speaker;
        }
        CHECK(mask == xiph_channel_mask[n - 1]);
    }
}

TEST_CASE("Opus decoding: empty and damaged packets, abort") {
    input_test::services_built();
    bytes head = opus_head_bytes(1, 2, 0, 0, {});
    ogg_packet first = record_of(head, 0);
    service_ptr<codec_packet_decoder> decoder;
    codec_packet_decoder_open(decoder, true, codec_owner_ogg, 0, &first, sizeof first, abort_never);
    CHECK(decoder->property(ogg_property_granule_rate, 0, nullptr, 0) == 48000);
    CHECK(decoder->property(ogg_property_pre_skip, 0, nullptr, 0) == 312);
    CHECK(decoder->property(ogg_property_next_packet, 0, nullptr, 0) == 0);
    CHECK(decoder->preroll_frames() == 1);

    audio_block_store block;
    block.set_data(nullptr, 10, 2, 44100, 3);
    decoder->decode_packet("", 0, block, abort_never);
    CHECK(block.get_sample_count() == 0);
    CHECK(block.get_channels() == 0);

    const uint8_t damaged[] = {0xFF, 0xFF, 0xFF};  // code 3 packet with an impossible frame count
    block.set_data(nullptr, 10, 2, 44100, 3);
    decoder->decode_packet(damaged, sizeof damaged, block, abort_never);
    CHECK(block.get_sample_count() == 0);

    const uint8_t silence[] = {0xFC};  // one 20 ms CELT frame of silence, stereo flag clear
    decoder->decode_packet(silence, sizeof silence, block, abort_never);
    CHECK(block.get_sample_count() == 960);
    CHECK(block.get_channel_mask() == 0x3);

    kpl::waitable_flag abort;
    abort.set();
    CHECK_THROWS_AS(decoder->decode_packet(silence, sizeof silence, block, abort), ketrel_io::exception_aborted);

    // Header packet: only number 1.
    bytes tags = comment_packet("OpusTags", 8, {"TITLE=x"});
    ogg_packet second = record_of(tags, 2);
    CHECK_THROWS_AS(decoder->property(ogg_property_header_packet, 0, &second, sizeof second),
                    ketrel_io::exception_io_data);
}

TEST_CASE("Opus tags and header gain become ReplayGain") {
    input_test::services_built();
    struct row {
        const char* name;
        int16_t header_gain;
        std::vector<std::string> comments;
        float album_gain, track_gain;
        const char* meta;
    };
    const float none = replaygain_values::gain_invalid;
    const row rows[] = {
        {"R128 -256, header gain 0", 0, {"R128_TRACK_GAIN=-256", "TITLE=t"}, 5.0f, 4.0f, "TITLE=t"},
        {"header gain 512 alone", 512, {"TITLE=t"}, 7.0f, 7.0f, "TITLE=t"},
        {"no gains at all", 0, {"TITLE=t"}, none, none, "TITLE=t"},
        {"R128 in lower case with header gain", 256, {"r128_track_gain= 128x"}, 6.0f, 6.5f, ""},
        {"R128 at the ends of the 16-bit range", 0, {"R128_TRACK_GAIN=-32768"}, 5.0f, -123.0f, ""},
        {"R128 at the top of the 16-bit range", -256, {"R128_TRACK_GAIN=+32767"}, 4.0f, 131.996f, ""},
        {"R128 past 16 bits is no gain", 256, {"R128_TRACK_GAIN=32768"}, 6.0f, 6.0f, ""},
        {"R128 past 32 bits is no gain", 256, {"R128_TRACK_GAIN=99999999999"}, 6.0f, 6.0f, ""},
        {"R128 at the 32-bit minimum is no gain", -32768, {"R128_TRACK_GAIN=-2147483648"}, -123.0f, -123.0f, ""},
        {"ReplayGain fields", 0, {"REPLAYGAIN_ALBUM_GAIN=-3.00 dB", "replaygain_track_gain=-1.5 dB"}, -3.0f, -1.5f, ""},
        {"mapped names and pictures",
         0,
         {"ALBUMARTIST=A", "organization=L", "TRACKTOTAL=9", "TRACKTOTAL=10", "METADATA_BLOCK_PICTURE=AAAA",
          "=empty name", "noequals"},
         none,
         none,
         "ALBUM ARTIST=A;PUBLISHER=L;TOTALTRACKS=9"},
    };
    for (const row& r : rows) {
        CAPTURE(r.name);
        bytes head = opus_head_bytes(1, 2, r.header_gain, 0, {});
        ogg_packet first = record_of(head, 0);
        service_ptr<codec_packet_decoder> decoder;
        codec_packet_decoder_open(decoder, true, codec_owner_ogg, 0, &first, sizeof first, abort_never);
        bytes tags = comment_packet("OpusTags", 8, r.comments);
        ogg_packet second = record_of(tags, 1);
        CHECK(decoder->property(ogg_property_header_packet, 0, &second, sizeof second) == 1);
        track_info_store info;
        decoder->get_info(info);
        CHECK(info.get_replaygain().album_gain == doctest::Approx(r.album_gain));
        CHECK(info.get_replaygain().track_gain == doctest::Approx(r.track_gain));
        CHECK(info.get_replaygain().album_peak == replaygain_values::peak_invalid);
        CHECK(meta_text(info) == r.meta);
        CHECK(std::string(info.info_get_by_name("tool")) == "vend");
        CHECK(std::string(info.info_get_by_name("codec")) == "Opus");
        CHECK(info.info_get_int("samplerate") == 48000);
        CHECK(info.info_get_int("samplerate_original") == 44100);
    }

    // A broken comment packet is swallowed; the technical fields and the header gain still come.
    bytes head = opus_head_bytes(1, 2, 512, 0, {});
    ogg_packet first = record_of(head, 0);
    service_ptr<codec_packet_decoder> decoder;
    codec_packet_decoder_open(decoder, true, codec_owner_ogg, 0, &first, sizeof first, abort_never);
    bytes tags = comment_packet("OpusTags", 8, {"TITLE=abc"});
    tags.resize(tags.size() - 2);
    ogg_packet second = record_of(tags, 1);
    decoder->property(ogg_property_header_packet, 0, &second, sizeof second);
    track_info_store info;
    decoder->get_info(info);
    CHECK(info.meta_count() == 0);
    CHECK(info.get_replaygain().album_gain == doctest::Approx(7.0f));
    CHECK(info.info_get_int("channels") == 2);
    CHECK_THROWS_AS(opus_tags_read(tags.data(), tags.size(), 0, info), ketrel_io::exception_io_data);
}

TEST_CASE("Opus retag writes the header gain and an R128 comment") {
    input_test::services_built();
    bytes head = opus_head_bytes(1, 2, 0, 0, {});
    service_ptr<ogg_header_rewriter> handler;
    ogg_stream_handler_find(handler, head.data(), head.size());
    service_ptr<ogg_stream_handler> full;
    REQUIRE(service_query(handler.get(), full));
    CHECK(full->comment_magic().length == 8);
    CHECK_FALSE(full->comment_magic().framing);

    struct row {
        const char* name;
        float album, track;
        int16_t header_gain;
        const char* r128;  // null: none written
    };
    const float none = replaygain_values::gain_invalid;
    const row rows[] = {
        {"both gains", -3.0f, -1.5f, -2048, "384"},
        {"album only", 2.0f, none, -768, "0"},
        {"track only", 6.0f, none, 256, "0"},
        {"neither", none, none, 0, nullptr},
    };
    for (const row& r : rows) {
        CAPTURE(r.name);
        track_info_store info;
        info.meta_set("TITLE", track_info::npos, "new", track_info::npos);
        replaygain_values rg;
        rg.album_gain = r.album;
        rg.track_gain = r.track;
        rg.track_peak = 0.9f;
        info.set_replaygain(rg);

        kpl::byte_array packet;
        for (uint8_t b : head) packet.append(b);
        CHECK(handler->rewrite_header_packet(info, 0, 0, packet) == 0);
        CHECK(static_cast<int16_t>(packet[16] | (packet[17] << 8)) == r.header_gain);
        CHECK(packet.count() == head.size());

        bytes old_tags = comment_packet("OpusTags", 8, {"TITLE=old", "R128_TRACK_GAIN=5"});
        kpl::byte_array tags;
        for (uint8_t b : old_tags) tags.append(b);
        CHECK(handler->rewrite_header_packet(info, 1, 0, tags) == ogg_rewrite_last);
        track_info_store back;
        opus_tags_read(tags.data(), tags.count(), r.header_gain, back);
        std::string expected = "TITLE=new";
        if (r.r128) expected = std::string("R128_TRACK_GAIN=") + r.r128 + ";" + expected;
        // the reader consumes R128_TRACK_GAIN; check the packet's text instead
        std::string text(reinterpret_cast<const char*>(tags.data()), tags.count());
        CHECK((text.find("R128_TRACK_GAIN=") != std::string::npos) == (r.r128 != nullptr));
        if (r.r128) CHECK(text.find(std::string("R128_TRACK_GAIN=") + r.r128) != std::string::npos);
        CHECK(text.find("replaygain") == std::string::npos);
        CHECK(text.find("REPLAYGAIN") == std::string::npos);
        CHECK(meta_text(back) == "TITLE=new");
    }

    track_info_store loud;
    replaygain_values rg;
    rg.album_gain = -200.0f;
    loud.set_replaygain(rg);
    kpl::byte_array packet;
    for (uint8_t b : head) packet.append(b);
    CHECK_THROWS_AS(handler->rewrite_header_packet(loud, 0, 0, packet), kpl::exception_overflow);
    packet.resize_exact(17);
    CHECK_THROWS_AS(handler->rewrite_header_packet(track_info_store(), 0, 0, packet), ketrel_io::exception_io_data);
}

TEST_CASE("Vorbis comment rules and the default rewrite's padding") {
    input_test::services_built();
    const xiph_comment_text comments[] = {
        {"=starts with equals", 19}, {"TITLE=\xC3\xA9t\xC3\xA9", 11}, {"ARTIST=\xFF\xFE", 9},
        {"DISCTOTAL=2", 11},         {"noequals", 8},
    };
    track_info_store info;
    xiph_comments_to_info(info, "lib", 3, comments, 5, xiph_comment_rules::vorbis, 0);
    CHECK(meta_text(info) == "TITLE=\xC3\xA9t\xC3\xA9;TOTALDISCS=2");
    CHECK(std::string(info.info_get_by_name("tool")) == "lib");

    bytes id = vorbis_id_header(2);
    service_ptr<ogg_header_rewriter> handler;
    ogg_stream_handler_find(handler, id.data(), id.size());
    bytes old_bytes = comment_packet("\x03vorbis", 7, {"TITLE=0123456789", "ARTIST=someone"}, true);
    struct row {
        const char* name;
        const char* title;
        long delta;  // new unpadded size minus old size
    };
    const row rows[] = {
        {"grew by 10", "0123456789ABCDEFGHIJ", 10},
        {"shrank by 10", "", -10},
        {"same size", "0123456789", 0},
    };
    for (const row& r : rows) {
        CAPTURE(r.name);
        track_info_store next;
        next.meta_set("TITLE", track_info::npos, r.title, track_info::npos);
        next.meta_set("ARTIST", track_info::npos, "someone", track_info::npos);
        kpl::byte_array packet;
        for (uint8_t b : old_bytes) packet.append(b);
        CHECK(handler->rewrite_header_packet(next, 1, 0, packet) == ogg_rewrite_last);
        size_t unpadded = old_bytes.size() + r.delta;
        size_t expected = r.delta > 0 ? unpadded + 2048 : old_bytes.size();
        CHECK(packet.count() == expected);
        CHECK(packet[static_cast<uint32_t>(unpadded) - 1] == 1);  // framing byte before the padding
        for (size_t i = unpadded; i < packet.count(); ++i) REQUIRE(packet[static_cast<uint32_t>(i)] == 0);
        CHECK(std::memcmp(packet.data(), "\x03vorbis\x04\x00\x00\x00vend", 15) == 0);
    }
    kpl::byte_array other;
    for (uint8_t b : id) other.append(b);
    CHECK(handler->rewrite_header_packet(track_info_store(), 0, 0, other) == 0);
    CHECK(other.count() == id.size());

    // A first packet nobody knows cannot be retagged.
    const uint8_t speex[] = {'S', 'p', 'e', 'e', 'x', ' ', ' ', ' '};
    CHECK_THROWS_AS(ogg_stream_handler_find(handler, speex, sizeof speex), ketrel_io::exception_io_data);
}

TEST_CASE("Vorbis decoders refuse what they cannot decode") {
    input_test::services_built();
    bytes seven = vorbis_id_header(7);
    ogg_packet first = record_of(seven, 0);
    service_ptr<codec_packet_decoder> decoder;
    CHECK_THROWS_AS(codec_packet_decoder_open(decoder, true, codec_owner_ogg, 0, &first, sizeof first, abort_never),
                    ketrel_io::exception_io_data);
    bytes six = vorbis_id_header(6);
    first = record_of(six, 0);
    codec_packet_decoder_open(decoder, true, codec_owner_ogg, 0, &first, sizeof first, abort_never);
    CHECK(decoder->property(ogg_property_granule_rate, 0, nullptr, 0) == 44100);
    CHECK(decoder->property(ogg_property_pre_skip, 0, nullptr, 0) == 0);
    bytes junk = {0x03, 'v', 'o', 'r', 'b', 'i', 's', 0xFF, 0xFF, 0xFF, 0xFF};
    ogg_packet comment = record_of(junk, 1);
    CHECK_THROWS_AS(decoder->property(ogg_property_header_packet, 0, &comment, sizeof comment),
                    ketrel_io::exception_io_data);
    ogg_packet third = record_of(junk, 3);
    CHECK_THROWS_AS(decoder->property(ogg_property_header_packet, 0, &third, sizeof third),
                    ketrel_io::exception_io_data);
}

TEST_CASE("Xiph lacing of a Matroska Vorbis codec private") {
    struct row {
        const char* name;
        bytes data;
        bool valid;
        size_t sizes[3];
    };
    bytes long_lace = {2, 255, 1, 2};
    long_lace.resize(long_lace.size() + 256 + 2 + 5, 7);
    const row rows[] = {
        {"three packets", {2, 2, 1, 'a', 'a', 'b', 'c', 'c', 'c'}, true, {2, 1, 3}},
        {"a lace of 255 + 1", long_lace, true, {256, 2, 5}},
        {"empty third packet", {2, 1, 1, 'a', 'b'}, true, {1, 1, 0}},
        {"first byte 1", {1, 2, 'a', 'a', 'b'}, false, {}},
        {"laces beyond the data", {2, 200, 1, 'a'}, false, {}},
        {"second lace beyond the data", {2, 1, 9, 'a', 'b'}, false, {}},
        {"lace bytes cut off", {2, 255}, false, {}},
        {"empty", {}, false, {}},
    };
    for (const row& r : rows) {
        CAPTURE(r.name);
        kpl::byte_array packets[3];
        bool ok = vorbis_split_xiph_lacing(r.data.data(), r.data.size(), packets);
        CHECK(ok == r.valid);
        if (ok)
            for (int i = 0; i < 3; ++i) CHECK(packets[i].count() == r.sizes[i]);
    }
}
