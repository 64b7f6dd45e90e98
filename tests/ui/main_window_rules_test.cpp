// The main window's own rules: the hold-to-seek steps, the full-screen style bits, the Play button, the
// row icon choice, the scaled fonts and the button face states.
#include <doctest/doctest.h>

#include <windows.h>

#include <vector>

#include "ui/main_window_rules.h"

using namespace main_window_rules;

TEST_CASE("a held button seeks 2, 3, 4.5 ... seconds per tick, never more than 60") {
    std::vector<double> steps;
    bool seeking = false;
    double step = 0;
    for (int tick = 0; tick < 14; ++tick) {
        step = next_seek_step(seeking, step);
        seeking = true;
        steps.push_back(step);
    }
    const double expected[] = {2, 3, 4.5, 6.75, 10.125, 15.1875, 22.78125, 34.171875, 51.2578125, 60, 60, 60, 60, 60};
    for (size_t i = 0; i < steps.size(); ++i) {
        CAPTURE(i);
        CHECK(steps[i] == doctest::Approx(expected[i]));
    }
    // A new hold starts again at 2 whatever the last hold reached.
    CHECK(next_seek_step(false, 60) == 2);
}

TEST_CASE("full screen takes the frame bits away and leaving puts back exactly those") {
    struct row {
        uint32_t style;
        bool windowed;
    };
    const row rows[] = {
        {WS_POPUP | WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, true},
        {WS_POPUP | WS_CLIPCHILDREN | WS_VISIBLE, false},
        {WS_POPUP | WS_SYSMENU, true},   // any one frame bit counts as windowed
        {WS_POPUP | WS_THICKFRAME, true},
        {WS_POPUP | WS_MAXIMIZE, false}, // maximised without a frame is full screen
    };
    for (const row& r : rows) {
        CAPTURE(r.style);
        CHECK(is_windowed(r.style) == r.windowed);
        uint32_t full = full_screen_style(r.style);
        CHECK_FALSE(is_windowed(full));
        CHECK((full & ~frame_style_bits) == (r.style & ~frame_style_bits));  // other bits untouched
        uint32_t back = windowed_style(full);
        CHECK((back & WS_OVERLAPPEDWINDOW) == WS_OVERLAPPEDWINDOW);
        CHECK((back & ~frame_style_bits) == (r.style & ~frame_style_bits));
    }
    const uint32_t ex = WS_EX_ACCEPTFILES | WS_EX_WINDOWEDGE | WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    CHECK(full_screen_ex_style(ex) == (WS_EX_ACCEPTFILES | WS_EX_CONTROLPARENT));
    CHECK(windowed_ex_style(full_screen_ex_style(ex)) == ex);
}

TEST_CASE("Play is enabled when the view plays and there is a selection or rows") {
    struct row {
        bool can_play, selected, has_items, enabled;
    };
    const row rows[] = {
        {true, true, true, true},    {true, false, true, true},   {true, true, false, true},
        {true, false, false, false}, {false, true, true, false},  {false, false, false, false},
    };
    for (const row& r : rows) {
        CAPTURE(r.can_play);
        CAPTURE(r.selected);
        CAPTURE(r.has_items);
        CHECK(play_enabled(r.can_play, r.selected, r.has_items) == r.enabled);
    }
}

TEST_CASE("row icons: the playing row first, then folders and summaries, then tracks") {
    struct row {
        row_facts facts;
        int icon;
    };
    const row rows[] = {
        {{true, false, true, false}, 2},   // playing track
        {{true, true, true, false}, 3},    // paused track
        {{true, false, false, false}, 2},  // the playing row wins even above the leaf level
        {{false, false, false, false}, 1}, // an album or a folder
        {{false, false, false, true}, 1},
        {{false, false, true, true}, 1},   // "[songs from all albums]"
        {{false, false, true, false}, 0},  // a plain track
        {{false, true, true, false}, 0},   // paused elsewhere: not this row's business
    };
    for (const row& r : rows) {
        CAPTURE(r.icon);
        CHECK(row_icon(r.facts) == r.icon);
    }
}

TEST_CASE("scaled font heights round half up and never become 0") {
    struct row {
        int height;
        double factor;
        int scaled;
    };
    const row rows[] = {
        {-16, 1.1, -18}, {-16, 0.9, -14}, {20, 1.1, 22}, {20, 0.9, 18},
        {-1, 0.9, -1},   // floor(-0.9 + 0.5) = -1
        {1, 0.4, 1},     // floor(0.4 + 0.5) = 0 -> 1
        {-1, 0.4, -1},   // floor(-0.4 + 0.5) = 0 -> -1
        {-5, 1.1, -5},   // floor(-5.5 + 0.5) = -5
        {0, 1.1, 0},
    };
    for (const row& r : rows) {
        CAPTURE(r.height);
        CAPTURE(r.factor);
        CHECK(scaled_font_height(r.height, r.factor) == r.scaled);
    }
}

TEST_CASE("button face state: disabled over checked over hot") {
    CHECK(button_state(true, true, true) == 2);
    CHECK(button_state(false, true, true) == 1);
    CHECK(button_state(false, false, true) == 3);
    CHECK(button_state(false, false, false) == 0);
}
