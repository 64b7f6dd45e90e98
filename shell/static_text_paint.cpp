#include "shell/static_text_paint.h"

#include "foundation/win32/drawing.h"

bool separator_line_start(int text_width, int gap_width, int client_width, int& start) {
    start = text_width > 0 ? text_width + gap_width : 0;
    return start < client_width;
}

void static_text_paint(HWND window) {
    paint_scope paint(window);
    HDC dc = paint.dc();
    if (dc == nullptr) return;
    RECT client;
    GetClientRect(window, &client);
    wchar_t text[513] = {};
    const int length = GetWindowTextW(window, text, 513);

    HBRUSH brush = reinterpret_cast<HBRUSH>(
        SendMessageW(GetParent(window), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(window)));
    if (brush != nullptr) FillRect(dc, &client, brush);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
    HGDIOBJ previous_font = font ? SelectObject(dc, font) : nullptr;
    // A parent that answers with a brush has set the text colour too (a dark colour scheme's light text).
    if (brush == nullptr) SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkMode(dc, TRANSPARENT);

    const UINT format = DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX;
    RECT text_rect = client;
    DrawTextW(dc, text, length, &text_rect, format);

    RECT measured = {0, 0, 0, 0};
    DrawTextW(dc, text, length, &measured, DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
    SIZE sample = {0, 0};
    GetTextExtentPoint32W(dc, L"#0", 2, &sample);
    int start = 0;
    const int width = client.right - client.left;
    if (separator_line_start(length > 0 ? measured.right - measured.left : 0, sample.cx / 4, width, start)) {
        const int middle = client.top + (client.bottom - client.top) / 2;
        RECT line = {client.left + start, middle, client.right, middle + 2};
        DrawEdge(dc, &line, EDGE_ETCHED, BF_TOP);
    }
    if (previous_font != nullptr) SelectObject(dc, previous_font);
}
