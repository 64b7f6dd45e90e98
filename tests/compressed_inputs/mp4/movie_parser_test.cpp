// The movie and track parser over movie boxes built in the test.

#include <doctest/doctest.h>

#include "compressed_inputs/mp4/atomkit/atom_stream.h"
#include "compressed_inputs/mp4/atomkit/movie_parser.h"
#include "tests/compressed_inputs/mp4/movie_builder.h"

using namespace atomkit_test;

namespace {

const bytes aac_entry = audio_entry("mp4a", 2, 16, 44100, esds(64, {0x12, 0x10}));
const bytes tables = cat({stts({{3, 1024}, {2, 512}}), stsz(0, {10, 11, 12, 13, 14}), stsc({{1, 5, 1}}), stco({40})});

atomkit::movie_file parse(const bytes& children, uint32_t flags = 0x13) {
    atomkit::movie_file m;
    m.flags = flags;
    const bytes moov = box("moov", cat({mvhd(1000, 5000), children}));
    atomkit::memory_atom_stream s(moov.data() + 8, moov.size() - 8);
    atomkit::parse_movie_box(m, s, moov.size() - 8);
    return m;
}

}  // namespace

TEST_CASE("an AAC track: entry, esds and tables") {
    const atomkit::movie_file m = parse(trak(mdhd(44100, 4096), cat({stsd(aac_entry), tables, ctts({{5, 2048}}),
                                                                     u32_table("stss", {1, 3})})));
    CHECK(m.movie_time_scale == 1000);
    CHECK(m.movie_duration == 5000);
    REQUIRE(m.tracks.size() == 1);
    const atomkit::track_record& t = *m.tracks[0];
    CHECK(t.kind == atomkit::kind_mp4a);
    CHECK(t.channels == 2);
    CHECK(t.bits_per_sample == 16);
    CHECK(t.sample_rate == 44100);
    CHECK(t.object_type == 64);
    CHECK(t.decoder_setup == bytes{0x12, 0x10});
    CHECK(t.avg_bitrate == 128000);
    CHECK(t.max_bitrate == 129000);
    CHECK(t.time_scale == 44100);
    CHECK(t.media_duration == 4096);
    CHECK(t.sample_count == 5);
    CHECK(t.sample_sizes.size() == 5);
    CHECK(t.chunk_offsets == std::vector<uint64_t>{40});
    CHECK(t.composition_offsets.size() == 1);
    CHECK(t.sync_samples == std::vector<uint32_t>{0, 2});
}

TEST_CASE("sample descriptions of other kinds") {
    SUBCASE("ALAC: the whole child payload is the cookie") {
        const bytes cookie = cat({full(0), filler(24, 7)});
        const atomkit::movie_file m = parse(trak(mdhd(48000, 10), stsd(audio_entry("alac", 2, 24, 48000, box("alac", cookie)))));
        REQUIRE(m.tracks.size() == 1);
        CHECK(m.tracks[0]->kind == atomkit::kind_alac);
        CHECK(m.tracks[0]->decoder_setup == cookie);
    }
    SUBCASE("QuickTime sound descriptions: version 1 and 2 fields, the setup inside a wave box") {
        bytes v1 = audio_entry("mp4a", 2, 16, 44100);
        v1[8 + 8 + 1] = 1;  // version 1
        v1 = box("mp4a", cat({bytes(v1.begin() + 8, v1.end()), filler(16, 0),
                              box("wave", cat({box("frma", text("mp4a")), esds(64, {0x11, 0x90}), raw_header(8, "\0\0\0\0")}))}));
        const atomkit::movie_file m = parse(trak(mdhd(48000, 10), stsd(v1)));
        REQUIRE(m.tracks.size() == 1);
        CHECK(m.tracks[0]->decoder_setup == bytes{0x11, 0x90});
        CHECK(m.tracks[0]->sample_rate == 44100);

        bytes v2 = audio_entry("alac", 3, 16, 1);
        v2[8 + 8 + 1] = 2;
        bytes ext;
        put32(ext, 72), put64(ext, 0x40F7700000000000ull), put32(ext, 6), put32(ext, 0x7F000000), put32(ext, 24);
        put32(ext, 0), put32(ext, 0), put32(ext, 4096);
        const bytes cookie = cat({full(0), filler(24, 3)});
        v2 = box("alac", cat({bytes(v2.begin() + 8, v2.end()), ext, box("alac", cookie)}));
        const atomkit::movie_file n = parse(trak(mdhd(96000, 10), stsd(v2)));
        REQUIRE(n.tracks.size() == 1);
        CHECK(n.tracks[0]->sample_rate == 96000);
        CHECK(n.tracks[0]->channels == 6);
        CHECK(n.tracks[0]->bits_per_sample == 24);
        CHECK(n.tracks[0]->decoder_setup == cookie);
    }
    SUBCASE("the optional fields of the ES descriptor are read past") {
        // ES id, then flags: depends on stream 7, URL "ab", OCR stream 9; then the config descriptors.
        const bytes plain = esds(64, {0x12, 0x10});
        bytes es(plain.begin() + 12, plain.end());    // tag 3, length, ES id, flags, ...
        bytes with = {3, uint8_t(es[1] + 7), es[2], es[3], 0xE0, 0, 7, 2, 'a', 'b', 0, 9};
        with.insert(with.end(), es.begin() + 5, es.end());
        const atomkit::movie_file m =
            parse(trak(mdhd(44100, 10), stsd(audio_entry("mp4a", 2, 16, 44100, box("esds", full(0, with))))));
        REQUIRE(m.tracks.size() == 1);
        CHECK(m.tracks[0]->object_type == 64);
        CHECK(m.tracks[0]->decoder_setup == bytes{0x12, 0x10});
    }
    SUBCASE("mp4a without esds: empty setup, object type 0") {
        const atomkit::movie_file m = parse(trak(mdhd(44100, 10), stsd(audio_entry("mp4a", 1, 16, 22050))));
        REQUIRE(m.tracks.size() == 1);
        CHECK(m.tracks[0]->decoder_setup.empty());
        CHECK(m.tracks[0]->object_type == 0);
    }
    SUBCASE("AMR") {
        bytes amr(6, 0);
        put16(amr, 1);
        amr.resize(amr.size() + 16, 0);
        put16(amr, 8000), put16(amr, 0);
        const bytes damr = cat({amr, box("damr", filler(9, 0))});
        const atomkit::movie_file m = parse(trak(mdhd(8000, 10), stsd(box("samr", damr))));
        REQUIRE(m.tracks.size() == 1);
        CHECK(m.tracks[0]->kind == atomkit::kind_amr);
        CHECK(m.tracks[0]->sample_rate == 8000);
        CHECK(m.tracks[0]->channels == 1);
        CHECK(parse(trak(mdhd(8000, 10), stsd(box("samr", cat({amr, box("xxxx", filler(9, 0))}))))).tracks.empty());
    }
    SUBCASE("the last entry decides the kind; unknown entries are never decoded") {
        const atomkit::movie_file m = parse(trak(mdhd(8000, 10), stsd(cat({aac_entry, box("text", filler(20))}), 2)));
        REQUIRE(m.tracks.size() == 1);
        CHECK(m.tracks[0]->kind == atomkit::kind_unknown);
    }
    SUBCASE("video: with 0x13 only the kind, its tables skipped; with stsd after the tables, all are read") {
        bytes visual(24, 0);
        put16(visual, 640), put16(visual, 480);
        visual.resize(visual.size() + 14 + 32 + 4, 0);
        bytes avcc = {1, 0x42, 0, 0x1E, 0xFF, 0xE1, 0, 2, 0xAA, 0xBB, 1, 0, 1, 0xCC};
        const bytes video = box("avc1", cat({visual, box("avcC", avcc)}));
        const atomkit::movie_file a = parse(trak(mdhd(600, 10), cat({stsd(video), tables})));
        REQUIRE(a.tracks.size() == 1);
        CHECK(a.tracks[0]->kind == atomkit::kind_avc1);
        CHECK(a.tracks[0]->width == 0);
        CHECK(a.tracks[0]->time_to_sample.empty());
        const atomkit::movie_file b = parse(trak(mdhd(600, 10), cat({tables, stsd(video)})));
        CHECK(b.tracks[0]->sample_count == 5);
        const atomkit::movie_file c = parse(trak(mdhd(600, 10), cat({stsd(video), tables})), 0x33);
        CHECK(c.tracks[0]->width == 640);
        CHECK(c.tracks[0]->decoder_setup == bytes{0, 2, 0xAA, 0xBB, 0, 1, 0xCC});
        avcc[4] = 0x03;
        CHECK(parse(trak(mdhd(600, 10), stsd(box("avc1", cat({visual, box("avcC", avcc)})))), 0x33).tracks.empty());
    }
}

TEST_CASE("a damaged track is left out, the others load") {
    const bytes good = trak(mdhd(44100, 10), cat({stsd(aac_entry), tables}));
    bytes es_short = esds(64, {});
    es_short[13] = 5;  // ES descriptor length below 20
    const struct {
        const char* what;
        bytes stbl_children;
    } rows[] = {
        {"esds outside mp4a", stsd(audio_entry("alac", 2, 16, 44100, esds(64, {1})))},
        {"alac inside mp4a", stsd(audio_entry("mp4a", 2, 16, 44100, box("alac", filler(28))))},
        {"ES descriptor too short", stsd(audio_entry("mp4a", 2, 16, 44100, es_short))},
        {"entry count above the entries", stsd(aac_entry, 2)},
        {"stsd too short", box("stsd", bytes{0, 0})},
        {"stss 1, 5, 5", cat({stsd(aac_entry), u32_table("stss", {1, 5, 5})})},
        {"stss starting at 0", cat({stsd(aac_entry), u32_table("stss", {0})})},
        {"two stts", cat({stsd(aac_entry), stts({{1, 1}}), stts({{1, 1}})})},
        {"two ctts", cat({stsd(aac_entry), ctts({{1, 1}}), ctts({{1, 1}})})},
        {"a table longer than its box", cat({stsd(aac_entry), box("stco", bytes{0, 0, 0, 0, 0x10, 0, 0, 0, 1, 2})})},
    };
    for (const auto& r : rows) {
        CAPTURE(r.what);
        const atomkit::movie_file m = parse(cat({trak(mdhd(44100, 10), r.stbl_children), good}));
        REQUIRE(m.tracks.size() == 1);
        CHECK(m.tracks[0]->sample_count == 5);
    }
    // The texts.
    CHECK(atomkit_error([] {
              atomkit::track_record t;
              const bytes b = audio_entry("alac", 2, 16, 44100, esds(64, {1}));
              const bytes d = stsd(b);
              atomkit::memory_atom_stream s(d.data() + 8, d.size() - 8);
              atomkit::parse_sample_description(t, s, d.size() - 8, 0x13);
          }) == "esds atom not expected here");
    CHECK(atomkit_error([&] {
              atomkit::track_record t;
              const bytes d = stsd(audio_entry("mp4a", 2, 16, 44100, es_short));
              atomkit::memory_atom_stream s(d.data() + 8, d.size() - 8);
              atomkit::parse_sample_description(t, s, d.size() - 8, 0x13);
          }) == "invalid esds atom (1)");
}

TEST_CASE("movie and media headers") {
    SUBCASE("mdhd version 0 with all ones: unknown; version 1: 64-bit") {
        CHECK(parse(trak(mdhd(44100, 0xFFFFFFFF), stsd(aac_entry))).tracks[0]->media_duration == atomkit::unknown_duration);
        CHECK(parse(trak(mdhd(44100, 0x123456789ull, true), stsd(aac_entry))).tracks[0]->media_duration == 0x123456789ull);
    }
    SUBCASE("a time scale of 0 or an unknown version drops the track") {
        CHECK(parse(trak(mdhd(0, 10), stsd(aac_entry))).tracks.empty());
        bytes v2 = mdhd(44100, 10);
        v2[8] = 2;
        CHECK(parse(trak(v2, stsd(aac_entry))).tracks.empty());
    }
    SUBCASE("mvhd errors end the parse") {
        bytes v2 = mvhd(1000, 10);
        v2[8] = 2;
        atomkit::movie_file m;
        const bytes moov = box("moov", v2);
        atomkit::memory_atom_stream s(moov.data() + 8, moov.size() - 8);
        CHECK(atomkit_error([&] { atomkit::parse_movie_box(m, s, moov.size() - 8); }) == "unknown mvhd version");
    }
    SUBCASE("stz2 in place of stsz: neither a constant size nor a table") {
        const atomkit::movie_file m = parse(trak(mdhd(44100, 10), cat({stsd(aac_entry), box("stz2", filler(20, 0))})));
        CHECK(m.tracks[0]->constant_sample_size == 0);
        CHECK(m.tracks[0]->sample_sizes.empty());
    }
}
