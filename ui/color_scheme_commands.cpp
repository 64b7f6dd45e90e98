// The View menu's colour-scheme commands (one checked entry per scheme in the "Theme" popup) and its
// "Show album pictures" switch.
#include "foundation/services/service_registry.h"
#include "shell/command_sets.h"
#include "shell/menu_nodes.h"
#include "ui/color_scheme.h"

namespace {

void finished(main_thread_callback* done) {
    if (done) done->run();
}

const main_menu_command_entry k_schemes[color_scheme::count] = {
    {color_scheme::classic, "theme_classic", 0},
    {color_scheme::black, "theme_black", 0},
    {color_scheme::white, "theme_white", 0},
    {color_scheme::graphite, "theme_graphite", 0},
};

// Choosing a scheme stores it and tells the scheme listeners; choosing the current one again changes nothing
// stored but still tells them, so the window redraws.
class scheme_commands final : public main_menu_command_set_base {
public:
    scheme_commands() : main_menu_command_set_base(menu_nodes::theme_popup, 0x80000000, k_schemes, color_scheme::count) {}

    bool get_display(uint32_t index, kpl::utf8_string& text, uint32_t& flags) override {
        main_menu_command_set_base::get_display(index, text, flags);
        if (color_scheme::current() == entry(index).guid) flags |= main_display_checked;
        return true;
    }

    void execute(uint32_t index, main_thread_callback* done) override {
        entry(index);
        color_scheme::select(index);
        finished(done);
    }
};

const main_menu_command_entry k_album_pictures[] = {
    {{0x62F3FC7A, 0x757E, 0x4DEB, {0x9F, 0xFF, 0xEF, 0xDD, 0x47, 0x4C, 0x55, 0x1B}}, "menu_show_album_pictures", 0},
};

class album_pictures_command final : public main_menu_command_set_base {
public:
    album_pictures_command() : main_menu_command_set_base(menu_nodes::view_popup, 1, k_album_pictures, 1) {}

    bool get_display(uint32_t index, kpl::utf8_string& text, uint32_t& flags) override {
        main_menu_command_set_base::get_display(index, text, flags);
        if (color_scheme::album_pictures()) flags |= main_display_checked;
        return true;
    }

    void execute(uint32_t index, main_thread_callback* done) override {
        entry(index);
        color_scheme::set_album_pictures(!color_scheme::album_pictures());
        finished(done);
    }
};

service_factory_single<scheme_commands, main_menu_command_set> g_scheme_commands;
service_factory_single<album_pictures_command, main_menu_command_set> g_album_pictures_command;

}  // namespace
