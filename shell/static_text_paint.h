#pragma once
// Painting of the labelled separator control (WM_PAINT): its text in its font (WM_GETFONT), single line,
// vertically centred, with an end ellipsis and no mnemonics, on the brush its parent answers for
// WM_CTLCOLORSTATIC; then, when the text leaves room, an etched line at half height from a small gap after
// the text to the right edge. A text wider than the control shows with an ellipsis and no line.

#include <windows.h>

void static_text_paint(HWND window);

// Where the line starts for a text of `text_width` pixels (0: empty text, no gap) and a gap of
// `gap_width` pixels in a control `client_width` pixels wide; false when no line fits.
//     separator_line_start(40, 3, 200, x) -> true, x == 43;   separator_line_start(210, 3, 200, x) -> false
bool separator_line_start(int text_width, int gap_width, int client_width, int& start);
