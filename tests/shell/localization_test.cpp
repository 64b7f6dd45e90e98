// The language table: language files and their faults, placeholders, the built-in choice, the system's
// error texts, the user's file (with and without a byte-order mark, unreadable, broken, too large) and
// "/lang", seen through the texts the menus are built from.
#include <doctest/doctest.h>

#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "shell/app_state.h"
#include "shell/language_file.h"
#include "shell/localization.h"
#include "shell/menu_builders.h"
#include "shell/menu_nodes.h"
#include "tests/shell/shell_fixtures.h"

namespace {

using shell_test::scratch_folder;

std::map<std::string, std::string> as_map(const localization_map& map) {
    std::map<std::string, std::string> out;
    map.for_each([&](const localization_map::node& n) { out[n.key.c_str()] = n.value.c_str(); });
    return out;
}

const char k_bom[] = "\xEF\xBB\xBF";

std::string language_file(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<localization name=\"Test\">\n" + body + "</localization>\n";
}

// A profile folder for the loader, quiet (no message boxes), restored afterwards with the English table.
struct language_fixture {
    shell_test::running_services services;
    scratch_folder profile{"vorn-language-test"};
    kpl::utf8_string_tight saved_profile = app_state.profile_folder;
    bool saved_quiet = app_state.quiet;

    language_fixture() {
        app_state.profile_folder = ("file://" + profile.path).c_str();
        app_state.quiet = true;
    }
    ~language_fixture() {
        app_state.profile_folder = saved_profile;
        app_state.quiet = saved_quiet;
        load_language_table(0x409);
    }
    std::string user_file(const std::string& content) const { return profile.file("vorn-language.xml", content); }
};

// The File menu's item texts as the menu builder makes them now.
std::vector<std::string> file_menu() {
    service_ptr<main_menu_builder> builder;
    service_class::get_single(builder);
    builder->build(menu_nodes::file_popup);
    HMENU menu = CreatePopupMenu();
    builder->fill(menu, 1, 1000, menu_build_normal);
    std::vector<std::string> lines = shell_test::menu_lines(menu);
    DestroyMenu(menu);
    return lines;
}

std::string file_popup_name() {
    service_ref node;
    service_iterator it(main_menu_section::class_guid);
    while (it.next(node)) {
        if (node.as<main_menu_section>()->get_guid() != menu_nodes::file_popup) continue;
        service_ptr<main_menu_popup> popup;
        REQUIRE(service_query(node.get(), popup));
        kpl::utf8_string_pow2 name;
        popup->get_name(name);
        return name.c_str();
    }
    return "(missing)";
}

}  // namespace

TEST_CASE("language file: entries, repeats, skipped entries, names in any case, credits, broken files") {
    struct file_case {
        const char* what;
        std::string text;
        std::map<std::string, std::string> entries;
        std::string credits;  // expected after parsing, starting from "old"
        bool broken;
    };
    const std::vector<file_case> cases = {
        {"two entries and a credit line cut at both ends",
         language_file("<entry id=\"menu_exit\" text=\"Exit\"/><entry id=\"menu_play\" text=\"Play\"/>"
                       "<copyright>\n\t Translated by A &amp; B \r\n</copyright>"),
         {{"menu_exit", "Exit"}, {"menu_play", "Play"}}, "Translated by A & B", false},
        {"a repeated id takes the later text", language_file("<entry id=\"a\" text=\"1\"/><entry id=\"a\" text=\"2\"/>"),
         {{"a", "2"}}, "old", false},
        {"entries without id or text are skipped",
         language_file("<entry text=\"x\"/><entry id=\"y\"/><entry id=\"z\" text=\"\"/>"), {{"z", ""}}, "old", false},
        {"element and attribute names in any letter case", language_file("<ENTRY Id=\"a\" TEXT=\"b\"/>"), {{"a", "b"}},
         "old", false},
        {"ids keep their case", language_file("<entry id=\"Menu_exit\" text=\"1\"/><entry id=\"menu_exit\" text=\"2\"/>"),
         {{"Menu_exit", "1"}, {"menu_exit", "2"}}, "old", false},
        {"entities in texts", language_file("<entry id=\"r\" text=\"Rock &amp; Roll &quot;live&quot;\"/>"),
         {{"r", "Rock & Roll \"live\""}}, "old", false},
        {"a byte-order mark before the declaration", k_bom + language_file("<entry id=\"a\" text=\"b\"/>"), {{"a", "b"}},
         "old", false},
        {"a credit line of only a comment leaves the credits", language_file("<copyright><!-- none --></copyright>"), {},
         "old", false},
        {"a later credit line replaces an earlier one",
         language_file("<copyright>first</copyright><copyright>second</copyright>"), {}, "second", false},
        {"other elements are ignored", language_file("<group><entry id=\"inner\" text=\"x\"/></group>"), {}, "old", false},
        {"no localization element: nothing",
         "<?xml version=\"1.0\" encoding=\"utf-8\"?><strings><entry id=\"a\" text=\"b\"/></strings>", {}, "old", false},
        {"a second localization element is broken", language_file("") + "<localization></localization>", {}, "", true},
        {"no declaration is broken", "<localization><entry id=\"a\" text=\"b\"/></localization>", {}, "", true},
        {"another encoding is broken",
         "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><localization></localization>", {}, "", true},
        {"an unclosed element is broken", "<?xml version=\"1.0\"?><localization><entry id=\"a\" text=\"b\">", {}, "",
         true},
    };
    for (const file_case& c : cases) {
        INFO(c.what);
        localization_map map;
        kpl::utf8_string_pow2 credits("old");
        if (c.broken) {
            CHECK_THROWS_AS(parse_language_file(c.text.data(), c.text.size(), map, credits), ketrel_io::exception_io_data);
            continue;
        }
        parse_language_file(c.text.data(), c.text.size(), map, credits);
        CHECK(as_map(map) == c.entries);
        CHECK(std::string(credits.c_str()) == c.credits);
    }
}

TEST_CASE("format: placeholders from the parameters; missing ids, open braces and unknown names fail untouched") {
    auto map = std::make_unique<localization_map>();
    map->set("with_code", kpl::utf8_string_tight("I/O error #{code}"));
    map->set("two", kpl::utf8_string_tight("{count} items - {items}"));
    map->set("open", kpl::utf8_string_tight("Broken {code"));
    map->set("close", kpl::utf8_string_tight("a } b {code}"));
    map->set("unknown", kpl::utf8_string_tight("{nobody}"));
    map->set("plain", kpl::utf8_string_tight("no placeholders"));
    localization_table::publish(std::move(map));

    text_params params;
    params.set("code", "5");
    params.set("count", "3");
    params.set("items", "a, b, c");
    struct format_case {
        const char* id;
        bool ok;
        const char* expected;
    };
    const format_case cases[] = {
        {"with_code", true, "I/O error #5"},  {"two", true, "3 items - a, b, c"}, {"close", true, "a } b 5"},
        {"plain", true, "no placeholders"}, {"open", false, "untouched"},          {"unknown", false, "untouched"},
        {"missing", false, "untouched"},
    };
    for (const format_case& c : cases) {
        INFO(c.id);
        kpl::utf8_string_pow2 out("untouched");
        CHECK(localization_table::format(c.id, params, out) == c.ok);
        CHECK(std::string(out.c_str()) == c.expected);
    }
    CHECK(std::string(localization_table::get_text("missing")).empty());
    CHECK(localization_table::find("missing") == nullptr);
    CHECK(std::string(localized_string("plain").c_str()) == "no placeholders");
    load_language_table(0x409);
}

TEST_CASE("built-in languages: chosen by the primary language, every sub-language alike") {
    const std::pair<uint32_t, uint16_t> cases[] = {
        {0x0404, 301}, {0x0804, 301}, {0x0407, 296}, {0x0807, 296}, {0x040B, 299}, {0x040C, 308}, {0x0C0C, 308},
        {0x040D, 302}, {0x0411, 303}, {0x0415, 291}, {0x0419, 298}, {0x041D, 307}, {0x081D, 307}, {0x0409, 293},
        {0x0410, 293}, {0, 293},
    };
    for (const auto& c : cases) {
        INFO(c.first);
        CHECK(builtin_language_resource(c.first) == c.second);
    }
}

TEST_CASE("system texts: the ten error ids a file lacks get the system's text for their code") {
    localization_map map;
    map.set("exception_io_denied", kpl::utf8_string_tight("From the file"));
    add_system_messages(map, [](uint32_t code, kpl::utf8_string& out) {
        if (code == 145) return false;  // no system text for this one
        out = "system ";
        out.append_uint(code);
        return true;
    });
    std::map<std::string, std::string> got = as_map(map);
    CHECK(got.size() == 9);
    CHECK(got["exception_io_denied"] == "From the file");
    CHECK(got["exception_io_not_found"] == "system 2");
    CHECK(got["exception_io_file_corrupted"] == "system 1392");
    CHECK(got["exception_io_no_handler_for_path"] == "system 161");
    CHECK(got.count("exception_io_directory_not_empty") == 0);
}

TEST_CASE("loading: the built-in English table, its exception texts and the menu texts built from it") {
    language_fixture fixture;
    load_language_table(0x409);
    CHECK(localization_table::count() == 218);
    CHECK(std::string(localization_table::get_text("menu_exit")) == "Exit");
    CHECK(std::string(localization_table::get_text("Menu_exit")).empty());
    CHECK(std::string(ketrel_io::exception_io_denied().what()) == "Access denied");
    CHECK(std::string(ketrel_io::exception_io::construct_with_code(1234).what()) == "I/O error #1234");
    CHECK(file_popup_name() == "File");
    CHECK(shell_test::joined(file_menu()) ==
          shell_test::joined({"Install to Removable Drive...", "Preferences...", "---", "Exit"}));
}

TEST_CASE("loading: the user's file with and without a byte-order mark, partial, and bypassed by /lang") {
    language_fixture fixture;
    const std::string body = "<entry id=\"menu_group_file\" text=\"Datei\"/><entry id=\"menu_exit\" text=\"Beenden\"/>"
                             "<entry id=\"menu_preferences\" text=\"Einstellungen &amp; mehr\"/>"
                             "<copyright> Translators </copyright>";
    for (const std::string& prefix : {std::string(), std::string(k_bom)}) {
        const char* form = prefix.empty() ? "without a byte-order mark" : "with a byte-order mark";
        INFO(form);
        fixture.user_file(prefix + language_file(body));
        load_language_table(0);
        CHECK(file_popup_name() == "Datei");
        CHECK(shell_test::joined(file_menu()) == shell_test::joined({"Einstellungen && mehr", "---", "Beenden"}));
        CHECK(std::string(localization_credits()) == "Translators");
        // Ids the file lacks are empty (no English fallback), except the system's error texts.
        CHECK(std::string(localization_table::get_text("menu_play")).empty());
        CHECK(localization_table::find("exception_io_not_found") != nullptr);
        CHECK(localization_table::count() > 3);
        CHECK(localization_table::count() <= 3 + 10);
    }

    // "/lang" with a built-in language id does not read the user's file.
    load_language_table(0x407);
    CHECK(file_popup_name() == "Datei");
    CHECK(std::string(localization_table::get_text("menu_play")) != "");
    load_language_table(0x409);
    CHECK(file_popup_name() == "File");
}

TEST_CASE("loading: a user file that cannot be read gives a message and the built-in language") {
    language_fixture fixture;
    std::string path = fixture.user_file(language_file("<entry id=\"menu_exit\" text=\"Beenden\"/>"));
    HANDLE lock = CreateFileW(shell_test::wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    REQUIRE(lock != INVALID_HANDLE_VALUE);
    shell_test::captured_log log;
    CHECK_NOTHROW(load_language_table(0));
    CloseHandle(lock);
    CHECK(log.contains("Could not read the language file \""));
    CHECK(log.contains("vorn-language.xml\": File is already in use"));
    CHECK(log.contains("The built-in language is used instead."));
    CHECK(std::string(localization_table::get_text("menu_exit")) != "Beenden");
    CHECK(localization_table::count() >= 218);
}

TEST_CASE("loading: a broken or too large user file ends the start-up quietly") {
    language_fixture fixture;
    const std::string cases[] = {
        language_file("") + "<localization/>",
        language_file("<entry id=\"a\" text=\"b\"/>") + std::string(0x100000, ' '),
        "not xml at all",
    };
    for (const std::string& content : cases) {
        fixture.user_file(content);
        try {
            load_language_table(0);
            FAIL("no shut-down request");
        } catch (const exception_shutdownrequest& e) {
            CHECK(std::string(e.what()) == "Broken or incomplete language file.");
        }
    }
    // Exactly 1 MiB is still read.
    std::string exact = language_file("<entry id=\"menu_exit\" text=\"Raus\"/>");
    exact += std::string(0x100000 - exact.size(), ' ');
    fixture.user_file(exact);
    load_language_table(0);
    CHECK(std::string(localization_table::get_text("menu_exit")) == "Raus");
}

TEST_CASE("built-in languages: every resource loads completely, with its own texts and a credit line") {
    language_fixture fixture;
    const uint32_t languages[] = {0x409, 0x415, 0x407, 0x419, 0x40B, 0x404, 0x40D, 0x411, 0x41D, 0x40C};
    std::vector<std::string> exits;
    for (uint32_t language : languages) {
        INFO(language);
        set_localization_credits("");
        load_language_table(language);
        CHECK(localization_table::count() == 218);
        CHECK(std::string(localization_credits()) != "");
        text_params params;
        params.set("code", "7");
        kpl::utf8_string_pow2 coded;
        CHECK(localization_table::format("exception_io_with_code", params, coded));
        CHECK(std::string(coded.c_str()).find('7') != std::string::npos);
        std::string exit = localization_table::get_text("menu_exit");
        CHECK(std::find(exits.begin(), exits.end(), exit) == exits.end());
        exits.push_back(exit);
    }
}
