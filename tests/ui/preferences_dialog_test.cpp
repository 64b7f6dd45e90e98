// The preferences dialog's window with a page of the test's own whose state flags the test sets: busy keeps
// OK and Cancel disabled and the dialog open and counts as a running operation; a page needing a restart
// asks the question: Cancel there applies nothing, OK requests the restart and applies; "changed, restart
// the output" applies the page;
// reopening shows the last page shown.
#include <doctest/doctest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "foundation/win32/window_text.h"
#include "resources/resource_ids.h"
#include "shell/app_state.h"
#include "shell/running_operations.h"
#include "tests/support/gui_support.h"
#include "ui/preferences_dialog.h"
#include "ui/preferences_group.h"
#include "ui/preferences_panel.h"

namespace {

constexpr kpl::guid k_test_page = {0x5E1F7A11, 0x0D3B, 0x4C55, {0x9A, 0x21, 0x7F, 0x64, 0x0E, 0x91, 0x33, 0x58}};

uint32_t g_flags = 0;
int g_applied = 0;
int g_made = 0;
service_ptr<preferences_page_host> g_host;

class test_page final : public service_counted<preferences_panel_window> {
public:
    explicit test_page(HWND parent) {
        m_window = CreateWindowExW(0, L"STATIC", L"test page", WS_CHILD, 0, 0, 50, 20, parent, nullptr, nullptr, nullptr);
    }
    uint32_t get_state() override { return g_flags; }
    HWND get_window() override { return m_window; }
    void apply() override {
        ++g_applied;
        g_flags &= ~uint32_t(preferences_state_changed);
    }
    void reset() override {}

private:
    HWND m_window;
};

class test_panel final : public service_static<preferences_panel_instantiable> {
public:
    HWND create_window(HWND) override { return nullptr; }
    const char* name() override { return "Zz test page"; }
    kpl::guid get_guid() override { return k_test_page; }
    kpl::guid get_parent() override { return preferences_group::root_guid; }
    bool reset_supported() override { return false; }
    void reset() override {}
    bool help_url(kpl::utf8_string&) override { return false; }
    double sort_priority() override { return 0.0; }
    void instantiate(service_ptr<preferences_panel_window>& out, HWND parent, preferences_page_host* host) override {
        ++g_made;
        g_host.assign(host);
        service_ref made;
        made.attach(static_cast<preferences_panel_window*>(new test_page(parent)));
        out.attach_ref(std::move(made));
    }
};

service_factory_single<test_panel, preferences_panel> g_test_panel;

struct counting_host : message_box_host {
    int show(HWND, const win_string_param& text, const win_string_param& caption, UINT) override {
        ++asked;
        question = text.utf8() ? text.utf8() : "";
        title = caption.utf8() ? caption.utf8() : "";
        return answer;
    }
    int answer = IDCANCEL;
    int asked = 0;
    std::string question, title;
};

std::string caption() {
    kpl::utf8_string_pow2 text;
    window_get_text(preferences_dialog::window(), text);
    return text.c_str();
}

bool enabled(int id) { return IsWindowEnabled(GetDlgItem(preferences_dialog::window(), id)) != FALSE; }

void press(int id) {
    SendMessageW(preferences_dialog::window(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(preferences_dialog::window(), id)));
}

// The page says its state changed; the dialog reads the flags once the posted message arrives.
void set_flags(uint32_t flags, int button, bool expect_enabled) {
    g_flags = flags;
    g_host->notify();
    REQUIRE(gui_test::pump_until([&] { return enabled(button) == expect_enabled; }));
}

}  // namespace

TEST_CASE("preferences dialog: busy pages, the restart question, applying, and the last page shown") {
    gui_test::registry_scope services;
    g_flags = 0;
    g_applied = 0;
    g_made = 0;
    preferences_dialog::show_page(k_test_page);
    REQUIRE(preferences_dialog::window());
    REQUIRE(gui_test::pump_until([] { return caption() == "Preferences: Zz test page"; }));
    CHECK(g_made == 1);
    CHECK_FALSE(enabled(IDC_PREFERENCES_APPLY));
    HWND tree = GetDlgItem(preferences_dialog::window(), IDC_PREFERENCES_TREE);
    CHECK(SendMessageW(tree, TVM_GETCOUNT, 0, 0) == 3);  // Music folders, Playback and this page; no branch

    // Busy: OK and Cancel disabled, nothing closes the dialog, the close confirmation knows of it.
    set_flags(preferences_state_changed | preferences_state_busy, IDOK, false);
    CHECK_FALSE(enabled(IDCANCEL));
    CHECK_FALSE(enabled(IDC_PREFERENCES_APPLY));
    CHECK_FALSE(running_operation_registry::instance().is_empty());
    SendMessageW(preferences_dialog::window(), WM_CLOSE, 0, 0);
    press(IDCANCEL);
    REQUIRE(preferences_dialog::window());
    CHECK(g_applied == 0);

    // A change that needs a restart asks first. Cancel applies nothing, requests nothing and leaves Apply
    // enabled; OK requests the restart (WM_QUIT is on its way), then applies the page and disables Apply.
    struct restart_case {
        int answer;
        int applied;
        bool restart;
    };
    const restart_case answers[] = {{IDCANCEL, 0, false}, {IDOK, 1, true}};
    for (const restart_case& r : answers) {
        CAPTURE(r.answer);
        set_flags(preferences_state_changed | preferences_state_needs_restart, IDC_PREFERENCES_APPLY, true);
        CHECK(running_operation_registry::instance().is_empty());
        {
            counting_host host;
            host.answer = r.answer;
            message_box_host_override use(host);
            press(IDC_PREFERENCES_APPLY);
            CHECK(host.asked == 1);
            CHECK(host.question == "Applying these changes requires Vorn to be restarted. Continue?");
            CHECK(host.title == "Vorn preferences");
        }
        MSG quit;
        const bool quit_posted = PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
        CHECK(g_applied == r.applied);
        CHECK(app_state.restart_requested == r.restart);
        CHECK(app_state.exit_requested == r.restart);
        CHECK(quit_posted == r.restart);
        CHECK(enabled(IDC_PREFERENCES_APPLY) == !r.restart);
        // The program goes on here: the request is taken back.
        app_state.restart_requested = app_state.exit_requested = app_state.shutting_down = false;
    }
    g_applied = 0;

    // Changed, output restart: applied without a question; Apply is disabled again.
    set_flags(preferences_state_changed | preferences_state_needs_output_restart, IDC_PREFERENCES_APPLY, true);
    {
        counting_host host;
        message_box_host_override use(host);
        press(IDC_PREFERENCES_APPLY);
        CHECK(host.asked == 0);
    }
    CHECK(g_applied == 1);
    CHECK_FALSE(enabled(IDC_PREFERENCES_APPLY));

    // Closed, then opened again with no page asked for: the last page shown, made anew.
    press(IDCANCEL);
    REQUIRE(gui_test::pump_until([] { return preferences_dialog::window() == nullptr; }));
    g_host.release();
    preferences_dialog::show_page(kpl::guid_null);
    REQUIRE(preferences_dialog::window());
    REQUIRE(gui_test::pump_until([] { return caption() == "Preferences: Zz test page"; }));
    CHECK(g_made == 2);
    preferences_dialog::destroy_if_open();
    CHECK(preferences_dialog::window() == nullptr);
    g_host.release();
}
