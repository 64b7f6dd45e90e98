#pragma once
// Settings panels (child dialogs shown inside a preferences page or a host dialog, such as the ReplayGain
// and DSP panels) and the modal dialog with OK and Cancel that hosts one of them.
//
//     class volume_panel final : public settings_panel { ... };
//     HWND panel = settings_panel::create(new volume_panel(settings), page, IDD_VOLUME_PANEL, 122);
//
//     settings_panel_host host;
//     host.dialog_resource = IDD_VOLUME_DIALOG;
//     host.caption_prefix = "Volume Settings - ";      // with name "Main": "Volume Settings - Main"
//     host.placement = settings_panel_host::centred;
//     host.create_panel = [&](HWND dialog) { return create_volume_panel(settings, dialog, IDC_VOLUME_PANEL); };
//     host.store_message = 0x8000;                       // sent to the panel at OK: (0x8000, 0, &settings)
//     host.store_target = &settings;
//     if (run_settings_panel_host(host, owner, "Main")) save(settings);

#include <windows.h>

#include <functional>

#include "foundation/win32/dialog.h"

class settings_panel : public dialog_object {
public:
    // Makes `panel` as a modeless child of `parent` from `resource`, gives it the control id and shows it;
    // from then on the window owns the object. When the window cannot be made the panel is deleted and the
    // exception goes on.
    static HWND create(settings_panel* panel, HWND parent, int resource, int control_id);

protected:
    // The window owns the object once creation succeeded; a window made and destroyed during a failed
    // creation leaves it to the creator.
    void on_final_message(HWND) override {
        if (m_window_owns) delete this;
    }

private:
    bool m_window_owns = false;
};

// The dialog's font with its height x 1.1 (rounded; never 0) and weight 700, for a panel's headings; null
// when the dialog has no font. The caller deletes it.
HFONT settings_heading_font(HWND dialog);

struct settings_panel_host {
    enum panel_placement {
        centred,        // the panel keeps its size, as far from the top as from the sides
        above_buttons,  // the panel fills the width, down to 4 pixels above the OK button
    };
    int dialog_resource = 0;
    // Put before the name in the caption; without a name the resource's caption stays.
    const char* caption_prefix = "";
    panel_placement placement = centred;
    // Makes the panel inside the dialog (null: the dialog runs without one).
    std::function<HWND(HWND dialog)> create_panel;
    // OK sends (store_message, 0, store_target) to the panel before the dialog ends.
    UINT store_message = 0;
    void* store_target = nullptr;
};

// Runs the host modally over `parent`: true for OK (the panel has stored its values), false for Cancel.
bool run_settings_panel_host(const settings_panel_host& host, HWND parent, const char* name);
