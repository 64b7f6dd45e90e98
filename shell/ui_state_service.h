#pragma once
// ui_state_service: the main window's state as other components see it, through the running user-interface
// module (static object).
//
//     service_ptr<ui_state_service> ui;
//     service_class::get_single(ui);
//     if (!ui->is_visible()) ui->show();
//     ui->show_preferences(kpl::guid_null);    // the preferences dialog at its default page

#include <windows.h>

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"

class ui_state_service : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x2DC57FF7, 0x476D, 0x42F5, {0xA0, 0x5A, 0x60, 0x49, 0x98, 0x96, 0x13, 0x4A}};

    // The module's is_visible; false when no user interface runs.
    virtual bool is_visible() = 0;
    // The module's show (restore) and hide (minimise); nothing when no user interface runs.
    virtual void show() = 0;
    virtual void hide() = 0;
    // The program icon (icon resource 263) at the default size, and at a given size; null when missing.
    virtual HICON get_icon() = 0;
    virtual HICON get_icon_sized(int width, int height) = 0;
    // Opens the preferences dialog at a page (the null GUID: its default page).
    virtual void show_preferences(const kpl::guid& page) = 0;
};
