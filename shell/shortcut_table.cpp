#include "shell/shortcut_table.h"

#include "foundation/kpl/array.h"
#include "foundation/services/main_thread.h"
#include "foundation/services/service_registry.h"
#include "shell/menu_nodes.h"

namespace {

const keyboard_shortcut k_builtin[] = {
    {0x250, 0, keyboard_shortcut::kind_main, shell_commands::preferences, kpl::guid_null},
    {0x40D, 0, keyboard_shortcut::kind_context, shell_commands::properties, kpl::guid_null},
};

// The entries, in an array sized exactly to their count.
kpl::array<keyboard_shortcut>& entries() {
    static kpl::array<keyboard_shortcut> table;
    return table;
}

// Runs one entry on the tracks; whether it reported success.
bool run_entry(const keyboard_shortcut& entry, const track_handle_list& tracks) {
    if (entry.kind == keyboard_shortcut::kind_context) {
        return main_menu_command_finder::run_by_guid_ex(entry.command, entry.subcommand, tracks, nullptr);
    }
    if (entry.kind != keyboard_shortcut::kind_main) return false;
    service_ptr<main_menu_command_set> set;
    uint32_t index = 0;
    if (!main_menu_command_finder::get().find_main_command(entry.command, set, index)) return false;
    service_ptr<main_menu_command_set_dynamic> dynamic;
    if (service_query(set.get(), dynamic) && dynamic->is_dynamic(index)) {
        return dynamic->execute_dynamic(index, entry.subcommand, nullptr);
    }
    set->execute(index, nullptr);
    return true;
}

// An empty track list for the main-menu path.
class no_tracks final : public track_handle_list {
public:
    uint32_t count() const override { return 0; }
    void get_item(uint32_t, track_handle_ref&) const override { throw kpl::exception_invalid_params(); }
    void set_item(uint32_t, const track_handle_ref&) override { throw kpl::exception_invalid_params(); }
    void swap_items(uint32_t, uint32_t) override { throw kpl::exception_invalid_params(); }
    void filter_by_mask(const kpl::bit_mask&) override {}
    void insert_from(const track_handle_list&, uint32_t) override { throw kpl::exception_invalid_params(); }

protected:
    const track_handle_ref& item_at(uint32_t) const override { throw kpl::exception_invalid_params(); }
};

class table final : public service_static<shortcut_table_ext> {
public:
    bool process_key_for_tracks(uint32_t kind, const track_handle_list& tracks, uint32_t key) override {
        return process_key_for_tracks_as(kind, tracks, key, kpl::guid_null);
    }

    bool process_key_for_tracks_as(uint32_t kind, const track_handle_list& tracks, uint32_t key,
                                   const kpl::guid&) override {
        main_thread::assert_current();
        bool any = false;
        // Entries are copied out: a command may change the table.
        kpl::array<keyboard_shortcut> copy;
        for (const keyboard_shortcut& entry : entries()) copy.append(entry);
        for (const keyboard_shortcut& entry : copy) {
            if (entry.kind == kind && entry.key == key && run_entry(entry, tracks)) any = true;
        }
        return any;
    }

    bool get_shortcut_text(const kpl::guid& command, const kpl::guid& subcommand, kpl::utf8_string& out,
                           uint32_t kind, bool global_only) override {
        main_thread::assert_current();
        for (const keyboard_shortcut& entry : entries()) {
            if (entry.kind != kind || entry.command != command || entry.subcommand != subcommand) continue;
            if (global_only && !(entry.flags & keyboard_shortcut::flag_global)) continue;
            shortcut_key_text(entry.key, out);
            return true;
        }
        return false;
    }

    bool process_key(uint32_t key) override {
        main_thread::assert_current();
        for (const keyboard_shortcut& entry : entries()) {
            if (entry.key != key || entry.kind != keyboard_shortcut::kind_main) continue;
            keyboard_shortcut chosen = entry;  // a command may change the table
            return run_entry(chosen, m_no_tracks);
        }
        return false;
    }

private:
    no_tracks m_no_tracks;
};

service_factory_single<table, shortcut_table> g_table;

struct builtin_installer {
    builtin_installer() { shortcut_table_set_builtin(); }
} g_install_builtin;

}  // namespace

shortcut_table& shortcut_table::get() { return g_table.instance(); }

void shortcut_table_set_entries(const keyboard_shortcut* list, uint32_t count) {
    kpl::array<keyboard_shortcut>& table = entries();
    table.resize_exact(count);
    for (uint32_t i = 0; i < count; ++i) table[i] = list[i];
}

void shortcut_table_set_builtin() { shortcut_table_set_entries(k_builtin, 2); }
