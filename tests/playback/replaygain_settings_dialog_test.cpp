// The ReplayGain settings panel and dialog: records shown on the check box, radios, sliders and labels and
// stored back (values the panel never writes included); changes reported to the host; texts from the
// language table and the bold heading; the modal dialog opening with the record's values and applying them
// only on OK; the help link, also from inside the dialog.
#include <doctest/doctest.h>

#include <windows.h>
#include <commctrl.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/kpl/text_lookup.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/modal_scope.h"
#include "foundation/win32/shell.h"
#include "foundation/win32/window_text.h"
#include "playback/replaygain_settings_service.h"
#include "resources/resource_ids.h"
#include "tests/support/gui_support.h"

namespace {

service_ptr<replaygain_settings_service> rg_service() {
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
    service_ptr<replaygain_settings_service> s;
    service_class::get_single(s);
    return s;
}

std::string item_text(HWND dialog, int id) {
    kpl::utf8_string_pow2 text;
    dialog_item_get_text(dialog, id, text);
    return text.c_str();
}

// What the panel shows, read from its controls.
struct shown_state {
    bool active, track, album;
    int with_position, without_position;
    std::string with_label, without_label;
};

shown_state read_panel(HWND panel) {
    shown_state s;
    s.active = IsDlgButtonChecked(panel, IDC_REPLAYGAIN_ACTIVE) == BST_CHECKED;
    s.track = IsDlgButtonChecked(panel, IDC_REPLAYGAIN_TRACK) == BST_CHECKED;
    s.album = IsDlgButtonChecked(panel, IDC_REPLAYGAIN_ALBUM) == BST_CHECKED;
    s.with_position = int(SendDlgItemMessageW(panel, IDC_REPLAYGAIN_WITH_SLIDER, TBM_GETPOS, 0, 0));
    s.without_position = int(SendDlgItemMessageW(panel, IDC_REPLAYGAIN_WITHOUT_SLIDER, TBM_GETPOS, 0, 0));
    s.with_label = item_text(panel, IDC_REPLAYGAIN_WITH_VALUE);
    s.without_label = item_text(panel, IDC_REPLAYGAIN_WITHOUT_VALUE);
    return s;
}

// Moves a slider as the user's drag ends there.
void drag_slider(HWND panel, int id, int position) {
    HWND slider = GetDlgItem(panel, id);
    SendMessageW(slider, TBM_SETPOS, TRUE, position);
    SendMessageW(panel, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position), reinterpret_cast<LPARAM>(slider));
}

// A top-level window hosting the panel, recording the WM_COMMAND messages it gets.
struct host_window {
    static std::vector<std::pair<WPARAM, LPARAM>>& commands() {
        static std::vector<std::pair<WPARAM, LPARAM>> list;
        return list;
    }
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
        if (message == WM_COMMAND) commands().push_back({wparam, lparam});
        return DefWindowProcW(window, message, wparam, lparam);
    }
    HWND window = nullptr;
    host_window() {
        static ATOM atom = [] {
            WNDCLASSW c = {};
            c.lpfnWndProc = &procedure;
            c.hInstance = GetModuleHandleW(nullptr);
            c.lpszClassName = L"vorn-test-replaygain-host";
            c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
            return RegisterClassW(&c);
        }();
        REQUIRE(atom != 0);
        window = CreateWindowExW(0, L"vorn-test-replaygain-host", L"host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0,
                                 0, 500, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        REQUIRE(window != nullptr);
        commands().clear();
    }
    ~host_window() { DestroyWindow(window); }
};

bool same(const replaygain_settings& a, const replaygain_settings& b) {
    return a.source == b.source && a.processing == b.processing && a.preamp_without_gain == b.preamp_without_gain &&
           a.preamp_with_gain == b.preamp_with_gain;
}

struct recording_shell : shell_calls {
    std::vector<std::string> executed;
    INT_PTR execute(HWND, const win_string_param&, const char* file) override {
        executed.push_back(file);
        return 33;
    }
    shell_select_result select_in_folder(const char*, const char* const*, size_t) override {
        return {shell_select_result::opened, S_OK};
    }
    bool pick_folder(HWND, const char*, kpl::utf8_string&) override { return false; }
};

void click_help(HWND panel) {
    NMLINK link = {};
    link.hdr.hwndFrom = GetDlgItem(panel, IDC_REPLAYGAIN_HELP);
    link.hdr.idFrom = IDC_REPLAYGAIN_HELP;
    link.hdr.code = NM_CLICK;
    SendMessageW(panel, WM_NOTIFY, IDC_REPLAYGAIN_HELP, reinterpret_cast<LPARAM>(&link));
}

// Texts of a language table given by the test: every id of the panel as "<id>", and the help address.
bool marked_texts(const char* id, kpl::utf8_string& out) {
    if (std::strncmp(id, "replaygain_", 11) == 0 || std::strcmp(id, "dialog_ok") == 0) {
        out = "[";
        out << id << "]";
        return true;
    }
    if (std::strcmp(id, "link_replaygain") == 0) {
        out = "https://help.example/rg";
        return true;
    }
    return false;
}

}  // namespace

TEST_CASE("the ReplayGain panel shows a record and stores what it shows") {
    service_ptr<replaygain_settings_service> rg = rg_service();
    host_window host;
    const replaygain_settings first = {1, 1, -3.0f, 1.5f};
    HWND panel = rg->create_panel(first, host.window, 4321);
    REQUIRE(panel != nullptr);
    CHECK(GetDlgCtrlID(panel) == 4321);
    CHECK(GetParent(panel) == host.window);
    CHECK((GetWindowLongPtrW(panel, GWL_STYLE) & WS_VISIBLE) != 0);
    CHECK((GetWindowLongPtrW(panel, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) != 0);
    CHECK(SendDlgItemMessageW(panel, IDC_REPLAYGAIN_WITH_SLIDER, TBM_GETRANGEMIN, 0, 0) == 0);
    CHECK(SendDlgItemMessageW(panel, IDC_REPLAYGAIN_WITH_SLIDER, TBM_GETRANGEMAX, 0, 0) == 400);
    CHECK(SendDlgItemMessageW(panel, IDC_REPLAYGAIN_WITHOUT_SLIDER, TBM_GETRANGEMAX, 0, 0) == 400);

    struct row {
        replaygain_settings record;
        bool active, track;
        int with_position, without_position;
        const char* with_label;
        const char* without_label;
        replaygain_settings stored;
    };
    const row rows[] = {
        {{1, 1, -3.0f, 1.5f}, true, true, 215, 170, "+1.5dB", "-3.0dB", {1, 1, -3.0f, 1.5f}},
        // off; beyond the ends; the sign of zero
        {{2, 0, -30.0f, 25.0f}, false, false, 400, 0, "+20.0dB", "-20.0dB", {2, 0, -20.0f, 20.0f}},
        // processing values the panel never writes show as checked and are stored as 1; half a step rounds
        // away from zero; -0.04 dB is 0
        {{2, 3, -0.04f, -0.05f}, true, false, 199, 200, "-0.1dB", "\xC2\xB1" "0.0dB", {2, 1, 0.0f, -0.1f}},
        {{1, 2, 0.05f, 19.96f}, true, true, 400, 201, "+20.0dB", "+0.1dB", {1, 1, 0.1f, 20.0f}},
        // a source other than track-based shows as album-based
        {{0, 1, 0.0f, 0.0f}, true, false, 200, 200, "\xC2\xB1" "0.0dB", "\xC2\xB1" "0.0dB", {2, 1, 0.0f, 0.0f}},
    };
    for (const row& r : rows) {
        CAPTURE(r.with_label);
        CAPTURE(r.without_label);
        rg->panel_load(panel, r.record);
        const shown_state s = read_panel(panel);
        CHECK(s.active == r.active);
        CHECK(s.track == r.track);
        CHECK(s.album == !r.track);
        CHECK(s.with_position == r.with_position);
        CHECK(s.without_position == r.without_position);
        CHECK(s.with_label == r.with_label);
        CHECK(s.without_label == r.without_label);
        replaygain_settings stored = {9, 9, 99.0f, 99.0f};
        rg->panel_store(panel, stored);
        CHECK(same(stored, r.stored));
    }

    // Wider: the sliders grow with the panel, their labels move along.
    auto rect_of = [&](int id) {
        RECT r;
        GetWindowRect(GetDlgItem(panel, id), &r);
        return r;
    };
    const RECT slider_before = rect_of(IDC_REPLAYGAIN_WITHOUT_SLIDER), label_before = rect_of(IDC_REPLAYGAIN_WITHOUT_VALUE);
    RECT panel_rect;
    GetWindowRect(panel, &panel_rect);
    SetWindowPos(panel, nullptr, 0, 0, panel_rect.right - panel_rect.left + 100, panel_rect.bottom - panel_rect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    const RECT slider_after = rect_of(IDC_REPLAYGAIN_WITHOUT_SLIDER), label_after = rect_of(IDC_REPLAYGAIN_WITHOUT_VALUE);
    CHECK(slider_after.right - slider_after.left == slider_before.right - slider_before.left + 100);
    CHECK(label_after.left - label_before.left == 100);
    CHECK(label_after.right - label_after.left == label_before.right - label_before.left);

    // The first record as created: shown before any panel_load.
    HWND second = rg->create_panel(first, host.window, 4322);
    replaygain_settings stored;
    rg->panel_store(second, stored);
    CHECK(same(stored, first));
    DestroyWindow(second);
    DestroyWindow(panel);
}

TEST_CASE("the ReplayGain panel tells its host about every change the user makes") {
    service_ptr<replaygain_settings_service> rg = rg_service();
    host_window host;
    HWND panel = rg->create_panel({1, 1, 0.0f, 0.0f}, host.window, 77);
    REQUIRE(panel != nullptr);
    struct change {
        const char* what;
        void (*act)(HWND panel);
        replaygain_settings expected;
    };
    const change changes[] = {
        {"with-info slider", [](HWND p) { drag_slider(p, IDC_REPLAYGAIN_WITH_SLIDER, 300); }, {1, 1, 0.0f, 10.0f}},
        {"without-info slider", [](HWND p) { drag_slider(p, IDC_REPLAYGAIN_WITHOUT_SLIDER, 37); }, {1, 1, -16.3f, 10.0f}},
        {"check box", [](HWND p) { SendDlgItemMessageW(p, IDC_REPLAYGAIN_ACTIVE, BM_CLICK, 0, 0); }, {1, 0, -16.3f, 10.0f}},
        {"album-based", [](HWND p) { SendDlgItemMessageW(p, IDC_REPLAYGAIN_ALBUM, BM_CLICK, 0, 0); }, {2, 0, -16.3f, 10.0f}},
        {"track-based", [](HWND p) { SendDlgItemMessageW(p, IDC_REPLAYGAIN_TRACK, BM_CLICK, 0, 0); }, {1, 0, -16.3f, 10.0f}},
    };
    for (const change& c : changes) {
        CAPTURE(c.what);
        host_window::commands().clear();
        c.act(panel);
        CHECK(gui_test::pump_until([] { return !host_window::commands().empty(); }, 5.0));
        gui_test::pump_for(0.05);
        REQUIRE(host_window::commands().size() == 1);
        CHECK(LOWORD(host_window::commands()[0].first) == 77);
        CHECK(host_window::commands()[0].second == reinterpret_cast<LPARAM>(panel));
        replaygain_settings stored;
        rg->panel_store(panel, stored);
        CHECK(same(stored, c.expected));
    }
    // The labels follow the sliders.
    CHECK(item_text(panel, IDC_REPLAYGAIN_WITH_VALUE) == "+10.0dB");
    CHECK(item_text(panel, IDC_REPLAYGAIN_WITHOUT_VALUE) == "-16.3dB");
    DestroyWindow(panel);
}

TEST_CASE("the ReplayGain panel's texts come from the language table, the resource's English otherwise") {
    service_ptr<replaygain_settings_service> rg = rg_service();
    host_window host;
    struct text_row {
        int id;
        const char* english;
        const char* table;
    };
    const text_row rows[] = {
        {IDC_REPLAYGAIN_ACTIVE, "Use ReplayGain information to adjust loudness:", "[replaygain_active]"},
        {IDC_REPLAYGAIN_TRACK, "track-based", "[replaygain_track]"},
        {IDC_REPLAYGAIN_ALBUM, "album-based", "[replaygain_album]"},
        {IDC_REPLAYGAIN_PREAMP_HEADING, "Preamp", "[replaygain_preamp]"},
        {IDC_REPLAYGAIN_WITH_LABEL, "With RG info:", "[replaygain_label_withrg]"},
        {IDC_REPLAYGAIN_WITHOUT_LABEL, "Without RG info:", "[replaygain_label_withoutrg]"},
        {IDC_REPLAYGAIN_HELP, "<a>What is ReplayGain?</a>", "<a>[replaygain_help]</a>"},
    };
    for (bool with_table : {false, true}) {
        CAPTURE(with_table);
        kpl::text_lookup_function previous = kpl::set_text_lookup(with_table ? &marked_texts : nullptr);
        HWND panel = rg->create_panel(replaygain_settings_defaults(), host.window, 5);
        kpl::set_text_lookup(previous);
        REQUIRE(panel != nullptr);
        for (const text_row& r : rows) {
            CAPTURE(r.id);
            CHECK(item_text(panel, r.id) == (with_table ? r.table : r.english));
        }
        // The heading: bold, 1.1 times the dialog font.
        LOGFONTW dialog_font = {}, heading = {};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(panel, WM_GETFONT, 0, 0)), sizeof dialog_font, &dialog_font);
        HFONT heading_font = reinterpret_cast<HFONT>(SendDlgItemMessageW(panel, IDC_REPLAYGAIN_PREAMP_HEADING, WM_GETFONT, 0, 0));
        REQUIRE(heading_font != nullptr);
        GetObjectW(heading_font, sizeof heading, &heading);
        CHECK(heading.lfWeight == FW_BOLD);
        CHECK(heading.lfHeight == LONG(std::floor(dialog_font.lfHeight * 1.1 + 0.5)));
        DestroyWindow(panel);
    }
}

namespace {

// Runs inside the modal dialog's loop (a thread timer): checks what the dialog shows, makes the changes
// and presses the button.
struct dialog_probe {
    const wchar_t* caption;
    UINT button;
    bool found = false;
    bool shown_right = false;
    bool placed_right = false;
    bool help_opened_inside = false;
    recording_shell* shell = nullptr;

    static dialog_probe* current;
    static void CALLBACK on_timer(HWND, UINT, UINT_PTR, DWORD) {
        dialog_probe& p = *current;
        if (p.found) return;
        HWND dialog = FindWindowW(nullptr, p.caption);
        if (!dialog || !IsWindowVisible(dialog)) return;  // the dialog shows once its loop first idles
        p.found = true;
        HWND panel = GetDlgItem(dialog, IDC_REPLAYGAIN_PANEL);
        if (!panel) return;
        const shown_state s = read_panel(panel);
        p.shown_right = s.active && s.track && !s.album && s.with_position == 185 && s.without_position == 260 &&
                        s.with_label == "-1.5dB" && s.without_label == "+6.0dB";
        RECT client, placed;
        GetClientRect(dialog, &client);
        GetWindowRect(panel, &placed);
        const int margin = (client.right - (placed.right - placed.left)) / 2;
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&placed), 2);
        p.placed_right = margin >= 0 && placed.left == margin && placed.top == margin;
        if (p.shell) {
            click_help(panel);
            p.help_opened_inside = p.shell->executed.size() == 1;
        }
        gui_test::scenario_step("replaygain-dialog");
        SendDlgItemMessageW(panel, IDC_REPLAYGAIN_ACTIVE, BM_CLICK, 0, 0);
        SendDlgItemMessageW(panel, IDC_REPLAYGAIN_ALBUM, BM_CLICK, 0, 0);
        drag_slider(panel, IDC_REPLAYGAIN_WITH_SLIDER, 225);
        PostMessageW(dialog, WM_COMMAND, p.button, 0);
    }
};
dialog_probe* dialog_probe::current = nullptr;

}  // namespace

TEST_CASE("the ReplayGain dialog opens with the record's values and applies the panel only on OK") {
    service_ptr<replaygain_settings_service> rg = rg_service();
    const replaygain_settings record = {1, 2, 6.0f, -1.5f};
    struct run {
        const char* name;
        const wchar_t* caption;
        UINT button;
        bool result;
        replaygain_settings after;
    };
    const run runs[] = {
        {"Kitchen", L"ReplayGain Settings - Kitchen", IDOK, true, {2, 0, 6.0f, 2.5f}},
        {"", L"ReplayGain Settings", IDCANCEL, false, record},
        {nullptr, L"ReplayGain Settings", IDOK, true, {2, 0, 6.0f, 2.5f}},
    };
    for (const run& r : runs) {
        CAPTURE(r.button);
        recording_shell shell;
        shell_calls_override use(shell);
        dialog_probe probe{r.caption, r.button};
        probe.shell = &shell;
        dialog_probe::current = &probe;
        UINT_PTR timer = SetTimer(nullptr, 0, 50, &dialog_probe::on_timer);
        replaygain_settings settings = record;
        const bool ok = rg->run_dialog(settings, nullptr, r.name);
        KillTimer(nullptr, timer);
        CHECK(probe.found);
        CHECK(probe.shown_right);
        CHECK(probe.placed_right);
        // The help link works from inside the settings dialog although a modal window is up: it is this one.
        CHECK(probe.help_opened_inside);
        CHECK(shell.executed == std::vector<std::string>{"https://en.wikipedia.org/wiki/ReplayGain"});
        CHECK(ok == r.result);
        CHECK(same(settings, r.after));
        CHECK(modal_scope::can_start());
    }
}

TEST_CASE("the ReplayGain help link: the table's address, and not while another window is modal") {
    service_ptr<replaygain_settings_service> rg = rg_service();
    host_window host;
    HWND panel = rg->create_panel(replaygain_settings_defaults(), host.window, 9);
    REQUIRE(panel != nullptr);
    recording_shell shell;
    shell_calls_override use(shell);

    click_help(panel);
    kpl::text_lookup_function previous = kpl::set_text_lookup(&marked_texts);
    click_help(panel);
    kpl::set_text_lookup(previous);
    CHECK(shell.executed == std::vector<std::string>{"https://en.wikipedia.org/wiki/ReplayGain", "https://help.example/rg"});

    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    {
        modal_scope scope(other);
        click_help(panel);  // that window comes to the front instead
    }
    CHECK(shell.executed.size() == 2);
    DestroyWindow(other);
    DestroyWindow(panel);
}
