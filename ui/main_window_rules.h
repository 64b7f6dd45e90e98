#pragma once
// The main window's own small rules, kept apart from its window so that they can be checked without one.
//
//     double step = main_window_rules::next_seek_step(false, 0);   // 2: the first tick of a held button
//     step = main_window_rules::next_seek_step(true, step);        // 3, then 4.5, 6.75 ... at most 60
//     main_window_rules::is_windowed(GetWindowLongW(w, GWL_STYLE)); // any WS_OVERLAPPEDWINDOW bit
//     main_window_rules::row_icon({true, false, true, false, false});   // 2: the playing row
//
// Pure functions; any thread.
#include <cstdint>

namespace main_window_rules {

// The seek step of the next tick of a held Rewind or Fast-forward: 2 seconds on the first seeking tick,
// then 1.5 times the last, never more than 60.
double next_seek_step(bool seeking, double step);

// The style bits whose presence makes the window "windowed" (WS_OVERLAPPEDWINDOW), and the extended bits
// taken away with them in full screen (WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE).
constexpr uint32_t frame_style_bits = 0x00CF0000u;
constexpr uint32_t frame_ex_style_bits = 0x101u;
bool is_windowed(uint32_t style);
// The styles of full screen and of the restored window.
uint32_t full_screen_style(uint32_t style);
uint32_t full_screen_ex_style(uint32_t ex_style);
uint32_t windowed_style(uint32_t style);
uint32_t windowed_ex_style(uint32_t ex_style);

// Play is possible when the view plays and something is selected or the level has rows.
bool play_enabled(bool can_play, bool any_selected, bool has_items);

// Which of the four row icons a row shows: 0 track, 1 folder or summary, 2 playing, 3 paused.
struct row_facts {
    bool playing_row;
    bool paused;
    bool leaf_level;
    bool summary;
};
int row_icon(const row_facts& row);

// A font height scaled by a factor: floor(height x factor + 0.5); a 0 result keeps the sign of the height
// (-1 or 1).
int scaled_font_height(int height, double factor);

// The face state of a transport button: 2 disabled, 1 checked or pressed, 3 hot, 0 normal.
int button_state(bool disabled, bool checked_or_pressed, bool hot);

}  // namespace main_window_rules
