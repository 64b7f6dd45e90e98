// Matroska tags: the reading and writing tables, file-level and targeted Tags, rebuilding with stored bytes kept,
// the lift of common chapter fields, and pictures from attachments.

#include <doctest/doctest.h>

#include <string>

#include "compressed_inputs/matroska/ebml_writer.h"
#include "compressed_inputs/matroska/matroska_file.h"
#include "compressed_inputs/matroska/matroska_tags.h"
#include "foundation/kpl/io_exceptions.h"
#include "inputs/album_art.h"
#include "tests/compressed_inputs/compressed_test_support.h"
#include "tests/compressed_inputs/matroska/ebml_builder.h"

using namespace mkv;

namespace {

bytes simple(const std::string& name, const std::string& value, const bytes& more = {}) {
    return el(id::simple_tag, cat({el(id::tag_name, str(name)), el(id::tag_string, str(value)), more}));
}
bytes tag(const bytes& targets, std::initializer_list<bytes> simples) {
    return el(id::tag, cat({targets.empty() ? bytes() : el(id::targets, targets), cat(simples)}));
}
bytes level(uint64_t l) { return el(id::target_type_value, u(l)); }

bytes chapters_of(std::initializer_list<uint64_t> uids) {
    std::vector<bytes> atoms;
    uint64_t start = 0;
    for (uint64_t uid : uids) {
        atoms.push_back(el(id::chapter_atom, {el(id::chapter_uid, u(uid)), el(id::chapter_time_start, u(start)),
                                              el(id::chapter_display, el(id::chap_string, str("Chapter title")))}));
        start += 10000000;
    }
    return el(id::chapters, el(id::edition_entry, cat(atoms)));
}

bytes file_with(const bytes& tags_el, const bytes& chapters = {}) {
    return file_of(segment({info(100), pcm_tracks(), chapters, tags_el, cluster(0, {block(1, 0, ramp(0, 8))})}));
}

struct opened {
    file_stream_ref file;
    Matroska::matroska_file f;
};

void open_file(opened& o, const bytes& content, input_open_reason reason) {
    compressed_test::services_built();
    o.file = compressed_test::memory_file_with(content);
    o.f.open(o.file, "memory://a.mka", reason, abort_never);
}

std::vector<std::string> values(const track_info& info, const char* name) {
    std::vector<std::string> out;
    const int32_t i = info.meta_find(name);
    if (i < 0) return out;
    for (uint32_t j = 0; j < info.meta_value_count(static_cast<uint32_t>(i)); ++j)
        out.push_back(info.meta_value(static_cast<uint32_t>(i), j));
    return out;
}

// The Tag elements of a Tags content: each one's level and its SimpleTags' names.
struct parsed_tag {
    uint64_t level = 0, chapter = 0;
    std::vector<std::string> names;
    std::vector<bytes> simple_bytes;
};
std::vector<parsed_tag> parse_tags(const bytes& content) {
    std::vector<parsed_tag> out;
    Matroska::ebml_reader r(compressed_test::memory_file_with(content), abort_never);
    auto tags = Matroska::make_handler([&](uint32_t element, uint64_t, Matroska::ebml_reader& t) {
        if (element != id::tag) return;
        parsed_tag p;
        auto children = Matroska::make_handler([&](uint32_t k, uint64_t, Matroska::ebml_reader& c) {
            if (k == id::targets) {
                auto targets = Matroska::make_handler([&](uint32_t x, uint64_t, Matroska::ebml_reader& g) {
                    if (x == id::target_type_value) p.level = Matroska::read_unsigned(g);
                    if (x == id::tag_chapter_uid) p.chapter = Matroska::read_unsigned(g);
                });
                Matroska::ebml_walk_children(c, targets);
            } else if (k == id::simple_tag) {
                bytes raw = Matroska::read_binary(c);
                p.simple_bytes.push_back(raw);
                Matroska::ebml_reader s(compressed_test::memory_file_with(raw), abort_never);
                auto fields = Matroska::make_handler([&](uint32_t x, uint64_t, Matroska::ebml_reader& v) {
                    if (x == id::tag_name) p.names.push_back(Matroska::read_utf8_string(v));
                });
                Matroska::ebml_walk_children(s, fields);
            }
        });
        Matroska::ebml_walk_children(t, children);
        out.push_back(p);
    });
    Matroska::ebml_walk_children(r, tags);
    return out;
}

}  // namespace

TEST_CASE("Matroska tags: the reading and writing tables") {
    struct row {
        const char* tag_name;
        uint64_t level;
        const char* field;
    };
    const row reading[] = {
        {"TITLE", 50, "album"},          {"Title", 30, "title"},           {"TITLE", 70, "album"},
        {"ARTIST", 30, "artist"},        {"ARTIST", 50, "album artist"},   {"PART_NUMBER", 30, "tracknumber"},
        {"PART_NUMBER", 50, "discnumber"}, {"TOTAL_PARTS", 50, "totaltracks"}, {"TOTAL_PARTS", 60, "totaldiscs"},
        {"TOTAL_PARTS", 30, "totaltracks"}, {"DATE_RECORDED", 30, "date"}, {"DATE_RELEASED", 50, "release date"},
        {"REPLAYGAIN_GAIN", 30, "replaygain_track_gain"}, {"REPLAYGAIN_PEAK", 50, "replaygain_album_peak"},
        {"GENRE", 30, "GENRE"},
    };
    for (const row& r : reading) {
        CAPTURE(r.tag_name);
        CAPTURE(r.level);
        CHECK(Matroska::matroska_field_name(r.tag_name, r.level) == r.field);
    }
    const row writing[] = {
        {"TITLE", 50, "album"},          {"TITLE", 30, "title"},          {"ARTIST", 30, "artist"},
        {"ARTIST", 50, "Album Artist"},  {"PART_NUMBER", 30, "tracknumber"}, {"TOTAL_PARTS", 50, "totaltracks"},
        {"PART_NUMBER", 50, "discnumber"}, {"TOTAL_PARTS", 60, "totaldiscs"}, {"DATE_RECORDED", 50, "date"},
        {"DATE_RELEASED", 50, "release date"}, {"REPLAYGAIN_GAIN", 30, "replaygain_track_gain"},
        {"REPLAYGAIN_PEAK", 50, "replaygain_album_peak"}, {"Mood", 30, "Mood"},
    };
    for (const row& r : writing) {
        CAPTURE(r.field);
        std::string name;
        uint64_t l;
        Matroska::matroska_tag_name(r.field, name, l);
        CHECK(name == r.tag_name);
        CHECK(l == r.level);
    }
}

TEST_CASE("Matroska tags: file-level, chapter and track Tags in the infos") {
    const bytes tags_el = el(id::tags, {
        tag({}, {simple("TITLE", "The Album"), simple("ARTIST", "A")}),
        tag(level(30), {simple("Title", "Song"), simple("REPLAYGAIN_GAIN", "-3.20 dB")}),
        tag(cat({level(30), el(id::tag_chapter_uid, u(0))}), {simple("COMMENT", "chapter zero is the file")}),
        tag(el(id::tag_track_uid, u(1)), {simple("BPS", "1411200")}),
        tag(el(id::tag_chapter_uid, u(22)), {simple("ARTIST", "B")}),
    });
    opened o;
    open_file(o, file_with(tags_el), input_open_info);
    track_info_store ti;
    o.f.get_info(0, ti, abort_never);
    CHECK(values(ti, "album") == std::vector<std::string>{"The Album"});
    CHECK(values(ti, "album artist") == std::vector<std::string>{"A"});
    CHECK(values(ti, "title") == std::vector<std::string>{"Song"});
    CHECK(values(ti, "COMMENT") == std::vector<std::string>{"chapter zero is the file"});
    CHECK(values(ti, "BPS").empty());
    CHECK(ti.get_replaygain().track_gain == doctest::Approx(-3.2));

    // With chapters: a chapter's own values first, then the file's; the chapter's title stays.
    opened c;
    open_file(c, file_with(tags_el, chapters_of({21, 22})), input_open_info);
    c.f.get_info(2, ti, abort_never);
    CHECK(values(ti, "album artist") == std::vector<std::string>{"A"});
    CHECK(values(ti, "artist") == std::vector<std::string>{"B"});
    CHECK(values(ti, "title") == std::vector<std::string>{"Song"});
    const bytes only_file = el(id::tags, tag({}, {simple("ARTIST", "A")}));
    opened t;
    open_file(t, file_with(only_file, chapters_of({21, 22})), input_open_info);
    t.f.get_info(1, ti, abort_never);
    CHECK(values(ti, "title") == std::vector<std::string>{"Chapter title"});
    CHECK(values(ti, "album artist") == std::vector<std::string>{"A"});

    // A second TagString in one SimpleTag.
    const bytes twice = el(id::tags, tag({}, {el(id::simple_tag, {el(id::tag_name, str("X")), el(id::tag_string, str("1")),
                                                                  el(id::tag_string, str("2"))})}));
    opened bad;
    open_file(bad, file_with(twice), input_open_info);
    CHECK_THROWS_AS(bad.f.get_info(0, ti, abort_never), ketrel_io::exception_io_data);
}

TEST_CASE("Matroska tags: rebuilding keeps what it does not change, byte for byte") {
    const bytes binary = el(id::simple_tag, {el(id::tag_name, str("COVER_DATA")), el(0x485, bytes{1, 2, 3})});
    const bytes genre = simple("GENRE", "Rock", el(id::tag_language, str("ger")));
    const bytes track_tag = tag(cat({level(50), el(id::tag_track_uid, u(1))}), {simple("BPS", "1411200")});
    const bytes tags_el = el(id::tags, {tag(level(30), {genre, simple("TITLE", "Old"), binary}), track_tag});
    opened o;
    open_file(o, file_with(tags_el), input_open_write);
    Matroska::ebml_reader r(o.file, abort_never);
    Matroska::matroska_index index = o.f.index();

    track_info_store changed;
    changed.meta_set("genre", track_info::npos, "Rock", track_info::npos);
    changed.meta_set("title", track_info::npos, "New", track_info::npos);
    changed.meta_set("album", track_info::npos, "Al", track_info::npos);
    changed.meta_set("artist", track_info::npos, "Ar", track_info::npos);
    changed.meta_set("date", track_info::npos, "2001", track_info::npos);
    std::map<uint64_t, track_info_packed> staged;
    staged[0] = track_info_packed(changed);
    const std::vector<parsed_tag> out = parse_tags(Matroska::matroska_build_tags(index, r, staged, {0}));
    // Map order: album (50), artist (30), date (50), then GENRE, title and the reserved name (all 30) in one Tag;
    // then the track's Tag.
    REQUIRE(out.size() == 5);
    CHECK(out[0].level == 50);
    CHECK(out[0].names == std::vector<std::string>{"TITLE"});
    CHECK(out[1].level == 30);
    CHECK(out[1].names == std::vector<std::string>{"ARTIST"});
    CHECK(out[2].level == 50);
    CHECK(out[2].names == std::vector<std::string>{"DATE_RECORDED"});
    CHECK(out[3].level == 30);
    REQUIRE(out[3].names == std::vector<std::string>{"GENRE", "TITLE", "COVER_DATA"});
    REQUIRE(out[3].simple_bytes.size() == 3);
    REQUIRE(out[4].simple_bytes.size() == 1);
    CHECK(out[3].simple_bytes[0] == bytes(genre.begin() + 3, genre.end()));
    const bytes fresh = cat({el(id::tag_name, str("TITLE")), el(id::tag_string, str("New")),
                             el(id::tag_language, str("und")), el(id::tag_default, u(1))});
    CHECK(out[3].simple_bytes[1] == fresh);
    CHECK(out[3].simple_bytes[2] == bytes(binary.begin() + 3, binary.end()));
    CHECK(out[4].simple_bytes[0] == parse_tags(track_tag)[0].simple_bytes[0]);

    // The four-Tag example on a file without Tags.
    opened plain;
    open_file(plain, file_with({}), input_open_write);
    Matroska::ebml_reader pr(plain.file, abort_never);
    Matroska::matroska_index pi = plain.f.index();
    track_info_store four;
    for (const char* f : {"album", "artist", "date", "title"}) four.meta_set(f, track_info::npos, "x", track_info::npos);
    staged[0] = track_info_packed(four);
    const std::vector<parsed_tag> example = parse_tags(Matroska::matroska_build_tags(pi, pr, staged, {0}));
    REQUIRE(example.size() == 4);
    CHECK(example[0].level == 50);
    CHECK(example[1].level == 30);
    CHECK(example[2].level == 50);
    CHECK(example[3].level == 30);
}

TEST_CASE("Matroska tags: chapters staged alike lift their common field to the file level") {
    opened o;
    open_file(o, file_with(el(id::tags, tag({}, {simple("ARTIST", "A")})), chapters_of({21, 22})), input_open_write);
    track_info_store one, two;
    one.meta_set("album", track_info::npos, "Same", track_info::npos);
    one.meta_set("title", track_info::npos, "First", track_info::npos);
    two.meta_set("album", track_info::npos, "Same", track_info::npos);
    two.meta_set("title", track_info::npos, "Second", track_info::npos);
    o.f.stage_info(1, one, abort_never);
    o.f.stage_info(2, two, abort_never);
    CHECK_THROWS_AS(o.f.stage_info(0, one, abort_never), ketrel_io::exception_io_data);
    o.f.commit_info(abort_never);

    opened back;
    back.file = o.file;
    back.f.open(o.file, "memory://a.mka", input_open_info, abort_never);
    Matroska::ebml_reader r(o.file, abort_never);
    Matroska::matroska_index index = back.f.index();
    const Matroska::tag_structure tags = Matroska::matroska_read_tags(index, r);
    CHECK(tags.file.count("album") == 1);
    CHECK(tags.file.count("album artist") == 0);  // "A" was not staged for the chapters, so it went
    REQUIRE(tags.chapters.count(21) == 1);
    CHECK(tags.chapters.at(21).count("album") == 0);
    CHECK(tags.chapters.at(21).at("title")[0].value == "First");
    track_info_store ti;
    back.f.get_info(2, ti, abort_never);
    CHECK(values(ti, "album") == std::vector<std::string>{"Same"});
    CHECK(values(ti, "title") == std::vector<std::string>{"Second"});
}

TEST_CASE("Matroska pictures: attachments by name and type") {
    compressed_test::services_built();
    auto attached = [](const std::string& name, const std::string& type, const std::string& data) {
        return el(id::attached_file, {el(id::file_name, str(name)), el(id::file_mime_type, str(type)),
                                      el(id::file_data, str(data))});
    };
    struct row {
        const char* what;
        bytes attachments;
        const char* front;  // null: none
        const char* back;
    };
    const row rows[] = {
        {"cover and back", el(id::attachments, {attached("cover.jpg", "image/jpeg", "F"), attached("back.png", "image/png", "B")}),
         "F", nullptr},
        {"front cover and back cover",
         el(id::attachments, {attached("Front Cover.png", "image/png", "F"), attached("back cover.jpg", "image/jpeg", "B")}),
         "F", "B"},
        {"one untyped image", el(id::attachments, attached("scan.jpg", "image/jpeg", "S")), "S", nullptr},
        {"two untyped images",
         el(id::attachments, {attached("a.jpg", "image/jpeg", "1"), attached("b.jpg", "image/jpeg", "2")}), nullptr, nullptr},
        {"not an image type", el(id::attachments, attached("Cover.JPG", "Image/jpeg", "C")), nullptr, nullptr},
        {"no attachments", bytes(), nullptr, nullptr},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        file_stream_ref file = compressed_test::memory_file_with(
            file_of(segment({info(), pcm_tracks(), r.attachments, cluster(0, {block(1, 0, ramp(0, 8))})})));
        service_ptr<album_art_reader> reader;
        if (!r.front && !r.back) {
            CHECK_THROWS_AS(album_art_open_reader(reader, file, "memory://a.mka", abort_never), exception_album_art_not_found);
            continue;
        }
        album_art_open_reader(reader, file, "memory://a.mka", abort_never);
        service_ptr<album_art_data> front = reader->get(album_art_kind_front, abort_never);
        CHECK(std::string(static_cast<const char*>(front->get_data()), front->get_size()) == r.front);
        if (r.back) {
            service_ptr<album_art_data> back = reader->get(album_art_kind_back, abort_never);
            CHECK(std::string(static_cast<const char*>(back->get_data()), back->get_size()) == r.back);
        } else {
            CHECK_THROWS_AS(reader->get(album_art_kind_back, abort_never), exception_album_art_not_found);
        }
    }
}
