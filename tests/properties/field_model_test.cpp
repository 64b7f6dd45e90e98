// The properties dialog's field model without windows: typed text into values, the Value column's text,
// the field list built from infos, the editor's change test, and the private clipboard block.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "foundation/services/service_registry.h"
#include "metadata/track_info.h"
#include "properties/field_clipboard.h"
#include "properties/field_model.h"
#include "properties/loaded_info_store.h"
#include "shell/localization.h"
#include "tests/properties/tag_fakes.h"

namespace {

void english() {
    static bool loaded = false;
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
    if (!loaded) load_language_table(0x409);
    loaded = true;
}

const properties_field_info& field_info() {
    english();
    static properties_field_info info("COMMENT;LYRICS", "artist;GENRE");
    return info;
}

std::vector<std::string> values(const properties_field_model& field, uint32_t track) {
    const properties_value_list* list = field.find_values(track);
    return list ? *list : std::vector<std::string>();
}

}  // namespace

TEST_CASE("set_from_text: multi-value fields split at ';' without leading spaces; others keep the text") {
    struct row {
        const char* name;
        const char* text;
        std::vector<std::string> expected;
    } rows[] = {
        {"genre", "Rock; Pop", {"Rock", "Pop"}},
        {"GENRE", "Rock ;Pop", {"Rock ", "Pop"}},          // the set ignores case; a space before ';' stays
        {"Artist", "a;;  b;", {"a", "", "b", ""}},         // empty pieces stay empty values
        {"title", "Rock; Pop", {"Rock; Pop"}},             // not multi-value: one value
        {"title", "  padded  ", {"  padded  "}},           // kept exactly
        {"genre", "", {}},                                 // empty text: no value
        {"title", "", {}},
    };
    for (const row& r : rows) {
        CAPTURE(r.name);
        CAPTURE(r.text);
        properties_field_model field(r.name, 2);
        field.set_single_value(1, "old");
        field.set_from_text(properties_field_model::all, r.text, field_info());
        CHECK(values(field, 0) == r.expected);
        CHECK(values(field, 1) == r.expected);
    }
}

TEST_CASE("display text: equal tracks joined; differing ones behind the marker, distinct, cut after 200 characters") {
    const properties_field_info& info = field_info();
    properties_field_model artist("artist", 3);
    artist.set_values(0, {"X", "Z"});
    artist.set_values(1, {"Y"});
    artist.set_values(2, {"X", "Z"});
    CHECK(artist.display_text() == "\xC2\xABmultiple values\xC2\xBB X; Z; Y");
    CHECK_FALSE(artist.all_tracks_equal());

    artist.set_values(properties_field_model::all, {"A", "B"});
    CHECK(artist.all_tracks_equal());
    CHECK(artist.display_text() == "A; B");

    // A track without an entry equals one with an empty list; both differ from a track with values.
    properties_field_model sparse("date", 2);
    sparse.values_of(1);
    CHECK(sparse.all_tracks_equal());
    CHECK(sparse.all_empty());
    sparse.set_single_value(1, "2001");
    CHECK(sparse.display_text() == "\xC2\xABmultiple values\xC2\xBB 2001");
    CHECK(properties_field_model("x", 0).all_tracks_equal() == false);

    // 150 one-letter values, each on its own track: values until the text passes 200 characters.
    properties_field_model many("title", 150);
    std::string expected = "\xC2\xABmultiple values\xC2\xBB ";
    for (uint32_t i = 0; i < 150; ++i) {
        std::string letter(1, static_cast<char>('!' + (i % 90)));
        if (i >= 90) letter += std::to_string(i);  // stays distinct
        many.set_single_value(i, letter.c_str());
    }
    const std::string shown = many.display_text();
    CHECK(shown.compare(0, expected.size(), expected) == 0);
    CHECK(shown.size() > 200);
    CHECK(shown.size() < 215);
    CHECK(shown.substr(shown.size() - 4) == " ...");
    // 101 distinct values at most, even when they are short.
    properties_field_model short_values("title", 150);
    for (uint32_t i = 0; i < 150; ++i) short_values.set_single_value(i, i < 75 ? std::string(1, 'A' + i % 26).c_str() : "");
    CHECK(short_values.display_text().find(" ...") == std::string::npos);
    (void)info;
}

TEST_CASE("field list: 14 standard rows first, the rest by name; names differing only in case are one row") {
    english();
    track_info_store a, b;
    a.meta_add("ARTIST", track_info::npos, "A1", track_info::npos);
    a.meta_add_value("A2", 0);
    a.meta_add("mood", track_info::npos, "calm", track_info::npos);
    a.meta_add("Album Artist", track_info::npos, "V", track_info::npos);
    b.meta_add("Artist", track_info::npos, "B", track_info::npos);
    b.meta_add("Zeta", track_info::npos, "z", track_info::npos);
    b.meta_add("MOOD", track_info::npos, "loud", track_info::npos);
    b.meta_add("beta", track_info::npos, "b", track_info::npos);
    const track_info* infos[] = {&a, nullptr, &b};
    properties_field_list list;
    properties_build_field_list(list, 3, [&](uint32_t i) { return infos[i]; });
    REQUIRE(list.size() == 17);
    for (uint32_t i = 0; i < 14; ++i) CHECK(list[i].name() == properties_field_info::standard_names[i]);
    CHECK(list[14].name() == "beta");
    CHECK(list[15].name() == "mood");  // as first seen
    CHECK(list[16].name() == "Zeta");
    CHECK(values(list[0], 0) == std::vector<std::string>{"A1", "A2"});
    CHECK(values(list[0], 1).empty());
    CHECK(values(list[0], 2) == std::vector<std::string>{"B"});
    CHECK(values(list[7], 0) == std::vector<std::string>{"V"});
    CHECK(values(list[15], 2) == std::vector<std::string>{"loud"});
    CHECK(list[1].track_count() == 3);

    const properties_field_info& info = field_info();
    CHECK(info.display_name("artist") == "Artist");
    CHECK(info.display_name("Album Artist") == "Album artist");
    CHECK(info.display_name("TRACKNUMBER") == "Track number");
    CHECK(info.display_name("mood") == "<MOOD>");
    CHECK(info.display_name("caf\xC3\xA9") == "<CAF\xC3\x89>");
    CHECK(info.is_multi_line("comment"));
    CHECK_FALSE(info.is_multi_line("title"));
}

TEST_CASE("editor: a file whose tags already hold the values is left alone; differences rewrite it in row order") {
    english();
    tag_fakes::reset();
    tag_fakes::add("fake://editor", {});
    track_handle_ref first = tag_fakes::handle("fake://editor", 0);
    track_handle_ref second = tag_fakes::handle("fake://editor", 1);
    track_handle_ref stranger = tag_fakes::handle("fake://other", 0);

    properties_field_list list;
    list.emplace_back("title", 2);
    list.emplace_back("artist", 2);
    list[0].set_single_value(0, "T");
    list[1].set_values(0, {"A", "B"});
    list[0].set_single_value(1, "U");
    auto editor = properties_info_editor::create({first, second}, list);
    list[0].set_single_value(0, "changed later");  // the editor works on its own copy

    struct row {
        const char* what;
        std::vector<std::pair<std::string, std::vector<std::string>>> file;
        bool changes;
    } rows[] = {
        {"same values, other order and case of names", {{"ARTIST", {"A", "B"}}, {"Title", {"T"}}}, false},
        {"a value differs", {{"title", {"T"}}, {"artist", {"A", "C"}}}, true},
        {"a value count differs", {{"title", {"T"}}, {"artist", {"A"}}}, true},
        {"a field the list lacks", {{"title", {"T"}}, {"artist", {"A", "B"}}, {"mood", {"x"}}}, true},
        {"a field the file lacks", {{"title", {"T"}}}, true},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        track_info_store info;
        for (const auto& field : r.file) {
            uint32_t index = info.meta_add(field.first.c_str(), track_info::npos, field.second[0].c_str(), track_info::npos);
            for (size_t j = 1; j < field.second.size(); ++j) info.meta_add_value(field.second[j].c_str(), index);
        }
        info.info_set("codec", track_info::npos, "FLAC", track_info::npos);
        CHECK(editor->apply(first, file_stats(), info) == r.changes);
        if (r.changes) {
            REQUIRE(info.meta_count() == 2);
            CHECK(std::string(info.meta_name(0)) == "title");
            CHECK(std::string(info.meta_name(1)) == "artist");
            CHECK(info.meta_value_count(1) == 2);
            CHECK(std::string(info.info_get_by_name("codec")) == "FLAC");
        }
    }
    track_info_store other;
    CHECK(editor->apply(second, file_stats(), other));
    CHECK(std::string(other.meta_get_first("title")) == "U");
    CHECK(other.meta_count() == 1);
    CHECK_FALSE(editor->apply(stranger, file_stats(), other));
}

TEST_CASE("clipboard block: round trip, and short or lying blocks give nothing without large allocations") {
    properties_field_list records;
    records.emplace_back("artist", 3);
    records[0].set_values(0, {"A", ""});
    records[0].set_single_value(2, "caf\xC3\xA9");
    records.emplace_back("", 1);
    const std::string block = properties_serialize_fields(records);
    CHECK(block.size() == 4 + (4 + 4 + 6 + 4 + 4 + 1 + 4 + 0 + 4 + 4 + 4 + 5) + (4 + 4 + 4));

    properties_field_list back;
    REQUIRE(properties_parse_fields(block.data(), block.size(), back));
    REQUIRE(back.size() == 2);
    CHECK(back[0].name() == "artist");
    CHECK(back[0].track_count() == 3);
    CHECK(values(back[0], 0) == std::vector<std::string>{"A", ""});
    CHECK_FALSE(back[0].has_values(1));
    CHECK(values(back[0], 2) == std::vector<std::string>{"caf\xC3\xA9"});
    CHECK(back[1].track_count() == 1);

    // Every cut of the block is refused, with the out list emptied.
    for (size_t size = 0; size < block.size(); ++size) {
        CAPTURE(size);
        properties_field_list out(3);
        CHECK_FALSE(properties_parse_fields(block.data(), size, out));
        CHECK(out.empty());
    }
    // Counts that promise more than the bytes hold: refused at once.
    struct lie {
        const char* what;
        std::string bytes;
    } lies[] = {
        {"4 billion records", std::string("\xFF\xFF\xFF\xFF", 4)},
        {"4 billion tracks", std::string("\x01\0\0\0\xFF\xFF\xFF\xFF\0\0\0\0", 12)},
        {"4 billion values", std::string("\x01\0\0\0\x01\0\0\0\0\0\0\0\xFF\xFF\xFF\x7F", 16)},
        {"a name longer than the block", std::string("\x01\0\0\0\x01\0\0\0\xF0\xFF\xFF\xFF" "ab", 14)},
    };
    for (const lie& l : lies) {
        CAPTURE(l.what);
        properties_field_list out;
        CHECK_FALSE(properties_parse_fields(l.bytes.data(), l.bytes.size(), out));
        CHECK(out.empty());
    }
}

TEST_CASE("store: entries replaced by later reads; a new store copies the entries of the previous one") {
    tag_fakes::reset();
    track_handle_ref a = tag_fakes::handle("fake://store-a");
    track_handle_ref b = tag_fakes::handle("fake://store-b");
    loaded_info_store_ptr first = loaded_info_store::create(nullptr);
    track_info_store info;
    info.meta_add("title", track_info::npos, "one", track_info::npos);
    file_stats stats;
    stats.size = 10;
    first->on_info(a, info, stats);
    info.meta_set("title", track_info::npos, "two", track_info::npos);
    loaded_info_store_ptr second = loaded_info_store::create(first.get());
    second->on_info(b, info, stats);
    info.meta_set("title", track_info::npos, "three", track_info::npos);
    second->on_info(a, info, stats);

    const track_info* seen = nullptr;
    REQUIRE(first->get_info(a.get(), seen));
    CHECK(std::string(seen->meta_get_first("title")) == "one");
    CHECK_FALSE(first->get_info(b.get(), seen));
    REQUIRE(second->get_info(a.get(), seen));
    CHECK(std::string(seen->meta_get_first("title")) == "three");
    file_stats got;
    CHECK(second->get_stats(b.get(), got));
    CHECK(got.size == 10);
    CHECK(second->count() == 2);
}
