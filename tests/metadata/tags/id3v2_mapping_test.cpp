#include <doctest/doctest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "metadata/tags/id3_tag.h"
#include "metadata/tags/id3_text.h"
#include "metadata/tags/id3v2_mapping.h"
#include "tests/metadata/tags/tag_bytes.h"
#include "tests/metadata/tags/tag_info_text.h"

using id3parser::frame;
using tag_test::info_from;
using tag_test::meta_text;

namespace {

uint32_t fid(const char* id) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | uint8_t(id[i]);
    return v;
}

std::string id_text(uint32_t id) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) s += char((id >> shift) & 0xFF);
    return s;
}

// A text frame: the first string through setText, the others through appendText.
frame text(const char* id, std::vector<std::string> strings, uint8_t encoding = 3) {
    frame f(fid(id));
    id3parser::setText(f, strings.empty() ? std::string() : strings[0], encoding);
    for (size_t i = 1; i < strings.size(); ++i) id3parser::appendText(f, strings[i]);
    return f;
}

id3parser::tag make_tag(int version, std::vector<frame> frames) {
    id3parser::tag t;
    t.version = version;
    t.frames = std::move(frames);
    return t;
}

std::string read_meta(const id3parser::tag& t) {
    track_info_store info;
    id3v2_tag_to_info(t, info);
    return meta_text(info);
}

// The frames of a tag as "ID:string|string" lines joined by ", " (URL frames as their text).
std::string frames_text(const id3parser::tag& t) {
    std::string out;
    for (const frame& f : t.frames) {
        if (!out.empty()) out += ", ";
        out += id_text(f.id) + ":";
        if (f.id == fid("APIC") || f.id == fid("PRIV")) {
            out += "(" + std::to_string(f.data.size()) + " bytes)";
        } else if (f.id >> 24 == 'W' && f.id != fid("WXXX")) {
            out += id3parser::urlText(f);
        } else if (f.id == fid("WXXX")) {
            out += id3parser::getValue(f, 0) + "|" + id3parser::userUrl(f);
        } else {
            uint32_t n = id3parser::valueCount(f);
            id3parser::textCursor c;
            for (uint32_t i = 0; i < n; ++i) out += (i ? "|" : "") + id3parser::getValue(f, i, c, false);
        }
    }
    return out;
}

// "name=value" lines in the order reading gives them: by name without letter case, values in order.
std::string by_name(const std::string& meta) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= meta.size() && !meta.empty()) {
        size_t bar = meta.find('|', start);
        if (bar == std::string::npos) bar = meta.size();
        lines.push_back(meta.substr(start, bar - start));
        start = bar + 1;
    }
    auto key = [](const std::string& line) {
        std::string k = line.substr(0, line.find('='));
        for (char& c : k) c = char(tolower(c));
        return k;
    };
    std::stable_sort(lines.begin(), lines.end(), [&](const std::string& a, const std::string& b) { return key(a) < key(b); });
    std::string out;
    for (const std::string& l : lines) out += (out.empty() ? "" : "|") + l;
    return out;
}

id3parser::tag written(const track_info& info, int version, std::vector<frame> old = {}) {
    id3parser::tag t = make_tag(version, std::move(old));
    id3v2_info_to_tag(info, t);
    return t;
}

}  // namespace

TEST_CASE("frames are read into fields by their rules") {
    struct row {
        const char* what;
        int version;
        std::vector<frame> frames;
        const char* meta;
    } rows[] = {
        {"2.3 artist split at ' / '", 3, {text("TPE1", {"A / B"})}, "artist=A|artist=B"},
        {"2.4 artist not split", 4, {text("TPE1", {"A / B"})}, "artist=A / B"},
        {"two strings in 2.3", 3, {text("TPE1", {"A", "B"})}, "artist=A|artist=B"},
        {"two strings in 2.4", 4, {text("TPE1", {"A", "B"})}, "artist=A|artist=B"},
        {"single-value frame takes string 0", 4, {text("TIT2", {"T", "ignored"})}, "title=T"},
        {"track and total", 3, {text("TRCK", {"5/12"})}, "totaltracks=12|tracknumber=5"},
        {"only a total", 3, {text("TRCK", {"/12"})}, "totaltracks=12"},
        {"disc number", 4, {text("TPOS", {"2"})}, "discnumber=2"},
        {"genre by number", 3, {text("TCON", {"(17)"})}, "genre=Rock"},
        {"genre number with text behind", 3, {text("TCON", {"(17)Rock & Roll"})}, "genre=Rock"},
        {"genre number 126 is nothing", 3, {text("TCON", {"(126)"})}, ""},
        {"genre remix and cover", 3, {text("TCON", {"(RX);(CR)"})}, "genre=Remix|genre=Cover"},
        {"escaped parenthesis", 4, {text("TCON", {"((foo)"})}, "genre=(foo)"},
        {"other parenthesised text", 4, {text("TCON", {"(foo)"})}, ""},
        {"2.3 genres split at ';'", 3, {text("TCON", {"Rock; Pop ;Jazz"})}, "genre=Rock|genre=Pop|genre=Jazz"},
        {"2.4 genre keeps ';'", 4, {text("TCON", {"Rock;Pop"})}, "genre=Rock;Pop"},
        {"2.4 genres as strings", 4, {text("TCON", {"Rock", "(32)"})}, "genre=Rock|genre=Classical"},
        {"year then day-month", 3, {text("TYER", {"1999"}, 0), text("TDAT", {"0605"}, 0)}, "date=1999-05-06"},
        {"day-month then year", 3, {text("TDAT", {"0605"}, 0), text("TYER", {"1999"}, 0)}, "date=1999-05-06"},
        {"month only", 3, {text("TYER", {"1999"}, 0), text("TDAT", {"0005"}, 0)}, "date=1999-05"},
        {"month only, year second", 3, {text("TDAT", {"0005"}, 0), text("TYER", {"1999"}, 0)}, "date=1999-05"},
        {"odd year text kept when alone", 3, {text("TYER", {"c. 1970"}, 0)}, "date=c. 1970"},
        {"2.4 recording time", 4, {text("TDRC", {"2004-05-06T12:00"})}, "date=2004-05-06T12:00"},
        {"comment without description", 3, {text("COMM", {"", "hello"}, 1)}, "comment=hello"},
        {"comment with description", 3, {text("COMM", {"D", "x"}, 1)}, "comment D=x"},
        {"encoder comment ignored", 3, {text("COMM", {"iTunSMPB", " 00000000 00000840"}, 0)}, ""},
        {"lyrics", 4, {text("USLT", {"", "la la"})}, "unsynced lyrics=la la"},
        {"user text", 4, {text("TXXX", {"MOOD", "calm", "warm"})}, "MOOD=calm|MOOD=warm"},
        {"user text without value", 4, {text("TXXX", {"MOOD"})}, ""},
        {"user text without name", 4, {text("TXXX", {"", "x"})}, ""},
        {"numbered user text merges", 3, {text("TXXX", {"X[1]", "a"}), text("TXXX", {"X[2]", "b"})}, "X=a|X=b"},
        {"user URL", 3, {frame(fid("WXXX"), tag_bytes::cat({{0}, tag_bytes::b("Shop"), {0}, tag_bytes::b("http://s")}))},
         "www Shop=http://s"},
        {"URL frame", 3, {frame(fid("WOAR"), tag_bytes::b("http://a"))}, "artist webpage url=http://a"},
        {"original year", 3, {text("TORY", {"1970"}, 0)}, "original release date=1970"},
        {"sort orders", 4, {text("TSOP", {"Beatles, The"})}, "artistsortorder=Beatles, The"},
        {"broken frame skipped", 3, {text("TALB", {"Al"}), frame(fid("TIT2"), {9, 'x'}), text("TPE1", {"A"})},
         "album=Al|artist=A"},
        {"unknown and picture frames read nothing", 3, {frame(fid("PRIV"), {1, 2}), frame(fid("APIC"), {0, 0, 3, 0})}, ""},
    };
    for (const row& r : rows) {
        std::string what = r.what;
        CAPTURE(what);
        CHECK(read_meta(make_tag(r.version, r.frames)) == r.meta);
    }
}

TEST_CASE("a compilation flag shows an album artist only when it is set") {
    struct row {
        std::vector<frame> frames;
        const char* meta;
    } rows[] = {
        {{text("TCMP", {"1"})}, "album artist=Various Artists|itunescompilation=1"},
        {{text("TCMP", {"0"})}, "itunescompilation=0"},
        {{text("TCMP", {"00"})}, "itunescompilation=00"},
        {{text("TCMP", {"no"})}, "itunescompilation=no"},
        {{text("TCMP", {"False"})}, "itunescompilation=False"},
        {{text("TCMP", {"n/a"})}, "itunescompilation=n/a"},
        {{text("TCMP", {"yes"})}, "album artist=Various Artists|itunescompilation=yes"},
        {{text("TCMP", {"TRUE"})}, "album artist=Various Artists|itunescompilation=TRUE"},
        {{text("TCMP", {" 01 "})}, "album artist=Various Artists|itunescompilation= 01 "},
        {{text("TCMP", {"1"}), text("TPE2", {"X"})}, "album artist=X|itunescompilation=1"},
    };
    for (const row& r : rows) CHECK(read_meta(make_tag(3, r.frames)) == r.meta);

    // The shown value is not written back; a real one is.
    id3parser::tag t = make_tag(3, {text("TCMP", {"1"})});
    track_info_store info;
    id3v2_tag_to_info(t, info);
    id3v2_info_to_tag(info, t);
    CHECK(frames_text(t) == "TCMP:1");
    CHECK(read_meta(t) == "album artist=Various Artists|itunescompilation=1");

    id3parser::tag with_tpe2 = make_tag(3, {text("TCMP", {"1"}), text("TPE2", {"Various Artists"})});
    id3v2_tag_to_info(with_tpe2, info);
    id3v2_info_to_tag(info, with_tpe2);
    CHECK(frames_text(with_tpe2) == "TCMP:1, TPE2:Various Artists");

    // A user who takes the flag away keeps the album artist written out.
    info.meta_remove_all();
    info.meta_add("album artist", track_info::npos, "Various Artists", track_info::npos);
    id3parser::tag plain = make_tag(3, {});
    id3v2_info_to_tag(info, plain);
    CHECK(frames_text(plain) == "TPE2:Various Artists");
}

TEST_CASE("ReplayGain travels in TXXX frames and never as a meta field") {
    id3parser::tag t = make_tag(3, {text("TXXX", {"replaygain_track_gain", "-6.20 dB"}, 0),
                                    text("TXXX", {"REPLAYGAIN_ALBUM_PEAK", "0.988000"}, 0),
                                    text("TXXX", {"replaygain_album_gain", "n/a"}, 0), text("TIT2", {"T"})});
    track_info_store info;
    id3v2_tag_to_info(t, info);
    CHECK(meta_text(info) == "title=T");
    replaygain_values rg = info.get_replaygain();
    CHECK(rg.track_gain == doctest::Approx(-6.2));
    CHECK(rg.album_peak == doctest::Approx(0.988));
    CHECK_FALSE(rg.has_album_gain());

    id3v2_info_to_tag(info, t);
    // The unchanged old TIT2 is kept and comes after the new frames.
    CHECK(frames_text(t) == "TXXX:replaygain_album_peak|0.988000, TXXX:replaygain_track_gain|-6.20 dB, TIT2:T");
    CHECK(t.frames[0].data[0] == 0);  // plain ASCII
}

TEST_CASE("fields are written as the frames of their version") {
    struct row {
        const char* what;
        int version;
        track_info_store info;
        const char* frames;
        bool reads_back = true;
    } rows[] = {
        {"two artists in 2.3", 3, info_from({"artist=A", "artist=B"}), "TPE1:A / B"},
        {"two artists in 2.4", 4, info_from({"artist=A", "artist=B"}), "TPE1:A|B"},
        {"track with a total holding '/'", 3, info_from({"tracknumber=5", "totaltracks=1/2"}), "TRCK:5/1_2", false},
        {"track holding '/' ignores the total", 3, info_from({"tracknumber=5/6/7", "totaltracks=9"}), "TRCK:5/6_7", false},
        {"a total alone goes to TXXX", 3, info_from({"totaltracks=9"}), "TXXX:totaltracks|9"},
        {"genre starting with '('", 3, info_from({"genre=(foo)", "genre=Rock"}), "TCON:((foo);Rock"},
        {"genres in 2.4", 4, info_from({"genre=(foo)", "genre=Rock"}), "TCON:((foo)|Rock"},
        {"2.3 full date", 3, info_from({"date=2004-05-06"}), "TYER:2004, TDAT:0605"},
        {"2.3 date with blanks", 3, info_from({"date=2004 05 06"}), "TYER:2004, TDAT:0605", false},
        {"2.3 year and month", 3, info_from({"date=2004-05"}), "TYER:2004, TDAT:0005"},
        {"2.3 year", 3, info_from({"date=2004"}), "TYER:2004"},
        {"2.3 date with a time is kept in TXXX", 3, info_from({"date=2004-05-06T12:00"}), "TXXX:date|2004-05-06T12:00"},
        {"2.3 date of another shape is kept", 3, info_from({"date=1999-2000"}), "TXXX:date|1999-2000"},
        {"2.4 timestamp", 4, info_from({"date=2004-05-06T12:00"}), "TDRC:2004-05-06T12:00"},
        {"2.4 two timestamps", 4, info_from({"date=2004/2005-01"}), "TDRC:2004/2005-01"},
        {"2.4 other date to TXXX", 4, info_from({"date=spring 2004"}), "TXXX:date|spring 2004"},
        {"2.3 original year", 3, info_from({"original release date=1970"}), "TORY:1970"},
        {"2.3 original date to TXXX", 3, info_from({"original release date=1970-01"}), "TXXX:original release date|1970-01"},
        {"two titles in 2.4", 4, info_from({"title=A", "title=B"}), "TXXX:title|A|B"},
        {"two titles in 2.3", 3, info_from({"title=A", "title=B"}), "TXXX:title|A, TXXX:title|B"},
        {"comment with description", 3, info_from({"comment D=x"}), "COMM:D|x"},
        {"comment letters", 3, info_from({"commentXYZ=x"}), "COMM:XYZ|x", false},
        {"URL with description", 3, info_from({"wwwXYZ=http://x"}), "WXXX:XYZ|http://x", false},
        {"URL without description", 3, info_from({"www=http://x"}), "WXXX:|http://x"},
        {"lyrics", 4, info_from({"unsynced lyrics=la"}), "USLT:|la"},
        {"URL frame", 3, info_from({"artist webpage url=http://a"}), "WOAR:http://a"},
        {"unknown field", 4, info_from({"MOOD=calm", "MOOD=warm"}), "TXXX:MOOD|calm|warm"},
        {"frame order", 3, info_from({"artist=A", "title=T", "genre=G", "tracknumber=1", "album=Al", "date=2000"}),
         "TIT2:T, TALB:Al, TCON:G, TYER:2000, TRCK:1, TPE1:A"},
    };
    for (row& r : rows) {
        std::string what = r.what;
        CAPTURE(what);
        id3parser::tag t = written(r.info, r.version);
        CHECK(frames_text(t) == r.frames);
        CHECK(t.version == r.version);
        if (r.reads_back) CHECK(read_meta(t) == by_name(meta_text(r.info)));
    }
}

TEST_CASE("a written tag reads back the same fields in both versions") {
    track_info_store info =
        info_from({"album=Al", "album artist=AA", "artist=A", "artist=B", "comment=c", "comment D=d", "composer=C",
                   "date=2004-05-06", "discnumber=1", "genre=Rock", "genre=(x)", "MOOD=calm", "title=Caf\xC3\xA9",
                   "totaldiscs=2", "totaltracks=12", "tracknumber=5", "unsynced lyrics=la", "www=http://w"});
    replaygain_values rg;
    rg.track_gain = -6.5f;
    rg.track_peak = 0.5f;
    info.set_replaygain(rg);
    for (int version : {3, 4}) {
        CAPTURE(version);
        id3parser::tag t = written(info, version);
        track_info_store back;
        id3v2_tag_to_info(t, back);
        CHECK(meta_text(back) ==
              "album=Al|album artist=AA|artist=A|artist=B|comment=c|comment D=d|composer=C|date=2004-05-06|"
              "discnumber=1|genre=Rock|genre=(x)|MOOD=calm|title=Caf\xC3\xA9|totaldiscs=2|totaltracks=12|"
              "tracknumber=5|unsynced lyrics=la|www=http://w");
        CHECK(back.get_replaygain() == rg);
    }
}

TEST_CASE("old frames that still say the same survive a rewrite byte for byte") {
    const frame old_artist = text("TPE1", {"A"}, 0);  // encoding 0, unlike what the writer would make
    const frame picture(fid("APIC"), {0, 'i', 0, 3, 0, 0xFF, 0xD8});
    const frame priv(fid("PRIV"), {'o', 0, 1});
    const frame itunes = text("COMM", {"iTunNORM", " 0000"}, 0);
    const frame numbered = text("TXXX", {"X[1]", "a"});
    const frame old_date_y = text("TYER", {"2004"}, 0), old_date_d = text("TDAT", {"0605"}, 0);
    const frame rg = text("TXXX", {"replaygain_track_gain", "-1.00 dB"}, 0);

    struct row {
        const char* what;
        int version;
        std::vector<frame> old;
        track_info_store info;
        const char* frames;
    } rows[] = {
        {"unchanged artist keeps the old frame", 3, {old_artist}, info_from({"Artist=A"}), "TPE1:A"},
        {"changed artist gets a new frame", 3, {old_artist}, info_from({"artist=B"}), "TPE1:B"},
        {"picture and private frames after the new ones", 3, {picture, priv}, info_from({"title=T"}),
         "TIT2:T, APIC:(7 bytes), PRIV:(3 bytes)"},
        {"encoder comment kept", 3, {itunes}, info_from({"comment=c"}), "COMM:|c, COMM:iTunNORM| 0000"},
        {"numbered user text dropped", 3, {numbered}, info_from({"X=a"}), "TXXX:X|a"},
        {"year and day-month kept together", 3, {old_date_y, old_date_d}, info_from({"date=2004-05-06"}),
         "TYER:2004, TDAT:0605"},
        {"ReplayGain frame rebuilt", 3, {rg}, info_from({}), ""},
        {"removed field drops its frame", 3, {old_artist, picture}, info_from({}), "APIC:(7 bytes)"},
    };
    for (row& r : rows) {
        std::string what = r.what;
        CAPTURE(what);
        id3parser::tag t = written(r.info, r.version, r.old);
        CHECK(frames_text(t) == r.frames);
    }

    id3parser::tag t = written(info_from({"artist=A", "comment=c"}), 3, {picture, old_artist, itunes});
    // The kept frames are the very bytes that were read.
    REQUIRE(t.frames.size() == 4);
    CHECK(t.frames[1].data == picture.data);
    CHECK(t.frames[2].data == old_artist.data);
    CHECK(t.frames[3].data == itunes.data);
}

TEST_CASE("a 2.2 or new tag is written as 2.3 and keeps only pictures, comments and lyrics") {
    id3parser::tag t = make_tag(2, {text("TIT2", {"old"}), frame(fid("APIC"), {0, 'i', 0, 3, 0, 1}),
                                    text("COMM", {"", "kept"}, 0)});
    id3v2_info_to_tag(info_from({"title=new", "comment=kept"}), t);
    CHECK(t.version == 3);
    CHECK(frames_text(t) == "TIT2:new, APIC:(6 bytes), COMM:|kept");

    id3parser::tag fresh;
    id3v2_info_to_tag(info_from({"title=x"}), fresh);
    CHECK(fresh.version == 3);
    CHECK(frames_text(fresh) == "TIT2:x");
    CHECK(fresh.frames[0].data[0] == 1);  // UTF-16 with mark in 2.3
}
