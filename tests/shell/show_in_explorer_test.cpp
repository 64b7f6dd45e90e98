// Show in Explorer: when the command applies (local files of one folder), the names selected (each file
// once, regardless of letter case), and what happens for each answer of the shell (a fake: the real call
// leaves Explorer running under Wine). Also: the about, web-site and install commands are in their menus.
#include <doctest/doctest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "foundation/services/service_registry.h"
#include "foundation/win32/modal_scope.h"
#include "foundation/win32/shell.h"
#include "foundation/win32/window_text.h"
#include "resources/resource_ids.h"
#include "metadata/track_handle.h"
#include "shell/command_model.h"
#include "shell/menu_nodes.h"
#include "shell/show_in_explorer.h"
#include "tests/support/gui_support.h"

namespace {

kpl::string_array list_of(std::initializer_list<const char*> items) {
    kpl::string_array out;
    for (const char* item : items) out.append(item);
    return out;
}

std::vector<std::string> strings(const kpl::string_array& items) {
    std::vector<std::string> out;
    for (uint32_t i = 0; i < items.count(); ++i) out.push_back(items[i].c_str());
    return out;
}

struct fake_shell : shell_calls {
    shell_select_result answer = {shell_select_result::opened, S_OK};
    std::string folder;
    std::vector<std::string> names;
    std::vector<std::string> executed;
    int selects = 0;
    INT_PTR execute(HWND, const win_string_param&, const char* file) override {
        executed.push_back(file);
        return 33;
    }
    shell_select_result select_in_folder(const char* f, const char* const* n, size_t count) override {
        ++selects;
        folder = f;
        names.assign(n, n + count);
        return answer;
    }
    bool pick_folder(HWND, const char*, kpl::utf8_string&) override { return false; }
};

track_handle_list* tracks_of(kpl::array_list<track_handle_ref>& list, std::initializer_list<const char*> paths) {
    for (const char* path : paths) {
        track_handle_ref handle;
        track_handle_registry::get().get_handle(handle, track_location(path));
        list.append(handle);
    }
    return &list;
}

// A popup notice of this thread (a window holding the notice's text control), or null.
HWND find_notice(std::string& text) {
    struct search {
        HWND found = nullptr;
        static BOOL CALLBACK each(HWND window, LPARAM data) {
            if (GetDlgItem(window, IDC_POPUP_NOTICE_TEXT) == nullptr) return TRUE;
            reinterpret_cast<search*>(data)->found = window;
            return FALSE;
        }
    } s;
    EnumThreadWindows(GetCurrentThreadId(), &search::each, reinterpret_cast<LPARAM>(&s));
    if (s.found) {
        kpl::utf8_string_pow2 value;
        dialog_item_get_text(s.found, IDC_POPUP_NOTICE_TEXT, value);
        text = value.c_str();
    }
    return s.found;
}

}  // namespace

TEST_CASE("show in explorer applies to local files of one folder") {
    struct row {
        std::initializer_list<const char*> locations;
        bool applies;
    };
    const row rows[] = {
        {{}, false},
        {{"file://C:\\Music\\a.flac"}, true},
        {{"file://C:\\Music\\a.flac", "file://C:\\Music\\b.mp3", "file://C:\\Music\\a.flac"}, true},
        {{"file://C:\\Music\\a.flac", "file://C:\\Other\\b.mp3"}, false},
        {{"file://C:\\Music\\a.flac", "file://C:\\music\\b.mp3"}, false},  // folders compare byte by byte
        {{"http://example.org/stream.ogg"}, false},
        {{"file://C:\\Music\\a.flac", "tempmem://x"}, false},
    };
    for (const row& r : rows) {
        const kpl::string_array locations = list_of(r.locations);
        INFO(locations.count() << " locations");
        CHECK(show_in_explorer_applicable_paths(locations) == r.applies);
    }
    kpl::string_array names;
    show_in_explorer_names(list_of({"file://C:\\M\\b.flac", "file://C:\\M\\A.flac", "file://C:\\M\\a.FLAC",
                                    "file://C:\\M\\b.flac"}),
                           names);
    CHECK(strings(names) == std::vector<std::string>{"A.flac", "b.flac"});
}

TEST_CASE("show in explorer asks the shell once and falls back to opening the folder") {
    gui_test::registry_scope registry;
    fake_shell shell;
    shell_calls_override use(shell);
    kpl::array_list<track_handle_ref> list;
    tracks_of(list, {"file://C:\\Music\\Live\\one.flac", "file://C:\\Music\\Live\\ONE.flac", "file://C:\\Music\\Live\\two.flac"});

    show_in_explorer_run(list);
    CHECK(shell.selects == 1);
    CHECK(shell.folder == "C:\\Music\\Live");
    CHECK(shell.names == std::vector<std::string>{"one.flac", "two.flac"});
    CHECK(shell.executed.empty());

    shell.answer = {shell_select_result::opened, E_FAIL};
    show_in_explorer_run(list);
    CHECK(shell.executed == std::vector<std::string>{"C:\\Music\\Live"});

    shell.answer = {shell_select_result::opened, E_ABORT};  // the user cancelled: nothing more
    show_in_explorer_run(list);
    CHECK(shell.executed.size() == 1);

    shell.answer = {shell_select_result::no_desktop, E_FAIL};  // silent
    show_in_explorer_run(list);
    CHECK(shell.executed.size() == 1);

    shell.answer = {shell_select_result::parse_item, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)};
    show_in_explorer_run(list);
    std::string notice;
    CHECK(gui_test::pump_until([&] { return find_notice(notice) != nullptr; }, 5));
    CHECK(notice.find(": ") != std::string::npos);           // "Information: " + the error text and code
    CHECK(notice.find("0x80070002") != std::string::npos);
    DestroyWindow(find_notice(notice));
    CHECK(shell.executed.size() == 1);

    kpl::array_list<track_handle_ref> two_folders;
    tracks_of(two_folders, {"file://C:\\A\\x.flac", "file://C:\\B\\y.flac"});
    const int before = shell.selects;
    show_in_explorer_run(two_folders);  // not applicable: nothing happens
    CHECK(shell.selects == before);
}

TEST_CASE("the about, web-site, install and show-in-explorer commands are registered under their nodes") {
    gui_test::registry_scope registry;
    struct expected {
        kpl::guid command;
        kpl::guid parent;
        bool found;
    } wanted[] = {
        {{0xEDA23441, 0x5D38, 0x4499, {0xA2, 0x2C, 0xFE, 0x0C, 0xE0, 0xA9, 0x87, 0xD9}}, menu_nodes::about_section, false},
        {{0x371A8D25, 0xDEC0, 0x4034, {0x8C, 0x5C, 0xE5, 0xB2, 0xA8, 0xBE, 0xE7, 0x1F}}, menu_nodes::about_section, false},
        {{0x420195FE, 0xFF5C, 0x48AF, {0xAD, 0x98, 0x67, 0xD2, 0xF5, 0xFE, 0x95, 0x91}}, menu_nodes::file_tail_section, false},
    };
    service_iterator sets(main_menu_command_set::class_guid);
    service_ref each;
    while (sets.next(each)) {
        main_menu_command_set* set = each.as<main_menu_command_set>();
        for (uint32_t i = 0; i < set->get_count(); ++i)
            for (expected& e : wanted)
                if (set->get_guid(i) == e.command && set->get_parent() == e.parent) e.found = true;
    }
    for (const expected& e : wanted) CHECK(e.found);

    bool explorer = false;
    service_iterator context(context_menu_command_set::class_guid);
    while (context.next(each)) {
        context_menu_command_set* set = each.as<context_menu_command_set>();
        if (set->get_count() == 1 &&
            set->get_guid(0) == kpl::guid{0xEFC1E9C8, 0xEEEF, 0x427A, {0x8F, 0x42, 0xE5, 0x78, 0x16, 0x05, 0x84, 0x6D}}) {
            explorer = true;
            CHECK(set->get_parent() == menu_nodes::context_root);
            CHECK(set->get_sort_priority() == -50.0);
            CHECK(set->get_visibility(0) == context_visible_always);
            kpl::array_list<track_handle_ref> list;
            tracks_of(list, {"file://C:\\A\\x.flac", "file://C:\\B\\y.flac"});
            kpl::utf8_string_pow2 text;
            uint32_t flags = 0;
            CHECK(set->get_display(0, list, text, flags));
            CHECK(flags == (context_display_disabled | context_display_grayed));
        }
    }
    CHECK(explorer);
}

TEST_CASE("Web site opens the address, or brings an open modal window forward instead") {
    gui_test::registry_scope registry;
    fake_shell shell;
    shell_calls_override use(shell);
    const kpl::guid web_site = {0x371A8D25, 0xDEC0, 0x4034, {0x8C, 0x5C, 0xE5, 0xB2, 0xA8, 0xBE, 0xE7, 0x1F}};
    CHECK(main_menu_command_finder::run_by_guid(web_site));
    REQUIRE(shell.executed.size() == 1);
    CHECK(shell.executed[0].rfind("https://", 0) == 0);
    HWND preferences = CreateWindowExW(0, L"STATIC", L"Preferences", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    {
        modal_scope scope(preferences);
        CHECK(main_menu_command_finder::run_by_guid(web_site));
        CHECK(shell.executed.size() == 1);  // no browser while the modal window is up
    }
    DestroyWindow(preferences);
}
