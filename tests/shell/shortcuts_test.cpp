// Keyboard shortcuts: key texts, the built-in entries, which entries run on which path, and a key press
// reaching its command through the key-message translation.
#include <doctest/doctest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "foundation/kpl/exceptions.h"
#include "foundation/win32/hotkeys.h"
#include "shell/command_sets.h"
#include "shell/localization.h"
#include "shell/menu_nodes.h"
#include "shell/shortcut_table.h"
#include "tests/shell/shell_fixtures.h"

namespace {

std::vector<std::string> g_keys_ran;

constexpr kpl::guid k_key_command = {0x5A0C7E11, 0x0001, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 1}};
constexpr kpl::guid k_key_context = {0x5A0C7E11, 0x0002, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 2}};
constexpr kpl::guid k_gone = {0x5A0C7E11, 0x0003, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 3}};
constexpr kpl::guid k_nowhere = {0x5A0C7E11, 0x0004, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 4}};

const main_menu_command_entry k_main[] = {{k_key_command, "key command", 0}};
class key_commands final : public main_menu_command_set_base {
public:
    key_commands() : main_menu_command_set_base(k_nowhere, 0, k_main, 1) {}
    void execute(uint32_t, main_thread_callback*) override { g_keys_ran.push_back("main"); }
};
service_factory_single<key_commands, main_menu_command_set> g_key_commands;

const context_menu_command_entry k_context[] = {{k_key_context, "key context", nullptr, context_visible_always}};
class key_context final : public context_menu_command_set_base {
public:
    key_context() : context_menu_command_set_base(k_nowhere, 0.0, k_context, 1) {}
    void execute(uint32_t, const track_handle_list& tracks, service_object*) override {
        g_keys_ran.push_back("context " + std::to_string(tracks.count()));
    }
};
service_factory_single<key_context, context_menu_command_set> g_key_context;

// Hands keys to the shortcut table, as the main window does.
class table_keys final : public hotkey_handler {
public:
    bool process_key(uint32_t code) override { return shortcut_table::get().process_key(code); }
};

struct shortcut_fixture {
    shell_test::running_services services;
    shortcut_fixture() { g_keys_ran.clear(); }
    ~shortcut_fixture() { shortcut_table_set_builtin(); }
};

std::string key_text(uint32_t key) {
    kpl::utf8_string_pow2 text;
    shortcut_key_text(key, text);
    return text.c_str();
}

}  // namespace

TEST_CASE("shortcut texts: modifiers in order, the key's own modifier unnamed, fixed names, unknown keys") {
    struct text_case {
        uint32_t key;
        const char* expected;
    };
    const text_case cases[] = {
        {0x250, "Ctrl+P"},
        {0x741, "Shift+Ctrl+Alt+A"},
        {0xF41, "Shift+Ctrl+Alt+Win+A"},
        {0x921, "Shift+Win+Page Up"},
        {0x013, "Pause"},
        {0x22E, "Ctrl+Delete"},
        {0x0B3, "Play / Pause (MM)"},
        {0x8B0, "Win+Next (MM)"},
        {0x090, "Num Lock"},
        {0x311, "Shift+"},    // Ctrl held with the Ctrl key: only Shift is named, then the key's name
        {0x412, ""},          // Alt with the Alt key: no modifier named
        {0x8FF, "Win+(unknown)"},
    };
    for (const text_case& c : cases) {
        INFO(c.key);
        std::string text = key_text(c.key);
        if (c.key == 0x311 || c.key == 0x412) {
            // The names of the modifier keys themselves come from the keyboard layout.
            CHECK(text.rfind(c.expected, 0) == 0);
            CHECK(text.find("Ctrl+") == std::string::npos);
            CHECK(text.find("Alt+") == std::string::npos);
        } else {
            CHECK(text == c.expected);
        }
    }
}

TEST_CASE("shortcut table: the built-in entries, texts by kind and global flag, what each path runs") {
    shortcut_fixture fixture;
    load_language_table(0x409);
    shortcut_table& keys = shortcut_table::get();
    kpl::utf8_string_pow2 text;
    CHECK(keys.get_shortcut_text(shell_commands::preferences, kpl::guid_null, text, keyboard_shortcut::kind_main, false));
    CHECK(std::string(text.c_str()) == "Ctrl+P");
    CHECK_FALSE(keys.get_shortcut_text(shell_commands::preferences, kpl::guid_null, text, keyboard_shortcut::kind_main, true));
    CHECK_FALSE(keys.get_shortcut_text(shell_commands::preferences, kpl::guid_null, text, keyboard_shortcut::kind_context, false));
    CHECK(keys.get_shortcut_text(shell_commands::properties, kpl::guid_null, text, keyboard_shortcut::kind_context, false));
    CHECK_FALSE(keys.get_shortcut_text(shell_commands::properties, kpl::guid_null, text, keyboard_shortcut::kind_context, true));

    // Alt+Enter: nothing through process_key; the properties through process_key_for_tracks on a selection.
    shell_test::captured_log log;
    shell_test::counted_tracks none(0), two(2);
    CHECK_FALSE(keys.process_key(0x40D));
    CHECK_FALSE(keys.process_key_for_tracks(keyboard_shortcut::kind_context, none, 0x40D));
    // The properties command runs: it takes the selection's items (these stand-ins refuse to give any).
    CHECK_THROWS_AS(keys.process_key_for_tracks(keyboard_shortcut::kind_context, two, 0x40D), kpl::exception_invalid_params);
    CHECK_FALSE(keys.process_key(0x251));

    const keyboard_shortcut entries[] = {
        {0x74, 0, keyboard_shortcut::kind_main, k_key_command, kpl::guid_null},          // F5
        {0x74, 0, keyboard_shortcut::kind_main, k_key_command, kpl::guid_null},          // F5 again
        {0x275, 0, keyboard_shortcut::kind_context, k_key_context, kpl::guid_null},      // Ctrl+F6
        {0x275, 0, keyboard_shortcut::kind_context, k_key_context, kpl::guid_null},      // twice: both run
        {0x76, 0, keyboard_shortcut::kind_main, k_gone, kpl::guid_null},                 // F7: no such command
        {0x77, 0, 7, k_key_command, kpl::guid_null},                                     // F8: an unknown kind
    };
    shortcut_table_set_entries(entries, 6);
    CHECK(keys.process_key(0x74));  // the first matching entry only
    CHECK(keys.process_key_for_tracks(keyboard_shortcut::kind_context, two, 0x275));
    CHECK_FALSE(keys.process_key(0x76));
    CHECK_FALSE(keys.process_key(0x77));
    CHECK_FALSE(keys.process_key_for_tracks(7, two, 0x77));
    CHECK(keys.process_key_for_tracks(keyboard_shortcut::kind_main, none, 0x74));  // both F5 entries
    CHECK(g_keys_ran == std::vector<std::string>{"main", "context 2", "context 2", "main", "main"});
}

TEST_CASE("a key press in a window runs its command through the shortcut table") {
    shortcut_fixture fixture;
    const keyboard_shortcut entries[] = {{0x74, 0, keyboard_shortcut::kind_main, k_key_command, kpl::guid_null}};
    shortcut_table_set_entries(entries, 1);
    HWND window = CreateWindowExW(0, L"STATIC", L"keys", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    REQUIRE(window);
    table_keys handler;
    MSG message = {};
    message.hwnd = window;
    message.message = WM_KEYDOWN;
    message.wParam = VK_F5;
    CHECK(hotkey_from_key_message(message, handler, window));
    message.wParam = VK_F6;
    CHECK_FALSE(hotkey_from_key_message(message, handler, window));
    DestroyWindow(window);
    CHECK(g_keys_ran == std::vector<std::string>{"main"});
}
