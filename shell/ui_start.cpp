#include "shell/ui_start.h"

#include "foundation/kpl/exceptions.h"
#include "foundation/services/service_registry.h"
#include "shell/app_exit.h"
#include "shell/app_state.h"

void start_user_interface() {
    service_ptr<ui_module> found;
    service_iterator it(ui_module::class_guid);
    service_ref each;
    while (it.next(each)) {
        if (each.as<ui_module>()->get_guid() == ui_module::vorn_module_guid) {
            found.assign(each.as<ui_module>());
            break;
        }
    }
    if (!found) throw exception_messagebox("No user interface modules installed");

    if (!app_state.shell_hook_registered && app_state.hidden_window) {
        if (RegisterShellHookWindow(app_state.hidden_window)) app_state.shell_hook_registered = true;
    }
    HWND window = found->init(&end_session_hook);
    if (!window) throw exception_messagebox("Failed to initialize user interface, exiting.");
    app_state.ui = found;
    app_state.main_window = window;
}

void stop_user_interface() {
    if (!app_state.ui) return;
    app_state.ui->shutdown();
    app_state.ui.release();
    app_state.main_window = nullptr;
}
