#pragma once
// List-view calls with UTF-8 texts, and the framework's list-view and tooltip window objects.
//
//   int row = listview_insert_item(list, -1, "Track 1", 0);      // appended; its index (or -1)
//   listview_insert_column(list, 0, "Title", 120);               // width in the parent's dialog units
//   listview_set_item_text(list, row, 1, "Artist");
//   kpl::utf8_string_pow2 text;
//   listview_get_item_text(list, row, 1, text);                  // "Artist"
//   listview_select_single(list, row);                           // only this row selected and focused
//
// listview_window is a window object over a "SysListView32" control with the middle-button autoscroll
// built in (steps of 4 pixels across and 16 down, in 96-DPI pixels); tooltip_window is one over a
// "tooltips_class32" window whose owner configures it through tooltip messages.

#include <windows.h>
#include <commctrl.h>

#include "foundation/kpl/string.h"
#include "foundation/win32/autoscroll.h"
#include "foundation/win32/window_object.h"

// LVM_INSERTITEMW with text and data at the index (-1: at the end); the new index or -1.
int listview_insert_item(HWND list, int index, const char* text, LPARAM data);
// LVM_INSERTCOLUMNW, left aligned, the width given in dialog units of the list's parent; the index or -1.
int listview_insert_column(HWND list, int index, const char* title, int width);
// LVM_GETITEMTEXTW (up to 65536 UTF-16 units) into out.
void listview_get_item_text(HWND list, int item, int column, kpl::utf8_string& out);
bool listview_set_item_text(HWND list, int item, int column, const char* text);
bool listview_is_item_selected(HWND list, int item);
// Selects and focuses the item alone (every other item loses both) and scrolls it into view.
bool listview_select_single(HWND list, int item);
void listview_set_item_state(HWND list, int item, UINT state, UINT mask);
// LVM_GETCOLUMNORDERARRAY into out[0..count).
bool listview_column_order(HWND list, int* out, int count);
// LVM_GETSUBITEMRECT with LVIR_LABEL.
RECT listview_subitem_rect(HWND list, int item, int column);
// The number of columns (HDM_GETITEMCOUNT of the header).
int listview_column_count(HWND list);

class listview_window : public window_object {
public:
    listview_window();
    // Creates the list as a child of the parent; null on failure.
    HWND create(HWND parent, const RECT& rect, DWORD style, DWORD extended_style, UINT id);
    bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                         DWORD map_id) override;

private:
    autoscroll_helper m_autoscroll;
};

class tooltip_window : public window_object {
public:
    // Creates the tooltip window owned by the owner; null on failure.
    HWND create(HWND owner, DWORD style = TTS_ALWAYSTIP | TTS_NOPREFIX);
    bool process_message(HWND, UINT, WPARAM, LPARAM, LRESULT&, DWORD) override { return false; }
};
