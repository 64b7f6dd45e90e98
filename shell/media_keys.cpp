// Media keys from the shell hook: playback commands through the main-thread queue.
#include <windows.h>

#include "foundation/services/main_thread.h"
#include "shell/app_state.h"
#include "shell/command_model.h"
#include "shell/main_thread_queue.h"
#include "shell/menu_nodes.h"
#include "shell/single_instance.h"
#include "ui/main_window.h"

namespace {

constexpr DWORD k_repeat_ms = 50;

// The last key and when it came (main thread only).
uint32_t g_last_code = 0;
DWORD g_last_time = 0;
bool g_any = false;

// Runs one command by GUID from the message loop.
class queued_command final : public service_counted<main_thread_callback> {
public:
    explicit queued_command(const kpl::guid& command) : m_command(command) {}
    void run() override { main_menu_command_finder::run_by_guid(m_command); }

private:
    kpl::guid m_command;
};

void queue_command(const kpl::guid& command) {
    queued_command* call = new queued_command(command);
    try {
        main_thread_queue::post(call);
    } catch (...) {
        call->release();
        throw;
    }
    call->release();
}

}  // namespace

bool handle_app_command_at(LPARAM lparam, DWORD now) {
    uint32_t code = static_cast<uint32_t>((static_cast<DWORD>(lparam) >> 16) & 0xFFF);
    bool repeat = g_any && now - g_last_time < k_repeat_ms && code == g_last_code;
    g_last_code = code;
    g_last_time = now;
    g_any = true;

    const kpl::guid* command = nullptr;
    switch (code) {
        case 11: command = &shell_commands::next; break;
        case 12: command = &shell_commands::previous; break;
        case 13: command = &shell_commands::stop; break;
        case 47: command = &shell_commands::pause; break;
        case 49: command = &shell_commands::fast_forward; break;
        case 50: command = &shell_commands::rewind; break;
        case 14:
            if (!repeat) main_window::post_play_pause();
            return true;
        case 46:
            if (!repeat && app_state.main_window) PostMessageW(app_state.main_window, WM_COMMAND, 1000, 0);
            return true;
        default:
            return false;
    }
    if (!repeat) queue_command(*command);
    return true;
}

bool handle_app_command(LPARAM lparam) { return handle_app_command_at(lparam, GetTickCount()); }
