#pragma once
// The window both the popup notices and the playback error window are made of: dialog resource 256, a
// resizable frame whose only child is a read-only multi-line text (IDC_POPUP_NOTICE_TEXT) filling the
// client area, on the window colour. OK, Cancel (Enter, Esc) and closing destroy it.
//
//     class my_notice : public notice_window {
//         bool on_message(HWND w, UINT m, WPARAM wp, LPARAM lp, LRESULT& r) override { ... }
//     };
//     notice_window::open(new my_notice, owner);   // the window owns the object from here on
//
// Main thread only.

#include <windows.h>

#include "foundation/kpl/string.h"
#include "foundation/win32/dialog.h"

class notice_window : public dialog_object {
public:
    // Creates the window for `notice` (made with new); the object is deleted with its window. When the
    // window cannot be made the object is deleted and the failure thrown.
    static HWND open(notice_window* notice, HWND owner);

    bool process_message(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                         DWORD map_id) final;

protected:
    // The window's own handling, asked first (WM_INITDIALOG included); false: the common handling.
    virtual bool on_message(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) = 0;
    // Common start: the text fills the client area and the frame gets WS_EX_DLGMODALFRAME.
    static void prepare_frame(HWND dialog);
    static void fit_text(HWND dialog);

private:
    void on_final_message(HWND) final;

    bool m_window_owns = false;  // set once creation succeeded
};

// The text with line breaks as the edit control shows them: each "\n" becomes "\r\n", each "\r" is dropped.
//     "a\r\nb\nc\r" -> "a\r\nb\r\nc"
void notice_line_breaks(const char* text, kpl::utf8_string& out);
