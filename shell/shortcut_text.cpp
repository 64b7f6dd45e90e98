#include "shell/shortcut_table.h"

#include <windows.h>

#include "foundation/win32/hotkeys.h"

namespace {

struct key_name {
    uint8_t code;
    const char* name;
};

const key_name k_names[] = {
    {19, "Pause"},         {33, "Page Up"},          {34, "Page Down"},          {35, "End"},
    {36, "Home"},          {37, "Left"},             {38, "Up"},                 {39, "Right"},
    {40, "Down"},          {45, "Insert"},           {46, "Delete"},             {144, "Num Lock"},
    {170, "Search (MM)"},  {171, "Favourites (MM)"}, {172, "Home (MM)"},         {173, "Mute (MM)"},
    {174, "Volume Down (MM)"}, {175, "Volume Up (MM)"}, {176, "Next (MM)"},      {177, "Previous (MM)"},
    {178, "Stop (MM)"},    {179, "Play / Pause (MM)"}, {180, "Email (MM)"},      {181, "Media (MM)"},
};

void append_key_name(uint8_t code, kpl::utf8_string& out) {
    for (const key_name& k : k_names) {
        if (k.code == code) {
            out << k.name;
            return;
        }
    }
    kpl::utf8_string_pow2 name;
    UINT scan = MapVirtualKeyW(code, 0);
    if (get_key_name_text(static_cast<LONG>(scan << 16), name) && !name.is_empty()) out << name;
    else out << "(unknown)";
}

}  // namespace

void shortcut_key_text(uint32_t key, kpl::utf8_string& out) {
    uint8_t code = static_cast<uint8_t>(key & 0xFF);
    kpl::utf8_string_pow2 text;
    auto add = [&](const char* name) {
        if (!text.is_empty()) text << "+";
        text << name;
    };
    if ((key & shortcut_shift) && code != VK_SHIFT) add("Shift");
    if ((key & shortcut_ctrl) && code != VK_CONTROL) add("Ctrl");
    if ((key & shortcut_alt) && code != VK_MENU) add("Alt");
    if (key & shortcut_win) add("Win");
    if (!text.is_empty()) text << "+";
    append_key_name(code, text);
    out = text;
}
