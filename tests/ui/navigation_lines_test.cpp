// The SysLink lines of the main window: the window text of markup, link records per control, the
// navigation line with one and several music folders, and the two now-playing lines.
#include <doctest/doctest.h>

#include <map>
#include <string>
#include <vector>

#include "library/folder_view_node.h"
#include "shell/localization.h"
#include "ui/navigation_line.h"
#include "ui/now_playing_lines.h"
#include "ui/syslink_lines.h"

namespace {

struct language_once {
    language_once() { load_language_table(0x409); }
};

void ensure_language() { static language_once once; }

// "0:[all genres]|A|X [2001]": the kind, then the levels (keys of a level joined by ",").
std::string describe(const view_path& where) {
    std::string out = std::to_string(where.kind) + ":";
    for (size_t i = 0; i < where.path.size(); ++i) {
        if (i) out += "|";
        bool first = true;
        for (const list_text& key : where.path[i]) {
            if (!first) out += ",";
            first = false;
            out += key.utf8();
        }
    }
    return out;
}

std::vector<std::string> describe(const std::vector<view_path>& targets) {
    std::vector<std::string> out;
    for (const view_path& t : targets) out.push_back(describe(t));
    return out;
}

view_path at(int kind, size_t empty_levels) {
    view_path out;
    out.kind = kind;
    out.path.resize(empty_levels);
    return out;
}

class fake_source final : public now_playing_source {
public:
    std::map<script_id, std::string> texts;
    bool track = true;
    bool playing = true;
    std::vector<std::wstring> artists, album_artists;

    bool format(script_id script, std::string& out) override {
        out = track ? texts[script] : "";
        return track;
    }
    bool is_playing() override { return playing; }
    void artist_values(std::vector<std::wstring>& out) override { out = artists; }
    void album_artist_values(std::vector<std::wstring>& out) override { out = album_artists; }
};

}  // namespace

TEST_CASE("SysLink window text: every & doubled, nothing else changed") {
    struct row {
        std::string markup;
        std::wstring text;
    };
    const row rows[] = {
        {"", L""},
        {"Earth, Wind & Fire", L"Earth, Wind && Fire"},
        {"<a>A&&B</a> & \xc3\xa9", L"<a>A&&&&B</a> && \u00e9"},
        {"a < b", L"a < b"},
    };
    for (const row& r : rows) CHECK(syslink_window_text(r.markup) == r.text);
}

TEST_CASE("SysLink markup: user text cannot form a link, links and prefixes are built as written") {
    struct row {
        const wchar_t* link;
        const wchar_t* plain;
        std::string markup;
    };
    const row rows[] = {
        {L"Song", L" [1:00]", "<a>Song</a> [1:00]"},
        {L"<a>x</a>", L"", "<a>< a > x < /a ></a>"},
        {L"a < b", L"c>d", "<a>a < b</a>c > d"},
        {L"x", L"<a href=\"y\">z", "<a>x</a>< a href=\"y\" > z"},
    };
    for (const row& r : rows) {
        syslink_text t;
        t.append_link(r.link);
        t.append_text(r.plain);
        CHECK(t.markup() == r.markup);
    }
    syslink_text a, b;
    append_prefix(a, "Navigation:");
    append_prefix(b, "You are here: ");
    CHECK(a.markup() == "Navigation: ");
    CHECK(b.markup() == "You are here: ");
}

TEST_CASE("link records: per control, by link index, replaced when the line is set again") {
    link_targets targets;
    targets.set(1068, {at(0, 0), at(1, 0)});
    targets.set(1080, {at(0, 2)});
    REQUIRE(targets.find(1068, 1) != nullptr);
    CHECK(targets.find(1068, 1)->kind == 1);
    CHECK(targets.find(1068, 2) == nullptr);
    CHECK(targets.find(1067, 0) == nullptr);
    targets.set(1068, {at(2, 1)});
    CHECK(targets.find(1068, 0)->kind == 2);
    CHECK(targets.find(1068, 1) == nullptr);
    CHECK(targets.find(1080, 0)->path.size() == 2);
    targets.clear(1080);
    CHECK(targets.find(1080, 0) == nullptr);
}

TEST_CASE("navigation line: the current place plain, the others links, with one and several music folders") {
    ensure_language();
    view_path music;
    music.kind = 1;
    music.path = folder_view_node::folder_path(L"D:\\Music");
    view_path roots;
    roots.kind = 2;
    roots.path.resize(1);
    append_folders_root_key(roots.path[0]);
    const std::string root_key = "{7644CAF4-800E-4771-B16D-D161B8B08887}";

    struct row {
        const char* name;
        view_path current;
        std::vector<std::string> folders;
        std::string markup;
        std::vector<std::string> targets;
    };
    const row rows[] = {
        {"albums, one folder", at(0, 2), {"D:\\Music"},
         "You are here: <a>Genres</a>, <a>Artists</a>, Albums, <a>Folder</a>, <a>Computer</a>",
         {"0:", "0:", "1:D:|Music", "1:"}},
        {"the one folder", music, {"D:\\Music"},
         "You are here: <a>Genres</a>, <a>Artists</a>, <a>Albums</a>, Folder, <a>Computer</a>",
         {"0:", "0:", "0:|", "1:"}},
        {"genres, two folders", at(0, 0), {"D:\\Music", "E:\\"},
         "You are here: Genres, <a>Artists</a>, <a>Albums</a>, <a>Folders</a>, <a>Computer</a>",
         {"0:", "0:|", "2:" + root_key, "1:"}},
        {"music folders, none", roots, {},
         "You are here: <a>Genres</a>, <a>Artists</a>, <a>Albums</a>, Folders, <a>Computer</a>",
         {"0:", "0:", "0:|", "1:"}},
        {"my computer", at(1, 0), {"D:\\Music"},
         "You are here: <a>Genres</a>, <a>Artists</a>, <a>Albums</a>, <a>Folder</a>, Computer",
         {"0:", "0:", "0:|", "1:D:|Music"}},
        {"a place on no entry", music, {"C:\\Other"},
         "You are here: <a>Genres</a>, <a>Artists</a>, <a>Albums</a>, <a>Folder</a>, <a>Computer</a>",
         {"0:", "0:", "0:|", "1:C:|Other", "1:"}},
    };
    for (const row& r : rows) {
        CAPTURE(r.name);
        navigation_text line;
        line.append_text(L"left over");
        build_navigation_line(line, r.current, r.folders);
        CHECK(line.markup() == r.markup);
        CHECK(describe(line.targets()) == r.targets);
    }
    // "artists" (one empty level) and "albums" (two) are told apart from "genres" (none).
    navigation_text line;
    build_navigation_line(line, at(0, 1), {});
    CHECK(line.markup() == "You are here: <a>Genres</a>, Artists, <a>Albums</a>, <a>Folders</a>, <a>Computer</a>");
}

TEST_CASE("now playing: the lines for each kind of track, in and out of library mode") {
    ensure_language();
    using s = now_playing_source;
    struct row {
        const char* name;
        std::string artist, suffix_artist, album, album_artist, date;
        std::vector<std::wstring> artists, album_artists;
        bool library_mode;
        std::string line2;
        std::vector<std::string> targets;
        std::string album_place;  // "" when none is recorded
    };
    const row rows[] = {
        {"no artist, no album", "?", "", "?", "?", "", {}, {}, true, "Unknown Artist", {}, ""},
        {"album X of 2001, artist unknown", "?", "", "X", "C", "2001", {}, {L"C"}, true,
         "Unknown Artist, from <a>X [2001]</a>", {"0:[all genres]|C|X [2001]"}, "0:[all genres]|C|X [2001]"},
        {"two artist values", "A, B", "", "?", "A, B", "", {L"A", L"B"}, {L"A", L"B"}, true,
         "by <a>A</a>, <a>B</a>", {"0:[all genres]|A", "0:[all genres]|B"}, ""},
        {"one value with a comma", "Earth, Wind & Fire", "", "?", "Earth, Wind & Fire", "", {L"Earth, Wind & Fire"},
         {L"Earth, Wind & Fire"}, true, "by <a>Earth, Wind & Fire</a>", {"0:[all genres]|Earth, Wind & Fire"}, ""},
        {"album without date", "A", "", "X", "A", "", {L"A"}, {L"A"}, true, "by <a>A</a>, from <a>X</a>",
         {"0:[all genres]|A", "0:[all genres]|A|X"}, "0:[all genres]|A|X"},
        {"track artist besides the album artist", "A", "V", "Mix", "V", "1999", {L"A"}, {L"V"}, true,
         "by <a>A</a>, from <a>Mix [1999]</a> by <a>V</a>",
         {"0:[all genres]|A", "0:[all genres]|V|Mix [1999]", "0:[all genres]|V"}, "0:[all genres]|V|Mix [1999]"},
        {"an artist the record has no value for", "Solo", "", "?", "?", "", {}, {}, true, "by <a>Solo</a>",
         {"0:[all genres]|Solo"}, ""},
        {"album artist unknown", "A", "", "X", "?", "", {L"A"}, {}, true, "by <a>A</a>, from X", {"0:[all genres]|A"}, ""},
        {"played from a folder", "A, B", "V", "X", "V", "2001", {L"A", L"B"}, {L"V"}, false,
         "by A, B, from X [2001] by V", {}, ""},
        {"markup in the names", "<a>", "", "a>b", "<a>", "", {L"<a>"}, {L"<a>"}, true,
         "by <a>< a ></a>, from <a>a > b</a>", {"0:[all genres]|<a>", "0:[all genres]|<a>|a>b"}, "0:[all genres]|<a>|a>b"},
    };
    for (const row& r : rows) {
        CAPTURE(r.name);
        fake_source source;
        source.texts[s::title] = "Song";
        source.texts[s::time] = " [0:12 / 3:45]";
        source.texts[s::artist] = r.artist;
        source.texts[s::suffix_artist] = r.suffix_artist;
        source.texts[s::album] = r.album;
        source.texts[s::album_artist] = r.album_artist;
        source.texts[s::date] = r.date;
        source.artists = r.artists;
        source.album_artists = r.album_artists;
        now_playing_lines lines;
        build_now_playing_lines(lines, source, r.library_mode);
        CHECK(lines.line1.markup() == "<a>Song</a> [0:12 / 3:45]");
        CHECK(lines.line2.markup() == r.line2);
        CHECK(describe(lines.line2.targets()) == r.targets);
        CHECK(lines.has_album_location == !r.album_place.empty());
        if (lines.has_album_location) {
            view_path place;
            place.path = lines.album_location.to_path();
            CHECK(describe(place) == r.album_place);
        }
    }
}

TEST_CASE("now playing: with no track the first line says whether playback is starting, the rest is cleared") {
    ensure_language();
    fake_source source;
    source.texts[now_playing_source::title] = "Song";
    source.texts[now_playing_source::artist] = "A";
    source.texts[now_playing_source::album] = "X";
    source.texts[now_playing_source::album_artist] = "A";
    source.artists = source.album_artists = {L"A"};
    now_playing_lines lines;
    build_now_playing_lines(lines, source, true);
    REQUIRE(lines.has_album_location);

    source.track = false;
    source.playing = true;
    build_now_playing_lines(lines, source, true);
    CHECK(lines.line1.markup() == "Starting playback...");
    CHECK(lines.line2.markup() == "");
    CHECK(lines.line2.targets().empty());
    CHECK_FALSE(lines.has_album_location);
    source.playing = false;
    build_now_playing_lines(lines, source, true);
    CHECK(lines.line1.markup() == "Playback stopped");
}
