#pragma once
// The user-interface module: the service that creates and owns the main window.
//
//     service_iterator it(ui_module::class_guid);
//     service_ref each;
//     while (it.next(each))
//         if (each.as<ui_module>()->get_guid() == ui_module::vorn_module_guid) { ... }
//     HWND main = ui->init(&end_session_hook);   // null: the window could not be made
//
// Everything runs on the main thread.

#include <windows.h>

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"

// The hook the main window passes each of its messages to before its own handling; when it answers true
// the window returns `result` for the message.
using end_session_hook_function = bool (*)(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                           LRESULT& result);

class ui_module : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x1ADD4DC4, 0xB278, 0x4A0C, {0xA1, 0x05, 0x26, 0x29, 0xF4, 0xB3, 0x12, 0xF4}};
    // What get_guid answers for the program's own module.
    static constexpr kpl::guid vorn_module_guid = {0x8B1CECF9, 0x4BFE, 0x44FA, {0xB5, 0xB6, 0x8B, 0x2B, 0x6E, 0xF8, 0x50, 0xC3}};

    // "VORN".
    virtual const char* get_name() = 0;
    // Creates the main window and returns its handle; null on failure.
    virtual HWND init(end_session_hook_function hook) = 0;
    // Destroys the main window.
    virtual void shutdown() = 0;
    // Restores the main window (SW_RESTORE).
    virtual void show() = 0;
    // Minimises the main window (SW_MINIMIZE).
    virtual void hide() = 0;
    // The main window is visible and not minimised.
    virtual bool is_visible() = 0;
    virtual kpl::guid get_guid() = 0;
    // Not called by the shell.
    virtual void show_now_playing() = 0;
};
