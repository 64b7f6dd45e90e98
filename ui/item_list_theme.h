#pragma once
// The "LISTVIEW" visual style of the item list's selected rows, with uxtheme looked up at run time: where the
// library, the theme or its list-item part is missing, drawing says no and the list fills the rows itself.
//
//     list_theme theme;
//     theme.open(list_window);                               // at creation
//     theme.reopen(list_window);                             // at WM_THEMECHANGED
//     if (!theme.draw_selected(dc, cell, &clip, has_focus))  // LISS_SELECTED or LISS_SELECTEDNOTFOCUS
//         FillRect(dc, &cell, selection_brush);
//
// Main thread only.

#include <windows.h>

class list_theme {
public:
    list_theme() = default;
    ~list_theme() { close(); }
    list_theme(const list_theme&) = delete;
    list_theme& operator=(const list_theme&) = delete;

    // Gives the window the "explorer" look and opens its "LISTVIEW" theme data (closing what was open).
    void open(HWND window);
    // Opens the theme data again (the look is kept; setting it would send WM_THEMECHANGED once more).
    void reopen(HWND window);
    void close();
    // Whether selected rows are drawn from the theme.
    bool has_list_item() const { return m_list_item; }
    // Draws a selected row's background from the theme; false (nothing drawn) without it.
    bool draw_selected(HDC dc, const RECT& cell, const RECT* clip, bool focused) const;

private:
    HANDLE m_theme = nullptr;
    bool m_list_item = false;
};
