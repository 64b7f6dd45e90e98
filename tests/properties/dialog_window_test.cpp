// The properties dialog and its auto-fill dialog as windows of this thread, driven with messages: the save
// question while another modal window is up, and auto-fill values longer than a list view cell holds.
#include <doctest/doctest.h>

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/services/service_registry.h"
#include "foundation/win32/clipboard.h"
#include "foundation/win32/listview.h"
#include "foundation/win32/modal_scope.h"
#include "properties/field_editors.h"
#include "properties/properties_dialog.h"
#include "resources/resource_ids.h"
#include "shell/app_state.h"
#include "shell/hidden_window.h"
#include "shell/localization.h"
#include "shell/main_thread_queue.h"
#include "tests/properties/tag_fakes.h"
#include "tests/support/gui_support.h"

namespace {

// The program's surroundings of the dialogs: services, the English table, the hidden window and a visible
// top-level window standing as the main window.
struct dialog_fixture {
    dialog_fixture() {
        if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
        load_language_table(0x409);
        hidden_window_create();
        main = CreateWindowExW(0, L"STATIC", L"Main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
        app_state.main_window = main;
    }
    ~dialog_fixture() {
        app_state.main_window = nullptr;
        DestroyWindow(main);
        main_thread_queue::drain(true);
        hidden_window_destroy();
    }
    HWND main = nullptr;
};

struct owned_search {
    HWND owner;
    HWND found;
};

BOOL CALLBACK find_owned(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<owned_search*>(param);
    wchar_t name[16] = L"";
    GetClassNameW(window, name, 16);
    if (GetWindow(window, GW_OWNER) != search->owner || std::wstring(name) != L"#32770") return TRUE;
    search->found = window;
    return FALSE;
}

// The first dialog window of this thread owned by `owner`.
HWND owned_dialog(HWND owner) {
    owned_search search = {owner, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), &find_owned, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

class open_events final : public properties_dialog_events {
public:
    void on_opened(const char*) override { ++opened; }
    void on_closed() override { ++closed; }
    void on_open_failed() override { ++failed; }
    int opened = 0, closed = 0, failed = 0;
};

// Answers any "Save changes?" question with Cancel (so that a question that should not come cannot hang
// the test) and counts it.
int g_questions = 0;
void CALLBACK answer_question(HWND, UINT, UINT_PTR, DWORD) {
    HWND box = FindWindowW(L"#32770", L"Properties");
    if (!box) return;
    ++g_questions;
    PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
}

}  // namespace

TEST_CASE("properties dialog: while another modal window is up, closing asks nothing, keeps the edits and brings that window up") {
    dialog_fixture fixture;
    tag_fakes::reset();
    tag_fakes::add("fake://a", {0});
    tag_fakes::quiet_host host;
    open_events events;
    properties_dialog_set_events(&events);

    open_properties_dialog({tag_fakes::handle("fake://a")}, 1);
    REQUIRE(gui_test::pump_until([&] { return events.opened + events.failed > 0; }));
    REQUIRE(events.opened == 1);
    HWND dialog = owned_dialog(fixture.main);
    REQUIRE(dialog);
    HWND apply = GetDlgItem(dialog, IDC_PROPERTIES_APPLY);
    HWND list = GetDlgItem(dialog, IDC_PROPERTIES_METADATA);
    REQUIRE(list);
    // The Title row (the second) shows the file's title; Delete empties it, an edit kept only in the dialog.
    auto title_cell = [&] {
        kpl::utf8_string_pow2 text;
        listview_get_item_text(list, 1, 1, text);
        return std::string(text.c_str());
    };
    REQUIRE(title_cell() == "a #0");
    listview_select_single(list, 1);
    SendMessageW(list, WM_KEYDOWN, VK_DELETE, 0);
    REQUIRE(gui_test::pump_until([&] { return title_cell().empty(); }));
    REQUIRE(IsWindowEnabled(apply));

    HWND other = CreateWindowExW(0, L"STATIC", L"Other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    REQUIRE(other);
    SetActiveWindow(dialog);
    g_questions = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 200, &answer_question);
    {
        modal_scope scope(other);
        REQUIRE_FALSE(modal_ui_allowed());
        for (UINT message : {UINT(WM_COMMAND), UINT(WM_CLOSE)}) {
            CAPTURE(message);
            SetActiveWindow(dialog);
            if (message == WM_COMMAND)
                SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            else
                PostMessageW(dialog, WM_CLOSE, 0, 0);
            gui_test::pump_for(0.5);
            CHECK(g_questions == 0);
            CHECK(IsWindow(dialog));
            CHECK(events.closed == 0);
            CHECK(IsWindowEnabled(apply));
            CHECK(title_cell().empty());
            CHECK(GetActiveWindow() == other);
        }
    }
    // Once the other window has gone, closing asks again (answered Cancel here: the dialog stays).
    DestroyWindow(other);
    SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    gui_test::pump_for(0.3);
    KillTimer(nullptr, timer);
    CHECK(g_questions == 1);
    CHECK(IsWindow(dialog));

    DestroyWindow(dialog);
    gui_test::pump_until([&] { return events.closed == 1; });
    properties_dialog_set_events(nullptr);
}

TEST_CASE("auto-fill: values longer than a list cell holds reach the field list whole, also after Auto-capitalize") {
    dialog_fixture fixture;
    std::string words;
    for (int i = 0; i < 12000; ++i) words += "hello ";
    std::string capitalized;
    for (int i = 0; i < 12000; ++i) capitalized += "Hello ";
    const std::string value = words + "end", expected_caps = capitalized + "End";
    REQUIRE(value.size() > 70000);

    struct {
        const char* name;
        bool capitalize;
        const std::string& expected;
    } const cases[] = {
        {"as matched", false, value},
        {"after Auto-capitalize", true, expected_caps},
    };
    for (const auto& c : cases) {
        CAPTURE(c.name);
        REQUIRE(clipboard_set_text(value.c_str()));
        const properties_field_info info("COMMENT", "ARTIST;GENRE");
        auto fields = std::make_shared<properties_field_list>();
        fields->emplace_back("TITLE", 1);
        int result = 0;
        open_autofill_dialog(fixture.main, {"C:\\music\\a.flac"}, fields, info, [&](int code) { result = code; });
        HWND dialog = owned_dialog(fixture.main);
        REQUIRE(dialog);
        // Source: the clipboard; pattern: the whole line is the title.
        HWND source = GetDlgItem(dialog, IDC_AUTOFILL_SOURCE);
        SendMessageW(source, CB_SETCURSEL, 1, 0);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_AUTOFILL_SOURCE, CBN_SELCHANGE), reinterpret_cast<LPARAM>(source));
        SetWindowTextW(GetDlgItem(dialog, IDC_AUTOFILL_PATTERN), L"%title%");
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_AUTOFILL_PATTERN, CBN_EDITCHANGE),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_AUTOFILL_PATTERN)));
        if (c.capitalize) SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_AUTOFILL_AUTOCAPS, BN_CLICKED), 0);
        SendMessageW(dialog, WM_COMMAND, IDOK, 0);
        REQUIRE(gui_test::pump_until([&] { return !IsWindow(dialog); }));
        CHECK(result == 1);
        REQUIRE(fields->size() == 1);
        const properties_value_list* values = (*fields)[0].find_values(0);
        REQUIRE(values);
        REQUIRE(values->size() == 1);
        CHECK(values->front().size() == c.expected.size());
        CHECK(values->front() == c.expected);
    }
}
