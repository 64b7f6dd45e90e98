#include "shell/message_loop.h"

#include <windows.h>

#include "foundation/kpl/win32_errors.h"
#include "shell/main_thread_queue.h"
#include "shell/message_loop_hooks.h"

namespace {

constexpr UINT k_caret_blink_message = 0x0118;

bool keeps_idle_arming(UINT message) noexcept {
    return message == WM_PAINT || message == WM_NCMOUSEMOVE || message == k_caret_blink_message ||
           message == WM_MOUSEMOVE;
}

}  // namespace

int run_message_loop() {
    bool idle_armed = true;
    for (;;) {
        assert_not_in_playback_callback();
        MSG msg;
        while (idle_armed && !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!run_idle_pass()) idle_armed = false;
        }
        SetLastError(0);
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) exception_win32::throw_last_error();
        if (got == 0) return static_cast<int>(msg.wParam);
        UINT number = msg.message;
        dispatch_message(msg);
        if (!keeps_idle_arming(number)) idle_armed = true;
    }
}

void dispatch_message(MSG& msg) {
    if (!pretranslate_message(&msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void dispatch_waiting_messages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) dispatch_message(msg);
    main_thread_queue::drain(true);
}
