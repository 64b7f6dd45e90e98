// The editing aids of the Metadata tab without windows: splitting values, capitalisation, clean-up,
// auto-fill matching and its source text, the history lists, and what the commands do to the field list.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "foundation/services/service_registry.h"
#include "metadata/track_info.h"
#include "properties/autofill_match.h"
#include "properties/metadata_rows.h"
#include "properties/text_history.h"
#include "properties/text_rules.h"
#include "shell/localization.h"

namespace {

using strings = std::vector<std::string>;

const properties_field_info& field_info() {
    static bool loaded = false;
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
    if (!loaded) load_language_table(0x409);
    loaded = true;
    static properties_field_info info("COMMENT", "ARTIST;GENRE");
    return info;
}

strings values(const properties_field_model& field, uint32_t track) {
    const properties_value_list* list = field.find_values(track);
    return list ? *list : strings();
}

}  // namespace

TEST_CASE("split_value with the default separators and others") {
    const auto defaults = split_separator_list("&\r\nand\r\n,\r\n;", true);
    CHECK(defaults == strings{"&", "and", ",", ";", "\n"});
    const auto no_breaks = split_separator_list("&\r\nand\r\n,\r\n;", false);
    const auto trailing = split_separator_list("&\n", false);
    CHECK(trailing == strings{"&", ""});
    struct row {
        const char* value;
        const std::vector<std::string>* separators;
        strings expected;
    } rows[] = {
        {"Rock & Roll, Blues; Jazz and Soul", &defaults, {"Rock", "Roll", "Blues", "Jazz", "Soul"}},
        {"Rock & Roll, Blues", &defaults, {"Rock", "Roll", "Blues"}},
        {"Anderson", &defaults, {"Anderson"}},
        {"Band", &defaults, {"Band"}},
        {"Rock AND Roll", &defaults, {"Rock", "Roll"}},
        {"A&B", &defaults, {"A", "B"}},
        {"Ann & ", &defaults, {"Ann"}},
        {"  Ann, Bob  ", &defaults, {"  Ann", "Bob  "}},
        {"; ,", &defaults, {}},
        {"and more", &defaults, {"more"}},
        {"one\r\ntwo", &defaults, {"one", "two"}},
        {"one\ntwo", &no_breaks, {"one\ntwo"}},
        {"A & B", &trailing, {"A", "B"}},  // the empty separator never matches
        {"\xC3\x89T\xC3\x89 et \xC3\xA9t\xC3\xA9", new std::vector<std::string>{"ET"}, {"\xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9"}},
        {"x \xC3\xA9t\xC3\xA9 y", new std::vector<std::string>{"\xC3\x89T\xC3\x89"}, {"x", "y"}},  // letters, either case
    };
    for (const row& r : rows) {
        const std::string value(r.value);
        CAPTURE(value);
        CHECK(split_value(r.value, *r.separators) == r.expected);
    }

    properties_field_model genre("genre", 3);
    genre.set_values(0, {"Rock & Roll, Blues"});
    genre.set_values(1, {"; ,", ",,"});
    genre.set_values(2, {"Pop", "Soul and Funk"});
    split_field_values(genre, defaults);
    CHECK(values(genre, 0) == strings{"Rock", "Roll", "Blues"});
    CHECK(genre.find_values(1) == nullptr);  // nothing left: the track loses the field
    CHECK(values(genre, 2) == strings{"Pop", "Soul", "Funk"});
}

TEST_CASE("capitalize_text and clean_up_text") {
    struct row {
        const char* in;
        const char* out;
    } capitals[] = {
        {"HELLO wORLD", "Hello World"},
        {"rock'n'roll", "Rock'n'roll"},
        {"ac/dc", "Ac/Dc"},
        {"1st", "1st"},
        {"jean-luc", "Jean-luc"},
        {"o'neil", "O'neil"},
        {"(live)", "(Live)"},
        {"\"quoted\" text", "\"Quoted\" Text"},
        {"a.b;c:d|e[f]g\\h", "A.B;C:D|E[F]G\\H"},
        {"\xC3\xA9T\xC3\x89", "\xC3\x89t\xC3\xA9"},
        {"", ""},
    };
    for (const row& r : capitals) {
        CAPTURE(r.in);
        CHECK(capitalize_text(r.in) == r.out);
    }
    // Bytes after an invalid sequence are kept as they are.
    CHECK(capitalize_text(std::string("ab \xFF cd", 7)) == std::string("Ab \xFF cd", 7));
    CHECK(capitalize_text(std::string("x\xC3", 2)) == std::string("X\xC3", 2));

    struct row cleanups[] = {
        {"__my_song  title_", "my song title"},
        {"___", ""},
        {"a\tb", "a b"},
        {" _ a _ b _ ", "a b"},
        {"plain", "plain"},
    };
    for (const row& r : cleanups) {
        CAPTURE(r.in);
        CHECK(clean_up_text(r.in) == r.out);
    }
}

TEST_CASE("auto-fill: the source tail of a path and the pattern's captures") {
    struct tail_row {
        const char* path;
        const char* pattern;
        const char* tail;
    } tails[] = {
        {"C:\\Music\\Foo - Bar.mp3", "%artist% - %title%", "Foo - Bar"},
        {"C:\\Music\\Artist\\Album\\01 Title.mp3", "%artist%\\%album%\\%title%", "Artist\\Album\\01 Title"},
        {"C:\\x.flac", "%a%\\%b%\\%c%", "x"},  // the drive's double separator uses the steps up
        {"C:\\Music\\.hidden", "%title%", ""},     // a name beginning with its only '.'
        {"C:\\Music\\__my_song  v1.0_.flac", "%title%", "my song v1.0"},
        {"C:\\A\\B\\name.ext", "%artist%: %title%", "B\\name"},
        {"name", "%a%/%b%", "name"},
    };
    for (const tail_row& r : tails) {
        CAPTURE(r.path);
        CHECK(autofill_source_tail(r.path, r.pattern) == r.tail);
    }

    const properties_field_info& info = field_info();
    struct match_row {
        const char* text;
        const char* pattern;
        std::vector<std::pair<std::string, std::string>> captures;
    } matches[] = {
        {"Foo - Bar", "%artist% - %title%", {{"artist", "Foo"}, {"title", "Bar"}}},
        {"Foo -Bar", "%artist% - %title%", {{"artist", "Foo -Bar"}}},
        {"01.Title", "%tracknumber%. %title%", {{"tracknumber", "01.Title"}}},
        {"01.   Title", "%tracknumber%. %title%", {{"tracknumber", "01"}, {"title", "Title"}}},
        {"Song", "CD1 - %title%", {{"title", "Song"}}},
        {"Song  ", "%title%", {{"title", "Song"}}},
        {" Song", "%title%", {{"title", " Song"}}},
        {"01. Foo - Bar", "%tracknumber%. %artist% - %title%", {{"tracknumber", "01"}, {"artist", "Foo"}, {"title", "Bar"}}},
        {"xyz", "%a%%b%", {{"a", "xyz"}}},
        {"skip-rest", "%%-%x%", {{"x", "rest"}}},
        {"5", "%Track number%", {{"tracknumber", "5"}}},
        {"X", "%ARTIST%", {{"artist", "X"}}},
        {"calm", "%mood%", {{"mood", "calm"}}},
        {"a - b", "%x% - %x%", {{"x", "b"}}},       // the later capture of a name wins
        {"   -b", "%x%-%y%", {{"x", ""}, {"y", "b"}}},  // blanks only: an empty value, still a column
        {"text", "no fields", {}},
        {"text", "%open", {}},
        {"", "%title%", {}},
    };
    for (const match_row& r : matches) {
        const std::string text(r.text), pattern(r.pattern);
        CAPTURE(text);
        CAPTURE(pattern);
        autofill_result result(1);
        autofill_match_pattern(r.text, r.pattern, info, result, 0);
        std::vector<std::pair<std::string, std::string>> got;
        for (const auto& field : result.fields) got.emplace_back(field.name, field.values[0]);
        CHECK(got == r.captures);
    }

    CHECK(autofill_clipboard_lines("a\r\nb\r\n", 4) == strings{"a", "b", "", ""});
    CHECK(autofill_clipboard_lines("a\nb\nc", 2) == strings{"a", "b"});

    // Applying: a record found case-insensitively, a new one appended; an empty cell removes the field.
    properties_field_list fields;
    fields.emplace_back("artist", 2);
    fields.emplace_back("Mood", 2);
    fields[0].set_single_value(properties_field_model::all, "old");
    autofill_result result(2);
    autofill_match_pattern("01. Foo; Baz - Bar", "%tracknumber%. %artist% - %title%", info, result, 0);
    autofill_match_pattern("nothing here", "%tracknumber%. %artist% - %title%", info, result, 1);
    autofill_match_pattern("calm", "%mood%", info, result, 0);
    autofill_apply(result, fields, 2, info);
    REQUIRE(fields.size() == 4);
    CHECK(values(fields[0], 0) == strings{"Foo", "Baz"});  // multi-value: split at ';'
    CHECK(fields[0].find_values(1)->empty());              // the track it did not match loses the field
    CHECK(values(fields[1], 0) == strings{"calm"});
    CHECK(fields[2].name() == "tracknumber");
    CHECK(values(fields[2], 1) == strings{"nothing here"});
    CHECK(fields[3].name() == "title");
}

TEST_CASE("text history: front insertion, the limit, empty lines, the menu's commands") {
    text_history& patterns = autofill_pattern_history();
    patterns.set_text("%title%\n");
    CHECK(patterns.read() == strings{"%title%"});
    CHECK_FALSE(patterns.add(""));
    CHECK_FALSE(patterns.add("a\nb"));
    CHECK(patterns.read() == strings{"a|b", "%title%"});
    CHECK(patterns.add("%title%"));
    CHECK(patterns.read() == strings{"%title%", "a|b"});
    CHECK(patterns.get_text() == "%title%\na|b\n");

    patterns.set_text("");
    for (int i = 0; i < 11; ++i) patterns.add(("p" + std::to_string(i)).c_str());
    CHECK(patterns.read().size() == 11);
    patterns.add("p11");  // a 12th distinct pattern drops the oldest
    strings twelve = patterns.read();
    CHECK(twelve.size() == 11);
    CHECK(twelve.front() == "p11");
    CHECK(twelve.back() == "p1");

    patterns.set_text("\n\nx\n\n\ny\n");
    CHECK(patterns.read() == strings{"x", "y"});

    HWND combo = CreateWindowExW(0, L"COMBOBOX", L"", WS_POPUP | CBS_DROPDOWN, 0, 0, 100, 100, nullptr, nullptr,
                                 nullptr, nullptr);
    REQUIRE(combo != nullptr);
    patterns.load_into_combo(combo);
    CHECK(SendMessageW(combo, CB_GETCOUNT, 0, 0) == 2);
    SetWindowTextW(combo, L"y");
    CHECK(patterns.run_menu_command(combo, 2));
    CHECK(patterns.read() == strings{"x"});
    CHECK(SendMessageW(combo, CB_GETCOUNT, 0, 0) == 1);
    SetWindowTextW(combo, L"absent");
    CHECK_FALSE(patterns.run_menu_command(combo, 2));
    CHECK(patterns.run_menu_command(combo, 1));
    CHECK(patterns.read().empty());
    wchar_t typed[32] = {};
    GetWindowTextW(combo, typed, 32);
    CHECK(std::wstring(typed) == L"absent");  // wiping keeps the typed text
    DestroyWindow(combo);
    patterns.set_text("%title%");

    text_history& names = field_name_history();
    const std::string saved = names.get_text();
    CHECK(names.read().front() == "ARTIST");
    CHECK(names.read().size() == 9);
    names.add("MOOD");
    CHECK(names.read().front() == "MOOD");
    names.set_text(saved.c_str());

    struct name_row {
        const char* name;
        bool valid;
    } valid_names[] = {{"MOOD", true}, {"album artist", true}, {"", false}, {"a=b", false}, {"50%", false},
                       {"<x>", false}, {"caf\xC3\xA9", false}, {"tab\there", false}};
    for (const name_row& r : valid_names) {
        CAPTURE(r.name);
        CHECK(track_info::is_valid_field_name(r.name) == r.valid);
    }
}

TEST_CASE("Metadata commands: Remove and Crop, Copy text, Paste spreading, Paste fields, Auto track number") {
    const properties_field_info& info = field_info();
    auto make = [] {
        properties_field_list fields;
        for (const char* name : properties_field_info::standard_names) fields.emplace_back(name, 4);
        fields.emplace_back("mood", 4);
        fields.emplace_back("zeta", 4);
        fields[0].set_single_value(properties_field_model::all, "A");
        fields[13].set_single_value(properties_field_model::all, "line 1\r\nline 2");
        fields[14].set_single_value(0, "calm");
        return fields;
    };

    properties_field_list removed = make();
    CHECK(properties_remove_rows(removed, {0, 14}));
    CHECK(removed.size() == 15);
    CHECK(removed[0].name() == "artist");
    CHECK(removed[0].all_empty());
    CHECK(removed[14].name() == "zeta");

    properties_field_list cropped = make();
    properties_remove_rows(cropped, properties_other_rows(16, {0, 15}));
    CHECK(cropped.size() == 15);
    CHECK(values(cropped[0], 0) == strings{"A"});
    CHECK(cropped[13].all_empty());
    CHECK(cropped[14].name() == "zeta");

    properties_field_list fields = make();
    CHECK(properties_copy_text(fields, {0, 13, 14}, info) ==
          "Artist : A\r\nComment : line 1 (...)\r\n<MOOD> : \xC2\xABmultiple values\xC2\xBB calm");
    CHECK(properties_copy_text(fields, {13}, info) == "Comment : line 1\r\nline 2");
    CHECK(properties_value_cell_text(fields[13]) == "line 1 (...)");

    // Paste of records: one per selected row; a single-track record spreads to every track.
    properties_field_list records;
    records.emplace_back("whatever", 1);
    records[0].set_single_value(0, "one");
    records.emplace_back("other", 2);
    records[1].set_single_value(1, "second only");
    CHECK(properties_paste_records(fields, {1, 2, 3}, records, 4));
    CHECK(fields[1].name() == "title");
    for (uint32_t t = 0; t < 4; ++t) CHECK(values(fields[1], t) == strings{"one"});
    CHECK(fields[2].name() == "album");
    CHECK_FALSE(fields[2].has_values(0));
    CHECK(values(fields[2], 1) == strings{"second only"});
    CHECK_FALSE(fields[2].has_values(3));

    // Paste of text: several rows take a line each; the rows after the last line are emptied.
    CHECK(properties_paste_text(fields, {0, 4, 14}, "X; Y\r\nRock; Pop", info));
    CHECK(values(fields[0], 2) == strings{"X", "Y"});
    CHECK(values(fields[4], 3) == strings{"Rock", "Pop"});
    CHECK(fields[14].all_empty());
    CHECK(properties_paste_text(fields, {1}, "whole\r\ntext", info));
    CHECK(values(fields[1], 0) == strings{"whole\r\ntext"});
    CHECK_FALSE(properties_paste_text(fields, {}, "x", info));

    // Paste fields: an existing row (ASCII case) takes the record spread; a new one is appended as it is.
    properties_field_list pasted;
    pasted.emplace_back("GENRE", 1);
    pasted[0].set_single_value(0, "Jazz");
    pasted.emplace_back("newfield", 1);
    pasted[1].set_single_value(0, "only first");
    const std::vector<uint32_t> appended = properties_paste_fields_into(fields, pasted, 4);
    CHECK(appended == std::vector<uint32_t>{16});
    CHECK(values(fields[4], 3) == strings{"Jazz"});
    CHECK(fields[4].name() == "genre");
    CHECK(values(fields[16], 0) == strings{"only first"});
    CHECK_FALSE(fields[16].has_values(1));
    CHECK(fields[16].track_count() == 4);

    bool added = false;
    properties_field_model mood("MOOD", 4);
    CHECK(properties_add_or_replace(fields, mood, added) == 14);
    CHECK_FALSE(added);
    CHECK(properties_add_or_replace(fields, properties_field_model("brand new", 4), added) == 17);
    CHECK(added);

    const auto numbers = properties_auto_track_number(
        {"C:\\A\\1.flac", "c:\\a\\2.flac", "C:\\B\\1.flac", "C:\\A\\3.flac", "x.flac"});
    REQUIRE(numbers.size() == 2);
    const char* expected_numbers[] = {"1", "2", "1", "1", "1"};
    const char* expected_totals[] = {"2", "2", "1", "1", "1"};
    for (uint32_t t = 0; t < 5; ++t) {
        CAPTURE(t);
        CHECK(values(numbers[0], t) == strings{expected_numbers[t]});
        CHECK(values(numbers[1], t) == strings{expected_totals[t]});
    }
    CHECK(numbers[0].name() == "tracknumber");
    CHECK(numbers[1].name() == "totaltracks");
}

TEST_CASE("Metadata menu: items by selection, track count and clipboard; the Tools variant's submenu") {
    auto ids = [](const properties_menu_state& state) {
        std::vector<int> out;
        for (const properties_menu_item& item : properties_metadata_menu(state)) out.push_back(item.id);
        return out;
    };
    properties_menu_state one_row;
    one_row.selected = 1;
    CHECK(ids(one_row) == std::vector<int>{3, 4, 6, 7, 0, 9, 8, 10, 0, 15, 16, 17, 0, 5, 11, 14});
    properties_menu_state rows_one_track = one_row;
    rows_one_track.selected = 3;
    CHECK(ids(rows_one_track) == std::vector<int>{6, 7, 0, 9, 8, 10, 0, 15, 16, 17, 0, 5, 11, 14});
    properties_menu_state rows_tracks = rows_one_track;
    rows_tracks.tracks = 4;
    CHECK(ids(rows_tracks) == std::vector<int>{3, 6, 7, 0, 9, 8, 10, 0, 15, 16, 17, 0, 5, 11, 13, 14});
    properties_menu_state none;
    CHECK(ids(none) == std::vector<int>{5, 11, 14});
    properties_menu_state tools_none;
    tools_none.from_tools = true;
    const auto tools_items = properties_metadata_menu(tools_none);
    CHECK(tools_items[0].id == -1);
    CHECK(tools_items[0].in_selection);
    CHECK_FALSE(tools_items[0].enabled);

    // Defaults and greyed items.
    for (const properties_menu_item& item : properties_metadata_menu(one_row)) {
        CHECK(item.is_default == (item.id == 3));
        if (item.id == 10 || item.id == 11) CHECK_FALSE(item.enabled);
    }
    for (const properties_menu_item& item : properties_metadata_menu(none)) CHECK(item.is_default == (item.id == 5));
    properties_menu_state text = one_row;
    text.text_on_clipboard = true;
    for (const properties_menu_item& item : properties_metadata_menu(text)) {
        if (item.id == 10) CHECK(item.enabled);
        if (item.id == 11) CHECK_FALSE(item.enabled);
    }
}
