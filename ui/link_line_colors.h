#pragma once
// SysLink lines in a colour scheme's colours. The control paints its own text and links in fixed system
// colours, so under a dark scheme it is drawn into a memory bitmap over white instead and every pixel's
// darkness becomes the same share of the scheme's text colour (grey ink) or link colour (coloured ink) over
// the scheme's background:
//
//     link_line_colors::attach(GetDlgItem(dialog, 1067), &my_colors, this);   // subclasses the control
//     // in the parent's WM_CTLCOLORSTATIC while link_line_colors::painting_offscreen(): answer white
//     link_line_colors::recolor(0x00FFFFFF, colors);   // white paper -> the scheme's background
//
// Main thread only.
#include <windows.h>

#include <cstdint>

namespace link_line_colors {

struct colors {
    bool active;  // false: the control paints itself as usual
    COLORREF background, text, link;
};
using color_source = colors (*)(void* context);

// Subclasses a SysLink control; its paints ask `source` for the colours.
void attach(HWND line, color_source source, void* context);

// True while a line paints into its memory bitmap (the parent then answers WM_CTLCOLORSTATIC with white).
bool painting_offscreen();

// A pixel (0x00RRGGBB, as in a 32-bit DIB) drawn over white, in the scheme's colours: its ink share is the
// darkness of its darkest channel; ink with colour (a spread of channels over a quarter of the ink) is link
// ink, the rest text ink.
uint32_t recolor(uint32_t pixel, const colors& scheme);

}  // namespace link_line_colors
