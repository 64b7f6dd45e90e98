// Modal scopes, message boxes, window texts, menus, shortcut keys and the clipboard (they need a display).
#include <doctest/doctest.h>

#include <windows.h>

#include <vector>

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/string.h"
#include "foundation/tasks/thread.h"
#include "foundation/win32/clipboard.h"
#include "foundation/win32/hotkeys.h"
#include "foundation/win32/menus.h"
#include "foundation/win32/modal_scope.h"
#include "foundation/win32/window_text.h"

namespace {

// A top-level window with a child, destroyed at the end of the test.
struct test_windows {
    HWND top = nullptr;
    HWND child = nullptr;
    HWND grandchild = nullptr;
    test_windows() {
        top = CreateWindowExW(0, L"STATIC", L"top", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr, nullptr,
                              nullptr);
        child = CreateWindowExW(0, L"STATIC", L"child", WS_CHILD, 0, 0, 10, 10, top, nullptr, nullptr, nullptr);
        grandchild =
            CreateWindowExW(0, L"STATIC", L"grandchild", WS_CHILD, 0, 0, 5, 5, child, nullptr, nullptr, nullptr);
    }
    ~test_windows() { DestroyWindow(top); }
};

// Runs a function on another thread and waits for it.
template <class F>
void on_other_thread(F f) {
    struct runner : kpl::thread {
        F& f;
        explicit runner(F& f) : f(f) {}
        void body() override { f(); }
        ~runner() { wait_and_close(); }
    } r(f);
    r.start();
    r.wait_and_close();
}

}  // namespace

TEST_CASE("window_top_level climbs child windows only") {
    test_windows w;
    REQUIRE(w.grandchild != nullptr);
    CHECK(window_top_level(nullptr) == nullptr);
    CHECK(window_top_level(w.top) == w.top);
    CHECK(window_top_level(w.child) == w.top);
    CHECK(window_top_level(w.grandchild) == w.top);
}

TEST_CASE("modal scopes nest, and belong to the main thread") {
    test_windows w;
    CHECK(is_main_thread());
    CHECK(modal_scope::can_start());
    CHECK_FALSE(modal_scope::is_active());
    {
        modal_scope outer(w.top);
        CHECK_FALSE(modal_scope::can_start());
        CHECK_FALSE(modal_ui_allowed());
        CHECK(modal_scope::active_window() == w.top);
        outer.enter(w.child);  // already entered: nothing changes
        CHECK(modal_scope::active_window() == w.top);
        {
            modal_scope inner(w.child);
            CHECK(modal_scope::active_window() == w.child);
            inner.leave();
            CHECK(modal_scope::active_window() == w.top);
            inner.leave();  // not entered any more: nothing
            CHECK(modal_scope::active_window() == w.top);
        }
        CHECK(modal_scope::active_window() == w.top);
        modal_scope::bring_to_front();  // activates the registered window; must simply work
    }
    CHECK(modal_scope::can_start());
    CHECK(modal_scope::active_window() == nullptr);
    modal_scope::bring_to_front();  // nothing registered: nothing happens

    CHECK(modal_ui_allowed());
    bool other_is_main = true, other_can_start = true, other_allowed = true;
    on_other_thread([&] {
        other_is_main = is_main_thread();
        other_can_start = modal_scope::can_start();
        other_allowed = modal_ui_allowed();
        modal_scope elsewhere(w.top);  // off the main thread the record is not touched
    });
    CHECK_FALSE(other_is_main);
    CHECK_FALSE(other_can_start);
    CHECK_FALSE(other_allowed);
    CHECK(modal_scope::can_start());
    CHECK(modal_scope::active_window() == nullptr);
}

namespace {

struct answering_host : message_box_host {
    int answer = IDNO;
    std::vector<kpl::utf8_string_tight> texts, captions;
    std::vector<UINT> types;
    std::vector<HWND> parents;
    bool could_start_inside = true;
    HWND active_inside = nullptr;
    unsigned text_id = 0;
    int show(HWND parent, const win_string_param& text, const win_string_param& caption, UINT type) override {
        parents.push_back(parent);
        texts.push_back(text.utf8() ? text.utf8() : "");
        captions.push_back(caption.utf8() ? caption.utf8() : "");
        text_id = text.id();
        types.push_back(type);
        could_start_inside = modal_scope::can_start();
        active_inside = modal_scope::active_window();
        return answer;
    }
};

}  // namespace

TEST_CASE("message boxes go through the host inside a modal scope for their owner") {
    test_windows w;
    answering_host host;
    {
        message_box_host_override use(host);
        host.answer = IDYES;
        CHECK(message_box(w.top, "Error reading configuration file.\nContinue?", "Vorn", MB_YESNO) == IDYES);
        CHECK_FALSE(host.could_start_inside);
        CHECK(host.active_inside == w.top);
        CHECK(modal_scope::can_start());  // left again afterwards

        host.answer = IDCANCEL;
        CHECK(message_box(nullptr, "Ärger – ünïcödé", nullptr, MB_OKCANCEL | MB_ICONERROR) == IDCANCEL);
        CHECK(message_box(w.top, win_string_param::from_id(123), "caption", MB_OK) == IDCANCEL);
        CHECK(host.text_id == 123);
    }
    REQUIRE(host.texts.size() == 3);
    CHECK(host.texts[0] == "Error reading configuration file.\nContinue?");
    CHECK(host.captions[0] == "Vorn");
    CHECK(host.types[0] == UINT(MB_YESNO));
    CHECK(host.texts[1] == "Ärger – ünïcödé");
    CHECK(host.captions[1] == "");
    CHECK(host.parents[1] == nullptr);
    CHECK(host.types[1] == UINT(MB_OKCANCEL | MB_ICONERROR));
    CHECK(host.texts[2] == "");  // an id, not a text
}

TEST_CASE("window texts round-trip as UTF-8") {
    test_windows w;
    kpl::utf8_string_pow2 text("old");
    CHECK(window_set_text(w.top, "Größe – 大小"));
    CHECK(window_get_text(w.top, text));
    CHECK(text == "Größe – 大小");
    CHECK(window_set_text(w.top, ""));
    CHECK(window_get_text(w.top, text));
    CHECK(text == "");
    CHECK(window_set_text_wide(w.top, "abcdef", 3));
    CHECK(window_get_text(w.top, text));
    CHECK(text == "abc");

    const int id = GetDlgCtrlID(w.child);
    SetWindowLongPtrW(w.child, GWLP_ID, 1234);
    CHECK(dialog_item_set_text(w.top, 1234, "élan"));
    CHECK(dialog_item_get_text(w.top, 1234, text));
    CHECK(text == "élan");
    SetWindowLongPtrW(w.child, GWLP_ID, id);

    send_message_text(w.top, WM_SETTEXT, 0, "über");
    CHECK(window_get_text(w.top, text));
    CHECK(text == "über");
}

namespace {

// A menu-node tree for the builder.
struct node : menu_node {
    unsigned k;
    const char* name;
    unsigned flags;
    int index;
    bool state;
    std::vector<node> children;
    node(unsigned k, const char* name, unsigned flags = 0, int index = -1, bool state = false)
        : k(k), name(name), flags(flags), index(index), state(state) {}
    node& add(node n) {
        children.push_back(n);
        return *this;
    }
    unsigned kind() const override { return k; }
    void get_name(kpl::utf8_string& out) const override { out = name; }
    unsigned display_flags() const override { return flags; }
    int command_index() const override { return index; }
    size_t child_count() const override { return children.size(); }
    const menu_node* child(size_t i) const override { return i < children.size() ? &children[i] : nullptr; }
    bool query_state() const override { return state; }
};

node popup(const char* name, unsigned flags = 0) { return node(menu_node::kind_popup, name, flags); }
node command(const char* name, int index, unsigned flags = 0, bool state = false) {
    return node(menu_node::kind_command, name, flags, index, state);
}
node separator() { return node(menu_node::kind_separator, ""); }

kpl::utf8_string_pow2 item_text(HMENU menu, UINT position) {
    wchar_t buffer[256] = {};
    GetMenuStringW(menu, position, buffer, 256, MF_BYPOSITION);
    return utf16_to_utf8_string(buffer);
}

}  // namespace

TEST_CASE("menu trees become Windows menus") {
    node root = popup("Root");
    root.add(command("Show in Explorer", 0))
        .add(command("Rock & Roll", 1, menu_node::flag_checked))
        .add(separator())
        .add(command("Disabled", 2, menu_node::flag_disabled | menu_node::flag_grayed))
        .add(command("Radio", 3, menu_node::flag_radio | menu_node::flag_checked))
        .add(popup("Tagging").add(command("Edit", 4)).add(command("Beyond the limit", 5)))
        .add(command("No index", -1));

    HMENU menu = CreatePopupMenu();
    menu_tree_builder::append_popup(menu, root, 100, 5);
    REQUIRE(GetMenuItemCount(menu) == 6);  // "No index" is left out

    CHECK(GetMenuItemID(menu, 0) == 100);
    CHECK(item_text(menu, 0) == "Show in Explorer");
    CHECK(GetMenuItemID(menu, 1) == 101);
    CHECK(item_text(menu, 1) == "Rock && Roll");  // shows one '&' instead of underlining
    CHECK((GetMenuState(menu, 1, MF_BYPOSITION) & MF_CHECKED) != 0);
    CHECK((menu_get_item_type(menu, 2) & MFT_SEPARATOR) != 0);
    const UINT disabled = GetMenuState(menu, 3, MF_BYPOSITION);
    CHECK((disabled & MF_GRAYED) != 0);
    CHECK((disabled & MF_DISABLED) != 0);
    CHECK(GetMenuItemID(menu, 4) == 103);
    CHECK((menu_get_item_type(menu, 4) & MFT_RADIOCHECK) != 0);  // the radio mark, not a plain check
    CHECK((GetMenuState(menu, 4, MF_BYPOSITION) & MF_CHECKED) != 0);

    HMENU sub = GetSubMenu(menu, 5);
    REQUIRE(sub != nullptr);
    CHECK(item_text(menu, 5) == "Tagging");
    CHECK(GetMenuItemCount(sub) == 1);  // index 5 under a limit of 5 is not added
    CHECK(GetMenuItemID(sub, 0) == 104);
    DestroyMenu(menu);

    SUBCASE("a negative limit means no limit") {
        HMENU all = CreatePopupMenu();
        menu_tree_builder::append_popup(all, root, 1, -1);
        HMENU tagging = GetSubMenu(all, 5);
        CHECK(GetMenuItemCount(tagging) == 2);
        CHECK(GetMenuItemID(tagging, 1) == 6);
        DestroyMenu(all);
    }
    SUBCASE("the root must be a popup") {
        HMENU other = CreatePopupMenu();
        CHECK_THROWS_AS(menu_tree_builder::append_popup(other, command("x", 0), 1, -1), kpl::exception_invalid_params);
        DestroyMenu(other);
    }
}

TEST_CASE("menu flag mapping and node states") {
    struct {
        unsigned display;
        UINT menu;
    } const cases[] = {
        {0, 0},
        {menu_node::flag_checked, MF_CHECKED},
        {menu_node::flag_disabled, MF_DISABLED},
        {menu_node::flag_grayed, MF_GRAYED},
        {menu_node::flag_radio, 0},
        {menu_node::flag_radio | menu_node::flag_checked, 0},  // radio never sets the check
        {menu_node::flag_checked | menu_node::flag_disabled | menu_node::flag_grayed,
         MF_CHECKED | MF_DISABLED | MF_GRAYED},
    };
    for (const auto& c : cases) {
        CAPTURE(c.display);
        CHECK(menu_tree_builder::menu_flags(c.display) == c.menu);
    }
    node root = popup("r");
    root.add(command("a", 0, 0, true)).add(command("b", 1, 0, false));
    CHECK(menu_tree_builder::node_flag(root, 0));
    CHECK_FALSE(menu_tree_builder::node_flag(root, 1));
    CHECK_FALSE(menu_tree_builder::node_flag(root, 2));  // no such child

    HMENU menu = CreatePopupMenu();
    CHECK(menu_append(menu, MF_STRING, 7, "Ünïcode"));
    CHECK(item_text(menu, 0) == "Ünïcode");
    CHECK(menu_get_item_type(menu, 0) == MFT_STRING);
    CHECK(menu_get_item_type(menu, 9) == 0);  // no such item
    DestroyMenu(menu);
}

namespace {

struct recording_handler : hotkey_handler {
    std::vector<uint32_t> codes;
    bool consume = true;
    bool process_key(uint32_t code) override {
        codes.push_back(code);
        return consume;
    }
};

// Sets the calling thread's view of the modifier keys (up to two; 0 ends the list).
void hold_keys(int first = 0, int second = 0) {
    BYTE state[256] = {};
    for (int key : {first, second})
        if (key != 0) state[key] = 0x80;
    SetKeyboardState(state);
}

}  // namespace

TEST_CASE("key messages become shortcut codes with the right modifier bits") {
    struct {
        unsigned state;
        uint32_t bits;
    } const mapping[] = {
        {0, 0},
        {modifier_state_alt, shortcut_alt},
        {modifier_state_ctrl, shortcut_ctrl},
        {modifier_state_shift, shortcut_shift},
        {modifier_state_win, shortcut_win},
        {modifier_state_ctrl | modifier_state_shift, shortcut_ctrl | shortcut_shift},
        {modifier_state_alt | modifier_state_ctrl | modifier_state_shift | modifier_state_win, 0xF00},
    };
    for (const auto& m : mapping) {
        CAPTURE(m.state);
        CHECK(shortcut_modifiers(m.state) == m.bits);
    }

    test_windows w;
    struct {
        const char* name;
        int held[2];
        WPARAM key;
        uint32_t code;
    } const presses[] = {
        {"Alt+Enter", {VK_MENU, 0}, VK_RETURN, 0x40D},
        {"Ctrl+P", {VK_CONTROL, 0}, 'P', 0x250},
        {"Shift+F5", {VK_SHIFT, 0}, VK_F5, 0x174},
        {"Ctrl+Shift+Left", {VK_CONTROL, VK_SHIFT}, VK_LEFT, 0x325},
        {"Win+X", {VK_LWIN, 0}, 'X', 0x858},
        {"right Win", {VK_RWIN, 0}, 'X', 0x858},
        {"plain Delete", {0, 0}, VK_DELETE, 0x2E},
    };
    for (const auto& p : presses) {
        CAPTURE(p.name);
        hold_keys(p.held[0], p.held[1]);
        recording_handler handler;
        MSG message = {};
        message.hwnd = w.grandchild;
        message.message = p.key == VK_RETURN ? WM_SYSKEYDOWN : WM_KEYDOWN;
        message.wParam = p.key;
        CHECK(hotkey_from_key_message(message, handler, w.top));
        REQUIRE(handler.codes.size() == 1);
        CHECK(handler.codes[0] == p.code);
    }

    hold_keys(VK_CONTROL);
    recording_handler handler;
    MSG message = {};
    message.hwnd = w.child;
    message.message = WM_KEYDOWN;
    message.wParam = 'P';
    handler.consume = false;
    CHECK_FALSE(hotkey_from_key_message(message, handler, w.top));  // the handler's answer
    CHECK(handler.codes.size() == 1);
    handler.codes.clear();
    CHECK_FALSE(hotkey_from_key_message(message, handler, w.child));  // aimed at another top-level window
    message.message = WM_KEYUP;
    CHECK_FALSE(hotkey_from_key_message(message, handler, w.top));
    message.message = WM_CHAR;
    CHECK_FALSE(hotkey_from_key_message(message, handler, w.top));
    CHECK(handler.codes.empty());  // never asked
    hold_keys();
    CHECK(keyboard_modifier_state() == 0);
}

TEST_CASE("key names") {
    kpl::utf8_string_pow2 name;
    const LONG scan_a = LONG(MapVirtualKeyW('A', 0)) << 16;
    CHECK(get_key_name_text(scan_a, name));
    CHECK(name == "A");
}

TEST_CASE("clipboard text round-trips") {
    const char* const texts[] = {"plain", "Artist : Ånd\r\nTitle : 東京", ""};
    for (const char* text : texts) {
        CAPTURE(text);
        REQUIRE(clipboard_set_text(text));
        kpl::utf8_string_pow2 out("stale");
        CHECK(clipboard_get_text(out));
        CHECK(out == text);
    }
    // A clipboard without text answers false and leaves out alone.
    REQUIRE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
    kpl::utf8_string_pow2 out("kept");
    CHECK_FALSE(clipboard_get_text(out));
    CHECK(out == "kept");
}
