// The file model over files built in the test: the top-level scan, the decode range, chapters, the cursor.

#include <doctest/doctest.h>

#include "compressed_inputs/mp4/atomkit/box_buffer.h"
#include "compressed_inputs/mp4/atomkit/sample_index.h"
#include "tests/compressed_inputs/mp4/movie_builder.h"

using namespace atomkit_test;

namespace {

bytes movie(const bytes& traks, const bytes& udta_children = {}, uint32_t duration = 100000) {
    bytes children = cat({mvhd(1000, duration), traks});
    if (!udta_children.empty()) children = cat({children, udta(udta_children)});
    return box("moov", children);
}

bytes chpl(std::initializer_list<std::pair<uint64_t, std::string>> chapters) {
    bytes b = {1, 0, 0, 0, 0};
    put32(b, uint32_t(chapters.size()));
    for (auto& c : chapters) {
        put64(b, c.first);
        b.push_back(uint8_t(c.second.size()));
        b.insert(b.end(), c.second.begin(), c.second.end());
    }
    return box("chpl", b);
}

std::string first(const atomkit::field_set& f, const char* name) {
    auto it = f.find(name);
    return it == f.end() || it->second.values.empty() ? "<none>" : it->second.values[0];
}

}  // namespace

TEST_CASE("the top-level scan") {
    const bytes moov = movie(aac_trak(10, 8));
    const bytes mdat = box("mdat", filler(100));
    atomkit::movie_file m;

    SUBCASE("moov first opens on a stream; moov after mdat needs seeking") {
        memory_file stream(cat({ftyp(), moov, mdat}));
        m.open(stream, 0x13, false);
        CHECK(stream.position() == ftyp().size() + moov.size() + 8);  // stopped at the media data
        CHECK(stream.bytes_read <= ftyp().size() + moov.size() + 8);
        CHECK(m.tracks.size() == 1);
        CHECK(m.moov_offset == ftyp().size());
        CHECK(m.moov_size == moov.size());
        m.reset();
        CHECK(atomkit_error([&] { open_model(m, cat({ftyp(), mdat, moov}), 0x13, false); }) ==
              "attempting to stream a non-optimized file");
        m.reset();
        open_model(m, cat({ftyp(), mdat, moov}), 0x13, true);
        CHECK(m.data_end == ftyp().size() + mdat.size() + moov.size());
    }
    SUBCASE("a file cut inside its last mdat opens when moov came first") {
        bytes cut = cat({ftyp(), moov, mdat});
        cut.resize(cut.size() - 50);
        open_model(m, cut);
        CHECK(m.data_end == ftyp().size() + moov.size() + mdat.size());
        m.reset();
        bytes cut2 = cat({ftyp(), mdat, moov});
        cut2.resize(ftyp().size() + 40);
        CHECK(atomkit_error([&] { open_model(m, cut2); }) == "moov box not found");
    }
    SUBCASE("errors of the scan") {
        CHECK(atomkit_error([&] { open_model(m, cat({ftyp(), moov, moov, mdat})); }) == "duplicate moov box");
        m.reset();
        CHECK(atomkit_error([&] { open_model(m, cat({ftyp(), mdat})); }) == "moov box not found");
        m.reset();
        CHECK(atomkit_error([&] { open_model(m, {}); }) == "moov box not found");
        m.reset();
        CHECK(atomkit_error([&] { open_model(m, cat({ftyp(), movie(aac_trak(10, 8), {}, 0), mdat})); }) ==
              "invalid or missing mvhd data");
        m.reset();
        // A box of size 0 or one running past the end: the scan ends there.
        CHECK(atomkit_error([&] { open_model(m, cat({ftyp(), raw_header(0, "free"), moov})); }) == "moov box not found");
        m.reset();
        CHECK(atomkit_error([&] { open_model(m, cat({ftyp(), raw_header(5000, "free"), moov})); }) ==
              "truncation: invalid or incomplete data");
    }
    SUBCASE("a trailing ID3v1 block ends the scan quietly") {
        bytes tag = {'T', 'A', 'G'};
        tag.resize(128, ' ');
        open_model(m, cat({ftyp(), moov, mdat, tag}));
        CHECK(m.data_end == ftyp().size() + moov.size() + mdat.size());
    }
}

TEST_CASE("to_ticks and the iTunSMPB value") {
    CHECK(atomkit::to_ticks(2112, 44100) == 478912);
    CHECK(atomkit::to_ticks(2112 + 4141558, 44100) == 939607710);
    CHECK(atomkit::to_ticks(1, 3) == 3333333);
    CHECK(atomkit::to_ticks(~uint64_t(0), 1) == (~uint64_t(0)) * 10000000u);  // wraps
    CHECK(atomkit_error([] { atomkit::to_ticks(1, 0); }) == "invalid time scale value");
    uint64_t delay = 0, length = 0;
    CHECK(atomkit::parse_itunsmpb(" 00000000 00000840 000001CA 00000000003F31F6", delay, length));
    CHECK(delay == 2112);
    CHECK(length == 4141558);
    CHECK(atomkit::parse_itunsmpb("0 0x10   z 1f", delay, length));  // 'x' and 'z' count as 0
    CHECK(delay == 0x010);
    CHECK(length == 0x1f);
    CHECK_FALSE(atomkit::parse_itunsmpb(" 0 840 0 0", delay, length));
    CHECK_FALSE(atomkit::parse_itunsmpb("0 FFFFFFFFFFFFFFFF 0 2", delay, length));
}

TEST_CASE("the decode range") {
    atomkit::movie_file m;
    SUBCASE("iTunSMPB gives start and end") {
        const bytes items = freeform("iTunSMPB", " 00000000 00000840 000001CA 00000000003F31F6");
        open_model(m, cat({movie(aac_trak(4100, 8), meta_ilst(items)), box("mdat", filler(8))}));
        REQUIRE(m.chapter_count() == 1);
        CHECK(m.chapters[0].start == 478912);
        CHECK(m.end_ticks == 939607710);
        CHECK_FALSE(m.fields.at("ITUNSMPB").is_meta);
    }
    SUBCASE("the first composition offset primes an AAC track") {
        open_model(m, movie(aac_trak(100, 8, ctts({{0, 7}, {100, 1024}}))));
        CHECK(m.chapters[0].start == atomkit::to_ticks(1024, 44100));
        CHECK(m.end_ticks == atomkit::to_ticks(102400, 44100));
    }
    SUBCASE("a video track makes it 0 .. movie duration") {
        const bytes video = trak(mdhd(600, 6000), stsd(box("avc1", filler(78, 0))));
        open_model(m, movie(cat({aac_trak(100, 8, ctts({{100, 1024}})), video})));
        CHECK(m.chapters[0].start == 0);
        CHECK(m.end_ticks == atomkit::to_ticks(100000, 1000));
    }
    SUBCASE("an unknown media duration falls back to the movie's, never a wrapped length") {
        const bytes t = trak(mdhd(44100, 0xFFFFFFFF), cat({stsd(audio_entry("mp4a", 2, 16, 44100, esds(64, {0x12, 0x10}))),
                                                           stts({{10, 1024}}), stsz(10, {}, 10)}));
        open_model(m, movie(t, {}, 5000));
        CHECK(m.tracks[0]->media_duration == atomkit::unknown_duration);
        CHECK(m.end_ticks == atomkit::to_ticks(5000, 1000));
        CHECK(m.chapter_end_seconds(0) == doctest::Approx(5.0));
        CHECK(atomkit::summary(*m.tracks[0]).bitrate == 128000);  // from "esds"
    }
    SUBCASE("no audio track: the movie duration") {
        open_model(m, movie({}));
        CHECK(m.end_ticks == atomkit::to_ticks(100000, 1000));
    }
}

TEST_CASE("chapters from chpl, the tags box and the index map") {
    atomkit::movie_file m;
    const bytes three = chpl({{0, "One"}, {20000000, "Two"}, {50000000, "Three"}});
    SUBCASE("three chapters: the file title wins, tracks are numbered") {
        open_model(m, movie(aac_trak(1000, 8), cat({meta_ilst(item("\xA9nam", 1, text("Book"))), three})));
        REQUIRE(m.chapter_count() == 3);
        CHECK(first(m.chapters[1].fields, "title") == "Book");
        CHECK(first(m.chapters[2].fields, "track") == "3");
        CHECK(m.chapter_start_seconds(1) == doctest::Approx(2.0));
        CHECK(m.chapter_end_seconds(1) == doctest::Approx(5.0));
        CHECK(m.chapter_end_seconds(2) == doctest::Approx(m.end_ticks * 1e-7));
        CHECK(atomkit_error([&] { m.chapter_start_seconds(3); }) == "array access out of range");
    }
    SUBCASE("without a file title the chapter names are used; a file track number is kept") {
        open_model(m, movie(aac_trak(1000, 8), cat({meta_ilst(item("trkn", 0, {0, 0, 0, 7, 0, 9, 0, 0})), three})));
        CHECK(first(m.chapters[0].fields, "title") == "One");
        CHECK(first(m.chapters[2].fields, "track") == "7");
    }
    SUBCASE("one chpl chapter with iTunSMPB: the gapless start") {
        const bytes items = freeform("iTunSMPB", " 00000000 00000840 000001CA 00000000003F31F6");
        open_model(m, movie(aac_trak(4100, 8), cat({meta_ilst(items), chpl({{0, "Only"}})})));
        REQUIRE(m.chapter_count() == 1);
        CHECK(m.chapters[0].start == 478912);
    }
    SUBCASE("bad chapter and index boxes end the open") {
        bytes many = {1, 0, 0, 0, 0};
        put32(many, 1025);
        CHECK(atomkit_error([&] { open_model(m, movie(aac_trak(10, 8), box("chpl", many))); }) ==
              "invalid chapter count");
        m.reset();
        bytes indx;
        put32(indx, 101);
        CHECK(atomkit_error([&] { open_model(m, movie(aac_trak(10, 8), box("indx", indx))); }) == "invalid index map");
    }
    SUBCASE("an index map of another count than the chapters is emptied") {
        bytes indx;
        put32(indx, 1), put64(indx, 5), put32(indx, 1), put64(indx, 9);
        open_model(m, movie(aac_trak(1000, 8), cat({three, box("indx", indx)})));
        CHECK(m.ud.index_map.empty());
    }
}

TEST_CASE("the sample cursor, offsets and time_to_sample") {
    atomkit::track_record t;
    t.kind = atomkit::kind_mp4a;
    t.time_scale = 1000;
    t.time_to_sample = {{3, 10}, {0, 99}, {4, 20}};
    t.sample_count = 7;
    t.sample_sizes = {5, 6, 7, 8, 9, 10, 11};
    t.sample_to_chunk = {{1, 2, 1}, {3, 3, 1}};  // chunks 1, 2: 2 samples; from 3: 3 samples
    t.chunk_offsets = {1000, 2000, 3000};
    t.composition_offsets = {{2, 50}, {10, 60}};
    const struct {
        uint32_t sample;
        uint64_t offset, decode_time;
        uint32_t size, duration, composition_offset;
    } expected[] = {{0, 1000, 0, 5, 10, 50},     {1, 1005, 10, 6, 10, 50},   {2, 2000, 20, 7, 10, 60},
                    {3, 2007, 30, 8, 20, 60},    {4, 3000, 50, 9, 20, 60},   {5, 3009, 70, 10, 20, 60},
                    {6, 3019, 90, 11, 20, 60}};
    atomkit::sample_cursor walk;
    atomkit::cursor_seek(walk, t, 0);
    for (const auto& e : expected) {
        CAPTURE(e.sample);
        atomkit::sample_cursor direct;
        atomkit::cursor_seek(direct, t, e.sample);
        for (const atomkit::sample_cursor* c : {&walk, &direct}) {
            const atomkit::sample_info i = atomkit::cursor_info(*c, t);
            CHECK(i.file_offset == e.offset);
            CHECK(i.size == e.size);
            CHECK(i.duration == e.duration);
            CHECK(i.composition_offset == e.composition_offset);
            CHECK(i.composition_time == e.decode_time + e.composition_offset);
        }
        CHECK(atomkit::cursor_next(walk, t) == (e.sample < 6));
    }
    uint64_t rem = 0;
    CHECK(atomkit::time_to_sample(t, 25, rem) == 2);
    CHECK(rem == 5);
    CHECK(atomkit::time_to_sample(t, 75, rem) == 5);
    CHECK(rem == 5);
    CHECK(atomkit_error([&] { atomkit::time_to_sample(t, 110, rem); }) == "array access out of range");
    CHECK(atomkit::samples_size(t, 1, 4) == 21);
    CHECK(atomkit_error([&] { atomkit::sample_size(t, 7); }) == "array access out of range");

    SUBCASE("no chunk offsets: every chunk starts at 8; an offset past the table is the last one") {
        t.chunk_offsets.clear();
        atomkit::sample_cursor c;
        atomkit::cursor_seek(c, t, 3);
        CHECK(atomkit::cursor_info(c, t).file_offset == 8 + 7);
        CHECK(atomkit::chunk_offset(t, 9) == 8);
        t.chunk_offsets = {100, 200};
        CHECK(atomkit::chunk_offset(t, 9) == 200);
    }
    SUBCASE("priming and the summary") {
        t.media_duration = 110;
        CHECK(atomkit::priming(t) == 50);
        t.media_duration = 40;
        CHECK(atomkit::priming(t) == 40);
        t.kind = atomkit::kind_alac;
        CHECK(atomkit::priming(t) == 0);
        t.media_duration = 1000;
        CHECK(atomkit::summary(t).bitrate == 56 * 8);  // 56 bytes over one second
    }
}
