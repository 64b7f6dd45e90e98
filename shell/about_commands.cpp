// The Help menu's about commands and the File menu's install command.
#include "foundation/services/service_registry.h"
#include "foundation/win32/modal_scope.h"
#include "foundation/win32/shell.h"
#include "shell/about.h"
#include "shell/app_state.h"
#include "shell/command_sets.h"
#include "shell/install_wizard.h"
#include "shell/localization.h"
#include "shell/menu_nodes.h"

namespace {

void finished(main_thread_callback* done) {
    if (done) done->run();
}

const main_menu_command_entry k_about[] = {
    {{0xEDA23441, 0x5D38, 0x4499, {0xA2, 0x2C, 0xFE, 0x0C, 0xE0, 0xA9, 0x87, 0xD9}}, "menu_about", 0},
    {{0x371A8D25, 0xDEC0, 0x4034, {0x8C, 0x5C, 0xE5, 0xB2, 0xA8, 0xBE, 0xE7, 0x1F}}, "menu_website", 0},
};

class about_commands final : public main_menu_command_set_base {
public:
    about_commands() : main_menu_command_set_base(menu_nodes::about_section, 0xFFFFFFFF, k_about, 2) {}

    void execute(uint32_t index, main_thread_callback* done) override {
        entry(index);
        if (index == 0) {
            about_dialog_run(localization_credits());
        } else if (modal_scope::can_start()) {
            shell_execute(app_state.main_window, nullptr, about_web_site);
        } else {
            modal_scope::bring_to_front();
        }
        finished(done);
    }
};

const main_menu_command_entry k_install[] = {
    {{0x420195FE, 0xFF5C, 0x48AF, {0xAD, 0x98, 0x67, 0xD2, 0xF5, 0xFE, 0x95, 0x91}}, "menu_install_to_removable", 0},
};

class install_command final : public main_menu_command_set_base {
public:
    install_command() : main_menu_command_set_base(menu_nodes::file_tail_section, 0x80000000, k_install, 1) {}

    void execute(uint32_t index, main_thread_callback* done) override {
        entry(index);
        install_wizard::open(app_state.main_window);
        finished(done);
    }
};

service_factory_single<about_commands, main_menu_command_set> g_about;
service_factory_single<install_command, main_menu_command_set> g_install;

}  // namespace
