// The Matroska input over small files made here: lacing, track choice, decoding with invisible frames, seeking
// through the Cues, chapters as subsongs and decoders that want the first packet.

#include <doctest/doctest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "compressed_inputs/matroska/matroska_file.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "metadata/audio_block.h"
#include "tests/compressed_inputs/compressed_test_support.h"
#include "tests/compressed_inputs/matroska/ebml_builder.h"

using namespace mkv;

namespace {

// A codec that wants the first packet ("A_TEST/FIRST"): remembers it and decodes each packet as 16-bit PCM.
bytes g_first_packet;
class first_packet_decoder final : public service_counted<codec_packet_decoder> {
public:
    void get_info(track_info& info) override { info.info_set("codec", track_info::npos, "Test", track_info::npos); }
    void reset_after_seek() override {}
    bool needs_first_packet() override { return true; }
    void set_first_packet(const void* data, size_t size, const abort_signal&) override {
        g_first_packet.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    }
    void decode_packet(const void* data, size_t size, audio_block& block, const abort_signal&) override {
        block.set_data_int(data, static_cast<uint32_t>(size), 8000, 1, audio_block::little_endian | audio_block::is_signed,
                           channel_mask_default(1), 16);
    }
};
class first_packet_codec final : public service_static<codec_packet_decoder_service> {
public:
    bool accepts_setup(const kpl::guid& owner, uint32_t, const void* record, size_t size) override {
        return owner == codec_owner_matroska && size == sizeof(matroska_setup_record) &&
               std::strcmp(static_cast<const matroska_setup_record*>(record)->codec_id, "A_TEST/FIRST") == 0;
    }
    void create(service_ptr<codec_packet_decoder>& out, bool, const kpl::guid&, uint32_t, const void*, size_t,
                const abort_signal&) override {
        service_ref ref;
        ref.attach(static_cast<codec_packet_decoder*>(new first_packet_decoder()));
        out.attach_ref(std::move(ref));
    }
};
service_factory_single<first_packet_codec, codec_packet_decoder_service> g_first_packet_codec;

void open(Matroska::matroska_file& f, const bytes& file, input_open_reason reason) {
    compressed_test::services_built();
    f.open(compressed_test::memory_file_with(file), "memory://a.mka", reason, abort_never);
}

// Every sample value decoded from the subsong (16-bit mono PCM ramps), after an optional seek.
std::vector<int> decode_all(const bytes& file, uint32_t subsong, double seek = -1) {
    Matroska::matroska_file f;
    open(f, file, input_open_decode);
    f.initialise(subsong, 0, abort_never);
    if (seek >= 0) f.seek(seek, abort_never);
    std::vector<int> out;
    audio_block_store block;
    while (f.decode(block, abort_never)) {
        for (uint32_t i = 0; i < block.get_sample_count(); ++i)
            out.push_back(static_cast<int>(std::lround(block.get_data()[i] * 32768.0f)));
    }
    return out;
}

std::vector<int> count_from(int first, int n) {
    std::vector<int> v;
    for (int i = 0; i < n; ++i) v.push_back(first + i);
    return v;
}

// 8000 Hz mono PCM at 1 ms ticks: 8 samples a tick. Blocks of 80 samples (10 ms), clusters of 5 blocks.
bytes pcm_file(int clusters, std::vector<bytes> extra = {}, double duration_ms = 0, bool cues = false) {
    std::vector<bytes> parts = {info(duration_ms), pcm_tracks()};
    for (bytes& e : extra) parts.push_back(e);
    std::vector<bytes> cluster_list;
    for (int c = 0; c < clusters; ++c) {
        cluster_list.push_back(cluster(static_cast<uint64_t>(c) * 50,
                                       {block(1, 0, ramp(c * 400, 80)), block(1, 10, ramp(c * 400 + 80, 80)),
                                        block(1, 20, ramp(c * 400 + 160, 80)), block(1, 30, ramp(c * 400 + 240, 80)),
                                        block(1, 40, ramp(c * 400 + 320, 80))}));
    }
    if (cues) {
        // Positions relative to the Segment data: the parts before the clusters come first.
        uint64_t offset = cat(parts).size();
        std::vector<bytes> points;
        for (int c = 0; c < clusters; ++c) {
            points.push_back(el(id::cue_point, {el(id::cue_time, u(static_cast<uint64_t>(c) * 50)),
                                                el(id::cue_track_positions, {el(id::cue_track, u(1)),
                                                                             el(id::cue_cluster_position, u(offset))})}));
            offset += cluster_list[static_cast<size_t>(c)].size();
        }
        for (bytes& c : cluster_list) parts.push_back(c);
        parts.push_back(el(id::cues, cat(points)));
    } else {
        for (bytes& c : cluster_list) parts.push_back(c);
    }
    return file_of(segment(parts));
}

}  // namespace

TEST_CASE("Matroska lacing: Xiph, EBML and fixed sizes, and bad lacing") {
    auto block_bytes = [](uint8_t flags, const bytes& lacing, size_t payload) {
        bytes b = {0x00, 0x05, flags};
        b.insert(b.end(), lacing.begin(), lacing.end());
        b.resize(b.size() + payload, 0x11);
        return b;
    };
    struct row {
        const char* what;
        bytes data;
        std::vector<size_t> sizes;  // empty: refused
    };
    const row rows[] = {
        {"none", block_bytes(0x80, {}, 7), {7}},
        {"EBML 100, 90, rest", block_bytes(0x06, {2, 0x80 | 100, 0x80 | (63 - 10)}, 240), {100, 90, 50}},
        {"EBML two-byte delta", block_bytes(0x06, {2, 0x80 | 100, 0x5F, 0xF5}, 240), {100, 90, 50}},
        {"EBML one frame", block_bytes(0x06, {0}, 12), {12}},
        {"EBML negative size", block_bytes(0x06, {2, 0x80 | 5, 0x80 | (63 - 10)}, 40), {}},
        {"EBML delta without marker", block_bytes(0x06, {2, 0x80 | 5, 0x01, 0x00}, 40), {}},
        {"fixed 4 over 401", block_bytes(0x04, {3}, 401), {100, 100, 100, 100}},
        {"Xiph 300, 10, rest", block_bytes(0x02, {2, 255, 45, 10}, 320), {300, 10, 10}},
        {"Xiph larger than the block", block_bytes(0x02, {1, 255, 45}, 100), {}},
        {"lacing count without frames", block_bytes(0x02, {}, 0), {}},
        {"too short", bytes{0x00, 0x01}, {}},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        std::vector<Matroska::matroska_frame> frames;
        if (r.sizes.empty()) {
            CHECK_THROWS_AS(Matroska::matroska_split_block(r.data.data(), r.data.size(), 0, frames),
                            ketrel_io::exception_io_data);
            continue;
        }
        Matroska::matroska_split_block(r.data.data(), r.data.size(), 1000, frames);
        REQUIRE(frames.size() == r.sizes.size());
        size_t end = 0;
        for (size_t i = 0; i < frames.size(); ++i) {
            CHECK(frames[i].size == r.sizes[i]);
            CHECK(frames[i].has_timecode == (i == 0));
            end = frames[i].offset + frames[i].size;
        }
        CHECK(frames[0].timecode == 5);
        if (std::string(r.what) != "fixed 4 over 401") CHECK(end == 1000 + r.data.size());
        else CHECK(end == 1000 + r.data.size() - 1);  // the odd byte is skipped
    }
    std::vector<Matroska::matroska_frame> invisible;
    const bytes hidden = block_bytes(0x08 | 0x04, {1}, 10);
    Matroska::matroska_split_block(hidden.data(), hidden.size(), 0, invisible);
    REQUIRE(invisible.size() == 2);
    CHECK((invisible[0].invisible && invisible[1].invisible));
}

TEST_CASE("Matroska input: track choice, info and the Duration") {
    compressed_test::services_built();
    track_spec video;
    video.type = 1;
    video.number = 1;
    video.uid = 1;
    track_spec a2, a3, a4;
    a2.number = 2, a2.uid = 2, a2.rate = 11025;
    a3.number = 3, a3.uid = 3, a3.rate = 22050, a3.is_default = true, a3.output_rate = 44100;
    a4.number = 4, a4.uid = 4, a4.rate = 32000, a4.forced = true;
    track_spec unknown;
    unknown.codec = "A_NONE";
    struct row {
        const char* what;
        bytes tracks_el;
        int64_t samplerate;
    };
    const row rows[] = {
        {"forced beats default", tracks({video, a2, a3, a4}), 32000},
        {"default, output rate", tracks({video, a2, a3}), 44100},
        {"first audio track", tracks({video, a2, [] { track_spec t; t.number = 5; t.uid = 5; t.rate = 48000; return t; }()}),
         11025},
        {"unknown codec dropped", tracks({[] { track_spec t; t.codec = "A_NONE"; t.forced = true; return t; }(), a2}), 11025},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        Matroska::matroska_file f;
        open(f, file_of(segment({info(1000), r.tracks_el})), input_open_decode);
        track_info_store ti;
        f.get_info(0, ti, abort_never);
        CHECK(ti.info_get_by_name("samplerate") == std::to_string(r.samplerate));
    }

    // An unsupported only track: no playback, but info without a sample rate.
    Matroska::matroska_file f;
    open(f, file_of(segment({info(1000), tracks({unknown})})), input_open_info);
    track_info_store ti;
    f.get_info(0, ti, abort_never);
    CHECK(ti.info_get_by_name("samplerate") == nullptr);
    CHECK(ti.get_length() == doctest::Approx(1.0));

    // Duration 0: no length, no bitrate.
    Matroska::matroska_file z;
    open(z, pcm_file(2), input_open_info);
    z.get_info(0, ti, abort_never);
    CHECK(ti.get_length() == 0);
    CHECK(ti.info_get_by_name("bitrate") == nullptr);
    CHECK(z.bitrate() == 0);
    Matroska::matroska_file d;
    open(d, pcm_file(2, {}, 100), input_open_info);
    CHECK(d.bitrate() > 0);
}

TEST_CASE("Matroska input: decoding, invisible frames, seeking through the Cues") {
    // The whole stream: 2 clusters of 5 blocks of 80 samples.
    CHECK(decode_all(pcm_file(2), 0) == count_from(0, 800));

    // An invisible block is decoded but not heard.
    const bytes hidden = file_of(segment({info(), pcm_tracks(),
                                          cluster(0, {block(1, 0, ramp(0, 80)), block(1, 10, ramp(80, 80), 0x88),
                                                      block(1, 20, ramp(160, 80))})}));
    std::vector<int> expected = count_from(0, 80);
    for (int v : count_from(160, 80)) expected.push_back(v);
    CHECK(decode_all(hidden, 0) == expected);

    // Header stripping: the stripped bytes (sample 7) go back in front of every frame.
    track_spec stripped;
    stripped.extra = el(id::content_encodings,
                        el(id::content_encoding, el(id::content_compression, {el(id::content_comp_algo, u(3)),
                                                                              el(id::content_comp_settings, ramp(7, 1))})));
    const bytes strip_file = file_of(segment({info(), tracks({stripped}),
                                              cluster(0, {block(1, 0, ramp(8, 2)), block(1, 1, ramp(20, 1))})}));
    CHECK(decode_all(strip_file, 0) == std::vector<int>{7, 8, 9, 7, 20});

    // Seeking lands on the sample (with and without Cues); a block of another track is not read.
    for (bool cues : {false, true}) {
        CAPTURE(cues);
        const bytes file = pcm_file(4, {}, 200, cues);
        for (double t : {0.0, 0.0125, 0.05, 0.1337, 0.19}) {
            CAPTURE(t);
            const int first = static_cast<int>(std::floor(t * 8000 + 0.5));
            CHECK(decode_all(file, 0, t) == count_from(first, 1600 - first));
        }
        CHECK(decode_all(file, 0, 0.5).empty());
    }
}

TEST_CASE("Matroska input: chapters as subsongs, and a decoder that wants the first packet") {
    auto atom = [](uint64_t uid, uint64_t start_ms, int64_t end_ms) {
        bytes content = cat({el(id::chapter_uid, u(uid)), el(id::chapter_time_start, u(start_ms * 1000000))});
        if (end_ms >= 0) content = cat({content, el(id::chapter_time_end, u(static_cast<uint64_t>(end_ms) * 1000000))});
        return el(id::chapter_atom, content);
    };
    // 1: 0-60 ms, 2: 60 ms to the third's start (130 ms), 3: to the end, in a file without a Duration.
    const bytes chapters = el(id::chapters, el(id::edition_entry, {atom(11, 0, 60), atom(12, 60, -1), atom(13, 130, -1)}));
    const bytes file = pcm_file(4, {chapters});
    CHECK(decode_all(file, 1) == count_from(0, 480));
    CHECK(decode_all(file, 2) == count_from(480, 560));
    CHECK(decode_all(file, 3) == count_from(1040, 560));
    CHECK(decode_all(file, 2, 0.01) == count_from(560, 480));
    Matroska::matroska_file f;
    open(f, file, input_open_info);
    track_info_store ti;
    f.get_info(2, ti, abort_never);
    CHECK(ti.get_length() == doctest::Approx(0.07));
    f.get_info(3, ti, abort_never);
    CHECK(ti.get_length() == 0);  // no Duration: not known, never negative
    CHECK_THROWS_AS(decode_all(file, 0), ketrel_io::exception_io_data);

    // The first frame reaches a decoder that asks for it, also in a file with chapters.
    track_spec first;
    first.codec = "A_TEST/FIRST";
    const bytes wanting = file_of(segment({info(), tracks({first}), chapters, cluster(0, {block(1, 0, ramp(7, 3))}),
                                          cluster(10, {block(1, 0, ramp(10, 3))})}));
    g_first_packet.clear();
    Matroska::matroska_file w;
    open(w, wanting, input_open_decode);
    CHECK(g_first_packet == ramp(7, 3));
    w.initialise(1, 0, abort_never);
    audio_block_store block;
    REQUIRE(w.decode(block, abort_never));
    CHECK(block.get_sample_count() == 3);
    CHECK(std::lround(block.get_data()[0] * 32768.0f) == 7);
    const bytes empty = file_of(segment({info(), tracks({first})}));
    Matroska::matroska_file e;
    CHECK_THROWS_AS(open(e, empty, input_open_decode), ketrel_io::exception_io_data);
}
