#include "ui/preferences_tree.h"

#include <algorithm>
#include <functional>

#include "foundation/fs/stream_forms.h"
#include "foundation/services/config_variable.h"
#include "foundation/win32/text_nocase.h"
#include "ui/preferences_group.h"

namespace {

bool guid_less(const kpl::guid& a, const kpl::guid& b) { return kpl::guid_compare(a, b) < 0; }

// Whether a page is anywhere at or below the node.
bool has_page(const preferences_node& node) {
    if (!node.is_group) return true;
    for (const preferences_node* child : node.children)
        if (has_page(*child)) return true;
    return false;
}

void prune_and_sort(std::vector<preferences_node*>& level) {
    level.erase(std::remove_if(level.begin(), level.end(), [](const preferences_node* n) { return !has_page(*n); }),
                level.end());
    std::stable_sort(level.begin(), level.end(), [](const preferences_node* a, const preferences_node* b) {
        if (a->sort_priority != b->sort_priority) return a->sort_priority > b->sort_priority;
        return utf8_compare_nocase(a->name.c_str(), b->name.c_str()) < 0;
    });
    for (preferences_node* n : level) prune_and_sort(n->children);
}

const preferences_node* find_in(const std::vector<preferences_node*>& level, const kpl::guid& guid) {
    for (const preferences_node* n : level) {
        if (n->guid == guid) return n;
        if (const preferences_node* found = find_in(n->children, guid)) return found;
    }
    return nullptr;
}

}  // namespace

void preferences_tree::clear() {
    m_top.clear();
    m_nodes.clear();
}

void preferences_tree::build(const std::vector<preferences_node>& nodes) {
    clear();
    m_nodes = nodes;
    for (preferences_node& n : m_nodes) n.children.clear();
    std::stable_sort(m_nodes.begin(), m_nodes.end(),
                     [](const preferences_node& a, const preferences_node& b) { return guid_less(a.guid, b.guid); });
    m_nodes.erase(std::unique(m_nodes.begin(), m_nodes.end(),
                              [](const preferences_node& a, const preferences_node& b) { return a.guid == b.guid; }),
                  m_nodes.end());
    for (preferences_node& n : m_nodes) {
        if (n.parent == preferences_group::root_guid) {
            m_top.push_back(&n);
            continue;
        }
        auto at = std::lower_bound(m_nodes.begin(), m_nodes.end(), n.parent,
                                   [](const preferences_node& x, const kpl::guid& g) { return guid_less(x.guid, g); });
        if (at != m_nodes.end() && at->guid == n.parent && &*at != &n) at->children.push_back(&n);
    }
    // A node reachable only through a cycle of parents never reaches the top level and is not shown.
    prune_and_sort(m_top);
}

const preferences_node* preferences_tree::find(const kpl::guid& guid) const {
    auto at = std::lower_bound(m_nodes.begin(), m_nodes.end(), guid,
                               [](const preferences_node& x, const kpl::guid& g) { return guid_less(x.guid, g); });
    return at != m_nodes.end() && at->guid == guid ? &*at : nullptr;
}

const preferences_node* preferences_tree::find_shown(const kpl::guid& guid) const { return find_in(m_top, guid); }

bool preferences_expanded_set::contains(const kpl::guid& guid) const {
    return std::binary_search(m_guids.begin(), m_guids.end(), guid, guid_less);
}

void preferences_expanded_set::set(const kpl::guid& guid, bool expanded) {
    auto at = std::lower_bound(m_guids.begin(), m_guids.end(), guid, guid_less);
    const bool present = at != m_guids.end() && *at == guid;
    if (expanded && !present) m_guids.insert(at, guid);
    if (!expanded && present) m_guids.erase(at);
}

void preferences_expanded_set::write(byte_sink& sink, const abort_signal& abort) const {
    stream_writer w(sink, abort);
    w.write_uint32(static_cast<uint32_t>(m_guids.size()));
    for (const kpl::guid& g : m_guids) sink.write(&g, 16, abort);
}

void preferences_expanded_set::read(byte_source& source, const abort_signal& abort) {
    m_guids.clear();
    std::vector<kpl::guid> read;
    stream_reader r(source, abort);
    const uint32_t count = r.read_uint32();
    for (uint32_t i = 0; i < count; ++i) {  // no reservation: the count is not trusted
        kpl::guid g;
        r.read(&g, 16);
        read.push_back(g);
    }
    // Kept as a set whatever order the record had.
    std::sort(read.begin(), read.end(), guid_less);
    read.erase(std::unique(read.begin(), read.end()), read.end());
    m_guids.swap(read);
}

namespace {

// {262B5E5F-A13B-485B-8FDD-288C45225696}
constexpr kpl::guid k_expanded_guid = {0x262B5E5F, 0xA13B, 0x485B, {0x8F, 0xDD, 0x28, 0x8C, 0x45, 0x22, 0x56, 0x96}};

class config_expanded_nodes final : public config_variable {
public:
    config_expanded_nodes() : config_variable(k_expanded_guid) {}
    void set_data(byte_source& source, uint32_t, const abort_signal& abort) override { m_set.read(source, abort); }
    void get_data(byte_sink& sink, const abort_signal& abort) override { m_set.write(sink, abort); }
    preferences_expanded_set m_set;
};

config_expanded_nodes g_expanded;

}  // namespace

preferences_expanded_set& preferences_expanded_nodes() { return g_expanded.m_set; }

preferences_buttons preferences_buttons_for(uint32_t flags) {
    const bool busy = (flags & preferences_state_busy) != 0;
    return {(flags & preferences_state_changed) != 0 && !busy, !busy, busy};
}

uint32_t preferences_flags_of(const std::vector<preferences_apply_page*>& pages) {
    uint32_t flags = 0;
    for (preferences_apply_page* p : pages) flags |= p->get_state();
    return flags;
}

bool preferences_apply(const std::vector<preferences_apply_page*>& pages, preferences_apply_environment& environment) {
    const uint32_t flags = preferences_flags_of(pages);
    if (flags & preferences_state_busy) return false;
    if (!(flags & preferences_state_changed)) return true;
    if (flags & preferences_state_needs_restart) {
        if (!environment.shutdown_vetoes_agree()) return false;
        if (!environment.modal_ui_allowed_or_front()) return false;
        if (!environment.ask_restart()) return false;
        if (!environment.request_restart()) return false;
    }
    for (preferences_apply_page* p : pages)
        if (p->get_state() & preferences_state_changed) p->apply();
    if (!environment.exit_under_way()) {
        if (flags & preferences_state_needs_output_restart) environment.restart_output();
        if (!environment.profile_read_only()) environment.flush_persistent_state();
    }
    return true;
}
