// Parents, paths and lookups of the context-menu nodes.
#include "foundation/kpl/maps.h"
#include "foundation/services/main_thread.h"
#include "foundation/services/persistent_state.h"
#include "foundation/services/service_registry.h"
#include "shell/command_model.h"

namespace {

struct node_record {
    service_ref node;
    kpl::guid parent = kpl::guid_null;
    bool named = false;
    kpl::utf8_string_tight name;
};

bool find_by_scan(const kpl::guid& wanted, service_ref& out) {
    service_iterator it(context_menu_section::class_guid);
    service_ref each;
    while (it.next(each)) {
        if (each.as<context_menu_section>()->get_guid() == wanted) {
            out = each;
            return true;
        }
    }
    return false;
}

class registry final : public service_static<menu_node_registry> {
public:
    kpl::guid get_parent(const kpl::guid& node) override {
        main_thread::assert_current();
        ensure_built();
        const node_record* record = m_nodes.find_value(node);
        return record ? record->parent : kpl::guid_null;
    }

    bool get_path(const kpl::guid& node, kpl::utf8_string& out) override {
        main_thread::assert_current();
        ensure_built();
        const node_record* record = m_nodes.find_value(node);
        if (!record) return false;
        kpl::utf8_string_pow2 path;
        // The walk stops below the top-level node (the root popup), whose name is no part of a path; it
        // also stops at a parent that is no node, and after as many steps as there are nodes.
        size_t steps = m_nodes.count();
        while (record && record->parent != kpl::guid_null && steps-- > 0) {
            if (record->named && !record->name.is_empty()) {
                kpl::utf8_string_pow2 longer(record->name);
                if (!path.is_empty()) longer << "/" << path;
                path = longer;
            }
            record = m_nodes.find_value(record->parent);
        }
        out = path;
        return true;
    }

    bool find_node(const kpl::guid& node, service_ref& out) override {
        if (!m_built) {
            if (!main_thread::is_current()) return find_by_scan(node, out);
            ensure_built();
        }
        if (!m_built) return find_by_scan(node, out);
        const node_record* record = m_nodes.find_value(node);
        if (!record) return false;
        out = record->node;
        return true;
    }

    // A new build of the service table (start-up) makes the maps be built again on first use.
    void forget() {
        m_built = false;
        m_nodes.clear();
    }

private:
    void ensure_built() {
        if (m_built || !service_registry::is_running()) return;
        service_iterator it(context_menu_section::class_guid);
        service_ref each;
        while (it.next(each)) {
            context_menu_section* section = each.as<context_menu_section>();
            node_record record;
            record.node = each;
            record.parent = section->get_parent();
            service_ptr<context_menu_popup> popup;
            if (service_query(section, popup)) {
                record.named = true;
                popup->get_name(record.name);
            }
            m_nodes.set(section->get_guid(), std::move(record));
        }
        m_built = true;
    }

    kpl::guid_map<node_record> m_nodes;
    bool m_built = false;
};

service_factory_single<registry, menu_node_registry> g_registry;

class registry_reset final : public service_static<persistent_state> {
public:
    void on_startup() override { g_registry.instance().forget(); }
    void on_shutdown(bool) override {}
};

service_factory_single<registry_reset, persistent_state> g_registry_reset;

}  // namespace

menu_node_registry& menu_node_registry::get() { return g_registry.instance(); }
