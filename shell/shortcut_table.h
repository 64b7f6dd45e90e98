#pragma once
// Keyboard shortcuts: a process-wide table from key combinations to commands of the command model, and
// the texts of the shortcuts that menus show after a tab.
//
//     shortcut_table& keys = shortcut_table::get();
//     keys.process_key(0x250);                                   // Ctrl+P: opens the preferences
//     keys.process_key_for_tracks(1, selection, 0x40D);          // Alt+Enter: properties of the selection
//     kpl::utf8_string_pow2 text;
//     keys.get_shortcut_text(k_preferences, kpl::guid_null, text, 0, false);   // "Ctrl+P"
//
// Key values: the virtual-key code in the low byte plus 0x100 Shift, 0x200 Ctrl, 0x400 Alt, 0x800 Win
// (hotkey_from_key_message of foundation/win32/hotkeys.h makes them from key messages). The table holds
// the two built-in entries Ctrl+P (Preferences) and Alt+Enter (the Properties context command); it is not
// loaded or saved. Every operation asserts the main thread.

#include <cstdint>

#include "foundation/kpl/guid.h"
#include "foundation/kpl/string.h"
#include "foundation/services/service_base.h"
#include "shell/command_model.h"

struct keyboard_shortcut {
    enum : uint16_t { flag_global = 1 };
    enum : uint32_t { kind_main = 0, kind_context = 1 };

    uint16_t key;
    uint16_t flags;
    uint32_t kind;
    kpl::guid command;
    // Main menu: the dynamic sub-command (null for a plain command); context menu: the caller passed on.
    kpl::guid subcommand;
};

class shortcut_table : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x95DE5842, 0x30F5, 0x4F72, {0xB4, 0x0C, 0x19, 0x16, 0x63, 0x78, 0x2F, 0x80}};

    // process_key_for_tracks_as with the null caller.
    virtual bool process_key_for_tracks(uint32_t kind, const track_handle_list& tracks, uint32_t key) = 0;
    // Runs every entry whose kind and key match, in table order; true when at least one reported success.
    virtual bool process_key_for_tracks_as(uint32_t kind, const track_handle_list& tracks, uint32_t key,
                                           const kpl::guid& caller) = 0;
    // The text of the first entry whose kind, command and subcommand match (with global_only, only entries
    // flagged global count); false when there is none.
    virtual bool get_shortcut_text(const kpl::guid& command, const kpl::guid& subcommand, kpl::utf8_string& out,
                                   uint32_t kind, bool global_only) = 0;
    // Runs the first main-menu entry (kind 0) with this key; false when nothing ran.
    virtual bool process_key(uint32_t key) = 0;

    static shortcut_table& get();
};

// Answered by the shortcut table's object; adds nothing. The main window asks for it when it is created.
class shortcut_table_ext : public shortcut_table {
public:
    static constexpr kpl::guid class_guid = {0xCD19C870, 0xDA6A, 0x4B8A, {0xA1, 0x18, 0x73, 0x2A, 0x81, 0x02, 0xD0, 0x7D}};
    using parent_interface = shortcut_table;
};

// The text of a key value: the modifiers "Shift", "Ctrl", "Alt", "Win" joined with "+" (a modifier is not
// named when the key itself is that modifier, except "Win"), a "+" after them, then the key's name (a fixed
// name for navigation and media keys, else the keyboard layout's name, else "(unknown)").
//     0x250 -> "Ctrl+P";   0x110 (Shift with the Shift key) -> "Shift";   0x9B0 -> "Win+Next (MM)"
void shortcut_key_text(uint32_t key, kpl::utf8_string& out);

// Replaces the table's entries (exact capacity). Main thread. Tests.
void shortcut_table_set_entries(const keyboard_shortcut* entries, uint32_t count);
// The built-in entries, as installed at static initialisation.
void shortcut_table_set_builtin();
