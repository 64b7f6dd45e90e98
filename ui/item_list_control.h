#pragma once
// The item list control: one icon and one line of text per row, laid out top to bottom and then in further
// columns, with multiple selection, keys, type-ahead and the wheel. It owns no data: rows, icons and colours
// come from its host, and it tells the host of activation and selection changes.
//
//     class rows : public list_control_host { ... };
//     item_list_control list(&host);
//     list.create(parent, rect, id);        // a child window of class "Vorn:ItemList"
//     list.reset();                         // after the host's rows changed
//
// Main thread only.

#include <windows.h>

#include <cstdint>
#include <string>

#include "ui/item_list_logic.h"

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

    explicit item_list_control(list_control_host* host) : m_host(host) {}
    ~item_list_control();
    item_list_control(const item_list_control&) = delete;
    item_list_control& operator=(const item_list_control&) = delete;

    // Creates the child window (exception_win32 on failure) and resets it.
    HWND create(HWND parent, const RECT& rect, UINT id);
    HWND window() const { return m_window; }

    // Takes the rows from the host, unselects all, measures and lays out.
    void reset();
    const item_list::selection& selection() const { return m_selection; }
    const item_list::layout& current_layout() const { return m_layout; }
    void select_only(uint32_t row);
    // One row's selection, and the caret, set by the owner (no selection_changed is reported).
    void set_selected(uint32_t row, bool selected);
    void set_caret(uint32_t row);
    void ensure_visible(uint32_t row);
    void set_scroll(int x, int y);

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
    void measure();
    void lay_out();
    void paint(HDC dc, const RECT& area);
    void after_selection(unsigned changes_before);
    void scroll_to(int x, int y);
    void wheel(int delta, bool horizontal);
    void click(LPARAM lparam, bool right);

    list_control_host* m_host;
    HWND m_window = nullptr;
    HFONT m_font = nullptr;
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
};
