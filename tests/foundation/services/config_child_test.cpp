// Child runs for tests/foundation/config_roundtrip_test.sh: each case is one process of the program's own
// start-up and shut-down path (service registry start, the configuration store's load, its save at a
// normal exit) over the profile folder named in VORN_CONFIG_PROFILE. Skipped in ordinary runs.
//
//   save every form      defaults at start, every variable changed, saved at exit
//   load every form      every variable read back with the changed values; the exit saves nothing new
//   load a damaged file  the question answered as VORN_CONFIG_ANSWER says (ok, cancel, or quiet for the
//                        quiet switch); prints "question: <text>" and "start: continued" or
//                        "start: shutdown request"
//   close the player     waits for the visible main window ("Vorn Audio Player") of the process whose program file
//                        is named VORN_CLOSE_IMAGE and posts it WM_CLOSE, as its close button would
#include <doctest/doctest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "../fs/fs_test_support.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/services/config_store.h"
#include "foundation/services/config_variable.h"
#include "foundation/services/profile_folder.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/window_text.h"

namespace {

constexpr kpl::guid k_child_text = {0x7E57C0F1, 0x0001, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 1}};
constexpr kpl::guid k_child_empty = {0x7E57C0F1, 0x0002, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 2}};
constexpr kpl::guid k_child_bool = {0x7E57C0F1, 0x0003, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 3}};
constexpr kpl::guid k_child_int = {0x7E57C0F1, 0x0004, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 4}};
constexpr kpl::guid k_child_float = {0x7E57C0F1, 0x0005, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 5}};
constexpr kpl::guid k_child_guid = {0x7E57C0F1, 0x0006, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 6}};
constexpr kpl::guid k_child_list = {0x7E57C0F1, 0x0007, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 7}};
constexpr kpl::guid k_stored_guid = {0x0BADF00D, 0x1234, 0x5678, {0x9A, 0xBC, 0xDE, 0xF0, 0x11, 0x22, 0x33, 0x44}};

// On the program's lists, like every variable of the player.
config_text g_child_text(k_child_text, "default");
config_text g_child_empty(k_child_empty, "not empty");
config_bool g_child_bool(k_child_bool, false);
config_int32 g_child_int(k_child_int, -1);
config_float g_child_float(k_child_float, 0.25f);
config_guid g_child_guid(k_child_guid, kpl::guid_null);
config_string_list g_child_list(k_child_list);

std::string changed_text() {
    std::string text = "Ünïcode ♪ ";
    while (text.size() < 600) text += "0123456789";
    return text;
}

void check_defaults() {
    CHECK(std::string(g_child_text.c_str()) == "default");
    CHECK(std::string(g_child_empty.c_str()) == "not empty");
    CHECK(g_child_bool.get() == false);
    CHECK(g_child_int.get() == -1);
    CHECK(g_child_float.get() == 0.25f);
    CHECK(g_child_guid.get() == kpl::guid_null);
    CHECK(g_child_list.get().count() == 0);
}

void change_all() {
    g_child_text = changed_text().c_str();
    g_child_empty = "";
    g_child_bool = true;
    g_child_int = 0x7FFFFFFF;
    g_child_float = -3.5e-3f;
    g_child_guid = k_stored_guid;
    g_child_list.get().append("first");
    g_child_list.get().append("");
    g_child_list.get().append("dritte Zeile");
}

void check_changed() {
    CHECK(std::string(g_child_text.c_str()) == changed_text());
    CHECK(std::string(g_child_empty.c_str()) == "");
    CHECK(g_child_bool.get() == true);
    CHECK(g_child_int.get() == 0x7FFFFFFF);
    CHECK(g_child_float.get() == -3.5e-3f);
    CHECK(g_child_guid.get() == k_stored_guid);
    REQUIRE(g_child_list.get().count() == 3);
    CHECK(g_child_list.get()[0] == "first");
    CHECK(g_child_list.get()[1] == "");
    CHECK(g_child_list.get()[2] == "dritte Zeile");
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Prints the question and answers it; with no answer given, any question fails the run.
class child_host final : public message_box_host {
public:
    explicit child_host(int answer) : m_answer(answer) {}
    int show(HWND, const win_string_param& text, const win_string_param& caption, UINT type) override {
        std::string line = text.utf8() ? text.utf8() : "";
        for (size_t at = line.find('\n'); at != std::string::npos; at = line.find('\n')) line.replace(at, 1, "\\n");
        std::printf("question: %s\n", line.c_str());
        std::printf("question style: %s %s\n", caption.get() ? "caption" : "default-caption",
                    type == UINT(MB_OKCANCEL | MB_ICONERROR) ? "ok-cancel-error" : "other");
        std::fflush(stdout);
        CHECK(m_answer != 0);
        return m_answer;
    }

private:
    int m_answer;
};

// The profile folder from the environment, set as the shell sets it. The language table of the test
// program is empty, so the I/O texts come from the file-system tests' English table.
void use_profile() {
    std::string profile = environment("VORN_CONFIG_PROFILE");
    REQUIRE_FALSE(profile.empty());
    profile_folder::set(("file://" + profile).c_str());
}

}  // namespace

TEST_CASE("config child: save every form" * doctest::skip()) {
    fs_test::english_io_texts texts;
    use_profile();
    child_host host(0);
    message_box_host_override use(host);
    config_store::set_quiet(false);
    service_registry::start();
    check_defaults();
    change_all();
    service_registry::notify_shutdown(false);
    service_registry::release_table();
}

TEST_CASE("config child: load every form" * doctest::skip()) {
    fs_test::english_io_texts texts;
    use_profile();
    child_host host(0);
    message_box_host_override use(host);
    config_store::set_quiet(false);
    service_registry::start();
    check_changed();
    service_registry::notify_shutdown(false);
    service_registry::release_table();
}

TEST_CASE("config child: load a damaged file" * doctest::skip()) {
    fs_test::english_io_texts texts;
    use_profile();
    std::string answer = environment("VORN_CONFIG_ANSWER");
    REQUIRE((answer == "ok" || answer == "cancel" || answer == "quiet"));
    child_host host(answer == "ok" ? IDOK : answer == "cancel" ? IDCANCEL : 0);
    message_box_host_override use(host);
    config_store::set_quiet(answer == "quiet");
    g_child_int = 12345;  // changed before the load: a failed load leaves it as it is
    bool shutdown = false;
    try {
        service_registry::start();
    } catch (const exception_shutdownrequest&) {
        shutdown = true;
    }
    std::printf("start: %s\n", shutdown ? "shutdown request" : "continued");
    std::fflush(stdout);
    CHECK(shutdown == (answer == "cancel"));
    CHECK(g_child_int.get() == 12345);
    CHECK(std::string(g_child_text.c_str()) == "default");
    // A normal exit saves unless the run is quiet (the player saves only after its message loop ran).
    if (answer == "ok") service_registry::notify_shutdown(false);
    service_registry::release_table();
}

namespace {

struct window_search {
    DWORD process = 0;
    HWND found = nullptr;
};

BOOL CALLBACK find_main_window(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<window_search*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    if (owner == search->process && IsWindowVisible(window) && lstrcmpW(title, L"Vorn Audio Player") == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

DWORD process_of_image(const std::wstring& image) {
    DWORD id = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !id; more = Process32NextW(snapshot, &entry)) {
        if (lstrcmpiW(entry.szExeFile, image.c_str()) == 0) id = entry.th32ProcessID;
    }
    CloseHandle(snapshot);
    return id;
}

}  // namespace

TEST_CASE("config child: close the player" * doctest::skip()) {
    std::string image = environment("VORN_CLOSE_IMAGE");
    REQUIRE_FALSE(image.empty());
    std::wstring wide_image(image.begin(), image.end());
    window_search search;
    for (int i = 0; i < 600 && !search.found; ++i) {
        search.process = process_of_image(wide_image);
        if (search.process) EnumWindows(&find_main_window, reinterpret_cast<LPARAM>(&search));
        if (!search.found) Sleep(50);
    }
    REQUIRE(search.found != nullptr);
    CHECK(PostMessageW(search.found, WM_CLOSE, 0, 0));
}
