// The shell's own main-menu commands: preferences, restart and exit, and the transport commands.
#include "foundation/services/service_registry.h"
#include "playback/playback_controller.h"
#include "shell/app_exit.h"
#include "shell/command_sets.h"
#include "shell/menu_nodes.h"
#include "shell/ui_state_service.h"

namespace {


void finished(main_thread_callback* done) {
    if (done) done->run();
}

const main_menu_command_entry k_preferences[] = {{shell_commands::preferences, "menu_preferences", 0}};

class preferences_commands final : public main_menu_command_set_base {
public:
    preferences_commands() : main_menu_command_set_base(menu_nodes::preferences_section, 0, k_preferences, 1) {}

    void execute(uint32_t index, main_thread_callback* done) override {
        entry(index);
        service_ptr<ui_state_service> ui;
        service_class::get_single(ui);
        ui->show_preferences(kpl::guid_null);
        finished(done);
    }
};

const main_menu_command_entry k_exit[] = {
    {shell_commands::restart, "menu_restart", main_display_shift_only},
    {shell_commands::exit, "menu_exit", 0},
};

class exit_commands final : public main_menu_command_set_base {
public:
    exit_commands() : main_menu_command_set_base(menu_nodes::exit_section, 0xFFFFFFFF, k_exit, 2) {}

    void execute(uint32_t index, main_thread_callback* done) override {
        entry(index);
        app_request_exit(index == 0 ? 1 : 0);
        finished(done);
    }
};

const main_menu_command_entry k_transport[] = {
    {shell_commands::stop, "menu_stop", 0},
    {shell_commands::pause, "menu_pause", 0},
    {shell_commands::play, "menu_play", 0},
    {shell_commands::previous, "menu_play_prev", 0},
    {shell_commands::next, "menu_play_next", 0},
    {shell_commands::fast_forward, "ui_fastforward", main_display_shift_only},
    {shell_commands::rewind, "ui_rewind", main_display_shift_only},
};

class transport_commands final : public main_menu_command_set_base {
public:
    transport_commands() : main_menu_command_set_base(menu_nodes::transport_section, 0x80000000, k_transport, 7) {}

    bool get_display(uint32_t index, kpl::utf8_string& text, uint32_t& flags) override {
        main_menu_command_set_base::get_display(index, text, flags);
        service_ptr<playback_controller> c = controller();
        bool checked = false;
        switch (index) {
            case 0: checked = !c->is_playing(); break;
            case 1: checked = c->is_paused(); break;
            case 2: checked = c->is_playing(); break;
        }
        if (checked) flags |= main_display_checked;
        return true;
    }

    void execute(uint32_t index, main_thread_callback* done) override {
        entry(index);
        service_ptr<playback_controller> c = controller();
        switch (index) {
            case 0: c->stop(); break;
            case 1: c->set_paused(!c->is_paused()); break;
            case 2:
                if (c->is_paused()) c->set_paused(false);
                else c->start(1, false);
                break;
            case 3: c->start(3, false); break;
            case 4: c->start(2, false); break;
            case 5: c->seek_by(10.0); break;
            case 6: c->seek_by(-10.0); break;
        }
        finished(done);
    }

private:
    static service_ptr<playback_controller> controller() {
        service_ptr<playback_controller> c;
        service_class::get_single(c);
        return c;
    }
};

service_factory_single<preferences_commands, main_menu_command_set> g_preferences;
service_factory_single<exit_commands, main_menu_command_set> g_exit;
service_factory_single<transport_commands, main_menu_command_set> g_transport;

}  // namespace
