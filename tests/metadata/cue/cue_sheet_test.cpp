// Cue sheets: reading (fields, index times, every error with its line number) and writing (common fields,
// performers, value cleaning, index lines), and the round trip between them.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "foundation/kpl/io_exceptions.h"
#include "metadata/cue/cue_lines.h"
#include "metadata/cue/cue_sheet.h"
#include "tests/metadata/info_text.h"

using namespace cue_parser;
using metadata_test::info_text;
using metadata_test::meta_text;

namespace {

std::vector<kpl::rc_ptr<cue_track>> tracks_of(const cue_track_list& list) {
    std::vector<kpl::rc_ptr<cue_track>> out;
    for (kpl::rc_ptr<cue_track> t = list.first(); t; kpl::rc_iterator_next(t)) out.push_back(t);
    return out;
}

// The error text of parsing `text`, or "(no error)".
std::string parse_error(const char* text) {
    cue_track_list list;
    try {
        cue_parse(text, list);
    } catch (const exception_bad_cuesheet& e) {
        return e.what();
    }
    return "(no error)";
}

std::string write_text(const cue_track_list& list) {
    kpl::utf8_string_pow2 out;
    cue_write(out, list);
    return out.c_str();
}

// A track for the writer: number, file, index 00 and 01 in seconds, meta fields as "name=v1,v2;...".
kpl::rc_ptr<cue_track> add_track(cue_track_list& list, uint32_t number, const char* file, double index0, double index1,
                                 const std::string& meta) {
    kpl::rc_ptr<cue_track> t = list.append();
    t->number = number;
    t->file_name = file;
    t->index_times[0] = index0;
    t->index_times[1] = index1;
    if (!meta.empty()) metadata_test::add_meta_text(t->info, meta);
    return t;
}

}  // namespace

TEST_CASE("cue sheets: a sheet becomes one entry per track with its fields and index times") {
    const char* sheet =
        "REM GENRE Rock\n"
        "REM DATE 1999\n"
        "REM COMMENT \"Made by hand\" ignored after the quote\n"
        "REM COMPOSER Someone\n"
        "PERFORMER \"Band\"\n"
        "TITLE \"Album\"\n"
        "CDTEXTFILE \"disc.cdt\"\n"
        "FILE \"disc one.wav\" WAVE\n"
        "  TRACK 01 AUDIO\n"
        "    TITLE \"One\"\n"
        "    FLAGS\n"
        "    REM\n"
        "    INDEX 01 00:00:00\n"
        "  TRACK 02 AUDIO\n"
        "    TITLE \"Two\"\n"
        "    REM DATE 2001\n"
        "    FLAGS DCP PRE\n"
        "    INDEX 00 03:00:00\n"
        "    INDEX 01 03:02:00\n"
        "    INDEX 02 03:30:00\n"
        "FILE next.flac FLAC\n"
        "  TRACK 03 AUDIO\n"
        "    TITLE Three  \n"
        "    PERFORMER \"band\"\n"
        "    PREGAP 00:01:00\n"
        "    INDEX 01 05:00:00\n";
    cue_track_list list;
    cue_parse(sheet, list);
    auto t = tracks_of(list);
    REQUIRE(t.size() == 3);

    CHECK(t[0]->number == 1);
    CHECK(std::string(t[0]->file_name.c_str()) == "disc one.wav");
    CHECK(t[0]->flags.is_empty());
    CHECK(meta_text(t[0]->info) ==
          "GENRE=Rock;DATE=1999;COMMENT=Made by hand;artist=Band;album=Album;title=One;tracknumber=1;totaltracks=3");
    CHECK(info_text(t[0]->info) == "");
    CHECK(t[0]->index_times[0] == 0.0);
    CHECK(t[0]->index_times[1] == 0.0);

    // A track's own value wins over the sheet's and moves to the end.
    CHECK(meta_text(t[1]->info) ==
          "GENRE=Rock;COMMENT=Made by hand;artist=Band;album=Album;title=Two;DATE=2001;tracknumber=2;totaltracks=3");
    CHECK(info_text(t[1]->info) == "referenced_offset=03:02:00;pregap=00:02:00;index 02=00:28:00");
    CHECK(std::string(t[1]->flags.c_str()) == "DCP PRE");
    CHECK(t[1]->index_times[0] == 180.0);
    CHECK(t[1]->index_times[1] == 182.0);
    CHECK(t[1]->index_times[2] == 210.0);
    CHECK(t[1]->index_times[3] == 0.0);

    // Unquoted TITLE keeps its trailing blanks; a PERFORMER equal but for case is no different performer.
    CHECK(std::string(t[2]->file_name.c_str()) == "next.flac");
    CHECK(meta_text(t[2]->info) ==
          "GENRE=Rock;DATE=1999;COMMENT=Made by hand;album=Album;title=Three  ;artist=band;tracknumber=3;totaltracks=3");
    CHECK(info_text(t[2]->info) == "referenced_offset=05:00:00;pregap=00:01:00");
    CHECK(t[2]->index_times[0] == 299.0);
    CHECK(t[2]->index_times[1] == 300.0);
    CHECK_FALSE(t[2]->info.get_replaygain().has_track_gain());
}

TEST_CASE("cue sheets: commands ignore letter case, line breaks of every kind") {
    const char* sheets[] = {
        "file \"a.wav\" wave\ntrack 01 audio\ntitle \"T\"\nindex 01 00:00:00\n",
        "File \"a.wav\" Wave\r\nTrack 1 Audio\r\nTitle \"T\"\r\nIndex 1 0:0:0\r\n",
        "\t  FILE \"a.wav\" WAVE\r\r\n\n  TRACK 01 AUDIO\rTITLE T\rINDEX 01 00:00:00",
    };
    for (const char* sheet : sheets) {
        CAPTURE(sheet);
        cue_track_list list;
        cue_parse(sheet, list);
        auto t = tracks_of(list);
        REQUIRE(t.size() == 1);
        CHECK(meta_text(t[0]->info) == "title=T;tracknumber=1;totaltracks=1");
    }
}

TEST_CASE("cue sheets: TITLE, PERFORMER and SONGWRITER forms") {
    struct row {
        const char* line;
        const char* meta;  // null: the line is an error
    } rows[] = {
        {"TITLE Plain words  ", "title=Plain words  "},
        {"TITLE \"Quoted\"   ", "title=Quoted"},
        {"TITLE \"\"", "title="},
        {"TITLE \"a\" b", nullptr},
        {"TITLE \"open", nullptr},
        {"TITLE", nullptr},
        {"SONGWRITER \"S\"", "songwriter=S"},
        {"ISRC  GBAAA9900001 ", "isrc=GBAAA9900001 "},
        {"ISRC \"x\"", "isrc=\"x\""},
        {"REM DATE \"2001-02\" rest", "DATE=2001-02"},
        {"REM date 1999 or so", "date=1999 or so"},
        {"REM DATE \"\"", ""},
        {"REM DATE", ""},
        {"REM UNKNOWN \"open", ""},
    };
    for (const row& r : rows) {
        CAPTURE(r.line);
        std::string sheet = std::string("FILE a.wav WAVE\nTRACK 01 AUDIO\n") + r.line + "\nINDEX 01 00:00:00\n";
        cue_track_list list;
        if (!r.meta) {
            CHECK_THROWS_AS(cue_parse(sheet.c_str(), list), exception_bad_cuesheet);
            continue;
        }
        cue_parse(sheet.c_str(), list);
        auto t = tracks_of(list);
        REQUIRE(t.size() == 1);
        std::string expected = r.meta;
        expected += expected.empty() ? "" : ";";
        expected += "tracknumber=1;totaltracks=1";
        // REM keys keep the letter case they were written in.
        CHECK(meta_text(t[0]->info) == expected);
    }
}

TEST_CASE("cue sheets: every error has its text and line number") {
    struct row {
        const char* sheet;
        const char* error;
    } rows[] = {
        {"TRACK 01 AUDIO\nINDEX 01 00:00:00\n", "declaring a track with no file set (line 1)"},
        {"FILE a.wav WAVE\n\nTRACK 01 MODE1/2352\n", "only tracks of type AUDIO supported (line 3)"},
        {"FILE a.wav BINARY\n", "expected WAVE, MP3 or AIFF, got : \"BINARY\" (line 1)"},
        {"FILE \"a.wav WAVE\n", "invalid FILE syntax (line 1)"},
        {"FILE \"\" WAVE\n", "invalid FILE syntax (line 1)"},
        {"FILE a.wav\n", "invalid FILE syntax (line 1)"},
        {"FILE a.wav WAVE extra\n", "invalid FILE syntax (line 1)"},
        {"FILE a.wav WAVE\nTRACK 00 AUDIO\n", "invalid track number (line 2)"},
        {"FILE a.wav WAVE\nTRACK 100 AUDIO\n", "invalid track number (line 2)"},
        {"FILE a.wav WAVE\nTRACK\n", "invalid track number (line 2)"},
        {"FILE a.wav WAVE\nTRACK 1x AUDIO\n", "invalid TRACK syntax (line 2)"},
        {"FILE a.wav WAVE\nTRACK 01\n", "invalid TRACK syntax (line 2)"},
        {"FILE a.wav WAVE\nTRACK 01 AUDIO x\n", "invalid TRACK syntax (line 2)"},
        {"INDEX 100 00:00:00\n", "invalid INDEX syntax (line 1)"},
        {"INDEX 01\n", "invalid INDEX syntax (line 1)"},
        {"INDEX 01 00:0a:00\n", "invalid INDEX syntax (line 1)"},
        {"INDEX x1 00:00:00\n", "invalid INDEX syntax (line 1)"},
        {"INDEX 01 00:00:00 x\n", "invalid INDEX syntax (line 1)"},
        {"INDEX 01 00:00:00:00\n", "invalid INDEX time syntax (line 1)"},
        {"PREGAP 1:2:3:4\n", "invalid INDEX time syntax (line 1)"},
        {"PREGAP\n", "invalid PREGAP syntax (line 1)"},
        {"PREGAP 00:02:00 x\n", "invalid PREGAP syntax (line 1)"},
        {"PREGAP -1\n", "invalid PREGAP syntax (line 1)"},
        {"TITLE\n", "invalid TITLE syntax (line 1)"},
        {"PERFORMER \"a\" b\n", "invalid PERFORMER syntax (line 1)"},
        {"SONGWRITER \"a\n", "invalid SONGWRITER syntax (line 1)"},
        {"ISRC\n", "invalid ISRC syntax (line 1)"},
        {"CATALOG   \n", "invalid CATALOG syntax (line 1)"},
        {"POSTGAP 00:02:00\n", "POSTGAP is not supported (line 1)"},
        {"FILE a.wav WAVE\nARRANGER x\n", "unknown cuesheet item (line 2)"},
        {"REM DATE \"1999\nFILE a.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", "invalid REM syntax (line 1)"},
        // Only line feeds count; CR LF is one line break.
        {"FILE a.wav WAVE\r\n\r\n\rBOGUS\n", "unknown cuesheet item (line 3)"},
        {"\r\r\rBOGUS", "unknown cuesheet item (line 1)"},
        // Finishing a track: at the next TRACK with its line, after the last line without one.
        {"FILE a.wav WAVE\nTRACK 01 AUDIO\nTITLE x\nTRACK 02 AUDIO\nINDEX 01 00:00:00\n", "INDEX 01 not set (line 4)"},
        {"FILE a.wav WAVE\nTRACK 01 AUDIO\nINDEX 00 00:00:00\n", "INDEX 01 not set"},
        {"FILE a.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:10:00\nINDEX 02 00:05:00\n", "invalid index list"},
        {"FILE a.wav WAVE\nTRACK 01 AUDIO\nINDEX 00 00:10:00\nINDEX 01 00:05:00\nTRACK 02 AUDIO\n",
         "invalid index list (line 5)"},
        {"FILE a.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 0\nINDEX 02 10\nINDEX 03 20\nINDEX 04 15\n", "invalid index list"},
        // A track number used twice would merge two tracks into one subsong.
        {"FILE a.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 01 AUDIO\nINDEX 01 01:00:00\n",
         "invalid track number (line 4)"},
        {"FILE a.wav WAVE\nTRACK 02 AUDIO\nINDEX 01 0\nTRACK 01 AUDIO\nINDEX 01 1\nTRACK 02 AUDIO\nINDEX 01 2\n",
         "invalid track number (line 6)"},
        // Times too large for the frame counter are refused rather than wrapped.
        {"INDEX 01 954437:10:46\n", "invalid INDEX time syntax (line 1)"},
        {"INDEX 01 4294967296\n", "invalid INDEX time syntax (line 1)"},
        {"PREGAP 99999999999999999999999:00:00\n", "invalid INDEX time syntax (line 1)"},
    };
    for (const row& r : rows) {
        CAPTURE(r.sheet);
        CHECK(parse_error(r.sheet) == std::string("Error parsing cuesheet: ") + r.error);
    }

    // The error is a data error; the tracks read before it stay in the list.
    cue_track_list list;
    try {
        cue_parse("FILE a.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 0\nTRACK 02 AUDIO\nTITLE x\n", list);
        FAIL("no error");
    } catch (const ketrel_io::exception_io_data& e) {
        CHECK(std::string(e.what()) == "Error parsing cuesheet: INDEX 01 not set");
    }
    CHECK(list.count() == 1);
}

TEST_CASE("cue sheets: times as text and from text") {
    struct text_row {
        double seconds;
        const char* text;
    } texts[] = {
        {0, "00:00:00"},      {182.04, "03:02:03"},    {5999.99, "99:59:74"}, {6000, "100:00:00"},
        {6010.5, "100:10:38"}, {-2, "00:00:00"},       {0.006, "00:00:00"},   {0.007, "00:00:01"},
        {59.9999, "01:00:00"}, {60000, "1000:00:00"},
    };
    for (const text_row& r : texts) {
        CAPTURE(r.seconds);
        CHECK(std::string(cue_time_text(r.seconds).c_str()) == r.text);
    }

    struct parse_row {
        const char* text;
        int64_t frames;  // -1: error
    } parses[] = {
        {"", 0},           {"5", 5},           {"2:80", 230},     {"01:02:03", 4653},  {"1:2:3", 4653},
        {"::", 0},         {"100:00:00", 450000}, {"954437:10:45", 4294967295LL}, {"1:2:3:4", -1}, {"1a", -1},
        {"954437:10:46", -1}, {"4294967296", -1}, {"0:57266231:0", -1}, {" 1", -1},
    };
    for (const parse_row& r : parses) {
        CAPTURE(r.text);
        uint32_t n = static_cast<uint32_t>(std::string(r.text).size());
        if (r.frames < 0) {
            CHECK_THROWS_WITH_AS(cue_parse_time(r.text, n), "invalid INDEX time syntax", exception_cue);
        } else {
            CHECK(cue_parse_time(r.text, n) == static_cast<uint32_t>(r.frames));
        }
    }
}

TEST_CASE("cue sheets: a performer that differs from the sheet's makes album artists") {
    const char* differing =
        "PERFORMER \"Various\"\nTITLE \"Mix\"\nFILE mix.wav WAVE\n"
        "TRACK 01 AUDIO\n  PERFORMER \"A\"\n  INDEX 01 00:00:00\n"
        "TRACK 02 AUDIO\n  INDEX 01 01:00:00\n"
        "TRACK 03 AUDIO\n  PERFORMER \"various\"\n  INDEX 01 02:00:00\n";
    cue_track_list list;
    cue_parse(differing, list);
    auto t = tracks_of(list);
    REQUIRE(t.size() == 3);
    CHECK(meta_text(t[0]->info) == "album artist=Various;artist=A;album=Mix;tracknumber=1;totaltracks=3");
    CHECK(meta_text(t[1]->info) == "album artist=Various;artist=Various;album=Mix;tracknumber=2;totaltracks=3");
    CHECK(meta_text(t[2]->info) == "album artist=Various;artist=various;album=Mix;tracknumber=3;totaltracks=3");

    // Without a sheet performer, track performers are just artists.
    cue_track_list plain;
    cue_parse("FILE a.wav WAVE\nTRACK 01 AUDIO\nPERFORMER A\nINDEX 01 0\nTRACK 02 AUDIO\nPERFORMER B\nINDEX 01 75\n",
              plain);
    auto p = tracks_of(plain);
    REQUIRE(p.size() == 2);
    CHECK(meta_text(p[0]->info) == "artist=A;tracknumber=1;totaltracks=2");
    CHECK(meta_text(p[1]->info) == "artist=B;tracknumber=2;totaltracks=2");
    CHECK(p[1]->index_times[1] == 1.0);
}

TEST_CASE("cue sheets: ReplayGain lines fill the ReplayGain values") {
    cue_track_list list;
    cue_parse(
        "REM REPLAYGAIN_ALBUM_GAIN -6.00 dB\nREM REPLAYGAIN_ALBUM_PEAK 0.950000\nFILE a.wav WAVE\n"
        "TRACK 01 AUDIO\nREM replaygain_track_gain \"-3.50 dB\"\nREM REPLAYGAIN_TRACK_PEAK 0.5\nINDEX 01 0\n"
        "TRACK 02 AUDIO\nINDEX 01 75\n",
        list);
    auto t = tracks_of(list);
    REQUIRE(t.size() == 2);
    replaygain_values a = t[0]->info.get_replaygain();
    CHECK(a.album_gain == -6.0f);
    CHECK(a.album_peak == 0.95f);
    CHECK(a.track_gain == -3.5f);
    CHECK(a.track_peak == 0.5f);
    replaygain_values b = t[1]->info.get_replaygain();
    CHECK(b.album_gain == -6.0f);
    CHECK_FALSE(b.has_track_gain());
    CHECK(meta_text(t[0]->info) == "tracknumber=1;totaltracks=2");
}

TEST_CASE("cue sheets: a PREGAP before the start of the file is written back as PREGAP") {
    cue_track_list list;
    cue_parse("FILE a.wav WAVE\nTRACK 01 AUDIO\nPREGAP 00:02:00\nINDEX 01 00:00:00\n", list);
    auto t = tracks_of(list);
    REQUIRE(t.size() == 1);
    CHECK(t[0]->index_times[0] == -2.0);
    CHECK(info_text(t[0]->info) == "pregap=00:02:00");
    CHECK(meta_text(t[0]->info) == "tracknumber=1;totaltracks=1");
    CHECK(write_text(list) ==
          "FILE \"a.wav\" WAVE\r\n"
          "  TRACK 01 AUDIO\r\n"
          "    PREGAP 00:02:00\r\n"
          "    INDEX 01 00:00:00\r\n");
}

TEST_CASE("cue sheets: writing puts common values in the header and cleans values") {
    cue_track_list list;
    add_track(list, 1, "d.wav", 0, 0,
              "title=A \"quoted\" one;artist=P1;genre=Rock;date=1999;album=X;songwriter=S;comment=line1\r\nline2");
    add_track(list, 2, "d.wav", 170, 180,
              "title=B;artist=P2;GENRE=Rock;date=1999;album=X;isrc=ABC;comment=line1\r\nline2");
    add_track(list, 3, "d.wav", 6000, 6000, "title=C;artist=P1;Genre=Rock;date=1999;album=X;comment=line1\r\nline2;catalog=1");
    auto t = tracks_of(list);
    t[1]->flags = "DCP";
    t[2]->index_times[2] = 6010.5;
    replaygain_values rg;
    rg.album_gain = -6.0f;
    t[0]->info.set_replaygain(rg);
    rg.album_gain = replaygain_values::gain_invalid;
    rg.track_gain = -3.5f;
    t[2]->info.set_replaygain(rg);
    // Catalog on one track only: not common, and never written per track.
    CHECK(write_text(list) ==
          "REM GENRE Rock\r\n"
          "REM DATE 1999\r\n"
          "REM COMMENT line1\\line2\r\n"
          "TITLE \"X\"\r\n"
          "REM REPLAYGAIN_ALBUM_GAIN -6.00 dB\r\n"
          "FILE \"d.wav\" WAVE\r\n"
          "  TRACK 01 AUDIO\r\n"
          "    TITLE \"A 'quoted' one\"\r\n"
          "    PERFORMER \"P1\"\r\n"
          "    SONGWRITER \"S\"\r\n"
          "    INDEX 01 00:00:00\r\n"
          "  TRACK 02 AUDIO\r\n"
          "    TITLE \"B\"\r\n"
          "    PERFORMER \"P2\"\r\n"
          "    ISRC ABC\r\n"
          "    FLAGS DCP\r\n"
          "    INDEX 00 02:50:00\r\n"
          "    INDEX 01 03:00:00\r\n"
          "  TRACK 03 AUDIO\r\n"
          "    TITLE \"C\"\r\n"
          "    PERFORMER \"P1\"\r\n"
          "    REM REPLAYGAIN_TRACK_GAIN -3.50 dB\r\n"
          "    INDEX 01 100:00:00\r\n"
          "    INDEX 02 100:10:38\r\n");
}

TEST_CASE("cue sheets: the performer rule of the writer") {
    struct row {
        const char* first;
        const char* second;
        const char* expected;
    } rows[] = {
        // Common artist: once in the header, not per track.
        {"artist=P;title=A", "artist=P;title=B",
         "PERFORMER \"P\"\r\nFILE \"f\" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE \"A\"\r\n    INDEX 01 00:00:00\r\n"
         "  TRACK 02 AUDIO\r\n    TITLE \"B\"\r\n    INDEX 01 00:01:00\r\n"},
        // Common album artist: header, and every track's artist too, even when common.
        {"album artist=V;artist=P;date=1", "album artist=V;artist=P;date=2",
         "PERFORMER \"V\"\r\nFILE \"f\" WAVE\r\n  TRACK 01 AUDIO\r\n    PERFORMER \"P\"\r\n    REM DATE 1\r\n"
         "    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n    PERFORMER \"P\"\r\n    REM DATE 2\r\n    INDEX 01 00:01:00\r\n"},
        // Album artist on one track only: not common; artists per track.
        {"album artist=V;artist=P", "artist=Q",
         "FILE \"f\" WAVE\r\n  TRACK 01 AUDIO\r\n    PERFORMER \"P\"\r\n    INDEX 01 00:00:00\r\n"
         "  TRACK 02 AUDIO\r\n    PERFORMER \"Q\"\r\n    INDEX 01 00:01:00\r\n"},
        // Several values are joined; the joined texts decide what is common.
        {"artist=P,Q", "artist=P,Q", "PERFORMER \"P, Q\"\r\nFILE \"f\" WAVE\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n"
                                     "  TRACK 02 AUDIO\r\n    INDEX 01 00:01:00\r\n"},
    };
    for (const row& r : rows) {
        CAPTURE(r.first);
        cue_track_list list;
        add_track(list, 1, "f", 0, 0, r.first);
        add_track(list, 2, "f", 1, 1, r.second);
        CHECK(write_text(list) == r.expected);
    }

    cue_track_list empty;
    CHECK(write_text(empty) == "");
}

TEST_CASE("cue sheets: written sheets read back the same") {
    const char* sheets[] = {
        "REM GENRE Rock\nREM DATE 1999\nPERFORMER \"Band\"\nTITLE \"Album\"\nFILE \"disc.wav\" WAVE\n"
        "TRACK 01 AUDIO\nTITLE \"One\"\nINDEX 01 00:00:00\n"
        "TRACK 02 AUDIO\nTITLE \"Two\"\nPERFORMER \"Guest\"\nISRC X1\nINDEX 00 03:00:00\nINDEX 01 03:02:00\nINDEX 02 03:30:00\n"
        "TRACK 03 AUDIO\nTITLE \"Three\"\nREM DATE 2001\nPREGAP 00:01:00\nINDEX 01 120:00:00\n",
        "FILE a.wav WAVE\nTRACK 01 AUDIO\nPREGAP 00:02:00\nINDEX 01 00:00:00\nFILE b.wav WAVE\nTRACK 02 AUDIO\n"
        "INDEX 01 00:00:10\n",
        // A FILE name with a double quote (an unquoted word) is written so that it reads back.
        "FILE my\"disc\".wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n",
    };
    for (const char* sheet : sheets) {
        CAPTURE(sheet);
        cue_track_list first;
        cue_parse(sheet, first);
        std::string written = write_text(first);
        cue_track_list second;
        REQUIRE_NOTHROW(cue_parse(written.c_str(), second));
        CHECK(write_text(second) == written);
        auto a = tracks_of(first), b = tracks_of(second);
        REQUIRE(a.size() == b.size());
        for (size_t i = 0; i < a.size(); ++i) {
            CHECK(std::string(a[i]->file_name.c_str()) == b[i]->file_name.c_str());
            CHECK(info_text(a[i]->info) == info_text(b[i]->info));
            for (uint32_t n = 0; n < cue_index_count; ++n) CHECK(a[i]->index_times[n] == b[i]->index_times[n]);
        }
    }

    // ISRC and CATALOG values without a word would make lines the reader refuses: they are left out.
    cue_track_list blank;
    add_track(blank, 1, "f", 0, 0, "isrc=;catalog=  ;title=T");
    add_track(blank, 2, "f", 1, 1, "isrc=   ;catalog=  ;title=U");
    std::string blank_written = write_text(blank);
    CHECK(blank_written ==
          "FILE \"f\" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE \"T\"\r\n    INDEX 01 00:00:00\r\n"
          "  TRACK 02 AUDIO\r\n    TITLE \"U\"\r\n    INDEX 01 00:01:00\r\n");
    cue_track_list blank_back;
    CHECK_NOTHROW(cue_parse(blank_written.c_str(), blank_back));

    // A name that cannot be written unquoted keeps its text with apostrophes for its quotes.
    cue_track_list list;
    add_track(list, 1, "my \"best\" disc.wav", 0, 0, "");
    add_track(list, 2, "line\r\nbreak.wav", 1, 1, "");
    std::string written = write_text(list);
    CHECK(written ==
          "FILE \"my 'best' disc.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n"
          "FILE \"line__break.wav\" WAVE\r\n  TRACK 02 AUDIO\r\n    INDEX 01 00:01:00\r\n");
    cue_track_list back;
    CHECK_NOTHROW(cue_parse(written.c_str(), back));
    CHECK(back.count() == 2);
}

TEST_CASE("cue sheets: parsing appends to a list that already holds tracks") {
    cue_track_list list;
    cue_parse("FILE a.wav WAVE\nTRACK 05 AUDIO\nTITLE A\nINDEX 01 0\n", list);
    cue_parse("FILE b.wav WAVE\nTRACK 01 AUDIO\nTITLE B\nINDEX 01 0\n", list);
    auto t = tracks_of(list);
    REQUIRE(t.size() == 2);
    CHECK(meta_text(t[0]->info) == "title=A;tracknumber=5;totaltracks=1");
    CHECK(meta_text(t[1]->info) == "title=B;tracknumber=1;totaltracks=1");
}
