#pragma once
// A holder of one manual-reset Win32 event, and the program's one way to wait on an event with a time-out
// given in seconds.
//
//   win32_event done;
//   done.create();                                    // manual reset, not signalled
//   worker_hands_over(done.get());                    // another thread calls SetEvent on it
//   if (!win32_event::wait_for(done.get(), 0.5)) ...  // false: half a second passed first
//
// Time-outs: a positive number of seconds is rounded to the nearest millisecond and is at least 1 ms
// (0.0001 waits 1 ms, not 0); a negative number waits without time-out; 0 only tests the state.

#include <windows.h>

class win32_event {
public:
    win32_event() = default;
    ~win32_event() { close(); }
    win32_event(const win32_event&) = delete;
    win32_event& operator=(const win32_event&) = delete;

    // Closes a held event, then creates a new manual-reset event, not signalled.
    // Throws exception_win32 when the system refuses.
    void create();
    // Closes the held event, if any; the holder is empty afterwards.
    void close();

    HANDLE get() const { return m_handle; }
    bool is_valid() const { return m_handle != nullptr; }
    void set() { SetEvent(m_handle); }
    void reset() { ResetEvent(m_handle); }
    // wait_for on the held event.
    bool wait(double seconds) const { return wait_for(m_handle, seconds); }

    // Waits for the event: true when it is signalled, false when the time ran out.
    // A failed wait throws exception_win32; an abandoned wait is a broken invariant (kpl::exception_bug_check).
    static bool wait_for(HANDLE event, double seconds);
    // The time-out in milliseconds that wait_for passes to the system for a time in seconds.
    static DWORD timeout_ms(double seconds);

private:
    HANDLE m_handle = nullptr;
};
