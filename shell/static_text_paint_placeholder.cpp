// Placeholder of the separator control's painting until the window framework's utility controls exist: the
// update region is validated and nothing is drawn.
#include "shell/static_text_paint.h"

void static_text_paint(HWND window) {
    PAINTSTRUCT paint;
    if (BeginPaint(window, &paint)) EndPaint(window, &paint);
}
