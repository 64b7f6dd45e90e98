#pragma once
// The labelled separator control, window class "ketrel:separator": a static-like control that shows its
// text followed by an etched line (section headers in dialogs). It keeps the font given by WM_SETFONT
// (repainting when lParam is non-zero) and answers it to WM_GETFONT.
//
//     register_separator_window_class();     // once per process; later calls do nothing
//     CreateWindowExW(0, L"ketrel:separator", L"Output", WS_CHILD | WS_VISIBLE, ...);

// RegisterClassW failing throws exception_win32. The class is unregistered at process exit.
void register_separator_window_class();
