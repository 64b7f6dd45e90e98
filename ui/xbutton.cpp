// The XButton window class: press and release, click, focus notifications and default painting.
#include "ui/xbutton.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <vssym32.h>

#include "foundation/win32/control_class.h"
#include "foundation/win32/drawing.h"

namespace xbutton {
namespace {

struct state {
    explicit state(HWND w) : window(w) {}
    HWND window;
    HFONT font = nullptr;
    bool pressed = false;
    bool hot = false;
    bool focused = false;
    HICON icon = nullptr;
    HBITMAP bitmap = nullptr;
    LRESULT check = 0;
};

void notify(HWND window, WORD code) {
    HWND parent = GetParent(window);
    if (parent == nullptr) return;
    SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), code), reinterpret_cast<LPARAM>(window));
}

void repaint(HWND window) { InvalidateRect(window, nullptr, FALSE); }

void press(state& s) {
    s.pressed = true;
    repaint(s.window);
    notify(s.window, code_pressed);
}

void release(state& s) {
    s.pressed = false;
    repaint(s.window);
    notify(s.window, code_released);
}

bool is_check_box(HWND window) { return (GetWindowLongW(window, GWL_STYLE) & BS_CHECKBOX) != 0; }

void click(state& s) {
    if (is_check_box(s.window)) {
        s.check = s.check == 1 ? 0 : 1;
        repaint(s.window);
    }
    HWND parent = GetParent(s.window);
    if (parent != nullptr)
        PostMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(s.window), code_click),
                     reinterpret_cast<LPARAM>(s.window));
}

// Whether the point (client coordinates of the button) lies over the button itself.
bool over_button(HWND window, LPARAM lparam) {
    POINT at = {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
    ClientToScreen(window, &at);
    return WindowFromPoint(at) == window;
}

SIZE icon_size(HICON icon) {
    SIZE size = {0, 0};
    ICONINFO info;
    if (!GetIconInfo(icon, &info)) return size;
    BITMAP bm;
    HBITMAP measured = info.hbmColor != nullptr ? info.hbmColor : info.hbmMask;
    if (measured != nullptr && GetObjectW(measured, sizeof(bm), &bm)) {
        size.cx = bm.bmWidth;
        size.cy = info.hbmColor != nullptr ? bm.bmHeight : bm.bmHeight / 2;
    }
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return size;
}

void paint_default(state& s, HDC dc, bool down, bool disabled) {
    RECT client;
    GetClientRect(s.window, &client);
    paint_parent_background(s.window, dc);
    HTHEME theme = OpenThemeData(s.window, L"BUTTON");
    if (theme != nullptr) {
        int part_state = down ? PBS_PRESSED : disabled ? PBS_DISABLED : PBS_NORMAL;
        DrawThemeBackground(theme, dc, BP_PUSHBUTTON, part_state, &client, nullptr);
        CloseThemeData(theme);
    } else {
        UINT flags = DFCS_BUTTONPUSH | (down ? DFCS_PUSHED : disabled ? DFCS_INACTIVE : 0);
        DrawFrameControl(dc, &client, DFC_BUTTON, flags);
    }
    int width = client.right - client.left, height = client.bottom - client.top;
    if (s.icon != nullptr) {
        SIZE size = icon_size(s.icon);
        DrawIconEx(dc, client.left + (width - size.cx) / 2, client.top + (height - size.cy) / 2, s.icon, size.cx,
                   size.cy, 0, nullptr, DI_NORMAL);
    } else if (s.bitmap != nullptr) {
        BITMAP bm;
        if (GetObjectW(s.bitmap, sizeof(bm), &bm)) {
            HDC source = CreateCompatibleDC(dc);
            if (source != nullptr) {
                HGDIOBJ old = SelectObject(source, s.bitmap);
                BitBlt(dc, client.left + (width - bm.bmWidth) / 2, client.top + (height - bm.bmHeight) / 2,
                       bm.bmWidth, bm.bmHeight, source, 0, 0, SRCCOPY);
                SelectObject(source, old);
                DeleteDC(source);
            }
        }
    }
}

void paint(state& s) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(s.window, &ps);
    if (dc == nullptr) return;
    bool down = s.pressed || s.check == 1;
    bool disabled = !IsWindowEnabled(s.window);
    NMCUSTOMDRAW draw = {};
    draw.hdr.hwndFrom = s.window;
    draw.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(s.window));
    draw.hdr.code = NM_CUSTOMDRAW;
    draw.dwDrawStage = CDDS_PREERASE;
    draw.hdc = dc;
    draw.rc = ps.rcPaint;
    draw.uItemState = disabled ? CDIS_DISABLED : down ? CDIS_SELECTED : s.hot ? CDIS_HOT : 0;
    if (s.focused) draw.uItemState |= CDIS_FOCUS;
    HWND parent = GetParent(s.window);
    LRESULT answer = parent != nullptr
                         ? SendMessageW(parent, WM_NOTIFY, draw.hdr.idFrom, reinterpret_cast<LPARAM>(&draw))
                         : 0;
    if (answer != CDRF_SKIPDEFAULT) paint_default(s, dc, down, disabled);
    EndPaint(s.window, &ps);
}

LRESULT handle(state& s, HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_SETFOCUS:
        s.focused = true;
        notify(window, code_focus);
        return 0;
    case WM_KILLFOCUS:
        s.focused = false;
        notify(window, code_unfocus);
        if (s.pressed) release(s);
        return 0;
    case WM_ENABLE:
        repaint(window);
        return 0;
    case WM_PAINT:
        paint(s);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case BM_GETCHECK:
        return s.check;
    case BM_SETCHECK:
        if (static_cast<LRESULT>(wparam) != s.check) {
            s.check = static_cast<LRESULT>(wparam);
            if (!s.pressed) repaint(window);
        }
        return 0;
    case BM_SETIMAGE:
        if (wparam == IMAGE_BITMAP) {
            s.bitmap = reinterpret_cast<HBITMAP>(lparam);
            s.icon = nullptr;
        } else if (wparam == IMAGE_ICON) {
            s.icon = reinterpret_cast<HICON>(lparam);
            s.bitmap = nullptr;
        }
        repaint(window);
        return 0;
    case WM_MOUSEMOVE: {
        if (s.pressed && !over_button(window, lparam)) release(s);
        if (!s.hot) {
            s.hot = true;
            repaint(window);
        }
        TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, window, 0};
        TrackMouseEvent(&track);
        return 0;
    }
    case WM_LBUTTONDOWN:
        SetFocus(window);
        if (!s.pressed && (is_check_box(window) || s.check != 1)) press(s);
        return 0;
    case WM_LBUTTONUP:
        if (s.pressed) {
            if (over_button(window, lparam)) click(s);
            release(s);
        }
        return 0;
    case WM_MOUSELEAVE:
        if (s.hot) {
            s.hot = false;
            repaint(window);
        }
        if (s.pressed) release(s);
        return 0;
    case WM_KEYDOWN:
        if (wparam == VK_SPACE && !s.pressed) press(s);
        return 0;
    case WM_KEYUP:
        if (wparam == VK_SPACE && s.pressed) {
            click(s);
            release(s);
        }
        return 0;
    case WM_SETFONT:
        s.font = reinterpret_cast<HFONT>(wparam);
        if (LOWORD(lparam)) repaint(window);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(s.font);
    case WM_SETTEXT:
        repaint(window);
        return DefWindowProcW(window, message, wparam, lparam);
    default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
}

ATOM g_atom = 0;

}  // namespace

ATOM register_class() { return register_control_class(class_name, &control_procedure<state, &handle>, g_atom); }

}  // namespace xbutton
