#pragma once
// VolumeSlider: a vertical slider drawn as a wedge (wide and loud at the top, narrow and quiet at the
// bottom) with a themed thumb. It answers TBM_GETPOS, TBM_SETPOS(redraw, position) and
// TBM_SETRANGE(redraw, MAKELONG(min, max)) (default 0 .. 100); a position chosen with the mouse is posted to
// the parent as WM_VSCROLL(MAKEWPARAM(SB_THUMBPOSITION, position), slider).
//
//     volume_slider::register_class();
//     HWND slider = GetDlgItem(popup, IDC_VOLUME_SLIDER);   // made by dialog 130
//     SendMessageW(slider, TBM_SETPOS, TRUE, volume_scale::db_to_position(-10.0));
//
// Main thread only.

#include <windows.h>

namespace volume_slider {

constexpr const wchar_t* class_name = L"Vorn:VolumeSlider";

// Registers the class once (later calls answer the first atom); a failure throws exception_win32.
ATOM register_class();

}  // namespace volume_slider
