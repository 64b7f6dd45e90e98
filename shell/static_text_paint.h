#pragma once
// Painting of the labelled separator control (WM_PAINT): its text in its font (WM_GETFONT), then an etched line.

#include <windows.h>

void static_text_paint(HWND window);
