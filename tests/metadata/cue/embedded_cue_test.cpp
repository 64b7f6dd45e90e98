// The embedded cue table: records, table operations, common fields and overrides, loading a file's info
// into subsongs and writing it back.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "foundation/kpl/io_exceptions.h"
#include "metadata/cue/embedded_cue.h"
#include "tests/metadata/info_text.h"

using metadata_test::add_meta_text;
using metadata_test::info_text;
using metadata_test::meta_text;

namespace {

std::string map_text(const field_value_map& map) {
    std::string out;
    map.fields().for_each([&out](const field_value_map::node& n) {
        if (!out.empty()) out += ';';
        out += n.key.c_str();
        out += '=';
        bool first = true;
        for (const kpl::string_list_node* v = n.value.first_node(); v; v = v->next) {
            if (!first) out += ',';
            out += v->text.c_str();
            first = false;
        }
    });
    return out;
}

// A table with the given subsong numbers; each cue-track entry gets meta fields from `meta[k]`.
void make_table(embedded_cue& table, const std::vector<std::pair<uint32_t, std::string>>& entries) {
    for (const auto& e : entries) {
        auto r = embedded_cue_insert(table, e.first);
        REQUIRE(r.inserted);
        track_info_store info;
        add_meta_text(info, e.second);
        r.entry->record.load(info);
    }
}

// A file of `length` seconds with a "cuesheet" and further fields "name=v;...".
track_info_store file_info(const std::string& sheet, double length, const std::string& fields = "") {
    track_info_store info;
    if (!fields.empty()) add_meta_text(info, fields);
    info.meta_set("cuesheet", track_info::npos, sheet.c_str(), track_info::npos);
    info.info_set("codec", track_info::npos, "FLAC", track_info::npos);
    info.set_length(length);
    return info;
}

const char* three_tracks =
    "TITLE \"Disc\"\r\nFILE \"CDImage.wav\" WAVE\r\n"
    "  TRACK 01 AUDIO\r\n    TITLE \"One\"\r\n    PERFORMER \"A\"\r\n    INDEX 01 00:00:00\r\n"
    "  TRACK 02 AUDIO\r\n    TITLE \"Two\"\r\n    PERFORMER \"B\"\r\n    INDEX 01 03:00:00\r\n"
    "  TRACK 03 AUDIO\r\n    TITLE \"Three\"\r\n    PERFORMER \"C\"\r\n    INDEX 00 06:38:00\r\n    INDEX 01 06:40:00\r\n";

std::string track_meta(const embedded_cue& table, uint32_t subsong) {
    track_info_store info;
    embedded_cue_get_track_info(table, subsong, info);
    return meta_text(info);
}

}  // namespace

TEST_CASE("embedded cue: records keep fields in name order and convert back to infos") {
    track_info_store info;
    add_meta_text(info, "title=T;Artist=A,B;album=X");
    info.info_set("samplerate", track_info::npos, "44100", track_info::npos);
    info.info_set("codec", track_info::npos, "FLAC", track_info::npos);
    info.set_length(180.25);
    replaygain_values rg;
    rg.track_gain = -3.0f;
    rg.album_peak = 0.5f;
    info.set_replaygain(rg);

    cue_track_record r;
    r.load(info);
    track_info_store back;
    add_meta_text(back, "old=gone");
    r.to_info(back);
    CHECK(meta_text(back) == "album=X;Artist=A,B;title=T");
    CHECK(info_text(back) == "codec=FLAC;samplerate=44100");
    CHECK(back.get_length() == 180.25);
    CHECK(back.get_replaygain() == rg);

    // A field whose list is empty is not written; names differing only in case are one field, keeping
    // the spelling met first while the later values win.
    r.meta.at("empty");
    track_info_store twice;
    add_meta_text(twice, "Genre=Rock;GENRE=Pop,Jazz");
    cue_track_record::copy_meta_from_info(r.meta, twice);
    r.to_info(back);
    CHECK(meta_text(back) == "album=X;Artist=A,B;Genre=Pop,Jazz;title=T");

    // set_field_values replaces the values whatever the letter case of the name.
    track_info_store other;
    add_meta_text(other, "x=1;y=P,Q");
    r.set_field_values("TITLE", other, 1);
    r.set_field_values("new", other, 0);
    r.to_info(back);
    CHECK(meta_text(back) == "album=X;Artist=A,B;Genre=Pop,Jazz;new=1;title=P,Q");

    // Loading again starts from scratch.
    track_info_store small;
    add_meta_text(small, "z=1");
    r.load(small);
    r.to_info(back);
    CHECK(meta_text(back) == "z=1");
    CHECK(info_text(back) == "");
    CHECK(back.get_length() == 0);
    CHECK_FALSE(back.get_replaygain().has_track_gain());
}

TEST_CASE("embedded cue: value lists compare element by element") {
    auto list = [](std::initializer_list<const char*> values) {
        kpl::string_list l;
        for (const char* v : values) kpl::string_list_push_back(l, v);
        return l;
    };
    struct row {
        kpl::string_list a, b;
        int expected;
    };
    row rows[] = {
        {list({"a", "b"}), list({"a", "b"}), 0},
        {list({"a"}), list({"a", "b"}), -1},
        {list({"a", "b"}), list({"a"}), 1},
        {list({"Rock"}), list({"rock"}), -1},
        {list({"b"}), list({"a", "z"}), 1},
        {list({}), list({}), 0},
    };
    for (const row& r : rows) CHECK(value_list_compare(r.a, r.b) == r.expected);
}

TEST_CASE("embedded cue: table entries, subsong ids and ranges") {
    embedded_cue only_file;
    make_table(only_file, {{0, "title=Whole"}});
    CHECK(embedded_cue_count(only_file) == 1);
    CHECK(embedded_cue_subsong_id(only_file, 0) == 0);
    cue_parser::cue_track_list none;
    embedded_cue_to_track_list(only_file, none);
    CHECK(none.count() == 0);

    embedded_cue table;
    make_table(table, {{5, "title=E"}, {0, "title=Whole"}, {2, "title=B"}, {1, "title=A"}});
    CHECK(embedded_cue_count(table) == 4);
    CHECK(embedded_cue_subsong_id(table, 0) == 1);
    CHECK(embedded_cue_subsong_id(table, 1) == 2);
    CHECK(embedded_cue_subsong_id(table, 2) == 5);
    CHECK(embedded_cue_subsong_id(table, 3) == 0);
    CHECK_FALSE(embedded_cue_insert(table, 2).inserted);
    CHECK(embedded_cue_count(table) == 4);

    auto two = embedded_cue_find(table, 2);
    REQUIRE(two);
    two->index_times[1] = 180.5;
    two->record.length = 200;
    two->file_name = "CDImage.wav";
    two->flags = "DCP";
    double start = 0, length = 0;
    embedded_cue_get_range(table, 2, start, length);
    CHECK(start == 180.5);
    CHECK(length == 200);

    // Unknown subsongs are data errors and change nothing.
    CHECK(!embedded_cue_find(table, 7));
    CHECK_THROWS_AS(embedded_cue_get_range(table, 7, start, length), ketrel_io::exception_io_data);
    track_info_store info;
    CHECK_THROWS_AS(embedded_cue_get_track_info(table, 7, info), ketrel_io::exception_io_data);
    CHECK_THROWS_AS(embedded_cue_set_track_info(table, 7, info), ketrel_io::exception_io_data);
    CHECK(embedded_cue_count(table) == 4);

    // The track list: cue tracks only, in ascending order, with their cue data.
    cue_parser::cue_track_list list;
    embedded_cue_to_track_list(table, list);
    REQUIRE(list.count() == 3);
    const cue_parser::cue_track* t = list.first_node();
    CHECK(t->number == 1);
    CHECK(meta_text(t->info) == "title=A");
    t = t->next;
    CHECK(t->number == 2);
    CHECK(std::string(t->file_name.c_str()) == "CDImage.wav");
    CHECK(std::string(t->flags.c_str()) == "DCP");
    CHECK(t->index_times[1] == 180.5);
    CHECK(t->info.get_length() == 200);
    CHECK(list.last_node()->number == 5);
}

TEST_CASE("embedded cue: storing a subsong's info replaces its metadata only") {
    embedded_cue table;
    make_table(table, {{0, "title=Whole"}, {1, "title=A;genre=Rock"}});
    auto e = embedded_cue_find(table, 1);
    e->record.info.set("pregap", "00:02:00");
    e->record.info.set("referenced_offset", "01:00:00");
    e->record.length = 99;
    e->record.replaygain.track_gain = -2.0f;
    e->index_times[1] = 60;

    track_info_store edited;
    add_meta_text(edited, "title=New;artist=P");
    edited.info_set("codec", track_info::npos, "ignored", track_info::npos);
    edited.set_length(5);
    replaygain_values rg;
    rg.album_gain = -4.0f;
    edited.set_replaygain(rg);
    embedded_cue_set_track_info(table, 1, edited);

    track_info_store info;
    embedded_cue_get_track_info(table, 1, info);
    CHECK(meta_text(info) == "artist=P;title=New");
    CHECK(info_text(info) == "pregap=00:02:00;referenced_offset=01:00:00");
    CHECK(info.get_length() == 99);
    CHECK(info.get_replaygain() == rg);
    CHECK(e->index_times[1] == 60);
    CHECK(track_meta(table, 0) == "title=Whole");
}

TEST_CASE("embedded cue: common fields and per-track overrides") {
    struct row {
        const char* name;
        std::vector<std::pair<uint32_t, std::string>> entries;
        const char* common;
        const char* overrides;
    } rows[] = {
        {"the same genre everywhere",
         {{0, "genre=Other"}, {1, "genre=Rock;title=A"}, {2, "genre=Rock;title=B"}, {3, "genre=Rock;title=C"}},
         "genre=Rock",
         "cue_track01_title=A;cue_track02_title=B;cue_track03_title=C"},
        {"values differ only in case",
         {{1, "genre=Rock"}, {2, "genre=rock"}, {3, "genre=Rock"}},
         "",
         "cue_track01_genre=Rock;cue_track02_genre=rock;cue_track03_genre=Rock"},
        {"a track without the field",
         {{1, "genre=Rock"}, {2, "title=B"}, {3, "genre=Rock"}},
         "",
         "cue_track01_genre=Rock;cue_track02_title=B;cue_track03_genre=Rock"},
        {"names differ only in case",
         {{1, "GENRE=Rock"}, {2, "genre=Rock"}},
         "GENRE=Rock",
         ""},
        {"value lists must match in order",
         {{1, "artist=A,B"}, {2, "artist=A,B"}, {3, "artist=B,A"}},
         "",
         "cue_track01_artist=A,B;cue_track02_artist=A,B;cue_track03_artist=B,A"},
        {"cue sheets and override fields are never common",
         {{1, "cuesheet=x;cue_track09_title=y"}, {2, "cuesheet=x;cue_track09_title=y"}},
         "",
         "cue_track01_cue_track09_title=y;cue_track01_cuesheet=x;cue_track02_cue_track09_title=y;cue_track02_cuesheet=x"},
        {"override names carry the number with two digits",
         {{5, "x=1"}, {12, "x=2"}},
         "",
         "cue_track05_x=1;cue_track12_x=2"},
    };
    for (const row& r : rows) {
        CAPTURE(r.name);
        embedded_cue table;
        make_table(table, r.entries);
        field_value_map common, overrides;
        embedded_cue_common_fields(table, common);
        embedded_cue_track_overrides(table, common, overrides);
        CHECK(map_text(common) == r.common);
        CHECK(map_text(overrides) == r.overrides);
    }

    kpl::utf8_string_pow2 name;
    cue_track_field_name(name, "title", 5);
    CHECK(name == "cue_track05_title");
    cue_track_field_name(name, "x", 105);
    CHECK(name == "cue_track05_x");
    CHECK(is_plain_file_field("title"));
    CHECK(is_plain_file_field("cue_trac"));
    CHECK_FALSE(is_plain_file_field("CUE_Track01_title"));
    CHECK_FALSE(is_plain_file_field("cue_track"));
}

TEST_CASE("embedded cue: a file's cue sheet becomes one subsong per track") {
    embedded_cue table;
    track_info_store file = file_info(three_tracks, 600, "album=Disc;date=2001;genre=Rock");
    embedded_cue_load(table, file);
    REQUIRE(embedded_cue_count(table) == 4);

    struct row {
        uint32_t subsong;
        double start, length;
        const char* meta;
        const char* info;
    } rows[] = {
        {0, 0, 600, nullptr, "codec=FLAC;cue_embedded=no"},
        {1, 0, 180, "album=Disc;artist=A;date=2001;genre=Rock;title=One;totaltracks=3;tracknumber=1",
         "codec=FLAC;cue_embedded=yes"},
        {2, 180, 220, "album=Disc;artist=B;date=2001;genre=Rock;title=Two;totaltracks=3;tracknumber=2",
         "codec=FLAC;cue_embedded=yes;referenced_offset=03:00:00"},
        {3, 400, 200, "album=Disc;artist=C;date=2001;genre=Rock;title=Three;totaltracks=3;tracknumber=3",
         "codec=FLAC;cue_embedded=yes;pregap=00:02:00;referenced_offset=06:40:00"},
    };
    for (const row& r : rows) {
        CAPTURE(r.subsong);
        double start, length;
        embedded_cue_get_range(table, r.subsong, start, length);
        CHECK(start == r.start);
        CHECK(length == r.length);
        track_info_store info;
        embedded_cue_get_track_info(table, r.subsong, info);
        if (r.meta) CHECK(meta_text(info) == r.meta);
        CHECK(info_text(info) == r.info);
    }
    // Entry 0 is the file as it is, sheet included.
    CHECK(track_meta(table, 0).find("cuesheet=TITLE") != std::string::npos);

    // A track that does not end after it starts.
    embedded_cue bad;
    CHECK_THROWS_AS(embedded_cue_load(bad, file_info(three_tracks, 400)), ketrel_io::exception_io_data);
    CHECK_THROWS_AS(embedded_cue_load(bad, file_info("FILE a WAVE\nTRACK 01 AUDIO\nINDEX 01 00:10:00\n"
                                                     "TRACK 02 AUDIO\nINDEX 01 00:10:00\n",
                                                     600)),
                    ketrel_io::exception_io_data);
    CHECK_THROWS_AS(embedded_cue_load(bad, file_info("FILE a WAVE\nTRACK 02 AUDIO\nINDEX 01 00:10:00\n"
                                                     "TRACK 01 AUDIO\nINDEX 01 00:05:00\n",
                                                     600)),
                    ketrel_io::exception_io_data);
    // A malformed sheet and a repeated track number are sheet errors.
    CHECK_THROWS_AS(embedded_cue_load(bad, file_info("FILE a WAVE\nTRACK 01 AUDIO\n", 600)),
                    cue_parser::exception_bad_cuesheet);
    CHECK_THROWS_WITH(embedded_cue_load(bad, file_info("FILE a WAVE\nTRACK 01 AUDIO\nINDEX 01 0\n"
                                                       "TRACK 01 AUDIO\nINDEX 01 00:10:00\n",
                                                       600)),
                      "Error parsing cuesheet: invalid track number (line 4)");

    // Without a sheet the file is one subsong.
    embedded_cue plain;
    track_info_store no_sheet;
    add_meta_text(no_sheet, "title=Song");
    embedded_cue_load(plain, no_sheet);
    CHECK(embedded_cue_count(plain) == 1);
    CHECK(embedded_cue_subsong_id(plain, 0) == 0);
}

TEST_CASE("embedded cue: override fields of the file reach one track") {
    struct row {
        const char* fields;
        const char* titles;  // subsongs 1, 2, 3
    } rows[] = {
        {"cue_track02_title=Better", "One|Better|Three"},
        {"CUE_TRACK02_Title=X,Y", "One|X,Y|Three"},
        {"cue_track00_title=Zero", "One|Two|Three"},
        {"cue_track07_title=Seven", "One|Two|Three"},
        {"cue_track2_title=Bad", "One|Two|Three"},
        {"title=All;cue_track03_title=Own", "All|All|Own"},
    };
    for (const row& r : rows) {
        CAPTURE(r.fields);
        embedded_cue table;
        embedded_cue_load(table, file_info(three_tracks, 600, r.fields));
        std::string titles;
        for (uint32_t k = 1; k <= 3; ++k) {
            track_info_store info;
            embedded_cue_get_track_info(table, k, info);
            kpl::utf8_string_pow2 title;
            int32_t i = info.meta_find("title");
            REQUIRE(i >= 0);
            info.meta_join_values(title, static_cast<uint32_t>(i), ",");
            titles += (k > 1 ? "|" : "") + std::string(title.c_str());
            // Override fields never reach a track as fields of their own.
            CHECK(meta_text(info).find("cue_track") == std::string::npos);
        }
        CHECK(titles == r.titles);
    }
}

TEST_CASE("embedded cue: writing a file's info back") {
    // Only the whole file: its info without the sheet.
    embedded_cue single;
    track_info_store whole;
    add_meta_text(whole, "title=Song;cuesheet=REM nothing");
    whole.set_length(10);
    embedded_cue_load(single, whole);
    track_info_store out;
    embedded_cue_write_info(single, out);
    CHECK(meta_text(out) == "title=Song");
    CHECK(out.get_length() == 10);

    // Three tracks with one album and three artists: the album once, the artists as overrides, the titles
    // and track numbers only in the regenerated sheet.
    embedded_cue table;
    track_info_store file = file_info(three_tracks, 600, "album=X;cue_track01_comment=first");
    replaygain_values rg;
    rg.album_gain = -7.0f;
    file.set_replaygain(rg);
    embedded_cue_load(table, file);
    embedded_cue_write_info(table, out);
    CHECK(meta_text(out) ==
          "album=X;cue_track01_artist=A;cue_track01_comment=first;cue_track02_artist=B;cue_track03_artist=C;"
          "cuesheet=TITLE \"X\"\r\nFILE \"CDImage.wav\" WAVE\r\n"
          "  TRACK 01 AUDIO\r\n    TITLE \"One\"\r\n    PERFORMER \"A\"\r\n    INDEX 01 00:00:00\r\n"
          "  TRACK 02 AUDIO\r\n    TITLE \"Two\"\r\n    PERFORMER \"B\"\r\n    INDEX 01 03:00:00\r\n"
          "  TRACK 03 AUDIO\r\n    TITLE \"Three\"\r\n    PERFORMER \"C\"\r\n    INDEX 00 06:38:00\r\n"
          "    INDEX 01 06:40:00\r\n;"
          "totaltracks=3");
    CHECK(info_text(out) == "codec=FLAC;cue_embedded=no");
    CHECK(out.get_length() == 600);
    CHECK(out.get_replaygain() == rg);

    // Loading what was written gives the same subsongs.
    embedded_cue again;
    embedded_cue_load(again, out);
    REQUIRE(embedded_cue_count(again) == 4);
    for (uint32_t k = 1; k <= 3; ++k) {
        CAPTURE(k);
        CHECK(track_meta(again, k) == track_meta(table, k));
    }

    // Editing one subsong: its new title goes into the sheet; a title the sheet cannot hold exactly stays
    // as an override; the other tracks keep theirs.
    track_info_store edited;
    embedded_cue_get_track_info(again, 2, edited);
    edited.meta_set("title", track_info::npos, "New \"2\"", track_info::npos);
    embedded_cue_set_track_info(again, 2, edited);
    embedded_cue_get_track_info(again, 3, edited);
    edited.meta_set("title", track_info::npos, "Plain", track_info::npos);
    embedded_cue_set_track_info(again, 3, edited);
    embedded_cue_write_info(again, out);
    std::string written = meta_text(out);
    CHECK(written.find("cue_track02_title=New \"2\";") != std::string::npos);
    CHECK(written.find("cue_track03_title") == std::string::npos);
    CHECK(written.find("TITLE \"New '2'\"") != std::string::npos);
    CHECK(written.find("TITLE \"Plain\"") != std::string::npos);
    CHECK(written.find("cue_track01_comment=first;") != std::string::npos);

    embedded_cue reloaded;
    embedded_cue_load(reloaded, out);
    CHECK(track_meta(reloaded, 1) == track_meta(table, 1));
    CHECK(track_meta(reloaded, 2) ==
          "album=X;artist=B;title=New \"2\";totaltracks=3;tracknumber=2");
    CHECK(track_meta(reloaded, 3) == "album=X;artist=C;title=Plain;totaltracks=3;tracknumber=3");
}
