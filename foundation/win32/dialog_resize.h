#pragma once
// Resizable dialogs: controls keep their places relative to the dialog's edges while it changes size, and
// a top-level dialog gets a size grip in its bottom-right corner.
//
//   static const uint32_t anchors[] = {
//       IDC_LIST | (dialog_resize_helper::stretch_x | dialog_resize_helper::stretch_y) << 16,
//       IDOK | (dialog_resize_helper::move_x | dialog_resize_helper::move_y) << 16,
//   };
//   dialog_resize_helper resizer;
//   resizer.set_anchors(anchors, 2);
//   resizer.set_min_size(200, 120);                       // dialog units; 0: no limit
//   // in the dialog's handler, first:
//   if (resizer.on_message(dialog, message, wparam, lparam, result)) return true;
//
// Each edge of an anchored control moves by floor(factor x change) of the dialog's client size since
// WM_INITDIALOG: move_x moves the control right with the width, stretch_x widens it; move_y and stretch_y
// do the same downwards.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

struct dialog_anchor {
    int control;
    float left, top, right, bottom;
};

class dialog_resize_helper {
public:
    enum : uint32_t { move_x = 1, stretch_x = 2, move_y = 4, stretch_y = 8 };

    // Packed anchors: low word the control id, high word the flags above.
    void set_anchors(const uint32_t* packed, size_t count);
    void set_anchors_raw(const dialog_anchor* anchors, size_t count);
    void set_min_size(int width_units, int height_units) {
        m_min_width = width_units;
        m_min_height = height_units;
    }
    void set_max_size(int width_units, int height_units) {
        m_max_width = width_units;
        m_max_height = height_units;
    }

    // WM_INITDIALOG, WM_SIZE, WM_GETMINMAXINFO and WM_DESTROY of the dialog; never consumes a message
    // except WM_GETMINMAXINFO (result 0). Other messages are not touched.
    bool on_message(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);

    // An anchored rectangle for a change of the client size by (dw, dh).
    static RECT moved_rect(const RECT& initial, const dialog_anchor& anchor, int dw, int dh);
    // The anchor of a packed value.
    static dialog_anchor unpack(uint32_t packed);

    HWND size_grip() const { return m_grip; }

private:
    void init(HWND dialog);
    void resize(int width, int height);
    void min_max(MINMAXINFO* info);

    std::vector<dialog_anchor> m_anchors;
    HWND m_dialog = nullptr;
    SIZE m_initial = {0, 0};
    std::map<int, RECT> m_rects;
    int m_min_width = 0, m_min_height = 0, m_max_width = 0, m_max_height = 0;
    HWND m_grip = nullptr;
    RECT m_grip_rect = {0, 0, 0, 0};
};
