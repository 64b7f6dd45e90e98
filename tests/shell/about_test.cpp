// The about box and the licence pages: HTML escaping of the credits, the placeholder replaced (or
// removed), files written into the "about" folder (overwritten, the folder may exist), the enlarged font,
// and the box itself opening with its texts and picture.
#include <doctest/doctest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "foundation/kpl/codepage.h"
#include "foundation/win32/modal_scope.h"
#include "foundation/win32/window_text.h"
#include "resources/resource_ids.h"
#include "foundation/win32/shell.h"
#include "shell/about.h"
#include "shell/app_state.h"
#include "tests/support/gui_support.h"

namespace {

std::string read_file(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string data;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) data.append(buffer, read);
    CloseHandle(file);
    return data;
}

void write_file(const std::wstring& path, const char* text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(file != INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, text, DWORD(strlen(text)), &written, nullptr);
    CloseHandle(file);
}

std::wstring scratch_folder() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"vorn-about-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::string utf8(const std::wstring& text) { return kpl::utf8_string_from_utf16(text.c_str()).c_str(); }

}  // namespace

TEST_CASE("credits are HTML-escaped byte by byte") {
    const char* rows[][2] = {
        {"plain", "plain"},
        {"a < b & c > d", "a &lt; b &amp; c &gt; d"},
        {"\"quoted\" 'single'", "&quot;quoted&quot; &#039;single&#039;"},
        {"line one\r\nline two\n", "line one<br />line two<br />"},
        {"Ana Mar\xC3\xAD" "a", "Ana Mar\xC3\xAD" "a"},
        {"", ""},
    };
    for (const auto& row : rows) {
        kpl::utf8_string_pow2 out("x");
        html_escape_append(row[0], out);
        CHECK(std::string(out.c_str()) == std::string("x") + row[1]);
    }
}

TEST_CASE("the licence page's placeholder becomes the credits paragraph, or nothing") {
    const std::string page = "<body>\r\n<p>Localization credits here</p>\r\n</body>";
    kpl::utf8_string_pow2 out;
    licence_page_with_credits(page.data(), page.size(), "Tom & <Jerry>\r\nsecond", out);
    CHECK(std::string(out.c_str()) == "<body>\r\n<p>Tom &amp; &lt;Jerry&gt;<br />second</p>\r\n</body>");
    licence_page_with_credits(page.data(), page.size(), "", out);
    CHECK(std::string(out.c_str()) == "<body>\r\n\r\n</body>");
    const std::string without = "<body>no marker</body>";
    licence_page_with_credits(without.data(), without.size(), "credits", out);
    CHECK(std::string(out.c_str()) == without);
}

TEST_CASE("the about box's font is 1.3 times as high, rounded") {
    const int rows[][2] = {{-11, -14}, {10, 13}, {-8, -10}, {0, 0}, {-13, -17}};
    for (const auto& row : rows) CHECK(about_enlarged_font_height(row[0]) == row[1]);
}

TEST_CASE("licence pages are written into the folder, over files that exist") {
    gui_test::registry_scope registry;  // the "file://" provider
    const std::wstring root = scratch_folder();
    const std::wstring about = root + L"\\about";
    const std::string location = "file://" + utf8(about);
    licence_pages_write(location.c_str(), "Translated by A & B");
    const std::string html = read_file(about + L"\\license.html");
    CHECK(html.find("<p>Translated by A &amp; B</p>") != std::string::npos);
    CHECK(html.find("Localization credits here") == std::string::npos);
    CHECK(read_file(about + L"\\license-apache-2.0.txt").find("Apache License") != std::string::npos);

    // Again, with the folder there and the files changed: both are overwritten.
    write_file(about + L"\\license.html", "old page");
    write_file(about + L"\\license-apache-2.0.txt", "old text that is longer than nothing");
    licence_pages_write(location.c_str(), "");
    const std::string again = read_file(about + L"\\license.html");
    CHECK(again.find("old page") == std::string::npos);
    CHECK(again.find("<p></p>") == std::string::npos);
    CHECK(read_file(about + L"\\license-apache-2.0.txt").rfind("old text", 0) == std::string::npos);
    DeleteFileW((about + L"\\license.html").c_str());
    DeleteFileW((about + L"\\license-apache-2.0.txt").c_str());
    RemoveDirectoryW(about.c_str());
    RemoveDirectoryW(root.c_str());
}

namespace {

struct about_box_probe {
    static about_box_probe* current;
    bool found = false;
    std::string version;
    bool picture_owner_drawn = false;
    bool modal_while_open = false;
    static void CALLBACK on_timer(HWND, UINT, UINT_PTR id, DWORD) {
        HWND box = FindWindowW(nullptr, L"About Vorn");
        if (box == nullptr || !IsWindowVisible(box)) return;
        KillTimer(nullptr, id);
        about_box_probe& self = *current;
        self.found = true;
        kpl::utf8_string_pow2 text;
        dialog_item_get_text(box, IDC_ABOUT_VERSION, text);
        self.version = text.c_str();
        self.picture_owner_drawn = (GetWindowLongW(GetDlgItem(box, IDC_ABOUT_PICTURE), GWL_STYLE) & SS_TYPEMASK) == SS_OWNERDRAW;
        self.modal_while_open = !modal_scope::can_start();
        gui_test::pump_for(0.5);  // let it paint
        gui_test::scenario_step("about-box");
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
};
about_box_probe* about_box_probe::current = nullptr;

}  // namespace

TEST_CASE("the about box opens with its version line and picture, and closes with OK") {
    about_box_probe probe;
    about_box_probe::current = &probe;
    UINT_PTR timer = SetTimer(nullptr, 0, 50, &about_box_probe::on_timer);
    about_dialog_run("");
    KillTimer(nullptr, timer);
    CHECK(probe.found);
    CHECK(probe.version == "Vorn Audio Player v1.0.13");
    CHECK(probe.picture_owner_drawn);
    CHECK(probe.modal_while_open);
    CHECK(modal_scope::can_start());

    SUBCASE("not while another modal window is up") {
        HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        modal_scope scope(other);
        about_dialog_run("");  // returns at once: no box
        CHECK(FindWindowW(nullptr, L"About Vorn") == nullptr);
        scope.leave();
        DestroyWindow(other);
    }
}

TEST_CASE("the licence link writes the pages into the profile's about folder and opens license.html") {
    gui_test::registry_scope registry;
    struct fake_shell : shell_calls {
        std::vector<std::string> executed;
        INT_PTR execute(HWND, const win_string_param&, const char* file) override {
            executed.push_back(file);
            return 33;
        }
        shell_select_result select_in_folder(const char*, const char* const*, size_t) override {
            return {shell_select_result::opened, S_OK};
        }
        bool pick_folder(HWND, const char*, kpl::utf8_string&) override { return false; }
    } shell;
    shell_calls_override use(shell);
    const std::wstring profile = scratch_folder();
    const kpl::utf8_string_tight saved(app_state.profile_folder);
    app_state.profile_folder = ("file://" + utf8(profile)).c_str();
    licence_pages_open("Credits <here>");
    app_state.profile_folder = saved;
    REQUIRE(shell.executed.size() == 1);
    CHECK(shell.executed[0] == utf8(profile) + "\\about\\license.html");
    CHECK(read_file(profile + L"\\about\\license.html").find("<p>Credits &lt;here&gt;</p>") != std::string::npos);
    DeleteFileW((profile + L"\\about\\license.html").c_str());
    DeleteFileW((profile + L"\\about\\license-apache-2.0.txt").c_str());
    RemoveDirectoryW((profile + L"\\about").c_str());
    RemoveDirectoryW(profile.c_str());
}
