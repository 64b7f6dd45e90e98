#pragma once
// Small utilities of resizable dialogs: the remembered size and position of a dialog relative to its
// parent, a tooltip shown under a control, an enlarged bold heading font, and a running operation's
// registration for the close confirmation.
//
//     // {C48D91D6-9112-479F-90CD-E818A4321724}
//     window_placement_var g_edit_placement(k_edit_placement_guid);
//     window_placement_attachment m_placement;
//     // first thing in the dialog's handler, for every message:
//     g_edit_placement.on_window_message(dialog, message, m_placement);
//     // WM_INITDIALOG: the stored client size (WS_THICKFRAME dialogs) and offset from the parent come
//     // back, centred on the parent the first time; WM_DESTROY: the placement is taken and kept.
//
//     tracking_tooltip tip;
//     tip.show_below("Please enter a valid field name.", name_box);   // centred under the box
//     tip.show_below(nullptr, name_box);                              // hidden
//
//     HFONT heading = create_enlarged_font(dialog);                    // 1.3 x the dialog's font, bold
//
// Stored form: six u32 little-endian values width, height, x, y, dpi_x, dpi_y; width -1 / x 0x80000000
// mean "not set". A record of width and height alone is accepted (position unset, dpi unknown).
// Everything here belongs to the main thread.

#include <windows.h>

#include <cstdint>
#include <set>

#include "foundation/services/config_variable.h"
#include "shell/running_operations.h"

class window_placement_var;

struct window_placement_attachment {
    window_placement_var* variable = nullptr;
    HWND window = nullptr;
};

struct window_placement_values {
    static constexpr int32_t unset_position = static_cast<int32_t>(0x80000000u);
    int32_t width = -1;
    int32_t height = -1;
    int32_t x = unset_position;
    int32_t y = unset_position;
    uint32_t dpi_x = 0;
    uint32_t dpi_y = 0;
};

class window_placement_var final : public config_variable {
public:
    explicit window_placement_var(const kpl::guid& guid) : config_variable(guid) {}
    window_placement_var(const kpl::guid& guid, config_variable_list& list) : config_variable(guid, list) {}

    void set_data(byte_source& source, uint32_t size, const abort_signal& abort) override;
    void get_data(byte_sink& sink, const abort_signal& abort) override;

    // WM_CREATE / WM_INITDIALOG attach and restore; WM_DESTROY forgets. Always 0.
    LRESULT on_window_message(HWND window, UINT message, window_placement_attachment& attachment);
    // Takes the window's placement (when tracked) and stops tracking it.
    void forget_window(HWND window);
    void detach(window_placement_attachment& attachment);

    const window_placement_values& values() const { return m_values; }
    void set_values(const window_placement_values& values) { m_values = values; }

    // The window rectangle a restore would give (tests): the stored placement applied to `window`'s
    // current rectangle, with the screen's LOGPIXELSY `dpi`. False when nothing can be measured.
    bool compute_rect(HWND window, uint32_t dpi, RECT& out, UINT& flags);

private:
    void take(HWND window);
    void restore(HWND window);

    window_placement_values m_values;
    std::set<HWND> m_windows;
};

class tracking_tooltip {
public:
    tracking_tooltip() = default;
    ~tracking_tooltip();
    tracking_tooltip(const tracking_tooltip&) = delete;
    tracking_tooltip& operator=(const tracking_tooltip&) = delete;

    // Shows the text centred under the control's bottom edge, or hides the tip for null.
    void show_below(const char* text, HWND control);
    void set_enabled(bool enabled) { m_enabled = enabled; }
    HWND window() const { return m_window; }

private:
    HWND m_window = nullptr;
    bool m_enabled = true;
};

// CreateWindowExW in the program's module without window text; without a rectangle CW_USEDEFAULT.
HWND create_child_window(const wchar_t* window_class, HWND parent, const RECT* rect, DWORD style, DWORD extended_style,
                         int id);
// The font with its height x 1.3 (rounded, never 0) and weight 700; the caller deletes it.
HFONT create_enlarged_font(HFONT font);
HFONT create_enlarged_font(HWND window);

// A running operation registered while set_running(true) holds.
class registered_operation : public running_operation {
public:
    virtual ~registered_operation();
    void set_running(bool running);
    void get_name(kpl::utf8_string& out) override { out = "<unnamed task>"; }

private:
    bool m_running = false;
};
