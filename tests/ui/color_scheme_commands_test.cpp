// The View menu's colour-scheme and album-picture commands as the program registers them: the menu built from
// the command services shows a "Theme" popup with one checked entry (the current scheme) and a checked
// "Show Album Pictures" switch; running a command by its GUID stores the setting and tells the listeners.
#include <doctest/doctest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "shell/localization.h"
#include "shell/menu_builders.h"
#include "shell/menu_nodes.h"
#include "tests/shell/shell_fixtures.h"
#include "ui/color_scheme.h"

namespace {

constexpr kpl::guid k_show_album_pictures = {0x62F3FC7A, 0x757E, 0x4DEB, {0x9F, 0xFF, 0xEF, 0xDD, 0x47, 0x4C, 0x55, 0x1B}};

struct counter final : color_scheme::listener {
    int heard = 0;
    void notify() override { ++heard; }
};

// The View menu's Theme entries (after "Theme >") and its album-picture line, as menu_lines shows them.
struct view_menu {
    std::vector<std::string> theme;
    std::string album_pictures;

    view_menu() {
        service_ptr<main_menu_builder> builder;
        service_class::get_single(builder);
        builder->build(menu_nodes::view_popup);
        HMENU menu = CreatePopupMenu();
        builder->fill(menu, 1, 500, menu_build_normal);
        std::vector<std::string> lines = shell_test::menu_lines(menu);
        DestroyMenu(menu);
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i] == "Theme >")
                for (size_t j = i + 1; j < lines.size() && lines[j].compare(0, 2, "  ") == 0; ++j)
                    theme.push_back(lines[j].substr(2));
            if (lines[i].compare(0, 19, "Show Album Pictures") == 0) album_pictures = lines[i];
        }
    }
};

}  // namespace

TEST_CASE("the View menu: Theme entries, the album-picture switch, and what running them changes") {
    shell_test::running_services services;
    load_language_table(0x409);
    color_scheme::select(0);
    color_scheme::set_album_pictures(true);
    counter schemes, pictures;
    color_scheme::add_scheme_listener(&schemes);
    color_scheme::add_album_pictures_listener(&pictures);

    struct row {
        const char* name;
        kpl::guid command;  // null: nothing run
        std::vector<std::string> theme;
        std::string album_pictures;
        kpl::guid scheme;
        int scheme_notices, picture_notices;
    };
    const row rows[] = {
        {"at the start Classic is checked, pictures on", kpl::guid_null,
         {"Classic [checked]", "Black", "White", "Graphite"}, "Show Album Pictures [checked]", color_scheme::classic,
         0, 0},
        {"choosing Black", color_scheme::black, {"Classic", "Black [checked]", "White", "Graphite"},
         "Show Album Pictures [checked]", color_scheme::black, 1, 0},
        {"choosing Black again only redraws", color_scheme::black, {"Classic", "Black [checked]", "White", "Graphite"},
         "Show Album Pictures [checked]", color_scheme::black, 2, 0},
        {"choosing Graphite", color_scheme::graphite, {"Classic", "Black", "White", "Graphite [checked]"},
         "Show Album Pictures [checked]", color_scheme::graphite, 3, 0},
        {"album pictures off", k_show_album_pictures, {"Classic", "Black", "White", "Graphite [checked]"},
         "Show Album Pictures", color_scheme::graphite, 3, 1},
        {"album pictures on again", k_show_album_pictures, {"Classic", "Black", "White", "Graphite [checked]"},
         "Show Album Pictures [checked]", color_scheme::graphite, 3, 2},
        {"back to Classic", color_scheme::classic, {"Classic [checked]", "Black", "White", "Graphite"},
         "Show Album Pictures [checked]", color_scheme::classic, 4, 2},
    };
    for (const row& r : rows) {
        INFO(std::string(r.name));
        if (r.command != kpl::guid_null) CHECK(main_menu_command_finder::run_by_guid(r.command));
        view_menu menu;
        CHECK(shell_test::joined(menu.theme) == shell_test::joined(r.theme));
        CHECK(menu.album_pictures == r.album_pictures);
        CHECK(color_scheme::current() == r.scheme);
        CHECK(schemes.heard == r.scheme_notices);
        CHECK(pictures.heard == r.picture_notices);
    }

    color_scheme::remove_scheme_listener(&schemes);
    color_scheme::remove_album_pictures_listener(&pictures);
}
