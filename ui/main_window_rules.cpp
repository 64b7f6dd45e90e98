// The main window's pure rules (ui/main_window_rules.h).
#include "ui/main_window_rules.h"

#include <cmath>


namespace main_window_rules {

double next_seek_step(bool seeking, double step) {
    if (!seeking) return 2.0;
    double next = step * 1.5;
    return next > 60.0 ? 60.0 : next;
}

bool is_windowed(uint32_t style) { return (style & frame_style_bits) != 0; }
uint32_t full_screen_style(uint32_t style) { return style & ~frame_style_bits; }
uint32_t full_screen_ex_style(uint32_t ex_style) { return ex_style & ~frame_ex_style_bits; }
uint32_t windowed_style(uint32_t style) { return style | frame_style_bits; }
uint32_t windowed_ex_style(uint32_t ex_style) { return ex_style | frame_ex_style_bits; }

bool play_enabled(bool can_play, bool any_selected, bool has_items) { return can_play && (any_selected || has_items); }

int row_icon(const row_facts& row) {
    if (row.playing_row) return row.paused ? 3 : 2;
    if (!row.leaf_level) return 1;
    return row.summary ? 1 : 0;
}

int scaled_font_height(int height, double factor) {
    int scaled = static_cast<int>(std::floor(height * factor + 0.5));
    if (scaled == 0) return height < 0 ? -1 : (height > 0 ? 1 : 0);
    return scaled;
}

int button_state(bool disabled, bool checked_or_pressed, bool hot) {
    if (disabled) return 2;
    if (checked_or_pressed) return 1;
    if (hot) return 3;
    return 0;
}

}  // namespace main_window_rules
