// Building Win32 menus from the main-menu tree of the command model.
#include <windows.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "foundation/kpl/exceptions.h"
#include "foundation/services/main_thread.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/critical_section.h"
#include "foundation/win32/ampersands.h"
#include "foundation/win32/menus.h"
#include "shell/menu_builders.h"
#include "shell/shortcut_table.h"

void escape_menu_ampersands(const char* text, kpl::utf8_string& out) { escape_ampersands(text, out); }

void append_pending_separator(HMENU menu, bool& pending) {
    if (pending) {
        int count = GetMenuItemCount(menu);
        if (count > 0 && !(menu_get_item_type(menu, static_cast<UINT>(count - 1)) & MFT_SEPARATOR)) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        }
    }
    pending = false;
}

uint32_t menu_build_flags(uint32_t flags) {
    if (flags & (menu_build_normal | menu_build_extended)) return flags;
    return flags | (GetKeyState(VK_SHIFT) < 0 ? menu_build_extended : menu_build_normal);
}

namespace {

struct built_node {
    enum kind_t { section, popup, command_set };
    kind_t kind = section;
    uint32_t priority = 0;
    kpl::guid key = kpl::guid_null;
    service_ref object;
    std::vector<std::unique_ptr<built_node>> children;
    // command_set: the item number of each command (-1 for a dynamic one, whose nodes carry their own).
    std::vector<int64_t> items;
    // command_set: the dynamic tree of each command (empty for a plain one).
    std::vector<service_ref> dynamic_trees;
};

bool sorts_before(const built_node& a, const built_node& b) {
    if (a.priority != b.priority) return a.priority < b.priority;
    return kpl::guid_compare(a.key, b.key) < 0;
}

struct guid_ref {
    kpl::guid key;
    service_ref object;
};

bool key_less(const guid_ref& a, const guid_ref& b) { return kpl::guid_compare(a.key, b.key) < 0; }

// The range of entries with this key in an array sorted by key.
std::pair<size_t, size_t> equal_range(const std::vector<guid_ref>& sorted, const kpl::guid& key) {
    guid_ref probe{key, service_ref()};
    auto first = std::lower_bound(sorted.begin(), sorted.end(), probe, key_less);
    auto last = std::upper_bound(first, sorted.end(), probe, key_less);
    return {static_cast<size_t>(first - sorted.begin()), static_cast<size_t>(last - sorted.begin())};
}

// What an item number stands for.
struct item_target {
    service_ref set;           // a plain command: its set ...
    uint32_t index = 0;        // ... and index
    service_ref dynamic_node;  // a dynamic command node
};

class builder final : public service_counted<main_menu_builder> {
public:
    void build(const kpl::guid& root) override {
        main_thread::assert_current();
        kpl::critical_section_scope lock(m_lock);
        collect_services();
        auto found = equal_range(m_sections_by_guid, root);
        if (found.first == found.second) throw kpl::exception_with_message("Menu group not found");
        std::unique_ptr<built_node> tree(new built_node);
        tree->kind = built_node::popup;
        tree->object = m_sections_by_guid[found.first].object;
        std::vector<kpl::guid> path{root};
        add_children(*tree, root, path);
        m_items.clear();
        m_dynamic_items.clear();
        number(*tree);
        m_tree = std::move(tree);
    }

    uint32_t fill(HMENU menu, uint32_t first_id, uint32_t id_count, uint32_t flags) override {
        main_thread::assert_current();
        kpl::critical_section_scope lock(m_lock);
        if (!m_tree) kpl::crash();
        m_first_id = first_id;
        m_id_count = id_count;
        m_flags = menu_build_flags(flags);
        bool pending = false;
        return fill_children(menu, *m_tree, pending);
    }

    bool run(uint32_t id, main_thread_callback* done) override {
        kpl::critical_section_scope lock(m_lock);
        if (id < m_first_id || id - m_first_id >= m_items.size()) return false;
        item_target target = m_items[id - m_first_id];
        if (target.dynamic_node) {
            target.dynamic_node.as<dynamic_menu_node>()->execute(done);
            return true;
        }
        // The set may have lost commands since the menu was built: an index it no longer has runs nothing.
        main_menu_command_set* set = target.set.as<main_menu_command_set>();
        if (target.index >= set->get_count()) return false;
        set->execute(target.index, done);
        return true;
    }

private:
    void collect_services() {
        m_sections_by_guid.clear();
        m_sections_by_parent.clear();
        m_sets_by_parent.clear();
        service_iterator sections(main_menu_section::class_guid);
        service_ref each;
        while (sections.next(each)) {
            main_menu_section* s = each.as<main_menu_section>();
            m_sections_by_guid.push_back({s->get_guid(), each});
            m_sections_by_parent.push_back({s->get_parent(), each});
        }
        service_iterator sets(main_menu_command_set::class_guid);
        while (sets.next(each)) m_sets_by_parent.push_back({each.as<main_menu_command_set>()->get_parent(), each});
        std::stable_sort(m_sections_by_guid.begin(), m_sections_by_guid.end(), key_less);
        std::stable_sort(m_sections_by_parent.begin(), m_sections_by_parent.end(), key_less);
        std::stable_sort(m_sets_by_parent.begin(), m_sets_by_parent.end(), key_less);
    }

    // The children of a section or popup, sorted; `path` holds the nodes above (a node that is its own
    // ancestor is not entered again).
    void add_children(built_node& node, const kpl::guid& own, std::vector<kpl::guid>& path) {
        auto sections = equal_range(m_sections_by_parent, own);
        for (size_t i = sections.first; i < sections.second; ++i) {
            main_menu_section* s = m_sections_by_parent[i].object.as<main_menu_section>();
            kpl::guid child_guid = s->get_guid();
            if (std::find(path.begin(), path.end(), child_guid) != path.end()) continue;
            std::unique_ptr<built_node> child(new built_node);
            service_ptr<main_menu_popup> popup;
            child->kind = service_query(s, popup) ? built_node::popup : built_node::section;
            child->priority = s->get_sort_priority();
            child->key = child_guid;
            child->object = m_sections_by_parent[i].object;
            path.push_back(child_guid);
            add_children(*child, child_guid, path);
            path.pop_back();
            if (!child->children.empty()) node.children.push_back(std::move(child));
        }
        auto sets = equal_range(m_sets_by_parent, own);
        for (size_t i = sets.first; i < sets.second; ++i) {
            main_menu_command_set* set = m_sets_by_parent[i].object.as<main_menu_command_set>();
            std::unique_ptr<built_node> child(new built_node);
            child->kind = built_node::command_set;
            child->priority = set->get_sort_priority();
            child->key = set->get_count() > 0 ? set->get_guid(0) : kpl::guid_null;
            child->object = m_sets_by_parent[i].object;
            node.children.push_back(std::move(child));
        }
        std::stable_sort(node.children.begin(), node.children.end(),
                         [](const std::unique_ptr<built_node>& a, const std::unique_ptr<built_node>& b) {
                             return sorts_before(*a, *b);
                         });
    }

    // Item numbers, depth first in menu order.
    void number(built_node& node) {
        if (node.kind != built_node::command_set) {
            for (auto& child : node.children) number(*child);
            return;
        }
        main_menu_command_set* set = node.object.as<main_menu_command_set>();
        service_ptr<main_menu_command_set_dynamic> dynamic;
        bool has_dynamic = service_query(set, dynamic);
        uint32_t count = set->get_count();
        node.items.assign(count, -1);
        node.dynamic_trees.assign(count, service_ref());
        for (uint32_t i = 0; i < count; ++i) {
            if (has_dynamic && dynamic->is_dynamic(i)) {
                dynamic->get_dynamic_tree(i, node.dynamic_trees[i]);
                if (node.dynamic_trees[i]) number_dynamic(node.dynamic_trees[i], 0);
                continue;
            }
            node.items[i] = static_cast<int64_t>(m_items.size());
            item_target target;
            target.set = node.object;
            target.index = i;
            m_items.push_back(target);
        }
    }

    void number_dynamic(const service_ref& ref, int depth) {
        if (depth > 32) return;
        dynamic_menu_node* node = ref.as<dynamic_menu_node>();
        if (node->get_kind() == dynamic_menu_node::kind_command) {
            m_dynamic_items.push_back({ref.get(), m_items.size()});
            item_target target;
            target.dynamic_node = ref;
            m_items.push_back(target);
            return;
        }
        uint32_t count = node->get_kind() == dynamic_menu_node::kind_popup ? node->get_child_count() : 0;
        for (uint32_t i = 0; i < count; ++i) {
            service_ref child;
            node->get_child(i, child);
            if (child) number_dynamic(child, depth + 1);
        }
    }

    uint32_t item_id(size_t item_number) const {
        if (item_number >= m_id_count) throw kpl::exception_overflow();
        return m_first_id + static_cast<uint32_t>(item_number);
    }

    void shortcut_suffix(const kpl::guid& command, const kpl::guid& subcommand, kpl::utf8_string& text) const {
        if (!(m_flags & (menu_build_shortcuts | menu_build_global_shortcuts))) return;
        kpl::utf8_string_pow2 keys;
        if (shortcut_table::get().get_shortcut_text(command, subcommand, keys, keyboard_shortcut::kind_main,
                                                    (m_flags & menu_build_global_shortcuts) != 0)) {
            text << "\t" << keys;
        }
    }

    // Appends one command item; returns its level.
    uint32_t append_command(HMENU menu, const char* text, uint32_t display, size_t item_number, bool& pending) {
        UINT id = item_id(item_number);
        append_pending_separator(menu, pending);
        kpl::utf8_string_pow2 shown;
        escape_menu_ampersands(text, shown);
        UINT flags = MF_STRING;
        bool disabled = (display & main_display_disabled) != 0;
        if (disabled) flags |= MF_DISABLED | MF_GRAYED;
        bool radio = (display & main_display_radio) != 0;
        if (!radio && (display & main_display_checked)) flags |= MF_CHECKED;
        menu_append(menu, flags, id, shown.c_str());
        if (radio) CheckMenuRadioItem(menu, id, id, id, MF_BYCOMMAND);
        return disabled ? menu_level_disabled : menu_level_enabled;
    }

    // A popup of `name` holding what `fill_inner` adds; returns its level.
    template <class FillInner>
    uint32_t append_popup(HMENU menu, const char* name, bool& pending, FillInner&& fill_inner) {
        HMENU sub = CreatePopupMenu();
        if (!sub) return menu_level_empty;
        uint32_t level;
        try {
            level = fill_inner(sub);
        } catch (...) {
            DestroyMenu(sub);
            throw;
        }
        if (level == menu_level_empty) {
            DestroyMenu(sub);
            return level;
        }
        append_pending_separator(menu, pending);
        kpl::utf8_string_pow2 shown;
        escape_menu_ampersands(name, shown);
        if (level == menu_level_disabled) {
            DestroyMenu(sub);
            shown << "\t...";
            menu_append(menu, MF_STRING | MF_DISABLED | MF_GRAYED, 0, shown.c_str());
        } else if (!menu_append(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), shown.c_str())) {
            DestroyMenu(sub);
        }
        return level;
    }

    uint32_t fill_children(HMENU menu, const built_node& node, bool& pending) {
        uint32_t level = menu_level_empty;
        for (const auto& child : node.children) level = std::max(level, fill_node(menu, *child, pending));
        return level;
    }

    uint32_t fill_node(HMENU menu, const built_node& node, bool& pending) {
        switch (node.kind) {
            case built_node::section: {
                uint32_t level = fill_children(menu, node, pending);
                pending = true;
                return level;
            }
            case built_node::popup: {
                kpl::utf8_string_pow2 name;
                node.object.as<main_menu_popup>()->get_name(name);
                return append_popup(menu, name.c_str(), pending, [&](HMENU sub) {
                    bool inner_pending = false;
                    return fill_children(sub, node, inner_pending);
                });
            }
            case built_node::command_set:
                return fill_set(menu, node, pending);
        }
        return menu_level_empty;
    }

    uint32_t fill_set(HMENU menu, const built_node& node, bool& pending) {
        main_menu_command_set* set = node.object.as<main_menu_command_set>();
        uint32_t level = menu_level_empty;
        uint32_t count = std::min<uint32_t>(set->get_count(), static_cast<uint32_t>(node.items.size()));
        for (uint32_t i = 0; i < count; ++i) {
            if (node.dynamic_trees[i]) {
                level = std::max(level, fill_dynamic(menu, node.dynamic_trees[i], set->get_guid(i), pending, 0));
                continue;
            }
            if (node.items[i] < 0) continue;
            kpl::utf8_string_pow2 text;
            uint32_t display = 0;
            if (!set->get_display(i, text, display)) continue;
            if ((display & main_display_shift_only) && !(m_flags & menu_build_extended)) continue;
            shortcut_suffix(set->get_guid(i), kpl::guid_null, text);
            level = std::max(level, append_command(menu, text.c_str(), display, static_cast<size_t>(node.items[i]),
                                                   pending));
        }
        return level;
    }

    uint32_t fill_dynamic(HMENU menu, const service_ref& ref, const kpl::guid& command, bool& pending, int depth) {
        if (depth > 32) return menu_level_empty;
        dynamic_menu_node* node = ref.as<dynamic_menu_node>();
        kpl::utf8_string_pow2 text;
        uint32_t display = 0;
        switch (node->get_kind()) {
            case dynamic_menu_node::kind_separator:
                pending = true;
                return menu_level_empty;
            case dynamic_menu_node::kind_command: {
                size_t item = dynamic_item_number(ref.get());
                if (item == size_t(-1)) return menu_level_empty;
                node->get_display(text, display);
                shortcut_suffix(command, node->get_guid(), text);
                return append_command(menu, text.c_str(), display, item, pending);
            }
            case dynamic_menu_node::kind_popup: {
                node->get_display(text, display);
                return append_popup(menu, text.c_str(), pending, [&](HMENU sub) {
                    bool inner_pending = false;
                    uint32_t level = menu_level_empty;
                    uint32_t count = node->get_child_count();
                    for (uint32_t i = 0; i < count; ++i) {
                        service_ref child;
                        node->get_child(i, child);
                        if (child) level = std::max(level, fill_dynamic(sub, child, command, inner_pending, depth + 1));
                    }
                    return level;
                });
            }
        }
        return menu_level_empty;
    }

    size_t dynamic_item_number(const service_object* node) const {
        for (const auto& d : m_dynamic_items) {
            if (d.first == node) return d.second;
        }
        return size_t(-1);
    }

    kpl::critical_section m_lock;
    std::vector<guid_ref> m_sections_by_guid, m_sections_by_parent, m_sets_by_parent;
    std::unique_ptr<built_node> m_tree;
    std::vector<item_target> m_items;
    std::vector<std::pair<const service_object*, size_t>> m_dynamic_items;
    uint32_t m_first_id = 0;
    uint32_t m_id_count = 0;
    uint32_t m_flags = 0;
};

service_factory_per_request<builder, main_menu_builder> g_builder;

}  // namespace
