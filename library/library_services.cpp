// The library's other faces: its stored data (persistent_state), the two commands of the File menu's
// library section, the receiver of info changes, and the properties dialog's edit-assist question.
#include "foundation/services/persistent_state.h"
#include "foundation/services/service_registry.h"
#include "library/library_manager.h"
#include "library/track_edit_query.h"
#include "metadata/info_change_notify.h"
#include "shell/command_sets.h"
#include "shell/menu_nodes.h"

namespace {

// Loading does nothing (the library loads when first asked); saving writes "database.dat" while the
// library is loaded, and a reset of stored data removes it.
class library_state final : public service_static<persistent_state_flush> {
public:
    void on_startup() override {}
    void on_shutdown(bool discard) override { library_manager::save(discard); }
    void save_now() override { library_manager::save(false); }
};

const main_menu_command_entry k_library_commands[] = {
    {{0xF3176D0C, 0xEC94, 0x45BE, {0x8F, 0xC2, 0x6F, 0x3B, 0x54, 0x0B, 0xB4, 0x92}}, "menu_monitor_folders",
     main_display_shift_only},
    {{0xDAE3DBD3, 0x7697, 0x48D5, {0xAF, 0x02, 0xBC, 0xC2, 0xAF, 0x99, 0x1A, 0x86}}, "menu_scan_folders", 0},
};

class library_commands final : public main_menu_command_set_base {
public:
    library_commands() : main_menu_command_set_base(menu_nodes::library_section, 0x80000000, k_library_commands, 2) {}

    bool get_display(uint32_t index, kpl::utf8_string& text, uint32_t& flags) override {
        entry(index);
        if (index == 1 && cfg_monitor_library_folders) return false;
        main_menu_command_set_base::get_display(index, text, flags);
        if (index == 0 && cfg_monitor_library_folders) flags |= main_display_checked;
        return true;
    }

    void execute(uint32_t index, main_thread_callback* done) override {
        entry(index);
        if (index == 0)
            library_manager::toggle_monitoring();
        else
            library_manager::rescan_all();
        if (done) done->run();
    }
};

class library_info_changes final : public service_static<info_change_notify> {
public:
    void on_info_changed(const kpl::ref_list<track_handle_ref>& tracks, uint8_t) override {
        library_manager::on_info_changed(tracks);
    }
};

class library_edit_query final : public service_static<track_edit_query> {
public:
    bool get_edit_assist(const char*, service_ref&) override { return false; }
};

service_factory_single<library_state, persistent_state> g_library_state;
service_factory_single<library_commands, main_menu_command_set> g_library_commands;
service_factory_single<library_info_changes, info_change_notify> g_library_info_changes;
service_factory_single<library_edit_query, track_edit_query> g_library_edit_query;

}  // namespace
