#include "foundation/services/main_thread.h"

#include <windows.h>

#include "foundation/kpl/exceptions.h"

namespace {

// Taken during static initialisation, which runs on the thread that later runs the message loop.
const DWORD g_main_thread_id = GetCurrentThreadId();

}  // namespace

namespace main_thread {

bool is_current() noexcept { return g_main_thread_id == 0 || GetCurrentThreadId() == g_main_thread_id; }

bool check_with_message() noexcept {
    if (is_current()) return true;
    OutputDebugStringA("Error: this function can be called only from main thread.\n");
    return false;
}

void assert_current() noexcept {
    if (!is_current()) kpl::crash();
}

uint32_t id() noexcept { return g_main_thread_id; }

}  // namespace main_thread
