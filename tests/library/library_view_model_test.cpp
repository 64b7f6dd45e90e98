// The tag view over tracks whose browse records are set directly (no files): keys, pseudo items, order,
// albums, titles with their link targets, playback lists and rebuilds on library changes. Also the list
// texts and the markup escaping the titles rely on.
#include <doctest/doctest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "library/library_view_model.h"
#include "shell/localization.h"

namespace doctest {
template <>
struct StringMaker<std::vector<std::string>> {
    static String convert(const std::vector<std::string>& v) {
        std::string out = "{";
        for (const auto& s : v) out += "\"" + s + "\" ";
        return (out + "}").c_str();
    }
};
}  // namespace doctest

namespace {

struct fields {
    const char* title;
    const char* artist;
    const char* album_artist;
    const char* genre;
    const char* album;
    const char* track;
    const char* date;
};

track_handle_ref make_track(const std::string& path, const fields& f, uint64_t stamp = 1) {
    track_handle_ref out;
    track_handle_registry::get().get_handle(out, track_location(("file://C:\\vm\\" + path).c_str(), 0));
    browse_fields_builder r;
    r.set(browse_title, f.title);
    r.set(browse_artist, f.artist);
    r.set(browse_album_artist, f.album_artist);
    r.set(browse_genre, f.genre);
    r.set(browse_album, f.album);
    r.set(browse_track_number, f.track);
    r.set(browse_date, f.date);
    out->set_info(r, stamp, 0, true);
    return out;
}

class fake_library final : public media_library {
public:
    std::vector<track_handle_ref> tracks;
    library_change_listener* listener = nullptr;
    bool indexing = false;

    uint32_t release() override { return 1; }
    uint32_t add_ref() override { return 1; }
    bool query(service_ref&, const kpl::guid&) override { return false; }
    bool contains(const track_handle_ref&) override { return false; }
    void enumerate(library_enum_callback&) override {}
    void list_all(library_track_list& out) override {
        kpl::list_remove_all(out);
        track_list all;
        for (const auto& t : tracks) all.append(t);
        out.insert_from(all, 0);
    }
    void show_preferences() override {}
    void register_listener(library_change_listener* l) override { listener = l; }
    void unregister_listener(library_change_listener* l) override {
        if (listener == l) listener = nullptr;
    }
    bool is_indexing() override { return indexing; }
};

struct host_log final : library_view_host {
    int changed = 0;
    std::vector<bool> indexing;
    void on_items_changed() override { ++changed; }
    void on_indexing_changed(bool on) override { indexing.push_back(on); }
};

key_list keys(std::initializer_list<const wchar_t*> texts) {
    key_list out;
    for (const wchar_t* t : texts) out.append(list_text(t));
    return out;
}

node_path path(std::initializer_list<key_list> levels) { return node_path(levels); }

std::vector<std::string> item_texts(library_node& node) {
    std::vector<std::string> out;
    for (const list_text& t : node.items()) out.push_back(t.utf8());
    return out;
}

std::vector<std::string> track_names(const track_list& list) {
    std::vector<std::string> out;
    for (uint32_t i = 0; i < list.count(); ++i) {
        std::string p = list.items()[i]->get_location().get_path();
        out.push_back(p.substr(p.rfind('\\') + 1));
    }
    return out;
}

std::vector<std::string> walk(item_enumerator& list) {
    std::vector<std::string> out;
    item_cursor_ref at;
    list.first(at);
    while (at) {
        track_handle_ref h;
        at->get_handle(h);
        std::string p = h->get_location().get_path();
        out.push_back(p.substr(p.rfind('\\') + 1));
        item_cursor_ref next;
        at->next(next);
        at = next;
    }
    return out;
}

// A path as "a|b/c": levels separated by '/', keys by '|'.
std::string path_text(const node_path& p) {
    std::string out;
    for (size_t i = 0; i < p.size(); ++i) {
        if (i) out += "/";
        bool first = true;
        for (const list_text& k : p[i]) {
            if (!first) out += "|";
            first = false;
            out += k.utf8();
        }
    }
    return out;
}

struct language_once {
    language_once() { load_language_table(0x409); }
};

void ensure_language() { static language_once once; }

using strings = std::vector<std::string>;

}  // namespace

TEST_CASE("list texts share one empty value and compare by code units; markup escapes only angle brackets") {
    list_text empty(L""), none;
    CHECK(empty.is_shared_empty());
    CHECK(none.marked() == empty.marked());
    CHECK(std::wstring(empty.marked()) == L" ");
    list_text grown(L"");
    grown.append(L"ab");
    grown.append(L"c");
    CHECK(std::wstring(grown.marked()) == L" abc");
    CHECK_FALSE(grown.is_shared_empty());
    // Logical order, code units breaking ties (Wine's StrCmpLogicalW calls these pairs equal).
    CHECK(list_text_compare_logical(list_text(L"x2"), list_text(L"x10")) < 0);
    CHECK(list_text_compare_logical(list_text(L"ABC"), list_text(L"abc")) < 0);
    CHECK(list_text_compare_logical(list_text(L"x01y"), list_text(L"x1y")) != 0);

    const struct {
        const char* in;
        const char* out;
    } cases[] = {{"a<b", "a < b"}, {"a < b", "a < b"}, {"<b", "< b"}, {"a>", "a >"}, {"a&b\"c'", "a&b\"c'"},
                 {"<<", "<  <"}};
    for (const auto& c : cases) {
        syslink_text t;
        t.append_escaped(c.in);
        CHECK_MESSAGE(t.markup() == c.out, c.in);
    }
}

TEST_CASE("a link key leads to the artists of a genre, the albums of an artist or the songs of an album") {
    const struct {
        key_list genres, artists;
        const wchar_t* album;
        const char* path;
    } cases[] = {
        {keys({}), keys({}), L"X", ""},
        {keys({L"Rock"}), keys({}), L"", "Rock"},
        {keys({L"Rock"}), keys({}), L"X", "Rock"},
        {keys({}), keys({L"A"}), L"", "[all genres]/A"},
        {keys({}), keys({L"A", L"B"}), L"X [1999]", "[all genres]/A|B/X [1999]"},
        {keys({L"Rock", L"Pop"}), keys({L"A"}), L"X", "Rock|Pop/A/X"},
    };
    for (const auto& c : cases) {
        library_view_key key;
        key.genres = c.genres;
        key.artists = c.artists;
        key.album = list_text(c.album);
        CHECK(path_text(key.to_path()) == c.path);
    }
}

TEST_CASE("levels: keys cut at \"; \", pseudo items, logical order with case kept apart") {
    ensure_language();
    fake_library lib;
    lib.tracks = {
        make_track("k1.flac", {"Track 10", "Ann", "", "Rock; Pop", "One", "10", "2001"}),
        make_track("k2.flac", {"Track 2", "Ann", "", "Rock;Pop", "One", "2", "2001"}),
        make_track("k3.flac", {"abc", "Bob", "", "Jazz", "Two", "1", "1990"}),
        make_track("k4.flac", {"ABC", "bob", "", "Jazz", "Two", "2", "1990"}),
    };
    host_log host;
    library_view_model view(host, path({}), &lib);
    CHECK(lib.listener == &view);
    CHECK(host.indexing == std::vector<bool>{false});

    const struct {
        node_path at;
        strings items;
    } cases[] = {
        {path({}), {"Jazz", "Pop", "Rock", "Rock;Pop"}},
        {path({keys({L"Rock"})}), {"[albums by all artists]", "Ann"}},
        {path({keys({L"[all genres]"})}), {"Ann", "Bob", "bob"}},
        {path({keys({L"Jazz"}), keys({})}), {"[songs from all albums]", "Bob - Two [1990]", "bob - Two [1990]"}},
        // One album: no "[songs from all albums]".
        {path({keys({L"Rock"}), keys({L"Ann"})}), {"One [2001]"}},
        {path({keys({}), keys({}), keys({L"Ann - One [2001]"})}), {"02. Track 2", "10. Track 10"}},
        // Several albums: titles only, logical order; "abc" and "ABC" adjacent and separate.
        {path({keys({}), keys({}), keys({L"[songs from all albums]"})}), {"ABC", "abc", "Track 2", "Track 10"}},
        // A pseudo item chosen with others lifts the restriction.
        {path({keys({L"Jazz", L"[all genres]"})}), {"Ann", "Bob", "bob"}},
        {path({keys({L"Jazz"}), keys({L"Bob", L"[albums by all artists]"})}), {"[songs from all albums]", "Bob - Two [1990]", "bob - Two [1990]"}},
    };
    for (const auto& c : cases) {
        view.set_path(c.at);
        CHECK_MESSAGE(item_texts(view) == c.items, path_text(c.at));
        node_path back;
        view.get_path(back);
        CHECK(back.size() == c.at.size());
    }

    view.set_path(path({keys({L"Rock"})}));
    CHECK(view.is_summary_item(list_text(L"[albums by all artists]")));
    CHECK_FALSE(view.is_summary_item(list_text(L"Ann")));
    CHECK(view.item_has_tracks(list_text(L"Ann")));
    CHECK_FALSE(view.item_has_tracks(list_text(L"Nobody")));
    track_list t;
    view.get_tracks_of(keys({L"Ann"}), t);
    CHECK(track_names(t) == strings{"k1.flac"});  // k2's genre is the one key "Rock;Pop"
    CHECK(item_texts(view) == strings{"[albums by all artists]", "Ann"});
    CHECK(view.level() == 1);
    view.set_path(path({keys({}), keys({L"Ann"}), keys({L"One [2001]"})}));
    view.get_all_tracks(t);
    CHECK(track_names(t) == strings{"k2.flac", "k1.flac"});
}

TEST_CASE("albums of the chosen artist by date, others after them with the artist suffix") {
    ensure_language();
    fake_library lib;
    lib.tracks = {
        make_track("a1.flac", {"s1", "Kim", "", "Pop", "Late", "1", "2005"}),
        make_track("a2.flac", {"s2", "Kim", "", "Pop", "Early", "1", "1999"}),
        make_track("a3.flac", {"s3", "Kim", "Various", "Pop", "Hits", "1", "2001"}),
        make_track("a4.flac", {"s4", "Kim", "Duo", "Pop", "Guest", "1", "2003"}),
    };
    host_log host;
    library_view_model view(host, path({keys({}), keys({L"Kim"})}), &lib);
    CHECK(item_texts(view) == strings{"[songs from all albums]", "Early [1999]", "Late [2005]",
                                      "Guest [2003] // Duo", "Hits [2001] // Various"});
}

TEST_CASE("title lines and their link targets") {
    ensure_language();
    fake_library lib;
    lib.tracks = {
        make_track("t1.flac", {"Song", "Earth, Wind & Fire", "", "Funk", "Gratitude", "1", "1975"}),
        make_track("t2.flac", {"Duet", "Ann; Bob", "", "Funk", "Both", "1", "1980"}),
        make_track("t3.flac", {"Lost", "", "", "Funk", "Nobody's", "1", ""}),
        make_track("t4.flac", {"a<b", "Ann", "", "Soul", "Less<More", "1", "1990"}),
    };
    host_log host;
    const struct {
        node_path at;
        const char* markup;
        strings targets;
    } cases[] = {
        {path({}), "All Genres", {}},
        {path({keys({L"[all genres]"})}), "All Artists", {}},
        {path({keys({L"Funk", L"Soul"})}), "All artists in <a>Funk</a>, <a>Soul</a>", {"Funk", "Soul"}},
        {path({keys({L"Funk"}), keys({L"Ann"})}), "<a>Funk</a> albums, artist: <a>Ann</a>",
         {"Funk", "[all genres]/Ann"}},
        {path({keys({}), keys({}), keys({L"[songs from all albums]"})}), "All Songs", {}},
        // One artist whose name holds ", ": one link, leading to that artist's albums.
        {path({keys({}), keys({L"Earth, Wind & Fire"}), keys({L"Gratitude [1975]"})}),
         "Album: <a>Gratitude [1975]</a>, artist: <a>Earth, Wind & Fire</a>",
         {"[all genres]/Earth, Wind & Fire/Gratitude [1975]", "[all genres]/Earth, Wind & Fire"}},
        // Two values: two links.
        {path({keys({}), keys({}), keys({L"Ann, Bob - Both [1980]"})}),
         "Album: <a>Both [1980]</a> // <a>Ann</a>, <a>Bob</a>",
         {"[all genres]/Ann|Bob/Both [1980]", "[all genres]/Ann", "[all genres]/Bob"}},
        // No album artist and no artist: plain text, no link.
        {path({keys({L"Funk"}), keys({}), keys({L"? - Nobody's"})}), "Album: Nobody's, genre: <a>Funk</a>", {"Funk"}},
        // '<' in a title gets its spaces.
        {path({keys({L"Soul"}), keys({L"Ann"}), keys({L"Less<More [1990]"})}),
         "Album: <a>Less < More [1990]</a>, artist: <a>Ann</a>, genre: <a>Soul</a>",
         {"[all genres]/Ann/Less<More [1990]", "[all genres]/Ann", "Soul"}},
    };
    library_view_model view(host, path({}), &lib);
    for (const auto& c : cases) {
        view.set_path(c.at);
        navigation_text title;
        view.get_title(title);
        CHECK_MESSAGE(title.markup() == c.markup, path_text(c.at));
        strings targets;
        for (const view_path& v : title.targets()) {
            CHECK(v.kind == 0);
            targets.push_back(path_text(v.path));
        }
        CHECK_MESSAGE(targets == c.targets, path_text(c.at));
    }
}

TEST_CASE("playback lists keep FLAC over OGG over MP3, and of equal scores the newer file") {
    ensure_language();
    const struct {
        const char* path;
        int score;
    } scores[] = {{"x.FLAC", 6}, {"x.wv", 5}, {"x.mpc", 4}, {"x.m4a", 3}, {"x.Ogg", 2}, {"x.mp3", 1}, {"x.wav", 0},
                  {"x", 0}, {"x.flac?1", 6}, {"a.flac\\b", 0}};
    for (const auto& s : scores) CHECK_MESSAGE(library_view_model::extension_score(s.path) == s.score, s.path);

    fake_library lib;
    const fields same = {"Same", "Ann", "", "Pop", "Dup", "1", "2000"};
    lib.tracks = {
        make_track("d.mp3", same, 50), make_track("d.ogg", same, 10), make_track("d.flac", same, 5),
        make_track("e1.mp3", {"Other", "Ann", "", "Pop", "Dup", "2", "2000"}, 10),
        make_track("e2.mp3", {"Other", "Ann", "", "Pop", "Dup", "2", "2000"}, 30),
        make_track("e3.mp3", {"Other", "Ann", "", "Pop", "Dup", "2", "2000"}, 20),
    };
    host_log host;
    library_view_model view(host, path({keys({}), keys({}), keys({L"Ann - Dup [2000]"})}), &lib);
    CHECK(item_texts(view) == strings{"01. Same", "02. Other"});
    CHECK(walk(*view.create_track_list()) == strings{"d.flac", "e2.mp3"});
    CHECK(walk(*view.create_item_track_list(keys({L"02. Other"}))) == strings{"e2.mp3"});
    track_list all;
    view.get_all_tracks(all);
    CHECK(all.count() == 6);
}

TEST_CASE("an album gathers every track whose texts give its line, each track once; deep paths follow their choices") {
    ensure_language();
    fake_library lib;
    const track_handle_ref twice = make_track("g3.flac", {"s3", "Guest", "Kim", "Pop", "Hits", "3", "2001"});
    lib.tracks = {
        make_track("g1.flac", {"s1", "Kim", "", "Pop", "Hits", "1", "2001"}),
        make_track("g2.flac", {"s2", "Kim", "Kim", "Pop", "Hits", "2", "2001"}),
        twice,
        make_track("g4.flac", {"s4", "Kim", "", "Rock", "Hits", "4", "2001"}),
        make_track("g5.flac", {"s5", "Lee", "", "Pop", "Hits", "5", "2001"}),
        twice,
        make_track("g6.flac", {"s6", "Kim", "", "Pop", "Hits", "6", "2002"}),
    };
    host_log host;
    library_view_model view(host, path({keys({}), keys({})}), &lib);
    CHECK(item_texts(view) ==
          strings{"[songs from all albums]", "Kim - Hits [2001]", "Kim - Hits [2002]", "Lee - Hits [2001]"});
    track_list t;
    view.get_tracks_of(keys({L"Kim - Hits [2001]"}), t);
    CHECK(track_names(t) == strings{"g1.flac", "g2.flac", "g3.flac", "g4.flac"});

    // Genre Pop chosen, artists and albums left open: the songs follow the genre through a change.
    view.set_path(path({keys({L"Pop"}), keys({}), keys({L"[songs from all albums]"})}));
    CHECK(item_texts(view) == strings{"s1", "s2", "s3", "s5", "s6"});
    make_track("g5.flac", {"s5", "Lee", "", "Jazz", "Hits", "5", "2001"});
    lib.listener->on_items_modified(track_list());
    CHECK(item_texts(view) == strings{"s1", "s2", "s3", "s6"});
    view.go_up();
    CHECK(item_texts(view) == strings{"[songs from all albums]", "Kim - Hits [2001]", "Kim - Hits [2002]"});
    view.go_up();
    CHECK(item_texts(view) == strings{"[albums by all artists]", "Guest", "Kim"});
}

TEST_CASE("library changes rebuild the levels; the host hears only when the items changed") {
    ensure_language();
    fake_library lib;
    lib.tracks = {make_track("r1.flac", {"One", "Ann", "", "Pop", "A", "1", ""})};
    host_log host;
    library_view_model view(host, path({keys({L"Pop"})}), &lib);
    CHECK(item_texts(view) == strings{"[albums by all artists]", "Ann"});
    track_list none;

    // A track of another genre: level 1 of Pop does not change.
    lib.tracks.push_back(make_track("r2.flac", {"Two", "Zed", "", "Jazz", "B", "1", ""}));
    lib.listener->on_items_added(none);
    CHECK(host.changed == 0);
    // A new artist in Pop.
    lib.tracks.push_back(make_track("r3.flac", {"Three", "Bea", "", "Pop", "C", "1", ""}));
    lib.listener->on_items_added(none);
    CHECK(host.changed == 1);
    CHECK(item_texts(view) == strings{"[albums by all artists]", "Ann", "Bea"});
    // Modified: Bea's track moves to Jazz.
    make_track("r3.flac", {"Three", "Bea", "", "Jazz", "C", "1", ""});
    lib.listener->on_items_modified(none);
    CHECK(host.changed == 2);
    CHECK(item_texts(view) == strings{"[albums by all artists]", "Ann"});
    // Removed.
    lib.tracks.erase(lib.tracks.begin());
    lib.listener->on_items_removed(none);
    CHECK(host.changed == 3);
    CHECK(item_texts(view) == strings{"[albums by all artists]"});
    lib.listener->on_indexing_changed(true);
    CHECK(host.indexing == std::vector<bool>{false, true});
}

TEST_CASE("a chain of lists walks its members forwards and backwards, skipping empty ones") {
    fake_library lib;
    const fields f = {"t", "a", "", "g", "b", "1", ""};
    track_list one, two;
    one.append(make_track("c1.flac", f));
    two.append(make_track("c2.flac", f));
    two.append(make_track("c3.flac", f));
    item_enumerator_ref empty = track_list_create(track_list());
    item_enumerator_ref chain =
        track_list_chain({empty, track_list_create(one), empty, track_list_create(two), empty});
    CHECK(walk(*chain) == strings{"c1.flac", "c2.flac", "c3.flac"});
    item_cursor_ref at;
    chain->last(at);
    strings back;
    while (at) {
        track_handle_ref h;
        at->get_handle(h);
        back.push_back(h->get_location().get_path());
        item_cursor_ref p;
        at->previous(p);
        at = p;
    }
    CHECK(back.size() == 3);
    CHECK(back.front().find("c3.flac") != std::string::npos);
    chain->find(at, two.items()[0].get());
    REQUIRE(at);
    item_cursor_ref next;
    at->next(next);
    REQUIRE(next);
    track_handle_ref h;
    next->get_handle(h);
    CHECK(h.get() == two.items()[1].get());
    item_cursor_ref none;
    track_list_chain({empty})->first(none);
    CHECK_FALSE(none);
}
