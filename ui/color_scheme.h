#pragma once
// The main window's colour schemes and the album-picture switch (main thread).
//
//     SetTextColor(dc, color_scheme::color(color_scheme::role_text));
//     if (color_scheme::is_dark_background()) invert_icons();
//     color_scheme::select(1);                       // Black: stored, then every scheme listener is told
//     color_scheme::set_album_pictures(!color_scheme::album_pictures());
//
// Four schemes, in this order: Classic, Black, White, Graphite. Classic follows the system colours; a stored
// scheme GUID that is not one of the four draws as Classic.

#include <windows.h>

#include <cstdint>

#include "foundation/kpl/guid.h"

namespace color_scheme {

enum role : int {
    role_text = 0,
    role_link = 1,
    role_background = 2,
    role_selection = 3,
};

constexpr uint32_t count = 4;
constexpr kpl::guid classic = {0x8321EE01, 0x0E2F, 0x4CDD, {0x99, 0x88, 0x2C, 0xFA, 0xDA, 0x2C, 0xED, 0x4C}};
constexpr kpl::guid black = {0xF96DE72E, 0xA4F1, 0x41A2, {0x87, 0x86, 0x6E, 0x72, 0x22, 0x85, 0x48, 0x77}};
constexpr kpl::guid white = {0x3CA390B0, 0x28DF, 0x4C27, {0xB1, 0xD1, 0x49, 0xE3, 0x6E, 0xB9, 0x8E, 0xBA}};
constexpr kpl::guid graphite = {0xBE388481, 0x626B, 0x4D05, {0xAD, 0xDD, 0x99, 0x43, 0x47, 0x4D, 0x23, 0x95}};

// The variables' GUIDs: the current scheme (16 GUID bytes) and album pictures on (1 byte).
constexpr kpl::guid current_variable = {0x1DE8F186, 0x735F, 0x4F81, {0xB6, 0x87, 0x43, 0x0C, 0x92, 0x99, 0x3A, 0x15}};
constexpr kpl::guid album_pictures_variable = {0xB9624A96, 0x1DBB, 0x4608, {0xAF, 0x6D, 0x07, 0x3C, 0xB8, 0xC4, 0x0E, 0x20}};

// Scheme i's GUID and the language id of its name ("theme_classic", ...); i below count.
const kpl::guid& guid_of(uint32_t index);
const char* name_id_of(uint32_t index);
// The index of a scheme GUID; count for one that is none of the four.
uint32_t index_of(const kpl::guid& scheme);

// The system colours Classic draws with.
struct system_colors {
    COLORREF window_text;
    COLORREF window;
    COLORREF highlight;
    static system_colors current();  // GetSysColor
};

// A role's colour under a scheme (an unknown scheme: Classic). A role outside 0..3 stops the process.
// Classic's selection fill is the per-channel half-way mix of highlight and window.
COLORREF color_for(const kpl::guid& scheme, int role, const system_colors& system);
// Black: yes; White and Graphite: no; Classic and unknown schemes: when the window colour is pure black.
bool is_dark_for(const kpl::guid& scheme, const system_colors& system);

// The current scheme with the system's colours.
COLORREF color(int role);
// Classic's colour for the role.
COLORREF color_by_index(int role);
bool is_dark_background();

const kpl::guid& current();
// Stores scheme i as the current one (i below count), then notifies every scheme listener once.
void select(uint32_t index);

bool album_pictures();
// Stores the flag, then notifies every album-picture listener once.
void set_album_pictures(bool on);

// Listeners: notified in the order they were added; one added twice is notified twice.
class listener {
public:
    virtual void notify() = 0;

protected:
    ~listener() = default;
};
void add_scheme_listener(listener* each);
void remove_scheme_listener(listener* each);
void add_album_pictures_listener(listener* each);
void remove_album_pictures_listener(listener* each);

}  // namespace color_scheme
