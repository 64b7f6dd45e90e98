#pragma once
// The item list control: one icon and one line of text per row, laid out top to bottom and then in further
// columns, with multiple selection (clicks, drags, keys), type-ahead, the wheel, an in-place tip that shows a
// cut-off row text in full, and middle-button autoscroll. It owns no data: rows, icons and colours come from
// its host, and it tells the host of activation and selection changes.
//
//     class rows : public list_control_host { ... };
//     item_list_control list(&host);
//     list.create(parent, rect, id);        // a child window of class "Vorn:ItemList"
//     list.reset();                         // after the host's rows changed: nothing selected, no caret
//     list.set_selection({3, 4}, true);     // restoring a remembered selection
//     list.set_caret(4);
//     list.ensure_visible(4);
//     POINT at;
//     if (list.focused_row_point(at)) show_menu(at);   // Shift+F10: the caret row's centre, screen pixels
//
// Main thread only.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ui/item_list_logic.h"
#include "ui/item_list_theme.h"

class list_control_host {
public:
    virtual void set_icon_size(int width, int height) = 0;
    virtual std::wstring item_text(uint32_t row) = 0;
    virtual uint32_t item_count() = 0;
    virtual HICON item_icon(uint32_t row) = 0;
    virtual void activate() = 0;
    virtual void selection_changed() = 0;
    virtual bool single_column() = 0;
    virtual bool has_side_panel() = 0;
    virtual void draw_side_panel(const RECT& panel, const RECT& paint, int margin, HDC dc) = 0;
    // Roles 0 text, 2 background, 3 selected-row fill.
    virtual COLORREF color(int role) = 0;

protected:
    ~list_control_host() = default;
};

class item_list_control {
public:
    static constexpr const wchar_t* class_name = L"Vorn:ItemList";
    // Timers: the in-place tip's hide check (50 ms while a tip shows) and the autoscroll tick (15 ms).
    static constexpr UINT_PTR tip_timer = 0x51DBEE9E;
    static constexpr UINT_PTR autoscroll_timer = 0x389675F8;

    explicit item_list_control(list_control_host* host) : m_host(host) {}
    ~item_list_control();
    item_list_control(const item_list_control&) = delete;
    item_list_control& operator=(const item_list_control&) = delete;

    // Creates the child window (exception_win32 on failure) and resets it.
    HWND create(HWND parent, const RECT& rect, UINT id);
    HWND window() const { return m_window; }
    // Called after each WM_PAINT has been painted (null: nothing is called).
    void set_after_paint(void (*callback)(void* context), void* context) {
        m_after_paint = callback;
        m_after_paint_context = context;
    }

    // Takes the rows from the host, unselects all, clears caret, anchor and any drag, measures and lays out;
    // the scroll position is kept as far as the new content allows.
    void reset();
    const item_list::selection& selection() const { return m_selection; }
    const item_list::layout& current_layout() const { return m_layout; }
    const item_list::metrics& current_metrics() const { return m_metrics; }

    // Sets the selection bytes of the rows (others keep theirs); the host hears of a change once.
    void set_selection(const std::vector<uint32_t>& rows, bool value);
    // Only `row` selected (none: nothing), the caret there, the row made visible.
    void select_only(uint32_t row);
    // One row's selection, and the caret, set by the owner (no selection_changed is reported).
    void set_selected(uint32_t row, bool selected);
    // Moves the caret (none or a row past the end: no caret); the selection stays.
    void set_caret(uint32_t row);
    void ensure_visible(uint32_t row);
    // Scrolls to the content position, kept within the content.
    void set_scroll(int x, int y);
    POINT scroll_position() const { return POINT{m_layout.scroll_x, m_layout.scroll_y}; }
    // Makes the caret row visible and answers the centre of its visible part in screen coordinates; false
    // when there is no caret.
    bool focused_row_point(POINT& out);

    // The in-place tip: its window once made (null before the first tip or when it could not be made) and
    // whether a tip shows now.
    HWND tip_window() const { return m_tip_window; }
    bool tip_shown() const { return !IsRectEmpty(&m_tip_rect); }
    bool autoscrolling() const { return m_autoscroll_active; }
    HWND autoscroll_marker() const { return m_marker; }
    // One autoscroll tick with the pointer at a screen point (the timer passes the message position).
    void autoscroll_tick(POINT cursor);

private:
    struct snapshot {
        unsigned changes;
        uint32_t caret;
        bool frame;
    };

    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
    void measure();
    void lay_out();
    void paint(HDC dc, const RECT& area);
    snapshot before() const { return {m_selection.changes(), m_selection.caret(), m_selection.caret_frame()}; }
    // Repaints the cells whose selection or caret frame changed and tells the host of a selection change.
    void after(const snapshot& was);
    void invalidate_rows(uint32_t low, uint32_t high);
    void scroll_to(int x, int y);
    void wheel(int delta, bool horizontal);
    POINT content_point(LPARAM lparam) const;
    void press(LPARAM lparam, bool right);
    void drag(LPARAM lparam);
    void end_drag();

    // In-place tip (item_list_tip.cpp).
    void hover(WPARAM keys, LPARAM lparam);
    void check_tip(POINT screen);
    void show_tip(const RECT& client_rect, const std::wstring& text);
    void hide_tip();
    void destroy_tip();

    // Middle-button autoscroll (item_list_autoscroll.cpp): true when the message was consumed.
    bool autoscroll_message(UINT message, WPARAM wparam, LPARAM lparam);
    void start_autoscroll(POINT screen);
    void stop_autoscroll();
    void autoscroll_ended();

    list_control_host* m_host;
    void (*m_after_paint)(void*) = nullptr;
    void* m_after_paint_context = nullptr;
    HWND m_window = nullptr;
    HFONT m_font = nullptr;
    list_theme m_theme;
    item_list::metrics m_metrics;
    item_list::layout m_layout;
    item_list::selection m_selection;
    item_list::typeahead m_typeahead;
    bool m_single_column = false;
    bool m_side_panel = false;
    bool m_has_focus = false;
    bool m_layout_pending = false;
    int m_wheel_rest_v = 0;
    int m_wheel_rest_h = 0;

    HWND m_tip_window = nullptr;
    bool m_tip_failed = false;
    RECT m_tip_rect = {0, 0, 0, 0};  // screen coordinates; empty: no tip
    std::wstring m_tip_text;

    bool m_autoscroll_active = false;
    POINT m_origin = {0, 0};
    HWND m_marker = nullptr;
    double m_rest_x = 0, m_rest_y = 0;
};
