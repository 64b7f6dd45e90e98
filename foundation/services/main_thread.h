#pragma once
// The main thread: the thread that runs static initialisation and later the message loop. Windows, the
// playback controller, the library manager and the listener lists may only be used on it.
//
//     main_thread::assert_current();          // any other thread: the process stops (kpl::crash)
//     if (!main_thread::check_with_message()) return;   // writes a debugger line and answers false

#include <cstdint>

namespace main_thread {

// True when no main thread is recorded or the caller is it.
bool is_current() noexcept;
// is_current, but on another thread first writes "Error: this function can be called only from main
// thread.\n" to the debugger output.
bool check_with_message() noexcept;
// Stops the process with kpl::crash (the non-continuable structured exception 0xAA67913C) when called on
// another thread.
void assert_current() noexcept;
// The recorded thread id (0: none).
uint32_t id() noexcept;

}  // namespace main_thread
