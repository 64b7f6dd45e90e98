#pragma once
// Filling Windows menus from a tree of menu nodes.
//
// A menu-node tree is what the context-menu builder hands out: popups (kind 0) with children, commands
// (kind 1) with a display text, display flags and an item number, and separators (kind 2). Display flags:
// 1 checked, 2 disabled, 4 grayed, 8 radio item (a radio item shows the radio mark instead of the check).
//
//   HMENU menu = CreatePopupMenu();
//   menu_tree_builder::append_popup(menu, root, 1, 500);   // commands get ids 1 + item number, < 501
//   const UINT chosen = TrackPopupMenu(menu, TPM_RETURNCMD, x, y, 0, owner, nullptr);
//
// Names holding '&' are escaped, so "Rock & Roll" shows its ampersand.

#include <windows.h>

#include <cstddef>

#include "foundation/kpl/string.h"
#include "foundation/win32/win_string.h"

class menu_node {
public:
    enum : unsigned { kind_popup = 0, kind_command = 1, kind_separator = 2 };
    enum : unsigned { flag_checked = 1, flag_disabled = 2, flag_grayed = 4, flag_radio = 8 };

    virtual unsigned kind() const = 0;
    // The popup's name or the command's display text.
    virtual void get_name(kpl::utf8_string& out) const = 0;
    // Display flags of a command or popup (see above).
    virtual unsigned display_flags() const = 0;
    // A command's item number; negative for none.
    virtual int command_index() const = 0;
    virtual size_t child_count() const = 0;
    // The child at the index, or null past the end.
    virtual const menu_node* child(size_t index) const = 0;
    // The node's yes/no state.
    virtual bool query_state() const = 0;

protected:
    ~menu_node() = default;
};

namespace menu_tree_builder {

// Appends the children of a popup node to the menu, recursively. A command is added only when its item
// number is at least 0 and below id_limit (a negative limit means no limit), with the id first_id + item
// number. A root that is not a popup throws kpl::exception_invalid_params.
void append_popup(HMENU menu, const menu_node& popup, unsigned first_id, int id_limit);
// The menu flags for a node's display flags (MF_CHECKED, MF_DISABLED, MF_GRAYED; radio never checks).
UINT menu_flags(unsigned display_flags);
// The yes/no state of the node's child at the index; false when there is no such child.
bool node_flag(const menu_node& node, size_t index);

}  // namespace menu_tree_builder

// AppendMenuW with a UTF-8 text or a string-table id.
bool menu_append(HMENU menu, UINT flags, UINT_PTR id, const win_string_param& text);
// The item's MENUITEMINFOW fType at a position; 0 when it cannot be read.
UINT menu_get_item_type(HMENU menu, UINT position);
