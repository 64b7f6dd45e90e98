#include "foundation/win32/menus.h"

#include <cstring>

#include "foundation/kpl/exceptions.h"
#include "foundation/win32/ampersands.h"

namespace menu_tree_builder {

UINT menu_flags(unsigned display_flags) {
    UINT flags = 0;
    if ((display_flags & menu_node::flag_checked) && !(display_flags & menu_node::flag_radio)) flags |= MF_CHECKED;
    if (display_flags & menu_node::flag_disabled) flags |= MF_DISABLED;
    if (display_flags & menu_node::flag_grayed) flags |= MF_GRAYED;
    return flags;
}

namespace {

void node_text(const menu_node& node, kpl::utf8_string_pow2& out) {
    kpl::utf8_string_pow2 name;
    node.get_name(name);
    if (std::strchr(name.c_str(), '&') != nullptr) escape_ampersands(name.c_str(), out);
    else out = name;
}

}  // namespace

void append_popup(HMENU menu, const menu_node& popup, unsigned first_id, int id_limit) {
    if (popup.kind() != menu_node::kind_popup) throw kpl::exception_invalid_params();
    const size_t count = popup.child_count();
    for (size_t i = 0; i < count; ++i) {
        const menu_node* child = popup.child(i);
        if (child == nullptr) continue;
        switch (child->kind()) {
        case menu_node::kind_popup: {
            kpl::utf8_string_pow2 name;
            node_text(*child, name);
            HMENU sub = CreatePopupMenu();
            if (sub == nullptr) break;
            try {
                append_popup(sub, *child, first_id, id_limit);
            } catch (...) {
                DestroyMenu(sub);
                throw;
            }
            if (!menu_append(menu, MF_POPUP | menu_flags(child->display_flags()), UINT_PTR(sub), name.c_str()))
                DestroyMenu(sub);
            break;
        }
        case menu_node::kind_separator:
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            break;
        case menu_node::kind_command: {
            const int index = child->command_index();
            if (index < 0 || (id_limit >= 0 && index >= id_limit)) break;
            const UINT id = first_id + unsigned(index);
            kpl::utf8_string_pow2 name;
            node_text(*child, name);
            const unsigned flags = child->display_flags();
            menu_append(menu, MF_STRING | menu_flags(flags), id, name.c_str());
            if (flags & menu_node::flag_radio) CheckMenuRadioItem(menu, id, id, id, MF_BYCOMMAND);
            break;
        }
        default:
            break;
        }
    }
}

bool node_flag(const menu_node& node, size_t index) {
    const menu_node* child = node.child(index);
    return child != nullptr && child->query_state();
}

}  // namespace menu_tree_builder

bool menu_append(HMENU menu, UINT flags, UINT_PTR id, const win_string_param& text) {
    return AppendMenuW(menu, flags, id, text.get()) != FALSE;
}

UINT menu_get_item_type(HMENU menu, UINT position) {
    MENUITEMINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE;
    if (!GetMenuItemInfoW(menu, position, TRUE, &info)) return 0;
    return info.fType;
}
