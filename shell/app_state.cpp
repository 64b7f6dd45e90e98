#include "shell/app_state.h"

app_state_record app_state;

app_state_record::~app_state_record() {
    // Process exit: the lock file goes with its handle.
    if (running_file_handle != INVALID_HANDLE_VALUE) CloseHandle(running_file_handle);
    running_file_handle = INVALID_HANDLE_VALUE;
    // The references are let go without calling into objects that may already be destroyed.
    ui.detach();
    playback.detach();
}

HINSTANCE app_module_handle() noexcept {
    return app_state.instance ? app_state.instance : GetModuleHandleW(nullptr);
}
