#include "shell/app_exit.h"

#include "foundation/services/service_registry.h"
#include "foundation/services/shutdown_veto.h"
#include "shell/app_state.h"
#include "shell/crash_handler.h"
#include "shell/profile_setup.h"

bool app_request_exit(int mode) {
    if (!confirm_close()) return false;
    if (!shutdown_veto::ask_all()) return false;
    if (mode == 1) app_state.restart_requested = true;
    app_state.shutting_down = true;
    app_state.exit_requested = true;
    if (app_state.main_window) {
        PostMessageW(app_state.main_window, WM_QUIT, 0, 0);
    } else {
        PostQuitMessage(0);
    }
    return true;
}

bool end_session_hook(HWND, UINT message, WPARAM, LPARAM, LRESULT& result) {
    if (message == WM_QUERYENDSESSION) {
        if (service_registry::is_running()) {
            if (!confirm_close()) {
                result = 0;
                return true;
            }
            service_registry::notify_shutdown(false);
            if (app_state.playback) app_state.playback->stop_for_shutdown();
        }
        close_running_file();
        result = 1;
        return true;
    }
    if (message == WM_ENDSESSION) {
        result = 1;
        return false;
    }
    return false;
}
