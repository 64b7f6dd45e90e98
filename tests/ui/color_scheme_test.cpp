// Colour schemes: each role's colour under every scheme and system palette, the dark-background test, the
// stored forms of the two settings and the order in which listeners hear of changes.
#include <doctest/doctest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/fs/memory_sink.h"
#include "foundation/services/config_variable.h"
#include "foundation/tasks/abort_signal.h"
#include "ui/color_scheme.h"

namespace {

using namespace color_scheme;

constexpr kpl::guid k_unknown = {0x01234567, 0x89AB, 0xCDEF, {1, 2, 3, 4, 5, 6, 7, 8}};

config_variable* find_variable(const kpl::guid& guid) {
    for (config_variable* each = config_variable_lists().read_head; each; each = each->next_read())
        if (each->read_guid() == guid) return each;
    return nullptr;
}

struct recorder : listener {
    std::vector<int>* log;
    int id;
    recorder(std::vector<int>* l, int i) : log(l), id(i) {}
    void notify() override { log->push_back(id); }
};

}  // namespace

TEST_CASE("each scheme answers its four roles and its dark test") {
    const system_colors light = {RGB(0, 0, 0), RGB(255, 255, 255), RGB(0, 120, 215)};
    const system_colors dark = {RGB(255, 255, 255), RGB(0, 0, 0), RGB(51, 153, 255)};
    struct row {
        const char* name;
        kpl::guid scheme;
        system_colors system;
        COLORREF text, link, background, selection;
        bool dark_background;
    };
    const row rows[] = {
        // Classic follows the system; the selection is the half-way mix, a + MulDiv(b - a, 50, 100) per channel
        // (MulDiv rounds halves away from zero: 51 -> 25, 255 -> 127 towards black).
        {"classic light", classic, light, RGB(0, 0, 0), 0xFF0000, RGB(255, 255, 255), RGB(128, 188, 235), false},
        {"classic on a black window", classic, dark, RGB(255, 255, 255), 0xFF0000, RGB(0, 0, 0), RGB(25, 76, 127),
         true},
        {"black", black, light, 0xFFFFFF, 0xFF6060, 0x000000, 0xC00000, true},
        {"white", white, dark, 0x000000, 0xFF0000, 0xFFFFFF, 0xFF8000, false},
        {"graphite", graphite, dark, 0x000000, 0xC00000, 0xA0A0A0, 0xFF8000, false},
        {"unknown draws as classic", k_unknown, dark, RGB(255, 255, 255), 0xFF0000, RGB(0, 0, 0), RGB(25, 76, 127),
         true},
    };
    for (const row& r : rows) {
        INFO(r.name);
        CHECK(color_for(r.scheme, role_text, r.system) == r.text);
        CHECK(color_for(r.scheme, role_link, r.system) == r.link);
        CHECK(color_for(r.scheme, role_background, r.system) == r.background);
        CHECK(color_for(r.scheme, role_selection, r.system) == r.selection);
        CHECK(is_dark_for(r.scheme, r.system) == r.dark_background);
    }
}

TEST_CASE("the scheme table keeps its order and names") {
    const char* names[] = {"theme_classic", "theme_black", "theme_white", "theme_graphite"};
    for (uint32_t i = 0; i < count; ++i) {
        CHECK(index_of(guid_of(i)) == i);
        CHECK(std::string(name_id_of(i)) == names[i]);
    }
    CHECK(index_of(k_unknown) == count);
    CHECK(guid_of(1) == black);
}

TEST_CASE("selecting a scheme stores its GUID bytes and tells each listener once, in order") {
    config_variable* scheme_var = find_variable(current_variable);
    config_variable* album_var = find_variable(album_pictures_variable);
    REQUIRE(scheme_var != nullptr);
    REQUIRE(album_var != nullptr);
    CHECK(current() == classic);  // the default
    CHECK(album_pictures());

    std::vector<int> log;
    recorder first(&log, 1), second(&log, 2), pictures(&log, 9);
    add_scheme_listener(&first);
    add_scheme_listener(&second);
    add_album_pictures_listener(&pictures);

    select(1);
    CHECK(log == std::vector<int>{1, 2});
    CHECK(current() == black);
    CHECK(color(role_background) == 0x000000);
    CHECK(is_dark_background());
    CHECK(color_by_index(role_link) == 0xFF0000);  // Classic's, whatever the current scheme
    memory_sink stored;
    scheme_var->get_data(stored, abort_never);
    REQUIRE(stored.size() == 16);
    CHECK(std::memcmp(stored.data(), &black, 16) == 0);

    // Choosing the current scheme again still redraws: the listeners hear of it.
    log.clear();
    remove_scheme_listener(&first);
    select(1);
    CHECK(log == std::vector<int>{2});

    log.clear();
    set_album_pictures(false);
    CHECK(log == std::vector<int>{9});
    CHECK_FALSE(album_pictures());
    memory_sink flag;
    album_var->get_data(flag, abort_never);
    REQUIRE(flag.size() == 1);
    CHECK(flag.data()[0] == 0);

    remove_scheme_listener(&second);
    remove_album_pictures_listener(&pictures);
    log.clear();
    select(0);
    set_album_pictures(true);
    CHECK(log.empty());
}
