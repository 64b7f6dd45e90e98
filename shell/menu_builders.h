#pragma once
// Menus built from the command model each time they open.
//
//     service_ptr<main_menu_builder> builder;
//     service_class::get_single(builder);                 // a new builder per request
//     builder->build(menu_nodes::file_popup);              // "Menu group not found" for an unknown node
//     HMENU menu = CreatePopupMenu();
//     builder->fill(menu, 1, 500, menu_build_shortcuts);   // items get ids 1..500; Shift decides the extras
//     UINT id = TrackPopupMenu(menu, TPM_RETURNCMD, x, y, 0, owner, nullptr);
//     if (id) builder->run(id, nullptr);
//
//     service_ptr<context_menu_builder> context;
//     service_class::get_single(context);
//     context->build(selection, menu_build_shortcuts);
//     menu_tree_builder::append_popup(menu, context->get_root(), 1, 500);   // item number n -> id 1 + n
//     if (id) context->run(id - 1, selection);
//
// Build flags: menu_build_normal (4) or menu_build_extended (8, the Shift menu: commands flagged
// Shift-only, context commands of visibility 1); with neither, the Shift key held now decides.
// menu_build_shortcuts (1) adds "\t" + the command's shortcut text, menu_build_global_shortcuts (2) only
// global shortcuts. Main thread only.
//
// Main menu: a node's children (sections, popups, command sets) are ordered by sort priority as an unsigned
// number, then GUID (a set by its first command's GUID); sections and popups without children are left
// out; commands are numbered depth first. Sections fill into their parent's menu and one separator follows
// each, never at the start or end of a menu and never doubled. A popup with only disabled items shows as
// one grayed item "name\t...", one with nothing is left out. "&" in texts is doubled.
//
// Context menu: children ordered by sort priority (ascending), then GUID; equal keys keep the first. Only
// sets with a command visible in this menu take part. A section's items go into its parent's list, with a
// separator before its first item and before the first item after it (never first, last or doubled).
// Popups without a name read "[no name]"; popups without items are left out. A failure while building
// leaves the menu empty.

#include <windows.h>

#include <cstdint>

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"
#include "foundation/win32/menus.h"
#include "shell/command_model.h"

enum : uint32_t {
    menu_build_shortcuts = 1,
    menu_build_global_shortcuts = 2,
    menu_build_normal = 4,
    menu_build_extended = 8,
};

// What fill added: nothing, only disabled items, or at least one enabled item.
enum : uint32_t {
    menu_level_empty = 0,
    menu_level_disabled = 1,
    menu_level_enabled = 2,
};

class main_menu_builder : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x350B3EA8, 0x6B3E, 0x4346, {0xB6, 0xD2, 0x79, 0x9E, 0x98, 0xEF, 0xC9, 0x20}};

    // Builds the tree below the node (again, when called again).
    virtual void build(const kpl::guid& root) = 0;
    // Appends the built tree to the menu; ids first_id + item number, an item number at or beyond id_count
    // throws kpl::exception_overflow. Before build the process stops (kpl::crash).
    virtual uint32_t fill(HMENU menu, uint32_t first_id, uint32_t id_count, uint32_t flags) = 0;
    // Runs the command behind a filled id; false when no command has it.
    virtual bool run(uint32_t id, main_thread_callback* done) = 0;
};

class context_menu_builder : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xD3BD5F53, 0xA6D6, 0x4346, {0x99, 0x1F, 0xCF, 0x14, 0xDF, 0xAD, 0x2B, 0x3A}};

    // Builds the context menu below the root popup for the tracks (the null caller).
    virtual void build(const track_handle_list& tracks, uint32_t flags) = 0;
    // The built menu-node tree: a popup whose children are the items.
    virtual const menu_node& get_root() = 0;
    // Runs the command of an item number on the tracks; false when there is no such item.
    virtual bool run(uint32_t item_number, const track_handle_list& tracks) = 0;
};

// Answered by the context builder's object: building for a caller GUID (passed to the commands' display
// and used for their shortcut texts).
class context_menu_builder_ext : public context_menu_builder {
public:
    static constexpr kpl::guid class_guid = {0xFDA07C56, 0x05D0, 0x4B84, {0x9F, 0xBD, 0xA8, 0xBE, 0x55, 0x6D, 0x47, 0x4D}};
    using parent_interface = context_menu_builder;

    virtual void build_as(const kpl::guid& caller, const track_handle_list& tracks, uint32_t flags) = 0;
};

// "&" -> "&&".
void escape_menu_ampersands(const char* text, kpl::utf8_string& out);
// When `pending` is set and the menu has items and its last item is no separator, appends a separator;
// then clears `pending`.
void append_pending_separator(HMENU menu, bool& pending);
// The build flags with the Shift rule applied: unchanged when 4 or 8 is given, else 8 with Shift held and
// 4 without.
uint32_t menu_build_flags(uint32_t flags);
