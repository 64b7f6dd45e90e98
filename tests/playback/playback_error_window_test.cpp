// The playback error window and the popup notices: the message texts of each failure kind; 33 messages and
// one "(...)" line; the quiet time after the user closed the window (on a clock the test sets, across the
// tick count's wrap) and a new start ending it; the advanced setting that turns the window off; popup
// notices from the main thread and from another one, their owner, line breaks and length bounds.
#include <doctest/doctest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "foundation/services/advanced_setting_entries.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/window_text.h"
#include "metadata/track_handle.h"
#include "playback/playback_error_window.h"
#include "playback/popup_notice.h"
#include "resources/resource_ids.h"
#include "tests/support/gui_support.h"

namespace {

void ensure_services() {
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
}

uint32_t g_now = 0;
uint32_t fake_tick() { return g_now; }

std::string text_of(HWND window) {
    kpl::utf8_string_pow2 text;
    dialog_item_get_text(window, IDC_POPUP_NOTICE_TEXT, text);
    return text.c_str();
}

std::string title_of(HWND window) {
    kpl::utf8_string_pow2 text;
    window_get_text(window, text);
    return text.c_str();
}

// The window state as each test starts: no window, no quiet time, the fake clock, popups allowed.
struct error_window_fixture {
    std::vector<std::string> observed;

    error_window_fixture() {
        ensure_services();
        if (HWND w = playback_error_window_handle()) DestroyWindow(w);
        g_now = 1000;
        playback_error_window_set_clock(&fake_tick);
        playback_error_window_reset_wait();
        advanced_settings::show_error_popups->set_state(true);
        playback_error_window_set_observer(
            [](const char* message, void* context) { static_cast<error_window_fixture*>(context)->observed.push_back(message); },
            this);
    }
    ~error_window_fixture() {
        playback_error_window_set_observer(nullptr, nullptr);
        if (HWND w = playback_error_window_handle()) DestroyWindow(w);
        playback_error_window_set_clock(nullptr);
        playback_error_window_reset_wait();
        advanced_settings::show_error_popups->set_state(true);
    }
};

struct window_search {
    std::wstring title;
    std::vector<HWND> found;
};

BOOL CALLBACK collect_titled(HWND window, LPARAM context) {
    auto* s = reinterpret_cast<window_search*>(context);
    wchar_t caption[256] = {};
    GetWindowTextW(window, caption, 255);
    if (s->title == caption) s->found.push_back(window);
    return TRUE;
}

// This thread's top-level windows titled `title`.
std::vector<HWND> windows_titled(const wchar_t* title) {
    window_search s{title, {}};
    EnumThreadWindows(GetCurrentThreadId(), &collect_titled, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

void close_all(const wchar_t* title) {
    for (HWND w : windows_titled(title)) DestroyWindow(w);
}

struct popup_request {
    HWND owner;
    char text[32];
};

DWORD WINAPI popup_from_worker(void* p) {
    auto* req = static_cast<popup_request*>(p);
    service_ptr<popup_notice_owned_service> service;
    service_class::get_single(service);
    service->show_popup_owned(req->owner, req->text, size_t(-1), "Popup test", size_t(-1));
    req->text[0] = 'X';  // the request's buffer may change once the call returned
    return 0;
}

}  // namespace

TEST_CASE("playback error messages name the failure, the position and the track") {
    ensure_services();
    track_handle_ref plain, indexed;
    track_handle_registry::get().get_handle(plain, track_location("file://C:\\music\\a.flac"));
    track_handle_registry::get().get_handle(indexed, track_location("file://C:\\music\\album.cue", 3));
    struct row {
        int kind;
        double seconds;
        const track_handle* track;
        const char* expected;
    };
    const row rows[] = {
        {0, 0.0, plain.get(), "Unable to open item for playback (Unsupported file format):\r\n\"C:\\music\\a.flac\""},
        {1, 61.25, plain.get(), "Unable to seek to 1:01.250 (Unsupported file format):\r\n\"C:\\music\\a.flac\""},
        {2, 3725.5, indexed.get(),
         "Decoding failure at 1:02:05.500 (Unsupported file format):\r\n\"C:\\music\\album.cue\" / index: 3"},
        {3, 0.001, plain.get(), "Unable to resume decoding at 0:00.001 (Unsupported file format):\r\n\"C:\\music\\a.flac\""},
        {4, 9.0, plain.get(), "Unable to parse file information (Unsupported file format):\r\n\"C:\\music\\a.flac\""},
        {0, 0.0, nullptr, "Unable to open item for playback (Unsupported file format):\r\n[invalid location]"},
        {5, 1.0, plain.get(), "Unknown error (Unsupported file format):\r\n\"C:\\music\\a.flac\""},
        {-1, 1.0, nullptr, "Unknown error (Unsupported file format)"},
    };
    for (const row& r : rows) {
        CAPTURE(r.kind);
        kpl::utf8_string_pow2 text;
        text = "left over";
        playback_error_message(text, r.kind, "Unsupported file format", r.seconds, r.track);
        CHECK(std::string(text.c_str()) == r.expected);
    }
    kpl::utf8_string_pow2 fatal;
    playback_fatal_error_message(fatal, "Audio device not found");
    CHECK(std::string(fatal.c_str()) == "Unrecoverable playback error: Audio device not found");
}

TEST_CASE("the error window holds 33 messages and one (...) line, without taking the focus") {
    error_window_fixture fixture;
    HWND focus_owner = CreateWindowExW(0, L"STATIC", L"focus owner", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                                       nullptr, nullptr, nullptr);
    SetForegroundWindow(focus_owner);
    SetActiveWindow(focus_owner);
    const HWND active_before = GetActiveWindow();

    std::string expected;
    for (int i = 1; i <= 40; ++i) {
        const std::string message = "failure " + std::to_string(i) + ":\r\nfile " + std::to_string(i);
        playback_error_window_add(message.c_str());
        if (i <= 33) expected += (i > 1 ? "\r\n\r\n" : "") + message;
        if (i == 34) expected += "\r\n\r\n(...)";
        CAPTURE(i);
        CHECK(playback_error_window_count() == uint32_t(i <= 33 ? i : 34));
    }
    HWND window = playback_error_window_handle();
    REQUIRE(window != nullptr);
    CHECK(text_of(window) == expected);
    CHECK(title_of(window) == "Playback error");
    CHECK(IsWindowVisible(window));
    CHECK(GetActiveWindow() == active_before);
    CHECK((GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME) != 0);
    CHECK(windows_titled(L"Playback error").size() == 1);
    CHECK(fixture.observed.size() == 40);  // every message reaches the observer, kept or dropped
    CHECK(fixture.observed.back() == "failure 40:\r\nfile 40");

    // The text fills the client area, also after a resize.
    SetWindowPos(window, nullptr, 0, 0, 420, 300, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client, text;
    GetClientRect(window, &client);
    GetWindowRect(GetDlgItem(window, IDC_POPUP_NOTICE_TEXT), &text);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&text), 2);
    CHECK(text.left == 0);
    CHECK(text.top == 0);
    CHECK(text.right == client.right);
    CHECK(text.bottom == client.bottom);
    gui_test::scenario_step("playback-error-window");

    // Closed: the next message starts a new window with a count of 1.
    SendMessageW(window, WM_CLOSE, 0, 0);
    CHECK(playback_error_window_handle() == nullptr);
    CHECK(playback_error_window_count() == 0);
    playback_error_window_reset_wait();
    playback_error_window_add("again");
    REQUIRE(playback_error_window_handle() != nullptr);
    CHECK(text_of(playback_error_window_handle()) == "again");
    CHECK(playback_error_window_count() == 1);
    DestroyWindow(focus_owner);
}

TEST_CASE("after the user closed the error window it stays away for 10 s, until a new start") {
    // (Each window closed here costs Wine about 2 s without a window manager, so one run covers every way
    // of closing: the close box, OK and Cancel, the last one across the tick count's wrap.)
    error_window_fixture fixture;
    struct step {
        uint32_t now;
        const char* message;
        bool shown;          // a window holds the message afterwards
        UINT close;          // then closed with this message (0: left open)
        WPARAM close_wparam;
        bool new_start;      // playback_error_window_reset_wait before the message
    };
    const step steps[] = {
        {5000, "first", true, WM_CLOSE, 0, false},
        {15000, "not more than 10 s", false, 0, 0, false},
        {15001, "late enough", true, WM_COMMAND, IDOK, false},
        {15001 + 9999, "still quiet", false, 0, 0, false},
        {0xFFFFF000u, "after a long wait", true, WM_COMMAND, IDCANCEL, false},
        {0xFFFFF000u + 10000, "quiet across the wrap", false, 0, 0, false},  // 0x00001710
        {0x00001711u, "shown after the wrap", true, 0, 0, false},
        {0x00001711u, "second message", true, WM_CLOSE, 0, false},
        {0x00001712u, "quiet again", false, 0, 0, false},
        {0x00001713u, "after a new start", true, 0, 0, true},
    };
    std::string expected_text;
    for (const step& s : steps) {
        CAPTURE(s.message);
        g_now = s.now;
        if (s.new_start) playback_error_window_reset_wait();
        const bool was_open = playback_error_window_handle() != nullptr;
        playback_error_window_add(s.message);
        HWND window = playback_error_window_handle();
        CHECK((window != nullptr) == s.shown);
        if (!window) continue;
        expected_text = was_open ? expected_text + "\r\n\r\n" + s.message : s.message;
        CHECK(text_of(window) == expected_text);
        if (s.close) {
            SendMessageW(window, s.close, s.close_wparam, 0);
            CHECK(!IsWindow(window));
            CHECK(playback_error_window_handle() == nullptr);
            CHECK(playback_error_window_count() == 0);
        }
    }
    CHECK(fixture.observed.size() == sizeof steps / sizeof steps[0]);
}

TEST_CASE("with error popups turned off no error window opens; popup notices still show") {
    error_window_fixture fixture;
    advanced_settings::show_error_popups->set_state(false);
    playback_error_window_add("hidden failure");
    CHECK(playback_error_window_handle() == nullptr);
    CHECK(fixture.observed == std::vector<std::string>{"hidden failure"});

    close_all(L"Popup while off");
    popup_notice_show("shown anyway", "Popup while off");
    std::vector<HWND> shown = windows_titled(L"Popup while off");
    REQUIRE(shown.size() == 1);
    CHECK(text_of(shown[0]) == "shown anyway");
    close_all(L"Popup while off");

    advanced_settings::show_error_popups->set_state(true);
    playback_error_window_add("shown failure");
    CHECK(playback_error_window_handle() != nullptr);
}

TEST_CASE("popup notices: line breaks, owner, lengths, and requests from another thread") {
    ensure_services();
    const wchar_t* title = L"Popup test";
    close_all(title);
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    service_ptr<popup_notice_owned_service> owned;
    service_class::get_single(owned);

    SUBCASE("main thread: shown at once, owned, lines a, b, c") {
        owned->show_popup_owned(owner, "a\r\nb\nc\r", size_t(-1), "Popup test", size_t(-1));
        std::vector<HWND> shown = windows_titled(title);
        REQUIRE(shown.size() == 1);
        CHECK(text_of(shown[0]) == "a\r\nb\r\nc");
        CHECK(GetWindow(shown[0], GW_OWNER) == owner);
        CHECK(IsWindowVisible(shown[0]));
        HWND text = GetDlgItem(shown[0], IDC_POPUP_NOTICE_TEXT);
        CHECK((SendMessageW(text, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) == 0);
        CHECK(SendMessageW(text, EM_GETLINECOUNT, 0, 0) == 3);
        // OK (Enter) closes it.
        SendMessageW(shown[0], WM_COMMAND, IDOK, 0);
        CHECK(windows_titled(title).empty());
    }
    SUBCASE("lengths bound the texts; the kind changes nothing") {
        service_ptr<popup_notice_service> plain;
        service_class::get_single(plain);
        plain->show("hello world", 5, "Popup testing", 10, 7);
        std::vector<HWND> shown = windows_titled(title);
        REQUIRE(shown.size() == 1);
        CHECK(text_of(shown[0]) == "hello");
        CHECK(title_of(shown[0]) == "Popup test");
        CHECK(GetWindow(shown[0], GW_OWNER) == nullptr);  // no owner given and no hidden window here
        close_all(title);
    }
    SUBCASE("another thread: the texts are copied and shown when the main thread runs its queue") {
        popup_request r = {owner, "from a worker\n"};
        HANDLE thread = CreateThread(nullptr, 0, &popup_from_worker, &r, 0, nullptr);
        REQUIRE(thread != nullptr);
        WaitForSingleObject(thread, 10000);
        CloseHandle(thread);
        CHECK(windows_titled(title).empty());  // not before the main thread ran its queue
        CHECK(gui_test::pump_until([&] { return !windows_titled(title).empty(); }));
        std::vector<HWND> shown = windows_titled(title);
        REQUIRE(shown.size() == 1);
        CHECK(text_of(shown[0]) == "from a worker\r\n");
        CHECK(GetWindow(shown[0], GW_OWNER) == owner);
        close_all(title);
    }
    DestroyWindow(owner);
}
