// Browse actions over a browse view: the track lists of the three play modes and their start items, the
// random row order, the context menu's items, the one-folder test, main-menu ids and opened locations.
#include <doctest/doctest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "metadata/track_handle.h"
#include "metadata/track_location.h"
#include "ui/item_context_menu.h"
#include "ui/open_locations.h"
#include "ui/play_selection.h"

namespace {

using strings = std::vector<std::string>;

// A view whose rows each stand for some files; rows named in `openable` can be opened.
class fake_view final : public library_node {
public:
    int view_kind = 0;
    bool playable = true;
    std::wstring explorer;
    std::vector<std::pair<std::wstring, strings>> rows;
    std::set<std::wstring> openable;
    list_text_list texts;

    void add(const std::wstring& name, const strings& paths, bool can_be_opened = false) {
        rows.push_back({name, paths});
        texts.append(list_text(name));
        if (can_be_opened) openable.insert(name);
    }

    int kind() override { return view_kind; }
    key_list selection_to_here() override { return key_list(); }
    void set_path(const node_path&) override {}
    void get_path(node_path& out) override { out.clear(); }
    bool can_open(const key_list& selection) override {
        for (const list_text& key : selection)
            if (!openable.count(key.text())) return false;
        return !selection.empty();
    }
    bool can_go_up() override { return false; }
    bool is_leaf_level() override { return true; }
    bool is_summary_item(const list_text&) override { return false; }
    void get_tracks_of(const key_list& selection, track_list& out) override {
        kpl::list_remove_all(out);
        for (const auto& row : rows) {
            if (!selection.contains(list_text(row.first))) continue;
            for (const std::string& path : row.second) {
                track_handle_ref handle;
                track_handle_registry::get().get_handle(handle, track_location(path.c_str(), 0));
                out.append(handle);
            }
        }
    }
    void go_up() override {}
    void open(const key_list&) override {}
    const list_text_list& items() override { return texts; }
    void get_title(navigation_text& out) override { out.clear(); }
    bool get_explorer_path(std::wstring& out) override {
        out = explorer;
        return !explorer.empty();
    }
    bool has_items() override { return !rows.empty(); }
    bool can_play() override { return playable; }
};

// Numbers handed out in the order given; the test fails when more are asked for.
class queued_source final : public random_words {
public:
    std::deque<uint32_t> values;
    uint32_t next() override {
        REQUIRE_FALSE(values.empty());
        const uint32_t v = values.front();
        values.pop_front();
        return v;
    }
};

key_list keys(std::initializer_list<const wchar_t*> texts) {
    key_list out;
    for (const wchar_t* t : texts) out.append(list_text(t));
    return out;
}

std::string name_of(const track_handle_ref& handle) {
    const std::string path = handle->get_location().get_path();
    return path.substr(path.find_last_of('\\') + 1);
}

strings names_of(item_enumerator* list) {
    strings out;
    item_cursor_ref at;
    list->first(at);
    while (at) {
        track_handle_ref handle;
        at->get_handle(handle);
        out.push_back(name_of(handle));
        item_cursor_ref next;
        at->next(next);
        at = next;
    }
    return out;
}

std::string start_of(const play_list& list) {
    if (!list.start) return "-";
    track_handle_ref handle;
    list.start->get_handle(handle);
    return name_of(handle);
}

// A tag view at the songs of one album: three tracks.
void songs_level(fake_view& view) {
    view.add(L"1. a", {"file://D:\\M\\X\\a.flac"});
    view.add(L"2. b", {"file://D:\\M\\X\\b.flac"});
    view.add(L"3. c", {"file://D:\\M\\X\\c.flac"});
}

// A tag view at the albums level: two albums of two tracks, and an album without tracks.
void albums_level(fake_view& view) {
    view.add(L"X", {"file://D:\\M\\X\\x1.flac", "file://D:\\M\\X\\x2.flac"}, true);
    view.add(L"Y", {"file://D:\\M\\Y\\y1.flac", "file://D:\\M\\Y\\y2.flac"}, true);
    view.add(L"Empty", {}, true);
}

}  // namespace

TEST_CASE("play modes: the list and the start item of each mode and selection") {
    struct row {
        const char* name;
        bool albums;
        std::initializer_list<const wchar_t*> selected;
        int mode;
        bool played;
        strings list;
        std::string start;
    };
    const row rows[] = {
        {"Enter on a track plays the level from it", false, {L"2. b"}, 0, true, {"a.flac", "b.flac", "c.flac"}, "b.flac"},
        {"Enter on the first track", false, {L"1. a"}, 0, true, {"a.flac", "b.flac", "c.flac"}, "a.flac"},
        {"Play with nothing selected plays the level", false, {}, 0, true, {"a.flac", "b.flac", "c.flac"}, "-"},
        {"mode 0 over two tracks plays those", false, {L"1. a", L"3. c"}, 0, true, {"a.flac", "c.flac"}, "-"},
        {"mode 0 on an album plays the album", true, {L"Y"}, 0, true, {"y1.flac", "y2.flac"}, "-"},
        {"Play this on a track plays only it", false, {L"2. b"}, 1, true, {"b.flac"}, "-"},
        {"Play this on two albums", true, {L"Y", L"X"}, 1, true, {"x1.flac", "x2.flac", "y1.flac", "y2.flac"}, "-"},
        {"an album without tracks gives nothing", true, {L"Empty"}, 1, false, {}, "-"},
        {"random order of an album without tracks", true, {L"Empty"}, 2, false, {}, "-"},
    };
    for (const row& r : rows) {
        CAPTURE(r.name);
        fake_view view;
        if (r.albums)
            albums_level(view);
        else
            songs_level(view);
        queued_source random;
        random.values = {0, 0, 0, 0};
        play_list list;
        CHECK(make_play_list(view, keys(r.selected), r.mode, random, list) == r.played);
        if (!r.played) {
            CHECK(!list.list);
            continue;
        }
        CHECK(names_of(list.list.get()) == r.list);
        CHECK(start_of(list) == r.start);
    }
}

TEST_CASE("random order: two albums play one whole album in order, then the other, and both orders occur") {
    fake_view view;
    albums_level(view);
    std::set<strings> seen;
    for (uint32_t draw = 0; draw < 4; ++draw) {
        queued_source random;
        random.values = {draw};
        play_list list;
        REQUIRE(make_play_list(view, keys({L"X", L"Y"}), 2, random, list));
        const strings names = names_of(list.list.get());
        CHECK((names == strings{"x1.flac", "x2.flac", "y1.flac", "y2.flac"} ||
               names == strings{"y1.flac", "y2.flac", "x1.flac", "x2.flac"}));
        CHECK(start_of(list) == "-");
        seen.insert(names);
    }
    CHECK(seen.size() == 2);
}

TEST_CASE("random order: every order of three rows comes from exactly one pair of draws") {
    // Fisher-Yates over three rows draws below 3, then below 2: six equally likely draw pairs must give the
    // six orders once each (a swap of each row with any of the three places would give 27 unequal ways).
    std::map<std::vector<std::wstring>, int> orders;
    for (uint32_t first = 0; first < 3; ++first)
        for (uint32_t second = 0; second < 2; ++second) {
            queued_source random;
            random.values = {first, second};
            std::vector<list_text> rows = {list_text(L"a"), list_text(L"b"), list_text(L"c")};
            shuffle_texts(rows, random);
            CHECK(random.values.empty());
            std::vector<std::wstring> order;
            for (const list_text& t : rows) order.push_back(t.text());
            ++orders[order];
        }
    CHECK(orders.size() == 6);
    for (const auto& each : orders) CHECK(each.second == 1);

    // One row and no rows draw nothing.
    queued_source none;
    std::vector<list_text> one = {list_text(L"a")}, empty;
    shuffle_texts(one, none);
    shuffle_texts(empty, none);
}

TEST_CASE("random numbers below a bound: the draws that would favour small values are drawn again") {
    struct row {
        uint32_t bound;
        std::deque<uint32_t> draws;
        uint32_t result;
        size_t used;
    };
    const row rows[] = {
        {3, {0xFFFFFFFFu, 7}, 1, 2},            // 2^32 = 1 mod 3: the top value is drawn again
        {3, {0xFFFFFFFEu}, 0xFFFFFFFEu % 3, 1},
        {1, {0xFFFFFFFFu}, 0, 1},
        {0x80000000u, {0xFFFFFFFFu}, 0x7FFFFFFFu, 1},  // a power of two divides 2^32: nothing is drawn again
        {0xC0000000u, {0xC0000000u, 0xFFFFFFFFu, 0xBFFFFFFFu}, 0xBFFFFFFFu, 3},
        {10, {4294967290u, 4294967295u, 4294967289u}, 9, 3},
    };
    for (const row& r : rows) {
        CAPTURE(r.bound);
        queued_source random;
        random.values = r.draws;
        CHECK(random_below(random, r.bound) == r.result);
        CHECK(r.draws.size() - random.values.size() == r.used);
    }
}

TEST_CASE("random numbers from the system: different draws, all of a small bound reached") {
    crypt_random_source random;
    std::set<uint32_t> seen;
    for (int i = 0; i < 200; ++i) seen.insert(random_below(random, 4));
    CHECK(seen.size() == 4);
    CHECK(random.next() != random.next());
}

TEST_CASE("context menu: the items for each kind of selection and view") {
    using namespace item_menu;
    struct row {
        const char* name;
        int kind;
        bool playable;
        std::wstring explorer;
        std::initializer_list<const wchar_t*> selected;
        std::vector<uint32_t> ids;  // 0 = separator
        uint32_t default_id;        // 0 = none
        bool tree;
        std::wstring folder;
    };
    const row rows[] = {
        {"an album", 0, true, L"", {L"X"}, {browse, play_this, separator, go_to_folder, separator}, browse, true, L"D:\\M\\X"},
        {"a song", 0, true, L"", {L"s1"}, {start_playback_here, play_this, separator, go_to_folder, separator},
         start_playback_here, true, L"D:\\M\\X"},
        {"two albums in two folders", 0, true, L"", {L"X", L"Y"}, {browse, play_this, play_this_random_order, separator},
         browse, true, L""},
        {"two songs of one folder", 0, true, L"", {L"s1", L"s2"},
         {play_this, play_this_random_order, separator, go_to_folder, separator}, play_this, true, L"D:\\M\\X"},
        {"songs on a drive root", 0, true, L"", {L"r1", L"r2"},
         {play_this, play_this_random_order, separator, go_to_folder, separator}, play_this, true, L"C:\\"},
        {"a stream", 0, true, L"", {L"web"}, {start_playback_here, play_this, separator}, start_playback_here, true, L""},
        {"a file in the folder tree", 1, true, L"D:\\M\\X", {L"s1"}, {start_playback_here, play_this, separator},
         start_playback_here, true, L""},
        {"a subfolder in the folder tree", 1, true, L"D:\\M", {L"sub"}, {browse, play_this, separator, show_in_explorer},
         browse, false, L""},
        {"a music folder", 2, false, L"", {L"sub"}, {browse}, browse, false, L""},
        {"a row without tracks and no folder", 0, true, L"", {L"sub"}, {browse, play_this}, browse, false, L""},
    };
    for (const row& r : rows) {
        CAPTURE(r.name);
        fake_view view;
        view.view_kind = r.kind;
        view.playable = r.playable;
        view.explorer = r.explorer;
        view.add(L"X", {"file://D:\\M\\X\\x1.flac", "file://D:\\M\\X\\x2.flac"}, true);
        view.add(L"Y", {"file://D:\\M\\Y\\y1.flac"}, true);
        view.add(L"s1", {"file://D:\\M\\X\\s1.flac"});
        view.add(L"s2", {"file://D:\\M\\X\\s2.flac"});
        view.add(L"r1", {"file://C:\\r1.flac"});
        view.add(L"r2", {"file://C:\\r2.flac"});
        view.add(L"web", {"http://radio.example/stream"});
        view.add(L"sub", {}, true);
        item_menu_plan plan;
        REQUIRE(plan_item_menu(view, keys(r.selected), plan));
        std::vector<uint32_t> ids;
        uint32_t default_id = 0;
        int defaults = 0;
        for (const item_menu_entry& item : plan.items) {
            ids.push_back(item.id);
            CHECK((item.id == separator) == (item.text_id == nullptr));
            if (item.is_default) {
                default_id = item.id;
                ++defaults;
            }
        }
        CHECK(ids == r.ids);
        CHECK(default_id == r.default_id);
        CHECK(defaults <= 1);
        CHECK(plan.command_tree == r.tree);
        CHECK(plan.folder == r.folder);
        if (r.tree) CHECK(plan.tracks.count() > 0);
    }
    fake_view view;
    songs_level(view);
    item_menu_plan plan;
    CHECK_FALSE(plan_item_menu(view, key_list(), plan));
    CHECK(plan.items.empty());
}

TEST_CASE("one folder: paths of one folder give it and the names, anything else gives no Go to folder") {
    struct row {
        strings paths;
        bool one;
        std::wstring folder;
        std::vector<std::wstring> names;
    };
    const row rows[] = {
        {{"file://D:\\A\\1.flac", "file://D:\\A\\2.flac"}, true, L"D:\\A", {L"1.flac", L"2.flac"}},
        {{"file://D:\\A\\1.flac"}, true, L"D:\\A", {L"1.flac"}},
        {{"file://C:\\1.flac", "file://C:\\2.flac"}, true, L"C:\\", {L"1.flac", L"2.flac"}},
        {{"file://\\\\srv\\share\\1.flac"}, true, L"\\\\srv\\share", {L"1.flac"}},
        {{"file://D:\\A\\1.flac", "file://D:\\B\\2.flac"}, false, L"", {}},
        {{"file://D:\\A\\1.flac", "file://D:\\AB\\2.flac"}, false, L"", {}},
        {{"file://D:\\AB\\1.flac", "file://D:\\A\\2.flac"}, false, L"", {}},
        {{"file://D:\\a\\1.flac", "file://D:\\A\\2.flac"}, false, L"", {}},
        {{"file://D:\\A\\1.flac", "file://D:\\A\\sub\\2.flac"}, false, L"", {}},
        {{"http://host/a/1.mp3", "http://host/a/2.mp3"}, false, L"", {}},
        {{}, false, L"", {}},
    };
    for (const row& r : rows) {
        CAPTURE(r.paths.size());
        CAPTURE(r.paths.empty() ? std::string() : r.paths[0]);
        std::wstring folder = L"stale";
        std::vector<std::wstring> names = {L"stale"};
        CHECK(one_folder_of(r.paths, folder, names) == r.one);
        CHECK(folder == r.folder);
        CHECK(names == r.names);
    }
}

TEST_CASE("main menu ids: each group's range and the commands they stand for") {
    CHECK(main_menu_ids::first_of(0) == 1);
    CHECK(main_menu_ids::first_of(3) == 6145);
    struct row {
        uint32_t id;
        bool valid;
        uint32_t group, command;
    };
    const row rows[] = {
        {0, false, 0, 0},    {1, true, 0, 0},        {2048, true, 0, 2047}, {2049, true, 1, 0},
        {6145, true, 3, 0},  {8192, true, 3, 2047},  {8193, false, 0, 0},   {0xFFFFFFFFu, false, 0, 0},
    };
    for (const row& r : rows) {
        CAPTURE(r.id);
        uint32_t group = 99, command = 99;
        CHECK(main_menu_ids::decode(r.id, group, command) == r.valid);
        if (r.valid) {
            CHECK(group == r.group);
            CHECK(command == r.command);
        }
    }
}

namespace {
bool fake_is_directory(const std::wstring& path) { return path == L"D:\\A" || path == L"D:\\A\\Sub" || path == L"D:\\"; }
}  // namespace

TEST_CASE("opened locations: the folder, the names to select, and a lone folder opened as itself") {
    struct row {
        std::vector<std::wstring> locations;
        std::wstring folder;
        std::vector<std::wstring> names;
        bool directory_only;
    };
    const row rows[] = {
        {{L"D:\\A"}, L"D:\\A", {}, true},
        {{L"D:\\A\\Sub"}, L"D:\\A\\Sub", {}, true},
        {{L"D:\\A\\1.flac", L"D:\\A\\2.flac"}, L"D:\\A", {L"1.flac", L"2.flac"}, false},
        {{L"D:\\A\\1.flac"}, L"D:\\A", {L"1.flac"}, false},
        {{L"D:\\A", L"D:\\A\\1.flac"}, L"D:", {L"A", L"1.flac"}, false},
        {{L"x.flac", L"D:\\B\\y.flac"}, L"D:\\B", {L"x.flac", L"y.flac"}, false},
        {{L"x.flac"}, L"", {L"x.flac"}, false},
    };
    for (const row& r : rows) {
        CAPTURE(r.locations.size());
        const open_plan plan = plan_open_locations(r.locations, fake_is_directory);
        CHECK(plan.folder == r.folder);
        CHECK(plan.names == r.names);
        CHECK(plan.directory_only == r.directory_only);
    }
    CHECK(plan_open_locations({}, fake_is_directory).names.empty());
}

TEST_CASE("locations from the command line and the playing track's folder lose \"file://\"") {
    CHECK(without_file_scheme(L"file://D:\\A\\1.flac") == L"D:\\A\\1.flac");
    CHECK(without_file_scheme(L"D:\\A\\1.flac") == L"D:\\A\\1.flac");
    CHECK(without_file_scheme(L"http://host/1.mp3") == L"http://host/1.mp3");

    struct row {
        const char* path;
        bool found;
        std::vector<std::wstring> levels;
    };
    const row rows[] = {
        {"file://D:\\A\\1.flac", true, {L"D:", L"A"}},
        {"file://D:\\1.flac", true, {L"D:"}},
        {"file://\\\\srv\\share\\1.flac", true, {L"\\\\srv", L"share"}},
        {"D:\\A\\1.flac", false, {}},
        {"http://host/a\\b.mp3", false, {}},
        {"file://1.flac", false, {}},
    };
    for (const row& r : rows) {
        CAPTURE(r.path);
        view_path where;
        CHECK(playing_track_folder(r.path, where) == r.found);
        if (!r.found) continue;
        CHECK(where.kind == 1);
        std::vector<std::wstring> levels;
        for (const key_list& level : where.path) levels.push_back(level.front().text());
        CHECK(levels == r.levels);
    }
}
