#pragma once
// Middle-button autoscroll of lists and trees: press the middle button and move the pointer away from where
// it was pressed; the window scrolls every 15 ms, faster the farther the pointer is (the speed grows with
// the square of the distance), until any button is pressed or released or the capture is lost.
//
//   class track_list : public window_object {
//       autoscroll_helper m_autoscroll{4, 16};          // step sizes across and down, 96-DPI pixels
//       bool process_message(HWND w, UINT m, WPARAM wp, LPARAM lp, LRESULT& r, DWORD) override {
//           if (m_autoscroll.handle_message(w, m, wp, lp, r)) return true;
//           ...
//       }
//   };
//
// While active, a small indicator (icon resource 2345) sits where the button was pressed.

#include <windows.h>

// Carried from one tick to the next: fractions of pixels and pixels short of a whole step, per axis.
struct autoscroll_state {
    double fraction_x = 0, fraction_y = 0;
    int remainder_x = 0, remainder_y = 0;
};

// One tick's scrolling in whole steps per axis (negative: left or up).
struct autoscroll_steps {
    int x = 0, y = 0;
};

// The tick for a pointer (dx, dy) screen pixels from the origin at the screen's DPI, with the step sizes
// in 96-DPI pixels. False (nothing to scroll, state unchanged) for a DPI of 0 or below or no distance.
// Speed (0.03 x distance in 96-DPI pixels)^2 pixels per tick: 100 px gives 9, 200 px gives 36.
bool autoscroll_compute(int dx, int dy, int dpi_x, int dpi_y, int step_x, int step_y, autoscroll_state& state,
                        autoscroll_steps& out);

// The indicator window (a hidden layered popup of the shared indicator class showing icon 2345, 32 x 32,
// transparent to the mouse): windows with autoscroll of their own show it at the start point. Null on
// failure; the caller destroys it.
HWND autoscroll_create_indicator();

// True for the mouse-button messages that end a running autoscroll (left, right and X buttons, down, up or
// double click); the message itself still gets its usual handling.
bool autoscroll_ended_by(UINT message);

// Scrolls one axis (SB_HORZ or SB_VERT) of the window by a step count: one SB_PAGEDOWN / SB_PAGEUP for
// every whole page in it, then SB_LINEDOWN / SB_LINEUP for the rest. Nothing when the scroll bar's
// information cannot be read or its page is 0.
void autoscroll_scroll_axis(HWND window, int bar, int steps);

class autoscroll_helper {
public:
    static constexpr UINT_PTR timer_id = 0x389675F8;
    static constexpr UINT timer_period_ms = 15;

    autoscroll_helper(int step_x, int step_y) : m_step_x(step_x), m_step_y(step_y) {}
    ~autoscroll_helper();
    autoscroll_helper(const autoscroll_helper&) = delete;
    autoscroll_helper& operator=(const autoscroll_helper&) = delete;

    // The window's messages, first thing in its handler: true when the message was autoscroll's own.
    bool handle_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);
    bool is_active() const { return m_active; }
    // The indicator window while it exists (null otherwise).
    HWND indicator() const { return m_indicator; }

private:
    void start(HWND window, POINT client_point);
    void stop();
    void end_mode(HWND window);
    void tick(HWND window);

    int m_step_x, m_step_y;
    bool m_active = false;
    POINT m_origin = {0, 0};
    autoscroll_state m_state;
    HWND m_indicator = nullptr;
};
