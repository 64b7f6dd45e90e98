#pragma once
// A plain hidden top-level window standing as the player's main window for commands that open the
// player's dialogs without the player (properties, preferences), with the hidden window and queue they use.
//
//     {
//         stand_in_main_window main_window;   // app_state.main_window set
//         ... open a dialog owned by main_window.window, pump messages ...
//     }                                       // window gone, queued tasks run, hidden window destroyed

#include <windows.h>

#include "shell/app_state.h"
#include "shell/hidden_window.h"
#include "shell/main_thread_queue.h"

struct stand_in_main_window {
    stand_in_main_window() {
        hidden_window_create();
        window = CreateWindowExW(0, L"STATIC", L"Vorn", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        app_state.main_window = window;
    }
    ~stand_in_main_window() {
        app_state.main_window = nullptr;
        if (window) DestroyWindow(window);
        main_thread_queue::drain(true);
        hidden_window_destroy();
    }
    HWND window = nullptr;
};
