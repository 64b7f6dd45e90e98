#include "foundation/win32/hotkeys.h"

#include "foundation/win32/modal_scope.h"
#include "foundation/win32/win_string.h"

namespace {

bool key_down(int virtual_key) { return GetKeyState(virtual_key) < 0; }

}  // namespace

unsigned keyboard_modifier_state() {
    unsigned state = 0;
    if (key_down(VK_MENU)) state |= modifier_state_alt;
    if (key_down(VK_CONTROL)) state |= modifier_state_ctrl;
    if (key_down(VK_SHIFT)) state |= modifier_state_shift;
    if (key_down(VK_LWIN) || key_down(VK_RWIN)) state |= modifier_state_win;
    return state;
}

uint32_t shortcut_modifiers(unsigned modifier_state) {
    uint32_t bits = 0;
    if (modifier_state & modifier_state_ctrl) bits |= shortcut_ctrl;
    if (modifier_state & modifier_state_shift) bits |= shortcut_shift;
    if (modifier_state & modifier_state_alt) bits |= shortcut_alt;
    if (modifier_state & modifier_state_win) bits |= shortcut_win;
    return bits;
}

bool hotkey_from_key_message(const MSG& message, hotkey_handler& handler, HWND top_window) {
    if (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN) return false;
    if (top_window != window_top_level(message.hwnd)) return false;
    const uint32_t code = uint32_t(message.wParam & 0xFF) | shortcut_modifiers(keyboard_modifier_state());
    return handler.process_key(code);
}

bool get_key_name_text(LONG scan_code_lparam, kpl::utf8_string& out) {
    wchar_t name[256];
    const int length = GetKeyNameTextW(scan_code_lparam, name, 256);
    if (length <= 0) return false;
    out = utf16_to_utf8_string(name, size_t(length));
    return true;
}
