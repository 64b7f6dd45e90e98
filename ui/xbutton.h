#pragma once
// XButton: the main window's push button (optionally a check box with style BS_CHECKBOX). It tells its
// parent through WM_COMMAND (low word the id, high word the code, lParam the button): 2 pressed, 3 released,
// 6 focus, 7 unfocus are sent; 0 (the click) is posted, so a parent always sees 3 before the 0 of the same
// press. Before painting it sends NM_CUSTOMDRAW (stage CDDS_PREERASE); CDRF_SKIPDEFAULT leaves the painting
// to the parent.
//
//     xbutton::register_class();
//     HWND play = CreateWindowExW(0, xbutton::class_name, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP,
//                                 x, y, 32, 32, parent, (HMENU) 1000, instance, nullptr);
//     SendMessageW(play, BM_SETIMAGE, IMAGE_ICON, (LPARAM) icon);
//     SendMessageW(play, BM_SETCHECK, 1, 0);   // a plain button checked by its parent ignores presses
//
// Main thread only.

#include <windows.h>

namespace xbutton {

constexpr const wchar_t* class_name = L"Vorn:XButton";

enum : WORD {
    code_click = 0,
    code_pressed = 2,
    code_released = 3,
    code_focus = 6,
    code_unfocus = 7,
};

// Registers the class once (later calls answer the first atom); a failure throws exception_win32.
ATOM register_class();

}  // namespace xbutton
