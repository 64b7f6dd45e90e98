// Building the context menu of a track list from the context-menu tree of the command model.
#include <algorithm>
#include <exception>
#include <memory>
#include <vector>

#include "foundation/services/main_thread.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/menus.h"
#include "shell/menu_builders.h"
#include "shell/menu_nodes.h"
#include "shell/shortcut_table.h"

namespace {

// One node of the tree handed to menu_tree_builder::append_popup.
class context_node final : public menu_node {
public:
    explicit context_node(unsigned kind) : m_kind(kind) {}

    unsigned kind() const override { return m_kind; }
    void get_name(kpl::utf8_string& out) const override { out = m_name; }
    unsigned display_flags() const override { return m_flags; }
    int command_index() const override { return m_item; }
    size_t child_count() const override { return m_children.size(); }
    const menu_node* child(size_t index) const override {
        return index < m_children.size() ? m_children[index].get() : nullptr;
    }
    bool query_state() const override { return (m_flags & context_display_checked) != 0; }

    kpl::utf8_string_tight m_name;
    unsigned m_kind;
    unsigned m_flags = 0;
    int m_item = -1;
    std::vector<std::unique_ptr<context_node>> m_children;

    bool last_is_separator() const { return !m_children.empty() && m_children.back()->m_kind == kind_separator; }
    void separator_if_needed() {
        if (!m_children.empty() && !last_is_separator()) m_children.emplace_back(new context_node(kind_separator));
    }
};

struct child_entry {
    double priority;
    kpl::guid key;
    enum { section, popup, set } kind;
    service_ref object;
};

class builder final : public service_counted<context_menu_builder_ext> {
public:
    builder() : m_root(new context_node(menu_node::kind_popup)) {}

    void build(const track_handle_list& tracks, uint32_t flags) override { build_as(kpl::guid_null, tracks, flags); }

    void build_as(const kpl::guid& caller, const track_handle_list& tracks, uint32_t flags) override {
        main_thread::assert_current();
        m_root.reset(new context_node(menu_node::kind_popup));
        m_items.clear();
        m_flags = menu_build_flags(flags);
        m_caller = caller;
        try {
            collect_services();
            std::vector<kpl::guid> path{menu_nodes::context_root};
            bool after_section = false;
            add_children(*m_root, menu_nodes::context_root, tracks, path, after_section);
            if (m_root->last_is_separator()) m_root->m_children.pop_back();
        } catch (const std::exception&) {
            m_root.reset(new context_node(menu_node::kind_popup));
            m_items.clear();
        }
    }

    const menu_node& get_root() override { return *m_root; }

    bool run(uint32_t item_number, const track_handle_list& tracks) override {
        main_thread::assert_current();
        if (item_number >= m_items.size()) return false;
        service_ref item = m_items[item_number];
        item.as<context_menu_item>()->execute(tracks, nullptr);
        return true;
    }

private:
    void collect_services() {
        m_nodes.clear();
        m_sets.clear();
        service_iterator sections(context_menu_section::class_guid);
        service_ref each;
        while (sections.next(each)) m_nodes.push_back(each);
        service_iterator sets(context_menu_command_set::class_guid);
        while (sets.next(each)) m_sets.push_back(each);
    }

    bool visible(context_menu_command_set* set, uint32_t index) const {
        uint32_t v = set->get_visibility(index);
        return v == context_visible_always || (v == context_visible_extended && (m_flags & menu_build_extended));
    }

    bool any_visible(context_menu_command_set* set) const {
        uint32_t count = set->get_count();
        for (uint32_t i = 0; i < count; ++i) {
            if (visible(set, i)) return true;
        }
        return false;
    }

    // Sorted children of a node: {priority, GUID} ascending, the first of equal keys kept.
    std::vector<child_entry> children_of(const kpl::guid& parent) const {
        std::vector<child_entry> list;
        for (const service_ref& ref : m_nodes) {
            context_menu_section* s = ref.as<context_menu_section>();
            if (s->get_parent() != parent) continue;
            service_ptr<context_menu_popup> popup;
            bool named = service_query(s, popup);
            list.push_back({s->get_sort_priority(), s->get_guid(), named ? child_entry::popup : child_entry::section, ref});
        }
        for (const service_ref& ref : m_sets) {
            context_menu_command_set* set = ref.as<context_menu_command_set>();
            if (set->get_parent() != parent || !any_visible(set)) continue;
            kpl::guid key = set->get_count() > 0 ? set->get_guid(0) : kpl::guid_null;
            list.push_back({set->get_sort_priority(), key, child_entry::set, ref});
        }
        auto less = [](const child_entry& a, const child_entry& b) {
            if (a.priority != b.priority) return a.priority < b.priority;
            return kpl::guid_compare(a.key, b.key) < 0;
        };
        std::stable_sort(list.begin(), list.end(), less);
        std::vector<child_entry> unique;
        for (child_entry& e : list) {
            if (!unique.empty() && !less(unique.back(), e)) continue;
            unique.push_back(std::move(e));
        }
        return unique;
    }

    // Adds the children of the node `parent` to `into`. `after_section` asks for a separator before the next
    // item added to `into`.
    void add_children(context_node& into, const kpl::guid& parent, const track_handle_list& tracks,
                      std::vector<kpl::guid>& path, bool& after_section) {
        for (const child_entry& e : children_of(parent)) {
            if (e.kind == child_entry::set) {
                add_set(into, e.object.as<context_menu_command_set>(), tracks, after_section);
                continue;
            }
            if (std::find(path.begin(), path.end(), e.key) != path.end()) continue;
            path.push_back(e.key);
            if (e.kind == child_entry::section) {
                size_t before = into.m_children.size();
                bool separate_first = true;  // a separator before the section's first item
                add_children(into, e.key, tracks, path, separate_first);
                if (into.m_children.size() != before) after_section = true;  // and before the next item after it
            } else {
                std::unique_ptr<context_node> popup(new context_node(menu_node::kind_popup));
                e.object.as<context_menu_popup>()->get_name(popup->m_name);
                if (popup->m_name.is_empty()) popup->m_name = "[no name]";
                bool inner = false;
                add_children(*popup, e.key, tracks, path, inner);
                if (popup->last_is_separator()) popup->m_children.pop_back();
                if (!popup->m_children.empty()) add_item(into, std::move(popup), after_section);
            }
            path.pop_back();
        }
    }

    void add_item(context_node& into, std::unique_ptr<context_node> node, bool& separate) {
        if (separate) into.separator_if_needed();
        separate = false;
        into.m_children.push_back(std::move(node));
    }

    void add_set(context_node& into, context_menu_command_set* set, const track_handle_list& tracks,
                 bool& separate) {
        uint32_t count = set->get_count();
        for (uint32_t i = 0; i < count; ++i) {
            if (!visible(set, i)) continue;
            service_ref item;
            set->create_item(i, item);
            if (!item) continue;
            std::unique_ptr<context_node> node(new context_node(menu_node::kind_command));
            uint32_t flags = 0;
            kpl::utf8_string_pow2 text;
            if (!item.as<context_menu_item>()->get_display(m_caller, tracks, text, flags)) continue;
            if (m_flags & (menu_build_shortcuts | menu_build_global_shortcuts)) {
                kpl::utf8_string_pow2 keys;
                if (shortcut_table::get().get_shortcut_text(set->get_guid(i), m_caller, keys,
                                                            keyboard_shortcut::kind_context,
                                                            (m_flags & menu_build_global_shortcuts) != 0)) {
                    text << "\t" << keys;
                }
            }
            node->m_name = text;
            node->m_flags = flags;
            node->m_item = static_cast<int>(m_items.size());
            m_items.push_back(item);
            add_item(into, std::move(node), separate);
        }
    }

    std::unique_ptr<context_node> m_root;
    std::vector<service_ref> m_items;
    std::vector<service_ref> m_nodes;
    std::vector<service_ref> m_sets;
    kpl::guid m_caller = kpl::guid_null;
    uint32_t m_flags = 0;
};

service_factory_per_request<builder, context_menu_builder> g_builder;

}  // namespace
