// The window framework: objects bound through their thunks, class registration, subclassing that gives
// the window back, dialogs from templates (modal inside a modal scope, modeless in the dialog registry)
// and failures inside handlers that reach the caller instead of unwinding through the system.
#include <doctest/doctest.h>

#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/kpl/text_lookup.h"
#include "foundation/win32/app_event_listener.h"
#include "foundation/win32/dialog.h"
#include "foundation/win32/listview.h"
#include "foundation/win32/modal_scope.h"
#include "foundation/win32/window_object.h"
#include "foundation/win32/window_text.h"
#include "tests/support/gui_support.h"

namespace {

// Records the messages it sees; handles WM_USER + 1 with the result 42.
class recording_window : public window_object {
public:
    std::vector<UINT> seen;
    int finals = 0;
    bool throw_on_create = false;

    bool process_message(HWND, UINT message, WPARAM, LPARAM, LRESULT& result, DWORD) override {
        seen.push_back(message);
        if (message == WM_CREATE && throw_on_create) throw std::runtime_error("cannot create");
        if (message == WM_USER + 1) {
            result = 42;
            return true;
        }
        return false;
    }
    bool saw(UINT message) const {
        for (UINT m : seen)
            if (m == message) return true;
        return false;
    }

protected:
    void on_final_message(HWND) override { ++finals; }
};

class recording_subclass : public window_subclass {
public:
    std::vector<UINT> seen;
    int finals = 0;
    bool process_message(HWND, UINT message, WPARAM, LPARAM, LRESULT& result, DWORD) override {
        seen.push_back(message);
        if (message == WM_USER + 2) {
            result = 7;
            return true;
        }
        return false;
    }

protected:
    void on_final_message(HWND) override { ++finals; }
};

std::wstring class_name_of(HWND window) {
    wchar_t name[128] = {};
    GetClassNameW(window, name, 128);
    return name;
}

std::string text_of(HWND window) {
    kpl::utf8_string_pow2 text;
    window_get_text(window, text);
    return text.c_str();
}

}  // namespace

TEST_CASE("a window object gets its window's messages from the first to WM_NCDESTROY") {
    static window_class test_class;  // no name: "ATL:<address>"
    recording_window object;
    RECT where = {10, 10, 110, 60};
    HWND window = atl_window::create(&object, nullptr, &where, "framework", WS_OVERLAPPEDWINDOW, 0, 0, test_class);
    REQUIRE(window != nullptr);
    CHECK(object.handle() == window);
    CHECK(object.saw(WM_NCCREATE));
    CHECK(object.saw(WM_CREATE));
    CHECK(class_name_of(window).rfind(L"ATL:", 0) == 0);
    CHECK(text_of(window) == "framework");
    CHECK(SendMessageW(window, WM_USER + 1, 0, 0) == 42);   // handled
    CHECK(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0) == 9); // unhandled: the class procedure answers
    CHECK(test_class.atom() == test_class.atom());

    SUBCASE("a child without an id gets the object's address as its id") {
        recording_window child;
        HWND child_window = atl_window::create(&child, window, nullptr, "", WS_CHILD, 0, 0, test_class);
        REQUIRE(child_window != nullptr);
        CHECK(static_cast<UINT_PTR>(GetDlgCtrlID(child_window)) == reinterpret_cast<UINT_PTR>(&child));
    }

    DestroyWindow(window);
    CHECK(object.saw(WM_NCDESTROY));
    CHECK(object.finals == 1);
    CHECK(object.handle() == nullptr);
}

TEST_CASE("a class copied from an existing one keeps that class's behaviour for unhandled messages") {
    static window_class edit_copy(L"Vorn:TestEdit", L"EDIT");
    recording_window object;
    HWND edit = atl_window::create(&object, nullptr, nullptr, "typed", WS_POPUP, 0, 0, edit_copy);
    REQUIRE(edit != nullptr);
    CHECK(class_name_of(edit) == L"Vorn:TestEdit");
    CHECK(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0) > 0);  // the edit control's own procedure
    CHECK(text_of(edit) == "typed");
    DestroyWindow(edit);
    CHECK(object.finals == 1);
}

TEST_CASE("an exception in a handler during creation reaches the caller after the window is gone") {
    static window_class test_class(L"Vorn:TestThrowing");
    recording_window object;
    object.throw_on_create = true;
    CHECK_THROWS_WITH_AS(atl_window::create(&object, nullptr, nullptr, "", WS_POPUP, 0, 0, test_class),
                         "cannot create", std::runtime_error);
    CHECK(object.handle() == nullptr);
}

TEST_CASE("subclassing routes unhandled messages to the previous procedure and lets go at WM_NCDESTROY") {
    HWND edit = CreateWindowExW(0, L"EDIT", L"abc", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr, nullptr, nullptr);
    REQUIRE(edit != nullptr);
    const LONG_PTR original = GetWindowLongPtrW(edit, GWLP_WNDPROC);
    recording_subclass first;
    REQUIRE(first.attach(edit));
    CHECK_FALSE(first.attach(edit));  // already bound
    CHECK(reinterpret_cast<LONG_PTR>(first.previous_procedure()) == original);
    CHECK(SendMessageW(edit, WM_USER + 2, 0, 0) == 7);
    CHECK(text_of(edit) == "abc");  // WM_GETTEXT went on to the edit control

    SUBCASE("detached again when nobody replaced it") {
        // A second subclass on top sees messages first; both let go when the window is destroyed.
        recording_subclass second;
        REQUIRE(second.attach(edit));
        CHECK(SendMessageW(edit, WM_USER + 2, 0, 0) == 7);
        CHECK(second.seen.back() == WM_USER + 2);
        DestroyWindow(edit);
        CHECK(second.finals == 1);
        CHECK(first.finals == 1);
        CHECK(second.handle() == nullptr);
    }
    SUBCASE("alone") {
        DestroyWindow(edit);
        CHECK(first.finals == 1);
        CHECK(first.handle() == nullptr);
        CHECK(first.seen.back() == WM_NCDESTROY);
    }
}

namespace {

// A dialog from a template: OK ends it with IDOK; records the modal state it saw at WM_INITDIALOG.
class test_dialog : public dialog_object {
public:
    bool modal_scope_active_at_init = false;
    bool throw_at_init = false;
    bool ended_by_escape = false;
    int finals = 0;

    bool process_message(HWND dialog, UINT message, WPARAM wparam, LPARAM, LRESULT& result, DWORD) override {
        if (message == WM_INITDIALOG) {
            modal_scope_active_at_init = !modal_scope::can_start() && modal_scope::active_window() == dialog;
            if (throw_at_init) throw std::runtime_error("picture cannot be decoded");
            if (is_modal()) PostMessageW(dialog, WM_COMMAND, IDOK, 0);
            result = TRUE;
            return true;
        }
        if (message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
            ended_by_escape = LOWORD(wparam) == IDCANCEL;
            if (is_modal()) {
                EndDialog(dialog, LOWORD(wparam));
            } else {
                DestroyWindow(dialog);
            }
            return true;
        }
        return false;
    }

protected:
    void on_final_message(HWND) override { ++finals; }
};

gui_test::dialog_template small_dialog() {
    gui_test::dialog_template t(WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 120, 60, L"Test dialog");
    t.add(L"EDIT", L"", 100, WS_BORDER | WS_TABSTOP, 5, 5, 60, 12);
    t.add(L"BUTTON", L"OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 65, 40, 50, 14);
    return t;
}

}  // namespace

TEST_CASE("a modal dialog runs inside a modal scope and answers its end code") {
    gui_test::dialog_template t = small_dialog();
    test_dialog dialog;
    CHECK(dialog.run_modal_indirect(nullptr, t.get()) == IDOK);
    CHECK(dialog.modal_scope_active_at_init);
    CHECK(modal_scope::can_start());
    CHECK(dialog.finals == 1);
}

TEST_CASE("a failure inside a modal dialog's handler is thrown to the caller after the dialog has ended") {
    gui_test::dialog_template t = small_dialog();
    test_dialog dialog;
    dialog.throw_at_init = true;
    CHECK_THROWS_WITH_AS(dialog.run_modal_indirect(nullptr, t.get()), "picture cannot be decoded", std::runtime_error);
    CHECK(modal_scope::can_start());
    CHECK(dialog.handle() == nullptr);

    SUBCASE("the same for a modeless dialog during its creation") {
        test_dialog modeless;
        modeless.throw_at_init = true;
        CHECK_THROWS_WITH_AS(modeless.create_modeless_indirect(nullptr, t.get()), "picture cannot be decoded",
                             std::runtime_error);
        CHECK(modeless.handle() == nullptr);
    }
}

TEST_CASE("a modeless dialog gets keyboard navigation from the main loop while it exists") {
    gui_test::registry_scope registry;
    gui_test::dialog_template t = small_dialog();
    test_dialog dialog;
    HWND window = dialog.create_modeless_indirect(nullptr, t.get());
    REQUIRE(window != nullptr);
    CHECK_FALSE(dialog.is_modal());
    HWND edit = GetDlgItem(window, 100);
    MSG escape = {edit, WM_KEYDOWN, VK_ESCAPE, 0, 0, {0, 0}};
    CHECK(pretranslate_message(&escape));  // IsDialogMessage took it: Escape became IDCANCEL
    CHECK(gui_test::pump_until([&] { return dialog.finals == 1; }, 5.0));
    CHECK(dialog.ended_by_escape);
    MSG again = {edit, WM_KEYDOWN, VK_ESCAPE, 0, 0, {0, 0}};
    CHECK_FALSE(pretranslate_message(&again));  // unregistered with its window
}

TEST_CASE("dialog texts come from the language table, keeping the resource's text for missing ids") {
    gui_test::dialog_template t = small_dialog();
    struct texts_dialog : test_dialog {
        std::string caption, ok;
        bool process_message(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                             DWORD map) override {
            if (message == WM_INITDIALOG) {
                static const dialog_text table[] = {{dialog_caption, "test_caption"}, {IDOK, "test_missing"}};
                dialog_set_texts(dialog, table, 2);
                caption = text_of(dialog);
                ok = text_of(GetDlgItem(dialog, IDOK));
            }
            return test_dialog::process_message(dialog, message, wparam, lparam, result, map);
        }
    } dialog;
    auto source = [](const char* id, kpl::utf8_string& out) {
        if (std::string(id) != "test_caption") return false;
        out = "Übersetzt";
        return true;
    };
    kpl::text_lookup_function previous = kpl::set_text_lookup(source);
    dialog.run_modal_indirect(nullptr, t.get());
    kpl::set_text_lookup(previous);
    CHECK(dialog.caption == "Übersetzt");
    CHECK(dialog.ok == "OK");
}

TEST_CASE("a window object's message-filter part sees the loop's messages only while added") {
    gui_test::registry_scope registry;
    struct listening : app_event_listener {
        int seen = 0;
        bool pretranslate(MSG* msg) override {
            if (msg->message != WM_USER + 9) return false;
            ++seen;
            return true;
        }
    } listener;
    MSG msg = {nullptr, WM_USER + 9, 0, 0, 0, {0, 0}};
    CHECK_FALSE(pretranslate_message(&msg));
    listener.add_app_event_listener();
    listener.add_app_event_listener();  // once only
    CHECK(pretranslate_message(&msg));
    CHECK(listener.seen == 1);
    listener.remove_app_event_listener();
    CHECK_FALSE(pretranslate_message(&msg));
    CHECK(listener.seen == 1);
    listener.add_app_event_listener();  // removed again when the part goes
}

TEST_CASE("a tooltip window object is a tooltips_class32 copy owned by its window") {
    recording_window owner;
    static window_class owner_class(L"Vorn:TestTooltipOwner");
    HWND window = atl_window::create(&owner, nullptr, nullptr, "owner", WS_POPUP, 0, 0, owner_class);
    REQUIRE(window != nullptr);
    tooltip_window tip;
    HWND tip_window = tip.create(window);
    REQUIRE(tip_window != nullptr);
    CHECK(GetWindow(tip_window, GW_OWNER) == window);
    CHECK(class_name_of(tip_window) == L"Vorn:Tooltip");
    TOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND;
    tool.hwnd = window;
    tool.uId = reinterpret_cast<UINT_PTR>(window);
    tool.lpszText = const_cast<wchar_t*>(L"tip");
    CHECK(SendMessageW(tip_window, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)) != 0);  // the control's own code
    CHECK(SendMessageW(tip_window, TTM_GETTOOLCOUNT, 0, 0) == 1);
    DestroyWindow(window);
}
