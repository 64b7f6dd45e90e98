// The colour-scheme table, its colour roles, the two variables and their listener sets.
#include "ui/color_scheme.h"

#include <algorithm>
#include <vector>

#include "foundation/kpl/exceptions.h"
#include "foundation/services/config_variable.h"
#include "foundation/win32/drawing.h"

namespace color_scheme {
namespace {

struct scheme_entry {
    const kpl::guid* guid;
    const char* name_id;
};

const scheme_entry k_schemes[count] = {
    {&classic, "theme_classic"},
    {&black, "theme_black"},
    {&white, "theme_white"},
    {&graphite, "theme_graphite"},
};

// Fixed colours of Black, White and Graphite by role.
const COLORREF k_fixed[3][4] = {
    {0xFFFFFF, 0xFF6060, 0x000000, 0xC00000},
    {0x000000, 0xFF0000, 0xFFFFFF, 0xFF8000},
    {0x000000, 0xC00000, 0xA0A0A0, 0xFF8000},
};

config_guid cfg_current(current_variable, classic);
config_bool cfg_album_pictures(album_pictures_variable, true);

std::vector<listener*>& scheme_listeners() {
    static std::vector<listener*> set;
    return set;
}
std::vector<listener*>& album_listeners() {
    static std::vector<listener*> set;
    return set;
}

void remove_from(std::vector<listener*>& set, listener* each) {
    auto at = std::find(set.begin(), set.end(), each);
    if (at != set.end()) set.erase(at);
}

void notify_all(const std::vector<listener*>& set) {
    // A listener may remove itself (or another) while being told: walk a copy.
    std::vector<listener*> copy(set);
    for (listener* each : copy) each->notify();
}

void check_role(int role) {
    if (role < 0 || role > 3) kpl::crash();
}

}  // namespace

const kpl::guid& guid_of(uint32_t index) {
    if (index >= count) kpl::crash();
    return *k_schemes[index].guid;
}

const char* name_id_of(uint32_t index) {
    if (index >= count) kpl::crash();
    return k_schemes[index].name_id;
}

uint32_t index_of(const kpl::guid& scheme) {
    for (uint32_t i = 0; i < count; ++i)
        if (*k_schemes[i].guid == scheme) return i;
    return count;
}

system_colors system_colors::current() {
    return {GetSysColor(COLOR_WINDOWTEXT), GetSysColor(COLOR_WINDOW), GetSysColor(COLOR_HIGHLIGHT)};
}

COLORREF color_for(const kpl::guid& scheme, int role, const system_colors& system) {
    check_role(role);
    uint32_t index = index_of(scheme);
    if (index >= 1 && index < count) return k_fixed[index - 1][role];
    switch (role) {
    case role_text: return system.window_text;
    case role_link: return 0xFF0000;
    case role_background: return system.window;
    default: return color_mix_half(system.highlight, system.window);
    }
}

bool is_dark_for(const kpl::guid& scheme, const system_colors& system) {
    uint32_t index = index_of(scheme);
    if (index == 1) return true;
    if (index == 2 || index == 3) return false;
    return (system.window & 0xFFFFFF) == 0;
}

COLORREF color(int role) { return color_for(cfg_current.get(), role, system_colors::current()); }
COLORREF color_by_index(int role) { return color_for(classic, role, system_colors::current()); }
bool is_dark_background() { return is_dark_for(cfg_current.get(), system_colors::current()); }

const kpl::guid& current() { return cfg_current.get(); }

void select(uint32_t index) {
    cfg_current = guid_of(index);
    notify_all(scheme_listeners());
}

bool album_pictures() { return cfg_album_pictures.get(); }

void set_album_pictures(bool on) {
    cfg_album_pictures = on;
    notify_all(album_listeners());
}

void add_scheme_listener(listener* each) { scheme_listeners().push_back(each); }
void remove_scheme_listener(listener* each) { remove_from(scheme_listeners(), each); }
void add_album_pictures_listener(listener* each) { album_listeners().push_back(each); }
void remove_album_pictures_listener(listener* each) { remove_from(album_listeners(), each); }

}  // namespace color_scheme
