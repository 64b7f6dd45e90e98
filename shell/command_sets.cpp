#include "shell/command_sets.h"

#include "foundation/kpl/exceptions.h"
#include "shell/localization.h"

namespace {

class context_item final : public service_counted<context_menu_item> {
public:
    context_item(context_menu_command_set& set, uint32_t index) : m_set(&set), m_index(index) {}

    bool get_display(const kpl::guid& caller, const track_handle_list& tracks, kpl::utf8_string& text,
                     uint32_t& flags) override {
        return m_set->get_display_if_any(m_index, caller, tracks, text, flags);
    }
    uint32_t get_type() override { return 1; }
    void execute(const track_handle_list& tracks, service_object* extra) override {
        m_set->execute(m_index, tracks, extra);
    }
    uint32_t get_child_count() override { return 0; }
    service_object* get_child(uint32_t) override { return nullptr; }
    uint32_t get_state() override { return 0; }
    kpl::guid get_sub_guid() override { return kpl::guid_null; }
    bool is_mappable() override { return true; }

private:
    service_ptr<context_menu_command_set> m_set;
    uint32_t m_index;
};

}  // namespace

void main_menu_popup_node::get_name(kpl::utf8_string& out) { out = localization_table::get_text(m_name_id); }

const main_menu_command_entry& main_menu_command_set_base::entry(uint32_t index) const {
    if (index >= m_count) kpl::crash();
    return m_entries[index];
}

void main_menu_command_set_base::get_name(uint32_t index, kpl::utf8_string& out) {
    out = localization_table::get_text(entry(index).name_id);
}

bool main_menu_command_set_base::get_display(uint32_t index, kpl::utf8_string& text, uint32_t& flags) {
    get_name(index, text);
    flags = entry(index).display;
    return true;
}

const context_menu_command_entry& context_menu_command_set_base::entry(uint32_t index) const {
    if (index >= m_count) kpl::crash();
    return m_entries[index];
}

void context_menu_command_set_base::create_item(uint32_t index, service_ref& out) {
    entry(index);
    context_menu_make_item(*this, index, out);
}

void context_menu_command_set_base::get_name(uint32_t index, kpl::utf8_string& out) {
    out = localization_table::get_text(entry(index).name_id);
}

void context_menu_command_set_base::get_description(uint32_t index, kpl::utf8_string& out) {
    const char* id = entry(index).description_id;
    out = id ? localization_table::get_text(id) : "";
}

bool context_menu_command_set_base::execute_for_caller(uint32_t index, const kpl::guid& caller,
                                                       const track_handle_list& tracks, service_object* extra) {
    if (caller != kpl::guid_null) return false;
    execute(index, tracks, extra);
    return true;
}

bool context_menu_command_set_base::get_display(uint32_t index, const track_handle_list&, kpl::utf8_string& text,
                                                uint32_t& flags) {
    get_name(index, text);
    flags = 0;
    return true;
}

bool context_menu_command_set_base::get_display_if_any(uint32_t index, const kpl::guid&,
                                                       const track_handle_list& tracks, kpl::utf8_string& text,
                                                       uint32_t& flags) {
    if (tracks.count() == 0) return false;
    return get_display(index, tracks, text, flags);
}

void context_menu_make_item(context_menu_command_set& set, uint32_t index, service_ref& out) {
    out.attach(new context_item(set, index));
}
