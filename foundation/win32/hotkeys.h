#pragma once
// Key messages to shortcut codes.
//
// A shortcut code is a virtual-key code plus modifier bits: 0x100 Shift, 0x200 Ctrl, 0x400 Alt, 0x800 the
// Windows key. The keyboard state reads as its own bits (keyboard_modifier_state: 1 Alt, 2 Ctrl, 4 Shift,
// 8 Windows key), which shortcut_modifiers maps onto the shortcut bits:
//
//   Alt+Enter held      keyboard_modifier_state() == 1      code 0x40D  (0x400 | VK_RETURN)
//   Ctrl+P held         keyboard_modifier_state() == 2      code 0x250  (0x200 | 'P')
//   Ctrl+Shift+Left     keyboard_modifier_state() == 6      code 0x325

#include <windows.h>

#include <cstdint>

#include "foundation/kpl/string.h"

enum : uint32_t {
    shortcut_shift = 0x100,
    shortcut_ctrl = 0x200,
    shortcut_alt = 0x400,
    shortcut_win = 0x800,
};

enum : unsigned {
    modifier_state_alt = 1,
    modifier_state_ctrl = 2,
    modifier_state_shift = 4,
    modifier_state_win = 8,
};

// Whoever takes shortcut codes (the shortcut table): answers true when it consumed the key.
class hotkey_handler {
public:
    virtual bool process_key(uint32_t code) = 0;

protected:
    ~hotkey_handler() = default;
};

// The modifier keys held now, from the high bit of each key's state: 1 Alt (VK_MENU), 2 Ctrl, 4 Shift,
// 8 either Windows key.
unsigned keyboard_modifier_state();
// The shortcut bits for a keyboard_modifier_state value (1 -> 0x400, 2 -> 0x200, 4 -> 0x100, 8 -> 0x800).
uint32_t shortcut_modifiers(unsigned modifier_state);

// For WM_KEYDOWN and WM_SYSKEYDOWN aimed (through the top-level window of the message's window) at
// top_window: offers the virtual key with the shortcut bits of the keys held now to the handler and answers
// its answer. Any other message, or a key for another top-level window, answers false without asking.
bool hotkey_from_key_message(const MSG& message, hotkey_handler& handler, HWND top_window);

// The key's name for a lParam-form scan code (GetKeyNameTextW); false when the system has none.
bool get_key_name_text(LONG scan_code_lparam, kpl::utf8_string& out);
